// The demo's page in headless Chromium (driven by puppeteer-core): the proof that the browser
// build is the same program as the desktop one. Serves the built page (WEB_PAGE_DIR, default
// build-web/page) from a server of its own on 127.0.0.1.
//
// Run by test.sh: node --test tests/web/
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { createServer } from 'node:http';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { extname, join, normalize } from 'node:path';
import { fileURLToPath } from 'node:url';
import { inflateSync } from 'node:zlib';

const root = fileURLToPath(new URL('../../', import.meta.url));
const require = createRequire(join(root, 'web', 'package.json'));
const puppeteer = require('puppeteer-core');

const pageDir = process.env.WEB_PAGE_DIR || join(root, 'build-web', 'page');
const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };

let server, base, browser, profile;
const problems = [];  // console errors, page errors and failed requests of every page

before(async () => {
  server = createServer((request, response) => {
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
    try {
      const body = readFileSync(join(pageDir, path === '/' ? 'index.html' : path));
      response.writeHead(200, { 'Content-Type': types[extname(path)] || 'application/octet-stream' });
      response.end(body);
    } catch {
      response.writeHead(404).end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  base = `http://127.0.0.1:${server.address().port}/index.html`;
  profile = mkdtempSync(join(tmpdir(), 'kelvra-chromium-'));
  browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--no-first-run',
           '--autoplay-policy=no-user-gesture-required', '--window-size=1000,800'],
  });
});

after(async () => {
  await browser?.close();
  server?.close();
  if (profile) rmSync(profile, { recursive: true, force: true });
});

async function open(query) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1000, height: 800 });
  page.on('console', (m) => { if (m.type() === 'error') problems.push(`${query}: ${m.text()}`); });
  page.on('pageerror', (e) => problems.push(`${query}: ${e.message}`));
  page.on('requestfailed', (r) => problems.push(`${query}: ${r.url()} failed`));
  await page.goto(base + query);
  return page;
}

// The demo's exit status once it has ended, and what the page says
async function ending(page, seconds = 60) {
  await page.waitForFunction('kelvraDemo.status !== null', { timeout: seconds * 1000 });
  return page.evaluate(() => ({ status: kelvraDemo.status,
                                text: document.getElementById('status').textContent }));
}

// An 8-bit RGB PNG (what the desktop capture writes) as {width, height, rgb}
function readPng(file) {
  const bytes = readFileSync(file);
  let width = 0, height = 0, at = 8;
  const data = [];
  while (at < bytes.length) {
    const length = bytes.readUInt32BE(at), type = bytes.toString('latin1', at + 4, at + 8);
    const body = bytes.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0), height = body.readUInt32BE(4);
      assert.deepEqual([...body.subarray(8, 13)], [8, 2, 0, 0, 0], `${file}: not 8-bit RGB`);
    }
    if (type === 'IDAT') data.push(body);
    at += 12 + length;
  }
  const raw = inflateSync(Buffer.concat(data)), stride = width * 3;
  const rgb = Buffer.alloc(stride * height);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)], line = raw.subarray(y * (stride + 1) + 1);
    for (let x = 0; x < stride; ++x) {
      const a = x >= 3 ? rgb[y * stride + x - 3] : 0, b = y ? rgb[(y - 1) * stride + x] : 0;
      const c = x >= 3 && y ? rgb[(y - 1) * stride + x - 3] : 0;
      const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
      const predictor = [0, a, b, (a + b) >> 1, pa <= pb && pa <= pc ? a : pb <= pc ? b : c];
      rgb[y * stride + x] = (line[x] + predictor[filter]) & 255;
    }
  }
  return { width, height, rgb };
}

test('frames 1, 2 and 300 on the canvas equal the desktop reference frames', async () => {
  for (const n of [1, 2, 300]) {
    const page = await open(`?frames=${n}`);
    assert.equal((await ending(page)).status, 0);
    const shown = await page.evaluate(() => {
      const canvas = document.getElementById('screen');
      const pixels = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height);
      return { width: canvas.width, height: canvas.height, rgba: Array.from(pixels.data) };
    });
    const name = `demo_frame_${String(n).padStart(3, '0')}.png`;
    const expected = readPng(join(root, 'tests', 'data', name));
    assert.equal(shown.width, expected.width);
    assert.equal(shown.height, expected.height);
    let differ = 0, first = null;
    for (let i = 0; i < shown.width * shown.height; ++i) {
      for (let k = 0; k < 3; ++k) {
        if (shown.rgba[i * 4 + k] !== expected.rgb[i * 3 + k]) {
          if (differ++ === 0) first = [i % shown.width, Math.floor(i / shown.width)];
          break;
        }
      }
    }
    assert.equal(differ, 0, `frame ${n}: ${differ} pixels differ from ${name}, the first at ${first}`);
    await page.close();
  }
  assert.deepEqual(problems, []);
});

test('the page is titled, scales by a whole factor, plays the music, and a key ends the demo',
     async () => {
  const page = await open('');
  await page.waitForFunction('Module.trelkMusic.position() > 0', { timeout: 20000 });
  const looks = await page.evaluate(() => {
    const canvas = document.getElementById('screen');
    return { title: document.title, shown: canvas.getBoundingClientRect().width,
             width: canvas.width, css: getComputedStyle(canvas).imageRendering };
  });
  assert.equal(looks.title, 'kelvra demo');
  assert.equal(looks.css, 'pixelated');
  assert.ok(looks.shown >= looks.width && looks.shown % looks.width === 0, `shown ${looks.shown}`);
  // The song moves on and is heard: its position advances, and the output is not silent
  const first = await page.evaluate('Module.trelkMusic.position()');
  await new Promise((resolve) => setTimeout(resolve, 1500));
  const music = await page.evaluate(() => ({ position: Module.trelkMusic.position(),
                                             level: Module.trelkMusic.level() }));
  assert.ok(music.position > first + 0.5, `position ${first} -> ${music.position}`);
  assert.ok(music.level > 0.001, `output level ${music.level}`);
  assert.equal(await page.evaluate('kelvraDemo.status'), null, 'the demo still runs');
  await page.keyboard.press('KeyA');
  const end = await ending(page, 10);
  assert.equal(end.status, 0);
  assert.match(end.text, /status 0/);
  await page.close();
  assert.deepEqual(problems, []);
});

test('without flagga.tga the page says "could not load image" and status 1', async () => {
  const page = await open('?without=flagga.tga');
  const end = await ending(page, 20);
  assert.equal(end.status, 1);
  assert.match(end.text, /could not load image/);
  assert.match(end.text, /status 1/);
  await page.close();
});
