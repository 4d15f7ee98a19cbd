// Everything the browser tests and the benchmark need beside the page: the
// site that make web wrote, served on 127.0.0.1, in one of three browser
// engines, each with its sound going to a PulseAudio null sink that can be
// recorded, the displays they need, and the rule for a server or tool that
// cannot start (fail under CI, skip elsewhere).
//
// - chromium: Debian's, headless, through puppeteer-core (DevTools protocol);
// - firefox: Debian's firefox-esr, through puppeteer-core's WebDriver BiDi,
//   with a window on a private Xvfb (headless Firefox has no WebGL);
// - webkit: WebKitGTK's MiniBrowser, through WebKitWebDriver and
//   selenium-webdriver, on the same kind of Xvfb.
//
// Every engine's page offers the same small part of puppeteer's Page:
// goto, evaluate, $eval, click, keyboard.press, setViewport, waitForFunction
// and waitForSelector (for Chromium and Firefox it is puppeteer's own page).
'use strict';

const assert = require('node:assert/strict');
const { spawn, execFile } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');
const puppeteer = require('puppeteer-core');
const { serve } = require('../serve');

// Under CI a server or tool that cannot start fails the test; elsewhere the
// test is skipped and says why. CI is set, and not "false" or "0".
const underCI = Boolean(process.env.CI) && !['false', '0'].includes(process.env.CI);
const sleep = (milliseconds) => new Promise((resolve) => setTimeout(resolve, milliseconds));

function unavailable(t, why) {
  if (underCI) {
    throw new Error(why);
  }
  t.skip(why);
}

// ---- the servers beside the browsers: every one a child of this process --

// Every child started here, killed when this process ends whatever way it
// ends, so that none outlives the tests.
const running = new Set();
process.on('exit', () => running.forEach((child) => child.kill('SIGKILL')));

function started(child) {
  running.add(child);
  child.once('exit', () => running.delete(child));
  return child;
}

// Stops a child and waits until it is reaped: SIGTERM, SIGKILL if it is
// still there after five seconds.
async function stop(child) {
  if (child.exitCode === null && child.signalCode === null) {
    const kill = setTimeout(() => child.kill('SIGKILL'), 5000);
    const exited = new Promise((resolve) => child.once('exit', resolve));
    child.kill('SIGTERM');
    await exited;
    clearTimeout(kill);
  }
}

// Polls ready() every 50 ms until it gives true; fails when the child exits
// first or `seconds` pass. `log` gives what the child wrote, for the message.
function readyWithin(child, what, seconds, ready, log = () => '') {
  return new Promise((resolve, reject) => {
    const until = Date.now() + seconds * 1000;
    const exited = (code) => reject(new Error(`${what} exited with status ${code}: ${log().trim()}`));
    child.once('exit', exited);
    child.once('error', reject);
    const poll = async () => {
      if (await ready()) {
        child.removeListener('exit', exited);
        resolve();
      } else if (Date.now() > until) {
        reject(new Error(`${what} was not ready within ${seconds} s: ${log().trim()}`));
      } else {
        setTimeout(poll, 50);
      }
    };
    poll();
  });
}

// The last `size` characters the streams gave, for a message.
function tail(streams, size = 2000) {
  let log = '';
  for (const stream of streams) {
    stream.on('data', (chunk) => { log = (log + chunk).slice(-size); });
  }
  return () => log;
}

// Gives what work() gives; when it throws, runs close() first.
async function orClose(close, work) {
  try {
    return await work();
  } catch (error) {
    await close();
    throw error;
  }
}

// Runs a short X client to its end and gives its output ('' on failure).
function xClient(display, argv) {
  return new Promise((resolve) => {
    execFile(argv[0], argv.slice(1), { env: { ...process.env, DISPLAY: display }, timeout: 5000 },
      (error, stdout) => resolve(error ? '' : stdout));
  });
}

