#!/usr/bin/python3
"""The page's costs, against the goals in docs/performance.md:
   bench/web.py PAGE_DIR [ENGINE...] [--starts N]
   bench/web.py PAGE_DIR --remote      (as root: a network of its own, as the tests make)
   bench/web.py PAGE_DIR --big         (as root, likewise)
   bench/web.py PAGE_DIR --against EARLIER_PAGE_DIR [--rounds N]
In every engine (Chromium, Firefox ESR, WebKitGTK; all by default): the time from the
starting gesture to the first frame, beside a floor page's, and where the game's goes.
In Chromium also what a first visit fetches, the main thread's time in an idle round
(Chromium's own metrics), and a key press, a touch on a pad and a gamepad press to the
frame that shows it. With --remote, a match with a friend elsewhere between two Chromiums:
the guest's press to its own fighter moving and to the host's frame that shows it taken,
straight and with 40 and 150 ms of round trip added, beside the host's own; the presses
the guest foresaw wrongly, the bytes each way, and the time from Join to "Connected" by
the invite alone (its broker: Debian's mosquitto, as tools/web.sh unpacks it, named by
BRELVO_MOSQUITTO as coturn by BRELVO_TURNSERVER). With --big, the big screen and two
phones as its pads, in the same network: a pad's press to the screen's frame that shows
it, straight and with 20 ms added each way, and the screen's time to pack and send each
frame with no phone, two pads, and two pads and 8 watchers. With --against, only the
presses, in one Chromium, on this page and on one built from an earlier commit in turns,
each kind's rounds pooled: a change's cost to a press is a fraction of a millisecond,
under what two runs apart differ by."""
import argparse
import os
import shutil
import statistics
import sys
import tempfile
import time

# The page's tests' own driver, server and game helpers.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
import browsers  # noqa: E402
from test_page import ENGINES, Game, Page, TEST_PADS, first_visit, sound_server  # noqa: E402


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


# The floor: a page whose starting key press or click does what any start must, and no
# more: it makes an AudioContext, plays one second of sound and puts one 550x450 frame on
# its canvas, timed as the game is, from the gesture's event time to the frame drawn.
FLOOR = """<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>floor</title></head>
<body><canvas id="game" width="550" height="450"></canvas>
<script>
'use strict';
window.floor = {startedAt: null, frameAt: null, context: null};
function start(event) {
  if (floor.startedAt !== null) return;
  floor.startedAt = event.timeStamp;
  const context = floor.context = new (window.AudioContext || window.webkitAudioContext)(
      {latencyHint: 'interactive'});
  const buffer = context.createBuffer(2, 22050, 22050);
  for (let c = 0; c < 2; c++) {
    const samples = buffer.getChannelData(c);
    for (let i = 0; i < samples.length; i++) samples[i] = 0.1 * Math.sin(i * 0.125);
  }
  const source = context.createBufferSource();
  source.buffer = buffer;
  source.connect(context.destination);
  source.start();
  const canvas = document.getElementById('game');
  const g = canvas.getContext('2d', {alpha: false});
  const image = new ImageData(550, 450);
  for (let i = 0; i < image.data.length; i += 4) {
    image.data[i] = image.data[i + 1] = image.data[i + 2] = (i >> 6) & 1 ? 255 : 0;
    image.data[i + 3] = 255;
  }
  g.putImageData(image, 0, 0);
  floor.frameAt = performance.now();
}
addEventListener('keydown', start);
addEventListener('click', start);
</script></body></html>
"""

# Marks on the page's clock through the game's start, put in after the page has loaded
# and before the gesture: the gesture's handlers reached, the AudioContext made, the
# game's instance asked for and made, the runtime's start (just before main), the mixer
# opened, the canvas taken, each clip's samples handed to WebAudio, the first frame, and
# the first animation frame after the game was asked for (the browser painting the page
# before the game's first frame). None of them changes what the game does.
MARKS = """
  const marks = window.startMarks = {clips: []};
  const now = () => performance.now();
  addEventListener('keydown', () => { if (!marks.handler) marks.handler = now(); }, true);
  const Context = window.AudioContext || window.webkitAudioContext;
  const Made = class extends Context {
    constructor(options) { super(options); marks.audio = now(); }
  };
  window.AudioContext = window.webkitAudioContext = Made;
  const gain = Context.prototype.createGain;
  Context.prototype.createGain = function () {
    if (!marks.mixer) marks.mixer = now();
    return gain.apply(this, arguments);
  };
  const buffer = Context.prototype.createBuffer;
  Context.prototype.createBuffer = function () {
    const made = buffer.apply(this, arguments);
    marks.clips.push(now());
    return made;
  };
  const instantiate = WebAssembly.instantiate;
  WebAssembly.instantiate = function () {
    marks.instantiate = now();
    return instantiate.apply(this, arguments).then((made) => {
      marks.instantiated = now();
      return made;
    });
  };
  const Instance = WebAssembly.Instance;  // the page makes it at once when it can
  WebAssembly.Instance = class extends Instance {
    constructor(module, imports) {
      marks.instantiate = now();
      super(module, imports);
      marks.instantiated = now();
    }
  };
  const getContext = HTMLCanvasElement.prototype.getContext;
  HTMLCanvasElement.prototype.getContext = function () {
    if (!marks.canvas) marks.canvas = now();
    return getContext.apply(this, arguments);
  };
  const create = window.createBrelvo;
  window.createBrelvo = function (options) {
    marks.create = now();
    requestAnimationFrame(() => { marks.painted = now(); });
    options.onRuntimeInitialized = () => { marks.main = now(); };
    return create(options);
  };
"""

