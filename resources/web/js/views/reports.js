// Counts and reports: head count on a date (the 1 December inventory), deaths
// by cause, medicine use per year, and daily gain per group. Printed and
// exported as shown.

import { h, button, dateInput, field, formValues, showErrors } from '../ui/dom.js';
import { viewHeading, openDialog } from '../ui/ui.js';
import { isIsoDate, addDays } from '../core/dates.js';
import { inForce } from '../core/database.js';
import {
  headCountTable,
  sheepAndGoatInventory,
  lastInventoryDate,
  deathsTable,
  medicineUse,
  gainByGroup,
} from '../rules/reports.js';
import { composeDocument, headingBlock } from '../output/print.js';
import { inspectionPack, PACK_TITLE } from '../output/pack.js';
import { toCsv } from '../rules/csv.js';

const kg2 = new Intl.NumberFormat(undefined, { maximumFractionDigits: 3 });

function tables(app, st) {
  const { db, idx } = app;
  const ramGroup = db.groups.find((g) => g.id === st.ramGroup && inForce(g)) || null;
  const inventory = sheepAndGoatInventory(db, st.countOn, ramGroup);
  const use = medicineUse(db, st.year);
  const gains = gainByGroup(db, idx, st.from, st.to);
  const q = (o) =>
    Object.entries(o)
      .map(([u, n]) => `${kg2.format(n)} ${u}`)
      .join(', ');
  return [
    { id: 'rp-count', ...headCountTable(db, st.countOn) },
    {
      id: 'rp-inventory',
      title: `Sheep and goat inventory on ${st.countOn}${ramGroup ? `, put to the ram: the ewes of ${ramGroup.name}` : ''}`,
      header: ['Breeding females put to the ram', 'All other sheep', 'Goats'],
      rows: [
        [
          ramGroup ? String(inventory.putToRam) : 'choose the tupping group',
          String(inventory.otherSheep),
          String(inventory.goats),
        ],
      ],
    },
    { id: 'rp-deaths', ...deathsTable(db, idx, st.from, st.to) },
    {
      id: 'rp-medicine',
      title: `Medicines used in ${st.year}`,
      header: ['Product', 'Antibiotic', 'Treatments', 'Animal doses', 'From the cabinet'],
      rows: use.map((u) => [
        u.product,
        u.antibiotic ? 'ANTIBIOTIC' : '',
        String(u.treatments),
        String(u.animals),
        q(u.quantities),
      ]),
    },
    {
      id: 'rp-gain',
      title: `Daily live-weight gain by group, ${st.from} to ${st.to}`,
      header: ['Group', 'Animals weighed twice', 'Mean kg a day', 'Lowest', 'Highest'],
      rows: gains.map((g) => [
        g.group.name,
        String(g.animals),
        ...[g.mean, g.min, g.max].map((x) => (x === null ? '' : kg2.format(x))),
      ]),
    },
  ];
}

// The period asked for is checked here: the pack itself trusts its dates.
// It prints once the dialog has closed, so that the print dialog is not
// opened over it.
function packDialog(app) {
  const today = app.today();
  let period = null;
  return openDialog({
    title: PACK_TITLE,
    submitLabel: 'Print',
    content: h(
      'div',
      { class: 'form-grid' },
      field({ label: 'From', name: 'from', type: 'date', value: addDays(today, -365), required: true }),
      field({ label: 'To', name: 'to', type: 'date', value: today, required: true }),
    ),
    onSubmit: (form) => {
      const v = formValues(form);
      const from = v.from.trim();
      const to = v.to.trim();
      const bad = 'Type a date as yyyy-mm-dd.';
      const errors = { from: isIsoDate(from) ? '' : bad, to: isIsoDate(to) ? '' : bad };
      if (!errors.from && !errors.to && from > to) errors.to = 'The period ends before it starts.';
      if (!showErrors(form, errors)) return false;
      period = { from, to };
      return true;
    },
  }).then((ok) => {
    if (!ok) return;
    const html = inspectionPack(app.db, app.idx, { printedOn: today, ...period });
    app.printDocument(html, `${PACK_TITLE} ${period.from} to ${period.to}`);
  });
}

