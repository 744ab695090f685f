// Breeding: services (a ram or bull in with a group, AI, embryo transfer),
// pregnancy scans, the due dates that follow from them, and the figures a
// breeding flock or herd is judged by. Pure: works on the records and their
// index; dates are given, never read from the clock.

import { addDays, daysBetween, isIsoDate } from '../core/dates.js';
import { inForce } from '../core/database.js';
import { fold, animalLabel } from '../core/text.js';
import { findByTag } from '../core/lookups.js';
import { stateOf, absentOn } from './history.js';
import { membersOn } from './groups.js';
import { text, parseTagList, resolveTags, requireDate, result } from './records.js';

export const METHODS = [
  ['natural', 'Natural service'],
  ['ai', 'Artificial insemination (AI)'],
  ['et', 'Embryo transfer'],
];
export const METHOD_LABEL = new Map(METHODS);

// Days from service to birth, a farm may set its own (farm.gestationDays).
export const GESTATION_DAYS = { cattle: 283, sheep: 147, goat: 150, pig: 114, horse: 340 };
// The length of a heat cycle: a female not held returns to service after it.
export const CYCLE_DAYS = { cattle: 21, sheep: 17, goat: 21, pig: 21, horse: 21 };
// Embryos are put in at about seven days old, so the birth comes that much
// sooner after the transfer than after a service.
const EMBRYO_AGE_DAYS = 7;
const SPECIES_NAME = { cattle: 'Cattle', sheep: 'Sheep', goat: 'Goats', pig: 'Pigs', horse: 'Horses' };
export const BREEDING_SPECIES = Object.keys(GESTATION_DAYS).map((k) => [k, SPECIES_NAME[k]]);

// "Sheep", "goats", "Pig " are one key; other kinds have no default.
const speciesKeys = new Map();
export function speciesKey(species) {
  let k = speciesKeys.get(species);
  if (k === undefined) speciesKeys.set(species, (k = keyOf(species)));
  return k;
}
function keyOf(species) {
  const k = fold(String(species ?? '').trim());
  if (k === 'cow' || k === 'cows' || k === 'bovine') return 'cattle';
  if (k === 'ewe' || k === 'ewes') return 'sheep';
  return GESTATION_DAYS[k] ? k : GESTATION_DAYS[k.replace(/s$/, '')] ? k.replace(/s$/, '') : k;
}

export function gestationOf(farm, species) {
  const k = speciesKey(species);
  const own = farm?.gestationDays?.[k];
  return Number.isInteger(own) && own > 0 ? own : (GESTATION_DAYS[k] ?? null);
}

export const cycleOf = (species) => CYCLE_DAYS[speciesKey(species)] ?? 21;

// What a scan found, as words: cattle and horses are "in calf" or "in foal".
export function scanLabel(foetuses, species = '') {
  if (foetuses === null || foetuses === undefined) return 'not scanned';
  const k = speciesKey(species);
  if (foetuses === 0) return 'empty';
  if (k === 'cattle' || k === 'horse') {
    const word = k === 'cattle' ? 'in calf' : 'in foal';
    return foetuses === 1 ? word : `${word}, twins`;
  }
  return foetuses === 1 ? 'single' : foetuses === 2 ? 'twins' : 'triplets or more';
}

export function scanChoices(species) {
  const k = speciesKey(species);
  if (k === 'cattle' || k === 'horse')
    return [
      ['', 'Not scanned'],
      ['0', 'Empty'],
      ['1', scanLabel(1, species)],
      ['2', scanLabel(2, species)],
    ];
  return [
    ['', 'Not scanned'],
    ['0', 'Empty'],
    ['1', 'Single'],
    ['2', 'Twins'],
    ['3', 'Triplets or more'],
  ];
}

// ---------------------------------------------------------------- windows

// The raddle colours of a natural service as periods: each colour from the
// day the ram was raddled with it to the day before the next change (the
// last to the day the ram came out, or `today` while he is still in).
export function raddlePeriods(s, today) {
  const end = serviceEnd(s, today);
  const changes = (s.raddles || []).filter((r) => r.date >= s.date && r.date <= end);
  return changes.map((r, i) => ({
    colour: r.colour,
    from: r.date,
    to: i + 1 < changes.length ? addDays(changes[i + 1].date, -1) : end,
  }));
}

// The last day a female may have been served.
export function serviceEnd(s, today) {
  if (s.method !== 'natural') return s.date;
  if (s.ramOut) return s.ramOut;
  return today > s.date ? today : s.date;
}

// The colour a female carries counts: a later colour over an earlier one
// means she returned and was served again.
export function markOf(s, animalId) {
  return marksOf(s).get(animalId) || '';
}

