// Where the page's paced frame goes, by function: the page itself runs paced by the browser's
// animation frames (?frames=N, default 330) in headless Chromium under V8's sampling profiler
// (every 50 us), and again for 30 frames; the self time of each function is printed per frame,
// (N-frame run - 30-frame run) / (N - 30), which leaves out the start-up both share, largest
// first. The WebAssembly functions have their names when the page was linked with them (the
// page's npm packages installed, as scripts/web_build.sh does):
//   emcmake cmake -S . -B build-webprof -DCMAKE_BUILD_TYPE=Release \
//       -DCMAKE_EXE_LINKER_FLAGS=--profiling-funcs && cmake --build build-webprof
//   NODE_PATH=/usr/share/nodejs node bench/web_profile.mjs build-webprof/page [FRAMES]
import { createRequire } from 'node:module';
import { createServer } from 'node:http';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { extname, join, normalize } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = fileURLToPath(new URL('../', import.meta.url));
const require = createRequire(join(root, 'web', 'package.json'));
const puppeteer = require('puppeteer-core');
const [pageDir, framesArgument] = process.argv.slice(2);
const frames = Number(framesArgument || 330);

const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
                '.css': 'text/css' };
const server = createServer((request, response) => {
  const path = normalize(new URL(request.url, 'http://x').pathname);
  try {
    const file = path === '/' ? 'index.html' : path;
    const body = readFileSync(join(pageDir, file));
    response.writeHead(200, { 'Content-Type': types[extname(file)] || 'application/octet-stream',
                              'Content-Length': body.length });
    response.end(body);
  } catch {
    response.writeHead(404).end();
  }
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const profile = mkdtempSync(join(tmpdir(), 'kelvra-profile-'));
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true, userDataDir: profile,
  args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
         '--disable-component-update', '--disable-sync', '--no-first-run'],
});
async function profiled(frames) {
  const page = await browser.newPage();
  const session = await page.createCDPSession();
  await session.send('Profiler.enable');
  await session.send('Profiler.setSamplingInterval', { interval: 50 });
  await session.send('Profiler.start');
  await page.goto(`http://127.0.0.1:${server.address().port}/?frames=${frames}`);
  await page.waitForFunction('window.kelvraDemo && kelvraDemo.status !== null',
                             { timeout: 120000, polling: 50 });
  const { profile: cpu } = await session.send('Profiler.stop');
  const status = await page.evaluate('kelvraDemo.status');
  await page.close();
  if (status !== 0) throw new Error(`the page's demo ended with status ${status}`);
  // Self time per function name: the time up to the next sample goes to the sampled node
  const byId = new Map(cpu.nodes.map((node) => [node.id, node]));
  const self = new Map();
  for (let i = 0; i < cpu.samples.length; ++i) {
    const { functionName, url } = byId.get(cpu.samples[i]).callFrame;
    const name = `${functionName || '(anonymous)'} ${url.split('/').pop()}`;
    self.set(name, (self.get(name) || 0) + (cpu.timeDeltas[i + 1] || 0));
  }
  return self;
}

try {
  const few = await profiled(30), many = await profiled(frames);
  const rows = [...many].map(([name, us]) => [name, (us - (few.get(name) || 0)) / (frames - 30)])
                        .filter(([name]) => !name.startsWith('(idle)'))
                        .sort((a, b) => b[1] - a[1]);
  const busy = rows.reduce((sum, [, us]) => sum + us, 0);
  console.log(`(${frames} - 30 frames) / ${frames - 30}: busy ${busy.toFixed(1)} us a frame`);
  for (const [name, us] of rows.slice(0, 40)) {
    console.log(`${us.toFixed(1).padStart(8)} us  ${(100 * us / busy).toFixed(1).padStart(5)}%  ${name}`);
  }
} finally {
  await browser.close();
  server.close();
  rmSync(profile, { recursive: true, force: true });
}
