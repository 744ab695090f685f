// Checking a loaded database before anything reads it. Anything this
// version cannot fully understand is refused rather than repaired.

import { FORMAT, SCHEMA_VERSION, COLLECTIONS, newId } from './database.js';
import { isIsoDate, isTime } from './dates.js';
import {
  SEXES,
  FIELD_KINDS,
  DIRECTIONS,
  STATUSES,
  MILK_UNITS,
  OUTCOMES,
  MAX_WITHDRAWAL_DAYS,
  MAX_WITHDRAWAL_HOURS,
  normaliseTag,
} from './text.js';
import { upgradeFromV1 } from './upgrade.js';

// The cascade cases a treatment may name (rules/withdrawal.js words them).
const CASCADE_KEYS = ['', 'label', 'unauthorised', 'zero'];

// Field checkers for loaded records: each returns the normalised value, or
// throws a message. A missing key takes its default; a present key of the
// wrong type is damage and refuses the whole file.
const miss = (v) => v === undefined;
const isObject = (v) => v !== null && typeof v === 'object' && !Array.isArray(v);
const check = {
  text: (v) => {
    if (miss(v)) return '';
    if (typeof v !== 'string') throw 'is not text';
    return v;
  },
  required: (v) => {
    if (typeof v !== 'string' || !v.trim()) throw 'is missing';
    return v;
  },
  date: (v) => {
    if (typeof v !== 'string' || !isIsoDate(v)) throw 'is not a yyyy-mm-dd date';
    return v;
  },
  optDate: (v) => {
    if (miss(v) || v === '') return '';
    return check.date(v);
  },
  optTime: (v) => {
    if (miss(v) || v === '') return '';
    if (!isTime(v)) throw 'is not a hh:mm time';
    return v;
  },
  count: (v) => {
    if (!Number.isInteger(v) || v < 1) throw 'is not a whole number of head';
    return v;
  },
  flag: (v) => {
    if (miss(v)) return false;
    if (typeof v !== 'boolean') throw 'is not true or false';
    return v;
  },
  days: (v) => {
    if (miss(v)) return 0;
    if (!Number.isInteger(v) || v < 0 || v > MAX_WITHDRAWAL_DAYS) throw 'is not a whole number of days';
    return v;
  },
  // Not recorded (null) differs from an explicit 0.
  period: (v) => {
    if (miss(v) || v === null) return null;
    if (!Number.isInteger(v) || v < 0 || v > MAX_WITHDRAWAL_HOURS) throw 'is not a whole number';
    return v;
  },
  kg: (v) => {
    if (typeof v !== 'number' || !Number.isFinite(v) || v <= 0) throw 'is not a weight';
    return v;
  },
  amount: (v) => {
    if (typeof v !== 'number' || !Number.isFinite(v) || v <= 0) throw 'is not a quantity';
    return v;
  },
  // Keys added within format 2: absent stays absent, so that a file read and
  // saved again is unchanged.
  newText: (v) => {
    if (miss(v)) return undefined;
    if (typeof v !== 'string') throw 'is not text';
    return v;
  },
  newDate: (v) => {
    if (miss(v) || v === '') return v;
    if (!isIsoDate(v)) throw 'is not a yyyy-mm-dd date';
    return v;
  },
  newFlag: (v) => {
    if (miss(v)) return undefined;
    if (typeof v !== 'boolean') throw 'is not true or false';
    return v;
  },
  newKg: (v) => (miss(v) ? undefined : check.kg(v)),
  newPeriod: (v) => {
    if (miss(v) || v === null) return v;
    return check.period(v);
  },
  newOneOf: (values) => (v) => {
    if (miss(v)) return undefined;
    if (!values.includes(v)) throw 'has an unknown value';
    return v;
  },
  // Added within format 2, absent on older purchases.
  disposals: (v) => {
    if (miss(v)) return undefined;
    const ok = (d) => isObject(d) && isIsoDate(d.date) && typeof d.quantity === 'number' && d.quantity > 0;
    if (!Array.isArray(v) || !v.every(ok)) throw 'is not a list of disposals';
    return v;
  },
  optAmount: (v) => {
    if (miss(v)) return undefined;
    if (v === null) return null;
    if (typeof v !== 'number' || !Number.isFinite(v) || v < 0) throw 'is not a quantity';
    return v;
  },
  area: (v) => {
    if (miss(v) || v === null) return null;
    if (typeof v !== 'number' || !Number.isFinite(v) || v < 0) throw 'is not an area';
    return v;
  },
  ids: (v) => {
    if (miss(v)) return [];
    if (!Array.isArray(v) || v.some((x) => typeof x !== 'string')) throw 'is not a list of ids';
    return v;
  },
  oneOf: (values, dflt) => (v) => {
    if (miss(v)) return dflt;
    if (!values.includes(v)) throw 'has an unknown value';
    return v;
  },
  voided: (v) => {
    if (miss(v) || v === null) return undefined;
    if (!isObject(v) || typeof v.at !== 'string' || typeof v.reason !== 'string') throw 'is not a voiding';
    return v;
  },
  spells: (v) => {
    if (miss(v)) return [];
    if (
      !Array.isArray(v) ||
      v.some(
        (s) =>
          !isObject(s) ||
          typeof s.animalId !== 'string' ||
          !isIsoDate(s.from) ||
          (s.to !== '' && !isIsoDate(s.to)),
      )
    ) {
      throw 'is not a list of dated memberships';
    }
    return v;
  },
  // Breeding (format 3): each entry keeps keys of its own this version does not know.
  raddles: (v) => {
    if (miss(v)) return [];
    if (
      !Array.isArray(v) ||
      v.some((r) => !isObject(r) || !isIsoDate(r.date) || typeof r.colour !== 'string')
    )
      throw 'is not a list of dated raddle colours';
    return v;
  },
  marks: (v) => {
    if (miss(v)) return [];
    if (
      !Array.isArray(v) ||
      v.some((m) => !isObject(m) || typeof m.animalId !== 'string' || typeof m.colour !== 'string')
    )
      throw 'is not a list of raddle marks';
    return v;
  },
  scanResults: (v) => {
    if (miss(v)) return [];
    const ok = (r) =>
      isObject(r) &&
      typeof r.animalId === 'string' &&
      Number.isInteger(r.foetuses) &&
      r.foetuses >= 0 &&
      (miss(r.stage) || typeof r.stage === 'string');
    if (!Array.isArray(v) || !v.every(ok)) throw 'is not a list of scan results';
    return v;
  },
  tagHistory: (v) => {
    if (miss(v)) return [];
    if (
      !Array.isArray(v) ||
      v.some(
        (c) =>
          !isObject(c) ||
          !isIsoDate(c.date) ||
          typeof c.from !== 'string' ||
          typeof c.to !== 'string' ||
          typeof c.reason !== 'string',
      )
    ) {
      throw 'is not a list of tag changes';
    }
    return v;
  },
};
const keys = (pairs) => pairs.map(([k]) => k);

