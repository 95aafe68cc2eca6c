#!/usr/bin/env bash
# Checks korvantis-inspect from the outside: exit statuses, the summary, the
# --dump form over the samples, --pretty, --tree and the rows --filter writes.
# Usage: inspect_cli.sh INSPECT SAMPLES_DIR
set -uo pipefail
INSPECT=$1
SAMPLE=$2/sample.json
fail=0
check() {  # check WHAT EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        echo "FAIL: $1: expected [$2], got [$3]"
        fail=1
    fi
}
contains() {  # contains WHAT NEEDLE HAYSTACK
    if [[ "$3" != *"$2"* ]]; then
        echo "FAIL: $1: [$2] not found in output"
        fail=1
    fi
}

"$INSPECT" > /dev/null 2>&1
check "no LOG" 2 $?
"$INSPECT" --no-such-option "$SAMPLE" > /dev/null 2>&1
check "unknown option" 2 $?

out=$("$INSPECT" "$SAMPLE")
check "sample status" 0 $?
contains "summary" $'lines read: 27\nprocess events: 7\nfile events: 9\nload errors: 8\nelapsed seconds: ' "$out"

err=$("$INSPECT" /nonexistent/log.json "$SAMPLE" 2>&1 > /dev/null)
check "missing LOG status" 1 $?
contains "missing LOG named" "/nonexistent/log.json" "$err"
out=$("$INSPECT" /nonexistent/log.json "$SAMPLE" 2> /dev/null)
contains "other LOGs still load" "process events: 7" "$out"

out=$("$INSPECT" "$SAMPLE" "$SAMPLE")
contains "two loads append" $'lines read: 54\nprocess events: 14' "$out"

dump=$("$INSPECT" --dump "$SAMPLE")
check "dump status" 0 $?
contains "dump starts with procPreviews" \
    '{"procPreviews":[{"type":"ES_EVENT_TYPE_NOTIFY_FORK","timestamp":"1765000000.000100","pid":100,"ppid":1,"path":"/sbin/launchd"},' \
    "$dump"
contains "file previews, escapes decoded then written again" \
    '{"type":"ES_EVENT_TYPE_NOTIFY_OPEN","timestamp":"1765000000.005200","pid":230,"path":"/Users/émilie/Desktop/notes \"draft\".txt"}' \
    "$dump"
contains "rows after the invalid UTF-8 line" '"path":"/tmp/after-the-bad-line"}' "$dump"
contains "load errors" '"loadErrors":["Could not build file event from ReceivedJson(event: \"ES_EVENT_TYPE_NOTIFY_WRITE\"' "$dump"
contains "empty line error" ',"","not json at all","[1,2,3]",' "$dump"
contains "mapping count and tree" '"jsonMappingCount":20,"jsonTreeRaw":"[{\"name\":\"launchd\",\"children\":[{\"name\":\"Untracked Heritage\"' "$dump"
check "dump is one line" 1 "$(printf '%s\n' "$dump" | wc -l)"

# eslogger messages among native lines: what each kind of message files as.
ESLOGGER=$2/eslogger.json
out=$("$INSPECT" "$ESLOGGER")
contains "eslogger summary" $'lines read: 43\nprocess events: 7\nfile events: 10\nload errors: 23\n' "$out"
dump=$("$INSPECT" --dump "$ESLOGGER")
T='"timestamp":"2026-01-05T09:12:0'
contains "eslogger process previews" \
    '{"procPreviews":[{"type":"ES_EVENT_TYPE_NOTIFY_FORK",'"$T"'0.007919000Z","pid":401,"ppid":400,"path":"/bin/zsh"},{"type":"ES_EVENT_TYPE_NOTIFY_EXEC",'"$T"'0.015838000Z","pid":401,"ppid":400,"path":"/usr/bin/git"},{"type":"ES_EVENT_TYPE_NOTIFY_FORK",'"$T"'0.023757000Z","pid":402,"ppid":401,"path":"/usr/bin/git"},{"type":"ES_EVENT_TYPE_NOTIFY_EXEC",'"$T"'0.031676000Z","pid":402,"ppid":401,"path":"/usr/libexec/git-core/git-gc"},{"type":"ES_EVENT_TYPE_NOTIFY_EXEC",'"$T"'0.039595000Z","pid":403,"ppid":401,"path":""},{"type":"ES_EVENT_TYPE_NOTIFY_FORK",'"$T"'0.047514000Z","pid":404,"ppid":1,"path":""},{"type":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"1767604330.000100","pid":500,"ppid":401,"path":"/bin/ls"}],' \
    "$dump"
