'use strict';
// First-visit bytes and click-to-first-sound of the browser player, for the
// four default sound combinations on the sample page, in Debian's Chromium
// throttled to 1.6 Mbit/s with 150 ms latency (CDP network emulation).
//
//   node bench/player_bench.js [--before-commit REV] [--runs N]
//
// Needs the build (build/bin/sonavelt-cli, build/share/sonavelt) and
// playwright-core in tests/browser_player (scripts/setup.sh installs it).
// Each site is made by one real run per combination on the sample page with
// the default options (browser player on, background sound wanted,
// initially off): the page, its data file and the run's Opus copies.
// "after" is that site as the build's run leaves it; "before" is the same
// site with the player script of REV (default b10981a, the player before
// the control moved into its own shadow root). The last lines check the
// goals: at most 62 KB and 200 ms (medians) on every combination.
//
// A visit: a fresh browser profile (nothing cached), the page opened, and a
// click as soon as its load event has fired; click-to-sound is the time from
// that click to the first AudioBufferSourceNode.start, bytes are every
// response's encoded length until the network has been quiet for 2 s.

const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');

const root = path.join(__dirname, '..');
const { chromium } = require(path.join(root, 'tests', 'browser_player', 'node_modules', 'playwright-core'));

const args = process.argv.slice(2);
const option = (name, fallback) => {
  const at = args.indexOf(name);
  return at >= 0 ? args[at + 1] : fallback;
};
const BEFORE = option('--before-commit', 'b10981a');
const RUNS = Number(option('--runs', '5'));
const GOAL_BYTES = 62 * 1024;
const GOAL_MS = 200;
const CHROMIUM = process.env.SONAVELT_CHROMIUM || '/usr/bin/chromium';
const DATA = path.join(root, 'build', 'share', 'sonavelt');
const CLI = path.join(root, 'build', 'bin', 'sonavelt-cli');
const COMBINATIONS = [
  ['ad/sonavelt.wav', 'event/champagne.wav', 'bg/lullaby.wav'],
  ['event/raintrain.wav', 'event/laugh3.wav', 'bg/waltz.wav'],
  ['event/car1.wav', 'event/carcrash2.wav', 'bg/blues.wav'],
  ['event/knockdoor.wav', 'event/doornoise2.wav', 'bg/marimba.wav'],
];
const THROTTLE = { offline: false, latency: 150, downloadThroughput: 1.6e6 / 8, uploadThroughput: 1.6e6 / 8 };

function makeSite(work, k) {
  const site = path.join(work, `site${k}`);
  const install = path.join(work, 'install');
  const config = path.join(work, `config${k}`);
  fs.mkdirSync(site, { recursive: true });
  if (!fs.existsSync(install)) {
    fs.mkdirSync(path.join(install, 'player'), { recursive: true });
    fs.copyFileSync(path.join(DATA, 'SonaveltRandomEventBackground.class'),
      path.join(install, 'SonaveltRandomEventBackground.class'));
    fs.copyFileSync(path.join(DATA, 'player', 'sonavelt-player.js'), path.join(install, 'player', 'sonavelt-player.js'));
    fs.symlinkSync(path.join(DATA, 'audio'), path.join(install, 'audio'));
  }
  fs.copyFileSync(path.join(DATA, 'samples', 'sample.htm'), path.join(site, 'index.htm'));
  const [e, x, b] = COMBINATIONS[k].map((s) => path.join(DATA, 'audio', s));
  const run = spawnSync(CLI, ['run', '--install-folder', install, '-n', '1', '-e', e, '-x', x, '-b', b,
    '--yes', '--quiet', path.join(site, 'index.htm')],
  { encoding: 'utf8', env: { ...process.env, XDG_CONFIG_HOME: config, XDG_DATA_HOME: config } });
  if (run.status !== 0) throw new Error(`sonavelt-cli run failed: ${run.stderr}`);
  return site;
}

// The same site with another player script.
function withPlayer(site, player) {
  const files = siteFiles(site);
  files.set('/sonavelt-player.js', player);
  return files;
}

function siteFiles(site) {
  const files = new Map();
  for (const entry of fs.readdirSync(site, { recursive: true, withFileTypes: true })) {
    if (!entry.isFile()) continue;
    const full = path.join(entry.parentPath || entry.path, entry.name);
    files.set('/' + path.relative(site, full).split(path.sep).join('/'), fs.readFileSync(full));
  }
  return files;
}

