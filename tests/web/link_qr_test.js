// Invite links and their QR codes, as the friend's browser and a phone's camera get them:
//   node --test tests/web/      or      node tests/web/link_qr_test.js
// (zbarimg, from zbar-tools, reads the codes)
'use strict';
const {describe, it} = require('node:test');
const assert = require('node:assert/strict'), fs = require('fs'), os = require('os');
const path = require('path');
const {execFileSync} = require('child_process');
const page = path.join(__dirname, '../../web');
const link = require(path.join(page, 'link.js')), qr = require(path.join(page, 'qr.js'));

const FP = 'C2:7E:39:B9:14:8D:E5:AD:F6:63:2A:1C:E0:FE:1B:15:52:0D:8F:4A:7D:BD:E2:AC:D0:2E:A0:' +
  '90:D4:BD:3A:4A';
// As each browser gives them after gathering; `want`: what the other side must read back,
// best first ([type, address, port]; TCP is left behind).
const SAMPLES = [{type: 'offer', ice: ['v+M/', 'kRwa/uIgWNw9iM4z4SygPXYp'], setup: 'actpass', sdp: [
  'v=0', 'o=- 7297478232109316353 2 IN IP4 127.0.0.1', 's=-', 't=0 0', 'a=group:BUNDLE 0',
  'm=application 50723 UDP/DTLS/SCTP webrtc-datachannel', 'c=IN IP4 203.0.113.7',
  'a=candidate:3016249155 1 udp 2113937151 9b36eaac-bb2e-49bb-bb78-21c41c499900.local 50723 typ host generation 0 network-cost 999',
  'a=candidate:1710215763 1 udp 2113939711 1f2e3d4c-5b6a-4978-8695-a4b3c2d1e0ff.local 50724 typ host generation 0 network-cost 999',
  'a=candidate:4165310679 1 tcp 1518214911 9b36eaac-bb2e-49bb-bb78-21c41c499900.local 9 typ host tcptype active generation 0',
  'a=candidate:842163049 1 udp 1677729535 203.0.113.7 50723 typ srflx raddr 0.0.0.0 rport 0 generation 0',
  'a=candidate:1318485305 1 udp 33562623 198.51.100.20 61034 typ relay raddr 203.0.113.7 rport 50723 generation 0',
  'a=ice-ufrag:v+M/', 'a=ice-pwd:kRwa/uIgWNw9iM4z4SygPXYp', 'a=ice-options:trickle',
  'a=fingerprint:sha-256 ' + FP, 'a=setup:actpass', 'a=mid:0', 'a=sctp-port:5000'],
want: [['host', '1f2e3d4c-5b6a-4978-8695-a4b3c2d1e0ff.local', 50724],
  ['host', '9b36eaac-bb2e-49bb-bb78-21c41c499900.local', 50723], ['srflx', '203.0.113.7', 50723],
  ['relay', '198.51.100.20', 61034]],
}, {type: 'answer', ice: ['ca4e9908', '051222047a99123135f115c3376e5019'], setup: 'active', sdp: [
  'v=0', 'o=mozilla...THIS_IS_SDPARTA-99.0 8648322959646812709 0 IN IP4 0.0.0.0', 's=-', 't=0 0',
  'a=fingerprint:sha-1 2C:CB:29:CD:42:B9:17:95:A3:71:85:3D:59:EE:1B:2D:01:B8:40:97',
  'a=fingerprint:sha-256 ' + FP.toLowerCase(), 'a=group:BUNDLE 0',
  'm=application 52011 UDP/DTLS/SCTP webrtc-datachannel', 'c=IN IP4 192.0.2.2',
  'a=candidate:0 1 UDP 2122187007 192.168.1.34 52011 typ host',
  'a=candidate:1 1 UDP 2122252543 2001:db8:0:0:1:0:0:1 44898 typ host',
  'a=candidate:2 1 TCP 2105458943 192.168.1.34 9 typ host tcptype active',
  'a=candidate:3 1 UDP 2122383615 fe80::c:1ff:fe00:0 40000 typ host',
  'a=candidate:4 1 UDP 1685987327 203.0.113.9 52011 typ srflx raddr 192.168.1.34 rport 52011',
  'a=candidate:5 1 UDP 8331263 2001:db8:ffff::7 3478 typ relay raddr 203.0.113.9 rport 52011',
  'a=end-of-candidates', 'a=ice-pwd:051222047a99123135f115c3376e5019', 'a=ice-ufrag:ca4e9908',
  'a=mid:0', 'a=setup:active', 'a=sctp-port:5000', 'a=max-message-size:1073741823'],
want: [['host', 'fe80::c:1ff:fe00:0', 40000], ['host', '2001:db8::1:0:0:1', 44898],
  ['host', '192.168.1.34', 52011], ['srflx', '203.0.113.9', 52011],
  ['relay', '2001:db8:ffff::7', 3478]],
}];
SAMPLES.forEach((s) => (s.sdp = s.sdp.join('\r\n') + '\r\n'));

