// Shows an invite or reply link as a QR code, for a phone in the same room to open.
// Byte mode, versions 1 to 40, error correction level M: a screen seen by a phone's camera
// has glare and moire, and M still reads with 15% of the code lost, where L gives up at
// 7%; a four-candidate invite link (about 185 characters) is then version 10, 57 modules
// square, small enough for any phone at a few pixels a module.
'use strict';
(function (root, make) {
  if (typeof module === 'object' && module.exports) module.exports = make();
  else root.brelvoQr = make();
})(this, function () {
  // Level M, for versions 1 to 40: error correction bytes in each block, and blocks.
  const EC_BYTES = [10, 16, 26, 18, 24, 16, 18, 22, 22, 26, 30, 22, 22, 24, 24, 28, 28, 26, 26,
    26, 26, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28];
  const BLOCKS = [1, 1, 1, 2, 2, 4, 4, 4, 5, 5, 5, 8, 9, 9, 10, 10, 11, 13, 14, 16, 17, 17, 18, 20,
    21, 23, 25, 26, 28, 29, 31, 33, 35, 37, 38, 40, 43, 45, 47, 49];

  // GF(256) over x^8 + x^4 + x^3 + x^2 + 1.
  const EXP = new Uint8Array(512), LOG = new Uint8Array(256);
  for (let i = 0, x = 1; i < 255; i++, x = x & 128 ? (x << 1) ^ 0x11d : x << 1) {
    EXP[i] = EXP[i + 255] = x;
    LOG[x] = i;
  }
  const mul = (a, b) => (a && b ? EXP[LOG[a] + LOG[b]] : 0);

  // The remainder of data * x^n divided by (x - 1)(x - a)...(x - a^(n-1)).
  function errorCorrection(data, n) {
    let g = [1];
    for (let i = 0; i < n; i++) {
      const next = g.concat(0);
      for (let k = 0; k < g.length; k++) next[k + 1] ^= mul(g[k], EXP[i]);
      g = next;
    }
    const rest = new Array(n).fill(0);
    for (const byte of data) {
      const factor = byte ^ rest.shift();
      rest.push(0);
      for (let k = 0; k < n; k++) rest[k] ^= mul(g[k + 1], factor);
    }
    return rest;
  }

  // The BCH code of `value`: its bits followed by the remainder by `poly` of degree `degree`.
  function bch(value, poly, degree) {
    let r = value << degree;
    for (let bit = 31 - Math.clz32(r); bit >= degree; bit--) {
      if (r & (1 << bit)) r ^= poly << (bit - degree);
    }
    return (value << degree) | r;
  }

  function alignmentCentres(version) {
    if (version === 1) return [];
    const size = 17 + 4 * version, n = Math.floor(version / 7) + 2;
    const step = version === 32 ? 26 : Math.ceil((size - 13) / (n - 1) / 2) * 2;
    const centres = [6];
    for (let c = size - 7; centres.length < n; c -= step) centres.splice(1, 0, c);
    return centres;
  }

  // The grid of one version with its fixed patterns drawn: `dark` and `fixed` by y * size + x.
  function grid(version) {
    const size = 17 + 4 * version;
    const dark = new Uint8Array(size * size), fixed = new Uint8Array(size * size);
    const set = (x, y, on) => {
      dark[y * size + x] = on ? 1 : 0;
      fixed[y * size + x] = 1;
    };
    for (const [fx, fy] of [[0, 0], [size - 7, 0], [0, size - 7]]) {
      for (let y = -1; y <= 7; y++) {
        for (let x = -1; x <= 7; x++) {
          const d = Math.max(Math.abs(x - 3), Math.abs(y - 3));
          if (fx + x >= 0 && fx + x < size && fy + y >= 0 && fy + y < size) {
            set(fx + x, fy + y, d !== 2 && d !== 4);
          }
        }
      }
    }
    const centres = alignmentCentres(version);
    for (const cy of centres) {
      for (const cx of centres) {
        if (fixed[cy * size + cx]) continue; // where a finder is
        for (let y = -2; y <= 2; y++) {
          for (let x = -2; x <= 2; x++) {
            set(cx + x, cy + y, Math.max(Math.abs(x), Math.abs(y)) !== 1);
          }
        }
      }
    }
    for (let i = 8; i < size - 8; i++) {
      set(i, 6, i % 2 === 0);
      set(6, i, i % 2 === 0);
    }
    if (version >= 7) {
      const bits = bch(version, 0x1f25, 12);
      for (let i = 0; i < 18; i++) {
        const a = size - 11 + (i % 3), b = Math.floor(i / 3), on = (bits >> i) & 1;
        set(a, b, on);
        set(b, a, on);
      }
    }
    drawFormat(set, size, 0); // only to mark the places; drawn for real once masked
    return {size, dark, fixed};
  }

  // Level M (bits 00) and the mask, in both places beside the finders.
  function drawFormat(set, size, mask) {
    const bits = bch(mask, 0x537, 10) ^ 0x5412;
    for (let i = 0; i < 15; i++) {
      const on = (bits >> i) & 1;
      if (i < 6) set(8, i, on);
      else if (i < 8) set(8, i + 1, on);
      else if (i === 8) set(7, 8, on);
      else set(14 - i, 8, on);
      if (i < 8) set(size - 1 - i, 8, on);
      else set(8, size - 15 + i, on);
    }
    set(8, size - 8, 1);
  }

  const MASKS = [
    (x, y) => (x + y) % 2 === 0,
    (x, y) => y % 2 === 0,
    (x) => x % 3 === 0,
    (x, y) => (x + y) % 3 === 0,
    (x, y) => (Math.floor(y / 2) + Math.floor(x / 3)) % 2 === 0,
    (x, y) => ((x * y) % 2) + ((x * y) % 3) === 0,
    (x, y) => (((x * y) % 2) + ((x * y) % 3)) % 2 === 0,
    (x, y) => (((x + y) % 2) + ((x * y) % 3)) % 2 === 0,
  ];

  // How hard a masked code is to read: long runs, blocks, finder look-alikes, imbalance.
  function penalty(dark, size) {
    let score = 0, total = 0;
    for (let i = 0; i < size; i++) {
      let row = '', column = '';
      for (let k = 0; k < size; k++) {
        row += dark[i * size + k];
        column += dark[k * size + i];
      }
      for (const line of [row, column]) {
        for (const run of line.match(/0{5,}|1{5,}/g) || []) score += run.length - 2;
        for (const look of ['10111010000', '00001011101']) {
          for (let at = line.indexOf(look); at >= 0; at = line.indexOf(look, at + 1)) score += 40;
        }
      }
    }
    for (let y = 0; y < size; y++) {
      for (let x = 0; x < size; x++) {
        const c = dark[y * size + x];
        total += c;
        if (x && y && c === dark[y * size + x - 1] && c === dark[(y - 1) * size + x] &&
            c === dark[(y - 1) * size + x - 1]) score += 3;
      }
    }
    return score + 10 * Math.floor(Math.abs((total * 100) / (size * size) - 50) / 5);
  }

  // `text` as a QR code: {size, dark(x, y)}. `mask` (0 to 7) only for tests; the code
  // otherwise takes the mask that reads best.
  function matrix(text, mask) {
    const bytes = Array.from(new TextEncoder().encode(text));
    let version = 1, g, capacity;
    for (;; version++) {
      if (version > 40) {
        throw new Error(`Too long for a QR code: ${bytes.length} bytes, 2331 at most`);
      }
      g = grid(version);
      const free = g.fixed.length - g.fixed.reduce((a, b) => a + b, 0);
      capacity = (free >> 3) - EC_BYTES[version - 1] * BLOCKS[version - 1];
      if (4 + (version < 10 ? 8 : 16) + 8 * bytes.length <= 8 * capacity) break;
    }
    // Mode 0100 (bytes), the count, the bytes, the end mark, then the padding bytes.
    const bits = [];
    const put = (value, n) => {
      for (let i = n - 1; i >= 0; i--) bits.push((value >> i) & 1);
    };
    put(4, 4);
    put(bytes.length, version < 10 ? 8 : 16);
    bytes.forEach((b) => put(b, 8));
    put(0, Math.min(4, 8 * capacity - bits.length));
    put(0, (8 - (bits.length % 8)) % 8);
    const data = [];
    for (let i = 0; i < bits.length; i += 8) data.push(parseInt(bits.slice(i, i + 8).join(''), 2));
    for (let pad = 0xec; data.length < capacity; pad ^= 0xec ^ 0x11) data.push(pad);

    // Split into blocks, the last ones a byte longer, and interleave them.
    const count = BLOCKS[version - 1], ecBytes = EC_BYTES[version - 1];
    const short = Math.floor(capacity / count), longer = capacity % count;
    const blocks = [], ecs = [];
    for (let b = 0, at = 0; b < count; b++) {
      const length = short + (b >= count - longer ? 1 : 0);
      blocks.push(data.slice(at, at + length));
      ecs.push(errorCorrection(blocks[b], ecBytes));
      at += length;
    }
    const stream = [];
    for (let i = 0; i <= short; i++) {
      for (const block of blocks) if (i < block.length) stream.push(block[i]);
    }
    for (let i = 0; i < ecBytes; i++) ecs.forEach((ec) => stream.push(ec[i]));

    // Up and down two columns at a time from the bottom right, past the timing column.
    const {size, dark, fixed} = g;
    const places = [];
    for (let right = size - 1, up = true; right > 0; right -= 2, up = !up) {
      if (right === 6) right = 5;
      for (let i = 0; i < size; i++) {
        const y = up ? size - 1 - i : i;
        for (const x of [right, right - 1]) if (!fixed[y * size + x]) places.push(y * size + x);
      }
    }
    places.forEach((p, i) => {
      dark[p] = i >> 3 < stream.length ? (stream[i >> 3] >> (7 - (i & 7))) & 1 : 0;
    });

    const masked = (m) => {
      const out = dark.slice();
      for (const p of places) if (MASKS[m](p % size, Math.floor(p / size))) out[p] ^= 1;
      drawFormat((x, y, on) => (out[y * size + x] = on ? 1 : 0), size, m);
      return out;
    };
    let best = null, bestScore = Infinity;
    for (let m = 0; m < 8; m++) {
      if (mask !== undefined && m !== mask) continue;
      const candidate = masked(m), score = penalty(candidate, size);
      if (score < bestScore) [best, bestScore] = [candidate, score];
    }
    return {size, dark: (x, y) => best[y * size + x] === 1};
  }

  // The code as an SVG image, 4 modules of light all round, dark modules in one path.
  // `label` names what it holds for a screen reader: "QR code of <label>".
  function svg(text, label) {
    const m = matrix(text), n = m.size + 8, NS = 'http://www.w3.org/2000/svg';
    const element = (name, attributes) => {
      const e = document.createElementNS(NS, name);
      for (const key in attributes) e.setAttribute(key, attributes[key]);
      return e;
    };
    let d = '';
    for (let y = 0; y < m.size; y++) {
      for (let x = 0; x < m.size; x++) {
        if (!m.dark(x, y) || (x && m.dark(x - 1, y))) continue;
        let run = 1;
        while (x + run < m.size && m.dark(x + run, y)) run++;
        d += `M${x + 4} ${y + 4}h${run}v1h${-run}z`;
      }
    }
    const image = element('svg', {viewBox: `0 0 ${n} ${n}`, width: 4 * n, height: 4 * n,
      role: 'img', 'aria-label': label ? `QR code of ${label}` : 'QR code',
      'shape-rendering': 'crispEdges'});
    image.append(element('rect', {width: n, height: n, fill: '#fff'}),
                 element('path', {d, fill: '#000'}));
    return image;
  }

  return {matrix, svg};
});
