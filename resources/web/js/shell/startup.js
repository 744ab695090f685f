// Deciding which records to open when the page starts.
//
// Inside the application the records come with the page, as they are on disk
// when the page starts loading. A save can still land just after a reload
// began, so the page keeps a small marker (database id and the revision last
// saved) in session storage: a copy older than the marker is never opened
// for editing, since saving it would throw away newer records. The page is
// then loaded once more; should the copy still be older, it locks.

import { decodeDatabaseBase64 } from '../core/base64.js';
import { emptyDatabase } from '../core/database.js';
import { parseDatabase } from '../core/checks.js';

export function chooseStartup({ injectedBase64, storedText, savedMarker, reloadedForMarker = false }) {
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
  let upgradedFrom;
  if (source !== undefined) {
    const parsed = parseDatabase(source);
    if (!parsed.ok) {
      return locked(parsed.kind === 'newer' ? 'newer' : 'damaged', parsed.message, {
        content: source,
        base64: false,
      });
    }
    current = parsed.db;
    upgradedFrom = parsed.upgradedFrom;
  }

  const marker = readMarker(savedMarker);
  if (marker && (!current || current.id !== marker.id || current.revision < marker.revision)) {
    if (!reloadedForMarker) return { mode: 'reload' };
    return locked(
      'stale',
      'This window was handed an older copy of the records than the one last saved. ' +
        'Nothing has been changed. Quit Field Keeper and start it again to see the latest records.',
      null,
    );
  }

  if (current) return { mode: 'open', db: current, savedRevision: current.revision, upgradedFrom };
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
