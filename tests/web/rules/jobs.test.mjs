import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { parseDatabase } from '../../../resources/web/js/core/checks.js';
import { createStore } from '../../../resources/web/js/rules/store.js';
import {
  addMonths,
  saveJob,
  markDone,
  skipJob,
  moveJob,
  jobsDue,
  planJobBefore,
  saveSchedule,
  addRecordWithJobs,
  touchesJobs,
  weekPlan,
  jobsAfterVoid,
  validateJob,
  planMovesBeforeDue,
} from '../../../resources/web/js/rules/jobs.js';
import { animal, treatment, farm } from '../helpers.mjs';

const repeating = (due, every, unit, from) =>
  saveJob(farm().db, null, {
    title: 'Job',
    due,
    about: 'farm',
    repeat: { every, unit, from, day: +due.slice(8) },
  });
// The due dates a job takes as each occurrence is done on the day given.
function dues(job, doneOn) {
  const db = { jobs: [job] };
  return doneOn.map((on) => markDone(db, job.id, on ?? job.due).due);
}

describe('repeats', () => {
  test('months land on the anchor day or the month’s last day, leap years included', () => {
    assert.deepEqual(dues(repeating('2027-01-31', 1, 'months', 'due'), [null, null, null, null]), [
      '2027-02-28',
      '2027-03-31',
      '2027-04-30',
      '2027-05-31',
    ]);
    assert.deepEqual(dues(repeating('2028-01-31', 1, 'months', 'due'), [null, null]), [
      '2028-02-29',
      '2028-03-31',
    ]);
    assert.deepEqual(dues(repeating('2028-02-29', 1, 'years', 'due'), [null, null, null, null]), [
      '2029-02-28',
      '2030-02-28',
      '2031-02-28',
      '2032-02-29',
    ]);
    assert.deepEqual([addMonths('2027-11-30', 3), addMonths('2027-03-31', -1)], ['2028-02-29', '2027-02-28']);
  });

  test('from the due date keeps the rhythm, from when done counts from that day; skips and moves stay in history', () => {
    assert.deepEqual(dues(repeating('2027-01-04', 1, 'weeks', 'due'), ['2027-01-07', '2027-01-10']), [
      '2027-01-11',
      '2027-01-18',
    ]);
    assert.deepEqual(dues(repeating('2027-01-31', 1, 'months', 'done'), ['2027-02-03', '2027-02-28']), [
      '2027-03-03',
      '2027-03-28',
    ]);
    const j = repeating('2027-01-10', 10, 'days', 'due');
    const db = { jobs: [j] };
    moveJob(db, j.id, '2027-01-13', '2027-01-09', 'rain');
    markDone(db, j.id, '2027-01-13');
    skipJob(db, j.id, '2027-01-20', 'ewes away');
    assert.equal(j.due, '2027-01-30', 'a move does not shift the series');
    assert.deepEqual(
      j.history.map((h) => [h.due, h.outcome]),
      [
        ['2027-01-10', 'moved'],
        ['2027-01-10', 'done'],
        ['2027-01-20', 'skipped'],
      ],
    );
    const once = saveJob(db, null, { title: 'Once', due: '2027-01-05', about: 'farm', repeat: null });
    assert.deepEqual(
      jobsDue(db, '2027-01-12').map((d) => [d.job.title, d.state]),
      [['Once', 'overdue']],
    );
    markDone(db, once.id, '2027-01-12');
    assert.equal(once.state, 'done');
    assert.deepEqual(jobsDue(db, '2027-01-12'), []);
  });
});

test('a job as typed names its animals, group or field, its product, and a whole repeat', () => {
  const ewe = animal({ tag: 'UK 1' });
  const { db, idx } = farm({ animals: [ewe], groups: [{ id: 'gr-1', name: 'Ewes', members: [] }] });
  const check = (input) => validateJob({ title: 'Dose', due: '2027-01-31', ...input }, { db, idx });
  const ok = check({ about: 'animals', tags: 'uk 1', every: '1', unit: 'months' }).value;
  assert.deepEqual([ok.animalIds, ok.repeat], [[ewe.id], { every: 1, unit: 'months', from: 'due', day: 31 }]);
  assert.deepEqual(
    [
      check({ about: 'animals', tags: 'UK 1, UK 9' }),
      check({ about: 'group', groupId: 'gr-9' }),
      check({ about: 'farm', action: 'treatment', product: ' ' }),
      check({ about: 'farm', every: '1.5' }),
      check({ about: 'farm', title: '', due: '2027-02-30' }),
    ].map((r) => Object.keys(r.errors ?? {})),
    [['tags'], ['groupId'], ['product'], ['every'], ['title', 'due']],
  );
  const j = saveJob(db, null, {
    ...check({ about: 'farm' }).value,
    earliest: '2027-01-31',
    until: '2027-02-14',
  });
  saveJob(db, j.id, check({ about: 'farm', due: '2027-02-10' }).value);
  assert.deepEqual([j.earliest, j.until], ['2027-02-10', '2027-02-24'], 'the window follows the due date');
});

