import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { searchAnimals } from '../../../resources/web/js/core/search.js';
import { animal, treatment, movement, farm } from '../helpers.mjs';

const daisy = animal({ tag: 'UK 100', name: 'Daisy', species: 'Cattle', breed: 'Hereford' });
const lea = animal({ tag: 'UK 1001', name: 'Léa', species: 'Goat', notes: 'Kidded twice' });
const tag100 = animal({ tag: 'FR 7', name: 'UK 100 sister', species: 'Cattle' });
const plain = animal({ tag: 'S 55', name: '', species: 'Sheep' });
const { idx } = farm({
  animals: [lea, daisy, tag100, plain],
  treatments: [
    treatment({ date: '2026-02-02', animalIds: [plain.id], product: 'Zolvix', givenBy: 'Vet Ó Briain' }),
    treatment({ animalIds: [daisy.id, plain.id], product: 'Bovilis', reason: 'Pneumonia' }),
  ],
  movements: [movement({ direction: 'off', animalIds: [lea.id], to: 'Market Drayton' })],
});
const find = (q, limit) => searchAnimals(idx.searchIndex(), q, limit);
const tags = (q) => find(q).results.map((r) => r.animal.tag);

describe('search', () => {
  test('an exact tag comes first, then tags that start with it, then other matches', () => {
    assert.deepEqual(tags('uk 100'), ['UK 100', 'UK 1001', 'FR 7']);
  });

  test('every word must match, in own details or any record, whatever the case or accents', () => {
    const cases = [
      ['lea', ['UK 1001']],
      ['LÉA', ['UK 1001']],
      ['kidded', ['UK 1001']],
      ['cattle', ['FR 7', 'UK 100']],
      ['market drayton', ['UK 1001']],
      ['briain', ['S 55']],
      ['zolvix pneumonia', ['S 55']],
      ['hereford pneumonia', ['UK 100']],
      ['hereford zolvix', []],
      ['   ', []],
    ];
    for (const [q, expected] of cases) assert.deepEqual(tags(q).sort(), expected, q);
  });

  test('says which record a hit came from; the limit cuts the list but not the total', () => {
    const [hit] = find('zolvix').results;
    assert.deepEqual([hit.matchedIn.kind, hit.matchedIn.date], ['Treatment', '2026-02-02']);
    const some = find('uk', 1);
    assert.deepEqual([some.results.length, some.total], [1, 3]);
  });
});
