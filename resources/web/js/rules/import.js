// Setting up a herd from a spreadsheet: animals and weights read from a CSV
// file, its columns matched to the record's fields, and every row checked
// before anything is written. Rows with errors are reported by their line in
// the file and left out; nothing changes until the farmer confirms.

import { isIsoDate } from '../core/dates.js';
import { fold, normaliseTag, SEXES } from '../core/text.js';
import { findByTag } from '../core/lookups.js';
import { newId } from '../core/database.js';
import { parseNumber } from './records.js';
import { movementsByAnimal, presentOn, refreshHerd } from './history.js';

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
  ['kg', 'Weight (kg)'],
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
  while (i < src.length) {
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
  return { ok: true, header: rows[0].cells, rows: rows.slice(1) };
}

const GUESSES = [
  ['eid', /\b(eid|electronic|rfid|transponder|bolus)\b/],
  ['weightDate', /(weigh|weight) ?date|date (weighed|of weighing)/],
  ['kg', /\b(weight|kg|live ?weight)\b/],
  ['dob', /\b(dob|birth|born)\b/],
  ['tag', /\b(tag|ear ?tag|visual|ear ?number|id)\b/],
  ['name', /\bname\b/],
  ['species', /\bspecies\b/],
  ['breed', /\bbreed\b/],
  ['sex', /\b(sex|gender)\b/],
  ['field', /\b(field|pen|paddock|location)\b/],
  ['notes', /\b(notes?|comments?|remarks?)\b/],
];

// Column index → field key ('' to leave out), from the header's words; each
// field is matched to one column at most.
export function guessMapping(header) {
  const taken = new Set();
  return header.map((h) => {
    const f = fold(h);
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
export function parseDate(s) {
  const t = s.trim();
  if (isIsoDate(t)) return t;
  const m = /^(\d{1,2})[/.-](\d{1,2})[/.-](\d{4})$/.exec(t);
  if (!m) return null;
  const iso = `${m[3]}-${m[2].padStart(2, '0')}-${m[1].padStart(2, '0')}`;
  return isIsoDate(iso) ? iso : null;
}

const SLASH_DATE = /^(\d{1,2})[/.-](\d{1,2})[/.-]\d{4}$/;

// A file with a date such as 12/31/2025 writes its dates month first: read
// day first, its 03/04/2025 would silently become the 3rd of April.
function writesMonthFirst(rows, dates) {
  return rows.some(({ cells }) =>
    dates(cells).some((s) => {
      const m = SLASH_DATE.exec(s);
      return m && Number(m[1]) <= 12 && Number(m[2]) > 12;
    }),
  );
}

// What spreadsheets do to tags kept as numbers: 3.41207E+11, or 0042 as 42.
const SCIENTIFIC = /^\d\.\d+e\+\d+$/i;
const withoutZeros = (tag) => (/^\d+$/.test(tag) ? tag.replace(/^0+(?=\d)/, '') : null);

export const isEid = (s) => /^\d{15}$/.test(s);
export const cleanEid = (s) => s.replace(/[\s-]/g, '');

// Checks every row against the farm and the rest of the file. A tag already
// on the farm takes only the row's weight; a new tag becomes an animal.
export function planImport(parsed, mapping, db, idx, today) {
  const col = new Map();
  mapping.forEach((key, i) => {
    if (key) col.set(key, i);
  });
  const get = (cells, key) => (col.has(key) ? (cells[col.get(key)] ?? '').trim() : '');
  const errors = [];
  if (!col.has('tag') && !col.has('eid'))
    return {
      animals: [],
      weights: [],
      errors: [{ line: 1, message: 'No column is matched to the tag or the electronic ID.' }],
      rows: parsed.rows.length,
    };
  const fields = new Map(db.fields.filter((f) => !f.archived).map((f) => [fold(f.name), f]));
  const eids = new Map(db.animals.filter((a) => a.eid).map((a) => [a.eid, a]));
  const fresh = new Map();
  const freshEids = new Map();
  const animals = [];
  const weights = [];
  const weighed = new Set();
  const per = movementsByAnimal(db);
  const monthFirst = writesMonthFirst(parsed.rows, (cells) => [get(cells, 'weightDate'), get(cells, 'dob')]);
  const dateIn = (s) => (monthFirst && SLASH_DATE.test(s.trim()) ? null : parseDate(s));
  const notADate = (what, s) =>
    monthFirst && SLASH_DATE.test(s.trim())
      ? `The ${what} “${s}”: this file writes dates month first (as in 12/31/2025), so none of its dd/mm dates can be trusted; write them as yyyy-mm-dd.`
      : `The ${what} “${s}” is not a date (yyyy-mm-dd or dd/mm/yyyy).`;
  const zeroless = new Map(db.animals.map((a) => [withoutZeros(a.tag), a]).filter(([k]) => k));
  for (const { line, cells } of parsed.rows) {
    const bad = (message) => errors.push({ line, message });
    const tag = get(cells, 'tag').replace(/\s+/g, ' ');
    const eid = cleanEid(get(cells, 'eid'));
    if (eid && !isEid(eid)) {
      bad(`The electronic ID “${get(cells, 'eid')}” is not 15 digits.`);
      continue;
    }
    if (SCIENTIFIC.test(tag)) {
      bad(`The tag “${tag}” was turned into a number by a spreadsheet; save the tags as text.`);
      continue;
    }
    let known = tag ? findByTag(idx, tag) : null;
    if (!known && !tag && eid) known = eids.get(eid) || null;
    const mine = fresh.get(normaliseTag(tag || eid));
    if (!tag && !known) {
      bad('The tag is missing.');
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
    const kgText = get(cells, 'kg');
    const dateText = get(cells, 'weightDate');
    let weight = null;
    if (kgText || dateText) {
      const kg = parseNumber(kgText);
      const date = dateIn(dateText);
      // In a file a comma before three digits is as likely a thousands separator as a decimal one.
      if (/^\d{1,3}(,\d{3})+$/.test(kgText)) {
        bad(
          `The weight “${kgText}” could be read two ways; write it without a thousands separator, as ${kgText.replace(/,/g, '')} or ${kgText.replace(',', '.')}.`,
        );
        continue;
      }
      if (!(kg > 0) || kg > 5000) {
        bad(`The weight “${kgText}” is not a number of kilograms.`);
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
      weight = { date, kg };
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
    }
  }
  return { animals, weights, errors, rows: parsed.rows.length };
}

export function applyImport(db, plan) {
  for (const a of plan.animals)
    db.animals.push({ ...a, status: 'on-farm', statusDate: '', fieldId: a.firstFieldId });
  for (const w of plan.weights)
    db.weights.push({ id: newId('we'), date: w.date, animalId: w.animalId, kg: w.kg });
  refreshHerd(db);
  return { animals: plan.animals.length, weights: plan.weights.length };
}
