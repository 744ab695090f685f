// Planned work: jobs with a due date, what they are about, how they repeat,
// and the jobs a medicine's dose schedule plans from the treatments given.
//
// One record per job. A repeating job keeps its outcomes in `history`, one
// entry per occurrence done or skipped (and one per move), while `due` is the
// date of the occurrence still open. A job for several animals counts them
// off in `doneIds` as their records come in, and the occurrence is done once
// every one of them is.

import { isIsoDate, addDays, daysBetween } from '../core/dates.js';
import { inForce, newId } from '../core/database.js';
import { fold } from '../core/text.js';
import { plain } from '../core/journal.js';
import { text, requireDate, result, parseTagList, resolveTags } from './records.js';
import { membersOn } from './groups.js';

export const ABOUT = [
  ['animals', 'Animals'],
  ['group', 'A group'],
  ['field', 'A field or pen'],
  ['farm', 'The farm'],
];
export const UNITS = [
  ['days', 'days'],
  ['weeks', 'weeks'],
  ['months', 'months'],
  ['years', 'years'],
];
export const ACTIONS = [
  ['', 'Nothing to record (just mark it done)'],
  ['treatment', 'A treatment'],
  ['weighing', 'A weighing'],
  ['movement', 'A movement'],
];
export const FROM = [
  ['due', 'from the due date'],
  ['done', 'from when it was done'],
];
// A record made this many days before a job's due date still counts for it
// (a drench given on Saturday for Monday's job), unless the job has a window.
export const LEAD_DAYS = 7;
// A booster given up to two weeks early counts; earlier, it is a dose of its own.
export const BOOSTER_LEAD_DAYS = 14;
const MAX_REPEAT = 1000;

const pad2 = (n) => String(n).padStart(2, '0');
const lastDay = (y, m) => new Date(Date.UTC(y, m, 0)).getUTCDate();

// Months on from a date, on the anchor day of the month (the day the series
// started on) or the month's last day when it is shorter: a monthly job from
// 31 January falls on 28 or 29 February, then on 31 March again.
export function addMonths(iso, months, day = Number(iso.slice(8, 10))) {
  const total = Number(iso.slice(0, 4)) * 12 + Number(iso.slice(5, 7)) - 1 + months;
  const y = Math.floor(total / 12);
  const m = (total % 12) + 1;
  return `${y}-${pad2(m)}-${pad2(Math.min(day, lastDay(y, m)))}`;
}

// The next occurrence of a repeating job whose open one is done (or skipped)
// on `on`: from the date it was due, or from that day.
export function nextDue(job, on) {
  const r = job.repeat;
  if (!r) return '';
  const fromDone = r.from === 'done';
  const base = fromDone ? on : job.scheduled || job.due;
  if (r.unit === 'days' || r.unit === 'weeks') return addDays(base, r.every * (r.unit === 'weeks' ? 7 : 1));
  const day = fromDone ? Number(on.slice(8, 10)) : r.day || Number(base.slice(8, 10));
  return addMonths(base, r.every * (r.unit === 'years' ? 12 : 1), day);
}

export const isOpen = (j) => inForce(j) && (j.state || 'open') === 'open';
// The first day a record counts for the job, and the last (none: no end).
export const opensOn = (j) => j.earliest || addDays(j.due, -LEAD_DAYS);
export const closesOn = (j) => j.until || '';

// Where a job stands on `today`.
export function jobState(j, today) {
  if (!isOpen(j)) return j.state;
  if ((j.until || j.due) < today) return 'overdue';
  return j.due <= today ? 'due' : 'upcoming';
}

// The animals a job is for on a date: those named, the group's members then,
// or those in the field now; none for the farm.
export function jobAnimals(db, j, date) {
  if (j.about === 'animals') return j.animalIds || [];
  if (j.about === 'group') {
    const g = db.groups.find((x) => x.id === j.groupId);
    return g ? [...membersOn(g, date)] : [];
  }
  if (j.about === 'field')
    return db.animals
      .filter((a) => inForce(a) && a.status === 'on-farm' && a.fieldId === j.fieldId)
      .map((a) => a.id);
  return [];
}
export const stillToDo = (db, j, date) => {
  const done = new Set(j.doneIds || []);
  return jobAnimals(db, j, date).filter((id) => !done.has(id));
};

