// What a change made through a form costs at farm scale, in Node: the store's
// apply, the saved text made straight after it, and the same for its undo.
// Node's figures, not the program's: the page's engine and its other work differ.
//
// Usage: node bench/change_cost.mjs [animals] [records] [runs]

import { demoDatabase } from '../resources/web/js/shell/demo.js';
import { createStore } from '../resources/web/js/rules/store.js';
import { saveAnimal, saveMovement, upsert, voidRecord } from '../resources/web/js/rules/records.js';

const [animals = 5000, records = 100000, runs = 5] = process.argv.slice(2).map(Number);
const today = '2026-12-07';
const db = demoDatabase(animals, today, 7, records);
const store = createStore(db);
const onFarm = db.animals.filter((a) => !a.voided && a.status === 'on-farm');
const fieldIds = db.fields.map((f) => f.id);
let n = 0;

const treatment = () => ({
  date: today,
  lastDate: '',
  time: '',
  animalIds: onFarm.slice(0, 40).map((a) => a.id),
  target: 'Group',
  product: 'Zolvix',
  dose: '5 ml',
  batch: 'B1',
  reason: 'Worms',
  givenBy: 'J. Evans',
  vet: '',
  meatDays: 14,
  milkPeriod: 0,
  milkUnit: 'days',
  offLabel: false,
  notes: '',
});
const movement = () => {
  const a = onFarm[(n += 1) % onFarm.length];
  return {
    date: today,
    direction: 'move',
    outcome: '',
    animalIds: [a.id],
    from: '',
    fromHolding: '',
    to: '',
    toHolding: '',
    fieldId: fieldIds.find((f) => f !== a.fieldId),
    documentRef: '',
    cause: '',
    reason: '',
    notes: '',
  };
};
const newAnimal = () => ({
  value: {
    tag: `UK N${++n}`,
    name: '',
    species: 'Sheep',
    breed: 'Texel',
    sex: 'female',
    dob: '2026-01-01',
    dam: '',
    sire: '',
    notes: '',
    firstFieldId: fieldIds[0],
    tagHistory: [],
  },
  tagChange: null,
  movement: null,
});
const inForceTreatment = () =>
  store.db.treatments.find((t, i) => i > n && !t.voided) ?? store.db.treatments[0];

const cases = [
  [
    'treatment, 40 animals (run)',
    () => ({ label: 't', run: (d) => upsert(d, 'treatments', null, treatment()) }),
  ],
  [
    'treatment, 40 animals (add)',
    () => ({ label: 't', add: { collection: 'treatments', value: treatment() } }),
  ],
  ['movement, one animal', () => ({ label: 'm', run: (d) => saveMovement(d, null, movement()) })],
  [
    'void of a treatment',
    () => {
      const id = inForceTreatment().id;
      n += 37;
      return { label: 'v', run: (d) => voidRecord(d, 'treatments', id, 'wrong', `${today} 10:00`) };
    },
  ],
  ['new animal', () => ({ label: 'a', run: (d) => saveAnimal(d, null, newAnimal()) })],
];

const time = (f) => {
  const t0 = performance.now();
  f();
  return performance.now() - t0;
};
// The page makes the saved text's blocks and the search entries in short
// tasks after each change.
const settle = () => {
  while (store.warm(1e9) || store.idx.warmSearch(1e9));
};
// Not timed: the text made from the blocks is the records' whole text.
const check = (what) => {
  if (store.text() !== JSON.stringify(store.db)) throw new Error(`${what}: the saved text is wrong`);
};
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

settle();
store.text();
const rows = [];
for (const [name, make] of cases) {
  const m = { apply: [], text: [], undo: [], undoText: [] };
  for (let r = 0; r < runs; r++) {
    const change = make();
    const was = store.text();
    m.apply.push(
      time(() => {
        if (!store.apply(change).ok) throw new Error(`${name} failed`);
      }),
    );
    m.text.push(time(() => store.text()));
    check(name);
    settle();
    m.undo.push(time(() => store.undo()));
    m.undoText.push(time(() => store.text()));
    check(`undo of ${name}`);
    if (store.text().replace(/"revision":\d+/, '') !== was.replace(/"revision":\d+/, ''))
      throw new Error(`undo of ${name}: not the text before`);
    settle();
  }
  rows.push([name, ...Object.values(m).map(median)]);
}
const text = store.text();
console.log(
  `${animals} animals, ${Object.values(db).reduce((s, v) => s + (Array.isArray(v) && v !== db.animals && v !== db.fields ? v.length : 0), 0)} records, saved text ${(text.length / 1e6).toFixed(1)} MB; median of ${runs}, ms`,
);
const w = 30;
console.log(['change'.padEnd(w), 'apply', ' text', ' undo', ' text'].join('  '));
for (const [name, ...v] of rows)
  console.log([name.padEnd(w), ...v.map((x) => x.toFixed(1).padStart(5))].join('  '));
