// Breeding: who is due to give birth and when, the services and scans it
// follows from, the season's figures, and a female's history on her card.

import { h, button, nf, field, formValues, showErrors } from '../ui/dom.js';
import { pagedTable, viewHeading, filterBox, openDialog } from '../ui/ui.js';
import { fold, animalLabel } from '../core/text.js';
import { inForce } from '../core/database.js';
import { addDays, newestFirst } from '../core/dates.js';
import { tagsOf } from '../core/lookups.js';
import { listDocument } from '../output/print.js';
import { planMovesBeforeDue } from '../rules/jobs.js';
import {
  METHOD_LABEL,
  dueWithin,
  dueWeek,
  dueListRows,
  scanLabel,
  sireText,
  seasonReport,
  calvingIntervals,
  breedingHistory,
  raddlePeriods,
  cycleOf,
} from '../rules/breeding.js';
import { birthForm } from '../ui/forms.js';
import { serviceForm, marksForm, scanForm, gestationForm } from '../ui/breeding-forms.js';
import { animalLink, animalLinks, voidCell, rowClass } from './cells.js';

const SHOW = [
  ['1', 'Due this week'],
  ['3', 'Due in the next 3 weeks'],
  ['overdue', 'Overdue'],
  ['all', 'Everyone due'],
];
const SCANNED = [
  ['', 'Any scan result'],
  ['1', 'Singles'],
  ['2', 'Twins'],
  ['3', 'Triplets or more'],
  ['none', 'Not scanned'],
];

function select(id, st, key, options, onChange) {
  return h(
    'select',
    {
      id,
      'data-key': id,
      onchange: (ev) => {
        st[key] = ev.target.value;
        st.page = 0;
        onChange();
      },
    },
    options.map(([v, l]) => h('option', { value: v, selected: v === st[key] }, l)),
  );
}

const labelled = (id, label, control, grow = false) =>
  h('div', { class: `filter${grow ? ' grow' : ''}` }, h('label', { for: id }, label), control);

// The due list as shown: the chosen weeks and scan result.
export function dueRows(app, st) {
  const today = app.today();
  const all = app.dueList();
  const inWeeks =
    st.show === 'all'
      ? all
      : st.show === 'overdue'
        ? all.filter((e) => e.overdue)
        : dueWithin(all, today, +st.show);
  const q = fold(st.query.trim());
  return inWeeks.filter((e) => {
    if (
      st.scanned === 'none'
        ? e.scanned !== null
        : st.scanned && String(Math.min(e.scanned ?? -1, 3)) !== st.scanned
    )
      return false;
    if (!q) return true;
    const a = app.idx.animalsById.get(e.animalId);
    return fold(
      [animalLabel(a), sireText(app.idx, e.service), e.colour, e.service.target].join(' '),
    ).includes(q);
  });
}

