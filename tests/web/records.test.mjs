import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { buildIndex } from '../../resources/web/js/model.js';
import {
  parseTagList, parseNumber, validateAnimal, validateTreatment, validateWeight, validateBirth, validateMovement,
  validateField, addBirth, applyMovement, removeAnimals, removeField, upsert, renameTag,
} from '../../resources/web/js/records.js';
import { animal, treatment, farm } from './helpers.mjs';

const TODAY = '2026-06-15';

describe('typed input', () => {
  test('tag lists split on commas, semicolons and lines, keep inner spaces, drop repeats', () => {
    assert.deepEqual(parseTagList('UK 123  456, A2;A3\nuk 123 456\n\n'), ['UK 123 456', 'A2', 'A3']);
    assert.deepEqual(parseTagList('   '), []);
  });

  test('numbers accept a decimal comma and refuse anything else', () => {
    assert.equal(parseNumber('412,5'), 412.5);
    assert.equal(parseNumber(' 38 '), 38);
    for (const bad of ['', '-3', '4e2', '12kg', '1,2,3']) assert.ok(Number.isNaN(parseNumber(bad)), bad);
  });
});

describe('animals', () => {
  const { idx } = farm({ animals: [animal({ id: 'a1', tag: 'UK 100' })], fields: [{ id: 'f1', name: 'Top', kind: 'field', area: null, notes: '' }] });

  test('a tag already in use is refused, whatever its case or spacing', () => {
    const r = validateAnimal({ tag: ' uk   100 ' }, idx, null, TODAY);
    assert.equal(r.ok, false);
    assert.match(r.errors.tag, /UK 100/);
    assert.equal(validateAnimal({ tag: 'UK 100' }, idx, 'a1', TODAY).ok, true, 'its own tag when editing');
  });

  test('sold or died needs a date not before birth; on the farm needs none', () => {
    assert.ok(validateAnimal({ tag: 'N', status: 'sold' }, idx, null, TODAY).errors.statusDate);
    assert.ok(validateAnimal({ tag: 'N', status: 'died', dob: '2026-05-01', statusDate: '2026-04-01' }, idx, null, TODAY).errors.statusDate);
    const ok = validateAnimal({ tag: 'N', status: 'on-farm', statusDate: '2026-01-01', fieldId: 'f1' }, idx, null, TODAY);
    assert.equal(ok.value.statusDate, '');
    assert.equal(ok.value.fieldId, 'f1');
  });

  test('dates of birth in the future and unknown fields are refused', () => {
    assert.ok(validateAnimal({ tag: 'N', dob: '2026-06-16' }, idx, null, TODAY).errors.dob);
    assert.ok(validateAnimal({ tag: 'N', dob: '15/06/2026' }, idx, null, TODAY).errors.dob);
    assert.ok(validateAnimal({ tag: 'N', fieldId: 'nowhere' }, idx, null, TODAY).errors.fieldId);
  });
});

describe('treatments and weights', () => {
  const a = animal({ tag: 'A1' });
  const b = animal({ tag: 'B2' });
  const { idx } = farm({ animals: [a, b] });

  test('resolves tags to animals and names the unknown ones', () => {
    const ok = validateTreatment({ date: '2026-06-01', product: 'Wormer', tags: 'a1, B2', meatDays: '14', milkDays: '' }, idx, TODAY);
    assert.deepEqual(ok.value.animalIds, [a.id, b.id]);
    assert.equal(ok.value.meatDays, 14);
    assert.equal(ok.value.milkDays, 0);
    const bad = validateTreatment({ date: '2026-06-01', product: 'Wormer', tags: 'A1, Z9, Q7' }, idx, TODAY);
    assert.match(bad.errors.tags, /Z9, Q7/);
  });

  test('withdrawal periods must be whole days within range', () => {
    for (const days of ['-1', '2.5', 'ten', '3651']) {
      const r = validateTreatment({ date: '2026-06-01', product: 'X', tags: 'A1', meatDays: days }, idx, TODAY);
      assert.ok(r.errors?.meatDays, days);
    }
  });

  test('a weight needs a known animal and a sensible number', () => {
    assert.deepEqual(validateWeight({ date: '2026-06-01', tag: 'b2', kg: '41,5' }, idx, TODAY).value, { date: '2026-06-01', animalId: b.id, kg: 41.5 });
    const bad = validateWeight({ date: '', tag: 'nobody', kg: '0' }, idx, TODAY);
    assert.deepEqual(Object.keys(bad.errors).sort(), ['date', 'kg', 'tag']);
  });
});

