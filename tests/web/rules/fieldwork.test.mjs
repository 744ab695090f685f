// Field records: grazing closures after a spray, the year's nitrogen, the
// checks of a record's area, and voided records in the books. The zone is
// fixed so that the clock-change cases mean the same on every machine.
process.env.TZ = 'Europe/London';

import { test } from 'node:test';
import assert from 'node:assert/strict';
import {
  reopensAt,
  grazingConflicts,
  reopeningToday,
  nitrogenYear,
  validateSpray,
  validateNutrient,
  validateFieldRecord,
  spraysCsv,
  spraysJson,
  NOT_KNOWN,
} from '../../../resources/web/js/rules/fieldwork.js';
import { sprayBook } from '../../../resources/web/js/output/fieldbooks.js';
import { parseDatabase } from '../../../resources/web/js/core/checks.js';
import { farm, place, VOID } from '../helpers.mjs';

const spray = (date, time, grazingDays, more = {}) => ({
  id: `sp-${date}-${time}`,
  date,
  time,
  fieldIds: ['f1'],
  area: 4,
  product: 'Grazon 90',
  mapp: '12345',
  crop: 'Permanent grassland',
  dosePerHa: 2,
  doseUnit: 'l/ha',
  totalUsed: 8,
  operator: 'J. Evans',
  grazingDays,
  harvestDays: null,
  ...more,
});
const fields = [
  { ...place('f1', 'Top Field'), area: 4, nvz: true },
  { ...place('f2', 'Bottom Field'), area: 6 },
  { ...place('w', 'Wood'), area: 2, landUse: 'woodland' },
];

test('a sprayed field reopens N × 24 hours on, never earlier, across month ends and clock changes', () => {
  const cases = [
    [spray('2026-01-28', '10:00', 7), '2026-02-04 10:00'],
    // No time kept: from the end of the day.
    [spray('2026-12-31', '', 1), '2027-01-02 00:00'],
    [spray('2026-02-27', '', 2), '2026-03-02 00:00'],
    // Clocks forward on 29 March: the elapsed hours end an hour later by the clock.
    [spray('2026-03-28', '20:00', 2), '2026-03-30 21:00'],
    // Clocks back on 25 October: the same clock reading is the later.
    [spray('2026-10-24', '20:00', 2), '2026-10-26 20:00'],
    [spray('2026-05-01', '09:30', 0), '2026-05-01 09:30'],
    [spray('2026-05-01', '09:30', null), NOT_KNOWN],
  ];
  assert.deepEqual(
    cases.map(([s]) => reopensAt(s)),
    cases.map(([, end]) => end),
  );

  // A movement has no time: the day the field reopens still warns, the day after does not.
  const s = spray('2026-03-01', '10:00', 7);
  const { db } = farm({ fields, sprays: [s, { ...s, id: 'sp-void', grazingDays: 30, voided: VOID }] });
  const warned = (date, fieldId = 'f1') => grazingConflicts(db, fieldId, date).map((c) => c.opens);
  assert.deepEqual(warned('2026-03-04'), ['2026-03-08 10:00']);
  assert.deepEqual(warned('2026-03-08'), ['2026-03-08 10:00']);
  assert.deepEqual(warned('2026-03-09'), []);
  assert.deepEqual(warned('2026-02-28'), [], 'animals moved in before the spray');
  assert.deepEqual(warned('2026-03-04', 'f2'), []);
  assert.deepEqual(
    reopeningToday(db, '2026-03-08').map((r) => [r.field.name, r.opens]),
    [['Top Field', '2026-03-08 10:00']],
  );
  assert.deepEqual(reopeningToday(db, '2026-03-09'), []);
});

test('nitrogen for a year per field and over the holding, voided and other years left out', () => {
  const rec = (id, date, fieldIds, area, kind, rate, rateUnit, n, more = {}) => ({
    id,
    date,
    fieldIds,
    area,
    kind,
    product: id,
    rate,
    rateUnit,
    n,
    p: null,
    k: null,
    ...more,
  });
  const { db } = farm({
    fields,
    nutrients: [
      // 30 m³ × 2.6 kg N = 78 kg/ha on both fields, 780 kg shared 4 : 6.
      rec('slurry', '2026-03-10', ['f1', 'f2'], 10, 'livestock-manure', 30, 'm3', 2.6, { p: 1.2 }),
      rec('fym', '2026-04-01', ['f1'], 4, 'livestock-manure', 25, 't', 6),
      // 200 kg at 34.5 % N = 69 kg/ha, not organic.
      rec('an', '2026-04-20', ['f2'], 6, 'manufactured', 200, 'kg', 34.5),
      rec('compost', '2026-05-01', ['f2'], 3, 'other-organic', 10, 't', 7.5),
      rec('last year', '2025-12-31', ['f1'], 4, 'livestock-manure', 50, 't', 6),
      rec('voided', '2026-06-01', ['f1'], 4, 'livestock-manure', 50, 't', 6, { voided: VOID }),
    ],
  });
  const n = nitrogenYear(db, 2026);
  assert.deepEqual(
    n.fields.map((f) => [f.field.id, f.totalPerHa, f.organicPerHa, f.livestockKg, f.totalKg]),
    [
      ['f2', 222, 153, 468, 468 + 414 + 225],
      ['f1', 228, 228, 312 + 600, 312 + 600],
    ],
  );
  // Woodland is left out of the holding's area.
  assert.deepEqual([n.holdingHa, n.livestockKg, n.livestockPerHa, n.limitKg], [10, 1380, 138, 1700]);
  const none = nitrogenYear(farm({ fields: [] }).db, 2026);
  assert.deepEqual([none.holdingHa, none.livestockPerHa, none.fields], [0, null, []]);
});

