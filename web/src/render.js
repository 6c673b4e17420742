// Draws the scene into the page's four views with three.js: the mesh's edges
// and points, the file's positions faintly (the ghost), the selected points,
// the handles the tool offers, and the tool's overlay as the host draws its
// wire-draw calls (overlay_model.js).
//
// All positions go to the graphics card relative to `origin` (the middle of
// the mesh as loaded), so single-precision floats keep their detail far from
// the model's zero. The cameras are built from the views of geometry.js, so
// what is drawn is exactly where project() says it is.
import * as THREE from './vendor/three.module.js';
import { RELATIVE_PIXELS } from './overlay_model.js';
import { eyeOf, sub } from './geometry.js';
import { DensityLayers } from './density_layer.js';
import { DensityCounter, MOST_LINES, MOST_POINTS, shiftedView } from './kind_density.js';
import { CELL_PIXELS, viewKey } from './screen_grid.js';

const COLOURS = {
  background: 0x24272c,
  grid: 0x33373e,
  axis: 0x4a505a,
  edges: 0x9aa4b1,
  ghost: 0x59606b,
  points: 0xb9c2cd,
  selected: 0xffc94d,
  ghostSelected: 0x8a7440,
  handles: 0x5ec8f2,
  overlay: 0xff7a45,
};

const VIEW_LAYERS = { top: 1, front: 2, side: 3, persp: 4 };

// The kinds drawn as density layers past MOST_POINTS or MOST_LINES in a view
// (besides the unselected points), each in its colour, drawn where its
// things would be among the others.
const KINDS = [
  ['ghostEdges', COLOURS.ghost, 0],
  ['edges', COLOURS.edges, 1],
  ['ghostPoints', COLOURS.ghostSelected, 2],
  ['segments', COLOURS.overlay, 10],
  ['circles', COLOURS.overlay, 11],
  ['selectedPoints', COLOURS.selected, 13],
  ['handles', COLOURS.handles, 14],
];

// The size of RELATIVE_PIXELS on the screen, in model units at a model point.
const UNIT_AT = `
uniform float uOrtho;
uniform float uPixelsPerUnit;
uniform float uTanHalf;
uniform float uViewHeight;
float unitsPerPixel(vec3 p) {
  if (uOrtho > 0.5) return 1.0 / uPixelsPerUnit;
  float depth = max(-(modelViewMatrix * vec4(p, 1.0)).z, 1e-9);
  return 2.0 * depth * uTanHalf / uViewHeight;
}
vec3 placed(vec3 anchor, vec3 rel) { return anchor + rel * (${RELATIVE_PIXELS.toFixed(1)} * unitsPerPixel(anchor)); }
`;

const SEGMENT_VERTEX = `
${UNIT_AT}
uniform vec2 uViewSize;
attribute vec3 aA;
attribute vec3 aARel;
attribute vec3 aB;
attribute vec3 aBRel;
attribute float aDashed;
varying float vAlong;
varying float vDashed;
void main() {
  vec4 a = projectionMatrix * modelViewMatrix * vec4(placed(aA, aARel), 1.0);
  vec4 b = projectionMatrix * modelViewMatrix * vec4(placed(aB, aBRel), 1.0);
  vec2 sa = a.xy / a.w * uViewSize * 0.5;
  vec2 sb = b.xy / b.w * uViewSize * 0.5;
  vAlong = position.x < 0.5 ? 0.0 : length(sb - sa);
  vDashed = aDashed;
  gl_Position = position.x < 0.5 ? a : b;
}`;

const SEGMENT_FRAGMENT = `
uniform vec3 uColour;
varying float vAlong;
varying float vDashed;
void main() {
  if (vDashed > 0.5 && mod(vAlong, 6.0) > 3.0) discard;
  gl_FragColor = vec4(uColour, 1.0);
}`;

const CIRCLE_VERTEX = `
${UNIT_AT}
uniform float uPixelRatio;
attribute vec3 aRel;
attribute float aRadius;
attribute float aRelative;
attribute float aDashed;
varying float vRadius;
varying float vSize;
varying float vDashed;
void main() {
  vec3 centre = placed(position, aRel);
  float perPixel = unitsPerPixel(centre);
  float radius = aRelative > 0.5 ? aRadius * ${RELATIVE_PIXELS.toFixed(1)} : aRadius / perPixel;
  vRadius = radius * uPixelRatio;
  vSize = min(2.0 * vRadius + 4.0 * uPixelRatio, 1000.0);
  vDashed = aDashed;
  gl_PointSize = vSize;
  gl_Position = projectionMatrix * modelViewMatrix * vec4(centre, 1.0);
}`;

