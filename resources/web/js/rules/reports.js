// Counts and reports worked out from the records in force, for a chosen date
// or period, and the overview's "Today" list. Dates are injected: nothing
// here reads the clock.

import { inForce } from '../core/database.js';
import { tagsOf } from '../core/lookups.js';
import { fold, kindNamer } from '../core/text.js';
import { addDays, daysBetween } from '../core/dates.js';
import { movementsByAnimal, stateOf } from './history.js';
import { openTreatments, withdrawalsRunning } from './withdrawal.js';
import { stockOf, batchState, NEAR_EXPIRY_DAYS } from './cabinet.js';
import { membersOn } from './groups.js';
import { lotHeadOn } from './lots.js';
import { reopeningToday } from './fieldwork.js';
import { jobsDue } from './jobs.js';

const SEX_KEYS = ['female', 'male', 'castrated', 'unknown'];

// Animals on the holding at the end of `date` (the yearly sheep and goat
// inventory is taken as on 1 December), by species and sex. An animal born
// that day counts; one that left that day does not.
function onHoldingAt(db, date) {
  const per = movementsByAnimal(db);
  return db.animals.filter(
    (a) => inForce(a) && !(a.dob && a.dob > date) && stateOf(a, per.get(a.id), date).status === 'on-farm',
  );
}

export function headCountOn(db, date) {
  const rows = new Map();
  const total = { species: 'All', female: 0, male: 0, castrated: 0, unknown: 0, total: 0 };
  const speciesName = kindNamer();
  for (const a of onHoldingAt(db, date)) {
    const sp = speciesName(a.species);
    let row = rows.get(sp);
    if (!row) rows.set(sp, (row = { species: sp, female: 0, male: 0, castrated: 0, unknown: 0, total: 0 }));
    const sex = SEX_KEYS.includes(a.sex) ? a.sex : 'unknown';
    row[sex]++;
    row.total++;
    total[sex]++;
    total.total++;
  }
  // Batch-tagged lots are counted by head, their sexes not recorded.
  for (const [species, n] of lotHeadOn(db, date)) {
    const sp = speciesName(species);
    let row = rows.get(sp);
    if (!row) rows.set(sp, (row = { species: sp, female: 0, male: 0, castrated: 0, unknown: 0, total: 0 }));
    row.unknown += n;
    row.total += n;
    total.unknown += n;
    total.total += n;
  }
  return {
    rows: [...rows.values()].sort((x, y) => y.total - x.total || x.species.localeCompare(y.species)),
    total,
  };
}

// The head count as the reports show and print it.
export function headCountTable(db, date) {
  const count = headCountOn(db, date);
  return {
    title: `Head count on ${date}`,
    header: ['Species', 'Female', 'Male', 'Castrated', 'Sex not recorded', 'Total'],
    rows: [...count.rows, count.total].map((r) =>
      [r.species, r.female, r.male, r.castrated, r.unknown, r.total].map(String),
    ),
  };
}

// The yearly sheep and goat inventory's three figures: breeding females put to
// the ram, all other sheep, all goats. Which ewes were put to the ram is not
// a record of its own: they are the females in `ramGroup` (the tupping mob)
// at any time in the year up to `date`. Without a group none are counted.
export function sheepAndGoatInventory(db, date, ramGroup = null) {
  const yearBefore = addDays(date, -365);
  const tupped = new Set(
    (ramGroup?.members || [])
      .filter((s) => s.from <= date && (!s.to || s.to > yearBefore))
      .map((s) => s.animalId),
  );
  const out = { putToRam: 0, otherSheep: 0, goats: 0 };
  for (const a of onHoldingAt(db, date)) {
    const species = fold(a.species.trim());
    if (species === 'goat' || species === 'goats') out.goats++;
    else if (species === 'sheep') {
      if (a.sex === 'female' && tupped.has(a.id)) out.putToRam++;
      else out.otherSheep++;
    }
  }
  // Lambs kept by batch are young stock, never put to the ram.
  for (const [species, n] of lotHeadOn(db, date)) {
    const sp = fold(species.trim());
    if (sp === 'goat' || sp === 'goats') out.goats += n;
    else if (sp === 'sheep') out.otherSheep += n;
  }
  return out;
}

// The latest 1 December on or before `today`.
export function lastInventoryDate(today) {
  const y = Number(today.slice(0, 4));
  const d = `${y}-12-01`;
  return d <= today ? d : `${y - 1}-12-01`;
}

// Animals entered in error are left out of every report, with their records.
const voidedAnimals = (db) => new Set(db.animals.filter((a) => !inForce(a)).map((a) => a.id));

// Animals that died in the period, by the cause recorded on the movement.
export function deathsByCause(db, from, to) {
  const out = new Map();
  const seen = voidedAnimals(db);
  for (const m of db.movements) {
    if (!inForce(m) || m.direction !== 'off' || m.outcome !== 'died' || m.date < from || m.date > to)
      continue;
    const cause = m.cause.trim() || 'Not recorded';
    const key = fold(cause);
    let row = out.get(key);
    if (!row) out.set(key, (row = { cause, count: 0, animalIds: [] }));
    for (const id of m.animalIds) {
      if (seen.has(id)) continue;
      seen.add(id);
      row.count++;
      row.animalIds.push(id);
    }
  }
  return [...out.values()]
    .filter((r) => r.count)
    .sort((a, b) => b.count - a.count || a.cause.localeCompare(b.cause));
}

