// The page around the game: its screens (the start screen, the end of a match, a
// failure's message, the panels of a match with a friend elsewhere), the game's start in
// the player's gesture (and with it the sound), the sound and the screen while the page
// is out of sight and back. What the page is doing is the machine's (machine.js): this
// file gives it the effects of each state and turns the player's clicks and keys into
// its events.
'use strict';
(function () {
  const $ = (id) => document.getElementById(id);
  const canvas = $('game');
  const panels = document.getElementsByClassName('panel');
  const supported = typeof RTCPeerConnection === 'function';
  // Both pages say it; only whoever serves the page can add the relay.
  const cannotConnect = 'Could not connect to your friend. Your networks may not let two ' +
    'devices reach each other directly: a TURN server, which whoever serves this page ' +
    'can add to its ice-servers.json, relays for them.';

  // What the tests and the player's eyes see of a connection (peer.js keeps it).
  const remote = {rtt: null, dropped: 0, bytes: {sent: 0, received: 0},
                  frames: {sent: 0, shown: 0}, renewed: false, mended: 0, pressed: 0, taken: 0,
                  // The rendezvous of the last invite: its brokers, those that took us, what
                  // was heard and dropped there, and how the reply came ('rendezvous', 'link').
                  rendezvous: {brokers: 0, live: 0, heard: 0, dropped: 0, replyBy: null}};
  let game = null;    // the running game's instance (the guest's: its clips and mixer)
  let status = null;  // how the last match ended
  let startedAt = null; // the starting gesture's time

  // ---- The game's contract: how the page names the mode and what it hears back ----

  // The mode as the game's arguments: alone from the computer's last level, which the
  // game reports back; the host, whose friend plays player 1 from another device. The game
  // itself decides whose every key is.
  function modeOptions(mode, level) {
    if (mode === 'alone') {
      return {arguments: [level ? '--computer=' + level : '--computer'],
              onComputerLevel: (ms) => machine.keep({level: ms})};
    }
    return {arguments: mode === 'host' ? ['--remote'] : []};
  }

  // ---- Loading the game ----

  // Compiled once on arrival; every match runs in a fresh instance of it. A load that
  // failed is tried afresh by the next start, so "Try again" mends a missing file.
  let compiled = null, failures = 0, ready = null;  // ready: the compiled game, once it is
  function compile() {
    if (!compiled) {
      const again = {cache: failures > 0 ? 'no-cache' : 'default'};
      const loading = compiled = fetch('brelvo.wasm', again)
        .then((response) => response.ok ? response.arrayBuffer() :
          Promise.reject(new Error('brelvo.wasm: ' + response.status)))
        .then((bytes) => WebAssembly.compile(bytes)).then((module) => (ready = module));
      loading.catch(() => {
        failures++;
        if (compiled === loading) compiled = null;
      });
    }
    return compiled;
  }
  const served = location.protocol !== 'file:';
  if (served) compile();

  function fail(text) {
    machine.fire('fail', {message: text});
  }

  // Compiled while the player read the start screen, the game starts in the gesture's own
  // task and draws its first frame before the browser paints the page again.
  function instantiate(imports, receive) {
    if (ready) {
      let instance;
      try {
        instance = new WebAssembly.Instance(ready, imports);
      } catch (error) {
        fail('unable to load the game: ' + error.message);
        return {};
      }
      receive(instance);
      return {};
    }
    compile().then((module) => WebAssembly.instantiate(module, imports))
      .then((instance) => receive(instance))
      .catch((error) => fail('unable to load the game: ' + error.message));
    return {};
  }

  // ---- Sound and screen ----

  let audioContext = null;
  let gestureAudio = null;  // made in the gesture that leads to a match started later
  let wakeLock = null;      // the screen's lock while a match runs, as its request

  // The AudioContext for a match, made in the player's gesture: browsers let sound play
  // only from one, so the first round is heard. Null with the reason where it fails.
  function makeAudio() {
    const Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) return {context: null, error: 'this browser has no WebAudio'};
    try {
      return {context: new Context({latencyHint: 'interactive'}), error: undefined};
    } catch (error) {
      return {context: null, error: String(error && error.message || error)};
    }
  }

  // A phone or tablet may dim its screen while the players only watch the grid.
  function keepAwake() {
    if (!navigator.wakeLock || wakeLock || document.hidden || machine.state !== 'running') return;
    const asked = wakeLock = navigator.wakeLock.request('screen').catch(() => null);
    asked.then((lock) => {
      if (wakeLock === asked && lock) {
        lock.addEventListener('release', () => { if (wakeLock === asked) wakeLock = null; });
      } else {
        if (wakeLock === asked) wakeLock = null;
        if (lock) lock.release();
      }
    });
  }

  function letSleep() {
    const asked = wakeLock;
    wakeLock = null;
    if (asked) asked.then((lock) => lock && lock.release());
  }

  // A page out of sight is silent; its sound comes back with it, or, where the browser
  // wants a gesture for that, with the next touch or key.
  function hearing() {
    if (!audioContext || audioContext.state === 'closed') return;
    if (document.hidden) {
      audioContext.suspend().catch(() => {});
    } else if (audioContext.state !== 'running') {
      audioContext.resume().catch(() => {});
    }
  }
  document.addEventListener('visibilitychange', () => {
    hearing();
    if (document.hidden) letSleep(); else keepAwake();
  });
  for (const type of ['pointerup', 'keydown']) window.addEventListener(type, hearing, true);

  // ---- What the player sees ----

  function show(panel) {
    Array.from(panels).forEach((each) => { each.hidden = each !== panel; });
  }
  const say = (text) => { $('status').textContent = text; };
  // After a match with a friend: on the over screen and in the status line alike.
  const overSays = (text) => {
    $('over-asked').textContent = text;
    $('over-asked').hidden = false;
    say(text);
  };
  const bar = (on) => { $('link').hidden = !on; };
  function showRtt() {
    $('rtt').textContent = remote.rtt === null ? '' : remote.rtt + ' ms';
  }
  function showCount(n) {
    $('count').hidden = n === 0;
    $('count').textContent = n ? String(n) : '';
    if (n) show(null);
  }

  // ---- The machine and its effects ----

  // The two sides of a match with a friend elsewhere, made once their scripts have loaded
  // (remotePlay): no page is in the host's or the guest's mode before.
  let host = null, guest = null;
  const byMode = (context, side) => (context.data.mode === 'host' ? host : guest)[side];

  // A match starts in the gesture's task: its sound, its pads, its game.
  function startGame({data, payload, state}) {
    const mode = data.mode;
    startedAt = payload.timeStamp === undefined ? performance.now() : payload.timeStamp;
    status = null;
    // Alone or with a friend elsewhere, every key and pad here plays player 0: the other
    // pad would only be in the way.
    $('pad0').hidden = false;
    $('pad1').hidden = mode === 'alone' || mode === 'host';
    const sound = gestureAudio && gestureAudio.context &&
      gestureAudio.context.state !== 'closed' ? gestureAudio : makeAudio();
    gestureAudio = null;
    audioContext = sound.context;
    show(null);
    canvas.focus();
    const ended = {};
    const hostOptions = mode === 'host' ? host.options() : null;
    const options = Object.assign({
      canvas: canvas,
      audioContext: audioContext,
      audioError: sound.error,
      instantiateWasm: instantiate,
      onMatchEnd: (code) => {
        if (ended.done) return;
        ended.done = true;
        if (mode === 'host') hostOptions.onMatchEnd(code);
        status = code;
        machine.fire('over');
      },
      onFailure: fail,
    }, modeOptions(mode, machine.level));
    if (hostOptions) {
      options.onComposed = hostOptions.onComposed;
      options.onSound = hostOptions.onSound;
      options.onTaken = hostOptions.onTaken;
    }
    game = null;
    state.keep(createBrelvo(options)).then((made) => {
      game = made;
      // A friend who left while the game was made.
      if (mode === 'host' && machine.mode === 'two' && game.friendLeft) game.friendLeft();
      machine.fire('started');
    });
  }

  const effects = {
    enter: {
      gate: () => {
        game = null;
        bar(false);
        $('pad0').hidden = false;
        $('pad1').hidden = false;
        show($('gate'));
      },
      starting: startGame,
      running: (context) => {
        keepAwake();
        if (context.data.mode === 'guest') {
          showCount(0);
          show(null);
          guest.enter.running();
        }
      },
      over: () => {
        letSleep();
        $('over-asked').hidden = true;
        $('again').disabled = false;
        show($('over'));
        $('again').focus();
      },
      failed: ({data}) => {
        // The game ended without closing its sound: free it for the next try.
        if (audioContext && audioContext.state !== 'closed') audioContext.close().catch(() => {});
        letSleep();
        showCount(0);
        $('message').textContent = data.message;
        $('retry').hidden = !machine.can('retry');
        $('failed-home').hidden = !machine.can('home');
        show($('failed'));
        if (!$('retry').hidden) $('retry').focus();
      },
      inviting: (context) => {
        // This gesture's sound, for the first match: Invite's, made before remote play's
        // scripts loaded, or Try again's.
        gestureAudio = context.payload.sound || makeAudio();
        brelvoPanels.clear();
        show($('host'));
        bar(true);
        remote.rtt = null;
        showRtt();
        host.enter.inviting(context);
      },
      joining: () => {
        show($('joining'));
        $('join').hidden = !guest.canJoin;
        guest.enter.joining();
      },
      connecting: (context) => {
        bar(true);
        if (context.data.mode === 'guest') {
          // One pad on a touch screen: player 1's.
          $('pad0').hidden = true;
          show($('joining'));
        }
        byMode(context, 'enter').connecting(context);
      },
      connected: (context) => {
        show(null);
        // Play again with a friend: the sound of this gesture, for the match after the
        // countdown.
        if (context.event === 'again') gestureAudio = makeAudio();
        byMode(context, 'enter').connected(context);
      },
      counting: (context) => {
        context.state.onEnd(() => showCount(0));
        if (context.data.mode === 'host') host.enter.counting(context);
      },
      left: ({data, event}) => {
        showCount(0);
        letSleep();
        const text = data.mode === 'two' ? 'Your friend left.'
          : event === 'leave' ? 'You left the match.' : 'The host left.';
        if (event === 'gone') say(text);
        bar(true);
        $('ended-message').textContent = text;
        $('ended-again').hidden = data.mode !== 'two';
        $('pad0').hidden = false;
        $('pad1').hidden = false;
        show($('ended'));
        $('home').focus();
      },
      held: (context) => {
        say('Reconnecting…');
        byMode(context, 'enter').held(context);
      },
      handing: ({payload}) => {
        show($('handoff'));
        brelvoPanels.handOver(payload.fragment);
      },
    },
    run: {
      // The host's friend left mid-match: player 1 is on this device's arrows again.
      friendLeft: () => {
        host.friendLeft();
        say('Your friend left.');
        // An over screen's Play again is for two players here now.
        $('over-asked').hidden = true;
        $('again').disabled = false;
        $('pad1').hidden = false;
      },
      count: (context) => {
        if (context.data.mode !== 'guest') return;
        if (context.data.state === 'held') say('Connected');
        guest.count(context);
      },
      resume: (context) => {
        say('Connected');
        host.resume(context);
      },
      hold: () => {
        say('Reconnecting…');
        host.hold();
      },
      // Another match with a friend: this page asks (and the host's gesture makes the
      // sound for it), or the friend has asked.
      ask: (context) => {
        if (context.data.mode === 'host') gestureAudio = makeAudio();
        if (peer()) peer().send({k: 'again'});
        if (context.data.state === 'over') {
          $('again').disabled = true;
          overSays('Waiting for your friend to play again.');
        }
      },
      asked: () => overSays('Your friend wants another match: Play again to start it.'),
    },
  };
  const machine = brelvoMachine.create(effects);

  // What the page is doing, for the player's eyes and for the tests: read only.
  const view = window.brelvo = {
    get state() { return machine.state; },
    get mode() { return machine.mode; },
    get message() { return machine.state === 'failed' ? $('message').textContent : null; },
    get status() { return status; },
    get game() { return game; },
    get startedAt() { return startedAt; },
    get computerLevel() { return machine.level; },
    remote: remote,
    // The page's other way to play (the touch pads) presses the players' own keys:
    // one key by its name ('w', 'ArrowUp', 'Escape'), down or up, while a match runs.
    press(key, down) {
      if (key === 'Escape' && waiting()) {
        if (down) machine.fire('back');
      } else if (machine.mode === 'guest') {
        guest.press(key, down);
      } else if (machine.state === 'running' && game && game.key) {
        game.key(key, down);
      }
    },
  };

  const sides = {machine: machine, view: remote, panels: brelvoPanels, status: say,
                 showRtt: showRtt, showCount: showCount, game: () => game,
                 makeAudio: makeAudio, adoptAudio: (context) => { audioContext = context; },
                 setGame: (made) => { game = made; }, instantiate: instantiate, fail: fail,
                 supported: supported, cannotConnect: cannotConnect};
  // Remote play's scripts (panels.js), loaded at the first invite or link, and the two sides
  // made of them.
  function remotePlay() {
    return brelvoPanels.loadLater().then(() => {
      if (!host) {
        host = brelvoHost.create(sides);
        guest = brelvoGuest.create(sides);
      }
    });
  }
  const peer = () => host && (host.peer() || guest.peer());
  Object.defineProperty(remote, 'channel', {get: () => peer() && peer().channel});
  Object.defineProperty(remote, 'frameChannel', {get: () => peer() && peer().frameChannel});
  Object.defineProperty(remote, 'open', {get: () => !!(peer() && peer().open)});

  // ---- The player's clicks and keys ----

  // On the start screen, a button's mode: the one it names, or none for a button that
  // starts nothing. Anywhere else on the start screen is two players.
  const chosen = (target) => {
    const button = target instanceof Element && target.closest('#gate button');
    return button ? button.dataset.mode : 'two';
  };
  function choose(event, mode) {
    if (mode === 'remote') invite();
    else machine.fire('play', {mode: mode, timeStamp: event.timeStamp});
  }
  // Invite a friend: remote play's scripts first, then the invite if the start screen is
  // still up, its sound made in the player's gesture as browsers want. Scripts that cannot
  // load (offline before any invite kept them) are said on the start screen.
  const prompting = $('prompt').textContent;
  function invite() {
    const gate = machine.stateScope;
    const sound = makeAudio();
    if (!host) $('prompt').textContent = 'Making your invite…';
    remotePlay().then(() => {
      $('prompt').textContent = prompting;
      return gate.alive && machine.fire('invite', {sound: sound});
    }, (error) => {
      $('prompt').textContent = gate.alive ? 'Could not make an invite: ' + error.message
        : prompting;
      return false;
    }).then((fired) => {
      if (fired === false && sound.context) sound.context.close().catch(() => {});
    });
  }

  // Any key but the ones that move focus or only modify others starts two players; Enter
  // or Space on a start screen's button is that button's.
  const ignored = new Set(['Tab', 'Shift', 'Control', 'Alt', 'Meta', 'Escape']);
  // After a match or a failure, Enter or Space plays that mode again, wherever the focus
  // went.
  const again = new Set(['Enter', ' ']);
  // The host waiting for its friend's page, or counting down: Esc gives up.
  const waiting = () => machine.mode === 'host' && machine.can('back') &&
    (machine.state === 'connected' || machine.state === 'counting');
  window.addEventListener('keydown', (event) => {
    if (event.repeat) return;
    if (event.key === 'Escape' && waiting()) {
      machine.fire('back');
    } else if (machine.state === 'gate' && !ignored.has(event.key)) {
      const mode = again.has(event.key) ? chosen(document.activeElement) : 'two';
      if (!mode) return;
      event.preventDefault();
      choose(event, mode);
    } else if (again.has(event.key) &&
               (machine.state === 'over' || machine.state === 'failed') &&
               machine.can(machine.state === 'over' ? 'again' : 'retry') &&
               !(document.activeElement instanceof HTMLButtonElement &&
                 document.activeElement.id.endsWith('home'))) {
      event.preventDefault();
      machine.fire(machine.state === 'over' ? 'again' : 'retry', {timeStamp: event.timeStamp});
    }
  });
  $('gate').addEventListener('click', (event) => {
    const mode = chosen(event.target);
    if (mode) choose(event, mode);
  });
  // A gamepad shows itself with its first button. On the start screen that press starts a
  // match only where the browser counts it as the player's gesture, which sound needs;
  // elsewhere the start screen asks for a tap, a click or a key.
  window.addEventListener('gamepadconnected', () => {
    if (machine.state !== 'gate') return;
    if (navigator.userActivation && navigator.userActivation.isActive) {
      machine.fire('play', {mode: 'two', timeStamp: performance.now()});
    } else {
      $('prompt').textContent = 'a pad plays once a match runs: tap, click or press a key to start';
    }
  });
  const click = (id, event) => $(id).addEventListener('click', (e) =>
    machine.fire(event, {timeStamp: e.timeStamp}));
  click('again', 'again');
  click('ended-again', 'again');
  click('retry', 'retry');
  click('over-home', 'home');
  click('failed-home', 'home');
  click('home', 'home');
  click('cancel', 'back');
  click('join', 'join');
  function connect() {
    const problem = host.takeReply($('reply').value);
    if (problem) say(problem);
  }
  $('connect').addEventListener('click', connect);
  $('reply').addEventListener('keydown', (event) => { if (event.key === 'Enter') connect(); });
  $('invite').hidden = !supported;

  // ---- The page's address ----

  // Opened from the disk the page cannot fetch its own game: it says so at once.
  if (!served) {
    machine.keep({served: false});
    machine.fire('unserved', {
      message: 'This page must be served from a web server: unpack the zip into a ' +
        'folder a web server serves (README.txt says how), or run tools/web.sh serve ' +
        'in the game\'s source.',
    });
    return;
  }
  // Served without the game's script (a copy short of a file), nothing could start: say
  // so now rather than on the player's first press.
  if (typeof createBrelvo !== 'function') {
    machine.fire('missing', {
      message: 'unable to load the game: brelvo.js did not load. Put every file of the ' +
        'zip in the page\'s folder on the server, then reload the page.',
    });
    return;
  }

  // A link's fragment: an invite to join, or a reply for this browser's waiting invite.
  // A link pasted into a tab that shows the page already loads it afresh, but for the
  // reply pasted into the very tab whose invite waits for it, which a reload would lose.
  const base = brelvoPanels.base;
  window.addEventListener('hashchange', () => {
    const fragment = location.hash.slice(1);
    if (!fragment) return;
    if (host && host.waits(fragment.split('.')[1])) {
      history.replaceState(null, '', base);
      const problem = host.takeReply(fragment);
      if (problem) say(problem);
      return;
    }
    location.reload();
  });
  // Remote play's scripts come first; meanwhile no panel shows. A link whose scripts cannot
  // load keeps its address, for a reload once they can.
  const fragment = location.hash.slice(1);
  if (fragment) {
    show(null);
    remotePlay().then(() => {
      history.replaceState(null, '', base);  // a reload is a fresh start
      const link = brelvoGuest.unpack(fragment);
      if (link && link.type === 'answer') {
        machine.fire('handed', {fragment: fragment});
      } else {
        $('joining-message').textContent = guest.invitedBy(fragment, link);
        machine.fire('invited');
      }
    }, (error) => machine.fire('missing', {
      message: 'Could not open the link: ' + error.message + '. Reload the page once this ' +
        'device is online.',
    }));
  } else {
    machine.fire('ready');
  }

  if ('serviceWorker' in navigator) {
    navigator.serviceWorker.register('sw.js').catch(() => {});
  }
})();
