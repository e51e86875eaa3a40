#!/usr/bin/env bash
# The set-up scripts leave the machine as they found it. Each runs from a
# copy of the tree, with apt, dpkg, sudo and the build tools replaced by stubs
# that log their calls, so nothing on the machine is installed or removed.
# Usage: scripts_test.sh SOURCE_DIR
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree=$work/tree stubs=$work/stubs calls=$work/calls
mkdir -p "$tree/scripts" "$tree/md5" "$stubs"
cp "$1"/scripts/{packages.sh,wine-width,make-cp936-table,check-package,check-windows} "$tree/scripts/"
cp "$1/CMakeLists.txt" "$tree/"
export PATH=$stubs:$PATH PORTAUTH_POLICY_RC_D=$work/policy-rc.d

stub() { printf '#!/bin/bash\necho "%s $*" >>%q\n%s\n' "$1" "$calls" "$2" >"$stubs/$1" && chmod +x "$stubs/$1"; }
stub sudo 'exec "$@"'
stub dpkg-query "[ -z \"\${INSTALLED:-}\" ] && exit 1; echo 'install ok installed'"
for tool in cmake ctest cpack; do stub $tool 'exit 1'; done
for tool in dpkg i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix; do stub $tool 'exit 0'; done
stub locale 'echo zh_CN.utf8'
# What the policy answers while apt-get runs.
stub apt-get "[ \$1 = update ] && exit; [ -x $PORTAUTH_POLICY_RC_D ] && { $PORTAUTH_POLICY_RC_D; echo policy \$? >>$calls; }; exit \${APT_STATUS:-0}"

failed=0
check() { # name condition
    if eval "$2"; then echo "PASS  $1"; else echo "FAIL  $1"; sed 's/^/      /' "$calls"; failed=$((failed + 1)); fi
    : >"$calls"
}
install_fails() { APT_STATUS=100 bash -c "source $tree/scripts/packages.sh && ensure_packages hostapd" >/dev/null 2>&1; }
logged() { grep -q -- "$1" "$calls"; }

check "a failed install leaves no policy-rc.d, which answered 101 during it" \
    '! install_fails && logged "policy 101" && [ ! -e "$PORTAUTH_POLICY_RC_D" ]'
printf '#!/bin/sh\nexit 0\n' >"$PORTAUTH_POLICY_RC_D"
cp "$PORTAUTH_POLICY_RC_D" "$work/administrators"
check "the administrator's own policy-rc.d stays as it was" \
    'install_fails; cmp -s "$PORTAUTH_POLICY_RC_D" "$work/administrators"'
rm "$PORTAUTH_POLICY_RC_D"

export INSTALLED=yes
echo "// the table before" >"$tree/md5/cp936_table.inc"
cp "$tree/md5/cp936_table.inc" "$work/table"
seq 0 99 | awk '{ printf "%04X : 3F\n", $1 }' >"$work/short"
awk 'BEGIN { for (u = 0; u < 65536; u++) printf "%04X : %02X\n", u, u < 128 ? u : 63 }' >"$work/dump"
# Windows' dump, as the stub of wine-run prints it.
printf '#!/bin/bash\ncat "$DUMP"\n' >"$tree/scripts/wine-run" && chmod +x "$tree/scripts/wine-run"
check "a short dump leaves the tracked table as it was" \
    '! DUMP=$work/short "$tree/scripts/make-cp936-table" 2>/dev/null && cmp -s "$tree/md5/cp936_table.inc" "$work/table"'
check "a whole dump replaces it" \
    'DUMP=$work/dump "$tree/scripts/make-cp936-table" >/dev/null && grep -q "{0x0000,0x0000,128}," "$tree/md5/cp936_table.inc"'

check "a portauth package installed before stays installed" \
    '"$tree/scripts/check-package" >/dev/null 2>&1; ! logged "apt-get.* remove"'
check "flags only for a check stay in the check's own build folder" \
    '"$tree/scripts/check-windows" >/dev/null 2>&1; logged "^cmake --preset" && ! grep "^cmake --preset.*Werror" "$calls" | grep -qv -- "-B build/check/"'
echo "$((6 - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
