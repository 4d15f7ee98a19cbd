// The page around the demo: loads and compiles the module while showing
// progress, waits for the viewer's click (sound may start only from a
// gesture), then enters full screen and runs the demo on the canvas. Every
// run gets a fresh instance of the module, so "Play again" starts from
// scratch, as a new process would on the desktop.
'use strict';

(function () {
  const body = document.body;
  const message = document.getElementById('message');
  const action = document.getElementById('action');
  const hint = document.getElementById('hint');

  let compiled = null;      // the module's code, compiled once
  let nextDemo = null;      // a promise of the instance for the next run
  let current = null;       // the instance that is running, if any
  let fullscreenEntered = false;

  // One state at a time, also readable as body[data-state]: loading, ready,
  // starting, running, ended or failed.
  function show(state, text, actionText) {
    body.dataset.state = state;
    message.textContent = text || '';
    action.hidden = !actionText;
    action.textContent = actionText || '';
    hint.hidden = !actionText;
    if (actionText) {
      action.focus();
    }
  }

  let explanation = '';     // what the page adds below a failed start-up's report

  // A failed run stops, sound included: on the desktop the process would
  // end, here the instance stays, and with it SDL's audio output.
  function fail(report) {
    if (current && current.SDL2 && current.SDL2.audioContext) {
      current.SDL2.audioContext.close().catch(() => {});
    }
    current = null;
    leaveFullscreen();
    show('failed', report + explanation);
  }

  function leaveFullscreen() {
    if (document.fullscreenElement && document.exitFullscreen) {
      document.exitFullscreen().catch(() => {});
    }
  }

  if (typeof WebAssembly !== 'object' || typeof WebAssembly.instantiate !== 'function') {
    fail('vimbel-demo: this browser cannot run WebAssembly, which the demo is built for.');
    return;
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
      script.onerror = () => reject(new Error(`cannot load ${src}`));
      document.head.appendChild(script);
    });
  }

  // Compiles while it downloads, counting the bytes for the progress text.
  async function compileWasm(url) {
    const response = await fetch(url);
    if (!response.ok) {
      throw new Error(`cannot load ${url}: ${response.status} ${response.statusText}`);
    }
    // Content-Length counts the encoded bytes; a percentage only holds
    // when the body arrives as it is.
    const encoded = response.headers.get('Content-Encoding');
    const total = encoded ? 0 : Number(response.headers.get('Content-Length')) || 0;
    let received = 0;
    const counted = response.body.pipeThrough(new TransformStream({
      transform(chunk, controller) {
        received += chunk.byteLength;
        message.textContent = total
          ? `Loading\u2026 ${Math.floor((100 * received) / total)} %`
          : `Loading\u2026 ${(received / 1e6).toFixed(1)} MB`;
        controller.enqueue(chunk);
      },
    }));
    const bytes = await new Response(counted).arrayBuffer();
    return WebAssembly.compile(bytes);
  }

  function freshCanvas() {
    const canvas = document.createElement('canvas');
    canvas.id = 'canvas';
    canvas.tabIndex = -1;
    document.getElementById('canvas').replaceWith(canvas);
    return canvas;
  }

  // A new instance of the module, ready to run but not started.
  function newDemo() {
    return createVimbelDemo({
      noInitialRun: true,
      instantiateWasm(imports, done) {
        WebAssembly.instantiate(compiled, imports).then(
          (instance) => done(instance, compiled),
          (error) => fail(`vimbel-demo: ${error.message}`));
        return {};
      },
      print: (text) => console.log(text),
      printErr: (text) => console.error(text),
      onAbort: (what) => fail(`vimbel-demo: stopped: ${what}`),
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

  function ended(status, report) {
    if (status !== 0) {
      fail(report);
      return;
    }
    current = null;
    leaveFullscreen();
    nextDemo = newDemo();
    show('ended', 'The demo has ended.', 'Play again');
  }

  function run(demo) {
    demo.canvas = freshCanvas();
    current = demo;
    show('running');
    // Start-up measures the canvas, so it must be on screen by now.
    demo.callMain([]);
    if (current === demo) {
      demo.canvas.focus();
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

  async function start() {
    if (body.dataset.state !== 'ready' && body.dataset.state !== 'ended') {
      return;
    }
    show('starting', 'Starting\u2026');
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
    let fullscreen = Promise.resolve();
    fullscreenEntered = false;
    if (document.documentElement.requestFullscreen && !document.fullscreenElement) {
      fullscreen = document.documentElement.requestFullscreen({ navigationUI: 'hide' })
        .then(() => { fullscreenEntered = true; });
    }
    const demo = await nextDemo;
    if (audioContext) {
      demo.SDL2 = { audioContext };
    }
    // The demo lays itself out on the window's size at start: let the
    // change to full screen finish first.
    await settled(fullscreen, 1000);
    await animationFrame();
    run(demo);
  }

  // Leaving full screen (the browser's own Escape) ends the demo, as
  // Escape does on the desktop.
  document.addEventListener('fullscreenchange', () => {
    if (!document.fullscreenElement && fullscreenEntered && current) {
      fullscreenEntered = false;
      current._vimbelQuit();
    }
  });

  function startOrFail() {
    start().catch((error) => fail(`vimbel-demo: ${error.message}`));
  }
  action.addEventListener('click', (event) => {
    event.stopPropagation();
    startOrFail();
  });
  document.getElementById('panel').addEventListener('click', () => {
    if (body.dataset.state === 'ready') {
      startOrFail();
    }
  });

  (async () => {
    try {
      const [wasm] = await Promise.all([compileWasm('vimbel-demo.wasm'), loadScript('vimbel-demo.js')]);
      compiled = wasm;
      nextDemo = newDemo();
      const demo = await nextDemo;
      if (!hasWebGL()) {
        // Without WebGL the demo cannot draw: its own start-up says why,
        // before it opens the audio device, and nothing else happens.
        explanation = '\n\nThis browser offers no WebGL, which the demo draws with.';
        run(demo);
        return;
      }
      show('ready', '', 'Click to start');
    } catch (error) {
      fail(`vimbel-demo: ${error.message}`);
    }
  })();
})();
