// The invite's and the reply's panels: each link as text, as a QR code, to copy and to
// share; and the tab a reply link opened in, which hands the reply to the tab whose
// invite waits for it.
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
        const script = document.createElement('script');
        script.src = name;
        script.async = false;  // in the list's order
        script.onload = loaded;
        script.onerror = () => failed(new Error(name + ' did not load'));
        document.head.append(script);
      })));
      later.then(() => navigator.serviceWorker && navigator.serviceWorker.ready)
        .then((registration) => registration && registration.active &&
              registration.active.postMessage('keep later'))
        .catch(() => {});
      later.catch(() => { later = null; });  // tried again by the next invite or link
    }
    return later;
  }

  function showLink(which, link, label) {
    $(which + '-link').value = link;
    $(which + '-box').hidden = false;
    $(which + '-code').replaceChildren(root.brelvoQr.svg(link, label));
    $('share-' + which).hidden = !navigator.share;
  }

  // The panels as a new invite or reply finds them.
  function clear() {
    $('invite-link').value = '';
    $('reply').value = '';
    $('invite-box').hidden = true;
    $('reply-box').hidden = true;
    $('local-warning').hidden = !/^(localhost|127\.|\[::1\])/.test(location.host);
  }

  async function copy(which) {
    const field = $(which + '-link');
    const button = $('copy-' + which);
    let done = false;
    try {
      await navigator.clipboard.writeText(field.value);
      done = true;
    } catch (error) {
      // Without the clipboard (plain http from another address), the old way.
      field.select();
      done = document.execCommand('copy');
    }
    button.textContent = done ? 'Copied' : 'Select the link and copy it';
    setTimeout(() => { button.textContent = which === 'invite' ? 'Copy invite' : 'Copy reply'; }, 2000);
  }

  function share(which) {
    const text = which === 'invite' ? 'Play Brelvo with me: open this link.' :
      'My reply to your Brelvo invite: open it in the browser you invited me from.';
    navigator.share({title: 'Brelvo', text: text, url: $(which + '-link').value}).catch(() => {});
  }

  for (const which of ['invite', 'reply']) {
    $('copy-' + which).addEventListener('click', () => copy(which));
    $('share-' + which).addEventListener('click', () => share(which));
  }

  // This tab only hands the reply over (state 'handing'): the tab whose invite it answers
  // says whether it took it.
  function handOver(fragment) {
    const say = (text) => { $('handoff-message').textContent = text; };
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

  root.brelvoPanels = {base: base, showLink: showLink, clear: clear, handOver: handOver,
                       loadLater: loadLater};
})(window);
