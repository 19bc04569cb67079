// The browser build's benchmarks: the demo's frame (bench_frame_web.cpp: drawn only, and the
// whole frame on the web back end) timed in headless Chromium against the native
// frame_ours/320/200 (Google Benchmark JSON given as argument),
// and the page's download size, raw and compressed. Run by bench/web_bench.sh, which builds both.
//   node bench/web_bench.mjs PAGE_DIR NATIVE_JSON
import { createRequire } from 'node:module';
import { createServer } from 'node:http';
import { mkdtempSync, readFileSync, readdirSync, rmSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { extname, join, normalize } from 'node:path';
import { fileURLToPath } from 'node:url';
import { brotliCompressSync, constants, gzipSync } from 'node:zlib';

const root = fileURLToPath(new URL('../', import.meta.url));
const require = createRequire(join(root, 'web', 'package.json'));
const puppeteer = require('puppeteer-core');
const [pageDir, nativeJson] = process.argv.slice(2);

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

// ---- the frame in the browser ----
const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };
// stdin: no terminal, so the headless console reads no keys (the browser would prompt for them)
const benchPage = '<!doctype html><script>var Module = { print: (t) => console.log(t), ' +
                  'stdin: () => null };' +
                  '</script><script src="bench_frame_web.js"></script>';
// Files gzipped when the browser takes it, as a web server would send them
const server = createServer((request, response) => {
  const path = normalize(new URL(request.url, 'http://x').pathname);
  if (path === '/bench.html') return response.writeHead(200, types['.html']).end(benchPage);
  try {
    const file = path === '/' ? 'index.html' : path;
    let body = readFileSync(join(pageDir, file));
    const headers = { 'Content-Type': types[extname(file)] || 'application/octet-stream' };
    if (/gzip/.test(request.headers['accept-encoding'] || '')) {
      body = gzipSync(body, { level: 9 });
      headers['Content-Encoding'] = 'gzip';
    }
    headers['Content-Length'] = body.length;
    response.writeHead(200, headers);
    response.end(body);
  } catch {
    response.writeHead(404).end();
  }
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const profile = mkdtempSync(join(tmpdir(), 'kelvra-bench-'));
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true, userDataDir: profile,
  args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
         '--disable-component-update', '--disable-sync', '--no-first-run',
         '--autoplay-policy=document-user-activation-required'],
});
const page = await browser.newPage();
const result = new Promise((resolve) => page.on('console', (m) => {
  if (m.text().startsWith('BENCH ')) resolve(JSON.parse(m.text().slice(6)));
}));
await page.goto(`http://127.0.0.1:${server.address().port}/bench.html`);
const timed = await result, browserFrame = timed.frame_us, browserWhole = timed.whole_us;
await page.close();

// ---- the page on a slow link: 180 KB/s with 560 ms of latency, sound only after a click ----
// Seconds from the start of the navigation to the first frame on the canvas, to the music
// being ready for the click, and from a click 3 s after the start to the music playing
async function slowLink() {
  const visitor = await browser.newPage();
  const session = await visitor.createCDPSession();
  await session.send('Network.enable');
  await session.send('Network.emulateNetworkConditions', {
    offline: false, latency: 560, downloadThroughput: 180 * 1024, uploadThroughput: 180 * 1024 });
  const read = async (expression) => (await session.send('Runtime.evaluate', {
    expression, returnByValue: true })).result.value;
  const start = Date.now(), seen = {};
  visitor.goto(`http://127.0.0.1:${server.address().port}/`).catch(() => {});
  const when = async (name, expression) => {
    while (!(await read(expression).catch(() => false))) await new Promise((r) => setTimeout(r, 10));
    seen[name] = (Date.now() - start) / 1000;
  };
  const shown = Promise.all([
    when('frame', "document.getElementById('screen').style.visibility === 'visible'"),
    when('ready', "['waiting', 'playing'].includes(kelvraDemo.music)")]);
  await new Promise((r) => setTimeout(r, Math.max(0, start + 3000 - Date.now())));
  const click = Date.now();
  await visitor.mouse.click(300, 200);
  while (!(await read('Module.trelkMusic.position() > 0').catch(() => false))) {
    await new Promise((r) => setTimeout(r, 10));
  }
  await shown;
  seen.music = (Date.now() - click) / 1000;
  await visitor.close();
  return seen;
}
const slow = [];
for (let i = 0; i < 3; ++i) slow.push(await slowLink());
await browser.close();
server.close();
rmSync(profile, { recursive: true, force: true });

