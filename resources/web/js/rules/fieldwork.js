// Field records: the plant protection products sprayed (Regulation (EC)
// 1107/2009 art. 67(1), with the content Implementing Regulation (EU)
// 2023/564 sets out in its annex), the fertilisers and manures spread, and the
// grazing closures that follow from a label's "do not graze for N days".

import { isTime, addDays, periodEndLocal } from '../core/dates.js';
import { inForce } from '../core/database.js';
import { MAX_WITHDRAWAL_DAYS } from '../core/text.js';
import { text, parseNumber, parsePeriod, requireDate, result, validateField } from './records.js';
import { movementsByAnimal } from './history.js';
import { toCsv } from './csv.js';

export const LAND_USES = [
  ['', 'Not recorded'],
  ['permanent-grass', 'Permanent grass'],
  ['temporary-grass', 'Temporary grass (ley)'],
  ['arable', 'Arable crop'],
  ['woodland', 'Woodland'],
  ['other', 'Other'],
];
export const LAND_USE_LABEL = new Map(LAND_USES);

// Which spreadings count towards which limit: livestock manure towards the
// holding's 170 kg N/ha (reg. 7), any organic manure towards a field's
// 250 kg N/ha in twelve months (reg. 8).
export const NUTRIENT_KINDS = [
  ['livestock-manure', 'Livestock manure (slurry, FYM, poultry litter)'],
  ['other-organic', 'Other organic manure (compost, digestate, biosolids)'],
  ['manufactured', 'Manufactured fertiliser'],
];
export const NUTRIENT_KIND_LABEL = new Map(NUTRIENT_KINDS);
export const RATE_UNITS = [
  ['t', 't/ha'],
  ['m3', 'm³/ha'],
  ['kg', 'kg/ha'],
];
const RATE_LABEL = new Map(RATE_UNITS);

export const NVZ_SOURCE =
  'The Nitrate Pollution Prevention Regulations 2015 (England), reg. 7: livestock manure no more than 170 kg N a hectare of the holding in a calendar year; reg. 8: organic manure no more than 250 kg N on any hectare in twelve months';
export const HOLDING_LIMIT = 170;
export const FIELD_LIMIT = 250;
export const SPRAY_KEEP_YEARS = 3;
export const NUTRIENT_KEEP_YEARS = 5;

const round = (x, places = 2) => Math.round(x * 10 ** places) / 10 ** places;
const optNumber = (input, key, errors, message) => {
  if (!text(input[key])) return null;
  const v = parseNumber(input[key]);
  if (!(v >= 0)) errors[key] = message;
  return v >= 0 ? v : null;
};

// ---------------------------------------------------------------- field details

// The field form's own keys, with what a field record now holds beside them.
export function validateFieldRecord(input, ctx) {
  const res = validateField(input, ctx);
  const errors = res.ok ? {} : { ...res.errors };
  const landUse = LAND_USE_LABEL.has(input.landUse) ? input.landUse : '';
  const crop = landUse === 'arable' ? text(input.crop) : '';
  if (landUse === 'arable' && !crop) errors.crop = 'Name the crop.';
  const value = {
    ...(res.value ?? {}),
    reference: text(input.reference),
    landUse,
    crop,
    nvz: input.nvz === true || input.nvz === 'on',
  };
  return result(value, errors);
}

// ---------------------------------------------------------------- checks shared by both books

const areaOf = (fields) => fields.reduce((sum, f) => sum + (f.area ?? 0), 0);

function readFields(input, { db, editing }, errors) {
  const ids = String(input.fieldIds ?? '')
    .split(',')
    .map((s) => s.trim())
    .filter(Boolean);
  const fields = ids.map((id) => db.fields.find((f) => f.id === id)).filter(Boolean);
  if (!fields.length) errors.fieldIds = 'Choose at least one field.';
  else if (fields.some((f) => f.archived && !editing?.fieldIds?.includes(f.id)))
    errors.fieldIds = 'An archived field cannot be chosen.';
  return fields;
}

