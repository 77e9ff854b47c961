#!/usr/bin/env bash
# Installs what the tests need, builds every configuration and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh windows

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