// A job as typed. `tags` names the animals; a repeat needs its interval.
export function validateJob(input, { db, idx }) {
  const errors = {};
  const title = text(input.title);
  if (!title) errors.title = 'Enter what is to be done, for example “Dag the ewes”.';
  const due = requireDate(input.due, errors, 'due', '9999-12-31');
  const about = ABOUT.some(([k]) => k === input.about) ? input.about : 'farm';
  const action = ACTIONS.some(([k]) => k === input.action) ? input.action : '';
  const value = { title, note: text(input.note), due, about, action };
  if (about === 'animals') {
    const { found, missing } = resolveTags(idx, parseTagList(input.tags));
    if (missing.length) errors.tags = `No animal has the tag ${missing.join(', ')}.`;
    else if (!found.length) errors.tags = 'Enter at least one tag.';
    value.animalIds = found.map((a) => a.id);
  } else if (about === 'group') {
    if (!db.groups.some((g) => g.id === input.groupId && inForce(g))) errors.groupId = 'Choose a group.';
    value.groupId = text(input.groupId);
  } else if (about === 'field') {
    if (!db.fields.some((f) => f.id === input.fieldId)) errors.fieldId = 'Choose a field or pen.';
    value.fieldId = text(input.fieldId);
  }
  if (action === 'treatment') value.product = text(input.product);
  if (action === 'treatment' && !value.product) errors.product = 'Enter the product, as in the cabinet.';
  if (action === 'movement') value.toFieldId = text(input.toFieldId);
  const every = text(input.every);
  value.repeat = null;
  if (every) {
    const n = Number(every);
    if (!Number.isInteger(n) || n < 1 || n > MAX_REPEAT)
      errors.every = 'Enter a whole number, such as 1 or 6.';
    const unit = UNITS.some(([k]) => k === input.unit) ? input.unit : 'months';
    const from = input.from === 'done' ? 'done' : 'due';
    value.repeat = { every: n, unit, from, day: isIsoDate(due) ? Number(due.slice(8, 10)) : 1 };
  }
  return result(value, errors);
}

// A new job, or one edited: its history and progress stay.
export function saveJob(db, id, value) {
  const j = id && db.jobs.find((x) => x.id === id);
  if (j) {
    // A window moves with the due date.
    const shift = daysBetween(j.due, value.due);
    if (j.earliest) j.earliest = addDays(j.earliest, shift);
    if (j.until) j.until = addDays(j.until, shift);
    Object.assign(j, value);
    if (j.scheduled && j.scheduled === j.due) delete j.scheduled;
    return j;
  }
  const rec = { id: newId('jo'), state: 'open', doneIds: [], history: [], ...value };
  db.jobs.push(rec);
  return rec;
}

// The open occurrence ends: the next one of a repeating job opens, any other
// job closes.
function endOccurrence(db, j, entry) {
  j.history = [...(j.history || []), { due: j.scheduled || j.due, ...entry }];
  const next = entry.outcome === 'skipped' ? nextDue(j, j.due) : nextDue(j, entry.on);
  j.doneIds = [];
  delete j.scheduled;
  if (next && j.repeat) {
    // The window moves with the occurrence: as long before and after it.
    const lead = j.earliest ? dayGap(j.earliest, j.due) : null;
    const span = j.until ? dayGap(j.due, j.until) : null;
    j.due = next;
    if (lead !== null) j.earliest = addDays(next, -lead);
    if (span !== null) j.until = addDays(next, span);
  } else {
    j.state = entry.outcome;
  }
  if (j.source?.step === 'second' && entry.outcome === 'done') boosterAfterCourse(db, j, entry.on);
}
const dayGap = daysBetween;

export function markDone(db, id, on, recordIds = []) {
  const j = db.jobs.find((x) => x.id === id);
  endOccurrence(db, j, { outcome: 'done', on, ...(recordIds.length ? { recordIds } : {}) });
  return j;
}

export function skipJob(db, id, on, reason) {
  const j = db.jobs.find((x) => x.id === id);
  endOccurrence(db, j, { outcome: 'skipped', on, reason });
  return j;
}

