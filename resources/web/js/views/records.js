// The record books (treatments, weights, births, movements), fields and
// pens, and the data screen.

import { h, button, link, nf, kgf, dateInput } from '../ui/dom.js';
import { pagedTable, viewHeading, filterBox } from '../ui/ui.js';
import { spanInRange, bookRange } from '../core/ranges.js';
import {
  fold,
  animalLabel,
  DIRECTION_LABEL,
  OUTCOME_LABEL,
  FIELD_KIND_LABEL,
  SPECIES,
  GB_REGISTER_DAYS,
} from '../core/text.js';
import { fieldName, tagsOf } from '../core/lookups.js';
import { SCHEMA_VERSION, COLLECTIONS, inForce } from '../core/database.js';
import { isIsoDate, newestFirst } from '../core/dates.js';
import { lastGiven, courseState } from '../rules/withdrawal.js';
import { weightList, birthList, fieldList } from '../rules/lists.js';
import { readRegisterDays, saveFarmDetails } from '../rules/records.js';
import { animalsCsv, treatmentsCsv, movementsCsv, birthsCsv, weightsCsv } from '../rules/csv.js';
import { importSection } from './import.js';
import { medicineBook, movementBook, listDocument, matching } from '../output/print.js';
import { lotMovementLines } from '../rules/lots.js';
import { treatmentForm, weightForm, birthForm, movementForm, fieldForm, archive } from '../ui/forms.js';
import {
  animalHref,
  animalLink,
  animalLinks,
  untilText,
  showAnimals,
  fitCell,
  voidCell,
  rowClass,
} from './cells.js';
import { registerDatesOf } from '../rules/history.js';
import { fieldHref, grazingState } from './fieldwork.js';

const byDateDesc = (a, b) => (a.date < b.date ? 1 : a.date > b.date ? -1 : 0);

function animalsCell(idx, ids, target) {
  const out = animalLinks(idx, ids, 3);
  if (target) out.push(h('span', { class: 'muted' }, `${ids.length ? ' — ' : ''}${target}`));
  return out;
}

// A record list with a text filter and paging; `match(rec, foldedQuery)`
// decides what the filter finds, and `inView()`, when given, answers the test
// every record must pass first (made once for each filtering).
function recordList(app, { key, rows, match, columns, emptyText, extraFilters = [], inView }) {
  const st = app.vs(key, { query: '', page: 0, pageSize: 100 });
  const results = h('div', { class: 'results' });
  const count = h('p', { class: 'count', role: 'status' });
  const filtered = () => {
    const q = fold(st.query.trim());
    const base = inView ? rows.filter(inView()) : rows;
    return q ? base.filter((r) => match(r, q)) : base;
  };
  const update = () => {
    const list = filtered();
    count.textContent = `${nf.format(list.length)} record${list.length === 1 ? '' : 's'}`;
    results.replaceChildren(
      pagedTable({
        key,
        columns,
        rows: list,
        state: st,
        emptyText,
        rowClass,
        onChange: () => {
          const k = app.focusKey();
          update();
          app.refocus(k);
        },
      }),
    );
  };
  const input = filterBox({ id: `${key}-filter`, state: st, onChange: update });
  const toolbar = h(
    'div',
    { class: 'toolbar', role: 'group', 'aria-label': 'Filters' },
    h('div', { class: 'filter grow' }, h('label', { for: input.id }, 'Find in the list'), input),
    extraFilters,
  );
  update();
  return { toolbar, count, results, filtered, update, state: st };
}

const text = (...parts) => fold(parts.filter(Boolean).join(' '));

// ---------------------------------------------------------------- treatments

