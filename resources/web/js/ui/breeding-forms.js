// The forms of breeding: a service (a ram in with a group, AI, embryo
// transfer), the raddle marks read off the ewes, a pregnancy scan, and the
// farm's gestation lengths.

import { h, field, showErrors, formValues } from './dom.js';
import { openDialog } from './ui.js';
import { suggestTags } from './forms.js';
import { compareTags, animalLabel } from '../core/text.js';
import { tagsOf } from '../core/lookups.js';
import { upsert } from '../rules/records.js';
import {
  METHODS,
  BREEDING_SPECIES,
  GESTATION_DAYS,
  validateService,
  validateMarks,
  validateScan,
  scanChoices,
  scanLabel,
  readGestation,
  saveGestation,
  gestationOf,
  breedingRecords,
} from '../rules/breeding.js';

const grid = (...children) => h('div', { class: 'form-grid' }, children);

function choices(list, blank) {
  return [['', blank], ...list.sort((a, b) => compareTags(a[1], b[1]))];
}

export function serviceForm(app, s = null, preset = {}) {
  const { db, idx } = app;
  const v = s
    ? {
        ...s,
        tags: tagsOf(idx, s.femaleIds).join(', '),
        raddle: s.raddles?.[0]?.date === s.date ? s.raddles[0].colour : '',
        raddleChanges: (s.raddles || [])
          .filter((r, i) => !(i === 0 && r.date === s.date))
          .map((r) => `${r.date} ${r.colour}`)
          .join('\n'),
      }
    : { date: app.today(), method: 'natural', ...preset };
  const tags = field({
    label: 'Females (tag numbers)',
    name: 'tags',
    type: 'textarea',
    value: v.tags ?? '',
    rows: 3,
    wide: true,
    hint: 'Separate tags with commas or put one per line; a group chosen below adds its members on the date.',
    attrs: { spellcheck: 'false' },
  });
  const fill = field({
    label: 'Add every female in a field or pen',
    name: 'fillFrom',
    options: choices(
      db.fields.filter((f) => !f.archived).map((f) => [f.id, f.name]),
      'Choose…',
    ),
  });
  fill.querySelector('select').addEventListener('change', (ev) => {
    const area = tags.querySelector('textarea');
    const add = db.animals
      .filter(
        (a) => !a.voided && a.status === 'on-farm' && a.fieldId === ev.target.value && a.sex === 'female',
      )
      .map((a) => a.tag);
    area.value = [area.value.trim(), add.join(', ')].filter(Boolean).join(', ');
    ev.target.value = '';
    area.focus();
  });
  const group = field({
    label: 'Or a group',
    name: 'groupId',
    options: choices(
      db.groups.filter((g) => !g.voided).map((g) => [g.id, g.name]),
      'None',
    ),
  });
  const method = field({
    label: 'Method',
    name: 'method',
    value: v.method,
    options: METHODS,
    attrs: { autofocus: true },
  });
  const natural = h(
    'div',
    { class: 'form-grid wide' },
    field({
      label: 'Ram or bull out on',
      name: 'ramOut',
      type: 'date',
      value: v.ramOut,
      hint: 'Blank while he is still in. The same day as the service for a hand service.',
    }),
    field({ label: 'Raddle colour at the start', name: 'raddle', value: v.raddle }),
    field({
      label: 'Raddle changes',
      name: 'raddleChanges',
      type: 'textarea',
      value: v.raddleChanges,
      rows: 2,
      wide: true,
      hint: 'One a line: the date and the new colour, such as 2026-10-20 blue.',
    }),
  );
  const sync = () => (natural.hidden = method.querySelector('select').value !== 'natural');
  method.querySelector('select').addEventListener('change', sync);
  sync();
  const sire = field({
    label: 'Sire',
    name: 'sire',
    value: v.sire,
    required: true,
    hint: 'The tag of a ram or bull on record, or the code of a straw or the name of a hired sire.',
    attrs: { list: 'tag-suggestions', autocomplete: 'off', spellcheck: 'false' },
  });
  sire.querySelector('input').addEventListener('input', (ev) => suggestTags(app, ev.target.value));
  return openDialog({
    title: s ? 'Edit service' : 'Record a service',
    submitLabel: s ? 'Save changes' : 'Record service',
    wide: true,
    content: grid(
      method,
      field({ label: 'Date (ram in)', name: 'date', type: 'date', value: v.date, required: true }),
      sire,
      tags,
      fill,
      group,
      natural,
      field({
        label: 'Served by',
        name: 'servedBy',
        value: v.servedBy,
        hint: 'Who served, or the AI technician.',
      }),
      field({ label: 'Notes', name: 'notes', type: 'textarea', value: v.notes, wide: true }),
    ),
    onSubmit: (form) => {
      const res = validateService(formValues(form), app.context(s));
      if (!showErrors(form, res.ok ? {} : res.errors)) return false;
      app.commit((rec) => upsert(rec, 'services', s?.id, res.value));
      return true;
    },
  }).then((ok) => {
    if (ok) app.toast(s ? 'Service saved.' : 'Service recorded.');
    return ok;
  });
}

