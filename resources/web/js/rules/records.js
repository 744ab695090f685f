// Turning what the farmer typed into records, and the changes that follow
// from adding, voiding or restoring them. Pure: works on the database object
// and its index, never on the page.

import { isIsoDate, isTime, addDays } from '../core/dates.js';
import {
  normaliseTag,
  fold,
  SEXES,
  FIELD_KINDS,
  DIRECTIONS,
  OUTCOMES,
  MILK_UNITS,
  MAX_WITHDRAWAL_DAYS,
  MAX_WITHDRAWAL_HOURS,
} from '../core/text.js';
import { newId, inForce } from '../core/database.js';
import { findByTag } from '../core/lookups.js';
import { readEid } from './eid.js';
import { absentOn, movementsByAnimal, refreshHerd, stateOf } from './history.js';
import { CASCADE_CASES, organicOn, treatmentOrganic, keepsPoultry } from './withdrawal.js';

export const text = (v) => (v === null || v === undefined ? '' : String(v).trim());
const has = (pairs, v) => pairs.some(([k]) => k === v);
const ticked = (v) => v === true || v === 'on' || v === 'true';
const FEMALE = new Set(['female', 'unknown']);

// Ear tags may hold spaces ("UK 123456 700123"), so lists split on commas,
// semicolons and line breaks only.
export function parseTagList(s) {
  const seen = new Set();
  const out = [];
  for (const part of text(s).split(/[,;\n\r]+/)) {
    const tag = part.trim().replace(/\s+/g, ' ');
    const key = normaliseTag(tag);
    if (tag && !seen.has(key)) {
      seen.add(key);
      out.push(tag);
    }
  }
  return out;
}

export function resolveTags(idx, tags) {
  const found = [];
  const missing = [];
  for (const tag of tags) {
    const a = findByTag(idx, tag);
    if (a && !found.includes(a)) found.push(a);
    else if (!a) missing.push(tag);
  }
  return { found, missing };
}

// Accepts "412.5" and "412,5".
export function parseNumber(s) {
  const t = text(s).replace(',', '.');
  if (!/^\d+(\.\d+)?$/.test(t)) return NaN;
  return Number(t);
}

// A period must be entered: blank is not "none". 0 is an explicit "no withdrawal".
export function parsePeriod(s, errors, key, max, unit) {
  const t = text(s);
  if (t === '') {
    errors[key] = `Enter the period from the label, in ${unit}; 0 if there is none.`;
    return null;
  }
  if (!/^\d+$/.test(t) || Number(t) > max) {
    errors[key] = `Enter whole ${unit} from 0 to ${max}.`;
    return null;
  }
  return Number(t);
}

// The meat and milk periods of a treatment or of a batch's label.
export function parseWithdrawal(input, errors) {
  const milkUnit = has(MILK_UNITS, input.milkUnit) ? input.milkUnit : 'days';
  const meatDays = parsePeriod(input.meatDays, errors, 'meatDays', MAX_WITHDRAWAL_DAYS, 'days');
  const milkMax = milkUnit === 'hours' ? MAX_WITHDRAWAL_HOURS : MAX_WITHDRAWAL_DAYS;
  return {
    milkUnit,
    meatDays,
    milkPeriod: parsePeriod(input.milkPeriod, errors, 'milkPeriod', milkMax, milkUnit),
  };
}

export function requireDate(s, errors, key, today) {
  const d = text(s);
  if (!d) errors[key] = 'Enter a date.';
  else if (!isIsoDate(d)) errors[key] = 'Use the form yyyy-mm-dd, for example 2026-03-14.';
  else if (today && d > today) errors[key] = 'This date is in the future.';
  return d;
}

export const result = (value, errors, extra = {}) =>
  Object.keys(errors).length ? { ok: false, errors } : { ok: true, value, ...extra };

const listTags = (tags) =>
  `${tags.slice(0, 5).join(', ')}${tags.length > 5 ? ` and ${tags.length - 5} more` : ''}`;

