"""Handling days in the real program, by keyboard alone: a weighing session
and a treatment session drawing on one batch from the medicine cabinet; and
a herd set up from a 1,000-row CSV file through the file input.

What the page saves is read from disk; what it only shows is read through
the probe of test_webapp (F9)."""

import unittest
from datetime import date, timedelta

from test_webapp import FIRST_CONTENT, ProbedApplication, database, probe, section_tabs, tab_to

TODAY = date.today()
TAGS = [f"UK0712345{n:05d}" for n in range(1, 41)]


def flock(animals=TAGS):
    earlier = (TODAY - timedelta(days=30)).isoformat()
    rows = [{"id": f"an-{n}", "tag": tag, "species": "Sheep", "sex": "female", "dob": "2025-03-01", "firstFieldId": "f1"}
            for n, tag in enumerate(animals)]
    return database(
        rows, fields=[{"id": "f1", "name": "Top Field", "kind": "field"}],
        weights=[{"id": f"w-{a['id']}", "date": earlier, "animalId": a["id"], "kg": 30} for a in rows],
        purchases=[{"id": "pu-1", "date": earlier, "product": "Zolvix", "batch": "Z123",
                    "expiry": (TODAY + timedelta(days=365)).isoformat(), "quantity": 500, "unit": "ml",
                    "supplier": "Vale Vets", "supplierAddress": "Llandeilo", "meatDays": 7, "milkPeriod": 0,
                    "milkUnit": "days", "antibiotic": False}])