function dueSection(app) {
  const { idx } = app;
  const today = app.today();
  const st = app.vs('due', { query: '', show: '3', scanned: '', page: 0, pageSize: 100 });
  const results = h('div', { class: 'results' });
  const count = h('p', { class: 'count', role: 'status' });
  const update = () => {
    const rows = dueRows(app, st);
    const twins = rows.filter((e) => e.scanned >= 2).length;
    count.textContent = `${nf.format(rows.length)} due${twins ? `, ${nf.format(twins)} carrying more than one` : ''}`;
    results.replaceChildren(
      pagedTable({
        key: 'due',
        state: st,
        rows,
        rowClass: (e) => (e.overdue ? 'overdue' : null),
        onChange: () => {
          const k = app.focusKey();
          update();
          app.refocus(k);
        },
        emptyText: 'No one is due in this time.',
        columns: [
          { key: 'week', label: 'Week of', cell: (e) => dueWeek(e, today), className: 'date' },
          {
            key: 'due',
            label: 'Due',
            cell: (e) => [
              e.dueFrom === e.dueTo ? e.dueFrom : `${e.dueFrom} to ${e.dueTo}`,
              e.overdue ? [' ', h('span', { class: 'badge danger' }, 'overdue')] : null,
            ],
          },
          { key: 'female', label: 'Female', cell: (e) => animalLink(idx, e.animalId) },
          { key: 'sire', label: 'Sire', cell: (e) => sireText(idx, e.service) },
          { key: 'mark', label: 'Mark', cell: (e) => e.colour },
          {
            key: 'scan',
            label: 'Scanned',
            cell: (e) => {
              const t = scanLabel(e.scanned, idx.animalsById.get(e.animalId)?.species);
              return e.scanned >= 2 ? h('span', { class: 'badge info' }, t) : t;
            },
          },
          {
            key: 'act',
            label: 'Actions',
            cell: (e) =>
              button(
                'Record birth',
                () =>
                  birthForm(app, null, {
                    damTag: idx.animalsById.get(e.animalId)?.tag ?? '',
                    sire: sireText(idx, e.service),
                    serviceId: e.serviceId,
                    date: today,
                  }),
                { kind: 'small', attrs: { 'data-key': `due-${e.animalId}-birth` } },
              ),
          },
        ],
      }),
    );
  };
  const find = filterBox({ id: 'due-filter', state: st, onChange: update });
  update();
  return {
    rows: () => dueRows(app, st),
    el: h(
      'section',
      { class: 'card', 'aria-labelledby': 'due-title' },
      h('h2', { id: 'due-title' }, 'Due to give birth'),
      h(
        'div',
        { class: 'toolbar', role: 'group', 'aria-label': 'Filters' },
        labelled('due-show', 'Show', select('due-show', st, 'show', SHOW, update)),
        labelled('due-scanned', 'Scan result', select('due-scanned', st, 'scanned', SCANNED, update)),
        labelled('due-filter', 'Find in the list', find, true),
      ),
      count,
      results,
    ),
  };
}

function raddleText(s, today) {
  return raddlePeriods(s, today)
    .map((p) => `${p.colour} from ${p.from}`)
    .join(', ');
}

function servicesSection(app) {
  const { db, idx } = app;
  const today = app.today();
  const st = app.vs('services', { query: '', page: 0, pageSize: 25 });
  const all = app.sortedOnce('services', () => newestFirst(db.services));
  const results = h('div', { class: 'results' });
  const update = () => {
    const q = fold(st.query.trim());
    const rows = q
      ? all.filter((s) =>
          fold(
            [s.date, sireText(idx, s), s.target, s.servedBy, s.notes, METHOD_LABEL.get(s.method)].join(' '),
          ).includes(q),
        )
      : all;
    results.replaceChildren(
      pagedTable({
        key: 'sv',
        state: st,
        rows,
        rowClass,
        onChange: () => {
          const k = app.focusKey();
          update();
          app.refocus(k);
        },
        emptyText: db.services.length ? 'No service matches.' : 'No services recorded yet.',
        columns: [
          {
            key: 'date',
            label: 'Served',
            className: 'date',
            cell: (s) =>
              s.method === 'natural' && s.ramOut !== s.date
                ? `${s.date} to ${s.ramOut || 'still in'}`
                : s.date,
          },
          { key: 'method', label: 'Method', cell: (s) => METHOD_LABEL.get(s.method) },
          { key: 'sire', label: 'Sire', cell: (s) => sireText(idx, s) },
          {
            key: 'females',
            label: 'Females',
            cell: (s) => [
              s.target ? `${s.target}: ` : '',
              `${nf.format(s.femaleIds.length)} (`,
              animalLinks(idx, s.femaleIds, 3),
              ')',
            ],
          },
          {
            key: 'raddle',
            label: 'Raddle',
            cell: (s) => {
              const n = new Set((s.marks || []).map((m) => m.animalId)).size;
              return [
                raddleText(s, today),
                n ? h('span', { class: 'muted' }, `; ${nf.format(n)} marked`) : null,
              ];
            },
          },
          {
            key: 'act',
            label: 'Actions',
            cell: (s) => [
              voidCell(app, 'services', s, `service of ${s.date}`, `sv-${s.id}`, () => serviceForm(app, s)),
              inForce(s)
                ? button('Scan', () => scanForm(app, s), {
                    kind: 'small',
                    attrs: { 'data-key': `sv-${s.id}-scan` },
                  })
                : null,
              inForce(s) && s.raddles?.length
                ? button('Marks', () => marksForm(app, s), {
                    kind: 'small',
                    attrs: { 'data-key': `sv-${s.id}-marks` },
                  })
                : null,
            ],
          },
        ],
      }),
    );
  };
  const find = filterBox({ id: 'sv-filter', state: st, onChange: update });
  update();
  return h(
    'section',
    { class: 'card', 'aria-labelledby': 'sv-title' },
    h('h2', { id: 'sv-title' }, 'Services'),
    h('div', { class: 'toolbar' }, labelled('sv-filter', 'Find a service', find, true)),
    results,
  );
}

