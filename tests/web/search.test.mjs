import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { searchAnimals, fold } from '../../resources/web/js/model.js';
import { animal, treatment, farm } from './helpers.mjs';

const daisy = animal({ tag: 'UK 100', name: 'Daisy', species: 'Cattle', breed: 'Hereford' });
const lea = animal({ tag: 'UK 1001', name: 'Léa', species: 'Goat', notes: 'Kidded twice' });
const tag100 = animal({ tag: 'FR 7', name: 'UK 100 sister', species: 'Cattle' });
const plain = animal({ tag: 'S 55', name: '', species: 'Sheep' });
const { idx } = farm({
  animals: [lea, daisy, tag100, plain],
  treatments: [
    treatment({ date: '2026-02-02', animalIds: [plain.id], product: 'Zolvix', batch: 'B77', givenBy: 'Vet Ó Briain' }),
    treatment({ date: '2026-02-03', animalIds: [daisy.id, plain.id], product: 'Bovilis', reason: 'Pneumonia' }),
  ],
  movements: [{ id: 'mo-1', date: '2026-01-05', direction: 'off', animalIds: [lea.id], from: '', to: 'Market Drayton', fieldId: '', reason: '', notes: '' }],
});
const find = (q, limit) => searchAnimals(idx.searchIndex(), q, limit);
const tags = (q) => find(q).results.map((r) => r.animal.tag);

describe('search', () => {
  test('an exact tag comes first, then tags that start with it', () => {
    assert.deepEqual(tags('uk 100').slice(0, 2), ['UK 100', 'UK 1001']);
    assert.ok(tags('uk 100').includes('FR 7'), 'also found through its name');
  });

  test('names are found without caring for case or accents', () => {
    assert.deepEqual(tags('lea'), ['UK 1001']);
    assert.deepEqual(tags('LÉA'), ['UK 1001']);
    assert.equal(fold('Øyvind Zoë'), 'øyvind zoe');
  });

  test('finds animals through the text of their records, and says which record', () => {
    const hit = find('zolvix').results;
    assert.deepEqual(hit.map((r) => r.animal.tag), ['S 55']);
    assert.equal(hit[0].matchedIn.kind, 'Treatment');
    assert.equal(hit[0].matchedIn.date, '2026-02-02');
    assert.deepEqual(tags('market drayton'), ['UK 1001']);
    assert.deepEqual(tags('briain'), ['S 55']);
  });

  test('every word must match, though they may come from different records', () => {
    assert.deepEqual(tags('zolvix pneumonia'), ['S 55']);
    assert.deepEqual(tags('hereford pneumonia'), ['UK 100']);
    assert.deepEqual(tags('hereford zolvix'), []);
  });

  test('own details are searched as well as records', () => {
    assert.deepEqual(tags('kidded'), ['UK 1001']);
    assert.deepEqual(tags('cattle').sort(), ['FR 7', 'UK 100']);
  });

  test('an empty query finds nothing; the limit cuts the list but not the total', () => {
    assert.deepEqual(find('   ').results, []);
    const some = find('uk', 1);
    assert.equal(some.results.length, 1);
    assert.equal(some.total, 3);
  });
});