const CIRCLE_FRAGMENT = `
uniform vec3 uColour;
uniform float uPixelRatio;
varying float vRadius;
varying float vSize;
varying float vDashed;
void main() {
  vec2 c = (gl_PointCoord - 0.5) * vSize;
  float d = length(c);
  if (abs(d - vRadius) > 0.75 * uPixelRatio) discard;
  if (vDashed > 0.5 && mod(atan(c.y, c.x) * vRadius, 6.0 * uPixelRatio) > 3.0 * uPixelRatio) discard;
  gl_FragColor = vec4(uColour, 1.0);
}`;

const DOT_FRAGMENT = `
uniform vec3 uColour;
void main() {
  if (length(gl_PointCoord - 0.5) > 0.5) discard;
  gl_FragColor = vec4(uColour, 1.0);
}`;

const HANDLE_VERTEX = `
uniform float uSize;
void main() {
  gl_PointSize = uSize;
  gl_Position = projectionMatrix * modelViewMatrix * vec4(position, 1.0);
}`;

const HANDLE_FRAGMENT = `
uniform vec3 uColour;
uniform float uFilled;
uniform float uSize;
void main() {
  vec2 c = abs(gl_PointCoord - 0.5) * uSize;
  float edge = max(c.x, c.y);
  if (uFilled < 0.5 && edge < uSize * 0.5 - 1.6) discard;
  gl_FragColor = vec4(uColour, 1.0);
}`;

function viewUniforms() {
  return {
    uOrtho: { value: 1 },
    uPixelsPerUnit: { value: 1 },
    uTanHalf: { value: 1 },
    uViewHeight: { value: 1 },
    uViewSize: { value: new THREE.Vector2(1, 1) },
    uPixelRatio: { value: 1 },
  };
}

// Every object drawn here has its own renderOrder and is never culled, so
// three.js needs no bounding sphere of its positions (it would only order
// objects of the same renderOrder by its centre); one given up front spares
// it measuring every position (tens of milliseconds a million at the first frame).
function unmeasured(geometry) {
  geometry.boundingSphere = new THREE.Sphere(new THREE.Vector3(), Infinity);
  return geometry;
}

function floatAttribute(count, size) {
  const a = new THREE.BufferAttribute(new Float32Array(Math.max(count, 1) * size), size);
  a.setUsage(THREE.DynamicDrawUsage);
  return a;
}

// A geometry of the overlay's segments (two vertices each, with both ends:
// position.x tells which end a vertex is, so that the shader can measure the
// segment on the screen for its dashes) or circles, with room for `segments`
// and `circles` of them; `old` is kept when its room is the same.
function overlayGeometry(old, segments, circles, kind) {
  if (old?.userData.room === `${segments},${circles}`) return old;
  old?.dispose();
  const g = unmeasured(new THREE.BufferGeometry());
  g.userData.room = `${segments},${circles}`;
  if (kind === 'segments') {
    const ends = floatAttribute(2 * segments, 3);
    for (let v = 1; v < 2 * segments; v += 2) ends.array[3 * v] = 1;
    g.setAttribute('position', ends);
    for (const name of ['aA', 'aARel', 'aB', 'aBRel']) g.setAttribute(name, floatAttribute(2 * segments, 3));
    g.setAttribute('aDashed', floatAttribute(2 * segments, 1));
    g.setDrawRange(0, 2 * segments);
  } else {
    g.setAttribute('position', floatAttribute(circles, 3));
    for (const [name, size] of [['aRel', 3], ['aRadius', 1], ['aRelative', 1], ['aDashed', 1]]) g.setAttribute(name, floatAttribute(circles, size));
    g.setDrawRange(0, circles);
  }
  return g;
}

