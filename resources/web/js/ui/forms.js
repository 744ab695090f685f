// The add and edit forms of every kind of record, and the questions asked
// before voiding one.

import { h, field, showErrors, formValues, button } from './dom.js';
import { openDialog, confirmDialog } from './ui.js';
import {
  SEXES,
  FIELD_KINDS,
  DIRECTIONS,
  OUTCOMES,
  MILK_UNITS,
  compareTags,
  fold,
  animalLabel,
  kindKey,
  normaliseTag,
} from '../core/text.js';
import { readerFileField } from './reader-file.js';
import { isIsoDate } from '../core/dates.js';
import { tagsOf, parentsOf } from '../core/lookups.js';
import {
  withdrawalConflicts,
  conflictText,
  CASCADE_CASES,
  keepsPoultry,
  lastGiven,
  appliedPeriod,
  describePeriod,
} from '../rules/withdrawal.js';
import {
  validateAnimal,
  validateWeight,
  validateBirth,
  validateMovement,
  upsert,
  saveAnimal,
  saveBirth,
  saveMovement,
  voidRecord,
  restoreRecord,
  restoreProblem,
  removeAnimals,
  hasRecords,
  archiveField,
  parseTagList,
} from '../rules/records.js';
import { knownSpecies } from '../rules/herd-list.js';
import { validateFieldRecord, LAND_USES, grazingConflicts, grazingText } from '../rules/fieldwork.js';
import { markDone, jobsAfterVoid } from '../rules/jobs.js';
import { validateGroup, createGroup, joinGroup, leaveGroup, checkMembership } from '../rules/groups.js';
import {
  cabinetChoices,
  choiceLabel,
  validatePurchase,
  validateTreatmentFromCabinet,
  restockProblem,
  validateDisposal,
  addDisposal,
} from '../rules/cabinet.js';

// Archived fields are offered only where they are already chosen.
const fieldOptions = (app, blank = 'None', keep = '') => [
  ['', blank],
  ...app.db.fields
    .filter((f) => !f.archived || f.id === keep)
    .sort((a, b) => compareTags(a.name, b.name))
    .map((f) => [f.id, f.name]),
];

// Tag boxes suggest matching tags as the user types, from one shared list.
function tagField(app, opts) {
  const f = field({
    ...opts,
    attrs: { list: 'tag-suggestions', autocomplete: 'off', spellcheck: 'false', ...opts.attrs },
  });
  f.querySelector('input').addEventListener('input', (ev) => suggestTags(app, ev.target.value));
  return f;
}

export function suggestTags(app, typed) {
  const list = document.getElementById('tag-suggestions');
  const q = fold(typed.trim());
  const out = [];
  if (q) {
    for (const a of app.db.animals) {
      if (a.voided) continue;
      if (fold(a.tag).startsWith(q) || (a.name && fold(a.name).startsWith(q))) out.push(a);
      if (out.length >= 30) break;
    }
  }
  list.replaceChildren(...out.map((a) => h('option', { value: a.tag }, animalLabel(a))));
}

// A multi-animal box plus a shortcut that fills in everyone in a field.
function animalsPicker(app, value, group) {
  const tags = field({
    label: 'Animals (tag numbers)',
    name: 'tags',
    type: 'textarea',
    value,
    rows: 2,
    required: true,
    wide: true,
    hint: 'Separate tags with commas or put one per line, or add those of a reader file (at the end of the form).',
    attrs: { spellcheck: 'false' },
  });
  const fill = field({
    label: 'Add every animal in a field or pen',
    name: 'fillFrom',
    options: fieldOptions(app, 'Choose…'),
    hint: 'Adds the tags of the animals now on the farm there.',
  });
  fill.querySelector('select').addEventListener('change', (ev) => {
    const fid = ev.target.value;
    if (!fid) return;
    const area = tags.querySelector('textarea');
    const add = app.db.animals
      .filter((a) => !a.voided && a.status === 'on-farm' && a.fieldId === fid)
      .map((a) => a.tag);
    area.value = [area.value.trim(), add.join(', ')].filter(Boolean).join(', ');
    if (group) {
      const g = group.querySelector('input');
      if (!g.value) g.value = `All in ${app.idx.fieldsById.get(fid)?.name ?? ''}`;
    }
    ev.target.value = '';
    area.focus();
  });
  return [tags, fill];
}

// A reader's file adds its animals' tags after those already typed. Last in
// the form, so that the keys typed into the form keep their order.
function readerTags(app) {
  const f = readerFileField(app, (animals) => {
    const area = f.closest('form').querySelector('[name="tags"]');
    const have = parseTagList(area.value);
    const known = new Set(have.map(normaliseTag));
    const add = animals.map((a) => a.tag).filter((t) => !known.has(normaliseTag(t)));
    area.value = [...have, ...add].join(', ');
  });
  f.classList.add('wide');
  return f;
}

const grid = (...children) => h('div', { class: 'form-grid' }, children);

function submitWith(app, validate, apply) {
  return (form) => {
    const res = validate(formValues(form));
    if (!showErrors(form, res.ok ? {} : res.errors)) return false;
    app.commit((db) => apply(db, res));
    return true;
  };
}

