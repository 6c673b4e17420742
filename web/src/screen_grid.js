// Screen-space grids of one view, so that the mouse looks only at what lies
// near it: a grid of points (the mesh's points, or the handles), each in the
// cell of the view its projection falls in, and a grid of segments (the
// pairs' lines), each in every cell it crosses. A grid answers with
// candidates only; the pick itself (handle_pick.js, geometry.js) measures
// each candidate as it measures every point without a grid, so the grid
// never changes which one is chosen.
//
// A grid holds the view and a margin around it (a cursor at the view's edge
// still reaches points just beyond it); a question reaching past that gets
// null, and the caller looks at everything. A moved point changes cells
// alone; a grid is built anew only when its view changes (viewKey), or when
// so much moved that building is cheaper than keeping count.

import { clipSegment, screenProjector } from './geometry.js';

// Side of a point grid's cells, in pixels; the density layers use the same
// cells (as the pictures do).
export const CELL_PIXELS = 4;
// Side of a segment grid's cells: long lines cross few of them.
export const SEGMENT_CELL_PIXELS = 32;
// How far beyond the view a grid holds things (pixels; a whole number of point cells).
export const GRID_MARGIN = 32;
// Candidates are taken this much (pixels) beyond what a question asks.
const SLACK = 1;
// How far (pixels) a point may lie outside the cell it was put in, by the
// rounding of the division that chose the cell, and more.
const CELL_ROUNDING = 1e-6;

// Everything a view's projection depends on, as one string.
export function viewKey(view) {
  const { right, up, forward } = view.axes;
  const place = view.kind === 'ortho' ? [...view.center, view.pixelsPerUnit] : [...view.target, view.distance, view.fovY];
  return [view.kind, view.width, view.height, ...right, ...up, ...forward, ...place].join(',');
}

// The cells of a grid of `cell` pixels over the view and its margin.
class Cells {
  constructor(view, cell) {
    this.cell = cell;
    this.columns = Math.ceil((view.width + 2 * GRID_MARGIN) / cell);
    this.rows = Math.ceil((view.height + 2 * GRID_MARGIN) / cell);
    this.width = view.width;
    this.height = view.height;
  }

  get count() {
    return this.columns * this.rows;
  }

  // The cell of a screen position, or -1 outside the grid (or not a number).
  at(sx, sy) {
    const column = Math.floor((sx + GRID_MARGIN) / this.cell);
    const row = Math.floor((sy + GRID_MARGIN) / this.cell);
    if (!(column >= 0 && column < this.columns && row >= 0 && row < this.rows)) return -1;
    return row * this.columns + column;
  }

  // The range of columns and rows a rectangle (with the slack) touches, or
  // null when it reaches beyond the grid.
  range(left, top, right, bottom, slack = SLACK) {
    const c0 = Math.floor((left - slack + GRID_MARGIN) / this.cell);
    const c1 = Math.floor((right + slack + GRID_MARGIN) / this.cell);
    const r0 = Math.floor((top - slack + GRID_MARGIN) / this.cell);
    const r1 = Math.floor((bottom + slack + GRID_MARGIN) / this.cell);
    if (!(c0 >= 0 && r0 >= 0 && c1 < this.columns && r1 < this.rows)) return null;
    return [c0, c1, r0, r1];
  }

  // The cells within `radius` (and the slack) of a screen position, nearest
  // first: [distance, cell, distance, cell, ...], the distance from the
  // position to the cell's nearest edge (0 inside it); null when they reach
  // beyond the grid.
  byDistance(sx, sy, radius, slack = SLACK) {
    const r = this.range(sx - radius, sy - radius, sx + radius, sy + radius, slack);
    if (r === null) return null;
    const [c0, c1, r0, r1] = r;
    const { cell, columns } = this;
    const list = [];
    for (let row = r0; row <= r1; row++) {
      const top = row * cell - GRID_MARGIN;
      const dy = Math.max(0, top - sy, sy - (top + cell));
      for (let column = c0; column <= c1; column++) {
        const left = column * cell - GRID_MARGIN;
        const dx = Math.max(0, left - sx, sx - (left + cell));
        list.push([Math.hypot(dx, dy), row * columns + column]);
      }
    }
    list.sort((a, b) => a[0] - b[0]);
    return list.flat();
  }
}

