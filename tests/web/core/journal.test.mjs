import { test } from 'node:test';
import assert from 'node:assert/strict';
import { openJournal, plain, redoSteps, undoSteps } from '../../../resources/web/js/core/journal.js';

test('journaled writes of every kind are taken back and made again exactly; proxies never land in the records', () => {
  const make = () => ({
    farm: { name: 'A' },
    animals: [{ id: 'a', tags: ['x'] }, { id: 'b' }, { id: 'c' }, { id: 'd' }],
    weights: [{ id: 'w', kg: 1 }],
  });
  const db = make();
  const j = openJournal(db);
  const r = j.root;
  r.animals.find((a) => a.id === 'a').tags.push('y');
  r.animals.splice(1, 1);
  r.animals.push({ id: 'e', copy: r.animals[0] });
  r.animals.sort((x, y) => (x.id < y.id ? 1 : -1));
  r.animals.length = 3;
  delete r.weights[0].kg;
  assert.equal(r.weights.push({ id: 'v' }, { id: 'u', of: r.animals[1] }), 3);
  r.farm = { ...r.farm, last: r.animals[2] };
  j.close();
  const after = structuredClone(db);
  const stored = [db.farm.last, db.animals[0], db.animals.find((a) => a.id === 'e').copy, db.weights[2].of];
  assert.ok(
    stored.every((v) => v && plain(v) === v),
    'the records own objects, not proxies',
  );
  assert.deepEqual(
    [...j.touched].map(([k, t]) => [k, t.replaced, t.records.size]),
    [
      ['animals', false, 5],
      ['weights', false, 3],
      ['farm', true, 0],
    ],
  );
  undoSteps(j.steps);
  assert.deepEqual(db, make());
  redoSteps(j.steps);
  assert.deepEqual(db, after);
  assert.throws(() => (r.farm.name = 'B'), /only while it is being made/);
});
