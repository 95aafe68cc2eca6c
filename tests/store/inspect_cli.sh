#!/usr/bin/env bash
# Checks korvantis-inspect from the outside: exit statuses, the summary and
# the --dump form over the sample log, --pretty and --tree.
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