test('an area cannot exceed the fields chosen; a blank one takes theirs, and the total follows the dose', () => {
  const { db, idx } = farm({ fields: [...fields, { ...place('f3', 'New Ley') }] });
  const ctx = { db, idx, today: '2026-06-01', editing: null };
  const typed = (more) => ({
    date: '2026-05-01',
    time: '',
    fieldIds: 'f1,f2',
    area: '',
    product: 'Grazon 90',
    mapp: '12345',
    crop: 'Grass',
    dosePerHa: '2',
    operator: 'J. Evans',
    grazingDays: '7',
    ...more,
  });
  const ok = validateSpray(typed({}), ctx);
  assert.deepEqual([ok.value.area, ok.value.totalUsed, ok.value.grazingDays], [10, 20, 7]);
  assert.match(validateSpray(typed({ area: '10.5' }), ctx).errors.area, /hold 10 ha/);
  assert.equal(validateSpray(typed({ area: '9.5', totalUsed: '19' }), ctx).ok, true);
  // A field without an area leaves nothing to check against, and asks for one.
  assert.equal(validateSpray(typed({ fieldIds: 'f3', area: '12' }), ctx).ok, true);
  assert.match(validateSpray(typed({ fieldIds: 'f3' }), ctx).errors.area, /Enter the area/);
  const refused = validateSpray(
    typed({ fieldIds: '', grazingDays: '', mapp: '', time: '25:00' }),
    ctx,
  ).errors;
  assert.deepEqual(Object.keys(refused).sort(), [
    'area',
    'fieldIds',
    'grazingDays',
    'mapp',
    'time',
    'totalUsed',
  ]);

  const details = (more) =>
    validateFieldRecord({ name: 'Long Acre', kind: 'field', area: '3', ...more }, ctx);
  assert.deepEqual(details({ landUse: 'arable', crop: 'Barley', nvz: 'on' }).value.nvz, true);
  assert.ok(details({ landUse: 'arable' }).errors.crop);
  assert.ok(details({ name: 'Top Field', landUse: 'arable' }).errors.name);

  const spread = (more) =>
    validateNutrient(
      { date: '2026-05-01', fieldIds: 'f1', product: 'Slurry', rate: '30', n: '2.6', ...more },
      ctx,
    );
  assert.deepEqual([spread({}).value.area, spread({}).value.kind], [4, 'livestock-manure']);
  assert.match(spread({ area: '5' }).errors.area, /hold 4 ha/);
  assert.ok(spread({ n: '' }).errors.n);
});

test('voided records are kept in every book marked VOID, and a file keeps their keys', () => {
  const live = spray('2026-03-01', '10:00', 7);
  const voided = { ...spray('2026-03-02', '', 7), voided: VOID };
  const { db } = farm({ fields, sprays: [live, voided], farm: { name: 'Pant', holding: '12/345/6789' } });
  const csv = spraysCsv(db, db.sprays).split('\r\n');
  assert.match(csv[2], /VOID 2026-01-01: wrong/);
  assert.doesNotMatch(csv[1], /VOID/);
  const html = sprayBook(db, db.sprays, { printedOn: '2026-06-01', from: '2026-01-01', to: '2026-06-01' });
  assert.match(html, /<tr class="void">(?:(?!<tr).)*VOID <span class="nw">2026-01-01/);
  assert.match(html, /Page 1 of 1/);
  const json = JSON.parse(
    spraysJson(db, db.sprays, { from: '2026-01-01', to: '2026-06-01', exportedAt: 'x' }),
  );
  assert.deepEqual(
    json.applications.map((a) => [a.product.authorisation, a.reopensToGrazing, a.voided?.reason ?? null]),
    [
      ['12345', '2026-03-08 10:00', null],
      ['12345', '2026-03-10 00:00', 'wrong'],
    ],
  );

  const file = (sprays) =>
    parseDatabase(JSON.stringify({ format: 'meadowline-field-keeper', schema: 3, fields, sprays }));
  const kept = file([{ ...live, sprayer: 'boom 24 m' }]);
  assert.equal(kept.db.sprays[0].sprayer, 'boom 24 m');
  assert.equal('reference' in kept.db.fields[0], false, 'a key never written stays absent');
  assert.match(file([{ ...live, grazingDays: 'seven' }]).message, /grazingDays/);
});
