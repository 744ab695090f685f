// The index over the records, rebuilt after a broad change, made again only
// for the animals a change touched, or added to for new weights and
// treatments, so that no screen scans the records whole.

import { inForce } from './database.js';
import { normaliseTag } from './text.js';
import { searchEntry, addTreatmentToEntry } from './search.js';

const cmp = (a, b) => (a < b ? -1 : a > b ? 1 : 0);

// Built once per change of the records; every screen reads through it so that
// nothing scans the event lists once per animal. Voided records are indexed
// too (the record card shows them struck through); callers filter.
export function buildIndex(db) {
  const maps = animalMaps(db);
  const perAnimal = new Map();
  for (const a of db.animals) perAnimal.set(a.id, ownLists());
  const birthOf = new Map();
  fillLists(db, perAnimal, birthOf, null);
  return finish(db, {
    ...maps,
    fieldsById: new Map(db.fields.map((f) => [f.id, f])),
    perAnimal,
    birthOf,
  });
}

// The index after a change that touched only the records of the animals
// `ids` (their own, or records naming them): their lists of the kinds
// `lists` (all, when null) and their births are made again, the rest is
// kept. `animals` when animal records changed, `fields` when fields did,
// `search` false when the search entries must all be made again. The old
// index is left as it was.
export function patchIndex(
  db,
  old,
  ids,
  { animals = true, fields = false, search = true, lists = null } = {},
) {
  const maps = animals ? animalMaps(db) : old;
  const perAnimal = new Map(old.perAnimal);
  const birthOf = new Map(old.birthOf);
  const all = !lists || [...ids].some((id) => maps.animalsById.has(id) && !old.perAnimal.has(id));
  const kinds = all ? KINDS : KINDS.filter((k) => lists.includes(k));
  const fresh = new Map();
  for (const id of ids) {
    const was = perAnimal.get(id);
    perAnimal.delete(id);
    if (kinds.includes('births')) birthOf.delete(id);
    if (!maps.animalsById.has(id)) continue;
    const p = { ...ownLists(), ...was };
    for (const k of kinds) p[k] = [];
    fresh.set(id, p);
  }
  fillLists(db, fresh, birthOf, ids, kinds);
  for (const [id, p] of fresh) perAnimal.set(id, p);
  const idx = finish(
    db,
    {
      animalsById: maps.animalsById,
      byTag: maps.byTag,
      byFormerTag: maps.byFormerTag,
      byEid: maps.byEid,
      fieldsById: fields ? new Map(db.fields.map((f) => [f.id, f])) : old.fieldsById,
      perAnimal,
      birthOf,
    },
    // An entry names the field and the dam's tag: those changed, all go.
    search ? old.searchIndexIfBuilt() : [],
  );
  const entries = idx.searchIndexIfBuilt();
  let i = 0;
  while (i < entries.length && entries[i].animal === db.animals[i]) i++;
  entries.length = i;
  // Weights are not searched: a weighing session leaves every entry true.
  if (!animals && kinds.every((k) => k === 'weights')) return idx;
  for (i = 0; i < entries.length; i++)
    if (ids.has(db.animals[i].id)) entries[i] = searchEntry(db, idx, db.animals[i]);
  return idx;
}

// The animals a record is indexed under.
export function refsOf(collection, rec) {
  if (collection === 'animals') return [rec.id];
  if (collection === 'treatments' || collection === 'movements') return [...(rec.animalIds || [])];
  if (collection === 'weights') return [rec.animalId];
  if (collection === 'births') return [rec.damId, ...(rec.offspringIds || [])];
  if (collection === 'services') return [...(rec.femaleIds || []), ...(rec.sireId ? [rec.sireId] : [])];
  if (collection === 'scans') return (rec.results || []).map((r) => r.animalId);
  return [];
}

const KINDS = ['treatments', 'weights', 'births', 'movements', 'services', 'scans'];
const ownLists = () => ({ treatments: [], weights: [], births: [], movements: [], services: [], scans: [] });

function animalMaps(db) {
  const animalsById = new Map();
  const byTag = new Map();
  const byFormerTag = new Map();
  const byEid = new Map();
  for (const a of db.animals) {
    animalsById.set(a.id, a);
    byTag.set(normaliseTag(a.tag), a);
    if (a.eid) byEid.set(a.eid.replace(/[\s-]/g, ''), a);
    for (const c of a.tagHistory || []) byFormerTag.set(normaliseTag(c.from), a);
  }
  return { animalsById, byTag, byFormerTag, byEid };
}

