"""Field records in the real program, by keyboard: a spray with a 7-day
grazing interval closes its field, a movement of animals into it three days
on is questioned, one on the eighth day is not, and the spray book prints.

Dates are relative to today: the spray is recorded eight days back."""

import re
import unittest
from datetime import date, timedelta

from test_webapp import ProbedApplication, database, probe, section_tabs

TODAY = date.today()
SPRAYED = TODAY - timedelta(days=8)
TAGS = ["UK0712345 00001", "UK0712345 00002"]


def holding():
    sheep = [{"id": f"an-{n}", "tag": tag, "species": "Sheep", "sex": "female", "dob": "2024-03-01",
              "firstFieldId": "f-yard"} for n, tag in enumerate(TAGS)]
    return database(sheep, fields=[{"id": "f-top", "name": "Top Field", "kind": "field", "area": 4.5,
                                    "reference": "SO1234 5678"},
                                   {"id": "f-yard", "name": "Yard Paddock", "kind": "field", "area": 1.2}])


class FieldRecords(ProbedApplication):

    def tab_to(self, shell, text, limit=40):
        for _ in range(limit):
            shell.key("Tab")
            if probe(shell)["focusedText"] == text:
                return shell.key("Return")
        raise AssertionError(f"no stop {text!r}")

    def go(self, shell, section, heading):
        shell.fill(["ctrl+k"], ["Tab"] * section_tabs(section), ["Return"])
        shell.wait_for(lambda: probe(shell)["heading"] == heading, what=heading)

    def move_in(self, shell, on):
        """A movement between fields into Top Field: the form opens on its
        direction; the date is one stop back, the tags one on, the field eight."""
        self.go(shell, "Movements", "Movements")
        self.tab_to(shell, "Record movement")
        shell.fill(["shift+Tab", "ctrl+a"], on.isoformat(), ["Tab", "Tab"], ", ".join(TAGS), ["Tab"] * 6, "T",
                   ["Tab", "Return"])

    def test_a_spray_closes_the_field_to_grazing_until_its_interval_has_run(self):
        shell = self.shell(self.page)
        output = shell.root / "spray-book.pdf"
        shell.print_to_file(output)
        self.start(shell, database=holding())
        shell.wait_for(lambda: probe(shell)["heading"] == "Overview", what="the overview")

        # From Fields and pens to the spray records, then the form, which opens on its date.
        self.go(shell, "Fields and pens", "Fields and pens")
        self.tab_to(shell, "Spray records")
        shell.wait_for(lambda: probe(shell)["heading"] == "Spray records", what="the spray records")
        self.tab_to(shell, "Record spray")
        self.assertEqual(probe(shell)["dialog"], "Record a spray")
        shell.fill(["ctrl+a"], SPRAYED.isoformat(), ["Tab"], "10:00", ["Tab", "space", "Tab", "Tab", "Tab"],
                   "Permanent grassland", ["Tab"], "1LOLG", ["Tab", "Tab"], "Doxstar Pro",
                   ["Tab"], "19203", ["Tab"], "2", ["Tab", "Tab", "Tab"], "200", ["Tab"], "J. Evans",
                   ["Tab"], "NPTC 123456", ["Tab"], "Docks", ["Tab"], "F2 SW", ["Tab"], "14 C",
                   ["Tab"], "7", ["Return"])
        saved = shell.wait_for(lambda: (r := shell.report()) and r.get("sprays") and r["sprays"][0], what="the spray")
        self.assertEqual((saved["date"], saved["time"], saved["fieldIds"], saved["area"], saved["totalUsed"],
                          saved["mapp"], saved["grazingDays"], saved["operator"]),
                         (SPRAYED.isoformat(), "10:00", ["f-top"], 4.5, 9, "19203", 7, "J. Evans"))
        reopens = f"{(SPRAYED + timedelta(days=7)).isoformat()} 10:00"

        # Day 3: the movement is questioned, naming the product and when the field reopens.
        self.move_in(shell, SPRAYED + timedelta(days=3))
        state = shell.wait_for(lambda: (s := probe(shell))["dialogStatus"] and s, what="the warning")
        self.assertEqual(state["dialog"], "Record a movement", state)
        self.assertIn("Closed to grazing", state["dialogStatus"])
        self.assertIn(f"Top Field: Doxstar Pro sprayed {SPRAYED.isoformat()} 10:00, reopens {reopens}",
                      state["dialogStatus"])
        self.assertEqual(state["focusedText"], "Go on anyway")
        shell.key("Escape")
        self.assertEqual(shell.report()["movements"], [])

        # Day 8: no question, the animals are in Top Field.
        self.move_in(shell, TODAY)
        moved = shell.wait_for(lambda: shell.report()["movements"], what="the movement saved")
        self.assertEqual([(m["date"], m["fieldId"], len(m["animalIds"])) for m in moved],
                         [(TODAY.isoformat(), "f-top", 2)])
        self.assertIsNone(probe(shell)["dialog"])

        # The field's own page: what was sprayed, who grazes it, and that it is open again.
        self.go(shell, "Fields and pens", "Fields and pens")
        self.tab_to(shell, "Top Field")
        state = shell.wait_for(lambda: (s := probe(shell))["heading"] == "Top Field" and s, what="the field's page")
        rows = [r["text"] for r in state["rows"]]
        self.assertTrue(any("Doxstar Pro" in r and reopens in r for r in rows), rows)
        self.assertTrue(any(r.startswith(TODAY.isoformat()) and "still there" in r for r in rows), rows)
        self.tab_to(shell, "Fields and pens")
        self.tab_to(shell, "Fertiliser and manure")
        shell.wait_for(lambda: probe(shell)["heading"] == "Fertiliser and manure", what="the nutrient records")

        # The spray book, printed from the spray records.
        self.go(shell, "Fields and pens", "Fields and pens")
        self.tab_to(shell, "Spray records")
        shell.wait_for(lambda: probe(shell)["heading"] == "Spray records", what="the spray records")
        flat = re.sub(r"\s+", " ", self.print_text(shell, output))
        for expected in ["Spray record book", "Meadowline Farm", "12/345/6789", f"Printed {TODAY.isoformat()}",
                         "Page 1 of 1", "Doxstar", "19203", "Top Field", "SO1234", "J. Evans", "1LOLG",
                         (SPRAYED + timedelta(days=7)).isoformat()]:
            self.assertIn(expected, flat)


if __name__ == "__main__":
    unittest.main()
