#!/usr/bin/env bash
# Real EAP-MD5 logons across a veth pair: hostapd authenticates the port from
# a network namespace of its own, where dnsmasq hands out addresses. First
# wpa_supplicant logs on with the configuration `portauth-cli wpa-supplicant`
# printed; then a real NetworkManager, with a system bus that loads the
# packages' own D-Bus policies and a wpa_supplicant of its own, is driven
# through `portauth-cli connect` as root, as an ordinary user (nobody, in no
# group, who cannot hear the supplicant) and as one in the group netdev, while
# the daemons and the link change under it. The authenticator's user file
# holds passwords hashed by OpenSSL from code-page bytes written out by hand,
# not by our code. All of it runs in private mount, network and PID
# namespaces: every daemon ends with the script, and nothing of the machine's
# own network, bus or files is touched.
# Usage: eap_logon_test.sh PORTAUTH-CLI
set -uo pipefail

[ "$(id -u)" -eq 0 ] || { echo "SKIP: network namespaces need root"; exit 77; }
if [ -z "${PORTAUTH_NAMESPACED:-}" ]; then
    for tool in hostapd wpa_supplicant wpa_cli NetworkManager nmcli dbus-daemon dnsmasq openssl iconv ip unshare setpriv; do
        command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/packages.sh installs it)"; exit 1; }; done
    PORTAUTH_NAMESPACED=1 exec unshare --mount --net --pid --uts --ipc --fork --mount-proc --propagation private \
        --kill-child "$0" "$(realpath "$1")"
fi

source "$(dirname "$0")/check.sh"
# Private /run (the bus, the control sockets, this test's files), state and
# configuration.
for dir in /run /var/lib/NetworkManager /etc/NetworkManager; do mount -t tmpfs tmpfs $dir || exit 1; done
cp /etc/resolv.conf /run/resolv.conf && mount --bind /run/resolv.conf /etc/resolv.conf
mkdir -m 755 /run/test && cd /run/test || exit 1
# A copy every user may run, wherever the build is. Each run is bounded, so a
# hang fails one check instead of getting the whole test killed.
install -m 755 "$1" portauth-cli && printf '#!/bin/bash\nexec timeout 40 /run/test/portauth-cli "$@"\n' >cli &&
    chmod 755 cli

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
authenticator() { ip netns exec auth hostapd -B -P /run/hostapd.pid hostapd.conf >>hostapd.log 2>&1; }
authenticator && ip netns exec auth dnsmasq --conf-file=/dev/null --interface=auth --bind-interfaces --port=0 \
    --no-ping --dhcp-range=10.0.0.10,10.0.0.99 --dhcp-leasefile=/run/leases --pid-file=/run/dnsmasq.pid --user=root ||
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
# not wait for udev), its own bus with the system's policies, its own
# wpa_supplicant; polkit's part is played by auth-polkit=false.
mount -t sysfs -o ro sysfs /sys && mkdir /run/dbus && dbus-daemon --system &&
    wpa_supplicant -u -B -O /run/wpa_supplicant -P /run/wpa_supplicant.pid >/dev/null || exit 1
printf '%s\n' '[main]' plugins=keyfile dns=none rc-manager=unmanaged hostname-mode=none auth-polkit=false \
    'no-auto-default=*' '[connectivity]' enabled=false >/etc/NetworkManager/NetworkManager.conf
device_is() {
    for _ in $(seq 50); do [[ $(nmcli -g GENERAL.STATE device show "${2:-supp}" 2>/dev/null) == $1 ]] && return; sleep 0.1; done
    return 1
}
start_network_manager() { NetworkManager --debug 2>>nm.log & device_is "30 (disconnected)"; }
start_network_manager

