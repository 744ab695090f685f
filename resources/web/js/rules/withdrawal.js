// Withdrawal periods: when the meat and milk of a treated animal are fit for
// food again. Counted from the last administration of a course. Dates are
// calendar dates ("yyyy-mm-dd"); a period in hours ends at a local date and
// time ("yyyy-mm-dd hh:mm"). Both forms compare as text.

import { addDays, periodEndLocal } from '../core/dates.js';
import { kindKey } from '../core/text.js';

// The cascade (a medicine used off its label on a vet's prescription) has
// legal minimum periods, set by which case applies: 1.5 × the longest period
// on the label, a fixed period when the product is not authorised for that
// food, or 1 day when its own period is zero. Organic rules then double
// every period, 48 hours at least.
export const CASCADE_CASES = [
  ['label', 'It has a period for this food on its label'],
  ['unauthorised', 'Not authorised for this food'],
  ['zero', 'Its label period is zero'],
];
export const CASCADE_MIN = { meatDays: 28, milkDays: 7, eggDays: 14 };
const ORGANIC_MIN_HOURS = 48;

export const lastGiven = (t) => t.lastDate || t.date;
export const courseDays = (t) =>
  Math.round((Date.UTC(...ymd(lastGiven(t))) - Date.UTC(...ymd(t.date))) / 86400000) + 1;
const ymd = (iso) => {
  const [y, m, d] = iso.split('-').map(Number);
  return [y, m - 1, d];
};

// A course recorded with its planned last day: under way until then, and
// still to confirm once that day has passed, until the farmer says so.
export function courseState(t, today) {
  if (!t.planned) return '';
  return lastGiven(t) >= today ? 'under way' : 'still to confirm';
}

// Each food's keys on a treatment and its cascade figures. Eggs are asked
// for only where poultry is kept, so a treatment without an egg period has
// none; the law gives eggs no zero case, and 1 day is taken, as for milk.
const FOODS = {
  meat: {
    entered: 'meatDays',
    which: 'meatCascade',
    label: 'meatLabelDays',
    fixed: CASCADE_MIN.meatDays,
    animals: 'food-producing animals',
    zero: 'zero period, used in another family of animals',
  },
  milk: {
    entered: 'milkPeriod',
    which: 'milkCascade',
    label: 'milkLabelPeriod',
    fixed: CASCADE_MIN.milkDays,
    animals: 'animals producing milk for people',
    zero: 'zero-hour period',
  },
  eggs: {
    entered: 'eggDays',
    which: 'eggCascade',
    label: 'eggLabelDays',
    fixed: CASCADE_MIN.eggDays,
    animals: 'animals producing eggs for people',
    zero: 'zero period',
  },
};
export const FOOD_KINDS = Object.keys(FOODS);
export const keptFoods = (t) => FOOD_KINDS.filter((k) => k !== 'eggs' || Number.isInteger(t.eggDays));

const POULTRY = new Set([
  'poultry',
  'hen',
  'hens',
  'chicken',
  'chickens',
  'duck',
  'ducks',
  'goose',
  'geese',
  'turkey',
  'turkeys',
  'quail',
]);
export const keepsPoultry = (db) => db.animals.some((a) => !a.voided && POULTRY.has(kindKey(a.species)));

const amountText = (x, u) =>
  `${x} ${u === 'hours' ? (x === 1 ? 'hour' : 'hours') : x === 1 ? 'day' : 'days'}`;

// The least period the cascade allows for one food, in the period's unit,
// and the rule that gave it. A record that does not say which case applied
// (kept before the question was asked) takes the longest that any case could
// give it: food is never passed too early.
export function cascadeMinimum(t, kind, unit = 'days') {
  const f = FOODS[kind];
  const perDay = unit === 'hours' ? 24 : 1;
  const which = t[f.which];
  const label = t[f.label];
  if (which === 'unauthorised')
    return {
      amount: f.fixed * perDay,
      rule: `cascade minimum ${f.fixed} days, not authorised for ${f.animals}`,
    };
  if (which === 'zero') return { amount: perDay, rule: `cascade minimum 1 day, ${f.zero}` };
  if (which === 'label' && Number.isFinite(label)) {
    const amount = Math.ceil(label * 1.5);
    return {
      amount,
      rule: `cascade minimum ${amountText(amount, unit)}, 1.5 × the label’s ${amountText(label, unit)}`,
    };
  }
  const amount = Math.max(f.fixed * perDay, Math.ceil((t[f.entered] ?? 0) * 1.5));
  return {
    amount,
    rule: `cascade minimum ${amountText(amount, unit)}, the longest (which case applied was not recorded)`,
  };
}

