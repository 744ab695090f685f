// The start screen, the herd list and one animal's record card.

import { h, button, link, nf, kgf } from '../ui/dom.js';
import { pagedTable, viewHeading, sortRows, filterBox } from '../ui/ui.js';
import { herdSummary, recentEvents } from '../core/summaries.js';
import { animalLabel, SEX_LABEL, STATUS_LABEL, STATUSES, DIRECTION_LABEL } from '../core/text.js';
import { fieldName, tagsOf, parentsOf } from '../core/lookups.js';
import { inForce } from '../core/database.js';
import { daysBetween } from '../core/dates.js';
import { fitOrUnknown, fitText, stillWithdrawn, lastGiven } from '../rules/withdrawal.js';
import { animalEvents, registerDatesOf } from '../rules/history.js';
import { animalsCsv } from '../rules/csv.js';
import { weightChartSvg } from '../output/chart.js';
import { herdRegister, recordCard, farmSummary } from '../output/print.js';
import {
  animalForm,
  treatmentForm,
  weightForm,
  birthForm,
  movementForm,
  restore,
  removeAnimalsForm,
  groupMembershipForm,
} from '../ui/forms.js';
import { lotSummary } from '../rules/lots.js';
import { markRegistered } from '../rules/records.js';
import {
  filterAnimals,
  describeFilter,
  speciesChoices,
  animalOrders,
  isDefaultList,
  registerAnimals,
  KEEP_YEARS,
} from '../rules/herd-list.js';
import { handlingState } from './handling.js';
import { breedingCard } from './breeding.js';
import { serviceForm } from '../ui/breeding-forms.js';
import { jobItems, jobForm } from './jobs.js';
import { readerFileField } from '../ui/reader-file.js';
import {
  animalHref,
  animalLinks,
  untilText,
  statusBadge,
  rowClass,
  voidCell,
  fitCell,
  animalsState,
} from './cells.js';

const LEFT = { away: 'Moved off the farm, alive, not sold', sold: 'Sold', died: 'Died' };

export function eventText(idx, ev) {
  const r = ev.record;
  switch (ev.kind) {
    case 'treatment':
      return `${r.product} given${r.target ? ` (${r.target})` : ''}`;
    case 'weight':
      return `Weighed ${kgf.format(r.kg)} kg`;
    case 'birth':
      return `Birth of ${r.offspringIds.length || 'no live'} young`;
    default:
      return r.direction === 'off'
        ? LEFT[r.outcome || 'away']
        : `Moved ${DIRECTION_LABEL.get(r.direction).toLowerCase()}${r.fieldId ? ` to ${fieldName(idx, r.fieldId)}` : ''}`;
  }
}

// ---------------------------------------------------------------- start screen

