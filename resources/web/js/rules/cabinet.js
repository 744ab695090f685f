// The medicine cabinet: what was bought (the purchase side of the medicine
// book, GB VMR 2013 reg. 19(1), EU 2019/6 art. 108), what each batch has left
// after the treatments that drew on it, and which batches are out of date.

import { isIsoDate, addDays } from '../core/dates.js';
import { inForce } from '../core/database.js';
import { text, parseWithdrawal, requireDate, result, parseNumber, validateTreatment } from './records.js';
import { toCsv } from './csv.js';

export const UNITS = ['ml', 'l', 'g', 'kg', 'tablets', 'boluses', 'doses', 'tubes', 'bottles'];
export const NEAR_EXPIRY_DAYS = 30;

// Stock is counted in thousandths so that 0.1 ml taken thirty times leaves
// exactly what was bought less 3 ml, not a float's remainder.
const round = (x) => Math.round(x * 1000) / 1000;

// Every purchase's use and what is left, from the treatments in force.
// Restoring a voided treatment draws its stock again. Past what is left it is
// asked about, as recording it was: the dose was given and its record is kept.
export function restockProblem(db, collection, id) {
  const t = collection === 'treatments' && db.treatments.find((r) => r.id === id);
  const s = t && t.purchaseId && t.stockUsed > 0 && stockOf(db).get(t.purchaseId);
  if (!s || round(s.left - t.stockUsed) >= 0) return null;
  return `Restoring it draws ${t.stockUsed} ${s.purchase.unit} of batch ${s.purchase.batch || s.purchase.product}, which has ${s.left} left.`;
}

export function stockOf(db) {
  const used = new Map();
  for (const t of db.treatments) {
    if (!inForce(t) || !t.purchaseId || !(t.stockUsed > 0)) continue;
    used.set(t.purchaseId, (used.get(t.purchaseId) || 0) + Math.round(t.stockUsed * 1000));
  }
  const out = new Map();
  for (const p of db.purchases || []) {
    const u = (used.get(p.id) || 0) / 1000;
    const d = round(disposalsOf(p).reduce((sum, x) => sum + x.quantity, 0));
    out.set(p.id, { purchase: p, used: u, disposed: d, left: round(p.quantity - u - d) });
  }
  return out;
}

// What was thrown away or returned from a batch, kept on its purchase.
export const disposalsOf = (p) => (Array.isArray(p.disposals) ? p.disposals : []);

export function validateDisposal(input, { db, today, purchaseId }) {
  const errors = {};
  const s = stockOf(db).get(purchaseId);
  const date = requireDate(input.date, errors, 'date', today);
  if (s && !errors.date && date < s.purchase.date) errors.date = 'This is before the batch was bought.';
  const quantity = parseNumber(input.quantity);
  if (!(quantity > 0)) errors.quantity = `Enter how much, in ${s?.purchase.unit ?? 'its unit'}.`;
  else if (s && round(quantity) > s.left) errors.quantity = `Only ${s.left} ${s.purchase.unit} is left.`;
  const how = text(input.how);
  if (!how) errors.how = 'Enter how it was disposed of, for example “returned to the vet”.';
  const value = { date, quantity, how, where: text(input.where), who: text(input.who) };
  return result(value, errors);
}

export function addDisposal(db, purchaseId, value) {
  const p = db.purchases.find((x) => x.id === purchaseId);
  p.disposals = [...disposalsOf(p), value];
}

const disposalText = (p) =>
  disposalsOf(p)
    .map((d) =>
      [`${d.date} ${d.quantity} ${p.unit} ${d.how}`, d.where, d.who && `by ${d.who}`]
        .filter(Boolean)
        .join(', '),
    )
    .join('; ');

// Flags for one batch on `date`: expired (its expiry date has passed, so a
// dose on the expiry day itself is still in date), near expiry, used up, or
// more used than was bought (a purchase not recorded).
export function batchState(s, date, nearDays = NEAR_EXPIRY_DAYS) {
  const exp = s.purchase.expiry;
  return {
    expired: !!exp && exp < date,
    nearExpiry: !!exp && exp >= date && exp <= addDays(date, nearDays),
    usedUp: s.left <= 0,
    short: s.left < 0,
  };
}

// The batches a treatment on `date` may draw from: in force and not used up,
// newest expiry last so that the oldest stock is offered first. `keepId`, the
// batch a treatment being edited already uses, stays offered even when used
// up or voided since, so that the edit keeps the link.
export function cabinetChoices(db, date, keepId = '') {
  const stock = stockOf(db);
  return [...stock.values()]
    .filter((s) => s.purchase.id === keepId || (inForce(s.purchase) && s.left > 0))
    .map((s) => ({ ...s, ...batchState(s, date) }))
    .sort(
      (a, b) =>
        (a.purchase.expiry || '9999').localeCompare(b.purchase.expiry || '9999') ||
        a.purchase.product.localeCompare(b.purchase.product),
    );
}

export function choiceLabel(c) {
  const p = c.purchase;
  const batch = p.batch ? `, batch ${p.batch}` : '';
  const expiry = p.expiry ? `, expires ${p.expiry}` : '';
  const marks = (c.expired ? ' (EXPIRED)' : '') + (inForce(p) ? '' : ' (VOIDED)');
  return `${p.product}${batch}${expiry}, ${c.left} ${p.unit} left${marks}`;
}

