// The mouse while it chooses pairs (the pairs card's "Choose pairs"): a click
// on a point takes it as a new pair's handle end, the next click on another
// point as its anchor end, and the pair is added to the pairs; a box dragged
// around points selects them (with Shift, adds them to the selection), as
// the host's own selection does: pairs are then the 1st and 2nd, 3rd and 4th
// selected points in index order.
import { pickNearest, project } from './geometry.js';

// A press that moves less than this is a click (pixels).
export const CLICK_PIXELS = 4;

// The points whose projection in `view` lies in the box (view pixels, any
// two corners), in index order; a point without a position is in no box.
// `candidates` (indices) narrows the look to them; null looks at every point.
export function pointsInBox(view, points, x0, y0, x1, y1, candidates = null) {
  const [left, right] = [Math.min(x0, x1), Math.max(x0, x1)];
  const [top, bottom] = [Math.min(y0, y1), Math.max(y0, y1)];
  const inside = [];
  const consider = (i) => {
    const x = points[3 * i];
    if (x === null || Number.isNaN(x)) return;
    const s = project(view, [x, points[3 * i + 1], points[3 * i + 2]]);
    if (s && s[0] >= left && s[0] <= right && s[1] >= top && s[1] <= bottom) inside.push(i);
  };
  if (candidates) {
    for (const i of candidates) consider(i);
    return Array.from(Int32Array.from(inside).sort());
  }
  for (let i = 0; 3 * i + 2 < points.length; i++) consider(i);
  return inside;
}

export class ChooseMouse {
  // choosePairs(pairs) sends the new pairs; select(points) the box's points;
  // onEnd(point or null) shows the handle end waiting for its anchor.
  // candidates(view, left, top, right, bottom): the points that may lie in
  // the rectangle (screen_grid.js), or null for all of them.
  constructor({ choosePairs, select, onEnd, box, candidates = () => null }) {
    this.candidates = candidates;
    this.choosePairs = choosePairs;
    this.select = select;
    this.onEnd = onEnd;
    this.box = box;
    this.first = null;
    this.press = null;
  }

  reset() {
    this.first = null;
    this.press = null;
    this.box.hidden = true;
    this.onEnd(null);
  }

  down(at, rect, shift) {
    this.press = { at, rect, x: at.sx, y: at.sy, shift, moved: false };
  }

  move(sx, sy) {
    const p = this.press;
    if (!p) return;
    if (!p.moved && Math.hypot(sx - p.x, sy - p.y) < CLICK_PIXELS) return;
    p.moved = true;
    p.sx = Math.max(0, Math.min(p.rect.width, sx));
    p.sy = Math.max(0, Math.min(p.rect.height, sy));
    Object.assign(this.box.style, {
      left: `${p.rect.x + Math.min(p.x, p.sx)}px`,
      top: `${p.rect.y + Math.min(p.y, p.sy)}px`,
      width: `${Math.abs(p.sx - p.x)}px`,
      height: `${Math.abs(p.sy - p.y)}px`,
    });
    this.box.hidden = false;
  }

  // The press ends: a box selects, a click takes a point. `scene` holds the
  // points, the selection and the current pairs ([[handle, anchor], ...]).
  up(scene, pairs, radius) {
    const p = this.press;
    this.press = null;
    this.box.hidden = true;
    if (!p) return;
    const { view } = p.at;
    if (p.moved) {
      const box = [Math.min(p.x, p.sx), Math.min(p.y, p.sy), Math.max(p.x, p.sx), Math.max(p.y, p.sy)];
      const inside = pointsInBox(view, scene.points, p.x, p.y, p.sx, p.sy, this.candidates(view, ...box));
      const points = p.shift ? [...new Set([...scene.selected, ...inside])].sort((a, b) => a - b) : inside;
      this.first = null;
      this.onEnd(null);
      if (points.length > 0) this.select(points);
      return;
    }
    const around = this.candidates(view, p.x - radius, p.y - radius, p.x + radius, p.y + radius);
    const point = pickNearest(view, scene.points, p.x, p.y, radius, around);
    if (point < 0) return this.reset();
    if (this.first === null || this.first === point) {
      this.first = point;
      return this.onEnd(point);
    }
    // A point in another pair leaves it: a point is in one pair at most.
    const kept = pairs.filter(([h, a]) => ![h, a].includes(point) && ![h, a].includes(this.first));
    this.choosePairs([...kept, [this.first, point]]);
    this.first = null;
    this.onEnd(null);
  }
}
