#!/bin/sh
# make test-windows: the Windows build under Wine. Runs the core's suites and the tests of the Windows
# parts (build-windows, each suite one Windows process), then hlx.exe end to end against the simulators of
# the Linux build (tests/wine): the downloads, the file sender, the HEX check, Ctrl-C and a port in use;
# then the installer's round trip (tests/wine/msi-round-trip.sh: msiexec /i, hlx on the PATH of a new
# shell, msiexec /x leaves nothing) and hlx.exe in a real Wine console read off the screen
# (tests/wine/console-test.sh: German text, the progress bar, a gang run's status lines).
#
#   scripts/test-windows.sh [LINUX_BUILD] [WINDOWS_BUILD]      (defaults: build, build-windows)
#
# Headless and unattended, also as root on a fresh machine: a Wine prefix of its own inside the Windows
# build folder, made afresh for every run (nothing carries over between runs), no debug output, no
# prompts to install Mono or Gecko, no display. One persistent wineserver serves the whole run, so each
# program starts in well under a second; its log (Wine's serial emulation writes there) is kept in the
# build folder.
set -eu

linux_build=${1:-build}
windows_build=${2:-build-windows}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
windows_build=$(cd "$windows_build" && pwd)
linux_build=$(cd "$linux_build" && pwd)

export WINEPREFIX="$windows_build/wine-prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }

stop_wine() { wineserver -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT INT TERM

started=$(now)
stop_wine
rm -rf "$WINEPREFIX"
# The server first, so that the services wineboot starts hold /dev/null rather than a caller's pipe.
wineserver -p </dev/null >/dev/null 2>"$windows_build/wineserver.log" &
wine wineboot --init </dev/null >/dev/null 2>&1
prefix_ready=$(now)
echo "test-windows: Wine prefix made in $(seconds "$started" "$prefix_ready") s ($WINEPREFIX)"

status=0
(cd "$windows_build" && ctest --output-on-failure) || status=1
suites_done=$(now)
echo "test-windows: Windows suites under Wine in $(seconds "$prefix_ready" "$suites_done") s"

HLX_WINDOWS_BUILD="$windows_build" "$linux_build/tests/wine/wine_tests" --gtest_brief=1 || status=1
end_to_end_done=$(now)
echo "test-windows: hlx.exe end to end in $(seconds "$suites_done" "$end_to_end_done") s"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$windows_build/CMakeCache.txt")
tests/wine/msi-round-trip.sh "$windows_build" "$version" || status=1
installer_done=$(now)
echo "test-windows: the installer's round trip in $(seconds "$end_to_end_done" "$installer_done") s"

tests/wine/console-test.sh "$linux_build" "$windows_build" || status=1
finished=$(now)
echo "test-windows: hlx.exe in a Wine console in $(seconds "$installer_done" "$finished") s; all of test-windows $(seconds "$started" "$finished") s"
exit $status
