#!/usr/bin/env bash
# Compares this project's code page 936 with Windows' own conversion: the
# same dumper, built natively and for Windows (run under Wine), must print
# the same bytes for every BMP code unit and for texts with surrogates.
# Usage: compare.sh NATIVE_DUMPER WINDOWS_DUMPER.exe WINE_RUN
set -euo pipefail
native=$1 windows=$2 wine_run=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Surrogates paired, unpaired, reversed and at either end, among ASCII,
# Chinese, the euro sign and best-fit replacements.
texts=(
    61,D83D,DE00,62 D83D,DE00 DBFF,DFFF D800,DC00,D800 D800 DFFF D800,D800 DC00,D800 61,D800 DC00,61
    4E2D,D840,DC00,6587 20AC,A5,D83D,41,2F00,FFFD A2,DC00,F913,B2,D83D,DE00,3236
)

"$native" >"$work/native.txt"
"$native" "${texts[@]}" >>"$work/native.txt"
"$wine_run" "$windows" >"$work/windows.txt"
"$wine_run" "$windows" "${texts[@]}" >>"$work/windows.txt"

# Lines 1 to 65,536 are the single code units U+0000 to U+FFFF in order.
paste -d '\t' "$work/native.txt" "$work/windows.txt" | awk -F'\t' -v texts=${#texts[@]} '
    NR <= 65536 { kind = (NR - 1 >= 55296 && NR - 1 <= 57343) ? "surrogate" : "bmp" } # U+D800 to U+DFFF
    NR > 65536 { kind = "text" }
    { total[kind]++; if ($1 == $2) equal[kind]++; else if (shown++ < 20) print "differs: ours " $1 ", Windows " $2 }
    END {
        printf "BMP code points: %d of %d equal\n", equal["bmp"], total["bmp"]
        printf "lone surrogates: %d of %d equal\n", equal["surrogate"], total["surrogate"]
        printf "texts with surrogates: %d of %d equal\n", equal["text"], total["text"]
        exit !(total["bmp"] == 63488 && total["surrogate"] == 2048 && total["text"] == texts &&
               equal["bmp"] + equal["surrogate"] + equal["text"] == NR)
    }'
