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

# The figures the proof tests print (kills survived, runs held at once, inputs tried),
# as docs/reliability.md reports them.
figures() {
    echo "== Figures of $1"
    grep -h '^\[figure\]' "$1/Testing/Temporary/LastTest.log" || true
}

# Each section says how long the one before it took.
last=$SECONDS
section() {
    echo "== $1 (previous section: $((SECONDS - last)) s)"
    last=$SECONDS
}

section "Tree: no conflict markers, includes only go down a floor"
bash scripts/check-tree.sh

section "Linux build"
cmake --preset linux -DBRIMLET_TESTS=ON >/dev/null
cmake --build --preset linux
ctest --preset linux
figures build

section "Linux build with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize
ctest --preset sanitize
figures build-sanitize

section "Fuzzing"
bash scripts/fuzz.sh "${BRIMLET_FUZZ_SECONDS:-60}"

section "Windows build (mingw-w64), tested under Wine"
cmake --preset windows -DBRIMLET_TESTS=ON >/dev/null
cmake --build --preset windows
ctest --preset windows
section "done"