export function overviewView(app) {
  const { db, idx } = app;
  const today = app.today();
  const { rows, totals } = herdSummary(db, lotSummary(db));
  const withdrawals = app.withdrawals();
  const recent = recentEvents(db, idx, 10);
  const actions = h(
    'div',
    { class: 'quick-actions' },
    button('Add animal', () => animalForm(app), { kind: 'primary', attrs: { 'data-key': 'ov-add-animal' } }),
    button('Record treatment', () => treatmentForm(app), { attrs: { 'data-key': 'ov-treat' } }),
    button('Record weight', () => weightForm(app), { attrs: { 'data-key': 'ov-weight' } }),
    button('Record birth', () => birthForm(app), { attrs: { 'data-key': 'ov-birth' } }),
    button('Record movement', () => movementForm(app), { attrs: { 'data-key': 'ov-move' } }),
    button('Handling day', () => app.go('#/handling'), { attrs: { 'data-key': 'ov-handling' } }),
    button('Medicine cabinet', () => app.go('#/medicines'), { attrs: { 'data-key': 'ov-cabinet' } }),
    button('Groups', () => app.go('#/groups'), { attrs: { 'data-key': 'ov-groups' } }),
    button('Reports', () => app.go('#/reports'), { attrs: { 'data-key': 'ov-reports' } }),
  );

  const el = h(
    'div',
    { class: 'view overview' },
    viewHeading('Overview', db.farm.name || 'Your farm at a glance'),
    actions,
  );

  if (!db.animals.length) {
    el.append(
      h(
        'section',
        { class: 'card empty-farm', id: 'empty-farm', 'aria-labelledby': 'empty-farm-title' },
        h('h2', { id: 'empty-farm-title' }, 'No animals recorded yet'),
        h(
          'p',
          {},
          'Start by adding your fields and pens, then the animals on the farm. Everything is saved on this computer as you go.',
        ),
        h(
          'div',
          { class: 'row' },
          button('Add fields and pens', () => app.go('#/fields')),
          button('Add the first animal', () => animalForm(app), { kind: 'primary' }),
        ),
      ),
    );
  }

  el.append(
    h(
      'div',
      { class: 'tiles' },
      tile('On farm', totals['on-farm'], '#/animals'),
      tile('Under withdrawal', withdrawals.length, '#/treatments'),
      tile('Away', totals.away),
      tile('Sold', totals.sold),
      tile('Died', totals.died),
    ),
  );

  const herd = h(
    'section',
    { class: 'card', id: 'herd-summary', 'aria-labelledby': 'herd-title' },
    h('h2', { id: 'herd-title' }, 'Herd by species and status'),
    // Scrolls inside a narrow card rather than cutting the last column off.
    rows.length
      ? h(
          'div',
          { class: 'table-wrap' },
          h(
            'table',
            { class: 'compact' },
            h(
              'thead',
              {},
              h(
                'tr',
                {},
                ['Species', 'On farm', 'Away', 'Sold', 'Died'].map((t, i) =>
                  h('th', { scope: 'col', class: i ? 'num' : null }, t),
                ),
              ),
            ),
            h(
              'tbody',
              {},
              rows.map((r) =>
                h(
                  'tr',
                  {},
                  h('th', { scope: 'row' }, r.species),
                  ...['on-farm', 'away', 'sold', 'died'].map((s) =>
                    h('td', { class: 'num' }, nf.format(r[s])),
                  ),
                ),
              ),
            ),
            h(
              'tfoot',
              {},
              h(
                'tr',
                {},
                h('th', { scope: 'row' }, 'All'),
                ...['on-farm', 'away', 'sold', 'died'].map((s) =>
                  h('td', { class: 'num' }, nf.format(totals[s])),
                ),
              ),
            ),
          ),
        )
      : h('p', { class: 'empty' }, 'No animals recorded.'),
  );

  const wd = h(
    'section',
    { class: 'card', id: 'withdrawals', 'aria-labelledby': 'wd-title' },
    h('h2', { id: 'wd-title' }, 'Withdrawals running'),
    withdrawals.length
      ? h(
          'ul',
          { class: 'plain-list' },
          withdrawals
            .slice(0, 8)
            .map((w) =>
              h(
                'li',
                {},
                link(animalHref(w.animal), animalLabel(w.animal)),
                h('span', { class: 'muted' }, ` ${w.products.join(', ')}`),
                h(
                  'div',
                  { class: 'wd-ends' },
                  w.meatEnd
                    ? h(
                        'span',
                        { class: 'badge warn' },
                        `Meat ${fitText(w.meatEnd)} (${untilText(today, w.meatEnd)})`,
                      )
                    : null,
                  w.milkEnd
                    ? h(
                        'span',
                        { class: 'badge warn' },
                        `Milk ${fitText(w.milkEnd)} (${untilText(today, w.milkEnd)})`,
                      )
                    : null,
                ),
              ),
            ),
        )
      : h('p', { class: 'empty' }, 'No animal on the farm is under a meat or milk withdrawal.'),
    withdrawals.length > 8
      ? link('#/treatments', `All ${nf.format(withdrawals.length)} animals under withdrawal`)
      : null,
  );

  const ev = h(
    'section',
    { class: 'card', id: 'recent-events', 'aria-labelledby': 'ev-title' },
    h('h2', { id: 'ev-title' }, 'Recent events'),
    recent.length
      ? h(
          'ul',
          { class: 'plain-list events' },
          recent.map((e) =>
            h(
              'li',
              {},
              h('span', { class: 'date' }, e.date),
              ' ',
              h('span', { class: `kind kind-${e.kind}` }, e.kind),
              ' ',
              eventText(idx, e),
              ' — ',
              animalLinks(idx, e.animals, 2),
            ),
          ),
        )
      : h('p', { class: 'empty' }, 'Nothing recorded yet.'),
  );

  el.append(h('div', { class: 'cards' }, todayCard(app, today), herd, wd, ev));
  return {
    title: 'Overview',
    el,
    print: () =>
      farmSummary(db, idx, {
        printedOn: today,
        withdrawals,
        recent: recent.map((e) => ({
          date: e.date,
          text: eventText(idx, e),
          animals: tagsOf(idx, e.animals).join(', '),
        })),
      }),
  };
}

