// The demo's page in headless Chromium (driven by puppeteer-core): the proof that the browser
// build is the same program as the desktop one, and that a visitor with a keyboard, a mouse or
// only a touch screen meets what docs/web.md says. Serves the built page (WEB_PAGE_DIR, default
// build-web/page) from a server of its own on 127.0.0.1.
//
// Chromium runs as a visitor's does: a page may make sound only after a click, key or tap. The
// page is read through DevTools calls that are no gesture (read, until): puppeteer's evaluate
// and $ give the page the user activation a click would, which would start the music.
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
const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
                '.css': 'text/css', '.png': 'image/png' };
// Every answer carries the strictest policy the page is said to work under (web/HOSTING.txt):
// an inline script or style, a data: address or eval would be refused, and the refusal is a
// problem of the test that met it
const policy = "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'";

let server, base, browser;
const profiles = [];
const problems = [];  // console errors, page errors and failed requests of every page

// Chromium without the permission to play sound before a gesture, with a fresh profile
async function launch(args = []) {
  const profile = mkdtempSync(join(tmpdir(), 'kelvra-chromium-'));
  profiles.push(profile);
  return puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    defaultViewport: null,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--no-first-run',
           '--autoplay-policy=document-user-activation-required', '--window-size=1000,800',
           ...args],
  });
}

before(async () => {
  server = createServer({ maxHeaderSize: 1 << 20 }, (request, response) => {  // long addresses too
    const path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname));
    try {
      const body = readFileSync(join(pageDir, path === '/' ? 'index.html' : path));
      response.writeHead(200, { 'Content-Type': types[extname(path)] || 'application/octet-stream',
                                'Content-Security-Policy': policy });
      response.end(body);
    } catch {
      response.writeHead(404).end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  base = `http://127.0.0.1:${server.address().port}/index.html`;
  browser = await launch();
});

after(async () => {
  await browser?.close();
  server?.close();
  for (const profile of profiles) rmSync(profile, { recursive: true, force: true });
});

async function open(query, viewport = { width: 1000, height: 800 }, script = true, from = browser) {
  const page = await from.newPage();
  if (viewport) await page.setViewport(viewport);
  if (!script) await page.setJavaScriptEnabled(false);
  page.on('console', (m) => { if (m.type() === 'error') problems.push(`${query}: ${m.text()}`); });
  page.on('pageerror', (e) => problems.push(`${query}: ${e.message}`));
  page.on('requestfailed', (r) => problems.push(`${query}: ${r.url()} failed`));
  await page.evaluateOnNewDocument(() => document.addEventListener('securitypolicyviolation',
    (e) => console.error(`policy violation: ${e.violatedDirective} ${e.blockedURI}`)));
  await page.goto(base + query);
  return page;
}

// The value of a JavaScript expression in the page, read without a user gesture
const sessions = new WeakMap();
async function read(page, expression) {
  if (!sessions.has(page)) sessions.set(page, await page.createCDPSession());
  const { result, exceptionDetails } = await sessions.get(page).send('Runtime.evaluate', {
    expression, returnByValue: true, awaitPromise: true, userGesture: false });
  if (exceptionDetails) throw new Error(`${expression}: ${exceptionDetails.exception?.description}`);
  return result.value;
}

const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Waits until the expression is true in the page (read as above)
async function until(page, expression, seconds = 20) {
  const end = Date.now() + seconds * 1000;
  // (before the page's scripts have run, what the expression names may not be there yet)
  while (!(await read(page, expression).catch(() => false))) {
    if (Date.now() > end) throw new Error(`still not so after ${seconds} s: ${expression}`);
    await pause(50);
  }
}

const statusLine = "document.getElementById('status').textContent";

// The demo's exit status once it has ended, and what the page says
async function ending(page, seconds = 60) {
  await until(page, 'kelvraDemo.status !== null', seconds);
  return read(page, `({ status: kelvraDemo.status, text: ${statusLine} })`);
}

// An 8-bit RGB or RGBA PNG (the desktop capture writes RGB, Chromium's screenshots RGBA) as
// {width, height, rgb, bpp}, bpp the bytes per pixel in rgb (3 or 4)
function readPng(file) {
  const bytes = Buffer.isBuffer(file) ? file : readFileSync(file);
  let width = 0, height = 0, bpp = 3, at = 8;
  const data = [];
  while (at < bytes.length) {
    const length = bytes.readUInt32BE(at), type = bytes.toString('latin1', at + 4, at + 8);
    const body = bytes.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0), height = body.readUInt32BE(4);
      assert.ok([2, 6].includes(body[9]) && body[8] === 8 && body[12] === 0, 'not 8-bit RGB(A)');
      bpp = body[9] === 6 ? 4 : 3;
    }
    if (type === 'IDAT') data.push(body);
    at += 12 + length;
  }
  const raw = inflateSync(Buffer.concat(data)), stride = width * bpp;
  const rgb = Buffer.alloc(stride * height);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)], line = raw.subarray(y * (stride + 1) + 1);
    for (let x = 0; x < stride; ++x) {
      const a = x >= bpp ? rgb[y * stride + x - bpp] : 0, b = y ? rgb[(y - 1) * stride + x] : 0;
      const c = x >= bpp && y ? rgb[(y - 1) * stride + x - bpp] : 0;
      const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
      const predictor = [0, a, b, (a + b) >> 1, pa <= pb && pa <= pc ? a : pb <= pc ? b : c];
      rgb[y * stride + x] = (line[x] + predictor[filter]) & 255;
    }
  }
  return { width, height, rgb, bpp };
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