// Slots touched.segments and touched.circles of the model into the
// geometries' buffers, slot s at s - base, positions relative to `origin`.
function writeOverlay(segments, circles, model, touched, base, origin) {
  // Copies slots lo..hi of `source` (`size` numbers a slot), each `repeat` times.
  const upload = (attribute, source, lo, hi, size, relative, repeat = 1) => {
    if (hi <= lo) return;
    const a = attribute.array;
    for (let slot = lo; slot < hi; slot++) {
      for (let k = 0; k < size; k++) {
        const v = relative ? source[slot * size + k] - origin[k] : source[slot * size + k];
        const at = ((slot - base) * repeat) * size + k;
        a[at] = v;
        if (repeat === 2) a[at + size] = v;
      }
    }
    attribute.clearUpdateRanges();
    attribute.addUpdateRange((lo - base) * size * repeat, (hi - lo) * size * repeat);
    attribute.needsUpdate = true;
  };
  const g = segments.attributes;
  const [s0, s1] = touched.segments;
  upload(g.aA, model.segA, s0, s1, 3, true, 2);
  upload(g.aARel, model.segARel, s0, s1, 3, false, 2);
  upload(g.aB, model.segB, s0, s1, 3, true, 2);
  upload(g.aBRel, model.segBRel, s0, s1, 3, false, 2);
  upload(g.aDashed, model.segDashed, s0, s1, 1, false, 2);
  const c = circles.attributes;
  const [c0, c1] = touched.circles;
  upload(c.position, model.circleAnchor, c0, c1, 3, true);
  upload(c.aRel, model.circleRel, c0, c1, 3, false);
  upload(c.aRadius, model.circleRadius, c0, c1, 1, false);
  upload(c.aRelative, model.circleRelative, c0, c1, 1, false);
  upload(c.aDashed, model.circleDashed, c0, c1, 1, false);
}

export class SceneRenderer {
  constructor(canvas) {
    this.renderer = new THREE.WebGLRenderer({ canvas, antialias: true, preserveDrawingBuffer: true });
    this.renderer.setPixelRatio(window.devicePixelRatio || 1);
    this.renderer.autoClear = false;
    this.scene = new THREE.Scene();
    this.origin = [0, 0, 0];
    this.uniforms = viewUniforms();
    this.grids = {};
    // Every handle as a small square; off by default (the overlay shows the
    // handle ends), the one under the mouse is always shown.
    this.showHandles = false;
    this.cameras = {
      ortho: new THREE.OrthographicCamera(-1, 1, 1, -1, -1, 1),
      persp: new THREE.PerspectiveCamera(50, 1, 0.1, 100),
    };
    for (const camera of Object.values(this.cameras)) {
      camera.matrixAutoUpdate = false;
      camera.matrixWorldAutoUpdate = false;
    }
    this.buildOverlayObjects();
    // Where a view has too many unselected points to draw one by one, its
    // density layer is drawn in their place (setDensity).
    this.densityLayers = new DensityLayers(this.scene, VIEW_LAYERS, COLOURS.points, CELL_PIXELS, 12);
    this.densityOf = () => null;
    // The other kinds past a few thousand in a view are density layers too
    // (kind_density.js), each in its own colour and place among the layers.
    this.kindLayers = {};
    for (const [kind, colour, order] of KINDS) this.kindLayers[kind] = new DensityLayers(this.scene, VIEW_LAYERS, colour, CELL_PIXELS, order);
    // Each view's last layers: { key, layers: { kind: layer or null } }.
    this.kindDensity = {};
    // The layers are counted anew when `snapshot` changes; what changed
    // since (`pending`) is drawn one by one over them.
    this.snapshot = 0;
    this.serial = 0;
    this.pending = { points: new Set(), segments: [Infinity, -Infinity], circles: [Infinity, -Infinity] };
    this.holding = false;
    this.buildFocusObjects();
  }

  // What changed since the layers were counted, drawn over them.
  buildFocusObjects() {
    const focus = (object, order) => {
      object.frustumCulled = false;
      object.renderOrder = order;
      object.visible = false;
      this.scene.add(object);
      return object;
    };
    this.focusSegments = focus(new THREE.LineSegments(new THREE.BufferGeometry(), this.segments.material), 20);
    this.focusCircles = focus(new THREE.Points(new THREE.BufferGeometry(), this.circles.material), 21);
  }

  // Changes to the scene. While a drag holds the layers (hold), small ones
  // are drawn one by one over them; otherwise, or past what is drawn one by
  // one, the layers are counted anew.
  changed(large) {
    const p = this.pending;
    if (large || !this.holding || p.points.size > MOST_POINTS || p.segments[1] - p.segments[0] > MOST_LINES || p.circles[1] - p.circles[0] > MOST_POINTS)
      this.refresh();
  }

  // The pair under the mouse ({ points, segments, circles }: its points and
  // its overlay's slots), drawn one by one over the layers; null for none.
  setHoverPair(focus) {
    this.hoverPair = focus;
  }

  // A drag holds the layers as they were at its press (true) until it lets go (false).
  hold(holding) {
    this.holding = holding;
    if (!holding) this.refresh();
  }

  refresh() {
    this.snapshot++;
    this.pending = { points: new Set(), segments: [Infinity, -Infinity], circles: [Infinity, -Infinity] };
  }

