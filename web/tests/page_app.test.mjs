// The page as the user's own app, in Chromium: a mesh of theirs opened in the
// page, pairs chosen there, lengths typed in the lengths table, and views
// that behave (ties between coincident ends, drags that wait for their press,
// auto-pan, Esc, a maximised view, two fingers, a narrow screen, the
// keyboard). What happened is checked on the server's side and against the
// command line.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import {
  MESH,
  api,
  clickOn,
  dragFrom,
  dragsIn,
  idle,
  launchBrowser,
  onScreen,
  openPage,
  pointOf,
  runProgram,
  serverScript,
  serverState,
  startServer,
  workFolder,
} from './harness.mjs';

// The user's own mesh: three upright line elements of lengths 2, 3 and 1.
export const OWN = 'v 0 0 0\nv 0 2 0\nv 4 0 0\nv 4 3 0\nv 8 0 1\nv 8 1 1\nl 1 2\nl 3 4\nl 5 6\n';

let browser;
before(async () => {
  browser = await launchBrowser();
});
after(async () => {
  await browser?.close();
});

async function session(name, extra = ['--select', '0-3']) {
  const dir = workFolder(name);
  fs.writeFileSync(path.join(dir, 'pairs.obj'), MESH);
  fs.writeFileSync(path.join(dir, 'own.obj'), OWN);
  const server = await startServer(dir, ['pairs.obj', ...extra, '-o', 'out.obj']);
  const { page, errors } = await openPage(browser, server.url);
  return {
    dir,
    server,
    page,
    errors,
    close: async () => {
      await page.close();
      assert.equal(await server.stop(), 0, server.log());
    },
  };
}

async function openOwn(page, name = 'own.obj', text = OWN) {
  await page.setInputFiles('#open-file', { name, mimeType: 'text/plain', buffer: Buffer.from(text) });
  await page.waitForFunction((n) => window.playground.scene.name === n, name);
  await idle(page);
}

const pairLength = (state, k) => {
  const [h, a] = [state.selected[2 * k], state.selected[2 * k + 1]];
  return Math.hypot(...pointOf(state, h).map((v, i) => v - pointOf(state, a)[i]));
};

// The session so far replayed by the command line gives the mesh the server
// holds, and the page shows the server's points and pairs.
async function sameAsCommandLine(s, step) {
  const script = await serverScript(s.server.url);
  fs.writeFileSync(path.join(s.dir, 'so-far.script'), script);
  const replay = runProgram(s.dir, ['pairs.obj', '--script', 'so-far.script', '-o', 'so-far.obj', '-q']);
  assert.equal(replay.status, 0, `${step}: ${replay.stderr}`);
  const held = await (await api(s.server.url, 'download')).text();
  assert.equal(fs.readFileSync(path.join(s.dir, 'so-far.obj'), 'utf8'), held, `${step}: the replay of\n${script}`);
  const state = await serverState(s.server.url);
  const shown = await s.page.evaluate(() => ({ points: [...window.playground.scene.points], selected: [...window.playground.scene.selected] }));
  assert.deepEqual(shown, { points: state.points, selected: state.selected }, `${step}: the page`);
}

