// The page's own logic without a browser: the views' mapping between model
// and screen, the host-like pick, and the overlay's pen.
import assert from 'node:assert/strict';
import { describe, test } from 'node:test';
import { ORTHO_AXES, clipSegment, orbitAxes, pickNearest, project, unproject, unitsPerPixel } from '../src/geometry.js';
import { OverlayModel } from '../src/overlay_model.js';
import { pointsInBox } from '../src/choose_mouse.js';
import { EDGE_SPEED, TwoFingers, edgeSpeed } from '../src/gestures.js';
import { currentEndTest, pickHandle } from '../src/handle_pick.js';
import { SHORT_CHARACTERS, pairLengths, short, sortRows } from '../src/lengths_table.js';
import { selectionText } from '../src/pairs_panel.js';
import { screenProjector } from '../src/geometry.js';
import { ViewIndex, nearestPair, shadeOf } from '../src/view_index.js';
import { DensityCounter, MOST_LINES, MOST_POINTS, shiftedView } from '../src/kind_density.js';

const ortho = (name) => ({ kind: 'ortho', axes: ORTHO_AXES[name], center: [1, 2, 3], pixelsPerUnit: 40, width: 400, height: 300 });

describe('views', () => {
  test('the orthographic views show the two axes a modeler shows, up is up', () => {
    // [view, model point, screen offset from the middle in units (right, down)]
    const cases = [
      ['front', [2, 3, 9], [1, -1]],
      ['top', [2, 9, 4], [1, -1]],
      ['side', [9, 3, 4], [1, -1]],
    ];
    for (const [name, p, [right, down]] of cases) {
      const s = project(ortho(name), p);
      assert.deepEqual([s[0], s[1]], [200 + right * 40, 150 + down * 40], name);
    }
  });

  test('a mouse position in an orthographic view keeps the third coordinate of the grabbed point exactly', () => {
    const grabbed = [0.1, 0.7, -3.3];
    for (const name of ['front', 'top', 'side']) {
      const v = ortho(name);
      const hidden = ORTHO_AXES[name].forward.findIndex((c) => c !== 0);
      for (const [sx, sy] of [[13, 250], [200.5, 149.25], [399, 0]]) {
        const p = unproject(v, sx, sy, grabbed);
        assert.equal(p[hidden], grabbed[hidden], `${name} keeps axis ${hidden}`);
        const back = project(v, p);
        assert.ok(Math.abs(back[0] - sx) < 1e-9 && Math.abs(back[1] - sy) < 1e-9, `${name} round trip`);
      }
    }
  });

  test('in perspective the mouse meets the plane through the grabbed point facing the camera', () => {
    const v = { kind: 'persp', axes: orbitAxes(0.7, 0.4), target: [0, 1, 0], distance: 12, fovY: 0.8, width: 500, height: 400 };
    const grabbed = [1, 2, -0.5];
    const p = unproject(v, 321, 117, grabbed);
    const depth = (q) => q.reduce((sum, c, i) => sum + c * v.axes.forward[i], 0);
    assert.ok(Math.abs(depth(p) - depth(grabbed)) < 1e-9);
    const s = project(v, p);
    assert.ok(Math.abs(s[0] - 321) < 1e-7 && Math.abs(s[1] - 117) < 1e-7);
    assert.ok(unitsPerPixel(v, [0, 1, 0]) > 0);
  });

  test('the orbit frame is the front view at rest and stays a left-handed frame', () => {
    assert.deepEqual(orbitAxes(0, 0).right.map((c) => c + 0), [1, 0, 0]);
    for (const [yaw, pitch] of [[0, 0], [1, 0.3], [-2, -1.2]]) {
      const { right, up, forward } = orbitAxes(yaw, pitch);
      const cross = [right[1] * up[2] - right[2] * up[1], right[2] * up[0] - right[0] * up[2], right[0] * up[1] - right[1] * up[0]];
      cross.forEach((c, i) => assert.ok(Math.abs(c - forward[i]) < 1e-12));
    }
  });

  test('the pick takes the nearest handle on the screen, the higher index on a tie, none beyond the radius', () => {
    const v = ortho('front');
    // Handles 0 and 2 coincide on the screen (they differ only in z); 1 is apart; 3 has no position.
    const handles = [1, 2, 0, 3, 2, 0, 1, 2, 5, null, null, null];
    const at = project(v, [1, 2, 0]);
    assert.equal(pickNearest(v, handles, at[0] + 3, at[1], 8), 2);
    assert.equal(pickNearest(v, handles, at[0] + 9, at[1], 8), -1);
    const one = project(v, [3, 2, 0]);
    assert.equal(pickNearest(v, handles, one[0] - 2, one[1] + 2, 8), 1);
  });
});