// What needs doing today: jobs due, withdrawals ending, batches going out of date,
// births still to register.
function todayCard(app, today) {
  const { jobs, clearing, expiring, unregistered, reopening } = app.todayList();
  const unshown = Math.max(0, jobs.length - 30);
  const items = [
    // Only those shown are drawn: a farm may have hundreds overdue.
    ...jobItems(app, jobs.slice(0, 30)),
    ...clearing.map((c) =>
      h(
        'li',
        {},
        link(animalHref(c.animal), animalLabel(c.animal)),
        ` fit for food from ${c.when}`,
        h(
          'span',
          { class: 'muted' },
          ` (${[c.meatEnd && `meat ${c.meatEnd}`, c.milkEnd && `milk ${c.milkEnd}`].filter(Boolean).join(', ')})`,
        ),
      ),
    ),
    ...expiring.map((e) =>
      h(
        'li',
        {},
        h(
          'span',
          { class: `badge ${e.expired ? 'danger' : 'warn'}` },
          e.expired ? 'expired' : 'expires soon',
        ),
        ` ${e.purchase.product}, batch ${e.purchase.batch}: ${e.purchase.expiry}, ${nf.format(e.left)} ${e.purchase.unit} left`,
      ),
    ),
    ...reopening.map((r) =>
      h(
        'li',
        {},
        link(`#/field/${encodeURIComponent(r.field.id)}`, r.field.name),
        ` reopens to grazing today at ${r.opens.slice(11)}`,
        h('span', { class: 'muted' }, ` (sprayed with ${r.product})`),
      ),
    ),
    ...unregistered.map((u) =>
      h(
        'li',
        {},
        h('span', { class: `badge ${u.late ? 'danger' : 'warn'}` }, u.late ? 'late' : 'to register'),
        ' ',
        link(animalHref(u.animal), animalLabel(u.animal)),
        ` born ${u.born}: register by ${u.due} `,
        button(
          'Registered',
          () =>
            app.commit(
              (db) => markRegistered(db, u.animal.id, today),
              `${u.animal.tag} marked as registered.`,
            ),
          {
            kind: 'small',
            attrs: {
              'data-key': `today-reg-${u.animal.id}`,
              'aria-label': `Mark ${u.animal.tag} as registered today`,
            },
          },
        ),
      ),
    ),
  ];
  return h(
    'section',
    { class: 'card', id: 'today', 'aria-labelledby': 'today-title' },
    h('h2', { id: 'today-title' }, 'Today'),
    items.length
      ? h('ul', { class: 'plain-list' }, items.slice(0, 30))
      : h(
          'p',
          { class: 'empty' },
          'No job is due, no withdrawal ends today or tomorrow, no field reopens to grazing today, no batch is near its expiry date and no birth is waiting to be registered.',
        ),
    items.length + unshown > 30
      ? h('p', { class: 'muted' }, `and ${nf.format(items.length + unshown - 30)} more`)
      : null,
  );
}

function tile(label, value, href) {
  const inner = [
    h('span', { class: 'tile-value' }, nf.format(value)),
    h('span', { class: 'tile-label' }, label),
  ];
  return href ? h('a', { class: 'tile', href }, inner) : h('div', { class: 'tile' }, inner);
}

