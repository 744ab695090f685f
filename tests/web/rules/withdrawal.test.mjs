// Withdrawal arithmetic across course ends, hours, month ends, leap days and
// daylight-saving changes. The zone is fixed so that the hour cases mean the
// same on every machine; day arithmetic must not depend on it.
process.env.TZ = 'Europe/London';

import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { isIsoDate, addDays } from '../../../resources/web/js/core/dates.js';
import {
  fitFrom,
  appliedPeriod,
  describePeriod,
  stillWithdrawn,
  withdrawalsRunning,
  withdrawalConflicts,
  conflictText,
  NOT_KNOWN,
} from '../../../resources/web/js/rules/withdrawal.js';
import { validateTreatment } from '../../../resources/web/js/rules/records.js';
import { animal, treatment, movement, farm } from '../helpers.mjs';

test('only real dates pass, and days add across month, year, leap-day and clock changes', () => {
  for (const ok of ['2026-01-31', '2024-02-29', '2000-02-29', '1999-12-31']) assert.ok(isIsoDate(ok), ok);
  const bad = '2026-02-29 1900-02-29 2026-04-31 2026-13-01 2026-00-10 2026-1-5 26-01-01'.split(' ');
  bad.push('2026-01-01T00:00', '', null, 20260101);
  for (const x of bad) assert.equal(isIsoDate(x), false, String(x));
  const sums = [
    ['2026-01-31', 1, '2026-02-01'],
    ['2026-12-25', 7, '2027-01-01'],
    ['2024-02-28', 1, '2024-02-29'],
    ['2023-02-28', 1, '2023-03-01'],
    ['2026-03-01', -1, '2026-02-28'],
    ['2026-03-28', 2, '2026-03-30'],
    ['2026-10-24', 2, '2026-10-26'],
  ];
  for (const [from, n, to] of sums) assert.equal(addDays(from, n), to, `${from} + ${n}`);
});

