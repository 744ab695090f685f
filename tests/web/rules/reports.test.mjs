import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import {
  headCountOn,
  sheepAndGoatInventory,
  lastInventoryDate,
  deathsByCause,
  medicineUse,
  gainByGroup,
  todayList,
} from '../../../resources/web/js/rules/reports.js';
import { animal, treatment, movement, off, purchase, farm, VOID } from '../helpers.mjs';
import { speciesChoices, knownSpecies, filterAnimals } from '../../../resources/web/js/rules/herd-list.js';

describe('head count on a date', () => {
  test('counts those on the holding at the end of the day: born by then, arrived, not yet gone', () => {
    const ewe = animal({ species: 'Sheep' });
    const lamb = animal({ species: 'Sheep', sex: 'male', dob: '2025-12-01' });
    const bought = animal({ species: 'Goat' });
    const sold = animal({ species: 'Sheep' });
    const wrong = animal({ species: 'Sheep', voided: VOID });
    const arrival = movement({ date: '2025-12-02', direction: 'on', animalIds: [bought.id] });
    const movements = [arrival, off('2025-12-01', 'sold', [sold])];
    const { db } = farm({ animals: [ewe, lamb, bought, sold, wrong], movements });
    const on = (d) => headCountOn(db, d).rows.map((r) => [r.species, r.female, r.male, r.total]);
    assert.deepEqual(on('2025-11-30'), [['Sheep', 2, 0, 2]]);
    assert.deepEqual(on('2025-12-01'), [['Sheep', 1, 1, 2]]);
    assert.deepEqual(on('2025-12-02'), [
      ['Sheep', 1, 1, 2],
      ['Goat', 1, 0, 1],
    ]);
    assert.deepEqual(
      [lastInventoryDate('2026-11-30'), lastInventoryDate('2026-12-01')],
      ['2025-12-01', '2026-12-01'],
    );
  });

  test('the inventory counts as put to the ram the ewes in the tupping mob at any time in the year before', () => {
    const tupped = animal({ species: 'Sheep ' });
    const notTupped = animal({ species: 'sheep' });
    const ram = animal({ species: 'Sheep', sex: 'male' });
    const lastYears = animal({ species: 'Sheep' });
    const goneBefore = animal({ species: 'Sheep' });
    const goat = animal({ species: 'Goat' });
    const animals = [tupped, notTupped, ram, lastYears, goneBefore, goat];
    const { db } = farm({ animals, movements: [off('2025-11-30', 'sold', [goneBefore])] });
    const spell = (a, from, to) => ({ animalId: a.id, from, to });
    const mob = {
      id: 'gr-1',
      name: 'Tupping',
      members: [
        spell(tupped, '2025-10-15', '2025-11-20'),
        spell(ram, '2025-10-15', ''),
        spell(lastYears, '2024-10-01', '2024-11-30'),
        spell(goneBefore, '2025-10-15', ''),
      ],
    };
    assert.deepEqual(sheepAndGoatInventory(db, '2025-12-01', mob), { putToRam: 1, otherSheep: 3, goats: 1 });
    assert.deepEqual(sheepAndGoatInventory(db, '2025-12-01'), { putToRam: 0, otherSheep: 4, goats: 1 });
    // Before this season's tupping, last season's counts: it is within the year.
    assert.deepEqual(sheepAndGoatInventory(db, '2025-10-14', mob).putToRam, 1);
    assert.deepEqual(
      sheepAndGoatInventory(db, '2025-12-02', { ...mob, members: mob.members.slice(2, 3) }).putToRam,
      0,
    );
  });
});

