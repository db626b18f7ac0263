#!/usr/bin/python3
"""Play with a friend elsewhere: two real browsers, a host and a guest, each in a network of
its own, joined by the page's invite and reply links, or by the invite alone through the
rendezvous, and playing one match on two screens.
   remote_test.py PAGE_DIR          (BRELVO_SCENARIOS=direct,turn runs only those)
The test makes its network (network.py): its own namespace is the router, which serves the
page, runs a TURN server (Debian's coturn) and a slow way to it, and an MQTT broker
(Debian's mosquitto, over WebSocket for the pages); the host's and the guest's namespaces
hang on it by veth pairs. The TURN server runs with the lines docs/hosting.md gives a host, its relays
on an address of its own outside the private ranges those lines deny. Nothing leaves the
machine. The browsers' drivers stay here.
As root, or in a user namespace of the test's own."""
import contextlib
import json
import os
import re
import secrets
import shutil
import sys
import tempfile
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browsers  # noqa: E402
from network import (DEAD, LIVE, OFF_LIST, RELAY, SIDES, Network, Site, Spy,  # noqa: E402
                     TurnClient)
from test_page import (BLUE, RED, TEST_PADS, WHITE, Game, Pads, poll,  # noqa: E402
                       sound_server)


def check_private_peers_refused(site):
    """The docs' lines make the TURN server refuse a peer in a private range, the players'
    own networks included, and let a relay reach another relay."""
    client = TurnClient("brelvo", site.password)
    try:
        private = ["10.77.%d.2" % n for n in SIDES.values()] + [
            "10.0.0.1", "127.0.0.1", "172.16.5.4", "192.168.1.20", "169.254.1.1", "100.64.0.1",
            "0.1.2.3"]
        answers = {address: client.permit(address) for address in private + [RELAY]}
    finally:
        client.close()
    assert answers == dict({a: 403 for a in private}, **{RELAY: 200}), answers
    print("  the TURN server refused %d private peers and let a relay reach a relay"
          % len(private))


# The countdown as each page shows it, step by step.
WATCH_COUNT = """window.counted = [];
const count = document.getElementById('count');
new MutationObserver(() => {
  if (!count.hidden && count.textContent !== counted[counted.length - 1])
    counted.push(count.textContent);
}).observe(count, {attributes: true, childList: true, characterData: true, subtree: true});"""

# A second guest in the guest's browser, answering the invite with all its candidates.
ROGUE_PEER = """const invite = %s;
fetch('ice-servers.json').then((r) => r.json()).then(async (servers) => {
  const pc = new RTCPeerConnection({iceServers: servers});
  window.rogue = {opened: false, state: null};
  pc.ondatachannel = (e) => { e.channel.onopen = () => { rogue.opened = true; }; };
  await pc.setRemoteDescription(brelvoLink.unpack(invite));
  await pc.setLocalDescription(await pc.createAnswer());
  setTimeout(() => { rogue.state = pc.connectionState; pc.close(); }, 4000);
});"""

# What the host must refuse from the guest, one of each; then thousands a second for 2 s.
ROGUE = """const channel = brelvo.remote.channel;
['{"k":"nope"}', '{"k":"key","key":"left"', '{"k":"key","key":"w","d":1}',
 '{"k":"key","key":"Escape","d":1}', '[1]', '{"k":"key","key":"left","d":1,"x":"' +
 'x'.repeat(300) + '"}'].forEach((m) => channel.send(m));
channel.send(new Uint8Array([1, 2, 3]));
return 7;"""
ROGUE_HOST = """const r = brelvo.remote;
r.channel.send('{"k":"play","c":99,"p":"strike0","l":0,"t":-1,"g":128}');
r.channel.send('{"k":"play","c":1,"p":"strike9","l":0,"t":-1,"g":128}');
r.channel.send('{"k":"key","key":"up","d":1}');
r.frameChannel.send(new Uint8Array(20));
const frame = new Uint8Array(13 + 3 + 99); frame[0] = 1; frame[12] = 1; frame[20] = 5;
r.frameChannel.send(frame);"""
# The page out of view and back, as a browser tells it.
HIDE_AND_SHOW = """Object.defineProperty(document, 'hidden', {configurable: true, get: () => true});
document.dispatchEvent(new Event('visibilitychange'));
delete document.hidden;
setTimeout(() => document.dispatchEvent(new Event('visibilitychange')), 300);"""
FLOOD = """window.flooded = null;
const channel = brelvo.remote.channel, began = performance.now();
let n = 0;
const flood = setInterval(() => {
  for (let i = 0; i < 40; i++, n++) channel.send('{"k":"key","key":"up","d":2}');
  if (performance.now() - began > 2000) { clearInterval(flood); flooded = n; }
}, 10);"""


# The guest presses `key`: how long until its page draws player 1's blade at (x, y), in
# the same task as the key, where no frame from the host can come; null if it does not.
OWN_MOVE = """
  const canvas = document.getElementById('game'), g = canvas.getContext('2d');
  const w = canvas.width, h = canvas.height, s = Math.min(Math.trunc(w / 11), Math.trunc(h / 9));
  const x0 = Math.trunc((w - 9 * s) / 2), y0 = Math.trunc((h - 9 * s) / 2);
  const sent = performance.now();
  for (const type of ['keydown', 'keyup'])
    window.dispatchEvent(new KeyboardEvent(type, {key: '%s', bubbles: true}));
  const p = g.getImageData(x0 + %d * s + (s >> 1), y0 + %d * s + (s >> 1), 1, 1).data;
  return p[2] > 200 && p[0] < 50 ? performance.now() - sent : null;
"""


def text(b, selector):
    return b.evaluate("const e = document.querySelector(%s); return e && e.textContent"
                      % json.dumps(selector))


def cells(red, blue):
    """The grid with each fighter as (body, blade)."""
    return {red[0]: WHITE, red[1]: RED, blue[0]: WHITE, blue[1]: BLUE}


