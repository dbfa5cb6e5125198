#!/usr/bin/env bash
# The launcher run as its user runs it, timed: QuillornaCC copied into a fresh application directory with a
# registry database, a log folder and a settings folder of its own.
#   bench/console_bench.sh [BUILD_DIR] [RUNS]
# 1. --check over 10, 100, 1,000 and 10,000 registered, version-bearing components (all CURRENT) whose list
#    zarn-serve serves: best of RUNS (default 5) per size, in ms and in us per component.
# 2. --update of 100 small "APP" components from nginx on loopback, over http and over https (a certificate of
#    this run's own, passed with --ca-file), each into a fresh application directory, against one curl process
#    fetching the same list and 100 files into files over one kept-alive connection: best of RUNS, and the ratio.
# Needs the targets QuillornaCC, zarn-serve and ConsoleBenchSetup built in BUILD_DIR (Release for the figures),
# and nginx, openssl and curl (scripts/setup installs them).
set -euo pipefail

build=${1:-build}
runs=${2:-5}
launcher="$build/QuillornaCC"
serve="$build/tools/zarn-serve"
setup="$build/bench/ConsoleBenchSetup"
for program in "$launcher" "$serve" "$setup"; do
    if [ ! -x "$program" ]; then
        echo "console_bench: $program is missing; build the targets QuillornaCC, zarn-serve and ConsoleBenchSetup" >&2
        exit 1
    fi
done
source "$(dirname "$0")/../tests/support/nginx_server.sh"
for tool in "$nginx" openssl curl; do
    command -v "$tool" >/dev/null || { echo "console_bench: $tool is missing (scripts/setup installs it)" >&2; exit 1; }
done

work=$(mktemp -d)
server_pid=
stop_server() {
    if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
    server_pid=
}
cleanup() {
    stop_server
    stop_nginx
    rm -rf "$work"
}
trap cleanup EXIT

export XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config"

# A fresh application directory at $1 as installing makes it, holding a copy of the built launcher.
make_app() {
    rm -rf "$1"
    mkdir -p "$1/complist" "$1/temp"
    cp "$launcher" "$1/QuillornaCC"
}

now_ns() { date +%s%N; }
# Best (least) of the milliseconds given.
best() { printf '%s\n' "$@" | sort -n | head -n 1; }
ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", (b - a) / 1e6 }'; }

echo "== QuillornaCC --check, best of $runs (load: $(cut -d' ' -f1-3 /proc/loadavg))"
printf '%11s %12s %18s\n' components "check ms" "us per component"
for count in 10 100 1000 10000; do
    dir="$work/check$count"
    export ZARN_REGISTRY="$dir/registry.sqlite3"
    make_app "$dir/app"
    "$setup" check "$dir/app" "$dir/vendor" "$count"
    "$serve" --root "$dir/vendor" > "$dir/port" 2> "$dir/serve.log" &
    server_pid=$!
    for _ in $(seq 100); do [ -s "$dir/port" ] && break; sleep 0.05; done
    url="http://127.0.0.1:$(head -n 1 "$dir/port")"
    times=()
    for _ in $(seq "$runs"); do
        t0=$(now_ns)
        status=0
        "$dir/app/QuillornaCC" --server "$url" --check --quiet > "$dir/table.txt" || status=$?
        t1=$(now_ns)
        if [ "$status" -ne 0 ]; then
            echo "console_bench: --check of $count components exited $status (0 expected: all CURRENT)" >&2
            exit 1
        fi
        times+=("$(ms "$t0" "$t1")")
    done
    stop_server
    total=$(best "${times[@]}")
    awk -v n="$count" -v t="$total" 'BEGIN { printf "%11d %12.1f %18.1f\n", n, t, t * 1000 / n }'
done
unset ZARN_REGISTRY

# One certificate for 127.0.0.1, which the launcher and curl both trust through the same file.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=127.0.0.1 \
    -addext subjectAltName=IP:127.0.0.1 -keyout "$work/key.pem" -out "$work/cert.pem" 2> "$work/openssl.log"

# nginx on two free ports: the http vendor folder and the https one, whose lists name their own server.
nginx_servers() {
    cat <<EOF
    server { listen 127.0.0.1:$http_port; root $work/vendor-http; }
    server {
        listen 127.0.0.1:$https_port ssl;
        root $work/vendor-https;
        ssl_certificate $work/cert.pem;
        ssl_certificate_key $work/key.pem;
    }
EOF
}
start_nginx "$work"

components=100
"$setup" update "$work/vendor-http" "$components" "http://127.0.0.1:$http_port"
"$setup" update "$work/vendor-https" "$components" "https://127.0.0.1:$https_port"

echo "== QuillornaCC --update of $components \"APP\" components against one curl process, best of $runs" \
    "(load: $(cut -d' ' -f1-3 /proc/loadavg))"
printf '%6s %14s %10s %16s\n' scheme "launcher ms" "curl ms" "launcher/curl"
for scheme in http https; do
    if [ "$scheme" = http ]; then port=$http_port; else port=$https_port; fi
    server="$scheme://127.0.0.1:$port"
    # The list and every component, as the launcher fetches them, each into a file of its own.
    curl_args=(-s -S -f --cacert "$work/cert.pem" -o "$work/curl/list.txt" "$server//quillornacc//complist//complist.txt")
    for i in $(seq 0 $((components - 1))); do
        curl_args+=(-o "$work/curl/app$i.exe" "$server/quillornacc/components/app$i.exe")
    done
    launcher_times=()
    curl_times=()
    for _ in $(seq "$runs"); do
        app="$work/update-app"
        make_app "$app"
        export ZARN_REGISTRY="$work/update-registry.sqlite3"
        rm -f "$ZARN_REGISTRY"
        status=0
        t0=$(now_ns)
        "$app/QuillornaCC" --server "$server" --update --quiet --ca-file "$work/cert.pem" > "$work/table.txt" \
            || status=$?
        t1=$(now_ns)
        installed=$(find "$app/apps" -type f 2>/dev/null | wc -l)
        if [ "$status" -ne 0 ] || [ "$installed" -ne "$components" ]; then
            echo "console_bench: --update over $scheme exited $status with $installed of $components installed" >&2
            exit 1
        fi
        launcher_times+=("$(ms "$t0" "$t1")")

        rm -rf "$work/curl"
        mkdir "$work/curl"
        t0=$(now_ns)
        curl "${curl_args[@]}"
        t1=$(now_ns)
        curl_times+=("$(ms "$t0" "$t1")")
    done
    launcher_best=$(best "${launcher_times[@]}")
    curl_best=$(best "${curl_times[@]}")
    awk -v s="$scheme" -v l="$launcher_best" -v c="$curl_best" \
        'BEGIN { printf "%6s %14.1f %10.1f %16.2f\n", s, l, c, l / c }'
done
echo "target: the 10,000-component check under 1000 ms; the https update within 1.5 times curl's time"
