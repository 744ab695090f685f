// Handling days: animals pass one by one and each is recorded with a tag and
// a number, never leaving the page. Each entry is checked here and saved as
// one change; the page only keeps the session's log.

import { findByTag } from '../core/lookups.js';
import { findAnimal } from './eid.js';
import { daysBetween } from '../core/dates.js';
import { normaliseTag } from '../core/text.js';
import { inForce, newId } from '../core/database.js';
import { text, parseNumber, requireDate, parseTagList, result } from './records.js';
import { movementsByAnimal, presentOn, refreshHerd } from './history.js';
import { validateTreatmentFromCabinet } from './cabinet.js';

// The animal behind a typed or scanned tag, and why it cannot be recorded
// on `date` if it cannot.
export function lookupTag(db, idx, tag, date) {
  const t = text(tag);
  if (!t) return { error: 'Type or scan a tag.' };
  // A reader typing into the box may send its flags before the EID.
  const animal = findByTag(idx, t) || findAnimal(idx, t);
  if (!animal || animal.voided) return { error: `${t} is not on this farm’s records.` };
  if (!presentOn(animal, idx.movesByAnimal?.() ?? movementsByAnimal(db), date))
    return { animal, error: `${animal.tag} was not on the farm on ${date}.` };
  return { animal };
}

// The latest weight in force before `date`.
export function lastWeight(idx, animal, date) {
  const list = idx.perAnimal.get(animal.id)?.weights || [];
  for (let i = list.length - 1; i >= 0; i--) if (inForce(list[i]) && list[i].date < date) return list[i];
  return null;
}

export function dailyGain(last, kg, date) {
  const days = last ? daysBetween(last.date, date) : 0;
  return days > 0 ? (kg - last.kg) / days : null;
}

// The animal behind a tag at the scale, or why it cannot be weighed: not on
// the farm, weighed already that day (the first figure must be voided to
// replace it), or not among the animals chosen for this weighing day (a stray
// from another mob), when some were chosen.
export function checkWeighTag(db, idx, tag, date, expected = null) {
  const found = lookupTag(db, idx, tag, date);
  if (found.error) return found;
  const { animal } = found;
  const already = (idx.perAnimal.get(animal.id)?.weights || []).find((w) => inForce(w) && w.date === date);
  if (already)
    return {
      animal,
      error: `${animal.tag} was already weighed on ${date} (${already.kg} kg). Void that weight to weigh again.`,
    };
  if (expected?.length && !expected.includes(animal.id)) {
    return {
      animal,
      error: `${animal.tag} is not among the ${expected.length} animals chosen for this weighing. Forget the chosen animals to weigh it.`,
    };
  }
  return { animal };
}

// The session's date, checked before any tag: a mistyped date must not be
// reported as every animal being away on it.
export function sessionDateError(date, today) {
  const errors = {};
  requireDate(date, errors, 'date', today);
  return errors.date ?? null;
}

// One weighing, checked as checkWeighTag does.
export function validateSessionWeight({ tag, kg, date, expected = null }, { db, idx, today }) {
  const d = text(date);
  const badDate = sessionDateError(d, today);
  if (badDate) return { ok: false, errors: { date: badDate } };
  const errors = {};
  const found = checkWeighTag(db, idx, tag, d, expected);
  if (found.error) errors.tag = found.error;
  const n = parseNumber(kg);
  if (!(n > 0) || n > 5000) errors.kg = 'Enter the weight in kilograms, for example 42.5.';
  if (Object.keys(errors).length) return { ok: false, errors, animal: found.animal };
  const last = lastWeight(idx, found.animal, d);
  return result({ date: d, animalId: found.animal.id, kg: n }, errors, {
    animal: found.animal,
    last,
    gain: dailyGain(last, n, d),
  });
}

// One animal through the race in a treatment session: the session's product
// and batch, a treatment record of its own (so that a wrong tag can be voided
// alone), and its share of the stock.
export function validateSessionTreatment({ session, tag }, { db, idx, today }) {
  const found = lookupTag(db, idx, tag, session.date);
  if (found.error) return { ok: false, errors: { tag: found.error } };
  if (session.treated?.has(found.animal.id))
    return { ok: false, errors: { tag: `${found.animal.tag} has already been treated in this session.` } };
  const res = validateTreatmentFromCabinet(
    { ...session, tags: found.animal.tag, stockUsed: session.perAnimal },
    { idx, today, db },
  );
  return res.ok ? { ...res, animal: found.animal } : res;
}

// "UK0123450001-UK0123450040" or "1-40": the same text before a number
// that counts up, its zeros kept.
const TAG_RANGE = /^(.*?)(\d+)\s*(?:-|–|to)\s*(.*?)(\d+)$/;

export function expandTagRange(s, max = 2000) {
  const m = TAG_RANGE.exec(text(s));
  if (!m || (m[3] && normaliseTag(m[3]) !== normaliseTag(m[1]))) return null;
  const from = Number(m[2]),
    to = Number(m[4]);
  if (to < from || to - from >= max) return null;
  const width = m[2].length === m[4].length ? m[2].length : 0;
  const out = [];
  for (let n = from; n <= to; n++) out.push(`${m[1]}${String(n).padStart(width, '0')}`);
  return out;
}

// New animals entered together: a range or a pasted list, sharing species,
// breed, sex, date of birth and field. All or nothing, so that a second
// try after a correction does not add half of them twice.
export function validateBatchAnimals(input, { idx, today }) {
  const errors = {};
  const raw = text(input.tags);
  const single = !/\n|,|;/.test(raw);
  const range = single ? expandTagRange(raw) : null;
  // Written as a range but not one that counts up: never one animal tagged with the whole text.
  const badRange = single && !range && TAG_RANGE.test(raw);
  const tags = badRange ? [] : range || parseTagList(raw);
  if (badRange)
    errors.tags = `${raw} cannot be counted out: write both tags whole, the lower first, 2,000 at most. For one tag with a hyphen, end it with a comma.`;
  else if (!tags.length) errors.tags = 'Enter a range such as UK0123450001-UK0123450040, or a list of tags.';
  const taken = tags.filter((t) => findByTag(idx, t));
  if (taken.length)
    errors.tags = `Already on the records: ${taken.slice(0, 5).join(', ')}${taken.length > 5 ? ` and ${taken.length - 5} more` : ''}.`;
  const dob = text(input.dob);
  if (dob) requireDate(dob, errors, 'dob', today);
  const fieldId = text(input.fieldId);
  if (fieldId && !idx.fieldsById.has(fieldId)) errors.fieldId = 'Choose a field or pen from the list.';
  const sex = ['female', 'male', 'castrated', 'unknown'].includes(input.sex) ? input.sex : 'unknown';
  return result(
    tags.map((tag) => ({
      tag,
      name: '',
      species: text(input.species),
      breed: text(input.breed),
      sex,
      dob,
      dam: '',
      sire: '',
      firstFieldId: fieldId,
      tagHistory: [],
      notes: '',
    })),
    errors,
  );
}

export function addAnimals(db, values) {
  for (const v of values)
    db.animals.push({ id: newId('an'), ...v, status: 'on-farm', statusDate: '', fieldId: v.firstFieldId });
  refreshHerd(db);
  return values.length;
}
