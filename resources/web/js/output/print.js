// Documents composed for paper. Each is complete HTML that needs no script
// and no page globals: the application prints it in a separate view, which
// finds "print.css" next to index.html.
//
// The print view cannot number pages itself, so documents are laid out into
// pages here: every page carries the title, the print date and "Page n of
// m". Row heights are estimated from the text with room to spare, so that a
// page never overflows on the smaller of A4 and US Letter (portrait, with the
// margins the shell sets).

import { weightChartSvg } from './chart.js';
import { escapeHtml } from './html.js';
import { SEX_LABEL, STATUS_LABEL, DIRECTION_LABEL, OUTCOME_LABEL, animalLabel } from '../core/text.js';
import { fieldName, tagsOf, parentsOf, formerTags } from '../core/lookups.js';
import { herdSummary } from '../core/summaries.js';
import { lotSummary } from '../rules/lots.js';
import { inForce } from '../core/database.js';
import {
  appliedPeriod,
  fitFrom,
  describePeriod,
  lastGiven,
  stillWithdrawn,
  courseState,
  treatmentOrganic,
  fitOrUnknown,
  keepsPoultry,
} from '../rules/withdrawal.js';

const e = escapeHtml;

// Millimetres. The width is A4's inside half-inch margins; the height is
// US Letter's, less the page's own heading and a margin of safety.
export const PAGE = {
  width: 184,
  height: 222,
  charMm: 1.45,
  wordCharMm: 1.7,
  tagCharMm: 1.85,
  lineMm: 3.4,
  rowPadMm: 1.2,
  headCharMm: 1.4,
};

function linesFor(textValue, widthMm, charMm, nowrap) {
  const perLine = Math.max(1, Math.floor((widthMm - 2) / charMm));
  let lines = 0;
  for (const para of String(textValue ?? '').split('\n')) {
    if (nowrap) {
      lines += 1;
      continue;
    }
    let used = 0;
    let n = 1;
    for (const word of para.split(/[ \t]+/).filter(Boolean)) {
      const len = word.length;
      if (len > perLine) {
        n += (used ? 1 : 0) + Math.ceil(len / perLine) - 1;
        used = len % perLine;
        continue;
      }
      if (used && used + 1 + len > perLine) {
        n++;
        used = len;
      } else used += (used ? 1 : 0) + len;
    }
    lines += n;
  }
  return Math.max(1, lines);
}

// columns: [{ label, weight, tag? }] → widths in mm. Each column is at
// least as wide as the longest word of its heading and the longest word of
// its cells (tags and dates in full); what is left is shared by weight.
export function columnWidths(columns, rows) {
  // Figures and capitals are wider than small letters. Ordinary words count
  // up to twelve letters; longer ones may break.
  const wordMm = (w) =>
    [...w].reduce((mm, ch) => mm + (/[\dA-Z]/.test(ch) ? PAGE.wordCharMm : PAGE.charMm), 0);
  const whole = (w) => /\d{4}-\d\d-\d\d|\u00a0/.test(w);
  const longest = (i) =>
    Math.max(
      0,
      ...rows.map((r) =>
        Math.max(
          0,
          ...String(r[i] ?? '')
            .split(/[ \n\t]+/)
            .map((w) => wordMm(whole(w) ? w : w.slice(0, 12))),
        ),
      ),
    );
  const tagLen = (i) =>
    Math.max(
      0,
      ...rows.flatMap((r) =>
        String(r[i] ?? '')
          .split('\n')
          .map((l) => l.length),
      ),
    );
  const min = columns.map(
    (c, i) =>
      Math.max(
        ...c.label.split(' ').map((w) => w.length * PAGE.headCharMm),
        c.tag ? tagLen(i) * PAGE.tagCharMm : longest(i),
      ) + 2,
  );
  const fixed = min.reduce((a, b) => a + b, 0);
  if (fixed >= PAGE.width) return min.map((m) => (m * PAGE.width) / fixed);
  const weights = columns.reduce((sum, c) => sum + (c.tag ? 0 : c.weight || 1), 0);
  return columns.map((c, i) => min[i] + (c.tag ? 0 : ((PAGE.width - fixed) * (c.weight || 1)) / weights));
}

export function rowHeight(row, columns, widths) {
  return (
    Math.max(...row.map((v, i) => linesFor(v, widths[i], PAGE.charMm, columns[i].tag))) * PAGE.lineMm +
    PAGE.rowPadMm
  );
}