function notHere(db, animals, dates, errors, key, opts) {
  const away = absentOn(db, animals, dates.filter(Boolean), opts);
  if (away.length && !errors[key])
    errors[key] = `Not on the farm on that date (not yet born, or gone): ${listTags(away)}.`;
}

// A death, or a status set on the animal's form, dated before a movement
// already recorded would not hold: the later movement decides where the animal is.
function movedLater(per, animals, date, errors, key) {
  const later = animals.filter((a) => (per.get(a.id) || []).some(([, m]) => m.date > date)).map((a) => a.tag);
  if (later.length && !errors[key]) errors[key] = `Recorded as moving after that date: ${listTags(later)}.`;
}

// The date of an animal's first record in force (treated, weighed, moved,
// giving birth), or '' when it has none: it was born by then.
export function firstRecordOf(idx, animal) {
  const own = idx.perAnimal.get(animal.id);
  const dates = own
    ? [...own.treatments, ...own.weights, ...own.movements].filter(inForce).map((r) => r.date)
    : [];
  for (const b of own?.births || []) if (inForce(b) && b.damId === animal.id) dates.push(b.date);
  return dates.reduce((first, d) => (!first || d < first ? d : first), '');
}

// ---------------------------------------------------------------- animals

// Sold, died or away chosen on the animal's form becomes a movement; going
// back is done by voiding that movement, so that the register keeps it.
export function validateAnimal(input, { idx, today, db = null, editing = null }) {
  const errors = {};
  const editingId = editing?.id ?? null;
  const animal = editing ? idx.animalsById.get(editingId) : null;
  const tag = text(input.tag).replace(/\s+/g, ' ');
  if (!tag) errors.tag = 'Enter the tag number.';
  // Lists of tags (treatments, movements, selections) are split at these.
  else if (/[,;]/.test(tag) && normaliseTag(tag) !== normaliseTag(animal?.tag ?? ''))
    errors.tag = 'A tag cannot hold a comma or a semicolon.';
  else {
    const other = findByTag(idx, tag);
    if (other && other.id !== editingId) {
      errors.tag = other.voided
        ? `${other.tag} was entered in error with this tag: restore it and correct it instead.`
        : `The tag ${tag} is, or was, the tag of ${other.tag}.`;
    }
  }
  let tagChange = null;
  if (animal && tag && normaliseTag(tag) !== normaliseTag(animal.tag)) {
    const date = requireDate(input.tagDate || today, errors, 'tagDate', today);
    const reason = text(input.tagReason);
    if (!reason) errors.tagReason = 'Say why the tag changed, for example “lost, replacement fitted”.';
    tagChange = { date, from: animal.tag, to: tag, reason };
  }
  // As the reader shows it, flags and all.
  const eid = readEid(input.eid) ?? text(input.eid).replace(/[\s-]/g, '');
  if (eid && !/^\d{15}$/.test(eid)) errors.eid = 'An electronic ID has 15 digits.';
  else if (eid && idx.byEid?.get(eid) && idx.byEid.get(eid).id !== editingId)
    errors.eid = `This electronic ID is ${idx.byEid.get(eid).tag}’s.`;
  // A scan looks among tags before electronic IDs, so another's tag here would find that animal instead.
  else if (eid) {
    const owner = idx.byTag.get(normaliseTag(eid)) || idx.byFormerTag.get(normaliseTag(eid));
    if (owner && owner.id !== editingId)
      errors.eid = `This electronic ID is, or was, the tag of ${owner.tag}.`;
  }
  const sex = has(SEXES, input.sex) ? input.sex : 'unknown';
  const dob = text(input.dob);
  if (dob && !isIsoDate(dob)) errors.dob = 'Use the form yyyy-mm-dd, for example 2026-03-14.';
  else if (dob && dob > today) errors.dob = 'The date of birth is in the future.';
  else if (dob && animal && dob !== animal.dob) {
    const first = firstRecordOf(idx, animal);
    if (first && dob > first) errors.dob = `${animal.tag} has records from ${first}, before that date.`;
  }
  const born = animal && idx.birthOf.get(animal.id);
  const dam = born ? '' : text(input.dam);
  const sire = born ? '' : text(input.sire);
  const damAnimal = dam ? findByTag(idx, dam) : null;
  if (tag && dam && (normaliseTag(dam) === normaliseTag(tag) || (damAnimal && damAnimal.id === editingId)))
    errors.dam = 'An animal cannot be its own dam.';
  else if (damAnimal && !FEMALE.has(damAnimal.sex))
    errors.dam = `${damAnimal.tag} is recorded as ${damAnimal.sex === 'male' ? 'a male' : 'a castrated male'}, so cannot be a dam.`;
  if (tag && normaliseTag(sire) === normaliseTag(tag)) errors.sire = 'An animal cannot be its own sire.';
  const fieldId = text(input.fieldId);
  if (fieldId && !idx.fieldsById.has(fieldId)) errors.fieldId = 'Choose a field or pen from the list.';

  const was = animal?.status ?? 'on-farm';
  const status = has(OUTCOMES, input.status) || input.status === 'on-farm' ? input.status : was;
  let movement = null;
  if (status !== was) {
    if (status === 'on-farm') {
      errors.status =
        'To bring the animal back, record a movement on to the farm, or void the movement that took it off.';
    } else if (was !== 'on-farm') {
      errors.status = 'The animal is not on the farm: void the movement that took it off first.';
    } else {
      const date = requireDate(input.statusDate, errors, 'statusDate', today);
      if (!errors.statusDate && dob && date < dob) errors.statusDate = 'This is before the date of birth.';
      movement = {
        date,
        direction: 'off',
        outcome: status,
        animalIds: [],
        from: '',
        fromHolding: '',
        to: text(input.to),
        toHolding: text(input.toHolding),
        fieldId: '',
        documentRef: text(input.documentRef),
        cause: status === 'died' ? text(input.cause) : '',
        reason: '',
        notes: '',
      };
      if (status === 'died' && !movement.cause) errors.cause = 'Enter the cause of death, or “not known”.';
      if (status !== 'died' && !movement.toHolding) errors.toHolding = 'Enter the holding number it went to.';
      if (status !== 'died' && !movement.documentRef)
        errors.documentRef = 'Enter the movement document’s reference.';
      if (animal && db && !errors.statusDate) notHere(db, [animal], [date], errors, 'statusDate');
      if (animal && db && !errors.statusDate)
        movedLater(movementsByAnimal(db), [animal], date, errors, 'statusDate');
    }
  }
  // A field chosen on the form for an animal already recorded is a move today.
  let move = null;
  if (animal && status === 'on-farm' && was === 'on-farm' && fieldId !== animal.fieldId && fieldId) {
    move = {
      date: today,
      direction: 'move',
      outcome: '',
      animalIds: [],
      from: '',
      fromHolding: '',
      to: '',
      toHolding: '',
      fieldId,
      documentRef: '',
      cause: '',
      reason: 'Changed on the animal’s details',
      notes: '',
    };
  }
  const value = {
    tag,
    ...(eid || animal?.eid ? { eid } : {}),
    name: text(input.name),
    species: text(input.species),
    breed: text(input.breed),
    sex,
    dob,
    dam,
    sire,
    notes: text(input.notes),
  };
  if (!animal) Object.assign(value, { firstFieldId: fieldId, tagHistory: [] });
  return result(value, errors, { tagChange, movement: movement || move });
}

