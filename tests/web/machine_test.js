// The page's state machine (web/machine.js) and the protocol of remote play
// (web/protocol.js), in node, with the page's effects stubbed and a clock of the test's:
//   node --test tests/web/ or node tests/web/machine_test.js
'use strict';
const {describe, it} = require('node:test');
const assert = require('node:assert/strict'), path = require('path');
const web = path.join(__dirname, '../../web');

// A clock of the test's own: timers run when the test moves time on.
const clock = {now: 0, timers: new Map(), next: 1};
globalThis.setTimeout = (action, ms) => {
  const id = clock.next++;
  clock.timers.set(id, {at: clock.now + ms, action: action});
  return id;
};
globalThis.clearTimeout = (id) => clock.timers.delete(id);
globalThis.setInterval = (action, ms) => {
  const id = clock.next++;
  const again = () => { clock.timers.set(id, {at: clock.now + ms, action: tick}); };
  const tick = () => { again(); action(); };
  again();
  return id;
};
globalThis.clearInterval = globalThis.clearTimeout;
function pass(ms) {
  const until = clock.now + ms;
  for (;;) {
    const due = [...clock.timers].filter(([, t]) => t.at <= until).sort((a, b) => a[1].at - b[1].at)[0];
    if (!due) break;
    clock.timers.delete(due[0]);
    clock.now = due[1].at;
    due[1].action();
  }
  clock.now = until;
}
const settle = () => new Promise((done) => setImmediate(done));

const {create, TABLE, STATES} = require(path.join(web, 'machine.js'));
const protocol = require(path.join(web, 'protocol.js'));

// A machine whose effects record what they were called with; `enter` and `run` add
// effects of a test's own.
function machine(enter = {}, run = {}) {
  const seen = [];
  const record = (kind) => new Proxy({}, {
    get: (_, name) => (context) => {
      seen.push([kind, name, context.data.state, context.data.mode]);
      const own = (kind === 'enter' ? enter : run)[name];
      if (own) own(context);
    },
  });
  const m = create({enter: record('enter'), run: record('run')});
  m.seen = seen;
  return m;
}

// ---- Every transition: from each state in each mode, every event ----

// How a page reaches each state in each mode from its loading.
const PATHS = {
  'loading/': [],
  'gate/': ['ready'],
  'handing/': ['handed'],
  'starting/two': ['ready', ['play', {mode: 'two'}]],
  'running/two': ['ready', ['play', {mode: 'two'}], 'started'],
  'over/two': ['ready', ['play', {mode: 'two'}], 'started', 'over'],
  'failed/two': ['ready', ['play', {mode: 'two'}], 'fail'],
  'starting/alone': ['ready', ['play', {mode: 'alone'}]],
  'running/alone': ['ready', ['play', {mode: 'alone'}], 'started'],
  'over/alone': ['ready', ['play', {mode: 'alone'}], 'started', 'over'],
  'inviting/host': ['ready', 'invite'],
  'failed/host': ['ready', 'invite', 'fail'],
  'connecting/host': ['ready', 'invite', 'reply'],
  'connected/host': ['ready', 'invite', 'reply', 'open'],
  'counting/host': ['ready', 'invite', 'reply', 'open', 'count'],
  'starting/host': ['ready', 'invite', 'reply', 'open', 'count', 'start'],
  'running/host': ['ready', 'invite', 'reply', 'open', 'count', 'start', 'started'],
  'over/host': ['ready', 'invite', 'reply', 'open', 'count', 'start', 'started', 'over'],
  'held/host': ['ready', 'invite', 'reply', 'open', 'count', 'start', 'started', 'quiet'],
  'left/two': ['ready', 'invite', 'reply', 'open', 'gone'],
  'joining/guest': ['invited'],
  'connecting/guest': ['invited', 'join'],
  'failed/guest': ['invited', 'join', 'timeout'],
  'connected/guest': ['invited', 'join', 'open'],
  'counting/guest': ['invited', 'join', 'open', ['count', {n: 3}]],
  'running/guest': ['invited', 'join', 'open', ['count', {n: 3}], 'start'],
  'over/guest': ['invited', 'join', 'open', ['count', {n: 3}], 'start', 'over'],
  'held/guest': ['invited', 'join', 'open', ['count', {n: 3}], 'start', 'quiet'],
  'left/guest': ['invited', 'join', 'open', 'leave'],
};
function reach(where, m = machine()) {
  for (const step of PATHS[where]) {
    const [event, payload] = Array.isArray(step) ? step : [step, {}];
    assert.ok(m.fire(event, payload), `${where}: ${event} refused in ${m.state}/${m.mode}`);
  }
  assert.strictEqual(`${m.state}/${m.mode || ''}`, where);
  return m;
}

