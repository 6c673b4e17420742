// What a mouse move over the playground page costs at 100k and 1M points, in
// Debian's Chromium driven by playwright-core (as web/tests/harness.mjs
// does): the page's hover (which handle the mouse would grab, which pair's
// line it is over, the tooltip) called at many places of each view, timed
// inside the page; beside it, in the same run, the same questions answered
// by looking at every handle and pair (as the page did before its grids),
// and the first hover after a view changed (the grids are built then). The
// views are not drawn meanwhile (software WebGL in a headless browser takes
// minutes a frame at 1M points): what is timed is the page's own work.
//
//   node bench/page_hover.mjs ELASTICPULL_HOST [--points 1000000] [--rounds 5] [--moves 200]
//
// Two scenes a size: every point selected (the server's default: N handles,
// N/2 pairs), and one pair selected (N - 2 unselected points: the views
// draw density layers). Prints one row a scene with the median over rounds
// and the lowest and highest round.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';

const require = createRequire(path.resolve('web/package.json'));
const { chromium } = require('playwright-core');

const args = process.argv.slice(2);
const program = args[0] && path.resolve(args[0]);
const option = (name, fallback) => {
  const at = args.indexOf(name);
  return at >= 0 ? Number(args[at + 1]) : fallback;
};
const sizes = args.includes('--points') ? [option('--points')] : [100000, 1000000];
const rounds = option('--rounds', 5);
const moves = option('--moves', 200);
if (!program || !fs.existsSync(program)) {
  console.error('usage: node bench/page_hover.mjs ELASTICPULL_HOST [--points N] [--rounds R] [--moves M]');
  process.exit(2);
}

// N points spread over [-1000, 1000] from a fixed seed, and N/2 two-point
// lines joining points 2i and 2i+1 (as ep_make_line_mesh writes them).
function writeMesh(file, n) {
  let seed = 20240601;
  const next = () => {
    seed = (seed + 0x6d2b79f5) | 0;
    let t = Math.imul(seed ^ (seed >>> 15), 1 | seed);
    t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t;
    return (((t ^ (t >>> 14)) >>> 0) / 4294967296) * 2000 - 1000;
  };
  const out = fs.openSync(file, 'w');
  let chunk = '';
  for (let i = 0; i < n; i++) {
    chunk += `v ${next().toFixed(6)} ${next().toFixed(6)} ${next().toFixed(6)}\n`;
    if (chunk.length > 1 << 20) (fs.writeSync(out, chunk), (chunk = ''));
  }
  for (let i = 0; i < n; i += 2) {
    chunk += `l ${i + 1} ${i + 2}\n`;
    if (chunk.length > 1 << 20) (fs.writeSync(out, chunk), (chunk = ''));
  }
  fs.writeSync(out, chunk);
  fs.closeSync(out);
}

function serve(dir, serveArgs) {
  const child = spawn(program, ['serve', ...serveArgs], { cwd: dir, stdio: ['ignore', 'pipe', 'pipe'] });
  let out = '';
  return new Promise((resolve, reject) => {
    child.on('exit', (code) => reject(new Error(`serve ended with ${code}: ${out}`)));
    child.stderr.on('data', (d) => (out += d));
    child.stdout.on('data', (d) => {
      out += d;
      const found = out.match(/Open (http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+) /);
      if (found) {
        child.removeAllListeners('exit');
        resolve({ url: found[1], stop: () => child.kill('SIGINT') });
      }
    });
  });
}

