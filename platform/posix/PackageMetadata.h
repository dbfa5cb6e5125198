// The "name" and "version" members of an ELF package-metadata note's JSON object.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zarn::platform {

class PackageMetadata {
public:
    // Parses one JSON object (strict grammar, nesting bounded, no recursion) and keeps its top-level "name" and
    // "version" strings as UTF-8; nullopt when the text is no valid JSON object. Any thread.
    static std::optional<PackageMetadata> Parse(std::string_view json);

    // The "name" string; empty when absent or not a string.
    const std::string& Name() const { return m_name; }
    // The "version" string; nullopt when absent or not a string.
    const std::optional<std::string>& Version() const { return m_version; }

private:
    std::string m_name;
    std::optional<std::string> m_version;
};

} // namespace zarn::platform
