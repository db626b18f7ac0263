// The friend's presses as the host's game takes them (web/pace.js), with the game's re-arm
// played here as the duel plays it: a press taken re-arms its player, who is refused until
// the re-arm has gone by.
'use strict';
const assert = require('node:assert');
const path = require('node:path');
const {describe, it} = require('node:test');
const pace = require(path.join(__dirname, '..', '..', 'web', 'pace.js'));

const REARM = 50;

// The host as the test plays it: a clock and timers of its own, and a game that takes a
// press `late` ms after it is handed (the game's wake) and refuses one inside the re-arm
// of the last it took, which its timer may end `slow` ms late. What the game did with each
// press down, and how long it waited.
function host({rtt = 45, late = 0, slow = 0} = {}) {
  let clock = 0;
  const timers = [], game = {taken: [], refused: [], order: [], waits: []};
  let armedAt = -Infinity;
  const later = (run, ms) => timers.push({at: clock + ms, run: run});
  const pacer = pace.create(REARM, (press) => {
    game.order.push(press.n * 2 + 1 - press.d);  // each down, then its up
    later(() => {
      pacer.taken(press.n);
      if (!press.d) return;
      game.waits.push(clock - press.arrived);
      if (clock - armedAt >= REARM + slow) {
        game.taken.push(press.n);
        armedAt = clock;
      } else {
        game.refused.push(press.n);
      }
    }, late);
  }, later, () => clock);
  // Time goes by to `t`, each timer run in its turn.
  const until = (t) => {
    for (;;) {
      timers.sort((a, b) => a.at - b.at);
      if (!timers.length || timers[0].at > t) break;
      const timer = timers.shift();
      clock = Math.max(clock, timer.at);
      timer.run();
    }
    clock = t;
  };
  return {
    game: game,
    // A press sent at `sent` on the friend's clock (from `start`), arriving at `at` here.
    send(press, at) {
      until(at);
      pacer.arrived(Object.assign({arrived: at}, press), rtt);
    },
    end() { until(clock + 1000); return game; },
  };
}

// A friend pressing a way down and up every `every` ms by its own clock, which starts at
// `clock`; each message reaches the host `delay` ms later, give or take `jitter`, in the
// order sent (one channel).
function play({presses, every, delay, jitter, clock = 1000, seed = 7, paced = true, late = 0,
               slow = 0}) {
  let random = seed, arrived = 0;
  const next = () => (random = (random * 16807) % 2147483647) / 2147483647;
  const here = host({late: late, slow: slow, rtt: paced ? 2 * delay + jitter : 0});
  for (let n = 1; n <= presses; n++) {
    for (const d of [1, 0]) {
      const sent = n * every + (d ? 0 : 10);
      arrived = Math.max(arrived, sent + delay + (2 * next() - 1) * jitter);
      here.send({d: d, t: (clock + sent) >>> 0, n: n}, arrived);
    }
  }
  return here.end();
}

describe('the friend\'s presses on the host', () => {
  it('on a jittery way, every press made after the re-arm is taken, soon', () => {
    // 20 ms each way, each message 15 ms early or late, presses 70 ms apart.
    const jittery = {presses: 1000, every: 70, delay: 20, jitter: 15};
    const unpaced = play(Object.assign({paced: false}, jittery));
    assert.ok(unpaced.refused.length > 10, `the way alone refuses some: ${unpaced.refused.length}`);
    // The game takes each press at once, or a while later; its re-arm ends on time, or late.
    for (const [late, slow] of [[0, 0], [3, 0], [0, 6]]) {
      const game = play(Object.assign({late: late, slow: slow}, jittery));
      assert.deepStrictEqual([game.taken.length, game.refused], [1000, []], `${late} ${slow}`);
      const order = game.order.every((v, i) => i === 0 || v > game.order[i - 1]);
      assert.ok(order, 'handed in the order sent');
      assert.ok(Math.max(...game.waits) <= 2 * 15 + late, `waited ${Math.max(...game.waits)}`);
    }
    // A steady way: nothing waits; across the friend's clock wrapping round, alike.
    for (const clock of [0, 2 ** 32 - 3000]) {
      const steady = play({presses: 100, every: 70, delay: 20, jitter: 0, clock: clock});
      assert.deepStrictEqual([steady.taken.length, Math.max(...steady.waits)], [100, 0], `${clock}`);
    }
  });

  it('presses made inside the re-arm are the game\'s to refuse, as here', () => {
    const fast = play({presses: 100, every: 30, delay: 20, jitter: 0});
    assert.deepStrictEqual([fast.taken.length, fast.refused.length, Math.max(...fast.waits)],
                           [50, 50, 0]);
  });

  it('times a page did not press at never press faster than a player here, nor queue up', () => {
    // A burst sent at once, each claiming to come 100 ms after the last: held back no
    // longer than the round trip, the rest refused by the game's own clock.
    const burst = host({rtt: 80});
    for (let n = 1; n <= 10; n++) burst.send({d: 1, t: 100 * n, n: n}, 5000);
    const game = burst.end();
    assert.deepStrictEqual([game.taken, game.waits], [[1, 2], [0, 60, 80, 80, 80, 80, 80, 80, 80, 80]]);
    // No round trip seen yet: nothing is held back.
    const unknown = host({rtt: null});
    for (let n = 1; n <= 3; n++) unknown.send({d: 1, t: 100 * n, n: n}, 10);
    assert.deepStrictEqual(unknown.end().waits, [0, 0, 0]);
  });
});
