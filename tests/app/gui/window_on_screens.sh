#!/bin/sh
# The window started on X screens of several sizes and scales (Xvfb): each time it must open inside the
# screen with its status bar in view (the screenshot helper checks and exits 3 otherwise).
#   window_on_screens.sh HELPER
# Exit 77 (skipped) when xvfb-run is not installed.
set -eu
helper=${1:?usage: $0 HELPER}
command -v xvfb-run >/dev/null 2>&1 || { echo "xvfb-run is missing: skipped"; exit 77; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for screen in "1920x1080 1" "1920x1080 1.5" "1366x768 1.25" "1024x600 1"; do
    set -- $screen
    echo "screen $1 at scale $2:"
    QT_SCALE_FACTOR=$2 xvfb-run -a -s "-screen 0 ${1}x24" "$helper" "$out/window.png" 1
done