// Whether the farm was organic on a date: from the day it started, when
// that is known.
export const organicOn = (farm, date) => !!farm?.organic && (!farm.organicSince || farm.organicSince <= date);

// A treatment keeps the organic status it was recorded under, so that a farm
// changing its status does not rewrite its past; one recorded before the
// status was kept follows the farm's.
export function treatmentOrganic(t, { farm, organic = false } = {}) {
  if (typeof t.organic === 'boolean') return t.organic;
  return farm ? organicOn(farm, t.date) : organic;
}

// The period in force for one product: { amount, unit, entered, notes[] },
// or null when none was recorded. `opts` gives the farm (or, for a bare
// reckoning, `organic`).
export function appliedPeriod(t, kind, opts = {}) {
  const organic = treatmentOrganic(t, opts);
  const entered = t[FOODS[kind].entered];
  if (entered === null || entered === undefined) return null;
  const unit = kind === 'milk' && t.milkUnit === 'hours' ? 'hours' : 'days';
  let amount = entered;
  const notes = [];
  if (t.offLabel) {
    const min = cascadeMinimum(t, kind, unit);
    notes.push(min.amount > amount ? min.rule : `the vet’s period; ${min.rule}`);
    amount = Math.max(amount, min.amount);
  }
  if (organic) {
    const min = unit === 'hours' ? ORGANIC_MIN_HOURS : ORGANIC_MIN_HOURS / 24;
    amount = Math.max(amount * 2, min);
    notes.push('doubled for organic');
  }
  return { amount, unit, entered, notes };
}

// The first moment the product is fit for food, or null when no period was
// recorded. Days are whole 24 hours like hours, from the time of the last
// administration; without a time, from the end of that day, since the dose
// may have been given at its last minute. A moment at midnight is given as
// its date.
export function fitFrom(t, kind, opts) {
  const p = appliedPeriod(t, kind, opts);
  if (!p) return null;
  const last = lastGiven(t);
  if (p.amount === 0) return t.time ? `${last} ${t.time}` : last;
  const hours = p.unit === 'hours' ? p.amount : p.amount * 24;
  const end = t.time ? periodEndLocal(last, t.time, hours) : periodEndLocal(addDays(last, 1), '00:00', hours);
  return end.endsWith(' 00:00') ? end.slice(0, 10) : end;
}

// A period "not recorded" (as format 1 zeros were upgraded) is not clear:
// the animal counts as withdrawn, with no end, until the period is entered.
export const NOT_KNOWN = 'withdrawal not known';
export const fitOrUnknown = (t, kind, opts) => fitFrom(t, kind, opts) ?? (kind === 'eggs' ? null : NOT_KNOWN);
export const fitText = (fit) => (fit === NOT_KNOWN ? NOT_KNOWN : `fit for food from ${fit}`);

// A date means its first minute; an end not known is later than any.
const asMoment = (s) => (s === NOT_KNOWN ? '9999-12-31 23:59' : s.length === 10 ? `${s} 00:00` : s);

// Still under withdrawal at `when` (a date or a date and time).
export function stillWithdrawn(fit, when) {
  return fit !== null && asMoment(fit) > asMoment(when);
}

export const laterOf = (a, b) => (!a ? b : !b ? a : asMoment(a) >= asMoment(b) ? a : b);

export function describePeriod(p) {
  if (!p) return 'not recorded';
  if (p.amount === 0) return 'none (0 days)';
  return p.notes.length
    ? `${amountText(p.amount, p.unit)} (entered ${amountText(p.entered, p.unit)}; ${p.notes.join(', ')})`
    : amountText(p.amount, p.unit);
}

const inForce = (r) => !r?.voided;

// Whole days since 1970 of a date, remembered: a farm's treatments share a
// few hundred dates.
const dayNumbers = new Map();
function dayNumber(iso) {
  let n = dayNumbers.get(iso);
  if (n === undefined) {
    if (dayNumbers.size > 20000) dayNumbers.clear();
    dayNumbers.set(iso, (n = Date.UTC(...ymd(iso)) / 86400000));
  }
  return n;
}

// The most whole days any period of a treatment can run after its last
// dose's day, whatever its cascade case and organic status, read from its
// figures alone: a large farm cannot afford the exact reckoning for every old
// treatment. Null when a period is not recorded (it never ends).
function mostDays(t, farm) {
  const meat = t.meatDays;
  const milk = t.milkPeriod;
  const eggs = t.eggDays ?? 0;
  if (!Number.isFinite(meat) || !Number.isFinite(milk) || !Number.isFinite(eggs)) return null;
  const perMilkDay = t.milkUnit === 'hours' ? 24 : 1;
  let most = Math.max(meat, Math.ceil(milk / perMilkDay), eggs);
  if (t.offLabel) {
    const labels = [t.meatLabelDays, (t.milkLabelPeriod ?? 0) / perMilkDay, t.eggLabelDays];
    const label = Math.ceil(Math.max(0, ...labels.filter(Number.isFinite)));
    most = Math.max(most, CASCADE_MIN.meatDays, Math.ceil(1.5 * Math.max(most, label)));
  }
  return treatmentOrganic(t, { farm }) ? Math.max(2 * most, ORGANIC_MIN_HOURS / 24) : most;
}

