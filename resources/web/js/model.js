// The farm's records as one JSON document, and everything that can be worked
// out from them without a page: checking and normalising a loaded database,
// dates and withdrawal periods, indexes, search, summaries and CSV.
// No DOM access here, so Node can test all of it.

export const FORMAT = 'meadowline-field-keeper';
export const SCHEMA_VERSION = 1;

export const SPECIES = ['Cattle', 'Sheep', 'Goat', 'Pig', 'Horse', 'Alpaca', 'Llama', 'Deer', 'Poultry'];
export const SEXES = [['female', 'Female'], ['male', 'Male'], ['castrated', 'Castrated male'], ['unknown', 'Unknown']];
export const STATUSES = [['on-farm', 'On farm'], ['sold', 'Sold'], ['died', 'Died']];
export const FIELD_KINDS = [['field', 'Field'], ['pen', 'Pen']];
export const DIRECTIONS = [['on', 'On to the farm'], ['off', 'Off the farm'], ['move', 'Between fields']];
export const MAX_WITHDRAWAL_DAYS = 3650;

const label = (pairs) => new Map(pairs);
export const SEX_LABEL = label(SEXES);
export const STATUS_LABEL = label(STATUSES);
export const FIELD_KIND_LABEL = label(FIELD_KINDS);
export const DIRECTION_LABEL = label(DIRECTIONS);

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
  const y = +m[1], mo = +m[2], d = +m[3];
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

// ---------------------------------------------------------------- withdrawal

// The end date is the first day the meat or milk may be used again: the
// treatment date plus the period. Zero days means no withdrawal at all.
export function withdrawalEnd(date, days) {
  if (!isIsoDate(date) || !Number.isInteger(days) || days < 0) return null;
  return addDays(date, days);
}

export function treatmentWithdrawal(t) {
  return { meatEnd: withdrawalEnd(t.date, t.meatDays), milkEnd: withdrawalEnd(t.date, t.milkDays) };
}

export function isWithdrawalRunning(days, end, today) {
  return days > 0 && end !== null && end > today;
}

// Animals on the farm with a meat or milk withdrawal still running today,
// each with the latest end date over all its treatments, soonest end first.
export function withdrawalsRunning(db, idx, today) {
  const byAnimal = new Map();
  for (const t of db.treatments) {
    const { meatEnd, milkEnd } = treatmentWithdrawal(t);
    const meat = isWithdrawalRunning(t.meatDays, meatEnd, today) ? meatEnd : null;
    const milk = isWithdrawalRunning(t.milkDays, milkEnd, today) ? milkEnd : null;
    if (!meat && !milk) continue;
    for (const id of t.animalIds) {
      const animal = idx.animalsById.get(id);
      if (!animal || animal.status !== 'on-farm') continue;
      let row = byAnimal.get(id);
      if (!row) byAnimal.set(id, (row = { animal, meatEnd: null, milkEnd: null, products: [] }));
      if (meat && (!row.meatEnd || meat > row.meatEnd)) row.meatEnd = meat;
      if (milk && (!row.milkEnd || milk > row.milkEnd)) row.milkEnd = milk;
      if (!row.products.includes(t.product)) row.products.push(t.product);
    }
  }
  const last = (r) => (r.meatEnd || '') > (r.milkEnd || '') ? r.meatEnd : r.milkEnd;
  return [...byAnimal.values()].sort((a, b) =>
    cmp(last(a), last(b)) || compareTags(a.animal.tag, b.animal.tag));
}

// ---------------------------------------------------------------- text helpers

const collator = new Intl.Collator(undefined, { numeric: true, sensitivity: 'base' });
export const compareTags = (a, b) => collator.compare(a, b);
const cmp = (a, b) => (a < b ? -1 : a > b ? 1 : 0);

// Case and accent folding, so "Léa" is found by "lea".
export function fold(s) {
  return String(s).normalize('NFD').replace(/\p{M}+/gu, '').toLowerCase();
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
    return { ok: false, kind: 'encoding', message: 'The saved records arrived in a damaged form (not Base64).' };
  }
  try {
    return { ok: true, text: decodeUtf8(bytes) };
  } catch {
    return { ok: false, kind: 'encoding', message: 'The saved records file is not UTF-8 text; it may be damaged.' };
  }
}

// ---------------------------------------------------------------- schema

