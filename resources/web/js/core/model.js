// The farm's records as one JSON document, and everything that can be worked
// out from them without a page: checking and normalising a loaded database,
// dates and withdrawal periods, indexes, search, summaries and CSV.
// No DOM access here, so Node can test all of it.

export const FORMAT = 'meadowline-field-keeper';
export const SCHEMA_VERSION = 2;

export const SPECIES = ['Cattle', 'Sheep', 'Goat', 'Pig', 'Horse', 'Alpaca', 'Llama', 'Deer', 'Poultry'];
// The deadlines Great Britain sets for the young, offered to the farm for its
// overview reminders: a calf's birth is registered with BCMS by the day it is
// 27 days old; lambs and kids are identified within 6 months when housed
// overnight (9 when not), counted as 180 days so that a reminder is in time.
export const GB_REGISTER_DAYS = { Cattle: 27, Sheep: 180, Goat: 180 };
export const SEXES = [
  ['female', 'Female'],
  ['male', 'Male'],
  ['castrated', 'Castrated male'],
  ['unknown', 'Unknown'],
];
export const STATUSES = [
  ['on-farm', 'On farm'],
  ['away', 'Away (off the farm, alive)'],
  ['sold', 'Sold'],
  ['died', 'Died'],
];
export const OUTCOMES = [
  ['away', 'Moved off, still alive (not sold)'],
  ['sold', 'Sold'],
  ['died', 'Died or slaughtered'],
];
export const MILK_UNITS = [
  ['days', 'days'],
  ['hours', 'hours'],
];
export const FIELD_KINDS = [
  ['field', 'Field'],
  ['pen', 'Pen'],
];
export const DIRECTIONS = [
  ['on', 'On to the farm'],
  ['off', 'Off the farm'],
  ['move', 'Between fields'],
];
export const MAX_WITHDRAWAL_DAYS = 3650;
export const MAX_WITHDRAWAL_HOURS = 87600;

const label = (pairs) => new Map(pairs);
export const SEX_LABEL = label(SEXES);
export const STATUS_LABEL = label(STATUSES);
export const FIELD_KIND_LABEL = label(FIELD_KINDS);
export const DIRECTION_LABEL = label(DIRECTIONS);
export const OUTCOME_LABEL = label(OUTCOMES);

// ---------------------------------------------------------------- dates

const ISO_DATE = /^(\d{4})-(\d{2})-(\d{2})$/;
const DAY_MS = 86400000;
const pad2 = (n) => String(n).padStart(2, '0');

function daysInMonth(y, m) {
  const leap = (y % 4 === 0 && y % 100 !== 0) || y % 400 === 0;
  return [31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31][m - 1];
}

// Years are kept to a plausible range so that adding a withdrawal period can
// never leave the four-digit form.
export function isIsoDate(s) {
  if (typeof s !== 'string') return false;
  const m = ISO_DATE.exec(s);
  if (!m) return false;
  const y = +m[1],
    mo = +m[2],
    d = +m[3];
  return y >= 1800 && y <= 2999 && mo >= 1 && mo <= 12 && d >= 1 && d <= daysInMonth(y, mo);
}

// Day arithmetic goes through UTC day numbers: local midnight arithmetic
// would lose or gain a day across daylight-saving changes.
function dayNumber(iso) {
  const [y, m, d] = iso.split('-').map(Number);
  return Math.round(Date.UTC(y, m - 1, d) / DAY_MS);
}

function fromDayNumber(n) {
  const dt = new Date(n * DAY_MS);
  return `${dt.getUTCFullYear()}-${pad2(dt.getUTCMonth() + 1)}-${pad2(dt.getUTCDate())}`;
}

export function addDays(iso, n) {
  return fromDayNumber(dayNumber(iso) + n);
}

export function daysBetween(fromIso, toIso) {
  return dayNumber(toIso) - dayNumber(fromIso);
}

export function localIsoDate(date = new Date()) {
  return `${date.getFullYear()}-${pad2(date.getMonth() + 1)}-${pad2(date.getDate())}`;
}