class HandlingDay(ProbedApplication):
    def start(self, db):
        shell = super().start(database=db)
        shell.wait_for(lambda: probe(shell)["heading"] == "Overview", what="the overview")
        return shell

    def tab_to(self, shell, text):
        for _ in range(40):
            shell.key("Tab")
            if probe(shell)["focusedText"] == text:
                return shell.key("Return")
        raise AssertionError(f"no stop {text!r}")

    def test_weigh_and_treat_forty_animals_with_one_batch(self):
        shell = self.start(flock())
        # The flock selected on the Animals list, then a weighing day for it.
        shell.fill(["ctrl+k"], ["Tab"] * section_tabs("Animals"), ["Return"])
        self.tab_to(shell, f"Select all {len(TAGS)} that match")
        self.tab_to(shell, "Weighing day")
        self.assertEqual(probe(shell)["heading"], "Handling day")
        # Weighing, Treating, New animals, the date, then the tag.
        shell.fill(["ctrl+k"], ["Tab"] * FIRST_CONTENT, ["Tab"] * 4)
        self.assertEqual(probe(shell)["focusedId"], "hd-w-tag")
        for n, tag in enumerate(TAGS):
            shell.fill(tag, ["Return"], str(31 + n % 4 * 0.5), ["Return"])
        shell.fill("UK NOT HERE", ["Return"], TAGS[0].lower(), ["Return"])
        rows = probe(shell)["rows"]
        self.assertIn("UK NOT HERE", rows[1]["text"])
        self.assertIn("not on this farm", rows[1]["text"])
        self.assertIn("already weighed", rows[0]["text"])
        self.assertRegex(rows[2]["text"], rf"{TAGS[-1]}\s*32,5|{TAGS[-1]}\s*32\.5")
        weights = shell.wait_for(lambda: (r := shell.report()) and len(r["weights"]) == 80 and r["weights"], what="40 weights saved")
        today = [w for w in weights if w["date"] == TODAY.isoformat()]
        self.assertEqual(sorted(w["kg"] for w in today), sorted(31 + n % 4 * 0.5 for n in range(40)))

        # Treating: back to the tabs, choose the batch by its first letter, a
        # quantity for each animal, then tags as they pass.
        shell.fill(["shift+Tab"] * 3, ["Return"], ["Tab", "Tab", "Tab"], "Z", ["Tab"], "2.5", ["Tab"], "2.5 ml by mouth",
                   ["Tab", "Tab", "Tab"], "Worms", ["Tab"], "J. Evans", ["Return"])
        self.assertEqual(probe(shell)["focusedId"], "hd-t-tag")
        for tag in TAGS:
            shell.fill(tag, ["Return"])
        saved = shell.wait_for(lambda: (r := shell.report()) and len(r["treatments"]) == 40 and r, what="40 treatments saved")
        self.assertEqual({(t["product"], t["batch"], t["purchaseId"], t["stockUsed"], t["meatDays"], t["dose"], len(t["animalIds"]))
                          for t in saved["treatments"]}, {("Zolvix", "Z123", "pu-1", 2.5, 7, "2.5 ml by mouth", 1)})
        self.assertEqual(len({t["animalIds"][0] for t in saved["treatments"]}), 40)

        # The cabinet shows what is left; the treatments screen lists all forty under withdrawal.
        self.button(shell, 6, "Medicine cabinet", section="Overview")
        self.assertIn("400 of 500 ml", probe(shell)["rows"][0]["text"])
        shell.fill(["ctrl+k"], ["Tab"] * section_tabs("Treatments"), ["Return"])
        state = probe(shell)
        self.assertEqual(state["heading"], "Treatments")
        clears = (TODAY + timedelta(days=8)).isoformat()  # seven days after the end of a day with no time
        # The withdrawal list comes first, one row per animal.
        withdrawn = [r["text"] for r in state["rows"]]
        self.assertEqual(len(withdrawn), 20)
        self.assertTrue(all("Zolvix" in t and clears in t for t in withdrawn), withdrawn[:3])

        # The yearly inventory counts the flock as other sheep until a tupping group is chosen.
        shell.fill(["ctrl+k"], ["Tab"] * section_tabs("Counts and reports"), ["Return"])
        state = probe(shell)
        self.assertEqual(state["heading"], "Counts and reports")
        self.assertIn("choose the tupping group400", [r["text"] for r in state["rows"]])  # cells run together

    def test_import_of_a_thousand_rows_reports_two_bad_ones(self):
        shell = self.start(flock(animals=[]))
        csv = shell.home / "flock.csv"
        lines = ["Ear tag,EID,Sex,DOB,Paddock,Weigh date,Weight (kg)"]
        for n in range(1000):
            eid = f"826000{n:09d}"
            sex = "ewe" if n % 2 else "ram"
            lines.append(f"UK0799999{n:05d},{eid},{sex},01/03/2025,Top Field,{(TODAY - timedelta(days=2)).isoformat()},{40 + n % 7}")
        lines[101] = lines[101].replace("ewe", "heffalump").replace("ram", "heffalump")
        lines[501] = lines[501].replace("Top Field", "Lost Valley")
        csv.write_text("\n".join(lines) + "\n", "utf-8")

        shell.fill(["ctrl+k"], ["Tab"] * section_tabs("Data and backups"), ["Return"])
        self.assertEqual(probe(shell)["heading"], "Data and backups")
        # Past the farm's details, the data folder, back up and restore, to the CSV file.
        tab_to(shell, "csv-import-file")
        shell.key("Return")
        shell.choose_file(shell.wait_window(besides={self.main}), csv)
        # Past the seven column choices: none of the dates (01/03/2025) shows whether the day comes first.
        shell.key(*["Tab"] * 8)
        self.assertEqual(probe(shell)["focusedId"], "csv-date-order")
        shell.fill("D")
        state = shell.wait_for(lambda: (s := probe(shell)) and len(s["rows"]) > 2 and s, what="the preview")
        self.assertRegex(state["rows"][0]["text"], r"^102\s*The sex .heffalump")
        self.assertRegex(state["rows"][1]["text"], r"^502\s*There is no field or pen named .Lost Valley")
        self.assertIn("UK079999900000", state["rows"][2]["text"])
        self.assertEqual(shell.report()["animals"], [], "nothing is written before the import is confirmed")
        shell.key("Tab")
        self.assertEqual(probe(shell)["focusedText"], "Import 998 animals and 998 weights")
        shell.key("Return")
        saved = shell.wait_for(lambda: (r := shell.report()) and len(r["animals"]) == 998 and r, what="the import saved")
        self.assertEqual(len(saved["weights"]), 998)
        self.assertEqual(len(list((shell.folder / "Safety Snapshots").glob("* before import.json"))), 1)
        # An electronic ID finds its animal.
        shell.fill(["ctrl+k"], "826000000000777", ["Return"])
        self.assertEqual(probe(shell)["heading"], "UK079999900777")


if __name__ == "__main__":
    unittest.main()
