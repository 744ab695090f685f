// The field records' screens: the spray records, the fertiliser and manure
// records with the year's nitrogen, and one field's own page (what was done
// to it, who grazed it, whether it is open to grazing now).

import { h, button, link, nf, kgf, dateInput } from '../ui/dom.js';
import { pagedTable, viewHeading, filterBox } from '../ui/ui.js';
import { fold, FIELD_KIND_LABEL } from '../core/text.js';
import { isIsoDate } from '../core/dates.js';
import { inDateRange, bookRange } from '../core/ranges.js';
import {
  reopensAt,
  reopenText,
  closuresAt,
  grazingSpells,
  nitrogenYear,
  perHa,
  totalOf,
  spraysCsv,
  nutrientsCsv,
  spraysJson,
  LAND_USE_LABEL,
  NUTRIENT_KIND_LABEL,
  NVZ_SOURCE,
  HOLDING_LIMIT,
  FIELD_LIMIT,
  NOT_KNOWN,
} from '../rules/fieldwork.js';
import { sprayBook, nutrientBook } from '../output/fieldbooks.js';
import { sprayForm, nutrientForm } from '../ui/fieldforms.js';
import { voidCell, rowClass, animalLinks } from './cells.js';

const byDateDesc = (a, b) =>
  a.date < b.date ? 1 : a.date > b.date ? -1 : (b.time || '') < (a.time || '') ? -1 : 1;
export const fieldHref = (f) => `#/field/${encodeURIComponent(f.id)}`;
const fieldLinks = (db, ids) =>
  ids.flatMap((id, i) => {
    const f = db.fields.find((x) => x.id === id);
    return [i ? ', ' : '', f ? link(fieldHref(f), f.name) : h('span', { class: 'muted' }, 'unknown field')];
  });
const amount = (v) => (v === null || v === undefined ? '–' : kgf.format(v));

// A list of one kind of record for a period chosen, found by its words.
function periodList(app, { key, rows, words, columns, emptyText }) {
  const range = app.vs(`${key}-range`, { from: null, to: '' });
  const st = app.vs(key, { query: '', page: 0, pageSize: 100 });
  const period = () => bookRange(range, app.today());
  const filtered = () => {
    const q = fold(st.query.trim());
    const r = period();
    return rows.filter((x) => inDateRange(x.date, r.from, r.to) && (!q || fold(words(x)).includes(q)));
  };
  const results = h('div', { class: 'results' });
  const count = h('p', { class: 'count', role: 'status' });
  const update = () => {
    const list = filtered();
    count.textContent = `${nf.format(list.length)} record${list.length === 1 ? '' : 's'}`;
    results.replaceChildren(
      pagedTable({ key, columns, rows: list, state: st, emptyText, rowClass, onChange: update }),
    );
  };
  const dateBox = (prop, label) =>
    h(
      'div',
      { class: 'filter' },
      h('label', { for: `${key}-${prop}` }, label),
      dateInput({
        id: `${key}-${prop}`,
        'data-key': `${key}-${prop}`,
        value: period()[prop],
        onchange: (ev) => {
          const v = ev.target.value.trim();
          if (v && !isIsoDate(v)) return ev.target.setAttribute('aria-invalid', 'true');
          ev.target.removeAttribute('aria-invalid');
          range[prop] = prop === 'to' && v === app.today() ? '' : v;
          st.page = 0;
          update();
          return undefined;
        },
      }),
    );
  const input = filterBox({ id: `${key}-filter`, state: st, onChange: update });
  const toolbar = h(
    'div',
    { class: 'toolbar', role: 'group', 'aria-label': 'Filters' },
    h('div', { class: 'filter grow' }, h('label', { for: input.id }, 'Find in the list'), input),
    dateBox('from', 'From'),
    dateBox('to', 'To'),
  );
  update();
  return { toolbar, count, results, filtered, period };
}

function grazingCell(s, now) {
  if (s.voided) return '';
  const opens = reopensAt(s);
  if (opens === NOT_KNOWN) return h('span', { class: 'badge danger' }, NOT_KNOWN);
  const closed = opens > now && s.date <= now.slice(0, 10);
  return [
    `${s.grazingDays} d`,
    ' ',
    closed
      ? h('span', { class: 'badge warn' }, `closed until ${opens}`)
      : h('span', { class: 'muted' }, opens),
  ];
}

