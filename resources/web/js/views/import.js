// The import screen's glue: read the file, match its columns, preview, and
// write only on confirmation, after a safety copy.

import { h, button, nf } from '../ui/dom.js';
import { parseCsv, guessMapping, planSteps, applyImport, IMPORT_FIELDS } from '../rules/import.js';
import { rememberedLayout, rememberLayout, LB_KG } from '../rules/device-files.js';
import { decodeUtf8 } from '../core/base64.js';

const PREVIEW_ROWS = 10;
const FIELD_KEYS = new Set(IMPORT_FIELDS.map(([k]) => k));

export function importSection(app) {
  const st = app.vs('csv-import', { name: '', parsed: null, mapping: [], error: '', done: '' });
  const box = h('div', { id: 'csv-import-result', role: 'status' });
  const input = h('input', {
    id: 'csv-import-file',
    type: 'file',
    accept: '.csv,.txt,text/csv',
    'data-key': 'csv-import-file',
    onchange: async (ev) => {
      const file = ev.target.files[0];
      ev.target.value = '';
      if (!file) return;
      Object.assign(st, {
        name: file.name,
        parsed: null,
        planning: null,
        mapping: [],
        error: '',
        done: '',
        sessionDate: '',
      });
      try {
        const parsed = parseCsv(decodeUtf8(new Uint8Array(await file.arrayBuffer())));
        if (parsed.ok) startPreview(app, st, parsed);
        else st.error = parsed.message;
      } catch {
        st.error = 'The file is not UTF-8 text. Save it from the spreadsheet as “CSV UTF-8” and try again.';
      }
      app.rerender();
    },
  });
  if (st.error)
    box.append(
      h('p', { class: 'notice error' }, `“${st.name}” cannot be read: ${st.error} Nothing was changed.`),
    );
  if (st.done) box.append(h('p', { class: 'notice info' }, st.done));
  if (st.parsed) box.append(preview(app, st));
  return h(
    'section',
    { class: 'card', 'aria-labelledby': 'csv-import-title' },
    h('h2', { id: 'csv-import-title' }, 'Import animals and weights from a spreadsheet, a reader or a scale'),
    h(
      'p',
      {},
      'A CSV file with one animal or one weighing per row, from a spreadsheet, an electronic-ID reader or a weigh scale. You match its columns, see what will be added and which rows are wrong, and nothing is written until you confirm.',
    ),
    h('label', { for: 'csv-import-file' }, 'CSV file'),
    input,
    box,
  );
}

// A layout matched before is matched the same way again.
function startPreview(app, st, parsed) {
  const guess = guessMapping(parsed.header, parsed);
  const known = rememberedLayout(app.db.farm, parsed);
  Object.assign(st, {
    parsed,
    guess,
    mapping: known ? known.mapping.map((k) => (FIELD_KEYS.has(k) ? k : '')) : guess,
    remembered: !!known,
    dateOrder: known?.dateOrder ?? '',
  });
}

// A session of thousands of rows is checked in short tasks; its plan is
// kept until the file, the farmer's choices or the records change.
const SLICE_MS = 25;
const planKey = (app, st) =>
  JSON.stringify([st.mapping, st.dateOrder, st.sessionDate, app.db.revision, app.today()]);

function startPlan(app, st, onDone) {
  const steps = planSteps(st.parsed, st.mapping, app.db, app.idx, app.today(), {
    dateOrder: st.dateOrder,
    sessionDate: st.sessionDate,
  });
  const job = { key: planKey(app, st), db: app.db, parsed: st.parsed, plan: null };
  const slice = () => {
    const t0 = performance.now();
    let r;
    do r = steps.next();
    while (!r.done && performance.now() - t0 < SLICE_MS);
    return r.done ? r.value : null;
  };
  const more = () => {
    // Overtaken by another file, choice or change: whoever waits hears so.
    if (st.planning !== job) return onDone(null, true);
    job.plan = slice();
    if (job.plan) onDone(job.plan, true);
    else setTimeout(more, 0);
  };
  st.planning = job;
  job.plan = slice();
  if (job.plan) onDone(job.plan, false);
  else setTimeout(more, 0);
  return job;
}

const current = (app, st) =>
  st.planning?.key === planKey(app, st) && st.planning.db === app.db && st.planning.parsed === st.parsed;

// The plan for the preview, or null while the rows are being checked.
function planOf(app, st) {
  if (!current(app, st)) startPlan(app, st, (plan, later) => plan && later && app.rerender());
  return st.planning.plan;
}