export function treatmentsView(app) {
  const { db, idx } = app;
  const today = app.today();
  const now = app.now();
  const opts = { farm: db.farm, today, purchases: db.purchases };
  const rows = app.sortedOnce('treatments', () => newestFirst(db.treatments));
  // Blank ends mean "a year back" and "today", worked out at every redraw.
  const range = app.vs('treatments-range', { from: null, to: '' });
  const period = () => bookRange(range, app.today());
  const withdrawals = app.withdrawals();
  const rangeInput = (id, label, prop) =>
    h(
      'div',
      { class: 'filter' },
      h('label', { for: id }, label),
      dateInput({
        id,
        value: period()[prop],
        'data-key': id,
        onchange: (ev) => {
          const v = ev.target.value.trim();
          if (v && !isIsoDate(v)) {
            ev.target.setAttribute('aria-invalid', 'true');
            return;
          }
          ev.target.removeAttribute('aria-invalid');
          range[prop] = prop === 'to' && v === app.today() ? '' : v;
          list.state.page = 0;
          list.update();
        },
      }),
    );

  const list = recordList(app, {
    key: 'tr',
    rows,
    inView: () => {
      const r = period();
      return (t) => spanInRange(t.date, lastGiven(t), r.from, r.to);
    },
    match: (t, q) =>
      text(
        t.product,
        t.batch,
        t.reason,
        t.givenBy,
        t.vet,
        t.dose,
        t.target,
        t.notes,
        tagsOf(idx, t.animalIds).join(' '),
      ).includes(q),
    extraFilters: [rangeInput('tr-from', 'From', 'from'), rangeInput('tr-to', 'To', 'to')],
    emptyText: db.treatments.length ? 'No treatment in this period matches.' : 'No treatments recorded yet.',
    columns: [
      {
        key: 'date',
        label: 'Given',
        cell: (t) => [
          lastGiven(t) === t.date ? t.date : `${t.date} to ${lastGiven(t)}`,
          courseState(t, today) ? h('span', { class: 'badge warn' }, ` ${courseState(t, today)}`) : null,
        ],
        className: 'date',
      },
      { key: 'animals', label: 'Animals', cell: (t) => animalsCell(idx, t.animalIds, t.target) },
      {
        key: 'product',
        label: 'Product',
        cell: (t) => [
          t.product,
          t.batch ? h('span', { class: 'muted' }, ` batch ${t.batch}`) : null,
          t.offLabel ? h('span', { class: 'muted' }, ' (cascade)') : null,
        ],
      },
      {
        key: 'dose',
        label: 'Quantity',
        cell: (t) => t.dose || h('span', { class: 'badge danger' }, 'incomplete: not recorded'),
      },
      {
        key: 'by',
        label: 'Administered by',
        cell: (t) => [t.givenBy, t.vet ? h('span', { class: 'muted' }, ` vet ${t.vet}`) : null],
      },
      { key: 'meat', label: 'Meat fit for food from', cell: (t) => fitCell(t, 'meat', opts, now) },
      { key: 'milk', label: 'Milk fit for food from', cell: (t) => fitCell(t, 'milk', opts, now) },
      {
        key: 'act',
        label: 'Actions',
        cell: (t) =>
          voidCell(app, 'treatments', t, `treatment of ${t.date} with ${t.product}`, `tr-${t.id}`, () =>
            treatmentForm(app, t),
          ),
      },
    ],
  });

  const wdState = app.vs('tr-wd', { page: 0, pageSize: 25, open: false });
  const el = h(
    'div',
    { class: 'view' },
    viewHeading(
      'Treatments',
      'The medicine book, with the date each animal’s meat and milk are fit for food again.',
    ),
    h(
      'div',
      { class: 'actions' },
      button('Record treatment', () => treatmentForm(app), {
        kind: 'primary',
        attrs: { 'data-key': 'tr-add' },
      }),
      button(
        'Export CSV',
        () => app.exportCsv(treatmentsCsv(list.filtered().slice().reverse(), idx, opts), 'Medicine book'),
        { attrs: { 'data-key': 'tr-csv' } },
      ),
    ),
    // Folded away when long, so that the book itself stays in reach.
    h(
      'details',
      {
        class: 'card',
        open: withdrawals.length <= 10 || wdState.open,
        ontoggle: (ev) => {
          wdState.open = ev.target.open;
        },
      },
      h('summary', {}, h('h2', { id: 'wd-now' }, `Under withdrawal now (${nf.format(withdrawals.length)})`)),
      pagedTable({
        key: 'wd',
        state: wdState,
        rows: withdrawals,
        onChange: () => app.rerender(),
        emptyText: 'No animal on the farm is under a meat or milk withdrawal.',
        columns: [
          { key: 'a', label: 'Animal', cell: (w) => link(animalHref(w.animal), animalLabel(w.animal)) },
          { key: 'p', label: 'Products', cell: (w) => w.products.join(', ') },
          {
            key: 'meat',
            label: 'Meat fit for food from',
            cell: (w) => (w.meatEnd ? `${w.meatEnd} (${untilText(today, w.meatEnd)})` : ''),
          },
          {
            key: 'milk',
            label: 'Milk fit for food from',
            cell: (w) => (w.milkEnd ? `${w.milkEnd} (${untilText(today, w.milkEnd)})` : ''),
          },
        ],
      }),
    ),
    h(
      'section',
      { class: 'card', 'aria-labelledby': 'tr-book' },
      h('h2', { id: 'tr-book' }, 'Medicine book'),
      list.toolbar,
      list.count,
      list.results,
    ),
  );
  return {
    title: 'Treatments',
    el,
    print: () =>
      medicineBook(db, idx, list.filtered().slice().reverse(), {
        printedOn: app.today(),
        ...period(),
        query: list.state.query.trim(),
      }),
  };
}

