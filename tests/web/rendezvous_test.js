// The rendezvous (web/rendezvous.js) in node: its MQTT packets, the sealing of its
// messages and its list of brokers (the brokers themselves: remote_test.py):
//   node --test tests/web/ or node tests/web/rendezvous_test.js
'use strict';
const {describe, it} = require('node:test');
const assert = require('node:assert/strict'), path = require('path');
// The browser's crypto, global from node 19 on; node 18 has it only as a module's.
if (!globalThis.crypto) globalThis.crypto = require('node:crypto').webcrypto;
const r = require(path.join(__dirname, '../../web/rendezvous.js'));

describe('the rendezvous', () => {
  it('speaks the few MQTT packets it needs, read back from a stream in pieces', () => {
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
      for (let at = 0; at < stream.length; at += piece) {
        got.push(...read(stream.subarray(at, at + piece)));
      }
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
  });

  it('seals each message: a broker learns nothing, a copy, a forgery or an old one is dropped',
     async () => {
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
  });

  it('takes only the WebSocket brokers rendezvous.json lists, and none when it is amiss', async () => {
    const served = (body, ok) => async () => ({ok: ok !== false, json: async () => JSON.parse(body)});
    // A host the page's policy could not name alone is no broker: one that would end the
    // policy's directive, an IPv6 address.
    assert.deepStrictEqual(await r.brokers(served('["wss://a.example:8084/mqtt", "ws://10.0.0.2:9001",' +
      ' "https://b.example/", "javascript:1", 5, null, "wss://a.example:8084/mqtt", "ws ://x",' +
      ' "ws://c.example;script-src/", "ws://[::1]:9001"]')),
    ['wss://a.example:8084/mqtt', 'ws://10.0.0.2:9001']);
    assert.deepStrictEqual(await r.brokers(served('{"urls": "wss://a.example"}')), []);
    assert.deepStrictEqual(await r.brokers(served('[wss://')), []);
    assert.deepStrictEqual(await r.brokers(served('["wss://a"]', false)), []);
    assert.deepStrictEqual(await r.brokers(() => Promise.reject(new Error('offline'))), []);
  });
});