// Points (flat [x0, y0, z0, ...]; a null or NaN x is no point) of one view.
// `counts` holds how many points each cell has, leaving out those `uncounted`
// marks (a Uint8Array, 1: left out), and `version` changes with it.
export class PointGrid {
  constructor(view, flat, uncounted = null) {
    this.key = viewKey(view);
    this.flat = flat;
    this.uncounted = uncounted;
    this.cells = new Cells(view, CELL_PIXELS);
    this.project = screenProjector(view);
    this.count = Math.floor(flat.length / 3);
    this.cellOf = new Int32Array(this.count);
    this.spot = [0, 0];
    // Points in each cell; `version` counts every change of a cell.
    this.counts = new Int32Array(this.cells.count);
    this.version = 0;
    const { cellOf, counts } = this;
    for (let i = 0; i < this.count; i++) {
      const c = this.cellOfPoint(i);
      cellOf[i] = c;
      if (c >= 0 && (uncounted === null || !uncounted[i])) counts[c]++;
    }
    this.sort();
  }

  cellOfPoint(i) {
    const f = this.flat;
    const x = f[3 * i];
    const s = this.spot;
    if (x === null || Number.isNaN(x) || !this.project(x, f[3 * i + 1], f[3 * i + 2], s)) return -1;
    return this.cells.at(s[0], s[1]);
  }

  // Points sorted by cell; moved points are kept apart until the next sort.
  sort() {
    const { cellOf } = this;
    const cellCount = this.cells.count;
    const start = new Int32Array(cellCount + 1);
    for (let i = 0; i < this.count; i++) if (cellOf[i] >= 0) start[cellOf[i] + 1]++;
    for (let c = 0; c < cellCount; c++) start[c + 1] += start[c];
    const fill = start.slice(0, cellCount);
    const order = new Int32Array(start[cellCount]);
    for (let i = 0; i < this.count; i++) if (cellOf[i] >= 0) order[fill[cellOf[i]]++] = i;
    this.start = start;
    this.order = order;
    this.moved = [];
    this.isMoved = new Uint8Array(this.count);
  }

  // Point i was moved (the flat positions hold its new place).
  move(i) {
    if (i < 0 || i >= this.count) return;
    const c = this.cellOfPoint(i);
    const old = this.cellOf[i];
    if (c === old) return;
    if (this.uncounted === null || !this.uncounted[i]) {
      if (old >= 0) this.counts[old]--;
      if (c >= 0) this.counts[c]++;
      this.version++;
    }
    this.cellOf[i] = c;
    if (!this.isMoved[i]) {
      this.isMoved[i] = 1;
      this.moved.push(i);
    }
    if (this.moved.length > (this.count >> 3) + 64) this.sort();
  }

  // The points whose cell touches the rectangle (screen pixels), or null
  // when it reaches beyond the grid.
  inRect(left, top, right, bottom) {
    const r = this.cells.range(left, top, right, bottom);
    if (r === null) return null;
    const [c0, c1, r0, r1] = r;
    const { columns } = this.cells;
    const out = [];
    for (let row = r0; row <= r1; row++) {
      for (let c = row * columns + c0; c <= row * columns + c1; c++) {
        for (let k = this.start[c]; k < this.start[c + 1]; k++) {
          const i = this.order[k];
          if (!this.isMoved[i]) out.push(i);
        }
      }
    }
    for (const i of this.moved) {
      const c = this.cellOf[i];
      if (c < 0) continue;
      const column = c % columns;
      const row = (c - column) / columns;
      if (column >= c0 && column <= c1 && row >= r0 && row <= r1) out.push(i);
    }
    return out;
  }

  // Calls take(i, d) for each point within `radius` pixels of the screen
  // position, d its distance as pickNearest (geometry.js) measures it, the
  // cells nearest first; the cells farther than reach() (asked after each
  // cell) are passed over. False when the question reaches beyond the grid.
  // A point's cell is where its screen position falls (the same numbers as
  // measured here), so only the rounding of that division needs room.
  measureNear(sx, sy, radius, take, reach = () => radius) {
    const cells = this.cells.byDistance(sx, sy, radius, CELL_ROUNDING);
    if (cells === null) return false;
    const { flat, start, order, isMoved, project } = this;
    const s = this.spot;
    const measure = (i) => {
      const x = flat[3 * i];
      if (x === null || Number.isNaN(x)) return;
      if (!project(x, flat[3 * i + 1], flat[3 * i + 2], s)) return;
      const d = Math.hypot(s[0] - sx, s[1] - sy);
      if (d <= radius) take(i, d);
    };
    for (let j = 0; j < cells.length; j += 2) {
      if (cells[j] > reach() + CELL_ROUNDING) break;
      const end = start[cells[j + 1] + 1];
      for (let k = start[cells[j + 1]]; k < end; k++) {
        const i = order[k];
        if (!isMoved[i]) measure(i);
      }
    }
    for (const i of this.moved) measure(i);
    return true;
  }

  // The points within `radius` pixels of the screen position, or null when
  // the question reaches beyond the grid.
  near(sx, sy, radius) {
    const out = [];
    return this.measureNear(sx, sy, radius, (i) => out.push(i)) ? out : null;
  }

