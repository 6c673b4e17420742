// The playground in a real browser: Debian's Chromium, headless, driven by
// playwright-core, on pages served by elasticpull-host serve. Each test starts
// its own server on a fresh copy of a small mesh; what happened is checked on
// the server's side.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
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
  openPage,
  pointOf,
  runProgram,
  serverScript,
  serverState,
  startServer,
  workFolder,
} from './harness.mjs';

const FACTOR = 32771;
const CIRCLE_CALL = 11; // a pair's twelve calls end with moveTo H, circle

let browser;
before(async () => {
  browser = await launchBrowser();
});
after(async () => {
  await browser?.close();
});

// A served session on the test mesh: its folder, server and page.
async function session(name, extra = []) {
  const dir = workFolder(name);
  fs.writeFileSync(path.join(dir, 'pairs.obj'), MESH);
  const server = await startServer(dir, ['pairs.obj', '--select', '0-3', '-o', 'out.obj', ...extra]);
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

// Where the overlay's circle of pair k is centred, as the server drew it.
function circleCentre(state, pair) {
  const base = (12 * pair + CIRCLE_CALL - 1) * 5;
  assert.equal(state.overlay[base], 0, 'the call before the circle is a moveTo');
  assert.equal(state.overlay[base + 5], 3, 'then the circle');
  return state.overlay.slice(base + 1, base + 4);
}

describe('the page', () => {
  test('loads with four views, the panel, the help text and the overlay as the tool drew it', async () => {
    const s = await session('loads');
    try {
      const shown = await s.page.evaluate(() => ({
        calls: window.playground.overlay.callCount,
        labels: [...document.querySelectorAll('.view-label')].map((e) => e.textContent),
        factor: document.getElementById('control-32771').value,
        offsetDisabled: document.getElementById('control-32772').disabled,
        help: document.getElementById('help').textContent,
        buttons: [...document.querySelectorAll('#panel button')].map((b) => b.textContent),
      }));
      assert.equal(shown.calls, 24, 'twelve calls for each of the two pairs');
      assert.deepEqual(shown.labels, ['Top', 'Perspective', 'Front', 'Side']);
      assert.equal(shown.factor, '100');
      assert.equal(shown.offsetDisabled, true);
      assert.match(shown.help, /^Drag the handle\. CTRL for stretching all handles\./);
      assert.deepEqual(shown.buttons, ['Factor', 'Offset', 'Invert Handle', 'About']);
      const state = await serverState(s.server.url);
      const drawn = await s.page.evaluate(() => Array.from(window.playground.overlay.calls));
      assert.deepEqual(drawn, state.overlay);
      assert.deepEqual(s.errors, []);
    } finally {
      await s.close();
    }
  });
});

describe('the mouse', () => {
  test('a handle end dragged in the front view lands where the drag solve puts it', async () => {
    const s = await session('drag-front');
    try {
      await dragFrom(s.page, 'front', [0, 2, 0], 17, -90);
      const drags = dragsIn(await serverScript(s.server.url));
      assert.ok(drags.length >= 1 && drags.length <= 12, `${drags.length} drag frames`);
      const last = drags[drags.length - 1];
      // The front view gives x and y from the mouse and keeps the grabbed point's z.
      for (const d of drags) assert.equal(d[2], 0);
      assert.notEqual(last[0], 0);
      assert.ok(last[1] > 2.5, `dragged up to ${last[1]}`);
      const state = await serverState(s.server.url);
      // The pair's line is the y axis: the handle end lands on it at the mouse's height.
      assert.deepEqual(pointOf(state, 0), [0, last[1], 0]);
      assert.deepEqual(pointOf(state, 1), [0, 0, 0]);
      assert.deepEqual(pointOf(state, 2), [3, 3, 1], 'the other pair stays without CTRL');
      const page = await s.page.evaluate(() => window.playground.scene.points.slice(0, 3));
      assert.deepEqual(page, [0, last[1], 0], 'the page shows where the server put it');
      await s.page.mouse.move(5, 5);
      await s.page.screenshot({ path: path.join(path.dirname(s.dir), 'after-drag.png') });
      assert.deepEqual(s.errors, []);
    } finally {
      await s.close();
    }
  });

  test('with CTRL every pair takes the dragged pair\'s Factor', async () => {
    const s = await session('drag-ctrl');
    try {
      await dragFrom(s.page, 'front', [0, 2, 0], 0, -60, { ctrl: true });
      const script = await serverScript(s.server.url);
      assert.match(script, /^press 0 2 0 ctrl handle 0$/m, 'the press names the handle the page showed');
      assert.match(script, /^drag .* ctrl$/m);
      const y = dragsIn(script).at(-1)[1];
      const state = await serverState(s.server.url);
      const factor = y / 2;
      assert.deepEqual(pointOf(state, 0), [0, y, 0]);
      assert.deepEqual(pointOf(state, 2), [3, 3 * factor, 1]);
      assert.deepEqual(pointOf(state, 3), [3, 0, 1]);
    } finally {
      await s.close();
    }
  });

  test('a press away from every handle drags the handle end the tool\'s start chose, in its own plane', async () => {
    const s = await session('press-away');
    try {
      const at = await s.page.evaluate(() => window.playground.clientPosition('front', [0.35, 2.5, 0]));
      await s.page.mouse.move(at.x, at.y);
      await s.page.mouse.down();
      await idle(s.page);
      for (let i = 1; i <= 8; i++) await s.page.mouse.move(at.x, at.y - 6 * i);
      await s.page.mouse.up();
      await idle(s.page);
      const script = await serverScript(s.server.url);
      // The press is at the mouse, in the plane through the front view's middle
      // (z 1), and grabs no handle: the tool's start chooses.
      assert.match(script, /^pick\npress 0\.35\d* 2\.5 1 start\ndrag /m);
      const last = dragsIn(script).at(-1);
      assert.equal(last[2], 0, 'drags keep the held handle\'s z, not the view\'s middle');
      assert.deepEqual(pointOf(await serverState(s.server.url), 0), [0, last[1], 0]);
    } finally {
      await s.close();
    }
  });

  test('a click on an anchor end moves the handle circle to it', async () => {
    const s = await session('anchor-click');
    try {
      assert.deepEqual(circleCentre(await serverState(s.server.url), 0), [0, 2, 0]);
      await clickOn(s.page, 'front', [0, 0, 0]);
      const state = await serverState(s.server.url);
      assert.deepEqual(circleCentre(state, 0), [0, 0, 0]);
      assert.deepEqual(circleCentre(state, 1), [3, 3, 1], 'the other pair keeps its handle end');
      assert.deepEqual(pointOf(state, 1), [0, 0, 0], 'a click on an anchor end moves nothing');
      const onPage = await s.page.evaluate(() => window.playground.overlay.circleCentre(0).anchor);
      assert.deepEqual(onPage, [0, 0, 0]);
    } finally {
      await s.close();
    }
  });

  test('a right click keeps the result and the next stretch starts from it', async () => {
    const s = await session('right-click');
    try {
      await s.page.fill('#control-32771', '150');
      await s.page.press('#control-32771', 'Enter');
      await idle(s.page);
      const empty = await s.page.evaluate(() => window.playground.clientPosition('front', [1.5, 4, 0]));
      await s.page.mouse.click(empty.x, empty.y, { button: 'right' });
      await idle(s.page);
      assert.match(await serverScript(s.server.url), /^press [-0-9.e ]+ right\nrelease$/m);
      await s.page.fill('#control-32771', '200');
      await s.page.press('#control-32771', 'Enter');
      await idle(s.page);
      // 200 % of the kept length 3, not of the file's 2.
      assert.deepEqual(pointOf(await serverState(s.server.url), 0), [0, 6, 0]);
    } finally {
      await s.close();
    }
  });
});

describe('the options panel', () => {
  test('a Factor typed as a percentage stretches every pair', async () => {
    const s = await session('factor');
    try {
      await s.page.fill('#control-32771', '150');
      await s.page.press('#control-32771', 'Enter');
      await idle(s.page);
      const state = await serverState(s.server.url);
      assert.deepEqual(pointOf(state, 0), [0, 3, 0]);
      assert.deepEqual(pointOf(state, 2), [3, 4.5, 1]);
      const factor = state.panel.controls.find((c) => c.id === FACTOR);
      assert.equal(factor.value, 1.5);
      assert.equal(await s.page.inputValue('#control-32771'), '150');
    } finally {
      await s.close();
    }
  });

  test('Invert Handle puts every circle at the other end', async () => {
    const s = await session('invert');
    try {
      await s.page.click('#control-32774');
      await idle(s.page);
      const state = await serverState(s.server.url);
      assert.deepEqual(circleCentre(state, 0), [0, 0, 0]);
      assert.deepEqual(circleCentre(state, 1), [3, 0, 1]);
    } finally {
      await s.close();
    }
  });

  test('About shows the picture the tool painted', async () => {
    const s = await session('about');
    try {
      await s.page.click('#control-32775');
      await idle(s.page);
      await s.page.waitForFunction(() => {
        const img = document.getElementById('about-image');
        return document.getElementById('about-dialog').open && img.complete && img.naturalWidth > 0;
      });
      const about = await s.page.evaluate(() => ({
        width: document.getElementById('about-image').naturalWidth,
        height: document.getElementById('about-image').naturalHeight,
        texts: document.getElementById('about-texts').textContent,
      }));
      assert.deepEqual([about.width, about.height], [307, 150]);
      assert.match(about.texts, /Elastic_Pull 1\.1/);
      await s.page.click('#about-dialog .close');
      assert.equal(await s.page.evaluate(() => document.getElementById('about-dialog').open), false);
      // It opened for the press; a reload does not open it again.
      await s.page.reload();
      await s.page.evaluate(() => window.playground.ready);
      await idle(s.page);
      assert.equal(await s.page.evaluate(() => document.getElementById('about-dialog').open), false);
    } finally {
      await s.close();
    }
  });

  test('a box the tool shows appears in the page whose action raised it, and only there', async () => {
    const dir = workFolder('message');
    fs.writeFileSync(path.join(dir, 'pairs.obj'), MESH);
    const server = await startServer(dir, ['pairs.obj', '--select', '4']);
    const first = await openPage(browser, server.url);
    const second = await openPage(browser, server.url);
    const open = (page) => page.evaluate(() => document.getElementById('message-dialog').open);
    try {
      assert.equal(await open(first.page), false, 'a page load takes no box');
      await first.page.click('#btn-undo'); // picks the tool again: it warns again
      await idle(first.page);
      await first.page.waitForFunction(() => document.getElementById('message-dialog').open);
      assert.equal(await first.page.textContent('#message-text'), 'Please select two or more points.');
      assert.equal(await first.page.textContent('#message-kind'), 'Warning');
      await second.page.reload();
      await second.page.evaluate(() => window.playground.ready);
      assert.equal(await open(second.page), false, 'another tab never takes it');
    } finally {
      await first.page.close();
      await second.page.close();
      await server.stop();
    }
  });
});

describe('undo and redo', () => {
  test('Ctrl+Z puts back the drag, the mesh and the panel; Ctrl+Y does it again', async () => {
    const s = await session('undo-redo');
    try {
      await s.page.fill('#control-32771', '150');
      await s.page.press('#control-32771', 'Enter');
      await idle(s.page);
      await dragFrom(s.page, 'front', [0, 3, 0], 0, -40);
      const dragged = pointOf(await serverState(s.server.url), 0);
      assert.ok(dragged[1] > 3, `dragged to ${dragged}`);
      await s.page.mouse.move(5, 5);
      await s.page.keyboard.press('Control+z');
      await idle(s.page);
      let state = await serverState(s.server.url);
      assert.deepEqual(pointOf(state, 0), [0, 3, 0], 'the whole drag is one step');
      assert.deepEqual(await s.page.evaluate(() => window.playground.scene.points.slice(0, 3)), [0, 3, 0]);
      await s.page.keyboard.press('Control+z');
      await idle(s.page);
      state = await serverState(s.server.url);
      assert.deepEqual(pointOf(state, 0), [0, 2, 0]);
      assert.equal(state.panel.controls.find((c) => c.id === FACTOR).value, 1);
      assert.equal(await s.page.inputValue('#control-32771'), '100');
      await s.page.keyboard.press('Control+y');
      await s.page.keyboard.press('Control+y');
      await idle(s.page);
      assert.deepEqual(pointOf(await serverState(s.server.url), 0), dragged);
      assert.match(await serverScript(s.server.url), /^undo\nundo\nredo\nredo$/m);
      assert.deepEqual(s.errors, []);
    } finally {
      await s.close();
    }
  });
});

describe('saving', () => {
  test('Save writes the file the command line writes for the same actions', async () => {
    const s = await session('save');
    try {
      await dragFrom(s.page, 'front', [0, 2, 0], 11, -70);
      await dragFrom(s.page, 'front', [3, 3, 1], -9, -40, { ctrl: true });
      await clickOn(s.page, 'front', [0, 0, 0]);
      await s.page.fill('#control-32771', '125');
      await s.page.press('#control-32771', 'Enter');
      await s.page.click('#control-32774');
      const empty = await s.page.evaluate(() => window.playground.clientPosition('front', [1.5, 5, 0]));
      await s.page.mouse.click(empty.x, empty.y, { button: 'right' });
      await idle(s.page);
      const point0 = await s.page.evaluate(() => window.playground.scene.points.slice(0, 3));
      await dragFrom(s.page, 'front', point0, 0, 30);
      await s.page.mouse.move(5, 5);
      await s.page.keyboard.press('Control+z');
      await s.page.keyboard.press('Control+z');
      await s.page.keyboard.press('Control+y');
      await idle(s.page);
      await s.page.click('#btn-save');
      await idle(s.page);
      const saved = fs.readFileSync(path.join(s.dir, 'out.obj'), 'utf8');
      assert.notEqual(saved, MESH);
      const script = await serverScript(s.server.url);
      fs.writeFileSync(path.join(s.dir, 'session.script'), script);
      const cli = runProgram(s.dir, ['pairs.obj', '--script', 'session.script', '-o', 'cli.obj', '-q']);
      assert.equal(cli.status, 0, cli.stderr);
      assert.equal(saved, fs.readFileSync(path.join(s.dir, 'cli.obj'), 'utf8'));
      const download = await (await api(s.server.url, 'download')).text();
      assert.equal(download, saved);
      assert.deepEqual(s.errors, []);
    } finally {
      await s.close();
    }
  });
});

describe('pages that agree', () => {
  // The page's Factor field, its points and its session version.
  const shown = (page) =>
    page.evaluate(() => ({
      factor: document.getElementById('control-32771').value,
      points: Array.from(window.playground.scene.points),
      version: window.playground.channel.stateVersion,
    }));

  test('an edit in one page shows in the other, and an action on an old scene is refused', async () => {
    const s = await session('two-pages');
    const second = await openPage(browser, s.server.url);
    try {
      await s.page.fill('#control-32771', '150');
      await s.page.press('#control-32771', 'Enter');
      await idle(s.page);
      await second.page.waitForFunction(() => document.getElementById('control-32771').value === '150');
      const server = await serverState(s.server.url);
      assert.deepEqual((await shown(second.page)).points, server.points);
      // A drag in the second page shows in the first.
      await dragFrom(second.page, 'front', [3, 4.5, 1], 0, -40);
      const dragged = (await serverState(s.server.url)).points;
      await s.page.waitForFunction((y) => window.playground.scene.points[7] === y, dragged[7]);
      assert.deepEqual((await shown(s.page)).points, dragged);
      // The release's answer may reach the first page after the last moved points.
      await idle(second.page);
      const latest = (await shown(second.page)).version;
      await s.page.waitForFunction((v) => window.playground.channel.stateVersion === v, latest);
      assert.equal((await shown(s.page)).version, (await shown(second.page)).version);

      // The first page stops hearing the pushes; the second changes Factor.
      await s.page.evaluate(() => window.playground.channel.events.close());
      await second.page.fill('#control-32771', '200');
      await second.page.press('#control-32771', 'Enter');
      await idle(second.page);
      const before = await serverScript(s.server.url);
      // The first page's edit was made on the scene it showed: refused, and
      // the page now shows the server's.
      await s.page.fill('#control-32771', '120');
      await s.page.press('#control-32771', 'Enter');
      await idle(s.page);
      assert.equal(await serverScript(s.server.url), before, 'the stale edit reached the tool');
      assert.match(await s.page.textContent('#notice'), /another page changed the session/);
      await s.page.waitForFunction(() => document.getElementById('control-32771').value === '200');
      assert.deepEqual((await shown(s.page)).points, (await serverState(s.server.url)).points);
      // (Chromium reports the refused request itself on the console.)
      const errors = [...s.errors, ...second.errors].filter((e) => !/status of 409/.test(e));
      assert.deepEqual(errors, []);
    } finally {
      await second.page.close();
      await s.close();
    }
  });
});

describe('the access token', () => {
  test('the printed address moves the token into a cookie; without it the page can do nothing', async () => {
    const s = await session('token');
    try {
      assert.equal(new URL(s.page.url()).search, '', 'the token left the address bar');
      assert.equal(await s.page.evaluate(() => document.cookie), '', 'scripts cannot read the cookie');
      // (Cookies are kept by host, not port: earlier tests' servers left theirs.)
      const name = `elasticpull-token-${new URL(s.server.url).port}`;
      const cookie = (await browser.context.cookies(s.server.url)).find((c) => c.name === name);
      assert.ok(cookie, `no cookie ${name}`);
      assert.deepEqual([cookie.httpOnly, cookie.sameSite, cookie.path], [true, 'Strict', '/']);
      assert.equal(cookie.value, new URL(s.server.url).searchParams.get('token'));

      // Without the cookie, the page loads but cannot reach the session.
      await browser.context.clearCookies();
      const other = await browser.context.newPage();
      const origin = new URL(s.server.url).origin;
      await other.goto(`${origin}/`);
      await other.waitForFunction(() => /access token/.test(document.getElementById('notice').textContent));
      const wrong = await other.goto(`${origin}/?token=${'0'.repeat(48)}`);
      assert.equal(wrong.status(), 401);
      assert.equal((await browser.context.cookies(s.server.url)).length, 0);
      // The printed address lets it in again.
      await other.goto(s.server.url);
      await other.evaluate(() => window.playground.ready);
      assert.equal(await other.evaluate(() => window.playground.scene.selected.length), 4);
      await other.close();
      const state = await fetch(new URL('api/state', s.server.url));
      assert.equal(state.status, 401);
      assert.equal((await serverState(s.server.url)).full, true);
    } finally {
      await s.close();
    }
  });
});

describe('serve options', () => {
  test('--pairs chooses the pairs and --in-place saves the mesh itself, as the command line would', async () => {
    const dir = workFolder('pairs-in-place');
    fs.writeFileSync(path.join(dir, 'pairs.obj'), MESH);
    fs.writeFileSync(path.join(dir, 'original.obj'), MESH);
    const server = await startServer(dir, ['pairs.obj', '--pairs', '3:2,0:1', '--in-place']);
    const { page, errors } = await openPage(browser, server.url);
    try {
      assert.deepEqual(await page.evaluate(() => window.playground.scene.selected), [3, 2, 0, 1]);
      await page.fill('#control-32771', '150');
      await page.press('#control-32771', 'Enter');
      await page.click('#btn-save');
      await idle(page);
      const saved = fs.readFileSync(path.join(dir, 'pairs.obj'), 'utf8');
      assert.notEqual(saved, MESH);
      const script = await serverScript(server.url);
      assert.match(script, /^pairs 3:2,0:1$/m);
      fs.writeFileSync(path.join(dir, 'session.script'), script);
      const cli = runProgram(dir, ['original.obj', '--script', 'session.script', '-o', 'cli.obj', '-q']);
      assert.equal(cli.status, 0, cli.stderr);
      assert.equal(saved, fs.readFileSync(path.join(dir, 'cli.obj'), 'utf8'));
      assert.deepEqual(errors, []);
    } finally {
      await page.close();
      assert.equal(await server.stop(), 0, server.log());
    }
  });
});

describe('safety', () => {
  test('a page of another origin can neither drive nor read the session', async () => {
    const s = await session('foreign-origin');
    // A page on another port of this machine tries both kinds of request.
    const target = new URL('api/reset', s.server.url).href;
    const foreign = http.createServer((req, res) => {
      res.setHeader('Content-Type', 'text/html');
      res.end('<!doctype html><title>elsewhere</title>');
    });
    await new Promise((resolve) => foreign.listen(0, '127.0.0.1', resolve));
    try {
      const page = await browser.context.newPage();
      await page.goto(`http://127.0.0.1:${foreign.address().port}/`);
      const outcome = await page.evaluate(async (url) => {
        const result = {};
        try {
          const r = await fetch(url, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: '{}' });
          result.json = r.status;
        } catch (e) {
          result.json = 'blocked';
        }
        // A "simple" request goes out without asking first; its answer is
        // withheld from the page (Cross-Origin-Resource-Policy) anyway.
        try {
          const simple = await fetch(url, { method: 'POST', mode: 'no-cors', body: '{}' });
          result.simple = simple.type;
        } catch (e) {
          result.simple = 'blocked';
        }
        try {
          await fetch(url.replace('reset', 'state'));
          result.read = 'read';
        } catch (e) {
          result.read = 'blocked';
        }
        return result;
      }, target);
      await page.close();
      assert.equal(outcome.json, 'blocked');
      assert.equal(outcome.read, 'blocked');
      assert.ok(['opaque', 'blocked'].includes(outcome.simple), outcome.simple);
      assert.doesNotMatch(await serverScript(s.server.url), /^reset$/m, 'the tool never saw the reset');
      assert.match(s.server.log(), /refused .*\/api\/reset: requests from the origin 'http:\/\/127\.0\.0\.1:\d+'/);
      const direct = await fetch(target, {
        method: 'POST',
        headers: { 'Content-Type': 'application/json', Origin: 'http://evil.example' },
        body: '{}',
      });
      assert.equal(direct.status, 403);
    } finally {
      foreign.close();
      await s.close();
    }
  });
});
