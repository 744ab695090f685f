// The add and edit forms of every kind of record.

import { h, field, showErrors, formValues } from './dom.js';
import { openDialog, confirmDialog } from './ui.js';
import { SPECIES, SEXES, STATUSES, FIELD_KINDS, DIRECTIONS, compareTags, tagsOf, fold, animalLabel } from './model.js';
import {
  validateAnimal, validateTreatment, validateWeight, validateBirth, validateMovement, validateField,
  upsert, removeRecord, addBirth, applyMovement, removeField, removeAnimals, renameTag,
} from './records.js';

const fieldOptions = (app, blank = 'None') =>
  [['', blank], ...app.db.fields.slice().sort((a, b) => compareTags(a.name, b.name)).map((f) => [f.id, f.name])];

// Tag boxes suggest matching tags as the user types, from one shared list.
function tagField(app, opts) {
  const f = field({ ...opts, attrs: { list: 'tag-suggestions', autocomplete: 'off', spellcheck: 'false', ...opts.attrs } });
  f.querySelector('input').addEventListener('input', (ev) => suggestTags(app, ev.target.value));
  return f;
}

export function suggestTags(app, typed) {
  const list = document.getElementById('tag-suggestions');
  const q = fold(typed.trim());
  const out = [];
  if (q) {
    for (const a of app.db.animals) {
      if (fold(a.tag).startsWith(q) || (a.name && fold(a.name).startsWith(q))) out.push(a);
      if (out.length >= 30) break;
    }
  }
  list.replaceChildren(...out.map((a) => h('option', { value: a.tag }, animalLabel(a))));
}

