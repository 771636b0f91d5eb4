'use strict';
// The page's sound player in headless Chromium: pages, resource files and .au
// sounds are served from loopback; what plays is read from the recorded
// AudioBufferSourceNode calls while the player's own decoding runs.

const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { describe, it } = require('node:test');

const {
  encodeResource, resourceText, muLawToLinear, makeAu, patternAu, processedPage,
} = require('./fixtures');
const { chromiumMissing, openTab, withSiteAndBrowser } = require('./harness');

const skip = chromiumMissing();
const RATE = 8000;
// Sound lengths in frames tell the sounds apart: entrance 1000 + k, exit
// 2000 + k, background 3000 + k for combination k.
const lengthOf = (role, k) => ({ entrance: 1000, exit: 2000, background: 3000 }[role] + k);
const CONTROL = '.sonavelt-player';
const ENABLE = 'button.sonavelt-player-enable';
const BACKGROUND = 'button.sonavelt-player-background';
const MUTE = 'button.sonavelt-player-mute';
const FALLBACK = 'You will hear sounds if you use Java-enabled browsers.';

// Expected first samples of patternAu, decoded to [-1, 1).
function patternStart(count) {
  const out = [];
  for (let i = 0; i < count; ++i) out.push(muLawToLinear((i * 37 + 11) % 256) / 32768);
  return out;
}

// Puts a processed page with `combinations` combinations into folder `dir`.
function publish(server, dir, { combinations = 3, random = true, page = {}, ...options } = {}) {
  const names = (role) => Array.from({ length: combinations }, (_, i) => `${role}${i + 1}.au`);
  for (const role of ['entrance', 'exit', 'background']) {
    for (let k = 1; k <= combinations; ++k) {
      server.site.set(`${dir}/audio/${role}${k}.au`, patternAu(lengthOf(role, k)));
    }
  }
  server.site.set(`${dir}/index.res`, encodeResource(resourceText({
    entrance: names('entrance'), exit: names('exit'), background: names('background'), ...options,
  })));
  server.site.set(`${dir}/index.html`, processedPage({ random, ...page }));
  server.site.set(`${dir}/next.html`, '<html><body><p id="next">Next</p></body></html>');
  return `${server.origin}${dir}/index.html`;
}

function combinationOf(start) {
  return start.length % 1000;
}

function assertNoErrors(tab) {
  assert.deepEqual(tab.errors, []);
  assert.deepEqual(tab.console.filter((m) => m.type === 'error'), []);
}

