// The page on phones, in Chromium's device emulation: touch, no Full screen
// API (as on an iPhone), upright and landscape, turned mid-run. The picture
// keeps its shape on screen and the canvas the device pixels it covers, a
// tap starts the demo with sound, another shows an End control as the hint
// says, the hint promises nothing the device lacks, and the screen is kept
// awake while the demo runs.
'use strict';

const assert = require('node:assert/strict');
const { describe, test } = require('node:test');
const {
  withBrowser, waitForState, waitForStage, audioOutput, canvasFitted, canvasShown, assertShownWhole, problems,
  litRegions, loaded, pageState,
} = require('./browser');

// Before the page's scripts: no Full screen API, and a wake lock that
// records what the page asks of it.
function phoneWithoutFullscreen() {
  for (const [owner, names] of [
    [Element.prototype, ['requestFullscreen', 'webkitRequestFullscreen', 'webkitRequestFullScreen']],
    [Document.prototype, ['exitFullscreen', 'webkitExitFullscreen', 'fullscreenEnabled',
      'webkitFullscreenEnabled', 'fullscreenElement', 'webkitFullscreenElement']],
  ]) {
    for (const name of names) {
      delete owner[name];
    }
  }
  window.wakeLocks = [];
  Object.defineProperty(navigator, 'wakeLock', {
    value: {
      async request(type) {
        const lock = Object.assign(new EventTarget(), { type, released: false });
        lock.release = async () => {
          lock.released = true;
          lock.dispatchEvent(new Event('release'));
        };
        window.wakeLocks.push(lock);
        return lock;
      },
    },
  });
}

// A phone's page with the site loaded, ready to play.
async function phonePage(newPage, url, width, height) {
  const page = await newPage();
  await page.evaluateOnNewDocument(phoneWithoutFullscreen);
  await page.emulate({
    userAgent: 'Mozilla/5.0 (Linux; Android 14; Pixel 7) AppleWebKit/537.36 (KHTML, like Gecko) ' +
      'Chrome/120.0.0.0 Mobile Safari/537.36',
    viewport: { width, height, deviceScaleFactor: 3, isMobile: true, hasTouch: true, isLandscape: width > height },
  });
  await loaded(page, url);
  return page;
}

// Taps Play; gives the picture as shown once the run draws, checked whole.
async function tapToPlay(page) {
  await page.tap('#action');
  await waitForStage(page, 'greeting', 10000);
  const shown = await canvasShown(page);
  assertShownWhole(shown);
  return shown;
}

describe('the demo on a phone', () => {
  test('upright: a tap plays a landscape picture letterboxed, turning keeps its shape, End ends it', async (t) => {
    await withBrowser(t, {}, async ({ url, newPage }) => {
      const page = await phonePage(newPage, url, 360, 800);
      const hint = await page.$eval('#hint', (element) => !element.hidden && element.textContent);
      assert.match(hint, /tap during the demo shows its End button/i);
      assert.match(hint, /sideways/);
      assert.doesNotMatch(hint, /Escape|full screen|key/i);

      const upright = await tapToPlay(page);
      assert.equal(await pageState(page), 'running');
      assert.equal(await page.evaluate(() => Boolean(document.fullscreenElement)), false);
      assert.ok(upright.drawing[0] / upright.drawing[1] > 1.3, `not landscape: ${JSON.stringify(upright)}`);
      assert.equal(upright.shown[0], 360, 'letterboxed to the width');
      const { peak } = await audioOutput(page, 500);
      assert.ok(peak > 0.01, `silent (peak ${peak})`);
      assert.deepEqual(await page.evaluate(() => window.wakeLocks.map((lock) => [lock.type, lock.released])),
        [['screen', false]]);

      // Turned mid-run: the same shape, shown larger, never squashed, on as
      // many canvas pixels as it covers, and drawn there whole: both logos
      // in its corners.
      await page.setViewport({ width: 800, height: 360, deviceScaleFactor: 3, isMobile: true, hasTouch: true,
        isLandscape: true });
      await page.waitForFunction(() => innerWidth === 800 && innerHeight === 360);
      await canvasFitted(page);
      const turned = await canvasShown(page);
      assertShownWhole(turned);
      assert.ok(turned.shown[1] === 360 && turned.shown[0] > upright.shown[0]);
      assert.equal(turned.drawing[0] * upright.drawing[1], turned.drawing[1] * upright.drawing[0], 'shape changed');
      const regions = await litRegions(page, 0);
      assert.deepEqual([regions.width, regions.height], turned.drawing);
      assert.ok(regions.topLeft > 2000 && regions.topRight > 2000, `logos: ${JSON.stringify(regions)}`);

      // A tap shows the End control for a while; tapping it ends the run.
      assert.equal(await page.$eval('#end', (element) => element.hidden), true);
      await page.touchscreen.tap(400, 180);
      assert.equal(await page.$eval('#end', (element) => !element.hidden && element.textContent), 'End \u2715');
      assert.equal(await page.$eval('#fullscreen', (element) => element.hidden), true, 'no full screen to offer');
      await page.tap('#end');
      await waitForState(page, 'ended', 5000);
      const stages = await page.evaluate(() => window.vimbelWatch.frames.map((frame) => frame.stage));
      assert.ok(!stages.includes('ended') && !stages.includes('closing'), 'ended by the control, not the story');
      assert.deepEqual(await page.evaluate(() => window.wakeLocks.map((lock) => lock.released)), [true]);
      assert.deepEqual(await problems(page), []);
    });
  });

  test('landscape: one canvas pixel per device pixel, filling the screen', async (t) => {
    await withBrowser(t, {}, async ({ url, newPage }) => {
      const page = await phonePage(newPage, url, 844, 390);
      assert.doesNotMatch(await page.$eval('#hint', (element) => element.textContent), /Escape|full screen|sideways/i);
      const shown = await tapToPlay(page);
      assert.deepEqual(shown.drawing, [2532, 1170]);
      assert.deepEqual(shown.shown, [844, 390]);
      assert.deepEqual(await problems(page), []);
    });
  });
});
