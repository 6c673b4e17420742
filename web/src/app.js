// The playground page: the tool in four views, driven by the module through
// the stand-in host behind /api (channel.js).
//
// Every action is a command of the server's session (channel.js). The mouse
// acts as the host's: a left press near a handle (within PICK_PIXELS on the
// screen, the nearest; on a tie the pair's current handle end, then the end
// nearer the camera: handle_pick.js) sends the press at that handle's own
// position naming that handle, so the host grabs exactly the handle the page
// showed under the mouse. A press away from every handle sends the mouse's
// model position naming none: the tool's `start` decides. Dragging sends
// model positions once the press is answered: in an orthographic view the two
// axes of the view from the mouse, the third kept from the grabbed point; in
// perspective the point where the mouse's ray meets the plane through the
// grabbed point facing the camera. A drag near the edge of its view pans it
// (gestures.js). Esc cancels a drag (the points go back as at the press).
// CTRL and the right button are passed on. Ctrl+Z and Ctrl+Y (or
// Ctrl+Shift+Z) undo and redo one action. The middle button (or Alt with the
// left) pans, or orbits in perspective (Shift pans there); the wheel or two
// fingers pinching zoom, two fingers moving pan; a double click maximises a
// view or brings back all four (its second click is not the tool's); F
// frames the mesh. With "Choose pairs" the
// left button chooses pairs instead (choose_mouse.js).
import { Channel } from './channel.js';
import { ChooseMouse } from './choose_mouse.js';
import { FileOpener } from './file_open.js';
import { TwoFingers, edgeSpeed } from './gestures.js';
import { bounds, distance, project, unproject } from './geometry.js';
import { currentEndTest, pickHandle } from './handle_pick.js';
import { LengthsTable } from './lengths_table.js';
import { OverlayModel } from './overlay_model.js';
import { PairsPanel, pairsOf } from './pairs_panel.js';
import { LinkIndex, NO_LINK } from './scene_binary.js';
import { OptionsPanel, panelCommand, shown } from './panel.js';
import { SceneRenderer } from './render.js';
import { VIEW_NAMES, VIEW_TITLES, ViewSet } from './views.js';
import { ViewIndex } from './view_index.js';

const PICK_PIXELS = 8;
// A touch held this long, or moved this far, is the tool's press (before it,
// a second finger makes it a pinch).
const TOUCH_WAIT_MS = 150;
const TOUCH_PIXELS = 6;
const PANEL_COMMANDS = new Set(['mode', 'factor', 'offset', 'symmetry', 'invert', 'about']);
const HOVER_PIXELS = 6;

const $ = (id) => document.getElementById(id);

// Position j of `to` (flat, three a position) from position i of `from`; NaN
// (no position) as null, as the JSON form has it.
function copyPosition(to, j, from, i) {
  for (let c = 0; c < 3; c++) {
    const v = from[3 * i + c];
    to[3 * j + c] = Number.isNaN(v) ? null : v;
  }
}

// A typed array's numbers as a plain array (a loop: Array.from takes several
// times as long on millions of numbers).
function plainArray(typed) {
  const out = new Array(typed.length);
  for (let i = 0; i < typed.length; i++) out[i] = typed[i];
  return out;
}

// The overlay's list of calls in a binary answer (scene_binary.js).
function callList(arrays) {
  return {
    ops: arrays.overlayOps,
    modes: arrays.overlayModes,
    links: arrays.overlayLinks,
    xyz: arrays.overlayXyz,
    radii: arrays.overlayRadii,
  };
}

