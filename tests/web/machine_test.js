// The page's state machine (web/machine.js) and the protocol of remote play
// (web/protocol.js), in node, with the page's effects stubbed and a clock of the test's:
//   node --test tests/web/      or      node tests/web/machine_test.js
// The machine is told as what players do: each story walks a page (or a host's and a
// guest's) through its states, saying what each player sees on the way, and at the end the
// stories together must have taken every way out of every state they reached.
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

const {create, TABLE, STATES, MODES, PANEL} = require(path.join(web, 'machine.js'));
const protocol = require(path.join(web, 'protocol.js'));

// Every event the page has, and what the stories met: the states reached, the ways out
// of them the machine offered ('state/mode event') and those taken.
const EVENTS = [...new Set(Object.values(TABLE).flatMap(Object.keys))].sort();
const met = {reached: new Set(['loading']), offered: new Set(), taken: new Set()};
const where = (m) => `${m.state}/${m.mode || ''}`;

// A page whose effects record what they were called with, [kind, name, state, mode];
// `enter` and `run` add effects of a story's own. An event the page refuses must change
// nothing: not the state, the mode, their scopes, what was asked, what the page shows, nor
// call an effect; one it takes has the page drawn.
function page(enter = {}, run = {}) {
  const seen = [];
  const record = (kind) => new Proxy({}, {
    get: (_, name) => (context) => {
      seen.push([kind, name, context.data.state, context.data.mode]);
      const own = (kind === 'enter' ? enter : run)[name];
      if (own) own(context);
    },
  });
  let drawn = 0;
  const m = create({enter: record('enter'), run: record('run'), changed: () => drawn++});
  const fire = m.fire;
  m.fire = (event, payload) => {
    const from = where(m);
    for (const e of EVENTS) if (m.can(e, {mode: 'two'})) met.offered.add(`${from} ${e}`);
    const scopes = [m.stateScope, m.modeScope], before = [seen.length, m.asked, m.view, drawn];
    const moved = fire(event, payload);
    if (moved) {
      met.taken.add(`${from} ${event}`);
      met.reached.add(m.state);
      assert.ok(drawn > before[3], `${from}: ${event} taken, yet not drawn`);
    } else if (moved === false) {
      assert.equal(where(m), from, `${from}: ${event} refused, yet the page moved`);
      assert.deepEqual([seen.length, m.asked, m.view, drawn], before,
                       `${from}: ${event} refused, yet ran or showed`);
      assert.ok(scopes[0] === m.stateScope && scopes[1] === m.modeScope && scopes[0].alive &&
                scopes[1].alive, `${from}: ${event} refused, yet a scope ended`);
    }
    return moved;
  };
  m.seen = seen;
  return m;
}

// `event` (with `payload`, if given) moves the page to `to` ('state/mode').
function step(m, event, payload, to) {
  if (to === undefined) [payload, to] = [{}, payload];
  const from = where(m);
  assert.ok(m.fire(event, payload), `${from}: ${event} refused`);
  assert.equal(where(m), to, `${from} by ${event}`);
}
// What the page shows now has the fields of `want` ({panel: 'gate', status: '…'}).
function sees(m, want, what = '') {
  const shown = Object.fromEntries(Object.keys(want).map((key) => [key, m.view[key]]));
  assert.deepEqual(shown, want, `${where(m)} ${what}`);
}
const BOTH = [true, true];

// The page does nothing on any of `events`.
function refused(m, ...events) {
  for (const event of events) {
    assert.equal(m.fire(event, {mode: 'two'}), false, `${where(m)}: ${event}`);
  }
}

// The way each side goes through a match with a friend, as a list of steps
// [event, payload, to]: the host's invite, the guest's reply taken, the connection, the
// host's countdown (told to the guest step by step), the match, its end.
const HOST_WAY = [['ready', {}, 'gate/'], ['invite', {}, 'inviting/host'],
  ['reply', {}, 'connecting/host'], ['open', {}, 'connected/host'],
  ['count', {}, 'counting/host'], ['start', {}, 'starting/host'],
  ['started', {}, 'running/host'], ['over', {}, 'over/host']];
const GUEST_WAY = [['invited', {}, 'joining/guest'], ['join', {}, 'connecting/guest'],
  ['open', {}, 'connected/guest'], ['count', {n: 3}, 'counting/guest'],
  ['start', {}, 'running/guest'], ['over', {}, 'over/guest']];
// A page walked along `way` until it is in `state` ('held': a running match gone quiet).
function walk(way, state, m = page()) {
  const mode = way === HOST_WAY ? 'host' : 'guest';
  for (const [event, payload, to] of way) {
    if (m.state === (state === 'held' ? 'running' : state)) break;
    step(m, event, payload, to);
  }
  if (state === 'held') step(m, 'quiet', `held/${mode}`);
  assert.equal(where(m), `${state}/${mode}`);
  return m;
}
// A host and a guest in a running match.
function friendsPlaying() {
  return [walk(HOST_WAY, 'running'), walk(GUEST_WAY, 'running')];
}

