// The playground page's first load of a big mesh, measured in Chromium:
// main-thread time (the Performance domain's TaskDuration in wall time, every
// task of the page's main thread from the navigation to the first frame drawn
// with the scene), of it script time (ScriptDuration), wall time, when the
// scene's answer had arrived, the page's own count of time applying answers
// and drawing (playground.stats), and the
// JavaScript heap after the load (JSHeapUsedSize, before and after a
// garbage collection). ArrayBuffers' contents (typed arrays) are outside the
// JavaScript heap: they are reported apart, as the page's typed arrays'
// bytes that the page can count (the geometry and the overlay's arrays).
//
//   node bench/page_load.mjs --program build/bench/standin/cli/elasticpull-host \
//        [--points 1000000] [--rounds 5] [--select all|one] [--profile FILE] [--web DIR]
//
// --web serves the page's scripts and style from DIR (e.g. another commit's
// web/src) instead of those built into the program, so that two versions of
// the page are compared with one program and one machine load; compare
// either with --web, as the interception costs a little.
//
// --profile records the first round's script with the V8 profiler into FILE
// (a .cpuprofile, which Chromium's DevTools open) and prints the functions
// that took the most time themselves; that round's times include the
// profiler's own cost.
//
// The mesh is the playground bench's grid (bench/playground_bench.cpp): pair
// k's handle end at (x, 2, z) over its anchor end at (x, 0, z); --select all
// selects every point (points / 2 pairs, the overlay 12 calls a pair), one
// the first pair only. The server is started once; each round is a fresh
// page. Prints each round and the medians with their range.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';

const require = createRequire(new URL('../web/package.json', import.meta.url));
const { chromium } = require('playwright-core');

const args = Object.fromEntries(
  process.argv.slice(2).reduce((pairs, a, i, all) => (a.startsWith('--') ? [...pairs, [a.slice(2), all[i + 1]]] : pairs), []),
);
const program = args.program && path.resolve(args.program);
const points = Number(args.points ?? 1000000);
const rounds = Number(args.rounds ?? 5);
const select = args.select ?? 'all';
const profileTo = args.profile && path.resolve(args.profile);
const webDir = args.web && path.resolve(args.web);
const chromiumPath = process.env.EP_CHROMIUM || '/usr/bin/chromium';
if (!program || !fs.existsSync(program)) throw new Error('--program: the elasticpull-host to serve with');

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'ep-page-load-'));
const mesh = path.join(dir, 'grid.obj');
{
  const lines = [];
  for (let k = 0; 2 * k < points; k++) {
    const x = k % 300;
    const z = Math.floor(k / 300);
    lines.push(`v ${x} 2 ${z}\nv ${x} 0 ${z}\n`);
  }
  fs.writeFileSync(mesh, lines.join(''));
}

function serve() {
  const selection = select === 'all' ? 'all' : '0-1';
  const child = spawn(program, ['serve', mesh, '--select', selection], { cwd: dir, stdio: ['ignore', 'pipe', 'pipe'] });
  let out = '';
  child.stderr.on('data', (d) => (out += d));
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`no address printed:\n${out}`)), 120000);
    child.on('exit', (code) => reject(new Error(`serve ended with ${code}:\n${out}`)));
    child.stdout.on('data', (d) => {
      out += d;
      const found = out.match(/Open (http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+) /);
      if (!found) return;
      clearTimeout(timer);
      child.removeAllListeners('exit');
      resolve({ url: found[1], stop: () => child.kill('SIGINT') });
    });
  });
}