contains "eslogger file previews" \
    '"filePreviews":[{"type":"ES_EVENT_TYPE_NOTIFY_OPEN",'"$T"'0.055433000Z","pid":401,"path":"/Users/émilie/notes \"draft\".txt"},{"type":"ES_EVENT_TYPE_NOTIFY_CLOSE",'"$T"'0.063352000Z","pid":401,"path":"/Users/émilie/notes \"draft\".txt"},{"type":"ES_EVENT_TYPE_NOTIFY_WRITE",'"$T"'0.071271000Z","pid":402,"path":"/Users/émilie/src/.git/gc.log"},{"type":"ES_EVENT_TYPE_NOTIFY_UNLINK",'"$T"'1.079190000Z","pid":401,"path":"/tmp/old.lock"},{"type":"ES_EVENT_TYPE_NOTIFY_RENAME",'"$T"'1.087109000Z","pid":401,"path":"/tmp/a.txt"},{"type":"ES_EVENT_TYPE_NOTIFY_RENAME",'"$T"'1.095028000Z","pid":401,"path":"/tmp/b.txt"},{"type":"ES_EVENT_TYPE_NOTIFY_CREATE",'"$T"'1.102947000Z","pid":401,"path":"/tmp/c.txt"},{"type":"ES_EVENT_TYPE_NOTIFY_CREATE",'"$T"'1.110866000Z","pid":401,"path":"/d.txt"},{"type":"ES_EVENT_TYPE_NOTIFY_LINK",'"$T"'1.118785000Z","pid":401,"path":"/Users/émilie/a-link.txt"},{"type":"ES_EVENT_TYPE_NOTIFY_OPEN","timestamp":"1767604330.000200","pid":500,"path":"/etc/hosts"}],' \
    "$dump"
# The refused messages are the load errors, each its line unchanged; every
# other line (the kept-only kinds among them) is in the map.
if command -v python3 > /dev/null; then
    check "eslogger load errors are the refused lines" "$(tail -n 23 "$ESLOGGER")" \
        "$(printf '%s' "$dump" |
            python3 -c 'import json, sys; print("\n".join(json.load(sys.stdin)["loadErrors"]))')"
fi
contains "eslogger mapping count" '"jsonMappingCount":20,' "$dump"

# --filter: a bad query is refused before loading, with nothing on stdout.
out=$("$INSPECT" --filter 'pid:x' "$SAMPLE" 2> /dev/null)
check "invalid query status" 2 $?
check "invalid query writes no rows" "" "$out"
err=$("$INSPECT" --filter 'path:"a b' "$SAMPLE" 2>&1 > /dev/null)
contains "invalid query named" "invalid filter: unbalanced quote" "$err"
"$INSPECT" --filter zsh --export xml "$SAMPLE" > /dev/null 2>&1
check "unknown export format" 2 $?

# JSON lines are the source lines, byte for byte, in load order with both
# lists interleaved.
"$INSPECT" --filter '' "$SAMPLE" | cmp -s - <(sed -n '1,15p;27p' "$SAMPLE")
check "empty filter gives every row in line order" 0 $?
"$INSPECT" --filter 'pid:104' --export jsonl "$SAMPLE" | cmp -s - <(sed -n '3,11p' "$SAMPLE")
check "pid filter gives the source lines" 0 $?
"$INSPECT" --filter 'tree:100 -type:exec -path:.git' "$SAMPLE" | cmp -s - <(sed -n '1p;3p' "$SAMPLE")
check "tree and negation" 0 $?
"$INSPECT" --filter -pid:104 "$SAMPLE" | cmp -s - <(sed -n '1,2p;12,15p;27p' "$SAMPLE")
check "a query starting with - is the value of --filter" 0 $?

csv=$("$INSPECT" --filter 'path:DRAFT' --export csv "$SAMPLE")
check "csv header and quoting" \
    "kind,type,timestamp,pid,ppid,path
