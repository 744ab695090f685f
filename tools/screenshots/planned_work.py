"""Makes the pictures of planned work in docs/screenshots/: Today with jobs
due, the Planned work screen, a product's dose schedule and the printed
week's plan.

    xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" python3 tools/screenshots/planned_work.py"""

import json
import sys
import time
from datetime import date, timedelta
from pathlib import Path

# The end-to-end tests' harness drives the program for these pictures too.
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))

from harness import Shell  # noqa: E402
from common import FIRST_PAINT, OUT, SETTLE, make_pictures, picture, typed  # noqa: E402
from records import pdf_page, quiet_picture  # noqa: E402
from test_planned_work import TAGS, VACCINE, flock  # noqa: E402
from test_webapp import probe, section_tabs  # noqa: E402


def farm():
    db = json.loads(flock())
    day = lambda n: (date.today() + timedelta(days=n)).isoformat()  # noqa: E731
    ewes = [f"an-{n}" for n in range(len(TAGS))]
    db["farm"]["productSchedules"] = {VACCINE: {"secondFrom": 28, "secondTo": 42, "boosterMonths": 12}}

    def job(n, title, due, **more):
        return {"id": f"jo-{n}", "title": title, "note": "", "due": day(due), "about": "farm", "action": "",
                "state": "open", "doneIds": [], "history": [], "repeat": None, **more}
    db["jobs"] = [
        job(1, f"Second dose of {VACCINE}", -2, about="animals", animalIds=ewes, action="treatment", product=VACCINE,
            earliest=day(-2), until=day(12), doneIds=ewes[:1],
            source={"product": VACCINE, "step": "second", "first": "t-1"}),
        job(2, "Trim feet", -5, about="field", fieldId="f1", note="Footbath after."),
        job(3, "Check the water troughs", 0, repeat={"every": 1, "unit": "weeks", "from": "due", "day": 1},
            history=[{"due": day(-7), "outcome": "done", "on": day(-7)}]),
        job(4, "Weigh the ewes", 3, about="animals", animalIds=ewes, action="weighing"),
        job(5, "Service the quad bike", 5, repeat={"every": 6, "unit": "months", "from": "done", "day": 1},
            note="Oil and brakes."),
    ]
    return json.dumps(db).encode("utf-8")


def main_run(web):
    shell = Shell(web)
    try:
        shell.folder.mkdir(parents=True)
        shell.database.write_bytes(farm())
        output = shell.root / "print.pdf"
        shell.print_to_file(output)
        shell.start()
        main = shell.window()
        probe(shell)
        time.sleep(FIRST_PAINT)
        quiet_picture(shell, main, "today-jobs.png", wait=SETTLE)
        typed(shell, main, ["ctrl+k"], ["Tab"] * section_tabs("Planned work"), ["Return"])
        quiet_picture(shell, main, "planned-work.png", wait=SETTLE)
        pdf_page(shell, main, output, "week-plan-pdf-page1")
        typed(shell, main, ["ctrl+k"], ["Tab"] * section_tabs("Medicine cabinet"), ["Return"])
        for _ in range(30):
            typed(shell, main, ["Tab"])
            if probe(shell)["focusedText"] == "Dose schedule":
                break
        typed(shell, main, ["Return"])
        time.sleep(SETTLE)
        picture(main, OUT / "dose-schedule.png")
    finally:
        shell.close()


if __name__ == "__main__":
    make_pictures(main_run)
