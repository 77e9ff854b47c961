"""What the program prints: the help page and the list dump in the orders the arguments ask for
them, under the user's locale, over stored databases that no such run changes."""
import unittest
from rig import HELP, Folder, Net, encode, filetime, local, read, state_of, write


def dump(*adapters):
    """The list dump: per adapter its name and (time stamp, sent, received or None) lines."""
    return "".join(f"Interface {i}: lan{i}\n" + "".join(f"{stamp}: no data recorded\n" if sent is None else
                   f"{stamp}: {sent} bytes sent, {received} bytes received.\n" for stamp, sent, received in lines)
                   + "\n" for i, lines in enumerate(adapters))


class HelpAndList(unittest.TestCase):
    def test_print_the_adapters_and_the_stored_records(self):
        net, quiet = Net(self, 2), Net(self)  # quiet: only the loopback
        net.send(0, 3, 700, 1, 90)
        net.send(1, 0, 0, 2, 1514)
        page = HELP + "Interface 0: lan0 Received: 2100 Sent: 90\nInterface 1: lan1 Received: 0 Sent: 3028\n"
        d5, d6 = "05.12.2026 00:00:00", "06.12.2026 00:00:00"
        # The second record has no entry for adapter 1, which appeared later.
        two_days = encode([(filetime(local(2026, 12, 5)), [(1234, 5678), (1, 2)]), (filetime(local(2026, 12, 6)), [(10, 20)])])
        two_dumped = dump([(d5, 1234, 5678), (d6, 10, 20)], [(d5, 1, 2), (d6, None, None)])
        one_day = encode([(filetime(local(2026, 12, 5)), [(1234, 5678)])])
        one_dumped = lambda stamp: dump([(stamp, 1234, 5678)], [(stamp, None, None)])
        # The dump shows what the load keeps: records from 365 days before now on, to the unit.
        cut_off = filetime(local(2025, 12, 6, 12))
        aged = encode([(filetime(local(2025, 1, 1)), [(1, 1)]), (cut_off - 1, [(2, 2)]), (cut_off, [(3, 3)]),
                       (filetime(local(2026, 12, 6)), [(4, 4), (5, 5)])])
        extremes = encode([(filetime(local(2026, 11, 30, 7, 15, 42)), [(1, 2), (3, 4)]),
                           (filetime(local(2026, 12, 1)), [(-7, 1 << 32), (0, (1 << 63) - 1)])])
        e1, e2 = "30.11.2026 07:15:42", "01.12.2026 00:00:00"
        no_data = "Interface 0: lan0\nno data recorded\n\nInterface 1: lan1\nno data recorded\n\n"
        cases = [  # arguments, database (None: no file), output, locale, only the loopback, the log left
            ([], two_days, page), (["help"], two_days, page), ([""], two_days, page),  # an empty pattern
            (["help", "list"], two_days, page), (["list", "help"], two_days, page + two_dumped),
            (["list"], two_days, two_dumped), (["help", "log"], two_days, page),  # nothing after "help" is read
            (["server", "MyServer", "help"], two_days, HELP + "Program Exception: Failed to connect server."),
            (["help"], two_days, HELP, "de_DE.UTF-8", True), ([], None, HELP, "C.UTF-8", True),
            (["list"], two_days, "", "de_DE.UTF-8", True),  # no adapter: not even "no data recorded"
            (["list"], one_day, one_dumped(d5), "de_CH.UTF-8"), (["list"], one_day, one_dumped("05/12/2026 00:00:00"), "fr_FR.UTF-8"),
            (["list"], one_day, one_dumped("12/05/2026 12:00:00 AM"), "en_US.UTF-8"),
            (["list"], aged, dump([("06.12.2025 12:00:00", 3, 3), (d6, 4, 4)], [("06.12.2025 12:00:00", None, None), (d6, 5, 5)])),
            (["list"], extremes, dump([(e1, 1, 2), (e2, -7, 1 << 32)], [(e1, 3, 4), (e2, 0, (1 << 63) - 1)])),
            (["list"], None, no_data), (["list"], bytes(4), no_data),
            (["log", "help"], two_days, page, "de_DE.UTF-8", False, "Application start: 06.12.2026 12:00:00\n\n\n"),
        ]
        for arguments, database, out, locale, alone, logged in (c + ("de_DE.UTF-8", False, None)[len(c) - 3:] for c in cases):
            with self.subTest(arguments=arguments, locale=locale, alone=alone):
                folder = Folder(self)
                if database is not None:
                    write(folder.database(), database)
                before = state_of(folder.database())
                run = folder.run(arguments, ns=(quiet if alone else net).inner, at=local(2026, 12, 6, 12), env={"LC_ALL": locale})
                self.assertEqual((run.status, run.out), (1 if "Exception" in out else 0, out))
                if logged:
                    self.assertEqual(read(folder.database() + ".log").decode(), logged)
                self.assertEqual(folder.entries(), ["brimlet"] + ["traffic"] * (database is not None) + ["traffic.log"] * bool(logged))
                self.assertEqual(state_of(folder.database()), before)

    def test_number_settings_follow_the_locale_of_each_run(self):
        """A run hands the user's number settings on to the next in its run state; a run under another locale
        reads its own."""
        folder, quiet = Folder(self), Net(self)
        write(folder.database(), encode([(filetime(local(2026, 12, 6)), [(1234567, 0)])]))
        for locale, out in [("de_DE.UTF-8", "1.234.567 1,18M"), ("de_DE.UTF-8", "1.234.567 1,18M"),
                            ("en_US.UTF-8", "1,234,567 1.18M"), ("fr_FR.UTF-8", "1\u202f234\u202f567 1,18M"),
                            ("C.UTF-8", "1234567 1.18M")]:
            run = folder.run(["%Msu %Mau"], ns=quiet.inner, at=local(2026, 12, 6, 12), env={"LC_ALL": locale})
            self.assertEqual(run.out, out, locale)
