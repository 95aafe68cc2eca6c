#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test:
#   1. the suite built with AddressSanitizer, UndefinedBehaviorSanitizer and
#      LeakSanitizer (build-asan);
#   2. a smoke run of every fuzz target, about a minute in all (build-fuzz);
#   3. the suite of the normal build (build), last, so that its summary is the
#      last thing printed.
# Exits non-zero when any of them fails.
# SKIP_SANITIZERS=1 and SKIP_FUZZ=1 leave out 1 and 2 (quick local runs only);
# BUILD_DIR, ASAN_BUILD_DIR and FUZZ_BUILD_DIR choose other build folders.
set -euo pipefail
cd "$(dirname "$0")/.."
MAIN_DIR=${BUILD_DIR:-build}
ASAN_DIR=${ASAN_BUILD_DIR:-build-asan}
FUZZ_DIR=${FUZZ_BUILD_DIR:-build-fuzz}
scripts/deps.sh
export QT_QPA_PLATFORM=offscreen
failed=()

if [ "${SKIP_SANITIZERS:-0}" != 1 ]; then
    echo "== sanitizer build"
    BUILD_DIR=$ASAN_DIR scripts/build.sh -DKORVANTIS_SANITIZE=ON -DKORVANTIS_BUILD_BENCH=OFF
    export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export KORVANTIS_HOSTILE_SMALL=1
    strict=detect_leaks=1:check_initialization_order=1
    webengine='^(korvantis_app_test|tree_web_view_test)$'
    if ! ASAN_OPTIONS=$strict ctest --test-dir "$ASAN_DIR" --output-on-failure -j"$(nproc)" \
        -E "$webengine"; then
        failed+=("sanitizer suite")
    fi
    # The QtWebEngine tests run on their own: the Chromium inside the
    # (uninstrumented) QtWebEngine library frees some objects through a base
    # pointer of another size, which AddressSanitizer's sized-delete check
    # reports against Chromium's code, not ours.
    if ! ASAN_OPTIONS=$strict:new_delete_type_mismatch=0 \
        ctest --test-dir "$ASAN_DIR" --output-on-failure -j"$(nproc)" -R "$webengine"; then
        failed+=("sanitizer suite (QtWebEngine)")
    fi
    unset LSAN_OPTIONS UBSAN_OPTIONS KORVANTIS_HOSTILE_SMALL
fi

if [ "${SKIP_FUZZ:-0}" != 1 ]; then
    echo "== fuzz smoke test"
    if ! BUILD_DIR=$FUZZ_DIR JOBS="$(nproc)" scripts/fuzz.sh 12; then
        failed+=("fuzz smoke test")
    fi
fi

echo "== main build"
BUILD_DIR=$MAIN_DIR scripts/build.sh
if [ ${#failed[@]} -gt 0 ]; then
    echo "FAILED before the main suite: ${failed[*]}"
fi
status=0
ctest --test-dir "$MAIN_DIR" --output-on-failure -j"$(nproc)" || status=$?
[ ${#failed[@]} -eq 0 ] || status=1
exit $status