// Where each event leads: [from, event, to] (mode unchanged) or [from, event, to, mode].
// Anything not listed changes nothing.
const WAYS = [
  ['loading/', 'ready', 'gate/'], ['loading/', 'invited', 'joining/guest'],
  ['loading/', 'handed', 'handing/'], ['loading/', 'unserved', 'failed/'],
  ['loading/', 'missing', 'failed/'],
  ['gate/', 'play', 'starting/two'], ['gate/', 'invite', 'inviting/host'],
];
for (const mode of ['two', 'alone']) {
  WAYS.push([`starting/${mode}`, 'started', `running/${mode}`],
            [`starting/${mode}`, 'fail', `failed/${mode}`],
            [`running/${mode}`, 'over', `over/${mode}`],
            [`running/${mode}`, 'fail', `failed/${mode}`],
            [`over/${mode}`, 'again', `starting/${mode}`],
            [`over/${mode}`, 'home', 'gate/'],
            [`over/${mode}`, 'fail', `failed/${mode}`]);
}
WAYS.push(
  ['failed/two', 'retry', 'starting/two'], ['failed/two', 'home', 'gate/'],
  // The host: invite, reply, connection, countdown, match, again.
  ['inviting/host', 'reply', 'connecting/host'], ['inviting/host', 'back', 'gate/'],
  ['inviting/host', 'fail', 'failed/host'],
  ['connecting/host', 'open', 'connected/host'], ['connecting/host', 'timeout', 'failed/host'],
  ['connecting/host', 'fail', 'failed/host'], ['connecting/host', 'back', 'gate/'],
  ['connecting/host', 'gone', 'left/two'],
  ['connected/host', 'count', 'counting/host'], ['connected/host', 'gone', 'left/two'],
  ['connected/host', 'fail', 'failed/host'], ['connected/host', 'back', 'gate/'],
  ['counting/host', 'count', 'counting/host'], ['counting/host', 'start', 'starting/host'],
  ['counting/host', 'gone', 'left/two'], ['counting/host', 'fail', 'failed/host'],
  ['counting/host', 'back', 'gate/'],
  ['starting/host', 'started', 'running/host'], ['starting/host', 'fail', 'failed/host'],
  ['starting/host', 'gone', 'starting/two'],
  ['running/host', 'over', 'over/host'], ['running/host', 'fail', 'failed/host'],
  ['running/host', 'gone', 'running/two'], ['running/host', 'quiet', 'held/host'],
  ['held/host', 'heard', 'held/host'], ['held/host', 'quiet', 'held/host'],
  ['held/host', 'start', 'running/host'], ['held/host', 'over', 'over/host'],
  ['held/host', 'fail', 'failed/host'], ['held/host', 'gone', 'running/two'],
  ['over/host', 'again', 'over/host'], ['over/host', 'asked', 'over/host'],
  ['over/host', 'home', 'gate/'],
  ['over/host', 'gone', 'over/two'], ['over/host', 'fail', 'failed/host'],
  ['failed/host', 'retry', 'inviting/host'], ['failed/host', 'home', 'gate/'],
  ['left/two', 'home', 'gate/'], ['left/two', 'again', 'starting/two'],
  // The guest: join, reply, connection, the host's countdown, match; leaving.
  ['joining/guest', 'join', 'connecting/guest'], ['joining/guest', 'home', 'gate/'],
  ['joining/guest', 'fail', 'failed/guest'],
  ['connecting/guest', 'open', 'connected/guest'],
  ['connecting/guest', 'timeout', 'failed/guest'], ['connecting/guest', 'fail', 'failed/guest'],
  ['connecting/guest', 'leave', 'left/guest'], ['connecting/guest', 'gone', 'left/guest'],
  ['connected/guest', 'count', 'counting/guest'], ['connected/guest', 'gone', 'left/guest'],
  ['connected/guest', 'leave', 'left/guest'], ['connected/guest', 'fail', 'failed/guest'],
  ['counting/guest', 'count', 'counting/guest'], ['counting/guest', 'start', 'running/guest'],
  ['counting/guest', 'gone', 'left/guest'], ['counting/guest', 'leave', 'left/guest'],
  ['counting/guest', 'fail', 'failed/guest'],
  ['running/guest', 'over', 'over/guest'], ['running/guest', 'fail', 'failed/guest'],
  ['running/guest', 'gone', 'left/guest'], ['running/guest', 'leave', 'left/guest'],
  ['running/guest', 'quiet', 'held/guest'],
  ['held/guest', 'count', 'held/guest'], ['held/guest', 'start', 'running/guest'],
  ['held/guest', 'over', 'over/guest'], ['held/guest', 'fail', 'failed/guest'],
  ['held/guest', 'gone', 'left/guest'], ['held/guest', 'leave', 'left/guest'],
  ['over/guest', 'again', 'over/guest'], ['over/guest', 'asked', 'over/guest'],
  ['over/guest', 'home', 'gate/'],
  ['over/guest', 'gone', 'left/guest'], ['over/guest', 'leave', 'left/guest'],
  ['over/guest', 'fail', 'failed/guest'],
  ['failed/guest', 'retry', 'joining/guest'], ['failed/guest', 'home', 'gate/'],
  ['left/guest', 'home', 'gate/'],
);
const EVENTS = [...new Set(Object.values(TABLE).flatMap(Object.keys))].sort();
describe('every transition', () => {
it('every state is reached', () => {
  assert.deepStrictEqual(new Set(Object.keys(PATHS).map((w) => w.split('/')[0])), new Set(STATES));
});
for (const where of Object.keys(PATHS)) {
  it(`${where}: each event leads where the table says, or nowhere`, () => {
    for (const event of EVENTS) {
      const m = reach(where);
      const way = WAYS.find(([from, e]) => from === where && e === event);
      const moved = m.fire(event, {mode: 'two'});
      const now = `${m.state}/${m.mode || ''}`;
      assert.strictEqual(now, way ? way[2] : where, `${where} by ${event}`);
      assert.strictEqual(moved, !!way, `${where} by ${event}: moved`);
    }
  });
}
// The opened-from-disk page's failure has no way on: no Try again, no start screen.
it('a page that failed while loading has no way on', () => {
  const m = machine();
  m.keep({served: false});
  m.fire('unserved', {message: 'served'});
  assert.ok(!m.fire('retry') && !m.fire('home') && m.state === 'failed');
  // Nor has a served page whose game's script is missing.
  const broken = machine();
  broken.fire('missing', {message: 'brelvo.js'});
  assert.ok(!broken.fire('retry') && !broken.fire('home') && broken.state === 'failed');
});
});

