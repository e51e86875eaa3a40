#!/usr/bin/env bash
# portauth-cli.exe under Wine, as a Chinese Windows runs it: the arguments
# arrive as Unicode, a piped password in code page 936 as a Chinese console's
# programs write it (or as UTF-8 with --stdin-utf8), the password is hashed
# in Windows' code page 936 (密 C3 DC, 码 C2 EB, and ¥ A3 A4 by best fit,
# written out by hand), the output leaves as UTF-8, and a refusal is one line,
# in Chinese. 位 is CE BB in GBK, which as UTF-8 would be λ. On a
# console (Wine makes one of a terminal) the password is asked for and read
# without echo; Enter sends a carriage return there.
# Usage: windows_cli_test.sh PORTAUTH-CLI.EXE WINE-RUN
set -uo pipefail
digest=$(printf '\xc3\xdc\xc2\xeb\xa3\xa42024' | openssl md5 -r | cut -c1-32)
derived=$(printf '\xc3\xdc\xc2\xeb\xa3\xa42024\n' | "$2" "$1" derive --json --account ' 张三' --ip 1 --password-stdin)
[ "$derived" = "{\"username\":\"张三@1\",\"password\":\"$digest\",\"domain\":\"\"}" ] || { echo "derived: $derived"; exit 1; }
derived=$(printf '\xce\xbb\n' | "$2" "$1" derive --account a --ip 1 --password-stdin; printf '密码¥2024\n' | "$2" "$1" derive --account a --ip 1 --stdin-utf8)
[ "$derived" = $'a@1\n6af8e2f02f674b41b6ccf43debc252d2\n\na@1\n'"$digest" ] || { echo "derived: $derived"; exit 1; }
refusal=$(printf '\x81\n' | "$2" "$1" derive --account a --ip 1 --password-stdin 2>&1 >/dev/null) && { echo "a lone GBK lead byte was taken"; exit 1; }
[[ $refusal == *代码页\ 936* ]] || { echo "refusal: $refusal"; exit 1; }
prompted=$({ sleep 5; printf 'S3cretpw\r'; sleep 5; } | script -qfec "$(printf "%q " "$2" "$1")derive --account a --ip b" /dev/null)
[[ $prompted == *密码：* && $prompted != *S3cretpw* && $prompted == *55884d43c936a23641b70c0ec7e6de72* ]] || { echo "prompted: $prompted"; exit 1; }
refusal=$("$2" "$1" derive --password "$digest" 2>&1 >/dev/null) && { echo "a password on the command line was taken"; exit 1; }
[[ $refusal == *密码不从命令行读取* && $refusal != *$'\n'* ]] || { echo "refusal: $refusal"; exit 1; }
