// How many of one kind of thing (selected points, ghosts, handles, mesh
// edges, ghost edges, the overlay's lines and circles) fall in each cell of a
// view, counted on the page from the arrays it draws from, by the pictures'
// rule: past MOST_POINTS points or MOST_LINES lines within DENSITY_REACH
// pixels of the view, that kind is drawn as a density layer of CELL_PIXELS
// cells in SHADES shades (view_index.js's shadeOf) instead of one by one.
// A line counts once in every cell it crosses, sampled at half cells.
import { screenProjector } from './geometry.js';
import { CELL_PIXELS } from './screen_grid.js';
import { DENSITY_REACH, MOST_POINTS, shadeOf } from './view_index.js';

export const MOST_LINES = 8000;
const INVERSE_CELL = 1 / CELL_PIXELS;
export { MOST_POINTS };

// The view as seen from model positions kept relative to `origin` (the
// renderer's buffers), so that the same projector reads them directly.
export function shiftedView(view, origin) {
  const shift = (p) => [p[0] - origin[0], p[1] - origin[1], p[2] - origin[2]];
  return view.kind === 'ortho' ? { ...view, center: shift(view.center) } : { ...view, target: shift(view.target) };
}

export class DensityCounter {
  constructor(view) {
    this.project = screenProjector(view);
    this.width = view.width;
    this.height = view.height;
    this.columns = Math.ceil(view.width / CELL_PIXELS);
    this.rows = Math.ceil(view.height / CELL_PIXELS);
    this.counts = new Int32Array(this.columns * this.rows);
    this.inView = 0;
    const { right, up } = view.axes;
    this.right = right;
    this.up = up;
    this.a = [0, 0];
    this.b = [0, 0];
  }

  addPoint(sx, sy) {
    const r = DENSITY_REACH;
    if (!(sx >= -r && sx <= this.width + r && sy >= -r && sy <= this.height + r)) return;
    this.inView++;
    const column = Math.floor(sx / CELL_PIXELS);
    const row = Math.floor(sy / CELL_PIXELS);
    if (column >= 0 && row >= 0 && column < this.columns && row < this.rows) this.counts[row * this.columns + column]++;
  }

  addLine(ax, ay, bx, by) {
    // (x - x is 0 for every number but NaN and the infinities.)
    if (!(ax - ax === 0 && ay - ay === 0 && bx - bx === 0 && by - by === 0)) return;
    const r = DENSITY_REACH;
    if (!((ax >= -r || bx >= -r) && (ax <= this.width + r || bx <= this.width + r))) return;
    if (!((ay >= -r || by >= -r) && (ay <= this.height + r || by <= this.height + r))) return;
    this.inView++;
    const { columns, rows, counts } = this;
    const w = columns * CELL_PIXELS;
    const h = rows * CELL_PIXELS;
    let fx = ax;
    let fy = ay;
    let gx = bx;
    let gy = by;
    if (!(ax >= 0 && ay >= 0 && ax < w && ay < h && bx >= 0 && by >= 0 && bx < w && by < h)) {
      // Cut to the cells (Liang-Barsky).
      const du = bx - ax;
      const dv = by - ay;
      let t0 = 0;
      let t1 = 1;
      for (let side = 0; side < 4; side++) {
        const p = side === 0 ? -du : side === 1 ? du : side === 2 ? -dv : dv;
        const q = side === 0 ? ax : side === 1 ? w - ax : side === 2 ? ay : h - ay;
        if (p === 0) {
          if (q < 0) return;
        } else if (p < 0) t0 = Math.max(t0, q / p);
        else t1 = Math.min(t1, q / p);
      }
      if (!(t0 <= t1)) return;
      fx = ax + du * t0;
      fy = ay + dv * t0;
      gx = ax + du * t1;
      gy = ay + dv * t1;
    }
    // Every cell crossed once, sampled at half cells.
    const cellAt = (x, y) => {
      // (Non-negative, so truncating is flooring.)
      const column = x <= 0 ? 0 : Math.min(columns - 1, (x * INVERSE_CELL) | 0);
      const row = y <= 0 ? 0 : Math.min(rows - 1, (y * INVERSE_CELL) | 0);
      return row * columns + column;
    };
    const first = cellAt(fx, fy);
    const end = cellAt(gx, gy);
    counts[first]++;
    if (end === first) return;
    const dx = gx - fx;
    const dy = gy - fy;
    const steps = Math.ceil(Math.sqrt(dx * dx + dy * dy) / (CELL_PIXELS / 2));
    let last = first;
    for (let i = 1; i <= steps; i++) {
      const cell = i === steps ? end : cellAt(fx + (dx * i) / steps, fy + (dy * i) / steps);
      if (cell !== last) counts[cell]++;
      last = cell;
    }
  }