// Each female's counting colour, worked out once per list of marks: a
// tupping of some hundreds of ewes would otherwise go through all the marks
// for each ewe. Marks are replaced, never changed in place.
const markMaps = new WeakMap();
function marksOf(s) {
  const marks = s.marks || [];
  const known = markMaps.get(marks);
  if (known && known.length === marks.length && known.raddles === s.raddles) return known.map;
  const order = (s.raddles || []).map((r) => fold(r.colour));
  const map = new Map();
  for (const m of marks) {
    const c = fold(m.colour);
    const best = map.get(m.animalId);
    if (best === undefined || order.lastIndexOf(c) > order.lastIndexOf(best)) map.set(m.animalId, c);
  }
  markMaps.set(marks, { length: marks.length, raddles: s.raddles, map });
  return map;
}

// When this female was served: one day for AI or a hand service; for a ram
// in with a group, the period of her raddle colour, or the whole time he was
// in when she carries none. A colour used twice spans both periods.
export function serviceWindow(s, animalId, today) {
  const end = serviceEnd(s, today);
  const colour = markOf(s, animalId);
  if (s.method === 'natural' && colour) {
    const periods = raddlePeriods(s, today).filter((p) => fold(p.colour) === colour);
    if (periods.length) return { from: periods[0].from, to: periods[periods.length - 1].to, colour };
  }
  return { from: s.date, to: end, colour: '' };
}

// First and last due date of one female's service.
export function dueWindow(farm, s, species, animalId, today) {
  const days = gestationOf(farm, species);
  if (!days) return null;
  const w = serviceWindow(s, animalId, today);
  const back = s.method === 'et' ? EMBRYO_AGE_DAYS : 0;
  return { ...w, dueFrom: addDays(w.from, days - back), dueTo: addDays(w.to, days - back) };
}

// ---------------------------------------------------------------- what follows a service

// Per female: her services in force, oldest first; her scan results, oldest
// first; and her births as dam, oldest first.
export function breedingRecords(db) {
  const services = new Map();
  const scans = new Map();
  const births = new Map();
  const push = (map, id, x) => {
    let list = map.get(id);
    if (!list) map.set(id, (list = []));
    list.push(x);
  };
  for (const s of db.services || []) if (inForce(s)) for (const id of s.femaleIds) push(services, id, s);
  for (const sc of db.scans || [])
    if (inForce(sc)) for (const r of sc.results) push(scans, r.animalId, { scan: sc, ...r });
  for (const b of db.births) if (inForce(b) && b.damId) push(births, b.damId, b);
  const byDate = (a, b) => (a.date < b.date ? -1 : a.date > b.date ? 1 : 0);
  for (const list of services.values()) list.sort(byDate);
  for (const list of scans.values()) list.sort((a, b) => byDate(a.scan, b.scan));
  for (const list of births.values()) list.sort(byDate);
  return { services, scans, births };
}

// The service a birth followed: the one it names, or the female's latest
// service before it, at most a gestation and a cycle before.
export function serviceOfBirth(db, recs, b) {
  if (b.serviceId) {
    const s = (db.services || []).find((x) => x.id === b.serviceId);
    if (s && inForce(s)) return s;
  }
  const list = recs.services.get(b.damId) || [];
  let found = null;
  for (const s of list) if (s.date <= b.date) found = s;
  return found && daysBetween(found.date, b.date) <= 400 ? found : null;
}

// The outcome of one female's service: her latest scan after it (several
// scans of one service may be made; the latest counts), and her first birth
// after it, if any, before a later service.
function outcome(recs, s, animalId) {
  const later = (recs.services.get(animalId) || []).find((x) => x.date > s.date);
  const before = (d) => !later || d < later.date;
  const scans = (recs.scans.get(animalId) || []).filter((r) => r.scan.date >= s.date && before(r.scan.date));
  const birth = (recs.births.get(animalId) || []).find((b) => b.date >= s.date && before(b.date)) || null;
  const scan = scans.length ? scans[scans.length - 1] : null;
  return { scan, birth, later };
}

export const sireText = (idx, s) =>
  s.sireId ? (idx.animalsById.get(s.sireId)?.tag ?? s.sire) || 'removed animal' : s.sire;

// Six weeks past the last due date no pregnancy from that service is left:
// she is barren, not overdue, and leaves the due list for the barren list.
const GIVE_UP_DAYS = 42;

