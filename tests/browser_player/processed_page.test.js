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

const { muLawToLinear, makeWave } = require('./fixtures');
const { startServer, chromiumMissing, launchBrowser, openTab } = require('./harness');

const binDir = process.env.SONAVELT_BIN_DIR;
const dataDir = process.env.SONAVELT_BUILD_DATA_DIR;
// Run by hand, without the build's variables, there is no program to run.
const skip = chromiumMissing() ||
  (binDir && dataDir ? false : 'SONAVELT_BIN_DIR and SONAVELT_BUILD_DATA_DIR are not set');
const PLAYER_LINE = '<script src="sonavelt-player.js" data-resource="index"></script>';

// Runs sonavelt-cli on a copy of the sample page with two combinations of
// generated sounds and answers the folder the page is in.
function processSamplePage(work) {
  const site = path.join(work, 'site');
  const install = path.join(work, 'install');
  const config = path.join(work, 'config');
  for (const dir of [site, install, config]) fs.mkdirSync(dir, { recursive: true });
  fs.copyFileSync(path.join(dataDir, 'samples', 'sample.htm'), path.join(site, 'index.htm'));
  fs.copyFileSync(path.join(dataDir, 'SonaveltRandomEventBackground.class'),
    path.join(install, 'SonaveltRandomEventBackground.class'));
  fs.mkdirSync(path.join(install, 'player'));
  fs.copyFileSync(path.join(dataDir, 'player', 'sonavelt-player.js'),
    path.join(install, 'player', 'sonavelt-player.js'));
  const args = ['run', '--install-folder', install, '-n', '2', '--in-order', '--with-background',
    '--background-on', '--entrance-on', '--exit-on', '--visible', '--html5', '--yes', '--quiet'];
  const frames = { in1: 1201, in2: 1202, out1: 2201, out2: 2202, bg1: 3201, bg2: 3202 };
  for (const [name, count] of Object.entries(frames)) {
    fs.writeFileSync(path.join(work, `${name}.wav`), makeWave(count));
  }
  for (const k of [1, 2]) {
    args.push('-e', path.join(work, `in${k}.wav`), '-x', path.join(work, `out${k}.wav`),
      '-b', path.join(work, `bg${k}.wav`));
  }
  const cli = path.join(binDir, 'sonavelt-cli');
  args.push(path.join(site, 'index.htm'));
  const run = spawnSync(cli, args, {
    encoding: 'utf8',
    env: { ...process.env, XDG_CONFIG_HOME: config, XDG_DATA_HOME: config },
    timeout: 60000,
  });
  assert.equal(run.status, 0, `sonavelt-cli run failed:\n${run.stderr}`);
  // The run's block loads the player from beside the page, right before the
  // fallback sentence, and the run put the script there.
  const page = fs.readFileSync(path.join(site, 'index.htm'), 'latin1');
  assert.equal(page.split(PLAYER_LINE).length, 2, 'one player line');
  assert.ok(page.includes(`${PLAYER_LINE}\r\nYou will hear sounds`));
  assert.deepEqual(fs.readFileSync(path.join(site, 'sonavelt-player.js')),
    fs.readFileSync(path.join(install, 'player', 'sonavelt-player.js')));
  return site;
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

  before(async () => {
    work = fs.mkdtempSync(path.join(os.tmpdir(), 'sonavelt-player-run-'));
    server = await startServer();
    browser = await launchBrowser();
  });
  after(async () => {
    if (browser) await browser.close();
    if (server) await server.close();
    if (work) fs.rmSync(work, { recursive: true, force: true });
  });

  it('plays the converted sounds of the first combination', async () => {
    const site = processSamplePage(work);
    serveFolder(server, site, '/run');
    const tab = await openTab(browser);
    await tab.visit(`${server.origin}/run/index.htm`);
    const [entrance, background] = await tab.clickFor('body', 2);

    // The converter's files: a 34-byte header, then one mu-law byte a frame.
    for (const [played, file] of [[entrance, 'in1.au'], [background, 'bg1.au']]) {
      const au = fs.readFileSync(path.join(site, 'audio', file));
      assert.equal(au.readUInt32BE(4), 34);
      assert.equal(played.length, au.readUInt32BE(8), file);
      assert.equal(played.rate, 8000);
      const expected = [...au.subarray(34, 34 + 300)].map((c) => muLawToLinear(c) / 32768);
      assert.deepEqual(played.data[0], expected, file);
    }
    assert.equal(entrance.loop, false);
    assert.equal(background.loop, true);
    const fetched = server.requests.map((r) => r.path);
    assert.ok(fetched.includes('/run/sonavelt-player.js'));
    assert.ok(fetched.includes('/run/index.res'));
    assert.ok(fetched.includes('/run/audio/out1.au'));
    assert.ok(!fetched.some((p) => /\/audio\/\w+2\.au$/.test(p)), 'only the first combination loads');
    assert.equal(await tab.page.textContent('button.sonavelt-player-control'), 'Background sound: on');
    assert.deepEqual(tab.errors, []);
    assert.deepEqual(tab.console.filter((m) => m.type === 'error'), []);

    const shot = path.join(process.env.SONAVELT_TEST_OUTPUT_DIR || os.tmpdir(), 'processed-sample-page.png');
    await tab.page.screenshot({ path: shot, fullPage: true });
    await tab.page.close();
  });
});