// Format 1, as read before upgrading.
const V1_SHAPES = {
  animals: {
    tag: check.required,
    name: check.text,
    species: check.text,
    breed: check.text,
    sex: check.oneOf(keys(SEXES), 'unknown'),
    dob: check.optDate,
    dam: check.text,
    sire: check.text,
    status: check.oneOf(['on-farm', 'sold', 'died'], 'on-farm'),
    statusDate: check.optDate,
    fieldId: check.text,
    notes: check.text,
  },
  fields: {
    name: check.required,
    kind: check.oneOf(keys(FIELD_KINDS), 'field'),
    area: check.area,
    notes: check.text,
  },
  treatments: {
    date: check.date,
    animalIds: check.ids,
    target: check.text,
    product: check.required,
    dose: check.text,
    batch: check.text,
    reason: check.text,
    givenBy: check.text,
    meatDays: check.days,
    milkDays: check.days,
    notes: check.text,
  },
  weights: { date: check.date, animalId: check.required, kg: check.kg },
  births: {
    date: check.date,
    damId: check.text,
    sire: check.text,
    offspringIds: check.ids,
    notes: check.text,
  },
  movements: {
    date: check.date,
    direction: check.oneOf(keys(DIRECTIONS), 'move'),
    animalIds: check.ids,
    from: check.text,
    to: check.text,
    fieldId: check.text,
    reason: check.text,
    notes: check.text,
  },
  purchases: {},
  groups: {},
};