// Animals leaving (or dying) while a withdrawal runs: the first press of the
// button says which product clears when and turns into "go on anyway"; the
// same submission pressed again goes ahead.
function withdrawalCheck(app, form, status, ids, date) {
  const list = withdrawalConflicts(app.db, app.idx, ids, date);
  if (!list.length) return true;
  return pressAgain(
    form,
    status,
    `${ids.join()}|${date}`,
    `Under withdrawal on ${date}: ${conflictText(list)}. Their meat or milk must not enter the food chain before then. ` +
      'Press the button again to go on.',
    'Go on anyway',
  );
}

// Animals moved into a field still closed after a spray: asked as a sale
// under withdrawal is, naming the product and when the field reopens.
function grazingCheck(app, form, status, fieldId, date) {
  const list = grazingConflicts(app.db, fieldId, date);
  if (!list.length) return true;
  return pressAgain(
    form,
    status,
    `graze|${fieldId}|${date}`,
    `Closed to grazing on ${date}: ${grazingText(app.db, list)}. Press the button again to go on.`,
    'Go on anyway',
  );
}

// The second press of the same submission (same `key`) passes; a changed
// form is warned afresh.
function pressAgain(form, status, key, message, label) {
  if (form.dataset.warned === key) return true;
  form.dataset.warned = key;
  status.textContent = message;
  status.classList.add('warn');
  const submit = form.querySelector('button[type="submit"]');
  submit.textContent = label;
  submit.focus();
  return false;
}

// Species from a list, so that one kind is not typed three ways; "Other…"
// opens a box for one not listed. The box holds the value sent.
export function speciesField(app, value = '') {
  const known = knownSpecies(app.db);
  const listed = known.find((s) => kindKey(s) === kindKey(value));
  const other = !!value.trim() && !listed;
  const f = field({ label: 'Species', name: 'species', value: listed ?? value });
  const box = f.querySelector('input');
  const pick = h(
    'select',
    { 'aria-label': 'Species', 'data-key': 'species-pick' },
    h('option', { value: '', selected: !value.trim() }, 'Not recorded'),
    known.map((s) => h('option', { value: s, selected: s === listed }, s)),
    h('option', { value: '\u0000other', selected: other }, 'Other…'),
  );
  const sync = () => {
    const isOther = pick.value === '\u0000other';
    box.hidden = !isOther;
    if (!isOther) box.value = pick.value;
    else if (listed !== undefined && kindKey(box.value) === kindKey(listed)) box.value = '';
  };
  pick.addEventListener('change', sync);
  pick.addEventListener('input', sync);
  box.before(pick);
  box.hidden = !other;
  box.setAttribute('aria-label', 'Species not listed');
  return f;
}

const period = (x) => (x === null || x === undefined ? '' : String(x));

// The meat and milk periods, asked alike of a treatment and of a batch's label.
function withdrawalFields(v, hint) {
  const days = { required: true, hint, attrs: { inputmode: 'numeric' } };
  return [
    field({ label: 'Meat withdrawal (days)', name: 'meatDays', value: period(v.meatDays), ...days }),
    field({ label: 'Milk withdrawal', name: 'milkPeriod', value: period(v.milkPeriod), ...days }),
    field({ label: 'Milk period in', name: 'milkUnit', value: v.milkUnit || 'days', options: MILK_UNITS }),
  ];
}