// A plan checked against the records as they are now, for the import itself.
async function freshPlan(app, st) {
  const parsed = st.parsed;
  while (parsed && st.parsed === parsed) {
    const plan = await new Promise((done) => startPlan(app, st, done));
    // The change in a task of its own, not after the last rows checked.
    await new Promise((next) => setTimeout(next, 0));
    if (current(app, st)) return plan;
  }
  return null;
}

const sample = (rows, i) => rows.find((r) => (r.cells[i] ?? '').trim())?.cells[i].trim() ?? '';

function preview(app, st) {
  const plan = planOf(app, st) ?? {
    pending: true,
    animals: [],
    weights: [],
    errors: [],
    rows: st.parsed.rows.length,
  };
  const columns = st.parsed.header.map((name, i) =>
    h(
      'div',
      { class: 'form-field' },
      h(
        'label',
        { for: `csv-col-${i}` },
        name || `Column ${i + 1}${sample(st.parsed.rows, i) ? ` (${sample(st.parsed.rows, i)})` : ''}`,
      ),
      h(
        'select',
        {
          id: `csv-col-${i}`,
          'data-key': `csv-col-${i}`,
          onchange: (ev) => {
            st.mapping[i] = ev.target.value;
            app.rerender();
          },
        },
        [['', 'Leave out'], ...IMPORT_FIELDS].map(([k, l]) =>
          h('option', { value: k, selected: st.mapping[i] === k }, l),
        ),
      ),
    ),
  );
  const byId = new Map(plan.animals.map((a) => [a.id, a]));
  const tagOf = (id) => byId.get(id)?.tag ?? app.idx.animalsById.get(id)?.tag ?? '';
  const rows = [
    ...plan.animals.map((a) => [a.tag, a.eid ?? '', a.species, a.sex, a.dob, 'new animal']),
    ...plan.weights.map((w) => [
      tagOf(w.animalId),
      '',
      '',
      '',
      w.date,
      w.lb ? `weight ${w.kg} kg (${w.lb} lb)` : `weight ${w.kg} kg`,
    ]),
  ].slice(0, PREVIEW_ROWS);
  const canImport =
    !plan.pending && !st.importing && !plan.ask?.length && plan.animals.length + plan.weights.length > 0;
  return h(
    'div',
    { class: 'import-preview' },
    h('h3', {}, `Columns of “${st.name}”`),
    st.parsed.headerless
      ? h(
          'p',
          { class: 'notice info' },
          'This file has no header line: its first line is read as data. Name its columns below; they are guessed from what they hold.',
        )
      : null,
    st.remembered
      ? h('p', { class: 'notice info' }, 'Columns matched as you matched this layout last time.')
      : null,
    h('div', { class: 'form-grid' }, columns, questions(app, st, plan)),
    notes(st, plan),
    h(
      'p',
      { id: 'csv-import-summary' },
      plan.pending
        ? `Checking ${nf.format(plan.rows)} rows…`
        : `${nf.format(plan.rows)} rows read: ${nf.format(plan.animals.length)} new animals and ${nf.format(plan.weights.length)} weights to add; ` +
            `${nf.format(plan.errors.length)} row${plan.errors.length === 1 ? '' : 's'} with errors, which will be left out.`,
    ),
    plan.errors.length
      ? h(
          'div',
          { class: 'import-errors' },
          h(
            'table',
            { class: 'compact', id: 'csv-import-errors' },
            h('caption', {}, 'Rows left out'),
            h(
              'thead',
              {},
              h('tr', {}, h('th', { scope: 'col' }, 'Line'), h('th', { scope: 'col' }, 'Problem')),
            ),
            h(
              'tbody',
              {},
              plan.errors
                .slice(0, 500)
                .map((e) => h('tr', {}, h('td', {}, String(e.line)), h('td', {}, e.message))),
            ),
          ),
        )
      : null,
    rows.length
      ? h(
          'table',
          { class: 'compact' },
          h('caption', {}, `The first ${nf.format(rows.length)} of what will be added`),
          h(
            'thead',
            {},
            h(
              'tr',
              {},
              ['Tag', 'Electronic ID', 'Species', 'Sex', 'Date', 'What'].map((t) =>
                h('th', { scope: 'col' }, t),
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
                r.map((c) => h('td', {}, c)),
              ),
            ),
          ),
        )
      : null,
    h(
      'div',
      { class: 'row' },
      button(
        `Import ${nf.format(plan.animals.length)} animals and ${nf.format(plan.weights.length)} weights`,
        () => confirmImport(app, st),
        { kind: 'primary', attrs: { 'data-key': 'csv-import-go', disabled: !canImport } },
      ),
      button(
        'Cancel',
        () => {
          Object.assign(st, { parsed: null, planning: null, name: '' });
          app.rerender();
        },
        { attrs: { 'data-key': 'csv-import-cancel' } },
      ),
    ),
  );
}