// ---- Scopes: what a state or a mode owns ends with it ----
describe('scopes', () => {
it('a state\'s timers end with it, the mode\'s with the mode or its connection', () => {
  const fired = [];
  let late = null, session = null;
  const m = machine({
    inviting: ({state, mode}) => {
      state.timeout(() => fired.push('state timer'), 100);
      mode.interval(() => fired.push('mode beat'), 40);
      session = mode;
      late = state;
    },
  });
  reach('inviting/host', m);
  pass(50);
  assert.deepStrictEqual(fired, ['mode beat']);
  m.fire('reply');  // the state ends, the mode goes on
  pass(100);
  assert.deepStrictEqual(fired, ['mode beat', 'mode beat', 'mode beat']);
  assert.ok(!late.alive && session.alive);
  m.fire('timeout');  // a failure ends the connection: the mode's scope, the mode stays
  assert.ok(!session.alive && m.mode === 'host');
  pass(1000);
  assert.strictEqual(fired.length, 3, 'a timer outlived its scope');
});
// An effect's event waits for the step under way; the page sees one state at a time.
it('an effect\'s event waits for the step under way', () => {
  const order = [];
  const m = machine({starting: () => { order.push('starting'); m.fire('started'); order.push('fired'); },
                     running: () => order.push('running')});
  m.fire('ready');
  m.fire('play', {mode: 'two'});
  assert.deepStrictEqual(order, ['starting', 'fired', 'running']);
  assert.strictEqual(m.state, 'running');
});
});

