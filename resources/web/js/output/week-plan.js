// The week's plan for the farm office wall: one page, a day to a section,
// with what is still to do from before it at its head and a box to tick by each job.

import { composeDocument, headingBlock } from './print.js';
import { tagsOf } from '../core/lookups.js';
import { weekPlan, aboutText, repeatText } from '../rules/jobs.js';

const WEEKDAY = new Intl.DateTimeFormat('en-GB', {
  weekday: 'long',
  day: 'numeric',
  month: 'long',
  timeZone: 'UTC',
});
const dayName = (iso) => WEEKDAY.format(new Date(`${iso}T00:00:00Z`));
// Long lists of tags are cut, so that the week stays on one sheet.
const MAX_TAGS = 12;

export function weekPlanDocument(db, idx, { from, printedOn }) {
  const { overdue, days } = weekPlan(db, from);
  const about = (j) => {
    const tags = (ids) => {
      const all = tagsOf(idx, ids);
      return all.length > MAX_TAGS ? [...all.slice(0, MAX_TAGS), `and ${all.length - MAX_TAGS} more`] : all;
    };
    return aboutText(db, j, tags);
  };
  const columns = [
    { label: 'Done', weight: 0.35 },
    { label: 'Job', weight: 2 },
    { label: 'For', weight: 2.2 },
    { label: 'Note', weight: 1.6 },
  ];
  const row = (j, late) => [
    '☐',
    [
      j.title,
      late ? ` (was due ${j.due})` : '',
      j.until ? ` (by ${j.until})` : '',
      j.repeat ? `, ${repeatText(j.repeat)}` : '',
    ].join(''),
    about(j),
    j.note,
  ];
  const blocks = [];
  if (overdue.length)
    blocks.push(headingBlock('Still to do from before'), { columns, rows: overdue.map((j) => row(j, true)) });
  for (const d of days) {
    blocks.push(headingBlock(dayName(d.date)));
    blocks.push({ columns, rows: d.jobs.map((j) => row(j, false)), empty: 'Nothing planned.' });
  }
  return composeDocument({
    title: 'Week’s plan',
    farm: db.farm,
    printedOn,
    subtitle: `${dayName(days[0].date)} to ${dayName(days[6].date)}`,
    blocks,
  });
}