const sprayWords = (db) => (s) =>
  [
    s.product,
    s.mapp,
    s.crop,
    s.cropCode,
    s.reason,
    s.operator,
    s.notes,
    s.date,
    ...s.fieldIds.map((id) => db.fields.find((f) => f.id === id)?.name),
  ].join(' ');

function sprayColumns(app, now) {
  const { db } = app;
  return [
    { key: 'date', label: 'Date', cell: (s) => [s.date, s.time ? ` ${s.time}` : ''], className: 'date' },
    {
      key: 'fields',
      label: 'Fields',
      cell: (s) => [fieldLinks(db, s.fieldIds), ` (${kgf.format(s.area)} ha)`],
    },
    {
      key: 'product',
      label: 'Product',
      cell: (s) => [s.product, h('span', { class: 'muted' }, ` MAPP ${s.mapp}`)],
    },
    { key: 'crop', label: 'Crop', cell: (s) => [s.crop, s.growthStage ? ` BBCH ${s.growthStage}` : ''] },
    {
      key: 'dose',
      label: 'Dose',
      cell: (s) => `${amount(s.dosePerHa)} ${s.doseUnit}, total ${amount(s.totalUsed)}`,
    },
    { key: 'by', label: 'Operator', cell: (s) => s.operator },
    { key: 'graze', label: 'Grazing interval', cell: (s) => grazingCell(s, now) },
    {
      key: 'act',
      label: 'Actions',
      cell: (s) =>
        voidCell(app, 'sprays', s, `spray of ${s.date} with ${s.product}`, `sp-${s.id}`, () =>
          sprayForm(app, s),
        ),
    },
  ];
}

function nutrientColumns(app) {
  const { db } = app;
  return [
    { key: 'date', label: 'Date', cell: (r) => r.date, className: 'date' },
    {
      key: 'fields',
      label: 'Fields',
      cell: (r) => [fieldLinks(db, r.fieldIds), ` (${kgf.format(r.area)} ha)`],
    },
    {
      key: 'what',
      label: 'Product or manure',
      cell: (r) => [r.product, h('span', { class: 'muted' }, ` ${NUTRIENT_KIND_LABEL.get(r.kind)}`)],
    },
    { key: 'n', label: 'N kg/ha', className: 'num', cell: (r) => amount(perHa(r)) },
    { key: 'nt', label: 'N total kg', className: 'num', cell: (r) => amount(totalOf(r)) },
    {
      key: 'pk',
      label: 'P2O5, K2O total kg',
      cell: (r) => `${amount(totalOf(r, 'p'))}, ${amount(totalOf(r, 'k'))}`,
    },
    { key: 'method', label: 'Method', cell: (r) => r.method },
    {
      key: 'act',
      label: 'Actions',
      cell: (r) =>
        voidCell(app, 'nutrients', r, `spreading of ${r.date}: ${r.product}`, `nu-${r.id}`, () =>
          nutrientForm(app, r),
        ),
    },
  ];
}

export function spraysView(app) {
  const { db } = app;
  const now = app.now();
  const rows = app.sortedOnce('sprays', () => db.sprays.slice().sort(byDateDesc));
  const list = periodList(app, {
    key: 'sp',
    rows,
    words: sprayWords(db),
    columns: sprayColumns(app, now),
    emptyText: db.sprays.length ? 'No spray in this period matches.' : 'No sprays recorded yet.',
  });
  const book = () => list.filtered().slice().reverse();
  return {
    title: 'Spray records',
    el: h(
      'div',
      { class: 'view' },
      viewHeading(
        'Spray records',
        'Plant protection products used, kept 3 years at least (Regulation (EC) 1107/2009 art. 67, content as Implementing Regulation (EU) 2023/564 sets out). A field sprayed stays closed to grazing until the label’s interval has run.',
      ),
      h(
        'div',
        { class: 'actions' },
        button('Record spray', () => sprayForm(app), { kind: 'primary', attrs: { 'data-key': 'sp-add' } }),
        button('Spray book (CSV)', () => app.exportCsv(spraysCsv(db, book()), 'Spray book'), {
          attrs: { 'data-key': 'sp-csv' },
        }),
        button(
          'Spray records (JSON)',
          () =>
            app.exportFile(
              'Spray records',
              'json',
              spraysJson(db, book(), { ...list.period(), exportedAt: app.now() }),
            ),
          { attrs: { 'data-key': 'sp-json' } },
        ),
        link('#/fields', 'Fields and pens'),
      ),
      list.toolbar,
      list.count,
      list.results,
    ),
    print: () => sprayBook(db, book(), { printedOn: app.today(), ...list.period() }),
  };
}

