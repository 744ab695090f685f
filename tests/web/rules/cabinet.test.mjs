import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { parseDatabase } from '../../../resources/web/js/core/checks.js';
import { serialiseDatabase } from '../../../resources/web/js/core/saved-text.js';
import {
  stockOf,
  batchState,
  cabinetChoices,
  choiceLabel,
  restockProblem,
  validatePurchase,
  validateTreatmentFromCabinet,
  purchasesCsv,
  validateDisposal,
  addDisposal,
} from '../../../resources/web/js/rules/cabinet.js';
import { animal, treatment, purchase, farm, VOID } from '../helpers.mjs';

const TODAY = '2026-06-15';

describe('stock arithmetic', () => {
  test('what is left is bought less what treatments in force took, to the thousandth', () => {
    const uses = Array.from({ length: 30 }, () => treatment({ purchaseId: 'pu-1', stockUsed: 0.1 }));
    const { db } = farm({
      purchases: [purchase(), purchase({ id: 'pu-2', quantity: 5 })],
      treatments: [
        ...uses,
        treatment({ purchaseId: 'pu-1', stockUsed: 50, voided: VOID }),
        treatment({ purchaseId: 'pu-2', stockUsed: 7 }),
        // A damaged or hand-edited record cannot put medicine back on the shelf.
        treatment({ purchaseId: 'pu-1', stockUsed: -40 }),
      ],
    });
    const s = stockOf(db);
    assert.deepEqual([s.get('pu-1').used, s.get('pu-1').left], [3, 97]);
    assert.deepEqual(batchState(s.get('pu-2'), TODAY), {
      expired: false,
      nearExpiry: true,
      usedUp: true,
      short: true,
    });
    assert.deepEqual(
      cabinetChoices(db, TODAY).map((c) => c.purchase.id),
      ['pu-1'],
      'a used-up batch is not offered',
    );
    // Restoring the voided 50 would draw past the 97 left only if more were used since: here it may come back.
    const voided = db.treatments.find((t) => t.voided);
    assert.equal(restockProblem(db, 'treatments', voided.id), null);
    voided.stockUsed = 98;
    assert.match(restockProblem(db, 'treatments', voided.id), /draws 98 ml of batch B1, which has 97 left/);
  });

  test('a batch is in date on its expiry day and expired the day after', () => {
    const s = stockOf(farm({ purchases: [purchase()] }).db).get('pu-1');
    assert.equal(batchState(s, '2026-06-15').expired, false);
    assert.deepEqual(batchState(s, '2026-06-16'), {
      expired: true,
      nearExpiry: false,
      usedUp: false,
      short: false,
    });
    assert.equal(batchState(s, '2026-05-16').nearExpiry, true);
    assert.equal(batchState(s, '2026-05-15').nearExpiry, false);
  });
});

describe('treatments from the cabinet', () => {
  const a = animal({ tag: 'A1' });
  const input = {
    date: TODAY,
    tags: 'A1',
    meatDays: '21',
    milkPeriod: '0',
    purchaseId: 'pu-1',
    stockUsed: '10',
    product: 'typed over',
    dose: '10 ml',
  };

  test('take the product and batch of the purchase, keep edited periods, and warn on expiry or shortage', () => {
    const { db, idx } = farm({ animals: [a], purchases: [purchase()] });
    const ok = validateTreatmentFromCabinet(input, { idx, today: TODAY, db });
    assert.deepEqual(
      [ok.value.product, ok.value.batch, ok.value.meatDays, ok.value.stockUsed, ok.warnings],
      ['Ivomec', 'B1', 21, 10, []],
    );
    const late = validateTreatmentFromCabinet(input, {
      idx,
      today: TODAY,
      db: farm({ animals: [a], purchases: [purchase({ expiry: '2026-06-14' })] }).db,
    });
    assert.match(late.warnings.join(), /expired on 2026-06-14/);
    assert.match(
      validateTreatmentFromCabinet(
        { ...input, stockUsed: '100.5' },
        { idx, today: TODAY, db },
      ).warnings.join(),
      /Only 100 ml/,
    );
    assert.ok(
      validateTreatmentFromCabinet({ ...input, stockUsed: '' }, { idx, today: TODAY, db }).errors.stockUsed,
    );
    assert.ok(
      validateTreatmentFromCabinet({ ...input, purchaseId: 'gone' }, { idx, today: TODAY, db }).errors
        .purchaseId,
    );
  });

  test('editing a treatment counts its own earlier use as still available', () => {
    const t = treatment({ animalIds: [a.id], purchaseId: 'pu-1', stockUsed: 60 });
    const { db, idx } = farm({ animals: [a], purchases: [purchase()], treatments: [t] });
    assert.deepEqual(
      validateTreatmentFromCabinet({ ...input, stockUsed: '100' }, { idx, today: TODAY, db, editing: t })
        .warnings,
      [],
    );
    assert.equal(
      validateTreatmentFromCabinet({ ...input, stockUsed: '100' }, { idx, today: TODAY, db }).warnings.length,
      1,
    );
    // Its batch, voided since, is still offered, marked, and the edit keeps it; a new treatment may not draw on it.
    db.purchases[0].voided = VOID;
    assert.deepEqual(
      [cabinetChoices(db, TODAY).length, cabinetChoices(db, TODAY, 'pu-1').map(choiceLabel)],
      [0, ['Ivomec, batch B1, expires 2026-06-15, 40 ml left (VOIDED)']],
    );
    assert.deepEqual(
      validateTreatmentFromCabinet({ ...input, stockUsed: '60' }, { idx, today: TODAY, db, editing: t }).value
        ?.purchaseId,
      'pu-1',
    );
    assert.ok(validateTreatmentFromCabinet(input, { idx, today: TODAY, db }).errors.purchaseId);
  });
});

