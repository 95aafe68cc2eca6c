#!/usr/bin/env bash
# Load benchmark: loads a log through korvantis-inspect (the viewer's own load
# path) a few times and prints wall seconds of the load (tree build included),
# MB/s, peak RSS and the CPU seconds of the process. Then the yardstick: a
# one-thread simdjson DOM loop that streams the file and parses every line
# keeping nothing (bench_bare_simdjson --parse-only), and the ratio of the two
# best times; then the older yardstick that also keeps a copy of every line.
#
# Usage: bench/bench_load.sh [LOG]     (BUILD_DIR=build, RUNS=3, LINES=1000000)
# Without LOG, a log of LINES lines is made with korvantis-genlog in a
# temporary folder (and removed afterwards); ESLOGGER=1 makes it in eslogger's
# format.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
RUNS=${RUNS:-3}
LINES=${LINES:-1000000}
INSPECT="$BUILD_DIR/src/inspect/korvantis-inspect"
GENLOG="$BUILD_DIR/bench/korvantis-genlog"
BARE="$BUILD_DIR/bench/bench_bare_simdjson"

for tool in "$INSPECT" "$GENLOG" "$BARE"; do
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
    if [ "${ESLOGGER:-0}" = 1 ]; then
        "$GENLOG" "$LINES" --seed 1 --eslogger > "$LOG"
    else
        "$GENLOG" "$LINES" --seed 1 > "$LOG"
    fi
fi
BYTES=$(stat -c %s "$LOG")
MB=$(awk -v b="$BYTES" 'BEGIN { printf "%.1f", b / 1e6 }')
echo "log: $LOG ($MB MB, $(wc -l < "$LOG") lines)"

best=""
for run in $(seq 1 "$RUNS"); do
    # Every run reads the same file, so all but perhaps the first see it in
    # the page cache; the best run is the figure to quote.
    # CPU seconds (user + system, both threads of the load) tell how much
    # work was done when a busy machine makes the wall time say little.
    TIMEFORMAT='%U %S'
    cpu=$( { time "$INSPECT" --no-index "$LOG" > "${TMPDIR:-/tmp}/bench_load.$$"; } 2>&1 )
    out=$(cat "${TMPDIR:-/tmp}/bench_load.$$")
    rm -f "${TMPDIR:-/tmp}/bench_load.$$"
    secs=$(awk -F': ' '/^elapsed seconds/ { print $2 }' <<< "$out")
    rss=$(awk -F': ' '/^peak RSS MiB/ { print $2 }' <<< "$out")
    awk -v s="$secs" -v r="$rss" -v b="$BYTES" -v n="$run" -v c="$cpu" 'BEGIN {
        split(c, t, " ")
        printf "run %d: %.3f s wall, %.0f MB/s, peak RSS %.1f MB (%.3f x file size), %.2f s CPU\n",
               n, s, b / 1e6 / s, r * 1048576 / 1e6, r * 1048576 / b, t[1] + t[2] }'
    if [ -z "$best" ] || awk -v s="$secs" -v b="$best" 'BEGIN { exit !(s < b) }'; then
        best=$secs
        bestRss=$rss
    fi
done
awk -v s="$best" -v r="$bestRss" -v b="$BYTES" 'BEGIN {
    printf "best: %.3f s wall, %.0f MB/s, peak RSS %.1f MB (%.3f x file size)\n",
           s, b / 1e6 / s, r * 1048576 / 1e6, r * 1048576 / b }'
echo "$out" | sed -n '1,4p'

# The yardsticks, best of RUNS each: the parse-only loop first (stream the
# file, DOM-parse every line on one thread, keep nothing), then the loop that
# also keeps a copy of every line (the yardstick of earlier figures).
bestOf() {
    local best="" secs
    for run in $(seq 1 "$RUNS"); do
        secs=$("$BARE" "$@" "$LOG" | awk -F': ' '/^wall seconds/ { print $2 }')
        echo "  run $run: $secs s wall" >&2
        if [ -z "$best" ] || awk -v s="$secs" -v b="$best" 'BEGIN { exit !(s < b) }'; then
            best=$secs
        fi
    done
    echo "$best"
}
echo "parse-only simdjson DOM loop (1 thread, keeps nothing):"
parseOnly=$(bestOf --parse-only)
echo "simdjson DOM loop keeping a copy of every line:"
copying=$(bestOf)
awk -v l="$best" -v p="$parseOnly" -v c="$copying" -v r="$bestRss" -v b="$BYTES" 'BEGIN {
    printf "parse-only loop: %.3f s\n", p
    printf "korvantis-inspect load: %.3f s\n", l
    printf "load / parse-only loop: %.2f\n", l / p
    printf "copying loop: %.3f s (load / copying loop: %.2f)\n", c, l / c
    printf "peak RSS / file size: %.3f\n", r * 1048576 / b }'