// Inside the page: `moves` hovers at spread places of every view, each timed;
// then as many plain looks at every handle and pair (at fewer places: they
// are slow); then the first hover after each view zoomed a little.
async function measure(page, moves) {
  return page.evaluate(async (moves) => {
    const p = window.playground;
    const { pickHandle, currentEndTest } = await import('./handle_pick.js');
    const { nearestPair } = await import('./view_index.js');
    const places = [];
    let seed = 7;
    const rnd = () => ((seed = (seed * 16807) % 2147483647) / 2147483647);
    for (let k = 0; k < moves; k++) {
      // A mouse stays in a view for a while: a quarter of the moves in each.
      const name = p.views.shown[Math.floor((k * p.views.shown.length) / moves)];
      const view = p.views.views[name];
      places.push({ name, view, sx: rnd() * view.width, sy: rnd() * view.height });
    }
    // The page's clock has a tenth of a millisecond's grain: the hovers of a
    // view are timed together, after a first one there (untimed: its grids
    // are built then; the first hover after a change is timed below), and
    // the mean of them all is the round's figure.
    const grabbed = [];
    let total = 0;
    let timed = 0;
    for (const name of p.views.shown) {
      const stretch = places.filter((at) => at.name === name);
      p.hover(stretch[0]);
      const t0 = performance.now();
      for (const at of stretch.slice(1)) p.hover(at);
      total += performance.now() - t0;
      timed += stretch.length - 1;
    }
    const mean = total / timed;
    for (const at of places) grabbed.push(p.pickHandle(at.view, at.sx, at.sy));
    // The same questions, every handle and pair looked at.
    const { handles, points, selected } = p.scene;
    const circles = p.overlay.circleAnchor.length / 3;
    const circle = (k) => (k < circles ? p.overlay.circleCentre(k).anchor : null);
    const plain = [];
    const plainPlaces = places.slice(0, Math.max(4, Math.floor(moves / 20)));
    let agree = true;
    for (const [k, at] of plainPlaces.entries()) {
      const t = performance.now();
      const h = pickHandle(at.view, handles, at.sx, at.sy, 8, currentEndTest(handles, circle));
      nearestPair(at.view, points, selected, at.sx, at.sy, 6);
      plain.push(performance.now() - t);
      agree &&= h === grabbed[k];
    }
    // The first hover after a view zoomed: its grids are built anew.
    const first = [];
    for (const name of p.views.shown) {
      p.views.zoom(name, 10, 10, 1.01);
      const at = places.find((a) => a.name === name);
      const t = performance.now();
      p.hover(at);
      first.push(performance.now() - t);
    }
    const picked = grabbed.filter((h) => h >= 0).length;
    return { mean, plain, first, agree, picked };
  }, moves);
}

const median = (a) => {
  const s = [...a].sort((x, y) => x - y);
  return s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
};
const spread = (a) => `${median(a).toFixed(3)} (${Math.min(...a).toFixed(3)}..${Math.max(...a).toFixed(3)})`;

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'ep-page-hover-'));
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'ep-chromium-'));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: process.env.EP_CHROMIUM || '/usr/bin/chromium',
  headless: true,
  viewport: { width: 1400, height: 860 },
  args: ['--no-sandbox', '--disable-gpu', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--js-flags=--max-old-space-size=4096'],
});
console.log(`| points | scene | hover ms (mean of a round), median of ${rounds} rounds (lowest..highest) | first hover after a view change, ms | every handle and pair looked at, ms | grabbed the same handle | density layers |`);
console.log('|---:|---|---|---|---|---|---|');
try {
  for (const n of sizes) {
    const mesh = path.join(dir, `lines-${n}.obj`);
    writeMesh(mesh, n);
    for (const [scene, serveArgs] of [['every point selected', []], ['one pair selected', ['--pairs', '0:1']]]) {
      const server = await serve(dir, [mesh, ...serveArgs]);
      const page = await context.newPage();
      await page.goto(server.url);
      // The views are not drawn: software WebGL takes minutes a frame at 1M
      // points, and the drawing is not what is timed.
      await page.evaluate(async () => {
        await window.playground.ready;
        window.playground.renderer.render = () => {};
      });
      const medians = [];
      const plain = [];
      const first = [];
      let agree = true;
      let picked = 0;
      for (let r = 0; r < rounds; r++) {
        const m = await measure(page, moves);
        medians.push(m.mean);
        plain.push(median(m.plain));
        first.push(median(m.first));
        agree &&= m.agree;
        picked += m.picked;
      }
      const density = await page.evaluate(() => {
        const p = window.playground;
        return p.views.shown.filter((name) => p.index.density(p.views.views[name]) !== null).length;
      });
      console.log(`| ${n.toLocaleString('en')} | ${scene} | ${spread(medians)} | ${spread(first)} | ${spread(plain)} | ${agree ? 'yes' : 'NO'} (${picked} of ${rounds * moves} hovers over a handle) | ${density} of 4 views |`);
      await page.close();
      server.stop();
    }
  }
} finally {
  await context.close();
  fs.rmSync(profile, { recursive: true, force: true });
  fs.rmSync(dir, { recursive: true, force: true });
}