export function saveAnimal(db, id, res) {
  const a = upsert(db, 'animals', id, res.value);
  if (res.tagChange) {
    a.tagHistory = [...(a.tagHistory || []), res.tagChange];
    renameTag(db, res.tagChange.from, res.tagChange.to);
  }
  if (res.movement) upsert(db, 'movements', null, { ...res.movement, animalIds: [a.id] });
  refreshHerd(db);
  return a;
}

function requireAnimals(input, idx, errors, key = 'tags', keep = null) {
  const tags = parseTagList(input[key]);
  const { found, missing } = resolveTags(idx, tags);
  // A legal record whose animals were all removed in an older version must
  // still be correctable.
  if (!tags.length && !(keep && keep.length === 0)) errors[key] = 'Enter at least one tag number.';
  else if (missing.length)
    errors[key] = `No animal has the tag${missing.length > 1 ? 's' : ''} ${listTags(missing)}.`;
  return found;
}

// ---------------------------------------------------------------- treatments

export function validateTreatment(input, { idx, today, db, editing = null }) {
  const errors = {};
  const date = requireDate(input.date, errors, 'date', today);
  let lastDate = text(input.lastDate);
  const days = text(input.courseDays);
  if (!lastDate && days && isIsoDate(date)) {
    if (!/^\d+$/.test(days) || Number(days) < 1 || Number(days) > 365)
      errors.courseDays = 'Enter the number of days, 1 or more.';
    else lastDate = addDays(date, Number(days) - 1);
  }
  // A course still running is recorded with its planned last day, and stays
  // planned until the farmer confirms it ended so.
  if (lastDate) {
    requireDate(lastDate, errors, 'lastDate');
    if (!errors.lastDate && !errors.date && lastDate < date)
      errors.lastDate = 'The last administration is before the first.';
    else if (!errors.lastDate && !errors.date && addDays(date, 365) < lastDate)
      errors.lastDate = 'A course of more than a year: check the last date.';
  }
  const planned = !!lastDate && (lastDate > today || (!!editing?.planned && !ticked(input.confirmEnd)));
  const time = text(input.time);
  if (time && !isTime(time)) errors.time = 'Use the 24-hour form hh:mm, for example 07:30.';
  const product = text(input.product);
  if (!product) errors.product = 'Enter the medicine or product.';
  // The law asks for the quantity given; a record kept without one may still be corrected.
  const dose = text(input.dose);
  if (!dose && (!editing || editing.dose)) errors.dose = 'Enter the quantity given, for example “10 ml”.';
  const animals = requireAnimals(input, idx, errors, 'tags', editing?.animalIds);
  const { milkUnit, meatDays, milkPeriod } = parseWithdrawal(input, errors);
  // Eggs are asked for where poultry is kept (or an egg period was given).
  const eggs = (db && keepsPoultry(db)) || text(input.eggDays) !== '' || Number.isInteger(editing?.eggDays);
  const eggDays = eggs ? parsePeriod(input.eggDays, errors, 'eggDays', MAX_WITHDRAWAL_DAYS, 'days') : null;
  const offLabel = ticked(input.offLabel);
  const cascade = readCascade(input, offLabel, milkUnit, errors, eggs);
  // An edit that keeps the days need not prove again that its animals were here (one may have been sold since).
  const sameDays =
    editing && editing.date === date && (editing.lastDate || editing.date) === (lastDate || date);
  const fresh = sameDays ? animals.filter((a) => !editing.animalIds.includes(a.id)) : animals;
  if (!errors.date && !errors.lastDate && db) notHere(db, fresh, [date, lastDate || date], errors, 'tags');
  return result(
    {
      date,
      lastDate: lastDate && lastDate !== date ? lastDate : '',
      planned,
      time,
      animalIds: animals.map((a) => a.id),
      target: text(input.target),
      product,
      dose,
      batch: text(input.batch),
      reason: text(input.reason),
      givenBy: text(input.givenBy),
      vet: text(input.vet),
      vetDetails: text(input.vetDetails),
      meatDays,
      milkPeriod,
      milkUnit,
      ...(eggs ? { eggDays } : {}),
      offLabel,
      ...cascade,
      // As the farm was on the day, and kept through later edits.
      organic: typeof editing?.organic === 'boolean' ? editing.organic : organicOn(db?.farm, date),
      notes: text(input.notes),
    },
    errors,
  );
}