// "yyyy-mm-dd hh:mm" on the computer's clock; such texts sort in time order.
export function localDateTime(date = new Date()) {
  return `${localIsoDate(date)} ${pad2(date.getHours())}:${pad2(date.getMinutes())}`;
}

export function isTime(s) {
  return typeof s === 'string' && /^([01]\d|2[0-3]):[0-5]\d$/.test(s);
}

// Elapsed hours, not clock hours: a medicine leaves the body at its own pace
// whatever the clocks do, so 48 hours over a daylight-saving change may end
// at 21:00 by the clock when it started at 20:00.
export function addHoursLocal(date, time, hours) {
  const [y, m, d] = date.split('-').map(Number);
  const [hh, mm] = time.split(':').map(Number);
  return localDateTime(new Date(new Date(y, m - 1, d, hh, mm).getTime() + hours * 3600000));
}

// ---------------------------------------------------------------- text helpers

const collator = new Intl.Collator(undefined, { numeric: true, sensitivity: 'base' });
export const compareTags = (a, b) => collator.compare(a, b);
const cmp = (a, b) => (a < b ? -1 : a > b ? 1 : 0);

// Case and accent folding, so "Léa" is found by "lea".
export function fold(s) {
  return String(s)
    .normalize('NFD')
    .replace(/\p{M}+/gu, '')
    .toLowerCase();
}

export function normaliseTag(s) {
  return fold(String(s).trim().replace(/\s+/g, ' '));
}

// ---------------------------------------------------------------- Base64 and UTF-8

export function base64ToBytes(b64) {
  const bin = atob(b64);
  const bytes = new Uint8Array(bin.length);
  for (let i = 0; i < bin.length; i++) bytes[i] = bin.charCodeAt(i);
  return bytes;
}

export function bytesToBase64(bytes) {
  let bin = '';
  const CHUNK = 0x8000;
  for (let i = 0; i < bytes.length; i += CHUNK) {
    bin += String.fromCharCode.apply(null, bytes.subarray(i, i + CHUNK));
  }
  return btoa(bin);
}

export function decodeUtf8(bytes) {
  return new TextDecoder('utf-8', { fatal: true }).decode(bytes);
}

// The database handed over by the shell: Base64 of the file's bytes, which
// are UTF-8 text. atob alone would turn every accent into mojibake.
export function decodeDatabaseBase64(b64) {
  let bytes;
  try {
    bytes = base64ToBytes(b64);
  } catch {
    return {
      ok: false,
      kind: 'encoding',
      message: 'The saved records arrived in a damaged form (not Base64).',
    };
  }
  try {
    return { ok: true, text: decodeUtf8(bytes) };
  } catch {
    return {
      ok: false,
      kind: 'encoding',
      message: 'The saved records file is not UTF-8 text; it may be damaged.',
    };
  }
}

// ---------------------------------------------------------------- schema

export function newId(prefix) {
  const rnd = globalThis.crypto?.getRandomValues
    ? Array.from(globalThis.crypto.getRandomValues(new Uint8Array(6)), (b) =>
        b.toString(16).padStart(2, '0'),
      ).join('')
    : Math.random().toString(16).slice(2, 14);
  return `${prefix}-${Date.now().toString(36)}-${rnd}`;
}

export function emptyDatabase() {
  return {
    format: FORMAT,
    schema: SCHEMA_VERSION,
    id: newId('db'),
    revision: 0,
    savedAt: '',
    farm: { name: '', holding: '', organic: false },
    animals: [],
    fields: [],
    treatments: [],
    weights: [],
    births: [],
    movements: [],
    purchases: [],
    groups: [],
  };
}

export const COLLECTIONS = [
  'animals',
  'fields',
  'treatments',
  'weights',
  'births',
  'movements',
  'purchases',
  'groups',
];

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
  },
  groups: { name: check.required, notes: check.text, members: check.spells, voided: check.voided },
};
delete V2_SHAPES.treatments.milkDays;