describe('a page on its own', () => {
  it('a player opens the page, plays two on one keyboard, plays again, then alone, again', () => {
    const m = page();
    sees(m, {panel: null, pads: BOTH, bar: false, status: '', game: null}, 'before the scripts');
    step(m, 'ready', 'gate/');
    sees(m, {panel: 'gate', pads: BOTH, bar: false, focus: null});
    step(m, 'play', {mode: 'two'}, 'starting/two');
    // The game over the whole window, the keys on it, a pad for each player.
    sees(m, {panel: null, pads: BOTH, focus: {on: 'game'}, game: null, code: null});
    m.show({game: 'the game', code: null});
    step(m, 'started', 'running/two');
    sees(m, {panel: null, game: 'the game', focus: {on: 'game'}});
    // Two players here wait for no one and leave no one.
    refused(m, 'quiet', 'heard', 'gone', 'leave', 'count', 'back', 'home', 'again');
    m.show({code: 0});
    step(m, 'over', 'over/two');
    sees(m, {panel: 'over', focus: {on: 'again'}, againOff: false, asked: '', code: 0});
    refused(m, 'asked', 'count', 'gone');
    step(m, 'again', 'starting/two');
    sees(m, {panel: null, game: null, code: null});
    step(m, 'started', 'running/two');
    step(m, 'over', 'over/two');
    step(m, 'home', 'gate/');
    sees(m, {panel: 'gate', game: null});
    // Alone: player 0's pad, none for the computer.
    step(m, 'play', {mode: 'alone'}, 'starting/alone');
    sees(m, {panel: null, pads: [true, false]});
    step(m, 'started', 'running/alone');
    refused(m, 'quiet', 'gone', 'leave', 'count');
    step(m, 'over', 'over/alone');
    refused(m, 'asked', 'count');
    step(m, 'again', 'starting/alone');
    step(m, 'started', 'running/alone');
    assert.deepEqual(m.seen.filter(([kind]) => kind === 'run'), [], 'no friend told of anything');
    sees(m, {status: '', bar: false, count: 0}, 'no status line, no countdown');
  });

  it('wherever the game fails, Brelvo stopped: Try again plays the same again, or the start screen',
     () => {
       for (const mode of ['two', 'alone']) {
         for (const when of ['starting', 'running', 'over']) {
           for (const then of ['retry', 'home']) {
             const m = page();
             step(m, 'ready', 'gate/');
             step(m, 'play', {mode: mode}, `starting/${mode}`);
             if (when !== 'starting') step(m, 'started', `running/${mode}`);
             if (when === 'over') step(m, 'over', `over/${mode}`);
             step(m, 'fail', {message: 'lost'}, `failed/${mode}`);
             sees(m, {panel: 'failed', message: 'lost', retry: true, failedHome: true,
                      focus: {on: 'retry'}});
             refused(m, 'again', 'started', 'back');
             step(m, then, then === 'retry' ? `starting/${mode}` : 'gate/');
           }
         }
       }
     });

  // After a match alone ended by Esc: the start screen, then two players or an invite,
  // with no reload; likewise after "Your friend left." and the guest's "You left" and
  // "The host left.", and after the game failed.
  it('after any ending, the start screen and then any match, with no reload', () => {
    const endings = {
      'a match alone': () => {
        const m = page();
        step(m, 'ready', 'gate/');
        step(m, 'play', {mode: 'alone'}, 'starting/alone');
        step(m, 'started', 'running/alone');
        step(m, 'over', 'over/alone');
        return m;
      },
      '"Your friend left."': () => {
        const m = walk(HOST_WAY, 'connected');
        step(m, 'gone', 'left/two');
        return m;
      },
      '"You left the match."': () => {
        const m = walk(GUEST_WAY, 'running');
        step(m, 'leave', 'left/guest');
        return m;
      },
      'a match the host played': () => walk(HOST_WAY, 'over'),
      'a match the guest played': () => walk(GUEST_WAY, 'over'),
      'the game failed': () => {
        const m = page();
        step(m, 'ready', 'gate/');
        step(m, 'play', {mode: 'two'}, 'starting/two');
        step(m, 'fail', 'failed/two');
        return m;
      },
    };
    for (const [ending, reach] of Object.entries(endings)) {
      for (const [event, payload, to] of [['play', {mode: 'two'}, 'starting/two'],
                                          ['play', {mode: 'alone'}, 'starting/alone'],
                                          ['invite', {}, 'inviting/host']]) {
        const m = reach();
        assert.ok(m.fire('home'), `${ending}: no start screen`);
        step(m, event, payload, to);
      }
    }
  });

  it('the page opened from the disk, or served without the game\'s script, stops for good', () => {
    const m = page();
    m.keep({served: false});
    step(m, 'unserved', {message: 'served'}, 'failed/');
    // Only the message: neither Try again nor Start screen, nor the focus on either.
    sees(m, {panel: 'failed', message: 'served', retry: false, failedHome: false, focus: null});
    refused(m, 'retry', 'home');
    const broken = page();
    step(broken, 'missing', {message: 'brelvo.js'}, 'failed/');
    sees(broken, {panel: 'failed', message: 'brelvo.js', retry: false, failedHome: false});
    refused(broken, 'retry', 'home');
  });

  it('a reply opened in another tab than its invite\'s only says where it went', () => {
    const m = page();
    step(m, 'handed', 'handing/');
    sees(m, {panel: 'handoff'});
    refused(m, ...EVENTS);
  });
});

