// Small helpers for building the page without a framework.

export function h(tag, props = {}, ...children) {
  const el = document.createElement(tag);
  for (const [k, v] of Object.entries(props || {})) {
    if (v === null || v === undefined || v === false) continue;
    if (k === 'class') el.className = v;
    else if (k === 'text') el.textContent = v;
    else if (k === 'html')
      el.innerHTML = v; // only for markup built here with escaping (charts)
    else if (k.startsWith('on') && typeof v === 'function') el.addEventListener(k.slice(2).toLowerCase(), v);
    else if (k in el && !k.includes('-') && typeof v !== 'string') el[k] = v;
    else el.setAttribute(k, v === true ? '' : String(v));
  }
  append(el, children);
  return el;
}

function append(el, children) {
  for (const c of children) {
    if (c === null || c === undefined || c === false) continue;
    if (Array.isArray(c)) append(el, c);
    else el.append(c instanceof Node ? c : document.createTextNode(String(c)));
  }
}

export const nf = new Intl.NumberFormat(undefined);
export const kgf = new Intl.NumberFormat(undefined, { maximumFractionDigits: 1 });

let uid = 0;
export const nextId = (prefix) => `${prefix}-${++uid}`;

// A labelled form control with room for an error message, linked for screen
// readers through aria-describedby.
export function field({
  label,
  name,
  type = 'text',
  value = '',
  options,
  hint,
  required,
  rows,
  attrs = {},
  wide,
}) {
  const id = nextId(`f-${name}`);
  const errId = `${id}-err`;
  const hintId = hint ? `${id}-hint` : null;
  let control;
  if (options) {
    control = h(
      'select',
      { id, name, ...attrs },
      options.map(([v, l]) => h('option', { value: v, selected: v === value }, l)),
    );
  } else if (type === 'checkbox') {
    control = h('input', { id, name, type, checked: !!value, ...attrs });
  } else if (type === 'textarea') {
    control = h('textarea', { id, name, rows: rows || 3, ...attrs });
    control.value = value ?? '';
  } else {
    control = type === 'date' ? dateInput({ id, name, ...attrs }) : h('input', { id, name, type, ...attrs });
    control.value = value ?? '';
  }
  if (required) control.setAttribute('aria-required', 'true');
  control.setAttribute('aria-describedby', [hintId, errId].filter(Boolean).join(' '));
  const labelEl = h(
    'label',
    { for: id },
    label,
    required ? h('span', { class: 'req', 'aria-hidden': 'true' }, ' *') : null,
  );
  return h(
    'div',
    { class: `form-field${wide ? ' wide' : ''}${type === 'checkbox' ? ' check' : ''}`, 'data-field': name },
    ...(type === 'checkbox' ? [h('span', { class: 'check-row' }, control, labelEl)] : [labelEl, control]),
    hint ? h('p', { class: 'hint', id: hintId }, hint) : null,
    h('p', { class: 'field-error', id: errId, hidden: true }),
  );
}

// Dates are typed and shown as yyyy-mm-dd everywhere; a browser date picker
// would show them in the desktop's own format.
export function dateInput(props) {
  return h('input', {
    type: 'text',
    inputmode: 'numeric',
    placeholder: 'yyyy-mm-dd',
    maxlength: '10',
    autocomplete: 'off',
    pattern: '\\d{4}-\\d{2}-\\d{2}',
    spellcheck: 'false',
    class: 'date-input',
    ...props,
  });
}

// Whether `errors` is empty. A field may hold others (the young of a birth):
// only its own control and message are its. An error with no field of its
// own is said in the dialog's status line; any error stops the form.
export function showErrors(form, errors) {
  let first = null;
  const placed = new Set();
  for (const wrap of form.querySelectorAll('[data-field]')) {
    const own = (selector) =>
      [...wrap.querySelectorAll(selector)].find((el) => el.closest('[data-field]') === wrap);
    const name = wrap.dataset.field;
    const control = own('input, select, textarea');
    const msg = own('.field-error');
    const text = errors[name];
    if (text) placed.add(name);
    if (msg) {
      msg.hidden = !text;
      msg.textContent = text || '';
    }
    if (control) {
      if (text) control.setAttribute('aria-invalid', 'true');
      else control.removeAttribute('aria-invalid');
    }
    if (text && !first) first = control || wrap.querySelector('input, select, textarea');
  }
  const rest = Object.entries(errors)
    .filter(([k, v]) => v && !placed.has(k))
    .map(([, v]) => v);
  const status = form.querySelector('.dialog-status');
  if (status && rest.length) status.textContent = rest.join(' ');
  first?.focus();
  return !Object.values(errors).some(Boolean);
}

export function formValues(form) {
  const out = {};
  for (const [k, v] of new FormData(form).entries()) out[k] = v;
  return out;
}

export function button(label, onClick, { kind = '', attrs = {} } = {}) {
  return h('button', { type: 'button', class: `btn ${kind}`.trim(), onclick: onClick, ...attrs }, label);
}

export function link(href, text, attrs = {}) {
  return h('a', { href, ...attrs }, text);
}
