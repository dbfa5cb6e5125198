// One environment variable set (or with nullopt removed) for the life of the object, then put back as it was.
#pragma once

#include <optional>
#include <string>

namespace zarn::test {

class ScopedEnv {
public:
    // Throws when the system refuses the change. Test thread only.
    ScopedEnv(std::string name, const std::optional<std::string>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

} // namespace zarn::test
