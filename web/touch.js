// Two players on one touch screen: a pad each, whose presses reach the game as that
// player's own keys, and the page kept still under their fingers.
'use strict';
(function () {
  const $ = (id) => document.getElementById(id);
  const page = window.brelvo;
  const pads = [$('pad0'), $('pad1')];
  // Each finger on a pad, by pointer id: {pad, key}, the key it holds down or null.
  const fingers = new Map();

  // The key a finger at (x, y) holds on `pad`: the direction nearest its angle from the
  // pad's middle, or none in the dead middle.
  function keyAt(pad, x, y) {
    const box = pad.getBoundingClientRect();
    const dx = x - (box.left + box.width / 2), dy = y - (box.top + box.height / 2);
    if (Math.hypot(dx, dy) < box.width * 0.15) return null;
    const way = Math.abs(dx) > Math.abs(dy) ? (dx < 0 ? 'left' : 'right') :
      (dy < 0 ? 'up' : 'down');
    return pad.querySelector('.' + way).dataset.key;
  }

  // Lets go of whatever the finger held and presses `key` instead.
  function hold(finger, key) {
    if (finger.key === key) return;
    if (finger.key) {
      finger.pad.querySelector(`[data-key="${finger.key}"]`).classList.remove('held');
      page.press(finger.key, false);
    }
    finger.key = key;
    if (key) {
      finger.pad.querySelector(`[data-key="${key}"]`).classList.add('held');
      page.press(key, true);
    }
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
  pads.forEach((pad) => pad.addEventListener('pointerdown', (event) => {
    lift(event);
    const finger = {pad: pad, key: null};
    fingers.set(event.pointerId, finger);
    hold(finger, keyAt(pad, event.clientX, event.clientY));
  }));
  window.addEventListener('pointermove', (event) => {
    const finger = fingers.get(event.pointerId);
    if (finger) hold(finger, keyAt(finger.pad, event.clientX, event.clientY));
  });
  window.addEventListener('pointerup', lift);
  window.addEventListener('pointercancel', lift);
  window.addEventListener('blur', liftAll);
  document.addEventListener('visibilitychange', () => { if (document.hidden) liftAll(); });

  // The pads come with the first touch, whatever the device says of itself, and never
  // for a player on keys or a mouse.
  window.addEventListener('pointerdown', (event) => {
    if (event.pointerType === 'touch') document.body.classList.add('touch');
  }, true);
  window.addEventListener('contextmenu', (event) => event.preventDefault());

  // End match does what Esc does.
  $('end').addEventListener('click', () => {
    page.press('Escape', true);
    page.press('Escape', false);
  });

  const root = document.documentElement;
  const full = $('fullscreen');
  const request = root.requestFullscreen || root.webkitRequestFullscreen;
  const fullscreenElement = () => document.fullscreenElement || document.webkitFullscreenElement;
  full.hidden = !(request && (document.fullscreenEnabled || document.webkitFullscreenEnabled));
  full.addEventListener('click', () => {
    if (fullscreenElement()) {
      (document.exitFullscreen || document.webkitExitFullscreen).call(document);
    } else {
      const asked = request.call(root);
      if (asked && asked.catch) asked.catch(() => {});
    }
  });
  const shown = () => full.setAttribute('aria-pressed', String(!!fullscreenElement()));
  document.addEventListener('fullscreenchange', shown);
  document.addEventListener('webkitfullscreenchange', shown);
})();
