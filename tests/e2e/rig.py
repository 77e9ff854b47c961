"""The rig of the end-to-end tests, the proofs and the report's test: the real program copied
into a throw-away folder (its database lies beside it), run in private network namespaces
whose veth pairs carry raw frames of a local experimental EtherType, so that the kernel's
byte counts are exactly what the test sent; its clock stopped by libfaketime in a zone 5:30
east of UTC."""
import ctypes, datetime, fcntl, json, os, pathlib, shutil, signal, socket, struct, subprocess, tempfile, time, unittest

BINARY, FAKETIME = os.environ["BRIMLET_BINARY"], os.environ["BRIMLET_LIBFAKETIME"]
with open(os.environ["BRIMLET_HELP_PAGE"]) as page:
    HELP = page.read()  # the help page up to "Available Network Adapters:", as users must see it
ZONE, OFFSET = "TST-5:30", 5 * 3600 + 1800
HOUR, DAY = 3600, 86400
NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]


def local(*fields):
    """Seconds since 1970 at which the tests' zone shows this wall-clock time."""
    return int((datetime.datetime(*fields) - datetime.datetime(1970, 1, 1)).total_seconds()) - OFFSET


def filetime(epoch):
    """The local time as the database stores it: 100-ns units since 1601."""
    return (epoch + OFFSET + 11644473600) * 10**7


def boot_day(days):
    """Local midnight of the day that lies this many days after the kernel's boot."""
    with open("/proc/stat") as stat:
        boot = next(int(line.split()[1]) for line in stat if line.startswith("btime "))
    return (boot + OFFSET) // DAY * DAY - OFFSET + days * DAY


def encode(records):
    """records: (local filetime, [(sent, received), ...]) each: a 32-bit count, then per record
    its start, a one-byte entry count and the entries, little-endian. Written here on its own,
    so that a fault in the program's coding can not hide itself."""
    return struct.pack("<I", len(records)) + b"".join(
        struct.pack("<QB", start, len(entries)) + b"".join(struct.pack("<qq", *entry) for entry in entries)
        for start, entries in records)


def decode(data):
    """The records of a database that is exactly a count and that many whole records, else ValueError."""
    (count,), at, records = struct.unpack_from("<I", data), 4, []
    for _ in range(count):
        start, entries = struct.unpack_from("<QB", data, at)
        records.append((start, [struct.unpack_from("<qq", data, at + 9 + 16 * i) for i in range(entries)]))
        at += 9 + 16 * entries
    if at != len(data):
        raise ValueError(f"{len(data) - at} bytes after the records")
    return records


def state_of(path):
    """An entry as it stands, a link not followed: inode, mode, owner, time written and a file's bytes."""
    try:
        s = os.lstat(path)
    except FileNotFoundError:
        return None
    return s.st_ino, s.st_mode, s.st_uid, s.st_mtime_ns, read(path) if os.path.isfile(path) and not os.path.islink(path) else b""


def read(path):
    return pathlib.Path(path).read_bytes()


def write(path, content):
    pathlib.Path(path).write_bytes(content if isinstance(content, bytes) else content.encode())


def command(arguments, ns=None):
    """Runs a command of the rig itself (ip, snmpset), inside the namespace if one is named; its output."""
    return subprocess.run((["ip", "netns", "exec", ns] if ns else []) + arguments, check=True, capture_output=True,
                          text=True).stdout


class Run:
    """A started program: wait() gives its exit status (negative: the signal that ended it) and output."""
    def __init__(self, arguments, env):
        self.started = time.monotonic()
        self.process = subprocess.Popen(arguments, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE)

    def wait(self, limit=60):
        try:
            out, err = self.process.communicate(timeout=limit)
        finally:
            self.process.kill()
        self.status, self.out, self.err = self.process.returncode, out.decode(), err.decode()
        self.seconds = time.monotonic() - self.started
        return self


