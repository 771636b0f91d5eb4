'use strict';
// The safety key against real host names: Chromium resolves every name to the
// loopback test server, so a page can be visited as www.example.test,
// example.test or a look-alike host, on the default port.

const assert = require('node:assert/strict');
const { describe, it } = require('node:test');

const { encodeResource, resourceText, patternAu, processedPage } = require('./fixtures');
const { chromiumMissing, openTab, withSiteAndBrowser } = require('./harness');

const skip = chromiumMissing();

describe('the safety key', { skip: skip || false }, () => {
  let server;
  let browser;

  withSiteAndBrowser((s, b) => { server = s; browser = b; },
    (s) => [`--host-resolver-rules=MAP * 127.0.0.1:${new URL(s.origin).port}`]);

  // Puts the same processed page, keyed to `key`, at every path of `paths`.
  function publish(key, paths) {
    for (const page of paths) {
      const dir = page.replace(/[^/]*$/, '');
      server.site.set(`${dir}audio/in.au`, patternAu(1001));
      server.site.set(`${dir}audio/out.au`, patternAu(2001));
      server.site.set(`${dir}index.res`, encodeResource(resourceText({
        entrance: ['in.au'], exit: ['out.au'], background: ['bg.au'], backgroundOn: false,
        safetyKey: true, pageUrl: key,
      })));
      server.site.set(page.endsWith('/') ? `${page}index.html` : page, processedPage());
    }
  }

  async function verdict(address) {
    const tab = await openTab(browser);
    await tab.page.goto(address);
    const script = await tab.page.waitForSelector('script[data-resource][data-state="ready"], script[data-resource][data-state="blocked"]',
      { state: 'attached' });
    const state = await script.getAttribute('data-state');
    if (state === 'blocked') {
      const note = tab.page.locator('.sonavelt-player-note');
      assert.ok(await note.isVisible(), `${address}: the note shows`);
    } else {
      await tab.page.mouse.click(3, 3);
      await tab.waitForStarts(1);
    }
    await tab.page.close();
    return state === 'ready';
  }

  it('compares addresses, not text: scheme, www., default port and index page aside', async () => {
    // The folder address asks the server for the same file as its index page.
    publish('https://www.example.test/site/index.html', ['/site/index.html', '/site/other.html']);
    server.site.set('/site/', server.site.get('/site/index.html'));
    const cases = [
      ['http://www.example.test/site/index.html', true],
      ['http://example.test/site/', true],
      ['http://WWW.Example.TEST:80/site/index.html?from=mail#top', true],
      ['http://example.test/site/other.html', false],
      ['http://www.example.test.evil.test/site/index.html', false],
      ['http://example.test/sitex/index.html', false],
    ];
    server.site.set('/sitex/index.html', processedPage());
    server.site.set('/sitex/index.res', server.site.get('/site/index.res'));
    for (const [address, allowed] of cases) {
      assert.equal(await verdict(address), allowed, address);
    }
  });

  it('takes a host-only key as the site\'s front page, never as a prefix', async () => {
    publish('www.example.test', ['/index.html']);
    server.site.set('/', server.site.get('/index.html'));
    assert.equal(await verdict('http://example.test/'), true);
    assert.equal(await verdict('http://www.example.test/index.html'), true);
    assert.equal(await verdict('http://www.example.test.evil.test/'), false);
  });
});
