// The rendezvous (web/rendezvous.js) in node: its MQTT packets, the sealing of its
// messages, and two rooms meeting through brokers of the test's own (one that refuses,
// one that works, one that delivers everything twice):
//   node tests/web/rendezvous_test.js
'use strict';
const assert = require('assert'), path = require('path');
const {machine} = {machine: require(path.join(__dirname, '../../web/machine.js'))};
const r = require(path.join(__dirname, '../../web/rendezvous.js'));
const settle = (ms) => new Promise((done) => setTimeout(done, ms || 0));

async function packets() {
  const {mqtt} = r;
  // CONNECT as MQTT 3.1.1 has it: protocol name, level 4, clean session, keep-alive 60.
  assert.deepStrictEqual([...mqtt.connect('ab')],
    [0x10, 14, 0, 4, 77, 81, 84, 84, 4, 2, 0, 60, 0, 2, 97, 98]);
  assert.deepStrictEqual([...mqtt.subscribe(1, 't/x')], [0x82, 8, 0, 1, 0, 3, 116, 47, 120, 0]);
  assert.deepStrictEqual([...mqtt.ping()], [0xc0, 0]);
  // A long PUBLISH: a two-byte length, read back whole from pieces of any size, with a
  // PINGRESP glued to it.
  const payload = new Uint8Array(300).map((_, i) => i & 255);
  const sent = mqtt.publish('brelvo/t', payload);
  assert.deepStrictEqual([...sent.subarray(0, 3)], [0x30, (300 + 10) & 127 | 128, 2]);
  const stream = new Uint8Array([...sent, 0xd0, 0]);
  for (const piece of [1, 2, 7, stream.length]) {
    const read = mqtt.reader(1000), got = [];
    for (let at = 0; at < stream.length; at += piece) got.push(...read(stream.subarray(at, at + piece)));
    assert.deepStrictEqual(got.map((p) => p.type), [3, 13], 'pieces of ' + piece);
    const published = mqtt.published(got[0]);
    assert.strictEqual(published.topic, 'brelvo/t');
    assert.deepStrictEqual(published.payload, payload);
  }
  // At QoS 1 a packet id comes before the payload.
  const qos1 = {type: 3, flags: 2, body: new Uint8Array([0, 1, 116, 0, 9, 42])};
  assert.deepStrictEqual([...mqtt.published(qos1).payload], [42]);
  // Too long, a malformed length, a topic beyond the packet: refused.
  assert.throws(() => mqtt.reader(100)(sent), /too long/);
  assert.throws(() => mqtt.reader(1e9)(new Uint8Array([0x30, 255, 255, 255, 255, 1])), /malformed/);
  assert.strictEqual(mqtt.published({type: 3, flags: 0, body: new Uint8Array([0, 9, 1])}), null);
}

async function sealing() {
  const secret = r.newSecret();
  assert.ok(r.isSecret(secret) && secret.length === 22, secret);
  assert.ok(!r.isSecret(secret.slice(1)) && !r.isSecret(secret.slice(0, 21) + 'B'));
  assert.notStrictEqual(r.newSecret(), secret);
  const keyed = await r.keys(secret), again = await r.keys(secret);
  assert.strictEqual(keyed.topic, again.topic);
  assert.match(keyed.topic, /^brelvo\/[0-9a-f]{32}$/);
  assert.ok(!keyed.topic.includes(secret));
  const other = await r.keys(r.newSecret());
  assert.notStrictEqual(other.topic, keyed.topic);

  const reply = 'AQ' + 'x'.repeat(150) + '.tagg';
  const {bytes} = await r.seal(keyed, {from: 'guest', k: 'answer', reply: reply});
  // What a broker sees: neither the secret nor the reply nor a word of the message.
  const seenThere = Buffer.from(bytes).toString('latin1');
  for (const word of [secret, reply.slice(0, 20), 'answer', 'guest', 'reply']) {
    assert.ok(!seenThere.includes(word), word);
  }
  const seen = new Set();
  const opened = await r.open(keyed, bytes, seen);
  assert.strictEqual(opened.reply, reply);
  assert.strictEqual(opened.from, 'guest');
  // The same bytes again (a second broker, a replay): dropped.
  assert.strictEqual(await r.open(keyed, bytes, seen), null);
  // Any byte changed, the wrong invite's key, cut short: dropped, and its id not taken.
  for (const at of [0, 5, 20, bytes.length - 1]) {
    const tampered = bytes.slice();
    tampered[at] ^= 1;
    assert.strictEqual(await r.open(keyed, tampered, new Set()), null, 'byte ' + at);
  }
  assert.strictEqual(await r.open(other, bytes, new Set()), null);
  assert.strictEqual(await r.open(keyed, bytes.subarray(0, 40), new Set()), null);
  // Sealed for another topic with the same key: its topic is part of what is checked.
  const moved = await r.seal({topic: other.topic, key: keyed.key}, {from: 'guest', k: 'answer'});
  assert.strictEqual(await r.open(keyed, moved.bytes, new Set()), null);
  // Old, or from far ahead of this clock: dropped; just within, taken.
  const now = Date.now(), most = r.OLDEST_MS;
  for (const [t, taken] of [[now - most - 1000, false], [now + most + 1000, false],
    [now - most + 1000, true]]) {
    const sealed = await r.seal(keyed, {from: 'guest', k: 'answer'}, t);
    assert.strictEqual(!!(await r.open(keyed, sealed.bytes, new Set(), now)), taken, t - now);
  }
}

