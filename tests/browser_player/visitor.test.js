'use strict';
// What a visitor does to a page with the player, in headless Chromium with
// real input events only (mouse, keyboard, touch through CDP): page.evaluate
// would grant the page user activation and hide every unlock fault.

const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { after, before, describe, it } = require('node:test');

const { contrast, encodeResource, resourceText, patternAu, processedPage, playerData } = require('./fixtures');
const {
  chromiumMissing, launchBrowser, launchBrowserWithTabs, openTab, startServer, withSiteAndBrowser,
} = require('./harness');

const skip = chromiumMissing();
const ENABLE = 'button.sonavelt-player-enable';
const BACKGROUND = 'button.sonavelt-player-background';
const MUTE = 'button.sonavelt-player-mute';
const ENTRANCE = 1001;
const EXIT = 2001;
const BACKGROUND_FRAMES = 3001;

// One combination; `page` goes to processedPage, the rest to resourceText.
function publish(server, dir, { page = {}, extraFiles = {}, ...options } = {}) {
  server.site.set(`${dir}/audio/in.au`, patternAu(ENTRANCE));
  server.site.set(`${dir}/audio/out.au`, patternAu(EXIT));
  server.site.set(`${dir}/audio/bg.au`, patternAu(BACKGROUND_FRAMES));
  server.site.set(`${dir}/index.res`, encodeResource(resourceText({
    entrance: ['in.au'], exit: ['out.au'], background: ['bg.au'], ...options,
  })));
  server.site.set(`${dir}/index.html`, processedPage(page));
  server.site.set(`${dir}/next.html`, '<html><body><p id="next">Next</p></body></html>');
  for (const [name, body] of Object.entries(extraFiles)) server.site.set(`${dir}/${name}`, body);
  return `${server.origin}${dir}/index.html`;
}


// A scroll swipe on a touch screen: down, move, up, as a phone sends it.
async function swipe(page) {
  const cdp = await page.context().newCDPSession(page);
  await cdp.send('Emulation.setTouchEmulationEnabled', { enabled: true });
  await cdp.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [{ x: 200, y: 500 }] });
  for (let y = 460; y >= 140; y -= 40) {
    await cdp.send('Input.dispatchTouchEvent', { type: 'touchMove', touchPoints: [{ x: 200, y }] });
  }
  await cdp.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
  await cdp.detach();
}

