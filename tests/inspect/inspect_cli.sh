#!/usr/bin/env bash
# Checks korvantis-inspect from the outside: exit statuses, the summary, the
# --dump form over the samples, --pretty, --tree and the rows --filter writes.
# Usage: inspect_cli.sh INSPECT SAMPLES_DIR
set -uo pipefail
INSPECT=$1
SAMPLES=$2
SAMPLE=$SAMPLES/sample.json
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

# Usage: --help and --version on standard output with status 0, bad usage
# on standard error with status 2.
err_file=$(mktemp)
trap 'rm -f "$err_file"' EXIT
# case; arguments; status; standard output holds; standard error holds ("-": empty)
while IFS=';' read -r name args status want_out want_err; do
    eval "set -- $args"
    out=$("$INSPECT" "$@" 2> "$err_file" < /dev/null)
    check "$name: status" "$status" $?
    err=$(cat "$err_file")
    if [ "$want_out" = "-" ]; then check "$name: stdout" "" "$out"; else contains "$name: stdout" "$want_out" "$out"; fi
    if [ "$want_err" = "-" ]; then check "$name: stderr" "" "$err"; else contains "$name: stderr" "$want_err" "$err"; fi
done <<'CASES'
no LOG;;2;-;usage: korvantis-inspect
unknown option;--no-such-option "$SAMPLE";2;-;unknown option --no-such-option
unknown option, usage;--no-such-option "$SAMPLE";2;-;korvantis-inspect --help | --version
help;--help;0;usage: korvantis-inspect [--dump | --tree | --gaps] LOG...;-
help, a line per option;--help;0;  --export jsonl|csv  how --filter writes the rows;-
help wins over a missing LOG;--dump --help;0;  --pretty;-
version;--version;0;korvantis-inspect ;-
a value flag takes --help as its value;--filter --help "$SAMPLE";0;{"event";-
CASES
[[ "$("$INSPECT" --version)" =~ ^korvantis-inspect\ [0-9]+\.[0-9]+\.[0-9]+$ ]]
check "version is name and number" 0 $?

# Each option at most once, and one kind of output at a time: nothing is
# silently dropped.
for args in "--dump --tree" "--filter a --filter b" "--dump --dump" "--tree --filter a" \
    "--export csv --export jsonl"; do
    out=$("$INSPECT" $args "$SAMPLE" 2> /dev/null)
    check "[$args] refused" 2 $?
    check "[$args] writes nothing" "" "$out"
done

# A failed write fails the run, with the reason.
for args in "" "--dump" "--tree" "--filter zsh"; do
    err=$("$INSPECT" $args "$SAMPLE" 2>&1 > /dev/full)
    check "[$args] to a full disk" 1 $?
    contains "[$args] says why" "No space left on device" "$err"
done
printf '{}' | "$INSPECT" --pretty > /dev/full 2> /dev/null
check "--pretty to a full disk" 1 $?

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
ESLOGGER=$SAMPLES/eslogger.json
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

# --fields: the header is the list itself, fields in its order, repeats
# written again; native rows have empty facts.
ESLOGGER=$SAMPLES/eslogger.json
csv=$("$INSPECT" --filter 'type:exec' --export csv \
    --fields type,pid,args,cwd,uid,pidversion,signing_id,team_id,platform,process_path,pid "$ESLOGGER")
check "csv with chosen fields" \
    "type,pid,args,cwd,uid,pidversion,signing_id,team_id,platform,process_path,pid
ES_EVENT_TYPE_NOTIFY_EXEC,401,\"git commit -m 'say \"\"hi\"\"'\",/Users/émilie/src,501,1,com.example.git,,yes,/usr/bin/git,401
ES_EVENT_TYPE_NOTIFY_EXEC,402,git-gc,,501,1,com.example.git-gc,,yes,/usr/libexec/git-core/git-gc,402
ES_EVENT_TYPE_NOTIFY_EXEC,403,,,501,1,com.example.,,no,,403
ES_EVENT_TYPE_NOTIFY_EXEC,500,,,,,,,,,500" "$csv"
csv=$("$INSPECT" --filter 'uid:501 signing_id:GIT-gc' --export csv --fields kind,ppid,tty,summary,responsible_pid "$ESLOGGER")
check "csv facts filter keys" "kind,ppid,tty,summary,responsible_pid
process,401,,,
file,,,," "$csv"
check "csv over native rows" "path,args,uid
/bin/zsh,,
/bin/zsh,," \
    "$("$INSPECT" --filter 'path:zsh' --export csv --fields path,args,uid "$SAMPLE")"
for bad in "--export csv --fields foo" "--export csv --fields pid,,path" "--export csv --fields pid," \
    "--export csv --fields PID" "--export csv --fields pid,_path" "--export csv --fields" \
    "--export csv --fields ''" "--fields pid" "--export jsonl --fields pid"; do
    out=$(eval "\"\$INSPECT\" --filter '' $bad \"\$SAMPLE\"" 2> /dev/null)
    check "bad --fields status: $bad" 2 $?
    check "bad --fields writes nothing: $bad" "" "$out"
done
err=$("$INSPECT" --filter '' --export csv --fields pid,what "$SAMPLE" 2>&1 > /dev/null)
contains "bad --fields named" "pid,what" "$err"
err=$("$INSPECT" --filter 'uid:x' "$SAMPLE" 2>&1 > /dev/null)
contains "a fact key's error names it" "uid: needs a whole number" "$err"
# Many logs at once: the soft limit of open files is raised, so each log
# stays open and its lines are read again.
rows=$("$INSPECT" --filter json:NOTIFY "$SAMPLE" | wc -l)
logs=()
for _ in $(seq 200); do logs+=("$SAMPLE"); done
out=$( (ulimit -S -n 64 && "$INSPECT" --filter json:NOTIFY "${logs[@]}") | wc -l)
check "200 logs under a soft limit of 64" $((rows * 200)) "$out"
# Under a hard limit, the later logs cannot be kept open: their rows are not
# tested as any text, the first is named with the reason, and the run fails.
# (How many stay open depends on the descriptors the shell hands down. The
# sanitizers' runtime needs descriptors of its own: under them a limit this
# low would test the runtime, not the program.)
if [ -z "${ASAN_OPTIONS:-}${TSAN_OPTIONS:-}" ]; then
    err=$( (ulimit -n 6 && "$INSPECT" --filter json:NOTIFY "${logs[@]:0:10}") 2>&1 > /dev/null)
    check "rows not read again fail the run" 1 $?
    contains "the first unread row named" " rows could not be read again, the first sample.json:1: The log file could not be kept open after it was loaded (Too many open files)" "$err"
fi

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
# Repeated keys: every member kept, in written order; the note on standard error.
err=$(printf '%s' '{"p":{"pid":3,"pid":666}}' | "$INSPECT" --pretty 2>&1 > /dev/null)
check "--pretty, repeated keys noted" \
    "This line repeats keys (p.pid); the lists use the first of each." "$err"
out=$(printf '%s' '{"p":{"pid":3,"pid":666}}' | "$INSPECT" --pretty 2> /dev/null)
check "--pretty, repeated keys kept" $'{\n  "p" : {\n    "pid" : 3,\n    "pid" : 666\n  }\n}' "$out"

# --tree over two logs: one store, so the second cat finds the newer ls.
log=$(mktemp)
trap 'rm -f "$log" "$err_file"' EXIT
cat > "$log" <<'LOG'
{"event":"ES_EVENT_TYPE_NOTIFY_FORK","timestamp":"t","process":{"pid":5,"ppid":1,"path":"/bin/sh"}}
{"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":{"pid":5,"ppid":1,"path":"/bin/ls"}}
{"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":{"pid":6,"ppid":5,"path":"/usr/bin/cat"}}
{"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":{"pid":7,"ppid":70,"path":"/"}}
LOG
check "--tree, two logs" \
    '[{"name":"launchd","children":[{"name":"Untracked Heritage","children":[{"name":"\/"},{"name":"\/"}]},{"name":"sh"},{"name":"ls","children":[{"name":"cat"}]},{"name":"sh"},{"name":"ls","children":[{"name":"cat"}]}]}]' \
    "$("$INSPECT" --tree "$log" "$log")"

# A compressed log is the log: the same dump, the same rows and raw lines,
# whatever its name.
gz=$(mktemp)
zst=$(mktemp)
trap 'rm -f "$log" "$gz" "$zst"' EXIT
for sample in "$SAMPLES"/*.json; do
    gzip -c "$sample" > "$gz"
    cmp -s <("$INSPECT" --dump "$sample") <("$INSPECT" --dump "$gz")
    check "--dump of $(basename "$sample") as gzip" 0 $?
    cmp -s <("$INSPECT" --filter '' "$sample") <("$INSPECT" --filter '' "$gz")
    check "raw lines of $(basename "$sample") as gzip" 0 $?
    if command -v zstd > /dev/null; then
        zstd -q -c "$sample" > "$zst"
        cmp -s <("$INSPECT" --dump "$sample") <("$INSPECT" --dump "$zst")
        check "--dump of $(basename "$sample") as zstd" 0 $?
        cmp -s <("$INSPECT" --filter 'json:exec' "$sample") <("$INSPECT" --filter 'json:exec' "$zst")
        check "json: search of $(basename "$sample") as zstd" 0 $?
    fi
done

# Standard input ("-") and a FIFO named on the command line: the same dump as
# the file, compressed or not; input closed at once is an empty log. Spools
# go to a cache folder of the test's own, and are gone afterwards.
export XDG_CACHE_HOME
XDG_CACHE_HOME=$(mktemp -d)
fifo_dir=$(mktemp -d)
trap 'rm -rf "$log" "$gz" "$zst" "$XDG_CACHE_HOME" "$fifo_dir"' EXIT
gzip -c "$SAMPLE" > "$gz"
cmp -s <("$INSPECT" --dump "$SAMPLE") <("$INSPECT" --dump - < "$SAMPLE")
check "--dump of standard input from a file" 0 $?
cmp -s <("$INSPECT" --dump "$SAMPLE") <(cat "$SAMPLE" | "$INSPECT" --dump -)
check "--dump of standard input from a pipe" 0 $?
cmp -s <("$INSPECT" --dump "$SAMPLE") <(cat "$gz" | "$INSPECT" --dump -)
check "--dump of gzip data down a pipe" 0 $?
cmp -s <("$INSPECT" --filter 'json:exec' "$SAMPLE") <(cat "$gz" | "$INSPECT" --filter 'json:exec' -)
check "raw lines of gzip data down a pipe" 0 $?
out=$(true | "$INSPECT" -)
check "standard input closed at once" 0 $?
contains "nothing read from closed input" $'lines read: 0\n' "$out"
mkfifo "$fifo_dir/fifo"
( sleep 0.2; cat "$SAMPLE" > "$fifo_dir/fifo" ) &
cmp -s <("$INSPECT" --dump "$SAMPLE") <("$INSPECT" --dump "$fifo_dir/fifo")
check "--dump of a FIFO" 0 $?
wait
( : > "$fifo_dir/fifo" ) &
contains "a FIFO closed without a line" $'lines read: 0\n' "$("$INSPECT" "$fifo_dir/fifo")"
wait
check "no spool left behind" "" "$(ls -A "$XDG_CACHE_HOME/korvantis" 2> /dev/null)"
# --gaps: one line per gap, each log as named, in the order given; a log
# that cannot be opened is named on standard error.
gaps=$(mktemp)
trap 'rm -rf "$log" "$gz" "$zst" "$XDG_CACHE_HOME" "$fifo_dir" "$gaps" "$err_file"' EXIT
for n in 3 4 9 2 5; do
    printf '{"event":{"exit":{"stat":0}},"time":"t","global_seq_num":%s,"process":{}}\n' "$n"
    printf 'not json\n'
done > "$gaps"
out=$("$INSPECT" --gaps "$gaps" /nonexistent/log.json "$gaps" 2> "$err_file")
check "--gaps status with a missing LOG" 1 $?
check "--gaps lines" "$gaps:5: 4 lost
$gaps:9: 2 lost
$gaps:5: 4 lost
$gaps:9: 2 lost" "$out"
contains "--gaps names the missing LOG" "/nonexistent/log.json" "$(cat "$err_file")"
check "--gaps without gaps" "" "$("$INSPECT" --gaps "$SAMPLE")"

# Other rows: kind other, their ppid and summary, among the rows in load order.
check "csv other rows" "kind,type,pid,ppid,summary
other,ES_EVENT_TYPE_NOTIFY_EXIT,401,1,exit 0
other,ES_EVENT_TYPE_NOTIFY_MMAP,401,1,/usr/lib/dyld
other,ES_EVENT_TYPE_NOTIFY_OPEN,401,1," \
    "$("$INSPECT" --filter 'pid:401 ppid:1 -path:x' --export csv --fields kind,type,pid,ppid,summary "$ESLOGGER")"

exit $fail
