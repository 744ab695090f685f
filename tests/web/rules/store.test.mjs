import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { createStore } from '../../../resources/web/js/rules/store.js';
import { emptyDatabase } from '../../../resources/web/js/core/database.js';
import { findByTag } from '../../../resources/web/js/core/lookups.js';
import { buildIndex } from '../../../resources/web/js/core/indexes.js';
import { refreshHerd } from '../../../resources/web/js/rules/history.js';
import { demoDatabase } from '../../../resources/web/js/shell/demo.js';
import {
  voidRecord,
  upsert,
  removeAnimals,
  saveAnimal,
  saveBirth,
  saveMovement,
  validateAnimal,
  validateBirth,
} from '../../../resources/web/js/rules/records.js';
import { animal, treatment, weight } from '../helpers.mjs';

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
    // Redone, the weight must be the same object again for this to be redone on it.
    s.apply({
      label: 'Name',
      run: (d) => {
        upsert(d, 'animals', d.animals[1].id, { name: 'Bess' });
        voidRecord(d, 'weights', added.value.id, 'wrong cow', '2026-03-02 10:00');
      },
    });
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
    s.apply({ label: 'Void', run: (d) => voidRecord(d, 'treatments', d.treatments[0].id, 'no', '') });
    const voided = seen(s);
    const incoming = { ...emptyDatabase(), animals: [animal({ tag: 'FR 5' })], revision: 40 };
    s.apply({ label: 'Restore', replace: incoming });
    assert.deepEqual([s.db.animals.map((a) => a.tag), s.db.revision], [['FR 5'], 2]);
    s.undo();
    assert.deepEqual(seen(s), voided, 'unknown keys and all');
    s.undo();
    assert.deepEqual(seen(s), before, 'the change before it undone on the records it replaced');
    s.redo();
    s.redo();
    assert.equal(findByTag(s.idx, 'FR 5').tag, 'FR 5');
    s.seal();
    assert.deepEqual([s.undo(), s.redo()], [null, null]);
  });
});

// Everything the index answers, by content, so that a stale record shows.
const digest = (idx) =>
  JSON.stringify(
    Object.entries(idx)
      .filter(([, v]) => v instanceof Map)
      .map(([k, map]) => [k, [...map].sort((x, y) => (x[0] < y[0] ? -1 : 1))])
      .concat([['search', idx.searchIndex().map((e) => ({ ...e, animal: e.animal.id }))]]),
  );
const exact = (s, what) => {
  assert.equal(s.text(), JSON.stringify(s.db), `${what}: the saved text`);
  const herd = JSON.parse(s.text());
  refreshHerd(herd);
  assert.equal(JSON.stringify(herd), s.text(), `${what}: where the animals are`);
  assert.equal(digest(s.idx), digest(buildIndex(s.db)), `${what}: the index`);
};
const unsaved = (text) => text.replace(/"revision":\d+/, '');
const TODAY = '2026-12-07';
const ctx = (s) => ({ db: s.db, idx: s.idx, today: TODAY });
const mother = (s) => s.db.animals.find((a) => a.sex === 'female' && a.status === 'on-farm' && !a.voided);

