import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { createStore } from '../../../resources/web/js/rules/store.js';
import { emptyDatabase } from '../../../resources/web/js/core/database.js';
import { findByTag } from '../../../resources/web/js/core/lookups.js';
import { voidRecord, upsert } from '../../../resources/web/js/rules/records.js';
import { animal, treatment } from '../helpers.mjs';

const herd = () => {
  const daisy = animal({ tag: 'UK 1', name: 'Daisy' });
  return {
    ...emptyDatabase(),
    animals: [daisy, animal({ tag: 'UK 2' })],
    treatments: [treatment({ animalIds: [daisy.id], product: 'Bovilis' })],
    extra: { kept: true },
  };
};

// What a screen can see of the records: the text saved, and the index's answers.
const seen = (s) => [
  JSON.stringify({ ...s.db, revision: 0 }),
  JSON.stringify(s.idx.perAnimal.get(s.db.animals[0].id)),
];

describe('changes through the store', () => {
  test('a change that throws half-way leaves the records and their index as they were, and says so', () => {
    const errors = [];
    const s = createStore(herd(), { onError: (e, change) => errors.push([e.message, change.label]) });
    const [db, idx, text, revision] = [s.db, s.idx, s.text(), s.db.revision];
    const done = s.apply({
      label: 'Rename',
      run: (d) => {
        d.animals[0].tag = 'UK 99';
        d.treatments.pop();
        throw new Error('boom');
      },
    });
    assert.equal(done.ok, false);
    assert.deepEqual(errors, [['boom', 'Rename']]);
    assert.ok(s.db === db && s.idx === idx, 'the same records and index');
    assert.deepEqual([s.text(), s.db.revision], [text, revision]);
    assert.equal(findByTag(s.idx, 'UK 1'), db.animals[0]);
    // An added record the index cannot take is taken out again.
    const bad = s.apply({ label: 'A weight', add: { collection: 'treatments', value: { animalIds: null } } });
    assert.equal(bad.ok, false);
    assert.deepEqual([s.text(), s.db.revision, s.canUndo()], [text, revision, false]);
  });

  test('undo and redo go back and forth: a void, a new record, an edit; every step counts as unsaved', () => {
    const s = createStore(herd());
    const states = [seen(s)];
    const revisions = [s.db.revision];
    const tr = s.db.treatments[0].id;
    s.apply({ label: 'Void', run: (d) => voidRecord(d, 'treatments', tr, 'wrong cow', '2026-03-02 10:00') });
    states.push(seen(s));
    const added = s.apply({
      label: 'Weight',
      add: { collection: 'weights', value: { date: '2026-03-02', animalId: s.db.animals[0].id, kg: 410 } },
    });
    assert.equal(s.idx.perAnimal.get(s.db.animals[0].id).weights[0], added.value, 'indexed in place');
    states.push(seen(s));
    s.apply({ label: 'Name', run: (d) => upsert(d, 'animals', d.animals[1].id, { name: 'Bess' }) });
    states.push(seen(s));
    for (let i = 3; i > 0; i--) {
      assert.ok(s.undo());
      assert.deepEqual(seen(s), states[i - 1], `undone to step ${i - 1}`);
      revisions.push(s.db.revision);
    }
    assert.equal(s.undo(), null);
    for (let i = 1; i <= 3; i++) {
      assert.ok(s.redo());
      assert.deepEqual(seen(s), states[i], `redone to step ${i}`);
      revisions.push(s.db.revision);
    }
    assert.ok(
      revisions.every((r, i) => !i || r > revisions[i - 1]),
      'revisions only go up',
    );
  });

  test('a restored backup is undone to the records it replaced, unknown keys and all; printing seals', () => {
    const s = createStore(herd());
    const before = seen(s);
    const incoming = { ...emptyDatabase(), animals: [animal({ tag: 'FR 5' })], revision: 40 };
    s.apply({ label: 'Restore', replace: incoming });
    assert.deepEqual([s.db.animals.map((a) => a.tag), s.db.revision], [['FR 5'], 1]);
    s.undo();
    assert.deepEqual(seen(s), before, 'unknown keys and all');
    s.redo();
    assert.equal(findByTag(s.idx, 'FR 5').tag, 'FR 5');
    s.seal();
    assert.deepEqual([s.undo(), s.redo()], [null, null]);
  });
});
