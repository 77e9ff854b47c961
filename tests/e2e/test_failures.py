"""How runs fail and end, started the ways status bars, pipes and scripts start them: refused
server names, databases that can not be read or saved, exit statuses, output nobody reads,
leftovers of killed saves, what others plant at the lock, and the lock's wait."""
import fnmatch, os, shutil, subprocess, time, unittest
from rig import BINARY, HELP, HOUR, NOBODY, Folder, Net, boot_day, decode, encode, filetime, hold_lock, read, state_of, write


class FailureReport(unittest.TestCase):
    def test_server_names_reach_no_file(self):
        """A name that can not be part of a file name beside the program is refused before anything
        is connected, read or written; one that passes fails at the connection (no host exists in
        the namespace). The rules themselves are a unit table."""
        refused, unreachable = "Unknown Program Exception", "Program Exception: Failed to connect server."
        folder, quiet = Folder(self), Net(self)
        write(folder.database(), encode([(filetime(boot_day(1)), [(1, 2)])]))
        os.mkdir(folder.database("net"))  # where a name split into folders would go
        before, entries = state_of(folder.database()), folder.entries()
        for arguments, out in [(["server", "net/host", "ok"], refused), (["list", "server", "net/host"], refused),
                               (["server", "net/host"], refused), (["ok", "server", "host:1"], refused),
                               (["server", "MyServer", "ok"], unreachable), (["list", "server", "h" * 248], unreachable),
                               (["server", "h" * 131071, "ok"], unreachable)]:  # the most one argument holds
            with self.subTest(arguments=[a[:20] for a in arguments]):
                run = folder.run(arguments, ns=quiet.inner, at=boot_day(2))
                self.assertEqual((run.status, run.out, run.err), (1, out, ""))
                self.assertEqual((folder.entries(), state_of(folder.database())), (entries, before))
                self.assertEqual(os.listdir(folder.database("net")), [])

    def test_database_that_can_not_be_read_or_saved_is_reported_and_kept(self):
        """Reported at once as the run's failure, with its reason; every file stays as it was and no
        temporary file is left. On a full disk, the next run saves once there is room."""
        fill = "cat /dev/zero > filler"  # up to the last byte the disk holds
        # What; a database beforehand; the step that fails, its reason; commands in the program's folder first; the
        # run as nobody; the folder mounted read-only; inodes of a full disk of its own (root, program, database,
        # what the commands make), 0 for none.
        cases = [("folder mounted read-only", True, "save", "Read-only file system", "", False, True, 0),
                 ("folder closed to the user, no database yet", False, "save", "Permission denied", "", True, False, 0),
                 ("file closed to the user", True, "read", "Permission denied", "chmod 0 traffic", True, False, 0),
                 ("no byte left on the disk", True, "save", "No space left on device", fill, False, False, 1000),
                 ("no file left, an earlier run's lock and state beside", True, "save", "No space left on device",
                  "touch .traffic.lock .traffic.state; " + fill, False, False, 6),
                 # Opened as it is, a pipe would hold the run, and with it every run's lock, for good.
                 ("a named pipe", False, "read", "Invalid argument", "mkfifo traffic", False, False, 0),
                 ("a link to a pipe", False, "read", "Invalid argument", "mkfifo ../p; ln -s $PWD/../p traffic", False, False, 0),
                 ("a link to a folder", False, "read", "Invalid argument", "mkdir ../f; ln -s $PWD/../f traffic", False, False, 0),
                 ("a link to a device", False, "read", "Invalid argument", "ln -s /dev/zero traffic", False, False, 0)]
        quiet, content = Net(self), encode([(filetime(boot_day(1)), [(123, 567)])])
        for what, database, step, reason, commands, nobody, read_only, inodes in cases:
            with self.subTest(what):
                folder = Folder(self)
                options = dict(ns=quiet.inner, at=boot_day(2) + 12 * HOUR, wrap=NOBODY if nobody else (),
                               mounts=[(None, folder.programs)] if read_only else ())
                if inodes:
                    size = os.path.getsize(folder.program) + 256 * 1024
                    subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size},nr_inodes={inodes},mode=0755", "tmpfs",
                                    folder.programs], check=True)
                    self.addCleanup(subprocess.run, ["umount", "-l", folder.programs])
                    shutil.copy(BINARY, folder.program)
                if database:
                    write(folder.database(), content)
                    os.chmod(folder.database(), 0o666)
                subprocess.run(commands, shell=True, cwd=folder.programs, stderr=subprocess.DEVNULL)
                entries, before = folder.entries(), state_of(folder.database())
                run = folder.run(["ok"], limit=10, **options)
                self.assertEqual((run.status, run.out), (1, "ok" * (step == "save") +
                                 f"Program Exception: Can not {step} {folder.database()}: {reason}"))
                self.assertEqual((folder.entries(), state_of(folder.database())), (entries, before))
                if inodes:
                    os.remove(folder.programs + "/filler")
                    self.assertEqual(folder.run(["ok"], **options).out, "ok")
                    self.assertEqual(decode(read(folder.database()))[0], (filetime(boot_day(1)), [(123, 567)]))


