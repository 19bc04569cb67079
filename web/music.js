// The page's module player, for the music library's browser side (midas_web.cpp): the module
// the demo chose is mixed by libxmp, as on the desktop, in an AudioWorklet of ours
// (music_worklet.js over kelvra-music.wasm). Everything is made while the page loads: the
// player is fetched and compiled, the audio context and its graph are ready, and the module
// goes to the player as soon as the demo plays it. Browsers let a page make sound only once
// the person has pressed a key, clicked or tapped, unless they allow it anyway: so the first
// of these only resumes the audio context, and the music starts at once from its beginning.
// The first tap is the sound's while the music waits for it or loads: it does not reach the
// demo (where a tap ends it). Audio that stays blocked, or a player that cannot load, is silence, no error.
//
// kelvraDemo.music says where the music is: "loading" (the player), "ready" (the player, and
// no module to play), "waiting" (for a click, key or tap), "playing", "stopped", or "silent"
// (no audio, no player, or a module it refused).
// Module.trelkMusic: play(bytes, loop), stop(), steer(volume, paused), jump(order), where()
// ({order, row, seconds} as the player last told), length() (seconds of one pass, 0 until the
// player has the module), and for scripts position() (seconds mixed, advancing while it
// plays) and level() (the output's RMS over the last 2048 samples).
Module.trelkMusic = (function () {
  let context = null, node = null, analyser = null;
  let wanted = null;  // {bytes, loop}: what should play
  let given = null;   // what the player was given
  let refused = false, position = 0, failed = false;
  let volume = 100, paused = false, length = 0;
  let place = { order: 0, row: 0, seconds: 0 };

  function show() {
    let state;
    if (failed || !context) state = 'silent';
    else if (!node) state = 'loading';
    else if (!wanted) state = given ? 'stopped' : 'ready';
    else if (refused) state = 'silent';
    else state = context.state === 'running' ? 'playing' : 'waiting';
    if (kelvraDemo.music !== state) {
      kelvraDemo.music = state;
      if (kelvraDemo.tell) kelvraDemo.tell();
    }
  }

  function give() {
    if (node && wanted && given !== wanted) {
      given = wanted;
      refused = false;
      position = length = 0;
      place = { order: 0, row: 0, seconds: 0 };
      node.port.postMessage({ volume: volume, paused: paused });
      node.port.postMessage({ play: wanted.bytes, loop: wanted.loop });
    }
    show();
  }

  async function prepare() {
    const response = await fetch('kelvra-music.wasm');
    if (!response.ok) throw new Error('kelvra-music.wasm: ' + response.status);
    const player = await WebAssembly.compile(await response.arrayBuffer());
    await context.audioWorklet.addModule('music_worklet.js');
    const made = new AudioWorkletNode(context, 'kelvra-music', {
      numberOfInputs: 0, outputChannelCount: [2], processorOptions: { player: player } });
    made.port.onmessage = function (event) {
      const told = event.data;
      if ('position' in told) position = told.position;
      if ('order' in told) place = { order: told.order, row: told.row, seconds: told.time };
      if ('length' in told) length = told.length;
      if ('started' in told && told.started !== 0) {
        console.warn('music: the player refused the module (' + told.started + '), silence');
        refused = true;
      }
      show();
    };
    analyser = context.createAnalyser();
    analyser.fftSize = 2048;
    made.connect(analyser);
    analyser.connect(context.destination);
    node = made;
    give();
  }

  // A click, key or tap lets the sound start; the tap that does it is not the demo's
  function gesture(event) {
    if (!context || context.state === 'running' || failed) return;
    context.resume().then(show, function () {});
    const sound = kelvraDemo.music === 'waiting' || kelvraDemo.music === 'loading';
    if (sound && event.type === 'pointerup' && event.pointerType !== 'mouse') {
      event.stopImmediatePropagation();
    }
  }

  try {
    context = new AudioContext({ sampleRate: 44100, latencyHint: 'interactive' });
    context.onstatechange = show;
    for (const type of ['keydown', 'mousedown', 'pointerup', 'touchend', 'click'])
      window.addEventListener(type, gesture, true);
    kelvraDemo.downloaded.then(prepare).catch(function (error) {
      console.warn('music: no player, playing silently:', error);
      failed = true;
      show();
    });
  } catch (error) {
    console.warn('music: no audio here, playing silently:', error);
  }
  show();

  return {
    play: function (bytes, loop) {
      wanted = { bytes: bytes, loop: loop };
      give();
    },
    stop: function () {
      wanted = null;
      if (node) node.port.postMessage({ stop: true });
      show();
    },
    steer: function (level, hold) {
      volume = level;
      paused = hold;
      if (node) node.port.postMessage({ volume: volume, paused: paused });
    },
    jump: function (order) {
      place = { order: order, row: 0, seconds: place.seconds };
      if (node) node.port.postMessage({ jump: order });
    },
    where: function () { return place; },
    length: function () { return length; },
    position: function () { return position; },
    level: function () {
      if (!analyser) return 0;
      const samples = new Float32Array(analyser.fftSize);
      analyser.getFloatTimeDomainData(samples);
      let sum = 0;
      for (const s of samples) sum += s * s;
      return Math.sqrt(sum / samples.length);
    },
  };
})();