describe('ties and gestures', () => {
  test('on a tie the pair\'s current handle end wins, then the end nearer the camera; apart, the nearest', () => {
    const v = ortho('top');
    // Pair 0: ends 0 and 1 one over the other in the top view; pair 1: ends 2 and 3 likewise.
    const handles = [0, 2, 0, 0, 0, 0, 5, 0, 0, 5, 3, 0];
    const depth = (i) => project(v, handles.slice(3 * i, 3 * i + 3))[2];
    const nearer = (i, j) => (depth(i) < depth(j) ? i : j);
    const at = (i) => project(v, handles.slice(3 * i, 3 * i + 3));
    // No current end known: the end nearer the camera, whichever index it has.
    assert.equal(pickHandle(v, handles, ...at(0).slice(0, 2), 8), nearer(0, 1));
    assert.equal(pickHandle(v, handles, ...at(2).slice(0, 2), 8), nearer(2, 3));
    // The overlay's circle at an end makes it the current end: it wins over the nearer one.
    for (const [circle, expected] of [[[0, 0, 0], 1], [[0, 2, 0], 0]]) {
      const isCurrent = currentEndTest(handles, (k) => (k === 0 ? circle : null));
      assert.equal(pickHandle(v, handles, ...at(0).slice(0, 2), 8, isCurrent), expected);
    }
    // A handle a pixel apart is no tie: the nearest is taken.
    const front = ortho('front');
    const one = project(front, [0, 2, 0]);
    assert.equal(pickHandle(front, handles, one[0], one[1] + 1, 8), 0);
    assert.equal(pickHandle(front, handles, one[0] + 30, one[1], 8), -1);
  });

  test('a drag pans its view only near an edge, faster nearer it, up to the top speed beyond it', () => {
    const cases = [
      [[200, 150], [0, 0]],
      [[2, 150], [-EDGE_SPEED * (26 / 28), 0]],
      [[-40, 150], [-EDGE_SPEED, 0]],
      [[399, 299], [EDGE_SPEED * (27 / 28), EDGE_SPEED * (27 / 28)]],
      [[200, 500], [0, EDGE_SPEED]],
    ];
    for (const [[x, y], expected] of cases) {
      const got = edgeSpeed(400, 300, x, y);
      for (let i = 0; i < 2; i++) assert.ok(Math.abs(got[i] - expected[i]) < 1e-9, `${x},${y}: ${got}`);
    }
  });

  test('two fingers give the zoom and the pan of their middle; one finger gives nothing', () => {
    const f = new TwoFingers();
    f.down(1, 100, 100);
    assert.equal(f.move(1, 110, 100), null);
    f.down(2, 210, 100);
    const change = f.move(2, 310, 120);
    assert.deepEqual(change, { zoom: Math.hypot(200, 20) / 100, dx: 50, dy: 10, x: 210, y: 110 });
    f.up(1);
    assert.equal(f.move(2, 0, 0), null);
  });

  test('the lengths table: each pair before and now, sorted by any column with ties in pair order', () => {
    const original = [0, 0, 0, 0, 2, 0, 4, 0, 0, 4, 3, 0, 8, 0, 0, 8, 2, 0];
    const points = [...original];
    points[4] = 5;
    const rows = pairLengths(points, original, [1, 0, 3, 2, 5, 4]);
    assert.deepEqual(rows.map((r) => [r.pair, r.handle, r.anchor, r.before, r.now]), [[0, 1, 0, 2, 5], [1, 3, 2, 3, 3], [2, 5, 4, 2, 2]]);
    assert.deepEqual(sortRows(rows, 'before', true).map((r) => r.pair), [0, 2, 1]);
    assert.deepEqual(sortRows(rows, 'before', false).map((r) => r.pair), [1, 0, 2]);
    assert.deepEqual(sortRows(rows, 'now', false).map((r) => r.pair), [0, 1, 2]);
    assert.deepEqual([true, false].map((up) => sortRows(rows, 'pair', up).map((r) => r.pair)), [[0, 1, 2], [2, 1, 0]]);
    // An odd end left over makes no pair.
    assert.equal(pairLengths(points, original, [1, 0, 3]).length, 1);
    assert.deepEqual(
      [[], [3], [0, 1, 2, 5], [1, 3, 4, 5, 9]].map(selectionText),
      ['', '3', '0-2,5', '1,3-5,9'],
    );
  });

  test('a length in the table keeps six digits (five past ten characters) and fits its field', () => {
    const cases = [
      [3, '3'],
      [123.456789, '123.457'],
      [0.00123456789, '0.00123457'],
      [0.000123456789, '1.2346e-4'],
      [0.00000123456789, '1.2346e-6'],
      [1e-7, '1e-7'],
      [123456789012345680000, '1.2346e+20'],
      [987654.321, '987654'],
    ];
    for (const [value, text] of cases) {
      const written = short(value);
      assert.equal(written, text, `${value}`);
      assert.ok(written.length <= SHORT_CHARACTERS, written);
      assert.ok(Math.abs(Number(written) - value) <= value * 1e-4, `${written} reads back as ${value}`);
    }
  });

  test('a box selects the points whose projection lies in it, from any two corners', () => {
    const v = ortho('front');
    const points = [1, 2, 0, 1.5, 2.5, 9, 3, 2, 0];
    const a = project(v, [0.9, 2.6, 0]);
    const b = project(v, [1.6, 1.9, 0]);
    assert.deepEqual(pointsInBox(v, points, a[0], a[1], b[0], b[1]), [0, 1]);
    assert.deepEqual(pointsInBox(v, points, b[0], b[1], a[0], a[1]), [0, 1]);
    assert.deepEqual(pointsInBox(v, points, a[0], a[1], a[0] + 1, a[1] + 1), []);
  });
});

