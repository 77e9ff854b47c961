"""brimlet-report on prepared databases, and beside the real program, at a clock pinned by faketime."""
import datetime, json, os, re, shutil, struct, subprocess, tempfile, unittest

REPORT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../contrib/report/brimlet-report")
NOW = "2027-03-03 12:00:00"


def database(records):
    since1601 = lambda fields: datetime.datetime(*fields) - datetime.datetime(1601, 1, 1)
    stamp = lambda fields: since1601(fields) * 10 // datetime.timedelta(microseconds=1)  # 100-ns units
    return struct.pack("<I", len(records)) + b"".join(
        struct.pack("<QB", stamp(start), len(entries)) + b"".join(struct.pack("<qq", *e) for e in entries)
        for start, entries in records)


# Across the end of February and a cycle start on the 14th; nothing on 2 March; three boots
# on 3 March; adapter 1 from 1 March on; one record later today and one next week.
RECORDS = [((2027, 2, 13), [(1000, 2000)]), ((2027, 2, 14), [(10, 20)]), ((2027, 2, 28, 9, 30), [(300, 400)]),
           ((2027, 3, 1), [(5, 6), (7000, 8000)]), ((2027, 3, 3), [(1, 2), (10, 20)]),
           ((2027, 3, 3, 8, 15), [(100, 200), (1000, 2000)]), ((2027, 3, 3, 10), [(30000, 40000)]),
           ((2027, 3, 3, 18), [(5**9, 5**9)]), ((2027, 3, 10), [(7**9, 7**9)])]
DAYS = [("2027-02-27", 0, 0), ("2027-02-28", 300, 400), ("2027-03-01", 7005, 8006), ("2027-03-02", 0, 0),
        ("2027-03-03", 31111, 42222)]