class Playground {
  constructor() {
    this.canvas = $('canvas');
    this.views = new ViewSet();
    this.renderer = new SceneRenderer(this.canvas);
    this.overlay = new OverlayModel();
    this.renderer.setOverlay(this.overlay);
    // What lies near the mouse in each view, and the views' density layers.
    this.index = new ViewIndex();
    this.renderer.setDensity((view) => this.index.density(view));
    this.channel = new Channel(
      (answer, action) => this.apply(answer, action),
      (message, action, status) => this.refused(message, action, status),
    );
    this.panel = new OptionsPanel(
      $('panel'),
      (control, value) => this.channel.send(...panelCommand(control, value)),
      (control) => this.channel.send(...panelCommand(control)),
    );
    this.scene = null;
    this.drag = null;
    this.navigation = null;
    this.renderQueued = false;
    // Milliseconds spent applying answers and drawing, for the curious.
    this.stats = { answers: 0, apply: 0, renders: 0, render: 0 };
    this.messages = [];
    this.fingers = new TwoFingers();
    this.pairsPanel = new PairsPanel(document.body, {
      send: (action, body) => this.channel.send(action, body),
      onMode: (mode) => {
        document.body.classList.toggle('choosing', mode === 'choose');
        this.chooser?.reset();
      },
    });
    this.chooser = new ChooseMouse({
      choosePairs: (pairs) => this.pairsPanel.choose(pairs),
      select: (points) => this.channel.send('select', { selection: points.join(','), pick: true }),
      onEnd: (point) => {
        this.renderer.setHover(point === null || !this.scene ? null : this.scene.points.slice(3 * point, 3 * point + 3));
        if (point !== null) this.say(`Point ${point} is the handle end: click its anchor end`);
        this.requestRender();
      },
      box: $('select-box'),
      candidates: (view, ...box) => this.index.pointsIn(view, ...box),
    });
    this.lengths = new LengthsTable($('lengths-card'), (action, body, problem) =>
      problem ? this.say(problem, true) : this.channel.send(action, body),
    );
    this.opener = new FileOpener({
      input: $('open-file'),
      dropZone: document.body,
      onText: (file, text) => this.channel.send('open', { file, text }),
      onProblem: (title, text) => this.showMessage({ kind: 'error', title, text }),
    });
    this.wireUp();
  }

  async start() {
    this.resize();
    await this.channel.load();
    this.channel.listen();
    this.views.fit(this.scene.bounds);
    this.requestRender();
  }

  // ---- answers from the server

  apply(answer, action) {
    const started = performance.now();
    if (answer.full) this.applyFull(answer);
    else this.applyChanges(answer);
    this.scene.held = answer.held;
    this.scene.unsaved = answer.unsaved;
    if (answer.panel) {
      this.lastPanel = answer.panel;
      this.panel.update(answer.panel);
    }
    if (answer.help !== undefined) $('help').textContent = answer.help;
    if (answer.about && action !== 'sync') this.showAbout(answer.about);
    for (const box of answer.messages ?? []) this.showMessage(box);
    if (action === 'save') this.say(`Saved to ${this.scene.output}`);
    if (action === 'revert') this.say('Every point is back where the file has it');
    if (action === 'press' && this.drag) this.grabbed(answer.held);
    if (action === 'open') this.opened();
    for (const note of answer.notes ?? []) this.say(note);
    this.pairsPanel.update(this.scene.selected);
    this.lengths.update(this.scene);
    $('btn-save').classList.toggle('attention', answer.unsaved && this.scene.output !== null);
    this.requestRender();
    this.stats.apply += performance.now() - started;
    this.stats.answers += 1;
  }

  // The whole scene (the binary form: scene_binary.js). Points, original
  // positions and handles are kept as plain arrays of numbers (a handle with
  // no position as nulls), as the JSON form has them; the handles' links say
  // which point each one follows.
  applyFull(s) {
    const a = s.arrays;
    const points = plainArray(a.points);
    const original = plainArray(a.original);
    const first = this.scene === null || this.scene.name !== s.name || this.scene.points.length !== points.length;
    this.handleLinks = a.handleLinks.slice();
    this.handleIndex = null;
    const handles = new Array(3 * s.handleCount);
    let own = 0;
    for (let j = 0; j < s.handleCount; j++) {
      if (this.handleLinks[j] !== NO_LINK) copyPosition(handles, j, points, this.handleLinks[j]);
      else copyPosition(handles, j, a.handleOwn, own++);
    }
    this.scene = {
      name: s.name,
      output: s.output,
      points,
      original,
      edges: a.edges,
      selected: plainArray(a.selected),
      handles,
      bounds: first ? bounds(points, original) : this.scene.bounds,
    };
    this.index.setScene(this.scene);
    this.renderer.setMesh(points, original, a.edges, a.selected, this.scene.bounds.center);
    this.renderer.setHandles(handles);
    this.overlay.setCallList(callList(a), points);
    this.renderer.setOverlay(this.overlay);
    this.renderer.groundGrid(this.scene.bounds);
    $('mesh-name').textContent = s.name.split('/').pop();
    $('mesh-name').title = s.name;
    const save = $('btn-save');
    save.disabled = s.output === null;
    save.title = s.output === null ? 'Start the server with -o OUT.obj to save' : `Write ${s.output}`;
    $('points-info').textContent =
      `${points.length / 3} points, ${a.selected.length} selected, ${Math.floor(a.selected.length / 2)} pairs`;
  }

