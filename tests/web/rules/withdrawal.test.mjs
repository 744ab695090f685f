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
} from '../../../resources/web/js/rules/withdrawal.js';
import { validateTreatment } from '../../../resources/web/js/rules/records.js';
import { animal, treatment, movement, farm } from '../helpers.mjs';

test('only real dates pass, and days add across month, year, leap-day and clock changes', () => {
  for (const ok of ['2026-01-31', '2024-02-29', '2000-02-29', '1999-12-31']) assert.ok(isIsoDate(ok), ok);
  const bad = [
    '2026-02-29',
    '1900-02-29',
    '2026-04-31',
    '2026-13-01',
    '2026-00-10',
    '2026-1-5',
    '26-01-01',
    '2026-01-01T00:00',
    '',
    null,
    20260101,
  ];
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
  test('a course counts from its last dose, not its first, across month and year ends and leap days', () => {
    const course = treatment({ date: '2026-03-10', lastDate: '2026-03-14', meatDays: 28, milkPeriod: 3 });
    assert.equal(fitFrom(course, 'meat'), '2026-04-11');
    assert.equal(fitFrom(course, 'milk'), '2026-03-17');
    const fit = (date, lastDate, meatDays) => fitFrom(treatment({ date, lastDate, meatDays }), 'meat');
    assert.equal(fit('2026-01-28', '2026-01-30', 2), '2026-02-01');
    assert.equal(fit('2026-12-20', '2026-12-24', 14), '2027-01-07');
    assert.equal(fit('2028-02-25', '2028-02-27', 2), '2028-02-29');
    assert.equal(fit('2027-02-25', '2027-02-27', 2), '2027-03-01');
  });

  test('not entered and zero differ: zero means fit at once, not entered means unknown', () => {
    const zero = treatment({ date: '2026-05-05', meatDays: 0 });
    assert.equal(fitFrom(zero, 'meat'), '2026-05-05');
    assert.equal(stillWithdrawn(fitFrom(zero, 'meat'), '2026-05-05'), false);
    const blank = treatment({ meatDays: null });
    assert.equal(fitFrom(blank, 'meat'), null);
    assert.equal(describePeriod(appliedPeriod(blank, 'meat')), 'not recorded');
    const { idx } = farm({ animals: [animal({ tag: 'A1' })] });
    const r = validateTreatment(
      { date: '2026-05-01', product: 'X', tags: 'A1', meatDays: '', milkPeriod: '0' },
      { idx, today: '2026-06-01' },
    );
    assert.match(r.errors.meatDays, /0 if there is none/);
    assert.equal(r.errors.milkPeriod, undefined);
  });

  test('a milk period in hours ends at that hour after the last dose, in elapsed time across a clock change', () => {
    const milk = (fields) => fitFrom(treatment({ milkUnit: 'hours', ...fields }), 'milk');
    assert.equal(
      milk({ date: '2026-06-01', lastDate: '2026-06-03', time: '07:30', milkPeriod: 60 }),
      '2026-06-05 19:30',
    );
    // The clocks go forward on 29 March 2026: 48 hours later reads an hour later.
    assert.equal(milk({ date: '2026-03-28', time: '20:00', milkPeriod: 48 }), '2026-03-30 21:00');
    assert.equal(milk({ date: '2026-10-24', time: '20:00', milkPeriod: 48 }), '2026-10-26 19:00');
    // Without a time of day, from the end of the day: never too early.
    assert.equal(milk({ date: '2026-06-01', milkPeriod: 36 }), '2026-06-03 12:00');
    assert.equal(stillWithdrawn('2026-06-03 12:00', '2026-06-03 11:59'), true);
    assert.equal(stillWithdrawn('2026-06-03 12:00', '2026-06-03'), true, 'a date alone means its start');
  });

  test('off-label use raises short periods to the cascade minimums and says so; organic doubles, 48 hours at least', () => {
    const cascade = treatment({
      date: '2026-04-01',
      meatDays: 5,
      milkPeriod: 24,
      milkUnit: 'hours',
      offLabel: true,
    });
    assert.equal(fitFrom(cascade, 'meat'), '2026-04-29');
    assert.equal(
      describePeriod(appliedPeriod(cascade, 'milk')),
      '168 hours (entered 24 hours; cascade minimum 7 days)',
    );
    assert.match(
      describePeriod(appliedPeriod(cascade, 'meat')),
      /28 days \(entered 5 days; cascade minimum 28 days\)/,
    );
    assert.equal(
      fitFrom(treatment({ date: '2026-04-01', meatDays: 40, offLabel: true }), 'meat'),
      '2026-05-11',
      'longer periods stand',
    );
    const organic = { organic: true };
    assert.equal(fitFrom(treatment({ date: '2026-04-01', meatDays: 10 }), 'meat', organic), '2026-04-21');
    assert.equal(fitFrom(treatment({ date: '2026-04-01', meatDays: 0 }), 'meat', organic), '2026-04-03');
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
        ['B2', '2026-03-15', null],
        ['A1', '2026-04-04', '2026-03-11'],
      ],
    );
    assert.deepEqual(rows[1].products, ['Wormer', 'Antibiotic']);
    // Leaving on a date warns of every product not yet cleared by then.
    const c = withdrawalConflicts(db, idx, [a.id], '2026-03-11');
    assert.deepEqual(
      c.map((x) => [x.product, x.kind, x.fitFrom]),
      [
        ['Wormer', 'meat', '2026-03-15'],
        ['Antibiotic', 'meat', '2026-04-04'],
      ],
    );
    assert.deepEqual(withdrawalConflicts(db, idx, [a.id], '2026-04-04'), []);
  });
});
