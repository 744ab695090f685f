// Start-up and the frame around every screen: which records to open, saving,
// the menu hooks of the desktop application (search, back up, print, flush
// before quitting), routing and the global search.

import { COLLECTIONS, SCHEMA_VERSION } from './core/database.js';
import { serialiseDatabase } from './core/saved-text.js';
import { parseDatabase } from './core/checks.js';
import { decodeUtf8 } from './core/base64.js';
import { addDays, localIsoDate, localDateTime } from './core/dates.js';
import { searchAnimals } from './core/search.js';
import { animalLabel, STATUS_LABEL, SPECIES } from './core/text.js';
import { createStore } from './rules/store.js';
import { openTreatments, withdrawalsRunning } from './rules/withdrawal.js';
import { todayList } from './rules/reports.js';
import { dueList } from './rules/breeding.js';
import { PersistQueue } from './shell/persist.js';
import { createBridge, STORAGE_KEY } from './shell/bridge.js';
import { chooseStartup } from './shell/startup.js';
import { demoDatabase } from './shell/demo.js';
import { h, nf } from './ui/dom.js';
import { toast, showBanner, clearBanner, confirmDialog, focusKeyOf, refocus } from './ui/ui.js';
import { herdRegister, composeDocument } from './output/print.js';
import { escapeHtml } from './output/html.js';
import { overviewView, animalsView, animalCardView } from './views/herd.js';
import { animalHref, showAnimals } from './views/cells.js';
import { registerDatesOf } from './rules/history.js';
import { cabinetView } from './views/cabinet.js';
import { handlingView } from './views/handling.js';
import { groupsView } from './views/groups.js';
import { lotsView } from './views/lots.js';
import { reportsView } from './views/reports.js';
import { spraysView, nutrientsView, fieldPageView } from './views/fieldwork.js';
import { breedingView, seasonFigures } from './views/breeding.js';
import { jobsView } from './views/jobs.js';
import { touchesJobs, addRecordWithJobs } from './rules/jobs.js';
import { UNITS } from './rules/cabinet.js';
import {
  treatmentsView,
  weightsView,
  birthsView,
  movementsView,
  fieldsView,
  dataView,
  lockedView,
} from './views/records.js';

const MARKER_KEY = 'meadowline-field-keeper.saved';
const RELOADED_KEY = 'meadowline-field-keeper.reloaded';

const ROUTES = {
  overview: overviewView,
  animals: animalsView,
  animal: animalCardView,
  treatments: treatmentsView,
  medicines: cabinetView,
  handling: handlingView,
  groups: groupsView,
  lots: lotsView,
  reports: reportsView,
  jobs: jobsView,
  weights: weightsView,
  births: birthsView,
  breeding: breedingView,
  movements: movementsView,
  fields: fieldsView,
  field: fieldPageView,
  sprays: spraysView,
  nutrients: nutrientsView,
  data: dataView,
};

const app = {
  store: null,
  // The records and their index, read by every screen; changed only through
  // app.store.apply (app.commit, app.commitAdded).
  get db() {
    return this.store?.db ?? null;
  },
  get idx() {
    return this.store?.idx ?? null;
  },
  bridge: null,
  queue: null,
  problem: null,
  dataPath: '',
  current: null,
  viewStates: new Map(),
  sortCache: new Map(),
  today: () => localIsoDate(),
  now: () => localDateTime(),
  toast: (message) => toast(message, undoOffer()),
};

function session(fn) {
  try {
    return fn(window.sessionStorage);
  } catch {
    return null;
  }
}

// ---------------------------------------------------------------- start

