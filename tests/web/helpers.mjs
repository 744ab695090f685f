// Shared fixtures for the web application's tests.
import { emptyDatabase, buildIndex } from '../../resources/web/js/model.js';

let n = 0;
export function animal(fields = {}) {
  return {
    id: `an-${++n}`, tag: `T${n}`, name: '', species: 'Sheep', breed: '', sex: 'female', dob: '', dam: '', sire: '',
    status: 'on-farm', statusDate: '', fieldId: '', notes: '', ...fields,
  };
}

export function treatment(fields = {}) {
  return {
    id: `tr-${++n}`, date: '2026-03-01', animalIds: [], target: '', product: 'Product', dose: '', batch: '', reason: '',
    givenBy: '', meatDays: 0, milkDays: 0, notes: '', ...fields,
  };
}

export function farm(parts = {}) {
  const db = { ...emptyDatabase(), ...parts };
  return { db, idx: buildIndex(db) };
}

export const b64 = (text) => Buffer.from(text, 'utf8').toString('base64');
