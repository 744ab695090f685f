// Lambs and kids kept by batch, under a flock mark and a count: what came on
// or was born, what has left, and what is on the holding now.

import { h, button, nf, field, formValues, showErrors } from '../ui/dom.js';
import { newestFirst } from '../core/dates.js';
import { openDialog, pagedTable, viewHeading } from '../ui/ui.js';
import { OUTCOMES } from '../core/text.js';
import { inForce } from '../core/database.js';
import { upsert } from '../rules/records.js';
import { LOT_ORIGINS, lotState, validateLot, validateLotMovement } from '../rules/lots.js';
import { voidCell, rowClass } from './cells.js';

const byDateDesc = (a, b) => (a.date < b.date ? 1 : a.date > b.date ? -1 : 0);
const lotName = (lot) => `${lot.species} ${lot.flockMark} (${lot.date})`;

export function lotsView(app) {
  const { db } = app;
  const today = app.today();
  const lots = db.lots.slice().sort((a, b) => !!a.voided - !!b.voided || byDateDesc(a, b));
  const lotById = new Map(db.lots.map((l) => [l.id, l]));
  const moves = newestFirst(db.lotMovements);
  const st = app.vs('lots', { page: 0, pageSize: 100 });
  const mst = app.vs('lot-moves', { page: 0, pageSize: 100 });
  return {
    title: 'Batch-tagged lambs',
    el: h(
      'div',
      { class: 'view' },
      viewHeading(
        'Batch-tagged lambs',
        'Lambs and kids for slaughter before 12 months old, tagged with the flock mark only: kept and moved by number.',
      ),
      h(
        'div',
        { class: 'actions' },
        button('Add a batch', () => lotForm(app), { kind: 'primary', attrs: { 'data-key': 'lot-add' } }),
        button('Record a departure', () => lotMovementForm(app), { attrs: { 'data-key': 'lot-off' } }),
      ),
      pagedTable({
        key: 'lot',
        state: st,
        rows: lots,
        rowClass,
        onChange: () => app.rerender(),
        emptyText: 'No batches recorded.',
        columns: [
          { key: 'date', label: 'Date', cell: (l) => l.date },
          { key: 'mark', label: 'Flock mark', cell: (l) => h('strong', {}, l.flockMark) },
          { key: 'sp', label: 'Species', cell: (l) => l.species },
          {
            key: 'from',
            label: 'Came from',
            cell: (l) => (l.origin === 'born' ? 'Born here' : [l.fromHolding, l.documentRef].join(', ')),
          },
          { key: 'n', label: 'Number', className: 'num', cell: (l) => nf.format(l.count) },
          {
            key: 'now',
            label: 'On the holding today',
            className: 'num',
            cell: (l) => nf.format(lotState(db, l, today).onFarm),
          },
          {
            key: 'act',
            label: 'Actions',
            cell: (l) =>
              voidCell(app, 'lots', l, `batch ${l.flockMark}`, `lot-${l.id}`, () => lotForm(app, l)),
          },
        ],
      }),
      h('h2', {}, 'Departures'),
      pagedTable({
        key: 'lot-moves',
        state: mst,
        rows: moves,
        rowClass,
        onChange: () => app.rerender(),
        emptyText: 'No departures recorded.',
        columns: [
          { key: 'date', label: 'Date', cell: (m) => m.date },
          { key: 'lot', label: 'Batch', cell: (m) => lotById.get(m.lotId)?.flockMark ?? '' },
          { key: 'n', label: 'Number', className: 'num', cell: (m) => nf.format(m.count) },
          { key: 'how', label: 'Outcome', cell: (m) => new Map(OUTCOMES).get(m.outcome) },
          { key: 'to', label: 'To (holding)', cell: (m) => m.toHolding || m.cause },
          { key: 'doc', label: 'Document', cell: (m) => m.documentRef },
          {
            key: 'act',
            label: 'Actions',
            cell: (m) =>
              voidCell(app, 'lotMovements', m, `departure of ${m.date}`, `lm-${m.id}`, () =>
                lotMovementForm(app, m),
              ),
          },
        ],
      }),
    ),
    print: null,
  };
}

