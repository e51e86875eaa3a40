#!/usr/bin/env bash
# What portauth-cli does without a network and without root: its refusals,
# each one line with its own exit status and nothing on it that steers a
# terminal; the keyfile, read back by NetworkManager's own parser; JSON; the
# terminal prompt. The logons themselves are eap_logon_test.sh's.
# Usage: cli_test.sh PORTAUTH-CLI
set -uo pipefail
for tool in nmcli python3 script setsid; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/packages.sh installs it)"; exit 1; }; done

source "$(dirname "$0")/check.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Each run bounded, so a hang fails one check.
printf '#!/bin/bash\nexec timeout --foreground 5 %q "$@"\n' "$(realpath "$1")" >"$scratch/cli" && chmod +x "$scratch/cli"
cd "$scratch" || exit 1
# Nothing remembered.
export XDG_CONFIG_HOME=$scratch/config LC_ALL=C.UTF-8

# Expects the exit status and one line on standard error that matches the
# pattern and holds no control character; the input is a printf format.
refuses() {
    local status=$1 pattern=$2 input=$3 got
    shift 3
    # shellcheck disable=SC2059
    printf "$input" | "$@" 2>stderr
    got=$?
    [ $got -eq "$status" ] && [[ "$(cat stderr)" == $pattern ]] && [ "$(wc -l <stderr)" -eq 1 ] &&
        ! LC_ALL=C grep -q '[[:cntrl:]]' stderr || { echo "exit $got"; cat -v stderr; return 1; }
}

# What may stand at --keyfile's path, and what may not.
mkfifo fifo && mkdir folder && ln -s /dev/zero zero && echo thesis >thesis && : >empty
long=$(head -c 252 /dev/zero | tr '\0' a)
while IFS='|' read -r status pattern input args; do
    eval "set -- $args"
    check "refused: $args" refuses "$status" "$pattern" "$input" "$@"
done <<'EOF'
2|*never taken from the command line*||./cli derive --password S3cretpw
2|*no command given*||./cli --account a
2|*未知选项“--acount”*||env LC_ALL=zh_CN.UTF-8 ./cli derive --acount a
2|*'x\\x1b]0;owned\\x07' is not a network interface name*||./cli wpa-supplicant --interface $'x\e]0;owned\a'
2|*--connection holds control characters or is not UTF-8 text*||./cli connect --connection $'Office\xff'
2|*--connection holds control characters*||./cli networkmanager --connection $'a\tb' --keyfile k
2|*--account holds control characters*||./cli derive --account $'a\eb' --ip 1
2|*--ip holds control characters*||./cli derive --account a --ip $'1\n2'
2|*'0' is not a number of seconds*||./cli connect --timeout 0
2|*'--keyfile' does not belong to this command*||./cli connect --keyfile k
1|*; use --password-stdin||setsid -w ./cli derive --account a --ip b
1|*not valid UTF-8*|a\xffb\n|./cli derive --account a --ip b --stdin-utf8
1|*no password was read*||./cli derive --account a --ip b --password-stdin
1|*the password is empty*|\r\n|./cli derive --account a --ip b --password-stdin
1|*NUL byte*UTF-16*|p\0w\0\n|./cli derive --account a --ip b --password-stdin
1|*no account name*|x\n|./cli derive --ip b --password-stdin
1|*the user name is 254 bytes long*|x\n|./cli wpa-supplicant --account "$long" --ip 1 --password-stdin
6|*NetworkManager is not running*||env DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent ./cli connect --account a --ip b --password-stdin
1|*fifo: not a regular file||./cli networkmanager --keyfile fifo --account a --ip b --password-stdin
1|*zero: not a regular file||./cli networkmanager --keyfile zero --account a --ip b --password-stdin
1|*folder: not a regular file||./cli networkmanager --keyfile folder --account a --ip b --password-stdin
1|*thesis: not a NetworkManager keyfile||./cli networkmanager --keyfile thesis --account a --ip b --password-stdin
1|*empty: not a NetworkManager keyfile||./cli networkmanager --keyfile empty --account a --ip b --password-stdin
EOF
check "a refused file is left as it was, with no temporary file beside it" \
    eval '[ "$(cat thesis)" = thesis ] && [ -p fifo ] && [ "$(ls | grep -c -E "^(thesis|fifo|zero|folder)\.")" = 0 ]'
