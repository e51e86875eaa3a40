#!/usr/bin/env bash
# Drives the real program on a virtual X display the way a person would:
# types into the boxes, copies each output with Ctrl+C, reads the real
# clipboard, checks the settings file from outside, and starts it again.
set -uo pipefail
program=${1:?usage: e2e_test.sh PROGRAM}
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

finish
