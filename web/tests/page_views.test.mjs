// The page's views over a mesh of many points, in Chromium: hovering names
// the handle the mouse would grab (the views look only near the mouse, and
// must still find the nearest), and past a few thousand unselected points in
// a view they are drawn as a density layer, the selected points over it.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { project } from '../src/geometry.js';
import { currentEndTest, pickHandle } from '../src/handle_pick.js';
import { idle, launchBrowser, onScreen, openPage, startServer, workFolder } from './harness.mjs';

// SIDE x SIDE points on a lattice of unit steps in the front view's plane.
const SIDE = 100;
const LATTICE = (() => {
  let text = '';
  for (let i = 0; i < SIDE * SIDE; i++) text += `v ${i % SIDE} ${Math.floor(i / SIDE)} 0\n`;
  return text;
})();

// Two corner points (0, 0, 0) and (100, 100, 0), a lone point (83, 17, 0), then 10,000 points in a
// cluster: 100 at each spot of a 10 x 10 lattice of steps of 2 near the
// middle, one behind another along the front view's line of sight.
const CLUSTER = (() => {
  let text = 'v 0 0 0\nv 100 100 0\nv 83 17 0\n';
  for (let spot = 0; spot < 100; spot++)
    for (let k = 0; k < 100; k++) text += `v ${45 + 2 * (spot % 10)} ${45 + 2 * Math.floor(spot / 10)} ${k / 100}\n`;
  return text;
})();

let browser;
before(async () => {
  browser = await launchBrowser();
});
after(async () => {
  await browser?.close();
});

async function session(name, args, mesh = LATTICE) {
  const dir = workFolder(name);
  fs.writeFileSync(path.join(dir, 'mesh.obj'), mesh);
  const server = await startServer(dir, ['mesh.obj', ...args]);
  const { page, errors } = await openPage(browser, server.url);
  return {
    page,
    errors,
    close: async () => {
      await page.close();
      assert.equal(await server.stop(), 0, server.log());
    },
  };
}

const frame = (page) => page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));

// What the page knows that the check needs: the front view, the handles, the
// selection and the overlay's circles (for the pair's current end).
const pageState = (page) =>
  page.evaluate(() => {
    const p = window.playground;
    const circles = p.overlay.circleAnchor.length / 3;
    return {
      view: p.views.views.front,
      handles: Array.from(p.scene.handles),
      selected: Array.from(p.scene.selected),
      circles: Array.from({ length: circles }, (_, k) => p.overlay.circleCentre(k).anchor),
    };
  });

// The pixel of the canvas at a page position, as drawn (red, green, blue).
const pixelAt = (page, x, y) =>
  page.evaluate(([x, y]) => {
    const source = window.playground.canvas;
    const box = source.getBoundingClientRect();
    const scale = source.width / box.width;
    const canvas = document.createElement('canvas');
    canvas.width = source.width;
    canvas.height = source.height;
    const context = canvas.getContext('2d');
    context.drawImage(source, 0, 0);
    return Array.from(context.getImageData(Math.floor((x - box.left) * scale), Math.floor((y - box.top) * scale), 1, 1).data.slice(0, 3));
  }, [x, y]);