# Where a start's time goes, each phase from the mark before it: [name, mark].
PHASES = [("gesture to its handler", "handler"), ("AudioContext", "audio"),
          ("to createBrelvo", "create"), ("wait for the compile", "instantiate"),
          ("instantiate", "instantiated"), ("runtime to main", "main"),
          ("SDL_Init, mixer", "mixer"), ("caption, video", "canvas"),
          ("decoding before the frame", "clips"), ("to the first frame", "frame")]
COUNTS = ["clips decoded before the frame, of 13", "a paint before the first frame"]


def phases(marks, started, frame):
    """A start's phases in ms, from its marks; a phase whose mark is missing is None."""
    marks = dict(marks, frame=frame)
    clips = [t for t in marks.pop("clips") if t <= frame]
    marks["clips"] = clips[-1] if clips else marks.get("canvas")
    times, last = {}, started
    for name, mark in PHASES:
        at = marks.get(mark)
        times[name] = None if at is None or last is None else at - last
        last = at if at is not None else last
    times[COUNTS[0]] = len(clips)
    times[COUNTS[1]] = int(marks.get("painted", frame + 1) < frame)
    return times


READING = 0.5  # the player reads the gate first; the page compiles the game meanwhile


def game_start(b, page):
    """One start of the game from its gate: gesture to first frame in ms, and its phases."""
    b.open(page.url)
    b.evaluate(MARKS)
    # A first visit keeps the page for offline play meanwhile: not while the player starts.
    b.evaluate("return navigator.serviceWorker.ready.then(() => true)")
    time.sleep(READING)
    b.press("Enter")
    Game(b, page).wait("return !!(brelvo.game && brelvo.game.firstFrameAt)", "the first frame")
    started, frame, marks = b.evaluate(
        "return [brelvo.startedAt, brelvo.game.firstFrameAt, window.startMarks]")
    b.press("Escape")  # which closes its AudioContext
    Game(b, page).wait("return brelvo.state === 'over'", "the end of the match")
    return frame - started, phases(marks, started, frame)


def floor_start(b, page):
    """One start of the floor: gesture to its frame in ms."""
    b.open(page.url + "floor.html")
    time.sleep(READING)
    b.press("Enter")
    Game(b, page).wait("return floor.frameAt !== null", "the floor's frame")
    taken = b.evaluate("return floor.frameAt - floor.startedAt")
    b.evaluate("return floor.context.close()")
    return taken


def starts(engine, folder, env, runs):
    """`runs` starts of the game and of the floor, each in a fresh browser of its own (so
    that both first starts pay for the browser's first sound), taken in turns: the
    game's times, the floor's and the game's phases."""
    floor_folder = tempfile.mkdtemp(prefix="brelvo-floor-")
    with open(os.path.join(floor_folder, "floor.html"), "w") as f:
        f.write(FLOOR)
    game_times, floor_times, game_phases = [], [], []
    try:
        with browsers.launch(engine, env=env) as game_b, browsers.launch(engine, env=env) as floor_b:
            game_page, floor_page = Page(folder), Page(floor_folder)
            try:
                for run in range(runs):
                    # Who goes first alternates, so that neither always follows the other.
                    for kind in ("game", "floor") if run % 2 == 0 else ("floor", "game"):
                        if kind == "game":
                            taken, spent = game_start(game_b, game_page)
                            game_times.append(taken)
                            game_phases.append(spent)
                        else:
                            floor_times.append(floor_start(floor_b, floor_page))
            finally:
                game_page.stop()
                floor_page.stop()
    finally:
        shutil.rmtree(floor_folder, ignore_errors=True)
    return game_times, floor_times, game_phases


def idle_share(b, page, seconds):
    """The main thread's busy time while a round waits for keys, as Chromium counts it."""
    game = Game(b, page)
    b.open(page.url)
    game.start()
    game.round_start([0, 0])
    time.sleep(2.5)  # the round's start sounds end
    before, started = task_seconds(b), time.monotonic()
    time.sleep(seconds)
    return (task_seconds(b) - before) / (time.monotonic() - started) * 100


def task_seconds(b):
    """The main thread's busy time so far, in s, as Chromium counts it."""
    if not getattr(b, "metered", False):
        b.driver.execute_cdp_cmd("Performance.enable", {})
        b.metered = True
    metrics = b.driver.execute_cdp_cmd("Performance.getMetrics", {})["metrics"]
    return {m["name"]: m["value"] for m in metrics}["TaskDuration"]


