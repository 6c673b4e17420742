// What the browser tests share: the program serving a mesh, Debian's Chromium
// driven by playwright-core, and a few moves of the mouse.
//
// Environment (CTest sets it): EP_HOST_PROGRAM, the elasticpull-host to run;
// EP_TEST_OUTPUT_DIR, where each test's files and screenshots go;
// EP_CHROMIUM, the browser (default /usr/bin/chromium).
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

// A relative EP_HOST_PROGRAM is taken from where the tests start (the program runs in a test's folder).
export const PROGRAM = process.env.EP_HOST_PROGRAM && path.resolve(process.env.EP_HOST_PROGRAM);
export const OUTPUT = path.join(process.env.EP_TEST_OUTPUT_DIR || os.tmpdir(), 'playground');
const CHROMIUM = process.env.EP_CHROMIUM || '/usr/bin/chromium';

// Two pairs spread out so that no two selected points meet in the front
// view: handle (0,2,0) over anchor (0,0,0), handle (3,3,1) over anchor
// (3,0,1); point 4 is not selected. Points 0 to 3 are selected.
export const MESH = 'v 0 2 0\nv 0 0 0\nv 3 3 1\nv 3 0 1\nv 6 1 2\nf 1 2 4 3\nl 3 5\n';

// A fresh folder for one test under the output folder.
export function workFolder(name) {
  const dir = path.join(OUTPUT, name.replace(/[^A-Za-z0-9_-]+/g, '-'));
  fs.rmSync(dir, { recursive: true, force: true });
  fs.mkdirSync(dir, { recursive: true });
  return dir;
}

// Starts `elasticpull-host serve` on a free port in `dir`; resolves when it
// prints its address (`url`, with the access token).
export function startServer(dir, args) {
  if (!PROGRAM) throw new Error('EP_HOST_PROGRAM is not set: run the tests through CTest');
  const child = spawn(PROGRAM, ['serve', ...args], { cwd: dir, stdio: ['ignore', 'pipe', 'pipe'] });
  let out = '';
  let err = '';
  child.stderr.on('data', (d) => (err += d));
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`no address printed:\n${out}\n${err}`)), 15000);
    child.on('exit', (code) => reject(new Error(`serve ended with ${code}:\n${out}\n${err}`)));
    child.stdout.on('data', (d) => {
      out += d;
      const found = out.match(/Open (http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+) /);
      if (!found) return;
      clearTimeout(timer);
      resolve({
        url: found[1],
        log: () => out + err,
        stop: () =>
          new Promise((done) => {
            if (child.exitCode !== null) return done(child.exitCode);
            child.removeAllListeners('exit');
            child.on('exit', (code) => done(code));
            child.kill('SIGINT');
          }),
      });
    });
  });
}

// Debian's Chromium, headless, with a fresh profile; software WebGL.
export async function launchBrowser() {
  if (!fs.existsSync(CHROMIUM)) throw new Error(`${CHROMIUM} is missing: run scripts/install-deps.sh`);
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'ep-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM,
    headless: true,
    viewport: { width: 1400, height: 860 },
    args: [
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
      '--use-angle=swiftshader',
      '--enable-unsafe-swiftshader',
    ],
  });
  return {
    context,
    close: async () => {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

// Opens the page and waits for its scene; page errors are collected.
export async function openPage(browser, url) {
  const page = await browser.context.newPage();
  const errors = [];
  page.on('pageerror', (e) => errors.push(e.message));
  page.on('console', (m) => {
    if (m.type() === 'error') errors.push(m.text());
  });
  await page.goto(url);
  await page.evaluate(() => window.playground.ready);
  return { page, errors };
}

export const idle = (page) => page.evaluate(() => window.playground.channel.idle());

// Where a model point is on the page in a view.
export const onScreen = (page, view, point) =>
  page.evaluate(([v, p]) => window.playground.clientPosition(v, p), [view, point]);

// Presses on a model point in a view, moves the mouse by (dx, dy) pixels in
// `steps` steps and lets go; waits until the server has answered everything.
export async function dragFrom(page, view, point, dx, dy, { steps = 12, ctrl = false } = {}) {
  const start = await onScreen(page, view, point);
  if (ctrl) await page.keyboard.down('Control');
  await page.mouse.move(start.x, start.y);
  await page.mouse.down();
  for (let i = 1; i <= steps; i++) await page.mouse.move(start.x + (dx * i) / steps, start.y + (dy * i) / steps);
  await page.mouse.up();
  if (ctrl) await page.keyboard.up('Control');
  await idle(page);
}

export async function clickOn(page, view, point, options = {}) {
  const at = await onScreen(page, view, point);
  await page.mouse.click(at.x, at.y, options);
  await idle(page);
}

// A request to the API of the server at `url` (the address it printed), with
// its access token, as a program presents it.
export function api(url, resource, init = {}) {
  const token = new URL(url).searchParams.get('token');
  const headers = { Authorization: `Bearer ${token}`, ...(init.headers || {}) };
  return fetch(new URL(`api/${resource}`, url), { ...init, headers });
}

// The server's side: the scene as it holds it, and its session script.
export async function serverState(url) {
  const r = await api(url, 'state');
  return r.json();
}

export async function serverScript(url) {
  const r = await api(url, 'script');
  return r.text();
}

export const pointOf = (state, i) => state.points.slice(3 * i, 3 * i + 3);

// The drag positions the server received, from its session script.
export function dragsIn(script) {
  return script
    .split('\n')
    .filter((line) => line.startsWith('drag '))
    .map((line) => line.split(' ').slice(1, 4).map(Number));
}

// Runs the command line (elasticpull-host with its arguments) in `dir`.
export function runProgram(dir, args) {
  return spawnSync(PROGRAM, args, { cwd: dir, encoding: 'utf8' });
}
