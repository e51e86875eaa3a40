#!/usr/bin/env bash
# Real EAP-MD5 logons across a veth pair: hostapd authenticates the port from
# a network namespace of its own, where dnsmasq hands out addresses. First
# wpa_supplicant logs on with the configuration `portauth-cli wpa-supplicant`
# printed; then a real NetworkManager, with a system bus and a wpa_supplicant
# of its own, is driven through each outcome of `portauth-cli connect`. The
# authenticator's user file holds passwords hashed by OpenSSL from code-page
# bytes written out by hand, not by our code. All of it runs in private
# mount, network and PID namespaces: every daemon ends with the script, and
# nothing of the machine's own network, bus or files is touched.
# Usage: eap_logon_test.sh PORTAUTH-CLI
set -uo pipefail

[ "$(id -u)" -eq 0 ] || { echo "SKIP: network namespaces need root"; exit 77; }
if [ -z "${PORTAUTH_NAMESPACED:-}" ]; then
    for tool in hostapd wpa_supplicant wpa_cli NetworkManager nmcli dbus-daemon dnsmasq openssl iconv ip unshare; do
        command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/packages.sh installs it)"; exit 1; }; done
    PORTAUTH_NAMESPACED=1 exec unshare --mount --net --pid --uts --ipc --fork --mount-proc --propagation private \
        --kill-child "$0" "$(realpath "$1")"
fi

source "$(dirname "$0")/check.sh"
# Private /run (the bus, the control sockets, this test's files), state and
# configuration; the program stays where it was built, wherever that is.
for dir in /run /var/lib/NetworkManager /etc/NetworkManager; do mount -t tmpfs tmpfs $dir || exit 1; done
cp /etc/resolv.conf /run/resolv.conf && mount --bind /run/resolv.conf /etc/resolv.conf
mkdir /run/test && cd /run/test || exit 1
# Each run of the program is bounded, so a hang fails one check instead of
# getting the whole test killed.
printf '#!/bin/bash\nexec timeout 40 %q "$@"\n' "$1" >cli && chmod +x cli

ip link set lo up && ip netns add auth && ip link add supp type veth peer name auth netns auth &&
    ip -n auth addr add 10.0.0.1/24 dev auth && ip -n auth link set auth up && ip link set supp up ||
    { echo "FAIL: cannot make the veth pair"; exit 1; }
# The users, with passwords as OpenSSL hashes the bytes Windows' code page 936
# gives: 密 C3 DC, 码 C2 EB, and ¥ A3 A4 by Windows' best fit. The second
# identity is 张三 in GBK, written raw between the quotes.
ascii_password='S3cret pass#1'
printf '"alice@10.0.0.5" MD5 "%s"\n"%s" MD5 "%s"\n' "$(printf '%s' "$ascii_password" | md5_of)" \
    "$(printf '张三@10.0.0.6' | iconv -f UTF-8 -t GBK)" "$(printf '\xc3\xdc\xc2\xeb\xa3\xa42024' | md5_of)" >eap_users
printf '%s\n' interface=auth driver=wired ieee8021x=1 eap_server=1 eap_user_file=/run/test/eap_users eapol_version=2 \
    >hostapd.conf
ip netns exec auth hostapd -B -P /run/hostapd.pid hostapd.conf >hostapd.log 2>&1 &&
    ip netns exec auth dnsmasq --conf-file=/dev/null --interface=auth --bind-interfaces --port=0 --no-ping \
        --dhcp-range=10.0.0.10,10.0.0.99 --dhcp-leasefile=/run/leases --pid-file=/run/dnsmasq.pid --user=root ||
    { cat hostapd.log; echo "FAIL: the authenticator did not start"; exit 1; }