describe('a visitor and the player', { skip: skip || false }, () => {
  let server;
  let browser;

  withSiteAndBrowser((s, b) => { server = s; browser = b; });

  it('is unlocked by the first real click whatever came before, and never claims sound it has not', async () => {
    const tall = '<div style="height:3000px">tall</div>';
    // The page's own script clicks a button at load: no gesture at all.
    const scripted = '<button id="auto">auto</button><script>document.getElementById("auto").click();' +
      'document.body.dispatchEvent(new KeyboardEvent("keydown", {key: "a", bubbles: true}));</script>';
    const url = publish(server, '/unlock', { page: { extraBody: scripted + tall } });
    const cases = [
      ['a lone Shift', async (page) => page.keyboard.press('Shift')],
      ['a scroll swipe', async (page) => swipe(page)],
      ['the page script\'s click only', async () => {}],
    ];
    for (const [name, before] of cases) {
      const tab = await openTab(browser);
      await tab.visit(url);
      await before(tab.page);
      await tab.page.waitForTimeout(400);
      // Whatever that did, the control tells the truth about it.
      const enableShown = await tab.page.locator(ENABLE).isVisible();
      assert.equal(enableShown, tab.starts.length === 0, `${name}: control and sound disagree`);
      if (enableShown) {
        assert.equal(await tab.page.locator(BACKGROUND).isVisible(), false, name);
      }
      // A real click: sound must come now at the latest.
      await tab.page.mouse.click(5, 5);
      await tab.waitForStarts(2);
      assert.deepEqual(tab.starts.slice(0, 2).map((s) => s.length), [ENTRANCE, BACKGROUND_FRAMES], name);
      await tab.page.waitForFunction(() => {
        const host = document.querySelector('sonavelt-player');
        const b = host && host.shadowRoot.querySelector('button.sonavelt-player-background');
        return b && getComputedStyle(b).display !== 'none';
      });
      assert.equal(await tab.page.locator(ENABLE).isVisible(), false, name);
      assert.equal(await tab.page.getAttribute(BACKGROUND, 'aria-pressed'), 'true', name);
      await tab.page.close();
    }
  });

  it('sends each link where it went without the player', async (t) => {
    const dir = '/links';
    const links = [
      '<a id="blank" href="next.html" target="_blank">new tab</a>',
      '<a id="hash" href="#">top</a>',
      '<a id="js" href="javascript:void(0)">script</a>',
      '<a id="download" href="audio/in.au" download>download</a>',
      '<a id="stay" href="nothing">no content</a>',
      '<svg width="120" height="30"><a id="svg" href="next.html"><text x="5" y="20">svg link</text></a></svg>',
    ].join(' ');
    const url = publish(server, dir, { page: { extraBody: links } });
    server.site.set(`${dir}/nothing`, { status: 204 });
    const tab = await openTab(browser);
    await tab.visit(url);
    await tab.clickFor('#title', 2);
    const exits = () => tab.starts.filter((s) => s.length === EXIT).length;

    await t.test('in-page and script links play nothing and change nothing', async () => {
      for (const id of ['#hash', '#js']) {
        await tab.page.click(id);
        // An exit sound set off here would be reported before the one of
        // the navigation below that never happens, which counts them.
        assert.equal(exits(), 0, id);
        assert.equal(tab.stops.length, 0, `${id} stopped the background`);
        assert.equal(await tab.page.textContent(BACKGROUND), 'Background sound: on');
      }
    });

    await t.test('a new tab, a download and a modifier click leave the page playing', async () => {
      const [popup] = await Promise.all([tab.page.context().waitForEvent('page'), tab.page.click('#blank')]);
      await popup.waitForLoadState();
      assert.ok(popup.url().endsWith('/links/next.html'));
      await popup.close();
      const [download] = await Promise.all([tab.page.waitForEvent('download'), tab.page.click('#download')]);
      await download.cancel();
      const [other] = await Promise.all([
        tab.page.context().waitForEvent('page'), tab.page.click('#leave', { modifiers: ['Shift'] })]);
      await other.close();
      assert.equal(exits(), 0);
      assert.equal(tab.stops.length, 0);
      assert.equal(new URL(tab.page.url()).pathname, '/links/index.html');
    });

    await t.test('a navigation that never happens gives the page back to the visitor', async () => {
      await tab.page.click('#stay');
      await tab.waitForStarts(3);
      assert.equal(tab.starts[2].length, EXIT);
      // The 204 answer keeps the page, but from here it cannot be told
      // from a slow one: nothing starts by itself.
      await tab.page.waitForTimeout(2500);
      assert.equal(tab.starts.length, 3, 'a sound started while the page was being left');
      // The visitor's next click on the page brings the background back.
      await tab.page.click('#title');
      await tab.waitForStarts(4);
      assert.equal(exits(), 1, 'an exit sound came from a link that does not leave');
      assert.equal(tab.starts[3].length, BACKGROUND_FRAMES);
      assert.equal(tab.starts[3].loop, true);
      assert.equal(new URL(tab.page.url()).pathname, '/links/index.html');
    });

    await t.test('an SVG link goes to its own address after the exit sound', async () => {
      const before = exits();
      await Promise.all([tab.page.waitForURL('**/links/next.html'), tab.page.click('#svg text')]);
      assert.equal(exits(), before + 1);
    });
    assert.deepEqual(tab.errors, []);
    await tab.page.close();
  });

  it('is quiet once the visitor leaves: a slow next page, a double click', async () => {
    const dir = '/leaving';
    const url = publish(server, dir, {});
    const longExit = 12000;  // 1.5 s at 8000 Hz
    server.site.set(`${dir}/audio/out.au`, patternAu(longExit));
    server.delays.set(`${dir}/next.html`, 4500);
    const tab = await openTab(browser);
    await tab.visit(url);
    await tab.clickFor('#title', 2);
    await Promise.all([
      tab.page.waitForURL('**/leaving/next.html', { timeout: 15000 }), tab.page.dblclick('#leave')]);
    const exits = tab.starts.filter((s) => s.length === longExit);
    assert.equal(exits.length, 1, 'one exit sound for a double click');
    // The second click did not cut the exit sound short: the navigation
    // began after it, and it was never stopped.
    const asked = server.requests.find((r) => r.path === `${dir}/next.html`);
    assert.ok(asked.time - exits[0].time >= 1400, `the next page was asked for ${asked.time - exits[0].time} ms after the exit sound began`);
    assert.ok(!tab.stops.some((s) => s.id === exits[0].id), 'the exit sound was stopped');
    // Nothing started while the next page took its time.
    assert.deepEqual(tab.starts.filter((s) => s.time > exits[0].time).map((s) => s.length), []);
    assert.deepEqual(tab.errors, []);
    await tab.page.close();
  });

  it('honours <base target> and frames', async (t) => {
    const url = publish(server, '/based', { page: { head: '<base target="_blank">' } });
    const tab = await openTab(browser);
    await tab.visit(url);
    await tab.clickFor('#title', 2);
    const [popup] = await Promise.all([tab.page.context().waitForEvent('page'), tab.page.click('#leave')]);
    await popup.waitForLoadState();
    assert.ok(popup.url().endsWith('/based/next.html'));
    await popup.close();
    assert.ok(tab.page.url().endsWith('/based/index.html'), 'the page stays in its tab');
    assert.equal(tab.starts.filter((s) => s.length === EXIT).length, 0);

    await t.test('a menu frame sends its links into the content frame', async () => {
      publish(server, '/frames', { page: { head: '<base target="content">' } });
      server.site.set('/frames/top.html', '<html><frameset cols="50%,50%">' +
        '<frame name="menu" src="index.html"><frame name="content" src="next.html"></frameset></html>');
      const frameTab = await openTab(browser);
      await frameTab.page.goto(`${server.origin}/frames/top.html`);
      const menu = frameTab.page.frame({ name: 'menu' });
      await menu.waitForSelector('script[data-state="ready"]', { state: 'attached' });
      await menu.click('#title');
      await frameTab.waitForStarts(2);
      server.site.set('/frames/other.html', '<html><body><p id="other">Other</p></body></html>');
      await menu.evaluate(() => { document.getElementById('leave').setAttribute('href', 'other.html'); });
      await menu.click('#leave');
      const content = frameTab.page.frame({ name: 'content' });
      await content.waitForURL('**/frames/other.html');
      assert.ok(menu.url().endsWith('/frames/index.html'), 'the menu frame stays');
      assert.equal(frameTab.starts.filter((s) => s.length === EXIT).length, 0);
      await frameTab.page.close();
    });
    await tab.page.close();
  });

  it('draws a control that reads on a dark page, with a mute for every sound', async (t) => {
    const url = publish(server, '/dark', {
      colour: '0,0,0',
      page: { body: '<body bgcolor="#000000" text="#FFFFFF" style="background:#000;color:#fff">' },
    });
    const tab = await openTab(browser);
    await tab.visit(url);
    await tab.clickFor(ENABLE, 2);
    for (const selector of [BACKGROUND, MUTE]) {
      const style = await tab.page.$eval(selector, (b) => {
        const s = getComputedStyle(b);
        const r = b.getBoundingClientRect();
        return { color: s.color, background: s.backgroundColor, width: r.width, height: r.height };
      });
      assert.ok(contrast(style.color, style.background) >= 4.5, `${selector}: ${JSON.stringify(style)}`);
      assert.ok(style.width >= 24 && style.height >= 24, `${selector} is ${style.width}x${style.height}`);
    }
    // The control's frame stands out from the black page.
    const frame = await tab.page.$eval('.sonavelt-player', (b) => getComputedStyle(b).backgroundColor);
    assert.ok(contrast(frame, 'rgb(0, 0, 0)') >= 3);
    // Names say what the button is; aria-pressed alone says its state.
    await tab.page.getByRole('button', { name: 'Background sound', exact: true, pressed: true }).waitFor();
    await tab.page.getByRole('button', { name: 'Mute', exact: true, pressed: false }).waitFor();

    await t.test('mute silences everything and the exit sound no longer holds the visitor', async () => {
      await tab.page.keyboard.press('Tab');  // also a trusted gesture: nothing must change
      await tab.page.click(MUTE);
      assert.equal(await tab.page.getAttribute(MUTE, 'aria-pressed'), 'true');
      await tab.waitFor(() => tab.stops.some((s) => s.id === tab.starts[1].id), 'the background to stop');
      assert.ok(tab.stops.some((s) => s.id === tab.starts[1].id), 'background stopped');
      const before = tab.starts.length;
      const begin = Date.now();
      await Promise.all([tab.page.waitForURL('**/dark/next.html'), tab.page.click('#leave')]);
      assert.ok(Date.now() - begin < 250 + 500, 'followed at once');
      assert.equal(tab.starts.length, before);
      // Remembered on the next visit: nothing plays, the button says so.
      await tab.visit(url);
      await tab.page.click('#title');
      assert.equal(tab.starts.length, before);
      assert.equal(await tab.page.getAttribute(MUTE, 'aria-pressed'), 'true');
      // A sound the muted click started would carry a time before the unmute.
      const unmuted = Date.now();
      await tab.page.click(MUTE);
      await tab.waitForStarts(before + 2);
      assert.ok(tab.starts.slice(before).every((s) => s.time >= unmuted), 'a sound played while muted');
    });
    await tab.page.close();
  });

  it('stays in a corner of the window when asked to', async () => {
    const url = publish(server, '/corner', {
      page: { position: 'bottom-right', extraBody: '<div style="height:5000px">long</div>' },
    });
    const tab = await openTab(browser);
    await tab.page.setViewportSize({ width: 800, height: 600 });
    await tab.visit(url);
    const place = async () => tab.page.$eval('.sonavelt-player', (b) => {
      const r = b.getBoundingClientRect();
      return { right: innerWidth - r.right, bottom: innerHeight - r.bottom, top: r.top };
    });
    const first = await place();
    assert.ok(first.right >= 0 && first.right < 40 && first.bottom >= 0 && first.bottom < 40, JSON.stringify(first));
    await tab.page.mouse.wheel(0, 3000);
    await tab.page.waitForFunction(() => scrollY > 1000);
    assert.deepEqual(await place(), first);
    // Reachable from the keyboard: Tab lands on it.
    await tab.page.click(ENABLE);
    await tab.waitForStarts(2);
    await tab.page.close();
  });

  it('does not clip its text at a large minimum font size', async () => {
    const big = await launchBrowser([], { webkit: { webprefs: { minimum_font_size: 24, minimum_logical_font_size: 24 } } });
    try {
      const url = publish(server, '/bigfont', {});
      const tab = await openTab(big);
      await tab.visit(url);
      await tab.clickFor(ENABLE, 2);
      for (const selector of [BACKGROUND, MUTE]) {
        const fit = await tab.page.$eval(selector, (b) => ({
          font: parseFloat(getComputedStyle(b).fontSize),
          overflowX: b.scrollWidth - b.clientWidth, overflowY: b.scrollHeight - b.clientHeight,
        }));
        assert.ok(fit.font >= 24, `font ${fit.font}`);
        assert.ok(fit.overflowX <= 1 && fit.overflowY <= 1, `${selector} clipped: ${JSON.stringify(fit)}`);
      }
    } finally {
      await big.close();
    }
  });

  it('costs only what plays: entrance first, background when on, normal caching', async (t) => {
    const url = publish(server, '/costs', { backgroundOn: false });
    const tab = await openTab(browser);
    const from = server.requests.length;
    await tab.visit(url);
    await tab.clickFor('#title', 1);
    await tab.page.waitForTimeout(200);
    let fetched = server.requests.slice(from).map((r) => r.path);
    assert.ok(!fetched.includes('/costs/audio/bg.au'), 'background fetched while off');
    assert.ok(fetched.indexOf('/costs/audio/in.au') < fetched.indexOf('/costs/audio/out.au'));
    for (const r of server.requests.slice(from)) {
      assert.ok(!/no-cache/.test(`${r.headers['cache-control'] || ''} ${r.headers.pragma || ''}`), r.path);
    }
    assert.equal(await tab.page.textContent(BACKGROUND), 'Background sound: off');
    await tab.page.click(BACKGROUND);
    await tab.waitForStarts(2);
    assert.equal(tab.starts[1].length, BACKGROUND_FRAMES);
    fetched = server.requests.slice(from).map((r) => r.path);
    assert.ok(fetched.includes('/costs/audio/bg.au'));

    await t.test('a missing background says unavailable, not on', async () => {
      server.site.delete('/costs/audio/bg.au');
      await tab.visit(url);
      await tab.page.click('#title');
      await tab.page.click(BACKGROUND);
      await tab.page.waitForFunction(() =>
        document.querySelector('sonavelt-player').shadowRoot
          .querySelector('button.sonavelt-player-background').textContent === 'Background sound unavailable');
      assert.equal(await tab.page.getAttribute(BACKGROUND, 'aria-pressed'), null);
    });

    await t.test('no sound at all says unavailable', async () => {
      for (const name of ['in.au', 'out.au']) server.site.delete(`/costs/audio/${name}`);
      await tab.visit(url);
      await tab.page.waitForSelector('.sonavelt-player-note:text("Sound unavailable")');
      assert.equal(await tab.page.locator(ENABLE).isVisible(), false);
    });
    await tab.page.close();
  });

  it('plays the browser copy cut to its exact length, and the .au where the copy fails', async (t) => {
    const frames = 24000;  // half a second at 48 kHz
    const work = fs.mkdtempSync(path.join(os.tmpdir(), 'sonavelt-copy-'));
    try {
      const opus = path.join(work, 'bg.opus');
      const made = spawnSync('ffmpeg', ['-v', 'error', '-f', 'lavfi', '-i', `sine=frequency=440:sample_rate=48000:duration=${frames / 48000}`,
        '-c:a', 'libopus', '-b:a', '24k', opus]);
      if (made.status !== 0) {
        t.skip('ffmpeg cannot make an Ogg Opus file');
        return;
      }
      const res = encodeResource(resourceText({ entrance: ['in.au'], exit: ['out.au'], background: ['bg.au'] }));
      const url = publish(server, '/copy', {
        page: { data: true },
        extraFiles: {
          'audio/bg.opus': fs.readFileSync(opus),
          'index.sounds.js': playerData('index', res, [
            { au: 'audio/in.au' }, { au: 'audio/out.au' },
            { au: 'audio/bg.au', copy: 'audio/bg.opus', frames }]),
        },
      });
      // The data file carries the resource: the .res is not fetched.
      server.site.delete('/copy/index.res');
      const tab = await openTab(browser);
      await tab.visit(url);
      const [entrance, background] = await tab.clickFor('#title', 2);
      assert.equal(entrance.length, ENTRANCE);
      const rate = await tab.page.evaluate(() => new AudioContext({ sampleRate: 48000 }).sampleRate);
      assert.equal(background.rate, rate);
      assert.equal(background.length, Math.round(frames * background.rate / 48000), 'cut to the exact length');
      assert.ok(background.data[0].some((v) => Math.abs(v) > 0.05), 'the copy holds the tone');
      assert.ok(!server.requests.some((r) => r.path === '/copy/audio/bg.au'));

      server.site.set('/copy/audio/bg.opus', Buffer.from('OggS but not really'));
      await tab.visit(url);
      const [, fallback] = await tab.clickFor('#title', 2);
      assert.equal(fallback.length, BACKGROUND_FRAMES);
      assert.deepEqual(tab.errors, []);
      await tab.page.close();
    } finally {
      fs.rmSync(work, { recursive: true, force: true });
    }
  });
});

