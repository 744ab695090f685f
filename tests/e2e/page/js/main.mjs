// Reports what the shell gave this page by saving it as the database, the
// one channel a test can read back from outside.
import { moduleLoaded } from "./helper.mjs";

const bridge = window.webkit?.messageHandlers?.meadowlineNative;
const report = window.report;
report.module = moduleLoaded;

async function post(body) {
  try {
    return { value: await bridge.postMessage(body) };
  } catch (e) {
    return { error: String(e && e.message !== undefined ? e.message : e) };
  }
}

let saving = Promise.resolve();
function save() {
  const text = JSON.stringify(report);
  saving = saving.then(() => post({ action: "persist", content: text }));
  return saving;
}
window.saveReport = save;

function note(event) {
  report.events.push(event);
  return save();
}

document.getElementById("global-search").addEventListener("focus", () => {
  setTimeout(() => {
    const s = document.getElementById("global-search");
    note("search-focused:" + s.selectionStart + "-" + s.selectionEnd);
  }, 50);
});
document.getElementById("backup-top").addEventListener("click", () => note("backup-clicked"));
window.printPage = (title) => note("printPage:" + title);
window.print = () => note("window.print");
window.addEventListener("resize", () => note("width:" + window.innerWidth));

window.mlFlushNow = () => {
  if (window.neverAnswerFlush) return new Promise(() => {});
  return note("flushed");
};

async function probe() {
  report.stage = "start";
  await save();
  report.fetch = (await (await fetch("data.json")).json()).answer;
  try {
    const { instance } = await WebAssembly.instantiateStreaming(fetch("probe.wasm"));
    report.wasm = instance.exports.answer();
  } catch (e) {
    report.wasm = "failed: " + e;
  }
  report.stage = "wasm done";
  await save();
  try {
    const faces = await document.fonts.load('16px "Probe"');
    report.font = faces.length;
  } catch (e) {
    report.font = "failed: " + e;
  }
  report.stage = "font done";
  await save();
  report.frameShell = document.getElementById("frame").contentWindow.frameSawShell;
  report.ping = await post({ action: "ping" });
  report.badText = await post("ping");
  report.badAction = await post({ action: 5 });
  report.unknown = await post({ action: "Ping" });
  report.noContent = await post({ action: "persist" });
  report.snapshot = await post({ action: "snapshot", reason: "before import 3/2026" });
  report.width = window.innerWidth;
  report.ready = true;
  await save();
}

const params = new URLSearchParams(location.search);
window.addEventListener("load", () => {
  if (params.get("quiet") !== "1") probe();
});

// Commands a test types into the search field, then Enter.
const commands = {
  links() {
    for (const id of ["ftp-link", "file-link", "https-link", "mailto-link", "tel-link"])
      document.getElementById(id).click();
    return note("links-clicked");
  },
  // A live print, and a second one asked for while its dialog is open.
  print() {
    post({ action: "print", html: "" });
    setTimeout(() => post({ action: "print", html: "" }).then(() => note("second-print-answered")), 1500);
    return note("print-asked");
  },
  hang() {
    window.neverAnswerFlush = true;
    return note("hanging");
  },
};
document.getElementById("global-search").addEventListener("keydown", (event) => {
  if (event.key !== "Enter") return;
  const command = commands[event.target.value];
  if (command) command();
});