# Turns player 0's blade up and down, each press 60 ms after the last, timing each from
# the press to the canvas drawn and to the next animation frame, which shows it. A press
# is a key, a finger on the player's touch pad (the pads shown as a first touch shows
# them), or a gamepad's d-pad (navigator.getGamepads replaced, as in the page's tests),
# which the page reads once a frame: its wait for that frame is part of its time.
PRESSES = """
  const game = brelvo.game, ways = ['up', 'down'], drawn = [], shown = [];
  const keys = {up: 'w', down: 's'};
  const touch = (type, target, x, y) => target.dispatchEvent(new PointerEvent(type, {
    pointerId: 9, pointerType: 'touch', clientX: x, clientY: y, bubbles: true}));
  const send = {
    key: (way) => {
      window.dispatchEvent(new KeyboardEvent('keydown', {key: keys[way]}));
      window.dispatchEvent(new KeyboardEvent('keyup', {key: keys[way]}));
    },
    pad: (way) => {
      testPads.button(0, way === 'up' ? 13 : 12, false);
      testPads.button(0, way === 'up' ? 12 : 13, true);
    },
    touch: (way) => {
      const target = document.querySelector('#pad0 .' + way), box = target.getBoundingClientRect();
      const x = box.left + box.width / 2, y = box.top + box.height / 2;
      touch('pointerdown', target, x, y);
      touch('pointerup', target, x, y);
    },
  }[%r];
  for (let i = 0; i < %d; i++) {
    await new Promise((resolve) => setTimeout(resolve, 60));
    const frames = game.frames;
    let flipped = null;
    game.onFrame = () => { if (flipped === null) flipped = performance.now(); };
    const sent = performance.now();
    send(ways[i %% 2]);
    const frame = await new Promise((resolve) =>
        requestAnimationFrame(() => resolve(performance.now())));
    if (game.frames === frames || flipped === null) return 'press ' + i + ' was not drawn';
    drawn.push(flipped - sent);
    shown.push(frame - sent);
  }
  game.onFrame = null;
  return [drawn, shown];
"""


def press_to_frame(b, page, how, presses):
    """A round's presses of one kind, each from the press to its frame, in ms."""
    game = Game(b, page)
    game.open(TEST_PADS if how == "pad" else "")
    game.start()
    if how == "pad":  # a pad shows itself with its first button
        b.evaluate("testPads.add(true); testPads.button(0, 0, true); testPads.button(0, 0, false)")
    if how == "touch":  # the pads come with the first touch, and the grid makes room
        b.evaluate("document.getElementById('play').dispatchEvent(new PointerEvent("
                   "'pointerdown', {pointerType: 'touch', bubbles: true}))")
    game.round_start([0, 0])
    timed = b.evaluate("return (async () => {" + PRESSES % (how, presses) + "})()")
    if isinstance(timed, str):
        raise SystemExit(timed)
    return timed


# The guest turns player 1's blade up and down, each press 60 ms after the last shown,
# timing each from the press to the animation frame after its page draws it (foreseen, or
# from the host's frame), and to the drawing of the host's frame that shows it taken; and
# the host's frames meanwhile that showed the guest's fighter otherwise than foreseen.
GUEST_PRESSES = """
  const game = brelvo.game, remote = brelvo.remote, canvas = document.getElementById('game');
  const shown = [], hosted = [], sentAt = new Map(), wrong = game.mispredicted();
  const track = () => {
    const now = performance.now();
    for (const [n, at] of sentAt) {
      if (n <= remote.taken) {
        hosted.push(now - at);
        sentAt.delete(n);
      }
    }
  };
  const g = canvas.getContext('2d');
  const blue = (x, y) => {
    const w = canvas.width, h = canvas.height, s = Math.min(Math.trunc(w / 11), Math.trunc(h / 9));
    const x0 = Math.trunc((w - 9 * s) / 2), y0 = Math.trunc((h - 9 * s) / 2);
    const p = g.getImageData(x0 + x * s + (s >> 1), y0 + y * s + (s >> 1), 1, 1).data;
    return p[2] > 200 && p[0] < 50;
  };
  const keys = ['ArrowUp', 'ArrowDown'], blades = [[7, 3], [7, 5]];
  for (let i = 0; i < %d; i++) {
    await new Promise((resolve) => setTimeout(resolve, 60));
    const seen = new Promise((resolve) => {
      game.onFrame = () => {
        track();
        if (blue(...blades[i %% 2])) resolve();
      };
    });
    const sent = performance.now();
    for (const type of ['keydown', 'keyup'])
      window.dispatchEvent(new KeyboardEvent(type, {key: keys[i %% 2]}));
    sentAt.set(remote.pressed, sent);
    const at = await Promise.race([
      seen.then(() => new Promise((resolve) => requestAnimationFrame(() => resolve(performance.now())))),
      new Promise((resolve) => setTimeout(() => resolve(null), 3000))]);
    if (at === null) return 'press ' + i + ' was not shown';
    shown.push(at - sent);
  }
  game.onFrame = track;
  const until = performance.now() + 3000;
  while (sentAt.size && performance.now() < until)
    await new Promise((resolve) => setTimeout(resolve, 20));
  game.onFrame = null;
  if (sentAt.size) return sentAt.size + ' presses never shown taken';
  return [shown, hosted, game.mispredicted() - wrong];
"""
# The guest turns its blade up and down every 70 ms whatever its screen shows: on a
# jittery way two presses may reach the host closer together than its re-arm, and the
# second is not taken; the guest's page then corrects what it foresaw.
STEADY_PRESSES = """
  const game = brelvo.game, remote = brelvo.remote, wrong = game.mispredicted();
  const keys = ['ArrowUp', 'ArrowDown'], first = remote.pressed;
  for (let i = 0; i < %d; i++) {
    for (const type of ['keydown', 'keyup'])
      window.dispatchEvent(new KeyboardEvent(type, {key: keys[i %% 2]}));
    await new Promise((resolve) => setTimeout(resolve, 70));
  }
  const until = performance.now() + 3000;
  while (remote.taken < remote.pressed && performance.now() < until)
    await new Promise((resolve) => setTimeout(resolve, 20));
  return [remote.pressed - first, remote.taken - first, game.mispredicted() - wrong];
"""
BYTES = "const r = brelvo.remote; return [r.bytes.sent, r.bytes.received, performance.now()]"


