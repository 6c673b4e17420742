// What lies where on the screen in each view, for the mouse and for the
// density layers: grids (screen_grid.js) of the points, the handles and the
// pairs' lines, one set a view, made when first asked after the view or the
// scene changed, and kept up to date point by point while points move.
//
// The density layer follows the pictures' rule: past MOST_POINTS unselected
// points in a view (within DENSITY_REACH pixels of it), they are drawn as
// cells of CELL_PIXELS, each in one of SHADES shades by a doubling scale of
// its count (1, 2-3, 4-7, ... 32 or more). Selected points and the pairs are
// always drawn one by one.
import { project, segmentDistanceXY } from './geometry.js';
import { CELL_PIXELS, GRID_MARGIN, PointGrid, SegmentGrid, viewKey } from './screen_grid.js';

export const MOST_POINTS = 4000;
export const DENSITY_REACH = 8;
export const SHADES = 6;
// How far (pixels) a line's distance measured in single precision may be from its exact one, and more.
const ROUGHLY = 0.01;
// How many entries the views' pair grids keep together (20 bytes each).
const PAIR_ENTRIES_KEPT = 8e6;

export function shadeOf(count) {
  let shade = 0;
  for (; count > 0 && shade < SHADES; count >>= 1) shade++;
  return shade;
}

// The pair (k: points selected[2k] and selected[2k + 1]) whose line on the
// screen passes nearest to (sx, sy) within `radius` pixels, or -1; on a tie
// the later pair. With a SegmentGrid of the view only its candidates are
// measured, from the screen positions it keeps (the same numbers project()
// gives).
export function nearestPair(view, points, selected, sx, sy, radius, grid = null) {
  let best = -1;
  let bestDistance = Infinity;
  const take = (k, d) => {
    if (d <= radius && (d < bestDistance || (d === bestDistance && k > best))) {
      best = k;
      bestDistance = d;
    }
  };
  // With the grid: only the lines its rough measure finds near, and of those
  // only the ones it cannot tell from the nearest (ROUGHLY pixels) are measured
  // exactly (from the ends' positions, as without the grid).
  const found = grid ? grid.findNear(sx, sy, radius + 1, ROUGHLY) : -1;
  if (found >= 0) {
    let nearest = Infinity;
    for (let j = 0; j < found; j++) nearest = Math.min(nearest, grid.roughly[j]);
    const e = grid.ends4;
    for (let j = 0; j < found; j++) {
      if (grid.roughly[j] > nearest + ROUGHLY) continue;
      const k = grid.found[j];
      take(k, segmentDistanceXY(sx, sy, e[4 * k], e[4 * k + 1], e[4 * k + 2], e[4 * k + 3]));
    }
    return best;
  }
  const at = (i) => [points[3 * i], points[3 * i + 1], points[3 * i + 2]];
  for (let k = 0; 2 * k + 1 < selected.length; k++) {
    const a = project(view, at(selected[2 * k]));
    const b = project(view, at(selected[2 * k + 1]));
    if (a && b) take(k, segmentDistanceXY(sx, sy, a[0], a[1], b[0], b[1]));
  }
  return best;
}

export class ViewIndex {
  constructor() {
    this.setScene({ points: [], handles: [], selected: [] });
  }

  // A new scene (its arrays are read where they are, also after they change
  // in place: pointsMoved and handlesChanged say what changed).
  setScene({ points, handles, selected }) {
    this.points = points;
    this.handles = handles;
    this.selected = selected;
    this.perView = new Map();
    const n = Math.floor(points.length / 3);
    // Which pair each selected point is in (-1: none), and whether one is in two.
    this.pairOf = new Int32Array(n).fill(-1);
    this.isSelected = new Uint8Array(n);
    this.sharedEnds = false;
    this.selectedCount = 0;
    for (let j = 0; j < selected.length; j++) {
      const i = selected[j];
      if (!(i >= 0 && i < n)) continue;
      if (!this.isSelected[i]) this.selectedCount++;
      this.isSelected[i] = 1;
      if (j >> 1 >= selected.length >> 1) continue;
      if (this.pairOf[i] >= 0) this.sharedEnds = true;
      this.pairOf[i] = j >> 1;
    }
  }

  of(view) {
    let grids = this.perView.get(view);
    if (!grids) this.perView.set(view, (grids = {}));
    return grids;
  }

  pointGrid(view) {
    const grids = this.of(view);
    if (grids.points?.key !== viewKey(view)) grids.points = new PointGrid(view, this.points, this.isSelected);
    return grids.points;
  }

