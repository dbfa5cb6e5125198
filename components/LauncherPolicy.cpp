#include "components/LauncherPolicy.h"

#include "components/PolicyNames.h"
#include "components/Registry.h"
#include "text/AsciiText.h"

#include <algorithm>
#include <limits>

namespace zarn {

namespace {

bool HasBlank(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

bool StartsWithAnyIgnoreCase(const std::string& text, std::initializer_list<const char*> prefixes) {
    const std::string lower = ToLowerAscii(text);
    return std::any_of(prefixes.begin(), prefixes.end(), [&](const char* prefix) { return lower.starts_with(prefix); });
}

// The policy key's values, each read once, with why any was ignored.
class PolicyReader {
public:
    explicit PolicyReader(std::vector<std::string>& ignored) : m_ignored(ignored) {}

    // The REG_SZ `name` when `valid` takes it; none when it is missing, and none with a line in the ignored ones when
    // it has another type or `valid` refuses it (`valid` then says what it should be).
    template <typename Valid> std::optional<std::string> Text(const char* name, const char* expected, Valid valid) {
        CRegistryValue value;
        if (!m_registry.ReadValue(policy::kKey, name, value)) {
            return std::nullopt;
        }
        std::string text;
        if (value.GetType() != REG_SZ || !value.GetString(text)) {
            Ignore(name, "it is no REG_SZ");
            return std::nullopt;
        }
        if (!valid(text)) {
            Ignore(name, "\"" + text + "\" is not " + expected);
            return std::nullopt;
        }
        return text;
    }

    std::vector<std::string> MultiText(const char* name) {
        CRegistryValue value;
        std::vector<std::string> texts;
        if (m_registry.ReadValue(policy::kKey, name, value) && !value.GetMultiString(texts)) {
            Ignore(name, "it is no REG_MULTI_SZ");
        }
        return texts;
    }

    bool Flag(const char* name) {
        CRegistryValue value;
        DWORD flag = 0;
        if (!m_registry.ReadValue(policy::kKey, name, value)) {
            return false;
        }
        if (value.GetType() != REG_DWORD || !value.GetDword(flag) || flag > 1) {
            Ignore(name, "it is no REG_DWORD 0 or 1");
            return false;
        }
        return flag == 1;
    }

    void Ignore(const std::string& name, const std::string& why) {
        m_ignored.push_back("policy value " + name + " ignored: " + why);
    }

private:
    CRegistry m_registry{HKEY_LOCAL_MACHINE};
    std::vector<std::string>& m_ignored;
};

// Collects the values of the TargetVersion key itself (not of keys below it).
class TargetVersionWalk : public CRegistry {
public:
    TargetVersionWalk() : CRegistry(HKEY_LOCAL_MACHINE) {}

    int OnValue(const char*, const char* valueName, const CRegistryValue& value, std::uint16_t depth) override {
        if (depth == 0) {
            m_values.emplace_back(valueName, value);
        }
        return 1;
    }
    int OnKey(const char*, std::uint16_t) override { return 1; }

    std::vector<std::pair<std::string, CRegistryValue>> m_values;
};

std::string VersionText(const LauncherPolicy::Version& version) {
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]) + "." +
           std::to_string(version[3]);
}

} // namespace

LauncherPolicy LauncherPolicy::Read() {
    LauncherPolicy policy;
    PolicyReader reader(policy.m_ignored);
    const auto notEmpty = [](const std::string& text) { return !text.empty(); };
    policy.m_server = reader.Text(policy::kServerValue, "a server", notEmpty);
    for (std::string& mirror : reader.MultiText(policy::kMirrorsValue)) {
        policy.m_mirrors.push_back(std::move(mirror));
    }
    policy.m_proxyServer = reader.Text(policy::kProxyServerValue, "host:port",
                                       [](const std::string& text) { return !text.empty() && !HasBlank(text); });
    policy.m_proxyPacUrl =
        reader.Text(policy::kProxyPacUrlValue, "an http, https or file URL", [](const std::string& text) {
            return !HasBlank(text) && StartsWithAnyIgnoreCase(text, {"http://", "https://", "file://"});
        });
    policy.m_caFile = reader.Text(policy::kCaFileValue, "a file", notEmpty);
    policy.m_updatesDisabled = reader.Flag(policy::kUpdatesDisabledValue);
    policy.ReadTargetVersions();
    return policy;
}

void LauncherPolicy::ReadTargetVersions() {
    TargetVersionWalk walk;
    // Without the key nothing is pinned; a key that cannot be read whole pins what was read of it.
    walk.Walk(policy::kTargetVersionKey, CRegistry::kWalkValues);
    PolicyReader reader(m_ignored);
    for (const auto& [name, value] : walk.m_values) {
        const std::string where = std::string("TargetVersion\\") + name;
        std::string text;
        if (value.GetType() != REG_SZ || !value.GetString(text)) {
            reader.Ignore(where, "it is no REG_SZ");
        } else if (const std::optional<Version> version = ParseVersion(text); !version) {
            reader.Ignore(where, "\"" + text + "\" is not a version a.b.c.d");
        } else if (!name.empty()) {
            m_targetVersions[ToLowerAscii(name)] = {name, *version};
        }
    }
}

std::optional<LauncherPolicy::Version> LauncherPolicy::ParseVersion(const std::string& text) {
    Version version{};
    std::size_t at = 0;
    for (std::size_t field = 0; field < version.size(); ++field) {
        if (field > 0) {
            if (at >= text.size() || text[at] != '.') {
                return std::nullopt;
            }
            ++at;
        }
        const std::size_t start = at;
        std::int64_t number = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 10) {
            number = number * 10 + (text[at++] - '0');
        }
        if (at == start || number > std::numeric_limits<std::int32_t>::max()) {
            return std::nullopt;
        }
        version[field] = static_cast<std::int32_t>(number);
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    return version;
}

std::optional<LauncherPolicy::Version> LauncherPolicy::TargetVersion(const std::string& name) const {
    const auto found = m_targetVersions.find(ToLowerAscii(name));
    if (found == m_targetVersions.end()) {
        return std::nullopt;
    }
    return found->second.second;
}

std::vector<std::string> LauncherPolicy::AppliedLines() const {
    std::vector<std::string> lines;
    const auto add = [&lines](const char* name, const std::optional<std::string>& value) {
        if (value) {
            lines.push_back(std::string(name) + " = " + *value);
        }
    };
    add(policy::kServerValue, m_server);
    if (!m_mirrors.empty()) {
        std::string joined;
        for (const std::string& mirror : m_mirrors) {
            joined += (joined.empty() ? "" : " ") + mirror;
        }
        lines.push_back(std::string(policy::kMirrorsValue) + " = " + joined);
    }
    add(policy::kProxyServerValue, m_proxyServer);
    add(policy::kProxyPacUrlValue, m_proxyPacUrl);
    add(policy::kCaFileValue, m_caFile);
    if (m_updatesDisabled) {
        lines.push_back(std::string(policy::kUpdatesDisabledValue) + " = 1");
    }
    for (const auto& [lower, pin] : m_targetVersions) {
        lines.push_back("TargetVersion\\" + pin.first + " = " + VersionText(pin.second));
    }
    return lines;
}

void LauncherPolicy::RejectServer(const std::string& why) {
    if (m_server) {
        m_ignored.push_back("policy value " + std::string(policy::kServerValue) + " ignored: \"" + *m_server +
                            "\" is not " + why);
        m_server.reset();
    }
}

} // namespace zarn
