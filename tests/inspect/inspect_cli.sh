#!/usr/bin/env bash
# Checks korvantis-inspect from the outside: exit statuses, the summary, the
# --dump form over the samples, --pretty, --tree and the rows --filter writes.
# Usage: inspect_cli.sh INSPECT SAMPLES_DIR MAN_PAGE_SOURCE
set -uo pipefail
INSPECT=$1
SAMPLES=$2
MAN_PAGE=$3
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
same() {  # same WHAT FILE FILE: both hold the same bytes
    cmp -s "$2" "$3"
    check "$1" 0 $?
}
shows() {  # shows WHAT LINES ARGS...: korvantis-inspect ARGS SAMPLE writes these lines (sed -n)
    same "$1" <("$INSPECT" "${@:3}" "$SAMPLE") <(sed -n "$2" "$SAMPLE")
}

# Every file the checks make goes in one folder of their own.
work=$(mktemp -d)
# A file system mounted by the checks below goes before the folder does.
trap 'umount "$work/small" 2> /dev/null; rm -rf "$work"' EXIT
err_file=$work/stderr
# The index cache is the test's own from the start: an index another run left
# in the user's cache for a sample of the same path would add its notice.
export XDG_CACHE_HOME=$work/first-cache
# cases COMMAND...: runs COMMAND with each case's arguments, a table on
# standard input: case; arguments; status; standard output holds; standard
# error holds ("-": empty).
cases() {
    local name args status want_out want_err out err
    while IFS=';' read -r name args status want_out want_err; do
        eval "set -- $args"
        out=$("${CMD[@]}" "$@" 2> "$err_file" < /dev/null)
        check "$name: status" "$status" $?
        err=$(cat "$err_file")
        if [ "$want_out" = "-" ]; then check "$name: stdout" "" "$out"; else contains "$name: stdout" "$want_out" "$out"; fi
        if [ "$want_err" = "-" ]; then check "$name: stderr" "" "$err"; else contains "$name: stderr" "$want_err" "$err"; fi
    done
}