  // Points of flat (three numbers a point), those `index` names or all; a NaN is no point.
  points(flat, index = null, count = index ? index.length : Math.floor(flat.length / 3)) {
    const s = this.a;
    for (let k = 0; k < count; k++) {
      const i = index ? index[k] : k;
      if (this.project(flat[3 * i], flat[3 * i + 1], flat[3 * i + 2], s)) this.addPoint(s[0], s[1]);
    }
    return this;
  }

  // Lines between the points of flat that `pairs` names two by two.
  lines(flat, pairs) {
    const { a, b } = this;
    for (let k = 0; k + 1 < pairs.length; k += 2) {
      const i = pairs[k];
      const j = pairs[k + 1];
      if (this.project(flat[3 * i], flat[3 * i + 1], flat[3 * i + 2], a) && this.project(flat[3 * j], flat[3 * j + 1], flat[3 * j + 2], b))
        this.addLine(a[0], a[1], b[0], b[1]);
    }
    return this;
  }

  // A model point plus an offset at a fixed size on the screen (`pixels` a unit), into `out`.
  placed(anchor, rel, k, pixels, out) {
    if (!this.project(anchor[3 * k], anchor[3 * k + 1], anchor[3 * k + 2], out)) return false;
    const rx = rel[3 * k];
    const ry = rel[3 * k + 1];
    const rz = rel[3 * k + 2];
    if (rx !== 0 || ry !== 0 || rz !== 0) {
      const { right, up } = this;
      out[0] += (rx * right[0] + ry * right[1] + rz * right[2]) * pixels;
      out[1] -= (rx * up[0] + ry * up[1] + rz * up[2]) * pixels;
    }
    return true;
  }

  // The overlay's segments (overlay_model.js: an anchor and a relative offset at each end).
  // A segment that starts where the one before it ended (a path's next
  // line) reuses that end's screen position.
  segments(model, pixels, count = model.segDashed.length) {
    const { a, b } = this;
    const { segA, segARel, segB, segBRel } = model;
    let bOk = false;
    for (let k = 0; k < count; k++) {
      const i = 3 * k;
      const j = i - 3;
      const same =
        k > 0 &&
        segA[i] === segB[j] && segA[i + 1] === segB[j + 1] && segA[i + 2] === segB[j + 2] &&
        segARel[i] === segBRel[j] && segARel[i + 1] === segBRel[j + 1] && segARel[i + 2] === segBRel[j + 2];
      let aOk;
      if (same) {
        a[0] = b[0];
        a[1] = b[1];
        aOk = bOk;
      } else aOk = this.placed(segA, segARel, k, pixels, a);
      bOk = this.placed(segB, segBRel, k, pixels, b);
      if (aOk && bOk) this.addLine(a[0], a[1], b[0], b[1]);
    }
    return this;
  }

  // The overlay's circles, by their centres.
  circles(model, pixels, count = model.circleDashed.length) {
    const s = this.a;
    for (let k = 0; k < count; k++) if (this.placed(model.circleAnchor, model.circleRel, k, pixels, s)) this.addPoint(s[0], s[1]);
    return this;
  }

  // The layer past `most` in view ({ columns, rows, shades }), or null to draw one by one.
  layer(most) {
    if (this.inView <= most) return null;
    const shades = new Uint8Array(this.counts.length);
    for (let c = 0; c < shades.length; c++) shades[c] = shadeOf(this.counts[c]);
    return { columns: this.columns, rows: this.rows, shades };
  }
}