const cell = (v, c) => {
  const s = String(v ?? '');
  const cls = [
    c.tag ? 'tag' : '',
    /^\d{4}-\d{2}-\d{2}( \d\d:\d\d)?$/.test(s) ? 'date' : '',
    c.num ? 'num' : '',
  ]
    .filter(Boolean)
    .join(' ');
  return `<td${cls ? ` class="${cls}"` : ''}>${e(s).replace(/\d{4}-\d\d-\d\d/g, '<span class="nw">$&</span>')}</td>`;
};

// Splits blocks into pages. A block is { html, mm } or a table
// { columns, rows, voided?: Set of row indexes, className, empty }.
export function paginate(blocks) {
  const pages = [[]];
  let left = PAGE.height;
  const place = (html, mm) => {
    if (mm > left && pages[pages.length - 1].length) {
      pages.push([]);
      left = PAGE.height;
    }
    pages[pages.length - 1].push(html);
    left -= mm;
  };
  for (const b of blocks) {
    if (!b.columns) {
      place(b.html, b.mm);
      continue;
    }
    if (!b.rows.length) {
      place(`<p class="empty">${e(b.empty || 'Nothing recorded.')}</p>`, 8);
      continue;
    }
    const widths = columnWidths(b.columns, b.rows);
    const colgroup = `<colgroup>${widths.map((w) => `<col style="width:${w.toFixed(1)}mm">`).join('')}</colgroup>`;
    const head = `<thead><tr>${b.columns.map((c) => `<th scope="col">${e(c.label)}</th>`).join('')}</tr></thead>`;
    const headMm =
      Math.max(...b.columns.map((c, i) => linesFor(c.label, widths[i], PAGE.headCharMm, false))) * 3.2 + 2.5;
    let body = [];
    const flush = () => {
      if (body.length)
        pages[pages.length - 1].push(
          `<table class="${b.className || ''}">${colgroup}${head}<tbody>${body.join('')}</tbody></table>`,
        );
      body = [];
    };
    let headed = false;
    b.rows.forEach((r, i) => {
      const mm = rowHeight(r, b.columns, widths);
      if (!headed || mm > left) {
        if (headed || headMm + mm > left) {
          flush();
          if (pages[pages.length - 1].length) {
            pages.push([]);
            left = PAGE.height;
          }
        }
        left -= headMm;
        headed = true;
      }
      body.push(
        `<tr${b.voided?.has(i) ? ' class="void"' : ''}>${r.map((v, j) => cell(v, b.columns[j])).join('')}</tr>`,
      );
      left -= mm;
    });
    flush();
  }
  return pages;
}

export function composeDocument({ title, farm, printedOn, subtitle = '', blocks }) {
  return composePack({ title, farm, printedOn, parts: [{ title, subtitle, blocks }] });
}

// Several documents printed as one: each part starts on a page of its own
// under its own title, and the pages are counted over the whole.
export function composePack({ title, farm, printedOn, parts }) {
  const farmLine = [farm?.name, farm?.holding && `Holding ${farm.holding}`].filter(Boolean).join(' · ');
  const pages = parts.flatMap((part) => paginate(part.blocks).map((p) => ({ part, p })));
  const meta = (n, subtitle) =>
    `<p class="doc-meta"><span>${farmLine ? `${e(farmLine)} · ` : ''}${subtitle ? `${e(subtitle)} · ` : ''}Printed ${e(printedOn)}</span>` +
    `<span class="page-no">Page ${n} of ${pages.length}</span></p>`;
  return (
    '<!doctype html>\n<html lang="en"><head><meta charset="utf-8">' +
    `<title>${e(title)}</title><link rel="stylesheet" href="print.css"></head><body>` +
    pages
      .map(
        ({ part, p }, i) =>
          `<section class="page"><header class="doc-head"><h1>${e(part.title)}</h1>${meta(i + 1, part.subtitle)}</header>${p.join('')}</section>`,
      )
      .join('') +
    '</body></html>'
  );
}

// Tags in running text never break across lines either.
const whole = (tag) => tag.replace(/ /g, '\u00a0');
const tagList = (idx, ids) => tagsOf(idx, ids).map(whole).join(', ');
const note = (text) => ({ html: `<p class="count">${e(text)}</p>`, mm: 6 });
// A section's heading, in a document's blocks.
export const headingBlock = (text) => ({ html: `<h2>${e(text)}</h2>`, mm: 10 });
const plural = (n, word) => `${n} ${word}${n === 1 ? '' : 's'}`;
const voidText = (r) => (r.voided ? `VOID ${r.voided.at.slice(0, 10)}: ${r.voided.reason}` : '');
const voidedRows = (records) => new Set(records.map((r, i) => (r.voided ? i : -1)).filter((i) => i >= 0));

