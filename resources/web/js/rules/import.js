// Setting up a herd from a spreadsheet: animals and weights read from a CSV
// file, its columns matched to the record's fields, and every row checked
// before anything is written. Rows with errors are reported by their line in
// the file and left out; nothing changes until the farmer confirms.

import { isIsoDate } from '../core/dates.js';
import { fold, normaliseTag, SEXES } from '../core/text.js';
import { newId, newIds } from '../core/database.js';
import { parseNumber } from './records.js';
import { movementsByAnimal, presentOn, refreshHerd } from './history.js';
import { readEid, showEid } from './eid.js';
import {
  looksLikeData,
  guessFromContents,
  headerWords,
  dateOrderOf,
  hasSlashDate,
  readDate,
  unitOf,
  lbToKg,
} from './device-files.js';

export const IMPORT_FIELDS = [
  ['tag', 'Tag'],
  ['eid', 'Electronic ID'],
  ['name', 'Name'],
  ['species', 'Species'],
  ['breed', 'Breed'],
  ['sex', 'Sex'],
  ['dob', 'Date of birth'],
  ['field', 'Field or pen'],
  ['weightDate', 'Date weighed'],
  ['kg', 'Weight (kg, or in the unit column)'],
  ['lb', 'Weight (lb)'],
  ['unit', 'Unit of the weight (kg or lb)'],
  ['birthKg', 'Birth weight (kg)'],
  ['birthLb', 'Birth weight (lb)'],
  ['notes', 'Notes'],
];

// Spreadsheets save with commas, or semicolons where the comma is the decimal
// mark, or tabs; the header line decides.
function delimiterOf(line) {
  let best = ',',
    most = 0;
  for (const d of [',', ';', '\t']) {
    const n = line.split(d).length;
    if (n > most) {
      most = n;
      best = d;
    }
  }
  return best;
}

