// The herd at a glance: head counts per species and the latest events.

import { inForce } from './database.js';
import { compareTags, kindNamer } from './text.js';

// `lots`: head counted by number only (batch-tagged lots), as
// [{ species, 'on-farm', away, sold, died }].
export function herdSummary(db, lots = []) {
  const bySpecies = new Map();
  const blank = () => ({ 'on-farm': 0, away: 0, sold: 0, died: 0 });
  const totals = blank();
  const speciesName = kindNamer();
  for (const a of db.animals) {
    if (!inForce(a)) continue;
    const sp = speciesName(a.species);
    let row = bySpecies.get(sp);
    if (!row) bySpecies.set(sp, (row = { species: sp, ...blank() }));
    row[a.status]++;
    totals[a.status]++;
  }
  for (const lot of lots) {
    const sp = speciesName(lot.species);
    let row = bySpecies.get(sp);
    if (!row) bySpecies.set(sp, (row = { species: sp, ...blank() }));
    for (const k of Object.keys(totals)) {
      row[k] += lot[k];
      totals[k] += lot[k];
    }
  }
  const rows = [...bySpecies.values()].sort(
    (a, b) => b['on-farm'] - a['on-farm'] || compareTags(a.species, b.species),
  );
  return { rows, totals };
}

// The n most recent dated events of every kind in force, newest first,
// without sorting every event on the farm.
export function recentEvents(db, idx, n = 10) {
  const top = [];
  // Tested before an event is made: the farm's records are many.
  const kept = (rec) => inForce(rec) && (top.length < n || rec.date > top[top.length - 1].date);
  const add = (ev) => {
    let i = top.length;
    while (i > 0 && top[i - 1].date < ev.date) i--;
    top.splice(i, 0, ev);
    if (top.length > n) top.pop();
  };
  for (const t of db.treatments)
    if (kept(t)) add({ kind: 'treatment', date: t.date, record: t, animals: t.animalIds });
  for (const w of db.weights)
    if (kept(w)) add({ kind: 'weight', date: w.date, record: w, animals: [w.animalId] });
  for (const b of db.births)
    if (kept(b))
      add({ kind: 'birth', date: b.date, record: b, animals: [b.damId, ...b.offspringIds].filter(Boolean) });
  for (const m of db.movements)
    if (kept(m)) add({ kind: 'movement', date: m.date, record: m, animals: m.animalIds });
  return top;
}