def launch(command, cwd, ns=None, at=None, env=(), wrap=(), mounts=()):
    """A command (the program, the report) in the network namespace, at the clock stopped at
    `at` (seconds since 1970), under the wrapper (a tracer, another user); mounts: (source,
    target) bound for this run alone, a source of None mounting the target read-only. The
    run gets a /dev/shm of its own, so what libfaketime keeps there goes with it."""
    environment = {"PATH": os.environ["PATH"], "LC_ALL": "C.UTF-8", "TZ": ZONE}
    environment.update((k, v) for k, v in os.environ.items() if k.endswith("SAN_OPTIONS"))
    if at is not None:
        environment.update(FAKETIME_FMT="%s", FAKETIME=str(at), FAKETIME_DONT_FAKE_MONOTONIC="1")  # the uptime runs on
    environment.update(env)
    script = ["mount -t tmpfs -o size=1m,mode=1777 tmpfs /dev/shm"] + [
        f"mount --bind '{target}' '{target}' && mount -o remount,bind,ro '{target}'" if source is None
        else f"mount --bind '{source}' '{target}'" for source, target in mounts] + [f"cd '{cwd}'"]
    # The clock is faked for the command alone, not for the helpers that start it.
    preload = ["env", "LD_PRELOAD=" + FAKETIME] if at is not None else []
    return Run((["ip", "netns", "exec", ns] if ns else []) + ["unshare", "-m", "--propagation", "private", "sh", "-ec",
               "; ".join(script) + '; exec "$@"', "sh", *wrap, *preload, *command], environment)


class Folder:
    """A folder of the test's own: root/program/brimlet, a copy of the built program."""
    def __init__(self, test):
        self.root = tempfile.mkdtemp(prefix="brimlet-e2e-")
        test.addCleanup(shutil.rmtree, self.root, True)
        os.chmod(self.root, 0o755)  # runs as another user reach the program
        self.programs = os.path.join(self.root, "program")
        os.mkdir(self.programs, 0o755)
        self.program = os.path.join(self.programs, "brimlet")
        shutil.copy(BINARY, self.program)

    def database(self, server=""):
        return os.path.join(self.programs, "traffic" + (server and "." + server))

    def lock(self, server=""):
        return os.path.join(self.programs, ".traffic" + (server and "." + server) + ".lock")

    def entries(self):
        """The names beside the program, sorted, the lock files runs leave behind left out."""
        return sorted(n for n in os.listdir(self.programs) if not (n.startswith(".traffic") and n.endswith(".lock")))

    def start(self, arguments, cwd=None, **options):
        """The program with these arguments, in its folder unless cwd says otherwise; see launch."""
        return launch([self.program, *arguments], cwd or self.programs, **options)

    def run(self, arguments, limit=60, **options):
        return self.start(arguments, **options).wait(limit)


libc = ctypes.CDLL(None, use_errno=True)


def frames(ns, interface, count, size, pause=0.0):
    """Starts a process that sends count broadcast frames of exactly size bytes out of the
    interface, from inside its namespace (forever when count is negative); its pid."""
    pid = os.fork()
    if pid == 0:
        code = 3
        try:
            with open("/run/netns/" + ns) as target:
                if libc.setns(target.fileno(), 0x40000000) == 0:  # CLONE_NEWNET
                    sender = socket.socket(socket.AF_PACKET, socket.SOCK_RAW)
                    sender.bind((interface, 0))
                    frame = b"\xff" * 6 + b"\x02\0\0\0\0\x01\x88\xb5" + bytes(size - 14)
                    sent = 0
                    while sent != count and sender.send(frame) == size:
                        sent += 1
                        time.sleep(pause)
                    code = 0 if sent == count else 4
        finally:
            os._exit(code)
    return pid


