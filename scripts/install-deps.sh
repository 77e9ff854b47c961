#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine (run as root).
#   install-deps.sh          the native build and its tests
#   install-deps.sh windows  also the mingw-w64 cross toolchain and Wine
#   install-deps.sh bench    also what bench/run.sh times the program against (vnStat) and
#                            the profiler bench/hot_functions.sh runs it under (valgrind)
set -euo pipefail

packages=(build-essential lld cmake ninja-build googletest libgtest-dev libgmock-dev
          libbenchmark-dev locales faketime iproute2 util-linux procps
          clang libclang-rt-14-dev strace)
# Remote readings on Linux: net-snmp's headers to build, its agent and tools for the tests;
# node_exporter reads the Prometheus script's files in the tests as it does for users.
packages+=(pkg-config libsnmp-dev snmpd snmp prometheus-node-exporter)
# The installation check renders the manual page, looks it up and verifies the units.
packages+=(groff-base man-db systemd)
# contrib/report/brimlet-report draws its chart with Debian's matplotlib.
packages+=(python3-matplotlib)
if [[ "${1:-}" == windows ]]; then
    dpkg --add-architecture i386 >/dev/null 2>&1 || true
    packages+=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64)
elif [[ "${1:-}" == bench ]]; then
    packages+=(vnstat valgrind)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The locales the tests format numbers and dates under.
wanted=(en_US.UTF-8 de_DE.UTF-8 fr_FR.UTF-8 de_CH.UTF-8)
have=$(locale -a 2>/dev/null | tr 'A-Z' 'a-z' | sed 's/utf-8/utf8/')
generate=0
for l in "${wanted[@]}"; do
    norm=$(tr 'A-Z' 'a-z' <<<"$l" | sed 's/utf-8/utf8/')
    if ! grep -qx "$norm" <<<"$have"; then
        sed -i "s/^# *\($l UTF-8\)/\1/" /etc/locale.gen
        grep -q "^$l UTF-8" /etc/locale.gen || echo "$l UTF-8" >>/etc/locale.gen
        generate=1
    fi
done
if ((generate)); then locale-gen >/dev/null; fi
