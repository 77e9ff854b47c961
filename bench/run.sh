#!/usr/bin/env bash
# The benchmark: one pattern-mode run of brimlet against the floor and vnStat, side
# by side, on databases of one year (730 records), 10,000 and 100,000 records of four
# adapters; then the micro-benchmarks of the run's steps. Run as root:
#
#   bash bench/run.sh [ROUNDS [REVISION]]
#
# ROUNDS defaults to 200. With a git REVISION, the program as built from that
# revision runs alongside on the same databases, for a before-and-after comparison.
#
# Everything runs in a private network namespace whose four veth adapters lead to a
# second private namespace; nothing else on the machine is touched but the build
# folder build-bench/.
set -euo pipefail
source "$(dirname "$0")/namespaces.sh"
cd "$(dirname "$0")/.."
rounds=${1:-200}
baseline=${2:-}
# The locale a user of a status bar typically has; it decides how numbers are written.
export LANG=en_US.UTF-8
unset LC_ALL LC_NUMERIC LC_TIME
warmup=10
pattern='%Dau up, %Dad down today, %Mat this month'

bash scripts/install-deps.sh bench >/dev/null
build_tools
if pgrep -x vnstatd >/dev/null; then
    echo "note: a vnStat daemon runs on this machine; its work adds to the noise" >&2
fi


if [[ -n "$baseline" ]]; then
    baselineName=$(git rev-parse --short "$baseline")
    rm -rf "$build/baseline"
    mkdir -p "$build/baseline/src"
    git archive "$baseline" | tar -x -C "$build/baseline/src"
    cmake -S "$build/baseline/src" -B "$build/baseline/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DBRIMLET_TESTS=OFF >/dev/null
    cmake --build "$build/baseline/build" >/dev/null
fi

scratch=$build/scratch
ns=brimlet-bench-$$
peer=brimlet-peer-$$
rm -rf "$scratch"
mkdir -p "$scratch"

# Four adapters, each a veth pair from the measured namespace to the peer namespace.
make_namespaces 4 77
traffic() { send_samples 100; }
traffic
inns() { ip netns exec "$ns" "$@"; }

# vnStat with its own configuration and database folder; its daemon watches the four
# adapters for a few seconds so that the database holds their traffic.
vn=$scratch/vnstat
mkdir -p "$vn/db"
cat >"$vn/vnstat.conf" <<CONF
DatabaseDir "$vn/db"
Interface "v0"
UseLogging 0
PidFile "$vn/vnstatd.pid"
UpdateInterval 2
PollInterval 2
SaveInterval 1
TimeSyncWait 0
CONF
ip netns exec "$ns" vnstatd -n --config "$vn/vnstat.conf" >"$vn/daemon.log" 2>&1 &
background=$!
sleep 3
traffic
sleep 4
traffic
sleep 4
kill "$background"
wait "$background" || true
background=
if ! grep -q 'SIGTERM received' "$vn/daemon.log"; then
    echo "vnstatd did not run as expected:" >&2
    cat "$vn/daemon.log" >&2
    exit 1
fi

