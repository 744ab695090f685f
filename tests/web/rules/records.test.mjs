import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { buildIndex } from '../../../resources/web/js/core/indexes.js';
import { parentsOf, fieldName } from '../../../resources/web/js/core/lookups.js';
import { searchAnimals } from '../../../resources/web/js/core/search.js';
import { bookRange, spanInRange } from '../../../resources/web/js/core/ranges.js';
import {
  parseTagList,
  parseNumber,
  validateAnimal,
  saveAnimal,
  validateTreatment,
  validateWeight,
  validateBirth,
  saveBirth,
  validateField,
  removeAnimals,
  archiveField,
  restoreRecord,
  readRegisterDays,
  saveFarmDetails,
} from '../../../resources/web/js/rules/records.js';
import { animal, treatment, movement, farm, place } from '../helpers.mjs';
import { fitFrom, courseState } from '../../../resources/web/js/rules/withdrawal.js';

const TODAY = '2026-06-15';

test('typed tag lists split on commas, semicolons and lines; numbers take a decimal comma', () => {
  assert.deepEqual(parseTagList('UK 123  456, A2;A3\nuk 123 456\n\n'), ['UK 123 456', 'A2', 'A3']);
  assert.deepEqual(parseTagList('   '), []);
  assert.equal(parseNumber('412,5'), 412.5);
  for (const bad of ['', '-3', '4e2', '12kg', '1,2,3']) assert.ok(Number.isNaN(parseNumber(bad)), bad);
});

describe('animals', () => {
  const retagged = animal({
    id: 'a2',
    tag: '826000000000002',
    tagHistory: [{ date: '2026-01-01', from: '826000000000001', to: '826000000000002', reason: 'lost' }],
  });
  const { idx } = farm({ animals: [animal({ id: 'a1', tag: 'UK 100' }), retagged], fields: [place('f1')] });

  const check = (input, editing) =>
    validateAnimal(input, { idx, editing: editing && idx.animalsById.get(editing), today: TODAY });

  test('a tag in use is refused, whatever its case or spacing; so are future births and unknown fields', () => {
    assert.match(check({ tag: ' uk   100 ' }).errors.tag, /UK 100/);
    assert.equal(check({ tag: 'UK 100' }, 'a1').ok, true, 'its own tag when editing');
    // A scan finds tags first, so an electronic ID may not be another animal's tag, now or before.
    for (const eid of ['826000000000002', '826 000 000000001'])
      assert.match(check({ tag: 'UK 100', eid }, 'a1').errors.eid, /tag of 826000000000002/, eid);
    assert.equal(check({ tag: retagged.tag, eid: retagged.tag }, 'a2').ok, true, 'its own tag');
    // Lists of tags are split at commas and semicolons, so a new tag may hold neither.
    for (const tag of ['FR 12,345', 'A;B'])
      assert.match(check({ tag }).errors.tag, /comma or a semicolon/, tag);
    assert.ok(check({ tag: 'N', dob: '2026-06-16' }).errors.dob);
    assert.ok(check({ tag: 'N', fieldId: 'nowhere' }).errors.fieldId);
  });

  test('a new tag records the replacement; the old tag still finds the animal and cannot be reused', () => {
    const a = animal({ tag: 'UK 1 OLD' });
    const young = animal({ tag: 'Y', dam: 'uk 1 old' });
    const { db } = farm({ animals: [a, young] });
    assert.ok(
      validateAnimal({ tag: 'UK 1 NEW' }, { idx: buildIndex(db), editing: a, today: TODAY, db }).errors
        .tagReason,
      'a reason is asked for',
    );
    const res = validateAnimal(
      { tag: 'UK 1 NEW', sex: 'female', tagDate: '2026-06-01', tagReason: 'Lost, replaced' },
      { idx: buildIndex(db), editing: a, today: TODAY, db },
    );
    const saved = saveAnimal(db, a.id, res);
    assert.deepEqual(saved.tagHistory, [
      { date: '2026-06-01', from: 'UK 1 OLD', to: 'UK 1 NEW', reason: 'Lost, replaced' },
    ]);
    assert.equal(young.dam, 'UK 1 NEW');
    const idx2 = buildIndex(db);
    assert.deepEqual(
      searchAnimals(idx2.searchIndex(), 'uk 1 old').results.map((r) => r.animal.tag),
      ['UK 1 NEW'],
    );
    assert.match(validateAnimal({ tag: 'UK 1 OLD' }, { idx: idx2, today: TODAY }).errors.tag, /was/);
  });
});

