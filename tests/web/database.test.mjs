import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import {
  parseDatabase, serialiseDatabase, emptyDatabase, decodeDatabaseBase64, SCHEMA_VERSION, FORMAT,
} from '../../resources/web/js/model.js';
import { chooseStartup } from '../../resources/web/js/startup.js';
import { animal, treatment, b64 } from './helpers.mjs';

const withAnimals = (animals, extra = {}) => ({ ...emptyDatabase(), animals, ...extra });
const text = (db) => JSON.stringify(db);

describe('reading a database', () => {
  test('what is written reads back the same', () => {
    const db = withAnimals([animal({ name: 'Zoë 🐄', notes: 'Née à Aurillac' })], {
      treatments: [treatment({ meatDays: 28 })],
      farm: { name: 'Fferm Glan-yr-Afon', holding: '' },
    });
    const parsed = parseDatabase(serialiseDatabase(db));
    assert.equal(parsed.ok, true);
    assert.deepEqual(parsed.db, db);
  });

  test('damaged JSON is refused', () => {
    const good = serialiseDatabase(withAnimals([animal()]));
    for (const bad of [good.slice(0, -5), '', '{"format":', 'null']) {
      const r = parseDatabase(bad);
      assert.equal(r.ok, false, bad);
    }
    assert.equal(parseDatabase(good.slice(0, -5)).kind, 'json');
  });

  test('a newer schema is refused as newer, naming both versions', () => {
    const r = parseDatabase(text({ ...emptyDatabase(), schema: SCHEMA_VERSION + 1, animals: 'something new' }));
    assert.equal(r.ok, false);
    assert.equal(r.kind, 'newer');
    assert.match(r.message, new RegExp(`schema ${SCHEMA_VERSION + 1}`));
  });

  test('other JSON documents and broken shapes are refused', () => {
    const cases = {
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
      'negative days': withAnimals([], { treatments: [treatment({ milkDays: -1 })] }),
      'animal ids not a list': withAnimals([], { treatments: [treatment({ animalIds: 'an-1' })] }),
      'a weight of zero': withAnimals([], { weights: [{ id: 'w', date: '2026-01-01', animalId: 'a', kg: 0 }] }),
      'a damaged farm': { ...emptyDatabase(), farm: 'Meadowline' },
      'a negative revision': { ...emptyDatabase(), revision: -2 },
    };
    for (const [what, doc] of Object.entries(cases)) {
      const r = parseDatabase(text(doc));
      assert.equal(r.ok, false, what);
      assert.equal(r.kind, 'shape', what);
    }
  });

  test('missing optional values take defaults, unknown ones are kept', () => {
    const r = parseDatabase(text({
      format: FORMAT, schema: 1, id: 'db-1',
      animals: [{ id: 'a', tag: 'T1', colour: 'roan' }],
      treatments: [{ id: 't', date: '2026-01-01', product: 'X' }],
    }));
    assert.equal(r.ok, true);
    const [a] = r.db.animals;
    assert.equal(a.status, 'on-farm');
    assert.equal(a.sex, 'unknown');
    assert.equal(a.dob, '');
    assert.equal(a.colour, 'roan');
    assert.deepEqual(r.db.treatments[0].animalIds, []);
    assert.equal(r.db.treatments[0].meatDays, 0);
    assert.deepEqual(r.db.births, []);
    assert.equal(r.db.revision, 0);
  });
});

