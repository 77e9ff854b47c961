#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a bounded time from the seed corpora
# in tests/fuzz/corpus (copied, so the repository is not written to).
#   fuzz.sh [seconds per target]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for target in database pattern arguments; do
    binary=build-fuzz/tests/fuzz/Fuzz${target^}
    mkdir -p "$work/$target"
    cp tests/fuzz/corpus/$target/* "$work/$target/"
    if LC_ALL=C "$binary" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="build-fuzz/crash-$target-" "$work/$target" >"$work/$target.log" 2>&1; then
        runs=$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$work/$target.log" | grep -o '[0-9]*$')
        echo "fuzz $target: $runs inputs, no failure"
    else
        echo "fuzz $target: FAILED"
        tail -40 "$work/$target.log"
        status=1
    fi
done
exit $status