describe('reports', () => {
  test('deaths by cause in the period, causes matched whatever their case, voided deaths and animals left out', () => {
    const [a, b, c, d, twin] = [animal(), animal(), animal(), animal(), animal({ voided: VOID })];
    const { db } = farm({
      animals: [a, b, c, d, twin],
      movements: [
        off('2026-02-01', 'died', [a, b, twin], { cause: 'Pneumonia' }),
        off('2026-03-01', 'died', [c], { cause: 'pneumonia ' }),
        off('2026-03-02', 'died', [d], { cause: 'Fly strike', voided: VOID }),
        off('2027-01-01', 'died', [d], { cause: 'Old age' }),
      ],
    });
    assert.deepEqual(
      deathsByCause(db, '2026-01-01', '2026-12-31').map((r) => [r.cause, r.count]),
      [['Pneumonia', 3]],
    );
  });

  test('medicine use per year by product, antibiotics first and marked, with what the cabinet gave', () => {
    const alamycin = purchase({ id: 'p1', product: 'Alamycin LA', antibiotic: true });
    // 'v' was entered in error: its doses do not count.
    const { db } = farm({
      animals: [animal({ id: 'v', voided: VOID })],
      purchases: [alamycin, purchase({ id: 'p2', product: 'Zolvix' })],
      treatments: [
        treatment({
          date: '2026-01-05',
          product: 'Zolvix',
          animalIds: ['x', 'y', 'v'],
          purchaseId: 'p2',
          stockUsed: 5,
        }),
        treatment({
          date: '2026-01-06',
          product: 'Zolvix',
          animalIds: ['v'],
          purchaseId: 'p2',
          stockUsed: 2,
        }),
        treatment({ date: '2026-02-05', product: 'alamycin la', animalIds: ['x'] }),
        treatment({
          date: '2026-03-05',
          product: 'Alamycin LA',
          animalIds: ['y'],
          purchaseId: 'p1',
          stockUsed: 0.1,
        }),
        treatment({
          date: '2026-03-05',
          product: 'Alamycin LA',
          animalIds: ['y'],
          purchaseId: 'p1',
          stockUsed: 0.2,
        }),
        treatment({ date: '2025-12-31', product: 'Zolvix', animalIds: ['x'] }),
        treatment({ date: '2026-04-01', product: 'Zolvix', animalIds: ['x'], voided: VOID }),
      ],
    });
    assert.deepEqual(
      medicineUse(db, 2026).map((r) => [r.product, r.antibiotic, r.treatments, r.animals, r.quantities]),
      [
        ['alamycin la', true, 3, 3, { ml: 0.3 }],
        ['Zolvix', false, 1, 2, { ml: 5 }],
      ],
    );
  });

  test('daily gain per group uses members on the later date and weights inside the period', () => {
    const [a, b, c, twin] = [animal(), animal(), animal(), animal({ voided: VOID })];
    const w = (animalId, date, kg) => ({ id: `${animalId}${date}`, animalId, date, kg });
    const groups = [
      {
        id: 'g',
        name: 'Lambs',
        notes: '',
        members: [
          { animalId: a.id, from: '2026-01-01', to: '' },
          { animalId: b.id, from: '2026-01-01', to: '' },
          { animalId: c.id, from: '2026-01-01', to: '2026-02-01' },
          { animalId: twin.id, from: '2026-01-01', to: '' },
        ],
      },
    ];
    const { db, idx } = farm({
      animals: [a, b, c, twin],
      groups,
      weights: [
        w(twin.id, '2026-01-01', 1),
        w(twin.id, '2026-01-11', 99),
        w(a.id, '2025-12-01', 5),
        w(a.id, '2026-01-01', 10),
        w(a.id, '2026-01-11', 13),
        w(b.id, '2026-01-01', 20),
        w(b.id, '2026-01-11', 21),
        w(c.id, '2026-01-01', 10),
        w(c.id, '2026-01-11', 30),
      ],
    });
    const [g] = gainByGroup(db, idx, '2026-01-01', '2026-03-01');
    assert.deepEqual([g.animals, g.min, g.max], [2, 0.1, 0.3]);
    assert.ok(Math.abs(g.mean - 0.2) < 1e-9);
  });
});

describe('the Today list', () => {
  test('withdrawals ending today or tomorrow, batches near expiry with stock, births past their registration days', () => {
    const [a, b, c, dam, calf, twin] = [
      animal(),
      animal(),
      animal(),
      animal({ species: 'Cattle' }),
      animal({ species: 'Cattle' }),
      animal({ species: ' cattle ' }),
    ];
    const { db, idx } = farm({
      farm: { name: '', holding: '', organic: false, registerDays: { Cattle: 27 } },
      animals: [a, b, c, dam, calf, twin],
      treatments: [
        treatment({ date: '2026-06-01', meatDays: 13, animalIds: [a.id] }),
        treatment({ date: '2026-06-01', meatDays: 14, animalIds: [b.id] }),
        treatment({ date: '2026-06-01', meatDays: 13, animalIds: [c.id] }),
        treatment({ date: '2026-06-01', meatDays: 20, animalIds: [c.id] }),
      ],
      purchases: [purchase({ id: 'p1', expiry: '2026-07-01' }), purchase({ id: 'p2', expiry: '2026-06-01' })],
      births: [
        {
          id: 'bi',
          date: '2026-05-10',
          damId: dam.id,
          sire: '',
          offspringIds: [calf.id, twin.id],
          notes: '',
        },
      ],
    });
    const t = todayList(db, idx, '2026-06-15');
    assert.deepEqual(
      t.clearing.map((x) => [x.animal.id, x.when]),
      [
        [a.id, 'today'],
        [b.id, 'tomorrow'],
      ],
    );
    assert.deepEqual(
      t.expiring.map((x) => [x.purchase.id, x.expired]),
      [
        ['p2', true],
        ['p1', false],
      ],
    );
    // The species is matched whatever its case, as typed.
    assert.deepEqual(
      t.unregistered.map((x) => [x.animal.id, x.due, x.late]),
      [
        [calf.id, '2026-06-06', true],
        [twin.id, '2026-06-06', true],
      ],
    );
    calf.registeredOn = '2026-06-01';
    assert.deepEqual(
      todayList(db, idx, '2026-06-15').unregistered.map((x) => x.animal.id),
      [twin.id],
    );
  });
});

test('species and units typed in different cases count as one', () => {
  const herd = ['Sheep', ' sheep', 'SHEEP ', 'Llama', 'zebu', 'Zebu'].map((species) => animal({ species }));
  const { db, idx } = farm({
    animals: herd,
    purchases: [purchase({ id: 'p1', unit: 'ml' }), purchase({ id: 'p2', unit: 'mL' })],
    treatments: ['p1', 'p2'].map((id) =>
      treatment({ animalIds: [herd[0].id], purchaseId: id, stockUsed: 5 }),
    ),
  });
  const count = headCountOn(db, '2026-03-01').rows.map((r) => `${r.species} ${r.total}`);
  assert.deepEqual(count, ['Sheep 3', 'zebu 2', 'Llama 1']);
  assert.deepEqual(medicineUse(db, 2026)[0].quantities, { ml: 10 });
  assert.deepEqual(speciesChoices(db), ['Llama', 'Sheep', 'zebu']);
  assert.deepEqual(knownSpecies(db).slice(-1), ['zebu'], 'the usual ones first, each kind once');
  const st = { query: '', status: '', species: 'sheep', fieldId: '', groupId: '', withdrawal: '' };
  assert.equal(filterAnimals(db, idx, st, { today: '2026-03-01', withdrawn: new Set() }).length, 3);
});
