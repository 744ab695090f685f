// The spray record book and the nutrient book, on paper: one row an
// application, voided ones kept and marked VOID, with the year's nitrogen
// beside the nitrate-vulnerable-zone limits at the end of the nutrient book.

import { escapeHtml as e } from './html.js';
import { composeDocument, headingBlock } from './print.js';
import {
  sprayRow,
  nutrientRow,
  nitrogenYear,
  NVZ_SOURCE,
  HOLDING_LIMIT,
  FIELD_LIMIT,
  SPRAY_KEEP_YEARS,
  NUTRIENT_KEEP_YEARS,
} from '../rules/fieldwork.js';

const note = (t) => ({ html: `<p class="count">${e(t)}</p>`, mm: 6 });
const voidedRows = (records) => new Set(records.flatMap((r, i) => (r.voided ? [i] : [])));
const plural = (n, word) => `${n} ${word}${n === 1 ? '' : 's'}`;
const join = (...parts) => parts.filter(Boolean).join(', ');
const periodText = (from, to) => `${from || 'the first record'} to ${to || 'the last record'}`;

export function sprayBookPart(db, sprays, { from, to }) {
  const columns = [
    { label: 'Date, time', weight: 0.9 },
    { label: 'Fields (reference), area', weight: 1.3 },
    { label: 'Crop (EPPO, BBCH)', weight: 1 },
    { label: 'Product (MAPP no.)', weight: 1.2 },
    { label: 'Dose, total, water', weight: 1.1 },
    { label: 'Operator (certificate)', weight: 1 },
    { label: 'Reason', weight: 0.9 },
    { label: 'Weather', weight: 0.9 },
    { label: 'Grazing interval, reopens', weight: 1.1 },
    { label: 'Harvest interval', weight: 0.6 },
    { label: 'Notes', weight: 0.9 },
  ];
  const rows = sprays.map((s) => {
    const r = sprayRow(db, s);
    return [
      join(r[0], r[1]),
      `${r[2]}${r[3] ? ` (${r[3]})` : ''}, ${r[4]} ha`,
      `${r[5]}${r[6] || r[7] ? ` (${join(r[6], r[7] && `BBCH ${r[7]}`)})` : ''}`,
      `${r[8]} (MAPP ${r[9]})`,
      join(r[10], `total ${r[11]}`, r[12] && `water ${r[12]} l/ha`),
      `${r[13]}${r[14] ? ` (${r[14]})` : ''}`,
      r[15],
      join(r[16] && `wind ${r[16]}`, r[17]),
      r[18] === '' ? 'NOT RECORDED: field closed' : `${r[18]} days; ${r[19]}`,
      r[20] === '' ? '' : `${r[20]} days`,
      join(r[22], r[21]),
    ];
  });
  const range = periodText(from, to);
  return {
    title: 'Spray record book',
    subtitle: range,
    blocks: [
      note(
        `${plural(sprays.length, 'application')} of plant protection products, ${range}. Kept ${SPRAY_KEEP_YEARS} years at least (Regulation (EC) 1107/2009 art. 67; Implementing Regulation (EU) 2023/564).`,
      ),
      { columns, rows, voided: voidedRows(sprays), className: 'book', empty: 'No sprays in this period.' },
    ],
  };
}

export function nutrientBookPart(db, records, { from, to, year }) {
  const columns = [
    { label: 'Date', weight: 0.8 },
    { label: 'Fields, area (ha)', weight: 1.3 },
    { label: 'Kind', weight: 1.1 },
    { label: 'Product or manure', weight: 1.1 },
    { label: 'Rate', weight: 0.7 },
    { label: 'N, P2O5, K2O content', weight: 0.9 },
    { label: 'N kg/ha', weight: 0.6, num: true },
    { label: 'Totals N, P2O5, K2O (kg)', weight: 1 },
    { label: 'Method, by', weight: 0.9 },
    { label: 'Notes', weight: 0.9 },
  ];
  const rows = records.map((x) => {
    const r = nutrientRow(db, x);
    return [
      r[0],
      `${r[1]}, ${r[2]}`,
      r[3],
      r[4],
      r[5],
      [r[6], r[7] || '–', r[8] || '–'].join(', '),
      r[9],
      [r[10], r[11] || '–', r[12] || '–'].join(', '),
      join(r[13], r[14] && `by ${r[14]}`),
      join(r[16], r[15]),
    ];
  });
  const n = nitrogenYear(db, year);
  const range = periodText(from, to);
  return {
    title: 'Nutrient book',
    subtitle: range,
    blocks: [
      note(
        `${plural(records.length, 'application')} of fertiliser or manure, ${range}. Kept ${NUTRIENT_KEEP_YEARS} years at least.`,
      ),
      {
        columns,
        rows,
        voided: voidedRows(records),
        className: 'book',
        empty: 'Nothing spread in this period.',
      },
      headingBlock(`Nitrogen in ${year}`),
      {
        columns: [
          { label: 'Field' },
          { label: 'NVZ' },
          { label: 'Total N kg/ha' },
          { label: `Organic N kg/ha (limit ${FIELD_LIMIT})` },
          { label: 'Livestock manure N kg' },
        ],
        rows: [
          ...n.fields.map((f) => [
            f.field.name,
            f.field.nvz ? 'yes' : '',
            String(f.totalPerHa),
            `${f.organicPerHa}${f.organicPerHa > FIELD_LIMIT ? ' OVER' : ''}`,
            String(f.livestockKg),
          ]),
          [
            `Holding (${n.holdingHa} ha)`,
            '',
            '',
            `${n.livestockPerHa ?? '–'} kg/ha from livestock manure (limit ${HOLDING_LIMIT})${n.livestockPerHa > HOLDING_LIMIT ? ' OVER' : ''}`,
            String(n.livestockKg),
          ],
        ],
      },
      {
        html: `<p class="count">${e(`${NVZ_SOURCE}. Manure left by grazing animals counts towards the holding limit too; it is not in these records.`)}</p>`,
        mm: 12,
      },
    ],
  };
}

export const sprayBook = (db, sprays, opts) =>
  composeDocument({ farm: db.farm, printedOn: opts.printedOn, ...sprayBookPart(db, sprays, opts) });

export const nutrientBook = (db, records, opts) =>
  composeDocument({ farm: db.farm, printedOn: opts.printedOn, ...nutrientBookPart(db, records, opts) });
