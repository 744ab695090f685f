"""Makes the pictures in docs/screenshots/ from the real program and the farm
application in resources/web, under the current X display:

    xvfb-run -a -s "-screen 0 1920x1080x24" python3 tests/e2e/screenshots.py

start-screen.png        a fresh farm
animal-record.png       one animal's record card, added and given records from the keyboard
herd-register-pdf-page1.png   the first page of the herd register printed to PDF
"""

import json
import subprocess
import sys
import tempfile
import time
from datetime import date, timedelta
from pathlib import Path

from harness import Shell
from test_webapp import probe, probed_copy

HERE = Path(__file__).resolve().parent
OUT = HERE.parents[1] / "docs" / "screenshots"
SETTLE = 1.5  # for the page to finish painting before a picture
# The first picture of the page reaches the window seconds after its scripts
# have run (software rendering on a busy machine): wait well past that.
FIRST_PAINT = 6.0


def farm():
    fields = [{"id": "fi-1", "name": "Top Meadow", "kind": "field", "area": 6.4, "notes": ""},
              {"id": "fi-2", "name": "River Field", "kind": "field", "area": 4.1, "notes": ""},
              {"id": "fi-3", "name": "Calf Pen", "kind": "pen", "area": None, "notes": ""}]
    rows = [
        ("UK 341207 00102", "Bess", "Cattle", "Hereford", "female", "2019-04-11", "", "AI Hereford", "fi-1"),
        ("UK 341207 00118", "Clover", "Cattle", "Aberdeen Angus", "female", "2020-03-02", "UK 341207 00102", "Bull 44", "fi-1"),
        ("UK 341207 00140", "Primrose", "Cattle", "Holstein Friesian", "female", "2022-05-30", "", "AI Holstein", "fi-2"),
        ("UK 341207 00144", "", "Cattle", "Hereford", "castrated", "2024-02-19", "UK 341207 00118", "Bull 44", "fi-3"),
        ("UK 0 712345 00021", "L\u00e9a", "Sheep", "Texel", "female", "2021-03-14", "", "Ram T12", "fi-2"),
        ("UK 0 712345 00022", "", "Sheep", "Texel", "female", "2021-03-14", "", "Ram T12", "fi-2"),
        ("UK 0 712345 00045", "Bj\u00f6rn", "Sheep", "Suffolk", "male", "2020-04-02", "", "", "fi-2"),
        ("UK 0 712345 00060", "Hazel", "Goat", "Saanen", "female", "2022-06-01", "", "", "fi-3"),
    ]
    animals = [{"id": f"an-{n}", "tag": tag, "name": name, "species": species, "breed": breed, "sex": sex,
                "dob": dob, "dam": dam, "sire": sire, "status": "on-farm", "statusDate": "", "fieldId": field,
                "notes": ""}
               for n, (tag, name, species, breed, sex, dob, dam, sire, field) in enumerate(rows)]
    return json.dumps({"format": "meadowline-field-keeper", "schema": 1, "id": "db-screenshots", "revision": 1,
                       "savedAt": "", "farm": {"name": "Meadowline Farm", "holding": "12/345/6789"},
                       "animals": animals, "fields": fields, "treatments": [], "weights": [], "births": [],
                       "movements": []}, ensure_ascii=False)


def typed(shell, wid, *steps):
    """Each step is text to type, or a list of keys to press."""
    for step in steps:
        if isinstance(step, list):
            shell.keys_to(wid, *step)
        else:
            shell.type_to(wid, step)
        time.sleep(0.15)


def start_screen(web):
    shell = Shell(web)
    try:
        shell.start()
        main = shell.window()
        probe(shell)
        time.sleep(FIRST_PAINT)
        shell.screenshot(main, OUT / "start-screen.png")
    finally:
        shell.close()


def record_card_and_register(web):
    shell = Shell(web)
    try:
        shell.folder.mkdir(parents=True)
        shell.database.write_text(farm(), "utf-8")
        output = shell.root / "register.pdf"
        shell.print_to_file(output)
        shell.start()
        main = shell.window()
        probe(shell)
        time.sleep(FIRST_PAINT)

        # Add an animal: from the search field, eleven focus stops reach "Add animal".
        typed(shell, main, ["ctrl+k"], ["Tab"] * 11, ["Return"],
              "UK 341207 00155", ["Tab"], "Daisy", ["Tab"], "Cattle", ["Tab"], "Holstein Friesian",
              ["Tab", "Tab"], "2023-04-02", ["Tab"], "UK 341207 00140", ["Tab"], "AI Holstein", ["Return"])
        time.sleep(SETTLE)  # the new animal's record card, its heading focused

        # The card's buttons, counted from the search field: Print, Back up, the
        # eight sections, the "Animals" breadcrumb, then Edit, Record treatment,
        # Record weight. Counted afresh each time: after a form is saved the
        # focus is not given back to the button that opened it.
        def card_button(n):
            return [["ctrl+k"], ["Tab"] * (11 + n), ["Return"]]

        today = date.today()
        for days_ago, kg in [(200, "402"), (130, "441"), (60, "468"), (12, "497")]:
            # The weight form opens in the weight field, with the date two fields back.
            typed(shell, main, *card_button(3), kg, ["shift+Tab", "shift+Tab", "ctrl+a"],
                  (today - timedelta(days=days_ago)).isoformat(), ["Return"])
            time.sleep(0.5)
        # The treatment form opens in the product field.
        typed(shell, main, *card_button(2), "Closamectin pour-on", ["Tab", "Tab", "Tab", "Tab"],
              "10 ml pour-on", ["Tab"], "B41207", ["Tab"], "Worms", ["Tab"], "J. Evans",
              ["Tab", "ctrl+a"], "28", ["Return"])
        # Back to the top of the card, then a click on empty page so that no
        # focus ring shows in the picture.
        typed(shell, main, ["ctrl+k"], ["Tab"] * 11)
        shell.click(main, 1200, 150)
        subprocess.run(["xdotool", "mousemove", "0", "0"], check=True, timeout=10)
        time.sleep(6)  # past the notice that the treatment was recorded
        shell.screenshot(main, OUT / "animal-record.png")

        # The herd register: the Animals screen, printed.
        typed(shell, main, ["ctrl+k"], ["Tab"] * 4, ["Return"])
        time.sleep(SETTLE)
        shell.key("ctrl+p")
        dialog = shell.wait_window(besides={main}, title="Print")
        shell.keys_to(dialog, "alt+p")
        shell.wait_for(lambda: output.exists() and output.stat().st_size > 0, timeout=30, what="the PDF")
        shell.wait_window_gone(dialog)
        time.sleep(0.5)
        subprocess.run(["pdftoppm", "-png", "-r", "80", "-f", "1", "-l", "1", "-singlefile", str(output),
                        str(OUT / "herd-register-pdf-page1")], check=True, timeout=60)
        saved = json.loads(shell.database.read_text("utf-8"))
        print(f"saved: {len(saved['animals'])} animals, {len(saved['weights'])} weights, "
              f"{len(saved['treatments'])} treatments", file=sys.stderr)
    finally:
        shell.close()


if __name__ == "__main__":
    OUT.mkdir(parents=True, exist_ok=True)
    # The probe only tells when the page's scripts have run; it draws nothing.
    with tempfile.TemporaryDirectory(prefix="mlfk-screens-") as scratch:
        web = Path(scratch) / "web"
        probed_copy(web)
        start_screen(web)
        record_card_and_register(web)