const fail = (kind, message) => ({ ok: false, kind, message });

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
  const db = { ...data };
  if (miss(db.id)) db.id = newId('db');
  if (typeof db.id !== 'string' || !db.id) return fail('shape', 'The database id is damaged.');
  if (miss(db.revision)) db.revision = 0;
  if (!Number.isInteger(db.revision) || db.revision < 0)
    return fail('shape', 'The database revision is damaged.');
  if (miss(db.savedAt)) db.savedAt = '';
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
    };
    // The reminders would stop without a word on a deadline that is not a number.
    if (!miss(db.farm.registerDays)) {
      key = 'registerDays';
      if (!isObject(db.farm.registerDays)) throw 'is not a list of days per species';
      for (const [species, days] of Object.entries(db.farm.registerDays)) {
        key = `registerDays of ${species}`;
        if (!Number.isInteger(days) || days < 0) throw 'is not a whole number of days';
      }
    }
  } catch (why) {
    return fail('shape', `The farm details are damaged: the ${key} ${why}.`);
  }
  const upgradedFrom = db.schema < SCHEMA_VERSION ? db.schema : undefined;
  if (upgradedFrom) {
    const bad = checkRecords(db, V1_SHAPES);
    if (bad) return bad;
    upgradeFromV1(db);
  }
  const bad = checkRecords(db, V2_SHAPES);
  if (bad) return bad;
  return upgradedFrom ? { ok: true, db, upgradedFrom } : { ok: true, db };
}

export function serialiseDatabase(db) {
  return JSON.stringify(db);
}

// ---------------------------------------------------------------- format 1 to 2

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
function upgradeFromV1(db) {
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

// ---------------------------------------------------------------- indexes

export const inForce = (r) => !!r && !r.voided;

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
    if (entry) {
      const text = [
        rec.product,
        rec.dose,
        rec.batch,
        rec.reason,
        rec.givenBy,
        rec.vet,
        rec.target,
        rec.notes,
      ].join(' ');
      entry.records.push({ kind: 'Treatment', date: rec.date, text });
      entry.all += `\n${fold(text)}`;
    }
  }
}

// A tag as typed or scanned: the animal that carries it now, or failing that
// the one that carried it before, or the one whose electronic ID it is.
export function findByTag(idx, tag) {
  const k = normaliseTag(tag);
  return idx.byTag.get(k) || idx.byFormerTag.get(k) || idx.byEid?.get(k.replace(/[\s-]/g, '')) || null;
}

// One source of parentage: the birth record when the animal was born here,
// otherwise what was typed on the animal.
export function parentsOf(idx, a) {
  const b = idx.birthOf.get(a.id);
  if (b)
    return {
      birth: b,
      dam: idx.animalsById.get(b.damId) || null,
      damText: idx.animalsById.get(b.damId)?.tag ?? '',
      sire: b.sire,
    };
  const dam = a.dam ? findByTag(idx, a.dam) : null;
  return { birth: null, dam, damText: a.dam, sire: a.sire };
}

export function fieldName(idx, fieldId) {
  const f = fieldId && idx.fieldsById.get(fieldId);
  return f ? f.name : '';
}

export function animalLabel(a) {
  return a ? (a.name ? `${a.tag} ${a.name}` : a.tag) : 'removed animal';
}

export function formerTags(a) {
  return (a.tagHistory || []).map((c) => c.from);
}

export function tagsOf(idx, ids) {
  const out = [];
  for (const id of ids) {
    const a = idx.animalsById.get(id);
    if (a) out.push(a.tag);
  }
  return out;
}

// ---------------------------------------------------------------- search

function recordTexts(db, idx, a) {
  const p = idx.perAnimal.get(a.id);
  const texts = [];
  for (const t of p.treatments) {
    if (!inForce(t)) continue;
    texts.push({
      kind: 'Treatment',
      date: t.date,
      text: [t.product, t.dose, t.batch, t.reason, t.givenBy, t.vet, t.target, t.notes].join(' '),
    });
  }
  for (const b of p.births) {
    if (!inForce(b)) continue;
    texts.push({
      kind: b.damId === a.id ? 'Gave birth' : 'Born',
      date: b.date,
      text: [b.sire, b.notes].join(' '),
    });
  }
  for (const m of p.movements) {
    if (!inForce(m)) continue;
    texts.push({
      kind: 'Movement',
      date: m.date,
      text: [
        DIRECTION_LABEL.get(m.direction),
        m.from,
        m.fromHolding,
        m.to,
        m.toHolding,
        m.documentRef,
        fieldName(idx, m.fieldId),
        m.reason,
        m.cause,
        m.notes,
      ].join(' '),
    });
  }
  return texts;
}

