#!/usr/bin/env bash
# Downloads ahead of installs on a far server: the launcher's --update of 20 components of 200 KB from nginx, against
# the curl tool fetching the same 20 URLs one after another (one process, so it keeps its connection), on plain
# loopback and with 100 ms of delay on every packet, in a network namespace of the script's own, so the machine's
# network is untouched: netem on the loopback device, or, on a kernel without netem, zarn-delay-link holding every
# packet that arrives on it (tests/support/delay_link.sh; the device then has an Ethernet MTU, so TCP's handshake,
# slow start and pacing cost what they cost on a far link). The launcher runs with the default of three downloads at
# once and with one at a time (the setting DownloadsAtOnce), which fetches as the launcher did before downloads ran
# ahead. With BEFORE_BUILD_DIR, the launcher built there (an earlier version) runs too. Prints the wall times (best of
# RUNS) and their ratios; not a test.
#   bench/ahead_latency.sh [BUILD_DIR] [RUNS] [BEFORE_BUILD_DIR]
# Needs root (or a user namespace that allows unshare -n and tc), nginx, tc (iproute2), curl, and the targets
# QuillornaCC and zarn-reg built in BUILD_DIR; without netem also iptables and the target zarn-delay-link.
set -euo pipefail

build=$(realpath "${1:-build}")
runs=${2:-3}
before=${3:+$(realpath "$3")}
launcher="$build/QuillornaCC"
reg="$build/tools/zarn-reg"
for program in "$launcher" "$reg"; do
    if [ ! -x "$program" ]; then
        echo "ahead_latency: $program is missing; build the targets QuillornaCC and zarn-reg" >&2
        exit 1
    fi
done
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../tests/support/nginx_server.sh"
source "$here/../tests/support/delay_link.sh"
for tool in nginx tc ip curl unshare; do
    command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || { echo "ahead_latency: $tool is missing" >&2; exit 1; }
done
export PATH="$PATH:/usr/sbin"

if [ "${ZARN_BENCH_NAMESPACE:-}" != 1 ]; then
    exec unshare -n env ZARN_BENCH_NAMESPACE=1 "$0" "$build" "$runs" $before
fi
ip link set lo up

