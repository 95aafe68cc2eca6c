#!/usr/bin/env bash
# Builds the Release program into build-package/ and makes the Debian package
# build/korvantis_VERSION_ARCH.deb from it with CPack, checked by lintian. Not
# part of the tests.
#
#   scripts/package.sh
#   sudo apt-get install ./build/korvantis_*.deb
#
# Environment: PACKAGE_BUILD_DIR (default build-package), JOBS (default: the
# number of cores).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
PACKAGE_DIR=${PACKAGE_BUILD_DIR:-build-package}
JOBS=${JOBS:-$(nproc)}
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$PACKAGE_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
    -DKORVANTIS_BUILD_TESTS=OFF -DKORVANTIS_BUILD_BENCH=OFF -DKORVANTIS_BUILD_UI=ON
cmake --build "$PACKAGE_DIR" -j"$JOBS"
rm -f "$PACKAGE_DIR"/korvantis_*.deb
(cd "$PACKAGE_DIR" && cpack -G DEB)
mkdir -p build
for deb in "$PACKAGE_DIR"/korvantis_*.deb; do
    cp "$deb" build/
    echo "build/$(basename "$deb")"
    # Debian's checks of a package: any warning or error fails the build
    # (a tag that is right for this package is overridden, with its reason,
    # in packaging/lintian-overrides).
    lintian --fail-on error,warning "build/$(basename "$deb")"
done