export function buildSearchIndex(db, idx) {
  return db.animals.map((a) => searchEntry(db, idx, a));
}

function searchEntry(db, idx, a) {
  const par = parentsOf(idx, a);
  const former = formerTags(a);
  const own = [
    a.tag,
    ...former,
    a.eid || '',
    a.name,
    a.species,
    a.breed,
    SEX_LABEL.get(a.sex),
    par.damText,
    par.sire,
    STATUS_LABEL.get(a.status),
    fieldName(idx, a.fieldId),
    a.notes,
  ].join('\n');
  const records = recordTexts(db, idx, a);
  return {
    animal: a,
    tag: fold(a.tag),
    former: [...former.map(fold), ...(a.eid ? [a.eid] : [])],
    name: fold(a.name),
    own: fold(own),
    all: fold(own + '\n' + records.map((r) => r.text).join('\n')),
    records,
  };
}

// Every word of the query must appear somewhere in the animal's own details
// or its records. Tag and name matches rank first, then former tags.
export function searchAnimals(index, query, limit = 20) {
  const terms = fold(query).split(/\s+/).filter(Boolean);
  if (!terms.length) return { total: 0, results: [] };
  const whole = terms.join(' ');
  const hits = [];
  for (const e of index) {
    if (!terms.every((t) => e.all.includes(t))) continue;
    let rank = 5;
    if (e.tag === whole) rank = 0;
    else if (e.tag.startsWith(whole)) rank = 1;
    else if (e.name === whole || e.former.includes(whole)) rank = 2;
    else if (
      e.name.startsWith(terms[0]) ||
      e.tag.includes(terms[0]) ||
      e.former.some((f) => f.includes(terms[0]))
    )
      rank = 3;
    else if (terms.every((t) => e.own.includes(t))) rank = 4;
    if (e.animal.voided) rank += 6;
    hits.push({ entry: e, rank });
  }
  hits.sort((a, b) => a.rank - b.rank || compareTags(a.entry.animal.tag, b.entry.animal.tag));
  const results = hits.slice(0, limit).map(({ entry, rank }) => ({
    animal: entry.animal,
    matchedIn: rank % 6 < 5 ? null : matchedRecord(entry, terms),
  }));
  return { total: hits.length, results };
}

// Which record to name when the animal's own details do not explain the hit:
// the first holding every word found nowhere else, or failing that any one.
function matchedRecord(entry, terms) {
  const missing = terms.filter((t) => !entry.own.includes(t));
  const texts = entry.records.map((r) => fold(r.text));
  const i = texts.findIndex((t) => missing.every((m) => t.includes(m)));
  const j = i >= 0 ? i : texts.findIndex((t) => missing.some((m) => t.includes(m)));
  return j >= 0 ? entry.records[j] : null;
}

// ---------------------------------------------------------------- summaries

export function herdSummary(db) {
  const bySpecies = new Map();
  const blank = () => ({ 'on-farm': 0, away: 0, sold: 0, died: 0 });
  const totals = blank();
  for (const a of db.animals) {
    if (!inForce(a)) continue;
    const sp = a.species.trim() || 'Not recorded';
    let row = bySpecies.get(sp);
    if (!row) bySpecies.set(sp, (row = { species: sp, ...blank() }));
    row[a.status]++;
    totals[a.status]++;
  }
  const rows = [...bySpecies.values()].sort(
    (a, b) => b['on-farm'] - a['on-farm'] || collator.compare(a.species, b.species),
  );
  return { rows, totals };
}

