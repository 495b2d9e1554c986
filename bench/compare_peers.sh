#!/usr/bin/env bash
# Times kalmora-cli against find, diff -rq and rsync -rtn on one tree pair.
#
# usage: bench/compare_peers.sh [--files N] [--tiny] [--keep DIR] [--cli PATH]
#                               [--before PATH] [--runs N] [--cold]
# --before times a second kalmora-cli (an earlier build) in the same run.
# The probes of bench/read_probe.c (listing both trees; reading every file
# once as it is listed; and reading every file after both trees are listed,
# each looked at by name before it is opened) run at 2, 4, 8 and 16 threads;
# the ratios take the best.
#
# Each command gets one untimed warm-up run, then --runs timed runs
# (default 5); the table shows the median wall time. The timed runs go round
# by round, each command once a round, so that a noisy minute of the machine
# falls on every command alike rather than on the ratios.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
FILES=100000
TINY=
KEEP=
CLI="$ROOT/build/cli/kalmora-cli"
RUNS=5
COLD=0
BEFORE=

die() { echo "compare_peers: $*" >&2; exit 2; }
TEMPORARY=() # removed on exit
trap 'rm -rf "${TEMPORARY[@]}"' EXIT

while [ $# -gt 0 ]; do
    case "$1" in
        --files) FILES=${2:?--files needs a number}; shift 2 ;;
        --tiny)  TINY=--tiny; shift ;;
        --keep)  KEEP=${2:?--keep needs a folder}; shift 2 ;;
        --cli)   CLI=${2:?--cli needs a path}; shift 2 ;;
        --runs)  RUNS=${2:?--runs needs a number}; shift 2 ;;
        --cold)  COLD=1; shift ;;
        --before) BEFORE=${2:?--before needs a path}; shift 2 ;;
        -h|--help) sed -n '2,9s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) die "unknown option: $1" ;;
    esac
done

[ -x "$CLI" ] || die "$CLI not found or not executable (build it: cmake --build build)"

# --- the tree pair ----------------------------------------------------------
if [ -n "$KEEP" ]; then
    PAIR=$KEEP
else
    PAIR=$(mktemp -d "${TMPDIR:-/tmp}/kalmora-bench.XXXXXX")
    TEMPORARY+=("$PAIR")
fi
if [ -d "$PAIR/left" ] && [ -d "$PAIR/right" ]; then
    echo "reusing the pair in $PAIR (--files/--tiny ignored)"
else
    mkdir -p "$PAIR"
    echo "generating $FILES files${TINY:+ (tiny)} in $PAIR ..."
    python3 "$ROOT/bench/make_tree_pair.py" --files "$FILES" $TINY "$PAIR"
fi
LEFT="$PAIR/left"
RIGHT="$PAIR/right"

# --- cache mode -------------------------------------------------------------
drop_caches() { sync; echo 3 > /proc/sys/vm/drop_caches; }

if [ "$COLD" = 1 ]; then
    if [ -w /proc/sys/vm/drop_caches ] && (drop_caches) 2>/dev/null; then
        echo "cache: cold (page cache dropped before every timed run)"
    else
        echo "cache: cold runs are not available here (cannot write" \
             "/proc/sys/vm/drop_caches); falling back to warm"
        COLD=0
    fi
else
    echo "cache: warm"
fi

# --- the commands -----------------------------------------------------------
# Each returns the tool's exit status; ok_codes lists the ones that are not
# failures (1 means "trees differ" for kalmora-cli and diff).
scan()           { find "$LEFT" "$RIGHT" -printf '%T@ %s %p\n' >/dev/null; }
kalmora_binary() { "$CLI" --binary "$LEFT" "$RIGHT" >/dev/null 2>&1; }
diff_rq()        { diff -rq "$LEFT" "$RIGHT" >/dev/null; }
kalmora_age()    { "$CLI" --age "$LEFT" "$RIGHT" >/dev/null 2>&1; }
rsync_rtn()      { rsync -rtn --itemize-changes "$LEFT/" "$RIGHT/" >/dev/null; }

before_binary()   { "$BEFORE" --binary "$LEFT" "$RIGHT" >/dev/null 2>&1; }
before_age()      { "$BEFORE" --age "$LEFT" "$RIGHT" >/dev/null 2>&1; }

NAMES=(scan kalmora_binary diff_rq kalmora_age rsync_rtn)
[ -n "$BEFORE" ] && NAMES=(scan before_binary kalmora_binary diff_rq before_age kalmora_age rsync_rtn)