as() {
    local user=$1
    shift
    case $user in
    root) "$@" ;;
    nobody) setpriv --reuid=65534 --regid=65534 --clear-groups "$@" ;;
    netdev) setpriv --reuid=65534 --regid=65534 --groups="$(getent group netdev | cut -d: -f3)" "$@" ;;
    esac
}
# Runs connect as the user with the password given; expects the exit status,
# one line that matches the pattern, nothing else on either output, and an
# end within the seconds given.
connects() {
    local user=$1 password=$2 status=$3 pattern=$4 seconds=$5 start=$SECONDS output
    shift 5
    output=$(printf '%s\n' "$password" |
        as "$user" ./cli connect --account alice --ip 10.0.0.5 --password-stdin "$@" 2>&1)
    local got=$? took=$((SECONDS - start))
    echo "exit $got after ${took}s: $output"
    [ $got -eq "$status" ] && [[ $output == $pattern ]] && [ "$(wc -l <<<"$output")" -eq 1 ] && [ $took -le "$seconds" ]
}
# The profile as NetworkManager holds it and its file on disk, password
# included, but for the time NetworkManager stamps on each activation. The
# password NetworkManager shows of a profile in use comes and goes.
profile() {
    nmcli -t -f 802-1x.identity,connection.autoconnect,connection.interface-name,ipv4.addresses \
        connection show "PortAuth 802.1X" 2>&1
    on_disk
}
unchanged() { local before=$1 after; after=$(profile) && [ "$after" = "$before" ] || diff <(echo "$before") <(echo "$after"); }
on_disk() { grep -hv '^timestamp=' /etc/NetworkManager/system-connections/*.nmconnection 2>/dev/null; }
# A new MAC address: hostapd holds a port that failed a logon for a while.
fresh_address() {
    ip link set supp down && ip link set supp address "02:00:00:00:00:$(printf %02x "$1")" && ip link set supp up &&
        device_is "30 (disconnected)"
}

saved=$(profile)
refuses_device() { connects root "$ascii_password" "$@" && unchanged "$saved"; }
check "connect --interface lo: refused by name, nothing written" \
    refuses_device 5 '*lo is not an Ethernet device*loopback*' 3 --interface lo
unmanaged() {
    nmcli device set supp managed no && refuses_device 5 '*NetworkManager does not manage supp*wpa-supplicant*' 3 \
        --interface supp
    local result=$?
    nmcli device set supp managed yes && device_is "30 (disconnected)" && return $result
}
check "connect on a device NetworkManager does not manage: refused, not taken over" unmanaged

# The first activation is the one asked for: none failed before it.
check "connect as root, right password: connected, saved to disk, no activation failed before" eval \
    'connects root "$ascii_password" 0 "connected: \"PortAuth 802.1X\" on supp" 10 &&
     grep -q "^password=$(printf %s "$ascii_password" | md5_of)" /etc/NetworkManager/system-connections/*.nmconnection &&
     ! grep -- "-> failed" nm.log'
saved=$(profile)
several() {
    ip link add extra type veth peer name extra2 && ip link set extra up && ip link set extra2 up &&
        device_is "30 (disconnected)" extra && device_is "30 (disconnected)" extra2 &&
        connects root "$ascii_password" 2 '*more than one Ethernet device could be meant (*extra*)*--interface*' 3
    local result=$?
    ip link del extra && unchanged "$saved" && return $result
}
check "connect without --interface beside two more Ethernet devices with a link: refused, naming them" several
twins() {
    local first twin
    first=$(nmcli -g connection.uuid connection show "PortAuth 802.1X")
    nmcli connection add type ethernet con-name "PortAuth 802.1X" ifname lo ipv4.method manual \
        ipv4.addresses 10.9.9.9/24 autoconnect no >/dev/null || return
    twin=$(nmcli -g UUID,NAME connection show | grep ':PortAuth 802.1X$' | cut -d: -f1 | grep -vx "$first")
    connects root "$ascii_password" 1 "*more than one profile is named \"PortAuth 802.1X\" (*$twin*" 3
    local result=$?
    [ "$(nmcli -g ipv4.addresses,connection.interface-name connection show "$twin")" = $'10.9.9.9/24\nlo' ] &&
        nmcli connection delete "$twin" >/dev/null && unchanged "$saved" && return $result
}
check "connect with two profiles of that name: refused, naming them, neither changed" twins

check "connect as nobody, right password: connected" eval \
    'nmcli connection down "PortAuth 802.1X" >/dev/null && connects nobody "$ascii_password" 0 "connected:*" 10'
# The run whose activation another one replaced says so and leaves the
# profile to the one that came up.
two_at_once() {
    printf '%s\n' "$ascii_password" | ./cli connect --account alice --ip 10.0.0.5 --password-stdin >first 2>&1 &
    local first=$!
    device_is "*connecting*" && connects root "$ascii_password" 0 "connected:*" 10
    local second=$?
    wait $first
    local got=$?
    echo "first: exit $got: $(cat first)"
    [ $second -eq 0 ] && [ $got -eq 1 ] && [[ $(cat first) == *"another activation took the device supp" ]] &&
        device_is "100 (connected)"
}
check "two runs at once: the one replaced says so, the other comes up" eval \
    'nmcli connection down "PortAuth 802.1X" >/dev/null && two_at_once'
nmcli connection down "PortAuth 802.1X" >/dev/null
saved=$(profile)
check "connect as root over the saved profile, wrong password: refused at once, the profile as it was" eval \
    'connects root wrong 3 "{\"outcome\":\"password-refused\",*on supp\"}" 5 --json && unchanged "$saved"'
fresh_address 1
check "connect in the group netdev, wrong password: refused at once" \
    connects netdev wrong 3 '*the network refused the password on supp' 5
fresh_address 2
check "connect as nobody, wrong password: no logon, cause unseen (8), the profile as it was" eval \
    'connects nobody wrong 8 "*no logon on supp within the time*root*netdev*" 15 && unchanged "$saved"'
saves() {
    printf 'x\n' | ./cli networkmanager --connection Saved --account alice --ip 10.0.0.5 --password-stdin &&
        nmcli -s -g 802-1x.password,802-1x.auth-timeout,connection.auth-retries connection show Saved >stored &&
        diff stored <(printf '%s\n' "$(printf x | md5_of)" 10 1) && nmcli connection delete Saved >/dev/null
}
check "networkmanager stores the password and the timeouts" saves

kill "$(cat /run/hostapd.pid)"
check "connect, no authenticator: told apart from a refusal, the profile it made deleted" eval \
    'connects root "$ascii_password" 4 "*no authenticator answered on supp" 15 --connection New &&
     ! nmcli connection show New >/dev/null 2>&1'
check "connect, nothing within --timeout: timed out within it, the profile as it was" eval \
    'connects root "$ascii_password" 7 "*no outcome within 3 seconds" 3 --timeout 3 && unchanged "$saved"'
# Starts connect and, once the activation is under way, does what is asked;
# expects the status, the one line, the profile on disk untouched meanwhile
# and as it was after, and the device let go, with no activation after it.
during() {
    local user=$1 action=$2 status=$3 pattern=$4 meanwhile started
    started=$(grep -c "Activation: starting" nm.log)
    printf 'other\n' | as "$user" env --default-signal=INT,TERM,HUP ./cli connect --account alice --ip 10.0.0.5 \
        --password-stdin >out 2>&1 &
    local run=$!
    device_is "*connecting*" && meanwhile=$(on_disk) && eval "$action"
    local acted=$SECONDS
    wait $run
    local got=$? took=$((SECONDS - acted))
    echo "exit $got ${took}s after: $(cat out)"
    sleep 1
    [ $got -eq "$status" ] && [ $took -le 2 ] && [[ $(cat out) == $pattern ]] && [ "$(wc -l <out)" -eq 1 ] &&
        unchanged "$saved" &&
        [ "$meanwhile" = "$(on_disk)" ] && device_is "30 (disconnected)" &&
        [ "$(grep -c "Activation: starting" nm.log)" -eq $((started + 1)) ]
}
check "Ctrl+C as root during the activation: taken down, the profile as it was" \
    during root "pkill -INT -x portauth-cli" 130 '*cancelled (Ctrl+C)'
check "SIGTERM as nobody during the activation: taken down, the profile as it was" \
    during nobody "pkill -TERM -x portauth-cli" 143 '*cancelled (SIGTERM)'
check "the supplicant killed during the activation: told in words, the profile as it was" \
    during root "pkill -x wpa_supplicant" 1 '*the supplicant (wpa_supplicant) failed on supp'
wpa_supplicant -u -B -O /run/wpa_supplicant -P /run/wpa_supplicant.pid >/dev/null
hung() {
    pkill -STOP -x NetworkManager
    connects root "$ascii_password" 7 "*NetworkManager did not answer within 3 seconds" 4 --timeout 3
    local result=$?
    pkill -CONT -x NetworkManager
    return $result
}
check "connect, NetworkManager hung: the timeout's outcome, within it" hung
killed() {
    printf 'x\n' | ./cli connect --account alice --ip 10.0.0.5 --password-stdin >out 2>err &
    local run=$!
    device_is "*connecting*" && pkill -KILL -x NetworkManager
    wait $run
    local got=$?
    cat err
    [ $got -eq 6 ] && [[ $(tail -n 1 err) == *"NetworkManager is not running" ]] &&
        grep -q 'profile "PortAuth 802.1X" could not be restored' err && [ "$(wc -l <err)" -eq 2 ]
}
check "NetworkManager killed during the activation: not running (6), the profile left named, no GLib noise" killed
start_network_manager

# hostapd, like most test authenticators, sends nothing when a link comes
# up: the EAPOL-Start the supplicant sent while nothing listened is lost.
flapped() {
    printf '%s\n' "$ascii_password" | ./cli connect --account alice --ip 10.0.0.5 --password-stdin >out 2>&1 &
    local run=$! start=$SECONDS
    device_is "*connecting*" && sleep 3 && authenticator &&
        for _ in 1 2 3 4 5; do ip -n auth link set auth down; sleep 0.2; ip -n auth link set auth up; sleep 0.2; done
    wait $run
    local got=$?
    echo "exit $got after $((SECONDS - start))s: $(cat out)"
    [ $got -eq 0 ] && [ $((SECONDS - start)) -le 15 ]
}
fresh_address 3
check "a link that flaps during the logon: the logon starts again, connected" flapped
ip -n auth link set auth down
device_is "20 (unavailable)"
# Without --interface: the one Ethernet device, though it has no link.
check "connect, cable out: the device is unavailable" \
    connects root "$ascii_password" 5 '*the cable is out or the device is unavailable: *no carrier*' 5

echo "$failed failed"
[ "$failed" -eq 0 ]