// Whether a period surely ended before the day numbered `day`, told from
// the period in force without the exact reckoning.
function endedBefore(t, kind, opts, day) {
  const p = appliedPeriod(t, kind, opts);
  if (!p) return false;
  const days = p.unit === 'hours' ? Math.ceil(p.amount / 24) : p.amount;
  return dayNumber(lastGiven(t)) + days + 2 < day;
}

// The treatments in force whose periods may not have ended by the start of
// `date`: what the running withdrawals at that moment or later are found in.
export function openTreatments(db, date) {
  const day = dayNumber(date);
  const out = [];
  for (const t of db.treatments) {
    if (!inForce(t)) continue;
    // Ended at most `most` days after the end of the last dose's day; a
    // clock change moves that by an hour.
    const most = mostDays(t, db.farm);
    if (most === null || dayNumber(lastGiven(t)) + most + 2 >= day) out.push(t);
  }
  return out;
}

// Animals on the farm with meat or milk not yet fit for food at `now`, each
// with the latest date of each kind, soonest first. `open` may be given as
// `openTreatments` of `now`'s day or an earlier one.
export function withdrawalsRunning(db, idx, now, open = openTreatments(db, now.slice(0, 10))) {
  const opts = { farm: db.farm };
  const day = dayNumber(now.slice(0, 10));
  const fit = (t, kind) => (endedBefore(t, kind, opts, day) ? null : fitOrUnknown(t, kind, opts));
  const byAnimal = new Map();
  for (const t of open) {
    const meat = fit(t, 'meat');
    const milk = fit(t, 'milk');
    const eggs = fit(t, 'eggs');
    const m = stillWithdrawn(meat, now) ? meat : null;
    const k = stillWithdrawn(milk, now) ? milk : null;
    const e = stillWithdrawn(eggs, now) ? eggs : null;
    if (!m && !k && !e) continue;
    for (const id of t.animalIds) {
      const animal = idx.animalsById.get(id);
      if (!animal || animal.voided || animal.status !== 'on-farm') continue;
      let row = byAnimal.get(id);
      if (!row)
        byAnimal.set(id, (row = { animal, meatEnd: null, milkEnd: null, eggEnd: null, products: [] }));
      row.meatEnd = laterOf(row.meatEnd, m);
      row.milkEnd = laterOf(row.milkEnd, k);
      row.eggEnd = laterOf(row.eggEnd, e);
      if (!row.products.includes(t.product)) row.products.push(t.product);
    }
  }
  const last = new Map();
  for (const r of byAnimal.values()) last.set(r, asMoment(laterOf(laterOf(r.meatEnd, r.milkEnd), r.eggEnd)));
  const byTag = new Intl.Collator(undefined, { numeric: true });
  return [...byAnimal.values()].sort(
    (a, b) =>
      (last.get(a) < last.get(b) ? -1 : last.get(a) > last.get(b) ? 1 : 0) ||
      byTag.compare(a.animal.tag, b.animal.tag),
  );
}

// What an animal leaving the farm (or dying) on `date` still carries: one
// line per product and kind whose withdrawal has not ended by that date.
export function withdrawalConflicts(db, idx, animalIds, date) {
  const opts = { farm: db.farm };
  const ids = new Set(animalIds);
  const out = [];
  for (const t of db.treatments) {
    if (!inForce(t) || t.date > date || !t.animalIds.some((id) => ids.has(id))) continue;
    for (const kind of FOOD_KINDS) {
      const fit = fitOrUnknown(t, kind, opts);
      if (!stillWithdrawn(fit, date)) continue;
      for (const id of t.animalIds) {
        if (ids.has(id))
          out.push({ animal: idx.animalsById.get(id), product: t.product, kind, fitFrom: fit });
      }
    }
  }
  return out;
}

export function conflictText(list) {
  return list
    .map(
      (c) =>
        `${c.animal?.tag ?? 'an animal'}: ${c.product} — ${c.kind} ${c.fitFrom === NOT_KNOWN ? NOT_KNOWN : `fit for food from ${c.fitFrom}`}`,
    )
    .join('; ');
}
