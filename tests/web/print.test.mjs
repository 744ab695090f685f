import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { herdRegister, recordCard, treatmentBook } from '../../resources/web/js/print.js';
import { weightChartSvg, niceTicks } from '../../resources/web/js/chart.js';
import { animal, treatment, farm } from './helpers.mjs';

const cow = animal({ tag: 'UK 9', name: 'Daisy <script>alert(1)</script>', species: 'Cattle' });
const { db, idx } = farm({
  animals: [cow],
  farm: { name: 'Pant & Co', holding: '12/345' },
  treatments: [treatment({ date: '2026-12-20', animalIds: [cow.id], product: 'Penicillin', meatDays: 14, milkDays: 0 })],
  weights: [{ id: 'w1', date: '2026-01-01', animalId: cow.id, kg: 400 }, { id: 'w2', date: '2026-03-01', animalId: cow.id, kg: 455.5 }],
});

describe('printed documents', () => {
  const docs = {
    register: herdRegister(db, idx, db.animals, { printedOn: '2026-12-06', subtitle: 'All animals' }),
    card: recordCard(db, idx, cow, { printedOn: '2026-12-06', today: '2026-12-25' }),
    book: treatmentBook(db, idx, db.treatments, { printedOn: '2026-12-06', from: '2026-01-01', to: '2026-12-31' }),
  };

  test('are complete, script-free and bring their own style sheet by a relative path', () => {
    for (const [name, html] of Object.entries(docs)) {
      assert.match(html, /^<!doctype html>/i, name);
      assert.match(html, /<link rel="stylesheet" href="print\.css">/, name);
      assert.match(html, /<meta charset="utf-8">/, name);
      assert.doesNotMatch(html, /<script/i, name);
      assert.doesNotMatch(html, /(src|href)="(https?:|\/)/, name);
    }
  });

  test('escape what the farmer typed', () => {
    assert.match(docs.register, /Daisy &lt;script&gt;alert\(1\)&lt;\/script&gt;/);
    assert.match(docs.register, /Pant &amp; Co/);
  });

  test('the treatment book shows when each withdrawal ends', () => {
    assert.match(docs.book, /14 d, ends 2027-01-03/);
    assert.match(docs.book, /2026-01-01 to 2026-12-31/);
  });

  test('the record card carries the weight chart and the running withdrawal', () => {
    assert.match(docs.card, /<svg[^>]*class="weight-chart"/);
    assert.match(docs.card, /Under withdrawal on 2026-12-25: Penicillin/);
  });
});

describe('weight chart', () => {
  test('one point per weighing, placed by date', () => {
    const svg = weightChartSvg([{ date: '2026-01-01', kg: 100 }, { date: '2026-01-11', kg: 110 }, { date: '2026-01-31', kg: 130 }]);
    const xs = [...svg.matchAll(/<circle[^>]*cx="([\d.]+)"/g)].map((m) => Number(m[1]));
    assert.equal(xs.length, 3);
    // 10 days of 30: a third of the way along.
    assert.ok(Math.abs((xs[1] - xs[0]) / (xs[2] - xs[0]) - 1 / 3) < 0.01);
    assert.match(svg, /<polyline/);
    assert.match(svg, /aria-label="Weights: 3 weighings from 2026-01-01 \(100 kg\) to 2026-01-31 \(130 kg\)"/);
  });

  test('a single weighing and no weighing still draw', () => {
    assert.equal([...weightChartSvg([{ date: '2026-01-01', kg: 50 }]).matchAll(/<circle/g)].length, 1);
    assert.match(weightChartSvg([]), /No weights recorded/);
  });

  test('grid lines are round numbers spanning every weight', () => {
    for (const [lo, hi] of [[401, 455.5], [3.2, 3.9], [100, 100], [0.5, 980]]) {
      const ticks = niceTicks(lo, hi);
      assert.ok(ticks[0] <= lo && ticks[ticks.length - 1] >= hi, `${lo}-${hi}: ${ticks}`);
      assert.ok(ticks.length >= 2 && ticks.length <= 8, `${lo}-${hi}: ${ticks}`);
    }
  });
});
