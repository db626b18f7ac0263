// The guest of a match with a friend elsewhere, joined from the host's invite link: its
// reply, every frame the host composes drawn at this window's size, every sound the
// host's mixer plays played from this page's own copy of the clips (the game's guest
// instance, which draws nothing and hears no key), and its presses sent to the host as
// player 1's. The page's machine (machine.js) calls it; it tells the machine what
// happened by its events.
'use strict';
(function (root) {
  const CONNECT_MS = 20000;  // from the host's first checks to an open connection
  // The reply link shows this long after Join when no broker took the reply, or at the
  // longest wait, still unconnected, when one did (the host's page may hear another).
  const REPLY_MS = 4000;
  const REPLY_LATEST_MS = 10000;
  const WAY_OF = {w: 'up', s: 'down', a: 'left', d: 'right', ArrowUp: 'up', ArrowDown: 'down',
                  ArrowLeft: 'left', ArrowRight: 'right'};

  // page: {machine, view, panels, status(text), showRtt(), showCount(n), makeAudio(),
  // adoptAudio(context), instantiate, fail(text)}.
  function create(page) {
    const {machine, panels} = page;
    const $ = (id) => document.getElementById(id);
    let invited = '';      // the invite this page was opened with: the host's offer
    let secret = null;     // and the rendezvous's secret, when the invite has one
    let peer = null;
    let game = null;       // the guest instance: its clips and mixer
    let shown = null;      // the host's newest frame
    let pressed = 0;       // this page's presses, numbered for the host's frames to name
    let voided = 0;        // the newest of them made before a hold: the host takes none later
    const down = new Map(); // key name: way, held here

    // A frame from the host, drawn whole at this window's size with the game's geometry,
    // this page's own fighter moved by its presses the host has not shown yet.
    function draw() {
      if (!shown) return;
      const cells = game && game.predict ? game.predict(shown.cells, Math.max(shown.taken, voided))
        : shown.cells;
      const canvas = $('game');
      const w = Math.max(1, canvas.clientWidth), h = Math.max(1, canvas.clientHeight);
      if (canvas.width !== w || canvas.height !== h) {
        canvas.width = w;
        canvas.height = h;
      }
      const g = canvas.getContext('2d', {alpha: false});
      g.fillStyle = '#000';
      g.fillRect(0, 0, w, h);
      const s = Math.min(Math.trunc(w / 11), Math.trunc(h / 9));
      const x0 = Math.trunc((w - 9 * s) / 2), y0 = Math.trunc((h - 9 * s) / 2);
      for (let i = 0; i < 99; i++) {
        const [r, gr, b] = cells.subarray(3 * i, 3 * i + 3);
        if (r | gr | b) {
          g.fillStyle = `rgb(${r},${gr},${b})`;
          g.fillRect(x0 + (i % 11 - 1) * s, y0 + Math.trunc(i / 11) * s, s, s);
        }
      }
      page.view.frames.shown++;
      if (game) {
        game.frames = (game.frames || 0) + 1;
        if (game.onFrame) game.onFrame();  // as the host's game tells each frame
      }
    }
    window.addEventListener('resize', () => { if (machine.mode === 'guest') draw(); });

    function fromHost(m) {
      if (m.k === 'count') {
        machine.fire('count', {n: m.n});
      } else if (m.k === 'start') {
        machine.fire('start');
      } else if (m.k === 'over') {
        release();
        machine.fire('over');
      } else if (m.k === 'again') {
        machine.fire('asked');
      } else if (game && game.sound && !game.sound(m)) {
        page.view.dropped++;  // a clip this page has not
      }
    }

    // Entering 'connecting': the guest instance, the connection and the reply link.
    async function join({mode: session, state}) {
      $('join').disabled = true;
      shown = null;
      const audio = page.makeAudio();
      page.adoptAudio(audio.context);
      createBrelvo({
        arguments: ['--guest'],
        audioContext: audio.context,
        audioError: audio.error,
        instantiateWasm: page.instantiate,
        onFailure: page.fail,
        // Its gamepads' keys, while a match runs, as the host's own pads play.
        onPress: (key, isDown) => { if (machine.state === 'running') press(key, isDown); },
      }).then((made) => {
        if (!session.alive) {
          if (made.leave) made.leave();
          return;
        }
        game = made;
        game.frames = 0;
        page.setGame(made);
      });
      session.onEnd(() => {
        release();
        // The instance closes its own sound as it leaves.
        if (game && game.leave) {
          game.leave();
          page.adoptAudio(null);
        }
        game = null;
        peer = null;
      });
      let checking = false;
      peer = root.brelvoPeer.create('guest', session, page.view, {
        open: () => machine.fire('open'),
        gone: () => machine.fire('gone'),
        message: fromHost,
        frame: (frame) => {
          shown = frame;
          page.view.taken = frame.taken;
          draw();
        },
        // The clock for connecting starts when the host's checks arrive.
        checking: () => {
          if (checking || machine.state !== 'connecting') return;
          checking = true;
          machine.stateScope.timeout(() => machine.fire('timeout', {message: page.cannotConnect}),
                                     CONNECT_MS);
        },
        seen: () => {},
        version: () => page.status('Your friend\'s page is another version of Brelvo: reload this page to play.'),
        rtt: () => page.showRtt(),
        renewed: () => {},
        quiet: () => machine.fire('quiet'),
        heard: () => machine.fire('heard'),
      });
      session.listen(document, 'visibilitychange', () => {
        if (document.hidden) release();
        peer.send({k: 'beat', t: 0, s: document.hidden ? 0 : 1});
      });
      session.listen(window, 'blur', release);
      session.listen(window, 'pagehide', () => peer.send({k: 'leave'}));
      page.status('Making your reply…');
      const loading = panels.loadLater();
      const offer = root.brelvoLink.unpack(invited);
      // The host's candidates stay out: this page sends nothing until the host, given the
      // reply, reaches it. A second guest with the same link disturbs no one.
      offer.sdp = offer.sdp.split('\r\n').filter((line) => !/^a=candidate:\S+ \d+ \S+ \d+ \S+ \d+ typ (host|srflx)/.test(line)).join('\r\n');
      let answer;
      try {
        answer = await peer.answer(offer);
        await loading;
      } catch (error) {
        if (state.alive) machine.fire('fail', {message: 'Could not join: ' + error.message});
        return;
      }
      if (!state.alive) return;
      // The tag names the invite, so that the host's page knows a reply to an old one.
      const reply = root.brelvoLink.pack(answer) + '.' + invited.slice(-4);
      const showReply = () => {
        if (!state.alive || !$('reply-box').hidden) return;
        panels.showLink('reply', panels.base + '#' + reply, 'the reply link');
        page.status('Now your friend must open this reply link, or paste it into their page');
      };
      const told = page.view.rendezvous;
      Object.assign(told, {brokers: 0, live: 0, heard: 0, dropped: 0, replyBy: null});
      let room = null;
      // Counted from here: brokers slow to be listed, or to answer, are no broker.
      const began = Date.now();
      state.interval(() => {
        const waited = Date.now() - began;
        if ((waited >= REPLY_MS && !(room && room.live)) || waited >= REPLY_LATEST_MS) showReply();
      }, 500);
      if (secret) {
        try {
          room = await state.keep(root.brelvoRendezvous.room(secret, 'guest', state, {
            message: () => {},
            live: (n) => { told.live = n; },
          }, {repeatMs: 3000, repeats: 3}));
        } catch (error) {
          room = null;  // no WebCrypto (a page not served over https): the reply link
        }
      }
      if (!room || !room.brokers) {
        showReply();
        return;
      }
      told.brokers = room.brokers;
      page.status('Sending your reply to your friend\'s page…');
      room.send('answer', {reply: reply}).catch(showReply);
    }

    // The guest's presses, from its keys, its pad or its gamepad: player 1's, on the host.
    function press(key, isDown) {
      if (key === 'Escape') {
        if (isDown) machine.fire('leave');
        return;
      }
      const way = isDown ? WAY_OF[key] : down.get(key);
      if (!way || machine.state !== 'running') return;
      if (isDown) down.set(key, way); else down.delete(key);
      if (!peer) return;
      if (isDown) page.view.pressed = ++pressed;
      peer.send({k: 'key', key: way, d: isDown ? 1 : 0, n: pressed});
      if (isDown && game && game.predictPress) {
        game.predictPress(pressed, way, performance.now());
        draw();
      }
    }
    function release() {
      down.forEach((way, key) => press(key, false));
    }

    function onKey(event) {
      if (machine.mode !== 'guest' || event.repeat ||
          (event.target instanceof Element && event.target.closest('input, textarea'))) {
        return;
      }
      if (WAY_OF[event.key] || event.key === 'Escape') {
        if (machine.state === 'running') event.preventDefault();
        press(event.key, event.type === 'keydown');
      }
    }
    window.addEventListener('keydown', onKey, true);
    window.addEventListener('keyup', onKey, true);

    return {
      peer: () => peer,
      // The invite this page was opened with: a message for the joining panel.
      invitedBy(fragment, link) {
        const [offer, key] = fragment.split('.');
        invited = offer;
        secret = key || null;
        return !page.supported ? 'This browser cannot play with a friend elsewhere.'
          : !link ? 'This invite link is damaged: ask your friend for a new one.'
            : 'Your friend invites you to a match of Brelvo. Join it to play the right-hand ' +
              'player, with your keys, your touch screen or a gamepad.';
      },
      get canJoin() { return page.supported && !!invited && !!safeUnpack(invited); },
      enter: {
        // The invite again (Try again): an old reply would answer a connection closed.
        joining: () => {
          $('join').disabled = false;
          $('reply-box').hidden = true;
          $('reply-link').value = '';
        },
        connecting: join,
        connected: () => page.status('Connected'),
        running: () => $('game').focus(),
        // The host not heard: the host lets go of this page's keys itself, none is sent
        // meanwhile, and none sent before that the host has not shown is foreseen: a held
        // match takes no press, and one lost with a connection never comes.
        held: () => {
          down.clear();
          voided = pressed;
        },
      },
      // A step of the host's countdown.
      count: ({payload}) => page.showCount(payload.n || 0),
      press: press,
    };
  }

  function safeUnpack(text) {
    try {
      return root.brelvoLink.unpack(text.split('.')[0]);
    } catch (error) {
      return null;
    }
  }

  root.brelvoGuest = {create: create, unpack: safeUnpack};
})(window);
