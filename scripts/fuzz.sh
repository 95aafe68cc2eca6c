#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each for a while.
#
#   scripts/fuzz.sh SECONDS [TARGET...]
#
# TARGET is one of decode_line pretty_json tree_url stream_reader whole_load
# filter_query rule_loading session_file index_file
# (all of them by default). Prints executions, coverage and crashes per target
# and exits non-zero when any target crashed. The corpus of each target grows
# in $BUILD_DIR/corpus/TARGET across runs, seeded from samples/ and fuzz/seeds/;
# crashing inputs land in $BUILD_DIR/crashes/TARGET/.
#
# Environment: BUILD_DIR (default build-fuzz), JOBS (build jobs, default 2),
# CXX (default clang++-14).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
    echo "usage: $0 SECONDS [TARGET...]" >&2
    exit 2
fi
SECONDS_PER_TARGET=$1
shift
ALL_TARGETS=(decode_line pretty_json tree_url stream_reader whole_load filter_query rule_loading session_file index_file)
TARGETS=("$@")
[ ${#TARGETS[@]} -eq 0 ] && TARGETS=("${ALL_TARGETS[@]}")
for t in "${TARGETS[@]}"; do
    [[ " ${ALL_TARGETS[*]} " == *" $t "* ]] || { echo "unknown target: $t" >&2; exit 2; }
done

BUILD_DIR=${BUILD_DIR:-build-fuzz}
JOBS=${JOBS:-2}
CXX=${CXX:-clang++-14}
CC=${CC:-clang-14}

if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
    launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    # A unity build: it compiles in about two thirds of the time.
    CC=$CC CXX=$CXX cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        "${launcher[@]}" -DCMAKE_UNITY_BUILD=ON -DKORVANTIS_FUZZ=ON -DKORVANTIS_BUILD_UI=OFF \
        -DKORVANTIS_BUILD_TESTS=OFF -DKORVANTIS_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$BUILD_DIR" -j"$JOBS" --target "${TARGETS[@]/#/fuzz_}"

# Seeds: whole sample logs, their first lines one per file, the hand-written
# edge cases, and a few tree URLs.
seed() {
    local target=$1 dir=$2
    mkdir -p "$dir"
    local logs=(samples/*.json samples/*.txt fuzz/seeds/*.txt)
    local n=0 log prefix line text
    case $target in
        decode_line | pretty_json)
            for log in "${logs[@]}"; do
                [ -f "$log" ] || continue
                while IFS= read -r line && [ $n -lt 400 ]; do
                    printf '%s' "$line" >"$dir/seed-line-$n"
                    n=$((n + 1))
                done < <(head -n 100 "$log")
            done
            ;;
        tree_url)
            for text in '[{"name":"launchd","children":[{"name":"Untracked Heritage"}]}]' \
                '[{"name":"launchd","children":[{"name":"Untracked Heritage"},{"name":"zsh","children":[{"name":"\/"}]}]}]' \
                '' 'é' 'ab'; do
                printf 'KorvantisTree://%s' "$(printf '%s' "$text" | base64 -w0)" >"$dir/seed-url-$n"
                n=$((n + 1))
            done
            printf 'KorvantisTree://KorvantisTree://e30=' >"$dir/seed-url-twice"
            printf 'KorvantisTree://e30' >"$dir/seed-url-unpadded"
            ;;
        stream_reader)
            # Three leading bytes choose the chunk size and the delimiter.
            for log in "${logs[@]}"; do
                [ -f "$log" ] || continue
                for prefix in '\001\000\000' '\017\000\000' '\377\377\003'; do
                    { printf "$prefix"; head -c 3000 "$log"; } >"$dir/seed-read-$n"
                    n=$((n + 1))
                done
            done
            ;;
        whole_load)
            for log in "${logs[@]}"; do
                [ -f "$log" ] || continue
                head -c 12000 "$log" >"$dir/seed-log-$n"
                n=$((n + 1))
            done
            ;;
        filter_query)
            # A query, a line feed, then a line of a log.
            for text in 'path:"Application Support" -type:exec' 'tree:1 pid:-5 ppid:9' \
                'json:signing_id C:foo "-x" -' 'path:\303\234N\303\217CODE' '"unclosed'; do
                line=$(sed -n "$((n % 27 + 1))p" samples/sample.json)
                printf "$text"'\n%s' "$line" >"$dir/seed-query-$n"
                n=$((n + 1))
            done
            ;;
        index_file)
            # The low bit of the first byte asks for the checksums put right.
            for index in fuzz/seeds/*.index; do
                printf '\001' | cat - "$index" >"$dir/seed-index-$n"
                n=$((n + 1))
            done
            ;;
        rule_loading)
            for rule in resources/rules/*.yml tests/rules/seeds/*.yml; do
                [ -f "$rule" ] || continue
                cp "$rule" "$dir/seed-rule-$n"
                n=$((n + 1))
            done
            ;;
    esac
}

declare -A MAX_LEN=([decode_line]=4096 [pretty_json]=4096 [tree_url]=4096
    [stream_reader]=8192 [whole_load]=16384 [filter_query]=1024 [rule_loading]=8192 [session_file]=8192
    [index_file]=16384)
SUMMARY=()
FAILED=0
for t in "${TARGETS[@]}"; do
    corpus="$BUILD_DIR/corpus/$t"
    crashes="$BUILD_DIR/crashes/$t"
    log="$BUILD_DIR/fuzz-$t.log"
    mkdir -p "$corpus" "$crashes"
    if [ -z "$(ls -A "$corpus")" ]; then
        seed "$t" "$corpus"
    fi
    before=$(find "$crashes" -type f | wc -l)
    echo "== fuzz_$t for ${SECONDS_PER_TARGET}s"
    set +e
    "$BUILD_DIR/fuzz/fuzz_$t" "$corpus" -dict=fuzz/json.dict -max_len="${MAX_LEN[$t]}" \
        -max_total_time="$SECONDS_PER_TARGET" -timeout=30 -rss_limit_mb=2560 \
        -print_final_stats=1 -artifact_prefix="$crashes/" >"$log" 2>&1
    rc=$?
    set -e
    after=$(find "$crashes" -type f | wc -l)
    found=$((after - before))
    execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -n 1 || true)
    stats=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -n 1 || true)
    cov=$(grep -o 'cov: [0-9]*' <<<"$stats" | grep -o '[0-9]*' || true)
    ft=$(grep -o 'ft: [0-9]*' <<<"$stats" | grep -o '[0-9]*' || true)
    corp=$(grep -o 'corp: [0-9]*' <<<"$stats" | grep -o '[0-9]*' || true)
    if [ $rc -ne 0 ] || [ "$found" -gt 0 ]; then
        FAILED=1
        [ "$found" -eq 0 ] && found=1
        echo "fuzz_$t failed (exit $rc); see $log"
        grep -E 'ERROR|check failed|SUMMARY|Test unit written' "$log" | head -n 10 || true
    fi
    SUMMARY+=("$(printf '%-14s %12s %8s %8s %8s %8s' "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" \
        "${corp:-?}" "$found")")
done

printf '%-14s %12s %8s %8s %8s %8s\n' target executions cov ft corpus crashes
printf '%s\n' "${SUMMARY[@]}"
exit $FAILED
