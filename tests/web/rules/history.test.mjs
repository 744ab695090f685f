// Status and field follow from the dated movements; records are voided, not
// erased; an animal must be on the farm for anything to happen to it.
import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { buildIndex } from '../../../resources/web/js/core/indexes.js';
import { animalEvents } from '../../../resources/web/js/rules/history.js';
import {
  validateMovement,
  saveMovement,
  validateAnimal,
  saveAnimal,
  validateWeight,
  validateBirth,
  validateTreatment,
  voidRecord,
  restoreRecord,
  restoreProblem,
} from '../../../resources/web/js/rules/records.js';
import { animal, movement, off, treatment, farm, place } from '../helpers.mjs';

const TODAY = '2026-06-15';
const fields = [place('f1', 'One'), place('f2', 'Two'), place('f3', 'Three')];

const papers = { fromHolding: '1/2', toHolding: '3/4', documentRef: 'D1' };

describe('history recomputation', () => {
  test('editing an old arrival does not bring a sold animal back', () => {
    const a = animal({ tag: 'A' });
    const on = movement({ date: '2026-01-10', direction: 'on', animalIds: [a.id], fieldId: 'f1' });
    const { db } = farm({
      animals: [a],
      fields,
      movements: [
        on,
        movement({ date: '2026-05-01', direction: 'off', outcome: 'sold', animalIds: [a.id], to: 'Mart' }),
      ],
    });
    const edit = validateMovement(
      { date: '2026-01-10', direction: 'on', tags: 'A', fieldId: 'f2', from: 'Market' },
      { idx: buildIndex(db), today: TODAY, db, editing: on },
    );
    assert.equal(edit.ok, true);
    saveMovement(db, on.id, edit.value);
    assert.deepEqual([a.status, a.statusDate, a.fieldId], ['sold', '2026-05-01', '']);
  });

  test('a back-dated move never overrides a later one; same day, the later entry wins', () => {
    const a = animal({ tag: 'A', fieldId: 'f1' });
    const { db } = farm({
      animals: [a],
      fields,
      movements: [movement({ date: '2026-06-01', animalIds: [a.id], fieldId: 'f2' })],
    });
    saveMovement(
      db,
      null,
      validateMovement(
        { date: '2026-03-01', direction: 'move', tags: 'A', fieldId: 'f3' },
        { idx: buildIndex(db), today: TODAY, db },
      ).value,
    );
    assert.equal(a.fieldId, 'f2');
    saveMovement(
      db,
      null,
      validateMovement(
        { date: '2026-06-01', direction: 'move', tags: 'A', fieldId: 'f3' },
        { idx: buildIndex(db), today: TODAY, db },
      ).value,
    );
    assert.equal(a.fieldId, 'f3');
  });

  test('voiding a movement undoes it, and restoring it applies it again', () => {
    const a = animal({ tag: 'A', fieldId: 'f1' });
    const died = movement({
      date: '2026-05-01',
      direction: 'off',
      outcome: 'died',
      cause: 'Bloat',
      animalIds: [a.id],
    });
    const { db } = farm({ animals: [a], fields, movements: [died] });
    assert.equal(a.status, 'died');
    voidRecord(db, 'movements', died.id, 'wrong animal', '2026-06-15 08:00');
    assert.deepEqual([a.status, a.fieldId, db.movements.length], ['on-farm', 'f1', 1]);
    restoreRecord(db, 'movements', died.id);
    assert.equal(a.status, 'died');
    // A voided birth whose young were since recorded to another dam cannot come back: they would have two.
    const [e1, e2, l1] = [animal({ tag: 'E1' }), animal({ tag: 'E2' }), animal({ tag: 'L1' })];
    const first = {
      id: 'bi-1',
      date: '2026-04-01',
      damId: e1.id,
      sire: '',
      offspringIds: [l1.id],
      notes: '',
      voided: { at: '2026-04-02 08:00', reason: 'wrong ewe' },
    };
    const again = { ...first, id: 'bi-2', damId: e2.id, voided: undefined };
    const twice = farm({ animals: [e1, e2, l1], births: [first, again] });
    assert.match(
      restoreProblem(twice.db, twice.idx, 'births', 'bi-1'),
      /L1 is now recorded as born to another dam/,
    );
    assert.equal(restoreProblem(twice.db, twice.idx, 'births', 'bi-2'), null);
  });

  test('moved off alive is "away": off the farm, out of the field counts', () => {
    const a = animal({ tag: 'A', fieldId: 'f1' });
    const { db } = farm({ animals: [a], fields });
    const off = validateMovement(
      { date: '2026-06-01', direction: 'off', outcome: 'away', tags: 'A', ...papers },
      { idx: buildIndex(db), today: TODAY, db },
    );
    saveMovement(db, null, off.value);
    assert.deepEqual([a.status, a.statusDate, a.fieldId], ['away', '2026-06-01', '']);
    assert.equal(buildIndex(db).animalsInField.get('f1'), undefined);
  });

  test('sold or died on the animal form becomes a movement with its destination or cause', () => {
    const a = animal({ tag: 'A', fieldId: 'f1' });
    const { db, idx } = farm({ animals: [a], fields });
    const res = validateAnimal(
      {
        tag: 'A',
        sex: 'female',
        status: 'sold',
        statusDate: '2026-06-10',
        to: 'J. Buyer',
        toHolding: '12/345/0001',
        documentRef: 'MD-1',
      },
      { idx, editing: a, today: TODAY, db },
    );
    const saved = saveAnimal(db, a.id, res);
    assert.deepEqual(
      db.movements.map((m) => [m.direction, m.outcome, m.date, m.to, m.toHolding, m.animalIds[0]]),
      [['off', 'sold', '2026-06-10', 'J. Buyer', '12/345/0001', a.id]],
    );
    assert.equal(saved.status, 'sold');
    assert.ok(
      validateAnimal({ tag: 'B', status: 'died', statusDate: '2026-06-10' }, { idx, today: TODAY }).errors
        .cause,
    );
  });

  test('same-day events come out in entry order, newest entry first, every time', () => {
    const a = animal({ tag: 'A' });
    const m = (n) => movement({ id: `m${n}`, date: '2026-05-05', animalIds: [a.id], fieldId: 'f1' });
    const { db } = farm({
      animals: [a],
      fields,
      movements: [m(1), m(2), movement({ id: 'old', date: '2026-01-01', animalIds: [a.id] }), m(3)],
    });
    assert.deepEqual(
      animalEvents(db, a).map((e) => e.record.id),
      ['m3', 'm2', 'm1', 'old'],
    );
  });
});