  // `densityOf(view)`: the view's density layer (view_index.js), or null to draw every point.
  setDensity(densityOf) {
    this.densityOf = densityOf;
  }

  buildOverlayObjects() {
    // Two vertices a segment, each with both ends (position.x tells which end it is), so
    // the shader can measure the segment on the screen for its dashes.
    const base = new THREE.BufferGeometry();
    const segmentMaterial = new THREE.ShaderMaterial({
      uniforms: { ...this.uniforms, uColour: { value: new THREE.Color(COLOURS.overlay) } },
      vertexShader: SEGMENT_VERTEX,
      fragmentShader: SEGMENT_FRAGMENT,
      depthTest: false,
    });
    this.segments = new THREE.LineSegments(base, segmentMaterial);
    this.segments.renderOrder = 10;
    this.circles = new THREE.Points(
      new THREE.BufferGeometry(),
      new THREE.ShaderMaterial({
        uniforms: { ...this.uniforms, uColour: { value: new THREE.Color(COLOURS.overlay) } },
        vertexShader: CIRCLE_VERTEX,
        fragmentShader: CIRCLE_FRAGMENT,
        depthTest: false,
      }),
    );
    this.circles.renderOrder = 11;
    for (const o of [this.segments, this.circles]) {
      o.frustumCulled = false;
      this.scene.add(o);
    }
  }

  // The mesh as loaded: current and original positions (flat), edges (flat
  // index pairs) and the selected points' indices.
  setMesh(points, original, edges, selected, origin) {
    this.origin = origin;
    this.overlayFilled = false;
    this.anyMoved = false;
    for (const o of [this.edges, this.ghostEdges, this.points, this.selectedPoints, this.ghostPoints, this.focusPoints]) {
      if (o) this.scene.remove(o);
    }
    this.positions = floatAttribute(points.length / 3, 3);
    this.writePositions(this.positions, 0, points);
    const ghost = floatAttribute(original.length / 3, 3);
    this.writePositions(ghost, 0, original);
    const edgeIndex = new THREE.BufferAttribute(new Uint32Array(edges), 1);
    const selectedIndex = new THREE.BufferAttribute(new Uint32Array(selected), 1);
    const geometry = (positions, index) => {
      const g = unmeasured(new THREE.BufferGeometry());
      g.setAttribute('position', positions);
      if (index) g.setIndex(index);
      return g;
    };
    const line = (colour, opacity) => new THREE.LineBasicMaterial({ color: colour, transparent: opacity < 1, opacity });
    const dots = (colour, size) =>
      new THREE.ShaderMaterial({
        uniforms: { uColour: { value: new THREE.Color(colour) }, uSize: { value: size * this.renderer.getPixelRatio() } },
        vertexShader: HANDLE_VERTEX,
        fragmentShader: DOT_FRAGMENT,
        depthTest: false,
      });
    this.ghostEdges = new THREE.LineSegments(geometry(ghost, edgeIndex), line(COLOURS.ghost, 0.55));
    this.edges = new THREE.LineSegments(geometry(this.positions, edgeIndex), line(COLOURS.edges, 1));
    // The unselected points alone (the selected ones are drawn over them).
    const isSelected = new Uint8Array(points.length / 3);
    for (const i of selected) if (i >= 0 && i < isSelected.length) isSelected[i] = 1;
    const unselected = new Uint32Array(isSelected.length - isSelected.reduce((n, v) => n + v, 0));
    for (let i = 0, k = 0; i < isSelected.length; i++) if (!isSelected[i]) unselected[k++] = i;
    this.points = new THREE.Points(geometry(this.positions, new THREE.BufferAttribute(unselected, 1)), dots(COLOURS.points, 4));
    this.ghost = ghost;
    this.edgeList = edges;
    this.selectedList = selectedIndex.array;
    // Room for as many as are drawn one by one before the layers are counted anew.
    const focusIndex = new THREE.BufferAttribute(new Uint32Array(MOST_POINTS), 1);
    focusIndex.setUsage(THREE.DynamicDrawUsage);
    this.focusPoints = new THREE.Points(geometry(this.positions, focusIndex), null);
    this.ghostPoints = new THREE.Points(geometry(ghost, selectedIndex), dots(COLOURS.ghostSelected, 5));
    this.selectedPoints = new THREE.Points(geometry(this.positions, selectedIndex), dots(COLOURS.selected, 7));
    // Drawn in this order, the points over the lines (the overlay comes between, at 10 and 11).
    this.focusPoints.material = this.selectedPoints.material;
    this.focusPoints.visible = false;
    const layers = [[this.ghostEdges, 0], [this.edges, 1], [this.ghostPoints, 2], [this.points, 12], [this.selectedPoints, 13], [this.focusPoints, 22]];
    for (const [o, order] of layers) {
      o.frustumCulled = false;
      o.renderOrder = order;
      this.scene.add(o);
    }
    this.setHandles([]);
    this.changed(true);
  }

