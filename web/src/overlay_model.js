// The tool's overlay as the host draws it: the wire-draw calls of the tool's
// last draw, interpreted with a pen, into line segments and circles.
//
// Calls come five numbers each in the JSON form (see the server's scene answers):
//   0 moveTo  x y z style      pen to a model point; style 0 solid, 1 dashed
//   1 lineTo  x y z mode       mode 0: to a model point; 101: by an offset from the pen
//   2 spline  x y z mode       drawn as lineTo
//   3 circle  radius 0 0 mode  around the pen; mode 101: radius in relative units
// and as a list of calls in the binary form (scene_binary.js), where a call
// may be linked to a point: it is drawn at that point's position as a float,
// and follows the point as it moves.
// An offset or radius in mode 101 is drawn at a fixed screen size,
// RELATIVE_PIXELS (10) pixels a unit, whatever the zoom, as the stand-in
// host's SVG views draw it; so a pen holds a model point (anchor) and a
// relative offset from it (rel) in those units.
//
// The model keeps, for each call, the slot of the segment or circle it drew,
// so that changed calls are redrawn alone: from the moveTo before them to the
// next moveTo after. Coordinates are kept as floats, as the tool draws them.
import { LinkIndex, NO_LINK } from './scene_binary.js';

export const OP_MOVE = 0;
export const OP_LINE = 1;
export const OP_SPLINE = 2;
export const OP_CIRCLE = 3;
export const MODE_RELATIVE = 101;
export const NUMBERS_PER_CALL = 5;
export const RELATIVE_PIXELS = 10;

// What a call draws: 0 nothing (moveTo), 1 a segment, 2 a circle.
// Writes one point's three coordinates at slot k of a flat xyz array.
function store3(array, k, x, y, z) {
  array[3 * k] = x;
  array[3 * k + 1] = y;
  array[3 * k + 2] = z;
}

const kindOf = (op) => (op === OP_LINE || op === OP_SPLINE ? 1 : op === OP_CIRCLE ? 2 : 0);

export class OverlayModel {
  constructor() {
    this.setCalls([]);
  }

  get callCount() {
    return this.ops.length;
  }

  // The calls in the JSON form's numbers, five a call.
  get calls() {
    const n = this.callCount;
    const out = new Float64Array(n * NUMBERS_PER_CALL);
    for (let i = 0; i < n; i++) {
      const base = i * NUMBERS_PER_CALL;
      out[base] = this.ops[i];
      if (this.ops[i] === OP_CIRCLE) out[base + 1] = this.radius[i];
      else for (let k = 0; k < 3; k++) out[base + 1 + k] = this.xyz[3 * i + k];
      out[base + 4] = this.modes[i];
    }
    return out;
  }

  // Room for n calls, keeping those there are.
  resize(n) {
    const keep = (Type, old, size) => {
      const a = new Type(n * size);
      if (old) a.set(old.subarray(0, Math.min(old.length, a.length)));
      return a;
    };
    this.ops = keep(Uint8Array, this.ops, 1);
    this.modes = keep(Int32Array, this.modes, 1);
    this.xyz = keep(Float32Array, this.xyz, 3);
    this.radius = keep(Float64Array, this.radius, 1);
    const oldLinks = this.links;
    this.links = new Uint32Array(n).fill(NO_LINK);
    if (oldLinks) this.links.set(oldLinks.subarray(0, Math.min(oldLinks.length, n)));
    this.marks = new Uint8Array(n);
    this.index = null;
  }

  // Every call anew from the JSON form's numbers.
  setCalls(flat) {
    const n = Math.floor(flat.length / NUMBERS_PER_CALL);
    this.ops = null;
    this.links = null;
    this.resize(n);
    for (let i = 0; i < n; i++) this.writeFlat(i, flat, i * NUMBERS_PER_CALL);
    return this.layout();
  }

  writeFlat(i, flat, base) {
    this.ops[i] = flat[base];
    this.modes[i] = flat[base + 4];
    this.links[i] = NO_LINK;
    if (flat[base] === OP_CIRCLE) this.radius[i] = flat[base + 1];
    else for (let k = 0; k < 3; k++) this.xyz[3 * i + k] = flat[base + 1 + k];
  }

  // Every call anew from the binary form's list of calls; `points` holds the
  // positions linked calls sit on.
  setCallList(list, points) {
    this.ops = null;
    this.links = null;
    const n = list.ops.length;
    this.resize(n);
    // As writeList(null, ...) writes them, without marking what layout() lays out anyway.
    this.ops.set(list.ops);
    this.modes.set(list.modes);
    this.links.set(list.links);
    const { ops, links, xyz: own, radii } = list;
    const { xyz, radius } = this;
    let next = 0;
    let circles = 0;
    for (let i = 0; i < n; i++) {
      if (ops[i] === OP_CIRCLE) {
        radius[i] = radii[circles++];
        continue;
      }
      const p = links[i];
      // (Two branches: one reading the points, the other the list's own numbers.)
      if (p !== NO_LINK) {
        xyz[3 * i] = points[3 * p];
        xyz[3 * i + 1] = points[3 * p + 1];
        xyz[3 * i + 2] = points[3 * p + 2];
      } else {
        xyz[3 * i] = own[3 * next];
        xyz[3 * i + 1] = own[3 * next + 1];
        xyz[3 * i + 2] = own[3 * next + 2];
        next++;
      }
    }
    return this.layout();
  }