describe('a match with a friend elsewhere', () => {
  it('host invites, guest joins, blip held and mended, the match ends, another, friend leaves',
     () => {
       const host = page(), guest = page();
       step(host, 'ready', 'gate/');
       host.show({remote: {rtt: 80}});  // a round trip of an invite before
       step(host, 'invite', 'inviting/host');
       sees(host, {panel: 'host', bar: true, status: 'Making your invite…', inviteLink: null});
       assert.equal(host.view.remote.rtt, null, 'the last connection\'s round trip shown');
       refused(host, 'open', 'count', 'gone', 'leave');
       step(guest, 'invited', 'joining/guest');
       sees(guest, {panel: 'joining', joinOff: false, replyLink: null, bar: false});
       refused(guest, 'open', 'count', 'leave');
       step(guest, 'join', 'connecting/guest');
       // Join pressed once; the guest's one pad is player 1's.
       sees(guest, {panel: 'joining', joinOff: true, bar: true, pads: [false, true],
                    status: 'Making your reply…'});
       step(host, 'reply', 'connecting/host');
       sees(host, {panel: 'host', status: 'Connecting…'});
       refused(guest, 'back');  // the guest leaves by its own way, not the host's Back
       for (const m of [host, guest]) {
         step(m, 'open', `connected/${m.mode}`);
         sees(m, {panel: null, status: 'Connected', count: 0});
       }
       for (const n of [3, 2, 1]) {
         step(host, 'count', 'counting/host');
         step(guest, 'count', {n: n}, 'counting/guest');
         sees(guest, {count: n, panel: null});
       }
       step(host, 'start', 'starting/host');
       sees(host, {count: 0, pads: [true, false], focus: {on: 'game'}});
       step(guest, 'start', 'running/guest');
       sees(guest, {count: 0, pads: [false, true], focus: {on: 'game'}, status: 'Connected'});
       step(host, 'started', 'running/host');
       // A blip: both pages hold the match, said over the grid too until the countdown;
       // heard again, the host counts down for both (a silence in the middle of it stops
       // it) and the same match goes on, with no new game.
       for (const m of [host, guest]) {
         m.seen.length = 0;
         step(m, 'quiet', `held/${m.mode}`);
         sees(m, {status: 'Reconnecting…', hold: 'Reconnecting…', count: 0, panel: null});
       }
       refused(guest, 'heard', 'quiet');  // the guest waits for the host's countdown
       refused(host, 'leave');
       step(host, 'heard', 'held/host');
       sees(host, {status: 'Connected', hold: ''});
       host.show({count: 3});  // its countdown's first step
       step(host, 'quiet', 'held/host');
       sees(host, {status: 'Reconnecting…', hold: 'Reconnecting…', count: 0},
            'the countdown stopped');
       step(host, 'heard', 'held/host');
       step(guest, 'count', {n: 3}, 'held/guest');
       sees(guest, {status: 'Connected', hold: '', count: 3});
       for (const m of [host, guest]) {
         step(m, 'start', `running/${m.mode}`);
         sees(m, {count: 0, hold: '', status: 'Connected'});
       }
       assert.deepEqual([host.seen, guest.seen], [
         [['enter', 'held', 'held', 'host'], ['run', 'resume', 'held', 'host'],
          ['run', 'hold', 'held', 'host'], ['run', 'resume', 'held', 'host'],
          ['enter', 'running', 'running', 'host']],
         [['enter', 'held', 'held', 'guest'], ['run', 'count', 'held', 'guest'],
          ['enter', 'running', 'running', 'guest']]]);
       // The match ends; both ask for another, the host's page counts down for both.
       for (const m of [host, guest]) step(m, 'over', `over/${m.mode}`);
       step(host, 'again', 'over/host');
       // Each page says what the other did, on its over screen and in its status line.
       const waiting = 'Waiting for your friend to play again.';
       const asked = 'Your friend wants another match: Play again to start it.';
       sees(host, {panel: 'over', againOff: true, asked: waiting, status: waiting});
       step(guest, 'asked', 'over/guest');
       sees(guest, {panel: 'over', againOff: false, asked: asked, status: asked});
       step(guest, 'again', 'over/guest');
       sees(guest, {againOff: true, asked: waiting});
       step(host, 'asked', 'connected/host');
       sees(host, {panel: null, status: 'Connected'});
       step(host, 'count', 'counting/host');
       step(guest, 'count', {n: 3}, 'counting/guest');
       step(host, 'start', 'starting/host');
       step(guest, 'start', 'running/guest');
       step(host, 'started', 'running/host');
       // The guest leaves mid-match: the host's match goes on with two players here, its
       // player told once; the guest's page says it left and has its start screen.
       step(guest, 'leave', 'left/guest');
       sees(guest, {panel: 'ended', ended: 'You left the match.', endedAgain: false, pads: BOTH,
                    focus: {on: 'home'}, bar: true});
       refused(guest, 'again', 'leave', 'gone');
       host.seen.length = 0;
       step(host, 'gone', 'running/two');
       assert.deepEqual(host.seen, [['run', 'friendLeft', 'running', 'two']]);
       sees(host, {panel: null, status: 'Your friend left.', pads: BOTH}, 'player 1 on the arrows');
       refused(host, 'gone', 'quiet');  // a friend left twice; two players here wait for no one
       step(host, 'over', 'over/two');
       step(host, 'again', 'starting/two');
       step(guest, 'home', 'gate/');
     });

  it('the match ends while held, or the friend stays silent for good', () => {
    // Nothing of the hold stays over the grid once the match is no longer held.
    let [host, guest] = friendsPlaying();
    for (const m of [host, guest]) step(m, 'quiet', `held/${m.mode}`);
    for (const m of [host, guest]) {
      step(m, 'over', `over/${m.mode}`);
      sees(m, {panel: 'over', hold: ''});
    }
    [host, guest] = friendsPlaying();
    for (const m of [host, guest]) step(m, 'quiet', `held/${m.mode}`);
    host.seen.length = 0;
    step(host, 'gone', 'running/two');
    assert.deepEqual(host.seen, [['run', 'friendLeft', 'running', 'two'],
                                 ['enter', 'running', 'running', 'two']]);
    step(guest, 'gone', 'left/guest');
  });

  // "Your friend left." on the host's page, "The host left." or "You left the match." on
  // the guest's, wherever it happens.
  it('wherever a friend leaves, the host plays on with two here and the guest is told', () => {
    // Before the match, the host is told and may play two here; once it is under way, the
    // match goes on with two players here.
    const hostAfter = {connecting: 'left/two', connected: 'left/two', counting: 'left/two',
                       starting: 'starting/two', running: 'running/two', held: 'running/two',
                       over: 'over/two'};
    for (const [when, to] of Object.entries(hostAfter)) {
      const host = walk(HOST_WAY, when), connection = host.modeScope;
      host.seen.length = 0;
      step(host, 'gone', to);
      assert.ok(!connection.alive, `at ${when}: the friend's connection kept`);
      sees(host, {status: 'Your friend left.'}, when);
      if (to === 'left/two') {
        assert.deepEqual(host.seen, [['enter', 'left', 'left', 'two']], when);
        sees(host, {panel: 'ended', ended: 'Your friend left.', endedAgain: true, count: 0}, when);
        step(host, 'again', 'starting/two');
      } else {
        assert.deepEqual(host.seen.filter(([kind]) => kind === 'run'),
                         [['run', 'friendLeft', to.split('/')[0], 'two']], when);
      }
    }
    refused(walk(HOST_WAY, 'inviting'), 'gone');  // no friend yet
    // The guest's page: the host left, or its own player did; then the start screen.
    for (const when of ['connecting', 'connected', 'counting', 'running', 'held', 'over']) {
      for (const how of ['gone', 'leave']) {
        const guest = walk(GUEST_WAY, when), connection = guest.modeScope;
        const before = guest.view.status;
        step(guest, how, 'left/guest');
        assert.ok(!connection.alive, `at ${when}: the host's connection kept`);
        // The host leaving is said in the status line too; the guest's own leaving, only
        // on its panel.
        const said = how === 'gone' ? 'The host left.' : 'You left the match.';
        sees(guest, {panel: 'ended', ended: said, endedAgain: false, count: 0,
                     status: how === 'gone' ? said : before}, when);
        refused(guest, 'again');
        step(guest, 'home', 'gate/');
      }
    }
    refused(walk(GUEST_WAY, 'joining'), 'gone', 'leave');
  });

  it('wherever the connection fails, Brelvo stopped: Try again invites anew, or joins again',
     () => {
       for (const [way, mode, moments, retried] of [
         [HOST_WAY, 'host', ['inviting', 'connecting', 'connected', 'counting', 'starting',
                             'running', 'held', 'over'], 'inviting/host'],
         [GUEST_WAY, 'guest', ['joining', 'connecting', 'connected', 'counting', 'running',
                               'held', 'over'], 'joining/guest']]) {
         for (const when of moments) {
           const m = walk(way, when), connection = m.modeScope;
           step(m, 'fail', {message: 'lost'}, `failed/${mode}`);
           assert.ok(!connection.alive, `${mode} at ${when}: the connection outlived its failure`);
           step(m, 'retry', retried);
         }
         const m = walk(way, 'connecting');
         step(m, 'timeout', `failed/${mode}`);
         step(m, 'home', 'gate/');
       }
     });

  it('the host gives up waiting for its friend; the guest goes back from the invite', () => {
    for (const when of ['inviting', 'connecting', 'connected', 'counting']) {
      const host = walk(HOST_WAY, when);
      step(host, 'back', 'gate/');
    }
    refused(walk(HOST_WAY, 'running'), 'back', 'leave');
    step(walk(GUEST_WAY, 'joining'), 'home', 'gate/');
    refused(walk(GUEST_WAY, 'running'), 'back', 'home');
  });

  // Another match with a friend is one both ask for, whoever asks first: each page says
  // what the other did, asks once, and the host's page counts down once both have (its
  // page out of view and back starts no countdown before). The next match's end forgets
  // both.
  for (const first of ['host', 'guest']) {
    it(`another match is one both ask for, the ${first} first`, () => {
      const host = walk(HOST_WAY, 'over'), guest = walk(GUEST_WAY, 'over');
      const [asker, other] = first === 'host' ? [host, guest] : [guest, host];
      for (const m of [host, guest]) m.seen.length = 0;
      refused(host, 'count');
      step(asker, 'again', `over/${first}`);
      refused(asker, 'again');  // asked twice
      step(other, 'asked', `over/${other.mode}`);
      refused(host, 'count');  // a countdown only one of them asked for
      assert.deepEqual([asker.seen, other.seen],
                       [[['run', 'ask', 'over', first]], [['run', 'asked', 'over', other.mode]]]);
      if (first === 'host') refused(guest, 'count');  // the guest counts before it asked
      step(other, 'again', first === 'host' ? 'over/guest' : 'connected/host');
      if (first === 'host') step(host, 'asked', 'connected/host');  // the guest's ask arrives
      assert.deepEqual(guest.asked, {mine: true, friend: first === 'host'});
      step(host, 'count', 'counting/host');
      step(guest, 'count', {n: 3}, 'counting/guest');
      step(host, 'start', 'starting/host');
      step(guest, 'start', 'running/guest');
      step(host, 'started', 'running/host');
      for (const m of [host, guest]) step(m, 'over', `over/${m.mode}`);
      assert.deepEqual([host.asked, guest.asked], [{mine: false, friend: false},
                                                   {mine: false, friend: false}]);
      refused(guest, 'count');
    });
  }

  it('a friend who asked for another match, then left: Play again is for two players here', () => {
    const m = walk(HOST_WAY, 'over');
    step(m, 'again', 'over/host');
    step(m, 'asked', 'connected/host');
    step(m, 'count', 'counting/host');
    step(m, 'start', 'starting/host');
    step(m, 'started', 'running/host');
    step(m, 'over', 'over/host');
    step(m, 'asked', 'over/host');
    step(m, 'gone', 'over/two');
    sees(m, {panel: 'over', asked: '', againOff: false, status: 'Your friend left.',
             pads: BOTH});
    step(m, 'again', 'starting/two');
  });

  // The guest's start screen ends its connection (peer.js tells the host on the way out).
  it('the guest\'s start screen after a match ends its connection', () => {
    let session = null, ended = 0;
    const m = page({connecting: ({mode}) => { session = mode; mode.onEnd(() => ended++); }});
    walk(GUEST_WAY, 'over', m);
    assert.ok(session.alive);
    step(m, 'home', 'gate/');
    assert.ok(!session.alive && ended === 1);
  });

  it('Back while the invite is made: the late ICE servers and offer change nothing', async () => {
    let servers = null, offered = 0;
    const m = page({
      inviting: async ({mode}) => {
        await mode.keep(new Promise((resolve) => { servers = resolve; }));
        offered++;
      },
    });
    walk(HOST_WAY, 'inviting', m);
    step(m, 'back', 'gate/');
    servers([]);
    await settle();
    assert.equal(offered, 0, 'the invite went on behind the start screen');
    // A new invite's own servers count.
    step(m, 'invite', 'inviting/host');
    servers([]);
    await settle();
    assert.equal(offered, 1);
  });

  // The guest who leaves while connecting hears no "Could not connect" later, and its
  // Try again after a connection that failed joins again.
  it('a guest who leaves while connecting hears no failure later; Try again joins again', () => {
    const m = page({
      connecting: ({state, data}) => {
        if (data.mode === 'guest') state.timeout(() => m.fire('timeout', {message: 'no'}), 20000);
      },
    });
    walk(GUEST_WAY, 'connecting', m);
    pass(5000);
    step(m, 'leave', 'left/guest');
    pass(30000);
    assert.equal(where(m), 'left/guest');
    step(m, 'home', 'gate/');
    const again = page({
      connecting: ({state}) => state.timeout(() => again.fire('timeout', {message: 'no'}), 20000),
    });
    walk(GUEST_WAY, 'connecting', again);
    pass(20000);
    assert.equal(where(again), 'failed/guest');
    step(again, 'retry', 'joining/guest');
    step(again, 'join', 'connecting/guest');
  });
});

