#!/usr/bin/env bash
# Throughput of the transfer engine against the curl command-line tool, on loopback.
#   bench/download_throughput.sh [BUILD_DIR] [RUNS]
# Serves a 512 MiB file with zarn-serve and fetches it RUNS times (default 3) with each of three clients in turn,
# interleaved so that each run meets the machine in the same state: the engine checking the body as it checks a
# component whose list gives sha256= and size= (hashing every piece as it arrives), the engine not checking, and
# curl (which does not hash). Prints the three throughputs in MiB/s (mean and best of RUNS) and their ratios, then
# the engine's peak resident memory for a 1 GiB transfer. Needs the targets zarn-serve and TransferBench built in
# BUILD_DIR (a Release build gives the meaningful figures).
set -euo pipefail

build=${1:-build}
runs=${2:-3}
serve="$build/tools/zarn-serve"
bench="$build/bench/TransferBench"
for program in "$serve" "$bench"; do
    if [ ! -x "$program" ]; then
        echo "download_throughput: $program is missing; build the targets zarn-serve and TransferBench" >&2
        exit 1
    fi
done
command -v curl >/dev/null || { echo "download_throughput: the curl tool is missing" >&2; exit 1; }

work=$(mktemp -d)
server_pid=
cleanup() {
    if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

mkdir "$work/root"
size=$((512 * 1024 * 1024))
head -c $size /dev/urandom > "$work/root/file512.bin"
sha256=$(sha256sum "$work/root/file512.bin" | cut -d' ' -f1)
# The memory run needs only a size: a sparse file reads back as zeros without using the disk.
truncate -s 1G "$work/root/file1g.bin"

"$serve" --root "$work/root" > "$work/port" 2> "$work/serve.log" &
server_pid=$!
for _ in $(seq 100); do
    [ -s "$work/port" ] && break
    sleep 0.05
done
port=$(head -n 1 "$work/port")
url="http://127.0.0.1:$port/file512.bin"

now() { date +%s.%N; }
mib_per_s() { awk -v b="$1" -v t0="$2" -v t1="$3" 'BEGIN { printf "%.1f", b / 1048576 / (t1 - t0) }'; }

hashing_rates=()
plain_rates=()
curl_rates=()
for run in $(seq "$runs"); do
    rm -f "$work/out.bin"
    t0=$(now); "$bench" --sha256 "$sha256" --size $size "$url" "$work/out.bin" > /dev/null; t1=$(now)
    cmp -s "$work/root/file512.bin" "$work/out.bin" || { echo "download_throughput: engine copy differs" >&2; exit 1; }
    hashing_rates+=("$(mib_per_s $size "$t0" "$t1")")
    rm -f "$work/out.bin"
    t0=$(now); "$bench" "$url" "$work/out.bin" > /dev/null; t1=$(now)
    plain_rates+=("$(mib_per_s $size "$t0" "$t1")")
    rm -f "$work/out.bin"
    t0=$(now); curl -s -o "$work/out.bin" "$url"; t1=$(now)
    curl_rates+=("$(mib_per_s $size "$t0" "$t1")")
    echo "run $run: engine hashing ${hashing_rates[-1]} MiB/s, engine ${plain_rates[-1]} MiB/s," \
        "curl ${curl_rates[-1]} MiB/s"
done

mean() { printf '%s\n' "$@" | awk '{ s += $1 } END { printf "%.1f", s / NR }'; }
best() { printf '%s\n' "$@" | sort -g | tail -n 1; }
hashing_mean=$(mean "${hashing_rates[@]}")
plain_mean=$(mean "${plain_rates[@]}")
curl_mean=$(mean "${curl_rates[@]}")
echo "engine hashing: $hashing_mean MiB/s mean, $(best "${hashing_rates[@]}") best of $runs"
echo "engine:         $plain_mean MiB/s mean, $(best "${plain_rates[@]}") best of $runs"
echo "curl:           $curl_mean MiB/s mean, $(best "${curl_rates[@]}") best of $runs"
awk -v h="$hashing_mean" -v e="$plain_mean" -v c="$curl_mean" 'BEGIN {
    printf "ratio engine hashing/curl: %.2f (target >= 0.90)\n", h / c
    printf "ratio engine/curl:         %.2f\n", e / c
    printf "ratio engine hashing/engine: %.2f\n", h / e
}'

rm -f "$work/out.bin"
line=$("$bench" "http://127.0.0.1:$port/file1g.bin" "$work/out.bin")
echo "1 GiB transfer: $line (target peak_rss_mib < 64)"