// Under the cascade, which case applies to each food, and the label's
// longest period where it has one: the minimum follows from them.
function readCascade(input, offLabel, milkUnit, errors, eggs) {
  const out = { meatCascade: '', meatLabelDays: null, milkCascade: '', milkLabelPeriod: null };
  if (eggs) Object.assign(out, { eggCascade: '', eggLabelDays: null });
  if (!offLabel) return out;
  const foods = [
    ['meat', 'meatCascade', 'meatLabelDays', 'days'],
    ['milk', 'milkCascade', 'milkLabelPeriod', milkUnit],
    ...(eggs ? [['eggs', 'eggCascade', 'eggLabelDays', 'days']] : []),
  ];
  for (const [food, caseKey, labelKey, unit] of foods) {
    const which = text(input[caseKey]);
    if (!has(CASCADE_CASES, which)) errors[caseKey] = `Choose which case applies to the ${food}.`;
    out[caseKey] = which;
    if (which !== 'label') continue;
    const max = unit === 'hours' ? MAX_WITHDRAWAL_HOURS : MAX_WITHDRAWAL_DAYS;
    out[labelKey] = parsePeriod(input[labelKey], errors, labelKey, max, unit);
    if (out[labelKey] === 0) errors[labelKey] = 'A label period of 0 is the “zero period” case.';
  }
  return out;
}