# Usage: --help and --version on standard output with status 0, bad usage
# on standard error with status 2: a bad query, field list, time or sort is
# refused before loading, with nothing on standard output. A LOG that cannot
# be opened is named, the others still load, and the run ends with status 1.
# --index-info takes logs only; a missing --rules PATH is named.
CMD=("$INSPECT")
cases <<'CASES'
no LOG;;2;-;usage: korvantis-inspect
unknown option;--no-such-option "$SAMPLE";2;-;unknown option --no-such-option
unknown option, usage;--no-such-option "$SAMPLE";2;-;korvantis-inspect --help | --version
help;--help;0;usage: korvantis-inspect [--dump | --tree | --gaps | --summary | --lifetimes] LOG...;-
help, a line per option;--help;0;  --export jsonl|csv  how --filter writes the rows;-
help wins over a missing LOG;--dump --help;0;  --pretty;-
version;--version;0;korvantis-inspect ;-
a value flag takes --help as its value;--filter --help "$SAMPLE";0;{"event";-
invalid query;--filter 'pid:x' "$SAMPLE";2;-;invalid filter: pid: needs a whole number
unknown export format;--filter zsh --export xml "$SAMPLE";2;-;--export takes jsonl or csv, not xml
bad --fields named;--filter '' --export csv --fields pid,what "$SAMPLE";2;-;pid,what
unknown sort field;--sort size "$SAMPLE";2;-;--sort: no field named
missing LOG;/nonexistent/log.json "$SAMPLE";1;process events: 7;/nonexistent/log.json
--index-info with an output;--index-info --dump "$SAMPLE";2;-;--index-info takes logs only
--index-info with --no-index;--index-info --no-index "$SAMPLE";2;-;--index-info takes logs only
--index-info without a LOG;--index-info;2;-;--index-info takes logs only
--rules missing;--rules /nonexistent/none.yml --rules-report;2;-;/nonexistent/none.yml
CASES
# The man page's synopsis names every option the usage names, and each
# option of --help has its entry.
usage=$("$INSPECT" 2>&1 > /dev/null)
synopsis=$(sed -n '/^# SYNOPSIS/,/^# DESCRIPTION/p' "$MAN_PAGE" | tr -d '*')
for option in $(grep -o -- '--[a-z][a-z-]*' <<< "$usage" | sort -u); do
    contains "man page synopsis" "$option" "$synopsis"
done
for option in $("$INSPECT" --help | grep -o -- '^  --[a-z][a-z-]*' | sort -u); do
    contains "man page entry" "*$option*" "$(cat "$MAN_PAGE")"
done
[[ "$("$INSPECT" --version)" =~ ^korvantis-inspect\ [0-9]+\.[0-9]+\.[0-9]+$ ]]
check "version is name and number" 0 $?

# Each option at most once, one kind of output at a time, --fields a list of
# known fields for CSV only: nothing is silently dropped.
csv="--filter '' --export csv"
for args in "--dump --tree" "--filter a --filter b" "--dump --dump" "--tree --filter a" \
    "--export csv --export jsonl" "--summary --filter a" "--summary --dump" \
    "--lifetimes --filter a" "--lifetimes --summary" "--follow --sort pid" \
    "$csv --fields foo" "$csv --fields pid,,path" "$csv --fields pid," "$csv --fields PID" \
    "$csv --fields pid,_path" "$csv --fields" "$csv --fields ''" "--filter '' --fields pid" \
    "--filter '' --export jsonl --fields pid"; do
    out=$(eval "\"\$INSPECT\" $args \"\$SAMPLE\"" 2> /dev/null)
    check "[$args] refused" 2 $?
    check "[$args] writes nothing" "" "$out"
done

# A failed write fails the run, with the reason, worded alike whatever the
# output.
for args in "" "--dump" "--tree" "--filter zsh" "--summary" "--sort pid"; do
    err=$("$INSPECT" $args "$SAMPLE" 2>&1 > /dev/full)
    check "[$args] to a full disk" 1 $?
    check "[$args] says why" 'korvantis-inspect: Could not write "standard output": No space left on device' "$err"
done
printf '{}' | "$INSPECT" --pretty > /dev/full 2> /dev/null
check "--pretty to a full disk" 1 $?

out=$("$INSPECT" "$SAMPLE")
check "sample status" 0 $?
contains "summary" $'lines read: 27\nprocess events: 7\nfile events: 9\nload errors: 8\nelapsed seconds: ' "$out"

dump=$("$INSPECT" --dump "$SAMPLE")
check "dump status" 0 $?
contains "dump starts with procPreviews" \
    '{"procPreviews":[{"type":"ES_EVENT_TYPE_NOTIFY_FORK","timestamp":"1765000000.000100","pid":100,"ppid":1,"path":"/sbin/launchd"},' \
    "$dump"
contains "file previews, escapes decoded then written again" \
    '{"type":"ES_EVENT_TYPE_NOTIFY_OPEN","timestamp":"1765000000.005200","pid":230,"path":"/Users/émilie/Desktop/notes \"draft\".txt"}' \
    "$dump"
contains "load errors" '"loadErrors":["Could not build file event from ReceivedJson(event: \"ES_EVENT_TYPE_NOTIFY_WRITE\"' "$dump"
contains "empty line error" ',"","not json at all","[1,2,3]",' "$dump"
contains "mapping count and tree" '"jsonMappingCount":20,"jsonTreeRaw":"[{\"name\":\"launchd\",\"children\":[{\"name\":\"Untracked Heritage\"' "$dump"
check "dump is one line" 1 "$(printf '%s\n' "$dump" | wc -l)"

# eslogger messages among native lines: the lists they make (what each kind
# decodes to is checked with the decoder).
ESLOGGER=$SAMPLES/eslogger.json
contains "eslogger summary" $'lines read: 43\nprocess events: 7\nfile events: 10\nload errors: 23\n' \
    "$("$INSPECT" "$ESLOGGER")"

# JSON lines are the source lines, byte for byte, in load order with both
# lists interleaved.
shows "empty filter gives every row in line order" '1,16p;27p' --filter ''
shows "pid filter gives the source lines" '3,11p;16p' --filter 'pid:104' --export jsonl
shows "tree and negation" '1p;3p;16p' --filter 'tree:100 -type:exec -path:.git'
shows "a query starting with - is the value of --filter" '1,2p;12,15p;27p' --filter -pid:104

# --fields: the header is the list itself, fields in its order, repeats
# written again; native rows have empty facts.
csv=$("$INSPECT" --filter 'type:exec -pid:402 -pid:403' --export csv \
    --fields type,pid,args,cwd,uid,pidversion,signing_id,team_id,platform,process_path,pid "$ESLOGGER")
check "csv with chosen fields" \
    "type,pid,args,cwd,uid,pidversion,signing_id,team_id,platform,process_path,pid
ES_EVENT_TYPE_NOTIFY_EXEC,401,\"git commit -m 'say \"\"hi\"\"'\",/Users/émilie/src,501,1,com.example.git,,yes,/usr/bin/git,401
ES_EVENT_TYPE_NOTIFY_EXEC,500,,,,,,,,,500" "$csv"
check "csv facts filter keys" "kind,ppid,tty,summary,responsible_pid
process,401,,,
file,,,," "$("$INSPECT" --filter 'uid:501 signing_id:GIT-gc' --export csv --fields kind,ppid,tty,summary,responsible_pid "$ESLOGGER")"
# Many logs at once: the soft limit of open files is raised, so each log
# stays open and its lines are read again.
rows=$("$INSPECT" --filter json:NOTIFY "$SAMPLE" | wc -l)
mapfile -t logs < <(yes "$SAMPLE" | head -n 200)
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

# Time bounds: at or after, strictly before.
shows "after and before" '5,7p' --filter 'after:1765000000.002 before:1765000000.0031'

# --sort: equal keys keep load order in both directions; empty values (a
# file row's ppid, no time value) last in load order.
sorted=$work/sorted.json
cat > "$sorted" <<'LOG'
{"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"1765000002","process":{"pid":3,"ppid":1,"path":"/b"}}
{"event":"ES_EVENT_TYPE_NOTIFY_OPEN","timestamp":"later","file":{"pid":2,"destination":"/a"}}
{"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"2025-12-06T05:46:41Z","process":{"pid":1,"ppid":2,"path":"/b"}}
{"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"1765000001.5","process":{"pid":2,"ppid":1,"path":""}}
LOG
order() { "$INSPECT" --export csv --sort "$1" "$sorted" | tail -n +2 | cut -d, -f4 | tr -d '\n'; }
for sort in pid:1223 -pid:3221 ppid:3212 -ppid:1322 timestamp:1232 -utc:3212 path:2312 -path:3122; do
    check "sort by ${sort%:*}" "${sort#*:}" "$(order "${sort%:*}")"
done
same "sorted JSON lines" <("$INSPECT" --sort -timestamp "$sorted") \
    <(for n in 1 4 3 2; do sed -n "${n}p" "$sorted"; done)
# --tree over two logs: one store, so the second /b of pid 1 finds the first
# log's pid 2.
check "--tree, two logs" \
    '[{"name":"launchd","children":[{"name":"Untracked Heritage","children":[{"name":"b"}]},{"name":"b"},{"name":"","children":[{"name":"b"}]},{"name":"b"},{"name":""}]}]' \
    "$("$INSPECT" --tree "$sorted" "$sorted")"

# --pretty reads standard input (the readable form itself is tested with the
# store); unparsable text comes back as it was.
check "--pretty" $'{\n  "a" : "\\/",\n  "b" : 1\n}' "$(printf '%s' '{"b":1,"a":"/"}' | "$INSPECT" --pretty)"
check "--pretty, unparsable" "not json" "$(printf 'not json' | "$INSPECT" --pretty)"
# Repeated keys: every member kept, in written order; the note on standard error.
check "--pretty, repeated keys noted" \
    "This line repeats keys (p.pid); the lists use the first of each." \
    "$(printf '%s' '{"p":{"pid":3,"pid":666}}' | "$INSPECT" --pretty 2>&1 > /dev/null)"

# A compressed log is the log: the same dump, the same rows and raw lines,
# whatever its name.
# (The tools' own streams: gzip names the file in its header, zstd adds a
# checksum. Lines read again from a copy are checked with the store.)
gz=$work/log.gz
zst=$work/log.zst
dump=$work/dump
# The sample last: its dump and gzip copy serve again below.
for sample in "$ESLOGGER" "$SAMPLE"; do
    "$INSPECT" --dump "$sample" > "$dump"
    gzip -c "$sample" > "$gz"
    same "--dump of $(basename "$sample") as gzip" "$dump" <("$INSPECT" --dump "$gz")
    if command -v zstd > /dev/null; then
        zstd -q -c "$sample" > "$zst"
        same "--dump of $(basename "$sample") as zstd" "$dump" <("$INSPECT" --dump "$zst")
    fi
done

# Standard input ("-") and a FIFO named on the command line: the same dump as
# the file, compressed or not; input closed at once is an empty log. Spools
# go to a cache folder of the test's own, and are gone afterwards.
XDG_CACHE_HOME=$work/cache
fifo_dir=$work/fifo
mkdir "$XDG_CACHE_HOME" "$fifo_dir"
same "--dump of standard input from a file" "$dump" <("$INSPECT" --dump - < "$SAMPLE")
same "--dump of gzip data down a pipe" "$dump" <(cat "$gz" | "$INSPECT" --dump -)
out=$(true | "$INSPECT" -)
check "standard input closed at once" 0 $?
contains "nothing read from closed input" $'lines read: 0\n' "$out"
mkfifo "$fifo_dir/fifo"
( : > "$fifo_dir/fifo" ) &
contains "a FIFO closed without a line" $'lines read: 0\n' "$("$INSPECT" "$fifo_dir/fifo")"
wait
check "no spool left behind" "" "$(ls -A "$XDG_CACHE_HOME/korvantis" 2> /dev/null | grep -vx index)"
# --gaps: one line per gap, the log as named; a log that cannot be opened is
# named on standard error. (What is counted, log by log, is the core's.)
gaps=$work/gaps.json
printf '{"event":{"exit":{"stat":0}},"time":"t","global_seq_num":%s,"process":{}}\n' 3 4 9 2 5 > "$gaps"
out=$("$INSPECT" --gaps "$gaps" /nonexistent/log.json 2> "$err_file")
check "--gaps status with a missing LOG" 1 $?
check "--gaps lines" "$gaps:3: 4 lost
$gaps:5: 2 lost" "$out"
contains "--gaps names the missing LOG" "/nonexistent/log.json" "$(cat "$err_file")"
check "--gaps without gaps" "" "$("$INSPECT" --gaps "$SAMPLE")"

# --lifetimes: a line per eslogger process row with a pid version, each log
# as named; a fork ends where its pid's exec begins, an exec at its exit.
# The viewer's own records have none.
check "--lifetimes" "$ESLOGGER:1	became /usr/bin/git after 7.91 ms
$ESLOGGER:2	ran 1.11 s, exit 0
$ESLOGGER:3	became /usr/libexec/git-core/git-gc after 7.91 ms
$ESLOGGER:4	still running at the end of the log
$ESLOGGER:5	still running at the end of the log
$ESLOGGER:6	still running at the end of the log" "$("$INSPECT" --lifetimes "$SAMPLE" "$ESLOGGER")"

# Other rows: kind other, their ppid and summary, among the rows in load order;
# a kind spelt in capitals is no row kind, and its type says so.
check "csv other rows" "kind,type,pid,ppid,summary
other,ES_EVENT_TYPE_NOTIFY_EXIT,401,1,exit 0
other,ES_EVENT_TYPE_NOTIFY_MMAP,401,1,/usr/lib/dyld
other,\"ES_EVENT_TYPE_NOTIFY_OPEN (as \"\"OPEN\"\")\",401,1," \
    "$("$INSPECT" --filter 'pid:401 ppid:1 -path:x' --export csv --fields kind,type,pid,ppid,summary "$ESLOGGER")"

# How each process row's run ended and how its process is signed, as fields
# and filter keys; the viewer's own records have neither, and their events
# of other kinds are other rows without facts.
check "csv outcome and signing" "kind,type,pid,outcome,signing
process,ES_EVENT_TYPE_NOTIFY_FORK,401,became /usr/bin/git,signed
process,ES_EVENT_TYPE_NOTIFY_EXEC,401,exit 0,platform
process,ES_EVENT_TYPE_NOTIFY_FORK,402,became /usr/libexec/git-core/git-gc,platform
process,ES_EVENT_TYPE_NOTIFY_EXEC,402,still running,platform
process,ES_EVENT_TYPE_NOTIFY_EXEC,403,still running,signed
process,ES_EVENT_TYPE_NOTIFY_FORK,404,still running,signed
process,ES_EVENT_TYPE_NOTIFY_EXEC,500,," \
    "$("$INSPECT" --filter '' --export csv --fields kind,type,pid,outcome,signing "$ESLOGGER" |
        grep -E '^(kind|process),')"
check "outcome and signing filters" "pid,outcome
401,exit 0" "$("$INSPECT" --filter 'OUTCOME:EXIT -outcome:"exit 1" signing:PLAT' --export csv --fields pid,outcome "$ESLOGGER")"
check "own records of other kinds" "kind,type,pid,ppid,path,outcome,summary
other,ES_EVENT_TYPE_NOTIFY_EXIT,104,100,/usr/bin/git,," \
    "$("$INSPECT" --filter 'type:exit' --export csv --fields kind,type,pid,ppid,path,outcome,summary "$SAMPLE")"

# --follow: the rows a filter shows of the log, then of every line appended
# while it runs, until SIGINT or SIGTERM, after which it exits with 0. (Lines
# appended in pieces cut anywhere are checked with the loader.)
follow_dir=$work/follow
mkdir "$follow_dir"
wait_for_output() {  # wait_for_output WHAT FILE EXPECTED: until FILE holds EXPECTED (60 s at most)
    for _ in $(seq 600); do
        [ "$(cat "$2")" = "$3" ] && return 0
        sleep 0.1
    done
    check "$1" "$3" "$(cat "$2")"
}
# A log whose index can no longer be written anew as it grows (its cache, a
# small file system of the checks' own where they may mount one, made
# read-only once the first load wrote the index) is followed on without its
# index, which is said once.
mkdir "$work/small"
follows=0
while IFS=';' read -r name signal cache args want_err; do
    eval "set -- $args"
    cache=$(eval "printf '%s' \"$cache\"")
    [ "$cache" = "$XDG_CACHE_HOME" ] || mount -t tmpfs -o size=1m tmpfs "$cache" 2> /dev/null || continue
    followed=$follow_dir/log-$((++follows)).json  # a log of its own: no index of the last case
    sed -n '1,3p' "$SAMPLE" > "$followed"
    XDG_CACHE_HOME=$cache "$INSPECT" --follow "$@" "$followed" > "$follow_dir/out" 2> "$follow_dir/err" &
    follower=$!
    for upto in 3 6 9 12 15; do
        sed -n "1,${upto}p" "$SAMPLE" > "$follow_dir/ref.json"
        wait_for_output "$name: rows of lines 1-$upto" "$follow_dir/out" \
            "$("$INSPECT" --no-index "$@" "$follow_dir/ref.json")"
        if [ "$upto" = 3 ] && [ "$cache" != "$XDG_CACHE_HOME" ]; then
            for _ in $(seq 600); do
                XDG_CACHE_HOME=$cache "$INSPECT" --index-info "$followed" | grep -q "matches the log" && break
                sleep 0.1
            done
            mount -o remount,ro "$cache"
        fi
        sed -n "$((upto + 1)),$((upto + 3))p" "$SAMPLE" >> "$followed"
    done
    kill -"$signal" "$follower"
    wait "$follower"
    check "$name: status after SIG$signal" 0 $?
    check "$name: standard error" "$(eval "printf '%b' \"$want_err\"")" "$(cat "$follow_dir/err")"
    [ "$cache" = "$XDG_CACHE_HOME" ] || umount "$cache"
done <<'CASES'
csv of every row;INT;$XDG_CACHE_HOME;--filter '' --export csv --fields pid,path;
jsonl of a query;TERM;$XDG_CACHE_HOME;--filter 'pid:104';
index not written anew;INT;$work/small;--filter '';korvantis-inspect: Indexing is off for $(realpath "$followed"): its index cannot be written in $work/small/korvantis/index: Read-only file system
CASES

# --follow ends by itself when nothing is left to follow, naming each log it
# does not follow; the rows are written first.
gzip -c "$SAMPLE" > "$follow_dir/s.json.gz"
rows_104=$("$INSPECT" --filter pid:104 "$SAMPLE")
same "--sort from a .gz as from the plain log" <("$INSPECT" --sort -path "$SAMPLE") \
    <("$INSPECT" --sort -path "$follow_dir/s.json.gz")
while IFS=';' read -r name status args rows want_err; do
    eval "set -- $args"
    out=$(timeout 60 "$INSPECT" --follow --filter pid:104 "$@" < "$SAMPLE" 2> "$err_file")
    check "$name: status" "$status" $?
    check "$name: rows" "$([ "$rows" = rows ] && printf '%s' "$rows_104")" "$out"
    check "$name: notices" "$(eval "printf '%b' \"$want_err\"")" "$(cat "$err_file")"
done <<'CASES'
compressed;0;"$follow_dir/s.json.gz";rows;korvantis-inspect: s.json.gz is compressed; it is not followed
standard input;0;-;rows;korvantis-inspect: standard input is read once; it is not followed
not there;1;"$follow_dir/none.json";-;korvantis-inspect: none.json could not be opened; it is not followed\nkorvantis-inspect: cannot open $follow_dir/none.json
CASES
# A followed log that is removed ends the follow too.
sed -n '1,3p' "$SAMPLE" > "$follow_dir/gone.json"
timeout 60 "$INSPECT" --follow --filter '' "$follow_dir/gone.json" > "$follow_dir/out" 2> "$err_file" &
follower=$!
wait_for_output "removed: the rows first" "$follow_dir/out" "$(sed -n '1,3p' "$SAMPLE")"
rm "$follow_dir/gone.json"
wait "$follower"
check "removed: status" 0 $?
check "removed: notice" "korvantis-inspect: gone.json was removed; following stopped at line 3" \
    "$(cat "$err_file")"

# Every human-readable output writes a log's control characters and bidi
# controls as \xNN (the screen is neither cleared nor reordered); CSV and
# JSON lines keep them, quoted by their own rules.
hostile=$work/$'h\e[2J.json'
hostile_shown=$work/'h\x1b[2J.json'
{ printf '%s\n' '{"event":{"fork":{"child":{"audit_token":{"pid":7,"pidversion":1},"ppid":1,"executable":{"path":"/bin/\u001b[2J\u0007\u202e"}}}},"time":"2026-01-05T09:12:00Z","global_seq_num":1,"process":{"audit_token":{"pid":1,"pidversion":1},"ppid":0,"executable":{"path":"/sbin/launchd"}}}'
  printf '%s\n' '{"event":{"exec":{"target":{"audit_token":{"pid":7,"pidversion":2},"ppid":1,"executable":{"path":"/bin/x\u009b"}}}},"time":"2026-01-05T09:12:01Z","global_seq_num":5,"process":{"audit_token":{"pid":7,"pidversion":1},"ppid":1,"executable":{"path":"/bin/sh"}}}'
} > "$hostile"
check "lifetimes escaped" "$hostile_shown:1	became /bin/x\xc2\x9b after 1 s
$hostile_shown:2	still running at the end of the log" "$("$INSPECT" --lifetimes "$hostile")"
check "gaps escaped" "$hostile_shown:2: 3 lost" "$("$INSPECT" --gaps "$hostile")"
contains "summary escaped" '/bin/\x1b[2J\x07\xe2\x80\xae' "$("$INSPECT" --summary "$hostile")"
"$INSPECT" "$work/"$'no\a such.json' > /dev/null 2> "$err_file"
check "notice escaped" "korvantis-inspect: cannot open $work/no\x07 such.json: No such file or directory" "$(cat "$err_file")"
contains "csv exact" $'/bin/x\xc2\x9b' "$("$INSPECT" --filter '' --export csv "$hostile")"

# --session: marks made from a query, read back as fields and filter keys,
# on eslogger and own-format logs in one run; a log changed after marking
# leaves its mark detached (counted on standard error, status as before),
# never on another line. Refused calls write nothing.
marks=$work/marks
mkdir -p "$marks"
cp "$SAMPLE" "$marks/own.json"
cp "$SAMPLES/eslogger.json" "$marks/es.json"
ses=$marks/case.korvantis
mark() { "$INSPECT" --session "$ses" "$@"; }
CMD=(mark)
cases <<'CASES'
no session yet;--export csv "$marks/own.json";1;-;No such file
edit and export;--add-tag a --export csv "$marks/own.json";2;-;go alone
two edits;--add-tag a --remove-tag b "$marks/own.json";2;-;one at a time
bad tag;--add-tag 'a,b' "$marks/own.json";2;-;is not a tag
note over 64 KiB;--set-note "$(head -c 65537 /dev/zero | tr '\0' x)" "$marks/own.json";2;-;at most 64 KiB
empty tag key;--filter 'tag:' --export csv "$marks/own.json";2;-;empty value after tag:
empty note key;--filter '-note:' --export csv "$marks/own.json";2;-;empty value after note:
bad report;--report pdf "$marks/own.json";2;-;--report takes html
tag the execs;--filter 'type:exec' --add-tag Dropper "$marks/own.json" "$marks/es.json";0;-;-
note one pid;--filter 'pid:230' --set-note 'ran "curl", then left' "$marks/own.json";0;-;-
second tag;--filter 'pid:230 type:exec' --add-tag bookmark "$marks/own.json";0;-;-
session's own logs;--filter 'tag:DROPPER' --export csv --fields pid,tags;0;230,"bookmark,dropper";-
own logs, both kinds;--filter 'tag:dropper' --export csv --fields kind,tags;0;process,dropper;-
note field quoted;--filter 'note:CURL' --export csv --fields pid,note;0;230,"ran ""curl"", then left";-
not tagged;--filter '-tag:dropper note:curl' --export csv --fields kind,tags;0;file,;-
remove a tag;--filter 'pid:230' --remove-tag bookmark "$marks/own.json";0;-;-
clear notes;--set-note '' "$marks/own.json";0;-;-
CASES
check "a tag is whole: tag:drop finds nothing" "pid" "$(mark --filter 'tag:drop' --export csv --fields pid)"
check "tag removed" "pid" "$(mark --filter 'tag:bookmark' --export csv --fields pid)"
check "notes cleared" "pid" "$(mark --filter 'note:curl' --export csv --fields pid)"
tagged=$(mark --filter 'tag:dropper' --export csv --fields pid "$marks/es.json" | wc -l)
# A line rewritten in place: its mark is detached, the others stay.
before=$(mark --filter 'tag:dropper' --export csv --fields pid "$marks/own.json" | wc -l)
line=$(grep -n 'EXEC' "$marks/own.json" | head -1 | cut -d: -f1)
sed -i "${line}s/\"pid\":/\"pid\": /" "$marks/own.json"
err=$(mark --filter 'tag:dropper' --export csv --fields pid "$marks/own.json" 2>&1 > "$work/after")
check "changed line: status" 0 $?
contains "changed line: counted" "1 mark no longer matches its line in own.json" "$err"
check "changed line: one fewer" $((before - 1)) "$(wc -l < "$work/after")"
check "other log's marks kept" "$tagged" "$(mark --filter 'tag:dropper' --export csv --fields pid "$marks/es.json" 2>/dev/null | wc -l)"
# A failed save leaves the old file as it was.
cp "$ses" "$work/kept"
"$INSPECT" --session "$marks/no/such/folder.korvantis" --add-tag x "$marks/own.json" 2> "$err_file"
check "failed save: status" 1 $?
contains "failed save: says why" "No such file" "$(cat "$err_file")"
chattr +i "$ses" 2> /dev/null && {
    mark --add-tag x "$marks/own.json" 2> /dev/null
    check "read-only session: status" 1 $?
    chattr -i "$ses"
}
same "failed save: old file intact" "$work/kept" "$ses"
printf '{"format":"korvantis-session","version":9}' > "$marks/new.korvantis"
err=$("$INSPECT" --session "$marks/new.korvantis" --add-tag x "$marks/own.json" 2>&1)
check "newer session: status" 1 $?
contains "newer session: named" "newer version" "$err"
check "newer session: untouched" '{"format":"korvantis-session","version":9}' "$(cat "$marks/new.korvantis")"

# --summary: every type, the busiest programs (a file row's program from its
# pid's latest process row) and file paths, the busiest seconds; counts
# right-aligned per column, a name on its line. (What is counted and ranked
# is checked with the core.)
summary=$work/summary.json
{ yes '{"event":"ES_EVENT_TYPE_NOTIFY_FORK","timestamp":"5","process":{"pid":7,"ppid":1,"path":"/bin/a\tb"}}' | head -n 10
  printf '%s\n' '{"event":"ES_EVENT_TYPE_NOTIFY_OPEN","timestamp":"6.5","process":{"pid":1,"ppid":0,"path":"/x"},"file":{"pid":7,"destination":"/tmp/é"}}'
} > "$summary"
check "--summary" "rows: 11
events per type (events, type):
  10  ES_EVENT_TYPE_NOTIFY_FORK
   1  ES_EVENT_TYPE_NOTIFY_OPEN
programs with most events (events, processes, path):
  11  1  /bin/a\\x09b
most touched file paths (events, path):
  1  /tmp/é
busiest seconds (events, second in UTC):
  10  1970-01-01T00:00:05Z
   1  1970-01-01T00:00:06Z" "$("$INSPECT" --summary "$summary")"

# No load reports success after losing data. Broken lines past the list's
# bound are counted whole; the dump says how many it does not list.
yes x | head -c 8M > "$work/xs.json"
contains "broken lines counted whole" $'load errors: 4194304\n' "$("$INSPECT" "$work/xs.json")"
contains "the dump says how many are not listed" 'more load errors, not listed: too many to keep"],' \
    "$("$INSPECT" --dump "$work/xs.json" | tail -c 300)"
# Standard input that is a file read from further on (a header line taken
# by the shell): rows read again where they are.
tail -n +2 "$SAMPLE" > "$work/rest.json"
same "standard input read from its second line" <("$INSPECT" --filter '' "$work/rest.json") \
    <({ read -r _; "$INSPECT" --filter '' -; } < "$SAMPLE")
# A spool that cannot be made names the folder and why.
mkdir -p "$work/linked"
ln -s "$work" "$work/linked/korvantis"
err=$(XDG_CACHE_HOME=$work/linked "$INSPECT" - < /dev/zero 2>&1 > /dev/null | head -c 400)
contains "a spool folder that is a link" "cannot open -: the cache folder $work/linked/korvantis cannot be used: it is a symbolic link" "$err"
# A larger log: the sample's lines, renumbered, a thousand times over.
big=$work/big.json
for i in $(seq 1000); do sed "s/\"pid\":\([0-9]*\)/\"pid\":$i\1/" "$SAMPLE"; done > "$big"
rows=$("$INSPECT" --filter '' "$big" | wc -l)
# Out of memory, at any limit: the whole answer, or exit 1 and the reason;
# never a crash, never a part as if whole. Where the load runs out depends on
# the build, so the limits step through the whole range. The log is loaded,
# not reopened: a store read from its index needs too little memory to run
# out within these limits. (The sanitizers' runtime reserves more address
# space than any of these limits allows.)
if [ -z "${ASAN_OPTIONS:-}${TSAN_OPTIONS:-}" ]; then
    stopped=0
    out_of_memory=0
    for limit in $(seq 30000 10000 160000); do
        (ulimit -v $limit; "$INSPECT" --no-index --filter '' "$big" 2> "$err_file" > "$work/limited.txt")
        code=$?
        out=$(wc -l < "$work/limited.txt")
        status=$(tail -c 200 "$err_file")
        # (Threads that cannot start under a low limit stop a load as well, or
        # keep it from starting.)
        if [[ "$status" == *"Loading stopped at line "*"; the lines after it are not loaded." ||
              "$status" == "korvantis-inspect: cannot open $big: Resource temporarily unavailable" ]]; then
            stopped=1
            check "under $limit KiB: a stopped load exits 1" 1 $code
            [[ "$status" == *": out of memory; the lines after it are not loaded." ]] && out_of_memory=1
            # What it wrote is what the lines before the stop give, no more,
            # no less.
            if [[ "$status" =~ "Loading stopped at line "([0-9]+) ]]; then
                head -n $((BASH_REMATCH[1] - 1)) "$big" > "$work/before.json"
                same "under $limit KiB: the rows of the lines before the stop" "$work/limited.txt" \
                    <("$INSPECT" --filter '' "$work/before.json")
            fi
        else
            check "under $limit KiB: every row or the reason" "$rows" "$out"
            check "under $limit KiB: nothing on standard error" "" "$status"
        fi
    done
    check "a low limit stops the load with the reason" 1 $stopped
    check "out of memory named" 1 $out_of_memory
fi
if command -v zstd > /dev/null; then
    # A window of 1 GiB (--long=30) is taken; one of 4 GiB, more than any
    # decoder here takes, is named as such.
    same "--dump of a zstd log with a long window" <("$INSPECT" --dump "$big") \
        <(zstd -q --long=30 -c < "$big" | "$INSPECT" --dump -)
    { printf 'x\n' | zstd -q -c; printf '\x28\xb5\x2f\xfd\x00\xb0\x01\x00\x00'; } > "$work/window.zst"
    contains "a window too large is named" '"The compressed log needs a window of 4096 MiB to be decoded, more than the ' \
        "$("$INSPECT" --dump "$work/window.zst")"
fi
# A full disk, on a small file system of the checks' own (where they may
# mount one): a spool that cannot be written stops the load with the
# reason; a block copy that would fill it is dropped, said once, and the
# rows are read again from the log itself.
if mount -t tmpfs -o size=1m tmpfs "$work/small" 2> /dev/null; then
    out=$(XDG_CACHE_HOME=$work/small "$INSPECT" - < <(cat "$big") 2> "$err_file")
    check "a spool on a full disk: status" 1 $?
    contains "a spool on a full disk: why" "could not be written: No space left on device; the lines after it are not loaded." "$(cat "$err_file")"
    if command -v zstd > /dev/null; then
        # Lines that compress badly: a copy of several times the free space.
        head -c 3M /dev/urandom | base64 -w 100 |
            sed 's|.*|{"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"1","process":{"pid":2,"ppid":1,"path":"/bin/&"}}|' \
            > "$work/random.json"
        zstd -q -c "$work/random.json" > "$work/big.zst"
        same "rows of a zstd log without its copy" <("$INSPECT" --filter '' "$work/random.json") \
            <(XDG_CACHE_HOME=$work/small "$INSPECT" --filter '' "$work/big.zst")
        contains "a copy that cannot be kept is said once" \
            "$(printf '%s' "could not be kept (it would leave less than half of the 1 MiB that were free on its disk); its lines are read again by decompressing the log from its start, which is slower.")" \
            "$(XDG_CACHE_HOME=$work/small "$INSPECT" --dump "$work/big.zst")"
        check "no copy left on the small disk" "" "$(ls -A "$work/small/korvantis" | grep -vx index)"
    fi
    umount "$work/small"
else
    echo "no tmpfs could be mounted: the full-disk checks are skipped"
fi
# Detection rules: the report (exit 0, one line a document; a missing PATH
# is among the usage cases), and the rows' rule fields, sorted by level with
# rows without one last both ways.
rules=$work/rules
mkdir -p "$rules/sub"
printf '%s\n' 'title: Shells' 'id: r-sh' 'level: low' \
    'logsource: {product: macos, category: process_creation}' \
    'detection: {s: {Image|endswith: [/zsh, /bash]}, condition: s}' '---' \
    'title: Bash' 'level: high' 'logsource: {product: macos, category: process_creation}' \
    'detection: {s: {Image|endswith: /bash, User: x}, condition: s}' > "$rules/b.yml"
printf 'title: x\n' > "$rules/sub/a.yaml"
printf 'not a rule\n' > "$rules/notes.txt"
check "--rules-report" "$rules/b.yml#1	loaded	Shells
$rules/b.yml#2	loaded	Bash	never present: User
$rules/sub/a.yaml#1	skipped	no logsource mapping" "$("$INSPECT" --rules "$rules" --rules-report)"
ruled=$work/ruled.json
printf '%s\n' '{"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"1","process":{"pid":2,"ppid":1,"path":"/bin/zsh"}}' \
    '{"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"2","process":{"pid":3,"ppid":2,"path":"/bin/ls"}}' \
    '{"event":"ES_EVENT_TYPE_NOTIFY_FORK","timestamp":"3","process":{"pid":4,"ppid":2,"path":"/bin/bash"}}' > "$ruled"
check "rule fields" "pid,rules,rule_ids,level
2,Shells,r-sh,low
3,,,
4,,," "$("$INSPECT" --rules "$rules" --export csv --fields pid,rules,rule_ids,level "$ruled")"
check "sorted by level, empty last" "2,3,4" \
    "$("$INSPECT" --rules "$rules" --export csv --fields pid --sort -level "$ruled" | tail -n +2 | paste -sd,)"
check "level: and rule: keys" "2" \
    "$("$INSPECT" --rules "$rules" --filter 'level:LOW rule:sh' --export csv --fields pid "$ruled" | tail -n +2)"
check "no rules without --rules" "pid,level
2," "$("$INSPECT" --filter 'pid:2' --export csv --fields pid,level "$ruled")"
# What the tree window marks: the nodes whose rows have hits, by their
# lines' places; the tree JSON is the same with rules as without.
check "--tree-marks" '[[0,"low",["Shells"],-1]]' "$("$INSPECT" --rules "$rules" --tree-marks "$ruled")"
check "--tree-marks without rules" '[]' "$("$INSPECT" --tree-marks "$ruled")"
same "--tree with rules" <("$INSPECT" --rules "$rules" --tree "$ruled") <("$INSPECT" --tree "$ruled")

# The index cache: --no-index makes nothing there, not even its folder;
# --index-info names where each log's index would be and refuses what is
# in its place when it is no index, changing nothing (that it takes logs
# only is among the usage cases).
cache=$work/index-cache
mkdir "$cache"
XDG_CACHE_HOME=$cache "$INSPECT" --no-index --dump "$SAMPLE" > /dev/null
check "--no-index: status" 0 $?
check "--no-index: the cache stays empty" "" "$(ls -A "$cache")"
out=$(XDG_CACHE_HOME=$cache "$INSPECT" --index-info "$SAMPLE" "$work/none.json" 2> "$err_file")
check "--index-info, a log missing: status" 1 $?
contains "--index-info: none yet" "$SAMPLE: no index (it would be $cache/korvantis/index/" "$out"
contains "--index-info: the missing log named" "cannot open $work/none.json" "$(cat "$err_file")"
check "--index-info: nothing made" "" "$(ls -A "$cache")"
index_file=$(sed -n 's/.*(it would be \(.*\))$/\1/p' <<< "$out")
mkdir -p "$(dirname "$index_file")"
printf 'not an index' > "$index_file"
check "--index-info: a foreign file" "$SAMPLE: index $index_file, 12 bytes, cannot be used: it is shorter than an index header" \
    "$(XDG_CACHE_HOME=$cache "$INSPECT" --index-info "$SAMPLE")"
check "--index-info: the foreign file left" "not an index" "$(cat "$index_file")"
# A load over it tells why on standard error, loads as without it, and
# indexes the log anew.
out=$(XDG_CACHE_HOME=$cache "$INSPECT" --dump "$SAMPLE" 2> "$err_file")
check "a foreign index: loaded afresh" "$(cat "$dump")" "$out"
check "a foreign index: the notice" \
    "korvantis-inspect: $(basename "$SAMPLE"): its index cannot be used (it is shorter than an index header); it is loaded afresh" \
    "$(cat "$err_file")"
contains "a foreign index: made anew" "matches the log" "$(XDG_CACHE_HOME=$cache "$INSPECT" --index-info "$SAMPLE")"

exit $fail
