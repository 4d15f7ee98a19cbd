// The demo's page in Chromium, Firefox and WebKit: the click that starts it,
// what the canvas shows and the sound output plays, the whole story, Escape
// and leaving full screen, a browser without WebGL, and (in Firefox, where
// another tab really hides the page) the pause while hidden.
'use strict';

const assert = require('node:assert/strict');
const { describe, test } = require('node:test');
const {
  withBrowser, waitForState, waitForStage, problems, engines, inFullscreen, audioOutput, loudestFor, waitForSound,
  waitForSilence, canvasFitted, canvasShown, assertShownWhole, litRegions, loaded, playAgain, frameCount, pageState, assertOutcome,
} = require('./browser');

const storyStages = ['greeting', 'entrance', 'asteroids', 'explosion', 'closing', 'ended'];

// The distinct stages of the frames reported so far, in order.
function stagesSeen(page) {
  return page.evaluate(() => window.vimbelWatch.frames
    .map((frame) => frame.stage)
    .filter((stage, i, all) => i === 0 || all[i - 1] !== stage));
}

// From the first pass to the first of the given stage, in ms.
function timeTo(page, stage) {
  return page.evaluate((until) => {
    const frames = window.vimbelWatch.frames;
    return frames.find((frame) => frame.stage === until).at - frames[0].at;
  }, stage);
}

// How long the greeting and the ship's rise took in each engine, for the
// hidden-tab case. Both last the same in every run; what follows does not:
// the asteroids' random heights and speeds move the end by seconds.
const wholeRun = {};

// VIMBEL_ENGINES=firefox,webkit runs those alone.
const chosen = (process.env.VIMBEL_ENGINES || '').split(',').filter(Boolean);

