// Deciding which records to open when the page starts.
//
// Inside the application the records come with the page, as they were on disk
// when the window was made. A reload of the page hands over that same old
// copy, so the page also keeps in session storage the latest text it had and
// the revision last saved; with those it can tell whether the copy it was
// handed is older than what it already saved. An older copy is never opened
// for editing: saving it would throw away newer records.

import { decodeDatabaseBase64, emptyDatabase, parseDatabase } from './model.js';

export function chooseStartup({ injectedBase64, storedText, mirrorText, savedMarker }) {
  let source;
  if (injectedBase64 !== undefined) {
    const decoded = decodeDatabaseBase64(injectedBase64);
    if (!decoded.ok) {
      return locked('damaged', decoded.message, { content: injectedBase64, base64: true });
    }
    source = decoded.text;
  } else if (typeof storedText === 'string' && storedText !== '') {
    source = storedText;
  }

  let current = null;
  if (source !== undefined) {
    const parsed = parseDatabase(source);
    if (!parsed.ok) {
      return locked(parsed.kind === 'newer' ? 'newer' : 'damaged', parsed.message, { content: source, base64: false });
    }
    current = parsed.db;
  }

  const marker = readMarker(savedMarker);
  const mirror = mirrorText ? parseDatabase(mirrorText) : null;
  if (mirror?.ok && (!marker || (mirror.db.id === marker.id && mirror.db.revision >= marker.revision))) {
    const same = current && current.id === mirror.db.id && current.revision === mirror.db.revision;
    if (!same) {
      const onDisk = current && current.id === mirror.db.id ? current.revision : -1;
      return { mode: 'open', db: mirror.db, savedRevision: marker ? marker.revision : onDisk };
    }
  } else if (marker && (!current || current.id !== marker.id || current.revision < marker.revision)) {
    return locked('stale', 'This window was reloaded after newer records had been saved, and it was handed the older copy. ' +
      'Nothing has been changed. Quit Field Keeper and start it again to see the latest records.', null);
  }

  if (current) return { mode: 'open', db: current, savedRevision: current.revision };
  return { mode: 'fresh', db: emptyDatabase(), savedRevision: 0 };
}

function locked(reason, message, raw) {
  return { mode: 'locked', reason, message, raw };
}

function readMarker(text) {
  if (!text) return null;
  try {
    const m = JSON.parse(text);
    return m && typeof m.id === 'string' && Number.isInteger(m.revision) ? m : null;
  } catch {
    return null;
  }
}