def one_link_rows(net, site, env, joins=5):
    """The guest's Join to "Connected" on its page, the reply by the tests' broker."""
    import remote_test
    origin = site.url.rstrip("/")
    site.page.brokers[:] = [remote_test.LIVE]
    try:
        with browsers.launch("chromium", env, netns=net.netns["host"],
                             origin=origin) as hb, \
                browsers.launch("chromium", env, netns=net.netns["guest"],
                                origin=origin) as gb:
            took = [remote_test.join_by_one_link(Game(hb, site.page), Game(gb, site.page))[1]
                    for _ in range(joins)]
    finally:
        site.page.brokers[:] = []
    print("remote: Join to Connected by the invite alone %s s" % ", ".join("%.2f" % t for t in took))
    return [("Join to \"Connected\" by the invite alone, median (slowest) of %d" % joins,
             "%.2f s (%.2f s)" % (statistics.median(took), max(took)), "", "", "")]


def tests_network(stack, folder):
    """The remote tests' sound server, network and site, gone with `stack`."""
    import remote_test
    env, stop_sound = sound_server()
    stack.callback(stop_sound)
    tmp = tempfile.mkdtemp(prefix="brelvo-bench.")
    stack.callback(shutil.rmtree, tmp, ignore_errors=True)
    return env, remote_test.Network(stack), remote_test.Site(stack, folder, tmp)


def remote_rows(folder, presses, ways=((0, 0), (40, 0), (150, 0), (40, 15))):
    """A match with a friend elsewhere, in the tests' network: the guest's presses to its
    frames, the host's own, the round trip, and the payload each way a second; by the ways
    `ways` (the round trip added and the jitter, ms), the joins by one link with them all."""
    import contextlib
    import remote_test
    rows = []
    with contextlib.ExitStack() as stack:
        env, net, site = tests_network(stack, folder)
        origin = site.url.rstrip("/")
        if len(ways) > 1:
            rows += one_link_rows(net, site, env)
        # The round trip added (ms), and how far each datagram towards the relay may stray
        # from its half of it (ms): a steady way, then a jittery one, whose datagrams
        # overtake one another.
        for added, jitter in ways:
            # half of it each way on the relay's way, none lost
            site.slow.delay = ((added / 2 - jitter) / 1000, (added / 2 + jitter) / 1000)
            site.slow.loss, site.slow.back = 0, added / 2000
            net.forwarding(added == 0)  # with the delay, only through the relay
            name = "straight" if added == 0 else "with %d ms added to each side's round trip" % added
            if jitter:
                name += ", each datagram out up to %d ms early or late" % jitter
            with browsers.launch("chromium", env, netns=net.netns["host"], origin=origin) as hb, \
                    browsers.launch("chromium", env, netns=net.netns["guest"],
                                    origin=origin) as gb:
                host, guest = Game(hb, site.page), Game(gb, site.page)
                for b in (hb, gb):
                    b.driver.set_script_timeout(300)  # 300 presses, each a round trip
                remote_test.connect(host, guest)
                host.round_start([0, 0])
                time.sleep(2.5)  # the round's start sounds end
                if jitter:
                    hb.evaluate("window.hostPressing = (async () => {" +
                                PRESSES % ("key", presses) + "})(); return null")
                    pressed, taken, wrong = gb.evaluate("return (async () => {" +
                                                        STEADY_PRESSES % presses + "})()")
                    rtt = hb.evaluate("return brelvo.remote.rtt")
                    print("remote, with %d ms of round trip added, jittering: %d presses, %d "
                          "taken, %d foreseen wrongly; round trip %s ms"
                          % (added, pressed, taken, wrong, rtt))
                    assert taken == pressed, "presses lost"
                    rows.append(("Presses foreseen wrongly, %s, per 100, every 70 ms" % name,
                                 "%.1f" % (wrong * 100 / presses), "", "",
                                 "round trip %s ms" % rtt))
                    continue
                before = [b.evaluate(BYTES) for b in (hb, gb)]
                time.sleep(10)
                after = [b.evaluate(BYTES) for b in (hb, gb)]
                idle = [(a[0] - b[0]) / (a[2] - b[2]) * 1000 for a, b in zip(after, before)]
                before = after
                # The host's player turns its blade too, all the while.
                hb.evaluate("window.hostPressing = (async () => {" +
                            PRESSES % ("key", presses) + "})(); return null")
                pressed = gb.evaluate("return (async () => {" + GUEST_PRESSES % presses + "})()")
                after = [b.evaluate(BYTES) for b in (hb, gb)]
                if isinstance(pressed, str):
                    raise SystemExit(pressed)
                shown, hosted, wrong = pressed
                busy = [(a[0] - b[0]) / (a[2] - b[2]) * 1000 for a, b in zip(after, before)]
                rtt = hb.evaluate("return brelvo.remote.rtt")
                own = hb.evaluate("return window.hostPressing")
                if isinstance(own, str):
                    raise SystemExit(own)
                own = own[1]
            p99, own99 = percentile(shown, 0.99), percentile(own, 0.99)
            print("remote, %s: guest press to its own move p50 %.1f p99 %.1f ms, to the host's"
                  " frame p50 %.1f p99 %.1f; host's own p99 %.1f; round trip %s ms; %d foreseen"
                  " wrongly" % (name, percentile(shown, 0.5), p99, percentile(hosted, 0.5),
                                percentile(hosted, 0.99), own99, rtt, wrong))
            rows.append(("Guest's press to its own fighter moving, %s, p50 / p99 of %d"
                         % (name, presses), "%.1f / %.1f ms" % (percentile(shown, 0.5), p99),
                         "", "", "p99 at most 21.7 ms: a display frame + 5"))
            rows.append(("Guest's press to the host's frame that shows it, %s, p50 / p99"
                         % name, "%.1f / %.1f ms" % (percentile(hosted, 0.5),
                                                     percentile(hosted, 0.99)), "", "",
                         "round trip %s ms; the host's own p99 %.1f" % (rtt, own99)))
            rows.append(("Presses foreseen wrongly, %s, per 100, the host pressing too" % name,
                         "%.1f" % (wrong * 100 / presses), "", "", ""))
            if added == 0:
                rows.append(("Payload in a round of steady pressing, host to guest / back",
                             "%.0f / %.0f B/s" % (busy[0], busy[1]), "", "", "under 10 KB/s"))
                rows.append(("Payload in an idle round, host to guest / back",
                             "%.0f / %.0f B/s" % (idle[0], idle[1]), "", "",
                             "the heartbeat alone"))
    return rows


