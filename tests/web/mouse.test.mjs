// The paint program of examples/mouse on its page (mouse.html, built with the demo's page) in
// headless Chromium, driven by puppeteer-core: a digit typed, a drag with the left button, the
// right and middle buttons, the wheel and a touch each reach the program at the console pixel
// under them, as its printed presses and its picture show. Serves the built page (WEB_PAGE_DIR,
// default build-web/page) from a server of its own on 127.0.0.1.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { createServer } from 'node:http';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { extname, join, normalize } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = fileURLToPath(new URL('../../', import.meta.url));
const require = createRequire(join(root, 'web', 'package.json'));
const puppeteer = require('puppeteer-core');

const pageDir = process.env.WEB_PAGE_DIR || join(root, 'build-web', 'page');
const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };

let server, base, browser, profile;
const problems = [];

before(async () => {
  server = createServer((request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
    try {
      const body = readFileSync(join(pageDir, path));
      response.writeHead(200, { 'Content-Type': types[extname(path)] || 'application/octet-stream' });
      response.end(body);
    } catch {
      response.writeHead(404).end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  base = `http://127.0.0.1:${server.address().port}/mouse.html`;
  profile = mkdtempSync(join(tmpdir(), 'trelk-chromium-'));
  browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    defaultViewport: null,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--no-first-run',
           '--window-size=1000,800'],
  });
});

after(async () => {
  await browser?.close();
  server?.close();
  if (profile) rmSync(profile, { recursive: true, force: true });
});

const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function until(page, test, what, seconds = 20) {
  const end = Date.now() + seconds * 1000;
  while (!(await page.evaluate(test).catch(() => false))) {
    if (Date.now() > end) throw new Error(`still not so after ${seconds} s: ${what}`);
    await pause(50);
  }
}

// The colour of console pixel (x, y) on the canvas, as 0xRRGGBB
function pixel(page, x, y) {
  return page.evaluate((x, y) => {
    const d = document.getElementById('screen').getContext('2d').getImageData(x, y, 1, 1).data;
    return d[0] << 16 | d[1] << 8 | d[2];
  }, x, y);
}

test('a digit, the buttons, the wheel and a touch reach the paint program at the console ' +
     'pixel under them', async () => {
  const page = await browser.newPage();
  await page.setViewport({ width: 1000, height: 800, hasTouch: true });
  page.on('console', (m) => { if (m.type() === 'error') problems.push(m.text()); });
  page.on('pageerror', (e) => problems.push(e.message));
  await page.goto(base);
  // The program has asked for the mouse: the canvas takes touches for itself
  await until(page, () => document.getElementById('screen').style.touchAction === 'none',
              'the program asking for the mouse');
  const box = await page.evaluate(() => {
    const r = document.getElementById('screen').getBoundingClientRect();
    return { left: r.left, top: r.top, scale: r.width / 320 };
  });
  assert.ok(box.scale >= 1, `the canvas is ${box.scale} times the console`);
  const at = (x, y) => [box.left + (x + 0.5) * box.scale, box.top + (y + 0.5) * box.scale];
  const printed = (n) => until(page, `mousePage.printed.length >= ${n}`, `${n} presses printed`);

  await page.keyboard.type('3');  // the third colour, orange
  await page.mouse.move(...at(100, 50));
  await page.mouse.down();
  await page.mouse.move(...at(160, 50), { steps: 6 });
  await page.mouse.up();
  await printed(1);
  await page.mouse.click(...at(160, 50), { button: 'right' });
  await page.mouse.click(...at(200, 100), { button: 'middle' });
  await printed(3);
  // Three steps of the wheel turned away: the brush grows from 4 to 7, shown in the bar
  await page.mouse.move(...at(20, 20));
  await page.mouse.wheel({ deltaY: -300 });
  await until(page, `(() => {
    const d = document.getElementById('screen').getContext('2d').getImageData(156, 194, 1, 1);
    return d.data[0] === 0xe0 && d.data[1] === 0xa0;
  })()`, 'the larger brush in the bar');
  await page.touchscreen.tap(...at(250, 150));
  await printed(4);
  await page.keyboard.press('Escape');
  await until(page, 'mousePage.status !== null', 'the program to end');

  assert.equal(await page.evaluate('mousePage.status'), 0);
  assert.deepEqual(await page.evaluate('mousePage.printed'),
                   ['press 100 50 left', 'press 160 50 right', 'press 200 100 middle',
                    'press 250 150 left']);
  const orange = 0xe0a030, background = 0x101820;
  assert.equal(await pixel(page, 100, 50), orange, 'the drag began there');
  assert.equal(await pixel(page, 130, 51), orange, 'the stroke');
  assert.equal(await pixel(page, 160, 50), background, 'erased by the right button');
  assert.equal(await pixel(page, 200, 100), background, 'the middle button draws nothing');
  assert.equal(await pixel(page, 252, 152), orange, 'the touch, with the larger brush');
  assert.equal(await pixel(page, 256, 156), background);
  await page.close();
  assert.deepEqual(problems, []);
});
