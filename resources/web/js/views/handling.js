// The handling-day screen: weighing, treating and entering new animals by
// keyboard alone. Typing a tag and Enter moves on; each saved animal is one
// change; the session's log stays on the screen.

import { h, button, field, formValues, showErrors, nf, kgf, dateInput } from '../ui/dom.js';
import { viewHeading } from '../ui/ui.js';
import { speciesField } from '../ui/forms.js';
import { compareTags, MILK_UNITS, SEXES } from '../core/text.js';
import { cabinetChoices, choiceLabel, validateTreatmentFromCabinet } from '../rules/cabinet.js';
import {
  checkWeighTag,
  sessionDateError,
  lastWeight,
  validateSessionWeight,
  validateSessionTreatment,
  validateBatchAnimals,
  addAnimals,
} from '../rules/handling.js';

const MODES = [
  ['weigh', 'Weighing'],
  ['treat', 'Treating'],
  ['new', 'New animals'],
];

// The screen's state, whole even when another screen sets it first (a
// weighing day for the animals selected on the Animals list).
export function handlingState(app) {
  return app.vs('handling', {
    mode: 'weigh',
    date: app.today(),
    weighLog: [],
    treatLog: [],
    session: null,
    setup: {},
    info: '',
    infoKind: '',
    newMsg: '',
  });
}

export function handlingView(app) {
  const st = handlingState(app);
  const tabs = h(
    'div',
    { class: 'row', role: 'group', 'aria-label': 'Kind of work' },
    MODES.map(([k, l]) =>
      button(
        l,
        () => {
          st.mode = k;
          st.info = '';
          app.rerender();
          app.refocus(`hd-mode-${k}`);
        },
        {
          kind: st.mode === k ? 'primary' : '',
          attrs: { 'data-key': `hd-mode-${k}`, 'aria-pressed': String(st.mode === k) },
        },
      ),
    ),
  );
  const body =
    st.mode === 'weigh' ? weighing(app, st) : st.mode === 'treat' ? treating(app, st) : newAnimals(app, st);
  return {
    title: 'Handling day',
    el: h(
      'div',
      { class: 'view' },
      viewHeading('Handling day', 'Type or scan a tag and press Enter; every animal is saved as it passes.'),
      tabs,
      body,
    ),
    print: null,
  };
}

const info = (st) =>
  h('p', { id: 'hd-info', class: `hd-info ${st.infoKind}`, role: 'status', 'aria-live': 'polite' }, st.info);
const say = (st, text, kind = '') => {
  st.info = text;
  st.infoKind = kind;
};
const gain2 = new Intl.NumberFormat(undefined, { maximumFractionDigits: 2, signDisplay: 'always' });
const gainText = (g) => (g === null ? '' : `${gain2.format(g)} kg a day`);

function dateBox(app, st, key) {
  return h(
    'div',
    { class: 'filter' },
    h('label', { for: key }, 'Date'),
    dateInput({
      id: key,
      value: st.date,
      'data-key': key,
      onchange: (ev) => {
        st.date = ev.target.value.trim();
      },
    }),
  );
}

function logTable(rows, head) {
  return rows.length
    ? h(
        'table',
        { class: 'compact', id: 'hd-log' },
        h(
          'thead',
          {},
          h(
            'tr',
            {},
            head.map((t) => h('th', { scope: 'col' }, t)),
          ),
        ),
        h(
          'tbody',
          {},
          rows.slice(0, 100).map((r) =>
            h(
              'tr',
              { class: r.flag ? 'flagged' : null },
              r.cells.map((c) => h('td', {}, c)),
            ),
          ),
        ),
      )
    : h('p', { class: 'empty' }, 'Nothing recorded in this session yet.');
}

// ---------------------------------------------------------------- weighing