// What the other side reads back; candidates best first by the priorities made up again.
function read(sdp) {
  const a = (name) => (sdp.match(new RegExp(`^a=${name}:.*(?=\r\n)`, 'gm')) || [])
    .map((l) => l.slice(name.length + 3));
  const candidates = a('candidate').map((c) => c.split(' ')).sort((x, y) => y[3] - x[3]);
  return [...['mid', 'ice-ufrag', 'ice-pwd', 'setup', 'fingerprint'].map((k) => a(k)[0]),
    candidates.map((c) => [c[7], c[4], +c[5]])];
}

// A QR code pictured 4 pixels a module, read by zbarimg; `wipe(x, y, size)` lightens modules.
const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'brelvo-qr.'));
const picture = path.join(tmp, 'qr.pgm');
process.on('exit', () => fs.rmSync(tmp, {recursive: true}));
function scan(m, wipe = () => false) {
  const n = (m.size + 8) * 4, pixels = Buffer.alloc(n * n, 255);
  for (let i = 0; i < n * n; i++) {
    const x = ((i % n) >> 2) - 4, y = (Math.floor(i / n) >> 2) - 4;
    const inside = x >= 0 && y >= 0 && x < m.size && y < m.size;
    if (inside && m.dark(x, y) && !wipe(x, y, m.size)) pixels[i] = 0;
  }
  fs.writeFileSync(picture, Buffer.concat([Buffer.from(`P5 ${n} ${n} 255\n`), pixels]));
  try {
    return execFileSync('zbarimg', ['-q', '--raw', '--nodbus', picture], {stdio: 'pipe'})
      .toString().replace(/\n$/, '');
  } catch (e) {
    if (e.status === 4) return null; // no code seen
    throw e; // no zbarimg, or it failed: not a code unread
  }
}

// What anyone types or pastes is refused with a reason (an Error of ours, not a crash).
function refused(input, why) {
  assert.throws(() => link.unpack(input), (e) => e.constructor === Error && e.message !== '', why);
}

const invite = 'https://example.org/games/brelvo/#';

