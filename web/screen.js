// The big screen: the one screen everyone sees, the game on it, and a phone in each
// player's hand as that side's pad. It has three links, each with a secret of its own in
// the fragment: the left side's, the right side's, and one to watch. Each secret names a
// room on the rendezvous (rendezvous.js), sealed by it: a phone there asks to join
// ('join', who: an id of its own), the screen offers it a connection there ('offer', to:
// that id), the phone answers ('answer', who). What then comes over the connection is what its
// link allows (protocol.js): a side's pad presses that side alone, a watcher nothing.
//
// One phone holds a side at a time; another on the same link is told ('taken'). A pad
// not heard holds the match, said over the grid for its side, until it is back by the same
// link (the same id: a new connection through the room); after 30 s its side is the
// screen's keys' again and its code shows.
//
// Without a rendezvous (no broker reachable) each free side's link carries the screen's
// offer itself, and the phone's reply comes back as remote play's does: opened in the
// screen's browser, or pasted into its Reply field. The page's machine (machine.js) calls it; it
// tells the machine what happened by its events, and what the page shows by show().
'use strict';
(function (root) {
  const NAMES = ['Left, red', 'Right, blue'];
  const LINKS = ['left', 'right', 'watch'];  // as the fragment names them: #left.<secret>
  const MOST_WATCHERS = 16;
  const TICK_MS = 500;       // the heartbeat to every phone
  const QUIET_MS = 2000;     // a pad silent this long holds the match
  const GONE_MS = 30000;     // a phone silent this long has gone
  const OPEN_MS = 20000;     // from the offer to an open connection
  const REOFFER_MS = 2500;   // a phone asking again this soon after an offer waits for it
  const MOST_A_SECOND = 50;  // messages taken from a phone in any second
  const COUNT_MS = 600;
  const BUZZ_HIT_MS = 60, BUZZ_POINT_MS = 250;
  const PLAYING = {starting: 1, running: 1, held: 1, over: 2};
  const isId = (v) => typeof v === 'string' && /^[A-Za-z0-9_-]{8,32}$/.test(v);

  // page: {machine, panels}.
  function create(page) {
    const {machine, panels} = page;
    const protocol = root.brelvoProtocol, peers = root.brelvoPeer;
    const game = () => machine.view.game;
    let party = null;     // this mode's: {session, secrets, rooms, brokers}
    let pads = [null, null];  // the phone holding each side: its line
    let watchers = new Map(); // id: line
    let computer = false;     // the right side is the computer's
    let asked = new Set();    // the sides whose pads asked for another match
    let last = {cells: new Uint8Array(297), frame: null, seq: 0, score: [0, 0]};
    const spent = [];         // the time each composed frame took to send, ms: the last 600
    let countdowns = 0;

    const held = (side) => pads[side] && pads[side].open;
    const lines = () => [...pads.filter(Boolean), ...watchers.values()];

    // What the screen shows of its phones: each side's code, or who holds it.
    function tell() {
      if (!party) return;
      const seat = (side) => ({
        link: pads[side] && pads[side].offer ? panels.link(panels.base + '#' + LINKS[side] +
          '.' + pads[side].offer, 'the ' + NAMES[side] + ' side\'s link') : party.links[side],
        name: NAMES[side],
        by: computer && side === 1 ? 'computer' : !pads[side] ? null
          : pads[side].quiet ? 'quiet' : pads[side].open ? 'phone' : null,
      });
      const quiet = [0, 1].filter((side) => pads[side] && pads[side].quiet);
      machine.show({
        party: {seats: [seat(0), seat(1)], watch: party.brokers === 0 ? null : party.links[2],
                watchers: watchers.size, said: party.said || '',
                computer: computer,
                note: party.brokers === 0 ? 'No rendezvous is reachable from this page: a ' +
                  'phone on a side\'s link shows a reply link, to open in this browser or ' +
                  'paste below. Nobody can watch.' : ''},
        pads: [!held(0) && !(pads[0] && pads[0].quiet),
               !held(1) && !(pads[1] && pads[1].quiet) && !computer],
      });
      if (['held', 'running'].includes(machine.state) && quiet.length) {
        machine.show({hold: quiet.map((side) => NAMES[side]).join(', ') + ': reconnecting…'});
      }
    }

    // Entering the lobby: the links and their rooms, once a mode; then the match starts
    // by itself once both sides are held.
    function open({mode: session}) {
      if (!party || party.session !== session) {
        const secrets = LINKS.map(() => root.brelvoRendezvous.newSecret());
        party = {session: session, secrets: secrets, brokers: null,
                 links: LINKS.map((name, n) => panels.link(panels.base + '#' + name + '.' +
                                                           secrets[n], 'the ' + (n < 2
                                                             ? NAMES[n] + ' side\'s link'
                                                             : 'link to watch')))};
        pads = [null, null];
        watchers = new Map();
        asked = new Set();
        computer = false;
        session.onEnd(() => {
          lines().forEach((line) => line.end());
          pads = [null, null];
          watchers = new Map();
          party = null;
        });
        LINKS.forEach((name, n) => {
          root.brelvoRendezvous.room(secrets[n], 'host', session, {
            message: (m) => joining(n, m),
          }).then((room) => {
            party.rooms = Object.assign({}, party.rooms, {[n]: room});
            party.brokers = Math.min(party.brokers === null ? room.brokers : party.brokers,
                                     room.brokers);
            byLink();
          }, () => {
            party.brokers = 0;
            byLink();
          });
        });
        session.interval(beat, TICK_MS);
      }
      tell();
      ready();
    }

    // No rendezvous: each free side's link carries an offer of its own.
    let offers = 0;
    function byLink() {
      if (party && party.brokers === 0) {
        [0, 1].forEach((side) => {
          if (!pads[side] && !(computer && side === 1)) {
            pads[side] = line(side, 'by-link-' + ++offers, 'pad', null);
          }
        });
      }
      tell();
    }

    // A phone's reply to a side's offer: a message for the player, or null once taken.
    function takeReply(text) {
      const reply = root.brelvoLink.replyOf(text);
      if (!reply) return 'This is not a reply link: paste the whole link the phone shows.';
      const line = pads.find((each) => each && each.offer && !each.open &&
                             each.offer.slice(-4) === reply.tag);
      if (!line) return 'This reply is not for one of this screen\'s links.';
      line.answered(reply.answer.sdp);
      return null;
    }
    // The same from the Reply field: what is wrong with it said beside it.
    function typed(text) {
      if (!party) return;
      party.said = takeReply(text) || '';
      tell();
    }
    // A reply opened in another tab of this browser (page.js hands it over).
    panels.hearReplies((tag) => (pads.some((each) => each && each.offer && !each.open &&
                                           each.offer.slice(-4) === tag) ? true : null),
                       takeReply);

    // Both sides held, in the lobby: the countdown.
    function ready() {
      if (machine.state === 'lobby' && held(0) && (held(1) || computer)) {
        machine.fire('count');
      }
    }

    // A message in a link's room: a phone joining, or its answer.
    function joining(n, m) {
      if (!party || !isId(m.who)) return;
      const room = party.rooms && party.rooms[n];
      if (!room) return;
      if (m.k === 'answer' && typeof m.sdp === 'string') {
        const line = n < 2 ? pads[n] : watchers.get(m.who);
        if (line && line.id === m.who) line.answered(m.sdp);
        return;
      }
      if (m.k !== 'join') return;
      if (n < 2) {
        const now = pads[n];
        if ((computer && n === 1) || (now && now.id !== m.who)) {
          room.send('taken', {to: m.who});
        } else if (now) {
          now.renew(room);  // the same phone, back by its link
        } else {
          pads[n] = line(n, m.who, 'pad', room);
        }
      } else if (watchers.has(m.who)) {
        watchers.get(m.who).renew(room);
      } else if (watchers.size >= MOST_WATCHERS) {
        room.send('taken', {to: m.who});
      } else {
        watchers.set(m.who, line(-1, m.who, 'watcher', room));
      }
      tell();
    }

    // One phone's connection to the screen: `side` 0 or 1 for a pad, -1 for a watcher.
    function line(side, id, role, room) {
      const own = root.brelvoMachine.scope();
      party.session.onEnd(() => own.end());
      let pc = null, channel = null, frames = null, heard = performance.now(), offered = 0;
      let offeredAt = 0;
      let budget = {at: 0, left: MOST_A_SECOND};
      const down = new Set();  // the ways this pad holds down
      const me = {id: id, side: side, role: role, open: false, quiet: false,
                  bytes: {sent: 0, received: 0}, dropped: 0};

      me.send = (message) => {
        if (!channel || channel.readyState !== 'open') return;
        const text = JSON.stringify(message);
        channel.send(text);
        me.bytes.sent += text.length;
      };
      me.frame = (bytes) => {
        if (!frames || frames.readyState !== 'open') return;
        frames.send(bytes);
        me.bytes.sent += bytes.length;
      };
      // The ways this pad holds, let go: its fighter stands still.
      me.letGo = () => {
        down.forEach((way) => game() && game().press && game().press('pad', side, way, false));
        down.clear();
      };

      function drop() {
        me.dropped++;
      }
      function fromPhone(event, each) {
        if (each !== channel) return;
        const data = event.data;
        me.bytes.received += typeof data === 'string' ? data.length : data.byteLength;
        const now = performance.now();
        if (now - budget.at >= 1000) budget = {at: now, left: MOST_A_SECOND};
        if (budget.left-- <= 0) return drop();
        const m = protocol.take(data, role);
        if (!m) return drop();
        hearing();
        if (m.k === 'press') {
          // A side's link presses that side alone.
          if (m.s !== side) return drop();
          if (m.d) down.add(m.key); else down.delete(m.key);
          if (machine.state === 'running' && game() && game().press) {
            game().press('pad', side, m.key, m.d === 1);
          }
        } else if (m.k === 'again') {
          asked.add(side);
          again();
        } else if (m.k === 'leave') {
          gone(me);
        }
        return null;
      }

      function hearing() {
        heard = performance.now();
        if (me.quiet) {
          me.quiet = false;
          tell();
          resume();
        }
      }

      // A new connection, offered through the link's room: the first, or one to take over
      // from a connection lost (the phone's network changed).
      async function connect(through) {
        offeredAt = performance.now();
        const made = new RTCPeerConnection({iceServers: await own.keep(peers.iceServers())});
        own.onEnd(() => made.close());
        const match = made.createDataChannel('match');
        const frameChannel = side < 0
          ? made.createDataChannel('frames', {ordered: false, maxRetransmits: 0}) : null;
        match.onmessage = (event) => fromPhone(event, match);
        match.onopen = () => {
          if (!own.alive) return;
          const old = pc;
          pc = made;
          channel = match;
          frames = frameChannel;
          if (frames) frames.binaryType = 'arraybuffer';
          if (old && old !== made) old.close();
          me.open = true;
          hearing();
          me.send({k: 'hello', v: protocol.VERSION});
          me.send({k: 'seat', s: side});
          me.send({k: 'score', l: last.score[0], r: last.score[1]});
          if (side < 0 && last.frame) me.frame(last.frame);
          if (side >= 0 && game() && game().side) game().side(side, true);
          tell();
          ready();
        };
        const offer = await peers.described(made, await own.keep(made.createOffer()), own);
        const mine = ++offered;
        me.answered = (sdp) => {
          if (mine === offered && made.signalingState === 'have-local-offer') {
            made.setRemoteDescription({type: 'answer', sdp: sdp}).catch(() => {});
          }
        };
        if (!through) {
          me.offer = root.brelvoLink.pack(offer);  // the side's link carries it
          tell();
          return;
        }
        await through.send('offer', {to: id, sdp: offer.sdp});
        // Never opened: a phone that asked and went. A pad held before waits for its silence.
        own.timeout(() => {
          if (!me.open && mine === offered) gone(me);
        }, OPEN_MS);
      }
      me.answered = () => {};
      // Asked again while an offer is on its way: that offer answers it.
      me.renew = (through) => {
        if (through && performance.now() - offeredAt > REOFFER_MS) connect(through).catch(() => {});
      };
      me.end = () => {
        me.letGo();
        if (channel && channel.readyState === 'open') me.send({k: 'leave'});
        me.open = false;
        own.end();
      };
      me.silence = () => performance.now() - heard;
      me.beat = (now) => {
        if (!me.open) return;
        me.send({k: 'tick', t: Math.round(now) >>> 0});
        if (side < 0 && last.frame) me.frame(last.frame);
        const silence = me.silence();
        if (silence > GONE_MS) {
          gone(me);
        } else if (side >= 0 && silence > QUIET_MS && !me.quiet) {
          me.quiet = true;
          me.letGo();
          tell();
          if (machine.state === 'running') machine.fire('quiet');
        }
      };
      connect(room).catch(() => gone(me));
      return me;
    }

    // A phone gone: left, or silent too long. Its side is the screen's keys' again.
    function gone(line) {
      line.end();
      if (line.side >= 0 && pads[line.side] === line) {
        pads[line.side] = null;
        asked.delete(line.side);
        if (game() && game().side) game().side(line.side, false);
      } else if (watchers.get(line.id) === line) {
        watchers.delete(line.id);
      }
      byLink();
      resume();
      again();
    }

    function beat() {
      const now = performance.now();
      lines().forEach((line) => line.beat(now));
    }

    // No pad left unheard: a held match counts down and goes on.
    function resume() {
      if (machine.state === 'held' && ![0, 1].some((side) => pads[side] && pads[side].quiet)) {
        machine.fire('heard');
      }
    }

    // Another match asked for by every pad that holds a side.
    function again() {
      const sides = [0, 1].filter(held);
      if (machine.state === 'over' && sides.length && sides.every((side) => asked.has(side))) {
        machine.fire('again');
      }
    }

    const toAll = (message) => lines().forEach((line) => line.send(message));

    // 3, 2, 1 here and on every phone, then `then`, while `going` still holds.
    function countDown(state, then, going = () => true) {
      let n = 3;
      const step = () => {
        if (!going()) return;
        if (n > 0) {
          toAll({k: 'count', n: n});
          machine.show({count: n--});
          state.timeout(step, COUNT_MS);
          return;
        }
        toAll({k: 'start'});
        then();
      };
      step();
    }

    // Each side's points, as its score column shows them: its green cells (grey are open).
    function scores(cells) {
      const lit = (column) => {
        let n = 0;
        for (let row = 0; row < 9; row++) {
          const at = 3 * (row * 11 + column);
          if (cells[at] === 0 && cells[at + 1] === 255 && cells[at + 2] === 0) n++;
        }
        return n;
      };
      return [lit(0), lit(10)];
    }

    // A frame composed: to every watcher, once packed; its points to the pads.
    function composed(cells) {
      const began = performance.now();
      last.cells = cells;
      last.frame = protocol.packFrame(cells, {beat: false, state: PLAYING[machine.state] || 0,
                                              seq: ++last.seq, time: began, rtt: null,
                                              taken: 0});
      watchers.forEach((line) => line.frame(last.frame));
      // A point lights one cell in one score column; the green that fills the grid once a
      // side has 9 is no point.
      const score = scores(cells), gained = [0, 1].map((side) => score[side] - last.score[side]);
      if (Math.max(...last.score) < 9 && gained[0] + gained[1] === 1 && Math.min(...gained) === 0) {
        last.score = score;
        pads.forEach((line) => line && line.send({k: 'score', l: score[0], r: score[1]}));
        if (machine.state === 'running') {
          pads.forEach((line) => line && line.send({k: 'buzz', ms: BUZZ_POINT_MS}));
        }
      }
      spent.push(performance.now() - began);
      if (spent.length > 600) spent.shift();
    }

    function sounded(what) {
      watchers.forEach((line) => line.send(what));
      if (what.k === 'play' && /^strike/.test(what.p)) {
        pads.forEach((line) => line && line.send({k: 'buzz', ms: BUZZ_HIT_MS}));
      }
    }

    return {
      enter: {
        lobby: open,
        counting: ({state}) => countDown(state, () => machine.fire('start')),
        held: tell,
      },
      resume: ({state}) => {
        const counting = ++countdowns;
        countDown(state, () => {
          if (game() && game().hold) game().hold(false);
          tell();
          machine.fire('start');
        }, () => counting === countdowns);
      },
      hold: () => { countdowns++; },
      // The right side to the computer, or back: only while no phone holds it.
      giveComputer(on) {
        if (pads[1] && (pads[1].open || pads[1].quiet) && on) return;
        computer = !!on;
        if (computer && pads[1]) gone(pads[1]);  // an offer no phone took
        byLink();
        ready();
      },
      get computer() { return computer; },
      takeReply: typed,
      // What the game's start takes on the big screen (page.js): a new match, at 0 : 0.
      options() {
        last.score = [0, 0];
        pads.forEach((line) => line && line.send({k: 'score', l: 0, r: 0}));
        return {
          arguments: ['--screen'],
          onComposed: composed,
          onSound: sounded,
          onMatchEnd: () => {
            pads.forEach((line) => line && line.letGo());
            asked = new Set();
            toAll({k: 'over'});
          },
        };
      },
      // The game made: the sides phones hold are theirs.
      started: (made) => [0, 1].forEach((side) => held(side) && made.side && made.side(side, true)),
      // The figures the tests and the bench read.
      figures: () => ({
        frameMs: spent.slice(),
        composed: last.seq,
        lines: lines().map((l) => ({id: l.id, side: l.side, role: l.role, open: l.open,
                                    quiet: l.quiet, bytes: Object.assign({}, l.bytes),
                                    dropped: l.dropped})),
      }),
    };
  }

  root.brelvoScreen = {create: create, NAMES: NAMES, LINKS: LINKS};
})(window);
