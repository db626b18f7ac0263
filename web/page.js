// The page around the game: the gate whose click, tap or key starts it (and with it the
// sound), two players, one against the computer or two on two devices (remote.js), the
// end of a match, and a failure's message; the sound and the screen while the page is
// out of sight and back.
'use strict';
(function () {
  const $ = (id) => document.getElementById(id);
  const canvas = $('game');
  const panels = document.getElementsByClassName('panel');
  // What the page is doing, for the player's eyes and for the tests. mode: 'two' players,
  // one 'alone' against the computer or 'remote' with a friend elsewhere, as the last
  // start chose; computerReaction: the computer's last level (its reaction in ms), where
  // the next match against it starts.
  const page = window.brelvo = {state: 'gate', status: null, message: null, game: null,
                                startedAt: null,  // the starting gesture's time
                                mode: 'two', computerReaction: null};

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

  function show(panel) {
    Array.from(panels).forEach((each) => { each.hidden = each !== panel; });
  }
  page.show = show;

  let audioContext = null;
  let wakeLock = null;  // the screen's lock while a match runs, as its request

  // A phone or tablet may dim its screen while the players only watch the grid.
  function keepAwake() {
    if (!navigator.wakeLock || wakeLock || document.hidden || page.state !== 'running') return;
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

  function fail(text) {
    // The game ended without closing its sound: free it for the next try.
    if (audioContext && audioContext.state !== 'closed') audioContext.close();
    page.state = 'failed';
    letSleep();
    page.message = text;
    $('message').textContent = text;
    show($('failed'));
    $('retry').focus();
  }

  // Compiled while the player read the gate, the game starts in the gesture's own task
  // and draws its first frame before the browser paints the page again.
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
  page.instantiate = instantiate;
  page.fail = fail;

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
  page.makeAudio = makeAudio;
  // A friend's page plays the host's sounds on a context of its own: it is heard and
  // silenced with the page as the game's is.
  page.adoptAudio = (context) => { audioContext = context; };

  // The gesture that starts a match also makes its AudioContext. A start that names no
  // mode plays the last one again. A match with a friend elsewhere starts from the
  // connection, with the sound its first gesture made and what the connection adds
  // (page.remote.options).
  function start(event, mode) {
    if (page.state === 'starting' || page.state === 'running') return;
    page.state = 'starting';
    page.startedAt = event.timeStamp;
    page.mode = mode || page.mode;
    const alone = page.mode === 'alone';
    const remote = page.mode === 'remote' ? page.remote.options() : {};
    // Alone or with a friend elsewhere, every key and pad here plays player 0: the other
    // pad would only be in the way.
    $('pad0').hidden = false;
    $('pad1').hidden = alone || page.mode === 'remote';
    const sound = remote.audioContext ? {context: remote.audioContext} : makeAudio();
    audioContext = sound.context;
    const audioError = sound.error;
    show(null);
    canvas.focus();
    createBrelvo({
      canvas: canvas,
      arguments: alone ? ['--computer'] : [],
      computerReaction: alone && page.computerReaction || 0,
      onComputerReaction: (ms) => { page.computerReaction = ms; },
      audioContext: audioContext,
      audioError: audioError,
      instantiateWasm: instantiate,
      remote: remote.remote,
      onComposed: remote.onComposed,
      onSound: remote.onSound,
      onMatchEnd: (status) => {
        if (remote.onMatchEnd) remote.onMatchEnd(status);
        page.state = 'over';
        letSleep();
        page.status = status;
        show($('over'));
        $('again').focus();
      },
      onFailure: fail,
    }).then((game) => {
      page.game = game;
      if (page.state === 'starting') page.state = 'running';
      keepAwake();
    });
  }

  // The page's other ways to play (touch pads, gamepads) press the players' own keys:
  // one key by its name ('w', 'ArrowUp', 'Escape'), down or up, while a match runs.
  page.press = (key, down) => {
    if (page.state === 'running' && page.game && page.game.key) page.game.key(key, down);
  };
  page.start = start;  // remote.js puts the remote start in front of it

  // On the gate, a button's mode: the one it names, or none for a button that starts
  // nothing. Anywhere else on the gate is two players.
  const chosen = (target) => {
    const button = target instanceof Element && target.closest('#gate button');
    return button ? button.dataset.mode : 'two';
  };

  // Any key but the ones that move focus or only modify others starts two players;
  // Enter or Space on a gate's button is that button's.
  const ignored = new Set(['Tab', 'Shift', 'Control', 'Alt', 'Meta', 'Escape']);
  // After a match or a failure, Enter or Space plays that mode again, wherever the focus
  // went.
  const again = new Set(['Enter', ' ']);
  window.addEventListener('keydown', (event) => {
    if (event.repeat) return;
    let mode;
    if (page.state === 'gate' && !ignored.has(event.key)) {
      mode = again.has(event.key) ? chosen(document.activeElement) : 'two';
      if (!mode) return;
    } else if (!((page.state === 'over' || (page.state === 'failed' && !$('retry').hidden)) &&
                 again.has(event.key))) {
      return;
    }
    event.preventDefault();
    page.start(event, mode);
  });
  $('gate').addEventListener('click', (event) => {
    const mode = chosen(event.target);
    if (mode) page.start(event, mode);
  });
  $('again').addEventListener('click', (event) => page.start(event));
  $('retry').addEventListener('click', (event) => page.start(event));

  // Opened from the disk the page cannot fetch its own game: it says so at once.
  if (!served) {
    page.state = 'failed';
    page.message = 'This page must be served from a web server: unpack the zip into a ' +
      'folder a web server serves (README.txt says how), or run tools/web.sh serve ' +
      'in the game\'s source.';
    $('message').textContent = page.message;
    $('retry').hidden = true;
    show($('failed'));
    return;
  }

  if ('serviceWorker' in navigator) {
    navigator.serviceWorker.register('sw.js').catch(() => {});
  }
})();
