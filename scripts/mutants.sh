#!/usr/bin/env bash
# Deliberate faults of the kind the tests exist to catch, each applied alone to a copy
# of the source tree: the copy is rebuilt incrementally and the suite run until its
# first failure, which kills the fault. Run as root, like scripts/test.sh:
#   bash scripts/mutants.sh [ID...]      all faults, or the ones named
# BRIMLET_MUTANTS_REVISION=<commit> tries them on that commit's tree instead of the
# working tree, to count what an earlier suite caught.
# BRIMLET_MUTANTS_STAGES="unit e2e proof" (the default) names the stages of the Linux
# suite to run, in that order: unit is ctest -LE 'e2e|proof', e2e is -L e2e, proof is
# -L proof; BRIMLET_MUTANTS_STAGES=unit counts what the unit tests alone kill.
# Prints one line per fault ("killed" and the stage that killed it, or "survived") and
# the count. The copy and its
# builds stay in $BRIMLET_MUTANTS_DIR (/tmp/brimlet-mutants), so that a later run
# rebuilds only what changed. A fault in src/platform/windows is tried with the
# Windows build under Wine, every other one with the Linux build.
set -uo pipefail
cd "$(dirname "$0")/.."
work=${BRIMLET_MUTANTS_DIR:-/tmp/brimlet-mutants}
copy=$work/tree

ids=() files=() edits=() descriptions=()
fault() { ids+=("$1"); files+=("$2"); edits+=("$3"); descriptions+=("$4"); }

