import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import {
  herdRegister,
  recordCard,
  medicineBook,
  movementBook,
  paginate,
} from '../../../resources/web/js/output/print.js';
import { weightChartSvg, niceTicks } from '../../../resources/web/js/output/chart.js';
import { animal, treatment, movement, weight, farm, purchase } from '../helpers.mjs';

const cow = animal({
  tag: 'UK 0 712345 00021',
  name: 'Daisy <script>alert(1)</script>',
  species: 'Cattle',
  tagHistory: [{ date: '2026-02-01', from: 'UK OLD 7', to: 'UK 0 712345 00021', reason: 'lost' }],
});
const { db, idx } = farm({
  animals: [cow],
  farm: { name: 'Pant & Co', holding: '12/345' },
  treatments: [
    treatment({
      date: '2026-12-20',
      lastDate: '2026-12-24',
      animalIds: [cow.id],
      product: 'Penicillin',
      batch: 'B7',
      vet: 'R. Vet',
      purchaseId: 'pu-1',
      meatDays: 14,
      milkPeriod: 0,
    }),
    treatment({
      date: '2026-12-21',
      animalIds: [cow.id],
      product: 'Wrong',
      voided: { at: '2026-12-22 09:00', reason: 'typed twice' },
    }),
  ],
  purchases: [purchase({ supplier: 'Vet Co', supplierAddress: '1 High St' })],
  weights: [weight(cow.id, '2026-01-01', 400), weight(cow.id, '2026-03-01', 455.5)],
  movements: [
    movement({
      date: '2026-01-05',
      direction: 'on',
      animalIds: [cow.id],
      from: 'Mart',
      fromHolding: '54/1',
      documentRef: 'MD-1',
    }),
  ],
});
const pages = (html) => [...html.matchAll(/Page (\d+) of (\d+)/g)].map((m) => `${m[1]}/${m[2]}`);

describe('printed documents', () => {
  const plain = (html) => html.replace(/<span class="nw">([^<]*)<\/span>/g, '$1');
  const docs = {
    register: herdRegister(db, idx, db.animals, {
      printedOn: '2026-12-06',
      subtitle: 'All animals',
      datesOf: () => ({ onDate: '2026-01-05', from: 'Mart, 54/1' }),
    }),
    card: recordCard(db, idx, cow, { printedOn: '2026-12-06', now: '2026-12-25 10:00', events: [] }),
    book: medicineBook(db, idx, db.treatments, {
      printedOn: '2026-12-06',
      from: '2026-01-01',
      to: '2026-12-31',
    }),
    movements: movementBook(db, idx, db.movements, { printedOn: '2026-12-06' }),
  };
  for (const k in docs) docs[k] = plain(docs[k]);

  test('are complete, script-free, escape what was typed, and number every page with the print date', () => {
    for (const [name, html] of Object.entries(docs)) {
      assert.match(html, /^<!doctype html>[^]*<link rel="stylesheet" href="print\.css">/i, name);
      assert.doesNotMatch(html, /<script|(src|href)="(https?:|\/)/i, name);
      assert.deepEqual(pages(html), ['1/1'], name);
      assert.match(html, /Printed 2026-12-06/, name);
    }
    assert.match(docs.register, /Pant &amp; Co/);
    assert.match(docs.card, /Daisy &lt;script&gt;alert\(1\)&lt;\/script&gt;/);
  });

  test('the books carry what an inspector asks for: tags, movements, courses and fit-for-food dates', () => {
    assert.match(
      docs.register,
      /<td class="tag">UK 0 712345 00021\n\(UK OLD 7\)<\/td>/,
      'previous tags under the tag',
    );
    assert.match(docs.register, /<td>2026-01-05 Mart, 54\/1<\/td>/);
    assert.match(docs.movements, /Mart, 54\/1<\/td><td><\/td><td><\/td><td>MD-1/);
    assert.match(docs.book, /2026-12-20 to 2026-12-24/);
    assert.match(docs.book, /B7<\/td>.*R\. Vet<\/td><td>Vet Co, 1 High St<\/td>/);
    assert.match(docs.book, /INCOMPLETE: quantity not recorded/, 'a treatment kept without its quantity');
    assert.match(docs.book, /14 days; fit from 2027-01-08/);
    assert.match(docs.book, /<tr class="void">.*VOID 2026-12-22: typed twice/);
    assert.match(
      medicineBook(db, idx, [], { printedOn: '2026-12-06', query: 'Penicillin' }),
      /All dates, matching “Penicillin”/,
      'a searched book says so',
    );
    assert.match(docs.card, /Under withdrawal on 2026-12-25 10:00: Penicillin/);
  });

  test('long books are split into pages that fit, the heading repeated on each', () => {
    const rows = Array.from({ length: 400 }, (_, i) => [`UK ${i}`, 'a long note '.repeat(i % 7)]);
    const split = paginate([{ columns: [{ label: 'Tag', tag: true }, { label: 'Notes' }], rows }]);
    assert.ok(split.length > 5);
    assert.equal(
      split.flat().join('').match(/<tr>/g).length,
      400 + split.length,
      'every row once, one heading row per page',
    );
    for (const page of split) assert.equal(page.join('').match(/<thead>/g).length, 1);
  });
});

describe('weight chart', () => {
  test('one point per weighing, placed by date, even for one weighing or none', () => {
    const svg = weightChartSvg([
      { date: '2026-01-01', kg: 100 },
      { date: '2026-01-11', kg: 110 },
      { date: '2026-01-31', kg: 130 },
    ]);
    const xs = [...svg.matchAll(/<circle[^>]*cx="([\d.]+)"/g)].map((m) => Number(m[1]));
    assert.equal(xs.length, 3);
    // 10 days of 30: a third of the way along.
    assert.ok(Math.abs((xs[1] - xs[0]) / (xs[2] - xs[0]) - 1 / 3) < 0.01);
    assert.match(svg, /<polyline/);
    assert.match(
      svg,
      /aria-label="Weights: 3 weighings from 2026-01-01 \(100 kg\) to 2026-01-31 \(130 kg\)"/,
    );
    // A single weighing and no weighing still draw.
    assert.equal([...weightChartSvg([{ date: '2026-01-01', kg: 50 }]).matchAll(/<circle/g)].length, 1);
    assert.match(weightChartSvg([]), /No weights recorded/);
  });

  test('grid lines are round numbers spanning every weight', () => {
    for (const [lo, hi] of [
      [401, 455.5],
      [3.2, 3.9],
      [100, 100],
      [0.5, 980],
    ]) {
      const ticks = niceTicks(lo, hi);
      assert.ok(ticks[0] <= lo && ticks[ticks.length - 1] >= hi, `${lo}-${hi}: ${ticks}`);
      assert.ok(ticks.length >= 2 && ticks.length <= 8, `${lo}-${hi}: ${ticks}`);
    }
  });
});
