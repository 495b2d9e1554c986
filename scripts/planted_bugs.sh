#!/usr/bin/env bash
# Plants small, plausible bugs one at a time and runs the tests against each: a bug no test fails on is a
# gap in the suite. Each line of the list (default scripts/planted_bugs.txt) reads
#     FILE | TEXT | REPLACEMENT | WHAT THE BUG IS
# where TEXT occurs exactly once in FILE. The file is put back after each bug, whatever happens.
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
        -h|--help) sed -n '2,9s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) break ;;
    esac
done
LIST=${1:-scripts/planted_bugs.txt}
[ -d "$BUILD" ] || cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" >/dev/null

caught=0 missed=0 number=0
backup=$(mktemp)
planted=
restore() { [ -z "$planted" ] || cp "$backup" "$planted"; planted=; }
trap 'restore; rm -f "$backup"' EXIT

while IFS='|' read -r file text replacement what; do
    file=$(echo "$file" | xargs)
    case "$file" in ''|'#'*) continue ;; esac
    number=$((number + 1))
    [ -z "$ONLY" ] || [ "$ONLY" = "$number" ] || continue
    text=${text# }; text=${text% }; replacement=${replacement# }; replacement=${replacement% }
    cp "$file" "$backup"
    planted=$file
    if ! python3 - "$file" "$text" "$replacement" <<'EOF'
import sys
path, text, replacement = sys.argv[1:]
source = open(path, encoding='utf-8').read()
if source.count(text) != 1:
    sys.exit(f'{path}: the text occurs {source.count(text)} times: {text}')
open(path, 'w', encoding='utf-8').write(source.replace(text, replacement))
EOF
    then
        restore
        echo "$number  not planted:$what"
        continue
    fi
    if ! cmake --build "$BUILD" >/dev/null 2>&1; then
        verdict="caught (does not build)"
    elif (cd "$BUILD" && QT_QPA_PLATFORM=offscreen ctest --timeout 120 --stop-on-failure >/dev/null 2>&1); then
        verdict=MISSED
    else
        verdict=caught
    fi
    restore
    [ "$verdict" = MISSED ] && missed=$((missed + 1)) || caught=$((caught + 1))
    echo "$number  $verdict:$what"
done < "$LIST"
cmake --build "$BUILD" >/dev/null # the tree as it was
echo "caught $caught of $((caught + missed))"
