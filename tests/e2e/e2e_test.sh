#!/usr/bin/env bash
# Drives the real program on a virtual X display the way a person would:
# types into the boxes, copies each output with Ctrl+C, reads the real
# clipboard, checks the settings file from outside, and starts it again.
set -uo pipefail
program=${1:?usage: e2e_test.sh PROGRAM}

work=$(mktemp -d)
export XDG_CONFIG_HOME=$work/config
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR=$work/runtime
unset WAYLAND_DISPLAY
mkdir -p "$XDG_CONFIG_HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"

passes=0
failures=0
check() { # name actual expected
    if [ "$2" == "$3" ]; then
        echo "ok   $1"
        passes=$((passes + 1))
    else
        echo "FAIL $1: got [$2], expected [$3]"
        failures=$((failures + 1))
    fi
}

display=""
for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { display=":$n"; break; }
done
Xvfb "$display" -screen 0 1024x768x24 -dpi 96 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

start_program() {
    "$program" &
    app_pid=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$app_pid" | head -n 1)
    [ -n "$window" ] || { echo "FAIL the window did not appear"; exit 1; }
    xdotool windowfocus --sync "$window"
}

stop_program() {
    kill "$app_pid"
    wait "$app_pid" 2>/dev/null
    app_pid=""
}

press() { xdotool key --delay 30 "$@"; sleep 0.2; }
type_text() { xdotool type --delay 30 -- "$1"; sleep 0.2; }
clipboard() { xclip -selection clipboard -o 2>/dev/null; }
setting() { sed -n "s/^$1=//p" "$XDG_CONFIG_HOME/Lanbridge.ini"; }

# First start: the focus is in the instruction box; Tab reaches the inputs.
start_program
press Tab
type_text "  alice "
press Tab
type_text " 10.0.0.5 "
press Tab
type_text "pass中"

press Tab ctrl+c
check "user name copied" "$(clipboard)" "alice@10.0.0.5"
press Tab ctrl+c
check "password copied" "$(clipboard)" "$(printf 'pass\xd6\xd0' | md5sum | cut -c1-32)"
press Tab ctrl+c
check "domain copied" "$(clipboard)" ""
press shift+Tab ctrl+shift+c c
check "Ctrl+Shift+C and C copy nothing" "$(clipboard)" ""

check "account name on disk" "$(setting Username)" '"  alice "'
check "IP address on disk" "$(setting IP)" '" 10.0.0.5 "'
secret_files=$(grep -rl -e 'pass' -e "$(printf 'pass\xd6\xd0' | md5sum | cut -c1-32)" "$XDG_CONFIG_HOME")
check "password kept off the disk" "$secret_files" ""
stop_program

# Second start: the remembered inputs are back and the user name is derived.
start_program
press Tab ctrl+c
check "account name remembered" "$(clipboard)" "  alice "
press Tab Tab Tab ctrl+c
check "user name derived at start" "$(clipboard)" "alice@10.0.0.5"
press Tab ctrl+c
check "password output empty at start" "$(clipboard)" ""
stop_program

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
