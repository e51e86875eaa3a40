#!/usr/bin/env bash
# The same dumper, built natively (this project's code page 936) and for
# Windows (the system's own, run under Wine), must print the same lines.
# Usage: compare.sh NATIVE_DUMPER WINDOWS_DUMPER.exe WINE_RUN
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$1" >"$work/native.txt"
"$3" "$2" >"$work/windows.txt"
if ! diff "$work/native.txt" "$work/windows.txt" >"$work/differences"; then
    echo "ours <, Windows >:" && head -n 40 "$work/differences" && exit 1
fi
echo "$(wc -l <"$work/native.txt") texts converted alike"
