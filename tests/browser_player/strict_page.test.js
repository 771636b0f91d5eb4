'use strict';
// The player on pages that are hard on it: a strict Content-Security-Policy,
// a stylesheet that restyles everything, dark pages, keyboard users, and
// axe-core's accessibility rules. Real keys and clicks only.

const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { describe, it } = require('node:test');

const { contrast, encodeResource, resourceText, patternAu, processedPage } = require('./fixtures');
const { chromiumMissing, openTab, withSiteAndBrowser } = require('./harness');

const skip = chromiumMissing();
const ENABLE = 'button.sonavelt-player-enable';
const BACKGROUND = 'button.sonavelt-player-background';
const MUTE = 'button.sonavelt-player-mute';
const AXE = path.join(__dirname, 'node_modules', 'axe-core', 'axe.min.js');

// Stylesheets a real site might carry that reach into anything they can.
const DARK_CSS = 'body{background:#111;color:#eee} body *{color:#ddd}';
const HOSTILE_CSS = DARK_CSS +
  ' body{font-size:0} span{display:none!important;color:#ddd!important;font-size:40px!important}' +
  ' button{background:#ddd!important;color:#eee!important;outline:none!important;' +
  'font:0/0 serif!important;border:0!important;padding:0!important}' +
  ' *:focus{outline:none!important} span::after,button::before{content:"X"!important}';

function publish(server, dir, { css = '', page = {}, ...options } = {}) {
  server.site.set(`${dir}/audio/in.au`, patternAu(1001));
  server.site.set(`${dir}/audio/out.au`, patternAu(2001));
  server.site.set(`${dir}/audio/bg.au`, patternAu(3001));
  server.site.set(`${dir}/index.res`, encodeResource(resourceText({
    entrance: ['in.au'], exit: ['out.au'], background: ['bg.au'], ...options,
  })));
  const head = css ? '<link rel="stylesheet" href="page.css">' : '';
  if (css) server.site.set(`${dir}/page.css`, css);
  server.site.set(`${dir}/index.html`, processedPage({ head, body: '<body>', ...page }));
  server.site.set(`${dir}/next.html`, '<html><body><p id="next">Next</p></body></html>');
  return `${server.origin}${dir}/index.html`;
}


// What a visitor sees of each shown button of the control and its texts.
function controlLooks(page) {
  return page.evaluate(() => {
    const root = document.querySelector('sonavelt-player').shadowRoot;
    const box = root.querySelector('.sonavelt-player');
    return [...root.querySelectorAll('button')].filter((b) => !b.hidden).map((b) => {
      const s = getComputedStyle(b);
      const r = b.getBoundingClientRect();
      return {
        name: b.className, text: b.innerText, color: s.color, background: s.backgroundColor,
        font: parseFloat(s.fontSize), width: r.width, height: r.height,
        boxBackground: getComputedStyle(box).backgroundColor,
        spans: [...b.querySelectorAll('span')].map((span) => {
          const t = getComputedStyle(span);
          return { display: t.display, color: t.color, font: parseFloat(t.fontSize), text: span.textContent };
        }),
      };
    });
  });
}

function assertReadable(looks, where) {
  assert.ok(looks.length >= 1, where);
  for (const b of looks) {
    const what = `${where} ${b.name}: ${JSON.stringify(b)}`;
    assert.ok(contrast(b.color, b.background) >= 4.5, what);
    assert.ok(b.font >= 12 && b.font <= 16, what);
    assert.ok(b.width >= 24 && b.height >= 24, what);
    assert.ok(!b.text.includes('X'), `page content inside the control: ${what}`);
    for (const span of b.spans) {
      if (span.text === '') continue;
      assert.notEqual(span.display, 'none', what);
      assert.ok(contrast(span.color, b.background) >= 4.5, what);
      assert.equal(span.font, b.font, what);
    }
  }
}

// Tabs through the page until a control button has the focus; answers how
// its focus mark looks.
async function tabToControl(page) {
  for (let i = 0; i < 12; ++i) {
    await page.keyboard.press('Tab');
    const mark = await page.evaluate(() => {
      const host = document.activeElement;
      const button = host && host.shadowRoot && host.shadowRoot.activeElement;
      if (!button || button.localName !== 'button') return null;
      const s = getComputedStyle(button);
      return {
        name: button.className, focusVisible: button.matches(':focus-visible'),
        style: s.outlineStyle, width: parseFloat(s.outlineWidth), color: s.outlineColor,
        boxBackground: getComputedStyle(host.shadowRoot.querySelector('.sonavelt-player')).backgroundColor,
      };
    });
    if (mark) return mark;
  }
  return null;
}

