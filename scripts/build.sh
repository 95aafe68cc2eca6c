#!/usr/bin/env bash
# Configures and builds into ${BUILD_DIR:-build}, through ccache when it is
# installed.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} \
    "${launcher[@]}" "$@"
cmake --build "$BUILD_DIR" -j"$(nproc)"
