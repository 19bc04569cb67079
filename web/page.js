// The page around the demo: makes the demo's files, tells the person what is going on, and
// says how the demo ended. window.kelvraDemo holds the same for scripts (the browser tests):
// status is null while the demo runs, then its exit status; message is what it reported.
//
// ?without=flagga.tga (or bla.xm) leaves that file out, as when it is missing from the demo's
// folder on the desktop.
var kelvraDemo = { status: null, message: '' };

var Module = (function () {
  const status = document.getElementById('status');
  const errors = [];
  const left_out = new URLSearchParams(location.search).getAll('without');

  function ended(code) {
    if (kelvraDemo.status !== null) return;
    kelvraDemo.status = code;
    kelvraDemo.message = errors.join('\n');
    status.textContent = 'The demo has ended with status ' + code +
        (kelvraDemo.message ? ': ' + kelvraDemo.message : '.');
  }

  return {
    canvas: document.getElementById('screen'),
    // No terminal: the program's standard input is empty (the browser would prompt for it)
    stdin: function () { return null; },
    print: function (text) { console.log(text); },
    printErr: function (text) {
      errors.push(text);
      console.warn(text);
    },
    onRuntimeInitialized: function () {
      const picture = left_out.indexOf('flagga.tga') < 0 ? 1 : 0;
      const music = left_out.indexOf('bla.xm') < 0 ? 1 : 0;
      if (Module._kelvra_make_assets(picture, music) !== 0) {
        errors.push('could not make the demo\'s files');
      }
      status.textContent = 'Click for sound; any key ends the demo.';
    },
    onExit: ended,
    onAbort: function (what) {
      errors.push(String(what));
      ended(1);
    },
  };
})();
