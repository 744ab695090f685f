#!/usr/bin/env python3
"""The farm application at farm scale, in the real program: a generated farm
of 5,000 animals and 100,000 records, against one of 500 animals and 10,000
records. Times a weighing-session entry (Enter on the weight to "saved"), a
search keystroke, opening the Animals list, and changes made through the
forms (a treatment of 40 animals, a movement, a void, a new animal), each
with its undo.

A module added to a copy of resources/web drives the page and watches the
main thread with a MessageChannel ping: the longest gap between pings is the
longest task. It reports through an https address that the harness's fake
default handler records.

Usage: MLFK_BUILD_DIR=build xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" python3 bench/farm_scale.py [entries]"""

import json
import random
import shutil
import statistics
import sys
import tempfile
import time
import urllib.parse
from datetime import date, timedelta
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from harness import Shell  # noqa: E402

ADDRESS = "https://bench.invalid/?"
TODAY = date.today()

DRIVER = r"""
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
// The longest stretch the main thread was busy while `work` ran and settled,
// and the longest that ended after the moment `work` marks as `after`.
async function watched(work, settle = 300) {
  const ch = new MessageChannel();
  const gaps = [];
  let last = performance.now(), on = true;
  ch.port1.onmessage = () => { const t = performance.now(); gaps.push([t, t - last]); last = t; if (on) ch.port2.postMessage(0); };
  ch.port2.postMessage(0);
  await sleep(20);
  const out = await work();
  await sleep(settle);
  on = false;
  const longest = Math.max(0, ...gaps.map((g) => g[1]));
  const after = out.after === undefined ? undefined : Math.max(0, ...gaps.filter((g) => g[0] > out.after + 1).map((g) => g[1]));
  // The longest task that ended before the save began: the page's own work.
  const busy = out.busyAt?.();
  const beforeSave = busy === undefined ? undefined : Math.max(0, ...gaps.filter((g) => g[0] < busy).map((g) => g[1]));
  return { ...out, busyAt: busy, longest, longestAfter: after, beforeSave };
}
const savedState = () => document.getElementById('save-state').dataset.state;
const key = (el, k) => el.dispatchEvent(new KeyboardEvent('keydown', { key: k, bubbles: true, cancelable: true }));
const waitFor = async (f) => { for (let i = 0; i < 2000 && !f(); i++) await sleep(5); };
// When the save next begins ("Saving…" is shown in its task, after the text is posted).
const saveStart = () => {
  let at;
  const el = document.getElementById('save-state');
  const mo = new MutationObserver(() => { if (at === undefined && el.textContent === 'Saving…') { at = performance.now(); mo.disconnect(); } });
  mo.observe(el, { attributes: true, childList: true, subtree: true, characterData: true });
  return () => { mo.disconnect(); return at ?? Infinity; };
};

async function run() {
  await waitFor(() => document.querySelector('#view h1'));
  await sleep(1500);
  const out = { entries: [], search: [], animals: [] };
  location.hash = '#/handling';
  await waitFor(() => document.getElementById('hd-w-tag'));
  for (const tag of BENCH.tags) {
    // Past the two seconds after a save in which a change is saved at once.
    await sleep(2100);
    const r = await watched(async () => {
      const tagBox = document.getElementById('hd-w-tag');
      tagBox.value = tag;
      key(tagBox, 'Enter');
      const kg = document.getElementById('hd-w-kg');
      kg.value = '42.5';
      const t0 = performance.now();
      key(kg, 'Enter');
      const t1 = performance.now();
      await waitFor(() => savedState() === 'busy');
      await waitFor(() => savedState() === 'ok' || savedState() === 'error');
      return { page: t1 - t0, saved: performance.now() - t0, ok: savedState() === 'ok', after: t1 };
    });
    out.entries.push(r);
  }
  // The floor under any save: handing a text of this size to the shell.
  const big = 'x'.repeat(BENCH.size);
  for (let i = 0; i < 3; i++) {
    await sleep(500);
    const t0 = performance.now();
    const answered = window.webkit.messageHandlers.meadowlineNative.postMessage({ action: 'ping', content: big });
    out.post = Math.max(out.post || 0, performance.now() - t0);
    await Promise.resolve(answered).catch(() => {});
  }
  const search = document.getElementById('global-search');
  search.focus();
  for (const typed of BENCH.search) {
    out.search.push(await watched(async () => {
      const list = document.getElementById('search-results');
      const before = list.innerHTML;
      search.value = typed;
      const t0 = performance.now();
      search.dispatchEvent(new Event('input', { bubbles: true }));
      await waitFor(() => list.innerHTML !== before);
      return { shown: performance.now() - t0 };
    }));
  }
  search.value = '';
  search.blur();
  for (let i = 0; i < 3; i++) {
    location.hash = '#/overview';
    await waitFor(() => document.querySelector('#view h1')?.textContent === 'Overview');
    await sleep(300);
    out.animals.push(await watched(async () => {
      const t0 = performance.now();
      location.hash = '#/animals';
      await waitFor(() => document.querySelector('#view h1')?.textContent === 'Animals');
      return { shown: performance.now() - t0 };
    }));
  }
  // Changes made through the forms, each followed by its undo: the longest
  // task from the submit to the dialog closed and the page settled.
  const dialog = document.getElementById('dialog');
  const viaForm = (open, values) => watched(async () => {
    const busyAt = saveStart();
    open();
    await waitFor(() => dialog.open && dialog.querySelector('form'));
    const form = dialog.querySelector('form');
    for (const [name, value] of Object.entries(values)) {
      const el = form.elements[name];
      el.value = value === 'second option' ? el.options[1].value : value;
    }
    const t0 = performance.now();
    // A first press may only show warnings; the same submission again goes ahead.
    for (let i = 0; i < 3 && dialog.open; i++) {
      form.requestSubmit();
      await waitFor(() => !dialog.open);
    }
    const errors = [...dialog.querySelectorAll('.field-error:not([hidden])')].map((e) => e.textContent);
    return { done: performance.now() - t0, ok: !dialog.open, errors, after: t0, busyAt };
  }, 1000);
  const press = (key) => () => document.querySelector(`[data-key="${key}"]`).click();
  const changes = [
    ['a treatment of 40 animals', '#/overview', press('ov-treat'), { tags: BENCH.tags40.join(', '), product: 'Zolvix', dose: '5 ml', meatDays: '14', milkPeriod: '0' }],
    ['a movement of one animal', '#/overview', press('ov-move'), { tags: BENCH.tags[0], direction: 'move', fieldId: 'second option' }],
    ['a void of a treatment', '#/treatments', () => document.querySelector('[data-key$="-void"]').click(), { reason: 'Entered twice' }],
    ['a new animal', '#/overview', press('ov-add-animal'), { tag: 'UK BENCH 1' }],
  ];
  out.forms = [];
  for (const [name, route, open, values] of changes) {
    location.hash = route;
    await waitFor(() => document.querySelector(route === '#/treatments' ? '[data-key$="-void"]' : '[data-key="ov-move"]'));
    await sleep(2100);
    const change = await viaForm(open, values);
    await sleep(2100);
    document.activeElement?.blur();
    const undo = await watched(async () => { const busyAt = saveStart(); return { undone: window.mlUndo(), busyAt }; }, 1000);
    out.forms.push({ name, change, undo });
  }
  // The Today panel (on the overview) and the due list, opened.
  out.screens = {};
  for (const [name, route, heading] of [['Today panel', '#/overview', 'Overview'], ['due list', '#/breeding', 'Breeding']]) {
    out.screens[name] = [];
    for (let i = 0; i < 3; i++) {
      location.hash = '#/weights';
      await waitFor(() => document.querySelector('#view h1')?.textContent === 'Weights');
      await sleep(500);
      out.screens[name].push(await watched(async () => {
        const t0 = performance.now();
        location.hash = route;
        await waitFor(() => document.querySelector('#view h1')?.textContent === heading);
        return { shown: performance.now() - t0 };
      }, 600));
    }
  }
  // A weigh scale's session of 10,000 rows: EIDs only, pounds, day-first dates.
  location.hash = '#/data';
  await waitFor(() => document.getElementById('csv-import-file'));
  await sleep(2100);
  const file = new File([BENCH.session], 'session.csv', { type: 'text/csv' });
  const go = () => document.querySelector('[data-key="csv-import-go"]');
  out.importPreview = await watched(async () => {
    const input = document.getElementById('csv-import-file');
    const dt = new DataTransfer();
    dt.items.add(file);
    input.files = dt.files;
    const t0 = performance.now();
    input.dispatchEvent(new Event('change', { bubbles: true }));
    await waitFor(() => go() && !go().disabled);
    return { shown: performance.now() - t0, ok: !!go() && !go().disabled, label: go()?.textContent ?? '' };
  }, 600);
  const before = BENCH.weights;
  out.importConfirm = await watched(async () => {
    const busyAt = saveStart();
    const t0 = performance.now();
    go()?.click();
    await waitFor(() => /Imported|imported/.test(document.getElementById('csv-import-result')?.textContent ?? ''));
    return { done: performance.now() - t0, text: document.getElementById('csv-import-result')?.textContent.slice(0, 200) ?? '', before, busyAt };
  }, 1500);
  location.href = 'https://bench.invalid/?' + encodeURIComponent(JSON.stringify(out));
}
run();
"""


