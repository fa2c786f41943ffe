#!/bin/sh
# Takes pictures of the OSD menu preview window for a look at its layout:
#   tests/preview/screenshot.sh [BUILD_DIR] [OUTDIR]
# It runs the screenshot helper (built with the preview's GUI tests) on a virtual X display, so it works
# on a machine without a screen. Needs xvfb-run (Debian package xvfb).
set -eu
build=${1:-build-gui}
out=${2:-$build/preview-screens}
helper="$build/tests/preview/gui/osd_preview_window_screenshot"
if [ ! -x "$helper" ]; then
    echo "screenshot.sh: $helper is missing; build the target osd_preview_window_screenshot first" >&2
    exit 1
fi
if ! command -v xvfb-run >/dev/null 2>&1; then
    echo "screenshot.sh: xvfb-run is missing (apt-get install xvfb)" >&2
    exit 1
fi
xvfb-run -a -s "-screen 0 1600x1000x24" "$helper" "$out" 1
