// The medicine cabinet: purchases, what each batch has left, and which are
// out of date or used up; the purchase book is printed and exported from here.

import { h, button, nf } from '../ui/dom.js';
import { newestFirst } from '../core/dates.js';
import { pagedTable, viewHeading, filterBox } from '../ui/ui.js';
import { fold } from '../core/text.js';
import { inForce } from '../core/database.js';
import { stockOf, batchState, purchasesCsv } from '../rules/cabinet.js';
import { listDocument } from '../output/print.js';
import { purchaseList } from '../rules/lists.js';
import { purchaseForm, disposalForm } from '../ui/forms.js';
import { voidCell, rowClass } from './cells.js';
import { scheduleForm, scheduleNote } from './jobs.js';

export function cabinetView(app) {
  const { db } = app;
  const today = app.today();
  const stock = stockOf(db);
  const st = app.vs('cabinet', { query: '', show: 'stock', page: 0, pageSize: 100 });
  const all = newestFirst(db.purchases);
  const flags = (p) => batchState(stock.get(p.id), today);
  const filtered = () => {
    const q = fold(st.query.trim());
    return all.filter(
      (p) =>
        (st.show === 'all' || (inForce(p) && !flags(p).usedUp)) &&
        (!q || fold([p.product, p.batch, p.supplier, p.notes].join(' ')).includes(q)),
    );
  };
  const results = h('div', { class: 'results' });
  const count = h('p', { class: 'count', role: 'status' });
  const badge = (cls, t) => h('span', { class: `badge ${cls}` }, t);
  const update = () => {
    const rows = filtered();
    count.textContent = `${nf.format(rows.length)} batch${rows.length === 1 ? '' : 'es'}`;
    results.replaceChildren(
      pagedTable({
        key: 'cab',
        state: st,
        rows,
        rowClass,
        onChange: () => {
          const k = app.focusKey();
          update();
          app.refocus(k);
        },
        emptyText: db.purchases.length ? 'No batch matches.' : 'No medicine purchases recorded yet.',
        columns: [
          { key: 'date', label: 'Bought', cell: (p) => p.date, className: 'date' },
          {
            key: 'product',
            label: 'Product',
            cell: (p) => [
              p.product,
              p.antibiotic ? [' ', badge('info', 'antibiotic')] : null,
              scheduleNote(app, p.product),
            ],
          },
          { key: 'batch', label: 'Batch', cell: (p) => p.batch },
          {
            key: 'expiry',
            label: 'Expiry',
            cell: (p) => {
              const f = flags(p);
              return f.expired
                ? badge('danger', `expired ${p.expiry}`)
                : f.nearExpiry
                  ? badge('warn', `expires ${p.expiry}`)
                  : p.expiry;
            },
          },
          {
            key: 'left',
            label: 'Left',
            className: 'num',
            cell: (p) => {
              const s = stock.get(p.id);
              const f = flags(p);
              const gone = s.disposed ? `, ${nf.format(s.disposed)} disposed of` : '';
              const t = `${nf.format(s.left)} of ${nf.format(p.quantity)} ${p.unit}${gone}`;
              return f.short
                ? badge('danger', `${t}: more used than bought`)
                : f.usedUp
                  ? badge('muted', `used up (${nf.format(p.quantity)} ${p.unit})`)
                  : t;
            },
          },
          { key: 'supplier', label: 'Supplier', cell: (p) => p.supplier },
          {
            key: 'wd',
            label: 'Withdrawal',
            cell: (p) =>
              `meat ${p.meatDays ?? '?'} d, milk ${p.milkPeriod ?? '?'} ${p.milkUnit === 'hours' ? 'h' : 'd'}`,
          },
          {
            key: 'act',
            label: 'Actions',
            cell: (p) => [
              voidCell(app, 'purchases', p, `purchase of ${p.product} batch ${p.batch}`, `cab-${p.id}`, () =>
                purchaseForm(app, p),
              ),
              button('Dose schedule', () => scheduleForm(app, p.product), {
                kind: 'small',
                attrs: { 'data-key': `cab-${p.id}-schedule`, 'aria-label': `Dose schedule of ${p.product}` },
              }),
              inForce(p) && stock.get(p.id).left > 0
                ? button('Dispose of', () => disposalForm(app, p), {
                    kind: 'small',
                    attrs: { 'data-key': `cab-${p.id}-dispose` },
                  })
                : null,
            ],
          },
        ],
      }),
    );
  };
  const input = filterBox({ id: 'cab-filter', state: st, onChange: update });
  const show = h(
    'select',
    {
      id: 'cab-show',
      'data-key': 'cab-show',
      onchange: (ev) => {
        st.show = ev.target.value;
        st.page = 0;
        update();
      },
    },
    [
      ['stock', 'In stock'],
      ['all', 'Every purchase (the purchase book)'],
    ].map(([v, l]) => h('option', { value: v, selected: v === st.show }, l)),
  );
  const book = () => all;
  update();
  const el = h(
    'div',
    { class: 'view' },
    viewHeading(
      'Medicine cabinet',
      'Medicines bought, batch by batch, and what is left after the treatments that used them.',
    ),
    h(
      'div',
      { class: 'actions' },
      button('Record purchase', () => purchaseForm(app), {
        kind: 'primary',
        attrs: { 'data-key': 'cab-add' },
      }),
      button(
        'Purchase book (CSV)',
        () => app.exportCsv(purchasesCsv(book().slice().reverse(), stock), 'Purchase book'),
        { attrs: { 'data-key': 'cab-csv' } },
      ),
    ),
    h(
      'div',
      { class: 'toolbar', role: 'group', 'aria-label': 'Filters' },
      h('div', { class: 'filter grow' }, h('label', { for: 'cab-filter' }, 'Find in the list'), input),
      h('div', { class: 'filter' }, h('label', { for: 'cab-show' }, 'Show'), show),
    ),
    count,
    results,
  );
  return {
    title: 'Medicine cabinet',
    el,
    print: () => {
      const rows = book().slice().reverse();
      return listDocument(db, {
        title: 'Medicine purchase book',
        printedOn: today,
        subtitle: 'Every medicine bought, with its batch, expiry and supplier',
        ...purchaseList(rows, stock),
      });
    },
  };
}