// The females due to give birth: each on the farm whose latest service has
// not been followed by a birth, nor by an empty scan. Each entry names the
// female, the service, the first and last due date, what the latest scan
// found (null when not scanned), and whether the last due date has passed.
// Planned work reads it to plan moves to the lambing field.
export function dueList(db, idx, today) {
  const recs = breedingRecords(db);
  const out = [];
  for (const [animalId, list] of recs.services) {
    const a = idx.animalsById.get(animalId);
    if (!a || !inForce(a) || a.status !== 'on-farm') continue;
    const s = list[list.length - 1];
    const { scan, birth } = outcome(recs, s, animalId);
    if (birth || (scan && scan.foetuses === 0)) continue;
    const due = dueWindow(db.farm, s, a.species, animalId, today);
    if (!due || daysBetween(due.dueTo, today) > GIVE_UP_DAYS) continue;
    out.push({
      animalId,
      serviceId: s.id,
      service: s,
      dueFrom: due.dueFrom,
      dueTo: due.dueTo,
      colour: due.colour,
      scanned: scan ? scan.foetuses : null,
      stage: scan?.stage || '',
      overdue: today > due.dueTo,
    });
  }
  return out.sort((x, y) => (x.dueFrom < y.dueFrom ? -1 : x.dueFrom > y.dueFrom ? 1 : 0));
}

// The Monday of the week holding `date`.
export function weekStart(date) {
  const [y, m, d] = date.split('-').map(Number);
  const weekday = (new Date(Date.UTC(y, m - 1, d)).getUTCDay() + 6) % 7;
  return addDays(date, -weekday);
}

// Entries of the due list that may give birth from `today` up to the end of
// the week `weeks` weeks on (1: this week, to Sunday); overdue ones too.
export function dueWithin(list, today, weeks) {
  const last = addDays(weekStart(today), weeks * 7 - 1);
  return list.filter((e) => e.dueFrom <= last && (e.dueTo >= today || e.overdue));
}

// The week an entry is listed under: the week of its first due date, or
// this week when that has passed.
export const dueWeek = (e, today) => weekStart(e.dueFrom > today ? e.dueFrom : today);

// ---------------------------------------------------------------- typed services and scans

const FEMALE = new Set(['female', 'unknown']);
const listOf = (xs) => `${xs.slice(0, 5).join(', ')}${xs.length > 5 ? ` and ${xs.length - 5} more` : ''}`;

// The females of a service or scan, from typed tags and the members of a
// group on the date.
function females(input, { db, idx }, date, errors) {
  const tags = parseTagList(input.tags);
  const { found, missing } = resolveTags(idx, tags);
  const group = text(input.groupId) && db.groups.find((g) => g.id === input.groupId);
  if (group && isIsoDate(date))
    for (const id of membersOn(group, date)) {
      const a = idx.animalsById.get(id);
      if (a && !found.includes(a)) found.push(a);
    }
  if (missing.length)
    errors.tags = `No animal has the tag${missing.length > 1 ? 's' : ''} ${listOf(missing)}.`;
  else if (!found.length) errors.tags = 'Enter the tag numbers of the females, or choose a group.';
  const males = found.filter((a) => !FEMALE.has(a.sex)).map((a) => a.tag);
  if (males.length && !errors.tags) errors.tags = `Not female: ${listOf(males)}.`;
  const kinds = new Set(found.map((a) => speciesKey(a.species)));
  if (kinds.size > 1 && !errors.tags) errors.tags = 'These females are of more than one species.';
  return { found, group };
}

// Raddle changes typed one a line, "2026-10-20 blue"; the colour at ram in
// has a box of its own.
export function parseRaddles(first, changes, date, errors) {
  const out = [];
  if (text(first)) out.push({ date, colour: text(first) });
  for (const line of text(changes).split(/[\n\r;]+/)) {
    const t = line.trim();
    if (!t) continue;
    const m = /^(\d{4}-\d{2}-\d{2})[\s,:]+(.+)$/.exec(t);
    if (!m || !isIsoDate(m[1])) {
      errors.raddles = `“${t}” is not a date and a colour, such as 2026-10-20 blue.`;
      continue;
    }
    out.push({ date: m[1], colour: m[2].trim() });
  }
  out.sort((a, b) => (a.date < b.date ? -1 : a.date > b.date ? 1 : 0));
  return out;
}

