// The tests' ear on the page's output: hands over what passes it, 4096 samples at a time,
// each batch with the output clock's time of its first sample. Runs on the audio thread,
// so a busy page loses nothing of what is heard.
class Recorder extends AudioWorkletProcessor {
  constructor() {
    super();
    this.batch = new Float32Array(4096);
    this.filled = 0;
    this.at = 0;
  }

  process(inputs) {
    const input = inputs[0] && inputs[0][0];
    const block = input || new Float32Array(128);
    if (this.filled === 0) this.at = currentTime;
    this.batch.set(block, this.filled);
    this.filled += block.length;
    if (this.filled === this.batch.length) {
      this.port.postMessage({at: this.at, samples: this.batch});
      this.batch = new Float32Array(4096);
      this.filled = 0;
    }
    return true;
  }
}
registerProcessor('brelvo-recorder', Recorder);
