import { SCHEMA_VERSION, newId } from './database.js';
import { isIsoDate, localIsoDate } from './dates.js';
import { normaliseTag } from './text.js';

// Format 1 kept an animal's status and field on the animal, set by whatever
// was saved last; format 2 works them out from the movements. The upgrade
// records what format 1 left implicit so that every animal stays where it
// was: an "off" movement learns whether the animal was sold, died or went
// away; a sale or death set only on the animal becomes an "off" movement; a
// field that no movement explains becomes the animal's first field. A period
// of 0 days in format 1 may have been a blank field, so it becomes "not
// recorded". Parentage typed on a young that a birth record also gives is
// dropped when the two agree, and kept under `damFormerText` or
// `sireFormerText` when they do not.
export function upgradeFromV1(db) {
  const byId = new Map(db.animals.map((a) => [a.id, a]));
  const tagOf = (id) => byId.get(id)?.tag;
  for (const t of db.treatments) {
    t.lastDate = '';
    t.time = '';
    t.vet = '';
    t.meatDays = t.meatDays > 0 ? t.meatDays : null;
    t.milkPeriod = t.milkDays > 0 ? t.milkDays : null;
    t.milkUnit = 'days';
    t.offLabel = false;
    delete t.milkDays;
  }
  // Format 2 has one outcome per movement: animals that met different fates
  // on one format 1 movement (one sold that day, one only moved away) each
  // get a movement of their own, a copy under a new id.
  const split = [];
  for (const m of db.movements) {
    m.outcome = '';
    if (m.direction !== 'off') continue;
    const fates = new Map();
    for (const id of m.animalIds) {
      const a = byId.get(id);
      const fate = a && a.status !== 'on-farm' && a.statusDate === m.date ? a.status : 'away';
      fates.set(fate, [...(fates.get(fate) || []), id]);
    }
    const [[outcome, ids], ...others] = fates.size ? [...fates] : [['away', []]];
    Object.assign(m, { outcome, animalIds: ids });
    for (const [fate, rest] of others) split.push({ ...m, id: newId('mo'), outcome: fate, animalIds: rest });
  }
  db.movements.push(...split);
  for (const b of db.births) {
    for (const id of b.offspringIds) {
      const young = byId.get(id);
      if (!young) continue;
      for (const [key, given] of [
        ['dam', tagOf(b.damId) ?? ''],
        ['sire', b.sire],
      ]) {
        if (!young[key]) continue;
        if (normaliseTag(young[key]) !== normaliseTag(given)) young[`${key}FormerText`] = young[key];
        young[key] = '';
      }
    }
  }
  const moved = new Map();
  for (const m of db.movements) for (const id of m.animalIds) moved.set(id, [...(moved.get(id) || []), m]);
  const stamp = 'Recorded from the animal’s own details when the records were upgraded to format 2.';
  // A sale or death format 1 kept without a date: the animal was here at its
  // last record and gone when the file was saved (or by now); the earliest
  // known is taken, and said.
  const lastRecord = new Map();
  const saw = (id, date) => {
    if (date && !(lastRecord.get(id) >= date)) lastRecord.set(id, date);
  };
  for (const a of db.animals) saw(a.id, a.dob);
  for (const w of db.weights) saw(w.animalId, w.date);
  for (const t of db.treatments) for (const id of t.animalIds) saw(id, t.date);
  for (const m of db.movements) for (const id of m.animalIds) saw(id, m.date);
  const undated =
    ' Format 1 kept no date for it: this is the date of the animal’s last record, to be corrected if the real date is known.';
  for (const a of db.animals) {
    const own = moved.get(a.id) || [];
    const setsField = own.some((m) => m.direction !== 'off' && m.fieldId);
    a.firstFieldId = setsField ? '' : a.fieldId;
    a.tagHistory = [];
    const offs = own.filter((m) => m.direction === 'off' && m.outcome === a.status);
    if (a.status !== 'on-farm' && !offs.length) {
      const date =
        a.statusDate ||
        lastRecord.get(a.id) ||
        (isIsoDate(db.savedAt.slice(0, 10)) ? db.savedAt.slice(0, 10) : localIsoDate());
      db.movements.push({
        id: newId('mo'),
        date,
        direction: 'off',
        outcome: a.status,
        animalIds: [a.id],
        from: '',
        to: '',
        fieldId: '',
        reason: '',
        notes: a.statusDate ? stamp : stamp + undated,
      });
    }
  }
  // Where the movements still disagree with the animal's field (a field
  // chosen on the animal after its last movement), a move keeps the field.
  const per = new Map();
  db.movements.forEach((m, i) => {
    for (const id of m.animalIds) per.set(id, [...(per.get(id) || []), [i, m]]);
  });
  for (const a of db.animals) {
    const own = (per.get(a.id) || []).sort((x, y) =>
      x[1].date < y[1].date ? -1 : x[1].date > y[1].date ? 1 : x[0] - y[0],
    );
    if (a.status !== 'on-farm' || !own.length) continue;
    let field = a.firstFieldId;
    let here = own[0][1].direction !== 'on';
    for (const [, m] of own) {
      if (m.direction === 'off') {
        here = false;
        field = '';
      } else if (m.direction === 'on') {
        here = true;
        field = m.fieldId;
      } else if (m.fieldId) field = m.fieldId;
    }
    // Moved off alive in format 1 left the animal "on farm" by mistake:
    // the movement is the record that counts, and the animal is away.
    if (here && field !== a.fieldId) {
      db.movements.push({
        id: newId('mo'),
        date: own[own.length - 1][1].date,
        direction: 'move',
        outcome: '',
        animalIds: [a.id],
        from: '',
        to: '',
        fieldId: a.fieldId,
        reason: '',
        notes: stamp,
      });
    }
  }
  db.schema = SCHEMA_VERSION;
}
