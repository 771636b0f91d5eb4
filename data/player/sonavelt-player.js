/*
 * Sonavelt page sound player for browsers without Java.
 *
 * The run puts this file beside the processed page and loads it from inside
 * the page's applet block:
 *
 *   <applet code=SonaveltRandomEventBackground width="190" height="20">
 *   <param name=random value="Yes">
 *   <param name=resource value="index">
 *   <script src="sonavelt-player.js" data-resource="index"></script>
 *   You will hear sounds if you use Java-enabled browsers.
 *   </applet>
 *
 * It reads the same resource file (NAME + ".res", beside this script) and the
 * same .au sounds as the applet, and plays them with the Web Audio API:
 *   - the entrance sound when the page starts (when switched on),
 *   - the background sound, looped, after the entrance sound has ended (when
 *     "initially on"); the visible control switches it on and off,
 *   - the exit sound when the visitor leaves by one of the page's links (when
 *     switched on); the navigation waits for the sound, at most
 *     EXIT_HOLD_LIMIT_MS. Leaving any other way (typed address, Back, closing
 *     the tab) cannot be held by a page, so it is silent.
 * Browsers allow sound only after the visitor's first click or key press:
 * until then the control says so, and the entrance sound plays at that first
 * gesture (at once when the browser allows sound without one).
 *
 * The player never breaks the page: a missing or unreadable resource file or
 * sound, a browser without Web Audio, or a page refused by the safety key
 * leaves the page as it was (fallback sentence included) and only writes a
 * warning to the console. The script element's data-state attribute tells how
 * far the player got: "loading", "ready", "blocked" or "failed".
 *
 * Resource file: bytes 0-3 hold the text's length L, least significant byte
 * first; then L bytes, each the text byte shifted left by one bit modulo 256.
 * Shifting each byte back right by one recovers every byte below 128; the
 * encoder drops the top bit of bytes of 128 or more, so those come back as
 * the byte 128 lower (the run keeps such characters out of the text). The
 * text is a list of fields, each ended by ";", " " standing for an empty
 * field, lists separated by ",":
 *   1 page URL (the safety key's prefix)   9 visible control Y/N
 *   2 entrance sounds, one per combination 10 entrance sound on Y/N
 *   3 exit sounds                          11 exit sound on Y/N
 *   4 background sounds (" " for none)     12 background initially on Y/N
 *   5 entrance playing times (ms)          13 safety key Y/N
 *   6 page background image                14 exit playing times (ms)
 *   7 page colour "r,g,b"                  15 background playing times (ms)
 *   8 no background Y/N                    16 format version ("2", or " ")
 * Sound names are relative to the resource file's folder. In version 2 they
 * are already percent-encoded URL path segments and are used as they are; in
 * version 1 (field 16 blank or missing) they are plain names and get encoded
 * here. The playing times and the background image are not needed: the
 * decoded sound knows its own length, and the control is transparent, so the
 * page's own background shows through it; field 7 picks a text colour that
 * reads on that background.
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
  var STORAGE_PREFIX = 'sonavelt-player-next:';
  var FIELD_COUNT = 13;  // fields 14 to 16 are not needed for playing

  var LABEL_WAITING = 'Click here to hear sounds';
  var LABEL_BACKGROUND_ON = 'Background sound: on';
  var LABEL_BACKGROUND_OFF = 'Background sound: off';
  var LABEL_SOUND_ON = 'Sound on';

  function warn(text) {
    if (window.console && console.warn) console.warn(LOG_PREFIX + text);
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
    var colour = fields[6].split(',').map(function (part) { return parseInt(part, 10); });
    if (colour.length !== 3 || colour.some(function (c) { return !(c >= 0 && c <= 255); })) {
      colour = [255, 255, 255];
    }
    return {
      pageUrl: fields[0].trim(),
      combinationCount: entrance.length,
      entrance: entrance,
      exit: listOf(fields[2]),
      background: listOf(fields[3]),
      colour: colour,
      noBackground: isYes(fields[7]),
      visibleControl: isYes(fields[8]),
      entranceOn: isYes(fields[9]),
      exitOn: isYes(fields[10]),
      backgroundInitiallyOn: isYes(fields[11]),
      safetyKey: isYes(fields[12]),
      namesEncoded: fields.length > 15 && fields[15].trim() !== ''
    };
  }

  // The safety key binds the sounds to the page's own address: a copy of the
  // page served from anywhere else stays silent. Letter case is ignored since
  // browsers lower-case the host name of the address they show. Without a URL
  // there is nothing to bind to, and every address passes, as in the applet.
  function addressAllowed(settings, address) {
    if (!settings.safetyKey) return true;
    return address.toLowerCase().indexOf(settings.pageUrl.toLowerCase()) === 0;
  }

  // Combination index for this visit: random, or the next one in order,
  // remembered per resource file in the browser's storage. Storage may be
  // refused (privacy settings, sandboxed frames); then every visit starts at
  // the first combination.
  function chooseCombination(count, random, storageKey) {
    if (count <= 1) return 0;
    if (random) return Math.floor(Math.random() * count);
    var index = 0;
    try {
      var stored = parseInt(window.localStorage.getItem(storageKey), 10);
      if (stored >= 0 && stored < count) index = stored;
      window.localStorage.setItem(storageKey, String((index + 1) % count));
    } catch (e) {
      warn('cannot remember the sound order (' + e.message + ')');
    }
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

  // ---- Player --------------------------------------------------------------

  function Player(script) {
    this.script = script;
    this.host = script.closest ? script.closest('applet') : null;
    this.settings = null;
    this.context = null;
    this.sounds = { entrance: null, exit: null, background: null };
    this.unlocked = false;
    this.unlockEvent = null;
    this.entranceDone = false;
    this.entranceSource = null;
    this.entranceEnd = 0;          // context time at which the entrance sound ends
    this.backgroundOn = false;
    this.backgroundSource = null;
    this.control = null;
    this.leaving = false;
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

  Player.prototype.start = async function () {
    var name = this.script.getAttribute('data-resource') || this.param('resource');
    if (!name) {
      warn('no resource name (data-resource) on the script element');
      this.setState('failed');
      return;
    }
    // The run puts the resource file and the "audio" folder beside this script.
    var base = this.script.src || document.baseURI;
    var resourceUrl = new URL(name + '.res', base).href;
    var bytes = await fetchBytes(resourceUrl);
    var text = bytes ? decodeResource(new Uint8Array(bytes)) : null;
    var settings = text === null ? null : parseResource(text);
    if (!settings) {
      warn(bytes ? resourceUrl + ' is not a sound resource file' : 'cannot read ' + resourceUrl);
      this.setState('failed');
      return;
    }
    if (!addressAllowed(settings, window.location.href)) {
      warn('the safety key allows sounds only on ' + settings.pageUrl);
      this.setState('blocked');
      return;
    }
    var AudioContextClass = window.AudioContext || window.webkitAudioContext;
    if (!AudioContextClass || typeof AudioBuffer !== 'function') {
      warn('this browser cannot play sounds (no Web Audio)');
      this.setState('failed');
      return;
    }
    this.settings = settings;
    this.backgroundOn = settings.backgroundInitiallyOn && !settings.noBackground;
    // The block's order parameter: "Yes" for random, anything else in order.
    var random = (this.param('random') || '').trim().toLowerCase() === 'yes';
    var index = chooseCombination(settings.combinationCount, random, STORAGE_PREFIX + resourceUrl);
    try {
      this.context = new AudioContextClass();
    } catch (e) {
      warn('cannot open the sound output (' + e.message + ')');
      this.setState('failed');
      return;
    }
    this.unlocked = this.context.state === 'running';
    this.listen();
    await whenDocumentReady();
    this.showControl();
    await this.loadSounds(index, resourceUrl);
    this.setState('ready');
    this.play();
  };

  Player.prototype.loadSounds = async function (index, resourceUrl) {
    var s = this.settings;
    var wanted = {
      entrance: s.entranceOn ? s.entrance[index] : '',
      exit: s.exitOn ? s.exit[index] : '',
      background: s.noBackground ? '' : s.background[index]
    };
    var loads = {};
    var self = this;
    await Promise.all(Object.keys(wanted).map(async function (role) {
      if (!wanted[role]) return;
      var name = s.namesEncoded ? wanted[role] : wanted[role].split('/').map(encodeURIComponent).join('/');
      var url = new URL(name, resourceUrl).href;
      // One fetch for a file used in two roles.
      if (!loads[url]) loads[url] = loadSound(url);
      self.sounds[role] = await loads[url];
    }));
  };

  // Plays whatever is due now: the entrance sound once sound is allowed, then
  // the background loop after it.
  Player.prototype.play = function () {
    if (!this.unlocked || this.leaving) return;
    if (!this.entranceDone && this.sounds.entrance) {
      this.entranceDone = true;
      this.entranceSource = this.playBuffer(this.sounds.entrance, false, 0);
      this.entranceEnd = this.context.currentTime + this.sounds.entrance.duration;
    }
    if (this.backgroundOn && !this.backgroundSource) this.startBackground();
  };

  Player.prototype.playBuffer = function (buffer, loop, when) {
    var source = this.context.createBufferSource();
    source.buffer = buffer;
    source.loop = loop;
    source.connect(this.context.destination);
    source.start(when);
    return source;
  };

  Player.prototype.startBackground = function () {
    if (!this.sounds.background || !this.unlocked) return;
    // Wait for the entrance sound so the two do not play over each other.
    var when = Math.max(this.context.currentTime, this.entranceEnd);
    this.backgroundSource = this.playBuffer(this.sounds.background, true, when);
  };

  Player.prototype.stopBackground = function () {
    if (!this.backgroundSource) return;
    try {
      this.backgroundSource.stop();
    } catch (e) {
      // Already stopped.
    }
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

  Player.prototype.unlock = function (event) {
    if (this.unlocked) return;
    this.unlocked = true;
    this.unlockEvent = event;
    // resume() must be called inside the gesture's own event handler.
    var resumed = this.context.resume();
    if (resumed && resumed.catch) {
      resumed.catch(function (e) { warn('the browser kept the sound off (' + e.message + ')'); });
    }
    this.updateControl();
    // After this event has gone through the page: when it is a click on a
    // link that leaves, the exit sound is due, not the entrance sound.
    var self = this;
    setTimeout(function () { self.play(); }, 0);
  };

  Player.prototype.listen = function () {
    var self = this;
    var onGesture = function (event) {
      // Escape gives no permission to play in any browser.
      if (event.type === 'keydown' && event.key === 'Escape') return;
      self.unlock(event);
      if (self.unlocked) {
        ['click', 'keydown', 'touchend'].forEach(function (type) {
          window.removeEventListener(type, onGesture, true);
        });
      }
    };
    if (!this.unlocked) {
      ['click', 'keydown', 'touchend'].forEach(function (type) {
        window.addEventListener(type, onGesture, true);
      });
    }
    // Bubble phase: the page's own handlers decide first whether a link is
    // followed at all.
    document.addEventListener('click', function (event) { self.onLinkClick(event); }, false);
    // Coming back through the browser's page cache: the visitor is here
    // again, and the background sound stopped for the exit sound goes on.
    window.addEventListener('pageshow', function (event) {
      if (!event.persisted || !self.leaving) return;
      self.leaving = false;
      if (self.backgroundOn && !self.backgroundSource) self.startBackground();
    });
  };

  // Holds a link's navigation while the exit sound plays.
  Player.prototype.onLinkClick = function (event) {
    if (event.defaultPrevented || event.button !== 0 || this.leaving) return;
    if (event.ctrlKey || event.shiftKey || event.altKey || event.metaKey) return;  // new tab or window
    if (!this.settings.exitOn || !this.sounds.exit) return;
    var link = event.target && event.target.closest ? event.target.closest('a[href], area[href]') : null;
    if (!link || link.hasAttribute('download')) return;
    var target = (link.getAttribute('target') || '').toLowerCase();
    if (target !== '' && target !== '_self' && !(window.top === window && (target === '_top' || target === '_parent'))) return;
    var url = new URL(link.href, document.baseURI);
    if (url.protocol !== 'http:' && url.protocol !== 'https:' && url.protocol !== 'file:') return;
    var here = new URL(window.location.href);
    if (url.hash && url.href.split('#')[0] === here.href.split('#')[0]) return;  // same page
    event.preventDefault();
    this.leaving = true;
    this.stopBackground();
    if (this.entranceSource) {
      try { this.entranceSource.stop(); } catch (e) { /* already ended */ }
    }
    this.playBuffer(this.sounds.exit, false, 0);
    var hold = Math.min(this.sounds.exit.duration * 1000, EXIT_HOLD_LIMIT_MS);
    setTimeout(function () { window.location.assign(url.href); }, hold);
  };

  // ---- Control -------------------------------------------------------------

  Player.prototype.showControl = function () {
    // The fallback sentence asks for Java, which the page no longer needs.
    if (this.host) {
      Array.prototype.slice.call(this.host.childNodes).forEach(function (node) {
        if (node.nodeType === 3 && node.nodeValue.trim() !== '') node.parentNode.removeChild(node);
      });
    }
    if (!this.settings.visibleControl) return;
    var c = this.settings.colour;
    var light = 0.299 * c[0] + 0.587 * c[1] + 0.114 * c[2] >= 128;
    var button = document.createElement('button');
    button.type = 'button';
    button.className = 'sonavelt-player-control';
    button.style.cssText = [
      'display:inline-block', 'box-sizing:border-box', 'width:190px', 'height:20px',
      'margin:0', 'padding:0 4px', 'vertical-align:middle', 'overflow:hidden',
      'white-space:nowrap', 'font:12px/18px Arial,Helvetica,sans-serif',
      'text-align:center', 'cursor:pointer', 'background:transparent',
      'color:' + (light ? '#1a1a1a' : '#f2f2f2'),
      'border:1px solid ' + (light ? '#7a7a7a' : '#b0b0b0'), 'border-radius:3px'
    ].join(';');
    var self = this;
    button.addEventListener('click', function (event) {
      // The click that allowed sound only allows it; later clicks switch.
      if (event === self.unlockEvent || !self.unlocked) return;
      if (!self.settings.noBackground) self.toggleBackground();
    });
    this.control = button;
    this.updateControl();
    this.script.parentNode.insertBefore(button, this.script.nextSibling);
  };

  Player.prototype.updateControl = function () {
    var button = this.control;
    if (!button) return;
    var label;
    if (!this.unlocked) {
      label = LABEL_WAITING;
    } else if (this.settings.noBackground) {
      label = LABEL_SOUND_ON;
    } else {
      label = this.backgroundOn ? LABEL_BACKGROUND_ON : LABEL_BACKGROUND_OFF;
      button.setAttribute('aria-pressed', this.backgroundOn ? 'true' : 'false');
    }
    button.textContent = label;
    button.title = label;
  };

  // ---- Fetching ------------------------------------------------------------

  async function fetchBytes(url) {
    try {
      var response = await fetch(url, { cache: 'no-cache' });
      if (!response.ok) return null;
      return await response.arrayBuffer();
    } catch (e) {
      return null;
    }
  }

  // An AudioBuffer of the .au file, or null (with a warning) when it cannot be
  // had. AudioBuffer needs no running context, so sounds load before the
  // visitor's first gesture.
  async function loadSound(url) {
    var bytes = await fetchBytes(url);
    if (!bytes) {
      warn('cannot read ' + url);
      return null;
    }
    try {
      var decoded = decodeAu(bytes);
      if (decoded.channels[0].length === 0) return null;
      var buffer = new AudioBuffer({
        numberOfChannels: decoded.channels.length,
        length: decoded.channels[0].length,
        sampleRate: decoded.rate
      });
      decoded.channels.forEach(function (samples, ch) { buffer.copyToChannel(samples, ch); });
      return buffer;
    } catch (e) {
      warn(url + ': ' + e.message);
      return null;
    }
  }

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
