// A long run of random page actions (mouse drags, clicks, double clicks,
// Esc, undo and redo, the options panel, the pairs card and the lengths
// table) on one served session. After every hundred, and at the end: the
// page shows what /api/state holds, and the session's log replayed by the
// command line gives the mesh the server would save, byte for byte.
//
// EP_SOAK_ACTIONS sets how many actions (default 300, so that CI stays quick;
// EP_SOAK_ACTIONS=10000 for the long run); EP_SOAK_SEED the random seed;
// EP_SOAK_TRACE=1 prints each hundred's progress and where its time went
// (run the file with node itself to see it as it goes: node --test holds a
// test's output back until it ends).
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, test } from 'node:test';
import {
  MESH,
  api,
  idle,
  launchBrowser,
  onScreen,
  openPage,
  runProgram,
  serverScript,
  serverState,
  startServer,
  workFolder,
} from './harness.mjs';

const ACTIONS = Number(process.env.EP_SOAK_ACTIONS ?? 300);
const SEED = Number(process.env.EP_SOAK_SEED ?? 2718);
const CHECK_EVERY = 100;

let browser;
before(async () => {
  browser = await launchBrowser();
});
after(async () => {
  await browser?.close();
});

// mulberry32: a small seeded generator, so that a failing run can be repeated.
function random(seed) {
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

test(`${ACTIONS} random page actions keep the page, the server and a replay of the log in agreement`, { timeout: Infinity }, async () => {
  const dir = workFolder('soak');
  fs.writeFileSync(path.join(dir, 'pairs.obj'), MESH);
  const server = await startServer(dir, ['pairs.obj', '--select', '0-3', '-o', 'out.obj']);
  const { page, errors } = await openPage(browser, server.url);
  page.setDefaultTimeout(5000);
  const next = random(SEED);
  const pick = (n) => Math.floor(next() * n);
  const views = ['top', 'front', 'side'];
  const scene = () => page.evaluate(() => {
    const s = window.playground.scene;
    return { points: [...s.points], selected: [...s.selected], handles: [...s.handles] };
  });
  const point = (s, i) => s.points.slice(3 * i, 3 * i + 3);
  const buttonIfEnabled = async (selector) => {
    await idle(page);
    const b = page.locator(selector).first();
    if ((await b.count()) > 0 && (await b.isEnabled())) await b.click();
  };

  const actions = [
    // A drag of a handle end (Ctrl: every pair), sometimes cancelled with Esc.
    async () => {
      const s = await scene();
      if (s.handles.length === 0) return;
      const h = pick(s.handles.length / 3);
      const at = await onScreen(page, views[pick(3)], s.handles.slice(3 * h, 3 * h + 3));
      if (!at) return;
      const ctrl = next() < 0.25;
      if (ctrl) await page.keyboard.down('Control');
      await page.mouse.move(at.x, at.y);
      await page.mouse.down();
      for (let i = 1; i <= 3; i++) await page.mouse.move(at.x + (i * (pick(60) - 30)) / 3, at.y + (i * (pick(60) - 30)) / 3);
      if (next() < 0.15) await page.keyboard.press('Escape');
      await page.mouse.up();
      if (ctrl) await page.keyboard.up('Control');
    },
    // A click on a point (an anchor end takes the handle), or a right click (keep).
    async () => {
      const s = await scene();
      const at = await onScreen(page, views[pick(3)], point(s, pick(s.points.length / 3)));
      if (at) await page.mouse.click(at.x, at.y, { button: next() < 0.3 ? 'right' : 'left' });
    },
    async () => page.keyboard.press(next() < 0.6 ? 'Control+z' : 'Control+y'),
    // A double click on a point as a hand makes it (the first click answered
    // before the second), then another on the same point in the maximised view.
    async () => {
      const s = await scene();
      const [view, p] = [views[pick(3)], point(s, pick(s.points.length / 3))];
      for (let k = 0; k < 2; k++) {
        const at = await onScreen(page, view, p);
        if (!at) return;
        await page.mouse.move(at.x, at.y);
        await page.mouse.down({ clickCount: 1 });
        await page.mouse.up({ clickCount: 1 });
        await idle(page);
        await page.mouse.down({ clickCount: 2 });
        await page.mouse.up({ clickCount: 2 });
      }
    },
    // Factor, or Offset in Offset mode, typed.
    async () => {
      await idle(page); // the panel as the last action left it (a slow server answers late)
      for (const id of ['#control-32771', '#control-32772']) {
        const field = page.locator(id);
        if ((await field.count()) === 0 || !(await field.isEnabled())) continue;
        await field.fill(String(id.endsWith('1') ? 50 + pick(150) : pick(40) / 10 - 1));
        return field.press('Enter');
      }
    },
    async () => buttonIfEnabled(`#panel [role="radio"]:nth-child(${1 + pick(2)})`),
    async () => buttonIfEnabled(['#btn-keep', '#btn-reset', '#btn-drop', '#btn-undo', '#control-32774'][pick(5)]),
    // The pairs card: a row's button, or pairs from the mesh file's line element.
    async () => {
      if (next() < 0.2) return buttonIfEnabled('#btn-edges');
      const rows = await page.locator('#pair-list li').count();
      if (rows > 0) await buttonIfEnabled(`#pair-list li[data-pair="${pick(rows)}"] button:nth-of-type(${1 + pick(4)})`);
    },
    // Two clicks choosing a pair.
    async () => {
      const s = await scene();
      await page.click('#mouse-mode [data-mode="choose"]');
      for (const i of [pick(5), pick(5)]) {
        const at = await onScreen(page, 'front', point(s, i));
        if (at) await page.mouse.click(at.x, at.y);
      }
      await page.click('#mouse-mode [data-mode="stretch"]');
    },
    // The lengths table: a pair's length, or one pair as long as another.
    async () => {
      const rows = await page.locator('#lengths-table tbody tr').count();
      if (rows === 0) return;
      const row = page.locator('#lengths-table tbody tr').nth(pick(rows));
      if (next() < 0.5) return row.locator('button').click();
      const input = row.locator('input.length-now');
      await input.fill(String(0.5 + pick(40) / 8));
      await input.press('Enter');
    },
  ];

  // Where the time goes (EP_SOAK_TRACE): milliseconds by action kind and by step of the check.
  const spent = new Map();
  const timed = async (name, work) => {
    const started = performance.now();
    try {
      return await work();
    } finally {
      const t = spent.get(name) ?? { count: 0, ms: 0 };
      t.count += 1;
      t.ms += performance.now() - started;
      spent.set(name, t);
    }
  };

  const check = async (done) => {
    await timed('check: idle', () => idle(page));
    const state = await timed('check: state', () => serverState(server.url));
    const shown = await timed('check: scene', scene);
    assert.deepEqual(shown.points, state.points, `points after ${done} actions`);
    assert.deepEqual(shown.selected, state.selected, `selection after ${done} actions`);
    assert.deepEqual(shown.handles, state.handles, `handles after ${done} actions`);
    const script = await timed('check: script', () => serverScript(server.url));
    fs.writeFileSync(path.join(dir, 'session.script'), script);
    const replay = await timed('check: replay', () =>
      runProgram(dir, ['pairs.obj', '--script', 'session.script', '-o', 'replay.obj', '-q']),
    );
    assert.equal(replay.status, 0, `${replay.stderr}\n${script}`);
    const download = await timed('check: download', async () => (await api(server.url, 'download')).text());
    assert.equal(fs.readFileSync(path.join(dir, 'replay.obj'), 'utf8'), download, `replay after ${done} actions`);
  };

  const start = performance.now();
  try {
    for (let n = 1; n <= ACTIONS; n++) {
      const kind = pick(actions.length);
      await timed(`action ${kind}`, () => actions[kind]());
      if (page.isClosed()) throw new Error('the page closed');
      // A box the tool shows is closed as a user would.
      if (await page.locator('dialog[open]').count()) await page.locator('dialog[open] .close').first().click();
      if (n % CHECK_EVERY === 0 || n === ACTIONS) {
        await check(n);
        if (process.env.EP_SOAK_TRACE) {
          console.log(`# ${n} actions: page, server and replay agree (${Math.round((performance.now() - start) / 1000)} s)`);
          for (const [name, t] of [...spent].sort()) console.log(`#   ${name}: ${t.count} in ${Math.round(t.ms)} ms`);
          spent.clear();
        }
      }
    }
    const unexpected = errors.filter((e) => !/status of 4\d\d/.test(e));
    assert.deepEqual(unexpected, []);
  } finally {
    await page.close();
    assert.equal(await server.stop(), 0, server.log());
  }
});
