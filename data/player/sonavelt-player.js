/*
 * Sonavelt page sound player for browsers without Java.
 *
 * The run puts this file beside the processed page and loads it from inside
 * the page's applet block:
 *
 *   <applet code=SonaveltRandomEventBackground width="190" height="20">
 *   <param name=random value="Yes">
 *   <param name=resource value="index">
 *   <script src="index.sounds.js"></script>
 *   <script src="sonavelt-player.js" data-resource="index"></script>
 *   You will hear sounds if you use Java-enabled browsers.
 *   </applet>
 *
 * On a page with a <base href> both addresses are absolute, made from the
 * page's own address (the base would send relative ones elsewhere); the
 * player finds every other file from its own address. Nothing is inline: the
 * player runs under a Content-Security-Policy of script-src 'self' and
 * style-src 'self'. The player script may carry data-position: "top-left", "top-right",
 * "bottom-left" or "bottom-right" fixes the control in that corner of the
 * window; without it the control stands where the block is.
 *
 * Files beside the page, all named relative to this script's own address:
 *   NAME.res        the resource file, the same the applet reads;
 *   NAME.sounds.js  the run's data file: the resource file's bytes (so no
 *                   separate request is needed) and, per sound, its browser
 *                   copy and exact length:
 *                     (window.SonaveltPlayerData ||= {})["NAME"] = {
 *                       format: 1, resource: "<base64 of NAME.res>",
 *                       sounds: [{au: "audio/x.au", copy: "audio/x.opus",
 *                                 frames: 96000}, ...]};
 *                   copy is "" when the sound has none; frames is the copy's
 *                   length in sample frames at 48 kHz;
 *   NAME.local.js   only read when the page is opened from disk (file:),
 *                   where browsers refuse fetch(): every file the player
 *                   needs, base64, by the name the player asks for:
 *                     (window.SonaveltPlayerFiles ||= {})["NAME"] = {
 *                       "NAME.res": "...", "audio/x.au": "...", ...};
 *   audio/*.au      Sun .au sounds (any rate, 8-bit mu-law);
 *   audio/*.opus    browser copies (Ogg Opus, 48 kHz), played where the
 *                   browser decodes them, cut to the exact length so that
 *                   the background loops without a gap; the .au otherwise.
 * Without the data file the player reads NAME.res and plays the .au files.
 *
 * What plays:
 *   - the entrance sound as soon as sound is allowed and its own file is in
 *     (when switched on);
 *   - the background sound, looped, after the entrance sound (when on). It is
 *     fetched only when it is to play, paused while the tab is hidden, and
 *     never offered with an invisible control (nothing could stop it);
 *   - the exit sound when the visitor leaves this window by one of the
 *     page's links (when switched on); the navigation waits for the sound, at
 *     most EXIT_HOLD_LIMIT_MS, and further clicks on links meanwhile (a
 *     double click) do not cut it short. Links into other windows or frames,
 *     downloads, in-page and javascript: links, and clicks with a modifier
 *     key go their own way untouched.
 * Once the page is being left (by a link, or any navigation the browser
 * announces with beforeunload) nothing starts playing again, however long
 * the next page takes. Only the visitor brings the sound back: coming back
 * through the browser's page cache, an in-page link, or a click or key press
 * on this page after the navigation has been under way for STAY_AFTER_MS
 * (it went nowhere: a 204 answer, a download, a refused unload).
 * Browsers allow sound only after a real gesture of the visitor. Every
 * trusted click, key press or tap asks the browser again until the sound
 * output actually runs and a sound has started; until then the control
 * says "Click here to hear sounds". The visible control has a background
 * toggle and a mute toggle for all sounds (remembered per site).
 *
 * The player never breaks the page: a missing or unreadable resource file, a
 * browser without Web Audio, or missing sounds leave the page as it was (the
 * control says "Sound unavailable" when it has nothing to play); a page
 * refused by the safety key says so in a short note. The script element's
 * data-state attribute tells how far the player got: "loading", "ready",
 * "blocked" or "failed".
 *
 * Resource file: bytes 0-3 hold the text's length L, least significant byte
 * first; then L bytes, each the text byte shifted left by one bit modulo 256.
 * The text is a list of fields, each ended by ";", " " standing for an empty
 * field, lists separated by ",":
 *   1 page URL (the safety key's page)     9 visible control Y/N
 *   2 entrance sounds, one per combination 10 entrance sound on Y/N
 *   3 exit sounds                          11 exit sound on Y/N
 *   4 background sounds (" " for none)     12 background initially on Y/N
 *   5 entrance playing times (ms)          13 safety key Y/N
 *   6 page background image                14 exit playing times (ms)
 *   7 page colour "r,g,b"                  15 background playing times (ms)
 *   8 no background Y/N                    16 format version ("2", or " ")
 * Sound names are relative to the resource file's folder. In version 2 they
 * are already percent-encoded URL path segments; in version 1 (field 16
 * blank or missing) they are plain names and get encoded here. The control
 * draws its own background, so fields 6 and 7 are not needed.
 *
 * Sounds: Sun .au, big-endian header (magic ".snd", data offset, data size,
 * encoding, rate, channels), encoding 1 (8-bit mu-law) only, any rate the
 * browser can hold in an AudioBuffer, interleaved channels.
 */
