// CSV of every record book, for spreadsheets: a byte order mark so that
// accents survive, tags kept as text, cells that a spreadsheet would run as a
// formula disarmed, ISO dates.

import { SEX_LABEL, STATUS_LABEL, DIRECTION_LABEL, OUTCOME_LABEL, animalLabel } from '../core/text.js';
import { fieldName, tagsOf, parentsOf, formerTags } from '../core/lookups.js';
import {
  appliedPeriod,
  fitFrom,
  describePeriod,
  lastGiven,
  courseState,
  treatmentOrganic,
} from './withdrawal.js';

const BOM = '\ufeff';

// RFC 4180, also quoting leading or trailing spaces, which spreadsheet
// programs otherwise trim away. A leading = + - @ (or tab, carriage return)
// would start a formula: a quote mark in front keeps it text. Spreadsheets
// set to split on semicolons or tabs would start a cell after one, so there
// too, and such a field is quoted whole.
export function csvField(value) {
  let s = value === null || value === undefined ? '' : String(value);
  if (/^[=+\-@\t\r]/.test(s)) s = `'${s}`;
  s = s.replace(/([;\t])(\s*)(?=[=+\-@])/g, "$1$2'");
  return /[",;\t\r\n]|^\s|\s$/.test(s) ? `"${s.replace(/"/g, '""')}"` : s;
}

// A tag a spreadsheet would read as a number ("341207000140" becomes
// 3.41E+11, "0042" loses its zeros) is written as a text formula; so are
// batch numbers, holding numbers ("12/345" is not a date) and document
// references.
export function tagField(tag) {
  const s = String(tag ?? '');
  return /^[\d\s.,/:eE+-]+$/.test(s) && /\d/.test(s) ? `"=""${s}"""` : csvField(s);
}

// `tagColumns`: indexes of columns holding tags.
export function toCsv(header, rows, tagColumns = []) {
  const tagCol = new Set(tagColumns);
  let out = BOM + header.map(csvField).join(',') + '\r\n';
  for (const row of rows)
    out += row.map((v, i) => (tagCol.has(i) ? tagField(v) : csvField(v))).join(',') + '\r\n';
  return out;
}

const voidNote = (r) => (r.voided ? `VOID ${r.voided.at.slice(0, 10)}: ${r.voided.reason}` : '');

export function animalsCsv(animals, idx, movementsOf = () => ({})) {
  return toCsv(
    [
      'Tag',
      'Previous tags',
      'Electronic ID',
      'Name',
      'Species',
      'Breed',
      'Sex',
      'Date of birth',
      'Birth weight (kg)',
      'Dam',
      'Sire',
      'Status',
      'Status date',
      'Date on',
      'From',
      'Date off',
      'To',
      'Cause of death',
      'Field or pen',
      'Notes',
      'Void',
    ],
    animals.map((a) => {
      const p = parentsOf(idx, a);
      const mv = movementsOf(a);
      return [
        a.tag,
        formerTags(a).join('; '),
        a.eid ?? '',
        a.name,
        a.species,
        a.breed,
        SEX_LABEL.get(a.sex),
        a.dob,
        a.birthWeightKg ?? '',
        p.damText,
        p.sire,
        STATUS_LABEL.get(a.status),
        a.statusDate,
        mv.onDate ?? '',
        mv.from ?? '',
        mv.offDate ?? '',
        mv.to ?? '',
        mv.cause ?? '',
        fieldName(idx, a.fieldId),
        a.notes,
        voidNote(a),
      ];
    }),
    [0, 2, 9],
  );
}

// Tags hold spaces, so a list of them is joined with "; ", which the forms
// split on (parseTagList).
export function treatmentsCsv(treatments, idx, { farm, organic = false, today = '', purchases = [] } = {}) {
  const opts = { farm, organic };
  const bought = new Map(purchases.map((p) => [p.id, p]));
  return toCsv(
    [
      'First given',
      'Last given',
      'Time of last',
      'Course',
      'Animals',
      'Group',
      'Product',
      'Batch',
      'Quantity given',
      'Reason',
      'Administered by',
      'Prescribing vet',
      'Vet’s practice and address',
      'Supplier',
      'Supplier’s address',
      'Off-label (cascade)',
      'Organic',
      'Meat withdrawal',
      'Meat fit for food from',
      'Milk withdrawal',
      'Milk fit for food from',
      'Egg withdrawal',
      'Eggs fit for food from',
      'Notes',
      'Void',
    ],
    treatments.map((t) => [
      t.date,
      lastGiven(t),
      t.time,
      courseState(t, today),
      tagsOf(idx, t.animalIds).join('; '),
      t.target,
      t.product,
      t.batch,
      t.dose,
      t.reason,
      t.givenBy,
      t.vet,
      t.vetDetails ?? '',
      bought.get(t.purchaseId)?.supplier ?? '',
      bought.get(t.purchaseId)?.supplierAddress ?? '',
      t.offLabel ? 'yes' : 'no',
      treatmentOrganic(t, opts) ? 'yes' : 'no',
      describePeriod(appliedPeriod(t, 'meat', opts)),
      fitFrom(t, 'meat', opts) ?? '',
      describePeriod(appliedPeriod(t, 'milk', opts)),
      fitFrom(t, 'milk', opts) ?? '',
      Number.isInteger(t.eggDays) ? describePeriod(appliedPeriod(t, 'eggs', opts)) : '',
      fitFrom(t, 'eggs', opts) ?? '',
      t.notes,
      voidNote(t),
    ]),
    [4, 7],
  );
}

export function movementsCsv(movements, idx) {
  return toCsv(
    [
      'Date',
      'Movement',
      'Outcome',
      'Animals',
      'Number',
      'From',
      'From holding',
      'To',
      'To holding',
      'Field or pen',
      'Document',
      'Cause of death',
      'Reason',
      'Notes',
      'Void',
    ],
    movements.map((m) => [
      m.date,
      DIRECTION_LABEL.get(m.direction),
      OUTCOME_LABEL.get(m.outcome) ?? '',
      tagsOf(idx, m.animalIds).join('; '),
      m.animalIds.length,
      m.from,
      m.fromHolding,
      m.to,
      m.toHolding,
      fieldName(idx, m.fieldId),
      m.documentRef,
      m.cause,
      m.reason,
      m.notes,
      voidNote(m),
    ]),
    [3, 6, 8, 10],
  );
}

export function birthsCsv(births, idx) {
  return toCsv(
    ['Date', 'Dam', 'Sire', 'Young', 'Notes', 'Void'],
    births.map((b) => [
      b.date,
      idx.animalsById.get(b.damId)?.tag ?? '',
      b.sire,
      tagsOf(idx, b.offspringIds).join('; '),
      b.notes,
      voidNote(b),
    ]),
    [1, 3],
  );
}

export function weightsCsv(weights, idx) {
  return toCsv(
    ['Date', 'Tag', 'Animal', 'Weight (kg)', 'Void'],
    weights.map((w) => {
      const a = idx.animalsById.get(w.animalId);
      return [w.date, a?.tag ?? '', animalLabel(a), w.kg, voidNote(w)];
    }),
    [1],
  );
}