export function validateWeight(input, { idx, today, db, editing = null }) {
  const errors = {};
  const date = requireDate(input.date, errors, 'date', today);
  const tag = text(input.tag);
  const animal = tag ? findByTag(idx, tag) : null;
  if (!tag) errors.tag = 'Enter the tag number.';
  else if (!animal) errors.tag = `No animal has the tag ${tag}.`;
  const kg = parseNumber(input.kg);
  if (!(kg > 0) || kg > 5000) errors.kg = 'Enter the weight in kilograms, for example 412.5.';
  if (animal && !errors.date && db && !(editing && editing.animalId === animal.id && editing.date === date))
    notHere(db, [animal], [date], errors, 'tag');
  // As on a handling day: one weight an animal a day, the first voided to weigh again.
  // A correction in place adds no weight, even where an older version let two stand.
  const inPlace = editing && editing.animalId === animal?.id && editing.date === date;
  const already =
    animal &&
    !errors.tag &&
    !inPlace &&
    (idx.perAnimal.get(animal.id)?.weights || []).find((w) => inForce(w) && w.date === date);
  if (already)
    errors.tag = `${animal.tag} was already weighed on ${date} (${already.kg} kg). Void that weight to weigh again.`;
  return result({ date, animalId: animal?.id ?? '', kg }, errors);
}

// ---------------------------------------------------------------- births

// The young are given as rows: youngTag-N with youngSex-N. Tags not yet in
// the herd become new animals, born on the birth date to that dam, in the
// dam's field. Each young keeps its own sex.
export function validateBirth(input, { idx, today, db, editing = null }) {
  const errors = {};
  const date = requireDate(input.date, errors, 'date', today);
  const damTag = text(input.damTag);
  const dam = damTag ? findByTag(idx, damTag) : null;
  if (!damTag) errors.damTag = 'Enter the tag number of the dam.';
  else if (!dam) errors.damTag = `No animal has the tag ${damTag}.`;
  else if (!FEMALE.has(dam.sex))
    errors.damTag = `${dam.tag} is recorded as ${dam.sex === 'male' ? 'a male' : 'a castrated male'}.`;
  else if (!errors.date && db && !(editing && editing.damId === dam.id && editing.date === date))
    notHere(db, [dam], [date], errors, 'damTag');
  const young = [];
  for (let i = 0; `youngTag-${i}` in input; i++) {
    const tag = text(input[`youngTag-${i}`]).replace(/\s+/g, ' ');
    if (tag)
      young.push({ tag, sex: has(SEXES, input[`youngSex-${i}`]) ? input[`youngSex-${i}`] : 'unknown' });
  }
  for (const tag of parseTagList(input.offspringTags))
    young.push({ tag, sex: has(SEXES, input.sex) ? input.sex : 'unknown' });
  const existing = [];
  const created = [];
  const sexes = new Map();
  const seen = new Set();
  for (const y of young) {
    const key = normaliseTag(y.tag);
    if (seen.has(key)) {
      errors.young = `${y.tag} is listed twice.`;
      continue;
    }
    seen.add(key);
    const a = findByTag(idx, y.tag);
    const first = a ? firstRecordOf(idx, a) : '';
    if (a && dam && a.id === dam.id) errors.young = 'The dam cannot be among her own young.';
    else if (a && idx.birthOf.get(a.id) && idx.birthOf.get(a.id).id !== editing?.id)
      errors.young = `${a.tag} is already recorded as born to another dam.`;
    // A calf tagged before its birth was recorded is linked, but saving would overwrite a different date of
    // birth: more likely a mistyped tag. The young of the birth being edited follow its date.
    else if (a && a.dob && !errors.date && a.dob !== date && !editing?.offspringIds?.includes(a.id))
      errors.young = `${a.tag} is recorded as born on ${a.dob}: check the tag.`;
    else if (
      first &&
      !errors.date &&
      first < date &&
      !(editing?.offspringIds?.includes(a.id) && editing.date === date)
    )
      errors.young = `${a.tag} has records from ${first}, before this birth: check the tag.`;
    else if (a) {
      existing.push(a);
      sexes.set(a.id, y.sex);
    } else created.push(y);
  }
  return result(
    {
      date,
      damId: dam?.id ?? '',
      sire: text(input.sire),
      offspringIds: existing.map((a) => a.id),
      notes: text(input.notes),
    },
    errors,
    {
      sexes,
      newAnimals: created.map((y) => ({
        tag: y.tag,
        name: '',
        species: dam?.species ?? '',
        breed: dam?.breed ?? '',
        sex: y.sex,
        dob: date,
        dam: '',
        sire: '',
        firstFieldId: dam?.status === 'on-farm' ? dam.fieldId : '',
        tagHistory: [],
        notes: '',
      })),
    },
  );
}