// The date order when the file's dates do not tell it, and the day of a
// session file without dates.
function questions(app, st, plan) {
  const out = [];
  if (plan.ask?.includes('dateOrder') || (st.dateOrder && !plan.evidence?.order))
    out.push(
      h(
        'div',
        { class: 'form-field' },
        h('label', { for: 'csv-date-order' }, 'This file’s dates, such as 03/04/2026, are written'),
        h(
          'select',
          {
            id: 'csv-date-order',
            'data-key': 'csv-date-order',
            onchange: (ev) => {
              st.dateOrder = ev.target.value;
              app.rerender();
            },
          },
          [
            ['', 'Choose…'],
            ['dmy', 'Day first (3 April 2026)'],
            ['mdy', 'Month first (March 4, 2026)'],
          ].map(([k, l]) => h('option', { value: k, selected: st.dateOrder === k }, l)),
        ),
      ),
    );
  const weighs = st.mapping.includes('kg') || st.mapping.includes('lb');
  if (weighs && !st.mapping.includes('weightDate'))
    out.push(
      h(
        'div',
        { class: 'form-field' },
        h('label', { for: 'csv-session-date' }, 'Date of the weighing (the file has no date column)'),
        h('input', {
          id: 'csv-session-date',
          type: 'date',
          value: st.sessionDate,
          max: app.today(),
          'data-key': 'csv-session-date',
          onchange: (ev) => {
            st.sessionDate = ev.target.value;
            app.rerender();
          },
        }),
      ),
    );
  return out;
}

function notes(st, plan) {
  const out = [];
  if (plan.ask?.length)
    out.push(
      h(
        'p',
        { class: 'notice warn', id: 'csv-import-ask' },
        plan.ask.includes('dateOrder')
          ? 'None of this file’s dates says whether the day or the month comes first: choose above, then the rows are checked.'
          : 'Enter the date of the weighing above, then the rows are checked.',
      ),
    );
  if (plan.evidence?.order === 'dmy' || plan.evidence?.order === 'mdy')
    out.push(
      h(
        'p',
        { class: 'notice info' },
        `Dates read ${plan.evidence.order === 'dmy' ? 'day' : 'month'} first, as ${plan.evidence.by} in the file shows.`,
      ),
    );
  const lb = plan.converted + (plan.lbBirths ?? 0);
  if (lb)
    out.push(
      h(
        'p',
        { class: 'notice info', id: 'csv-import-units' },
        `${nf.format(lb)} weight${lb === 1 ? '' : 's'} in pounds converted to kilograms (1 lb = ${LB_KG} kg), rounded to 0.1 kg (0.01 kg under 10 kg).`,
      ),
    );
  const left = st.parsed.header.filter((name, i) => name && !st.mapping[i]);
  if (left.length) out.push(h('p', { class: 'muted' }, `Left out: ${left.join(', ')}.`));
  return out;
}

async function confirmImport(app, st) {
  st.importing = true;
  try {
    await importNow(app, st);
  } finally {
    st.importing = false;
  }
}

async function importNow(app, st) {
  if (!(await app.safetySnapshot('before import'))) return;
  // The records may have changed while the snapshot was taken: check again.
  const fresh = await freshPlan(app, st);
  if (!fresh || fresh.ask?.length) return;
  const matched =
    st.parsed.headerless ||
    st.remembered ||
    st.mapping.some((k, i) => k !== st.guess[i]) ||
    (st.dateOrder && !fresh.evidence?.order);
  const n = app.commit((db) => {
    if (matched) rememberLayout(db.farm, st.parsed, st.mapping, fresh.evidence?.order ? '' : st.dateOrder);
    return applyImport(db, fresh);
  });
  // Not made: the banner says why, and the preview stays to try again.
  if (!n) return;
  // The change draws the screen again in a task of its own.
  Object.assign(st, {
    parsed: null,
    planning: null,
    done: `Imported ${nf.format(n.animals)} animals and ${nf.format(n.weights)} weights from “${st.name}”; ${nf.format(fresh.errors.length)} rows left out.`,
  });
}