// ---------------------------------------------------------------- herd list

export function animalsView(app) {
  const st = animalsState(app);
  const { idx } = app;
  const species = speciesChoices(app.db);
  const results = h('div', { class: 'results' });
  const count = h('p', { class: 'count', role: 'status' });
  const delBtn = button('Delete selected', () => bulkDelete(app, st), {
    kind: 'danger-outline',
    attrs: { 'data-key': 'an-bulk-delete' },
  });
  const running = new Map(app.withdrawals().map((w) => [w.animal.id, w]));
  const order = animalOrders(idx, running);
  const matching = () => filterAnimals(app.db, idx, st, { today: app.today(), withdrawn: running });

  const columns = [
    {
      key: 'tag',
      label: 'Tag',
      sort: order.tag,
      cell: (a) => link(animalHref(a), a.tag, { class: 'strong' }),
    },
    { key: 'name', label: 'Name', sort: order.name, cell: (a) => a.name },
    { key: 'species', label: 'Species', sort: order.species, cell: (a) => a.species },
    { key: 'breed', label: 'Breed', sort: order.breed, cell: (a) => a.breed },
    { key: 'sex', label: 'Sex', cell: (a) => SEX_LABEL.get(a.sex) },
    { key: 'dob', label: 'Born', sort: order.dob, cell: (a) => a.dob, className: 'date' },
    { key: 'status', label: 'Status', sort: order.status, cell: (a) => statusBadge(a) },
    {
      key: 'wd',
      label: 'Fit for food from',
      sort: order.wd,
      cell: (a) => {
        const w = running.get(a.id);
        return w
          ? h(
              'div',
              { class: 'wd-ends' },
              w.meatEnd ? h('span', { class: 'badge warn' }, `meat ${w.meatEnd}`) : null,
              w.milkEnd ? h('span', { class: 'badge warn' }, `milk ${w.milkEnd}`) : null,
            )
          : '';
      },
    },
    {
      key: 'field',
      label: 'Field or pen',
      sort: order.field,
      cell: (a) => fieldName(idx, a.fieldId),
    },
  ];

  const update = () => {
    const list = matching();
    const live = new Set(app.db.animals.map((a) => a.id));
    for (const id of st.selected) if (!live.has(id)) st.selected.delete(id);
    count.textContent =
      `${nf.format(list.length)} animal${list.length === 1 ? '' : 's'}` +
      (st.selected.size ? `, ${nf.format(st.selected.size)} selected` : '');
    delBtn.disabled = st.selected.size === 0;
    bulk.sync(list.length);
    delBtn.textContent = st.selected.size
      ? `Delete selected (${nf.format(st.selected.size)})`
      : 'Delete selected';
    results.replaceChildren(
      pagedTable({
        key: 'an',
        columns,
        rows: list,
        state: st,
        caption: 'Animals',
        selection: st.selected,
        rowLabel: (a) => animalLabel(a),
        emptyText: app.db.animals.length
          ? 'No animal matches these filters.'
          : 'No animals recorded yet. Add the first one with “Add animal”.',
        onChange: () => {
          const k = app.focusKey();
          update();
          app.refocus(k);
        },
      }),
    );
    return list;
  };

  const filterInput = filterBox({
    id: 'animal-filter',
    key: 'an-filter',
    state: st,
    placeholder: 'Tag, name, breed, product…',
    onChange: () => update(),
  });
  const select = (id, label, value, options, onPick) =>
    h(
      'div',
      { class: 'filter' },
      h('label', { for: id }, label),
      h(
        'select',
        {
          id,
          'data-key': id,
          onchange: (ev) => {
            onPick(ev.target.value);
            st.page = 0;
            update();
          },
        },
        options.map(([v, l]) => h('option', { value: v, selected: v === value }, l)),
      ),
    );

  const toolbar = h(
    'div',
    { class: 'toolbar', role: 'group', 'aria-label': 'Filters' },
    h('div', { class: 'filter grow' }, h('label', { for: 'animal-filter' }, 'Find in the list'), filterInput),
    select(
      'an-status',
      'Status',
      st.status,
      [['', 'Any status'], ...STATUSES, ['void', 'Entered in error']],
      (v) => {
        st.status = v;
      },
    ),
    select(
      'an-wd',
      'Withdrawal',
      st.withdrawal,
      [
        ['', 'Any'],
        ['running', 'Under withdrawal'],
      ],
      (v) => {
        st.withdrawal = v;
      },
    ),
    select('an-species', 'Species', st.species, [['', 'All species'], ...species.map((s) => [s, s])], (v) => {
      st.species = v;
    }),
    select(
      'an-field',
      'Field or pen',
      st.fieldId,
      [['', 'Anywhere'], ...app.db.fields.map((f) => [f.id, f.name])],
      (v) => {
        st.fieldId = v;
      },
    ),
    app.db.groups.some(inForce)
      ? select(
          'an-group',
          'Group',
          st.groupId,
          [['', 'Any group'], ...app.db.groups.filter(inForce).map((g) => [g.id, g.name])],
          (v) => {
            st.groupId = v;
          },
        )
      : null,
  );
  const bulk = bulkBar(
    app,
    st,
    () => matching(),
    () => {
      const k = app.focusKey();
      update();
      app.refocus(k);
    },
  );

  const el = h(
    'div',
    { class: 'view' },
    viewHeading('Animals', 'The herd register: every animal, on the farm or gone.'),
    h(
      'div',
      { class: 'actions' },
      button('Add animal', () => animalForm(app), { kind: 'primary', attrs: { 'data-key': 'an-add' } }),
      button(
        'Export CSV',
        () =>
          app.exportCsv(
            animalsCsv(sortRows(matching(), columns, st), idx, registerDatesOf(app.db, app.idx)),
            'Herd register',
          ),
        { attrs: { 'data-key': 'an-csv' } },
      ),
      delBtn,
    ),
    toolbar,
    bulk.el,
    count,
    results,
  );
  update();
  return {
    title: 'Animals',
    el,
    print: () => {
      const whole = isDefaultList(st);
      return herdRegister(
        app.db,
        idx,
        sortRows(whole ? registerAnimals(app.db, app.today()) : matching(), columns, st),
        {
          printedOn: app.today(),
          subtitle: whole
            ? `Every animal kept in the last ${KEEP_YEARS} years`
            : describeFilter(app.db, idx, st),
          datesOf: registerDatesOf(app.db, app.idx),
        },
      );
    },
  };
}