// ---- The big screen and its phones ----
describe('the big screen', () => {
  it('the screen counts down once its sides are held, holds for a pad gone quiet, and plays ' +
     'again from its codes', () => {
    const m = page();
    step(m, 'ready', 'gate/');
    step(m, 'big', 'lobby/screen');
    sees(m, {panel: 'party', pads: BOTH, bar: false, focus: {on: 'start'}});
    refused(m, 'quiet', 'start', 'again', 'leave', 'open');
    step(m, 'count', 'counting/screen');
    step(m, 'start', 'starting/screen');
    // The sides the phones hold have no pad on the screen.
    m.show({pads: [false, true], game: 'the game'});
    step(m, 'started', 'running/screen');
    sees(m, {panel: null, pads: [false, true]});
    refused(m, 'gone', 'leave', 'asked');
    step(m, 'quiet', 'held/screen');
    sees(m, {hold: 'Reconnecting…'});
    step(m, 'heard', 'held/screen');
    step(m, 'quiet', 'held/screen');
    step(m, 'heard', 'held/screen');
    step(m, 'start', 'running/screen');
    sees(m, {hold: '', count: 0});
    assert.deepEqual(m.seen.filter(([kind]) => kind === 'run').map(([, name]) => name),
                     ['count', 'resume', 'hold', 'resume']);
    step(m, 'over', 'over/screen');
    // Another match: the codes again, where the computer may take the right side.
    step(m, 'again', 'lobby/screen');
    step(m, 'fail', {message: 'broken'}, 'failed/screen');
    step(m, 'retry', 'lobby/screen');
    step(m, 'home', 'gate/');
    sees(m, {party: null, seat: null, panel: 'gate'});
    // Wherever the screen is, its page may fail, and its match end.
    const WAY = [['big', 'lobby'], ['count', 'counting'], ['start', 'starting'],
                 ['started', 'running'], ['quiet', 'held'], ['over', 'over']];
    for (let n = 0; n < WAY.length; n++) {
      const fails = page();
      step(fails, 'ready', 'gate/');
      WAY.slice(0, n + 1).forEach(([event, to]) => step(fails, event, `${to}/screen`));
      if (n === 1) step(fails, 'count', 'counting/screen');  // a countdown step told
      step(fails, 'fail', {message: 'broken'}, 'failed/screen');
      step(fails, 'home', 'gate/');
    }
    const ends = page();
    step(ends, 'ready', 'gate/');
    WAY.slice(0, 5).forEach(([event, to]) => step(ends, event, `${to}/screen`));
    step(ends, 'over', 'over/screen');
    step(ends, 'home', 'gate/');
  });

  it('a phone joins by its link, is refused on a held side, and leaves or loses the screen', () => {
    for (const [mode, end, said] of [['pad', 'leave', 'You left the big screen.'],
                                     ['watch', 'gone', 'The big screen left.']]) {
      const m = page();
      step(m, 'seat', {mode: mode}, `seating/${mode}`);
      sees(m, {panel: 'seat', bar: true, pads: [false, false]});
      step(m, 'refused', {message: 'Another phone holds Left, red.'}, `seating/${mode}`);
      sees(m, {panel: 'seat', status: 'Another phone holds Left, red.'});
      step(m, 'open', `seated/${mode}`);
      sees(m, {panel: null, status: mode === 'watch' ? 'Watching' : 'Connected'});
      refused(m, 'count', 'start', 'over', 'again', 'quiet');
      step(m, end, `left/${mode}`);
      sees(m, {panel: 'ended', ended: said});
      step(m, 'home', 'gate/');
    }
    // Wherever a phone is, its page may fail, lose the screen or leave it.
    for (const mode of ['pad', 'watch']) {
      for (const at of ['seating', 'seated']) {
        for (const end of ['fail', 'gone', 'leave']) {
          const m = page();
          step(m, 'seat', {mode: mode}, `seating/${mode}`);
          if (at === 'seated') step(m, 'open', `seated/${mode}`);
          step(m, end, {message: 'no'}, `${end === 'fail' ? 'failed' : 'left'}/${mode}`);
          if (end === 'fail') step(m, at === 'seated' ? 'home' : 'retry',
                                   at === 'seated' ? 'gate/' : `seating/${mode}`);
        }
      }
    }
  });
});

