// Where an animal is and whether it is still here follow from its dated
// movements, never from the order they were typed in: the latest date wins,
// and entry order (the place in the list) decides within a day. Records that
// were voided count for nothing.

import { addDays } from '../core/dates.js';
import { plain } from '../core/journal.js';

const inForce = (r) => !r.voided;

// Each animal's movements in force, oldest first, as [index, movement]
// (of the animals `only`, when given).
export function movementsByAnimal(db, { skipId = null, only = null } = {}) {
  const per = new Map();
  db.movements.forEach((m, i) => {
    if (!inForce(m) || m.id === skipId) return;
    for (const id of m.animalIds) {
      if (only && !only.has(id)) continue;
      let list = per.get(id);
      if (!list) per.set(id, (list = []));
      list.push([i, m]);
    }
  });
  for (const list of per.values())
    list.sort((x, y) => (x[1].date < y[1].date ? -1 : x[1].date > y[1].date ? 1 : x[0] - y[0]));
  return per;
}

// The state of an animal after the movements up to and including `until`
// (all of them when absent). An animal whose first movement brought it on to
// the farm was not here before it.
export function stateOf(animal, moves = [], until = null) {
  const first = moves[0]?.[1];
  let s = {
    status: first?.direction === 'on' ? 'not-here' : 'on-farm',
    statusDate: '',
    fieldId: first?.direction === 'on' ? '' : animal.firstFieldId || '',
  };
  for (const [, m] of moves) {
    if (until !== null && m.date > until) break;
    if (m.direction === 'on') s = { status: 'on-farm', statusDate: '', fieldId: m.fieldId || '' };
    else if (m.direction === 'off') s = { status: m.outcome || 'away', statusDate: m.date, fieldId: '' };
    else if (m.fieldId && s.status === 'on-farm') s = { ...s, fieldId: m.fieldId };
  }
  return s;
}

// Inside the store a change refreshes the herd once, after it, for the
// animals it touched: the record functions' own refreshes wait for that.
const deferred = new WeakSet();
export function deferringHerd(db, fn) {
  const raw = plain(db);
  deferred.add(raw);
  try {
    return fn();
  } finally {
    deferred.delete(raw);
  }
}

// Writes every animal's present status, status date and field from its
// movements (only the animals `only`, when given). Called after every
// change, so that readers of the file and of the index see the same as the
// history says. The records are read plainly and written only where they
// differ, so that a journaled change pays for what moved, not for the herd.
export function refreshHerd(db, only = null) {
  const raw = plain(db);
  if (!only && deferred.has(raw)) return;
  const per = movementsByAnimal(raw, { only });
  raw.animals.forEach((a, i) => {
    if (only && !only.has(a.id)) return;
    const s = stateOf(a, per.get(a.id));
    const status = s.status === 'not-here' ? 'away' : s.status;
    if (a.status === status && a.statusDate === s.statusDate && a.fieldId === s.fieldId) return;
    const live = db.animals[i];
    live.status = status;
    live.statusDate = s.statusDate;
    live.fieldId = s.fieldId;
  });
}

// Whether the animal was on the farm at some moment of `date`: born by then,
// and here at the end of the day before or at the end of the day itself, or
// arriving that day (it may have left or died the same day).
// `skipId` leaves out the movement being edited.
export function presentOn(animal, per, date) {
  if (animal.dob && animal.dob > date) return false;
  const moves = per.get(animal.id) || [];
  return (
    stateOf(animal, moves, addDays(date, -1)).status === 'on-farm' ||
    stateOf(animal, moves, date).status === 'on-farm' ||
    moves.some(([, m]) => m.date === date && m.direction === 'on')
  );
}

// The tags of those in `animals` that were not on the farm on any of `dates`.
export function absentOn(db, animals, dates, opts) {
  const per = movementsByAnimal(db, opts);
  return animals.filter((a) => dates.some((d) => !presentOn(a, per, d))).map((a) => a.tag);
}

// Births and movements of one animal, newest first. Same-day events keep
// the order they were entered in (births before movements, then list order).
export function animalEvents(db, animal) {
  const out = [];
  db.births.forEach((b, i) => {
    if (b.damId === animal.id || b.offspringIds.includes(animal.id))
      out.push({ kind: 'birth', date: b.date, rank: [0, i], record: b });
  });
  db.movements.forEach((m, i) => {
    if (m.animalIds.includes(animal.id))
      out.push({ kind: 'movement', date: m.date, rank: [1, i], record: m });
  });
  return out.sort(newestFirst);
}

export function newestFirst(x, y) {
  if (x.date !== y.date) return x.date < y.date ? 1 : -1;
  return y.rank[0] - x.rank[0] || y.rank[1] - x.rank[1];
}

// For the herd register, worked out once per print or export.
export function registerDatesOf(db, idx) {
  const per = movementsByAnimal(db);
  return (a) => registerDates(a, per.get(a.id), idx.birthOf.get(a.id));
}

// For the herd register: when and from where the animal came (its latest
// arrival, or its birth here), and, when it has gone, when, where to and why.
export function registerDates(animal, moves = [], birth = null) {
  const out = { onDate: '', from: '', offDate: '', to: '', cause: '' };
  for (const [, m] of moves) {
    if (m.direction === 'on')
      Object.assign(out, { onDate: m.date, from: [m.from, m.fromHolding].filter(Boolean).join(', ') });
    if (m.direction === 'off')
      Object.assign(out, {
        offDate: m.date,
        to: [m.to, m.toHolding].filter(Boolean).join(', '),
        cause: m.cause || '',
      });
  }
  if (!out.onDate && birth) Object.assign(out, { onDate: birth.date, from: 'born here' });
  if (animal.status === 'on-farm') Object.assign(out, { offDate: '', to: '', cause: '' });
  return out;
}