const V2_SHAPES = {
  animals: {
    ...V1_SHAPES.animals,
    status: check.oneOf(keys(STATUSES), 'on-farm'),
    firstFieldId: check.text,
    tagHistory: check.tagHistory,
    voided: check.voided,
    eid: check.newText,
    registeredOn: check.newDate,
  },
  fields: { ...V1_SHAPES.fields, archived: check.optDate },
  treatments: {
    ...V1_SHAPES.treatments,
    lastDate: check.optDate,
    time: check.optTime,
    vet: check.text,
    meatDays: check.period,
    milkDays: undefined,
    milkPeriod: check.period,
    milkUnit: check.oneOf(keys(MILK_UNITS), 'days'),
    offLabel: check.flag,
    voided: check.voided,
    purchaseId: check.newText,
    stockUsed: check.optAmount,
    planned: check.newFlag,
    vetDetails: check.newText,
    organic: check.newFlag,
    meatCascade: check.newOneOf(CASCADE_KEYS),
    milkCascade: check.newOneOf(CASCADE_KEYS),
    meatLabelDays: check.newPeriod,
    eggDays: check.newPeriod,
    eggCascade: check.newOneOf(CASCADE_KEYS),
    eggLabelDays: check.newPeriod,
    milkLabelPeriod: check.newPeriod,
  },
  weights: { ...V1_SHAPES.weights, voided: check.voided },
  births: { ...V1_SHAPES.births, voided: check.voided },
  movements: {
    ...V1_SHAPES.movements,
    outcome: check.oneOf(['', ...keys(OUTCOMES)], ''),
    fromHolding: check.text,
    toHolding: check.text,
    documentRef: check.text,
    cause: check.text,
    voided: check.voided,
  },
  purchases: {
    date: check.date,
    product: check.required,
    batch: check.text,
    expiry: check.optDate,
    quantity: check.amount,
    unit: check.text,
    supplier: check.text,
    supplierAddress: check.text,
    meatDays: check.period,
    milkPeriod: check.period,
    milkUnit: check.oneOf(keys(MILK_UNITS), 'days'),
    antibiotic: check.flag,
    notes: check.text,
    voided: check.voided,
    disposals: check.disposals,
  },
  groups: { name: check.required, notes: check.text, members: check.spells, voided: check.voided },
};
delete V2_SHAPES.treatments.milkDays;

// Format 3 adds breeding, planned work and field records. Format 2 records
// read as they are: everything format 3 adds to them may be absent.
const LAND_USE_KEYS = ['', 'permanent-grass', 'temporary-grass', 'arable', 'woodland', 'other'];
const V3_SHAPES = {
  ...V2_SHAPES,
  fields: {
    ...V2_SHAPES.fields,
    reference: check.newText,
    landUse: check.newOneOf(LAND_USE_KEYS),
    crop: check.newText,
    nvz: check.newFlag,
  },
  births: { ...V2_SHAPES.births, serviceId: check.newText },
  services: {
    date: check.date,
    method: check.oneOf(['natural', 'ai', 'et'], 'natural'),
    femaleIds: check.ids,
    target: check.text,
    sireId: check.text,
    sire: check.text,
    servedBy: check.text,
    ramOut: check.optDate,
    raddles: check.raddles,
    marks: check.marks,
    notes: check.text,
    voided: check.voided,
  },
  scans: {
    date: check.date,
    serviceId: check.text,
    results: check.scanResults,
    scannedBy: check.text,
    notes: check.text,
    voided: check.voided,
  },
  jobs: {
    title: check.required,
    due: check.date,
    about: check.oneOf(['animals', 'group', 'field', 'farm'], 'farm'),
    animalIds: check.ids,
    state: check.oneOf(['open', 'done', 'skipped'], 'open'),
    doneIds: check.ids,
    earliest: check.newDate,
    until: check.newDate,
    scheduled: check.newDate,
    repeat: (v) => {
      if (miss(v) || v === null) return null;
      const ok = isObject(v) && Number.isInteger(v.every) && v.every > 0;
      if (!ok || !['days', 'weeks', 'months', 'years'].includes(v.unit)) throw 'is not a repeat';
      return v;
    },
    history: (v) => {
      if (miss(v)) return [];
      if (!Array.isArray(v) || !v.every((e) => isObject(e) && isIsoDate(e.due) && isIsoDate(e.on)))
        throw 'is not a list of dated outcomes';
      return v;
    },
    voided: check.voided,
  },
  sprays: {
    date: check.date,
    time: check.optTime,
    fieldIds: check.ids,
    area: check.area,
    product: check.required,
    mapp: check.text,
    crop: check.text,
    cropCode: check.text,
    growthStage: check.text,
    dosePerHa: check.area,
    doseUnit: check.text,
    totalUsed: check.area,
    waterPerHa: check.area,
    operator: check.text,
    certificate: check.text,
    reason: check.text,
    wind: check.text,
    temperature: check.text,
    // Not recorded (null) keeps the field closed to grazing.
    grazingDays: check.period,
    harvestDays: check.period,
    notes: check.text,
    voided: check.voided,
  },
  nutrients: {
    date: check.date,
    fieldIds: check.ids,
    area: check.area,
    kind: check.oneOf(['livestock-manure', 'other-organic', 'manufactured'], 'livestock-manure'),
    product: check.required,
    rate: check.area,
    rateUnit: check.oneOf(['t', 'm3', 'kg'], 't'),
    n: check.area,
    p: check.area,
    k: check.area,
    method: check.text,
    operator: check.text,
    notes: check.text,
    voided: check.voided,
  },
  lots: {
    date: check.date,
    flockMark: check.required,
    species: check.text,
    origin: check.oneOf(['born', 'bought'], 'born'),
    count: check.count,
    fromHolding: check.text,
    documentRef: check.text,
    notes: check.text,
    voided: check.voided,
  },
  lotMovements: {
    lotId: check.required,
    date: check.date,
    count: check.count,
    outcome: check.oneOf(keys(OUTCOMES), 'sold'),
    toHolding: check.text,
    documentRef: check.text,
    cause: check.text,
    notes: check.text,
    voided: check.voided,
  },
  animals: { ...V2_SHAPES.animals, birthWeightKg: check.newKg },
};

