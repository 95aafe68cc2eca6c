#!/usr/bin/env bash
# Two local ClickHouse servers as two shards behind a Distributed table: two
# logs sent as two hosts come back as they were, a log sent twice is stored
# once, and a server that refuses, a wrong password and a connection dropped
# mid-send each end in a clear message and exit 1. Rules sent with the rows
# give what the local log gives them, as columns and opened back; a server
# whose disk fills up ends the send in its own message.
set -uo pipefail
INSPECT=$1
SAMPLES=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
source "$here/clickhouse_shards.sh"
cleanup() { stop_shards; rm -rf "$work"; }
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cd "$work"
cp "$SAMPLES/sample.json" mac-1.json
cp "$SAMPLES/eslogger.json" trace.json
# The lines the store keeps (a line it cannot read is a load error, not sent).
kept() { "$INSPECT" --dump "$1" | python3 -c 'import json,sys; print(json.load(sys.stdin)["jsonMappingCount"])'; }
lines=$(($(kept mac-1.json) + $(kept trace.json)))
: >empty.json
start_shards 2 "$work" || exit 1
url0=http://127.0.0.1:${SHARD_HTTP[0]}/
# Each shard's own table, made as --to-clickhouse makes one, and the fleet's
# table over both.
for i in 0 1; do
    "$INSPECT" --to-clickhouse "http://127.0.0.1:${SHARD_HTTP[i]}/" empty.json 2>/dev/null ||
        fail "shard $i: table not made"
done
shard_sql 0 "CREATE TABLE fleet AS korvantis_events ENGINE = Distributed(korvantis_shards, default, korvantis_events, cityHash64(host))" ||
    fail "Distributed table not made"

"$INSPECT" --to-clickhouse "$url0" --table fleet mac-1.json 2>send.err || fail "send mac-1: $(cat send.err)"
grep -q "$(kept mac-1.json) of $(kept mac-1.json) lines sent" send.err || fail "no progress: $(cat send.err)"
for round in 1 2; do  # the second send must add nothing anyone sees
    "$INSPECT" --to-clickhouse "$url0" --table fleet --host mac-2 trace.json 2>send.err ||
        fail "send mac-2 (round $round): $(cat send.err)"
done
stored=$(($(shard_sql 0 "SELECT count() FROM korvantis_events FINAL") + \
          $(shard_sql 1 "SELECT count() FROM korvantis_events FINAL")))
[ "$stored" -eq "$lines" ] || fail "stored $stored lines, not $lines"
[ "$(shard_sql 0 "SELECT uniqExact(host) FROM fleet")" -eq 2 ] || fail "hosts not on the fleet table"

from() { "$INSPECT" --from-clickhouse "$url0" --table fleet "$@"; }
fields=kind,type,timestamp,pid,ppid,path,utc,args,cwd,uid,signing_id,team_id,process_path,summary
# What comes back is what the local logs give, in (host, log, line) order.
check() {
    local what=$1 where=$2 local_logs=$3
    shift 3
    from --where "$where" "$@" >got.out 2>got.err || fail "$what: exit $?: $(cat got.err)"
    # shellcheck disable=SC2086
    "$INSPECT" "$@" $local_logs >want.out || fail "$what: local run failed"
    if [ "$1" = --dump ]; then  # lines with load errors are not sent
        for f in got.out want.out; do
            python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); d.pop("loadErrors"); print(json.dumps(d))' $f >$f.j
        done
        cmp -s got.out.j want.out.j || fail "$what: differs from the local log"
    else
        cmp -s got.out want.out || fail "$what: differs from the local log"
    fi
}
check "dump of mac-2" "host = 'mac-2'" trace.json --dump
check "dump of both" "1" "mac-1.json trace.json" --dump
check "csv of both" "1" "mac-1.json trace.json" --filter '' --export csv --fields "$fields"
check "raw lines of both" "1" "mac-1.json trace.json" --filter ''
# A condition picks rows: the ones with that command line, as a local filter
# of the same log would find them.
from --where "host = 'mac-2' AND CommandLine LIKE '%git%'" --filter '' --export csv \
    --fields "$fields" >got.out 2>got.err || fail "condition: $(cat got.err)"
"$INSPECT" --filter '' --export csv --fields "$fields" trace.json |
    python3 -c 'import csv,sys; r=list(csv.reader(sys.stdin)); i=r[0].index("args"); w=csv.writer(sys.stdout, lineterminator="\n"); w.writerow(r[0]); [w.writerow(x) for x in r[1:] if "git" in x[i]]' >want.out
[ "$(wc -l <want.out)" -gt 1 ] || fail "no git rows to look for"
cmp -s got.out want.out || fail "condition: rows differ from a local filter"

# Rules: their hits go as columns, and a log opened back with them hits as
# the local one does; the parent columns run the same rule as SQL.
mkdir rules
cat >rules/git.yml <<'YML'
title: Git run
id: fleet-git
level: medium
logsource: {product: macos, category: process_creation}
detection:
  selection: {CommandLine|contains: git}
  condition: selection
YML
cat >rules/zsh.yml <<'YML'
title: Started by zsh
id: fleet-zsh
level: high
logsource: {product: macos, category: process_creation}
detection:
  selection: {ParentImage|endswith: /zsh}
  condition: selection
