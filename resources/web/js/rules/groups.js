// Groups (mobs): a name and a dated history of who belonged. An animal may
// be in several groups; leaving and rejoining keeps both spells, so that a
// report for a past period counts the group as it was then.

import { fold } from '../core/text.js';
import { inForce, newId } from '../core/database.js';
import { text, requireDate, result } from './records.js';

// A spell counts from its first day up to the day before `to`: an animal
// moved from one group to another on a date is in the new one that day.
const inSpell = (s, date) => s.from <= date && (!s.to || date < s.to);

export function membersOn(group, date) {
  const out = new Set();
  for (const s of group.members) if (inSpell(s, date)) out.add(s.animalId);
  return out;
}

export function groupsOf(db, animalId, date) {
  return db.groups.filter(
    (g) => inForce(g) && g.members.some((s) => s.animalId === animalId && inSpell(s, date)),
  );
}

export function validateGroup(input, { db, editing = null }) {
  const editingId = editing?.id ?? null;
  const errors = {};
  const name = text(input.name);
  if (!name) errors.name = 'Enter a name for the group.';
  else if (db.groups.some((g) => g.id !== editingId && inForce(g) && fold(g.name) === fold(name)))
    errors.name = 'Another group has this name.';
  return result({ name, notes: text(input.notes) }, errors);
}

export function createGroup(db, value) {
  const g = { id: newId('gr'), ...value, members: [] };
  db.groups.push(g);
  return g;
}

// Whether the animals can join (or leave) the group on `date`, changing nothing.
// Joining while a later spell is recorded would overlap it; leaving must come
// after the day the running spell began.
export function checkMembership(db, groupId, ids, date, mode) {
  const g = db.groups.find((x) => x.id === groupId);
  const errors = {};
  requireDate(date, errors, 'date');
  if (!g) errors.group = 'Choose a group.';
  if (Object.keys(errors).length) return errors;
  const set = new Set(ids);
  for (const s of g.members) {
    if (!set.has(s.animalId)) continue;
    if (mode === 'join' && s.from > date)
      return { date: `An animal already joins this group on ${s.from}; choose that date or a later one.` };
    if (mode === 'leave' && !s.to && s.from >= date)
      return { date: `An animal joined on ${s.from}; it can only leave after that.` };
  }
  return null;
}

// Animals already in the group on `date` are left as they are.
export function joinGroup(db, groupId, ids, date) {
  const errors = checkMembership(db, groupId, ids, date, 'join');
  if (errors) return { ok: false, errors };
  const g = db.groups.find((x) => x.id === groupId);
  const now = membersOn(g, date);
  let added = 0;
  for (const id of ids)
    if (!now.has(id)) {
      g.members.push({ animalId: id, from: date, to: '' });
      added++;
    }
  return { ok: true, added };
}

// Leaving on `date` closes the spell running then.
export function leaveGroup(db, groupId, ids, date) {
  const errors = checkMembership(db, groupId, ids, date, 'leave');
  if (errors) return { ok: false, errors };
  const set = new Set(ids);
  let removed = 0;
  for (const s of db.groups.find((x) => x.id === groupId).members) {
    if (set.has(s.animalId) && !s.to) {
      s.to = date;
      removed++;
    }
  }
  return { ok: true, removed };
}