async function start() {
  app.bridge = createBridge(window);
  const inShell = app.bridge.inShell;
  let storedText;
  if (!inShell) {
    try {
      storedText = window.localStorage.getItem(STORAGE_KEY) ?? undefined;
    } catch {
      storedText = undefined;
    }
  }
  const choice = chooseStartup({
    injectedBase64: inShell && typeof window.__ML_DB_B64 === 'string' ? window.__ML_DB_B64 : undefined,
    storedText,
    savedMarker: inShell ? session((s) => s.getItem(MARKER_KEY)) : null,
    reloadedForMarker: inShell && session((s) => s.getItem(RELOADED_KEY)) === '1',
  });
  if (choice.mode === 'reload') {
    // A save landed just after this load began: load once more.
    session((s) => s.setItem(RELOADED_KEY, '1'));
    location.reload();
    return;
  }
  session((s) => s.removeItem(RELOADED_KEY));

  app.queue = new PersistQueue({
    source: {
      revision: () => app.db?.revision ?? 0,
      text: () => app.store.savedText(new Date().toISOString()),
    },
    send: (text) => app.bridge.persist(text),
    savedRevision: choice.mode === 'locked' ? 0 : choice.savedRevision,
    onState: showSaveState,
  });

  const demo = !inShell && new URLSearchParams(location.search).get('demo');
  if (demo && choice.mode !== 'locked') {
    // For trying the screens with a large farm; never saved over real records.
    app.store = createStore(demoDatabase(Number(demo) || 300, app.today()), storeHooks);
    app.queue.lock();
    showBanner('demo', {
      kind: 'info',
      title: 'Demonstration records.',
      message: 'Nothing you change here is saved.',
    });
  } else if (choice.mode === 'locked') {
    app.problem = choice;
    app.queue.lock();
    document.body.classList.add('is-locked');
    document.getElementById('global-search').disabled = true;
  } else {
    app.store = createStore(choice.db, storeHooks);
    if (choice.upgradedFrom) await upgradeOnDisk(choice.upgradedFrom);
    if (app.queue.dirty) app.queue.changed();
  }

  window.mlFlushNow = () => app.queue.flush();
  // For the shell's Edit menu, whose shortcuts may reach the page only so.
  // The shell's Edit › Undo and Redo ask here first: outside text fields they
  // take back a change to the records (true), in them the typing (false).
  window.mlUndo = () => historyStep(document.activeElement, () => app.undo());
  window.mlRedo = () => historyStep(document.activeElement, () => app.redo());
  warmSaved();
  window.printPage = printPage;
  document.getElementById('backup-top').addEventListener('click', () => app.backUp());
  document.getElementById('print-top').addEventListener('click', () => printPage(document.title));
  window.addEventListener('hashchange', () => render({ focusHeading: true }));
  // A reload or closing the tab still hands over the pending work.
  window.addEventListener('pagehide', () => app.queue.flush());
  document.addEventListener('visibilitychange', () => {
    if (document.visibilityState === 'hidden') app.queue.flush();
  });
  document.addEventListener('keydown', globalKeys);
  document.body.append(
    h('datalist', { id: 'tag-suggestions' }),
    h(
      'datalist',
      { id: 'species-suggestions' },
      SPECIES.map((s) => h('option', { value: s })),
    ),
    h('datalist', { id: 'product-suggestions' }),
    h(
      'datalist',
      { id: 'unit-suggestions' },
      UNITS.map((u) => h('option', { value: u })),
    ),
  );
  setupSearch();
  showSaveState(app.queue.state);
  render({ focusHeading: false });

  app.bridge.ping().then(
    (r) => {
      app.dataPath = r?.dataPath || '';
      if (app.current?.route === 'data') render();
    },
    () => {},
  );
}

// ---------------------------------------------------------------- changes and saving

// Records of an older format are upgraded in memory when read. Before the
// upgraded records are saved over the old file, a snapshot keeps the old file
// as it was; without that copy nothing is saved.
async function upgradeOnDisk(from) {
  const reason = `before upgrade to format ${SCHEMA_VERSION}`;
  try {
    const res = await app.bridge.snapshot(reason);
    if (res && res.ok === false) throw new Error(res.error || 'no reason given');
  } catch (e) {
    app.queue.lock();
    showBanner('upgrade-error', {
      title: 'These records are not being saved.',
      message:
        `They were written by an older version (format ${from}) and need upgrading, but a copy of the old file could not be kept first (${e?.message || e}). ` +
        'The file is unchanged. Quit and start Field Keeper again to try once more.',
    });
    return;
  }
  app.db.revision += 1;
}

