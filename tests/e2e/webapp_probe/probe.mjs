// Added to a copy of the farm application by the end-to-end tests, never
// shipped. It only reads: on F9 it hands what the page shows to the system as
// an https address, which the shell passes to the tests' fake default
// handler. Saving through the bridge would overwrite the records under test.

function text(el, max = 120) {
  return el ? el.textContent.replace(/\s+/g, " ").trim().slice(0, max) : null;
}

window.addEventListener("keydown", (event) => {
  if (event.key !== "F9") return;
  event.preventDefault();
  const focused = document.activeElement;
  const dialog = document.getElementById("dialog");
  const state = {
    emptyFarm: document.getElementById("empty-farm") !== null,
    focusedId: focused && focused !== document.body ? focused.id : null,
    focusedText: focused && focused !== document.body ? text(focused) : null,
    search: document.getElementById("global-search").value,
    route: location.hash,
    heading: text(document.querySelector("#view h1")),
    locked: document.body.classList.contains("is-locked"),
    dialog: dialog && dialog.open ? text(dialog.querySelector("h2")) : null,
    dialogStatus: dialog && dialog.open ? text(dialog.querySelector(".dialog-status"), 600) : null,
    errors: [...document.querySelectorAll(".field-error:not([hidden])")].map((e) => text(e)),
    rows: [...document.querySelectorAll("#view tbody tr")].slice(0, 20).map((tr) => ({
      text: text(tr, 300), voided: tr.classList.contains("voided") })),
    saveState: text(document.getElementById("save-state")),
    today: text(document.getElementById("today"), 1000),
    notices: [...document.querySelectorAll("#view .notice, dialog[open] [data-reader-result]")].map((e) => text(e, 600)),
    session: Object.keys(sessionStorage).map((k) => [k, sessionStorage.getItem(k).length]),
  };
  location.href = "https://probe.invalid/?" + encodeURIComponent(JSON.stringify(state));
}, true);