describe('treatments', () => {
  const a = animal({ tag: 'A1' });
  const b = animal({ tag: 'B2' });
  const { db, idx } = farm({ animals: [a, b] });
  const input = { date: '2026-06-01', product: 'Wormer', tags: 'a1, B2', meatDays: '14', milkPeriod: '0' };
  const check = (fields, earlier, today = TODAY) =>
    validateTreatment({ dose: '5 ml', ...input, ...fields }, { idx, today, db, editing: earlier });

  test('resolves tags, takes a course by its days, names unknown tags, and keeps orphans editable', () => {
    const cascade = { offLabel: 'on', meatCascade: 'label', meatLabelDays: '30', milkCascade: 'zero' };
    const ok = check({ courseDays: '5', vet: 'R. Ó Briain', ...cascade });
    assert.deepEqual(
      [ok.value.animalIds, ok.value.lastDate, ok.value.vet, ok.value.offLabel, ok.value.meatLabelDays],
      [[a.id, b.id], '2026-06-05', 'R. Ó Briain', true, 30],
    );
    // Under the cascade each food needs its case, and the label case its period.
    const asked = check({ ...cascade, meatLabelDays: '', milkCascade: '' });
    assert.deepEqual(Object.keys(asked.errors).sort(), ['meatLabelDays', 'milkCascade']);
    assert.equal(check({ meatCascade: 'zero' }).value.meatCascade, '', 'asked only under the cascade');
    assert.match(check({ tags: 'A1, Z9, Q7' }).errors.tags, /Z9, Q7/);
    assert.ok(check({ lastDate: '2026-05-30' }).errors.lastDate);
    for (const days of ['-1', '2.5', 'ten', '3651'])
      assert.ok(check({ meatDays: days }).errors.meatDays, days);
    // The quantity given is required, but a record kept without one stays correctable.
    assert.ok(check({ dose: ' ' }).errors.dose);
    assert.ok(check({ dose: '' }, treatment({ animalIds: [a.id], dose: '5 ml' })).errors.dose);
    assert.equal(check({ dose: '' }, treatment({ animalIds: [a.id], dose: '' })).ok, true);
    // A treatment whose animals were all removed can still be corrected.
    const orphan = treatment({ animalIds: [], target: 'removed: GONE 1', batch: 'B1' });
    const r = check({ tags: '', target: orphan.target, batch: 'B2' }, orphan);
    assert.deepEqual([r.ok, r.value.batch], [true, 'B2']);
  });

  test('a course still under way is recorded to its planned last day, and stays to confirm once that day has passed', () => {
    const running = check({ date: '2026-06-12', lastDate: '2026-06-19' });
    assert.deepEqual([running.ok, running.value.planned], [true, true]);
    assert.ok(check({ date: '2026-06-16' }).errors.date, 'the first dose is not in the future');
    assert.ok(check({ date: '2026-06-12', lastDate: '2027-06-13' }).errors.lastDate);
    const t = treatment(running.value);
    assert.equal(fitFrom(treatment({ ...running.value, meatDays: 14 }), 'meat'), '2026-07-04');
    assert.equal(courseState(t, '2026-06-19'), 'under way');
    assert.equal(courseState(t, '2026-06-20'), 'still to confirm');
    const later = (fields) =>
      check({ date: '2026-06-12', lastDate: '2026-06-19', ...fields }, t, '2026-06-25');
    assert.equal(later({ notes: 'x' }).value.planned, true, 'an edit alone does not confirm it');
    assert.equal(later({ confirmEnd: 'on' }).value.planned, false);
    assert.equal(courseState(treatment(check({ lastDate: '2026-06-14' }).value), TODAY), '');
  });

  test('the book period ends today, worked out again after midnight, and holds every course with a day in it', () => {
    const inWeek = ([first, last]) => spanInRange(first, last, '2026-03-08', '2026-03-14');
    assert.deepEqual(
      [
        ['2026-03-01', '2026-03-21'],
        ['2026-03-14', '2026-03-20'],
        ['2026-03-01', '2026-03-08'],
        ['2026-03-15', '2026-03-15'],
        ['2026-03-01', '2026-03-07'],
      ].map(inWeek),
      [true, true, true, false, false],
    );
    assert.ok(spanInRange('2020-01-01', '2020-01-01', '', ''));
    const range = { from: null, to: '' };
    assert.deepEqual(bookRange(range, '2026-06-15'), { from: '2025-06-15', to: '2026-06-15' });
    assert.equal(bookRange(range, '2026-06-16').to, '2026-06-16');
    assert.equal(bookRange({ from: '', to: '2026-01-31' }, TODAY).to, '2026-01-31');
  });

  test('a weight needs a known animal and a sensible number', () => {
    const weigh = (input, ctx = { idx, db }) => validateWeight(input, { today: TODAY, ...ctx });
    const kept = weigh({ date: '2026-06-01', tag: 'b2', kg: '41,5' }).value;
    assert.deepEqual(kept, { date: '2026-06-01', animalId: b.id, kg: 41.5 });
    const refused = weigh({ date: '', tag: 'nobody', kg: '0' }).errors;
    assert.deepEqual(Object.keys(refused).sort(), ['date', 'kg', 'tag']);
    // One weight a day, as on a handling day; the weight itself can still be corrected.
    const w = { id: 'w1', date: '2026-06-01', animalId: b.id, kg: 40 };
    // An older version let two stand on one day: either can still be corrected.
    const { db: weighed, idx: widx } = farm({ animals: [b], weights: [w, { ...w, id: 'w2', kg: 400 }] });
    const again = { date: '2026-06-01', tag: 'B2', kg: '400' };
    assert.match(
      weigh(again, { idx: widx, db: weighed }).errors.tag,
      /already weighed on 2026-06-01 \(40 kg\)/,
    );
    assert.ok(weigh({ ...again, kg: '41' }, { idx: widx, db: weighed, editing: w }).ok);
  });
});

