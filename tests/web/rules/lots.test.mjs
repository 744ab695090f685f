import { test } from 'node:test';
import assert from 'node:assert/strict';
import { validateLot, validateLotMovement, lotSummary } from '../../../resources/web/js/rules/lots.js';
import { headCountOn, sheepAndGoatInventory } from '../../../resources/web/js/rules/reports.js';
import { inspectionPack } from '../../../resources/web/js/output/pack.js';
import { parseDatabase } from '../../../resources/web/js/core/checks.js';
import { emptyDatabase } from '../../../resources/web/js/core/database.js';
import { animal, farm, VOID } from '../helpers.mjs';

const lot = {
  id: 'lot-1',
  date: '2026-04-10',
  flockMark: 'UK 123456',
  species: 'Sheep',
  origin: 'born',
  count: 40,
};
const away = (id, date, count, more = {}) => ({
  id,
  lotId: 'lot-1',
  date,
  count,
  outcome: 'sold',
  toHolding: '12/345/0001',
  documentRef: 'ARAMS 77',
  cause: '',
  notes: '',
  ...more,
});

test('a batch leaves by count: never more than are there on that day or any later departure leaves', () => {
  const { db, idx } = farm({ lots: [lot], lotMovements: [away('lm-1', '2026-09-01', 25)] });
  const ctx = { db, idx, today: '2026-12-07' };
  const off = (date, count, more = {}) =>
    validateLotMovement({ lotId: 'lot-1', date, count, ...away('', date, count), ...more }, ctx);
  assert.equal(off('2026-10-01', 15).ok, true);
  assert.match(off('2026-10-01', 16).errors.count, /Only 15/);
  // Twenty leaving in August would leave the September sale short.
  assert.match(off('2026-08-01', 20).errors.count, /2026-09-01/);
  assert.equal(off('2026-08-01', 15).ok, true);
  assert.match(off('2026-04-01', 1).errors.date, /came on 2026-04-10/);
  assert.deepEqual(Object.keys(off('2026-10-01', 1, { toHolding: '', documentRef: '' }).errors), [
    'toHolding',
    'documentRef',
  ]);
  assert.deepEqual(Object.keys(off('2026-10-01', 1, { outcome: 'died', toHolding: '' }).errors), ['cause']);
  // Editing the sale itself counts it once.
  assert.equal(
    validateLotMovement({ ...away('', '2026-09-01', 40) }, { ...ctx, editing: db.lotMovements[0] }).ok,
    true,
  );
  const bought = validateLot({ ...lot, origin: 'bought', count: '3.5' }, ctx);
  assert.deepEqual(Object.keys(bought.errors).sort(), ['count', 'documentRef', 'fromHolding']);
});

test('head counts, the inventory, the herd summary and the movement book count a batch by head', () => {
  const ewe = animal({ tag: 'E1', sex: 'female' });
  const { db, idx } = farm({
    animals: [ewe],
    lots: [
      lot,
      {
        ...lot,
        id: 'lot-2',
        origin: 'bought',
        count: 5,
        fromHolding: '11/111/1111',
        documentRef: 'D1',
        voided: VOID,
      },
    ],
    lotMovements: [away('lm-1', '2026-09-01', 25), away('lm-2', '2026-09-02', 10, { voided: VOID })],
  });
  const sheep = (date) => headCountOn(db, date).rows.find((r) => r.species === 'Sheep');
  assert.deepEqual(
    [sheep('2026-04-09').unknown, sheep('2026-08-31').unknown, sheep('2026-12-01').total],
    [0, 40, 16],
  );
  assert.deepEqual(sheepAndGoatInventory(db, '2026-12-01'), { putToRam: 0, otherSheep: 16, goats: 0 });
  assert.deepEqual(lotSummary(db), [{ species: 'Sheep', 'on-farm': 15, away: 0, sold: 25, died: 0 }]);
  const html = inspectionPack(db, idx, { printedOn: '2026-12-07', from: '2026-01-01', to: '2026-12-07' });
  assert.match(html, /batch identified: flock mark UK 123456/);
  // The voided arrival and sale stay in the book, marked.
  assert.equal(html.match(/<tr class="void">[^]*?VOID/g).length, 2);
  assert.match(html, /3 movements/);
});

test('a saved batch loads with what this version does not know; a count of no head is damage', () => {
  const db = {
    ...emptyDatabase(),
    lots: [{ ...lot, eartagColour: 'red' }],
    lotMovements: [away('lm-1', '2026-09-01', 2)],
  };
  const r = parseDatabase(JSON.stringify(db));
  assert.equal(r.db.lots[0].eartagColour, 'red');
  assert.equal(parseDatabase(JSON.stringify({ ...db, lots: [{ ...lot, count: 0 }] })).ok, false);
});
