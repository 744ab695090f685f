// Electronic IDs as readers, scales and people write them, and finding an
// animal by whichever of its numbers a line gives.
//
// An ISO 11784 EID is a 3-digit country (or maker) code and a 12-digit
// national number. Devices print it whole (982000017383201), split after the
// code (982 000017383201), in groups, or behind their own flags such as the
// "A 00000 0" that some readers put before the code.

import { normaliseTag } from '../core/text.js';

const SPLIT = /[\s-]+/;

// The 15 digits, or null when the text is not an EID.
export function readEid(s) {
  const t = String(s ?? '').trim();
  if (!t || t.length > 40) return null;
  const whole = t.replace(/[\s-]/g, '');
  if (/^\d{15}$/.test(whole)) return whole;
  // Behind a flag: an optional letter then groups of digits. The last groups
  // that make exactly 15 digits are the EID; a code split across the flag
  // and the number would not be one.
  const parts = t.split(SPLIT);
  if (!/^[A-Za-z]$|^\d+$/.test(parts[0]) || !parts.slice(1).every((p) => /^\d+$/.test(p))) return null;
  let digits = '';
  for (let i = parts.length - 1; i > 0; i--) {
    digits = parts[i] + digits;
    if (digits.length === 15) return digits;
    if (digits.length > 15) return null;
  }
  return null;
}

// "982 000017383201", as the herd's screens show an EID.
export const showEid = (eid) => (/^\d{15}$/.test(eid) ? `${eid.slice(0, 3)} ${eid.slice(3)}` : eid);

// Tags first, an EID next, a former tag last: a number now on an ear names
// its animal even if it was once another's, and an EID on record outranks a
// tag retired from some other animal.
export function findAnimal(idx, s) {
  const k = normaliseTag(s);
  if (!k) return null;
  const now = idx.byTag.get(k);
  if (now) return now;
  const eid = readEid(s);
  return (eid && idx.byEid?.get(eid)) || idx.byFormerTag.get(k) || null;
}

// The animals a reader's file names, one per line: the line's EID, or its
// first cell when it holds none (a tag typed into the reader). Unknown
// numbers are kept with their line, never dropped.
export function animalsFromLines(rows, idx) {
  const seen = new Set();
  const animals = [];
  const unknown = [];
  for (const { line, cells } of rows) {
    const eid = cells.map(readEid).find(Boolean);
    const said = eid || cells.find((c) => c.trim())?.trim();
    if (!said) continue;
    const a = findAnimal(idx, said);
    if (!a) unknown.push({ line, text: eid ? showEid(eid) : said });
    else if (!seen.has(a.id)) {
      seen.add(a.id);
      animals.push(a);
    }
  }
  return { animals, unknown };
}