(function () {
  'use strict';

  var LOG_PREFIX = 'Sonavelt player: ';
  // Long enough for a short exit jingle; a visitor should never wait longer.
  var EXIT_HOLD_LIMIT_MS = 3000;
  // A gesture on the page this long after its navigation began means the
  // navigation went nowhere (a refused unload, a 204 answer, a download).
  var STAY_AFTER_MS = 1000;
  var COPY_RATE = 48000;
  var ORDER_KEY_PREFIX = 'sonavelt-player-next:';
  var MUTE_KEY = 'sonavelt-player-muted';
  var FIELD_COUNT = 13;  // fields 14 to 16 are not needed for playing
  var XLINK = 'http://www.w3.org/1999/xlink';
  var GESTURES = ['pointerdown', 'mousedown', 'pointerup', 'touchend', 'keydown', 'click'];
  var CORNERS = { 'top-left': 1, 'top-right': 1, 'bottom-left': 1, 'bottom-right': 1 };
  // Index pages a folder address stands for.
  var INDEX_PAGE = /\/(index|default)\.(html?|shtml|php|asp|aspx)$/i;

  var LABEL_WAITING = 'Click here to hear sounds';
  var LABEL_BACKGROUND = 'Background sound';
  var LABEL_UNAVAILABLE = 'Sound unavailable';
  var LABEL_BACKGROUND_UNAVAILABLE = 'Background sound unavailable';
  var LABEL_MUTE = 'Mute';
  var LABEL_BLOCKED = 'Sound off: this copy is not at the page\'s own address';

  // Dark text on white inside a dark frame: 17:1 contrast whatever the page
  // looks like, and the frame shows on light and dark pages alike.
  var INK = '#1a1a1a';
  var PAPER = '#ffffff';

  function warn(text) {
    if (window.console && console.warn) console.warn(LOG_PREFIX + text);
  }

  function base64Bytes(text) {
    var binary = atob(text);
    var bytes = new Uint8Array(binary.length);
    for (var i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes.buffer;
  }

  // ---- Resource file -------------------------------------------------------

  // Returns the resource text, or null when the bytes are too short for the
  // length they announce.
  function decodeResource(bytes) {
    if (bytes.length < 4) return null;
    var length = (bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (bytes[3] << 24)) >>> 0;
    if (length > bytes.length - 4) return null;
    var chars = [];
    for (var i = 0; i < length; ++i) chars.push(String.fromCharCode(bytes[4 + i] >> 1));
    return chars.join('');
  }

  function isYes(field) {
    return field.trim().toUpperCase() === 'Y';
  }

  // A list field's entries, trimmed; an entry of blanks becomes "".
  function listOf(field) {
    return field.split(',').map(function (entry) { return entry.trim(); });
  }

  // Returns the resource's settings, or null when the text lacks fields.
  function parseResource(text) {
    var fields = text.split(';');
    // The text ends with ";", so the last piece is what follows it.
    fields.pop();
    if (fields.length < FIELD_COUNT) return null;
    var entrance = listOf(fields[1]);
    var encoded = fields.length > 15 && fields[15].trim() !== '';
    var names = function (field) {
      return listOf(field).map(function (name) {
        return encoded ? name : name.split('/').map(encodeURIComponent).join('/');
      });
    };
    return {
      pageUrl: fields[0].trim(),
      combinationCount: entrance.length,
      entrance: names(fields[1]),
      exit: names(fields[2]),
      background: names(fields[3]),
      noBackground: isYes(fields[7]),
      visibleControl: isYes(fields[8]),
      entranceOn: isYes(fields[9]),
      exitOn: isYes(fields[10]),
      backgroundInitiallyOn: isYes(fields[11]),
      safetyKey: isYes(fields[12])
    };
  }

  // An address reduced to what names the same page: http and https alike,
  // with or without "www.", default ports dropped, a folder the same as its
  // index page, letter case, query and fragment ignored. Null when `text` is
  // no http(s) address.
  function pageKey(text) {
    var url;
    try {
      url = new URL(text.indexOf('://') < 0 ? 'http://' + text : text);
    } catch (e) {
      return null;
    }
    if (url.protocol !== 'http:' && url.protocol !== 'https:') return null;
    var host = url.hostname.toLowerCase().replace(/^www\./, '').replace(/\.$/, '');
    var port = url.port === '80' || url.port === '443' ? '' : url.port;
    var path = url.pathname.replace(INDEX_PAGE, '/');
    try {
      path = decodeURIComponent(path);
    } catch (e) {
      // Keep it encoded.
    }
    return host + (port ? ':' + port : '') + path.toLowerCase();
  }

  // The safety key binds the sounds to the page's own address: a copy of the
  // page served from anywhere else stays silent. A page opened from disk is
  // the site owner's preview and plays. Without a URL there is nothing to
  // bind to, and every address passes, as in the applet.
  function addressAllowed(settings, address) {
    if (!settings.safetyKey || settings.pageUrl === '') return true;
    if (address.indexOf('file:') === 0) return true;
    var key = pageKey(settings.pageUrl);
    return key !== null && key === pageKey(address);
  }

  function stored(key) {
    try {
      return window.localStorage.getItem(key);
    } catch (e) {
      return null;
    }
  }

  function store(key, value) {
    try {
      if (value === null) window.localStorage.removeItem(key);
      else window.localStorage.setItem(key, value);
    } catch (e) {
      // Storage refused (privacy settings, sandboxed frames): not remembered.
    }
  }

  // Combination index for this visit: random, or the next one in order,
  // remembered per resource file in the browser's storage.
  function chooseCombination(count, random, storageKey) {
    if (count <= 1) return 0;
    if (random) return Math.floor(Math.random() * count);
    var index = parseInt(stored(storageKey), 10);
    if (!(index >= 0 && index < count)) index = 0;
    store(storageKey, String((index + 1) % count));
    return index;
  }

  // ---- Sun .au and mu-law --------------------------------------------------

  // G.711 mu-law expansion, scaled from the 16-bit range to [-1, 1):
  // code 0x00 is -32124, 0x7F and 0xFF are 0, 0x80 is +32124.
  var MU_LAW = (function () {
    var table = new Float32Array(256);
    for (var code = 0; code < 256; ++code) {
      var u = ~code & 0xff;
      var exponent = (u >> 4) & 0x07;
      var magnitude = ((((u & 0x0f) << 3) + 0x84) << exponent) - 0x84;
      table[code] = ((u & 0x80) ? -magnitude : magnitude) / 32768;
    }
    return table;
  })();

  var AU_MAGIC = 0x2e736e64;  // ".snd"
  var AU_HEADER_MIN = 24;     // six 32-bit fields; the annotation follows
  var AU_MU_LAW = 1;
  var AU_SIZE_UNKNOWN = 0xffffffff;

  // Decodes a mu-law .au file into one Float32Array per channel. Throws an
  // Error saying what is wrong with the file.
  function decodeAu(arrayBuffer) {
    var view = new DataView(arrayBuffer);
    if (view.byteLength < AU_HEADER_MIN || view.getUint32(0) !== AU_MAGIC) {
      throw new Error('not an .au file');
    }
    var offset = view.getUint32(4);
    var size = view.getUint32(8);
    var encoding = view.getUint32(12);
    var rate = view.getUint32(16);
    var channels = view.getUint32(20);
    if (offset < AU_HEADER_MIN || offset > view.byteLength) throw new Error('bad data offset ' + offset);
    if (encoding !== AU_MU_LAW) throw new Error('encoding ' + encoding + ' is not 8-bit mu-law');
    if (rate < 1 || channels < 1) throw new Error('bad rate or channel count');
    var available = view.byteLength - offset;
    // The size may be "unknown" or larger than what arrived: play what is there.
    if (size === AU_SIZE_UNKNOWN || size > available) size = available;
    var frames = Math.floor(size / channels);
    var bytes = new Uint8Array(arrayBuffer, offset, frames * channels);
    var data = [];
    for (var ch = 0; ch < channels; ++ch) {
      var samples = new Float32Array(frames);
      for (var f = 0, i = ch; f < frames; ++f, i += channels) samples[f] = MU_LAW[bytes[i]];
      data.push(samples);
    }
    return { rate: rate, channels: data };
  }

  function auBuffer(bytes) {
    var decoded = decodeAu(bytes);
    if (decoded.channels[0].length === 0) throw new Error('no samples');
    var buffer = new AudioBuffer({
      numberOfChannels: decoded.channels.length,
      length: decoded.channels[0].length,
      sampleRate: decoded.rate
    });
    decoded.channels.forEach(function (samples, ch) { buffer.copyToChannel(samples, ch); });
    return buffer;
  }

  function decodeCompressed(context, bytes) {
    return new Promise(function (resolve, reject) {
      var pending = context.decodeAudioData(bytes, resolve, reject);
      if (pending && pending.then) pending.then(resolve, reject);
    });
  }

  // The decoded copy cut to `frames` at 48 kHz, counted at the buffer's own
  // rate (the browser decodes at its output rate): what the encoder padded
  // at the end would be a gap in the loop.
  function trimmed(context, buffer, frames) {
    if (!(frames > 0)) return buffer;
    var length = Math.round(frames * buffer.sampleRate / COPY_RATE);
    if (length <= 0 || length >= buffer.length) return buffer;
    var cut = context.createBuffer(buffer.numberOfChannels, length, buffer.sampleRate);
    for (var ch = 0; ch < buffer.numberOfChannels; ++ch) {
      cut.copyToChannel(buffer.getChannelData(ch).subarray(0, length), ch);
    }
    return cut;
  }

  function canPlayOpus() {
    try {
      return document.createElement('audio').canPlayType('audio/ogg; codecs=opus') !== '';
    } catch (e) {
      return false;
    }
  }

  // ---- Files ---------------------------------------------------------------

  // Loads a script beside the player; resolves when it ran or failed.
  function loadScript(url) {
    return new Promise(function (resolve) {
      var element = document.createElement('script');
      element.src = url;
      element.onload = element.onerror = function () { resolve(); };
      (document.head || document.documentElement).appendChild(element);
    });
  }

  function Files(folder, local) {
    this.folder = folder;   // the player's own folder, ending in "/"
    this.local = local;     // name -> base64, when opened from disk
  }

  // The bytes of the file `name` (relative, percent-encoded), or null.
  // Normal HTTP caching applies: a second visit costs no download.
  Files.prototype.bytes = async function (name) {
    if (this.local && Object.prototype.hasOwnProperty.call(this.local, name)) {
      return base64Bytes(this.local[name]);
    }
    try {
      var response = await fetch(new URL(name, this.folder).href);
      if (!response.ok) return null;
      return await response.arrayBuffer();
    } catch (e) {
      return null;
    }
  };

  // ---- Player --------------------------------------------------------------

  function Player(script) {
    this.script = script;
    this.host = script.closest ? script.closest('applet') : null;
    this.key = script.getAttribute('data-resource') || this.param('resource');
    this.position = CORNERS[script.getAttribute('data-position')] ? script.getAttribute('data-position') : '';
    this.settings = null;
    this.files = null;
    this.copies = {};              // .au name -> {copy, frames}
    this.context = null;
    this.output = null;            // gain node every sound goes through
    this.index = 0;
    this.roles = {};               // role -> {promise, buffer, failed}
    this.early = {};               // file name -> its bytes' promise, fetched ahead
    this.soundStarted = false;
    this.resuming = null;          // the gesture whose resume() is pending
    this.listening = false;
    this.onGesture = null;
    this.entranceDone = false;
    this.entranceSource = null;
    this.entranceEnd = 0;          // context time at which the entrance sound ends
    this.offersBackground = false;
    this.backgroundOn = false;
    this.backgroundSource = null;
    this.muted = stored(MUTE_KEY) === '1';
    this.hiddenPause = false;
    this.leaving = false;          // the page is being left: nothing starts
    this.holding = false;          // a link waits for the exit sound
    this.leftAt = 0;               // when the navigation began (ms), 0 while held
    this.control = null;
    this.blocked = false;
    this.setState('loading');
  }

  Player.prototype.setState = function (state) {
    this.script.setAttribute('data-state', state);
  };

  // The applet block's own parameter, when the script does not say.
  Player.prototype.param = function (name) {
    if (!this.host) return null;
    var params = this.host.getElementsByTagName('param');
    for (var i = 0; i < params.length; ++i) {
      if ((params[i].getAttribute('name') || '').toLowerCase() === name) {
        return params[i].getAttribute('value');
      }
    }
    return null;
  };

  Player.prototype.running = function () {
    return !!this.context && this.context.state === 'running';
  };

  Player.prototype.start = async function () {
    if (!this.key) {
      warn('no resource name (data-resource) on the script element');
      this.setState('failed');
      return;
    }
    // Everything lies beside this script, which the page (or its loader)
    // named relative to the page itself: never resolve against <base href>.
    var folder = new URL('.', this.script.src || window.location.href).href;
    var local = null;
    if (window.location.protocol === 'file:') {
      await loadScript(new URL(this.key + '.local.js', folder).href);
      local = (window.SonaveltPlayerFiles || {})[this.key] || null;
      if (!local) warn(this.key + '.local.js is missing: sounds cannot play from disk');
    }
    this.files = new Files(folder, local);
    var data = (window.SonaveltPlayerData || {})[this.key];
    if (data && Array.isArray(data.sounds)) {
      var copies = this.copies;
      data.sounds.forEach(function (s) {
        if (s && s.au && s.copy) copies[s.au] = { copy: s.copy, frames: s.frames };
      });
    }
    var resourceName = this.key + '.res';
    var bytes = null;
    if (data && typeof data.resource === 'string') {
      try {
        bytes = base64Bytes(data.resource);
      } catch (e) {
        bytes = null;
      }
    }
    if (!bytes) bytes = await this.files.bytes(resourceName);
    var text = bytes ? decodeResource(new Uint8Array(bytes)) : null;
    var settings = text === null ? null : parseResource(text);
    if (!settings) {
      warn(bytes ? resourceName + ' is not a sound resource file' : 'cannot read ' + resourceName);
      this.setState('failed');
      return;
    }
    this.settings = settings;
    if (!addressAllowed(settings, window.location.href)) {
      warn('the safety key allows sounds only on ' + settings.pageUrl);
      this.blocked = true;
      this.setState('blocked');
      await whenDocumentReady();
      this.showControl();
      return;
    }
    var AudioContextClass = window.AudioContext || window.webkitAudioContext;
    if (!AudioContextClass || typeof AudioBuffer !== 'function') {
      warn('this browser cannot play sounds (no Web Audio)');
      this.setState('failed');
      return;
    }
    // Nothing could switch off a background sound without a control.
    this.offersBackground = !settings.noBackground && settings.visibleControl;
    this.backgroundOn = this.offersBackground && settings.backgroundInitiallyOn;
    // The block's order parameter: "Yes" for random, anything else in order.
    var random = (this.param('random') || '').trim().toLowerCase() === 'yes';
    this.index = chooseCombination(settings.combinationCount, random,
      ORDER_KEY_PREFIX + new URL(resourceName, folder).href);
    // Opening the sound output can hold the page for a few hundred
    // milliseconds: the entrance sound's file is on its way meanwhile.
    this.fetchAhead('entrance');
    try {
      // The browser copies are 48 kHz: decoded at that rate, they keep
      // their exact length.
      try {
        this.context = new AudioContextClass({ sampleRate: COPY_RATE, latencyHint: 'interactive' });
      } catch (e) {
        this.context = new AudioContextClass();
      }
    } catch (e) {
      warn('cannot open the sound output (' + e.message + ')');
      this.setState('failed');
      return;
    }
    this.output = this.context.createGain();
    this.output.gain.value = this.muted ? 0 : 1;
    this.output.connect(this.context.destination);
    this.listen();
    // The entrance sound waits for its own file only (fetched before the
    // rest of the page has even been read); the exit sound comes next; the
    // background only when it is to play.
    var entrance = this.load('entrance');
    await whenDocumentReady();
    this.showControl();
    await entrance;
    var later = [this.load('exit')];
    if (this.backgroundOn) later.push(this.load('background'));
    await Promise.all(later);
    this.setState('ready');
    this.updateControl();
  };

  // The sound (.au name) `role` plays in this visit's combination; "" when
  // the role is switched off or has none.
  Player.prototype.soundOf = function (role) {
    var s = this.settings;
    var on = { entrance: s.entranceOn, exit: s.exitOn, background: this.offersBackground }[role];
    return on ? (s[role][this.index] || '') : '';
  };

  // The file the browser is to fetch for the sound `name`: its browser copy
  // when the data file names one and the browser decodes it, else the .au.
  Player.prototype.preferredFile = function (name) {
    var copy = this.copies[name];
    return copy && canPlayOpus() ? copy.copy : name;
  };

  // Starts fetching the file of `role`'s sound before it can be decoded.
  Player.prototype.fetchAhead = function (role) {
    var name = this.soundOf(role);
    if (!name) return;
    var file = this.preferredFile(name);
    this.early[file] = this.files.bytes(file);
  };

  // The bytes of `file`: those fetched ahead, once (decoding takes the
  // buffer over, so a second user fetches its own), else a new fetch.
  Player.prototype.fetchFile = function (file) {
    var early = this.early[file];
    if (!early) return this.files.bytes(file);
    delete this.early[file];
    return early;
  };

  // The buffer for `role` of this visit's combination, loaded once; null
  // when the role is switched off or its file cannot be had.
  Player.prototype.load = function (role) {
    if (this.roles[role]) return this.roles[role].promise;
    var name = this.soundOf(role);
    var slot = { name: name, buffer: null, failed: false, promise: null };
    this.roles[role] = slot;
    var self = this;
    slot.promise = (name ? this.loadSound(name) : Promise.resolve(null)).then(function (buffer) {
      slot.buffer = buffer;
      slot.failed = !!name && !buffer;
      if (buffer) self.play();
      self.updateControl();
      return buffer;
    });
    return slot.promise;
  };

  // The sound `name` (.au, relative), through its browser copy when the data
  // file names one and the browser decodes it.
  Player.prototype.loadSound = async function (name) {
    var copy = this.copies[name];
    if (this.preferredFile(name) !== name) {
      var bytes = await this.fetchFile(copy.copy);
      if (bytes) {
        try {
          return trimmed(this.context, await decodeCompressed(this.context, bytes), copy.frames);
        } catch (e) {
          warn(copy.copy + ': cannot be decoded here, playing ' + name);
        }
      }
    }
    var au = await this.fetchFile(name);
    if (!au) {
      warn('cannot read ' + name);
      return null;
    }
    try {
      return auBuffer(au);
    } catch (e) {
      warn(name + ': ' + e.message);
      return null;
    }
  };

  Player.prototype.buffer = function (role) {
    return this.roles[role] ? this.roles[role].buffer : null;
  };

  // Plays whatever is due now: the entrance sound once sound is allowed, then
  // the background loop after it.
  Player.prototype.play = function () {
    if (!this.running() || this.leaving || this.muted) return;
    var entrance = this.buffer('entrance');
    if (!this.entranceDone && entrance) {
      this.entranceDone = true;
      this.entranceSource = this.playBuffer(entrance, false, 0);
      this.entranceEnd = this.context.currentTime + entrance.duration;
    }
    if (this.backgroundOn && !this.backgroundSource) this.startBackground();
  };

  Player.prototype.playBuffer = function (buffer, loop, when) {
    var source = this.context.createBufferSource();
    source.buffer = buffer;
    source.loop = loop;
    source.connect(this.output);
    source.start(when);
    this.soundStarted = true;
    this.checkUnlocked();
    return source;
  };

  Player.prototype.startBackground = function () {
    if (!this.running() || this.muted || this.leaving) return;
    var buffer = this.buffer('background');
    if (!buffer) {
      this.load('background');  // plays when it is in
      return;
    }
    // Wait for the entrance sound so the two do not play over each other.
    var when = Math.max(this.context.currentTime, this.entranceEnd);
    this.backgroundSource = this.playBuffer(buffer, true, when);
  };

  Player.prototype.stopSource = function (source) {
    if (!source) return;
    try {
      source.stop();
    } catch (e) {
      // Already stopped.
    }
  };

  Player.prototype.stopBackground = function () {
    this.stopSource(this.backgroundSource);
    this.backgroundSource = null;
  };

  Player.prototype.toggleBackground = function () {
    this.backgroundOn = !this.backgroundOn;
    if (this.backgroundOn) {
      // Switched on by hand: no reason to wait for the entrance sound.
      this.entranceEnd = 0;
      this.startBackground();
    } else {
      this.stopBackground();
    }
    this.updateControl();
  };

  Player.prototype.toggleMute = function () {
    this.muted = !this.muted;
    store(MUTE_KEY, this.muted ? '1' : null);
    this.output.gain.value = this.muted ? 0 : 1;
    if (this.muted) {
      this.stopSource(this.entranceSource);
      this.stopBackground();
    } else {
      this.entranceEnd = 0;
      this.play();
    }
    this.updateControl();
  };

  // Sound is unlocked for good once the output runs and a sound has started
  // on it; until then every trusted gesture asks the browser again.
  Player.prototype.checkUnlocked = function () {
    if (!this.listening || !this.running() || !this.soundStarted) return;
    var handler = this.onGesture;
    GESTURES.forEach(function (type) { window.removeEventListener(type, handler, true); });
    this.listening = false;
  };

  Player.prototype.gesture = function (event) {
    // Script-made events carry no permission; Escape gives none either.
    if (!event.isTrusted || this.hiddenPause) return;
    if (event.type === 'keydown' && event.key === 'Escape') return;
    var context = this.context;
    if (context.state !== 'running') {
      // resume() must be called inside the gesture's own event handler.
      var resumed = context.resume();
      var self = this;
      this.resuming = event;
      if (resumed && resumed.then) {
        resumed.then(function () { self.resuming = null; },
          function () { self.resuming = null; /* the next gesture tries again */ });
      }
    }
    if (!this.soundStarted && context.state === 'running' && !this.muted) {
      // A silent sample started within the gesture: some browsers unlock
      // only through a sound started there.
      var scratch = context.createBufferSource();
      scratch.buffer = context.createBuffer(1, 1, context.sampleRate);
      scratch.connect(context.destination);
      scratch.start(0);
      this.soundStarted = true;
    }
    this.checkUnlocked();
  };

  Player.prototype.listen = function () {
    var self = this;
    this.onGesture = function (event) { self.gesture(event); };
    if (!this.running() || !this.soundStarted) {
      this.listening = true;
      GESTURES.forEach(function (type) { window.addEventListener(type, self.onGesture, true); });
    }
    this.context.onstatechange = function () {
      self.updateControl();
      if (self.running()) self.play();
      self.checkUnlocked();
    };
    // Last in the bubble phase: the page's own handlers decide first whether
    // a link is followed at all.
    window.addEventListener('click', function (event) { self.onLinkClick(event); }, false);
    window.addEventListener('pageshow', function (event) {
      // Back through the browser's page cache: the visitor is here again.
      if (event.persisted && self.leaving) self.stay();
    });
    window.addEventListener('hashchange', function () {
      if (self.leaving) self.stay();
    });
    // Any other navigation (a form, the address bar, Back, a page's script)
    // is announced here; a link held for the exit sound already left.
    window.addEventListener('beforeunload', function () {
      if (!self.leaving) self.leave();
      if (!self.holding && !self.leftAt) self.leftAt = Date.now();
    });
    ['pointerdown', 'keydown'].forEach(function (type) {
      window.addEventListener(type, function (event) {
        if (event.isTrusted && self.leaving && self.leftAt &&
            Date.now() - self.leftAt >= STAY_AFTER_MS) self.stay();
      }, true);
    });
    document.addEventListener('visibilitychange', function () { self.onVisibility(); });
  };

  // A hidden tab makes no sound: the output is suspended (the background
  // keeps its place) and resumed when the tab shows again.
  Player.prototype.onVisibility = function () {
    var context = this.context;
    if (document.visibilityState === 'hidden') {
      if (context.state === 'running' && !this.leaving) {
        this.hiddenPause = true;
        context.suspend();
      }
    } else if (this.hiddenPause) {
      this.hiddenPause = false;
      context.resume();
    }
  };

  // The window a link with this target navigates, or null when it opens
  // another window or frame (this page stays).
  function windowOfTarget(target) {
    var keyword = target.toLowerCase();
    if (target === '' || keyword === '_self') return window;
    if (keyword === '_top') return window.top;
    if (keyword === '_parent') return window.parent;
    if (keyword === '_blank') return null;
    return target === window.name ? window : null;
  }

  function linkOf(event) {
    var path = event.composedPath ? event.composedPath() : [];
    for (var i = 0; i < path.length; ++i) {
      var node = path[i];
      if (!node || node.nodeType !== 1) continue;
      var name = (node.localName || '').toLowerCase();
      if ((name === 'a' || name === 'area') &&
          (node.hasAttribute('href') || node.hasAttributeNS(XLINK, 'href'))) return node;
    }
    return null;
  }

  // The address a link leaves this window for, with the window it loads in,
  // or null when following it does not leave this page.
  function departure(link) {
    if (link.hasAttribute('download')) return null;
    var raw = link.getAttribute('href');
    if (raw === null) raw = link.getAttributeNS(XLINK, 'href');
    raw = (raw || '').trim();
    if (raw === '' || raw.charAt(0) === '#') return null;
    var target = link.getAttribute('target');
    if (!target) {
      var base = document.querySelector('base[target]');
      target = base ? base.getAttribute('target') : '';
    }
    var into = windowOfTarget(target.trim());
    if (!into) return null;
    if (into !== window) {
      try {
        void into.location.href;  // another site's frame set: leave it alone
      } catch (e) {
        return null;
      }
    }
    var url;
    try {
      // SVG links carry their address as an attribute, not a resolved string.
      url = new URL(raw, link.baseURI || document.baseURI);
    } catch (e) {
      return null;
    }
    if (url.protocol !== 'http:' && url.protocol !== 'https:' && url.protocol !== 'file:') return null;
    var here = window.location.href.split('#')[0];
    if (into === window && url.hash && url.href.split('#')[0] === here) return null;
    return { url: url.href, into: into };
  }

  // The page is being left: what plays stops, and nothing starts again.
  Player.prototype.leave = function () {
    this.leaving = true;
    this.stopBackground();
    this.stopSource(this.entranceSource);
    this.updateControl();
  };

  // Holds a link's navigation while the exit sound plays.
  Player.prototype.onLinkClick = function (event) {
    if (!event.isTrusted || event.defaultPrevented || event.button !== 0) return;
    if (event.ctrlKey || event.shiftKey || event.altKey || event.metaKey) return;  // new tab, window, download
    var link = linkOf(event);
    var way = link ? departure(link) : null;
    if (!way) return;
    // A second click while the exit sound plays (a double click) would
    // start the navigation at once and cut the sound: the held one goes on.
    if (this.holding) {
      event.preventDefault();
      return;
    }
    if (this.leaving) {
      this.leftAt = Date.now();  // already on the way out: the browser follows it
      return;
    }
    var exit = this.buffer('exit');
    this.leave();
    var self = this;
    // A click on a link as the very first gesture: the output is starting
    // up, and the exit sound plays as soon as it runs.
    var starting = this.resuming === event;
    if (!exit || this.muted || !(this.running() || starting)) {
      // The browser follows the link itself; nothing to hold it for.
      this.leftAt = Date.now();
      return;
    }
    event.preventDefault();
    this.holding = true;
    this.playBuffer(exit, false, 0);
    var hold = Math.min(exit.duration * 1000, EXIT_HOLD_LIMIT_MS);
    setTimeout(function () {
      self.holding = false;
      self.leftAt = Date.now();
      way.into.location.assign(way.url);
    }, hold);
  };

  // The visitor did not leave after all: back to the normal state.
  Player.prototype.stay = function () {
    if (!this.leaving || this.holding) return;
    this.leaving = false;
    this.leftAt = 0;
    this.updateControl();
    if (this.backgroundOn && !this.backgroundSource) this.startBackground();
  };

  // ---- Control -------------------------------------------------------------

  // The control lives in a shadow root of its own element: the page's
  // stylesheet cannot reach its text, box or marks ("body *" colours,
  // "!important" rules on span or button, display:none on span), and the
  // element itself is reset from inside, where the control's important
  // rules win over the page's. The rules are a constructed stylesheet, never
  // an inline style, so a style-src 'self' policy lets them be.
  var CONTROL_CSS =
    ':host{all:initial!important;display:inline!important}' +
    '.box{all:initial;display:inline-flex;flex-wrap:wrap;align-items:center;gap:4px;' +
    'box-sizing:border-box;max-width:100%;margin:0;padding:3px;vertical-align:middle;' +
    'background:' + PAPER + ';color:' + INK + ';border:2px solid ' + INK + ';border-radius:5px;' +
    'font:13px/1.3 Arial,Helvetica,sans-serif;text-align:left;white-space:normal;' +
    'forced-color-adjust:auto;color-scheme:light}' +
    '.fixed{position:fixed;z-index:2147483647}' +
    '.top-left,.top-right{top:8px}.bottom-left,.bottom-right{bottom:8px}' +
    '.top-left,.bottom-left{left:8px}.top-right,.bottom-right{right:8px}' +
    'button{all:initial;display:inline-flex;align-items:center;justify-content:center;' +
    'box-sizing:border-box;min-width:24px;min-height:24px;margin:0;padding:2px 8px;' +
    'font:inherit;color:' + INK + ';background:' + PAPER + ';text-align:center;' +
    'white-space:normal;cursor:pointer;border:1px solid ' + INK + ';border-radius:3px}' +
    'button[aria-pressed=true]{background:' + INK + ';color:' + PAPER + '}' +
    'button[aria-disabled=true]{cursor:default}' +
    // The focus mark lies on the control's own white box, so it shows on
    // light and dark pages alike (7:1 against white).
    'button:focus-visible{outline:3px solid #0b57d0;outline-offset:1px}' +
    'span{all:initial;display:inline;font:inherit;color:inherit;cursor:inherit;white-space:inherit}' +
    '.note{padding:2px 6px}' +
    '[hidden]{display:none!important}';

  var controlSheet = null;

  // The shadow root's rules: one shared constructed sheet where the browser
  // has them, else a style element inside the root.
  function addControlStyle(root) {
    try {
      if (!controlSheet) {
        controlSheet = new CSSStyleSheet();
        controlSheet.replaceSync(CONTROL_CSS);
      }
      root.adoptedStyleSheets = [controlSheet];
      return;
    } catch (e) {
      // An older browser: no constructed sheets.
    }
    var style = document.createElement('style');
    style.textContent = CONTROL_CSS;
    root.appendChild(style);
  }

  function element(name, className) {
    var made = document.createElement(name);
    made.className = className;
    return made;
  }

  function button(className, label) {
    var made = element('button', className);
    made.type = 'button';
    var name = document.createElement('span');
    name.textContent = label;
    made.appendChild(name);
    return made;
  }

  // A toggle button: its name stays, aria-pressed tells the state, and a
  // state word beside the name shows it (hidden from the accessible name).
  function toggle(className, label) {
    var made = button(className, label);
    var state = element('span', 'sonavelt-player-state');
    state.setAttribute('aria-hidden', 'true');
    made.appendChild(state);
    return made;
  }

  function setPressed(button, pressed) {
    button.setAttribute('aria-pressed', pressed ? 'true' : 'false');
    button.lastChild.textContent = pressed ? ': on' : ': off';
  }

  Player.prototype.showControl = function () {
    // The fallback sentence asks for Java, which the page no longer needs.
    if (this.host) {
      Array.prototype.slice.call(this.host.childNodes).forEach(function (node) {
        if (node.nodeType === 3 && node.nodeValue.trim() !== '') node.parentNode.removeChild(node);
      });
    }
    if (!this.settings.visibleControl && !this.blocked) return;
    var holder = document.createElement('sonavelt-player');
    var root = holder;
    try {
      root = holder.attachShadow({ mode: 'open' });
      addControlStyle(root);
    } catch (e) {
      // No shadow DOM: the control stands in the page as it is.
    }
    var box = element('span', 'sonavelt-player box');
    // A named region: a landmark the visitor can jump to, and never page
    // content outside every landmark.
    box.setAttribute('role', 'region');
    box.setAttribute('aria-label', 'Page sounds');
    if (this.position) {
      box.classList.add('fixed');
      box.classList.add(this.position);
    }
    var self = this;
    var parts = {
      enable: button('sonavelt-player-enable', LABEL_WAITING),
      background: toggle('sonavelt-player-background', LABEL_BACKGROUND),
      mute: toggle('sonavelt-player-mute', LABEL_MUTE),
      note: element('span', 'sonavelt-player-note note')
    };
    parts.note.setAttribute('role', 'status');
    // The gesture listener has already asked the browser for sound.
    parts.background.addEventListener('click', function () {
      if (self.running() && self.offersBackground && !self.leaving) self.toggleBackground();
    });
    parts.mute.addEventListener('click', function () {
      if (self.running()) self.toggleMute();
    });
    Object.keys(parts).forEach(function (k) { box.appendChild(parts[k]); });
    root.appendChild(box);
    this.control = { box: box, parts: parts };
    this.updateControl();
    this.script.parentNode.insertBefore(holder, this.script.nextSibling);
  };

  function show(element, shown) {
    element.hidden = !shown;
  }

  // The control shows only what is true: sound allowed or not, each toggle's
  // real state, and what cannot play.
  Player.prototype.updateControl = function () {
    if (!this.control) return;
    var p = this.control.parts;
    if (this.blocked) {
      p.note.textContent = LABEL_BLOCKED;
      [p.enable, p.background, p.mute].forEach(function (b) { show(b, false); });
      return;
    }
    // Unavailable: every sound this visit asked for is in, and none could be had.
    var asked = ['entrance', 'exit', 'background'].map(function (role) { return this.roles[role]; }, this)
      .filter(function (slot) { return slot && slot.name; });
    var nothing = asked.length > 0 && asked.every(function (slot) { return slot.failed; });
    var playing = this.running() || this.hiddenPause;
    var backgroundFailed = !!this.roles.background && this.roles.background.failed;
    show(p.enable, !playing && !nothing);
    show(p.mute, playing && !nothing);
    show(p.background, playing && !nothing && this.offersBackground);
    p.note.textContent = nothing ? LABEL_UNAVAILABLE : '';
    show(p.note, nothing);
    setPressed(p.mute, this.muted);
    if (backgroundFailed) {
      p.background.firstChild.textContent = LABEL_BACKGROUND_UNAVAILABLE;
      p.background.lastChild.textContent = '';
      p.background.removeAttribute('aria-pressed');
      p.background.setAttribute('aria-disabled', 'true');
    } else {
      setPressed(p.background, this.backgroundOn);
    }
  };

  function whenDocumentReady() {
    return new Promise(function (resolve) {
      if (document.readyState !== 'loading') resolve();
      else document.addEventListener('DOMContentLoaded', function () { resolve(); });
    });
  }

  // currentScript is missing when a page's own loader inserted the script;
  // the block's script element is then found by its name.
  var script = document.currentScript ||
    document.querySelector('script[src*="sonavelt-player"][data-resource]:not([data-state])');
  if (!script) {
    warn('cannot find its script element in the page');
    return;
  }
  var player = new Player(script);
  player.start().catch(function (e) {
    warn('stopped: ' + (e && e.message ? e.message : e));
    player.setState('failed');
  });
})();
