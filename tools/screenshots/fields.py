"""Makes the pictures in docs/screenshots/ of the field records, from the real
program and the farm application in resources/web, under the current X display:

    xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" python3 tools/screenshots/fields.py

A farm with fields, sprays and spreadings dated back from today: the fields
list, the spray records and their form, the question when moving sheep into
a field still closed, the fertiliser and manure screen, a field's page, and
the first page of the spray book and the nutrient book printed to PDF.
"""

import json
import sys
import time
from datetime import date, timedelta
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "e2e"))

from harness import Shell  # noqa: E402
from common import FIRST_PAINT, SETTLE, make_pictures, picture, typed, OUT  # noqa: E402
from records import pdf_page, quiet_picture  # noqa: E402
from test_webapp import database, probe, section_tabs  # noqa: E402

TODAY = date.today()


def ago(days, clock=""):
    return " ".join(filter(None, [(TODAY - timedelta(days=days)).isoformat(), clock]))


def farm():
    fields = [
        {"id": "f1", "name": "Top Field", "kind": "field", "area": 4.5, "reference": "SO1234 5678",
         "landUse": "permanent-grass", "nvz": True},
        {"id": "f2", "name": "Long Meadow", "kind": "field", "area": 6.2, "reference": "SO1234 6789",
         "landUse": "temporary-grass", "nvz": True},
        {"id": "f3", "name": "Barley Piece", "kind": "field", "area": 8, "reference": "SO1235 0012",
         "landUse": "arable", "crop": "Spring barley"},
        {"id": "f4", "name": "Yard Paddock", "kind": "field", "area": 1.2},
    ]
    sheep = [{"id": f"an-{n}", "tag": f"UK0712345 {n:05d}", "species": "Sheep", "sex": "female",
              "dob": "2024-03-01", "firstFieldId": "f4"} for n in range(1, 25)]

    def spray(n, days, field, product, mapp, dose, reason, grazing, **more):
        area = next(f["area"] for f in fields if f["id"] == field)
        return {"id": f"sp-{n}", "date": ago(days), "time": "10:30", "fieldIds": [field], "area": area,
                "product": product, "mapp": mapp, "crop": "Permanent grassland", "cropCode": "1LOLG",
                "dosePerHa": dose, "doseUnit": "l/ha", "totalUsed": round(dose * area, 2), "waterPerHa": 200,
                "operator": "J. Evans", "certificate": "PA1/PA6 123456", "reason": reason, "wind": "F2 SW",
                "temperature": "14 °C", "grazingDays": grazing, "harvestDays": None, **more}

    sprays = [
        spray(1, 3, "f1", "Doxstar Pro", "19203", 2, "Docks", 7),
        spray(2, 40, "f2", "Envy", "17215", 1.5, "Thistles", 7),
        spray(3, 60, "f3", "Axial Pro", "16522", 0.82, "Wild oats", 0, crop="Spring barley", cropCode="HORVS",
              growthStage="25", harvestDays=60),
        spray(4, 45, "f2", "Envy", "17215", 1.5, "Thistles", 7,
              voided={"at": ago(45, "18:00"), "reason": "entered twice"}),
    ]

    def spread(n, days, field, kind, product, rate, unit, nitrogen, method, **more):
        area = next(f["area"] for f in fields if f["id"] == field)
        return {"id": f"nu-{n}", "date": ago(days), "fieldIds": [field], "area": area, "kind": kind,
                "product": product, "rate": rate, "rateUnit": unit, "n": nitrogen, "p": None, "k": None,
                "method": method, "operator": "M. Hughes", **more}

    nutrients = [
        spread(1, 50, "f1", "livestock-manure", "Cattle slurry 6% DM", 30, "m3", 2.6, "Trailing shoe", p=1.2, k=3.2),
        spread(2, 45, "f2", "livestock-manure", "Farmyard manure", 25, "t", 6, "Rear discharge", p=3.2, k=8),
        spread(3, 30, "f2", "manufactured", "Ammonium nitrate 34.5% N", 150, "kg", 34.5, "Broadcast"),
        spread(4, 20, "f3", "other-organic", "Green compost", 20, "t", 7.5, "Rear discharge"),
    ]
    return database(sheep, fields=fields, sprays=sprays, nutrients=nutrients)


def tab_to(shell, text, limit=40):
    for _ in range(limit):
        shell.key("Tab")
        if probe(shell)["focusedText"] == text:
            return shell.key("Return")
    raise AssertionError(f"no stop {text!r}")


def field_records(web):
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

        fields = [["ctrl+k"], ["Tab"] * section_tabs("Fields and pens"), ["Return"]]
        typed(shell, main, *fields)
        quiet_picture(shell, main, "fields.png", wait=SETTLE)
        typed(shell, main, *fields)
        tab_to(shell, "Spray records")
        quiet_picture(shell, main, "spray-records.png", wait=SETTLE)
        pdf_page(shell, main, output, "spray-book-pdf-page1")
        tab_to(shell, "Record spray")
        typed(shell, main, ["Tab", "Tab", "space", "Tab", "Tab", "Tab", "Tab", "Tab"], "Permanent grassland")
        time.sleep(SETTLE)
        picture(main, OUT / "spray-form.png")
        # The first Escape may only close the crop's suggestions.
        while probe(shell)["dialog"]:
            typed(shell, main, ["Escape"])

        # Sheep moved into Top Field, closed since the spray three days ago.
        typed(shell, main, ["ctrl+k"], ["Tab"] * section_tabs("Movements"), ["Return"])
        tab_to(shell, "Record movement")
        typed(shell, main, ["Tab"], "UK0712345 00001, UK0712345 00002", ["Tab"] * 6, "T", ["Tab", "Return"])
        time.sleep(SETTLE)
        picture(main, OUT / "grazing-warning.png")
        typed(shell, main, ["Escape"])

        typed(shell, main, *fields)
        tab_to(shell, "Fertiliser and manure")
        quiet_picture(shell, main, "nutrients.png", wait=SETTLE)
        pdf_page(shell, main, output, "nutrient-book-pdf-page1")
        typed(shell, main, *fields)
        tab_to(shell, "Top Field")
        quiet_picture(shell, main, "field-page.png", wait=SETTLE)
        saved = json.loads(shell.database.read_text("utf-8"))
        print(f"saved: {len(saved['sprays'])} sprays, {len(saved['movements'])} movements", file=sys.stderr)
    finally:
        shell.close()


if __name__ == "__main__":
    make_pictures(field_records)