// Work on many animals at once: everything that matches the filters can be
// selected across pages, and the selection handed to one record.
function bulkBar(app, st, matching, refresh) {
  const tags = () =>
    app.db.animals
      .filter((a) => st.selected.has(a.id))
      .map((a) => a.tag)
      .join(', ');
  const all = button(
    'Select all that match',
    () => {
      for (const a of matching()) st.selected.add(a.id);
      refresh();
    },
    { kind: 'small', attrs: { 'data-key': 'an-sel-all' } },
  );
  const none = button(
    'Clear the selection',
    () => {
      st.selected.clear();
      refresh();
    },
    { kind: 'small', attrs: { 'data-key': 'an-sel-none' } },
  );
  // Once recorded, the selection is done with: kept, it would join the next one.
  const done = (form) =>
    form.then((ok) => {
      if (ok) {
        st.selected.clear();
        refresh();
      }
    });
  const acts = [
    ['Treat', () => done(treatmentForm(app, null, { tags: tags() }))],
    ['Move', () => done(movementForm(app, null, { tags: tags(), direction: 'move' }))],
    ['Sell', () => done(movementForm(app, null, { tags: tags(), direction: 'off', outcome: 'sold' }))],
    [
      'Record death',
      () => done(movementForm(app, null, { tags: tags(), direction: 'off', outcome: 'died' })),
    ],
    [
      'Weighing day',
      () => {
        Object.assign(handlingState(app), { mode: 'weigh', expected: [...st.selected] });
        app.go('#/handling');
      },
    ],
    ['Add to group', () => done(groupMembershipForm(app, [...st.selected], 'join'))],
    ['Take out of a group', () => done(groupMembershipForm(app, [...st.selected], 'leave'))],
    ['Record service', () => done(serviceForm(app, null, { tags: tags() }))],
    ['Plan a job', () => done(jobForm(app, null, { tags: tags() }))],
  ].map(([label, fn], i) => button(label, fn, { kind: 'small', attrs: { 'data-key': `an-bulk-${i}` } }));
  // Those read at the race join the selection, for a group or any record.
  const fromReader = readerFileField(
    app,
    (animals) => {
      for (const a of animals) st.selected.add(a.id);
      refresh();
    },
    { key: 'an-sel-reader', label: 'Select from a reader file…' },
  );
  const el = h(
    'div',
    { class: 'toolbar bulk', role: 'group', 'aria-label': 'Selected animals' },
    all,
    none,
    fromReader,
    h('span', { class: 'muted' }, 'With the selected:'),
    acts,
  );
  return {
    el,
    sync: (n) => {
      all.textContent = `Select all ${nf.format(n)} that match`;
      for (const b of [none, ...acts]) b.disabled = st.selected.size === 0;
    },
  };
}

