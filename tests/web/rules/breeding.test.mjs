import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { parseDatabase } from '../../../resources/web/js/core/checks.js';
import { serialiseDatabase } from '../../../resources/web/js/core/saved-text.js';
import {
  dueWindow,
  dueList,
  dueWithin,
  seasonReport,
  calvingIntervals,
  validateService,
  validateScan,
} from '../../../resources/web/js/rules/breeding.js';
import { createStore } from '../../../resources/web/js/rules/store.js';
import { searchAnimals } from '../../../resources/web/js/core/search.js';
import { upsert, voidRecord } from '../../../resources/web/js/rules/records.js';
import { animal, off, farm, VOID } from '../helpers.mjs';

const service = (fields) => ({
  id: fields.id ?? 'sv-1',
  method: 'natural',
  femaleIds: [],
  target: '',
  sireId: '',
  sire: 'Ram 7',
  servedBy: '',
  ramOut: '',
  raddles: [],
  marks: [],
  notes: '',
  ...fields,
});
const scan = (id, date, results, more = {}) => ({
  id,
  date,
  serviceId: 'sv-1',
  results,
  scannedBy: '',
  ...more,
});
const birth = (id, date, damId, offspringIds) => ({ id, date, damId, sire: '', offspringIds, notes: '' });
const window = (farmRec, s, species, id, today = '2027-01-10') => {
  const w = dueWindow(farmRec, s, species, id, today);
  return [w.dueFrom, w.dueTo, w.colour];
};

describe('due dates', () => {
  test('from one service date, across month and year ends and a leap day, per species and farm', () => {
    const ai = (date, method = 'ai') => service({ date, method });
    assert.deepEqual(window({}, ai('2026-09-20'), 'Sheep', 'a'), ['2027-02-14', '2027-02-14', '']);
    assert.deepEqual(window({}, ai('2026-07-31'), 'goats', 'a'), ['2026-12-28', '2026-12-28', '']);
    // 2028 is a leap year: 283 days from 25 May 2027 pass 29 February.
    assert.deepEqual(window({}, ai('2027-05-25'), 'Cattle', 'a'), ['2028-03-03', '2028-03-03', '']);
    // An embryo goes in a week old.
    assert.deepEqual(window({}, ai('2027-05-20', 'et'), 'Cattle', 'a'), ['2028-02-20', '2028-02-20', '']);
    // The farm's own gestation wins; a species without one has no due date.
    assert.deepEqual(window({ gestationDays: { sheep: 145 } }, ai('2026-09-20'), 'Sheep', 'a').slice(0, 1), [
      '2027-02-12',
    ]);
    assert.equal(dueWindow({}, ai('2026-09-20'), 'Alpaca', 'a', '2027-01-10'), null);
  });

  test('a ram in with raddle changes gives each ewe the window of the colour she carries', () => {
    const s = service({
      date: '2026-11-20',
      ramOut: '2026-12-24',
      raddles: [
        { date: '2026-11-20', colour: 'Red' },
        { date: '2026-12-07', colour: 'blue' },
      ],
      marks: [
        { animalId: 'red', colour: 'Red' },
        { animalId: 'both', colour: 'Blue' },
        { animalId: 'both', colour: 'red' },
      ],
    });
    assert.deepEqual(window({}, s, 'Sheep', 'red'), ['2027-04-16', '2027-05-02', 'red']);
    // Marked again in the later colour: she returned, and the later service counts.
    assert.deepEqual(window({}, s, 'Sheep', 'both'), ['2027-05-03', '2027-05-20', 'blue']);
    // Unmarked: any day the ram was in.
    assert.deepEqual(window({}, s, 'Sheep', 'none'), ['2027-04-16', '2027-05-20', '']);
    // While the ram is still in, the window runs to today.
    const still = { ...s, ramOut: '' };
    assert.deepEqual(window({}, still, 'Sheep', 'both', '2026-12-31'), ['2027-05-03', '2027-05-27', 'blue']);
  });

  test('the due list: latest service, latest scan, births and weeks', () => {
    const ewes = Array.from({ length: 5 }, (_, i) => animal({ id: `e${i}`, tag: `E${i}` }));
    const { db, idx } = farm({
      animals: [...ewes, animal({ id: 'l1', dob: '2027-04-20' })],
      services: [
        service({ id: 'old', date: '2025-10-01', method: 'ai', femaleIds: ['e0', 'e1'] }),
        service({ date: '2026-11-20', ramOut: '2026-12-06', femaleIds: ['e0', 'e1', 'e2', 'e3', 'e4'] }),
      ],
      scans: [
        scan('s1', '2027-01-20', [
          { animalId: 'e0', foetuses: 2 },
          { animalId: 'e1', foetuses: 0 },
          { animalId: 'e2', foetuses: 0 },
        ]),
        // Scanned again: the latest counts, so e0 carries one and e2 is in lamb.
        scan('s2', '2027-02-10', [
          { animalId: 'e0', foetuses: 1 },
          { animalId: 'e2', foetuses: 1 },
        ]),
        scan('s3', '2027-02-12', [{ animalId: 'e0', foetuses: 3 }], { voided: VOID }),
        // A scan before the service is of an earlier one.
        scan('s4', '2026-01-01', [{ animalId: 'e4', foetuses: 0 }]),
      ],
      births: [birth('b1', '2027-04-20', 'e3', ['l1'])],
    });
    const list = dueList(db, idx, '2027-04-20');
    assert.deepEqual(
      list.map((e) => [e.animalId, e.serviceId, e.scanned, e.dueFrom, e.dueTo, e.overdue]),
      [
        ['e0', 'sv-1', 1, '2027-04-16', '2027-05-02', false],
        ['e2', 'sv-1', 1, '2027-04-16', '2027-05-02', false],
        ['e4', 'sv-1', null, '2027-04-16', '2027-05-02', false],
      ],
    );
    assert.deepEqual(
      dueList(db, idx, '2027-05-03').map((e) => e.overdue),
      [true, true, true],
    );
    assert.equal(dueList(db, idx, '2027-06-14').length, 0, 'six weeks past due: barren, no longer due');
    // 2027-04-20 is a Tuesday: this week ends on Sunday the 25th.
    const later = list.map((e) => ({ ...e, dueFrom: '2027-05-05', dueTo: '2027-05-12' }));
    assert.equal(dueWithin(later, '2027-04-20', 1).length, 0);
    assert.equal(dueWithin(later, '2027-04-20', 3).length, 3);
    assert.equal(dueWithin(list, '2027-04-20', 1).length, 3);
  });
});

