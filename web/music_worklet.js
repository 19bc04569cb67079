// The page's music on the browser's audio thread: an AudioWorklet processor around the module
// player (music_player.c, libxmp compiled to WebAssembly, handed over compiled by music.js).
// It mixes 44100 frames a second, the rate of the page's audio context, as on the desktop.
//
// Messages from the page: {play: bytes, loop} starts a module (over whatever played),
// {stop: true} ends it. To the page: {started: 0 or why not}, {position: seconds mixed},
// {ended: true} when a module played once has ended.
class KelvraMusic extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const instance = new WebAssembly.Instance(options.processorOptions.player, {
      env: { emscripten_notify_memory_growth: function () {} },
    });
    this.player = instance.exports;
    this.player._initialize();
    this.frames = 0;       // frames the mixing buffer holds
    this.buffer = 0;
    this.module = 0;       // the module's bytes in the player's memory, kept while it plays
    this.playing = false;
    this.mixed = 0;        // frames mixed of the current module
    this.told = 0;
    this.port.onmessage = (event) => this.take(event.data);
  }

  take(message) {
    const player = this.player;
    if (message.stop || message.play) {
      player.player_stop();
      if (this.module) player.player_free(this.module);
      this.module = 0;
      this.playing = false;
    }
    if (message.play) {
      const bytes = message.play;
      this.module = player.player_alloc(bytes.length);
      let started = 1;
      if (this.module) {
        new Uint8Array(player.memory.buffer, this.module, bytes.length).set(bytes);
        started = player.player_start(this.module, bytes.length, message.loop ? 1 : 0);
      }
      this.playing = started === 0;
      this.mixed = this.told = 0;
      this.port.postMessage({ started: started });
    }
  }

  process(inputs, outputs) {
    if (!this.playing) return true;  // the outputs are silence already
    const left = outputs[0][0], right = outputs[0][1] || left, n = left.length;
    const player = this.player;
    if (n > this.frames) {
      if (this.buffer) player.player_free(this.buffer);
      this.buffer = player.player_alloc(n * 4);
      this.frames = n;
    }
    const more = player.player_mix(this.buffer, n);
    const samples = new Int16Array(player.memory.buffer, this.buffer, n * 2);
    for (let i = 0; i < n; ++i) {
      left[i] = samples[2 * i] / 32768;
      right[i] = samples[2 * i + 1] / 32768;
    }
    this.mixed += n;
    if (!more) {
      this.playing = false;
      this.port.postMessage({ ended: true, position: this.mixed / sampleRate });
    } else if (this.mixed - this.told >= sampleRate / 10) {
      this.told = this.mixed;
      this.port.postMessage({ position: this.mixed / sampleRate });
    }
    return true;
  }
}

registerProcessor('kelvra-music', KelvraMusic);
