#!/usr/bin/env bash
# End-to-end tests of the real Windows program under Wine, each in a throw-away folder.
#   end-to-end.sh CASE BRIMLET_EXE HOLDER_EXE LINUX_PROGRAM EMULATOR...
# CASE is help, pattern, log, mutex or same-output. EMULATOR is the command that runs a
# Windows program. Exit status 77 means the case could not run here.
set -euo pipefail

case_name=$1
brimlet_exe=$(realpath -m "$2")
holder_exe=$(realpath -m "$3")
linux_program=$(realpath -m "$4")
shift 4
emulator=("$@")
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The local wall clock is UTC for both programs, so that the stamps below are easy to
# make; the user locale is fixed unless a case names another.
export TZ=UTC LC_ALL=en_US.UTF-8

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# A copy of the program in a folder of its own, as a user installs it.
install_program() {
    mkdir -p "$1"
    cp "$brimlet_exe" "$1/brimlet.exe"
}

# Runs the program of folder $1 from the current directory with the remaining
# arguments; its output goes to $work/out, its exit status to $status.
run() {
    local folder=$1
    shift
    status=0
    "${emulator[@]}" "$folder/brimlet.exe" "$@" >"$work/out" 2>"$work/err" || status=$?
}

# The run printed exactly $1 and ended with status $2 (0 unless given).
expect_output() {
    local actual
    actual=$(cat "$work/out"; echo x)
    [[ $status == "${2:-0}" && "${actual%x}" == "$1" ]] || fail "status $status, output '${actual%x}', expected '$1'"
}

# FILETIME of a moment given in seconds since 1970 on the (UTC) local clock.
filetime() { echo $((($1 + 11644473600) * 10000000)); }

