// The browser build's benchmarks: the demo's frame (bench_frame_web.cpp) timed in headless
// Chromium against the native frame_ours/320/200 (Google Benchmark JSON given as argument),
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
const server = createServer((request, response) => {
  const path = normalize(new URL(request.url, 'http://x').pathname);
  if (path === '/bench.html') return response.writeHead(200, types['.html']).end(benchPage);
  try {
    const body = readFileSync(join(pageDir, path));
    response.writeHead(200, { 'Content-Type': types[extname(path)] || 'application/octet-stream' });
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
         '--disable-component-update', '--disable-sync', '--no-first-run'],
});
const page = await browser.newPage();
const result = new Promise((resolve) => page.on('console', (m) => {
  if (m.text().startsWith('BENCH ')) resolve(JSON.parse(m.text().slice(6)));
}));
await page.goto(`http://127.0.0.1:${server.address().port}/bench.html`);
const browserFrame = (await result).frame_us;
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
row('frame, Chromium, wall clock (bench_frame_web)', browserFrame);
ratio('Chromium / native wall clock', browserFrame, nativeWall);
ratio('Chromium / native CPU time', browserFrame, native);
console.log('');
console.log('| page file | raw | gzip -9 | brotli -q 11 |');
console.log('|---|---|---|---|');
for (const line of sizes) console.log(line);
console.log(`| all | ${bytes} | ${gzipped} | ${brotli} |`);