describe('births and parentage', () => {
  test('each young has its own sex, and parentage comes from the birth alone, through edits', () => {
    const ewe = animal({ tag: 'EWE 1', species: 'Sheep', breed: 'Texel', fieldId: 'f1' });
    const ewe2 = animal({ tag: 'EWE 2' });
    const { db } = farm({ animals: [ewe, ewe2], fields: [place('f1')] });
    const input = {
      date: '2026-04-02',
      damTag: 'ewe 1',
      sire: 'Ram 7',
      'youngTag-0': 'L1',
      'youngSex-0': 'male',
      'youngTag-1': 'L2',
      'youngSex-1': 'female',
    };
    const birth = saveBirth(db, null, validateBirth(input, { idx: buildIndex(db), today: TODAY, db }));
    const lambs = db.animals.filter((x) => x.tag.startsWith('L'));
    assert.deepEqual(
      lambs.map((l) => [l.tag, l.sex, l.dob, l.species, l.fieldId, l.dam]),
      [
        ['L1', 'male', '2026-04-02', 'Sheep', 'f1', ''],
        ['L2', 'female', '2026-04-02', 'Sheep', 'f1', ''],
      ],
    );
    // The wrong dam and date were entered: the young follow the corrected birth.
    const edit = validateBirth(
      { ...input, date: '2026-04-03', damTag: 'EWE 2', 'youngSex-1': 'castrated' },
      { idx: buildIndex(db), today: TODAY, db, editing: birth },
    );
    saveBirth(db, birth.id, edit);
    const idx = buildIndex(db);
    assert.deepEqual(
      lambs.map((l) => [parentsOf(idx, idx.animalsById.get(l.id)).damText, l.dob]),
      [
        ['EWE 2', '2026-04-03'],
        ['EWE 2', '2026-04-03'],
      ],
    );
    assert.equal(idx.animalsById.get(lambs[1].id).sex, 'castrated');
    assert.ok(
      validateBirth({ date: '2026-04-02', damTag: 'EWE 1', 'youngTag-0': 'ewe 1' }, { idx, today: TODAY, db })
        .errors.young,
    );
    // An animal already recorded may be linked as a young unless it was born on another date (a mistyped tag).
    const { db: db2, idx: idx2 } = farm({
      animals: [
        animal({ tag: 'EWE 1' }),
        animal({ tag: 'OLD', dob: '2019-04-02' }),
        animal({ tag: 'PRE', dob: '2026-04-02' }),
        animal({ tag: 'NEW' }),
      ],
    });
    const linking = (tag) =>
      validateBirth(
        { date: '2026-04-02', damTag: 'EWE 1', 'youngTag-0': tag },
        { idx: idx2, today: TODAY, db: db2 },
      );
    assert.match(linking('old').errors.young, /OLD is recorded as born on 2019-04-02/);
    for (const tag of ['PRE', 'NEW'])
      assert.deepEqual(linking(tag).value.offspringIds, [db2.animals.find((x) => x.tag === tag).id], tag);
    // Nor one with records from before the birth, and no date of birth moves past an animal's first record.
    const early = animal({ tag: 'EARLY' });
    const { db: db3, idx: idx3 } = farm({
      animals: [animal({ tag: 'EWE 1' }), early],
      weights: [{ id: 'w-e', date: '2026-01-10', animalId: early.id, kg: 30 }],
    });
    assert.match(
      validateBirth(
        { date: '2026-04-02', damTag: 'EWE 1', 'youngTag-0': 'EARLY' },
        { idx: idx3, today: TODAY, db: db3 },
      ).errors.young,
      /records from 2026-01-10/,
    );
    assert.match(
      validateAnimal(
        { tag: 'EARLY', dob: '2026-02-01' },
        { idx: idx3, editing: early, today: TODAY, db: db3 },
      ).errors.dob,
      /records from 2026-01-10/,
    );
    assert.ok(
      validateAnimal(
        { tag: 'EARLY', dob: '2026-01-10' },
        { idx: idx3, editing: early, today: TODAY, db: db3 },
      ).ok,
    );
    // Linked so by an older version, it does not stop an edit that keeps the date.
    const linked = {
      id: 'bi-e',
      date: '2026-04-02',
      damId: db3.animals[0].id,
      sire: '',
      offspringIds: [early.id],
      notes: '',
    };
    const { db: db4, idx: idx4 } = farm({ animals: db3.animals, weights: db3.weights, births: [linked] });
    assert.ok(
      validateBirth(
        { date: '2026-04-02', damTag: 'EWE 1', sire: 'Ram 9', 'youngTag-0': 'EARLY' },
        { idx: idx4, today: TODAY, db: db4, editing: linked },
      ).ok,
    );
  });
});