// Parentage comes from the birth alone; the young's date of birth and sex
// follow the birth as it is edited.
export function saveBirth(db, birthId, res) {
  const created = res.newAnimals.map((a) => upsert(db, 'animals', null, a));
  const birth = upsert(db, 'births', birthId, {
    ...res.value,
    offspringIds: [...res.value.offspringIds, ...created.map((a) => a.id)],
  });
  const byId = new Map(db.animals.map((a) => [a.id, a]));
  for (const id of birth.offspringIds) {
    const a = byId.get(id);
    if (!a) continue;
    a.dob = birth.date;
    if (res.sexes.has(id)) a.sex = res.sexes.get(id);
    a.dam = '';
    a.sire = '';
  }
  refreshHerd(db);
  return birth;
}

// ---------------------------------------------------------------- movements

export function validateMovement(input, { idx, today, db, editing = null }) {
  const errors = {};
  const date = requireDate(input.date, errors, 'date', today);
  const direction = has(DIRECTIONS, input.direction) ? input.direction : 'move';
  const animals = requireAnimals(input, idx, errors);
  const fieldId = direction === 'off' ? '' : text(input.fieldId);
  if (fieldId && !idx.fieldsById.has(fieldId)) errors.fieldId = 'Choose a field or pen from the list.';
  if (direction === 'move' && !fieldId) errors.fieldId = 'Choose where the animals went.';
  const outcome = direction === 'off' ? (has(OUTCOMES, input.outcome) ? input.outcome : 'away') : '';
  const cause = outcome === 'died' ? text(input.cause) : '';
  if (outcome === 'died' && !cause) errors.cause = 'Enter the cause of death, or “not known”.';
  if (db && !errors.date && animals.length) {
    const opts = { skipId: editing?.id };
    const per = movementsByAnimal(db, opts);
    if (direction === 'on') {
      const unborn = animals.filter((a) => a.dob && a.dob > date).map((a) => a.tag);
      if (unborn.length) errors.tags = `Not yet born on that date: ${listTags(unborn)}.`;
      // Sold or away animals may come back; a dead one cannot. An arrival before the death (by date, or
      // entered before it within the day) is an earlier one and stays correctable.
      const at = editing ? db.movements.findIndex((m) => m.id === editing.id) : -1;
      const before = (i, m) => m.date < date || (m.date === date && (at < 0 || i < at));
      const dead = animals
        .filter((a) =>
          (per.get(a.id) || []).some(
            ([i, m]) => m.direction === 'off' && m.outcome === 'died' && before(i, m),
          ),
        )
        .map((a) => a.tag);
      if (dead.length && !errors.tags) errors.tags = `Recorded as dead: ${listTags(dead)}.`;
      // An animal already here (by an earlier movement) cannot arrive again; one
      // with no movement yet is taken to arrive by this one.
      const here = animals
        .filter((a) => (per.get(a.id) || []).some(([i, m]) => before(i, m)))
        .filter((a) => stateOf(a, per.get(a.id), date).status === 'on-farm')
        .map((a) => a.tag);
      if (here.length && !errors.tags) errors.tags = `Already on the farm on that date: ${listTags(here)}.`;
    } else {
      notHere(db, animals, [date], errors, 'tags', opts);
      if (outcome === 'died') movedLater(per, animals, date, errors, 'tags');
      // A new one comes after the day's movements already recorded: sold that day, an animal cannot die or move too.
      const left = editing
        ? []
        : animals.filter((a) => stateOf(a, per.get(a.id), date).status !== 'on-farm').map((a) => a.tag);
      if (left.length && !errors.tags)
        errors.tags = `Already gone by the end of that day: ${listTags(left)}.`;
    }
  }
  // The movement book must name the other holding and the movement document.
  const fromHolding = text(input.fromHolding);
  const toHolding = text(input.toHolding);
  const documentRef = text(input.documentRef);
  // A movement kept without them may still be corrected.
  const crossing = direction === 'on' || (direction === 'off' && outcome !== 'died');
  const ask = (key, given) => !given && (!editing || editing[key]);
  if (direction === 'on' && ask('fromHolding', fromHolding))
    errors.fromHolding = 'Enter the holding number it came from.';
  if (crossing && direction === 'off' && ask('toHolding', toHolding))
    errors.toHolding = 'Enter the holding number it went to.';
  if (crossing && ask('documentRef', documentRef))
    errors.documentRef = 'Enter the movement document’s reference.';
  return result(
    {
      date,
      direction,
      outcome,
      animalIds: animals.map((a) => a.id),
      from: text(input.from),
      fromHolding,
      to: text(input.to),
      toHolding,
      fieldId,
      documentRef,
      cause,
      reason: text(input.reason),
      notes: text(input.notes),
    },
    errors,
  );
}

