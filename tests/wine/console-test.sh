#!/bin/bash
# hlx.exe in a real Wine console, read off the screen as a technician sees it (make test-windows runs it
# in its prefix): `wine cmd` runs in a terminal multiplexer (tmux), hlx.exe is typed at its prompt with the
# console's code page set to 850, and the screen must show
# - the German text as it is ("Prüfe Hex File", never "PrÃ¼fe"): a console gets UTF-16, not bytes;
# - the progress bar of a download on a line of its own, and a gang run's status lines redrawn in place
#   (one line per port on the screen, not one per redraw);
# - no escape sequence as text ("[K", ESC): escapes only where the console interprets them;
# - hlx terminal taking the console's keys one by one: a line typed shows once (its own echo) and goes to
#   the monitor, the answer shows, Ctrl-] leaves with exit 0, and the console reads lines again afterwards.
#   tests/wine/console-test.sh LINUX_BUILD WINDOWS_BUILD
# Needs WINEPREFIX set and its wineserver running. Exits 1 at the first failure, saying what failed.
set -u
linux_build=$1
windows_build=$2
work=$(mktemp -d /tmp/hlx-console-test.XXXXXX)
socket=$work/tmux.socket
monitors=()
links=()
cleanup() {
    tmux -S "$socket" kill-server >/dev/null 2>&1
    for pid in "${monitors[@]}"; do kill "$pid" 2>/dev/null; done
    for link in "${links[@]}"; do rm -f "$link"; done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "console-test: FAILED: $*" >&2
    echo "--- the screen ---" >&2
    screen >&2
    exit 1
}
screen() { tmux -S "$socket" capture-pane -p -S -300 -t console; }
type_line() { tmux -S "$socket" send-keys -t console -l "$1" && tmux -S "$socket" send-keys -t console Enter; }
# Waits up to $2 seconds (default 60) for a line of the screen that matches the pattern $1.
wait_for_line() {
    local tries=$((${2:-60} * 5))
    until screen | grep -q -- "$1"; do
        ((--tries > 0)) || return 1
        sleep 0.2
    done
}
# Runs a command line at the console's prompt and waits until it has returned.
run() {
    local mark="done-$((++marks))"
    type_line "$1 & echo $mark"
    wait_for_line "^$mark\$" 120 || fail "'$1' did not return"
}
marks=0

# 16 KiB of firmware in 16-byte records: enough records for the progress bar to be drawn on its way.
awk 'BEGIN {
    for (address = 0; address < 16384; address += 16) {
        line = sprintf(":10%04X00", address); sum = 16 + int(address / 256) + address % 256
        for (i = 0; i < 16; ++i) { byte = (address + i * 7) % 256; line = line sprintf("%02X", byte); sum += byte }
        printf "%s%02X\n", line, (256 - sum % 256) % 256
    }
    print ":00000001FF"
}' >"$work/firmware.hex"

# Simulated monitors reached from Wine as COM ports: COM41 and COM42 for the downloads, COM43 for the
# terminal (its answer a line no other command shows).
start_monitor() {
    local number=$1
    shift
    "$linux_build/tools/hlx-virtual-monitor" "$@" >"$work/monitor-$number.out" 2>&1 &
    monitors+=($!)
    local tries=100
    until grep -q '^Virtual monitor on ' "$work/monitor-$number.out"; do
        ((--tries > 0)) || fail "hlx-virtual-monitor did not start: $(cat "$work/monitor-$number.out")"
        sleep 0.1
    done
    local link=$WINEPREFIX/dosdevices/com$number
    rm -f "$link"
    ln -s "$(sed -n 's/^Virtual monitor on \([^ ]*\) .*/\1/p' "$work/monitor-$number.out")" "$link"
    links+=("$link")
}
start_monitor 41
start_monitor 42
start_monitor 43 --reply "Antwort von COM43"

hlx=$(winepath -w "$windows_build/cli/hlx.exe")
firmware=$(winepath -w "$work/firmware.hex")
tmux -S "$socket" -f /dev/null new-session -d -s console -x 110 -y 50 "cd '$work' && wine cmd"
wait_for_line '>$' 60 || fail "the Wine console shows no prompt"
run "chcp 850"
run "\"$hlx\" check-hex \"$firmware\""
screen | grep -q 'Prüfe Hex File' || fail "the console does not show 'Prüfe Hex File'"
run "\"$hlx\" flash rtq \"$firmware\" --port 41"
# The bar is cleared before each line the job shows and drawn again below it, so it stands on a line
# of its own, never glued to text.
screen | grep -q '^\[[# ]\{40\}\] *[0-9]\{1,3\}%$' || fail "no progress bar on a line of its own"
screen | grep -v '^\[[# ]\{40\}\] *[0-9]\{1,3\}%$' | grep -q '\[[# ]\{40\}\]' && fail "the progress bar shares a line with text"
run "\"$hlx\" flash rtq \"$firmware\" --port COM41 --port COM42"
for port in COM41 COM42; do
    count=$(screen | grep -c "^$port  \[")
    [ "$count" = 1 ] || fail "$port's status line shows $count times, not once (redrawn in place)"
done
screen | grep -q '^2 of 2 ports without failure$' || fail "the gang run's summary is missing"
screen | grep -q 'Ã\|←\|\[K\|\[[0-9]*F'$'\|\e' && fail "the screen shows mojibake or escape sequences as text"
echo "console-test: German text, the progress bar and a gang run's status lines as they should be in a Wine console (code page 850)"

terminal_started=$(date +%s.%N)
type_line "\"$hlx\" terminal --port 43"
wait_for_line 'Ctrl-] leaves$' 60 || fail "hlx terminal did not start"
type_line "Version?"
wait_for_line '^Antwort von COM43$' 30 || fail "the monitor's answer to a typed line does not show"
[ "$(screen | grep -c '^Version?$')" = 1 ] || fail "the typed line does not show exactly once"
grep -q '^command: Version?$' "$work/monitor-43.out" || fail "the typed line did not reach the monitor"
tmux -S "$socket" send-keys -t console C-]
run "echo terminal-exit=%errorlevel%"
screen | grep -q '^terminal-exit=0$' || fail "Ctrl-] did not leave hlx terminal with exit 0"
echo "console-test: hlx terminal in the console: a typed line, its answer, Ctrl-] leaves with exit 0 ($(awk -v a="$terminal_started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }') s)"