export function animalForm(app, animal = null) {
  const a = animal ?? { sex: 'female', status: 'on-farm' };
  const par = animal ? parentsOf(app.idx, animal) : { birth: null, damText: '', sire: '' };
  const born = par.birth ? `From the birth of ${par.birth.date}; edit the birth to change it.` : null;
  const statusField = field({
    label: 'Status',
    name: 'status',
    value: a.status,
    options: [
      ['on-farm', 'On farm'],
      ...OUTCOMES.map(([k]) => [
        k,
        k === 'away' ? 'Away (off the farm, alive)' : k === 'sold' ? 'Sold' : 'Died',
      ]),
    ],
  });
  const leaving = [
    field({
      label: 'Date sold, died or moved off',
      name: 'statusDate',
      type: 'date',
      value: '',
      hint: 'Recorded as a movement off the farm.',
    }),
    field({ label: 'Buyer or destination', name: 'to', value: '' }),
    field({
      label: 'Destination holding number',
      name: 'toHolding',
      value: '',
      attrs: { spellcheck: 'false' },
    }),
    field({
      label: 'Movement document',
      name: 'documentRef',
      value: '',
      hint: 'Licence, passport or movement document number.',
    }),
    field({ label: 'Cause of death', name: 'cause', value: '' }),
  ];
  const tagExtra = animal
    ? [
        field({
          label: 'Date of the new tag',
          name: 'tagDate',
          type: 'date',
          value: app.today(),
          hint: 'Only when the tag number changes.',
        }),
        field({
          label: 'Why the tag changed',
          name: 'tagReason',
          value: '',
          hint: 'For example “lost, replacement fitted”.',
        }),
      ]
    : [];
  const sync = () => {
    const st = statusField.querySelector('select').value;
    const changing = st !== a.status && st !== 'on-farm';
    leaving.forEach((f, i) => {
      f.hidden = !changing || (i === 4 && st !== 'died');
    });
    const tag = dlgTag();
    tagExtra.forEach((f) => {
      f.hidden = !tag || tag.value.trim() === animal.tag;
    });
  };
  const tagBox = field({
    label: 'Tag number',
    name: 'tag',
    value: a.tag,
    required: true,
    attrs: { autofocus: true, spellcheck: 'false' },
  });
  const dlgTag = () => tagBox.querySelector('input');
  statusField.querySelector('select').addEventListener('change', sync);
  dlgTag().addEventListener('input', sync);
  sync();
  return openDialog({
    title: animal ? `Edit ${animal.tag}` : 'Add an animal',
    submitLabel: animal ? 'Save changes' : 'Add animal',
    wide: true,
    content: grid(
      tagBox,
      field({ label: 'Name', name: 'name', value: a.name }),
      speciesField(app, a.species ?? ''),
      field({ label: 'Breed', name: 'breed', value: a.breed }),
      field({ label: 'Sex', name: 'sex', value: a.sex, options: SEXES }),
      field({
        label: 'Date of birth',
        name: 'dob',
        type: 'date',
        value: a.dob,
        hint: born ? 'Follows the birth record.' : null,
        attrs: { readonly: !!born },
      }),
      tagField(app, {
        label: 'Dam (mother’s tag)',
        name: 'dam',
        value: par.damText,
        hint: born,
        attrs: { readonly: !!born },
      }),
      tagField(app, {
        label: 'Sire',
        name: 'sire',
        value: par.sire,
        hint: born || 'A tag, or the name of a bull, ram or AI sire.',
        attrs: { readonly: !!born },
      }),
      statusField,
      field({
        label: 'Field or pen',
        name: 'fieldId',
        value: a.fieldId ?? '',
        options: fieldOptions(app, 'None', a.fieldId),
        hint: animal ? 'A new field is recorded as a move today.' : null,
      }),
      ...leaving,
      ...tagExtra,
      field({
        label: 'Electronic ID',
        name: 'eid',
        value: a.eid || '',
        hint: '15 digits, from the reader.',
        attrs: { inputmode: 'numeric', spellcheck: 'false' },
      }),
      field({ label: 'Notes', name: 'notes', type: 'textarea', value: a.notes, wide: true }),
    ),
    onSubmit: (form, status) => {
      const res = validateAnimal(formValues(form), app.context(animal));
      if (!showErrors(form, res.ok ? {} : res.errors)) return false;
      if (
        animal &&
        res.movement?.direction === 'off' &&
        !withdrawalCheck(app, form, status, [animal.id], res.movement.date)
      )
        return false;
      if (
        res.movement?.direction === 'move' &&
        !grazingCheck(app, form, status, res.movement.fieldId, res.movement.date)
      )
        return false;
      const saved = app.commit(
        (db) => saveAnimal(db, animal?.id, res),
        animal ? `Saved ${res.value.tag}.` : `Added ${res.value.tag}.`,
      );
      if (!animal && saved) app.go(`#/animal/${encodeURIComponent(saved.id)}`);
      return true;
    },
  });
}

// A warning that the farmer may pass over (an expired batch, more than is
// left): the first press says so and turns the button into "go on anyway".
function warnOnce(form, status, key, warnings) {
  if (!warnings.length) return true;
  const message = `${warnings.join(' ')} Press the button again to record it anyway.`;
  return pressAgain(form, status, key, message, 'Record anyway');
}

// Choosing a batch from the cabinet fills the product, batch and withdrawal
// periods; the periods stay editable (a vet may prescribe longer).
function cabinetPicker(app, v, date, boxes) {
  const choices = cabinetChoices(app.db, date, v.purchaseId || '');
  const byId = new Map(choices.map((c) => [c.purchase.id, c]));
  const pick = field({
    label: 'From the medicine cabinet',
    name: 'purchaseId',
    value: v.purchaseId || '',
    options: [
      ['', choices.length ? 'Not from the cabinet (typed in)' : 'The cabinet is empty (typed in)'],
      ...choices.map((c) => [c.purchase.id, choiceLabel(c)]),
    ],
    hint: 'Expired batches are marked; a vet’s own stock can be typed in instead.',
    wide: true,
    attrs: { autofocus: true },
  });
  const used = field({
    label: 'Quantity taken from the batch',
    name: 'stockUsed',
    value: v.stockUsed == null ? '' : String(v.stockUsed),
    attrs: { inputmode: 'decimal' },
  });
  const input = (name) => boxes.querySelector(`[name="${name}"]`);
  const sync = (fill) => {
    const c = byId.get(pick.querySelector('select').value);
    used.hidden = !c;
    used.querySelector('label').firstChild.textContent = c
      ? `Quantity taken from the batch (${c.purchase.unit})`
      : 'Quantity taken from the batch';
    for (const name of ['product', 'batch']) {
      const el = input(name);
      if (el) {
        el.readOnly = !!c;
        if (c && fill) el.value = c.purchase[name];
      }
    }
    if (c && fill) {
      const p = c.purchase;
      input('meatDays').value = p.meatDays ?? '';
      input('milkPeriod').value = p.milkPeriod ?? '';
      input('milkUnit').value = p.milkUnit;
    }
  };
  pick.querySelector('select').addEventListener('change', () => sync(true));
  pick.querySelector('select').addEventListener('input', () => sync(true));
  return { pick, used, sync, count: choices.length };
}