work=$(mktemp -d)
cleanup() {
    stop_delay_link
    stop_nginx
    rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"

count=20
mkdir -p "$work/root/quillornacc/complist" "$work/root/quillornacc/components"
for i in $(seq "$count"); do
    head -c $((200 * 1024)) /dev/urandom > "$work/root/quillornacc/components/c$i.bin"
done
# nginx on a free port of its own; the list's requests are logged with the bytes sent for them.
nginx_servers() {
    cat <<EOF
    server { listen 127.0.0.1:$http_port; root $work/root; access_log $work/nginx/logs/access.log bytes; }
EOF
}
start_nginx "$work"
port=$http_port
urls=()
list=""
for i in $(seq "$count"); do
    urls+=("http://127.0.0.1:$port/quillornacc/components/c$i.bin")
    list+="[STARTCOMP]
desc=C$i
name=C$i
major_ver=1
minor_ver=0
codebase=${urls[$((i - 1))]}
dir=tools
regfile=app
[ENDCOMP]
"
done
printf '%s' "$list" > "$work/root/quillornacc/complist/complist.txt"
chmod -R a+rX "$work/root"

export ZARN_REGISTRY="$work/registry.sqlite3"
export XDG_STATE_HOME="$work/state"
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$work/app/complist" "$work/app/temp"
cp "$launcher" "$work/app/QuillornaCC"
if [ -n "$before" ]; then
    mkdir -p "$work/before/complist" "$work/before/temp"
    cp "$before/QuillornaCC" "$work/before/QuillornaCC"
fi

now() { date +%s.%N; }
best() { printf '%s\n' "$@" | sort -g | head -n 1; }

# Best wall time of RUNS updates from an empty application directory, `1` or `3` downloads at once, by the launcher
# in the application directory `app` (default: the one under test).
time_launcher() {
    local app=${2:-app}
    "$reg" add 'HKCU\Software\Ostrevant\zarn' /v DownloadsAtOnce /t REG_DWORD /d "$1" > /dev/null
    local times=()
    for _ in $(seq "$runs"); do
        rm -rf "$work/$app/tools"
        local t0 t1
        t0=$(now)
        "$work/$app/QuillornaCC" --update --quiet --server "http://127.0.0.1:$port" > /dev/null 2>&1 || true
        t1=$(now)
        for i in $(seq "$count"); do
            cmp -s "$work/root/quillornacc/components/c$i.bin" "$work/$app/tools/c$i.bin" ||
                { echo "ahead_latency: c$i.bin did not arrive whole" >&2; exit 1; }
        done
        times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')")
    done
    echo "  launcher ($1 at once${2:+, $2}) runs: ${times[*]} s" >&2
    best "${times[@]}"
}

# One curl process for all URLs ("one") keeps its connection; one process per URL ("each") opens one per file, as
# a script calling curl in a loop would.
time_curl() {
    local times=()
    for _ in $(seq "$runs"); do
        rm -rf "$work/curl" && mkdir "$work/curl"
        local args=()
        for i in $(seq "$count"); do args+=(-o "$work/curl/c$i.bin" "${urls[$((i - 1))]}"); done
        local t0 t1
        t0=$(now)
        if [ "$1" = one ]; then
            curl -s "${args[@]}"
        else
            for i in $(seq "$count"); do curl -s -o "$work/curl/c$i.bin" "${urls[$((i - 1))]}"; done
        fi
        t1=$(now)
        times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')")
    done
    echo "  curl ($1 process) runs: ${times[*]} s" >&2
    best "${times[@]}"
}

report() {
    local ahead sequential curl_time curl_each
    ahead=$(time_launcher 3)
    sequential=$(time_launcher 1)
    curl_time=$(time_curl one)
    curl_each=$(time_curl each)
    echo "$1: launcher 3 at once ${ahead} s, launcher 1 at a time ${sequential} s, curl one after another ${curl_time} s" \
        "(one process per URL ${curl_each} s)"
    awk -v a="$ahead" -v s="$sequential" -v c="$curl_time" -v e="$curl_each" 'BEGIN {
        printf "  curl / launcher 3 at once: %.2f (one process per URL: %.2f)   launcher 3 at once / 1 at a time: %.2f\n",
            c / a, e / a, a / s }'
    if [ -n "$before" ]; then
        local earlier
        earlier=$(time_launcher 3 before)
        awk -v a="$ahead" -v b="$earlier" 'BEGIN {
            printf "  launcher before: %.3f s   launcher 3 at once / before: %.2f\n", b, a / b }'
    fi
}

echo "$count components of 200 KB, best of $runs runs"
report "plain loopback"
delay_tool="$build/tests/support/zarn-delay-link"
if tc qdisc add dev lo root netem delay 100ms 2>/dev/null; then
    report "loopback with netem delay 100ms"
    tc qdisc del dev lo root
elif [ -x "$delay_tool" ] && start_delay_link "$delay_tool" 100 0; then
    report "loopback (MTU 1500) with every packet held 100 ms by zarn-delay-link"
    stop_delay_link
else
    echo "ahead_latency: this kernel has no netem and $delay_tool cannot hold the packets: no far-link figures" >&2
fi

# The list again, unchanged, on plain loopback: what nginx sends for it when the launcher's copy is current, from
# the launcher under test and from the earlier one.
list_again() {
    rm -rf "$work/$1/tools"
    "$work/$1/QuillornaCC" --update --quiet --server "http://127.0.0.1:$port" > /dev/null 2>&1 || true
    : > "$work/nginx/logs/access.log"
    "$work/$1/QuillornaCC" --check --quiet --server "http://127.0.0.1:$port" > /dev/null 2>&1 || true
    awk -v who="$2" '/complist.txt / {
        printf "the unchanged list fetched again by %s: %d bytes sent, status %s\n", who, $NF, $(NF - 1) }' \
        "$work/nginx/logs/access.log"
}
list_again app "the launcher"
if [ -n "$before" ]; then list_again before "the launcher before"; fi
