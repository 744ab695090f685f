// Turning what the farmer typed into records, and the changes that follow
// from adding or removing them. Pure: works on the database object and its
// index, never on the page.

import {
  isIsoDate, normaliseTag, fold, newId, SEXES, STATUSES, FIELD_KINDS, DIRECTIONS, MAX_WITHDRAWAL_DAYS,
} from './model.js';

const text = (v) => (v === null || v === undefined ? '' : String(v).trim());
const has = (pairs, v) => pairs.some(([k]) => k === v);

// Ear tags may hold spaces ("UK 123456 700123"), so lists split on commas,
// semicolons and line breaks only.
export function parseTagList(s) {
  const seen = new Set();
  const out = [];
  for (const part of text(s).split(/[,;\n\r]+/)) {
    const tag = part.trim().replace(/\s+/g, ' ');
    const key = normaliseTag(tag);
    if (tag && !seen.has(key)) { seen.add(key); out.push(tag); }
  }
  return out;
}

export function resolveTags(idx, tags) {
  const found = [];
  const missing = [];
  for (const tag of tags) {
    const a = idx.byTag.get(normaliseTag(tag));
    if (a) found.push(a); else missing.push(tag);
  }
  return { found, missing };
}

// Accepts "412.5" and "412,5".
export function parseNumber(s) {
  const t = text(s).replace(',', '.');
  if (!/^\d+(\.\d+)?$/.test(t)) return NaN;
  return Number(t);
}

function parseDays(s, errors, key) {
  const t = text(s);
  if (t === '') return 0;
  if (!/^\d+$/.test(t) || Number(t) > MAX_WITHDRAWAL_DAYS) {
    errors[key] = `Enter whole days from 0 to ${MAX_WITHDRAWAL_DAYS}.`;
    return 0;
  }
  return Number(t);
}

function requireDate(s, errors, key, today) {
  const d = text(s);
  if (!d) errors[key] = 'Enter a date.';
  else if (!isIsoDate(d)) errors[key] = 'Use the form yyyy-mm-dd, for example 2026-03-14.';
  else if (today && d > today) errors[key] = 'This date is in the future.';
  return d;
}

const result = (value, errors, extra = {}) =>
  Object.keys(errors).length ? { ok: false, errors } : { ok: true, value, ...extra };

export function validateAnimal(input, idx, editingId, today) {
  const errors = {};
  const tag = text(input.tag).replace(/\s+/g, ' ');
  if (!tag) errors.tag = 'Enter the tag number.';
  else {
    const other = idx.byTag.get(normaliseTag(tag));
    if (other && other.id !== editingId) errors.tag = `Another animal already has the tag ${other.tag}.`;
  }
  const sex = has(SEXES, input.sex) ? input.sex : 'unknown';
  const status = has(STATUSES, input.status) ? input.status : 'on-farm';
  const dob = text(input.dob);
  if (dob && !isIsoDate(dob)) errors.dob = 'Use the form yyyy-mm-dd, for example 2026-03-14.';
  else if (dob && dob > today) errors.dob = 'The date of birth is in the future.';
  let statusDate = '';
  if (status !== 'on-farm') {
    statusDate = requireDate(input.statusDate, errors, 'statusDate', today);
    if (!errors.statusDate && dob && statusDate < dob) errors.statusDate = 'This is before the date of birth.';
  }
  const dam = text(input.dam);
  const sire = text(input.sire);
  if (tag && normaliseTag(dam) === normaliseTag(tag)) errors.dam = 'An animal cannot be its own dam.';
  if (tag && normaliseTag(sire) === normaliseTag(tag)) errors.sire = 'An animal cannot be its own sire.';
  const fieldId = text(input.fieldId);
  if (fieldId && !idx.fieldsById.has(fieldId)) errors.fieldId = 'Choose a field or pen from the list.';
  return result({
    tag, name: text(input.name), species: text(input.species), breed: text(input.breed), sex, dob, dam, sire,
    status, statusDate, fieldId: status === 'on-farm' ? fieldId : '', notes: text(input.notes),
  }, errors);
}

