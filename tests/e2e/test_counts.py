"""Totals that stay equal to the kernel's counters while ordinary things happen between runs:
days pass, adapters go and come, the clock steps, the time zone changes, the machine reboots;
the adapters that count; the rate of each reading over the time that really passed."""
import fnmatch, json, os, time, unittest
from rig import DAY, HOUR, Folder, Net, boot_day, command, local, write


def rate_bounds(bytes_, earlier, later):
    """The rates a run can print for bytes counted between two runs: the program reads its clock
    somewhere between each run's start and end."""
    return bytes_ // (later.started + later.seconds - earlier.started) - 1, bytes_ // (later.started - earlier.started - earlier.seconds)


def step(frames, clock, remove=(), make=(), btime=-HOUR, boot=1, zone=0, swap=False, only=None):
    """Before the run: pairs removed, pairs made (anew where they exist), then frames of 300 bytes
    each way through each live pair p, (p + 1) times over. The run's clock and the kernel's boot
    time in seconds from the scenario's start, the boot id, the zone's hours east of the tests'.
    swap: lan0 and lan1 trade names for the run; only: BRIMLET_ADAPTERS for this run alone, whose
    totals leave out what the others count, so the next run shows them."""
    return dict(frames=frames, clock=clock, remove=remove, make=make, btime=btime, boot=boot, zone=zone, swap=swap,
                only=only)


def local_day(epoch, zone):
    """The day number of the local date that the zone shows at the instant."""
    saved = os.environ.get("TZ")
    os.environ["TZ"] = zone
    time.tzset()
    day = time.mktime(time.localtime(epoch)[:3] + (12, 0, 0, 0, 0, -1)) // DAY
    os.environ["TZ"] = saved or ""
    time.tzset()
    return day


def swap_names(net):
    for old, new in (("lan0", "swap"), ("lan1", "lan0"), ("swap", "lan1")):
        command(["ip", "-n", net.inner, "link", "set", "dev", old, "down", "name", new])
    for name in ("lan0", "lan1"):
        command(["ip", "-n", net.inner, "link", "set", "dev", name, "up"])
    net.wait_up(0)
    net.wait_up(1)


BERLIN, AUTUMN = "Europe/Berlin", 1824942000  # 2027-10-31 00:20 UTC: 02:20 summer time, 40 minutes before the change


# name: (pairs, BRIMLET_ADAPTERS, steps)
SCENARIOS = {
    "an adapter that is not the last is deleted, then its name returns":
        (3, None, [step(3, 0), step(5, 600, remove=[0]), step(2, 1200, make=[0])]),
    "an adapter made anew whose counter passes its old value": (1, None, [step(2, 0), step(20, 600, make=[0])]),
    "the clock steps 3 h ahead, the kernel's boot time with it":
        (1, None, [step(2, 0), step(3, 3 * HOUR + 600, btime=2 * HOUR)]),
    "the time zone moves 4 h east": (1, None, [step(2, 0), step(3, 600, zone=4)]),
    # A year-old record too: the run under the wrong clock must not age it.
    "a clock 200 days ahead, then corrected": (1, None, [
        step(2, -300 * DAY, btime=-300 * DAY - HOUR, boot=0), step(2, 0, make=[0]),
        step(3, 200 * DAY, btime=200 * DAY - HOUR), step(4, 1200)]),
    "a reboot: new boot id, later boot time, counters from zero":
        (2, None, [step(3, 0), step(2, 3 * HOUR, make=[0, 1], btime=3 * HOUR - 600, boot=2)]),
    # Each local midnight opens a record: on its stroke, after a quiet day, after hours without traffic.
    "days of one boot session": (2, None, [step(f, h * HOUR) for f, h in
                                           [(2, 0), (3, 9), (0, 10), (1, 27), (0, 51), (1, 63), (2, 75), (1, 110)]]),
    "BRIMLET_ADAPTERS chooses by name patterns": (3, "lan0 l?n[2-3]", [step(3, 0), step(2, 600)]),
    "two adapters trade names for one run": (2, None, [step(2, 0), step(3, 600, swap=True), step(1, 1200)]),
    "a run that counts fewer adapters between two that count all":
        (2, None, [step(2, 0), step(3, 600, only="lan0"), step(1, 1200)]),
    # A machine that starts with its clock 2 h ahead, set right 15 minutes later: the kernel's boot time moves too.
    "the clock steps back 2 h on the boot day": (1, None, [step(2, 2 * HOUR + 300, btime=2 * HOUR - 60),
                                                           step(3, 900, btime=-60), step(1, 3 * HOUR, btime=-60)]),
    # Boot at 02:20 summer time; runs at 02:40 and 02:55, at 02:10 and 02:30 after the clocks went back, at 03:30
    # and the next day.
    "the autumn clock change on the boot day": (1, None, [step(f, m * 60, btime=0) for f, m in
                                                          [(2, 20), (3, 35), (1, 50), (2, 70), (1, 130), (2, 24 * 60)]],
                                                BERLIN, AUTUMN),
}


