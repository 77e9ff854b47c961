# Sourced by the benchmark scripts. build_tools, run in the project's top folder, makes
# the Release build of the program and the benchmark's tools in $build (build-bench/),
# the tools in $tools. make_namespaces PAIRS NET makes the measured namespace
# $ns and the peer namespace $peer, both quiet (no IPv6), joined by PAIRS veth pairs:
# v<i> in $ns with 10.NET.<i>.1, p<i> in $peer with 10.NET.<i>.2. send_samples ROUNDS
# then sends ROUNDS datagrams over each pair, to the peer namespace only, so that every
# counter has moved. On exit the namespaces go, and with them the process whose id the
# script keeps in $background (a daemon or an agent), if one still runs.
build_tools() {
    build=$PWD/build-bench
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRIMLET_TESTS=OFF -DBRIMLET_BENCH=ON >/dev/null
    cmake --build "$build" >/dev/null
    tools=$build/bench
}

background=
cleanup() {
    if [[ -n "$background" ]]; then
        kill "$background" 2>/dev/null || true
        wait "$background" 2>/dev/null || true
    fi
    ip netns del "$ns" 2>/dev/null || true
    ip netns del "$peer" 2>/dev/null || true
}
trap cleanup EXIT

make_namespaces() {
    pairs=$1 net=$2
    ip netns add "$ns"
    ip netns add "$peer"
    for n in "$ns" "$peer"; do
        ip netns exec "$n" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
        ip -n "$n" link set lo up
    done
    for ((i = 0; i < pairs; i++)); do
        ip -n "$ns" link add "v$i" type veth peer name "p$i" netns "$peer"
        ip -n "$ns" addr add "10.$net.$i.1/24" dev "v$i"
        ip -n "$peer" addr add "10.$net.$i.2/24" dev "p$i"
        ip -n "$ns" link set "v$i" up
        ip -n "$peer" link set "p$i" up
    done
}

send_samples() {
    ip netns exec "$ns" bash -c 'for ((k = 0; k < $0; k++)); do for ((i = 0; i < $1; i++)); do
        echo "sample $k" >/dev/udp/10.$2.$i.2/9; done; done' "$1" "$pairs" "$net" 2>/dev/null || true
}
