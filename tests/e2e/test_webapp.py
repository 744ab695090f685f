"""The farm application of resources/web inside the real program, driven from
the keyboard as a user would.

What the application writes (the database, snapshots, files offered through
the save dialog, printed PDFs) is read from disk. What it only shows is read
through webapp_probe/probe.mjs, which these tests add to their copy of the
application: on F9 it hands a summary of the screen to the fake default
handler as an https address. It reads the page and never writes."""

import json
import re
import shutil
import subprocess
import tempfile
import time
import unittest
import urllib.parse
from datetime import date, datetime, timedelta
from pathlib import Path

from harness import ShellTestCase

HERE = Path(__file__).resolve().parent
FORMAT_1 = HERE.parents[1] / "tests" / "web" / "fixtures" / "v1-farm.json"
WEB = HERE.parents[1] / "resources" / "web"
PROBE = HERE / "webapp_probe" / "probe.mjs"
PROBE_ADDRESS = "https://probe.invalid/?"
DAMAGED = b'{"schema": 1, "animals": ['


# The focus stops after the search field: Print, Back up, then the sidebar.
SIDEBAR = ["Overview", "Animals", "Handling day", "Planned work", "Treatments", "Medicine cabinet", "Weights", "Births",
           "Movements", "Fields and pens", "Groups", "Counts and reports", "Data and backups"]
FIRST_CONTENT = 2 + len(SIDEBAR) + 1


def section_tabs(name):
    """Tab presses from the search field to a section of the sidebar."""
    return 2 + SIDEBAR.index(name) + 1


def probed_copy(folder):
    """The application with the probe loaded after its own scripts."""
    shutil.copytree(WEB, folder)
    shutil.copy(PROBE, folder / "e2e-probe.mjs")
    index = folder / "index.html"
    html = index.read_text("utf-8")
    if "</head>" not in html:
        raise AssertionError("index.html has no </head> to load the probe before")
    index.write_text(html.replace("</head>", '<script type="module" src="e2e-probe.mjs"></script>\n</head>', 1),
                     "utf-8")


def probe(shell, timeout=20.0):
    """What the page shows now. Asks again until the page's scripts have run."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        seen = len(shell.handled_uris())
        shell.key("F9")
        answered = time.monotonic() + 3.0
        while time.monotonic() < answered and len(shell.handled_uris()) == seen:
            if shell.process.poll() is not None:
                raise AssertionError("the program ended")
            time.sleep(0.05)
        new = shell.handled_uris()[seen:]
        if new:
            if not new[0].startswith(PROBE_ADDRESS):
                raise AssertionError(f"not an answer of the probe: {new[0]}")
            return json.loads(urllib.parse.unquote(new[0][len(PROBE_ADDRESS):]))
    raise AssertionError("the page never answered the probe")


def database(animals, **records):
    """A format 3 database of these animals and records, keys left out taking their defaults."""
    return json.dumps({
        "format": "meadowline-field-keeper", "schema": 3, "id": "db-e2e-farm", "revision": 4,
        "savedAt": "2026-03-01T08:00:00.000Z",
        "farm": {"name": "Meadowline Farm", "holding": "12/345/6789", "organic": False},
        "animals": animals, "fields": [], "treatments": [], "weights": [], "births": [], "movements": [], **records,
    }, ensure_ascii=False).encode("utf-8")


def farm(*animals):
    """These (tag, name, species, status) animals; one not on the farm left by a movement."""
    rows = [{"id": f"an-e2e-{n}", "tag": tag, "name": name, "species": species, "breed": "", "sex": "female",
             "dob": "2021-03-14", "status": status, "statusDate": "" if status == "on-farm" else "2025-10-03"}
            for n, (tag, name, species, status) in enumerate(animals)]
    return database(rows, movements=[{"id": f"mo-e2e-{a['id']}", "date": "2025-10-03", "direction": "off",
                                      "outcome": a["status"], "animalIds": [a["id"]], "to": "Market"}
                                     for a in rows if a["status"] != "on-farm"])


class ProbedApplication(ShellTestCase):
    """Tests of the farm application with the probe, one copy per class."""

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.TemporaryDirectory(prefix="mlfk-webapp-")
        cls.page = Path(cls.scratch.name) / "web"
        probed_copy(cls.page)

    @classmethod
    def tearDownClass(cls):
        cls.scratch.cleanup()

    def start(self, shell=None, database=None):
        if shell is None:
            shell = self.shell(self.page)
        if database is not None:
            shell.folder.mkdir(parents=True, exist_ok=True)
            shell.database.write_bytes(database)
        shell.start()
        self.main = shell.window()
        return shell

    def probe(self, shell):
        return probe(shell)

    def type(self, shell, text):
        shell.type_to(self.main, text)

    def button(self, shell, n, expect, section=None):
        """The n-th stop after the sidebar (of `section`, when given), checked by its text.
        Ctrl+K is a menu shortcut, carried out at once, while WebKit hands the
        keys before it to the page one at a time: the probe's key waits for
        them, so that the search field is focused after they are done."""
        if section:
            shell.fill(["ctrl+k"], ["Tab"] * section_tabs(section), ["Return"])
        self.probe(shell)
        shell.key("ctrl+k", *["Tab"] * (FIRST_CONTENT + n))
        self.assertEqual(self.probe(shell)["focusedText"], expect)
        shell.key("Return")

    def print_text(self, shell, output):
        """Prints the screen shown (ctrl+p, Alt+P in the dialog) and reads the PDF's text."""
        shell.key("ctrl+p")
        dialog = shell.wait_window(besides={self.main}, title="Print")
        shell.keys_to(dialog, "alt+p")
        text = shell.printed_text(output, "-layout")
        shell.wait_window_gone(dialog)
        return text