// RFC 4180 with any of those delimiters. Our own export writes tags as
// ="0042" so that spreadsheets keep them as text; that form is unwrapped.
export function parseCsv(textIn) {
  // Older Mac spreadsheets end lines with a lone CR.
  const src = textIn.replace(/^\ufeff/, '').replace(/\r\n?/g, '\n');
  const firstLine = src.slice(0, src.search(/\n|$/));
  const d = delimiterOf(firstLine);
  const rows = [];
  let row = [],
    cell = '',
    i = 0,
    quoted = false,
    line = 1,
    startLine = 1;
  const endCell = () => {
    const m = /^="(.*)"$/s.exec(cell);
    const v = (m ? m[1] : cell).trim();
    // Our export puts ' before a leading = + - @ so that no formula runs.
    row.push(/^'[=+\-@]/.test(v) ? v.slice(1) : v);
    cell = '';
  };
  const endRow = () => {
    endCell();
    if (row.some((x) => x !== '')) rows.push({ line: startLine, cells: row });
    row = [];
    startLine = line;
  };
  // Runs of ordinary characters are taken whole: a scale's session of
  // thousands of lines is read in one short task.
  const plain = new RegExp(`[^"\\n${d === '\t' ? '\\t' : d}]+`, 'y');
  const inQuotes = /[^"\n]+/y;
  while (i < src.length) {
    const run = quoted ? inQuotes : plain;
    run.lastIndex = i;
    if (run.test(src)) {
      cell += src.slice(i, run.lastIndex);
      i = run.lastIndex;
      continue;
    }
    const c = src[i];
    if (quoted) {
      if (c === '"' && src[i + 1] === '"') {
        cell += '"';
        i += 2;
        continue;
      }
      if (c === '"') {
        quoted = false;
        i++;
        continue;
      }
      if (c === '\n') line++;
      cell += c;
      i++;
      continue;
    }
    if (c === '"' && (cell === '' || cell === '=')) {
      quoted = true;
      cell = '';
      i++;
      continue;
    }
    if (c === d) {
      endCell();
      i++;
      continue;
    }
    if (c === '\n') {
      line++;
      endRow();
      i++;
      continue;
    }
    cell += c;
    i++;
  }
  if (quoted) return { ok: false, message: `A quotation mark opened on line ${startLine} is never closed.` };
  if (cell !== '' || row.length) endRow();
  if (!rows.length) return { ok: false, message: 'The file is empty.' };
  // A reader or an indicator writes no header: its first line is data.
  if (looksLikeData(rows[0].cells)) {
    const width = rows.slice(0, 200).reduce((w, r) => Math.max(w, r.cells.length), 0);
    return { ok: true, header: Array(width).fill(''), rows, headerless: true };
  }
  return { ok: true, header: rows[0].cells, rows: rows.slice(1) };
}

// Tried in this order against the header's words, each field given to one
// column at most: a birth weight is not a weighing, a weigh date not a birth.
const GUESSES = [
  ['birthLb', /\bbirth ?(weight|wt)\b.*\b(lbs?|pounds?)\b/],
  ['birthKg', /\bbirth ?(weight|wt)\b|\bbw\b/],
  ['eid', /\b(eid|electronic|rfid|transponder|bolus)\b/],
  ['weightDate', /\b(weigh|weight|weighing|session) ?date\b|\bdate ?(weighed|of weighing)\b|^date$/],
  ['dob', /\b(dob|date ?of ?birth|birth ?date|birth|born)\b/],
  ['lb', /\b(lbs?|pounds?)\b/],
  ['kg', /\b(weight|wt|kgs?|live ?weight|kilos?)\b/],
  ['unit', /\b(units?|uom)\b/],
  ['tag', /\b(tag|ear ?tag|vid|visual|management ?(number|no)|ear ?number|id)\b/],
  ['name', /\bname\b|\b(farm ?id|management|mgmt|vid|visual)\b/],
  ['species', /\bspecies\b/],
  ['breed', /\bbreed\b/],
  ['sex', /\b(sex|gender)\b/],
  ['field', /\b(field|pen|paddock|location)\b/],
  ['notes', /\b(notes?|comments?|remarks?)\b/],
];

// Column index → field key ('' to leave out), from the header's words or,
// in a file without one, from what its columns hold.
export function guessMapping(header, parsed = null) {
  if (parsed?.headerless) return guessFromContents(parsed.rows, header.length);
  const taken = new Set();
  return header.map((h) => {
    const f = headerWords(h);
    const hit = GUESSES.find(([key, re]) => !taken.has(key) && re.test(f));
    if (!hit) return '';
    taken.add(hit[0]);
    return hit[0];
  });
}

const SEX_WORDS = new Map([
  ...['f', 'female', 'ewe', 'cow', 'heifer', 'doe', 'sow', 'gilt', 'mare', 'hen', 'nanny'].map((w) => [
    w,
    'female',
  ]),
  ...['m', 'male', 'ram', 'bull', 'buck', 'boar', 'stallion', 'billy', 'entire', 'tup'].map((w) => [
    w,
    'male',
  ]),
  ...['c', 'castrated', 'wether', 'steer', 'bullock', 'gelding', 'castrate', 'barrow'].map((w) => [
    w,
    'castrated',
  ]),
  ...['', 'u', 'unknown'].map((w) => [w, 'unknown']),
]);
for (const [k, l] of SEXES) SEX_WORDS.set(fold(l), k);

// yyyy-mm-dd, or the day-first dd/mm/yyyy of British and European sheets.
export const parseDate = (s) => readDate(s, 'dmy');

// What spreadsheets do to tags kept as numbers: 3.41207E+11, or 0042 as 42.
const SCIENTIFIC = /^\d\.\d+e\+\d+$/i;
const withoutZeros = (tag) => (/^\d+$/.test(tag) ? tag.replace(/^0+(?=\d)/, '') : null);

export const isEid = (s) => /^\d{15}$/.test(s);
export const cleanEid = (s) => s.replace(/[\s-]/g, '');

// The questions a file leaves open, asked once in the preview: the order of
// its dates when none of them tells, and the day of a weighing session when
// it has weights but no date column.
function openQuestions(parsed, col, opts) {
  const values = [];
  for (const { cells } of parsed.rows)
    for (const k of ['weightDate', 'dob']) if (col.has(k)) values.push(cells[col.get(k)] ?? '');
  const evidence = dateOrderOf(values);
  const ask = [];
  if (!evidence.order && !opts.dateOrder && hasSlashDate(values)) ask.push('dateOrder');
  const weighs = col.has('kg') || col.has('lb');
  if (weighs && !col.has('weightDate') && !isIsoDate(opts.sessionDate ?? '')) ask.push('sessionDate');
  return { evidence, ask };
}

const empty = (parsed, more) => ({ animals: [], weights: [], errors: [], rows: parsed.rows.length, ...more });

// Checks every row against the farm and the rest of the file. A tag already
// on the farm takes only the row's weight; a new tag becomes an animal.
// `opts`: dateOrder ('dmy' or 'mdy') and sessionDate, the farmer's answers.
export function planImport(parsed, mapping, db, idx, today, opts = {}) {
  const steps = planSteps(parsed, mapping, db, idx, today, opts);
  for (;;) {
    const r = steps.next();
    if (r.done) return r.value;
  }
}

// The same, pausing every few hundred rows, so that a page can check a
// session of thousands of rows in short tasks. The plan is its return value.
export function* planSteps(parsed, mapping, db, idx, today, opts = {}) {
  const col = new Map();
  mapping.forEach((key, i) => {
    if (key && !col.has(key)) col.set(key, i);
  });
  const get = (cells, key) => (col.has(key) ? (cells[col.get(key)] ?? '').trim() : '');
  const errors = [];
  if (!col.has('tag') && !col.has('eid'))
    return empty(parsed, {
      errors: [{ line: 1, message: 'No column is matched to the tag or the electronic ID.' }],
    });
  const { evidence, ask } = openQuestions(parsed, col, opts);
  const order = evidence.order || opts.dateOrder || 'dmy';
  if (ask.length) return empty(parsed, { ask, order });
  const fields = new Map(db.fields.filter((f) => !f.archived).map((f) => [fold(f.name), f]));
  const eids = new Map(db.animals.filter((a) => a.eid).map((a) => [a.eid, a]));
  const fresh = new Map();
  const freshEids = new Map();
  const animals = [];
  const weights = [];
  const weighed = new Set();
  let converted = 0;
  yield 0;
  const per = movementsByAnimal(db);
  yield 0;
  const dateIn = (s) => (order === 'mixed' ? (isIsoDate(s.trim()) ? s.trim() : null) : readDate(s, order));
  const notADate = (what, s) =>
    order === 'mixed'
      ? `The ${what} “${s}”: this file writes dates both day first (${evidence.dmy}) and month first (${evidence.mdy}), so none can be trusted; write them as yyyy-mm-dd.`
      : `The ${what} “${s}” is not a date (yyyy-mm-dd or ${order === 'mdy' ? 'mm/dd/yyyy' : 'dd/mm/yyyy'}).`;
  const zeroless = new Map(db.animals.map((a) => [withoutZeros(a.tag), a]).filter(([k]) => k));
  yield 0;
  const weightKey = col.has('lb') ? 'lb' : 'kg';
  // A number and its unit: the column's when it names one, else the row's.
  const massOf = (valueText, unitText, perPound) => {
    const n = parseNumber(valueText);
    const unit = perPound ? 'lb' : col.has('unit') ? unitOf(unitText) : 'kg';
    if (!unit)
      return {
        error: unitText
          ? `The unit “${unitText}” is neither kg nor lb.`
          : 'The unit of the weight is missing.',
      };
    if (!(n > 0)) return { error: `The weight “${valueText}” is not a number.` };
    const kg = unit === 'lb' ? lbToKg(n) : n;
    return kg > 5000
      ? { error: `The weight “${valueText}” ${unit} is more than any animal weighs.` }
      : { kg, unit };
  };
  let done = 0;
  for (const { line, cells } of parsed.rows) {
    if (++done % 250 === 0) yield done;
    const bad = (message) => errors.push({ line, message });
    const tag = get(cells, 'tag').replace(/\s+/g, ' ');
    const eidText = get(cells, 'eid');
    const eid = eidText ? readEid(eidText) : '';
    if (eidText && !eid) {
      bad(`The electronic ID “${eidText}” is not 15 digits.`);
      continue;
    }
    if (SCIENTIFIC.test(tag)) {
      bad(`The tag “${tag}” was turned into a number by a spreadsheet; save the tags as text.`);
      continue;
    }
    const kgText = get(cells, weightKey);
    const dateText = get(cells, 'weightDate') || (kgText && !col.has('weightDate') ? opts.sessionDate : '');
    // Tags first, then the row's electronic ID, then former tags: an EID on
    // record names its animal in a reader's file whatever number is beside it.
    const tagKey = normaliseTag(tag);
    let known = tag ? idx.byTag.get(tagKey) || null : null;
    if (!known && eid && kgText) known = eids.get(eid) || null;
    if (!known && tag) known = idx.byFormerTag.get(tagKey) || idx.byEid?.get(readEid(tag)) || null;
    if (!known && !tag && eid) known = eids.get(eid) || null;
    const mine = fresh.get(normaliseTag(tag || eid));
    if (!tag && !known) {
      bad(
        eid
          ? `No animal on record has the electronic ID ${showEid(eid)}, and the row has no tag to add it by.`
          : 'The tag is missing.',
      );
      continue;
    }
    if (known?.voided) {
      bad(`${known.tag} was entered in error; restore it first.`);
      continue;
    }
    if (known && eid && known.eid && known.eid !== eid) {
      bad(`${known.tag} already has the electronic ID ${known.eid}.`);
      continue;
    }
    const eidOwner = eid ? eids.get(eid) || freshEids.get(eid) : null;
    if (eidOwner && eidOwner !== known && eidOwner !== mine) {
      bad(`The electronic ID ${eid} belongs to ${eidOwner.tag}.`);
      continue;
    }
    let weight = null;
    if (kgText || dateText) {
      const date = dateIn(dateText);
      // In a file a comma before three digits is as likely a thousands separator as a decimal one.
      if (/^\d{1,3}(,\d{3})+$/.test(kgText)) {
        bad(
          `The weight “${kgText}” could be read two ways; write it without a thousands separator, as ${kgText.replace(/,/g, '')} or ${kgText.replace(',', '.')}.`,
        );
        continue;
      }
      const mass = massOf(kgText, get(cells, 'unit'), weightKey === 'lb');
      if (mass.error) {
        bad(kgText ? mass.error : `The weight is missing.`);
        continue;
      }
      if (!date) {
        bad(dateText ? notADate('date weighed', dateText) : 'The date weighed is missing.');
        continue;
      }
      if (date > today) {
        bad(`The date weighed ${date} is in the future.`);
        continue;
      }
      weight = { date, kg: mass.kg };
      if (mass.unit === 'lb') weight.lb = parseNumber(kgText);
    }
    // A tag listed again in the file: what it gives must agree with the first row.
    const sexText = fold(get(cells, 'sex'));
    if (mine && ((eid && eid !== (mine.eid || '')) || (sexText && SEX_WORDS.get(sexText) !== mine.sex))) {
      bad(`${mine.tag} is listed twice with different details.`);
      continue;
    }
    if (weight && mine?.dob && weight.date < mine.dob) {
      bad(`Weighed on ${weight.date}, before its birth.`);
      continue;
    }
    let target = known || mine;
    if (!target) {
      // A scan looks among tags before electronic IDs: one may not be the other's.
      const tagOwner = eid
        ? idx.byTag.get(normaliseTag(eid)) ||
          idx.byFormerTag.get(normaliseTag(eid)) ||
          fresh.get(normaliseTag(eid))
        : null;
      if (tagOwner) {
        bad(`The electronic ID ${eid} is, or was, the tag of ${tagOwner.tag}.`);
        continue;
      }
      if (/[,;]/.test(tag)) {
        bad(`The tag ${tag} holds a comma or a semicolon, which lists of tags are split at.`);
        continue;
      }
      if (freshEids.has(cleanEid(tag))) {
        bad(`The tag ${tag} is the electronic ID of ${freshEids.get(cleanEid(tag)).tag}.`);
        continue;
      }
      const zerosLost = zeroless.get(withoutZeros(tag));
      if (zerosLost) {
        bad(
          `The tag ${tag} may be ${zerosLost.tag} with its leading zeros lost by a spreadsheet; save the tags as text.`,
        );
        continue;
      }
      const sex = SEX_WORDS.get(sexText);
      if (!sex) {
        bad(`The sex “${get(cells, 'sex')}” is not one Field Keeper knows (female, male, castrated).`);
        continue;
      }
      const dobText = get(cells, 'dob');
      const dob = dobText ? dateIn(dobText) : '';
      if (dob === null) {
        bad(notADate('date of birth', dobText));
        continue;
      }
      if (dob > today) {
        bad(`The date of birth ${dob} is in the future.`);
        continue;
      }
      const fieldText = get(cells, 'field');
      const field = fieldText ? fields.get(fold(fieldText)) : null;
      if (fieldText && !field) {
        bad(`There is no field or pen named “${fieldText}”; add it first.`);
        continue;
      }
      if (weight && dob && weight.date < dob) {
        bad(`Weighed on ${weight.date}, before its birth.`);
        continue;
      }
      const birthKey = col.has('birthLb') ? 'birthLb' : 'birthKg';
      const birthText = get(cells, birthKey);
      const birth = birthText ? massOf(birthText, '', birthKey === 'birthLb') : null;
      if (birth?.error || birth?.kg > 200) {
        bad(`The birth weight “${birthText}” is not a weight.`);
        continue;
      }
      target = {
        id: newId('an'),
        tag,
        eid,
        name: get(cells, 'name'),
        species: get(cells, 'species'),
        breed: get(cells, 'breed'),
        sex,
        dob,
        dam: '',
        sire: '',
        firstFieldId: field?.id ?? '',
        tagHistory: [],
        notes: get(cells, 'notes'),
      };
      if (!eid) delete target.eid;
      if (birth) target.birthWeightKg = birth.kg;
      animals.push(target);
      fresh.set(normaliseTag(tag), target);
      if (eid) freshEids.set(eid, target);
    } else if (known && weight && !presentOn(known, per, weight.date)) {
      bad(`${known.tag} was not on the farm on ${weight.date}.`);
      continue;
    } else if (known && eid && !known.eid) {
      bad(`${known.tag} is already on the farm; add its electronic ID on its record.`);
      continue;
    } else if (!weight) {
      bad(`${target.tag} is ${known ? 'already on the farm' : 'listed twice'} and the row has no weight.`);
      continue;
    }
    if (weight) {
      const key = `${target.id}|${weight.date}`;
      if (
        weighed.has(key) ||
        (known && idx.perAnimal.get(known.id)?.weights.some((w) => !w.voided && w.date === weight.date))
      ) {
        bad(`${target.tag} is weighed twice on ${weight.date}.`);
        continue;
      }
      weighed.add(key);
      weights.push({ animalId: target.id, ...weight });
      if (weight.lb) converted++;
    }
  }
  const lbBirths = col.has('birthLb') ? animals.filter((a) => a.birthWeightKg).length : 0;
  return { animals, weights, errors, rows: parsed.rows.length, order, evidence, converted, lbBirths };
}

export function applyImport(db, plan) {
  for (const a of plan.animals)
    db.animals.push({ ...a, status: 'on-farm', statusDate: '', fieldId: a.firstFieldId });
  const ids = newIds('we', plan.weights.length);
  plan.weights.forEach((w, i) =>
    db.weights.push({ id: ids[i], date: w.date, animalId: w.animalId, kg: w.kg }),
  );
  // Weighings move no animal: only the new ones need their state worked out.
  if (plan.animals.length) refreshHerd(db, new Set(plan.animals.map((a) => a.id)));
  return { animals: plan.animals.length, weights: plan.weights.length };
}