describe('fit for food from', () => {
  // Days are whole 24 hours from the last dose, from the end of its day
  // when no time was kept; the later of elapsed hours and the same clock
  // reading, so a clock change never shortens a period.
  test('a period ends N × 24 hours after the last dose, never earlier, across month ends and clock changes', () => {
    const fit = (kind, fields) => fitFrom(treatment({ milkUnit: 'days', ...fields }), kind);
    const cases = [
      // [kind, first, last, time, period, unit, fit from]
      ['milk', '2026-03-01', '', '20:00', 2, 'days', '2026-03-03 20:00'],
      ['milk', '2026-03-01', '', '', 2, 'days', '2026-03-04'],
      ['meat', '2026-03-10', '2026-03-14', '', 28, 'days', '2026-04-12 01:00'],
      ['meat', '2026-01-28', '2026-01-30', '', 2, 'days', '2026-02-02'],
      ['meat', '2026-12-20', '2026-12-24', '', 14, 'days', '2027-01-08'],
      ['meat', '2028-02-25', '2028-02-27', '', 2, 'days', '2028-03-01'],
      ['meat', '2027-02-25', '2027-02-27', '23:30', 1, 'days', '2027-02-28 23:30'],
      ['milk', '2026-06-01', '2026-06-03', '07:30', 60, 'hours', '2026-06-05 19:30'],
      ['milk', '2026-06-01', '', '', 36, 'hours', '2026-06-03 12:00'],
      // Clocks forward on 29 March 2026: 48 elapsed hours read an hour later.
      ['milk', '2026-03-28', '', '20:00', 48, 'hours', '2026-03-30 21:00'],
      ['milk', '2026-03-28', '', '20:00', 2, 'days', '2026-03-30 21:00'],
      // Clocks back on 25 October 2026: the clock reading is the later.
      ['milk', '2026-10-24', '', '20:00', 48, 'hours', '2026-10-26 20:00'],
      ['meat', '2026-10-24', '', '', 1, 'days', '2026-10-26'],
    ];
    for (const [kind, date, lastDate, time, n, unit, want] of cases) {
      const f = kind === 'meat' ? { meatDays: n } : { milkPeriod: n, milkUnit: unit };
      assert.equal(fit(kind, { date, lastDate, time, ...f }), want, `${kind} ${n} ${unit} from ${date}`);
    }
    assert.equal(stillWithdrawn('2026-03-03 20:00', '2026-03-03 19:59'), true);
    assert.equal(stillWithdrawn('2026-03-03 20:00', '2026-03-03'), true, 'a date alone means its start');
  });

  test('not entered and zero differ: zero means fit at once, not entered means unknown', () => {
    const zero = treatment({ date: '2026-05-05', meatDays: 0 });
    const blank = treatment({ meatDays: null });
    assert.deepEqual(
      [fitFrom(zero, 'meat'), stillWithdrawn(fitFrom(zero, 'meat'), '2026-05-05'), fitFrom(blank, 'meat')],
      ['2026-05-05', false, null],
    );
    assert.equal(describePeriod(appliedPeriod(blank, 'meat')), 'not recorded');
    const { idx } = farm({ animals: [animal({ tag: 'A1' })] });
    const r = validateTreatment(
      { date: '2026-05-01', product: 'X', tags: 'A1', meatDays: '', milkPeriod: '0' },
      { idx, today: '2026-06-01' },
    );
    assert.match(r.errors.meatDays, /0 if there is none/);
    assert.equal(r.errors.milkPeriod, undefined);
  });

  test('off-label use: the cascade minimum of the case that applies, a vet’s longer period standing, then organic doubling', () => {
    const days = (kind, fields, opts) =>
      appliedPeriod(treatment({ offLabel: true, milkUnit: 'days', ...fields }), kind, opts)?.amount;
    const cases = [
      // [kind, fields, applied]
      ['meat', { meatDays: 30, meatCascade: 'label', meatLabelDays: 30 }, 45],
      ['meat', { meatDays: 0, meatCascade: 'label', meatLabelDays: 3 }, 5],
      ['meat', { meatDays: 60, meatCascade: 'label', meatLabelDays: 30 }, 60],
      ['meat', { meatDays: 5, meatCascade: 'unauthorised' }, 28],
      ['meat', { meatDays: 0, meatCascade: 'zero' }, 1],
      ['milk', { milkPeriod: 4, milkCascade: 'label', milkLabelPeriod: 3 }, 5],
      ['milk', { milkPeriod: 36, milkUnit: 'hours', milkCascade: 'label', milkLabelPeriod: 36 }, 54],
      ['milk', { milkPeriod: 0, milkCascade: 'unauthorised' }, 7],
      ['milk', { milkPeriod: 0, milkUnit: 'hours', milkCascade: 'zero' }, 24],
      ['eggs', { eggDays: 0, eggCascade: 'unauthorised' }, 14],
      ['eggs', { eggDays: 2, eggCascade: 'label', eggLabelDays: 5 }, 8],
      // Kept before the case was asked: the longest any case could give.
      ['meat', { meatDays: 5 }, 28],
      ['meat', { meatDays: 30 }, 45],
      ['milk', { milkPeriod: 24, milkUnit: 'hours' }, 168],
    ];
    for (const [kind, fields, want] of cases) assert.equal(days(kind, fields), want, JSON.stringify(fields));
    assert.equal(days('meat', { meatDays: 5, offLabel: false, meatCascade: 'unauthorised' }), 5);
    const said = (fields) => describePeriod(appliedPeriod(treatment({ offLabel: true, ...fields }), 'meat'));
    assert.equal(
      said({ meatDays: 30, meatCascade: 'label', meatLabelDays: 30 }),
      '45 days (entered 30 days; cascade minimum 45 days, 1.5 × the label’s 30 days)',
    );
    assert.match(
      said({ meatDays: 40, meatCascade: 'unauthorised' }),
      /the vet’s period; cascade minimum 28 days, not/,
    );
    const organic = { organic: true };
    assert.equal(days('meat', { meatDays: 5, meatCascade: 'unauthorised' }, organic), 56);
    assert.equal(fitFrom(treatment({ date: '2026-04-01', meatDays: 10 }), 'meat', organic), '2026-04-22');
    assert.equal(fitFrom(treatment({ date: '2026-04-01', meatDays: 0 }), 'meat', organic), '2026-04-04');
    assert.equal(
      fitFrom(
        treatment({ date: '2026-04-01', time: '06:00', milkPeriod: 12, milkUnit: 'hours' }),
        'milk',
        organic,
      ),
      '2026-04-03 06:00',
    );
  });
});