// Whether the canvas shows frame (a reference PNG) with every console pixel the same square of
// whole device pixels: from a screenshot of the page in device pixels. Returns the scale.
async function crisp(page, frame) {
  const box = await read(page, `(() => {
    const r = document.getElementById('screen').getBoundingClientRect(), d = devicePixelRatio;
    return [r.left * d, r.top * d, r.width * d, r.height * d, innerWidth * d, innerHeight * d];
  })()`);
  const shot = readPng(await page.screenshot({ type: 'png' }));
  const [left, top, width, height] = box.map((v) => Math.round(v));
  for (const v of box.slice(0, 4)) assert.ok(Math.abs(v - Math.round(v)) < 0.02, `${box}: not on device pixels`);
  const scale = width / frame.width;
  assert.ok(Number.isInteger(scale) && scale >= 1 && height === frame.height * scale, `${box}`);
  assert.ok(left >= 0 && top >= 0 && left + width <= box[4] && top + height <= box[5], `${box}: off-screen`);
  let differ = 0, first = null;
  for (let y = top - 1; y <= top + height; ++y) {
    for (let x = left - 1; x <= left + width; ++x) {
      const inside = x >= left && y >= top && x < left + width && y < top + height;
      if (!inside && (x < 0 || y < 0 || x >= shot.width || y >= shot.height)) continue;
      const from = ((y - top) / scale | 0) * frame.width + ((x - left) / scale | 0);
      for (let k = 0; k < 3; ++k) {
        const want = inside ? frame.rgb[from * 3 + k] : 0;  // the page around it is black
        if (Math.abs(shot.rgb[(y * shot.width + x) * shot.bpp + k] - want) > 2) {
          if (differ++ === 0) first = [x, y];
          break;
        }
      }
    }
  }
  assert.equal(differ, 0, `${differ} device pixels differ at scale ${scale}, the first at ${first}`);
  return scale;
}

// (A device pixel ratio emulated through DevTools paints the page at ratio 1 and enlarges it:
// only a browser started with the ratio shows what a visitor's screen does.)
test('at device pixel ratio 1.5 every console pixel is a square of whole device pixels, ' +
     'before and after the window shrinks', async () => {
  const frame = readPng(join(root, 'tests', 'data', 'demo_frame_001.png'));
  const scaled = await launch(['--force-device-scale-factor=1.5']);
  const page = await open('?frames=1', null, true, scaled);
  assert.equal((await ending(page)).status, 0);
  assert.equal(await crisp(page, frame), 4);
  const window = await page.createCDPSession();
  const { windowId } = await window.send('Browser.getWindowForTarget');
  await window.send('Browser.setWindowBounds', { windowId, bounds: { width: 600, height: 420 } });
  await until(page, "document.getElementById('screen').getBoundingClientRect().width < 500");
  assert.equal(await crisp(page, frame), 2);
  await scaled.close();
  assert.deepEqual(problems, []);
});

