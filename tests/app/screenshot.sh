#!/bin/sh
# Takes a picture of the main window for a look at its layout:
#   tests/app/screenshot.sh [BUILD_DIR] [OUT.png]
# It runs the screenshot helper (built with the GUI tests) on a virtual X display, so it works on a
# machine without a screen. Needs xvfb-run (Debian package xvfb).
set -eu
build=${1:-build-gui}
out=${2:-$build/window.png}
helper="$build/tests/app/gui/main_window_screenshot"
if [ ! -x "$helper" ]; then
    echo "screenshot.sh: $helper is missing; build the target main_window_screenshot first" >&2
    exit 1
fi
if ! command -v xvfb-run >/dev/null 2>&1; then
    echo "screenshot.sh: xvfb-run is missing (apt-get install xvfb)" >&2
    exit 1
fi
xvfb-run -a -s "-screen 0 1024x900x24" "$helper" "$out" 2
echo "$out"
