// Base64 and UTF-8: how the shell hands the saved file over, and how a raw
// copy of it is offered back unchanged.

export function base64ToBytes(b64) {
  const bin = atob(b64);
  const bytes = new Uint8Array(bin.length);
  for (let i = 0; i < bin.length; i++) bytes[i] = bin.charCodeAt(i);
  return bytes;
}

export function bytesToBase64(bytes) {
  let bin = '';
  const CHUNK = 0x8000;
  for (let i = 0; i < bytes.length; i += CHUNK) {
    bin += String.fromCharCode.apply(null, bytes.subarray(i, i + CHUNK));
  }
  return btoa(bin);
}

export function decodeUtf8(bytes) {
  return new TextDecoder('utf-8', { fatal: true }).decode(bytes);
}

// The database handed over by the shell: Base64 of the file's bytes, which
// are UTF-8 text. atob alone would turn every accent into mojibake.
export function decodeDatabaseBase64(b64) {
  let bytes;
  try {
    bytes = base64ToBytes(b64);
  } catch {
    return {
      ok: false,
      kind: 'encoding',
      message: 'The saved records arrived in a damaged form (not Base64).',
    };
  }
  try {
    return { ok: true, text: decodeUtf8(bytes) };
  } catch {
    return {
      ok: false,
      kind: 'encoding',
      message: 'The saved records file is not UTF-8 text; it may be damaged.',
    };
  }
}