# The big screen, before any phone joins: the wall-clock time its page hears each of the
# left pad's presses, and that pad's connection, whose round trip WebRTC measures.
HEAR_PADS = """
  window.bench = {heard: [], seen: [], frames: 0};
  const make = RTCPeerConnection.prototype.createDataChannel;
  RTCPeerConnection.prototype.createDataChannel = function () {
    const channel = make.apply(this, arguments), pc = this;
    channel.addEventListener('message', (event) => {
      if (typeof event.data !== 'string' || !event.data.startsWith('{"k":"press","s":0')) return;
      if (JSON.parse(event.data).d === 1) {
        bench.heard.push(performance.timeOrigin + performance.now());
        bench.left = pc;
      }
    });
    return channel;
  };
"""
# Once its game runs: each composed frame that turns the left blade, its time, the way it
# shows, (1, 3) up or (1, 5) down, and the animation frame after it, which shows it.
WATCH_BLADE = """
  const game = brelvo.game, composed = game.onComposed;
  const red = (cells, x, y) => {
    const at = 3 * (y * 11 + x + 1);
    return cells[at] === 255 && cells[at + 1] === 0 && cells[at + 2] === 0;
  };
  let way = null;
  game.onComposed = function (cells) {
    const at = performance.timeOrigin + performance.now();
    composed.apply(this, arguments);
    bench.frames++;
    const now = red(cells, 1, 3) ? 'up' : red(cells, 1, 5) ? 'down' : null;
    if (now === way) return;
    way = now;
    const seen = {way: now, at: at, shown: null};
    bench.seen.push(seen);
    requestAnimationFrame(() => { seen.shown = performance.timeOrigin + performance.now(); });
  };
"""
# A pad turns its side's blade up and down every 120 ms, past the game's 50 ms re-arm so
# that every press shows, sending what its touch sends; each press's wall-clock time.
PAD_PRESSES = """
  const ways = ['up', 'down'], sent = [];
  for (let i = 0; i < %d; i++) {
    await new Promise((resolve) => setTimeout(resolve, 120));
    sent.push(performance.timeOrigin + performance.now());
    for (const d of [1, 0])
      brelvo.seat.send(JSON.stringify({k: 'press', s: %d, key: ways[i %% 2], d: d}));
  }
  return sent;
"""
# A match no phone holds: the screen's own keys, each player's blade every 120 ms.
SCREEN_KEYS = """
  const keys = ['w', 'ArrowUp', 's', 'ArrowDown'];
  for (let i = 0; i < %d; i++) {
    await new Promise((resolve) => setTimeout(resolve, 60));
    for (const type of ['keydown', 'keyup'])
      window.dispatchEvent(new KeyboardEvent(type, {key: keys[i %% 4]}));
  }
"""
# A page's wall clock less the system's, read as Date.now ticks: both browsers run on this
# machine, so their pages' times are put on one clock by it.
CLOCK = """
  const apart = [];
  for (let k = 0; k < 9; k++) {
    const before = Date.now();
    while (Date.now() === before);
    apart.push(performance.timeOrigin + performance.now() - Date.now());
  }
  return apart.sort((a, b) => a - b)[4];
"""
ROUND_TRIP = """
  const stats = await bench.left.getStats();
  for (const report of stats.values()) {
    if (report.type !== 'transport' || !report.selectedCandidatePairId) continue;
    const pair = stats.get(report.selectedCandidatePairId);
    return pair.responsesReceived && pair.totalRoundTripTime / pair.responsesReceived * 1000;
  }
  return null;
"""


