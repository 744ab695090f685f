import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { PersistQueue } from '../../../resources/web/js/shell/persist.js';

// A clock that only moves when told to.
function fakeTimers() {
  let now = 0;
  const due = new Set();
  return {
    set: (fn, ms) => {
      const t = { at: now + ms, fn };
      due.add(t);
      return t;
    },
    clear: (t) => due.delete(t),
    now: () => now,
    advance(ms) {
      now += ms;
      for (const t of [...due].sort((x, y) => x.at - y.at)) if (t.at <= now && due.delete(t)) t.fn();
    },
    pending: () => due.size,
  };
}

// The send stands in for the desktop application: it keeps every message,
// and answers only when the test says so.
function setup({ savedRevision = 0 } = {}) {
  const doc = { revision: 0, items: [] };
  const timers = fakeTimers();
  const sent = [];
  const queue = new PersistQueue({
    source: { revision: () => doc.revision, text: () => JSON.stringify(doc.items) },
    send: (content) => new Promise((resolve, reject) => sent.push({ content, resolve, reject })),
    savedRevision,
    delay: 400,
    maxWait: 2000,
    timers,
  });
  return {
    timers,
    sent,
    queue,
    change: (item) => {
      doc.items.push(item);
      doc.revision++;
      queue.changed();
    },
    texts: () => sent.map((s) => s.content),
    reply: (i, answer) => sent[i].resolve(answer),
  };
}

const settle = () => new Promise((r) => setImmediate(r));

describe('saving shortly after changes', () => {
  test('a burst of changes is saved once after a quiet spell, steady ones 2 s after the first', async () => {
    const { timers, queue, change, texts, reply } = setup();
    for (const item of ['a', 'b', 'c']) {
      change(item);
      timers.advance(300);
    }
    assert.deepEqual(texts(), []);
    timers.advance(100);
    assert.deepEqual(texts(), ['["a","b","c"]']);
    assert.equal(queue.state.saving, true);
    reply(0, { ok: true });
    await settle();
    assert.deepEqual(queue.state, { dirty: false, saving: false, error: null, locked: false });

    timers.advance(5000);
    for (let i = 0; i < 7; i++) {
      change(i);
      timers.advance(300);
    } // 2,100 ms of changes, saved meanwhile
    assert.deepEqual(texts(), ['["a","b","c"]', '["a","b","c",0,1,2,3,4,5,6]']);
  });

  test('a flush with nothing unsaved posts nothing; a change right after it is sent at once', async () => {
    const { timers, queue, change, texts } = setup();
    assert.deepEqual(await queue.flush(), { ok: true });
    assert.deepEqual(texts(), [], 'nothing to save yet');
    timers.advance(50);
    change('typed just before quitting');
    assert.equal(texts().length, 1);
    timers.advance(3000);
    change('much later');
    assert.equal(texts().length, 1, 'debounced as usual');
    timers.advance(400);
    assert.equal(texts().length, 2);
    assert.equal(setup({ savedRevision: -1 }).queue.dirty, true, 'work opened unsaved counts');

    // Saved before a safety copy: not quitting, so the change after it waits.
    const other = setup();
    other.change('before the copy');
    other.queue.saveNow();
    assert.equal(other.texts().length, 1);
    other.timers.advance(50);
    other.change('the import');
    assert.equal(other.texts().length, 1);
    other.timers.advance(400);
    assert.equal(other.texts().length, 2);
  });
});

describe('a failed save', () => {
  test('keeps the work, shows the error, and sends everything again on the next change', async () => {
    const { timers, queue, change, texts, reply } = setup();
    change('a');
    timers.advance(400);
    reply(0, { ok: false, error: 'Disk full' });
    await settle();
    assert.deepEqual(queue.state, { dirty: true, saving: false, error: 'Disk full', locked: false });
    assert.equal(timers.pending(), 0, 'no hidden retry loop');

    change('b');
    timers.advance(400);
    assert.equal(texts()[1], '["a","b"]');
    reply(1, { ok: true });
    await settle();
    assert.deepEqual([queue.state.dirty, queue.state.error], [false, null]);
  });

  test('an error, a rejected message or an odd answer is passed on to the flush as an error', async () => {
    const answers = [
      ['an error', (s) => s.resolve({ ok: false, error: 'Permission denied' }), /^Permission denied$/],
      ['a rejected message', (s) => s.reject(new Error('Bad message')), /^Bad message$/],
      ['an error without text', (s) => s.resolve({ ok: false }), /\w/],
      ['no answer', (s) => s.resolve(undefined), /\w/],
    ];
    for (const [what, answer, error] of answers) {
      const { sent, queue, change } = setup();
      change('a');
      const done = queue.flush();
      answer(sent[0]);
      const r = await done;
      assert.equal(r.ok, false, what);
      assert.match(r.error, error, what);
      assert.deepEqual(queue.state, { dirty: true, saving: false, error: r.error, locked: false }, what);
    }
  });

  test('an older save answered late neither clears newer work nor hides a newer success', async () => {
    const { queue, change, reply } = setup();
    change('a');
    queue.flush();
    change('b'); // just after the flush, so each is sent at once
    change('c');
    reply(0, { ok: true });
    await settle();
    assert.equal(queue.state.dirty, true);
    reply(2, { ok: true });
    await settle();
    reply(1, { ok: false, error: 'stale failure' });
    await settle();
    assert.deepEqual([queue.state.dirty, queue.state.error], [false, null]);
  });
});

describe('flushing at once (quitting)', () => {
  test('posts newer work at once, resolving on its answer; work being saved is not sent again', async () => {
    const { queue, change, timers, texts, reply } = setup();
    change('a');
    timers.advance(400);
    change('b');
    let answered = null;
    const p = queue.flush().then((a) => {
      answered = a;
    });
    assert.deepEqual(texts(), ['["a"]', '["a","b"]'], 'posted before flush returned');
    assert.equal(timers.pending(), 0, 'the debounce timer is cancelled');
    const again = queue.flush();
    assert.equal(texts().length, 2, 'waits for the save already under way');
    await settle();
    assert.equal(answered, null, 'still waiting for the answer');
    reply(1, { ok: true });
    await p;
    assert.deepEqual([answered, await again], [{ ok: true }, { ok: true }]);
  });

  test('nothing is ever sent once the records are locked', async () => {
    const { queue, change, timers, texts } = setup();
    queue.lock();
    change('a');
    timers.advance(5000);
    const answer = await queue.flush();
    assert.equal(answer.ok, false);
    assert.deepEqual(texts(), []);
    assert.equal(queue.state.locked, true);
  });
});