def connect(host, guest, way="field", waited=None):
    """The host invites; the guest opens the invite link, joins and replies; the reply is
    typed into the host's Reply field, opened in a new tab of the host's browser ("tab"),
    or in the waiting tab itself ("address"). Both count down to a running match. Returns
    the invite link and the reply link; `waited` gets the seconds each link took."""
    h, g, url = host.b, guest.b, host.page.url
    waited = {} if waited is None else waited
    host.open()
    h.click("#invite")
    began = time.monotonic()
    host.wait("return brelvo.state === 'inviting' && !document.getElementById('host').hidden",
              "the invite panel")
    host.wait("return brelvo.state === 'inviting' && "
              "document.getElementById('invite-link').value", "the invite", 15)
    waited["invite"] = time.monotonic() - began
    link = h.evaluate("return document.getElementById('invite-link').value")
    assert link.startswith(url + "#"), link
    assert "QR code" in h.evaluate("return document.querySelector('#invite-code svg')"
                                   ".getAttribute('aria-label')")
    g.open("about:blank")  # the invite loads the page afresh, as in a new tab
    guest.open(path=link[len(url):])
    g.evaluate(WATCH_COUNT)
    g.click("#join")
    began = time.monotonic()
    guest.wait("return brelvo.state === 'connecting' && "
               "document.getElementById('reply-link').value", "the reply", 15)
    waited["reply"] = time.monotonic() - began
    reply = g.evaluate("return document.getElementById('reply-link').value")
    offer = link.split("#")[1].split(".")[0]  # then the rendezvous's secret
    assert reply.startswith(url + "#") and reply[-5:] == "." + offer[-4:], (link, reply)
    h.evaluate(WATCH_COUNT)
    if way == "tab":
        waiting = h.tab(reply)
        said = Game.until(lambda: text(h, "#handoff-message"), "the handed reply's words")
        assert "go back" in said, said
        h.use(waiting)
    elif way == "address":
        h.open(reply)  # only the fragment changes: the invite must survive it
        host.wait("return location.hash === '' && brelvo.state !== 'inviting'",
                  "the reply taken in the invite's own tab")
    else:
        h.click("#reply")
        h.press(*reply)
        typed = h.evaluate("return [document.getElementById('reply').value, brelvo.state]")
        assert typed == [reply, "inviting"], typed
        h.click("#connect")
    for side in (host, guest):
        side.wait("return brelvo.state === 'running'", "the match on both pages", 30)
        shown = side.b.evaluate("return [counted, document.getElementById('status')"
                                ".textContent, document.getElementById('rtt').textContent]")
        assert shown[:2] == [["3", "2", "1"], "Connected"], shown
        assert shown[2].endswith(" ms") and shown[2][:-3].isdigit(), shown
    return link, reply


class Duel:
    """A remote match watched from both pages: each press checked on the host's grid, then
    on the guest's, which must be the same, score columns included. Exact: every press is
    pressed once, after the last move showed, and must move its fighter once."""

    def __init__(self, host, guest, exact=False, real=False):
        self.host, self.guest, self.exact, self.real = host, guest, exact, real
        self.last = {}
        self.pressed = 0  # by the guest, counted

    def same(self, what):
        Game.until(lambda: self.guest.grid()["rows"] == self.host.grid()["rows"],
                   "the guest's grid as the host's, " + what, 5)

    def press(self, side, key, want=None):
        """`side` presses `key`; the host's grid then shows `want` (None: a point ends)."""
        time.sleep(max(0, self.last.get(side, 0) + 0.08 - time.monotonic()))
        before = self.host.lit()

        def moved():
            now = self.host.lit()
            return now != before and (want is None or now == want or self.exact) and [now]
        for _ in range(2):  # a press the game's re-arm refused is pressed again
            side.b.press(key) if self.real else side.b.evaluate(Game.send(key))
            self.last[side] = time.monotonic()
            self.pressed += side is self.guest
            if self.exact or poll(moved, 1):
                break
        after = Game.until(moved, "a move after %s from %s" % (key, before))[0]
        assert want is None or after == want, "%s moved to %s, not %s" % (key, after, want)
        if want:
            self.same("after " + key)

    def point(self, winner, turn, walk, scores):
        """A round that `winner` (0 red, 1 blue) takes: the other turns its blade up, the
        winner walks into its body by its keys `walk`, in turn."""
        sides = (self.host, self.guest)
        fighters = [((1, 4), (2, 4)), ((7, 4), (6, 4))]
        body = fighters[1 - winner][0]
        fighters[1 - winner] = (body, (body[0], 3))
        self.press(sides[1 - winner], turn, cells(*fighters))
        way = 1 if winner == 0 else -1
        for n in range(1, 5):
            (x, _), (tip, _) = fighters[winner]
            fighters[winner] = ((x + way, 4), (tip + way, 4))
            self.press(sides[winner], walk[n % len(walk)], cells(*fighters))
        self.press(sides[winner], walk[0])
        if scores[winner] < 9:
            self.host.round_start(scores)
            self.same("at %s" % scores)

    def match(self, plan, scores):
        """Rounds from `scores` to the end of the match by `plan`, [(winner, turn, walk)...];
        then the same end on both pages, the same sounds played in the same order."""
        for winner, turn, walk in plan:
            scores[winner] += 1
            self.point(winner, turn, walk, list(scores))
        assert max(scores) == 9, scores
        for side in (self.host, self.guest):
            side.wait("return brelvo.state === 'over' && !document.getElementById('over')"
                      ".hidden", "the end of the match", 15)
        assert self.host.scores() == scores and len(self.host.lit()) == 81
        self.same("at the end")

        # What was played, not when, nor what it cut short, which the way's delay changes.
        def heard(side):
            return [{k: e.get(k) for k in ("play", "halt", "clip", "channel", "loops", "gain")}
                    for e in side.log()]
        if not poll(lambda: heard(self.guest) == heard(self.host), 5):
            there, here = heard(self.guest), heard(self.host)
            n = next((n for n, (a, b) in enumerate(zip(there, here)) if a != b),
                     min(len(there), len(here)))
            raise AssertionError("the guest's sound %d of %d differs from the host's (of %d):"
                                 " %s, not %s" % (n, len(there), len(here),
                                                  there[n - 1:n + 2], here[n - 1:n + 2]))
        print("  %d sounds, the same on both pages" % len(heard(self.host)))


RED_POINT, BLUE_POINT = (0, "ArrowUp", ("d", "ArrowRight")), (1, "w", ("ArrowLeft", "a"))
RED_POINT_TOO, BLUE_POINT_TOO = (0, "w", ("ArrowRight",)), (1, "ArrowUp", ("a",))


