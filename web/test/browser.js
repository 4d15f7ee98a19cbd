// The site that make web wrote, served on 127.0.0.1, in one of three browser
// engines, each with its sound going to a PulseAudio null sink that can be
// recorded; shared by the tests and the benchmark.
//
// - chromium: Debian's, headless, through puppeteer-core (DevTools protocol);
// - firefox: Debian's firefox-esr, through puppeteer-core's WebDriver BiDi,
//   with a window on a private Xvfb (headless Firefox has no WebGL);
// - webkit: WebKitGTK's MiniBrowser, through WebKitWebDriver and
//   selenium-webdriver, on the same kind of Xvfb.
//
// Every engine's page offers the same small part of puppeteer's Page:
// goto, evaluate, $eval, click, keyboard.press, setViewport, waitForFunction,
// waitForSelector, screenshot, bringToFront and close (for Chromium and
// Firefox it is puppeteer's own page).
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');
const { serve } = require('../serve');
const { startXvfb, startPulseAudio, started } = require('./servers');

const chromium = process.env.VIMBEL_CHROMIUM || '/usr/bin/chromium';
const firefox = process.env.VIMBEL_FIREFOX || '/usr/bin/firefox-esr';
const webkitDriver = process.env.VIMBEL_WEBKIT_DRIVER || '/usr/bin/WebKitWebDriver';
const miniBrowser = process.env.VIMBEL_MINIBROWSER || '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
const site = process.env.VIMBEL_SITE || path.join(__dirname, '..', '..', 'build-web', 'site');
const engines = ['chromium', 'firefox', 'webkit'];

// What every page gets before its own scripts run: a record of the module's
// instances, of the audio contexts and an analyser on whatever reaches their
// output, of the frames the demo reports (stage and pass time, with the time
// they came), of the page's visibility changes and of the errors the page
// writes or throws.
function watchDemo() {
  window.vimbelWatch = {
    contexts: [], analysers: [], frames: [], clickAt: null, instances: [], problems: [], visibility: [],
  };
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
  document.addEventListener('visibilitychange', () => {
    watch.visibility.push({ state: document.visibilityState, at: performance.now() });
  });
  // For an engine whose driver does not pass the console on.
  const error = console.error;
  console.error = (...args) => {
    watch.problems.push(`console: ${args.join(' ')}`);
    error.apply(console, args);
  };
  window.addEventListener('error', (event) => watch.problems.push(`uncaught: ${event.message}`));
  window.addEventListener('unhandledrejection', (event) => watch.problems.push(`uncaught: ${event.reason}`));
}

// The site's server. For an engine that cannot run a script before the
// page's own, the page itself carries watchDemo. Counts every byte it sends.
async function startServer({ carryWatch }) {
  if (!fs.existsSync(path.join(site, 'index.html'))) {
    throw new Error(`no site at ${site}: run make web first`);
  }
  const server = await serve(site);
  const sockets = new Set();
  server.on('connection', (socket) => sockets.add(socket));
  if (carryWatch) {
    const handlers = server.listeners('request');
    server.removeAllListeners('request');
    server.on('request', (request, response) => {
      const { pathname } = new URL(request.url, 'http://localhost');
      if (request.method === 'GET' && (pathname === '/' || pathname === '/index.html')) {
        const html = fs.readFileSync(path.join(site, 'index.html'), 'utf8')
          .replace(/<head>/i, `<head><script>(${watchDemo})();</script>`);
        response.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8', 'Cache-Control': 'no-cache' });
        response.end(html);
        return;
      }
      for (const handler of handlers) {
        handler.call(server, request, response);
      }
    });
  }
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    // Bytes sent so far, headers included.
    bytesSent: () => [...sockets].reduce((sum, socket) => sum + socket.bytesWritten, 0),
    close() {
      server.close();
      for (const socket of sockets) {
        socket.destroy();
      }
    },
  };
}

// A puppeteer page that keeps its console errors and uncaught exceptions.
async function watchedPuppeteerPage(browser) {
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
}

async function launchChromium({ width, height, extraArgs, webgl, env }) {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'vimbel-chromium-'));
  try {
    const browser = await puppeteer.launch({
      executablePath: chromium,
      headless: true,
      userDataDir: profile,
      defaultViewport: { width, height },
      env,
      // Its sound goes to the null sink, where the tests hear it.
      ignoreDefaultArgs: ['--mute-audio'],
      // The network here is closed: everything that would call out is off.
      // WebGL runs on SwiftShader, asked for outright rather than as a
      // fallback (which Chromium is phasing out); sound may start unasked.
      args: ['--no-sandbox', '--disable-background-networking', '--disable-component-update',
        '--disable-sync', '--no-first-run', '--autoplay-policy=no-user-gesture-required',
        '--enable-unsafe-swiftshader', `--window-size=${width},${height}`,
        ...(webgl ? [] : ['--disable-webgl', '--disable-3d-apis']), ...extraArgs],
    });
    return {
      browser,
      newPage: () => watchedPuppeteerPage(browser),
      async close() {
        await browser.close();
        fs.rmSync(profile, { recursive: true, force: true });
      },
    };
  } catch (error) {
    fs.rmSync(profile, { recursive: true, force: true });
    throw error;
  }
}