// A move keeps the repeat's rhythm: the next occurrence counts from the date
// the series gave, not the day it was moved to.
export function moveJob(db, id, to, on, reason) {
  const j = db.jobs.find((x) => x.id === id);
  j.history = [...(j.history || []), { due: j.due, outcome: 'moved', on, to, reason }];
  if (!j.scheduled) j.scheduled = j.due;
  const shift = dayGap(j.due, to);
  if (j.earliest) j.earliest = addDays(j.earliest, shift);
  if (j.until) j.until = addDays(j.until, shift);
  j.due = to;
  return j;
}

export function validateSkip(input, { today }) {
  const errors = {};
  const on = requireDate(input.on, errors, 'on', today);
  const reason = text(input.reason);
  if (!reason) errors.reason = 'Say why it was not done.';
  return result({ on, reason }, errors);
}

export function validateMove(input, { today }, job) {
  const errors = {};
  const to = requireDate(input.to, errors, 'to', '9999-12-31');
  if (!errors.to && to === job.due) errors.to = 'That is the date it is due already.';
  return result({ to, on: today, reason: text(input.reason) }, errors);
}

// ------------------------------------------------------------ planned from a date

// A job `days` before `date` (a lambing date, say) for the given animals.
export function planJobBefore(
  db,
  { date, days, animalIds, title, note = '', action = '', toFieldId = '', source },
) {
  const value = {
    title,
    note,
    due: addDays(date, -days),
    about: 'animals',
    animalIds: [...animalIds],
    action,
  };
  if (action === 'movement' && toFieldId) value.toFieldId = toFieldId;
  if (source) value.source = source;
  return saveJob(db, null, value);
}

// Moves to the lambing (or calving) field planned from the due list: one job
// for the females due from the same day, `days` before it. A female already
// in an open job of that title for that day is not planned twice.
export function planMovesBeforeDue(db, entries, { days, toFieldId, title }) {
  const planned = new Set();
  for (const j of db.jobs)
    if (isOpen(j) && j.title === title) for (const id of j.animalIds || []) planned.add(`${j.due} ${id}`);
  const byDay = new Map();
  for (const e of entries) {
    if (planned.has(`${addDays(e.dueFrom, -days)} ${e.animalId}`)) continue;
    byDay.set(e.dueFrom, [...(byDay.get(e.dueFrom) ?? []), e.animalId]);
  }
  return [...byDay].map(([date, animalIds]) =>
    planJobBefore(db, { date, days, animalIds, title, action: 'movement', toFieldId }),
  );
}

// ------------------------------------------------------------ dose schedules

// A product's schedule is the farm's, by product name (whatever the batch):
// farm.productSchedules[name] = { secondFrom, secondTo, boosterMonths }.
export function scheduleOf(db, product) {
  const all = db.farm.productSchedules;
  const key = fold(text(product));
  if (!all || !key) return null;
  for (const [name, s] of Object.entries(all)) if (fold(name.trim()) === key) return s;
  return null;
}

export function validateSchedule(input) {
  const errors = {};
  const whole = (k, max) => {
    const s = text(input[k]);
    if (!s) return null;
    const n = Number(s);
    if (!Number.isInteger(n) || n < 1 || n > max) errors[k] = 'Enter a whole number, or leave it blank.';
    return n;
  };
  const secondFrom = whole('secondFrom', 365);
  const secondTo = whole('secondTo', 365) ?? secondFrom;
  const boosterMonths = whole('boosterMonths', 120);
  if (secondFrom === null && text(input.secondTo)) errors.secondFrom = 'Enter the earliest day too.';
  if (secondFrom !== null && secondTo < secondFrom)
    errors.secondTo = 'The latest day cannot be before the earliest.';
  return result({ secondFrom, secondTo: secondFrom === null ? null : secondTo, boosterMonths }, errors);
}

export function saveSchedule(db, product, value) {
  const all = { ...(db.farm.productSchedules || {}) };
  for (const name of Object.keys(all)) if (fold(name.trim()) === fold(product.trim())) delete all[name];
  if (value.secondFrom !== null || value.boosterMonths !== null) all[product.trim()] = value;
  db.farm.productSchedules = all;
}

export const scheduleText = (s) =>
  [
    s.secondFrom !== null &&
      `second dose ${s.secondFrom}${s.secondTo !== s.secondFrom ? `–${s.secondTo}` : ''} days after the first`,
    s.boosterMonths !== null && `booster every ${s.boosterMonths} month${s.boosterMonths === 1 ? '' : 's'}`,
  ]
    .filter(Boolean)
    .join(', ');

