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

// `count` ids of newId's form at once: an import of thousands of rows would
// otherwise spend more on asking for randomness than on the records.
const HEX = Array.from({ length: 256 }, (_, b) => b.toString(16).padStart(2, '0'));
export function newIds(prefix, count) {
  if (!globalThis.crypto?.getRandomValues) return Array.from({ length: count }, () => newId(prefix));
  const stamp = `${prefix}-${Date.now().toString(36)}-`;
  const out = new Array(count);
  // getRandomValues gives at most 65,536 bytes a call.
  for (let start = 0; start < count; start += 10000) {
    const n = Math.min(10000, count - start);
    const bytes = globalThis.crypto.getRandomValues(new Uint8Array(6 * n));
    for (let i = 0; i < n; i++) {
      let r = '';
      for (let j = 6 * i; j < 6 * i + 6; j++) r += HEX[bytes[j]];
      out[start + i] = stamp + r;
    }
  }
  return out;
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