function scanSummary(sc) {
  const counts = new Map();
  for (const r of sc.results)
    counts.set(Math.min(r.foetuses, 3), (counts.get(Math.min(r.foetuses, 3)) || 0) + 1);
  return [0, 1, 2, 3]
    .filter((k) => counts.get(k))
    .map((k) => `${counts.get(k)} ${scanLabel(k)}`)
    .join(', ');
}

function scansSection(app) {
  const { db } = app;
  const st = app.vs('scans', { page: 0, pageSize: 25 });
  const services = new Map(db.services.map((s) => [s.id, s]));
  const rows = app.sortedOnce('scans', () => newestFirst(db.scans));
  const draw = () =>
    pagedTable({
      key: 'sc',
      state: st,
      rows,
      rowClass,
      onChange: () => app.rerender(),
      emptyText: 'No scans recorded yet.',
      columns: [
        { key: 'date', label: 'Scanned', className: 'date', cell: (sc) => sc.date },
        {
          key: 'service',
          label: 'Service',
          cell: (sc) => {
            const s = services.get(sc.serviceId);
            return s ? `${s.date}, ${sireText(app.idx, s)}` : '';
          },
        },
        { key: 'n', label: 'Females', className: 'num', cell: (sc) => nf.format(sc.results.length) },
        { key: 'found', label: 'Found', cell: scanSummary },
        { key: 'by', label: 'Scanned by', cell: (sc) => sc.scannedBy },
        {
          key: 'act',
          label: 'Actions',
          cell: (sc) => {
            const s = services.get(sc.serviceId);
            return voidCell(
              app,
              'scans',
              sc,
              `scan of ${sc.date}`,
              `sc-${sc.id}`,
              s ? () => scanForm(app, s, sc) : null,
            );
          },
        },
      ],
    });
  return h(
    'section',
    { class: 'card', 'aria-labelledby': 'sc-title' },
    h('h2', { id: 'sc-title' }, 'Scans'),
    draw(),
  );
}

const BARREN_SHOWN = 100;
const pctText = (p) => (p === null ? '–' : `${nf.format(p)} %`);

// The season's figures for the dates chosen, once per change; made ahead
// after a change too (app.js), so that opening the screen finds them.
const seasonDates = (app) => {
  const today = app.today();
  return app.vs('season', { from: addDays(today, -365), to: today, rearedOn: today });
};
export function seasonFigures(app) {
  const today = app.today();
  const st = seasonDates(app);
  return {
    r: app.sortedOnce(`season ${st.from} ${st.to} ${st.rearedOn} ${today}`, () =>
      seasonReport(app.db, app.idx, { ...st, today }),
    ),
    cows: app.sortedOnce('calving intervals', () => calvingIntervals(app.db, app.idx)),
  };
}