// The booster of a course, counted from the day its second dose was done.
function boosterAfterCourse(db, second, on) {
  const b = db.jobs.find(
    (x) =>
      isOpen(x) &&
      x.source?.step === 'booster' &&
      x.source.first === second.source.first &&
      !x.history?.length,
  );
  if (!b) return;
  b.due = addMonths(on, b.repeat.every);
  b.earliest = addDays(b.due, -BOOSTER_LEAD_DAYS);
}

// ------------------------------------------------------------ records that do jobs

const forAction = (j, collection, rec) =>
  (collection === 'treatments' && j.action === 'treatment' && fold(j.product || '') === fold(rec.product)) ||
  (collection === 'weights' && j.action === 'weighing') ||
  (collection === 'movements' && j.action === 'movement');
const animalsOf = (collection, rec) => (collection === 'weights' ? [rec.animalId] : rec.animalIds || []);

// Whether a new record bears on any job; if not it is added in place as before.
export function touchesJobs(db, collection, value, jobId = '') {
  if (jobId) return true;
  if (collection === 'treatments' && scheduleOf(db, value.product)) return true;
  return db.jobs.some((j) => isOpen(j) && forAction(j, collection, value));
}

// A record added with what it does to the jobs, in one change: the jobs it
// completes (all of a job's animals, or the rest of them), and for a first
// dose of a scheduled product the second dose and the booster. `jobId`, the
// job the record was made from, counts it whatever its date.
export function addRecordWithJobs(db, collection, value, jobId = '') {
  const rec = { id: newId(collection.slice(0, 2)), ...value };
  db[collection].push(rec);
  const ids = animalsOf(collection, rec);
  const counted = new Set();
  const covered = new Set();
  for (const j of db.jobs) {
    const p = plain(j);
    if (!isOpen(p) || !(p.id === jobId || forAction(p, collection, rec))) continue;
    const forJob = new Set(jobAnimals(db, p, rec.date));
    const mine = ids.filter((id) => forJob.has(id));
    if (p.about !== 'farm' && !mine.length && p.id !== jobId) continue;
    mine.forEach((id) => covered.add(id));
    const inWindow = rec.date >= opensOn(p) && (!closesOn(p) || rec.date <= closesOn(p));
    if (p.id !== jobId && !inWindow) continue;
    mine.forEach((id) => counted.add(id));
    j.doneIds = [...new Set([...(p.doneIds || []), ...mine])];
    j.recordIds = [...(p.recordIds || []), rec.id];
    if (p.about === 'farm' || !stillToDo(db, j, rec.date).length) {
      const recordIds = j.recordIds;
      delete j.recordIds;
      endOccurrence(db, j, { outcome: 'done', on: rec.date, recordIds });
    }
  }
  const s = collection === 'treatments' && scheduleOf(db, rec.product);
  const first = s ? ids.filter((id) => !covered.has(id)) : [];
  if (first.length) planCourse(db, rec, first, s);
  return rec;
}

function planCourse(db, t, animalIds, s) {
  const common = { about: 'animals', animalIds, action: 'treatment', product: t.product, note: '' };
  const source = { product: t.product, first: t.id };
  let last = t.date;
  if (s.secondFrom !== null) {
    const due = addDays(t.date, s.secondFrom);
    last = due;
    saveJob(db, null, {
      ...common,
      title: `Second dose of ${t.product}`,
      due,
      earliest: due,
      until: addDays(t.date, s.secondTo),
      source: { ...source, step: 'second' },
    });
  }
  if (s.boosterMonths !== null) {
    const due = addMonths(last, s.boosterMonths);
    saveJob(db, null, {
      ...common,
      title: `Booster of ${t.product}`,
      due,
      earliest: addDays(due, -BOOSTER_LEAD_DAYS),
      repeat: { every: s.boosterMonths, unit: 'months', from: 'done', day: Number(due.slice(8, 10)) },
      source: { ...source, step: 'booster' },
    });
  }
}