// ---------------------------------------------------------------- weights, births, movements

const csvButton = (app, key, make, what) =>
  button('Export CSV', () => app.exportCsv(make(), what), { attrs: { 'data-key': key } });

export function weightsView(app) {
  const { db, idx } = app;
  const rows = app.sortedOnce('weights', () => newestFirst(db.weights));
  const tagOf = (w) => idx.animalsById.get(w.animalId);
  const list = recordList(app, {
    key: 'wt',
    rows,
    match: (w, q) => text(animalLabel(tagOf(w)), w.date).includes(q),
    emptyText: db.weights.length ? 'No weight matches.' : 'No weights recorded yet.',
    columns: [
      { key: 'date', label: 'Date', cell: (w) => w.date, className: 'date' },
      { key: 'animal', label: 'Animal', cell: (w) => animalLink(idx, w.animalId) },
      { key: 'kg', label: 'Weight (kg)', cell: (w) => kgf.format(w.kg), className: 'num' },
      {
        key: 'act',
        label: 'Actions',
        cell: (w) =>
          voidCell(app, 'weights', w, `weight of ${w.date}`, `wt-${w.id}`, () => weightForm(app, w)),
      },
    ],
  });
  return {
    title: 'Weights',
    el: h(
      'div',
      { class: 'view' },
      viewHeading('Weights', 'Each animal’s chart is on its record card.'),
      h(
        'div',
        { class: 'actions' },
        button('Record weight', () => weightForm(app), { kind: 'primary', attrs: { 'data-key': 'wt-add' } }),
        csvButton(app, 'wt-csv', () => weightsCsv(list.filtered(), idx), 'Weights'),
      ),
      list.toolbar,
      list.count,
      list.results,
    ),
    print: () =>
      listDocument(db, {
        title: 'Weights',
        printedOn: app.today(),
        ...weightList(list.filtered(), idx),
      }),
  };
}

export function birthsView(app) {
  const { db, idx } = app;
  const rows = app.sortedOnce('births', () => newestFirst(db.births));
  const list = recordList(app, {
    key: 'bi',
    rows,
    match: (b, q) =>
      text(
        animalLabel(idx.animalsById.get(b.damId)),
        b.sire,
        b.notes,
        tagsOf(idx, b.offspringIds).join(' '),
        b.date,
      ).includes(q),
    emptyText: db.births.length ? 'No birth matches.' : 'No births recorded yet.',
    columns: [
      { key: 'date', label: 'Date', cell: (b) => b.date, className: 'date' },
      { key: 'dam', label: 'Dam', cell: (b) => (b.damId ? animalLink(idx, b.damId) : '') },
      { key: 'sire', label: 'Sire', cell: (b) => b.sire },
      {
        key: 'young',
        label: 'Young',
        cell: (b) =>
          b.offspringIds.length
            ? animalsCell(idx, b.offspringIds, '')
            : h('span', { class: 'muted' }, 'none'),
      },
      { key: 'notes', label: 'Notes', cell: (b) => b.notes },
      {
        key: 'act',
        label: 'Actions',
        cell: (b) => voidCell(app, 'births', b, `birth of ${b.date}`, `bi-${b.id}`, () => birthForm(app, b)),
      },
    ],
  });
  return {
    title: 'Births',
    el: h(
      'div',
      { class: 'view' },
      viewHeading('Births', 'New young are added to the herd when a birth is recorded.'),
      h(
        'div',
        { class: 'actions' },
        button('Record birth', () => birthForm(app), { kind: 'primary', attrs: { 'data-key': 'bi-add' } }),
        csvButton(app, 'bi-csv', () => birthsCsv(list.filtered(), idx), 'Births'),
      ),
      list.toolbar,
      list.count,
      list.results,
    ),
    print: () =>
      listDocument(db, {
        title: 'Births',
        printedOn: app.today(),
        ...birthList(list.filtered(), idx),
      }),
  };
}

