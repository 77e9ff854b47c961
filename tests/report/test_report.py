"""brimlet-report on prepared databases, and beside the real program, on the rig of tests/e2e:
each run's clock stopped by libfaketime, with a /dev/shm of its own."""
import json, os, pathlib, runpy, struct, unittest
from datetime import datetime
from rig import Folder, encode, filetime, launch, local

REPORT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../contrib/report/brimlet-report")
NOW = local(2027, 3, 3, 12)


def database(records):
    return encode([(filetime(local(*start)), entries) for start, entries in records])


# Across the end of February and a cycle start on the 14th; nothing on 2 March; three boots
# on 3 March; adapter 1 from 1 March on; one record tomorrow and one next week.
RECORDS = [((2027, 2, 13), [(1024, 10240)]), ((2027, 2, 14), [(10, 20)]), ((2027, 2, 28, 9, 30), [(300, 400)]),
           ((2027, 3, 1), [(5, 6), (7000, 8000)]), ((2027, 3, 3), [(1, 2), (10, 20)]),
           ((2027, 3, 3, 8, 15), [(100, 200), (1000, 2000)]), ((2027, 3, 3, 10), [(30000, 40000)]),
           ((2027, 3, 4, 6), [(5**9, 5**9)]), ((2027, 3, 10), [(7**9, 7**9)])]
DAYS = [("2027-02-27", 0, 0), ("2027-02-28", 300, 400), ("2027-03-01", 7005, 8006), ("2027-03-02", 0, 0),
        ("2027-03-03", 31111, 42222)]
# days; the last and this cycle (start, sent, received); the estimate (sent, received, total)
FROM_14 = (DAYS, [("2027-01-14", 1024, 10240), ("2027-02-14", 38426, 50648)], (61481, 81036, 142518))  # 17.5 of 28 days
FROM_1 = (DAYS, [("2027-02-01", 1334, 10660), ("2027-03-01", 38116, 50228)], (472638, 622827, 1095465))  # 2.5 of 31
FROM_31 = (DAYS, [("2027-01-31", 1034, 10260), ("2027-02-28", 38416, 50628)], (340256, 448419, 788675))  # 3.5 of 31


