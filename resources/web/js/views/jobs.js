// Planned work: every job, upcoming, overdue and done; planning, doing,
// skipping and moving them; the week's plan for the office wall; and the
// dose schedule a product in the cabinet may carry.

import { h, button, field, formValues, showErrors, nf } from '../ui/dom.js';
import { openDialog, pagedTable, viewHeading } from '../ui/ui.js';
import { treatmentForm, movementForm } from '../ui/forms.js';
import { tagsOf } from '../core/lookups.js';
import { compareTags, fold } from '../core/text.js';
import { inForce } from '../core/database.js';
import { cabinetChoices } from '../rules/cabinet.js';
import {
  ABOUT,
  ACTIONS,
  UNITS,
  FROM,
  validateJob,
  saveJob,
  markDone,
  skipJob,
  moveJob,
  validateSkip,
  validateMove,
  jobList,
  jobAnimals,
  stillToDo,
  aboutText,
  repeatText,
  scheduleOf,
  validateSchedule,
  saveSchedule,
  scheduleText,
} from '../rules/jobs.js';
import { weekPlanDocument } from '../output/week-plan.js';
import { handlingState } from './handling.js';
import { voidCell, rowClass } from './cells.js';

const STATE_BADGE = {
  overdue: ['danger', 'overdue'],
  due: ['warn', 'due'],
  upcoming: ['muted', 'upcoming'],
  done: ['ok', 'done'],
  skipped: ['muted', 'skipped'],
  void: ['muted', 'void'],
};
const badge = (state) => h('span', { class: `badge ${STATE_BADGE[state][0]}` }, STATE_BADGE[state][1]);
const grid = (...children) => h('div', { class: 'form-grid' }, children);

// "3 of 10 done" for a job over several animals, part of which is done.
function progress(app, j) {
  const all = jobAnimals(app.db, j, app.today()).length;
  const done = (j.doneIds || []).length;
  return all > 1 && done ? ` (${nf.format(done)} of ${nf.format(all)} done)` : '';
}
const windowText = (j) => (j.until ? ` to ${j.until}` : '');
// A flock's tags would fill the screen: the first few, and how many more.
const shortTags = (app, max) => (ids) => {
  const tags = tagsOf(app.idx, ids);
  return tags.length > max ? [...tags.slice(0, max), `and ${nf.format(tags.length - max)} more`] : tags;
};

export function jobsView(app) {
  const { db } = app;
  const today = app.today();
  const st = app.vs('jobs', { show: 'open', page: 0, pageSize: 100 });
  const rows = jobList(db, today, st.show);
  const count = h(
    'p',
    { class: 'count', role: 'status' },
    `${nf.format(rows.length)} job${rows.length === 1 ? '' : 's'}`,
  );
  const about = (j) => aboutText(db, j, shortTags(app, 12));
  const openColumns = [
    {
      key: 'date',
      label: 'Due',
      cell: (r) => [r.job.due, h('span', { class: 'muted' }, windowText(r.job))],
      className: 'date',
    },
    { key: 'state', label: 'State', cell: (r) => badge(r.state) },
    {
      key: 'title',
      label: 'Job',
      cell: (r) => [
        r.job.title,
        progress(app, r.job),
        r.job.note ? h('div', { class: 'muted' }, r.job.note) : null,
      ],
    },
    { key: 'about', label: 'For', cell: (r) => about(r.job) },
    { key: 'repeat', label: 'Repeats', cell: (r) => repeatText(r.job.repeat) },
    { key: 'act', label: 'Actions', cell: (r) => jobButtons(app, r.job) },
  ];
  const doneColumns = [
    { key: 'date', label: 'On', cell: (r) => r.entry.on, className: 'date' },
    { key: 'state', label: 'Outcome', cell: (r) => badge(r.entry.outcome) },
    { key: 'title', label: 'Job', cell: (r) => r.job.title },
    { key: 'due', label: 'Was due', cell: (r) => r.entry.due, className: 'date' },
    { key: 'about', label: 'For', cell: (r) => about(r.job) },
    { key: 'reason', label: 'Reason', cell: (r) => r.entry.reason || '' },
  ];
  const show = h(
    'select',
    {
      id: 'jobs-show',
      'data-key': 'jobs-show',
      onchange: (ev) => {
        st.show = ev.target.value;
        st.page = 0;
        app.rerender();
      },
    },
    [
      ['open', 'To do (upcoming and overdue)'],
      ['overdue', 'Overdue'],
      ['done', 'Done and skipped'],
      ['voided', 'Voided'],
    ].map(([v, l]) => h('option', { value: v, selected: v === st.show }, l)),
  );
  const el = h(
    'div',
    { class: 'view' },
    viewHeading('Planned work', 'Jobs with a due date: what is coming, what is late, and what was done.'),
    h(
      'div',
      { class: 'actions' },
      button('Plan a job', () => jobForm(app), { kind: 'primary', attrs: { 'data-key': 'jobs-add' } }),
      button('Print the week’s plan', () => printWeek(app), { attrs: { 'data-key': 'jobs-week' } }),
    ),
    h(
      'div',
      { class: 'toolbar' },
      h('div', { class: 'filter' }, h('label', { for: 'jobs-show' }, 'Show'), show),
    ),
    count,
    pagedTable({
      key: 'jobs',
      state: st,
      rows,
      rowClass: (r) => rowClass(r.job),
      onChange: () => app.rerender(),
      emptyText: st.show === 'done' ? 'No job done or skipped yet.' : 'No job planned.',
      columns: st.show === 'done' ? doneColumns : openColumns,
    }),
  );
  return {
    title: 'Planned work',
    el,
    print: () => weekPlanDocument(db, app.idx, { from: today, printedOn: today }),
  };
}

