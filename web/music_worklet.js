// The page's music on the browser's audio thread: an AudioWorklet processor around the module
// player (music_player.c, libxmp compiled to WebAssembly, handed over compiled by music.js).
// It mixes 44100 frames a second, the rate of the page's audio context, as on the desktop.
//
// Messages from the page: {play: bytes, loop} starts a module (over whatever played),
// {stop: true} ends it, {volume: 0 to 100, paused} sets the level and holds or frees the
// music, {jump: order} goes to the start of an order. To the page: {started: 0 or why not,
// length: seconds of one pass}, {position: seconds mixed, order, row, time: seconds into the
// song} ten times a second and after a jump, {ended: true} when a module played once has
// ended.
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
    this.volume = 1;       // the level the samples are multiplied by
    this.paused = false;
    this.port.onmessage = (event) => this.take(event.data);
  }

  // Where the player is, for the page
  tell(extra) {
    const player = this.player;
    this.told = this.mixed;
    this.port.postMessage(Object.assign({
      position: this.mixed / sampleRate, order: player.player_order(), row: player.player_row(),
      time: player.player_time() / 1000 }, extra));
  }

  take(message) {
    const player = this.player;
    if ('volume' in message) {
      this.volume = message.volume / 100;
      this.paused = message.paused;
    }
    if ('jump' in message && this.module) {
      if (player.player_jump(message.jump) === 0) this.playing = true;
      this.tell({});
    }
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
      this.port.postMessage({ started: started, length: player.player_total_time() / 1000 });
    }
  }

  process(inputs, outputs) {
    if (!this.playing || this.paused) return true;  // the outputs are silence already
    const left = outputs[0][0], right = outputs[0][1] || left, n = left.length;
    const player = this.player;
    if (n > this.frames) {
      if (this.buffer) player.player_free(this.buffer);
      this.buffer = player.player_alloc(n * 4);
      this.frames = n;
    }
    const more = player.player_mix(this.buffer, n);
    const samples = new Int16Array(player.memory.buffer, this.buffer, n * 2);
    const level = this.volume / 32768;
    for (let i = 0; i < n; ++i) {
      left[i] = samples[2 * i] * level;
      right[i] = samples[2 * i + 1] * level;
    }
    this.mixed += n;
    if (!more) {
      this.playing = false;
      this.port.postMessage({ ended: true, position: this.mixed / sampleRate });
    } else if (this.mixed - this.told >= sampleRate / 10) {
      this.tell({});
    }
    return true;
  }
}

registerProcessor('kelvra-music', KelvraMusic);
