#!/usr/bin/env bash
# Installs what is missing, builds, and starts the viewer on the logs named:
#   scripts/run.sh [LOG...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found (neither DISPLAY nor WAYLAND_DISPLAY is set): the viewer needs a desktop session." >&2
    echo "Run it from a desktop terminal, or under a virtual display: xvfb-run -a build/src/app/korvantis" >&2
    exit 1
fi
# Chromium, inside the tree window, refuses to run its sandbox as root.
if [ "$(id -u)" -eq 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
exec build/src/app/korvantis "$@"