async function launchFirefox({ width, height, webgl, env }) {
  const browser = await puppeteer.launch({
    browser: 'firefox',
    executablePath: firefox,
    headless: false,
    defaultViewport: { width, height },
    env,
    args: [`--width=${width}`, `--height=${height}`],
    extraPrefsFirefox: {
      // Full screen at once, without its notice or animation.
      'full-screen-api.warning.timeout': 0,
      'full-screen-api.transition-duration.enter': '0 0',
      'full-screen-api.transition-duration.leave': '0 0',
      // Nothing about the tabs it opens and closes.
      'browser.tabs.warnOnClose': false,
      'browser.shell.checkDefaultBrowser': false,
      'webgl.disabled': !webgl,
    },
  });
  return { browser, newPage: () => watchedPuppeteerPage(browser), close: () => browser.close() };
}

// The part of puppeteer's Page that the tests use, over a WebDriver session.
class WebDriverPage {
  constructor(driver, webdriver) {
    this.driver = driver;
    this.webdriver = webdriver;
    this.keyboard = {
      press: (key) => driver.actions().sendKeys(webdriver.Key[key.toUpperCase()] || key).perform(),
    };
  }

  goto(url) {
    return this.driver.get(url);
  }

  // Runs source (an expression giving a function) with args in the page
  // and gives its result, waiting for a promise.
  async run(source, args) {
    const outcome = await this.driver.executeAsyncScript(`
      const done = arguments[arguments.length - 1];
      Promise.resolve().then(() => (${source}).apply(null, ${JSON.stringify(args)}))
        .then((value) => done({ value: value === undefined ? null : value }),
          (error) => done({ error: String((error && error.stack) || error) }));`);
    if (outcome.error) {
      throw new Error(`evaluate: ${outcome.error}`);
    }
    return outcome.value;
  }

  evaluate(fn, ...args) {
    return this.run(String(fn), args);
  }

  $eval(selector, fn, ...args) {
    return this.run(`(selector, ...args) => {
      const element = document.querySelector(selector);
      if (!element) { throw new Error('no element ' + selector); }
      return (${fn})(element, ...args);
    }`, [selector, ...args]);
  }

  async waitForFunction(fn, { timeout = 30000, polling = 100 } = {}, ...args) {
    const until = Date.now() + timeout;
    for (;;) {
      const value = await this.run(String(fn), args);
      if (value) {
        return value;
      }
      if (Date.now() > until) {
        throw new Error(`waiting failed: ${timeout} ms exceeded`);
      }
      await new Promise((resolve) => setTimeout(resolve, Math.max(polling, 50)));
    }
  }

  waitForSelector(selector, options) {
    return this.waitForFunction((selector) => Boolean(document.querySelector(selector)), options, selector);
  }

  async click(selector) {
    await this.driver.findElement(this.webdriver.By.css(selector)).click();
  }

  // The window's size. Without a window manager nothing resizes it for
  // full screen, so the window is given the display's size (see
  // openBrowser): in full screen the page has all of it, as on a machine
  // with that display; before, the browser's toolbar takes its share.
  // WebKitGTK emulates no pixel ratio: it stays the display's (1).
  async setViewport({ width, height, deviceScaleFactor = 1 }) {
    if (deviceScaleFactor !== 1) {
      throw new Error('WebKitWebDriver cannot emulate a device pixel ratio');
    }
    await this.driver.manage().window().setRect({ x: 0, y: 0, width, height });
  }

  async screenshot({ path: file } = {}) {
    const png = Buffer.from(await this.driver.takeScreenshot(), 'base64');
    if (file) {
      fs.writeFileSync(file, png);
    }
    return png;
  }

  async bringToFront() {}

  async close() {}
}

