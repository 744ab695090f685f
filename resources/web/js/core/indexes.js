// The index over the records, rebuilt after each change (or added to in
// place for a new weight or treatment) so that no screen scans them whole.

import { inForce } from './database.js';
import { normaliseTag } from './text.js';
import { searchEntry, addTreatmentToEntry } from './search.js';

const cmp = (a, b) => (a < b ? -1 : a > b ? 1 : 0);

// Built once per change of the records; every screen reads through it so that
// nothing scans the event lists once per animal. Voided records are indexed
// too (the record card shows them struck through); callers filter.
export function buildIndex(db) {
  const animalsById = new Map();
  const byTag = new Map();
  const byFormerTag = new Map();
  const byEid = new Map();
  const perAnimal = new Map();
  const birthOf = new Map();
  for (const a of db.animals) {
    animalsById.set(a.id, a);
    byTag.set(normaliseTag(a.tag), a);
    if (a.eid) byEid.set(a.eid.replace(/[\s-]/g, ''), a);
    for (const c of a.tagHistory || []) byFormerTag.set(normaliseTag(c.from), a);
    perAnimal.set(a.id, { treatments: [], weights: [], births: [], movements: [] });
  }
  const fieldsById = new Map(db.fields.map((f) => [f.id, f]));
  const push = (id, kind, rec) => {
    const p = perAnimal.get(id);
    if (p) p[kind].push(rec);
  };
  for (const t of db.treatments) for (const id of t.animalIds) push(id, 'treatments', t);
  for (const w of db.weights) push(w.animalId, 'weights', w);
  for (const b of db.births) {
    if (b.damId) push(b.damId, 'births', b);
    for (const id of b.offspringIds) {
      if (id !== b.damId) push(id, 'births', b);
      if (inForce(b)) birthOf.set(id, b);
    }
  }
  for (const m of db.movements) for (const id of m.animalIds) push(id, 'movements', m);
  // Newest first; the sort is stable, so a day's records keep their entry order.
  const byDateDesc = (a, b) => cmp(b.date, a.date);
  for (const p of perAnimal.values()) {
    p.treatments.sort(byDateDesc);
    p.weights.sort((a, b) => cmp(a.date, b.date));
    p.births.sort(byDateDesc);
    p.movements.sort(byDateDesc);
  }
  const animalsInField = new Map();
  for (const a of db.animals) {
    if (inForce(a) && a.status === 'on-farm' && a.fieldId)
      animalsInField.set(a.fieldId, (animalsInField.get(a.fieldId) || 0) + 1);
  }
  const idx = { animalsById, byTag, byFormerTag, byEid, fieldsById, perAnimal, animalsInField, birthOf };
  // Built on first use, or ahead of it in short tasks (warmSearch), so that
  // the first keystroke on a large farm does not wait for all of it.
  const entries = [];
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
    if (!list) return;
    let i = list.length;
    while (i > 0 && list[i - 1].date > rec.date) i--;
    list.splice(i, 0, rec);
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