def scenario_direct(net, site, host, guest):
    """Chromium hosts, Firefox joins, each straight to the other: the reply typed into the
    host's field; a second guest and a guest's rogue messages change nothing; a whole
    match from both sides; Play again, and the guest's Esc gives player 1 back to the
    host's arrows."""
    h, g = host.b, guest.b
    link, _ = connect(host, guest)
    slowed = site.slow.passed
    duel = Duel(host, guest)
    host.round_start([0, 0])
    duel.same("at the start")
    g.evaluate(ROGUE_PEER % json.dumps(link.split("#")[1].split(".")[0]))
    duel.press(host, "d", cells(((2, 4), (3, 4)), ((7, 4), (6, 4))))
    duel.press(guest, "ArrowLeft", cells(((2, 4), (3, 4)), ((6, 4), (5, 4))))

    dropped = h.evaluate("return brelvo.remote.dropped")
    before = host.lit()
    sent = g.evaluate(ROGUE)
    host.wait("return brelvo.remote.dropped >= %d" % (dropped + sent), "the rogue messages")
    assert host.lit() == before and h.evaluate("return brelvo.state") == "running"
    # A flood, while the host's player turns its blade twice, seen on both pages.
    dropped, frames = h.evaluate("return [brelvo.remote.dropped, brelvo.game.frames]")
    shown = g.evaluate("return brelvo.remote.frames.shown")
    g.evaluate(FLOOD)
    duel.press(host, "w", cells(((2, 4), (2, 3)), ((6, 4), (5, 4))))
    duel.press(host, "s", cells(((2, 4), (2, 5)), ((6, 4), (5, 4))))
    flooded = guest.wait("return flooded", "the end of the flood")
    assert flooded > 4000, flooded
    host.wait("return brelvo.remote.dropped >= %d" % (dropped + flooded), "the flood dropped")
    state = h.evaluate("return [brelvo.remote.dropped - %d, brelvo.game.frames - %d, "
                       "brelvo.state]" % (dropped, frames))
    assert state[0] <= flooded + 5 and state[1] >= 2 and state[2] == "running", state
    assert g.evaluate("return brelvo.remote.frames.shown") >= shown + 2
    # The guest's keys play on once the flood's second is over (the host takes so many a
    # second), one sent by hand as the page sends it.
    time.sleep(1.1)
    g.evaluate("""for (const d of [1, 0])
                    brelvo.remote.channel.send(JSON.stringify({k: 'key', key: 'left', d: d, n: 0, t: 0}));""")
    host.wait_lit(cells(((2, 4), (2, 5)), ((5, 4), (4, 4))), "a step sent by hand")
    rogue = guest.wait("return rogue.state && rogue", "the second guest's end")
    assert rogue == {"opened": False, "state": rogue["state"]} and rogue["state"] != "connected"
    assert h.evaluate("return brelvo.remote.open"), "the second guest"
    duel.last = {}
    duel.press(guest, "a", cells(((2, 4), (2, 5)), ((4, 4), (3, 4))))
    duel.press(guest, "ArrowLeft")
    host.round_start([0, 1])

    duel.match([RED_POINT, BLUE_POINT, RED_POINT_TOO, BLUE_POINT_TOO, RED_POINT] +
               [BLUE_POINT, BLUE_POINT_TOO] * 3, [0, 1])
    # Some to keep the TURN server's allocations; the match itself went straight.
    slowed = site.slow.passed - slowed
    print("  %d datagrams by the TURN server's way; the second guest: %s" % (slowed, rogue))
    assert slowed < 100, "the match went through the TURN server"
    # Either page out of view and back starts nothing: only Play again does.
    for side in (host, guest):
        side.b.evaluate(HIDE_AND_SHOW)
    time.sleep(2.5)
    for side in (host, guest):
        shown = side.b.evaluate("return [brelvo.state, counted]")
        assert shown == ["over", ["3", "2", "1"]], "a match without Play again: %s" % shown
    for side in (host, guest):
        side.b.evaluate("counted.length = 0")
    rematch(host, guest)
    host.round_start([0, 0])
    g.press("Escape")
    left = time.monotonic()
    host.wait("return document.getElementById('status').textContent === 'Your friend left.'",
              "the host told", 5)
    print("  the host saw its friend leave in %.1f s" % (time.monotonic() - left))
    assert text(g, "#ended-message") == "You left the match."
    host.b.evaluate(Game.send("ArrowLeft"))
    host.wait_lit(cells(((1, 4), (2, 4)), ((6, 4), (5, 4))), "player 1 on the host's arrows")
    h.press("Escape")
    host.wait("return brelvo.state === 'over'", "the end")
    never_stuck(net, host, guest)


def rematch(first, second):
    """Another match, asked for by `first`'s Play again, then by `second`'s: until both
    have, neither page counts down, and each says what the other did."""
    asked = "return [brelvo.state, counted.length, document.getElementById('over-asked')" \
        ".hidden ? '' : document.getElementById('over-asked').textContent]"
    first.b.click("#again")
    second.wait(asked + "[2] === 'Your friend wants another match: Play again to start it.'",
                "the friend's wish told")
    time.sleep(1)
    for side, says in ((first, "Waiting for your friend to play again."),
                       (second, "Your friend wants another match: Play again to start it.")):
        shown = side.b.evaluate(asked)
        assert shown == ["over", 0, says], "before both asked: %s" % shown
    second.b.click("#again")
    for side in (first, second):
        side.wait("return brelvo.state === 'running' && counted.join() === '3,2,1'",
                  "another match after a countdown", 15)


def never_stuck(net, host, guest):
    """After a friend left, neither page needs a reload: the guest's Start screen and a
    match of two players there; the host's Start screen and a new invite; a guest who
    leaves while connecting hears no more of it; a guest whose connection failed tries
    again and plays."""
    h, g, url = host.b, guest.b, host.page.url
    for side in (host, guest):
        side.b.evaluate("window.kept = true")
    assert not h.evaluate("return document.getElementById('over-home').hidden")
    g.click("#home")
    guest.wait("return brelvo.state === 'gate' && !document.getElementById('gate').hidden"
               " && window.kept", "the guest's start screen, with no reload")
    g.press("x")  # any key starts two players, as on the first start screen
    guest.wait("return brelvo.state === 'running' && brelvo.mode === 'two' && "
               "brelvo.game.frames > 0", "two players on the guest's device")
    guest.round_start([0, 0])
    g.press("ArrowLeft")
    guest.wait_lit(cells(((1, 4), (2, 4)), ((6, 4), (5, 4))), "player 1 on the arrows there")
    g.press("Escape")
    guest.wait("return brelvo.state === 'over'", "the end of that match")

    h.click("#over-home")
    host.wait("return brelvo.state === 'gate' && window.kept", "the host's start screen")
    h.click("#invite")
    host.wait("return brelvo.state === 'inviting' && "
              "document.getElementById('invite-link').value", "a new invite", 15)
    link = h.evaluate("return document.getElementById('invite-link').value")

    def unreachable():
        """The invite opened and joined with the guest's link cut once the page has its
        game: its connection is made, and cannot be."""
        g.open("about:blank")
        guest.open(path=link[len(url):])
        guest.wait("return performance.getEntriesByType('resource').some((e) =>"
                   " e.name.endsWith('brelvo.wasm') && e.responseEnd > 0)", "the game's file")
        net.link("guest", False)
        g.click("#join")
        guest.wait("return brelvo.state === 'connecting' && "
                   "document.getElementById('reply-link').value", "the reply", 15)
    # The guest leaves while the connection is made: "You left the match." stays.
    try:
        unreachable()
    finally:
        net.link("guest", True)
    g.press("Escape")
    guest.wait("return brelvo.state === 'left'", "the guest's leaving")
    time.sleep(21)
    shown = g.evaluate("return [brelvo.state, document.getElementById('ended-message')"
                       ".textContent, document.getElementById('status').textContent]")
    assert shown[:2] == ["left", "You left the match."] and \
        not shown[2].startswith("Could not"), shown
    # The guest's connection fails, and Try again joins again and plays.
    try:
        unreachable()
        guest.wait("return brelvo.state === 'failed' && document.getElementById('message')"
                   ".textContent.startsWith('Could not connect')", "the failure to connect", 25)
    finally:
        net.link("guest", True)
    g.click("#retry")
    guest.wait("return brelvo.state === 'joining' && !document.getElementById('join').disabled",
               "the invite again")
    g.evaluate(WATCH_COUNT)
    g.click("#join")
    guest.wait("return brelvo.state === 'connecting' && "
               "document.getElementById('reply-link').value", "another reply", 15)
    again = g.evaluate("return document.getElementById('reply-link').value")
    h.evaluate(WATCH_COUNT)
    h.evaluate("document.getElementById('reply').value = %s" % json.dumps(again))
    h.click("#connect")
    for side in (host, guest):
        side.wait("return brelvo.state === 'running' && counted.join() === '3,2,1'",
                  "a match after Try again", 30)
    # The guest asks for another match first; then, that one over, its Start screen: the
    # host is told at once.
    h.press("Escape")
    guest.wait("return brelvo.state === 'over'", "the end on the guest's page")
    for side in (host, guest):
        side.b.evaluate("counted.length = 0")
    rematch(guest, host)
    h.press("Escape")
    guest.wait("return brelvo.state === 'over'", "the end of the rematch on the guest's page")
    g.click("#over-home")
    host.wait("return document.getElementById('status').textContent === 'Your friend left.'",
              "the host told of the guest's start screen", 2)
    guest.wait("return brelvo.state === 'gate'", "the guest's start screen")