function nitrogenCard(app, year) {
  const n = nitrogenYear(app.db, year);
  const over = (v, limit) => (v > limit ? h('span', { class: 'badge danger' }, `over ${limit}`) : null);
  return h(
    'section',
    { class: 'card', 'aria-labelledby': 'nu-year' },
    h('h2', { id: 'nu-year' }, `Nitrogen in ${year}`),
    h(
      'p',
      {},
      `Livestock manure: ${kgf.format(n.livestockKg)} kg N over ${kgf.format(n.holdingHa)} ha in use = `,
      h(
        'strong',
        {},
        n.livestockPerHa === null ? 'no area recorded' : `${kgf.format(n.livestockPerHa)} kg N/ha`,
      ),
      ` averaged over the holding (limit ${HOLDING_LIMIT}) `,
      over(n.livestockPerHa, HOLDING_LIMIT),
    ),
    pagedTable({
      key: 'nu-n',
      state: app.vs('nu-n', { page: 0, pageSize: 50 }),
      rows: n.fields,
      onChange: () => app.rerender(),
      emptyText: 'Nothing spread this year.',
      columns: [
        { key: 'f', label: 'Field', cell: (r) => link(fieldHref(r.field), r.field.name) },
        { key: 'z', label: 'NVZ', cell: (r) => (r.field.nvz ? 'yes' : '') },
        { key: 't', label: 'Total N kg/ha', className: 'num', cell: (r) => kgf.format(r.totalPerHa) },
        {
          key: 'o',
          label: `Organic N kg/ha (limit ${FIELD_LIMIT})`,
          className: 'num',
          cell: (r) => [kgf.format(r.organicPerHa), ' ', over(r.organicPerHa, FIELD_LIMIT)],
        },
        {
          key: 'l',
          label: 'Livestock manure N kg',
          className: 'num',
          cell: (r) => kgf.format(r.livestockKg),
        },
      ],
    }),
    h(
      'p',
      { class: 'muted' },
      `Source: ${NVZ_SOURCE}. Manure left by grazing animals counts towards the holding limit too; it is not in these records. Records are kept 5 years.`,
    ),
  );
}

export function nutrientsView(app) {
  const { db } = app;
  const rows = app.sortedOnce('nutrients', () => db.nutrients.slice().sort(byDateDesc));
  const list = periodList(app, {
    key: 'nu',
    rows,
    words: (r) =>
      [
        r.product,
        r.method,
        r.operator,
        r.notes,
        r.date,
        ...r.fieldIds.map((id) => db.fields.find((f) => f.id === id)?.name),
      ].join(' '),
    columns: nutrientColumns(app),
    emptyText: db.nutrients.length
      ? 'No record in this period matches.'
      : 'No fertiliser or manure recorded yet.',
  });
  const book = () => list.filtered().slice().reverse();
  const year = list.period().to.slice(0, 4);
  return {
    title: 'Fertiliser and manure',
    el: h(
      'div',
      { class: 'view' },
      viewHeading(
        'Fertiliser and manure',
        'What was spread on each field, and the nitrogen of the year beside the limits.',
      ),
      h(
        'div',
        { class: 'actions' },
        button('Record fertiliser or manure', () => nutrientForm(app), {
          kind: 'primary',
          attrs: { 'data-key': 'nu-add' },
        }),
        button('Nutrient book (CSV)', () => app.exportCsv(nutrientsCsv(db, book()), 'Nutrient book'), {
          attrs: { 'data-key': 'nu-csv' },
        }),
        link('#/fields', 'Fields and pens'),
      ),
      nitrogenCard(app, year),
      h(
        'section',
        { class: 'card', 'aria-labelledby': 'nu-book' },
        h('h2', { id: 'nu-book' }, 'Nutrient book'),
        list.toolbar,
        list.count,
        list.results,
      ),
    ),
    print: () => nutrientBook(db, book(), { printedOn: app.today(), ...list.period(), year }),
  };
}