test('the music waits for a click and then starts; the key rules; a letter ends the demo and ' +
     'its music', async () => {
  const page = await open('');
  // Ready before any gesture: the player loaded, the page asks for the click that starts it
  await until(page, "kelvraDemo.music === 'waiting'");
  assert.equal(await read(page, 'document.title'), 'kelvra demo');
  assert.match(await read(page, statusLine), /^Click for sound; any key ends the demo\.$/);
  await pause(300);
  assert.equal(await read(page, 'Module.trelkMusic.position()'), 0, 'music before the click');
  await page.mouse.click(500, 300);
  await until(page, 'Module.trelkMusic.position() > 0', 5);
  assert.equal(await read(page, statusLine), 'Any key ends the demo.');
  // The song moves on and is heard: its position advances, and the output is not silent
  const first = await read(page, 'Module.trelkMusic.position()');
  await pause(1200);
  const music = await read(page, '[Module.trelkMusic.position(), Module.trelkMusic.level()]');
  assert.ok(music[0] > first + 0.5, `position ${first} -> ${music[0]}`);
  assert.ok(music[1] > 0.001, `output level ${music[1]}`);

  // Not keys: modifiers alone, Tab, the browser's shortcuts (whose default is left alone);
  // F11 toggles full screen
  await read(page, `window.seen = [];
    window.addEventListener('keydown', (e) => { seen.push(e.code + ':' + e.defaultPrevented);
                                                e.preventDefault(); }); 0`);
  for (const key of ['Shift', 'Alt', 'Control', 'Tab', 'F5', 'F12', 'AudioVolumeUp']) {
    await page.keyboard.press(key);
  }
  await page.keyboard.down('Control');
  await page.keyboard.press('KeyR');
  await page.keyboard.up('Control');
  await page.keyboard.press('F11');
  await until(page, 'document.fullscreenElement !== null', 5);
  await page.keyboard.press('F11');
  await until(page, 'document.fullscreenElement === null', 5);
  await pause(200);
  assert.equal(await read(page, 'kelvraDemo.status'), null, 'the demo still runs');
  assert.deepEqual(await read(page, 'seen'), [
    'ShiftLeft:false', 'AltLeft:false', 'ControlLeft:false', 'Tab:false', 'F5:false',
    'F12:false', 'AudioVolumeUp:false', 'ControlLeft:false', 'KeyR:false', 'F11:true',
    'F11:true']);

  await page.keyboard.press('KeyA');
  const end = await ending(page, 10);
  assert.equal(end.status, 0);
  assert.match(end.text, /status 0/);
  assert.equal((await read(page, 'seen')).at(-1), 'KeyA:true');
  // The music stops with the demo
  await pause(300);
  const stopped = await read(page, 'Module.trelkMusic.position()');
  await pause(500);
  assert.deepEqual(await read(page, '[Module.trelkMusic.position(), Module.trelkMusic.level()]'),
                   [stopped, 0]);
  await page.close();
  assert.deepEqual(problems, []);
});

test('a script steers the page\'s music: volume, pause, a jump to an order, its length',
     async () => {
  const page = await open('');
  await until(page, "kelvraDemo.music === 'waiting'");
  await page.mouse.click(500, 300);
  await until(page, 'Module.trelkMusic.position() > 0', 5);
  await until(page, 'Module.trelkMusic.length() > 30', 5);  // the song lasts about a minute
  const music = 'Module.trelkMusic';
  // At volume 0 the output is silent, at 100 heard again
  await read(page, `${music}.steer(0, false), 0`);
  await pause(400);
  assert.equal(await read(page, `${music}.level()`), 0);
  await read(page, `${music}.steer(100, false), 0`);
  await until(page, `${music}.level() > 0.001`, 5);
  // Paused: silent, and the place in the song held
  await read(page, `${music}.steer(100, true), 0`);
  await pause(400);
  const held = await read(page, `[${music}.where().seconds, ${music}.position()]`);
  await pause(400);
  assert.deepEqual(await read(page, `[${music}.where().seconds, ${music}.position()]`), held);
  assert.equal(await read(page, `${music}.level()`), 0);
  // Resumed, then a jump to the last of the song's eight orders, late in the song
  await read(page, `${music}.steer(100, false), 0`);
  await read(page, `${music}.jump(7), 0`);
  await until(page, `${music}.where().order === 7 && ${music}.where().seconds > 30`, 5);
  await until(page, `${music}.level() > 0.001`, 5);
  await page.keyboard.press('KeyA');
  assert.equal((await ending(page, 10)).status, 0);
  await page.close();
  assert.deepEqual(problems, []);
});

test('on a phone the page fits the screen, follows its turning, and taps start the music ' +
     'and end the demo', async () => {
  const phone = { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true };
  const page = await open('', phone);
  await until(page, "kelvraDemo.music === 'waiting'");
  assert.equal(await read(page, 'innerWidth'), 390, 'laid out at the screen\'s width');
  assert.match(await read(page, statusLine), /^Tap for sound; then a tap ends the demo\.$/);
  const canvas = "document.getElementById('screen').getBoundingClientRect()";
  const upright = await read(page, `Math.round(${canvas}.width * devicePixelRatio)`);
  assert.equal(upright, 320 * 3, 'the largest whole scale that fits 390 x 3 device pixels');

  await page.setViewport({ ...phone, width: 844, height: 390 });  // turned
  await until(page, `Math.round(${canvas}.width * devicePixelRatio) === 320 * 5`);

  await page.touchscreen.tap(400, 150);
  await until(page, 'Module.trelkMusic.position() > 0', 5);
  assert.equal(await read(page, 'kelvraDemo.status'), null, 'the tap that starts the sound');
  assert.equal(await read(page, statusLine), 'A tap ends the demo.');
  await page.touchscreen.tap(400, 150);
  assert.equal((await ending(page, 10)).status, 0);
  await page.close();
  assert.deepEqual(problems, []);
});