check "the longest user name an 802.1X logon carries, 253 bytes, is taken" \
    eval 'printf "x\n" | ./cli wpa-supplicant --account "$long" --ip "" --password-stdin >/dev/null'

# NetworkManager's own parser takes the keyfile (the fuzz target reads its
# values back by GLib's rules, which are NetworkManager's).
keyfile_is_taken() {
    printf 'S3cret\n' | ./cli networkmanager --keyfile wired --interface eth0 --account a --ip b --password-stdin &&
        [ "$(stat -c %a wired)" = 600 ] && nmcli --offline connection modify ipv4.method auto <wired >back &&
        grep -qx interface-name=eth0 back && grep -qx 'eap=md5;' back
}
check "networkmanager --keyfile: mode 600, taken by nmcli" keyfile_is_taken
# A keyfile as GLib reads it (NetworkManager's reader): spaces around '=',
# CR LF, an indented key; of two [connection] groups the last one counts.
keeps_uuid() {
    # shellcheck disable=SC2059
    printf "$1" >kept && printf 'x\n' | ./cli networkmanager --keyfile kept --account a --ip b --password-stdin &&
        grep -x "uuid=$2" kept || { cat kept; return 1; }
}
u1=0f0e0d0c-0b0a-4908-8706-050403020100 u2=10111213-1415-4617-8819-1a1b1c1d1e1f
check "the UUID spelled 'uuid = ' with CR LF is kept" keeps_uuid "[connection]\r\nuuid = $u1\r\n" $u1
check "the UUID of the last [connection] group is kept" keeps_uuid "[connection]\nuuid=$u1\n[connection]\n  uuid=$u2\n" $u2

# Characters of two, three and four UTF-8 bytes; U+10000 at the very end:
# the first pair of surrogates, with nothing after.
json_escapes() {
    printf 'x\n' | ./cli derive --json --account '"q\¥密' --ip 1𐀀 --password-stdin |
        python3 -c 'import json,sys; v=json.load(sys.stdin); assert v == {"username": "\"q\\¥密@1\U00010000", "password": "9dd4e461268c8034f5c8564e155c67a6", "domain": ""}, v'
}
check "derive --json escapes quotes and backslashes, keeps Unicode" json_escapes
json_usage_error() {
    [ "$(./cli connect --timeout 0 --json 2>/dev/null)" = \
        "{\"outcome\":\"error\",\"message\":\"portauth-cli: '0' is not a number of seconds from 1 to 3600 (see portauth-cli --help)\"}" ]
}
check "with --json a usage error is a JSON object on standard output too" json_usage_error
check "a byte order mark before a piped password is no part of it" eval \
    '[ "$(printf "\357\273\277abc\n" | ./cli derive --account a --ip b --password-stdin | sed -n 2p)" = 900150983cd24fb0d6963f7d28e17f72 ]'
# On a terminal the password is read without echo: typed a second after
# the start, when the prompt stands.
asks_without_echo() {
    shown=$({ sleep 1; echo S3cretpw; } | script -qfec "./cli derive --account a --ip b" /dev/null) &&
        [[ $shown != *S3cretpw* && $shown == *$'\r\na@b\r\n55884d43c936a23641b70c0ec7e6de72'* ]] || { echo "$shown"; return 1; }
}
check "the terminal prompt reads the password without echo" asks_without_echo
# A signal that ends the prompt gives the terminal its echo back.
echoes_after() {
    local shown
    shown=$(script -qfec "sh -c './cli derive --account a --ip b & sleep 0.5; kill -$1 \$!; wait; stty -a'" /dev/null)
    [[ $shown =~ (^|[[:space:]])echo([[:space:]]|$) ]] || { echo "$shown"; return 1; }
}
for signal in INT TERM HUP; do check "SIG$signal at the prompt: echo comes back" echoes_after $signal; done
check "a password of 32,768 GBK bytes is error 6, in Chinese under zh_CN" \
    refuses 1 "portauth-cli：密码太长*（错误 6）" "$(head -c 32767 /dev/zero | tr '\0' a)中\n" \
    env LANG=zh_CN.UTF-8 LC_ALL= ./cli derive --account a --ip b --password-stdin

echo "$failed failed"
[ "$failed" -eq 0 ]
