// A made-up farm of any size, for trying the screens and for measuring them
// with thousands of animals. The same seed always gives the same farm.

import { emptyDatabase } from '../core/database.js';
import { addDays } from '../core/dates.js';
import { refreshHerd } from '../rules/history.js';

function random(seed) {
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

const HERDS = [
  {
    species: 'Cattle',
    share: 0.4,
    breeds: ['Hereford', 'Aberdeen Angus', 'Holstein Friesian', 'Limousin'],
    kg: [35, 650],
    products: ['Ivomec pour-on', 'Bovilis BVD', 'Metacam 20 mg/ml', 'Alamycin LA 300'],
  },
  {
    species: 'Sheep',
    share: 0.45,
    breeds: ['Texel', 'Suffolk', 'Welsh Mountain', 'Lleyn'],
    kg: [4, 85],
    products: ['Heptavac P Plus', 'Zolvix', 'Crovect pour-on', 'Footvax'],
  },
  {
    species: 'Goat',
    share: 0.1,
    breeds: ['Saanen', 'Anglo-Nubian', 'Boer'],
    kg: [3, 75],
    products: ['Cydectin 1%', 'Lambivac'],
  },
  {
    species: 'Pig',
    share: 0.05,
    breeds: ['Gloucester Old Spot', 'Tamworth', 'Berkshire'],
    kg: [1.5, 250],
    products: ['Porcilis PCV', 'Dectomax'],
  },
];
const NAMES = [
  'Daisy',
  'Bella',
  'Léa',
  'Björn',
  'Zoë',
  'Mairéad',
  'Clover',
  'Hazel',
  'Nieve',
  'Ffion',
  'Primrose',
  'Bramble',
  'Rosie 🌸',
  'Øyvind',
  'Pearl',
];
const PEOPLE = ['J. Evans', 'M. Hughes', 'Vet: R. Ó Briain'];

// `events` weights, treatments, births and movements (ten an animal unless asked).
export function demoDatabase(count, today, seed = 7, events = count * 10) {
  const rnd = random(seed);
  const pick = (list) => list[Math.floor(rnd() * list.length)];
  const db = emptyDatabase();
  db.farm = { name: 'Meadowline Farm', holding: '12/345/6789' };
  const dayBack = (max) => addDays(today, -Math.floor(rnd() * max));
  let n = 0;
  const id = (p) => `${p}-demo-${++n}`;

  for (let i = 1; i <= 12; i++) {
    db.fields.push({
      id: id('fi'),
      name: i <= 8 ? `Field ${i}` : `Pen ${i - 8}`,
      kind: i <= 8 ? 'field' : 'pen',
      area: i <= 8 ? Math.round(rnd() * 120) / 10 + 1 : null,
      notes: '',
    });
  }
  const herdOf = (r) => {
    let acc = 0;
    for (const h of HERDS) {
      acc += h.share;
      if (r < acc) return h;
    }
    return HERDS[0];
  };
  for (let i = 0; i < count; i++) {
    const herd = herdOf(rnd());
    const dob = dayBack(2500);
    const r = rnd();
    const status = r < 0.82 ? 'on-farm' : r < 0.95 ? 'sold' : 'died';
    db.animals.push({
      id: id('an'),
      tag: `UK ${herd.species[0]}${String(100000 + i)}`,
      name: rnd() < 0.25 ? pick(NAMES) : '',
      species: herd.species,
      breed: pick(herd.breeds),
      sex: rnd() < 0.7 ? 'female' : rnd() < 0.5 ? 'male' : 'castrated',
      dob,
      dam: '',
      sire: '',
      status,
      statusDate:
        status === 'on-farm'
          ? ''
          : addDays(dob, Math.floor(rnd() * 300) + 30) > today
            ? today
            : addDays(dob, Math.floor(rnd() * 300) + 30),
      fieldId: '',
      firstFieldId: pick(db.fields).id,
      tagHistory: [],
      notes: rnd() < 0.05 ? 'Lame in the near hind, watch.' : '',
      herd,
    });
  }
  for (let e = 0; e < events; e++) {
    const a = pick(db.animals);
    const r = rnd();
    if (r < 0.55) {
      const [lo, hi] = a.herd.kg;
      db.weights.push({
        id: id('we'),
        date: dayBack(900),
        animalId: a.id,
        kg: Math.round((lo + rnd() * (hi - lo)) * 10) / 10,
      });
    } else if (r < 0.85) {
      const group =
        rnd() < 0.1 ? db.animals.filter((x) => x.fieldId && x.fieldId === a.fieldId).slice(0, 40) : [a];
      db.treatments.push({
        id: id('tr'),
        date: dayBack(700),
        animalIds: group.map((x) => x.id),
        target: group.length > 1 ? 'Group in one field' : '',
        product: pick(a.herd.products),
        dose: `${Math.ceil(rnd() * 20)} ml`,
        batch: `B${Math.floor(rnd() * 90000) + 10000}`,
        reason: pick(['Routine', 'Lameness', 'Worms', 'Pneumonia', 'Vaccination']),
        givenBy: pick(PEOPLE),
        lastDate: '',
        time: '',
        vet: '',
        meatDays: pick([0, 7, 14, 28, 42]),
        milkPeriod: pick([0, 0, 3, 7]),
        milkUnit: 'days',
        offLabel: false,
        notes: '',
      });
    } else if (r < 0.93 && a.sex === 'female') {
      db.births.push({
        id: id('bi'),
        date: dayBack(900),
        damId: a.id,
        sire: pick(['AI Hereford', 'Ram T12', 'Bull 44']),
        offspringIds: [],
        notes: rnd() < 0.2 ? 'Assisted.' : '',
      });
    } else {
      const direction = pick(['on', 'off', 'move', 'move']);
      db.movements.push({
        id: id('mo'),
        date: dayBack(900),
        direction,
        outcome: direction === 'off' ? 'away' : '',
        animalIds: [a.id],
        from: direction === 'on' ? 'Market' : '',
        fromHolding: '',
        to: direction === 'off' ? pick(['Neighbour', 'Summer grazing']) : '',
        toHolding: '',
        documentRef: '',
        cause: '',
        fieldId: direction === 'off' ? '' : pick(db.fields).id,
        reason: '',
        notes: '',
      });
    }
  }
  for (const a of db.animals) {
    delete a.herd;
    if (a.status === 'on-farm') continue;
    db.movements.push({
      id: id('mo'),
      date: a.statusDate,
      direction: 'off',
      outcome: a.status,
      animalIds: [a.id],
      from: '',
      fromHolding: '',
      to: a.status === 'sold' ? 'Market' : '',
      toHolding: '',
      documentRef: '',
      cause: a.status === 'died' ? 'Not known' : '',
      fieldId: '',
      reason: '',
      notes: '',
    });
  }
  demoFieldRecords(db, today, id);
  refreshHerd(db);
  demoBreeding(db, today);
  demoJobs(db, today, id);
  return db;
}

// A few sprays and spreadings, one field still closed to grazing; drawn
// after everything else, so that the herd is the same with them.
function demoFieldRecords(db, today, id) {
  const [f1, f2, f3] = db.fields;
  Object.assign(f1, { reference: 'SO1234 5678', landUse: 'permanent-grass', nvz: true });
  Object.assign(f2, { reference: 'SO1234 6789', landUse: 'temporary-grass', nvz: true });
  Object.assign(f3, { reference: 'SO1235 0012', landUse: 'arable', crop: 'Spring barley' });
  const spray = (days, field, more) => ({
    id: id('sp'),
    date: addDays(today, -days),
    time: '10:30',
    fieldIds: [field.id],
    area: field.area,
    crop: 'Permanent grassland',
    cropCode: '1LOLG',
    growthStage: '',
    doseUnit: 'l/ha',
    waterPerHa: 200,
    operator: 'J. Evans',
    certificate: 'PA1/PA2 123456',
    wind: 'F2 SW',
    temperature: '14 °C',
    harvestDays: null,
    notes: '',
    ...more,
  });
  db.sprays.push(
    spray(3, f1, { product: 'Doxstar Pro', mapp: '19203', dosePerHa: 2, reason: 'Docks', grazingDays: 7 }),
    spray(40, f2, { product: 'Envy', mapp: '17215', dosePerHa: 1.5, reason: 'Thistles', grazingDays: 7 }),
    spray(60, f3, {
      product: 'Axial Pro',
      mapp: '16522',
      crop: 'Spring barley',
      cropCode: 'HORVS',
      growthStage: '25',
      dosePerHa: 0.82,
      reason: 'Wild oats',
      grazingDays: 0,
      harvestDays: 60,
    }),
  );
  for (const s of db.sprays) s.totalUsed = Math.round(s.dosePerHa * s.area * 100) / 100;
  const spread = (days, field, more) => ({
    id: id('nu'),
    date: addDays(today, -days),
    fieldIds: [field.id],
    area: field.area,
    p: null,
    k: null,
    method: '',
    operator: 'M. Hughes',
    notes: '',
    ...more,
  });
  db.nutrients.push(
    spread(50, f1, {
      kind: 'livestock-manure',
      product: 'Cattle slurry 6% DM',
      rate: 30,
      rateUnit: 'm3',
      n: 2.6,
      p: 1.2,
      k: 3.2,
      method: 'Trailing shoe',
    }),
    spread(45, f2, {
      kind: 'livestock-manure',
      product: 'Farmyard manure',
      rate: 25,
      rateUnit: 't',
      n: 6,
      p: 3.2,
      k: 8,
      method: 'Rear discharge',
    }),
    spread(30, f2, {
      kind: 'manufactured',
      product: 'Ammonium nitrate 34.5% N',
      rate: 150,
      rateUnit: 'kg',
      n: 34.5,
      method: 'Broadcast',
    }),
  );
}

// A tupping with a raddle change and a scan, and an AI service of cows, so
// that the breeding screen has a due list. Drawn without the random numbers,
// so the rest of the farm stays as it was.
function demoBreeding(db, today) {
  const on = (species, sex) =>
    db.animals.filter((a) => a.species === species && a.sex === sex && a.status === 'on-farm');
  const ewes = on('Sheep', 'female').slice(0, 300);
  const ram = on('Sheep', 'male')[0];
  const cows = on('Cattle', 'female').slice(0, 40);
  if (ewes.length) {
    const ramIn = addDays(today, -135);
    db.services.push({
      id: 'sv-demo-1',
      date: ramIn,
      method: 'natural',
      femaleIds: ewes.map((a) => a.id),
      target: 'Tupping mob',
      sireId: ram?.id ?? '',
      sire: ram?.tag ?? 'Hired Texel ram',
      servedBy: '',
      ramOut: addDays(ramIn, 34),
      raddles: [
        { date: ramIn, colour: 'red' },
        { date: addDays(ramIn, 17), colour: 'blue' },
      ],
      marks: ewes.map((a, i) => ({ animalId: a.id, colour: i % 3 ? 'red' : 'blue' })),
      notes: '',
    });
    db.scans.push({
      id: 'sc-demo-1',
      date: addDays(ramIn, 80),
      serviceId: 'sv-demo-1',
      results: ewes.map((a, i) => ({ animalId: a.id, foetuses: [2, 1, 2, 0, 3, 2, 1][i % 7] })),
      scannedBy: 'Scanner: D. Price',
      notes: '',
    });
  }
  if (cows.length)
    db.services.push({
      id: 'sv-demo-2',
      date: addDays(today, -270),
      method: 'ai',
      femaleIds: cows.map((a) => a.id),
      target: '',
      sireId: '',
      sire: 'Straw HX 2211 Hereford',
      servedBy: 'AI technician',
      ramOut: '',
      raddles: [],
      marks: [],
      notes: '',
    });
}

// A few jobs around today: overdue, due, coming, a repeat and a second dose.
function demoJobs(db, today, id) {
  const ewes = db.animals.filter((a) => a.species === 'Sheep' && a.status === 'on-farm').slice(0, 12);
  const job = (title, days, more = {}) =>
    db.jobs.push({
      id: id('jo'),
      title,
      note: '',
      due: addDays(today, days),
      about: 'farm',
      action: '',
      state: 'open',
      doneIds: [],
      history: [],
      ...more,
    });
  const forEwes = { about: 'animals', animalIds: ewes.map((a) => a.id) };
  job('Check the water troughs', 0, { repeat: { every: 1, unit: 'weeks', from: 'due', day: 1 } });
  job('Second dose of Heptavac P Plus', -1, {
    ...forEwes,
    action: 'treatment',
    product: 'Heptavac P Plus',
    earliest: addDays(today, -1),
    until: addDays(today, 13),
  });
  job('Weigh the ewes', 3, { ...forEwes, action: 'weighing' });
  job('Trim feet', -4, { ...forEwes, note: 'Footbath after.' });
  job('Service the quad bike', 9, { repeat: { every: 6, unit: 'months', from: 'done', day: 1 } });
}
