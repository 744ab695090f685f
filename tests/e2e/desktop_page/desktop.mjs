// Reports what the desktop made of this page by saving it as the database.
const bridge = window.webkit.messageHandlers.meadowlineNative;
const dark = window.matchMedia("(prefers-color-scheme: dark)");
const report = { shell: window.__ML_SHELL, schemes: [], events: [] };

let saving = Promise.resolve();
function save() {
  const content = JSON.stringify(report);
  saving = saving.then(() => bridge.postMessage({ action: "persist", content }));
  return saving;
}

dark.addEventListener("change", () => {
  report.schemes.push(dark.matches ? "dark" : "light");
  save();
});
window.mlFlushNow = () => {
  report.events.push("flushed");
  return save();
};

window.addEventListener("load", async () => {
  report.schemes.push(dark.matches ? "dark" : "light");
  await save(); // a snapshot copies the saved records, so there must be some
  report.snapshot = await bridge.postMessage({ action: "snapshot", reason: "desktop test" });
  report.size = [window.innerWidth, window.innerHeight];
  report.ready = true;
  await save();
});
