// The connection between two pages playing one match (WebRTC), host's or guest's: its
// two channels, what goes over them as protocol.js allows, the heartbeat that tells
// whether the other page is still there, and the second connection. The invite link
// carries the first connection's credentials; over it the two pages make a second one
// whose credentials never left them, and close the first: whoever else has the invite
// link can no longer reach the match.
//
// A connection lives in a scope (machine.js): when the scope ends, the other page is
// told ("leave") and the connection closes, and nothing it hears afterwards counts.
'use strict';
(function (root) {
  const protocol = root.brelvoProtocol;
  const GATHER_MS = 3000;    // the longest an invite or a reply waits for its candidates
  const BEAT_MS = 1000;      // the heartbeat, while nothing else is sent
  const GONE_MS = 3500;      // silence after which the other page has gone
  const RENEW_MS = 10000;    // the longest the second connection may take
  const MOST_A_SECOND = 100; // messages the host takes from the guest in any second
  const CLOSE_MS = 200;      // the leave message's time to go before the close

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

  // role: 'host' or 'guest'; scope: the mode's; view: the numbers the page shows and the
  // tests read ({rtt, dropped, bytes, frames, renewed}); on: {open, gone, message(m),
  // frame(f), checking, seen(inView), version(theirs), rtt}.
  function create(role, scope, view, on) {
    const from = role === 'host' ? 'guest' : 'host';
    let pc = null, spare = null;  // the match's connection; the second, while it is made
    let channel = null, frames = null;
    let open = false, heard = 0;
    let budget = {at: 0, left: MOST_A_SECOND};
    const last = {cells: new Uint8Array(297), state: 0, taken: 0, sentAt: 0, beatAt: 0, seq: 0};
    let shownSeq = 0;

    const peer = {
      get open() { return open; },
      get renewing() { return !!spare; },
      get channel() { return channel; },
      get frameChannel() { return frames; },
    };

    function drop() {
      view.dropped++;
      return null;
    }

    function send(message) {
      if (!scope.alive || !channel || channel.readyState !== 'open') return;
      const text = JSON.stringify(message);
      channel.send(text);
      view.bytes.sent += text.length;
    }
    peer.send = send;

    // A frame of `cells`, the game's state `state` (0 none, 1 running, 2 over), showing
    // the guest's presses up to `taken`; a heartbeat at least once a second.
    function sendFrame(cells, state, taken, beat) {
      if (!scope.alive || !frames || frames.readyState !== 'open') return;
      const now = performance.now();
      beat = beat || now - last.beatAt >= BEAT_MS;
      const bytes = protocol.packFrame(cells, {beat: beat, state: state, seq: ++last.seq,
                                               time: now, rtt: view.rtt, taken: taken});
      frames.send(bytes);
      view.bytes.sent += bytes.length;
      view.frames.sent++;
      Object.assign(last, {cells: cells, state: state, taken: taken, sentAt: now});
      if (beat) last.beatAt = now;
    }
    peer.sendFrame = (cells, state, taken) => sendFrame(cells, state, taken, false);
    peer.beat = (state) => sendFrame(last.cells, state, last.taken, true);

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
          view.rtt = Math.min(60000, Math.max(0, ((Math.round(performance.now()) >>> 0) - m.t) >>> 0));
          on.rtt();
        }
        on.seen(m.s === 1);
      } else if (m.k === 'leave') {
        lost();
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
      view.rtt = frame.rtt;
      on.rtt();
      if (frame.seq <= shownSeq) return null;  // older than the one shown
      shownSeq = frame.seq;
      on.frame(frame);
      return null;
    }

    function listen(each) {
      each.binaryType = 'arraybuffer';
      each.onmessage = (event) => {
        if (!scope.alive || (each !== channel && each !== frames)) return;
        const data = event.data;
        view.bytes.received += typeof data === 'string' ? data.length : data.byteLength;
        heard = performance.now();
        fromOther(data);
      };
      // The first connection's channel closes once the second has taken over.
      each.onclose = () => { if (each === channel && !spare) lost(); };
    }

    // The other page has gone: closed, left, or silent too long.
    function lost() {
      if (!open || !scope.alive) return;
      open = false;
      on.gone();
    }

    function watch(connection) {
      scope.listen(connection, 'connectionstatechange', () => {
        if (connection === pc && ['failed', 'closed'].includes(connection.connectionState)) lost();
      });
    }

    function opened() {
      open = true;
      heard = performance.now();
      send({k: 'hello', v: protocol.VERSION});
      scope.interval(() => { if (open && performance.now() - heard > GONE_MS) lost(); }, 250);
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
      view.renewed = true;
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

  root.brelvoPeer = {create: create};
})(window);
