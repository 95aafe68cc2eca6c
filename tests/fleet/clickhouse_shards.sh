# Starts local ClickHouse servers for a test, on 127.0.0.1 only, each with its
# own temporary folder and free ports; sourced by the test scripts. After
# `start_shards N DIR`, SHARD_HTTP[i] is server i's HTTP port, and each
# server knows the cluster `korvantis_shards` of all of them. `stop_shards`
# ends them; the caller's trap at exit calls it. With SHARD_DISK=SIZE, each
# server's data folder is a file system of that size (a tmpfs in a mount
# namespace of the server's own), for a disk that fills up.

SHARD_PIDS=()
SHARD_HTTP=()

free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

stop_shards() {
    for pid in "${SHARD_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${SHARD_PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    SHARD_PIDS=()
}

start_shards() {
    local count=$1 dir=$2 i
    local tcp=()
    for ((i = 0; i < count; i++)); do
        SHARD_HTTP[i]=$(free_port)
        tcp[i]=$(free_port)
    done
    local shards=""
    for ((i = 0; i < count; i++)); do
        shards+="<shard><replica><host>127.0.0.1</host><port>${tcp[i]}</port></replica></shard>"
    done
    for ((i = 0; i < count; i++)); do
        local d="$dir/shard$i"
        mkdir -p "$d/data" "$d/tmp" "$d/log"
        cat >"$d/config.xml" <<XML
<?xml version="1.0"?>
<yandex>
  <logger><level>warning</level><log>$d/log/server.log</log><errorlog>$d/log/error.log</errorlog><console>0</console></logger>
  <listen_host>127.0.0.1</listen_host>
  <http_port>${SHARD_HTTP[i]}</http_port>
  <tcp_port>${tcp[i]}</tcp_port>
  <path>$d/data/</path>
  <tmp_path>$d/tmp/</tmp_path>
  <users_config>$d/users.xml</users_config>
  <default_profile>default</default_profile>
  <default_database>default</default_database>
  <mark_cache_size>67108864</mark_cache_size>
  <max_concurrent_queries>20</max_concurrent_queries>
  <remote_servers><korvantis_shards>$shards</korvantis_shards></remote_servers>
</yandex>
XML
        cat >"$d/users.xml" <<XML
<?xml version="1.0"?>
<yandex>
  <profiles><default><max_memory_usage>2000000000</max_memory_usage></default></profiles>
  <users>
    <default><password></password><networks><ip>127.0.0.1</ip></networks><profile>default</profile><quota>default</quota></default>
    <investigator><password>${SHARD_PASSWORD:-secret}</password><networks><ip>127.0.0.1</ip></networks><profile>default</profile><quota>default</quota></investigator>
  </users>
  <quotas><default></default></quotas>
</yandex>
XML
        if [ -n "${SHARD_DISK:-}" ]; then
            # shellcheck disable=SC2016
            unshare --user --map-root-user --mount sh -c \
                'mount -t tmpfs -o size="$1" tmpfs "$2" && exec clickhouse-server --config-file="$3"' \
                sh "$SHARD_DISK" "$d/data" "$d/config.xml" >"$d/log/stdout" 2>&1 &
        else
            clickhouse-server --config-file="$d/config.xml" >"$d/log/stdout" 2>&1 &
        fi
        SHARD_PIDS+=($!)
    done
    # Ready when each answers its HTTP interface.
    for ((i = 0; i < count; i++)); do
        local tries=0
        until curl -s "http://127.0.0.1:${SHARD_HTTP[i]}/ping" 2>/dev/null | grep -q Ok; do
            tries=$((tries + 1))
            if [ "$tries" -gt 600 ] || ! kill -0 "${SHARD_PIDS[i]}" 2>/dev/null; then
                echo "clickhouse-server $i did not start:" >&2
                cat "$dir/shard$i/log/"* >&2 || true
                return 1
            fi
            sleep 0.1
        done
    done
}

# Runs SQL on server I.
shard_sql() {
    curl -sS --fail-with-body "http://127.0.0.1:${SHARD_HTTP[$1]}/" --data-binary "$2"
}
