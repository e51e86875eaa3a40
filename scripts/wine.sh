# shellcheck shell=bash
# Sourced by whatever runs Windows programs under Wine. `use_wine_for PROGRAM`
# points wine, wineboot and wineserver at the Wine that runs PROGRAM, names its
# loader in `wine_program` and says which Wine it is in `wine_kind`. A 64-bit program gets 64-bit Wine, called directly:
# Debian's wine picks the 32-bit loader whenever wine32 is installed, even for
# a 64-bit program, and that loader cannot start on a kernel that runs no
# 32-bit programs. A 32-bit program gets the system's wine.

# PE32+ files carry 0x20b as the optional header's magic, 24 bytes after the
# start of the PE header, whose offset stands at byte 60.
is_64_bit_program() {
    local at magic
    at=$(od -An -t u4 -j 60 -N 4 "$1") || return
    magic=$(od -An -t x2 -j $((at + 24)) -N 2 "$1") || return
    [ "${magic// /}" = 020b ]
}

use_wine_for() {
    [ -f "$1" ] || { echo "no such program: $1" >&2; return 1; }
    if is_64_bit_program "$1"; then
        export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
        wine() { /usr/lib/wine/wine64 "$@"; }
        wineboot() { /usr/lib/wine/wine64 wineboot "$@"; }
        wineserver() { /usr/lib/wine/wineserver64 "$@"; }
        wine_program=/usr/lib/wine/wine64
        wine_kind="64-bit Wine, $wine_program"
    else
        unset -f wine wineboot wineserver
        wine_program=wine
        wine_kind="32-bit Wine, $(command -v wine || echo 'wine (not installed)')"
    fi
}

# Makes the prefix if it is not there yet; when Wine cannot start, says which
# Wine was tried and what it printed.
boot_wine_prefix() {
    [ -f "$WINEPREFIX/system.reg" ] && return
    local log
    log=$(wineboot -i 2>&1) && return
    echo "$wine_kind could not make a Wine prefix in $WINEPREFIX:" >&2
    printf '%s\n' "$log" >&2
    return 1
}
