import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import {
  parseDatabase, serialiseDatabase, emptyDatabase, decodeDatabaseBase64, SCHEMA_VERSION, FORMAT,
} from '../../resources/web/js/model.js';
import { chooseStartup } from '../../resources/web/js/startup.js';
import { readFileSync } from 'node:fs';
import { refreshHerd } from '../../resources/web/js/history.js';
import { animal, treatment, b64 } from './helpers.mjs';

const withAnimals = (animals, extra = {}) => ({ ...emptyDatabase(), animals, ...extra });
const text = (db) => JSON.stringify(db);

describe('reading a database', () => {
  test('what is written reads back the same', () => {
    const db = withAnimals([animal({ name: 'Zoë 🐄', notes: 'Née à Aurillac' })], {
      treatments: [treatment({ meatDays: 28 })],
      farm: { name: 'Fferm Glan-yr-Afon', holding: '', organic: true },
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
      'negative days': withAnimals([], { treatments: [treatment({ milkPeriod: -1 })] }),
      'a broken voiding': withAnimals([], { weights: [{ id: 'w', date: '2026-01-01', animalId: 'a', kg: 3, voided: 'yes' }] }),
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
      format: FORMAT, schema: SCHEMA_VERSION, id: 'db-1',
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
    assert.equal(r.db.treatments[0].meatDays, null, 'not recorded');
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

  test('a copy older than the last save is loaded once more, then refused; the same copy opens', () => {
    const marker = JSON.stringify({ id: 'db-farm', revision: 8 });
    assert.deepEqual(chooseStartup({ injectedBase64: b64(text(saved(3))), savedMarker: marker }), { mode: 'reload' });
    const again = chooseStartup({ injectedBase64: b64(text(saved(3))), savedMarker: marker, reloadedForMarker: true });
    assert.deepEqual([again.mode, again.reason, again.raw], ['locked', 'stale', null]);
    const c = chooseStartup({ injectedBase64: b64(text(saved(8))), savedMarker: marker });
    assert.deepEqual([c.mode, c.savedRevision], ['open', 8]);
  });
});

// v1-farm.json was made by the application as it was before format 2, through
// its own record functions: fixtures/make-v1-farm.mjs.
describe('upgrading a format 1 database', () => {
  const raw = readFileSync(new URL('./fixtures/v1-farm.json', import.meta.url), 'utf8');
  const [v1, r] = [JSON.parse(raw), parseDatabase(raw)];
  const db = r.db;
  refreshHerd(db);
  const byTag = (tag) => db.animals.find((a) => a.tag === tag);

  test('is upgraded once, keeping every record and every key it does not know', () => {
    assert.deepEqual([r.ok, r.upgradedFrom, db.schema], [true, 1, SCHEMA_VERSION]);
    for (const c of ['animals', 'fields', 'treatments', 'weights', 'births']) {
      assert.deepEqual(db[c].map((x) => x.id), v1[c].map((x) => x.id), c);
    }
    assert.deepEqual(db.movements.slice(0, v1.movements.length).map((x) => x.id), v1.movements.map((x) => x.id));
    assert.deepEqual([db.pluginSettings, db.grazingPlans, db.animals[0].passport], [v1.pluginSettings, v1.grazingPlans, 'GB-PP-112233']);
    assert.deepEqual(parseDatabase(serialiseDatabase(db)), { ok: true, db }, 'once only');
  });

  test('keeps where every animal is, except those format 1 wrongly kept after moving them off alive', () => {
    const moved = v1.movements.find((m) => m.direction === 'off' && m.to === 'Away grazing').animalIds[0];
    for (const old of v1.animals) {
      const now = db.animals.find((a) => a.id === old.id);
      if (old.id === moved) assert.deepEqual([now.status, now.fieldId], ['away', '']);
      else assert.deepEqual([now.status, now.statusDate, now.fieldId], [old.status, old.statusDate, old.fieldId], old.tag);
    }
    const sale = db.movements.find((m) => m.animalIds.includes(byTag('UK 0 712345 00045').id));
    assert.deepEqual([sale.direction, sale.outcome, sale.date], ['off', 'sold', '2026-02-01']);
  });

  test('turns 0 days, which may have been left blank, into "not recorded", and keeps the removed animal\'s note', () => {
    assert.deepEqual(db.treatments.map((t) => [t.product, t.meatDays, t.milkPeriod]), [['Alamycin LA 300', 28, null], ['Heptavac P Plus', null, null]]);
    assert.match(db.treatments[1].target, /removed: GONE 1/);
  });

  test('takes parentage from the birth record alone', () => {
    assert.deepEqual([byTag('UK 0 712345 00101').dam, byTag('UK 341207 00118').dam], ['', 'UK 341207 00102']);
  });
});