// The area treated cannot be more than the fields hold. A field whose area
// was never recorded leaves nothing to check against.
function readArea(input, fields, errors) {
  const typed = text(input.area);
  const known = fields.length && fields.every((f) => typeof f.area === 'number');
  const area = typed ? parseNumber(typed) : known ? round(areaOf(fields), 4) : NaN;
  if (!(area > 0)) errors.area = 'Enter the area treated, in hectares.';
  else if (known && area > round(areaOf(fields), 4) + 1e-9)
    errors.area = `The fields chosen hold ${round(areaOf(fields), 4)} ha: the area treated cannot be more.`;
  return area > 0 ? area : null;
}

// ---------------------------------------------------------------- sprays

export function validateSpray(input, ctx) {
  const { today } = ctx;
  const errors = {};
  const date = requireDate(input.date, errors, 'date', today);
  const time = text(input.time);
  if (time && !isTime(time)) errors.time = 'Use the 24-hour form hh:mm, for example 07:30.';
  const fields = readFields(input, ctx, errors);
  const area = readArea(input, fields, errors);
  const product = text(input.product);
  if (!product) errors.product = 'Enter the product’s name.';
  const mapp = text(input.mapp);
  if (!mapp) errors.mapp = 'Enter the registration (MAPP) number from the label.';
  const crop = text(input.crop);
  if (!crop) errors.crop = 'Enter the crop, for example “permanent grassland”.';
  const dosePerHa = parseNumber(input.dosePerHa);
  if (!(dosePerHa > 0)) errors.dosePerHa = 'Enter the dose per hectare.';
  const typedTotal = text(input.totalUsed);
  const totalUsed = typedTotal
    ? parseNumber(typedTotal)
    : dosePerHa > 0 && area
      ? round(dosePerHa * area, 3)
      : NaN;
  if (!(totalUsed > 0)) errors.totalUsed = 'Enter the total used.';
  const operator = text(input.operator);
  if (!operator) errors.operator = 'Enter who applied it.';
  const grazingDays = parsePeriod(input.grazingDays, errors, 'grazingDays', MAX_WITHDRAWAL_DAYS, 'days');
  const harvestDays = text(input.harvestDays)
    ? parsePeriod(input.harvestDays, errors, 'harvestDays', MAX_WITHDRAWAL_DAYS, 'days')
    : null;
  return result(
    {
      date,
      time,
      fieldIds: fields.map((f) => f.id),
      area,
      product,
      mapp,
      crop,
      cropCode: text(input.cropCode).toUpperCase(),
      growthStage: text(input.growthStage),
      dosePerHa,
      doseUnit: text(input.doseUnit) || 'l/ha',
      totalUsed,
      waterPerHa: optNumber(input, 'waterPerHa', errors, 'Enter the water volume in litres a hectare.'),
      operator,
      certificate: text(input.certificate),
      reason: text(input.reason),
      wind: text(input.wind),
      temperature: text(input.temperature),
      grazingDays,
      harvestDays,
      notes: text(input.notes),
    },
    errors,
  );
}

// ---------------------------------------------------------------- grazing closures

export const NOT_KNOWN = 'grazing interval not known';

// When a field sprayed may be grazed again: N × 24 hours from the time of
// application, or from the end of its day when no time was kept (it may have
// been the day's last minute), never early across a clock change, as a
// withdrawal period ends. No interval recorded keeps the field closed.
export function reopensAt(s) {
  if (!Number.isInteger(s.grazingDays)) return NOT_KNOWN;
  const start = s.time ? [s.date, s.time] : [addDays(s.date, 1), '00:00'];
  if (s.grazingDays === 0) return start.join(' ');
  return periodEndLocal(start[0], start[1], s.grazingDays * 24);
}

const asMoment = (s) => (s === NOT_KNOWN ? '9999-12-31 23:59' : s.length === 10 ? `${s} 00:00` : s);
export const reopenText = (at) => (at === NOT_KNOWN ? NOT_KNOWN : `reopens ${at}`);

