import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import {
  filterAnimals,
  describeFilter,
  speciesChoices,
  animalOrders,
  registerAnimals,
  isDefaultList,
} from '../../../resources/web/js/rules/herd-list.js';
import { animal, off, place, farm, VOID } from '../helpers.mjs';

describe('the Animals list', () => {
  const bess = animal({ tag: 'UK 1', species: 'Cattle', fieldId: 'f1', name: 'Bess' });
  const blank = animal({ tag: 'UK 2', species: ' ' });
  const wrong = animal({ tag: 'UK 3', species: 'Cattle', voided: VOID });
  const sold = animal({ tag: 'UK 4', species: 'Cattle' });
  const heifers = {
    id: 'g1',
    name: 'Heifers',
    notes: '',
    members: [
      { animalId: bess.id, from: '2026-01-01', to: '' },
      { animalId: blank.id, from: '2026-01-01', to: '2026-02-01' },
    ],
  };
  const { db, idx } = farm({
    animals: [bess, blank, wrong, sold],
    fields: [place('f1', 'Top Meadow')],
    groups: [heifers],
    movements: [off('2026-02-10', 'sold', [sold])],
  });
  const none = { query: '', status: '', species: '', fieldId: '', groupId: '', withdrawal: '' };
  const tags = (st) =>
    filterAnimals(db, idx, { ...none, ...st }, { today: '2026-03-01', withdrawn: new Set([blank.id]) }).map(
      (a) => a.tag,
    );

  test('filters combine; animals entered in error only when asked; a group counts on the day', () => {
    assert.deepEqual(tags({}), ['UK 1', 'UK 2', 'UK 4']);
    assert.deepEqual(tags({ status: 'on-farm' }), ['UK 1', 'UK 2']);
    assert.deepEqual(tags({ status: 'void' }), ['UK 3']);
    assert.deepEqual(tags({ status: 'sold', species: 'Cattle' }), ['UK 4']);
    assert.deepEqual(tags({ withdrawal: 'running' }), ['UK 2']);
    assert.deepEqual(tags({ groupId: 'g1' }), ['UK 1'], 'UK 2 left the group before today');
    assert.deepEqual(tags({ query: 'bess', fieldId: 'f1' }), ['UK 1']);
    // A blank species is offered once and finds the blank ones.
    assert.deepEqual(speciesChoices(db), ['Cattle', 'Not recorded']);
    assert.deepEqual(tags({ species: 'Not recorded' }), ['UK 2']);
  });

  test('a printed register says which filters made it', () => {
    const st = {
      ...none,
      status: 'on-farm',
      species: 'Cattle',
      fieldId: 'f1',
      groupId: 'g1',
      query: ' bess ',
    };
    assert.equal(describeFilter(db, idx, st), 'On farm, Cattle, Top Meadow, group Heifers, matching “bess”');
    assert.equal(describeFilter(db, idx, { ...none, status: 'void' }), 'Entered in error');
    assert.equal(describeFilter(db, idx, none), 'All animals');
  });

  test('blank cells sort after every text, tags in number order', () => {
    const running = new Map([[blank.id, { meatEnd: '2026-03-09', milkEnd: '' }]]);
    const order = animalOrders(idx, running);
    const by = (k, list) =>
      list
        .slice()
        .sort(order[k])
        .map((a) => a.tag);
    const ten = animal({ tag: 'UK 10', name: 'Ada' });
    assert.deepEqual(by('tag', [ten, blank, bess]), ['UK 1', 'UK 2', 'UK 10']);
    assert.deepEqual(by('name', [blank, bess, ten]), ['UK 10', 'UK 1', 'UK 2']);
    assert.deepEqual(by('wd', [bess, blank]), ['UK 2', 'UK 1']);
    assert.deepEqual(by('field', [blank, bess]), ['UK 1', 'UK 2']);
  });
});

test('the register printed from the list as it opens holds every animal of the keeping period', () => {
  const here = animal({ tag: 'H' });
  const sold = animal({ tag: 'S' });
  const long = animal({ tag: 'L' });
  const { db } = farm({
    animals: [here, sold, long],
    movements: [off('2017-01-02', 'sold', [sold]), off('2016-01-01', 'sold', [long])],
  });
  assert.deepEqual(
    registerAnimals(db, '2027-01-01').map((a) => a.tag),
    ['H', 'S'],
  );
  const st = { query: '', status: 'on-farm', species: '', fieldId: '', groupId: '', withdrawal: '' };
  assert.deepEqual([isDefaultList(st), isDefaultList({ ...st, species: 'Sheep' })], [true, false]);
});
