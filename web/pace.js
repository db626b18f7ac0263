// A friend's presses paced on the host as the friend pressed them. The game re-arms a
// player a moment (the re-arm) after each press it takes and refuses one that comes
// sooner, as a player at its keyboard feels it; a jittery way brings two presses closer
// together than they were made, and the game would refuse the second, which the guest's
// page had shown taken. So a press made at least the re-arm after the last that re-armed
// the friend, by the friend's own clock (by which the guest's page foresees its moves),
// reaches the game no sooner than the re-arm (and a little more: a browser may run the
// game's re-arm timer late) after the game took that one, nor sooner than it was made
// after it. A press made sooner goes at once, and the game judges it as it would here.
//
// The friend's times only ever hold a press back, never longer than the round trip the
// host has seen (the most the way could have brought two presses closer): a page that
// sends times it did not press at can neither press faster than the re-arm lets a player
// here (the game still refuses what comes sooner by its own clock), nor queue presses up.
// Pure: the page and node's tests use the same code, with a clock and timers of their own.
'use strict';
(function (root) {
  // After the game's own re-arm timer, which it starts as it takes the press: a browser
  // gathers its timers' wake-ups, and may run that one a few ms late.
  const MARGIN_MS = 10;

  // rearmMs: the game's re-arm; hand(press): gives the game a press; later(run, ms): runs
  // `run` after `ms`; now(): the clock. The pace: arrived(press, rtt), a press ({d: 1 down,
  // 0 up, t: the friend's time in ms, n: its number}) come now, with the round trip the
  // host has seen (ms, null for none yet); taken(n): the game has just taken press n.
  // Presses reach the game in the order they came.
  function create(rearmMs, hand, later, now) {
    const queue = [];  // [{press, until}]: the press at the head held back until `until` at most
    let armed = null;  // the last press down that re-armed the friend: {t, n, at, taken}
    let waiting = false;

    function next() {
      waiting = false;
      while (queue.length) {
        const {press, until} = queue[0];
        // A time before the last is the friend's clock wrapping round, long after it.
        const since = armed ? (press.t - armed.t) >>> 0 : rearmMs;
        const rearms = press.d === 1 && since >= rearmMs;
        const due = rearms && armed
          ? Math.min(armed.at + Math.min(since, rearmMs + MARGIN_MS), until) : 0;
        if (now() < due) {
          waiting = true;
          later(next, due - now());
          return;
        }
        queue.shift();
        if (rearms) armed = {t: press.t, n: press.n, at: now(), taken: false};
        hand(press);
      }
    }

    return {
      arrived(press, rtt) {
        queue.push({press: press, until: now() + (rtt || 0)});
        if (!waiting) next();
      },
      // The moment the game's own re-arm starts.
      taken(n) {
        if (armed && armed.n === n && !armed.taken) Object.assign(armed, {at: now(), taken: true});
      },
    };
  }

  const pace = {create: create};
  if (typeof module === 'object' && module.exports) module.exports = pace;
  else root.brelvoPace = pace;
})(typeof window === 'object' ? window : globalThis);
