// The friend's presses as the host's game takes them (web/pace.js), with the game's re-arm
// played here as the duel plays it: a press taken re-arms its player, who is refused until
// the re-arm has gone by.
'use strict';
const assert = require('node:assert');
const path = require('node:path');
const {describe, it} = require('node:test');
const pace = require(path.join(__dirname, '..', '..', 'web', 'pace.js'));

const REARM = 50;

// A friend pressing a way down and up every `every` ms by its own clock, which starts
// at `clock`; each message reaches the host `delay` ms later, give or take `jitter`, in
// the order sent (one channel). The host's game: what it took and refused, and how long
// each press waited on the host.
function play({presses, every, delay, jitter, rtt, paced = true, clock = 1000, seed = 7}) {
  let random = seed;
  const next = () => (random = (random * 16807) % 2147483647) / 2147483647;
  const when = pace.create(REARM);
  let arrived = 0, armedAt = -Infinity, handedAt = -Infinity;
  const game = {taken: 0, refused: 0, waits: [], order: true};
  for (let i = 0; i < presses; i++) {
    for (const d of [1, 0]) {
      const sent = i * every + (d ? 0 : 10);
      arrived = Math.max(arrived, sent + delay + (2 * next() - 1) * jitter);
      const t = (clock + sent) >>> 0;
      const at = paced ? when({d: d, t: t}, arrived, rtt) : arrived;
      game.order = game.order && at >= handedAt;
      handedAt = at;
      if (d === 0) continue;
      game.waits.push(at - arrived);
      if (at - armedAt >= REARM) {
        game.taken++;
        armedAt = at;
      } else {
        game.refused++;
      }
    }
  }
  return game;
}

describe('the friend\'s presses on the host', () => {
  it('on a jittery way, every press made after the re-arm is taken, soon', () => {
    // 20 ms each way, each message 15 ms early or late, presses 70 ms apart.
    const jittery = {presses: 1000, every: 70, delay: 20, jitter: 15, rtt: 45};
    const unpaced = play(Object.assign({paced: false}, jittery));
    assert.ok(unpaced.refused > 10, `the way alone refuses some: ${unpaced.refused}`);
    const game = play(jittery);
    assert.deepStrictEqual([game.taken, game.refused, game.order], [1000, 0, true]);
    assert.ok(Math.max(...game.waits) <= 2 * 15 + 2, `waited ${Math.max(...game.waits)} ms`);
    // A steady way: nothing waits; across the friend's clock wrapping round, alike.
    for (const clock of [0, 2 ** 32 - 3000]) {
      const steady = play({presses: 100, every: 70, delay: 20, jitter: 0, rtt: 40, clock: clock});
      assert.deepStrictEqual([steady.taken, Math.max(...steady.waits)], [100, 0], `clock ${clock}`);
    }
  });

  it('presses made inside the re-arm are the game\'s to refuse, as here', () => {
    const fast = play({presses: 100, every: 30, delay: 20, jitter: 0, rtt: 40});
    assert.deepStrictEqual([fast.taken, fast.refused, Math.max(...fast.waits)], [50, 50, 0]);
  });

  it('times a page did not press at never press faster than a player here, nor queue up', () => {
    // A burst sent at once, each claiming to come 100 ms after the last: held back no
    // longer than the round trip, the rest refused by the game's own clock.
    const when = pace.create(REARM);
    const handed = [];
    for (let i = 0; i < 10; i++) handed.push(when({d: 1, t: 100 * i}, 5000, 60) - 5000);
    assert.deepStrictEqual(handed, [0, 52, 52, 52, 52, 52, 52, 52, 52, 52]);
    // No round trip seen yet, or a way too short for the wait: nothing is held back.
    const unknown = pace.create(REARM);
    assert.deepStrictEqual([0, 1].map((i) => unknown({d: 1, t: 100 * i}, 10, null)), [10, 10]);
    // An up behind a down held back waits for it.
    const order = pace.create(REARM);
    order({d: 1, t: 0}, 0, 100);
    assert.deepStrictEqual([order({d: 1, t: 60}, 10, 100), order({d: 0, t: 70}, 11, 100)],
                           [52, 52]);
  });
});