  handleGrid(view) {
    const grids = this.of(view);
    const h = grids.handles;
    if (h?.key !== viewKey(view) || h.count !== Math.floor(this.handles.length / 3)) grids.handles = new PointGrid(view, this.handles);
    return grids.handles;
  }

  // The pairs' grids are the largest (a long line is in every cell it
  // crosses): those of the views asked last are kept while together they
  // hold at most PAIR_ENTRIES_KEPT entries (the one asked now always).
  pairGrid(view) {
    const grids = this.of(view);
    const p = grids.pairs;
    this.pairViews = [view, ...(this.pairViews ?? []).filter((v) => v !== view)];
    if (p?.key !== viewKey(view) || p.worn) {
      grids.pairs = new SegmentGrid(view, this.points, this.selected);
      let entries = 0;
      for (const v of this.pairViews) {
        const kept = this.of(v);
        if (!kept.pairs) continue;
        entries += kept.pairs.order.length;
        if (v !== view && entries > PAIR_ENTRIES_KEPT) delete kept.pairs;
      }
    }
    return grids.pairs;
  }

  // Points moved: flat [index, x, y, z, ...] (`stride` numbers a point); the
  // scene's points already hold the new positions.
  pointsMoved(moved, stride = 4) {
    for (const [view, grids] of this.perView) {
      const key = viewKey(view);
      if (grids.points && grids.points.key !== key) delete grids.points;
      if (grids.pairs && (grids.pairs.key !== key || this.sharedEnds)) delete grids.pairs;
      for (let k = 0; k < moved.length; k += stride) {
        const i = moved[k];
        grids.points?.move(i);
        if (i >= 0 && i < this.pairOf.length && this.pairOf[i] >= 0) grids.pairs?.move(this.pairOf[i]);
      }
    }
  }

  // Handles changed: flat [index, x, y, z, ...] of those that moved (a change
  // of their number is seen at the next question).
  handlesChanged(changed, stride = 4) {
    for (const grids of this.perView.values()) {
      if (!grids.handles || grids.handles.count !== Math.floor(this.handles.length / 3)) continue;
      for (let k = 0; k < changed.length; k += stride) grids.handles.move(changed[k]);
    }
  }

  // ---- questions (screen pixels of the view)

  handlesNear(view, sx, sy, radius) {
    return this.handleGrid(view).near(sx, sy, radius);
  }

  // The nearest handle within `radius` (pickNearest's choice), -1 for none, or
  // null when the question reaches beyond the view's grid.
  nearestHandle(view, sx, sy, radius) {
    return this.handleGrid(view).nearest(sx, sy, radius);
  }

  pointsIn(view, left, top, right, bottom) {
    return this.pointGrid(view).inRect(left, top, right, bottom);
  }

  pairAt(view, sx, sy, radius) {
    return nearestPair(view, this.points, this.selected, sx, sy, radius, this.pairGrid(view));
  }

  // The view's density layer, or null when its unselected points are few
  // enough to draw one by one: { columns, rows, shades (a Uint8Array, row by
  // row from the top), serial (changes with the shades) }.
  density(view) {
    const n = Math.floor(this.points.length / 3);
    if (n - this.selectedCount <= MOST_POINTS) return null;
    const grid = this.pointGrid(view);
    const grids = this.of(view);
    const last = grids.density;
    if (last && last.grid === grid && last.version === grid.version) return last.layer;
    const { cells } = grid;
    const skip = GRID_MARGIN / CELL_PIXELS;
    // Unselected points within reach of the view, by whole cells.
    let inView = 0;
    for (let row = 0; row < cells.rows; row++) {
      const y = row * CELL_PIXELS - GRID_MARGIN;
      if (y + CELL_PIXELS <= -DENSITY_REACH || y > view.height + DENSITY_REACH) continue;
      for (let column = 0; column < cells.columns; column++) {
        const x = column * CELL_PIXELS - GRID_MARGIN;
        if (x + CELL_PIXELS <= -DENSITY_REACH || x > view.width + DENSITY_REACH) continue;
        inView += grid.counts[row * cells.columns + column];
      }
    }
    let layer = null;
    if (inView > MOST_POINTS) {
      const columns = Math.ceil(view.width / CELL_PIXELS);
      const rows = Math.ceil(view.height / CELL_PIXELS);
      const shades = new Uint8Array(columns * rows);
      for (let row = 0; row < rows; row++) {
        for (let column = 0; column < columns; column++)
          shades[row * columns + column] = shadeOf(grid.counts[(row + skip) * cells.columns + column + skip]);
      }
      layer = { columns, rows, shades, serial: (this.serial = (this.serial ?? 0) + 1) };
    }
    grids.density = { grid, version: grid.version, layer };
    return layer;
  }
}