// Every change of the records: saved shortly after, the screen redrawn once.
// A change that throws is not made at all, and says so.
let changedSinceToast = false;
const storeHooks = {
  onChange: () => {
    app.sortCache.clear();
    app.queue.changed();
    changedSinceToast = true;
    scheduleRender();
    warmSaved();
  },
  onError: (e, change) => {
    console.error(e);
    showBanner('change-error', {
      title: 'That change was not made.',
      message: `${sentence(change.label)} The records are as they were before it (${e?.message || e}).`,
    });
  },
};

// What every check of typed input is given: the records, their index, the
// day, and the record being edited (null for a new one).
app.context = (editing = null) => ({ db: app.db, idx: app.idx, today: app.today(), editing });

// The answer of `mutate` (the record saved, say), or undefined when nothing changed.
app.commit = (mutate, message) => {
  if (app.problem) return undefined;
  const done = app.store.apply({ label: message || 'The last change', run: mutate });
  if (!done.ok) return undefined;
  if (message) app.toast(message);
  return done.value;
};

// One new weight or treatment, as a handling day adds them: the index takes
// the record in place of a rebuild.
// A record that does a planned job, or plans some (a first dose), changes the
// jobs in the same change, so that one undo takes both back.
app.commitAdded = (collection, value, jobId = '') => {
  if (app.problem) return undefined;
  const label = `A new ${collection.slice(0, -1)}`;
  const done = touchesJobs(app.db, collection, value, jobId)
    ? app.store.apply({ label, run: (db) => addRecordWithJobs(db, collection, value, jobId) })
    : app.store.apply({ label, add: { collection, value } });
  return done.ok ? done.value : undefined;
};

// Undo and redo of this session's changes, until they are printed or exported.
app.undo = () => {
  if (app.problem) return;
  const label = app.store?.undo();
  changedSinceToast = false;
  toast(label ? `Undone: ${label}` : 'Nothing to undo.', label && app.store.canRedo() ? redoOffer : null);
};
app.redo = () => {
  if (app.problem) return;
  const label = app.store?.redo();
  changedSinceToast = false;
  toast(label ? `Done again: ${label}` : 'Nothing to redo.');
};
const redoOffer = { label: 'Redo', run: () => app.redo() };
// The notice after a change offers to take it back.
function undoOffer() {
  const offer = changedSinceToast && app.store?.canUndo();
  changedSinceToast = false;
  return offer ? { label: 'Undo', run: () => app.undo() } : null;
}

// The saved text's blocks, the search entries and what the most used screens
// need are made in short tasks after a change, so that neither the save that
// follows nor opening a screen holds the page for long on a large farm.
let warming = null;
let warmNext = 0;
function warmSaved() {
  warmNext = 0;
  if (warming !== null || !app.db) return;
  const step = () => {
    let more = false;
    try {
      more = app.store.warm() || prepareSave() || app.idx?.warmSearch() || warmScreen();
    } finally {
      warming = more ? setTimeout(step, 0) : null;
    }
  };
  warming = setTimeout(step, 0);
}
// The save's whole text, in a task of its own once its blocks are made:
// copying it together is a third of a large farm's save.
const prepareSave = () =>
  !!app.queue?.dirty && !app.queue.locked && !app.problem && app.store.prepare(new Date().toISOString());
const WARMED = [
  () => app.openTreatments(),
  () => app.withdrawals(),
  () => app.todayList(),
  () => app.dueList(),
  () => seasonFigures(app),
];
function warmScreen() {
  if (app.problem || !app.store || warmNext >= WARMED.length) return false;
  WARMED[warmNext++]();
  return warmNext < WARMED.length;
}

// Withdrawals running now, worked out once per change and minute: every
// screen of the herd shows them, and a large farm has many treatments.
app.withdrawals = () =>
  app.sortedOnce(`withdrawals ${app.now()}`, () =>
    withdrawalsRunning(app.db, app.idx, app.now(), app.openTreatments()),
  );