def farm(animals, records, seed=11):
    """A deterministic farm: `animals` on the farm in ten fields, and
    `records` weights, treatments, movements and births spread over them."""
    rnd = random.Random(seed)
    day = lambda back: (TODAY - timedelta(days=back)).isoformat()  # noqa: E731
    fields = [{"id": f"f{i}", "name": f"Field {i}", "kind": "field"} for i in range(10)]
    rows = [{"id": f"an{n}", "tag": f"UK0712345{n:05d}", "eid": f"826000{n:09d}", "species": rnd.choice(["Sheep", "Cattle", "Goat"]),
             "breed": rnd.choice(["Texel", "Lleyn", "Hereford", "Boer"]), "sex": rnd.choice(["female", "male"]),
             "dob": day(400 + rnd.randrange(2000)), "firstFieldId": f"f{n % 10}", "name": rnd.choice(["", "Daisy", "Léa", "Bramble"])}
            for n in range(animals)]
    weights, treatments, movements = [], [], []
    for i in range(records):
        a = rows[rnd.randrange(animals)]["id"]
        kind = i % 10
        if kind < 6:
            weights.append({"id": f"w{i}", "date": day(1 + rnd.randrange(390)), "animalId": a, "kg": round(20 + rnd.random() * 400, 1)})
        elif kind < 9:
            treatments.append({"id": f"t{i}", "date": day(1 + rnd.randrange(390)), "animalIds": [a], "product": rnd.choice(["Zolvix", "Heptavac P", "Alamycin LA"]),
                               "batch": f"B{rnd.randrange(90)}", "dose": "5 ml", "meatDays": rnd.choice([0, 14, 28]), "milkPeriod": 0, "milkUnit": "days"})
        else:
            movements.append({"id": f"m{i}", "date": day(1 + rnd.randrange(390)), "direction": "move", "animalIds": [a], "fieldId": f"f{rnd.randrange(10)}"})
    # Breeding and planned work at their stated scale: 3,000 services (one in
    # ten a natural service of a mob with a raddle change), their scans, and
    # 500 jobs, a fifth of them repeating.
    females = [a["id"] for a in rows if a["sex"] == "female"]
    services, scans, jobs = [], [], []
    for i in range(3000):
        start = day(20 + rnd.randrange(160))
        mob = i % 10 == 0
        ids = rnd.sample(females, 30) if mob else [rnd.choice(females)]
        services.append({"id": f"sv{i}", "date": start, "method": "natural" if mob else "ai", "femaleIds": ids,
                         "target": "", "sireId": "", "sire": "Straw HX 2211", "servedBy": "",
                         "ramOut": (date.fromisoformat(start) + timedelta(days=34)).isoformat() if mob else "",
                         "raddles": [{"date": start, "colour": "red"}] if mob else [], "marks": [], "notes": ""})
        if i % 3 == 0:
            scans.append({"id": f"sc{i}", "date": (date.fromisoformat(start) + timedelta(days=60)).isoformat(),
                          "serviceId": f"sv{i}", "results": [{"animalId": a, "foetuses": rnd.choice([0, 1, 2])} for a in ids],
                          "scannedBy": "", "notes": ""})
    for i in range(500):
        jobs.append({"id": f"jo{i}", "title": f"Job {i}", "note": "", "due": day(rnd.randrange(-30, 20)),
                     "about": "animals", "animalIds": rnd.sample(females, 5), "action": "", "state": "open",
                     "doneIds": [], "history": [],
                     **({"repeat": {"every": 1, "unit": "months", "from": "due", "day": 1}} if i % 5 == 0 else {})})
    db = {"format": "meadowline-field-keeper", "schema": 3, "id": "db-bench", "revision": 1,
          "farm": {"name": "Bench Farm", "holding": "12/345/6789", "organic": False},
          "animals": rows, "fields": fields, "weights": weights, "treatments": treatments, "movements": movements, "births": [],
          "services": services, "scans": scans, "jobs": jobs}
    return json.dumps(db).encode("utf-8"), [r["tag"] for r in rows]