// ---- the native frame ----
// Its CPU time, and its wall-clock time, which is what the browser's clock gives: on a busy
// machine the two differ, and the browser's figure is to be read against the wall-clock one
const nativeRuns = JSON.parse(readFileSync(nativeJson, 'utf8')).benchmarks
  .filter((b) => b.run_type === 'iteration' && b.run_name.startsWith('frame_ours/320/200'));
const microseconds = (b, t) => b[t] * { ns: 1e-3, us: 1, ms: 1e3 }[b.time_unit];
const native = nativeRuns.map((b) => microseconds(b, 'cpu_time'));
const nativeWall = nativeRuns.map((b) => microseconds(b, 'real_time'));

// ---- the page's download: every file a visitor fetches, the music's player included ----
// (the licence served beside the music's player is not fetched by the page)
const files = readdirSync(pageDir).filter((f) => statSync(join(pageDir, f)).isFile() &&
                                                 !f.startsWith('bench_frame_web') &&
                                                 !f.endsWith('COPYING.txt'));
let bytes = 0, gzipped = 0, brotli = 0;
const sizes = files.map((f) => {
  const body = readFileSync(join(pageDir, f));
  const g = gzipSync(body, { level: 9 }).length;
  const b = brotliCompressSync(body, { params: { [constants.BROTLI_PARAM_QUALITY]: 11 } }).length;
  bytes += body.length, gzipped += g, brotli += b;
  return `| ${f} | ${body.length} | ${g} | ${b} |`;
});

const fmt = (x) => x.toFixed(1);
console.log('| measure | min | median |');
console.log('|---|---|---|');
const row = (name, xs) => console.log(`| ${name} | ${fmt(Math.min(...xs))} us | ${fmt(median(xs))} us |`);
const ratio = (name, xs, ys) => console.log(`| ${name} | ${(Math.min(...xs) / Math.min(...ys)).toFixed(2)}x | ` +
                                            `${(median(xs) / median(ys)).toFixed(2)}x |`);
row('frame, native, CPU time (frame_ours/320/200)', native);
row('frame, native, wall clock', nativeWall);
row('frame drawn, Chromium, wall clock (bench_frame_web, headless)', browserFrame);
row('whole frame, Chromium, wall clock (bench_frame_web, web back end)', browserWhole);
ratio('drawn in Chromium / native wall clock', browserFrame, nativeWall);
ratio('whole in Chromium / native wall clock', browserWhole, nativeWall);
ratio('whole in Chromium / native CPU time', browserWhole, native);
console.log('');
console.log('| page file | raw | gzip -9 | brotli -q 11 |');
console.log('|---|---|---|---|');
for (const line of sizes) console.log(line);
console.log(`| all | ${bytes} | ${gzipped} | ${brotli} |`);
console.log('');
const seconds = (xs) => `${Math.min(...xs).toFixed(2)} s | ${median(xs).toFixed(2)} s`;
console.log('| on a 180 KB/s link with 560 ms latency, gzip (3 runs) | min | median |');
console.log('|---|---|---|');
console.log(`| page opened -> first frame on the canvas | ${seconds(slow.map((x) => x.frame))} |`);
console.log(`| page opened -> music ready for the click | ${seconds(slow.map((x) => x.ready))} |`);
console.log(`| click at 3 s -> music playing | ${seconds(slow.map((x) => x.music))} |`);
