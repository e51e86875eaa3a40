#!/usr/bin/env bash
# Real EAP-MD5 logons: hostapd authenticates a wired port in one network
# namespace, wpa_supplicant runs in another with the configuration that
# portauth-cli printed, across a veth pair. The authenticator's user file
# holds passwords hashed by OpenSSL from code-page bytes written out by hand,
# not by our code. Then the keyfile of `networkmanager --keyfile` is read
# back by nmcli, and a few checks on what the logons cannot show.
# Usage: eap_logon_test.sh PORTAUTH-CLI
set -uo pipefail

[ "$(id -u)" -eq 0 ] || { echo "SKIP: network namespaces need root"; exit 77; }
for tool in hostapd wpa_supplicant wpa_cli nmcli openssl iconv ip python3 script; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/packages.sh installs it)"; exit 1; }; done

# Unique per run, so parallel runs cannot collide; interface names stay
# within the kernel's 15 bytes.
authenticator=portauth-auth-$$ supplicant=portauth-supp-$$
auth_if=pa$$a supp_if=pa$$s
control=/run/wpa_supplicant control_existed=$([ -d /run/wpa_supplicant ] && echo yes)
scratch=$(mktemp -d)
# Each run of the program is bounded, so a hang fails one check instead of
# getting the whole test killed before it can clean up.
cli=$scratch/portauth-cli
printf '#!/bin/bash\nexec timeout --foreground 5 %q "$@"\n' "$(realpath "$1")" >"$cli" && chmod +x "$cli"
failed=0 logons=0

stop_pidfile() { [ -s "$1" ] && kill "$(cat "$1")" 2>/dev/null; rm -f "$1"; }

