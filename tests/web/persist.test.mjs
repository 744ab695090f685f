import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { PersistQueue } from '../../resources/web/js/persist.js';

// A clock that only moves when told to.
function fakeTimers() {
  let now = 0;
  let seq = 0;
  const due = new Map();
  return {
    set: (fn, ms) => { due.set(++seq, { at: now + ms, fn }); return seq; },
    clear: (id) => due.delete(id),
    now: () => now,
    advance(ms) {
      now += ms;
      for (const [id, t] of [...due].sort((a, b) => a[1].at - b[1].at)) {
        if (t.at <= now && due.has(id)) { due.delete(id); t.fn(); }
      }
    },
    pending: () => due.size,
  };
}

// Stands in for the desktop application: records every message and answers
// only when the test says so.
function fakeShell() {
  const sent = [];
  return {
    sent,
    send(content) {
      let answer;
      const promise = new Promise((resolve, reject) => { answer = { resolve, reject }; });
      sent.push({ content, answer });
      return promise;
    },
    reply(i, value) { sent[i].answer.resolve(value); },
    fail(i, error) { sent[i].answer.resolve({ ok: false, error }); },
  };
}

function setup({ savedRevision = 0 } = {}) {
  const doc = { revision: 0, items: [] };
  const timers = fakeTimers();
  const shell = fakeShell();
  const states = [];
  const queue = new PersistQueue({
    source: { revision: () => doc.revision, text: () => JSON.stringify(doc.items) },
    send: (t) => shell.send(t),
    savedRevision, delay: 400, maxWait: 2000, timers, onState: (s) => states.push(s),
  });
  const change = (item) => { doc.items.push(item); doc.revision++; queue.changed(); };
  return { doc, timers, shell, queue, states, change };
}

const settle = () => new Promise((r) => setImmediate(r));

describe('saving shortly after changes', () => {
  test('a burst of changes is saved once, after the quiet period', () => {
    const { timers, shell, change } = setup();
    change('a');
    timers.advance(300);
    change('b');
    timers.advance(300);
    change('c');
    assert.equal(shell.sent.length, 0);
    timers.advance(400);
    assert.equal(shell.sent.length, 1);
    assert.equal(shell.sent[0].content, '["a","b","c"]');
  });

  test('a change right after a flush (the quit) is sent at once, later ones wait again', () => {
    const { timers, shell, queue, change } = setup();
    queue.flush();
    assert.equal(shell.sent.length, 0, 'nothing to save yet');
    timers.advance(50);
    change('typed just before quitting');
    assert.equal(shell.sent.length, 1);
    timers.advance(3000);
    change('much later');
    assert.equal(shell.sent.length, 1, 'debounced as usual');
    timers.advance(400);
    assert.equal(shell.sent.length, 2);
  });

  test('steady changes are still saved two seconds after the first of them', () => {
    const { timers, shell, change } = setup();
    timers.advance(5000); // the clock is not at zero when work begins
    for (let i = 0; i < 7; i++) { change(i); timers.advance(300); } // 2,100 ms of changes
    assert.equal(shell.sent.length, 1, 'saved while changes kept coming');
    assert.equal(shell.sent[0].content, '[0,1,2,3,4,5,6]');
  });

  test('a successful answer marks the work saved', async () => {
    const { timers, shell, queue, change } = setup();
    change('a');
    timers.advance(400);
    assert.equal(queue.state.saving, true);
    shell.reply(0, { ok: true });
    await settle();
    assert.deepEqual(queue.state, { dirty: false, saving: false, error: null, locked: false });
  });
});

