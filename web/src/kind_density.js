// How many of one kind of thing (selected points, ghosts, handles, mesh
// edges, ghost edges, the overlay's lines and circles) fall in each cell of a
// view, counted on the page from the arrays it draws from, by the pictures'
// rule: past MOST_POINTS points or MOST_LINES lines within DENSITY_REACH
// pixels of the view, that kind is drawn as a density layer of CELL_PIXELS
// cells in SHADES shades (view_index.js's shadeOf) instead of one by one.
// A line counts once in every cell it crosses, sampled at half cells.
import { clipSegment } from './geometry.js';
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
    this.width = view.width;
    this.height = view.height;
    this.columns = Math.ceil(view.width / CELL_PIXELS);
    this.rows = Math.ceil(view.height / CELL_PIXELS);
    this.counts = new Int32Array(this.columns * this.rows);
    this.inView = 0;
    this.range = [0, 1];  // a line's part inside the cells, from clipSegment
    const { right, up, forward } = view.axes;
    this.right = right;
    this.up = up;
    // The projection's numbers (geometry.js's screenProjector, whose
    // operations at() repeats in the same order, so that the positions are
    // the same to the last bit), kept as fields: the loops below project
    // inline instead of through a closure and an array.
    [this.r0, this.r1, this.r2] = right;
    [this.u0, this.u1, this.u2] = up;
    [this.f0, this.f1, this.f2] = forward;
    this.halfW = view.width / 2;
    this.halfH = view.height / 2;
    this.ortho = view.kind === 'ortho';
    if (this.ortho) {
      [this.e0, this.e1, this.e2] = view.center;
      this.scale = view.pixelsPerUnit;
      this.near = 0;
    } else {
      this.e0 = view.target[0] - this.f0 * view.distance;
      this.e1 = view.target[1] - this.f1 * view.distance;
      this.e2 = view.target[2] - this.f2 * view.distance;
      this.near = view.distance * 1e-6;
      this.scale = view.height / 2 / Math.tan(view.fovY / 2);
    }
    // The last screen position at(): sx, sy.
    this.sx = 0;
    this.sy = 0;
  }

  // The screen position of a model point into sx, sy; false behind a perspective view's eye.
  at(x, y, z) {
    const d0 = x - this.e0;
    const d1 = y - this.e1;
    const d2 = z - this.e2;
    if (this.ortho) {
      this.sx = this.halfW + (d0 * this.r0 + d1 * this.r1 + d2 * this.r2) * this.scale;
      this.sy = this.halfH - (d0 * this.u0 + d1 * this.u1 + d2 * this.u2) * this.scale;
      return true;
    }
    const depth = d0 * this.f0 + d1 * this.f1 + d2 * this.f2;
    if (depth <= this.near) return false;
    this.sx = this.halfW + ((d0 * this.r0 + d1 * this.r1 + d2 * this.r2) / depth) * this.scale;
    this.sy = this.halfH - ((d0 * this.u0 + d1 * this.u1 + d2 * this.u2) / depth) * this.scale;
    return true;
  }

  addPoint(sx, sy) {
    const r = DENSITY_REACH;
    if (!(sx >= -r && sx <= this.width + r && sy >= -r && sy <= this.height + r)) return;
    this.inView++;
    const column = Math.floor(sx / CELL_PIXELS);
    const row = Math.floor(sy / CELL_PIXELS);
    if (column >= 0 && row >= 0 && column < this.columns && row < this.rows) this.counts[row * this.columns + column]++;
  }

  // The cell of a screen position inside the cells' rectangle, or on its edge.
  cellAt(x, y) {
    // (Non-negative, so truncating is flooring.)
    const column = x <= 0 ? 0 : Math.min(this.columns - 1, (x * INVERSE_CELL) | 0);
    const row = y <= 0 ? 0 : Math.min(this.rows - 1, (y * INVERSE_CELL) | 0);
    return row * this.columns + column;
  }

  addLine(ax, ay, bx, by) {
    const { columns, rows, counts } = this;
    const w = columns * CELL_PIXELS;
    const h = rows * CELL_PIXELS;
    let fx = ax;
    let fy = ay;
    let gx = bx;
    let gy = by;
    if (!(ax >= 0 && ay >= 0 && ax < w && ay < h && bx >= 0 && by >= 0 && bx < w && by < h)) {
      // (x - x is 0 for every number but NaN and the infinities.)
      if (!(ax - ax === 0 && ay - ay === 0 && bx - bx === 0 && by - by === 0)) return;
      const r = DENSITY_REACH;
      if (!((ax >= -r || bx >= -r) && (ax <= this.width + r || bx <= this.width + r))) return;
      if (!((ay >= -r || by >= -r) && (ay <= this.height + r || by <= this.height + r))) return;
      this.inView++;
      // Cut to the cells.
      const range = this.range;
      if (!clipSegment(ax, ay, bx, by, w, h, range)) return;
      const du = bx - ax;
      const dv = by - ay;
      const t0 = range[0];
      const t1 = range[1];
      fx = ax + du * t0;
      fy = ay + dv * t0;
      gx = ax + du * t1;
      gy = ay + dv * t1;
    } else this.inView++;
    // Every cell crossed once, sampled at half cells.
    const first = this.cellAt(fx, fy);
    const end = this.cellAt(gx, gy);
    counts[first]++;
    if (end === first) return;
    const firstColumn = first % columns;
    const endColumn = end % columns;
    if (firstColumn === endColumn || first - firstColumn === end - endColumn) {
      // Within a column or a row every cell between the ends is crossed
      // whole, so holds samples: each is counted, as the samples would count it.
      const step = firstColumn === endColumn ? (end > first ? columns : -columns) : end > first ? 1 : -1;
      for (let cell = first + step; cell !== end; cell += step) counts[cell]++;
      counts[end]++;
      return;
    }
    const dx = gx - fx;
    const dy = gy - fy;
    const steps = Math.ceil(Math.sqrt(dx * dx + dy * dy) / (CELL_PIXELS / 2));
    let last = first;
    for (let i = 1; i <= steps; i++) {
      const cell = i === steps ? end : this.cellAt(fx + (dx * i) / steps, fy + (dy * i) / steps);
      if (cell !== last) counts[cell]++;
      last = cell;
    }
  }

  // Points of flat (three numbers a point), those `index` names or all; a NaN is no point.
  points(flat, index = null, count = index ? index.length : Math.floor(flat.length / 3)) {
    for (let k = 0; k < count; k++) {
      const i = index ? index[k] : k;
      if (this.at(flat[3 * i], flat[3 * i + 1], flat[3 * i + 2])) this.addPoint(this.sx, this.sy);
    }
    return this;
  }

  // Lines between the points of flat that `pairs` names two by two.
  lines(flat, pairs) {
    for (let k = 0; k + 1 < pairs.length; k += 2) {
      const i = pairs[k];
      const j = pairs[k + 1];
      if (!this.at(flat[3 * i], flat[3 * i + 1], flat[3 * i + 2])) continue;
      const ax = this.sx;
      const ay = this.sy;
      if (this.at(flat[3 * j], flat[3 * j + 1], flat[3 * j + 2])) this.addLine(ax, ay, this.sx, this.sy);
    }
    return this;
  }

  // The overlay's segments (overlay_model.js: an anchor and a relative offset
  // at each end, the offset at a fixed size on the screen, `pixels` a unit).
  segments(model, pixels, count = model.segDashed.length) {
    const { segA, segARel, segB, segBRel } = model;
    const [r0, r1, r2] = this.right;
    const [u0, u1, u2] = this.up;
    for (let k = 0; k < count; k++) {
      const i = 3 * k;
      if (!this.at(segA[i], segA[i + 1], segA[i + 2])) continue;
      let ax = this.sx;
      let ay = this.sy;
      let rx = segARel[i];
      let ry = segARel[i + 1];
      let rz = segARel[i + 2];
      if (rx !== 0 || ry !== 0 || rz !== 0) {
        ax += (rx * r0 + ry * r1 + rz * r2) * pixels;
        ay -= (rx * u0 + ry * u1 + rz * u2) * pixels;
      }
      if (!this.at(segB[i], segB[i + 1], segB[i + 2])) continue;
      let bx = this.sx;
      let by = this.sy;
      rx = segBRel[i];
      ry = segBRel[i + 1];
      rz = segBRel[i + 2];
      if (rx !== 0 || ry !== 0 || rz !== 0) {
        bx += (rx * r0 + ry * r1 + rz * r2) * pixels;
        by -= (rx * u0 + ry * u1 + rz * u2) * pixels;
      }
      this.addLine(ax, ay, bx, by);
    }
    return this;
  }

  // The overlay's circles, by their centres.
  circles(model, pixels, count = model.circleDashed.length) {
    const { circleAnchor: anchor, circleRel: rel } = model;
    const [r0, r1, r2] = this.right;
    const [u0, u1, u2] = this.up;
    for (let k = 0; k < count; k++) {
      const i = 3 * k;
      if (!this.at(anchor[i], anchor[i + 1], anchor[i + 2])) continue;
      const rx = rel[i];
      const ry = rel[i + 1];
      const rz = rel[i + 2];
      let sx = this.sx;
      let sy = this.sy;
      if (rx !== 0 || ry !== 0 || rz !== 0) {
        sx += (rx * r0 + ry * r1 + rz * r2) * pixels;
        sy -= (rx * u0 + ry * u1 + rz * u2) * pixels;
      }
      this.addPoint(sx, sy);
    }
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
