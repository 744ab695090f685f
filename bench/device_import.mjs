// What importing a weigh scale's session costs at farm scale, in Node: the
// file read, its columns guessed, the plan the preview shows (made again on
// confirming) and the records changed. Node's figures, not the program's.
//
// Usage: node bench/device_import.mjs [rows] [animals] [runs]

import { demoDatabase } from '../resources/web/js/shell/demo.js';
import { buildIndex } from '../resources/web/js/core/indexes.js';
import { parseCsv, guessMapping, planSteps, applyImport } from '../resources/web/js/rules/import.js';
import { createStore } from '../resources/web/js/rules/store.js';

const [rows = 10000, animals = 12000, runs = 5] = process.argv.slice(2).map(Number);
const today = '2026-12-07';
const db = demoDatabase(animals, today, 7, animals * 5);
const onFarm = db.animals.filter((a) => !a.voided && a.status === 'on-farm');
onFarm.forEach((a, i) => (a.eid = `982${String(i).padStart(12, '0')}`));
const idx = buildIndex(db);
const weighed = onFarm.slice(0, rows);
const eid = (a) => `${a.eid.slice(0, 3)} ${a.eid.slice(3)}`;
const files = {
  'session, header': [
    'EID,VID,Weight,Date,Time',
    ...weighed.map((a, i) => `${eid(a)},,${400 + (i % 90)},07/12/2026,10:15`),
  ],
  'indicator, no header': weighed.map(
    (a, i) => `A 00000 0 ${eid(a)}, ${800 + (i % 90)},LB,$,GR,12/7/26,10:15,_`,
  ),
};

const time = (f) => {
  const t0 = performance.now();
  const v = f();
  return [performance.now() - t0, v];
};
// The page checks the rows in slices between these pauses: the longest
// stretch without one bounds its tasks.
function stepped(steps) {
  let longest = 0;
  for (;;) {
    const t0 = performance.now();
    const r = steps.next();
    longest = Math.max(longest, performance.now() - t0);
    if (r.done) return { plan: r.value, longest };
  }
}
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

console.log(`${rows} rows against ${db.animals.length} animals; median of ${runs}, ms`);
console.log(['file'.padEnd(22), ' parse', ' guess', '  plan', '  step', ' commit', 'weights'].join('  '));
for (const [name, lines] of Object.entries(files)) {
  const text = lines.join('\r\n') + '\r\n';
  const m = [[], [], [], [], []];
  let added = 0;
  for (let r = 0; r < runs; r++) {
    const [tp, parsed] = time(() => parseCsv(text));
    const [tg, mapping] = time(() => guessMapping(parsed.header, parsed));
    const [tl, { plan, longest }] = time(() =>
      stepped(planSteps(parsed, mapping, db, idx, today, { dateOrder: 'dmy' })),
    );
    // The program's change: the store's apply, with its journal and index.
    const store = createStore(structuredClone(db));
    const [ta, n] = time(() => store.apply({ label: 'import', run: (d) => applyImport(d, plan) }).value);
    [tp, tg, tl, longest, ta].forEach((t, i) => m[i].push(t));
    added = n.weights;
  }
  console.log(
    [name.padEnd(22), ...m.map((x) => median(x).toFixed(1).padStart(6)), String(added).padStart(7)].join(
      '  ',
    ),
  );
}