export function newId(prefix) {
  const rnd = globalThis.crypto?.getRandomValues
    ? Array.from(globalThis.crypto.getRandomValues(new Uint8Array(6)), (b) => b.toString(16).padStart(2, '0')).join('')
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
    farm: { name: '', holding: '' },
    animals: [], fields: [], treatments: [], weights: [], births: [], movements: [],
  };
}

export const COLLECTIONS = ['animals', 'fields', 'treatments', 'weights', 'births', 'movements'];

// Field checkers for loaded records: each returns the normalised value, or
// throws a message. A missing key takes its default; a present key of the
// wrong type is damage and refuses the whole file.
const miss = (v) => v === undefined;
const check = {
  text: (v) => { if (miss(v)) return ''; if (typeof v !== 'string') throw 'is not text'; return v; },
  required: (v) => { if (typeof v !== 'string' || !v.trim()) throw 'is missing'; return v; },
  date: (v) => { if (typeof v !== 'string' || !isIsoDate(v)) throw 'is not a yyyy-mm-dd date'; return v; },
  optDate: (v) => { if (miss(v) || v === '') return ''; return check.date(v); },
  days: (v) => {
    if (miss(v)) return 0;
    if (!Number.isInteger(v) || v < 0 || v > MAX_WITHDRAWAL_DAYS) throw 'is not a whole number of days';
    return v;
  },
  kg: (v) => { if (typeof v !== 'number' || !Number.isFinite(v) || v <= 0) throw 'is not a weight'; return v; },
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
};
const keys = (pairs) => pairs.map(([k]) => k);

const RECORD_SHAPES = {
  animals: {
    tag: check.required, name: check.text, species: check.text, breed: check.text,
    sex: check.oneOf(keys(SEXES), 'unknown'), dob: check.optDate, dam: check.text, sire: check.text,
    status: check.oneOf(keys(STATUSES), 'on-farm'), statusDate: check.optDate, fieldId: check.text, notes: check.text,
  },
  fields: { name: check.required, kind: check.oneOf(keys(FIELD_KINDS), 'field'), area: check.area, notes: check.text },
  treatments: {
    date: check.date, animalIds: check.ids, target: check.text, product: check.required, dose: check.text,
    batch: check.text, reason: check.text, givenBy: check.text, meatDays: check.days, milkDays: check.days, notes: check.text,
  },
  weights: { date: check.date, animalId: check.required, kg: check.kg },
  births: { date: check.date, damId: check.text, sire: check.text, offspringIds: check.ids, notes: check.text },
  movements: {
    date: check.date, direction: check.oneOf(keys(DIRECTIONS), 'move'), animalIds: check.ids,
    from: check.text, to: check.text, fieldId: check.text, reason: check.text, notes: check.text,
  },
};

const isObject = (v) => v !== null && typeof v === 'object' && !Array.isArray(v);
const fail = (kind, message) => ({ ok: false, kind, message });

// Reads a database text. Anything this version cannot fully understand is
// refused rather than repaired: the caller must then leave the file alone.
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
    return fail('newer', `These records were written by a newer version of Field Keeper (schema ${data.schema}). ` +
      `This version understands schema ${SCHEMA_VERSION} and will not change them.`);
  }
  const db = { ...data };
  if (miss(db.id)) db.id = newId('db');
  if (typeof db.id !== 'string' || !db.id) return fail('shape', 'The database id is damaged.');
  if (miss(db.revision)) db.revision = 0;
  if (!Number.isInteger(db.revision) || db.revision < 0) return fail('shape', 'The database revision is damaged.');
  if (miss(db.savedAt)) db.savedAt = '';
  if (miss(db.farm)) db.farm = {};
  if (!isObject(db.farm)) return fail('shape', 'The farm details are damaged.');
  try {
    db.farm = { ...db.farm, name: check.text(db.farm.name), holding: check.text(db.farm.holding) };
  } catch (why) {
    return fail('shape', `The farm details are damaged: the name ${why}.`);
  }
  for (const name of COLLECTIONS) {
    const list = miss(db[name]) ? [] : db[name];
    if (!Array.isArray(list)) return fail('shape', `The list of ${name} is damaged.`);
    const shape = RECORD_SHAPES[name];
    const seen = new Set();
    const out = new Array(list.length);
    for (let i = 0; i < list.length; i++) {
      const rec = list[i];
      const where = `${name}[${i}]`;
      if (!isObject(rec) || typeof rec.id !== 'string' || !rec.id) return fail('shape', `Record ${where} has no id.`);
      if (seen.has(rec.id)) return fail('shape', `Record ${where} repeats the id ${rec.id}.`);
      seen.add(rec.id);
      const norm = { ...rec };
      for (const key in shape) {
        try {
          norm[key] = shape[key](rec[key]);
        } catch (why) {
          return fail('shape', `Record ${where}: "${key}" ${why}.`);
        }
      }
      out[i] = norm;
    }
    db[name] = out;
  }
  return { ok: true, db };
}

