#!/usr/bin/env bash
# A remote reading against a local one on the same machine: pattern-mode runs of brimlet
# on its own adapters, and of "brimlet server 127.0.0.1" against an SNMP agent on the
# loopback, with SNMPv2c and with SNMPv3 (SHA, AES), interleaved. Run as root:
#
#   bash bench/remote.sh [ROUNDS]
#
# Everything runs in a private network namespace with two veth adapters to a second one;
# the agent listens on that namespace's loopback only. The CPU time of a run is the
# program's alone; the agent's share is measured over all remote runs and given apart.
set -euo pipefail
source "$(dirname "$0")/namespaces.sh"
cd "$(dirname "$0")/.."
rounds=${1:-200}
warmup=10
export LANG=en_US.UTF-8
unset LC_ALL LC_NUMERIC LC_TIME
pattern='%Dau up, %Dad down today, %Mat this month'

bash scripts/install-deps.sh bench >/dev/null
build_tools

scratch=$build/remote
ns=brimlet-remote-$$
peer=brimlet-remote-peer-$$
rm -rf "$scratch"
mkdir -p "$scratch/agent"

make_namespaces 2 78
send_samples 50
inns() { ip netns exec "$ns" "$@"; }

cat >"$scratch/agent/snmpd.conf" <<CONF
agentAddress udp:127.0.0.1:161
rocommunity public 127.0.0.1
createUser meter SHA "passphrase1" AES "passphrase1"
rouser meter priv
CONF
# Started directly (ip netns exec runs it in its own place), so that $! is the agent.
ip netns exec "$ns" env MIBS= snmpd -f -C -c "$scratch/agent/snmpd.conf" --persistentDir="$scratch/agent" \
    -I -smux,mteTrigger,mteTriggerConf -Lf /dev/null >/dev/null 2>&1 &
background=$!
until inns grep -q ':00A1 ' /proc/net/udp; do sleep 0.1; done

plan=$scratch/plan.tsv
: >"$plan"
local='brimlet, local reading'
add() { # label, folder, then NAME=VALUE settings of the environment and the arguments before the pattern
    local label=$1 folder=$scratch/$2 settings=()
    shift 2
    while [[ ${1:-} == *=* ]]; do
        settings+=("$1")
        shift
    done
    mkdir -p "$folder"
    cp "$build/brimlet" "$folder/brimlet"
    echo "$(cd "$folder" && inns env "${settings[@]}" ./brimlet "$@" "$pattern")   <- $label"
    floor=-
    [[ $label == "$local" ]] || floor=$local
    printf '%s\t%s\t-\t%s' "$label" "$floor" "$folder" >>"$plan"
    printf '\t%s' "${settings[@]}" "$folder/brimlet" "$@" "$pattern" >>"$plan"
    printf '\n' >>"$plan"
}
echo "== What each command prints"
add "$local" local
add 'brimlet server 127.0.0.1, SNMPv2c' v2c server 127.0.0.1
# The SNMPv3 credentials in the environment, as users are told to give them.
add 'brimlet server 127.0.0.1, SNMPv3 SHA+AES' v3 BRIMLET_USER=meter BRIMLET_PASSWORD=passphrase1 server 127.0.0.1

echo
echo "== Machine"
echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) online"
echo "Kernel: $(uname -sr); net-snmp: $(net-snmp-config --version)"
echo "Load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)"

agentTicks() { awk '{print $14 + $15}' "/proc/$background/stat"; }
before=$(agentTicks)
echo
echo "== Whole runs, pattern \"$pattern\""
# The runner compares with a floor and with vnStat; here the floor is the local reading.
inns "$tools/brimlet_bench_runner" "$rounds" "$warmup" "$plan" \
    | sed -e 's| / floor | / local |g' -e '/^|/s/^\(\([^|]*|\)\{10\}\).*/\1/'
after=$(agentTicks)
remoteRuns=$((2 * (rounds + warmup)))
echo
echo "The agent's CPU time over the $remoteRuns remote runs: $(awk -v t=$((after - before)) -v hz="$(getconf CLK_TCK)" \
    -v n=$remoteRuns 'BEGIN { printf "%.2f ms per run", t * 1000 / hz / n }')."
echo "CPU = user + system time of the program's process; / local = the median against the local reading's."
