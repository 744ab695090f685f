// A change made to the live records through a journal instead of a copy of
// them: every property set or deleted on anything reached from the records
// is written down with its old value, so the change can be taken back
// exactly (when it throws, or for Undo) and made again (Redo), at a cost that
// follows what changed, not the size of the farm.
//
// A change sees the records through proxies and must reach what it changes
// through them: an object it keeps a plain reference to (one it made itself
// and stored, say) is journaled only for the writes made through the
// records. Searches of a top-level list (find, findIndex, some, every,
// filter) test its elements plainly, a proxy for each costing more than the
// test: a test must only read. Reading the records plainly (`plain`) is as
// safe, and the way to scan a whole farm.

const RAW = Symbol('raw');
const SEARCHES = new Set(['find', 'findIndex', 'some', 'every', 'filter', 'includes', 'indexOf']);

// The records' own object behind a proxy of the journal (or the object itself).
export const plain = (v) => (v !== null && typeof v === 'object' && v[RAW]) || v;
const own = (o, k) => Object.prototype.hasOwnProperty.call(o, k);
const isIndex = (k) => typeof k === 'string' && k !== '' && String(k >>> 0) === k;

// What is stored must be the records' own objects, never proxies of them.
function unwrap(v) {
  if (v === null || typeof v !== 'object') return v;
  const raw = v[RAW];
  if (raw) return raw;
  for (const k of Object.keys(v)) {
    const c = v[k];
    if (c === null || typeof c !== 'object') continue;
    const u = unwrap(c);
    if (u !== c) v[k] = u;
  }
  return v;
}

// Opens a journal on `root`. What it answers:
//   root       the records to change, through proxies
//   steps      [target, key, had, old, has, value], in order
//   touched    top-level key -> { replaced (with what it `was` and is
//              `now`), positions: Set of list indices set or deleted,
//              records: Set of the list's elements changed inside, or taken
//              out of it or put in }
// `onTouch(key, record)` is called once for each such record, before its
// first change, so that what it was can be read.
export function openJournal(root, onTouch = () => {}) {
  const steps = [];
  const touched = new Map();
  let open = true;
  // A Map, not a WeakMap: the journal lives for one change, and a WeakMap of
  // a whole farm's records is slow to collect.
  const proxies = new Map();
  const entry = (key) => {
    let t = touched.get(key);
    if (!t) touched.set(key, (t = { replaced: false, positions: new Set(), records: new Set() }));
    return t;
  };
  const touch = (key, rec) => {
    if (rec === null || typeof rec !== 'object') return;
    const t = entry(key);
    if (t.records.has(rec)) return;
    onTouch(key, rec);
    t.records.add(rec);
  };
  // Where a write lands: on the records themselves, on a top-level list, or
  // inside one of its elements.
  const mark = (at, target, k, value) => {
    if (at.top === null) {
      const t = entry(k);
      if (!t.replaced) t.was = target[k];
      t.now = value;
      t.replaced = true;
    } else if (at.record === null) {
      if (Array.isArray(target) && isIndex(k)) {
        entry(at.top).positions.add(Number(k));
        touch(at.top, target[k]);
        touch(at.top, value);
      } else if (Array.isArray(target)) entry(at.top);
      else entry(at.top).replaced = true;
    } else touch(at.top, at.record);
  };
  const write = (at, target, k, has, value) => {
    const had = own(target, k);
    const old = target[k];
    if (had === has && old === value) return;
    mark(at, target, k, value);
    // An element past the end lengthens its list: the length goes back too.
    if (Array.isArray(target) && isIndex(k) && Number(k) >= target.length)
      steps.push([target, 'length', true, target.length, true, Number(k) + 1]);
    steps.push([target, k, had, old, has, value]);
    if (has) target[k] = value;
    else delete target[k];
  };
  // One handler for every proxy, and where each target sits kept beside it:
  // a farm-wide search through the records makes a proxy for every record.
  const places = new Map();
  const placeOf = (t) => {
    if (!open) throw new Error('The records are reached through a change only while it is being made.');
    return places.get(t);
  };
  const handler = {
    get(t, k) {
      if (k === RAW) return t;
      const v = t[k];
      const at = placeOf(t);
      if (typeof v === 'function' && at.top !== null && at.record === null && SEARCHES.has(k))
        return search(t, k);
      // Written down as the generic push would, without a trap per step:
      // an import pushes thousands.
      if (k === 'push' && at.top !== null && at.record === null && Array.isArray(t))
        return (...items) => {
          for (const item of items) write(at, t, String(t.length), true, unwrap(item));
          return t.length;
        };
      if (v === null || typeof v !== 'object') return v;
      if (at.top === null) return wrap(v, { top: k, record: null });
      if (at.record === null && Array.isArray(t) && isIndex(k)) return wrap(v, { top: at.top, record: v });
      return wrap(v, at);
    },
    set(t, k, v) {
      const at = placeOf(t);
      const value = unwrap(v);
      // A list cut short loses its tail one element at a time, so that each comes back.
      if (Array.isArray(t) && k === 'length')
        for (let i = t.length - 1; i >= value; i--) write(at, t, String(i), false, undefined);
      write(at, t, k, true, value);
      return true;
    },
    deleteProperty(t, k) {
      if (own(t, k)) write(placeOf(t), t, k, false, undefined);
      return true;
    },
    defineProperty(t, k, d) {
      if (!('value' in d)) throw new TypeError('Records hold plain values only.');
      write(placeOf(t), t, k, true, unwrap(d.value));
      return true;
    },
  };
  const search = (t, k) => {
    const p = proxies.get(t);
    if (k === 'find')
      return (f, self) => {
        const i = t.findIndex(f, self);
        return i < 0 ? undefined : p[i];
      };
    if (k === 'filter')
      return (f, self) => {
        const out = [];
        t.forEach((v, i) => f.call(self, v, i, t) && out.push(p[i]));
        return out;
      };
    if (k === 'includes' || k === 'indexOf') return (v, from) => t[k](plain(v), from);
    return (f, self) => t[k](f, self);
  };
  const wrap = (target, at) => {
    let p = proxies.get(target);
    if (!p) {
      proxies.set(target, (p = new Proxy(target, handler)));
      places.set(target, at);
    }
    return p;
  };
  return {
    root: wrap(root, { top: null, record: null }),
    steps,
    touched,
    unwrap,
    close() {
      open = false;
      proxies.clear();
      places.clear();
    },
  };
}

// Takes the journaled writes back, newest first.
export function undoSteps(steps) {
  for (let i = steps.length - 1; i >= 0; i--) {
    const [target, k, had, old] = steps[i];
    if (had) target[k] = old;
    else delete target[k];
  }
}

// Makes them again, oldest first, on the records as they were before them.
export function redoSteps(steps) {
  for (const [target, k, , , has, value] of steps) {
    if (has) target[k] = value;
    else delete target[k];
  }
}