describe('purchases', () => {
  test('the purchase book asks for what the regulations list, and its CSV shows use and stock', () => {
    const bad = validatePurchase({ date: TODAY, product: 'X' }, { today: TODAY });
    assert.deepEqual(Object.keys(bad.errors).sort(), [
      'batch',
      'expiry',
      'meatDays',
      'milkPeriod',
      'quantity',
      'supplier',
      'supplierAddress',
      'unit',
    ]);
    const ok = validatePurchase(
      {
        date: TODAY,
        product: 'X',
        batch: '1',
        expiry: '2027-01-01',
        quantity: '2,5',
        unit: 'l',
        supplier: 'S',
        supplierAddress: 'Llandeilo',
        meatDays: '0',
        milkPeriod: '36',
        milkUnit: 'hours',
        antibiotic: 'on',
      },
      { today: TODAY },
    );
    assert.deepEqual([ok.value.quantity, ok.value.milkUnit, ok.value.antibiotic], [2.5, 'hours', true]);
    const { db } = farm({
      purchases: [purchase()],
      treatments: [treatment({ purchaseId: 'pu-1', stockUsed: 40 })],
    });
    const dispose = (fields) =>
      validateDisposal(
        { date: '2026-02-01', how: 'returned to vet', ...fields },
        { db, today: TODAY, purchaseId: 'pu-1' },
      );
    assert.ok(dispose({ quantity: '61' }).errors.quantity, 'no more than is left');
    assert.ok(dispose({ quantity: '1', date: '2026-01-01' }).errors.date, 'not before it was bought');
    addDisposal(db, 'pu-1', dispose({ quantity: '10', where: 'Vet Co', who: 'J' }).value);
    assert.match(
      purchasesCsv(db.purchases, stockOf(db)).split('\r\n')[1],
      /^2026-01-10,Ivomec,B1,2026-06-15,100,ml,Vet Co,,14 days,0 days,no,40,"2026-02-01 10 ml returned to vet, Vet Co, by J",50,,$/,
    );
  });

  test('a format 2 file without purchases loads unchanged; purchases keep keys this version does not know', () => {
    const old = JSON.stringify({
      format: 'meadowline-field-keeper',
      schema: 2,
      id: 'db1',
      revision: 3,
      farm: {},
      treatments: [treatment({ id: 't1' })],
    });
    const r = parseDatabase(old);
    assert.deepEqual(
      [r.db.purchases, r.db.treatments[0].purchaseId, 'stockUsed' in r.db.treatments[0]],
      [[], undefined, false],
    );
    r.db.purchases.push({ ...purchase(), future: { x: 1 } });
    const back = parseDatabase(serialiseDatabase(r.db));
    assert.deepEqual(back.db.purchases[0].future, { x: 1 });
    assert.equal(
      parseDatabase(JSON.stringify({ ...r.db, purchases: [{ ...purchase(), quantity: -1 }] })).ok,
      false,
    );
  });
});
