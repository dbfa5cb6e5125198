#!/usr/bin/env bash
# The launcher's console update through squid, a real proxy, with nginx as the vendor's server: the proxy taken from
# http_proxy, from https_proxy (a tunnel to the https server), from a PAC file on loopback that the desktop's setting
# names, from the same file found by automatic discovery (where the test may name the host wpad and serve port 80)
# and from the same file named by the administrators' policy; then squid asking for a Basic and a Digest
# sign-in, answered at the one prompt (on a terminal of its own), and a wrong password, which ends the update with one
# message and no further prompt or request loop; and, where the Kerberos tools are installed, Negotiate with a ticket
# of a realm of the test's own, without any prompt. Exits 77 (CTest's skip) without squid or nginx.
#   tests/e2e/squid_proxy.sh LAUNCHER ZARN_REG
set -euo pipefail

launcher=$(realpath "$1")
reg=$(realpath "$2")
export PATH="$PATH:/usr/sbin"
here=$(dirname "$0")
source "$here/../support/nginx_server.sh"
source "$here/../support/squid_proxy.sh"
source "$here/../support/kerberos_realm.sh"
for tool in squid nginx curl openssl script; do
    if ! command -v "$tool" >/dev/null; then
        echo "squid_proxy: skipped: $tool is missing (scripts/setup installs it)"
        exit 77
    fi
done
if [ ! -x "$squid_helpers/basic_ncsa_auth" ] || [ ! -x "$squid_helpers/digest_file_auth" ]; then
    echo "squid_proxy: skipped: squid's sign-in helpers are not in $squid_helpers"
    exit 77
fi

