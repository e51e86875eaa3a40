# Sourced by the end-to-end scripts: a configuration folder of the run's own,
# a virtual X display, and the helpers that start, drive and stop the real
# program on it. The caller sets `program` before sourcing.

work=$(mktemp -d)
export XDG_CONFIG_HOME=$work/config
export QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/runtime
unset WAYLAND_DISPLAY
mkdir -p "$XDG_CONFIG_HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"

passes=0 failures=0
check() { # name actual expected
    if [ "$2" == "$3" ]; then
        echo "ok   $1"
        passes=$((passes + 1))
    else
        echo "FAIL $1: got [$2], expected [$3]"
        failures=$((failures + 1))
    fi
}

finish() {
    echo "$passes passed, $failures failed"
    [ "$failures" -eq 0 ]
}

app_pid="" xvfb_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill -KILL "$app_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number to the given
# descriptor once it takes clients, so runs side by side cannot race for one.
# Without -noreset it resets whenever its last client leaves, as a killed
# program does, and refuses the next start for that moment.
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -dpi 96 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "FAIL Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"

# `xdotool search --sync` looks only twice a second; a tighter loop saves
# most of that on every start. A start that takes longer than the deadline
# counts as hung. Only the main window counts: a message beside it may map
# first.
window_title="Lanbridge 802.1x Util"
wait_for_window() { # pid [seconds]
    local found="" deadline=$((SECONDS + ${2:-10}))
    while [ "$SECONDS" -lt "$deadline" ] && kill -0 "$1" 2>/dev/null; do
        found=$(xdotool search --all --onlyvisible --pid "$1" --name "$window_title" 2>/dev/null | head -n 1)
        [ -n "$found" ] && break
        sleep 0.02
    done
    echo "$found"
}

start_program() {
    "$program" &
    app_pid=$!
    window=$(wait_for_window "$app_pid")
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
stored_value() { sed -n "s/^$1=//p" "$XDG_CONFIG_HOME/Lanbridge.ini"; }
type_password() { type_text "$1"; }
# Where the program may write: the password must be found nowhere there.
private_files=$XDG_CONFIG_HOME
