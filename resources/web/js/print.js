// Documents composed for paper. Each is complete HTML that needs no script
// and no page globals: the application prints it in a separate view, which
// finds "print.css" next to index.html.

import { escapeHtml, weightChartSvg } from './chart.js';
import {
  SEX_LABEL, STATUS_LABEL, DIRECTION_LABEL, fieldName, tagsOf, animalLabel,
  treatmentWithdrawal, isWithdrawalRunning, herdSummary,
} from './model.js';

const e = escapeHtml;

export function composeDocument({ title, farm, printedOn, subtitle = '', body }) {
  const farmLine = [farm?.name, farm?.holding && `Holding ${farm.holding}`].filter(Boolean).join(' · ');
  return '<!doctype html>\n<html lang="en"><head><meta charset="utf-8">' +
    `<title>${e(title)}</title><link rel="stylesheet" href="print.css"></head><body>` +
    `<header class="doc-head"><h1>${e(title)}</h1>` +
    `<p class="doc-meta">${farmLine ? `${e(farmLine)} · ` : ''}Printed ${e(printedOn)}${subtitle ? ` · ${e(subtitle)}` : ''}</p></header>` +
    `<main>${body}</main><footer class="doc-foot">Meadowline Field Keeper</footer></body></html>`;
}

export function table(header, rows, { className = '', empty = 'Nothing recorded.' } = {}) {
  if (!rows.length) return `<p class="empty">${e(empty)}</p>`;
  return `<table class="${className}"><thead><tr>${header.map((h) => `<th scope="col">${e(h)}</th>`).join('')}</tr></thead><tbody>` +
    rows.map((r) => `<tr>${r.map(cell).join('')}</tr>`).join('') + '</tbody></table>';
}

// Dates never break across lines.
const cell = (c) => (/^\d{4}-\d{2}-\d{2}$/.test(c) ? `<td class="date">${c}</td>` : `<td>${e(c ?? '')}</td>`);

const section = (heading, inner) => `<section><h2>${e(heading)}</h2>${inner}</section>`;

export function herdRegister(db, idx, animals, { printedOn, subtitle }) {
  const rows = animals.map((a) => [a.tag, a.name, a.species, a.breed, SEX_LABEL.get(a.sex), a.dob, a.dam, a.sire,
    STATUS_LABEL.get(a.status) + (a.statusDate ? ` ${a.statusDate}` : ''), fieldName(idx, a.fieldId)]);
  const body = `<p class="count">${animals.length} animal${animals.length === 1 ? '' : 's'}</p>` +
    table(['Tag', 'Name', 'Species', 'Breed', 'Sex', 'Born', 'Dam', 'Sire', 'Status', 'Field or pen'], rows, { className: 'register' });
  return composeDocument({ title: 'Herd register', farm: db.farm, printedOn, subtitle, body });
}

function treatmentRows(idx, treatments, withAnimals) {
  return treatments.map((t) => {
    const { meatEnd, milkEnd } = treatmentWithdrawal(t);
    const row = [t.date];
    if (withAnimals) row.push([tagsOf(idx, t.animalIds).join(', '), t.target].filter(Boolean).join(' — '));
    row.push(t.product + (t.batch ? ` (batch ${t.batch})` : ''), t.dose, t.reason, t.givenBy,
      t.meatDays > 0 ? `${t.meatDays} d, ends ${meatEnd}` : 'none',
      t.milkDays > 0 ? `${t.milkDays} d, ends ${milkEnd}` : 'none');
    return row;
  });
}

export function treatmentBook(db, idx, treatments, { printedOn, from, to }) {
  const range = from || to ? `${from || 'the first record'} to ${to || 'the last record'}` : 'All dates';
  const body = `<p class="count">${treatments.length} treatment${treatments.length === 1 ? '' : 's'}, ${e(range)}</p>` +
    table(['Date', 'Animals', 'Product', 'Dose', 'Reason', 'Given by', 'Meat withdrawal', 'Milk withdrawal'],
      treatmentRows(idx, treatments, true), { className: 'book', empty: 'No treatments in this period.' });
  return composeDocument({ title: 'Treatment book', farm: db.farm, printedOn, subtitle: range, body });
}

