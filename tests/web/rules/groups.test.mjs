import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { parseDatabase } from '../../../resources/web/js/core/checks.js';
import { serialiseDatabase } from '../../../resources/web/js/core/saved-text.js';
import { emptyDatabase } from '../../../resources/web/js/core/database.js';
import {
  membersOn,
  groupsOf,
  joinGroup,
  leaveGroup,
  createGroup,
  validateGroup,
} from '../../../resources/web/js/rules/groups.js';

describe('group membership on a date', () => {
  test('spells run from the day joined to the day before leaving, kept on rejoining, and saved', () => {
    const db = emptyDatabase();
    const g = createGroup(db, { name: 'Ewe lambs', notes: '' });
    const other = createGroup(db, { name: 'Sale batch', notes: '' });
    assert.deepEqual(joinGroup(db, g.id, ['a', 'b'], '2026-03-01'), { ok: true, added: 2 });
    assert.deepEqual(
      joinGroup(db, g.id, ['a', 'c'], '2026-03-05'),
      { ok: true, added: 1 },
      'a is in already',
    );
    assert.deepEqual(leaveGroup(db, g.id, ['a'], '2026-04-01'), { ok: true, removed: 1 });
    joinGroup(db, g.id, ['a'], '2026-05-01');
    joinGroup(db, other.id, ['a'], '2026-03-10');
    const on = (d) => [...membersOn(g, d)].sort();
    assert.deepEqual(
      [on('2026-02-28'), on('2026-03-01'), on('2026-03-31'), on('2026-04-01'), on('2026-05-01')],
      [[], ['a', 'b'], ['a', 'b', 'c'], ['b', 'c'], ['a', 'b', 'c']],
    );
    assert.deepEqual(
      groupsOf(db, 'a', '2026-03-20').map((x) => x.name),
      ['Ewe lambs', 'Sale batch'],
    );
    assert.deepEqual(
      groupsOf(db, 'a', '2026-04-15').map((x) => x.name),
      ['Sale batch'],
    );
    // Stored and read back; a damaged spell refuses the file.
    assert.deepEqual(parseDatabase(serialiseDatabase(db)).db.groups, db.groups);
    db.groups[0].members[0].to = '1 April';
    assert.equal(parseDatabase(serialiseDatabase(db)).ok, false);
  });

  test('a change that would overlap or reverse a spell is refused and changes nothing', () => {
    const db = emptyDatabase();
    const g = createGroup(db, { name: 'Mob', notes: '' });
    joinGroup(db, g.id, ['a', 'b'], '2026-03-01');
    const before = JSON.stringify(db);
    assert.match(leaveGroup(db, g.id, ['b', 'a'], '2026-03-01').errors.date, /joined on 2026-03-01/);
    assert.ok(joinGroup(db, g.id, ['a'], '2026-02-01').errors.date);
    assert.ok(joinGroup(db, 'nope', ['a'], '2026-03-02').errors.group);
    assert.equal(JSON.stringify(db), before);
    assert.ok(validateGroup({ name: ' mob ' }, { db }).errors.name);
  });
});