app.dueList = () => app.sortedOnce(`due ${app.today()}`, () => dueList(app.db, app.idx, app.today()));
// What the Today panel lists: jobs due, withdrawals ending, registrations.
app.todayList = () =>
  app.sortedOnce(`today ${app.today()}`, () => todayList(app.db, app.idx, app.today(), app.openTreatments()));
// Since yesterday, for the Today panel's withdrawals ending too.
app.openTreatments = () =>
  app.sortedOnce(`open ${app.today()}`, () => openTreatments(app.db, addDays(app.today(), -1)));

app.sortedOnce = (key, make) => {
  let v = app.sortCache.get(key);
  if (!v) app.sortCache.set(key, (v = make()));
  return v;
};

const sentence = (s) => (/[.!?]$/.test(s) ? s : `${s}.`);

let lastMarked = null;
function showSaveState(state) {
  const el = document.getElementById('save-state');
  let text, kind;
  if (state.locked) {
    text = 'Saving is switched off';
    kind = 'off';
  } else if (state.error) {
    text = 'Not saved';
    kind = 'error';
  } else if (state.saving) {
    text = 'Saving…';
    kind = 'busy';
  } else if (state.dirty) {
    text = 'Changes waiting to be saved';
    kind = 'busy';
  } else {
    text = 'All changes saved';
    kind = 'ok';
  }
  el.textContent = text;
  el.dataset.state = kind;

  if (state.error) {
    showBanner('save-error', {
      title: 'Your latest changes could not be saved.',
      message: `${sentence(state.error)} They are kept in this window, and saving is tried again with your next change.`,
      actions: [
        h('button', { type: 'button', class: 'btn', onclick: () => app.queue.saveNow() }, 'Try again now'),
      ],
    });
  } else {
    clearBanner('save-error');
  }
  if (app.bridge?.inShell && app.db && app.queue && app.queue.savedRevision !== lastMarked && !state.locked) {
    lastMarked = app.queue.savedRevision;
    session((s) => s.setItem(MARKER_KEY, JSON.stringify({ id: app.db.id, revision: lastMarked })));
  }
}

// Before anything that removes records in bulk: save what is pending, then
// ask for a safety snapshot of the saved file. Returns false (and says why)
// when the current records could not be saved first.
app.safetySnapshot = async (reason) => {
  const saved = await app.queue.saveNow();
  if (!saved.ok) {
    showBanner('action-error', {
      title: 'Nothing was changed.',
      message: `The current records could not be saved first, so no safety copy could be made: ${sentence(saved.error)}`,
    });
    return false;
  }
  try {
    // The shell answers {ok: false} when no copy could be made (a full
    // disk, a snapshot folder that is gone): nothing may go on then.
    const res = await app.bridge.snapshot(reason);
    if (res?.ok === false) throw new Error(res.error || 'no reason was given');
    return true;
  } catch (e) {
    showBanner('action-error', {
      title: 'Nothing was changed.',
      message: `The safety copy could not be made: ${e?.message || e}`,
    });
    return false;
  }
};

async function offerFile(what, filename, content, base64 = false) {
  try {
    const res = await app.bridge.save(filename, content, base64);
    if (res?.ok) {
      // A file elsewhere now holds these records: undoing would belie it.
      app.store?.seal();
      clearBanner('file-error');
      toast(`${what} saved${res.path ? ` as ${res.path}` : ''}.`);
    } else if (res?.cancelled) {
      toast(`${what} not saved.`);
    } else {
      showBanner('file-error', {
        title: `${what} was not saved.`,
        message: res?.error || 'No reason was given.',
      });
    }
  } catch (e) {
    showBanner('file-error', { title: `${what} was not saved.`, message: String(e?.message || e) });
  }
}

app.exportCsv = (csv, what = 'Export') =>
  offerFile(what, `Field Keeper ${what.toLowerCase()} ${app.today()}.csv`, csv);

app.exportFile = (what, ext, content) =>
  offerFile(what, `Field Keeper ${what.toLowerCase()} ${app.today()}.${ext}`, content);

