// The four effects through Web Audio. A context left running costs
// processor time even when silent, so it rests (suspended) after a second
// with nothing playing and wakes on the next sound.
"use strict";

((page) => {
  // Each voice plays at a quarter of full volume, so that the four effects
  // at their loudest together stay within full scale.
  const kVoiceGain = 0.25;
  const kFallbackVoice = 4;
  const kRestAfterMs = 1000;

  page.audio = {
    context: null,
    output: null,
    buffers: [],
    voices: [],
    decoded: new Map(),
    muted: false,
    // suspended by the page for want of sound (not by the browser's wait
    // for a gesture)
    resting: false,
    restTimer: null,

    open() {
      const AudioContextClass = window.AudioContext || window.webkitAudioContext;
      if (!AudioContextClass) return false;
      try {
        this.context = new AudioContextClass();
      } catch (e) {
        return false;
      }
      this.output = this.context.createGain();
      this.output.gain.value = kVoiceGain;
      this.output.connect(this.context.destination);
      // Browsers start sound only after the player's first gesture.
      const unlock = () => {
        if (this.context && this.context.state === "suspended" && !this.resting) {
          this.context.resume();
          this.restSoon();
        }
      };
      for (const type of ["pointerdown", "keydown", "touchend"]) {
        window.addEventListener(type, unlock, { capture: true });
      }
      this.restSoon();
      return true;
    },

    create(id, channels, sampleRate, bytesPerSample, bytes) {
      if (!this.context) return false;
      const frames = bytes.length / (channels * bytesPerSample);
      let buffer;
      try {
        buffer = this.context.createBuffer(channels, frames, sampleRate);
      } catch (e) {
        return false;
      }
      const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.length);
      for (let c = 0; c < channels; c++) {
        const samples = buffer.getChannelData(c);
        for (let f = 0; f < frames; f++) {
          const at = (f * channels + c) * bytesPerSample;
          samples[f] = bytesPerSample === 1 ? (view.getUint8(at) - 128) / 128 : view.getInt16(at, true) / 32768;
        }
      }
      this.buffers[id] = buffer;
      return true;
    },

    // Whether a sound may start now: the context runs, or rests and is
    // woken (a sound started meanwhile plays as it wakes).
    awake() {
      if (this.muted || !this.context) return false;
      if (this.resting) {
        this.resting = false;
        this.context.resume();
        return true;
      }
      return this.context.state === "running";
    },

    start(voice, buffer) {
      if (!buffer || !this.awake()) return;
      this.stop(voice);
      const source = this.context.createBufferSource();
      source.buffer = buffer;
      source.connect(this.output);
      source.playing = true;
      source.onended = () => {
        source.playing = false;
        this.restSoon();
      };
      source.start();
      this.voices[voice] = source;
      clearTimeout(this.restTimer);
      this.restTimer = null;
    },

    // Suspends the context a second after the last sound ended, unless
    // another started meanwhile.
    restSoon() {
      clearTimeout(this.restTimer);
      this.restTimer = setTimeout(() => {
        this.restTimer = null;
        const playing = this.voices.some((source) => source && source.playing);
        if (!playing && this.context && this.context.state === "running") {
          this.resting = true;
          this.context.suspend();
        }
      }, kRestAfterMs);
    },

    stop(voice) {
      const source = this.voices[voice];
      if (!source) return;
      this.voices[voice] = null;
      try {
        source.stop();
      } catch (e) {
        // already ended
      }
    },

    play(id) {
      this.start(id, this.buffers[id]);
    },

    // A whole WAVE image on the fallback voice, decoded once per image.
    playImage(key, image) {
      if (this.muted || !this.context || (this.context.state !== "running" && !this.resting)) return;
      const known = this.decoded.get(key);
      if (known) return this.start(kFallbackVoice, known);
      this.context.decodeAudioData(image.slice().buffer).then(
        (buffer) => {
          this.decoded.set(key, buffer);
          this.start(kFallbackVoice, buffer);
        },
        () => {}
      );
    },

    mute(muted) {
      this.muted = muted;
      if (muted) this.voices.forEach((_, voice) => this.stop(voice));
    },

    close() {
      clearTimeout(this.restTimer);
      this.voices.forEach((_, voice) => this.stop(voice));
      this.buffers = [];
      this.decoded.clear();
      if (this.context) this.context.close();
      this.context = null;
    },
  };
})(TavroPage);