describe('a mesh of many points', () => {
  test('hovering names the handle nearest the mouse among ten thousand, also after a zoom', async () => {
    const s = await session('hover-many', []);
    try {
      const { page } = s;
      const tried = [];
      for (const zoomed of [false, true]) {
        if (zoomed) {
          const middle = await onScreen(page, 'front', [50, 50, 0]);
          await page.mouse.move(middle.x, middle.y);
          await page.mouse.wheel(0, -400);
          await frame(page);
        }
        const { view, handles, selected, circles } = await pageState(page);
        assert.equal(handles.length, 3 * SIDE * SIDE, 'every point is a handle');
        const isCurrent = currentEndTest(handles, (k) => circles[k] ?? null);
        for (const [i, dx, dy] of [[0, 0, 0], [4321, 1, 1], [5050, -2, 1], [9999, 0, -1], [777, 3, 0], [5151, 0, 0]]) {
          const at = project(view, handles.slice(3 * i, 3 * i + 3));
          const [sx, sy] = [at[0] + dx, at[1] + dy];
          if (sx < 0 || sy < 0 || sx >= view.width || sy >= view.height) continue;
          // The nearest handle, looking at every one of them.
          const expected = pickHandle(view, handles, sx, sy, 8, isCurrent);
          assert.ok(expected >= 0);
          const page0 = await onScreen(page, 'front', [0, 0, 0]);
          const origin = project(view, [0, 0, 0]);
          await page.mouse.move(page0.x - origin[0] + sx, page0.y - origin[1] + sy);
          await frame(page);
          const text = await page.locator('#info').textContent();
          assert.match(text, new RegExp(`^Handle ${expected}: point ${selected[expected]} of pair ${expected >> 1}( |$)`), `${text} (zoomed ${zoomed})`);
          tried.push(expected === i);
        }
      }
      assert.ok(tried.length >= 8 && tried.filter(Boolean).length >= tried.length / 2, `the aimed handle was the nearest: ${tried}`);
      // Between a pair's ends, on its line: its lengths, and the pair drawn on
      // its own over the layers until the mouse leaves the views.
      const { selected } = await pageState(page);
      for (const k of [2525, 2526]) {
        const [a, b] = [selected[2 * k], selected[2 * k + 1]];
        const middle = await onScreen(page, 'front', [(a % SIDE) + 0.5, Math.floor(a / SIDE), 0]);
        await page.mouse.move(middle.x, middle.y);
        await frame(page);
        assert.match(await page.locator('#info').textContent(), new RegExp(`Pair ${k} \\(points ${a}–${b}\\): length 1 → 1 `));
        assert.equal(await page.evaluate(() => window.playground.hoverFocus?.pair), k);
      }
      await page.mouse.move(1, 1);
      await frame(page);
      assert.equal(await page.evaluate(() => window.playground.hoverFocus), null);
      assert.deepEqual(s.errors, []);
    } finally {
      await s.close();
    }
  });

  test('ten thousand unselected points are drawn as shaded cells; the pair\'s ends are drawn over them', async () => {
    const s = await session('density', ['--pairs', '0:1'], CLUSTER);
    try {
      const { page } = s;
      await frame(page);
      const layers = await page.evaluate(() => {
        const p = window.playground;
        return p.views.shown.map((name) => p.index.density(p.views.views[name]) !== null);
      });
      assert.deepEqual(layers, [true, true, true, true]);
      const near = (a, b, by) => a.every((c, k) => Math.abs(c - b[k]) <= by);
      // The page position of the middle of the density cell a model point falls in (the
      // view's drawing may sit a fraction of a pixel off the page's, so not the cell's edge).
      const cellOf = async (p) => {
        const view = await page.evaluate(() => window.playground.views.views.front);
        const s = project(view, p);
        const at = await onScreen(page, 'front', p);
        const middle = (c) => Math.floor(c / 4) * 4 + 2;
        return { x: at.x - s[0] + middle(s[0]), y: at.y - s[1] + middle(s[1]) };
      };
      // The page's colours as its shaders draw them (their linear values): points #b9c2cd, selected #ffc94d.
      const drawn = (rgb) => rgb.map((c) => Math.round(255 * ((c / 255 + 0.055) / 1.055) ** 2.4));
      const points = drawn([0xb9, 0xc2, 0xcd]);
      // A spot of 100 points is a cell of the darkest shade: the points' own colour.
      const spot = await cellOf([47, 53, 0.5]);
      const dark = await pixelAt(page, spot.x, spot.y);
      assert.ok(near(dark, points, 10), `a full cell: ${dark}, points ${points}`);
      // Between spots (8 pixels apart) no cell has a point: the background or the view's grid shows.
      const between = await cellOf([48, 54, 0]);
      const empty = await pixelAt(page, between.x, between.y);
      assert.ok(empty.every((c) => c < 0x60), `an empty cell: ${empty}`);
      // A lone point is a cell of the faintest shade (15 % over what is under it), not a dot of its colour.
      const lone = await cellOf([83, 17, 0]);
      const under = await pixelAt(page, lone.x + 8, lone.y);
      const faint = await pixelAt(page, lone.x, lone.y);
      assert.ok(near(faint, under.map((c, k) => c + 0.15 * (points[k] - c)), 4), `a cell of one point: ${faint} over ${under}`);
      // The selected points (the pair's ends) are drawn one by one, in their own colour.
      const end = await onScreen(page, 'front', [0, 0, 0]);
      const selected = await pixelAt(page, end.x - 1, end.y);
      assert.ok(near(selected, drawn([0xff, 0xc9, 0x4d]), 10), `a selected point: ${selected}`);
      // A zoom: the layer is made anew for the view as it is now.
      const before = await page.evaluate(() => window.playground.index.density(window.playground.views.views.front).serial);
      await page.mouse.move(spot.x, spot.y);
      await page.mouse.wheel(0, -150);
      await frame(page);
      const after = await page.evaluate(() => window.playground.index.density(window.playground.views.views.front));
      assert.ok(after && after.serial !== before);
      const moved = await cellOf([47, 53, 0.5]);
      assert.ok(near(await pixelAt(page, moved.x, moved.y), points, 10));
      assert.deepEqual(s.errors, []);
    } finally {
      await s.close();
    }
  });
});

