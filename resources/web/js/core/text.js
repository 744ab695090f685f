// The words the records use and how texts compare: the lists a form offers
// and their labels, tag order, and folding for search and matching.

export const SPECIES = ['Cattle', 'Sheep', 'Goat', 'Pig', 'Horse', 'Alpaca', 'Llama', 'Deer', 'Poultry'];
// The deadlines Great Britain sets for the young, offered to the farm for its
// overview reminders: a calf's birth is registered with BCMS by the day it is
// 27 days old; lambs and kids are identified within 6 months when housed
// overnight (9 when not), counted as 180 days so that a reminder is in time.
export const GB_REGISTER_DAYS = { Cattle: 27, Sheep: 180, Goat: 180 };
export const SEXES = [
  ['female', 'Female'],
  ['male', 'Male'],
  ['castrated', 'Castrated male'],
  ['unknown', 'Unknown'],
];
export const STATUSES = [
  ['on-farm', 'On farm'],
  ['away', 'Away (off the farm, alive)'],
  ['sold', 'Sold'],
  ['died', 'Died'],
];
export const OUTCOMES = [
  ['away', 'Moved off, still alive (not sold)'],
  ['sold', 'Sold'],
  ['died', 'Died or slaughtered'],
];
export const MILK_UNITS = [
  ['days', 'days'],
  ['hours', 'hours'],
];
export const FIELD_KINDS = [
  ['field', 'Field'],
  ['pen', 'Pen'],
];
export const DIRECTIONS = [
  ['on', 'On to the farm'],
  ['off', 'Off the farm'],
  ['move', 'Between fields'],
];
export const MAX_WITHDRAWAL_DAYS = 3650;
export const MAX_WITHDRAWAL_HOURS = 87600;

const label = (pairs) => new Map(pairs);
export const SEX_LABEL = label(SEXES);
export const STATUS_LABEL = label(STATUSES);
export const FIELD_KIND_LABEL = label(FIELD_KINDS);
export const DIRECTION_LABEL = label(DIRECTIONS);
export const OUTCOME_LABEL = label(OUTCOMES);

const collator = new Intl.Collator(undefined, { numeric: true, sensitivity: 'base' });
export const compareTags = (a, b) => collator.compare(a, b);

// Case and accent folding, so "Léa" is found by "lea".
export function fold(s) {
  return String(s)
    .normalize('NFD')
    .replace(/\p{M}+/gu, '')
    .toLowerCase();
}

export function normaliseTag(s) {
  return fold(String(s).trim().replace(/\s+/g, ' '));
}

// Species and units are typed: "Sheep", "sheep " and "SHEEP" are one kind,
// shown as first met. A namer keeps what it has met.
export const kindKey = (s) => normaliseTag(s ?? '');
export function kindNamer(blank = 'Not recorded') {
  const names = new Map();
  return (s) => {
    const k = kindKey(s);
    if (!k) return blank;
    if (!names.has(k)) names.set(k, String(s).trim().replace(/\s+/g, ' '));
    return names.get(k);
  };
}

export function animalLabel(a) {
  return a ? (a.name ? `${a.tag} ${a.name}` : a.tag) : 'removed animal';
}
