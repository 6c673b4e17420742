// Takes the README's picture of the playground in headless Chromium: a real
// mesh (the spider of Debian's assimp-testmodels) opened in the page, its
// upright edges chosen as pairs, and the longest stretched to an exact length
// in the lengths table. Run by hand after the dev build:
//   EP_HOST_PROGRAM=build/dev/elasticpull-host node web/tests/readme_screenshot.mjs docs/playground.png
import fs from 'node:fs';
import path from 'node:path';
import { idle, launchBrowser, openPage, startServer, workFolder } from './harness.mjs';

const SPIDER = '/usr/share/assimp/models/OBJ/spider.obj';
const target = path.resolve(process.argv[2] ?? 'playground.png');
if (!fs.existsSync(SPIDER)) throw new Error(`${SPIDER} is missing: apt-get install assimp-testmodels`);

const dir = workFolder('readme-screenshot');
fs.copyFileSync(new URL('../../examples/bars.obj', import.meta.url), path.join(dir, 'bars.obj'));
const server = await startServer(dir, ['bars.obj', '-o', 'out.obj']);
const browser = await launchBrowser();
try {
  const { page, errors } = await openPage(browser, server.url);
  await page.setInputFiles('#open-file', { name: 'spider.obj', mimeType: 'text/plain', buffer: fs.readFileSync(SPIDER) });
  await page.waitForFunction(() => window.playground.scene.name === 'spider.obj');
  await page.selectOption('#edge-axis', 'y');
  await page.fill('#edge-within', '10');
  await page.click('#btn-edges');
  await idle(page);
  // The longest pair first, then 1.4 times as long.
  await page.click('#lengths-table th button[data-column="now"]');
  await page.click('#lengths-table th button[data-column="now"]');
  const row = page.locator('#lengths-table tbody tr').first();
  const now = Number(await row.locator('input.length-now').inputValue());
  await row.locator('input.length-now').fill(String(Math.round(now * 1.4 * 100) / 100));
  await row.locator('input.length-now').press('Enter');
  await idle(page);
  await page.locator('#canvas').focus();
  await page.keyboard.press('f');
  await page.evaluate(() => document.getElementById('lengths-card').scrollIntoView());
  await page.waitForTimeout(300);
  await page.screenshot({ path: target });
  if (errors.length > 0) throw new Error(errors.join('\n'));
  console.log(`wrote ${target}`);
} finally {
  await browser.close();
  await server.stop();
}