function serve(sites) {
  const types = { '.htm': 'text/html', '.js': 'text/javascript', '.au': 'audio/basic', '.opus': 'audio/ogg' };
  const server = http.createServer((req, res) => {
    const url = new URL(req.url, 'http://x');
    const [, name, ...rest] = url.pathname.split('/');
    const body = sites.get(name) && sites.get(name).get('/' + rest.map(decodeURIComponent).join('/'));
    if (!body) {
      res.writeHead(404);
      res.end();
      return;
    }
    // A plain static server: validators, no caching instructions.
    res.writeHead(200, { 'content-type': types[path.extname(url.pathname)] || 'application/octet-stream',
      'last-modified': 'Mon, 07 Dec 2026 10:00:00 GMT' });
    res.end(body);
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

async function visit(url) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'sonavelt-bench-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM, headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking'],
  });
  try {
    const page = await context.newPage();
    await page.addInitScript(() => {
      const start = AudioBufferSourceNode.prototype.start;
      AudioBufferSourceNode.prototype.start = function (...a) {
        if (this.buffer && this.buffer.length > 1 && window.__firstSound === undefined) {
          window.__firstSound = performance.now();
        }
        return start.apply(this, a);
      };
      window.addEventListener('pointerdown', () => {
        if (window.__clickAt === undefined) window.__clickAt = performance.now();
      }, true);
    });
    const cdp = await context.newCDPSession(page);
    await cdp.send('Network.enable');
    await cdp.send('Network.emulateNetworkConditions', THROTTLE);
    let bytes = 0;
    let lastActivity = Date.now();
    cdp.on('Network.loadingFinished', (e) => { bytes += e.encodedDataLength; lastActivity = Date.now(); });
    cdp.on('Network.requestWillBeSent', () => { lastActivity = Date.now(); });
    await page.goto(url, { waitUntil: 'load' });
    await page.mouse.click(3, 3);
    await page.waitForFunction(() => window.__firstSound !== undefined, null, { timeout: 30000 });
    const clickToSound = await page.evaluate(() => window.__firstSound - window.__clickAt);
    while (Date.now() - lastActivity < 2000) await new Promise((r) => setTimeout(r, 200));
    return { bytes, clickToSound };
  } finally {
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
}

const median = (list) => [...list].sort((a, b) => a - b)[Math.floor(list.length / 2)];

(async () => {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'sonavelt-player-bench-'));
  const oldPlayer = spawnSync('git', ['-C', root, 'show', `${BEFORE}:data/player/sonavelt-player.js`]).stdout;
  if (!oldPlayer || oldPlayer.length === 0) throw new Error(`no player at ${BEFORE}`);
  const sites = new Map();
  for (let k = 0; k < COMBINATIONS.length; ++k) {
    const site = makeSite(work, k);
    sites.set(`after${k}`, siteFiles(site));
    sites.set(`before${k}`, withPlayer(site, oldPlayer));
  }
  const server = await serve(sites);
  const origin = `http://127.0.0.1:${server.address().port}`;
  const VARIANTS = ['before', 'after'];
  console.log('| combination | bytes before | bytes after | click to sound ms before | ms after |');
  console.log('|---|---|---|---|---|');
  const totals = { before: 0, after: 0 };
  let worst = { bytes: 0, ms: 0 };
  for (let k = 0; k < COMBINATIONS.length; ++k) {
    const row = {};
    for (const variant of VARIANTS) {
      const runs = [];
      for (let r = 0; r < RUNS; ++r) runs.push(await visit(`${origin}/${variant}${k}/index.htm`));
      row[variant] = { bytes: median(runs.map((x) => x.bytes)), ms: median(runs.map((x) => x.clickToSound)) };
      totals[variant] += row[variant].bytes;
    }
    worst = { bytes: Math.max(worst.bytes, row.after.bytes), ms: Math.max(worst.ms, row.after.ms) };
    console.log(`| ${k + 1} ${COMBINATIONS[k][0]} | ${VARIANTS.map((v) => row[v].bytes).join(' | ')} | ` +
      `${VARIANTS.map((v) => row[v].ms.toFixed(0)).join(' | ')} |`);
  }
  console.log(`bytes_after_over_before=${(totals.after / totals.before).toFixed(3)}`);
  console.log(`goal bytes <= ${GOAL_BYTES}: worst ${worst.bytes} ${worst.bytes <= GOAL_BYTES ? 'met' : 'MISSED'}`);
  console.log(`goal click to sound <= ${GOAL_MS} ms: worst ${worst.ms.toFixed(0)} ${worst.ms <= GOAL_MS ? 'met' : 'MISSED'}`);
  server.close();
  fs.rmSync(work, { recursive: true, force: true });
})().catch((e) => {
  console.error(e);
  process.exit(1);
});
