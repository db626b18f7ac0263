// The friend's presses as the host's game takes them (web/pace.js), on a clock of the
// test's own, with the duel's re-arm: a press taken re-arms its player, who is refused
// until the re-arm has gone by, or a few ms more where the game's timer runs late.
'use strict';
const assert = require('node:assert');
const path = require('node:path');
const {describe, it} = require('node:test');
const pace = require(path.join(__dirname, '..', '..', 'web', 'pace.js'));

const REARM = 50;

// The presses [{d, t, n, arrived}] as the host hands them to a game whose timer ends the
// re-arm `slow` ms late: how many it took and refused, each press down's wait, their order.
function host(presses, rtt, slow = 0) {
  let clock = 0, armedAt = -Infinity;
  const timers = [], game = {taken: 0, refused: 0, waits: [], order: []};
  const later = (run, ms) => timers.push({at: clock + ms, run: run});
  const pacer = pace.create(REARM, (press) => {
    pacer.taken(press.n);
    game.order.push(press.n * 2 + 1 - press.d);  // each down, then its up
    if (!press.d) return;
    game.waits.push(clock - press.arrived);
    const taken = clock - armedAt >= REARM + slow;
    game[taken ? 'taken' : 'refused']++;
    if (taken) armedAt = clock;
  }, later, () => clock);
  for (const press of presses.concat([{arrived: Infinity}])) {
    for (timers.sort((a, b) => a.at - b.at); timers.length && timers[0].at <= press.arrived;) {
      clock = timers[0].at;
      timers.shift().run();
    }
    if (press.arrived === Infinity) break;
    clock = press.arrived;
    pacer.arrived(press, rtt);
  }
  assert.ok(game.order.every((v, i) => i === 0 || v > game.order[i - 1]), 'out of order');
  return game;
}

// A friend pressing a way down and up every `every` ms by its own clock, from `clock`: each
// message reaches the host 20 ms later, give or take `jitter`, in the order sent.
function pressing(every, jitter, clock = 1000) {
  let random = 7, arrived = 0;
  const presses = [];
  for (let n = 1; n <= 1000; n++) {
    for (const d of [1, 0]) {
      random = (random * 16807) % 2147483647;
      const sent = n * every + (d ? 0 : 10);
      arrived = Math.max(arrived, sent + 20 + (2 * random / 2147483647 - 1) * jitter);
      presses.push({d: d, t: (clock + sent) >>> 0, n: n, arrived: arrived});
    }
  }
  return presses;
}

describe('the friend\'s presses on the host', () => {
  it('each is taken or refused as the friend pressed it, held back only as the way jittered', () => {
    // Presses 70 ms apart, each message 15 ms early or late: the way alone refuses some;
    // paced, none, whether the game's timer ends the re-arm on time or late.
    const jittery = pressing(70, 15);
    assert.ok(host(jittery, 0).refused > 10);
    for (const slow of [0, 6]) {
      const game = host(jittery, 55, slow);
      assert.deepStrictEqual([game.taken, game.refused], [1000, 0], `${slow} ms late`);
      assert.ok(Math.max(...game.waits) <= 2 * 15, `waited ${Math.max(...game.waits)}`);
    }
    // A steady way holds nothing back, across the friend's clock wrapping round too; presses
    // made inside the re-arm are the game's to refuse, as here.
    for (const [every, clock, taken] of [[70, 0, 1000], [70, 2 ** 32 - 3000, 1000], [30, 0, 500]]) {
      const game = host(pressing(every, 0, clock), 40);
      assert.deepStrictEqual([game.taken, Math.max(...game.waits)], [taken, 0], `${every} ${clock}`);
    }
  });

  it('times a page did not press at never press faster than a player here, nor queue up', () => {
    // A burst at once, each claiming to come 100 ms after the last: held back no longer than
    // the round trip, the rest refused by the game's own clock; with no round trip yet, none.
    const burst = [1, 2, 3, 4, 5].map((n) => ({d: 1, t: 100 * n, n: n, arrived: 5000}));
    for (const [rtt, taken, waits] of [[80, 2, [0, 60, 80, 80, 80]], [null, 1, [0, 0, 0, 0, 0]]]) {
      const game = host(burst, rtt);
      assert.deepStrictEqual([game.taken, game.waits], [taken, waits]);
    }
  });
});
