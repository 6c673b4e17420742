// The four views of the viewport, laid out as a modeler lays them out (top
// and perspective above, front and side below), or one of them maximised to
// the whole viewport; and their navigation: pan and zoom in all four, orbit
// in the perspective view.
import { ORTHO_AXES, add, dot, orbitAxes, scale, sub, unitsPerPixel, unproject } from './geometry.js';

export const VIEW_NAMES = ['top', 'persp', 'front', 'side'];
export const VIEW_TITLES = { top: 'Top', persp: 'Perspective', front: 'Front', side: 'Side' };
const GAP = 2;
const FOV = (45 * Math.PI) / 180;

export class ViewSet {
  constructor() {
    this.views = {};
    this.rects = {};
    for (const name of VIEW_NAMES) {
      this.views[name] =
        name === 'persp'
          ? { kind: 'persp', yaw: -0.6, pitch: 0.45, target: [0, 0, 0], distance: 10, fovY: FOV, width: 1, height: 1 }
          : { kind: 'ortho', axes: ORTHO_AXES[name], center: [0, 0, 0], pixelsPerUnit: 50, width: 1, height: 1 };
    }
    this.views.persp.axes = orbitAxes(this.views.persp.yaw, this.views.persp.pitch);
    this.maximised = null;
  }

  // The views shown: all four, or the maximised one.
  get shown() {
    return this.maximised ? [this.maximised] : VIEW_NAMES;
  }

  // Maximises a view, or brings back all four when it is the maximised one.
  toggleMaximised(name) {
    this.maximised = this.maximised === name ? null : name;
    this.layout(this.width, this.height);
  }

  // Lays the views out in a canvas of the given size (CSS pixels). A view
  // that is not shown keeps a rectangle of the whole canvas (so that framing
  // works in it) but is neither drawn nor hit.
  layout(width, height) {
    this.width = width;
    this.height = height;
    const w = Math.max(1, Math.floor((width - GAP) / 2));
    const h = Math.max(1, Math.floor((height - GAP) / 2));
    const cells = { top: [0, 0], persp: [1, 0], front: [0, 1], side: [1, 1] };
    for (const name of VIEW_NAMES) {
      const [cx, cy] = cells[name];
      this.rects[name] = this.maximised
        ? { x: 0, y: 0, width: Math.max(1, Math.floor(width)), height: Math.max(1, Math.floor(height)) }
        : { x: cx * (w + GAP), y: cy * (h + GAP), width: w, height: h };
      this.views[name].width = this.rects[name].width;
      this.views[name].height = this.rects[name].height;
    }
  }

  // The view under a canvas position, with the position inside it.
  hit(x, y) {
    for (const name of this.shown) {
      const r = this.rects[name];
      if (x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height)
        return { name, view: this.views[name], sx: x - r.x, sy: y - r.y };
    }
    return null;
  }

  // Every view framed on the bounds.
  fit(bounds) {
    const span = (axis) => Math.abs(dot(sub(bounds.max, bounds.min), axis.map(Math.abs)));
    for (const name of VIEW_NAMES) {
      const v = this.views[name];
      if (v.kind === 'ortho') {
        v.center = [...bounds.center];
        const across = Math.max(span(v.axes.right) / v.width, span(v.axes.up) / v.height, 1e-9);
        v.pixelsPerUnit = 0.75 / across;
      } else {
        v.target = [...bounds.center];
        v.distance = (bounds.radius / Math.sin(v.fovY / 2)) * 1.15;
      }
    }
  }

  // Zooms by `factor` (> 1 closer) keeping the model point under the mouse in place.
  zoom(name, sx, sy, factor) {
    const v = this.views[name];
    if (v.kind === 'ortho') {
      const before = unproject(v, sx, sy, v.center);
      v.pixelsPerUnit *= factor;
      const after = unproject(v, sx, sy, v.center);
      v.center = add(v.center, sub(before, after));
    } else {
      v.distance /= factor;
    }
  }

  // Moves the view with the mouse by (dx, dy) pixels.
  pan(name, dx, dy) {
    const v = this.views[name];
    const through = v.kind === 'ortho' ? v.center : v.target;
    const perPixel = unitsPerPixel(v, through);
    const shift = add(scale(v.axes.right, -dx * perPixel), scale(v.axes.up, dy * perPixel));
    if (v.kind === 'ortho') v.center = add(v.center, shift);
    else v.target = add(v.target, shift);
  }

  orbit(dx, dy) {
    const v = this.views.persp;
    v.yaw -= dx * 0.008;
    v.pitch = Math.max(-1.55, Math.min(1.55, v.pitch + dy * 0.008));
    v.axes = orbitAxes(v.yaw, v.pitch);
  }
}
