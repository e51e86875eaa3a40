#!/usr/bin/env bash
# Runs the Windows window test under Wine on a virtual display, at 96 and
# at 120 dpi: window_test.sh WINDOW_TEST.EXE
set -uo pipefail
program=$1
source "$(dirname "$0")/../e2e/x_session.sh"
source "$(dirname "$0")/../e2e/wine_session.sh"

status=0
for dpi in 96 120; do
    echo "== $dpi dpi"
    set_logical_dpi "$dpi"
    LOGICAL_DPI=$dpi wine "$1" || status=1
done
exit $status
