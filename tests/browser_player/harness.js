'use strict';
// A loopback web server for the test site, Debian's Chromium driven through
// playwright-core, and pages whose Web Audio calls are recorded.

const fs = require('node:fs');
const { spawn } = require('node:child_process');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const { before, after } = require('node:test');

const CHROMIUM = process.env.SONAVELT_CHROMIUM || '/usr/bin/chromium';
// How long a test waits for something that must happen: generous, since on
// a loaded machine (the suite runs two tests at once) a page and its sounds
// can take seconds. A passing test never waits it out.
const WAIT_MS = 20000;

// The player under test: the build tree's copy when the build runs the test,
// else the source.
function playerPath() {
  const built = process.env.SONAVELT_BUILD_DATA_DIR &&
    path.join(process.env.SONAVELT_BUILD_DATA_DIR, 'player', 'sonavelt-player.js');
  if (built && fs.existsSync(built)) return built;
  return path.join(__dirname, '..', '..', 'data', 'player', 'sonavelt-player.js');
}

// Serves files put into `site` (path -> Buffer or string); any path ending in
// /sonavelt-player.js gets the player. Every request is logged with its time.
// `headers` (path prefix -> header object) adds headers to every answer
// under that prefix, for example a Content-Security-Policy; `delays` (path ->
// ms) holds an answer back that long.
async function startServer() {
  const site = new Map();
  const headers = new Map();
  const delays = new Map();
  const requests = [];
  const server = http.createServer(async (req, res) => {
    const url = new URL(req.url, 'http://127.0.0.1');
    requests.push({ path: url.pathname, host: req.headers.host, headers: req.headers, time: Date.now() });
    if (delays.has(url.pathname)) await new Promise((r) => setTimeout(r, delays.get(url.pathname)));
    for (const [prefix, extra] of headers) {
      if (url.pathname.startsWith(prefix)) for (const [name, value] of Object.entries(extra)) res.setHeader(name, value);
    }
    if (url.pathname === '/favicon.ico') {
      res.writeHead(204);
      res.end();
      return;
    }
    let body = site.get(url.pathname);
    // { status } answers with that status and no body (204: the browser stays).
    if (body && body.status) {
      res.writeHead(body.status);
      res.end();
      return;
    }
    if (body === undefined && url.pathname.endsWith('/sonavelt-player.js')) {
      body = fs.readFileSync(playerPath());
    }
    if (body === undefined) {
      res.writeHead(404, { 'content-type': 'text/plain' });
      res.end('not found');
      return;
    }
    const types = {
      '.html': 'text/html', '.htm': 'text/html', '.js': 'text/javascript', '.au': 'audio/basic',
      '.xhtml': 'application/xhtml+xml', '.opus': 'audio/ogg', '.res': 'application/octet-stream',
    };
    res.writeHead(200, {
      'content-type': url.pathname.endsWith('/') ? 'text/html'
        : types[path.extname(url.pathname)] || 'application/octet-stream',
      'cache-control': 'no-store',
    });
    res.end(body);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const origin = `http://127.0.0.1:${server.address().port}`;
  return {
    site, headers, delays, requests, origin,
    close: () => new Promise((resolve) => { server.close(resolve); server.closeAllConnections(); }),
  };
}

// Why the browser tests cannot run here, or null. Under CI=true the suite is
// configured to have Chromium: there a missing one fails the tests (at the
// browser's launch) instead of skipping them.
function chromiumMissing() {
  if (fs.existsSync(CHROMIUM) || process.env.CI === 'true') return null;
  return `chromium is not installed (${CHROMIUM})`;
}

// Playwright's Chromium driver and a fresh profile folder, once both the
// driver and Debian's Chromium are there.
function prepareChromium() {
  let chromium;
  try {
    ({ chromium } = require('playwright-core'));
  } catch (e) {
    throw new Error('playwright-core is missing: run "npm ci" in tests/browser_player (scripts/setup.sh does)');
  }
  if (!fs.existsSync(CHROMIUM)) throw new Error(`chromium is not installed (${CHROMIUM})`);
  return { chromium, profile: fs.mkdtempSync(path.join(os.tmpdir(), 'sonavelt-player-profile-')) };
}

// `prefs` go into the profile's Preferences before the start (for example
// { webkit: { webprefs: { minimum_font_size: 24 } } }).
async function launchBrowser(extraArgs = [], prefs = null, headful = false) {
  const { chromium, profile } = prepareChromium();
  if (prefs) {
    fs.mkdirSync(path.join(profile, 'Default'));
    fs.writeFileSync(path.join(profile, 'Default', 'Preferences'), JSON.stringify(prefs));
  }
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM,
    headless: !headful,
    args: [
      '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      ...extraArgs,
    ],
  });
  return {
    context,
    close: async () => {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

// A browser whose tabs hide each other as a visitor's do: bringing one tab
// to the front makes every other one "hidden". Playwright's own launch turns
// on focus emulation for each page, and that keeps every page visible
// whichever tab is in front; so this Chromium is started here and attached
// to without Playwright's default overrides (`noDefaults`). Pages come from
// the default context (`context.newPage()`), tabs of one window.
async function launchBrowserWithTabs() {
  const { chromium, profile } = prepareChromium();
  const child = spawn(CHROMIUM, [
    '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--remote-debugging-port=0', `--user-data-dir=${profile}`, 'about:blank',
  ], { stdio: ['ignore', 'ignore', 'pipe'], detached: true });
  const exited = new Promise((resolve) => child.once('exit', resolve));
  // Chromium's helper processes outlive its main one for a moment, writing
  // into the profile and holding the stderr pipe (which would keep this
  // process alive): the whole process group goes, then the profile.
  const stop = async () => {
    try {
      process.kill(-child.pid, 'SIGKILL');
    } catch (e) {
      if (e.code !== 'ESRCH') throw e;
    }
    await exited;
    fs.rmSync(profile, { recursive: true, force: true, maxRetries: 20, retryDelay: 50 });
  };
  let context;
  try {
    const endpoint = await new Promise((resolve, reject) => {
      let said = '';
      const timer = setTimeout(() => reject(new Error(`chromium gave no DevTools address in 30 s: ${said}`)), 30000);
      child.stderr.on('data', (chunk) => {
        said += chunk;
        const found = said.match(/DevTools listening on (ws:\/\/\S+)/);
        if (found) {
          clearTimeout(timer);
          resolve(found[1]);
        }
      });
      child.once('exit', (code) => {
        clearTimeout(timer);
        reject(new Error(`chromium exited with ${code}: ${said}`));
      });
    });
    const browser = await chromium.connectOverCDP(endpoint, { isLocal: true, noDefaults: true });
    [context] = browser.contexts();
  } catch (e) {
    await stop();
    throw e;
  }
  return {
    context,
    close: async () => {
      await context.browser().close().catch(() => {});
      await stop();
    },
  };
}

// Wraps AudioBufferSourceNode.start/stop before the page's scripts run and
// reports every call to the test through a binding, which outlives
// navigations. The real decoding and playing go on untouched.
function instrument() {
  let nextId = 0;
  const realStart = AudioBufferSourceNode.prototype.start;
  const realStop = AudioBufferSourceNode.prototype.stop;
  AudioBufferSourceNode.prototype.start = function (when, ...rest) {
    const b = this.buffer;
    // A one-sample silent buffer is the player's unlock probe, not a sound.
    if (b && b.length <= 1) return realStart.call(this, when, ...rest);
    this.recordId = nextId++;
    const data = [];
    for (let ch = 0; ch < b.numberOfChannels; ++ch) {
      data.push(Array.from(b.getChannelData(ch).subarray(0, 300)));
    }
    window.__audioEvent({
      kind: 'start', id: this.recordId, page: location.pathname, rate: b.sampleRate,
      length: b.length, channels: b.numberOfChannels, data, loop: this.loop,
      contextState: this.context.state,
      when: when || 0, now: this.context.currentTime, time: Date.now(),
    });
    return realStart.call(this, when, ...rest);
  };
  for (const name of ['suspend', 'resume']) {
    const real = AudioContext.prototype[name];
    AudioContext.prototype[name] = function (...args) {
      window.__audioEvent({ kind: name, state: this.state, time: Date.now() });
      return real.apply(this, args);
    };
  }
  AudioBufferSourceNode.prototype.stop = function (...args) {
    if (this.recordId === undefined) return realStop.apply(this, args);
    window.__audioEvent({ kind: 'stop', id: this.recordId, time: Date.now() });
    return realStop.apply(this, args);
  };
}

// A new tab with recorded audio and console.
async function openTab(browser) {
  const page = await browser.context.newPage();
  const tab = { page, starts: [], stops: [], contextCalls: [], console: [], errors: [] };
  await page.exposeFunction('__audioEvent', (event) => {
    if (event.kind === 'start') tab.starts.push(event);
    else if (event.kind === 'stop') tab.stops.push(event);
    else tab.contextCalls.push(event);
  });
  await page.addInitScript(instrument);
  page.on('console', (m) => tab.console.push({ type: m.type(), text: m.text() }));
  page.on('pageerror', (e) => tab.errors.push(String(e)));
  // Waits until `condition()` holds over what was recorded; `what` names it
  // in the failure after `timeout` ms.
  tab.waitFor = async (condition, what, timeout = WAIT_MS) => {
    const end = Date.now() + timeout;
    while (!condition()) {
      if (Date.now() > end) throw new Error(`waited ${timeout} ms for ${typeof what === 'function' ? what() : what}`);
      await new Promise((r) => setTimeout(r, 20));
    }
  };
  tab.waitForStarts = (count, timeout = WAIT_MS) => tab.waitFor(() => tab.starts.length >= count,
    () => `${count} sounds, got ${JSON.stringify(tab.starts.map((s) => s.length))}`, timeout);
  // Opens `url` and waits until the player's script says `state`.
  tab.visit = async (url, state = 'ready') => {
    await page.goto(url);
    await page.waitForSelector(`script[data-resource][data-state="${state}"]`, { state: 'attached', timeout: WAIT_MS });
  };
  // Clicks `selector` and answers the `count` sounds that start after it.
  tab.clickFor = async (selector, count) => {
    const before = tab.starts.length;
    await page.click(selector);
    await tab.waitForStarts(before + count);
    return tab.starts.slice(before);
  };
  return tab;
}

// Starts the test site's server and a browser before the tests of the
// describe block it is called in, and closes both after them. `take`
// receives the two once started; `browserArgs(server)` gives the browser's
// extra command-line arguments.
function withSiteAndBrowser(take, browserArgs = () => []) {
  let server;
  let browser;
  before(async () => {
    server = await startServer();
    browser = await launchBrowser(browserArgs(server));
    take(server, browser);
  });
  after(async () => {
    if (browser) await browser.close();
    if (server) await server.close();
  });
}

module.exports = {
  startServer, chromiumMissing, launchBrowser, launchBrowserWithTabs, openTab, withSiteAndBrowser,
};