// Open or closed to grazing now, in words.
export function grazingState(db, f, now) {
  const closed = closuresAt(db, f.id, now);
  return closed.length
    ? { open: false, text: `Closed to grazing: ${closed[0].spray.product}, ${reopenText(closed[0].opens)}` }
    : { open: true, text: 'Open to grazing' };
}

export function fieldPageView(app, id) {
  const { db, idx } = app;
  const f = db.fields.find((x) => x.id === id);
  if (!f)
    return {
      title: 'Field not found',
      el: h('div', { class: 'view' }, viewHeading('Field not found'), link('#/fields', 'Fields and pens')),
    };
  const now = app.now();
  const state = grazingState(db, f, now);
  const sprays = db.sprays.filter((s) => s.fieldIds.includes(f.id)).sort(byDateDesc);
  const spread = db.nutrients.filter((r) => r.fieldIds.includes(f.id)).sort(byDateDesc);
  const spells = grazingSpells(db, idx, f.id);
  const year = app.today().slice(0, 4);
  const n = nitrogenYear(db, year).fields.find((r) => r.field.id === f.id);
  const details = [
    ['Kind', FIELD_KIND_LABEL.get(f.kind)],
    ['Reference', f.reference],
    ['Area', f.area == null ? '' : `${kgf.format(f.area)} ha`],
    ['Land use', [LAND_USE_LABEL.get(f.landUse ?? ''), f.crop].filter(Boolean).join(': ')],
    ['Nitrate vulnerable zone', f.nvz ? 'Yes' : 'No'],
    ['Archived', f.archived],
    ['Notes', f.notes],
  ].filter(([, v]) => v);
  const table = (key, rows, columns, emptyText) =>
    pagedTable({
      key,
      rows,
      columns,
      emptyText,
      rowClass,
      state: app.vs(`${key}-${f.id}`, { page: 0, pageSize: 25 }),
      onChange: () => app.rerender(),
    });
  return {
    title: f.name,
    el: h(
      'div',
      { class: 'view' },
      viewHeading(f.name, f.archived ? `Archived ${f.archived}: its history is kept.` : ''),
      h(
        'p',
        { id: 'field-grazing' },
        h('span', { class: `badge ${state.open ? 'status-on-farm' : 'warn'}` }, state.text),
      ),
      h(
        'div',
        { class: 'actions' },
        button('Record spray', () => sprayForm(app, null, { fieldIds: [f.id] }), {
          kind: 'primary',
          attrs: { 'data-key': 'fd-spray' },
        }),
        button('Record fertiliser or manure', () => nutrientForm(app, null, { fieldIds: [f.id] }), {
          attrs: { 'data-key': 'fd-nutrient' },
        }),
        link('#/fields', 'Fields and pens'),
      ),
      h(
        'dl',
        { class: 'details' },
        details.map(([k, v]) => h('div', {}, h('dt', {}, k), h('dd', {}, v))),
      ),
      h(
        'p',
        {},
        `Nitrogen in ${year}: ${n ? `${kgf.format(n.totalPerHa)} kg N/ha in all, ${kgf.format(n.organicPerHa)} kg/ha from organic manures (limit ${FIELD_LIMIT})` : 'nothing spread'}.`,
      ),
      h('h2', {}, 'Sprayed'),
      table('fd-sp', sprays, sprayColumns(app, now), 'Nothing sprayed on this field.'),
      h('h2', {}, 'Fertiliser and manure'),
      table('fd-nu', spread, nutrientColumns(app), 'Nothing spread on this field.'),
      h('h2', {}, 'Grazed'),
      table(
        'fd-gr',
        spells,
        [
          { key: 'from', label: 'In', cell: (s) => s.from || 'first recorded here', className: 'date' },
          { key: 'to', label: 'Out', cell: (s) => s.to || 'still there', className: 'date' },
          { key: 'n', label: 'Number', className: 'num', cell: (s) => nf.format(s.animalIds.length) },
          { key: 'a', label: 'Animals', cell: (s) => animalLinks(idx, s.animalIds, 5) },
        ],
        'No animals recorded in this field.',
      ),
    ),
  };
}