function printWeek(app) {
  const html = weekPlanDocument(app.db, app.idx, { from: app.today(), printedOn: app.today() });
  return app.printDocument(html, `Week’s plan from ${app.today()}`);
}

export function jobButtons(app, j) {
  const key = `job-${j.id}`;
  if (!inForce(j)) return voidCell(app, 'jobs', j, `job ${j.title}`, key);
  const small = (label, run, what) =>
    button(label, run, {
      kind: 'small',
      attrs: { 'data-key': `${key}-${what}`, 'aria-label': `${label}: ${j.title}` },
    });
  return h(
    'span',
    { class: 'row-actions' },
    small(j.action ? 'Do' : 'Done', () => doJob(app, j), 'do'),
    small('Skip', () => skipForm(app, j), 'skip'),
    small('Move', () => moveForm(app, j), 'move'),
    voidCell(app, 'jobs', j, `job ${j.title}`, key, () => jobForm(app, j)),
  );
}

// The items of the overview's Today list, jobs due and overdue.
export function jobItems(app, due) {
  const about = (j) => aboutText(app.db, j, shortTags(app, 5));
  return due.map(({ job, state }) =>
    h(
      'li',
      { 'data-job': job.id },
      badge(state),
      ` ${job.title}${progress(app, job)}: ${about(job)}, due ${job.due}${job.until ? ` (by ${job.until})` : ''} `,
      button(job.action ? 'Do' : 'Done', () => doJob(app, job), {
        kind: 'small',
        attrs: { 'data-key': `today-job-${job.id}`, 'aria-label': `Do ${job.title}` },
      }),
    ),
  );
}

// Doing a job opens the record it stands for, made with it in one change.
export function doJob(app, j) {
  const today = app.today();
  const left = stillToDo(app.db, j, today);
  const tags = tagsOf(app.idx, left).sort(compareTags).join(', ');
  if (j.action === 'treatment') {
    const batch = cabinetChoices(app.db, today).find(
      (c) => fold(c.purchase.product) === fold(j.product || '') && !c.expired,
    );
    return treatmentForm(app, null, {
      product: j.product,
      tags,
      purchaseId: batch?.purchase.id ?? '',
      jobId: j.id,
    });
  }
  if (j.action === 'movement')
    return movementForm(app, null, { tags, fieldId: j.toFieldId || '', jobId: j.id });
  if (j.action === 'weighing') {
    // The weights recorded for its animals do the job, one by one.
    Object.assign(handlingState(app), { mode: 'weigh', expected: left, date: today });
    app.go('#/handling');
    return Promise.resolve(true);
  }
  app.commit((db) => markDone(db, j.id, today), `${j.title}: done.`);
  return Promise.resolve(true);
}