for (const engine of chosen.length ? chosen : engines) {
  describe(`the demo in ${engine}`, () => {
    test('waits for the click, then shows its scene, plays its music and the whole story to the end', async (t) => {
      await withBrowser(t, { engine }, async ({ url, newPage, recorder }) => {
        const page = await newPage();
        await loaded(page, url);

        // Nothing plays before the click.
        assert.equal(await loudestFor(recorder, 500), 0, 'sound before the click');
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
        const shown = await canvasShown(page);
        assert.deepEqual([regions.width, regions.height], shown.drawing);
        assert.ok(shown.drawing[1] >= 720, `drawn on ${shown.drawing}`);
        assertShownWhole(shown);
        assert.ok(regions.topLeft > 2000 && regions.topRight > 2000 && regions.middle > 800 && regions.bottomLeft < 100,
          `logos, greeting line, only stars elsewhere: ${JSON.stringify(regions)}`);

        // The music's samples reach the running audio output, and from there
        // the sound server.
        const audio = await audioOutput(page);
        assert.deepEqual(audio.states, ['running']);
        assert.ok(audio.peak > 0.01, `the page's output is silent (peak ${audio.peak})`);
        const loudness = await waitForSound(recorder);
        assert.ok(loudness > 0.05, `the sound output is silent (peak ${loudness})`);

        await waitForState(page, 'ended', 120000);
        assert.deepEqual(await stagesSeen(page), storyStages);
        wholeRun[engine] = await timeTo(page, 'asteroids');
        t.diagnostic(`the whole run took ${(await timeTo(page, 'ended') / 1000).toFixed(1)} s`);
        await assertOutcome(page, 'The demo has ended.', 'Play again');
        // The music stops with the run: once what the output had queued has
        // played out, the sound server hears nothing more.
        await waitForSilence(recorder);
        assert.equal(await loudestFor(recorder, 700), 0, 'sound after the end');
        assert.deepEqual(await problems(page), []);
      });
    });

    test('Escape during the asteroid field and leaving full screen end the demo at once', async (t) => {
      await withBrowser(t, { engine, width: 960, height: 540 }, async ({ url, newPage }) => {
        const page = await newPage();
        // A high-density screen where the engine can emulate one: the canvas
        // has the device's pixels.
        // (WebKitWebDriver only sizes the window.)
        const ratio = engine === 'webkit' ? 1 : 2;
        await page.setViewport({ width: 960, height: 540, deviceScaleFactor: ratio });
        await loaded(page, url);
        await page.click('#action');
        await waitForStage(page, 'asteroids', 60000);
        const fullscreen = await inFullscreen(t, page);
        // One canvas pixel per device pixel, where the engine emulates them;
        // also after the ratio alone changes (another screen), where the
        // engine tells the page of that (Chromium's emulation does not).
        const drawing = () => page.$eval('#canvas', (canvas) => [canvas.width, canvas.height]);
        if (ratio === 2) {
          assert.deepEqual(await drawing(), [1920, 1080]);
          if (engine === 'firefox') {
            await page.setViewport({ width: 960, height: 540, deviceScaleFactor: 1 });
            await page.waitForFunction(() => devicePixelRatio === 1);
            await canvasFitted(page);
            assert.deepEqual(await drawing(), [960, 540]);
          }
        } else {
          t.diagnostic(`${engine}'s driver emulates no pixel ratio: the canvas's pixels were not counted`);
        }

        const framesBefore = await frameCount(page);
        await page.keyboard.press('Escape');
        await waitForState(page, 'ended', 5000);
        const after = await page.evaluate((n) => window.vimbelWatch.frames.slice(n).map((f) => f.stage), framesBefore);
        // In full screen the browser takes Escape to leave it, and the page
        // hears of that once the window has changed back: a few passes (more
        // on a busy machine, where the window takes longer to change).
        assert.ok(after.length <= 30, `${after.length} passes after Escape`);
        assert.ok(after.every((stage) => stage === 'asteroids'), `after Escape: ${after}`);

        // Play again: a fresh run from the first line.
        await playAgain(page);
        if (fullscreen) {
          await inFullscreen(t, page);
          await page.evaluate(() => document.exitFullscreen());
          await waitForState(page, 'ended', 5000);
          assert.deepEqual(await stagesSeen(page), ['greeting']);
        } else {
          await page.keyboard.press('Escape');
          await waitForState(page, 'ended', 5000);
        }
        assert.deepEqual(await problems(page), []);

        // A fatal error during a run, as the entry reports it: the report is
        // shown and the sound stops with the run. It comes once the new run
        // draws (frames of the last run must not count, or the run's start
        // would replace the report).
        await playAgain(page);
        await page.evaluate(() => { window.vimbelWatch.instances.at(-1).onDemoEnd(2, 'vimbel-demo: a report'); });
        await waitForState(page, 'failed', 5000);
        await assertOutcome(page, 'vimbel-demo: a report', 'Try again');
        await page.waitForFunction(() => window.vimbelWatch.contexts.at(-1).state === 'closed', { timeout: 5000 });
        await page.click('#action');
        await waitForState(page, 'ready', 10000);
      });
    });

    // Chromium and Firefox can be started without WebGL; WebKitWebDriver
    // offers no such switch for MiniBrowser.
    test('without WebGL the page shows the error the demo reports, without a click', {
      skip: engine === 'webkit' && 'WebKitWebDriver cannot start MiniBrowser without WebGL',
    }, async (t) => {
      await withBrowser(t, { engine, webgl: false }, async ({ url, newPage }) => {
        const page = await newPage();
        await page.goto(url);
        await waitForState(page, 'failed', 30000);
        // Trying again cannot help.
        await assertOutcome(page, /^vimbel-demo: cannot create the (window|renderer): \S.*\n\n.*no WebGL/s, false);
        // The same line the demo wrote to its error output, and no sound.
        const report = (await page.$eval('#message', (element) => element.textContent)).split('\n\n')[0];
        const written = await problems(page);
        assert.ok(written.includes(`console: ${report}`), written.join('\n'));
        assert.equal(await page.evaluate(() => window.vimbelWatch.contexts.length), 0);
      });
    });

    // Only Firefox hides a page for another tab brought to the front
    // (headless Chromium keeps it visible, WebKitWebDriver opens no tabs).
    const hiddenTab = { skip: engine !== 'firefox' && `${engine} does not hide a page for another tab` };
    test('another tab in front pauses picture and music; the story goes on that much later', hiddenTab, async (t) => {
      await withBrowser(t, { engine }, async ({ browser, url, newPage, recorder }) => {
        const page = await newPage();
        await loaded(page, url);
        await page.click('#action');
        await waitForStage(page, 'greeting', 5000);
        // The music plays (or the silence while hidden would prove nothing).
        const playing = await waitForSound(recorder, 10000);
        assert.ok(playing > 0.05, `silent before the other tab (peak ${playing})`);

        // The page is in full screen: the other tab takes it out of that
        // too, which must pause the run rather than end it.
        assert.ok(await inFullscreen(t, page), 'Firefox has a Full screen API');
        const other = await browser.newPage();
        await other.bringToFront();
        await waitForState(page, 'paused', 5000);
        assert.equal(await page.evaluate(() => document.visibilityState), 'hidden');
        const stageBefore = await page.evaluate(() => window.vimbelWatch.frames.at(-1).stage);
        // Once what the output had queued has played out, listen and count.
        await waitForSilence(recorder);
        const framesHidden = await frameCount(page);
        assert.equal(await loudestFor(recorder, 7000), 0, 'sound while hidden');
        assert.equal(await frameCount(page), framesHidden, 'passes while hidden');
        assert.equal(await pageState(page), 'paused');

        await page.bringToFront();
        await waitForState(page, 'running', 5000);
        const hidden = await page.evaluate(() => {
          const at = (state) => window.vimbelWatch.visibility.find((change) => change.state === state).at;
          return at('visible') - at('hidden');
        });
        // It goes on where it was, with its music.
        await page.waitForFunction((n) => window.vimbelWatch.frames.length > n, { timeout: 5000 }, framesHidden);
        assert.equal(await page.evaluate((n) => window.vimbelWatch.frames[n].stage, framesHidden), stageBefore);
        const loudness = await waitForSound(recorder);
        assert.ok(loudness > 0.05, `silent after the return (peak ${loudness})`);

        await waitForState(page, 'ended', 120000);
        assert.deepEqual(await stagesSeen(page), storyStages);
        const length = await timeTo(page, 'asteroids');
        t.diagnostic(`hidden for ${(hidden / 1000).toFixed(1)} s, the asteroids came after ${(length / 1000).toFixed(1)} s`);
        // A run that took the hidden time as elapsed would reach them as
        // early as one never hidden.
        assert.ok(wholeRun[engine], `no whole run in ${engine} finished before this one to compare with`);
        const later = length - wholeRun[engine];
        assert.ok(Math.abs(later - hidden) < 3500,
          `the asteroids came ${(later / 1000).toFixed(1)} s later than in a whole run, hidden ${(hidden / 1000).toFixed(1)} s`);
        assert.deepEqual(await problems(page), []);
      });
    });
  });
}
