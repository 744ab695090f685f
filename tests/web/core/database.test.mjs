import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import {
  parseDatabase,
  serialiseDatabase,
  emptyDatabase,
  decodeDatabaseBase64,
  blockSerialiser,
  SCHEMA_VERSION,
  FORMAT,
} from '../../../resources/web/js/core/model.js';
import { chooseStartup, openRecords } from '../../../resources/web/js/shell/startup.js';
import { refreshHerd } from '../../../resources/web/js/rules/history.js';
import { animal, treatment, off, b64 } from '../helpers.mjs';

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

describe('choosing the records to open at start', () => {
  const saved = (revision, extra = {}) => ({ ...emptyDatabase(), id: 'db-farm', revision, ...extra });

  test('opens the handed-over copy or a fresh farm; an older copy reloads once, then locks', () => {
    const fresh = chooseStartup({});
    assert.deepEqual([fresh.mode, fresh.db.animals], ['fresh', []]);
    const c = chooseStartup({ injectedBase64: b64(text(saved(7, { animals: [animal({ tag: 'Ä1' })] }))) });
    assert.deepEqual([c.mode, c.db.animals[0].tag, c.savedRevision], ['open', 'Ä1', 7]);
    const savedMarker = JSON.stringify({ id: 'db-farm', revision: 8 });
    const copy = (revision) => b64(text(saved(revision)));
    assert.deepEqual(chooseStartup({ injectedBase64: copy(3), savedMarker }), { mode: 'reload' });
    const again = chooseStartup({ injectedBase64: copy(3), savedMarker, reloadedForMarker: true });
    assert.deepEqual([again.mode, again.reason, again.raw], ['locked', 'stale', null]);
    const same = chooseStartup({ injectedBase64: copy(8), savedMarker });
    assert.deepEqual([same.mode, same.savedRevision], ['open', 8]);
  });

  test('records opened, at start or from a backup, take status and field from the movements, not from the file', () => {
    const a = animal({ tag: 'A', status: 'on-farm', fieldId: 'f1' });
    const db = parseDatabase(
      text(saved(2, { animals: [a], movements: [off('2026-02-01', 'sold', [a])] })),
    ).db;
    const idx = openRecords(db);
    assert.deepEqual(
      [db.animals[0].status, db.animals[0].fieldId, idx.animalsInField.get('f1')],
      ['sold', '', undefined],
    );
  });

  test('a damaged or newer database locks the page and keeps the raw content to be saved elsewhere', () => {
    const notUtf8 = Buffer.from([0x7b, 0xff, 0xfe, 0x7d]).toString('base64');
    const cutShort = '{"format": "meadowline-field-keeper", "schema": 1, "animals": [';
    const newer = text({ ...saved(1), schema: 99 });
    const cases = [
      [{ injectedBase64: notUtf8 }, 'damaged', { content: notUtf8, base64: true }],
      [{ injectedBase64: b64(cutShort) }, 'damaged', { content: cutShort, base64: false }],
      [{ storedText: newer }, 'newer', { content: newer, base64: false }],
    ];
    for (const [input, reason, raw] of cases) {
      const c = chooseStartup(input);
      assert.deepEqual([c.mode, c.reason, c.raw], ['locked', reason, raw], raw.content);
    }
  });
});