// The sprays in force keeping a field closed at a moment ("yyyy-mm-dd hh:mm",
// or a date for its first minute), latest reopening first.
export function closuresAt(db, fieldId, when) {
  const at = asMoment(when);
  return db.sprays
    .filter((s) => inForce(s) && s.fieldIds.includes(fieldId) && asMoment(s.date) <= at)
    .map((s) => ({ spray: s, opens: reopensAt(s) }))
    .filter((c) => asMoment(c.opens) > at)
    .sort((a, b) => (asMoment(a.opens) < asMoment(b.opens) ? 1 : -1));
}

// A movement keeps no time: animals moved in on a day a closure ends might
// have gone in before it, so any closure during that day counts. One sprayed
// that very day counts too.
export function grazingConflicts(db, fieldId, date) {
  if (!fieldId) return [];
  return db.sprays
    .filter((s) => inForce(s) && s.fieldIds.includes(fieldId) && s.date <= date)
    .map((s) => ({ spray: s, fieldId, opens: reopensAt(s) }))
    .filter((c) => asMoment(c.opens) > `${date} 00:00`);
}

export function grazingText(db, conflicts) {
  return conflicts
    .map((c) => {
      const f = db.fields.find((x) => x.id === (c.fieldId ?? c.spray.fieldIds[0]));
      return `${f ? `${f.name}: ` : ''}${c.spray.product} sprayed ${c.spray.date}${c.spray.time ? ` ${c.spray.time}` : ''}, ${reopenText(c.opens)}`;
    })
    .join('; ');
}

// Fields reopening to grazing during `today`.
export function reopeningToday(db, today) {
  const out = [];
  for (const f of db.fields) {
    if (f.archived) continue;
    const closed = closuresAt(db, f.id, `${addDays(today, -1)} 23:59`);
    if (closed.length && closed[0].opens !== NOT_KNOWN && closed[0].opens.slice(0, 10) === today)
      out.push({ field: f, opens: closed[0].opens, product: closed[0].spray.product });
  }
  return out;
}

// Who grazed a field when, from the movements: each arrival there and when
// those animals left, newest first. Animals first recorded there count from
// their first record.
export function grazingSpells(db, idx, fieldId) {
  const spells = new Map();
  const spell = (key, from) => {
    let s = spells.get(key);
    if (!s) spells.set(key, (s = { from, to: '', animalIds: [], stillThere: 0 }));
    return s;
  };
  const per = movementsByAnimal(db);
  for (const a of db.animals) {
    if (!inForce(a)) continue;
    const moves = per.get(a.id) || [];
    const stays = [];
    if (a.firstFieldId === fieldId && moves[0]?.[1].direction !== 'on') stays.push(['first', '', 0]);
    moves.forEach(([, m], n) => {
      if (m.direction !== 'off' && m.fieldId === fieldId) stays.push([m.id, m.date, n + 1]);
    });
    for (const [key, from, next] of stays) {
      const s = spell(key, from);
      s.animalIds.push(a.id);
      const left = moves[next]?.[1];
      if (left) s.to = !s.to || left.date > s.to ? left.date : s.to;
      else s.stillThere++;
    }
  }
  return [...spells.values()]
    .map((s) => (s.stillThere ? { ...s, to: '' } : s))
    .sort((a, b) => (a.from < b.from ? 1 : a.from > b.from ? -1 : 0));
}

// ---------------------------------------------------------------- nutrients

export function validateNutrient(input, ctx) {
  const errors = {};
  const date = requireDate(input.date, errors, 'date', ctx.today);
  const fields = readFields(input, ctx, errors);
  const area = readArea(input, fields, errors);
  const kind = NUTRIENT_KIND_LABEL.has(input.kind) ? input.kind : 'livestock-manure';
  const product = text(input.product);
  if (!product) errors.product = 'Enter the product or the kind of manure.';
  const rateUnit = RATE_LABEL.has(input.rateUnit) ? input.rateUnit : 't';
  const rate = parseNumber(input.rate);
  if (!(rate > 0)) errors.rate = 'Enter the rate a hectare.';
  const content = rateUnit === 'kg' ? 'as % of the product' : `in kg a ${rateUnit === 't' ? 'tonne' : 'm³'}`;
  const n = parseNumber(input.n);
  if (!(n >= 0)) errors.n = `Enter the nitrogen ${content}; 0 if it has none.`;
  return result(
    {
      date,
      fieldIds: fields.map((f) => f.id),
      area,
      kind,
      product,
      rate,
      rateUnit,
      n: n >= 0 ? n : null,
      p: optNumber(input, 'p', errors, `Enter the phosphate ${content}.`),
      k: optNumber(input, 'k', errors, `Enter the potash ${content}.`),
      method: text(input.method),
      operator: text(input.operator),
      notes: text(input.notes),
    },
    errors,
  );
}

