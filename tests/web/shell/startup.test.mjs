import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { parseDatabase } from '../../../resources/web/js/core/checks.js';
import { emptyDatabase } from '../../../resources/web/js/core/database.js';
import { chooseStartup } from '../../../resources/web/js/shell/startup.js';
import { openRecords } from '../../../resources/web/js/rules/store.js';
import { animal, off, b64 } from '../helpers.mjs';

const text = (db) => JSON.stringify(db);

describe('choosing the records to open at start', () => {
  const saved = (revision, extra = {}) => ({ ...emptyDatabase(), id: 'db-farm', revision, ...extra });

  test('opens the handed-over copy or a fresh farm; an older copy reloads once, then locks', () => {
    const fresh = chooseStartup({});
    assert.deepEqual([fresh.mode, fresh.db.animals], ['fresh', []]);
    const c = chooseStartup({ injectedBase64: b64(text(saved(7, { animals: [animal({ tag: 'Ä1' })] }))) });
    assert.deepEqual([c.mode, c.db.animals[0].tag, c.savedRevision], ['open', 'Ä1', 7]);
    const savedMarker = JSON.stringify({ id: 'db-farm', revision: 8 });
    const copy = (revision) => b64(text(saved(revision)));
    assert.deepEqual(chooseStartup({ injectedBase64: copy(3), savedMarker }), { mode: 'reload' });
    const again = chooseStartup({ injectedBase64: copy(3), savedMarker, reloadedForMarker: true });
    assert.deepEqual([again.mode, again.reason, again.raw], ['locked', 'stale', null]);
    const same = chooseStartup({ injectedBase64: copy(8), savedMarker });
    assert.deepEqual([same.mode, same.savedRevision], ['open', 8]);
  });

  test('records opened, at start or from a backup, take status and field from the movements, not from the file', () => {
    const a = animal({ tag: 'A', status: 'on-farm', fieldId: 'f1' });
    const db = parseDatabase(
      text(saved(2, { animals: [a], movements: [off('2026-02-01', 'sold', [a])] })),
    ).db;
    const idx = openRecords(db);
    assert.deepEqual(
      [db.animals[0].status, db.animals[0].fieldId, idx.animalsInField.get('f1')],
      ['sold', '', undefined],
    );
  });

  test('a damaged or newer database locks the page and keeps the raw content to be saved elsewhere', () => {
    const notUtf8 = Buffer.from([0x7b, 0xff, 0xfe, 0x7d]).toString('base64');
    const cutShort = '{"format": "meadowline-field-keeper", "schema": 1, "animals": [';
    const newer = text({ ...saved(1), schema: 99 });
    const cases = [
      [{ injectedBase64: notUtf8 }, 'damaged', { content: notUtf8, base64: true }],
      [{ injectedBase64: b64(cutShort) }, 'damaged', { content: cutShort, base64: false }],
      [{ storedText: newer }, 'newer', { content: newer, base64: false }],
    ];
    for (const [input, reason, raw] of cases) {
      const c = chooseStartup(input);
      assert.deepEqual([c.mode, c.reason, c.raw], ['locked', reason, raw], raw.content);
    }
  });
});