  writePositions(attribute, first, flat) {
    const a = attribute.array;
    const o = this.origin;
    for (let i = 0; i < flat.length; i++) a[3 * first + i] = (flat[i] ?? NaN) - o[i % 3];
  }

  // Moved points: their indices and positions (three a point); only the
  // span of the buffer they lie in goes to the graphics card.
  movePoints(indices, xyz) {
    if (indices.length === 0) return;
    const a = this.positions.array;
    const [ox, oy, oz] = this.origin;
    let lo = Infinity;
    let hi = -Infinity;
    for (let k = 0; k < indices.length; k++) {
      const i = indices[k];
      a[3 * i] = xyz[3 * k] - ox;
      a[3 * i + 1] = xyz[3 * k + 1] - oy;
      a[3 * i + 2] = xyz[3 * k + 2] - oz;
      if (i < lo) lo = i;
      if (i > hi) hi = i;
    }
    this.positions.clearUpdateRanges();
    this.positions.addUpdateRange(3 * lo, 3 * (hi - lo + 1));
    this.positions.needsUpdate = true;
    if (indices.length <= MOST_POINTS) for (let k = 0; k < indices.length; k++) this.pending.points.add(indices[k]);
    this.anyMoved = true;
    this.changed(indices.length > MOST_POINTS);
  }

  // The handles' positions (flat); `changed`: the indices of those that
  // changed (null: all). The geometry is made anew only when their number changes.
  setHandles(flat, changed = null) {
    const count = flat.length / 3;
    if (!this.handles || this.handles.userData.count !== count) {
      if (this.handles) {
        this.scene.remove(this.handles);
        this.handles.geometry.dispose();
      }
      const g = unmeasured(new THREE.BufferGeometry());
      g.setAttribute('position', floatAttribute(count, 3));
      g.setDrawRange(0, count);
      this.handleDots ??= this.handleMaterial(false);
      this.handles = new THREE.Points(g, this.handleDots);
      this.handles.userData.count = count;
      this.handles.frustumCulled = false;
      this.handles.renderOrder = 14;
      this.handles.visible = this.showHandles;
      this.scene.add(this.handles);
      changed = null;
    }
    this.handlesVersion = (this.handlesVersion ?? 0) + 1;
    const attribute = this.handles.geometry.attributes.position;
    attribute.clearUpdateRanges();
    if (changed === null) {
      this.writePositions(attribute, 0, flat);
    } else {
      const a = attribute.array;
      let lo = Infinity;
      let hi = -Infinity;
      for (const j of changed) {
        for (let c = 0; c < 3; c++) a[3 * j + c] = (flat[3 * j + c] ?? NaN) - this.origin[c];
        if (j < lo) lo = j;
        if (j > hi) hi = j;
      }
      if (hi < lo) return;
      attribute.addUpdateRange(3 * lo, 3 * (hi - lo + 1));
    }
    attribute.needsUpdate = true;
  }

  handleMaterial(filled) {
    return new THREE.ShaderMaterial({
      uniforms: {
        uColour: { value: new THREE.Color(COLOURS.handles) },
        uFilled: { value: filled ? 1 : 0 },
        uSize: { value: (filled ? 13 : 9) * this.renderer.getPixelRatio() },
      },
      vertexShader: HANDLE_VERTEX,
      fragmentShader: HANDLE_FRAGMENT,
      depthTest: false,
    });
  }

  // The handle the mouse would grab, drawn filled; null for none.
  setHover(position) {
    if (!this.hover) {
      const g = new THREE.BufferGeometry();
      g.setAttribute('position', floatAttribute(1, 3));
      this.hover = new THREE.Points(g, this.handleMaterial(true));
      this.hover.material.uniforms.uFilled.value = 0;
      this.hover.frustumCulled = false;
      this.hover.renderOrder = 15;
      this.scene.add(this.hover);
    }
    this.hover.visible = position !== null;
    if (position) {
      this.writePositions(this.hover.geometry.attributes.position, 0, position);
      this.hover.geometry.attributes.position.needsUpdate = true;
    }
  }

