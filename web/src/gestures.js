// The views' own gestures, apart from the tool's mouse: auto-pan while a drag
// nears the edge of its view, and two fingers on a touch screen (pinch zooms,
// moving both pans). Neither edits the mesh.

// Within EDGE_PIXELS of a view's edge a drag pans the view, faster the nearer
// the edge (and beyond it), up to EDGE_SPEED pixels a frame.
export const EDGE_PIXELS = 28;
export const EDGE_SPEED = 14;

// How far (pixels a frame, x and y) a view is moved by a drag at (sx, sy)
// of a view of the given size: positive x pans towards the right edge (the
// model beyond it comes into the view). [0, 0] away from the edges.
export function edgeSpeed(width, height, sx, sy) {
  const along = (s, size) => {
    const near = Math.min(EDGE_PIXELS, size / 4);
    if (s < near) return -Math.min(1, (near - s) / near) * EDGE_SPEED;
    if (s > size - near) return Math.min(1, (s - (size - near)) / near) * EDGE_SPEED;
    return 0;
  };
  return [along(sx, width), along(sy, height)];
}

// Two touches: where they are, their middle and how far apart they are.
export class TwoFingers {
  constructor() {
    this.touches = new Map();
    this.last = null;
  }

  get count() {
    return this.touches.size;
  }

  down(id, x, y) {
    this.touches.set(id, [x, y]);
    this.last = this.touches.size === 2 ? this.shape() : null;
  }

  up(id) {
    this.touches.delete(id);
    this.last = null;
  }

  // A touch moved: with two down, the change since the last move as
  // { zoom (> 1: closer), dx, dy (of the middle), x, y (the middle) }, else null.
  move(id, x, y) {
    if (!this.touches.has(id)) return null;
    this.touches.set(id, [x, y]);
    if (this.touches.size !== 2) return null;
    const now = this.shape();
    const before = this.last ?? now;
    this.last = now;
    return {
      zoom: before.apart > 0 && now.apart > 0 ? now.apart / before.apart : 1,
      dx: now.x - before.x,
      dy: now.y - before.y,
      x: now.x,
      y: now.y,
    };
  }

  shape() {
    const [a, b] = [...this.touches.values()];
    return { x: (a[0] + b[0]) / 2, y: (a[1] + b[1]) / 2, apart: Math.hypot(a[0] - b[0], a[1] - b[1]) };
  }
}