def scenario_wifi(net, site, host, guest):
    """Two devices on one Wi-Fi with no internet: the page's ice-servers.json as shipped,
    whose STUN server nothing here reaches. Each link waits for it no longer than the
    page's 3 s; the match then runs straight between the two devices, both ways."""
    site.page.handler.ice_servers, kept = None, site.page.handler.ice_servers
    try:
        with open(os.path.join(site.page.folder, "ice-servers.json")) as f:
            shipped = json.load(f)
        assert [s["urls"] for s in shipped] == ["stun:stun.l.google.com:19302"], shipped
        slowed, waited = site.slow.passed, {}
        connect(host, guest, waited=waited)
        print("  with the shipped STUN server out of reach: the invite took %.1f s, the "
              "reply %.1f s" % (waited["invite"], waited["reply"]))
        assert max(waited.values()) < 4.5, waited
        duel = Duel(host, guest)
        host.round_start([0, 0])
        duel.press(host, "d", cells(((2, 4), (3, 4)), ((7, 4), (6, 4))))
        duel.press(guest, "ArrowLeft", cells(((2, 4), (3, 4)), ((6, 4), (5, 4))))
        assert site.slow.passed == slowed, "a TURN server was used"
        host.b.press("Escape")
        for side in (host, guest):
            side.wait("return brelvo.state === 'over'", "the end on both devices")
    finally:
        site.page.handler.ice_servers = kept


def scenario_turn(net, site, host, guest):
    """The TURN server as the docs configure it refuses private peers; through it alone,
    its way slow and lossy, the reply pasted into the address of the invite's own tab: the
    guest's own turns shown at once, and a whole match in which every press of the guest
    moves its fighter once, held twice while the guest's link is down."""
    check_private_peers_refused(site)
    net.forwarding(False)
    try:
        passed = site.slow.passed
        connect(host, guest, way="address")
        duel = Duel(host, guest, exact=True)
        host.round_start([0, 0])
        duel.same("at the start")
        # The guest's own turn shows on its page with its key, before the host has heard
        # of it; the host's frame then shows the same.
        own = []
        for key, blade in (("ArrowUp", (7, 3)), ("ArrowLeft", (6, 4))):
            own.append(guest.b.evaluate(OWN_MOVE % ((key,) + blade)))
            host.wait_lit(cells(((1, 4), (2, 4)), ((7, 4), blade)), "the guest's turn, hosted")
            duel.same("after the guest's own turn")
            time.sleep(0.1)
        print("  the guest's own turns drawn %s ms after its keys" % own)
        assert None not in own, own
        # Two presses at once: the second, inside the re-arm, is not foreseen. The host may
        # yet take it, the way having spread them; its frame stands, whichever it is.
        guest.b.evaluate(Game.send("ArrowDown") + Game.send("ArrowUp"))
        lit = guest.lit()
        assert lit == cells(((1, 4), (2, 4)), ((7, 4), (7, 5))), "foreseen: %s" % lit
        guest.wait("return brelvo.remote.taken === brelvo.remote.pressed", "both taken")
        duel.same("after a press inside the re-arm")
        time.sleep(0.1)
        guest.b.evaluate(Game.send("ArrowLeft"))
        host.wait_lit(cells(((1, 4), (2, 4)), ((7, 4), (6, 4))), "the guest's blade left again")
        plan, scores = [BLUE_POINT, BLUE_POINT_TOO] * 4 + [BLUE_POINT], [0, 0]
        for blackout, points in ((5, plan[:3]), (15, plan[3:6])):
            for winner, turn, walk in points:
                scores[winner] += 1
                duel.point(winner, turn, walk, list(scores))
            held(duel, scores, "the guest's link down %d s" % blackout,
                 lambda: net.link("guest", False), lambda: net.link("guest", True), blackout)
        duel.match(plan[6:], scores)
        rtt = host.b.evaluate("return brelvo.remote.rtt")
        print("  %d presses of the guest, each one move; %d datagrams slowed, %d lost; "
              "round trip %s ms" % (duel.pressed, site.slow.passed - passed,
                                    site.slow.lost, rtt))
        assert duel.pressed == 45 and site.slow.passed - passed > 100 and rtt >= 20
    finally:
        net.link("guest", True)
        net.forwarding(True)


STATUS = "return [brelvo.state, document.getElementById('status').textContent]"


# What each page's status line says, line by line, with the page's state and the time
# then, and what shows over the grid.
WATCH_STATUS = """window.said = [];
const status = document.getElementById('status'), over = document.getElementById('hold');
new MutationObserver(() => said.push([status.textContent, brelvo.state, performance.now(),
                                      over.hidden ? '' : over.textContent]))
  .observe(status, {childList: true, characterData: true, subtree: true});"""


# How long after the cut the page held the match, saying so over the grid too (ms).
HELD = ("return (said.find(([s, state, _, over]) => s === 'Reconnecting…' && state === 'held' &&"
        " over === s) || [])[2] - cutAt")


def held(duel, scores, what, cut, back=None, seconds=0):
    """The link cut by `cut()` (and `back()` after `seconds`) mid-round: both pages say
    "Reconnecting…" and hold the match, a press on either counts on neither; the link
    back, both count down and the match goes on at its score. How long each page took to
    hold, host's and guest's (s)."""
    host, guest = duel.host, duel.guest
    for side in (host, guest):
        side.b.evaluate("counted.length = 0; window.cutAt = performance.now(); " + WATCH_STATUS)
    before = host.lit()
    cut()
    began = time.monotonic()
    try:
        host.wait(HELD + " > 0", "the match held", 6)
        host.b.evaluate(Game.send("d"))
        guest.b.evaluate(Game.send("ArrowLeft"))
        guest.wait(HELD + " > 0", "the match held for the guest too", 6)
        noticed = [side.b.evaluate(HELD) / 1000 for side in (host, guest)]
        time.sleep(max(0, seconds - (time.monotonic() - began)))
    finally:
        if back:
            back()
    for side in (host, guest):
        side.wait("return brelvo.state === 'running' && counted.join() === '3,2,1'",
                  "the held match going on", 30)
    print("  %s: held after %.1f s (host), %.1f s (guest), going on %.1f s after the cut"
          % (what, noticed[0], noticed[1], time.monotonic() - began))
    assert host.lit() == before and host.scores() == scores, "a press counted while held"
    duel.same("after " + what)
    return noticed


