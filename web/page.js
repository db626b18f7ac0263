// The page around the game: the game's start in the player's gesture (and with it the
// sound), the sound and the screen while the page is out of sight and back, the page's
// address, and what the tests read. What the page is doing and what it shows are the
// machine's (machine.js), drawn by view.js: this file gives the machine the effects of
// each state, and wires the panels (panels.js), the pads (touch.js) and the two sides of a
// match with a friend elsewhere (host.js, guest.js) to it.
'use strict';
(function () {
  const canvas = document.getElementById('game');
  const supported = typeof RTCPeerConnection === 'function';
  // Both pages say it; only whoever serves the page can add the relay.
  const cannotConnect = 'Could not connect to your friend. Your networks may not let two ' +
    'devices reach each other directly: a TURN server, which whoever serves this page ' +
    'can add to its ice-servers.json, relays for them.';

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

  // A phone or tablet may dim its screen while the players only watch the grid, or while
  // it is a player's pad at a big screen.
  function keepAwake() {
    if (!navigator.wakeLock || wakeLock || document.hidden ||
        !['running', 'seated'].includes(machine.state)) {
      return;
    }
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

  // The game's guest instance, which draws nothing and hears no key: the clips and the
  // mixer with which a friend's page, or a watcher, plays the match's sounds. Gone with
  // `session`. Made outside a gesture, its sound starts with the next touch or key.
  function guestGame(session, onPress) {
    const audio = makeAudio();
    audioContext = audio.context;
    createBrelvo({
      arguments: ['--guest'],
      audioContext: audio.context,
      audioError: audio.error,
      instantiateWasm: instantiate,
      onFailure: fail,
      onPress: onPress,
    }).then((made) => {
      if (!session.alive) {
        if (made.leave) made.leave();
        return;
      }
      made.frames = 0;
      machine.show({game: made});
      session.onEnd(() => {
        // The instance closes its own sound as it leaves.
        if (made.leave) made.leave();
        audioContext = null;
        if (machine.view.game === made) machine.show({game: null});
      });
    });
  }

  // ---- The machine and its effects ----

  // The two sides of a match with a friend elsewhere, the big screen and a phone at one,
  // made once their scripts have loaded (remotePlay): no page is in their modes before.
  let host = null, guest = null, screen = null, seat = null;
  const byMode = (context, side) => ({host: host, guest: guest, screen: screen, pad: seat,
                                      watch: seat})[context.data.mode][side];

  // A match starts in the gesture's task: its sound, its game.
  function startGame({data, payload, state}) {
    const mode = data.mode;
    machine.show({startedAt: payload.timeStamp === undefined ? performance.now()
      : payload.timeStamp});
    const sound = gestureAudio && gestureAudio.context &&
      gestureAudio.context.state !== 'closed' ? gestureAudio : makeAudio();
    gestureAudio = null;
    audioContext = sound.context;
    const ended = {};
    const hostOptions = mode === 'host' ? host.options() : mode === 'screen' ? screen.options()
      : null;
    const options = Object.assign({
      canvas: canvas,
      audioContext: audioContext,
      audioError: sound.error,
      instantiateWasm: instantiate,
      onMatchEnd: (code) => {
        if (ended.done) return;
        ended.done = true;
        if (hostOptions) hostOptions.onMatchEnd(code);
        machine.show({code: code});
        machine.fire('over');
      },
      onFailure: fail,
    }, modeOptions(mode, machine.level));
    if (hostOptions) {
      options.onComposed = hostOptions.onComposed;
      options.onSound = hostOptions.onSound;
      options.onTaken = hostOptions.onTaken;
    }
    if (mode === 'screen') {
      // The big screen: the phones hold sides, and the right one may be the computer's.
      options.arguments = hostOptions.arguments.concat(screen.computer
        ? modeOptions('alone', machine.level).arguments : []);
      options.onComputerLevel = (ms) => machine.keep({level: ms});
    }
    state.keep(createBrelvo(options)).then((made) => {
      machine.show({game: made});
      if (mode === 'screen') screen.started(made);
      // A friend who left while the game was made.
      if (mode === 'host' && machine.mode === 'two' && made.friendLeft) made.friendLeft();
      machine.fire('started');
    });
  }

  // What the page shows as each state comes is the machine's; here what comes with it.
  let drawing = false;  // a drawing of the view is on its way
  const effects = {
    enter: {
      starting: startGame,
      running: keepAwake,
      over: letSleep,
      failed: () => {
        // The game ended without closing its sound: free it for the next try.
        if (audioContext && audioContext.state !== 'closed') audioContext.close().catch(() => {});
        letSleep();
      },
      inviting: (context) => {
        // This gesture's sound, for the first match: Invite's, made before remote play's
        // scripts loaded, or Try again's.
        gestureAudio = context.payload.sound || makeAudio();
        host.enter.inviting(context);
      },
      connecting: (context) => byMode(context, 'enter').connecting(context),
      connected: (context) => {
        // Play again with a friend: the sound of this gesture, for the match after the
        // countdown.
        if (context.event === 'again') gestureAudio = makeAudio();
        if (context.data.mode === 'host') host.enter.connected(context);
      },
      counting: (context) => {
        if (context.data.mode === 'host' || context.data.mode === 'screen') {
          byMode(context, 'enter').counting(context);
        }
      },
      left: letSleep,
      held: (context) => byMode(context, 'enter').held(context),
      lobby: (context) => {
        gestureAudio = context.payload.sound || gestureAudio || makeAudio();
        screen.enter.lobby(context);
      },
      seating: (context) => seat.enter.seating(context),
      seated: keepAwake,
      handing: ({payload}) => brelvoPanels.handOver(machine, payload.fragment),
    },
    run: {
      // The host's friend left mid-match: player 1 is on this device's arrows again.
      friendLeft: () => host.friendLeft(),
      resume: (context) => byMode(context, 'resume')(context),
      hold: (context) => byMode(context, 'hold')(),
      // Another match with a friend: this page asks (and the host's gesture makes the
      // sound for it).
      ask: (context) => {
        if (context.data.mode === 'host') gestureAudio = makeAudio();
        if (peer()) peer().send({k: 'again'});
      },
    },
    // The page is drawn as it changes, but for the ways a finger lights on a pad: those a
    // microtask later, after the game's own wake, so that a touch never holds up the frame
    // it plays. (A guest's own move shows within its key's own handler.)
    changed: () => {
      if (!brelvoView.litAlone(machine.view)) {
        brelvoView.draw(machine.view);
      } else if (!drawing) {
        drawing = true;
        queueMicrotask(() => {
          drawing = false;
          brelvoView.draw(machine.view);
        });
      }
    },
  };
  const machine = brelvoMachine.create(effects);

  // The page's other ways to play: the touch pads press a player's way, down or up, while a
  // match runs, which reaches the game as that player's press from this device; End match
  // presses a key by its name ('Escape'), as the keyboard would.
  function press(key, down) {
    const game = machine.view.game;
    if (key === 'Escape' && brelvoPanels.waiting(machine)) {
      if (down) machine.fire('back');
    } else if (machine.mode === 'guest') {
      guest.press(key, down);
    } else if (machine.mode === 'pad' || machine.mode === 'watch') {
      seat.press(key, down);
    } else if (machine.state === 'running' && game && game.key) {
      game.key(key, down);
    }
  }
  function pressWay(player, way, down) {
    const game = machine.view.game;
    if (machine.mode === 'guest') {
      guest.pressWay(player, way, down);
    } else if (machine.mode === 'pad') {
      seat.pressWay(player, way, down);
    } else if (machine.state === 'running' && game && game.press) {
      game.press('here', player, way, down);
    }
  }

  // The figures of a connection, as they are now, and the connection's channels.
  const remote = {};
  for (const name of Object.keys(machine.view.remote)) {
    Object.defineProperty(remote, name, {enumerable: true, get: () => machine.view.remote[name]});
  }
  // What the page is doing, for the tests and the bench: read only.
  window.brelvo = {
    get state() { return machine.state; },
    get mode() { return machine.mode; },
    get message() { return machine.state === 'failed' ? machine.view.message : null; },
    get status() { return machine.view.code; },  // how the last match ended
    get game() { return machine.view.game; },  // the game's instance (the guest's: its sound)
    get startedAt() { return machine.view.startedAt; },  // the starting gesture's time
    get computerLevel() { return machine.level; },
    remote: remote,
    press: press,
    // The big screen's figures: each frame's time to send, each phone's bytes.
    get party() { return screen && machine.mode === 'screen' ? screen.figures() : null; },
    get seat() { return seat && seat.channel(); },  // a phone's channel to its big screen
  };

  const sides = {machine: machine, panels: brelvoPanels, makeAudio: makeAudio,
                 guest: guestGame, supported: supported, cannotConnect: cannotConnect};
  // Remote play's scripts (panels.js), loaded at the first invite or link, and the two sides
  // made of them.
  function remotePlay() {
    return brelvoPanels.loadLater().then(() => {
      if (!host) {
        host = brelvoHost.create(sides);
        guest = brelvoGuest.create(sides);
        screen = brelvoScreen.create(sides);
        seat = brelvoSeat.create(sides);
      }
    });
  }
  const peer = () => host && (host.peer() || guest.peer());
  Object.defineProperty(remote, 'channel', {get: () => peer() && peer().channel});
  Object.defineProperty(remote, 'frameChannel', {get: () => peer() && peer().frameChannel});
  Object.defineProperty(remote, 'open', {get: () => !!(peer() && peer().open)});

  // Invite a friend: remote play's scripts first, then the invite if the start screen is
  // still up, its sound made in the player's gesture as browsers want. Scripts that cannot
  // load (offline before any invite kept them) are said on the start screen.
  function invite() {
    const gate = machine.stateScope;
    const sound = makeAudio();
    if (!host) machine.show({prompt: 'Making your invite…'});
    remotePlay().then(() => {
      machine.show({prompt: null});
      return gate.alive && machine.fire('invite', {sound: sound});
    }, (error) => {
      machine.show({prompt: gate.alive ? 'Could not make an invite: ' + error.message : null});
      return false;
    }).then((fired) => {
      if (fired === false && sound.context) sound.context.close().catch(() => {});
    });
  }
  // The big screen, as Invite: its scripts, then its codes, with the gesture's sound.
  function bigScreen() {
    const gate = machine.stateScope;
    const sound = makeAudio();
    remotePlay().then(() => gate.alive && machine.fire('big', {sound: sound}),
                      (error) => {
                        machine.show({prompt: gate.alive ? 'Could not open the big screen: ' +
                                        error.message : null});
                        return false;
                      })
      .then((fired) => {
        if (fired === false && sound.context) sound.context.close().catch(() => {});
      });
  }
  // A reply given to the host's page (its Reply field, or the address of its own tab): what
  // is wrong with it, said in the status line.
  function takeReply(text) {
    const problem = host.takeReply(text);
    if (problem) machine.show({status: problem});
  }

  brelvoPanels.wire(machine, {invite: invite, takeReply: takeReply, bigScreen: bigScreen,
                              computer: (on) => screen && screen.giveComputer(on),
                              again: () => seat && seat.again(),
                              screenReply: (text) => screen && screen.takeReply(text)});
  brelvoTouch.wire(machine, {key: press, way: pressWay});
  machine.show({canInvite: supported, local: /^(localhost|127\.|\[::1\])/.test(location.host)});

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
      takeReply(fragment);
      return;
    }
    location.reload();
  });
  // Remote play's scripts come first; meanwhile no panel shows (the machine's loading). A
  // link whose scripts cannot load keeps its address, for a reload once they can.
  const fragment = location.hash.slice(1);
  if (fragment) {
    remotePlay().then(() => {
      const party = seat.linkedBy(fragment);
      if (party) {
        // A big screen's link stays in the address: a reload joins again, as the same phone.
        machine.fire('seat', {mode: party.side < 0 ? 'watch' : 'pad'});
        return;
      }
      history.replaceState(null, '', base);  // a reload is a fresh start
      const link = brelvoGuest.unpack(fragment);
      if (link && link.type === 'answer') {
        machine.fire('handed', {fragment: fragment});
      } else {
        machine.show({invitedBy: guest.invitedBy(fragment, link), canJoin: guest.canJoin});
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