// Removing many animals at once: those with records are only marked as
// entered in error, after a safety snapshot.
async function bulkDelete(app, st) {
  const ids = [...st.selected];
  if (!ids.length) return;
  if (await removeAnimalsForm(app, ids)) st.selected.clear();
  app.rerender();
}

// ---------------------------------------------------------------- record card

export function eventNode(idx, a, ev) {
  const r = ev.record;
  if (ev.kind === 'birth') {
    return [
      r.damId === a.id ? `Gave birth to ${r.offspringIds.length || 'no live'} young: ` : 'Born to ',
      animalLinks(idx, r.damId === a.id ? r.offspringIds : [r.damId], 6),
    ];
  }
  const where = [r.to, r.toHolding, fieldName(idx, r.fieldId)].filter(Boolean).join(', ');
  return [
    r.direction === 'off'
      ? LEFT[r.outcome || 'away']
      : `Moved ${DIRECTION_LABEL.get(r.direction).toLowerCase()}`,
    [
      (r.from || r.fromHolding) && ` from ${[r.from, r.fromHolding].filter(Boolean).join(', ')}`,
      where && ` to ${where}`,
      r.cause && `, cause: ${r.cause}`,
      r.reason && ` (${r.reason})`,
    ]
      .filter(Boolean)
      .join(''),
  ];
}

