// Shared fixtures for the web application's tests.
import { emptyDatabase } from '../../resources/web/js/core/database.js';
import { buildIndex } from '../../resources/web/js/core/indexes.js';
import { refreshHerd } from '../../resources/web/js/rules/history.js';

let n = 0;
// Records with every key a saved record has, the text ones blank.
const blank = (keys) => Object.fromEntries(keys.split(' ').map((k) => [k, '']));
const ANIMAL = blank('name breed dob dam sire statusDate fieldId notes');
const TREATMENT = blank('lastDate time target dose batch reason givenBy vet notes');
const MOVEMENT = blank('outcome from fromHolding to toHolding fieldId documentRef cause reason notes');

export function animal(fields = {}) {
  const defaults = { species: 'Sheep', sex: 'female', status: 'on-farm', tagHistory: [] };
  return {
    id: `an-${++n}`,
    tag: `T${n}`,
    ...ANIMAL,
    ...defaults,
    firstFieldId: fields.fieldId ?? '',
    ...fields,
  };
}

export function treatment(fields = {}) {
  const defaults = { product: 'Product', meatDays: 0, milkPeriod: 0, milkUnit: 'days', offLabel: false };
  return { id: `tr-${++n}`, date: '2026-03-01', animalIds: [], ...TREATMENT, ...defaults, ...fields };
}

export function movement(fields = {}) {
  return { id: `mo-${++n}`, date: '2026-03-01', direction: 'move', animalIds: [], ...MOVEMENT, ...fields };
}

// Animals leaving the holding: sold, died or away.
export const off = (date, outcome, animals, fields = {}) =>
  movement({ date, direction: 'off', outcome, animalIds: animals.map((a) => a.id), ...fields });

export const place = (id, name = id) => ({ id, name, kind: 'field', area: null, notes: '', archived: '' });

export const weight = (animalId, date, kg, more = {}) => ({ id: `we-${++n}`, date, animalId, kg, ...more });

export function purchase(fields = {}) {
  const [id, date, product, batch, expiry] = ['pu-1', '2026-01-10', 'Ivomec', 'B1', '2026-06-15'];
  const stock = { quantity: 100, unit: 'ml', supplier: 'Vet Co', supplierAddress: '', meatDays: 14 };
  return {
    id,
    date,
    product,
    batch,
    expiry,
    ...stock,
    milkPeriod: 0,
    milkUnit: 'days',
    antibiotic: false,
    notes: '',
    ...fields,
  };
}

// A voiding whose date and reason do not matter.
export const VOID = { at: '2026-01-01 10:00', reason: 'wrong' };

// With statuses and fields worked out from the movements, as the application keeps them.
export function farm(parts = {}) {
  const db = { ...emptyDatabase(), ...parts };
  refreshHerd(db);
  return { db, idx: buildIndex(db) };
}

export const b64 = (text) => Buffer.from(text, 'utf8').toString('base64');