export function movementsView(app) {
  const { db, idx } = app;
  const rows = app.sortedOnce('movements', () =>
    db.movements
      .map((m, i) => [m, i])
      .sort((x, y) => byDateDesc(x[0], y[0]) || y[1] - x[1])
      .map(([m]) => m),
  );
  const where = (m) => [m.to, m.toHolding, fieldName(idx, m.fieldId)].filter(Boolean).join(', ');
  const list = recordList(app, {
    key: 'mv',
    rows,
    match: (m, q) =>
      text(
        DIRECTION_LABEL.get(m.direction),
        OUTCOME_LABEL.get(m.outcome),
        m.from,
        m.fromHolding,
        where(m),
        m.documentRef,
        m.cause,
        m.reason,
        m.notes,
        m.date,
        tagsOf(idx, m.animalIds).join(' '),
      ).includes(q),
    emptyText: db.movements.length ? 'No movement matches.' : 'No movements recorded yet.',
    columns: [
      { key: 'date', label: 'Date', cell: (m) => m.date, className: 'date' },
      {
        key: 'dir',
        label: 'Movement',
        cell: (m) =>
          h(
            'span',
            { class: `badge move-${m.direction}` },
            [DIRECTION_LABEL.get(m.direction), OUTCOME_LABEL.get(m.outcome)].filter(Boolean).join(': '),
          ),
      },
      { key: 'animals', label: 'Animals', cell: (m) => animalsCell(idx, m.animalIds, '') },
      { key: 'from', label: 'From', cell: (m) => [m.from, m.fromHolding].filter(Boolean).join(', ') },
      { key: 'to', label: 'To', cell: where },
      { key: 'doc', label: 'Document', cell: (m) => m.documentRef },
      {
        key: 'reason',
        label: 'Reason',
        cell: (m) => [m.cause && `Cause of death: ${m.cause}`, m.reason].filter(Boolean).join('. '),
      },
      {
        key: 'act',
        label: 'Actions',
        cell: (m) =>
          voidCell(app, 'movements', m, `movement of ${m.date}`, `mv-${m.id}`, () => movementForm(app, m)),
      },
    ],
  });
  return {
    title: 'Movements',
    el: h(
      'div',
      { class: 'view' },
      viewHeading('Movements', 'Where each animal is follows from these records: the latest date counts.'),
      h(
        'div',
        { class: 'actions' },
        button('Record movement', () => movementForm(app), {
          kind: 'primary',
          attrs: { 'data-key': 'mv-add' },
        }),
        csvButton(app, 'mv-csv', () => movementsCsv(list.filtered().slice().reverse(), idx), 'Movement book'),
      ),
      list.toolbar,
      list.count,
      list.results,
    ),
    print: () =>
      movementBook(db, idx, list.filtered().slice().reverse(), {
        printedOn: app.today(),
        subtitle: matching('All movements', list.state.query.trim()),
        // Batch-tagged lots have no tags to find; a search leaves them out.
        lots: list.state.query.trim() ? [] : lotMovementLines(db, '', '9999-12-31'),
      }),
  };
}

// ---------------------------------------------------------------- fields and pens

// A field with animals in it cannot be archived: they would be nowhere.
function archiveButton(app, f, animalsIn) {
  const label = f.archived ? 'Use again' : 'Archive';
  const blocked = !f.archived && animalsIn > 0;
  return button(label, () => archive(app, f), {
    kind: 'small',
    attrs: {
      'aria-label': `${label} ${f.name}`,
      'data-key': `fp-${f.id}-archive`,
      disabled: blocked,
      title: blocked ? 'Move its animals out first.' : null,
    },
  });
}

