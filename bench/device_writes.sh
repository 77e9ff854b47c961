#!/usr/bin/env bash
# What one run makes the device write: brimlet and the floor (bench/floor.c: read the
# counters, rewrite the file whole, sync file and folder) each on a fresh ext4 file
# system of its own in a 256 MB file on a loop device, with the one-year database (730
# records of four adapters). Field 7 of /sys/block/loopN/stat counts the 512-byte
# sectors written, the journal included. Run as root:
#
#   bash bench/device_writes.sh [RUNS [PAUSE [BLOCK]]]
#
# RUNS (default 60) runs each, every counter moved before each run, measured two ways:
#   paced: one run every PAUSE seconds (default 1, a status bar's rate), one sync at
#          the end: what the device writes per run while the journal commits on its own
#          schedule (every 5 s) and the cache writes back what no run synced;
#   synced: a sync after every run: each run pays a journal commit of its own, the
#          most a run can cost however seldom it runs.
# BLOCK is the file system's block size (default 4096, what ext4 takes on any disk of
# some size; mkfs.ext4 by itself gives so small a file system 1024).
# Nothing else on the machine is touched but the build folder build-bench/.
set -euo pipefail
source "$(dirname "$0")/namespaces.sh"
cd "$(dirname "$0")/.."
runs=${1:-60}
pause=${2:-1}
block=${3:-4096}
build_tools
pattern='%rau/s up, %rad/s down, %Dat today'

scratch=$build/device
ns=brimlet-device-$$
peer=brimlet-device-peer-$$

loops=()
unmount() {
    for entry in "${loops[@]}"; do
        umount "${entry#*:}" 2>/dev/null || true
        losetup -d "${entry%%:*}" 2>/dev/null || true
    done
    cleanup
}
trap unmount EXIT
rm -rf "$scratch"
mkdir -p "$scratch"
make_namespaces 4 78
send_samples 3

# A fresh file system, its inode tables and journal written at once rather than by a
# thread in the background while the runs are measured.
filesystem() { # name; sets $loop
    truncate -s 256M "$scratch/$1.img"
    loop=$(losetup -f --show "$scratch/$1.img")
    mkfs.ext4 -q -b "$block" -E lazy_itable_init=0,lazy_journal_init=0 "$loop"
    mkdir -p "$scratch/$1"
    mount "$loop" "$scratch/$1"
    loops+=("$loop:$scratch/$1")
}
sectors() { awk '{print $7}' "/sys/block/${1#/dev/}/stat"; }

filesystem brimlet
brimletLoop=$loop
filesystem floor
floorLoop=$loop
cp "$build/brimlet" "$scratch/brimlet/brimlet"
"$tools/brimlet_make_database" 730 "$scratch/brimlet/traffic"
# The first run takes today's record; the floor rewrites a file of the size the program keeps.
ip netns exec "$ns" "$scratch/brimlet/brimlet" "$pattern" >/dev/null
cp "$scratch/brimlet/traffic" "$scratch/floor/traffic"
cp "$tools/brimlet_floor" "$scratch/floor.bin"

run() { # folder, command
    send_samples 1
    (cd "$1" && ip netns exec "$ns" "$2" "$pattern" >/dev/null)
}
# Bytes per run: runs of the command in its folder on its device, paced or synced.
measure() { # device, folder, command, mode
    run "$2" "$3"
    sync
    local before after
    before=$(sectors "$1")
    for ((i = 0; i < runs; i++)); do
        run "$2" "$3"
        if [[ $4 == synced ]]; then sync; else sleep "$pause"; fi
    done
    sync
    after=$(sectors "$1")
    echo $(((after - before) * 512 / runs))
}
kib() { awk -v b="$1" 'BEGIN {printf "%.1f KiB", b / 1024}'; }

echo "== Device writes per run, ext4 on a loop device, the one-year database ($(stat -c %s "$scratch/brimlet/traffic") B)"
echo "Kernel: $(uname -sr); blocks of $block B; $runs runs each; paced: one run every $pause s, one sync at the end"
printf '%-44s %14s %14s\n' "" "paced" "synced"
for tool in brimlet floor; do
    if [[ $tool == brimlet ]]; then
        device=$brimletLoop command=$scratch/brimlet/brimlet label="brimlet \"$pattern\""
    else
        device=$floorLoop command=$scratch/floor.bin label="floor (bench/floor.c)"
    fi
    paced=$(measure "$device" "$scratch/$tool" "$command" paced)
    synced=$(measure "$device" "$scratch/$tool" "$command" synced)
    printf '%-44s %14s %14s\n' "$label" "$(kib "$paced")" "$(kib "$synced")"
done
(cd "$scratch/brimlet" && ip netns exec "$ns" ./brimlet "$pattern"; echo "   <- the last run's output")
