// The tool's overlay as the host draws it: the wire-draw calls of the tool's
// last draw, interpreted with a pen, into line segments and circles.
//
// Calls come five numbers each (see the server's scene answers):
//   0 moveTo  x y z style      pen to a model point; style 0 solid, 1 dashed
//   1 lineTo  x y z mode       mode 0: to a model point; 101: by an offset from the pen
//   2 spline  x y z mode       drawn as lineTo
//   3 circle  radius 0 0 mode  around the pen; mode 101: radius in relative units
// An offset or radius in mode 101 is drawn at a fixed screen size,
// RELATIVE_PIXELS (10) pixels a unit, whatever the zoom, as the stand-in
// host's SVG views draw it; so a pen holds a model point (anchor) and a
// relative offset from it (rel) in those units.
//
// The model keeps, for each call, the pen after it and the slot of the
// segment or circle it drew, so that a run of changed calls is redrawn alone:
// from the run's first call to the next moveTo after it.

export const OP_MOVE = 0;
export const OP_LINE = 1;
export const OP_SPLINE = 2;
export const OP_CIRCLE = 3;
export const MODE_RELATIVE = 101;
export const NUMBERS_PER_CALL = 5;
export const RELATIVE_PIXELS = 10;

export class OverlayModel {
  constructor() {
    this.setCalls([]);
  }

  get callCount() {
    return this.calls.length / NUMBERS_PER_CALL;
  }

  // Every call anew; slots are assigned in call order.
  setCalls(flat) {
    const n = Math.floor(flat.length / NUMBERS_PER_CALL);
    this.calls = Float64Array.from(flat.slice(0, n * NUMBERS_PER_CALL));
    this.penAnchor = new Float64Array(3 * n);
    this.penRel = new Float64Array(3 * n);
    this.penStyle = new Uint8Array(n);
    this.segmentOf = new Int32Array(n).fill(-1);
    this.circleOf = new Int32Array(n).fill(-1);
    let segments = 0;
    let circles = 0;
    for (let i = 0; i < n; i++) {
      const op = this.calls[i * NUMBERS_PER_CALL];
      if (op === OP_LINE || op === OP_SPLINE) this.segmentOf[i] = segments++;
      else if (op === OP_CIRCLE) this.circleOf[i] = circles++;
    }
    // Segment: a (anchor, rel), b (anchor, rel), dashed. Circle: anchor, rel, radius, relative, dashed.
    this.segA = new Float64Array(3 * segments);
    this.segARel = new Float64Array(3 * segments);
    this.segB = new Float64Array(3 * segments);
    this.segBRel = new Float64Array(3 * segments);
    this.segDashed = new Uint8Array(segments);
    this.circleAnchor = new Float64Array(3 * circles);
    this.circleRel = new Float64Array(3 * circles);
    this.circleRadius = new Float64Array(circles);
    this.circleRelative = new Uint8Array(circles);
    this.circleDashed = new Uint8Array(circles);
    return this.interpret(0, n);
  }

  // Applies a run of changed calls starting at `first`. Returns the changed
  // slots, or null when the calls' kinds differ and everything must be laid
  // out anew (setCalls).
  applyRun(first, flat) {
    const count = Math.floor(flat.length / NUMBERS_PER_CALL);
    if (first + count > this.callCount) return null;
    for (let k = 0; k < count; k++) {
      const i = first + k;
      const op = flat[k * NUMBERS_PER_CALL];
      const oldOp = this.calls[i * NUMBERS_PER_CALL];
      const segmentKind = (o) => (o === OP_LINE || o === OP_SPLINE ? 1 : o === OP_CIRCLE ? 2 : 0);
      if (segmentKind(op) !== segmentKind(oldOp)) return null;
    }
    this.calls.set(flat.slice(0, count * NUMBERS_PER_CALL), first * NUMBERS_PER_CALL);
    return this.interpret(first, first + count);
  }

  // Lays out calls from `first` on: at least to `end`, then on to the next
  // moveTo. Returns { segments: [lo, hi], circles: [lo, hi] } (hi exclusive).
  interpret(first, end) {
    const n = this.callCount;
    const c = this.calls;
    const anchor = [0, 0, 0];
    const rel = [0, 0, 0];
    let style = 0;
    if (first > 0) {
      for (let k = 0; k < 3; k++) {
        anchor[k] = this.penAnchor[3 * (first - 1) + k];
        rel[k] = this.penRel[3 * (first - 1) + k];
      }
      style = this.penStyle[first - 1];
    }
    const touched = { segments: [Infinity, -Infinity], circles: [Infinity, -Infinity] };
    for (let i = first; i < n && (i < end || c[i * NUMBERS_PER_CALL] !== OP_MOVE); i++) {
      const base = i * NUMBERS_PER_CALL;
      const op = c[base];
      const p = [c[base + 1], c[base + 2], c[base + 3]];
      const mode = c[base + 4];
      if (op === OP_MOVE) {
        anchor.splice(0, 3, ...p);
        rel.fill(0);
        style = mode === 0 ? 0 : 1;
      } else if (op === OP_LINE || op === OP_SPLINE) {
        const s = this.segmentOf[i];
        this.segA.set(anchor, 3 * s);
        this.segARel.set(rel, 3 * s);
        if (mode === MODE_RELATIVE) {
          for (let k = 0; k < 3; k++) rel[k] += p[k];
        } else {
          anchor.splice(0, 3, ...p);
          rel.fill(0);
        }
        this.segB.set(anchor, 3 * s);
        this.segBRel.set(rel, 3 * s);
        this.segDashed[s] = style;
        touched.segments[0] = Math.min(touched.segments[0], s);
        touched.segments[1] = Math.max(touched.segments[1], s + 1);
      } else if (op === OP_CIRCLE) {
        const r = this.circleOf[i];
        this.circleAnchor.set(anchor, 3 * r);
        this.circleRel.set(rel, 3 * r);
        this.circleRadius[r] = p[0];
        this.circleRelative[r] = mode === MODE_RELATIVE ? 1 : 0;
        this.circleDashed[r] = style;
        touched.circles[0] = Math.min(touched.circles[0], r);
        touched.circles[1] = Math.max(touched.circles[1], r + 1);
      }
      this.penAnchor.set(anchor, 3 * i);
      this.penRel.set(rel, 3 * i);
      this.penStyle[i] = style;
    }
    return touched;
  }

  // Where circle r is drawn: its centre as a model point plus a relative offset.
  circleCentre(r) {
    return {
      anchor: Array.from(this.circleAnchor.subarray(3 * r, 3 * r + 3)),
      rel: Array.from(this.circleRel.subarray(3 * r, 3 * r + 3)),
    };
  }
}