describe('a failed save', () => {
  test('keeps the work, shows the error, and sends everything again on the next change', async () => {
    const { timers, shell, queue, change } = setup();
    change('a');
    timers.advance(400);
    shell.fail(0, 'No space left on device');
    await settle();
    assert.equal(queue.state.dirty, true);
    assert.equal(queue.state.error, 'No space left on device');
    assert.equal(timers.pending(), 0, 'no hidden retry loop');

    change('b');
    timers.advance(400);
    assert.equal(shell.sent[1].content, '["a","b"]');
    shell.reply(1, { ok: true });
    await settle();
    assert.equal(queue.state.dirty, false);
    assert.equal(queue.state.error, null);
  });

  test('a rejected message or an odd answer counts as a failure', async () => {
    const { timers, shell, queue, change } = setup();
    change('a');
    timers.advance(400);
    shell.sent[0].answer.reject(new Error('Bad message'));
    await settle();
    assert.equal(queue.state.error, 'Bad message');
    const again = queue.flush();
    shell.reply(1, undefined);
    assert.equal((await again).ok, false);
    assert.equal(queue.state.dirty, true);
  });

  test('an error answer without text still reads as an error', async () => {
    const { shell, queue, change } = setup();
    change('a');
    const done = queue.flush();
    shell.reply(0, { ok: false });
    const answer = await done;
    assert.equal(answer.ok, false);
    assert.ok(answer.error.length > 0);
  });

  test('a late failure of an older save does not hide a newer success', async () => {
    const { shell, queue, change } = setup();
    change('a');
    queue.flush();
    change('b');
    queue.flush();
    shell.reply(1, { ok: true });
    await settle();
    shell.fail(0, 'stale failure');
    await settle();
    assert.equal(queue.state.error, null);
    assert.equal(queue.state.dirty, false);
  });

  test('a success for older work does not clear the newer work', async () => {
    const { shell, queue, change } = setup();
    change('a');
    queue.flush();
    change('b');
    shell.reply(0, { ok: true });
    await settle();
    assert.equal(queue.state.dirty, true);
  });
});

describe('flushing at once (quitting)', () => {
  test('posts immediately and resolves only when the save is answered', async () => {
    const { shell, queue, change, timers } = setup();
    change('a');
    let answered = null;
    const p = queue.flush().then((a) => { answered = a; });
    assert.equal(shell.sent.length, 1, 'posted before flush returned');
    assert.equal(timers.pending(), 0, 'the debounce timer is cancelled');
    await settle();
    assert.equal(answered, null, 'still waiting for the answer');
    shell.reply(0, { ok: true });
    await p;
    assert.deepEqual(answered, { ok: true });
  });

  test('passes on a failure so that the caller knows', async () => {
    const { shell, queue, change } = setup();
    change('a');
    const p = queue.flush();
    shell.fail(0, 'Permission denied');
    assert.deepEqual(await p, { ok: false, error: 'Permission denied' });
  });

  test('with nothing unsaved it answers at once without posting', async () => {
    const { shell, queue } = setup({ savedRevision: 0 });
    assert.deepEqual(await queue.flush(), { ok: true });
    assert.equal(shell.sent.length, 0);
  });

  test('while the same work is being saved it waits for that save instead of sending again', async () => {
    const { shell, queue, change, timers } = setup();
    change('a');
    timers.advance(400);
    const p = queue.flush();
    assert.equal(shell.sent.length, 1);
    shell.reply(0, { ok: true });
    assert.deepEqual(await p, { ok: true });
  });

  test('newer work than the save in progress is sent at once', () => {
    const { shell, queue, change, timers } = setup();
    change('a');
    timers.advance(400);
    change('b');
    queue.flush();
    assert.equal(shell.sent.length, 2);
    assert.equal(shell.sent[1].content, '["a","b"]');
  });

  test('a page started from unsaved work counts as dirty', () => {
    const { queue, doc } = setup({ savedRevision: -1 });
    assert.equal(doc.revision, 0);
    assert.equal(queue.dirty, true);
  });
});

describe('locked records', () => {
  test('nothing is ever sent once locked', async () => {
    const { shell, queue, change, timers } = setup();
    queue.lock();
    change('a');
    timers.advance(5000);
    const answer = await queue.flush();
    assert.equal(answer.ok, false);
    assert.equal(shell.sent.length, 0);
    assert.equal(queue.state.locked, true);
  });
});
