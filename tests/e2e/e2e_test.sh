#!/usr/bin/env bash
# Drives the real program on a virtual X display the way a person would:
# types into the boxes, copies each output with Ctrl+C, reads the real
# clipboard, checks what was stored from outside, and starts it again. The
# same scenario runs PortAuth.exe under Wine, with the registry as its store.
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
if [[ $program == *.exe ]]; then
    source "$(dirname "$0")/wine_session.sh"
    # How Wine writes "中文" in user.reg.
    printf '%s\n' 'pass\x4e2d\x6587' '\x4e2d\x6587' >>"$secrets"
fi
files_holding_secrets() { LC_ALL=C grep -rlaF -f "$secrets" "$private_files"; }

# First start: the focus is in the instruction box; Tab reaches the inputs.
start_program
press Tab
type_text "  alice "
press Tab
type_text " 10.0.0.5 "
press Tab
type_password "$password"

press Tab ctrl+c
check "user name copied" "$(clipboard)" "alice@10.0.0.5"
press Tab ctrl+c
check "password copied" "$(clipboard)" "$digest"
press Tab ctrl+c
check "domain copied" "$(clipboard)" ""
press shift+Tab ctrl+shift+c c
check "Ctrl+Shift+C and C copy nothing" "$(clipboard)" ""

# Edit the address while the password is in its box, so that the saves run
# with the secret in memory.
press shift+Tab shift+Tab shift+Tab End BackSpace
type_text " "
stop_program
check "account name stored" "$(stored_value Username)" '"  alice "'
check "IP address stored" "$(stored_value IP)" '" 10.0.0.5 "'
check "password and digest found nowhere" "$(files_holding_secrets)" ""

# Second start: the remembered inputs are back and the user name is derived.
start_program
press Tab ctrl+c
check "account name remembered" "$(clipboard)" "  alice "
press Tab Tab Tab ctrl+c
check "user name derived at start" "$(clipboard)" "alice@10.0.0.5"
press Tab ctrl+c
check "password output empty at start" "$(clipboard)" ""
stop_program

if [[ $program == *.exe ]]; then
    finish
    exit
fi
check "nothing but the settings file left" "$(cd "$XDG_CONFIG_HOME" && find . -mindepth 1)" "./Lanbridge.ini"

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
