// The page's side of the browser layer (web.h): the canvas, the keys, the gamepads and
// the sound.
mergeInto(LibraryManager.library, {
  $brelvo: {
    // SDL 1.2's key symbols for the keys that are not characters.
    keys: {
      Backspace: 8, Tab: 9, Enter: 13, Escape: 27, Delete: 127, ArrowUp: 273,
      ArrowDown: 274, ArrowRight: 275, ArrowLeft: 276, Insert: 277, Home: 278, End: 279,
      PageUp: 280, PageDown: 281, Shift: 304, Control: 306, Alt: 308, Meta: 310,
    },
    symbol: function(event) {
      if (event.key.length === 1) {
        var code = event.key.toLowerCase().charCodeAt(0);
        return code < 256 ? code : 0;
      }
      return brelvo.keys[event.key] || 0;
    },
    modifiers: function(event) {
      return (event.shiftKey ? 0x1 : 0) | (event.ctrlKey ? 0x40 : 0) |
             (event.altKey ? 0x100 : 0) | (event.metaKey ? 0x400 : 0);
    },
    // The game's keys do nothing else while it runs: arrows and space do not scroll. A
    // field of the page's (a link to paste) keeps its keys.
    onKey: function(event) {
      if (event.target instanceof Element && event.target.closest('input, textarea')) return;
      var symbol = brelvo.symbol(event);
      if (symbol !== 0 && !event.ctrlKey && !event.altKey && !event.metaKey) {
        event.preventDefault();
      }
      if (event.repeat) return;
      var down = event.type === 'keydown';
      if (down) {
        brelvo.held.add(symbol);
      } else {
        brelvo.held.delete(symbol);
      }
      _brelvo_web_key(down ? 1 : 0, symbol, brelvo.modifiers(event));
    },
    // A key still down when the page loses the keyboard would never come up: let it go.
    releaseKeys: function(event) {
      if (event && event.type === 'visibilitychange' && !document.hidden) return;
      brelvo.held.forEach(function(symbol) { _brelvo_web_key(0, symbol, 0); });
      brelvo.held.clear();
    },
    // Starts `clip` on `channel`, as web_audio_play says.
    play: function(channel, clip, loops, ticks, volume) {
      var audio = brelvo.audio;
      var replaced = brelvo.stop(channel);
      if (!clip.buffer) return;  // a clip whose audio did not decode is silent
      var source = audio.context.createBufferSource();
      var gain = audio.context.createGain();
      source.buffer = clip.buffer;
      source.loop = loops !== 0;
      gain.gain.value = volume / 128;
      source.connect(gain);
      gain.connect(audio.out);
      var now = audio.context.currentTime;
      var length = loops < 0 ? Infinity : (loops + 1) * clip.buffer.duration;
      if (ticks >= 0) length = Math.min(length, ticks / 1000);
      source.start(now);
      if (length !== Infinity) source.stop(now + length);
      var state = {source: source, gain: gain, clip: clip, ends: now + length};
      source.onended = function() {
        if (audio.channels[channel] === state) audio.channels[channel] = null;
      };
      audio.channels[channel] = state;
      audio.log.push({at: performance.now(), play: clip.index, channel: channel, loops: loops,
                      gain: volume / 128, replaced: replaced});
    },
    halt: function(channel) {
      var stopped = brelvo.stop(channel);
      if (stopped >= 0) brelvo.audio.log.push({at: performance.now(), halt: channel, clip: stopped});
      return stopped;
    },
    volume: function(clip, volume) {
      clip.volume = volume;
      brelvo.audio.channels.forEach(function(state) {
        if (state && state.clip === clip) state.gain.gain.value = volume / 128;
      });
    },
    // What the mixer does, told as it happens to whoever listens (the bridge, which
    // passes it on to a friend's device), with the clip it played.
    heard: null,
    told: function(what, clip) {
      if (brelvo.heard) brelvo.heard(what, clip);
    },
    // The game's window is the canvas's box: the whole browser window, or what the
    // touch pads leave of it. A window has at least one pixel each way.
    onResize: function() {
      var canvas = Module['canvas'];
      var width = Math.max(1, canvas ? canvas.clientWidth : window.innerWidth);
      var height = Math.max(1, canvas ? canvas.clientHeight : window.innerHeight);
      if (width === brelvo.width && height === brelvo.height) return;
      brelvo.width = width;
      brelvo.height = height;
      _brelvo_web_resize(width, height);
    },
    // Silences a channel; returns the clip it was still playing, or -1.
    stop: function(channel) {
      var audio = brelvo.audio, state = audio && audio.channels[channel];
      if (!state) return -1;
      audio.channels[channel] = null;
      state.source.onended = null;
      var playing = audio.context.currentTime < state.ends;
      if (playing) state.source.stop();
      state.gain.disconnect();
      return playing ? state.clip.index : -1;
    },
    // The gamepads, in the joysticks' two seats (sdl_joystick.cpp): the first pad the
    // browser shows sits in seat 0, player 0's, the next in seat 1; a pad that goes frees
    // its seat for the next to come. The seated pads are read each animation frame, and
    // only then: a change is seen at once, and nothing runs while no pad is seated.
    seats: null,  // each seat's pad, by the browser's index, or null
    reading: 0,  // the animation frame asked for the next reading
    gamepads: function() {
      try {
        return navigator.getGamepads ? Array.from(navigator.getGamepads()) : [];
      } catch (error) {
        return [];  // a page the browser does not let near the pads has none
      }
    },
    sit: function(pad) {
      var seats = brelvo.seats;
      if (!pad || pad.connected === false || seats.indexOf(pad.index) >= 0) return;
      var seat = seats.indexOf(null);
      if (seat < 0) return;
      seats[seat] = pad.index;
      _brelvo_web_pad_seat(seat, pad.axes.length, pad.mapping === 'standard' ? 1 : 0);
      if (!brelvo.reading) brelvo.reading = requestAnimationFrame(brelvo.readPads);
    },
    leave: function(seat) {
      brelvo.seats[seat] = null;
      _brelvo_web_pad_seat(seat, 0, 0);  // which lets go of all it held
    },
    onPad: function(event) {
      if (event.type === 'gamepadconnected') {
        brelvo.sit(event.gamepad);
      } else {
        var seat = brelvo.seats.indexOf(event.gamepad.index);
        if (seat >= 0) brelvo.leave(seat);
      }
    },
    readPads: function() {
      brelvo.reading = 0;
      var pads = brelvo.gamepads();
      brelvo.seats.forEach(function(index, seat) {
        if (index === null) return;
        var pad = pads.find(function(each) { return each && each.index === index; });
        if (!pad || pad.connected === false) {
          brelvo.leave(seat);
          return;
        }
        pad.axes.forEach(function(value, axis) {
          _brelvo_web_pad_axis(seat, axis, Math.trunc(value * 32767));
        });
        pad.buttons.forEach(function(button, n) {
          _brelvo_web_pad_button(seat, n, button.pressed ? 1 : 0);
        });
      });
      if (brelvo.seats.some(function(index) { return index !== null; })) {
        brelvo.reading = requestAnimationFrame(brelvo.readPads);
      }
    },
    held: null,  // the keys the keyboard holds down, while the game listens
    width: 0,
    height: 0,
    observer: null,
    waiter: null,
    context: null,
    audio: null,
  },

  web_listen__deps: ['$brelvo'],
  web_listen: function() {
    window.addEventListener('keydown', brelvo.onKey);
    window.addEventListener('keyup', brelvo.onKey);
    window.addEventListener('blur', brelvo.releaseKeys);
    document.addEventListener('visibilitychange', brelvo.releaseKeys);
    brelvo.held = new Set();  // the symbols of the keys down
    brelvo.width = brelvo.height = 0;
    var canvas = Module['canvas'];
    if (canvas && window.ResizeObserver) {
      brelvo.observer = new ResizeObserver(brelvo.onResize);
      brelvo.observer.observe(canvas);
    } else {
      window.addEventListener('resize', brelvo.onResize);
    }
    // The page gives the game the whole window, as a window manager that maximises it.
    brelvo.onResize();
    // The page's other ways to play (the touch pads) press the same keys: one key by
    // its name ('w', 'ArrowUp', 'Escape'), down or up. Whose key it is, the game decides.
    Module['key'] = function(name, down) {
      _brelvo_web_key(down ? 1 : 0, brelvo.symbol({key: name}), 0);
    };
    Module['releaseKeys'] = brelvo.releaseKeys;
  },
  web_unlisten__deps: ['$brelvo'],
  web_unlisten: function() {
    delete Module['key'];
    delete Module['releaseKeys'];
    window.removeEventListener('keydown', brelvo.onKey);
    window.removeEventListener('keyup', brelvo.onKey);
    window.removeEventListener('blur', brelvo.releaseKeys);
    document.removeEventListener('visibilitychange', brelvo.releaseKeys);
    window.removeEventListener('resize', brelvo.onResize);
    if (brelvo.observer) brelvo.observer.disconnect();
    brelvo.observer = null;
    brelvo.held = null;
  },

  web_pads_listen__deps: ['$brelvo'],
  web_pads_listen: function() {
    brelvo.seats = [null, null];
    window.addEventListener('gamepadconnected', brelvo.onPad);
    window.addEventListener('gamepaddisconnected', brelvo.onPad);
    // The pads shown before this match take their seats in the browser's order.
    brelvo.gamepads().forEach(brelvo.sit);
  },
  web_pads_unlisten__deps: ['$brelvo'],
  web_pads_unlisten: function() {
    window.removeEventListener('gamepadconnected', brelvo.onPad);
    window.removeEventListener('gamepaddisconnected', brelvo.onPad);
    if (brelvo.reading) cancelAnimationFrame(brelvo.reading);
    brelvo.reading = 0;
    brelvo.seats = null;
  },
  web_pads_read__deps: ['$brelvo'],
  web_pads_read: function() {
    if (brelvo.reading) cancelAnimationFrame(brelvo.reading);
    brelvo.readPads();
  },

  web_wait__deps: ['$brelvo'],
  web_wait: function() {
    Asyncify.handleSleep(function(wakeUp) { brelvo.waiter = wakeUp; });
  },
  // Called with the game's code on the stack, so the wait ends once that code returns.
  web_wake__deps: ['$brelvo', '$callUserCallback'],
  web_wake: function() {
    var wakeUp = brelvo.waiter;
    if (wakeUp) {
      brelvo.waiter = null;
      Promise.resolve().then(function() { callUserCallback(wakeUp); });
    }
  },

  web_canvas__deps: ['$brelvo'],
  web_canvas: function(width, height) {
    var canvas = Module['canvas'];
    var context = canvas && canvas.getContext('2d', {alpha: false});
    if (!context) return 0;
    canvas.width = width;
    canvas.height = height;
    brelvo.context = context;
    return 1;
  },
  web_present__deps: ['$brelvo'],
  web_present: function(pixels, width, height) {
    var bytes = new Uint8ClampedArray(HEAPU8.buffer, pixels, width * height * 4);
    brelvo.context.putImageData(new ImageData(bytes, width, height), 0, 0);
    Module['frames'] = (Module['frames'] || 0) + 1;
    if (Module['frames'] === 1) Module['firstFrameAt'] = performance.now();
    if (Module['onFrame']) Module['onFrame']();
  },
  web_set_title: function(title) {
    document.title = UTF8ToString(title);
  },

  // The page makes the AudioContext in the player's gesture and hands it over, so sound
  // plays from the first round; without one the game does not start, as on the desktop.
  web_audio_open__deps: ['$brelvo', 'web_audio_playing'],
  web_audio_open: function(reason, size) {
    var context = Module['audioContext'];
    if (!context || context.state === 'closed') {
      stringToUTF8(Module['audioError'] || 'this browser has no WebAudio', reason, size);
      return -1;
    }
    var out = context.createGain();
    var meter = context.createAnalyser();
    meter.fftSize = 2048;
    out.connect(meter);
    meter.connect(context.destination);
    brelvo.audio = {context: context, out: out, meter: meter, channels: [], clips: new Map(),
                    log: []};
    // What the page plays, for the player's ears and for the tests.
    Module['mixer'] = {
      log: brelvo.audio.log,
      clips: function() {
        return Array.from(brelvo.audio.clips.values(), function(clip) {
          // A clip not decoded yet has no frames.
          return {name: clip.name || null, frames: clip.buffer ? clip.buffer.length : 0,
                  rate: clip.buffer ? clip.buffer.sampleRate : 0, volume: clip.volume};
        });
      },
      channels: function() {
        return brelvo.audio.channels.map(function(state, channel) {
          return state && _web_audio_playing(channel) ?
              {clip: state.clip.index, loop: state.source.loop, gain: state.gain.gain.value} : null;
        });
      },
      level: function() {
        var samples = new Float32Array(meter.fftSize);
        meter.getFloatTimeDomainData(samples);
        var sum = 0;
        for (var i = 0; i < samples.length; i++) sum += samples[i] * samples[i];
        return Math.sqrt(sum / samples.length);
      },
      state: function() { return context.state; },
      output: meter,  // everything the page sounds passes here on its way out
    };
    return 0;
  },
  web_audio_close__deps: ['$brelvo', 'web_audio_halt'],
  web_audio_close: function() {
    brelvo.audio.channels.forEach(function(state, channel) { _web_audio_halt(channel); });
    brelvo.audio.out.disconnect();
    brelvo.audio.context.close();
    brelvo.audio.closed = true;
  },
  // A clip loaded: its samples come later (web_audio_samples), decoded one clip at a
  // time from just after the first frame is on the screen, each in a task of its own, so
  // that the splash shows at once and keys are never kept waiting for long.
  web_audio_clip__deps: ['$brelvo', '$callUserCallback'],
  web_audio_clip: function(chunk) {
    var audio = brelvo.audio;
    // name: the game's own name for it, where the game tells one (the bridge).
    audio.clips.set(chunk, {buffer: null, index: audio.clips.size, volume: 128, name: null});
    if (audio.decoding) return;
    audio.decoding = true;
    var next = function() {
      if (brelvo.audio !== audio || audio.closed) return;
      callUserCallback(function() {
        if (_brelvo_web_decode() > 0) setTimeout(next, 0);
      });
    };
    // An animation frame's callbacks run just before it is painted: a timeout set there
    // runs after.
    requestAnimationFrame(function() { setTimeout(next, 0); });
  },
  web_audio_samples__deps: ['$brelvo'],
  web_audio_samples: function(chunk, frames, count, rate) {
    var buffer = brelvo.audio.context.createBuffer(2, count, rate);
    var left = buffer.getChannelData(0), right = buffer.getChannelData(1);
    var samples = HEAP16.subarray(frames >> 1, (frames >> 1) + count * 2);
    for (var i = 0; i < count; i++) {
      left[i] = samples[2 * i] / 32768;
      right[i] = samples[2 * i + 1] / 32768;
    }
    brelvo.audio.clips.get(chunk).buffer = buffer;
  },
  web_audio_forget__deps: ['$brelvo', 'web_audio_halt'],
  web_audio_forget: function(chunk) {
    var clip = brelvo.audio.clips.get(chunk);
    brelvo.audio.channels.forEach(function(state, channel) {
      if (state && state.clip === clip) _web_audio_halt(channel);
    });
    brelvo.audio.clips.delete(chunk);
  },
  // loops: how many times more (-1 for ever); ticks: a limit in ms (-1 for none).
  web_audio_play__deps: ['$brelvo'],
  web_audio_play: function(channel, chunk, loops, ticks, volume) {
    var clip = brelvo.audio.clips.get(chunk);
    brelvo.play(channel, clip, loops, ticks, volume);
    brelvo.told({k: 'play', c: channel, p: clip.index, l: loops, t: ticks, g: volume}, clip);
  },
  web_audio_halt__deps: ['$brelvo'],
  web_audio_halt: function(channel) {
    if (brelvo.halt(channel) >= 0) brelvo.told({k: 'halt', c: channel});
  },
  web_audio_playing__deps: ['$brelvo'],
  web_audio_playing: function(channel) {
    var audio = brelvo.audio, state = audio && audio.channels[channel];
    return state && audio.context.currentTime < state.ends ? 1 : 0;
  },
  web_audio_volume__deps: ['$brelvo'],
  web_audio_volume: function(chunk, volume) {
    var clip = brelvo.audio.clips.get(chunk);
    if (!clip) return;
    brelvo.volume(clip, volume);
    brelvo.told({k: 'volume', p: clip.index, g: volume}, clip);
  },

});
