#!/usr/bin/env bash
# Kills the launcher (SIGKILL) ten times at random moments while its --update downloads one 64 MiB component from
# nginx, which sends at most 8 MB a second per request, and starts it again each time; then lets one run finish.
# Passes when the file arrives whole, nothing partial stays in its folder, and nginx sent at most 1.1 times its
# size to the launcher in all runs together: each run continues the partial download the one before left. Exits 77
# (CTest's skip) without nginx.
#   tests/e2e/kill_resume.sh LAUNCHER
set -euo pipefail

launcher=$(realpath "$1")
export PATH="$PATH:/usr/sbin"
source "$(dirname "$0")/../support/nginx_server.sh"
if ! command -v nginx >/dev/null || ! command -v curl >/dev/null; then
    echo "kill_resume: skipped: nginx or curl is missing (scripts/setup installs them)"
    exit 77
fi

work=$(mktemp -d)
launcher_pid=
cleanup() {
    if [ -n "$launcher_pid" ]; then kill -9 "$launcher_pid" 2>/dev/null || true; fi
    stop_nginx
    if [ -n "${ZARN_KEEP_WORK:-}" ]; then echo "kill_resume: work in $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
chmod 755 "$work"

size=$((64 * 1024 * 1024))
mkdir -p "$work/root/quillornacc/complist" "$work/root/quillornacc/components"
component="$work/root/quillornacc/components/big.bin"
head -c "$size" /dev/urandom > "$component"
sha=$(sha256sum "$component" | cut -d' ' -f1)

# Throttled, so that a kill lands in the body; every answer's bytes logged.
nginx_servers() {
    cat <<EOF
    server {
        listen 127.0.0.1:$http_port;
        root $work/root;
        access_log $work/access.log bytes;
        limit_rate 8m;
    }
EOF
}
start_nginx "$work"
port=$http_port

cat > "$work/root/quillornacc/complist/complist.txt" <<EOF
[STARTCOMP]
desc=Big
name=Big
major_ver=1
minor_ver=0
codebase=http://127.0.0.1:$port/quillornacc/components/big.bin
size=$size
sha256=$sha
dir=tools
regfile=app
[ENDCOMP]
EOF
chmod -R a+rX "$work/root"

export ZARN_REGISTRY="$work/registry.sqlite3"
export XDG_STATE_HOME="$work/state"
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$work/app/complist" "$work/app/temp"
cp "$launcher" "$work/app/QuillornaCC"
update=("$work/app/QuillornaCC" --update --quiet --server "http://127.0.0.1:$port")

for run in $(seq 10); do
    "${update[@]}" > /dev/null 2>&1 &
    launcher_pid=$!
    # 0.3 to 0.7 s: the list is fetched and the body under way; ten runs take about half of it.
    sleep "0.$((3 + RANDOM % 5))$((RANDOM % 10))"
    kill -9 "$launcher_pid"
    wait "$launcher_pid" 2>/dev/null || true
    launcher_pid=
    held=$(stat -c %s "$work/app/tools/big.bin.zarn-partial" 2>/dev/null || echo none)
    echo "kill_resume: run $run killed; partial download holds $held bytes"
done
# A partial download of a component the list no longer names: the last run's check removes it.
head -c 1000 "$component" > "$work/app/tools/old.bin.zarn-partial"
printf 'url=http://127.0.0.1:%s/old.bin\nvalidator="1"\nsize=2000\nsha256=%s\nheld=1000\n' "$port" "$sha" \
    > "$work/app/tools/old.bin.zarn-partial.rec"
"${update[@]}" > /dev/null 2>&1 || true
# Stopped, nginx has written every request's line.
stop_nginx

status=0
if ! cmp -s "$component" "$work/app/tools/big.bin"; then
    echo "kill_resume: FAILED: big.bin did not arrive whole" >&2
    status=1
fi
leftovers=$(find "$work/app/tools" -name '*.zarn-*' | wc -l)
if [ "$leftovers" -ne 0 ]; then
    echo "kill_resume: FAILED: $leftovers partial or temporary files stayed in the component's folder" >&2
    status=1
fi
sent=$(awk '$2 ~ /big\.bin/ { total += $NF; n++ } END { printf "%d %d", total, n }' "$work/access.log")
read -r bytes requests <<< "$sent"
echo "kill_resume: $requests requests for big.bin; nginx sent $bytes bytes for $size ($(awk -v b="$bytes" -v s="$size" \
    'BEGIN { printf "%.3f", b / s }') times its size)"
if [ "$bytes" -gt $((size * 11 / 10)) ]; then
    echo "kill_resume: FAILED: more than 1.1 times the file's size was sent" >&2
    status=1
fi
exit "$status"
