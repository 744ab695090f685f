// The one way the records change. A change runs on a copy of the records
// made from their saved text, so one that throws half-way leaves the records
// and their index as they were; one that succeeds replaces them whole. The
// text before each change is kept, so this session's changes can be undone
// and redone, until the records are printed or exported: paper or a file
// elsewhere would then disagree with them.
//
// A change is one of
//   { label, run(db) }          anything, through the record functions;
//                               apply answers what `run` returned
//   { label, add: {collection, value} }
//                               one new record, as a handling day adds them:
//                               the index takes it in place, at the same
//                               cost on a farm of any size
//   { label, replace: db }      other records altogether (a restored backup)

import { newId } from '../core/database.js';
import { buildIndex, indexAdded } from '../core/indexes.js';
import { blockSerialiser } from '../core/saved-text.js';
import { refreshHerd } from './history.js';

const UNDO_DEPTH = 30;

// Records read from a file: statuses and fields in it are only a copy for
// its readers, so they are worked out again before anything is indexed.
export function openRecords(db) {
  refreshHerd(db);
  return buildIndex(db);
}

export function createStore(db, { onChange = () => {}, onError = () => {} } = {}) {
  const serialiser = blockSerialiser();
  let idx = openRecords(db);
  let undos = [];
  let redos = [];

  const install = (next, nextIdx) => {
    next.revision = db.revision + 1;
    db = next;
    idx = nextIdx;
  };

  // Each kind of change, done; answers [result, how to take it back].
  const kinds = {
    run(change) {
      const before = serialiser.text(db);
      const draft = JSON.parse(before);
      const out = change.run(draft);
      refreshHerd(draft);
      const nextIdx = buildIndex(draft);
      install(draft, nextIdx);
      return [out, { state: before }];
    },
    add(change) {
      const { collection, value } = change.add;
      const rec = { id: newId(collection.slice(0, 2)), ...value };
      const list = db[collection];
      list.push(rec);
      try {
        indexAdded(db, idx, collection, rec);
      } catch (e) {
        list.pop();
        idx = buildIndex(db);
        throw e;
      }
      serialiser.appended(collection, list);
      db.revision += 1;
      return [rec, { added: { collection, rec } }];
    },
    replace(change) {
      const before = serialiser.text(db);
      const next = change.replace;
      install(next, openRecords(next));
      return [next, { state: before }];
    },
  };

  // Puts the records back as `back` says, and answers how to go forward again.
  const takeBack = (back) => {
    if (back.added) {
      const { collection, rec } = back.added;
      const list = db[collection];
      if (list[list.length - 1]?.id !== rec.id) throw new Error('The records changed since.');
      list.pop();
      db.revision += 1;
      idx = buildIndex(db);
      serialiser.reset();
      return { readd: back.added };
    }
    const now = serialiser.text(db);
    const restored = JSON.parse(back.state);
    install(restored, buildIndex(restored));
    return { state: now };
  };

  const store = {
    get db() {
      return db;
    },
    get idx() {
      return idx;
    },
    text: () => serialiser.text(db),
    // Makes the saved text ahead of need; true while some is still missing.
    warm: (budgetMs, now) => serialiser.warm(db, budgetMs, now),

    apply(change) {
      const kind = ['add', 'replace'].find((k) => change[k]) ?? 'run';
      let out, back;
      try {
        [out, back] = kinds[kind](change);
      } catch (error) {
        onError(error, change);
        return { ok: false, error };
      }
      undos.push({ label: change.label, back });
      if (undos.length > UNDO_DEPTH) undos.shift();
      redos = [];
      onChange(change);
      return { ok: true, value: out };
    },

    canUndo: () => undos.length > 0,
    canRedo: () => redos.length > 0,

    undo() {
      const step = undos.pop();
      if (!step) return null;
      let forward;
      try {
        forward = takeBack(step.back);
      } catch (error) {
        undos = [];
        onError(error, { label: `Undo ${step.label}` });
        return null;
      }
      redos.push({ label: step.label, forward });
      onChange({ label: step.label, undo: true });
      return step.label;
    },

    redo() {
      const step = redos.pop();
      if (!step) return null;
      const { readd, state } = step.forward;
      const change = readd
        ? { label: step.label, add: { collection: readd.collection, value: readd.rec } }
        : { label: step.label, replace: JSON.parse(state) };
      const keep = redos;
      const done = store.apply(change);
      redos = keep;
      return done.ok ? step.label : null;
    },

    // Printed or exported: what is on paper or in a file must stay true.
    seal() {
      undos = [];
      redos = [];
    },
  };
  return store;
}
