#!/usr/bin/env bash
# Builds and runs the tests.
#
#   scripts/test.sh --quick   the everyday loop: an incremental build into
#                             build/ with the benchmarks off, then the unit and
#                             ui tests (a minute or two after a small change)
#   scripts/test.sh           what CI runs; installs what is missing, then:
#     1. the core built with AddressSanitizer, UndefinedBehaviorSanitizer and
#        LeakSanitizer (build-asan): unit and slow tests, the largest hostile
#        logs scaled down tenfold;
#     2. a smoke run of every fuzz target, 8 s each (build-fuzz);
#     3. the core built with ThreadSanitizer (build-tsan): the unit tests, a
#        data race fails the run;
#     4. the normal build with the benchmarks (build): the desktop entry and
#        the AppStream metainfo checked by their validators, then every test,
#        last, so that its summary is the last thing printed.
# The sanitizer builds leave the Qt half out: compiling it twice more would
# cost most of the run, and its tests (ui, webengine) run in the normal build.
# Every build of the full run is a unity build (a few sources compiled as
# one), which compiles in about two thirds of the time; --quick turns it off
# again in build/, so that a change recompiles only its own files.
# Exits non-zero when anything fails.
#
# SKIP_SANITIZERS=1, SKIP_FUZZ=1 and SKIP_TSAN=1 leave out stages 1, 2 and 3;
# BUILD_DIR, ASAN_BUILD_DIR, FUZZ_BUILD_DIR and TSAN_BUILD_DIR choose other
# build folders.
set -euo pipefail
cd "$(dirname "$0")/.."
MAIN_DIR=${BUILD_DIR:-build}
ASAN_DIR=${ASAN_BUILD_DIR:-build-asan}
FUZZ_DIR=${FUZZ_BUILD_DIR:-build-fuzz}
TSAN_DIR=${TSAN_BUILD_DIR:-build-tsan}
JOBS=$(nproc)
export QT_QPA_PLATFORM=offscreen

# Every test carries exactly one of the four labels (tests/CMakeLists.txt).
check_labels() {
    local total sum=0 label
    total=$(ctest --test-dir "$1" -N | sed -n 's/^Total Tests: //p')
    for label in unit ui webengine slow; do
        sum=$((sum + $(ctest --test-dir "$1" -N -L "^$label\$" | sed -n 's/^Total Tests: //p')))
    done
    if [ "$sum" -ne "$total" ]; then
        echo "$1: $total tests, $sum labels: give each test one of unit, ui, webengine, slow" >&2
        return 1
    fi
}

if [ "${1:-}" = --quick ]; then
    # The same folder as the full run, which turns the benchmarks and the
    # unity build on; configured again only when that has happened.
    if grep -qs '^KORVANTIS_BUILD_BENCH:BOOL=OFF$' "$MAIN_DIR/CMakeCache.txt" &&
        ! grep -qs '^CMAKE_UNITY_BUILD:BOOL=ON$' "$MAIN_DIR/CMakeCache.txt"; then
        cmake --build "$MAIN_DIR" -j"$JOBS"
    else
        BUILD_DIR=$MAIN_DIR scripts/build.sh -DKORVANTIS_BUILD_BENCH=OFF -DCMAKE_UNITY_BUILD=OFF
    fi
    check_labels "$MAIN_DIR"
    exec ctest --test-dir "$MAIN_DIR" -L '^(unit|ui)$' --output-on-failure -j"$JOBS"
elif [ $# -gt 0 ]; then
    echo "usage: $0 [--quick]" >&2
    exit 2
fi

scripts/deps.sh
failed=()
times=()
stage_start() {
    echo "== $1"
    SECONDS=0
}
stage_end() {
    times+=("$(printf '%-22s %4d s' "$1" "$SECONDS")")
}

if [ "${SKIP_SANITIZERS:-0}" != 1 ]; then
    stage_start "sanitizer build"
    BUILD_DIR=$ASAN_DIR scripts/build.sh -DKORVANTIS_SANITIZE=ON -DKORVANTIS_BUILD_UI=OFF \
        -DKORVANTIS_BUILD_BENCH=OFF -DCMAKE_UNITY_BUILD=ON
    check_labels "$ASAN_DIR" || failed+=("labels")
    if ! LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1 KORVANTIS_HOSTILE_SMALL=1 \
        ctest --test-dir "$ASAN_DIR" --output-on-failure -j"$JOBS"; then
        failed+=("sanitizer suite")
    fi
    stage_end "sanitizers"
fi

if [ "${SKIP_FUZZ:-0}" != 1 ]; then
    stage_start "fuzz smoke test"
    if ! BUILD_DIR=$FUZZ_DIR JOBS=$JOBS scripts/fuzz.sh 8; then
        failed+=("fuzz smoke test")
    fi
    stage_end "fuzz"
fi

# The tests that run korvantis-inspect as a child process for every check
# take a third of the ThreadSanitizer stage; the loader's threads they run are
# the ones the in-process load and index tests run under it already, and the
# sanitizer build runs them whole.
TSAN_SKIP='^(inspect_cli|IndexReopen\..*)$'
if [ "${SKIP_TSAN:-0}" != 1 ]; then
    stage_start "ThreadSanitizer build"
    BUILD_DIR=$TSAN_DIR scripts/build.sh -DKORVANTIS_TSAN=ON -DKORVANTIS_BUILD_UI=OFF \
        -DKORVANTIS_BUILD_BENCH=OFF -DCMAKE_UNITY_BUILD=ON
    if ! TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
        ctest --test-dir "$TSAN_DIR" -L '^unit$' -E "$TSAN_SKIP" --output-on-failure -j"$JOBS"; then
        failed+=("ThreadSanitizer suite")
    fi
    stage_end "ThreadSanitizer"
fi

stage_start "main build"
BUILD_DIR=$MAIN_DIR scripts/build.sh -DKORVANTIS_BUILD_BENCH=ON -DCMAKE_UNITY_BUILD=ON
check_labels "$MAIN_DIR" || failed+=("labels")
# What the package installs for the desktop, as the build made it.
desktop-file-validate resources/korvantis.desktop || failed+=("desktop entry")
appstreamcli validate --no-net "$MAIN_DIR"/org.korvantis.Korvantis.metainfo.xml ||
    failed+=("AppStream metainfo")
status=0
ctest --test-dir "$MAIN_DIR" --output-on-failure -j"$JOBS" || status=$?
stage_end "main"
printf '%s\n' "${times[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "FAILED: ${failed[*]}"
    status=1
fi
exit $status