def scenario_handoff(net, site, host, guest):
    """Firefox hosts, Chromium joins, no broker reachable: the reply link shows after a
    while and is opened in a new tab of the host's browser, which sends the player back;
    real keys each way; a second guest changes nothing and the reply again says the
    invite is used; then the host's link is cut."""
    h, g = host.b, guest.b
    site.page.brokers[:] = [DEAD]
    try:
        link, _ = connect(host, guest, way="tab")
    finally:
        site.page.brokers[:] = []
    told = [side.b.evaluate("return brelvo.remote.rendezvous") for side in (host, guest)]
    assert told[0]["replyBy"] == "link" and [t["brokers"] for t in told] == [1, 1] and \
        [t["live"] for t in told] == [0, 0], told
    duel = Duel(host, guest, real=True)
    host.round_start([0, 0])
    duel.same("at the start")
    g.evaluate(ROGUE_PEER % json.dumps(link.split("#")[1].split(".")[0]))
    duel.press(host, "d", cells(((2, 4), (3, 4)), ((7, 4), (6, 4))))
    duel.press(guest, "ArrowLeft", cells(((2, 4), (3, 4)), ((6, 4), (5, 4))))
    duel.press(host, "ArrowUp", cells(((2, 4), (2, 3)), ((6, 4), (5, 4))))
    duel.press(guest, "s", cells(((2, 4), (2, 3)), ((6, 4), (6, 5))))
    reply = g.evaluate("return document.getElementById('reply-link').value")
    playing = h.tab(reply)
    said = Game.until(lambda: text(h, "#handoff-message"), "the second reply's words")
    assert said == "This invite is already used.", said
    h.use(playing)
    duel.press(guest, "a", cells(((2, 4), (2, 3)), ((6, 4), (5, 4))))
    # The guest's gamepad plays player 1 as its keys do: its d-pad turns the blade down,
    # then its stick up.
    g.evaluate(TEST_PADS)
    pads = Pads(guest)
    pad = pads.add()
    pads.set(pad, buttons=[0], up=[0])
    time.sleep(0.08)
    pads.set(pad, buttons=[13])
    host.wait_lit(cells(((2, 4), (2, 3)), ((6, 4), (6, 5))), "the guest's d-pad down")
    pads.set(pad, up=[13])
    time.sleep(0.08)
    pads.set(pad, axes=[(1, -0.9)])
    host.wait_lit(cells(((2, 4), (2, 3)), ((6, 4), (6, 3))), "the guest's stick up")
    pads.set(pad, axes=[(1, 0)])
    duel.same("after the guest's pad")
    # A host whose window is too narrow to show a cell still sends its friend every frame,
    # as the game composed it.
    h.evaluate("document.getElementById('game').style.width = '8px'")
    host.wait("return document.getElementById('game').width === 8", "the host's narrow window")
    h.evaluate(Game.send("d"))
    guest.wait_lit(cells(((2, 4), (3, 4)), ((6, 4), (6, 3))), "a frame of a host 8 px wide")
    h.evaluate("document.getElementById('game').style.width = ''")
    host.wait_lit(cells(((2, 4), (3, 4)), ((6, 4), (6, 3))), "the host's window back")
    rogue = guest.wait("return rogue.state && rogue", "the second guest's end")
    assert not rogue["opened"] and rogue["state"] != "connected", rogue
    assert h.evaluate("return brelvo.remote.open"), "the second guest"
    # The guest checks what the host sends alike: a channel or a clip it has not, a
    # frame of the wrong size or with a colour it does not list, a guest's own kind.
    dropped = g.evaluate("return brelvo.remote.dropped")
    h.evaluate(ROGUE_HOST)
    guest.wait("return brelvo.remote.dropped - %d === 5" % dropped, "the host's rogue messages")
    assert g.evaluate("return brelvo.state") == "running"
    # The host's link down for good: both pages hold the match, then after 30 s without a
    # word each has gone for the other; the host's match goes on with two players there.
    net.link("host", False)
    cut = time.monotonic()
    try:
        for side in (host, guest):
            side.wait(STATUS + "[1] === 'Reconnecting…'", "the match held", 6)
        guest.wait(STATUS + "[0] === 'left' && " + STATUS[7:] + "[1] === 'The host left.'",
                   "the guest told", 35)
        host.wait(STATUS + "[1] === 'Your friend left.' && brelvo.mode === 'two' && "
                  "brelvo.state === 'running'", "the host told", 5)
        print("  the host's link cut: both told after %.1f s" % (time.monotonic() - cut))
    finally:
        net.link("host", True)


# A WebSocket from the page to a broker, as the rendezvous opens one: "open" once it is,
# "refused" when the page's policy blocks it, else what happened within 5 s.
SOCKET = """const url = %s;
return new Promise((resolve) => {
  const seen = [];
  document.addEventListener('securitypolicyviolation',
                            (e) => e.blockedURI === url && resolve('refused'));
  setTimeout(() => resolve(seen.join() || 'nothing'), 5000);
  try {
    const ws = new WebSocket(url, 'mqtt');
    ws.onopen = () => { ws.close(); resolve('open'); };
    ws.onerror = () => seen.push('error');
  } catch (error) {
    seen.push(error.name);  // Firefox and WebKit throw as they refuse
  }
});"""
POLICIES = ("return Array.from(document.querySelectorAll('meta[http-equiv="
            "Content-Security-Policy]'), (m) => m.content)")


def only_brokers(side, listed):
    """Once a page has read its brokers' list, its own policy lets it connect to them
    alone: the same broker at another address is refused, the listed one up still opens."""
    policies = side.b.evaluate(POLICIES)
    origins = " ".join(a.split("/")[0] + "//" + a.split("/")[2] for a in listed)
    assert len(policies) == 2 and "connect-src 'self' wss: ws:;" in policies[0] and \
        policies[1] == "connect-src 'self' " + origins, policies
    tried = [side.b.evaluate(SOCKET % json.dumps(a)) for a in (OFF_LIST, LIVE)]
    assert tried == ["refused", "open"], "%s: %s" % (side.b.name, tried)


def join_by_one_link(host, guest, listed):
    """The host invites; the guest opens the invite and joins; both count down to a running
    match, the reply passed by the rendezvous through the brokers `listed`. Returns the
    invite link, the seconds from Join to "Connected" and what the host's page tells of
    its rendezvous."""
    h, g, url = host.b, guest.b, host.page.url
    host.open()
    # Before it has read the list a page may connect to any broker, that one included.
    assert h.evaluate(SOCKET % json.dumps(OFF_LIST)) == "open"
    h.click("#invite")
    host.wait("return brelvo.state === 'inviting' && document.getElementById('invite-link')"
              ".value && brelvo.remote.rendezvous.live > 0", "the invite, heard for", 15)
    link = h.evaluate("return document.getElementById('invite-link').value")
    g.open("about:blank")
    guest.open(path=link[len(url):])
    assert g.evaluate(SOCKET % json.dumps(OFF_LIST)) == "open"
    for side in (host, guest):
        side.b.evaluate(WATCH_COUNT)
    g.click("#join")
    joined = time.monotonic()
    Game.until(lambda: g.evaluate("return document.getElementById('status').textContent") ==
               "Connected", "Connected by the invite alone", 20)
    took = time.monotonic() - joined
    for side in (host, guest):
        side.wait("return brelvo.state === 'running' && counted.join() === '3,2,1'",
                  "the match on both pages", 15)
    assert g.evaluate("return document.getElementById('reply-box').hidden"), "a reply link"
    told = h.evaluate("return brelvo.remote.rendezvous")
    assert told["replyBy"] == "rendezvous" and told["heard"] == 1, told
    for side in (host, guest):
        only_brokers(side, listed)
    return link, took, told


