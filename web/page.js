// The page around the demo: makes the demo's files, tells the person what is going on (what
// is loading, what a click, key or tap does), and says how the demo ended. window.kelvraDemo
// holds the same for scripts (the browser tests): status is null while the demo runs, then its
// exit status; message is what it reported; music is the music's state (music.js); version is
// the release's (the status line's tooltip says it too).
//
// Opened from disk (file://), the browser lets the page fetch nothing: it says so and how to
// serve it instead, and fetches nothing.
//
// ?without=flagga.tga (or bla.xm) leaves that file out, as when it is missing from the demo's
// folder on the desktop. ?display= takes only "web": the other displays (headless) show nothing
// and never let the page run, so the page refuses them.
var kelvraDemo = { status: null, message: '', music: 'loading', downloaded: null,
                   version: document.querySelector('meta[name="version"]').content };

var Module = (function () {
  const status = document.getElementById('status');
  const errors = [];
  const query = new URLSearchParams(location.search);
  const left_out = query.getAll('without');
  const touch = navigator.maxTouchPoints > 0 || matchMedia('(pointer: coarse)').matches;
  const from_disk = location.protocol === 'file:';
  let loaded = null;  // the demo's download: [bytes so far, bytes in all or 0 when unknown]
  let running = false;
  // Settled when the demo's WebAssembly has come (or could not): the music's player is
  // fetched after it, so that on a slow link it does not hold the first frame back
  let downloadEnded;
  kelvraDemo.downloaded = new Promise((resolve) => { downloadEnded = resolve; });

  // What is echoed back from the address or the program is cut to a line's length
  function cut(text) {
    text = String(text);
    return text.length <= 160 ? text : text.slice(0, 160) + '… (' + text.length + ' characters)';
  }

  function tell() {
    let text;
    if (from_disk) {
      text = 'This page must be served over HTTP: opened as a file, the browser lets it fetch ' +
             'nothing, and the demo must fetch its program. Run ./web.sh in the source ' +
             'folder, or python3 -m http.server in this page\'s folder and open ' +
             'http://localhost:8000/ in the browser.';
    } else if (kelvraDemo.status !== null) {
      const said = kelvraDemo.message.split('\n').map(cut).join(' ');
      text = 'The demo has ended with status ' + kelvraDemo.status + (said ? ': ' + said : '.');
    } else if (!running) {
      text = 'Loading the demo…';
      if (loaded && loaded[1]) text += ' ' + Math.floor(100 * loaded[0] / loaded[1]) + '%';
      else if (loaded) text += ' ' + Math.round(loaded[0] / 1024) + ' KB';
    } else {
      const end = touch ? 'a tap ends the demo.' : 'any key ends the demo.';
      const music = kelvraDemo.music;
      if (music === 'waiting') text = (touch ? 'Tap for sound; then ' : 'Click for sound; ') + end;
      else if (music === 'loading') text = 'Loading the music…; ' + end;
      else text = end[0].toUpperCase() + end.slice(1);
    }
    status.textContent = text;
  }
  kelvraDemo.tell = tell;

  function ended(code) {
    if (kelvraDemo.status !== null) return;
    kelvraDemo.status = code;
    kelvraDemo.message = errors.join('\n');
    tell();
  }

  const display = query.get('display');
  const refused = display !== null && display !== '' && display !== 'web';

  // The demo's WebAssembly, fetched here to show how much of it has come
  async function download(file) {
    const response = await fetch(file);
    if (!response.ok) throw new Error(file + ': ' + response.status + ' ' + response.statusText);
    // (a compressed answer's length is not that of what it unpacks to)
    const packed = response.headers.get('Content-Encoding');
    const total = packed && packed !== 'identity'
                      ? 0 : Number(response.headers.get('Content-Length')) || 0;
    if (!response.body) return response.arrayBuffer();
    const reader = response.body.getReader(), parts = [];
    let got = 0;
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      parts.push(value);
      got += value.length;
      loaded = [got, total >= got ? total : 0];
      tell();
    }
    const bytes = new Uint8Array(got);
    let at = 0;
    for (const part of parts) bytes.set(part, (at += part.length) - part.length);
    return bytes;
  }

  const module = {
    canvas: document.getElementById('screen'),
    // No terminal: the program's standard input is empty (the browser would prompt for it)
    stdin: function () { return null; },
    print: function (text) { console.log(text); },
    printErr: function (text) {
      errors.push(text);
      console.warn(text);
    },
    instantiateWasm: function (imports, receive) {
      if (from_disk) return {};  // nothing can be fetched: the page has said what to do
      download('kelvra-demo.wasm')
        .finally(downloadEnded)
        .then((bytes) => WebAssembly.instantiate(bytes, imports))
        .then((made) => receive(made.instance, made.module))
        .catch((error) => {
          errors.push('could not load the demo: ' + error.message);
          ended(1);
        });
      return {};
    },
    onRuntimeInitialized: function () {
      if (refused) return;
      const picture = left_out.indexOf('flagga.tga') < 0 ? 1 : 0;
      const music = left_out.indexOf('bla.xm') < 0 ? 1 : 0;
      if (Module._kelvra_make_assets(picture, music) !== 0) {
        errors.push('could not make the demo\'s files');
      }
      running = true;
      tell();
    },
    onExit: ended,
    onAbort: function (what) {
      errors.push(String(what));
      ended(1);
    },
  };
  if (from_disk) {
    module.noInitialRun = true;
    kelvraDemo.status = 1;
    kelvraDemo.message = 'the page must be served over HTTP';
  } else if (refused) {
    // The program is loaded but not run: the page stays responsive and says why
    module.noInitialRun = true;
    errors.push('?display=' + display + ' cannot run in this page, which shows the demo on ' +
                'its canvas (display=web): that display shows nothing and never lets the ' +
                'page run');
    ended(1);
  }
  tell();
  return module;
})();