describe('animals under withdrawal', () => {
  const a = animal({ tag: 'A1' });
  const b = animal({ tag: 'B2' });
  const away = animal({ tag: 'W3' });
  const { db, idx } = farm({
    animals: [a, b, away],
    treatments: [
      treatment({
        date: '2026-03-01',
        animalIds: [a.id, b.id, away.id],
        product: 'Wormer',
        meatDays: 14,
        milkPeriod: 0,
      }),
      treatment({
        date: '2026-03-05',
        lastDate: '2026-03-07',
        animalIds: [a.id],
        product: 'Antibiotic',
        meatDays: 28,
        milkPeriod: 4,
      }),
      treatment({
        date: '2026-03-06',
        animalIds: [b.id],
        product: 'Wrong entry',
        meatDays: 60,
        voided: { at: '2026-03-06 10:00', reason: 'wrong animal' },
      }),
    ],
    movements: [movement({ date: '2026-03-03', direction: 'off', outcome: 'away', animalIds: [away.id] })],
  });

  test('each animal on the farm once, with its latest dates; away and voided count for nothing', () => {
    const rows = withdrawalsRunning(db, idx, '2026-03-08 09:00');
    assert.deepEqual(
      rows.map((r) => [r.animal.tag, r.meatEnd, r.milkEnd]),
      [
        ['B2', '2026-03-16', null],
        ['A1', '2026-04-05 01:00', '2026-03-12'],
      ],
    );
    assert.deepEqual(rows[1].products, ['Wormer', 'Antibiotic']);
    // Leaving on a date warns of every product not yet cleared by then.
    const c = withdrawalConflicts(db, idx, [a.id], '2026-03-11');
    assert.deepEqual(
      c.map((x) => [x.product, x.kind, x.fitFrom]),
      [
        ['Wormer', 'meat', '2026-03-16'],
        ['Antibiotic', 'meat', '2026-04-05 01:00'],
        ['Antibiotic', 'milk', '2026-03-12'],
      ],
    );
    assert.deepEqual(withdrawalConflicts(db, idx, [a.id], '2026-04-06'), []);
  });

  test('the running list agrees with the exact reckoning at every moment near each end, across clock changes', () => {
    const cases = [
      ['2026-03-27', '', { meatDays: 2 }],
      ['2026-03-28', '23:30', { meatDays: 1 }],
      ['2026-10-24', '20:00', { milkPeriod: 36, milkUnit: 'hours' }],
      ['2026-10-25', '', { milkPeriod: 1, milkUnit: 'hours' }],
      ['2026-02-27', '', { meatDays: 30, offLabel: true, meatCascade: 'label', meatLabelDays: 30 }],
      ['2026-02-26', '06:00', { meatDays: 3, organic: true }],
      ['2026-01-10', '', { meatDays: 0, offLabel: true, meatCascade: 'unauthorised' }],
      ['2026-01-05', '', { meatDays: 20, offLabel: true }],
      [
        '2026-01-10',
        '10:00',
        {
          milkPeriod: 60,
          milkUnit: 'hours',
          offLabel: true,
          milkCascade: 'label',
          milkLabelPeriod: 80,
          organic: true,
        },
      ],
    ];
    for (const [date, time, periods] of cases) {
      const c = animal({ tag: 'D1' });
      const t = treatment({ date, time, animalIds: [c.id], meatDays: 0, milkPeriod: 0, ...periods });
      const f = farm({ animals: [c], treatments: [t] });
      for (let h = 0; h < 24 * 50; h += 1) {
        const day = addDays(date, Math.floor(h / 24));
        const now = `${day} ${String(h % 24).padStart(2, '0')}:30`;
        const exact = ['meat', 'milk'].some((k) => stillWithdrawn(fitFrom(t, k, { farm: f.db.farm }), now));
        assert.equal(
          withdrawalsRunning(f.db, f.idx, now).length,
          exact ? 1 : 0,
          `${date} ${time}, at ${now}`,
        );
      }
    }
  });

  test('a period not recorded is not clear (an egg period not asked is none): listed and warned of until entered', () => {
    const c = animal({ tag: 'C3' });
    const old = treatment({ date: '2019-05-01', animalIds: [c.id], product: 'Old drench', milkPeriod: null });
    const f = farm({ animals: [c], treatments: [old] });
    const running = withdrawalsRunning(f.db, f.idx, '2026-03-08 09:00');
    assert.deepEqual(
      running.map((r) => [r.meatEnd, r.milkEnd]),
      [[null, NOT_KNOWN]],
    );
    const hens = farm({ animals: [animal({ tag: 'H1', species: 'Hens' })] });
    const r = validateTreatment(
      { date: '2026-05-01', product: 'X', dose: '1 ml', tags: 'H1', meatDays: '0', milkPeriod: '0' },
      { idx: hens.idx, db: hens.db, today: '2026-06-01' },
    );
    assert.ok(r.errors.eggDays, 'where poultry is kept the egg period is asked');
    const warned = withdrawalConflicts(f.db, f.idx, [c.id], '2026-03-08');
    assert.match(conflictText(warned), /^C3: Old drench — milk withdrawal not known$/);
    old.milkPeriod = 0;
    assert.deepEqual(withdrawalConflicts(f.db, f.idx, [c.id], '2026-03-08'), []);
  });
});
