#!/usr/bin/env bash
# Kills the real program with SIGKILL at random moments while it stores the
# account name keystroke by keystroke, KILLS times. After every kill the
# settings file, read from outside, must be whole: the group, the address and
# a user name that is some prefix of what was being typed. Every start must
# then show its window and save again, whatever the kill before it left.
set -uo pipefail
program=${1:?usage: kill_test.sh PROGRAM [KILLS]}
kills=${2:-100}
source "$(dirname "$0")/x_session.sh"

address=10.0.0.5
letters=abcdefghijklmnopqrstuvwxyz
# Long enough that most kills within the first 150 ms land mid-typing.
tail_text=$letters$letters
printf '[PortAuth]\nIP=%s\nUsername=\n' "$address" >"$settings_file"
lock_file=$settings_file.lock

whole_file_with() { # user name
    printf '[PortAuth]\nIP=%s\nUsername=%s\n' "$address" "$1"
}

milliseconds() { echo $(($(date +%s%N) / 1000000)); }

# Starts the program and types the first letter into the account box; the
# letter differs from the last run's, so seeing it on disk proves this start
# saved. Sets start_ms to how long that took.
start_and_type_first() { # letter
    local begin expected
    begin=$(milliseconds)
    start_program
    xdotool key Tab type -- "$1"
    expected=$(whole_file_with "$1")
    for _ in $(seq 250); do
        if [ "$(cat "$settings_file" 2>/dev/null)" == "$expected" ]; then
            start_ms=$(($(milliseconds) - begin))
            return 0
        fi
        sleep 0.02
    done
    check "a start saves its first keystroke" "$(cat "$settings_file")" "$expected"
    return 1
}

# The length of the typed prefix the file holds, or nothing when the file
# is not exactly the whole file with such a prefix.
stored_prefix_length() { # typed text
    local content name
    content=$(cat "$settings_file" 2>/dev/null; echo .)
    name=$(sed -n 's/^Username=//p' "$settings_file" 2>/dev/null)
    [ "$content" == "$(whole_file_with "$name")"$'\n'. ] || return 0
    [ -n "$name" ] && [ "${1:0:${#name}}" == "$name" ] && echo "${#name}"
}

declare -A states=()
locks_left=0
empty_locks_left=0
slowest_after_empty_lock=0
slowest_after_lock=0
slowest_start=0
lock_before=""
note_start_time() {
    [ "$start_ms" -gt "$slowest_start" ] && slowest_start=$start_ms
    if [ "$lock_before" == empty ] && [ "$start_ms" -gt "$slowest_after_empty_lock" ]; then
        slowest_after_empty_lock=$start_ms
    elif [ "$lock_before" == owned ] && [ "$start_ms" -gt "$slowest_after_lock" ]; then
        slowest_after_lock=$start_ms
    fi
}

started=$(date +%s)
for ((i = 0; i < kills; i++)); do
    typed="${letters:i%26:1}$i-$tail_text"
    start_and_type_first "${typed:0:1}" || break
    note_start_time

    xdotool type --delay 1 -- "${typed:1}" &
    typist=$!
    sleep "$(printf '0.%03d' $((RANDOM % 150)))"
    kill_program
    # Stopping xdotool between the press and the release of a key would
    # leave that key down, and the next start would lose its first press.
    wait "$typist"

    length=$(stored_prefix_length "$typed")
    if [ -z "$length" ]; then
        check "file whole after kill $i" "$(od -c "$settings_file" | head -n 8)" "$(whole_file_with "${typed:0:3}...")"
        break
    fi
    if [ "$length" -eq 1 ]; then
        state="only the first keystroke"
    elif [ "$length" -eq "${#typed}" ]; then
        state="all keystrokes"
    else
        state="some of the keystrokes"
    fi
    states[$state]=$((${states[$state]:-0} + 1))

    lock_before=""
    if [ -s "$lock_file" ]; then
        lock_before=owned
        locks_left=$((locks_left + 1))
    elif [ -e "$lock_file" ]; then
        lock_before=empty
        empty_locks_left=$((empty_locks_left + 1))
    fi
done
seconds=$(($(date +%s) - started))
# Whatever the last kill left behind must not block a start either.
if [ "$i" -eq "$kills" ] && start_and_type_first "."; then
    note_start_time
    stop_program
fi

temporaries=$(cd "$XDG_CONFIG_HOME" && find . -name 'Lanbridge.ini.??????' | wc -l)
echo "kills: $i in $seconds s"
for state in "${!states[@]}"; do echo "  the file held $state: ${states[$state]}"; done
echo "  lock files left by a kill: $locks_left with their owner, $empty_locks_left empty"
echo "  start to first save: slowest $slowest_start ms; after an owned lock $slowest_after_lock ms," \
     "after an empty lock $slowest_after_empty_lock ms"
echo "  temporary copies of the file left behind: $temporaries"
check "kills survived with a whole file" "$i" "$kills"
finish
