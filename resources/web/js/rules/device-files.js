// What the files of electronic-ID readers and weigh-scale indicators need
// beyond a spreadsheet's: lines with no header, pounds, dates written month
// or day first with two-digit years, and the layout of each device
// remembered once the farmer has matched its columns.

import { isIsoDate } from '../core/dates.js';
import { fold } from '../core/text.js';
import { readEid } from './eid.js';

export const LB_KG = 0.45359237;

// Pounds to kilograms, to the 0.1 kg a scale shows (0.01 kg under 10 kg, so
// that a lamb's birth weight keeps its meaning).
export function lbToKg(lb) {
  const kg = lb * LB_KG;
  return kg < 10 ? Math.round(kg * 100) / 100 : Math.round(kg * 10) / 10;
}

const NUMBER = /^[-+]?\d+([.,]\d+)?$/;
const SLASH = /^(\d{1,2})[/.-](\d{1,2})[/.-](\d{2}|\d{4})$/;
const TIME = /^\d{1,2}:\d{2}(:\d{2})?$/;
const UNIT = /^(kg|kgs|lb|lbs)$/i;

// '' empty, e EID, d date, t time, u unit, n number, x anything else.
export function cellKind(s) {
  const t = s.trim();
  if (!t) return '';
  if (readEid(t)) return 'e';
  if (isIsoDate(t) || SLASH.test(t)) return 'd';
  if (TIME.test(t)) return 't';
  if (UNIT.test(t)) return 'u';
  if (NUMBER.test(t)) return 'n';
  return 'x';
}

// A header names its columns in words: a line holding an EID, a number or a
// date is the first line of data.
export const looksLikeData = (cells) => cells.some((c) => /[edtn]/.test(cellKind(c)));

// "DateOfBirth", "BirthWeight-Kg", "date_weighed" → spaced lower-case words.
export const headerWords = (h) =>
  fold(String(h).replace(/([a-z])([A-Z])/g, '$1 $2'))
    .replace(/[^a-z0-9]+/g, ' ')
    .trim();

// Most frequent kind of each column over the first lines.
function columnKinds(rows, width) {
  const counts = Array.from({ length: width }, () => new Map());
  for (const { cells } of rows.slice(0, 200))
    cells.forEach((c, i) => {
      const k = cellKind(c);
      if (k && i < width) counts[i].set(k, (counts[i].get(k) ?? 0) + 1);
    });
  return counts.map((m) => [...m].sort((a, b) => b[1] - a[1])[0]?.[0] ?? '');
}

export const widthOf = (rows) => rows.slice(0, 200).reduce((w, r) => Math.max(w, r.cells.length), 0);

// Columns named from what they hold: 15 digits are an EID, a number with a
// unit beside it a weight, the first date the day of weighing. A bare
// number is left for the farmer: it may be a weight, a tag or a count.
export function guessFromContents(rows, width = widthOf(rows)) {
  const kinds = columnKinds(rows, width);
  const out = kinds.map(() => '');
  const first = (k) => kinds.indexOf(k);
  if (first('e') >= 0) out[first('e')] = 'eid';
  if (first('d') >= 0) out[first('d')] = 'weightDate';
  const unit = first('u');
  if (unit >= 0) {
    out[unit] = 'unit';
    const before = kinds.lastIndexOf('n', unit);
    const weight = before >= 0 ? before : kinds.indexOf('n', unit);
    if (weight >= 0) out[weight] = 'kg';
  }
  if (first('e') < 0 && first('x') >= 0) out[first('x')] = 'tag';
  return out;
}

// A layout is known again by its header's words, or, without a header, by
// the kinds of its columns.
export function layoutKey(parsed) {
  if (!parsed.headerless) return 'h:' + parsed.header.map(headerWords).join('|');
  return 'd:' + columnKinds(parsed.rows, parsed.header.length).join('|');
}

export function rememberedLayout(farm, parsed) {
  const key = layoutKey(parsed);
  const hit = (farm.importLayouts ?? []).find((l) => l.key === key);
  return hit && hit.mapping.length === parsed.header.length ? hit : null;
}

const MAX_LAYOUTS = 30;

// Called inside the import's change: the newest layout first, one per key.
export function rememberLayout(farm, parsed, mapping, dateOrder) {
  const key = layoutKey(parsed);
  const entry = { key, mapping: [...mapping], ...(dateOrder ? { dateOrder } : {}) };
  const rest = (farm.importLayouts ?? []).filter((l) => l.key !== key);
  farm.importLayouts = [entry, ...rest].slice(0, MAX_LAYOUTS);
}

// What the file's own dates say of their order: a first number above 12 is
// a day, a second above 12 a month's day written second.
export function dateOrderOf(values) {
  let dmy = '',
    mdy = '';
  for (const v of values) {
    const m = SLASH.exec(v.trim());
    if (!m) continue;
    if (Number(m[1]) > 12) dmy ||= v.trim();
    else if (Number(m[2]) > 12) mdy ||= v.trim();
    if (dmy && mdy) break;
  }
  if (dmy && mdy) return { order: 'mixed', dmy, mdy };
  if (dmy || mdy) return { order: dmy ? 'dmy' : 'mdy', by: dmy || mdy };
  return { order: '' };
}

export const hasSlashDate = (values) => values.some((v) => SLASH.test(v.trim()));

// yyyy-mm-dd always; d/m/y or m/d/y as `order` says, a two-digit year 20xx.
export function readDate(s, order = 'dmy') {
  const t = s.trim();
  if (isIsoDate(t)) return t;
  const m = SLASH.exec(t);
  if (!m || (order !== 'dmy' && order !== 'mdy')) return null;
  const [day, month] = order === 'dmy' ? [m[1], m[2]] : [m[2], m[1]];
  const year = m[3].length === 2 ? `20${m[3]}` : m[3];
  const iso = `${year}-${month.padStart(2, '0')}-${day.padStart(2, '0')}`;
  return isIsoDate(iso) ? iso : null;
}

// The unit a weight cell is in: its own column's unit, else the row's.
export function unitOf(text) {
  const u = fold(text.trim());
  if (u === 'kg' || u === 'kgs' || u === 'kilograms') return 'kg';
  if (u === 'lb' || u === 'lbs' || u === 'pounds') return 'lb';
  return null;
}
