import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { csvField, toCsv, animalsCsv, treatmentsCsv, movementsCsv } from '../../resources/web/js/csv.js';
import { animal, treatment, movement, farm, place } from './helpers.mjs';

// A strict reader of RFC 4180 text, to check that what is written reads back.
function readCsv(text) {
  assert.equal(text[0], '\ufeff', 'starts with a byte order mark');
  text = text.slice(1);
  const rows = [];
  let row = [], field = '', i = 0, quoted = false;
  while (i < text.length) {
    const c = text[i];
    if (quoted) {
      if (c === '"' && text[i + 1] === '"') { field += '"'; i += 2; continue; }
      if (c === '"') { quoted = false; i++; continue; }
      field += c; i++; continue;
    }
    if (c === '"') {
      assert.equal(field, '', 'a quote may only open a field');
      quoted = true; i++; continue;
    }
    if (c === ',') { row.push(field); field = ''; i++; continue; }
    if (c === '\r') {
      assert.equal(text[i + 1], '\n', 'records end with CRLF');
      row.push(field); rows.push(row); row = []; field = ''; i += 2; continue;
    }
    assert.notEqual(c, '\n', 'a bare line feed outside quotes');
    field += c; i++;
  }
  assert.equal(quoted, false, 'unterminated quote');
  if (field !== '' || row.length) { row.push(field); rows.push(row); }
  return rows;
}

describe('CSV fields', () => {
  test('plain text is left alone', () => {
    assert.equal(csvField('Texel ewe'), 'Texel ewe');
    assert.equal(csvField(42), '42');
    assert.equal(csvField(null), '');
    assert.equal(csvField(undefined), '');
  });

  test('commas, quotes and line breaks are quoted, quotes doubled', () => {
    assert.equal(csvField('Field 1, north'), '"Field 1, north"');
    assert.equal(csvField('the "big" bull'), '"the ""big"" bull"');
    assert.equal(csvField('line one\nline two'), '"line one\nline two"');
    assert.equal(csvField('a\r\nb'), '"a\r\nb"');
  });

  test('leading and trailing spaces survive by quoting', () => {
    assert.equal(csvField(' 0042'), '" 0042"');
    assert.equal(csvField('a b'), 'a b');
  });

  test('a cell a spreadsheet would run as a formula is kept as text', () => {
    for (const bad of ['=HYPERLINK("http://x")', '+1+1', '-2+3', '@SUM(A1)', '\t=1']) assert.ok(/^"?'/.test(csvField(bad)), bad);
    assert.equal(csvField('=1+1'), "'=1+1");
  });
});

describe('CSV documents', () => {
  test('header row first, CRLF after every record, and everything reads back', () => {
    const rows = [['UK 1, 2', 'say "hi"', 'two\nlines'], [' pad ', '', 'Zoë 🐄']];
    const text = toCsv(['Tag', 'Name', 'Notes'], rows);
    assert.ok(text.startsWith('\ufeffTag,Name,Notes\r\n'));
    assert.ok(text.endsWith('\r\n'));
    assert.deepEqual(readCsv(text), [['Tag', 'Name', 'Notes'], ...rows]);
  });

  test('an empty list still has its header', () => {
    assert.deepEqual(readCsv(toCsv(['Date', 'Product'], [])), [['Date', 'Product']]);
  });

  test('the herd register keeps long numeric tags as text, with ISO dates and where the animal went', () => {
    const a = animal({ tag: '341207000140', name: '=cmd', species: 'Cattle', dob: '2024-02-29', fieldId: 'fi-1' });
    const b = animal({ tag: 'UK 9', tagHistory: [{ date: '2026-01-01', from: '0042', to: 'UK 9', reason: 'lost' }] });
    const { db, idx } = farm({ animals: [a, b], fields: [place('fi-1', 'Long Meadow, lower')],
      movements: [movement({ date: '2026-05-01', direction: 'off', outcome: 'sold', animalIds: [b.id], to: 'Mart', toHolding: '12/3' })] });
    const [header, ...rows] = readCsv(animalsCsv(db.animals, idx, (x) => (x === b ? { offDate: '2026-05-01', to: 'Mart, 12/3' } : {})));
    const col = (row, name) => row[header.indexOf(name)];
    assert.deepEqual([col(rows[0], 'Tag'), col(rows[0], 'Name'), col(rows[0], 'Date of birth'), col(rows[0], 'Field or pen')],
      ['="341207000140"', "'=cmd", '2024-02-29', 'Long Meadow, lower']);
    assert.deepEqual([col(rows[1], 'Tag'), col(rows[1], 'Previous tags'), col(rows[1], 'Status'), col(rows[1], 'To')], ['UK 9', '0042', 'Sold', 'Mart, 12/3']);
  });

  test('the medicine book gives every column and the date each product is fit for food, voided rows marked', () => {
    const a = animal({ tag: 'A1' });
    const t = treatment({ date: '2026-12-20', lastDate: '2026-12-24', animalIds: [a.id], product: 'Pen & Strep', meatDays: 14, milkPeriod: null, vet: 'R. Vet', voided: { at: '2026-12-25 08:00', reason: 'wrong cow' } });
    const { idx } = farm({ animals: [a], treatments: [t] });
    const [header, row] = readCsv(treatmentsCsv([t], idx));
    const col = (name) => row[header.indexOf(name)];
    assert.deepEqual([col('Last given'), col('Prescribing vet'), col('Meat fit for food from'), col('Milk withdrawal'), col('Void')],
      ['2026-12-24', 'R. Vet', '2027-01-07', 'not recorded', 'VOID 2026-12-25: wrong cow']);
    const [mh, mr] = readCsv(movementsCsv([movement({ direction: 'off', outcome: 'died', cause: 'Bloat', animalIds: [a.id] })], idx));
    assert.equal(mr[mh.indexOf('Cause of death')], 'Bloat');
  });
});