export function recordCard(db, idx, animal, { printedOn, today }) {
  const p = idx.perAnimal.get(animal.id);
  const dl = (pairs) => `<dl class="details">${pairs.filter(([, v]) => v).map(([k, v]) => `<div><dt>${e(k)}</dt><dd>${e(v)}</dd></div>`).join('')}</dl>`;
  const running = p.treatments.filter((t) => {
    const { meatEnd, milkEnd } = treatmentWithdrawal(t);
    return isWithdrawalRunning(t.meatDays, meatEnd, today) || isWithdrawalRunning(t.milkDays, milkEnd, today);
  });
  const body = dl([
    ['Tag', animal.tag], ['Name', animal.name], ['Species', animal.species], ['Breed', animal.breed],
    ['Sex', SEX_LABEL.get(animal.sex)], ['Born', animal.dob], ['Dam', animal.dam], ['Sire', animal.sire],
    ['Status', STATUS_LABEL.get(animal.status) + (animal.statusDate ? ` on ${animal.statusDate}` : '')],
    ['Field or pen', fieldName(idx, animal.fieldId)], ['Notes', animal.notes],
  ]) +
    (running.length ? `<p class="warning">Under withdrawal on ${e(today)}: ${e(running.map((t) => t.product).join(', '))}</p>` : '') +
    section('Weights', (p.weights.length ? weightChartSvg(p.weights, { title: `Weights of ${animal.tag}` }) : '') +
      table(['Date', 'Weight (kg)'], p.weights.map((w) => [w.date, String(w.kg)]), { empty: 'No weights recorded.' })) +
    section('Treatments', table(['Date', 'Product', 'Dose', 'Reason', 'Given by', 'Meat withdrawal', 'Milk withdrawal'],
      treatmentRows(idx, p.treatments, false), { empty: 'No treatments recorded.' })) +
    section('Births', table(['Date', 'Event', 'Dam', 'Offspring'], p.births.map((b) => [
      b.date, b.damId === animal.id ? 'Gave birth' : 'Born',
      animalLabel(idx.animalsById.get(b.damId)), tagsOf(idx, b.offspringIds).join(', ')]), { empty: 'No births recorded.' })) +
    section('Movements', table(['Date', 'Movement', 'From', 'To', 'Reason'], p.movements.map((m) => [
      m.date, DIRECTION_LABEL.get(m.direction), m.from, [m.to, fieldName(idx, m.fieldId)].filter(Boolean).join(', '), m.reason]),
    { empty: 'No movements recorded.' }));
  return composeDocument({ title: `Record card: ${animalLabel(animal)}`, farm: db.farm, printedOn, body });
}

export function farmSummary(db, idx, { printedOn, withdrawals, recent }) {
  const { rows, totals } = herdSummary(db);
  const body =
    section('Herd by species and status', table(['Species', 'On farm', 'Sold', 'Died'],
      [...rows.map((r) => [r.species, r['on-farm'], r.sold, r.died].map(String)),
        ['All', totals['on-farm'], totals.sold, totals.died].map(String)], { empty: 'No animals recorded.' })) +
    section('Withdrawals running', table(['Animal', 'Meat withdrawal ends', 'Milk withdrawal ends', 'Products'],
      withdrawals.map((w) => [animalLabel(w.animal), w.meatEnd || '', w.milkEnd || '', w.products.join(', ')]),
      { empty: 'No animal is under withdrawal.' })) +
    section('Recent events', table(['Date', 'Event', 'Animals'], recent.map((ev) => [ev.date, ev.text, ev.animals])));
  return composeDocument({ title: 'Farm overview', farm: db.farm, printedOn, body });
}

export function listDocument(db, { title, printedOn, subtitle, header, rows }) {
  return composeDocument({ title, farm: db.farm, printedOn, subtitle, body: table(header, rows) });
}
