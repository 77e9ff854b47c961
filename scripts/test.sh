#!/usr/bin/env bash
# Installs what the tests need, builds every configuration and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh windows

# The end-to-end tests make network namespaces and mounts, so they run as root, and
# each run of the program gets a private folder mounted over the standard one for locks.
if [[ $(id -u) -ne 0 ]]; then
    echo "test.sh: run as root: the end-to-end tests make network namespaces" >&2
    exit 1
fi
[[ -d /run/lock ]] || install -d -m 1777 /run/lock

echo "== Linux build"
cmake --preset linux -DBRIMLET_TESTS=ON >/dev/null
cmake --build --preset linux
ctest --preset linux

echo "== Linux build with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
ctest --preset sanitize

echo "== Fuzzing"
bash scripts/fuzz.sh "${BRIMLET_FUZZ_SECONDS:-60}"

echo "== Windows build (mingw-w64), tested under Wine"
cmake --preset windows -DBRIMLET_TESTS=ON >/dev/null
cmake --build --preset windows
ctest --preset windows