# id, file, a perl substitution applied to the whole file, what the fault does.
fault cutoff-days     src/database/TrafficDatabase.h 's/365 \* fileTimeDay/366 * fileTimeDay/' "records kept 366 days"
fault cutoff-edge     src/database/TrafficDatabase.cpp 's/intervalStart < cutOff;/intervalStart <= cutOff;/' "a record exactly 365 days old counts as aged"
fault tolerance-width src/database/RunState.h 's/15 \* fileTimeSecond/14 * fileTimeSecond/' "boot times 15 s apart are another boot"
fault tolerance-edge  src/database/RunState.cpp 's/apart\) <= bootTimeTolerance/apart) < bootTimeTolerance/' "the 15 s tolerance excludes its end"
fault mega-divisor    src/pattern/NumberRendering.cpp 's/1048576\.0, "M"/1000000.0, "M"/' "automatic M divides by 10^6"
fault unit-threshold  src/pattern/NumberRendering.cpp 's/total < unit->threshold/total <= unit->threshold/' "a total equal to a unit's threshold takes the unit below"
fault decimals-edge   src/pattern/NumberRendering.cpp 's/value < 10\.0f \? 2/value <= 10.0f ? 2/' "10.0 gets two decimals"
fault kilo-divisor    src/pattern/PatternPrinter.cpp "s/case 'k': conversion.divisor = std::uint64_t\{1\} << 10/case 'k': conversion.divisor = 1000/" "k divides by 1000"
fault tera-divisor    src/pattern/PatternPrinter.cpp "s/case 'e': conversion.divisor = std::uint64_t\{1\} << 40/case 'e': conversion.divisor = std::uint64_t{1} << 39/" "e divides by 2^39"
fault adapter-digit   src/pattern/PatternPrinter.cpp "s/pattern\[cursor\]\) - '0'/pattern[cursor]) - '1'/" "n1 picks adapter 0"
fault round-half-down src/platform/NumberFormat.cpp "s/fraction\[kept\] >= '5'/fraction[kept] > '5'/" "a 5 in the first dropped digit rounds down"
fault group-short     src/platform/NumberFormat.cpp 's/end <= groupSize\)/end < groupSize)/' "a number of exactly one group gets a leading separator"
fault group-stop      src/platform/NumberFormat.cpp 's/size >= 127/size > 127/' "a CHAR_MAX grouping does not stop grouping"
fault wrap-rule       src/database/Merge.cpp 's/if \(low > result.reduced\)/if (low >= result.reduced)/' "an unchanged 32-bit counter counts a wrap-around"
fault restart-equal   src/database/Merge.cpp 's/restarted = raw < previous;/restarted = raw <= previous;/' "an unchanged 64-bit counter counts as restarted: its value added again"
fault double-count    src/database/Merge.cpp 's/baselineSent \+= static_cast<std::uint64_t>\(counts.sent\);/baselineSent += 0;/' "a new day's record counts the session's earlier days again"
fault log-swapped     src/database/Merge.cpp "s/<< received.reduced << '\/' << sent.reduced/<< sent.reduced << '\/' << received.reduced/" "the log's corrected line swaps sent and received"
fault loopback        src/platform/AdapterChoice.cpp 's/if \(!adapter\.loopback && /if (/' "the loopback adapter is counted"
fault colon-allowed   src/base/DatabaseFiles.cpp 's/"<>:/"<>/' "a colon in a server name is let through"
fault control-edge    src/base/DatabaseFiles.cpp 's/c <= 0x1F\)/c < 0x1F)/' "0x1F in a server name is let through"
fault blank-allowed   src/base/DatabaseFiles.cpp "s/name.back\(\) == ' '/name.back() == '\\\\t'/" "a trailing blank in a server name is let through"
fault dump-swapped    src/driver/ListDump.cpp 's/out << counts.sent << " bytes sent, " << counts.received/out << counts.received << " bytes sent, " << counts.sent/' "the dump swaps sent and received"
fault help-line       src/driver/HelpPage.cpp 's/%b   Line break/%b   Linebreak/' "a help line changed"
fault today-edge      src/pattern/PeriodTotals.cpp 's/record.intervalStart >= periodStart/record.intervalStart > periodStart/' "a record starting at midnight is not today's"
fault month-start     src/pattern/PeriodTotals.cpp 's/(monthStart\.day = (?:std::min\()?monthStartDay)/$1 + 1/g' "the month starts a day late"
fault total-sum       src/pattern/PeriodTotals.cpp "s/identifier == 'd' \? received : sent \+ received/identifier == 'd' ? received : sent + sent/" "t adds sent twice"
fault last-record     src/database/TrafficDatabase.cpp 's/entriesAt < entrySize \* record.entryCount\)/entriesAt <= entrySize * record.entryCount)/' "a record that ends the file is dropped"
fault damaged-tail    src/database/TrafficDatabase.cpp 's/\n    fileContent.resize\(at\);//' "bytes after the last whole record are kept"
fault not-atomic      src/base/DatabaseFiles.cpp 's/\n *temporary \+= temporaryInfix.*//' "the save writes the database in place"
fault temporary-left  src/platform/linux/Files.cpp 's/\{\n        ::unlink\(temporary.c_str\(\)\);/{/' "a failed save leaves its temporary file"
fault state-last      src/database/MergeSession.cpp 's/(saveSession\([^{]*\{\n)(.*?)(    database\.save\(files\.database\);\n)/$1$3$2/s' "the run state is saved after the database"
fault pipe-blocks     src/platform/linux/Files.cpp 's/O_RDONLY \| O_NONBLOCK \| O_CLOEXEC/O_RDONLY | O_CLOEXEC/' "a database that is a pipe blocks the run"
fault lock-no-wait    src/platform/linux/InstanceLock.cpp 's/flock\(fd, LOCK_EX\) == 0/flock(fd, LOCK_EX | LOCK_NB) == 0/' "a held lock is not waited for: the run goes on without it"
fault lock-wait       src/driver/Run.cpp 's/lockTimeoutMilliseconds = 5000/lockTimeoutMilliseconds = 2000/' "the lock is waited for 2 s, not 5"
fault lock-link       src/platform/linux/InstanceLock.cpp 's/O_CREAT \| O_NOFOLLOW/O_CREAT/' "the lock file is opened through a link"
fault lock-owner      src/platform/linux/InstanceLock.cpp 's/ \|\| status.st_uid != geteuid\(\)//' "a lock file of another user is trusted"
fault zone-check      src/platform/linux/LocalTime.cpp 's/\n        \|\| getField\(bytes.data\(\) \+ memoSize - 8\) != byteCheck\(checkedPart\(bytes\)\)\)/)/' "a damaged zone memo is taken"
fault zone-span       src/platform/linux/LocalTime.cpp 's/until = probe;/until = probe + 1;/' "the zone memo holds one second past a change of offset"
fault zone-mark       src/platform/linux/LocalTime.cpp 's/if \(zone.memo.source != zone.source\)/if (false)/' "a zone memo of another zone is taken"
fault wmi-loopback    src/platform/windows/wmi/WmiReadings.cpp 's/"MS TCP Loopback interface"/"MS TCP Loopback"/' "the Windows loopback adapter is counted"
fault wmi-signed      src/platform/windows/wmi/WmiReadings.cpp 's/static_cast<std::uint32_t>\((\(\*value\).lVal|value.number)\)/static_cast<std::uint64_t>($1)/' "a 32-bit WMI counter above 2^31 is read sign-extended"
fault win-unreadable  src/platform/windows/Files.cpp 's/error == ERROR_FILE_NOT_FOUND\)/error != ERROR_SUCCESS)/' "a Windows database that can not be read is taken for a missing one"

