#!/usr/bin/env node
// The browser build, measured in Debian's headless Chromium on 127.0.0.1:
// the bytes a first visit transfers (gzip'd, as the server sends them), the
// time from the click to the first drawn frame, and per stage of the story
// the frames per second and the time the demo's own pass takes, beside the
// desktop build's pass on the same machine (vimbel-bench, when given).
//
//   make bench-web          (or: node bench/web-bench.js [build/vimbel-bench])
//
// Needs puppeteer-core on NODE_PATH (make bench-web installs it) and the site
// that make web wrote (VIMBEL_SITE, default build-web/site).
'use strict';

const { execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { openBrowser, waitForState, waitForStage } = require('../web/test/browser');

const runs = 5;
const stages = ['greeting', 'asteroids', 'explosion'];

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted.length ? sorted[Math.floor(sorted.length / 2)] : NaN;
}
function percentile(values, p) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted.length ? sorted[Math.min(sorted.length - 1, Math.floor(sorted.length * p))] : NaN;
}
const kB = (bytes) => `${(bytes / 1024).toFixed(1)} KiB`;

async function firstVisit(page, url) {
  const cdp = await page.createCDPSession();
  await cdp.send('Network.enable');
  await cdp.send('Network.setCacheDisabled', { cacheDisabled: true });
  const urls = new Map();
  const bytes = new Map();
  cdp.on('Network.responseReceived', (event) => urls.set(event.requestId, event.response.url));
  cdp.on('Network.loadingFinished', (event) => bytes.set(event.requestId, event.encodedDataLength));
  await page.goto(url);
  await waitForState(page, 'ready', 60000);
  await cdp.send('Network.disable');
  const files = [...bytes].map(([id, size]) => [urls.get(id) || id, size]);
  return { files, total: files.reduce((sum, [, size]) => sum + size, 0) };
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

function desktopPasses(benchProgram) {
  if (!benchProgram || !fs.existsSync(benchProgram)) {
    return null;
  }
  const out = path.join(os.tmpdir(), `vimbel-web-bench-${process.pid}.json`);
  execFileSync(benchProgram, ['--benchmark_filter=BM_Frame.*/1280/720',
    '--benchmark_repetitions=5', '--benchmark_report_aggregates_only=true',
    `--benchmark_out=${out}`, '--benchmark_out_format=json'], { stdio: 'ignore' });
  const results = JSON.parse(fs.readFileSync(out, 'utf8')).benchmarks;
  fs.rmSync(out);
  const result = {};
  for (const run of results) {
    if (run.aggregate_name === 'median') {
      const stage = run.run_name.replace(/^BM_Frame/, '').replace(/\/.*/, '').toLowerCase();
      result[stage] = run.real_time;  // milliseconds (the benchmark's unit)
    }
  }
  return result;
}

(async () => {
  let session;
  try {
    session = await openBrowser({ width: 1280, height: 720 });
  } catch (error) {
    console.error(`web-bench: the browser cannot start: ${error.message}`);
    process.exit(2);
  }
  try {
    const page = await session.newPage();
    const visit = await firstVisit(page, session.url);
    console.log('First visit, bytes transferred (gzip where the server compresses):');
    for (const [url, size] of visit.files) {
      console.log(`  ${kB(size).padStart(12)}  ${path.basename(new URL(url).pathname) || '/'}`);
    }
    console.log(`  ${kB(visit.total).padStart(12)}  in all (${(visit.total / 1e6).toFixed(2)} MB)`);

    const starts = [];
    for (let i = 0; i < runs; i++) {
      starts.push(await clickToFirstFrame(page));
      await page.keyboard.press('Escape');
      await waitForState(page, 'ended', 10000);
    }
    console.log(`\nClick to first frame, ${runs} runs: ${starts.map((ms) => ms.toFixed(0)).join(', ')} ms ` +
      `(median ${median(starts).toFixed(0)} ms; the first includes entering full screen)`);

    // One whole run for the frame figures.
    await clickToFirstFrame(page);
    await waitForState(page, 'ended', 180000);
    const frames = await page.evaluate(() => window.vimbelWatch.frames);
    const desktop = desktopPasses(process.argv[2]);
    console.log('\nPer stage, 1280 x 720, one whole run:');
    console.log('  stage       frames/s   pass median   pass p95   desktop pass (software renderer, median)');
    for (const stage of stages) {
      const own = frames.filter((frame) => frame.stage === stage);
      const seconds = (own[own.length - 1].at - own[0].at) / 1000;
      const fps = (own.length - 1) / seconds;
      const passes = own.map((frame) => frame.pass);
      const desktopMs = desktop && desktop[stage] !== undefined ? `${desktop[stage].toFixed(2)} ms` : '-';
      console.log(`  ${stage.padEnd(10)} ${fps.toFixed(1).padStart(8)}   ${median(passes).toFixed(2).padStart(8)} ms` +
        `   ${percentile(passes, 0.95).toFixed(2).padStart(6)} ms   ${desktopMs}`);
    }
  } finally {
    await session.close();
  }
})().catch((error) => {
  console.error(`web-bench: ${error.stack || error}`);
  process.exit(1);
});
