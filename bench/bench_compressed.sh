#!/usr/bin/env bash
# Compressed-log benchmark. For each LOG: makes its gzip -6 and zstd -3
# copies, loads the three through korvantis-inspect (best of RUNS) and prints
# the load times, the one-thread inflate time of the .gz (gzip -dc), peak
# RSS, the disk the zstd block copy takes in the cache folder, and the median
# time of reading one row again (bench_reread), each beside its target:
#   .zst load <= 2.0 x plain load
#   .gz load  <= plain load + 1.2 x inflate
#   peak RSS  <= 0.15 x decompressed size + 64 MiB
#   re-read median < 20 ms
#   extra disk <= 0.4 x .gz size (gzip index) and <= 3 x .zst size (block copy)
#
# Usage: bench/bench_compressed.sh LOG...     (BUILD_DIR=build, RUNS=3)
# For the figures: python3 genlog.py 1000000 > a.json and
# python3 genlog.py 200000 --eslogger --rich > b.json (made outside the tree).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
RUNS=${RUNS:-3}
INSPECT="$BUILD_DIR/src/inspect/korvantis-inspect"
REREAD="$BUILD_DIR/bench/bench_reread"
for tool in "$INSPECT" "$REREAD"; do
    [ -x "$tool" ] || { echo "missing $tool: build it first" >&2; exit 1; }
done
for tool in gzip zstd; do
    command -v $tool > /dev/null || { echo "missing $tool" >&2; exit 1; }
done
[ $# -ge 1 ] || { echo "usage: $0 LOG..." >&2; exit 2; }

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
# The block copy goes to a cache folder of its own, to be measured.
export XDG_CACHE_HOME="$TMP/cache"
mkdir -p "$XDG_CACHE_HOME"

# best_load FILE: "seconds rssMiB extraDiskBytes" of the fastest of RUNS loads.
best_load() {
    local best="" line secs rss disk most pid
    for _ in $(seq 1 "$RUNS"); do
        "$INSPECT" --no-index "$1" > "$TMP/out" &
        pid=$!
        most=0
        while kill -0 $pid 2> /dev/null; do
            disk=$(du -sb "$XDG_CACHE_HOME" | cut -f1)
            [ "$disk" -gt "$most" ] && most=$disk
            sleep 0.1
        done
        wait $pid
        secs=$(awk -F': ' '/^elapsed seconds/ { print $2 }' "$TMP/out")
        rss=$(awk -F': ' '/^peak RSS MiB/ { print $2 }' "$TMP/out")
        line="$secs $rss $most"
        if [ -z "$best" ] || awk -v s="$secs" -v b="${best%% *}" 'BEGIN { exit !(s < b) }'; then
            best=$line
        fi
    done
    echo "$best"
}

best_inflate() {
    local best="" t
    for _ in $(seq 1 "$RUNS"); do
        t=$( { TIMEFORMAT=%R; time gzip -dc "$1" > /dev/null; } 2>&1 )
        if [ -z "$best" ] || awk -v s="$t" -v b="$best" 'BEGIN { exit !(s < b) }'; then
            best=$t
        fi
    done
    echo "$best"
}

echo "machine: $(nproc) cores, $(uptime | sed 's/.*load average/load average/')"
for LOG in "$@"; do
    name=$(basename "$LOG")
    size=$(stat -c %s "$LOG")
    gzip -6 -c "$LOG" > "$TMP/$name.gz"
    zstd -3 -q -c "$LOG" > "$TMP/$name.zst"
    gz_size=$(stat -c %s "$TMP/$name.gz")
    zst_size=$(stat -c %s "$TMP/$name.zst")
    echo "== $name: $((size / 1048576)) MiB, .gz $((gz_size / 1048576)) MiB, .zst $((zst_size / 1048576)) MiB"
    read -r plain_s plain_rss _ <<< "$(best_load "$LOG")"
    read -r gz_s gz_rss gz_disk <<< "$(best_load "$TMP/$name.gz")"
    read -r zst_s zst_rss zst_disk <<< "$(best_load "$TMP/$name.zst")"
    inflate_s=$(best_inflate "$TMP/$name.gz")
    awk -v p="$plain_s" -v g="$gz_s" -v z="$zst_s" -v i="$inflate_s" -v size="$size" \
        -v pr="$plain_rss" -v gr="$gz_rss" -v zr="$zst_rss" -v gd="$gz_disk" -v zd="$zst_disk" \
        -v gs="$gz_size" -v zs="$zst_size" 'BEGIN {
        bound = 0.15 * size / 1048576 + 64
        printf "load: plain %.2f s, .gz %.2f s, .zst %.2f s; one-thread inflate %.2f s\n", p, g, z, i
        printf ".zst load / plain load: %.2f (target <= 2.0)\n", z / p
        printf ".gz load: %.2f s, plain + 1.2 x inflate = %.2f s (target: at most that)\n", g, p + 1.2 * i
        printf "peak RSS MiB: plain %.1f, .gz %.1f, .zst %.1f (target <= %.1f)\n", pr, gr, zr, bound
        printf "extra disk: .gz %.2f x .gz size (target <= 0.4), .zst block copy %.2f x .zst size (target <= 3)\n", gd / gs, zd / zs
    }'
    "$REREAD" "$LOG" "$TMP/$name.gz" "$TMP/$name.zst" | sed "s|$TMP/||; s|^|re-read (target median < 20 ms): |"
done