class ExactCounts(unittest.TestCase):
    def test_every_total_equals_the_kernels(self):
        for name, scenario in SCENARIOS.items():
            with self.subTest(name):
                self.scenario(*scenario)

    def scenario(self, pairs, patterns, steps, zone_name=None, start=None):
        folder, net = Folder(self), Net(self, pairs)
        counted = [p for p in range(pairs) if not patterns or any(fnmatch.fnmatchcase(f"lan{p}", x) for x in patterns.split())]
        start, runs, before, last = start or local(2026, 12, 10, 9), [], (0, 0), None
        for number, s in enumerate(steps):
            for pair in s["remove"]:
                net.remove(pair)
            for pair in s["make"]:
                net.add(pair)
            for pair in list(net.expected):
                net.send(pair, s["frames"] * (pair + 1), 300, s["frames"] * (pair + 1), 300)
            # A boot of the test's making: an edited /proc/stat (its btime) and another boot id.
            with open("/proc/stat") as real:
                write(folder.root + "/stat", "".join(f"btime {start + s['btime']}\n" if line.startswith("btime ")
                                                     else line for line in real))
            write(folder.root + "/boot_id", f"6a1f0c2e-0000-4000-8000-00000000000{s['boot']}\n")
            zone = zone_name or f"TST-{5 + s['zone']}:30"
            chosen = s["only"] or patterns
            env = {"TZ": zone, **({"BRIMLET_ADAPTERS": chosen} if chosen else {})}
            if s["swap"]:
                swap_names(net)
            run = folder.run(["%u %d %Du %Dd|%ru %rd"], ns=net.inner, at=start + s["clock"], env=env, mounts=[
                (folder.root + "/stat", "/proc/stat"), (folder.root + "/boot_id", "/proc/sys/kernel/random/boot_id")])
            if s["swap"]:
                swap_names(net)
            # What the kernel counted on the counted pairs, those deleted included (the rig checks each exchange).
            total = [sum(net.ever.get(pair, (0, 0))[i] for pair in counted) for i in (0, 1)]
            day = local_day(start + s["clock"], zone)
            runs.append((day, [a - b for a, b in zip(total, before)]))
            before = total
            today = [sum(r[1][i] for r in runs if r[0] == day) for i in (0, 1)]
            totals, rates = run.out.split("|")
            if not s["only"]:
                self.assertEqual(totals, f"{total[1]} {total[0]} {today[1]} {today[0]}", f"step {number + 1}: {run.err}")
            # No rate from a first reading or across a reboot; else this run's bytes over the time between the runs,
            # where both counted every adapter.
            partial = s["only"] or (number > 0 and steps[number - 1]["only"])
            for added, rate in zip(reversed(runs[-1][1]), map(int, rates.split()), strict=True):
                lowest, highest = rate_bounds(added, last, run) if last and s["boot"] == steps[number - 1]["boot"] else (0, 0)
                self.assertTrue(partial or lowest <= rate <= highest, f"step {number + 1}: {rate} not in {lowest}..{highest}")
            last = run


class Adapters(unittest.TestCase):
    def test_physical_ones_alone_count_where_there_are_any(self):
        """In the test's own namespace, with the machine's adapters: those without a link kind,
        or all but the loopback where none is."""
        links = [link for link in json.loads(command(["ip", "-d", "-j", "link", "show"])) if "LOOPBACK" not in link["flags"]]
        physical = [link["ifname"] for link in links if "info_kind" not in link.get("linkinfo", {})]
        listed = [line.split(" Received:")[0] for line in Folder(self).run(["help"]).out.splitlines()
                  if line.startswith("Interface ")]
        self.assertEqual(listed, [f"Interface {i}: {name}" for i, name in
                                  enumerate(physical or [link["ifname"] for link in links])])
