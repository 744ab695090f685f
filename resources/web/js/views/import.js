// The import screen's glue: read the file, match its columns, preview, and
// write only on confirmation, after a safety copy.

import { h, button, nf } from '../ui/dom.js';
import { parseCsv, guessMapping, planImport, applyImport, IMPORT_FIELDS } from '../rules/import.js';
import { decodeUtf8 } from '../core/base64.js';

const PREVIEW_ROWS = 10;

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
      Object.assign(st, { name: file.name, parsed: null, mapping: [], error: '', done: '' });
      try {
        const parsed = parseCsv(decodeUtf8(new Uint8Array(await file.arrayBuffer())));
        if (parsed.ok) Object.assign(st, { parsed, mapping: guessMapping(parsed.header) });
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
    h('h2', { id: 'csv-import-title' }, 'Import animals and weights from a spreadsheet'),
    h(
      'p',
      {},
      'A CSV file with one animal or one weighing per row. You match its columns, see what will be added and which rows are wrong, and nothing is written until you confirm.',
    ),
    h('label', { for: 'csv-import-file' }, 'CSV file'),
    input,
    box,
  );
}

function preview(app, st) {
  const plan = planImport(st.parsed, st.mapping, app.db, app.idx, app.today());
  const columns = st.parsed.header.map((name, i) =>
    h(
      'div',
      { class: 'form-field' },
      h('label', { for: `csv-col-${i}` }, name || `Column ${i + 1}`),
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
    ...plan.weights.map((w) => [tagOf(w.animalId), '', '', '', w.date, `weight ${w.kg} kg`]),
  ].slice(0, PREVIEW_ROWS);
  const canImport = plan.animals.length + plan.weights.length > 0;
  return h(
    'div',
    { class: 'import-preview' },
    h('h3', {}, `Columns of “${st.name}”`),
    h('div', { class: 'form-grid' }, columns),
    h(
      'p',
      { id: 'csv-import-summary' },
      `${nf.format(plan.rows)} rows read: ${nf.format(plan.animals.length)} new animals and ${nf.format(plan.weights.length)} weights to add; ` +
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
          Object.assign(st, { parsed: null, name: '' });
          app.rerender();
        },
        { attrs: { 'data-key': 'csv-import-cancel' } },
      ),
    ),
  );
}

async function confirmImport(app, st) {
  if (!(await app.safetySnapshot('before import'))) return;
  // The records may have changed while the snapshot was taken: check again.
  const fresh = planImport(st.parsed, st.mapping, app.db, app.idx, app.today());
  const n = app.commit((db) => applyImport(db, fresh));
  Object.assign(st, {
    parsed: null,
    done: `Imported ${nf.format(n.animals)} animals and ${nf.format(n.weights)} weights from “${st.name}”; ${nf.format(fresh.errors.length)} rows left out.`,
  });
  app.rerender();
}