describe('only animals on the farm', () => {
  const lamb = animal({ tag: 'L', dob: '2026-04-01' });
  const gone = animal({ tag: 'G' });
  const ram = animal({ tag: 'R', sex: 'male' });
  const dead = animal({ tag: 'D' });
  const brief = animal({ tag: 'S' });
  const came = movement({ date: '2026-05-18', direction: 'on', animalIds: [brief.id], fieldId: 'f1' });
  const { db, idx } = farm({
    animals: [lamb, gone, ram, dead, brief],
    fields,
    movements: [
      movement({ date: '2026-03-01', direction: 'off', outcome: 'sold', animalIds: [gone.id] }),
      off('2026-03-01', 'died', [dead], { cause: 'Bloat' }),
      came,
      off('2026-05-18', 'died', [brief], { cause: 'Bloat' }),
      movement({ date: '2026-05-01', direction: 'move', animalIds: [ram.id], fieldId: 'f2' }),
    ],
  });

  test('records are refused before birth and after leaving; a dam must be female', () => {
    assert.match(
      validateWeight({ date: '2026-03-20', tag: 'L', kg: '5' }, { idx, today: TODAY, db }).errors.tag,
      /not yet born/,
    );
    assert.ok(
      validateWeight({ date: '2026-03-01', tag: 'G', kg: '50' }, { idx, today: TODAY, db }).ok,
      'on the day it left',
    );
    assert.ok(
      validateWeight({ date: '2026-03-02', tag: 'G', kg: '50' }, { idx, today: TODAY, db }).errors.tag,
    );
    assert.match(
      validateTreatment(
        {
          date: '2026-02-20',
          lastDate: '2026-03-04',
          product: 'X',
          dose: '1 ml',
          tags: 'G',
          meatDays: '0',
          milkPeriod: '0',
        },
        { idx, today: TODAY, db },
      ).errors.tags,
      /G\./,
    );
    assert.ok(
      validateMovement(
        { date: '2026-04-01', direction: 'move', tags: 'G', fieldId: 'f1' },
        { idx, today: TODAY, db },
      ).errors.tags,
    );
    assert.match(
      validateBirth({ date: '2026-05-01', damTag: 'R', 'youngTag-0': 'N1' }, { idx, today: TODAY, db }).errors
        .damTag,
      /male/,
    );
    assert.match(validateAnimal({ tag: 'N2', dam: 'R' }, { idx, today: TODAY }).errors.dam, /male/);
    // Arrived and died the same day: here at some moment of that day only.
    const treated = (date) =>
      validateTreatment(
        { date, product: 'X', dose: '1 ml', tags: 'S', meatDays: '0', milkPeriod: '0' },
        { idx, today: TODAY, db },
      ).ok;
    assert.deepEqual(['2026-05-17', '2026-05-18', '2026-05-19'].map(treated), [false, true, false]);
  });

  test('an edit that moves the day checks the animals again; gone that day, an animal cannot leave or move again', () => {
    const given = treatment({ date: '2026-02-01', animalIds: [gone.id], product: 'X' });
    const moved = (date) =>
      validateTreatment(
        { date, product: 'X', dose: '1 ml', tags: 'G', meatDays: '0', milkPeriod: '0' },
        { idx, today: TODAY, db, editing: given },
      );
    assert.deepEqual(
      [moved('2026-02-01').ok, moved('2026-04-01').errors?.tags],
      [true, 'Not on the farm on that date (not yet born, or gone): G.'],
    );
    const lambing = { id: 'bi-d', date: '2026-02-01', damId: dead.id, sire: '', offspringIds: [], notes: '' };
    assert.match(
      validateBirth({ date: '2026-04-01', damTag: 'D' }, { idx, today: TODAY, db, editing: lambing }).errors
        .damTag,
      /Not on the farm/,
    );
    for (const [direction, outcome] of [
      ['off', 'died'],
      ['off', 'sold'],
      ['move', ''],
    ]) {
      const again = validateMovement(
        { date: '2026-03-01', direction, outcome, tags: 'G', cause: 'Bloat', to: 'Mart', fieldId: 'f1' },
        { idx, today: TODAY, db },
      );
      assert.match(again.errors?.tags ?? '', /Already gone by the end of that day: G\./, direction + outcome);
    }
  });

  test('a sold animal may come back, a dead one cannot; an arrival before the death stays correctable', () => {
    const arrival = (tags, date, editing) =>
      validateMovement(
        { date, direction: 'on', tags, fieldId: 'f1', ...papers },
        { idx, today: TODAY, db, editing },
      );
    const cases = [
      ['G', '2026-04-01', null, null],
      ['D', '2026-04-01', null, /Recorded as dead: D\./],
      ['D', '2026-03-01', null, /dead/],
      ['D', '2026-02-01', null, null],
      ['S', '2026-05-18', came, null],
      ['S', '2026-05-18', null, /dead/],
    ];
    for (const [tags, date, editing, error] of cases) {
      const r = arrival(tags, date, editing);
      if (error) assert.match(r.errors?.tags ?? '', error, `${tags} ${date}`);
      else assert.equal(r.ok, true, `${tags} ${date}`);
    }
  });

  test('an arrival or a departure names the other holding and the document; an animal here cannot arrive again', () => {
    const a = animal({ tag: 'N1' });
    const f = farm({ animals: [a], fields });
    const move = (fields) =>
      validateMovement(
        { date: '2026-03-01', tags: 'N1', fieldId: 'f1', ...fields },
        { idx: f.idx, today: TODAY, db: f.db },
      );
    const asked = (fields) => Object.keys(move(fields).errors).sort().join();
    assert.equal(asked({ direction: 'on' }), 'documentRef,fromHolding');
    assert.equal(asked({ direction: 'off', outcome: 'sold' }), 'documentRef,toHolding');
    assert.ok(move({ direction: 'off', outcome: 'died', cause: 'Bloat' }).ok, 'a death needs neither');
    saveMovement(f.db, null, move({ direction: 'on', ...papers }).value);
    const again = move({ date: '2026-04-01', direction: 'on', ...papers });
    assert.match(again.errors.tags, /Already on the farm on that date: N1\./);
  });

  test('a death, or a status set on the form, cannot be dated before a movement already recorded; a late sale can', () => {
    const leaving = (outcome, date) =>
      validateMovement(
        { date, direction: 'off', outcome, tags: 'R', cause: 'Bloat', to: 'Market', ...papers },
        { idx, today: TODAY, db },
      );
    const onForm = (date) =>
      validateAnimal(
        { tag: 'R', sex: 'male', status: 'sold', statusDate: date, to: 'Market', ...papers },
        { idx, editing: ram, today: TODAY, db },
      );
    assert.match(leaving('died', '2026-04-01').errors.tags, /Recorded as moving after that date: R\./);
    assert.match(onForm('2026-04-01').errors.statusDate, /moving after/);
    assert.deepEqual(
      [leaving('died', '2026-05-01').ok, leaving('sold', '2026-04-01').ok, onForm('2026-05-02').ok],
      [true, true, true],
    );
  });
});