class RunHygiene(unittest.TestCase):
    def test_exit_status_output_and_saving(self):
        quiet = Net(self)
        for arguments, locked, status, out, saved in [  # out: a shell wildcard pattern
                (["ok"], False, 0, "ok", True),
                # Another database's lock keeps no run waiting; the Linux build reads no server here.
                (["server", "other", "ok"], True, 1, "Program Exception: Failed to connect server.", False),
                (["--help"], False, 0, HELP, False), (["-h"], False, 0, HELP, False),
                (["--version"], False, 0, "brimlet [0-9]*.[0-9]* linux-?*\n", False),
                (["--version", "-h"], False, 0, "-h", True)]:  # along with others, a pattern
            with self.subTest(arguments=arguments):
                folder = Folder(self)
                locked and hold_lock(self, folder.lock())
                run = folder.run(arguments, ns=quiet.inner)
                self.assertEqual(run.status, status)
                self.assertTrue(fnmatch.fnmatchcase(run.out, out), run.out)
                self.assertEqual(os.path.exists(folder.database()), saved)

    def test_output_nobody_reads_costs_no_saving(self):
        """Each run saves anew (its run state, where the counts stand still) whether its output goes to a pipe
        whose reader ended before it started, a full device or closed descriptors; the status tells a figure that
        was lost; the log never receives the pattern's text."""
        folder, quiet, before = Folder(self), Net(self), None
        for closing, status in [('exec 3> >(:); wait $!; exec "$@" >&3 3>&-', 1), ('exec "$@" >/dev/full', 1),
                                ('exec "$@" <&- >&- 2>&-', 0), ('exec "$@" >&-', 0)] * 2:
            with self.subTest(closing):
                run = folder.run(["log", "%u%b%d"], ns=quiet.inner, cwd=folder.root, wrap=["bash", "-c", closing, "_"])
                self.assertEqual(run.status, status)
                self.assertNotEqual(state_of(folder.programs + "/.traffic.state"), before)
                before = state_of(folder.programs + "/.traffic.state")
        self.assertNotIn(b"0\n0", read(folder.root + "/traffic.log"))

    def test_what_is_no_file_beside_the_database_stops_no_count(self):
        """A run state that is no regular file is not trusted: the run counts from the records and puts
        a regular state in its place, or, where it can not, saves the database and says why. A log
        that is no regular file is refused at once, with one line on standard error."""
        net = Net(self, 1)
        state_failure = "Program Exception: Can not save {}/.traffic.state: Is a directory"
        for commands, arguments, status, out, err in [
                ("rm .traffic.state; mkfifo .traffic.state", ["%t"], 0, "{}", ""), ("rm .traffic.state; mkdir .traffic.state", ["%t"], 1, "{}" + state_failure, ""),
                ("mkfifo ../traffic.log", ["log", "%t"], 0, "{}", "Can not write traffic.log: not a regular file\n")]:
            with self.subTest(commands):
                folder = Folder(self)
                self.assertEqual(folder.run(["ok"], ns=net.inner, at=boot_day(1)).out, "ok")
                net.send(0, 3, 500, 1, 700)
                subprocess.run(commands, shell=True, cwd=folder.programs, check=True)
                for _ in range(2):
                    run = folder.run(arguments, ns=net.inner, at=boot_day(1) + HOUR, cwd=folder.root)
                    self.assertEqual((run.status, run.out, run.err),
                                     (status, out.format(sum(net.ever[0]), folder.programs), err))

    def test_leftovers_of_dead_saves_go_those_of_live_ones_stay(self):
        dead = subprocess.run(["sh", "-c", "echo $$"], capture_output=True, text=True).stdout.strip()
        folder, live = Folder(self), str(os.getpid())
        for name in (f"traffic.new-{dead}", f".traffic.state.new-{dead}", f"traffic.new-0{dead}", f"traffic.new-{live}"):
            write(os.path.join(folder.programs, name), "partial")
        self.assertEqual(folder.run(["ok"], ns=Net(self).inner).out, "ok")
        self.assertEqual(folder.entries(), [".traffic.state", "brimlet", "traffic", f"traffic.new-0{dead}", f"traffic.new-{live}"])

    def test_what_another_user_plants_at_the_lock_changes_nothing(self):
        """Never followed, opened for writing or changed; the run goes on without the lock and saves."""
        quiet = Net(self)
        for plant in (lambda lock, victim: os.symlink(victim, lock), lambda lock, victim: os.symlink(victim + "-new", lock),
                      lambda lock, victim: os.mkdir(lock), lambda lock, victim: write(lock, ""),
                      lambda lock, victim: os.mkfifo(lock)):
            folder = Folder(self)
            victim = folder.root + "/victim"
            write(victim, "precious")
            plant(folder.lock(), victim)
            with self.subTest(planted=state_of(folder.lock())[1]):
                # A file is held locked, as another user's run holds it: no lock of this run's to wait for.
                if os.path.isfile(folder.lock()) and not os.path.islink(folder.lock()):
                    hold_lock(self, folder.lock())
                os.lchown(folder.lock(), 65534, 65534)
                planted = state_of(folder.lock())
                run = folder.run(["ok"], ns=quiet.inner)
                self.assertEqual((run.status, run.out, os.path.exists(folder.database())), (0, "ok", True))
                self.assertEqual((read(victim), os.path.exists(victim + "-new")), (b"precious", False))
                self.assertEqual(state_of(folder.lock()), planted)

    def test_run_waits_five_seconds_for_the_lock(self):
        """Blocked on it with a timer of five seconds armed, then gives up silently, having written
        nothing; a waiting run proceeds once the holder dies."""
        folder, quiet = Folder(self), Net(self)
        holder = hold_lock(self, folder.lock())
        inode = f":{os.stat(folder.lock()).st_ino} "

        def blocked(run):
            """Waits until the kernel shows the run blocked on the lock; whether it ever was."""
            while run.process.poll() is None:
                with open("/proc/locks") as locks:
                    if any(" -> FLOCK " in line and inode in line for line in locks):
                        return True
                time.sleep(0.01)
            return False
        trace = folder.root + "/trace"  # the timer it arms; a sanitizer build's leak check can not run traced
        giving_up = folder.start(["log", "ok"], ns=quiet.inner, at=boot_day(1), wrap=["strace", "-qq", "-e", "setitimer", "-o", trace],
                                 env={"ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0"})
        self.assertTrue(blocked(giving_up))
        run = giving_up.wait()
        self.assertEqual((run.status, run.out + run.err, folder.entries()), (255, "", ["brimlet"]))
        self.assertEqual(read(trace).count(b"it_value={tv_sec=5, tv_usec=0}"), 1)
        waiting = folder.start(["help"], ns=quiet.inner, at=boot_day(1))
        self.assertTrue(blocked(waiting))
        os.kill(holder, 9)
        self.assertEqual((waiting.wait().status, waiting.out), (0, HELP))
