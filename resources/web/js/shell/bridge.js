// Talking to the desktop application, or standing in for it in an ordinary
// browser (records in localStorage, files as downloads, printing through a
// hidden frame). Both sides answer with the same shapes.

import { base64ToBytes } from '../core/base64.js';

export const STORAGE_KEY = 'meadowline-field-keeper.database';
const SNAPSHOT_KEY = 'meadowline-field-keeper.snapshot';

export function createBridge(win) {
  const handler = win.webkit?.messageHandlers?.meadowlineNative;
  if (handler) return shellBridge(handler);
  // Marked as inside the application but unable to reach it: saving must
  // fail visibly rather than go to browser storage nobody will look at.
  if (typeof win.__ML_SHELL === 'string') {
    return shellBridge({
      postMessage: () => {
        throw new Error('The connection to Field Keeper is missing.');
      },
    });
  }
  return browserBridge(win);
}

function shellBridge(handler) {
  const post = (message) => {
    try {
      return Promise.resolve(handler.postMessage(message));
    } catch (e) {
      return Promise.reject(e);
    }
  };
  return {
    inShell: true,
    ping: () => post({ action: 'ping' }),
    persist: (content) => post({ action: 'persist', content }),
    snapshot: (reason) => post({ action: 'snapshot', reason }),
    save: (filename, content, base64 = false) =>
      post({ action: 'save', filename, content, base64: base64 === true }),
    print: (html, title) => post({ action: 'print', html, title }),
    reveal: () => post({ action: 'reveal' }),
  };
}

function browserBridge(win) {
  const storage = () => win.localStorage;
  return {
    inShell: false,
    ping: async () => ({ version: 2, dataPath: 'this browser’s local storage', shell: 'browser' }),
    persist: async (content) => {
      try {
        storage().setItem(STORAGE_KEY, content);
        return { ok: true };
      } catch (e) {
        return { ok: false, error: `The browser would not store the records (${e?.name || e}).` };
      }
    },
    // One snapshot is kept, as far as the browser's storage allows.
    snapshot: async (reason) => {
      try {
        const current = storage().getItem(STORAGE_KEY);
        if (current !== null)
          storage().setItem(
            SNAPSHOT_KEY,
            JSON.stringify({ reason, at: new Date().toISOString(), content: current }),
          );
      } catch {
        // A snapshot that does not fit is not worth stopping the user for.
      }
      return { ok: true };
    },
    save: async (filename, content, base64 = false) => {
      const blob = new Blob([base64 ? base64ToBytes(content) : content], {
        type: filename.endsWith('.csv') ? 'text/csv;charset=utf-8' : 'application/octet-stream',
      });
      const url = win.URL.createObjectURL(blob);
      const a = win.document.createElement('a');
      a.href = url;
      a.download = filename;
      a.hidden = true;
      win.document.body.append(a);
      a.click();
      a.remove();
      win.setTimeout(() => win.URL.revokeObjectURL(url), 60000);
      return { ok: true, path: filename };
    },
    print: async (html) => {
      printInFrame(win, html);
      return { ok: true };
    },
    reveal: async () => ({ ok: true }),
  };
}

// The composed document names its style sheet relatively; a base element
// makes that resolve against this page, as the application's print view does.
function printInFrame(win, html) {
  const doc = win.document;
  doc.getElementById('print-frame')?.remove();
  const frame = doc.createElement('iframe');
  frame.id = 'print-frame';
  frame.title = 'Print preview';
  frame.setAttribute('aria-hidden', 'true');
  frame.style.cssText = 'position:fixed;right:0;bottom:0;width:0;height:0;border:0;visibility:hidden';
  const base = new URL('.', win.location.href).href;
  frame.srcdoc = html.replace('<head>', `<head><base href="${base}">`);
  frame.addEventListener(
    'load',
    () => {
      frame.contentWindow.focus();
      frame.contentWindow.print();
    },
    { once: true },
  );
  doc.body.append(frame);
}