file,ES_EVENT_TYPE_NOTIFY_OPEN,1765000000.005200,230,,\"/Users/émilie/Desktop/notes \"\"draft\"\".txt\"" \
    "$csv"
csv=$("$INSPECT" --filter 'type:exec pid:100' --export csv "$SAMPLE")
check "csv process row" "kind,type,timestamp,pid,ppid,path
process,ES_EVENT_TYPE_NOTIFY_EXEC,1765000000.000200,100,1,/bin/zsh" "$csv"

# Time bounds: at or after, strictly before; a bad one is refused like any
# bad query.
"$INSPECT" --filter 'after:1765000000.002 before:1765000000.0031' "$SAMPLE" |
    cmp -s - <(sed -n '5,7p' "$SAMPLE")
check "after and before" 0 $?
"$INSPECT" --filter 'before:2025-12-06T05:46:40.0002' "$SAMPLE" | cmp -s - <(sed -n '1p' "$SAMPLE")
check "before, a UTC time" 0 $?
err=$("$INSPECT" --filter 'after:2025-13-01' "$SAMPLE" 2>&1 > /dev/null)
check "bad time status" 2 $?
contains "bad time named" "after: wants a time such as 2026-08-12T15:28 or 1765000000" "$err"

# --sort: equal keys keep load order in both directions; empty values (a
# file row's ppid, no time value) last in load order.
sorted=$(mktemp)
cat > "$sorted" <<'LOG'
{"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"1765000002","process":{"pid":3,"ppid":1,"path":"/b"}}
{"event":"ES_EVENT_TYPE_NOTIFY_OPEN","timestamp":"later","file":{"pid":2,"destination":"/a"}}
{"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"2025-12-06T05:46:41Z","process":{"pid":1,"ppid":2,"path":"/b"}}
{"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"1765000001.5","process":{"pid":2,"ppid":1,"path":""}}
LOG
order() { "$INSPECT" --export csv --sort "$1" "$sorted" | tail -n +2 | cut -d, -f4 | tr -d '\n'; }
check "sort by pid" 1223 "$(order pid)"
check "sort by -pid" 3221 "$(order -pid)"
check "sort by ppid" 3212 "$(order ppid)"
check "sort by -ppid" 1322 "$(order -ppid)"
check "sort by timestamp" 1232 "$(order timestamp)"
check "sort by -utc" 3212 "$(order -utc)"
check "sort by path" 2312 "$(order path)"
check "sort by -path" 3122 "$(order -path)"
"$INSPECT" --sort -timestamp "$sorted" | cmp -s - <(for n in 1 4 3 2; do sed -n "${n}p" "$sorted"; done)
check "sorted JSON lines" 0 $?
out=$("$INSPECT" --sort size "$sorted" 2> /dev/null)
check "unknown sort field status" 2 $?
check "unknown sort field writes nothing" "" "$out"
rm -f "$sorted"

# --pretty reads standard input (the readable form itself is tested with the
# store); unparsable text comes back as it was.
out=$(printf '%s' '{"b":1,"a":"/"}' | "$INSPECT" --pretty)
check "--pretty" $'{\n  "a" : "\\/",\n  "b" : 1\n}' "$out"
check "--pretty, unparsable" "not json" "$(printf 'not json' | "$INSPECT" --pretty)"

# --tree over two logs: one store, so the second cat finds the newer ls.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
cat > "$log" <<'LOG'
{"event":"ES_EVENT_TYPE_NOTIFY_FORK","timestamp":"t","process":{"pid":5,"ppid":1,"path":"/bin/sh"}}
{"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":{"pid":5,"ppid":1,"path":"/bin/ls"}}
{"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":{"pid":6,"ppid":5,"path":"/usr/bin/cat"}}
{"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":{"pid":7,"ppid":70,"path":"/"}}
LOG
check "--tree, two logs" \
    '[{"name":"launchd","children":[{"name":"Untracked Heritage","children":[{"name":"\/"},{"name":"\/"}]},{"name":"sh"},{"name":"ls","children":[{"name":"cat"}]},{"name":"sh"},{"name":"ls","children":[{"name":"cat"}]}]}]' \
    "$("$INSPECT" --tree "$log" "$log")"

exit $fail