export function validatePurchase(input, { today }) {
  const errors = {};
  const date = requireDate(input.date, errors, 'date', today);
  const product = text(input.product);
  if (!product) errors.product = 'Enter the product’s name.';
  const batch = text(input.batch);
  if (!batch) errors.batch = 'Enter the batch number from the pack.';
  const expiry = text(input.expiry);
  if (!expiry) errors.expiry = 'Enter the expiry date from the pack.';
  else if (!isIsoDate(expiry)) errors.expiry = 'Use the form yyyy-mm-dd, for example 2027-03-31.';
  const quantity = parseNumber(input.quantity);
  if (!(quantity > 0)) errors.quantity = 'Enter the quantity bought, for example 500.';
  const unit = text(input.unit);
  if (!unit) errors.unit = 'Enter the unit, for example ml.';
  const supplier = text(input.supplier);
  if (!supplier) errors.supplier = 'Enter who supplied it.';
  // The supplier's address is part of the purchase record the law asks for.
  const supplierAddress = text(input.supplierAddress);
  if (!supplierAddress) errors.supplierAddress = 'Enter the supplier’s address.';
  const { milkUnit, meatDays, milkPeriod } = parseWithdrawal(input, errors);
  return result(
    {
      date,
      product,
      batch,
      expiry,
      quantity,
      unit,
      supplier,
      supplierAddress,
      meatDays,
      milkPeriod,
      milkUnit,
      antibiotic: input.antibiotic === true || input.antibiotic === 'on',
      notes: text(input.notes),
    },
    errors,
  );
}

// What a treatment takes from the cabinet. Errors stop the save; warnings
// (an expired batch, more than is left) are shown and may be overridden,
// since the treatment was given and its record must be kept.
export function checkCabinetUse(db, input, date, editing = null) {
  const errors = {};
  const warnings = [];
  const purchaseId = text(input.purchaseId);
  if (!purchaseId) return { errors, warnings, value: { purchaseId: '', stockUsed: null } };
  const s = stockOf(db).get(purchaseId);
  if (!s || (!inForce(s.purchase) && editing?.purchaseId !== purchaseId)) {
    errors.purchaseId = 'That batch is no longer in the cabinet; choose another.';
    return { errors, warnings, value: { purchaseId: '', stockUsed: null } };
  }
  const stockUsed = parseNumber(input.stockUsed);
  if (!(stockUsed > 0)) errors.stockUsed = `Enter how much was taken from the batch, in ${s.purchase.unit}.`;
  const p = s.purchase;
  const before =
    editing && editing.purchaseId === purchaseId && inForce(editing) ? editing.stockUsed || 0 : 0;
  if (isIsoDate(date) && p.expiry && p.expiry < date)
    warnings.push(`Batch ${p.batch} of ${p.product} expired on ${p.expiry}.`);
  if (stockUsed > round(s.left + before))
    warnings.push(`Only ${round(s.left + before)} ${p.unit} of batch ${p.batch} is left in the cabinet.`);
  return {
    errors,
    warnings,
    value: { purchaseId, stockUsed: stockUsed > 0 ? stockUsed : null, product: p.product, batch: p.batch },
  };
}

const voidNote = (r) => (r.voided ? `VOID ${r.voided.at.slice(0, 10)}: ${r.voided.reason}` : '');
const period = (n, unit = 'days') => (n === null || n === undefined ? 'not recorded' : `${n} ${unit}`);

export const PURCHASE_HEADER = [
  'Date bought',
  'Product',
  'Batch',
  'Expiry',
  'Quantity',
  'Unit',
  'Supplier',
  'Supplier address',
  'Meat withdrawal',
  'Milk withdrawal',
  'Antibiotic',
  'Used',
  'Disposed of',
  'Left',
  'Notes',
  'Void',
];

export function purchaseRow(p, s) {
  return [
    p.date,
    p.product,
    p.batch,
    p.expiry,
    p.quantity,
    p.unit,
    p.supplier,
    p.supplierAddress,
    period(p.meatDays),
    period(p.milkPeriod, p.milkUnit),
    p.antibiotic ? 'yes' : 'no',
    s?.used ?? 0,
    disposalText(p),
    s?.left ?? p.quantity,
    p.notes,
    voidNote(p),
  ];
}

export function purchasesCsv(purchases, stock) {
  return toCsv(
    PURCHASE_HEADER,
    purchases.map((p) => purchaseRow(p, stock.get(p.id))),
    [2],
  );
}

// A treatment as typed, with what it drew from the cabinet: the product and
// batch are the purchase's; the periods it filled in stay as edited.
export function validateTreatmentFromCabinet(input, { idx, today, db, editing = null }) {
  const use = checkCabinetUse(db, input, text(input.date), editing);
  const fromCabinet = use.value.product ? { product: use.value.product, batch: use.value.batch } : {};
  const res = validateTreatment({ ...input, ...fromCabinet }, { idx, today, db, editing });
  const errors = { ...(res.ok ? {} : res.errors), ...use.errors };
  if (Object.keys(errors).length) return { ok: false, errors };
  return { ok: true, value: { ...res.value, ...use.value }, warnings: use.warnings };
}
