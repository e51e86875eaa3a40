#!/usr/bin/env bash
# Start-up time (to the window mapped) and memory of PortAuth, each as a ratio
# to a bare Qt window of the same size, measured in the same run on a virtual
# display. A second reference, the bare window with one line of Chinese text,
# shows how much of the difference any window with such text pays.
#   usage: bench/window/startup.sh BUILD_DIR [RUNS]
set -euo pipefail
build=${1:?usage: startup.sh BUILD_DIR [RUNS]}
runs=${2:-20}
bench=$build/bench/window/window_bench
program=$build/app/PortAuth

work=$(mktemp -d)
# Xvfb picks a free display itself and reports its number once it is ready.
coproc XVFB { exec Xvfb -displayfd 1 -noreset -screen 0 1024x768x24 -dpi 96 -nolisten tcp 2>/dev/null; }
xvfb_pid=$XVFB_PID
trap 'kill $xvfb_pid 2>/dev/null; rm -rf "$work"' EXIT
read -r -t 10 display <&"${XVFB[0]}" || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display" XDG_CONFIG_HOME=$work QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work

# Interleaved, so that all three see the same machine.
for _ in $(seq "$runs"); do
    "$bench" startup "$bench" bare-window >>"$work/bare"
    "$bench" startup "$bench" label-window >>"$work/label"
    "$bench" startup "$program" >>"$work/portauth"
done

median() { # file column
    cut -d' ' -f"$2" "$1" | sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'
}
row() { # title column unit decimals
    local bare label ours
    bare=$(median "$work/bare" "$2"); label=$(median "$work/label" "$2"); ours=$(median "$work/portauth" "$2")
    awk -v t="$1" -v u="$3" -v d="$4" -v b="$bare" -v l="$label" -v o="$ours" 'BEGIN {
        f = "%9." d "f %-3s "
        printf "%-26s " f f f "%6.2f %6.2f\n", t, o, u, b, u, l, u, o / b, o / l }'
}
printf "%-26s %13s %13s %13s %6s %6s\n" "medians of $runs starts" PortAuth "bare window" "with text" "/bare" "/text"
row "start-up to window mapped" 1 ms 1
row "resident memory" 2 KiB 0
row "anonymous memory" 3 KiB 0