const median = (values) => {
  const s = [...values].sort((a, b) => a - b);
  const n = s.length;
  return n % 2 ? s[(n - 1) / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
};

// The functions with the most samples of their own, with where they are.
function printHottest(recorded, most = 25) {
  const spans = recorded.timeDeltas;
  const self = new Map();
  const byId = new Map(recorded.nodes.map((n) => [n.id, n]));
  for (let k = 0; k < recorded.samples.length; k++) {
    const node = byId.get(recorded.samples[k]);
    const { functionName, url, lineNumber } = node.callFrame;
    const name = `${functionName || '(anonymous)'} ${url.split('/').pop()}:${lineNumber + 1}`;
    self.set(name, (self.get(name) ?? 0) + (spans[k + 1] ?? 0));
  }
  const total = [...self.values()].reduce((a, b) => a + b, 0);
  console.log(`  profile: ${(total / 1e6).toFixed(2)} s sampled, by own time:`);
  for (const [name, us] of [...self].sort((a, b) => b[1] - a[1]).slice(0, most))
    console.log(`    ${(us / 1000).toFixed(0).padStart(6)} ms  ${name}`);
}

const server = await serve();
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'ep-chromium-'));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: chromiumPath,
  headless: true,
  viewport: { width: 1400, height: 860 },
  args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking', '--use-angle=swiftshader', '--enable-unsafe-swiftshader'],
});
const results = [];
try {
  for (let round = 0; round < rounds; round++) {
    const page = await context.newPage();
    if (webDir)
      await page.route(/\/[a-z_]+\.(js|css)$/, async (route) => {
        const file = path.join(webDir, new URL(route.request().url()).pathname.slice(1));
        if (!fs.existsSync(file)) return route.continue();
        await route.fulfill({ response: await route.fetch(), body: fs.readFileSync(file, 'utf8') });
      });
    // A page of the server's own origin first, so that the navigation
    // measured stays in the renderer whose metrics are read.
    await page.goto(new URL('/none', server.url).href);
    const cdp = await context.newCDPSession(page);
    // Wall time inside the main thread's tasks (a task blocked on the GPU
    // process counts), not only its CPU time.
    await cdp.send('Performance.enable', { timeDomain: 'timeTicks' });
    const metric = async () => Object.fromEntries((await cdp.send('Performance.getMetrics')).metrics.map((m) => [m.name, m.value]));
    const profiling = profileTo && round === 0;
    if (profiling) {
      await cdp.send('Profiler.enable');
      await cdp.send('Profiler.setSamplingInterval', { interval: 500 });
      await cdp.send('Profiler.start');
    }
    const before = await metric();
    const started = Date.now();
    await page.goto(server.url, { timeout: 300000 });
    page.setDefaultTimeout(300000);
    await page.waitForFunction(() => window.playground?.scene, null, { timeout: 300000, polling: 50 });
    await page.evaluate(() => window.playground.ready);
    // The first frame drawn with the scene.
    await page.evaluate(() => new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done))));
    const wall = (Date.now() - started) / 1000;
    const after = await metric();
    if (profiling) {
      const { profile: recorded } = await cdp.send('Profiler.stop');
      fs.writeFileSync(profileTo, JSON.stringify(recorded));
      printHottest(recorded);
    }
    const shown = await page.evaluate(() => window.playground.scene.points.length / 3);
    const pageStats = await page.evaluate(() => {
      const state = performance.getEntriesByType('resource').find((e) => e.name.includes('/api/state'));
      return { ...window.playground.stats, at: performance.now(), asked: state?.startTime, first: state?.responseStart, got: state?.responseEnd };
    });
    console.log(`  /api/state asked at ${(pageStats.asked / 1000).toFixed(2)} s, first byte ${(pageStats.first / 1000).toFixed(2)} s, last ${(pageStats.got / 1000).toFixed(2)} s`);
    const typedBytes = await page.evaluate(() => {
      let bytes = 0;
      const seen = new Set();
      const add = (a) => {
        if (a && ArrayBuffer.isView(a) && !seen.has(a.buffer)) {
          seen.add(a.buffer);
          bytes += a.buffer.byteLength;
        }
      };
      const o = window.playground.overlay;
      for (const v of Object.values(o)) add(v);
      const r = window.playground.renderer;
      r.scene.traverse((object) => {
        for (const attribute of Object.values(object.geometry?.attributes ?? {})) add(attribute.array);
        add(object.geometry?.index?.array);
      });
      return bytes;
    });
    await cdp.send('HeapProfiler.collectGarbage');
    const collected = await metric();
    const row = {
      points: shown,
      mainThreadS: after.TaskDuration - before.TaskDuration,
      scriptS: after.ScriptDuration - before.ScriptDuration,
      wallS: wall,
      pageApplyS: pageStats.apply / 1000,
      pageRenderS: pageStats.render / 1000,
      pageReadyS: pageStats.at / 1000,
      stateArrivedS: pageStats.got / 1000,
      heapMB: after.JSHeapUsedSize / 1e6,
      heapAfterGcMB: collected.JSHeapUsedSize / 1e6,
      typedArraysMB: typedBytes / 1e6,
    };
    results.push(row);
    console.log(`round ${round + 1}: ${JSON.stringify(row)}`);
    await page.close();
  }
} finally {
  await context.close();
  fs.rmSync(profile, { recursive: true, force: true });
  server.stop();
}
const keys = ['mainThreadS', 'scriptS', 'wallS', 'stateArrivedS', 'pageApplyS', 'pageRenderS', 'pageReadyS', 'heapMB', 'heapAfterGcMB', 'typedArraysMB'];
console.log(`\n${points} points, --select ${select}, ${rounds} rounds: median [min, max]`);
for (const key of keys) {
  const values = results.map((r) => r[key]);
  console.log(`  ${key.padEnd(14)} ${median(values).toFixed(2)} [${Math.min(...values).toFixed(2)}, ${Math.max(...values).toFixed(2)}]`);
}
fs.rmSync(dir, { recursive: true, force: true });