// A record voided (entered in error) no longer does the jobs it did: the
// occurrence it finished opens again, with its animals not done, and the jobs
// a voided first dose planned, untouched since, are voided with it. Restoring
// the record does not do them again: that is for the farmer to see to.
export function jobsAfterVoid(db, collection, id, at) {
  if (!['treatments', 'weights', 'movements'].includes(collection)) return;
  for (const j of db.jobs) {
    const p = plain(j);
    if (!inForce(p)) continue;
    if (p.source?.first === id && !p.history?.length && !p.doneIds?.length) {
      j.voided = { at, reason: 'Its first dose was voided.' };
      continue;
    }
    const last = p.history?.[p.history.length - 1];
    if (last?.outcome === 'done' && last.recordIds?.includes(id) && !(isOpen(p) && p.doneIds?.length)) {
      // A repeat had moved on: back to the occurrence, window and all.
      const back = isOpen(p) ? daysBetween(p.due, last.due) : 0;
      j.due = addDays(p.due, back);
      if (p.earliest) j.earliest = addDays(p.earliest, back);
      if (p.until) j.until = addDays(p.until, back);
      j.state = 'open';
      j.history = p.history.slice(0, -1);
      j.recordIds = last.recordIds;
    }
    if (plain(j).recordIds?.includes(id)) recount(db, j, id);
  }
}

// The animals done in a job's open occurrence, from its records still in force.
function recount(db, j, gone) {
  const ids = j.recordIds.filter((r) => r !== gone);
  const forJob = new Set(jobAnimals(db, j, j.due));
  const done = new Set();
  for (const c of ['treatments', 'weights', 'movements']) {
    for (const r of db[c].filter((x) => ids.includes(x.id) && inForce(x)))
      for (const a of animalsOf(c, r)) if (forJob.has(a)) done.add(a);
  }
  j.recordIds = ids;
  j.doneIds = [...done];
}

// ------------------------------------------------------------ lists

const byDue = (a, b) => a.due.localeCompare(b.due) || a.title.localeCompare(b.title);

// Open jobs due on or before `today`, overdue first.
export function jobsDue(db, today) {
  return db.jobs
    .filter((j) => isOpen(j) && j.due <= today)
    .map((j) => ({ job: j, state: jobState(j, today) }))
    .sort((a, b) => (a.state === b.state ? byDue(a.job, b.job) : a.state === 'overdue' ? -1 : 1));
}

// The jobs of the screen, by what it shows.
export function jobList(db, today, show) {
  if (show === 'voided')
    return db.jobs.filter((j) => !inForce(j)).map((j) => ({ job: j, state: 'void', date: j.due }));
  const all = db.jobs.filter(inForce);
  if (show === 'done') {
    const rows = [];
    for (const j of all)
      for (const h of j.history || []) if (h.outcome !== 'moved') rows.push({ job: j, entry: h, date: h.on });
    return rows.sort((a, b) => b.date.localeCompare(a.date));
  }
  return all
    .filter((j) => isOpen(j) && (show === 'overdue' ? jobState(j, today) === 'overdue' : true))
    .sort(byDue)
    .map((j) => ({ job: j, state: jobState(j, today), date: j.due }));
}

// The seven days from `from`, each with the jobs due then; the jobs overdue
// before it head the first day.
export function weekPlan(db, from) {
  const to = addDays(from, 6);
  const open = db.jobs.filter((j) => isOpen(j) && j.due <= to).sort(byDue);
  const days = Array.from({ length: 7 }, (_, i) => ({ date: addDays(from, i), jobs: [] }));
  const overdue = [];
  for (const j of open) {
    if (j.due < from) overdue.push(j);
    else days[dayGap(from, j.due)].jobs.push(j);
  }
  return { overdue, days };
}

// What a job is for, in words.
export function aboutText(db, j, tagsOf) {
  if (j.about === 'animals') return tagsOf(j.animalIds || []).join(', ');
  if (j.about === 'group') return `Group ${db.groups.find((g) => g.id === j.groupId)?.name ?? '?'}`;
  if (j.about === 'field') return db.fields.find((f) => f.id === j.fieldId)?.name ?? '?';
  return 'The farm';
}

export const repeatText = (r) =>
  r
    ? `every ${r.every === 1 ? '' : `${r.every} `}${r.every === 1 ? r.unit.slice(0, -1) : r.unit} ${r.from === 'done' ? 'from when done' : 'from the due date'}`
    : '';
