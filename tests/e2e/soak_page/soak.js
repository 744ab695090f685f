// Saves 2,000 times, 1 KB to 5 MB (spread evenly on a log scale), taking a
// snapshot every 25 saves and printing a composed document every 200 from
// the 100th on, so the first print has happened before the pause at 200.
// Each text starts with its number, so the test can follow the run; the
// last one is a small summary.
(function () {
  const bridge = window.webkit.messageHandlers.meadowlineNative;
  const total = 2000;
  let seed = 20261206;
  function random() {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    return seed / 2147483648;
  }
  const doc = "<!doctype html><title>Soak print</title><p>Soak print</p>";
  window.addEventListener("load", async () => {
    const summary = { done: true, replies: 0, failures: [], snapshots: 0, prints: 0 };
    for (let i = 1; i <= total; i++) {
      const size = Math.round(Math.exp(Math.log(1024) + random() * (Math.log(5 << 20) - Math.log(1024))));
      const head = '{"i":' + i + ',"pad":"';
      const text = head + "x".repeat(Math.max(0, size - head.length - 2)) + '"}';
      const reply = await bridge.postMessage({ action: "persist", content: text });
      summary.replies++;
      if (!reply.ok) summary.failures.push(reply.error);
      if (i % 25 === 0) {
        await bridge.postMessage({ action: "snapshot", reason: "soak " + i });
        summary.snapshots++;
      }
      if (i === 200) {
        // A quiet moment for the test to read the program's memory.
        await bridge.postMessage({ action: "persist", content: '{"i":200,"pause":true}' });
        await new Promise((r) => setTimeout(r, 2000));
      }
      if (i % 200 === 100) {
        await bridge.postMessage({ action: "print", html: doc, title: "Soak " + i });
        summary.prints++;
      }
    }
    await bridge.postMessage({ action: "persist", content: JSON.stringify(summary) });
  });
})();