export function animalCardView(app, id) {
  const { idx } = app;
  const a = idx.animalsById.get(id);
  const today = app.today();
  const now = app.now();
  if (!a) {
    return {
      title: 'Animal not found',
      el: h(
        'div',
        { class: 'view' },
        viewHeading('Animal not found'),
        h('p', {}, 'This animal is not in the records. It may have been deleted.'),
        link('#/animals', 'Back to the animals'),
      ),
      print: null,
    };
  }
  const opts = { farm: app.db.farm };
  const p = idx.perAnimal.get(a.id);
  const running = p.treatments.filter(
    (t) => inForce(t) && ['meat', 'milk'].some((k) => stillWithdrawn(fitOrUnknown(t, k, opts), now)),
  );
  const par = parentsOf(idx, a);
  const young = app.db.animals.filter((x) => !x.voided && parentsOf(idx, x).dam === a);
  const preset = { tags: a.tag, tag: a.tag };
  const events = animalEvents(app.db, a);

  const detail = (label, value) => (value ? h('div', {}, h('dt', {}, label), h('dd', {}, value)) : null);
  const el = h(
    'div',
    { class: 'view card-view' },
    h('nav', { class: 'crumbs', 'aria-label': 'Breadcrumb' }, link('#/animals', 'Animals'), ' › ', a.tag),
    h(
      'header',
      { class: 'view-head animal-head' },
      h(
        'h1',
        { tabindex: '-1', class: a.voided ? 'voided' : null },
        a.tag,
        a.name ? h('span', { class: 'animal-name' }, ` ${a.name}`) : null,
      ),
      h(
        'p',
        { class: 'view-sub' },
        statusBadge(a),
        ' ',
        running.length ? h('span', { class: 'badge warn' }, 'Under withdrawal') : null,
        ' ',
        [a.species, a.breed, SEX_LABEL.get(a.sex)].filter(Boolean).join(' · '),
      ),
    ),
    a.voided
      ? h(
          'div',
          { class: 'notice warn', role: 'note' },
          h('strong', {}, 'Entered in error. '),
          `${a.voided.reason} (${a.voided.at}). `,
          button('Restore this animal', () => restore(app, 'animals', a, a.tag), {
            kind: 'small',
            attrs: { 'data-key': 'card-restore' },
          }),
        )
      : h(
          'div',
          { class: 'actions' },
          button('Edit', () => animalForm(app, a), { kind: 'primary', attrs: { 'data-key': 'card-edit' } }),
          button('Record treatment', () => treatmentForm(app, null, preset), {
            attrs: { 'data-key': 'card-treat' },
          }),
          button('Record weight', () => weightForm(app, null, preset), {
            attrs: { 'data-key': 'card-weight' },
          }),
          a.sex === 'female'
            ? button('Record birth', () => birthForm(app, null, { damTag: a.tag }), {
                attrs: { 'data-key': 'card-birth' },
              })
            : null,
          button('Record movement', () => movementForm(app, null, preset), {
            attrs: { 'data-key': 'card-move' },
          }),
          button(
            'Delete…',
            async () => {
              if ((await removeAnimalsForm(app, [a.id])) && !app.idx.animalsById.has(a.id))
                app.go('#/animals');
            },
            { kind: 'danger-outline', attrs: { 'data-key': 'card-delete' } },
          ),
        ),
    running.length
      ? h(
          'div',
          { class: 'notice warn', role: 'note' },
          h('strong', {}, 'Under withdrawal. '),
          running.map((t, i) => {
            const meat = fitOrUnknown(t, 'meat', opts);
            const milk = fitOrUnknown(t, 'milk', opts);
            return [
              i ? '; ' : '',
              `${t.product}: `,
              stillWithdrawn(meat, now) ? `meat ${fitText(meat)} ` : '',
              stillWithdrawn(milk, now) ? `milk ${fitText(milk)}` : '',
            ];
          }),
        )
      : null,
    h(
      'section',
      { class: 'card', 'aria-labelledby': 'det-title' },
      h('h2', { id: 'det-title' }, 'Details'),
      h(
        'dl',
        { class: 'details' },
        detail('Tag number', a.tag),
        detail(
          'Previous tags',
          (a.tagHistory || []).length
            ? a.tagHistory.map((c) => `${c.from} (replaced ${c.date}: ${c.reason})`).join('; ')
            : null,
        ),
        detail('Name', a.name),
        detail('Species', a.species),
        detail('Breed', a.breed),
        detail('Sex', SEX_LABEL.get(a.sex)),
        detail('Date of birth', a.dob),
        detail('Birth weight', a.birthWeightKg ? `${kgf.format(a.birthWeightKg)} kg` : null),
        detail('Dam', par.dam ? link(animalHref(par.dam), animalLabel(par.dam)) : par.damText),
        detail('Sire', par.sire),
        detail('Status', `${STATUS_LABEL.get(a.status)}${a.statusDate ? ` since ${a.statusDate}` : ''}`),
        detail('Field or pen', fieldName(idx, a.fieldId)),
        detail(
          'Young',
          young.length ? young.flatMap((y, i) => [i ? ', ' : '', link(animalHref(y), animalLabel(y))]) : null,
        ),
        detail('Notes', a.notes),
      ),
    ),
    weightsSection(app, a, p.weights),
    a.sex === 'female' ? breedingCard(app, a) : null,
    h(
      'section',
      { class: 'card', 'aria-labelledby': 'tr-title' },
      h('h2', { id: 'tr-title' }, 'Treatments'),
      pagedTable({
        key: 'card-tr',
        state: app.vs(`card-tr-${a.id}`, { page: 0, pageSize: 25 }),
        rows: p.treatments,
        rowClass,
        emptyText: 'No treatments recorded.',
        onChange: () => app.rerender(),
        columns: [
          {
            key: 'date',
            label: 'Given',
            cell: (t) => (lastGiven(t) === t.date ? t.date : `${t.date} to ${lastGiven(t)}`),
            className: 'date',
          },
          {
            key: 'product',
            label: 'Product',
            cell: (t) => [t.product, t.offLabel ? h('span', { class: 'muted' }, ' (cascade)') : null],
          },
          { key: 'dose', label: 'Quantity', cell: (t) => t.dose },
          { key: 'meat', label: 'Meat fit for food from', cell: (t) => fitCell(t, 'meat', opts, now) },
          { key: 'milk', label: 'Milk fit for food from', cell: (t) => fitCell(t, 'milk', opts, now) },
          {
            key: 'edit',
            label: 'Actions',
            cell: (t) =>
              voidCell(
                app,
                'treatments',
                t,
                `treatment of ${t.date} with ${t.product}`,
                `card-tr-${t.id}`,
                () => treatmentForm(app, t),
              ),
          },
        ],
      }),
    ),
    h(
      'section',
      { class: 'card', 'aria-labelledby': 'bm-title' },
      h('h2', { id: 'bm-title' }, 'Births and movements'),
      events.length
        ? h(
            'ul',
            { class: 'plain-list events' },
            events.map((x) =>
              h(
                'li',
                { class: rowClass(x.record) },
                h('span', { class: 'date' }, x.date),
                ' ',
                eventNode(idx, a, x),
                x.record.voided ? h('span', { class: 'muted' }, ` — void: ${x.record.voided.reason}`) : null,
              ),
            ),
          )
        : h('p', { class: 'empty' }, 'No births or movements recorded.'),
    ),
  );
  return {
    title: `${animalLabel(a)}`,
    el,
    print: () =>
      recordCard(app.db, idx, a, {
        printedOn: today,
        now,
        events: events.map((x) => ({
          date: x.date,
          record: x.record,
          text: eventNode(idx, a, x)
            .flat(Infinity)
            .map((n) => (typeof n === 'string' ? n : n.textContent))
            .join(''),
        })),
      }),
  };
}