// `pairs` pairs stacked at `spots` spots of a lattice (steps of 4) in the front view's plane, one
// behind another: pair k's handle end one above its anchor end, at the spot k % spots. With
// `lone`, two pairs first, apart from the spots: (0, 1) amid the view, (2, 3) at its far corner.
const stacks = (pairs, spots, lone = false) => {
  let text = lone ? 'v 40 10 0\nv 40 9 0\nv 80 31 0\nv 80 30 0\n' : '';
  for (let k = 0; k < pairs; k++) {
    const s = k % spots;
    const [x, y, z] = [4 * (s % 5), 4 * Math.floor(s / 5), Math.floor(k / spots) / 100];
    text += `v ${x} ${y + 1} ${z}\nv ${x} ${y} ${z}\n`;
  }
  return text;
};

// A lattice of SIDE x SIDE points joined by quads: 2 x 100 x 99 edges.
const QUADS = (() => {
  let text = LATTICE;
  for (let row = 0; row + 1 < SIDE; row++)
    for (let column = 0; column + 1 < SIDE; column++) {
      const i = row * SIDE + column + 1;
      text += `f ${i} ${i + 1} ${i + SIDE + 1} ${i + SIDE}\n`;
    }
  return text;
})();

// Which kinds each shown view draws as a density layer (after a frame).
const kindLayers = (page) =>
  page.evaluate(() => {
    const p = window.playground;
    const r = p.renderer;
    return p.views.shown.map((name) => {
      const layers = r.kindDensity[name].layers;
      return Object.keys(layers).filter((kind) => layers[kind] !== null).sort();
    });
  });