# Logs on with what `portauth-cli wpa-supplicant` prints for the password
# given, and waits up to 10 s for the EAP STATE and the PORT status.
logon() {
    local account=$1 ip=$2 password=$3 state=$4 port=$5 status="" result=1
    printf '%s\n' "$password" | ./cli wpa-supplicant --interface supp --account "$account" --ip="$ip" \
        --password-stdin >wired.conf || return
    wpa_supplicant -B -P /run/logon.pid -D wired -i supp -c wired.conf -f "wpa-$ip.log" || return
    for _ in $(seq 50); do
        status=$(wpa_cli -p /run/wpa_supplicant -i supp status 2>/dev/null)
        grep -qx "EAP state=$state" <<<"$status" && grep -qx "suppPortStatus=$port" <<<"$status" && result=0 && break
        sleep 0.2
    done
    [ $result -eq 0 ] || cat - wired.conf "wpa-$ip.log" <<<"$status"
    kill "$(cat /run/logon.pid)"
    # The next supplicant needs the control socket's name free again.
    for _ in $(seq 25); do [ -e /run/wpa_supplicant/supp ] || break; sleep 0.2; done
    return $result
}

check "ASCII password: EAP success, port authorized" \
    logon alice 10.0.0.5 "$ascii_password" SUCCESS Authorized
check "Chinese password with ¥, Chinese account (hex identity): EAP success" \
    logon 张三 10.0.0.6 "密码¥2024" SUCCESS Authorized

# NetworkManager as measured to run isolated: read-only sysfs (so it does
# not wait for udev), its own bus, its own wpa_supplicant, no polkit.
mount -t sysfs -o ro sysfs /sys && mkdir /run/dbus && dbus-daemon --system &&
    wpa_supplicant -u -B -O /run/wpa_supplicant -P /run/wpa_supplicant.pid >/dev/null || exit 1
printf '%s\n' '[main]' plugins=keyfile dns=none rc-manager=unmanaged hostname-mode=none auth-polkit=false \
    'no-auto-default=*' '[connectivity]' enabled=false >/etc/NetworkManager/NetworkManager.conf
NetworkManager --debug 2>nm.log &
for _ in $(seq 50); do [ "$(nmcli -g GENERAL.STATE device show supp 2>/dev/null)" = "30 (disconnected)" ] && break; sleep 0.2; done

# Runs connect with the password given and what else is asked; expects the
# exit status, the line and an end within the seconds given.
connects() {
    local password=$1 status=$2 pattern=$3 seconds=$4 start=$SECONDS output
    shift 4
    output=$(printf '%s\n' "$password" | ./cli connect --account alice --ip 10.0.0.5 --password-stdin "$@" 2>&1)
    local got=$? took=$((SECONDS - start))
    echo "exit $got after ${took}s: $output"
    [ $got -eq "$status" ] && [[ $output == $pattern ]] && [ "$(wc -l <<<"$output")" -eq 1 ] && [ $took -le "$seconds" ]
}
# The first activation is the one asked for: none failed before it.
check "connect, right password: connected, no activation failed before" eval \
    'connects "$ascii_password" 0 "connected: \"PortAuth 802.1X\" on supp" 10 && ! grep -- "-> failed" nm.log'
check "connect, wrong password: refused within 15 s" \
    connects wrong 3 '{"outcome":"password-refused",*on supp"}' 15 --json --interface supp
# The connection as NetworkManager holds it, password and all.
saved() {
    printf 'x\n' | ./cli networkmanager --connection Saved --account alice --ip 10.0.0.5 --password-stdin &&
        nmcli -s -g 802-1x.password,802-1x.auth-timeout,connection.auth-retries connection show Saved >stored &&
        diff stored <(printf '%s\n' "$(printf x | md5_of)" 10 1)
}
check "networkmanager stores the password and the timeouts" saved
kill "$(cat /run/hostapd.pid)"
check "connect, nothing within --timeout: timed out" connects "$ascii_password" 7 '*no outcome within 2 seconds' 3 --timeout 2
check "connect, no authenticator: told apart from a refusal" \
    connects "$ascii_password" 4 '*no authenticator answered on supp' 15 --interface supp
ip -n auth link set auth down
for _ in $(seq 25); do [ "$(nmcli -g GENERAL.STATE device show supp)" = "20 (unavailable)" ] && break; sleep 0.2; done
check "connect, cable out: the device is unavailable" \
    connects "$ascii_password" 5 '*the cable is out or the device is unavailable: *no carrier*' 5 --interface supp

echo "$failed failed"
[ "$failed" -eq 0 ]