class Net:
    """Two namespaces of the test's own, joined by numbered veth pairs: the program runs in the
    inner one, where pair n's end is "lan<n>"; its far end "far<n>" sits in the outer one.
    IPv6, and with it every kind of autoconfiguration, is off: only the test moves the counters.
    The rig counts what it sends and checks after each exchange that the kernel counted alike."""
    made = 0

    def __init__(self, test, pairs=0, mtu=1500):
        for name in os.listdir("/run/netns") if os.path.isdir("/run/netns") else []:
            owner = name.split("-")[1] if name.startswith("brimlet-") else ""
            if owner.isdigit() and not os.path.exists(f"/proc/{owner}"):  # left by a killed test
                subprocess.run(["ip", "netns", "delete", name])
        self.inner, self.outer = (self.namespace(test) for _ in range(2))
        self.expected, self.ever, self.exact, self.mtu = {}, {}, True, mtu  # bytes (received, sent) since made, and ever
        for pair in range(pairs):
            self.add(pair)

    def namespace(self, test):
        Net.made += 1
        name = f"brimlet-{os.getpid()}-{Net.made}"
        command(["ip", "netns", "add", name])
        test.addCleanup(subprocess.run, ["ip", "netns", "delete", name])
        command(["sysctl", "-q", "-w", "net.ipv6.conf.all.disable_ipv6=1", "net.ipv6.conf.default.disable_ipv6=1"], name)
        return name

    def add(self, pair):
        """Makes the pair, anew where it exists: then it counts from zero."""
        if pair in self.expected:
            self.remove(pair)
        command(["ip", "-n", self.inner, "link", "add", f"lan{pair}", "type", "veth", "peer", f"far{pair}", "netns",
                 self.outer])
        command(["ip", "-n", self.inner, "link", "set", f"lan{pair}", "mtu", str(self.mtu), "up"])
        command(["ip", "-n", self.outer, "link", "set", f"far{pair}", "mtu", str(self.mtu), "up"])
        self.expected[pair] = (0, 0)
        self.wait_up(pair)

    def wait_up(self, pair):
        """Until the kernel puts a link in operation (up to a second), it drops what is sent, uncounted."""
        for _ in range(250):
            if all(json.loads(command(["ip", "-n", ns, "-j", "link", "show", name]))[0]["operstate"] == "UP"
                   for ns, name in ((self.inner, f"lan{pair}"), (self.outer, f"far{pair}"))):
                return
            time.sleep(0.02)
        raise RuntimeError(f"lan{pair} did not come up")

    def remove(self, pair):
        command(["ip", "-n", self.inner, "link", "delete", f"lan{pair}"])  # both ends
        del self.expected[pair]

    def send(self, pair, frames_in, size_in, frames_out=0, size_out=0):
        """frames_in frames of size_in bytes arrive at lan<pair>, frames_out of size_out leave it."""
        for ns, name, count, size in ((self.outer, f"far{pair}", frames_in, size_in),
                                      (self.inner, f"lan{pair}", frames_out, size_out)):
            if count and os.waitstatus_to_exitcode(os.waitpid(frames(ns, name, count, size), 0)[1]) != 0:
                raise RuntimeError(f"sending out of {name} failed")
        for counts in self.expected, self.ever:
            counts[pair] = tuple(a + b for a, b in zip(counts.get(pair, (0, 0)), (frames_in * size_in, frames_out * size_out)))
        if self.exact and self.kernel(pair) != self.expected[pair]:
            raise RuntimeError(f"the kernel counted {self.kernel(pair)} on lan{pair}, the rig sent {self.expected[pair]}")

    def flow(self, test, pair, inbound, size, pause):
        """Frames flowing into or out of lan<pair> until the test ends; from then on only the kernel knows."""
        self.exact = False
        pid = frames(*((self.outer, f"far{pair}") if inbound else (self.inner, f"lan{pair}")), -1, size, pause)
        test.addCleanup(end, pid)
        return pid

    def index(self, pair):
        """lan<pair>'s interface index."""
        return json.loads(command(["ip", "-n", self.inner, "-j", "link", "show", f"lan{pair}"]))[0]["ifindex"]

    def kernel(self, pair):
        """lan<pair>'s counters as the kernel shows them now: (received, sent)."""
        stats = json.loads(command(["ip", "-n", self.inner, "-s", "-j", "link", "show", f"lan{pair}"]))[0]["stats64"]
        return stats["rx"]["bytes"], stats["tx"]["bytes"]


def hold_lock(test, path):
    """A process that holds the lock file until it is killed; its pid."""
    ready, tell = os.pipe()
    pid = os.fork()
    if pid == 0:
        try:
            fcntl.flock(os.open(path, os.O_RDONLY | os.O_CREAT | os.O_NOFOLLOW, 0o600), fcntl.LOCK_EX)
            os.write(tell, b"L")
            signal.pause()
        finally:
            os._exit(1)
    os.close(tell)
    test.addCleanup(end, pid)
    if os.read(ready, 1) != b"L":
        raise RuntimeError("could not take the lock " + path)
    return pid


def end(pid):
    """Kills and reaps a process of the rig's, if it still is."""
    try:
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
    except (ProcessLookupError, ChildProcessError):
        pass


def figure(name, value):
    """A figure the proofs report, as scripts/test.sh collects them: on a line of its own, since a verbose
    unittest has begun the test's line."""
    print(f"\n[figure] {name} {value}", flush=True)