// An X server on a free display whose screen has the given size, managed by
// openbox (as a desktop would be: full-screen requests are honoured and
// windows get focus). Gives { display, close }.
async function startXvfb({ width, height }) {
  // -noreset: the short X clients below must not make it reset (and drop
  // the window manager's first connection) when they disconnect.
  const xvfb = started(spawn('Xvfb', ['-displayfd', '3', '-screen', '0', `${width}x${height}x24`, '-nolisten', 'tcp',
    '-noreset'], { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] }));
  let number = '';
  xvfb.stdio[3].on('data', (chunk) => { number += chunk; });
  const children = [xvfb];
  const close = async () => {
    for (const child of children.reverse()) {
      await stop(child);
    }
  };
  return orClose(close, async () => {
    // It writes its display's number once it accepts connections.
    await readyWithin(xvfb, 'Xvfb', 10, () => number.includes('\n'));
    const display = `:${number.trim()}`;
    const openbox = started(spawn('openbox', ['--sm-disable'], {
      env: { ...process.env, DISPLAY: display }, stdio: ['ignore', 'pipe', 'pipe'],
    }));
    children.push(openbox);
    // A window manager announces itself on the root window, and runs once
    // it answers a request (here, to have one desktop).
    await readyWithin(openbox, 'openbox', 15, async () => {
      await xClient(display, ['xdotool', 'set_num_desktops', '1']);
      return (await xClient(display, ['xprop', '-root', '_NET_NUMBER_OF_DESKTOPS'])).includes('= 1');
    }, tail([openbox.stdout, openbox.stderr]));
    return { display, close };
  });
}

// A PulseAudio server in the foreground, as this process's child, with a
// private home and runtime folder, one null sink as its only (and so
// default) output and the native protocol on a socket in that folder. Gives
// the environment a client needs to reach it, and record(), which records
// what reaches the sink.
async function startPulseAudio() {
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'vimbel-pulse-'));
  const runtime = path.join(home, 'run');
  fs.mkdirSync(runtime, { mode: 0o700 });
  const env = { ...process.env, HOME: home, XDG_RUNTIME_DIR: runtime };
  delete env.PULSE_SERVER;
  const socket = path.join(runtime, 'pulse', 'native');
  const child = started(spawn('pulseaudio', ['-n', '--daemonize=no', '--exit-idle-time=-1',
    '--load=module-null-sink sink_name=null', '--load=module-native-protocol-unix'],
  { env, stdio: ['ignore', 'ignore', 'pipe'] }));
  const close = async () => {
    await stop(child);
    fs.rmSync(home, { recursive: true, force: true });
  };
  // Ready once its socket is there.
  await orClose(close, () => readyWithin(child, 'PulseAudio', 10, () => fs.existsSync(socket), tail([child.stderr])));
  const clientEnv = { XDG_RUNTIME_DIR: runtime, PULSE_SERVER: `unix:${socket}` };
  return { env: clientEnv, record: () => record({ ...env, ...clientEnv }), close };
}

// Records the null sink's monitor: 44100 Hz, 16-bit stereo. mark() gives the
// position reached so far; peak(from, to) the loudest sample between two
// marks, as a fraction of full scale.
async function record(env) {
  const child = started(spawn('parec', ['-d', 'null.monitor', '--raw', '--format=s16le', '--rate=44100',
    '--channels=2', '--latency-msec=50'], { env, stdio: ['ignore', 'pipe', 'ignore'] }));
  // Each chunk with the position it starts at.
  const chunks = [];
  let length = 0;
  child.stdout.on('data', (chunk) => { chunks.push({ at: length, chunk }); length += chunk.length; });
  const recorder = {
    mark: () => length - (length % 4),
    peak(from, to = length) {
      // Only the chunks that overlap the stretch are joined: the waits below
      // ask often, and a whole run's recording is tens of megabytes.
      const parts = chunks.filter(({ at, chunk }) => at + chunk.length > from && at < to);
      if (!parts.length) {
        return 0;
      }
      const start = parts[0].at;
      const some = Buffer.concat(parts.map(({ chunk }) => chunk));
      let peak = 0;
      for (let i = from - start; i + 1 < Math.min(to - start, some.length); i += 2) {
        peak = Math.max(peak, Math.abs(some.readInt16LE(i)));
      }
      return peak / 32768;
    },
    close: () => stop(child),
  };
  // parec writes its first samples within a moment of connecting.
  await orClose(recorder.close, () => readyWithin(child, 'parec', 5, () => length > 0));
  return recorder;
}

// ---- the site and the browsers ------------------------------------------

const chromium = process.env.VIMBEL_CHROMIUM || '/usr/bin/chromium';
const firefox = process.env.VIMBEL_FIREFOX || '/usr/bin/firefox-esr';
const webkitDriver = process.env.VIMBEL_WEBKIT_DRIVER || '/usr/bin/WebKitWebDriver';
const miniBrowser = process.env.VIMBEL_MINIBROWSER || '/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser';
const site = process.env.VIMBEL_SITE || path.join(__dirname, '..', '..', 'build-web', 'site');
const engines = ['chromium', 'firefox', 'webkit'];

function assertSite() {
  if (!fs.existsSync(path.join(site, 'index.html'))) {
    throw new Error(`no site at ${site}: run make web first`);
  }
}