def big_screen(screen):
    """The big screen's page afresh, its pads heard by the bench: its three links."""
    import remote_test
    screen.open()
    screen.b.evaluate(HEAR_PADS)
    screen.b.click("#big")
    screen.wait("return brelvo.state === 'lobby' && document.querySelector('#seat-watch .code')"
                ".dataset.link", "the big screen's codes", 15)
    return [link for link, _, _ in screen.b.evaluate(remote_test.SEATS)]


def screen_figures(sb, run):
    """`run()`'s result; the time each frame the big screen composed meanwhile took to pack
    and send, ms; its frames a second and its main thread's share."""
    sb.evaluate("bench.frames = 0")
    before, busy, began = sb.evaluate("return brelvo.party"), task_seconds(sb), time.monotonic()
    result = run()
    time.sleep(0.5)  # the last frames, and the animation frames that show them
    seconds = time.monotonic() - began
    after, frames = sb.evaluate("return brelvo.party"), sb.evaluate("return bench.frames")
    n = min(after["composed"] - before["composed"], len(after["frameMs"]))
    return result, after["frameMs"][len(after["frameMs"]) - n:], frames / seconds, \
        (task_seconds(sb) - busy) / seconds * 100


def pads_pressing(sb, pb, rb, presses):
    """Both pads pressing: the left pad's presses, each to its hearing on the screen's page,
    to the screen's frame composed and to the animation frame that shows it (ms, on the
    system's clock); the round trip, the pages' clocks apart, and the screen's figures."""
    clocks = [b.evaluate(CLOCK) for b in (sb, pb)]
    sb.evaluate("bench.heard = []; bench.seen = []")

    def press():
        rb.evaluate("window.pressing = (async () => {" + PAD_PRESSES % (presses, 1) +
                    "})(); return null")
        sent = pb.evaluate("return (async () => {" + PAD_PRESSES % (presses, 0) + "})()")
        rb.evaluate("return window.pressing")
        return sent
    sent, spent, rate, share = screen_figures(sb, press)
    heard, seen = sb.evaluate("return [bench.heard, bench.seen]")
    later = [b.evaluate(CLOCK) for b in (sb, pb)]
    apart = max(abs(clocks[1] - clocks[0]), abs(later[1] - later[0]))
    if apart >= 1:
        raise SystemExit("the pages' clocks are %.2f ms apart" % apart)
    screen, phone = (sum(c) / 2 for c in zip(clocks, later))
    if len(heard) != presses:
        raise SystemExit("the screen heard %d of %d presses" % (len(heard), presses))
    times, j = [], 0
    for i, at in enumerate(sent):
        at -= phone
        while j < len(seen) and seen[j]["at"] - screen < at:
            j += 1
        if j == len(seen) or seen[j]["way"] != ("up", "down")[i % 2] or not seen[j]["shown"]:
            raise SystemExit("press %d was not shown on the big screen" % i)
        times.append([heard[i] - screen - at, seen[j]["at"] - screen - at,
                      seen[j]["shown"] - screen - at])
        j += 1
    rtt = sb.evaluate("return (async () => {" + ROUND_TRIP + "})()")
    if not rtt:
        raise SystemExit("no round trip measured on the left pad's connection")
    return list(zip(*times)), rtt, apart, (spent, rate, share)


def frame_row(who, figures):
    """The screen's time per frame with `who` at it, printed and as the table's row."""
    spent, rate, share = figures
    print("big screen, %s: a frame packed and sent p50 %.1f p99 %.1f ms of %d; %.1f frames/s;"
          " main thread %.1f %%" % (who, percentile(spent, 0.5), percentile(spent, 0.99),
                                    len(spent), rate, share))
    return ("Big screen's frame packed and sent to every watcher, %s, p50 / p99 of %d"
            % (who, len(spent)), "%.1f / %.1f ms" % (percentile(spent, 0.5),
                                                     percentile(spent, 0.99)), "", "",
            "p99 under 16.7 ms, a display frame; %.1f frames a second, the screen's main "
            "thread %.1f %% busy" % (rate, share))