export function deathsTable(db, idx, from, to) {
  return {
    title: `Deaths by cause, ${from} to ${to}`,
    header: ['Cause', 'Animals', 'Tags'],
    rows: deathsByCause(db, from, to).map((d) => [
      d.cause,
      String(d.count),
      tagsOf(idx, d.animalIds).join(', '),
    ]),
  };
}

// Medicines given in a year (by the first administration), per product:
// how many treatments and animal doses, and what was drawn from the
// cabinet in each unit. A product counts as an antibiotic when a purchase
// of it says so, whether or not this treatment drew from that purchase.
export function medicineUse(db, year) {
  const antibiotic = new Set(
    (db.purchases || []).filter((p) => inForce(p) && p.antibiotic).map((p) => fold(p.product.trim())),
  );
  const purchases = new Map((db.purchases || []).map((p) => [p.id, p]));
  const out = new Map();
  const voided = voidedAnimals(db);
  const unitName = kindNamer('');
  for (const t of db.treatments) {
    if (!inForce(t) || t.date.slice(0, 4) !== String(year)) continue;
    const animals = t.animalIds.filter((id) => !voided.has(id)).length;
    if (!animals && t.animalIds.length) continue;
    const key = fold(t.product.trim());
    let row = out.get(key);
    if (!row)
      out.set(
        key,
        (row = {
          product: t.product.trim(),
          antibiotic: antibiotic.has(key),
          treatments: 0,
          animals: 0,
          quantities: {},
        }),
      );
    row.treatments++;
    row.animals += animals;
    const p = t.purchaseId && purchases.get(t.purchaseId);
    if (p && t.stockUsed > 0) {
      const unit = unitName(p.unit);
      row.quantities[unit] = Math.round(((row.quantities[unit] || 0) + t.stockUsed) * 1000) / 1000;
    }
  }
  return [...out.values()].sort((a, b) => b.antibiotic - a.antibiotic || a.product.localeCompare(b.product));
}

// Daily live-weight gain between two dates for the animals in each group on
// the later date: each animal's first weight on or after `from` and its last
// on or before `to`, at least a day apart. The group's figure is the mean.
export function gainByGroup(db, idx, from, to) {
  const out = [];
  for (const g of db.groups || []) {
    if (!inForce(g)) continue;
    const gains = [];
    for (const id of membersOn(g, to)) {
      if (!inForce(idx.animalsById.get(id))) continue;
      const ws = (idx.perAnimal.get(id)?.weights || []).filter(
        (w) => inForce(w) && w.date >= from && w.date <= to,
      );
      if (ws.length < 2) continue;
      const first = ws[0],
        last = ws[ws.length - 1];
      const days = daysBetween(first.date, last.date);
      if (days > 0) gains.push((last.kg - first.kg) / days);
    }
    out.push({
      group: g,
      animals: gains.length,
      mean: gains.length ? gains.reduce((s, x) => s + x, 0) / gains.length : null,
      min: gains.length ? Math.min(...gains) : null,
      max: gains.length ? Math.max(...gains) : null,
    });
  }
  return out.sort((a, b) => a.group.name.localeCompare(b.group.name));
}

// The overview's list for the day: jobs due and overdue, withdrawals that end today or tomorrow,
// batches near or past expiry that still hold stock, and young born here not
// yet registered when the farm has set a number of days for their species.
export function todayList(db, idx, today, open = openTreatments(db, addDays(today, -1))) {
  const tomorrow = addDays(today, 1);
  // Those still withdrawn at the end of yesterday, whose last date is near.
  const clearing = withdrawalsRunning(db, idx, `${addDays(today, -1)} 23:59`, open).flatMap((w) => {
    const ends = [w.meatEnd, w.milkEnd].filter(Boolean).map((e) => e.slice(0, 10));
    const last = ends.sort().pop();
    return last === today || last === tomorrow
      ? [
          {
            animal: w.animal,
            when: last === today ? 'today' : 'tomorrow',
            meatEnd: w.meatEnd,
            milkEnd: w.milkEnd,
          },
        ]
      : [];
  });
  const expiring = [];
  for (const s of stockOf(db).values()) {
    if (!inForce(s.purchase)) continue;
    const f = batchState(s, today, NEAR_EXPIRY_DAYS);
    if (!f.usedUp && (f.expired || f.nearExpiry))
      expiring.push({ purchase: s.purchase, left: s.left, expired: f.expired });
  }
  expiring.sort((a, b) => a.purchase.expiry.localeCompare(b.purchase.expiry));
  // Species are typed, so matched whatever their case, as in the inventory.
  const days = new Map(Object.entries(db.farm.registerDays || {}).map(([sp, n]) => [fold(sp.trim()), n]));
  const unregistered = [];
  for (const a of db.animals) {
    const limit = days.get(fold(a.species.trim()));
    if (!Number.isInteger(limit) || !inForce(a) || a.registeredOn || a.status !== 'on-farm') continue;
    const birth = idx.birthOf.get(a.id);
    if (!birth) continue;
    const due = addDays(birth.date, limit);
    unregistered.push({ animal: a, born: birth.date, due, late: due < today });
  }
  unregistered.sort((a, b) => a.due.localeCompare(b.due));
  return { jobs: jobsDue(db, today), clearing, expiring, unregistered, reopening: reopeningToday(db, today) };
}