describe('invite and reply links', () => {
  for (const s of SAMPLES) {
    it(`a browser's ${s.type} goes into a link and comes back whole, as a QR code too`, (t) => {
      const packed = link.pack(s), back = link.unpack(packed), code = qr.matrix(invite + packed);
      assert.match(packed, /^[\w-]+$/);
      assert.equal(back.type, s.type);
      assert.deepEqual(read(back.sdp), ['0', ...s.ice, s.setup, 'sha-256 ' + FP, s.want]);
      assert.equal(scan(code), invite + packed);
      // Taken as a reply, whole or as its fragment, by the page whose offer it answers.
      const taken = link.replyOf(' ' + invite + packed + '.tagg\n');
      assert.deepEqual(taken && [taken.tag, taken.answer.sdp],
                       s.type === 'answer' ? ['tagg', back.sdp] : null);
      t.diagnostic(`${s.type}: ${s.want.length} candidates, ${packed.length} characters packed, ` +
                   `${(invite + packed).length} in the link, QR code version ${(code.size - 17) / 4}`);
    });
    it(`an ${s.type} cut short anywhere or mistyped anywhere is refused`, () => {
      const packed = link.pack(s);
      for (let end = 0; end < packed.length; end++) refused(packed.slice(0, end), `cut at ${end}`);
      for (let i = 0; i < packed.length; i++) {
        const typo = packed.slice(0, i) + (packed[i] === 'B' ? 'C' : 'B') + packed.slice(i + 1);
        refused(typo, `at ${i}`);
      }
    });
  }

  it('the invite link stays short; what is not a link of ours is refused', () => {
    const offer = link.pack(SAMPLES[0]);
    assert.ok((invite + offer).length <= 190, 'the invite link stays short');
    for (const input of [null, 'A'.repeat(3000), 'AQ!x', '#' + offer, 'Ag' /* newer */, '_w']) {
      refused(input, JSON.stringify(input));
    }
  });

  // A big screen's links, as a phone opening one reads its fragment (seat.js): a side's or
  // the watch link by its room's secret; a side's by the screen's own offer, where no
  // rendezvous is; anything else, no link of the big screen's.
  it('a big screen\'s link names its side and its room, or carries the screen\'s offer', () => {
    if (!globalThis.crypto) globalThis.crypto = require('node:crypto').webcrypto;
    const window = {brelvoRendezvous: require(path.join(page, 'rendezvous.js')),
                    brelvoGuest: {unpack: (text) => {
                      try {
                        return link.unpack(text);
                      } catch (error) {
                        return null;
                      }
                    }}};
    require('vm').runInNewContext(fs.readFileSync(path.join(page, 'seat.js'), 'utf8'), {window});
    // as plain values: the script's objects are of its own context
    const linked = (text) => JSON.parse(JSON.stringify(window.brelvoSeat.linked(text)));
    const secret = window.brelvoRendezvous.newSecret();
    const offer = link.pack(SAMPLES.find((s) => s.type === 'offer'));
    const answer = link.pack(SAMPLES.find((s) => s.type === 'answer'));
    assert.deepEqual(['left', 'right', 'watch'].map((name) => linked(name + '.' + secret)),
                     [0, 1, -1].map((side) => ({side, secret})));
    assert.deepEqual(linked('right.' + offer), {side: 1, offer: offer});
    for (const other of ['watch.' + offer, 'left.' + answer, 'left.' + secret.slice(1),
                         'centre.' + secret, 'left.' + secret + '.x', offer + '.' + secret, '']) {
      assert.strictEqual(linked(other), null, other);
    }
  });

  it('a description no link carries is refused when packed', () => {
    for (const [from, to] of [[/a=fingerprint.*\r\n/, ''], ['ice-ufrag:v+M/', 'ice-ufrag:v M;'],
      ['m=application 50723 UDP/DTLS/SCTP', 'm=audio 50723 UDP/TLS/RTP/SAVPF'], [/[^]*/, '']]) {
      const sdp = SAMPLES[0].sdp.replace(from, to);
      assert.throws(() => link.pack({type: 'offer', sdp}), (e) => e.constructor === Error, to);
    }
    assert.throws(() => link.pack({type: 'pranswer', sdp: SAMPLES[0].sdp}), /an offer or an answer/);
  });

  // Damage under a right checksum (CRC-16/CCITT-FALSE) reaches the reading of every field.
  it('damage under a right checksum is read or refused, never a crash', () => {
    function seal(bytes) {
      let crc = 0xffff;
      for (const b of bytes) {
        for (let k = 7; k >= 0; k--) {
          crc = ((crc << 1) ^ ((crc >> 15) ^ ((b >> k) & 1) && 0x1021)) & 0xffff;
        }
      }
      return Buffer.from([...bytes, crc >> 8, crc & 255]).toString('base64url');
    }
    const body = [...Buffer.from(link.pack(SAMPLES[1]), 'base64url').subarray(0, -2)];
    assert.equal(seal(body), link.pack(SAMPLES[1]));
    for (let i = 0, r = 1; i < 3000; i++) {
      const next = () => (r = (r * 69069 + 1) >>> 0), bytes = body.slice(0, 1 + (next() % body.length));
      for (let k = 1 + (r >>> 28); k > 0; k--) bytes[1 + (next() % (bytes.length - 1))] = r >>> 24;
      try {
        assert.ok(read(link.unpack(seal(bytes)).sdp)[5].length <= 16);
      } catch (e) {
        assert.ok(e.constructor === Error, `${e.stack} from ${seal(bytes)}`);
      }
    }
    refused(seal([...body, 0]), 'a byte left over');
  });
});

describe('QR codes', () => {
  let seed = 7;
  const text = (n) => String.fromCharCode(...Array.from({length: n},
    () => 33 + ((seed = (seed * 69069 + 1) >>> 0) >>> 25) % 94));

  it('each version, as full as it goes, reads back; a byte more takes the next', () => {
    const FULL = [14, 26, 42, 62, 84, 106, 122, 152, 180, 213, 251, 287, 331, 362, 412, 450, 504,
      560, 624, 666, 711, 779, 857, 911, 997, 1059, 1125, 1190, 1264, 1370, 1452, 1538, 1628, 1722,
      1809, 1911, 1989, 2099, 2213, 2331];
    FULL.forEach((bytes, i) => {
      const t = text(bytes), code = qr.matrix(t);
      assert.equal(code.size, 21 + 4 * i, `${bytes} bytes`);
      assert.equal(scan(code), t, `version ${i + 1}`);
      if (i < 39) assert.equal(qr.matrix(t + 'x').size, 25 + 4 * i);
    });
    assert.throws(() => qr.matrix(text(2332)), /Too long for a QR code/);
  });

  it('each mask reads; either copy of the format, and of the version, is enough alone', () => {
    const long = invite + text(180), first = (x, y) => (x === 8 && y <= 8) || (y === 8 && x <= 8);
    const second = (x, y, n) => (x === 8 && y >= n - 8) || (y === 8 && x >= n - 8);
    for (let mask = 0; mask < 8; mask++) assert.equal(scan(qr.matrix(long, mask)), long);
    for (const wipe of [first, second, (x, y, n) => x >= n - 11 && x < n - 8 && y < 6,
      (x, y, n) => y >= n - 11 && y < n - 8 && x < 6]) {
      assert.equal(scan(qr.matrix(long), wipe), long);
    }
    assert.equal(scan(qr.matrix(long), (x, y, n) => first(x, y) || second(x, y, n)), null);
  });
});
