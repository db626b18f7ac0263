// Two devices, one match: the host's page runs the game as ever and a friend's page, the
// guest, joins it from an invite link, peer to peer (WebRTC), with no server of ours. The
// guest shows every frame the host composes and plays every sound the host's mixer plays
// from its own copy of the clips; its presses reach the host's game as player 1's keys.
//
// Two links make the connection: the invite (the host's offer, packed by link.js) and the
// reply (the guest's answer and a tag naming the invite). Then, over that first
// connection, the two pages make a second one whose credentials never left them and close
// the first: whoever else has the invite link can no longer reach the match.
//
// What travels, a closed list, each kind with its size limit in bytes (anything else is
// dropped and counted, never reaching the game):
//   on the ordered channel "match", JSON text {"k": kind, ...}:
//     hello   both    {v}: the protocol's version                        64
//     key     guest   {key: up|down|left|right, d: 1 down, 0 up}        64
//     beat    guest   {t: the heartbeat's time, s: 1 while in view}     64
//     offer   host    {sdp}: the second connection                     8192
//     answer  guest   {sdp}                                           8192
//     count   host    {n}: the countdown, 3 2 1                         32
//     start   host    the match starts                                  32
//     over    host    the match is over                                 32
//     play    host    {c: channel, p: clip, l: loops, t: ticks, g: volume}  96
//     halt    host    {c}                                               32
//     volume  host    {p, g}                                            48
//     leave   both    the page leaves                                   32
//   on the unordered channel "frames", without retransmission, binary, host to guest:
//     frame: kind 1 (1 byte), flags (1: bit 0 heartbeat, bits 1-2 the host's state), sequence
//     (4), the host's time in ms (4), the host's round trip in ms (2), colour count n (1),
//     n colours (3 each), then each of the 11 x 9 cells' colour number, row by row: the
//     score columns and the grid as composed. At most 512. Sent when a frame is composed,
//     and once a second while nothing changes as the heartbeat, which the guest answers.
'use strict';
(function () {
  const $ = (id) => document.getElementById(id);
  const page = window.brelvo;
  const VERSION = 1;
  const GATHER_MS = 3000;    // the longest an invite or a reply waits for its candidates
  const CONNECT_MS = 20000;  // from Connect to an open connection
  const BEAT_MS = 1000;      // the heartbeat, while nothing else is sent
  const GONE_MS = 3500;      // silence after which the other page has gone
  const COUNT_MS = 600;      // each step of the countdown
  const RENEW_MS = 10000;    // the longest the second connection may take
  const MOST_A_SECOND = 100; // messages taken from the guest in any second
  const WAYS = {up: 'ArrowUp', down: 'ArrowDown', left: 'ArrowLeft', right: 'ArrowRight'};
  const WAY_OF = {w: 'up', s: 'down', a: 'left', d: 'right', ArrowUp: 'up', ArrowDown: 'down',
                  ArrowLeft: 'left', ArrowRight: 'right'};
  const STATES = ['none', 'running', 'over'];
  const int = (v, low, high) => Number.isInteger(v) && v >= low && v <= high;
  // What each page takes from the other: kind: [size limit, check of the fields].
  const FROM_GUEST = {
    hello: [64, (m) => int(m.v, 0, 1e6)],
    key: [64, (m) => Object.hasOwn(WAYS, m.key) && (m.d === 0 || m.d === 1)],
    beat: [64, (m) => int(m.t, 0, 2 ** 32) && (m.s === 0 || m.s === 1)],
    answer: [8192, (m) => typeof m.sdp === 'string'],
    leave: [32, () => true],
  };
  const FROM_HOST = {
    hello: [64, (m) => int(m.v, 0, 1e6)],
    offer: [8192, (m) => typeof m.sdp === 'string'],
    count: [32, (m) => int(m.n, 1, 9)],
    start: [32, () => true],
    over: [32, () => true],
    play: [96, (m) => int(m.c, 0, 15) && int(m.p, 0, 63) && int(m.l, -1, 1e6) &&
           int(m.t, -1, 1e9) && int(m.g, 0, 128)],
    halt: [32, (m) => int(m.c, 0, 15)],
    volume: [48, (m) => int(m.p, 0, 63) && int(m.g, 0, 128)],
    leave: [32, () => true],
  };

  // What the tests and the player's eyes see of the connection.
  const remote = page.remote = {role: null, state: null, rtt: null, dropped: 0,
                                bytes: {sent: 0, received: 0}, frames: {sent: 0, shown: 0},
                                channel: null, renewed: false};
  // The frames channel too, for the tests of what a page takes.
  Object.defineProperty(remote, 'frameChannel', {get: () => frames});
  const base = location.href.split('#')[0];
  let pc = null;          // the connection the match uses
  let spare = null;       // the second connection, while it is made
  let frames = null;      // its frames channel
  let invite = null;      // the host's invite: {text, tag, used}
  const spent = new Set(); // tags of this tab's used or abandoned invites
  let heard = 0;          // when the other page was last heard from
  let timers = [];
  let connectTimer = null;
  let audio = null;       // the sound made by the first gesture (the host's), or the guest's
  let guest = null;       // the guest's own instance: its clips and mixer
  let held = new Set();   // the ways the guest holds down, on the host
  let seenThere = false;  // the guest's page is in view
  let budget = {at: 0, left: MOST_A_SECOND};
  let invited = '';       // the invite this page was opened with, as a guest

  const status = (text) => { $('status').textContent = text; };
  function showRtt() {
    $('rtt').textContent = remote.rtt === null ? '' : remote.rtt + ' ms';
  }
  function bar(on) {
    $('link').hidden = !on;
  }

  // ---- Sending and taking ----

  function send(message) {
    const channel = remote.channel;
    if (!channel || channel.readyState !== 'open') return;
    const text = JSON.stringify(message);
    channel.send(text);
    remote.bytes.sent += text.length;
  }

  function drop() {
    remote.dropped++;
    return null;
  }

  // A message from the other page as the list allows it, or null (counted).
  function take(data, allowed) {
    if (remote.role === 'host') {
      const now = performance.now();
      if (now - budget.at >= 1000) budget = {at: now, left: MOST_A_SECOND};
      if (budget.left-- <= 0) return drop();
    }
    if (typeof data !== 'string' || data.length > 8192) return drop();
    let message;
    try {
      message = JSON.parse(data);
    } catch (error) {
      return drop();
    }
    const kind = message && typeof message === 'object' && !Array.isArray(message) &&
      Object.hasOwn(allowed, message.k) ? allowed[message.k] : null;
    if (!kind || data.length > kind[0] || !kind[1](message)) return drop();
    return message;
  }

  function listen(channel, onMessage) {
    channel.binaryType = 'arraybuffer';
    channel.onmessage = (event) => {
      if (channel !== remote.channel && channel !== frames) return;
      const data = event.data;
      remote.bytes.received += typeof data === 'string' ? data.length : data.byteLength;
      heard = performance.now();
      onMessage(data);
    };
    // The first connection closes once the second has taken over.
    channel.onclose = () => {
      if (channel === remote.channel && !spare) gone();
    };
  }

  // ---- The connection ----

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
  async function described(connection, description) {
    await connection.setLocalDescription(description);
    await new Promise((done) => {
      if (connection.iceGatheringState === 'complete') return done();
      const timer = setTimeout(done, GATHER_MS);
      connection.addEventListener('icegatheringstatechange', () => {
        if (connection.iceGatheringState === 'complete') {
          clearTimeout(timer);
          done();
        }
      });
    });
    return connection.localDescription;
  }

  // The host's two channels on a connection it offers: once the match channel opens they
  // are the match's, and `opened` follows.
  function offerChannels(connection, opened) {
    const match = connection.createDataChannel('match');
    const frameChannel = connection.createDataChannel('frames',
                                                      {ordered: false, maxRetransmits: 0});
    match.onopen = () => {
      if (connection !== pc && connection !== spare) return;
      remote.channel = match;
      frames = frameChannel;
      listen(match, fromGuest);
      listen(frameChannel, () => drop());
      opened();
    };
  }

  function watch(connection) {
    connection.addEventListener('connectionstatechange', () => {
      if (connection === pc && ['failed', 'closed'].includes(connection.connectionState) &&
          remote.state === 'connected') {
        gone();
      }
    });
  }

  function every(ms, action) {
    timers.push(setInterval(action, ms));
  }

  function stopAll() {
    timers.forEach(clearInterval);
    timers = [];
    clearTimeout(connectTimer);
    for (const connection of [pc, spare]) if (connection) connection.close();
    pc = spare = frames = remote.channel = null;
  }

  function cannotConnect() {
    if (remote.state === 'connected') return;
    stopAll();
    remote.state = 'failed';
    status('Could not connect to your friend. Your networks may not let two devices reach ' +
           'each other directly: a TURN server in the page\'s ice-servers.json relays for ' +
           'them (README.txt says how).');
    bar(true);
  }

  // The other page has gone: closed, left, or silent too long.
  function gone() {
    if (remote.state !== 'connected') return;
    remote.state = 'left';
    stopAll();
    bar(true);
    if (remote.role === 'host') {
      status('Your friend left.');
      letGo();
      if (page.game) page.game.remote = false;
      page.mode = 'two';
      $('pad1').hidden = false;
    } else {
      status('The host left.');
      ended('The host left.');
    }
  }

  // The guest's keys still down on the host are let go: player 1 stands still.
  function letGo() {
    held.forEach((way) => {
      if (page.game && page.game.guestKey) page.game.guestKey(WAYS[way], false);
    });
    held = new Set();
  }

  function connected() {
    remote.state = 'connected';
    clearTimeout(connectTimer);
    heard = performance.now();
    status('Connected');
    bar(true);
    send({k: 'hello', v: VERSION});
    every(250, () => {
      if (remote.state === 'connected' && performance.now() - heard > GONE_MS) gone();
    });
    if (remote.role === 'host') {
      every(BEAT_MS / 4, () => {
        if (performance.now() - lastFrame.sentAt >= BEAT_MS) sendFrame(lastFrame.cells, true);
      });
      renegotiate();
    }
  }

  // ---- The host ----

  const lastFrame = {cells: new Uint8Array(297), sentAt: 0, beatAt: 0, seq: 0};
  let hostState = 0;  // STATES

  function sendFrame(cells, beat) {
    if (!frames || frames.readyState !== 'open') return;
    const now = performance.now();
    beat = beat || now - lastFrame.beatAt >= BEAT_MS;
    const colours = [], index = new Map(), numbers = new Uint8Array(99);
    for (let i = 0; i < 99; i++) {
      const key = (cells[3 * i] << 16) | (cells[3 * i + 1] << 8) | cells[3 * i + 2];
      if (!index.has(key)) {
        index.set(key, colours.length);
        colours.push(key);
      }
      numbers[i] = index.get(key);
    }
    const bytes = new Uint8Array(13 + 3 * colours.length + 99);
    const view = new DataView(bytes.buffer);
    view.setUint8(0, 1);
    view.setUint8(1, (beat ? 1 : 0) | (hostState << 1));
    view.setUint32(2, ++lastFrame.seq);
    view.setUint32(6, Math.round(now) >>> 0);
    view.setUint16(10, remote.rtt === null ? 0xffff : Math.min(remote.rtt, 0xfffe));
    view.setUint8(12, colours.length);
    colours.forEach((c, i) => bytes.set([c >> 16, (c >> 8) & 255, c & 255], 13 + 3 * i));
    bytes.set(numbers, 13 + 3 * colours.length);
    frames.send(bytes);
    remote.bytes.sent += bytes.length;
    remote.frames.sent++;
    lastFrame.cells = cells;
    lastFrame.sentAt = now;
    if (beat) lastFrame.beatAt = now;
  }

  function fromGuest(data) {
    const m = take(data, FROM_GUEST);
    if (!m) return;
    if (m.k === 'hello') {
      if (m.v !== VERSION) status('Your friend\'s page is another version of Brelvo: they must reload it.');
    } else if (m.k === 'key') {
      // Only while the match runs, and only player 1's keys: the game's own rules do the rest.
      if (page.state !== 'running' || !page.game || !page.game.guestKey) return;
      if (m.d) held.add(m.key); else held.delete(m.key);
      page.game.guestKey(WAYS[m.key], m.d === 1);
    } else if (m.k === 'beat') {
      // A beat that answers a heartbeat carries its time; one sent on its own, none.
      if (m.t > 0) {
        remote.rtt = Math.min(60000, Math.max(0, ((Math.round(performance.now()) >>> 0) - m.t) >>> 0));
        showRtt();
      }
      const wasSeen = seenThere;
      seenThere = m.s === 1;
      if (!wasSeen && seenThere) countdown();
    } else if (m.k === 'answer') {
      if (!spare || spare.signalingState !== 'have-local-offer') return drop();
      spare.setRemoteDescription({type: 'answer', sdp: m.sdp}).catch(() => {});
    } else if (m.k === 'leave') {
      gone();
    }
  }

  // A second connection over the first, whose credentials only these two pages know;
  // the first closes once it opens. Should it not open, the match stays on the first.
  async function renegotiate() {
    const connection = spare = new RTCPeerConnection({iceServers: await iceServers()});
    setTimeout(() => {
      if (spare !== connection) return;
      spare = null;
      connection.close();
      countdown();
    }, RENEW_MS);
    offerChannels(connection, () => {
      const old = pc;
      pc = connection;
      spare = null;
      remote.renewed = true;
      watch(connection);
      if (old) old.close();
      countdown();
    });
    const offer = await described(connection, await connection.createOffer());
    send({k: 'offer', sdp: offer.sdp});
  }

  let counting = false;
  // The match starts once both pages are in view, after a countdown on both.
  function countdown() {
    if (counting || remote.role !== 'host' || remote.state !== 'connected' || spare ||
        !seenThere || document.hidden || page.state === 'running' ||
        page.state === 'starting') {
      return;
    }
    counting = true;
    let n = 3;
    const step = () => {
      if (remote.state !== 'connected') {
        counting = false;
        showCount(0);
        return;
      }
      if (n > 0) {
        send({k: 'count', n: n});
        showCount(n--);
        setTimeout(step, COUNT_MS);
        return;
      }
      counting = false;
      showCount(0);
      send({k: 'start'});
      hostState = 1;
      plainStart({timeStamp: performance.now()}, 'remote');
    };
    step();
  }

  function showCount(n) {
    $('count').hidden = n === 0;
    $('count').textContent = n ? String(n) : '';
    if (n) page.show(null);
  }

  // What the game's start takes for a match with a friend (page.js).
  remote.options = () => {
    const context = audio && audio.state !== 'closed' ? audio : null;
    audio = null;  // each match closes its sound; the next makes its own
    return {
      audioContext: context,
      remote: remote.state === 'connected',
      onComposed: (cells) => { if (remote.state === 'connected') sendFrame(cells, false); },
      onSound: (what) => { if (remote.state === 'connected') send(what); },
      onMatchEnd: () => {
        hostState = 2;
        letGo();
        send({k: 'over'});
        sendFrame(lastFrame.cells, true);
      },
    };
  };

  async function makeInvite() {
    audio = page.makeAudio().context;  // this gesture's, for the first match's sound
    remote.role = 'host';
    remote.state = 'inviting';
    page.state = 'inviting';
    page.show($('host'));
    $('invite-link').value = '';
    $('reply').value = '';
    $('local-warning').hidden = !/^(localhost|127\.|\[::1\])/.test(location.host);
    status('Making your invite…');
    bar(true);
    stopAll();
    const connection = pc = new RTCPeerConnection({iceServers: await iceServers()});
    watch(connection);
    offerChannels(connection, connected);
    const offer = await described(connection, await connection.createOffer());
    if (pc !== connection) return;
    const text = brelvoLink.pack(offer);
    invite = {text: text, tag: text.slice(-4), used: false};
    showLink('invite', base + '#' + text, 'the invite link');
    remote.state = 'waiting';
    status('Waiting for your friend\'s reply');
    $('copy-invite').focus();
  }

  // A reply from the guest, pasted or handed over by another tab: a message for the
  // player, or null once the connection is under way.
  function takeReply(text) {
    const fragment = String(text).trim().split('#').pop();
    const [packed, tag] = fragment.split('.');
    let answer;
    try {
      answer = brelvoLink.unpack(packed);
    } catch (error) {
      answer = null;
    }
    if (!answer || answer.type !== 'answer') {
      return 'This is not a reply link: paste the whole link your friend sent back.';
    }
    if (!invite || invite.used || tag !== invite.tag) return 'This invite is already used.';
    invite.used = true;
    spent.add(invite.tag);
    remote.state = 'connecting';
    status('Connecting…');
    connectTimer = setTimeout(cannotConnect, CONNECT_MS);
    pc.setRemoteDescription(answer).catch(cannotConnect);
    return null;
  }

  function connect() {
    const problem = takeReply($('reply').value);
    if (problem) status(problem);
  }

  // ---- The guest ----

  function fromHost(data) {
    if (typeof data !== 'string') return frame(data);
    const m = take(data, FROM_HOST);
    if (!m) return;
    if (m.k === 'hello') {
      if (m.v !== VERSION) {
        status('Your friend\'s page is another version of Brelvo: reload this page to play.');
      }
    } else if (m.k === 'offer') {
      answerSecond(m.sdp);
    } else if (m.k === 'count') {
      showCount(m.n);
    } else if (m.k === 'start') {
      showCount(0);
      page.state = 'running';
      page.show(null);
      $('game').focus();
    } else if (m.k === 'over') {
      release();
      page.state = 'over';
      $('again').hidden = true;
      $('over-guest').hidden = false;
      page.show($('over'));
    } else if (m.k === 'leave') {
      gone();
    } else if (guest && guest.sound && guest.mixer) {
      if (m.k !== 'halt' && m.p >= guest.mixer.clips().length) return drop();
      guest.sound(m);
    }
  }

  let shownSeq = 0;
  let shownFrame = null;
  // A frame from the host, drawn whole at this window's size with the game's geometry.
  function frame(data) {
    if (!(data instanceof ArrayBuffer) || data.byteLength < 13 || data.byteLength > 512) {
      return drop();
    }
    const bytes = new Uint8Array(data), view = new DataView(data);
    const n = bytes[12];
    if (bytes[0] !== 1 || n < 1 || data.byteLength !== 13 + 3 * n + 99) return drop();
    const numbers = bytes.subarray(13 + 3 * n);
    if (numbers.some((c) => c >= n)) return drop();
    const flags = bytes[1], seq = view.getUint32(2), rtt = view.getUint16(10);
    if (flags & 1) send({k: 'beat', t: view.getUint32(6), s: document.hidden ? 0 : 1});
    remote.rtt = rtt === 0xffff ? null : rtt;
    showRtt();
    if (seq <= shownSeq) return;  // an older frame than the one shown
    shownSeq = seq;
    shownFrame = {bytes: bytes, n: n};
    draw();
  }

  function draw() {
    if (!shownFrame) return;
    const {bytes, n} = shownFrame, numbers = bytes.subarray(13 + 3 * n);
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
      const at = 13 + 3 * numbers[i];
      if (bytes[at] | bytes[at + 1] | bytes[at + 2]) {
        g.fillStyle = `rgb(${bytes[at]},${bytes[at + 1]},${bytes[at + 2]})`;
        g.fillRect(x0 + (i % 11 - 1) * s, y0 + Math.trunc(i / 11) * s, s, s);
      }
    }
    remote.frames.shown++;
    if (guest) {
      guest.frames = (guest.frames || 0) + 1;
      if (guest.onFrame) guest.onFrame();  // as the host's game tells each frame
    }
  }
  window.addEventListener('resize', () => { if (remote.role === 'guest') draw(); });

  // The host's channels on a connection, as they open: the match channel first calls
  // `opened`; the frames channel is taken whenever it opens.
  function arrive(connection, opened) {
    connection.ondatachannel = (event) => {
      const channel = event.channel;
      channel.onopen = () => {
        if (channel.label === 'match' && (connection === pc || connection === spare)) {
          remote.channel = channel;
          listen(channel, fromHost);
          opened();
        } else if (channel.label === 'frames' && (connection === pc || connection === spare)) {
          frames = channel;
          listen(channel, fromHost);
        }
      };
    };
  }

  function answerSecond(sdp) {
    if (spare) return drop();
    iceServers().then(async (servers) => {
      const connection = spare = new RTCPeerConnection({iceServers: servers});
      arrive(connection, () => {
        const old = pc;
        pc = connection;
        spare = null;
        remote.renewed = true;
        watch(connection);
        if (old) old.close();
      });
      await connection.setRemoteDescription({type: 'offer', sdp: sdp});
      const answer = await described(connection, await connection.createAnswer());
      send({k: 'answer', sdp: answer.sdp});
    }).catch(() => {});
  }

  // The guest's presses, from its keys, its pad or its gamepad: player 1's, on the host.
  const down = new Map();  // key name: way
  function press(key, isDown) {
    if (key === 'Escape') {
      if (isDown) leave();
      return;
    }
    const way = isDown ? WAY_OF[key] : down.get(key);
    if (!way || page.state !== 'running') return;
    if (isDown) down.set(key, way); else down.delete(key);
    send({k: 'key', key: way, d: isDown ? 1 : 0});
  }
  function release() {
    down.forEach((way, key) => press(key, false));
  }

  function onKey(event) {
    if (remote.role !== 'guest' || event.repeat ||
        (event.target instanceof Element && event.target.closest('input, textarea'))) {
      return;
    }
    if (WAY_OF[event.key] || event.key === 'Escape') {
      if (page.state === 'running') event.preventDefault();
      press(event.key, event.type === 'keydown');
    }
  }

  async function join() {
    $('join').disabled = true;
    page.state = 'joining';
    // One pad on a touch screen: player 1's.
    $('pad0').hidden = true;
    audio = page.makeAudio();
    page.adoptAudio(audio.context);
    // The guest's own instance holds the clips; it draws nothing and hears no key.
    createBrelvo({
      arguments: ['--guest'],
      audioContext: audio.context,
      audioError: audio.error,
      instantiateWasm: page.instantiate,
      onFailure: page.fail,
    }).then((game) => {
      guest = page.game = game;
      guest.frames = 0;
    });
    remote.state = 'answering';
    status('Making your reply…');
    bar(true);
    const offer = brelvoLink.unpack(invited);
    // The host's candidates stay out: this page sends nothing until the host, given the
    // reply, reaches it. A second guest with the same link disturbs no one, and the clock
    // for connecting starts when the host's checks arrive.
    offer.sdp = offer.sdp.split('\r\n').filter((line) => !/^a=candidate:\S+ \d+ \S+ \d+ \S+ \d+ typ (host|srflx)/.test(line)).join('\r\n');
    const connection = pc = new RTCPeerConnection({iceServers: await iceServers()});
    watch(connection);
    arrive(connection, () => {
      connected();
      page.show(null);
    });
    connection.addEventListener('iceconnectionstatechange', () => {
      if (connection.iceConnectionState === 'checking' && !connectTimer) {
        connectTimer = setTimeout(cannotConnect, CONNECT_MS);
      }
    });
    await connection.setRemoteDescription(offer);
    const answer = await described(connection, await connection.createAnswer());
    // The tag names the invite, so that the host's page knows a reply to an old one.
    showLink('reply', base + '#' + brelvoLink.pack(answer) + '.' + invited.slice(-4),
             'the reply link');
    remote.state = 'replied';
    status('Now your friend must open this reply link, or paste it into their page');
  }

  function leave() {
    if (remote.role !== 'guest') return;
    release();
    send({k: 'leave'});
    const closing = pc;
    remote.state = 'left';
    setTimeout(() => { if (closing) closing.close(); }, 200);
    timers.forEach(clearInterval);
    timers = [];
    ended('You left the match.');
  }

  function ended(text) {
    page.state = 'left';
    showCount(0);
    if (guest && guest.leave) guest.leave();
    $('ended-message').textContent = text;
    page.show($('ended'));
    $('home').focus();
  }

  // ---- Links for the player ----

  function showLink(which, link, label) {
    const field = $(which + '-link');
    field.value = link;
    $(which + '-box').hidden = false;
    const box = $(which + '-code');
    box.replaceChildren(brelvoQr.svg(link, label));
    $('share-' + which).hidden = !navigator.share;
  }

  async function copy(which) {
    const field = $(which + '-link');
    const button = $('copy-' + which);
    let done = false;
    try {
      await navigator.clipboard.writeText(field.value);
      done = true;
    } catch (error) {
      // Without the clipboard (plain http from another address), the old way.
      field.select();
      done = document.execCommand('copy');
    }
    button.textContent = done ? 'Copied' : 'Select the link and copy it';
    setTimeout(() => { button.textContent = which === 'invite' ? 'Copy invite' : 'Copy reply'; }, 2000);
  }

  function share(which) {
    const text = which === 'invite' ? 'Play Brelvo with me: open this link.' :
      'My reply to your Brelvo invite: open it in the browser you invited me from.';
    navigator.share({title: 'Brelvo', text: text, url: $(which + '-link').value}).catch(() => {});
  }

  // ---- Reply links opened in the host's own browser ----

  const replies = window.BroadcastChannel ? new BroadcastChannel('brelvo replies') : null;
  if (replies) {
    replies.onmessage = (event) => {
      const data = event.data;
      if (!data || typeof data.reply !== 'string') return;
      const tag = data.reply.split('.')[1];
      if (invite && !invite.used && tag === invite.tag) {
        replies.postMessage({answer: data.id, taken: true});
        takeReply(data.reply);
      } else if (spent.has(tag)) {
        replies.postMessage({answer: data.id, taken: false});
      }
    };
  }

  function handOver(fragment) {
    page.state = 'handing';
    page.show($('handoff'));
    const say = (text) => { $('handoff-message').textContent = text; };
    if (!replies) {
      say('Paste this reply link into the Reply field of the page that made your invite.');
      return;
    }
    const id = Math.random().toString(36).slice(2);
    let answered = false;
    replies.onmessage = (event) => {
      if (!event.data || event.data.answer !== id || answered) return;
      answered = true;
      say(event.data.taken ? 'Your friend\'s reply went to your invite: go back to its tab.'
        : 'This invite is already used.');
    };
    replies.postMessage({reply: fragment, id: id});
    setTimeout(() => {
      if (!answered) {
        say('No invite in this browser waits for this reply. Open it in the browser that ' +
            'made the invite, or paste it into that page\'s Reply field.');
      }
    }, 1500);
  }

  // ---- The page's start ----

  const plainStart = page.start;
  page.start = (event, mode) => {
    if (remote.role === 'guest' || page.state === 'inviting') return;
    if (mode === 'remote') {
      makeInvite().catch((error) => status('Could not make an invite: ' + error.message));
      return;
    }
    // Play again, with the friend still there: both pages count down again.
    if (!mode && page.mode === 'remote' && remote.state === 'connected') {
      if (page.state === 'over' || page.state === 'failed') countdown();
      return;
    }
    plainStart(event, mode);
  };

  const pressLocal = page.press;
  page.press = (key, isDown) => (remote.role === 'guest' ? press(key, isDown) : pressLocal(key, isDown));

  window.addEventListener('keydown', onKey, true);
  window.addEventListener('keyup', onKey, true);
  window.addEventListener('blur', release);
  document.addEventListener('visibilitychange', () => {
    if (remote.role === 'guest') {
      if (document.hidden) release();
      send({k: 'beat', t: 0, s: document.hidden ? 0 : 1});
    } else {
      countdown();
    }
  });
  window.addEventListener('pagehide', () => send({k: 'leave'}));

  const can = typeof RTCPeerConnection === 'function';
  $('invite').hidden = !can;
  $('connect').addEventListener('click', connect);
  $('reply').addEventListener('keydown', (event) => { if (event.key === 'Enter') connect(); });
  $('cancel').addEventListener('click', () => {
    if (invite) spent.add(invite.tag);
    invite = null;
    stopAll();
    remote.role = remote.state = null;
    bar(false);
    page.state = 'gate';
    page.show($('gate'));
  });
  for (const which of ['invite', 'reply']) {
    $('copy-' + which).addEventListener('click', () => copy(which));
    $('share-' + which).addEventListener('click', () => share(which));
  }
  $('join').addEventListener('click', () => {
    join().catch((error) => status('Could not join: ' + error.message));
  });
  $('home').addEventListener('click', () => { location.href = base; });

  // A link's fragment: an invite to join, or a reply for this browser's waiting invite.
  // A link pasted into a tab that shows the page already loads it afresh, but for the
  // reply pasted into the very tab whose invite waits for it, which a reload would lose.
  window.addEventListener('hashchange', () => {
    const fragment = location.hash.slice(1);
    if (!fragment) return;
    if (invite && !invite.used && fragment.split('.')[1] === invite.tag) {
      history.replaceState(null, '', base);
      const problem = takeReply(fragment);
      if (problem) status(problem);
      return;
    }
    location.reload();
  });
  const fragment = location.hash.slice(1);
  if (fragment && page.state === 'gate') {
    let link = null;
    try {
      link = brelvoLink.unpack(fragment.split('.')[0]);
    } catch (error) {
      link = null;
    }
    history.replaceState(null, '', base);  // a reload is a fresh start
    if (link && link.type === 'answer') {
      handOver(fragment);
    } else {
      remote.role = 'guest';
      page.state = 'joining';
      page.show($('joining'));
      $('join').hidden = !can || !link;
      $('joining-message').textContent = !can ? 'This browser cannot play with a friend elsewhere.'
        : !link ? 'This invite link is damaged: ask your friend for a new one.'
          : 'Your friend invites you to a match of Brelvo. Join it to play the right-hand ' +
            'player, with your keys, your touch screen or a gamepad.';
      invited = fragment;
    }
  }
})();
