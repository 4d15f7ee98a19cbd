// The page around the demo: compiles the module while it downloads, showing
// progress, waits for the viewer's click or tap (sound may start only from a
// gesture), then enters full screen where the browser has it and runs the
// demo on the canvas, shown whole at its own shape on black. Every run gets a
// fresh instance of the module, so "Play again" starts from scratch, as a new
// process would on the desktop. While the page is hidden the demo pauses.
'use strict';

(function () {
  const body = document.body;
  const message = document.getElementById('message');
  const action = document.getElementById('action');
  const hint = document.getElementById('hint');
  const endButton = document.getElementById('end');
  const fullscreenButton = document.getElementById('fullscreen');
  // The build names the module's files after their content; index.html says
  // which, and how many bytes the module has once decoded.
  const files = document.currentScript.dataset;
  const moduleSize = Number(files.wasmSize) || 0;
  // How long a run that has left full screen holds still before it ends, in
  // case the page is about to be reported hidden (then it is a pause).
  const hiddenGrace = 300;

  // The page is in one state at a time, mirrored as body[data-state]:
  //   loading  the module downloads and compiles;
  //   ready    it waits for the click or tap that starts the demo;
  //   starting the click came: sound and full screen are on their way;
  //   running  the demo runs (demo: its instance);
  //   paused   the page is hidden: the demo holds still (demo);
  //   ended    the story is over, "Play again" is offered;
  //   failed   something failed; retry, when set, is what "Try again" does.
  // go() is the only place that changes it; a change not listed here is
  // ignored, so a late event cannot undo a later state.
  const transitions = {
    loading: ['ready', 'running', 'failed'],
    ready: ['starting', 'failed'],
    starting: ['running', 'failed'],
    running: ['paused', 'ended', 'failed'],
    paused: ['running', 'ended', 'failed'],
    ended: ['starting', 'failed'],
    failed: ['loading'],
  };
  let state = { name: 'loading', demo: null, retry: null };

  let compiled = null;      // the module's code, compiled once
  let nextDemo = null;      // a promise of the instance for the next run
  let wakeLock = null;      // the screen kept awake during a run
  let controlsTimer = null; // hides the controls a while after a tap
  let endTimer = null;      // ends a run that has left full screen

  // Changes the state: shows what it offers and does what entering it
  // means for the demo. Gives whether the change was made.
  function go(name, { text = '', actionText = '', retry = null, demo = state.demo } = {}) {
    if (!transitions[state.name].includes(name)) {
      return false;
    }
    const before = state;
    const inRun = name === 'running' || name === 'paused';
    state = { name, demo: inRun ? demo : null, retry };
    body.dataset.state = name;
    clearTimeout(endTimer);
    if (name === 'paused') {
      hideControls();
      hold(demo);
    } else if (name === 'running' && before.name === 'paused') {
      release(demo);
      keepAwake();
    } else if (name === 'ended' || name === 'failed') {
      // Whatever way a run stops, nothing of it stays on. A failed run
      // stops its sound too: on the desktop the process would end, here the
      // instance stays, and with it SDL's audio output.
      hideControls();
      letSleep();
      leaveFullscreen();
      const context = name === 'failed' && audioContextOf(before.demo);
      if (context) {
        context.close().catch(() => {});
      }
    }
    if (!inRun) {
      message.textContent = text;
      action.hidden = !actionText;
      action.textContent = actionText;
      hint.hidden = !actionText || name === 'failed';
      hint.textContent = hintText();
      if (actionText) {
        action.focus();
      }
    }
    return true;
  }

  // A failure's report; "Try again" is offered where trying again can help.
  function fail(report, retry = null) {
    go('failed', { text: report, actionText: retry ? 'Try again' : '', retry });
  }

  function canFullscreen() {
    return typeof document.documentElement.requestFullscreen === 'function' &&
      document.fullscreenEnabled !== false;
  }

  // Asks for full screen (only inside a click or tap); resolves to whether the
  // page got it. Refused, the demo plays in the page.
  function enterFullscreen() {
    try {
      return document.documentElement.requestFullscreen({ navigationUI: 'hide' })
        .then(() => true, () => false);
    } catch (error) {
      return Promise.resolve(false);
    }
  }

  function leaveFullscreen() {
    if (document.fullscreenElement && document.exitFullscreen) {
      document.exitFullscreen().catch(() => {});
    }
  }

  // What the viewer can do, for this device: a touch screen has no Escape
  // and may have no full screen to leave.
  function isTouch() {
    return Boolean(window.matchMedia && window.matchMedia('(pointer: coarse)').matches);
  }

  function hintText() {
    const parts = ['Sound on.'];
    if (isTouch()) {
      parts.push('A tap during the demo shows its End button.');
      if (window.innerHeight > window.innerWidth) {
        parts.push('Turn the phone sideways for a bigger picture.');
      }
    } else {
      parts.push(canFullscreen() ? 'Escape or leaving full screen ends it.' : 'Escape ends it.');
    }
    return parts.join(' ');
  }

  function audioContextOf(demo) {
    return demo && demo.SDL2 && demo.SDL2.audioContext;
  }

  function hasWebGL() {
    try {
      const probe = document.createElement('canvas');
      return Boolean(window.WebGLRenderingContext && probe.getContext('webgl'));
    } catch (error) {
      return false;
    }
  }

  function loadScript(src) {
    return new Promise((resolve, reject) => {
      const script = document.createElement('script');
      script.src = src;
      script.onload = resolve;
      script.onerror = () => {
        script.remove();
        reject(new Error(`cannot load ${src}`));
      };
      document.head.appendChild(script);
    });
  }

  // Compiles while it downloads, counting the decoded bytes for the progress
  // text. Engines without streaming compilation get the bytes whole.
  async function compileModule(url) {
    let response;
    try {
      response = await fetch(url);
    } catch (error) {
      throw new Error(`cannot load ${url}: ${error.message}`);
    }
    if (!response.ok) {
      throw new Error(`cannot load ${url}: ${response.status} ${response.statusText}`);
    }
    const total = moduleSize ||
      (response.headers.get('Content-Encoding') ? 0 : Number(response.headers.get('Content-Length')));
    let received = 0;
    const progress = () => {
      message.textContent = total
        ? `Loading\u2026 ${Math.min(100, Math.floor((100 * received) / total))} %`
        : `Loading\u2026 ${(received / 1e6).toFixed(1)} MB`;
    };
    let source = response;
    if (response.body && typeof TransformStream === 'function') {
      const counted = response.body.pipeThrough(new TransformStream({
        transform(chunk, controller) {
          received += chunk.byteLength;
          progress();
          controller.enqueue(chunk);
        },
      }));
      source = new Response(counted, { headers: { 'Content-Type': 'application/wasm' } });
    }
    try {
      if (typeof WebAssembly.compileStreaming === 'function') {
        return await WebAssembly.compileStreaming(source);
      }
      return await WebAssembly.compile(await source.arrayBuffer());
    } catch (error) {
      throw new Error(`cannot load ${url}: ${error.message}`);
    }
  }

  function freshCanvas() {
    const canvas = document.createElement('canvas');
    canvas.id = 'canvas';
    canvas.tabIndex = -1;
    document.getElementById('canvas').replaceWith(canvas);
    return canvas;
  }

  // The canvas's shape as the run started, which it keeps on screen: as
  // large as the window holds at that shape, centred (by the style sheet),
  // with a drawing size that covers the device pixels it is shown on, so
  // that the picture stays sharp after a resize or a turn. Measured from the
  // start's shape every time, so that rounding never drifts it.
  let canvasShape = null;

  function fitCanvas() {
    const demo = state.demo;
    if (!demo || !canvasShape) {
      return;
    }
    const [width, height] = canvasShape;
    const scale = Math.min(window.innerWidth / width, window.innerHeight / height);
    demo.canvas.style.width = `${width * scale}px`;
    demo.canvas.style.height = `${height * scale}px`;
    // Only a new size: the start's canvas has it already, and many resize
    // events change nothing for the canvas.
    const ratio = window.devicePixelRatio || 1;
    const pixels = [Math.round(width * scale * ratio), Math.round(height * scale * ratio)];
    if (pixels[0] !== demo.canvas.width || pixels[1] !== demo.canvas.height) {
      demo._vimbelResize(pixels[0], pixels[1]);
    }
  }

  // A new pixel ratio without a resize (the window moved to another screen):
  // the query matches the ratio it was made for, so it is made afresh on
  // every change.
  function watchPixelRatio() {
    const query = window.matchMedia && window.matchMedia(`(resolution: ${window.devicePixelRatio || 1}dppx)`);
    if (!query || typeof query.addEventListener !== 'function') {
      return;
    }
    query.addEventListener('change', () => {
      fitCanvas();
      watchPixelRatio();
    }, { once: true });
  }
  watchPixelRatio();

  // A new instance of the module, ready to run but not started. An instance
  // that cannot be made (short of memory, say) may be made on a second try.
  function newDemo() {
    return createVimbelDemo({
      noInitialRun: true,
      instantiateWasm(imports, done) {
        WebAssembly.instantiate(compiled, imports).then(
          (instance) => done(instance, compiled),
          (error) => fail(`vimbel-demo: ${error.message}`, load));
        return {};
      },
      print: (text) => console.log(text),
      printErr: (text) => console.error(text),
      onAbort: (what) => fail(`vimbel-demo: stopped: ${what}`, load),
      onDemoEnd: ended,
      // After every pass: for tools that watch the demo (the browser
      // tests, the benchmark), which set window.onVimbelFrame.
      onFrame: (stage, passMilliseconds) => {
        if (window.onVimbelFrame) {
          window.onVimbelFrame(stage, passMilliseconds);
        }
      },
    });
  }

  // The demo's own end: the story is over, or a quit, or a fatal error that
  // the entry reports. Without WebGL trying again cannot help.
  function ended(status, report) {
    if (status !== 0) {
      if (hasWebGL()) {
        fail(report, load);
      } else {
        fail(`${report}\n\nThis browser offers no WebGL, which the demo draws with.`);
      }
      return;
    }
    if (go('ended', { text: 'The demo has ended.', actionText: 'Play again' })) {
      nextDemo = newDemo();
    }
  }

  // ---- the screen kept awake while the demo runs, where the browser can --

  async function keepAwake() {
    if (!navigator.wakeLock || wakeLock || document.hidden) {
      return;
    }
    try {
      const lock = await navigator.wakeLock.request('screen');
      if (!state.demo || wakeLock) {
        lock.release().catch(() => {});
        return;
      }
      wakeLock = lock;
      lock.addEventListener('release', () => {
        if (wakeLock === lock) {
          wakeLock = null;
        }
      });
    } catch (error) {
      // Refused (a saving mode, a policy): the demo runs all the same.
    }
  }

  function letSleep() {
    if (wakeLock) {
      wakeLock.release().catch(() => {});
      wakeLock = null;
    }
  }

  // ---- the controls: a tap or click during the run shows them a while --
  // End, and Full screen where the browser has it but the run has left it
  // (after another tab was in front).

  function hideControls() {
    clearTimeout(controlsTimer);
    endButton.hidden = true;
    fullscreenButton.hidden = true;
    body.classList.remove('controls');
  }

  function showControls() {
    endButton.hidden = false;
    fullscreenButton.hidden = !canFullscreen() || Boolean(document.fullscreenElement);
    body.classList.add('controls');
    clearTimeout(controlsTimer);
    controlsTimer = setTimeout(hideControls, 4000);
  }

  document.addEventListener('pointerdown', (event) => {
    if (state.name === 'running' && event.target !== endButton && event.target !== fullscreenButton) {
      showControls();
    }
  }, true);
  endButton.addEventListener('click', (event) => {
    event.stopPropagation();
    hideControls();
    if (state.demo) {
      state.demo._vimbelQuit();
    }
  });
  fullscreenButton.addEventListener('click', (event) => {
    event.stopPropagation();
    hideControls();
    enterFullscreen();
  });

  // ---- hidden means paused: the passes and the music stop together ------

  function hold(demo) {
    demo._vimbelPause();
    const context = audioContextOf(demo);
    if (context) {
      context.suspend().catch(() => {});
    }
  }

  function release(demo) {
    const context = audioContextOf(demo);
    if (context) {
      context.resume().catch(() => {});
    }
    demo._vimbelResume();
  }

  document.addEventListener('visibilitychange', () => {
    go(document.hidden ? 'paused' : 'running');
  });

  // Leaving full screen ends the demo, as Escape does on the desktop,
  // unless it left because the page was hidden (another tab, another app):
  // that is a pause. The page may be reported hidden just after the change,
  // so the demo holds still a moment and ends only if it was not (pausing
  // clears the timer).
  document.addEventListener('fullscreenchange', () => {
    if (document.fullscreenElement || state.name !== 'running') {
      return;
    }
    if (document.hidden) {
      go('paused');
      return;
    }
    const demo = state.demo;
    hold(demo);
    endTimer = setTimeout(() => {
      // The quit is seen by the next pass.
      demo._vimbelResume();
      demo._vimbelQuit();
    }, hiddenGrace);
  });

  window.addEventListener('resize', () => {
    fitCanvas();
    if (!hint.hidden) {
      hint.textContent = hintText();
    }
  });

  function run(demo) {
    demo.canvas = freshCanvas();
    if (!go('running', { demo })) {
      return;
    }
    // Start-up measures the window, so the page must have its size by now.
    // It may end the run at once (no WebGL).
    demo.callMain([]);
    if (state.demo === demo) {
      canvasShape = [demo.canvas.width, demo.canvas.height];
      fitCanvas();
      demo.canvas.focus();
      keepAwake();
      if (document.hidden) {
        go('paused');
      }
    }
  }

  function settled(promise, milliseconds) {
    return Promise.race([
      promise.catch(() => {}),
      new Promise((resolve) => setTimeout(resolve, milliseconds)),
    ]);
  }

  function animationFrame() {
    return new Promise((resolve) => requestAnimationFrame(resolve));
  }

  // Some browsers report full screen before the window has its final size
  // (a toolbar still on its way out): wait until the visible area has held
  // still for a few frames, up to a limit.
  async function viewportSettled(milliseconds) {
    const until = performance.now() + milliseconds;
    let size = '';
    let still = 0;
    while (still < 6 && performance.now() < until) {
      await animationFrame();
      const now = `${window.innerWidth}x${window.innerHeight}`;
      still = now === size ? still + 1 : 0;
      size = now;
    }
  }

  async function start() {
    if (!go('starting', { text: 'Starting\u2026' })) {
      return;
    }
    // Both must happen inside the click: the sound's context, which the
    // demo's audio output takes over, and the request for full screen.
    let audioContext = null;
    const AudioContextType = window.AudioContext || window.webkitAudioContext;
    if (AudioContextType) {
      try {
        audioContext = new AudioContextType({ sampleRate: 44100 });
      } catch (error) {
        audioContext = new AudioContextType();
      }
      audioContext.resume();
    }
    let entered = false;
    const fullscreen = canFullscreen() && !document.fullscreenElement
      ? enterFullscreen().then((result) => { entered = result; })
      : Promise.resolve();
    const demo = await nextDemo;
    if (audioContext) {
      demo.SDL2 = { audioContext };
    }
    // The demo chooses its drawing size from the window at start: let the
    // change to full screen finish first.
    await settled(fullscreen, 1000);
    if (!entered && document.fullscreenElement) {
      // The last run's full screen is still on its way out: its leaving
      // must come before this run, which it would otherwise end.
      await settled(new Promise((resolve) => document.addEventListener('fullscreenchange', resolve, { once: true })),
        1000);
    }
    await (entered ? viewportSettled(600) : animationFrame());
    run(demo);
  }

  function startOrFail() {
    start().catch((error) => fail(`vimbel-demo: ${error.message}`, load));
  }
  action.addEventListener('click', (event) => {
    event.stopPropagation();
    const retry = state.retry;
    if (retry && go('loading', { text: 'Loading\u2026' })) {
      retry();
    } else {
      startOrFail();
    }
  });
  document.getElementById('panel').addEventListener('click', () => {
    if (state.name === 'ready') {
      startOrFail();
    }
  });

  async function load() {
    try {
      const [wasm] = await Promise.all([
        compiled || compileModule(files.wasm),
        window.createVimbelDemo ? null : loadScript(files.module),
      ]);
      compiled = wasm;
      nextDemo = newDemo();
      const demo = await nextDemo;
      if (!hasWebGL()) {
        // Without WebGL the demo cannot draw: its own start-up says why,
        // before it opens the audio device, and nothing else happens.
        run(demo);
        return;
      }
      go('ready', { actionText: isTouch() ? 'Tap to start' : 'Click to start' });
    } catch (error) {
      fail(`vimbel-demo: ${error.message}`, load);
    }
  }

  if (typeof WebAssembly !== 'object' || typeof WebAssembly.instantiate !== 'function') {
    fail('vimbel-demo: this browser cannot run WebAssembly, which the demo is built for.');
  } else {
    load();
  }
})();