  // The overlay's segments and circles from the model; `touched` limits the
  // upload to the slots that changed (null: all of them, laid out anew). The
  // buffers are filled when a view first draws the overlay one by one (a view
  // of a dense scene draws it as density layers, from the model's own arrays).
  setOverlay(model, touched = null) {
    this.overlayModel = model;
    this.overlaySerial = (this.overlaySerial ?? 0) + 1;
    if (!touched) {
      this.overlayFilled = false;
      this.changed(true);
      return;
    }
    const p = this.pending;
    for (const key of ['segments', 'circles']) {
      if (touched[key][1] <= touched[key][0]) continue;
      p[key][0] = Math.min(p[key][0], touched[key][0]);
      p[key][1] = Math.max(p[key][1], touched[key][1]);
    }
    this.changed(false);
    if (this.overlayFilled) writeOverlay(this.segments.geometry, this.circles.geometry, model, touched, 0, this.origin);
  }

  // Every slot of the overlay into its buffers.
  fillOverlay() {
    const model = this.overlayModel;
    const all = { segments: [0, model.segDashed.length], circles: [0, model.circleDashed.length] };
    this.segments.geometry = overlayGeometry(this.segments.geometry, all.segments[1], all.circles[1], 'segments');
    this.circles.geometry = overlayGeometry(this.circles.geometry, all.segments[1], all.circles[1], 'circles');
    writeOverlay(this.segments.geometry, this.circles.geometry, model, all, 0, this.origin);
    this.overlayFilled = true;
  }

  // A grid in the plane of an orthographic view through the model's zero,
  // spaced so that lines are at least 18 pixels apart, over the visible area.
  gridFor(name, view) {
    const spacing = Math.pow(10, Math.ceil(Math.log10(18 / view.pixelsPerUnit)));
    const key = `${spacing}:${view.width}x${view.height}:${view.center.join(',')}`;
    const existing = this.grids[name];
    if (existing && existing.userData.key === key) return;
    if (existing) {
      this.scene.remove(existing);
      existing.geometry.dispose();
    }
    const { right, up } = view.axes;
    const dotAxis = (p, axis) => p[0] * axis[0] + p[1] * axis[1] + p[2] * axis[2];
    const halfW = view.width / 2 / view.pixelsPerUnit;
    const halfH = view.height / 2 / view.pixelsPerUnit;
    const cu = dotAxis(view.center, right);
    const cv = dotAxis(view.center, up);
    const vertices = [];
    const colours = [];
    const grid = new THREE.Color(COLOURS.grid);
    const axis = new THREE.Color(COLOURS.axis);
    const at = (u, v) => {
      for (let i = 0; i < 3; i++) vertices.push(right[i] * u + up[i] * v - this.origin[i]);
    };
    const lines = (c0, c1, across0, across1, horizontal) => {
      for (let k = Math.ceil(c0 / spacing); k <= Math.floor(c1 / spacing) && vertices.length < 6 * 600; k++) {
        const c = k * spacing;
        if (horizontal) {
          at(across0, c);
          at(across1, c);
        } else {
          at(c, across0);
          at(c, across1);
        }
        const colour = k === 0 ? axis : grid;
        colours.push(colour.r, colour.g, colour.b, colour.r, colour.g, colour.b);
      }
    };
    lines(cu - halfW, cu + halfW, cv - halfH, cv + halfH, false);
    lines(cv - halfH, cv + halfH, cu - halfW, cu + halfW, true);
    const g = new THREE.BufferGeometry();
    g.setAttribute('position', new THREE.BufferAttribute(new Float32Array(vertices), 3));
    g.setAttribute('color', new THREE.BufferAttribute(new Float32Array(colours), 3));
    const o = new THREE.LineSegments(g, new THREE.LineBasicMaterial({ vertexColors: true }));
    o.userData.key = key;
    o.layers.set(VIEW_LAYERS[name]);
    o.frustumCulled = false;
    o.renderOrder = -1;
    this.grids[name] = o;
    this.scene.add(o);
  }

  // A ground grid under the model for the perspective view.
  groundGrid(bounds) {
    if (this.grids.persp) this.scene.remove(this.grids.persp);
    const spacing = Math.pow(10, Math.floor(Math.log10(bounds.radius * 0.8)));
    const divisions = 2 * Math.ceil((bounds.radius * 3) / spacing);
    const o = new THREE.GridHelper(divisions * spacing, divisions, COLOURS.axis, COLOURS.grid);
    o.position.set(-this.origin[0], Math.min(0, bounds.min[1]) - this.origin[1], -this.origin[2]);
    o.updateMatrixWorld(true);
    o.layers.set(VIEW_LAYERS.persp);
    this.grids.persp = o;
    this.scene.add(o);
  }