// kg of a nutrient a hectare: content is kg a tonne or m³, or a percentage
// of a product spread in kg.
export function perHa(r, key = 'n') {
  if (typeof r[key] !== 'number') return null;
  return round(r.rateUnit === 'kg' ? (r.rate * r[key]) / 100 : r.rate * r[key]);
}
export const totalOf = (r, key = 'n') => (perHa(r, key) === null ? null : round(perHa(r, key) * r.area));
const organic = (r) => r.kind !== 'manufactured';
const inYear = (r, year) => r.date.slice(0, 4) === String(year);

// Nitrogen for a calendar year, per field and for the holding, from the
// records in force. A record over several fields spreads its rate on each;
// its kilograms are shared by the fields' areas.
export function nitrogenYear(db, year) {
  const byField = new Map();
  const row = (f) => {
    let r = byField.get(f.id);
    if (!r) byField.set(f.id, (r = { field: f, totalPerHa: 0, organicPerHa: 0, livestockKg: 0, totalKg: 0 }));
    return r;
  };
  let livestockKg = 0;
  for (const r of db.nutrients) {
    if (!inForce(r) || !inYear(r, year) || perHa(r) === null) continue;
    const fields = r.fieldIds.map((id) => db.fields.find((f) => f.id === id)).filter(Boolean);
    const whole = areaOf(fields);
    if (r.kind === 'livestock-manure') livestockKg += totalOf(r);
    for (const f of fields) {
      const x = row(f);
      const share = whole > 0 ? (f.area ?? 0) / whole : 1 / fields.length;
      x.totalPerHa = round(x.totalPerHa + perHa(r));
      if (organic(r)) x.organicPerHa = round(x.organicPerHa + perHa(r));
      x.totalKg = round(x.totalKg + totalOf(r) * share);
      if (r.kind === 'livestock-manure') x.livestockKg = round(x.livestockKg + totalOf(r) * share);
    }
  }
  // Reg. 7(4): woodland not grazed, buildings and roads do not count; land
  // in use is the fields not archived, less woodland.
  const holdingHa = round(
    areaOf(db.fields.filter((f) => f.kind === 'field' && !f.archived && f.landUse !== 'woodland')),
    4,
  );
  return {
    fields: [...byField.values()].sort((a, b) => a.field.name.localeCompare(b.field.name)),
    livestockKg: round(livestockKg),
    holdingHa,
    livestockPerHa: holdingHa > 0 ? round(livestockKg / holdingHa) : null,
    limitKg: round(HOLDING_LIMIT * holdingHa),
  };
}

// ---------------------------------------------------------------- exports

const fieldNames = (db, ids) =>
  ids.map((id) => db.fields.find((f) => f.id === id)?.name ?? '(unknown field)').join(', ');
const fieldRefs = (db, ids) =>
  ids
    .map((id) => db.fields.find((f) => f.id === id)?.reference)
    .filter(Boolean)
    .join(', ');
const voidNote = (r) => (r.voided ? `VOID ${r.voided.at.slice(0, 10)}: ${r.voided.reason}` : '');
const num = (v) => (v === null || v === undefined ? '' : String(v));

export const SPRAY_HEADER = [
  'Date',
  'Time',
  'Fields',
  'Field references',
  'Area treated (ha)',
  'Crop',
  'EPPO code',
  'Growth stage (BBCH)',
  'Product',
  'MAPP number',
  'Dose per ha',
  'Total used',
  'Water (l/ha)',
  'Operator',
  'Certificate',
  'Reason',
  'Wind',
  'Temperature',
  'Grazing interval (days)',
  'Reopens to grazing',
  'Harvest interval (days)',
  'Notes',
  'Void',
];

