// What the printed lists show of each record: their header, rows of text,
// which column holds tags and which rows are void.

import { animalLabel, FIELD_KIND_LABEL } from '../core/text.js';
import { tagsOf } from '../core/lookups.js';
import { purchaseRow, PURCHASE_HEADER } from './cabinet.js';

const voidedRows = (records) => new Set(records.flatMap((r, i) => (r.voided ? [i] : [])));

export function weightList(weights, idx) {
  return {
    header: ['Date', 'Animal', 'Weight (kg)', 'Void'],
    tagColumn: 1,
    rows: weights.map((w) => [
      w.date,
      animalLabel(idx.animalsById.get(w.animalId)),
      String(w.kg),
      w.voided ? `VOID: ${w.voided.reason}` : '',
    ]),
    voided: voidedRows(weights),
  };
}

export function birthList(births, idx) {
  return {
    header: ['Date', 'Dam', 'Sire', 'Young', 'Notes'],
    tagColumn: 1,
    rows: births.map((b) => [
      b.date,
      idx.animalsById.get(b.damId)?.tag ?? '',
      b.sire,
      tagsOf(idx, b.offspringIds).join(', '),
      [b.voided && `VOID: ${b.voided.reason}`, b.notes].filter(Boolean).join(' '),
    ]),
    voided: voidedRows(births),
  };
}

// `animalsIn(field)`: how many animals are there now.
export function fieldList(fields, animalsIn) {
  return {
    header: ['Name', 'Kind', 'Area (ha)', 'Animals there', 'Notes'],
    rows: fields.map((f) => [
      f.name + (f.archived ? ` (archived ${f.archived})` : ''),
      FIELD_KIND_LABEL.get(f.kind),
      f.area == null ? '' : String(f.area),
      String(animalsIn(f)),
      f.notes,
    ]),
  };
}

// The purchase book on paper has no column of its own for voiding, which
// the notes then begin with.
export function purchaseList(purchases, stock) {
  const notes = PURCHASE_HEADER.indexOf('Notes');
  return {
    header: PURCHASE_HEADER.filter((x) => x !== 'Void'),
    rows: purchases.map((p) => {
      const r = purchaseRow(p, stock.get(p.id));
      r.pop();
      if (p.voided) r[notes] = `VOID: ${p.voided.reason}. ${r[notes]}`;
      return r.map(String);
    }),
    voided: voidedRows(purchases),
  };
}