class Report(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder)
        self.file = os.path.join(self.folder, "traffic")

    def run_at_now(self, command, month_start=None, **env):
        env = dict(os.environ, TZ="UTC", LC_ALL="C", FAKETIME_DONT_FAKE_MONOTONIC="1", **env)
        env.pop("BRIMLET_MONTH_START", None)
        env.update({"BRIMLET_MONTH_START": month_start} if month_start else {})
        return subprocess.run(["faketime", "-f", NOW, *command], env=env, capture_output=True, text=True)

    def report(self, content, *arguments, month_start="14"):
        with open(self.file, "wb") as file:
            file.write(content)
        return self.run_at_now([REPORT, self.file, "--days", "5", *arguments], month_start)

    def test_days_cycles_and_estimate_are_the_hand_computed_sums(self):
        # (records, BRIMLET_MONTH_START, arguments): days, this and the last cycle
        # (start, sent, received, total), the estimate (sent, received, total)
        cases = [
            (RECORDS, "14", [], DAYS, ("2027-02-14", 38426, 50648, 89074), ("2027-01-14", 1000, 2000, 3000),
             (61481, 81036, 142518)),  # 17.5 days of 28
            (RECORDS, "14", ["--adapter", "9"], DAYS, ("2027-02-14", 38426, 50648, 89074),
             ("2027-01-14", 1000, 2000, 3000), (61481, 81036, 142518)),  # no record has it: all adapters
            (RECORDS, "14", ["--adapter", "1"],
             [("2027-02-27", 0, 0), ("2027-02-28", 0, 0), ("2027-03-01", 7000, 8000), ("2027-03-02", 0, 0),
              ("2027-03-03", 1010, 2020)], ("2027-02-14", 8010, 10020, 18030), ("2027-01-14", 0, 0, 0),
             (12816, 16032, 28848)),
            (RECORDS, None, [], DAYS, ("2027-03-01", 38116, 50228, 88344), ("2027-02-01", 1310, 2420, 3730),
             (472638, 622827, 1095465)),  # 2.5 days of 31
            (RECORDS, "31", [], DAYS, ("2027-03-01", 38116, 50228, 88344), ("2027-02-01", 1310, 2420, 3730),
             (472638, 622827, 1095465)),
            (RECORDS[3:], "14", [], [("2027-02-27", 0, 0), ("2027-02-28", 0, 0)] + DAYS[2:],
             ("2027-02-14", 38116, 50228, 88344), ("2027-01-14", 0, 0, 0),
             (198203, 261185, 459388)),  # counted since 1 March: 2.5 days of 13
        ]
        for records, month_start, arguments, days, cycle, previous, projected in cases:
            with self.subTest(month_start=month_start, arguments=arguments, records=len(records)):
                result = self.report(database(records), "--json", *arguments, month_start=month_start)
                self.assertEqual(result.returncode, 0, result.stderr)
                report = json.loads(result.stdout)
                self.assertEqual([(d["date"], d["sent"], d["received"]) for d in report["days"]], days)
                self.assertEqual([tuple(c[k] for k in ("start", "sent", "received", "total"))
                                  for c in report["cycles"][-2:]], [previous, cycle])
                self.assertEqual(tuple(report["estimate"]["projected"].values()), projected)

    def test_cap_gives_share_daily_budget_and_exit_status(self):
        for cap, status, share, budget in [("100K", 1, 89074 / 102400, 13326 // 11), ("1M", 0, 89074 / 2**20, 87227)]:
            with self.subTest(cap=cap):
                result = self.report(database(RECORDS), "--json", "--cap", cap)
                self.assertEqual(result.returncode, status, result.stderr)
                figures = json.loads(result.stdout)["cap"]
                self.assertEqual((figures["used_share"], figures["daily_budget"], figures["days_left"]),
                                 (share, budget, 11))

    def test_table_shows_days_in_the_programs_units(self):
        result = self.report(database(RECORDS))
        self.assertRegex(result.stdout, r"\nWed 2027-03-03 +30\.4K +41\.2K +71\.6K +#{30}\n")
        self.assertRegex(result.stdout, r"\n2027-02-14 to 2027-03-13 +37\.5K +49\.5K +87\.0K +#{30}\n")

    def test_current_cycle_is_what_the_program_prints_for_this_month(self):
        # The program beside its database, reached through a link on the PATH.
        os.makedirs(os.path.join(self.folder, "bin"))
        shutil.copy(os.environ["BRIMLET_PROGRAM"], self.folder)
        os.symlink("../brimlet", os.path.join(self.folder, "bin", "brimlet"))
        with open(self.file, "wb") as file:
            file.write(database(RECORDS[:7]))
        path = os.path.join(self.folder, "bin") + os.pathsep + os.environ["PATH"]
        for month_start in ["14", None, "31", "3"]:
            with self.subTest(month_start=month_start):
                printed = self.run_at_now(["brimlet", "%Mu %Md"], month_start, PATH=path).stdout
                result = self.run_at_now([REPORT, "--json"], month_start, PATH=path)
                estimate = json.loads(result.stdout)["estimate"]
                self.assertEqual(printed, f"{estimate['sent']} {estimate['received']}")

    def test_damaged_missing_and_foreign_files_are_named_clearly(self):
        whole = database(RECORDS[:7])
        cases = [(whole[:-5], 0, r"damaged: it announces 7 records and holds 6 whole ones"),
                 (whole + b"xyz", 0, r"damaged: 3 bytes after its last record"),
                 (b"\1\0", 2, r"is not a brimlet database"),
                 (b"\x89PNG\r\n\x1a\n\0\0\0\rIHDR" + bytes(2000), 2, r"is not a brimlet database: record 1 starts")]
        for content, status, message in cases:
            with self.subTest(message=message):
                result = self.report(content, "--json")
                self.assertEqual(result.returncode, status)
                self.assertRegex(result.stderr, "^brimlet-report: .*" + message)
        self.assertEqual(json.loads(self.report(whole[:-5], "--json").stdout)["days"][-1]["sent"], 1111)
        os.remove(self.file)
        result = self.run_at_now([REPORT, self.file])
        self.assertEqual((result.returncode, result.stderr), (2, f"brimlet-report: no database at {self.file}: "
                                                                  "brimlet has not saved one there yet\n"))

    def test_chart_is_a_png_of_800_by_350(self):
        chart = os.path.join(self.folder, "days.png")
        self.assertEqual(self.report(database(RECORDS), "--chart", chart).returncode, 0)
        with open(chart, "rb") as file:
            head = file.read(24)
        self.assertEqual((head[:8], struct.unpack(">II", head[16:24])), (b"\x89PNG\r\n\x1a\n", (800, 350)))


if __name__ == "__main__":
    unittest.main()
