// The page's loading and its life beside the browser, in Chromium: the site's
// hashed names, progress in percent, what a failed load, a failed instance
// and a browser without WebAssembly show, and leaving full screen because the
// page was hidden, which pauses the demo rather than ending it, whichever the
// browser reports first.
'use strict';

const assert = require('node:assert/strict');
const crypto = require('node:crypto');
const fs = require('node:fs');
const path = require('node:path');
const { describe, test } = require('node:test');
const {
  withBrowser, waitForState, waitForStage, site, sleep, inFullscreen, problems, loaded, playAgain, frameCount, pageState,
  assertOutcome,
} = require('./browser');

// Every text the status line shows, recorded from the start.
function recordMessages() {
  window.messages = [];
  document.addEventListener('DOMContentLoaded', () => {
    const message = document.getElementById('message');
    new MutationObserver(() => window.messages.push(message.textContent))
      .observe(message, { childList: true, characterData: true, subtree: true });
  });
}

// The page told that it is hidden or visible again, as a tab switch does
// (headless Chromium never hides a page by itself).
function setHidden(page, hidden) {
  return page.evaluate((value) => {
    Object.defineProperty(document, 'hidden', { configurable: true, get: () => value });
    Object.defineProperty(document, 'visibilityState', { configurable: true, get: () => (value ? 'hidden' : 'visible') });
    document.dispatchEvent(new Event('visibilitychange'));
  }, hidden);
}

// The first instance of the module cannot be made, as when memory is short.
function refuseFirstInstance() {
  const instantiate = WebAssembly.instantiate;
  WebAssembly.instantiate = () => {
    WebAssembly.instantiate = instantiate;
    return Promise.reject(new RangeError('out of memory'));
  };
}

describe('the page', () => {
  test('the site names its script, style and module after their content', () => {
    const index = fs.readFileSync(path.join(site, 'index.html'), 'utf8');
    const named = [...index.matchAll(/(?:src|href|data-module|data-wasm)="([^"]+\.(?:js|css|wasm))"/g)]
      .map((match) => match[1]);
    assert.equal(named.length, 4, index);
    for (const name of named) {
      const hash = crypto.createHash('sha256').update(fs.readFileSync(path.join(site, name))).digest('hex');
      assert.equal(name.split('.').at(-2), hash.slice(0, 12), name);
    }
    assert.ok(!fs.existsSync(path.join(site, 'vimbel-demo.wasm')));
  });

  test('a failed load or instance says what failed and offers to try again; loading shows percent', async (t) => {
    await withBrowser(t, {}, async ({ url, newPage }) => {
      const page = await newPage();
      await page.evaluateOnNewDocument(recordMessages);
      await page.evaluateOnNewDocument(refuseFirstInstance);
      await page.setRequestInterception(true);
      let refused = false;
      page.on('request', (request) => {
        if (request.url().endsWith('.wasm') && !refused) {
          refused = true;
          request.abort('connectionreset');
        } else {
          request.continue();
        }
      });
      await page.goto(url);
      await waitForState(page, 'failed', 30000);
      await assertOutcome(page, /^vimbel-demo: cannot load vimbel-demo\.[0-9a-f]{12}\.wasm: /, 'Try again');
      await page.click('#action');
      await waitForState(page, 'failed', 30000);
      await assertOutcome(page, 'vimbel-demo: out of memory', 'Try again');
      await page.click('#action');
      await waitForState(page, 'ready', 30000);
      const messages = await page.evaluate(() => window.messages);
      assert.ok(messages.some((text) => /^Loading\u2026 \d+ %$/.test(text)), messages.join(' | '));
      assert.ok(messages.includes('Loading\u2026 100 %'), messages.join(' | '));
      await page.click('#action');
      await waitForStage(page, 'greeting', 10000);
      assert.deepEqual(await problems(page), []);

      // Without WebAssembly (switched off by a policy or a locked-down
      // mode) the page says so at once; trying again would not help.
      const bare = await newPage();
      await bare.evaluateOnNewDocument(() => { delete window.WebAssembly; });
      await bare.goto(url);
      await waitForState(bare, 'failed', 5000);
      await assertOutcome(bare, /cannot run WebAssembly/, false);
      assert.deepEqual(await problems(bare), []);
    });
  });

  test('leaving full screen because the page was hidden pauses the demo, in either order', async (t) => {
    await withBrowser(t, {}, async ({ url, newPage }) => {
      const page = await newPage();
      await loaded(page, url);
      for (const hiddenFirst of [true, false]) {
        await playAgain(page, 10000);
        assert.ok(await inFullscreen(t, page), 'Chromium has a Full screen API');
        // Out of full screen once the page has heard of it.
        const leave = () => page.evaluate(() => new Promise((resolve) => {
          document.addEventListener('fullscreenchange', resolve, { once: true });
          document.exitFullscreen();
        }));
        const hide = () => setHidden(page, true);
        for (const step of hiddenFirst ? [hide, leave] : [leave, hide]) {
          await step();
        }
        await waitForState(page, 'paused', 2000);
        // The sound output suspends and resumes in its own time (longer on
        // a busy machine): its state is read once it has had up to 5 s.
        const context = (state) => page.waitForFunction(
          (wanted) => window.vimbelWatch.contexts.at(-1).state === wanted, { timeout: 5000 }, state)
          .catch(() => {}).then(() => page.evaluate(() => window.vimbelWatch.contexts.at(-1).state));
        const held = await frameCount(page);
        await sleep(1000);
        assert.equal(await pageState(page), 'paused');
        assert.equal(await frameCount(page), held, 'passes ran while hidden');
        assert.equal(await context('suspended'), 'suspended');

        await setHidden(page, false);
        await waitForState(page, 'running', 2000);
        await page.waitForFunction((n) => window.vimbelWatch.frames.length > n + 10, {}, held);
        assert.equal(await context('running'), 'running');
        // Back in the page: a click offers full screen again, and End.
        await page.mouse.click(100, 100);
        await page.click('#fullscreen');
        await page.waitForFunction(() => Boolean(document.fullscreenElement), { timeout: 2000 });
        await page.mouse.click(100, 100);
        assert.equal(await page.$eval('#fullscreen', (element) => element.hidden), true);
        await page.click('#end');
        await waitForState(page, 'ended', 5000);
        await page.waitForFunction(() => !document.fullscreenElement, { timeout: 2000 });
      }
      assert.deepEqual(await problems(page), []);
    });
  });
});