describe('browser player', { skip: skip || false }, () => {
  let server;
  let browser;

  // Chromium's own autoplay rule: sound only after the visitor's gesture.
  withSiteAndBrowser((s, b) => { server = s; browser = b; });

  it('waits for a gesture, then plays the entrance sound and loops the background after it', async (t) => {
    const url = publish(server, '/gesture', { combinations: 1 });
    const tab = await openTab(browser);
    await tab.visit(url);
    const enable = tab.page.locator(ENABLE);
    assert.equal(await enable.textContent(), 'Click here to hear sounds');
    assert.equal(await tab.page.locator(BACKGROUND).isVisible(), false, 'no state claimed before sound can play');
    // The control takes the fallback sentence's place; the page stays.
    assert.ok(!(await tab.page.textContent('body')).includes(FALLBACK));
    assert.equal(await tab.page.textContent('#title'), 'Welcome');
    assert.equal(tab.starts.length, 0, 'nothing may play before the first gesture');

    // A sound started before the gesture would carry an earlier time than
    // it, however late its report reached the test.
    const gesture = Date.now();
    const [entrance, background] = await tab.clickFor('#title', 2);
    assert.ok(tab.starts.every((s) => s.time >= gesture), 'a sound started before the first gesture');
    assert.equal(entrance.length, lengthOf('entrance', 1));
    assert.equal(entrance.loop, false);
    assert.equal(entrance.rate, RATE);
    assert.equal(entrance.channels, 1);
    assert.deepEqual(entrance.data[0].slice(0, 40), patternStart(40));
    assert.equal(background.length, lengthOf('background', 1));
    assert.equal(background.loop, true);
    // The background waits for the entrance sound to end.
    const entranceSeconds = lengthOf('entrance', 1) / RATE;
    assert.ok(Math.abs(background.when - (entrance.now + entranceSeconds)) < 0.05,
      `background at ${background.when}, entrance from ${entrance.now}`);
    const control = tab.page.locator(BACKGROUND);
    assert.equal(await control.textContent(), 'Background sound: on');
    assert.equal(await control.getAttribute('aria-pressed'), 'true');
    assert.equal(await enable.isVisible(), false);

    await t.test('the control switches the background off and on', async () => {
      await control.click();
      assert.equal(await control.textContent(), 'Background sound: off');
      assert.equal(await control.getAttribute('aria-pressed'), 'false');
      await tab.waitFor(() => tab.stops.length > 0, 'the background to stop');
      assert.deepEqual(tab.stops.map((s) => s.id), [background.id]);
      await control.click();
      await tab.waitForStarts(3);
      assert.equal(await control.textContent(), 'Background sound: on');
      assert.equal(tab.starts[2].length, lengthOf('background', 1));
      assert.equal(tab.starts[2].loop, true);
    });

    const shot = path.join(process.env.SONAVELT_TEST_OUTPUT_DIR || os.tmpdir(), 'player-control.png');
    await tab.page.locator(CONTROL).screenshot({ path: shot });
    assert.ok(fs.statSync(shot).size > 0);
    assertNoErrors(tab);
    await tab.page.close();
  });

  it('plays the combinations in order across visits and remembers where it was', async () => {
    const url = publish(server, '/ordered', { combinations: 3, random: false });
    const tab = await openTab(browser);
    const seen = [];
    for (let visit = 0; visit < 4; ++visit) {
      await tab.visit(url);
      // A first click on the control only allows sound; it must not switch.
      const [entrance, background] = await tab.clickFor(ENABLE, 2);
      assert.equal(await tab.page.textContent(BACKGROUND), 'Background sound: on');
      assert.equal(combinationOf(entrance), combinationOf(background));
      seen.push(combinationOf(entrance));
    }
    assert.deepEqual(seen, [1, 2, 3, 1]);
    assertNoErrors(tab);
    await tab.page.close();
  });

  it('picks whole random combinations', async () => {
    const url = publish(server, '/random', { combinations: 3, random: true });
    const tab = await openTab(browser);
    const seen = new Set();
    for (let visit = 0; visit < 8; ++visit) {
      await tab.visit(url);
      const [entrance, background] = await tab.clickFor('#title', 2);
      assert.equal(entrance.length - 1000, background.length - 3000, 'sounds of one combination');
      assert.ok([1, 2, 3].includes(combinationOf(entrance)));
      seen.add(combinationOf(entrance));
    }
    // Eight visits all on one combination happen once in 2187 runs.
    assert.ok(seen.size > 1, `only combination ${[...seen]} was chosen`);
    await tab.page.close();
  });

  it('plays the exit sound before following a link of the page', async (t) => {
    const url = publish(server, '/exit', { combinations: 1 });
    const tab = await openTab(browser);
    await tab.visit(url);
    await tab.clickFor('#title', 2);

    // A link within the page is no leaving. An exit sound it set off would
    // reach the test before the one of the real leaving below (the calls
    // arrive in order), so no wait is needed to see that there was none.
    await tab.page.click('#anchor');
    assert.equal(tab.starts.length, 2);

    await Promise.all([tab.page.waitForURL('**/exit/next.html'), tab.page.click('#leave')]);
    await tab.waitForStarts(3);
    assert.deepEqual(tab.starts.slice(2).map((s) => s.length), [lengthOf('exit', 1)], 'one exit sound, the leaving\'s');
    const exit = tab.starts.find((s) => s.length === lengthOf('exit', 1));
    assert.ok(exit, 'the exit sound was played');
    assert.equal(exit.loop, false);
    const fetched = server.requests.find((r) => r.path === '/exit/next.html');
    const held = fetched.time - exit.time;
    const exitMs = (lengthOf('exit', 1) / RATE) * 1000;
    assert.ok(held >= exitMs - 30 && held < exitMs + 2000, `navigation held ${held} ms`);
    // The background stops so that the exit sound is heard.
    assert.ok(tab.stops.some((s) => s.id === tab.starts[1].id));
    assertNoErrors(tab);

    await t.test('a long exit sound holds the visitor at most three seconds', async () => {
      server.site.set('/exit/audio/exit1.au', patternAu(RATE * 20));
      const begin = Date.now();
      await tab.visit(url);
      await Promise.all([tab.page.waitForURL('**/exit/next.html'), tab.page.click('#leave')]);
      const waited = Date.now() - begin;
      assert.ok(waited < 6000, `waited ${waited} ms`);
      assert.ok(tab.starts.some((s) => s.length === RATE * 20));
    });
    await tab.page.close();
  });

  it('plays only on the address the safety key names, and says so on other copies', async () => {
    const options = { combinations: 1, safetyKey: true, pageUrl: `${server.origin}/Owner/` };
    const allowed = publish(server, '/owner', options);
    const copied = publish(server, '/copy', options);

    const tab = await openTab(browser);
    await tab.visit(copied, 'blocked');
    await tab.page.click('#title');
    assert.equal(tab.starts.length, 0);
    const note = tab.page.locator(`${CONTROL} .sonavelt-player-note`);
    assert.ok(await note.isVisible(), 'a visible note, not only the console');
    assert.match(await note.textContent(), /not at the page's own address/);
    assert.equal(await tab.page.locator(`${CONTROL} button:visible`).count(), 0);
    assert.ok(tab.console.some((m) => m.type === 'warning' && m.text.includes('safety key')));

    // Letter case aside, the page is the folder's index page.
    await tab.visit(allowed);
    await tab.clickFor('#title', 2);
    // Reports arrive in order: one from the copy would have come before these.
    assert.deepEqual(tab.starts.map((s) => s.page), ['/owner/index.html', '/owner/index.html'],
      'the copy played nothing');
    await tab.page.close();
  });

  it('shows no control when invisible, plays entrance and exit, offers no background', async () => {
    const url = publish(server, '/hidden', { combinations: 1, page: { visible: false } });
    // A first-version file names its sounds plainly; the player encodes them.
    server.site.set('/hidden/audio/entrance%20one.au', patternAu(lengthOf('entrance', 1)));
    server.site.delete('/hidden/audio/entrance1.au');
    server.site.set('/hidden/index.res', encodeResource(resourceText({
      entrance: ['entrance one.au'], exit: ['exit1.au'], background: ['background1.au'],
      visible: false, version: '',
    })));
    const tab = await openTab(browser);
    await tab.visit(url);
    assert.equal(await tab.page.locator(CONTROL).count(), 0);
    assert.ok(!(await tab.page.textContent('body')).includes(FALLBACK));
    await tab.page.keyboard.press('a');
    await tab.waitForStarts(1);
    // A background sound would have started before the exit sound below,
    // whose report would then not be the second.
    assert.deepEqual(tab.starts.map((s) => s.length), [lengthOf('entrance', 1)]);
    // Nothing could stop a background sound here: it is not even fetched.
    assert.ok(!server.requests.some((r) => r.path === '/hidden/audio/background1.au'));
    await Promise.all([tab.page.waitForURL('**/hidden/next.html'), tab.page.click('#leave')]);
    assert.equal(tab.starts[1].length, lengthOf('exit', 1));
    assertNoErrors(tab);
    await tab.page.close();
  });

  it('leaves the page intact when the resource or a sound is missing', async (t) => {
    server.site.set('/missing/index.html', processedPage({ resource: 'nothere' }));
    const tab = await openTab(browser);
    await tab.visit(`${server.origin}/missing/index.html`, 'failed');
    assert.ok((await tab.page.textContent('body')).includes(FALLBACK));
    assert.equal(await tab.page.locator(CONTROL).count(), 0);
    assert.equal(await tab.page.textContent('#title'), 'Welcome');
    assert.ok(tab.console.some((m) => m.type === 'warning' && m.text.includes('nothere.res')));
    assert.deepEqual(tab.errors, []);

    await t.test('a garbled resource file is refused', async () => {
      server.site.set('/missing/garbled.res', Buffer.from([200, 0, 0, 0, 1, 2, 3]));
      server.site.set('/missing/garbled.html', processedPage({ resource: 'garbled' }));
      await tab.visit(`${server.origin}/missing/garbled.html`, 'failed');
      assert.ok((await tab.page.textContent('body')).includes(FALLBACK));
    });

    await t.test('the sounds that load still play', async () => {
      const url = publish(server, '/partial', { combinations: 1 });
      server.site.delete('/partial/audio/entrance1.au');
      server.site.set('/partial/audio/exit1.au', Buffer.from('RIFF....WAVEfmt not an au file'));
      await tab.visit(url);
      const [background] = await tab.clickFor('#title', 1);
      assert.equal(background.length, lengthOf('background', 1));
      const before = tab.starts.length;
      assert.ok(tab.console.some((m) => m.type === 'warning' && m.text.includes('exit1.au: not an .au file')));
      // No exit sound: the link is followed at once.
      await Promise.all([tab.page.waitForURL('**/partial/next.html'), tab.page.click('#leave')]);
      assert.equal(tab.starts.length, before);
    });
    assert.deepEqual(tab.errors, []);
    await tab.page.close();
  });
});

describe('browser player where the browser allows sound at once', { skip: skip || false }, () => {
  let server;
  let browser;

  withSiteAndBrowser((s, b) => { server = s; browser = b; },
    () => ['--autoplay-policy=no-user-gesture-required']);

  it('plays the entrance sound without a gesture and decodes every mu-law code', async () => {
    const allCodes = Array.from({ length: 256 }, (_, i) => i);
    // Stereo, interleaved: left walks up through the codes, right down.
    const stereo = [];
    for (let i = 0; i < 256; ++i) stereo.push(i, 255 - i);
    // Names reach the server as the file spells them, percent-encoded.
    server.site.set('/decode/audio/all%20codes%20%C3%A9.au', makeAu(allCodes, { rate: 11025, annotation: 'sixteen bytes...' }));
    server.site.set('/decode/audio/stereo.au', makeAu(stereo, { rate: 16000, channels: 2 }));
    // The data size field says less than the file holds: only that plays.
    server.site.set('/decode/audio/short.au', makeAu(allCodes, { dataSize: 100 }));
    server.site.set('/decode/index.res', encodeResource(resourceText({
      entrance: ['all%20codes%20%C3%A9.au'], exit: ['short.au'], background: ['stereo.au'],
    })));
    server.site.set('/decode/index.html', processedPage());
    server.site.set('/decode/next.html', '<html><body>Next</body></html>');

    const tab = await openTab(browser);
    await tab.visit(`${server.origin}/decode/index.html`);
    await tab.waitForStarts(2);
    const [entrance, background] = tab.starts;
    assert.equal(await tab.page.textContent(BACKGROUND), 'Background sound: on');

    assert.equal(entrance.rate, 11025);
    assert.equal(entrance.length, 256);
    const expected = allCodes.map((c) => muLawToLinear(c) / 32768);
    assert.deepEqual(entrance.data[0], expected);
    assert.equal(muLawToLinear(0x00), -32124);
    assert.equal(muLawToLinear(0x80), 32124);

    assert.equal(background.rate, 16000);
    assert.equal(background.channels, 2);
    assert.equal(background.length, 256);
    assert.deepEqual(background.data[0], expected);
    assert.deepEqual(background.data[1], [...expected].reverse());

    // Leave so that the exit sound's length shows.
    await Promise.all([tab.page.waitForURL('**/decode/next.html'), tab.page.click('#leave')]);
    assert.equal(tab.starts[2].length, 100);
    await tab.page.close();
  });
});