// Previous tags sit under the tag, so that the register fits a portrait page
// with every tag whole.
export function herdRegister(db, idx, animals, { printedOn, subtitle, datesOf }) {
  return composeDocument({
    farm: db.farm,
    printedOn,
    ...herdRegisterPart(db, idx, animals, { subtitle, datesOf }),
  });
}

export function herdRegisterPart(db, idx, animals, { subtitle, datesOf }) {
  const columns = [
    { label: 'Tag (previous tags)', tag: true },
    { label: 'Name', weight: 0.8 },
    { label: 'Species, breed, sex', weight: 1.3 },
    { label: 'Born', weight: 0.6 },
    { label: 'Dam', weight: 0.8 },
    { label: 'On: date, from', weight: 1.3 },
    { label: 'Off: date, to, cause of death', weight: 1.5 },
    { label: 'Status', weight: 0.6 },
  ];
  const rows = animals.map((a) => {
    const d = datesOf(a);
    return [
      [a.tag, ...formerTags(a).map((t) => `(${t})`)].join('\n'),
      a.name,
      [a.species, a.breed, SEX_LABEL.get(a.sex)].filter(Boolean).join(', '),
      a.dob,
      whole(parentsOf(idx, a).damText),
      [d.onDate, d.from].filter(Boolean).join(' '),
      [d.offDate, d.to, d.cause && `cause: ${d.cause}`].filter(Boolean).join(' '),
      a.voided ? 'Entered in error' : STATUS_LABEL.get(a.status).replace(/ \(.*/, ''),
    ];
  });
  return {
    title: 'Herd register',
    subtitle,
    blocks: [
      note(plural(animals.length, 'animal')),
      { columns, rows, voided: voidedRows(animals), className: 'register' },
    ],
  };
}

// The supplier of the batch a treatment was drawn from, as the purchase records it.
export function supplierOf(purchases, t) {
  const p = t.purchaseId ? purchases?.find((x) => x.id === t.purchaseId) : null;
  return p ? [p.supplier, p.supplierAddress].filter(Boolean).join(', ') : '';
}

function treatmentRow(idx, t, opts, withAnimals) {
  const period = (kind) => {
    const p = appliedPeriod(t, kind, opts);
    const fit = fitFrom(t, kind, opts);
    return p
      ? `${describePeriod(p)}${fit && p.amount ? `; fit from ${fit}` : ''}`
      : 'NOT RECORDED: withdrawal not known';
  };
  const course = lastGiven(t) === t.date ? t.date : `${t.date} to ${lastGiven(t)}`;
  const state = courseState(t, opts.today);
  const row = [course + (t.time ? ` (last ${t.time})` : '') + (state ? ` (${state})` : '')];
  if (withAnimals) row.push([tagList(idx, t.animalIds), t.target].filter(Boolean).join(' — '));
  row.push(
    [t.product, t.offLabel ? '(off-label, cascade)' : ''].filter(Boolean).join(' '),
    t.batch,
    t.dose || 'INCOMPLETE: quantity not recorded',
    t.reason,
    t.givenBy,
    [t.vet, t.vetDetails].filter(Boolean).join(', '),
    ...(withAnimals ? [supplierOf(opts.purchases, t)] : []),
    period('meat'),
    period('milk'),
    ...(opts.eggs ? [Number.isInteger(t.eggDays) ? period('eggs') : 'not asked'] : []),
    [voidText(t), t.notes].filter(Boolean).join(' '),
  );
  return row;
}

// A book printed from a searched list says so, so that it is not taken for the whole book.
export const matching = (what, query) => (query ? `${what}, matching “${query}”` : what);

export function medicineBook(db, idx, treatments, opts) {
  return composeDocument({
    farm: db.farm,
    printedOn: opts.printedOn,
    ...medicineBookPart(db, idx, treatments, opts),
  });
}

export function medicineBookPart(db, idx, treatments, { printedOn, from, to, query = '' }) {
  const eggs = keepsPoultry(db) || treatments.some((t) => Number.isInteger(t.eggDays));
  const opts = { farm: db.farm, today: printedOn, purchases: db.purchases, eggs };
  const range = matching(
    from || to ? `${from || 'the first record'} to ${to || 'the last record'}` : 'All dates',
    query,
  );
  const columns = [
    { label: 'Given (first to last)', weight: 1.3 },
    { label: 'Animals', weight: 1.6 },
    { label: 'Product', weight: 1.3 },
    { label: 'Batch', weight: 0.8 },
    { label: 'Quantity', weight: 0.8 },
    { label: 'Reason', weight: 0.9 },
    { label: 'Given by', weight: 0.9 },
    { label: 'Vet', weight: 0.9 },
    { label: 'Supplier', weight: 0.9 },
    { label: 'Meat: withdrawal, fit for food from', weight: 1.4 },
    { label: 'Milk: withdrawal, fit for food from', weight: 1.4 },
    ...(eggs ? [{ label: 'Eggs: withdrawal, fit for food from', weight: 1.2 }] : []),
    { label: 'Notes', weight: 0.8 },
  ];
  return {
    title: 'Medicine book',
    subtitle: range,
    blocks: [
      note(
        `${plural(treatments.length, 'treatment')}, ${range}${treatments.some((t) => treatmentOrganic(t, opts)) ? '; organic treatments: periods doubled, 48 hours at least' : ''}`,
      ),
      {
        columns,
        rows: treatments.map((t) => treatmentRow(idx, t, opts, true)),
        voided: voidedRows(treatments),
        className: 'book',
        empty: 'No treatments in this period.',
      },
    ],
  };
}

export function movementBook(db, idx, movements, { printedOn, subtitle, lots = [] }) {
  return composeDocument({ farm: db.farm, printedOn, ...movementBookPart(idx, movements, subtitle, lots) });
}

// A lot of batch-tagged animals, as the book names them: a number under a flock mark.
const lotRow = ({ kind, lot, rec }) => [
  rec.date,
  kind === 'on'
    ? DIRECTION_LABEL.get('on')
    : `${DIRECTION_LABEL.get('off')}: ${OUTCOME_LABEL.get(rec.outcome)}`,
  `${lot.species}, batch identified: flock mark ${lot.flockMark}`,
  String(rec.count),
  kind === 'on' ? rec.fromHolding : '',
  kind === 'on' ? '' : rec.toHolding,
  '',
  rec.documentRef,
  [voidText(rec), rec.cause && `Cause of death: ${rec.cause}`, rec.notes].filter(Boolean).join('. '),
];

// `lots` are the lines of lotMovementLines, merged in by date.
export function movementBookPart(idx, movements, subtitle, lots = []) {
  const columns = [
    { label: 'Date', weight: 0.9 },
    { label: 'Movement', weight: 1 },
    { label: 'Animals', weight: 2 },
    { label: 'Number', weight: 0.6 },
    { label: 'From (holding)', weight: 1.4 },
    { label: 'To (holding)', weight: 1.4 },
    { label: 'Field or pen', weight: 1 },
    { label: 'Document', weight: 0.9 },
    { label: 'Cause, reason, notes', weight: 1.5 },
  ];
  const entries = [
    ...movements.map((m) => ({ rec: m, row: movementRow(idx, m) })),
    ...lots.map((l) => ({ rec: l.rec, row: lotRow(l) })),
  ];
  if (lots.length) entries.sort((a, b) => (a.rec.date < b.rec.date ? -1 : a.rec.date > b.rec.date ? 1 : 0));
  const records = entries.map((x) => x.rec);
  return {
    title: 'Movement book',
    subtitle,
    blocks: [
      note(plural(records.length, 'movement')),
      {
        columns,
        rows: entries.map((x) => x.row),
        voided: voidedRows(records),
        className: 'book',
        empty: 'No movements in this period.',
      },
    ],
  };
}

function movementRow(idx, m) {
  return [
    m.date,
    [DIRECTION_LABEL.get(m.direction), OUTCOME_LABEL.get(m.outcome)].filter(Boolean).join(': '),
    tagList(idx, m.animalIds),
    String(m.animalIds.length),
    [m.from, m.fromHolding].filter(Boolean).join(', '),
    [m.to, m.toHolding].filter(Boolean).join(', '),
    fieldName(idx, m.fieldId),
    m.documentRef,
    [voidText(m), m.cause && `Cause of death: ${m.cause}`, m.reason, m.notes].filter(Boolean).join('. '),
  ];
}

export function recordCard(db, idx, animal, { printedOn, now, events }) {
  const opts = { farm: db.farm };
  const p = idx.perAnimal.get(animal.id);
  const par = parentsOf(idx, animal);
  const pairs = [
    ['Tag', animal.tag],
    [
      'Previous tags',
      (animal.tagHistory || []).map((c) => `${c.from} (until ${c.date}, ${c.reason})`).join('; '),
    ],
    ['Name', animal.name],
    ['Species', animal.species],
    ['Breed', animal.breed],
    ['Sex', SEX_LABEL.get(animal.sex)],
    ['Born', animal.dob],
    ['Dam', par.damText],
    ['Sire', par.sire],
    [
      'Status',
      animal.voided
        ? `Entered in error (${animal.voided.reason})`
        : STATUS_LABEL.get(animal.status) + (animal.statusDate ? ` on ${animal.statusDate}` : ''),
    ],
    ['Field or pen', fieldName(idx, animal.fieldId)],
    ['Notes', animal.notes],
  ].filter(([, v]) => v);
  const running = p.treatments.filter(
    (t) => inForce(t) && ['meat', 'milk'].some((k) => stillWithdrawn(fitOrUnknown(t, k, opts), now)),
  );
  const blocks = [
    {
      html: `<dl class="details">${pairs.map(([k, v]) => `<div><dt>${e(k)}</dt><dd>${e(v)}</dd></div>`).join('')}</dl>`,
      mm: Math.ceil(pairs.length / 3) * 10 + 4,
    },
  ];
  if (running.length)
    blocks.push({
      html: `<p class="warning">Under withdrawal on ${e(now)}: ${e(running.map((t) => t.product).join(', '))}</p>`,
      mm: 9,
    });
  const weights = p.weights.filter(inForce);
  blocks.push(headingBlock('Weights'));
  if (weights.length)
    blocks.push({ html: weightChartSvg(weights, { title: `Weights of ${animal.tag}` }), mm: 66 });
  blocks.push({
    columns: [{ label: 'Date' }, { label: 'Weight (kg)' }],
    rows: weights.map((w) => [w.date, String(w.kg)]),
    empty: 'No weights recorded.',
  });
  blocks.push(headingBlock('Treatments'), {
    columns: [
      { label: 'Given', weight: 1.3 },
      { label: 'Product', weight: 1.3 },
      { label: 'Batch', weight: 0.8 },
      { label: 'Quantity', weight: 0.8 },
      { label: 'Reason', weight: 0.9 },
      { label: 'Given by', weight: 0.9 },
      { label: 'Vet', weight: 0.9 },
      { label: 'Meat withdrawal', weight: 1.4 },
      { label: 'Milk withdrawal', weight: 1.4 },
      { label: 'Notes', weight: 0.8 },
    ],
    rows: p.treatments.map((t) => treatmentRow(idx, t, opts, false)),
    voided: voidedRows(p.treatments),
    empty: 'No treatments recorded.',
  });
  blocks.push(headingBlock('Births and movements'), {
    columns: [
      { label: 'Date', weight: 1 },
      { label: 'Event', weight: 5 },
    ],
    rows: events.map((ev) => [ev.date, `${ev.text}${ev.record.voided ? ` — ${voidText(ev.record)}` : ''}`]),
    voided: voidedRows(events.map((ev) => ev.record)),
    empty: 'No births or movements recorded.',
  });
  return composeDocument({ title: `Record card: ${animalLabel(animal)}`, farm: db.farm, printedOn, blocks });
}

export function farmSummary(db, idx, { printedOn, withdrawals, recent }) {
  const { rows, totals } = herdSummary(db, lotSummary(db));
  const kinds = ['on-farm', 'away', 'sold', 'died'];
  const blocks = [
    headingBlock('Herd by species and status'),
    {
      columns: ['Species', 'On farm', 'Away', 'Sold', 'Died'].map((label) => ({ label })),
      rows: [
        ...rows.map((r) => [r.species, ...kinds.map((k) => String(r[k]))]),
        ['All', ...kinds.map((k) => String(totals[k]))],
      ],
      empty: 'No animals recorded.',
    },
    headingBlock('Withdrawals running'),
    {
      columns: [
        { label: 'Animal', weight: 1.4 },
        { label: 'Meat fit for food from' },
        { label: 'Milk fit for food from' },
        { label: 'Products', weight: 1.6 },
      ],
      rows: withdrawals.map((w) => [
        animalLabel(w.animal),
        w.meatEnd || '',
        w.milkEnd || '',
        w.products.join(', '),
      ]),
      empty: 'No animal is under withdrawal.',
    },
    headingBlock('Recent events'),
    {
      columns: [{ label: 'Date' }, { label: 'Event', weight: 2.5 }, { label: 'Animals', weight: 2 }],
      rows: recent.map((ev) => [ev.date, ev.text, ev.animals]),
    },
  ];
  return composeDocument({ title: 'Farm overview', farm: db.farm, printedOn, blocks });
}

export function listDocument(db, { printedOn, ...list }) {
  return composeDocument({ farm: db.farm, printedOn, ...listPart(list) });
}

export function listPart({ title, subtitle, header, rows, tagColumn = -1, voided, empty }) {
  const columns = header.map((label, i) => ({ label, tag: i === tagColumn }));
  return { title, subtitle, blocks: [{ columns, rows, voided, empty }] };
}