export function fieldsView(app) {
  const { db, idx } = app;
  const rows = db.fields
    .slice()
    .sort(
      (a, b) => !!a.archived - !!b.archived || a.name.localeCompare(b.name, undefined, { numeric: true }),
    );
  const count = (f) => idx.animalsInField.get(f.id) || 0;
  const now = app.now();
  const list = recordList(app, {
    key: 'fp',
    rows,
    match: (f, q) => text(f.name, f.notes, FIELD_KIND_LABEL.get(f.kind)).includes(q),
    emptyText: db.fields.length
      ? 'No field or pen matches.'
      : 'No fields or pens yet. Add the places where your animals are kept.',
    columns: [
      {
        key: 'name',
        label: 'Name',
        cell: (f) => [
          h('strong', {}, link(fieldHref(f), f.name)),
          f.archived ? h('span', { class: 'muted' }, ` (archived ${f.archived})`) : null,
        ],
      },
      { key: 'kind', label: 'Kind', cell: (f) => FIELD_KIND_LABEL.get(f.kind) },
      {
        key: 'area',
        label: 'Area (ha)',
        cell: (f) => (f.area == null ? '' : kgf.format(f.area)),
        className: 'num',
      },
      {
        key: 'animals',
        label: 'Animals there',
        className: 'num',
        cell: (f) =>
          count(f)
            ? h(
                'a',
                {
                  href: '#/animals',
                  onclick: (ev) => {
                    ev.preventDefault();
                    showAnimals(app, { fieldId: f.id, status: 'on-farm' });
                  },
                },
                nf.format(count(f)),
              )
            : '0',
      },
      {
        key: 'grazing',
        label: 'Grazing',
        cell: (f) => {
          const g = f.kind === 'field' && grazingState(db, f, now);
          return g && !g.open ? h('span', { class: 'badge warn' }, g.text) : '';
        },
      },
      { key: 'notes', label: 'Notes', cell: (f) => f.notes },
      {
        key: 'act',
        label: 'Actions',
        cell: (f) =>
          h(
            'span',
            { class: 'row-actions' },
            button('Edit', () => fieldForm(app, f), {
              kind: 'small',
              attrs: { 'aria-label': `Edit ${f.name}`, 'data-key': `fp-${f.id}-edit` },
            }),
            archiveButton(app, f, count(f)),
          ),
      },
    ],
  });
  return {
    title: 'Fields and pens',
    el: h(
      'div',
      { class: 'view' },
      viewHeading('Fields and pens', 'A field no longer used is archived: past movements still name it.'),
      h(
        'div',
        { class: 'actions' },
        button('Add field or pen', () => fieldForm(app), {
          kind: 'primary',
          attrs: { 'data-key': 'fp-add' },
        }),
        link('#/sprays', 'Spray records'),
        link('#/nutrients', 'Fertiliser and manure'),
      ),
      list.toolbar,
      list.count,
      list.results,
    ),
    print: () =>
      listDocument(db, {
        title: 'Fields and pens',
        printedOn: app.today(),
        ...fieldList(list.filtered(), count),
      }),
  };
}

// ---------------------------------------------------------------- data

