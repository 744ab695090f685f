// Shared fixtures for the web application's tests.
import { emptyDatabase } from '../../resources/web/js/core/database.js';
import { buildIndex } from '../../resources/web/js/core/indexes.js';
import { refreshHerd } from '../../resources/web/js/rules/history.js';

let n = 0;
export function animal(fields = {}) {
  return {
    id: `an-${++n}`,
    tag: `T${n}`,
    name: '',
    species: 'Sheep',
    breed: '',
    sex: 'female',
    dob: '',
    dam: '',
    sire: '',
    status: 'on-farm',
    statusDate: '',
    fieldId: '',
    firstFieldId: fields.fieldId ?? '',
    tagHistory: [],
    notes: '',
    ...fields,
  };
}

export function treatment(fields = {}) {
  return {
    id: `tr-${++n}`,
    date: '2026-03-01',
    lastDate: '',
    time: '',
    animalIds: [],
    target: '',
    product: 'Product',
    dose: '',
    batch: '',
    reason: '',
    givenBy: '',
    vet: '',
    meatDays: 0,
    milkPeriod: 0,
    milkUnit: 'days',
    offLabel: false,
    notes: '',
    ...fields,
  };
}

export function movement(fields = {}) {
  return {
    id: `mo-${++n}`,
    date: '2026-03-01',
    direction: 'move',
    outcome: '',
    animalIds: [],
    from: '',
    fromHolding: '',
    to: '',
    toHolding: '',
    fieldId: '',
    documentRef: '',
    cause: '',
    reason: '',
    notes: '',
    ...fields,
  };
}

// Animals leaving the holding: sold, died or away.
export const off = (date, outcome, animals, fields = {}) =>
  movement({ date, direction: 'off', outcome, animalIds: animals.map((a) => a.id), ...fields });

export const place = (id, name = id) => ({ id, name, kind: 'field', area: null, notes: '', archived: '' });

export const weight = (animalId, date, kg, more = {}) => ({ id: `we-${++n}`, date, animalId, kg, ...more });

export function purchase(fields = {}) {
  return {
    id: 'pu-1',
    date: '2026-01-10',
    product: 'Ivomec',
    batch: 'B1',
    expiry: '2026-06-15',
    quantity: 100,
    unit: 'ml',
    supplier: 'Vet Co',
    supplierAddress: '',
    meatDays: 14,
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