test('settings from the address: vsync=0 outruns the display, display=headless is refused, ' +
     'echoed values are cut; without JavaScript the page says it needs it', async () => {
  // 300 frames unpaced take fewer animation frames than 300 paced ones would
  let page = await open('?vsync=0&frames=300');
  await read(page, 'window.ticks = 0; (function tick() { ++ticks; requestAnimationFrame(tick); })(); 0');
  assert.equal((await ending(page)).status, 0);
  const ticks = await read(page, 'ticks');
  assert.ok(ticks < 200, `${ticks} animation frames for 300 unpaced frames`);
  await page.close();

  page = await open('?display=headless&frames=3');
  const refused = await ending(page, 10);
  assert.equal(refused.status, 1);
  assert.match(refused.text, /display=headless cannot run in this page/);
  await pause(300);
  assert.equal(await read(page, '1 + 1'), 2, 'the page answers');
  await page.close();

  page = await open(`?frames=${'9'.repeat(100000)}x`);
  const cut = await ending(page, 20);
  assert.equal(cut.status, 1);
  assert.match(cut.text, /TRELK_FRAMES/);
  assert.ok(cut.text.length < 400, `the status line is ${cut.text.length} characters long`);
  await page.close();

  page = await open('', undefined, false);
  const shown = await page.$eval('body', (body) => body.innerText);
  assert.match(shown, /runs in this page through JavaScript/);
  assert.doesNotMatch(shown, /Loading/);
  await page.close();
  assert.deepEqual(problems, []);
});

test('without flagga.tga the page says "could not load image" and status 1; without bla.xm ' +
     'the demo runs silently and says only what a key does', async () => {
  let page = await open('?without=flagga.tga');
  const end = await ending(page, 20);
  assert.equal(end.status, 1);
  assert.match(end.text, /could not load image/);
  assert.match(end.text, /status 1/);
  await page.close();

  page = await open('?without=bla.xm');
  await until(page, "kelvraDemo.music === 'ready'");
  assert.equal(await read(page, statusLine), 'Any key ends the demo.');
  await page.keyboard.press('KeyQ');
  assert.equal((await ending(page, 10)).status, 0);
  await page.close();
});

test('opened from disk the page says it must be served over HTTP, and how; it fetches nothing',
     async () => {
  const page = await browser.newPage();
  const fetched = [];
  page.on('request', (r) => { if (/\.wasm$/.test(r.url())) fetched.push(r.url()); });
  await page.goto('file://' + join(pageDir, 'index.html'));
  await until(page, `${statusLine}.includes('HTTP')`);
  const text = await read(page, statusLine);
  for (const words of ['must be served over HTTP', './web.sh', 'python3 -m http.server',
                       'http://localhost:8000/']) {
    assert.ok(text.includes(words), `the page does not say ${words}: ${text}`);
  }
  assert.ok(!text.includes('Failed to fetch'), text);
  await pause(500);
  assert.deepEqual(fetched.filter((u) => !u.endsWith('kelvra-demo.wasm')), []);
  await page.close();
});

test('for screen readers: the canvas is an image named for the demo, the status line is live; ' +
     'the page carries the version', async () => {
  const page = await open('?frames=1');
  await ending(page);
  const tree = await page.accessibility.snapshot({ interestingOnly: false });
  const nodes = [];
  (function walk(node) { nodes.push(node); (node.children || []).forEach(walk); })(tree);
  const canvas = nodes.find((n) => n.role === 'image' || n.role === 'img');
  assert.ok(canvas && /kelvra demo/i.test(canvas.name) && /cube/.test(canvas.name),
            `canvas: ${JSON.stringify(canvas)}`);
  assert.ok(nodes.some((n) => n.role === 'status'), 'no status node');
  assert.equal(await read(page, "document.getElementById('status').getAttribute('aria-live')"),
               'polite');
  const version = readFileSync(join(root, 'CMakeLists.txt'), 'utf8')
    .match(/project\(kelvra VERSION ([0-9.]+)/)[1];
  assert.equal(await read(page, 'kelvraDemo.version'), version);
  assert.equal(await read(page, "document.getElementById('status').title"), `kelvra demo ${version}`);
  await page.close();
  assert.deepEqual(problems, []);
});
