// Reports what the shell gave this page, and what each command typed into the
// search field got, by saving it as the database: the one channel a test can
// read back from outside.
import { moduleLoaded } from "./helper.mjs";

const bridge = window.webkit?.messageHandlers?.meadowlineNative;
const report = Object.assign(window.report, { module: moduleLoaded, events: [], answers: [],
                                              replies: {}, downloads: [], schemes: [] });
const $ = (id) => document.getElementById(id);
const dark = window.matchMedia("(prefers-color-scheme: dark)");

async function post(body) {
  try {
    return { value: await bridge.postMessage(body) };
  } catch (e) {
    return { error: String(e?.message ?? e) };
  }
}
let saving = Promise.resolve();
function save() {
  const text = JSON.stringify(report);
  saving = saving.then(() => post({ action: "persist", content: text }));
  return saving;
}
function note(event) {
  report.events.push(event);
  return save();
}

$("global-search").addEventListener("focus", ({ target }) => {
  setTimeout(() => note(`search-focused:${target.selectionStart}-${target.selectionEnd}`), 50);
});
$("backup-top").addEventListener("click", () => note("backup-clicked"));
window.printPage = (title) => note("printPage:" + title);
window.print = () => note("window.print");
window.addEventListener("resize", () => note("width:" + window.innerWidth));
// A promise counts as an answer; only a script that does not return holds the quit to its bound.
window.mlFlushNow = () => {
  for (const end = Date.now() + 5000; window.neverAnswerFlush && Date.now() < end; );
  return window.neverAnswerFlush || note("flushed");
};
dark.addEventListener("change", () => {
  report.schemes.push(dark.matches ? "dark" : "light");
  save();
});
for (const id of ["many", "one"]) {
  $(id).addEventListener("change", () => note(`change:${id}`));
  $(id).addEventListener("cancel", () => note(`cancel:${id}`));
}

// Names and contents of an input's files, in the order the input holds them.
async function files(id) {
  return Promise.all([...$(id).files].map(async (f) => ({ name: f.name, text: await f.text() })));
}
// A script dialog holds the page until it is answered; the answer keeps its type.
const ask = (question) => async () => {
  await save();  // the question is noted before the dialog holds the page
  const answer = question();
  report.answers.push(answer === undefined ? "undefined" : answer);
  return save();
};
// Each download has its own content, so a test can tell which one landed.
function download(id, content, href) {
  report.downloads.push(content);
  $(id).href = href ?? URL.createObjectURL(new Blob([content], { type: "text/csv" }));
  $(id).click();
}
const opened = (url) => (window.open(url) === null ? "none" : "a window");
const doc = `<!doctype html><html><head><meta charset="utf-8"><title>Herd register</title>
<link rel="stylesheet" href="print.css"></head>
<body><h1>Herd register</h1><p class="marker">Daisy UK123456</p></body></html>`;

// What a command returns is saved as its reply.
const commands = {
  links: () => ["ftp-link", "file-link", "https-link", "mailto-link", "tel-link"].forEach((id) => $(id).click()),
  // A live print, and a second one asked for while its dialog is open.
  print() {
    post({ action: "print", html: "" });
    setTimeout(() => post({ action: "print", html: "" }).then(() => note("second-print-answered")), 1500);
  },
  hang: () => { window.neverAnswerFlush = true; },
  alert: ask(() => alert("The herd count is 42.")),
  confirm: ask(() => confirm("Move ewe 102 to the top field?")),
  prompt: ask(() => prompt("Name of the new field")),
  "prompt-default": ask(() => prompt("Tag of the calf", "UK 7001")),
  "pick-many": () => $("many").click(),
  "pick-one": () => $("one").click(),
  files: async () => ({ many: await files("many"), one: await files("one") }),
  download: () => download("download-link", `tag,name\nUK 102,Bess\n# download ${report.events.length}\n`),
  "download-data": () => download("data-link", "date,kg\n2026-03-01,412\n",
                                  "data:text/csv;charset=utf-8," + encodeURIComponent("date,kg\n2026-03-01,412\n")),
  // Larger than the small file system a test points it at.
  "download-big"() {
    $("download-link").href = URL.createObjectURL(new Blob(["x".repeat(512 * 1024)]));
    $("download-link").click();
  },
  // A response the view cannot show, reached by an ordinary navigation.
  "download-response"() {
    report.downloads.push("PK\u0003\u0004 not really a zip");
    location.href = URL.createObjectURL(new Blob([report.downloads.at(-1)], { type: "application/zip" }));
  },
  "open-tel": () => opened("tel:123"),
  "open-https": () => opened("https://example.org/x"),
  "open-mail": () => opened("MAILTO:vet@example.org"),
  "open-blank-links": () => ["blank-tel-link", "blank-link"].forEach((id) => $(id).click()),
  "save-text": () => post({ action: "save", filename: "herd.csv", content: "tag,name\nUK1,Dais\u00ff\n" }),
  "save-default": () => post({ action: "save" }),
  "save-b64": () => post({ action: "save", filename: "bytes.bin", content: "AAEC/w==", base64: true }),
  "save-bad": () => post({ action: "save", filename: "bad.bin", content: "AAEC\n/w==", base64: true }),
  "print-doc": () => post({ action: "print", html: doc, title: "Herd register" }),
};
$("global-search").addEventListener("keydown", async (event) => {
  if (event.key !== "Enter" || !commands[event.target.value]) return;
  const name = event.target.value;
  delete report.replies[name];
  report.events.push(name);
  const running = commands[name]();  // in the key's gesture: windows and pickers need one
  save();
  const reply = await running;
  if (reply !== undefined) {
    report.replies[name] = reply;
    await save();
  }
});

window.addEventListener("load", async () => {
  report.schemes.push(dark.matches ? "dark" : "light");
  report.openOnLoad = opened("https://example.org/without-gesture");  // no user gesture
  await save();  // a snapshot copies the saved records, so there must be some
  report.fetch = (await (await fetch("data.json")).json()).answer;
  try {
    const { instance } = await WebAssembly.instantiateStreaming(fetch("probe.wasm"));
    report.wasm = instance.exports.answer();
  } catch (e) {
    report.wasm = "failed: " + e;
  }
  report.font = await document.fonts.load('16px "Probe"').then((faces) => faces.length, String);
  report.frameShell = $("frame").contentWindow.frameSawShell;
  report.ping = await post({ action: "ping" });
  report.badText = await post("ping");
  report.badAction = await post({ action: 5 });
  report.unknown = await post({ action: "Ping" });
  report.noContent = await post({ action: "persist" });
  report.snapshot = await post({ action: "snapshot", reason: "before import 3/2026" });
  report.width = window.innerWidth;
  report.ready = true;
  await save();
});