// ---- Scopes: what a state or a mode owns ends with it ----
describe('scopes', () => {
  it('a state\'s timers end with it, the mode\'s with the mode or its connection', () => {
    const fired = [];
    let late = null, session = null;
    const m = page({
      inviting: ({state, mode}) => {
        state.timeout(() => fired.push('state timer'), 100);
        mode.interval(() => fired.push('mode beat'), 40);
        session = mode;
        late = state;
      },
    });
    walk(HOST_WAY, 'inviting', m);
    pass(50);
    assert.deepEqual(fired, ['mode beat']);
    m.fire('reply');  // the state ends, the mode goes on
    pass(100);
    assert.deepEqual(fired, ['mode beat', 'mode beat', 'mode beat']);
    assert.ok(!late.alive && session.alive);
    m.fire('timeout');  // a failure ends the connection: the mode's scope, the mode stays
    assert.ok(!session.alive && m.mode === 'host');
    pass(1000);
    assert.equal(fired.length, 3, 'a timer outlived its scope');
  });
  // An effect's event waits for the step under way; the page sees one state at a time.
  it('an effect\'s event waits for the step under way', () => {
    const order = [];
    const m = page({starting: () => { order.push('starting'); m.fire('started'); order.push('fired'); },
                    running: () => order.push('running')});
    m.fire('ready');
    m.fire('play', {mode: 'two'});
    assert.deepEqual(order, ['starting', 'fired', 'running']);
    assert.equal(m.state, 'running');
  });
});

