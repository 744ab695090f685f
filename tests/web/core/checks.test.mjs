import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { parseDatabase } from '../../../resources/web/js/core/checks.js';
import { serialiseDatabase } from '../../../resources/web/js/core/saved-text.js';
import { emptyDatabase, SCHEMA_VERSION, FORMAT } from '../../../resources/web/js/core/database.js';
import { decodeDatabaseBase64 } from '../../../resources/web/js/core/base64.js';
import { animal, treatment, b64 } from '../helpers.mjs';

const withAnimals = (animals, extra = {}) => ({ ...emptyDatabase(), animals, ...extra });
const text = (db) => JSON.stringify(db);

describe('reading a database', () => {
  test('what is written reads back the same, also handed over in Base64 with accents and emoji', () => {
    const zoe = animal({ name: 'Zoë 🐄', breed: 'Montbéliarde', notes: 'Ærø — “quiet” 🐑' });
    const db = withAnimals([zoe], {
      treatments: [treatment({ meatDays: 28 })],
      farm: { name: 'Fferm Glan-yr-Afon', holding: '', organic: true },
    });
    const written = serialiseDatabase(db);
    assert.deepEqual(parseDatabase(written), { ok: true, db });
    assert.deepEqual(decodeDatabaseBase64(b64(written)), { ok: true, text: written });
    assert.equal(decodeDatabaseBase64(b64('\ufeff{"a":"é"}')).text, '{"a":"é"}', 'byte-order mark dropped');
    // Bytes that are not UTF-8 are refused rather than guessed.
    assert.equal(decodeDatabaseBase64(Buffer.from('{"name":"Zoë"}', 'latin1').toString('base64')).ok, false);
    assert.equal(decodeDatabaseBase64('not base64!').ok, false);
  });

  test('damaged JSON, a newer schema, other documents and broken shapes are refused, saying which', () => {
    const good = serialiseDatabase(withAnimals([animal()]));
    for (const damaged of [good.slice(0, -5), '', '{"format":']) {
      assert.equal(parseDatabase(damaged).kind, 'json', damaged);
    }
    const newer = parseDatabase(text({ ...emptyDatabase(), schema: SCHEMA_VERSION + 1, animals: 'new' }));
    assert.deepEqual([newer.ok, newer.kind], [false, 'newer']);
    assert.match(newer.message, new RegExp(`schema ${SCHEMA_VERSION + 1}\\b.*schema ${SCHEMA_VERSION}\\b`));
    const weight = (fields) => ({ id: 'w', date: '2026-01-01', animalId: 'a', kg: 3, ...fields });
    const shapes = {
      'JSON null': null,
      'an array': [],
      'no format marker': { schema: 1, animals: [] },
      'another format': { format: 'something-else', schema: 1 },
      'schema not a number': { ...emptyDatabase(), schema: '1' },
      'schema zero': { ...emptyDatabase(), schema: 0 },
      'animals not a list': { ...emptyDatabase(), animals: {} },
      'a record without id': withAnimals([{ tag: 'A' }]),
      'a repeated id': withAnimals([animal({ id: 'x' }), animal({ id: 'x' })]),
      'an animal without tag': withAnimals([animal({ tag: '  ' })]),
      'a date that does not exist': withAnimals([animal({ dob: '2026-02-30' })]),
      'an unknown status': withAnimals([animal({ status: 'lost' })]),
      'days as text': withAnimals([], { treatments: [treatment({ meatDays: '28' })] }),
      'negative days': withAnimals([], { treatments: [treatment({ milkPeriod: -1 })] }),
      'a broken voiding': withAnimals([], { weights: [weight({ voided: 'yes' })] }),
      'animal ids not a list': withAnimals([], { treatments: [treatment({ animalIds: 'an-1' })] }),
      'a weight of zero': withAnimals([], { weights: [weight({ kg: 0 })] }),
      'a damaged farm': { ...emptyDatabase(), farm: 'Meadowline' },
      'a negative revision': { ...emptyDatabase(), revision: -2 },
      'organic as text': { ...emptyDatabase(), farm: { organic: 'true' } },
      'a deadline as text': { ...emptyDatabase(), farm: { registerDays: { Sheep: '180' } } },
    };
    for (const [what, doc] of Object.entries(shapes)) {
      const r = parseDatabase(text(doc));
      assert.deepEqual([r.ok, r.kind], [false, 'shape'], what);
    }
    // The message names what is wrong.
    assert.match(parseDatabase(text(shapes['organic as text'])).message, /the organic is not true or false/);
    assert.match(parseDatabase(text(shapes['a deadline as text'])).message, /registerDays of Sheep/);
  });

  test('a file that could not be saved again or read without doubt is refused, saying why; a numeric save time is read', () => {
    const v1 = { format: FORMAT, schema: 1, animals: [] };
    const refused = {
      'format 1, save time not text': [{ ...v1, savedAt: 1767225600000 }, /savedAt/],
      'format 2, save time an object': [{ ...emptyDatabase(), savedAt: {} }, /savedAt/],
      'one tag twice': [
        withAnimals([animal({ tag: 'UK 1' }), animal({ tag: ' uk  1' })]),
        /Two animals have/,
      ],
    };
    for (const [what, [doc, message]] of Object.entries(refused)) {
      const r = parseDatabase(text(doc));
      assert.deepEqual([r.ok, r.kind], [false, 'shape'], what);
      assert.match(r.message, message, what);
    }
    const deep = `{"format":"${FORMAT}","schema":2,"extra":${'['.repeat(50000)}1${']'.repeat(50000)}}`;
    assert.throws(() => JSON.stringify(JSON.parse(deep)), /call stack/, 'the fault the check prevents');
    assert.match(parseDatabase(deep).message, /nested more than \d+ levels deep, under "extra"/);
    const numeric = parseDatabase(text({ ...emptyDatabase(), savedAt: Date.UTC(2026, 0, 1) }));
    assert.equal(numeric.db.savedAt, '2026-01-01T00:00:00.000Z');
  });

  test('missing optional values take defaults, unknown ones are kept', () => {
    const { db } = parseDatabase(
      text({
        format: FORMAT,
        schema: SCHEMA_VERSION,
        id: 'db-1',
        animals: [{ id: 'a', tag: 'T1', colour: 'roan' }],
        treatments: [{ id: 't', date: '2026-01-01', product: 'X' }],
      }),
    );
    const [[a], [t]] = [db.animals, db.treatments];
    assert.deepEqual([a.status, a.sex, a.dob, a.colour], ['on-farm', 'unknown', '', 'roan']);
    assert.deepEqual([t.animalIds, t.meatDays], [[], null], 'days not recorded');
    assert.deepEqual([db.births, db.revision], [[], 0]);
  });
});
