// The Animals list: which animals its filters let through, how the filters
// read on a printed register, and the orders its columns sort in.

import { searchAnimals } from '../core/search.js';
import { compareTags, STATUS_LABEL, SPECIES, kindKey, kindNamer } from '../core/text.js';
import { fieldName } from '../core/lookups.js';
import { membersOn } from './groups.js';

// The species filter offers what was typed, whatever its case, with the
// blank ones together.
export const speciesOf = (a) => a.species.trim() || 'Not recorded';

export function speciesChoices(db) {
  const name = kindNamer();
  return [...new Set(db.animals.map((a) => name(a.species)))].sort(compareTags);
}

// The species the animal form offers: the usual ones, then any other this
// herd holds, each once whatever its case.
export function knownSpecies(db) {
  const name = kindNamer('');
  const usual = SPECIES.map(name);
  const herd = db.animals.map((a) => name(a.species)).filter((s) => s && !usual.includes(s));
  return [...usual, ...[...new Set(herd)].sort(compareTags)];
}

// The register printed from the list as it opens (the animals on the farm)
// holds every animal of the keeping period instead: those still kept, and
// those gone within the last years a register must be kept, the longest of
// any species (cattle, 10 years), so that none is left out.
export const KEEP_YEARS = 10;
export const isDefaultList = (st) =>
  st.status === 'on-farm' && !st.query.trim() && !st.species && !st.fieldId && !st.groupId && !st.withdrawal;
export function registerAnimals(db, today) {
  const since = `${Number(today.slice(0, 4)) - KEEP_YEARS}${today.slice(4)}`;
  return db.animals.filter(
    (a) => a.status === 'on-farm' || a.status === 'away' || !a.statusDate || a.statusDate >= since,
  );
}

// Animals entered in error are shown only when asked for. `withdrawn` holds
// the ids of the animals under withdrawal now.
export function filterAnimals(db, idx, st, { today, withdrawn }) {
  let list = st.query.trim()
    ? searchAnimals(idx.searchIndex(), st.query, Infinity).results.map((r) => r.animal)
    : db.animals;
  list =
    st.status === 'void'
      ? list.filter((a) => a.voided)
      : list.filter((a) => !a.voided && (!st.status || a.status === st.status));
  if (st.withdrawal) list = list.filter((a) => withdrawn.has(a.id));
  if (st.species) {
    const k = kindKey(st.species);
    list = list.filter((a) => kindKey(speciesOf(a)) === k);
  }
  if (st.fieldId) list = list.filter((a) => a.fieldId === st.fieldId);
  if (st.groupId) {
    const g = db.groups.find((x) => x.id === st.groupId);
    const members = g ? membersOn(g, today) : new Set();
    list = list.filter((a) => members.has(a.id));
  }
  return list;
}

export function describeFilter(db, idx, st) {
  const parts = [];
  if (st.status) parts.push(st.status === 'void' ? 'Entered in error' : STATUS_LABEL.get(st.status));
  if (st.withdrawal) parts.push('under withdrawal');
  if (st.species) parts.push(st.species);
  if (st.fieldId) parts.push(fieldName(idx, st.fieldId));
  if (st.groupId) parts.push(`group ${db.groups.find((g) => g.id === st.groupId)?.name ?? ''}`);
  if (st.query.trim()) parts.push(`matching “${st.query.trim()}”`);
  return parts.length ? parts.join(', ') : 'All animals';
}

// "meat 2026-05-01, milk 2026-04-28" for a running withdrawal, or ''.
export function withdrawalEnds(w) {
  if (!w) return '';
  return [w.meatEnd && `meat ${w.meatEnd}`, w.milkEnd && `milk ${w.milkEnd}`, w.eggEnd && `eggs ${w.eggEnd}`]
    .filter(Boolean)
    .join(', ');
}

// Blank cells sort after every text.
const blankLast = (f) => (a, b) => compareTags(f(a) || '\uffff', f(b) || '\uffff');

// The column orders; `running` maps an animal's id to its withdrawal.
export function animalOrders(idx, running) {
  const own = (k) => blankLast((a) => a[k]);
  return {
    tag: own('tag'),
    name: own('name'),
    species: own('species'),
    breed: own('breed'),
    dob: own('dob'),
    status: own('status'),
    wd: blankLast((a) => withdrawalEnds(running.get(a.id))),
    field: blankLast((a) => fieldName(idx, a.fieldId)),
  };
}
