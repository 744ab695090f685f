import { test } from 'node:test';
import assert from 'node:assert/strict';
import { newestFirst } from '../../../resources/web/js/core/dates.js';

test('newest first keeps a day’s records in list order, as a stable sort by date, odd dates included', () => {
  const byText = (list) => list.slice().sort((a, b) => (a.date < b.date ? 1 : a.date > b.date ? -1 : 0));
  let seed = 7;
  const rnd = (n) => (seed = (seed * 1103515245 + 12345) % 2147483648) % n;
  const list = Array.from({ length: 500 }, (_, i) => ({
    i,
    date: `20${20 + rnd(8)}-${String(1 + rnd(12)).padStart(2, '0')}-0${1 + rnd(3)}`,
  }));
  assert.deepEqual(newestFirst(list), byText(list));
  for (const odd of ['', '2026-1-05', '2026-01-0x', undefined]) {
    const mixed = [...list.slice(0, 20), { i: 'odd', date: odd }, ...list.slice(20, 40)];
    assert.deepEqual(newestFirst(mixed), byText(mixed), String(odd));
  }
  assert.deepEqual(newestFirst([]), []);
});
