"""A remote host read over SNMP: an agent in the namespace, on its loopback only, with a
throw-away configuration and its interface tables read at every request; each kind of
credentials over runs with exact traffic between them, chosen so that widths and names
matter: over 4 GiB between two runs, a 32-bit counter's wrap, an ifDescr unlike the name;
then the Prometheus script's files, read by node_exporter's textfile collector."""
import os, re, subprocess, sys, tempfile, time, unittest
from rig import HELP, Folder, Net, command, hold_lock, read, state_of, write

BIG, SCRIPT = 65549, os.path.join(os.path.dirname(__file__), "../../contrib/prometheus/brimlet-prometheus")  # MTU 65535
ENDLESS = f"rocommunity public 127.0.0.1\npass_persist .1.3.6.1.2.1.31.1.1.1.1 {sys.executable} {os.path.dirname(__file__)}/endless_column.py "
# lan0's ifDescr is not its name; through "public" and "meter" lan1 has no 64-bit
# counters (one reading of two widths; not the table's last row, which snmpd would hide the
# whole column for); through "narrow" no adapter has (nor an ifName).
CONFIGURATION = """view mixed included .1
view mixed excluded .1.3.6.1.2.1.31.1.1.1.6.{1}
view mixed excluded .1.3.6.1.2.1.31.1.1.1.10.{1}
view narrow included .1
view narrow excluded .1.3.6.1.2.1.31
view agent included .1
view agent excluded .1.3.6.1.2.1.25
rocommunity public 127.0.0.1 -V mixed
rocommunity narrow 127.0.0.1 -V narrow
rocommunity agent 127.0.0.1 -V agent
createUser meter SHA "passphrase1" AES "passphrase1"
rouser meter priv -V mixed
rwcommunity tuner 127.0.0.1 1.3.6.1.4.1.8072.1.5
override 1.3.6.1.2.1.2.2.1.2.{0} octet_str "Port A of the rack"
"""
V3 = {"BRIMLET_USER": "meter", "BRIMLET_PASSWORD": "passphrase1"}  # the passphrase kept off the command line


