// A small line chart of one animal's weights, as SVG text, so that the page
// and the printed record card draw the same picture.

import { daysBetween } from '../core/dates.js';
import { escapeHtml } from './html.js';

// Round steps (1, 2 or 5 times a power of ten) giving about four grid lines.
export function niceTicks(min, max, want = 4) {
  if (min === max) {
    min -= 1;
    max += 1;
  }
  const raw = (max - min) / want;
  const pow = 10 ** Math.floor(Math.log10(raw));
  const step = [1, 2, 5, 10].map((m) => m * pow).find((s) => s >= raw);
  const ticks = [];
  for (let v = Math.floor(min / step) * step; v <= max + step * 1e-9; v += step)
    ticks.push(Number(v.toFixed(6)));
  if (ticks[ticks.length - 1] < max) ticks.push(Number((ticks[ticks.length - 1] + step).toFixed(6)));
  return ticks;
}

const fmt = (n) => (Number.isInteger(n) ? String(n) : n.toFixed(1));

// weights: [{date, kg}] in date order.
export function weightChartSvg(weights, { width = 560, height = 220, title = 'Weights' } = {}) {
  const pts = weights.filter((w) => w.kg > 0);
  const [first, last] = [pts[0], pts[pts.length - 1]];
  const summary = pts.length
    ? `${title}: ${pts.length} weighing${pts.length === 1 ? '' : 's'} from ${first.date} (${fmt(first.kg)} kg)` +
      ` to ${last.date} (${fmt(last.kg)} kg)`
    : `${title}: no weights recorded`;
  const head = `<svg xmlns="http://www.w3.org/2000/svg" class="weight-chart" viewBox="0 0 ${width} ${height}" role="img" aria-label="${escapeHtml(summary)}"><title>${escapeHtml(summary)}</title>`;
  if (!pts.length) {
    return `${head}<text x="${width / 2}" y="${height / 2}" text-anchor="middle" class="chart-empty">No weights recorded yet</text></svg>`;
  }
  const left = 48,
    right = 16,
    top = 14,
    bottom = 30;
  const w = width - left - right,
    h = height - top - bottom;
  const kgs = pts.map((p) => p.kg);
  const ticks = niceTicks(Math.min(...kgs), Math.max(...kgs));
  const lo = ticks[0],
    hi = ticks[ticks.length - 1];
  const span = Math.max(1, daysBetween(pts[0].date, pts[pts.length - 1].date));
  const x = (p) => left + (pts.length === 1 ? w / 2 : (daysBetween(pts[0].date, p.date) / span) * w);
  const y = (kg) => top + h - ((kg - lo) / (hi - lo)) * h;
  let out = head;
  for (const t of ticks) {
    const ty = y(t).toFixed(1);
    out += `<line class="chart-grid" x1="${left}" x2="${left + w}" y1="${ty}" y2="${ty}"/>`;
    out += `<text class="chart-label" x="${left - 6}" y="${ty}" text-anchor="end" dominant-baseline="middle">${fmt(t)}</text>`;
  }
  out += `<text class="chart-label" x="${left}" y="${height - 8}">${pts[0].date}</text>`;
  if (pts.length > 1)
    out += `<text class="chart-label" x="${left + w}" y="${height - 8}" text-anchor="end">${pts[pts.length - 1].date}</text>`;
  const line = pts.map((p) => `${x(p).toFixed(1)},${y(p.kg).toFixed(1)}`).join(' ');
  if (pts.length > 1) out += `<polyline class="chart-line" fill="none" points="${line}"/>`;
  for (const p of pts) {
    out += `<circle class="chart-point" cx="${x(p).toFixed(1)}" cy="${y(p.kg).toFixed(1)}" r="3.5"><title>${p.date}: ${fmt(p.kg)} kg</title></circle>`;
  }
  return out + '</svg>';
}
