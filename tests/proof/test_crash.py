"""The real program killed with SIGKILL at every system call of a pattern-mode run that may matter, and after
random delays across the run: whatever the kill hits, the database and the run state beside it hold whole the
state before that run or the state after it, and the next run completes with the state after it."""
import collections, os, random, re, struct, time, unittest
from rig import HOUR, Folder, Net, boot_day, decode, figure, read, write

# The database's history before the killed run, made by real runs: frames sent (pair, frames in, their size,
# frames out, theirs), a run (days after boot, hour), a pair made anew (its number). The killed run reads at
# noon of the second day after boot; it writes its counts in place where the last run was of that day.
HISTORIES = {
    "FirstRun": [(0, 3, 700, 2, 90)],
    "SameDay": [(0, 3, 700, 2, 90), (2, 8), (1, 4, 1514, 1, 64)],
    "NewDay": [(0, 3, 700, 2, 90), (1, 10), (1, 4, 1514, 1, 64), (1, 20), (0, 1, 100, 5, 1000)],
    # The run state knows the interface made anew by its new index.
    "AfterRecreation": [(1, 3, 700, 2, 90), (1, 10), (1,), (1, 2, 300, 1, 200), (1, 20), (1, 1, 100, 5, 1000)],
    # The state grows by the interface made anew (the old one stays remembered), then, from the second run on, keeps
    # its size.
    "SameDayAfterRecreation": [(1, 3, 700, 2, 90), (1, 10), (2, 9), (1,), (1, 2, 300, 1, 200), (2, 10), (2, 11),
                               (0, 1, 100, 5, 1000)],
}
# The calls that make the killed run's saves durable: a data sync of the database written in place, a rename of a
# new file. After SameDay's only run, the run state grows by the state before and takes a new file.
SAVES = {"SameDay": {"fdatasync", "rename"}, "SameDayAfterRecreation": {"fdatasync"}}
# The boot's uptime stopped with the clock, so that two runs with the same readings leave the same run state.
FROZEN = {"FAKETIME_DONT_FAKE_MONOTONIC": "0"}
FIGURES = ["kills", "killedBySignal", "completedBeforeTheKill", "foundStateBefore", "foundStateAfter", "foundOtherState",
           "wrongAfterNextRun", "temporaryFilesLeft", "bytesLost"]
TEMPORARY = re.compile(r"(traffic|\.traffic\.state)\.new-\d+")


def calls_that_may_matter(trace, program, places):
    """The system calls of one run, in order (name, how many of that name came so far), from the first that names
    the lock, the database or the run state up to the write of the output. A run changes only what it names, or
    reaches through a descriptor a naming call opened; what comes before (the helpers that start it, the loader)
    names none of them, and the output is written once the lock is given up, so a kill outside leaves everything
    as it was, or as it was going to be."""
    calls, seen, first, started = [], collections.Counter(), None, False
    for line in read(trace).decode(errors="replace").splitlines():
        if not (call := re.match(r"([a-z0-9_]+)\(", line)):
            continue  # signals, the end of the process
        seen[call[1]] += 1
        calls.append((call[1], seen[call[1]]))
        if call[1] == "execve":
            started, first = line.startswith(f'execve("{program}"') and line.endswith("= 0"), None
        elif started and first is None and any(place in line for place in places):
            first = len(calls) - 1
        elif first is not None and line.startswith("write(1, "):
            return calls[first:]
    return []


def sound(state):
    """Whether the database is a count and exactly that many whole records; no file counts as none."""
    try:
        decode(state[0] or bytes(4))
    except (ValueError, struct.error):
        return False
    return True


