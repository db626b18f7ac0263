// What pages playing one match say to each other, and nothing else: the closed list of
// messages, each with who may send it, its size limit and the check of its fields, and
// the frame's bytes. Who: the host and the guest of a match with a friend elsewhere; the
// big screen, a phone holding one side as its pad, and a phone watching. Anything else is
// dropped (and counted by the page), never reaching the game. Pure: the page and node's
// tests use the same code.
//
// On the ordered channel "match", JSON text {"k": kind, ...}. On the unordered channel
// "frames", without retransmission, binary, host to guest (and big screen to watcher),
// the frame: kind 1 (1 byte), flags (1: bit 0 heartbeat, bits 1-2 the host's state: 0
// none, 1 running, 2 over, bit 3 the host does not hear the guest: a way lost in one
// direction only), sequence (4), the host's time in ms (4), the host's round trip in ms
// (2, 0xffff: unknown), the number of the guest's newest press the frame shows (4),
// colour count n (1), n colours (3 each), then each of the 11 x 9 cells' colour number,
// row by row: the score columns and the grid as composed. At most 512 bytes. The host
// sends one when a frame is composed, and twice a second while nothing changes as the
// heartbeat, which the guest answers with a beat.
'use strict';
(function (root) {
  const VERSION = 5;
  const MOST_PRESS = 2 ** 27 - 1;  // the guest numbers its presses from 1 up to this
  const WAYS = ['up', 'down', 'left', 'right'];
  const int = (v, low, high) => Number.isInteger(v) && v >= low && v <= high;
  const any = () => true;
  // A clip by its name, as the game names its sounds.
  const clip = (v) => typeof v === 'string' && /^[a-z0-9]{1,16}$/.test(v);

  const side = (v) => v === 0 || v === 1;  // 0 left, red; 1 right, blue
  const PAIR = ['host', 'guest'];
  const SCREEN = ['host', 'screen'];  // whoever runs the game
  const PHONES = ['pad', 'watcher'];
  const ALL = [...PAIR, 'screen', ...PHONES];

  // kind: [who may send it, size limit in bytes, check of the fields, what it says].
  const MESSAGES = {
    hello: [ALL, 64, (m) => int(m.v, 0, 1e6), '{v}: the protocol\'s version'],
    key: [['guest'], 80, (m) => WAYS.includes(m.key) && (m.d === 0 || m.d === 1) &&
          int(m.n, 0, MOST_PRESS) && int(m.t, 0, 2 ** 32 - 1),
          '{key: up|down|left|right, d: 1 down, 0 up, n: the newest press\'s number, ' +
          't: when it was pressed, in ms on the guest\'s clock}'],
    beat: [['guest', ...PHONES], 64, (m) => int(m.t, 0, 2 ** 32) && (m.s === 0 || m.s === 1),
           '{t: the heartbeat\'s time, 0 for none; s: 1 while the page is in view}'],
    offer: [['host'], 8192, (m) => typeof m.sdp === 'string', '{sdp}: the second connection'],
    answer: [['guest'], 8192, (m) => typeof m.sdp === 'string', '{sdp}'],
    way: [['host'], 64, (m) => typeof m.s === 'string',
          '{s}: the secret of the two pages\' room on the rendezvous, to mend a blip'],
    count: [SCREEN, 32, (m) => int(m.n, 1, 9), '{n}: the countdown, 3 2 1'],
    start: [SCREEN, 32, any, 'the match starts'],
    over: [SCREEN, 32, any, 'the match is over'],
    again: [[...PAIR, 'pad'], 32, any, 'this page asks for another match'],
    play: [SCREEN, 96, (m) => int(m.c, 0, 15) && clip(m.p) && int(m.l, -1, 1e6) &&
           int(m.t, -1, 1e9) && int(m.g, 0, 128),
           '{c: channel, p: clip by name, l: loops, t: ticks, g: volume}'],
    halt: [SCREEN, 32, (m) => int(m.c, 0, 15), '{c}'],
    volume: [SCREEN, 64, (m) => clip(m.p) && int(m.g, 0, 128), '{p, g}'],
    leave: [ALL, 32, any, 'the page leaves'],
    // The big screen and its phones.
    seat: [['screen'], 32, (m) => int(m.s, -1, 1),
           '{s}: what the phone holds: 0 the left side, 1 the right, -1 a seat to watch'],
    tick: [['screen'], 48, (m) => int(m.t, 0, 2 ** 32 - 1),
           '{t}: the heartbeat to a phone, which answers with a beat'],
    score: [['screen'], 32, (m) => int(m.l, 0, 9) && int(m.r, 0, 9), '{l, r}: each side\'s points'],
    buzz: [['screen'], 32, (m) => int(m.ms, 1, 1000),
           '{ms}: a short vibration on the pads: a hit, a round\'s end'],
    press: [['pad'], 64, (m) => side(m.s) && WAYS.includes(m.key) && (m.d === 0 || m.d === 1),
            '{s: the side its link holds, key: up|down|left|right, d: 1 down, 0 up}'],
  };
  const LONGEST = 8192;
  const FRAME_MOST = 512;
  const HEAD = 17;  // a frame's bytes before its colours

  // A message from the page playing `from` ('host', 'guest', 'screen', 'pad', 'watcher')
  // as the list allows it, or null.
  function take(data, from) {
    if (typeof data !== 'string' || data.length > LONGEST) return null;
    let message;
    try {
      message = JSON.parse(data);
    } catch (error) {
      return null;
    }
    if (!message || typeof message !== 'object' || Array.isArray(message) ||
        !Object.hasOwn(MESSAGES, message.k)) {
      return null;
    }
    const [who, most, check] = MESSAGES[message.k];
    if (!who.includes(from) || data.length > most || !check(message)) return null;
    return message;
  }

  // The frame of `cells` (Uint8Array(297): 99 cells' r, g, b) as bytes.
  function packFrame(cells, {beat, state, seq, time, rtt, taken, deaf}) {
    const colours = [], index = new Map(), numbers = new Uint8Array(99);
    for (let i = 0; i < 99; i++) {
      const key = (cells[3 * i] << 16) | (cells[3 * i + 1] << 8) | cells[3 * i + 2];
      if (!index.has(key)) {
        index.set(key, colours.length);
        colours.push(key);
      }
      numbers[i] = index.get(key);
    }
    const bytes = new Uint8Array(HEAD + 3 * colours.length + 99);
    const view = new DataView(bytes.buffer);
    view.setUint8(0, 1);
    view.setUint8(1, (beat ? 1 : 0) | (state << 1) | (deaf ? 8 : 0));
    view.setUint32(2, seq >>> 0);
    view.setUint32(6, Math.round(time) >>> 0);
    view.setUint16(10, rtt === null ? 0xffff : Math.min(rtt, 0xfffe));
    view.setUint32(12, (taken || 0) >>> 0);
    view.setUint8(16, colours.length);
    colours.forEach((c, i) => bytes.set([c >> 16, (c >> 8) & 255, c & 255], HEAD + 3 * i));
    bytes.set(numbers, HEAD + 3 * colours.length);
    return bytes;
  }

  // A frame's fields and its cells (Uint8Array(297)), or null for bytes no host sends.
  function unpackFrame(data) {
    if (!(data instanceof ArrayBuffer) || data.byteLength < HEAD ||
        data.byteLength > FRAME_MOST) {
      return null;
    }
    const bytes = new Uint8Array(data), view = new DataView(data);
    const n = bytes[16];
    if (bytes[0] !== 1 || n < 1 || data.byteLength !== HEAD + 3 * n + 99) return null;
    const numbers = bytes.subarray(HEAD + 3 * n);
    if (numbers.some((c) => c >= n)) return null;
    const cells = new Uint8Array(297);
    numbers.forEach((c, i) => cells.set(bytes.subarray(HEAD + 3 * c, HEAD + 3 + 3 * c), 3 * i));
    const rtt = view.getUint16(10), taken = view.getUint32(12);
    if (taken > MOST_PRESS) return null;
    return {beat: (bytes[1] & 1) === 1, state: (bytes[1] >> 1) & 3, deaf: (bytes[1] & 8) !== 0,
            seq: view.getUint32(2),
            time: view.getUint32(6), rtt: rtt === 0xffff ? null : rtt, taken: taken,
            cells: cells};
  }

  const protocol = {VERSION: VERSION, WAYS: WAYS, MESSAGES: MESSAGES, take: take,
                    packFrame: packFrame, unpackFrame: unpackFrame, FRAME_MOST: FRAME_MOST};
  if (typeof module === 'object' && module.exports) module.exports = protocol;
  else root.brelvoProtocol = protocol;
})(typeof window === 'object' ? window : globalThis);
