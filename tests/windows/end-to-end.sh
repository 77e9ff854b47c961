#!/usr/bin/env bash
# The real Windows program under Wine, each case in a throw-away folder.
#   end-to-end.sh CASE BRIMLET_EXE HOLDER_EXE LINUX_PROGRAM EMULATOR...
# CASE is wine-start, pattern, log, mutex, same-output or wine-stop. EMULATOR is
# the command that runs a Windows program, its last word the Wine loader. Exit status 77
# means that the case can not run here.
set -euo pipefail
case_name=$1 exe=$(realpath -m "$2") holder_exe=$(realpath -m "$3") linux_program=$(realpath -m "$4")
shift 4
emulator=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The local wall clock is UTC for both programs; the user locale is fixed unless a case names another.
export TZ=UTC LC_ALL=en_US.UTF-8
# The help page as standard output in text mode writes it: every line ends in CR LF.
page=$(sed 's/$/\r/' "$(dirname "$0")/../help-page.txt")$'\n'

fail() { echo "FAIL: $*" >&2 && exit 1; }

# Runs the program of folder $3 (copied there first, as a user installs it) from the current
# directory with the remaining arguments: it must print exactly $2 and end with status $1.
check() {
    [[ -f $3/brimlet.exe ]] || { mkdir -p "$3" && cp "$exe" "$3/brimlet.exe"; }
    local status=0
    "${emulator[@]}" "$3/brimlet.exe" "${@:4}" >"$work/out" || status=$?
    [[ $status == "$1" ]] && printf %s "$2" | cmp -s - "$work/out" ||
        fail "${*:4}: status $status, output '$(cat -A "$work/out")', expected '$2'"
}

# Folder $2 holds exactly the files named in $1, in the C locale's order.
holds() { [[ $(LC_ALL=C ls -A "$2" | paste -sd ' ') == "$1" ]] || fail "in $2: $(ls -A "$2")"; }

# The Wine tools with the emulator's environment, detached from every pipe: a Wine server
# that a test's own Wine process started would keep the test's output open for seconds.
wine_tool() { "${emulator[@]:0:${#emulator[@]}-1}" "$@" </dev/null >/dev/null 2>&1; }

case_wine_start() {
    wine_tool wineserver -k || true # a server left behind by an interrupted run refuses a second one
    # Creates the prefix or brings it up to date, and waits until all of that work has ended:
    # a prefix still being set up would answer the first tests with its default user locale.
    wine_tool "${emulator[-1]}" wineboot --init
    wine_tool wineserver -w
    # The server for the whole run, with the prefix's services started here rather than by a test.
    wine_tool wineserver -p
    wine_tool "${emulator[-1]}" wineboot
}

case_wine_stop() { wine_tool wineserver -k || true; }

