// The demo's page in headless Chromium: the click that starts it, what the
// canvas and the audio output show, the whole story, Escape and leaving full
// screen, and a browser without WebGL.
'use strict';

const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { describe, test } = require('node:test');
const { openBrowser, waitForState, waitForStage, site } = require('./browser');

const storyStages = ['greeting', 'entrance', 'asteroids', 'explosion', 'closing', 'ended'];

// Runs body with a started browser, or skips the test saying why it could not start.
async function withBrowser(t, options, body) {
  assert.ok(fs.existsSync(path.join(site, 'index.html')), `no site at ${site}: make web writes it`);
  let session;
  try {
    session = await openBrowser(options);
  } catch (error) {
    t.skip(`the browser cannot start: ${error.message}`);
    return;
  }
  try {
    await body(session);
  } finally {
    await session.close();
  }
}

// The distinct stages of the frames reported so far, in order.
function stagesSeen(page) {
  return page.evaluate(() => window.vimbelWatch.frames
    .map((frame) => frame.stage)
    .filter((stage, i, all) => i === 0 || all[i - 1] !== stage));
}

// Copies the canvas right after the next pass that comes at least `after`
// milliseconds into the run, and counts its lit pixels in the corners, the
// middle and an empty stretch that only stars cross.
function litRegions(page, after) {
  return page.evaluate((after) => new Promise((resolve) => {
    const watch = window.vimbelWatch;
    watch.onFrame = () => {
      if (performance.now() - watch.frames[0].at < after) {
        return;
      }
      watch.onFrame = null;
      const canvas = document.getElementById('canvas');
      const copy = document.createElement('canvas');
      copy.width = canvas.width;
      copy.height = canvas.height;
      const context = copy.getContext('2d');
      context.drawImage(canvas, 0, 0);
      const lit = (x, y, w, h) => {
        const data = context.getImageData(x, y, w, h).data;
        let count = 0;
        for (let i = 0; i < data.length; i += 4) {
          count += data[i] + data[i + 1] + data[i + 2] > 96 ? 1 : 0;
        }
        return count;
      };
      const { width, height } = copy;
      resolve({
        width,
        height,
        topLeft: lit(0, 0, 240, 240),
        topRight: lit(width - 240, 0, 240, 240),
        middle: lit(width / 2 - 250, height / 2 - 90, 500, 180),
        bottomLeft: lit(0, height - 240, 480, 240),
      });
    };
  }), after);
}

// The loudest sample the analysers on the audio output see over a second.
function audioOutput(page) {
  return page.evaluate(async () => {
    const watch = window.vimbelWatch;
    let peak = 0;
    for (let i = 0; i < 10; i++) {
      for (const analyser of watch.analysers) {
        const samples = new Float32Array(analyser.fftSize);
        analyser.getFloatTimeDomainData(samples);
        for (const sample of samples) {
          peak = Math.max(peak, Math.abs(sample));
        }
      }
      await new Promise((resolve) => setTimeout(resolve, 100));
    }
    return { states: watch.contexts.map((context) => context.state), peak };
  });
}