describe('breeding figures', () => {
  test('against a hand-counted flock of six ewes and a herd of two cows', () => {
    const ewes = Array.from({ length: 6 }, (_, i) => animal({ id: `e${i}`, tag: `E${i}` }));
    const lamb = (id, dob) => animal({ id, tag: id, dob, sex: 'male' });
    const lambs = ['a1', 'a2', 'b1', 'd1', 'd2', 'd3'].map((id) => lamb(id, '2027-04-20'));
    const cows = [animal({ id: 'c1', species: 'Cattle' }), animal({ id: 'c2', species: 'Cattle' })];
    const { db, idx } = farm({
      animals: [...ewes, ...lambs, ...cows],
      services: [
        service({ date: '2026-11-20', ramOut: '2026-12-06', femaleIds: ewes.map((e) => e.id) }),
        service({ id: 'other', date: '2025-11-20', ramOut: '2025-12-06', femaleIds: ['e5'] }),
      ],
      scans: [
        scan('s1', '2027-01-20', [
          { animalId: 'e0', foetuses: 2 },
          { animalId: 'e1', foetuses: 1 },
          { animalId: 'e2', foetuses: 0 },
          { animalId: 'e3', foetuses: 3 },
        ]),
      ],
      births: [
        birth('b0', '2027-04-20', 'e0', ['a1', 'a2']),
        birth('b1', '2027-04-21', 'e1', ['b1']),
        birth('b3', '2027-04-22', 'e3', ['d1', 'd2', 'd3']),
        birth('old', '2026-04-22', 'e5', []),
        birth('c1a', '2024-03-01', 'c1', []),
        birth('c1b', '2025-03-20', 'c1', []),
        birth('c1c', '2026-03-10', 'c1', []),
        birth('c2a', '2026-03-10', 'c2', []),
      ],
      // a2 born dead; d3 died before the reared date, d2 sold (reared).
      movements: [
        off('2027-04-20', 'died', [{ id: 'a2' }]),
        off('2027-05-10', 'died', [{ id: 'd3' }]),
        off('2027-06-01', 'sold', [{ id: 'd2' }]),
      ],
    });
    const r = seasonReport(db, idx, {
      from: '2026-09-01',
      to: '2027-01-31',
      rearedOn: '2027-07-01',
      today: '2027-06-01',
    });
    // Scanned 4 with 6 foetuses; 6 put to the ram, 5 born alive, 4 reared.
    assert.deepEqual(
      [r.putToMale, r.scanned, r.foetuses, r.scanningPct, r.bornAlive, r.bornAlivePct, r.reared, r.rearedPct],
      [6, 4, 6, 150, 5, 83.3, 4, 66.7],
    );
    assert.deepEqual(
      r.barren.map((b) => [b.animalId, b.why]),
      [
        ['e2', 'scanned empty 2027-01-20'],
        ['e4', 'no birth recorded by 2027-05-02'],
        ['e5', 'no birth recorded by 2027-05-02'],
      ],
    );
    // Last season's birth of e5 is not this season's.
    assert.deepEqual(
      calvingIntervals(db, idx).map((c) => [c.animalId, c.days, c.mean]),
      [['c1', [384, 355], 370]],
    );
  });
});