work=$(mktemp -d)
cleanup() {
    stop_squid
    stop_kdc
    stop_nginx
    if [ -n "${ZARN_KEEP_WORK:-}" ]; then echo "squid_proxy: work in $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
chmod 755 "$work"

# The same repository over http (root) and over https (root-https), each list naming its own server.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=127.0.0.1 \
    -addext subjectAltName=IP:127.0.0.1 -keyout "$work/key.pem" -out "$work/cert.pem" 2> "$work/openssl.log"
component="$work/tool.bin"
head -c 100000 /dev/urandom > "$component"
# Automatic discovery asks http://wpad/wpad.dat: the launcher then runs in a mount namespace of its own, whose
# /etc/hosts names wpad as loopback, and nginx serves port 80 too; root only, and only where the port is free.
wpad_ok=
if [ "$(id -u)" -eq 0 ] && ! ss -ltnH 'sport = :80' | grep -q . && unshare -m true 2> /dev/null; then wpad_ok=1; fi
nginx_servers() {
    if [ -n "$wpad_ok" ]; then echo "    server { listen 127.0.0.1:80; root $work/wpad-root; }"; fi
    cat <<EOF
    server { listen 127.0.0.1:$http_port; root $work/root; }
    server {
        listen 127.0.0.1:$https_port ssl;
        root $work/root-https;
        ssl_certificate $work/cert.pem;
        ssl_certificate_key $work/key.pem;
    }
EOF
}
start_nginx "$work"
for root in root root-https; do
    base="http://127.0.0.1:$http_port"
    if [ "$root" = root-https ]; then base="https://127.0.0.1:$https_port"; fi
    mkdir -p "$work/$root/quillornacc/complist" "$work/$root/quillornacc/components"
    cp "$component" "$work/$root/quillornacc/components/tool.bin"
    cat > "$work/$root/quillornacc/complist/complist.txt" <<EOF
[STARTCOMP]
desc=Tool
name=Tool
major_ver=1
minor_ver=0
codebase=$base/quillornacc/components/tool.bin
size=100000
sha256=$(sha256sum "$component" | cut -d' ' -f1)
dir=tools
regfile=app
[ENDCOMP]
EOF
done
chmod -R a+rX "$work/root" "$work/root-https"
server="http://127.0.0.1:$http_port"
update_args=(--server "$server")

failures=0
fail() {
    echo "squid_proxy: FAILED: $case_name: $*" >&2
    failures=$((failures + 1))
}

# run_update NAME [INPUT]: the console update in a fresh application folder of its own, with the environment that
# the caller exported in `proxy_env` (NAME=VALUE words); with INPUT, on a terminal of its own that is given INPUT
# as typed. Sets rc, out (the console's text) and log (the update log's text).
run_update() {
    case_name=$1
    local input=${2:-} dir="$work/$1"
    mkdir -p "$dir/app/complist" "$dir/app/temp" "$dir/config"
    cp "$launcher" "$dir/app/QuillornaCC"
    local command=(env -u http_proxy -u https_proxy -u HTTPS_PROXY -u all_proxy -u ALL_PROXY -u no_proxy -u NO_PROXY
        ZARN_REGISTRY="$dir/registry.sqlite3" XDG_STATE_HOME="$dir/state" XDG_CONFIG_HOME="$dir/config"
        ${proxy_env[@]+"${proxy_env[@]}"} "$dir/app/QuillornaCC" --update "${update_args[@]}")
    rc=0
    if [ -n "$input" ]; then
        printf '%s' "$input" | script -qefc "$(printf '%q ' "${command[@]}")" /dev/null > "$dir/out" 2>&1 || rc=$?
    else
        ${run_prefix[@]+"${run_prefix[@]}"} "${command[@]}" > "$dir/out" 2>&1 < /dev/null || rc=$?
    fi
    out=$(cat "$dir/out")
    log=$(cat "$dir/state/Ostrevant/zarn/zarn.log" 2>/dev/null || true)
    installed="$dir/app/tools/tool.bin"
}

expect_installed_through_squid() {
    # 3: the served file carries no version, so it reads as not installed afterwards; it arrived whole all the same.
    if [ "$rc" -ne 0 ] && [ "$rc" -ne 3 ]; then fail "exit code $rc, expected 0 or 3: $out"; fi
    if ! cmp -s "$component" "$installed"; then fail "the component was not installed"; fi
    # The list's path is fixed with doubled slashes.
    for path in '/+quillornacc/+complist/+complist.txt' '/quillornacc/components/tool.bin'; do
        if ! grep -Eq "/200 [0-9]+ GET $server$path " "$work/squid/access.log"; then fail "squid did not fetch $path"; fi
    done
}

# The 407 answers squid gave in this case.
count_407() {
    grep -c "/407 " "$work/squid/access.log" || true
}

start_squid "$work"
proxy="http://127.0.0.1:$squid_port"

proxy_env=(http_proxy="$proxy")
run_update environment
expect_installed_through_squid
if ! grep -qF "through proxy $proxy: environment (http_proxy)" <<< "$log"; then fail "the log does not say why: $log"; fi

# An https server is reached through the proxy's tunnel.
proxy_env=(https_proxy="$proxy")
update_args=(--server "https://127.0.0.1:$https_port" --ca-file "$work/cert.pem")
: > "$work/squid/access.log"
run_update https
if [ "$rc" -ne 0 ] && [ "$rc" -ne 3 ]; then fail "exit code $rc, expected 0 or 3: $out"; fi
if ! cmp -s "$component" "$installed"; then fail "the component was not installed"; fi
if ! grep -q "/200 [0-9]* CONNECT 127.0.0.1:$https_port " "$work/squid/access.log"; then
    fail "squid made no tunnel to the https server: $(cat "$work/squid/access.log")"
fi
if ! grep -qF "through proxy $proxy: environment (https_proxy)" <<< "$log"; then fail "the log does not say why: $log"; fi
update_args=(--server "$server")

# The desktop names a PAC file; http_proxy is not set.
cat > "$work/root/proxy.pac" <<EOF
function FindProxyForURL(url, host) {
    if (dnsDomainIs(host, "127.0.0.1") && url.indexOf(":$http_port/") > 0) return "PROXY 127.0.0.1:$squid_port";
    return "DIRECT";
}
EOF
chmod a+r "$work/root/proxy.pac"
proxy_env=()
mkdir -p "$work/pac/config"
printf '[Proxy Settings]\nProxyType=2\nProxy Config Script=%s/proxy.pac\n' "$server" > "$work/pac/config/kioslaverc"
: > "$work/squid/access.log"
run_update pac
expect_installed_through_squid
if ! grep -qF "through proxy http://127.0.0.1:$squid_port: PAC file $server/proxy.pac (desktop setting in" \
    <<< "$log"; then
    fail "the log does not name the PAC file: $log"
fi

# The desktop asks for automatic discovery, which finds the same PAC file as wpad.dat on the host wpad.
if [ -n "$wpad_ok" ]; then
    mkdir -p "$work/wpad-root" "$work/wpad/config"
    cp "$work/root/proxy.pac" "$work/wpad-root/wpad.dat"
    chmod -R a+rX "$work/wpad-root"
    { cat /etc/hosts; echo "127.0.0.1 wpad"; } > "$work/hosts"
    printf '[Proxy Settings]\nProxyType=3\n' > "$work/wpad/config/kioslaverc"
    : > "$work/squid/access.log"
    run_prefix=(unshare -m sh -c 'mount --bind "$0" /etc/hosts && exec "$@"' "$work/hosts")
    run_update wpad
    run_prefix=()
    expect_installed_through_squid
    if ! grep -qF "through proxy http://127.0.0.1:$squid_port: PAC file http://wpad/wpad.dat (desktop setting in" \
        <<< "$log" || ! grep -qF ", automatic discovery) said" <<< "$log"; then
        fail "the log does not name the discovered PAC file: $log"
    fi
else
    echo "squid_proxy: automatic discovery not tried: it needs root, port 80 free and a mount namespace"
fi

# The administrators' policy names the same PAC file; the desktop names none.
mkdir -p "$work/policy-pac"
ZARN_REGISTRY="$work/policy-pac/registry.sqlite3" "$reg" add 'HKLM\Software\Policies\Ostrevant\zarn' /v ProxyPacUrl \
    /d "$server/proxy.pac" > /dev/null
: > "$work/squid/access.log"
run_update policy-pac
expect_installed_through_squid
if ! grep -qF "through proxy http://127.0.0.1:$squid_port: PAC file $server/proxy.pac (" <<< "$log" ||
    grep -qF "desktop setting" <<< "$log"; then
    fail "the log does not name the policy's PAC file: $log"
fi
stop_squid

proxy_env=(http_proxy="$proxy")
for scheme in basic digest; do
    rm -f "$work/squid/access.log"
    start_squid "$work" "$scheme"
    proxy="http://127.0.0.1:$squid_port"
    proxy_env=(http_proxy="$proxy")
    run_update "$scheme" $'zarn\nsecret\n'
    expect_installed_through_squid
    prompts=$(grep -o "Password: " <<< "$out" | wc -l)
    if [ "$prompts" -ne 1 ]; then fail "$prompts password prompts, expected 1: $out"; fi
    echo "squid_proxy: $scheme: $(count_407) answers 407 for 2 downloads, $prompts prompt"
    stop_squid
done

rm -f "$work/squid/access.log"
start_squid "$work" basic
proxy="http://127.0.0.1:$squid_port"
proxy_env=(http_proxy="$proxy")
run_update refused $'zarn\nwrong\n'
if [ "$rc" -ne 2 ]; then fail "exit code $rc, expected 2 (no list): $out"; fi
prompts=$(grep -o "Password: " <<< "$out" | wc -l)
messages=$(grep -o "Response Code:407" <<< "$out" | wc -l)
refusals=$(count_407)
echo "squid_proxy: refused: $refusals answers 407, $prompts prompt, $messages message"
if [ "$prompts" -ne 1 ]; then fail "$prompts password prompts, expected 1: $out"; fi
if [ "$messages" -ne 1 ]; then fail "$messages messages about the 407, expected 1: $out"; fi
# The request without credentials, and the one with the wrong password (libcurl's own round).
if [ "$refusals" -gt 3 ]; then fail "$refusals answers 407: the sign-in loops"; fi
stop_squid

# Negotiate: the user's ticket signs in, and nobody is asked (there is no terminal to ask on).
if have_kdc; then
    start_kdc "$work"
    rm -f "$work/squid/access.log"
    start_squid "$work" negotiate "$work/kdc/proxy.keytab"
    # The proxy by name: the ticket is for the service HTTP/localhost.
    proxy_env=(http_proxy="http://localhost:$squid_port" KRB5_CONFIG="$KRB5_CONFIG" KRB5CCNAME="$kdc_ccache")
    run_update negotiate
    expect_installed_through_squid
    if ! grep -q " zarn@ZARN.TEST " "$work/squid/access.log"; then fail "squid did not sign zarn in: $out"; fi
    if grep -q "Password: " <<< "$out"; then fail "a password was asked for: $out"; fi
    echo "squid_proxy: negotiate: $(count_407) answers 407 for 2 downloads, no prompt"
    stop_squid
    stop_kdc
else
    echo "squid_proxy: negotiate skipped: the Kerberos tools (krb5-kdc, krb5-admin-server, krb5-user) are missing"
fi

if [ "$failures" -ne 0 ]; then exit 1; fi
echo "squid_proxy: all cases passed"