const fail = (kind, message) => ({ ok: false, kind, message });

// Saving writes the records with JSON.stringify, which runs out of stack on
// values nested some thousands deep; no record of ours nests more than a few.
const MAX_DEPTH = 200;
function tooDeep(root, limit) {
  const stack = [[root, 0, '']];
  while (stack.length) {
    const [v, depth, top] = stack.pop();
    if (v === null || typeof v !== 'object') continue;
    if (depth >= limit) return top;
    for (const [k, child] of Object.entries(v)) stack.push([child, depth + 1, top || k]);
  }
  return '';
}

// A tag names one animal: two animals with one tag would make every record
// typed with it ambiguous.
function repeatedTag(animals) {
  const seen = new Map();
  for (const a of animals) {
    const k = normaliseTag(a.tag);
    const other = seen.get(k);
    if (other) return fail('shape', `Two animals have the tag ${a.tag} (records ${other.id} and ${a.id}).`);
    seen.set(k, a);
  }
  return null;
}

function checkRecords(db, shapes) {
  for (const name of COLLECTIONS) {
    const list = miss(db[name]) ? [] : db[name];
    if (!Array.isArray(list)) return fail('shape', `The list of ${name} is damaged.`);
    const shape = shapes[name];
    const seen = new Set();
    const out = new Array(list.length);
    for (let i = 0; i < list.length; i++) {
      const rec = list[i];
      const where = `${name}[${i}]`;
      if (!isObject(rec) || typeof rec.id !== 'string' || !rec.id)
        return fail('shape', `Record ${where} has no id.`);
      if (seen.has(rec.id)) return fail('shape', `Record ${where} repeats the id ${rec.id}.`);
      seen.add(rec.id);
      const norm = { ...rec };
      for (const key in shape) {
        try {
          const v = shape[key](rec[key]);
          if (v === undefined) delete norm[key];
          else norm[key] = v;
        } catch (why) {
          return fail('shape', `Record ${where}: "${key}" ${why}.`);
        }
      }
      out[i] = norm;
    }
    db[name] = out;
  }
  return null;
}