app.exportRaw = () => {
  const raw = app.problem?.raw;
  if (raw)
    return offerFile('Copy', `Field Keeper records as found ${app.today()}.json`, raw.content, raw.base64);
  return undefined;
};

app.backUp = async () => {
  if (app.problem) {
    if (!app.problem.raw) {
      toast('There are no records in this window to back up.');
      return;
    }
    await app.bridge.snapshot('backup').catch(() => {});
    await app.exportRaw();
    return;
  }
  // Save first, so that the snapshot on disk holds the same records as the file offered.
  await app.queue.saveNow();
  await app.bridge.snapshot('backup').catch(() => {});
  await offerFile('Backup', `Field Keeper backup ${app.today()}.json`, serialiseDatabase(app.db));
};

app.importBackup = async (file, statusEl) => {
  const say = (kind, message) => statusEl.replaceChildren(h('p', { class: `notice ${kind}` }, message));
  let text;
  try {
    text = decodeUtf8(new Uint8Array(await file.arrayBuffer()));
  } catch {
    say('error', `“${file.name}” is not a text file, so it was not imported. Nothing was changed.`);
    return;
  }
  const parsed = parseDatabase(text);
  if (!parsed.ok) {
    say('error', `“${file.name}” was not imported: ${parsed.message} Nothing was changed.`);
    return;
  }
  const incoming = parsed.db;
  const count = (n, word) => `${nf.format(n)} ${word}${n === 1 ? '' : 's'}`;
  const describe = (db) =>
    `${count(db.animals.length, 'animal')} and ${count(
      COLLECTIONS.reduce((n, c) => n + (c === 'animals' || c === 'fields' ? 0 : db[c].length), 0),
      'other record',
    )}`;
  const ok = await confirmDialog({
    title: 'Replace all records with this backup?',
    message: [
      `“${file.name}” holds ${describe(incoming)}${incoming.savedAt ? `, saved on ${incoming.savedAt.slice(0, 10)}` : ''}.`,
      `It replaces the ${describe(app.db)} in Field Keeper now. A safety copy of the current records is kept first.`,
    ],
    confirmLabel: 'Replace records',
  });
  if (!ok) {
    say('info', 'Nothing was imported.');
    return;
  }
  if (!(await app.safetySnapshot('before import'))) {
    say('error', 'Nothing was imported.');
    return;
  }
  // The screens start afresh on other records, drawn once by the change.
  app.viewStates.clear();
  // The new records count as unsaved, whatever revision they carry.
  const done = app.store.apply({ label: `The restore of ${file.name}`, replace: incoming });
  if (!done.ok) {
    say('error', 'Nothing was imported.');
    return;
  }
  const saved = await app.queue.saveNow();
  app.toast(saved.ok ? `Restored ${file.name}.` : `Restored ${file.name}, but it is not saved yet.`);
};

// ---------------------------------------------------------------- printing

function printPage(title) {
  const view = app.current;
  let html;
  if (app.problem) {
    html = composeDocument({
      title: 'Field Keeper',
      printedOn: app.today(),
      blocks: [
        {
          html: `<p>${escapeHtml(app.problem.message)}</p>`,
          mm: 30,
        },
      ],
    });
  } else if (view?.print) {
    html = view.print();
  } else {
    html = herdRegister(
      app.db,
      app.idx,
      app.db.animals.filter((a) => !a.voided),
      { printedOn: app.today(), subtitle: 'All animals', datesOf: registerDatesOf(app.db, app.idx) },
    );
  }
  return app.printDocument(html, typeof title === 'string' && title ? title : document.title);
}

// Every print ends what can be undone, as exporting does.
app.printDocument = (html, jobTitle) => {
  app.store?.seal();
  return app.bridge.print(html, jobTitle).catch((e) => {
    showBanner('file-error', { title: 'Printing did not start.', message: String(e?.message || e) });
  });
};

// ---------------------------------------------------------------- screens

