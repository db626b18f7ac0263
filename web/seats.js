// What the big screen and a phone at it show, drawn from the machine's view as view.js
// draws the rest, and called by it once loaded (with the big screen's scripts): each side's
// code and the watch code, or who holds the side; a phone's pad alone in its side's colour,
// with the side's name and the score.
'use strict';
(function (root) {
  const $ = (id) => document.getElementById(id);
  let put, say, hide;  // view.js's: only what differs is written

  // Each side's code while no one holds it, the watch code always: a QR code, its caption
  // and its short link.
  const BY = {phone: 'on a phone', quiet: 'reconnecting…', computer: 'the computer'};
  function seats(party) {
    hide('seats', !party);
    document.body.classList.toggle('screen', !!party);
    if (!party) return;
    hide('seat-watch', !party.watch);
    const figures = [...party.seats, {link: party.watch, name: 'Watch', by: null}];
    figures.forEach((seat, n) => {
      if (!seat.link) return;
      const figure = $(n < 2 ? 'seat' + n : 'seat-watch');
      const free = !seat.by;
      document.body.classList.toggle('code' + n, free);
      const caption = n < 2 ? seat.name + ': ' + (free ? 'scan to play' : BY[seat.by])
        : 'Watch: scan to follow the match' +
          (party.watchers ? ' (' + party.watchers + ' watching)' : '');
      const code = figure.querySelector('.code');
      if (code.dataset.link !== seat.link.link) {
        code.dataset.link = seat.link.link;
        code.replaceChildren(root.brelvoQr.svg(seat.link.link, seat.link.label));
      }
      put(code, 'hidden', !free);
      const said = figure.querySelector('figcaption');
      if (said.dataset.said !== caption + seat.link.link) {
        said.dataset.said = caption + seat.link.link;
        const link = document.createElement('span');
        link.className = 'short';
        link.textContent = seat.link.link;
        said.replaceChildren(caption, document.createElement('br'), link);
      }
    });
    hide('party-note', !party.note);
    say('party-note', party.note);
    hide('party-reply-box', !party.note);
    say('party-said', party.said);
    put($('computer'), 'disabled', party.seats[1].by === 'phone' || party.seats[1].by === 'quiet');
    if ($('computer').getAttribute('aria-pressed') !== String(party.computer)) {
      $('computer').setAttribute('aria-pressed', String(party.computer));
    }
  }

  // A phone's side: its pad alone, filling the screen in its colour, its name and score.
  function seat(view) {
    const shown = view.seat && view.panel === null ? view.seat : null;
    document.body.classList.toggle('seat', !!shown && shown.side >= 0);
    document.body.classList.toggle('watching', !!shown && shown.side < 0);
    document.body.classList.toggle('left-side', !!shown && shown.side === 0);
    document.body.classList.toggle('right-side', !!shown && shown.side === 1);
    hide('pad-info', !shown || shown.side < 0);
    hide('pad-again', !shown || shown.side < 0 || shown.match !== 'over');
    if (view.seat) {
      say('seat-name', view.seat.name);
      say('seat-message', view.message === null ? '' : view.message);
    }
    if (!shown) return;
    const [l, r] = shown.score;
    say('pad-info', shown.name + '   ' + l + ' : ' + r +
        (shown.quiet ? '   Reconnecting…'
          : shown.match === 'over' ? '   The match is over' : ''));
  }

  function draw(view, was, writers) {
    ({put, say, hide} = writers);
    if (view.party !== was.party) seats(view.party);
    seat(view);
  }

  root.brelvoSeats = {draw: draw};
})(window);