describe('jobs from a dose schedule', () => {
  const flock = () => {
    const ewes = [animal(), animal(), animal()];
    const { db } = farm({ animals: ewes });
    saveSchedule(db, 'Heptavac P', { secondFrom: 28, secondTo: 42, boosterMonths: 12 });
    const dose = (date, who, product = 'heptavac p') =>
      addRecordWithJobs(db, 'treatments', treatment({ date, product, animalIds: who.map((a) => a.id) }));
    return { db, ewes, dose, job: (step) => db.jobs.find((j) => j.source?.step === step) };
  };

  test('a first dose plans the second and the booster; doses in the window close them, animal by animal', () => {
    const { db, ewes, dose, job } = flock();
    assert.equal(touchesJobs(db, 'treatments', { product: 'Other' }), false);
    const first = dose('2026-03-01', ewes);
    assert.deepEqual(
      [job('second').due, job('second').until, job('booster').due, job('second').source.first],
      ['2026-03-29', '2026-04-12', '2027-03-29', first.id],
    );
    dose('2026-03-20', [ewes[0]]);
    dose('2026-04-01', ewes.slice(0, 2));
    dose('2026-04-01', ewes, 'Other');
    assert.deepEqual([job('second').state, job('second').doneIds], ['open', [ewes[0].id, ewes[1].id]]);
    dose('2026-04-20', [ewes[2]]);
    assert.equal(job('second').state, 'open', 'a dose after the window does not count');
    assert.equal(db.jobs.length, 2, 'nor does a dose for animals with a course under way start another');
    dose('2026-04-10', [ewes[2]]);
    assert.deepEqual([job('second').state, job('second').history[0].on], ['done', '2026-04-10']);
    assert.equal(job('booster').due, '2027-04-10', 'the booster counts from the end of the course');
    dose('2027-03-30', ewes);
    assert.deepEqual([job('booster').due, job('booster').history.length], ['2028-03-30', 1]);
  });

  test('a record made from a job counts whatever its date; a new course for new animals', () => {
    const { db, ewes, dose, job } = flock();
    dose('2026-03-01', ewes.slice(0, 1));
    const id = job('second').id;
    addRecordWithJobs(
      db,
      'treatments',
      treatment({ date: '2026-05-30', product: 'Heptavac P', animalIds: [ewes[0].id] }),
      id,
    );
    assert.equal(job('second').state, 'done');
    dose('2026-06-01', ewes.slice(1));
    assert.equal(db.jobs.filter((j) => j.source?.step === 'second').length, 2);
    const move = planJobBefore(db, {
      date: '2026-08-10',
      days: 14,
      animalIds: [ewes[1].id],
      title: 'Move to the lambing field',
      action: 'movement',
      toFieldId: 'fi-1',
    });
    assert.deepEqual([move.due, move.state, move.toFieldId], ['2026-07-27', 'open', 'fi-1']);
    assert.deepEqual(
      weekPlan(db, '2026-07-25').days.map((d) => d.jobs.length),
      [0, 0, 1, 0, 0, 0, 0],
    );
  });

  test('a voided dose opens again the job it did; a voided first dose voids what it planned', () => {
    const { db, ewes, dose, job } = flock();
    const first = dose('2026-03-01', ewes.slice(0, 2));
    const a = dose('2026-04-01', [ewes[0]]);
    const b = dose('2026-04-02', [ewes[1]]);
    const drop = (t) => {
      t.voided = { at: '2026-04-03 09:00', reason: 'wrong' };
      jobsAfterVoid(db, 'treatments', t.id, t.voided.at);
    };
    drop(b);
    assert.deepEqual(
      [job('second').state, job('second').doneIds, job('second').history],
      ['open', [ewes[0].id], []],
    );
    drop(first);
    assert.equal(job('second').voided, undefined, 'a job under way is kept');
    drop(a);
    assert.deepEqual(job('second').doneIds, []);
    assert.equal(job('booster').voided.reason, 'Its first dose was voided.');
  });

  test('undo of a first dose takes its planned jobs back, and redo brings them again; the file keeps them', () => {
    const { db, ewes } = flock();
    const store = createStore(db);
    const t = treatment({ date: '2026-03-01', product: 'Heptavac P', animalIds: [ewes[0].id] });
    delete t.id;
    store.apply({ label: 'dose', run: (d) => addRecordWithJobs(d, 'treatments', t) });
    assert.deepEqual([store.db.treatments.length, store.db.jobs.length], [1, 2]);
    store.undo();
    assert.deepEqual([store.db.treatments.length, store.db.jobs.length], [0, 0]);
    store.redo();
    const back = parseDatabase(store.text());
    assert.ok(back.ok, back.message);
    assert.equal(back.db.jobs.length, 2);
    assert.deepEqual(back.db.farm.productSchedules, db.farm.productSchedules);
    const bad = JSON.parse(store.text());
    bad.farm.productSchedules['Heptavac P'].secondFrom = 2.5;
    assert.equal(parseDatabase(JSON.stringify(bad)).ok, false);
  });
});

test('moves to lambing are planned a chosen number of days before each due day, once', () => {
  const [a, b, c] = ['E1', 'E2', 'E3'].map((tag) => animal({ tag, sex: 'female' }));
  const { db } = farm({ animals: [a, b, c] });
  const due = [
    { animalId: a.id, dueFrom: '2027-03-01' },
    { animalId: b.id, dueFrom: '2027-03-01' },
    { animalId: c.id, dueFrom: '2027-03-18' },
  ];
  const opts = { days: 7, toFieldId: 'f-lambing', title: 'Move to Lambing paddock' };
  const jobs = planMovesBeforeDue(db, due, opts);
  assert.deepEqual(
    jobs.map((j) => [j.due, j.animalIds.length, j.action, j.toFieldId]),
    [
      ['2027-02-22', 2, 'movement', 'f-lambing'],
      ['2027-03-11', 1, 'movement', 'f-lambing'],
    ],
  );
  assert.deepEqual(planMovesBeforeDue(db, due, opts), [], 'planned again, nothing new');
});