export function jobForm(app, j = null, preset = {}) {
  const v = j
    ? {
        ...j,
        tags: tagsOf(app.idx, j.animalIds || []).join(', '),
        every: j.repeat?.every ?? '',
        unit: j.repeat?.unit,
        from: j.repeat?.from,
      }
    : { due: app.today(), about: 'animals', unit: 'months', from: 'due', action: '', ...preset };
  const fields = app.db.fields.filter((f) => !f.archived).map((f) => [f.id, f.name]);
  const groups = app.db.groups.filter(inForce).map((g) => [g.id, g.name]);
  const parts = {
    tags: field({
      label: 'Animals (tag numbers)',
      name: 'tags',
      type: 'textarea',
      rows: 2,
      value: v.tags,
      wide: true,
      hint: 'Separate tags with commas.',
    }),
    groupId: field({
      label: 'Group',
      name: 'groupId',
      value: v.groupId ?? '',
      options: [['', 'Choose…'], ...groups],
    }),
    fieldId: field({
      label: 'Field or pen',
      name: 'fieldId',
      value: v.fieldId ?? '',
      options: [['', 'Choose…'], ...fields],
    }),
    product: field({
      label: 'Product',
      name: 'product',
      value: v.product ?? '',
      attrs: { list: 'product-suggestions' },
    }),
    toFieldId: field({
      label: 'Move into',
      name: 'toFieldId',
      value: v.toFieldId ?? '',
      options: [['', 'Choose when doing it'], ...fields],
    }),
  };
  const about = field({ label: 'For', name: 'about', value: v.about, options: ABOUT });
  const action = field({ label: 'Doing it records', name: 'action', value: v.action, options: ACTIONS });
  const sync = () => {
    const a = about.querySelector('select').value;
    const act = action.querySelector('select').value;
    parts.tags.hidden = a !== 'animals';
    parts.groupId.hidden = a !== 'group';
    parts.fieldId.hidden = a !== 'field';
    parts.product.hidden = act !== 'treatment';
    parts.toFieldId.hidden = act !== 'movement';
  };
  about.addEventListener('change', sync);
  action.addEventListener('change', sync);
  sync();
  return openDialog({
    title: j ? `Edit ${j.title}` : 'Plan a job',
    submitLabel: j ? 'Save changes' : 'Plan job',
    wide: true,
    content: grid(
      field({
        label: 'What is to be done',
        name: 'title',
        value: v.title,
        required: true,
        attrs: { autofocus: true },
      }),
      field({ label: 'Due', name: 'due', type: 'date', value: v.due, required: true }),
      about,
      parts.tags,
      parts.groupId,
      parts.fieldId,
      action,
      parts.product,
      parts.toFieldId,
      field({
        label: 'Repeat every',
        name: 'every',
        value: String(v.every ?? ''),
        hint: 'Blank for once.',
        attrs: { inputmode: 'numeric' },
      }),
      field({ label: 'Unit', name: 'unit', value: v.unit, options: UNITS }),
      field({ label: 'Counted', name: 'from', value: v.from, options: FROM }),
      field({ label: 'Note', name: 'note', type: 'textarea', value: v.note, wide: true }),
    ),
    onSubmit: (form) => {
      const res = validateJob(formValues(form), app.context(j));
      if (!showErrors(form, res.ok ? {} : res.errors)) return false;
      app.commit((db) => saveJob(db, j?.id, res.value), j ? 'Job saved.' : 'Job planned.');
      return true;
    },
  });
}

function skipForm(app, j) {
  return openDialog({
    title: `Skip ${j.title}`,
    submitLabel: 'Skip it',
    content: grid(
      field({ label: 'On', name: 'on', type: 'date', value: app.today(), required: true }),
      field({ label: 'Why', name: 'reason', required: true, wide: true, attrs: { autofocus: true } }),
    ),
    onSubmit: (form) => {
      const res = validateSkip(formValues(form), app.context());
      if (!showErrors(form, res.ok ? {} : res.errors)) return false;
      app.commit((db) => skipJob(db, j.id, res.value.on, res.value.reason), `${j.title}: skipped.`);
      return true;
    },
  });
}

function moveForm(app, j) {
  return openDialog({
    title: `Move ${j.title}`,
    submitLabel: 'Move it',
    content: grid(
      field({
        label: 'New due date',
        name: 'to',
        type: 'date',
        value: j.due,
        required: true,
        attrs: { autofocus: true },
      }),
      field({ label: 'Why', name: 'reason', wide: true }),
    ),
    onSubmit: (form) => {
      const res = validateMove(formValues(form), app.context(), j);
      if (!showErrors(form, res.ok ? {} : res.errors)) return false;
      const { to, on, reason } = res.value;
      app.commit((db) => moveJob(db, j.id, to, on, reason), `${j.title}: moved to ${to}.`);
      return true;
    },
  });
}

// A product's dose schedule, kept by its name for every batch of it.
export function scheduleForm(app, product) {
  const s = scheduleOf(app.db, product) || {};
  const num = (x) => (x === null || x === undefined ? '' : String(x));
  return openDialog({
    title: `Dose schedule of ${product}`,
    submitLabel: 'Save schedule',
    content: grid(
      h(
        'p',
        { class: 'muted wide' },
        'A first dose of it then plans the second dose and the booster for the same animals.',
      ),
      field({
        label: 'Second dose, earliest day after the first',
        name: 'secondFrom',
        value: num(s.secondFrom),
        attrs: { inputmode: 'numeric', autofocus: true },
      }),
      field({
        label: 'Second dose, latest day after the first',
        name: 'secondTo',
        value: num(s.secondTo),
        attrs: { inputmode: 'numeric' },
      }),
      field({
        label: 'Booster every (months)',
        name: 'boosterMonths',
        value: num(s.boosterMonths),
        attrs: { inputmode: 'numeric' },
      }),
    ),
    onSubmit: (form) => {
      const res = validateSchedule(formValues(form));
      if (!showErrors(form, res.ok ? {} : res.errors)) return false;
      app.commit((db) => saveSchedule(db, product, res.value), `Schedule of ${product} saved.`);
      return true;
    },
  });
}

export const scheduleNote = (app, product) => {
  const s = scheduleOf(app.db, product);
  return s ? h('div', { class: 'muted' }, scheduleText(s)) : null;
};
