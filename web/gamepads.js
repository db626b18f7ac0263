// Gamepads: the first pad to connect plays player 0's keys, the second player 1's, as
// on the desktop. A pad's press reaches the game as that player's key going down and
// its end as the key going up, so every rule of a key holds for it.
//
// The d-pad and the left stick are up, down, left and right. A diagonal of the d-pad
// presses nothing new: a way already held stays held through it, and one reached from the
// middle presses nothing until one of its ways is let go. The stick presses once pushed past 60% of its
// travel, the way it is pushed furthest (left or right when both are equal), and again
// only after coming back within 25% of the middle. Back ends the match as Esc does, where
// the browser knows the pad's buttons (its standard mapping); on any other pad only the
// stick plays, as button numbers differ from pad to pad.
'use strict';
(function () {
  const page = window.brelvo;
  // By way: up, down, left, right.
  const KEYS = [['w', 's', 'a', 'd'], ['ArrowUp', 'ArrowDown', 'ArrowLeft', 'ArrowRight']];
  const DPAD = [12, 13, 14, 15];
  const BACK = 8;
  const PRESS = 0.6, MIDDLE = 0.25;
  const NONE = -1, UP = 0, DOWN = 1, LEFT = 2, RIGHT = 3;

  // Each player's pad, or null: {index, standard, dpad, stick, back, buttons}.
  const players = [null, null];
  let reading = 0;

  function dpadWay(held, pressed) {
    if (held !== NONE && pressed[held]) return held;
    const ways = [UP, DOWN, LEFT, RIGHT].filter((way) => pressed[way]);
    return ways.length === 1 ? ways[0] : NONE;
  }

  function stickWay(held, x, y) {
    const across = Math.abs(x), along = Math.abs(y);
    if (held !== NONE) return across <= MIDDLE && along <= MIDDLE ? NONE : held;
    if (across <= PRESS && along <= PRESS) return NONE;
    if (across >= along) return x < 0 ? LEFT : RIGHT;
    return y < 0 ? UP : DOWN;
  }

  const pressed = (pad, button) => !!(pad.buttons[button] && pad.buttons[button].pressed);

  // Keys let go first, then keys pressed, then Back.
  function update(player, seat, pad) {
    const held = (way) => seat.dpad === way || seat.stick === way;
    const before = [UP, DOWN, LEFT, RIGHT].map(held);
    if (seat.standard) seat.dpad = dpadWay(seat.dpad, DPAD.map((b) => pressed(pad, b)));
    seat.stick = stickWay(seat.stick, pad.axes[0] || 0, pad.axes[1] || 0);
    before.forEach((was, way) => { if (was && !held(way)) page.press(KEYS[player][way], false); });
    before.forEach((was, way) => { if (!was && held(way)) page.press(KEYS[player][way], true); });
    const back = seat.standard && pressed(pad, BACK);
    if (back !== seat.back) page.press('Escape', back);
    seat.back = back;
  }

  function release(player) {
    const seat = players[player];
    [UP, DOWN, LEFT, RIGHT].forEach((way) => {
      if (seat.dpad === way || seat.stick === way) page.press(KEYS[player][way], false);
    });
    if (seat.back) page.press('Escape', false);
    players[player] = null;
  }

  // On the start screen a pad's button starts a match only where the browser counts it
  // as the player's gesture, which sound needs; elsewhere the screen asks for a tap, a
  // click or a key.
  function startFrom(seat, pad) {
    const buttons = pad.buttons.map((button) => button.pressed);
    const fresh = buttons.some((down, n) => down && !seat.buttons[n]);
    seat.buttons = buttons;
    if (!fresh || page.state !== 'gate') return;
    if (navigator.userActivation && navigator.userActivation.isActive) {
      page.start({timeStamp: performance.now()});
    } else {
      document.getElementById('prompt').textContent =
        'a pad plays once a match runs: tap, click or press a key to start';
    }
  }

  // Read each animation frame while a pad is there; a press wakes the game, as a key's.
  function read() {
    reading = 0;
    const pads = navigator.getGamepads ? Array.from(navigator.getGamepads()) : [];
    players.forEach((seat, player) => {
      if (!seat) return;
      const pad = pads.find((each) => each && each.index === seat.index);
      if (!pad || pad.connected === false) {
        release(player);
      } else {
        startFrom(seat, pad);
        if (page.state === 'running') update(player, seat, pad);
      }
    });
    if (players.some(Boolean)) reading = requestAnimationFrame(read);
  }

  window.addEventListener('gamepadconnected', (event) => {
    const pad = event.gamepad;
    if (players.some((seat) => seat && seat.index === pad.index)) return;
    const player = players.indexOf(null);
    if (player < 0) return;
    players[player] = {index: pad.index, standard: pad.mapping === 'standard', dpad: NONE,
                       stick: NONE, back: false, buttons: []};
    if (!reading) reading = requestAnimationFrame(read);
  });
  window.addEventListener('gamepaddisconnected', (event) => {
    const player = players.findIndex((seat) => seat && seat.index === event.gamepad.index);
    if (player >= 0) release(player);
  });
})();