export function dataView(app) {
  const { db, idx } = app;
  const farmName = h('input', { id: 'farm-name', value: db.farm.name, autocomplete: 'organization' });
  const holding = h('input', { id: 'farm-holding', value: db.farm.holding, spellcheck: 'false' });
  // Kept under the farm by earlier versions' users as free text; the pack's cover prints it.
  const address = h('textarea', { id: 'farm-address', rows: 2, autocomplete: 'street-address' });
  address.value = typeof db.farm.address === 'string' ? db.farm.address : '';
  const importStatus = h('div', { id: 'import-status', role: 'status' });
  const fileInput = h('input', {
    id: 'import-file',
    type: 'file',
    accept: '.json,application/json',
    'aria-describedby': 'import-help',
    onchange: async (ev) => {
      const file = ev.target.files[0];
      ev.target.value = '';
      if (file) await app.importBackup(file, importStatus);
    },
  });
  const words = (c) => c.replace(/[A-Z]/g, (m) => ` ${m.toLowerCase()}`);
  const counts = COLLECTIONS.map((c) => `${nf.format(db[c].filter(inForce).length)} ${words(c)}`).join(', ');
  const organic = h('input', { id: 'farm-organic', type: 'checkbox', checked: !!db.farm.organic });
  const organicSince = dateInput({ id: 'farm-organic-since', value: db.farm.organicSince || '' });
  const sorted = (c) =>
    db[c]
      .map((r, i) => [r, i])
      .sort((x, y) => (x[0].date < y[0].date ? -1 : x[0].date > y[0].date ? 1 : x[1] - y[1]))
      .map(([r]) => r);
  const el = h(
    'div',
    { class: 'view' },
    viewHeading('Data and backups', 'Your records stay on this computer.'),
    h(
      'section',
      { class: 'card', 'aria-labelledby': 'farm-title' },
      h('h2', { id: 'farm-title' }, 'Farm'),
      h(
        'form',
        {
          class: 'form-grid',
          onsubmit: (ev) => {
            ev.preventDefault();
            const registerDays = registerDaysOf(ev.target);
            if (!registerDays) {
              app.toast('Days to register a birth: enter a number of days, or leave it blank.');
              return;
            }
            const since = organicSince.value.trim();
            if (since && !isIsoDate(since)) {
              app.toast('Organic since: use the form yyyy-mm-dd, or leave it blank.');
              return;
            }
            const details = {
              name: farmName.value,
              holding: holding.value,
              address: address.value,
              organic: organic.checked,
              organicSince: since,
            };
            app.commit((d) => saveFarmDetails(d, { ...details, registerDays }), 'Farm details saved.');
          },
        },
        h('div', { class: 'form-field' }, h('label', { for: 'farm-name' }, 'Farm name'), farmName),
        h('div', { class: 'form-field' }, h('label', { for: 'farm-holding' }, 'Holding number'), holding),
        h(
          'div',
          { class: 'form-field wide' },
          h('label', { for: 'farm-address' }, 'Address of the holding'),
          address,
        ),
        h(
          'div',
          { class: 'form-field wide check' },
          h(
            'span',
            { class: 'check-row' },
            organic,
            h(
              'label',
              { for: 'farm-organic' },
              'Organic farm: every withdrawal period is doubled, and is 48 hours at least',
            ),
          ),
        ),
        h(
          'div',
          { class: 'form-field' },
          h('label', { for: 'farm-organic-since' }, 'Organic since'),
          organicSince,
          h('p', { class: 'hint' }, 'Treatments keep the status they were recorded under.'),
        ),
        registerDaysFields(db),
        h(
          'div',
          { class: 'form-field wide' },
          h('button', { type: 'submit', class: 'btn primary', 'data-key': 'farm-save' }, 'Save farm details'),
        ),
      ),
      h('p', { class: 'muted' }, 'Shown at the top of every printed page.'),
    ),
    h(
      'section',
      { class: 'card', 'aria-labelledby': 'store-title' },
      h('h2', { id: 'store-title' }, 'Where the records are kept'),
      h('p', {}, app.bridge.inShell ? 'In the file ' : 'In ', h('code', {}, app.dataPath || '…'), '.'),
      h('p', { class: 'muted' }, `${counts}. Schema version ${SCHEMA_VERSION}.`),
      app.bridge.inShell
        ? button('Show the data folder', () => app.bridge.reveal(), { attrs: { 'data-key': 'reveal' } })
        : null,
    ),
    h(
      'section',
      { class: 'card', 'aria-labelledby': 'backup-title' },
      h('h2', { id: 'backup-title' }, 'Back up and restore'),
      h('p', {}, 'A backup is one file holding all the records. Keep copies away from this computer.'),
      h(
        'div',
        { class: 'row' },
        button('Back up now…', () => app.backUp(), { kind: 'primary', attrs: { 'data-key': 'backup-now' } }),
      ),
      h(
        'div',
        { class: 'import' },
        h('label', { for: 'import-file' }, 'Restore from a backup file'),
        fileInput,
        h(
          'p',
          { class: 'hint', id: 'import-help' },
          'The file is checked before anything is replaced, and a safety copy of the current records is kept first.',
        ),
        importStatus,
      ),
    ),
    importSection(app),
    h(
      'section',
      { class: 'card', 'aria-labelledby': 'export-title' },
      h('h2', { id: 'export-title' }, 'Export for a spreadsheet'),
      h(
        'div',
        { class: 'row' },
        button(
          'Herd register (CSV)…',
          () => app.exportCsv(animalsCsv(db.animals, idx, registerDatesOf(app.db, app.idx)), 'Herd register'),
          { attrs: { 'data-key': 'exp-animals' } },
        ),
        button(
          'Medicine book (CSV)…',
          () =>
            app.exportCsv(
              treatmentsCsv(sorted('treatments'), idx, {
                farm: db.farm,
                today: app.today(),
                purchases: db.purchases,
              }),
              'Medicine book',
            ),
          { attrs: { 'data-key': 'exp-treatments' } },
        ),
        button(
          'Movement book (CSV)…',
          () => app.exportCsv(movementsCsv(sorted('movements'), idx), 'Movement book'),
          { attrs: { 'data-key': 'exp-movements' } },
        ),
        button('Births (CSV)…', () => app.exportCsv(birthsCsv(sorted('births'), idx), 'Births'), {
          attrs: { 'data-key': 'exp-births' },
        }),
        button('Weights (CSV)…', () => app.exportCsv(weightsCsv(sorted('weights'), idx), 'Weights'), {
          attrs: { 'data-key': 'exp-weights' },
        }),
      ),
      h('p', { class: 'muted' }, 'Every record is exported, voided ones marked VOID.'),
    ),
  );
  return { title: 'Data and backups', el, print: null };
}

