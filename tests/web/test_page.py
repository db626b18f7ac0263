#!/usr/bin/python3
"""The page, played through the real page served on 127.0.0.1, in every engine:
   test_page.py PAGE_DIR [ENGINE...]      (engines: chromium firefox webkit; all by default)
BRELVO_SCENARIOS=alone,gamepads runs only the scenarios named (without "scenario_").
Each scenario opens the page afresh; the game is watched through its canvas and heard
through what its mixer plays, with the browser's own Ogg decoding refused. It runs in a
network namespace of its own, with loopback alone."""
import base64
import functools
import gzip
import hashlib
import http.server
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import wave

import numpy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browsers  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ENGINES = ("chromium", "firefox", "webkit")



def duel_clips():
    """The duel's clips by name, in the order it loads them: as its sounds.h lists them."""
    with open(os.path.join(ROOT, "src", "games", "duel", "sounds.h")) as header:
        text = header.read()
    listed = lambda what: re.findall(r'"(\w+)"', re.search(
        r"%s\[\] = \{([^}]*)\}" % what, text).group(1))
    one = lambda what: re.search(r'%s = "(\w+)"' % what, text).group(1)
    return listed("STRIKES"), listed("SWINGS"), one("IDLE"), one("ON")


_strikes, _swings, _idle, _on = duel_clips()
CLIPS = _strikes + _swings + [_idle, _on]
STRIKES = range(0, len(_strikes))
SWINGS = range(len(_strikes), len(_strikes) + len(_swings))
IDLE, ON = CLIPS.index(_idle), CLIPS.index(_on)

BLACK, WHITE, RED, BLUE = (0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 0, 255)
GREEN, GREY = (0, 255, 0), (100, 100, 100)


def poll(check, seconds):
    """check()'s first true value within `seconds`, or None."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = check()
        if value:
            return value
        time.sleep(0.02)
    return None


class Page:
    """The page's folder on 127.0.0.1 (or `address`), served until stop(); what was asked
    for is kept. A port given serves the same origin again after a stop."""

    def __init__(self, folder, address="127.0.0.1", ice_servers=None, port=0):
        self.folder = folder
        self.requests = []
        # ice_servers: the bytes served as ice-servers.json instead of the folder's (whose
        # public server no test may contact); handler.ice_servers = None serves the
        # folder's own from then on. The brokers of rendezvous.json likewise: none unless a
        # test names its own (self.brokers).
        self.brokers = []
        self.handler = type("Handler", (Quiet,), {"requests": self.requests,
                                                  "ice_servers": ice_servers,
                                                  "brokers": self.brokers})
        self.server = http.server.ThreadingHTTPServer(
            (address, port), functools.partial(self.handler, directory=folder))
        self.url = "http://%s:%d/" % (address, self.server.server_address[1])
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


class Quiet(http.server.SimpleHTTPRequestHandler):
    requests = None
    ice_servers = None
    brokers = None

    def do_GET(self):
        name = self.path.split("?")[0]
        body = (self.ice_servers if name.endswith("/ice-servers.json") else
                json.dumps(self.brokers).encode() if name.endswith("/rendezvous.json") and
                self.brokers is not None else None)
        if body is not None:
            self.send_response(200)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        super().do_GET()

    def translate_path(self, path):
        # The tests' own ear on the page's output, served from the page's address.
        if path == "/test-recorder.js":
            return os.path.join(ROOT, "tests", "web", "recorder.js")
        return super().translate_path(path)

    def log_message(self, *args):
        pass

    def log_request(self, code="-", size="-"):
        # A request that is not HTTP (Firefox tries TLS for an icon) has no path.
        path = getattr(self, "path", "")
        self.requests.append((path, int(code) if str(code).isdigit() else 0))


# The grid as the player sees it: every cell's colour, score columns included, read at
# the cells' centres from the canvas with the game's own geometry.
READ_GRID = """
  const canvas = document.getElementById('game'), g = canvas.getContext('2d');
  const w = canvas.width, h = canvas.height;
  const s = Math.min(Math.trunc(w / 11), Math.trunc(h / 9));
  const x0 = Math.trunc((w - 9 * s) / 2), y0 = Math.trunc((h - 9 * s) / 2);
  const cell = (x, y) => Array.from(g.getImageData(x0 + x * s + (s >> 1),
                                                   y0 + y * s + (s >> 1), 1, 1).data.slice(0, 3));
  const rows = [];
  for (let y = 0; y < 9; y++) {
    const row = [];
    for (let x = -1; x <= 9; x++) row.push(cell(x, y));
    rows.push(row);
  }
  return {w: w, h: h, s: s, x0: x0, y0: y0, rows: rows,
          frames: brelvo.game ? brelvo.game.frames : 0};
"""


class Game:
    def __init__(self, browser, page):
        self.b = browser
        self.page = page
        self.last = {}  # when each player's last press was sent

    def open(self, before_start="", path=""):
        self.b.open(self.page.url + path)
        # No engine may decode a clip for the game: the page carries its own decoder.
        self.b.evaluate("""AudioContext.prototype.decodeAudioData = function () {
                             throw new Error('the browser may not decode the clips'); };""" +
                        before_start)

    def start(self):
        self.b.press("Enter")
        self.wait("return !!(brelvo.game && brelvo.game.frames > 0)", "the first frame")

    def wait(self, condition, what, seconds=10):
        return self.until(lambda: self.b.evaluate(condition), what, seconds)

    @staticmethod
    def until(check, what, seconds=10):
        value = poll(check, seconds)
        if not value:
            raise AssertionError("waited %s s for %s" % (seconds, what))
        return value

    def grid(self):
        return self.b.evaluate(READ_GRID)

    def shown(self):
        """The grid's cells and score columns as the screen shows them, from a screenshot:
        {(x, y): colour}, x from -1 to 9."""
        grid = self.b.evaluate(READ_GRID)
        left, top, scale = self.b.evaluate(
            "const r = document.getElementById('game').getBoundingClientRect();"
            "return [r.left, r.top, devicePixelRatio]")
        shot = self.b.shot()
        s, x0, y0 = grid["s"], grid["x0"], grid["y0"]
        return {(x, y): shot.getpixel((int((left + x0 + x * s + s // 2) * scale),
                                       int((top + y0 + y * s + s // 2) * scale)))
                for y in range(9) for x in range(-1, 10)}

    def drawn(self):
        """The same from the canvas."""
        rows = self.grid()["rows"]
        return {(x, y): tuple(rows[y][x + 1]) for y in range(9) for x in range(-1, 10)}

    def lit(self):
        """The grid's lit cells: {(x, y): colour}."""
        rows = self.grid()["rows"]
        return {(x, y): tuple(rows[y][x + 1]) for y in range(9) for x in range(9)
                if tuple(rows[y][x + 1]) != BLACK}

    def scores(self):
        rows = self.grid()["rows"]
        return [sum(tuple(rows[y][column]) == GREEN for y in range(9)) for column in (0, 10)]

    def wait_lit(self, cells, what):
        if not poll(lambda: self.lit() == cells, 10):
            raise AssertionError("%s: the grid shows %s, not %s" % (what, self.lit(), cells))

    def press(self, *keys):
        """Presses the way a player does, each a keydown and keyup on the window, at least
        55 ms after the same player's last accepted press, and waits for the frame."""
        for key in keys:
            player = 0 if key in "wasd" else 1
            gap = time.monotonic() - self.last.get(player, 0)
            if gap < 0.055:
                time.sleep(0.055 - gap)
            frames = self.b.evaluate("return brelvo.game.frames")
            drawn = "return brelvo.game.frames > %d" % frames
            self.b.evaluate(self.send(key))
            # A press that beats the player's re-arm timer (late in some engines) is
            # dropped by the game's own rule: the player presses again.
            if not poll(lambda: self.b.evaluate(drawn), 1):
                self.b.evaluate(self.send(key))
            self.last[player] = time.monotonic()
            self.wait(drawn, "the frame after " + key)

    @staticmethod
    def send(key):
        return ("for (const type of ['keydown', 'keyup'])"
                "  window.dispatchEvent(new KeyboardEvent(type, {key: '%s', bubbles: true}));"
                % key)

    def log(self):
        return self.b.evaluate("return brelvo.game.mixer.log.slice()")

    def round_start(self, scores):
        """Waits for a new round: both fighters in their start cells, the scores as given."""
        self.wait_lit(START, "a round's start")
        assert self.scores() == scores, self.scores()
        self.last = {}


START = {(1, 4): WHITE, (2, 4): RED, (6, 4): BLUE, (7, 4): WHITE}

# The page's output as a player hears it: every sample on its way out, recorded by a
# processor that sounds nothing itself. MIXER is the instance's mixer: the game's unless
# told.
LISTEN = """
  const out = MIXER.output, context = out.context;
  return context.audioWorklet.addModule('/test-recorder.js').then(() => {
    const ear = new AudioWorkletNode(context, 'brelvo-recorder'), chunks = [];
    ear.port.onmessage = (e) => chunks.push(e.data);
    out.connect(ear);
    ear.connect(context.destination);
    window.heard = {chunks: chunks, tap: ear};
  });
"""
# The recording, each buffer in its place on the output's clock, and the page's time of
# its first sample (within the output's latency, which the check allows for).
HEARD = """
  const h = window.heard, out = MIXER.output, context = out.context;
  out.disconnect(h.tap);
  h.tap.disconnect();
  const first = h.chunks[0], last = h.chunks[h.chunks.length - 1], rate = context.sampleRate;
  const all = new Float32Array(Math.round((last.at - first.at) * rate) + last.samples.length);
  h.chunks.forEach((c) => all.set(c.samples, Math.round((c.at - first.at) * rate)));
  const bytes = new Uint8Array(all.buffer), now = performance.now(), then = context.currentTime;
  let text = '';
  for (let i = 0; i < bytes.length; i += 32768)
    text += String.fromCharCode.apply(null, bytes.subarray(i, i + 32768));
  return {rate: rate, samples: btoa(text), log: MIXER.log.slice(),
          from: now + (first.at - then) * 1000};
"""


def listen(b, mixer="brelvo.game.mixer"):
    b.evaluate(LISTEN.replace("MIXER", mixer))


def recorded(b, mixer="brelvo.game.mixer"):
    return b.evaluate(HEARD.replace("MIXER", mixer))


