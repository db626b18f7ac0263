// The page's panels, each one's wiring: the player's clicks, keys and gamepad on the start
// screen, the end of a match, a failure, the invite and the reply with their links to copy
// and to share, the tab a reply link opened in, the end of a match with a friend; each
// turned into the machine's events, or into what the page shows through the machine. And
// remote play's scripts, loaded once a player invites or opens a link.
'use strict';
(function (root) {
  const $ = (id) => document.getElementById(id);
  const base = location.href.split('#')[0];
  const LATER = '@BRELVO_PAGE_LATER_NAMES@'.split(' '); // the build names them (files.cmake)

  // Remote play's scripts, which the start screen does without (the links, the
  // connection, the host's and the guest's sides, the QR codes, the rendezvous): loaded
  // once a player invites or opens a link; from then on the service worker keeps them for
  // offline play. A load that failed is tried whole again, each script after those it
  // needs.
  let later = null;
  function loadLater() {
    if (!later) {
      later = Promise.all(LATER.map((name) => new Promise((loaded, failed) => {
        // The big screen's stylesheet comes with them.
        const sheet = name.endsWith('.css');
        const element = document.createElement(sheet ? 'link' : 'script');
        if (sheet) {
          element.rel = 'stylesheet';
          element.href = name;
        } else {
          element.src = name;
          element.async = false;  // in the list's order
        }
        element.onload = loaded;
        element.onerror = () => failed(new Error(name + ' did not load'));
        document.head.append(element);
      })));
      later.then(() => navigator.serviceWorker && navigator.serviceWorker.ready)
        .then((registration) => registration && registration.active &&
              registration.active.postMessage('keep later'))
        .catch(() => {});
      later.catch(() => { later = null; });  // tried again by the next invite or link
    }
    return later;
  }

  // A link as its panel shows it: its text, its QR code's label, and a Share button where
  // the browser shares.
  const link = (text, label) => ({link: text, label: label, share: !!navigator.share});

  // The host waiting for its friend's page, or counting down: Esc gives up.
  const waiting = (machine) => machine.mode === 'host' && machine.can('back') &&
    (machine.state === 'connected' || machine.state === 'counting');

  // This tab only hands the reply over (state 'handing'): the tab whose invite it answers
  // says whether it took it.
  function handOver(machine, fragment) {
    const say = (text) => machine.show({handoff: text});
    if (!root.BroadcastChannel) {
      say('Paste this reply link into the Reply field of the page that made your invite.');
      return;
    }
    const replies = new BroadcastChannel('brelvo replies');
    const id = Math.random().toString(36).slice(2);
    let answered = false;
    replies.onmessage = (event) => {
      if (!event.data || event.data.answer !== id || answered) return;
      answered = true;
      say(event.data.taken ? 'Your friend\'s reply went to your invite: go back to its tab.'
        : 'This invite is already used.');
    };
    replies.postMessage({reply: fragment, id: id});
    setTimeout(() => {
      if (!answered) {
        say('No invite in this browser waits for this reply. Open it in the browser that ' +
            'made the invite, or paste it into that page\'s Reply field.');
      }
    }, 1500);
  }

  // Replies handed over by another tab of this browser (handOver's other end): decide(tag)
  // is true to take one, then given to take(reply); false for one to an invite this tab
  // used; null for one not this tab's.
  function hearReplies(decide, take) {
    if (!root.BroadcastChannel) return;
    const replies = new BroadcastChannel('brelvo replies');
    replies.onmessage = (event) => {
      const data = event.data;
      if (!data || typeof data.reply !== 'string') return;
      const taken = decide(data.reply.split('.')[1]);
      if (taken !== null) replies.postMessage({answer: data.id, taken: taken});
      if (taken) take(data.reply);
    };
  }

  // Every panel's controls, once: machine, the page's (machine.js); page: {invite(), the
  // gate's Invite a friend; takeReply(text), a reply given to the host's page; bigScreen(),
  // the gate's Big screen; computer(on), the right side given to the computer or back;
  // again(), a pad asking for another match; screenReply(text), a phone's reply given to
  // the big screen}.
  function wire(machine, page) {
    const fire = (event, timeStamp) => machine.fire(event, {timeStamp: timeStamp});

    // ---- The start screen ----

    // A button's mode: the one it names, or none for a button that starts nothing.
    // Anywhere else on the start screen is two players.
    const chosen = (target) => {
      const button = target instanceof Element && target.closest('#gate button');
      return button ? button.dataset.mode : 'two';
    };
    function choose(event, mode) {
      if (mode === 'remote') page.invite();
      else if (mode === 'big') page.bigScreen();
      else machine.fire('play', {mode: mode, timeStamp: event.timeStamp});
    }
    $('gate').addEventListener('click', (event) => {
      const mode = chosen(event.target);
      if (mode) choose(event, mode);
    });
    // A gamepad shows itself with its first button. On the start screen that press starts
    // a match only where the browser counts it as the player's gesture, which sound needs;
    // elsewhere the start screen asks for a tap, a click or a key.
    window.addEventListener('gamepadconnected', () => {
      if (machine.state !== 'gate') return;
      if (navigator.userActivation && navigator.userActivation.isActive) {
        machine.fire('play', {mode: 'two', timeStamp: performance.now()});
      } else {
        machine.show({prompt: 'a pad plays once a match runs: tap, click or press a key to ' +
                        'start'});
      }
    });

    // Any key but the ones that move focus or only modify others starts two players; Enter
    // or Space on a start screen's button is that button's.
    const ignored = new Set(['Tab', 'Shift', 'Control', 'Alt', 'Meta', 'Escape']);
    // After a match or a failure, Enter or Space plays that mode again, wherever the focus
    // went.
    const again = new Set(['Enter', ' ']);
    window.addEventListener('keydown', (event) => {
      if (event.repeat) return;
      if (event.key === 'Escape' && waiting(machine)) {
        machine.fire('back');
      } else if (machine.state === 'gate' && !ignored.has(event.key)) {
        const mode = again.has(event.key) ? chosen(document.activeElement) : 'two';
        if (!mode) return;
        event.preventDefault();
        choose(event, mode);
      } else if (again.has(event.key) &&
                 (machine.state === 'over' || machine.state === 'failed') &&
                 machine.can(machine.state === 'over' ? 'again' : 'retry') &&
                 !(document.activeElement instanceof HTMLButtonElement &&
                   document.activeElement.id.endsWith('home'))) {
        event.preventDefault();
        fire(machine.state === 'over' ? 'again' : 'retry', event.timeStamp);
      }
    });

    // ---- The end of a match, a failure, a friend gone: again, or the start screen ----

    for (const [id, event] of [['again', 'again'], ['over-home', 'home'], ['retry', 'retry'],
                               ['failed-home', 'home'], ['ended-again', 'again'],
                               ['home', 'home']]) {
      $(id).addEventListener('click', (e) => fire(event, e.timeStamp));
    }

    // ---- The big screen and a phone's pad ----

    $('start').addEventListener('click', (e) => fire('count', e.timeStamp));
    $('party-home').addEventListener('click', (e) => fire('home', e.timeStamp));
    $('computer').addEventListener('click', () =>
      page.computer($('computer').getAttribute('aria-pressed') !== 'true'));
    $('pad-again').addEventListener('click', () => page.again());
    $('party-connect').addEventListener('click', () => page.screenReply($('party-reply').value));
    $('party-reply').addEventListener('keydown', (event) => {
      if (event.key === 'Enter') page.screenReply($('party-reply').value);
    });

    // ---- The invite (the host's) and the reply (the guest's) ----

    $('cancel').addEventListener('click', (e) => fire('back', e.timeStamp));
    $('connect').addEventListener('click', () => page.takeReply($('reply').value));
    $('reply').addEventListener('keydown', (event) => {
      if (event.key === 'Enter') page.takeReply($('reply').value);
    });
    $('join').addEventListener('click', (e) => fire('join', e.timeStamp));

    // Copied, said on the button a while.
    async function copy(which) {
      const field = $(which + '-link');
      let done = false;
      try {
        await navigator.clipboard.writeText(field.value);
        done = true;
      } catch (error) {
        // Without the clipboard (plain http from another address), the old way.
        field.select();
        done = document.execCommand('copy');
      }
      const copied = {which: which, text: done ? 'Copied' : 'Select the link and copy it'};
      machine.show({copied: copied});
      setTimeout(() => { if (machine.view.copied === copied) machine.show({copied: null}); }, 2000);
    }
    function share(which) {
      const text = which === 'invite' ? 'Play Brelvo with me: open this link.'
        : which === 'seat-reply' ? 'My reply to the big screen: open it in its browser.'
          : 'My reply to your Brelvo invite: open it in the browser you invited me from.';
      navigator.share({title: 'Brelvo', text: text, url: $(which + '-link').value}).catch(() => {});
    }
    for (const which of ['invite', 'reply', 'seat-reply']) {
      $('copy-' + which).addEventListener('click', () => copy(which));
      $('share-' + which).addEventListener('click', () => share(which));
    }
  }

  root.brelvoPanels = {base: base, loadLater: loadLater, link: link, waiting: waiting,
                       handOver: handOver, hearReplies: hearReplies, wire: wire};
})(window);
