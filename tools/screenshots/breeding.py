"""Makes the pictures of breeding in docs/screenshots/: the Breeding screen
with its due list, the scan form, a ewe's record card, and the printed due
list.

    xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" python3 tools/screenshots/breeding.py"""

import json
import sys
import time
from datetime import timedelta
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))

from harness import Shell  # noqa: E402
from common import FIRST_PAINT, make_pictures, OUT, SETTLE, picture, typed  # noqa: E402
from records import pdf_page  # noqa: E402
from test_breeding import BLUE, CHANGE, EWES, RAM_IN, RAM_OUT, RED, TODAY, flock  # noqa: E402
from test_webapp import FIRST_CONTENT, probe, section_tabs  # noqa: E402


def farm():
    db = json.loads(flock())
    ids = {a["tag"]: a["id"] for a in db["animals"]}
    db["services"] = [{
        "id": "sv-1", "date": RAM_IN.isoformat(), "method": "natural", "femaleIds": [ids[t] for t in EWES],
        "target": "Tupping mob", "sireId": ids["RAM1"], "sire": "RAM1", "servedBy": "J. Evans",
        "ramOut": RAM_OUT.isoformat(), "marks": [{"animalId": ids[t], "colour": "red"} for t in RED]
        + [{"animalId": ids[t], "colour": "blue"} for t in BLUE],
        "raddles": [{"date": RAM_IN.isoformat(), "colour": "red"}, {"date": CHANGE.isoformat(), "colour": "blue"}]}]
    db["scans"] = [{"id": "sc-1", "date": (TODAY - timedelta(days=60)).isoformat(), "serviceId": "sv-1",
                    "scannedBy": "K. Price", "results": [{"animalId": ids[t], "foetuses": [2, 1, 2, 3, 1, 0][n % 6]}
                                                         for n, t in enumerate(EWES)]}]
    return json.dumps(db).encode("utf-8")


def main_run(web):
    shell = Shell(web)
    try:
        shell.folder.mkdir(parents=True)
        shell.database.write_bytes(farm())
        shell.start()
        main = shell.window()
        probe(shell)
        time.sleep(FIRST_PAINT)
        typed(shell, main, ["ctrl+k"], ["Tab"] * section_tabs("Breeding"), ["Return"])
        time.sleep(SETTLE)
        picture(main, OUT / "breeding.png")
        output = shell.root / "print.pdf"
        shell.print_to_file(output)
        pdf_page(shell, main, output, "due-list-pdf-page1")
        # The first ewe's record card, then the service's scan form.
        probe(shell)
        typed(shell, main, ["ctrl+k"], ["Tab"] * (FIRST_CONTENT + 5), ["Return"])
        time.sleep(SETTLE)
        picture(main, OUT / "breeding-record-card.png")
        typed(shell, main, ["ctrl+k"], ["Tab"] * section_tabs("Breeding"), ["Return"])
        probe(shell)  # the keys before a menu shortcut reach the page first
        typed(shell, main, ["ctrl+k"], ["Tab"] * (FIRST_CONTENT + 40))
        for _ in range(20):
            if probe(shell)["focusedText"] == "Scan":
                break
            shell.key("Tab")
        typed(shell, main, ["Return"])
        probe(shell)
        time.sleep(FIRST_PAINT)  # a dialog of sixty fields paints slowly
        picture(main, OUT / "scan-form.png")
    finally:
        shell.close()


if __name__ == "__main__":
    make_pictures(main_run)