// ---- What players met ----

describe('what players met', () => {
  // The host's page out of view and back after a match with a friend starts nothing: its
  // countdown is refused but where both pages agreed to one ('connected', after Play
  // again).
  it('the host\'s page out of view after a match with a friend counts down only when both asked', () => {
    const m = reach('over/host');
    assert.ok(!m.fire('count') && m.state === 'over');
    m.fire('again');
    assert.ok(!m.fire('count') && m.state === 'over', 'a countdown the guest did not ask for');
    m.fire('asked');
    assert.strictEqual(m.state, 'connected');
    assert.ok(m.fire('count') && m.state === 'counting');
  });
  // Another match with a friend is one both ask for, whoever asks first: each page says
  // what the other did, asks once, and the host's page counts down once both have. The
  // next match's end forgets both.
  for (const first of ['host', 'guest']) it(`another match is one both ask for, the ${first} first`, () => {
    const host = reach('over/host'), guest = reach('over/guest');
    const [asker, other] = first === 'host' ? [host, guest] : [guest, host];
    for (const m of [host, guest]) m.seen.length = 0;
    assert.ok(asker.fire('again') && asker.state === 'over');
    assert.ok(!asker.fire('again'), 'asked twice');
    assert.ok(other.fire('asked') && other.state === 'over');
    assert.deepStrictEqual([asker.seen, other.seen],
                           [[['run', 'ask', 'over', first]],
                            [['run', 'asked', 'over', first === 'host' ? 'guest' : 'host']]]);
    if (first === 'host') assert.ok(!guest.fire('count'), 'the guest counts before it asked');
    other.fire('again');
    if (first === 'host') host.fire('asked');  // the guest's ask reaches the host
    assert.strictEqual(host.state, 'connected');
    assert.deepStrictEqual(guest.asked, {mine: true, friend: first === 'host'});
    assert.ok(host.fire('count') && guest.fire('count', {n: 3}) && guest.state === 'counting');
    for (const m of [host, guest]) m.fire('start');
    for (const m of [host, guest]) m.fire('started');
    for (const m of [host, guest]) m.fire('over');
    assert.deepStrictEqual([host.asked, guest.asked, guest.fire('count')],
                           [{mine: false, friend: false}, {mine: false, friend: false}, false]);
  });
  // A blip: both pages hold the match; heard again, the host counts down for both (a
  // silence in the middle of it stops it) and the same match goes on, with no new game.
  it('a blip: both pages hold the match, the host counts down, the same match goes on', () => {
    const host = reach('running/host'), guest = reach('running/guest');
    for (const m of [host, guest]) {
      m.seen.length = 0;
      assert.ok(m.fire('quiet') && m.state === 'held');
    }
    assert.ok(!guest.fire('heard'), 'the guest waits for the host\'s countdown');
    host.fire('heard');
    host.fire('quiet');
    host.fire('heard');
    guest.fire('count', {n: 3});
    for (const m of [host, guest]) m.fire('start');
    assert.deepStrictEqual([host.seen, guest.seen], [
      [['enter', 'held', 'held', 'host'], ['run', 'resume', 'held', 'host'],
       ['run', 'hold', 'held', 'host'], ['run', 'resume', 'held', 'host'],
       ['enter', 'running', 'running', 'host']],
      [['enter', 'held', 'held', 'guest'], ['run', 'count', 'held', 'guest'],
       ['enter', 'running', 'running', 'guest']]]);
    // Silent for good: the host's match goes on with two players here.
    host.fire('quiet');
    assert.ok(host.fire('gone') && host.state === 'running' && host.mode === 'two');
    assert.ok(!host.fire('quiet'), 'two players here wait for no one');
  });
  // A friend who asked, then left: Play again is for two players here.
  it('a friend who asked, then left: Play again is for two players here', () => {
    const m = reach('over/host');
    m.fire('asked');
    m.fire('gone');
    assert.ok(m.fire('again') && m.state === 'starting' && m.mode === 'two');
  });
  // After a match alone ended by Esc: the start screen, then two players or an invite,
  // with no reload; likewise after "Your friend left." and the guest's "You left" and
  // "The host left.".
  for (const where of ['over/alone', 'left/two', 'left/guest', 'over/guest', 'failed/two']) it(`after ${where}: the start screen, then any match, with no reload`, () => {
    for (const [event, payload, to] of [['play', {mode: 'two'}, 'starting/two'],
                                        ['play', {mode: 'alone'}, 'starting/alone'],
                                        ['invite', {}, 'inviting/host']]) {
      const m = reach(where);
      assert.ok(m.fire('home'), `${where}: no start screen`);
      m.fire(event, payload);
      assert.strictEqual(`${m.state}/${m.mode}`, to, `${where}, then ${to}`);
    }
  });
  // The guest's start screen ends its connection (peer.js tells the host on the way out).
  it('the guest\'s start screen ends its connection', () => {
    let session = null, ended = 0;
    const m = machine({connecting: ({mode}) => { session = mode; mode.onEnd(() => ended++); }});
    reach('over/guest', m);
    assert.ok(session.alive);
    m.fire('home');
    assert.ok(!session.alive && ended === 1 && m.state === 'gate' && m.mode === null);
  });
  // Back while the invite is made: the late ICE servers and offer change nothing.
  it('Back while the invite is made: the late ICE servers and offer change nothing', async () => {
    let servers = null, offered = 0;
    const m = machine({
      inviting: async ({mode}) => {
        await mode.keep(new Promise((resolve) => { servers = resolve; }));
        offered++;
      },
    });
    reach('inviting/host', m);
    m.fire('back');
    servers([]);
    await settle();
    assert.strictEqual(offered, 0, 'the invite went on behind the start screen');
    // A new invite's own servers count.
    m.fire('invite');
    servers([]);
    await settle();
    assert.strictEqual(offered, 1);
  });
  // The guest who leaves while connecting hears no "Could not connect" later, and its
  // Try again after a connection that failed joins again.
  it('the guest who leaves while connecting hears no failure later; Try again joins again', () => {
    const m = machine({
      connecting: ({state, data}) => {
        if (data.mode === 'guest') state.timeout(() => m.fire('timeout', {message: 'no'}), 20000);
      },
    });
    reach('connecting/guest', m);
    pass(5000);
    m.fire('leave');
    pass(30000);
    assert.strictEqual(m.state, 'left');
    assert.ok(m.fire('home') && m.state === 'gate');
    const again = machine({
      connecting: ({state}) => state.timeout(() => again.fire('timeout', {message: 'no'}), 20000),
    });
    reach('connecting/guest', again);
    pass(20000);
    assert.strictEqual(again.state, 'failed');
    assert.ok(again.fire('retry') && again.state === 'joining' && again.mode === 'guest');
    assert.ok(again.fire('join') && again.state === 'connecting');
  });
  // The host's friend leaves mid-match: the match goes on with two players, told once.
  it('the host\'s friend leaves mid-match: the match goes on with two players, told once', () => {
    const m = reach('running/host');
    m.seen.length = 0;
    m.fire('gone');
    assert.deepStrictEqual(m.seen, [['run', 'friendLeft', 'running', 'two']]);
    assert.ok(!m.fire('gone'), 'a friend left twice');
  });
});