export function serialiseDatabase(db) {
  return JSON.stringify(db);
}

// ---------------------------------------------------------------- indexes

// Built once per change of the records; every screen reads through it so that
// nothing scans the event lists once per animal.
export function buildIndex(db) {
  const animalsById = new Map();
  const byTag = new Map();
  const perAnimal = new Map();
  for (const a of db.animals) {
    animalsById.set(a.id, a);
    byTag.set(normaliseTag(a.tag), a);
    perAnimal.set(a.id, { treatments: [], weights: [], births: [], movements: [] });
  }
  const fieldsById = new Map(db.fields.map((f) => [f.id, f]));
  const push = (id, kind, rec) => { const p = perAnimal.get(id); if (p) p[kind].push(rec); };
  for (const t of db.treatments) for (const id of t.animalIds) push(id, 'treatments', t);
  for (const w of db.weights) push(w.animalId, 'weights', w);
  for (const b of db.births) {
    if (b.damId) push(b.damId, 'births', b);
    for (const id of b.offspringIds) if (id !== b.damId) push(id, 'births', b);
  }
  for (const m of db.movements) for (const id of m.animalIds) push(id, 'movements', m);
  const byDateDesc = (a, b) => cmp(b.date, a.date);
  for (const p of perAnimal.values()) {
    p.treatments.sort(byDateDesc);
    p.weights.sort((a, b) => cmp(a.date, b.date));
    p.births.sort(byDateDesc);
    p.movements.sort(byDateDesc);
  }
  const animalsInField = new Map();
  for (const a of db.animals) {
    if (a.status === 'on-farm' && a.fieldId) animalsInField.set(a.fieldId, (animalsInField.get(a.fieldId) || 0) + 1);
  }
  const idx = { animalsById, byTag, fieldsById, perAnimal, animalsInField };
  let searchIndex = null;
  idx.searchIndex = () => (searchIndex ??= buildSearchIndex(db, idx));
  return idx;
}

export function fieldName(idx, fieldId) {
  return (fieldId && idx.fieldsById.get(fieldId)?.name) || '';
}

export function animalLabel(a) {
  return a ? (a.name ? `${a.tag} ${a.name}` : a.tag) : 'removed animal';
}

export function tagsOf(idx, ids) {
  const out = [];
  for (const id of ids) { const a = idx.animalsById.get(id); if (a) out.push(a.tag); }
  return out;
}

// ---------------------------------------------------------------- search

function recordTexts(db, idx, a) {
  const p = idx.perAnimal.get(a.id);
  const texts = [];
  for (const t of p.treatments) {
    texts.push({ kind: 'Treatment', date: t.date, text: [t.product, t.dose, t.batch, t.reason, t.givenBy, t.target, t.notes].join(' ') });
  }
  for (const b of p.births) {
    texts.push({ kind: b.damId === a.id ? 'Gave birth' : 'Born', date: b.date, text: [b.sire, b.notes].join(' ') });
  }
  for (const m of p.movements) {
    texts.push({ kind: 'Movement', date: m.date, text: [DIRECTION_LABEL.get(m.direction), m.from, m.to, fieldName(idx, m.fieldId), m.reason, m.notes].join(' ') });
  }
  return texts;
}

export function buildSearchIndex(db, idx) {
  return db.animals.map((a) => {
    const own = [a.tag, a.name, a.species, a.breed, SEX_LABEL.get(a.sex), a.dam, a.sire,
      STATUS_LABEL.get(a.status), fieldName(idx, a.fieldId), a.notes].join('\n');
    const records = recordTexts(db, idx, a);
    return {
      animal: a,
      tag: fold(a.tag),
      name: fold(a.name),
      own: fold(own),
      all: fold(own + '\n' + records.map((r) => r.text).join('\n')),
      records,
    };
  });
}

