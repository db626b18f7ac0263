// Invite and reply links for a match over the net: a browser's WebRTC description (offer
// or answer, data channel only, candidates gathered) packed into a few bytes for a URL's
// fragment, and unpacked into an SDP both Chromium and Firefox accept. Only what the
// connection needs travels: ICE ufrag and password, the DTLS fingerprint, the setup role,
// the mid and the UDP host, srflx and relay candidates. Everything else is rebuilt.
//
// The packed bytes, sent as base64url:
//   version (1), flags (bit 0: answer; bits 1-2: setup actpass, active, passive),
//   SHA-256 fingerprint (32), ufrag, password, mid (each a length byte, bit 7 set when
//   the text is lower-case hex: 4 bits a character, else 6 bits from [A-Za-z0-9+/]),
//   candidate count, each candidate (kind byte: bits 0-1 host, srflx, relay; bits 2-3
//   IPv4 (4 bytes), IPv6 (16), UUID.local (16), other name (length byte + text);
//   then the port, 2 bytes), CRC-16 of all before it (2).
//
// An offer from Chromium with two mDNS host candidates, one srflx and one relay, both IPv4,
// packs into 114 bytes, 152 characters: the invite link https://example.org/games/brelvo/#...
// is 186 characters, a QR code of version 10 (level M, 57 modules square). The same from
// Firefox (hex ufrag and password) packs into 113 bytes, 151 characters.
'use strict';
(function (root, make) {
  if (typeof module === 'object' && module.exports) module.exports = make();
  else root.brelvoLink = make();
})(this, function () {
  const VERSION = 1;
  const MAX_TEXT = 2048; // no link of ours comes near; anything longer is refused unread
  const MAX_CANDIDATES = 16;
  const B64 = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_';
  const ICE_CHARS = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/';
  const HEX = '0123456789abcdef';
  const SETUPS = ['actpass', 'active', 'passive'];
  const TYPES = ['host', 'srflx', 'relay'];
  const TYPE_PREFERENCE = [126, 100, 0];
  const UUID_LOCAL = /^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\.local$/;
  const UUID = /(.{8})(.{4})(.{4})(.{4})/;
  const NAME = /^[A-Za-z0-9.-]{1,255}$/;

  function fail(why) {
    throw new Error(why);
  }

  function crc16(bytes, end) {
    let crc = 0xffff;
    for (let i = 0; i < end; i++) {
      crc ^= bytes[i] << 8;
      for (let k = 0; k < 8; k++) crc = (crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1) & 0xffff;
    }
    return crc;
  }

  // ---- Addresses ----

  function parseIPv4(text) {
    const parts = text.split('.');
    if (parts.length !== 4 || !parts.every((p) => /^\d{1,3}$/.test(p) && +p < 256)) return null;
    return parts.map(Number);
  }

  function parseIPv6(text) {
    const halves = text.split('::');
    if (halves.length > 2) return null;
    const groups = halves.map((h) => (h ? h.split(':') : []));
    const given = groups[0].length + (groups[1] ? groups[1].length : 0);
    if (halves.length === 1 ? given !== 8 : given > 7) return null;
    const all = groups[0].concat(Array(8 - given).fill('0'), groups[1] || []);
    if (!all.every((g) => /^[0-9a-fA-F]{1,4}$/.test(g))) return null;
    const bytes = [];
    for (const g of all) bytes.push(parseInt(g, 16) >> 8, parseInt(g, 16) & 255);
    return bytes;
  }

  // The short form: lower case, the longest run of two or more zero groups as "::".
  function formatIPv6(bytes) {
    const groups = [];
    for (let i = 0; i < 16; i += 2) groups.push(((bytes[i] << 8) | bytes[i + 1]).toString(16));
    let best = -1, length = 1;
    for (let i = 0; i < 8; i++) {
      let n = 0;
      while (i + n < 8 && groups[i + n] === '0') n++;
      if (n > length) [best, length] = [i, n];
    }
    if (best < 0) return groups.join(':');
    return groups.slice(0, best).join(':') + '::' + groups.slice(best + length).join(':');
  }

  const hex = (bytes) => bytes.map((b) => (b < 16 ? '0' : '') + b.toString(16)).join('');

  // ---- Packing ----

  class Writer {
    constructor() {
      this.bytes = [];
    }
    byte(b) {
      this.bytes.push(b & 255);
    }
    // ICE text: 4 bits a character when it is lower-case hex (Firefox's), else 6.
    text(value, what) {
      const isHex = /^[0-9a-f]+$/.test(value);
      const alphabet = isHex ? HEX : ICE_CHARS, bits = isHex ? 4 : 6;
      if (!value || value.length > 127 || [...value].some((c) => !alphabet.includes(c))) {
        fail(`The description's ${what} cannot go into a link: ${JSON.stringify(value)}`);
      }
      this.byte(value.length | (isHex ? 128 : 0));
      let acc = 0, held = 0;
      for (const c of value) {
        acc = (acc << bits) | alphabet.indexOf(c);
        held += bits;
        if (held >= 8) this.byte(acc >> (held -= 8));
      }
      if (held) this.byte(acc << (8 - held));
    }
  }

  // The attributes of a data-channel description that the link carries.
  function read(description) {
    if (!description || typeof description.sdp !== 'string') fail('No description to pack');
    if (description.type !== 'offer' && description.type !== 'answer') {
      fail(`Only an offer or an answer goes into a link, not ${JSON.stringify(description.type)}`);
    }
    const found = {candidates: [], data: false};
    for (const line of description.sdp.split(/\r?\n/)) {
      if (/^m=application \d+ UDP\/DTLS\/SCTP webrtc-datachannel/.test(line)) found.data = true;
      const colon = line.indexOf(':');
      if (!line.startsWith('a=') || colon < 0) continue;
      const name = line.slice(2, colon), value = line.slice(colon + 1).trim();
      if (name === 'candidate') found.candidates.push(value);
      else if (name === 'fingerprint') {
        const [hash, digits] = value.split(' ');
        if (hash.toLowerCase() === 'sha-256' && !found.fingerprint) found.fingerprint = digits;
      } else if (!(name in found)) found[name] = value;
    }
    if (!found.data) fail('The description has no data channel');
    return found;
  }

  function candidate(value) {
    const f = value.split(/\s+/);
    if (f.length < 8 || f[1] !== '1' || f[2].toLowerCase() !== 'udp' || f[6] !== 'typ') return null;
    const type = TYPES.indexOf(f[7]), port = Number(f[5]);
    if (type < 0 || !/^\d+$/.test(f[5]) || port > 65535) return null;
    const priority = Number(f[3]) || 0, address = f[4];
    let kind, bytes;
    if ((bytes = parseIPv4(address))) kind = 0;
    else if ((bytes = parseIPv6(address))) kind = 1;
    else if (UUID_LOCAL.test(address)) {
      kind = 2;
      bytes = address.slice(0, 36).replace(/-/g, '').match(/../g).map((h) => parseInt(h, 16));
    } else if (NAME.test(address)) {
      kind = 3;
      bytes = [address.length, ...[...address].map((c) => c.charCodeAt(0))];
    } else return null;
    return {priority, head: type | (kind << 2), bytes, port};
  }

  function pack(description) {
    const found = read(description);
    const setup = SETUPS.indexOf(found.setup);
    if (setup < 0) fail(`The description's setup role is not one a link carries: ${found.setup}`);
    const fingerprint = (found.fingerprint || '').split(':');
    if (fingerprint.length !== 32 || !fingerprint.every((b) => /^[0-9A-Fa-f]{2}$/.test(b))) {
      fail('The description has no SHA-256 fingerprint');
    }
    const w = new Writer();
    w.byte(VERSION);
    w.byte((description.type === 'answer' ? 1 : 0) | (setup << 1));
    fingerprint.forEach((b) => w.byte(parseInt(b, 16)));
    w.text(found['ice-ufrag'] || '', 'ICE ufrag');
    w.text(found['ice-pwd'] || '', 'ICE password');
    w.text(found.mid || '', 'mid');
    // Best first, so that the priorities made up again keep their order.
    const kept = found.candidates.map(candidate).filter(Boolean)
      .sort((a, b) => b.priority - a.priority).slice(0, MAX_CANDIDATES);
    w.byte(kept.length);
    for (const c of kept) {
      w.byte(c.head);
      c.bytes.forEach((b) => w.byte(b));
      w.byte(c.port >> 8);
      w.byte(c.port);
    }
    const crc = crc16(w.bytes, w.bytes.length);
    w.byte(crc >> 8);
    w.byte(crc);
    return base64url(w.bytes);
  }

  function base64url(bytes) {
    let out = '';
    for (let i = 0; i < bytes.length; i += 3) {
      const n = (bytes[i] << 16) | ((bytes[i + 1] || 0) << 8) | (bytes[i + 2] || 0);
      const chars = Math.ceil((Math.min(3, bytes.length - i) * 8) / 6);
      for (let k = 0; k < chars; k++) out += B64[(n >> (18 - 6 * k)) & 63];
    }
    return out;
  }

  // ---- Unpacking ----

  function fromBase64url(text) {
    if (text.length % 4 === 1) fail('The link is cut short');
    const bytes = [];
    let acc = 0, held = 0;
    for (const c of text) {
      const v = B64.indexOf(c);
      if (v < 0) fail(`The link has a character no link of ours has: ${JSON.stringify(c)}`);
      acc = ((acc << 6) | v) & 0xfff;
      held += 6;
      if (held >= 8) bytes.push((acc >> (held -= 8)) & 255);
    }
    if (acc & ((1 << held) - 1)) fail('The link is damaged: its last character is wrong');
    return bytes;
  }

  class Reader {
    constructor(bytes, end) {
      this.bytes = bytes;
      this.at = 0;
      this.end = end;
    }
    take(n) {
      if (this.at + n > this.end) fail('The link is cut short');
      this.at += n;
      return this.bytes.slice(this.at - n, this.at);
    }
    byte() {
      return this.take(1)[0];
    }
    text() {
      const head = this.byte(), length = head & 127, isHex = head >= 128;
      const alphabet = isHex ? HEX : ICE_CHARS, bits = isHex ? 4 : 6;
      if (!length) fail('The link is damaged: an empty ICE field');
      let acc = 0, held = 0, out = '';
      for (const b of this.take(Math.ceil((length * bits) / 8))) {
        acc = ((acc << 8) | b) & 0xffff;
        held += 8;
        while (held >= bits && out.length < length) {
          out += alphabet[(acc >> (held -= bits)) & ((1 << bits) - 1)];
        }
      }
      return out;
    }
  }

  function unpack(text) {
    if (typeof text !== 'string') fail('A link is text');
    text = text.trim();
    if (text.length > MAX_TEXT) fail('The link is too long to be one of ours');
    if (!text) fail('The link is empty');
    const bytes = fromBase64url(text);
    if (bytes[0] > VERSION && bytes[0] < 16) fail('The link was made by a newer Brelvo');
    if (bytes[0] !== VERSION) fail('This is not a Brelvo link');
    if (bytes.length < 3) fail('The link is cut short');
    const end = bytes.length - 2;
    if (crc16(bytes, end) !== ((bytes[end] << 8) | bytes[end + 1])) {
      fail('The link is damaged: some of it is missing or mistyped');
    }
    const r = new Reader(bytes, end);
    r.byte();
    const flags = r.byte();
    if (flags > 5) fail('The link is damaged: unknown flags');
    const type = flags & 1 ? 'answer' : 'offer', setup = SETUPS[flags >> 1];
    const fingerprint = r.take(32).map((b) => (b < 16 ? '0' : '') + b.toString(16).toUpperCase());
    const ufrag = r.text(), pwd = r.text(), mid = r.text();
    if (ufrag.length < 4 || pwd.length < 22) fail('The link is damaged: ICE fields too short');
    const count = r.byte();
    if (count > MAX_CANDIDATES) fail('The link is damaged: too many candidates');
    const candidates = [];
    for (let i = 0; i < count; i++) {
      const head = r.byte(), type = head & 3, kind = head >> 2;
      if (type > 2 || kind > 3) fail('The link is damaged: an unknown kind of candidate');
      let address;
      if (kind === 0) address = r.take(4).join('.');
      else if (kind === 1) address = formatIPv6(r.take(16));
      else if (kind === 2) address = hex(r.take(16)).replace(UUID, '$1-$2-$3-$4-') + '.local';
      else address = String.fromCharCode(...r.take(r.byte()));
      if (kind === 3 && !NAME.test(address)) fail('The link is damaged: a host name is unreadable');
      const port = (r.byte() << 8) | r.byte();
      // RFC 8445's priority: the type's preference, then the link's order within it.
      const priority = TYPE_PREFERENCE[type] * 16777216 + (65535 - i) * 256 + 255;
      candidates.push(`a=candidate:${i + 1} 1 udp ${priority} ${address} ${port} ` +
                      `typ ${TYPES[type]}` + (type ? ' raddr 0.0.0.0 rport 0' : ''));
    }
    if (r.at !== end) fail('The link is damaged: bytes left over');
    const session = parseInt(fingerprint.slice(0, 6).join(''), 16);
    // Both browsers take SCTP on port 5000 and messages of 256 KiB.
    const sdp = ['v=0', `o=- ${session} 2 IN IP4 127.0.0.1`, 's=-', 't=0 0',
      `a=group:BUNDLE ${mid}`, 'm=application 9 UDP/DTLS/SCTP webrtc-datachannel',
      'c=IN IP4 0.0.0.0',
      `a=ice-ufrag:${ufrag}`, `a=ice-pwd:${pwd}`, `a=fingerprint:sha-256 ${fingerprint.join(':')}`,
      `a=setup:${setup}`, `a=mid:${mid}`, 'a=sctp-port:5000', 'a=max-message-size:262144',
      ...candidates, 'a=end-of-candidates', ''];
    return {type, sdp: sdp.join('\r\n')};
  }

  // A reply link, or its fragment, as the page whose offer it answers takes it: {answer,
  // tag}, the tag naming that offer; null for anything else.
  function replyOf(text) {
    const [packed, tag] = String(text).trim().split('#').pop().split('.');
    let answer = null;
    try {
      answer = unpack(packed);
    } catch (error) {
      answer = null;
    }
    return answer && answer.type === 'answer' ? {answer, tag} : null;
  }

  // base64url is the rendezvous's too (its secrets), which loads after this script.
  return {pack, unpack, replyOf, base64url, fromBase64url};
});