# What the machine allows: the probe lists both trees (as --age must) or also reads every file (as
# --binary must), with a pool of threads; built once for the run.
PROBE_DIR=$(mktemp -d "${TMPDIR:-/tmp}/kalmora-probe.XXXXXX")
TEMPORARY+=("$PROBE_DIR")
cc -O2 -pthread -o "$PROBE_DIR/read_probe" "$ROOT/bench/read_probe.c" || die "cannot build bench/read_probe.c"
PROBE_THREADS=(2 4 8 16)
declare -A LABEL OK_CODES
for t in "${PROBE_THREADS[@]}"; do
    eval "probe_list_$t() { \"\$PROBE_DIR/read_probe\" --threads $t \"\$LEFT\" \"\$RIGHT\" >/dev/null; }"
    eval "probe_read_$t() { \"\$PROBE_DIR/read_probe\" --read --threads $t \"\$LEFT\" \"\$RIGHT\" >/dev/null; }"
    eval "probe_looked_$t() { \"\$PROBE_DIR/read_probe\" --read --later --look-first --threads $t \"\$LEFT\" \"\$RIGHT\" >/dev/null; }"
    NAMES+=("probe_list_$t" "probe_read_$t" "probe_looked_$t")
    LABEL[probe_list_$t]="probe: list, $t threads"
    LABEL[probe_read_$t]="probe: read, $t threads"
    LABEL[probe_looked_$t]="probe: later+look, $t threads"
    OK_CODES[probe_list_$t]=0
    OK_CODES[probe_read_$t]=0
    OK_CODES[probe_looked_$t]=0
done
LABEL+=(
    [scan]="find -printf (scan limit)"
    [kalmora_binary]="kalmora-cli --binary"
    [before_binary]="before: kalmora-cli --binary"
    [before_age]="before: kalmora-cli --age"
    [diff_rq]="diff -rq"
    [kalmora_age]="kalmora-cli --age"
    [rsync_rtn]="rsync -rtn --itemize-changes"
)
OK_CODES+=(
    [scan]="0" [kalmora_binary]="0 1" [diff_rq]="0 1"
    [kalmora_age]="0 1" [rsync_rtn]="0" [before_binary]="0 1" [before_age]="0 1"
)
declare -A MEDIAN

# Runs one command once; stops the script on a failing exit code.
run_checked() {
    local name=$1 rc=0
    "$name" || rc=$?
    case " ${OK_CODES[$name]} " in
        *" $rc "*) ;;
        *) echo; die "${LABEL[$name]} failed with exit code $rc" ;;
    esac
}

now() { date +%s.%N; }

declare -A TIMES
echo "warm-up: one untimed run of each command"
for name in "${NAMES[@]}"; do
    run_checked "$name"
done
for ((i = 0; i < RUNS; i++)); do
    echo "round $((i + 1)) of $RUNS"
    for name in "${NAMES[@]}"; do
        [ "$COLD" = 1 ] && drop_caches
        t0=$(now)
        run_checked "$name"
        t1=$(now)
        TIMES[$name]+=" $(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }')"
    done
done
for name in "${NAMES[@]}"; do
    printf '%-30s%s\n' "${LABEL[$name]}" "${TIMES[$name]}"
    MEDIAN[$name]=$(printf '%s\n' ${TIMES[$name]} | sort -g |
                    awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
done

# --- report -----------------------------------------------------------------
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

echo
echo "pair: $(find "$LEFT" -type f | wc -l) left files, $(find "$RIGHT" -type f | wc -l) right files," \
     "$(du -sh "$PAIR" | cut -f1) ($PAIR)"
echo "kalmora-cli: $CLI"
echo
printf '%-30s %10s\n' "command" "median s"
for name in "${NAMES[@]}"; do
    printf '%-30s %10.3f\n' "${LABEL[$name]}" "${MEDIAN[$name]}"
done
echo
printf '%-30s %10s\n' "ratio (lower is better)" ""
printf '%-30s %10s\n' "kalmora --binary / diff -rq"  "$(ratio "${MEDIAN[kalmora_binary]}" "${MEDIAN[diff_rq]}")"
printf '%-30s %10s\n' "kalmora --age / rsync -rtn"   "$(ratio "${MEDIAN[kalmora_age]}" "${MEDIAN[rsync_rtn]}")"
printf '%-30s %10s\n' "kalmora --age / scan limit"   "$(ratio "${MEDIAN[kalmora_age]}" "${MEDIAN[scan]}")"
best() { # the least median among the probes of a kind
    local kind=$1 least= t
    for t in "${PROBE_THREADS[@]}"; do
        least=$(awk -v a="${MEDIAN[probe_${kind}_$t]}" -v b="$least" 'BEGIN { print (b == "" || a < b) ? a : b }')
    done
    echo "$least"
}
printf '%-30s %10s\n' "kalmora --age / list probe"    "$(ratio "${MEDIAN[kalmora_age]}" "$(best list)")"
printf '%-30s %10s\n' "kalmora --binary / read probe" "$(ratio "${MEDIAN[kalmora_binary]}" "$(best read)")"
printf '%-30s %10s\n' "  / later+look probe"          "$(ratio "${MEDIAN[kalmora_binary]}" "$(best looked)")"
if [ -n "$BEFORE" ]; then
    printf '%-30s %10s\n' "before: --binary / diff -rq" "$(ratio "${MEDIAN[before_binary]}" "${MEDIAN[diff_rq]}")"
    printf '%-30s %10s\n' "before: --age / rsync -rtn"  "$(ratio "${MEDIAN[before_age]}" "${MEDIAN[rsync_rtn]}")"
fi
