#!/bin/sh
# Takes pictures of the main window for a look at its layout:
#   tests/app/screenshot.sh [BUILD_DIR] [OUT.png]
# OUT.png shows the window at 100 % on a 1920 x 1080 screen, OUT-150.png at 150 % on the same screen (the
# desktop's scaling, as Qt takes it from QT_SCALE_FACTOR), both after an "Update (RTQ)" that failed, so the
# status bar shows its outcome. It runs the screenshot helper (built with the GUI tests) on a virtual X
# display, so it works on a machine without a screen. Needs xvfb-run (Debian package xvfb).
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
scaled="${out%.png}-150.png"
xvfb-run -a -s "-screen 0 1920x1080x24" "$helper" "$out" 2 --failed-job
QT_SCALE_FACTOR=1.5 xvfb-run -a -s "-screen 0 1920x1080x24" "$helper" "$scaled" 2 --failed-job
echo "$out"
echo "$scaled"
