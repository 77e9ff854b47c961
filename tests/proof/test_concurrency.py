"""Fifty runs started at once on one database while frames flow through the adapters: each waits for the lock and
completes, the runs take their readings one after another, and after a final run the database holds exactly what
the kernel counted."""
import os, re, time, unittest
from rig import HOUR, Folder, Net, boot_day, decode, end, figure, hold_lock, read

RUNS = 50
ADAPTER = (r"Interface {0}: lan{0}\n Received: (\d+) \(unsigned \d+\)\n Sent: (\d+) \(unsigned \d+\)\n"
           r"(?:(?:corrected to|sent total|recv total): [\d/]+\n)*")
# A run's whole block of the log: its start and boot lines, each adapter's lines (the merge's own, as many as it
# writes) in order, no line of another run between.
BLOCK = re.compile("Application start: [^\n]+\n\nboot @ [^\n]+\n" + ADAPTER.format(0) + ADAPTER.format(1) + "\n")


def waiting_for(lock):
    """How many processes wait in the kernel for the lock on the file: their lines in /proc/locks read
    "1: -> FLOCK  ADVISORY  WRITE <pid> <major>:<minor>:<inode> 0 EOF"."""
    inode = f":{os.stat(lock).st_ino} "
    with open("/proc/locks") as locks:
        return sum("-> FLOCK" in line and inode in line for line in locks)


def logged_readings(log):
    """Each block's raw readings (received 0, sent 0, received 1, sent 1); ValueError unless the log is whole blocks."""
    readings, at = [], 0
    while block := BLOCK.match(log, at):
        readings.append([int(number) for number in block.groups()])
        at = block.end()
    if at != len(log):
        raise ValueError(f"not a whole block of the log at byte {at}: {log[at:at + 300]}")
    return readings


class Concurrency(unittest.TestCase):
    def test_fifty_runs_at_once_wait_their_turn_and_lose_no_update(self):
        folder, net = Folder(self), Net(self, 2)
        net.send(0, 3, 700, 2, 90)
        net.send(1, 1, 100, 4, 1514)
        # Yesterday's reading: the first of the fifty opens today's record, the others update it.
        self.assertEqual(folder.run(["ok"], ns=net.inner, at=boot_day(1) + 20 * HOUR).out, "ok")
        holder = hold_lock(self, folder.lock())  # held while the runs start, so that all of them meet at the lock
        flows = net.flow(self, 0, True, 1000, 0.0002), net.flow(self, 1, False, 300, 0.0003)
        first_started = time.monotonic()
        runs = [folder.start(["log", "ok"], ns=net.inner, at=boot_day(2) + 12 * HOUR, cwd=folder.root)
                for _ in range(RUNS)]
        until = time.monotonic() + 3
        while (waiting := waiting_for(folder.lock())) < RUNS and time.monotonic() < until:
            time.sleep(0.01)
        figure("Concurrency.runsWaitingAtOnce", waiting)
        self.assertEqual(waiting, RUNS)
        released = [net.kernel(pair) for pair in (0, 1)]
        end(holder)
        runs = [run.wait() for run in runs]
        figure("Concurrency.runsCompleted", sum((run.status, run.out) == (0, "ok") for run in runs))
        # Each run waits 5000 ms at most; 255 is the status of one that gave up.
        figure("Concurrency.millisecondsFromFirstStartToLastEnd", round((time.monotonic() - first_started) * 1000))
        self.assertEqual([(run.status, run.out) for run in runs], [(0, "ok")] * RUNS, [run.err for run in runs])
        for flow in flows:
            self.assertEqual(os.waitpid(flow, os.WNOHANG), (0, 0), "a flow ended on its own: a send failed")
            end(flow)

        # The runs read the counters one after another, while they kept growing.
        readings = logged_readings(read(folder.root + "/traffic.log").decode())
        self.assertEqual(len(readings), RUNS)
        for earlier, later in zip(readings, readings[1:]):
            self.assertTrue(all(a <= b for a, b in zip(earlier, later)), f"{earlier} before {later}")
        flowed = readings[-1][0] - released[0][0], readings[-1][3] - released[1][1]
        self.assertGreater(min(flowed), 0, f"bytes in, out during the runs: {flowed}")
        figure("Concurrency.bytesFlowedDuringTheRuns", sum(flowed))

        # After a final run, the day records add up to exactly what the kernel counted.
        self.assertEqual(folder.run(["ok"], ns=net.inner, at=boot_day(2) + 13 * HOUR).out, "ok")
        records = decode(read(folder.database()))
        self.assertEqual(len(records), 2)
        # Entries are (sent, received), the kernel's (received, sent).
        stored = [tuple(sum(entries[pair][i] for _, entries in records) for i in (1, 0)) for pair in (0, 1)]
        kernel = [net.kernel(pair) for pair in (0, 1)]
        figure("Concurrency.bytesLost", sum(k - s for pair in (0, 1) for k, s in zip(kernel[pair], stored[pair])))
        self.assertEqual(stored, kernel)
