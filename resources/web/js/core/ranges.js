// Which records fall in a period of days.

import { addDays } from './dates.js';

export function inDateRange(date, from, to) {
  return (!from || date >= from) && (!to || date <= to);
}

// Whether a span of days (a course of treatment) has a day in the period:
// a course running right across it belongs in that period's book.
export function spanInRange(first, last, from, to) {
  return (!from || last >= from) && (!to || first <= to);
}

// The treatment book's period. An end left blank means "today", worked out
// afresh each time: a screen left open past midnight must still show the
// day's new treatments.
export function bookRange(range, today) {
  return { from: range.from ?? addDays(today, -365), to: range.to || today };
}