  // Writes the calls of a list (slots[k], or k without slots); returns
  // whether a call now draws another kind of thing.
  writeList(slots, list, points) {
    const { ops, modes, links, xyz, radii } = list;
    let own = 0;
    let circles = 0;
    let kindChanged = false;
    for (let k = 0; k < ops.length; k++) {
      const i = slots ? slots[k] : k;
      if (kindOf(this.ops[i]) !== kindOf(ops[k])) kindChanged = true;
      this.ops[i] = ops[k];
      this.modes[i] = modes[k];
      if (this.links[i] !== links[k]) this.index = null;
      this.links[i] = links[k];
      if (ops[k] === OP_CIRCLE) this.radius[i] = radii[circles++];
      else if (links[k] !== NO_LINK) this.follow(i, points, links[k]);
      else {
        for (let c = 0; c < 3; c++) this.xyz[3 * i + c] = xyz[3 * own + c];
        own++;
      }
      this.mark(i);
    }
    return kindChanged;
  }

  follow(i, points, p) {
    for (let c = 0; c < 3; c++) this.xyz[3 * i + c] = points[3 * p + c];
  }

  mark(i) {
    this.marks[i] = 1;
    if (i < this.dirtyLo) this.dirtyLo = i;
    if (i + 1 > this.dirtyHi) this.dirtyHi = i + 1;
  }

  // A binary answer's changes: the points that moved (indices; `points` holds
  // every position, the moved ones already new), the calls' new length and
  // the calls it names. Returns the changed slots as interpret() does, or
  // null when everything was laid out anew.
  applyChanges(moved, points, length, slots, list) {
    if (moved.length > 0 && this.links.length > 0) {
      const pointCount = Math.floor(points.length / 3);
      this.index ??= new LinkIndex(this.links, pointCount);
      for (const p of moved) this.index.forEach(p, (i) => {
        this.follow(i, points, p);
        this.mark(i);
      });
    }
    let relayout = false;
    if (length !== this.callCount) {
      this.resize(length);
      relayout = true;
    }
    if (this.writeList(slots, list, points)) relayout = true;
    if (relayout) {
      this.layout();
      return null;
    }
    return this.interpretMarked();
  }

  // Applies a run of changed calls (JSON numbers) starting at `first`.
  // Returns the changed slots, or null when the calls' kinds differ and
  // everything must be laid out anew (setCalls).
  applyRun(first, flat) {
    const count = Math.floor(flat.length / NUMBERS_PER_CALL);
    if (first + count > this.callCount) return null;
    for (let k = 0; k < count; k++) {
      if (kindOf(flat[k * NUMBERS_PER_CALL]) !== kindOf(this.ops[first + k])) return null;
    }
    for (let k = 0; k < count; k++) this.writeFlat(first + k, flat, k * NUMBERS_PER_CALL);
    this.index = null;
    return this.interpret(first, first + count);
  }

  // Slots for every call in order, and every call interpreted.
  layout() {
    const n = this.callCount;
    const { ops } = this;
    const slotOf = new Int32Array(n);
    let segments = 0;
    let circles = 0;
    for (let i = 0; i < n; i++) {
      const kind = kindOf(ops[i]);
      slotOf[i] = kind === 1 ? segments++ : kind === 2 ? circles++ : -1;
    }
    this.slotOf = slotOf;
    // Segment: a (anchor, rel), b (anchor, rel), dashed. Circle: anchor, rel, radius, relative, dashed.
    this.segA = new Float32Array(3 * segments);
    this.segARel = new Float32Array(3 * segments);
    this.segB = new Float32Array(3 * segments);
    this.segBRel = new Float32Array(3 * segments);
    this.segDashed = new Uint8Array(segments);
    this.circleAnchor = new Float32Array(3 * circles);
    this.circleRel = new Float32Array(3 * circles);
    this.circleRadius = new Float64Array(circles);
    this.circleRelative = new Uint8Array(circles);
    this.circleDashed = new Uint8Array(circles);
    this.marks.fill(0);
    this.dirtyLo = Infinity;
    this.dirtyHi = 0;
    return this.interpret(0, n);
  }

