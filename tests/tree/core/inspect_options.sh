#!/bin/sh
# korvantis-inspect's --pretty and --tree, checked byte for byte.
# Usage: inspect_options.sh PATH-TO-korvantis-inspect
set -u
inspect=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0

check() {  # name expected-file actual-file
    diff -u "$2" "$3" || { echo "FAIL: $1"; fail=1; }
}

printf '%s\n' '{"timestamp":"t","event":"ES_EVENT_TYPE_NOTIFY_EXEC","process":{"ppid":0,"pid":1,"path":"/bin/ls"},"extra":true}' |
    "$inspect" --pretty > "$dir/pretty.out"
cat > "$dir/pretty.exp" <<'JSON'
{
  "event" : "ES_EVENT_TYPE_NOTIFY_EXEC",
  "extra" : true,
  "process" : {
    "path" : "\/bin\/ls",
    "pid" : 1,
    "ppid" : 0
  },
  "timestamp" : "t"
}
JSON
check "--pretty" "$dir/pretty.exp" "$dir/pretty.out"

printf 'not json' | "$inspect" --pretty > "$dir/bad.out"
printf 'not json\n' > "$dir/bad.exp"
check "--pretty, unparsable" "$dir/bad.exp" "$dir/bad.out"

cat > "$dir/log.json" <<'LOG'
{"event":"ES_EVENT_TYPE_NOTIFY_FORK","timestamp":"t","process":{"pid":5,"ppid":1,"path":"/bin/sh"}}
{"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":{"pid":5,"ppid":1,"path":"/bin/ls"}}
{"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":{"pid":6,"ppid":5,"path":"/usr/bin/cat"}}
{"event":"ES_EVENT_TYPE_NOTIFY_EXEC","timestamp":"t","process":{"pid":7,"ppid":70,"path":"/"}}
LOG
"$inspect" --tree "$dir/log.json" > "$dir/tree.out"
printf '%s\n' '[{"name":"launchd","children":[{"name":"Untracked Heritage","children":[{"name":"\/"}]},{"name":"sh"},{"name":"ls","children":[{"name":"cat"}]}]}]' > "$dir/tree.exp"
check "--tree" "$dir/tree.exp" "$dir/tree.out"

# Two logs load into one store; the second cat finds the newer ls.
"$inspect" --tree "$dir/log.json" "$dir/log.json" > "$dir/tree2.out"
printf '%s\n' '[{"name":"launchd","children":[{"name":"Untracked Heritage","children":[{"name":"\/"},{"name":"\/"}]},{"name":"sh"},{"name":"ls","children":[{"name":"cat"}]},{"name":"sh"},{"name":"ls","children":[{"name":"cat"}]}]}]' > "$dir/tree2.exp"
check "--tree, two logs" "$dir/tree2.exp" "$dir/tree2.out"

exit $fail
