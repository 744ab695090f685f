// Every text that goes into composed markup (printed documents, the weight
// chart) is escaped here, so that a name like "Tom & Jerry <2>" stays text.

export function escapeHtml(s) {
  return String(s).replace(
    /[&<>"']/g,
    (c) => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;', "'": '&#39;' })[c],
  );
}
