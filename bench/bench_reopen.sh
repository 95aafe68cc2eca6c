#!/usr/bin/env bash
# Reopening benchmark: loads a log through korvantis-inspect without its
# index, with its index being written, and from its index, and prints the
# wall seconds, peak RSS and anonymous memory of each, the index's size
# against the log's, and a CSV export of the exec rows from the log and
# from the index.
#
# Usage: bench/bench_reopen.sh [LOG]   (BUILD_DIR=build, RUNS=3, LINES=1000000)
# Without LOG, a log of LINES lines is made with korvantis-genlog in a
# temporary folder; ESLOGGER=1 makes it in eslogger's format. The indexes go
# to a cache folder of the benchmark's own, removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
RUNS=${RUNS:-3}
LINES=${LINES:-1000000}
INSPECT="$BUILD_DIR/src/inspect/korvantis-inspect"
GENLOG="$BUILD_DIR/bench/korvantis-genlog"
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
export XDG_CACHE_HOME=$TMP/cache
mkdir "$XDG_CACHE_HOME"

if [ $# -ge 1 ]; then
    LOG=$1
else
    [ -x "$GENLOG" ] || { echo "missing $GENLOG: build first" >&2; exit 1; }
    LOG="$TMP/bench.json"
    if [ "${ESLOGGER:-0}" = 1 ]; then
        "$GENLOG" "$LINES" --seed 1 --eslogger > "$LOG"
    else
        "$GENLOG" "$LINES" --seed 1 > "$LOG"
    fi
fi
BYTES=$(stat -c %s "$LOG")
echo "log: $LOG ($(awk -v b="$BYTES" 'BEGIN { printf "%.1f", b / 1e6 }') MB)"
echo "load: $(uptime | sed 's/.*load average/load average/')"

# One run: its wall seconds (the program's own figure) and peak RSS.
one() {
    "$INSPECT" "$@" "$LOG" | awk -F': ' '/^elapsed seconds/ { s = $2 } /^peak RSS MiB/ { r = $2 }
        END { printf "%.3f %.1f", s, r }'
}
best() {
    local label=$1 before=$2
    shift 2
    local best="" rss=""
    for _ in $(seq 1 "$RUNS"); do
        eval "$before"
        read -r s r <<< "$(one "$@")"
        if [ -z "$best" ] || awk -v a="$s" -v b="$best" 'BEGIN { exit !(a < b) }'; then
            best=$s
            rss=$r
        fi
    done
    printf '%-28s %8.3f s   peak RSS %8.1f MiB\n' "$label" "$best" "$rss"
    echo "$best" > "$TMP/last"
}
best "without index" "" --no-index
fresh=$(cat "$TMP/last")
best "first load, writing index" "rm -rf '$XDG_CACHE_HOME/korvantis'"
writing=$(cat "$TMP/last")
best "reopen from index" ""
reopen=$(cat "$TMP/last")
index=$(du -b "$XDG_CACHE_HOME"/korvantis/index/*.index | awk '{ s += $1 } END { print s }')
awk -v f="$fresh" -v w="$writing" -v r="$reopen" -v i="$index" -v b="$BYTES" 'BEGIN {
    printf "writing / without: %.2f x   reopen / without: %.3f x (%.1f x faster)\n", w / f, r / f, f / r
    printf "index: %.1f MB, %.3f x the log\n", i / 1e6, i / b }'

# Anonymous (private) memory at its peak is not what VmHWM says: sampled.
anon() {
    "$INSPECT" "$@" "$LOG" > /dev/null &
    local pid=$! peak=0
    while kill -0 "$pid" 2> /dev/null; do
        local kb
        kb=$(awk '/^RssAnon/ { print $2 }' "/proc/$pid/status" 2> /dev/null || true)
        [ -n "$kb" ] && [ "$kb" -gt "$peak" ] && peak=$kb
        sleep 0.02
    done
    wait "$pid" || true
    echo "$peak"
}
echo "peak RssAnon (sampled): without index $(($(anon --no-index) / 1024)) MiB, from index $(($(anon) / 1024)) MiB"

timed() {
    local start end
    start=$(date +%s.%N)
    "$INSPECT" "$@" "$LOG" > /dev/null
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}
from_log=$(timed --no-index --filter 'type:exec' --export csv)
from_index=$(timed --filter 'type:exec' --export csv)
awk -v l="$from_log" -v i="$from_index" 'BEGIN {
    printf "--filter type:exec --export csv: from the log %.3f s, from the index %.3f s (%.1f x)\n", l, i, l / i }'
