#!/usr/bin/env bash
# The Windows launcher under Wine follows the system's proxy settings as WinInet's preconfigured access reads them:
# with ProxyEnable and ProxyServer set in the prefix's HKCU Internet Settings, its --check fetches the list from nginx
# through squid, and its log says so; with the settings removed again, straight from nginx. (Wine's WinInet reads no AutoConfigURL, so a
# PAC file cannot be tried here.) Leaves the prefix's settings as it found them. Exits 77 (CTest's skip) without
# squid or nginx.
#   tests/e2e/wine_proxy.sh WINE64 LAUNCHER_EXE
set -euo pipefail

wine=$1
launcher=$(realpath "$2")
export PATH="$PATH:/usr/sbin"
here=$(dirname "$0")
source "$here/../support/nginx_server.sh"
source "$here/../support/squid_proxy.sh"
for tool in squid nginx curl; do
    if ! command -v "$tool" >/dev/null; then
        echo "wine_proxy: skipped: $tool is missing (scripts/setup installs it)"
        exit 77
    fi
done
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= WAYLAND_DISPLAY=
settings='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'

work=$(mktemp -d)
cleanup() {
    "$wine" reg delete "$settings" /v ProxyEnable /f > /dev/null 2>&1 || true
    "$wine" reg delete "$settings" /v ProxyServer /f > /dev/null 2>&1 || true
    stop_squid
    stop_nginx
    if [ -n "${ZARN_KEEP_WORK:-}" ]; then echo "wine_proxy: work in $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
chmod 755 "$work"

mkdir -p "$work/root/quillornacc/complist" "$work/app/complist" "$work/app/temp"
cat > "$work/root/quillornacc/complist/complist.txt" <<LIST
[STARTCOMP]
desc=Tool
name=Tool
major_ver=1
minor_ver=0
codebase=http://127.0.0.1:9/tool.bin
dir=tools
regfile=app
[ENDCOMP]
LIST
chmod -R a+rX "$work/root"
cp "$launcher" "$work/app/QuillornaCC.exe"
nginx_servers() {
    cat <<CONF
    server {
        listen 127.0.0.1:$http_port;
        root $work/root;
        access_log $work/nginx.log bytes;
    }
CONF
}
start_nginx "$work"
start_squid "$work"
list='/+quillornacc/+complist/+complist.txt'

failures=0
# The launcher's last line about the proxy for this test's server, from the prefix's log (in the user's
# LOCALAPPDATA, which Wine keeps in its own profile).
proxy_line() {
    cat "${WINEPREFIX:-$HOME/.wine}"/drive_c/users/*/AppData/Local/Ostrevant/zarn/zarn.log 2>/dev/null |
        grep -F "http://127.0.0.1:$http_port/" | grep -F "(WinInet)" | tail -1 || true
}

check() {
    local case_name=$1 through_squid=$2 note=$3 rc=0
    : > "$work/squid/access.log"
    "$wine" "$work/app/QuillornaCC.exe" --check --server "http://127.0.0.1:$http_port" > "$work/out" 2>&1 || rc=$?
    if [ "$rc" -ne 3 ]; then
        echo "wine_proxy: FAILED: $case_name: exit code $rc, expected 3 (NOT_INSTALLED): $(cat "$work/out")" >&2
        failures=$((failures + 1))
    fi
    local seen=no
    if grep -Eq "/200 [0-9]+ GET http://127.0.0.1:$http_port$list " "$work/squid/access.log"; then seen=yes; fi
    if [ "$seen" != "$through_squid" ]; then
        echo "wine_proxy: FAILED: $case_name: the list went through squid: $seen, expected $through_squid" >&2
        failures=$((failures + 1))
    fi
    if ! proxy_line | grep -qF "$note"; then
        echo "wine_proxy: FAILED: $case_name: the log's line \"$(proxy_line)\" does not say \"$note\"" >&2
        failures=$((failures + 1))
    fi
}

"$wine" reg add "$settings" /v ProxyEnable /t REG_DWORD /d 1 /f > /dev/null
"$wine" reg add "$settings" /v ProxyServer /t REG_SZ /d "127.0.0.1:$squid_port" /f > /dev/null
check "system proxy" yes "through proxy 127.0.0.1:$squid_port: the system's settings (WinInet)"
"$wine" reg delete "$settings" /v ProxyEnable /f > /dev/null
"$wine" reg delete "$settings" /v ProxyServer /f > /dev/null
check "no system proxy" no "direct connection: the system's settings (WinInet) name no proxy"
if ! grep -Eq "GET $list" "$work/nginx.log"; then
    echo "wine_proxy: FAILED: nginx served no list" >&2
    failures=$((failures + 1))
fi

if [ "$failures" -ne 0 ]; then exit 1; fi
echo "wine_proxy: all cases passed"
