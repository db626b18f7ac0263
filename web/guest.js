// The guest of a match with a friend elsewhere, joined from the host's invite link: its
// reply, every frame the host composes shown at this window's size, every sound the
// host's mixer plays played from this page's own copy of the clips (the game's guest
// instance, which draws nothing and hears no key), and its presses sent to the host as
// player 1's. The page's machine (machine.js) calls it; it tells the machine what
// happened by its events, and what the page shows by its show() and count().
'use strict';
(function (root) {
  const CONNECT_MS = 20000;  // from the host's first checks to an open connection
  // The reply link shows this long after Join when no broker took the reply, or at the
  // longest wait, still unconnected, when one did (the host's page may hear another).
  const REPLY_MS = 4000;
  const REPLY_LATEST_MS = 10000;

  // page: {machine, panels, guest(session, onPress), supported, cannotConnect}.
  function create(page) {
    const {machine, panels} = page;
    // The guest instance, once made: its clips and mixer, and its foresight.
    const game = () => machine.view.game;
    let invited = '';      // the invite this page was opened with: the host's offer
    let secret = null;     // and the rendezvous's secret, when the invite has one
    let peer = null;
    let shown = null;      // the host's newest frame
    let voided = 0;        // the newest press made before a hold: the host takes none later
    const down = new Map(); // key name: way, held here

    // The host's newest frame as this page shows it: its own fighter moved by its presses
    // the host has not shown yet.
    function draw() {
      if (!shown) return;
      const g = game();
      machine.show({picture: g && g.predict
        ? g.predict(shown.cells, Math.max(shown.taken, voided)) : shown.cells});
      machine.count({frames: {shown: 1}});
    }

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
      } else if (game() && game().sound && !game().sound(m)) {
        machine.count({dropped: 1});  // a clip this page has not
      }
    }

    // Entering 'connecting': the guest instance, the connection and the reply link.
    async function join({mode: session, state}) {
      shown = null;
      // Its gamepads' keys, while a match runs, as the host's own pads play.
      page.guest(session, (key, isDown) => {
        if (machine.state === 'running') press(key, isDown);
      });
      session.onEnd(() => {
        release();
        peer = null;
      });
      let checking = false;
      peer = root.brelvoPeer.create('guest', session, machine, {
        open: () => machine.fire('open'),
        gone: () => machine.fire('gone'),
        message: fromHost,
        frame: (frame) => {
          shown = frame;
          machine.show({remote: {taken: frame.taken}});
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
        version: () => machine.show({status: 'Your friend\'s page is another version of ' +
                                              'Brelvo: reload this page to play.'}),
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
        if (!state.alive || machine.view.replyLink) return;
        machine.show({replyLink: panels.link(panels.base + '#' + reply, 'the reply link'),
                      status: 'Now your friend must open this reply link, or paste it into ' +
                        'their page'});
      };
      const tell = (rendezvous) => machine.show({remote: {rendezvous: rendezvous}});
      tell({brokers: 0, live: 0, heard: 0, dropped: 0, replyBy: null});
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
            live: (n) => tell({live: n}),
          }, {repeatMs: 3000, repeats: 3}));
        } catch (error) {
          room = null;  // no WebCrypto (a page not served over https): the reply link
        }
      }
      if (!room || !room.brokers) {
        showReply();
        return;
      }
      tell({brokers: room.brokers});
      machine.show({status: 'Sending your reply to your friend\'s page…'});
      room.send('answer', {reply: reply}).catch(showReply);
    }

    // The guest's presses, from its keys, its pad or its gamepad: player 1's, on the host.
    function press(key, isDown) {
      if (key === 'Escape') {
        if (isDown) machine.fire('leave');
        return;
      }
      hold(key, isDown ? wayOf(key) : down.get(key), isDown);
    }
    // A touch pad's way: the guest plays one player, whichever pad it touches.
    function pressWay(player, way, isDown) {
      hold('pad ' + player + ' ' + way, way, isDown);
    }
    // The way a key of this page's plays, by the game's own key table; none before the
    // guest's instance is made, when nothing plays.
    function wayOf(key) {
      const button = game() && game().buttonOf ? game().buttonOf(key) : null;
      return button ? button.way : undefined;
    }
    // What holds the way (a key's name, a pad's way) presses it, or lets it go.
    function hold(id, way, isDown) {
      if (!way || machine.state !== 'running') return;
      if (isDown) down.set(id, way); else down.delete(id);
      if (!peer) return;
      // This page's presses, numbered for the host's frames to name.
      if (isDown) machine.count({pressed: 1});
      // Its time, by which the host judges the game's re-arm as this page foresees it.
      const pressed = machine.view.remote.pressed, at = performance.now();
      peer.send({k: 'key', key: way, d: isDown ? 1 : 0, n: pressed, t: Math.trunc(at) >>> 0});
      if (isDown && game() && game().predictPress) {
        game().predictPress(pressed, way, at);
        draw();
      }
    }
    function release() {
      down.forEach((way, id) => hold(id, way, false));
    }

    function onKey(event) {
      if (machine.mode !== 'guest' || event.repeat ||
          (event.target instanceof Element && event.target.closest('input, textarea'))) {
        return;
      }
      if (wayOf(event.key) || event.key === 'Escape') {
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
        connecting: join,
        // The host not heard: the host lets go of this page's keys itself, none is sent
        // meanwhile, and none sent before that the host has not shown is foreseen: a held
        // match takes no press, and one lost with a connection never comes.
        held: () => {
          down.clear();
          voided = machine.view.remote.pressed;
        },
      },
      press: press,
      pressWay: pressWay,
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