// Each as a form makes it: checked against the store's records, then run.
const changes = {
  'a treatment': () => (d) =>
    upsert(d, 'treatments', null, treatment({ animalIds: d.animals.slice(0, 40).map((a) => a.id) })),
  'a sale': (s) => (d) =>
    saveMovement(d, null, { date: TODAY, direction: 'off', outcome: 'sold', animalIds: [mother(s).id] }),
  'a void': (s) => (d) =>
    voidRecord(d, 'movements', s.db.movements.find((m) => !m.voided).id, 'wrong', TODAY),
  'a new animal': (s) => (d) =>
    saveAnimal(d, null, validateAnimal({ tag: 'NEW 1', fieldId: s.db.fields[1].id }, ctx(s))),
  'a birth': (s) => (d) =>
    saveBirth(d, null, validateBirth({ date: TODAY, damTag: mother(s).tag, 'youngTag-0': 'LAMB 1' }, ctx(s))),
  'a new tag': (s) => (d) =>
    saveAnimal(
      d,
      mother(s).id,
      validateAnimal({ ...mother(s), tag: 'RE 2', tagReason: 'lost' }, { ...ctx(s), editing: mother(s) }),
    ),
  // In place: the young's search entries are not otherwise made again.
  'a tag typed over': (s) => (d) => {
    d.animals.find((a) => a.id === mother(s).id).tag = 'RE 3';
  },
  // Added only: a copy of the index takes them, each after its own day's.
  'a weighing session': () => (d) => {
    for (const a of d.animals.slice(0, 30)) d.weights.push(weight(a.id, TODAY, 300));
    d.weights.push(weight(d.animals[0].id, '2020-01-01', 40), weight(d.animals[0].id, TODAY, 301));
  },
  'a weighing session with one taken out': () => (d) => {
    d.weights.splice(2, 1);
    d.weights.push(weight(d.animals[1].id, TODAY, 302));
  },
  'a weighing session with a treatment': () => (d) => {
    d.weights.push(weight(d.animals[2].id, TODAY, 304));
    upsert(d, 'treatments', null, treatment({ animalIds: [d.animals[2].id], date: TODAY }));
  },
  'a weighing session with one redated': () => (d) => {
    d.weights.find((w) => w.date > '2000-01-01').date = '2000-01-01';
    d.weights.push(weight(d.animals[1].id, TODAY, 303));
  },
  // One without records is erased, one with them voided.
  'animals removed': (s) => (d) =>
    removeAnimals(d, [s.db.animals[7].id, s.db.animals.find((a) => a.tag === 'NEW 1').id], 'wrong', TODAY),
};

test('the text made ahead for the save is the one saved, unless a change or an undo came after it', () => {
  const s = createStore(herd());
  assert.equal(s.prepare('2026-12-08T10:00:00.000Z'), true);
  assert.equal(s.prepare('2026-12-08T10:00:01.000Z'), false, 'made once for the records as they are');
  const text = s.savedText('2026-12-08T10:00:05.000Z');
  assert.equal(text, JSON.stringify(s.db));
  assert.equal(JSON.parse(text).savedAt, '2026-12-08T10:00:00.000Z');
  for (const step of [
    () => s.apply({ label: 'A name', run: (d) => (d.animals[0].name = 'Buttercup') }),
    () => s.undo(),
  ]) {
    s.prepare('2026-12-08T10:01:00.000Z');
    step();
    const saved = s.savedText('2026-12-08T10:01:05.000Z');
    assert.equal(saved, JSON.stringify(s.db));
    assert.equal(JSON.parse(saved).savedAt, '2026-12-08T10:01:05.000Z');
  }
  assert.equal(s.db.animals[0].name, 'Daisy');
});

describe('changes made on the records in place', () => {
  test('each, undone and redone, leaves the saved text and the index as made from scratch', () => {
    const s = createStore(demoDatabase(80, TODAY, 3, 1200));
    for (const [name, make] of Object.entries(changes)) {
      exact(s, `before ${name}`);
      const before = s.text();
      assert.ok(s.apply({ label: name, run: make(s) }).ok, name);
      const after = s.text();
      assert.notEqual(unsaved(after), unsaved(before), name);
      exact(s, name);
      s.undo();
      assert.equal(unsaved(s.text()), unsaved(before), `${name} undone`);
      exact(s, `${name} undone`);
      s.redo();
      assert.equal(unsaved(s.text()), unsaved(after), `${name} redone`);
      exact(s, `${name} redone`);
    }
  });

  test('one that throws after changing records of every kind is taken back whole', () => {
    const s = createStore(demoDatabase(40, TODAY, 5, 600));
    s.idx.searchIndex();
    const [text, idx, index] = [s.text(), s.idx, digest(s.idx)];
    const done = s.apply({
      label: 'Everything',
      run: (d) => {
        for (const make of Object.values(changes)) make(s)(d);
        d.weights.splice(3, 2);
        d.farm.name = 'Elsewhere';
        throw new Error('boom');
      },
    });
    assert.equal(done.ok, false);
    assert.equal(s.idx, idx);
    assert.equal(s.text(), text);
    assert.equal(JSON.stringify(s.db), text);
    assert.equal(digest(s.idx), index);
    exact(s, 'after the throw');
  });
});
