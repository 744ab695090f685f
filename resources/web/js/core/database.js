// The records as one JSON document: its identity, its lists, a new one.

export const FORMAT = 'meadowline-field-keeper';
export const SCHEMA_VERSION = 3;

export function newId(prefix) {
  const rnd = globalThis.crypto?.getRandomValues
    ? Array.from(globalThis.crypto.getRandomValues(new Uint8Array(6)), (b) =>
        b.toString(16).padStart(2, '0'),
      ).join('')
    : Math.random().toString(16).slice(2, 14);
  return `${prefix}-${Date.now().toString(36)}-${rnd}`;
}

export function emptyDatabase() {
  return {
    format: FORMAT,
    schema: SCHEMA_VERSION,
    id: newId('db'),
    revision: 0,
    savedAt: '',
    farm: { name: '', holding: '', organic: false },
    animals: [],
    fields: [],
    treatments: [],
    weights: [],
    births: [],
    movements: [],
    purchases: [],
    groups: [],
    services: [],
    scans: [],
    jobs: [],
    sprays: [],
    nutrients: [],
    lots: [],
    lotMovements: [],
  };
}

export const COLLECTIONS = [
  'animals',
  'fields',
  'treatments',
  'weights',
  'births',
  'movements',
  'purchases',
  'groups',
  'services',
  'scans',
  'jobs',
  'sprays',
  'nutrients',
  'lots',
  'lotMovements',
];

export const inForce = (r) => !!r && !r.voided;
