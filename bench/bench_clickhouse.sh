#!/usr/bin/env bash
# Prints the seconds of sending a log to a local ClickHouse server against
# exporting the same rows as CSV, of opening the rows back against loading
# the log, and of a query for one command line through a two-shard
# Distributed table. Usage: bench_clickhouse.sh INSPECT GENLOG [LINES]
set -euo pipefail
INSPECT=$1
GENLOG=$2
LINES=${3:-1000000}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
source "$here/../tests/fleet/clickhouse_shards.sh"
trap 'stop_shards; rm -rf "$work"' EXIT
start_shards 2 "$work"
url0=http://127.0.0.1:${SHARD_HTTP[0]}/
# Wall seconds, then the CPU seconds of the command and of both servers: on
# a loaded machine the wall time says little by itself.
server_cpu() {
    local pid sum=0
    for pid in "${SHARD_PIDS[@]}"; do
        sum=$((sum + $(awk '{print $14 + $15}' "/proc/$pid/stat")))
    done
    echo "$sum"
}
seconds() {
    local before
    before=$(server_cpu)
    /usr/bin/time -f "%e s (cpu %U+%S s" -o "$work/time" "$@" >/dev/null 2>&1
    echo "$(cat "$work/time"), servers $(echo "scale=2; ($(server_cpu) - $before) / $(getconf CLK_TCK)" | bc) s)"
}

python3 "$GENLOG" "$LINES" >"$work/own.json"
python3 "$GENLOG" $((LINES / 5)) --eslogger --rich >"$work/rich.json"
: >"$work/empty.json"
for i in 0 1; do "$INSPECT" --to-clickhouse "http://127.0.0.1:${SHARD_HTTP[i]}/" "$work/empty.json" 2>/dev/null; done
shard_sql 0 "CREATE TABLE fleet AS korvantis_events ENGINE = Distributed(korvantis_shards, default, korvantis_events, cityHash64(host))"
uptime
for log in own rich; do
    echo "$log: send $(seconds "$INSPECT" --to-clickhouse "$url0" --table fleet "$work/$log.json")," \
         "export csv $(seconds "$INSPECT" --filter '' --export csv "$work/$log.json")"
done
echo "open back: $(seconds "$INSPECT" --from-clickhouse "$url0" --table fleet --where "host = 'own'")," \
     "local load $(seconds "$INSPECT" "$work/own.json")"
start=$(date +%s.%N)
shard_sql 0 "SELECT count() FROM fleet WHERE CommandLine = '/bin/ls'" >/dev/null
echo "fleet query over $(shard_sql 0 'SELECT count() FROM fleet') rows: $(echo "$(date +%s.%N) - $start" | bc) s"
