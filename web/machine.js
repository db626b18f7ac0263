// What the page is doing, one state at a time, and the only writer of it. Each state is
// entered by an event its table names; entering calls the page's effect for that state
// with a scope that ends when the state is left: the state's timers, listeners and
// pending promises die with it, so a late one changes nothing. The mode (two players,
// alone, host or guest of a friend elsewhere, the big screen, a phone as a side's pad or
// watching one) has a scope of its own, which lasts while
// the mode does: the host's and the guest's connection live in it.
//
// What the page shows is the machine's too: its view, a plain picture of the page (the
// panel in view, the status line, the countdown and the hold over the grid, the pads, each
// panel's words and links, the game's handle, the figures of a connection), changed by
// each step as LOOK says and by the page's show() and count(); view.js draws the page
// from it.
//
// Pure: no page, no DOM. The page (page.js) gives the effects; node tests give stubs.
'use strict';
(function (root) {
  // Where each event leads, state by state. An entry is the next state, or
  // {to, mode, renew, ask, run}, or a function of (data, payload) giving one. `mode: null`
  // ends the mode; renew ends the mode's scope (its connection) though the mode stays;
  // `ask` notes who asked for another match ('mine' or 'friend'; forgotten when a match
  // ends); `run` names an effect called on the way. A state's own name is a step inside it (its
  // scope goes on). An event a state does not list, or whose entry is null, changes
  // nothing.
  const local = (d) => d.mode === 'two' || d.mode === 'alone';
  const runs = (d) => d.mode === 'host' || d.mode === 'screen';  // the game, with others
  // The other page has gone: the host's page plays on with two players here.
  const gone = (d) => (d.mode === 'host' ? {to: 'left', mode: 'two'}
    : d.mode === 'guest' ? {to: 'left', renew: true} : null);
  // The guest leaves (Esc, End match).
  const leave = (d) => (d.mode === 'guest' ? {to: 'left', renew: true} : null);
  const failed = {to: 'failed', renew: true};
  // The host's countdown, or each of its steps told to the guest.
  const count = {to: 'counting', run: 'count'};
  const TABLE = {
    // The page's scripts have run; the address says what to show.
    loading: {
      ready: 'gate',
      invited: {to: 'joining', mode: 'guest'},
      seat: {to: 'seating', mode: (d, p) => p.mode},  // a big screen's link: 'pad' or 'watch'
      handed: 'handing',                     // a reply opened in another tab than its invite's
      unserved: 'failed',                    // opened from the disk
      missing: 'failed',                     // the game's script is not on the server
    },
    // The start screen: two players, alone, an invite or the big screen.
    gate: {
      play: {to: 'starting', mode: (d, p) => p.mode},
      invite: {to: 'inviting', mode: 'host'},
      big: {to: 'lobby', mode: 'screen'},
    },
    // The big screen's codes, until both sides are held (or Start): then the countdown.
    lobby: {
      count: count,
      home: {to: 'gate', mode: null},
      fail: failed,
    },
    // A phone joining a big screen by its link; another phone may hold its side.
    seating: {
      open: 'seated',
      refused: {to: 'seating', run: 'refused'},
      gone: {to: 'left', renew: true},
      leave: {to: 'left', renew: true},
      fail: failed,
    },
    // A side's pad, or a watcher, at the big screen: whatever the match does there.
    seated: {
      gone: {to: 'left', renew: true},
      leave: {to: 'left', renew: true},
      fail: failed,
    },
    // The game's instance is being made (host: after the countdown).
    starting: {
      started: 'running',
      fail: failed,
      gone: (d) => (d.mode === 'host' ? {to: 'starting', mode: 'two', run: 'friendLeft'} : null),
    },
    running: {
      over: 'over',
      fail: failed,
      // The host's match goes on with two players here; the guest's ends.
      gone: (d) => (d.mode === 'host' ? {to: 'running', mode: 'two', run: 'friendLeft'} : gone(d)),
      leave: leave,
      // The other page not heard for a while: the match holds.
      quiet: (d) => (local(d) ? null : 'held'),
    },
    // A match with a friend held while the other page is not heard: no press counts.
    // Heard again, the host counts down on both pages and the match goes on; silent too
    // long, the friend has gone.
    held: {
      heard: (d) => (runs(d) ? {to: 'held', run: 'resume'} : null),
      quiet: (d) => (runs(d) ? {to: 'held', run: 'hold'} : null),
      count: (d) => (d.mode === 'guest' ? {to: 'held', run: 'count'} : null),
      start: 'running',
      over: 'over',
      fail: failed,
      gone: (d) => (d.mode === 'host' ? {to: 'running', mode: 'two', run: 'friendLeft'} : gone(d)),
      leave: leave,
    },
    over: {
      // The same mode again. With a friend, another match is one both pages ask for:
      // the first to ask waits and the other page is told; once both have, the host's
      // page counts down for both.
      again: (d) => (local(d) ? 'starting' : d.mode === 'screen' ? 'lobby' : d.asked.mine ? null
        : d.mode === 'host' && d.asked.friend ? {to: 'connected', ask: 'mine', run: 'ask'}
          : {to: 'over', ask: 'mine', run: 'ask'}),
      asked: (d) => (local(d) || d.mode === 'screen' || d.asked.friend ? null
        : d.mode === 'host' && d.asked.mine ? {to: 'connected', ask: 'friend'}
          : {to: 'over', ask: 'friend', run: 'asked'}),
      home: {to: 'gate', mode: null},
      count: (d) => (d.mode === 'guest' && d.asked.mine ? count : null),
      gone: (d) => (d.mode === 'host' ? {to: 'over', mode: 'two', run: 'friendLeft'} : gone(d)),
      leave: leave,
      fail: failed,
    },
    failed: {
      // The same again: a match here, a new invite, or the same invite joined again. A
      // page that failed while loading (no mode yet) has no start screen to go back to.
      retry: (d) => (d.served === false ? null : local(d) ? 'starting'
        : d.mode === 'host' ? 'inviting' : d.mode === 'guest' ? 'joining'
          : d.mode === 'screen' ? 'lobby' : d.mode ? 'seating' : null),
      home: (d) => (d.served === false || d.mode === null ? null : {to: 'gate', mode: null}),
    },
    // The host makes its invite, shows it and waits for the reply.
    inviting: {
      reply: 'connecting',
      back: {to: 'gate', mode: null},
      fail: failed,
    },
    // The guest's panel: the invite and Join; then its reply is made and shown.
    joining: {
      join: 'connecting',
      home: {to: 'gate', mode: null},
      fail: failed,
    },
    // A reply taken (host) or given (guest): the connection is being made.
    connecting: {
      open: 'connected',
      timeout: failed,
      fail: failed,
      back: (d) => (d.mode === 'host' ? {to: 'gate', mode: null} : null),
      leave: leave,
      gone: gone,
    },
    // Connected, no match yet: the host counts down once both pages are in view. The
    // host's Esc gives up waiting: the start screen.
    connected: {
      count: count,
      back: (d) => (d.mode === 'host' ? {to: 'gate', mode: null} : null),
      gone: gone,
      leave: leave,
      fail: failed,
    },
    // 3, 2, 1 on both pages; then the host starts its game, the guest shows it.
    counting: {
      count: count,
      start: (d) => (runs(d) ? 'starting' : 'running'),
      back: (d) => (d.mode === 'host' ? {to: 'gate', mode: null} : null),
      gone: gone,
      leave: leave,
      fail: failed,
    },
    // Your friend left, the host left, or you left: the start screen, or (the host's
    // page) a match of two players here.
    left: {
      home: {to: 'gate', mode: null},
      again: (d) => (d.mode === 'two' ? 'starting' : null),
    },
    // This tab only says where the reply went.
    handing: {},
  };
  const STATES = Object.keys(TABLE);
  const MODES = ['two', 'alone', 'host', 'guest', 'screen', 'pad', 'watch'];

  // The panel each state shows (its element's id), or none: the game, or nothing yet.
  const PANEL = {
    loading: null, gate: 'gate', starting: null, running: null, held: null, over: 'over',
    failed: 'failed', inviting: 'host', joining: 'joining', connected: null, counting: null,
    left: 'ended', handing: 'handoff', lobby: 'party', seating: 'seat', seated: null,
    connecting: (d) => (d.mode === 'guest' ? 'joining' : 'host'),
  };
  const BOTH = Object.freeze([true, true]);
  const WAITING = 'Waiting for your friend to play again.';
  const ASKED = 'Your friend wants another match: Play again to start it.';
  const RECONNECTING = 'Reconnecting…';
  const focus = (id) => ({on: id});  // a new request each time, though the control be the same
  // What else the player sees on the way into a state (enter) or on a step's run: the
  // view's changes, from (data, payload, event, view, can). A step into another state
  // also puts the countdown and the hold away.
  const LOOK = {
    enter: {
      gate: () => ({game: null, picture: null, bar: false, pads: BOTH, party: null, seat: null}),
      // Alone or with a friend elsewhere, every key and pad here plays player 0: the other
      // pad would only be in the way.
      // The big screen keeps those of the sides no phone holds.
      starting: (d, p, e, v) => ({game: null, code: null, focus: focus('game'),
                                  pads: d.mode === 'screen' ? v.pads
                                    : [true, d.mode !== 'alone' && d.mode !== 'host']}),
      running: (d) => (d.mode === 'guest' ? {focus: focus('game')} : {}),
      over: () => ({asked: '', againOff: false, focus: focus('again')}),
      failed: (d, p, e, v, can) => ({message: d.message, retry: can('retry'),
                                     failedHome: can('home'),
                                     focus: can('retry') ? focus('retry') : null}),
      // A new invite: no link yet, no round trip.
      inviting: () => ({bar: true, status: 'Making your invite…', inviteLink: null,
                        replyLink: null, remote: {rtt: null}}),
      // The invite again (Try again): an old reply would answer a connection closed.
      joining: () => ({joinOff: false, replyLink: null}),
      // One pad on the guest's touch screen: player 1's.
      connecting: (d) => (d.mode === 'guest'
        ? {bar: true, pads: [false, true], joinOff: true, picture: null,
           status: 'Making your reply…'}
        : {bar: true, status: 'Connecting…'}),
      connected: () => ({status: 'Connected'}),
      // The big screen's codes over an empty grid, every pad on the screen's own keys.
      lobby: () => ({game: null, picture: null, bar: false, pads: BOTH, focus: focus('start')}),
      seating: (d) => ({bar: true, picture: null, pads: [false, false], message: null,
                        seatReply: null,
                        status: d.mode === 'watch' ? 'Joining the big screen to watch…'
                          : 'Joining the big screen…'}),
      seated: (d) => ({status: d.mode === 'watch' ? 'Watching' : 'Connected', focus: null}),
      // Said over the grid too, where the players are looking, until the countdown.
      held: () => ({status: RECONNECTING, hold: RECONNECTING}),
      left: (d, p, event) => {
        const phone = d.mode === 'pad' || d.mode === 'watch';
        const text = d.mode === 'two' ? 'Your friend left.'
          : event === 'leave' ? (phone ? 'You left the big screen.' : 'You left the match.')
            : phone ? 'The big screen left.' : 'The host left.';
        return Object.assign(event === 'gone' ? {status: text} : {},
                             {bar: true, ended: text, endedAgain: d.mode === 'two', pads: BOTH,
                              focus: focus('home')});
      },
    },
    run: {
      // The host's friend left mid-match: player 1 is on this device's arrows again, and
      // an over screen's Play again is for two players here.
      friendLeft: (d, p, e, v) => ({status: 'Your friend left.', asked: '', againOff: false,
                                    pads: [v.pads[0], true]}),
      // A step of the host's countdown, on the guest's page.
      count: (d, p) => (d.mode !== 'guest' ? {}
        : Object.assign(d.state === 'held' ? {status: 'Connected', hold: ''} : {},
                        {count: p.n || 0})),
      resume: () => ({status: 'Connected', hold: ''}),
      hold: () => ({status: RECONNECTING, hold: RECONNECTING, count: 0}),
      ask: (d) => (d.state === 'over' ? {againOff: true, asked: WAITING, status: WAITING} : {}),
      asked: () => ({asked: ASKED, status: ASKED}),
      // A phone on a side another phone holds, or at a screen with watchers enough.
      refused: (d, p) => ({status: p.message, message: p.message}),
    },
  };
  // The page before its scripts say anything: the markup's own words (null) and nothing
  // of a game or a connection. The figures of a connection (remote) are what the tests
  // and the bench read, and the round trip the status line shows.
  const VIEW = {
    panel: null, status: '', bar: false, count: 0, hold: '', pads: BOTH, lit: [], touch: false,
    fullscreen: false, canFullscreen: false, prompt: null, canInvite: false, asked: '',
    againOff: false, message: null, retry: false, failedHome: false, local: false,
    inviteLink: null, replyLink: null, copied: null, invitedBy: '', canJoin: false,
    joinOff: false, handoff: '', ended: '', endedAgain: false, focus: null, picture: null,
    game: null, code: null, startedAt: null,
    // The big screen: each side's seat {link, name, by: null, 'phone', 'quiet' or
    // 'computer'}, the watch link, the watchers; a phone: its side, name, score and match.
    party: null, seat: null, seatReply: null,
    remote: {rtt: null, dropped: 0, bytes: {sent: 0, received: 0}, frames: {sent: 0, shown: 0},
             renewed: false, mended: 0, pressed: 0, taken: 0,
             // The rendezvous of the last invite: its brokers, those that took us, what was
             // heard and dropped there, and how the reply came ('rendezvous', 'link').
             rendezvous: {brokers: 0, live: 0, heard: 0, dropped: 0, replyBy: null}},
  };
  const plain = (v) => v !== null && typeof v === 'object' &&
    Object.getPrototypeOf(v) === Object.prototype;
  // Arrays frozen through, and with `deep` plain objects too (never a game's handle, which
  // is one): a view once handed out never changes.
  function frozen(value, deep) {
    if (Array.isArray(value) || (deep && plain(value))) {
      Object.values(value).forEach((each) => frozen(each, deep));
      Object.freeze(value);
    }
    return value;
  }
  // `into` with `changes` in: each value in place of its own or, `deep`, a plain object
  // merged into its own; `add`, numbers added to their own.
  function merged(into, changes, deep, add) {
    const made = Object.assign({}, into);
    for (const [key, value] of Object.entries(changes)) {
      made[key] = deep && plain(value) && plain(into[key]) ? merged(into[key], value, deep, add)
        : add ? (into[key] || 0) + value : frozen(value, deep);
    }
    return Object.freeze(made);
  }

  // A scope: what a state (or a mode) owns, all ended at once by end().
  function scope() {
    const controller = new AbortController();
    const signal = controller.signal;
    const own = {
      signal: signal,
      get alive() { return !signal.aborted; },
      timeout(action, ms) {
        const timer = setTimeout(() => { if (!signal.aborted) action(); }, ms);
        signal.addEventListener('abort', () => clearTimeout(timer));
        return timer;
      },
      interval(action, ms) {
        const timer = setInterval(() => { if (!signal.aborted) action(); }, ms);
        signal.addEventListener('abort', () => clearInterval(timer));
        return timer;
      },
      listen(target, type, action, options) {
        target.addEventListener(type, action, Object.assign({signal: signal}, options));
      },
      // A promise that settles as `promise` does while the scope lives, and never after.
      keep(promise) {
        return new Promise((resolve, reject) => {
          Promise.resolve(promise).then((value) => { if (!signal.aborted) resolve(value); },
            (error) => { if (!signal.aborted) reject(error); });
        });
      },
      // Called once the scope ends (a connection's close).
      onEnd(action) {
        if (signal.aborted) action(); else signal.addEventListener('abort', action);
      },
      end() { controller.abort(); },
    };
    return own;
  }

  // effects: {enter: {state: (context) => void}, run: {name: (context) => void},
  // changed: (data) => void, called once a step, or a show() or count() outside one, has
  // changed data.view}; context: {data, payload, state: the state's scope, mode: the
  // mode's scope, from: the state left}.
  function create(effects) {
    const view = merged({}, Object.assign({}, VIEW, {remote: merged({}, VIEW.remote, true)}));
    const data = {state: 'loading', mode: null, served: true, level: null, message: null,
                  asked: {mine: false, friend: false}, view: view};
    let stateScope = scope(), modeScope = scope();
    let depth = 0;
    const queued = [];

    // The next step for `event` in this state, or null.
    function next(event, payload) {
      let entry = Object.hasOwn(TABLE[data.state], event) ? TABLE[data.state][event] : null;
      if (typeof entry === 'function') entry = entry(data, payload);
      if (!entry) return null;
      if (typeof entry === 'string') entry = {to: entry};
      const to = typeof entry.to === 'function' ? entry.to(data, payload) : entry.to;
      const mode = !Object.hasOwn(entry, 'mode') ? data.mode
        : typeof entry.mode === 'function' ? entry.mode(data, payload) : entry.mode;
      if (!STATES.includes(to) || (mode !== null && !MODES.includes(mode))) {
        throw new Error('no way from ' + data.state + ' by ' + event + ' to ' + to + '/' + mode);
      }
      return {to: to, mode: mode, renew: !!entry.renew, ask: entry.ask, run: entry.run};
    }

    // Fires `event`; true if the page moved. An event fired by an effect waits until
    // the step under way is over.
    function fire(event, payload) {
      payload = payload || {};
      if (depth > 0) {
        queued.push([event, payload]);
        return null;
      }
      const step = next(event, payload);
      if (!step) return false;
      depth++;
      try {
        const from = data.state;
        const inside = step.to === from;
        if (!inside) stateScope.end();
        if (step.mode !== data.mode || step.renew) {
          modeScope.end();
          modeScope = scope();
          data.mode = step.mode;
        }
        if (!inside) stateScope = scope();
        data.state = step.to;
        if (step.to === 'over' && !inside) data.asked = {mine: false, friend: false};
        if (step.ask) data.asked = Object.assign({}, data.asked, {[step.ask]: true});
        if (payload.message !== undefined) data.message = payload.message;
        const look = {panel: typeof PANEL[step.to] === 'function' ? PANEL[step.to](data)
          : PANEL[step.to]};
        if (!inside) Object.assign(look, {count: 0, hold: ''});
        const can = (e) => !!next(e, {});
        const looks = [step.run && LOOK.run[step.run], !inside && LOOK.enter[step.to]];
        for (const each of looks) {
          if (each) Object.assign(look, each(data, payload, event, data.view, can));
        }
        show(look);
        const context = {data: data, payload: payload, state: stateScope, mode: modeScope,
                         from: from, event: event};
        if (step.run && effects.run[step.run]) effects.run[step.run](context);
        if (!inside && effects.enter[step.to]) effects.enter[step.to](context);
      } finally {
        depth--;
      }
      tell();
      while (depth === 0 && queued.length) fire(...queued.shift());
      return true;
    }

    // The page drawn afresh, once no step is under way.
    function tell() {
      if (depth === 0 && effects.changed) effects.changed(data);
    }
    // What the page shows, changed: each key of `changes` replaces the view's, but for
    // the figures (remote), which are merged.
    function show(changes) {
      data.view = merged(data.view, changes.remote ? Object.assign({}, changes,
        {remote: merged(data.view.remote, changes.remote, true)}) : changes);
      tell();
    }
    // The figures of a connection counted: {dropped: 1}, {bytes: {sent: 120}}.
    function count(adds) {
      data.view = merged(data.view, {remote: merged(data.view.remote, adds, true, true)});
      tell();
    }

    return {
      fire: fire,
      can: (event, payload) => !!next(event, payload || {}),
      get state() { return data.state; },
      get mode() { return data.mode; },
      get level() { return data.level; },
      // Who has asked for another match, after one with a friend.
      get asked() { return Object.assign({}, data.asked); },
      // What the page shows: read only, and changed by these two alone.
      get view() { return data.view; },
      show: show,
      count: count,
      // What the page keeps across states: the computer's level; whether it is served.
      keep(what) {
        if (Object.hasOwn(what, 'level')) data.level = what.level;
        if (Object.hasOwn(what, 'served')) data.served = what.served;
      },
      get stateScope() { return stateScope; },
      get modeScope() { return modeScope; },
    };
  }

  const machine = {create: create, TABLE: TABLE, STATES: STATES, MODES: MODES, PANEL: PANEL,
                   scope: scope};
  if (typeof module === 'object' && module.exports) module.exports = machine;
  else root.brelvoMachine = machine;
})(typeof window === 'object' ? window : globalThis);
