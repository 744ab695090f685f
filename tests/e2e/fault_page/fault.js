// Driven by the database it is started with: {"mode": ..., "n": ...}. Every
// text it saves carries the mode on, so the next start continues the test,
// and says what it found injected, so the test can compare.
(function () {
  const bridge = window.webkit.messageHandlers.meadowlineNative;
  const post = (content) => bridge.postMessage({ action: "persist", content });
  const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

  // A text that proves itself whole: its number at both ends, a body of a
  // length and content that depend on the number.
  function text(n, size) {
    const body = String.fromCharCode(97 + (n % 26)).repeat(size);
    return JSON.stringify({ mode: state.mode, n, load: state.load, injected: state.injected,
                            replies: state.replies, size, body, end: n });
  }
  function whole(t) {
    try {
      const v = JSON.parse(t);
      return v.end === v.n && v.body === String.fromCharCode(97 + (v.n % 26)).repeat(v.size);
    } catch (e) {
      return false;
    }
  }

  let injected = null;
  try {
    const bytes = Uint8Array.from(atob(window.__ML_DB_B64 || ""), (c) => c.charCodeAt(0));
    injected = window.__ML_DB_B64 ? new TextDecoder("utf-8", { fatal: true }).decode(bytes) : null;
  } catch (e) {
    injected = "undecodable";
  }
  let start = {};
  try { start = JSON.parse(injected); } catch (e) {}
  const state = {
    mode: start.mode || "idle",
    injected: injected === null ? null : { n: start.n ?? null, whole: whole(injected), length: injected.length },
    replies: [],
    load: Math.random(),  // tells one page load from the next
  };

  async function stream() {
    // Saves as fast as replies come, with sizes from 1 KB to about 1 MB.
    for (let n = (start.n || 0) + 1001; ; n++) await post(text(n, 1024 + (n * 7919) % (1 << 20)));
  }

  async function limits() {
    // The test limits the file size once this first save is on disk.
    state.replies.push(await post(text(1, 1000)));
    await sleep(1500);
    state.replies.push(await post(text(2, 400 * 1024)));
    state.replies.push(await post(text(3, 2000)));
    // Then it takes the data folder away and later puts it back; the first
    // save after that tells what failed.
    state.mode = "waiting";
    for (let n = 4; ; n++) {
      const reply = await post(text(n, 100));
      if (!reply.ok && state.replies.length < 8) state.replies.push(reply);
      await sleep(100);
    }
  }

  window.addEventListener("load", () => (state.mode === "stream" ? stream() : limits()));
})();