// Reads a database text. Anything this version cannot fully understand is
// refused rather than repaired: the caller must then leave the file alone.
// A format 1 database is upgraded in memory; `upgradedFrom` tells the caller
// to keep a copy of the old file before saving.
export function parseDatabase(text) {
  let data;
  try {
    data = JSON.parse(text);
  } catch (e) {
    return fail('json', `The saved records are not valid JSON (${e.message}).`);
  }
  if (!isObject(data) || data.format !== FORMAT) {
    return fail('shape', 'This file is not a Field Keeper database.');
  }
  if (!Number.isInteger(data.schema) || data.schema < 1) {
    return fail('shape', 'The database has no valid schema version.');
  }
  if (data.schema > SCHEMA_VERSION) {
    return fail(
      'newer',
      `These records were written by a newer version of Field Keeper (schema ${data.schema}). ` +
        `This version understands schema ${SCHEMA_VERSION} and will not change them.`,
    );
  }
  const deep = tooDeep(data, MAX_DEPTH);
  if (deep)
    return fail(
      'shape',
      `The records hold a value nested more than ${MAX_DEPTH} levels deep, under "${deep}": ` +
        'Field Keeper could not save them again.',
    );
  const db = { ...data };
  if (miss(db.id)) db.id = newId('db');
  if (typeof db.id !== 'string' || !db.id) return fail('shape', 'The database id is damaged.');
  if (miss(db.revision)) db.revision = 0;
  if (!Number.isInteger(db.revision) || db.revision < 0)
    return fail('shape', 'The database revision is damaged.');
  if (miss(db.savedAt)) db.savedAt = '';
  // Only the time of the last save, written again at the next: a number (the
  // milliseconds a script may have put there) is read as the time it gives.
  // Format 1 dates undated sales from it, so there it must be text.
  if (typeof db.savedAt === 'number' && db.schema > 1 && Number.isFinite(new Date(db.savedAt).getTime()))
    db.savedAt = new Date(db.savedAt).toISOString();
  if (typeof db.savedAt !== 'string')
    return fail('shape', 'The time of the last save ("savedAt") is damaged: it is not text.');
  if (miss(db.farm)) db.farm = {};
  if (!isObject(db.farm)) return fail('shape', 'The farm details are damaged.');
  let key = '';
  try {
    const of = (k, f) => {
      key = k;
      return f(db.farm[k]);
    };
    db.farm = {
      ...db.farm,
      name: of('name', check.text),
      holding: of('holding', check.text),
      organic: of('organic', check.flag),
      organicSince: of('organicSince', check.newDate),
    };
    if (miss(db.farm.organicSince)) delete db.farm.organicSince;
    // The reminders would stop without a word on a deadline that is not a number.
    if (!miss(db.farm.registerDays)) {
      key = 'registerDays';
      if (!isObject(db.farm.registerDays)) throw 'is not a list of days per species';
      for (const [species, days] of Object.entries(db.farm.registerDays)) {
        key = `registerDays of ${species}`;
        if (!Number.isInteger(days) || days < 0) throw 'is not a whole number of days';
      }
    }
    // Due dates would be wrong without a word on a gestation that is not a number.
    if (!miss(db.farm.gestationDays)) {
      key = 'gestationDays';
      if (!isObject(db.farm.gestationDays)) throw 'is not a list of days per species';
      for (const [species, days] of Object.entries(db.farm.gestationDays)) {
        key = `gestationDays of ${species}`;
        if (!Number.isInteger(days) || days < 1) throw 'is not a whole number of days';
      }
    }
    // A dose schedule that is not whole days would plan a second dose on no day.
    if (!miss(db.farm.productSchedules)) {
      key = 'productSchedules';
      if (!isObject(db.farm.productSchedules)) throw 'is not a list of schedules per product';
      const days = (n) => n === null || n === undefined || (Number.isInteger(n) && n > 0);
      for (const [product, s] of Object.entries(db.farm.productSchedules)) {
        key = `productSchedules of ${product}`;
        if (!isObject(s) || !days(s.secondFrom) || !days(s.secondTo) || !days(s.boosterMonths))
          throw 'is not a schedule of whole days and months';
      }
    }
    if (!miss(db.farm.importLayouts)) {
      key = 'importLayouts';
      const layout = (l) =>
        isObject(l) &&
        typeof l.key === 'string' &&
        Array.isArray(l.mapping) &&
        l.mapping.every((m) => typeof m === 'string');
      if (!Array.isArray(db.farm.importLayouts) || !db.farm.importLayouts.every(layout))
        throw 'is not a list of file layouts';
    }
  } catch (why) {
    return fail('shape', `The farm details are damaged: the ${key} ${why}.`);
  }
  const upgradedFrom = db.schema < SCHEMA_VERSION ? db.schema : undefined;
  if (db.schema === 1) {
    const bad = checkRecords(db, V1_SHAPES);
    if (bad) return bad;
    upgradeFromV1(db);
  }
  if (upgradedFrom) db.schema = SCHEMA_VERSION;
  const bad = checkRecords(db, V3_SHAPES) || repeatedTag(db.animals);
  if (bad) return bad;
  return upgradedFrom ? { ok: true, db, upgradedFrom } : { ok: true, db };
}
