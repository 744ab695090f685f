// Added to a copy of the farm application by the end-to-end tests, never
// shipped. It only reads: on F9 it hands what the page shows to the system as
// an https address, which the shell passes to the tests' fake default
// handler. Saving through the bridge would overwrite the records under test.

function text(el) {
  return el ? el.textContent.replace(/\s+/g, " ").trim().slice(0, 120) : null;
}

window.addEventListener("keydown", (event) => {
  if (event.key !== "F9") return;
  event.preventDefault();
  const focused = document.activeElement;
  const state = {
    emptyFarm: document.getElementById("empty-farm") !== null,
    focusedId: focused && focused !== document.body ? focused.id : null,
    focusedText: focused && focused !== document.body ? text(focused) : null,
    search: document.getElementById("global-search").value,
    route: location.hash,
    heading: text(document.querySelector("#view h1")),
    locked: document.body.classList.contains("is-locked"),
  };
  location.href = "https://probe.invalid/?" + encodeURIComponent(JSON.stringify(state));
}, true);