// ---- The protocol ----
describe('the protocol', () => {
  const {take, packFrame, unpackFrame, MESSAGES} = protocol;
  // Each kind from its sender, at its size limit and one byte over it.
  it('each message is taken from its sender up to its size, and junk is not', () => {
  const GOOD = {hello: {v: 1}, key: {key: 'left', d: 1, n: 134217727}, beat: {t: 4294967296, s: 0},
                offer: {sdp: 'v=0'}, answer: {sdp: 'v=0'}, way: {s: 'AAAAAAAAAAAAAAAAAAAAAA'},
                count: {n: 3}, start: {}, over: {}, again: {},
                play: {c: 15, p: 63, l: -1, t: -1, g: 128}, halt: {c: 0}, volume: {p: 0, g: 0},
                leave: {}};
  assert.deepStrictEqual(Object.keys(GOOD).sort(), Object.keys(MESSAGES).sort());
  for (const [kind, [who, most]] of Object.entries(MESSAGES)) {
    const text = JSON.stringify(Object.assign({k: kind}, GOOD[kind]));
    for (const from of ['host', 'guest']) {
      const ok = who === 'both' || who === from;
      assert.strictEqual(!!take(text, from), ok, `${kind} from ${from}`);
    }
    const from = who === 'both' ? 'host' : who;
    const padded = (n) => text.slice(0, -1) + ',"x":"' + 'x'.repeat(n) + '"}';
    const fits = padded(most - text.length - 7);
    assert.strictEqual(fits.length, most);
    assert.ok(take(fits, from), `${kind} at its limit`);
    assert.strictEqual(take(padded(most - text.length - 6), from), null, `${kind} over its limit`);
  }
  for (const bad of ['{"k":"nope"}', '{"k":"key","key":"left"', '{"k":"key","key":"w","d":1}',
                     '{"k":"key","key":"up","d":2,"n":1}', '{"k":"key","key":"up","d":1}',
                     '{"k":"key","key":"up","d":1,"n":134217728}', '[1]', 'null', '{"k":"count","n":0}',
                     '{"k":"play","c":16,"p":0,"l":0,"t":0,"g":0}', '{"k":"halt","c":-1}',
                     '{"k":"toString"}', '{"k":"volume","p":1.5,"g":0}']) {
    assert.strictEqual(take(bad, 'guest') || take(bad, 'host'), null, bad);
  }
  assert.strictEqual(take(new ArrayBuffer(4), 'host'), null);
  });
  // Frames: the cells back as sent, each field; what no host sends, refused.
  it('a frame comes back as sent; one no host sends is refused', () => {
  const cells = new Uint8Array(297);
  for (let i = 0; i < 99; i++) cells.set(i % 7 ? [0, 38, 0] : [255, 255, 255], 3 * i);
  cells.set([200, 0, 0], 3 * 50);
  const bytes = packFrame(cells, {beat: true, state: 2, seq: 7, time: 2 ** 32 + 5.4, rtt: 70000,
                                  taken: 2 ** 27 - 1});
  assert.strictEqual(bytes.length, 17 + 3 * 3 + 99);
  const frame = unpackFrame(bytes.buffer);
  assert.deepStrictEqual([frame.beat, frame.state, frame.seq, frame.time, frame.rtt, frame.taken],
                         [true, 2, 7, 5, 0xfffe, 2 ** 27 - 1]);
  assert.deepStrictEqual(frame.cells, cells);
  const plain = unpackFrame(packFrame(cells, {beat: false, state: 0, seq: 8, time: 1, rtt: null}).buffer);
  assert.ok(!plain.beat && plain.rtt === null && plain.state === 0 && plain.taken === 0);
  const many = new Uint8Array(297).map((_, i) => i);  // 99 colours: the most a frame holds
  assert.ok(packFrame(many, {state: 1, seq: 1, time: 0, rtt: 0}).length <= protocol.FRAME_MOST);
  assert.deepStrictEqual(unpackFrame(packFrame(many, {state: 1, seq: 1, time: 0, rtt: 0}).buffer).cells, many);
  const damaged = (change) => { const b = bytes.slice(); change(b); return unpackFrame(b.buffer); };
  assert.strictEqual(damaged((b) => { b[0] = 2; }), null, 'another kind');
  assert.strictEqual(damaged((b) => { b[16] = 4; }), null, 'a colour count for other bytes');
  assert.strictEqual(damaged((b) => { b[17 + 9] = 3; }), null, 'a colour not listed');
  assert.strictEqual(damaged((b) => { b[12] = 8; }), null, 'a press no guest numbers');
  assert.strictEqual(unpackFrame(bytes.buffer.slice(0, 16)), null, 'too short');
  assert.strictEqual(unpackFrame(new ArrayBuffer(600)), null, 'too long');
  assert.strictEqual(unpackFrame('frame'), null, 'text');
  });
});