class FarmApplication(ProbedApplication):

    def add_animal(self, shell, tag, name, species, breed):
        # The first focus stops after the search field: Print, Back up, the
        # sections of the sidebar, then the screen's first button. The probe
        # lets keys still on their way reach the page first (see button).
        self.probe(shell)
        shell.key("ctrl+k")
        shell.key(*["Tab"] * FIRST_CONTENT)
        self.assertEqual(self.probe(shell)["focusedText"], "Add animal")
        shell.key("Return")
        # The form opens with the focus in its first field, the tag number.
        for n, value in enumerate([tag, name, species, breed]):
            if n:
                shell.key("Tab")
            self.type(shell, value)
        shell.key("Return")

    def test_fresh_start_then_an_added_animal_survives_quit_and_the_next_start(self):
        shell = self.start()
        state = self.probe(shell)
        self.assertTrue(state["emptyFarm"], state)
        self.assertEqual((state["heading"], state["locked"]), ("Overview", False))
        self.add_animal(shell, "UK 100200", "Bess", "Cattle", "Hereford")
        # The probe's key queues behind the typed ones, so its answer means the
        # page has the animal. WebKit hands key presses over one at a time, and
        # the quit's flush could overtake keys still waiting; a quit straight
        # after the probe normally comes before the delayed save, and whatever
        # has not been saved yet must be saved by the quit.
        self.assertIsNone(self.probe(shell)["dialog"])
        shell.key("ctrl+q")
        self.assertEqual(shell.wait_exit(), 0)
        saved = json.loads(shell.database.read_text("utf-8"))
        self.assertEqual([(a["tag"], a["name"], a["species"], a["breed"], a["status"]) for a in saved["animals"]],
                         [("UK 100200", "Bess", "Cattle", "Hereford", "on-farm")])

        self.start(shell)
        self.assertFalse(self.probe(shell)["emptyFarm"])
        shell.key("ctrl+k")
        self.type(shell, "Bess")
        shell.key("Return")  # opens the first animal found
        state = self.probe(shell)
        self.assertEqual(state["route"], "#/animal/" + urllib.parse.quote(saved["animals"][0]["id"]))
        self.assertEqual(state["heading"], "UK 100200 Bess")

    def test_ctrl_k_focuses_the_search_and_a_saved_form_gives_the_focus_back(self):
        shell = self.start(database=farm(("UK 100200", "Bess", "Cattle", "on-farm")))
        self.assertNotEqual(self.probe(shell)["focusedId"], "global-search")
        shell.key("ctrl+k")
        self.assertEqual(self.probe(shell)["focusedId"], "global-search")
        self.type(shell, "Clover")
        shell.key("Tab")
        state = self.probe(shell)
        self.assertNotEqual(state["focusedId"], "global-search")
        self.assertEqual(state["search"], "Clover")
        # Typing after Ctrl+K replaces the earlier search.
        shell.key("ctrl+k")
        self.type(shell, "Bess")
        state = self.probe(shell)
        self.assertEqual((state["focusedId"], state["search"]), ("global-search", "Bess"))

        shell.key("Return")  # the record card, its heading focused
        shell.key("Tab", "Tab", "Tab")  # Edit, Record treatment, Record weight
        self.assertEqual(self.probe(shell)["focusedText"], "Record weight")
        shell.key("Return")
        self.type(shell, "402")  # the form opens in the weight field
        shell.key("Return")
        shell.wait_for(lambda: len((shell.report() or {}).get("weights", [])) == 1, what="the weight saved")
        # A keyboard user goes on from where they were, not from the top of the page.
        self.assertEqual(self.probe(shell)["focusedText"], "Record weight")
        # Outside text fields Edit › Undo takes the weight back, and Redo records it again;
        # in the search field they undo the typing.
        shell.key("ctrl+z")
        shell.wait_for(lambda: shell.report()["weights"] == [], what="the weight undone")
        shell.key("ctrl+shift+z")
        shell.wait_for(lambda: len(shell.report()["weights"]) == 1, what="the weight recorded again")
        shell.key("ctrl+k")
        self.type(shell, "Meg")  # over the search typed before
        self.probe(shell)  # the typing has reached the page (see button)
        shell.key("ctrl+z")
        self.assertEqual((self.probe(shell)["search"], len(shell.report()["weights"])), ("Bess", 1))

    def test_back_up_offers_a_snapshotted_copy_and_the_printed_register_lists_the_farm(self):
        database = farm(("UK 100200", "Bess", "Cattle", "on-farm"), ("UK 0 712345 00021", "L\u00e9a", "Sheep", "on-farm"),
                        ("UK 100201", "Clover", "Cattle", "sold"))
        shell = self.shell(self.page)
        output = shell.root / "register.pdf"
        # The last printer chosen is offered again: here "Print to File" into `output`.
        shell.print_to_file(output)
        self.start(shell, database=database)
        self.probe(shell)  # the page is up
        snapshots = shell.folder / "Safety Snapshots"
        shell.key("ctrl+b")
        dialog = shell.wait_window(besides={self.main})
        # Taken before the file is offered, as a copy of the database on disk.
        taken = sorted(snapshots.iterdir())
        self.assertEqual(len(taken), 1)
        self.assertRegex(taken[0].name, r"^\d{4}-\d\d-\d\d \d\d-\d\d-\d\d backup\.json$")
        self.assertEqual(taken[0].read_bytes(), database)
        shell.keys_to(dialog, "Escape")
        shell.wait_window_gone(dialog)
        self.assertEqual(list(shell.home.iterdir()), [], "a cancelled backup writes nothing")

        shell.key("ctrl+b")
        dialog = shell.wait_window(besides={self.main})
        shell.keys_to(dialog, "Return")  # the proposed name, in the working folder
        backup = shell.wait_for(lambda: next(iter(shell.home.glob("Field Keeper backup *.json")), None),
                                what="the backup file")
        self.assertRegex(backup.name, r"^Field Keeper backup \d{4}-\d\d-\d\d\.json$")
        offered = json.loads(backup.read_text("utf-8"))
        self.assertEqual(offered["format"], "meadowline-field-keeper")
        self.assertEqual([(a["tag"], a["status"]) for a in offered["animals"]],
                         [("UK 100200", "on-farm"), ("UK 0 712345 00021", "on-farm"), ("UK 100201", "sold")])
        self.assertEqual(shell.database.read_bytes(), database, "backing up changes no record")

        shell.wait_window_gone(dialog)
        shell.key("ctrl+k", *["Tab"] * section_tabs("Animals"), "Return")
        self.assertEqual(self.probe(shell)["route"], "#/animals")
        text = self.print_text(shell, output)
        self.assertIn("Herd register", text)
        self.assertIn("Meadowline Farm", text)
        self.assertRegex(text, r"UK 100200\s+Bess\s+Cattle")
        self.assertRegex(text, r"UK 0 712345 00021\s+L\u00e9a\s+Sheep")
        # The register an inspector asks for: every animal of the keeping period, gone or not.
        self.assertIn("Every animal kept in the last 10 years", text)
        self.assertRegex(text, r"UK 100201\s+Clover\s+Cattle.*2025-10-03 Market\s+Sold")
        self.assertIn("3 animals", text)

    def test_withdrawal_counts_from_the_dose_time_and_off_label_periods_are_raised(self):
        """Milk 2 days: a dose late the day before yesterday is still withdrawn
        today, one 49 hours ago is clear; a 30-day label used off-label gives 45 days."""
        now = datetime.now()
        late, earlier = datetime.combine(now.date() - timedelta(days=2), datetime.max.time()), now - timedelta(hours=49)
        cows = [{"id": f"an-w{n}", "tag": f"UK 90000{n}", "species": "Cattle", "sex": "female", "dob": "2020-03-01"}
                for n in range(3)]

        def dose(n, when, **periods):
            return {"id": f"tr-w{n}", "date": when.date().isoformat(), "lastDate": "", "time": when.strftime("%H:%M"),
                    "animalIds": [f"an-w{n}"], "product": f"Product {n}", "dose": "10 ml", "meatDays": 0,
                    "milkPeriod": 2, "milkUnit": "days", "offLabel": False, **periods}
        treatments = [dose(0, late), dose(1, earlier),
                      dose(2, now - timedelta(days=1), time="", milkPeriod=0, meatDays=30, offLabel=True,
                           meatCascade="label", meatLabelDays=30)]
        shell = self.start(database=database(cows, treatments=treatments))
        shell.fill(["ctrl+k"], ["Tab"] * section_tabs("Treatments"), ["Return"])
        state = shell.wait_for(lambda: (s := self.probe(shell))["heading"] == "Treatments" and s, what="Treatments")
        # The withdrawals come first; the medicine book's rows after them end in Edit and Void.
        rows = " | ".join(r["text"] for r in state["rows"] if not r["text"].endswith("EditVoid"))
        self.assertIn("UK 900000", rows)
        self.assertIn(f"{now.date().isoformat()} 23:59", rows)  # milk fit 48 hours after the dose
        self.assertNotIn("UK 900001", rows)
        self.assertIn((now.date() + timedelta(days=45)).isoformat(), rows)  # from the end of yesterday

    def test_damaged_database_is_left_byte_for_byte(self):
        shell = self.start(database=DAMAGED)
        state = self.probe(shell)
        self.assertTrue(state["locked"], state)
        self.assertEqual(state["heading"], "The saved records cannot be read")

        # Everything that writes in a working farm: a reload (which saves
        # pending work), the back-up command, and quitting.
        shell.key("ctrl+r")
        self.assertTrue(self.probe(shell)["locked"])
        shell.key("ctrl+b")
        dialog = shell.wait_window(besides={self.main})
        shell.keys_to(dialog, "Return")
        # What is offered is the raw text, exactly as found.
        copy = shell.wait_for(lambda: next(iter(shell.home.glob("Field Keeper records as found *.json")), None),
                              what="the copy of the raw records")
        shell.wait_for(lambda: copy.read_bytes() == DAMAGED, what="the copy to hold the raw records")
        shell.key("ctrl+q")
        self.assertEqual(shell.wait_exit(), 0)

        self.assertEqual(shell.database.read_bytes(), DAMAGED)
        # Beside the records only the running instance's lock file.
        self.assertEqual(sorted(p.name for p in shell.folder.iterdir()),
                         [".instance.lock", "Safety Snapshots", "farm-data.json"])
        for snapshot in (shell.folder / "Safety Snapshots").iterdir():
            self.assertEqual(snapshot.read_bytes(), DAMAGED)

        # And at the next start, untouched still.
        self.start(shell)
        self.assertTrue(self.probe(shell)["locked"])
        shell.key("ctrl+q")
        self.assertEqual(shell.wait_exit(), 0)
        self.assertEqual(shell.database.read_bytes(), DAMAGED)

    def sell(self, shell, on):
        # The animal form opens in the tag field; the status is eight stops on,
        # and choosing "Sold" shows the date, buyer, holding and document after the field.
        self.button(shell, 1, "Edit")
        shell.fill(["Tab"] * 8, "s", ["Tab", "Tab", "ctrl+a"], on, ["Tab"], "A. Buyer", ["Tab"], "54/999/0002",
                  ["Tab"], "MD-7", ["Return"])

    def test_a_farmers_morning(self):
        """Upgrades format 1 records, adds animals, treats them for five days, is
        warned when selling one under withdrawal, sells it once clear, voids a
        wrong treatment and prints the medicine book."""
        shell = self.shell(self.page)
        output = shell.root / "medicine.pdf"
        shell.print_to_file(output)
        self.start(shell, database=FORMAT_1.read_bytes())
        # The screen comes, and the upgrade is saved, once a copy of the format 1 file is kept.
        shell.wait_for(lambda: self.probe(shell)["heading"] == "Overview", what="the overview")
        saved = shell.wait_for(lambda: (r := shell.report()) and r["schema"] == 3 and r, what="the upgraded records")
        snapshots = list((shell.folder / "Safety Snapshots").glob("* before upgrade to format 3.json"))
        self.assertEqual([p.read_bytes() for p in snapshots], [FORMAT_1.read_bytes()])
        self.assertEqual(saved["pluginSettings"], {"colour": "green"})

        for tag, name in [("UK 500001", "Meg"), ("UK 500002", "Nell")]:
            shell.key("ctrl+k", "Tab", "Tab", "Tab", "Return")  # Overview
            self.add_animal(shell, tag, name, "Cattle", "Hereford")
            shell.wait_for(lambda: any(a["tag"] == tag for a in shell.report()["animals"]), what=f"{tag} saved")

        today = date.today()
        first = (today - timedelta(days=40)).isoformat()
        clears = (today - timedelta(days=7)).isoformat()  # 28 × 24 hours from the end of the fifth day
        # On Nell's card: a five-day course for both cows. The form opens in the
        # product field, the first date one stop back and the animals one on.
        self.button(shell, 2, "Record treatment")
        shell.fill(["shift+Tab", "ctrl+a"], first, ["Tab"], "Alamycin LA 300", ["Tab", "ctrl+End"], ", UK 500001",
                  ["Tab", "Tab", "Tab"], "20 ml daily", ["Tab", "Tab"], "5", ["Tab", "Tab"], "C5512", ["Tab"],
                  "Foul of the foot", ["Tab"], "J. Evans", ["Tab"], "Rhiannon", ["Tab"], "28", ["Tab"], "0", ["Return"])
        course = shell.wait_for(lambda: next((t for t in shell.report()["treatments"] if t["batch"] == "C5512"), None),
                                what="the course saved")
        self.assertEqual((course["date"], course["lastDate"], course["meatDays"], course["milkPeriod"], len(course["animalIds"])),
                         (first, (today - timedelta(days=36)).isoformat(), 28, 0, 2))

        # Selling Nell while the withdrawal runs is questioned, naming product and date.
        self.sell(shell, (today - timedelta(days=20)).isoformat())
        state = self.probe(shell)
        self.assertEqual(state["dialog"], "Edit UK 500002", state)
        self.assertIn(f"Alamycin LA 300 — meat fit for food from {clears}", state["dialogStatus"])
        self.assertEqual(state["focusedText"], "Go on anyway")
        shell.key("Escape")
        # Sold today, once clear: no question.
        self.sell(shell, today.isoformat())
        nell = next(a for a in shell.report()["animals"] if a["tag"] == "UK 500002")
        sale = shell.wait_for(lambda: next((m for m in shell.report()["movements"] if nell["id"] in m["animalIds"]), None),
                              what="the sale saved")
        self.assertEqual((sale["direction"], sale["outcome"], sale["date"], sale["to"], sale["toHolding"]),
                         ("off", "sold", today.isoformat(), "A. Buyer", "54/999/0002"))
        # Saving keeps only a small marker in session storage, never the records.
        self.assertLess(max(n for _, n in self.probe(shell)["session"]), 200)

        # A treatment recorded on the wrong cow is voided with a reason, after a snapshot.
        shell.fill(["ctrl+k"], "UK 500001", ["Return"])
        self.button(shell, 2, "Record treatment")
        shell.fill("Metacam 20 mg/ml", ["Tab"] * 4, "15 ml", ["Tab"] * 8, "5", ["Tab"], "5", ["Return"])
        wrong = shell.wait_for(lambda: next((t for t in shell.report()["treatments"] if t["product"] == "Metacam 20 mg/ml"), None),
                               what="the wrong treatment saved")
        # Edit, Record treatment, weight, birth, movement, Delete, then the newest treatment's Edit and Void.
        self.button(shell, 8, "Void")
        self.type(shell, "wrong cow")
        shell.key("Return")
        voided = shell.wait_for(lambda: next(t for t in shell.report()["treatments"] if t["id"] == wrong["id"]).get("voided"),
                                what="the treatment voided")
        self.assertEqual(voided["reason"], "wrong cow")  # after a snapshot
        self.assertEqual(len(list((shell.folder / "Safety Snapshots").glob("* before void.json"))), 1)

        # A birth naming the dam among her young: the form says so, in its place, and records nothing.
        births = len(shell.report()["births"])
        self.button(shell, 4, "Record birth")
        shell.fill(["Tab", "Tab"], "UK 500001", ["Return"])
        state = self.probe(shell)
        self.assertEqual((state["dialog"], state["errors"]), ("Record a birth", ["The dam cannot be among her own young."]))
        shell.key("Escape")
        self.assertEqual(len(shell.report()["births"]), births)

        # The medicine book, printed from the Treatments screen.
        shell.key("ctrl+k", *["Tab"] * section_tabs("Treatments"), "Return")
        self.assertEqual(self.probe(shell)["heading"], "Treatments")
        flat = re.sub(r"\s+", " ", self.print_text(shell, output))
        # Narrow columns wrap their words, a long one anywhere; tags never break.
        for expected in ["Medicine book", "Pen-y-Bryn Farm", f"Printed {today.isoformat()}", "Page 1 of 1",
                         "Alamyci", "C5512", "Rhiannon", "Evans", first, clears, "VOID", "wrong", "Metaca",
                         "UK 500001", "UK 500002"]:
            self.assertIn(expected, flat)
        self.assertRegex(subprocess.run(["pdfinfo", str(output)], capture_output=True, text=True).stdout, r"Pages:\s+1\b")

        # The inspection pack: every book of the last twelve months in one document, pages counted over all.
        self.button(shell, 6, "Inspection pack…", section="Counts and reports")
        shell.key("Return")  # the period it offers
        dialog = shell.wait_window(besides={self.main}, title="Print")
        shell.keys_to(dialog, "alt+p")
        # Named after the print's title, in the folder the last print went to.
        output = output.parent / f"Inspection pack {(today - timedelta(days=365)).isoformat()} to {today.isoformat()}.pdf"
        pack = re.sub(r"\s+", " ", shell.printed_text(output, "-layout"))
        shell.wait_window_gone(dialog)
        for book in ["Inspection pack", "Pen-y-Bryn Farm", "Medicine book", "Medicine purchase book", "Herd register",
                     "Movement book", "1 December inventory", "Deaths by cause", "VOID", "wrong cow"]:
            self.assertIn(book, pack)
        pages = int(re.search(r"Pages:\s+(\d+)", subprocess.run(["pdfinfo", str(output)], capture_output=True,
                                                                 text=True).stdout)[1])
        self.assertIn(f"Page {pages} of {pages}", pack)


if __name__ == "__main__":
    unittest.main()
