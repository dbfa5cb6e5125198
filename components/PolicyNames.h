// The administrators' policy: the key and value names under HKEY_LOCAL_MACHINE that the launcher reads, and that
// the administrative template res/admx/zarn.admx writes (a test holds the two sets equal).
#pragma once

namespace zarn::policy {

inline constexpr const char* kKey = "Software\\Policies\\Ostrevant\\zarn";
// REG_SZ: the vendor's server, as --server takes it.
inline constexpr const char* kServerValue = "Server";
// REG_MULTI_SZ: servers to try after it, in order.
inline constexpr const char* kMirrorsValue = "Mirrors";
// REG_SZ: the proxy every transfer goes through, "host:port".
inline constexpr const char* kProxyServerValue = "ProxyServer";
// REG_SZ: the URL of a proxy auto-configuration file.
inline constexpr const char* kProxyPacUrlValue = "ProxyPacUrl";
// REG_DWORD 1: the update check downloads and installs nothing.
inline constexpr const char* kUpdatesDisabledValue = "UpdatesDisabled";
// REG_SZ: the certificate authority file trusted besides the system's.
inline constexpr const char* kCaFileValue = "CaFile";
// One REG_SZ "a.b.c.d" per component, named by its name=: the version it is not updated past.
inline constexpr const char* kTargetVersionKey = "Software\\Policies\\Ostrevant\\zarn\\TargetVersion";

} // namespace zarn::policy