def scenario_one_link(net, site, host, guest):
    """Chromium hosts, Firefox joins by the invite alone, through two brokers of which one
    is down. Someone else on the broker sees only sealed bytes on a topic that is not the
    secret; the same bytes again, a tampered copy and its own junk, sent the moment it
    hears the reply, are dropped: one reply taken, the match plays on, and from then on
    neither page is on the invite's topic. Then the guest's device changes its address: the
    two pages mend their link through the broker, and the match goes on at its score."""
    site.page.brokers[:] = [DEAD, LIVE]
    spy = Spy()
    spy.first = lambda topic, reply: [spy.publish(topic, meddled) for meddled in (
        reply, reply[:30] + bytes([reply[30] ^ 1]) + reply[31:], secrets.token_bytes(80))]
    try:
        link, took, told = join_by_one_link(host, guest, [DEAD, LIVE])
        one_link_played(net, host, guest, link, took, told, spy)
    finally:
        site.page.brokers[:] = []
        spy.close()


def one_link_played(net, host, guest, link, took, told, spy):
    """One link's match, played and mended, the rendezvous watched by `spy`."""
    h = host.b
    assert told["brokers"] == 2 and told["live"] == 1, told
    duel = Duel(host, guest)
    host.round_start([0, 0])
    duel.same("at the start")
    duel.press(guest, "ArrowLeft", cells(((1, 4), (2, 4)), ((6, 4), (5, 4))))
    secret, topic = link.rsplit(".", 1)[1], told["topic"]
    sealed = [payload for t, payload in Game.until(spy.others, "the spy's own back")]
    assert sealed and secret not in topic and [t for t, _ in spy.heard] == [topic] * (
        len(sealed) + 3), spy.heard
    for payload in sealed:  # no text: not the reply link's, not a word of JSON
        assert secret.encode() not in payload and \
            not re.search(rb"[A-Za-z0-9_-]{12}", payload), payload
    # Every message on the topic until the pages were connected reached the host's page
    # too, and only the first counted.
    host.wait("return brelvo.remote.rendezvous.dropped === %d" % (len(sealed) + 2),
              "the copies dropped")
    shown = h.evaluate("return [brelvo.remote.rendezvous.heard, brelvo.state, brelvo.remote.open]")
    assert shown == [1, "running", True], shown
    # Connected, the host's page has left the invite's room too: the same again counts
    # there no more.
    spy.publish(topic, sealed[0])
    spy.publish(topic, secrets.token_bytes(80))
    Game.until(spy.others, "the spy's own back")
    time.sleep(0.5)
    assert h.evaluate("return brelvo.remote.rendezvous.dropped") == len(sealed) + 2, \
        "the host's page still on the invite's topic"
    assert spy.others() == [(topic, payload) for payload in sealed], "the pages on the topic"
    duel.press(host, "d", cells(((2, 4), (3, 4)), ((6, 4), (5, 4))))
    print("  Join to Connected by the invite alone in %.2f s; %d sealed messages" %
          (took, len(sealed)))
    # The pages mend their link in a room of their own, which the invite does not name.
    spy.heard.clear()
    spy.said.clear()
    held(duel, [0, 0], "the guest's address changed", lambda: net.move("guest"))
    mended = [side.b.evaluate("return brelvo.remote.mended") for side in (host, guest)]
    rooms = {t for t, _ in spy.heard}
    assert spy.listening, "the spy no longer on the broker: it heard %s" % rooms
    assert mended == [1, 1] and rooms and topic not in rooms, (mended, rooms)
    duel.press(guest, "ArrowDown", cells(((2, 4), (3, 4)), ((6, 4), (6, 5))))
    duel.press(host, "w", cells(((2, 4), (2, 3)), ((6, 4), (6, 5))))


def scenario_one_link_back(net, site, host, guest):
    """Firefox hosts, Chromium joins by the invite alone, one broker; the guest's player
    takes a point, and each page out of view for 20 s plays on at 0-1; then the guest's
    way to the host is lost while the host's way to it stays."""
    site.page.brokers[:] = [LIVE]
    try:
        _, took, told = join_by_one_link(host, guest, [LIVE])
    finally:
        site.page.brokers[:] = []
    assert told["brokers"] == 1 and told["live"] == 1, told
    duel = Duel(host, guest)
    host.round_start([0, 0])
    duel.same("at the start")
    print("  Join to Connected by the invite alone in %.2f s" % took)
    duel.point(*BLUE_POINT, [0, 1])
    # Each page out of view a while (another tab in front, as a phone's screen off), the
    # Chromium page first, then the Firefox one; back, both show the match at its score and
    # the hidden page's player moves its own fighter on both.
    for side, key, lit in ((guest, "ArrowUp", cells(((1, 4), (2, 4)), ((7, 4), (7, 3)))),
                           (host, "s", cells(((1, 4), (1, 5)), ((7, 4), (7, 3))))):
        b = side.b
        b.evaluate("window.seen = []; document.addEventListener('visibilitychange', "
                   "() => seen.push(document.hidden))")
        playing = b.tab("about:blank")
        time.sleep(20)
        b.use(playing)
        for each in (host, guest):
            each.wait("return brelvo.state === 'running' && brelvo.remote.open", "still playing")
        duel.same("after the %s page out of view" % b.name)
        assert b.evaluate("return seen") == [True, False] and host.scores() == [0, 1]
        duel.press(side, key, lit)
    # The guest's way to the host lost, its way back still there: the host no longer hears
    # it though it hears the host, and both hold the match at once; the way back, it goes on.
    took = held(duel, [0, 1], "the guest's way out cut",
                lambda: net.one_way("guest", False), lambda: net.one_way("guest", True), 6)
    assert max(took) < 3, took
    duel.press(guest, "ArrowDown", cells(((1, 4), (1, 5)), ((7, 4), (7, 5))))


# The big screen's three links, as its codes carry them, and what each caption says.
SEATS = """return ['#seat0', '#seat1', '#seat-watch'].map((id) => {
  const figure = document.querySelector(id), code = figure.querySelector('.code');
  return [code.dataset.link, code.hidden, figure.querySelector('figcaption').textContent];
});"""
# A press no link allows, sent straight over a phone's channel to its big screen.
ROGUE_PRESS = "brelvo.seat.send('{\"k\":\"press\",\"s\":%d,\"key\":\"down\",\"d\":1}')"


