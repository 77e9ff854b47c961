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

expect_output() {
    local expected=$1
    local actual
    actual=$(cat "$work/out"; echo x)
    actual=${actual%x}
    [[ "$actual" == "$expected" ]] || fail "output '$actual', expected '$expected'"
}

# FILETIME of a moment given in seconds since 1970 on the (UTC) local clock.
filetime() { echo $((($1 + 11644473600) * 10000000)); }

# Little-endian bytes of an integer, as printf escapes.
little_endian() {
    local value=$1 bytes=$2 i
    for ((i = 0; i < bytes; i++)); do
        printf '\\x%02x' $(((value >> (8 * i)) & 255))
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
        [[ $status == 0 ]] || fail "'$arguments': exit status $status"
        cmp "$work/expected" "$work/out" || fail "'$arguments': the help page differs"
    done
    [[ $(wc -l <"$work/out") == 44 ]] || fail "the help page has not 44 lines"
    [[ ! -e "$work/app/traffic" ]] || fail "the help page wrote a database"
}

case_pattern() {
    install_program "$work/app"
    mkdir "$work/elsewhere"
    cd "$work/elsewhere"
    local before after
    before=$(filetime $(($(date +%s) / 86400 * 86400)))
    run "$work/app" "%t bytes"
    after=$(filetime $(($(date +%s) + 1)))
    [[ $status == 0 ]] || fail "exit status $status"
    expect_output "0 bytes"

    # Beside the program, not in the current directory: one record, no adapter.
    local database="$work/app/traffic"
    [[ -f "$database" ]] || fail "no database beside the program"
    [[ -z "$(ls -A "$work/elsewhere")" ]] || fail "files in the current directory: $(ls -A)"
    [[ $(stat -c %s "$database") == 13 ]] || fail "database of $(stat -c %s "$database") bytes"
    [[ $(read_number "$database" 0 4) == 1 ]] || fail "record count $(read_number "$database" 0 4)"
    local start
    start=$(read_number "$database" 4 8)
    ((start >= before && start <= after)) || fail "record start $start not within today ($before to $after)"
    [[ $(read_number "$database" 12 1) == 0 ]] || fail "entries in a record of a computer without adapters"

    # The same boot and day: the same record again.
    run "$work/app" "%u"
    expect_output "0"
    [[ $(stat -c %s "$database") == 13 && $(read_number "$database" 4 8) == "$start" ]] ||
        fail "the second run changed the record"
    [[ $(ls -A "$work/app" | sort | tr '\n' ' ') == "brimlet.exe traffic " ]] ||
        fail "left in the program's folder: $(ls -A "$work/app")"

    # A failing connection reports and leaves every database as it was.
    cp "$database" "$work/saved"
    run "$work/app" server nosuchserver "%u"
    expect_output "Program Exception: Failed to connect server."
    [[ $status == 0 && ! -e "$work/app/traffic.nosuchserver" ]] || fail "failed run: status $status, or a database"
    cmp -s "$database" "$work/saved" || fail "a failed run changed the database"

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
    [[ -f "$work/cwd/traffic.log" && ! -e "$work/app/traffic.log" ]] || fail "traffic.log not in the current directory"
    local stamp='[0-9]{1,2}/[0-9]{1,2}/[0-9]{4} [0-9]{1,2}:[0-9]{2}:[0-9]{2} (AM|PM)'
    local pattern="^Application start: $stamp\r\n\r\nboot @ $stamp\r\n\r\n\$"
    grep -Pzq "$pattern" "$work/cwd/traffic.log" || fail "log: $(cat -A "$work/cwd/traffic.log")"

    # Appended, never replaced; "log" after "help" is not looked at.
    run "$work/app" log log "%d"
    run "$work/app" help log
    [[ $(grep -c "^Application start: " "$work/cwd/traffic.log") == 3 ]] || fail "log: $(cat -A traffic.log)"
    [[ $(wc -l <"$work/cwd/traffic.log") == 9 ]] || fail "log: $(cat -A traffic.log)"
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
    [[ $status == 255 ]] || fail "exit status $status while the mutex was held"
    [[ ! -s "$work/out" && ! -e "$work/app/traffic" ]] || fail "a run without the mutex did something"
    (((ended - started) / 1000000 >= 4500)) || fail "gave up after $(((ended - started) / 1000000)) ms"
    wait "$holder"

    # Held for a moment, then abandoned by its holder: the run waits and goes on.
    hold_mutex 1500
    run "$work/app" "%u"
    [[ $status == 0 ]] || fail "exit status $status after the holder ended"
    expect_output "0"
    wait "$holder"
}

# A database with records before this month, this month, and today, for three adapters.
write_database() {
    local now today month
    now=$(date +%s)
    today=$((now / 86400 * 86400))
    month=$(date -d "$(date +%Y-%m-01) 00:00" +%s)
    printf "$(
        little_endian 4 4
        little_endian "$(filetime $((month - 40 * 86400)))" 8
        little_endian 2 1
        little_endian 1000 8; little_endian 2000 8
        little_endian 5 8; little_endian 7 8
        little_endian "$(filetime "$month")" 8
        little_endian 3 1
        little_endian 1536 8; little_endian 1048575 8
        little_endian $((10 * 1048576)) 8; little_endian 3000000000 8
        little_endian 1 8; little_endian 1 8
        little_endian "$(filetime "$today")" 8
        little_endian 2 1
        little_endian 1152 8; little_endian 99 8
        little_endian $((1 << 31)) 8; little_endian $(((1 << 32) + 5)) 8
        little_endian "$(filetime $((today + 1)))" 8
        little_endian 1 1
        little_endian $((3 << 39)) 8; little_endian 1234567 8
    )" >"$1"
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
