// The forms of the field records: a spray, a spreading of fertiliser or
// manure. Each names one or more fields, ticked from the farm's own.

import { h, field, showErrors, formValues, nextId } from './dom.js';
import { openDialog } from './ui.js';
import { compareTags, fold } from '../core/text.js';
import { upsert } from '../rules/records.js';
import { validateSpray, validateNutrient, NUTRIENT_KINDS, RATE_UNITS } from '../rules/fieldwork.js';

const num = (v) => (v === null || v === undefined ? '' : String(v));

// Fields in use, and archived ones only where the record already names them.
function fieldsPicker(app, chosen) {
  const fields = app.db.fields
    .filter((f) => f.kind === 'field' && (!f.archived || chosen.includes(f.id)))
    .sort((a, b) => compareTags(a.name, b.name));
  const id = nextId('f-fieldIds');
  return h(
    'fieldset',
    { class: 'form-field wide', 'data-field': 'fieldIds', 'aria-describedby': `${id}-err` },
    h('legend', {}, 'Fields', h('span', { class: 'req', 'aria-hidden': 'true' }, ' *')),
    fields.length
      ? fields.map((f) =>
          h(
            'label',
            { class: 'check-row' },
            h('input', { type: 'checkbox', name: `fld:${f.id}`, checked: chosen.includes(f.id) }),
            ` ${f.name}${f.area == null ? '' : ` (${f.area} ha)`}`,
          ),
        )
      : h('p', { class: 'hint' }, 'Add the farm’s fields under Fields and pens first.'),
    h('p', { class: 'field-error', id: `${id}-err`, hidden: true }),
  );
}

const readForm = (form) => {
  const input = formValues(form);
  input.fieldIds = Object.keys(input)
    .filter((k) => k.startsWith('fld:'))
    .map((k) => k.slice(4))
    .join(',');
  return input;
};

function submit(app, collection, rec, validate) {
  return (form) => {
    const res = validate(readForm(form), app.context(rec));
    if (!showErrors(form, res.ok ? {} : res.errors)) return false;
    app.commit((db) => upsert(db, collection, rec?.id, res.value));
    return true;
  };
}

// A product sprayed before fills its number and intervals, which stay editable.
function fillFromEarlier(app, form) {
  const product = form.querySelector('[name="product"]');
  product.addEventListener('change', () => {
    const earlier = app.db.sprays
      .filter((s) => !s.voided && fold(s.product) === fold(product.value.trim()))
      .sort((a, b) => (a.date < b.date ? 1 : -1))[0];
    if (!earlier) return;
    for (const key of ['mapp', 'grazingDays', 'harvestDays', 'doseUnit']) {
      const box = form.querySelector(`[name="${key}"]`);
      if (box && !box.value) box.value = num(earlier[key]);
    }
  });
}

