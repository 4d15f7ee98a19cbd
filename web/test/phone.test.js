// The page on phones, in Chromium's device emulation: touch, no Full screen
// API (as on an iPhone), upright and landscape, turned mid-run. The picture
// keeps its shape on screen, a tap starts the demo with sound, another shows
// an End control, the hint promises nothing the device lacks, and the screen
// is kept awake while the demo runs.
'use strict';

const assert = require('node:assert/strict');
const { describe, test } = require('node:test');
const { withBrowser, waitForState, waitForStage } = require('./browser');

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
      request(type) {
        const lock = new EventTarget();
        lock.type = type;
        lock.released = false;
        lock.release = async () => {
          lock.released = true;
          lock.dispatchEvent(new Event('release'));
        };
        window.wakeLocks.push(lock);
        return Promise.resolve(lock);
      },
    },
  });
}

async function phonePage(newPage, width, height) {
  const page = await newPage();
  await page.evaluateOnNewDocument(phoneWithoutFullscreen);
  await page.emulate({
    userAgent: 'Mozilla/5.0 (Linux; Android 14; Pixel 7) AppleWebKit/537.36 (KHTML, like Gecko) ' +
      'Chrome/120.0.0.0 Mobile Safari/537.36',
    viewport: { width, height, deviceScaleFactor: 3, isMobile: true, hasTouch: true, isLandscape: width > height },
  });
  return page;
}

// The canvas's drawing size, its box on screen and the window's size.
function canvasBox(page) {
  return page.$eval('#canvas', (canvas) => {
    const box = canvas.getBoundingClientRect();
    return {
      width: canvas.width,
      height: canvas.height,
      box: { left: box.left, top: box.top, width: box.width, height: box.height },
      window: [innerWidth, innerHeight],
    };
  });
}

// The picture is shown whole, at its own shape, as large as the window
// holds, centred.
function assertShownWhole(shown) {
  const { width, height, box, window: [w, h] } = shown;
  const what = JSON.stringify(shown);
  assert.ok(Math.abs(box.width / box.height - width / height) < 0.01, `squashed: ${what}`);
  assert.ok(box.width <= w + 0.5 && box.height <= h + 0.5, `cut: ${what}`);
  assert.ok(Math.abs(box.width - w) < 0.5 || Math.abs(box.height - h) < 0.5, `not fitted: ${what}`);
  assert.ok(Math.abs(box.left + box.width / 2 - w / 2) < 1 && Math.abs(box.top + box.height / 2 - h / 2) < 1,
    `not centred: ${what}`);
}

// The loudest sample reaching the audio output over half a second.
function audioPeak(page) {
  return page.evaluate(async () => {
    let peak = 0;
    for (let i = 0; i < 5; i++) {
      for (const analyser of window.vimbelWatch.analysers) {
        const samples = new Float32Array(analyser.fftSize);
        analyser.getFloatTimeDomainData(samples);
        peak = samples.reduce((most, sample) => Math.max(most, Math.abs(sample)), peak);
      }
      await new Promise((resolve) => setTimeout(resolve, 100));
    }
    return peak;
  });
}

describe('the demo on a phone', () => {
  test('upright: a tap plays a landscape picture letterboxed, turning keeps its shape, End ends it', async (t) => {
    await withBrowser(t, {}, async ({ url, newPage }) => {
      const page = await phonePage(newPage, 360, 800);
      await page.goto(url);
      await waitForState(page, 'ready', 30000);
      const hint = await page.$eval('#hint', (element) => !element.hidden && element.textContent);
      assert.match(hint, /Tap/);
      assert.match(hint, /sideways/);
      assert.doesNotMatch(hint, /Escape|full screen|key/i);

      await page.tap('#action');
      await waitForStage(page, 'greeting', 10000);
      assert.equal(await page.evaluate(() => document.body.dataset.state), 'running');
      assert.equal(await page.evaluate(() => Boolean(document.fullscreenElement)), false);
      const upright = await canvasBox(page);
      assertShownWhole(upright);
      assert.ok(upright.width / upright.height > 1.3, `not landscape: ${JSON.stringify(upright)}`);
      assert.equal(upright.box.width, 360, 'letterboxed to the width');
      const peak = await audioPeak(page);
      assert.ok(peak > 0.01, `silent (peak ${peak})`);
      assert.deepEqual(await page.evaluate(() => window.wakeLocks.map((lock) => [lock.type, lock.released])),
        [['screen', false]]);

      // Turned mid-run: the same drawing, shown larger, never squashed.
      await page.setViewport({ width: 800, height: 360, deviceScaleFactor: 3, isMobile: true, hasTouch: true,
        isLandscape: true });
      await page.waitForFunction(() => innerWidth === 800 && innerHeight === 360);
      await new Promise((resolve) => setTimeout(resolve, 200));
      const turned = await canvasBox(page);
      assertShownWhole(turned);
      assert.deepEqual([turned.width, turned.height], [upright.width, upright.height]);
      assert.ok(turned.box.height === 360 && turned.box.width > upright.box.width);

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
      assert.deepEqual(page.problems, []);
    });
  });

  test('landscape: one canvas pixel per device pixel, filling the screen', async (t) => {
    await withBrowser(t, {}, async ({ url, newPage }) => {
      const page = await phonePage(newPage, 844, 390);
      await page.goto(url);
      await waitForState(page, 'ready', 30000);
      assert.doesNotMatch(await page.$eval('#hint', (element) => element.textContent), /Escape|full screen|sideways/i);
      await page.tap('#action');
      await waitForStage(page, 'greeting', 10000);
      const shown = await canvasBox(page);
      assertShownWhole(shown);
      assert.deepEqual([shown.width, shown.height], [2532, 1170]);
      assert.deepEqual([shown.box.width, shown.box.height], [844, 390]);
      assert.deepEqual(page.problems, []);
    });
  });
});
