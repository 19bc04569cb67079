// The page's frame as a visitor's browser spends it: the page itself (not a benchmark page) runs
// paced by the browser's animation frames for 330 frames and for 30 (?frames=N), each under
// Chromium's own trace (categories devtools.timeline and v8.execute). The script time of a run
// is the thread time of the outermost animation-frame callbacks, function calls, microtask runs,
// event dispatches and timers on the page's threads; the frame's cost is (330-frame run - 30-frame
// run) / 300, which leaves out the download, compilation and start-up that both runs share.
// Against it: the native headless demo's user processor time per frame (a run of 20001 frames
// minus a run of 1, / 20000, its music playing through SDL's dummy audio driver), and the
// native demo paced as the page is (below).
// Alternating runs, five of each; prints min and median. Run by bench/web_trace.sh.
//   node bench/web_trace.mjs PAGE_DIR NATIVE_DEMO ASSETS_DIR
import { spawnSync } from 'node:child_process';
import { createRequire } from 'node:module';
import { createServer } from 'node:http';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { extname, join, normalize, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = fileURLToPath(new URL('../', import.meta.url));
const require = createRequire(join(root, 'web', 'package.json'));
const puppeteer = require('puppeteer-core');
const [pageDir, demoArgument, assetsDir] = process.argv.slice(2);
const nativeDemo = resolve(demoArgument);
const rounds = Number(process.env.ROUNDS || 5);

const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
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
const profile = mkdtempSync(join(tmpdir(), 'kelvra-trace-'));
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium', headless: true, userDataDir: profile,
  args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking',
         '--disable-component-update', '--disable-sync', '--no-first-run'],
});

// The script events counted, outermost only: a function call inside an animation frame's
// callback is part of it
const counted = new Set(['FireAnimationFrame', 'FunctionCall', 'RunMicrotasks', 'EventDispatch',
                         'TimerFire', 'v8.callFunction', 'v8.run', 'V8.Execute']);
const pageThreads = /^(CrRendererMain|DedicatedWorker|AudioWorklet)/;

// Microseconds of script thread time in one traced run of the page, and per event name
function scriptTime(trace) {
  const names = new Map();
  for (const e of trace.traceEvents) {
    if (e.ph === 'M' && e.name === 'thread_name') names.set(`${e.pid}:${e.tid}`, e.args.name);
  }
  const byThread = new Map();
  for (const e of trace.traceEvents) {
    if (e.ph !== 'X' || !counted.has(e.name) || e.tdur === undefined) continue;
    const thread = `${e.pid}:${e.tid}`;
    if (!pageThreads.test(names.get(thread) || '')) continue;
    if (!byThread.has(thread)) byThread.set(thread, []);
    byThread.get(thread).push(e);
  }
  let total = 0;
  const each = {};
  for (const events of byThread.values()) {
    events.sort((a, b) => a.ts - b.ts || b.dur - a.dur);
    let end = -Infinity;
    for (const e of events) {
      if (e.ts < end) continue;  // inside one counted already
      end = e.ts + e.dur;
      total += e.tdur;
      each[e.name] = (each[e.name] || 0) + e.tdur;
    }
  }
  return { total, each };
}

async function tracedRun(frames) {
  const page = await browser.newPage();
  const file = join(profile, `trace-${frames}.json`);
  await page.tracing.start({ path: file, categories: ['devtools.timeline', 'v8.execute'] });
  await page.goto(`http://127.0.0.1:${server.address().port}/?frames=${frames}`);
  // Checked when the page changes (its status line says the demo has ended), not on a timer:
  // a check every 50 ms ran in the page's thread and was counted as its script, about 25 us a
  // frame
  await page.waitForFunction('window.kelvraDemo && kelvraDemo.status !== null',
                             { timeout: 120000, polling: 'mutation' });
  const status = await page.evaluate('kelvraDemo.status');
  await page.tracing.stop();
  await page.close();
  if (status !== 0) throw new Error(`the page's demo ended with status ${status}`);
  return scriptTime(JSON.parse(readFileSync(file, 'utf8')));
}

