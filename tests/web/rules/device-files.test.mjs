import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { readEid, findAnimal, animalsFromLines } from '../../../resources/web/js/rules/eid.js';
import { parseCsv, guessMapping, planImport } from '../../../resources/web/js/rules/import.js';
import { rememberLayout, rememberedLayout, layoutKey } from '../../../resources/web/js/rules/device-files.js';
import { parseDatabase } from '../../../resources/web/js/core/checks.js';
import { animal, farm } from '../helpers.mjs';

const TODAY = '2026-09-01';
const ewe = animal({ tag: 'UK0712345 00001', eid: '982000017383201' });
const tup = animal({
  tag: 'UK0712345 00002',
  eid: '826000000000002',
  tagHistory: [{ date: '2026-01-01', from: '982000017383202', to: 'UK0712345 00002', reason: 'lost' }],
});
const { db, idx } = farm({ animals: [ewe, tup, animal({ tag: '826000000000001' })] });
const plan = (text, opts, mapping) => {
  const p = parseCsv(text);
  return planImport(p, mapping ?? guessMapping(p.header, p), db, idx, TODAY, opts);
};

describe('device files', () => {
  test('an EID is read in every form devices write it, and an animal found by tag, EID, then former tag', () => {
    for (const s of [
      '982000017383201',
      '982 000017383201',
      ' 982 000 017 383 201',
      'A 00000 0 982 000017383201',
    ])
      assert.equal(readEid(s), '982000017383201', s);
    for (const s of ['98200001738320', 'UK 000017383201', 'A 0000 98 2000017383201x', ''])
      assert.equal(readEid(s), null, s);
    assert.equal(findAnimal(idx, 'A 00000 0 982 000017383201'), ewe);
    // A tag on record outranks another animal's EID; a former tag is the last resort.
    assert.equal(findAnimal(idx, '826000000000001').tag, '826000000000001');
    assert.equal(findAnimal(idx, '982000017383202'), tup);
    const read = animalsFromLines(
      parseCsv('982 000017383201\n982 000099999999\nUK0712345 00002\n982000017383201\n').rows,
      idx,
    );
    assert.deepEqual([read.animals, read.unknown], [[ewe, tup], [{ line: 2, text: '982 000099999999' }]]);
  });

  test('header names in any case and spelling are matched; an animal list keeps sexes and birth weights', () => {
    const cols = (header) => guessMapping(header.split(',')).join();
    assert.equal(cols('EID,VID,Weight,Date,Time'), 'eid,tag,kg,weightDate,');
    assert.equal(
      cols('RFID,management_number,LIVE WEIGHT,date-weighed,Gender,date of birth'),
      'eid,tag,kg,weightDate,sex,dob',
    );
    assert.equal(cols('Electronic ID,Visual ID,Wt (lb),Weigh date'), 'eid,tag,lb,weightDate');
    const list = plan(
      'National-ID-Animal;Farm-ID-Animal;Transponder-ID;DateOfBirth;Sex;BirthWeight-Kg\n' +
        'UK0712345 00010;10;982 000017383210;14/03/2026;F;4,5\nUK0712345 00011;11;;2026-03-15;M;\nUK0712345 00012;;;;wether;x\n',
    );
    assert.deepEqual(
      list.animals.map((a) => [a.tag, a.name, a.eid, a.dob, a.sex, a.birthWeightKg]),
      [
        ['UK0712345 00010', '10', '982000017383210', '2026-03-14', 'female', 4.5],
        ['UK0712345 00011', '11', undefined, '2026-03-15', 'male', undefined],
      ],
    );
    assert.deepEqual([list.weights, list.errors.map((e) => e.line)], [[], [4]]);
  });

  test('pounds become kilograms; dates are read in the order the file shows, or asked once', () => {
    const session = 'EID,VID,Weight,Unit,Date,Time\n';
    const lb = plan(
      session + '982 000017383201,,890,LB,27/08/2026,10:15\n826000000000002,,400.5,kg,28/08/2026,10:16\n',
    );
    assert.equal(
      lb.weights.map((w) => `${w.animalId} ${w.kg} ${w.lb}`).join(),
      `${ewe.id} 403.7 890,${tup.id} 400.5 undefined`,
    );
    assert.deepEqual([lb.converted, lb.evidence.order], [1, 'dmy']);
    const stones = plan(session + '982000017383201,,90,st,27/08/2026,\n');
    assert.match(stones.errors[0].message, /neither kg nor lb/);
    // 08/07/2026 alone could be either: nothing is planned until the farmer says.
    const unsure = session + '982000017383201,,90,kg,08/07/2026,\n';
    assert.deepEqual(plan(unsure).ask, ['dateOrder']);
    assert.equal(plan(unsure, { dateOrder: 'mdy' }).weights[0].date, '2026-08-07');
    const both = plan(session + '982000017383201,,90,kg,13/07/2026,\n826000000000002,,90,kg,07/13/2026,\n');
    assert.match(both.errors[1].message, /both day first \(13\/07\/2026\) and month first/);
    // No date column: the session's day is asked for.
    assert.deepEqual(plan('EID,Weight (lb)\n982000017383201,4.4\n').ask, ['sessionDate']);
    const dated = plan('EID,Weight (lb)\n982000017383201,4.4\n', { sessionDate: '2026-08-30' });
    assert.deepEqual(dated.weights[0], { animalId: ewe.id, date: '2026-08-30', kg: 2, lb: 4.4 });
  });

  test('an indicator file without a header is read as data, its columns guessed from their contents', () => {
    const text =
      'A 00000 0 982 000017383201, 890,LB,$,GR,8/27/26,10:15,_\nA 00000 0 826 000000000002, 612,LB,$,GR,8/27/26,10:16,_\n';
    const p = parseCsv(text);
    assert.deepEqual([p.headerless, p.rows.map((r) => r.line)], [true, [1, 2]]);
    assert.deepEqual(guessMapping(p.header, p), ['eid', 'kg', 'unit', '', '', 'weightDate', '', '']);
    assert.equal(
      plan(text)
        .weights.map((w) => `${w.kg} ${w.date}`)
        .join(),
      '403.7 2026-08-27,277.6 2026-08-27',
    );
  });

  test('a matched layout is remembered by header or shape, and the stored list is checked on load', () => {
    const farmRec = {};
    const a = parseCsv('Animal,Kilos\nUK1,40\n');
    rememberLayout(farmRec, a, ['tag', 'kg'], '');
    rememberLayout(farmRec, parseCsv('982000017383201,40,kg\n'), ['eid', 'kg', 'unit'], 'mdy');
    assert.deepEqual(rememberedLayout(farmRec, parseCsv('ANIMAL;kilos\nUK2;41\n')).mapping, ['tag', 'kg']);
    assert.equal(rememberedLayout(farmRec, parseCsv('982000017383209,41,lb\n')).dateOrder, 'mdy');
    assert.equal(rememberedLayout(farmRec, parseCsv('982000017383209,41\n')), null);
    assert.deepEqual([farmRec.importLayouts.length, layoutKey(a)], [2, 'h:animal|kilos']);
    const file = { ...db, format: 'meadowline-field-keeper', schema: 3 };
    const load = (f, an = {}) =>
      parseDatabase(JSON.stringify({ ...file, farm: f, animals: [{ ...ewe, ...an }] }));
    assert.deepEqual(load(farmRec, { birthWeightKg: 4.5 }).db.farm.importLayouts, farmRec.importLayouts);
    assert.match(load({ importLayouts: [{ key: 1 }] }).message, /importLayouts/);
    assert.match(load({}, { birthWeightKg: -1 }).message, /birthWeightKg/);
  });
});
