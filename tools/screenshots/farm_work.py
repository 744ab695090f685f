"""Makes the pictures of the farm-work screens in docs/screenshots/: the
overview's Today list, a weighing session, the medicine cabinet, counts and
reports, a CSV import's preview and the Animals list with its selection.

    xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" python3 tools/screenshots/farm_work.py"""

import json
import subprocess
import sys
import time
from datetime import date, timedelta
from pathlib import Path

# The end-to-end tests' harness drives the program for these pictures too.
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))

from harness import Shell  # noqa: E402
from common import FIRST_PAINT, make_pictures, OUT, SETTLE, picture, typed  # noqa: E402
from harness import COMPLETION_SETTLES  # noqa: E402
from test_handling_day import TAGS, flock as database  # noqa: E402
from test_webapp import FIRST_CONTENT, probe, section_tabs, tab_to  # noqa: E402


def farm():
    db = json.loads(database())
    soon = (date.today() + timedelta(days=12)).isoformat()
    db["purchases"].append({**db["purchases"][0], "id": "pu-2", "product": "Alamycin LA 300", "batch": "A77", "expiry": soon,
                            "quantity": 100, "antibiotic": True, "meatDays": 28})
    db["treatments"] = [{"id": f"t{n}", "date": (date.today() - timedelta(days=27)).isoformat(), "animalIds": [f"an-{n}"],
                         "product": "Alamycin LA 300", "batch": "A77", "purchaseId": "pu-2", "stockUsed": 10, "meatDays": 28,
                         "milkPeriod": 0, "milkUnit": "days", "dose": "10 ml", "reason": "Foot rot"} for n in range(3)]
    return json.dumps(db).encode("utf-8")


def shoot(shell, main, name):
    subprocess.run(["xdotool", "mousemove", "0", "0"], check=True, timeout=10)
    time.sleep(SETTLE)
    picture(main, OUT / name)


def overview_button(shell, main, n):
    typed(shell, main, ["ctrl+k", "Tab", "Tab", "Tab", "Return"], ["ctrl+k"], ["Tab"] * (FIRST_CONTENT - 1 + n), ["Return"])
    time.sleep(SETTLE)


def main_run(web):
    shell = Shell(web)
    try:
        shell.folder.mkdir(parents=True)
        shell.database.write_bytes(farm())
        csv = shell.home / "flock.csv"
        csv.write_text("Ear tag,EID,Sex,DOB,Paddock,Weigh date,Weight (kg)\n" + "".join(
            f"UK07999990{n:04d},826000{n:09d},{'ewe' if n % 2 else 'tup'},01/03/2025,{'Top Field' if n != 3 else 'Bog'},"
            f"{date.today().isoformat()},{40 + n}\n" for n in range(12)), "utf-8")
        shell.start()
        main = shell.window()
        probe(shell)
        time.sleep(FIRST_PAINT)
        shoot(shell, main, "today-panel.png")

        overview_button(shell, main, 6)
        typed(shell, main, ["Tab"] * 5)
        for n, tag in enumerate(TAGS[:5]):
            typed(shell, main, tag, ["Return"], f"{31 + n * 0.7:.1f}", ["Return"])
        typed(shell, main, "UK NOT HERE", ["Return"], TAGS[5], ["Return"])
        shoot(shell, main, "weighing-session.png")

        overview_button(shell, main, 7)
        shoot(shell, main, "medicine-cabinet.png")
        overview_button(shell, main, 9)
        shoot(shell, main, "reports.png")

        typed(shell, main, ["ctrl+k"], ["Tab"] * section_tabs("Data and backups"), ["Return"])
        tab_to(shell, "csv-import-file")
        typed(shell, main, ["Return"])
        chooser = shell.wait_window(besides={main})
        shell.keys_to(chooser, "ctrl+l")
        shell.type_to(chooser, str(csv))
        time.sleep(COMPLETION_SETTLES)
        shell.keys_to(chooser, "Return")
        shell.wait_window_gone(chooser)
        time.sleep(SETTLE)
        typed(shell, main, ["Tab"] * 8)  # to the import button, which brings the preview into view
        shoot(shell, main, "csv-import-preview.png")

        typed(shell, main, ["ctrl+k"], ["Tab"] * 4, ["Return"], ["Tab"] * 8, ["Return"])
        shoot(shell, main, "animals-selection.png")
    finally:
        shell.close()


if __name__ == "__main__":
    make_pictures(main_run)
