// The friend's presses as the host's game takes them (web/pace.js), with the game's re-arm
// played here as the duel plays it: a press taken re-arms its player, who is refused until
// the re-arm has gone by.
'use strict';
const assert = require('node:assert');
const path = require('node:path');
const {describe, it} = require('node:test');
const pace = require(path.join(__dirname, '..', '..', 'web', 'pace.js'));

const REARM = 50;

// The host as the test plays it, on a clock of its own: a game that takes a press `late`
// ms after it is handed (the game's wake) and refuses one inside the re-arm of the last it
// took, which its timer may end `slow` ms late. What it took, refused, and each press's wait.
function host({rtt, late = 0, slow = 0}) {
  let clock = 0, armedAt = -Infinity;
  const timers = [], game = {taken: 0, refused: 0, order: [], waits: []};
  const later = (run, ms) => timers.push({at: clock + ms, run: run});
  const pacer = pace.create(REARM, (press) => {
    game.order.push(press.n * 2 + 1 - press.d);  // each down, then its up
    later(() => {
      pacer.taken(press.n);
      if (!press.d) return;
      game.waits.push(clock - press.arrived);
      if (clock - armedAt >= REARM + slow) {
        game.taken++;
        armedAt = clock;
      } else {
        game.refused++;
      }
    }, late);
  }, later, () => clock);
  const until = (t) => {
    for (timers.sort((a, b) => a.at - b.at); timers.length && timers[0].at <= t;
      timers.sort((a, b) => a.at - b.at)) {
      const timer = timers.shift();
      clock = timer.at;
      timer.run();
    }
    clock = t;
  };
  return {
    send(press, at) {  // a press arriving at `at`
      until(at);
      pacer.arrived(Object.assign({arrived: at}, press), rtt);
    },
    end() { until(clock + 1000); return game; },
  };
}

// A friend pressing a way down and up every `every` ms by its own clock, from `clock`; each
// message reaches the host 20 ms later, give or take `jitter`, in the order sent.
function play({every, jitter, paced = true, clock = 1000, late = 0, slow = 0}) {
  let random = 7, arrived = 0;
  const here = host({late: late, slow: slow, rtt: paced ? 40 + jitter : 0});
  for (let n = 1; n <= 1000; n++) {
    for (const d of [1, 0]) {
      random = (random * 16807) % 2147483647;
      const sent = n * every + (d ? 0 : 10);
      arrived = Math.max(arrived, sent + 20 + (2 * random / 2147483647 - 1) * jitter);
      here.send({d: d, t: (clock + sent) >>> 0, n: n}, arrived);
    }
  }
  const game = here.end();
  assert.ok(game.order.every((v, i) => i === 0 || v > game.order[i - 1]), 'out of order');
  return game;
}

describe('the friend\'s presses on the host', () => {
  it('each is taken or refused as the friend pressed it, held back only as the way jittered', () => {
    // Presses 70 ms apart, each message 15 ms early or late: the way alone would refuse some.
    assert.ok(play({every: 70, jitter: 15, paced: false}).refused > 10);
    // The game takes each press at once or a while later, and ends its re-arm on time or late.
    for (const [late, slow] of [[0, 0], [3, 0], [0, 6]]) {
      const game = play({every: 70, jitter: 15, late: late, slow: slow});
      assert.deepStrictEqual([game.taken, game.refused], [1000, 0], `${late} ${slow}`);
      assert.ok(Math.max(...game.waits) <= 2 * 15 + late, `waited ${Math.max(...game.waits)}`);
    }
    // A steady way holds nothing back, across the friend's clock wrapping round too; presses
    // made inside the re-arm are the game's to refuse, as here.
    for (const [every, clock, taken] of [[70, 0, 1000], [70, 2 ** 32 - 3000, 1000], [30, 0, 500]]) {
      const game = play({every: every, jitter: 0, clock: clock});
      assert.deepStrictEqual([game.taken, Math.max(...game.waits)], [taken, 0], `${every} ${clock}`);
    }
  });

  it('times a page did not press at never press faster than a player here, nor queue up', () => {
    // A burst at once, each claiming to come 100 ms after the last: held back no longer than
    // the round trip, the rest refused by the game's own clock; with no round trip yet, none.
    for (const [rtt, waits] of [[80, [0, 60, 80, 80, 80]], [null, [0, 0, 0, 0, 0]]]) {
      const burst = host({rtt: rtt});
      for (let n = 1; n <= 5; n++) burst.send({d: 1, t: 100 * n, n: n}, 5000);
      const game = burst.end();
      assert.deepStrictEqual([game.taken, game.waits], [rtt ? 2 : 1, waits]);
    }
  });
});
