import { test } from 'node:test';
import assert from 'node:assert/strict';
import { inspectionPack } from '../../../resources/web/js/output/pack.js';
import { animal, treatment, off, purchase, farm, VOID } from '../helpers.mjs';

const herd = Array.from({ length: 90 }, () => animal({ species: 'Cattle' }));
const { db, idx } = farm({
  farm: { name: 'Pant Farm', holding: '12/345/6789' },
  animals: herd,
  treatments: [
    treatment({ date: '2026-03-02', animalIds: [herd[0].id], product: 'Kept' }),
    treatment({ date: '2026-03-03', animalIds: [herd[1].id], product: 'Typed twice', voided: VOID }),
    treatment({ date: '2024-03-03', animalIds: [herd[2].id], product: 'Too old' }),
  ],
  purchases: [purchase()],
  movements: [off('2026-04-01', 'died', [herd[3]], { cause: 'Bloat' })],
});

test('the pack holds every book in order, on pages counted over the whole', () => {
  const html = inspectionPack(db, idx, { printedOn: '2026-06-01', from: '2025-06-01', to: '2026-06-01' });
  const pages = html.split('<section class="page">').slice(1);
  const titles = pages.map((p) => p.match(/<h1>(.*?)<\/h1>/)[1]);
  assert.deepEqual(
    titles.filter((t, i) => t !== titles[i - 1]),
    [
      'Inspection pack',
      'Medicine book',
      'Medicine purchase book',
      'Herd register',
      'Movement book',
      '1 December inventory',
      'Deaths by cause',
      'Spray record book',
      'Nutrient book',
    ],
  );
  assert.ok(pages.length > 7, 'the register runs over more than one page');
  pages.forEach((p, i) => assert.match(p, new RegExp(`Page ${i + 1} of ${pages.length}<`)));

  assert.match(pages[0], /Pant Farm/);
  assert.match(pages[0], /12\/345\/6789/);
  assert.match(pages[0], /2025-06-01 to 2026-06-01/);
  const medicine = pages[1];
  assert.match(medicine, /<tr class="void">(?:(?!<tr).)*Typed twice(?:(?!<tr).)*VOID /);
  assert.doesNotMatch(html, /Too old/);
  assert.match(html, /Head count on 2025-12-01/);
  assert.match(
    pages.find((p) => p.includes('<h1>Deaths by cause')),
    /Bloat/,
  );
});