def living_room(net, site, screen, phone, pad, watching):
    """The big screen (Chromium, the host's network) shows a code for each side and one to
    watch; a phone (Chromium, a phone's screen and touch, the guest's network) takes the left
    side by its link alone, a second phone (Firefox, the host's network) is refused there
    and takes the right one; the screen counts down by itself. Each pad's touch moves only
    its fighter, on the screen and on 8 watchers (Chromium tabs); a watcher's press and a
    pad's press for the other side move nothing. The phone's link cut for 10 s holds the
    match, which goes on at its score. The phone leaves: its side is the screen's keys'
    again, its code back. Then one phone against the computer, a whole match, and another
    asked by the pad."""
    s, url = screen.b, site.page.url
    screen.open()
    s.evaluate(WATCH_COUNT)
    s.click("#big")
    screen.wait("return brelvo.state === 'lobby' && document.querySelector('#seat-watch .code')"
                ".dataset.link", "the big screen's codes", 15)
    seats = s.evaluate(SEATS)
    links = [link for link, _, _ in seats]
    assert [link.split("#")[1].split(".")[0] for link in links] == ["left", "right", "watch"] \
        and all(link.startswith(url + "#") for link in links), links
    assert [said.split(url)[0] for _, _, said in seats] == [
        "Left, red: scan to play", "Right, blue: scan to play", "Watch: scan to follow the match"]

    def seat(n):
        return s.evaluate(SEATS)[n]

    phone.b.emulate(390, 844, 3)
    phone.open(path=links[0][len(url):])
    phone.wait("return brelvo.state === 'seated'", "the phone on the left side", 20)
    Game.until(lambda: seat(0)[1:] == [True, "Left, red: on a phone" + links[0]],
               "the left code put away")
    box = phone.b.evaluate("const r = document.getElementById('pad0').getBoundingClientRect();"
                           "return [r.width, document.getElementById('pad1').hidden, "
                           "document.getElementById('end').textContent, "
                           "document.getElementById('pad-info').textContent]")
    assert box[0] >= 300 and box[1:3] == [True, "Leave"] and "Left, red" in box[3], box
    pad.open(path=links[0][len(url):])
    pad.wait("return brelvo.state === 'seating' && document.getElementById('status')"
             ".textContent.startsWith('Another phone holds Left, red')", "the second phone refused")
    pad.b.open("about:blank")
    pad.open(path=links[1][len(url):])
    pad.wait("return brelvo.state === 'seated'", "the second phone on the right side", 20)
    screen.wait("return brelvo.state === 'running' && counted.join() === '3,2,1'",
                "the match, counted down by itself", 15)
    screen.round_start([0, 0])

    for n in range(8):
        (watching.b.open if n == 0 else watching.b.tab)(links[2])
        watching.wait("return brelvo.state === 'seated' && !!brelvo.game", "watcher %d" % n, 20)
    watchers = [line for line in s.evaluate("return brelvo.party.lines")
                if line["role"] == "watcher" and line["open"]]
    assert len(watchers) == 8, watchers

    def same(what):
        Game.until(lambda: watching.grid()["rows"] == screen.grid()["rows"],
                   "the watcher's grid as the screen's, " + what, 5)

    def touch(side, way, want, watched=True):
        before = screen.lit()
        for _ in range(2):  # a press inside the game's re-arm is pressed again
            side.b.tap("#pad%d .%s" % (0 if side is phone else 1, way))
            if poll(lambda: screen.lit() != before, 1):
                break
        Game.until(lambda: screen.lit() == want, "%s on the screen" % way)
        if watched:
            same("after " + way)

    same("at the start")
    began, figures = time.monotonic(), s.evaluate("return brelvo.party")
    touch(phone, "up", cells(((1, 4), (1, 3)), ((7, 4), (6, 4))))
    touch(pad, "up", cells(((1, 4), (1, 3)), ((7, 4), (7, 3))))
    touch(pad, "left", cells(((1, 4), (1, 3)), ((7, 4), (6, 4))))
    touch(phone, "right", cells(((1, 4), (2, 4)), ((7, 4), (6, 4))))
    # Presses no link allows: a watcher's, and the left pad's for the right side.
    lit = screen.lit()
    watching.b.evaluate(ROGUE_PRESS % 0)
    phone.b.evaluate(ROGUE_PRESS % 1)
    time.sleep(0.5)
    assert screen.lit() == lit, screen.lit()
    after = s.evaluate("return brelvo.party")
    dropped = {(line["role"], line["side"]): line["dropped"] for line in after["lines"]}
    assert dropped[("pad", 0)] == 1 and sum(d for (role, _), d in dropped.items()
                                              if role == "watcher") == 1, dropped
    # The whole match by the pads, 9 : 4, each point the loser's blade turned up and the
    # winner walking into its body; the watchers hear what the screen plays.
    def heard(side):
        return [{k: e.get(k) for k in ("play", "halt", "clip", "channel", "loops", "gain")}
                for e in side.log()]
    before, scores = None, [0, 0]
    for winner in [1, 0, 0, 1, 0, 0, 1, 0, 1, 0, 0, 0, 0]:
        fighters = [((1, 4), (2, 4)), ((7, 4), (6, 4))]
        sides, body = (phone, pad), fighters[1 - winner][0]
        fighters[1 - winner] = (body, (body[0], 3))
        touch(sides[1 - winner], "up", cells(*fighters))
        for _ in range(4):
            step = 1 if winner == 0 else -1
            (x, _), (tip, _) = fighters[winner]
            fighters[winner] = ((x + step, 4), (tip + step, 4))
            touch(sides[winner], ("right", "left")[winner], cells(*fighters))
        scores[winner] += 1
        for _ in range(2):  # a press inside the game's re-arm is pressed again
            sides[winner].b.tap("#pad%d .%s" % (winner, ("right", "left")[winner]))
            if poll(lambda: screen.scores() == scores, 1):
                break
        Game.until(lambda: screen.scores() == scores, "the point at %s" % scores)
        if max(scores) < 9:
            screen.round_start(scores)
        if not before:  # from a round the watchers heard begin: its hum, from its start
            before = len(heard(screen)), len(heard(watching))
    screen.wait("return brelvo.state === 'over'", "the end of the pads' match")
    for side in (phone, pad):
        side.wait("return document.getElementById('pad-info').textContent.includes('9 : 4')",
                  "the score on the %s pad" % side.b.name)
    same("at the end")
    Game.until(lambda: heard(watching)[before[1]:] == heard(screen)[before[0]:],
               "the screen's sounds on the watcher")
    after = s.evaluate("return brelvo.party")
    spent = sorted(after["frameMs"][-(after["composed"] - figures["composed"]):])
    p99 = spent[int(len(spent) * 0.99)]
    seconds = time.monotonic() - began
    rates = {}
    for line in after["lines"]:
        was = next((l for l in figures["lines"] if l["id"] == line["id"]), None)
        if was:
            rates.setdefault(line["role"], []).append(
                (line["bytes"]["sent"] - was["bytes"]["sent"]) / seconds)
    print("  a whole match by two pads, %d sounds heard on the watchers as on the screen; "
          "%d frames to 8 watchers, p99 %.2f ms to send; each watcher %.0f B/s at most, "
          "each pad %.0f B/s" % (len(heard(screen)) - before[0], len(spent), p99, max(rates["watcher"]),
                                 max(rates["pad"])))
    assert p99 < 16.7 and max(rates["watcher"]) < 5000 and max(rates["pad"]) < 1000, rates
    # Another match, asked for by both pads.
    for side in (phone, pad):
        side.b.tap("#pad-again")
    screen.wait("return brelvo.state === 'running'", "another match, asked by both pads", 15)
    screen.round_start([0, 0])

    # The phone's link cut for 10 s: the screen holds the match for its side, then goes on.
    net.link("guest", False)
    screen.wait("return brelvo.state === 'held' && document.getElementById('hold').textContent"
                " === 'Left, red: reconnecting…'", "the match held for the left side", 5)
    time.sleep(10)
    net.link("guest", True)
    screen.wait("return brelvo.state === 'running'", "the match going on", 30)
    assert screen.scores() == [0, 0]
    touch(phone, "down", cells(((1, 4), (1, 5)), ((7, 4), (6, 4))))

    # Cut for longer than 30 s the phone has gone: its side is the screen's keys' and its
    # code shows again, the match goes on; the phone, back, says so and joins again.
    net.link("guest", False)
    Game.until(lambda: seat(0)[1:] == [False, "Left, red: scan to play" + links[0]],
               "the left code after 30 s", 40)
    screen.wait("return brelvo.state === 'running'", "the match on the screen's keys", 10)
    screen.press("w")
    net.link("guest", True)
    phone.wait("return brelvo.state === 'left' && document.getElementById('ended-message')"
               ".textContent === 'The big screen left.'", "the phone told", 10)
    phone.b.open("about:blank")
    phone.open(path=links[0][len(url):])
    phone.wait("return brelvo.state === 'seated'", "the phone back on the left side", 20)

    # The phone leaves: its side on the screen's keys again, its code back at once.
    phone.b.tap("#end")
    phone.wait("return brelvo.state === 'left'", "the phone's Leave")
    Game.until(lambda: seat(0)[1:] == [False, "Left, red: scan to play" + links[0]],
               "the left code again")
    screen.press("s")
    assert screen.lit()[(1, 5)] == RED, screen.lit()

    # One phone against the computer: the right pad leaves, the match ends by Esc, the
    # right side is given to the computer and the phone takes the left again.
    pad.b.click("#end")
    pad.wait("return brelvo.state === 'left'", "the right pad's Leave")
    s.press("Escape")
    screen.wait("return brelvo.state === 'over'", "the end by Esc")
    s.click("#again")
    screen.wait("return brelvo.state === 'lobby'", "the codes again")
    s.click("#computer")
    Game.until(lambda: seat(1)[1:] == [True, "Right, blue: the computer" + links[1]],
               "the right side the computer's")
    phone.b.open("about:blank")
    phone.open(path=links[0][len(url):])
    screen.wait("return brelvo.state === 'running'", "the match against the computer", 30)
    screen.wait("return brelvo.state === 'over'", "the computer's 9 points", 300)
    phone.wait("return document.getElementById('pad-info').textContent.includes('0 : 9') && "
               "!document.getElementById('pad-again').hidden", "the end on the pad")
    phone.b.tap("#pad-again")
    screen.wait("return brelvo.state === 'running'", "another match, asked by the pad", 15)

    # No rendezvous: the screen says so, the left link carries the screen's offer, and the
    # phone's reply pasted into the screen's Reply field seats it.
    s.press("Escape")
    screen.wait("return brelvo.state === 'over'", "the end by Esc")
    site.page.brokers[:] = []
    screen.open()  # a page reads its brokers once
    s.click("#big")
    screen.wait("return !document.getElementById('party-note').hidden && "
                "document.getElementById('seat-watch').hidden", "no rendezvous, said", 15)
    link = Game.until(lambda: seat(0)[0] if len(seat(0)[0].split("#left.")[1]) > 22 else None,
                      "the offer's link")
    phone.b.open("about:blank")
    phone.open(path=link[len(url):])
    reply = phone.wait("return document.getElementById('seat-reply-link').value",
                       "the phone's reply", 15)
    s.evaluate("document.getElementById('party-reply').value = %s" % json.dumps(reply))
    s.click("#party-connect")
    phone.wait("return brelvo.state === 'seated'", "the phone seated by its reply", 20)
    Game.until(lambda: seat(0)[1:] == [True, "Left, red: on a phone" + link], "the left side held")
    s.click("#start")
    screen.round_start([0, 0])
    touch(phone, "up", cells(((1, 4), (1, 3)), ((7, 4), (6, 4))), watched=False)


