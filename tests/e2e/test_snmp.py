"""A remote host read over SNMP: an agent in the namespace, on its loopback only, with a
throw-away configuration; each kind of credentials over runs with exact traffic between them."""
import os, subprocess, time, unittest
from rig import HELP, Folder, Net, command, state_of, write

CONFIGURATION = """rocommunity public 127.0.0.1
rocommunity lookout 127.0.0.1
createUser meter SHA "passphrase1" AES "passphrase1"
rouser meter priv
rwcommunity tuner 127.0.0.1 1.3.6.1.4.1.8072.1.5
"""


class SnmpServer(unittest.TestCase):
    def test_totals_help_page_and_failures(self):
        folder, net = Folder(self), Net(self, 2)
        agent = folder.root + "/agent"
        os.mkdir(agent)
        write(agent + "/snmpd.conf", CONFIGURATION)
        command(["ip", "link", "set", "lo", "up"], net.inner)
        snmpd = subprocess.Popen(["ip", "netns", "exec", net.inner, "snmpd", "-f", "-C", "-c", agent + "/snmpd.conf",
                                  "--persistentDir=" + agent, "-I", "-smux,mteTrigger,mteTriggerConf", "-Lf", "/dev/null",
                                  "udp:127.0.0.1:161"])
        self.addCleanup(lambda: (snmpd.kill(), snmpd.wait()))
        for _ in range(100):  # bound to port 161 (00A1) is ready enough: requests wait in the socket
            if ":00A1 " in command(["cat", "/proc/net/udp"], net.inner):
                break
            time.sleep(0.05)
        # The interface table read at every request rather than cached for seconds.
        subprocess.run(["ip", "netns", "exec", net.inner, "env", f"SNMP_PERSISTENT_DIR={agent}", "MIBS=", "snmpset", "-v2c",
                        "-c", "tuner", "127.0.0.1", "1.3.6.1.4.1.8072.1.5.3.1.2.1.3.6.1.2.1.2.2", "i", "0"], check=True,
                       capture_output=True)

        def run(*arguments):
            result = folder.run(["server", "127.0.0.1", *arguments], ns=net.inner)
            self.assertEqual(result.err, "")  # the SNMP library's own messages stay unprinted
            return result.out

        # SNMPv2c with the community "public", SNMPv2c with the one given, SNMPv3 with SHA and AES.
        for credentials in ([], ["pass", "lookout"], ["user", "meter", "pass", "passphrase1"]):
            for traffic in ((0, 3, 100, 2, 1000), (1, 5, 1514, 1, 60), (0, 0, 0, 4, 64)):
                with self.subTest(credentials=credentials, traffic=traffic):
                    net.send(*traffic)
                    (received0, sent0), (received1, sent1) = net.kernel(0), net.kernel(1)
                    self.assertEqual(run(*credentials, "%n0u %n0d %n1u %n1d"), f"{sent0} {received0} {sent1} {received1}")
        self.assertEqual(run("help"), HELP + "".join(f"Interface {p}: lan{p} Received: {net.kernel(p)[0]} Sent: "
                                                     f"{net.kernel(p)[1]}\n" for p in (0, 1)))
        before, failed = state_of(folder.database("127.0.0.1")), "Program Exception: Failed to connect server"
        for credentials, out in [
                (["user", "meter", "pass", "passphrase2"], failed + ": Authentication failure (incorrect password, community or key)."),
                (["user", "nobody", "pass", "passphrase1"], failed + ": Unknown user name."),
                (["pass", "private"], failed + "."),  # an agent ignores an unknown community
                (["server", "127.0.0.2"], failed + ".")]:  # the later name counts; no agent there
            with self.subTest(credentials=credentials):
                self.assertEqual(run(*credentials, "ok"), out)
        self.assertEqual(state_of(folder.database("127.0.0.1")), before)
        self.assertEqual(folder.entries(), [".traffic.127.0.0.1.state", "brimlet", "traffic.127.0.0.1"])