export function sprayRow(db, s) {
  const unit = s.doseUnit || 'l/ha';
  return [
    s.date,
    s.time,
    fieldNames(db, s.fieldIds),
    fieldRefs(db, s.fieldIds),
    num(s.area),
    s.crop,
    s.cropCode,
    s.growthStage,
    s.product,
    s.mapp,
    `${num(s.dosePerHa)} ${unit}`,
    `${num(s.totalUsed)} ${unit.replace(/\/ha$/, '')}`,
    num(s.waterPerHa),
    s.operator,
    s.certificate,
    s.reason,
    s.wind,
    s.temperature,
    num(s.grazingDays),
    reopensAt(s),
    num(s.harvestDays),
    s.notes,
    voidNote(s),
  ];
}

export const spraysCsv = (db, sprays) =>
  toCsv(
    SPRAY_HEADER,
    sprays.map((s) => sprayRow(db, s)),
    [3, 9, 14],
  );

export const NUTRIENT_HEADER = [
  'Date',
  'Fields',
  'Area (ha)',
  'Kind',
  'Product or manure',
  'Rate',
  'N content',
  'P2O5 content',
  'K2O content',
  'N (kg/ha)',
  'N total (kg)',
  'P2O5 total (kg)',
  'K2O total (kg)',
  'Method',
  'Applied by',
  'Notes',
  'Void',
];

export function nutrientRow(db, r) {
  return [
    r.date,
    fieldNames(db, r.fieldIds),
    num(r.area),
    NUTRIENT_KIND_LABEL.get(r.kind) ?? r.kind,
    r.product,
    `${num(r.rate)} ${RATE_LABEL.get(r.rateUnit) ?? r.rateUnit}`,
    num(r.n),
    num(r.p),
    num(r.k),
    num(perHa(r)),
    num(totalOf(r)),
    num(totalOf(r, 'p')),
    num(totalOf(r, 'k')),
    r.method,
    r.operator,
    r.notes,
    voidNote(r),
  ];
}

export const nutrientsCsv = (db, records) =>
  toCsv(
    NUTRIENT_HEADER,
    records.map((r) => nutrientRow(db, r)),
  );

// The spray records as one machine-readable file, one object a application
// (schema in docs/data-format.md, "Spray records file").
export function spraysJson(db, sprays, { from, to, exportedAt }) {
  const field = (id) => db.fields.find((f) => f.id === id);
  return JSON.stringify(
    {
      format: 'meadowline-spray-records',
      version: 1,
      holding: db.farm?.holding ?? '',
      farm: db.farm?.name ?? '',
      period: { from, to },
      exportedAt,
      applications: sprays.map((s) => ({
        id: s.id,
        date: s.date,
        time: s.time || null,
        operator: { name: s.operator, certificate: s.certificate || null },
        product: { name: s.product, authorisation: s.mapp },
        crop: { name: s.crop, eppoCode: s.cropCode || null, bbch: s.growthStage || null },
        fields: s.fieldIds.map((id) => ({
          id,
          name: field(id)?.name ?? null,
          reference: field(id)?.reference || null,
          areaHa: field(id)?.area ?? null,
        })),
        areaTreatedHa: s.area,
        dose: { perHa: s.dosePerHa, unit: s.doseUnit || 'l/ha', total: s.totalUsed },
        waterLitresPerHa: s.waterPerHa ?? null,
        reason: s.reason || null,
        weather: { wind: s.wind || null, temperature: s.temperature || null },
        grazingIntervalDays: s.grazingDays ?? null,
        reopensToGrazing: reopensAt(s) === NOT_KNOWN ? null : reopensAt(s),
        harvestIntervalDays: s.harvestDays ?? null,
        notes: s.notes || null,
        voided: s.voided ? { at: s.voided.at, reason: s.voided.reason } : null,
      })),
    },
    null,
    2,
  );
}
