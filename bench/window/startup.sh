#!/usr/bin/env bash
# Start-up time (to the window mapped) and resident memory of PortAuth, each
# as a ratio to a bare Qt window of the same size, measured in the same run on
# a virtual display. Usage: bench/window/startup.sh BUILD_DIR [RUNS]
set -euo pipefail
build=${1:?usage: startup.sh BUILD_DIR [RUNS]}
runs=${2:-20}
bench=$build/bench/window/window_bench
program=$build/app/PortAuth

display=""
for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { display=":$n"; break; }
done
Xvfb "$display" -screen 0 1024x768x24 -dpi 96 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
config=$(mktemp -d)
trap 'kill $xvfb_pid 2>/dev/null; rm -rf "$config"' EXIT
export DISPLAY=$display XDG_CONFIG_HOME=$config QT_QPA_PLATFORM=xcb
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }

# Interleaved, so both see the same machine state.
: >"$config/bare" ; : >"$config/portauth"
for _ in $(seq "$runs"); do
    "$bench" startup "$bench" bare-window >>"$config/bare"
    "$bench" startup "$program" >>"$config/portauth"
done
bare_ms=$(cut -d' ' -f1 "$config/bare" | median)
bare_kib=$(cut -d' ' -f2 "$config/bare" | median)
bare_anon=$(cut -d' ' -f3 "$config/bare" | median)
ours_ms=$(cut -d' ' -f1 "$config/portauth" | median)
ours_kib=$(cut -d' ' -f2 "$config/portauth" | median)
ours_anon=$(cut -d' ' -f3 "$config/portauth" | median)
awk -v bm="$bare_ms" -v bk="$bare_kib" -v bp="$bare_anon" \
    -v om="$ours_ms" -v ok="$ours_kib" -v op="$ours_anon" -v n="$runs" 'BEGIN {
    printf "medians of %d starts         PortAuth   bare Qt window   ratio\n", n
    printf "start-up to window mapped  %7.1f ms  %10.1f ms   %5.2f\n", om, bm, om / bm
    printf "resident memory            %7d KiB %10d KiB  %5.2f\n", ok, bk, ok / bk
    printf "anonymous memory           %7d KiB %10d KiB  %5.2f\n", op, bp, op / bp
}'