class Histories(unittest.TestCase):
    """For each history, the state (database, run state; None where there is no file) before the killed run and
    after an undisturbed one; each kill's outcome is checked and counted."""
    def each_history(self, kill):
        for name, history in HISTORIES.items():
            with self.subTest(name):
                self.saves = SAVES.get(name, {"rename"})
                self.folder, self.net = Folder(self), Net(self, 2)
                self.options = dict(ns=self.net.inner, at=boot_day(2) + 12 * HOUR, env=FROZEN)
                for step in history:
                    if len(step) == 5:
                        self.net.send(*step)
                    elif len(step) == 2:
                        run = self.folder.run(["ok"], ns=self.net.inner, at=boot_day(step[0]) + step[1] * HOUR, env=FROZEN)
                        self.assertEqual(run.out, "ok", run.err)
                    else:
                        self.net.add(step[0])
                self.before = self.saved()
                # A second run with the same readings changes no count, so a run after a killed one reaches the
                # state after too. (It writes the run state anew, keeping the first run's as the state before.)
                self.assertEqual(self.folder.run(["ok"], **self.options).out, "ok")
                self.after = self.saved()
                self.assertEqual(self.folder.run(["ok"], **self.options).out, "ok")
                self.after_again = self.saved()
                self.assertEqual(self.after_again[0], self.after[0], "a second run with the same readings changed it")
                self.assertNotEqual(self.before, self.after)
                self.assertTrue(sound(self.after))
                self.restore()
                self.tally, self.failures = collections.Counter(dict.fromkeys(FIGURES, 0)), []
                try:
                    kill()
                finally:
                    for figure_name, value in sorted(self.tally.items()):
                        figure(f"{type(self).__name__}.{name}.{figure_name}", value)
                self.assertEqual(self.failures, [])

    def paths(self):
        return self.folder.database(), os.path.join(self.folder.programs, ".traffic.state")

    def saved(self):
        return tuple(read(path) if os.path.lexists(path) else None for path in self.paths())

    def restore(self):
        """The state before, and nothing else beside the program but the lock."""
        for name in self.folder.entries():
            if name != "brimlet":
                os.remove(os.path.join(self.folder.programs, name))
        for path, content in zip(self.paths(), self.before):
            if content is not None:
                write(path, content)

    def survived(self, killed, where):
        """The state found after a run that was killed, or had ended first, and after the next run."""
        tally, before, after = self.tally, self.before, self.after
        tally["kills"] += 1
        tally["killedBySignal" if killed.status < 0 else "completedBeforeTheKill"] += 1
        if killed.status >= 0 and killed.out != "ok":
            self.failures.append(f"{where}: the run printed {killed.out!r} {killed.err}")
        found = self.saved()
        # The run state goes first and holds the state for the database before the run as well as after it: beside
        # the old database it stands for the state before (the next run proves it).
        if found == before or found == (before[0], after[1]):
            tally["foundStateBefore"] += 1
        elif found == after:
            tally["foundStateAfter"] += 1
        else:
            tally["foundOtherState"] += 1
            tally["bytesLost"] += len(before[0] or b"") if found[0] not in (before[0], after[0]) else 0
            self.failures.append(f"{where}: found {found}, before {before}, after {after}")
        if not sound(found):
            self.failures.append(f"{where}: the database is not whole")
        for name in set(self.folder.entries()) - {"brimlet", "traffic", ".traffic.state"}:
            tally["temporaryFilesLeft"] += 1
            if not TEMPORARY.fullmatch(name):
                self.failures.append(f"{where}: left {name}")
        next_run = self.folder.run(["ok"], **self.options)
        if (next_run.status, next_run.out) != (0, "ok") or self.saved() not in (after, self.after_again):
            tally["wrongAfterNextRun"] += 1
            self.failures.append(f"{where}: the next run exited {next_run.status}, {next_run.err}, left {self.saved()}")
        self.restore()


class CrashSafety(Histories):
    def test_killed_at_every_system_call(self):
        self.each_history(self.kill_at_every_system_call)

    def kill_at_every_system_call(self):
        trace = self.folder.root + "/trace"
        self.assertEqual(self.folder.run(["ok"], wrap=["strace", "-qq", "-o", trace], **self.options).out, "ok")
        self.assertEqual(self.saved(), self.after)
        self.restore()
        calls = calls_that_may_matter(trace, self.folder.program, [self.folder.lock(), *self.paths()])
        self.assertGreater(len(calls), 20, "the trace did not show the program's calls")
        self.assertEqual({name for name, _ in calls} & {"fdatasync", "rename"}, self.saves)
        for name, occurrence in calls:
            point = f"inject={name}:signal=SIGKILL:when={occurrence}"
            self.survived(self.folder.run(["ok"], wrap=["strace", "-qq", "-o", "/dev/null", "-e", point], **self.options),
                          f"killed on entering {name} #{occurrence}")
        self.tally["systemCalls"] = len(calls)
        # Every run makes these calls alike, so every kill hits.
        self.assertEqual(self.tally["killedBySignal"], self.tally["kills"])
        self.assertGreater(self.tally["foundStateAfter"], 0)
        self.assertGreater(self.tally["foundStateBefore"], 0)


class CrashSafetyAtRandom(Histories):
    def test_killed_after_random_delays(self):
        self.each_history(self.kill_after_random_delays)

    def kill_after_random_delays(self):
        """Delays up to the length of an undisturbed run, from the start of the helpers that start it."""
        longest = max(self.folder.run(["ok"], **self.options).seconds for _ in range(5))
        self.restore()
        delays = random.Random(20261206)
        for _ in range(int(os.environ.get("BRIMLET_PROOF_KILLS", 100))):
            delay = delays.uniform(0, longest)
            run = self.folder.start(["ok"], **self.options)
            time.sleep(delay)
            run.process.kill()
            self.survived(run.wait(), f"killed after {delay * 1e6:.0f} µs")
        self.tally["runMicroseconds"] = int(longest * 1e6)
        self.assertGreater(self.tally["killedBySignal"], 0)
