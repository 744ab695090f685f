// Lambs (and kids) identified by batch: going to slaughter young, they carry
// one tag with the flock mark only, so they are kept as a number under that
// mark. A lot arrives once (born here or bought in) and leaves by count, in
// part or whole; the registers count and print it as a number with its mark.

import { inForce } from '../core/database.js';
import { OUTCOMES } from '../core/text.js';
import { requireDate, result } from './records.js';

const text = (v) => String(v ?? '').trim();
const has = (pairs, v) => pairs.some(([k]) => k === v);
export const LOT_ORIGINS = [
  ['born', 'Born here'],
  ['bought', 'Bought in'],
];

function wholeCount(s, errors, key) {
  const raw = text(s);
  const n = Number(raw);
  if (!raw) errors[key] = 'Enter how many.';
  else if (!Number.isInteger(n) || n < 1) errors[key] = 'Enter a whole number, 1 or more.';
  return Number.isInteger(n) && n > 0 ? n : 0;
}

// How many of a lot are on the holding at the end of `date`, and how many
// left by each outcome by then.
export function lotState(db, lot, date) {
  const out = { onFarm: 0, sold: 0, died: 0, away: 0 };
  if (!inForce(lot) || lot.date > date) return out;
  let left = lot.count;
  for (const m of db.lotMovements) {
    if (m.lotId !== lot.id || !inForce(m) || m.date > date) continue;
    out[m.outcome] += m.count;
    left -= m.count;
  }
  out.onFarm = Math.max(0, left);
  return out;
}

export function validateLot(input, { today, editing = null }) {
  const errors = {};
  const date = requireDate(input.date, errors, 'date', today);
  const flockMark = text(input.flockMark);
  if (!flockMark) errors.flockMark = 'Enter the flock mark on the tags.';
  const origin = has(LOT_ORIGINS, input.origin) ? input.origin : 'born';
  const count = wholeCount(input.count, errors, 'count');
  const fromHolding = origin === 'bought' ? text(input.fromHolding) : '';
  const documentRef = origin === 'bought' ? text(input.documentRef) : '';
  const ask = (key, given) => !given && (!editing || editing[key]);
  if (origin === 'bought' && ask('fromHolding', fromHolding))
    errors.fromHolding = 'Enter the holding number they came from.';
  if (origin === 'bought' && ask('documentRef', documentRef))
    errors.documentRef = 'Enter the movement document’s reference.';
  const species = text(input.species) || 'Sheep';
  return result(
    { date, flockMark, species, origin, count, fromHolding, documentRef, notes: text(input.notes) },
    errors,
  );
}

// A part of a lot (or all of it) leaving the holding. It cannot take more
// than are there on its date, nor leave so many that a later departure
// already recorded would have none to take.
export function validateLotMovement(input, { db, today, editing = null }) {
  const errors = {};
  const lot = db.lots.find((l) => l.id === input.lotId && inForce(l));
  if (!lot) errors.lotId = 'Choose the batch.';
  const date = requireDate(input.date, errors, 'date', today);
  const count = wholeCount(input.count, errors, 'count');
  const outcome = has(OUTCOMES, input.outcome) ? input.outcome : 'sold';
  if (lot && !errors.date && date < lot.date) errors.date = `The batch came on ${lot.date}.`;
  if (lot && !errors.date && !errors.count) {
    const others = { ...db, lotMovements: db.lotMovements.filter((m) => m.id !== editing?.id) };
    const later = others.lotMovements
      .filter((m) => m.lotId === lot.id && inForce(m) && m.date >= date)
      .map((m) => m.date);
    // Every day from this one on must still leave none below zero.
    for (const day of [date, ...later]) {
      const there = lotState(others, lot, day).onFarm;
      if (count > there) {
        errors.count =
          day === date
            ? `Only ${there} of this batch are on the holding on ${date}.`
            : `Departures already recorded on ${day} would then take more than are there.`;
        break;
      }
    }
  }
  const cause = outcome === 'died' ? text(input.cause) : '';
  if (outcome === 'died' && !cause) errors.cause = 'Enter the cause of death, or “not known”.';
  const toHolding = outcome === 'died' ? '' : text(input.toHolding);
  const documentRef = outcome === 'died' ? '' : text(input.documentRef);
  const ask = (key, given) => !given && (!editing || editing[key]);
  if (outcome !== 'died' && ask('toHolding', toHolding))
    errors.toHolding = 'Enter the holding number they went to.';
  if (outcome !== 'died' && ask('documentRef', documentRef))
    errors.documentRef = 'Enter the movement document’s reference.';
  return result(
    { lotId: lot?.id ?? '', date, count, outcome, toHolding, documentRef, cause, notes: text(input.notes) },
    errors,
  );
}

// Lots on the holding at the end of `date`, by species: { species: head }.
export function lotHeadOn(db, date) {
  const out = new Map();
  for (const lot of db.lots) {
    const n = lotState(db, lot, date).onFarm;
    if (n) out.set(lot.species, (out.get(lot.species) ?? 0) + n);
  }
  return out;
}

// Each lot in force as the herd summary counts it, by what became of its head.
export const lotSummary = (db) =>
  db.lots.filter(inForce).map((lot) => {
    const s = lotState(db, lot, '9999-12-31');
    return { species: lot.species, 'on-farm': s.onFarm, away: s.away, sold: s.sold, died: s.died };
  });

// The movement book's lines for lots in a period: each bought-in arrival and
// each departure, oldest first, voided ones kept (the book marks them).
export function lotMovementLines(db, from, to) {
  const lots = new Map(db.lots.map((l) => [l.id, l]));
  const lines = [];
  for (const l of db.lots)
    if (l.origin === 'bought' && l.date >= from && l.date <= to) lines.push({ kind: 'on', lot: l, rec: l });
  for (const m of db.lotMovements) {
    const lot = lots.get(m.lotId);
    if (lot && m.date >= from && m.date <= to) lines.push({ kind: 'off', lot, rec: m });
  }
  return lines.sort((a, b) => (a.rec.date < b.rec.date ? -1 : a.rec.date > b.rec.date ? 1 : 0));
}