async function freePort() {
  const net = require('net');
  return new Promise((resolve, reject) => {
    const probe = net.createServer();
    probe.once('error', reject);
    probe.listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

async function launchWebKit({ width, height, env }) {
  const { spawn } = require('child_process');
  const webdriver = require('selenium-webdriver');
  const port = await freePort();
  const server = started(spawn(webkitDriver, [`--port=${port}`], { env, stdio: ['ignore', 'ignore', 'pipe'] }));
  let log = '';
  server.stderr.on('data', (chunk) => { log = (log + chunk).slice(-4000); });
  const stopServer = () => new Promise((resolve) => {
    if (server.exitCode !== null || server.signalCode !== null) {
      resolve();
      return;
    }
    server.once('exit', resolve);
    server.kill('SIGTERM');
  });
  try {
    await new Promise((resolve, reject) => {
      server.once('error', reject);
      server.once('exit', (code) => reject(new Error(`WebKitWebDriver exited with status ${code}: ${log}`)));
      // It is ready once it answers on its port.
      const until = Date.now() + 10000;
      const poll = () => {
        const socket = require('net').connect(port, '127.0.0.1');
        socket.once('connect', () => { socket.destroy(); resolve(); });
        socket.once('error', () => (Date.now() > until
          ? reject(new Error('WebKitWebDriver did not listen within 10 s'))
          : setTimeout(poll, 100)));
      };
      poll();
    });
    const driver = await new webdriver.Builder()
      .usingServer(`http://127.0.0.1:${port}`)
      .withCapabilities({
        browserName: 'MiniBrowser',
        'webkitgtk:browserOptions': { binary: miniBrowser, args: ['--automation'] },
      })
      .build();
    await driver.manage().setTimeouts({ script: 300000 });
    let pages = 0;
    return {
      browser: driver,
      async newPage() {
        if (pages++) {
          throw new Error('this driver has one page');
        }
        const page = new WebDriverPage(driver, webdriver);
        await page.setViewport({ width, height });
        return page;
      },
      async close() {
        await driver.quit().catch(() => {});
        await stopServer();
      },
    };
  } catch (error) {
    await stopServer();
    throw error;
  }
}

// Options: engine, the viewport's size (for Firefox and WebKit also the
// display's, which full screen fills), webgl: false for a browser without it
// (Chromium, Firefox), extraArgs for Chromium's command line.
//
// Starts the server, the sound server (and for Firefox and WebKit a display)
// and the browser. Throws when any of them cannot start; the caller says so
// and skips, or fails under CI.
//
// Gives { engine, browser, url, newPage(), recorder, bytesSent(), close() }:
// browser is puppeteer's Browser (Chromium, Firefox) or a selenium WebDriver
// (WebKit, which has one page); recorder records what reaches the sound
// output (mark, peak; see servers.js).
async function openBrowser({ engine = 'chromium', extraArgs = [], webgl = true, width = 1280, height = 720 } = {}) {
  if (!engines.includes(engine)) {
    throw new Error(`unknown engine ${engine} (known: ${engines.join(', ')})`);
  }
  const opened = [];
  const closeAll = async () => {
    for (const item of opened.reverse()) {
      await item.close();
    }
  };
  try {
    const server = await startServer({ carryWatch: engine === 'webkit' });
    opened.push(server);
    const pulse = await startPulseAudio();
    opened.push(pulse);
    const recorder = await pulse.record();
    opened.push(recorder);
    const env = { ...process.env, ...pulse.env };
    if (engine !== 'chromium') {
      const display = await startXvfb({ width, height });
      opened.push(display);
      env.DISPLAY = display.display;
    }
    const launch = { chromium: launchChromium, firefox: launchFirefox, webkit: launchWebKit }[engine];
    const browser = await launch({ width, height, extraArgs, webgl, env });
    opened.push(browser);
    return {
      engine,
      browser: browser.browser,
      url: server.url,
      newPage: browser.newPage,
      recorder,
      bytesSent: server.bytesSent,
      close: closeAll,
    };
  } catch (error) {
    await closeAll();
    throw error;
  }
}

// Runs body with a started browser. When it cannot start (or its display or
// sound server cannot), the test fails under CI and is skipped, saying why,
// elsewhere.
const underCI = Boolean(process.env.CI) && !['false', '0'].includes(process.env.CI);
async function withBrowser(t, options, body) {
  if (!fs.existsSync(path.join(site, 'index.html'))) {
    throw new Error(`no site at ${site}: make web writes it`);
  }
  let session;
  try {
    session = await openBrowser(options);
  } catch (error) {
    const why = `${options.engine || 'chromium'} cannot start: ${error.message}`;
    if (underCI) {
      throw new Error(why);
    }
    t.skip(why);
    return;
  }
  try {
    await body(session);
  } finally {
    await session.close();
  }
}

// The errors a page wrote to its console or threw, so far.
async function problems(page) {
  if (page.problems) {
    return page.problems;
  }
  return page.evaluate(() => window.vimbelWatch.problems);
}

function waitForState(page, state, timeout) {
  return page.waitForSelector(`body[data-state="${state}"]`, { timeout });
}

function waitForStage(page, stage, timeout) {
  return page.waitForFunction(
    (wanted) => window.vimbelWatch.frames.some((frame) => frame.stage === wanted),
    { timeout, polling: 50 }, stage);
}

module.exports = { openBrowser, withBrowser, waitForState, waitForStage, problems, engines, site };