// What every page gets before its own scripts run: a record of the module's
// instances, of the audio contexts and an analyser on whatever reaches their
// output, of the frames the demo reports (stage and pass time, with the time
// they came), of the page's visibility changes and of the errors the page
// writes or throws.
function watchDemo() {
  const watch = window.vimbelWatch = {
    contexts: [], analysers: [], frames: [], clickAt: null, instances: [], problems: [], visibility: [],
  };
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
    watch.onFrame?.(stage);
  };
  document.addEventListener('click', () => { watch.clickAt = watch.clickAt || performance.now(); }, true);
  document.addEventListener('visibilitychange', () => {
    watch.visibility.push({ state: document.visibilityState, at: performance.now() });
  });
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
  assertSite();
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
      sockets.forEach((socket) => socket.destroy());
    },
  };
}

// Chromium or Firefox through puppeteer, which gives each a fresh profile
// and removes it on close.
async function launchPuppeteer(options, { width, height, env }) {
  const browser = await puppeteer.launch({ defaultViewport: { width, height }, env, ...options });
  const newPage = async () => {
    const page = await browser.newPage();
    await page.evaluateOnNewDocument(watchDemo);
    return page;
  };
  return { browser, newPage, close: () => browser.close() };
}

function launchChromium(launch) {
  const { width, height, extraArgs, webgl } = launch;
  return launchPuppeteer({
    executablePath: chromium,
    headless: true,
    // Its sound goes to the null sink, where the tests hear it.
    ignoreDefaultArgs: ['--mute-audio'],
    // The network here is closed: everything that would call out is off.
    // WebGL runs on SwiftShader, asked for outright rather than as a
    // fallback (which Chromium is phasing out); sound may start unasked.
    args: ['--no-sandbox', '--disable-background-networking', '--disable-component-update',
      '--disable-sync', '--no-first-run', '--autoplay-policy=no-user-gesture-required',
      '--enable-unsafe-swiftshader', `--window-size=${width},${height}`,
      ...(webgl ? [] : ['--disable-webgl', '--disable-3d-apis']), ...extraArgs],
  }, launch);
}

function launchFirefox(launch) {
  const { width, height, webgl } = launch;
  return launchPuppeteer({
    browser: 'firefox',
    executablePath: firefox,
    headless: false,
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
  }, launch);
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

  goto(url) { return this.driver.get(url); }

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

  evaluate(fn, ...args) { return this.run(String(fn), args); }

  $eval(selector, fn, ...args) {
    return this.run(`(selector, ...args) => {
      const element = document.querySelector(selector);
      if (!element) { throw new Error('no element ' + selector); }
      return (${fn})(element, ...args);
    }`, [selector, ...args]);
  }

  async waitForFunction(fn, { timeout = 30000, polling = 100 } = {}, ...args) {
    for (const until = Date.now() + timeout; ; await sleep(Math.max(polling, 50))) {
      const value = await this.run(String(fn), args);
      if (value) {
        return value;
      }
      if (Date.now() > until) {
        throw new Error(`waiting failed: ${timeout} ms exceeded`);
      }
    }
  }

  waitForSelector(selector, options) {
    return this.waitForFunction((selector) => Boolean(document.querySelector(selector)), options, selector);
  }

  click(selector) { return this.driver.findElement(this.webdriver.By.css(selector)).click(); }

  // The window's size: the display's (see openBrowser), so that in full
  // screen the page has all of it, as on a machine with that display;
  // before, the browser's toolbar takes its share. WebKitGTK emulates no
  // pixel ratio: it stays the display's (1).
  async setViewport({ width, height, deviceScaleFactor = 1 }) {
    if (deviceScaleFactor !== 1) {
      throw new Error('WebKitWebDriver cannot emulate a device pixel ratio');
    }
    await this.driver.manage().window().setRect({ x: 0, y: 0, width, height });
  }
}

function freePort() {
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
  const webdriver = require('selenium-webdriver');
  const port = await freePort();
  const server = started(spawn(webkitDriver, [`--port=${port}`], { env, stdio: ['ignore', 'ignore', 'pipe'] }));
  const log = tail([server.stderr], 4000);
  // It is ready once it answers on its port.
  const listening = () => new Promise((resolve) => {
    const socket = net.connect(port, '127.0.0.1');
    socket.once('connect', () => { socket.destroy(); resolve(true); });
    socket.once('error', () => resolve(false));
  });
  return orClose(() => stop(server), async () => {
    await readyWithin(server, 'WebKitWebDriver', 10, listening, log);
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
        await stop(server);
      },
    };
  });
}

