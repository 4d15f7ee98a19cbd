// The servers the browsers need beside them, started for the tests alone:
// an X server (Firefox draws with WebGL only with a display, WebKit always
// wants one) and a PulseAudio server whose only output is a null sink, so
// every engine plays its sound somewhere the tests can record it.
'use strict';

const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

// Waits for a child's first line on a stream, or fails when it exits first
// or takes longer than `timeout` milliseconds.
function firstLine(child, stream, what, timeout = 10000) {
  return new Promise((resolve, reject) => {
    let text = '';
    const timer = setTimeout(() => done(new Error(`${what} did not start within ${timeout} ms`)), timeout);
    function done(error, value) {
      clearTimeout(timer);
      stream.removeAllListeners('data');
      child.removeListener('exit', exited);
      child.removeListener('error', done);
      return error ? reject(error) : resolve(value);
    }
    function exited(code) {
      done(new Error(`${what} exited with status ${code} before it was ready`));
    }
    stream.on('data', (chunk) => {
      text += chunk;
      if (text.includes('\n')) {
        done(null, text.split('\n')[0].trim());
      }
    });
    child.once('exit', exited);
    child.once('error', done);
  });
}

// Every server started here, stopped when this process ends whatever way
// it ends, so that none outlives the tests.
const running = new Set();
process.on('exit', () => {
  for (const child of running) {
    child.kill('SIGKILL');
  }
});

function started(child) {
  running.add(child);
  child.once('exit', () => running.delete(child));
  return child;
}

function stop(child) {
  if (child && child.exitCode === null && child.signalCode === null) {
    return new Promise((resolve) => {
      child.once('exit', resolve);
      child.kill('SIGTERM');
    });
  }
  return Promise.resolve();
}

// An X server on a free display whose screen has the given size: a page in
// full screen gets the screen, as on a machine with that display. Gives
// { display, close }.
async function startXvfb({ width, height }) {
  const child = started(spawn('Xvfb', ['-displayfd', '3', '-screen', '0', `${width}x${height}x24`, '-nolisten', 'tcp'],
    { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] }));
  const number = await firstLine(child, child.stdio[3], 'Xvfb');
  return { display: `:${number}`, close: () => stop(child) };
}

// A PulseAudio server with a private home and runtime folder, one null sink
// as its only (and so default) output and the native protocol on a socket
// in that folder. Gives the environment a client needs to reach it, and
// record(), which records what reaches the sink.
async function startPulseAudio() {
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'vimbel-pulse-'));
  const runtime = path.join(home, 'run');
  fs.mkdirSync(runtime, { mode: 0o700 });
  const env = { ...process.env, HOME: home, XDG_RUNTIME_DIR: runtime };
  delete env.PULSE_SERVER;
  const socket = path.join(runtime, 'pulse', 'native');
  // In the foreground, as this process's child: it ends with the tests.
  const child = started(spawn('pulseaudio', ['-n', '--daemonize=no', '--exit-idle-time=-1',
    '--load=module-null-sink sink_name=null', '--load=module-native-protocol-unix'],
  { env, stdio: ['ignore', 'ignore', 'pipe'] }));
  let log = '';
  child.stderr.on('data', (chunk) => { log = (log + chunk).slice(-2000); });
  const close = async () => {
    await stop(child);
    fs.rmSync(home, { recursive: true, force: true });
  };
  try {
    // Ready once its socket is there.
    await new Promise((resolve, reject) => {
      const until = Date.now() + 10000;
      child.once('error', reject);
      child.once('exit', (code) => reject(new Error(`exited with status ${code}: ${log.trim()}`)));
      const poll = () => {
        if (fs.existsSync(socket)) {
          resolve();
        } else if (Date.now() > until) {
          reject(new Error(`no socket within 10 s: ${log.trim()}`));
        } else {
          setTimeout(poll, 50);
        }
      };
      poll();
    });
  } catch (error) {
    await close();
    throw new Error(`PulseAudio did not start: ${error.message}`);
  }
  const clientEnv = { XDG_RUNTIME_DIR: runtime, PULSE_SERVER: `unix:${socket}` };
  return { env: clientEnv, record: () => record({ ...env, ...clientEnv }), close };
}

// Records the null sink's monitor: 44100 Hz, 16-bit stereo. mark() gives the
// position reached so far; peak(from, to) the loudest sample between two
// marks, as a fraction of full scale.
async function record(env) {
  const child = started(spawn('parec', ['-d', 'null.monitor', '--raw', '--format=s16le', '--rate=44100',
    '--channels=2', '--latency-msec=50'], { env, stdio: ['ignore', 'pipe', 'ignore'] }));
  const chunks = [];
  let length = 0;
  child.stdout.on('data', (chunk) => {
    chunks.push(chunk);
    length += chunk.length;
  });
  // parec writes its first samples within a moment of connecting.
  await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('parec recorded nothing within 5 s')), 5000);
    child.stdout.once('data', () => { clearTimeout(timer); resolve(); });
    child.once('exit', (code) => { clearTimeout(timer); reject(new Error(`parec exited with status ${code}`)); });
    child.once('error', (error) => { clearTimeout(timer); reject(error); });
  });
  return {
    mark: () => length - (length % 4),
    peak(from, to = length) {
      const all = Buffer.concat(chunks);
      let peak = 0;
      for (let i = from; i + 1 < Math.min(to, all.length); i += 2) {
        peak = Math.max(peak, Math.abs(all.readInt16LE(i)));
      }
      return peak / 32768;
    },
    seconds: (from, to) => (to - from) / (44100 * 4),
    close: () => stop(child),
  };
}

module.exports = { startXvfb, startPulseAudio, started };