export function sprayForm(app, s = null, preset = {}) {
  const v = s ?? { date: app.today(), fieldIds: [], doseUnit: 'l/ha', ...preset };
  const content = h(
    'div',
    { class: 'form-grid' },
    field({
      label: 'Date',
      name: 'date',
      type: 'date',
      value: v.date,
      required: true,
      attrs: { autofocus: true },
    }),
    field({
      label: 'Time started',
      name: 'time',
      value: v.time,
      hint: 'hh:mm. Without it the grazing interval counts from the end of the day.',
    }),
    fieldsPicker(app, v.fieldIds),
    field({
      label: 'Area treated (ha)',
      name: 'area',
      value: num(v.area),
      hint: 'Blank: the whole of the fields chosen.',
      attrs: { inputmode: 'decimal' },
    }),
    field({ label: 'Crop', name: 'crop', value: v.crop, required: true, attrs: { list: 'spray-crops' } }),
    field({ label: 'EPPO crop code', name: 'cropCode', value: v.cropCode, hint: 'For example 1LOLG.' }),
    field({ label: 'Growth stage (BBCH)', name: 'growthStage', value: v.growthStage }),
    field({
      label: 'Product',
      name: 'product',
      value: v.product,
      required: true,
      attrs: { list: 'spray-products' },
    }),
    field({
      label: 'Registration (MAPP) number',
      name: 'mapp',
      value: v.mapp,
      required: true,
      attrs: { spellcheck: 'false' },
    }),
    field({
      label: 'Dose per hectare',
      name: 'dosePerHa',
      value: num(v.dosePerHa),
      required: true,
      attrs: { inputmode: 'decimal' },
    }),
    field({ label: 'Dose unit', name: 'doseUnit', value: v.doseUnit, hint: 'l/ha, kg/ha or ml/ha.' }),
    field({
      label: 'Total used',
      name: 'totalUsed',
      value: num(v.totalUsed),
      hint: 'Blank: dose × area.',
      attrs: { inputmode: 'decimal' },
    }),
    field({ label: 'Water volume (l/ha)', name: 'waterPerHa', value: num(v.waterPerHa) }),
    field({ label: 'Operator', name: 'operator', value: v.operator, required: true }),
    field({ label: 'Operator’s certificate number', name: 'certificate', value: v.certificate }),
    field({ label: 'Reason for use', name: 'reason', value: v.reason, hint: 'The weed, pest or disease.' }),
    field({ label: 'Wind', name: 'wind', value: v.wind, hint: 'Speed and direction, for example “F2 SW”.' }),
    field({ label: 'Temperature', name: 'temperature', value: v.temperature, hint: 'For example “14 °C”.' }),
    field({
      label: 'Grazing interval (days)',
      name: 'grazingDays',
      value: num(v.grazingDays),
      required: true,
      hint: 'From the label’s “do not graze for N days”; 0 if it gives none.',
      attrs: { inputmode: 'numeric' },
    }),
    field({
      label: 'Harvest interval (days)',
      name: 'harvestDays',
      value: num(v.harvestDays),
      attrs: { inputmode: 'numeric' },
    }),
    field({ label: 'Notes', name: 'notes', type: 'textarea', value: v.notes, wide: true }),
    h(
      'datalist',
      { id: 'spray-products' },
      [...new Set(app.db.sprays.map((x) => x.product))].map((p) => h('option', { value: p })),
    ),
    h(
      'datalist',
      { id: 'spray-crops' },
      ['Permanent grassland', 'Temporary grassland', ...new Set(app.db.sprays.map((x) => x.crop))].map((c) =>
        h('option', { value: c }),
      ),
    ),
  );
  const opened = openDialog({
    title: s ? 'Edit spray record' : 'Record a spray',
    submitLabel: s ? 'Save changes' : 'Record spray',
    wide: true,
    content,
    onSubmit: submit(app, 'sprays', s, validateSpray),
  });
  const form = content.closest('form');
  if (form) fillFromEarlier(app, form);
  return opened.then((ok) => ok && app.toast(s ? 'Spray record saved.' : 'Spray recorded.'));
}

export function nutrientForm(app, r = null, preset = {}) {
  const v = r ?? { date: app.today(), fieldIds: [], kind: 'livestock-manure', rateUnit: 't', ...preset };
  return openDialog({
    title: r ? 'Edit fertiliser or manure record' : 'Record fertiliser or manure',
    submitLabel: r ? 'Save changes' : 'Record',
    wide: true,
    content: h(
      'div',
      { class: 'form-grid' },
      field({
        label: 'Date',
        name: 'date',
        type: 'date',
        value: v.date,
        required: true,
        attrs: { autofocus: true },
      }),
      fieldsPicker(app, v.fieldIds),
      field({
        label: 'Area (ha)',
        name: 'area',
        value: num(v.area),
        hint: 'Blank: the whole of the fields chosen.',
        attrs: { inputmode: 'decimal' },
      }),
      field({ label: 'Kind', name: 'kind', value: v.kind, options: NUTRIENT_KINDS }),
      field({
        label: 'Product or manure',
        name: 'product',
        value: v.product,
        required: true,
        hint: 'For example “cattle slurry 6% DM” or “ammonium nitrate 34.5% N”.',
      }),
      field({
        label: 'Rate a hectare',
        name: 'rate',
        value: num(v.rate),
        required: true,
        attrs: { inputmode: 'decimal' },
      }),
      field({ label: 'Rate in', name: 'rateUnit', value: v.rateUnit, options: RATE_UNITS }),
      field({
        label: 'Nitrogen (N) content',
        name: 'n',
        value: num(v.n),
        required: true,
        hint: 'kg a tonne or m³; % for a product spread in kg.',
        attrs: { inputmode: 'decimal' },
      }),
      field({
        label: 'Phosphate (P2O5) content',
        name: 'p',
        value: num(v.p),
        attrs: { inputmode: 'decimal' },
      }),
      field({ label: 'Potash (K2O) content', name: 'k', value: num(v.k), attrs: { inputmode: 'decimal' } }),
      field({
        label: 'Method',
        name: 'method',
        value: v.method,
        hint: 'For example “trailing shoe” or “broadcast”.',
      }),
      field({ label: 'Applied by', name: 'operator', value: v.operator }),
      field({ label: 'Notes', name: 'notes', type: 'textarea', value: v.notes, wide: true }),
    ),
    onSubmit: submit(app, 'nutrients', r, validateNutrient),
  }).then((ok) => ok && app.toast(r ? 'Record saved.' : 'Recorded.'));
}