export function reportsView(app) {
  const today = app.today();
  const st = app.vs('reports', {
    countOn: lastInventoryDate(today),
    from: addDays(today, -365),
    to: today,
    year: today.slice(0, 4),
  });
  const dateBox = (key, label) =>
    h(
      'div',
      { class: 'filter' },
      h('label', { for: `rp-${key}` }, label),
      dateInput({
        id: `rp-${key}`,
        value: st[key],
        'data-key': `rp-${key}`,
        onchange: (ev) => {
          const v = ev.target.value.trim();
          if (!isIsoDate(v)) {
            ev.target.setAttribute('aria-invalid', 'true');
            return;
          }
          st[key] = v;
          app.rerender();
        },
      }),
    );
  const yearBox = h(
    'div',
    { class: 'filter' },
    h('label', { for: 'rp-year' }, 'Year'),
    h('input', {
      id: 'rp-year',
      'data-key': 'rp-year',
      value: st.year,
      inputmode: 'numeric',
      maxlength: '4',
      onchange: (ev) => {
        if (/^\d{4}$/.test(ev.target.value)) {
          st.year = ev.target.value;
          app.rerender();
        }
      },
    }),
  );
  // The ewes put to the ram are those of a group (the tupping mob).
  const ramBox = h(
    'div',
    { class: 'filter' },
    h('label', { for: 'rp-ram' }, 'Ewes put to the ram: group'),
    h(
      'select',
      {
        id: 'rp-ram',
        'data-key': 'rp-ram',
        onchange: (ev) => {
          st.ramGroup = ev.target.value;
          app.rerender();
        },
      },
      h('option', { value: '' }, 'None chosen'),
      app.db.groups
        .filter(inForce)
        .map((g) => h('option', { value: g.id, selected: g.id === st.ramGroup }, g.name)),
    ),
  );
  const ts = tables(app, st);
  const el = h(
    'div',
    { class: 'view' },
    viewHeading('Counts and reports', 'Worked out from the records in force; voided records are left out.'),
    h(
      'div',
      { class: 'toolbar', role: 'group', 'aria-label': 'Dates' },
      dateBox('countOn', 'Head count on'),
      ramBox,
      dateBox('from', 'Period from'),
      dateBox('to', 'Period to'),
      yearBox,
      button(
        'Export CSV',
        () =>
          app.exportCsv(
            ts.map((t) => toCsv([t.title], []) + toCsv(t.header, t.rows).replace(/^\ufeff/, '')).join('\r\n'),
            'Reports',
          ),
        { attrs: { 'data-key': 'rp-csv' } },
      ),
      button('Inspection pack…', () => packDialog(app), { attrs: { id: 'rp-pack', 'data-key': 'rp-pack' } }),
    ),
    ts.map((t) =>
      h(
        'section',
        { class: 'card', 'aria-labelledby': t.id },
        h('h2', { id: t.id }, t.title),
        t.rows.length
          ? h(
              'table',
              { class: 'compact' },
              h(
                'thead',
                {},
                h(
                  'tr',
                  {},
                  t.header.map((c) => h('th', { scope: 'col' }, c)),
                ),
              ),
              h(
                'tbody',
                {},
                t.rows.map((r) =>
                  h(
                    'tr',
                    {},
                    r.map((c) => h('td', {}, c)),
                  ),
                ),
              ),
            )
          : h('p', { class: 'empty' }, 'Nothing in this period.'),
      ),
    ),
  );
  return {
    title: 'Counts and reports',
    el,
    print: () =>
      composeDocument({
        title: 'Counts and reports',
        farm: app.db.farm,
        printedOn: today,
        blocks: ts.flatMap((t) => [
          headingBlock(t.title),
          { columns: t.header.map((label) => ({ label })), rows: t.rows, empty: 'Nothing in this period.' },
        ]),
      }),
  };
}