describe('kept records', () => {
  test('an animal with records is marked entered in error, keeping every record; one without any is erased', () => {
    const a = animal({ tag: 'A' });
    const b = animal({ tag: 'B' });
    const c = animal({ tag: 'C' });
    const { db } = farm({
      animals: [a, b, c],
      treatments: [treatment({ animalIds: [a.id] })],
      movements: [movement({ direction: 'on', animalIds: [b.id], fieldId: 'f1' })],
      births: [{ id: 'b1', date: '2026-01-01', damId: a.id, sire: '', offspringIds: [b.id], notes: '' }],
    });
    assert.deepEqual(removeAnimals(db, [a.id, b.id, c.id], 'typed twice', '2026-06-15 09:00'), {
      erased: 1,
      voided: 2,
    });
    assert.deepEqual(
      db.animals.map((x) => [x.tag, x.voided?.reason]),
      [
        ['A', 'typed twice'],
        ['B', 'typed twice'],
      ],
    );
    assert.deepEqual(
      [db.treatments[0].animalIds, db.movements[0].animalIds, db.births[0].damId],
      [[a.id], [b.id], a.id],
    );
    restoreRecord(db, 'animals', a.id);
    assert.equal(db.animals[0].voided, undefined);
  });

  test('field names are unique, ignoring case; an archived field keeps its name in the history', () => {
    const { db } = farm({ fields: [place('f1', 'Top')], movements: [movement({ fieldId: 'f1' })] });
    assert.ok(validateField({ name: 'TOP' }, { db }).errors.name);
    assert.equal(
      validateField({ name: 'Top', area: '2,5' }, { db, editing: db.fields.find((f) => f.id === 'f1') }).value
        .area,
      2.5,
    );
    archiveField(db, 'f1', TODAY);
    assert.deepEqual(
      [db.movements[0].fieldId, fieldName(buildIndex(db), 'f1'), db.fields[0].archived],
      ['f1', 'Top', TODAY],
    );
  });
});

