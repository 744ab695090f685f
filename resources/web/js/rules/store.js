// The one way the records change. A change runs on the records themselves
// through a journal of every write (core/journal.js), so one that throws
// half-way is taken back and leaves the records and their index as they
// were. The journal is kept, so this session's changes can be undone and
// redone, until the records are printed or exported: paper or a file
// elsewhere would then disagree with them. After a change only the animals
// it touched are worked out again and indexed anew, and only the saved
// text's blocks holding what it touched are made again; weighings only
// added (a scale session) go into a copy of the index whatever their number;
// any other change too broad for that (an import of animals, many animals at
// once) rebuilds the index whole.
//
// A change is one of
//   { label, run(db) }          anything, through the record functions;
//                               apply answers what `run` returned
//   { label, add: {collection, value} }
//                               one new record, as a handling day adds them:
//                               the index takes it in place, at the same
//                               cost on a farm of any size
//   { label, replace: db }      other records altogether (a restored backup)

import { COLLECTIONS, newId } from '../core/database.js';
import { buildIndex, indexAdded, indexWeighings, patchIndex, refsOf } from '../core/indexes.js';
import { openJournal, redoSteps, undoSteps } from '../core/journal.js';
import { blockSerialiser, flattened } from '../core/saved-text.js';
import { deferringHerd, refreshHerd } from './history.js';

const UNDO_DEPTH = 30;
// Lists the index is made from; the others (groups, purchases) and the
// farm's details leave it as it is.
const INDEXED = ['animals', 'fields', 'treatments', 'weights', 'births', 'movements', 'services', 'scans'];
// A change naming more animals than this rebuilds the index whole.
const BROAD = 1000;

// The animals a journaled change bears on, from what its records named
// before (`before`) and name now; null when it is too broad to tell.
function affected(touched, before) {
  const ids = new Set(before);
  for (const [key, t] of touched) {
    if (!INDEXED.includes(key)) continue;
    if (t.replaced && !(Array.isArray(t.was) && Array.isArray(t.now))) return null;
    // A list filtered into another (animals erased): what one holds and the other not.
    const [was, now] = t.replaced ? [new Set(t.was), new Set(t.now)] : [];
    const gone = t.replaced ? [...t.was.filter((r) => !now.has(r)), ...t.now.filter((r) => !was.has(r))] : [];
    for (const rec of [...t.records, ...gone]) for (const id of refsOf(key, rec)) ids.add(id);
  }
  return ids.size > BROAD ? null : ids;
}

// The weighings a change only added at the end of the records, when it
// changed nothing else the index is made from; null otherwise.
function weighingsAdded(touched, lengthBefore, list) {
  for (const key of touched.keys()) if (INDEXED.includes(key) && key !== 'weights') return null;
  const t = touched.get('weights');
  if (!t || t.replaced || list.length < lengthBefore) return null;
  for (const i of t.positions) if (i < lengthBefore) return null;
  const added = list.slice(lengthBefore);
  if (t.records.size !== added.length || added.some((r) => !t.records.has(r))) return null;
  return added;
}

// What an animal is found by: while it stays, the index's maps of tags stay.
const foundBy = (a) => JSON.stringify([a.tag, a.eid, a.tagHistory]);

