# Sourced after x_session.sh by the scripts that run Windows programs: a
# Wine prefix of the run's own, on the run's virtual display.

export WINEPREFIX=$work/wine
export WINEDEBUG=-all
# Wine's ANSI code page follows the locale: 936, as on a Chinese Windows.
export LANG=zh_CN.UTF-8
# No Mono or Gecko: nothing here needs them, and asking for them would stall.
export WINEDLLOVERRIDES="mscoree,mshtml="

wine_reg() { wine reg "$@" >/dev/null 2>&1; }

wineboot -i >/dev/null 2>&1 || { echo "FAIL wineboot could not make a Wine prefix"; exit 1; }
# With no window manager on the display, Wine draws the frame and caption
# itself, as Windows does, and closes a window without waiting for one.
wine_reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
# Windows' own scroll-bar grey, which Wine leaves white like the boxes.
wine_reg add 'HKCU\Control Panel\Colors' /v Scrollbar /t REG_SZ /d "200 200 200" /f
# The colours are read when the server starts.
wineserver -w

set_logical_dpi() { wine_reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f; }

# The registry reaches user.reg when the server has written it out.
flush_registry() { wineserver -w; }

wine_path() { winepath -w "$1" 2>/dev/null; }

trap 'wineserver -k 2>/dev/null; cleanup' EXIT
