// Headless Chromium (Debian's, through puppeteer-core) on the site that
// make web wrote, served on 127.0.0.1; shared by the tests and the benchmark.
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');
const { serve } = require('../serve');

const chromium = process.env.VIMBEL_CHROMIUM || '/usr/bin/chromium';
const site = process.env.VIMBEL_SITE || path.join(__dirname, '..', '..', 'build-web', 'site');

// What every page gets before its own scripts run: a record of the module's
// instances, of the audio contexts and an analyser on whatever reaches their
// output, and of the frames the demo reports (stage and pass time, with the
// time they came).
function watchDemo() {
  window.vimbelWatch = { contexts: [], analysers: [], frames: [], clickAt: null, instances: [] };
  const watch = window.vimbelWatch;
  // Every instance of the module that the page makes.
  let factory;
  Object.defineProperty(window, 'createVimbelDemo', {
    configurable: true,
    get: () => factory,
    set: (create) => {
      factory = (config) => create(config).then((instance) => {
        watch.instances.push(instance);
        return instance;
      });
    },
  });
  const Original = window.AudioContext;
  window.AudioContext = class extends Original {
    constructor(...args) {
      super(...args);
      watch.contexts.push(this);
    }
  };
  const connect = AudioNode.prototype.connect;
  AudioNode.prototype.connect = function (target, ...rest) {
    if (target instanceof AudioDestinationNode) {
      const analyser = this.context.createAnalyser();
      connect.call(this, analyser);
      watch.analysers.push(analyser);
    }
    return connect.call(this, target, ...rest);
  };
  window.onVimbelFrame = (stage, pass) => {
    watch.frames.push({ stage, pass, at: performance.now() });
    if (watch.onFrame) {
      watch.onFrame(stage);
    }
  };
  document.addEventListener('click', () => { watch.clickAt = watch.clickAt || performance.now(); }, true);
}

// Starts the server and the browser. Throws when the browser cannot start;
// the caller says so and skips.
async function openBrowser({ extraArgs = [], width = 1280, height = 720 } = {}) {
  if (!fs.existsSync(path.join(site, 'index.html'))) {
    throw new Error(`no site at ${site}: run make web first`);
  }
  const server = await serve(site);
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'vimbel-chromium-'));
  let browser;
  try {
    browser = await puppeteer.launch({
      executablePath: chromium,
      headless: true,
      userDataDir: profile,
      defaultViewport: { width, height },
      // The network here is closed: everything that would call out is off.
      // WebGL runs on SwiftShader, asked for outright rather than as a
      // fallback (which Chromium is phasing out); sound may start unasked.
      args: ['--no-sandbox', '--disable-background-networking', '--disable-component-update',
        '--disable-sync', '--no-first-run', '--autoplay-policy=no-user-gesture-required',
        '--enable-unsafe-swiftshader', `--window-size=${width},${height}`, ...extraArgs],
    });
  } catch (error) {
    server.close();
    fs.rmSync(profile, { recursive: true, force: true });
    throw error;
  }
  const url = `http://127.0.0.1:${server.address().port}/`;
  return {
    browser,
    url,
    // A new page that keeps its console errors and uncaught exceptions.
    async newPage() {
      const page = await browser.newPage();
      page.problems = [];
      page.on('console', (message) => {
        if (message.type() === 'error') {
          page.problems.push(`console: ${message.text()}`);
        }
      });
      page.on('pageerror', (error) => page.problems.push(`uncaught: ${error.message}`));
      await page.evaluateOnNewDocument(watchDemo);
      return page;
    },
    async close() {
      await browser.close();
      server.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

function waitForState(page, state, timeout) {
  return page.waitForSelector(`body[data-state="${state}"]`, { timeout });
}

function waitForStage(page, stage, timeout) {
  return page.waitForFunction(
    (wanted) => window.vimbelWatch.frames.some((frame) => frame.stage === wanted),
    { timeout, polling: 50 }, stage);
}

module.exports = { openBrowser, waitForState, waitForStage, site };
