#!/usr/bin/env bash
# korvantis-inspect --filter against the load alone: wall seconds of
# `korvantis-inspect LOG` and of `korvantis-inspect --filter QUERY LOG`
# (JSON lines to /dev/null), the best of a few runs each, and their ratio.
#
# Usage: bench/bench_filter_cli.sh [LOG]   (BUILD_DIR=build, RUNS=3,
#        LINES=1000000, QUERY='type:exec', EXPORT=jsonl)
# Without LOG, a log of LINES lines is made with korvantis-genlog in a
# temporary folder (and removed afterwards).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
RUNS=${RUNS:-3}
LINES=${LINES:-1000000}
QUERY=${QUERY:-type:exec}
EXPORT=${EXPORT:-jsonl}
INSPECT="$BUILD_DIR/src/inspect/korvantis-inspect"
GENLOG="$BUILD_DIR/bench/korvantis-genlog"

for tool in "$INSPECT" "$GENLOG"; do
    if [ ! -x "$tool" ]; then
        echo "missing $tool: build first (scripts/build.sh, or BUILD_DIR=...)" >&2
        exit 1
    fi
done

if [ $# -ge 1 ]; then
    LOG=$1
else
    TMP=$(mktemp -d)
    trap 'rm -rf "$TMP"' EXIT
    LOG="$TMP/bench.json"
    "$GENLOG" "$LINES" --seed 1 > "$LOG"
fi
echo "log: $LOG ($(wc -l < "$LOG") lines)"

# "WALL CPU": the best wall seconds and the least CPU seconds (user + system)
# of RUNS runs of the command given. On a busy machine CPU seconds say more.
best_of() {
    local best="" bestCpu="" times wall cpu
    TIMEFORMAT='%R %U %S'
    for _ in $(seq 1 "$RUNS"); do
        times=$( { time "$@" > /dev/null; } 2>&1 | tail -n 1)
        wall=$(awk '{ print $1 }' <<< "$times")
        cpu=$(awk '{ printf "%.3f", $2 + $3 }' <<< "$times")
        if [ -z "$best" ] || awk -v s="$wall" -v b="$best" 'BEGIN { exit !(s < b) }'; then
            best=$wall
        fi
        if [ -z "$bestCpu" ] || awk -v s="$cpu" -v b="$bestCpu" 'BEGIN { exit !(s < b) }'; then
            bestCpu=$cpu
        fi
    done
    echo "$best $bestCpu"
}

read -r load loadCpu <<< "$(best_of "$INSPECT" --no-index "$LOG")"
read -r filtered filteredCpu <<< "$(best_of "$INSPECT" --no-index --filter "$QUERY" --export "$EXPORT" "$LOG")"
rows=$("$INSPECT" --no-index --filter "$QUERY" --export "$EXPORT" "$LOG" | wc -l)
echo "load alone: $load s wall, $loadCpu s CPU"
echo "--filter '$QUERY' --export $EXPORT: $filtered s wall, $filteredCpu s CPU ($rows output lines)"
awk -v l="$load" -v f="$filtered" -v lc="$loadCpu" -v fc="$filteredCpu" 'BEGIN {
    printf "ratio: %.2f x the load alone (wall), %.2f x (CPU)\n", f / l, fc / lc }'
