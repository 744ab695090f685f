// "From a reader file…": the animals of a job taken from the EIDs (or tags)
// an electronic-ID reader saved at the race. Numbers not on record are
// listed beside the box, by line, so that none is lost without a word.

import { h, nextId } from './dom.js';
import { decodeUtf8 } from '../core/base64.js';
import { parseCsv } from '../rules/import.js';
import { animalsFromLines } from '../rules/eid.js';

const SHOWN = 40;

export async function readReaderFile(file, idx) {
  let parsed;
  try {
    parsed = parseCsv(decodeUtf8(new Uint8Array(await file.arrayBuffer())));
  } catch {
    return { error: `“${file.name}” is not UTF-8 text.` };
  }
  if (!parsed.ok) return { error: `“${file.name}” cannot be read: ${parsed.message}` };
  return animalsFromLines(parsed.rows, idx);
}

export function describeRead(name, { animals, unknown, error }) {
  if (error) return error;
  const found = `${animals.length} animal${animals.length === 1 ? '' : 's'} from “${name}”.`;
  if (!unknown.length) return found;
  const list = unknown
    .slice(0, SHOWN)
    .map((u) => `line ${u.line}: ${u.text}`)
    .join('; ');
  const more = unknown.length > SHOWN ? `; and ${unknown.length - SHOWN} more` : '';
  return `${found} Not on this farm’s records, so not in the list (${unknown.length}): ${list}${more}.`;
}

// `onAnimals(animals)` is given the animals found, in the file's order.
export function readerFileField(app, onAnimals, { key = 'reader-file', label = 'From a reader file…' } = {}) {
  const id = nextId(key);
  const status = h('p', { class: 'hint', role: 'status', id: `${id}-read`, 'data-reader-result': '' });
  const input = h('input', {
    id,
    type: 'file',
    accept: '.csv,.txt,text/csv,text/plain',
    'data-key': key,
    'aria-describedby': status.id,
    onchange: async (ev) => {
      const file = ev.target.files[0];
      ev.target.value = '';
      if (!file) return;
      const read = await readReaderFile(file, app.idx);
      status.textContent = describeRead(file.name, read);
      status.classList.toggle('warn', !!(read.error || read.unknown.length));
      if (!read.error) onAnimals(read.animals);
    },
  });
  return h('div', { class: 'form-field reader-file' }, h('label', { for: id }, label), input, status);
}