cleanup() {
    stop_pidfile "$scratch/wpa_supplicant.pid"
    stop_pidfile "$scratch/hostapd.pid"
    ip netns del "$authenticator" 2>/dev/null
    ip netns del "$supplicant" 2>/dev/null
    [ -z "$control_existed" ] && rmdir $control 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

check() {
    local name=$1
    shift
    if "$@" >"$scratch/check.log" 2>&1; then
        echo "PASS  $name"
    else
        echo "FAIL  $name"
        sed 's/^/      /' "$scratch/check.log"
        failed=$((failed + 1))
    fi
}

md5_of() { openssl md5 -r | cut -c1-32; }

ip netns add "$authenticator" 2>"$scratch/netns.log" || {
    echo "SKIP: cannot create a network namespace: $(cat "$scratch/netns.log")"
    exit 77
}
ip netns add "$supplicant" &&
    ip link add "$auth_if" netns "$authenticator" type veth peer name "$supp_if" netns "$supplicant" &&
    ip -n "$authenticator" link set "$auth_if" up &&
    ip -n "$supplicant" link set "$supp_if" up || { echo "FAIL: cannot join the namespaces"; exit 1; }

# The users, with passwords as OpenSSL hashes the bytes Windows' code page 936
# gives: 密 C3 DC, 码 C2 EB, and ¥ A3 A4 by Windows' best fit. The second
# identity is 张三 in GBK, written raw between the quotes.
ascii_password='S3cret pass#1'
{
    printf '"alice@10.0.0.5" MD5 "%s"\n' "$(printf '%s' "$ascii_password" | md5_of)"
    printf '"%s" MD5 "%s"\n' "$(printf '张三@10.0.0.6' | iconv -f UTF-8 -t GBK)" \
        "$(printf '\xc3\xdc\xc2\xeb\xa3\xa42024' | md5_of)"
} >"$scratch/eap_users"
printf '%s\n' "interface=$auth_if" driver=wired ieee8021x=1 eap_server=1 \
    "eap_user_file=$scratch/eap_users" eapol_version=2 >"$scratch/hostapd.conf"
ip netns exec "$authenticator" hostapd -B -P "$scratch/hostapd.pid" "$scratch/hostapd.conf" \
    >"$scratch/hostapd.log" 2>&1 || { cat "$scratch/hostapd.log"; echo "FAIL: hostapd did not start"; exit 1; }

# Logs on with what `portauth-cli wpa-supplicant` prints for the password
# given, and waits up to 10 s for the EAP STATE and the PORT status.
logon() {
    local account=$1 ip=$2 password=$3 state=$4 port=$5 status="" result=1
    printf '%s\n' "$password" |
        "$cli" wpa-supplicant --interface "$supp_if" --account "$account" --ip="$ip" --password-stdin \
            >"$scratch/wired.conf" || return
    # A port that failed stays held for its MAC address: each logon comes
    # from a fresh one.
    logons=$((logons + 1))
    ip -n "$supplicant" link set "$supp_if" address "$(printf '02:00:00:00:00:%02x' $logons)" || return
    ip netns exec "$supplicant" wpa_supplicant -B -P "$scratch/wpa_supplicant.pid" -D wired \
        -i "$supp_if" -c "$scratch/wired.conf" -f "$scratch/wpa$logons.log" || return
    for _ in $(seq 50); do
        status=$(wpa_cli -p $control -i "$supp_if" status 2>/dev/null)
        grep -qx "EAP state=$state" <<<"$status" && grep -qx "suppPortStatus=$port" <<<"$status" && result=0 && break
        sleep 0.2
    done
    [ $result -eq 0 ] || cat - "$scratch/wired.conf" "$scratch/wpa$logons.log" <<<"$status"
    stop_pidfile "$scratch/wpa_supplicant.pid"
    # The next logon needs the control socket name free again.
    for _ in $(seq 25); do [ -e "$control/$supp_if" ] || break; sleep 0.2; done
    return $result
}

check "ASCII password: EAP success, port authorized" \
    logon alice 10.0.0.5 "$ascii_password" SUCCESS Authorized
check "Chinese password with ¥, Chinese account (hex identity): EAP success" \
    logon 张三 10.0.0.6 "密码¥2024" SUCCESS Authorized
check "Chinese password, one character off: EAP failure" \
    logon 张三 10.0.0.6 "密码¥2025" FAILURE Unauthorized

# NetworkManager's own parser reads the keyfile back with the same values;
# the name tests the escaping (leading space, backslash). Written twice: the
# second write keeps the UUID and leaves no temporary file.
keyfile_reads_back() {
    local keyfile=$scratch/wired.nmconnection uuid
    for _ in 1 2; do
        printf '%s\n' "$ascii_password" | "$cli" networkmanager --keyfile "$keyfile" --connection ' lab\net' \
            --interface eth0 --account alice --ip 10.0.0.5 --password-stdin || return
        [ "${uuid:=$(grep '^uuid=' "$keyfile")}" = "$(grep '^uuid=' "$keyfile")" ] || { echo "new $uuid"; return 1; }
    done
    # Another connection gets a random (version 4) UUID of its own.
    printf 'x\n' | "$cli" networkmanager --keyfile "$scratch/other" --account a --ip b --password-stdin || return
    [ "$(grep -cE '^uuid=[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$' "$keyfile" "$scratch/other")" = \
        "$keyfile:1"$'\n'"$scratch/other:1" ] && [ "$uuid" != "$(grep '^uuid=' "$scratch/other")" ] || return
    [ "$(stat -c %a "$keyfile")" = 600 ] && [ -z "$(find "$scratch" -name 'wired.nmconnection.*')" ] || return
    nmcli --offline connection modify ipv4.method auto <"$keyfile" >"$scratch/back" || return
    diff <(printf '%s\n' "[connection]" 'id=\slab\\net' "interface-name=eth0" "[802-1x]" "eap=md5;" \
        "identity=alice@10.0.0.5" "password=$(printf '%s' "$ascii_password" | md5_of)") \
        <(grep -E '^(\[connection\]|\[802-1x\]|id=|interface-name=|eap=|identity=|password=)' "$scratch/back")
}
check "networkmanager --keyfile: mode 600, the UUID kept when rewritten and new for another, read back by nmcli --offline" \
    keyfile_reads_back

# Characters of two, three and four UTF-8 bytes; U+10000 at the very end:
# the first pair of surrogates, with nothing after.
json_escapes() {
    printf 'x\n' | "$cli" derive --json --account $'"q\\\t¥密' --ip 1𐀀 --password-stdin |
        python3 -c 'import json,sys; v=json.load(sys.stdin); assert v == {"username": "\"q\\\t¥密@1\U00010000", "password": "9dd4e461268c8034f5c8564e155c67a6", "domain": ""}, v'
}
check "derive --json escapes quotes, backslashes and control characters, keeps Unicode" json_escapes
# On a terminal the password is read without echo: typed a second after
# the start, when the prompt stands.
asks_without_echo() {
    local shown
    shown=$({ sleep 1; echo S3cretpw; } | script -qfec "$(printf %q "$cli") derive --account a --ip b" /dev/null) &&
        [[ $shown != *S3cretpw* && $shown == *$'\r\na@b\r\n55884d43c936a23641b70c0ec7e6de72'* ]] || { echo "$shown"; return 1; }
}
check "the terminal prompt reads the password without echo" asks_without_echo
# Expects a failure whose standard error is one line matching the pattern.
refuses() {
    local pattern=$1
    shift
    ! "$@" 2>"$scratch/stderr" && [[ "$(cat "$scratch/stderr")" == $pattern ]] &&
        [ "$(wc -l <"$scratch/stderr")" -eq 1 ] || { cat "$scratch/stderr"; return 1; }
}
check "a password on the command line is refused" refuses "*never taken from the command line*" \
    "$cli" derive --password S3cretpw
check "no command is refused" refuses "*no command given*" "$cli" --account a
check "without a terminal the password must come on standard input" refuses "*; use --password-stdin" \
    setsid -w "$cli" derive --account a --ip b </dev/null
check "a misspelt option is refused in Chinese under zh_CN" refuses "*未知选项“--acount”*" env LC_ALL=zh_CN.UTF-8 "$cli" derive --acount a
# A folder where the keyfile should go: the rename fails after the temporary
# file was written, and that file must go too.
keyfile_over_folder() {
    mkdir "$scratch/folder" && refuses "portauth-cli: cannot write the connection: $scratch/folder: Is a directory" \
        env LC_ALL=C.UTF-8 "$cli" networkmanager --keyfile "$scratch/folder" --account a --ip b --password-stdin \
        </dev/null && ! find "$scratch" -name 'folder.*' | grep .
}
check "a keyfile that cannot be written is an error naming it, and leaves no temporary file" keyfile_over_folder
# No system bus in a mount namespace of its own: nothing answers nmcli.
check "without NetworkManager, networkmanager says so before asking for the password" refuses \
    "*NetworkManager is not running*" unshare --mount sh -c \
    'mount -t tmpfs none /run && exec "$0" networkmanager --account a --ip b' "$cli"
check "invalid UTF-8 in the password is refused in one line" \
    refuses "*not valid UTF-8*" "$cli" derive --account a --ip b --password-stdin < <(printf 'a\xffb\n')
check "a password of 32,768 GBK bytes is error 6, in Chinese under zh_CN" \
    refuses "portauth-cli：密码太长*（错误 6）" env LANG=zh_CN.UTF-8 "$cli" derive --account a --ip b --password-stdin \
    < <(head -c 32767 /dev/zero | tr '\0' a; printf '中\n')

echo "$failed failed"
[ "$failed" -eq 0 ]
