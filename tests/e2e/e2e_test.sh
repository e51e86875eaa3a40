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
printf '%s\n' "$password" "中文" "$digest" "${digest^^}" "$(gbk "$password")" "$(gbk 中文)" >"$secrets"
if [[ $program == *.exe ]]; then
    source "$(dirname "$0")/wine_session.sh"
    # How Wine writes "中文" in user.reg.
    printf '%s\n' 'pass\x4e2d\x6587' '\x4e2d\x6587' >>"$secrets"
fi

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
# Selected, it is in X11's primary selection by the toolkit's hand, but marked.
if [[ $program != *.exe ]]; then
    press Home shift+End
    check "selected password marked secret" "$(xclip -selection primary -o)|$(xclip -selection primary -t TARGETS -o |
        grep -x x-kde-passwordManagerHint)" "$digest|x-kde-passwordManagerHint"
fi

# Edit the address while the password is in its box, so that the saves run
# with the secret in memory.
press shift+Tab shift+Tab shift+Tab End BackSpace
type_text " "
stop_program
check "account name stored" "$(stored_value Username)" '"  alice "'
check "IP address stored" "$(stored_value IP)" '" 10.0.0.5 "'
check "password and digest found nowhere" "$(LC_ALL=C grep -rlaF -f "$secrets" "$private_files")" ""

# Second start: the remembered inputs are back and the user name is derived.
start_program
press Tab Tab Tab Tab ctrl+c
check "user name derived at start" "$(clipboard)" "alice@10.0.0.5"
# A pasted text: what comes before its line feed, less a carriage return;
# its tab stays. The Linux program pastes X11's primary selection on a
# middle click too, at the account box's end (twips 5100, 3285).
printf 'zh\tang\r\nrest' | xclip -selection clipboard -i
press shift+Tab shift+Tab shift+Tab Home shift+End ctrl+v Tab Tab Tab ctrl+c
check "pasted line kept" "$(clipboard)" "$(printf 'zh\tang@10.0.0.5')"
if [[ $program != *.exe ]]; then
    printf 'mid\ndle' | xclip -selection primary -i
    xdotool mousemove --window "$window" 340 219 click 2
    press Tab Tab Tab ctrl+c
    check "middle click pastes a line" "$(clipboard)" "$(printf 'zh\tangmid@10.0.0.5')"
fi
stop_program

# Only the Linux program: its own folder, and a process no debugger or core
# file of the same user can read; the kernel hands such a process to root.
if [[ $program != *.exe ]]; then
    check "nothing but the settings file left" "$(cd "$XDG_CONFIG_HOME" && find . -mindepth 1)" "./Lanbridge.ini"
    setpriv --reuid=65534 --regid=65534 --clear-groups -- "$program" 2>/dev/null &
    app_pid=$!
    window=$(wait_for_window "$app_pid")
    check "process not dumpable" "$(stat -c %U /proc/$app_pid/environ)" "root"
    stop_program
fi
finish