describe('the database handed over in Base64', () => {
  test('UTF-8 text with accents and emoji decodes exactly', () => {
    const db = withAnimals([animal({ name: 'Zoë 🐄', breed: 'Montbéliarde', notes: 'Ærø — “quiet” 🐑' })]);
    const original = serialiseDatabase(db);
    const decoded = decodeDatabaseBase64(b64(original));
    assert.equal(decoded.ok, true);
    assert.equal(decoded.text, original);
    assert.equal(parseDatabase(decoded.text).db.animals[0].name, 'Zoë 🐄');
  });

  test('a byte-order mark is dropped', () => {
    const decoded = decodeDatabaseBase64(Buffer.from('\ufeff{"a":"é"}', 'utf8').toString('base64'));
    assert.equal(decoded.text, '{"a":"é"}');
  });

  test('bytes that are not UTF-8 are refused rather than guessed', () => {
    const latin1 = Buffer.from('{"name":"Zoë"}', 'latin1').toString('base64');
    assert.equal(decodeDatabaseBase64(latin1).ok, false);
    assert.equal(decodeDatabaseBase64('not base64!').ok, false);
  });
});

describe('choosing the records to open at start', () => {
  const saved = (revision, extra = {}) => ({ ...emptyDatabase(), id: 'db-farm', revision, ...extra });

  test('nothing saved: a fresh, empty farm', () => {
    const c = chooseStartup({});
    assert.equal(c.mode, 'fresh');
    assert.equal(c.db.animals.length, 0);
  });

  test('the handed-over database opens as saved', () => {
    const c = chooseStartup({ injectedBase64: b64(text(saved(7, { animals: [animal({ tag: 'Ä1' })] }))) });
    assert.equal(c.mode, 'open');
    assert.equal(c.db.animals[0].tag, 'Ä1');
    assert.equal(c.savedRevision, 7);
  });

  test('a damaged or newer database locks the page and keeps the raw content', () => {
    const notUtf8 = Buffer.from([0x7b, 0xff, 0xfe, 0x7d]).toString('base64');
    const a = chooseStartup({ injectedBase64: notUtf8 });
    assert.equal(a.mode, 'locked');
    assert.deepEqual(a.raw, { content: notUtf8, base64: true }, 'the exact bytes can be saved elsewhere');

    const b = chooseStartup({ injectedBase64: b64('{"format": "meadowline-field-keeper", "schema": 1, "animals": [') });
    assert.equal(b.mode, 'locked');
    assert.equal(b.reason, 'damaged');
    assert.deepEqual(b.raw, { content: '{"format": "meadowline-field-keeper", "schema": 1, "animals": [', base64: false });

    const c = chooseStartup({ storedText: text({ ...saved(1), schema: 99 }) });
    assert.equal(c.mode, 'locked');
    assert.equal(c.reason, 'newer');
  });

  test('after a reload, newer records kept by the page win over the older copy handed over', () => {
    const c = chooseStartup({
      injectedBase64: b64(text(saved(3))),
      mirrorText: text(saved(9, { animals: [animal({ tag: 'NEW' })] })),
      savedMarker: JSON.stringify({ id: 'db-farm', revision: 8 }),
    });
    assert.equal(c.mode, 'open');
    assert.equal(c.db.animals[0].tag, 'NEW');
    assert.equal(c.savedRevision, 8, 'revision 9 was never saved, so it still counts as unsaved');
  });

  test('after a reload without the newer copy, the older one is not opened', () => {
    const c = chooseStartup({
      injectedBase64: b64(text(saved(3))),
      savedMarker: JSON.stringify({ id: 'db-farm', revision: 8 }),
    });
    assert.equal(c.mode, 'locked');
    assert.equal(c.reason, 'stale');
    assert.equal(c.raw, null);
  });

  test('a copy kept by the page that is older than the last save is not trusted', () => {
    const c = chooseStartup({
      injectedBase64: b64(text(saved(3))),
      mirrorText: text(saved(5)),
      savedMarker: JSON.stringify({ id: 'db-farm', revision: 8 }),
    });
    assert.equal(c.mode, 'locked');
  });

  test('when the handed-over copy is the last one saved, it opens normally', () => {
    const c = chooseStartup({
      injectedBase64: b64(text(saved(8))),
      mirrorText: text(saved(8)),
      savedMarker: JSON.stringify({ id: 'db-farm', revision: 8 }),
    });
    assert.equal(c.mode, 'open');
    assert.equal(c.savedRevision, 8);
  });
});
