"""What a user, another user or another program can hand the program: the longest pattern one argument can carry,
a link planted where the database lies. Each gives the documented behaviour, and nothing is lost. (Server names,
damaged files, failed saves and what others plant at the lock are tested in the unit and end-to-end tests.)"""
import os, unittest
from rig import HOUR, Folder, Net, boot_day, decode, encode, filetime, read, state_of, write

LONGEST = 128 * 1024 - 1  # what one argument may hold, less its terminating zero byte


class HostileInput(unittest.TestCase):
    def setUp(self):
        self.folder, net = Folder(self), Net(self, 1)
        net.send(0, 3, 700, 2, 90)
        self.received, self.sent = net.kernel(0)
        self.options = dict(ns=net.inner, at=boot_day(2) + 12 * HOUR)

    def test_pattern_as_long_as_one_argument_may_be(self):
        """Printed in full, every conversion and line break of it."""
        # The unit repeated to fill the pattern, then "x" up to the tail; what one unit prints; the tail prints nothing.
        for unit, printed, tail in (("%u %d|", f"{self.sent} {self.received}|", ""), ("%b", "\n", ""),
                                    ("%Mu", str(self.sent), "%k"), ("abcdefgh", "abcdefgh", "")):
            with self.subTest(unit):
                units, filler = divmod(LONGEST - len(tail), len(unit))
                run = self.folder.run([unit * units + "x" * filler + tail], **self.options)
                self.assertEqual(run.status, 0)
                self.assertTrue(run.out == printed * units + "x" * filler, "the output differs from the pattern's")
                self.assertEqual(len(decode(read(self.folder.database()))), 1)

    def test_database_replaced_by_a_link(self):
        """The program reads what the link points to, and its save puts a regular file in the link's place, holding
        what it read and the new reading. It never writes through the link, so a planted link can not make it
        overwrite another file, and the file the link pointed to stays as it was."""
        database, elsewhere = self.folder.database(), self.folder.root + "/elsewhere"
        stored = encode([(filetime(boot_day(-3)), [(1, 2), (3, 4)]), (filetime(boot_day(2)), [(50, 60)])])
        # What the run makes of the same records in a regular file, and of no file.
        write(database, stored)
        self.assertEqual(self.folder.run(["ok"], **self.options).out, "ok")
        merged = read(database)
        os.remove(database)
        self.assertEqual(self.folder.run(["ok"], **self.options).out, "ok")
        fresh = read(database)
        os.mkdir(elsewhere)
        write(elsewhere + "/traffic", stored)
        for target, content in ((elsewhere + "/traffic", merged), (elsewhere + "/nothing", fresh)):
            with self.subTest(target):
                os.remove(database)
                os.symlink(target, database)
                target_before = state_of(target)
                self.assertEqual(self.folder.run(["ok"], **self.options).out, "ok")
                self.assertEqual(state_of(target), target_before)
                self.assertEqual(read(database), content)
                self.assertEqual(self.folder.entries(), [".traffic.state", "brimlet", "traffic"])
