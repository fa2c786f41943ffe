#!/bin/bash
# Starts the installed programs below ROOT as a technician would, with nothing else of the project in
# reach (check-package.sh runs this where the source and build trees are hidden):
#   start-programs.sh ROOT VERSION
# - hlx --version names VERSION;
# - hlx-virtual-monitor starts on a pseudo-terminal, hlx flash rtq downloads a small firmware into it,
#   and the image it received has the same SHA-256 as the file (hlx hex-info); SIGTERM stops it;
# - hlx-service-tool opens its window (offscreen) and closes on SIGTERM as its close button does: it
#   says so, exits with 0 and has saved its settings.
# Exits with 1 at the first failure, saying what failed.
set -u
root=$1
version=$2
bin=$root/usr/bin
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
export HOME=$work/home XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$XDG_CONFIG_HOME"

fail() {
    echo "start-programs: FAILED: $*" >&2
    exit 1
}

# Waits up to 20 s for the shell condition $1, rechecking every 0.1 s.
wait_for() {
    local tries=200
    until eval "$1"; do
        ((--tries > 0)) || return 1
        sleep 0.1
    done
}

# Whether process $1 still runs (a zombie has ended, it only waits to be reaped).
running() {
    local state
    state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null)
    [ -n "$state" ] && [ "$state" != Z ]
}

# Ends process $1 with SIGTERM and gives its exit code (or fails after 20 s).
stop_with_sigterm() {
    kill -TERM "$1"
    wait_for "! running $1" || { kill -KILL "$1"; fail "process $1 did not end on SIGTERM"; }
    wait "$1"
}

out=$("$bin/hlx" --version) || fail "hlx --version exited with $?"
[ "$out" = "hlx $version" ] || fail "hlx --version says '$out', not 'hlx $version'"
echo "start-programs: $out"

# A small firmware: two data records.
printf '%s\n' ':10000000000102030405060708090A0B0C0D0E0F78' ':10001000101112131415161718191A1B1C1D1E1F68' \
    ':00000001FF' >firmware.hex
"$bin/hlx-virtual-monitor" --image-out received.hex >monitor.out 2>&1 &
monitor=$!
wait_for "grep -q '^Virtual monitor on ' monitor.out" || fail "hlx-virtual-monitor did not start: $(cat monitor.out)"
pty=$(sed -n 's/^Virtual monitor on \([^ ]*\) .*/\1/p' monitor.out)
"$bin/hlx" flash rtq firmware.hex --port "$pty" >flash.out 2>&1 || fail "hlx flash rtq exited with $?: $(cat flash.out)"
wait_for "grep -q 'written to received.hex' monitor.out" || fail "the monitor wrote no image: $(cat monitor.out)"
sent=$("$bin/hlx" hex-info firmware.hex | grep 'SHA-256')
got=$("$bin/hlx" hex-info received.hex | grep 'SHA-256')
[ -n "$sent" ] && [ "$sent" = "$got" ] || fail "the monitor received another image ($got) than was sent ($sent)"
stop_with_sigterm $monitor
code=$?
[ $code = 0 ] && grep -q '^SIGTERM: stopping' monitor.out || fail "hlx-virtual-monitor ended with $code: $(cat monitor.out)"
echo "start-programs: hlx flash rtq into hlx-virtual-monitor on $pty: image received whole"

# The window. It is open once the program's main thread waits in its event loop: it sleeps in poll(2)
# (the kernel names the wait, or gives the system call's number: 7 poll, 271 ppoll on x86-64) with
# SIGTERM blocked (SigBlk), so the signal then reaches the window. The shell's child that is about to
# become the program may block signals for a moment of its own, so the program must be running first.
"$bin/hlx-service-tool" >window.out 2>&1 &
window=$!
window_open() {
    local mask wchan call
    [ "$(readlink "/proc/$window/exe")" = "$(readlink -f "$bin/hlx-service-tool")" ] || return 1
    mask=$(awk '/^SigBlk:/ { print $2 }' "/proc/$window/status" 2>/dev/null)
    [ -n "$mask" ] && (((0x$mask >> 14) & 1)) || return 1
    wchan=$(cat "/proc/$window/wchan" 2>/dev/null)
    call=$(cut -d' ' -f1 "/proc/$window/syscall" 2>/dev/null)
    [[ $wchan == *poll* || $call == 7 || $call == 271 ]]
}
wait_for window_open || fail "hlx-service-tool did not open its window: $(cat window.out)"
stop_with_sigterm $window
code=$?
[ $code = 0 ] || fail "hlx-service-tool ended with $code: $(cat window.out)"
grep -q 'SIGTERM: closing the window' window.out || fail "hlx-service-tool did not close its window: $(cat window.out)"
[ -s "$XDG_CONFIG_HOME/QUENDAL/RTQ1.0.reg" ] || fail "hlx-service-tool saved no settings: $(cat window.out)"
echo "start-programs: hlx-service-tool opened its window offscreen and closed it on SIGTERM"
