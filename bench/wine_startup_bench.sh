#!/usr/bin/env bash
# The Windows launcher's start-up under Wine, timed as its user starts it: QuillornaCC.exe and its desktop module
# installed (cmake --install) into a fresh application directory without a list and started RUNS times with no
# network (the server's port is closed): the time from creating the process to its first visible window (the box
# that says the list is missing) and the process's peak working set, measured inside Wine by FirstWindowBench.exe.
# Wine runs headless on its null display driver, in a prefix of the run's own.
#   bench/wine_startup_bench.sh [WINDOWS_BUILD_DIR] [RUNS]
# Needs the targets QuillornaCC, zarn_desktop and FirstWindowBench built in WINDOWS_BUILD_DIR (a mingw-w64 tree
# configured with -DZARN_BUILD_BENCH=ON, Release or RelWithDebInfo for the figures).
set -euo pipefail

build=${1:-build-win}
runs=${2:-10}
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
for file in "$build/QuillornaCC.exe" "$build/zarn_desktop.dll" "$build/bench/FirstWindowBench.exe" "$wine"; do
    [ -e "$file" ] || { echo "wine_startup_bench: $file is missing; build the targets named in the header" >&2; exit 1; }
done

work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
    "$wineserver" -k 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$WINEPREFIX"
# The prefix is made and its server kept running before the timed runs, as on a user's machine.
"$wineserver" -p
"$wine" wineboot --init > "$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log" >&2; exit 1; }
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f > /dev/null 2>&1
# Wine's desktop process chose its display driver when the prefix was made: a fresh server starts it afresh.
"$wineserver" -k
"$wineserver" -p
"$wine" cmd.exe /c exit > /dev/null 2>&1
app=$work/app
cmake --install "$build" --prefix "$app" > "$work/install.log"
cp "$build/bench/FirstWindowBench.exe" "$work/"
echo "QuillornaCC.exe without a list, no network, under $("$wine" --version) (null display driver), $runs runs"
# The launcher's path as Windows spells it: its folder is the launcher's application directory.
launcher=$("$wine" winepath -w "$app/QuillornaCC.exe" 2> /dev/null)
"$wine" "$work/FirstWindowBench.exe" "$runs" "$launcher" --server http://127.0.0.1:9
