import { test } from 'node:test';
import assert from 'node:assert/strict';
import { blockSerialiser } from '../../../resources/web/js/core/saved-text.js';
import { emptyDatabase } from '../../../resources/web/js/core/database.js';

test("the saved text built in blocks is the records' JSON after appends, replaced lists and resets", () => {
  const db = { ...emptyDatabase(), extra: { keep: [1] } };
  const s = blockSerialiser(3);
  const same = () => assert.equal(s.text(db), JSON.stringify(db));
  same();
  for (let i = 0; i < 8; i++) {
    db.weights.push({ id: `w${i}`, date: '2026-01-01', animalId: 'a', kg: i + 1 });
    s.appended('weights', db.weights);
    same();
  }
  db.weights[1].kg = 99;
  s.reset();
  same();
  db.weights = db.weights.slice(2);
  same();
  s.reset();
  let t = 0;
  while (s.warm(db, 1, () => t++));
  same();
});