// Under the cascade the form asks which case applies to each food and shows
// the minimum that follows, so the rule used is seen before it is recorded.
function cascadeFields(v, period, eggs) {
  const cases = [['', 'Choose…'], ...CASCADE_CASES];
  const egg = eggs
    ? [
        field({ label: 'Eggs: cascade case', name: 'eggCascade', value: v.eggCascade || '', options: cases }),
        field({
          label: 'Longest egg period on the label (days)',
          name: 'eggLabelDays',
          value: period(v.eggLabelDays),
          attrs: { inputmode: 'numeric' },
        }),
      ]
    : [];
  return [
    field({ label: 'Meat: cascade case', name: 'meatCascade', value: v.meatCascade || '', options: cases }),
    field({
      label: 'Longest meat period on the label (days)',
      name: 'meatLabelDays',
      value: period(v.meatLabelDays),
      attrs: { inputmode: 'numeric' },
    }),
    field({ label: 'Milk: cascade case', name: 'milkCascade', value: v.milkCascade || '', options: cases }),
    field({
      label: 'Longest milk period on the label (in the milk unit)',
      name: 'milkLabelPeriod',
      value: period(v.milkLabelPeriod),
      attrs: { inputmode: 'numeric' },
    }),
    ...egg,
    h('p', { class: 'hint wide', 'data-cascade-rule': '', 'aria-live': 'polite' }),
  ];
}

function showCascade(body) {
  const val = (name) => body.querySelector(`[name="${name}"]`);
  const off = val('offLabel').checked;
  const show = (name, on) => (body.querySelector(`[data-field="${name}"]`).hidden = !on);
  show('meatCascade', off);
  show('milkCascade', off);
  show('meatLabelDays', off && val('meatCascade').value === 'label');
  show('milkLabelPeriod', off && val('milkCascade').value === 'label');
  const eggs = !!val('eggDays');
  if (eggs) {
    show('eggCascade', off);
    show('eggLabelDays', off && val('eggCascade').value === 'label');
  }
  const num = (name) => (/^\d+$/.test(val(name).value.trim()) ? Number(val(name).value) : null);
  const t = {
    offLabel: off,
    meatDays: num('meatDays') ?? 0,
    milkPeriod: num('milkPeriod') ?? 0,
    milkUnit: val('milkUnit').value,
    meatCascade: val('meatCascade').value,
    meatLabelDays: num('meatLabelDays'),
    milkCascade: val('milkCascade').value,
    milkLabelPeriod: num('milkLabelPeriod'),
    ...(eggs
      ? {
          eggDays: num('eggDays') ?? 0,
          eggCascade: val('eggCascade').value,
          eggLabelDays: num('eggLabelDays'),
        }
      : {}),
  };
  const line = (food, kind, which) =>
    which ? `${food}: ${describePeriod(appliedPeriod(t, kind))}.` : `${food}: choose the case.`;
  const rule = body.querySelector('[data-cascade-rule]');
  rule.hidden = !off;
  rule.textContent = off
    ? `${line('Meat', 'meat', t.meatCascade)} ${line('Milk', 'milk', t.milkCascade)}` +
      (eggs ? ` ${line('Eggs', 'eggs', t.eggCascade)}` : '')
    : '';
}

// Stock thrown away or returned leaves the batch, with who, how and where.
export function disposalForm(app, p) {
  return openDialog({
    title: `Dispose of ${p.product}, batch ${p.batch}`,
    submitLabel: 'Record disposal',
    content: grid(
      field({ label: 'Date', name: 'date', type: 'date', value: app.today(), required: true }),
      field({
        label: `Quantity (${p.unit})`,
        name: 'quantity',
        required: true,
        attrs: { inputmode: 'decimal' },
      }),
      field({ label: 'How', name: 'how', required: true, hint: 'For example “returned to the vet”.' }),
      field({ label: 'Where', name: 'where' }),
      field({ label: 'By whom', name: 'who' }),
    ),
    onSubmit: submitWith(
      app,
      (input) => validateDisposal(input, { ...app.context(), purchaseId: p.id }),
      (db, res) => addDisposal(db, p.id, res.value),
    ),
  }).then((ok) => {
    if (ok) app.toast('Disposal recorded.');
    return ok;
  });
}

