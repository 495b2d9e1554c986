#!/usr/bin/env bash
# Times kalmora-cli --age --sync on a tree pair in which 1 % of the files are to be copied (0.5 % of the
# same size, 0.5 % of another size, all newer on the right), each run on a fresh copy of the pair, the
# programs taking turns. With --delete it times kalmora-delete-bench instead, which deletes the 1 % of the
# files found on the right only (and passes over the rest).
#
# usage: bench/sync_timing.sh [--files N] [--runs N] [--keep DIR] [--delete] PROGRAM...
#
# With several programs (say the build before and after a change) the table compares them in one run.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
FILES=100000
RUNS=5
KEEP=
DELETE=
CLIS=()

die() { echo "sync_timing: $*" >&2; exit 2; }

while [ $# -gt 0 ]; do
    case "$1" in
        --files) FILES=${2:?--files needs a number}; shift 2 ;;
        --runs)  RUNS=${2:?--runs needs a number}; shift 2 ;;
        --keep)  KEEP=${2:?--keep needs a folder}; shift 2 ;;
        --delete) DELETE=1; shift ;;
        -h|--help) sed -n '2,8s/^# \{0,1\}//p' "$0"; exit 0 ;;
        -*) die "unknown option: $1" ;;
        *) [ -x "$1" ] || die "$1 not found or not executable"; CLIS+=("$1"); shift ;;
    esac
done
if [ -n "$DELETE" ]; then
    TOOL=kalmora-delete-bench ACTION=delete SHARE=0.01
else
    TOOL="kalmora-cli --age --sync" ACTION=copy SHARE=0.005
fi
[ ${#CLIS[@]} -gt 0 ] || CLIS=("$ROOT/build/$([ -n "$DELETE" ] && echo bench/kalmora-delete-bench || echo cli/kalmora-cli)")

WORK=$(mktemp -d "${TMPDIR:-/tmp}/kalmora-sync.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
PAIR=${KEEP:-$WORK/pair}
if [ ! -d "$PAIR/left" ] || [ ! -d "$PAIR/right" ]; then
    echo "generating $FILES tiny files, 1 % to $ACTION, in $PAIR ..."
    python3 "$ROOT/bench/make_tree_pair.py" --files "$FILES" --tiny --change-share "$SHARE" "$PAIR"
fi

# What the runs delete or replace goes to a trash of the bench's own, never the user's. It is emptied only
# at the end: a file system mounted with discard trims what is deleted while the next run creates files.
export XDG_DATA_HOME="$WORK/data"
declare -A TIMES
for ((run = 0; run < RUNS; run++)); do
    for i in "${!CLIS[@]}"; do
        # The pair as generated again: rsync puts back only what a run changed.
        if command -v rsync >/dev/null; then
            rsync -a --delete "$PAIR/" "$WORK/run/"
        else
            rm -rf "$WORK/run"
            cp -a "$PAIR" "$WORK/run"
        fi
        # On disk before the run: a file created while the restore is still being written back waits for
        # it, which would time the restore, not the run.
        sync
        t0=$(date +%s.%N)
        rc=0
        if [ -n "$DELETE" ]; then
            "${CLIS[$i]}" "$WORK/run/left" "$WORK/run/right" >/dev/null 2>&1 || rc=$?
        else
            "${CLIS[$i]}" --age --sync "$WORK/run/left" "$WORK/run/right" >/dev/null 2>&1 || rc=$?
        fi
        t1=$(date +%s.%N)
        [ "$rc" = 0 ] || die "${CLIS[$i]} failed with exit code $rc"
        TIMES[$i]+="$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }') "
    done
done

median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo
echo "pair: $(find "$PAIR/left" -type f | wc -l) left files, $RUNS runs each, $(nproc) cores"
printf '%-60s %10s\n' "$TOOL" "median s"
for i in "${!CLIS[@]}"; do
    printf '%-60s %10.3f   (%s)\n' "${CLIS[$i]}" "$(echo "${TIMES[$i]}" | median)" "${TIMES[$i]% }"
done