  // What changed: the moved points first, then every handle and overlay call
  // that follows one of them, then what the answer names.
  applyChanges(c) {
    const a = c.arrays;
    const { points, handles } = this.scene;
    const moved = a.movedIndex;
    const xyz = a.movedXyz;
    for (let k = 0; k < moved.length; k++) {
      for (let i = 0; i < 3; i++) points[3 * moved[k] + i] = xyz[3 * k + i];
    }
    this.renderer.movePoints(moved, xyz);
    this.index.pointsMoved(moved, 1);
    const changed = [];
    const resized = c.handleCount * 3 !== handles.length;
    if (resized) {
      const before = handles.length / 3;
      handles.length = 3 * c.handleCount;
      handles.fill(null, 3 * before);
      const links = new Uint32Array(c.handleCount).fill(NO_LINK);
      links.set(this.handleLinks.subarray(0, Math.min(before, c.handleCount)));
      this.handleLinks = links;
      this.handleIndex = null;
    }
    if (moved.length > 0 && c.handleCount > 0) {
      this.handleIndex ??= new LinkIndex(this.handleLinks, points.length / 3);
      for (const p of moved) this.handleIndex.forEach(p, (j) => {
        copyPosition(handles, j, points, p);
        changed.push(j);
      });
    }
    let own = 0;
    for (let k = 0; k < a.handleIndex.length; k++) {
      const j = a.handleIndex[k];
      const link = a.handleLinks[k];
      if (link !== NO_LINK) copyPosition(handles, j, points, link);
      else copyPosition(handles, j, a.handleOwn, own++);
      if (this.handleLinks[j] !== link) this.handleIndex = null;
      this.handleLinks[j] = link;
      changed.push(j);
    }
    if (resized || changed.length > 0) this.renderer.setHandles(handles, resized ? null : changed);
    this.index.handlesChanged(changed, 1);
    const touched = this.overlay.applyChanges(moved, points, c.overlayLength, a.overlaySlots, callList(a));
    this.renderer.setOverlay(this.overlay, touched);
  }

  // Another mesh: framed in every view, nothing half chosen.
  opened() {
    this.chooser.reset();
    this.views.fit(this.scene.bounds);
    this.say(`Opened ${this.scene.name}`);
  }

  refused(message, action, status) {
    if (action === 'drag' && status === 409) return; // the press grabbed nothing
    if (action === 'open') return this.showMessage({ kind: 'error', title: 'The mesh was not opened', text: message });
    this.say(message, true);
    if (PANEL_COMMANDS.has(action) && this.lastPanel) this.panel.update(this.lastPanel, true);
  }

  // ---- the mouse

  wireUp() {
    const c = this.canvas;
    c.addEventListener('contextmenu', (e) => e.preventDefault());
    c.addEventListener('pointerdown', (e) => this.pointerDown(e));
    c.addEventListener('mousedown', (e) => this.mouseDown(e));
    c.addEventListener('pointermove', (e) => this.pointerMove(e));
    c.addEventListener('pointerup', (e) => this.pointerUp(e));
    c.addEventListener('pointercancel', (e) => this.pointerUp(e));
    c.addEventListener('wheel', (e) => this.wheel(e), { passive: false });
    c.addEventListener('pointerleave', () => this.hover(null));
    c.addEventListener('dblclick', (e) => this.maximise(e));
    $('btn-open').addEventListener('keydown', (e) => {
      if (e.key !== 'Enter' && e.key !== ' ') return;
      e.preventDefault();
      $('open-file').click();
    });
    new ResizeObserver(() => this.resize()).observe($('viewport'));
    window.addEventListener('keydown', (e) => {
      if (e.target.closest && e.target.closest('input, select, dialog')) return;
      if (e.key === 'Escape' && this.drag) {
        e.preventDefault();
        return this.cancelDrag();
      }
      if (e.key === 'Escape' && this.pairsPanel.mode === 'choose') return this.chooser.reset();
      const ctrl = e.ctrlKey || e.metaKey;
      if (ctrl && !this.drag && (e.key === 'z' || e.key === 'Z' || e.key === 'y' || e.key === 'Y')) {
        e.preventDefault();
        this.channel.send(e.key.toLowerCase() === 'y' || e.shiftKey ? 'redo' : 'undo');
        return;
      }
      if (e.key === 'f' || e.key === 'F') {
        this.views.fit(bounds(this.scene.points, this.scene.original));
        this.requestRender();
      }
    });
    const act = (id, action, body) => $(id).addEventListener('click', () => this.channel.send(action, body?.() ?? {}));
    act('btn-keep', 'keep');
    act('btn-reset', 'reset');
    act('btn-drop', 'drop');
    act('btn-undo', 'revert');
    act('btn-save', 'save');
    for (const dialog of document.querySelectorAll('dialog')) {
      dialog.querySelector('.close').addEventListener('click', () => dialog.close());
    }
    $('message-dialog').addEventListener('close', () => this.nextMessage());
  }