// Days after a birth within which the young must be registered, per species;
// blank means the overview does not track that species.
function registerDaysFields(db) {
  const days = db.farm.registerDays || {};
  const inputs = SPECIES.map((sp, i) =>
    h('input', {
      id: `reg-days-${i}`,
      'data-species': sp,
      inputmode: 'numeric',
      value: Number.isInteger(days[sp]) ? String(days[sp]) : '',
    }),
  );
  // Only fills what is blank: a farm's own shorter deadline stays.
  const fillIn = () => {
    for (const el of inputs)
      if (!el.value.trim() && GB_REGISTER_DAYS[el.dataset.species])
        el.value = String(GB_REGISTER_DAYS[el.dataset.species]);
  };
  return h(
    'details',
    { class: 'form-field wide' },
    h('summary', {}, 'Days to register a birth, per species (shown on the overview)'),
    h(
      'p',
      { class: 'muted' },
      'In Great Britain a calf is registered with BCMS by 27 days old; lambs and kids are tagged within 6 months if housed overnight, 9 months if not. Blank: not tracked.',
    ),
    button('Fill in the deadlines for Great Britain', fillIn, {
      kind: 'small',
      attrs: { 'data-key': 'reg-days-gb' },
    }),
    h(
      'div',
      { class: 'form-grid' },
      inputs.map((input, i) =>
        h('div', { class: 'form-field' }, h('label', { for: `reg-days-${i}` }, SPECIES[i]), input),
      ),
    ),
  );
}

// Null, with the refused box shown and focused, when one is refused.
function registerDaysOf(form) {
  const inputs = [...form.querySelectorAll('[data-species]')];
  const res = readRegisterDays(inputs.map((el) => [el.dataset.species, el.value]));
  for (const el of inputs) {
    if (!res.ok && el.dataset.species === res.species) {
      el.setAttribute('aria-invalid', 'true');
      el.closest('details').open = true;
      el.focus();
      return null;
    }
    el.removeAttribute('aria-invalid');
  }
  return res.value;
}

// ---------------------------------------------------------------- records that cannot be opened

export function lockedView(app, problem) {
  const titles = {
    newer: 'These records need a newer Field Keeper',
    damaged: 'The saved records cannot be read',
    stale: 'Please restart Field Keeper',
    failed: 'Field Keeper could not start',
  };
  const el = h(
    'div',
    { class: 'view locked' },
    viewHeading(titles[problem.reason]),
    h(
      'div',
      { class: 'notice error', role: 'alert' },
      h('p', {}, problem.message),
      h(
        'p',
        {},
        'Field Keeper has not changed the saved file and will not save anything while this message is shown.',
      ),
    ),
    problem.raw
      ? h(
          'section',
          { class: 'card' },
          h('h2', {}, 'Keep a copy'),
          h(
            'p',
            {},
            'Save the records exactly as they are, so that nothing is lost while the problem is sorted out.',
          ),
          h(
            'div',
            { class: 'row' },
            button('Save a copy of the raw records…', () => app.exportRaw(), {
              kind: 'primary',
              attrs: { 'data-key': 'raw-export' },
            }),
            app.bridge.inShell ? button('Show the data folder', () => app.bridge.reveal()) : null,
          ),
        )
      : null,
  );
  return { title: titles[problem.reason], el, print: null };
}
