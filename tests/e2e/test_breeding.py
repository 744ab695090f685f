"""Breeding in the real program, by keyboard alone: a ram put in with thirty
ewes and raddled a second colour, the marks read off, a scan, the due list by
week, and a birth recorded from it with its dam and sire filled in.

What the page saves is read from disk; what it only shows through the probe
of test_webapp (F9)."""

import unittest
from datetime import date, timedelta

from test_webapp import ProbedApplication, database, probe

TODAY = date.today()
MONDAY = TODAY - timedelta(days=TODAY.weekday())
# The red ewes come due from next Tuesday, the blue ones four weeks on.
RAM_IN = MONDAY + timedelta(days=8 - 147)
CHANGE = RAM_IN + timedelta(days=17)
RAM_OUT = RAM_IN + timedelta(days=34)
EWES = [f"E{n:02d}" for n in range(1, 31)]
RED, BLUE = EWES[:20], EWES[20:]


def flock():
    rows = [{"id": f"an-{n}", "tag": tag, "species": "Sheep", "sex": "female", "dob": "2023-03-01",
             "firstFieldId": "f1"} for n, tag in enumerate(EWES)]
    rows.append({"id": "an-ram", "tag": "RAM1", "species": "Sheep", "sex": "male", "dob": "2022-03-01",
                 "firstFieldId": "f1"})
    return database(rows, fields=[{"id": "f1", "name": "Top Field", "kind": "field"}])


def due_rows(shell):
    """The due list's rows among the first twenty of the screen's tables."""
    return [r["text"] for r in probe(shell)["rows"] if "Record birth" in r["text"]]


def iso(d):
    return d.isoformat()


class Breeding(ProbedApplication):
    def test_ram_in_raddle_scan_due_list_and_a_birth_from_it(self):
        shell = self.start(database=flock())
        shell.wait_for(lambda: probe(shell)["heading"] == "Overview", what="the overview")

        # The service: method (natural), date, sire, the ewes, field, group,
        # ram out, the first colour and the change; Return in "served by" saves.
        self.button(shell, 0, "Record service", section="Breeding")
        shell.fill(["Tab", "ctrl+a"], iso(RAM_IN), ["Tab"], "RAM1", ["Tab"], ", ".join(EWES),
                   ["Tab", "Tab", "Tab"], iso(RAM_OUT), ["Tab"], "red", ["Tab"], f"{iso(CHANGE)} blue",
                   ["Tab"], "J. Evans", ["Return"])
        saved = shell.wait_for(lambda: (r := shell.report()) and r.get("services") and r, what="the service saved")
        s = saved["services"][0]
        self.assertEqual((s["method"], s["date"], s["ramOut"], s["sireId"], s["sire"], len(s["femaleIds"])),
                         ("natural", iso(RAM_IN), iso(RAM_OUT), "an-ram", "RAM1", 30))
        self.assertEqual(s["raddles"], [{"date": iso(RAM_IN), "colour": "red"}, {"date": iso(CHANGE), "colour": "blue"}])

        # Unmarked, all thirty are due within three weeks: past their sixty
        # stops (a link and a button each) to the service's Marks.
        self.assertEqual(len(due_rows(shell)), 20)  # the probe's first twenty rows
        self.button(shell, 73, "Marks")
        shell.fill(", ".join(RED), ["Tab"], ", ".join(BLUE), ["Tab", "Tab", "Return"])
        saved = shell.wait_for(lambda: (r := shell.report()) and r["services"][0]["marks"] and r, what="the marks")
        self.assertEqual(len(saved["services"][0]["marks"]), 30)

        # Only the twenty red ewes are due within three weeks now: the scan.
        # Ten twins, the rest singles but one blue ewe empty and one not scanned.
        self.button(shell, 52, "Scan")
        steps = [["ctrl+a"], iso(TODAY), ["Tab"], "K. Price"]
        for n in range(30):
            result = "T" if n < 10 else "E" if n == 28 else "S" if n < 28 else None
            steps += [["Tab"], *([[result]] if result else []), ["Tab"]]
        shell.fill(*steps, ["Return"])  # Return in the last stage box saves
        saved = shell.wait_for(lambda: (r := shell.report()) and r.get("scans") and r, what="the scan saved")
        found = {r["animalId"]: r["foetuses"] for r in saved["scans"][0]["results"]}
        self.assertEqual(sorted(found.values()), [0] + [1] * 18 + [2] * 10)
        self.assertNotIn("an-29", found)

        # The due list by week: next week's, with their red window and what the scan found.
        rows = due_rows(shell)
        self.assertEqual(len(rows), 20)
        due_from, due_to = MONDAY + timedelta(days=8), RAM_IN + timedelta(days=16 + 147)
        self.assertTrue(all(r.startswith(iso(MONDAY + timedelta(days=7))) and f"{iso(due_from)} to {iso(due_to)}" in r
                            for r in rows), rows[:2])
        self.assertIn("E01", rows[0])
        self.assertIn("twins", rows[0])
        self.assertTrue(all("red" in r and "RAM1" in r for r in rows))

        # A birth from the list: dam and sire are filled in; the young's tag is typed.
        self.button(shell, 7, "Record birth")
        self.assertEqual(probe(shell)["dialog"], "Record a birth")
        shell.fill(["Tab", "Tab"], "L001", ["Return"])
        saved = shell.wait_for(lambda: (r := shell.report()) and r["births"] and r, what="the birth saved")
        b = saved["births"][0]
        self.assertEqual((b["damId"], b["sire"], b["serviceId"], b["date"]), ("an-0", "RAM1", s["id"], iso(TODAY)))
        young = [a for a in saved["animals"] if a["tag"] == "L001"]
        self.assertEqual([(a["dob"], a["species"]) for a in young], [(iso(TODAY), "Sheep")])
        # She has given birth: off the due list.
        rows = due_rows(shell)
        self.assertEqual(len(rows), 19)
        self.assertFalse(any("E01" in r for r in rows))


if __name__ == "__main__":
    unittest.main()
