#!/usr/bin/env bash
# Checks the viewer's command line from the outside: --help and --version
# answer on standard output without a display, bad usage answers on standard
# error with status 2. Qt is pointed at a display that does not exist, so a
# case that reached QApplication would fail instead of opening a window.
# Usage: viewer_cli.sh KORVANTIS VERSION
set -uo pipefail
VIEWER=$1
VERSION=$2
export QT_QPA_PLATFORM=xcb DISPLAY=:99999 WAYLAND_DISPLAY=
fail=0
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

# case: name | arguments | status | standard output holds | standard error holds
# ("-" for a stream that must stay empty)
while IFS='|' read -r name args status want_out want_err; do
    eval "set -- $args"
    "$VIEWER" "$@" > "$out" 2> "$err"
    rc=$?
    [ "$rc" = "$status" ] || { echo "FAIL: $name: status $rc, expected $status"; fail=1; }
    for stream in out err; do
        want=want_$stream
        file=${!stream}
        if [ "${!want}" = "-" ]; then
            [ -s "$file" ] && { echo "FAIL: $name: std$stream not empty: $(head -c 200 "$file")"; fail=1; }
        elif ! grep -qF -- "${!want}" "$file"; then
            echo "FAIL: $name: std$stream lacks [${!want}]: $(head -c 300 "$file")"
            fail=1
        fi
    done
done <<CASES
help|--help|0|usage: korvantis [OPTION...]|-
help, short|-h|0|--version|-
help lists LOG|--help|0|  LOG |-
help after a log and a Qt option|trace.json -style fusion --help|0|usage: korvantis|-
version|--version|0|korvantis $VERSION|-
version after Qt options|-platform offscreen -reverse --version|0|korvantis $VERSION|-
unknown option|--no-such-option|2|-|unknown option --no-such-option
unknown option, usage on stderr|--no-such-option|2|-|usage: korvantis
unknown option after a log|trace.json -x|2|-|unknown option -x
Qt option without its value|--version -platform|2|-|-platform needs a value
CASES

# The version is the whole first line.
[ "$("$VIEWER" --version)" = "korvantis $VERSION" ] || { echo "FAIL: version line"; fail=1; }
exit $fail