// Starts the site's server, a sound server, for Firefox and WebKit a display,
// and the browser; throws when any cannot start. Options: engine, the
// viewport's size (for Firefox and WebKit also the display's, which full
// screen fills), webgl: false for a browser without it (Chromium, Firefox),
// extraArgs for Chromium's command line. Gives { engine, browser, url,
// newPage(), recorder, bytesSent(), close() }: browser is puppeteer's Browser
// or (WebKit, one page) a selenium WebDriver; recorder records the sink.
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
  const open = async (item) => {
    opened.push(await item);
    return opened.at(-1);
  };
  return orClose(closeAll, async () => {
    const server = await open(startServer({ carryWatch: engine === 'webkit' }));
    const pulse = await open(startPulseAudio());
    const recorder = await open(pulse.record());
    const env = { ...process.env, ...pulse.env };
    if (engine !== 'chromium') {
      env.DISPLAY = (await open(startXvfb({ width, height }))).display;
    }
    const launch = { chromium: launchChromium, firefox: launchFirefox, webkit: launchWebKit }[engine];
    const browser = await open(launch({ width, height, extraArgs, webgl, env }));
    return {
      engine, browser: browser.browser, url: server.url, newPage: browser.newPage, recorder,
      bytesSent: server.bytesSent, close: closeAll,
    };
  });
}

// Runs body with a started browser; one that cannot start (or its display
// or sound server) is unavailable (see above).
async function withBrowser(t, options, body) {
  assertSite();
  let session;
  try {
    session = await openBrowser(options);
  } catch (error) {
    unavailable(t, `${options.engine || 'chromium'} cannot start: ${error.message}`);
    return;
  }
  try {
    await body(session);
  } finally {
    await session.close();
  }
}

// ---- what the tests read of a page ----------------------------------------

// The errors a page wrote to its console or threw, so far.
function problems(page) {
  return page.evaluate(() => window.vimbelWatch.problems);
}

function waitForState(page, state, timeout) {
  return page.waitForSelector(`body[data-state="${state}"]`, { timeout });
}

// Opens the site and waits until it is ready to play.
async function loaded(page, url) {
  await page.goto(url);
  await waitForState(page, 'ready', 30000);
}

// A fresh run from the action button, its frames counted from its first.
async function playAgain(page, timeout = 5000) {
  await page.evaluate(() => { window.vimbelWatch.frames = []; });
  await page.click('#action');
  await waitForStage(page, 'greeting', timeout);
}

const frameCount = (page) => page.evaluate(() => window.vimbelWatch.frames.length);
const pageState = (page) => page.evaluate(() => document.body.dataset.state);

// The status line says `message` (a string, or a RegExp it matches) and the
// action button offers `action` (false: it is hidden).
async function assertOutcome(page, message, action) {
  const [text, offered] = await page.evaluate(() => {
    const button = document.getElementById('action');
    return [document.getElementById('message').textContent, !button.hidden && button.textContent];
  });
  assert[message instanceof RegExp ? 'match' : 'equal'](text, message);
  assert.equal(offered, action, `the action button: ${text}`);
}

function waitForStage(page, stage, timeout) {
  return page.waitForFunction(
    (wanted) => window.vimbelWatch.frames.some((frame) => frame.stage === wanted),
    { timeout, polling: 50 }, stage);
}

// Whether the page is in full screen once the run has started. Where the
// engine has the Full screen API it must be (a refused request would leave
// a page that never plays full screen); where it has not, the test says so.
async function inFullscreen(t, page) {
  const api = await page.evaluate(() => typeof document.documentElement.requestFullscreen === 'function' &&
    document.fullscreenEnabled);
  if (!api) {
    t.diagnostic('this engine has no Full screen API: the demo plays in the page');
    return false;
  }
  await page.waitForFunction(() => Boolean(document.fullscreenElement), { timeout: 5000 });
  return true;
}

// The loudest sample the analysers on the page's audio output see over
// `milliseconds`, and the states of its audio contexts.
function audioOutput(page, milliseconds = 1000) {
  return page.evaluate(async (milliseconds) => {
    const watch = window.vimbelWatch;
    let peak = 0;
    for (let i = 0; i < milliseconds / 100; i++) {
      for (const analyser of watch.analysers) {
        const samples = new Float32Array(analyser.fftSize);
        analyser.getFloatTimeDomainData(samples);
        peak = samples.reduce((most, sample) => Math.max(most, Math.abs(sample)), peak);
      }
      await new Promise((resolve) => setTimeout(resolve, 100));
    }
    return { states: watch.contexts.map((context) => context.state), peak };
  }, milliseconds);
}