describe('births and movements change the herd', () => {
  test('a birth adds the new young to the herd, like their dam', () => {
    const dam = animal({ tag: 'EWE 1', species: 'Sheep', breed: 'Texel', fieldId: 'f1' });
    const older = animal({ tag: 'LAMB 0' });
    const { db, idx } = farm({ animals: [dam, older] });
    const r = validateBirth({ date: '2026-04-02', damTag: 'ewe 1', sire: 'Ram 7', offspringTags: 'LAMB 1, lamb 0, LAMB 2', sex: 'male' }, idx, TODAY);
    assert.equal(r.ok, true);
    const birth = addBirth(db, null, r.value, r.newAnimals);
    assert.equal(db.animals.length, 4);
    const lamb = db.animals.find((x) => x.tag === 'LAMB 1');
    assert.deepEqual([lamb.species, lamb.breed, lamb.dob, lamb.dam, lamb.sire, lamb.fieldId, lamb.sex], ['Sheep', 'Texel', '2026-04-02', 'EWE 1', 'Ram 7', 'f1', 'male']);
    assert.equal(birth.offspringIds.length, 3);
    assert.ok(birth.offspringIds.includes(older.id));
    assert.equal(birth.damId, dam.id);
  });

  test('a dam cannot be her own young', () => {
    const dam = animal({ tag: 'EWE 1' });
    const { idx } = farm({ animals: [dam] });
    assert.ok(validateBirth({ date: '2026-04-02', damTag: 'EWE 1', offspringTags: 'ewe 1' }, idx, TODAY).errors.offspringTags);
  });

  test('moving off as sold sets the status; moving between fields sets the field', () => {
    const a = animal({ tag: 'A', fieldId: 'f1' });
    const b = animal({ tag: 'B', fieldId: 'f1' });
    const { db, idx } = farm({ animals: [a, b], fields: [{ id: 'f1', name: 'One', kind: 'field', area: null, notes: '' }, { id: 'f2', name: 'Two', kind: 'pen', area: null, notes: '' }] });
    const off = validateMovement({ date: '2026-06-01', direction: 'off', tags: 'A', to: 'Market', outcome: 'sold', fieldId: 'f2' }, idx, TODAY);
    assert.equal(off.value.fieldId, '', 'no field for animals leaving');
    applyMovement(db, upsert(db, 'movements', null, off.value), off.outcome);
    assert.deepEqual([a.status, a.statusDate, a.fieldId], ['sold', '2026-06-01', '']);
    assert.ok(validateMovement({ date: '2026-06-01', direction: 'move', tags: 'B' }, buildIndex(db), TODAY).errors.fieldId);
    const move = validateMovement({ date: '2026-06-02', direction: 'move', tags: 'B', fieldId: 'f2' }, buildIndex(db), TODAY);
    applyMovement(db, move.value, move.outcome);
    assert.equal(b.fieldId, 'f2');
  });

  test('moving an animal back on brings it back on the farm', () => {
    const a = animal({ tag: 'A', status: 'sold', statusDate: '2026-01-01' });
    const { db, idx } = farm({ animals: [a], fields: [{ id: 'f1', name: 'One', kind: 'field', area: null, notes: '' }] });
    const on = validateMovement({ date: '2026-06-01', direction: 'on', tags: 'A', fieldId: 'f1' }, idx, TODAY);
    applyMovement(db, on.value, on.outcome);
    assert.deepEqual([a.status, a.statusDate, a.fieldId], ['on-farm', '', 'f1']);
  });
});

describe('changing a tag', () => {
  test('young that name the old tag as dam or sire follow the new one', () => {
    const ewe = animal({ tag: 'EWE 1' });
    const lamb = animal({ tag: 'L1', dam: 'ewe  1', sire: 'RAM 2' });
    const other = animal({ tag: 'L2', dam: 'EWE 10' });
    const { db } = farm({ animals: [ewe, lamb, other] });
    renameTag(db, 'EWE 1', 'UK 0001');
    assert.deepEqual([lamb.dam, lamb.sire, other.dam], ['UK 0001', 'RAM 2', 'EWE 10']);
  });
});

describe('removing records', () => {
  test('removing animals keeps the treatment book readable and drops what is left about nobody', () => {
    const a = animal({ tag: 'A' });
    const b = animal({ tag: 'B' });
    const { db } = farm({
      animals: [a, b],
      treatments: [treatment({ animalIds: [a.id, b.id], target: 'Pen 2' }), treatment({ animalIds: [b.id] })],
      weights: [{ id: 'w1', date: '2026-01-01', animalId: a.id, kg: 40 }, { id: 'w2', date: '2026-01-01', animalId: b.id, kg: 41 }],
      movements: [{ id: 'm1', date: '2026-01-01', direction: 'move', animalIds: [a.id], from: '', to: '', fieldId: '', reason: '', notes: '' }],
      births: [{ id: 'b1', date: '2026-01-01', damId: a.id, sire: '', offspringIds: [b.id], notes: '' }],
    });
    removeAnimals(db, [a.id]);
    assert.deepEqual(db.animals.map((x) => x.tag), ['B']);
    assert.deepEqual(db.weights.map((w) => w.id), ['w2']);
    assert.equal(db.treatments.length, 2);
    assert.deepEqual(db.treatments[0].animalIds, [b.id]);
    assert.equal(db.treatments[0].target, 'Pen 2 (removed: A)');
    assert.equal(db.movements.length, 0);
    assert.deepEqual(db.births.map((x) => [x.damId, x.offspringIds]), [['', [b.id]]]);
  });

  test('removing a field leaves its animals without one', () => {
    const a = animal({ fieldId: 'f1' });
    const { db } = farm({ animals: [a], fields: [{ id: 'f1', name: 'One', kind: 'field', area: null, notes: '' }] });
    assert.equal(removeField(db, 'f1'), true);
    assert.equal(a.fieldId, '');
    assert.equal(db.fields.length, 0);
  });

  test('field names must be unique, ignoring case', () => {
    const { db } = farm({ fields: [{ id: 'f1', name: 'Prairie', kind: 'field', area: null, notes: '' }] });
    assert.ok(validateField({ name: 'PRAIRIE' }, db, null).errors.name);
    assert.equal(validateField({ name: 'Prairie', area: '2,5' }, db, 'f1').value.area, 2.5);
  });
});