function requireAnimals(input, idx, errors, key = 'tags') {
  const tags = parseTagList(input[key]);
  const { found, missing } = resolveTags(idx, tags);
  if (!tags.length) errors[key] = 'Enter at least one tag number.';
  else if (missing.length) {
    errors[key] = `No animal has the tag${missing.length > 1 ? 's' : ''} ${missing.slice(0, 5).join(', ')}` +
      `${missing.length > 5 ? ` and ${missing.length - 5} more` : ''}.`;
  }
  return found;
}

export function validateTreatment(input, idx, today) {
  const errors = {};
  const date = requireDate(input.date, errors, 'date', today);
  const product = text(input.product);
  if (!product) errors.product = 'Enter the medicine or product.';
  const animals = requireAnimals(input, idx, errors);
  const meatDays = parseDays(input.meatDays, errors, 'meatDays');
  const milkDays = parseDays(input.milkDays, errors, 'milkDays');
  return result({
    date, animalIds: animals.map((a) => a.id), target: text(input.target), product, dose: text(input.dose),
    batch: text(input.batch), reason: text(input.reason), givenBy: text(input.givenBy), meatDays, milkDays,
    notes: text(input.notes),
  }, errors);
}

export function validateWeight(input, idx, today) {
  const errors = {};
  const date = requireDate(input.date, errors, 'date', today);
  const tag = text(input.tag);
  const animal = tag ? idx.byTag.get(normaliseTag(tag)) : null;
  if (!tag) errors.tag = 'Enter the tag number.';
  else if (!animal) errors.tag = `No animal has the tag ${tag}.`;
  const kg = parseNumber(input.kg);
  if (!(kg > 0) || kg > 5000) errors.kg = 'Enter the weight in kilograms, for example 412.5.';
  return result({ date, animalId: animal?.id ?? '', kg }, errors);
}

// Offspring tags that are not yet in the herd become new animals, born on the
// birth date to that dam, in the dam's field.
export function validateBirth(input, idx, today) {
  const errors = {};
  const date = requireDate(input.date, errors, 'date', today);
  const damTag = text(input.damTag);
  const dam = damTag ? idx.byTag.get(normaliseTag(damTag)) : null;
  if (!damTag) errors.damTag = 'Enter the tag number of the dam.';
  else if (!dam) errors.damTag = `No animal has the tag ${damTag}.`;
  const tags = parseTagList(input.offspringTags);
  const existing = [];
  const created = [];
  for (const tag of tags) {
    const a = idx.byTag.get(normaliseTag(tag));
    if (a && dam && a.id === dam.id) errors.offspringTags = 'The dam cannot be among her own offspring.';
    else if (a) existing.push(a);
    else created.push(tag);
  }
  const sex = has(SEXES, input.sex) ? input.sex : 'unknown';
  return result(
    { date, damId: dam?.id ?? '', sire: text(input.sire), offspringIds: existing.map((a) => a.id), notes: text(input.notes) },
    errors,
    { newAnimals: created.map((tag) => ({
      tag, name: '', species: dam?.species ?? '', breed: dam?.breed ?? '', sex, dob: date,
      dam: dam?.tag ?? '', sire: text(input.sire), status: 'on-farm', statusDate: '',
      fieldId: dam?.status === 'on-farm' ? dam.fieldId : '', notes: '',
    })) },
  );
}

