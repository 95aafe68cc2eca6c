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

# Best wall seconds of RUNS runs of the command given.
best_of() {
    local best="" start end secs
    for _ in $(seq 1 "$RUNS"); do
        start=$(date +%s.%N)
        "$@" > /dev/null
        end=$(date +%s.%N)
        secs=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')
        if [ -z "$best" ] || awk -v s="$secs" -v b="$best" 'BEGIN { exit !(s < b) }'; then
            best=$secs
        fi
    done
    echo "$best"
}

load=$(best_of "$INSPECT" "$LOG")
filtered=$(best_of "$INSPECT" --filter "$QUERY" --export "$EXPORT" "$LOG")
rows=$("$INSPECT" --filter "$QUERY" --export "$EXPORT" "$LOG" | wc -l)
echo "load alone:                      $load s"
echo "--filter '$QUERY' --export $EXPORT: $filtered s ($rows output lines)"
awk -v l="$load" -v f="$filtered" 'BEGIN { printf "ratio: %.2f x the load alone\n", f / l }'
