#!/usr/bin/env bash
# Installs what the build needs, builds the program and takes one reading.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset linux -DBRIMLET_TESTS=OFF >/dev/null
cmake --build --preset linux
./build/brimlet "%Dau up, %Dad down today, %Mat this month"
echo
