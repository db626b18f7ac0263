// What the page shows, drawn from the machine's view (machine.js) each time it changes:
// the panel in view, the status line and its round trip, the countdown or the hold over the
// grid, the touch pads and the ways lit on them, each panel's words, buttons and links,
// the focus, and the guest's picture of the host's frames. The one writer of the page
// with seats.js, which draws the big screen's codes and a phone's pad, loaded with them:
// every other script changes the view through the machine.
'use strict';
(function (root) {
  const $ = (id) => document.getElementById(id);
  const panels = Array.from(document.getElementsByClassName('panel'));
  const canvas = $('game');
  // The markup's own words, where the view has none of its own (null).
  const own = {prompt: $('prompt').textContent, 'copy-invite': $('copy-invite').textContent,
               'copy-reply': $('copy-reply').textContent,
               'copy-seat-reply': $('copy-seat-reply').textContent};
  let last = {};  // the view drawn last

  // Only what differs is written: nothing the player reads, types or selects moves.
  function put(element, property, value) {
    if (element[property] !== value) element[property] = value;
  }
  const say = (id, text) => put($(id), 'textContent', text);
  const hide = (id, hidden) => put($(id), 'hidden', hidden);

  // ---- The grid ----

  // The grid's geometry in a window w x h pixels, as the game draws it: cells s pixels
  // square, the 9 x 9 grid in the middle from (x0, y0), the score columns at -1 and 9.
  function geometry(w, h) {
    const s = Math.min(Math.trunc(w / 11), Math.trunc(h / 9));
    return {s: s, x0: Math.trunc((w - 9 * s) / 2), y0: Math.trunc((h - 9 * s) / 2)};
  }

  // A frame's 11 x 9 cells (r, g, b each, row by row, each row its score columns and the
  // grid between them) painted whole at the canvas's size.
  function paint(cells) {
    const w = Math.max(1, canvas.clientWidth), h = Math.max(1, canvas.clientHeight);
    if (canvas.width !== w || canvas.height !== h) {
      canvas.width = w;
      canvas.height = h;
    }
    const g = canvas.getContext('2d', {alpha: false});
    g.fillStyle = '#000';
    g.fillRect(0, 0, w, h);
    const {s, x0, y0} = geometry(w, h);
    for (let i = 0; i < 99; i++) {
      const [r, gr, b] = cells.subarray(3 * i, 3 * i + 3);
      if (r | gr | b) {
        g.fillStyle = `rgb(${r},${gr},${b})`;
        g.fillRect(x0 + (i % 11 - 1) * s, y0 + Math.trunc(i / 11) * s, s, s);
      }
    }
  }

  // The guest's picture, told to its game's handle as the host's game tells each frame.
  function picture(view) {
    paint(view.picture);
    const game = view.game;
    if (game) {
      game.frames = (game.frames || 0) + 1;
      if (game.onFrame) game.onFrame();
    }
  }
  window.addEventListener('resize', () => { if (last.picture) picture(last); });

  // ---- The page ----

  // A link to pass on ('invite', 'reply'), or none: as text, as a QR code, to copy and
  // to share.
  function link(which, shown, copied) {
    const field = $(which + '-link');
    hide(which + '-box', !shown);
    if (!shown) {
      put(field, 'value', '');
    } else if (field.value !== shown.link) {
      field.value = shown.link;
      $(which + '-code').replaceChildren(root.brelvoQr.svg(shown.link, shown.label));
    }
    hide('share-' + which, !(shown && shown.share));
    const button = 'copy-' + which;
    say(button, copied && copied.which === which ? copied.text : own[button]);
  }

  // The ways lit on the pads ('0 right': the player, then the way): those let go first,
  // then those held, each in its turn.
  function light(lit) {
    const on = new Set(lit);
    document.querySelectorAll('.pad .held').forEach((span) => {
      if (!on.has(span.parentElement.id.slice(3) + ' ' + span.dataset.way)) {
        span.classList.remove('held');
      }
    });
    for (const held of lit) {
      const [player, way] = held.split(' ');
      const span = document.querySelector(`#pad${player} [data-way="${way}"]`);
      if (span && !span.classList.contains('held')) span.classList.add('held');
    }
  }

  // Whether the view differs from the one drawn last in the ways lit alone: a finger on a
  // pad, many times a second.
  function litAlone(view) {
    const changed = Object.keys(view).filter((key) => view[key] !== last[key]);
    return changed.length === 1 && changed[0] === 'lit';
  }

  function draw(view) {
    const was = last;
    if (view === was) return;
    if (litAlone(view)) {
      last = view;
      light(view.lit);
      return;
    }
    last = view;
    // A panel shown afresh has its Reply field empty.
    if (view.panel === 'host' && $('host').hidden) put($('reply'), 'value', '');
    panels.forEach((panel) => put(panel, 'hidden', panel.id !== view.panel));

    hide('link', !view.bar);
    say('status', view.status);
    say('rtt', view.remote.rtt === null ? '' : view.remote.rtt + ' ms');
    hide('count', !view.count);
    say('count', view.count ? String(view.count) : '');
    hide('hold', !view.hold);
    say('hold', view.hold);

    hide('pad0', !view.pads[0]);
    hide('pad1', !view.pads[1]);
    // The big screen's and a phone's parts, by their own drawing, loaded with them.
    if (root.brelvoSeats) root.brelvoSeats.draw(view, was, {put: put, say: say, hide: hide});
    say('end', view.seat && view.seat.side >= 0 ? 'Leave' : 'End match');
    if (view.lit !== was.lit) light(view.lit);
    if (document.body.classList.contains('touch') !== view.touch) {
      document.body.classList.toggle('touch', view.touch);
    }
    hide('fullscreen', !view.canFullscreen);
    if ($('fullscreen').getAttribute('aria-pressed') !== String(view.fullscreen)) {
      $('fullscreen').setAttribute('aria-pressed', String(view.fullscreen));
    }

    say('prompt', view.prompt === null ? own.prompt : view.prompt);
    hide('invite', !view.canInvite);
    hide('big', !view.canInvite);
    say('over-asked', view.asked);
    hide('over-asked', !view.asked);
    put($('again'), 'disabled', view.againOff);
    say('message', view.message === null ? '' : view.message);
    hide('retry', !view.retry);
    hide('failed-home', !view.failedHome);
    hide('local-warning', !view.local);
    link('invite', view.inviteLink, view.copied);
    say('joining-message', view.invitedBy);
    hide('join', !view.canJoin);
    put($('join'), 'disabled', view.joinOff);
    link('reply', view.replyLink, view.copied);
    link('seat-reply', view.seatReply, view.copied);
    say('handoff-message', view.handoff);
    say('ended-message', view.ended);
    hide('ended-again', !view.endedAgain);

    if (view.picture && view.picture !== was.picture) picture(view);
    if (view.focus && view.focus !== was.focus) $(view.focus.on).focus();
  }

  root.brelvoView = {draw: draw, litAlone: litAlone};
})(window);
