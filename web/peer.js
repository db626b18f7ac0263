// The connection between two pages playing one match (WebRTC), host's or guest's: its
// two channels, what goes over them as protocol.js allows, the heartbeat that tells
// whether the other page is still there, and the second connection. The invite link
// carries the first connection's credentials; over it the two pages make a second one
// whose credentials never left them, and close the first: whoever else has the invite
// link can no longer reach the match.
//
// A connection lives in a scope (machine.js): when the scope ends, the other page is
// told ("leave") and the connection closes, and nothing it hears afterwards counts.
//
// A blip is not the end: while the other page is not heard, the browser's own checks go
// on, and the two pages also meet on the rendezvous (rendezvous.js) to make a new
// connection (one side's network changed). Their room there is named by a secret the host
// gives over the match channel, never by the invite's: whoever else has the invite link
// cannot join in. A way lost in one direction only is a blip on both pages: the host's
// frames tell the guest while it does not hear it, and the guest holds as if it heard
// nothing.
'use strict';
(function (root) {
  const protocol = root.brelvoProtocol;
  const GATHER_MS = 3000;    // the longest an invite or a reply waits for its candidates
  const BEAT_MS = 500;       // the heartbeat, while nothing else is sent: four to a hold
  const QUIET_MS = 2000;     // silence after which the match holds until the other is heard
  const GONE_MS = 30000;     // silence after which the other page has gone
  const RENEW_MS = 10000;    // the longest the second connection may take
  const MOST_A_SECOND = 100; // messages the host takes from the guest in any second
  const CLOSE_MS = 200;      // the leave message's time to go before the close
  const SETTLE_MS = 50;      // a guest's press not in a frame so long after: the game refused it
  const REPEAT_MS = 2000;    // how often a mending message is sent again while unanswered
  const UNANSWERED_MS = 10000; // a mending connection's time to open once the link is back

  // ice-servers.json beside the page: what the host of the page lists, read afresh
  // (never from the offline cache); absent, damaged or offline, none.
  async function iceServers() {
    try {
      const response = await fetch('ice-servers.json', {cache: 'no-store'});
      const list = response.ok ? await response.json() : [];
      return Array.isArray(list) ? list.filter((server) => server && typeof server === 'object' &&
        (typeof server.urls === 'string' || Array.isArray(server.urls))) : [];
    } catch (error) {
      return [];
    }
  }

  // The description once its candidates are gathered, or after GATHER_MS with what it has.
  async function described(connection, description, scope) {
    await scope.keep(connection.setLocalDescription(description));
    await scope.keep(new Promise((done) => {
      if (connection.iceGatheringState === 'complete') return done();
      scope.timeout(done, GATHER_MS);
      scope.listen(connection, 'icegatheringstatechange', () => {
        if (connection.iceGatheringState === 'complete') done();
      });
    }));
    return connection.localDescription;
  }

  // role: 'host' or 'guest'; scope: the mode's; machine: the page's (machine.js), whose
  // view holds the figures the page shows and the tests read (remote: {rtt, dropped, bytes,
  // frames, renewed, mended}), counted and set by its count() and show(); on: {open, gone,
  // message(m), frame(f), checking, seen(inView), version(theirs), quiet, heard}.
  function create(role, scope, machine, on) {
    const from = role === 'host' ? 'guest' : 'host';
    let pc = null, spare = null;  // the match's connection; the second, while it is made
    let channel = null, frames = null;
    let open = false, heard = 0, quiet = false;
    let unheard = false;  // the guest: the host's newest frame says it does not hear this page
    let budget = {at: 0, left: MOST_A_SECOND};
    const last = {cells: new Uint8Array(297), state: 0, taken: 0, sentAt: 0, beatAt: 0, seq: 0};
    let shownSeq = 0;
    let wayBack = null;  // the secret of the pages' own room on the rendezvous
    let mending = null;  // that room's scope, while the link is being mended

    const peer = {
      get open() { return open; },
      get renewing() { return !!spare; },
      get channel() { return channel; },
      get frameChannel() { return frames; },
    };

    const figures = () => machine.view.remote;
    const note = (values) => machine.show({remote: values});
    function drop() {
      machine.count({dropped: 1});
      return null;
    }

    function send(message) {
      if (!scope.alive || !channel || channel.readyState !== 'open') return;
      const text = JSON.stringify(message);
      channel.send(text);
      machine.count({bytes: {sent: text.length}});
    }
    peer.send = send;

    // A frame of `cells`, the game's state `state` (0 none, 1 running, 2 over), showing
    // the guest's presses up to `taken`; a heartbeat once BEAT_MS (half a second) has gone
    // by since the last: twice a second.
    function sendFrame(cells, state, taken, beat) {
      if (!scope.alive || !frames || frames.readyState !== 'open') return;
      const now = performance.now();
      beat = beat || now - last.beatAt >= BEAT_MS;
      const bytes = protocol.packFrame(cells, {beat: beat, state: state, seq: ++last.seq,
                                               time: now, rtt: figures().rtt, taken: taken,
                                               deaf: quiet});
      frames.send(bytes);
      machine.count({bytes: {sent: bytes.length}, frames: {sent: 1}});
      Object.assign(last, {cells: cells, state: state, taken: taken, sentAt: now});
      if (beat) last.beatAt = now;
    }
    peer.sendFrame = (cells, state, taken) => sendFrame(cells, state, taken, false);
    peer.beat = (state) => sendFrame(last.cells, state, last.taken, true);
    // The game has had the guest's press `taken`. Taken, it is in the next frame composed;
    // refused (the re-arm, a round's end), no frame follows, so the last goes again: the
    // guest's page foresees it no longer.
    peer.taken = (taken) => scope.timeout(() => {
      if (taken > last.taken) sendFrame(last.cells, last.state, taken, false);
    }, SETTLE_MS);

    function fromOther(data) {
      if (typeof data !== 'string') return fromFrames(data);
      if (role === 'host') {
        const now = performance.now();
        if (now - budget.at >= 1000) budget = {at: now, left: MOST_A_SECOND};
        if (budget.left-- <= 0) return drop();
      }
      const m = protocol.take(data, from);
      if (!m) return drop();
      if (m.k === 'hello') {
        if (m.v !== protocol.VERSION) on.version(m.v);
      } else if (m.k === 'offer') {
        answerSecond(m.sdp);
      } else if (m.k === 'answer') {
        if (!spare || spare.signalingState !== 'have-local-offer') return drop();
        spare.setRemoteDescription({type: 'answer', sdp: m.sdp}).catch(() => {});
      } else if (m.k === 'beat') {
        // A beat that answers a heartbeat carries its time; one sent on its own, none.
        if (m.t > 0) {
          const now = Math.round(performance.now()) >>> 0;
          note({rtt: Math.min(60000, Math.max(0, (now - m.t) >>> 0))});
        }
        on.seen(m.s === 1);
      } else if (m.k === 'leave') {
        lost();
      } else if (m.k === 'way') {
        if (wayBack || !root.brelvoRendezvous.isSecret(m.s)) return drop();
        wayBack = m.s;
      } else {
        on.message(m);
      }
      return null;
    }

    function fromFrames(data) {
      if (role === 'host') return drop();
      const frame = protocol.unpackFrame(data);
      if (!frame) return drop();
      if (frame.beat) send({k: 'beat', t: frame.time, s: document.hidden ? 0 : 1});
      note({rtt: frame.rtt});
      if (frame.seq <= shownSeq) return null;  // older than the one shown
      shownSeq = frame.seq;
      unheard = frame.deaf;
      if (!unheard) hearing(); else if (open) silent();
      on.frame(frame);
      return null;
    }

    function listen(each) {
      each.binaryType = 'arraybuffer';
      each.onmessage = (event) => {
        if (!scope.alive || (each !== channel && each !== frames)) return;
        const data = event.data;
        const size = typeof data === 'string' ? data.length : data.byteLength;
        machine.count({bytes: {received: size}});
        if (typeof data === 'string') hearing();  // a frame, once it is read
        fromOther(data);
      };
      // The first connection's channel closes once the second has taken over. A channel
      // that closes as its connection fails (this page's network gone) is mended too.
      each.onclose = () => {
        const failing = ['failed', 'disconnected'].includes(pc && pc.iceConnectionState);
        if (each === channel && !spare && !failing) lost();
      };
    }

    // The other page heard, and hearing this one as far as it says.
    function hearing() {
      if (unheard) return;
      heard = performance.now();
      if (quiet) {
        quiet = false;
        back();
        on.heard();
      }
    }

    // The other page not heard for a while, or not hearing this one: the match holds, and
    // the host's next frame tells the guest at once.
    function silent() {
      if (!quiet) {
        quiet = true;
        on.quiet();
        if (role === 'host') sendFrame(last.cells, last.state, last.taken, true);
      }
      mend();  // again while the second connection is still being made
    }

    // The other page has gone: closed, left, or silent too long.
    function lost() {
      if (!open || !scope.alive) return;
      open = false;
      on.gone();
    }

    // A connection that fails may yet come back (the browser's own checks go on): only
    // silence or a close ends it.
    function watch(connection) {
      scope.listen(connection, 'connectionstatechange', () => {
        if (connection === pc && connection.connectionState === 'closed') lost();
      });
    }

    function opened() {
      open = true;
      heard = performance.now();
      send({k: 'hello', v: protocol.VERSION});
      if (role === 'host') {
        wayBack = root.brelvoRendezvous.newSecret();
        send({k: 'way', s: wayBack});
      }
      scope.interval(() => {
        const silence = performance.now() - heard;
        if (open && silence > GONE_MS) {
          lost();
        } else if (open && silence > QUIET_MS) {
          silent();
        }
      }, 250);
      if (role === 'host') {
        scope.interval(() => {
          if (performance.now() - last.sentAt >= BEAT_MS) sendFrame(last.cells, last.state, last.taken, true);
        }, BEAT_MS / 4);
        renegotiate();
      }
      on.open();
    }

    // The second connection takes over: the first closes.
    function takeOver(connection) {
      const old = pc;
      pc = connection;
      spare = null;
      note({renewed: true});
      watch(connection);
      if (old) old.close();
    }

    // The host's two channels on a connection it offers: once the match channel opens
    // they are the match's, and `opened` follows.
    function offerChannels(connection, whenOpen) {
      const match = connection.createDataChannel('match');
      const frameChannel = connection.createDataChannel('frames',
                                                        {ordered: false, maxRetransmits: 0});
      match.onopen = () => {
        if (!scope.alive || (connection !== pc && connection !== spare)) return;
        channel = match;
        frames = frameChannel;
        listen(match);
        listen(frameChannel);
        whenOpen();
      };
    }

    // The host's channels as they open on the guest: the match channel calls `whenOpen`.
    function arrive(connection, whenOpen) {
      connection.ondatachannel = (event) => {
        const each = event.channel;
        each.onopen = () => {
          if (!scope.alive || (connection !== pc && connection !== spare)) return;
          if (each.label === 'match') {
            channel = each;
            listen(each);
            whenOpen();
          } else if (each.label === 'frames') {
            frames = each;
            listen(each);
          }
        };
      };
    }

    async function connection() {
      const made = new RTCPeerConnection({iceServers: await scope.keep(iceServers())});
      if (!scope.alive) made.close();
      return made;
    }

    // The host: the first connection's offer, for the invite link.
    peer.offer = async () => {
      const made = pc = await connection();
      watch(made);
      offerChannels(made, opened);
      return described(made, await scope.keep(made.createOffer()), scope);
    };

    // The host: the guest's answer from the reply link.
    peer.accept = (answer) => scope.keep(pc.setRemoteDescription(answer));

    // The guest: the answer to the invite's offer, for the reply link.
    peer.answer = async (offer) => {
      const made = pc = await connection();
      watch(made);
      arrive(made, opened);
      scope.listen(made, 'iceconnectionstatechange', () => {
        if (made.iceConnectionState === 'checking') on.checking();
      });
      await scope.keep(made.setRemoteDescription(offer));
      return described(made, await scope.keep(made.createAnswer()), scope);
    };

    // A second connection over the first, whose credentials only these two pages know;
    // the first closes once it opens. Should it not open, the match stays on the first.
    async function renegotiate() {
      const made = spare = await connection();
      scope.timeout(() => {
        if (spare !== made) return;
        spare = null;
        made.close();
        on.renewed();
      }, RENEW_MS);
      offerChannels(made, () => {
        takeOver(made);
        on.renewed();
      });
      const offer = await described(made, await scope.keep(made.createOffer()), scope);
      send({k: 'offer', sdp: offer.sdp});
    }

    function answerSecond(sdp) {
      if (spare) return drop();
      (async () => {
        const made = spare = await connection();
        arrive(made, () => takeOver(made));
        await scope.keep(made.setRemoteDescription({type: 'offer', sdp: sdp}));
        const answer = await described(made, await scope.keep(made.createAnswer()), scope);
        send({k: 'answer', sdp: answer.sdp});
      })().catch(() => {});
      return null;
    }

    // The other page not heard: both pages meet in their own room on the rendezvous and
    // make a new connection there, as they made the second (new addresses: one side's
    // network changed; new channels: a browser closes them once its connection fails).
    // The host offers it and sends its offer again until answered; the guest answers
    // once. Once its channels open it takes over, and the match goes on as it was.
    function mend() {
      if (mending || !wayBack || spare) return;
      const held = mending = root.brelvoMachine.scope();
      let room = null, made = null, answered = false;
      scope.onEnd(() => held.end());
      held.onEnd(() => {
        if (made && spare === made) {
          spare = null;
          made.close();
        }
      });
      const mended = () => {
        machine.count({mended: 1});
        takeOver(made);
      };
      const message = async (m) => {
        if (typeof m.sdp !== 'string') return;
        if (role === 'guest' && m.k === 'restart' && !answered && !spare) {
          answered = true;
          made = spare = await held.keep(connection());
          arrive(made, mended);
          await held.keep(made.setRemoteDescription({type: 'offer', sdp: m.sdp}));
          const answer = await described(made, await held.keep(made.createAnswer()), held);
          await room.send('restarted', {sdp: answer.sdp});
        } else if (role === 'host' && m.k === 'restarted' && made &&
                   made.signalingState === 'have-local-offer') {
          await held.keep(made.setRemoteDescription({type: 'answer', sdp: m.sdp}));
        }
      };
      held.keep(root.brelvoRendezvous.room(wayBack, role, held,
                                           {message: (m) => message(m).catch(() => {})},
                                           {repeatMs: REPEAT_MS,
                                            repeats: Math.ceil(GONE_MS / REPEAT_MS)}))
        .then(async (joined) => {
          room = joined;
          if (role !== 'host' || !room.brokers || spare) return;
          made = spare = await held.keep(connection());
          offerChannels(made, mended);
          const offer = await described(made, await held.keep(made.createOffer()), held);
          await room.send('restart', {sdp: offer.sdp});
        }).catch(() => {});
    }

    // The other page heard again: its room closes, but for a new connection under way,
    // which has a while yet to take over.
    function back() {
      const held = mending;
      if (!held) return;
      const close = () => {
        if (mending === held) mending = null;
        held.end();
      };
      if (spare) held.timeout(close, UNANSWERED_MS); else close();
    }

    // The end of the mode: the other page is told, then the connections close.
    scope.onEnd(() => {
      if (channel && channel.readyState === 'open') {
        channel.send(JSON.stringify({k: 'leave'}));
      }
      const closing = [pc, spare];
      open = false;
      channel = frames = pc = spare = null;
      setTimeout(() => closing.forEach((each) => each && each.close()), CLOSE_MS);
    });
    return peer;
  }

  root.brelvoPeer = {create: create, iceServers: iceServers, described: described};
})(window);