# The databases, one folder per database with its own copy of the program beside it.
# Each copy runs once before the floor's file is taken, so that the floor rewrites a
# file of exactly the size that the program then rewrites on every run.
sizes=(year:730 10k:10000 100k:100000)
plan=$scratch/plan.tsv
: >"$plan"
declare -A describe
for entry in "${sizes[@]}"; do
    name=${entry%%:*}
    count=${entry#*:}
    mkdir -p "$scratch/brimlet-$name" "$scratch/floor-$name"
    cp "$build/brimlet" "$scratch/brimlet-$name/brimlet"
    "$tools/brimlet_make_database" "$count" "$scratch/brimlet-$name/traffic"
    if [[ -n "$baseline" ]]; then
        mkdir -p "$scratch/baseline-$name"
        cp "$build/baseline/build/brimlet" "$scratch/baseline-$name/brimlet"
        cp "$scratch/brimlet-$name/traffic" "$scratch/baseline-$name/traffic"
        inns "$scratch/baseline-$name/brimlet" "$pattern" >/dev/null
    fi
    inns "$scratch/brimlet-$name/brimlet" "$pattern" >/dev/null
    cp "$scratch/brimlet-$name/traffic" "$scratch/floor-$name/traffic"
    bytes=$(stat -c %s "$scratch/brimlet-$name/traffic")
    describe[$name]="$count records, $bytes B"
done
vnlabel='vnstat --oneline'
for name in year 10k 100k; do
    printf 'brimlet, %s\tfloor, %s\t%s\t%s\t%s\t%s\n' "${describe[$name]}" "${describe[$name]}" "$vnlabel" \
        "$scratch/brimlet-$name" "$scratch/brimlet-$name/brimlet" "$pattern" >>"$plan"
    if [[ -n "$baseline" ]]; then
        printf 'brimlet as of %s, %s\tfloor, %s\t%s\t%s\t%s\t%s\n' "$baselineName" "${describe[$name]}" \
            "${describe[$name]}" "$vnlabel" "$scratch/baseline-$name" "$scratch/baseline-$name/brimlet" "$pattern" >>"$plan"
    fi
    printf 'floor, %s\t-\t%s\t%s\t%s\n' "${describe[$name]}" "$vnlabel" "$scratch/floor-$name" "$tools/brimlet_floor" >>"$plan"
done
printf '%s\t-\t-\t%s\t%s\t--config\t%s\t--oneline\n' "$vnlabel" "$vn" "$(command -v vnstat)" "$vn/vnstat.conf" >>"$plan"
printf '%s\t-\t%s\t%s\t%s\t--config\t%s\t-i\tv0+v1+v2+v3\t--oneline\n' 'vnstat -i v0+v1+v2+v3 --oneline' "$vnlabel" \
    "$vn" "$(command -v vnstat)" "$vn/vnstat.conf" >>"$plan"
printf '%s\t-\t-\t%s\t%s\n' 'true (an empty process)' "$scratch" "$(type -P true)" >>"$plan"
printf '%s\t-\t-\t%s\t%s\n' 'C program, one line' "$scratch" "$tools/brimlet_empty_c" >>"$plan"
printf '%s\t-\t-\t%s\t%s\n' 'C program, one line after reading the user'"'"'s number settings' "$scratch" "$tools/brimlet_user_locale" >>"$plan"
printf '%s\t-\t-\t%s\t%s\n' 'C++ program, one line through std::cout' "$scratch" "$tools/brimlet_empty_cpp" >>"$plan"

echo "== What each command prints"
(cd "$scratch/brimlet-year" && inns ./brimlet "$pattern"; echo "   <- brimlet \"$pattern\"")
(cd "$scratch/floor-year" && inns "$tools/brimlet_floor" | sed 's/$/   <- floor/')
inns vnstat --config "$vn/vnstat.conf" --oneline | sed 's/$/   <- vnstat --oneline/'

echo
echo "== Machine"
echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) online"
echo "Kernel: $(uname -sr)"
echo "Scratch folder: $scratch on $(df -T "$scratch" | awk 'NR==2 {print $2}') ($(findmnt -no SOURCE,OPTIONS -T "$scratch"))"
echo "Compiler: $(c++ --version | head -1); vnStat: $(vnstat --version | head -1 | cut -d' ' -f1-2)"
echo "Memory: $("$tools/brimlet_first_touch")"
echo "Load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)"

echo
echo "== Whole runs, pattern \"$pattern\""
# A datagram over every pair before each run: every run has counts to save.
inns "$tools/brimlet_bench_runner" "$rounds" "$warmup" "$plan" 10.77.{0..3}.2
echo
echo "floor: bench/floor.c, plain C: reads btime from /proc/stat, dumps the links over rtnetlink and"
echo "sums their 64-bit counters, reads the database file whole, writes it back with the sums in its"
echo "last 16 bytes to a new file, fsync, rename over the old, fsync of the folder, prints one line."
echo "brimlet: a pattern-mode run (lock, boot time, rtnetlink dump, load, merge, pattern, atomic save)."
echo "vnstat --oneline: reads its SQLite database (filled by its daemon for seconds) and prints one line."
echo "C / C++ program, one line: bench/empty.c, bench/user_locale.c (LC_NUMERIC of the user's locale, as a run"
echo "reads it) and bench/empty.cpp (the C++ runtime linked as brimlet's): what a run pays before its own work."
echo "CPU = user + system time of the process; peak RSS = ru_maxrss of the process; page faults ="
echo "its minor faults (ru_minflt), each a first touch of a page of memory or of a mapped file."

echo
echo "== Steps of a run, per record (Google Benchmark)"
"$tools/brimlet_micro" --benchmark_counters_tabular=true
