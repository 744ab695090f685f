// The records as the text the shell saves.

import { COLLECTIONS } from './database.js';

export function serialiseDatabase(db) {
  return JSON.stringify(db);
}

// A text made by concatenation is a rope, copied together in one piece the
// first time it is read through: reading it here does that ahead of need.
// A JSON text holds no raw control character, so the search reads it all.
export function flattened(text) {
  text.indexOf('\u0001');
  return text;
}

// The saved text, rebuilt only where it changed: each list is kept as blocks
// of JSON text, and a record added at the end of a list re-makes only its
// last block. A record changed, put in or taken out elsewhere must be told
// (changed), or everything forgotten (reset), since it would otherwise keep
// its old text. A list replaced by another is made again whole. The result
// is JSON.stringify(db).
export function blockSerialiser(blockSize = 500) {
  let blocks = new Map(); // list name -> { list, texts: [] }
  const cacheOf = (name, list) => {
    let c = blocks.get(name);
    if (!c || c.list !== list) blocks.set(name, (c = { list, texts: [] }));
    c.texts.length = Math.min(c.texts.length, Math.ceil(list.length / blockSize));
    return c;
  };
  // A block is one flat string (join makes it so); the texts around the
  // blocks are only concatenated, which leaves the engine a rope that is
  // copied out once, when the text is handed to the shell, instead of once
  // for every join.
  const make = (c, b) => {
    const records = [];
    for (let i = b * blockSize; i < Math.min(c.list.length, (b + 1) * blockSize); i++)
      records.push(JSON.stringify(c.list[i]));
    c.texts[b] = records.join(',');
  };
  const listText = (name, list) => {
    const c = cacheOf(name, list);
    const n = Math.ceil(list.length / blockSize);
    let s = '[';
    for (let b = 0; b < n; b++) {
      if (c.texts[b] === undefined) make(c, b);
      s = b ? s + ',' + c.texts[b] : s + c.texts[b];
    }
    return s + ']';
  };
  return {
    text(db) {
      let s = '{';
      for (const [k, v] of Object.entries(db)) {
        if (v === undefined || typeof v === 'function') continue;
        const value = COLLECTIONS.includes(k) && Array.isArray(v) ? listText(k, v) : JSON.stringify(v);
        s = s + (s.length > 1 ? ',' : '') + JSON.stringify(k) + ':' + value;
      }
      return s + '}';
    },
    // Records were added at the end of `name` since the last text.
    appended(name, list) {
      const c = blocks.get(name);
      if (c && c.list === list)
        c.texts.length = Math.min(c.texts.length, Math.floor(Math.max(0, list.length - 1) / blockSize));
    },
    // The records at `positions` of `name` were set, put in or taken out.
    changed(name, list, positions) {
      const c = blocks.get(name);
      if (c && c.list === list) for (const i of positions) c.texts[Math.floor(i / blockSize)] = undefined;
    },
    reset() {
      blocks = new Map();
    },
    // Makes blocks ahead of the save until `budgetMs` has passed; true while
    // some are still missing. Run in short tasks, so that the save itself
    // only joins them.
    warm(db, budgetMs = 8, now = () => performance.now()) {
      const end = now() + budgetMs;
      for (const name of COLLECTIONS) {
        const list = db[name];
        if (!Array.isArray(list)) continue;
        const c = cacheOf(name, list);
        const n = Math.ceil(list.length / blockSize);
        for (let b = 0; b < n; b++) {
          if (c.texts[b] !== undefined) continue;
          if (now() > end) return true;
          make(c, b);
        }
      }
      return false;
    },
  };
}