// ---- What the page shows: the machine's view ----
describe('what the page shows', () => {
  it('a connection\'s figures add up; a view handed out never changes; a step draws once', () => {
    let drawn = 0;
    const m = create({
      // An effect's show and count, inside the step: drawn with it, over what LOOK said.
      enter: {inviting: () => { m.show({status: 'Making it'}); m.count({dropped: 1}); }},
      run: {},
      changed: () => drawn++,
    });
    const first = m.view;
    m.count({dropped: 1, bytes: {sent: 10}});
    m.count({bytes: {sent: 5, received: 7}, frames: {shown: 1}});
    m.show({remote: {rtt: 40, rendezvous: {live: 2}}, status: 'Connected'});
    assert.equal(drawn, 3);
    assert.deepEqual(m.view.remote, {
      rtt: 40, dropped: 1, bytes: {sent: 15, received: 7}, frames: {sent: 0, shown: 1},
      renewed: false, mended: 0, pressed: 0, taken: 0,
      rendezvous: {brokers: 0, live: 2, heard: 0, dropped: 0, replyBy: null}});
    assert.deepEqual([first.remote.dropped, first.remote.bytes.sent, first.status], [0, 0, '']);
    assert.throws(() => { m.view.remote.bytes.sent = 1; }, TypeError);
    assert.throws(() => { m.view.status = 'mine'; }, TypeError);
    // The game's handle stays the game's: it counts its own frames.
    const game = {frames: 0};
    m.show({game: game});
    game.frames++;
    assert.equal(m.view.game.frames, 1);
    m.fire('ready');
    m.fire('invite');
    assert.equal(drawn, 6);
    assert.deepEqual([m.view.status, m.view.remote.dropped, m.view.remote.rtt, m.view.panel],
                     ['Making it', 2, null, 'host']);
    // Every state says which panel it shows: one of the page's, or none.
    assert.deepEqual(Object.keys(PANEL).sort(), [...STATES].sort());
    const html = require('fs').readFileSync(path.join(web, 'index.html'), 'utf8');
    const panels = new Set([null, ...[...html.matchAll(/<\w+ id="([\w-]+)" class="panel"/g)]
      .map((found) => found[1])]);
    assert.equal(panels.size, 10, 'the page\'s panels');
    for (const [state, panel] of Object.entries(PANEL)) {
      for (const mode of [null, ...MODES]) {
        const shown = typeof panel === 'function' ? panel({state: state, mode: mode}) : panel;
        assert.ok(panels.has(shown), `${state}/${mode} shows ${shown}`);
      }
    }
  });
});

