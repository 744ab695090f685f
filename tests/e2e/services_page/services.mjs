// Commands typed into #command then Enter ask the shell for a service; the
// replies are saved as the database, where the test reads them.
const bridge = window.webkit.messageHandlers.meadowlineNative;
const report = { replies: {}, ready: false };
let saving = Promise.resolve();
function save() {
  const text = JSON.stringify(report);
  saving = saving.then(() => bridge.postMessage({ action: "persist", content: text }));
  return saving;
}
async function ask(name, body) {
  try {
    report.replies[name] = { value: await bridge.postMessage(body) };
  } catch (e) {
    report.replies[name] = { error: String(e.message ?? e) };
  }
  return save();
}

const doc = `<!doctype html><html><head><meta charset="utf-8"><title>Herd register</title>
<link rel="stylesheet" href="print.css"></head>
<body><h1>Herd register</h1><p class="marker">Daisy UK123456</p></body></html>`;

const commands = {
  "save-text": () => ask("save-text", { action: "save", filename: "herd.csv", content: "tag,name\nUK1,Dais\u00ff\n" }),
  "save-default": () => ask("save-default", { action: "save" }),
  "save-b64": () => ask("save-b64", { action: "save", filename: "bytes.bin", content: "AAEC/w==", base64: true }),
  "save-bad": () => ask("save-bad", { action: "save", filename: "bad.bin", content: "AAEC\n/w==", base64: true }),
  "print-doc": () => ask("print-doc", { action: "print", html: doc, title: "Herd register" }),
  "print-live": () => ask("print-live", { action: "print", html: "" }),
};

document.getElementById("command").addEventListener("keydown", (event) => {
  if (event.key !== "Enter") return;
  const command = commands[event.target.value];
  event.target.value = "";
  if (command) command();
});
window.addEventListener("load", () => {
  report.ready = true;
  save();
});