# The copy follows the working tree (committed or not), or the revision asked for; a
# file is copied only when its content differs, so that the build sees only real changes.
sync_copy() {
    local source=. file
    if [[ -n ${BRIMLET_MUTANTS_REVISION:-} ]]; then
        source=$work/revision
        rm -rf "$source" && mkdir -p "$source"
        git archive "$BRIMLET_MUTANTS_REVISION" | tar -x -C "$source"
    fi
    mkdir -p "$copy"
    (cd "$source" && if [[ $source == . ]]; then git ls-files -co --exclude-standard; else find . -type f; fi) |
        while read -r file; do
            if [[ -f "$source/$file" ]] && ! cmp -s "$source/$file" "$copy/$file"; then
                mkdir -p "$(dirname "$copy/$file")"
                cp "$source/$file" "$copy/$file"
            fi
        done
    (cd "$copy" && find . -path ./build -prune -o -path './build-*' -prune -o -type f -print) | while read -r file; do
        [[ -e "$source/$file" ]] || rm -f "$copy/$file"
    done
}

# The suite, stopping at its first failure: the stages of BRIMLET_MUTANTS_STAGES in turn,
# by default the unit tests first, then the end-to-end tests, then the proofs. The stage
# that failed is left in failed_stage.
suite_fails() {
    local preset=$1
    failed_stage=-
    if [[ $preset == windows ]]; then
        failed_stage=windows
        # One after another: the Wine server's user locale is shared by the tests running.
        ! timeout 1800 ctest --preset windows --stop-on-failure >"$work/last.log" 2>&1
        return
    fi
    local stage selection
    for stage in ${BRIMLET_MUTANTS_STAGES:-unit e2e proof}; do
        case $stage in
            unit) selection=(-LE 'e2e|proof') ;;
            e2e) selection=(-L e2e) ;;
            proof) selection=(-L proof) ;;
            *) echo "unknown stage $stage in BRIMLET_MUTANTS_STAGES" >&2; exit 2 ;;
        esac
        failed_stage=$stage
        timeout 1800 ctest --preset linux -j2 --stop-on-failure "${selection[@]}" >"$work/last.log" 2>&1 || return 0
    done
    failed_stage=-
    return 1
}

build() {
    local preset=$1
    local folder=build
    [[ $preset == windows ]] && folder=build-windows
    if [[ ! -f "$folder/build.ninja" ]]; then
        cmake --preset "$preset" -DBRIMLET_TESTS=ON >/dev/null || return 1
    fi
    cmake --build --preset "$preset" -j2 >"$work/build.log" 2>&1
}

sync_copy
cd "$copy"
killed=0 tried=0
for i in "${!ids[@]}"; do
    if (($# > 0)) && [[ ! " $* " == *" ${ids[i]} "* ]]; then
        continue
    fi
    file=${files[i]}
    preset=linux
    [[ $file == src/platform/windows/* ]] && preset=windows
    cp "$file" "$work/original"
    perl -0pi -e "${edits[i]}" "$file"
    failed_stage=-
    if cmp -s "$file" "$work/original"; then
        verdict="NOT APPLIED"
    elif ! build "$preset"; then
        verdict="NO BUILD"
    elif suite_fails "$preset"; then
        verdict=killed
        killed=$((killed + 1))
    else
        verdict=survived
    fi
    [[ $verdict == killed || $verdict == survived ]] && tried=$((tried + 1))
    cp "$work/original" "$file" # a newer time: the next build takes it again
    printf '%-16s %-9s %-8s %-8s %s\n' "${ids[i]}" "$verdict" "$preset" "$failed_stage" "${descriptions[i]}"
done
echo "killed $killed of $tried"
