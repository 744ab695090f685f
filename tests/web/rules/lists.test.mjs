import { test } from 'node:test';
import assert from 'node:assert/strict';
import { purchaseList, birthList } from '../../../resources/web/js/rules/lists.js';
import { stockOf } from '../../../resources/web/js/rules/cabinet.js';
import { animal, purchase, farm, VOID } from '../helpers.mjs';

test('printed lists mark void rows, and the purchase book puts the voiding before the notes', () => {
  const dam = animal({ tag: 'UK 9' });
  const lamb = animal({ tag: 'UK 10' });
  const kept = purchase({ id: 'pu-a', notes: 'fridge' });
  const wrong = purchase({ id: 'pu-b', notes: 'fridge', voided: VOID });
  const births = [
    { id: 'bi-1', date: '2026-03-01', damId: dam.id, sire: 'Ram', offspringIds: [lamb.id], notes: 'easy' },
    { id: 'bi-2', date: '2026-03-02', damId: dam.id, sire: '', offspringIds: [], notes: '', voided: VOID },
  ];
  const { db, idx } = farm({ animals: [dam, lamb], purchases: [kept, wrong], births });
  const book = purchaseList(db.purchases, stockOf(db));
  assert.equal(book.header.length, book.rows[0].length);
  assert.ok(!book.header.includes('Void'));
  assert.deepEqual([book.rows[0].at(-1), book.rows[1].at(-1)], ['fridge', 'VOID: wrong. fridge']);
  assert.deepEqual([...book.voided], [1]);
  const bl = birthList(db.births, idx);
  assert.deepEqual(bl.rows[0], ['2026-03-01', 'UK 9', 'Ram', 'UK 10', 'easy']);
  assert.equal(bl.rows[1][4], 'VOID: wrong');
  assert.deepEqual([...bl.voided], [1]);
});
