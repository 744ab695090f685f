// Runs the page's dialogs, file inputs, downloads and new-window requests on
// typed commands and saves what each returned as the database: the one
// channel a test can read back from outside.

const bridge = window.webkit.messageHandlers.meadowlineNative;
const report = { events: [], ready: false };

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

// Lists of chosen files: names and contents, in the order the input holds them.
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

const commands = {
  // Script dialogs block the page until answered, so the "asked" note is
  // saved before and the answer after.
  async alert() {
    await note("alert-asked");
    report.alert = alert("The herd count is 42.");
    await note("alert-done");
  },
  async confirm() {
    await note("confirm-asked");
    report.confirm = confirm("Move ewe 102 to the top field?");
    await note("confirm-done");
  },
  async prompt() {
    await note("prompt-asked");
    report.prompt = prompt("Name of the new field");
    await note("prompt-done");
  },
  async "prompt-default"() {
    await note("prompt-asked");
    report.prompt = prompt("Tag of the calf", "UK 7001");
    await note("prompt-done");
  },
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
  download() {
    const stamp = String(report.events.length);
    report.downloadContent = `tag,name\nUK 102,Bess\nUK 103,Clover ${stamp}\n`;
    const blob = new Blob([report.downloadContent], { type: "text/csv" });
    const link = document.getElementById("download-link");
    link.href = URL.createObjectURL(blob);
    link.click();
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
  "open-blank-link"() {
    document.getElementById("blank-link").click();
    return note("open-blank-link");
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
  // Without a user gesture the page may not open windows at all.
  report.openOnLoad = window.open("https://example.org/without-gesture");
  report.ready = true;
  await save();
});