  // The point nearest the screen position within `radius` pixels (on a tie
  // the higher index), as pickNearest chooses it, or -1; null when the
  // question reaches beyond the grid. Once a point is found, only the cells
  // nearer than it are still read: in a dense view a cell or two.
  nearest(sx, sy, radius) {
    let best = -1;
    let bestDistance = Infinity;
    const take = (i, d) => {
      if (d < bestDistance || (d === bestDistance && i > best)) {
        best = i;
        bestDistance = d;
      }
    };
    return this.measureNear(sx, sy, radius, take, () => bestDistance) ? best : null;
  }
}

// The lines between pairs of points (pair k: points ends[2k] and ends[2k + 1]
// of the flat positions) of one view, each end's screen position kept.
export class SegmentGrid {
  constructor(view, flat, ends) {
    this.key = viewKey(view);
    this.flat = flat;
    this.ends = ends;
    this.cells = new Cells(view, SEGMENT_CELL_PIXELS);
    this.project = screenProjector(view);
    this.pairs = Math.floor(ends.length / 2);
    // Screen positions of both ends of each pair, side by side (ax, ay, bx,
    // by: one read for a question; NaN: not on the screen).
    this.ends4 = new Float64Array(4 * this.pairs);
    for (let k = 0; k < this.pairs; k++) this.place(k);
    // Two passes over the cells each line crosses: count, then fill.
    const start = new Int32Array(this.cells.count + 1);
    const count = start.subarray(1);
    for (let k = 0; k < this.pairs; k++) this.visit(k, count, null);
    for (let c = 0; c < this.cells.count; c++) start[c + 1] += start[c];
    const fill = start.slice(0, this.cells.count);
    this.order = new Int32Array(start[this.cells.count]);
    // Each entry's line as cut to the grid (screen pixels, single precision),
    // beside it: a question reads its cells' lines in a row.
    this.lines = new Float32Array(4 * start[this.cells.count]);
    for (let k = 0; k < this.pairs; k++) this.visit(k, fill, this.order);
    this.start = start;
    this.moved = [];
    this.isMoved = new Uint8Array(this.pairs);
  }

  place(k) {
    const s = (this.spot ??= [0, 0]);
    const f = this.flat;
    const a = this.ends[2 * k];
    const b = this.ends[2 * k + 1];
    const e = this.ends4;
    if (this.project(f[3 * a], f[3 * a + 1], f[3 * a + 2], s)) [e[4 * k], e[4 * k + 1]] = s;
    else e[4 * k] = e[4 * k + 1] = NaN;
    if (this.project(f[3 * b], f[3 * b + 1], f[3 * b + 2], s)) [e[4 * k + 2], e[4 * k + 3]] = s;
    else e[4 * k + 2] = e[4 * k + 3] = NaN;
  }

  // Every cell the part of line k inside the grid crosses, once each, walked
  // from cell to cell along the line (a cell it only grazes may be missed
  // by a rounding error: questions take a pixel more).
  // Each cell c adds one to counts[c] (order null), or takes k at
  // order[counts[c]++].
  visit(k, counts, order) {
    let x0 = this.ends4[4 * k];
    let y0 = this.ends4[4 * k + 1];
    let x1 = this.ends4[4 * k + 2];
    let y1 = this.ends4[4 * k + 3];
    if (!(Number.isFinite(x0) && Number.isFinite(y0) && Number.isFinite(x1) && Number.isFinite(y1))) return;
    // Cut to the grid, in the grid's own pixels (0 at its corner).
    const { cell, columns, rows } = this.cells;
    x0 += GRID_MARGIN;
    y0 += GRID_MARGIN;
    x1 += GRID_MARGIN;
    y1 += GRID_MARGIN;
    const range = (this.range ??= [0, 1]);
    if (!clipSegment(x0, y0, x1, y1, columns * cell, rows * cell, range)) return;
    const dx = x1 - x0;
    const dy = y1 - y0;
    const t0 = range[0];
    const t1 = range[1];
    const sx = x0 + dx * t0;
    const sy = y0 + dy * t0;
    const ex = x0 + dx * t1;
    const ey = y0 + dy * t1;
    let column = Math.min(columns - 1, Math.max(0, Math.floor(sx / cell)));
    let row = Math.min(rows - 1, Math.max(0, Math.floor(sy / cell)));
    const lastColumn = Math.min(columns - 1, Math.max(0, Math.floor(ex / cell)));
    const lastRow = Math.min(rows - 1, Math.max(0, Math.floor(ey / cell)));
    const stepX = dx > 0 ? 1 : -1;
    const stepY = dy > 0 ? 1 : -1;
    // The line's parameter at the next column and row boundary, and between boundaries.
    const across = Math.abs(cell / dx);
    const down = Math.abs(cell / dy);
    let nextX = dx === 0 ? Infinity : ((dx > 0 ? (column + 1) * cell : column * cell) - x0) / dx;
    let nextY = dy === 0 ? Infinity : ((dy > 0 ? (row + 1) * cell : row * cell) - y0) / dy;
    for (let guard = columns + rows + 2; guard > 0; guard--) {
      const c = row * columns + column;
      if (order === null) counts[c]++;
      else {
        const j = counts[c]++;
        order[j] = k;
        this.lines.set([sx - GRID_MARGIN, sy - GRID_MARGIN, ex - GRID_MARGIN, ey - GRID_MARGIN], 4 * j);
      }
      if (column === lastColumn && row === lastRow) return;
      if (nextX < nextY ? column !== lastColumn : row === lastRow) {
        column += stepX;
        nextX += across;
      } else {
        row += stepY;
        nextY += down;
      }
    }
  }

