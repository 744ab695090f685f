import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { createBridge, STORAGE_KEY } from '../../../resources/web/js/shell/bridge.js';

function shellWindow(answer = () => ({ ok: true })) {
  const posted = [];
  const postMessage = (m) => {
    posted.push(m);
    return Promise.resolve(answer(m));
  };
  return { win: { webkit: { messageHandlers: { meadowlineNative: { postMessage } } } }, posted };
}

describe('inside the application', () => {
  test('the answer is passed through; a refusal or no way to reach the application rejects', async () => {
    const refusal = { ok: false, error: 'Disk full' };
    const { win } = shellWindow((m) => (m.action === 'persist' ? refusal : { cancelled: true }));
    const bridge = createBridge(win);
    assert.deepEqual(await bridge.persist('x'), refusal);
    assert.deepEqual(await bridge.save('f', 'x'), { cancelled: true });
    win.webkit.messageHandlers.meadowlineNative.postMessage = () => {
      throw new Error('Bad message');
    };
    await assert.rejects(bridge.persist('x'), /Bad message/);
    // Marked as inside the application but unable to reach it: saving fails, never to the browser.
    const cut = createBridge({
      __ML_SHELL: 'mac-native',
      localStorage: {
        setItem() {
          throw new Error('must not be used');
        },
      },
    });
    assert.equal(cut.inShell, true);
    await assert.rejects(cut.persist('x'), /missing/);
  });
});

test('in a browser, local storage keeps the records and a snapshot; when full, saves fail', async () => {
  const store = new Map();
  let full = false;
  const localStorage = {
    getItem: (k) => (store.has(k) ? store.get(k) : null),
    setItem: (k, v) => {
      if (full) {
        const e = new Error('quota');
        e.name = 'QuotaExceededError';
        throw e;
      }
      store.set(k, String(v));
    },
  };
  const bridge = createBridge({ localStorage });
  assert.equal(bridge.inShell, false);
  assert.deepEqual(await bridge.persist('{"a":"é"}'), { ok: true });
  assert.equal(store.get(STORAGE_KEY), '{"a":"é"}');
  assert.deepEqual(await bridge.snapshot('before import'), { ok: true });
  const snap = JSON.parse([...store.entries()].find(([k]) => k !== STORAGE_KEY)[1]);
  assert.deepEqual([snap.content, snap.reason], ['{"a":"é"}', 'before import']);

  full = true;
  const answer = await bridge.persist('x');
  assert.equal(answer.ok, false, 'reported, not thrown');
  assert.match(answer.error, /QuotaExceededError/);
  assert.deepEqual(await bridge.snapshot('backup'), { ok: true }, 'a snapshot that does not fit is let go');
});
