import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import {
  isIsoDate, addDays, withdrawalEnd, treatmentWithdrawal, withdrawalsRunning, isWithdrawalRunning,
} from '../../resources/web/js/model.js';
import { animal, treatment, farm } from './helpers.mjs';

describe('dates', () => {
  test('accepts real dates only', () => {
    for (const ok of ['2026-01-31', '2024-02-29', '2000-02-29', '1999-12-31']) assert.ok(isIsoDate(ok), ok);
    for (const bad of ['2026-02-29', '1900-02-29', '2026-04-31', '2026-13-01', '2026-00-10', '2026-1-5', '26-01-01', '2026-01-01T00:00', '', null, 20260101]) {
      assert.equal(isIsoDate(bad), false, String(bad));
    }
  });

  test('adds days across month, year and leap-day boundaries', () => {
    assert.equal(addDays('2026-01-31', 1), '2026-02-01');
    assert.equal(addDays('2026-12-25', 7), '2027-01-01');
    assert.equal(addDays('2024-02-28', 1), '2024-02-29');
    assert.equal(addDays('2023-02-28', 1), '2023-03-01');
    assert.equal(addDays('2026-03-01', -1), '2026-02-28');
    assert.equal(addDays('2026-01-01', 365), '2027-01-01');
  });

  test('does not slip a day over a daylight-saving change, whatever the time zone', () => {
    // Last Sunday of March and October in Europe, second Sunday of March in America.
    assert.equal(addDays('2026-03-28', 2), '2026-03-30');
    assert.equal(addDays('2026-10-24', 2), '2026-10-26');
    assert.equal(addDays('2026-03-07', 2), '2026-03-09');
  });
});

describe('withdrawal end dates', () => {
  test('meat and milk end on the treatment date plus their own periods', () => {
    const t = treatment({ date: '2026-03-10', meatDays: 28, milkDays: 3 });
    assert.deepEqual(treatmentWithdrawal(t), { meatEnd: '2026-04-07', milkEnd: '2026-03-13' });
  });

  test('periods that cross a month or a year end', () => {
    assert.equal(withdrawalEnd('2026-01-20', 14), '2026-02-03');
    assert.equal(withdrawalEnd('2026-12-20', 42), '2027-01-31');
    assert.equal(withdrawalEnd('2028-02-10', 20), '2028-03-01');
  });

  test('zero days ends on the day itself and never counts as running', () => {
    assert.equal(withdrawalEnd('2026-05-05', 0), '2026-05-05');
    assert.equal(isWithdrawalRunning(0, '2026-05-05', '2026-05-01'), false);
  });

  test('a withdrawal is over on its end date', () => {
    assert.equal(isWithdrawalRunning(7, '2026-05-08', '2026-05-07'), true);
    assert.equal(isWithdrawalRunning(7, '2026-05-08', '2026-05-08'), false);
  });

  test('no end date for a broken date or period', () => {
    assert.equal(withdrawalEnd('2026-02-30', 5), null);
    assert.equal(withdrawalEnd('2026-02-01', -1), null);
    assert.equal(withdrawalEnd('2026-02-01', 1.5), null);
  });
});

describe('animals under withdrawal', () => {
  const a = animal({ tag: 'A1' });
  const b = animal({ tag: 'B2' });
  const sold = animal({ tag: 'S3', status: 'sold', statusDate: '2026-03-02' });
  const { db, idx } = farm({
    animals: [a, b, sold],
    treatments: [
      treatment({ date: '2026-03-01', animalIds: [a.id, b.id, sold.id], product: 'Wormer', meatDays: 14, milkDays: 0 }),
      treatment({ date: '2026-03-05', animalIds: [a.id], product: 'Antibiotic', meatDays: 28, milkDays: 4 }),
      treatment({ date: '2026-01-01', animalIds: [b.id], product: 'Old', meatDays: 10, milkDays: 10 }),
      treatment({ date: '2026-03-10', animalIds: [b.id], product: 'No withdrawal', meatDays: 0, milkDays: 0 }),
    ],
  });

  test('lists each animal on the farm once, with the latest end of each kind', () => {
    const rows = withdrawalsRunning(db, idx, '2026-03-08');
    assert.deepEqual(rows.map((r) => [r.animal.tag, r.meatEnd, r.milkEnd]), [
      ['B2', '2026-03-15', null],
      ['A1', '2026-04-02', '2026-03-09'],
    ]);
    assert.deepEqual(rows[1].products, ['Wormer', 'Antibiotic']);
  });

  test('drops animals whose withdrawals have all ended', () => {
    const rows = withdrawalsRunning(db, idx, '2026-03-15');
    assert.deepEqual(rows.map((r) => r.animal.tag), ['A1']);
    assert.equal(rows[0].milkEnd, null);
  });
});