export function treatmentForm(app, t = null, preset = {}) {
  const v = t ?? { date: app.today(), milkUnit: 'days', ...preset };
  const group = field({
    label: 'Group',
    name: 'target',
    value: v.target,
    hint: 'Optional, for example “Ewe lambs 2026”.',
  });
  const eggs = keepsPoultry(app.db) || Number.isInteger(v.eggDays);
  const body = grid(
    field({ label: 'First administration', name: 'date', type: 'date', value: v.date, required: true }),
    field({
      label: 'Medicine or product',
      name: 'product',
      value: v.product,
      required: true,
      attrs: { list: 'product-suggestions' },
    }),
    ...animalsPicker(app, t ? tagsOf(app.idx, t.animalIds).join(', ') : (v.tags ?? ''), group),
    group,
    field({
      label: 'Quantity given',
      name: 'dose',
      value: v.dose,
      required: true,
      hint: 'For example “10 ml by injection, daily”.',
    }),
    field({
      label: 'Last administration',
      name: 'lastDate',
      type: 'date',
      value: v.lastDate,
      hint: 'Blank for a single dose on the first date; a later day for a course still under way.',
    }),
    t?.planned && lastGiven(t) < app.today()
      ? field({
          label: `The course ended on its planned last day, ${lastGiven(t)} (still to confirm)`,
          name: 'confirmEnd',
          type: 'checkbox',
          value: false,
          wide: true,
        })
      : null,
    field({
      label: 'Or number of days of the course',
      name: 'courseDays',
      value: '',
      attrs: { inputmode: 'numeric' },
    }),
    field({
      label: 'Time of the last administration',
      name: 'time',
      value: v.time,
      hint: 'hh:mm, for periods in hours.',
      attrs: { inputmode: 'numeric', placeholder: 'hh:mm' },
    }),
    field({ label: 'Batch number', name: 'batch', value: v.batch }),
    field({ label: 'Reason', name: 'reason', value: v.reason }),
    field({ label: 'Administered by', name: 'givenBy', value: v.givenBy }),
    field({ label: 'Prescribing vet', name: 'vet', value: v.vet }),
    ...withdrawalFields(v, '0 when the label gives none.'),
    eggs
      ? field({
          label: 'Egg withdrawal (days)',
          name: 'eggDays',
          value: period(v.eggDays),
          required: true,
          hint: '0 when the label gives none.',
          attrs: { inputmode: 'numeric' },
        })
      : null,
    field({
      label: 'Off-label use on a vet’s prescription (cascade)',
      name: 'offLabel',
      type: 'checkbox',
      value: !!v.offLabel,
      wide: true,
    }),
    ...cascadeFields(v, period, eggs),
    // After the periods, so that the keys typed into the form keep their order.
    field({ label: 'Prescribing vet’s practice and address', name: 'vetDetails', value: v.vetDetails ?? '' }),
    field({ label: 'Notes', name: 'notes', type: 'textarea', value: v.notes, wide: true }),
    readerTags(app),
  );
  const syncCascade = () => showCascade(body);
  body.addEventListener('input', syncCascade);
  body.addEventListener('change', syncCascade);
  syncCascade();
  // Without stock the form is as it always was, its focus on the product.
  const cab = cabinetPicker(app, v, v.date, body);
  if (cab.count) {
    body.prepend(cab.pick, cab.used);
    cab.sync(!t && !!v.purchaseId);
  } else {
    body.querySelector('[name="product"]').autofocus = true;
  }
  return openDialog({
    title: t ? 'Edit treatment' : 'Record a treatment',
    submitLabel: t ? 'Save changes' : 'Record treatment',
    wide: true,
    content: body,
    onSubmit: (form, status) => {
      const res = validateTreatmentFromCabinet(formValues(form), app.context(t));
      if (!showErrors(form, res.ok ? {} : res.errors)) return false;
      if (!warnOnce(form, status, JSON.stringify(res.value), res.warnings)) return false;
      // A new record goes into the index in place: no rebuild on a large farm.
      if (t) app.commit((db) => upsert(db, 'treatments', t.id, res.value));
      else app.commitAdded('treatments', res.value, v.jobId);
      return true;
    },
  }).then((ok) => {
    if (ok) app.toast(t ? 'Treatment saved.' : 'Treatment recorded.');
    return ok;
  });
}

export function purchaseForm(app, p = null) {
  const v = p ?? { date: app.today(), milkUnit: 'days', unit: 'ml' };
  return openDialog({
    title: p ? 'Edit purchase' : 'Record a medicine purchase',
    submitLabel: p ? 'Save changes' : 'Record purchase',
    wide: true,
    content: grid(
      field({ label: 'Date bought', name: 'date', type: 'date', value: v.date, required: true }),
      field({
        label: 'Product',
        name: 'product',
        value: v.product,
        required: true,
        attrs: { autofocus: true, list: 'product-suggestions' },
      }),
      field({
        label: 'Batch number',
        name: 'batch',
        value: v.batch,
        required: true,
        attrs: { spellcheck: 'false' },
      }),
      field({ label: 'Expiry date', name: 'expiry', type: 'date', value: v.expiry, required: true }),
      field({
        label: 'Quantity bought',
        name: 'quantity',
        value: v.quantity == null ? '' : String(v.quantity),
        required: true,
        attrs: { inputmode: 'decimal' },
      }),
      field({
        label: 'Unit',
        name: 'unit',
        value: v.unit,
        required: true,
        attrs: { list: 'unit-suggestions' },
      }),
      field({ label: 'Supplier', name: 'supplier', value: v.supplier, required: true }),
      field({
        label: 'Supplier’s address',
        name: 'supplierAddress',
        type: 'textarea',
        value: v.supplierAddress,
        rows: 2,
        required: true,
      }),
      ...withdrawalFields(v, 'From the label; 0 when it gives none.'),
      field({
        label: 'Antibiotic (counted in the yearly antibiotic report)',
        name: 'antibiotic',
        type: 'checkbox',
        value: !!v.antibiotic,
        wide: true,
      }),
      field({ label: 'Notes', name: 'notes', type: 'textarea', value: v.notes, wide: true }),
    ),
    onSubmit: submitWith(
      app,
      (input) => validatePurchase(input, app.context()),
      (db, res) => upsert(db, 'purchases', p?.id, res.value),
    ),
  }).then((ok) => ok && app.toast(p ? 'Purchase saved.' : 'Purchase recorded.'));
}

