import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { parseDatabase } from '../../../resources/web/js/core/checks.js';
import { serialiseDatabase } from '../../../resources/web/js/core/saved-text.js';
import { SCHEMA_VERSION } from '../../../resources/web/js/core/database.js';
import { refreshHerd } from '../../../resources/web/js/rules/history.js';

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

describe('upgrading a format 2 database', () => {
  test('only raises its format: every record, list and key it does not know stays as it was', () => {
    const v1 = parseDatabase(readFileSync(new URL('../fixtures/v1-farm.json', import.meta.url), 'utf8')).db;
    const v2 = JSON.parse(serialiseDatabase({ ...v1, schema: 2 }));
    const added = ['services', 'scans', 'jobs', 'sprays', 'nutrients', 'lots', 'lotMovements'];
    for (const name of added) delete v2[name];
    v2.animals[0].breedingNotes = 'kept';
    const r = parseDatabase(JSON.stringify(v2));
    assert.deepEqual([r.ok, r.upgradedFrom, r.db.schema], [true, 2, SCHEMA_VERSION]);
    const rest = { ...r.db, schema: 2 };
    for (const name of added) (assert.deepEqual(rest[name], [], name), delete rest[name]);
    assert.deepEqual(rest, v2);
  });
});
