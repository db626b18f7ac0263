#!/usr/bin/python3
"""The page's costs in Chromium, against the goals in docs/performance.md:
   bench/web.py PAGE_DIR
What a first visit fetches, the time from the starting gesture to the first frame, the
main thread's time in an idle round (Chromium's own metrics), and a key press and a touch
on a pad to the frame that shows it."""
import gzip
import os
import statistics
import sys
import time

# The page's tests' own driver, server and game helpers.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "web"))
import browsers  # noqa: E402
from test_page import Game, Page, TEST_PADS  # noqa: E402


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


def first_visit(b, page):
    """Every byte the server sends on a first visit, the service worker's fill included."""
    b.open(page.url)
    Game(b, page).wait("return navigator.serviceWorker.ready.then(() => caches.keys())"
                       ".then((names) => names.length > 0)", "the cache")
    time.sleep(1)
    raw = packed = 0
    for path, status in page.requests:
        name = path.split("?")[0].lstrip("/") or "index.html"
        size = os.path.getsize(os.path.join(page.folder, name)) if status == 200 else 0
        body = open(os.path.join(page.folder, name), "rb").read() if size else b""
        raw += size
        packed += len(gzip.compress(body, 9)) if body else 0
        print("  %-22s %3d %8d bytes, %7d gzip" % (name, status, size,
                                                   len(gzip.compress(body, 9)) if body else 0))
    return raw, packed


def gesture_to_frame(b, page, runs):
    times = []
    for _ in range(runs):
        b.open(page.url)
        time.sleep(0.5)  # a player reads the gate first; the game compiles meanwhile
        b.press("Enter")
        game = Game(b, page)
        game.wait("return !!(brelvo.game && brelvo.game.firstFrameAt)", "the first frame")
        times.append(b.evaluate("return brelvo.game.firstFrameAt - brelvo.startedAt"))
        b.press("Escape")
    return times


def idle_share(b, page, seconds):
    """The main thread's busy time while a round waits for keys, as Chromium counts it."""
    game = Game(b, page)
    b.open(page.url)
    game.start()
    game.round_start([0, 0])
    time.sleep(2.5)  # the round's start sounds end
    b.driver.execute_cdp_cmd("Performance.enable", {})

    def busy():
        metrics = b.driver.execute_cdp_cmd("Performance.getMetrics", {})["metrics"]
        return {m["name"]: m["value"] for m in metrics}["TaskDuration"]

    before, started = busy(), time.monotonic()
    time.sleep(seconds)
    return (busy() - before) / (time.monotonic() - started) * 100


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


def main():
    folder = os.path.abspath(sys.argv[1])
    report = []
    with browsers.launch("chromium") as b:
        page = Page(folder)
        print("First visit:")
        raw, packed = first_visit(b, page)
        report.append(("Bytes of a first visit", "%d KB (%d KB raw)" % (packed // 1024,
                                                                        raw // 1024),
                       "at most 200 KB gzip"))
        times = gesture_to_frame(b, page, 10)
        print("Gesture to first frame, ms:", " ".join("%.0f" % t for t in times))
        report.append(("Gesture to first splash frame, median of 10 (first, slowest)",
                       "%.0f ms (%.0f, %.0f)" % (statistics.median(times), times[0], max(times)),
                       "at most 250 ms"))
        share = idle_share(b, page, 10)
        report.append(("Main thread in an idle round, 10 s", "%.2f %%" % share,
                       "at most 1 %"))
        for how, name in (("key", "Key"), ("touch", "Touch on a pad"),
                          ("pad", "Gamepad press")):
            drawn, shown = press_to_frame(b, page, how, 300)
            report.append(("%s to canvas drawn, p50 / p99 of 300" % name,
                           "%.2f / %.2f ms" % (percentile(drawn, 0.5), percentile(drawn, 0.99)),
                           ""))
            report.append(("%s to the frame that shows it, p50 / p99" % name,
                           "%.1f / %.1f ms" % (percentile(shown, 0.5), percentile(shown, 0.99)),
                           "p99 under 16 ms"))
        page.stop()
    print("\n| What | Page | Goal |\n|---|---|---|")
    for row in report:
        print("| %s | %s | %s |" % row)


if __name__ == "__main__":
    main()
