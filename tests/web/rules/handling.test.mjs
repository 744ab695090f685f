import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import {
  expandTagRange,
  validateSessionWeight,
  validateSessionTreatment,
  validateBatchAnimals,
} from '../../../resources/web/js/rules/handling.js';
import { stockOf } from '../../../resources/web/js/rules/cabinet.js';
import { upsert } from '../../../resources/web/js/rules/records.js';
import { buildIndex, indexAdded } from '../../../resources/web/js/core/indexes.js';
import { searchAnimals } from '../../../resources/web/js/core/search.js';
import { animal, treatment, movement, farm } from '../helpers.mjs';

const TODAY = '2026-06-15';
const treatmentRec = (id, date, animalIds, product = 'Zolvix') => treatment({ id, date, animalIds, product });

describe('weighing session', () => {
  const a = animal({ tag: 'W1', eid: '826000000000011' });
  const sold = animal({ tag: 'W2' });
  const stray = animal({ tag: 'W3' });
  const { db } = farm({
    animals: [a, sold, stray],
    weights: [
      { id: 'w0', date: '2026-05-16', animalId: a.id, kg: 30 },
      { id: 'w9', date: '2026-06-20', animalId: a.id, kg: 99, voided: { at: 'x', reason: 'y' } },
    ],
    movements: [movement({ date: '2026-06-01', direction: 'off', outcome: 'sold', animalIds: [sold.id] })],
  });

  test('gives the gain since the last weight in force, and flags unknown tags, animals gone, a second weighing and strays', () => {
    const ok = validateSessionWeight(
      { tag: '826000000000011', kg: '42', date: TODAY },
      { db, idx: buildIndex(db) },
    );
    assert.deepEqual([ok.value.animalId, ok.last.kg, ok.gain], [a.id, 30, 0.4]);
    assert.match(
      validateSessionWeight({ tag: 'ZZ', kg: '4', date: TODAY }, { db, idx: buildIndex(db) }).errors.tag,
      /not on this farm/,
    );
    assert.match(
      validateSessionWeight({ tag: 'W2', kg: '4', date: TODAY }, { db, idx: buildIndex(db) }).errors.tag,
      /not on the farm on/,
    );
    upsert(db, 'weights', null, ok.value);
    assert.match(
      validateSessionWeight({ tag: 'w1', kg: '43', date: TODAY }, { db, idx: buildIndex(db) }).errors.tag,
      /already weighed on 2026-06-15 \(42 kg\)/,
    );
    assert.ok(
      validateSessionWeight({ tag: 'W1', kg: '0', date: '2026-06-16' }, { db, idx: buildIndex(db) }).errors
        .kg,
    );
    assert.match(
      validateSessionWeight(
        { tag: 'W1', kg: '40', date: '2026-06-16' },
        { db, idx: buildIndex(db), today: TODAY },
      ).errors.date,
      /future/,
    );
    // A weighing day for chosen animals refuses one from another mob.
    const chosen = { kg: '40', date: '2026-06-16', expected: [a.id] };
    assert.ok(validateSessionWeight({ ...chosen, tag: 'W1' }, { db, idx: buildIndex(db) }).ok);
    assert.match(
      validateSessionWeight({ ...chosen, tag: 'W3' }, { db, idx: buildIndex(db) }).errors.tag,
      /W3 is not among the 1 animals chosen/,
    );
    assert.ok(validateSessionWeight({ ...chosen, tag: 'W3', expected: [] }, { db, idx: buildIndex(db) }).ok);
  });
});