describe('typing services and scans', () => {
  test('females from tags and a group, the sire on record or bought in, and what is refused', () => {
    const ewes = [animal({ id: 'e1', tag: 'E1' }), animal({ id: 'e2', tag: 'E2' })];
    const ram = animal({ id: 'r1', tag: 'R1', sex: 'male' });
    const { db, idx } = farm({
      animals: [
        ...ewes,
        ram,
        animal({ id: 'w', tag: 'W1', sex: 'castrated' }),
        animal({ id: 'c', tag: 'C1', species: 'Cattle' }),
      ],
      groups: [
        { id: 'g1', name: 'Tups', notes: '', members: [{ animalId: 'e2', from: '2026-01-01', to: '' }] },
      ],
    });
    const ctx = { db, idx, today: '2026-12-01' };
    const base = {
      date: '2026-11-01',
      method: 'natural',
      tags: 'E1',
      groupId: 'g1',
      sire: 'r1',
      raddle: 'red',
    };
    const ok = validateService({ ...base, raddleChanges: '2026-11-18 blue' }, ctx);
    assert.deepEqual(
      [ok.value.femaleIds, ok.value.sireId, ok.value.target, ok.value.raddles.map((r) => r.colour)],
      [['e1', 'e2'], 'r1', 'Tups', ['red', 'blue']],
    );
    assert.equal(
      validateService({ ...base, method: 'ai', sire: 'Straw HX 221' }, ctx).value.sire,
      'Straw HX 221',
    );
    const errors = (input) => validateService({ ...base, ...input }, ctx).errors;
    assert.match(errors({ sire: 'W1' }).sire, /not recorded as an entire male/);
    assert.match(errors({ tags: 'E1, W1' }).tags, /Not female: W1/);
    assert.match(errors({ tags: 'E1, C1' }).tags, /more than one species/);
    assert.match(errors({ raddleChanges: '2026-12-20 blue', ramOut: '2026-11-30' }).raddles, /outside/);
    assert.match(errors({ raddleChanges: 'blue' }).raddles, /not a date and a colour/);
    const sc = validateScan({ date: '2026-10-01', 'scan-0': '2', 'scanId-0': 'e1' }, ctx, ok.value);
    assert.match(sc.errors.date, /before the service/);
  });

  test('loading keeps unknown keys on services, scans and their entries, and refuses damaged ones', () => {
    const file = (records, farmExtra = {}) =>
      JSON.stringify({
        format: 'meadowline-field-keeper',
        schema: 3,
        id: 'db-1',
        farm: { name: 'F', ...farmExtra },
        animals: [animal({ id: 'e1', tag: 'E1' })],
        ...records,
      });
    const kept = {
      services: [
        service({
          date: '2026-11-01',
          femaleIds: ['e1'],
          raddles: [{ date: '2026-11-01', colour: 'red', paint: 'x' }],
          theirs: 1,
        }),
      ],
      scans: [scan('s1', '2027-01-01', [{ animalId: 'e1', foetuses: 2, lamb: 'x' }], { machine: 'Y' })],
    };
    const res = parseDatabase(file(kept, { gestationDays: { sheep: 145 } }));
    assert.ok(res.ok, res.message);
    const again = parseDatabase(serialiseDatabase(res.db)).db;
    assert.equal(again.services[0].theirs, 1);
    assert.equal(again.services[0].raddles[0].paint, 'x');
    assert.deepEqual([again.scans[0].machine, again.scans[0].results[0].lamb], ['Y', 'x']);
    assert.equal(again.farm.gestationDays.sheep, 145);
    const bad = [
      file({ scans: [scan('s1', '2027-01-01', [{ animalId: 'e1', foetuses: 'twins' }])] }),
      file({ services: [service({ date: '2026-11-01', raddles: [{ date: 'soon', colour: 'red' }] })] }),
      file({}, { gestationDays: { sheep: 'long' } }),
    ];
    assert.deepEqual(
      bad.map((t) => parseDatabase(t).ok),
      [false, false, false],
    );
  });
});

test('the search finds females by their services and scans once recorded, and not once voided', () => {
  const store = createStore(
    farm({ animals: [animal({ id: 'e1', tag: 'E1' }), animal({ id: 'e2', tag: 'E2' })] }).db,
  );
  const found = (q) => searchAnimals(store.idx.searchIndex(), q).results.map((r) => r.animal.id);
  store.apply({
    label: 'service',
    run: (db) =>
      upsert(
        db,
        'services',
        'sv-1',
        service({ date: '2026-11-01', femaleIds: ['e1', 'e2'], sire: 'Hired Texel' }),
      ),
  });
  store.apply({
    label: 'scan',
    run: (db) => upsert(db, 'scans', 'sc-1', scan('sc-1', '2027-01-05', [{ animalId: 'e2', foetuses: 2 }])),
  });
  assert.deepEqual([found('hired texel'), found('twins')], [['e1', 'e2'], ['e2']]);
  store.apply({
    label: 'void',
    run: (db) => voidRecord(db, 'scans', 'sc-1', 'wrong ewe', '2027-01-06 10:00'),
  });
  assert.deepEqual(found('twins'), []);
});