describe('the user\'s own work', () => {
  test('open a mesh, choose a pair by clicking, stretch it to an exact length, undo, redo, save: as the command line does', async () => {
    const s = await session('own-work');
    try {
      await openOwn(s.page);
      let state = await serverState(s.server.url);
      assert.equal(state.points.length, 18);
      assert.deepEqual(state.selected, []);
      await sameAsCommandLine(s, 'opened');
      // Choose pairs: the handle end, then its anchor end.
      await s.page.click('#mouse-mode [data-mode="choose"]');
      await clickOn(s.page, 'front', [0, 2, 0]);
      await clickOn(s.page, 'front', [0, 0, 0]);
      state = await serverState(s.server.url);
      assert.deepEqual(state.selected, [1, 0]);
      assert.equal(await s.page.locator('#pair-list li').count(), 1);
      await sameAsCommandLine(s, 'chosen');
      // The lengths table: before and now; a length typed for the pair.
      const now = s.page.locator('#lengths-table tbody tr[data-pair="0"] input.length-now');
      assert.equal(await now.inputValue(), '2');
      await now.fill('5.25');
      await now.press('Enter');
      await idle(s.page);
      state = await serverState(s.server.url);
      assert.equal(pairLength(state, 0), 5.25);
      assert.deepEqual(pointOf(state, 1), [0, 5.25, 0]);
      await sameAsCommandLine(s, 'stretched');
      await s.page.locator('#canvas').focus();
      await s.page.keyboard.press('Control+z');
      await idle(s.page);
      assert.deepEqual(pointOf(await serverState(s.server.url), 1), [0, 2, 0]);
      await sameAsCommandLine(s, 'undone');
      await s.page.keyboard.press('Control+y');
      await idle(s.page);
      assert.deepEqual(pointOf(await serverState(s.server.url), 1), [0, 5.25, 0]);
      await sameAsCommandLine(s, 'redone');
      await s.page.click('#btn-save');
      await idle(s.page);
      const saved = fs.readFileSync(path.join(s.dir, 'out.obj'), 'utf8');
      // The command line on the same file with the same pair and length.
      const cli = runProgram(s.dir, ['own.obj', '--pairs', '1:0', '--length', '5.25', '-o', 'cli.obj', '-q']);
      assert.equal(cli.status, 0, cli.stderr);
      assert.equal(saved, fs.readFileSync(path.join(s.dir, 'cli.obj'), 'utf8'));
      // And the session's log replayed (it opens own.obj by name, checked by its checksum).
      const script = await serverScript(s.server.url);
      assert.match(script, /^open own\.obj checksum [0-9a-f]{16}$/m);
      assert.match(script, /^length 5\.25 only 0$/m);
      fs.writeFileSync(path.join(s.dir, 'session.script'), script);
      const replay = runProgram(s.dir, ['pairs.obj', '--script', 'session.script', '-o', 'replay.obj', '-q']);
      assert.equal(replay.status, 0, replay.stderr);
      assert.equal(fs.readFileSync(path.join(s.dir, 'replay.obj'), 'utf8'), saved);
      assert.deepEqual(s.errors, []);
    } finally {
      await s.close();
    }
  });

  test('serve --pairs-from-edges --axis chooses the pairs the command line does', async () => {
    const dir = workFolder('serve-edges');
    fs.writeFileSync(path.join(dir, 'own.obj'), OWN);
    const server = await startServer(dir, ['own.obj', '--pairs-from-edges', '--axis', 'y', '-o', 'out.obj']);
    const { page, errors } = await openPage(browser, server.url);
    try {
      // Upright edges, the higher end the handle end.
      assert.deepEqual(await page.evaluate(() => window.playground.scene.selected), [1, 0, 3, 2, 5, 4]);
      assert.equal(await page.locator('#lengths-table tbody tr').count(), 3);
      await page.fill('#control-32771', '150');
      await page.press('#control-32771', 'Enter');
      await page.click('#btn-save');
      await idle(page);
      const cli = runProgram(dir, ['own.obj', '--pairs-from-edges', '--axis', 'y', '--factor', '1.5', '-o', 'cli.obj', '-q']);
      assert.equal(cli.status, 0, cli.stderr);
      assert.equal(fs.readFileSync(path.join(dir, 'out.obj'), 'utf8'), fs.readFileSync(path.join(dir, 'cli.obj'), 'utf8'));
      assert.deepEqual(errors, []);
    } finally {
      await page.close();
      assert.equal(await server.stop(), 0, server.log());
    }
  });

  test('a file too large is refused in the page, a mistake in one is shown at its line, and the session stays', async () => {
    const s = await session('open-refused');
    try {
      await s.page.setInputFiles('#open-file', { name: 'huge.obj', mimeType: 'text/plain', buffer: Buffer.alloc(33 * 1024 * 1024, 32) });
      await s.page.waitForSelector('#message-dialog[open]');
      assert.match(await s.page.textContent('#message-text'), /up to 32\.0 MiB/);
      await s.page.click('#message-dialog .close');
      await s.page.setInputFiles('#open-file', { name: 'bad.obj', mimeType: 'text/plain', buffer: Buffer.from('v 0 0 0\nv 1 x 0\n') });
      await s.page.waitForSelector('#message-dialog[open]');
      assert.match(await s.page.textContent('#message-text'), /bad\.obj:2/);
      const state = await serverState(s.server.url);
      assert.equal(state.name, 'pairs.obj');
      assert.doesNotMatch(await serverScript(s.server.url), /^open/m);
      await s.page.click('#message-dialog .close');
      // A file of some megabytes opens (its own route takes more than a command's body).
      const big = OWN + '# padding\n'.repeat(300000);
      await openOwn(s.page, 'big.obj', big);
      assert.equal((await serverState(s.server.url)).name, 'big.obj');
      // A file dropped on the page opens too.
      const files = await s.page.evaluateHandle((text) => {
        const transfer = new DataTransfer();
        transfer.items.add(new File([text], 'dropped.obj', { type: 'text/plain' }));
        return transfer;
      }, OWN);
      await s.page.dispatchEvent('#viewport', 'dragover', { dataTransfer: files });
      assert.ok(await s.page.evaluate(() => document.body.classList.contains('dropping')));
      await s.page.dispatchEvent('#viewport', 'drop', { dataTransfer: files });
      await s.page.waitForFunction(() => window.playground.scene.name === 'dropped.obj');
      await idle(s.page);
      assert.equal((await serverState(s.server.url)).points.length, 18);
      assert.ok(!(await s.page.evaluate(() => document.body.classList.contains('dropping'))));
      assert.match(await serverScript(s.server.url), /^open dropped\.obj checksum [0-9a-f]{16}$/m);
    } finally {
      await s.close();
    }
  });

  test('pairs from edges, a box of points, and the pairs list reordered, swapped and removed: each one command of the log', async () => {
    const s = await session('choose');
    try {
      await openOwn(s.page);
      await s.page.selectOption('#edge-axis', 'y');
      await s.page.click('#btn-edges');
      await idle(s.page);
      assert.deepEqual((await serverState(s.server.url)).selected, [1, 0, 3, 2, 5, 4]);
      const pairButton = (k, label) => s.page.click(`#pair-list li[data-pair="${k}"] button[aria-label^="${label}"]`);
      await pairButton(1, 'Move pair 1 up');
      await idle(s.page);
      assert.deepEqual((await serverState(s.server.url)).selected, [3, 2, 1, 0, 5, 4]);
      await pairButton(0, 'Swap');
      await idle(s.page);
      assert.deepEqual((await serverState(s.server.url)).selected, [2, 3, 1, 0, 5, 4]);
      await pairButton(2, 'Remove');
      await idle(s.page);
      assert.deepEqual((await serverState(s.server.url)).selected, [2, 3, 1, 0]);
      // A box around the right-hand line element in the front view selects its two points.
      await s.page.click('#mouse-mode [data-mode="choose"]');
      const a = await onScreen(s.page, 'front', [7.5, 1.5, 1]);
      const b = await onScreen(s.page, 'front', [8.5, -0.5, 1]);
      await s.page.mouse.move(a.x, a.y);
      await s.page.mouse.down();
      await s.page.mouse.move(b.x, b.y, { steps: 5 });
      await s.page.mouse.up();
      await idle(s.page);
      assert.deepEqual((await serverState(s.server.url)).selected, [4, 5]);
      const script = await serverScript(s.server.url);
      assert.match(script, /^pairs-from-edges y pick\npairs 3:2,1:0,5:4 pick\npairs 2:3,1:0,5:4 pick\npairs 2:3,1:0 pick\nselect 4,5 pick$/m);
      assert.deepEqual(s.errors, []);
    } finally {
      await s.close();
    }
  });
});