  local(e) {
    const r = this.canvas.getBoundingClientRect();
    return this.views.hit(e.clientX - r.left, e.clientY - r.top);
  }

  pointerDown(e) {
    const at = this.local(e);
    if (!at || !this.scene) return;
    this.canvas.setPointerCapture(e.pointerId);
    this.mousePress = null;
    if (e.pointerType === 'touch') return this.touchDown(e, at);
    // The press waits for the mouse event that follows at once: it counts the clicks.
    this.mousePress = at;
  }

  // A double click is one gesture: it maximises the view (or brings back all
  // four), and its first click acts as any click does. Its second press (the
  // browser counts clicks in `detail`) is not the tool's: sent, it would grab
  // the end the first click made the handle (a click away from the handles
  // would move it there), a second step of the history for one gesture.
  mouseDown(e) {
    const at = this.mousePress;
    this.mousePress = null;
    if (!at) return;
    if (e.button === 0 && e.detail >= 2 && !e.altKey) return;
    this.press(e, at);
  }

  // A press of the tool's mouse (or, choosing pairs, of the chooser's).
  press(e, at) {
    const navigate = e.button === 1 || (e.button === 0 && e.altKey);
    if (navigate) {
      const orbit = at.name === 'persp' && !e.shiftKey;
      this.navigation = { name: at.name, orbit, x: e.clientX, y: e.clientY };
      return;
    }
    if (e.button !== 0 && e.button !== 2) return;
    if (this.pairsPanel.mode === 'choose' && e.button === 0) {
      this.choosing = true;
      return this.chooser.down(at, this.views.rects[at.name], e.shiftKey);
    }
    // A press while the last one is still unanswered (a double click) waits for nothing: it is not sent.
    if (this.drag && !this.drag.answered) return;
    const right = e.button === 2;
    const { position, handle } = this.pressPosition(at, right);
    // Drags wait for the press's answer: they go on the plane of the handle
    // the server says it holds (`pending`: the newest mouse position meanwhile).
    this.drag = { name: at.name, grabbed: position, handle, right, holding: !right, answered: false, pending: null };
    // The views' density layers stay as they are while the drag lasts, the
    // dragged points and their overlay drawn over them.
    this.renderer.hold(true);
    this.hover(null);
    const grab = right ? {} : { handle: handle >= 0 ? handle : 'start' };
    this.channel.send('press', { position, ctrl: e.ctrlKey, right, ...grab });
  }

  // The press's answer names the handle the host holds (null: none, so drags
  // go nowhere). Drags keep that handle's third coordinate (its plane in
  // perspective), also when the tool's `start` chose it for a press away from
  // every handle.
  grabbed(held) {
    const drag = this.drag;
    drag.answered = true;
    if (held === null || held < 0 || 3 * held + 2 >= this.scene.handles.length) {
      drag.holding = held !== null;
    } else {
      const position = this.scene.handles.slice(3 * held, 3 * held + 3);
      if (position.every(Number.isFinite)) drag.grabbed = position;
    }
    if (drag.pending) this.dragTo(drag.pending.x, drag.pending.y, drag.pending.ctrl);
    if (drag.released) this.letGo();
  }