function weightsSection(app, a, weights) {
  const live = weights.filter(inForce);
  let gain = null;
  if (live.length > 1) {
    const x = live[live.length - 2],
      y = live[live.length - 1];
    const d = daysBetween(x.date, y.date);
    if (d > 0)
      gain = `Daily gain since the weighing before: ${kgf.format((y.kg - x.kg) / d)} kg a day over ${nf.format(d)} days.`;
  }
  const newestFirst = weights.slice().reverse();
  return h(
    'section',
    { class: 'card', 'aria-labelledby': 'wt-title' },
    h('h2', { id: 'wt-title' }, 'Weights'),
    live.length
      ? h('div', { class: 'chart', html: weightChartSvg(live, { title: `Weights of ${a.tag}` }) })
      : null,
    gain ? h('p', { class: 'muted' }, gain) : null,
    pagedTable({
      key: 'card-wt',
      state: app.vs(`card-wt-${a.id}`, { page: 0, pageSize: 10 }),
      rows: newestFirst,
      rowClass,
      emptyText: 'No weights recorded.',
      onChange: () => app.rerender(),
      columns: [
        { key: 'date', label: 'Date', cell: (w) => w.date, className: 'date' },
        { key: 'kg', label: 'Weight (kg)', cell: (w) => kgf.format(w.kg), className: 'num' },
        {
          key: 'act',
          label: 'Actions',
          cell: (w) =>
            voidCell(app, 'weights', w, `weight of ${w.date}`, `wt-${w.id}`, () => weightForm(app, w)),
        },
      ],
    }),
  );
}