function lotForm(app, lot = null) {
  const v = lot ?? { date: app.today(), species: 'Sheep', origin: 'born' };
  return openDialog({
    title: lot ? `Edit batch ${lot.flockMark}` : 'Add a batch',
    submitLabel: lot ? 'Save changes' : 'Add batch',
    content: h(
      'div',
      { class: 'form-grid' },
      field({
        label: 'Flock mark',
        name: 'flockMark',
        value: v.flockMark ?? '',
        required: true,
        attrs: { autofocus: true },
      }),
      field({
        label: 'Species',
        name: 'species',
        value: v.species,
        options: [
          ['Sheep', 'Sheep'],
          ['Goats', 'Goats'],
        ],
      }),
      field({
        label: 'Number',
        name: 'count',
        value: v.count ?? '',
        required: true,
        attrs: { inputmode: 'numeric' },
      }),
      field({ label: 'Born or bought in', name: 'origin', value: v.origin, options: LOT_ORIGINS }),
      field({ label: 'Date (born or arrived)', name: 'date', type: 'date', value: v.date, required: true }),
      field({
        label: 'Holding they came from',
        name: 'fromHolding',
        value: v.fromHolding ?? '',
        hint: 'When bought in.',
      }),
      field({
        label: 'Movement document',
        name: 'documentRef',
        value: v.documentRef ?? '',
        hint: 'When bought in.',
      }),
      field({ label: 'Notes', name: 'notes', type: 'textarea', value: v.notes ?? '', wide: true }),
    ),
    onSubmit: (form) => {
      const res = validateLot(formValues(form), app.context(lot));
      if (!showErrors(form, res.ok ? {} : res.errors)) return false;
      app.commit(
        (db) => upsert(db, 'lots', lot?.id ?? null, res.value),
        lot ? 'Batch saved.' : 'Batch added.',
      );
      return true;
    },
  });
}

function lotMovementForm(app, m = null) {
  const today = app.today();
  const open = app.db.lots.filter(
    (l) => inForce(l) && (l.id === m?.lotId || lotState(app.db, l, today).onFarm),
  );
  if (!open.length) {
    app.toast('No batch is on the holding.');
    return null;
  }
  const v = m ?? { date: today, lotId: open[0].id, outcome: 'sold' };
  return openDialog({
    title: m ? 'Edit departure' : 'Record a departure',
    submitLabel: m ? 'Save changes' : 'Record departure',
    content: h(
      'div',
      { class: 'form-grid' },
      field({ label: 'Batch', name: 'lotId', value: v.lotId, options: open.map((l) => [l.id, lotName(l)]) }),
      field({
        label: 'Number',
        name: 'count',
        value: v.count ?? '',
        required: true,
        attrs: { autofocus: true, inputmode: 'numeric' },
      }),
      field({ label: 'Date', name: 'date', type: 'date', value: v.date, required: true }),
      field({ label: 'Outcome', name: 'outcome', value: v.outcome, options: OUTCOMES }),
      field({ label: 'Holding they went to', name: 'toHolding', value: v.toHolding ?? '' }),
      field({ label: 'Movement document', name: 'documentRef', value: v.documentRef ?? '' }),
      field({ label: 'Cause of death', name: 'cause', value: v.cause ?? '', hint: 'When they died.' }),
      field({ label: 'Notes', name: 'notes', type: 'textarea', value: v.notes ?? '', wide: true }),
    ),
    onSubmit: (form) => {
      const res = validateLotMovement(formValues(form), app.context(m));
      if (!showErrors(form, res.ok ? {} : res.errors)) return false;
      app.commit((db) => upsert(db, 'lotMovements', m?.id ?? null, res.value), 'Departure recorded.');
      return true;
    },
  });
}