def measure(animals, records, entries):
    data, tags = farm(animals, records)
    scratch = Path(tempfile.mkdtemp(prefix="mlfk-farm-bench-"))
    try:
        page = scratch / "web"
        shutil.copytree(ROOT / "resources" / "web", page)
        db = json.loads(data)
        # Every animal weighed on as many days as make 10,000 rows, its EID as
        # readers write it, the weight in pounds, the date day first.
        eids = [a["eid"] for a in db["animals"]]
        rows = [f"{e[:3]} {e[3:]},,{800 + i % 90},{(date(2026, 8, 27) + timedelta(days=i // len(eids))):%d/%m/%Y},10:15"
                for i, e in zip(range(10_000), (eids * (10_000 // len(eids) + 1)))]
        bench = {"size": len(data), "tags": tags[7:7 + entries], "tags40": tags[100:140],
                 "session": "\r\n".join(["EID,VID,Weight,Date,Time", *rows]) + "\r\n",
                 "weights": len(db["weights"]), "search": ["U", "UK", "UK07", "Dais", "82600000000", "texel lleyn"]}
        (page / "bench.mjs").write_text(f"const BENCH = {json.dumps(bench)};\n{DRIVER}", "utf-8")
        index = page / "index.html"
        index.write_text(index.read_text("utf-8").replace("</head>", '<script type="module" src="bench.mjs"></script>\n</head>'), "utf-8")
        shell = Shell(page)
        try:
            shell.folder.mkdir(parents=True, exist_ok=True)
            shell.database.write_bytes(data)
            shell.start()
            deadline = time.monotonic() + 600
            while time.monotonic() < deadline:
                got = [u for u in shell.handled_uris() if u.startswith(ADDRESS)]
                if got:
                    return json.loads(urllib.parse.unquote(got[0][len(ADDRESS):])), len(data)
                if shell.process.poll() is not None:
                    raise SystemExit("the program ended")
                time.sleep(0.5)
            raise SystemExit("the page never reported")
        finally:
            shell.close()
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def main():
    entries = int(sys.argv[1]) if len(sys.argv) > 1 else 15
    results = {}
    for animals, records in [(500, 10_000), (5_000, 100_000)]:
        results[animals], size = measure(animals, records, entries)
        print(f"{animals} animals, {records} records, database {size / 1e6:.1f} MB")
    med = lambda rows, k: statistics.median(r[k] for r in rows)  # noqa: E731
    mx = lambda rows, k: max(r[k] for r in rows)  # noqa: E731
    print(f"{'case':70} {'500 animals':>12} {'5,000':>10}")
    small, big = results[500], results[5000]
    lines = [
        ("entry: page work, model+index+render (median)", med(small["entries"], "page"), med(big["entries"], "page")),
        ("entry: longest task after it, building the saved text (median)", med(small["entries"], "longestAfter"), med(big["entries"], "longestAfter")),
        ("entry: the same, worst (the first save after opening included)", mx(small["entries"], "longestAfter"), mx(big["entries"], "longestAfter")),
        ("entry: the same, worst after the first save", mx(small["entries"][1:], "longestAfter"), mx(big["entries"][1:], "longestAfter")),
        ("entry: Enter to saved, 400 ms wait for more changes included (median)", med(small["entries"], "saved"), med(big["entries"], "saved")),
        ("entry: longest main-thread task (worst entry)", mx(small["entries"], "longest"), mx(big["entries"], "longest")),
        ("search keystroke: typed to shown (median)", med(small["search"], "shown"), med(big["search"], "shown")),
        ("search keystroke: longest task (worst)", mx(small["search"], "longest"), mx(big["search"], "longest")),
        ("opening the Animals list (median)", med(small["animals"], "shown"), med(big["animals"], "shown")),
        ("opening the Animals list: longest task (worst)", mx(small["animals"], "longest"), mx(big["animals"], "longest")),
    ]
    for name, s, b in lines:
        print(f"{name:70} {s:10.1f}ms {b:8.1f}ms")
    for i, f in enumerate(big["forms"]):
        name, s_f = f["name"], small["forms"][i]
        print(f"{'form: ' + name + ', longest task':70} {s_f['change']['longest']:10.1f}ms {f['change']['longest']:8.1f}ms")
        print(f"{'form: ' + name + ', its undo, longest task':70} {s_f['undo']['longest']:10.1f}ms {f['undo']['longest']:8.1f}ms")
        print(f"{'form: ' + name + ', longest task before its save':70} {s_f['change']['beforeSave']:10.1f}ms {f['change']['beforeSave']:8.1f}ms")
        print(f"{'form: ' + name + ', its undo, longest task before its save':70} {s_f['undo']['beforeSave']:10.1f}ms {f['undo']['beforeSave']:8.1f}ms")
    failed = [(f["name"], f["change"]["errors"]) for r in results.values() for f in r["forms"] if not f["change"]["ok"]]
    print(f"form changes made: {not failed}" + (f" (not made: {failed})" if failed else ""))
    for name in big["screens"]:
        print(f"{'opening the ' + name + ': longest task (worst of three)':70} {max(r['longest'] for r in small['screens'][name]):10.1f}ms {max(r['longest'] for r in big['screens'][name]):8.1f}ms")
    print(f"{'a 10,000-row scale session: preview, longest task':70} {small['importPreview']['longest']:10.1f}ms {big['importPreview']['longest']:8.1f}ms")
    print(f"{'a 10,000-row scale session: preview shown':70} {small['importPreview']['shown']:10.1f}ms {big['importPreview']['shown']:8.1f}ms")
    print(f"{'a 10,000-row scale session: confirmed, longest task':70} {small['importConfirm']['longest']:10.1f}ms {big['importConfirm']['longest']:8.1f}ms")
    print(f"{'a 10,000-row scale session: confirmed, longest task before its save':70} {small['importConfirm']['beforeSave']:10.1f}ms {big['importConfirm']['beforeSave']:8.1f}ms")
    print(f"import preview: {big['importPreview']['label']!r}; result: {big['importConfirm']['text']!r}")
    print(f"{'posting a text of the database size to the shell (floor)':70} {small.get('post', 0):10.1f}ms {big.get('post', 0):8.1f}ms")
    print(f"entry page work, 5,000 against 500 animals: {med(big['entries'], 'page') / med(small['entries'], 'page'):.2f} (target at most 1.5)")
    print(f"entries saved ok: {all(e['ok'] for r in results.values() for e in r['entries'])}")


if __name__ == "__main__":
    main()