function nativeUser(frames) {
  const run = spawnSync('/usr/bin/time', ['-f', '%U', nativeDemo], {
    cwd: assetsDir, encoding: 'utf8',
    env: { PATH: process.env.PATH, HOME: process.env.HOME, TRELK_DISPLAY: 'headless',
           TRELK_FRAMES: String(frames), SDL_AUDIODRIVER: 'dummy' } });
  if (run.status !== 0) throw new Error(`the native demo failed: ${run.stderr}`);
  return Number(run.stderr.trim().split('\n').pop()) * 1e6;
}

// The native demo paced as a person runs it: headless on a terminal of its own (a pseudo-
// terminal, from Python's standard library), keeping step with 60 frames a second; the
// processor time of all its threads (the scheduler's own count, in nanoseconds) from 0.5 s to
// 5.5 s after its start, per frame (300 frames), then a key ends it. Its music thread plays
// meanwhile. A paced frame starts with caches that other programs have used during the wait,
// as the page's does.
const pacedScript = `
import glob, os, pty, sys, time
def cpu(pid):
    total = 0
    for task in glob.glob('/proc/%d/task/*/schedstat' % pid):
        try:
            total += int(open(task).read().split()[0])
        except (OSError, ValueError):
            pass
    return total
pid, fd = pty.fork()
if pid == 0:
    os.chdir(sys.argv[2])
    env = {k: v for k, v in os.environ.items() if not k.startswith(('TRELK_', 'SDL_'))}
    env.update(TRELK_DISPLAY='headless', SDL_AUDIODRIVER='dummy')
    os.execve(sys.argv[1], [sys.argv[1]], env)
time.sleep(0.5)
first = cpu(pid)
time.sleep(5)
last = cpu(pid)
os.write(fd, b'q')
_, status = os.waitpid(pid, 0)
os.close(fd)
if status != 0:
    sys.exit(1)
print((last - first) / 300 / 1000)
`;
function nativePaced() {
  const run = spawnSync('python3', ['-c', pacedScript, nativeDemo, assetsDir], { encoding: 'utf8' });
  if (run.status !== 0) throw new Error(`the paced native demo failed: ${run.stderr}`);
  return Number(run.stdout.trim());
}

const page = [], native = [], paced = [];
let parts = {};
for (let round = 0; round < rounds; ++round) {
  const few = await tracedRun(30), many = await tracedRun(330);
  page.push((many.total - few.total) / 300);
  for (const name of Object.keys(many.each)) {
    parts[name] = parts[name] || [];
    parts[name].push(((many.each[name] || 0) - (few.each[name] || 0)) / 300);
  }
  native.push((nativeUser(20001) - nativeUser(1)) / 20000);
  paced.push(nativePaced());
}
await browser.close();
server.close();
rmSync(profile, { recursive: true, force: true });

const fmt = (x) => x.toFixed(1);
console.log('| measure | min | median |');
console.log('|---|---|---|');
console.log(`| the page's frame, script thread time in Chromium's trace | ${fmt(Math.min(...page))} us | ${fmt(median(page))} us |`);
for (const [name, xs] of Object.entries(parts)) {
  console.log(`| of it: ${name} | ${fmt(Math.min(...xs))} us | ${fmt(median(xs))} us |`);
}
console.log(`| the native headless demo's frame, user time | ${fmt(Math.min(...native))} us | ${fmt(median(native))} us |`);
console.log(`| ratio | ${(Math.min(...page) / Math.min(...native)).toFixed(2)}x | ${(median(page) / median(native)).toFixed(2)}x |`);
console.log(`| the native demo paced on a terminal, processor time of all its threads (music included) | ${fmt(Math.min(...paced))} us | ${fmt(median(paced))} us |`);
console.log(`| ratio to the paced native frame | ${(Math.min(...page) / Math.min(...paced)).toFixed(2)}x | ${(median(page) / median(paced)).toFixed(2)}x |`);
