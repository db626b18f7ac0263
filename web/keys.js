// The players' keys, each player's by way: the left player's W S A D, the right player's
// arrows. The touch pads are made of them and press them; the guest's page sends a key's
// way to the host.
'use strict';
(function (root) {
  const WAYS = ['up', 'down', 'left', 'right'];
  const PLAYERS = [['w', 's', 'a', 'd'], ['ArrowUp', 'ArrowDown', 'ArrowLeft', 'ArrowRight']];
  const ways = new Map(PLAYERS.flatMap((keys) => keys.map((key, n) => [key, WAYS[n]])));

  const keys = {WAYS: WAYS, PLAYERS: PLAYERS,
                // A player's key's way ('up'), or undefined for any other key.
                wayOf: (key) => ways.get(key)};
  if (typeof module === 'object' && module.exports) module.exports = keys;
  else root.brelvoKeys = keys;
})(typeof window === 'object' ? window : globalThis);