  // Esc: the press and its drags are taken back (a session command, so a
  // replay does the same).
  cancelDrag() {
    this.drag = null;
    this.renderer.hold(false);
    this.stopAutoPan();
    this.channel.send('cancel');
    this.say('The drag was cancelled: the points are back as they were at the press');
  }

  // Two fingers: the view zooms and pans; a press one finger had made is
  // cancelled. One finger waits a moment before it is the tool's press.
  touchDown(e, at) {
    this.fingers.down(e.pointerId, e.clientX, e.clientY);
    if (this.fingers.count === 1) {
      const touch = { e, at, x: e.clientX, y: e.clientY };
      touch.timer = setTimeout(() => this.touchPress(), TOUCH_WAIT_MS);
      this.touch = touch;
      return;
    }
    clearTimeout(this.touch?.timer);
    this.touch = null;
    if (this.drag) this.cancelDrag();
    if (this.choosing) this.chooser.reset();
    this.choosing = false;
    this.gesture = { name: at.name };
  }

  touchPress() {
    const touch = this.touch;
    if (!touch) return;
    clearTimeout(touch.timer);
    this.touch = null;
    this.press(touch.e, touch.at);
  }

  maximise(e) {
    const at = this.local(e);
    if (!at) return;
    this.views.toggleMaximised(at.name);
    this.resize();
  }

  // Where a press lands: on the handle under the mouse, or the mouse's own
  // model position (on the plane facing the view through its middle).
  pressPosition(at, right) {
    const { view, sx, sy } = at;
    const handles = this.scene.handles;
    const handle = right ? -1 : this.pickHandle(view, sx, sy);
    if (handle >= 0) return { position: handles.slice(3 * handle, 3 * handle + 3), handle };
    const through = view.kind === 'ortho' ? view.center : view.target;
    return { position: unproject(view, sx, sy, through), handle: -1 };
  }

  // The handle under a view position: the nearest, ties as handle_pick.js says.
  pickHandle(view, sx, sy) {
    const handles = this.scene.handles;
    const circles = this.overlay.circleAnchor.length / 3;
    const circle = (k) => (k < circles ? this.overlay.circleCentre(k).anchor : null);
    const near = (x, y, radius) => this.index.handlesNear(view, x, y, radius);
    const nearest = (x, y, radius) => this.index.nearestHandle(view, x, y, radius);
    return pickHandle(view, handles, sx, sy, PICK_PIXELS, currentEndTest(handles, circle), near, nearest);
  }

  pointerMove(e) {
    if (e.pointerType === 'touch' && this.fingers.count > 0) {
      const change = this.fingers.move(e.pointerId, e.clientX, e.clientY);
      if (change && this.gesture) {
        const r = this.views.rects[this.gesture.name];
        const cr = this.canvas.getBoundingClientRect();
        // Pan first, then zoom about the new middle: what was under the
        // fingers stays under them.
        this.views.pan(this.gesture.name, change.dx, change.dy);
        this.views.zoom(this.gesture.name, change.x - cr.left - r.x, change.y - cr.top - r.y, change.zoom);
        return this.requestRender();
      }
      if (this.touch && Math.hypot(e.clientX - this.touch.x, e.clientY - this.touch.y) >= TOUCH_PIXELS) this.touchPress();
    }
    if (this.choosing) {
      const r = this.views.rects[this.chooser.press?.at.name ?? 'top'];
      const cr = this.canvas.getBoundingClientRect();
      return this.chooser.move(e.clientX - cr.left - r.x, e.clientY - cr.top - r.y);
    }
    if (this.navigation) {
      const n = this.navigation;
      const dx = e.clientX - n.x;
      const dy = e.clientY - n.y;
      n.x = e.clientX;
      n.y = e.clientY;
      if (n.orbit) this.views.orbit(dx, dy);
      else this.views.pan(n.name, dx, dy);
      return this.requestRender();
    }
    const at = this.local(e);
    if (this.drag) return this.dragTo(e.clientX, e.clientY, e.ctrlKey);
    // Hovering looks at the handles and pair lines near the mouse (view_index.js): once a frame is enough.
    this.pendingHover = at;
    if (this.hoverQueued) return;
    this.hoverQueued = true;
    requestAnimationFrame(() => {
      this.hoverQueued = false;
      if (!this.drag && !this.navigation) this.hover(this.pendingHover);
    });
  }