describe('the lengths table', () => {
  test('sorts by any column; sets the checked pairs, and makes pairs as long as another, through the tool', async () => {
    const s = await session('lengths');
    try {
      await openOwn(s.page);
      await s.page.click('#btn-edges');
      await idle(s.page);
      const order = () => s.page.$$eval('#lengths-table tbody tr', (rows) => rows.map((r) => Number(r.dataset.pair)));
      assert.deepEqual(await order(), [0, 1, 2]);
      await s.page.click('#lengths-table th button[data-column="now"]');
      assert.deepEqual(await order(), [2, 0, 1]);
      await s.page.click('#lengths-table th button[data-column="now"]');
      assert.deepEqual(await order(), [1, 0, 2]);
      assert.equal(await s.page.getAttribute('#lengths-table th:nth-child(5)', 'aria-sort'), 'descending');
      await s.page.check('#lengths-table tbody tr[data-pair="0"] input[type="checkbox"]');
      await s.page.check('#lengths-table tbody tr[data-pair="2"] input[type="checkbox"]');
      await s.page.fill('#lengths-length', '4');
      await s.page.click('#lengths-set');
      await idle(s.page);
      let state = await serverState(s.server.url);
      assert.deepEqual([0, 1, 2].map((k) => pairLength(state, k)), [4, 3, 4]);
      // Pair 1's "=" with pairs 0 and 2 checked: both as long as pair 1.
      await s.page.click('#lengths-table tbody tr[data-pair="1"] button');
      await idle(s.page);
      state = await serverState(s.server.url);
      assert.deepEqual([0, 1, 2].map((k) => pairLength(state, k)), [3, 3, 3]);
      const script = await serverScript(s.server.url);
      assert.match(script, /^length 4 only 0,2\nmatch-pair 1 only 0,2$/m);
      assert.deepEqual(s.errors, []);
    } finally {
      await s.close();
    }
  });
});