  // Pair k's ends were moved.
  move(k) {
    if (k < 0 || k >= this.pairs) return;
    this.place(k);
    if (!this.isMoved[k]) {
      this.isMoved[k] = 1;
      this.moved.push(k);
    }
  }

  // Whether so many pairs moved that the grid should be built anew.
  get worn() {
    return this.moved.length > (this.pairs >> 3) + 64;
  }

  // The pairs whose line may pass within `radius` of the screen position and
  // may be the nearest: `this.found` (a buffer the grid keeps, valid until
  // the next question) gets each one's index and, in `this.roughly`, its
  // distance measured in single precision from the line cut to the grid. A
  // line is left out when that measure puts it beyond `radius`, or beyond
  // the nearest found by more than `margin` pixels; one may be listed twice.
  // Returns their number, or -1 when the question reaches beyond the grid.
  findNear(sx, sy, radius, margin = Infinity) {
    // Nearest cells first: once a line is found, the cells beyond the reach
    // it leaves are not read (a line near the mouse has its nearest point in
    // a cell near the mouse, give or take the slack of the walk).
    const cells = this.cells.byDistance(sx, sy, radius);
    if (cells === null) return -1;
    const { start, order, lines, isMoved } = this;
    let most = this.moved.length;
    for (let j = 1; j < cells.length; j += 2) most += start[cells[j] + 1] - start[cells[j]];
    if (!this.found || this.found.length < most) {
      this.found = new Int32Array(Math.max(most, 2 * (this.found?.length ?? 0)));
      this.roughly = new Float64Array(this.found.length);
    }
    const { found, roughly } = this;
    // The squared distance a line may have and still be listed.
    let within2 = radius * radius;
    let count = 0;
    // Line k, if its distance (measured from x0, y0 to x1, y1) is within.
    const take = (k, x0, y0, x1, y1) => {
      const dx = x1 - x0;
      const dy = y1 - y0;
      const l2 = dx * dx + dy * dy;
      const t = l2 > 0 ? Math.max(0, Math.min(1, ((sx - x0) * dx + (sy - y0) * dy) / l2)) : 0;
      const ex = x0 + t * dx - sx;
      const ey = y0 + t * dy - sy;
      const d2 = ex * ex + ey * ey;
      if (!(d2 <= within2)) return;
      const d = Math.sqrt(d2);
      found[count] = k;
      roughly[count++] = d;
      if (d + margin < radius) within2 = Math.min(within2, (d + margin) * (d + margin));
    };
    for (let n = 0; n < cells.length; n += 2) {
      if (cells[n] > Math.sqrt(within2) + SLACK) break;
      const end = 4 * start[cells[n + 1] + 1];
      for (let j = 4 * start[cells[n + 1]]; j < end; j += 4) {
        // First the distance from the whole line through the segment (no
        // division): most lines in a cell pass farther than that.
        const x0 = lines[j];
        const y0 = lines[j + 1];
        const dx = lines[j + 2] - x0;
        const dy = lines[j + 3] - y0;
        const cross = (sx - x0) * dy - (sy - y0) * dx;
        if (cross * cross > within2 * (dx * dx + dy * dy) * 1.0001 + 1e-9) continue;
        const k = order[j >> 2];
        if (!isMoved[k]) take(k, x0, y0, lines[j + 2], lines[j + 3]);
      }
    }
    const e = this.ends4;
    for (const k of this.moved) take(k, e[4 * k], e[4 * k + 1], e[4 * k + 2], e[4 * k + 3]);
    return count;
  }

  near(sx, sy, radius) {
    const count = this.findNear(sx, sy, radius);
    return count < 0 ? null : [...new Set(this.found.subarray(0, count))];
  }
}
