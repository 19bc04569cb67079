// The page's module player, for the music library's browser side (midas_web.cpp): it plays the
// module the demo chose through chiptune3 (libopenmpt in an AudioWorklet). Browsers let a page
// make sound only once the person has pressed a key or clicked, unless they allow it anyway:
// the player starts at once when allowed, else on the first key or click. Audio that stays
// blocked, or a player that cannot load, is silence and no error.
//
// Module.trelkMusic: play(bytes, loop), stop(), and for scripts position() (seconds into the
// song, advancing while it plays) and level() (the output's RMS over the last 2048 samples).
Module.trelkMusic = (function () {
  let wanted = null;  // {bytes, loop}: what should play
  let context = null, analyser = null, player = null, starting = false;

  function unlock() {
    window.removeEventListener('pointerdown', unlock, true);
    window.removeEventListener('keydown', unlock, true);
    if (context && context.state !== 'running') context.resume().then(start, function () {});
  }

  async function start() {
    if (!wanted || starting || !context || context.state !== 'running') return;
    starting = true;
    try {
      if (!player) {
        const { ChiptuneJsPlayer } = await import('./chiptune3/chiptune3.js');
        const made = new ChiptuneJsPlayer({ context: context, repeatCount: -1 });
        await new Promise(function (resolve) { made.onInitialized(resolve); });
        analyser = context.createAnalyser();
        analyser.fftSize = 2048;
        made.gain.connect(analyser);
        analyser.connect(context.destination);
        player = made;
      }
      if (wanted) {
        player.setRepeatCount(wanted.loop ? -1 : 0);
        player.play(wanted.bytes.buffer);
        const status = document.getElementById('status');
        if (status && kelvraDemo.status === null) status.textContent = 'Any key ends the demo.';
      }
    } catch (error) {
      console.warn('music: no player, playing silently:', error);
    } finally {
      starting = false;
    }
  }

  return {
    play: function (bytes, loop) {
      wanted = { bytes: bytes, loop: loop };
      if (!context) {
        try {
          context = new AudioContext();
        } catch (error) {
          console.warn('music: no audio here, playing silently:', error);
          return;
        }
        window.addEventListener('pointerdown', unlock, true);
        window.addEventListener('keydown', unlock, true);
      }
      if (context.state === 'running') start();
      else context.resume().then(start, function () {});
    },
    stop: function () {
      wanted = null;
      if (player) player.stop();
    },
    position: function () { return player && player.currentTime ? player.currentTime : 0; },
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
