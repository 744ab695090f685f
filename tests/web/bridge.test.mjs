import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { createBridge, STORAGE_KEY } from '../../resources/web/js/bridge.js';

function shellWindow(answer = () => ({ ok: true })) {
  const posted = [];
  const win = {
    webkit: { messageHandlers: { meadowlineNative: { postMessage: (m) => { posted.push(m); return Promise.resolve(answer(m)); } } } },
  };
  return { win, posted };
}

describe('inside the application', () => {
  test('each action is posted with exactly the fields the application reads', async () => {
    const { win, posted } = shellWindow();
    const bridge = createBridge(win);
    assert.equal(bridge.inShell, true);
    await bridge.ping();
    await bridge.persist('{"x":1}');
    await bridge.snapshot('before import');
    await bridge.save('Field Keeper export.csv', 'a,b\r\n');
    await bridge.save('raw.json', 'e30=', true);
    await bridge.print('<!doctype html><html><head></head><body></body></html>', 'Herd register');
    await bridge.reveal();
    assert.deepEqual(posted, [
      { action: 'ping' },
      { action: 'persist', content: '{"x":1}' },
      { action: 'snapshot', reason: 'before import' },
      { action: 'save', filename: 'Field Keeper export.csv', content: 'a,b\r\n', base64: false },
      { action: 'save', filename: 'raw.json', content: 'e30=', base64: true },
      { action: 'print', html: '<!doctype html><html><head></head><body></body></html>', title: 'Herd register' },
      { action: 'reveal' },
    ]);
  });

  test('the answer is passed through, and a refusal becomes a rejected promise', async () => {
    const { win } = shellWindow((m) => (m.action === 'persist' ? { ok: false, error: 'Disk full' } : { cancelled: true }));
    const bridge = createBridge(win);
    assert.deepEqual(await bridge.persist('x'), { ok: false, error: 'Disk full' });
    assert.deepEqual(await bridge.save('f', 'x'), { cancelled: true });
    win.webkit.messageHandlers.meadowlineNative.postMessage = () => { throw new Error('Bad message'); };
    await assert.rejects(bridge.persist('x'), /Bad message/);
  });
});

test('marked as inside the application without a way to reach it, every save fails', async () => {
  const bridge = createBridge({ __ML_SHELL: 'mac-native', localStorage: { setItem() { throw new Error('must not be used'); } } });
  assert.equal(bridge.inShell, true);
  await assert.rejects(bridge.persist('x'), /missing/);
});

describe('in an ordinary browser', () => {
  function browserWindow({ full = false } = {}) {
    const store = new Map();
    const localStorage = {
      getItem: (k) => (store.has(k) ? store.get(k) : null),
      setItem: (k, v) => {
        if (full) { const e = new Error('quota'); e.name = 'QuotaExceededError'; throw e; }
        store.set(k, String(v));
      },
    };
    return { win: { localStorage }, store };
  }

  test('records are kept in local storage', async () => {
    const { win, store } = browserWindow();
    const bridge = createBridge(win);
    assert.equal(bridge.inShell, false);
    assert.deepEqual(await bridge.persist('{"a":"é"}'), { ok: true });
    assert.equal(store.get(STORAGE_KEY), '{"a":"é"}');
  });

  test('full storage is reported as a failed save, not thrown', async () => {
    const { win } = browserWindow({ full: true });
    const answer = await createBridge(win).persist('x');
    assert.equal(answer.ok, false);
    assert.match(answer.error, /QuotaExceededError/);
  });

  test('a snapshot copies the stored records and never fails the caller', async () => {
    const { win, store } = browserWindow();
    const bridge = createBridge(win);
    await bridge.persist('{"v":1}');
    assert.deepEqual(await bridge.snapshot('before import'), { ok: true });
    const snap = [...store.entries()].find(([k]) => k !== STORAGE_KEY);
    assert.equal(JSON.parse(snap[1]).content, '{"v":1}');
    assert.equal(JSON.parse(snap[1]).reason, 'before import');
    assert.deepEqual(await createBridge(browserWindow({ full: true }).win).snapshot('backup'), { ok: true });
  });
});