describe('past 4,000 points or 8,000 lines of a kind in a view', () => {
  // A pair draws 2 selected points, 2 ghosts, 5 lines and a circle of the overlay.
  const cases = [
    ['1,000 pairs: everything one by one', stacks(1000, 25), ['--select', 'all'], []],
    ['2,500 pairs: their points, ghosts and lines as density, the circles one by one', stacks(2500, 25), ['--select', 'all'], ['ghostPoints', 'segments', 'selectedPoints']],
    ['4,500 pairs: the circles too', stacks(4500, 25), ['--select', 'all'], ['circles', 'ghostPoints', 'segments', 'selectedPoints']],
    ['19,800 mesh edges and one pair: the edges and their ghosts', QUADS, ['--pairs', '0:1'], ['edges', 'ghostEdges']],
  ];
  for (const [title, mesh, args, expected] of cases) {
    test(title, async () => {
      const s = await session('kinds', args, mesh);
      try {
        await frame(s.page);
        assert.deepEqual(await kindLayers(s.page), [expected, expected, expected, expected]);
        // What is a layer is not drawn one by one, what is not is.
        const drawn = await s.page.evaluate(() => {
          const r = window.playground.renderer;
          const objects = ['selectedPoints', 'ghostPoints', 'edges', 'ghostEdges', 'segments', 'circles'];
          return objects.filter((kind) => !r[kind].visible).sort();
        });
        assert.deepEqual(drawn, expected.filter((kind) => kind !== 'handles'));
        assert.deepEqual(s.errors, []);
      } finally {
        await s.close();
      }
    });
  }

  test('a dragged pair is drawn over the layers while held; at the release the layers count it where it is', async () => {
    const s = await session('kinds-drag', ['--select', 'all'], stacks(2500, 25, true));
    try {
      const { page } = s;
      await frame(page);
      const selectedColour = [0xff, 0xc9, 0x4d].map((c) => Math.round(255 * ((c / 255 + 0.055) / 1.055) ** 2.4));
      const near = (a, b, by) => a.every((c, k) => Math.abs(c - b[k]) <= by);
      // A spot of 100 handle ends is a cell of the darkest shade: their own colour.
      const spot = await onScreen(page, 'front', [8, 5, 0.5]);
      const view = await page.evaluate(() => window.playground.views.views.front);
      const cellMiddle = (p) => {
        const at = project(view, p);
        return [Math.floor(at[0] / 4) * 4 + 2 - at[0], Math.floor(at[1] / 4) * 4 + 2 - at[1]];
      };
      const [mx, my] = cellMiddle([8, 5, 0.5]);
      assert.ok(near(await pixelAt(page, spot.x + mx, spot.y + my), selectedColour, 10));
      // The pair under the mouse is drawn one by one over the layers: its two points, its lines and circle.
      const focusNow = () =>
        page.evaluate(() => {
          const r = window.playground.renderer;
          return [r.focusPoints.visible, r.focusSegments.visible, r.focusCircles.visible];
        });
      const start = await onScreen(page, 'front', [40, 10, 0]);
      const middle = await onScreen(page, 'front', [40, 9.5, 0]);
      await page.mouse.move(middle.x + 1, middle.y);
      await frame(page);
      assert.deepEqual(await focusNow(), [true, true, false], 'the lines and ends of the pair under the mouse (its circle is not a layer)');
      const edge = await onScreen(page, 'front', [8, 9.5, 0.5]);
      await page.mouse.move(edge.x + 1, edge.y);
      await frame(page);
      assert.deepEqual(await focusNow(), [true, true, false], 'a pair of a stack');
      await page.mouse.move(edge.x + 1, edge.y + 200);
      await frame(page);
      assert.deepEqual(await focusNow(), [false, false, false], 'no pair under the mouse');
      // The lone pair's handle end, held and pulled 60 pixels up (along its pair).
      await page.mouse.move(start.x, start.y);
      await page.mouse.down();
      for (let i = 1; i <= 6; i++) await page.mouse.move(start.x, start.y - 10 * i);
      await idle(page);
      await frame(page);
      const held = await page.evaluate(() => {
        const r = window.playground.renderer;
        return { points: [...r.pending.points].sort(), lines: r.focusSegments.visible, dots: r.focusPoints.visible, at: Array.from(window.playground.scene.points.slice(0, 3)) };
      });
      assert.deepEqual(held.points, [0], 'the moved handle end');
      assert.ok(held.lines && held.dots);
      assert.ok(held.at[1] > 12, `the handle end moved: ${held.at}`);
      // Drawn one by one where it is now, in the selected points' colour.
      const now = await onScreen(page, 'front', held.at);
      assert.ok(near(await pixelAt(page, now.x, now.y), selectedColour, 10), 'the held point over the layers');
      await page.mouse.up();
      await idle(page);
      await page.mouse.move(edge.x + 1, edge.y + 200);
      await frame(page);
      // Counted where it is: a cell of one point there, none where it was.
      const counted = await page.evaluate(([at, was]) => {
        const p = window.playground;
        const r = p.renderer;
        const layer = r.kindDensity.front.layers.selectedPoints;
        const cell = (q) => {
          const s = p.clientPosition('front', q);
          const box = p.canvas.getBoundingClientRect();
          const [x, y] = [s.x - box.left - p.views.rects.front.x, s.y - box.top - p.views.rects.front.y];
          return layer.shades[Math.floor(y / 4) * layer.columns + Math.floor(x / 4)];
        };
        return { now: cell(at), was: cell(was), pending: r.pending.points.size, lines: r.focusSegments.visible };
      }, [held.at, [40, 10, 0]]);
      assert.deepEqual(counted, { now: 1, was: 0, pending: 0, lines: false });
      assert.deepEqual(s.errors, []);
    } finally {
      await s.close();
    }
  });
});