function seasonSection(app) {
  const st = seasonDates(app);
  const body = h('div', {});
  const update = () => {
    const { r, cows } = seasonFigures(app);
    // A large flock's barren list is long: the first of it, and the rest on asking.
    const barren = st.allBarren ? r.barren : r.barren.slice(0, BARREN_SHOWN);
    const line = (label, value) =>
      h('tr', {}, h('th', { scope: 'row' }, label), h('td', { class: 'num' }, value));
    body.replaceChildren(
      h(
        'table',
        { class: 'figures' },
        h(
          'tbody',
          {},
          line('Females put to the male', nf.format(r.putToMale)),
          line('Females scanned', nf.format(r.scanned)),
          line('Scanning percentage (foetuses per female scanned)', pctText(r.scanningPct)),
          line('Young born alive', nf.format(r.bornAlive)),
          line('Born alive per female put to the male', pctText(r.bornAlivePct)),
          line(`Reared to ${st.rearedOn}`, nf.format(r.reared)),
          line('Reared per female put to the male', pctText(r.rearedPct)),
        ),
      ),
      h('h3', {}, `Barren (${nf.format(r.barren.length)})`),
      r.barren.length
        ? h(
            'ul',
            { class: 'plain-list' },
            barren.map((b) => h('li', {}, animalLink(app.idx, b.animalId), ` ${b.why}`)),
          )
        : h('p', { class: 'empty' }, 'None.'),
      barren.length < r.barren.length
        ? button(
            `Show all ${nf.format(r.barren.length)}`,
            () => {
              st.allBarren = true;
              update();
            },
            { kind: 'small', attrs: { 'data-key': 'season-barren-all' } },
          )
        : null,
      h('h3', {}, 'Calving interval'),
      cows.length
        ? h(
            'ul',
            { class: 'plain-list' },
            cows.map((c) =>
              h(
                'li',
                {},
                animalLink(app.idx, c.animalId),
                ` ${nf.format(c.mean)} days on average (${c.days.map((d) => nf.format(d)).join(', ')}), last calved ${c.last}`,
              ),
            ),
          )
        : h('p', { class: 'empty' }, 'No cow has calved twice yet.'),
    );
  };
  const dateBox = (key, label) => {
    const id = `season-${key}`;
    return labelled(
      id,
      label,
      h('input', {
        id,
        'data-key': id,
        class: 'date-input',
        value: st[key],
        placeholder: 'yyyy-mm-dd',
        onchange: (ev) => {
          if (/^\d{4}-\d{2}-\d{2}$/.test(ev.target.value)) {
            st[key] = ev.target.value;
            update();
          }
        },
      }),
    );
  };
  // Worked out once the due list has been painted: on a large farm the
  // figures go through every service, scan and young of the season. A timer
  // alone may run before the paint, making one long wait of the two.
  body.append(h('p', { class: 'muted' }, 'Working out the figures…'));
  requestAnimationFrame(() => setTimeout(() => body.isConnected && update(), 0));
  return h(
    'section',
    { class: 'card', 'aria-labelledby': 'season-title' },
    h('h2', { id: 'season-title' }, 'The season’s figures'),
    h(
      'div',
      { class: 'toolbar' },
      dateBox('from', 'Services from'),
      dateBox('to', 'to'),
      dateBox('rearedOn', 'Reared to'),
    ),
    body,
  );
}

