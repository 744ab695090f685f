// Runs the page's script dialogs, file inputs, downloads and new-window
// requests on typed commands, and saves what each returned as the database:
// the one channel a test can read back from outside.

const bridge = window.webkit.messageHandlers.meadowlineNative;
const report = { events: [], answers: [], ready: false };

let saving = Promise.resolve();
function save() {
  const text = JSON.stringify(report);
  saving = saving.then(() => bridge.postMessage({ action: "persist", content: text }));
  return saving;
}

function note(event) {
  report.events.push(event);
  return save();
}

window.mlFlushNow = () => save();

// Names and contents of an input's files, in the order the input holds them.
async function describeFiles(input) {
  const out = [];
  for (const f of input.files) out.push({ name: f.name, text: await f.text() });
  return out;
}

for (const id of ["many", "one"]) {
  const input = document.getElementById(id);
  input.addEventListener("change", async () => {
    report[id] = await describeFiles(input);
    note(`change:${id}`);
  });
  input.addEventListener("cancel", () => note(`cancel:${id}`));
}

// A script dialog blocks the page until it is answered: "asked" is saved
// before it opens, the answer (kept with its type: "", null, true) after.
async function ask(kind, question) {
  await note(`${kind}-asked`);
  const answer = question();
  report.answers.push({ kind, answer: answer === undefined ? "undefined" : answer });
  await note(`${kind}-answered`);
}

const commands = {
  alert: () => ask("alert", () => alert("The herd count is 42.")),
  confirm: () => ask("confirm", () => confirm("Move ewe 102 to the top field?")),
  prompt: () => ask("prompt", () => prompt("Name of the new field")),
  "prompt-default": () => ask("prompt", () => prompt("Tag of the calf", "UK 7001")),
  "pick-many"() {
    document.getElementById("many").click();
    return note("pick-many-asked");
  },
  "pick-one"() {
    document.getElementById("one").click();
    return note("pick-one-asked");
  },
  async "files-state"() {
    report.filesState = {
      many: await describeFiles(document.getElementById("many")),
      one: await describeFiles(document.getElementById("one")),
    };
    return note("files-state");
  },
  // Each download has its own content, so a test can tell which one landed.
  download() {
    const content = `tag,name\nUK 102,Bess\nUK 103,Clover\n# download ${report.events.length}\n`;
    report.downloads = [...(report.downloads || []), content];
    const link = document.getElementById("download-link");
    link.href = URL.createObjectURL(new Blob([content], { type: "text/csv" }));
    link.click();
    return note("download-asked");
  },
  // Larger than the small file system a test points it at.
  "download-big"() {
    const link = document.getElementById("download-link");
    link.href = URL.createObjectURL(new Blob(["x".repeat(512 * 1024)], { type: "text/csv" }));
    link.click();
    return note("download-asked");
  },
  "download-data"() {
    const content = "date,kg\n2026-03-01,412\n";
    report.downloads = [...(report.downloads || []), content];
    const link = document.getElementById("data-link");
    link.href = "data:text/csv;charset=utf-8," + encodeURIComponent(content);
    link.click();
    return note("download-asked");
  },
  // A response the view cannot show, reached by an ordinary navigation.
  "download-response"() {
    const content = "PK\u0003\u0004 not really a zip";
    report.downloads = [...(report.downloads || []), content];
    location.href = URL.createObjectURL(new Blob([content], { type: "application/zip" }));
    return note("download-asked");
  },
  "open-tel"() {
    report.openTel = window.open("tel:123");
    return note("open-tel");
  },
  "open-https"() {
    report.openHttps = window.open("https://example.org/x");
    return note("open-https");
  },
  "open-mail"() {
    report.openMail = window.open("MAILTO:vet@example.org");
    return note("open-mail");
  },
  "open-blank-links"() {
    document.getElementById("blank-tel-link").click();
    document.getElementById("blank-link").click();
    return note("open-blank-links");
  },
};

const field = document.getElementById("global-search");
field.addEventListener("keydown", (event) => {
  if (event.key !== "Enter") return;
  const name = field.value;
  field.value = "";
  if (commands[name]) commands[name]();
  else note(`unknown:${name}`);
});

window.addEventListener("load", async () => {
  // No user gesture here: the page may not open windows at all.
  report.openOnLoad = window.open("https://example.org/without-gesture");
  report.ready = true;
  await save();
});