export function validateService(input, ctx) {
  const { db, idx, today, editing = null } = ctx;
  const errors = {};
  const date = requireDate(input.date, errors, 'date', today);
  const method = METHOD_LABEL.has(input.method) ? input.method : 'natural';
  const { found, group } = females(input, ctx, date, errors);
  const sireTyped = text(input.sire);
  const sireAnimal = sireTyped ? findByTag(idx, sireTyped) : null;
  if (!sireTyped) errors.sire = 'Enter the sire: a tag on record, or the straw’s code or the ram’s name.';
  else if (sireAnimal && sireAnimal.sex !== 'male')
    errors.sire = `${sireAnimal.tag} is not recorded as an entire male; for a bought-in sire, type its code or name.`;
  const ramOut = method === 'natural' ? text(input.ramOut) : '';
  if (ramOut) {
    requireDate(ramOut, errors, 'ramOut', today);
    if (!errors.ramOut && !errors.date && ramOut < date)
      errors.ramOut = 'The ram came out before he went in.';
  }
  const raddles = method === 'natural' ? parseRaddles(input.raddle, input.raddleChanges, date, errors) : [];
  if (!errors.raddles && !errors.date)
    for (const r of raddles)
      if (r.date < date || (ramOut && r.date > ramOut) || r.date > today)
        errors.raddles = `The change on ${r.date} is outside the time the ram was in.`;
  if (!errors.tags && !errors.date && db) {
    const unchanged = editing && editing.date === date;
    const away = unchanged ? [] : absentOn(db, found, [date]);
    if (away.length) errors.tags = `Not on the farm on that date: ${listOf(away)}.`;
  }
  const keep = editing?.marks?.filter((m) => found.some((a) => a.id === m.animalId));
  return result(
    {
      date,
      method,
      femaleIds: found.map((a) => a.id),
      // An edit offers the females by tag: the group's name stays.
      target: group ? group.name : text(input.target) || (editing?.target ?? ''),
      sireId: sireAnimal?.id ?? '',
      sire: sireAnimal ? sireAnimal.tag : sireTyped,
      servedBy: text(input.servedBy),
      ramOut,
      raddles,
      marks: keep ?? [],
      notes: text(input.notes),
    },
    errors,
  );
}

// Raddle marks read off the ewes, one box per colour. A ewe listed under two
// colours carries both; the later colour counts.
export function validateMarks(input, { idx }, s) {
  const errors = {};
  const marks = [];
  const colours = [...new Set((s.raddles || []).map((r) => r.colour))];
  colours.forEach((colour, i) => {
    const { found, missing } = resolveTags(idx, parseTagList(input[`mark-${i}`]));
    const outside = found.filter((a) => !s.femaleIds.includes(a.id)).map((a) => a.tag);
    if (missing.length) errors[`mark-${i}`] = `No animal has the tag ${listOf(missing)}.`;
    else if (outside.length) errors[`mark-${i}`] = `Not in this service: ${listOf(outside)}.`;
    for (const a of found) marks.push({ animalId: a.id, colour });
  });
  return result({ marks }, errors);
}

// A scan: one result per female; "not scanned" leaves her out.
export function validateScan(input, { idx, today }, s = null) {
  const errors = {};
  const date = requireDate(input.date, errors, 'date', today);
  if (s && !errors.date && date < s.date) errors.date = 'This is before the service.';
  const results = [];
  for (let i = 0; `scan-${i}` in input; i++) {
    const v = text(input[`scan-${i}`]);
    if (v === '') continue;
    const a = idx.animalsById.get(input[`scanId-${i}`]);
    if (!a || !/^\d$/.test(v)) continue;
    const r = { animalId: a.id, foetuses: Number(v) };
    const stage = text(input[`stage-${i}`]);
    if (stage) r.stage = stage;
    results.push(r);
  }
  if (!results.length) errors.results = 'Choose a result for at least one female.';
  return result(
    {
      date,
      serviceId: s?.id ?? '',
      results,
      scannedBy: text(input.scannedBy),
      notes: text(input.notes),
    },
    errors,
  );
}

// ---------------------------------------------------------------- reports

// Services in force dated within [from, to] (a breeding season).
const seasonServices = (db, from, to) =>
  (db.services || []).filter((s) => inForce(s) && s.date >= from && s.date <= to);