export function weightForm(app, w = null, preset = {}) {
  const v = w
    ? { ...w, tag: app.idx.animalsById.get(w.animalId)?.tag ?? '' }
    : { date: app.today(), ...preset };
  return openDialog({
    title: w ? 'Edit weight' : 'Record a weight',
    submitLabel: w ? 'Save changes' : 'Record weight',
    content: grid(
      field({ label: 'Date', name: 'date', type: 'date', value: v.date, required: true }),
      tagField(app, {
        label: 'Animal (tag number)',
        name: 'tag',
        value: v.tag,
        required: true,
        attrs: { autofocus: !v.tag },
      }),
      field({
        label: 'Weight (kg)',
        name: 'kg',
        value: v.kg === undefined ? '' : String(v.kg),
        required: true,
        attrs: { inputmode: 'decimal', autofocus: !!v.tag },
      }),
    ),
    onSubmit: (form) => {
      const res = validateWeight(formValues(form), app.context(w));
      if (!showErrors(form, res.ok ? {} : res.errors)) return false;
      if (w) app.commit((db) => upsert(db, 'weights', w.id, res.value));
      else app.commitAdded('weights', res.value);
      return true;
    },
  }).then((ok) => ok && app.toast(w ? 'Weight saved.' : 'Weight recorded.'));
}

// One row per young: its tag and its own sex.
function youngRows(app, young) {
  const box = h('div', { class: 'young-rows form-field wide', 'data-field': 'young' });
  let n = 0;
  const add = (tag = '', sex = 'unknown') => {
    const i = n++;
    box.insertBefore(
      h(
        'div',
        { class: 'young-row' },
        field({
          label: `Young ${i + 1}: tag`,
          name: `youngTag-${i}`,
          value: tag,
          attrs: { spellcheck: 'false' },
        }),
        field({ label: 'Sex', name: `youngSex-${i}`, value: sex, options: SEXES }),
      ),
      more,
    );
  };
  const more = button('Add another young', () => add(), { kind: 'small' });
  box.append(more, h('p', { class: 'field-error', hidden: true }));
  for (const y of young) add(y.tag, y.sex);
  if (!young.length) add();
  return box;
}

export function birthForm(app, b = null, preset = {}) {
  const v = b
    ? { ...b, damTag: app.idx.animalsById.get(b.damId)?.tag ?? '' }
    : { date: app.today(), ...preset };
  const young = b
    ? b.offspringIds
        .map((id) => app.idx.animalsById.get(id))
        .filter(Boolean)
        .map((a) => ({ tag: a.tag, sex: a.sex }))
    : [];
  return openDialog({
    title: b ? 'Edit birth' : 'Record a birth',
    submitLabel: b ? 'Save changes' : 'Record birth',
    wide: true,
    content: grid(
      field({ label: 'Date of birth', name: 'date', type: 'date', value: v.date, required: true }),
      tagField(app, {
        label: 'Dam (tag number)',
        name: 'damTag',
        value: v.damTag,
        required: true,
        attrs: { autofocus: true },
      }),
      field({ label: 'Sire', name: 'sire', value: v.sire }),
      youngRows(app, young),
      field({
        label: 'Notes',
        name: 'notes',
        type: 'textarea',
        value: v.notes,
        wide: true,
        hint: 'For example ease of birth, or young born dead. New tags are added to the herd.',
      }),
    ),
    onSubmit: submitWith(
      app,
      (input) => validateBirth(input, app.context(b)),
      // A birth recorded from the due list names the service it followed.
      (db, res) =>
        saveBirth(
          db,
          b?.id,
          preset.serviceId ? { ...res, value: { ...res.value, serviceId: preset.serviceId } } : res,
        ),
    ),
  }).then((ok) => ok && app.toast(b ? 'Birth saved.' : 'Birth recorded.'));
}