@functools.lru_cache(maxsize=None)
def clip(index):
    """A clip's samples as Debian's own Ogg Vorbis decoder gives them, and its rate."""
    name = CLIPS[index]
    decoded = subprocess.run(["oggdec", "-Q", "-o", "-", os.path.join(
        ROOT, "assets", "sounds", name + ".ogg")], check=True, capture_output=True).stdout
    with wave.open(io.BytesIO(decoded)) as w:
        samples = numpy.frombuffer(w.readframes(w.getnframes()), "<i2") / 32768
        return samples[::w.getnchannels()], w.getframerate()


def envelope(samples, rate, ms=20):
    """Loudness (RMS) in steps of `ms`."""
    step = int(rate * ms / 1000)
    usable = len(samples) // step * step
    return numpy.sqrt((samples[:usable].reshape(-1, step) ** 2).mean(axis=1))


def expected(log, rate, length, at_zero):
    """How loud the output should be, step by step, by the mixer's log: each clip at its
    gain, from its start to its end, its loops, a halt or the next clip on its channel.
    Clips add up as their powers do: the same clip twice, a little apart, may beat."""
    power, playing = numpy.zeros(length // int(rate / 50)), {}

    def finish(channel, until):
        if channel not in playing:
            return
        index, gain, loops, begin = playing.pop(channel)
        samples, clip_rate = clip(index)
        ends = until if loops < 0 else min(until, begin + (loops + 1) * len(samples) *
                                           rate / clip_rate)
        first, last = max(0, int(begin)), min(length, int(ends))
        if last > first:
            sound = numpy.zeros(length)
            t = (numpy.arange(first, last) - begin) * clip_rate / rate % len(samples)
            sound[first:last] = gain * numpy.interp(t, numpy.arange(len(samples)), samples)
            power[:] += envelope(sound, rate)[:len(power)] ** 2

    for entry in log:
        at = (entry["at"] - at_zero) / 1000 * rate
        if "play" in entry:
            finish(entry["channel"], at)
            playing[entry["channel"]] = (entry["play"], entry["gain"], entry["loops"], at)
        elif "halt" in entry:
            finish(entry["halt"], at)
    for channel in list(playing):
        finish(channel, length)
    return numpy.sqrt(power)


def pitch_spectrum(samples, rate):
    """Amplitude per 1/48 octave from 40 Hz, over seven octaves."""
    spectrum = numpy.abs(numpy.fft.rfft(samples * numpy.hanning(len(samples))))
    frequency = numpy.fft.rfftfreq(len(samples), 1 / rate)
    bands = 40 * 2 ** (numpy.arange(7 * 48 + 1) / 48)
    which = numpy.digitize(frequency, bands)
    return numpy.array([spectrum[which == n].sum() for n in range(1, len(bands))])


def heard_as_played(recording, what="heard against played"):
    """The recording's samples, its loudness and the loudness the mixer's log says, 20 ms a
    step, and the steps by which what is heard trails what is played; checks that the two
    match: the same clips, as loud and as long as they are, together when they play
    together, silent once halted or replaced."""
    rate = recording["rate"]
    heard = numpy.frombuffer(base64.b64decode(recording["samples"]), "<f4").astype(float)
    heard_env = envelope(heard, rate)
    want_env = expected(recording["log"], rate, len(heard), recording["from"])
    # What is heard trails what is played by the output's latency: line them up first.
    def lined_up(lag):
        return (heard_env[max(0, lag):len(heard_env) + min(0, lag)],
                want_env[max(0, -lag):len(want_env) - max(0, lag)])
    lag = max(range(-5, 11), key=lambda n: numpy.corrcoef(*lined_up(n))[0, 1])
    a, b = lined_up(lag)
    match, loudness = numpy.corrcoef(a, b)[0, 1], a.mean() / b.mean()
    assert match > 0.9 and 0.8 < loudness < 1.25, \
        "%s: correlation %.3f, loudness %.2f, lag %d ms" % (what, match, loudness, lag * 20)
    return heard, heard_env, want_env, lag


def check_heard(recording, hums):
    """The output holds what the mixer's log says, as heard: the same clips, as loud and
    as long as they are, together when they play together, silent once halted; each hum
    alone (a second from each time in `hums`, page time) as loud as it should be, the
    first at the clip's own pitch."""
    rate, step = recording["rate"], int(recording["rate"] / 50)
    heard, heard_env, want_env, lag = heard_as_played(recording)
    for n, at in enumerate(hums):
        start = int((at - recording["from"]) / 1000 * rate) + lag * step
        window = slice(start // step, start // step + 50)
        ratio = heard_env[window].mean() / want_env[start // step - lag:][:50].mean()
        assert 0.8 < ratio < 1.25, "hum %d heard at %.2f of its level" % (n, ratio)
    start = int((hums[0] - recording["from"]) / 1000 * rate) + lag * step
    samples, clip_rate = clip(IDLE)
    played = pitch_spectrum(heard[start:start + rate], rate)
    own = pitch_spectrum(samples[:clip_rate], clip_rate)
    shift = max(range(-24, 25), key=lambda n: float(numpy.dot(
        played[max(0, n):len(played) + min(0, n)], own[max(0, -n):len(own) - max(0, n)])))
    assert abs(shift) <= 1, "the hum is %d/48 octave off its pitch" % shift


# A friend's page of the test's own: a second instance of the game, a guest's, on the
# match's sound, which plays what it is told as a guest's page plays the host's sounds.
FRIEND = """
  let ready;
  const told = new Promise((resolve) => { ready = resolve; });
  const made = createBrelvo({arguments: ['--guest'], instantiateWasm: brelvo.instantiate,
                             audioContext: brelvo.game.mixer.output.context,
                             onGuestReady: () => ready()});
  return Promise.all([made, told]).then(([friend]) => { window.friend = friend; });
"""
# A hum on channel 1, a strike started over it there, then once that has ended a hum on
# channel 2, halted: what each channel plays (its clip, or null) after each.
OVER = """
  const f = window.friend, seen = [];
  const wait = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
  const look = () => seen.push([0, 1, 2].map((n) => {
    const channel = f.mixer.channels()[n];
    return channel ? channel.clip : null;
  }));
  const play = (channel, clip, loops) => f.sound({k: 'play', c: channel, p: clip, l: loops,
                                                 t: -1, g: 128});
  return (async () => {
    await wait(200);
    play(1, '%(hum)s', -1);
    await wait(500);
    look();
    play(1, '%(strike)s', 0);
    look();
    await wait(1000);
    look();
    play(2, '%(hum)s', -1);
    await wait(400);
    f.sound({k: 'halt', c: 2});
    look();
    await wait(600);
    return seen;
  })();
"""


def check_a_channel_played_over(game):
    """A clip started on a channel that still plays another replaces it: the first is heard
    no more, and the log says which it replaced. A clip that ended leaves its channel
    free; a halted channel is free and silent at once. Checked on a friend's page, whose
    mixer plays just what it is told."""
    b = game.b
    b.evaluate(FRIEND)
    game.wait("return friend.mixer.clips().length === %d &&" % len(CLIPS) +
              " friend.mixer.clips().every((c) => c.frames > 0)", "the friend's clips")
    listen(b, "friend.mixer")
    seen = b.evaluate(OVER % {"hum": CLIPS[IDLE], "strike": CLIPS[0]})
    recording = recorded(b, "friend.mixer")
    assert seen == [[None, IDLE, None], [None, 0, None], [None, None, None],
                    [None, None, None]], seen
    told = [{k: e[k] for k in e if k != "at" and k != "gain"} for e in recording["log"]]
    assert told == [{"play": IDLE, "channel": 1, "loops": -1, "replaced": -1},
                    {"play": 0, "channel": 1, "loops": 0, "replaced": IDLE},
                    {"play": IDLE, "channel": 2, "loops": -1, "replaced": -1},
                    {"halt": 2, "clip": IDLE}], told
    # Heard as the log says; and where it says nothing plays (40 ms clear of each change,
    # for the output's latency) nothing is heard: not the hum replaced, nor the one halted.
    _, heard_env, want_env, lag = heard_as_played(recording, "the friend's page heard")
    want = numpy.roll(want_env, lag)[:len(heard_env)]
    silent = numpy.convolve(want < 0.01 * want.max(), numpy.ones(5), "same") == 5
    silent[:max(0, lag) + 2] = False
    loudest = heard_env[silent].max() / want.max()
    assert silent.sum() > 40 and loudest < 0.05, \
        "%.2f of the clips' level heard where nothing plays" % loudest


def scenario_a_whole_match(game):
    """Gate, splash, a duel with every move, a match to 9 and its end."""
    game.open()
    text = game.b.evaluate("return document.getElementById('gate').innerText")
    for words in ("Brelvo", "click or press a key to start", "W", "Left, red", "Right, blue"):
        assert words in text, text
    green = sum(r < 60 and g > 200 and b < 60 for r, g, b in game.b.shot().getdata())
    assert green > 50, "the start screen's prompt is not to be seen"
    game.start()
    # The splash: the mark on the grid, and keys change nothing.
    mark = {(x, y) for x, y in [(1, 2), (1, 3), (1, 4), (1, 5), (1, 6), (2, 2), (3, 3), (2, 4),
                                (3, 5), (2, 6), (5, 2), (5, 3), (5, 4), (5, 5), (5, 6), (6, 2),
                                (7, 3), (6, 4), (7, 5), (7, 6)]}
    assert game.lit() == {cell: WHITE for cell in mark}, game.lit()
    assert game.scores() == [0, 0]
    game.b.evaluate(game.send("d") + game.send("ArrowLeft"))
    listen(game.b)
    game.round_start([0, 0])
    # The splash's 2 s, counted from the starting gesture (which the game's start, a few
    # hundred ms, follows) to the round's first sound; then the round's start pause of 50
    # to 349 ms before the hum.
    on, hum = [e["at"] for e in game.log()[:2]]
    splash = (on - game.b.evaluate("return brelvo.startedAt")) / 1000
    assert 2.0 <= splash < 3.0, "the splash lasted %.2f s" % splash
    # (Firefox's timers run up to about 200 ms late while its sound starts.)
    assert 45 <= hum - on < 600, "the round's start pause lasted %d ms" % (hum - on)

    mixer = game.b.evaluate("""const m = brelvo.game.mixer;
                               return {clips: m.clips(), channels: m.channels(), state: m.state(),
                                       level: m.level()};""")
    # Every clip of the duel's, named as it names them and whole, as Debian's decoder has it.
    assert [c["name"] for c in mixer["clips"]] == CLIPS, mixer["clips"]
    assert [c["frames"] for c in mixer["clips"]] == [len(clip(i)[0]) for i in range(len(CLIPS))], \
        mixer["clips"]
    assert mixer["state"] == "running", mixer["state"]
    hum = mixer["channels"][0]
    assert hum and hum["clip"] == IDLE and hum["loop"], mixer["channels"]
    assert abs(hum["gain"] - 38 / 128) < 1e-3, hum
    assert game.wait("return brelvo.game.mixer.level() > 0.005", "the hum at the output")
    starts = [e for e in game.log() if "play" in e]
    assert [(e["play"], e["channel"]) for e in starts] == [(ON, 1), (IDLE, 0), (ON, 2)], starts
    # The start sounds end; the hum is heard alone for a while.
    hum_alone = starts[-1]["at"] + len(clip(ON)[0]) / 22.05 + 100
    time.sleep(max(0, hum_alone + 1100 - game.b.evaluate("return performance.now()")) / 1000)

    # A step, then a turn with its swing, then a press inside 50 ms that is dropped.
    game.press("d")
    game.wait_lit({(2, 4): WHITE, (3, 4): RED, (6, 4): BLUE, (7, 4): WHITE}, "a step")
    assert game.shown() == game.drawn(), "the screen does not show the canvas"
    heard = len(game.log())
    game.press("ArrowUp")
    game.wait_lit({(2, 4): WHITE, (3, 4): RED, (7, 3): BLUE, (7, 4): WHITE}, "a turn")
    swing = game.log()[heard:]
    # The start sounds have ended: their channels are free again, the first one first.
    assert [(e["play"] in SWINGS, e["channel"]) for e in swing] == [(True, 1)], swing
    time.sleep(0.06)
    game.b.evaluate(game.send("ArrowLeft") + game.send("ArrowDown"))
    game.wait_lit({(2, 4): WHITE, (3, 4): RED, (6, 4): BLUE, (7, 4): WHITE}, "a turn back")
    time.sleep(0.1)
    assert game.lit() == {(2, 4): WHITE, (3, 4): RED, (6, 4): BLUE, (7, 4): WHITE}, \
        "the press inside 50 ms was taken"
    game.last[1] = time.monotonic()

    # A clash stops the swings and strikes; the hum plays on.
    game.press("ArrowLeft", "d")  # player 1 to (6, 4), player 0 to (3, 4)
    heard = len(game.log())
    game.press("ArrowUp", "ArrowLeft")  # player 1 turns twice: two swings
    swings = {(e["channel"], e["play"]) for e in game.log()[heard:]}
    heard = len(game.log())
    game.press("ArrowLeft")  # player 1 steps to (5, 4): both blades on (4, 4)
    game.wait_lit({(2, 4): RED, (3, 4): WHITE, (5, 4): WHITE, (6, 4): BLUE}, "a clash")
    clash = game.log()[heard:]
    halted = {(e["halt"], e["clip"]) for e in clash if "halt" in e}
    assert len(swings) == 2 and swings <= halted and (0, IDLE) not in halted, clash
    assert [e["play"] in STRIKES for e in clash if "play" in e] == [True], clash
    assert game.b.evaluate("return brelvo.game.mixer.channels()[0].clip") == IDLE

    # A turn and a step: player 0's blade on player 1's body. The hum stops, the point
    # shows, and the next round starts.
    game.press("d")
    heard = len(game.log())
    game.press("d")
    game.round_start([1, 0])
    # What the hit did, before the next round's start sounds: the hum alone stops.
    after = game.log()[heard:]
    plays = [i for i, e in enumerate(after) if "play" in e]
    hit = [e for e in after[:plays[0]] if "halt" in e]
    assert [(e["halt"], e["clip"]) for e in hit] == [(0, IDLE)], after
    # The next round's start sounds end too: the hum is heard alone again, and once.
    ons = [e["at"] for e in after if e.get("play") == ON]
    assert len(ons) == 2, after
    second_hum = ons[-1] + len(clip(ON)[0]) / 22.05 + 100
    time.sleep(max(0, second_hum + 1100 - game.b.evaluate("return performance.now()")) / 1000)
    check_heard(recorded(game.b), [hum_alone, second_hum])
    check_a_channel_played_over(game)

    # Player 1 wins nine rounds; the grid fills green from player 1's side and the page
    # ends the match.
    for point in range(1, 10):
        game.press("w", "ArrowLeft", "ArrowLeft", "ArrowLeft", "ArrowLeft", "ArrowLeft")
        if point < 9:
            game.round_start([1, point])
    game.until(lambda: game.lit().get((8, 8)) == GREEN, "the first green cell")
    assert (0, 8) not in game.lit(), game.lit()
    assert game.scores() == [1, 9]
    game.wait("return brelvo.state === 'over'", "the end of the match", 12)
    assert len(game.lit()) == 81 and set(game.lit().values()) == {GREEN}
    assert game.b.evaluate("return brelvo.status") == 0
    over = game.b.evaluate("return document.getElementById('over').hidden ? '' :"
                           " document.getElementById('over').innerText")
    assert "The match is over" in over and "Play again" in over, over
    # On the screen: the green grid, dimmed under the panel that says so.
    dimmed = {colour for (x, _), colour in game.shown().items() if 0 <= x <= 8}
    assert all(r < 10 and 20 < g < 60 and b < 10 for r, g, b in dimmed), dimmed
    # Space plays again, without a mouse.
    game.b.press(" ")
    game.wait("return brelvo.state === 'running' && brelvo.game.frames > 0", "another match")
    game.b.press("Escape")
    game.wait("return brelvo.state === 'over'", "its end")


def scenario_resize_keys_and_esc(game):
    """The grid follows the window, the game's keys do nothing else, Esc ends the match
    and the page offers another."""
    game.open()
    game.start()
    game.round_start([0, 0])
    for width, height in ((700, 400), (560, 640)):
        game.b.resize(width, height)
        game.wait("return document.getElementById('game').width === innerWidth &&"
                  " document.getElementById('game').height === innerHeight", "the resize")
        size = game.grid()
        s = min(size["w"] // 11, size["h"] // 9)
        assert (size["s"], size["x0"], size["y0"]) == (s, (size["w"] - 9 * s) // 2,
                                                       (size["h"] - 9 * s) // 2), size
        assert game.lit() == START and game.scores() == [0, 0]
        assert all(tuple(size["rows"][y][0]) == GREY for y in range(9)), size["rows"]
    # A real arrow and space: the game takes them and the page does not scroll.
    game.b.evaluate("window.seen = []; window.addEventListener('keydown',"
                    " (e) => seen.push(e.defaultPrevented));")
    game.b.press("ArrowDown", " ")
    game.wait("return seen.length === 2", "the keys")
    assert game.b.evaluate("return seen") == [True, True]
    game.wait_lit({(1, 4): WHITE, (2, 4): RED, (7, 4): WHITE, (7, 5): BLUE}, "a real key")
    # A key held down is one press, however long the browser repeats it.
    game.b.evaluate("""dispatchEvent(new KeyboardEvent('keydown', {key: 'd'}));
        return new Promise((done) => { let n = 0; const again = setInterval(() => {
          dispatchEvent(new KeyboardEvent('keydown', {key: 'd', repeat: true}));
          if (++n === 8) { clearInterval(again); done(); } }, 60); });""")
    game.b.evaluate("dispatchEvent(new KeyboardEvent('keyup', {key: 'd'}))")
    game.wait_lit({(2, 4): WHITE, (3, 4): RED, (7, 4): WHITE, (7, 5): BLUE}, "one step")
    assert game.b.evaluate("return document.body.className === '' &&"
                           " !document.getElementById('pad0').offsetWidth"), "pads for keys"
    game.b.press("Escape")
    game.wait("return brelvo.state === 'over'", "the end after Esc")
    assert game.b.evaluate("return brelvo.status") == 0
    assert game.b.evaluate("return document.activeElement.id") == "again"
    game.b.press("Enter")
    game.wait("return brelvo.state === 'running' && brelvo.game.frames > 0", "a new match")
    assert game.b.evaluate("return brelvo.mode") == "two"
    game.b.press("Escape")
    game.wait("return brelvo.state === 'over'", "the second end")


def away(folder, name, back=False):
    """A file of the page taken off the server, or put back."""
    there, hidden = os.path.join(folder, name), os.path.join(folder, name + ".away")
    os.rename(*((hidden, there) if back else (there, hidden)))


# What a failure shows: [state, the panels in view, the message, Try again's and Start
# screen's hidden].
SHOWN_FAILURE = """return [brelvo.state,
  Array.from(document.getElementsByClassName('panel')).filter((p) => !p.hidden).map((p) => p.id),
  document.getElementById('message').innerText,
  document.getElementById('retry').hidden, document.getElementById('failed-home').hidden]"""


def scenario_failures_say_why_and_mend(game):
    """A game that cannot start says why, as on the desktop, and leaves nothing of itself
    behind; "Try again" is focused, taken by the keyboard, and fetches afresh what was
    missing; a page served without the game's script, or opened from the disk, says at
    once why it cannot start."""
    b = game.b
    game.open("window.AudioContext = undefined; window.webkitAudioContext = undefined;")
    b.press("Enter")
    game.wait("return brelvo.state === 'failed'", "the failure")
    shown = b.evaluate("""const m = document.getElementById('message');
        return [m.innerText, m.getAttribute('role'), document.activeElement.id]""")
    assert shown == ["unable to init SDL_mixer: this browser has no WebAudio", "alert",
                     "retry"], shown
    assert not b.evaluate("return brelvo.game && brelvo.game.frames"), "a frame was drawn"
    # The failed game's keys are gone: an arrow scrolls as on any page.
    assert b.evaluate("const e = new KeyboardEvent('keydown', {key: 'ArrowDown',"
                      " cancelable: true}); dispatchEvent(e); return e.defaultPrevented") is False

    copy, folder = tempfile.mkdtemp(prefix="brelvo-page-"), game.page.folder
    shutil.copytree(folder, copy, dirs_exist_ok=True)
    game.page.stop()
    game.page = Page(copy)
    try:
        # The game's script missing: the page says so at once, on its panel, with no way
        # on but a reload; a key starts nothing.
        away(copy, "brelvo.js")
        game.open()
        b.press("Enter")
        shown = b.evaluate(SHOWN_FAILURE)
        assert shown[0] == "failed" and shown[1] == ["failed"] and shown[3:] == [True, True], \
            shown
        for words in ("unable to load the game: brelvo.js", "reload the page"):
            assert words in shown[2], shown[2]
        away(copy, "brelvo.js", back=True)
        game.open()
        b.press("Enter")
        game.wait("return brelvo.state === 'running' && brelvo.game.frames > 0", "the script back")
        b.press("Escape")
        game.wait("return brelvo.state === 'over'", "the end")

        # The game's file missing, then back: "Try again" by the keyboard plays. (A new
        # address: nothing of the visits above is kept.)
        away(copy, "brelvo.wasm")
        game.page.stop()
        game.page = Page(copy)
        game.open()
        b.press("Enter")
        game.wait("return brelvo.state === 'failed'", "the failed load")
        shown = b.evaluate("return [brelvo.message, document.activeElement.id]")
        assert shown == ["unable to load the game: brelvo.wasm: 404", "retry"], shown
        away(copy, "brelvo.wasm", back=True)
        b.press("Enter")
        game.wait("return brelvo.state === 'running' && brelvo.game.frames > 0", "the retry")
        b.press("Escape")
        game.wait("return brelvo.state === 'over'", "the end")
    finally:
        game.page.stop()
        game.page = Page(folder)
        shutil.rmtree(copy, ignore_errors=True)

    b.open("file://" + os.path.join(folder, "index.html"))
    shown = b.evaluate("""return [brelvo.state, document.getElementById('failed').hidden,
                                  document.getElementById('message').innerText,
                                  document.getElementById('retry').hidden]""")
    assert shown[:2] == ["failed", False] and shown[3], shown
    for words in ("must be served from a web server", "README.txt", "tools/web.sh serve"):
        assert words in shown[2], shown[2]
    # The browser itself refuses the page's manifest from the disk; nothing else may fail.
    errors = [e for e in b.console_errors() if "manifest" not in e]
    assert not errors, errors
    b.open("about:blank")


# Each icon the web manifest names, as the browser decodes it: [declared size, width].
ICONS = """return fetch('manifest.webmanifest').then((r) => r.json()).then((m) =>
  Promise.all(m.icons.map((icon) => new Promise((resolve) => {
    const image = new Image();
    image.onload = () => resolve([icon.sizes, image.naturalWidth]);
    image.onerror = () => resolve([icon.sizes, 0]);
    image.src = icon.src;
  }))));"""


INVITE_SHOWN = ("return brelvo.state === 'inviting' && !!document.querySelector("
                "'#invite-code svg') && typeof brelvoRendezvous === 'object'")
# Remote play's and the big screen's scripts, which the start screen does without.
LATER = ["guest.js", "host.js", "link.js", "pace.js", "party.css", "peer.js", "protocol.js",
         "qr.js", "rendezvous.js", "screen.js", "seat.js", "seats.js"]
# Those the page's caches keep, by name, and whether they are all kept.
KEPT_LATER = ("return caches.keys().then((names) => Promise.all(names.map((n) => caches.open(n)"
              ".then((c) => c.keys())))).then((all) => all.flat().map((r) => r.url.split('/')"
              ".pop()).filter((n) => %s.includes(n)).sort())" % json.dumps(LATER))
ALL_KEPT = KEPT_LATER.replace(".sort())", ".sort().join() === '%s')" % ",".join(LATER))


def first_visit(b, page, path=""):
    """Every byte the server sends on a first visit to the page (at `path`: "#..." for a
    link), the service worker's fill included, each file as gzip -9 packs it: (raw, gzip,
    [(file, status, raw, gzip)])."""
    b.open(page.url + path)
    Game(b, page).wait("return navigator.serviceWorker.ready.then(() => caches.keys())"
                       ".then((names) => names.length > 0)", "the cache")
    asked = -1  # then until the server has been asked for nothing more for a second
    while asked != len(page.requests):
        asked = len(page.requests)
        time.sleep(1)
    files = []
    for asked, status in page.requests:
        name = asked.split("?")[0].lstrip("/") or "index.html"
        body = open(os.path.join(page.folder, name), "rb").read() if status == 200 else b""
        files.append((name, status, len(body), len(gzip.compress(body, 9)) if body else 0))
    return sum(f[2] for f in files), sum(f[3] for f in files), files


def scenario_offline(game):
    """A first visit, every byte of it gzip'd, is under 200,000 (but in WebKit): remote
    play's scripts are not fetched. After it the page plays with the server gone, and it
    can be installed. With the server gone before any invite, an invite says why it cannot
    be; once an invite used remote play's scripts they are kept, and
    an invite works offline. An invite link's first visit fetches and keeps them all,
    under 240,000."""
    b = game.b
    _, packed, files = first_visit(b, game.page)
    # WebKit's service worker fetches every file again rather than take the visit's own:
    # its first visit is twice the page's bytes, whatever the page holds.
    assert packed < 200000 or b.name == "webkit", files
    print("  a first visit: %d bytes gzip'd" % packed)
    assert not {f[0] for f in files} & set(LATER) and b.evaluate(KEPT_LATER) == [], files
    remote = b.evaluate("return typeof RTCPeerConnection === 'function'")
    url, port = game.page.url, game.page.server.server_address[1]
    game.page.stop()
    if remote:
        b.click("#invite")
        said = game.wait("const p = document.getElementById('prompt').textContent;"
                         "return p.startsWith('Could not') && p", "the invite's failure")
        assert re.fullmatch(r"Could not make an invite: \w+\.(js|css) did not load", said), said
        assert b.evaluate("return [brelvo.state, document.getElementById('gate').hidden]") \
            == ["gate", False]
    game.page = Page(game.page.folder, ice_servers=b"[]", port=port)  # the server back
    b.open(url)
    if remote:
        b.click("#invite")
        game.wait(INVITE_SHOWN, "the invite with its QR code", 15)
        game.wait(ALL_KEPT, "remote play's scripts kept")
        link = b.evaluate("return document.getElementById('invite-link').value")
        b.click("#cancel")
        assert b.evaluate("return document.getElementById('prompt').textContent") == \
            "tap, click or press a key to start"
    for sizes, width in game.b.evaluate(ICONS):
        assert width > 0 and sizes in ("any", "%dx%d" % (width, width)), (sizes, width)
    if game.b.name == "chromium":  # the one engine that says whether it would install it
        game.b.reload()
        errors = game.b.driver.execute_cdp_cmd("Page.getInstallabilityErrors", {})
        assert errors["installabilityErrors"] == [], errors
    game.page.stop()
    try:
        game.b.reload()
        game.start()
        game.round_start([0, 0])
        assert len(game.b.evaluate("return brelvo.game.mixer.clips()")) == 13
        if remote:  # an invite offline: the page's own, with its QR code
            game.b.press("Escape")
            game.wait("return brelvo.state === 'over'", "the end")
            game.b.reload()
            game.b.click("#invite")
            game.wait(INVITE_SHOWN, "an invite offline", 15)
    finally:
        game.page = Page(game.page.folder, ice_servers=b"[]")
    if remote:  # the invite link opened where the page never was
        _, packed, files = first_visit(b, game.page, link[link.index("#"):])
        assert packed < 240000 and {f[0] for f in files} >= set(LATER), files
        game.wait("return brelvo.state === 'joining' && !document.getElementById('join')"
                  ".hidden", "the invite's panel")
        game.wait(ALL_KEPT, "remote play's scripts kept by the link's visit")


# The page's caches as [address, version], each named for the copy it belongs to.
CACHES = """return caches.keys().then((names) => names.filter((n) => n.startsWith('brelvo '))
                                                    .map((n) => n.split(' ').slice(1)))"""
# Asks the browser to look for a new version now, and waits until that one is installed
# or has failed to.
UPDATE = """return navigator.serviceWorker.getRegistration().then(async (r) => {
  await r.update().catch(() => {});
  while (r.installing) await new Promise((resolve) => setTimeout(resolve, 50));
  return !!r.waiting; });"""


def new_version(folder, marker, *files):
    """Writes `files` of a new version into the served `folder`: style.css with `marker`
    appended, sw.js naming that file's new hash and a new cache."""
    style = open(os.path.join(ROOT, "web/style.css")).read()
    style += "/* %s */\n" % marker
    worker = open(os.path.join(folder, "sw.js")).read()
    old = hashlib.sha256(open(os.path.join(folder, "style.css"), "rb").read()).hexdigest()
    worker = worker.replace(old, hashlib.sha256(style.encode()).hexdigest())
    worker = re.sub(r"const VERSION = '[^']*'", "const VERSION = '%s'" % marker, worker)
    for name, text in (("sw.js", worker), ("style.css", style)):
        if name in files:
            open(os.path.join(folder, name), "w").write(text)


def scenario_a_new_version_replaces_the_old(game):
    """A new version is kept only once every file on the server is its own, and takes
    over only when no page of the old one is open: a page is never a mix of the two."""
    copy = tempfile.mkdtemp(prefix="brelvo-page-")
    shutil.copytree(game.page.folder, copy, dirs_exist_ok=True)
    game.page.stop()
    game.page = Page(copy)
    style = "return fetch('style.css').then((r) => r.text())"
    try:
        game.open()
        game.wait("return navigator.serviceWorker.ready.then(() => true)", "the first version")
        game.b.reload()
        game.wait("return !!navigator.serviceWorker.controller", "the page kept")
        first = game.b.evaluate(CACHES)
        # Half deployed: the new sw.js, the old style.css. Nothing of it may be kept.
        new_version(copy, "second", "sw.js")
        assert game.b.evaluate(UPDATE) is False, "a half-deployed version was installed"
        assert game.b.evaluate(CACHES) == first
        # Whole: kept, but the open page goes on with the old version's files.
        new_version(copy, "second", "sw.js", "style.css")
        assert game.b.evaluate(UPDATE) is True, "the new version was not installed"
        assert "second" not in game.b.evaluate(style)
        # The old page closed, a visit is the new version's. A visit that comes before
        # the browser has let the new version take over is still the old one's, whole;
        # closing it again gives the new version its turn.
        for _ in range(5):
            game.b.reopen("about:blank")
            game.open()
            if poll(lambda: game.b.evaluate(CACHES) == [[game.page.url, "second"]], 3):
                break
            assert "second" not in game.b.evaluate(style), "an old visit with new files"
        assert game.b.evaluate(CACHES) == [[game.page.url, "second"]], "no takeover"
        assert game.b.evaluate(style).endswith("/* second */\n")
        game.start()
        game.round_start([0, 0])
    finally:
        shutil.rmtree(copy, ignore_errors=True)


# Where the grid (score columns included), the pads and the controls are, in CSS pixels
# as [left, top, right, bottom], with the game's own geometry.
LAYOUT = """
  const box = (id) => { const r = document.querySelector(id).getBoundingClientRect();
                        return [r.left, r.top, r.right, r.bottom]; };
  const c = document.getElementById('game'), r = c.getBoundingClientRect();
  const s = Math.min(Math.trunc(c.width / 11), Math.trunc(c.height / 9));
  const x0 = r.left + Math.trunc((c.width - 9 * s) / 2);
  const y0 = r.top + Math.trunc((c.height - 9 * s) / 2);
  return {w: innerWidth, h: innerHeight, s: s, grid: [x0 - s, y0, x0 + 10 * s, y0 + 9 * s],
          canvas: [c.width, c.height, r.width, r.height], stage: box('#stage'),
          pads: [box('[role=group][aria-label="Left, red"]'),
                 box('[role=group][aria-label="Right, blue"]')],
          controls: [box('#fullscreen'), box('#end')],
          names: [document.getElementById('fullscreen').innerText,
                  document.getElementById('end').innerText]};
"""

# Every key the pads and controls send to the game, and every direction lit or put out.
WATCH = """
  window.sent = []; window.lit = [];
  // Each press told by the key a player at the keyboard would press for it.
  const KEYS = [['w', 's', 'a', 'd'], ['ArrowUp', 'ArrowDown', 'ArrowLeft', 'ArrowRight']];
  const key = (player, way) => KEYS[player][['up', 'down', 'left', 'right'].indexOf(way)];
  const press = brelvo.game.press;
  brelvo.game.press = (source, player, way, down) => {
    sent.push([key(player, way), down]);
    press(source, player, way, down);
  };
  new MutationObserver((changes) => changes.forEach((c) => lit.push(
      [key(+c.target.parentElement.id.slice(3), c.target.dataset.way),
       c.target.classList.contains('held')])))
    .observe(document.getElementById('play'), {subtree: true, attributeFilter: ['class']});
"""


# A guest's page, as the page's own machine and view make it, walked into a match held
# after a blip: this page has no friend elsewhere to lose. Its next step is fired by
# STEP_GUEST; each step the page's own machine takes draws the page's own picture again.
HOLD_GUEST = """
  const m = window.guestPage = brelvoMachine.create(
      {enter: {}, run: {}, changed: (d) => brelvoView.draw(d.view)});
  m.show({touch: true});
  for (const [event, payload] of [['invited'], ['join'], ['open'], ['count', {n: 1}], ['start'],
                                  ['quiet']]) m.fire(event, payload);
  return m.state;
"""
STEP_GUEST = "guestPage.fire('%s', %s); return guestPage.state"
# What the player sees over the grid (#hold's words, or #count's digit), where, how large,
# and what a finger there touches.
OVER_GRID = """
  const e = document.getElementById('%s'), r = e.getBoundingClientRect(),
        c = document.getElementById('game').getBoundingClientRect(), style = getComputedStyle(e);
  const x = r.left + r.width / 2, y = r.top + r.height / 2;
  return {text: e.textContent, shown: style.display !== 'none' && r.width * r.height > 0,
          x: x - c.left, y: y - c.top, font: parseFloat(style.fontSize),
          touched: document.elementFromPoint(x, y).id};
"""


def apart(a, b, gap=0):
    """Whether boxes a and b are at least `gap` pixels apart."""
    return (a[2] + gap <= b[0] or b[2] + gap <= a[0] or a[3] + gap <= b[1] or
            b[3] + gap <= a[1])


def check_layout(game, portrait):
    """The pads and controls sized for fingers, clear of the grid, of each other and of
    the screen's side edges; the game's window is what they leave."""
    box = game.b.evaluate(LAYOUT)
    width, height, shown_width, shown_height = box["canvas"]
    assert (width, height) == (round(shown_width), round(shown_height)), box
    grid, pads, controls = box["grid"], box["pads"], box["controls"]
    assert box["names"] == ["Full screen", "End match"], box["names"]
    for pad in pads:
        assert pad[2] - pad[0] >= 132 and pad[3] - pad[1] >= 132, box  # 44 px a direction
        assert pad[0] >= 20 and pad[2] <= box["w"] - 20 and pad[3] <= box["h"], box
        assert apart(pad, grid), box
    for control in controls:
        assert control[2] - control[0] >= 44 and control[3] - control[1] >= 44, box
        assert apart(control, grid) and all(apart(control, pad, 44) for pad in pads), box
    assert pads[0][2] < pads[1][0], box
    if portrait:  # below the grid, which has the whole width
        assert min(pads[0][1], pads[1][1]) >= grid[3] and box["stage"][2] - box["stage"][0] == \
            box["w"], box
    else:  # either side of it, which has the whole height
        assert pads[0][2] <= grid[0] and pads[1][0] >= grid[2], box
        assert box["stage"][3] - box["stage"][1] == box["h"], box
    return box


def pad_point(box, player, way, reach=1 / 3, turn=0):
    """A point on a player's pad, `reach` of its width out from its middle in a direction
    (two thirds of the way out unless told), turned `turn` degrees clockwise off it."""
    left, top, right, bottom = box["pads"][player]
    x, y = (left + right) / 2, (top + bottom) / 2
    reach *= right - left
    dx, dy = {"up": (0, -1), "down": (0, 1), "left": (-1, 0), "right": (1, 0),
              "middle": (0, 0)}[way]
    angle = numpy.radians(turn)
    dx, dy = (dx * numpy.cos(angle) - dy * numpy.sin(angle),
              dx * numpy.sin(angle) + dy * numpy.cos(angle))
    return round(x + dx * reach), round(y + dy * reach)


def check_held_over_the_grid(game):
    """A guest's match held on a phone: "Reconnecting…" over the middle of the grid, large,
    as no finger's; then the countdown's digit there, larger; then neither."""
    b = game.b
    assert b.evaluate(HOLD_GUEST) == "held"
    grid = game.grid()
    s, x0, y0 = grid["s"], grid["x0"], grid["y0"]
    inside = lambda seen: x0 < seen["x"] < x0 + 9 * s and y0 < seen["y"] < y0 + 9 * s
    words = b.evaluate(OVER_GRID % "hold")
    assert words["text"] == "Reconnecting…" and words["shown"] and inside(words) and \
        words["font"] >= 24 and words["touched"] == "game", (words, s, x0, y0)
    assert b.evaluate(STEP_GUEST % ("count", "{n: 3}")) == "held"
    digit = b.evaluate(OVER_GRID % "count")
    assert digit["text"] == "3" and digit["shown"] and inside(digit) and \
        digit["font"] >= 2 * words["font"] and digit["touched"] == "game", digit
    assert not b.evaluate(OVER_GRID % "hold")["shown"], "the words stay under the countdown"
    assert b.evaluate(STEP_GUEST % ("start", "{}")) == "running"
    assert not any(b.evaluate(OVER_GRID % what)["shown"] for what in ("hold", "count"))


def choices(b):
    """The start screen's buttons as a player reads them, row by row."""
    return b.evaluate("return [...document.querySelectorAll('#choices button')]"
                      ".filter((e) => e.offsetParent).map((e) => [e.getBoundingClientRect(), e])"
                      ".sort(([a], [b]) => a.top - b.top || a.left - b.left)"
                      ".map(([, e]) => e.textContent)")


def scenario_two_fingers_on_a_phone(game):
    """A phone upright: the pads below the grid; both players at once, each re-armed
    alone; a slide turns the blade; a stray finger presses nothing of the other's; End
    match and Play again by touch; a guest's match held there."""
    b = game.b
    b.reopen("about:blank")  # Chromium's touch emulation may keep an old page's touch
    game.open()
    b.emulate(390, 844, 3)
    try:
        gate = "const g = document.getElementById('gate');" \
               "return [g.innerText, g.scrollHeight <= g.clientHeight]"
        b.emulate(844, 390, 3)  # the phone on its side first
        assert b.evaluate(gate)[1], "the start screen does not fit a phone on its side"
        b.emulate(390, 844, 3)
        text, fits = b.evaluate(gate)
        assert fits, "the start screen does not fit a phone"
        # A phone (a finger and no mouse, as Chromium's phone is) speaks of touch pads and
        # the big screen, not of keys, and offers the big screen after the rest.
        phone = b.evaluate("return matchMedia('(pointer: coarse) and (hover: none)').matches")
        for words in ("tap, click or press a key to start", "touch screen", "big screen"):
            assert words in text, text
        webrtc = b.evaluate("return typeof RTCPeerConnection === 'function'")
        assert ("WASD" in text.replace(" ", "")) != phone and \
            (choices(b)[0] == "Big screen") == (webrtc and not phone), (phone, text, choices(b))
        b.tap("#prompt")
        game.wait("return !!(brelvo.game && brelvo.game.frames > 0)", "the first frame")
        game.round_start([0, 0])
        box = check_layout(game, portrait=True)
        if b.name == "chromium":
            b.screenshot(os.path.join(ROOT, "build", "phone.png"))
        at = functools.partial(pad_point, box)
        b.evaluate(WATCH)

        # Both step in the same instant, and both directions light up together.
        b.touch([("down",) + at(0, "right"), ("pause", 80), ("up",)],
                [("down",) + at(1, "left"), ("pause", 80), ("up",)])
        game.wait_lit({(2, 4): WHITE, (3, 4): RED, (5, 4): BLUE, (6, 4): WHITE}, "both steps")
        lit = b.evaluate("return lit")
        assert lit[:2] in ([["d", True], ["ArrowLeft", True]],
                           [["ArrowLeft", True], ["d", True]]), lit
        assert sorted(map(tuple, lit[2:])) == [("ArrowLeft", False), ("d", False)], lit
        assert sorted(map(tuple, b.evaluate("return sent"))) == [
            ("ArrowLeft", False), ("ArrowLeft", True), ("d", False), ("d", True)]
        game.last = {0: time.monotonic(), 1: time.monotonic()}
        time.sleep(0.3)

        # Player 0 turns up and slides down at once, inside 50 ms: dropped; player 1 turns
        # up in that same moment: taken, each re-arms alone. Later player 0's slide to the
        # left is a new press: the blade turns.
        b.touch([("down",) + at(0, "up"), ("move",) + at(0, "down"), ("pause", 300),
                 ("move",) + at(0, "left"), ("pause", 60), ("up",)],
                [("pause", 0), ("down",) + at(1, "up"), ("pause", 300), ("pause", 0),
                 ("pause", 60), ("up",)])
        game.wait_lit({(1, 4): RED, (2, 4): WHITE, (6, 3): BLUE, (6, 4): WHITE},
                      "a turn each, a slide dropped and a slide taken")
        time.sleep(0.3)

        # Player 0's finger strays right across the middle onto player 1's pad: it still
        # holds player 0's right, once.
        b.evaluate("sent.length = 0")
        b.touch([("down",) + at(0, "right"), ("move",) + at(1, "middle") + (150,),
                 ("move",) + at(1, "up"), ("pause", 100), ("up",)])
        game.wait_lit({(2, 4): WHITE, (3, 4): RED, (6, 3): BLUE, (6, 4): WHITE}, "a turn")
        assert b.evaluate("return sent") == [["d", True], ["d", False]]
        fingers_on_the_pads(game, at)

        if b.name != "webkit":  # MiniBrowser under Xvfb is slow to go full screen, if at all
            for pressed in ("true", "false"):
                b.tap("#fullscreen")
                game.wait("return !!document.fullscreenElement === %s && document."
                          "getElementById('fullscreen').getAttribute('aria-pressed') === '%s'"
                          % (pressed, pressed), "full screen " + pressed, 5)
        b.tap("#end")
        game.wait("return brelvo.state === 'over'", "the end of the match by touch")
        assert b.evaluate("return brelvo.status") == 0
        b.tap("#again")
        game.wait("return brelvo.state === 'running' && brelvo.game.frames > 0",
                  "another match by touch")
        game.round_start([0, 0])
        check_held_over_the_grid(game)
        b.tap("#end")
        game.wait("return brelvo.state === 'over'", "the second end")
        assert b.evaluate("return [document.getElementById('over').hidden, "
                          "document.getElementById('hold').hidden]") == [False, True]
    finally:
        b.emulate()


def fingers_on_the_pads(game, at):
    """How a pad reads a finger, both players at once, player 0 at (2, 4) facing right and
    player 1 at (6, 4) facing up: the way nearest the finger's angle, nothing in the
    middle, a slide lets go of one way and presses the next, a finger stays its own pad's
    wherever it strays, and a lifted finger holds nothing. Each gesture is checked by what
    the game got, what the pads lit and what the grid shows."""
    b = game.b

    def played(cells, keys, *fingers):
        time.sleep(0.06)  # past both players' re-arm
        b.evaluate("sent.length = 0; lit.length = 0")
        b.touch(*fingers)
        game.wait_lit({(2, 4): WHITE, (6, 4): WHITE, **cells}, "the pads: %s" % (keys,))
        sent, shown, held = b.evaluate("return [sent, lit, document.querySelectorAll("
                                       "'#play .held').length]")
        for player, want in enumerate(keys):
            ways = [[key, down] for key, down in want]
            got, lit = ([k for k in seen if (k[0] in "wasd") == (player == 0)]
                        for seen in (sent, shown))
            assert got == ways, "player %d's keys: %s, not %s" % (player, got, ways)
            assert lit == ways, "player %d's pad lit %s, not %s" % (player, lit, ways)
        assert held == 0, "%d ways still lit after the fingers lifted" % held

    def tap(key):
        return [(key, True), (key, False)]

    # Every way on both pads, two fingers at once, each 35 degrees off the way's own line,
    # to one side and then the other: a turn each.
    turns = ((("down", "s", (2, 5)), ("right", "ArrowRight", (7, 4))),
             (("left", "a", (1, 4)), ("down", "ArrowDown", (6, 5))),
             (("up", "w", (2, 3)), ("left", "ArrowLeft", (5, 4))),
             (("right", "d", (3, 4)), ("up", "ArrowUp", (6, 3))))
    for n, ((way0, key0, blade0), (way1, key1, blade1)) in enumerate(turns):
        turn = 35 if n % 2 else -35
        played({blade0: RED, blade1: BLUE}, (tap(key0), tap(key1)),
               [("down",) + at(0, way0, turn=turn), ("pause", 80), ("up",)],
               [("down",) + at(1, way1, turn=-turn), ("pause", 80), ("up",)])
    # Player 0's finger comes down in the middle (a tenth of the pad's width out): nothing;
    # slides a fifth out to the left: a turn; back to the middle lets go; then down. Player
    # 1's slides from left to up to right, a turn at each, one way held at a time.
    played({(2, 5): RED, (7, 4): BLUE},
           (tap("a") + tap("s"), tap("ArrowLeft") + tap("ArrowUp") + tap("ArrowRight")),
           [("down",) + at(0, "up", 0.1), ("pause", 150), ("move",) + at(0, "left", 0.2),
            ("pause", 150), ("move",) + at(0, "right", 0.05), ("pause", 150),
            ("move",) + at(0, "down"), ("pause", 150), ("up",)],
           [("down",) + at(1, "left"), ("pause", 150), ("move",) + at(1, "up"),
            ("pause", 150), ("move",) + at(1, "right"), ("pause", 150), ("pause", 0),
            ("pause", 150), ("up",)])
    # Player 1's finger strays across the middle onto player 0's pad, up to its top, while
    # player 0's own finger holds right: each still plays its own player alone.
    played({(3, 4): RED, (5, 4): BLUE}, (tap("d"), tap("ArrowLeft")),
           [("pause", 0), ("down",) + at(0, "right"), ("pause", 300), ("up",)],
           [("down",) + at(1, "left"), ("move",) + at(0, "middle") + (150,),
            ("move",) + at(0, "up"), ("pause", 100), ("up",)])


# The page's view of itself going out of sight and back, as the browser reports it.
SIGHT = """Object.defineProperty(document, 'hidden', {configurable: true, get: () => %s});
Object.defineProperty(document, 'visibilityState', {configurable: true,
                                                    get: () => %s ? 'hidden' : 'visible'});
document.dispatchEvent(new Event('visibilitychange'));"""

# A screen wake lock that keeps count.
WAKE_LOCK = """window.locks = [];
Object.defineProperty(navigator, 'wakeLock', {value: {request: (type) => {
  const lock = new EventTarget();
  lock.type = type;
  lock.released = false;
  lock.release = () => { lock.released = true; lock.dispatchEvent(new Event('release'));
                         return Promise.resolve(); };
  locks.push(lock);
  return Promise.resolve(lock);
}}});"""

# A finger put down on player 0's pad and left there, and a way to see what it holds.
FINGER = """const pad = document.getElementById('pad0').getBoundingClientRect();
document.querySelector('#pad0 .up').dispatchEvent(new PointerEvent('pointerdown', {
  pointerId: 7, pointerType: 'touch', clientX: pad.left + pad.width / 2,
  clientY: pad.top + 10, bubbles: true}));"""
HELD = "return document.querySelectorAll('.held').length"


def scenario_a_tablet_on_its_side(game):
    """A tablet on its side: the pads either side of the grid; a long sideways swipe and a
    pinch leave the page as it was; the screen is kept awake during a match; a page out
    of sight is silent and lets go of every finger, and its sound comes back."""
    b = game.b
    b.reopen("about:blank")  # Chromium's touch emulation may keep an old page's touch
    game.open(WAKE_LOCK)
    b.emulate(1024, 768, 2)
    try:
        b.tap("#prompt")
        game.wait("return !!(brelvo.game && brelvo.game.frames > 0)", "the first frame")
        game.round_start([0, 0])
        check_layout(game, portrait=False)
        if b.name == "chromium":
            b.screenshot(os.path.join(ROOT, "build", "tablet.png"))
        assert game.wait("return brelvo.game.mixer.level() > 0.005", "the hum")
        game.wait("return locks.length === 1 && !locks[0].released", "the screen kept awake")
        url = b.evaluate("return location.href")
        if b.name != "webkit":  # a browser's own gestures need real touches
            grid = b.evaluate(LAYOUT)["grid"]
            row = (grid[1] + grid[3]) // 2
            b.touch([("down", 8, row), ("move", b.evaluate("return innerWidth") - 40, row, 250),
                     ("up",)])
            b.touch([("down", 480, 380), ("move", 380, 280, 250), ("up",)],
                    [("down", 540, 420), ("move", 640, 520, 250), ("up",)])
            time.sleep(0.3)
            still = b.evaluate("return [location.href, visualViewport.scale, scrollX, scrollY,"
                               " brelvo.state]")
            assert still == [url, 1, 0, 0, "running"], still
            assert game.lit() == START

        b.evaluate(FINGER)
        assert b.evaluate(HELD) == 1
        b.evaluate(SIGHT % ("true", "true"))
        game.wait("return brelvo.game.mixer.state() === 'suspended'", "silence out of sight")
        assert b.evaluate(HELD) == 0, "a finger still held out of sight"
        assert b.evaluate("return locks[0].released"), "the screen kept awake out of sight"
        b.evaluate(SIGHT % ("false", "false"))
        if not poll(lambda: b.evaluate("return brelvo.game.mixer.state() === 'running'"), 2):
            b.tap("#stage")  # the browser wants a gesture to sound again
        game.wait("return brelvo.game.mixer.state() === 'running'", "the sound back")
        assert game.wait("return brelvo.game.mixer.level() > 0.005", "the hum back")
        game.wait("return locks.length === 2 && !locks[1].released", "awake again")

        # A cancelled finger and a page that loses focus let go as well.
        for release in ("document.querySelector('#pad0 .up').dispatchEvent(new PointerEvent("
                        "'pointercancel', {pointerId: 7, pointerType: 'touch', bubbles: true}))",
                        "window.dispatchEvent(new Event('blur'))"):
            time.sleep(0.06)  # each finger a press of its own, past the re-arm
            b.evaluate(FINGER)
            assert b.evaluate(HELD) == 1
            b.evaluate(release)
            assert b.evaluate(HELD) == 0, release
        game.wait_lit({(1, 1): RED, (1, 2): WHITE, (6, 4): BLUE, (7, 4): WHITE},
                      "a turn and two steps")

        b.tap("#end")
        game.wait("return brelvo.state === 'over'", "the end of the match")
        game.wait("return locks[1].released", "the screen let sleep")
    finally:
        b.emulate()


# Gamepads a test can hold: Firefox's own test pads, as the browser's gamepad service
# sees them; elsewhere navigator.getGamepads replaced, with the events a browser sends (a
# pad shows itself with its first pressed button).
TEST_PADS = """
if (navigator.requestGamepadServiceTest) {
  const service = navigator.requestGamepadServiceTest();
  window.testPads = {
    add: (standard) => service.addGamepad('test pad', standard ? service.standardMapping :
                                          service.noMapping, service.noHand, 17, 4, 0, 0, 0),
    button: (pad, n, down) => service.newButtonEvent(pad, n, down, down),
    axis: (pad, n, value) => service.newAxisMoveEvent(pad, n, value),
    remove: (pad) => service.removeGamepad(pad),
  };
} else {
  const pads = [];
  const tell = (type, pad) => { const e = new Event(type); e.gamepad = pad; dispatchEvent(e); };
  navigator.getGamepads = () => pads.map((pad) => pad && pad.shown ? pad : null);
  window.testPads = {
    add: (standard) => pads.push({index: pads.length, id: 'test pad', connected: true,
      mapping: standard ? 'standard' : '', timestamp: 0, shown: false, axes: [0, 0, 0, 0],
      buttons: Array.from({length: 17}, () => ({pressed: false, touched: false, value: 0}))})
      - 1,
    button: (n, button, down) => {
      const pad = pads[n];
      pad.buttons[button] = {pressed: down, touched: down, value: down ? 1 : 0};
      if (!pad.shown && down) { pad.shown = true; tell('gamepadconnected', pad); }
    },
    axis: (n, axis, value) => { pads[n].axes[axis] = value; },
    remove: (n) => { const pad = pads[n]; pad.connected = false; pads[n] = null;
                     if (pad.shown) tell('gamepaddisconnected', pad); },
  };
}
"""


class Pads:
    """The test's gamepads: pad n's buttons and axes, each change seen by the page's next
    reading of the pads."""

    def __init__(self, game):
        self.game = game

    def add(self, standard=True):
        return self.game.b.evaluate("return testPads.add(%s)" % str(standard).lower())

    def set(self, pad, buttons=(), up=(), axes=()):
        """Presses `buttons`, lets go of `up`, moves (axis, value) pairs; then waits for two
        animation frames, in which the page reads them and the game shows what they did."""
        js = ["testPads.button(%d, %d, true)" % (pad, n) for n in buttons]
        js += ["testPads.button(%d, %d, false)" % (pad, n) for n in up]
        js += ["testPads.axis(%d, %d, %s)" % (pad, n, v) for n, v in axes]
        self.game.b.evaluate("return Promise.all([%s]).then(() => new Promise((r) =>"
                             " requestAnimationFrame(() => requestAnimationFrame(r))))"
                             % ", ".join(js))


UP, DOWN, LEFT, RIGHT, BACK = 12, 13, 14, 15, 8


def scenario_gamepads(game):
    """Two gamepads, one a player, read by the game as its joysticks: a pad that shows
    itself mid-match takes the next free seat, both step at once, the stick presses past
    60% and again only from the middle, a diagonal presses nothing new, a pad that goes
    while holding a way lets go of it, a pad without the standard mapping plays only its
    stick, a third pad plays no one, and Back ends the match. Each press is watched on the
    screen; one that should press nothing is given the 50 ms re-arm, so that a wrong press
    would show."""
    b = game.b
    game.open(TEST_PADS)
    pads = Pads(game)

    def still(cells, what):  # nothing new on the screen, after the page's reading
        pads.set(0)
        assert game.lit() == cells, "%s: the grid shows %s, not %s" % (what, game.lit(), cells)

    first = pads.add()
    pads.set(first, buttons=[0], up=[0])  # a pad on the start screen
    if b.evaluate("return brelvo.state") == "gate":  # the browser wants a tap, click or key
        text = b.evaluate("return document.getElementById('prompt').innerText")
        assert "tap, click or press a key to start" in text, text
        game.start()
    game.wait("return brelvo.state === 'running'", "a match")
    game.round_start([0, 0])
    second = pads.add()  # shows itself mid-match: player 1's seat
    pads.set(second, buttons=[0], up=[0])
    still(START, "a button that is no way")
    pads.set(first, buttons=[RIGHT])
    pads.set(second, buttons=[LEFT])
    game.wait_lit({(2, 4): WHITE, (3, 4): RED, (5, 4): BLUE, (6, 4): WHITE}, "a step each")
    pads.set(first, up=[RIGHT])
    pads.set(second, up=[LEFT])

    # Player 1's stick: 50% presses nothing, 70% up turns the blade, 30% holds it, 70%
    # again presses nothing, 20% lets go, and down past 60% turns it down.
    time.sleep(0.06)
    stepped = {(2, 4): WHITE, (3, 4): RED, (6, 4): WHITE, (5, 4): BLUE}
    pads.set(second, axes=[(1, -0.5)])
    still(stepped, "the stick at 50%")
    pads.set(second, axes=[(1, -0.7)])
    turned_up = {(2, 4): WHITE, (3, 4): RED, (6, 4): WHITE, (6, 3): BLUE}
    game.wait_lit(turned_up, "a turn up")
    pads.set(second, axes=[(1, -0.3)])
    time.sleep(0.06)
    pads.set(second, axes=[(1, -0.7)])
    still(turned_up, "the stick back at 70% without the middle")
    pads.set(second, axes=[(1, -0.2)])
    time.sleep(0.06)
    pads.set(second, axes=[(1, 0.7)])
    pads.set(second, axes=[(1, 0)])
    turned_down = {(2, 4): WHITE, (3, 4): RED, (6, 4): WHITE, (6, 5): BLUE}
    game.wait_lit(turned_down, "a turn down")

    # Player 0's d-pad: a diagonal from the middle presses nothing; let go of one way and
    # the other is pressed; a way held stays held through a diagonal.
    time.sleep(0.06)
    pads.set(first, buttons=[UP, LEFT])
    still(turned_down, "a diagonal from the middle")
    pads.set(first, up=[LEFT])
    up = {(2, 3): RED, (2, 4): WHITE, (6, 4): WHITE, (6, 5): BLUE}
    game.wait_lit(up, "a turn up")
    time.sleep(0.06)
    pads.set(first, buttons=[RIGHT])
    still(up, "a diagonal with up held")

    # The pad goes while it holds up: its seat is free, and what it held is let go, so
    # the next pad's up is a press of its own. That pad's buttons are unknown to the
    # browser: they do nothing, Back's number included; its stick plays.
    pads.set(first, up=[0])
    b.evaluate("return testPads.remove(%d)" % first)
    raw = pads.add(False)
    pads.set(raw, buttons=[BACK, DOWN, LEFT])
    still(up, "a pad's unknown buttons")
    assert b.evaluate("return brelvo.state") == "running"
    pads.set(raw, up=[BACK, DOWN, LEFT], axes=[(1, -0.9)])
    game.wait_lit({(2, 2): RED, (2, 3): WHITE, (6, 4): WHITE, (6, 5): BLUE}, "a step up")
    pads.set(raw, axes=[(1, 0)])
    time.sleep(0.06)
    pads.set(raw, axes=[(0, -0.9)])
    pads.set(raw, axes=[(0, 0)])
    left = {(1, 3): RED, (2, 3): WHITE, (6, 4): WHITE, (6, 5): BLUE}
    game.wait_lit(left, "a turn left")

    # Both seats taken: a third pad plays no one.
    third = pads.add()
    pads.set(third, buttons=[0], up=[0])
    time.sleep(0.06)
    pads.set(third, buttons=[RIGHT, BACK])
    still(left, "a third pad")
    assert b.evaluate("return brelvo.state") == "running"
    # Back ends the match as Esc does.
    pads.set(second, buttons=[BACK])
    game.wait("return brelvo.state === 'over'", "the end by Back")
    assert b.evaluate("return brelvo.status") == 0


def scenario_two_copies_on_one_site(game):
    """Two copies of the page, of two versions, in two folders of one site: each keeps its
    own offline copy, and both play with the server gone."""
    site, folder = tempfile.mkdtemp(prefix="brelvo-site-"), game.page.folder
    paths = ("games/brelvo/", "games/brelvo-beta/")
    for path in paths:
        shutil.copytree(folder, os.path.join(site, path))
    new_version(os.path.join(site, paths[1]), "beta", "sw.js", "style.css")
    game.page.stop()
    game.page = Page(site)
    try:
        for path in paths:
            game.open(path=path)
            game.wait("return navigator.serviceWorker.ready.then(() => caches.keys()).then("
                      "(names) => names.some((n) => n.startsWith('brelvo ' + location.href)))",
                      "the cache of " + path)
        kept = dict(map(tuple, game.b.evaluate(CACHES)))
        first, beta = (game.page.url + path for path in paths)
        assert set(kept) == {first, beta} and kept[beta] == "beta" != kept[first], kept
        game.page.stop()
        if game.b.name == "chromium":  # nothing from the browser's own cache, as a day later
            game.b.driver.execute_cdp_cmd("Network.clearBrowserCache", {})
        for path in paths:
            game.open(path=path)
            game.start()
            game.round_start([0, 0])
            game.b.press("Escape")
            game.wait("return brelvo.state === 'over'", "the end offline")
    finally:
        game.page = Page(folder)
        shutil.rmtree(site, ignore_errors=True)


# What the page hands each match it starts (its arguments: the mode and the computer's
# level), and every level the game reports.
GIVEN = """window.given = []; window.reported = [];
const create = window.createBrelvo;
window.createBrelvo = (options) => {
  given.push({arguments: options.arguments || []});
  const report = options.onComputerLevel;
  if (report) options.onComputerLevel = (ms) => { reported.push(ms); report(ms); };
  return create(options);
};"""


def scenario_alone(game):
    """Play alone: the gate's button by the keyboard; the computer plays player 1 and wins
    a point from a player who stands still; both key sets and the only pad play player 0;
    Play again is alone again, at the level the computer had reached."""
    b = game.b
    b.reopen("about:blank")  # Chromium's touch emulation may keep an old page's touch
    game.open(GIVEN)
    assert "against the computer" in b.evaluate("return document.getElementById('gate').innerText")
    # A large screen offers the big screen first, where the browser can be one (WebRTC).
    webrtc = b.evaluate("return typeof RTCPeerConnection === 'function'")
    assert choices(b) == (["Big screen", "Play alone", "Invite a friend"] if webrtc
                          else ["Play alone"]), choices(b)
    b.press(*["Tab"] * (2 if webrtc else 1))  # past the big screen
    assert b.evaluate("const e = document.activeElement;"
                      " return [e.tagName, e.textContent]") == ["BUTTON", "Play alone"]
    b.press("Enter")
    game.wait("return !!(brelvo.game && brelvo.game.frames > 0)", "the first frame")
    started = b.evaluate("return [brelvo.mode, given]")
    assert started == ["alone", [{"arguments": ["--computer"]}]], started

    # Player 0 where a round puts it, whatever the computer has done since.
    def home(scores, seconds=10):
        game.until(lambda: game.lit().get((1, 4)) == WHITE and game.lit().get((2, 4)) == RED
                   and game.scores() == scores, "a round's start at %s" % scores, seconds)

    # Presses a key (again if the game's re-arm dropped it) and waits for player 0's cells.
    def plays(key, cells):
        def shown():
            lit = game.lit()
            return all(lit.get(cell, BLACK) == colour for cell, colour in cells.items())
        time.sleep(0.06)
        b.press(key)
        if not poll(shown, 1):
            b.press(key)
        game.until(shown, "player 0's %s: %s" % (key, cells))

    # Player 1 comes without a key pressed, and takes a point from an idle player 0.
    home([0, 0])
    home([0, 1], 30)
    # Both key sets turn player 0's blade (the arrows are player 1's with two players);
    # turns only, so that player 0 stays where the round put it. The computer coming on
    # may reach it meanwhile (a clash flips the blade, a hit starts a round): then the
    # turns begin again at the next round's start. A press lost with the computer far
    # away is a fault.
    def near():
        lit = game.lit()
        others = [cell for cell, colour in lit.items() if colour == WHITE and cell != (1, 4)]
        return game.scores() != scores or any(abs(x - 1) + abs(y - 4) <= 2 for x, y in others)

    for attempt in range(3):
        scores = game.scores()
        try:
            for key, blade in (("a", (0, 4)), ("ArrowRight", (2, 4)), ("w", (1, 3)),
                               ("d", (2, 4))):
                plays(key, {(1, 4): WHITE, blade: RED})
            break
        except AssertionError:
            if attempt == 2 or not near():
                raise
            game.until(lambda: game.scores() != scores and game.lit().get((1, 4)) == WHITE
                       and game.lit().get((2, 4)) == RED, "the next round's start", 30)

    # Esc, then Enter on Play again: alone again, the computer as it was.
    b.press("Escape")
    game.wait("return brelvo.state === 'over'", "the end by Esc")
    level = b.evaluate("return reported[reported.length - 1]")
    assert level, "the computer reported no level"
    b.press("Enter")
    game.wait("return brelvo.state === 'running' && brelvo.game.frames > 0", "another match")
    started = b.evaluate("return [brelvo.mode, given[1]]")
    assert started == ["alone", {"arguments": ["--computer=%d" % level]}], started

    # A tablet: one pad, player 0's, clear of the grid; its touch steps player 0.
    b.emulate(1024, 768, 2)
    try:
        b.touch([("down", 512, 50), ("up",)])  # the first touch brings out the pad
        home([0, 0])
        box = b.evaluate(LAYOUT)
        assert box["pads"][1] == [0, 0, 0, 0] and apart(box["pads"][0], box["grid"]), box
        b.evaluate(WATCH)
        b.touch([("down",) + pad_point(box, 0, "right"), ("pause", 80), ("up",)])
        game.until(lambda: game.lit().get((3, 4)) == RED and game.lit().get((2, 4)) == WHITE,
                   "player 0's step by touch")
        assert b.evaluate("return sent") == [["d", True], ["d", False]]
        b.tap("#end")
        game.wait("return brelvo.state === 'over'", "the end by touch")
    finally:
        b.emulate()

    # Not stuck alone: the over screen's Start screen, with no reload, where any key is
    # two players again, and Play alone is there too.
    b.evaluate("window.kept = true")
    over = b.evaluate("return document.getElementById('over').innerText")
    assert "Play again" in over and "Start screen" in over, over
    b.click("#over-home")
    game.wait("return brelvo.state === 'gate' && !document.getElementById('gate').hidden && "
              "window.kept", "the start screen after a match alone")
    b.press("x")
    game.wait("return brelvo.state === 'running' && brelvo.game.frames > 0", "two players")
    started = b.evaluate("return [brelvo.mode, given[given.length - 1]]")
    assert started == ["two", {"arguments": []}], started
    home([0, 0])
    b.press("ArrowLeft")
    game.until(lambda: game.lit().get((5, 4)) == BLUE, "player 1 on the arrows again")
    b.press("Escape")
    game.wait("return brelvo.state === 'over'", "the end of two players")


# An invite whose servers come late (ice-servers.json held back a while), and every
# connection the page makes.
SLOW_INVITE = """window.made = [];
const Connection = window.RTCPeerConnection, fetched = window.fetch;
window.RTCPeerConnection = function (config) {
  const made = new Connection(config);
  window.made.push(made);
  return made;
};
window.fetch = (what, options) => String(what).includes('ice-servers') ?
  new Promise((resolve) => setTimeout(resolve, 800)).then(() => fetched(what, options)) :
  fetched(what, options);"""


def scenario_invite_on_this_device(game):
    """The gate's Invite a friend, where the browser has WebRTC: the invite link, its QR
    code, the warning that 127.0.0.1 is this device's alone, a stand-in share, keys typed
    into the Reply field kept there, and replies refused. Without WebRTC, no invite, and
    an invite link says so."""
    b = game.b
    game.open("navigator.share = (what) => { window.shared = what; return Promise.resolve(); };")
    if not b.evaluate("return typeof RTCPeerConnection === 'function'"):
        assert b.evaluate("return document.getElementById('invite').hidden")
        game.open(path="#AQBXeR2S4apKSLaqCKUo1LZ76ZGJ7aX036Yj")
        said = b.evaluate("return [document.getElementById('joining-message').textContent,"
                          " document.getElementById('join').hidden, brelvo.state]")
        assert said == ["This browser cannot play with a friend elsewhere.", True, "joining"], said
        b.press("Enter")  # a key on that page starts nothing
        assert b.evaluate("return brelvo.state") == "joining"
        return
    b.press("Tab", "Tab", "Tab")
    assert b.evaluate("return document.activeElement.textContent") == "Invite a friend"
    b.press("Enter")
    link = game.wait("return document.getElementById('invite-link').value", "the invite")
    assert link.startswith(game.page.url + "#") and len(link) < 400, link
    shown = b.evaluate("""const q = (s) => document.querySelector(s);
        return [q('#invite-code svg').getAttribute('aria-label'), q('#local-warning').hidden,
                q('label[for=invite-link]').textContent, q('#share-invite').hidden, brelvo.state]""")
    assert shown == ["QR code of the invite link", False, "Invite link", False, "inviting"], shown
    if b.name == "chromium":
        b.screenshot(os.path.join(ROOT, "build", "invite.png"))
    b.click("#share-invite")
    assert game.wait("return window.shared && window.shared.url", "the share") == link
    # The Reply field keeps its keys; a wrong reply and one to another invite are refused.
    b.click("#reply")
    b.press("d", "w", "ArrowLeft", "Enter")
    assert b.evaluate("return [document.getElementById('reply').value, brelvo.state, "
                      "!!brelvo.game]") == ["dw", "inviting", False]
    status = "return document.getElementById('status').textContent"
    assert b.evaluate(status).startswith("This is not a reply link"), b.evaluate(status)
    # An answer is any reply's shape: the invite's own offer, packed as one.
    b.evaluate("const r = brelvoLink.unpack(%s.split('#')[1].split('.')[0]); r.type = 'answer';"
               "document.getElementById('reply').value = location.href + '#' +"
               " brelvoLink.pack(r) + '.zzzz'" % json.dumps(link))
    b.click("#connect")
    assert b.evaluate(status) == "This invite is already used."
    b.click("#cancel")
    assert b.evaluate("return brelvo.state") == "gate"
    # Back while the invite is still being made: it is given up, whenever its servers come.
    b.evaluate(SLOW_INVITE)
    b.click("#invite")
    game.wait("return brelvo.state === 'inviting'", "another invite")
    b.click("#cancel")
    assert b.evaluate("return brelvo.state") == "gate"
    alive = ("return document.getElementById('invite-link').value || "
             "made.filter((c) => c.signalingState !== 'closed').length")
    assert not poll(lambda: b.evaluate(alive), 4), "an invite lives on behind the start screen"
    assert b.evaluate("return [brelvo.state, document.getElementById('gate').hidden, "
                      "document.getElementById('link').hidden]") == ["gate", False, True]


SCENARIOS = [scenario_a_whole_match, scenario_resize_keys_and_esc,
             scenario_failures_say_why_and_mend, scenario_offline, scenario_a_new_version_replaces_the_old,
             scenario_two_copies_on_one_site,
             scenario_two_fingers_on_a_phone, scenario_a_tablet_on_its_side, scenario_gamepads,
             scenario_alone, scenario_invite_on_this_device]


def sound_server():
    """A PulseAudio of the tests' own (tests/pulse.sh), for the engines that play through
    one; returns its client settings and a way to stop it."""
    link = os.path.join(tempfile.mkdtemp(prefix="brelvo-web-"), "pulse")
    script = os.path.join(ROOT, "tests", "pulse.sh")
    subprocess.run([script, "start", link], check=True)
    folder = os.readlink(link)
    env = {"PULSE_SERVER": "unix:%s/native" % folder,
           "PULSE_CLIENTCONFIG": "%s/client.conf" % folder,
           "PULSE_COOKIE": "%s/.config/pulse/cookie" % folder}
    return env, lambda: subprocess.run([script, "stop", link], check=False)


def main():
    folder = os.path.abspath(sys.argv[1])
    engines = sys.argv[2:] or ENGINES
    named = os.environ.get("BRELVO_SCENARIOS")
    scenarios = [s for s in SCENARIOS if not named or
                 s.__name__[len("scenario_"):] in named.split(",")]
    if not scenarios:
        sys.exit("no scenario named " + named)
    env, stop_sound = sound_server()
    failures = 0
    try:
        for engine in engines:
            started = time.monotonic()
            passed = 0
            with browsers.launch(engine, env=env, width=900, height=700) as b:
                for scenario in scenarios:
                    game = Game(b, Page(folder, ice_servers=b"[]"))
                    name = scenario.__name__[len("scenario_"):]
                    began = time.monotonic()
                    try:
                        scenario(game)
                        # Firefox says so of an invite's ICE, which with loopback alone
                        # has nothing to gather; Chromium, of the brokers' list asked for
                        # by an invite made offline (never kept: read afresh).
                        errors = [e for e in b.console_errors() if "WebRTC: ICE failed" not in e
                                  and "/rendezvous.json - Failed to load" not in e]
                        assert not errors, "console errors: %s" % errors
                        passed += 1
                        print("%s: %s ok (%.1f s)" % (engine, name, time.monotonic() - began))
                    except Exception as error:  # one scenario's failure is reported, the rest run
                        failures += 1
                        print("%s: %s FAILED: %s" % (engine, name, error))
                    finally:
                        game.page.stop()
            print("== %s: %d of %d scenarios passed in %.0f s ==" % (
                engine, passed, len(scenarios), time.monotonic() - started))
    finally:
        stop_sound()
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    # A network of its own with loopback alone: whatever a browser does (the page's invite
    # gathers candidates) stays on this machine.
    browsers.own_network()
    main()