function weighing(app, st) {
  const tag = h('input', {
    id: 'hd-w-tag',
    'data-key': 'hd-w-tag',
    autocomplete: 'off',
    spellcheck: 'false',
    value: st.tag || '',
  });
  const kg = h('input', {
    id: 'hd-w-kg',
    'data-key': 'hd-w-kg',
    autocomplete: 'off',
    inputmode: 'decimal',
    value: '',
  });
  const infoEl = info(st);
  const show = (text, kind) => {
    say(st, text, kind);
    infoEl.textContent = text;
    infoEl.className = `hd-info ${kind}`;
  };
  tag.addEventListener('input', () => {
    st.tag = tag.value;
  });
  tag.addEventListener('keydown', (ev) => {
    if (ev.key !== 'Enter') return;
    ev.preventDefault();
    const badDate = sessionDateError(st.date, app.today());
    if (badDate) {
      show(`The date above: ${badDate}`, 'error');
      return;
    }
    const found = checkWeighTag(app.db, app.idx, tag.value, st.date, st.expected);
    if (found.error) {
      const why = found.error;
      // Kept in the log too, so that a flagged animal can be seen to afterwards.
      st.weighLog.unshift({ flag: true, cells: [tag.value.trim(), '', '', '', `Not saved: ${why}`] });
      say(st, why, 'error');
      app.rerender();
      app.refocus('hd-w-tag');
      document.getElementById('hd-w-tag')?.select();
      return;
    }
    const last = lastWeight(app.idx, found.animal, st.date);
    show(
      `${found.animal.tag}: ${last ? `last weighed ${kgf.format(last.kg)} kg on ${last.date}` : 'not weighed before'}. Enter the weight.`,
      '',
    );
    kg.focus();
  });
  kg.addEventListener('keydown', (ev) => {
    if (ev.key === 'Escape') {
      ev.preventDefault();
      tag.focus();
      tag.select();
      return;
    }
    if (ev.key !== 'Enter') return;
    ev.preventDefault();
    const res = validateSessionWeight(
      { tag: tag.value, kg: kg.value, date: st.date, expected: st.expected },
      app.context(),
    );
    if (!res.ok) {
      show(res.errors.date || res.errors.tag || res.errors.kg, 'error');
      if (res.errors.kg && !res.errors.tag) kg.select();
      else {
        tag.focus();
        tag.select();
      }
      return;
    }
    const since = res.last
      ? `, ${gainText(res.gain)} since ${res.last.date} (${kgf.format(res.last.kg)} kg)`
      : '';
    const line = `${res.animal.tag}: ${kgf.format(res.value.kg)} kg saved${since}.`;
    st.weighLog.unshift({
      cells: [
        res.animal.tag,
        kgf.format(res.value.kg),
        res.last ? `${kgf.format(res.last.kg)} kg on ${res.last.date}` : '',
        gainText(res.gain),
        'saved',
      ],
    });
    st.tag = '';
    say(st, line, 'ok');
    app.commitAdded('weights', res.value);
    app.refocus('hd-w-tag');
  });
  return h(
    'section',
    { class: 'card', 'aria-labelledby': 'hd-w-title' },
    h('h2', { id: 'hd-w-title' }, 'Weighing session'),
    h(
      'div',
      { class: 'toolbar' },
      dateBox(app, st, 'hd-w-date'),
      h('div', { class: 'filter grow' }, h('label', { for: 'hd-w-tag' }, 'Tag or electronic ID'), tag),
      h('div', { class: 'filter' }, h('label', { for: 'hd-w-kg' }, 'Weight (kg)'), kg),
    ),
    infoEl,
    expectedNote(app, st),
    h(
      'p',
      { class: 'count' },
      `${nf.format(st.weighLog.filter((r) => !r.flag).length)} weighed in this session`,
    ),
    logTable(st.weighLog, ['Tag', 'Weight (kg)', 'Last weight', 'Daily gain since', 'Note']),
  );
}

// A weighing day for animals chosen in the Animals list: who is still to come.
function expectedNote(app, st) {
  if (!st.expected?.length) return null;
  const left = st.expected
    .map((id) => app.idx.animalsById.get(id))
    .filter((a) => a && !app.idx.perAnimal.get(a.id).weights.some((w) => !w.voided && w.date === st.date));
  const toCome = left
    .slice(0, 30)
    .map((a) => a.tag)
    .join(', ');
  const more = left.length > 30 ? ` and ${nf.format(left.length - 30)} more` : '';
  const weighed = nf.format(st.expected.length - left.length);
  return h(
    'p',
    { id: 'hd-expected' },
    left.length
      ? `${weighed} of the ${nf.format(st.expected.length)} chosen weighed; still to come: ${toCome}${more}.`
      : `All ${nf.format(st.expected.length)} chosen animals are weighed.`,
    ' ',
    button(
      'Forget the chosen animals',
      () => {
        st.expected = null;
        app.rerender();
      },
      { kind: 'small', attrs: { 'data-key': 'hd-expected-clear' } },
    ),
  );
}

