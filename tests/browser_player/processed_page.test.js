'use strict';
// A page processed by the real sonavelt-cli run (converter, page editor and
// resource encoder of the C++ core) played by the player in headless
// Chromium: the two sides must agree on the resource file and the .au files.

const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { describe, it, before, after } = require('node:test');

const { muLawToLinear, makeWave, waveFile } = require('./fixtures');
const { chromiumMissing, openTab, withSiteAndBrowser } = require('./harness');

const binDir = process.env.SONAVELT_BIN_DIR;
const dataDir = process.env.SONAVELT_BUILD_DATA_DIR;
// Run by hand, without the build's variables, there is no program to run.
const skip = chromiumMissing() ||
  (binDir && dataDir ? false : 'SONAVELT_BIN_DIR and SONAVELT_BUILD_DATA_DIR are not set');
const PLAYER_LINES = '<script src="index.sounds.js"></script>\r\n' +
  '<script src="sonavelt-player.js" data-resource="index"></script>';
const DOC_PAGE = '/usr/share/doc/base-passwd/users-and-groups.html';

// Runs sonavelt-cli on a copy of `source` (the sample page by default) with
// two combinations of generated sounds and answers the folder the page is
// in. `options` replace the player options; no stored choices exist, so
// what is not given is the default.
// `sounds` replaces generated sounds by name (bg1: a WAVE file's bytes).
function processPage(work, { source, name = 'index.htm', options = ['--html5'], check = true, sounds = {} } = {}) {
  const site = path.join(work, 'site');
  const install = path.join(work, 'install');
  const config = path.join(work, 'config');
  for (const dir of [site, install]) fs.mkdirSync(dir, { recursive: true });
  fs.rmSync(config, { recursive: true, force: true });
  fs.mkdirSync(config);
  fs.copyFileSync(source || path.join(dataDir, 'samples', 'sample.htm'), path.join(site, name));
  fs.copyFileSync(path.join(dataDir, 'SonaveltRandomEventBackground.class'),
    path.join(install, 'SonaveltRandomEventBackground.class'));
  fs.mkdirSync(path.join(install, 'player'), { recursive: true });
  fs.copyFileSync(path.join(dataDir, 'player', 'sonavelt-player.js'),
    path.join(install, 'player', 'sonavelt-player.js'));
  const args = ['run', '--install-folder', install, '-n', '2', '--in-order', '--with-background',
    '--background-on', '--entrance-on', '--exit-on', '--visible', ...options, '--yes', '--quiet'];
  const frames = { in1: 1201, in2: 1202, out1: 2201, out2: 2202, bg1: 3201, bg2: 3202 };
  for (const [name, count] of Object.entries(frames)) {
    fs.writeFileSync(path.join(work, `${name}.wav`), sounds[name] || makeWave(count));
  }
  for (const k of [1, 2]) {
    args.push('-e', path.join(work, `in${k}.wav`), '-x', path.join(work, `out${k}.wav`),
      '-b', path.join(work, `bg${k}.wav`));
  }
  const cli = path.join(binDir, 'sonavelt-cli');
  args.push(path.join(site, name));
  const run = spawnSync(cli, args, {
    encoding: 'utf8',
    env: { ...process.env, XDG_CONFIG_HOME: config, XDG_DATA_HOME: config },
    timeout: 60000,
  });
  assert.equal(run.status, 0, `sonavelt-cli run failed:\n${run.stderr}`);
  if (!check) return site;
  // The run's block loads the data file and the player from beside the
  // page, right before the fallback sentence, and the run put them there.
  const page = fs.readFileSync(path.join(site, name), 'latin1');
  assert.equal(page.split(PLAYER_LINES).length, 2, 'one set of player lines');
  assert.ok(page.includes(`${PLAYER_LINES}\r\nYou will hear sounds`));
  assert.deepEqual(fs.readFileSync(path.join(site, 'sonavelt-player.js')),
    fs.readFileSync(path.join(install, 'player', 'sonavelt-player.js')));
  for (const file of ['index.sounds.js', 'index.local.js']) assert.ok(fs.existsSync(path.join(site, file)), file);
  return site;
}

