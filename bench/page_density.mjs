// What drawing the views costs with and without the density layer, in
// Debian's Chromium (software WebGL, as the browser tests run it): a mesh of
// N points with one pair selected, every view drawn and the drawing waited
// for (a pixel read back), the density layers on (the page as it is) and off (every
// point drawn one by one), alternating, R rounds of F frames each; every
// frame changes the perspective view's orbit a little, so its layer is made
// anew each frame, as while a user orbits.
//
//   node bench/page_density.mjs ELASTICPULL_HOST [--points 100000] [--rounds 5] [--frames 5]
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';

const require = createRequire(path.resolve('web/package.json'));
const { chromium } = require('playwright-core');

const args = process.argv.slice(2);
const program = args[0] && path.resolve(args[0]);
const option = (name, fallback) => (args.includes(name) ? Number(args[args.indexOf(name) + 1]) : fallback);
const n = option('--points', 100000);
const rounds = option('--rounds', 5);
const frames = option('--frames', 5);
if (!program || !fs.existsSync(program)) {
  console.error('usage: node bench/page_density.mjs ELASTICPULL_HOST [--points N] [--rounds R] [--frames F]');
  process.exit(2);
}

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'ep-page-density-'));
const mesh = path.join(dir, 'points.obj');
let seed = 11;
const next = () => ((seed = (seed * 16807) % 2147483647) / 2147483647) * 2000 - 1000;
const lines = [];
for (let i = 0; i < n; i++) lines.push(`v ${next().toFixed(6)} ${next().toFixed(6)} ${next().toFixed(6)}`);
fs.writeFileSync(mesh, lines.join('\n') + '\n');

const child = spawn(program, ['serve', mesh, '--pairs', '0:1'], { cwd: dir, stdio: ['ignore', 'pipe', 'pipe'] });
const url = await new Promise((resolve, reject) => {
  let out = '';
  child.on('exit', (code) => reject(new Error(`serve ended with ${code}: ${out}`)));
  child.stdout.on('data', (d) => {
    out += d;
    const found = out.match(/Open (http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+) /);
    if (found) resolve(found[1]);
  });
});
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'ep-chromium-'));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: process.env.EP_CHROMIUM || '/usr/bin/chromium',
  headless: true,
  viewport: { width: 1400, height: 860 },
  args: ['--no-sandbox', '--disable-gpu', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'],
});
try {
  const page = await context.newPage();
  await page.goto(url);
  const times = await page.evaluate(
    async ([rounds, frames]) => {
      const p = window.playground;
      await p.ready;
      const r = p.renderer;
      const gl = r.renderer.getContext();
      const layers = r.densityOf;
      // Reading a pixel back waits until the drawing is done.
      const pixel = new Uint8Array(4);
      const draw = () => {
        p.views.orbit(1, 0);
        const shown = Object.fromEntries(p.views.shown.map((name) => [name, p.views.views[name]]));
        const t = performance.now();
        r.render(shown, p.views.rects, p.scene.bounds);
        gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, pixel);
        return performance.now() - t;
      };
      draw();
      const out = { on: [], off: [] };
      for (let round = 0; round < rounds; round++) {
        for (const side of round % 2 ? ['off', 'on'] : ['on', 'off']) {
          r.setDensity(side === 'on' ? layers : () => null);
          draw();
          let sum = 0;
          for (let f = 0; f < frames; f++) sum += draw();
          out[side].push(sum / frames);
        }
      }
      r.setDensity(layers);
      return out;
    },
    [rounds, frames],
  );
  const median = (a) => [...a].sort((x, y) => x - y)[Math.floor(a.length / 2)];
  const row = (a) => `${median(a).toFixed(1)} (${Math.min(...a).toFixed(1)}..${Math.max(...a).toFixed(1)})`;
  console.log(`| points | frame ms, density layers (page as it is) | frame ms, every point drawn | ratio of medians |`);
  console.log('|---:|---|---|---|');
  console.log(`| ${n.toLocaleString('en')} | ${row(times.on)} | ${row(times.off)} | ${(median(times.on) / median(times.off)).toFixed(2)} |`);
} finally {
  await context.close();
  child.kill('SIGINT');
  fs.rmSync(profile, { recursive: true, force: true });
  fs.rmSync(dir, { recursive: true, force: true });
}
