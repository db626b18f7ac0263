// The page's half of the one bridge between the page and the game (bridge.h): the names
// the page finds on the game's instance, and the calls by which the game tells the page
// what happens. The browser's stand-in for SDL (src/platform/web/library.js) only draws,
// hears keys and pads and plays sound; what a match means to the page passes here.
//
// The page hands the game:
//   press(source, player, way, down, number)
//                               a press: source 'here' (this device's touch pads),
//                               'friend' (numbered, from the friend's page) or 'pad' (a
//                               phone's on the big screen); player 0 or 1 as the source
//                               names it, a phone's side; way 'up', 'down', 'left', 'right'
//   buttonOf(name)              whose key a key is, by the game's own key table: {player,
//                               way}, or null for a key no player's
//   rearmMs()                   how long after a press it takes the game refuses that
//                               player's next (ms)
//   key(name, down)             a key by its name ('Escape'): the stand-in's keyboard
//   releaseKeys()               every key held here let go: the stand-in's
//   friendLeft()                the friend has gone: two players here again
//   hold(on)                    the friend, or a phone, not heard: the match holds, or
//                               goes on
//   side(side, held)            the big screen: a phone takes side 0 or 1 (held true), or
//                               gives it back to the keys; what the side's keys or phone
//                               held is let go
//   sound(what)                 a guest plays the host's sound, as onSound told it; false
//                               for a clip or a kind it has not
//   predictPress(n, way, at)    a guest's own press, numbered, at its time
//   predict(cells, taken)       a guest's frame from the host: what the guest shows
//   mispredicted()              how many frames showed the guest otherwise than foreseen
//   leave()                     a guest's page lets its instance go
// The game tells the page, through the options it was made with:
//   onComposed(cells, taken)    each frame composed (FRAME_BYTES bytes), with the newest
//                               of the friend's presses it shows
//   onTaken(taken)              a friend's press handed to the game, refused or not
//   onSound(what)               what the mixer did: {k: 'play', c, p, l, t, g},
//                               {k: 'halt', c}, {k: 'volume', p, g}; p a clip by its name
//   onComputerLevel(ms)         the computer's reaction after a round it played
//   onGuestReady()              a guest's clips are loaded
//   onPress(name, down)         a key a guest's gamepad pressed, to send on
//   onFrame()                   a frame drawn (the stand-in's, and a guest's page's)
//   onMatchEnd(status)          the match is over
//   onFailure(message)          the game failed
mergeInto(LibraryManager.library, {
  $bridge__deps: ['$brelvo'],
  $bridge__postset: 'bridge.open();',
  $bridge: {
    FRAME_BYTES: 11 * 9 * 3,  // 11 x 9 cells, red, green and blue
    WAYS: ['up', 'down', 'left', 'right'],  // as the game numbers them
    SOURCES: ['here', 'friend', 'pad'],  // as bridge.h numbers them
    friendTaken: 0,  // the newest of a friend's presses handed to the game
    // Whether the game hears presses now: between its start and its end.
    listening: function() { return brelvo.held !== null; },
    // The clip a name stands for, among those loaded.
    named: function(name) {
      var found = null;
      if (brelvo.audio) {
        brelvo.audio.clips.forEach(function(clip) { if (clip.name === name) found = clip; });
      }
      return found;
    },
    open: function() {
      // The mixer tells each clip by its load order; the page hears it by its name, the
      // same on every device.
      brelvo.heard = function(what, clip) {
        if (!Module['onSound']) return;
        if (clip) {
          if (!clip.name) return;  // a clip not of the game's own blocks
          what.p = clip.name;
        }
        Module['onSound'](what);
      };
      // Every press from elsewhere than the keyboard and the gamepads; whose key it is,
      // the game decides.
      Module['press'] = function(source, player, way, down, number) {
        var from = bridge.SOURCES.indexOf(source), index = bridge.WAYS.indexOf(way);
        if (from >= 0 && index >= 0 && (player === 0 || player === 1) && bridge.listening()) {
          _brelvo_web_press(from, player, index, down ? 1 : 0, (number || 0) >>> 0);
        }
      };
      Module['buttonOf'] = function(name) {
        var button = _brelvo_web_button_of(brelvo.symbol({key: name}));
        return button < 0 ? null : {player: button >> 2, way: bridge.WAYS[button & 3]};
      };
      Module['rearmMs'] = function() { return _brelvo_web_rearm_ms(); };
      // The friend's going, after which the match goes on with two players here.
      Module['friendLeft'] = function() {
        if (bridge.listening()) _brelvo_web_friend_gone();
      };
      // The friend, or a phone, not heard for a while: the match holds until heard again.
      Module['hold'] = function(on) {
        if (bridge.listening()) _brelvo_web_hold(on ? 1 : 0);
      };
      // The big screen: a phone takes a side's pad, or gives it back to the keys.
      Module['side'] = function(side, held) {
        if ((side === 0 || side === 1) && bridge.listening()) _brelvo_web_side(side, held ? 1 : 0);
      };
    },
  },

  // A guest's page (guest.cpp) has its clips: the page plays the host's sounds with
  // them, each as the host's mixer told it, and lets the guest go.
  web_clip_named__deps: ['$brelvo'],
  web_clip_named: function(chunk, name) {
    var clip = brelvo.audio && brelvo.audio.clips.get(chunk);
    if (clip) clip.name = UTF8ToString(name);
  },

  web_guest_ready__deps: ['$bridge', '$brelvo'],
  web_guest_ready: function() {
    Module['sound'] = function(what) {
      var clip = typeof what.p === 'string' ? bridge.named(what.p) : null;
      if (what.k === 'play' && clip) {
        brelvo.play(what.c, clip, what.l, what.t, what.g);
      } else if (what.k === 'halt') {
        brelvo.halt(what.c);
      } else if (what.k === 'volume' && clip) {
        brelvo.volume(clip, what.g);
      } else {
        return false;
      }
      return true;
    };
    Module['leave'] = function() { _brelvo_web_quit(); };
    // The guest's own moves at once: each of its presses as it is made, and each frame
    // from the host, with the newest of those presses it shows, given back as this page
    // should show it.
    var cells = _brelvo_web_guest_cells();
    Module['predictPress'] = function(number, way, at) {
      var index = bridge.WAYS.indexOf(way);
      if (index >= 0) _brelvo_web_guest_pressed(number >>> 0, index, Math.trunc(at) >>> 0);
    };
    Module['predict'] = function(frame, taken) {
      HEAPU8.set(frame, cells);
      _brelvo_web_guest_frame(taken >>> 0);
      return HEAPU8.slice(cells, cells + bridge.FRAME_BYTES);
    };
    Module['mispredicted'] = function() { return _brelvo_web_guest_corrected() >>> 0; };
    if (Module['onGuestReady']) Module['onGuestReady']();
  },
  // A key the guest's gamepad presses, by its name ('w', 'ArrowUp', 'Escape'), for the
  // page to send to the host.
  web_guest_press__deps: ['$brelvo'],
  web_guest_press: function(symbol, down) {
    var name = symbol < 128 && symbol !== 27 ? String.fromCharCode(symbol) :
        Object.keys(brelvo.keys).find(function(key) { return brelvo.keys[key] === symbol; });
    if (name && Module['onPress']) Module['onPress'](name, down !== 0);
  },

  // Each frame as the game composed it, cell by cell, whatever the canvas's size (a
  // friend's device draws it at its own), with the newest of a friend's presses it shows.
  web_frame__deps: ['$bridge'],
  web_frame: function(rgb) {
    if (Module['onComposed']) {
      Module['onComposed'](HEAPU8.slice(rgb, rgb + bridge.FRAME_BYTES), bridge.friendTaken);
    }
  },
  // And to the page at once: a press the game refuses composes no frame, yet the friend
  // must hear of it.
  web_friend_press_taken__deps: ['$bridge'],
  web_friend_press_taken: function(number) {
    bridge.friendTaken = number >>> 0;
    if (Module['onTaken']) Module['onTaken'](bridge.friendTaken);
  },
  // The computer's level after each round it played to a result: the page starts the next
  // match there ("--computer=MS").
  web_computer_level: function(ms) {
    if (Module['onComputerLevel']) Module['onComputerLevel'](ms);
  },

  web_exited: function(status) {
    if (Module['onMatchEnd']) Module['onMatchEnd'](status);
  },
  // A game that fails ends without SDL_Quit: it still takes nothing more from the page.
  web_failed__deps: ['$brelvo', 'web_unlisten', 'web_pads_unlisten'],
  web_failed: function(message) {
    if (brelvo.held) _web_unlisten();
    if (brelvo.seats) _web_pads_unlisten();
    if (Module['onFailure']) Module['onFailure'](UTF8ToString(message));
  },
});