  // The mouse at a page position while a drag holds a handle: the model
  // position on the grabbed point's plane, within the view (beyond its edge
  // the view pans instead, and the handle follows the edge).
  dragTo(clientX, clientY, ctrl) {
    const drag = this.drag;
    if (!drag.answered) {
      drag.pending = { x: clientX, y: clientY, ctrl };
      return;
    }
    if (!drag.holding) return;
    const view = this.views.views[drag.name];
    const r = this.views.rects[drag.name];
    const cr = this.canvas.getBoundingClientRect();
    const sx = Math.max(0, Math.min(r.width, clientX - cr.left - r.x));
    const sy = Math.max(0, Math.min(r.height, clientY - cr.top - r.y));
    const position = unproject(view, sx, sy, drag.grabbed);
    drag.last = position;
    drag.mouse = { x: clientX, y: clientY, ctrl };
    this.channel.send('drag', { position, ctrl }, { merge: true });
    const [vx, vy] = edgeSpeed(r.width, r.height, clientX - cr.left - r.x, clientY - cr.top - r.y);
    if (vx !== 0 || vy !== 0) this.autoPan();
    else this.stopAutoPan();
  }

  // Near the edge the view moves a little every frame while the mouse stays.
  autoPan() {
    if (this.panFrame) return;
    const step = () => {
      this.panFrame = null;
      const drag = this.drag;
      if (!drag || !drag.mouse) return;
      const r = this.views.rects[drag.name];
      const cr = this.canvas.getBoundingClientRect();
      const [vx, vy] = edgeSpeed(r.width, r.height, drag.mouse.x - cr.left - r.x, drag.mouse.y - cr.top - r.y);
      if (vx === 0 && vy === 0) return;
      this.views.pan(drag.name, -vx, -vy);
      this.requestRender();
      this.dragTo(drag.mouse.x, drag.mouse.y, drag.mouse.ctrl);
      this.panFrame ??= requestAnimationFrame(step);
    };
    this.panFrame = requestAnimationFrame(step);
  }

  stopAutoPan() {
    if (this.panFrame) cancelAnimationFrame(this.panFrame);
    this.panFrame = null;
  }

  pointerUp(e) {
    if (e.pointerType === 'touch') {
      this.fingers.up(e.pointerId);
      if (this.gesture) {
        if (this.fingers.count === 0) this.gesture = null;
        return;
      }
      if (this.touch) this.touchPress();
    }
    if (this.choosing) {
      this.choosing = false;
      const pairs = pairsOf(this.scene.selected);
      return this.chooser.up(this.scene, pairs, PICK_PIXELS);
    }
    if (this.navigation) {
      this.navigation = null;
      return;
    }
    if (!this.drag) return;
    // A release before the press's answer waits for it (and the drags it holds back).
    if (!this.drag.answered) {
      this.drag.released = true;
      return;
    }
    this.letGo();
    this.hover(this.local(e));
  }

  letGo() {
    this.drag = null;
    this.renderer.hold(false);
    this.requestRender();
    this.stopAutoPan();
    this.channel.send('release');
  }

  wheel(e) {
    e.preventDefault();
    const at = this.local(e);
    if (!at) return;
    this.views.zoom(at.name, at.sx, at.sy, Math.pow(1.0015, -e.deltaY));
    this.requestRender();
  }

  // ---- hovering: the handle the mouse would grab, and each pair's lengths

  hover(at) {
    if (!this.scene) return;
    let handlePosition = null;
    let text = '';
    const pair = at ? this.index.pairAt(at.view, at.sx, at.sy, HOVER_PIXELS) : -1;
    if (at) {
      const handle = this.pickHandle(at.view, at.sx, at.sy);
      if (handle >= 0) {
        handlePosition = this.scene.handles.slice(3 * handle, 3 * handle + 3);
        const point = this.scene.selected[handle];
        text = `Handle ${handle}: point ${point} of pair ${Math.floor(handle / 2)}`;
      }
      if (pair >= 0) text = (text ? text + ' · ' : '') + this.pairText(pair);
    }
    this.hoverPair(pair);
    this.renderer.setHover(handlePosition);
    this.showTooltip(at, text);
    this.requestRender();
  }