class Report(unittest.TestCase):
    def setUp(self):
        self.folder = Folder(self)
        self.file = pathlib.Path(self.folder.database())

    def report(self, content, *arguments, month_start="14", command=None):
        if content is not None:
            self.file.write_bytes(content)
        env = dict(BRIMLET_MONTH_START=month_start, PATH=f"{self.folder.programs}{os.pathsep}{os.environ['PATH']}")
        return launch(command or [REPORT, self.file, "--days=5", *arguments], self.folder.programs, at=NOW,
                      env={k: v for k, v in env.items() if v is not None}).wait()

    def test_days_cycles_and_estimate_are_the_hand_computed_sums(self):
        for records, month_start, arguments, (days, cycles, projected) in [
                (RECORDS, "14", [], FROM_14), (RECORDS, "14", ["--adapter", "9"], FROM_14),  # no record has it: all
                (RECORDS, None, [], FROM_1), (RECORDS, "32", [], FROM_1), (RECORDS, "31", [], FROM_31),
                (RECORDS, "14", ["--adapter", "1"], ([d[:1] + (0, 0) for d in DAYS[:2]] + [("2027-03-01", 7000, 8000),
                 ("2027-03-02", 0, 0), ("2027-03-03", 1010, 2020)], [("2027-01-14", 0, 0), ("2027-02-14", 8010, 10020)],
                 (12816, 16032, 28848))),
                (RECORDS[3:], "14", ["--cap", "1M"], ([d[:1] + (0, 0) for d in DAYS[:2]] + DAYS[2:],
                 [("2027-01-14", 0, 0), ("2027-02-14", 38116, 50228)], (198203, 261185, 459388)))]:  # 2.5 of 13 days
            with self.subTest(month_start=month_start, arguments=arguments, records=len(records)):
                result = self.report(database(records), "--json", *arguments, month_start=month_start)
                self.assertEqual(result.status, 0, result.err)
                report = json.loads(result.out)
                self.assertEqual(([(d["date"], d["sent"], d["received"]) for d in report["days"]],
                                  [(c["start"], c["sent"], c["received"]) for c in report["cycles"][-2:]],
                                  tuple(report["estimate"]["projected"].values())), (days, cycles, projected))

    def test_cycles_from_the_28th_to_the_31st_begin_where_the_programs_do(self):
        # The rows of PeriodBoundaries.BeginAShortMonthsCycleOnItsLastDay in tests/pattern.
        cycle_start = runpy.run_path(REPORT)["cycle_start"]
        for today, starts in [
                (20270227, [20270128, 20270129, 20270130, 20270131]), (20270228, [20270228] * 4),
                (20270330, [20270328, 20270329, 20270330, 20270228]), (20280228, [20280228, 20280129, 20280130, 20280131]),
                (20280229, [20280228, 20280229, 20280229, 20280229]), (20270429, [20270428, 20270429, 20270330, 20270331]),
                (20270430, [20270428, 20270429, 20270430, 20270430]), (20270501, [20270428, 20270429, 20270430, 20270430]),
                (20271231, [20271228, 20271229, 20271230, 20271231]), (20280101, [20271228, 20271229, 20271230, 20271231])]:
            day = datetime.strptime(str(today), "%Y%m%d")
            self.assertEqual([int(f"{cycle_start(day, start):%Y%m%d}") for start in range(28, 32)], starts, today)

    def test_table_cap_and_chart(self):
        chart = self.file.with_name("days.png")
        for records, arguments, status, lines in [
                (RECORDS, ["--cap", "100K", "--chart", chart], 1, [
                    r"Wed 2027-03-03 +30\.4K +41\.2K +71\.6K +#{30}", r"2027-01-14 to 2027-02-13 +1\.00K +10\.0K +11\.0K +#+",
                    r"2027-02-14 to 2027-03-13 +37\.5K +49\.5K +87\.0K +#{30}",
                    r"Cap 100K: 87\.0% used, 1\.18K a day left for 11 days - the estimate passes the cap"]),
                # Counts negative in the signed view, near 2^64 as the program renders them.
                ([((2027, 3, 3), [(-1, -2)])], [], 0, [r"Wed 2027-03-03 +16777216T +16777216T +16777216T +#{30}",
                                                       r"2027-02-14 to 2027-03-13 +16777216T +16777216T +16777216T +#{30}"])]:
            with self.subTest(records=len(records)):
                result = self.report(database(records), *arguments)
                self.assertEqual(result.status, status, result.err)
                for line in lines:
                    self.assertRegex(result.out, "\n" + line + "\n")
        head = chart.read_bytes()[:24]
        self.assertEqual((head[:8], struct.unpack(">II", head[16:24])), (b"\x89PNG\r\n\x1a\n", (800, 350)))

    def test_current_cycle_is_what_the_program_prints_for_this_month(self):
        # The program beside its database, found on the PATH.
        for month_start in ["14", None, "31", "3"]:
            with self.subTest(month_start=month_start):
                printed = self.report(database(RECORDS[:7]), command=[self.folder.program, "%Mu %Md"],
                                      month_start=month_start).out
                estimate = json.loads(self.report(None, command=[REPORT, "--json"], month_start=month_start).out)["estimate"]
                self.assertEqual(printed, f"{estimate['sent']} {estimate['received']}")

    def test_damaged_odd_missing_and_foreign_files_are_named_in_one_line(self):
        whole = database(RECORDS[:7])
        # Adapter 2 is in the odd record alone: %n2 counts it (0 today) where brimlet holds that record,
        # and all adapters where it has dropped it.
        odd = lambda *start: database(RECORDS[:7] + [(start, [(0, 0), (0, 0), (5**20, 7**20)])])
        for content, arguments, status, today, message in [
                (whole[:-5], [], 0, 1111, "damaged: it announces 7 records and holds 6 whole ones"),
                (whole + b"xyz", [], 0, 31111, "damaged: 3 bytes after its last record"),
                (odd(2027, 3, 3, 18), ["--adapter", "2"], 0, 5**20, None),  # later today: it counts today
                (odd(2250, 3, 3), ["--adapter", "2"], 0, 0, "1 record left out, .*: 1 dated on a later day\n"),
                (odd(1970, 3, 3), ["--adapter", "2"], 0, 31111, "1 record left out, .*: 1 older than 365 days\n"),
                (b"\1\0", [], 2, None, "is not a brimlet database: too short"),
                (b"\x89PNG\r\n\x1a\n\0\0\0\rIHDR" + bytes(2000), [], 2, None,
                 "is not a brimlet database, or has lost most of it: it announces 1196314761 records in 2016 bytes"),
                (whole, ["--chart", self.file.with_name("missing") / "days.png"], 2, None,
                 "cannot write the chart to .*/missing/days.png: No such file or directory\n"),
                (None, [], 2, None, f"no database at {self.file}: brimlet has not saved one there yet\n")]:
            with self.subTest(message=message):
                if content is None:
                    self.file.unlink()
                result = self.report(content, "--json", *arguments)
                self.assertRegex(result.err, "(?m)^brimlet-report: .*" + message if message else "^$")
                sent_today = None if today is None else json.loads(result.out)["days"][-1]["sent"]
                self.assertEqual((result.status, sent_today, result.err.count("brimlet-report:"), "Traceback" in result.err),
                                 (status, today, int(message is not None), False))


if __name__ == "__main__":
    unittest.main()