def big_rows(folder, presses):
    """The big screen in the tests' network: a pad's press to the screen's frame, straight
    and with 20 ms added each way, with two pads and with 8 watchers more; the screen's
    cost per frame with no phone, two pads, and two pads and 8 watchers."""
    import contextlib
    import remote_test
    rows, frames = [], []
    with contextlib.ExitStack() as stack:
        env, net, site = tests_network(stack, folder)
        site.page.brokers[:] = [remote_test.LIVE]
        origin, url = site.url.rstrip("/"), site.page.url
        for added in (0, 20):
            # Half of it on the phone's way to the relay, half on the relay's to the screen,
            # and the same back; straight, the pages reach each other directly.
            site.slow.delay, site.slow.back = (added / 2000,) * 2, added / 2000
            site.slow.loss = 0
            net.forwarding(added == 0)
            with contextlib.ExitStack() as here:
                sb, pb, rb = (here.enter_context(browsers.launch(
                    "chromium", env, netns=net.netns[side], origin=origin))
                              for side in ("host", "guest", "guest"))
                for b in (sb, pb, rb):
                    b.driver.set_script_timeout(300)  # 300 presses, 120 ms apart
                screen = Game(sb, site.page)
                if added == 0:  # no phone: the screen's Start, its own keys
                    big_screen(screen)
                    sb.click("#start")
                    screen.wait("return brelvo.state === 'running'", "the match", 15)
                    screen.round_start([0, 0])
                    sb.evaluate(WATCH_BLADE)
                    frames.append(frame_row("no phone, its own keys", screen_figures(
                        sb, lambda: sb.evaluate("return (async () => {" +
                                                SCREEN_KEYS % presses + "})()"))[1:]))
                links = big_screen(screen)
                for b, link in ((pb, links[0]), (rb, links[1])):
                    b.emulate(390, 844, 3)
                    Game(b, site.page).open(path=link[len(url):])
                    Game(b, site.page).wait("return brelvo.state === 'seated'", "a pad", 20)
                screen.wait("return brelvo.state === 'running'", "the match", 30)
                screen.round_start([0, 0])
                sb.evaluate(WATCH_BLADE)
                time.sleep(2.5)  # the round's start sounds end
                ways = [("with %d ms added each way" % added, None)] if added else [
                    ("straight", "two pads"),
                    ("straight, 8 watchers too", "two pads and 8 watchers")]
                for name, who in ways:
                    if "watchers" in name:
                        wb = here.enter_context(browsers.launch(
                            "chromium", env, netns=net.netns["host"], origin=origin))
                        for n in range(8):
                            (wb.open if n == 0 else wb.tab)(links[2])
                            Game(wb, site.page).wait("return brelvo.state === 'seated' && "
                                                     "!!brelvo.game", "watcher %d" % n, 20)
                        screen.wait("return brelvo.party.lines.filter((l) => l.open && "
                                    "l.role === 'watcher').length === 8", "8 watchers")
                    (heard, composed, shown), rtt, apart, figures = pads_pressing(
                        sb, pb, rb, presses)
                    goal, p99 = rtt / 2 + 16.7, percentile(shown, 0.99)
                    # Where the slowest presses' time went: the way, the game, the display.
                    slow = [(h, c - h, s - c) for h, c, s in zip(heard, composed, shown)
                            if s >= percentile(shown, 0.97)]
                    print("big screen, %s: press heard p50 %.1f p99 %.1f, composed p50 %.1f "
                          "p99 %.1f, shown p50 %.1f p99 %.1f ms; round trip %.1f ms; the "
                          "pages' clocks %.1f ms apart; the slowest %d, median ms heard %.1f, "
                          "then composed %.1f, then shown %.1f" % (
                              name, percentile(heard, 0.5), percentile(heard, 0.99),
                              percentile(composed, 0.5), percentile(composed, 0.99),
                              percentile(shown, 0.5), p99, rtt, apart, len(slow),
                              *(statistics.median(part) for part in zip(*slow))))
                    rows.append(("A pad's press to the big screen's frame that shows it, %s, "
                                 "p50 / p99 of %d" % (name, presses),
                                 "%.1f / %.1f ms" % (percentile(shown, 0.5), p99), "", "",
                                 "p99 at most %.1f ms, half the round trip (%.1f ms) and a "
                                 "display frame (16.7): %s" % (goal, rtt, "met" if p99 <= goal
                                                                else "**missed**")))
                    rows.append(("The same presses heard by the screen's page; its frame "
                                 "composed, p50 / p99", "%.1f / %.1f; %.1f / %.1f ms" % (
                                     percentile(heard, 0.5), percentile(heard, 0.99),
                                     percentile(composed, 0.5), percentile(composed, 0.99)),
                                 "", "", ""))
                    if who:
                        frames.append(frame_row(who, figures))
    return rows + frames


def median(values):
    return statistics.median(v for v in values if v is not None)