case_pattern() {
    local deep=$work/deep
    while ((${#deep} < 300)); do deep+=/folder; done # deeper than the 260 characters of old Windows paths
    mkdir "$work/elsewhere" && cd "$work/elsewhere"
    for folder in "$deep" "$work/app" "$work/app"; do check 0 "0 bytes" "$folder" "%t bytes"; done
    # A run that can not connect reports it and makes no database of its own.
    check 1 "Program Exception: Failed to connect server." "$work/app" server nosuchserver "%u"
    # Beside the program, not here: both runs in one record without adapters (13 bytes), and
    # the boot's time in UTC in the run state (at byte 9).
    holds "" . && holds ".traffic.state brimlet.exe traffic" "$work/app"
    holds ".traffic.state brimlet.exe traffic" "$deep"
    [[ $(stat -c %s "$work/app/traffic") == 13 ]] || fail "not one record: $(od -An -tx1 "$work/app/traffic")"
    (($(od -An -j9 -N8 -tu8 "$work/app/.traffic.state") != 0)) || fail "no boot time in the run state"
}

case_log() {
    mkdir "$work/cwd" && cd "$work/cwd"
    check 0 0 "$work/app" log "%u"
    local stamp='[0-9]{1,2}/[0-9]{1,2}/[0-9]{4} [0-9]{1,2}:[0-9]{2}:[0-9]{2} (AM|PM)'
    grep -Pzq "^Application start: $stamp\r\n\r\nboot @ $stamp\r\n\r\n\$" traffic.log || fail "log: $(cat -A traffic.log)"
    # In the current directory, appended, never replaced; "log" after "help" is not looked at.
    # Wine lists no adapter; "list" connects a second time for the list, whose dump is empty here.
    check 0 0 "$work/app" log log "%d"
    check 0 "$page" "$work/app" list help log
    holds ".traffic.state brimlet.exe traffic" "$work/app" && holds traffic.log .
    [[ $(grep -c "^Application start: " traffic.log) == 3 && $(wc -l <traffic.log) == 9 ]] || fail "log: $(cat -A traffic.log)"
}

case_mutex() {
    cd "$work"
    # The holder keeps the program's mutex for 8 s once it says so, then dies without releasing it.
    coproc HOLDER { "${emulator[@]}" "$holder_exe"; }
    local holder=$HOLDER_PID started line
    read -rt 20 line <&"${HOLDER[0]}" && [[ $line == held* ]] || fail "the holder did not take the mutex"
    # Held past the 5000 ms wait: the run ends silently with -1, seen here as 255.
    started=$(date +%s%N)
    check 255 "" "$work/app" "%u"
    holds brimlet.exe "$work/app"
    (($(date +%s%N) - started >= 4500000000)) || fail "gave up after $((($(date +%s%N) - started) / 1000000)) ms"
    # Abandoned by its holder while the next run waits: that run goes on.
    check 0 0 "$work/app" "%u"
    wait "$holder"
}

case_same_output() {
    # The Linux program meets no adapter in a network namespace of its own, as the Windows
    # program meets none under Wine: both print the prepared database alone.
    [[ -x $linux_program ]] && unshare -n true 2>/dev/null ||
        { echo "no Linux build at $linux_program or no private network namespace here" && exit 77; }
    local pattern='%u|%d|%t|%ku|%md|%gt|%et|%su|%sd|%st|%skd|%au|%ad|%at|%Dau|%Dad|%Mau|%Mat|%Dt|%Mt'
    pattern+='|%n0u|%n1d|%n2t|%n5t|%n1au|%Dn1ad|%Msn0t|100%%|%b|%xu|%k KB %u| %a'
    # Records before this month, this month and today, for up to three adapters: the count,
    # then each record's start, its count of adapters and their counts.
    perl -MPOSIX -e 'sub stamp { (shift() + 11644473600) * 10000000 }
        my $today = int(time / 86400) * 86400; my @now = gmtime; my $month = mktime(0, 0, 0, 1, $now[4], $now[5]);
        print pack("V", 4), map { pack "Q<C(Q<)*", @$_ } [stamp($month - 40 * 86400), 2, 1000, 2000, 5, 7],
            [stamp($month), 3, 1536, 1048575, 10 * 1048576, 3000000000, 1, 1], [stamp($today), 2, 1152, 99, 2**31, 2**32 + 5],
            [stamp($today + 1), 1, 3 << 39, 1234567]' >"$work/traffic"
    cd "$work"
    for locale in en_US.UTF-8 de_DE.UTF-8; do
        rm -rf linux windows && mkdir linux windows
        cp traffic linux/ && cp traffic windows/ && cp "$linux_program" linux/brimlet
        LC_ALL=$locale unshare -n linux/brimlet "$pattern" >linux.out
        grep -q '1,50T\|1.50T' linux.out || fail "$locale: the prepared database was not read"
        # Windows writes its line breaks as CR LF.
        LC_ALL=$locale check 0 "$(sed '$!s/$/\r/' linux.out)" "$work/windows" "$pattern"
    done
}

"case_${case_name//-/_}"
echo "passed: $case_name"
