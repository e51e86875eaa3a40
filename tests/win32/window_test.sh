#!/usr/bin/env bash
# Runs the Windows window test under Wine on a virtual display, at 96 and
# at 120 dpi.
set -uo pipefail
test_program=${1:?usage: window_test.sh WINDOW_TEST.EXE PORTAUTH.EXE PORTAUTH.ICO}
program=${2:?}
icon=${3:?}
e2e=$(cd "$(dirname "$0")/../e2e" && pwd)
source "$e2e/x_session.sh"
source "$e2e/wine_session.sh"

status=0
for dpi in 96 120; do
    echo "== $dpi dpi"
    set_logical_dpi "$dpi"
    wine "$test_program" "$dpi" "$(wine_path "$program")" "$(wine_path "$icon")" || status=1
done
exit $status
