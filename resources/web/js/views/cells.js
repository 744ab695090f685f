// Pieces several screens show: links to animals, status and withdrawal
// cells, the void and restore actions of a record row, and the way into the
// Animals list with chosen filters.

import { h, button, link, nf } from '../ui/dom.js';
import { restore, voidRecordForm } from '../ui/forms.js';
import { animalLabel, STATUS_LABEL } from '../core/text.js';
import { daysBetween } from '../core/dates.js';
import { fitFrom, stillWithdrawn, describePeriod, appliedPeriod, NOT_KNOWN } from '../rules/withdrawal.js';

export const animalHref = (a) => `#/animal/${encodeURIComponent(a.id)}`;

// A tag never breaks across lines; the name may.
export function animalLink(idx, id) {
  const a = idx.animalsById.get(id);
  return a
    ? link(animalHref(a), animalLabel({ ...a, tag: a.tag.replace(/ /g, '\u00a0') }))
    : h('span', { class: 'muted' }, 'removed animal');
}

export function animalLinks(idx, ids, max = 3) {
  const out = [];
  ids.slice(0, max).forEach((id, i) => {
    if (i) out.push(', ');
    out.push(animalLink(idx, id));
  });
  if (ids.length > max) out.push(` and ${nf.format(ids.length - max)} more`);
  return out;
}

export function untilText(today, end) {
  if (end === NOT_KNOWN) return 'until the period is entered';
  const d = daysBetween(today, end.slice(0, 10));
  return d <= 0 ? 'later today' : d === 1 ? 'tomorrow' : `in ${nf.format(d)} days`;
}

export function statusBadge(a) {
  if (a.voided) return h('span', { class: 'badge status-void' }, 'Entered in error');
  return h('span', { class: `badge status-${a.status}` }, STATUS_LABEL.get(a.status).replace(/ \(.*/, ''));
}

// Voided records stay on the card, struck through, with a way back.
export const rowClass = (r) => (r.voided ? 'voided' : null);
export function voidCell(app, collection, rec, what, key, edit) {
  if (rec.voided) {
    return h(
      'span',
      { class: 'row-actions' },
      h('span', { class: 'muted' }, `Void: ${rec.voided.reason} `),
      button('Restore', () => restore(app, collection, rec, what), {
        kind: 'small',
        attrs: { 'aria-label': `Restore ${what}`, 'data-key': `${key}-restore` },
      }),
    );
  }
  return h(
    'span',
    { class: 'row-actions' },
    edit
      ? button('Edit', edit, {
          kind: 'small',
          attrs: { 'aria-label': `Edit ${what}`, 'data-key': `${key}-edit` },
        })
      : null,
    button('Void', () => voidRecordForm(app, collection, rec, what), {
      kind: 'small',
      attrs: { 'aria-label': `Void ${what}`, 'data-key': `${key}-void` },
    }),
  );
}

export function fitCell(t, kind, opts, now) {
  const p = appliedPeriod(t, kind, opts);
  if (!p) return h('span', { class: 'badge danger' }, NOT_KNOWN);
  if (p.amount === 0) return h('span', { class: 'muted' }, 'no withdrawal');
  const fit = fitFrom(t, kind, opts);
  return h(
    'span',
    {},
    !t.voided && stillWithdrawn(fit, now) ? h('span', { class: 'badge warn' }, fit) : fit,
    p.notes.length ? h('span', { class: 'fit-note' }, describePeriod(p)) : null,
  );
}

export function animalsState(app) {
  return app.vs('animals', {
    query: '',
    status: 'on-farm',
    species: '',
    fieldId: '',
    groupId: '',
    withdrawal: '',
    page: 0,
    pageSize: 100,
    sortKey: 'tag',
    sortDir: 'asc',
    selected: new Set(),
  });
}

// Opens the herd list with the given filters and no others.
export function showAnimals(app, filters) {
  Object.assign(
    animalsState(app),
    { query: '', status: '', species: '', fieldId: '', groupId: '', withdrawal: '', page: 0 },
    filters,
  );
  app.go('#/animals');
}