# Little-endian bytes of integers, as printf escapes: value and byte count in pairs.
little_endian() {
    local i
    while (($# > 0)); do
        for ((i = 0; i < $2; i++)); do printf '\\x%02x' $((($1 >> (8 * i)) & 255)); done
        shift 2
    done
}

# Unsigned little-endian integer of $3 bytes at offset $2 of file $1.
read_number() { od -An -j "$2" -N "$3" -t "u$3" "$1" | tr -d ' '; }

case_help() {
    install_program "$work/app"
    sed 's/$/\r/' "$here/../help-page.txt" >"$work/expected"
    # Standard output is in text mode: every line ends in CR LF. Wine lists no adapter.
    # "list help" connects a second time for the list, whose dump is empty here.
    for arguments in help "" "list help"; do
        # shellcheck disable=SC2086
        run "$work/app" $arguments
        [[ $status == 0 ]] && cmp "$work/expected" "$work/out" || fail "'$arguments': status $status or the page differs"
    done
    [[ ! -e "$work/app/traffic" ]] || fail "the help page wrote a database"
}

case_pattern() {
    install_program "$work/app"
    mkdir "$work/elsewhere"
    cd "$work/elsewhere"
    local before after database="$work/app/traffic" start
    before=$(filetime $(($(date +%s) / 86400 * 86400)))
    run "$work/app" "%t bytes"
    after=$(filetime $(($(date +%s) + 1)))
    expect_output "0 bytes"

    # Beside the program, not in the current directory: one record, no adapter.
    [[ -z "$(ls -A "$work/elsewhere")" ]] || fail "files in the current directory: $(ls -A)"
    [[ $(stat -c %s "$database") == 13 && $(read_number "$database" 0 4) == 1 ]] || fail "not one record beside the program"
    start=$(read_number "$database" 4 8)
    ((start >= before && start <= after)) || fail "record start $start not within today ($before to $after)"
    [[ $(read_number "$database" 12 1) == 0 ]] || fail "entries in a record of a computer without adapters"

    # The same boot and day: the same record again.
    run "$work/app" "%u"
    expect_output "0"
    [[ $(stat -c %s "$database") == 13 && $(read_number "$database" 4 8) == "$start" ]] ||
        fail "the second run changed the record"
    [[ $(ls -A "$work/app" | LC_ALL=C sort | tr '\n' ' ') == ".traffic.state brimlet.exe traffic " ]] ||
        fail "left in the program's folder: $(ls -A "$work/app")"
    # The run state names the boot by its time in UTC (after its count and fingerprint).
    [[ $(read_number "$work/app/.traffic.state" 9 8) != 0 ]] || fail "no boot time in the run state"

    # A failing connection reports and leaves every database as it was.
    cp "$database" "$work/saved"
    run "$work/app" server nosuchserver "%u"
    expect_output "Program Exception: Failed to connect server." 1
    [[ ! -e "$work/app/traffic.nosuchserver" ]] && cmp -s "$database" "$work/saved" || fail "a failed run wrote"

    # A program deeper in the folders than the 260 characters of old Windows paths.
    local deep="$work/deep"
    while ((${#deep} < 300)); do deep+=/folder; done
    install_program "$deep"
    run "$deep" "%u"
    expect_output "0"
    [[ -f "$deep/traffic" ]] || fail "no database beside a program in a deep folder"
}

case_log() {
    install_program "$work/app"
    mkdir "$work/cwd"
    cd "$work/cwd"
    run "$work/app" log "%u"
    expect_output "0"
    [[ -f traffic.log && ! -e "$work/app/traffic.log" ]] || fail "traffic.log not in the current directory"
    local stamp='[0-9]{1,2}/[0-9]{1,2}/[0-9]{4} [0-9]{1,2}:[0-9]{2}:[0-9]{2} (AM|PM)'
    grep -Pzq "^Application start: $stamp\r\n\r\nboot @ $stamp\r\n\r\n\$" traffic.log || fail "log: $(cat -A traffic.log)"

    # Appended, never replaced; "log" after "help" is not looked at.
    run "$work/app" log log "%d"
    run "$work/app" help log
    [[ $(grep -c "^Application start: " traffic.log) == 3 && $(wc -l <traffic.log) == 9 ]] || fail "log: $(cat -A traffic.log)"
}

# Starts the mutex holder for $1 milliseconds and waits until it holds the mutex.
hold_mutex() {
    "${emulator[@]}" "$holder_exe" "$1" >"$work/holder" 2>"$work/holder-err" &
    holder=$!
    for _ in $(seq 200); do
        grep -q held "$work/holder" && return
        kill -0 "$holder" 2>/dev/null || fail "the holder could not take the mutex: $(cat "$work/holder-err")"
        sleep 0.1
    done
    fail "the holder did not take the mutex"
}

case_mutex() {
    install_program "$work/app"
    cd "$work"
    # Held past the 5000 ms wait: the run ends silently with -1, seen here as 255.
    hold_mutex 8000
    local started ended
    started=$(date +%s%N)
    run "$work/app" "%u"
    ended=$(date +%s%N)
    [[ $status == 255 && ! -s "$work/out" && ! -e "$work/app/traffic" ]] || fail "status $status without the mutex"
    (((ended - started) / 1000000 >= 4500)) || fail "gave up after $(((ended - started) / 1000000)) ms"
    wait "$holder"

    # Held for a moment, then abandoned by its holder: the run waits and goes on.
    hold_mutex 1500
    run "$work/app" "%u"
    expect_output "0"
    wait "$holder"
}

# A database with records before this month, this month, and today, for three adapters.
write_database() {
    local today=$(($(date +%s) / 86400 * 86400)) month
    month=$(date -d "$(date +%Y-%m-01) 00:00" +%s)
    printf "$(little_endian 4 4 "$(filetime $((month - 40 * 86400)))" 8 2 1 1000 8 2000 8 5 8 7 8 \
        "$(filetime "$month")" 8 3 1 1536 8 1048575 8 $((10 * 1048576)) 8 3000000000 8 1 8 1 8 \
        "$(filetime "$today")" 8 2 1 1152 8 99 8 $((1 << 31)) 8 $(((1 << 32) + 5)) 8 \
        "$(filetime $((today + 1)))" 8 1 1 $((3 << 39)) 8 1234567 8)" >"$1"
}

case_same_output() {
    [[ -x "$linux_program" ]] || { echo "no Linux build at $linux_program"; exit 77; }
    # The Linux program meets no adapter in a network namespace of its own, as the
    # Windows program meets none under Wine: both print the prepared database alone.
    unshare -n true 2>/dev/null || { echo "no private network namespace here"; exit 77; }
    local pattern='%u|%d|%t|%ku|%md|%gt|%et|%su|%sd|%st|%skd|%au|%ad|%at|%Dau|%Dad|%Mau|%Mat|%Dt|%Mt'
    pattern+='|%n0u|%n1d|%n2t|%n5t|%n1au|%Dn1ad|%Msn0t|100%%|%b|%xu|%k KB %u| %a'
    for locale in en_US.UTF-8 de_DE.UTF-8; do
        rm -rf "$work/linux" "$work/windows"
        mkdir "$work/linux" "$work/windows"
        cp "$linux_program" "$work/linux/brimlet"
        install_program "$work/windows"
        write_database "$work/linux/traffic"
        cp "$work/linux/traffic" "$work/windows/traffic"
        cd "$work"
        LC_ALL=$locale unshare -n "$work/linux/brimlet" "$pattern" >"$work/linux.out"
        LC_ALL=$locale run "$work/windows" "$pattern"
        [[ $status == 0 ]] || fail "$locale: exit status $status"
        # Windows writes its line breaks as CR LF.
        sed 's/\r$//' "$work/out" >"$work/windows.out"
        cmp "$work/linux.out" "$work/windows.out" ||
            fail "$locale: Linux '$(cat "$work/linux.out")', Windows '$(cat "$work/windows.out")'"
        grep -q '1,50T\|1.50T' "$work/linux.out" || fail "$locale: the prepared database was not read"
    done
}

"case_${case_name//-/_}"
echo "passed: $case_name"
