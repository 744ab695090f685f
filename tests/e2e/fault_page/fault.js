// Driven by the database it is started with: {"mode": ..., "n": ...}. Every
// text it saves carries the mode on, so the next start continues the test,
// and says what it found injected, so the test can compare.
(function () {
  const bridge = window.webkit.messageHandlers.meadowlineNative;

  function decode(b64) {
    const bytes = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
    return new TextDecoder("utf-8", { fatal: true }).decode(bytes);
  }

  // A text that proves itself whole: its number at both ends, a body of a
  // length and content that depend on the number.
  function text(state, n, size) {
    const body = String.fromCharCode(97 + (n % 26)).repeat(size);
    return JSON.stringify({ mode: state.mode, n, load: state.load, injected: state.injected,
                            replies: state.replies,
                            size, body, end: n });
  }
  function whole(t) {
    try {
      const v = JSON.parse(t);
      return v.end === v.n && v.body.length === v.size &&
             v.body === String.fromCharCode(97 + (v.n % 26)).repeat(v.size);
    } catch (e) {
      return false;
    }
  }

  let injectedText = null;
  try {
    injectedText = window.__ML_DB_B64 ? decode(window.__ML_DB_B64) : null;
  } catch (e) {
    injectedText = "undecodable";
  }
  let start = {};
  try { start = JSON.parse(injectedText); } catch (e) {}
  const state = {
    mode: start.mode || "idle",
    injected: injectedText === null ? null : { n: start.n ?? null, whole: whole(injectedText), length: injectedText.length },
    replies: [],
    load: Math.random(),  // tells one page load from the next
  };
  const post = (content) => bridge.postMessage({ action: "persist", content });

  async function stream() {
    // Saves as fast as replies come, with sizes from 1 KB to about 1 MB.
    let n = (start.n || 0) + 1000;
    for (;;) {
      n += 1;
      await post(text(state, n, 1024 + (n * 7919) % (1 << 20)));
    }
  }

  async function fsize() {
    // The test limits the file size once this first save is on disk, then
    // rewrites it with the mode "limited".
    state.replies.push(await post(text(state, 1, 1000)));
    await new Promise((r) => setTimeout(r, 1500));
    state.replies.push(await post(text(state, 2, 400 * 1024)));
    state.replies.push(await post(text(state, 3, 2000)));
    state.mode = "done";
    await post(text(state, 4, 10));
  }

  async function vanish() {
    // Saves every 100 ms; the test takes the data folder away and later
    // puts it back, and the first save after that tells what failed.
    state.mode = "waiting";
    const wait = () => new Promise((r) => setTimeout(r, 100));
    for (let n = 1; ; n++) {
      const reply = await post(text(state, n, 100));
      if (!reply.ok && state.replies.length < 5) state.replies.push(reply);
      await wait();
    }
  }

  window.addEventListener("load", () => {
    if (state.mode === "stream") stream();
    else if (state.mode === "fsize") fsize();
    else if (state.mode === "vanish") vanish();
  });
})();