def start_rows(engine, game, floor):
    """The table's rows for one engine's starts, game against floor."""
    name = {"chromium": "Chromium", "firefox": "Firefox", "webkit": "WebKitGTK"}[engine]
    ratio = statistics.median(game) / statistics.median(floor)
    return [("%s: gesture to first splash frame, median of %d (first, slowest)"
             % (name, len(game)),
             "%.0f ms (%.0f, %.0f)" % (statistics.median(game), game[0], max(game)),
             "%.0f ms (%.0f, %.0f)" % (statistics.median(floor), floor[0], max(floor)),
             "%.2f" % ratio, "at most 1.5; every start at most 250 ms")]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("page", help="the built page's folder (build/web)")
    parser.add_argument("engines", nargs="*",
                        metavar="ENGINE", help="chromium, firefox, webkit (all by default)")
    parser.add_argument("--starts", type=int, default=8, help="starts of each, per engine")
    parser.add_argument("--remote", action="store_true",
                        help="only a match with a friend elsewhere, two Chromiums")
    parser.add_argument("--big", action="store_true",
                        help="only the big screen and its phones, four Chromiums")
    parser.add_argument("--jittery", action="store_true",
                        help="with --remote: only the jittery way's presses")
    parser.add_argument("--against", metavar="EARLIER_PAGE",
                        help="only the presses, this page's and an earlier build's in turns")
    parser.add_argument("--rounds", type=int, default=4,
                        help="with --against: rounds of 300 presses of each kind, per page")
    args = parser.parse_args()
    folder = os.path.abspath(args.page)
    if args.against:
        print("\n| What | Earlier | This page |\n|---|---|---|")
        for row in against_rows(os.path.abspath(args.against), folder, args.rounds):
            print("| %s | %s | %s |" % row)
        return
    if args.big:
        browsers.own_network()  # the network it makes is its own
        print("\n| What | Page | | | Goal |\n|---|---|---|---|---|")
        for row in big_rows(folder, 300):
            print("| %s | %s | %s | %s | %s |" % row)
        return
    if args.remote:
        browsers.own_network()  # the network it makes is its own
        print("\n| What | Page | | | Goal |\n|---|---|---|---|---|")
        ways = {"ways": ((40, 15),)} if args.jittery else {}
        for row in remote_rows(folder, 300, **ways):
            print("| %s | %s | %s | %s | %s |" % row)
        return
    engines = args.engines or ENGINES
    for engine in engines:
        if engine not in ENGINES:
            parser.error("unknown engine %r" % engine)
    report, where = [], []
    env, stop_sound = sound_server()  # Firefox plays through a sound server
    try:
        for engine in engines:
            game, floor, spent = starts(engine, folder, env, args.starts)
            print("%s: game %s ms; floor %s ms" % (
                engine, " ".join("%.0f" % t for t in game), " ".join("%.0f" % t for t in floor)))
            report += start_rows(engine, game, floor)
            where.append((engine, spent))
        if "chromium" in engines:
            report += chromium_rows(folder, env)
    finally:
        stop_sound()
    print("\n| What | Page | Floor | Ratio | Goal |\n|---|---|---|---|---|")
    for row in report:
        print("| %s | %s | %s | %s | %s |" % row)
    print("\nWhere the game's start goes, median ms of each phase:\n")
    print("| Phase | " + " | ".join(engine for engine, _ in where) + " |")
    print("|---|" + "---|" * len(where))
    for name, _ in PHASES:
        cells = []
        for _, spent in where:
            values = [s[name] for s in spent if s[name] is not None]
            cells.append("%.1f" % statistics.median(values) if values else "-")
        print("| %s | %s |" % (name, " | ".join(cells)))
    clips, painted = COUNTS
    print("| %s | %s |" % (clips, " | ".join(
        "%d" % statistics.median(s[clips] for s in spent) for _, spent in where)))
    print("| %s | %s |" % (painted, " | ".join(
        "%d of %d starts" % (sum(s[painted] for s in spent), len(spent)) for _, spent in where)))


def chromium_rows(folder, env):
    """A first visit's bytes, the idle round and the presses, in a fresh Chromium."""
    rows = []
    with browsers.launch("chromium", env=env) as b:
        page = Page(folder)
        try:
            print("First visit:")
            raw, packed, files = first_visit(b, page)
            for name, status, size, gz in files:
                print("  %-22s %3d %8d bytes, %7d gzip" % (name, status, size, gz))
            rows.append(("Bytes of a first visit", "%d KB (%d KB raw)" % (packed // 1024,
                                                                          raw // 1024),
                         "", "", "at most 200 KB gzip"))
            share = idle_share(b, page, 10)
            rows.append(("Main thread in an idle round, 10 s", "%.2f %%" % share, "", "",
                         "at most 1 %"))
            for how, name in (("key", "Key"), ("touch", "Touch on a pad"),
                              ("pad", "Gamepad press")):
                drawn, shown = press_to_frame(b, page, how, 300)
                rows.append(("%s to canvas drawn, p50 / p99 of 300" % name,
                             "%.2f / %.2f ms" % (percentile(drawn, 0.5),
                                                 percentile(drawn, 0.99)), "", "", ""))
                rows.append(("%s to the frame that shows it, p50 / p99" % name,
                             "%.1f / %.1f ms" % (percentile(shown, 0.5),
                                                 percentile(shown, 0.99)), "", "",
                             "p99 under 16 ms"))
        finally:
            page.stop()
    return rows


def against_rows(earlier, folder, rounds):
    """Each kind of press on two pages, a round of each in turns, pooled per page."""
    rows = []
    env, stop_sound = sound_server()
    try:
        with browsers.launch("chromium", env=env) as b:
            pages = [Page(earlier), Page(folder)]
            try:
                for how, name in (("key", "Key"), ("touch", "Touch on a pad"),
                                  ("pad", "Gamepad press")):
                    pooled = [([], []), ([], [])]
                    for _ in range(rounds):
                        for page, (drawn, shown) in zip(pages, pooled):
                            more_drawn, more_shown = press_to_frame(b, page, how, 300)
                            drawn += more_drawn
                            shown += more_shown
                    for what, index in (("canvas drawn", 0), ("the frame that shows it", 1)):
                        rows.append(("%s to %s, p50 / p99 of %d" % (name, what, 300 * rounds),) +
                                    tuple("%.2f / %.2f ms" % (percentile(times[index], 0.5),
                                                              percentile(times[index], 0.99))
                                          for times in pooled))
            finally:
                for page in pages:
                    page.stop()
    finally:
        stop_sound()
    return rows


if __name__ == "__main__":
    main()