describe('the overlay', () => {
  // One pair as the tool draws it: H (0,2,0), A (0,0,0), V (0,3,0).
  const pair = [
    0, 0, 2, 0, 0, 1, 0, 0, 0, 0,
    0, 0, 2, 0, 1, 1, 0, 3, 0, 101, 0, 0, 2, 0, 1, 1, 0, -3, 0, 101,
    0, 0, 0, 0, 1, 1, 0, 3, 0, 101, 0, 0, 0, 0, 1, 1, 0, -3, 0, 101,
    0, 0, 2, 0, 0, 3, 0.5, 0, 0, 101,
  ];

  test('a pair draws its line solid, four dashed relative marks and a relative circle at the handle end', () => {
    const m = new OverlayModel();
    m.setCalls(pair);
    assert.equal(m.segDashed.length, 5);
    assert.deepEqual(Array.from(m.segDashed), [0, 1, 1, 1, 1]);
    assert.deepEqual(Array.from(m.segA.slice(0, 3)), [0, 2, 0]);
    assert.deepEqual(Array.from(m.segB.slice(0, 3)), [0, 0, 0]);
    // The first mark: from H to H plus V in relative units.
    assert.deepEqual(Array.from(m.segA.slice(3, 6)), [0, 2, 0]);
    assert.deepEqual(Array.from(m.segBRel.slice(3, 6)), [0, 3, 0]);
    assert.deepEqual(Array.from(m.segBRel.slice(6, 9)), [0, -3, 0]);
    assert.deepEqual(m.circleCentre(0), { anchor: [0, 2, 0], rel: [0, 0, 0] });
    assert.equal(m.circleRadius[0], 0.5);
    assert.equal(m.circleRelative[0], 1);
  });

  test('a changed run is laid out again up to the next moveTo; a change of kind asks for a new layout', () => {
    const m = new OverlayModel();
    m.setCalls([...pair, ...pair]);
    const moved = pair.slice(0, 10);
    moved[2] = 5; // H of the second pair's line at y 5
    const touched = m.applyRun(12, moved);
    assert.deepEqual(touched.segments, [5, 6]);
    assert.deepEqual(Array.from(m.segA.slice(15, 18)), [0, 5, 0]);
    assert.deepEqual(Array.from(m.segA.slice(0, 3)), [0, 2, 0], 'the first pair is untouched');
    assert.equal(m.applyRun(0, [3, 0.5, 0, 0, 101]), null);
  });
});

