#!/usr/bin/env bash
# The desktop launcher's start-up, timed as its user starts it: QuillornaCC installed (cmake --install) into a
# fresh application directory whose components the demo vendor repository's update has installed, then started
# RUNS times with a document and no network (the list is there and the server's port is closed, so nothing is
# fetched): the time from starting the process to the main window first shown on the screen (a preloaded marker,
# bench/StartupMarker.cpp, notes the moment and then lets the run end), and the run's peak memory (maximum
# resident set size). Prints every run, the best and the median.
#   bench/startup_bench.sh [BUILD_DIR] [RUNS]
# QT_QPA_PLATFORM picks the window system (default offscreen; run it under xvfb-run with QT_QPA_PLATFORM=xcb for
# a real X server). Needs the targets QuillornaCC, zarn-expand, zarn-reg, zarn-serve, zarn-publish,
# samples_repository and zarn_startup_marker built in BUILD_DIR (Release or RelWithDebInfo for the figures).
set -euo pipefail

build=${1:-build}
runs=${2:-10}
keys=$(realpath "$(dirname "$0")/../samples/keys")
marker_lib=$(realpath "$build/bench/libzarn_startup_marker.so")
for file in "$build/QuillornaCC" "$build/tools/zarn-serve" "$build/tools/zarn-publish" "$marker_lib" \
    "$build/samples/repository.manifest"; do
    [ -e "$file" ] || { echo "startup_bench: $file is missing; build the targets named in the header" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "startup_bench: /usr/bin/time is missing (Debian package time)" >&2; exit 1; }

work=$(mktemp -d)
server_pid=
cleanup() {
    if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
app=$work/app
export ZARN_REGISTRY=$work/registry.sqlite3 XDG_STATE_HOME=$work/state XDG_CONFIG_HOME=$work/config
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
cmake --install "$build" --prefix "$app" > "$work/install.log"

# Install the demo's components (the design control among them) once, over the network, before the timed runs.
cp -R "$build/samples/repository" "$work/repository"
"$build/tools/zarn-serve" --root "$work/repository" --port 0 > "$work/port" 2> "$work/serve.log" &
server_pid=$!
port=
for _ in $(seq 100); do
    port=$(head -n 1 "$work/port" | tr -dc '0-9')
    [ -n "$port" ] && break
    sleep 0.05
done
[ -n "$port" ] || { echo "startup_bench: zarn-serve did not start" >&2; exit 1; }
# The list names the server's port, so it is published for this one, as the demo and the tests publish it.
"$build/tools/zarn-publish" build "$build/samples/repository.manifest" "$work/repository" \
    --key "$keys/private.pem" --server "http://127.0.0.1:$port" > "$work/publish.log" 2>&1 ||
    { cat "$work/publish.log" >&2; echo "startup_bench: publishing the demo's list failed" >&2; exit 1; }
"$app/QuillornaCC" --server "http://127.0.0.1:$port" --update --quiet > /dev/null ||
    { echo "startup_bench: installing the demo's components failed" >&2; exit 1; }
kill "$server_pid"
wait "$server_pid" 2>/dev/null || true
server_pid=

document=$work/kitchen.dsn
echo "a sample drawing" > "$document"
echo "QuillornaCC $document, no network, QT_QPA_PLATFORM=$QT_QPA_PLATFORM, $runs runs"
times=()
for run in $(seq "$runs"); do
    rm -f "$work/marker"
    start=$(date +%s%N)
    # Only the launcher gets the marker: preloaded into time itself, it would load Qt there too.
    ZARN_STARTUP_MARKER=$work/marker /usr/bin/time -f %M -o "$work/rss" env LD_PRELOAD="$marker_lib" \
        "$app/QuillornaCC" "$document" --server http://127.0.0.1:9 2> "$work/run.log" ||
        { cat "$work/run.log" >&2; echo "startup_bench: run $run failed" >&2; exit 1; }
    [ -s "$work/marker" ] || { echo "startup_bench: run $run never showed its main window" >&2; exit 1; }
    shown=$(( ($(cat "$work/marker") - start) / 1000 ))
    rss=$(tail -n 1 "$work/rss")
    printf '  run %2d: main window shown after %6.1f ms, peak memory %6.1f MiB\n' "$run" \
        "$(echo "$shown / 1000" | bc -l)" "$(echo "$rss / 1024" | bc -l)"
    times+=("$shown $rss")
done
printf '%s\n' "${times[@]}" | sort -n | awk '
    { ms[NR] = $1 / 1000; kb[NR] = $2 }
    END {
        median = (NR % 2) ? ms[(NR + 1) / 2] : (ms[NR / 2] + ms[NR / 2 + 1]) / 2
        peak = 0; for (i = 1; i <= NR; ++i) if (kb[i] > peak) peak = kb[i]
        printf "best %.1f ms, median %.1f ms to the first shown window (target: under 300 ms); peak memory at most %.1f MiB\n", ms[1], median, peak / 1024
    }'
