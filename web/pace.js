// A friend's presses paced on the host as the friend pressed them. The game re-arms a
// player a moment (the re-arm) after each press it takes and refuses one that comes
// sooner, as a player at its keyboard feels it; a jittery way brings two presses closer
// together than they were made, and the game would refuse the second, which the guest's
// page had shown taken. So a press made at least the re-arm after the last that re-armed
// the friend, by the friend's own clock (by which the guest's page foresees its moves),
// reaches the game no sooner than the re-arm after that one reached it. A press made
// sooner goes at once, and the game judges it as it would here.
//
// The friend's times only ever hold a press back, never longer than the round trip the
// host has seen (the most the way could have brought two presses closer): a page that
// sends times it did not press at can neither press faster than the re-arm lets a player
// here (the game still refuses what comes sooner by its own clock), nor queue presses up.
// Pure: the page and node's tests use the same code.
'use strict';
(function (root) {
  const MARGIN_MS = 2;  // after the game's own re-arm timer, which it starts as it takes one

  // rearmMs: the game's re-arm. The answer: when(press, now, rtt), the time (as `now`
  // counts) at which to hand the game `press` ({d: 1 down, 0 up, t: the friend's time in
  // ms}), which arrived at `now`; `rtt` is the round trip the host has seen (ms), null for
  // none yet. Presses are handed in the order they came.
  function create(rearmMs) {
    let armed = null;     // the last press down that re-armed the friend: {t, at}
    let due = -Infinity;  // when the press before this one is handed
    return function when(press, now, rtt) {
      let at = Math.max(now, due);
      // A time before the last is the friend's clock wrapping round, long after it.
      const since = armed ? (press.t - armed.t) >>> 0 : rearmMs;
      if (press.d === 1 && since >= rearmMs) {
        const paced = armed ? armed.at + rearmMs + MARGIN_MS : at;
        if (paced - now <= (rtt || 0)) at = Math.max(at, paced);
        armed = {t: press.t, at: at};
      }
      due = at;
      return at;
    };
  }

  const pace = {create: create};
  if (typeof module === 'object' && module.exports) module.exports = pace;
  else root.brelvoPace = pace;
})(typeof window === 'object' ? window : globalThis);