// Every word of the query must appear somewhere in the animal's own details
// or its records. Tag and name matches rank first.
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
    else if (e.name === whole) rank = 2;
    else if (e.name.startsWith(terms[0]) || e.tag.includes(terms[0])) rank = 3;
    else if (terms.every((t) => e.own.includes(t))) rank = 4;
    hits.push({ entry: e, rank });
  }
  hits.sort((a, b) => a.rank - b.rank || compareTags(a.entry.animal.tag, b.entry.animal.tag));
  const results = hits.slice(0, limit).map(({ entry, rank }) => ({ animal: entry.animal, matchedIn: rank < 5 ? null : matchedRecord(entry, terms) }));
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
  const totals = { 'on-farm': 0, sold: 0, died: 0 };
  for (const a of db.animals) {
    const sp = a.species.trim() || 'Not recorded';
    let row = bySpecies.get(sp);
    if (!row) bySpecies.set(sp, (row = { species: sp, 'on-farm': 0, sold: 0, died: 0 }));
    row[a.status]++;
    totals[a.status]++;
  }
  const rows = [...bySpecies.values()].sort((a, b) => b['on-farm'] - a['on-farm'] || collator.compare(a.species, b.species));
  return { rows, totals };
}

// The n most recent dated events of every kind, newest first, without
// sorting every event on the farm.
export function recentEvents(db, idx, n = 10) {
  const top = [];
  const consider = (date, make) => {
    if (top.length === n && date <= top[top.length - 1].date) return;
    const ev = make();
    let i = top.length;
    while (i > 0 && top[i - 1].date < date) i--;
    top.splice(i, 0, ev);
    if (top.length > n) top.pop();
  };
  for (const t of db.treatments) consider(t.date, () => ({ kind: 'treatment', date: t.date, record: t, animals: t.animalIds }));
  for (const w of db.weights) consider(w.date, () => ({ kind: 'weight', date: w.date, record: w, animals: [w.animalId] }));
  for (const b of db.births) consider(b.date, () => ({ kind: 'birth', date: b.date, record: b, animals: [b.damId, ...b.offspringIds].filter(Boolean) }));
  for (const m of db.movements) consider(m.date, () => ({ kind: 'movement', date: m.date, record: m, animals: m.animalIds }));
  return top;
}

// ---------------------------------------------------------------- CSV

// RFC 4180, and also quoting leading or trailing spaces, which spreadsheet
// programs otherwise trim away.
export function csvField(value) {
  const s = value === null || value === undefined ? '' : String(value);
  return /[",\r\n]|^\s|\s$/.test(s) ? `"${s.replace(/"/g, '""')}"` : s;
}

export function toCsv(header, rows) {
  let out = header.map(csvField).join(',') + '\r\n';
  for (const row of rows) out += row.map(csvField).join(',') + '\r\n';
  return out;
}

export function animalsCsv(animals, idx) {
  return toCsv(
    ['Tag', 'Name', 'Species', 'Breed', 'Sex', 'Date of birth', 'Dam', 'Sire', 'Status', 'Status date', 'Field or pen', 'Notes'],
    animals.map((a) => [a.tag, a.name, a.species, a.breed, SEX_LABEL.get(a.sex), a.dob, a.dam, a.sire,
      STATUS_LABEL.get(a.status), a.statusDate, fieldName(idx, a.fieldId), a.notes]),
  );
}

export function treatmentsCsv(treatments, idx) {
  return toCsv(
    ['Date', 'Animals', 'Group', 'Product', 'Batch', 'Dose', 'Reason', 'Given by',
      'Meat withdrawal (days)', 'Meat withdrawal ends', 'Milk withdrawal (days)', 'Milk withdrawal ends', 'Notes'],
    treatments.map((t) => {
      const { meatEnd, milkEnd } = treatmentWithdrawal(t);
      return [t.date, tagsOf(idx, t.animalIds).join(' '), t.target, t.product, t.batch, t.dose, t.reason, t.givenBy,
        t.meatDays, t.meatDays > 0 ? meatEnd : '', t.milkDays, t.milkDays > 0 ? milkEnd : '', t.notes];
    }),
  );
}

export function inDateRange(date, from, to) {
  return (!from || date >= from) && (!to || date <= to);
}
