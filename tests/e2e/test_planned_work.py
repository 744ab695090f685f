"""Planned work in the real program, by keyboard: a two-dose vaccine's
schedule set in the medicine cabinet, its first dose recorded, the second
dose shown in Today and printed on the week's plan, then recorded from
Today, which closes the job; and a repeating job typed in and skipped.

What the page saves is read from disk; what it only shows through the probe
of test_webapp (F9)."""

import re
import unittest
from datetime import date, timedelta

from test_webapp import ProbedApplication, database, probe, section_tabs

TODAY = date.today()
TAGS = ["UK0700001", "UK0700002", "UK0700003"]
VACCINE = "Heptavac P Plus"


def flock():
    rows = [{"id": f"an-{n}", "tag": tag, "species": "Sheep", "sex": "female", "dob": "2024-03-01", "firstFieldId": "f1"}
            for n, tag in enumerate(TAGS)]
    return database(
        rows, fields=[{"id": "f1", "name": "Top Field", "kind": "field"}],
        purchases=[{"id": "pu-1", "date": (TODAY - timedelta(days=60)).isoformat(), "product": VACCINE, "batch": "H77",
                    "expiry": (TODAY + timedelta(days=365)).isoformat(), "quantity": 100, "unit": "ml",
                    "supplier": "Vale Vets", "supplierAddress": "Llandeilo", "meatDays": 0, "milkPeriod": 0,
                    "milkUnit": "days", "antibiotic": False}])


def months_on(d, n):
    """The same day n months on, or the month's last day (as the program counts)."""
    y, m = divmod(d.year * 12 + d.month - 1 + n, 12)
    last = (date(y + (m + 1) // 12, (m + 1) % 12 + 1, 1) - timedelta(days=1)).day
    return date(y, m + 1, min(d.day, last))


class PlannedWork(ProbedApplication):
    def go(self, shell, section):
        shell.fill(["ctrl+k"], ["Tab"] * section_tabs(section), ["Return"])
        shell.wait_for(lambda: probe(shell)["heading"] == section, what=section)

    def press(self, shell, text):
        """Tabs on to the first stop showing `text` and presses it."""
        for _ in range(60):
            shell.key("Tab")
            if probe(shell)["focusedText"] == text:
                return shell.key("Return")
        raise AssertionError(f"no stop {text!r}")

    def test_a_two_dose_vaccine_plans_its_second_dose_which_closes_when_recorded(self):
        shell = self.shell(self.page)
        output = shell.root / "week.pdf"
        shell.print_to_file(output)
        self.start(shell, database=flock())
        shell.wait_for(lambda: probe(shell)["heading"] == "Overview", what="the overview")

        # The schedule, kept by the product's name: second dose 28 to 42 days on, a yearly booster.
        self.go(shell, "Medicine cabinet")
        self.press(shell, "Dose schedule")
        self.assertEqual(probe(shell)["dialog"], f"Dose schedule of {VACCINE}")
        shell.fill("28", ["Tab"], "42", ["Tab"], "12", ["Return"])
        saved = shell.wait_for(lambda: (r := shell.report()) and r["farm"].get("productSchedules") and r, what="the schedule")
        self.assertEqual(saved["farm"]["productSchedules"], {VACCINE: {"secondFrom": 28, "secondTo": 42, "boosterMonths": 12}})
        self.assertIn("second dose 28–42 days after the first", probe(shell)["rows"][0]["text"])

        # The first dose, 30 days ago, from the cabinet's batch, for the three ewes.
        first = TODAY - timedelta(days=30)
        self.go(shell, "Treatments")
        self.press(shell, "Record treatment")
        shell.fill("H", ["Tab"], "6", ["Tab", "ctrl+a"], first.isoformat(), ["Tab", "Tab"], ", ".join(TAGS),
                   ["Tab", "Tab", "Tab"], "2 ml each", ["Return"])
        saved = shell.wait_for(lambda: (r := shell.report()) and len(r["jobs"]) == 2 and r, what="the planned doses")
        jobs = {j["source"]["step"]: j for j in saved["jobs"]}
        second = jobs["second"]
        self.assertEqual((second["title"], second["due"], second["until"], second["state"], len(second["animalIds"])),
                         (f"Second dose of {VACCINE}", (first + timedelta(days=28)).isoformat(),
                          (first + timedelta(days=42)).isoformat(), "open", 3))

        # Today shows it above the rest; the week's plan prints it as still to do.
        self.go(shell, "Overview")
        today = probe(shell)["today"]
        self.assertRegex(today, rf"^Today ?due Second dose of {VACCINE}: {', '.join(TAGS)}")
        self.go(shell, "Planned work")
        flat = re.sub(r"\s+", " ", self.print_text(shell, output))
        for expected in ["Week’s plan", "Still to do from before", f"Second dose of {VACCINE}", TAGS[0], "Nothing planned.", "Page 1 of 1"]:
            self.assertIn(expected, flat)

        # Done from Today: the treatment form comes with the batch and the ewes filled in.
        self.go(shell, "Overview")
        self.press(shell, "Do")
        state = probe(shell)
        self.assertEqual(state["dialog"], "Record a treatment")
        shell.fill(["Tab"], "6", ["Tab"] * 6, "2 ml each", ["Return"])
        saved = shell.wait_for(lambda: (r := shell.report()) and len(r["treatments"]) == 2 and r, what="the second dose")
        dose = next(t for t in saved["treatments"] if t["date"] == TODAY.isoformat())
        self.assertEqual((dose["product"], dose["purchaseId"], sorted(dose["animalIds"])), (VACCINE, "pu-1", ["an-0", "an-1", "an-2"]))
        jobs = {j["source"]["step"]: j for j in saved["jobs"]}
        self.assertEqual((jobs["second"]["state"], jobs["second"]["history"][0]["recordIds"]), ("done", [dose["id"]]))
        self.assertEqual((jobs["booster"]["state"], jobs["booster"]["due"]), ("open", months_on(TODAY, 12).isoformat()))
        self.assertNotIn("Second dose", probe(shell)["today"] or "")

        # A job typed in, every two months, skipped once with a reason: the next one is planned.
        self.go(shell, "Planned work")
        self.press(shell, "Plan a job")
        shell.fill("Dag the ewes", ["Tab", "Tab", "Tab"], TAGS[0], ["Tab", "Tab"], "2", ["Return"])
        shell.wait_for(lambda: any(j["title"] == "Dag the ewes" for j in shell.report()["jobs"]), what="the job planned")
        self.press(shell, "Skip")
        shell.fill("Too wet", ["Return"])
        dag = shell.wait_for(lambda: next((j for j in shell.report()["jobs"] if j["title"] == "Dag the ewes" and j["history"]),
                                          None), what="the job skipped")
        self.assertEqual((dag["animalIds"], dag["due"], dag["history"]), (["an-0"], months_on(TODAY, 2).isoformat(), [
            {"due": TODAY.isoformat(), "outcome": "skipped", "on": TODAY.isoformat(), "reason": "Too wet"}]))


if __name__ == "__main__":
    unittest.main()
