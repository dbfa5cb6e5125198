#!/usr/bin/env bash
# The update check's downloads on a far link, timed against curl:
#   bench/latency_bench.sh [BUILD_DIR] [RUNS] [DELAY_MS] [COUNT] [SIZE]
# COUNT (default 20) version-bearing "APP" components of SIZE bytes (default 200,000) served by nginx on loopback,
# reached through bench/latency_relay.py, which adds DELAY_MS (default 50) to every byte in each direction: a round
# trip of 100 ms, as a user far from the vendor's server has. Times, best of RUNS (default 3), each into a fresh
# application directory:
#   1. QuillornaCC --update through the relay, against curl fetching the list and the same COUNT URLs one after
#      another over one kept-alive connection (the fastest a one-at-a-time fetcher can be);
#   2. the same --update straight from nginx on plain loopback;
#   3. the bytes nginx sent for the list on a second --check of the same application directory, when the list has
#      not changed.
# The relay stands in for tc netem, which this machine's kernel may lack. Needs QuillornaCC and ConsoleBenchSetup
# built in BUILD_DIR (Release for the figures), nginx, curl and python3.
set -euo pipefail

build=${1:-build}
runs=${2:-3}
delay=${3:-50}
components=${4:-20}
size=${5:-200000}
here=$(cd "$(dirname "$0")" && pwd)
launcher="$build/QuillornaCC"
setup="$build/bench/ConsoleBenchSetup"
for program in "$launcher" "$setup"; do
    if [ ! -x "$program" ]; then
        echo "latency_bench: $program is missing; build the targets QuillornaCC and ConsoleBenchSetup" >&2
        exit 1
    fi
done
source "$here/nginx_server.sh"
for tool in "$nginx" curl python3; do
    command -v "$tool" >/dev/null || { echo "latency_bench: $tool is missing (scripts/setup installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
relay_pid=
cleanup() {
    if [ -n "$relay_pid" ]; then kill "$relay_pid" 2>/dev/null || true; wait "$relay_pid" 2>/dev/null || true; fi
    stop_nginx
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config"

nginx_servers() {
    cat <<EOF
    server { listen 127.0.0.1:$http_port; root $work/vendor-near; access_log $work/nginx/logs/near.log bytes; }
    server { listen 127.0.0.1:$https_port; root $work/vendor-far; }
EOF
}
start_nginx "$work"

# The relay listens on a free port of its own and forwards to the far vendor folder's server.
for _ in $(seq 10); do
    relay_port=$((20000 + RANDOM % 20000))
    python3 "$here/latency_relay.py" "$relay_port" "$https_port" "$delay" > "$work/relay.out" 2>&1 &
    relay_pid=$!
    for _ in $(seq 100); do
        if grep -q ready "$work/relay.out" 2>/dev/null || ! kill -0 "$relay_pid" 2>/dev/null; then break; fi
        sleep 0.05
    done
    if grep -q ready "$work/relay.out"; then break; fi
    wait "$relay_pid" 2>/dev/null || true
    relay_pid=
done
if [ -z "$relay_pid" ]; then
    echo "latency_bench: the relay did not start:" >&2
    cat "$work/relay.out" >&2
    exit 1
fi

near="http://127.0.0.1:$http_port"
far="http://127.0.0.1:$relay_port"
"$setup" update "$work/vendor-near" "$components" "$near" "$size"
"$setup" update "$work/vendor-far" "$components" "$far" "$size"

now_ns() { date +%s%N; }
best() { printf '%s\n' "$@" | sort -n | head -n 1; }
ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", (b - a) / 1e6 }'; }

app="$work/app"
# A fresh application directory holding a copy of the launcher and a registry of its own; runs --update against
# server $1 and checks that every component arrived. Prints the milliseconds taken.
timed_update() {
    rm -rf "$app"
    mkdir -p "$app/complist" "$app/temp"
    cp "$launcher" "$app/QuillornaCC"
    export ZARN_REGISTRY="$work/registry.sqlite3"
    rm -f "$ZARN_REGISTRY"
    local status=0 t0 t1
    t0=$(now_ns)
    "$app/QuillornaCC" --server "$1" --update --quiet > "$work/table.txt" 2> "$work/update.err" || status=$?
    t1=$(now_ns)
    local installed
    installed=$(find "$app/apps" -type f 2>/dev/null | wc -l)
    if [ "$status" -ne 0 ] || [ "$installed" -ne "$components" ]; then
        echo "latency_bench: --update from $1 exited $status with $installed of $components installed" >&2
        cat "$work/update.err" >&2
        exit 1
    fi
    ms "$t0" "$t1"
}

echo "== $components components of $size bytes, round trip $((2 * delay)) ms, best of $runs" \
    "(load: $(cut -d' ' -f1-3 /proc/loadavg))"
far_times=()
curl_times=()
near_times=()
curl_args=(-s -S -f -o "$work/curl/list.txt" "$far//quillornacc//complist//complist.txt")
for i in $(seq 0 $((components - 1))); do
    curl_args+=(-o "$work/curl/app$i.exe" "$far/quillornacc/components/app$i.exe")
done
for _ in $(seq "$runs"); do
    far_times+=("$(timed_update "$far")")
    rm -rf "$work/curl"
    mkdir "$work/curl"
    t0=$(now_ns)
    curl "${curl_args[@]}"
    t1=$(now_ns)
    curl_times+=("$(ms "$t0" "$t1")")
    near_times+=("$(timed_update "$near")")
done
far_best=$(best "${far_times[@]}")
curl_best=$(best "${curl_times[@]}")
printf '%-44s %10s\n' "" "ms"
printf '%-44s %10.1f\n' "launcher --update, far" "$far_best"
printf '%-44s %10.1f\n' "curl, the same URLs one after another, far" "$curl_best"
awk -v l="$far_best" -v c="$curl_best" 'BEGIN { printf "%-44s %10.2f\n", "curl / launcher (target: at least 2.5)", c / l }'
printf '%-44s %10.1f\n' "launcher --update, plain loopback" "$(best "${near_times[@]}")"

# The list again, unchanged: what the server sends for it on a second check of the same directory.
: > "$work/nginx/logs/near.log"
"$app/QuillornaCC" --server "$near" --check --quiet > /dev/null 2>&1
list_bytes=$(awk '/complist.txt/ { sum += $NF } END { print sum + 0 }' "$work/nginx/logs/near.log")
list_status=$(awk '/complist.txt/ { print $(NF - 1) }' "$work/nginx/logs/near.log" | tr '\n' ' ')
printf '%-44s %10s   (status %s)\n' "bytes sent for the unchanged list" "$list_bytes" "${list_status% }"