YML
cat >rules/said.yml <<'YML'
title: Commit said hi
id: fleet-said
level: low
logsource: {product: macos, category: process_creation}
detection:
  selection: {CommandLine|contains: '-m say "hi"'}
  condition: selection
YML
"$INSPECT" --to-clickhouse "$url0" --table ruled --host mac-3 --rules rules trace.json 2>send.err ||
    fail "send with rules: $(cat send.err)"
ruled_fields=$fields,rules,rule_ids,level
"$INSPECT" --rules rules --filter '' --export csv --fields "$ruled_fields" trace.json >want.out
from_ruled() { "$INSPECT" --from-clickhouse "$url0" --table ruled --where "host = 'mac-3'" "$@"; }
from_ruled --rules rules --filter '' --export csv --fields "$ruled_fields" >got.out 2>got.err ||
    fail "open back with rules: $(cat got.err)"
cmp -s got.out want.out || fail "rules on the log opened back differ from the local log"
# The columns hold the hits the local log has, row by row.
"$INSPECT" --rules rules --filter '' --export csv --fields rules,level trace.json |
    python3 -c 'import csv,sys; [print(r[0] + "\t" + r[1]) for r in sorted(list(csv.reader(sys.stdin))[1:]) if r[0]]' >want.out
shard_sql 0 "SELECT rules, level FROM ruled FINAL WHERE rules != '' ORDER BY rules, level" >got.out
[ -s want.out ] || fail "no rule hits to look for"
cmp -s got.out want.out || fail "rules and level columns differ from the local hits"
for rule in "Git run|CommandLine LIKE '%git%'" "Started by zsh|ParentImage LIKE '%/zsh'" \
    "Commit said hi|position(CommandLine, '-m say \"hi\"') > 0"; do
    hits=$(shard_sql 0 "SELECT count() FROM ruled FINAL WHERE position(rules, '${rule%%|*}') > 0")
    by_sql=$(shard_sql 0 "SELECT count() FROM ruled FINAL WHERE type = 'ES_EVENT_TYPE_NOTIFY_EXEC' AND ${rule#*|}")
    [ "$hits" -gt 0 ] && [ "$hits" -eq "$by_sql" ] ||
        fail "${rule%%|*}: $hits rows hit, $by_sql rows by SQL"
done

# Failures end in a clear message and exit 1.
expect_failure() {
    local what=$1 pattern=$2
    shift 2
    "$@" >/dev/null 2>err.txt
    local status=$?
    [ "$status" -eq 1 ] || fail "$what: exit $status, not 1"
    grep -qiE "$pattern" err.txt || fail "$what: message: $(cat err.txt)"
}
closed=$(free_port)
expect_failure "refused" "connect" "$INSPECT" --to-clickhouse "http://127.0.0.1:$closed/" mac-1.json
KORVANTIS_CLICKHOUSE_USER=investigator KORVANTIS_CLICKHOUSE_PASSWORD=wrong \
    expect_failure "wrong password" "password" "$INSPECT" --to-clickhouse "$url0" mac-1.json
expect_failure "bad condition" "Exception" "$INSPECT" --from-clickhouse "$url0" --table fleet \
    --where "no_such_column = 1" --dump
# A server that takes the table and hangs up in the middle of the rows.
dropper_port=$(free_port)
python3 - "$dropper_port" <<'PY' &
import socket, sys
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1]))); s.listen(4)
open("dropper.ready", "w").close()
for answer in (True, False):
    c, _ = s.accept()
    data = b""
    while b"\r\n\r\n" not in data:
        piece = c.recv(65536)
        if not piece:
            break
        data += piece
    if answer:
        c.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")
    c.close()
PY
dropper=$!
until [ -e dropper.ready ]; do
    kill -0 $dropper 2>/dev/null || break
    sleep 0.1
done
expect_failure "dropped mid-send" "0 of [0-9]+ lines of mac-1.json were sent" \
    "$INSPECT" --to-clickhouse "http://127.0.0.1:$dropper_port/" mac-1.json
kill $dropper 2>/dev/null; wait $dropper 2>/dev/null
"$INSPECT" --to-clickhouse "$url0" --table 'x;DROP TABLE fleet' mac-1.json 2>/dev/null
[ $? -eq 2 ] || fail "a bad table name was not turned away"

# A server whose disk fills up in the middle of the rows: its own message,
# and how many rows went.
python3 -c 'import json, os; [print(json.dumps({"event": "ES_EVENT_TYPE_NOTIFY_EXEC", "timestamp": "1765000000.%d" % i, "process": {"pid": i, "ppid": 1, "path": "/bin/" + os.urandom(100).hex()}})) for i in range(40000)]' >big.json
if unshare --user --map-root-user --mount true 2>/dev/null; then
    SHARD_DISK=4m start_shards 1 "$work/full" || fail "a server with a small disk did not start"
    expect_failure "full disk" "No space left on device" \
        "$INSPECT" --to-clickhouse "http://127.0.0.1:${SHARD_HTTP[0]}/" big.json
    grep -qE "^korvantis-inspect: [0-9]+ of [0-9]+ lines of big.json were sent" err.txt ||
        fail "full disk: no count of the lines sent: $(cat err.txt)"
else
    echo "no full-disk case: this system gives no mount namespace to a test" >&2
fi

[ "$failures" -eq 0 ] && echo "all passed"
exit $((failures > 0))