  // Pair k (-1: none) under the mouse: its points and overlay are drawn one
  // by one over the views' density layers.
  hoverPair(k) {
    const { selected, points } = this.scene;
    if (k === this.hoverFocus?.pair && this.hoverFocus.calls === this.overlay.slotOf) return;
    if (k < 0 || 2 * k + 1 >= selected.length) {
      this.hoverFocus = null;
    } else {
      const ends = [selected[2 * k], selected[2 * k + 1]];
      const slots = this.overlay.slotsOf(ends, Math.floor(points.length / 3));
      this.hoverFocus = { pair: k, calls: this.overlay.slotOf, points: new Set(ends), ...slots };
    }
    this.renderer.setHoverPair(this.hoverFocus);
  }

  // "Pair k (points a–b): before → now", for pair k's line under the mouse.
  pairText(k) {
    const { points, original, selected } = this.scene;
    const at = (flat, i) => flat.slice(3 * i, 3 * i + 3);
    const [p, q] = [selected[2 * k], selected[2 * k + 1]];
    const before = distance(at(original, p), at(original, q));
    const now = distance(at(points, p), at(points, q));
    const ratio = before > 0 ? ` (${shown((now / before) * 100)} %)` : '';
    return `Pair ${k} (points ${p}–${q}): length ${shown(before)} → ${shown(now)}${ratio}`;
  }

  showTooltip(at, text) {
    const tip = $('tooltip');
    tip.hidden = text === '';
    $('info').textContent = text;
    if (text === '' || !at) return;
    tip.textContent = text;
    const r = this.views.rects[at.name];
    tip.style.left = `${r.x + at.sx + 14}px`;
    tip.style.top = `${r.y + at.sy + 14}px`;
  }

  // ---- dialogs and the status line

  showMessage(box) {
    this.messages.push(box);
    if (!$('message-dialog').open) this.nextMessage();
  }

  nextMessage() {
    const box = this.messages.shift();
    if (!box) return;
    const dialog = $('message-dialog');
    dialog.dataset.kind = box.kind;
    $('message-kind').textContent = box.kind;
    $('message-title').textContent = box.title;
    $('message-text').textContent = box.text;
    dialog.showModal();
  }

  showAbout(about) {
    $('about-image').src = about.picture ?? `/api/about.png?serial=${about.serial}`;
    $('about-texts').textContent = about.texts.join(' · ');
    $('about-dialog').showModal();
  }

  say(text, error = false) {
    const s = $('notice');
    s.textContent = text;
    s.classList.toggle('error', error);
    clearTimeout(this.noticeTimer);
    this.noticeTimer = setTimeout(() => (s.textContent = ''), 6000);
  }

  // ---- drawing

  resize() {
    const box = $('viewport').getBoundingClientRect();
    this.renderer.setSize(box.width, box.height);
    this.views.layout(box.width, box.height);
    for (const name of VIEW_NAMES) {
      const label = document.querySelector(`.view-label[data-view="${name}"]`);
      label.hidden = !this.views.shown.includes(name);
      const r = this.views.rects[name];
      label.style.left = `${r.x + 8}px`;
      label.style.top = `${r.y + 6}px`;
      label.textContent = VIEW_TITLES[name];
    }
    this.requestRender();
  }

  requestRender() {
    if (this.renderQueued) return;
    this.renderQueued = true;
    requestAnimationFrame(() => {
      this.renderQueued = false;
      if (!this.scene) return;
      const started = performance.now();
      const shownViews = Object.fromEntries(this.views.shown.map((name) => [name, this.views.views[name]]));
      this.renderer.render(shownViews, this.views.rects, this.scene.bounds);
      this.stats.render += performance.now() - started;
      this.stats.renders += 1;
    });
  }

  // ---- for tests and the curious: where a model point is on the page

  clientPosition(name, point) {
    const s = project(this.views.views[name], point);
    const r = this.views.rects[name];
    const cr = this.canvas.getBoundingClientRect();
    return s && { x: cr.left + r.x + s[0], y: cr.top + r.y + s[1] };
  }
}

const playground = new Playground();
window.playground = playground;
playground.ready = playground.start().catch((error) => {
  playground.say(`Cannot load the scene: ${error.message}`, true);
  throw error;
});