export function validateMovement(input, idx, today) {
  const errors = {};
  const date = requireDate(input.date, errors, 'date', today);
  const direction = has(DIRECTIONS, input.direction) ? input.direction : 'move';
  const animals = requireAnimals(input, idx, errors);
  const fieldId = direction === 'off' ? '' : text(input.fieldId);
  if (fieldId && !idx.fieldsById.has(fieldId)) errors.fieldId = 'Choose a field or pen from the list.';
  if (direction === 'move' && !fieldId) errors.fieldId = 'Choose where the animals went.';
  const outcome = direction === 'off' && ['sold', 'died'].includes(input.outcome) ? input.outcome : '';
  return result({
    date, direction, animalIds: animals.map((a) => a.id), from: text(input.from), to: text(input.to), fieldId,
    reason: text(input.reason), notes: text(input.notes),
  }, errors, { outcome });
}

export function validateField(input, db, editingId) {
  const errors = {};
  const name = text(input.name);
  if (!name) errors.name = 'Enter a name.';
  else if (db.fields.some((f) => f.id !== editingId && fold(f.name) === fold(name))) errors.name = 'Another field or pen has this name.';
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

export function removeRecord(db, collection, id) {
  const i = db[collection].findIndex((r) => r.id === id);
  if (i >= 0) db[collection].splice(i, 1);
  return i >= 0;
}

// Dam and sire are kept as tags, so a new tag is carried over to the young.
export function renameTag(db, oldTag, newTag) {
  const old = normaliseTag(oldTag);
  if (old === normaliseTag(newTag)) return;
  for (const a of db.animals) {
    if (a.dam && normaliseTag(a.dam) === old) a.dam = newTag;
    if (a.sire && normaliseTag(a.sire) === old) a.sire = newTag;
  }
}

// Births create their offspring; a movement places animals in a field, or
// records that they left the farm.
export function addBirth(db, birthId, value, newAnimals) {
  const created = newAnimals.map((a) => upsert(db, 'animals', null, a));
  return upsert(db, 'births', birthId, { ...value, offspringIds: [...value.offspringIds, ...created.map((a) => a.id)] });
}

export function applyMovement(db, movement, outcome) {
  const ids = new Set(movement.animalIds);
  for (const a of db.animals) {
    if (!ids.has(a.id)) continue;
    if (movement.direction === 'off') {
      if (outcome) Object.assign(a, { status: outcome, statusDate: movement.date, fieldId: '' });
    } else {
      if (movement.direction === 'on' && a.status !== 'on-farm') Object.assign(a, { status: 'on-farm', statusDate: '' });
      if (movement.fieldId && a.status === 'on-farm') a.fieldId = movement.fieldId;
    }
  }
}

// Removing animals takes their weights with them and drops them from other
// records. Treatments stay in the book (it must be kept even for animals no
// longer here); movements and births left about nobody go.
export function removeAnimals(db, ids) {
  const gone = new Set(ids);
  const goneTags = new Map(db.animals.filter((a) => gone.has(a.id)).map((a) => [a.id, a.tag]));
  const before = db.weights.length;
  db.animals = db.animals.filter((a) => !gone.has(a.id));
  db.weights = db.weights.filter((w) => !gone.has(w.animalId));
  for (const t of db.treatments) {
    const removed = t.animalIds.filter((id) => gone.has(id));
    if (!removed.length) continue;
    // The book still has to say who was treated.
    const note = `removed: ${removed.map((id) => goneTags.get(id)).join(', ')}`;
    t.target = t.target ? `${t.target} (${note})` : note;
    t.animalIds = t.animalIds.filter((id) => !gone.has(id));
  }
  db.movements = db.movements.filter((m) => {
    m.animalIds = m.animalIds.filter((id) => !gone.has(id));
    return m.animalIds.length > 0;
  });
  db.births = db.births.filter((b) => {
    if (gone.has(b.damId)) b.damId = '';
    b.offspringIds = b.offspringIds.filter((id) => !gone.has(id));
    return b.damId || b.offspringIds.length;
  });
  return { weightsRemoved: before - db.weights.length };
}

export function removeField(db, id) {
  for (const a of db.animals) if (a.fieldId === id) a.fieldId = '';
  for (const m of db.movements) if (m.fieldId === id) m.fieldId = '';
  return removeRecord(db, 'fields', id);
}