// What records the journal's touched records name, and how the animals are found.
function namedBy(touched) {
  const ids = new Set();
  const tags = new Map();
  for (const [key, t] of touched) {
    if (!INDEXED.includes(key)) continue;
    for (const rec of t.records) {
      for (const id of refsOf(key, rec)) ids.add(id);
      if (key === 'animals') tags.set(rec, foundBy(rec));
    }
  }
  return { ids, tags };
}

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
  // The whole saved text made ahead, and the records' revision it holds.
  let ready = null;
  const stamped = (stamp) => {
    db.savedAt = stamp;
    return serialiser.text(db);
  };

  const install = (next, nextIdx) => {
    next.revision = db.revision + 1;
    db = next;
    idx = nextIdx;
  };

  // The index after a journaled change, from the animals it bears on.
  const reindex = (touched, ids, tags) => {
    if (!ids) return buildIndex(db);
    const animals = touched.get('animals');
    const fields = touched.has('fields');
    // A new tag is also in its young's search entries.
    const renamed = [...tags].some(([a, was]) => foundBy(a) !== was);
    const lists = [...touched.keys()];
    return patchIndex(db, idx, ids, {
      animals: !!animals && (renamed || animals.replaced || animals.positions.size > 0),
      fields,
      search: !fields && !renamed,
      lists,
    });
  };
  // The saved text's blocks that hold what the change touched.
  const forget = (touched) => {
    for (const [key, t] of touched) {
      const list = db[key];
      if (!COLLECTIONS.includes(key) || !Array.isArray(list)) continue;
      const positions = [...t.positions];
      if (t.records.size) list.forEach((r, i) => t.records.has(r) && positions.push(i));
      serialiser.changed(key, list, positions);
    }
  };
  // A journal played back (undo) or forward again (redo).
  const replay = (journal, forward) => {
    const before = namedBy(journal.touched);
    (forward ? redoSteps : undoSteps)(journal.steps);
    try {
      idx = reindex(journal.touched, affected(journal.touched, before.ids), before.tags);
    } catch (e) {
      idx = buildIndex(db);
      throw e;
    } finally {
      forget(journal.touched);
      db.revision += 1;
    }
  };

  // Each kind of change, done; answers [result, how to take it back].
  const kinds = {
    run(change) {
      const named = new Set();
      const tags = new Map();
      const j = openJournal(db, (key, rec) => {
        for (const id of refsOf(key, rec)) named.add(id);
        if (key === 'animals') tags.set(rec, foundBy(rec));
      });
      const weighedBefore = db.weights.length;
      let out, nextIdx;
      try {
        out = j.unwrap(deferringHerd(db, () => change.run(j.root)));
        const weighed = weighingsAdded(j.touched, weighedBefore, db.weights);
        if (weighed) nextIdx = indexWeighings(db, idx, weighed);
        else {
          const ids = affected(j.touched, named);
          refreshHerd(j.root, ids);
          nextIdx = reindex(j.touched, ids && affected(j.touched, ids), tags);
        }
      } catch (e) {
        undoSteps(j.steps);
        throw e;
      } finally {
        j.close();
      }
      forget(j.touched);
      idx = nextIdx;
      db.revision += 1;
      const journal = { steps: j.steps, touched: j.touched };
      return [out, { journal }];
    },
    add(change) {
      const { collection, value } = change.add;
      const rec = { id: newId(collection.slice(0, 2)), ...value };
      return [rec, added(collection, rec)];
    },
    replace(change) {
      const before = db;
      install(change.replace, openRecords(change.replace));
      return [db, { swap: before }];
    },
  };

  const added = (collection, rec) => {
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
    return { added: { collection, rec } };
  };
  // The records before a restore come back as the same objects, which the
  // journals of the changes before it name.
  const swap = (other) => {
    const now = db;
    install(other, buildIndex(other));
    return { swap: now };
  };

  // Puts the records back as `back` says, and answers how to go forward again.
  const takeBack = (back) => {
    if (back.journal) {
      replay(back.journal, false);
      return back;
    }
    if (back.added) {
      const { collection, rec } = back.added;
      const list = db[collection];
      if (list[list.length - 1] !== rec) throw new Error('The records changed since.');
      list.pop();
      db.revision += 1;
      serialiser.changed(collection, list, [list.length]);
      const ids = new Set(refsOf(collection, rec));
      idx = patchIndex(db, idx, ids, { animals: false, lists: [collection] });
      return { readd: back.added };
    }
    return swap(back.swap);
  };
  // Makes a change taken back again, on the same objects; answers how to
  // take it back once more.
  const goForward = (forward) => {
    if (forward.journal) {
      replay(forward.journal, true);
      return forward;
    }
    if (forward.readd) return added(forward.readd.collection, forward.readd.rec);
    return swap(forward.swap);
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
    // The whole text for the save, stamped as saved at `stamp`, made ahead
    // (once the blocks are) so that the save only posts it; false when it
    // was ready already.
    prepare(stamp) {
      if (ready?.revision === db.revision) return false;
      ready = { revision: db.revision, text: flattened(stamped(stamp)) };
      return true;
    },
    // The text to save: the one made ahead, unless a change came after it.
    savedText(stamp) {
      const made = ready?.revision === db.revision ? ready.text : null;
      ready = null;
      return made ?? stamped(stamp);
    },

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
      let back;
      try {
        back = goForward(step.forward);
      } catch (error) {
        redos = [];
        onError(error, { label: `Redo ${step.label}` });
        return null;
      }
      undos.push({ label: step.label, back });
      onChange({ label: step.label, redo: true });
      return step.label;
    },

    // Printed or exported: what is on paper or in a file must stay true.
    seal() {
      undos = [];
      redos = [];
    },
  };
  return store;
}
