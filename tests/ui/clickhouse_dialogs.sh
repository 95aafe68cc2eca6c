#!/usr/bin/env bash
# Runs the ClickHouse dialogs' tests against a local server of their own, on
# 127.0.0.1 in a temporary folder, stopped at the end; without
# clickhouse-server installed the tests skip, saying so.
# Usage: clickhouse_dialogs.sh TEST
set -uo pipefail
TEST=$1
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v clickhouse-server >/dev/null; then
    "$TEST"
    exit $?
fi
work=$(mktemp -d)
source "$here/../fleet/clickhouse_shards.sh"
trap 'stop_shards; rm -rf "$work"' EXIT
start_shards 1 "$work" || exit 1
KORVANTIS_TEST_CLICKHOUSE_URL="http://127.0.0.1:${SHARD_HTTP[0]}/" "$TEST"
