import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { csvField, toCsv, animalsCsv, treatmentsCsv } from '../../resources/web/js/model.js';
import { animal, treatment, farm } from './helpers.mjs';

// A strict reader of RFC 4180 text, to check that what is written reads back.
function readCsv(text) {
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
    assert.equal(csvField('tag '), '"tag "');
    assert.equal(csvField('a b'), 'a b');
  });
});

describe('CSV documents', () => {
  test('header row first, CRLF after every record, and everything reads back', () => {
    const rows = [['UK 1, 2', 'say "hi"', 'two\nlines'], [' pad ', '', 'Zoë 🐄']];
    const text = toCsv(['Tag', 'Name', 'Notes'], rows);
    assert.ok(text.startsWith('Tag,Name,Notes\r\n'));
    assert.ok(text.endsWith('\r\n'));
    assert.deepEqual(readCsv(text), [['Tag', 'Name', 'Notes'], ...rows]);
  });

  test('an empty list still has its header', () => {
    assert.deepEqual(readCsv(toCsv(['Date', 'Product'], [])), [['Date', 'Product']]);
  });

  test('animal export names the field and spells out sex and status', () => {
    const field = { id: 'fi-1', name: 'Long Meadow, lower', kind: 'field', area: null, notes: '' };
    const a = animal({ tag: 'UK 123', name: 'Daisy', species: 'Cattle', sex: 'female', fieldId: 'fi-1', notes: 'Calm, "easy" to handle' });
    const { idx } = farm({ animals: [a], fields: [field] });
    const [header, row] = readCsv(animalsCsv([a], idx));
    assert.equal(header.length, row.length);
    assert.equal(row[header.indexOf('Tag')], 'UK 123');
    assert.equal(row[header.indexOf('Sex')], 'Female');
    assert.equal(row[header.indexOf('Status')], 'On farm');
    assert.equal(row[header.indexOf('Field or pen')], 'Long Meadow, lower');
    assert.equal(row[header.indexOf('Notes')], 'Calm, "easy" to handle');
  });

  test('treatment book gives withdrawal end dates, blank when there is none', () => {
    const a = animal({ tag: 'A1' });
    const b = animal({ tag: 'B2' });
    const t = treatment({ date: '2026-12-20', animalIds: [a.id, b.id], product: 'Wormer', meatDays: 14, milkDays: 0 });
    const { idx } = farm({ animals: [a, b], treatments: [t] });
    const [header, row] = readCsv(treatmentsCsv([t], idx));
    assert.equal(row[header.indexOf('Animals')], 'A1 B2');
    assert.equal(row[header.indexOf('Meat withdrawal ends')], '2027-01-03');
    assert.equal(row[header.indexOf('Milk withdrawal (days)')], '0');
    assert.equal(row[header.indexOf('Milk withdrawal ends')], '');
  });
});