// The loudest sample reaching the sound server over the next `milliseconds`.
async function loudestFor(recorder, milliseconds) {
  const from = recorder.mark();
  await sleep(milliseconds);
  return recorder.peak(from, recorder.mark());
}

// Waits until the sound server hears more than `least` (a fraction of full
// scale), up to `limit` ms; gives the loudest sample heard meanwhile, for the
// caller's check.
async function waitForSound(recorder, limit = 5000, least = 0.05) {
  const until = Date.now() + limit;
  let from = recorder.mark();
  let peak = 0;
  while (peak <= least && Date.now() < until) {
    await sleep(50);
    const to = recorder.mark();
    peak = Math.max(peak, recorder.peak(from, to));
    from = to;
  }
  return peak;
}

// Waits until the sound server hears silence, once whatever the output had
// queued has played out: a quarter of a second without a sample. Throws
// when none comes within `limit` ms.
async function waitForSilence(recorder, limit = 5000) {
  const quiet = 44100 * 4 / 4; // bytes of 16-bit stereo at 44100 Hz
  const until = Date.now() + limit;
  let from = recorder.mark();
  for (;;) {
    await sleep(50);
    const to = recorder.mark();
    if (recorder.peak(from, to) > 0) {
      from = to;
    } else if (to - from >= quiet) {
      return;
    }
    if (Date.now() > until) {
      throw new Error(`no quarter second of silence reached the sound server within ${limit} ms`);
    }
  }
}

// Waits up to `timeout` ms until the canvas has been fitted to the window as
// it is now: its box as large as the window holds it, its drawing size that
// box in device pixels. It gives up silently: the caller's checks of the
// canvas then say what is wrong.
function canvasFitted(page, timeout = 5000) {
  return page.waitForFunction(() => {
    const canvas = document.getElementById('canvas');
    const box = canvas.getBoundingClientRect();
    const near = (a, b) => Math.abs(a - b) <= 1;
    return (near(box.width, innerWidth) || near(box.height, innerHeight)) &&
      near(canvas.width, box.width * devicePixelRatio) && near(canvas.height, box.height * devicePixelRatio);
  }, { timeout, polling: 50 }).catch(() => {});
}

// The canvas's drawing size, its box on screen (CSS pixels), the window's
// size and the device's pixel ratio.
function canvasShown(page) {
  return page.$eval('#canvas', (canvas) => {
    const box = canvas.getBoundingClientRect();
    return { drawing: [canvas.width, canvas.height], left: box.left, top: box.top,
      shown: [box.width, box.height], window: [innerWidth, innerHeight], ratio: devicePixelRatio };
  });
}

// The picture is shown whole, at its own shape, as large as the window
// holds it, centred, with one canvas pixel per device pixel it covers
// (within a pixel of rounding).
function assertShownWhole(shown) {
  const { drawing: [width, height], shown: [boxWidth, boxHeight], window: [w, h], ratio } = shown;
  const what = JSON.stringify(shown);
  assert.ok(Math.abs(width - boxWidth * ratio) <= 1 && Math.abs(height - boxHeight * ratio) <= 1,
    `not one canvas pixel per device pixel: ${what}`);
  assert.ok(Math.abs(boxWidth / boxHeight - width / height) < 0.01, `squashed: ${what}`);
  assert.ok(boxWidth <= w + 1 && boxHeight <= h + 1, `cut: ${what}`);
  assert.ok(Math.abs(boxWidth - w) <= 1 || Math.abs(boxHeight - h) <= 1, `not fitted: ${what}`);
  assert.ok(Math.abs(2 * shown.left + boxWidth - w) <= 2 && Math.abs(2 * shown.top + boxHeight - h) <= 2,
    `not centred: ${what}`);
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
      const copy = Object.assign(document.createElement('canvas'), { width: canvas.width, height: canvas.height });
      const context = copy.getContext('2d');
      context.drawImage(canvas, 0, 0);
      const lit = (x, y, w, h) => context.getImageData(x, y, w, h).data
        .reduce((count, red, i, data) => count + (i % 4 === 0 && red + data[i + 1] + data[i + 2] > 96), 0);
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

module.exports = {
  openBrowser, withBrowser, underCI, unavailable, engines, site, sleep, problems, waitForState, waitForStage,
  loaded, playAgain, frameCount, pageState, assertOutcome, inFullscreen, audioOutput, loudestFor, waitForSound,
  waitForSilence, canvasFitted, canvasShown, assertShownWhole, litRegions,
};
