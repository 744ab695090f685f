import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import {
  csvField,
  toCsv,
  animalsCsv,
  treatmentsCsv,
  movementsCsv,
  birthsCsv,
} from '../../../resources/web/js/rules/csv.js';
import { parseTagList } from '../../../resources/web/js/rules/records.js';
import { animal, treatment, movement, farm, place, purchase } from '../helpers.mjs';

// Reads back a CSV document whose fields hold no line breaks, each row keyed
// by the header: checks the byte order mark and the CRLF after every record.
const FIELD = /(?:^|,)(?:"((?:[^"]|"")*)"|([^,"]*))/g;
function readCsv(text) {
  assert.match(text, /^\ufeff[^\r\n]*\r\n/);
  assert.ok(text.endsWith('\r\n'));
  const cells = (line) => [...line.matchAll(FIELD)].map((m) => (m[1] ?? m[2]).replaceAll('""', '"'));
  const [header, ...rows] = text.slice(1, -2).split('\r\n').map(cells);
  return rows.map((row) => Object.fromEntries(header.map((name, i) => [name, row[i]])));
}

const assertColumns = (row, expected) => {
  assert.deepEqual(Object.fromEntries(Object.keys(expected).map((name) => [name, row[name]])), expected);
};

describe('CSV', () => {
  test('a field is quoted when it holds a comma, quote, line break or edge space, quotes doubled', () => {
    const cases = [
      ['Texel ewe', 'Texel ewe'],
      ['a b', 'a b'],
      [42, '42'],
      [null, ''],
      [undefined, ''],
      ['Field 1, north', '"Field 1, north"'],
      ['the "big" bull', '"the ""big"" bull"'],
      ['line one\nline two', '"line one\nline two"'],
      ['a\rb', '"a\rb"'],
      [' 0042', '" 0042"'],
      ['0042 ', '"0042 "'],
    ];
    for (const [value, field] of cases) assert.equal(csvField(value), field, String(value));
  });

  test('a cell a spreadsheet would run as a formula is kept as text', () => {
    for (const bad of ['=HYPERLINK("http://x")', '+1+1', '-2+3', '@SUM(A1)', '\t=1']) {
      assert.ok(/^"?'/.test(csvField(bad)), bad);
    }
    assert.equal(csvField('=1+1'), "'=1+1");
    // Split on semicolons or tabs, the part after one would be a cell of its own.
    assert.equal(csvField('see vet;=HYPERLINK("http://x")'), `"see vet;'=HYPERLINK(""http://x"")"`);
    assert.equal(csvField('a; @SUM(A1)\t-1'), `"a; '@SUM(A1)\t'-1"`);
    assert.equal(csvField('UK 1; UK 2'), '"UK 1; UK 2"');
  });

  test('batch numbers, holding numbers and document references stay text', () => {
    const a = animal({ tag: '341207000140' });
    const { idx } = farm({ animals: [a] });
    const m = movement({
      animalIds: [a.id],
      fromHolding: '12/345/0001',
      toHolding: '54/321',
      documentRef: '000123',
    });
    const row = movementsCsv([m], idx).split('\r\n')[1];
    for (const v of ['341207000140', '12/345/0001', '54/321', '000123'])
      assert.ok(row.includes(`"=""${v}"""`), v);
    const t = treatmentsCsv([treatment({ batch: '0042' })], idx).split('\r\n')[1];
    assert.ok(t.includes('"=""0042"""'));
  });

  test('a document starts with a byte order mark and the header, and ends every record with CRLF', () => {
    const rows = [
      ['UK 1, 2', 'say "hi"', 'two\nlines'],
      [' pad ', '', 'Zoë 🐄'],
    ];
    assert.equal(
      toCsv(['Tag', 'Name', 'Notes'], rows),
      '\ufeffTag,Name,Notes\r\n"UK 1, 2","say ""hi""","two\nlines"\r\n" pad ",,Zoë 🐄\r\n',
    );
    assert.equal(toCsv(['Date', 'Product'], []), '\ufeffDate,Product\r\n', 'an empty list has its header');
  });

  test('the herd register keeps long numeric tags as text, with ISO dates and where the animal went', () => {
    const a = animal({
      tag: '341207000140',
      eid: '826000000000001',
      name: '=cmd',
      dob: '2024-02-29',
      fieldId: 'f1',
    });
    const lost = { date: '2026-01-01', from: '0042', to: 'UK 9', reason: 'lost' };
    const b = animal({ tag: 'UK 9', tagHistory: [lost] });
    const { db, idx } = farm({
      animals: [a, b],
      fields: [place('f1', 'Long Meadow, lower')],
      movements: [movement({ date: '2026-05-01', direction: 'off', outcome: 'sold', animalIds: [b.id] })],
    });
    const went = (x) => (x === b ? { offDate: '2026-05-01', to: 'Mart, 12/3' } : {});
    const [ra, rb] = readCsv(animalsCsv(db.animals, idx, went));
    assertColumns(ra, {
      Tag: '="341207000140"',
      'Electronic ID': '="826000000000001"',
      Name: "'=cmd",
      'Date of birth': '2024-02-29',
      'Field or pen': 'Long Meadow, lower',
    });
    assertColumns(rb, {
      Tag: 'UK 9',
      'Previous tags': '0042',
      Status: 'Sold',
      'Date off': '2026-05-01',
      To: 'Mart, 12/3',
    });
  });

  test('the medicine book gives the course, vet and fit-for-food dates, and marks voided rows', () => {
    const a = animal({ tag: 'A1' });
    const t = treatment({
      date: '2026-12-20',
      lastDate: '2026-12-24',
      animalIds: [a.id],
      product: 'Pen & Strep',
      vet: 'R. Vet',
      vetDetails: 'Tŷ Milfeddyg, Bala',
      purchaseId: 'pu-1',
      meatDays: 14,
      milkPeriod: null,
      voided: { at: '2026-12-25 08:00', reason: 'wrong cow' },
    });
    const { idx } = farm({ animals: [a], treatments: [t] });
    const purchases = [purchase({ supplier: 'Vet Co', supplierAddress: '1 High St, Bala' })];
    assertColumns(readCsv(treatmentsCsv([t], idx, { purchases }))[0], {
      'Last given': '2026-12-24',
      'Prescribing vet': 'R. Vet',
      'Vet’s practice and address': 'Tŷ Milfeddyg, Bala',
      Supplier: 'Vet Co',
      'Supplier’s address': '1 High St, Bala',
      'Meat fit for food from': '2027-01-08',
      'Milk withdrawal': 'not recorded',
      Void: 'VOID 2026-12-25: wrong cow',
    });
    const death = movement({ direction: 'off', outcome: 'died', cause: 'Bloat', animalIds: [a.id] });
    assertColumns(readCsv(movementsCsv([death], idx))[0], { 'Cause of death': 'Bloat' });
  });

  test('a list of tags, which hold spaces, reads back as the same animals', () => {
    const tags = ['712345 00021', '712345 00045'];
    const animals = tags.map((tag) => animal({ tag }));
    const ids = animals.map((x) => x.id);
    const { idx } = farm({ animals });
    const lists = [
      readCsv(treatmentsCsv([treatment({ animalIds: ids })], idx))[0].Animals,
      readCsv(movementsCsv([movement({ animalIds: ids })], idx))[0].Animals,
      readCsv(
        birthsCsv([{ id: 'bi', date: '2026-03-01', damId: '', sire: '', offspringIds: ids, notes: '' }], idx),
      )[0].Young,
    ];
    for (const list of lists) assert.deepEqual(parseTagList(list), tags);
  });
});