export function movementForm(app, m = null, preset = {}) {
  const v = m
    ? { ...m, tags: tagsOf(app.idx, m.animalIds).join(', ') }
    : { date: app.today(), direction: 'move', outcome: 'away', ...preset };
  const outcome = field({
    label: 'These animals were',
    name: 'outcome',
    value: v.outcome || 'away',
    options: OUTCOMES,
  });
  const cause = field({ label: 'Cause of death', name: 'cause', value: v.cause });
  const dest = field({
    label: 'Into field or pen',
    name: 'fieldId',
    value: v.fieldId ?? '',
    options: fieldOptions(app, 'None', v.fieldId),
  });
  const direction = field({
    label: 'Movement',
    name: 'direction',
    value: v.direction,
    options: DIRECTIONS,
    attrs: { autofocus: true },
  });
  const sync = () => {
    const dir = direction.querySelector('select').value;
    outcome.hidden = dir !== 'off';
    cause.hidden = dir !== 'off' || outcome.querySelector('select').value !== 'died';
    dest.hidden = dir === 'off';
  };
  direction.querySelector('select').addEventListener('change', sync);
  outcome.querySelector('select').addEventListener('change', sync);
  sync();
  return openDialog({
    title: m ? 'Edit movement' : 'Record a movement',
    submitLabel: m ? 'Save changes' : 'Record movement',
    wide: true,
    content: grid(
      field({ label: 'Date', name: 'date', type: 'date', value: v.date, required: true }),
      direction,
      ...animalsPicker(app, v.tags ?? ''),
      outcome,
      cause,
      field({ label: 'From', name: 'from', value: v.from, hint: 'Seller or market, when moved on.' }),
      field({
        label: 'From holding number',
        name: 'fromHolding',
        value: v.fromHolding,
        attrs: { spellcheck: 'false' },
      }),
      field({ label: 'To', name: 'to', value: v.to, hint: 'Buyer, abattoir or grazing, when moved off.' }),
      field({
        label: 'To holding number',
        name: 'toHolding',
        value: v.toHolding,
        attrs: { spellcheck: 'false' },
      }),
      dest,
      field({
        label: 'Movement document',
        name: 'documentRef',
        value: v.documentRef,
        hint: 'Licence, passport or document number.',
      }),
      field({ label: 'Reason', name: 'reason', value: v.reason }),
      field({ label: 'Notes', name: 'notes', type: 'textarea', value: v.notes, wide: true }),
      readerTags(app),
    ),
    onSubmit: (form, status) => {
      const res = validateMovement(formValues(form), app.context(m));
      if (!showErrors(form, res.ok ? {} : res.errors)) return false;
      if (
        res.value.direction === 'off' &&
        !withdrawalCheck(app, form, status, res.value.animalIds, res.value.date)
      )
        return false;
      const moved = !m || m.fieldId !== res.value.fieldId || m.date !== res.value.date;
      if (moved && !grazingCheck(app, form, status, res.value.fieldId, res.value.date)) return false;
      // A movement made from a planned job does it in the same change.
      app.commit((db) => {
        const out = saveMovement(db, m?.id, res.value);
        if (!m && v.jobId) markDone(db, v.jobId, res.value.date, [out.id]);
        return out;
      });
      return true;
    },
  }).then((ok) => {
    if (ok) app.toast(m ? 'Movement saved.' : 'Movement recorded.');
    return ok;
  });
}

export function fieldForm(app, f = null) {
  const v = f ?? { kind: 'field' };
  return openDialog({
    title: f ? `Edit ${f.name}` : 'Add a field or pen',
    submitLabel: f ? 'Save changes' : 'Add',
    content: grid(
      field({ label: 'Name', name: 'name', value: v.name, required: true, attrs: { autofocus: true } }),
      field({ label: 'Kind', name: 'kind', value: v.kind, options: FIELD_KINDS }),
      field({
        label: 'Area (hectares)',
        name: 'area',
        value: v.area == null ? '' : String(v.area),
        attrs: { inputmode: 'decimal' },
      }),
      field({ label: 'Field or parcel reference', name: 'reference', value: v.reference }),
      field({ label: 'Land use', name: 'landUse', value: v.landUse ?? '', options: LAND_USES }),
      field({ label: 'Crop', name: 'crop', value: v.crop, hint: 'For an arable crop.' }),
      field({
        label: 'In a nitrate vulnerable zone',
        name: 'nvz',
        type: 'checkbox',
        value: !!v.nvz,
      }),
      field({ label: 'Notes', name: 'notes', type: 'textarea', value: v.notes, wide: true }),
    ),
    onSubmit: submitWith(
      app,
      (input) => validateFieldRecord(input, app.context(f)),
      (db, res) => upsert(db, 'fields', f?.id, res.value),
    ),
  }).then((ok) => ok && app.toast(f ? 'Saved.' : 'Added.'));
}