  setSize(width, height) {
    this.renderer.setSize(width, height, false);
  }

  // Sets the camera of one view: world (relative to the origin) to camera
  // space through the view's axes, and its projection.
  cameraFor(name, view, bounds) {
    const camera = view.kind === 'ortho' ? this.cameras.ortho : this.cameras.persp;
    const eye = sub(eyeOf(view), this.origin);
    const { right, up, forward } = view.axes;
    camera.matrixWorld.set(
      right[0], up[0], -forward[0], eye[0],
      right[1], up[1], -forward[1], eye[1],
      right[2], up[2], -forward[2], eye[2],
      0, 0, 0, 1,
    );
    camera.matrixWorldInverse.copy(camera.matrixWorld).invert();
    const reach = bounds.radius * 4 + Math.hypot(...sub(eyeOf(view), bounds.center));
    if (view.kind === 'ortho') {
      const w = view.width / 2 / view.pixelsPerUnit;
      const h = view.height / 2 / view.pixelsPerUnit;
      Object.assign(camera, { left: -w, right: w, top: h, bottom: -h, near: -reach, far: reach });
    } else {
      Object.assign(camera, {
        fov: (view.fovY * 180) / Math.PI,
        aspect: view.width / view.height,
        near: Math.max(view.distance * 1e-3, reach * 1e-6),
        far: reach * 8,
      });
    }
    camera.updateProjectionMatrix();
    camera.layers.set(0);
    camera.layers.enable(VIEW_LAYERS[name]);
    const u = this.uniforms;
    u.uOrtho.value = view.kind === 'ortho' ? 1 : 0;
    u.uPixelsPerUnit.value = view.pixelsPerUnit ?? 1;
    u.uTanHalf.value = Math.tan((view.fovY ?? 1) / 2);
    u.uViewHeight.value = view.height;
    u.uViewSize.value.set(view.width, view.height);
    u.uPixelRatio.value = this.renderer.getPixelRatio();
    return camera;
  }

  // Each kind's density layer in the view, or null where it is drawn one by
  // one; counted anew when the view, the snapshot or the kind's own things changed.
  kindsOf(name, view) {
    const model = this.overlayModel;
    const handleCount = this.handles?.userData.count ?? 0;
    const sources = {
      selectedPoints: this.selectedList?.length ?? 0,
      ghostPoints: this.selectedList?.length ?? 0,
      edges: (this.edgeList?.length ?? 0) / 2,
      ghostEdges: (this.edgeList?.length ?? 0) / 2,
      segments: model?.segDashed.length ?? 0,
      circles: model?.circleDashed.length ?? 0,
      handles: this.showHandles ? handleCount : 0,
    };
    const key = `${viewKey(view)}|${this.snapshot}|${this.showHandles ? this.handlesVersion : -1}`;
    const last = this.kindDensity[name];
    if (last?.key === key) return last.layers;
    const layers = {};
    const shifted = shiftedView(view, this.origin);
    for (const kind of ['edges', 'ghostEdges', 'selectedPoints', 'ghostPoints', 'segments', 'circles', 'handles']) {
      const isLine = kind === 'edges' || kind === 'ghostEdges' || kind === 'segments';
      const most = isLine ? MOST_LINES : MOST_POINTS;
      layers[kind] = null;
      if (sources[kind] <= most) continue;
      // Until a point moves, the ghosts lie exactly under the points.
      if (!this.anyMoved && (kind === 'ghostPoints' || kind === 'ghostEdges')) {
        layers[kind] = layers[kind === 'ghostPoints' ? 'selectedPoints' : 'edges'];
        continue;
      }
      const counter = new DensityCounter(kind === 'segments' || kind === 'circles' ? view : shifted);
      if (kind === 'selectedPoints') counter.points(this.positions.array, this.selectedList);
      else if (kind === 'ghostPoints') counter.points(this.ghost.array, this.selectedList);
      else if (kind === 'edges') counter.lines(this.positions.array, this.edgeList);
      else if (kind === 'ghostEdges') counter.lines(this.ghost.array, this.edgeList);
      else if (kind === 'segments') counter.segments(model, RELATIVE_PIXELS);
      else if (kind === 'circles') counter.circles(model, RELATIVE_PIXELS);
      else counter.points(this.handles.geometry.attributes.position.array, null, handleCount);
      const layer = counter.layer(most);
      if (layer) layer.serial = ++this.serial;
      layers[kind] = layer;
    }
    this.kindDensity[name] = { key, layers };
    return layers;
  }