class SnmpServer(unittest.TestCase):
    def test_totals_help_page_failures_and_prometheus_files(self):
        wide, narrow, net = Folder(self), Folder(self), Net(self, 3, mtu=65535)

        def agent(configuration, ns, *request):  # snmpd on the namespace's loopback, once it answers the request
            home = tempfile.mkdtemp(dir=wide.root)
            write(home + "/agent.conf", configuration)
            command(["ip", "link", "set", "lo", "up"], ns)
            snmpd = subprocess.Popen(["ip", "netns", "exec", ns, "snmpd", "-f", "-C", "-c", home + "/agent.conf", "--persistentDir="
                                      + home, "-I", "-smux,mteTrigger,mteTriggerConf", "-Lf", "/dev/null", "udp:127.0.0.1:161"])
            self.addCleanup(lambda: (snmpd.kill(), snmpd.wait()))
            command(["env", f"SNMP_PERSISTENT_DIR={home}", "MIBS=", *request[:1], "-v2c", "-r", "50", "-t", "0.1", *request[1:]], ns)
            return snmpd

        # The interface tables (ifXTable shares ifTable's cache) read at every request.
        start = lambda: agent(CONFIGURATION.format(net.index(0), net.index(1)), net.inner, "snmpset", "-c", "tuner",
                              "127.0.0.1", "1.3.6.1.4.1.8072.1.5.3.1.2.1.3.6.1.2.1.2.2", "i", "0")
        snmpd, agents = start(), Folder(self)

        def run(folder, *arguments, **options):
            result = folder.run(["server", "127.0.0.1", *arguments], ns=net.inner, **options)
            self.assertEqual(result.err, "")  # the SNMP library's own messages stay unprinted
            return result.out

        # Each row: traffic (pair, frames in, size, frames out, size), then a run whose totals must be the kernel's.
        # A new boot only on evidence: neither the poller's clock nor an agent's restart (its own uptime) is one.
        for traffic, folder, credentials, options in [
                ((0, 2, 500), wide, [], dict(at=int(time.time()) + 120)), ((0, 2, 500), wide, [], {}),
                ((1, 2, 500), agents, ["pass", "agent"], {}), ((1, 2, 500), agents, ["pass", "agent"], dict(restart=True)),
                ((0, 3, 100, 2, 1000), wide, [], {}),  # SNMPv2c, community "public"
                ((1, 5, 1514, 1, 60), wide, [], dict(env=V3)),  # SNMPv3, SHA and AES
                ((1, 1, 60), narrow, ["pass", "narrow"], {}),  # SNMPv2c, a community named
                ((0, 45000, BIG), narrow, ["pass", "narrow"], {}),
                ((0, 21000, BIG), narrow, ["pass", "narrow"], {}),  # lan0's 32-bit counter wraps
                ((1, 1, 60), wide, ["user", "meter"], dict(env={"BRIMLET_PASSWORD": "passphrase1"})),  # over 4 GiB on lan0
                ((1, 1, 60), wide, ["pass", "passphrase1"], dict(env={"BRIMLET_USER": "meter", "BRIMLET_PASSWORD": "wrong"}))]:
            with self.subTest(traffic=traffic, credentials=credentials, options=options):
                if options.pop("restart", False):
                    snmpd.kill(), snmpd.wait()
                    snmpd = start()
                net.send(*traffic)
                self.assertEqual(run(folder, *credentials, "%n0u %n0d %n1u %n1d", **options),
                                 "{1} {0} {3} {2}".format(*net.kernel(0), *net.kernel(1)))
        # Names from ifName where the agent has it, which the adapter patterns match; else from ifDescr.
        lines = lambda names, top: "".join(f"Interface {n}: {name} Received: {net.kernel(p)[0] % top} Sent: "
                                           f"{net.kernel(p)[1] % top}\n" for n, (p, name) in enumerate(names))
        self.assertEqual(run(wide, "help", env={"BRIMLET_ADAPTERS": "x* lan0"}), HELP + lines([(0, "lan0")], 2**64))
        self.assertEqual(run(narrow, "pass", "narrow", "help"),
                         HELP + lines([(0, "Port A of the rack"), (1, "lan1"), (2, "lan2")], 2**32))

        # An unknown community, which an agent ignores, is a row of the Prometheus files below.
        before, failed = state_of(wide.database("127.0.0.1")), "Program Exception: Failed to connect server"
        self.assertEqual(run(wide, "ok", env={**V3, "BRIMLET_PASSWORD": "passphrase2"}),
                         failed + ": Authentication failure (incorrect password, community or key).")
        # A hostile agent in the other namespace: an ifName column without end, answered at once, then slowly.
        for delay, out in [(0, ": the agent reports more than 4096 interfaces."), (0.05, ": the agent took more than 10 s for one reading.")]:
            with self.subTest(delay=delay):
                hostile = agent(ENDLESS + str(delay), net.outer, "snmpget", "-c", "public", "127.0.0.1", "1.3.6.1.2.1.1.3.0")
                self.assertEqual(wide.run(["server", "127.0.0.1", "ok"], ns=net.outer).out, failed + out)
                hostile.kill(), hostile.wait()
        self.assertEqual(state_of(wide.database("127.0.0.1")), before)
        self.assertEqual(wide.entries(), [".traffic.127.0.0.1.state", "brimlet", "traffic.127.0.0.1"])

        # The Prometheus script's file after a sample and after each kind of failure, as the textfile collector reads it.
        files = tempfile.mkdtemp(dir=wide.root)
        exporter = subprocess.Popen(["ip", "netns", "exec", net.inner, "prometheus-node-exporter", "--collector.disable-defaults",
                                     "--collector.textfile", "--collector.textfile.directory=" + files], stderr=subprocess.DEVNULL)
        self.addCleanup(lambda: (exporter.kill(), exporter.wait()))
        scrape = ["python3", "-c", "import time, urllib.request as u\nfor _ in range(100):\n try: print(u.urlopen("
                  "'http://127.0.0.1:9100/metrics').read().decode()); break\n except OSError: time.sleep(0.05)"]
        hold_lock(self, wide.lock("127.0.0.3"))
        sent = f'brimlet_sent_bytes{{server="127.0.0.1",period="total"}} {sum(net.kernel(p)[1] for p in range(3))}\n'
        for server, env, status, message, label in [
                ("127.0.0.1", V3, 0, "", "127.0.0.1"),
                ("127.0.0.1", {"BRIMLET_PASSWORD": "private"}, 1, "Program Exception: Failed to connect server.", "127.0.0.1"),
                ("127.0.0.3", {}, 255, "another run held the database's lock too long", "127.0.0.3"),
                ('%u"\\\n', {}, 1, "Unknown Program Exception", '%u\\"\\\\\\n')]:  # a name no database can have
            with self.subTest(server=server, env=env):
                sample = subprocess.run(["ip", "netns", "exec", net.inner, "bash", SCRIPT, files, server], text=True,
                                        capture_output=True, env={"PATH": os.environ["PATH"], "BRIMLET": wide.program, **env})
                self.assertEqual((sample.returncode, sample.stderr), (status, message and f"brimlet: {server}: {message}\n"))
                text = read(os.path.join(files, "brimlet_" + re.sub("[^A-Za-z0-9._-]", "_", server) + ".prom")).decode()
                up = f'brimlet_up{{server="{label}"}} {int(not status)}\n'
                self.assertEqual((up in text, sent in text), (True, not status))
                self.assertEqual([line in command(scrape, net.inner) for line in ("node_textfile_scrape_error 0\n", up)], [True] * 2)
        self.assertEqual(sorted(os.listdir(files)), ["brimlet_127.0.0.1.prom", "brimlet_127.0.0.3.prom", "brimlet__u___.prom"])