// ---------------------------------------------------------------- treating

function treating(app, st) {
  if (st.session) return treatingSession(app, st);
  const v = st.setup;
  const choices = cabinetChoices(app.db, st.date, v.purchaseId || '');
  const pick = field({
    label: 'From the medicine cabinet',
    name: 'purchaseId',
    value: v.purchaseId || '',
    options: [
      ['', 'Not from the cabinet (typed in)'],
      ...choices.map((c) => [c.purchase.id, choiceLabel(c)]),
    ],
    wide: true,
    attrs: { 'data-key': 'hd-t-batch' },
  });
  const form = h(
    'form',
    { class: 'form-grid', novalidate: true },
    pick,
    field({
      label: 'Quantity for each animal (from the batch)',
      name: 'perAnimal',
      value: v.perAnimal || '',
      attrs: { inputmode: 'decimal' },
    }),
    field({ label: 'Quantity given (as written in the book)', name: 'dose', value: v.dose || '' }),
    field({ label: 'Product (typed in)', name: 'product', value: v.product || '' }),
    field({ label: 'Batch number (typed in)', name: 'batch', value: v.batch || '' }),
    field({ label: 'Reason', name: 'reason', value: v.reason || '' }),
    field({ label: 'Administered by', name: 'givenBy', value: v.givenBy || '' }),
    field({
      label: 'Meat withdrawal (days)',
      name: 'meatDays',
      value: v.meatDays ?? '',
      attrs: { inputmode: 'numeric' },
    }),
    field({
      label: 'Milk withdrawal',
      name: 'milkPeriod',
      value: v.milkPeriod ?? '',
      attrs: { inputmode: 'numeric' },
    }),
    field({ label: 'Milk period in', name: 'milkUnit', value: v.milkUnit || 'days', options: MILK_UNITS }),
    h('p', { class: 'dialog-status wide', role: 'alert' }),
    h(
      'div',
      { class: 'form-field wide' },
      h('button', { type: 'submit', class: 'btn primary', 'data-key': 'hd-t-start' }, 'Start treating'),
    ),
  );
  // Choosing by typing a letter may report only "input" until the focus leaves.
  const fill = (ev) => {
    const c = choices.find((x) => x.purchase.id === ev.target.value);
    if (!c) return;
    for (const k of ['product', 'batch', 'meatDays', 'milkPeriod', 'milkUnit'])
      form.elements[k].value = c.purchase[k] ?? '';
  };
  pick.querySelector('select').addEventListener('input', fill);
  pick.querySelector('select').addEventListener('change', fill);
  form.addEventListener('submit', (ev) => {
    ev.preventDefault();
    const setup = { ...formValues(form), date: st.date };
    st.setup = setup;
    // Checked as for one animal, the tag aside, so that every later tag only
    // needs its own checks.
    const res = validateTreatmentFromCabinet(
      { ...setup, stockUsed: setup.perAnimal, tags: '' },
      app.context(),
    );
    const errors = { ...(res.errors || {}) };
    delete errors.tags;
    if (errors.stockUsed) {
      errors.perAnimal = errors.stockUsed;
      delete errors.stockUsed;
    }
    if (!showErrors(form, errors)) return;
    const status = form.querySelector('.dialog-status');
    const warnings = checkWarnings(app, setup);
    if (warnings.length && form.dataset.warned !== 'yes') {
      form.dataset.warned = 'yes';
      status.textContent = `${warnings.join(' ')} Press “Start treating” again to go on.`;
      return;
    }
    st.session = { ...setup, treated: new Set() };
    st.treatLog = [];
    say(st, '', '');
    app.rerender();
    app.refocus('hd-t-tag');
  });
  return h(
    'section',
    { class: 'card', 'aria-labelledby': 'hd-t-title' },
    h('h2', { id: 'hd-t-title' }, 'Treatment session'),
    h('div', { class: 'toolbar' }, dateBox(app, st, 'hd-t-date')),
    form,
  );
}

// The setup's own warnings (an expired batch), worked out with no animal.
function checkWarnings(app, setup) {
  const c = cabinetChoices(app.db, setup.date, setup.purchaseId).find(
    (x) => x.purchase.id === setup.purchaseId,
  );
  return c?.expired
    ? [`Batch ${c.purchase.batch} of ${c.purchase.product} expired on ${c.purchase.expiry}.`]
    : [];
}