// Voiding a record: a reason is asked for, and a safety copy of the saved
// records is taken before anything changes.
export function voidRecordForm(app, collection, rec, what) {
  return openDialog({
    title: `Void ${what}?`,
    submitLabel: 'Void',
    danger: true,
    content: [
      h(
        'p',
        {},
        'The record stays in the books, struck through and marked void, and can be restored. A safety copy of all records is kept first.',
      ),
      field({
        label: 'Reason',
        name: 'reason',
        required: true,
        wide: true,
        attrs: { autofocus: true },
        hint: 'For example “entered twice” or “wrong animal”.',
      }),
    ],
    onSubmit: async (form) => {
      const reason = formValues(form).reason.trim();
      if (!showErrors(form, reason ? {} : { reason: 'Say why the record is void.' })) return false;
      if (!(await app.safetySnapshot('before void'))) return true;
      // The jobs a voided record did are to do again, in the same change.
      app.commit((db) => {
        const done = voidRecord(db, collection, rec.id, reason, app.now());
        if (done) jobsAfterVoid(db, collection, rec.id, app.now());
        return done;
      }, `Voided ${what}.`);
      return true;
    },
  });
}

export async function restore(app, collection, rec, what) {
  const problem = restoreProblem(app.db, app.idx, collection, rec.id);
  if (problem) {
    app.toast(problem);
    return;
  }
  const short = restockProblem(app.db, collection, rec.id);
  if (
    short &&
    !(await confirmDialog({
      title: `Restore the ${what}?`,
      message: [short, 'The cabinet will show the batch as over-drawn.'],
      confirmLabel: 'Restore anyway',
      danger: false,
    }))
  )
    return;
  app.commit((db) => restoreRecord(db, collection, rec.id), `Restored ${what}.`);
}

export function archive(app, f) {
  app.commit(
    (db) => archiveField(db, f.id, app.today()),
    f.archived ? `${f.name} is in use again.` : `${f.name} archived.`,
  );
}

// An animal with records is marked "entered in error" (voided); one with
// none is erased. Either way a safety copy is taken first.
export async function removeAnimalsForm(app, ids) {
  const withRecords = ids.filter((id) => hasRecords(app.db, id)).length;
  const n = ids.length;
  const ok = await openDialog({
    title: withRecords
      ? `Mark ${n === 1 ? 'this animal' : `${n} animals`} as entered in error?`
      : `Delete ${n === 1 ? 'this animal' : `${n} animals`}?`,
    submitLabel: withRecords ? 'Mark as entered in error' : 'Delete',
    danger: true,
    content: [
      h(
        'p',
        {},
        withRecords
          ? `${withRecords === n ? 'They have' : `${withRecords} of them have`} records the law asks you to keep, so they are kept, struck through, and left out of every list and count. They can be restored.`
          : 'They have no records and are removed.',
      ),
      h(
        'p',
        {},
        'To record a sale, death or move off the farm, edit the animal’s status or record a movement instead. A safety copy of all records is kept first.',
      ),
      field({ label: 'Reason', name: 'reason', required: true, wide: true, attrs: { autofocus: true } }),
    ],
    onSubmit: async (form) => {
      const reason = formValues(form).reason.trim();
      if (!showErrors(form, reason ? {} : { reason: 'Give a reason.' })) return false;
      if (!(await app.safetySnapshot(withRecords ? 'before void' : 'before delete'))) return true;
      app.commit((db) => removeAnimals(db, ids, reason, app.now()));
      app.toast(withRecords ? 'Marked as entered in error.' : 'Deleted.');
      return true;
    },
  });
  return ok;
}

// Joining or leaving a group on a date, for the animals selected.
export function groupMembershipForm(app, ids, mode) {
  const groups = app.db.groups.filter((g) => !g.voided).sort((a, b) => compareTags(a.name, b.name));
  const joining = mode === 'join';
  return openDialog({
    title: `${joining ? 'Add' : 'Take'} ${ids.length === 1 ? 'one animal' : `${ids.length} animals`} ${joining ? 'to' : 'out of'} a group`,
    submitLabel: joining ? 'Add to group' : 'Take out',
    content: grid(
      field({
        label: 'Group',
        name: 'group',
        options: [
          ['', joining ? 'A new group (name below)' : 'Choose…'],
          ...groups.map((g) => [g.id, g.name]),
        ],
        attrs: { autofocus: true },
      }),
      joining ? field({ label: 'Name of a new group', name: 'name' }) : null,
      field({
        label: joining ? 'Joined on' : 'Left on',
        name: 'date',
        type: 'date',
        value: app.today(),
        required: true,
      }),
    ),
    onSubmit: (form) => {
      const v = formValues(form);
      const date = v.date.trim();
      let done;
      if (joining && !v.group) {
        // A new group and its first members are one change.
        const res = validateGroup(v, app.context());
        const errors = {
          ...(res.ok ? {} : res.errors),
          ...(isIsoDate(date) ? {} : { date: 'Use the form yyyy-mm-dd.' }),
        };
        if (!showErrors(form, errors)) return false;
        done = app.commit((db) => joinGroup(db, createGroup(db, res.value).id, ids, date));
      } else {
        const errors = checkMembership(app.db, v.group, ids, date, mode);
        if (!showErrors(form, errors || {})) return false;
        done = app.commit((db) => (joining ? joinGroup : leaveGroup)(db, v.group, ids, date));
      }
      app.toast(joining ? `${done.added} added to the group.` : `${done.removed} taken out of the group.`);
      return true;
    },
  });
}
