// The administrators' policy under HKEY_LOCAL_MACHINE\Software\Policies\Ostrevant\zarn (components/PolicyNames.h),
// read only: the server, mirrors, proxy, certificate authority, whether updates are switched off and the versions
// components are pinned to. A policy value wins over the command line and the user's settings.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zarn {

class LauncherPolicy {
public:
    // A version "a.b.c.d" a component is pinned to.
    using Version = std::array<std::int32_t, 4>;

    // Reads every policy value afresh. Any thread. A missing value is unset; a value of the wrong type or whose text
    // is malformed is unset too and named in Ignored(). Never fails: an unreadable policy is an empty one.
    static LauncherPolicy Read();

    // `text` as "a.b.c.d": four decimal numbers, each below 2^31; none otherwise. Any thread.
    static std::optional<Version> ParseVersion(const std::string& text);

    const std::optional<std::string>& Server() const { return m_server; }
    const std::vector<std::string>& Mirrors() const { return m_mirrors; }
    const std::optional<std::string>& ProxyServer() const { return m_proxyServer; }
    const std::optional<std::string>& ProxyPacUrl() const { return m_proxyPacUrl; }
    const std::optional<std::string>& CaFile() const { return m_caFile; }
    bool UpdatesDisabled() const { return m_updatesDisabled; }
    // The version the component named `name` (its name=, in any case) is pinned to; none when it is not pinned.
    std::optional<Version> TargetVersion(const std::string& name) const;

    // One line per value that is set, "<value name> = <value>" ("TargetVersion\<name> = a.b.c.d" for a pin), for the
    // user and the log; empty when no policy applies.
    std::vector<std::string> AppliedLines() const;
    // One line per value that was ignored, saying why, for the log.
    const std::vector<std::string>& Ignored() const { return m_ignored; }

    // Drops the server, saying why in Ignored(): for the caller that finds it is no server it can use.
    void RejectServer(const std::string& why);

private:
    void ReadTargetVersions();

    std::optional<std::string> m_server;
    std::vector<std::string> m_mirrors;
    std::optional<std::string> m_proxyServer;
    std::optional<std::string> m_proxyPacUrl;
    std::optional<std::string> m_caFile;
    bool m_updatesDisabled = false;
    // Keyed by the component's name in lower case, as the registry's names compare without case.
    std::map<std::string, std::pair<std::string, Version>> m_targetVersions;
    std::vector<std::string> m_ignored;
};

} // namespace zarn