// The browser copy the run's data file names for audio/FILE, with its exact
// length, or undefined when the sound has none.
function browserCopyOf(site, file) {
  const dataFile = fs.readdirSync(site).find((f) => f.endsWith('.sounds.js'));
  if (!dataFile) return undefined;
  const text = fs.readFileSync(path.join(site, dataFile), 'utf8');
  const sounds = JSON.parse(text.slice(text.indexOf('= {') + 2).replace(/;\s*$/, '')).sounds;
  const entry = sounds.find((s) => s.au === `audio/${file}`);
  return entry && entry.copy ? entry : undefined;
}

// The sounds a visit must start: the first combination's entrance sound
// and background loop, as the run wrote them: the browser copy where the
// run made one (cut to its recorded length), else the .au itself.
function assertFirstCombination(site, entrance, background) {
  for (const [played, file] of [[entrance, 'in1.au'], [background, 'bg1.au']]) {
    const copy = browserCopyOf(site, file);
    if (copy) {
      assert.ok(fs.existsSync(path.join(site, copy.copy)), copy.copy);
      assert.equal(played.rate, 48000, file);
      assert.equal(played.length, copy.frames, file);
      continue;
    }
    const au = fs.readFileSync(path.join(site, 'audio', file));
    assert.equal(au.readUInt32BE(4), 34);
    assert.equal(played.length, au.readUInt32BE(8), file);
    assert.equal(played.rate, 8000);
    const expected = [...au.subarray(34, 34 + 300)].map((c) => muLawToLinear(c) / 32768);
    assert.deepEqual(played.data[0], expected, file);
  }
  assert.equal(entrance.loop, false);
  assert.equal(background.loop, true);
}

// One second of 16-bit stereo at 44100 Hz that repeats without a seam:
// whole periods of 440 Hz on the left and 660 Hz on the right.
function loopWave() {
  const rate = 44100;
  const data = Buffer.alloc(rate * 4);
  for (let i = 0; i < rate; ++i) {
    data.writeInt16LE(Math.round(16000 * Math.sin((2 * Math.PI * 440 * i) / rate)), i * 4);
    data.writeInt16LE(Math.round(9000 * Math.sin((2 * Math.PI * 660 * i) / rate)), i * 4 + 2);
  }
  return waveFile(data, rate, 2);
}

// Every file below `dir`, served under `prefix`.
function serveFolder(server, dir, prefix) {
  for (const entry of fs.readdirSync(dir, { withFileTypes: true, recursive: true })) {
    if (!entry.isFile()) continue;
    const full = path.join(entry.parentPath || entry.path, entry.name);
    const rel = path.relative(dir, full).split(path.sep).map(encodeURIComponent).join('/');
    server.site.set(`${prefix}/${rel}`, fs.readFileSync(full));
  }
}