// v1-farm.json was made by the application as it was before format 2, through
// its own record functions: tools/fixtures/make-v1-farm.mjs.
describe('upgrading a format 1 database', () => {
  const raw = readFileSync(new URL('../fixtures/v1-farm.json', import.meta.url), 'utf8');
  const [v1, r] = [JSON.parse(raw), parseDatabase(raw)];
  const db = r.db;
  refreshHerd(db);
  const byTag = (tag) => db.animals.find((a) => a.tag === tag);
  const ids = (list) => list.map((x) => x.id);

  test('is upgraded once, keeping every record and every key it does not know', () => {
    assert.deepEqual([r.ok, r.upgradedFrom, db.schema], [true, 1, SCHEMA_VERSION]);
    for (const c of ['animals', 'fields', 'treatments', 'weights', 'births']) {
      assert.deepEqual(ids(db[c]), ids(v1[c]), c);
    }
    assert.deepEqual(ids(db.movements.slice(0, v1.movements.length)), ids(v1.movements));
    assert.deepEqual(
      [db.pluginSettings, db.grazingPlans, db.animals[0].passport],
      [v1.pluginSettings, v1.grazingPlans, 'GB-PP-112233'],
    );
    assert.deepEqual(parseDatabase(serialiseDatabase(db)), { ok: true, db }, 'once only');
  });

  test('keeps where every animal is, except those format 1 wrongly kept after moving them off alive', () => {
    const moved = v1.movements.find((m) => m.direction === 'off' && m.to === 'Away grazing').animalIds[0];
    const where = (a) => [a.status, a.statusDate, a.fieldId];
    for (const old of v1.animals) {
      const now = db.animals.find((a) => a.id === old.id);
      if (old.id === moved) assert.deepEqual([now.status, now.fieldId], ['away', '']);
      else assert.deepEqual(where(now), where(old), old.tag);
    }
    const sale = db.movements.find((m) => m.animalIds.includes(byTag('UK 0 712345 00045').id));
    assert.deepEqual([sale.direction, sale.outcome, sale.date], ['off', 'sold', '2026-02-01']);
  });

  test('gives animals that met different fates on one movement a movement each; dates an undated death', () => {
    const old = JSON.parse(raw);
    const [sold, away, died] = old.animals.filter((a) => a.status === 'on-farm');
    Object.assign(sold, { status: 'sold', statusDate: '2026-03-01' });
    Object.assign(died, { status: 'died', statusDate: '' });
    old.movements.push({
      ...old.movements.find((m) => m.direction === 'off'),
      id: 'mo-lorry',
      date: '2026-03-01',
      animalIds: [sold.id, away.id],
    });
    const up = parseDatabase(JSON.stringify(old)).db;
    const outcomes = (a) =>
      up.movements
        .filter((m) => m.animalIds.includes(a.id) && m.direction === 'off')
        .map((m) => [m.date, m.outcome]);
    assert.deepEqual([outcomes(sold), outcomes(away)], [[['2026-03-01', 'sold']], [['2026-03-01', 'away']]]);
    // Dated its last record, of 2026-04-02.
    const death = up.movements.find((m) => m.animalIds.includes(died.id) && m.outcome === 'died');
    assert.deepEqual([death.date, /no date/.test(death.notes)], ['2026-04-02', true]);
  });

  test('turns 0 days, perhaps left blank, into "not recorded"; parentage comes from births', () => {
    assert.deepEqual(
      db.treatments.map((t) => [t.product, t.meatDays, t.milkPeriod]),
      [
        ['Alamycin LA 300', 28, null],
        ['Heptavac P Plus', null, null],
      ],
    );
    assert.match(db.treatments[1].target, /removed: GONE 1/, "the removed animal's note is kept");
    assert.deepEqual([byTag('UK 0 712345 00101').dam, byTag('UK 341207 00118').dam], ['', 'UK 341207 00102']);
  });
});

test("the saved text built in blocks is the records' JSON after appends, replaced lists and resets", () => {
  const db = { ...emptyDatabase(), extra: { keep: [1] } };
  const s = blockSerialiser(3);
  const same = () => assert.equal(s.text(db), JSON.stringify(db));
  same();
  for (let i = 0; i < 8; i++) {
    db.weights.push({ id: `w${i}`, date: '2026-01-01', animalId: 'a', kg: i + 1 });
    s.appended('weights', db.weights);
    same();
  }
  db.weights[1].kg = 99;
  s.reset();
  same();
  db.weights = db.weights.slice(2);
  same();
  s.reset();
  let t = 0;
  while (s.warm(db, 1, () => t++));
  same();
});