// Fills the lists of `kinds` in `perAnimal` (for the animals it holds) and
// where each of the animals `only` (all, when null) was born.
function fillLists(db, perAnimal, birthOf, only, kinds = KINDS) {
  const push = (id, kind, rec) => {
    const p = perAnimal.get(id);
    if (p) p[kind].push(rec);
  };
  const has = (k) => kinds.includes(k) && perAnimal.size > 0;
  if (has('treatments'))
    for (const t of db.treatments) for (const id of t.animalIds) push(id, 'treatments', t);
  if (has('weights')) for (const w of db.weights) push(w.animalId, 'weights', w);
  if (kinds.includes('births'))
    for (const b of db.births) {
      if (b.damId) push(b.damId, 'births', b);
      for (const id of b.offspringIds) {
        if (id !== b.damId) push(id, 'births', b);
        if (inForce(b) && (!only || only.has(id))) birthOf.set(id, b);
      }
    }
  if (has('movements')) for (const m of db.movements) for (const id of m.animalIds) push(id, 'movements', m);
  // A service is the sire's record too.
  if (has('services'))
    for (const s of db.services || []) {
      for (const id of s.femaleIds) push(id, 'services', s);
      if (s.sireId && !s.femaleIds.includes(s.sireId)) push(s.sireId, 'services', s);
    }
  if (has('scans'))
    for (const sc of db.scans || []) for (const r of sc.results) push(r.animalId, 'scans', sc);
  // Newest first; the sort is stable, so a day's records keep their entry order.
  const byDateDesc = (a, b) => cmp(b.date, a.date);
  for (const p of perAnimal.values()) {
    if (kinds.includes('treatments')) p.treatments.sort(byDateDesc);
    if (kinds.includes('weights')) p.weights.sort((a, b) => cmp(a.date, b.date));
    if (kinds.includes('births')) p.births.sort(byDateDesc);
    if (kinds.includes('movements')) p.movements.sort(byDateDesc);
    if (kinds.includes('services')) p.services.sort(byDateDesc);
    if (kinds.includes('scans')) p.scans.sort(byDateDesc);
  }
}

function finish(db, idx, entries = []) {
  idx.animalsInField = new Map();
  for (const a of db.animals) {
    if (inForce(a) && a.status === 'on-farm' && a.fieldId)
      idx.animalsInField.set(a.fieldId, (idx.animalsInField.get(a.fieldId) || 0) + 1);
  }
  // Built on first use, or ahead of it in short tasks (warmSearch), so that
  // the first keystroke on a large farm does not wait for all of it.
  entries = [...entries];
  idx.searchIndex = () => {
    for (let i = entries.length; i < db.animals.length; i++)
      entries.push(searchEntry(db, idx, db.animals[i]));
    return entries;
  };
  idx.searchIndexIfBuilt = () => entries;
  idx.warmSearch = (budgetMs = 8, now = () => performance.now()) => {
    const end = now() + budgetMs;
    while (entries.length < db.animals.length) {
      if (now() > end) return true;
      entries.push(searchEntry(db, idx, db.animals[entries.length]));
    }
    return false;
  };
  let moves = null;
  idx.movesByAnimal = () => (moves ??= movementsOf(db));
  return idx;
}

// Each animal's movements in force, oldest first with entry order within a
// day, as [index, movement] (as history.js's movementsByAnimal).
function movementsOf(db) {
  const per = new Map();
  db.movements.forEach((m, i) => {
    if (!inForce(m)) return;
    for (const id of m.animalIds) {
      let list = per.get(id);
      if (!list) per.set(id, (list = []));
      list.push([i, m]);
    }
  });
  for (const list of per.values()) list.sort((x, y) => cmp(x[1].date, y[1].date) || x[0] - y[0]);
  return per;
}

// A new weight or treatment added to the index in place of a rebuild, so
// that a handling-day entry costs the same on a farm of any size. Neither
// changes where an animal is, so the herd and movements stay as they are.
export function indexAdded(db, idx, collection, rec) {
  if (collection === 'weights') {
    const list = idx.perAnimal.get(rec.animalId)?.weights;
    if (list) insertWeighing(list, rec);
    return;
  }
  for (const id of rec.animalIds) {
    const list = idx.perAnimal.get(id)?.treatments;
    if (!list) continue;
    // Newest first, a day's records in entry order.
    let i = 0;
    while (i < list.length && list[i].date >= rec.date) i++;
    list.splice(i, 0, rec);
    const entry = idx.searchIndexIfBuilt()?.find((e) => e.animal.id === id);
    if (entry) addTreatmentToEntry(entry, rec);
  }
}

// Oldest first, a day's records in entry order: a weighing added last goes
// after those of its own day.
function insertWeighing(list, rec) {
  let i = list.length;
  while (i > 0 && list[i - 1].date > rec.date) i--;
  list.splice(i, 0, rec);
}

// Weighings added at the end of the records, as a scale session adds
// thousands, taken into a copy of the index: the cost follows the session,
// not the farm. Weights are not searched and do not move animals, so all
// else is shared. The old index is left as it was.
export function indexWeighings(db, old, added) {
  const perAnimal = new Map(old.perAnimal);
  const copied = new Set();
  for (const w of added) {
    let p = perAnimal.get(w.animalId);
    if (!p) continue;
    if (!copied.has(w.animalId)) {
      copied.add(w.animalId);
      perAnimal.set(w.animalId, (p = { ...p, weights: [...p.weights] }));
    }
    insertWeighing(p.weights, w);
  }
  const idx = {
    animalsById: old.animalsById,
    byTag: old.byTag,
    byFormerTag: old.byFormerTag,
    byEid: old.byEid,
    fieldsById: old.fieldsById,
    perAnimal,
    birthOf: old.birthOf,
  };
  return finish(db, idx, old.searchIndexIfBuilt());
}
