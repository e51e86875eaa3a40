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
    $sudo apt-get update -qq
    without_service_starts env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    keep_network_manager_off "${missing[@]}"
}

# Test tools such as hostapd and NetworkManager are daemons; their packages
# must not start them on this machine. Debian's maintainer scripts start no
# service while /usr/sbin/policy-rc.d answers 101.
without_service_starts() {
    local policy=/usr/sbin/policy-rc.d status
    [ -e $policy ] && { $sudo "$@"; return; }
    printf '#!/bin/sh\nexit 101\n' | $sudo tee $policy >/dev/null && $sudo chmod 755 $policy
    $sudo "$@"
    status=$?
    $sudo rm -f $policy
    return $status
}

# The tests need only nmcli, which comes with NetworkManager itself. Where
# systemd runs, the package also enables the daemon for the next boot, when
# it would take over the machine's wired ports.
keep_network_manager_off() {
    [[ " $* " == *" network-manager "* ]] && [ -d /run/systemd/system ] || return 0
    $sudo systemctl disable --quiet NetworkManager.service NetworkManager-wait-online.service \
        NetworkManager-dispatcher.service
}

BUILD_PACKAGES=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-translations-l10n fonts-arphic-uming)
TEST_PACKAGES=(libgtest-dev libbenchmark-dev libssl-dev clang libclang-rt-14-dev xvfb xdotool xclip x11-utils imagemagick
    dpkg-dev desktop-file-utils appstream g++-mingw-w64-i686 binutils-mingw-w64-i686
    hostapd wpasupplicant network-manager iproute2 openssl python3)

# Wine for 32-bit Windows programs, and the Chinese locale that gives Wine
# code page 936 as its ANSI code page.
ensure_wine() {
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
        $sudo apt-get update -qq
    fi
    ensure_packages wine wine32:i386 wine64 locales
    if ! locale -a | grep -qix 'zh_CN.utf-\?8'; then
        $sudo localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
    fi
}
