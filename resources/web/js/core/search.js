// Finding animals by any word in their details or records.

import { inForce } from './database.js';
import { fold, compareTags, DIRECTION_LABEL, SEX_LABEL, STATUS_LABEL } from './text.js';
import { parentsOf, fieldName, formerTags } from './lookups.js';

const treatmentText = (t) =>
  [t.product, t.dose, t.batch, t.reason, t.givenBy, t.vet, t.target, t.notes].join(' ');

function recordTexts(db, idx, a) {
  const p = idx.perAnimal.get(a.id);
  const texts = [];
  for (const t of p.treatments) {
    if (!inForce(t)) continue;
    texts.push({ kind: 'Treatment', date: t.date, text: treatmentText(t) });
  }
  for (const b of p.births) {
    if (!inForce(b)) continue;
    texts.push({
      kind: b.damId === a.id ? 'Gave birth' : 'Born',
      date: b.date,
      text: [b.sire, b.notes].join(' '),
    });
  }
  for (const m of p.movements) {
    if (!inForce(m)) continue;
    texts.push({
      kind: 'Movement',
      date: m.date,
      text: [
        DIRECTION_LABEL.get(m.direction),
        m.from,
        m.fromHolding,
        m.to,
        m.toHolding,
        m.documentRef,
        fieldName(idx, m.fieldId),
        m.reason,
        m.cause,
        m.notes,
      ].join(' '),
    });
  }
  for (const s of p.services || []) {
    if (!inForce(s)) continue;
    const colours = (s.raddles || []).map((r) => r.colour);
    const text = [s.sire, s.target, s.servedBy, ...colours, s.notes];
    texts.push({ kind: s.sireId === a.id ? 'Served' : 'Service', date: s.date, text: text.join(' ') });
  }
  for (const sc of p.scans || []) {
    if (!inForce(sc)) continue;
    const found = sc.results.find((r) => r.animalId === a.id)?.foetuses;
    texts.push({
      kind: 'Scan',
      date: sc.date,
      text: [SCAN_WORDS[Math.min(found, 3)], sc.scannedBy, sc.notes].join(' '),
    });
  }
  return texts;
}

// What a scan found, in the words a farmer searches for.
const SCAN_WORDS = ['empty', 'single in calf', 'twins', 'triplets'];

export function buildSearchIndex(db, idx) {
  return db.animals.map((a) => searchEntry(db, idx, a));
}

export function searchEntry(db, idx, a) {
  const par = parentsOf(idx, a);
  const former = formerTags(a);
  const own = [
    a.tag,
    ...former,
    a.eid || '',
    a.name,
    a.species,
    a.breed,
    SEX_LABEL.get(a.sex),
    par.damText,
    par.sire,
    STATUS_LABEL.get(a.status),
    fieldName(idx, a.fieldId),
    a.notes,
  ].join('\n');
  const records = recordTexts(db, idx, a);
  return {
    animal: a,
    tag: fold(a.tag),
    former: [...former.map(fold), ...(a.eid ? [a.eid] : [])],
    name: fold(a.name),
    own: fold(own),
    all: fold(own + '\n' + records.map((r) => r.text).join('\n')),
    records,
  };
}

// A treatment added after the entry was made, as a handling day adds them.
export function addTreatmentToEntry(entry, t) {
  const text = treatmentText(t);
  entry.records.push({ kind: 'Treatment', date: t.date, text });
  entry.all += `\n${fold(text)}`;
}

// Every word of the query must appear somewhere in the animal's own details
// or its records. Tag and name matches rank first, then former tags.
export function searchAnimals(index, query, limit = 20) {
  const terms = fold(query).split(/\s+/).filter(Boolean);
  if (!terms.length) return { total: 0, results: [] };
  const whole = terms.join(' ');
  const hits = [];
  for (const e of index) {
    if (!terms.every((t) => e.all.includes(t))) continue;
    let rank = 5;
    if (e.tag === whole) rank = 0;
    else if (e.tag.startsWith(whole)) rank = 1;
    else if (e.name === whole || e.former.includes(whole)) rank = 2;
    else if (
      e.name.startsWith(terms[0]) ||
      e.tag.includes(terms[0]) ||
      e.former.some((f) => f.includes(terms[0]))
    )
      rank = 3;
    else if (terms.every((t) => e.own.includes(t))) rank = 4;
    if (e.animal.voided) rank += 6;
    hits.push({ entry: e, rank });
  }
  hits.sort((a, b) => a.rank - b.rank || compareTags(a.entry.animal.tag, b.entry.animal.tag));
  const results = hits.slice(0, limit).map(({ entry, rank }) => ({
    animal: entry.animal,
    matchedIn: rank % 6 < 5 ? null : matchedRecord(entry, terms),
  }));
  return { total: hits.length, results };
}

// Which record to name when the animal's own details do not explain the hit:
// the first holding every word found nowhere else, or failing that any one.
function matchedRecord(entry, terms) {
  const missing = terms.filter((t) => !entry.own.includes(t));
  const texts = entry.records.map((r) => fold(r.text));
  const i = texts.findIndex((t) => missing.every((m) => t.includes(m)));
  const j = i >= 0 ? i : texts.findIndex((t) => missing.some((m) => t.includes(m)));
  return j >= 0 ? entry.records[j] : null;
}
