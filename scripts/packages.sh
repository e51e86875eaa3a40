# shellcheck shell=bash
# Sourced by scripts/run and scripts/test: installs the Debian packages that
# are missing, and says nothing when everything is already there.

ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    # The scripts that check one thing after another run without `set -e`:
    # a failed install must still fail here.
    $sudo apt-get update -qq || return
    without_service_starts env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || {
        echo "apt-get could not install: ${missing[*]}" >&2
        return 1
    }
    keep_network_manager_off "${missing[@]}"
}

# Test tools such as hostapd and NetworkManager are daemons; their packages
# must not start them on this machine. Debian's maintainer scripts start no
# service while /usr/sbin/policy-rc.d answers 101. A policy that was there
# already is the administrator's and stays as it is; ours goes on every way
# out, a failed install and an interrupt included, or no package could start
# its service afterwards. A subshell, so that its trap is its own.
policy_rc_d=${PORTAUTH_POLICY_RC_D:-/usr/sbin/policy-rc.d}
without_service_starts() (
    [ -e "$policy_rc_d" ] && exec $sudo "$@"
    trap '$sudo rm -f "$policy_rc_d"' EXIT
    trap 'exit 130' INT TERM HUP
    printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy_rc_d" >/dev/null
    $sudo chmod 755 "$policy_rc_d"
    $sudo "$@"
)

# The tests run NetworkManager only inside namespaces of their own. Where
# systemd runs, the package also enables the daemon for the next boot, when
# it would take over the machine's wired ports.
keep_network_manager_off() {
    [[ " $* " == *" network-manager "* ]] && [ -d /run/systemd/system ] || return 0
    $sudo systemctl disable --quiet NetworkManager.service NetworkManager-wait-online.service \
        NetworkManager-dispatcher.service
}

BUILD_PACKAGES=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-translations-l10n fonts-arphic-uming libnm-dev)
TEST_PACKAGES=(libgtest-dev libbenchmark-dev libssl-dev clang libclang-rt-14-dev xvfb xdotool xclip x11-utils imagemagick
    dpkg-dev desktop-file-utils appstream g++-mingw-w64-i686 binutils-mingw-w64-i686
    hostapd wpasupplicant network-manager dnsmasq-base dbus iproute2 openssl python3)

# Wine and the Chinese locale that gives Wine code page 936 as its ANSI code
# page. 32-bit Wine where the kernel runs 32-bit programs; elsewhere 64-bit
# Wine alone, with the compiler for the 64-bit build that runs under it, and
# neither the i386 architecture nor wine32, which could never start there.
ensure_wine() {
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    if [ "$("$(dirname "${BASH_SOURCE[0]}")/wine-width" 2>/dev/null)" = 32 ]; then
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            $sudo dpkg --add-architecture i386
            $sudo apt-get update -qq
        fi
        ensure_packages wine wine32:i386 wine64 locales
    else
        ensure_packages wine wine64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 locales
    fi
    if ! locale -a | grep -qix 'zh_CN.utf-\?8'; then
        $sudo localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
    fi
}
