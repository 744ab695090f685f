// The inspection pack: the books an inspector asks to see, for one period,
// printed as one document so that nothing is left behind at the printer.

import { escapeHtml as e } from './html.js';
import {
  composePack,
  headingBlock,
  herdRegisterPart,
  listPart,
  medicineBookPart,
  movementBookPart,
} from './print.js';
import { inDateRange, spanInRange } from '../core/ranges.js';
import { lastGiven } from '../rules/withdrawal.js';
import { disposalsOf, stockOf } from '../rules/cabinet.js';
import { purchaseList } from '../rules/lists.js';
import { registerAnimals, animalOrders, KEEP_YEARS } from '../rules/herd-list.js';
import { registerDatesOf } from '../rules/history.js';
import { headCountTable, deathsTable, lastInventoryDate } from '../rules/reports.js';
import { lotMovementLines } from '../rules/lots.js';
import { sprayBookPart, nutrientBookPart } from './fieldbooks.js';

export const PACK_TITLE = 'Inspection pack';

const byDate = (a, b) => (a.date < b.date ? -1 : a.date > b.date ? 1 : 0);

function tablePart(title, subtitle, table, empty) {
  return {
    title,
    subtitle,
    blocks: [
      headingBlock(table.title),
      { columns: table.header.map((label) => ({ label })), rows: table.rows, empty },
    ],
  };
}

// A batch belongs to the period when it was bought or disposed of within it.
const purchasesIn = (db, from, to) =>
  db.purchases
    .filter((p) => inDateRange(p.date, from, to) || disposalsOf(p).some((d) => inDateRange(d.date, from, to)))
    .sort(byDate);

export function inspectionPack(db, idx, { printedOn, from, to }) {
  const period = `${from} to ${to}`;
  const countOn = lastInventoryDate(to);
  const books = [
    medicineBookPart(
      db,
      idx,
      db.treatments.filter((t) => spanInRange(t.date, lastGiven(t), from, to)).sort(byDate),
      { printedOn, from, to },
    ),
    listPart({
      title: 'Medicine purchase book',
      subtitle: `Medicines bought or disposed of, ${period}`,
      empty: 'No medicine bought or disposed of in this period.',
      ...purchaseList(purchasesIn(db, from, to), stockOf(db)),
    }),
    herdRegisterPart(
      db,
      idx,
      // In the Animals screen's own order, by tag.
      registerAnimals(db, printedOn).sort(animalOrders(idx, new Map()).tag),
      {
        subtitle: `Every animal kept in the last ${KEEP_YEARS} years`,
        datesOf: registerDatesOf(db, idx),
      },
    ),
    movementBookPart(
      idx,
      db.movements.filter((m) => inDateRange(m.date, from, to)).sort(byDate),
      period,
      lotMovementLines(db, from, to),
    ),
    tablePart('1 December inventory', `Head count on ${countOn}`, headCountTable(db, countOn)),
    tablePart('Deaths by cause', period, deathsTable(db, idx, from, to), 'No deaths in this period.'),
    sprayBookPart(db, (db.sprays ?? []).filter((s) => inDateRange(s.date, from, to)).sort(byDate), {
      from,
      to,
    }),
    nutrientBookPart(db, (db.nutrients ?? []).filter((r) => inDateRange(r.date, from, to)).sort(byDate), {
      from,
      to,
      year: to.slice(0, 4),
    }),
  ];
  const f = db.farm || {};
  const line = (label, value) => (value ? `<p><strong>${e(label)}:</strong> ${e(value)}</p>` : '');
  // The format has no address of its own; one kept under the farm is shown.
  const address = typeof f.address === 'string' ? f.address : '';
  const cover = {
    title: PACK_TITLE,
    subtitle: period,
    blocks: [
      {
        html:
          line('Farm', f.name) +
          line('Holding number', f.holding) +
          line('Address', address) +
          line('Period', period) +
          line('Printed', printedOn),
        mm: 40,
      },
      headingBlock('Books in this pack'),
      { html: `<ol>${books.map((b) => `<li>${e(b.title)}</li>`).join('')}</ol>`, mm: 8 * books.length },
    ],
  };
  return composePack({ title: PACK_TITLE, farm: db.farm, printedOn, parts: [cover, ...books] });
}
