// Vector helpers and the views' mapping between the model and the screen.
// Pure functions on plain arrays [x, y, z], shared by the page and its tests.
//
// The views follow the Modeler's left-handed axes, as the stand-in host's SVG
// views do: +X right and +Y up in the front view, which looks along +Z; the
// top view looks down -Y with +Z up on the screen; the side view looks along
// -X with +Z to the right. In every view forward = right x up.

export const add = (a, b) => [a[0] + b[0], a[1] + b[1], a[2] + b[2]];
export const sub = (a, b) => [a[0] - b[0], a[1] - b[1], a[2] - b[2]];
export const scale = (a, s) => [a[0] * s, a[1] * s, a[2] * s];
export const dot = (a, b) => a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
export const cross = (a, b) => [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]];
export const length = (a) => Math.sqrt(dot(a, a));
export const distance = (a, b) => length(sub(a, b));
export const normalize = (a) => {
  const l = length(a);
  return l > 0 ? scale(a, 1 / l) : [0, 0, 0];
};

// The three orthographic views' axes.
export const ORTHO_AXES = {
  top: { right: [1, 0, 0], up: [0, 0, 1], forward: [0, -1, 0] },
  front: { right: [1, 0, 0], up: [0, 1, 0], forward: [0, 0, 1] },
  side: { right: [0, 0, 1], up: [0, 1, 0], forward: [-1, 0, 0] },
};

// The perspective view's axes from its orbit angles (radians): yaw turns
// about +Y, pitch tilts toward looking down. yaw 0, pitch 0 is the front view.
export function orbitAxes(yaw, pitch) {
  const forward = [-Math.sin(yaw) * Math.cos(pitch), -Math.sin(pitch), Math.cos(yaw) * Math.cos(pitch)];
  const right = normalize(cross([0, 1, 0], forward));
  const up = cross(forward, right);
  return { right, up, forward };
}

// A view: { kind: 'ortho' | 'persp', width, height (pixels), axes,
//   ortho:  center (model point at the middle of the view), pixelsPerUnit
//   persp:  target, distance, fovY (radians) }
export function eyeOf(view) {
  return view.kind === 'ortho' ? view.center : sub(view.target, scale(view.axes.forward, view.distance));
}

// The screen position (pixels from the view's top-left) of a model point, and
// its depth along the view's forward axis from the eye; null behind the eye
// of a perspective view.
export function project(view, p) {
  const { right, up, forward } = view.axes;
  const d = sub(p, eyeOf(view));
  const x = dot(d, right);
  const y = dot(d, up);
  const depth = dot(d, forward);
  if (view.kind === 'ortho') {
    return [view.width / 2 + x * view.pixelsPerUnit, view.height / 2 - y * view.pixelsPerUnit, depth];
  }
  if (depth <= view.distance * 1e-6) return null;
  const f = view.height / 2 / Math.tan(view.fovY / 2);
  return [view.width / 2 + (x / depth) * f, view.height / 2 - (y / depth) * f, depth];
}

// A function (x, y, z, out) writing the screen position of a model point to
// out[0], out[1] and returning true, or false where project() gives null.
// The same operations in the same order as geometry.js's project(), so the
// numbers are the same to the last bit.
export function screenProjector(view) {
  const { right, up, forward } = view.axes;
  const [r0, r1, r2] = right;
  const [u0, u1, u2] = up;
  const [f0, f1, f2] = forward;
  const halfW = view.width / 2;
  const halfH = view.height / 2;
  if (view.kind === 'ortho') {
    const [e0, e1, e2] = view.center;
    const ppu = view.pixelsPerUnit;
    return (x, y, z, out) => {
      const d0 = x - e0;
      const d1 = y - e1;
      const d2 = z - e2;
      out[0] = halfW + (d0 * r0 + d1 * r1 + d2 * r2) * ppu;
      out[1] = halfH - (d0 * u0 + d1 * u1 + d2 * u2) * ppu;
      return true;
    };
  }
  const e0 = view.target[0] - f0 * view.distance;
  const e1 = view.target[1] - f1 * view.distance;
  const e2 = view.target[2] - f2 * view.distance;
  const near = view.distance * 1e-6;
  const f = view.height / 2 / Math.tan(view.fovY / 2);
  return (x, y, z, out) => {
    const d0 = x - e0;
    const d1 = y - e1;
    const d2 = z - e2;
    const depth = d0 * f0 + d1 * f1 + d2 * f2;
    if (depth <= near) return false;
    out[0] = halfW + ((d0 * r0 + d1 * r1 + d2 * r2) / depth) * f;
    out[1] = halfH - ((d0 * u0 + d1 * u1 + d2 * u2) / depth) * f;
    return true;
  };
}