// ---- The protocol ----
describe('the protocol', () => {
  const {take, packFrame, unpackFrame, MESSAGES} = protocol;
  // Each kind from its sender, at its size limit and one byte over it.
  it('each message is taken from its sender up to its size, and junk is not', () => {
  const GOOD = {hello: {v: 1}, key: {key: 'left', d: 1, n: 134217727, t: 4294967295}, beat: {t: 4294967296, s: 0},
                offer: {sdp: 'v=0'}, answer: {sdp: 'v=0'}, way: {s: 'AAAAAAAAAAAAAAAAAAAAAA'},
                count: {n: 3}, start: {}, over: {}, again: {},
                play: {c: 15, p: 'swing7', l: -1, t: -1, g: 128}, halt: {c: 0}, volume: {p: 'idle', g: 0},
                leave: {}, seat: {s: -1}, tick: {t: 4294967295}, score: {l: 9, r: 0},
                buzz: {ms: 1000}, press: {s: 1, key: 'down', d: 0}};
  assert.deepStrictEqual(Object.keys(GOOD).sort(), Object.keys(MESSAGES).sort());
  for (const [kind, [who, most]] of Object.entries(MESSAGES)) {
    const text = JSON.stringify(Object.assign({k: kind}, GOOD[kind]));
    for (const from of ['host', 'guest', 'screen', 'pad', 'watcher']) {
      assert.strictEqual(!!take(text, from), who.includes(from), `${kind} from ${from}`);
    }
    const from = who[0];
    const padded = (n) => text.slice(0, -1) + ',"x":"' + 'x'.repeat(n) + '"}';
    const fits = padded(most - text.length - 7);
    assert.strictEqual(fits.length, most);
    assert.ok(take(fits, from), `${kind} at its limit`);
    assert.strictEqual(take(padded(most - text.length - 6), from), null, `${kind} over its limit`);
  }
  for (const bad of ['{"k":"nope"}', '{"k":"key","key":"left"', '{"k":"key","key":"w","d":1}',
                     '{"k":"key","key":"up","d":2,"n":1}', '{"k":"key","key":"up","d":1}',
                     '{"k":"key","key":"up","d":1,"n":134217728,"t":0}', '{"k":"key","key":"up","d":1,"n":1}',
                     '{"k":"key","key":"up","d":1,"n":1,"t":-1}', '[1]', 'null', '{"k":"count","n":0}',
                     '{"k":"play","c":16,"p":0,"l":0,"t":0,"g":0}', '{"k":"halt","c":-1}',
                     '{"k":"toString"}', '{"k":"volume","p":1.5,"g":0}',
                     // clips go by name: a number, or a name no clip could have, is none
                     '{"k":"play","c":1,"p":3,"l":0,"t":0,"g":0}', '{"k":"volume","p":"__proto__","g":0}',
                     // a pad names a side and a way, never a key of the keyboard's
                     '{"k":"press","s":2,"key":"up","d":1}', '{"k":"press","key":"up","d":1}',
                     '{"k":"press","s":0,"key":"w","d":1}', '{"k":"score","l":10,"r":0}']) {
    assert.ok(['host', 'guest', 'screen', 'pad', 'watcher'].every((from) => !take(bad, from)), bad);
  }
  // A watcher may say it is there, and that it goes: nothing else.
  assert.deepStrictEqual(Object.keys(MESSAGES).filter((kind) => MESSAGES[kind][0].includes('watcher')),
                         ['hello', 'beat', 'leave']);
  assert.strictEqual(take(new ArrayBuffer(4), 'host'), null);
  });
  // Frames: the cells back as sent, each field; what no host sends, refused.
  it('a frame comes back as sent; one no host sends is refused', () => {
  const cells = new Uint8Array(297);
  for (let i = 0; i < 99; i++) cells.set(i % 7 ? [0, 38, 0] : [255, 255, 255], 3 * i);
  cells.set([200, 0, 0], 3 * 50);
  const bytes = packFrame(cells, {beat: true, state: 2, seq: 7, time: 2 ** 32 + 5.4, rtt: 70000,
                                  taken: 2 ** 27 - 1, deaf: true});
  assert.strictEqual(bytes.length, 17 + 3 * 3 + 99);
  const frame = unpackFrame(bytes.buffer);
  assert.deepStrictEqual([frame.beat, frame.state, frame.deaf, frame.seq, frame.time, frame.rtt,
                          frame.taken], [true, 2, true, 7, 5, 0xfffe, 2 ** 27 - 1]);
  assert.deepStrictEqual(frame.cells, cells);
  const plain = unpackFrame(packFrame(cells, {beat: false, state: 0, seq: 8, time: 1, rtt: null}).buffer);
  assert.ok(!plain.beat && !plain.deaf && plain.rtt === null && plain.state === 0 &&
            plain.taken === 0);
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


// Run last: what the stories above met.
it('the stories reach every state and take every way out of each that they reach', () => {
  assert.deepEqual([...met.reached].sort(), [...STATES].sort());
  assert.deepEqual([...met.offered].filter((way) => !met.taken.has(way)), [],
                   'ways out that no story takes');
});