export function saveMovement(db, id, value) {
  const m = upsert(db, 'movements', id, value);
  refreshHerd(db);
  return m;
}

export function validateField(input, { db, editing = null }) {
  const editingId = editing?.id ?? null;
  const errors = {};
  const name = text(input.name);
  if (!name) errors.name = 'Enter a name.';
  else if (db.fields.some((f) => f.id !== editingId && fold(f.name) === fold(name)))
    errors.name = 'Another field or pen has this name.';
  const kind = has(FIELD_KINDS, input.kind) ? input.kind : 'field';
  let area = null;
  if (text(input.area)) {
    area = parseNumber(input.area);
    if (!(area >= 0)) errors.area = 'Enter the area in hectares, for example 4.5.';
  }
  return result({ name, kind, area, notes: text(input.notes) }, errors);
}

// ---------------------------------------------------------------- changes

export function upsert(db, collection, id, value) {
  const list = db[collection];
  const i = id ? list.findIndex((r) => r.id === id) : -1;
  if (i >= 0) {
    list[i] = { ...list[i], ...value, id };
    return list[i];
  }
  const rec = { id: newId(collection.slice(0, 2)), ...value };
  list.push(rec);
  return rec;
}

// Typed dam and sire tags follow a new tag.
export function renameTag(db, oldTag, newTag) {
  const old = normaliseTag(oldTag);
  if (old === normaliseTag(newTag)) return;
  for (const a of db.animals) {
    if (a.dam && normaliseTag(a.dam) === old) a.dam = newTag;
    if (a.sire && normaliseTag(a.sire) === old) a.sire = newTag;
  }
}