  // Lays out the marked calls, each from the moveTo before it to the next.
  interpretMarked() {
    const touched = { segments: [Infinity, -Infinity], circles: [Infinity, -Infinity] };
    const hi = Math.min(this.dirtyHi, this.callCount);
    let i = this.dirtyLo;
    while (i < hi) {
      if (!this.marks[i]) {
        i++;
        continue;
      }
      const t = this.interpret(i, i + 1);
      const end = this.interpretedTo;
      this.marks.fill(0, i, end);
      for (const key of ['segments', 'circles']) {
        touched[key][0] = Math.min(touched[key][0], t[key][0]);
        touched[key][1] = Math.max(touched[key][1], t[key][1]);
      }
      i = Math.max(end, i + 1);
    }
    this.dirtyLo = Infinity;
    this.dirtyHi = 0;
    return touched;
  }

  // Lays out calls from `first` on: from the last moveTo at or before it, at
  // least to `end`, then on to the next moveTo. Returns { segments: [lo,
  // hi], circles: [lo, hi] } (hi exclusive); interpretedTo is where it stopped.
  interpret(first, end) {
    const n = this.callCount;
    const { ops, modes, xyz, slotOf, radius } = this;
    const { segA, segARel, segB, segBRel, segDashed } = this;
    const { circleAnchor, circleRel, circleRadius, circleRelative, circleDashed } = this;
    let start = Math.min(first, n - 1);
    while (start > 0 && ops[start] !== OP_MOVE) start--;
    let ax = 0;
    let ay = 0;
    let az = 0;
    let rx = 0;
    let ry = 0;
    let rz = 0;
    let style = 0;
    // The slots written: segments [sLo, sHi), circles [cLo, cHi).
    let sLo = Infinity;
    let sHi = -Infinity;
    let cLo = Infinity;
    let cHi = -Infinity;
    let i = Math.max(start, 0);
    for (; i < n && (i < end || ops[i] !== OP_MOVE); i++) {
      const op = ops[i];
      const x = xyz[3 * i];
      const y = xyz[3 * i + 1];
      const z = xyz[3 * i + 2];
      const mode = modes[i];
      if (op === OP_MOVE) {
        ax = x;
        ay = y;
        az = z;
        rx = ry = rz = 0;
        style = mode === 0 ? 0 : 1;
      } else if (op === OP_LINE || op === OP_SPLINE) {
        const s = slotOf[i];
        store3(segA, s, ax, ay, az);
        store3(segARel, s, rx, ry, rz);
        if (mode === MODE_RELATIVE) {
          rx += x;
          ry += y;
          rz += z;
        } else {
          ax = x;
          ay = y;
          az = z;
          rx = ry = rz = 0;
        }
        store3(segB, s, ax, ay, az);
        store3(segBRel, s, rx, ry, rz);
        segDashed[s] = style;
        if (s < sLo) sLo = s;
        if (s + 1 > sHi) sHi = s + 1;
      } else if (op === OP_CIRCLE) {
        const r = slotOf[i];
        store3(circleAnchor, r, ax, ay, az);
        store3(circleRel, r, rx, ry, rz);
        circleRadius[r] = radius[i];
        circleRelative[r] = mode === MODE_RELATIVE ? 1 : 0;
        circleDashed[r] = style;
        if (r < cLo) cLo = r;
        if (r + 1 > cHi) cHi = r + 1;
      }
    }
    this.interpretedTo = i;
    return { segments: [sLo, sHi], circles: [cLo, cHi] };
  }

  // The slots of the paths (from a moveTo to the next) that hold a call
  // linked to one of `points` (of pointCount): a pair's own drawing.
  // Without links (the JSON form) none.
  slotsOf(points, pointCount) {
    const out = { segments: [Infinity, -Infinity], circles: [Infinity, -Infinity] };
    if (this.links.length === 0 || !this.slotOf) return out;
    this.index ??= new LinkIndex(this.links, pointCount);
    const { ops, slotOf } = this;
    const n = this.callCount;
    for (const p of points) {
      if (!(p >= 0 && p < pointCount)) continue;
      this.index.forEach(p, (i) => {
        let start = i;
        while (start > 0 && ops[start] !== OP_MOVE) start--;
        let end = i + 1;
        while (end < n && ops[end] !== OP_MOVE) end++;
        for (let c = start; c < end; c++) {
          const kind = kindOf(ops[c]);
          if (kind === 0) continue;
          const range = kind === 1 ? out.segments : out.circles;
          range[0] = Math.min(range[0], slotOf[c]);
          range[1] = Math.max(range[1], slotOf[c] + 1);
        }
      });
    }
    return out;
  }

  // Where circle r is drawn: its centre as a model point plus a relative offset.
  circleCentre(r) {
    return {
      anchor: Array.from(this.circleAnchor.subarray(3 * r, 3 * r + 3)),
      rel: Array.from(this.circleRel.subarray(3 * r, 3 * r + 3)),
    };
  }
}