// Of the females put to the male in a season: how many were scanned and what
// was found (the latest scan of each counts), how many young were born alive
// and how many were still alive on `rearedOn`, and the barren ones. An
// animal whose movements have her die on her birthday counts as born dead.
export function seasonReport(db, idx, { from, to, rearedOn, today }) {
  const recs = breedingRecords(db);
  const per = idx.movesByAnimal();
  const put = new Map();
  for (const s of seasonServices(db, from, to))
    for (const id of s.femaleIds) {
      const a = idx.animalsById.get(id);
      if (a && inForce(a)) put.set(id, s);
    }
  let scanned = 0;
  let foetuses = 0;
  let born = 0;
  let bornAlive = 0;
  let reared = 0;
  let gaveBirth = 0;
  const barren = [];
  for (const [id, first] of put) {
    const list = recs.services.get(id).filter((s) => s.date >= from && s.date <= to);
    const s = list[list.length - 1] || first;
    const { scan, birth } = outcome(recs, s, id);
    if (scan) {
      scanned++;
      foetuses += scan.foetuses;
    }
    const a = idx.animalsById.get(id);
    const due = dueWindow(db.farm, s, a.species, id, today);
    if (birth) {
      gaveBirth++;
      for (const y of birth.offspringIds) {
        const young = idx.animalsById.get(y);
        if (!young || !inForce(young)) continue;
        born++;
        const moves = per.get(y);
        if (stateOf(young, moves, birth.date).status === 'died') continue;
        bornAlive++;
        if (rearedOn && stateOf(young, moves, rearedOn).status !== 'died') reared++;
      }
    } else if (scan?.foetuses === 0)
      barren.push({ animalId: id, service: s, why: `scanned empty ${scan.scan.date}` });
    else if (due && today > due.dueTo)
      barren.push({ animalId: id, service: s, why: `no birth recorded by ${due.dueTo}` });
  }
  const pct = (n, d) => (d ? Math.round((n / d) * 1000) / 10 : null);
  return {
    putToMale: put.size,
    scanned,
    foetuses,
    scanningPct: pct(foetuses, scanned),
    gaveBirth,
    born,
    bornAlive,
    reared,
    bornAlivePct: pct(bornAlive, put.size),
    rearedPct: rearedOn ? pct(reared, put.size) : null,
    barren,
  };
}

// Days between one cow's calvings, oldest first; a birth of twins is one calving.
export function calvingIntervals(db, idx) {
  const recs = breedingRecords(db);
  const out = [];
  for (const [damId, births] of recs.births) {
    const a = idx.animalsById.get(damId);
    if (!a || !inForce(a) || speciesKey(a.species) !== 'cattle' || births.length < 2) continue;
    const days = [];
    for (let i = 1; i < births.length; i++) days.push(daysBetween(births[i - 1].date, births[i].date));
    const mean = Math.round(days.reduce((x, y) => x + y, 0) / days.length);
    out.push({ animalId: damId, label: animalLabel(a), last: births[births.length - 1].date, days, mean });
  }
  return out.sort((x, y) => y.mean - x.mean);
}

// One female's breeding history, newest first: each service with her window,
// due dates, what her scans found and the birth that followed.
export function breedingHistory(db, idx, animalId, today) {
  const recs = breedingRecords(db);
  const a = idx.animalsById.get(animalId);
  const all = (db.services || []).filter((s) => s.femaleIds.includes(animalId));
  return all
    .map((s) => {
      const { scan, birth } = inForce(s) ? outcome(recs, s, animalId) : { scan: null, birth: null };
      const scans = (recs.scans.get(animalId) || []).filter((r) => r.scan.date >= s.date);
      return {
        service: s,
        due: a ? dueWindow(db.farm, s, a.species, animalId, today) : null,
        scan,
        scans,
        birth,
      };
    })
    .sort((x, y) => (x.service.date < y.service.date ? 1 : -1));
}

// The gestation lengths a farm typed, per species; blank takes the default.
export function readGestation(entries) {
  const value = {};
  for (const [k, typed] of entries) {
    const v = text(typed);
    if (!v) continue;
    if (!/^\d{2,3}$/.test(v) || Number(v) < 30 || Number(v) > 400) return { ok: false, species: k };
    if (Number(v) !== GESTATION_DAYS[k]) value[k] = Number(v);
  }
  return { ok: true, value };
}

export function saveGestation(db, value) {
  if (Object.keys(value).length) db.farm.gestationDays = value;
  else delete db.farm.gestationDays;
}

// ---------------------------------------------------------------- printed and listed

export function dueListRows(list, idx, farm) {
  return {
    header: ['Due from', 'Due by', 'Female', 'Sire', 'Mark', 'Scanned', 'Overdue'],
    tagColumn: 2,
    rows: list.map((e) => {
      const a = idx.animalsById.get(e.animalId);
      return [
        e.dueFrom,
        e.dueTo,
        animalLabel(a),
        sireText(idx, e.service),
        e.colour,
        scanLabel(e.scanned, a?.species),
        e.overdue ? 'OVERDUE' : '',
      ];
    }),
    subtitle: `Gestation: ${BREEDING_SPECIES.map(([k, n]) => `${n.toLowerCase()} ${gestationOf(farm, k)} days`).join(', ')}`,
  };
}
