"""Files from the devices of a handling day, in the real program: a weigh
scale's session file in pounds naming its animals by EID alone, and a
reader's file of EIDs, with no header, as the animals of a treatment."""

import unittest
from datetime import date, timedelta

from test_webapp import ProbedApplication, database, probe, section_tabs

TODAY = date.today()
EIDS = [f"98200001738320{n}" for n in range(1, 4)]


def herd():
    return database([{"id": f"an-{n}", "tag": f"UK0712345 0000{n}", "eid": eid, "species": "Cattle",
                      "sex": "female", "dob": "2024-03-01"} for n, eid in enumerate(EIDS, 1)])


def spaced(eid):
    return f"{eid[:3]} {eid[3:]}"


class DeviceFiles(ProbedApplication):
    def start(self, db):
        shell = super().start(database=db)
        shell.wait_for(lambda: probe(shell)["heading"] == "Overview", what="the overview")
        return shell

    def tab_until(self, shell, found):
        for _ in range(40):
            shell.key("Tab")
            if found(state := probe(shell)):
                return state
        raise AssertionError("no such stop")

    def test_a_scale_session_in_pounds_weighs_animals_found_by_eid(self):
        shell = self.start(herd())
        day = next(d for k in range(1, 40) if (d := TODAY - timedelta(days=k)).day > 12)
        when = day.strftime("%d/%m/%Y")
        csv = shell.home / "session.csv"
        csv.write_text("EID,Weight,Unit,Date,Time\n"
                       f"{spaced(EIDS[0])},890,LB,{when},10:15\n{spaced(EIDS[1])},612,LB,{when},10:16\n"
                       f"982 000017383299,500,LB,{when},10:17\n", "utf-8")
        shell.fill(["ctrl+k"], ["Tab"] * section_tabs("Data and backups"), ["Return"])
        self.tab_until(shell, lambda s: s["focusedId"] == "csv-import-file")
        shell.key("Return")
        shell.choose_file(shell.wait_window(besides={self.main}), csv)
        state = shell.wait_for(lambda: (s := probe(shell)) and len(s["rows"]) > 2 and s, what="the preview")
        self.assertRegex(state["rows"][0]["text"], r"^4\s*No animal on record has the electronic ID 982 000017383299")
        self.assertIn("weight 403.7 kg (890 lb)", state["rows"][1]["text"])
        self.assertTrue(any("2 weights in pounds converted to kilograms (1 lb = 0.45359237 kg)" in n
                            for n in state["notices"]), state["notices"])
        self.assertEqual(shell.report()["weights"], [], "nothing is written before the import is confirmed")
        self.tab_until(shell, lambda s: s["focusedText"] == "Import 0 animals and 2 weights")
        shell.key("Return")
        saved = shell.wait_for(lambda: (r := shell.report()) and len(r["weights"]) == 2 and r, what="the weights saved")
        self.assertEqual(sorted((w["animalId"], w["kg"], w["date"]) for w in saved["weights"]),
                         [("an-1", 403.7, day.isoformat()), ("an-2", 277.6, day.isoformat())])
        self.assertEqual(len(list((shell.folder / "Safety Snapshots").glob("* before import.json"))), 1)

    def test_a_readers_file_without_header_is_the_animal_list_of_a_treatment(self):
        shell = self.start(herd())
        race = shell.home / "race.txt"
        race.write_text(f"{spaced(EIDS[0])}\nA 00000 0 {spaced(EIDS[2])}\n982 000017383299\n", "utf-8")
        self.button(shell, 1, "Record treatment", section="Overview")
        # Product, then the animals box, the field shortcut, group, quantity, and on to the periods.
        shell.fill("Zolvix", ["Tab"] * 4, "2.5 ml", ["Tab"] * 8, "7", ["Tab"], "0")
        self.tab_until(shell, lambda s: (s["focusedId"] or "").startswith("reader-file"))
        shell.key("Return")
        shell.choose_file(shell.wait_window(besides={self.main}), race)
        read = shell.wait_for(lambda: next((n for n in probe(shell)["notices"] if "race.txt" in (n or "")), None),
                              what="the file read")
        self.assertIn("2 animals from “race.txt”", read)
        self.assertIn("not in the list (1): line 3: 982 000017383299", read)
        self.tab_until(shell, lambda s: s["focusedText"] == "Record treatment")
        shell.key("Return")
        saved = shell.wait_for(lambda: (r := shell.report()) and r["treatments"] and r,
                               what=f"the treatment saved ({probe(shell)})")
        self.assertEqual([(t["product"], t["animalIds"]) for t in saved["treatments"]], [("Zolvix", ["an-1", "an-3"])])


if __name__ == "__main__":
    unittest.main()
