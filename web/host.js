// The host of a match with a friend elsewhere: its invite, the reply it takes (by the
// rendezvous, typed, pasted, or handed over by another tab of this browser), the
// countdown once both pages are in view, and its game's frames, sounds and end sent to
// the guest; the guest's presses played as player 1's. The page's machine (machine.js)
// calls it; it tells the machine what happened by its events, and what the page shows by
// its show() and count().
'use strict';
(function (root) {
  const CONNECT_MS = 20000;  // from Connect to an open connection
  const COUNT_MS = 600;      // each step of the countdown
  // The game's state in each frame, by the page's: 1 while a match is under way, 2 over.
  const PLAYING = {starting: 1, running: 1, held: 1, over: 2};

  // page: {machine, panels, cannotConnect}.
  function create(page) {
    const {machine, panels} = page;
    const game = () => machine.view.game;
    let peer = null;       // this mode's connection
    let invite = null;     // this mode's invite: {text, tag, used}
    const spent = new Set(); // tags of this tab's used or abandoned invites
    let seenThere = false; // the guest's page is in view
    let held = new Set();  // the ways the guest holds down
    let pace = null;       // when each of the guest's presses reaches the game (pace.js)

    // The guest's keys still down are let go: player 1 stands still.
    function letGo() {
      // A game that ended has no ears left for its friend.
      held.forEach((way) => {
        if (game() && game().press) game().press('friend', 1, way, false);
      });
      held = new Set();
    }

    // 3, 2, 1 here and on the guest's page, then `then`, while `going` still holds.
    let countdowns = 0;
    function countDown(state, then, going = () => true) {
      let n = 3;
      const step = () => {
        if (!going()) return;
        if (n > 0) {
          peer.send({k: 'count', n: n});
          machine.show({count: n--});
          state.timeout(step, COUNT_MS);
          return;
        }
        peer.send({k: 'start'});
        then();
      };
      step();
    }

    // The match starts once both pages are in view and the second connection is made
    // (or given up), after a countdown on both.
    function tryCount() {
      if (machine.state === 'connected' && peer && peer.open && !peer.renewing && seenThere &&
          !document.hidden) {
        machine.fire('count');
      }
    }

    // Entering 'inviting': a fresh connection in the mode's scope and its invite link.
    async function makeInvite({mode: session, state}) {
      const loading = panels.loadLater();
      if (invite) spent.add(invite.tag);
      invite = null;
      seenThere = false;
      peer = root.brelvoPeer.create('host', session, machine, {
        open: () => { root.brelvoRendezvous.leave(invite && invite.secret); machine.fire('open'); },
        gone: () => machine.fire('gone'),
        message: (m) => fromGuest(m, session),
        frame: () => {},
        checking: () => {},
        seen: (inView) => {
          const was = seenThere;
          seenThere = inView;
          if (!was && seenThere) tryCount();
        },
        version: () => machine.show({status: 'Your friend\'s page is another version of ' +
                                              'Brelvo: they must reload it.'}),
        renewed: () => tryCount(),
        quiet: () => machine.fire('quiet'),
        heard: () => machine.fire('heard'),
      });
      session.onEnd(() => {
        if (invite) spent.add(invite.tag);
        invite = null;
        peer = null;
        pace = null;
        letGo();
      });
      session.listen(document, 'visibilitychange', tryCount);
      session.listen(window, 'pagehide', () => peer && peer.send({k: 'leave'}));
      let offer;
      try {
        offer = await peer.offer();
        await loading;
      } catch (error) {
        if (session.alive) machine.show({status: 'Could not make an invite: ' + error.message});
        return;
      }
      // A late offer, for an invite given up meanwhile, changes nothing.
      if (!session.alive || !state.alive || machine.state !== 'inviting') return;
      const text = root.brelvoLink.pack(offer);
      // The rendezvous's secret rides in the fragment only: no server ever sees it.
      const secret = root.brelvoRendezvous.newSecret();
      invite = {text: text, tag: text.slice(-4), used: false, secret: secret};
      machine.show({inviteLink: panels.link(panels.base + '#' + text + '.' + secret,
                                            'the invite link'),
                    status: 'Waiting for your friend\'s reply', focus: {on: 'copy-invite'}});
      listen(secret, session);
    }

    // The guest's reply by the rendezvous, taken as a pasted one; the room lasts until the
    // pages are connected, and what comes before is another reply to a used invite.
    function listen(secret, session) {
      const tell = (rendezvous) => machine.show({remote: {rendezvous: rendezvous}});
      tell({brokers: 0, live: 0, heard: 0, dropped: 0, replyBy: null});
      root.brelvoRendezvous.room(secret, 'host', session, {
        message: (m) => {
          if (m.k !== 'answer' || typeof m.reply !== 'string') return;
          machine.count({rendezvous: {heard: 1}});
          takeReply(m.reply, 'rendezvous');
        },
        dropped: () => machine.count({rendezvous: {dropped: 1}}),
        live: (n) => tell({live: n}),
      }).then((room) => tell({brokers: room.brokers, topic: room.topic}),  // as brokers see it
              () => {});
    }

    // A reply, pasted or handed over by another tab: a message for the player, or null
    // once the connection is under way.
    function takeReply(text, how) {
      const reply = root.brelvoLink.replyOf(text);
      if (!reply) return 'This is not a reply link: paste the whole link your friend sent back.';
      const {answer, tag} = reply;
      if (!invite || invite.used || tag !== invite.tag || machine.state !== 'inviting') {
        return 'This invite is already used.';
      }
      invite.used = true;
      spent.add(invite.tag);
      machine.show({remote: {rendezvous: {replyBy: how || 'link'}}});
      machine.fire('reply');
      peer.accept(answer).catch(() => machine.fire('timeout', {message: page.cannotConnect}));
      return null;
    }

    // A reply opened in another tab of this browser, for this tab's waiting invite.
    const waiting = (tag) => !!(invite && !invite.used && tag === invite.tag &&
                                machine.state === 'inviting');
    panels.hearReplies((tag) => (waiting(tag) ? true : spent.has(tag) ? false : null),
                       (reply) => takeReply(reply));

    function fromGuest(m, session) {
      if (m.k === 'again') {
        machine.fire('asked');
      } else if (m.k === 'key') {
        // Only while the match runs, paced by the presses' own times (pace.js); the game's
        // own rules do the rest.
        if (!playing()) return;
        if (!pace) {
          pace = root.brelvoPace.create(playing().rearmMs(), give,
                                        (run, ms) => session.timeout(run, ms),
                                        () => performance.now());
        }
        pace.arrived(m, machine.view.remote.rtt);
      }
    }

    // The game while a match with the guest runs in it, else null.
    function playing() {
      const running = game();
      return machine.state === 'running' && machine.mode === 'host' && running &&
        running.press ? running : null;
    }
    // A press of the guest's, played as player 1's.
    function give(press) {
      if (!playing()) return;
      if (press.d) held.add(press.key); else held.delete(press.key);
      playing().press('friend', 1, press.key, press.d === 1, press.n);
    }

    return {
      peer: () => peer,
      // The machine's effects in host mode.
      enter: {
        inviting: makeInvite,
        connecting: ({state}) => {
          state.timeout(() => machine.fire('timeout', {message: page.cannotConnect}), CONNECT_MS);
        },
        connected: tryCount,
        counting: ({state}) => countDown(state, () => machine.fire('start')),
        // The friend not heard: the match holds, every key let go.
        held: () => {
          letGo();
          if (game() && game().hold) game().hold(true);
        },
      },
      // Heard again: 3, 2, 1 on both pages, then the held match goes on.
      resume: ({state}) => {
        const counting = ++countdowns;
        countDown(state, () => {
          if (game() && game().hold) game().hold(false);
          machine.fire('start');
        }, () => counting === countdowns);
      },
      // Not heard again before the countdown's end: it stops, the match still held.
      hold: () => { countdowns++; },
      // The reply's field and the waiting tab's own address.
      takeReply: takeReply,
      waits: waiting,
      // What the game's start takes for a match with a friend (page.js).
      options: () => ({
        onComposed: (cells, taken) => peer && peer.open &&
          peer.sendFrame(cells, PLAYING[machine.state] || 0, taken),
        onSound: (what) => peer && peer.open && peer.send(what),
        onTaken: (taken) => {
          if (pace) pace.taken(taken);
          if (peer && peer.open) peer.taken(taken);
        },
        // The match's end, before the page's own.
        onMatchEnd: () => {
          letGo();
          if (!peer) return;
          peer.send({k: 'over'});
          peer.beat(PLAYING.over);
        },
      }),
      friendLeft: () => {
        letGo();
        if (game() && game().friendLeft) game().friendLeft();
      },
    };
  }

  root.brelvoHost = {create: create};
})(window);