// A multi-animal box plus a shortcut that fills in everyone in a field.
function animalsPicker(app, value, group) {
  const tags = field({
    label: 'Animals (tag numbers)', name: 'tags', type: 'textarea', value, rows: 3, required: true, wide: true,
    hint: 'Separate tags with commas or put one per line.', attrs: { spellcheck: 'false' },
  });
  const fill = field({
    label: 'Add every animal in a field or pen', name: 'fillFrom', options: fieldOptions(app, 'Choose…'),
    hint: 'Adds the tags of the animals now on the farm there.',
  });
  fill.querySelector('select').addEventListener('change', (ev) => {
    const fid = ev.target.value;
    if (!fid) return;
    const area = tags.querySelector('textarea');
    const add = app.db.animals.filter((a) => a.status === 'on-farm' && a.fieldId === fid).map((a) => a.tag);
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

const grid = (...children) => h('div', { class: 'form-grid' }, children);

function submitWith(app, validate, apply) {
  return (form) => {
    const res = validate(formValues(form));
    if (!showErrors(form, res.ok ? {} : res.errors)) return false;
    app.commit((db) => apply(db, res));
    return true;
  };
}

export function animalForm(app, animal = null) {
  const a = animal ?? { sex: 'female', status: 'on-farm' };
  return openDialog({
    title: animal ? `Edit ${animal.tag}` : 'Add an animal',
    submitLabel: animal ? 'Save changes' : 'Add animal',
    wide: true,
    content: grid(
      field({ label: 'Tag number', name: 'tag', value: a.tag, required: true, attrs: { autofocus: true, spellcheck: 'false' } }),
      field({ label: 'Name', name: 'name', value: a.name }),
      field({ label: 'Species', name: 'species', value: a.species, attrs: { list: 'species-suggestions' } }),
      field({ label: 'Breed', name: 'breed', value: a.breed }),
      field({ label: 'Sex', name: 'sex', value: a.sex, options: SEXES }),
      field({ label: 'Date of birth', name: 'dob', type: 'date', value: a.dob }),
      tagField(app, { label: 'Dam (mother’s tag)', name: 'dam', value: a.dam }),
      tagField(app, { label: 'Sire', name: 'sire', value: a.sire, hint: 'A tag, or the name of a bull, ram or AI sire.' }),
      field({ label: 'Status', name: 'status', value: a.status, options: STATUSES }),
      field({ label: 'Date sold or died', name: 'statusDate', type: 'date', value: a.statusDate, hint: 'Needed when the animal was sold or died.' }),
      field({ label: 'Field or pen', name: 'fieldId', value: a.fieldId ?? '', options: fieldOptions(app) }),
      field({ label: 'Notes', name: 'notes', type: 'textarea', value: a.notes, wide: true }),
    ),
    onSubmit: (form) => {
      const res = validateAnimal(formValues(form), app.idx, animal?.id, app.today());
      if (!showErrors(form, res.ok ? {} : res.errors)) return false;
      const saved = app.commit((db) => {
        if (animal) renameTag(db, animal.tag, res.value.tag);
        return upsert(db, 'animals', animal?.id, res.value);
      },
        animal ? `Saved ${res.value.tag}.` : `Added ${res.value.tag}.`);
      if (!animal && saved) app.go(`#/animal/${encodeURIComponent(saved.id)}`);
      return true;
    },
  });
}

export function treatmentForm(app, t = null, preset = {}) {
  const v = t ?? { date: app.today(), meatDays: 0, milkDays: 0, ...preset };
  const group = field({ label: 'Group', name: 'target', value: v.target, hint: 'Optional, for example “Ewe lambs 2026”.' });
  return openDialog({
    title: t ? 'Edit treatment' : 'Record a treatment',
    submitLabel: t ? 'Save changes' : 'Record treatment',
    wide: true,
    content: grid(
      field({ label: 'Date given', name: 'date', type: 'date', value: v.date, required: true }),
      field({ label: 'Medicine or product', name: 'product', value: v.product, required: true, attrs: { autofocus: true, list: 'product-suggestions' } }),
      ...animalsPicker(app, t ? tagsOf(app.idx, t.animalIds).join(', ') : (v.tags ?? ''), group),
      group,
      field({ label: 'Dose', name: 'dose', value: v.dose, hint: 'For example “10 ml by injection”.' }),
      field({ label: 'Batch number', name: 'batch', value: v.batch }),
      field({ label: 'Reason', name: 'reason', value: v.reason }),
      field({ label: 'Given by', name: 'givenBy', value: v.givenBy }),
      field({ label: 'Meat withdrawal (days)', name: 'meatDays', type: 'number', value: String(v.meatDays ?? 0), attrs: { min: 0, max: 3650, step: 1, inputmode: 'numeric' } }),
      field({ label: 'Milk withdrawal (days)', name: 'milkDays', type: 'number', value: String(v.milkDays ?? 0), attrs: { min: 0, max: 3650, step: 1, inputmode: 'numeric' } }),
      field({ label: 'Notes', name: 'notes', type: 'textarea', value: v.notes, wide: true }),
    ),
    onSubmit: submitWith(app, (input) => validateTreatment(input, app.idx, app.today()),
      (db, res) => upsert(db, 'treatments', t?.id, res.value)),
  }).then((ok) => ok && app.toast(t ? 'Treatment saved.' : 'Treatment recorded.'));
}

export function weightForm(app, w = null, preset = {}) {
  const v = w ? { ...w, tag: app.idx.animalsById.get(w.animalId)?.tag ?? '' } : { date: app.today(), ...preset };
  return openDialog({
    title: w ? 'Edit weight' : 'Record a weight',
    submitLabel: w ? 'Save changes' : 'Record weight',
    content: grid(
      field({ label: 'Date', name: 'date', type: 'date', value: v.date, required: true }),
      tagField(app, { label: 'Animal (tag number)', name: 'tag', value: v.tag, required: true, attrs: { autofocus: !v.tag } }),
      field({ label: 'Weight (kg)', name: 'kg', value: v.kg === undefined ? '' : String(v.kg), required: true, attrs: { inputmode: 'decimal', autofocus: !!v.tag } }),
    ),
    onSubmit: submitWith(app, (input) => validateWeight(input, app.idx, app.today()),
      (db, res) => upsert(db, 'weights', w?.id, res.value)),
  }).then((ok) => ok && app.toast(w ? 'Weight saved.' : 'Weight recorded.'));
}

export function birthForm(app, b = null, preset = {}) {
  const v = b
    ? { ...b, damTag: app.idx.animalsById.get(b.damId)?.tag ?? '', offspringTags: tagsOf(app.idx, b.offspringIds).join(', ') }
    : { date: app.today(), sex: 'unknown', ...preset };
  return openDialog({
    title: b ? 'Edit birth' : 'Record a birth',
    submitLabel: b ? 'Save changes' : 'Record birth',
    wide: true,
    content: grid(
      field({ label: 'Date of birth', name: 'date', type: 'date', value: v.date, required: true }),
      tagField(app, { label: 'Dam (tag number)', name: 'damTag', value: v.damTag, required: true, attrs: { autofocus: true } }),
      field({ label: 'Sire', name: 'sire', value: v.sire }),
      field({ label: 'Tags of the young', name: 'offspringTags', value: v.offspringTags, hint: 'Separate with commas. New tags are added to the herd.', attrs: { spellcheck: 'false' } }),
      b ? null : field({ label: 'Sex of the new young', name: 'sex', value: v.sex, options: SEXES }),
      field({ label: 'Notes', name: 'notes', type: 'textarea', value: v.notes, wide: true, hint: 'For example ease of birth, or young born dead.' }),
    ),
    onSubmit: submitWith(app, (input) => validateBirth(input, app.idx, app.today()),
      (db, res) => addBirth(db, b?.id, res.value, res.newAnimals)),
  }).then((ok) => ok && app.toast(b ? 'Birth saved.' : 'Birth recorded.'));
}

export function movementForm(app, m = null, preset = {}) {
  const v = m ? { ...m, tags: tagsOf(app.idx, m.animalIds).join(', ') } : { date: app.today(), direction: 'move', ...preset };
  const outcome = field({ label: 'These animals were', name: 'outcome', value: '', options: [['', 'Moved off, still alive (not sold)'], ['sold', 'Sold'], ['died', 'Died or slaughtered']] });
  const dest = field({ label: 'Into field or pen', name: 'fieldId', value: v.fieldId ?? '', options: fieldOptions(app) });
  const direction = field({ label: 'Movement', name: 'direction', value: v.direction, options: DIRECTIONS, attrs: { autofocus: true } });
  const sync = () => {
    const dir = direction.querySelector('select').value;
    outcome.hidden = dir !== 'off' || !!m;
    dest.hidden = dir === 'off';
  };
  direction.querySelector('select').addEventListener('change', sync);
  sync();
  return openDialog({
    title: m ? 'Edit movement' : 'Record a movement',
    submitLabel: m ? 'Save changes' : 'Record movement',
    wide: true,
    content: grid(
      field({ label: 'Date', name: 'date', type: 'date', value: v.date, required: true }),
      direction,
      ...animalsPicker(app, v.tags ?? ''),
      field({ label: 'From', name: 'from', value: v.from, hint: 'Holding, market or seller, when moved on.' }),
      field({ label: 'To', name: 'to', value: v.to, hint: 'Holding, buyer or abattoir, when moved off.' }),
      dest,
      outcome,
      field({ label: 'Reason', name: 'reason', value: v.reason }),
      field({ label: 'Notes', name: 'notes', type: 'textarea', value: v.notes, wide: true }),
    ),
    onSubmit: submitWith(app, (input) => validateMovement(input, app.idx, app.today()), (db, res) => {
      const rec = upsert(db, 'movements', m?.id, res.value);
      applyMovement(db, rec, res.outcome);
    }),
  }).then((ok) => ok && app.toast(m ? 'Movement saved.' : 'Movement recorded.'));
}

export function fieldForm(app, f = null) {
  const v = f ?? { kind: 'field' };
  return openDialog({
    title: f ? `Edit ${f.name}` : 'Add a field or pen',
    submitLabel: f ? 'Save changes' : 'Add',
    content: grid(
      field({ label: 'Name', name: 'name', value: v.name, required: true, attrs: { autofocus: true } }),
      field({ label: 'Kind', name: 'kind', value: v.kind, options: FIELD_KINDS }),
      field({ label: 'Area (hectares)', name: 'area', value: v.area == null ? '' : String(v.area), attrs: { inputmode: 'decimal' } }),
      field({ label: 'Notes', name: 'notes', type: 'textarea', value: v.notes, wide: true }),
    ),
    onSubmit: submitWith(app, (input) => validateField(input, app.db, f?.id), (db, res) => upsert(db, 'fields', f?.id, res.value)),
  }).then((ok) => ok && app.toast(f ? 'Saved.' : 'Added.'));
}

// Deleting one record: a plain question, no snapshot (nothing in bulk).
export async function deleteRecord(app, collection, rec, what) {
  const ok = await confirmDialog({ title: `Delete ${what}?`, message: 'This cannot be undone.', confirmLabel: 'Delete' });
  if (!ok) return;
  app.commit((db) => (collection === 'fields' ? removeField(db, rec.id) : removeRecord(db, collection, rec.id)), `Deleted ${what}.`);
}

export async function deleteAnimal(app, animal) {
  const p = app.idx.perAnimal.get(animal.id);
  const ok = await confirmDialog({
    title: `Delete ${animal.tag}?`,
    message: [
      `${animalLabel(animal)} and its ${p.weights.length} weight record${p.weights.length === 1 ? '' : 's'} will be removed.`,
      'Treatments stay in the treatment book with its tag noted. To record a sale or death instead, edit the animal’s status.',
    ],
    confirmLabel: 'Delete animal',
  });
  if (!ok) return false;
  app.commit((db) => removeAnimals(db, [animal.id]), `Deleted ${animal.tag}.`);
  return true;
}

export function speciesDatalist() {
  return h('datalist', { id: 'species-suggestions' }, SPECIES.map((s) => h('option', { value: s })));
}