  // Hides what a view draws as density layers and shows the layers, with
  // what changed since they were counted drawn over them one by one.
  showKinds(name, view) {
    const layers = this.kindsOf(name, view);
    for (const [kind] of KINDS) this.kindLayers[kind].show(name, view, layers[kind]);
    const objects = {
      selectedPoints: this.selectedPoints,
      ghostPoints: this.ghostPoints,
      edges: this.edges,
      ghostEdges: this.ghostEdges,
      segments: this.segments,
      circles: this.circles,
    };
    for (const [kind, object] of Object.entries(objects)) if (object) object.visible = layers[kind] === null;
    if (this.handles) this.handles.visible = this.showHandles && layers.handles === null;
    // The overlay: all of it into its buffers once a view draws it one by
    // one; what changed since the layers were counted into the focus's own.
    const model = this.overlayModel;
    if (model && !this.overlayFilled && ((layers.segments === null && model.segDashed.length > 0) || (layers.circles === null && model.circleDashed.length > 0)))
      this.fillOverlay();
    // What changed during a drag, or else the pair under the mouse.
    const p = this.holding || !this.hoverPair ? this.pending : this.hoverPair;
    const size = (range) => Math.max(0, range[1] - range[0]);
    // (A pair's own drawing spread over more slots than are drawn one by one is not drawn over the layers.)
    const drawn = (kind, most) => (layers[kind] === null || size(p[kind]) > most ? [0, 0] : p[kind]);
    const focus = { segments: drawn('segments', MOST_LINES), circles: drawn('circles', MOST_POINTS) };
    this.focusSegments.visible = size(focus.segments) > 0;
    this.focusCircles.visible = size(focus.circles) > 0;
    const focusKey = `${this.snapshot}|${focus.segments}|${focus.circles}|${this.overlaySerial}`;
    if ((this.focusSegments.visible || this.focusCircles.visible) && this.focusSegments.userData.key !== focusKey) {
      this.focusSegments.userData.key = focusKey;
      const ranges = { segments: [focus.segments[0], focus.segments[0] + size(focus.segments)], circles: [focus.circles[0], focus.circles[0] + size(focus.circles)] };
      const [ns, nc] = [size(focus.segments), size(focus.circles)];
      this.focusSegments.geometry = overlayGeometry(this.focusSegments.geometry, ns, nc, 'segments');
      this.focusCircles.geometry = overlayGeometry(this.focusCircles.geometry, ns, nc, 'circles');
      // Each kind from its own first slot.
      writeOverlay(this.focusSegments.geometry, this.focusCircles.geometry, model, { segments: ranges.segments, circles: [0, 0] }, ranges.segments[0], this.origin);
      writeOverlay(this.focusSegments.geometry, this.focusCircles.geometry, model, { segments: [0, 0], circles: ranges.circles }, ranges.circles[0], this.origin);
    }
    if (this.focusPoints) {
      this.focusPoints.visible = layers.selectedPoints !== null && p.points.size > 0;
      if (this.focusPoints.visible && this.focusPoints.userData.pending !== p) {
        this.focusPoints.userData.pending = p;
        this.focusPoints.userData.size = -1;
      }
      if (this.focusPoints.visible && this.focusPoints.userData.size !== p.points.size) {
        const g = this.focusPoints.geometry;
        const count = Math.min(p.points.size, g.index.count);
        this.focusPoints.userData.size = p.points.size;
        let k = 0;
        for (const i of p.points) if (k < count) g.index.array[k++] = i;
        g.index.needsUpdate = true;
        g.setDrawRange(0, count);
      }
    }
  }

  // Renders each view into its rectangle of the canvas ({x, y, width, height}
  // in CSS pixels from the canvas's top-left).
  render(views, rects, bounds) {
    const r = this.renderer;
    const size = r.getSize(new THREE.Vector2());
    r.setScissorTest(false);
    r.setClearColor(0x15171a);
    r.clear();
    r.setScissorTest(true);
    for (const [name, view] of Object.entries(views)) {
      const rect = rects[name];
      const y = size.y - rect.y - rect.height;
      r.setViewport(rect.x, y, rect.width, rect.height);
      r.setScissor(rect.x, y, rect.width, rect.height);
      r.setClearColor(COLOURS.background);
      r.clear();
      if (view.kind === 'ortho') this.gridFor(name, view);
      const density = this.points ? this.densityOf(view) : null;
      this.densityLayers.show(name, view, density);
      if (this.points) this.points.visible = density === null;
      this.showKinds(name, view);
      r.render(this.scene, this.cameraFor(name, view, bounds));
    }
  }
}