function treatingSession(app, st) {
  const s = st.session;
  const tag = h('input', {
    id: 'hd-t-tag',
    'data-key': 'hd-t-tag',
    autocomplete: 'off',
    spellcheck: 'false',
  });
  const infoEl = info(st);
  tag.addEventListener('keydown', (ev) => {
    if (ev.key !== 'Enter') return;
    ev.preventDefault();
    const res = validateSessionTreatment({ session: s, tag: tag.value }, app.context());
    if (!res.ok) {
      say(st, Object.values(res.errors)[0], 'error');
      st.treatLog.unshift({ flag: true, cells: [tag.value.trim(), '', '', '', `Not saved: ${st.info}`] });
      app.rerender();
      app.refocus('hd-t-tag');
      return;
    }
    s.treated.add(res.animal.id);
    const short = res.warnings.find((w) => /left/.test(w));
    st.treatLog.unshift({
      flag: !!short,
      cells: [
        res.animal.tag,
        res.value.product,
        res.value.batch,
        s.perAnimal ? `${s.perAnimal}` : '',
        short || '',
      ],
    });
    say(st, `${res.animal.tag} treated and saved.${short ? ` ${short}` : ''}`, short ? 'error' : 'ok');
    app.commitAdded('treatments', res.value);
    app.refocus('hd-t-tag');
  });
  return h(
    'section',
    { class: 'card', 'aria-labelledby': 'hd-t-title' },
    h(
      'h2',
      { id: 'hd-t-title' },
      `Treating with ${s.product}${s.batch ? `, batch ${s.batch}` : ''} on ${s.date}`,
    ),
    h(
      'div',
      { class: 'toolbar' },
      h('div', { class: 'filter grow' }, h('label', { for: 'hd-t-tag' }, 'Tag or electronic ID'), tag),
      button(
        'End the session',
        () => {
          st.session = null;
          app.rerender();
          app.refocus('hd-mode-treat');
        },
        { attrs: { 'data-key': 'hd-t-end' } },
      ),
    ),
    infoEl,
    h(
      'p',
      { class: 'count' },
      `${nf.format(st.treatLog.filter((r) => !r.flag).length)} treated in this session`,
    ),
    logTable(st.treatLog, ['Tag', 'Product', 'Batch', 'Quantity from stock', 'Note']),
  );
}

// ---------------------------------------------------------------- new animals

function newAnimals(app, st) {
  const fields = [
    ['', 'None'],
    ...app.db.fields
      .filter((f) => !f.archived)
      .sort((a, b) => compareTags(a.name, b.name))
      .map((f) => [f.id, f.name]),
  ];
  const form = h(
    'form',
    { class: 'form-grid', novalidate: true },
    field({
      label: 'Tags: a range such as UK0123450001-UK0123450040, or a list',
      name: 'tags',
      type: 'textarea',
      rows: 3,
      wide: true,
      attrs: { spellcheck: 'false', 'data-key': 'hd-n-tags' },
    }),
    speciesField(app, 'Sheep'),
    field({ label: 'Breed', name: 'breed' }),
    field({ label: 'Sex', name: 'sex', value: 'female', options: SEXES }),
    field({ label: 'Date of birth', name: 'dob', type: 'date' }),
    field({ label: 'Field or pen', name: 'fieldId', options: fields }),
    h(
      'div',
      { class: 'form-field wide' },
      h('button', { type: 'submit', class: 'btn primary', 'data-key': 'hd-n-add' }, 'Add these animals'),
    ),
  );
  form.addEventListener('submit', (ev) => {
    ev.preventDefault();
    const res = validateBatchAnimals(formValues(form), app.context());
    if (!showErrors(form, res.ok ? {} : res.errors)) return;
    st.newMsg = `Added ${nf.format(res.value.length)} animals: ${res.value[0].tag} to ${res.value[res.value.length - 1].tag}.`;
    app.commit((db) => addAnimals(db, res.value));
    app.refocus('hd-n-tags');
  });
  return h(
    'section',
    { class: 'card', 'aria-labelledby': 'hd-n-title' },
    h('h2', { id: 'hd-n-title' }, 'New animals'),
    form,
    h('p', { id: 'hd-n-result', role: 'status' }, st.newMsg),
  );
}