describe('views that behave', () => {
  test('Esc cancels a drag: the points are back as at the press, and the log replays it', async () => {
    const s = await session('escape');
    try {
      const start = await onScreen(s.page, 'front', [0, 2, 0]);
      await s.page.mouse.move(start.x, start.y);
      await s.page.mouse.down();
      for (let i = 1; i <= 6; i++) await s.page.mouse.move(start.x, start.y - 10 * i);
      await idle(s.page);
      assert.notDeepEqual(pointOf(await serverState(s.server.url), 0), [0, 2, 0]);
      await s.page.keyboard.press('Escape');
      await s.page.mouse.up();
      await idle(s.page);
      const state = await serverState(s.server.url);
      assert.deepEqual(pointOf(state, 0), [0, 2, 0]);
      assert.equal(state.held, null);
      const script = await serverScript(s.server.url);
      assert.match(script, /^cancel$/m);
      assert.doesNotMatch(script, /^release$/m);
      fs.writeFileSync(path.join(s.dir, 'session.script'), script);
      const replay = runProgram(s.dir, ['pairs.obj', '--script', 'session.script', '-o', 'replay.obj', '-q']);
      assert.equal(replay.status, 0, replay.stderr);
      assert.equal(fs.readFileSync(path.join(s.dir, 'replay.obj'), 'utf8'), MESH);
    } finally {
      await s.close();
    }
  });

  test('drags made before the press is answered go on the plane of the handle the server grabbed', async () => {
    const s = await session('slow-press');
    try {
      // The press is held back a while; the drags made meanwhile wait for it.
      await s.page.route('**/api/command', async (route) => {
        if (JSON.parse(route.request().postData()).command === 'press') await new Promise((r) => setTimeout(r, 400));
        await route.continue();
      });
      // Away from every handle: the tool's start grabs handle 0 (z 0), not the view's middle plane (z 1).
      const at = await onScreen(s.page, 'front', [0.35, 2.5, 0]);
      await s.page.mouse.move(at.x, at.y);
      await s.page.mouse.down();
      for (let i = 1; i <= 8; i++) await s.page.mouse.move(at.x, at.y - 6 * i);
      await s.page.mouse.up();
      await idle(s.page);
      const state = await serverState(s.server.url);
      const script = await serverScript(s.server.url);
      // However many drags it took (a slow machine answers the press sooner).
      assert.match(script, /^press 0\.35\d* 2\.5 1 start\n(drag [^\n]+\n)+release$/m);
      const drags = dragsIn(script);
      for (const d of drags) assert.equal(d[2], 0, script);
      assert.deepEqual(pointOf(state, 0), [0, drags.at(-1)[1], 0]);
      assert.ok(drags.at(-1)[1] > 2.5, script);
      assert.equal(state.held, null);
    } finally {
      await s.close();
    }
  });

  test('a drag held near the edge of its view pans the view, and the handle goes on beyond', async () => {
    const s = await session('auto-pan');
    try {
      const before = await s.page.evaluate(() => [...window.playground.views.views.front.center]);
      const start = await onScreen(s.page, 'front', [0, 2, 0]);
      const rect = await s.page.evaluate(() => window.playground.views.rects.front);
      const canvas = await s.page.locator('#canvas').boundingBox();
      const top = canvas.y + rect.y + 2;
      await s.page.mouse.move(start.x, start.y);
      await s.page.mouse.down();
      await s.page.mouse.move(start.x, top, { steps: 8 });
      await s.page.waitForTimeout(600);
      await s.page.mouse.up();
      await idle(s.page);
      const after = await s.page.evaluate(() => [...window.playground.views.views.front.center]);
      assert.ok(after[1] > before[1], `the view moved up: ${before} → ${after}`);
      // The handle went higher than the view's top edge was at the press.
      const edgeY = await s.page.evaluate(
        ([b, r]) => b[1] + r.height / 2 / window.playground.views.views.front.pixelsPerUnit,
        [before, rect],
      );
      assert.ok(pointOf(await serverState(s.server.url), 0)[1] > edgeY);
    } finally {
      await s.close();
    }
  });

  test('on a tie the pair\'s current handle end is grabbed, not its anchor end under it', async () => {
    const s = await session('tie');
    try {
      // In the top view handle (0,2,0) lies exactly over its anchor (0,0,0).
      await dragFrom(s.page, 'top', [0, 2, 0], 30, 0);
      const script = await serverScript(s.server.url);
      assert.match(script, /^press 0 2 0 handle 0$/m);
      assert.deepEqual(pointOf(await serverState(s.server.url), 1), [0, 0, 0]);
    } finally {
      await s.close();
    }
  });

  test('a double click maximises a view and brings back all four; two fingers zoom and pan without an edit', async () => {
    const s = await session('maximise');
    try {
      const at = await onScreen(s.page, 'side', [0, 0.5, 0]);
      await s.page.mouse.dblclick(at.x, at.y);
      await idle(s.page);
      const canvas = await s.page.locator('#canvas').boundingBox();
      let views = await s.page.evaluate(() => ({ max: window.playground.views.maximised, rect: window.playground.views.rects.side }));
      assert.equal(views.max, 'side');
      assert.equal(views.rect.width, Math.floor(canvas.width));
      await s.page.mouse.dblclick(at.x, at.y);
      views = await s.page.evaluate(() => window.playground.views.maximised);
      assert.equal(views, null);
      await idle(s.page);
      const scriptBefore = await serverScript(s.server.url);
      const pointsBefore = (await serverState(s.server.url)).points;
      // A pinch over the front view: two touches moving apart and together down.
      const before = await s.page.evaluate(() => ({ ...window.playground.views.views.front }));
      const mid = await onScreen(s.page, 'front', [1.5, 1.5, 0]);
      const cdp = await s.page.context().newCDPSession(s.page);
      const touch = (type, d, dy) =>
        cdp.send('Input.dispatchTouchEvent', {
          type,
          touchPoints:
            type === 'touchEnd'
              ? []
              : [
                  { x: mid.x - d, y: mid.y + dy, id: 1 },
                  { x: mid.x + d, y: mid.y + dy, id: 2 },
                ],
        });
      await touch('touchStart', 20, 0);
      for (let i = 1; i <= 8; i++) await touch('touchMove', 20 + 8 * i, 3 * i);
      await touch('touchEnd', 0, 0);
      await idle(s.page);
      const afterPinch = await s.page.evaluate(() => ({ ...window.playground.views.views.front }));
      assert.ok(afterPinch.pixelsPerUnit > before.pixelsPerUnit * 1.5, `${before.pixelsPerUnit} → ${afterPinch.pixelsPerUnit}`);
      // The point that was between the fingers went down with them (24 pixels).
      const moved = await onScreen(s.page, 'front', [1.5, 1.5, 0]);
      assert.ok(Math.hypot(moved.x - mid.x, moved.y - (mid.y + 24)) < 1.5, `${JSON.stringify(mid)} → ${JSON.stringify(moved)}`);
      assert.equal(await serverScript(s.server.url), scriptBefore);
      assert.deepEqual((await serverState(s.server.url)).points, pointsBefore);
      assert.equal(scriptBefore.match(/^press /gm)?.length, 2, `one press for each double click:\n${scriptBefore}`);
    } finally {
      await s.close();
    }
  });

  test('a double click on an anchor end swaps its pair once and maximises the view: one step of the history', async () => {
    const s = await session('double-click-anchor');
    try {
      const circle = () => s.page.evaluate(() => window.playground.overlay.circleCentre(0).anchor);
      const pointsBefore = (await serverState(s.server.url)).points;
      assert.deepEqual(await circle(), [0, 2, 0]);
      // As a hand double-clicks: the first click is answered before the second.
      const at = await onScreen(s.page, 'front', [0, 0, 0]);
      await s.page.mouse.move(at.x, at.y);
      await s.page.mouse.down({ clickCount: 1 });
      await s.page.mouse.up({ clickCount: 1 });
      await idle(s.page);
      assert.deepEqual(await circle(), [0, 0, 0], 'the first click swaps the pair');
      await s.page.mouse.down({ clickCount: 2 });
      await s.page.mouse.up({ clickCount: 2 });
      await idle(s.page);
      assert.equal(await s.page.evaluate(() => window.playground.views.maximised), 'front');
      assert.deepEqual(await circle(), [0, 0, 0]);
      const script = await serverScript(s.server.url);
      assert.deepEqual(script.split('\n').filter((l) => /^(press|release)/.test(l)), ['press 0 0 0 handle 1', 'release']);
      assert.deepEqual((await serverState(s.server.url)).points, pointsBefore);
      // A third click at once is still the double click's.
      await s.page.mouse.down({ clickCount: 3 });
      await s.page.mouse.up({ clickCount: 3 });
      await s.page.keyboard.press('Control+z');
      await idle(s.page);
      assert.deepEqual(await circle(), [0, 2, 0], 'one undo takes the double click back');
      assert.equal(await serverScript(s.server.url), `${script}undo\n`);
    } finally {
      await s.close();
    }
  });

  test('at full width, 390 and 340 pixels wide nothing is cut off, and Factor and Offset are a radio group for the keyboard', async () => {
    const s = await session('narrow');
    try {
      // Lengths as long as the table writes them, in the field of each row.
      for (const [pair, length] of [[0, '0.00123456789'], [1, '98765.4321']]) {
        const field = s.page.locator(`#lengths-table tr[data-pair="${pair}"] input.length-now`);
        await field.fill(length);
        await field.press('Enter');
        await idle(s.page);
      }
      for (const width of [1400, 390, 340]) {
        await s.page.setViewportSize({ width, height: 844 });
        await s.page.waitForTimeout(200);
        const overflow = await s.page.evaluate((w) => {
          const wide = [...document.querySelectorAll('button, input, select, a.button, label.button, canvas')].filter((e) => {
            const r = e.getBoundingClientRect();
            return r.width > 0 && (r.right > w + 1 || r.left < -1);
          });
          const card = document.getElementById('lengths-card');
          const cut = [...document.querySelectorAll('#lengths-table input.length-now')].filter((e) => e.scrollWidth > e.clientWidth);
          return {
            scroll: document.documentElement.scrollWidth,
            wide: wide.map((e) => e.id || e.textContent),
            card: card.scrollWidth - card.clientWidth,
            cut: cut.map((e) => e.value),
          };
        }, width);
        assert.ok(overflow.scroll <= width, `page width ${overflow.scroll} at ${width}`);
        assert.deepEqual(overflow.wide, [], `at ${width}`);
        assert.equal(overflow.card, 0, `the lengths table scrolls at ${width}`);
        assert.deepEqual(overflow.cut, [], `lengths cut off at ${width}`);
      }
      const canvas = await s.page.locator('#canvas').boundingBox();
      assert.ok(canvas.width >= 330 && canvas.height >= 280, JSON.stringify(canvas));
      await s.page.screenshot({ path: path.join(s.dir, 'narrow.png'), fullPage: true });
      // Keyboard: Tab reaches the checked mode; the arrow key picks Offset.
      const radios = s.page.locator('#panel [role="radiogroup"] [role="radio"]');
      assert.equal(await radios.count(), 2);
      assert.equal(await radios.nth(0).getAttribute('aria-checked'), 'true');
      await radios.nth(0).focus();
      await s.page.keyboard.press('ArrowRight');
      await idle(s.page);
      assert.equal(await radios.nth(1).getAttribute('aria-checked'), 'true');
      assert.match(await serverScript(s.server.url), /^mode offset$/m);
      // Every control can be named and reached.
      const unnamed = await s.page.evaluate(() =>
        [...document.querySelectorAll('button, input, select')]
          .filter((e) => !e.hidden && !e.closest('[hidden]') && e.type !== 'file')
          .filter((e) => !(e.getAttribute('aria-label') || e.textContent.trim() || e.labels?.[0]?.textContent.trim()))
          .map((e) => e.outerHTML),
      );
      assert.deepEqual(unnamed, []);
    } finally {
      await s.close();
    }
  });
});
