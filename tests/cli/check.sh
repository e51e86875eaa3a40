# shellcheck shell=bash
# Sourced by the CLI tests: runs one named check, keeps count of failures.
failed=0

check() {
    local name=$1
    shift
    if "$@" >check.log 2>&1; then echo "PASS  $name"; else
        echo "FAIL  $name" && sed 's/^/      /' check.log && failed=$((failed + 1)); fi
}

md5_of() { openssl md5 -r | cut -c1-32; }
