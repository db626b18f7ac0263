// The rendezvous: how the guest's reply reaches the host's page by itself. Both pages meet
// on the brokers listed in rendezvous.json beside the page (MQTT 3.1.1 over WebSocket, the
// few packets needed: CONNECT, SUBSCRIBE at QoS 0, PUBLISH, PINGREQ, DISCONNECT), on a
// topic named after the invite's secret. The secret stays in the invite link's fragment;
// the topic is a one-way hash of it and every message is sealed (AES-GCM) with a key
// derived from it, so a broker, or anyone else on the topic, learns nothing and can forge
// nothing. A message carries its own id and time: a copy (a second broker, a replay) or an
// old one is dropped.
//
// Each broker is used at once; whichever delivers first wins. A broker that fails is
// tried again a little later while the room lasts.
'use strict';
// The secret is base64url as the links are: link.js's, loaded before this script.
(function (root, make) {
  if (typeof module === 'object' && module.exports) module.exports = make(require('./link.js'));
  else root.brelvoRendezvous = make(root.brelvoLink);
})(typeof window === 'object' ? window : globalThis, function ({base64url, fromBase64url}) {
  const SEALED = 1;             // the first byte of a sealed message: its kind of sealing
  const MOST_BYTES = 16384;     // no message of ours comes near; a packet beyond ends the link
  const MOST_BROKERS = 8;
  const OLDEST_MS = 10 * 60000; // a message older (or this far ahead of our clock) is dropped
  const KEEP_ALIVE_S = 60;
  const PING_MS = 25000;
  const RETRY_MS = [1000, 3000, 10000, 30000];
  const encoder = new TextEncoder(), decoder = new TextDecoder('utf-8', {fatal: true});
  const subtle = () => globalThis.crypto.subtle;

  // ---- MQTT packets ----

  function mqttString(text) {
    const bytes = encoder.encode(text);
    return [bytes.length >> 8, bytes.length & 255, ...bytes];
  }

  function packet(head, body) {
    const out = [head];
    let n = body.length;
    do {
      out.push((n & 127) | (n > 127 ? 128 : 0));
      n >>= 7;
    } while (n > 0);
    const bytes = new Uint8Array(out.length + body.length);
    bytes.set(out);
    bytes.set(body, out.length);
    return bytes;
  }

  const mqtt = {
    // A clean session: the broker keeps nothing of ours once we go.
    connect: (clientId) => packet(0x10, [...mqttString('MQTT'), 4, 0x02,
      KEEP_ALIVE_S >> 8, KEEP_ALIVE_S & 255, ...mqttString(clientId)]),
    subscribe: (id, topic) => packet(0x82, [id >> 8, id & 255, ...mqttString(topic), 0]),
    publish: (topic, payload) => packet(0x30, [...mqttString(topic), ...payload]),
    ping: () => packet(0xc0, []),
    disconnect: () => packet(0xe0, []),
    // The packets in a stream of bytes, as they come whole: {type, flags, body}. A length
    // that is malformed or beyond `most` throws.
    reader(most) {
      let held = new Uint8Array(0);
      return (chunk) => {
        const joined = new Uint8Array(held.length + chunk.length);
        joined.set(held);
        joined.set(chunk, held.length);
        held = joined;
        const packets = [];
        for (;;) {
          let length = 0, at = 1, whole = false;
          for (let shift = 0; at < held.length && at < 5; at++, shift += 7) {
            length += (held[at] & 127) * 2 ** shift;
            if (!(held[at] & 128)) {
              whole = true;
              break;
            }
          }
          if (!whole) {
            if (at >= 5) throw new Error('A packet\'s length is malformed');
            break;
          }
          if (length > most) throw new Error('A packet too long: ' + length + ' bytes');
          const start = at + 1;
          if (held.length < start + length) break;
          packets.push({type: held[0] >> 4, flags: held[0] & 15,
                        body: held.slice(start, start + length)});
          held = held.slice(start + length);
        }
        return packets;
      };
    },
    // A PUBLISH packet's topic and payload, or null.
    published(p) {
      if (p.type !== 3 || p.body.length < 2) return null;
      const length = (p.body[0] << 8) | p.body[1];
      let at = 2 + length;
      if (at > p.body.length) return null;
      let topic;
      try {
        topic = decoder.decode(p.body.subarray(2, at));
      } catch (error) {
        return null;
      }
      if ((p.flags >> 1) & 3) at += 2;  // a packet id, at QoS 1 or 2
      return at > p.body.length ? null : {topic: topic, payload: p.body.subarray(at)};
    },
  };

  // ---- The secret, its topic and its key ----

  const hex = (bytes) => Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('');

  // 128 random bits, 22 characters for the invite's fragment.
  const newSecret = () => base64url(globalThis.crypto.getRandomValues(new Uint8Array(16)));
  const isSecret = (text) => typeof text === 'string' && /^[A-Za-z0-9_-]{22}$/.test(text) &&
    /[AQgw]$/.test(text);  // 128 bits end on a character whose low 4 bits are zero

  // The topic and the key of a secret: neither gives the secret back, nor the other.
  async function keys(secret) {
    if (!isSecret(secret)) throw new Error('Not a secret of ours');
    const bytes = new Uint8Array(fromBase64url(secret));
    const named = new Uint8Array([...encoder.encode('brelvo topic '), ...bytes]);
    const digest = new Uint8Array(await subtle().digest('SHA-256', named));
    const topic = 'brelvo/' + hex(digest).slice(0, 32);
    const base = await subtle().importKey('raw', bytes, 'HKDF', false, ['deriveKey']);
    const key = await subtle().deriveKey(
      {name: 'HKDF', hash: 'SHA-256', salt: encoder.encode('brelvo rendezvous'),
       info: encoder.encode('brelvo message key')},
      base, {name: 'AES-GCM', length: 256}, false, ['encrypt', 'decrypt']);
    return {topic: topic, key: key};
  }

  // A message {from, k, ...} sealed for the topic: the sealing's byte, a fresh IV, then
  // the text encrypted and authenticated with the topic itself.
  async function seal(keyed, message, now) {
    const full = Object.assign({}, message, {
      id: hex(globalThis.crypto.getRandomValues(new Uint8Array(8))),
      t: now === undefined ? Date.now() : now,
    });
    const iv = globalThis.crypto.getRandomValues(new Uint8Array(12));
    const sealed = new Uint8Array(await subtle().encrypt(
      {name: 'AES-GCM', iv: iv, additionalData: encoder.encode(keyed.topic)},
      keyed.key, encoder.encode(JSON.stringify(full))));
    const out = new Uint8Array(13 + sealed.length);
    out[0] = SEALED;
    out.set(iv, 1);
    out.set(sealed, 13);
    return {id: full.id, bytes: out};
  }

  // The message in `bytes`, or null: not sealed with this key for this topic (forged,
  // tampered, another invite's), unreadable, old, or one whose id `seen` holds already.
  async function open(keyed, bytes, seen, now) {
    if (!(bytes instanceof Uint8Array) || bytes.length < 13 + 16 || bytes[0] !== SEALED ||
        bytes.length > MOST_BYTES) {
      return null;
    }
    let message;
    try {
      const plain = await subtle().decrypt(
        {name: 'AES-GCM', iv: bytes.subarray(1, 13), additionalData: encoder.encode(keyed.topic)},
        keyed.key, bytes.subarray(13));
      message = JSON.parse(decoder.decode(plain));
    } catch (error) {
      return null;
    }
    if (!message || typeof message !== 'object' || typeof message.id !== 'string' ||
        typeof message.t !== 'number' || typeof message.k !== 'string') {
      return null;
    }
    const age = (now === undefined ? Date.now() : now) - message.t;
    if (!(Math.abs(age) <= OLDEST_MS) || seen.has(message.id)) return null;
    seen.add(message.id);
    return message;
  }

  // ---- The brokers ----

  // The origin of a broker's address as the page's policy names it: scheme, host and
  // port. Only a host by name or IPv4 address can be named there, and nothing else may
  // slip into the policy's text.
  function originOf(address) {
    const url = new URL(address);
    if (!/^wss?:$/.test(url.protocol) || !/^[a-z0-9.-]+$/.test(url.hostname)) return null;
    return url.protocol + '//' + url.host;
  }

  // The page's policy lets a WebSocket go anywhere, so that rendezvous.json can change
  // without index.html. Once a list is read the page narrows it, for as long as it stays
  // open, to these brokers: a policy added to the head holds beside the first, so nothing
  // on the page can connect elsewhere. Being added it can only narrow: a list read later
  // is kept to the first list's brokers (one added to the file serves pages opened after).
  let narrowed = null;  // the origins the page may still connect to
  function narrow(addresses) {
    if (typeof document !== 'object') return addresses;
    if (!narrowed) {
      narrowed = new Set(addresses.map(originOf));
      const policy = document.createElement('meta');
      policy.httpEquiv = 'Content-Security-Policy';
      policy.content = ["connect-src 'self'", ...narrowed].join(' ');
      document.head.append(policy);
    }
    return addresses.filter((address) => narrowed.has(originOf(address)));
  }

  // rendezvous.json beside the page, read afresh: the ws:// and wss:// addresses it lists.
  // Absent, damaged or offline: none.
  async function brokers(fetcher) {
    try {
      const response = await (fetcher || fetch)('rendezvous.json', {cache: 'no-store'});
      const list = response.ok ? await response.json() : null;
      if (!Array.isArray(list)) return [];
      return narrow([...new Set(list.filter((address) => {
        try {
          return typeof address === 'string' && originOf(address) !== null;
        } catch (error) {
          return false;
        }
      }))].slice(0, MOST_BROKERS));
    } catch (error) {
      return [];
    }
  }

  // One broker: connected, subscribed to the topic, its deliveries to `heard`; tried again
  // after a failure, while the scope lives. ready() once it takes what we publish.
  function link(address, topic, scope, heard, ready, Socket) {
    let socket = null, live = false, tries = 0, ping = null;
    const clientId = 'brelvo-' + hex(globalThis.crypto.getRandomValues(new Uint8Array(6)));

    function start() {
      if (!scope.alive) return;
      let ws;
      try {
        ws = new Socket(address, 'mqtt');
      } catch (error) {
        return;  // an address no browser opens: never
      }
      socket = ws;
      ws.binaryType = 'arraybuffer';
      const read = mqtt.reader(MOST_BYTES + 1024);
      ws.onopen = () => ws.send(mqtt.connect(clientId));
      ws.onmessage = (event) => {
        if (!(event.data instanceof ArrayBuffer)) return;
        let packets;
        try {
          packets = read(new Uint8Array(event.data));
        } catch (error) {
          ws.close();
          return;
        }
        for (const p of packets) {
          if (p.type === 2) {  // CONNACK: 0 accepted
            if (p.body.length !== 2 || p.body[1] !== 0) {
              ws.close();
              return;
            }
            ws.send(mqtt.subscribe(1, topic));
          } else if (p.type === 9) {  // SUBACK: 0x80 refused
            if (p.body[2] === 0x80) {
              ws.close();
              return;
            }
            live = true;
            tries = 0;
            ping = setInterval(() => ws.send(mqtt.ping()), PING_MS);
            ready(send);
          } else if (live) {
            const got = mqtt.published(p);
            if (got && got.topic === topic) heard(got.payload);
          }
        }
      };
      ws.onclose = () => {
        clearInterval(ping);
        live = false;
        if (socket === ws) socket = null;
        scope.timeout(start, RETRY_MS[Math.min(tries++, RETRY_MS.length - 1)]);
      };
      ws.onerror = () => {};
    }

    function send(bytes) {
      if (live && socket) socket.send(mqtt.publish(topic, bytes));
    }

    scope.onEnd(() => {
      clearInterval(ping);
      const ws = socket;
      socket = null;
      if (!ws) return;
      ws.onclose = null;
      try {
        if (live) ws.send(mqtt.disconnect());
        ws.close();
      } catch (error) {
        // closing already
      }
    });
    start();
    return {get live() { return live; }, send: send};
  }

  // The rooms this page is in, by secret.
  const rooms = new Map();

  // A room's own scope inside `outer`: it ends with it, or as the room is left.
  function inside(outer) {
    const ends = [];
    let left = false;
    const own = {
      get alive() { return !left && outer.alive; },
      timeout: (action, ms) => outer.timeout(() => own.alive && action(), ms),
      onEnd: (action) => (own.alive ? ends.push(action) : action()),
      end() {
        if (left) return;
        left = true;
        ends.splice(0).forEach((action) => action());
      },
    };
    outer.onEnd(own.end);
    return own;
  }

  // The room of `secret` left before its scope ends: an invite's once the pages are
  // connected, their own room mending their link from then on.
  function leave(secret) {
    if (rooms.has(secret)) rooms.get(secret).end();
  }

  // The room of an invite, for `role` ('host' or 'guest'), in `outer` (machine.js's
  // scope), until it ends or the room is left: messages of the other role to
  // handlers.message(message); handlers.dropped() for each message dropped. send(kind,
  // fields) publishes on every broker, now and on each broker that comes (back) later, and
  // again every `repeatMs` while the room lasts: a broker that missed it gets it, the other
  // page takes it once.
  async function room(secret, role, outer, handlers, options) {
    options = options || {};
    const scope = inside(outer);
    rooms.set(secret, scope);
    scope.onEnd(() => rooms.get(secret) === scope && rooms.delete(secret));
    const Socket = options.WebSocket || globalThis.WebSocket;
    const keyed = await keys(secret);
    const addresses = options.brokers || await brokers();
    const seen = new Set();
    const sent = [];
    const links = [];
    let live = 0;

    async function heard(payload) {
      const message = await open(keyed, payload, seen);
      if (!scope.alive) return;
      if (message && message.from !== role) handlers.message(message);
      else if (!message && handlers.dropped) handlers.dropped();
    }
    function ready(send) {
      live++;
      sent.forEach(send);
      if (handlers.live) handlers.live(live);
    }
    if (scope.alive) {
      for (const address of addresses) {
        links.push(link(address, keyed.topic, scope, heard, ready, Socket));
      }
    }
    const outcome = {
      brokers: addresses.length,
      get live() { return links.filter((l) => l.live).length; },
      topic: keyed.topic,
      async send(kind, fields) {
        const sealed = await seal(keyed, Object.assign({}, fields, {from: role, k: kind}));
        seen.add(sealed.id);  // its echo from the broker is ours
        sent.push(sealed.bytes);
        links.forEach((l) => l.send(sealed.bytes));
        if (options.repeatMs) {
          let left = options.repeats || 5;
          const again = () => {
            links.forEach((l) => l.send(sealed.bytes));
            if (--left > 0) scope.timeout(again, options.repeatMs);
          };
          scope.timeout(again, options.repeatMs);
        }
      },
    };
    return outcome;
  }

  return {newSecret, isSecret, keys, seal, open, brokers, room, leave, mqtt, OLDEST_MS};
});
