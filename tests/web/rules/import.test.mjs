import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { buildIndex } from '../../../resources/web/js/core/indexes.js';
import { findByTag } from '../../../resources/web/js/core/lookups.js';
import { searchAnimals } from '../../../resources/web/js/core/search.js';
import { parseCsv, guessMapping, planImport, applyImport } from '../../../resources/web/js/rules/import.js';
import { animal, movement, farm, place } from '../helpers.mjs';

const TODAY = '2026-06-15';

describe('import parsing', () => {
  test('reads quoted cells, semicolons, a byte-order mark and our own text-kept tags, numbering lines as in the file', () => {
    const r = parseCsv(
      '\ufeffTag;Notes;Weight\r\n"=""0042""";"two\nlines; one cell";12,5\r\n\r\n;;\n="007";\'=SUM(1);\n',
    );
    assert.deepEqual(r.header, ['Tag', 'Notes', 'Weight']);
    assert.deepEqual(r.rows, [
      { line: 2, cells: ['0042', 'two\nlines; one cell', '12,5'] },
      { line: 6, cells: ['007', '=SUM(1)', ''] },
    ]);
    assert.match(parseCsv('Tag\n"open\n').message, /line 2 is never closed/);
    assert.equal(parseCsv('\ufeff\n').ok, false);
    assert.deepEqual(
      parseCsv('Tag\rA1\rA2\r').rows.map((r) => r.cells[0]),
      ['A1', 'A2'],
    );
    // Columns are matched from their headings, each field once.
    assert.deepEqual(
      guessMapping([
        'Ear tag',
        'EID number',
        'DOB',
        'Sex',
        'Weigh date',
        'Weight (kg)',
        'Paddock',
        'Colour',
        'Tag 2',
      ]),
      ['tag', 'eid', 'dob', 'sex', 'weightDate', 'kg', 'field', '', ''],
    );
  });
});

describe('import checking', () => {
  const gone = animal({ tag: 'OLD' });
  const here = animal({ tag: 'HERE', eid: '826000000000001' });
  const { db, idx } = farm({
    animals: [here, gone, animal({ tag: '826000000000050' }), animal({ tag: '0042' })],
    fields: [place('f1', 'Top Field')],
    movements: [movement({ date: '2026-05-01', direction: 'off', outcome: 'sold', animalIds: [gone.id] })],
  });
  const header = ['Tag', 'EID', 'Sex', 'DOB', 'Field', 'Weigh date', 'Kg'];
  const csv = (...lines) => parseCsv([header.join(','), ...lines].join('\n'));
  const plan = (...lines) => {
    const p = csv(...lines);
    return planImport(p, guessMapping(p.header), db, idx, TODAY, { dateOrder: 'dmy' });
  };

  test('each bad row is reported by its line with the reason, and the good rows go ahead', () => {
    const p = plan(
      'N1,826 000 000000002,ewe,01/03/2026,top field,2026-06-01,"30,5"',
      'N1,,,,,2026-06-10,33',
      'N2,82600000000000,f,,,,',
      ',,f,,,,',
      'N3,,heifer-ish,,,,',
      'N4,,f,2026-07-01,,,',
      'N5,,f,,Nowhere,,',
      'N6,826000000000001,f,,,,',
      'N1,,,,,2026-06-10,34',
      'HERE,,,,,2026-06-12,50',
      'HERE,,,,,,',
      'OLD,,,,,2026-06-01,40',
      'N7,,m,2026-06-05,,2026-06-01,4',
      'N8,,m,,,,40',
      'N9,826000000000050,f,,,,',
      'N10,826000000000051,f,,,,',
      '826000000000051,,f,,,,',
      '"FR 12,345",,f,,,,',
      'N1,826000000000099,,,,2026-06-11,35',
      'N1,,,,,2026-02-01,20',
      '3.41207E+11,,f,,,,',
      '42,,f,,,,',
      'N11,,f,,,2026-06-01,"1,234"',
      '7e1,,f,,,,',
    );
    assert.deepEqual(
      p.errors.map((e) => e.line),
      [4, 5, 6, 7, 8, 9, 10, 12, 13, 14, 15, 16, 18, 19, 20, 21, 22, 23, 24],
    );
    assert.match(p.errors[0].message, /15 digits/);
    assert.match(p.errors[4].message, /Nowhere/);
    assert.match(p.errors[5].message, /belongs to HERE/);
    assert.match(p.errors[6].message, /weighed twice on 2026-06-10/);
    assert.match(p.errors[8].message, /OLD was not on the farm/);
    assert.match(p.errors[10].message, /date weighed is missing/);
    // An electronic ID may not be another animal's tag, on the farm or in the file, nor the other way round.
    assert.match(p.errors[11].message, /826000000000050 is, or was, the tag of 826000000000050/);
    assert.match(p.errors[12].message, /electronic ID of N10/);
    assert.match(p.errors[13].message, /FR 12,345 holds a comma/);
    // A tag listed again must agree with its first row; what spreadsheets do to numbers is caught.
    for (const [i, why] of [
      [14, /N1 is listed twice with different details/],
      [15, /before its birth/],
      [16, /turned into a number/],
      [17, /42 may be 0042/],
      [18, /could be read two ways.*1234 or 1\.234/],
    ])
      assert.match(p.errors[i].message, why);
    assert.deepEqual(
      p.animals.map((a) => [a.tag, a.eid, a.sex, a.dob, a.firstFieldId]),
      [
        ['N1', '826000000000002', 'female', '2026-03-01', 'f1'],
        ['N10', '826000000000051', 'female', '', ''],
        ['7e1', undefined, 'female', '', ''],
      ],
    );
    assert.deepEqual(
      p.weights.map((w) => w.kg),
      [30.5, 33, 50],
    );
  });

  test('a file without a tag column is refused whole; nothing is written until applied', () => {
    const p = parseCsv('Name,Weight\nBess,400\n');
    assert.match(planImport(p, guessMapping(p.header), db, idx, TODAY).errors[0].message, /No column/);
    const before = JSON.stringify(db);
    const ok = plan('N9,826000000000009,f,,,2026-06-01,20');
    assert.equal(JSON.stringify(db), before);
    const copy = structuredClone(db);
    assert.deepEqual(applyImport(copy, ok), { animals: 1, weights: 1 });
    const idx2 = buildIndex(copy);
    assert.equal(findByTag(idx2, '826 000 000000009').tag, 'N9', 'found by the electronic ID');
    assert.equal(searchAnimals(idx2.searchIndex(), '826000000000009').results[0].animal.tag, 'N9');
    assert.equal(copy.animals.at(-1).status, 'on-farm');
  });
});