describe('the demo in headless Chromium', () => {
  test('waits for the click, then shows its scene, plays its music and the whole story to the end', async (t) => {
    await withBrowser(t, {}, async ({ url, newPage }) => {
      const page = await newPage();
      await page.goto(url);
      await waitForState(page, 'ready', 30000);

      // Nothing plays before the click.
      await new Promise((resolve) => setTimeout(resolve, 500));
      const before = await page.evaluate(() => ({
        frames: window.vimbelWatch.frames.length,
        contexts: window.vimbelWatch.contexts.length,
        canvasShown: getComputedStyle(document.getElementById('canvas')).display !== 'none',
      }));
      assert.deepEqual(before, { frames: 0, contexts: 0, canvasShown: false });

      await page.click('#action');
      await waitForState(page, 'running', 5000);
      await waitForStage(page, 'greeting', 5000);

      // The logos in both top corners and "Hej!" near its full opacity in
      // the middle; elsewhere only single stars.
      const regions = await litRegions(page, 1200);
      const viewport = await page.evaluate(() => [innerWidth, innerHeight]);
      assert.deepEqual([regions.width, regions.height], viewport, 'the canvas fills the window');
      assert.ok(regions.topLeft > 2000, `left logo: ${JSON.stringify(regions)}`);
      assert.ok(regions.topRight > 2000, `right logo: ${JSON.stringify(regions)}`);
      assert.ok(regions.middle > 800, `greeting line: ${JSON.stringify(regions)}`);
      assert.ok(regions.bottomLeft < 100, `only stars elsewhere: ${JSON.stringify(regions)}`);

      // The music's samples reach the running audio output.
      const audio = await audioOutput(page);
      assert.deepEqual(audio.states, ['running']);
      assert.ok(audio.peak > 0.01, `the output is silent (peak ${audio.peak})`);

      await waitForState(page, 'ended', 120000);
      assert.deepEqual(await stagesSeen(page), storyStages);
      assert.equal(await page.$eval('#message', (element) => element.textContent), 'The demo has ended.');
      assert.equal(await page.$eval('#action', (element) => !element.hidden && element.textContent), 'Play again');
      assert.deepEqual(page.problems, []);
    });
  });

  test('Escape during the asteroid field and leaving full screen end the demo at once', async (t) => {
    await withBrowser(t, {}, async ({ url, newPage }) => {
      const page = await newPage();
      // A high-density screen: the canvas has the device's pixels.
      await page.setViewport({ width: 960, height: 540, deviceScaleFactor: 2 });
      await page.goto(url);
      await waitForState(page, 'ready', 30000);
      await page.click('#action');
      await waitForStage(page, 'asteroids', 60000);
      const size = await page.$eval('#canvas', (canvas) => [canvas.width, canvas.height]);
      assert.deepEqual(size, [1920, 1080]);

      const framesBefore = await page.evaluate(() => window.vimbelWatch.frames.length);
      await page.keyboard.press('Escape');
      await waitForState(page, 'ended', 5000);
      const after = await page.evaluate((n) => window.vimbelWatch.frames.slice(n).map((f) => f.stage), framesBefore);
      // In full screen the browser takes Escape to leave it, and the page
      // hears of that once the window has changed back: a few frames.
      assert.ok(after.length <= 10, `${after.length} passes after Escape`);
      assert.ok(after.every((stage) => stage === 'asteroids'), `after Escape: ${after}`);

      // Play again: a fresh run from the first line.
      await page.evaluate(() => { window.vimbelWatch.frames = []; });
      await page.click('#action');
      await waitForStage(page, 'greeting', 5000);
      const fullscreen = await page.evaluate(() => Boolean(document.fullscreenElement));
      if (fullscreen) {
        await page.evaluate(() => document.exitFullscreen());
        await waitForState(page, 'ended', 5000);
        assert.deepEqual(await stagesSeen(page), ['greeting']);
      } else {
        t.diagnostic('this browser gave no full screen: leaving it was not tried');
        await page.keyboard.press('Escape');
        await waitForState(page, 'ended', 5000);
      }
      assert.deepEqual(page.problems, []);

      // A fatal error during a run, as the entry reports it: the report is
      // shown and the sound stops with the run. It comes once the new run
      // draws (frames of the last run must not count, or the run's start
      // would replace the report).
      await page.evaluate(() => { window.vimbelWatch.frames = []; });
      await page.click('#action');
      await waitForStage(page, 'greeting', 5000);
      await page.evaluate(() => window.vimbelWatch.instances.at(-1).onDemoEnd(2, 'vimbel-demo: a report'));
      await waitForState(page, 'failed', 5000);
      assert.equal(await page.$eval('#message', (element) => element.textContent), 'vimbel-demo: a report');
      await page.waitForFunction(() => window.vimbelWatch.contexts.at(-1).state === 'closed', { timeout: 5000 });
    });
  });

  test('without WebGL the page shows the error the demo reports, without a click', async (t) => {
    await withBrowser(t, { extraArgs: ['--disable-webgl', '--disable-3d-apis'] }, async ({ url, newPage }) => {
      const page = await newPage();
      await page.goto(url);
      await waitForState(page, 'failed', 30000);
      const [report, explanation] = (await page.$eval('#message', (element) => element.textContent)).split('\n\n');
      assert.match(report, /^vimbel-demo: cannot create the (window|renderer): \S/);
      assert.match(explanation, /no WebGL/);
      // The same line the demo wrote to its error output, and no sound.
      assert.ok(page.problems.includes(`console: ${report}`), page.problems.join('\n'));
      assert.equal(await page.evaluate(() => window.vimbelWatch.contexts.length), 0);
    });
  });
});