describe('a visitor who switches tabs', { skip: skip || false }, () => {
  let server;
  let browser;
  before(async () => {
    server = await startServer();
    browser = await launchBrowserWithTabs();
  });
  after(async () => {
    if (browser) await browser.close();
    if (server) await server.close();
  });

  it('pauses the background while another tab is in front, and resumes it on return', async () => {
    const url = publish(server, '/hidden-tab', {});
    const tab = await openTab(browser);
    // The player's output, to read its clock from outside.
    await tab.page.addInitScript(() => {
      const Real = window.AudioContext;
      window.AudioContext = class extends Real {
        constructor(...args) {
          super(...args);
          window.__playerContext = this;
        }
      };
    });
    await tab.visit(url);
    await tab.clickFor('#title', 2);
    const look = () => tab.page.evaluate(() => ({
      visibility: document.visibilityState,
      state: window.__playerContext.state,
      time: window.__playerContext.currentTime,
    }));
    const calls = () => tab.contextCalls.slice(unlockCalls).map((c) => c.kind);
    const unlockCalls = tab.contextCalls.length;
    const pause = 600;

    const other = await browser.context.newPage();
    await other.goto(`${server.origin}/hidden-tab/next.html`);
    await other.bringToFront();
    await tab.waitFor(() => calls().length >= 1, 'the output to be suspended');
    // Interval polling: a hidden page draws no animation frames.
    await tab.page.waitForFunction(() => window.__playerContext.state === 'suspended', null, { polling: 50 });
    const hidden = await look();
    await new Promise((r) => setTimeout(r, pause));
    const stillHidden = await look();
    assert.equal(hidden.visibility, 'hidden', 'the browser itself hid the page');
    assert.equal(stillHidden.state, 'suspended');
    assert.equal(stillHidden.time, hidden.time, 'no sound goes on behind the other tab');
    assert.deepEqual(calls(), ['suspend']);
    assert.equal(tab.stops.length, 0, 'the loop keeps its place');

    await tab.page.bringToFront();
    await tab.waitFor(() => calls().length >= 2, 'the output to be resumed');
    await tab.page.waitForFunction(() => window.__playerContext.state === 'running');
    const back = await look();
    await new Promise((r) => setTimeout(r, pause));
    const later = await look();
    assert.equal(back.visibility, 'visible');
    assert.ok(later.time - back.time > pause / 2000, `the clock runs again: ${back.time} -> ${later.time}`);
    assert.deepEqual(calls(), ['suspend', 'resume']);
    assert.equal(tab.starts.length, 2, 'the same loop goes on, none started anew');
    assert.equal(tab.stops.length, 0);
    assert.equal(await tab.page.textContent(BACKGROUND), 'Background sound: on');
    assert.equal(await tab.page.locator(ENABLE).isVisible(), false);
    await other.close();
    await tab.page.close();
  });
});