// The model point under a screen position: in an orthographic view on the
// plane through `through` facing the view (the two axes of the view from the
// mouse, the third kept from that point); in perspective where the mouse's
// ray meets the plane through `through` facing the camera. Components along
// the view's axes are computed apart, so an axis the view does not show keeps
// the point's value exactly.
export function unproject(view, sx, sy, through) {
  const { right, up, forward } = view.axes;
  if (view.kind === 'ortho') {
    const u = dot(view.center, right) + (sx - view.width / 2) / view.pixelsPerUnit;
    const v = dot(view.center, up) + (view.height / 2 - sy) / view.pixelsPerUnit;
    const w = dot(through, forward);
    const out = [0, 0, 0];
    for (let i = 0; i < 3; i++) out[i] = right[i] * u + up[i] * v + forward[i] * w;
    // An axis-aligned view: the component of the hidden axis is the point's own.
    for (let i = 0; i < 3; i++) if (right[i] === 0 && up[i] === 0 && forward[i] !== 0) out[i] = through[i];
    return out;
  }
  const eye = eyeOf(view);
  const f = view.height / 2 / Math.tan(view.fovY / 2);
  const ray = normalize(add(forward, add(scale(right, (sx - view.width / 2) / f), scale(up, (view.height / 2 - sy) / f))));
  const denominator = dot(ray, forward);
  const t = denominator > 1e-12 ? dot(sub(through, eye), forward) / denominator : view.distance;
  return add(eye, scale(ray, t));
}

// Model units that one screen pixel covers at a model point.
export function unitsPerPixel(view, p) {
  if (view.kind === 'ortho') return 1 / view.pixelsPerUnit;
  const depth = Math.max(dot(sub(p, eyeOf(view)), view.axes.forward), view.distance * 1e-6);
  return (2 * depth * Math.tan(view.fovY / 2)) / view.height;
}

// The index of the nearest position within `radius` pixels on the screen, or
// -1. On a tie the higher index wins, as the host prefers the higher priority
// (the tool gives handle i the priority i + 1). `positions` is flat
// [x0, y0, z0, ...]; null entries are no handle. `candidates` (indices, in
// any order) narrows the look to them; null looks at every position.
export function pickNearest(view, positions, sx, sy, radius, candidates = null) {
  let best = -1;
  let bestDistance = Infinity;
  const toScreen = screenProjector(view);
  const s = [0, 0];
  const consider = (i) => {
    const x = positions[3 * i];
    if (x === null || Number.isNaN(x)) return;
    if (!toScreen(x, positions[3 * i + 1], positions[3 * i + 2], s)) return;
    const d = Math.hypot(s[0] - sx, s[1] - sy);
    if (d <= radius && (d < bestDistance || (d === bestDistance && i > best))) {
      best = i;
      bestDistance = d;
    }
  };
  if (candidates) for (const i of candidates) consider(i);
  else for (let i = 0, n = Math.floor(positions.length / 3); i < n; i++) consider(i);
  return best;
}

// Distance in pixels from a screen point to the segment between two screen points.
export function segmentDistance(px, py, a, b) {
  return segmentDistanceXY(px, py, a[0], a[1], b[0], b[1]);
}

export function segmentDistanceXY(px, py, ax, ay, bx, by) {
  const dx = bx - ax;
  const dy = by - ay;
  const l2 = dx * dx + dy * dy;
  const t = l2 > 0 ? Math.max(0, Math.min(1, ((px - ax) * dx + (py - ay) * dy) / l2)) : 0;
  return Math.hypot(ax + t * dx - px, ay + t * dy - py);
}

// The part of the segment from (x0, y0) to (x1, y1) inside the rectangle from
// (0, 0) to (width, height), edges included (Liang-Barsky), for finite ends:
// false when none is, else true with the segment's parameters at the part's
// ends in range[0] and range[1] (0 at the first end, 1 at the second).
export function clipSegment(x0, y0, x1, y1, width, height, range) {
  const dx = x1 - x0;
  const dy = y1 - y0;
  let t0 = 0;
  let t1 = 1;
  if (dx === 0) {
    if (x0 < 0 || x0 > width) return false;
  } else {
    const ta = -x0 / dx;
    const tb = (width - x0) / dx;
    t0 = Math.max(t0, Math.min(ta, tb));
    t1 = Math.min(t1, Math.max(ta, tb));
  }
  if (dy === 0) {
    if (y0 < 0 || y0 > height) return false;
  } else {
    const ta = -y0 / dy;
    const tb = (height - y0) / dy;
    t0 = Math.max(t0, Math.min(ta, tb));
    t1 = Math.min(t1, Math.max(ta, tb));
  }
  if (!(t0 <= t1)) return false;
  range[0] = t0;
  range[1] = t1;
  return true;
}

// The bounding box of flat positions: { min, max, center, radius }.
export function bounds(...flats) {
  const min = [Infinity, Infinity, Infinity];
  const max = [-Infinity, -Infinity, -Infinity];
  for (const flat of flats) {
    for (let i = 0; i + 2 < flat.length; i += 3) {
      for (let k = 0; k < 3; k++) {
        const v = flat[i + k];
        if (v === null || !Number.isFinite(v)) continue;
        if (v < min[k]) min[k] = v;
        if (v > max[k]) max[k] = v;
      }
    }
  }
  if (min[0] > max[0]) return { min: [-1, -1, -1], max: [1, 1, 1], center: [0, 0, 0], radius: Math.sqrt(3) };
  const center = scale(add(min, max), 0.5);
  return { min, max, center, radius: Math.max(distance(min, max) / 2, 1e-9) };
}