// The n most recent dated events of every kind in force, newest first,
// without sorting every event on the farm.
export function recentEvents(db, idx, n = 10) {
  const top = [];
  const consider = (rec, make) => {
    if (!inForce(rec)) return;
    const date = rec.date;
    if (top.length === n && date <= top[top.length - 1].date) return;
    const ev = make();
    let i = top.length;
    while (i > 0 && top[i - 1].date < date) i--;
    top.splice(i, 0, ev);
    if (top.length > n) top.pop();
  };
  for (const t of db.treatments)
    consider(t, () => ({ kind: 'treatment', date: t.date, record: t, animals: t.animalIds }));
  for (const w of db.weights)
    consider(w, () => ({ kind: 'weight', date: w.date, record: w, animals: [w.animalId] }));
  for (const b of db.births)
    consider(b, () => ({
      kind: 'birth',
      date: b.date,
      record: b,
      animals: [b.damId, ...b.offspringIds].filter(Boolean),
    }));
  for (const m of db.movements)
    consider(m, () => ({ kind: 'movement', date: m.date, record: m, animals: m.animalIds }));
  return top;
}

export function inDateRange(date, from, to) {
  return (!from || date >= from) && (!to || date <= to);
}

// Whether a span of days (a course of treatment) has a day in the period:
// a course running right across it belongs in that period's book.
export function spanInRange(first, last, from, to) {
  return (!from || last >= from) && (!to || first <= to);
}

// The treatment book's period. An end left blank means "today", worked out
// afresh each time: a screen left open past midnight must still show the
// day's new treatments.
export function bookRange(range, today) {
  return { from: range.from ?? addDays(today, -365), to: range.to || today };
}

// ---------------------------------------------------------------- saved text

// The saved text, rebuilt only where it changed: each list is kept as blocks
// of JSON text, and a record added at the end of a list re-makes only its
// last block. Any other change must call reset(), since a record changed in
// place would otherwise keep its old text. The result is JSON.stringify(db).
export function blockSerialiser(blockSize = 500) {
  let blocks = new Map(); // list name -> { list, texts: [] }
  const cacheOf = (name, list) => {
    let c = blocks.get(name);
    if (!c || c.list !== list) blocks.set(name, (c = { list, texts: [] }));
    c.texts.length = Math.min(c.texts.length, Math.ceil(list.length / blockSize));
    return c;
  };
  // A block is one flat string (join makes it so); the texts around the
  // blocks are only concatenated, which leaves the engine a rope that is
  // copied out once, when the text is handed to the shell, instead of once
  // for every join.
  const make = (c, b) => {
    const records = [];
    for (let i = b * blockSize; i < Math.min(c.list.length, (b + 1) * blockSize); i++)
      records.push(JSON.stringify(c.list[i]));
    c.texts[b] = records.join(',');
  };
  const listText = (name, list) => {
    const c = cacheOf(name, list);
    const n = Math.ceil(list.length / blockSize);
    let s = '[';
    for (let b = 0; b < n; b++) {
      if (c.texts[b] === undefined) make(c, b);
      s = b ? s + ',' + c.texts[b] : s + c.texts[b];
    }
    return s + ']';
  };
  return {
    text(db) {
      let s = '{';
      for (const [k, v] of Object.entries(db)) {
        if (v === undefined || typeof v === 'function') continue;
        const value = COLLECTIONS.includes(k) && Array.isArray(v) ? listText(k, v) : JSON.stringify(v);
        s = s + (s.length > 1 ? ',' : '') + JSON.stringify(k) + ':' + value;
      }
      return s + '}';
    },
    // Records were added at the end of `name` since the last text.
    appended(name, list) {
      const c = blocks.get(name);
      if (c && c.list === list)
        c.texts.length = Math.min(c.texts.length, Math.floor(Math.max(0, list.length - 1) / blockSize));
    },
    reset() {
      blocks = new Map();
    },
    // Makes blocks ahead of the save until `budgetMs` has passed; true while
    // some are still missing. Run in short tasks, so that the save itself
    // only joins them.
    warm(db, budgetMs = 8, now = () => performance.now()) {
      const end = now() + budgetMs;
      for (const name of COLLECTIONS) {
        const list = db[name];
        if (!Array.isArray(list)) continue;
        const c = cacheOf(name, list);
        const n = Math.ceil(list.length / blockSize);
        for (let b = 0; b < n; b++) {
          if (c.texts[b] !== undefined) continue;
          if (now() > end) return true;
          make(c, b);
        }
      }
      return false;
    },
  };
}