// One box per raddle colour: the tags of the ewes marked in it.
export function marksForm(app, s) {
  const colours = [...new Set(s.raddles.map((r) => r.colour))];
  const now = (c) =>
    tagsOf(
      app.idx,
      (s.marks || []).filter((m) => m.colour === c).map((m) => m.animalId),
    ).join(', ');
  return openDialog({
    title: 'Raddle marks',
    submitLabel: 'Save marks',
    wide: true,
    content: [
      h(
        'p',
        {},
        'The tags of the ewes carrying each colour. A ewe with two colours counts by the later one.',
      ),
      grid(
        ...colours.map((c, i) =>
          field({
            label: `Marked ${c}`,
            name: `mark-${i}`,
            type: 'textarea',
            rows: 2,
            wide: true,
            value: now(c),
            attrs: { spellcheck: 'false', autofocus: i === 0 },
          }),
        ),
      ),
    ],
    onSubmit: (form) => {
      const res = validateMarks(formValues(form), app.context(s), s);
      if (!showErrors(form, res.ok ? {} : res.errors)) return false;
      app.commit((db) => upsert(db, 'services', s.id, res.value));
      return true;
    },
  }).then((ok) => {
    if (ok) app.toast('Raddle marks saved.');
    return ok;
  });
}

// A scan of the females of a service: one result each, the latest scan of
// the service's females shown as it stands.
export function scanForm(app, s, scan = null) {
  const { idx } = app;
  const recs = breedingRecords(app.db);
  const females = s.femaleIds
    .map((id) => idx.animalsById.get(id))
    .filter(Boolean)
    .sort((a, b) => compareTags(a.tag, b.tag));
  const before = new Map((scan?.results || []).map((r) => [r.animalId, r]));
  const rows = females.map((a, i) => {
    const r = before.get(a.id);
    const last = !scan && (recs.scans.get(a.id) || []).filter((x) => x.scan.date >= s.date).pop();
    return h(
      'div',
      { class: 'young-row' },
      h('input', { type: 'hidden', name: `scanId-${i}`, value: a.id }),
      field({
        label: animalLabel(a),
        name: `scan-${i}`,
        value: r ? String(r.foetuses) : '',
        options: scanChoices(a.species),
        hint: last ? `Last scan ${last.scan.date}: ${scanLabel(last.foetuses, a.species)}` : null,
      }),
      field({
        label: 'Stage',
        name: `stage-${i}`,
        value: r?.stage ?? '',
        attrs: { placeholder: 'e.g. 60 days' },
      }),
    );
  });
  const v = scan ?? { date: app.today() };
  return openDialog({
    title: scan ? 'Edit scan' : 'Record a pregnancy scan',
    submitLabel: scan ? 'Save changes' : 'Record scan',
    wide: true,
    content: grid(
      field({
        label: 'Date scanned',
        name: 'date',
        type: 'date',
        value: v.date,
        required: true,
        attrs: { autofocus: true },
      }),
      field({ label: 'Scanned by', name: 'scannedBy', value: v.scannedBy }),
      h(
        'div',
        { class: 'young-rows form-field wide', 'data-field': 'results' },
        rows,
        h('p', { class: 'field-error', hidden: true }),
      ),
      field({ label: 'Notes', name: 'notes', type: 'textarea', value: v.notes, wide: true }),
    ),
    onSubmit: (form) => {
      const res = validateScan(formValues(form), app.context(scan), s);
      if (!showErrors(form, res.ok ? {} : res.errors)) return false;
      app.commit((db) => upsert(db, 'scans', scan?.id, res.value));
      return true;
    },
  }).then((ok) => {
    if (ok) app.toast(scan ? 'Scan saved.' : 'Scan recorded.');
    return ok;
  });
}

export function gestationForm(app) {
  const farm = app.db.farm;
  return openDialog({
    title: 'Gestation lengths',
    submitLabel: 'Save',
    content: [
      h('p', {}, 'Days from service to birth, for the due dates. Blank takes the usual length.'),
      grid(
        ...BREEDING_SPECIES.map(([k, name]) =>
          field({
            label: `${name} (usually ${GESTATION_DAYS[k]})`,
            name: `g-${k}`,
            value: farm.gestationDays?.[k] ? String(gestationOf(farm, k)) : '',
            attrs: { inputmode: 'numeric' },
          }),
        ),
      ),
    ],
    onSubmit: (form) => {
      const v = formValues(form);
      const res = readGestation(BREEDING_SPECIES.map(([k]) => [k, v[`g-${k}`]]));
      if (!showErrors(form, res.ok ? {} : { [`g-${res.species}`]: 'Enter whole days from 30 to 400.' }))
        return false;
      app.commit((db) => saveGestation(db, res.value), 'Gestation lengths saved.');
      return true;
    },
  });
}
