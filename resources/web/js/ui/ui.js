// Shared pieces of the screens: the modal dialog, notices, and the paged,
// sortable table every list uses (only one page of rows is ever in the DOM).

import { h, button, nf, nextId } from './dom.js';

// ---------------------------------------------------------------- focus

// Elements that should get the focus back after the screen is redrawn carry
// a data-key.
export function focusKeyOf(el) {
  return el?.closest?.('[data-key]')?.dataset.key ?? null;
}

export function refocus(key) {
  if (key) {
    const el = document.querySelector(`[data-key="${CSS.escape(key)}"]`);
    if (el) {
      el.focus();
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------- screens

// Every screen opens with one: the h1 takes the focus when the screen changes.
export function viewHeading(text, sub) {
  return h(
    'header',
    { class: 'view-head' },
    h('h1', { tabindex: '-1' }, text),
    sub ? h('p', { class: 'view-sub' }, sub) : null,
  );
}

// A search box over a list: `state.query` follows what is typed once the
// typing pauses, back on the first page, and `onChange` redraws the list.
export function filterBox({ id, key = id, state, placeholder, onChange }) {
  let timer = null;
  return h('input', {
    id,
    type: 'search',
    value: state.query,
    'data-key': key,
    autocomplete: 'off',
    placeholder,
    oninput: (ev) => {
      clearTimeout(timer);
      timer = setTimeout(() => {
        state.query = ev.target.value;
        state.page = 0;
        onChange();
      }, 150);
    },
  });
}

// ---------------------------------------------------------------- dialog

// The one modal dialog. It is settled synchronously when closed: the
// dialog's own "close" event comes later, after a quick user may already have
// opened the next dialog.
let settleOpenDialog = null;

export function openDialog({ title, content, submitLabel = 'Save', danger = false, onSubmit, wide = false }) {
  settleOpenDialog?.(false);
  const dlg = document.getElementById('dialog');
  const opener = focusKeyOf(document.activeElement);
  const titleId = nextId('dialog-title');
  const status = h('p', { class: 'dialog-status', role: 'alert' });
  let settle;
  const form = h(
    'form',
    { class: 'dialog-form', novalidate: true },
    h('h2', { id: titleId }, title),
    h('div', { class: 'dialog-body' }, content),
    status,
    h(
      'div',
      { class: 'dialog-actions' },
      button('Cancel', () => {
        if (!busy) settle(false);
      }),
      h('button', { type: 'submit', class: `btn ${danger ? 'danger' : 'primary'}` }, submitLabel),
    ),
  );
  dlg.className = wide ? 'wide' : '';
  dlg.setAttribute('aria-labelledby', titleId);
  dlg.replaceChildren(form);
  let busy = false;
  form.addEventListener('submit', async (ev) => {
    ev.preventDefault();
    if (busy) return;
    busy = true;
    status.textContent = '';
    try {
      const ok = onSubmit ? await onSubmit(form, status) : true;
      if (ok !== false) settle(true);
    } finally {
      busy = false;
    }
  });
  // Once a submit is under way (a safety copy first, say) it finishes: a
  // cancel then would close the dialog on a change that still goes ahead.
  const onCancel = (ev) => {
    ev.preventDefault();
    if (!busy) settle(false);
  };
  return new Promise((resolve) => {
    settle = (ok) => {
      if (settleOpenDialog !== settle) return;
      settleOpenDialog = null;
      dlg.removeEventListener('cancel', onCancel);
      if (dlg.open) dlg.close();
      dlg.replaceChildren();
      const restoreFocus = () => {
        // The focus may be lost outright, or left on the closed dialog
        // itself once the field inside it has gone.
        const active = document.activeElement;
        if (!active || active === document.body || !active.isConnected || dlg.contains(active)) {
          if (!refocus(opener)) document.querySelector('#view h1')?.focus();
        }
      };
      restoreFocus();
      resolve(ok);
      // The caller usually redraws the screen once the dialog has settled,
      // replacing the opener; and WebKitGTK ignores a focus() made while a
      // modal dialog is closing. Try again shortly after (timers, since
      // animation frames may not come while the window is not drawn).
      for (const ms of [0, 50, 250]) setTimeout(restoreFocus, ms);
    };
    settleOpenDialog = settle;
    dlg.addEventListener('cancel', onCancel);
    if (!dlg.open) dlg.showModal();
  });
}

export function confirmDialog({ title, message, confirmLabel, danger = true }) {
  return openDialog({
    title,
    content: (Array.isArray(message) ? message : [message]).map((m) => h('p', {}, m)),
    submitLabel: confirmLabel,
    danger,
  });
}

// ---------------------------------------------------------------- notices

let toastTimer = null;
// action: { label, run } offered as a button beside the message (Undo).
export function toast(message, action = null) {
  const el = document.getElementById('toast');
  el.replaceChildren(message);
  if (action) {
    el.append(
      ' ',
      button(
        action.label,
        () => {
          el.classList.remove('show');
          action.run();
        },
        { kind: 'small toast-action', attrs: { 'data-key': 'toast-action' } },
      ),
    );
  }
  el.classList.add('show');
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => el.classList.remove('show'), action ? 8000 : 5000);
}

// A notice that stays until dismissed or replaced; role=alert so that it is
// read out at once.
export function showBanner(id, { kind = 'error', title, message, actions = [] }) {
  const host = document.getElementById('banners');
  document.getElementById(id)?.remove();
  const el = h(
    'div',
    { id, class: `banner ${kind}`, role: 'alert' },
    h('div', { class: 'banner-text' }, h('strong', {}, title), message ? h('span', {}, ' ', message) : null),
    actions.length ? h('div', { class: 'banner-actions' }, actions) : null,
  );
  host.append(el);
  return el;
}

export function clearBanner(id) {
  document.getElementById(id)?.remove();
}

// ---------------------------------------------------------------- table

// The rows in the order the table shows them, for printing and export too.
export function sortRows(rows, columns, state) {
  const col = columns.find((c) => c.key === state.sortKey && c.sort);
  if (!col) return rows;
  const dir = state.sortDir === 'desc' ? -1 : 1;
  return rows.slice().sort((a, b) => dir * col.sort(a, b));
}

// columns: [{ key, label, cell(row) -> node|string, sort?(a, b), className? }]
// state: { page, pageSize, sortKey, sortDir } kept by the screen between redraws.
export function pagedTable({
  columns,
  rows,
  state,
  caption,
  emptyText,
  selection,
  rowLabel,
  onChange,
  key,
  rowClass,
}) {
  rows = sortRows(rows, columns, state);
  const pageSize = state.pageSize || 100;
  const pages = Math.max(1, Math.ceil(rows.length / pageSize));
  state.page = Math.min(Math.max(0, state.page || 0), pages - 1);
  const start = state.page * pageSize;
  const shown = rows.slice(start, start + pageSize);

  const wrap = h('div', { class: 'table-wrap' });
  if (!rows.length) {
    wrap.append(h('p', { class: 'empty' }, emptyText));
    return wrap;
  }
  const head = h('tr', {});
  if (selection) {
    const all = h('input', {
      type: 'checkbox',
      'aria-label': 'Select all rows on this page',
      'data-key': `${key}-select-page`,
      checked: shown.every((r) => selection.has(r.id)),
      onchange: (ev) => {
        for (const r of shown) ev.target.checked ? selection.add(r.id) : selection.delete(r.id);
        onChange();
      },
    });
    head.append(h('th', { scope: 'col', class: 'select' }, all));
  }
  for (const c of columns) {
    const sorted = state.sortKey === c.key;
    const th = h('th', {
      scope: 'col',
      class: c.className || null,
      'aria-sort': sorted ? (state.sortDir === 'desc' ? 'descending' : 'ascending') : null,
    });
    if (c.sort) {
      th.append(
        h(
          'button',
          {
            type: 'button',
            class: 'sort',
            'data-key': `${key}-sort-${c.key}`,
            onclick: () => {
              state.sortDir = sorted && state.sortDir !== 'desc' ? 'desc' : 'asc';
              state.sortKey = c.key;
              state.page = 0;
              onChange();
            },
          },
          c.label,
          h(
            'span',
            { class: 'sort-mark', 'aria-hidden': 'true' },
            sorted ? (state.sortDir === 'desc' ? ' ▼' : ' ▲') : '',
          ),
        ),
      );
    } else {
      th.append(c.label);
    }
    head.append(th);
  }
  const body = h('tbody', {});
  for (const r of shown) {
    const tr = h('tr', { class: rowClass?.(r) || null });
    if (selection) {
      tr.append(
        h(
          'td',
          { class: 'select' },
          h('input', {
            type: 'checkbox',
            'aria-label': `Select ${rowLabel(r)}`,
            checked: selection.has(r.id),
            'data-key': `${key}-sel-${r.id}`,
            onchange: (ev) => {
              ev.target.checked ? selection.add(r.id) : selection.delete(r.id);
              onChange();
            },
          }),
        ),
      );
    }
    for (const c of columns) {
      const v = c.cell(r);
      tr.append(h('td', { class: c.className || null }, v));
    }
    body.append(tr);
  }
  wrap.append(
    h(
      'table',
      {},
      caption ? h('caption', { class: 'visually-hidden' }, caption) : null,
      h('thead', {}, head),
      body,
    ),
  );
  if (rows.length > pageSize) wrap.append(pager(state, pageSize, rows.length, pages, onChange, key));
  return wrap;
}

function pager(state, pageSize, total, pages, onChange, key) {
  const go = (p) => () => {
    state.page = p;
    onChange();
  };
  const first = state.page * pageSize + 1;
  const last = Math.min(total, first + pageSize - 1);
  return h(
    'nav',
    { class: 'pager', 'aria-label': 'Pages' },
    h('span', { class: 'pager-text' }, `${nf.format(first)}–${nf.format(last)} of ${nf.format(total)}`),
    button('First', go(0), { attrs: { disabled: state.page === 0, 'data-key': `${key}-first` } }),
    button('Previous', go(state.page - 1), {
      attrs: { disabled: state.page === 0, 'data-key': `${key}-prev` },
    }),
    h('span', { class: 'pager-text' }, `Page ${nf.format(state.page + 1)} of ${nf.format(pages)}`),
    button('Next', go(state.page + 1), {
      attrs: { disabled: state.page >= pages - 1, 'data-key': `${key}-next` },
    }),
    button('Last', go(pages - 1), {
      attrs: { disabled: state.page >= pages - 1, 'data-key': `${key}-last` },
    }),
  );
}
