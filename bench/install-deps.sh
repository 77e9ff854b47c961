#!/usr/bin/env bash
# Installs what the benchmark needs on top of the build's own packages (run as root).
# Kept apart from scripts/install-deps.sh so that CI installs none of it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

packages=(vnstat iproute2 util-linux)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
    # The package starts a daemon of its own where it can; the benchmark runs a
    # private one, and a second watching the machine would only add noise.
    if [[ " ${missing[*]} " == *" vnstat "* ]] && command -v systemctl >/dev/null \
        && systemctl is-active --quiet vnstat 2>/dev/null; then
        systemctl stop vnstat
    fi
fi
