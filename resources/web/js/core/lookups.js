// What the index answers about one animal: found by a tag, its parents, the
// names of its field and tags.

import { normaliseTag } from './text.js';

// the one that carried it before, or the one whose electronic ID it is.
export function findByTag(idx, tag) {
  const k = normaliseTag(tag);
  return idx.byTag.get(k) || idx.byFormerTag.get(k) || idx.byEid?.get(k.replace(/[\s-]/g, '')) || null;
}

// One source of parentage: the birth record when the animal was born here,
// otherwise what was typed on the animal.
export function parentsOf(idx, a) {
  const b = idx.birthOf.get(a.id);
  if (b)
    return {
      birth: b,
      dam: idx.animalsById.get(b.damId) || null,
      damText: idx.animalsById.get(b.damId)?.tag ?? '',
      sire: b.sire,
    };
  const dam = a.dam ? findByTag(idx, a.dam) : null;
  return { birth: null, dam, damText: a.dam, sire: a.sire };
}

export function fieldName(idx, fieldId) {
  const f = fieldId && idx.fieldsById.get(fieldId);
  return f ? f.name : '';
}

export function formerTags(a) {
  return (a.tagHistory || []).map((c) => c.from);
}

export function tagsOf(idx, ids) {
  const out = [];
  for (const id of ids) {
    const a = idx.animalsById.get(id);
    if (a) out.push(a.tag);
  }
  return out;
}
