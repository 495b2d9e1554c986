#!/usr/bin/env bash
# Plants small, plausible bugs one at a time and runs the tests against each: a bug no test fails on is a
# gap in the suite. Each line of the list (default scripts/planted_bugs.txt) reads
#     FILE | TEXT | REPLACEMENT | WHAT THE BUG IS
# (fields apart by a blank, a bar and a blank) where TEXT occurs exactly once in FILE. The file is put
# back after each bug, whatever happens. A bug that does not build is no bug anyone would ship: it is
# reported, not counted.
#
# usage: scripts/planted_bugs.sh [--build DIR] [--only N] [LIST]
# Needs a configured build folder (default build-planted, made from this tree when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=build-planted
ONLY=
while [ $# -gt 0 ]; do
    case "$1" in
        --build) BUILD=${2:?--build needs a folder}; shift 2 ;;
        --only)  ONLY=${2:?--only needs a number}; shift 2 ;;
        -h|--help) sed -n '2,10s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) break ;;
    esac
done
LIST=${1:-scripts/planted_bugs.txt}
[ -d "$BUILD" ] || cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" >/dev/null

# bug N: prints its file and what it is (a line each); with "plant", puts it in the file.
bug() {
    python3 -c '
import sys
lines = [l for l in open(sys.argv[1], encoding="utf-8") if l.strip() and not l.startswith("#")]
n = int(sys.argv[2])
if n > len(lines):
    sys.exit(3)
fields = [f.strip() for f in lines[n - 1].rstrip("\n").split(" | ")]
if len(fields) != 4:
    sys.exit("not four fields: " + lines[n - 1])
path, text, replacement, what = fields
print(path)
print(what)
if len(sys.argv) > 3:
    source = open(path, encoding="utf-8").read()
    if source.count(text) != 1:
        sys.exit("%s: the text occurs %d times: %s" % (path, source.count(text), text))
    open(path, "w", encoding="utf-8").write(source.replace(text, replacement))
' "$LIST" "$@"
}

caught=0 missed=0 number=0
backup=$(mktemp)
planted=
restore() { [ -z "$planted" ] || cp "$backup" "$planted"; planted=; }
trap 'restore; rm -f "$backup"' EXIT

while :; do
    number=$((number + 1))
    described=$(bug "$number" 2>&1) || { [ $? -eq 3 ] && break; echo "$number  not planted: $described"; continue; }
    [ -z "$ONLY" ] || [ "$ONLY" = "$number" ] || continue
    file=$(echo "$described" | head -1)
    what=$(echo "$described" | tail -1)
    cp "$file" "$backup"
    planted=$file
    if ! out=$(bug "$number" plant 2>&1); then
        restore
        echo "$number  not planted: $out"
        continue
    fi
    if ! cmake --build "$BUILD" >/dev/null 2>&1; then
        verdict="not planted (does not build)"
    elif (cd "$BUILD" && QT_QPA_PLATFORM=offscreen ctest --timeout 120 --stop-on-failure >/dev/null 2>&1); then
        verdict=MISSED
        missed=$((missed + 1))
    else
        verdict=caught
        caught=$((caught + 1))
    fi
    restore
    echo "$number  $verdict: $what"
done
cmake --build "$BUILD" >/dev/null # the tree as it was
echo "caught $caught of $((caught + missed))"