async function axeViolations(page) {
  await page.addScriptTag({ content: fs.readFileSync(AXE, 'utf8') });
  return page.evaluate(async () => {
    const result = await window.axe.run(document);
    return result.violations.map((v) => ({
      id: v.id, targets: v.nodes.map((n) => JSON.stringify(n.target)),
    }));
  });
}

function byThePlayer(violations) {
  return violations.map((v) => ({ ...v, targets: v.targets.filter((t) => t.includes('sonavelt-player')) }))
    .filter((v) => v.targets.length > 0);
}

describe('the player on demanding pages', { skip: skip || false }, () => {
  let server;
  let browser;
  withSiteAndBrowser((s, b) => { server = s; browser = b; });

  it('keeps its own colours, sizes and fonts against a hostile stylesheet', async () => {
    for (const [dir, css] of [['/plain', ''], ['/dark-css', DARK_CSS], ['/hostile', HOSTILE_CSS]]) {
      const url = publish(server, dir, { css });
      const tab = await openTab(browser);
      await tab.visit(url);
      assertReadable(await controlLooks(tab.page), `${dir} before sound`);
      await tab.clickFor(ENABLE, 2);
      assertReadable(await controlLooks(tab.page), `${dir} playing`);
      assert.equal(await tab.page.textContent(BACKGROUND), 'Background sound: on');
      assert.equal(await tab.page.textContent(MUTE), 'Mute: off');
      await tab.page.close();
    }
  });

  it('shows where the keyboard is on light, dark and hostile pages', async () => {
    for (const [dir, css] of [['/focus-light', ''], ['/focus-dark', DARK_CSS], ['/focus-hostile', HOSTILE_CSS]]) {
      const url = publish(server, dir, { css });
      const tab = await openTab(browser);
      await tab.visit(url);
      const seen = new Set();
      // The enable button first; after a key press that gives sound, the
      // toggles (a key press is a gesture too).
      let mark = await tabToControl(tab.page);
      assert.ok(mark, `${dir}: Tab never reached the control`);
      for (let i = 0; i < 3 && mark; ++i) {
        seen.add(mark.name);
        assert.ok(mark.focusVisible, `${dir} ${JSON.stringify(mark)}`);
        assert.equal(mark.style, 'solid', `${dir} ${JSON.stringify(mark)}`);
        assert.ok(mark.width >= 2, `${dir} ${JSON.stringify(mark)}`);
        // The mark lies on the control's own white box.
        assert.ok(contrast(mark.color, mark.boxBackground) >= 3, `${dir} ${JSON.stringify(mark)}`);
        if (mark.name === 'sonavelt-player-enable') {
          await tab.page.keyboard.press('Enter');
          await tab.waitForStarts(2);
        }
        mark = await tabToControl(tab.page);
      }
      assert.ok(seen.has('sonavelt-player-background') && seen.has('sonavelt-player-mute'),
        `${dir}: ${[...seen]}`);
      await tab.page.close();
    }
  });

  it('gives axe-core nothing to find in the control on light and dark pages', async () => {
    for (const [dir, css] of [['/axe-light', ''], ['/axe-dark', DARK_CSS]]) {
      const url = publish(server, dir, { css });
      const tab = await openTab(browser);
      await tab.visit(url);
      assert.deepEqual(byThePlayer(await axeViolations(tab.page)), [], `${dir} before sound`);
      await tab.clickFor(ENABLE, 2);
      assert.deepEqual(byThePlayer(await axeViolations(tab.page)), [], `${dir} playing`);
      await tab.page.close();
    }
  });

  it('plays under a strict Content-Security-Policy with no console error', async () => {
    for (const policy of ["script-src 'self'; style-src 'self'", "default-src 'self'"]) {
      const dir = `/csp-${policy.length}`;
      const url = publish(server, dir, { css: DARK_CSS, page: { data: false } });
      server.headers.set(`${dir}/`, { 'content-security-policy': policy });
      const tab = await openTab(browser);
      const violations = [];
      tab.page.on('console', (m) => { if (/Content.Security.Policy|Refused/i.test(m.text())) violations.push(m.text()); });
      await tab.visit(url);
      await tab.clickFor(ENABLE, 2);
      await Promise.all([tab.page.waitForURL(`**${dir}/next.html`), tab.page.click('#leave')]);
      assert.ok(tab.starts.some((s) => s.length === 2001), `${policy}: the exit sound`);
      assert.deepEqual(violations, [], policy);
      assert.deepEqual(tab.console.filter((m) => m.type === 'error'), [], policy);
      assert.deepEqual(tab.errors, [], policy);
      await tab.page.close();
    }
  });
});

module.exports = { controlLooks, assertReadable, axeViolations, byThePlayer };
