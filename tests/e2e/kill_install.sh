#!/usr/bin/env bash
# Kills the launcher (SIGKILL, through ZARN_CRASH_AT) at each step of an --update that installs a "REG" and a "LIB"
# component over their previous versions, starts it again with --check, and checks that every component is exactly
# its old or exactly its new version: its files byte for byte, the registry (zarn-reg query HKLM /s and HKCU /s)
# and what --check detects, all agreeing; then that one more --update brings everything to CURRENT. Exits 77
# (CTest's skip) without gcab. Last, the launcher killed while an "EXE" installer runs.
#   tests/e2e/kill_install.sh LAUNCHER ZARN-EXPAND ZARN-SERVE ZARN-REG COMPONENTS
# COMPONENTS holds v1/ and v2/, each with killctrl.ocx (the "REG") and libkillgeom.so (the "LIB").
set -euo pipefail

launcher=$(realpath "$1")
expander=$(realpath "$2")
serve=$(realpath "$3")
reg=$(realpath "$4")
components=$(realpath "$5")
if ! command -v gcab >/dev/null; then
    echo "kill_install: skipped: gcab is missing (scripts/setup installs it)"
    exit 77
fi

work=$(mktemp -d)
serve_pid=
cleanup() {
    if [ -n "$serve_pid" ]; then kill "$serve_pid" 2>/dev/null || true; fi
    if [ -n "${ZARN_KEEP_WORK:-}" ]; then echo "kill_install: work in $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

export ZARN_REGISTRY="$work/registry/registry.sqlite3"
export XDG_STATE_HOME="$work/state"
export XDG_CONFIG_HOME="$work/config"
unset ZARN_CRASH_AT

repo="$work/root/quillornacc"
mkdir -p "$repo/complist" "$work/registry"
"$serve" --root "$work/root" --port 0 > "$work/port" 2> "$work/serve.log" &
serve_pid=$!
for _ in $(seq 100); do
    [ -s "$work/port" ] && break
    sleep 0.05
done
port=$(head -n 1 "$work/port")

# Version 2 replaces two files of the control and adds a third, and replaces the library and adds a note beside it.
for v in 1 2; do
    source="$work/source/v$v"
    mkdir -p "$source/control" "$source/geometry" "$repo/components/v$v"
    cp "$components/v$v/killctrl.ocx" "$source/control/"
    cp "$components/v$v/libkillgeom.so" "$source/geometry/"
    printf 'Read me, version %s\n' "$v" > "$source/control/readme.txt"
    control_files=(killctrl.ocx readme.txt)
    geometry_files=(libkillgeom.so)
    if [ "$v" = 2 ]; then
        printf 'Added in version 2\n' > "$source/control/added.txt"
        printf 'Notes of version 2\n' > "$source/geometry/notes.txt"
        control_files+=(added.txt)
        geometry_files+=(notes.txt)
    fi
    (cd "$source/control" && gcab -c -n "$repo/components/v$v/control.cab" "${control_files[@]}")
    (cd "$source/geometry" && gcab -c -n "$repo/components/v$v/geometry.cab" "${geometry_files[@]}")
done

# The list of version $1, put where the launcher fetches it.
publish() {
    local v=$1 record
    : > "$repo/complist/complist.txt"
    for record in "KillControl control killctrl killctrl.ocx 6B1D0C2A-7E3F-4A51-9C8D-2F4E6A8B0C11" \
        "KillGeometry geometry killgeom lib 6B1D0C2A-7E3F-4A51-9C8D-2F4E6A8B0C22"; do
        read -r name cabinet dir regfile classid <<< "$record"
        local file="$repo/components/v$v/$cabinet.cab"
        cat >> "$repo/complist/complist.txt" <<EOF
[STARTCOMP]
desc=$name
name=$name
classid={$classid}
major_ver=$v
minor_ver=0
codebase=http://127.0.0.1:$port/quillornacc/components/v$v/$cabinet.cab
size=$(stat -c %s "$file")
sha256=$(sha256sum "$file" | cut -d' ' -f1)
dir=$dir
regfile=$regfile
[ENDCOMP]
EOF
    done
}

app="$work/app"
mkdir -p "$app/complist" "$app/temp"
cp "$launcher" "$app/QuillornaCC"
cp "$expander" "$app/zarn-expand"
run() { "$app/QuillornaCC" "$@" --quiet --server "http://127.0.0.1:$port"; }

# What the installation is now: each component folder's files with their hashes (but the downloaded cabinet and a
# partial download of it, which are not the component's), the registry, and what detection says.
component_files() {
    (cd "$app/$1" && find . -type f ! -name '*.cab' ! -name '*.cab.*' -printf '%P\n' | sort | xargs -r sha256sum)
}
registry_dump() {
    "$reg" query HKLM /s
    "$reg" query HKCU /s
}
status_of() {
    grep -o "\"name\":\"$1\"[^}]*\"status\":\"[A-Z_ ]*\"" "$work/check.json" | sed 's/.*"status":"\([A-Z_ ]*\)"/\1/'
}
snapshot() {
    local into=$1
    mkdir -p "$into"
    component_files killctrl > "$into/control"
    component_files killgeom > "$into/geometry"
    registry_dump > "$into/registry"
    find "$app" -name '*.zarn-*' -o -name 'zarn-install-*' | sed "s|^$app/||" | sort > "$into/leftovers"
}

publish 1
run --update > /dev/null || { echo "kill_install: FAILED: the first version did not install" >&2; exit 1; }
snapshot "$work/old"
tar -C "$work" -cf "$work/old.tar" app registry
publish 2
run --update > /dev/null || { echo "kill_install: FAILED: the second version did not install" >&2; exit 1; }
snapshot "$work/new"
for part in control geometry registry; do
    if cmp -s "$work/old/$part" "$work/new/$part"; then
        echo "kill_install: FAILED: the two versions do not differ in $part" >&2
        exit 1
    fi
done

# Each step of each install; "A+B" kills at A, then the next start during its own recovery at B.
points=()
for step in journal staged aside-1 placed-1 aside-2 placed-2 placed-3 swapped before-register after-register \
    registered committed cleanup done; do
    points+=("KillControl:$step")
done
for step in journal staged aside-1 placed-1 placed-2 swapped committed cleanup done; do
    points+=("KillGeometry:$step")
done
points+=(verify "KillControl:committed+recovery:cleanup" "KillGeometry:committed+recovery:cleanup")

status=0
fail() {
    echo "kill_install: FAILED at $point: $*" >&2
    status=1
}
for point in "${points[@]}"; do
    rm -rf "$app" "$work/registry"
    tar -C "$work" -xf "$work/old.tar"
    IFS=+ read -r -a kills <<< "$point"
    code=0
    ZARN_CRASH_AT=${kills[0]} run --update > /dev/null 2>&1 || code=$?
    [ "$code" = 137 ] || fail "the update was not killed there (exit status $code)"
    if [ "${#kills[@]}" = 2 ]; then
        code=0
        ZARN_CRASH_AT=${kills[1]} run --check > /dev/null 2>&1 || code=$?
        [ "$code" = 137 ] || fail "the recovery was not killed at ${kills[1]} (exit status $code)"
    fi
    code=0
    run --check --json > "$work/check.json" 2> "$work/check.err" || code=$?
    snapshot "$work/after"

    control=; geometry=
    for version in old new; do
        cmp -s "$work/after/control" "$work/$version/control" && control=$version
        cmp -s "$work/after/geometry" "$work/$version/geometry" && geometry=$version
    done
    [ -n "$control" ] || fail "the control's folder is neither old nor new: $(diff "$work/old/control" "$work/after/control" | tr '\n' ' ')"
    [ -n "$geometry" ] || fail "the library's folder is neither old nor new: $(diff "$work/old/geometry" "$work/after/geometry" | tr '\n' ' ')"
    if [ -n "$control" ] && ! cmp -s "$work/after/registry" "$work/$control/registry"; then
        fail "the registry is not the $control control's: $(diff "$work/$control/registry" "$work/after/registry" | tr '\n' ' ')"
    fi
    [ ! -s "$work/after/leftovers" ] || fail "left behind: $(tr '\n' ' ' < "$work/after/leftovers")"
    for component in control geometry; do
        version=${!component}
        name=KillControl
        [ "$component" = geometry ] && name=KillGeometry
        expected=OUT_OF_DATE
        [ "$version" = new ] && expected=CURRENT
        detected=$(status_of "$name")
        [ -z "$version" ] || [ "$detected" = "$expected" ] || fail "$name is $version but --check says '$detected'"
    done
    echo "kill_install: killed at $point: control $control, library $geometry"

    code=0
    run --update > /dev/null 2>&1 || code=$?
    [ "$code" = 0 ] || fail "the next --update ended with exit status $code"
    snapshot "$work/after"
    for part in control geometry registry leftovers; do
        cmp -s "$work/after/$part" "$work/new/$part" || fail "after the next --update, $part is not the new version's"
    done
done
# An "EXE": the launcher killed while its installer runs (the installer kills its parent, then finishes). The
# installer's work is its own and goes on; the next start finds the component as the installer left it, whole, with
# no journal of the launcher's, and the next --update has nothing left to do for it.
point=installer
setup_id=6B1D0C2A-7E3F-4A51-9C8D-2F4E6A8B0C33
cat > "$repo/components/killsetup.exe" <<SETUP
#!/bin/sh
mkdir -p "$app/setup"
cp "$components/v2/libkillgeom.so" "$app/setup/libkillsetup.so.new"
[ "\$ZARN_CRASH_AT" = installer ] && kill -9 "\$PPID"
sleep 0.2
mv "$app/setup/libkillsetup.so.new" "$app/setup/libkillsetup.so"
"$reg" add 'HKLM\Software\Classes\CLSID\{$setup_id}\ProgID' /ve /d Kill.Setup > /dev/null
"$reg" add 'HKLM\Software\Classes\CLSID\{$setup_id}\InprocServer32' /ve /d "$app/setup/libkillsetup.so" > /dev/null
SETUP
cat > "$repo/complist/complist.txt" <<LIST
[STARTCOMP]
desc=KillSetup
name=KillSetup
classid={$setup_id}
major_ver=2
minor_ver=0
codebase=http://127.0.0.1:$port/quillornacc/components/killsetup.exe
dir=setup
regfile=
[ENDCOMP]
LIST
rm -rf "$app" "$work/registry"
tar -C "$work" -xf "$work/old.tar"
code=0
ZARN_CRASH_AT=installer run --update > /dev/null 2>&1 || code=$?
[ "$code" = 137 ] || fail "the update was not killed while the installer ran (exit status $code)"
sleep 0.5
run --check --json > "$work/check.json" 2> "$work/check.err" || true
[ "$(status_of KillSetup)" = CURRENT ] || fail "the installer's component is not whole: $(cat "$work/check.json")"
cmp -s "$components/v2/libkillgeom.so" "$app/setup/libkillsetup.so" || fail "the installer's file is not whole"
leftovers=$(find "$app" -name '*.zarn-*' -o -name 'zarn-install-*')
[ -z "$leftovers" ] || fail "left behind: $leftovers"
code=0
run --update > /dev/null 2>&1 || code=$?
[ "$code" = 0 ] || fail "the next --update ended with exit status $code"
echo "kill_install: killed while the installer ran: its component whole and CURRENT"

echo "kill_install: ${#points[@]} crash points and one while an installer runs"
exit "$status"
