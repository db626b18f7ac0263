// The players' keys, each player's by way: the left player's W S A D, the right player's
// arrows, as the page names the keys it hears (the game's own table names them as SDL
// does). The touch pads are made of them and press their player's ways; the guest's page
// sends a key's way to the host.
'use strict';
(function (root) {
  const WAYS = ['up', 'down', 'left', 'right'];
  const PLAYERS = [['w', 's', 'a', 'd'], ['ArrowUp', 'ArrowDown', 'ArrowLeft', 'ArrowRight']];
  const ways = new Map(PLAYERS.flatMap((keys) => keys.map((key, n) => [key, WAYS[n]])));

  const keys = {WAYS: WAYS, PLAYERS: PLAYERS,
                // A player's key's way ('up'), or undefined for any other key.
                wayOf: (key) => ways.get(key),
                // Whose key it is: 0 or 1, or -1 for any other key.
                playerOf: (key) => PLAYERS.findIndex((own) => own.includes(key))};
  if (typeof module === 'object' && module.exports) module.exports = keys;
  else root.brelvoKeys = keys;
})(typeof window === 'object' ? window : globalThis);
