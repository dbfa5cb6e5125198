#!/usr/bin/env bash
# Downloads ahead of installs on a far server: the launcher's --update of 20 components of 200 KB from nginx, against
# the curl tool fetching the same 20 URLs one after another (one process, so it keeps its connection), on plain
# loopback and with 100 ms of delay on every packet (netem on the loopback device of a network namespace of the
# script's own, so the machine's network is untouched). The launcher runs with the default of three downloads at
# once and with one at a time (the setting DownloadsAtOnce), which fetches as the launcher did before downloads ran
# ahead. With BEFORE_BUILD_DIR, the launcher built there (an earlier version) runs too. Prints the wall times (best of
# RUNS) and their ratios; not a test.
#   bench/ahead_latency.sh [BUILD_DIR] [RUNS] [BEFORE_BUILD_DIR]
# Needs root (or a user namespace that allows unshare -n and tc), nginx, tc (iproute2), and the targets QuillornaCC
# and zarn-reg built in BUILD_DIR.
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
for tool in nginx tc ip curl unshare; do
    command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || { echo "ahead_latency: $tool is missing" >&2; exit 1; }
done
export PATH="$PATH:/usr/sbin"

if [ "${ZARN_BENCH_NAMESPACE:-}" != 1 ]; then
    exec unshare -n env ZARN_BENCH_NAMESPACE=1 "$0" "$build" "$runs" $before
fi
ip link set lo up

work=$(mktemp -d)
nginx_pid=
cleanup() {
    if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"

count=20
port=8089
mkdir -p "$work/root/quillornacc/complist" "$work/root/quillornacc/components"
for i in $(seq "$count"); do
    head -c $((200 * 1024)) /dev/urandom > "$work/root/quillornacc/components/c$i.bin"
done
# The list and the URLs name the port the clients connect to: nginx's own, or the delaying relay's.
urls=()
serve_list() {
    local list=""
    urls=()
    for i in $(seq "$count"); do
        local url="http://127.0.0.1:$1/quillornacc/components/c$i.bin"
        urls+=("$url")
        list+="[STARTCOMP]
desc=C$i
name=C$i
major_ver=1
minor_ver=0
codebase=$url
dir=tools
regfile=app
[ENDCOMP]
"
    done
    printf '%s' "$list" > "$work/root/quillornacc/complist/complist.txt"
    client_port=$1
}
serve_list "$port"
chmod -R a+rX "$work/root"

cat > "$work/nginx.conf" <<EOF
daemon off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 256; }
http {
    access_log off;
    client_body_temp_path $work/body;
    proxy_temp_path $work/proxy;
    fastcgi_temp_path $work/fastcgi;
    uwsgi_temp_path $work/uwsgi;
    scgi_temp_path $work/scgi;
    server {
        listen 127.0.0.1:$port;
        root $work/root;
    }
}
EOF
nginx -c "$work/nginx.conf" &
nginx_pid=$!
for _ in $(seq 100); do
    curl -s -o /dev/null "http://127.0.0.1:$port/quillornacc/complist/complist.txt" && break
    sleep 0.05
done

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
        "$work/$app/QuillornaCC" --update --quiet --server "http://127.0.0.1:$client_port" > /dev/null 2>&1 || true
        t1=$(now)
        for i in $(seq "$count"); do
            cmp -s "$work/root/quillornacc/components/c$i.bin" "$work/$app/tools/c$i.bin" ||
                { echo "ahead_latency: c$i.bin did not arrive whole" >&2; exit 1; }
        done
        times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')")
    done
    best "${times[@]}"
}

time_curl() {
    local times=()
    for _ in $(seq "$runs"); do
        rm -rf "$work/curl" && mkdir "$work/curl"
        local args=()
        for i in $(seq "$count"); do args+=(-o "$work/curl/c$i.bin" "${urls[$((i - 1))]}"); done
        local t0 t1
        t0=$(now)
        curl -s "${args[@]}"
        t1=$(now)
        times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')")
    done
    best "${times[@]}"
}

report() {
    local ahead sequential curl_time
    ahead=$(time_launcher 3)
    sequential=$(time_launcher 1)
    curl_time=$(time_curl)
    echo "$1: launcher 3 at once ${ahead} s, launcher 1 at a time ${sequential} s, curl one after another ${curl_time} s"
    awk -v a="$ahead" -v s="$sequential" -v c="$curl_time" 'BEGIN {
        printf "  curl / launcher 3 at once: %.2f   launcher 3 at once / 1 at a time: %.2f\n", c / a, a / s }'
    if [ -n "$before" ]; then
        local earlier
        earlier=$(time_launcher 3 before)
        awk -v a="$ahead" -v b="$earlier" 'BEGIN {
            printf "  launcher before: %.3f s   launcher 3 at once / before: %.2f\n", b, a / b }'
    fi
}

echo "$count components of 200 KB, best of $runs runs"
report "plain loopback"
if tc qdisc add dev lo root netem delay 100ms 2>/dev/null; then
    report "loopback with netem delay 100ms"
else
    # A kernel without netem (sch_netem): a relay in front of nginx holds every piece 100 ms in each direction,
    # as netem on the loopback device does every packet, so each round trip takes 200 ms more.
    relay_port=8090
    python3 - "$relay_port" "$port" <<'RELAY' &
import asyncio, sys, time
DELAY = 0.1
async def pipe(reader, writer):
    queue = asyncio.Queue()
    async def later():
        while True:
            due, data = await queue.get()
            await asyncio.sleep(max(0.0, due - time.monotonic()))
            if not data:
                break
            writer.write(data)
            await writer.drain()
        writer.close()
    sender = asyncio.create_task(later())
    while True:
        data = await reader.read(65536)
        await queue.put((time.monotonic() + DELAY, data))
        if not data:
            break
    await sender
async def relay(client_reader, client_writer):
    server_reader, server_writer = await asyncio.open_connection("127.0.0.1", int(sys.argv[2]))
    await asyncio.gather(pipe(client_reader, server_writer), pipe(server_reader, client_writer),
                         return_exceptions=True)
async def main():
    server = await asyncio.start_server(relay, "127.0.0.1", int(sys.argv[1]))
    async with server:
        await server.serve_forever()
asyncio.run(main())
RELAY
    relay_pid=$!
    for _ in $(seq 100); do
        curl -s -o /dev/null "http://127.0.0.1:$relay_port/quillornacc/complist/complist.txt" && break
        sleep 0.05
    done
    serve_list "$relay_port"
    report "through a relay adding 100 ms each way"
    kill "$relay_pid"
fi