describe('treatment session', () => {
  test('each animal is its own record drawing its share of the batch, once per session', () => {
    const animals = [animal({ tag: 'T1' }), animal({ tag: 'T2' })];
    const { db } = farm({
      animals,
      purchases: [
        {
          id: 'p1',
          date: '2026-01-01',
          product: 'Drench',
          batch: 'D7',
          expiry: '2027-01-01',
          quantity: 25,
          unit: 'ml',
          supplier: 'S',
          meatDays: 14,
          milkPeriod: 0,
          milkUnit: 'days',
        },
      ],
    });
    const session = {
      date: TODAY,
      purchaseId: 'p1',
      perAnimal: '12.5',
      dose: '12.5 ml',
      meatDays: '14',
      milkPeriod: '0',
      milkUnit: 'days',
      treated: new Set(),
    };
    for (const tag of ['T1', 'T2']) {
      const res = validateSessionTreatment({ session, tag }, { db, idx: buildIndex(db), today: TODAY });
      assert.deepEqual([res.value.animalIds, res.value.batch, res.warnings], [[res.animal.id], 'D7', []]);
      session.treated.add(res.animal.id);
      upsert(db, 'treatments', null, res.value);
    }
    assert.equal(stockOf(db).get('p1').left, 0);
    assert.match(
      validateSessionTreatment({ session, tag: 'T1' }, { db, idx: buildIndex(db), today: TODAY }).errors.tag,
      /already been treated/,
    );
    session.treated.clear();
    assert.match(
      validateSessionTreatment({ session, tag: 'T1' }, { db, idx: buildIndex(db), today: TODAY }).warnings[0],
      /Only 0 ml/,
    );
  });
});

describe('batch entry of new animals', () => {
  test('ranges keep their prefix and zeros; a tag already on the records stops the whole batch', () => {
    assert.deepEqual(expandTagRange('UK0123450098-UK0123450101'), [
      'UK0123450098',
      'UK0123450099',
      'UK0123450100',
      'UK0123450101',
    ]);
    assert.deepEqual(expandTagRange('8 to 10'), ['8', '9', '10']);
    for (const bad of ['A1-B5', '10-1', '1-5000', 'UK1']) assert.equal(expandTagRange(bad), null, bad);
    const { idx } = farm({ animals: [animal({ tag: 'L003' })] });
    const ok = validateBatchAnimals(
      { tags: 'L001-L002', species: 'Sheep', sex: 'male', dob: '2026-04-01' },
      { idx, today: TODAY },
    );
    assert.deepEqual(
      ok.value.map((v) => [v.tag, v.sex, v.dob]),
      [
        ['L001', 'male', '2026-04-01'],
        ['L002', 'male', '2026-04-01'],
      ],
    );
    assert.match(validateBatchAnimals({ tags: 'L001-L004' }, { idx, today: TODAY }).errors.tags, /L003/);
    assert.deepEqual(
      validateBatchAnimals({ tags: 'A, B\nC' }, { idx, today: TODAY }).value.map((v) => v.tag),
      ['A', 'B', 'C'],
    );
    // Written as a range that cannot be counted out: an error, never one animal tagged with the whole text.
    for (const bad of ['UK0123450001-40', 'L9-L1', '1-2500'])
      assert.match(
        validateBatchAnimals({ tags: bad }, { idx, today: TODAY }).errors.tags,
        /cannot be counted out/,
        bad,
      );
  });
});

describe('entries added to the index in place', () => {
  test('leave it as a rebuild would, search included', () => {
    const [a, b] = [animal({ tag: 'I1' }), animal({ tag: 'I2' })];
    const { db, idx } = farm({
      animals: [a, b],
      weights: [
        { id: 'w1', date: '2026-06-01', animalId: a.id, kg: 3 },
        { id: 'w2', date: '2026-06-20', animalId: a.id, kg: 5 },
      ],
      treatments: [treatmentRec('t1', '2026-06-01', [a.id]), treatmentRec('t2', '2026-06-10', [a.id, b.id])],
    });
    idx.searchIndex();
    const added = [
      ['weights', { id: 'w3', date: '2026-06-10', animalId: a.id, kg: 4 }],
      ['weights', { id: 'w4', date: '2026-06-20', animalId: a.id, kg: 6 }],
      ['treatments', treatmentRec('t3', '2026-06-10', [a.id])],
      ['treatments', treatmentRec('t4', '2026-06-30', [b.id], 'Footvax')],
    ];
    for (const [c, rec] of added) {
      db[c].push(rec);
      indexAdded(db, idx, c, rec);
    }
    const fresh = buildIndex(db);
    const ids = (x, id, k) => x.perAnimal.get(id)[k].map((r) => r.id);
    for (const id of [a.id, b.id])
      for (const k of ['weights', 'treatments'])
        assert.deepEqual(ids(idx, id, k), ids(fresh, id, k), `${id} ${k}`);
    assert.deepEqual(
      searchAnimals(idx.searchIndex(), 'footvax').results.map((r) => r.animal.tag),
      ['I2'],
    );
  });
});
