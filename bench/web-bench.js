#!/usr/bin/env node
// The browser build, measured in each engine (Chromium, Firefox, WebKit; see
// web/test/browser.js) on each screen below, served on 127.0.0.1: the bytes a
// first visit transfers (as the server sends them, gzip'd where the browser
// asks), the time from the click to the first drawn frame, and the frames per
// second in each stage of one whole run.
//
//   make bench-web        (or: node bench/web-bench.js [ENGINE...] [--screens=NAME,...])
//
// Needs puppeteer-core and selenium-webdriver on NODE_PATH (make bench-web
// installs them) and the site that make web wrote (VIMBEL_SITE, default
// build-web/site). Prints a Markdown table.
//
// What each engine can emulate: Chromium a phone outright (size, pixel ratio,
// touch, mobile viewport); Firefox the size and the pixel ratio; WebKit only
// the size (its window, at least 447 px wide), at the display's pixel ratio
// of 1. Firefox and WebKit get a display of the screen's size.
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const zlib = require('zlib');
const { openBrowser, waitForState, waitForStage, engines, site } = require('../web/test/browser');

const screens = [
  { name: 'phone upright', width: 360, height: 800, ratio: 3, phone: true },
  { name: 'phone landscape', width: 844, height: 390, ratio: 3, phone: true },
  { name: 'laptop', width: 1366, height: 768, ratio: 1 },
  { name: 'window', width: 1280, height: 720, ratio: 1 },
  { name: 'large screen', width: 2560, height: 1440, ratio: 1.5 },
];
const stages = ['greeting', 'entrance', 'asteroids', 'explosion', 'closing'];
const starts = 3;
// MiniBrowser's toolbar keeps its window at least this wide.
const webkitMinWidth = 447;

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

// The viewport an engine can give for a screen, as puppeteer describes it.
function viewportFor(engine, screen) {
  if (engine === 'chromium') {
    return { width: screen.width, height: screen.height, deviceScaleFactor: screen.ratio,
      isMobile: Boolean(screen.phone), hasTouch: Boolean(screen.phone), isLandscape: screen.width > screen.height };
  }
  return { width: screen.width, height: screen.height, deviceScaleFactor: engine === 'firefox' ? screen.ratio : 1 };
}

// Click (or Play again) to the first pass the demo reports, in the page's own clock.
async function clickToFirstFrame(page) {
  await page.evaluate(() => {
    window.vimbelWatch.frames = [];
    window.vimbelWatch.clickAt = null;
  });
  await page.click('#action');
  await waitForStage(page, 'greeting', 10000);
  return page.evaluate(() => window.vimbelWatch.frames[0].at - window.vimbelWatch.clickAt);
}

async function measure(engine, screen) {
  const session = await openBrowser({ engine, width: screen.width, height: screen.height });
  try {
    const page = await session.newPage();
    const viewport = viewportFor(engine, screen);
    await page.setViewport(viewport);
    const sentBefore = session.bytesSent();
    await page.goto(session.url);
    await waitForState(page, 'ready', 60000);
    const bytes = session.bytesSent() - sentBefore;

    const firstFrames = [];
    for (let i = 0; i < starts; i++) {
      firstFrames.push(await clickToFirstFrame(page));
      await page.keyboard.press('Escape');
      await waitForState(page, 'ended', 10000);
    }

    await clickToFirstFrame(page);
    const canvas = await page.$eval('#canvas', (element) => [element.width, element.height]);
    await waitForState(page, 'ended', 180000);
    const frames = await page.evaluate(() => window.vimbelWatch.frames);
    const fps = stages.map((stage) => {
      const own = frames.filter((frame) => frame.stage === stage);
      return own.length > 1 ? (own.length - 1) / ((own[own.length - 1].at - own[0].at) / 1000) : NaN;
    });
    const length = (frames.find((frame) => frame.stage === 'ended').at - frames[0].at) / 1000;
    return { viewport, bytes, firstFrames, canvas, fps, length };
  } finally {
    await session.close();
  }
}

// The site's files, each gzip'd at the highest level, as a static host
// that compresses would send them.
function siteGzipped() {
  let total = 0;
  for (const name of fs.readdirSync(site)) {
    const file = path.join(site, name);
    if (fs.statSync(file).isFile()) {
      total += zlib.gzipSync(fs.readFileSync(file), { level: 9 }).length;
    }
  }
  return total;
}

(async () => {
  const args = process.argv.slice(2);
  const chosenEngines = args.filter((arg) => !arg.startsWith('--'));
  const screenArg = args.find((arg) => arg.startsWith('--screens='));
  const chosenScreens = screenArg
    ? screens.filter((screen) => screenArg.slice(10).split(',').includes(screen.name.replace(' ', '-')))
    : screens;
  const mb = (bytes) => (bytes / 1e6).toFixed(2);

  console.log(`${new Date().toISOString().slice(0, 10)}, ${os.cpus().length} × ${os.cpus()[0].model}, ` +
    `load average ${os.loadavg().map((load) => load.toFixed(1)).join(' ')} at the start`);
  console.log(`The site, every file gzip'd: ${mb(siteGzipped())} MB\n`);
  console.log(`| engine | screen (CSS px @ ratio) | canvas | click to first frame, ms (${starts} starts) | ` +
    `frames/s: ${stages.join(' / ')} | run | first visit |`);
  console.log('|---|---|---|---|---|---|---|');
  let failed = false;
  for (const engine of chosenEngines.length ? chosenEngines : engines) {
    for (const screen of chosenScreens) {
      if (engine === 'webkit' && screen.width < webkitMinWidth) {
        console.log(`| ${engine} | ${screen.name} | not measured: MiniBrowser's window is at least ` +
          `${webkitMinWidth} px wide | | | | |`);
        continue;
      }
      let result;
      try {
        result = await measure(engine, screen);
      } catch (error) {
        console.log(`| ${engine} | ${screen.name} | failed: ${String(error.message).split('\n')[0]} | | | | |`);
        failed = true;
        continue;
      }
      const { viewport, bytes, firstFrames, canvas, fps, length } = result;
      const emulated = `${viewport.width}×${viewport.height} @ ${viewport.deviceScaleFactor}` +
        (viewport.hasTouch ? ', touch' : '');
      console.log(`| ${engine} | ${screen.name}: ${emulated} | ${canvas.join('×')} | ` +
        `${firstFrames.map((ms) => ms.toFixed(0)).join(', ')} | ` +
        `${fps.map((value) => value.toFixed(1)).join(' / ')} | ${length.toFixed(1)} s | ${mb(bytes)} MB |`);
    }
  }
  process.exit(failed ? 1 : 0);
})().catch((error) => {
  console.error(`web-bench: ${error.stack || error}`);
  process.exit(1);
});