describe('screen grids', () => {
  // A reproducible sequence (mulberry32).
  const random = (seed) => () => {
    seed = (seed + 0x6d2b79f5) | 0;
    let t = Math.imul(seed ^ (seed >>> 15), 1 | seed);
    t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t;
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
  const views = [
    { ...ortho('front'), pixelsPerUnit: 23 },
    { ...ortho('top'), width: 333, height: 211 },
    ortho('side'),
    { kind: 'persp', axes: orbitAxes(0.7, 0.4), target: [1, 0, 2], distance: 9, fovY: 0.8, width: 420, height: 260 },
  ];
  // Points on a coarse lattice (many share a spot on the screen, some a
  // whole position), some behind the perspective camera, some far outside
  // every view, a few without a position.
  function scene(rnd, n) {
    const flat = [];
    const coordinate = () => (rnd() < 0.1 ? (rnd() - 0.5) * 400 : Math.round((rnd() - 0.5) * 24) / 2);
    for (let i = 0; i < n; i++) {
      const hole = rnd();
      if (hole < 0.02) flat.push(null, null, null);
      else if (hole < 0.03) flat.push(NaN, 0, 0);
      else flat.push(coordinate(), coordinate(), coordinate());
    }
    return flat;
  }
  const cursor = (rnd, view, flat, recent = []) => {
    if (rnd() < 0.4) {
      // On a point's own spot (often one that just moved), or half a pixel beside it (ties).
      const i = recent.length && rnd() < 0.5 ? recent[Math.floor(rnd() * recent.length)] : Math.floor(rnd() * (flat.length / 3));
      const s = project(view, flat.slice(3 * i, 3 * i + 3).map((c) => c ?? 0));
      if (s && Number.isFinite(s[0]) && Number.isFinite(s[1])) return [s[0] + (rnd() < 0.5 ? 0 : 0.5), s[1]];
    }
    return [(rnd() * 1.2 - 0.1) * view.width, (rnd() * 1.2 - 0.1) * view.height];
  };

  test('a segment is cut to the rectangle, edges included, the same part whichever end comes first', () => {
    // [ends, the part's parameters or null] in a 100 x 50 rectangle
    const cases = [
      [[10, 10, 90, 40], [0, 1]],
      [[-50, 25, 150, 25], [0.25, 0.75]],
      [[50, -50, 50, 100], [1 / 3, 2 / 3]],
      [[0, -10, 0, 60], [1 / 7, 6 / 7]], // on the left edge
      [[-10, 10, -1, 40], null],
      [[10, 51, 90, 51], null],
      [[-10, 40, 40, -10], [0.2, 0.8]], // a corner to corner diagonal's stretch
      [[-10, 40, 10, 60], [0.5, 0.5]], // touches the corner only
      [[120, 0, 140, 60], null],
      [[30, 30, 30, 30], [0, 1]],
    ];
    for (const [[x0, y0, x1, y1], expected] of cases) {
      for (const reversed of [false, true]) {
        const range = [NaN, NaN];
        const inside = reversed ? clipSegment(x1, y1, x0, y0, 100, 50, range) : clipSegment(x0, y0, x1, y1, 100, 50, range);
        const want = expected && (reversed ? [1 - expected[1], 1 - expected[0]] : expected);
        assert.equal(inside, want !== null, `${[x0, y0, x1, y1]} reversed ${reversed}`);
        if (want) for (let k = 0; k < 2; k++) assert.ok(Math.abs(range[k] - want[k]) < 1e-12, `${[x0, y0, x1, y1]}: ${range} ${want}`);
      }
    }
  });

  test('the grid and the density counts project every point to the same numbers as project()', () => {
    const rnd = random(7);
    const flat = scene(rnd, 400);
    for (const view of views) {
      const toScreen = screenProjector(view);
      // The density layers project inline: a point counted in a cell must be drawn in it too.
      const counter = new DensityCounter(view);
      const out = [0, 0];
      for (let i = 0; i < 400; i++) {
        const p = flat.slice(3 * i, 3 * i + 3).map((c) => c ?? 0);
        const s = project(view, p);
        assert.equal(toScreen(...p, out), s !== null);
        assert.equal(counter.at(...p), s !== null);
        if (s) {
          assert.deepEqual(out, [s[0], s[1]]);
          assert.deepEqual([counter.sx, counter.sy], [s[0], s[1]]);
        }
      }
    }
  });

  test('with a grid, handles, points, boxes and pair lines are chosen as by looking at every one, also after moves', () => {
    const rnd = random(20);
    for (let round = 0; round < 12; round++) {
      const n = 50 + Math.floor(rnd() * 600);
      const points = scene(rnd, n);
      const handles = scene(rnd, 2 * Math.floor(rnd() * 200));
      // Distinct points, as the host selects them; now and then one twice.
      const order = Array.from({ length: n }, (_, i) => i).sort(() => rnd() - 0.5);
      const selected = order.slice(0, Math.floor(rnd() * n)).map((i) => (round % 4 === 3 && rnd() < 0.1 ? 0 : i));
      const index = new ViewIndex();
      index.setScene({ points, handles, selected });
      let moved = [];
      for (let step = 0; step < 4; step++) {
        for (const view of views) {
          for (let q = 0; q < 20; q++) {
            const onPoints = rnd() < 0.5 || handles.length === 0;
            const [sx, sy] = cursor(rnd, view, onPoints ? points : handles, onPoints ? moved.filter((_, k) => k % 4 === 0) : []);
            const radius = [0.5, 6, 8][q % 3];
            const current = (i) => (i * 7 + round) % 3 === 0;
            const near = (x, y, r) => index.handlesNear(view, x, y, r);
            const nearest = (x, y, r) => index.nearestHandle(view, x, y, r);
            const where = `round ${round} step ${step} ${view.kind} ${view.width} at ${sx},${sy} r ${radius}`;
            const plainHandle = pickHandle(view, handles, sx, sy, radius, current);
            assert.equal(pickHandle(view, handles, sx, sy, radius, current, near), plainHandle, where);
            assert.equal(pickHandle(view, handles, sx, sy, radius, current, near, nearest), plainHandle, where);
            const around = index.pointsIn(view, sx - radius, sy - radius, sx + radius, sy + radius);
            const plainPoint = pickNearest(view, points, sx, sy, radius);
            assert.equal(pickNearest(view, points, sx, sy, radius, around), plainPoint, where);
            assert.equal(index.pointGrid(view).nearest(sx, sy, radius) ?? plainPoint, plainPoint, where);
            assert.equal(index.pairAt(view, sx, sy, radius), nearestPair(view, points, selected, sx, sy, radius), where);
            const [x1, y1] = [rnd() * view.width, rnd() * view.height];
            const box = [Math.min(sx, x1), Math.min(sy, y1), Math.max(sx, x1), Math.max(sy, y1)];
            assert.deepEqual(pointsInBox(view, points, sx, sy, x1, y1, index.pointsIn(view, ...box)), pointsInBox(view, points, sx, sy, x1, y1), where);
          }
        }
        // Some points and handles move (a few, or many: the grids sort again), one view changes.
        moved = [];
        for (let m = Math.floor(rnd() * (step % 2 ? n : 12)); m > 0; m--) {
          const i = Math.floor(rnd() * n);
          const p = scene(rnd, 1);
          points.splice(3 * i, 3, ...p);
          moved.push(i, ...p);
        }
        index.pointsMoved(moved);
        const changed = [];
        for (let m = Math.floor(rnd() * 8); m > 0 && handles.length > 0; m--) {
          const i = Math.floor(rnd() * (handles.length / 3));
          const p = scene(rnd, 1);
          handles.splice(3 * i, 3, ...p);
          changed.push(i, ...p);
        }
        index.handlesChanged(changed);
        views[step % 4].pixelsPerUnit *= 1.1;
        views[3].distance *= 0.97;
      }
    }
  });

  test('the density layer: past the pictures\' few thousand unselected points in view, each cell shaded by its count', () => {
    const view = { ...ortho('front'), center: [0, 0, 0], pixelsPerUnit: 1, width: 40, height: 20 };
    // 5,000 points: 4,400 on one spot (cell 2,1), 3 on another (cell 0,0), the rest far out of view.
    const flat = [];
    for (let i = 0; i < 4400; i++) flat.push(-20 + 9, 10 - 5, 0);
    for (let i = 0; i < 3; i++) flat.push(-20 + 1, 10 - 1, i);
    for (let i = flat.length / 3; i < 5000; i++) flat.push(1e6, 0, 0);
    const index = new ViewIndex();
    index.setScene({ points: flat, handles: [], selected: [] });
    const layer = index.density(view);
    assert.equal(layer.columns, 10);
    assert.equal(layer.rows, 5);
    const expected = new Uint8Array(50);
    expected[1 * 10 + 2] = 6; // 4,400 is past 32: the darkest shade
    expected[0] = 2; // 3 is in 2-3
    assert.deepEqual(layer.shades, expected);
    assert.deepEqual([0, 1, 2, 3, 4, 7, 8, 31, 32, 1e6].map(shadeOf), [0, 1, 2, 2, 3, 3, 4, 5, 6, 6]);
    // Selected points are left out: 4,403 - 300 selected is still past 4,000; less 500 it is not.
    index.setScene({ points: flat, handles: [], selected: Array.from({ length: 300 }, (_, i) => i) });
    assert.equal(index.density(view).shades[12], 6);
    index.setScene({ points: flat, handles: [], selected: Array.from({ length: 500 }, (_, i) => i) });
    assert.equal(index.density(view), null);
    // A moved unselected point leaves its cell's count; the layer follows.
    index.setScene({ points: flat, handles: [], selected: [] });
    const before = index.density(view);
    flat.splice(3 * 4400, 3, 1e6, 0, 0);
    index.pointsMoved([4400, 1e6, 0, 0]);
    const after = index.density(view);
    assert.notEqual(after.serial, before.serial);
    assert.equal(after.shades[0], 2);
    flat.splice(3 * 4401, 3, 1e6, 0, 0);
    index.pointsMoved([4401, 1e6, 0, 0]);
    assert.equal(index.density(view).shades[0], 1);
  });
});

describe('density layers of every kind', () => {
  // A front view of 40 x 20 pixels, one pixel a unit, the model's zero at its middle: 10 x 5 cells.
  const view = { kind: 'ortho', width: 40, height: 20, center: [0, 0, 0], pixelsPerUnit: 1, axes: ORTHO_AXES.front };
  const cellsOf = (counter) => Array.from(counter.counts.entries()).filter(([, n]) => n > 0).map(([cell, n]) => (n === 1 ? cell : [cell, n]));

  test('a line counts once in each cell it crosses, and in view within the reach', () => {
    // [from, to] on the screen, whether it is in view, the cells it counts in.
    const cases = [
      [[1, 1, 39, 1], true, [0, 1, 2, 3, 4, 5, 6, 7, 8, 9]],
      [[1, 1, 2, 2], true, [0]],
      [[1, 1, 1, 19], true, [0, 10, 20, 30, 40]],
      // Slanted within one column or one row, upwards or leftwards: every cell between.
      [[3, 19, 1, 1], true, [0, 10, 20, 30, 40]],
      [[39, 3, 1, 1], true, [0, 1, 2, 3, 4, 5, 6, 7, 8, 9]],
      [[-20, 6, 6, 7], true, [10, 11]],
      [[-20, 6, 6, 6], true, [10, 11]],
      [[-5, 6, -1, 6], true, []],
      [[-20, 6, -9, 6], false, []],
      [[41, 21, 60, 30], true, []],
      [[0, 0, NaN, 4], false, []],
      [[39, 19, 45, 25], true, [49]],
    ];
    for (const [ends, inView, cells] of cases) {
      const counter = new DensityCounter(view);
      counter.addLine(...ends);
      assert.equal(counter.inView, inView ? 1 : 0, `${ends}`);
      assert.deepEqual(cellsOf(counter), cells, `${ends}`);
    }
  });

  test('the kinds from the page\'s arrays: points by index, edges, the overlay with its offsets at a fixed size', () => {
    // Model points on the screen at (20 + x, 10 - y).
    const flat = new Float32Array([-19, 9, 0, -15, 9, 0, 10, 0, 0, NaN, 0, 0]);
    assert.deepEqual(cellsOf(new DensityCounter(view).points(flat, [0, 1, 3])), [0, 1]);
    assert.deepEqual(cellsOf(new DensityCounter(view).points(flat)), [0, 1, 27]);
    // From (1, 1) to (30, 10): rows 0, 1, 2 from x = 1, 10.7, 23.6; sampled at half cells, the
    // line's 0.4 pixels in cell 25 fall between two samples (as in the pictures). No line to a NaN.
    assert.deepEqual(cellsOf(new DensityCounter(view).lines(flat, [0, 2, 3, 1])), [0, 1, 2, 12, 13, 14, 15, 26, 27]);
    // A view kept relative to an origin reads positions kept relative to it.
    const shifted = shiftedView(view, [100, 0, 0]);
    assert.deepEqual(cellsOf(new DensityCounter(shifted).points(new Float32Array([-119, 9, 0]))), [0]);
    // The overlay: a segment from (-19, 9) to 0.5 units right of it at 10 pixels a unit, and a circle there.
    const model = new OverlayModel();
    model.setCalls([0, -19, 9, 0, 0, 1, 0.5, 0, 0, 101, 3, 1, 0, 0, 101]);
    assert.deepEqual(cellsOf(new DensityCounter(view).segments(model, 10)), [0, 1]);
    assert.deepEqual(cellsOf(new DensityCounter(view).circles(model, 10)), [1]);
    // A path: each line from where the one before ended, the second by an offset from the pen.
    model.setCalls([0, -19, 9, 0, 0, 1, -19, -9, 0, 0, 1, 0.5, 0, 0, 101, 1, 0, 1, 0, 101]);
    // (1, 1) down to (1, 19), 5 pixels right, 10 pixels up.
    assert.deepEqual(cellsOf(new DensityCounter(view).segments(model, 10)), [0, 10, 20, 21, 30, 31, [40, 2], [41, 2]]);
  });

  test('past the most of a kind in view, shaded cells; up to it, none', () => {
    const counter = new DensityCounter(view);
    for (let k = 0; k < 40; k++) counter.addPoint(2, 2);
    counter.addPoint(-8, 3);
    counter.addPoint(-8.5, 3);
    assert.equal(counter.inView, 41);
    assert.equal(counter.layer(41), null);
    const layer = counter.layer(40);
    assert.deepEqual([layer.columns, layer.rows, layer.shades[0], layer.shades.reduce((a, b) => a + b)], [10, 5, 6, 6]);
    assert.equal(MOST_LINES, 2 * MOST_POINTS);
  });
});