export function breedingView(app) {
  const due = dueSection(app);
  const el = h(
    'div',
    { class: 'view' },
    viewHeading(
      'Breeding',
      'Services, scans and who is due to give birth, from the gestation of each species.',
    ),
    h(
      'div',
      { class: 'actions' },
      button('Record service', () => serviceForm(app), { kind: 'primary', attrs: { 'data-key': 'br-add' } }),
      button('Gestation lengths', () => gestationForm(app), { attrs: { 'data-key': 'br-gestation' } }),
      button('Plan the move to lambing…', () => movesForm(app, due.rows()), {
        attrs: { 'data-key': 'br-plan-move' },
      }),
    ),
    due.el,
    servicesSection(app),
    scansSection(app),
    seasonSection(app),
  );
  return {
    title: 'Breeding',
    el,
    print: () => {
      const st = app.vs('due', {});
      const show = new Map(SHOW).get(st.show) ?? 'Due';
      const list = dueListRows(due.rows(), app.idx, app.db.farm);
      return listDocument(app.db, {
        title: `${show}, printed ${app.today()}`,
        printedOn: app.today(),
        ...list,
        empty: 'No one is due in this time.',
      });
    },
  };
}

// A female's services, scans and births on her record card.
export function breedingCard(app, a) {
  const today = app.today();
  const history = breedingHistory(app.db, app.idx, a.id, today);
  if (!history.length) return null;
  const { idx } = app;
  return h(
    'section',
    { class: 'card', 'aria-labelledby': 'breed-title' },
    h('h2', { id: 'breed-title' }, 'Breeding'),
    h(
      'ul',
      { class: 'plain-list events' },
      history.map((x) => {
        const s = x.service;
        const sp = a.species;
        return h(
          'li',
          { class: rowClass(s) },
          h('span', { class: 'date' }, s.date),
          ` ${METHOD_LABEL.get(s.method)} by ${sireText(idx, s) || 'sire not recorded'}`,
          x.due
            ? `; ${x.due.colour ? `marked ${x.due.colour}, ` : ''}due ${x.due.dueFrom === x.due.dueTo ? x.due.dueFrom : `${x.due.dueFrom} to ${x.due.dueTo}`}`
            : '',
          s.method !== 'natural' && !x.birth && !x.scan
            ? `; watch for a return about ${addDays(s.date, cycleOf(sp))}`
            : '',
          x.scans.length
            ? `; scanned ${x.scans.map((r) => `${r.scan.date} ${scanLabel(r.foetuses, sp)}`).join(', ')}`
            : '',
          x.birth
            ? `; gave birth ${x.birth.date} (${tagsOf(idx, x.birth.offspringIds).join(', ') || 'no young recorded'})`
            : '',
          s.voided ? h('span', { class: 'muted' }, ` — void: ${s.voided.reason}`) : null,
        );
      }),
    ),
  );
}

// The females on the due list as shown, each moved a chosen number of days
// before she is due: planned as jobs that open the movement form.
function movesForm(app, rows) {
  const fields = app.db.fields.filter((f) => inForce(f) && !f.archived);
  if (!rows.length || !fields.length) {
    app.toast(rows.length ? 'Add the lambing field first.' : 'No one on the due list as shown.');
    return null;
  }
  return openDialog({
    title: 'Plan the move to lambing',
    submitLabel: 'Plan',
    content: [
      h(
        'p',
        {},
        `For the ${nf.format(rows.length)} on the due list as shown, one job for each day they are due.`,
      ),
      field({ label: 'Field or pen', name: 'field', options: fields.map((f) => [f.id, f.name]) }),
      field({
        label: 'Days before the first due date',
        name: 'days',
        value: '7',
        attrs: { inputmode: 'numeric' },
      }),
    ],
    onSubmit: (form) => {
      const v = formValues(form);
      const days = Number(v.days);
      if (
        !showErrors(
          form,
          Number.isInteger(days) && days >= 0 && days <= 60 ? {} : { days: 'Enter whole days from 0 to 60.' },
        )
      )
        return false;
      const title = `Move to ${fields.find((f) => f.id === v.field)?.name ?? 'the lambing field'}`;
      app.commit(
        (db) => planMovesBeforeDue(db, rows, { days, toFieldId: v.field, title }),
        'Moves planned: see Planned work.',
      );
      return true;
    },
  });
}
