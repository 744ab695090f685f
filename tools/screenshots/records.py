"""Makes the pictures in docs/screenshots/ of the records as format 3 keeps
them, from the real program and the farm application in resources/web, under
the current X display:

    xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" python3 tools/screenshots/records.py

A fresh farm; an animal added and given weights and a five-day course from the
keyboard, its record card, and the question when selling it under withdrawal;
the herd list, medicine book and movement book on screen, and the first page
of each printed to PDF. It replaces the keyboard steps of common.py,
whose treatment form had fewer fields, and reuses its helpers.
"""

import json
import subprocess
import sys
import time
from datetime import date, timedelta
from pathlib import Path

# The end-to-end tests' harness drives the program for these pictures too.
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))

from harness import Shell  # noqa: E402
from common import FIRST_PAINT, make_pictures, OUT, SETTLE, picture, start_screen, typed  # noqa: E402
from test_webapp import FIRST_CONTENT, probe, section_tabs  # noqa: E402

HERE = Path(__file__).resolve().parent


def farm():
    """screenshots_farm.json, its dates given as days back from today ("@12", "@4 18:02")."""
    def dated(v):
        if isinstance(v, dict):
            return {k: dated(x) for k, x in v.items()}
        if isinstance(v, list):
            return [dated(x) for x in v]
        if isinstance(v, str) and v.startswith("@"):
            days, _, clock = v[1:].partition(" ")
            return " ".join(filter(None, [(date.today() - timedelta(days=int(days))).isoformat(), clock]))
        return v
    return json.dumps(dated(json.loads((HERE / "farm.json").read_text("utf-8"))), ensure_ascii=False)


def pdf_page(shell, main, output, name):
    """Prints the screen shown and keeps the first page of the new PDF as a
    picture. The first print goes to `output`; later ones, as for a user,
    into the same folder under the printed page's title."""
    before = set(output.parent.glob("*.pdf"))
    shell.key("ctrl+p")
    dialog = shell.wait_window(besides={main}, title="Print")
    shell.keys_to(dialog, "alt+p")
    pdf = shell.wait_for(lambda: next((p for p in output.parent.glob("*.pdf")
                                       if p not in before and p.stat().st_size > 0), None),
                         timeout=30, what="the PDF")
    shell.wait_window_gone(dialog)
    time.sleep(0.5)
    subprocess.run(["pdftoppm", "-png", "-r", "80", "-f", "1", "-l", "1", "-singlefile", str(pdf),
                    str(OUT / name)], check=True, timeout=60)
    pdf.unlink()


def quiet_picture(shell, main, name, wait=6):
    """A picture with no focus ring and past any notice."""
    shell.click(main, 1200, 150)
    subprocess.run(["xdotool", "mousemove", "0", "0"], check=True, timeout=10)
    time.sleep(wait)
    picture(main, OUT / name)


def record_card_and_books(web):
    shell = Shell(web)
    try:
        shell.folder.mkdir(parents=True)
        shell.database.write_text(farm(), "utf-8")
        output = shell.root / "print.pdf"
        shell.print_to_file(output)
        shell.start()
        main = shell.window()
        probe(shell)
        time.sleep(FIRST_PAINT)

        # Add an animal: the first focus stop after the sidebar is "Add animal".
        typed(shell, main, ["ctrl+k"], ["Tab"] * FIRST_CONTENT, ["Return"],
              "UK 341207 00155", ["Tab"], "Daisy", ["Tab"], "Cattle", ["Tab"], "Holstein Friesian",
              ["Tab", "Tab"], "2023-04-02", ["Tab"], "UK 341207 00140", ["Tab"], "AI Holstein", ["Return"])
        time.sleep(SETTLE)  # the new animal's record card, its heading focused

        # The card's buttons, counted from the search field: Print, Back up, the
        # eight sections, the "Animals" breadcrumb, then Edit, Record treatment,
        # Record weight.
        def card_button(n):
            return [["ctrl+k"], ["Tab"] * (FIRST_CONTENT + n), ["Return"]]

        today = date.today()
        for days_ago, kg in [(200, "402"), (130, "441"), (60, "468"), (12, "497")]:
            # The weight form opens in the weight field, with the date two fields back.
            typed(shell, main, *card_button(3), kg, ["shift+Tab", "shift+Tab", "ctrl+a"],
                  (today - timedelta(days=days_ago)).isoformat(), ["Return"])
            time.sleep(0.5)
        # A five-day course: the form opens in the product field, the first date one stop back.
        typed(shell, main, *card_button(2), ["shift+Tab", "ctrl+a"], (today - timedelta(days=10)).isoformat(), ["Tab"],
              "Closamectin pour-on", ["Tab"] * 4, "10 ml pour-on", ["Tab", "Tab"], "5", ["Tab", "Tab"], "B41207",
              ["Tab"], "Worms", ["Tab"], "J. Evans", ["Tab"], "R. \u00d3 Briain", ["Tab"], "28", ["Tab"], "0")
        time.sleep(SETTLE)
        picture(main, OUT / "treatment-form.png")
        typed(shell, main, ["Return"])
        typed(shell, main, ["ctrl+k"], ["Tab"] * FIRST_CONTENT)
        quiet_picture(shell, main, "animal-record.png")

        # Selling her while the withdrawal runs: the question in the form.
        typed(shell, main, *card_button(1), ["Tab"] * 8, "s", ["Tab", "Tab", "ctrl+a"], today.isoformat(), ["Tab"],
              "G. Pryce", ["Tab"], "54/999/0002", ["Return"])
        time.sleep(SETTLE)
        picture(main, OUT / "sale-warning.png")
        typed(shell, main, ["Escape"])

        # Every animal, gone or not ("show all" at the foot of the search
        # results), then the herd register printed from that list.
        typed(shell, main, ["ctrl+k"], "UK")
        time.sleep(SETTLE)
        typed(shell, main, ["Up"], ["Return"])
        quiet_picture(shell, main, "animals-list.png", wait=SETTLE)
        pdf_page(shell, main, output, "herd-register-pdf-page1")
        # The Treatments and Movements screens, and their books.
        typed(shell, main, ["ctrl+k"], ["Tab"] * section_tabs("Treatments"), ["Return"])
        quiet_picture(shell, main, "treatments.png", wait=SETTLE)
        pdf_page(shell, main, output, "medicine-book-pdf-page1")
        typed(shell, main, ["ctrl+k"], ["Tab"] * section_tabs("Movements"), ["Return"])
        quiet_picture(shell, main, "movements.png", wait=SETTLE)
        pdf_page(shell, main, output, "movement-book-pdf-page1")
        saved = json.loads(shell.database.read_text("utf-8"))
        print(f"saved: {len(saved['animals'])} animals, {len(saved['weights'])} weights, "
              f"{len(saved['treatments'])} treatments", file=sys.stderr)
    finally:
        shell.close()


if __name__ == "__main__":
    make_pictures(start_screen, record_card_and_books)
