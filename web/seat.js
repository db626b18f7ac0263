// A phone at the big screen (screen.js), by one of its links: a side's pad, which presses
// that side's ways and shows its name and score, buzzing on a hit and at a round's end;
// or a watcher, which shows every frame and plays every sound of the match and presses
// nothing. It joins in its link's room on the rendezvous, and joins again the same way,
// under the same id, when the screen is not heard: the screen then makes it a new
// connection, and a pad keeps its side. The page's machine (machine.js) calls it; it tells
// the machine what happened by its events, and what the page shows by show().
'use strict';
(function (root) {
  const QUIET_MS = 2000;   // the screen not heard this long: join again
  const GONE_MS = 30000;   // and this long: it has gone
  const REJOIN_MS = 3000;  // how often a phone not hearing the screen asks again
  const UNSEATED_MS = 5000; // and one not seated yet
  const ARROWS = {ArrowUp: 'up', ArrowDown: 'down', ArrowLeft: 'left', ArrowRight: 'right'};

  // The link in a fragment ('left.<secret>'): {side: 0, 1 or -1 to watch, secret}; a
  // side's link from a screen without a rendezvous carries its offer instead: {side,
  // offer: packed}; null for any other.
  function linked(fragment) {
    const found = /^(left|right|watch)\.([A-Za-z0-9_-]+)$/.exec(fragment);
    if (!found) return null;
    const side = {left: 0, right: 1, watch: -1}[found[1]];
    if (root.brelvoRendezvous.isSecret(found[2])) return {side: side, secret: found[2]};
    const offer = side >= 0 ? root.brelvoGuest.unpack(found[2]) : null;
    return offer && offer.type === 'offer' ? {side: side, offer: found[2]} : null;
  }

  // page: {machine, panels, guest(session)}.
  function create(page) {
    const {machine, panels} = page;
    const protocol = root.brelvoProtocol, peers = root.brelvoPeer;
    const names = root.brelvoScreen.NAMES;
    let link = null;     // this page's: {side, secret}
    let channel = null;  // to the screen, once open
    const down = new Set();

    // This phone's id on its link, kept by the tab: a reload takes its side back.
    function idOf(secret) {
      const key = 'brelvo seat ' + secret;
      let id = null;
      try {
        id = sessionStorage.getItem(key);
      } catch (error) {
        id = null;
      }
      if (!id) {
        id = root.brelvoRendezvous.newSecret();
        try {
          sessionStorage.setItem(key, id);
        } catch (error) {
          // a tab without storage joins afresh after a reload
        }
      }
      return id;
    }

    function show(seat) {
      machine.show({seat: Object.assign({}, machine.view.seat, seat)});
    }

    // Entering 'seating': the link's room, the join, and the connection the screen offers.
    async function join({mode: session}) {
      const {side, secret} = link;
      const id = secret ? idOf(secret) : null;
      const role = side < 0 ? 'watcher' : 'pad';
      let pc = null, heard = 0, asked = 0;
      show({side: side, name: side < 0 ? 'Watching' : names[side], score: [0, 0], match: '',
            quiet: false});
      // A pad: its side's alone, whatever the device says of its touch screen.
      machine.show({pads: [side === 0, side === 1], touch: side >= 0});
      if (side < 0) page.guest(session);
      session.onEnd(() => {
        letGo();
        if (channel && channel.readyState === 'open') channel.send(JSON.stringify({k: 'leave'}));
        const closing = pc;
        channel = null;
        setTimeout(() => closing && closing.close(), 200);
      });
      session.listen(window, 'pagehide', () => send({k: 'leave'}));
      session.listen(document, 'visibilitychange', () => {
        if (document.hidden) letGo();
      });

      function fromScreen(event) {
        const data = event.data;
        const size = typeof data === 'string' ? data.length : data.byteLength;
        machine.count({bytes: {received: size}});
        if (typeof data !== 'string') {
          const frame = side < 0 ? protocol.unpackFrame(data) : null;
          if (!frame) return machine.count({dropped: 1});
          heard = performance.now();
          machine.show({picture: frame.cells});
          return machine.count({frames: {shown: 1}});
        }
        const m = protocol.take(data, 'screen');
        if (!m) return machine.count({dropped: 1});
        heard = performance.now();
        if (machine.view.seat.quiet) show({quiet: false});
        if (m.k === 'tick') {
          send({k: 'beat', t: m.t, s: document.hidden ? 0 : 1});
        } else if (m.k === 'hello' && m.v !== protocol.VERSION) {
          machine.show({status: 'The big screen\'s page is another version of Brelvo: reload ' +
                          'both.'});
        } else if (m.k === 'score') {
          show({score: [m.l, m.r]});
        } else if (m.k === 'buzz') {
          // Where the browser lets a page buzz only once it was touched, not before.
          const touched = !navigator.userActivation || navigator.userActivation.hasBeenActive;
          if (navigator.vibrate && touched) navigator.vibrate(m.ms);
        } else if (m.k === 'count') {
          machine.show({count: m.n});
          show({match: 'counting'});
        } else if (m.k === 'start') {
          machine.show({count: 0});
          show({match: 'running'});
        } else if (m.k === 'over') {
          letGo();
          show({match: 'over'});
        } else if (m.k === 'leave') {
          machine.fire('gone');
        } else if (['play', 'halt', 'volume'].includes(m.k)) {
          const g = machine.view.game;
          if (g && g.sound && !g.sound(m)) machine.count({dropped: 1});
        }
        return null;
      }

      // The screen's offer to this phone: a connection, the first or one taking over.
      async function offered(sdp, room) {
        const made = new RTCPeerConnection({iceServers: await session.keep(peers.iceServers())});
        session.onEnd(() => made.close());
        made.ondatachannel = (event) => {
          const each = event.channel;
          each.binaryType = 'arraybuffer';
          each.onmessage = (e) => { if (made === pc) fromScreen(e); };
          if (each.label !== 'match') return;
          each.onopen = () => {
            if (!session.alive) return;
            const old = pc;
            pc = made;
            channel = each;
            heard = performance.now();
            if (old && old !== made) old.close();
            show({quiet: false});
            machine.fire('open');
          };
        };
        await session.keep(made.setRemoteDescription({type: 'offer', sdp: sdp}));
        const answer = await peers.described(made, await session.keep(made.createAnswer()),
                                             session);
        if (!room) return root.brelvoLink.pack(answer) + '.' + link.offer.slice(-4);
        await room.send('answer', {who: id, sdp: answer.sdp});
        return null;
      }

      // No rendezvous: the offer in the link, the reply for the player to pass on.
      if (link.offer) {
        const reply = await offered(root.brelvoLink.unpack(link.offer).sdp, null);
        if (reply) {
          machine.show({seatReply: panels.link(panels.base + '#' + reply, 'the reply link'),
                        status: 'Now the big screen must have this reply link'});
        }
        session.interval(() => {
          if (pc && performance.now() - heard > GONE_MS) machine.fire('gone');
        }, 250);
        return;
      }
      let room = null;
      try {
        room = await session.keep(root.brelvoRendezvous.room(secret, 'guest', session, {
          message: (m) => {
            if (m.to !== id) return;
            if (m.k === 'offer' && typeof m.sdp === 'string') {
              offered(m.sdp, room).catch(() => {});
            } else if (m.k === 'taken') {
              machine.fire('refused', {message: side < 0
                ? 'This big screen has as many watchers as it takes.'
                : 'Another phone holds ' + names[side] + '. Its player can Leave to hand ' +
                  'it over.'});
            }
          },
        }, {repeatMs: 2000, repeats: 3}));
      } catch (error) {
        room = null;
      }
      if (!room || !room.brokers) {
        machine.fire('fail', {message: 'This phone cannot reach the big screen: no rendezvous ' +
                                'is reachable from this page.'});
        return;
      }
      const ask = () => {
        asked = performance.now();
        room.send('join', {who: id}).catch(() => {});
      };
      ask();
      // Not seated yet, the screen may have missed the join (it offered to this phone's id
      // before this page was in the room): this phone asks again. The screen not heard: the
      // same, and after a while it gives up.
      session.interval(() => {
        if (!pc) {
          if (performance.now() - asked > UNSEATED_MS) ask();
          return;
        }
        const silence = performance.now() - heard;
        if (silence > GONE_MS) {
          machine.fire('gone');
        } else if (silence > QUIET_MS) {
          if (!machine.view.seat.quiet) {
            letGo();
            show({quiet: true});
          }
          if (performance.now() - asked > REJOIN_MS) ask();
        }
      }, 250);
    }

    function send(message) {
      if (!channel || channel.readyState !== 'open') return;
      const text = JSON.stringify(message);
      channel.send(text);
      machine.count({bytes: {sent: text.length}});
    }

    // A way of this side's pad pressed or let go, as the screen's game takes it.
    function pressWay(way, isDown) {
      if (!link || link.side < 0 || machine.state !== 'seated') return;
      if (isDown === down.has(way)) return;
      if (isDown) down.add(way); else down.delete(way);
      if (isDown) machine.count({pressed: 1});
      send({k: 'press', s: link.side, key: way, d: isDown ? 1 : 0});
    }
    function letGo() {
      down.forEach((way) => pressWay(way, false));
    }

    return {
      // The link this page was opened with, if it is one of a big screen's.
      linkedBy(fragment) {
        link = linked(fragment);
        return link;
      },
      get side() { return link ? link.side : null; },
      enter: {seating: join},
      // A key of this phone's: Esc leaves, the arrows press its side's ways.
      press(key, isDown) {
        if (key === 'Escape') {
          if (isDown) machine.fire('leave');
        } else if (ARROWS[key]) {
          pressWay(ARROWS[key], isDown);
        }
      },
      pressWay: (player, way, isDown) => pressWay(way, isDown),
      again: () => send({k: 'again'}),
      channel: () => channel,
    };
  }

  root.brelvoSeat = {create: create, linked: linked};
})(window);