def scenario_living_room(net, site, env, origin):
    """The living room's four browsers, each in its network, with one broker."""
    site.page.brokers[:] = [LIVE]
    try:
        with browsers.launch("chromium", env, netns=net.netns["host"], origin=origin) as sb, \
                browsers.launch("chromium", env, netns=net.netns["guest"], origin=origin) as pb, \
                browsers.launch("firefox", env, netns=net.netns["host"], origin=origin) as fb, \
                browsers.launch("chromium", env, netns=net.netns["host"], origin=origin) as wb:
            living_room(net, site, *(Game(b, site.page) for b in (sb, pb, fb, wb)))
            errors = [e for b in (sb, pb, fb, wb) for e in b.console_errors()]
            assert not errors, "console errors: %s" % errors
    finally:
        site.page.brokers[:] = []


# Who hosts, who joins, and what they play, each browser started in its side's network.
PAIRINGS = [("chromium", "firefox",
             [scenario_wifi, scenario_direct, scenario_turn, scenario_one_link]),
            ("firefox", "chromium", [scenario_handoff, scenario_one_link_back])]


def main():
    folder = os.path.abspath(sys.argv[1])
    named = os.environ.get("BRELVO_SCENARIOS", "").split(",")
    started, failures = time.monotonic(), 0
    with contextlib.ExitStack() as stack:
        env, stop_sound = sound_server()
        stack.callback(stop_sound)
        tmp = tempfile.mkdtemp(prefix="brelvo-remote.")
        stack.callback(shutil.rmtree, tmp, ignore_errors=True)
        net, site = Network(stack), Site(stack, folder, tmp)
        for host_engine, guest_engine, scenarios in PAIRINGS:
            scenarios = [s for s in scenarios if named == [""] or s.__name__[9:] in named]
            if not scenarios:
                continue
            origin = site.url.rstrip("/")
            with browsers.launch(host_engine, env, netns=net.netns["host"], origin=origin) as hb, \
                    browsers.launch(guest_engine, env, netns=net.netns["guest"],
                                    origin=origin) as gb:
                for scenario in scenarios:
                    began = time.monotonic()
                    name = "%s: %s hosts, %s joins" % (scenario.__name__[9:], host_engine,
                                                        guest_engine)
                    try:
                        scenario(net, site, Game(hb, site.page), Game(gb, site.page))
                        # The broker that is down, and the one refused off the list, as
                        # each engine says it.
                        errors = [e for b in (hb, gb) for e in b.console_errors()
                                  if "ICE failed" not in e and DEAD not in e and
                                  OFF_LIST not in e]
                        assert not errors, "console errors: %s" % errors
                        print("%s ok (%.1f s)" % (name, time.monotonic() - began))
                    except Exception as error:  # reported; the other scenarios run
                        failures += 1
                        print("%s FAILED: %s: %s" % (name, type(error).__name__, error))
                        traceback.print_exc()
        if named == [""] or "living_room" in named:
            began = time.monotonic()
            try:
                scenario_living_room(net, site, env, site.url.rstrip("/"))
                print("living_room: a big screen, two phones and 8 watchers ok (%.1f s)"
                      % (time.monotonic() - began))
            except Exception as error:
                failures += 1
                print("living_room FAILED: %s: %s" % (type(error).__name__, error))
                traceback.print_exc()
    print("remote play: %d failed, %.0f s" % (failures, time.monotonic() - started))
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    browsers.own_network()
    main()