describe('a page processed by sonavelt-cli', { skip }, () => {
  let server;
  let browser;
  let work;

  before(() => {
    work = fs.mkdtempSync(path.join(os.tmpdir(), 'sonavelt-player-run-'));
  });
  after(() => {
    if (work) fs.rmSync(work, { recursive: true, force: true });
  });
  withSiteAndBrowser((s, b) => { server = s; browser = b; });

  it('plays the converted sounds of the first combination, under a strict policy', async () => {
    const site = processPage(work);
    serveFolder(server, site, '/run');
    // Nothing the run writes is inline: the strictest usual policy holds.
    server.headers.set('/run/', { 'content-security-policy': "default-src 'self'" });
    const tab = await openTab(browser);
    await tab.visit(`${server.origin}/run/index.htm`);
    const [entrance, background] = await tab.clickFor('body', 2);
    assertFirstCombination(site, entrance, background);
    const fetched = server.requests.map((r) => r.path);
    assert.ok(fetched.includes('/run/sonavelt-player.js'));
    assert.ok(fetched.includes('/run/index.sounds.js'));
    // The data file carries the resource file; the preview file is for disk only.
    assert.ok(!fetched.includes('/run/index.res'));
    assert.ok(!fetched.includes('/run/index.local.js'));
    // The exit sound is fetched ahead, as its browser copy where the run made one.
    const exitFile = browserCopyOf(site, 'out1.au') ? '/run/audio/out1.opus' : '/run/audio/out1.au';
    assert.ok(fetched.includes(exitFile), exitFile);
    assert.ok(!fetched.some((p) => /\/audio\/\w+2\.(au|opus)$/.test(p)), 'only the first combination loads');
    assert.equal(await tab.page.textContent('button.sonavelt-player-background'), 'Background sound: on');
    assert.deepEqual(tab.errors, []);
    assert.deepEqual(tab.console.filter((m) => m.type === 'error'), []);

    const shot = path.join(process.env.SONAVELT_TEST_OUTPUT_DIR || os.tmpdir(), 'processed-sample-page.png');
    await tab.page.screenshot({ path: shot, fullPage: true });
    await tab.page.close();
  });

  it('adds the player by default to a real page, which plays over http and from disk', async (t) => {
    if (!fs.existsSync(DOC_PAGE)) {
      t.skip(`${DOC_PAGE} is not installed`);
      return;
    }
    const site = processPage(work, { source: DOC_PAGE, options: [] });
    const original = fs.readFileSync(DOC_PAGE, 'latin1');
    const page = fs.readFileSync(path.join(site, 'index.htm'), 'latin1');
    assert.ok(page.length > original.length && page.includes(PLAYER_LINES));
    serveFolder(server, site, '/doc');
    const tab = await openTab(browser);
    await tab.visit(`${server.origin}/doc/index.htm`);
    const [entrance, background] = await tab.clickFor('body', 2);
    assertFirstCombination(site, entrance, background);
    assert.deepEqual(tab.errors, []);

    // Opened from disk, as the wizard's Test button does: the preview file
    // brings everything the browser will not fetch from a file: address.
    await tab.page.goto(`file://${path.join(site, 'index.htm')}`);
    await tab.page.waitForSelector('script[data-resource][data-state="ready"]', { state: 'attached' });
    const before = tab.starts.length;
    await tab.page.mouse.click(3, 3);
    await tab.waitForStarts(before + 2);
    assertFirstCombination(site, tab.starts[before], tab.starts[before + 1]);
    assert.deepEqual(tab.errors, []);
    await tab.page.close();
  });

  it('--no-html5 gives exactly the applet block', async () => {
    const site = processPage(work, { options: ['--no-html5'], check: false });
    const page = fs.readFileSync(path.join(site, 'index.htm'), 'latin1');
    assert.ok(page.includes('<param name=resource value="index">\r\n' +
      'You will hear sounds if you use Java-enabled browsers.\r\n</applet>'));
    assert.ok(!page.includes('<script'));
  });

  it('loads the player beside a page with <base href>, not at the base, with nothing inline', async () => {
    const source = path.join(work, 'based.htm');
    fs.writeFileSync(source, '<html><head><title>Based</title>' +
      `<base href="${server.origin}/elsewhere/"></head>` +
      '<body bgcolor="#ffffff"><p id="t">A page whose links go elsewhere</p>' +
      '<a id="leave" href="next.html">next</a></body></html>');
    // The page's own address, as the options page or -u gives it.
    const site = processPage(work, { source, check: false, options: ['--html5', '-u', `${server.origin}/based/index.htm`] });
    const page = fs.readFileSync(path.join(site, 'index.htm'), 'latin1');
    assert.ok(!/<script(?![^>]*\ssrc=)/i.test(page), 'an inline script');
    assert.ok(page.includes(`<script src="${server.origin}/based/sonavelt-player.js" data-resource="index">`), page);
    serveFolder(server, site, '/based');
    server.headers.set('/based/', { 'content-security-policy': "script-src 'self'; style-src 'self'" });
    server.site.set('/elsewhere/next.html', '<html><body>elsewhere</body></html>');
    const tab = await openTab(browser);
    await tab.visit(`${server.origin}/based/index.htm`);
    const [entrance, background] = await tab.clickFor('#t', 2);
    assertFirstCombination(site, entrance, background);
    assert.ok(!server.requests.some((r) => r.path.startsWith('/elsewhere/') && r.path !== '/elsewhere/next.html'));
    // Links still go where the base sends them, after the exit sound.
    await Promise.all([tab.page.waitForURL('**/elsewhere/next.html'), tab.page.click('#leave')]);
    const exitCopy = browserCopyOf(site, 'out1.au');
    const exitFrames = exitCopy ? exitCopy.frames
      : fs.readFileSync(path.join(site, 'audio', 'out1.au')).readUInt32BE(8);
    assert.ok(tab.starts.some((s) => s.length === exitFrames), 'the exit sound played');
    assert.deepEqual(tab.console.filter((m) => m.type === 'error'), []);
    await tab.page.close();
  });

  it('makes a background copy that the browser loops without a click', async () => {
    // A folder of its own: the sounds of earlier runs would give this one
    // other names.
    const site = processPage(fs.mkdtempSync(path.join(work, 'seam-')), { sounds: { bg1: loopWave() } });
    serveFolder(server, site, '/seam');
    const copy = browserCopyOf(site, 'bg1.au');
    assert.ok(copy, 'the background has a browser copy');
    const tab = await openTab(browser);
    await tab.visit(`${server.origin}/seam/index.htm`);
    // Decoded by the browser as the player does, at 48 kHz.
    const got = await tab.page.evaluate(async (address) => {
      const context = new OfflineAudioContext(2, 1, 48000);
      const buffer = await context.decodeAudioData(await (await fetch(address)).arrayBuffer());
      const out = { length: buffer.length, rate: buffer.sampleRate, channels: [] };
      for (let c = 0; c < buffer.numberOfChannels; ++c) {
        const x = buffer.getChannelData(c);
        let inside = 0;
        for (let i = 1; i < x.length; ++i) inside = Math.max(inside, Math.abs(x[i] - x[i - 1]));
        out.channels.push({ inside, seam: Math.abs(x[0] - x[x.length - 1]), start: Array.from(x.subarray(0, 200)) });
      }
      return out;
    }, `${server.origin}/seam/${copy.copy}`);
    assert.equal(got.rate, 48000);
    assert.equal(got.length, copy.frames);
    assert.equal(got.length, 48000);
    assert.equal(got.channels.length, 2);
    got.channels.forEach((c, k) => {
      assert.ok(c.seam <= c.inside, `channel ${k}: step ${c.seam} at the seam, at most ${c.inside} inside`);
      // The decoded start is the sound's start, not the encoder's lead-in.
      const [frequency, amplitude] = k === 0 ? [440, 16000 / 32768] : [660, 9000 / 32768];
      const worst = Math.max(...c.start.map((v, i) => Math.abs(v - amplitude * Math.sin((2 * Math.PI * frequency * i) / 48000))));
      assert.ok(worst < 0.05, `channel ${k} starts off by ${worst}`);
    });
    await tab.page.close();
  });

  it('keeps an XHTML page well-formed when it is served as XML', async () => {
    const source = path.join(work, 'page.xhtml');
    fs.writeFileSync(source, '<?xml version="1.0" encoding="UTF-8"?>\n' +
      '<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN" ' +
      '"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd">\n' +
      '<html xmlns="http://www.w3.org/1999/xhtml"><head><title>X</title></head>\n' +
      '<body bgcolor="#ffffff"><p id="t">Strict and tidy</p></body></html>\n');
    const site = processPage(work, { source, name: 'index.xhtml', check: false });
    serveFolder(server, site, '/xhtml');
    const tab = await openTab(browser);
    const response = await tab.page.goto(`${server.origin}/xhtml/index.xhtml`);
    assert.equal(response.headers()['content-type'], 'application/xhtml+xml');
    assert.equal(await tab.page.locator('parsererror').count(), 0, 'the page parses as XML');
    await tab.page.waitForSelector('script[data-resource][data-state="ready"]', { state: 'attached' });
    const [entrance, background] = await tab.clickFor('#t', 2);
    assertFirstCombination(site, entrance, background);
    assert.deepEqual(tab.errors, []);
    await tab.page.close();
  });
});
