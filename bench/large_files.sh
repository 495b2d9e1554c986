#!/usr/bin/env bash
# Throughput of the content comparison on two large equal files against plain reading of the same bytes.
#
# usage: bench/large_files.sh [--mib N] [--runs N] [--cli PATH]
#
# Builds a folder pair holding one equal file of N MiB (default 2048) on each side, warms the cache, and
# prints the median time and throughput of `cat LEFT RIGHT > /dev/null` and of `kalmora-cli --binary`.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
MIB=2048
RUNS=5
CLI="$ROOT/build/cli/kalmora-cli"
while [ $# -gt 0 ]; do
    case "$1" in
        --mib) MIB=$2; shift 2 ;;
        --runs) RUNS=$2; shift 2 ;;
        --cli) CLI=$2; shift 2 ;;
        *) echo "large_files: unknown option $1" >&2; exit 2 ;;
    esac
done
[ -x "$CLI" ] || { echo "large_files: $CLI not found (cmake --build build)" >&2; exit 2; }

DIR=$(mktemp -d "${TMPDIR:-/tmp}/kalmora-large.XXXXXX")
trap 'rm -rf "$DIR"' EXIT
mkdir -p "$DIR/left" "$DIR/right"
head -c "$((MIB * 1024 * 1024))" /dev/urandom > "$DIR/left/big.bin"
cp --preserve=timestamps "$DIR/left/big.bin" "$DIR/right/big.bin"

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
timed() { # command... -> median seconds of RUNS runs after one warm-up
    "$@" >/dev/null 2>&1 || [ $? -le 1 ]
    for _ in $(seq "$RUNS"); do
        local start end
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1 || [ $? -le 1 ]
        end=$(date +%s.%N)
        awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
    done | median
}

plain=$(timed cat "$DIR/left/big.bin" "$DIR/right/big.bin")
compare=$(timed "$CLI" --binary "$DIR/left" "$DIR/right")
bytes=$((2 * MIB * 1024 * 1024))
awk -v p="$plain" -v c="$compare" -v b="$bytes" 'BEGIN {
    printf "%-34s %8.3f s  %8.0f MiB/s\n", "cat LEFT RIGHT (plain reading)", p, b / p / 1048576
    printf "%-34s %8.3f s  %8.0f MiB/s\n", "kalmora-cli --binary", c, b / c / 1048576
    printf "throughput ratio (kalmora / plain, higher is better): %.2f\n", p / c
}'
