#!/usr/bin/env bash
# Installs what the tests need, builds every configuration and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh windows

echo "== Linux build"
cmake --preset linux -DBRIMLET_TESTS=ON >/dev/null
cmake --build --preset linux
ctest --preset linux

echo "== Windows build (mingw-w64), tested under Wine"
cmake --preset windows -DBRIMLET_TESTS=ON >/dev/null
cmake --build --preset windows
ctest --preset windows