// Records a keeper must keep are voided, never erased: struck through, left
// out of everything that counts, and restorable.
export function voidRecord(db, collection, id, reason, at) {
  const rec = db[collection].find((r) => r.id === id);
  if (!rec || rec.voided) return false;
  rec.voided = { at, reason: text(reason) };
  refreshHerd(db);
  return true;
}

// Why a voided record cannot come back as it stands, or null. A birth whose
// young were recorded since as born to another dam would give them two.
export function restoreProblem(db, idx, collection, id) {
  const rec = db[collection].find((r) => r.id === id);
  if (collection !== 'births' || !rec) return null;
  const taken = rec.offspringIds.filter((y) => idx.birthOf.get(y) && idx.birthOf.get(y).id !== id);
  if (!taken.length) return null;
  const tags = listTags(taken.map((y) => idx.animalsById.get(y)?.tag ?? y));
  return `${tags} ${taken.length === 1 ? 'is' : 'are'} now recorded as born to another dam: void that birth first.`;
}

export function restoreRecord(db, collection, id) {
  const rec = db[collection].find((r) => r.id === id);
  if (!rec || !rec.voided) return false;
  delete rec.voided;
  refreshHerd(db);
  return true;
}

// Whether anything the law asks to keep names this animal.
export function hasRecords(db, id) {
  return (
    db.treatments.some((t) => t.animalIds.includes(id)) ||
    db.movements.some((m) => m.animalIds.includes(id)) ||
    db.births.some((b) => b.damId === id || b.offspringIds.includes(id)) ||
    db.weights.some((w) => w.animalId === id)
  );
}

// Animals with records are marked "entered in error" (voided); only those
// with none at all are erased.
export function removeAnimals(db, ids, reason, at) {
  const erase = new Set(ids.filter((id) => !hasRecords(db, id)));
  let voided = 0;
  for (const a of db.animals) {
    if (ids.includes(a.id) && !erase.has(a.id) && !a.voided) {
      a.voided = { at, reason: text(reason) || 'Entered in error' };
      voided++;
    }
  }
  db.animals = db.animals.filter((a) => !erase.has(a.id));
  refreshHerd(db);
  return { erased: erase.size, voided };
}

// Fields are archived, never removed: past movements still name them.
export function archiveField(db, id, today) {
  const f = db.fields.find((x) => x.id === id);
  if (!f) return false;
  f.archived = f.archived ? '' : today;
  return true;
}

// The young's birth reported to the authority on `date`: the overview stops
// reminding.
export function markRegistered(db, animalId, date) {
  const a = db.animals.find((x) => x.id === animalId);
  if (a) a.registeredOn = date;
}

// Days to register a birth, typed per species as "27" or "27 days"; blank
// is not tracked. Anything else is refused rather than dropped, which would
// stop the reminders without a word. entries: [[species, typed]].
export function readRegisterDays(entries) {
  const value = {};
  for (const [species, typed] of entries) {
    const v = typed.trim();
    const days = /^(\d{1,4})(\s*days?)?$/i.exec(v);
    if (days) value[species] = Number(days[1]);
    else if (v) return { ok: false, species };
  }
  return { ok: true, value };
}

// The farm's own details; keys of the farm this version does not know stay.
export function saveFarmDetails(db, { name, holding, address, organic, organicSince = '', registerDays }) {
  const since = organic ? organicSince : '';
  // Treatments kept before each carried its own status take the one they had
  // until now, so that a change of status does not rewrite the past.
  if (!!organic !== !!db.farm.organic || since !== (db.farm.organicSince || '')) {
    const before = { farm: db.farm };
    for (const t of db.treatments ?? [])
      if (typeof t.organic !== 'boolean') t.organic = treatmentOrganic(t, before);
  }
  db.farm = { ...db.farm, name: name.trim(), holding: holding.trim(), organic: !!organic, registerDays };
  if (since) db.farm.organicSince = since;
  else delete db.farm.organicSince;
  // Absent until given, so that a file read and saved again stays as it was.
  if (typeof address === 'string' && (address.trim() || typeof db.farm.address === 'string'))
    db.farm.address = address.trim();
}