app.vs = (key, initial) => {
  let st = app.viewStates.get(key);
  if (!st) app.viewStates.set(key, (st = initial));
  return st;
};
app.go = (hash) => {
  if (location.hash === hash) render({ focusHeading: true });
  else location.hash = hash;
};
app.focusKey = () => focusKeyOf(document.activeElement);
app.refocus = refocus;
app.rerender = () => render();

// After a change the screen is drawn again in a task of its own, once however
// many changes came together, so that a change and its redraw never make one
// long task on a large farm.
let pendingRender = null;
function scheduleRender() {
  if (pendingRender === null)
    pendingRender = setTimeout(() => {
      pendingRender = null;
      render();
    }, 0);
}

function parseRoute() {
  const [, name = 'overview', param] = location.hash.match(/^#\/([a-z]+)(?:\/(.+))?$/) || [];
  return ROUTES[name]
    ? { name, param: param ? decodeURIComponent(param) : null }
    : { name: 'overview', param: null };
}

function render({ focusHeading = false } = {}) {
  if (pendingRender !== null) clearTimeout(pendingRender);
  pendingRender = null;
  const key = focusHeading ? null : app.focusKey();
  const route = parseRoute();
  const view = app.problem ? lockedView(app, app.problem) : ROUTES[route.name](app, route.param);
  view.route = route.name;
  app.current = view;
  const host = document.getElementById('view');
  host.replaceChildren(view.el);
  document.title = `${view.title} – Meadowline Field Keeper`;
  for (const a of document.querySelectorAll('.sidebar a')) {
    const match =
      a.dataset.route === route.name ||
      (a.dataset.route === 'animals' && route.name === 'animal') ||
      (a.dataset.route === 'fields' && ['field', 'sprays', 'nutrients'].includes(route.name));
    if (match) a.setAttribute('aria-current', 'page');
    else a.removeAttribute('aria-current');
  }
  if (focusHeading) {
    host.querySelector('h1')?.focus();
    window.scrollTo(0, 0);
  } else if (key && !document.querySelector('dialog[open]')) {
    refocus(key);
  }
}

const isTyping = (el) => !!el && (/^(INPUT|TEXTAREA|SELECT)$/.test(el.tagName) || el.isContentEditable);

function historyStep(focused, step) {
  if (isTyping(focused) || document.querySelector('dialog[open]')) return false;
  step();
  return true;
}

function globalKeys(ev) {
  const typing = isTyping(ev.target);
  // In a text field the keys undo typing, as everywhere else.
  if ((ev.ctrlKey || ev.metaKey) && ev.key.toLowerCase() === 'z') {
    if (historyStep(ev.target, () => (ev.shiftKey ? app.redo() : app.undo()))) ev.preventDefault();
    return;
  }
  if (((ev.ctrlKey || ev.metaKey) && ev.key.toLowerCase() === 'k') || (ev.key === '/' && !typing)) {
    const s = document.getElementById('global-search');
    if (!s.disabled) {
      ev.preventDefault();
      s.focus();
      s.select();
    }
  }
}

// ---------------------------------------------------------------- global search

function setupSearch() {
  const input = document.getElementById('global-search');
  const list = document.getElementById('search-results');
  let items = [];
  let active = -1;
  let timer = null;

  const close = () => {
    list.hidden = true;
    input.setAttribute('aria-expanded', 'false');
    input.removeAttribute('aria-activedescendant');
    active = -1;
  };
  const setActive = (i) => {
    active = i;
    [...list.children].forEach((li, n) => li.setAttribute('aria-selected', String(n === i)));
    if (i >= 0) {
      input.setAttribute('aria-activedescendant', list.children[i].id);
      list.children[i].scrollIntoView({ block: 'nearest' });
    } else {
      input.removeAttribute('aria-activedescendant');
    }
  };
  const choose = (i) => {
    const item = items[i];
    if (!item) return;
    close();
    if (item.all) {
      showAnimals(app, { query: input.value });
    } else {
      app.go(animalHref(item.animal));
    }
  };
  const run = () => {
    clearTimeout(timer);
    timer = null;
    if (app.problem || !input.value.trim()) {
      list.replaceChildren();
      items = [];
      close();
      return;
    }
    const { total, results } = searchAnimals(app.idx.searchIndex(), input.value, 8);
    items = results.slice();
    if (total > results.length) items.push({ all: true, total });
    list.replaceChildren(
      ...(items.length
        ? items.map((it, i) =>
            h(
              'li',
              {
                id: `search-opt-${i}`,
                role: 'option',
                'aria-selected': 'false',
                class: it.all ? 'all' : null,
                onmousedown: (ev) => ev.preventDefault(),
                onclick: () => choose(i),
              },
              it.all
                ? `Show all ${nf.format(it.total)} animals found`
                : [
                    h('span', { class: 'opt-main' }, animalLabel(it.animal)),
                    h(
                      'span',
                      { class: 'opt-sub' },
                      [
                        it.animal.species,
                        STATUS_LABEL.get(it.animal.status),
                        it.matchedIn && `${it.matchedIn.kind} ${it.matchedIn.date}`,
                      ]
                        .filter(Boolean)
                        .join(' · '),
                    ),
                  ],
            ),
          )
        : [
            h(
              'li',
              { class: 'none', role: 'option', 'aria-disabled': 'true', id: 'search-opt-none' },
              'No animal found',
            ),
          ]),
    );
    list.hidden = false;
    input.setAttribute('aria-expanded', 'true');
    setActive(items.length ? 0 : -1);
  };

  input.addEventListener('input', () => {
    clearTimeout(timer);
    timer = setTimeout(run, 120);
  });
  input.addEventListener('focus', () => {
    if (input.value.trim() && list.hidden) run();
  });
  input.addEventListener('blur', close);
  input.addEventListener('keydown', (ev) => {
    if (ev.key === 'ArrowDown' || ev.key === 'ArrowUp') {
      ev.preventDefault();
      if (list.hidden) run();
      if (!items.length) return;
      const step = ev.key === 'ArrowDown' ? 1 : -1;
      setActive((active + step + items.length) % items.length);
    } else if (ev.key === 'Enter') {
      ev.preventDefault();
      if (timer || list.hidden) run();
      choose(active >= 0 ? active : 0);
    } else if (ev.key === 'Escape') {
      if (!list.hidden) {
        ev.preventDefault();
        close();
      } else if (input.value) {
        ev.preventDefault();
        input.value = '';
      }
    }
  });
}

// ---------------------------------------------------------------- when something goes wrong

// A fault in the page itself. The records are untouched by it (a change that
// throws is not made) and go on being saved, so nothing typed is lost.
function pageError(e) {
  console.error(e);
  showBanner('page-error', {
    title: 'Something went wrong in Field Keeper.',
    message:
      `${sentence(String(e?.message || e || 'No reason was given'))} Your records are kept and saved as ` +
      'usual. If the screen looks wrong, reload it.',
  });
}

// Start-up that fails outright is treated like a file that cannot be read:
// nothing is saved, and the records as found can be kept as a copy.
function startFailed(e) {
  console.error(e);
  let raw = null;
  if (typeof window.__ML_DB_B64 === 'string') raw = { content: window.__ML_DB_B64, base64: true };
  else {
    let stored = null;
    try {
      stored = window.localStorage.getItem(STORAGE_KEY);
    } catch {
      // No storage to offer a copy from.
    }
    if (stored) raw = { content: stored, base64: false };
  }
  app.problem = {
    mode: 'locked',
    reason: 'failed',
    message: `It stopped while opening the records: ${sentence(String(e?.message || e))}`,
    raw,
  };
  app.queue?.lock();
  document.body.classList.add('is-locked');
  document.getElementById('global-search').disabled = true;
  try {
    render({ focusHeading: true });
  } catch (again) {
    console.error(again);
    document.getElementById('view').textContent = `Field Keeper could not start: ${app.problem.message}`;
  }
}

window.addEventListener('error', (ev) => pageError(ev.error ?? ev.message));
window.addEventListener('unhandledrejection', (ev) => pageError(ev.reason));
start().catch(startFailed);
