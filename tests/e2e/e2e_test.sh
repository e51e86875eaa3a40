#!/usr/bin/env bash
# Drives the real program on a virtual X display the way a person would:
# types into the boxes, copies each output with Ctrl+C, reads the real
# clipboard, checks the settings file from outside, and starts it again.
set -uo pipefail
program=${1:?usage: e2e_test.sh PROGRAM (the Linux program, or PortAuth.exe to run under Wine)}
source "$(dirname "$0")/x_session.sh"

password="pass中文"
gbk() { printf '%s' "$1" | iconv -f UTF-8 -t GBK; }
digest=$(gbk "$password" | md5sum | cut -c1-32)

# Every form the password or its digest could take in a file.
secrets=$work/secrets
{
    printf '%s\n' "$password" "中文" "$digest" "${digest^^}"
    gbk "$password"; echo
    gbk "中文"; echo
} >"$secrets"
files_holding_secrets() { LC_ALL=C grep -rlaF -f "$secrets" "$XDG_CONFIG_HOME"; }

# The same scenario for PortAuth.exe under Wine: the registry instead of
# the settings file, and the whole Wine prefix searched for the secrets.
windows_scenario() {
    source "$(dirname "$0")/wine_session.sh"
    # How Wine writes "中文" in user.reg.
    printf '%s\n' 'pass\x4e2d\x6587' '\x4e2d\x6587' >>"$secrets"
    prefix_files_holding_secrets() { LC_ALL=C grep -rlaF -f "$secrets" "$WINEPREFIX"; }
    registry_value() { # name, as user.reg holds it once Wine has stopped
        flush_registry
        awk -v name="\"$1\"=" '/^\[/ { inside = ($0 ~ /^\[Software\\\\Lanbridge\\\\PortAuth\]/) }
            inside && index($0, name) == 1 { print substr($0, length(name) + 1) }' "$WINEPREFIX/user.reg"
    }

    start_windows_program() {
        wine "$program" &
        app_pid=$!
        window=""
        local deadline=$((SECONDS + 20))
        while [ -z "$window" ] && [ "$SECONDS" -lt "$deadline" ]; do
            window=$(xdotool search --onlyvisible --name '^Lanbridge 802.1x Util for Windows 64$' 2>/dev/null | head -n 1)
            sleep 0.1
        done
        [ -n "$window" ] || { echo "FAIL PortAuth.exe showed no window"; exit 1; }
        # A server started afresh is still starting its desktop process.
        sleep 1
        xdotool windowfocus --sync "$window"
        sleep 0.3
    }

    start_windows_program
    press Tab
    type_text "  alice "
    press Tab
    type_text " 10.0.0.5 "
    press Tab
    # xdotool types a character no key makes by remapping a key for a
    # moment, which Wine, having read the keyboard map at start, never sees:
    # the Chinese part of the password is pasted instead.
    type_text "${password%中文}"
    printf '%s' "中文" | xclip -selection clipboard -i
    press ctrl+v

    press Tab ctrl+c
    check "Windows: user name copied" "$(clipboard)" "alice@10.0.0.5"
    press Tab ctrl+c
    check "Windows: password copied" "$(clipboard)" "$digest"

    press shift+Tab shift+Tab shift+Tab End BackSpace
    type_text " "
    stop_program
    check "Windows: account name in the registry" "$(registry_value Username)" '"  alice "'
    check "Windows: IP address in the registry" "$(registry_value IP)" '" 10.0.0.5 "'
    check "Windows: password kept out of the prefix and its registry" "$(prefix_files_holding_secrets)" ""

    start_windows_program
    press Tab ctrl+c
    check "Windows: account name remembered" "$(clipboard)" "  alice "
    press Tab Tab Tab ctrl+c
    check "Windows: user name derived at start" "$(clipboard)" "alice@10.0.0.5"
    press Tab ctrl+c
    check "Windows: password output empty at start" "$(clipboard)" ""
    stop_program
}

if [[ $program == *.exe ]]; then
    windows_scenario
    finish
    exit
fi

# First start: the focus is in the instruction box; Tab reaches the inputs.
start_program
press Tab
type_text "  alice "
press Tab
type_text " 10.0.0.5 "
press Tab
type_text "$password"

press Tab ctrl+c
check "user name copied" "$(clipboard)" "alice@10.0.0.5"
press Tab ctrl+c
check "password copied" "$(clipboard)" "$digest"
press Tab ctrl+c
check "domain copied" "$(clipboard)" ""
press shift+Tab ctrl+shift+c c
check "Ctrl+Shift+C and C copy nothing" "$(clipboard)" ""

# Edit the address while the password is in its box, so that the saves, with
# their lock and temporary files, run with the secret in memory.
press shift+Tab shift+Tab shift+Tab End BackSpace
type_text " "
check "password kept off the disk while running" "$(files_holding_secrets)" ""
check "account name on disk" "$(setting Username)" '"  alice "'
check "IP address on disk" "$(setting IP)" '" 10.0.0.5 "'
stop_program
check "password kept off the disk" "$(files_holding_secrets)" ""
check "nothing but the settings file left" "$(cd "$XDG_CONFIG_HOME" && find . -mindepth 1)" "./Lanbridge.ini"

# Second start: the remembered inputs are back and the user name is derived.
start_program
press Tab ctrl+c
check "account name remembered" "$(clipboard)" "  alice "
press Tab Tab Tab ctrl+c
check "user name derived at start" "$(clipboard)" "alice@10.0.0.5"
press Tab ctrl+c
check "password output empty at start" "$(clipboard)" ""
stop_program

# The copied password carries the hint that keeps clipboard managers away;
# the user name does not.
targets() { xclip -selection clipboard -o -t TARGETS 2>/dev/null | grep -c x-kde-passwordManagerHint; }
start_program
press Tab Tab Tab
type_text "abc"
press Tab ctrl+c
check "user name offered as plain text" "$(targets)" "0"
press Tab ctrl+c
check "password offered as a secret" "$(targets)" "1"
stop_program

# No core file and no debugger of the same user can read the credential:
# the kernel hands a process that is not dumpable to root.
setpriv --reuid=65534 --regid=65534 --clear-groups -- "$program" 2>/dev/null &
app_pid=$!
window=$(wait_for_window "$app_pid")
check "process not dumpable" "$(stat -c %U /proc/$app_pid/environ)" "root"
stop_program

# Under a window manager, a message must not take the keyboard: with a store
# that cannot be written, typing goes on into the box while it shows, and
# failing again does not stack more messages.
openbox --sm-disable >/dev/null 2>&1 &
wm_pid=$!
for _ in $(seq 50); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.1; done
rm -f "$settings_file" && mkdir "$settings_file"
start_program
windows() { xdotool search --onlyvisible --pid "$app_pid" | wc -l; }
press Tab
type_text "a"
shown=$(windows)
type_text "lice"
press Tab Tab Tab ctrl+c
check "typing goes on while a message shows" "$(clipboard)" "alice@"
check "a message beside the window" "$((shown > 1))" "1"
check "no message stacked on it" "$(windows)" "$shown"
stop_program
kill "$wm_pid"

finish
