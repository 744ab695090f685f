// Dates as yyyy-mm-dd texts, the way the records keep them, and date-times
// on the computer's clock.

const ISO_DATE = /^(\d{4})-(\d{2})-(\d{2})$/;
const DAY_MS = 86400000;
const pad2 = (n) => String(n).padStart(2, '0');

function daysInMonth(y, m) {
  const leap = (y % 4 === 0 && y % 100 !== 0) || y % 400 === 0;
  return [31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31][m - 1];
}

// Years are kept to a plausible range so that adding a withdrawal period can
// never leave the four-digit form.
export function isIsoDate(s) {
  if (typeof s !== 'string') return false;
  const m = ISO_DATE.exec(s);
  if (!m) return false;
  const y = +m[1],
    mo = +m[2],
    d = +m[3];
  return y >= 1800 && y <= 2999 && mo >= 1 && mo <= 12 && d >= 1 && d <= daysInMonth(y, mo);
}

// Day arithmetic goes through UTC day numbers: local midnight arithmetic
// would lose or gain a day across daylight-saving changes.
function dayNumber(iso) {
  const [y, m, d] = iso.split('-').map(Number);
  return Math.round(Date.UTC(y, m - 1, d) / DAY_MS);
}

function fromDayNumber(n) {
  const dt = new Date(n * DAY_MS);
  return `${dt.getUTCFullYear()}-${pad2(dt.getUTCMonth() + 1)}-${pad2(dt.getUTCDate())}`;
}

export function addDays(iso, n) {
  return fromDayNumber(dayNumber(iso) + n);
}

export function daysBetween(fromIso, toIso) {
  return dayNumber(toIso) - dayNumber(fromIso);
}

export function localIsoDate(date = new Date()) {
  return `${date.getFullYear()}-${pad2(date.getMonth() + 1)}-${pad2(date.getDate())}`;
}

// "yyyy-mm-dd hh:mm" on the computer's clock; such texts sort in time order.
export function localDateTime(date = new Date()) {
  return `${localIsoDate(date)} ${pad2(date.getHours())}:${pad2(date.getMinutes())}`;
}

export function isTime(s) {
  return typeof s === 'string' && /^([01]\d|2[0-3]):[0-5]\d$/.test(s);
}

// Elapsed hours, not clock hours: a medicine leaves the body at its own pace
// whatever the clocks do, so 48 hours over a daylight-saving change may end
// at 21:00 by the clock when it started at 20:00.
export function addHoursLocal(date, time, hours) {
  const [y, m, d] = date.split('-').map(Number);
  const [hh, mm] = time.split(':').map(Number);
  return localDateTime(new Date(new Date(y, m - 1, d, hh, mm).getTime() + hours * 3600000));
}

// The end of a period of `hours` from a local date and time, never early: the
// later of the elapsed hours and the same clock reading that many hours on,
// so neither daylight-saving change shortens it (forward, the elapsed hours
// end an hour later by the clock; back, the clock reading is an hour later).
export function periodEndLocal(date, time, hours) {
  const [y, m, d] = date.split('-').map(Number);
  const [hh, mm] = time.split(':').map(Number);
  const dt = new Date(Date.UTC(y, m - 1, d, hh, mm) + hours * 3600000);
  const clock = `${dt.toISOString().slice(0, 10)} ${pad2(dt.getUTCHours())}:${pad2(dt.getUTCMinutes())}`;
  const elapsed = addHoursLocal(date, time, hours);
  return elapsed > clock ? elapsed : clock;
}

// Dated records newest first, a day's records in their order in the list (as
// a stable sort by date would give them). Sorted as numbers: a large farm's
// lists are long, and comparing dates as text is many times slower.
export function newestFirst(list) {
  const n = list.length;
  const byText = () => list.slice().sort((a, b) => (a.date < b.date ? 1 : a.date > b.date ? -1 : 0));
  if (n >= 1e6) return byText();
  const keys = new Float64Array(n);
  for (let i = 0; i < n; i++) {
    const day = dayKey(list[i].date);
    if (day < 0) return byText();
    keys[i] = day * 1e6 + (n - 1 - i);
  }
  keys.sort();
  const out = new Array(n);
  for (let i = 0; i < n; i++) out[i] = list[n - 1 - (keys[n - 1 - i] % 1e6)];
  return out;
}

// yyyymmdd of a "yyyy-mm-dd" text as a number, or -1.
function dayKey(s) {
  if (typeof s !== 'string' || s.length !== 10 || s[4] !== '-' || s[7] !== '-') return -1;
  let k = 0;
  for (let i = 0; i < 10; i++) {
    if (i === 4 || i === 7) continue;
    const c = s.charCodeAt(i) - 48;
    if (c < 0 || c > 9) return -1;
    k = k * 10 + c;
  }
  return k;
}
