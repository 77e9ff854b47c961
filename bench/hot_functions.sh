#!/usr/bin/env bash
# Writes cmake/hot-functions.txt: the functions of the program, its C++ runtime's
# included, that a pattern-mode run executes, by their linker names. The Release link
# lays them out together, so that a run touches few pages of code. Run as root:
#
#   bash bench/hot_functions.sh
#
# The run is the steady state of a status bar: a one-year database, counters that have
# moved since the run before, a save in place. It runs under callgrind, in a private
# network namespace with four veth adapters, as bench/run.sh's runs do. A list that
# lags behind the code costs only speed: names it lacks are laid out as any others, and
# names the program does not have are passed over.
set -euo pipefail
source "$(dirname "$0")/namespaces.sh"
cd "$(dirname "$0")/.."
export LANG=en_US.UTF-8
unset LC_ALL LC_NUMERIC LC_TIME

bash scripts/install-deps.sh bench >/dev/null
build_tools
scratch=$build/hot
rm -rf "$scratch"
mkdir -p "$scratch"
ns=brimlet-hot-$$
peer=brimlet-hotpeer-$$
make_namespaces 4 78

cp "$build/brimlet" "$scratch/brimlet"
"$tools/brimlet_make_database" 730 "$scratch/traffic"
pattern='%Dau up, %Dad down today, %Mat this month'
ip netns exec "$ns" "$scratch/brimlet" "$pattern" >/dev/null
send_samples 1
ip netns exec "$ns" valgrind -q --tool=callgrind --demangle=no --callgrind-out-file="$scratch/callgrind.out" \
    "$scratch/brimlet" "$pattern" >/dev/null

# Every function callgrind saw, kept where the program defines it as code.
nm --defined-only "$scratch/brimlet" | awk '$2 ~ /^[tTwW]$/ { print $3 }' | LC_ALL=C sort -u >"$scratch/defined"
sed -n 's/^c\?fn=([0-9]*) \(.*\)$/\1/p' "$scratch/callgrind.out" | LC_ALL=C sort -u | LC_ALL=C comm -12 - "$scratch/defined" \
    >cmake/hot-functions.txt
echo "cmake/hot-functions.txt: $(wc -l <cmake/hot-functions.txt) functions"