async function files() {
  const served = (body, ok) => async () => ({ok: ok !== false, json: async () => JSON.parse(body)});
  assert.deepStrictEqual(await r.brokers(served('["wss://a.example:8084/mqtt", "ws://10.0.0.2:9001",' +
    ' "https://b.example/", "javascript:1", 5, null, "wss://a.example:8084/mqtt", "ws ://x"]')),
  ['wss://a.example:8084/mqtt', 'ws://10.0.0.2:9001']);
  assert.deepStrictEqual(await r.brokers(served('{"urls": "wss://a.example"}')), []);
  assert.deepStrictEqual(await r.brokers(served('[wss://')), []);
  assert.deepStrictEqual(await r.brokers(served('["wss://a"]', false)), []);
  assert.deepStrictEqual(await r.brokers(() => Promise.reject(new Error('offline'))), []);
}

// Brokers of the test's own, behind a WebSocket as the page's: each keeps its subscribers
// and hands every PUBLISH on to all of them (its sender too, as a broker does).
function brokerNet() {
  const brokers = {};
  class Socket {
    constructor(address, protocol) {
      assert.strictEqual(protocol, 'mqtt');
      this.broker = brokers[address];
      this.read = r.mqtt.reader(1 << 20);
      setTimeout(() => (this.broker && this.broker.up ? this.onopen && this.onopen() : this.close()), 1);
    }
    send(bytes) {
      for (const p of this.read(bytes)) {
        const answer = (packet) => setTimeout(() => this.onmessage &&
          this.onmessage({data: Uint8Array.from(packet).buffer}), 1);
        if (p.type === 1) answer([0x20, 2, 0, 0]);
        else if (p.type === 8) {
          this.topic = r.mqtt.published({type: 3, flags: 0, body: p.body.subarray(2)}).topic;
          this.broker.subscribers.add(this);
          answer([0x90, 3, 0, 1, 0]);
        } else if (p.type === 3) {
          this.broker.published.push(p);
          for (const s of this.broker.subscribers) {
            for (let n = 0; n < this.broker.copies; n++) {
              setTimeout(() => s.onmessage && s.onmessage({data: r.mqtt.publish(
                r.mqtt.published(p).topic, r.mqtt.published(p).payload).buffer}), 1);
            }
          }
        } else if (p.type === 14) this.close();
      }
    }
    close() {
      if (this.closed) return;
      this.closed = true;
      if (this.broker) this.broker.subscribers.delete(this);
      setTimeout(() => this.onclose && this.onclose(), 1);
    }
  }
  const add = (address, up, copies) => {
    brokers[address] = {up: up, copies: copies || 1, subscribers: new Set(), published: []};
    return brokers[address];
  };
  return {Socket, add};
}

async function rooms() {
  const net = brokerNet();
  net.add('ws://dead:1', false);
  const twice = net.add('ws://twice:1', true, 2);
  const plain = net.add('ws://plain:1', true);
  const list = ['ws://dead:1', 'ws://twice:1', 'ws://plain:1'];
  const secret = r.newSecret();
  const hostScope = machine.scope(), guestScope = machine.scope();
  const heard = [];
  let dropped = 0;
  const host = await r.room(secret, 'host', hostScope, {message: (m) => heard.push(m),
    dropped: () => dropped++}, {WebSocket: net.Socket, brokers: list});
  const guest = await r.room(secret, 'guest', guestScope, {message: () => assert.fail('own')},
    {WebSocket: net.Socket, brokers: list, repeatMs: 30, repeats: 2});
  // Published before any broker is up: sent as each one comes.
  await guest.send('answer', {reply: 'the reply'});
  await settle(150);
  // Two brokers, one twice, and two repeats: one message heard, the copies dropped.
  assert.deepStrictEqual(heard.map((m) => [m.k, m.reply, m.from]), [['answer', 'the reply', 'guest']]);
  assert.strictEqual(host.live, 2);
  assert.strictEqual(dropped, 3 * 2 + 3 - 1, 'copies');
  assert.ok(plain.published.length === 3 && twice.published.length === 3);
  // Someone on the topic without the secret: what it publishes is dropped, nothing heard.
  const sly = new net.Socket('ws://plain:1', 'mqtt');
  await settle(5);
  sly.send(r.mqtt.publish(host.topic, plain.published[0].body.subarray(2 + host.topic.length + 2)
    .map((b, i) => (i === 30 ? b ^ 4 : b))));
  await settle(20);
  assert.strictEqual(heard.length, 1);
  assert.strictEqual(dropped, 3 * 2 + 3);
  // Scopes ended: the brokers lose their subscribers, a late delivery changes nothing.
  hostScope.end();
  guestScope.end();
  await settle(20);
  assert.strictEqual(plain.subscribers.size, 0);
  assert.strictEqual(twice.subscribers.size, 0);
}

(async () => {
  for (const test of [packets, sealing, files, rooms]) {
    await test();
    console.log('ok', test.name);
  }
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
