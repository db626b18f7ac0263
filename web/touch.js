// Two players on one touch screen: a pad each, made of the four ways, whose presses reach
// the game as that player's (the game's own key table makes them that player's keys), and
// the page kept still under their fingers; the controls beside them, End match and Full
// screen. What they show is the machine's view: the page (page.js) wires them to its
// machine and to its presses.
'use strict';
(function (root) {
  const $ = (id) => document.getElementById(id);
  const pads = [$('pad0'), $('pad1')];
  const WAYS = ['up', 'down', 'left', 'right'];  // as the game's bridge names them
  // Each pad's four ways.
  pads.forEach((pad) => pad.replaceChildren(...WAYS.map((name) => {
    const way = document.createElement('span');
    way.className = name;
    way.dataset.way = name;
    return way;
  })));

  // machine: the page's (machine.js); press: the page's presses, way(player, way, down) a
  // player's way, key(name, down) a key by its name.
  function wire(machine, press) {
    // Each finger on a pad, by pointer id: {pad, player, way}, the way it holds or null.
    const fingers = new Map();

    // The way a finger at (x, y) holds on `pad`: the direction nearest its angle from the
    // pad's middle, or none in the dead middle.
    function wayAt(pad, x, y) {
      const box = pad.getBoundingClientRect();
      const dx = x - (box.left + box.width / 2), dy = y - (box.top + box.height / 2);
      if (Math.hypot(dx, dy) < box.width * 0.15) return null;
      return Math.abs(dx) > Math.abs(dy) ? (dx < 0 ? 'left' : 'right') :
        (dy < 0 ? 'up' : 'down');
    }

    // Lets go of whatever the finger held and presses `way` instead; the pad lights the way
    // held ('0 right': the player, then the way).
    function hold(finger, way) {
      if (finger.way === way) return;
      const lit = new Set(machine.view.lit);
      if (finger.way) {
        lit.delete(finger.player + ' ' + finger.way);
        press.way(finger.player, finger.way, false);
      }
      finger.way = way;
      if (way) {
        lit.add(finger.player + ' ' + way);
        press.way(finger.player, way, true);
      }
      machine.show({lit: [...lit]});
    }

    function lift(event) {
      const finger = fingers.get(event.pointerId);
      if (!finger) return;
      hold(finger, null);
      fingers.delete(event.pointerId);
    }

    function liftAll() {
      fingers.forEach((finger) => hold(finger, null));
      fingers.clear();
    }

    // A finger belongs to the pad it came down on until it lifts: straying onto the other
    // pad never presses that player's keys. (No preventDefault: touch-action already keeps
    // the browser out, and in Firefox it swallowed the other finger's touch.)
    pads.forEach((pad, player) => pad.addEventListener('pointerdown', (event) => {
      lift(event);
      const finger = {pad: pad, player: player, way: null};
      fingers.set(event.pointerId, finger);
      hold(finger, wayAt(pad, event.clientX, event.clientY));
    }));
    window.addEventListener('pointermove', (event) => {
      const finger = fingers.get(event.pointerId);
      if (finger) hold(finger, wayAt(finger.pad, event.clientX, event.clientY));
    });
    window.addEventListener('pointerup', lift);
    window.addEventListener('pointercancel', lift);
    window.addEventListener('blur', liftAll);
    document.addEventListener('visibilitychange', () => { if (document.hidden) liftAll(); });

    // The pads come with the first touch, whatever the device says of itself, and never
    // for a player on keys or a mouse.
    window.addEventListener('pointerdown', (event) => {
      if (event.pointerType === 'touch' && !machine.view.touch) machine.show({touch: true});
    }, true);
    window.addEventListener('contextmenu', (event) => event.preventDefault());

    // End match does what Esc does.
    $('end').addEventListener('click', () => {
      press.key('Escape', true);
      press.key('Escape', false);
    });

    const whole = document.documentElement;
    const request = whole.requestFullscreen || whole.webkitRequestFullscreen;
    const fullscreenElement = () => document.fullscreenElement || document.webkitFullscreenElement;
    machine.show({canFullscreen: !!(request &&
      (document.fullscreenEnabled || document.webkitFullscreenEnabled))});
    $('fullscreen').addEventListener('click', () => {
      if (fullscreenElement()) {
        (document.exitFullscreen || document.webkitExitFullscreen).call(document);
      } else {
        const asked = request.call(whole);
        if (asked && asked.catch) asked.catch(() => {});
      }
    });
    const shown = () => machine.show({fullscreen: !!fullscreenElement()});
    document.addEventListener('fullscreenchange', shown);
    document.addEventListener('webkitfullscreenchange', shown);
  }

  root.brelvoTouch = {wire: wire};
})(window);
