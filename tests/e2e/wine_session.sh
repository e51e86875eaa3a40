# Sourced after x_session.sh by the scripts that run Windows programs: a
# Wine prefix of the run's own, on the run's virtual display.

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine.sh"
use_wine_for "$program" || exit 1
echo "# $wine_kind"
export WINEPREFIX=$work/wine WINEDEBUG=-all
# Wine's ANSI code page follows the locale: 936, as on a Chinese Windows.
export LANG=zh_CN.UTF-8
# No Mono or Gecko: nothing here needs them, and asking for them would stall.
export WINEDLLOVERRIDES="mscoree,mshtml="

wine_reg() {
    local said
    said=$(wine reg "$@" 2>&1) || { echo "FAIL wine reg $*: $said"; return 1; }
}

boot_wine_prefix 2>&1 || { echo "FAIL no Wine prefix"; exit 1; }
# With no window manager on the display, Wine draws the frame and caption
# itself, as Windows does, and closes a window without waiting for one.
wine_reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
# Windows' own scroll-bar grey, which Wine leaves white like the boxes, and
# a window-text colour other than the black a device context starts with.
wine_reg add 'HKCU\Control Panel\Colors' /v Scrollbar /t REG_SZ /d "200 200 200" /f
wine_reg add 'HKCU\Control Panel\Colors' /v WindowText /t REG_SZ /d "0 0 160" /f
# The colours are read when the server starts.
wineserver -w

set_logical_dpi() { wine_reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f; }

private_files=$WINEPREFIX

# A value of the program's key, as user.reg holds it once the server has
# written it out.
stored_value() {
    wineserver -w
    awk -v name="\"$1\"=" '/^\[/ { inside = ($0 ~ /^\[Software\\\\Lanbridge\\\\PortAuth\]/) }
        inside && index($0, name) == 1 { print substr($0, length(name) + 1) }' "$WINEPREFIX/user.reg"
}

start_program() {
    "$wine_program" "$program" &
    app_pid=$!
    window=$(wait_for_window "$app_pid" 20)
    [ -n "$window" ] || { echo "FAIL PortAuth.exe showed no window"; exit 1; }
    # A server started afresh is still starting its desktop process.
    sleep 1
    xdotool windowfocus --sync "$window"
    sleep 0.3
}

# xdotool types a character no key makes by remapping a key for a moment,
# which Wine, having read the keyboard map at start, never sees: the Chinese
# part is pasted instead.
type_password() {
    type_text "${1%中文}"
    printf '%s' "中文" | xclip -selection clipboard -i
    press ctrl+v
}

trap 'wineserver -k 2>/dev/null; cleanup' EXIT