test('farm details: days to register read as typed, a stray word refused; unknown farm keys kept', () => {
  assert.deepEqual(
    readRegisterDays([
      ['Cattle', ' 27 days '],
      ['Sheep', '180'],
      ['Goat', ''],
    ]),
    {
      ok: true,
      value: { Cattle: 27, Sheep: 180 },
    },
  );
  assert.deepEqual(
    readRegisterDays([
      ['Cattle', '27'],
      ['Pig', 'soon'],
    ]),
    { ok: false, species: 'Pig' },
  );
  const db = { farm: { name: 'Old', holding: '', organic: true, herdMark: 'HM 7' } };
  saveFarmDetails(db, {
    name: ' Pen-y-Bryn ',
    holding: '54/321',
    organic: false,
    registerDays: { Cattle: 27 },
  });
  assert.deepEqual(db.farm, {
    name: 'Pen-y-Bryn',
    holding: '54/321',
    organic: false,
    herdMark: 'HM 7',
    registerDays: { Cattle: 27 },
  });
  saveFarmDetails(db, { ...db.farm, address: ' Pen-y-Bryn, Llanfair ' });
  assert.equal(db.farm.address, 'Pen-y-Bryn, Llanfair');
});

test('a change of organic status leaves past treatments as they were recorded', () => {
  const a = animal({ tag: 'A1' });
  const old = treatment({ date: '2026-01-10', meatDays: 10, animalIds: [a.id] });
  const { db, idx } = farm({ animals: [a], treatments: [old], farm: { organic: true } });
  const meat = (t) => fitFrom(t, 'meat', { farm: db.farm });
  assert.equal(meat(old), '2026-01-31', 'no start date kept: the farm’s status');
  const details = { name: '', holding: '', registerDays: {} };
  saveFarmDetails(db, { ...details, organic: true, organicSince: '2026-03-01' });
  assert.equal(meat(old), '2026-01-31', 'a start date given later does not shorten it');
  const input = { product: 'X', dose: '2 ml', tags: 'A1', meatDays: '10', milkPeriod: '0' };
  const ctx = { idx, db, today: TODAY };
  const before = validateTreatment({ ...input, date: '2026-02-01' }, ctx).value;
  const after = validateTreatment({ ...input, date: '2026-03-01' }, ctx).value;
  assert.deepEqual([before.organic, after.organic], [false, true]);
  saveFarmDetails(db, { ...details, organic: false });
  assert.deepEqual([meat(old), meat(treatment(after))], ['2026-01-31', '2026-03-22']);
  const since = { farm: { organic: true, organicSince: '2026-03-01' } };
  assert.equal(fitFrom(treatment({ date: '2026-02-28', meatDays: 10 }), 'meat', since), '2026-03-11');
  const kept = validateTreatment({ ...input, date: '2026-03-01' }, { ...ctx, editing: { organic: true } });
  assert.equal(kept.value.organic, true, 'an edit keeps the status it was recorded under');
});
