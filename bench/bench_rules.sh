#!/usr/bin/env bash
# Rule benchmark: loads the same eslogger log through korvantis-inspect with
# no rules and with 100 rules of the usual shapes (contains and endswith
# lists, `all`, a regular expression in one rule of ten, parents in one of
# five, `not 1 of filter_*`), RUNS times each, and prints the best wall
# seconds of each, their ratio, the median peak RSS of each and the rows with
# hits. The memory a row with hits costs is taken from a third load, with two
# more rules that every row they are tested on matches (every exec row and
# every created or renamed file): the rule set's own memory is then about the
# same in both, and what the extra rows with hits add is theirs alone. Peak
# RSS wavers by a few MiB from run to run, so the medians are compared, over
# as many extra rows with hits as the log has (a third of an eslogger log).
#
# Usage: bench/bench_rules.sh [LOG]   (BUILD_DIR=build, RUNS=3, LINES=200000)
# Without LOG, one of LINES lines is made with genlog.py --eslogger --rich.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
RUNS=${RUNS:-3}
LINES=${LINES:-200000}
INSPECT="$BUILD_DIR/src/inspect/korvantis-inspect"
GENLOG=${GENLOG:-../../shared/tools/genlog.py}
[ -x "$INSPECT" ] || { echo "missing $INSPECT: build first" >&2; exit 1; }

TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
if [ $# -ge 1 ]; then
    LOG=$1
else
    LOG="$TMP/bench.jsonl"
    python3 "$GENLOG" "$LINES" --eslogger --rich > "$LOG"
fi

python3 - "$TMP/rules" <<'PY'
import os, sys
out = sys.argv[1]
os.makedirs(out)
tools = ["curl", "bash", "zsh", "python3", "osascript", "ssh", "git", "sudo", "node", "make"]
for i in range(100):
    tool = tools[i % len(tools)]
    lines = [f"title: Bench rule {i}", f"id: bench-{i:03d}", "level: " +
             ["informational", "low", "medium", "high", "critical"][i % 5]]
    if i % 5 == 4:
        lines += ["logsource: {product: macos, category: file_event}", "detection:",
                  "  selection:",
                  f"    TargetFilename|endswith: ['.plist{i}', '/LaunchAgents/x{i}', '.db']",
                  f"    TargetFilename|contains: ['/tmp/', '/Library/{i}/']",
                  "  filter_main:", f"    Image|endswith: '/helper{i}'"]
    else:
        lines += ["logsource: {product: macos, category: process_creation}", "detection:",
                  "  selection:",
                  f"    Image|endswith: ['/{tool}', '/{tool}{i}', '/bin/x{i}']"]
        if i % 10 == 3:
            lines += [f"    CommandLine|re: '(?:-e|--eval) .*{i}'"]
        else:
            lines += ["    CommandLine|contains|all: ['-', '" + tool[:2] + "']"]
        lines += ["  filter_signed:", "    signing_id|startswith: 'com.apple.'"]
        if i % 5 == 1:
            lines += ["  filter_parent:", "    ParentImage|endswith: ['/launchd', '/Finder']"]
    lines += ["  condition: selection and not 1 of filter_*"]
    with open(os.path.join(out, f"rule{i:03d}.yml"), "w") as f:
        f.write("\n".join(lines) + "\n")
PY
mkdir "$TMP/rules-every-row"
cp "$TMP"/rules/*.yml "$TMP/rules-every-row/"
# No row has a field `User`, so every row a rule is tested on matches.
for category in process_creation file_event; do
    cat > "$TMP/rules-every-row/every-$category.yml" <<YML
title: Bench rule every $category
id: bench-every-$category
level: informational
logsource: {product: macos, category: $category}
detection:
  selection:
    User: null
  condition: selection
YML
done

hits_of() {
    "$INSPECT" --no-index --rules "$1" --filter 'level:informational' --export csv \
        --fields level "$LOG" | tail -n +2 | wc -l
}

best() {  # prints the best elapsed seconds and the median peak RSS
    local best_s="" rss=()
    for _ in $(seq "$RUNS"); do
        local out s
        out=$("$INSPECT" "$@")
        s=$(sed -n 's/^elapsed seconds: //p' <<<"$out")
        rss+=("$(sed -n 's/^peak RSS MiB: //p' <<<"$out")")
        if [ -z "$best_s" ] || awk "BEGIN{exit !($s < $best_s)}"; then
            best_s=$s
        fi
    done
    echo "$best_s $(printf '%s\n' "${rss[@]}" | sort -n | awk '{v[NR] = $1}
        END {print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}')"
}
# Both loads read and write no index: the same work but for the rules.
read -r plain plain_rss < <(best --no-index "$LOG")
read -r ruled ruled_rss < <(best --no-index --rules "$TMP/rules" "$LOG")
read -r _ every_rss < <(best --no-index --rules "$TMP/rules-every-row" "$LOG")
hits=$(hits_of "$TMP/rules")
every_hits=$(hits_of "$TMP/rules-every-row")
echo "log: $LOG ($(wc -l < "$LOG") lines), 100 rules, best time and median peak RSS of $RUNS"
echo "without rules: ${plain} s, peak RSS ${plain_rss} MiB"
echo "with rules:    ${ruled} s, peak RSS ${ruled_rss} MiB"
echo "rows with hits: $hits"
awk "BEGIN{printf \"ratio: %.3f (at most 1.15 wanted)\n\", $ruled / $plain}"
echo "with rules every row matches: peak RSS ${every_rss} MiB, rows with hits: $every_hits"
awk "BEGIN{printf \"RSS of the rules, with their hits: %.1f MiB\n\", $ruled_rss - $plain_rss}"
awk "BEGIN{d = $every_hits - $hits; printf \"RSS growth per row with hits: %.1f bytes (over %d more rows with hits; at most 16 wanted)\n\", ($every_rss - $ruled_rss) * 1048576 / (d > 0 ? d : 1), d}"
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
