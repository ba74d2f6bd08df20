'use strict';
// Runs orvel-wallpaper-helper.exe for a Node.js main process (Electron and the like): builds its
// command line, reads its event lines as typed events, keeps its standard input open for as long
// as the window stays attached, and gives the window back when the helper ends without doing so.
const { spawn } = require('node:child_process');
const { EventEmitter } = require('node:events');
const fs = require('node:fs');
const path = require('node:path');
const util = require('node:util');
const { handleText, checkOptions, prepare } = require('./lib/checks.js');
const { HelperError, abortError, readLines, parseLine, stderrOf, endText, reasonOf, endError, failureOf } =
  require('./lib/events.js');

const helperFile = 'orvel-wallpaper-helper.exe';
// A helper told to stop that has not ended in this time is killed outright.
const killGrace = 1000;
// The longest that detach() takes unless told otherwise, the give-back included.
const detachTimeout = 10000;
// The first restart's delay, doubled for each further one within the minute.
const restartDelay = 500;

// The .exe beside this file; inside a packed Electron app, where builders unpack it. Found when a
// call needs it, never at load: a module bundled as an ES module has no __dirname.
function defaultHelperPath() {
  if (typeof __dirname !== 'string') {
    const cause = Object.assign(new Error(`no ${helperFile} beside an ES module bundle`), { code: 'ENOENT' });
    const why = 'the package was bundled as an ES module, away from its .exe: name it with helperPath';
    throw new HelperError(`cannot run the helper: ${why}`, { code: 'ERR_SPAWN_FAILED', cause });
  }
  return path.join(__dirname, helperFile).replace(`app.asar${path.sep}`, `app.asar.unpacked${path.sep}`);
}

// The command line as a shell would take it, for error messages.
const commandText = (words) =>
  words.map((word) => (/^[\w./:=@\\-]+$/.test(word) ? word : JSON.stringify(word))).join(' ');

// Starts the helper with pipes for its three streams; Node creates them for this child alone, so
// no other program started later holds the helper's standard input open. Gives the child and its
// command line.
function start(args, { launcher, helperPath }) {
  if (!launcher && process.platform !== 'win32') {
    throw new HelperError(
      `the helper is a Windows program; on ${process.platform} name a launcher (launcher: ['wine64'])`,
      { code: 'ERR_UNSUPPORTED_PLATFORM' },
    );
  }
  const program = helperPath ?? defaultHelperPath();
  if (helperPath === undefined) {
    try {
      fs.accessSync(program);
    } catch (cause) {
      // Left packed in an asar archive, or left behind by a bundler that moved this module away.
      const why = `${program} is missing (unpack it from the asar archive, or name it with helperPath)`;
      throw new HelperError(`cannot run the helper: ${why}`, { code: 'ERR_SPAWN_FAILED', cause });
    }
  }
  const words = [...(launcher ?? []), program, ...args];
  const child = spawn(words[0], words.slice(1), { stdio: 'pipe', windowsHide: true });
  return [child, commandText(words)];
}

const running = (child) => child.exitCode === null && child.signalCode === null;

// Stops a running helper: asked to end, then killed if it has not within `grace` (none: at once).
function kill(child, grace = killGrace) {
  if (!running(child)) return false;
  child.kill(grace ? 'SIGTERM' : 'SIGKILL');
  if (grace) setTimeout(() => running(child) && child.kill('SIGKILL'), grace).unref();
  return true;
}

// Runs the helper to its end, handing each event to `onEvent`, and settles with its exit.
function run(child, command, onEvent) {
  let stderr = '';
  let spawnError;
  const exited = new Promise((resolve) => {
    child.on('error', (error) => {
      if (child.pid === undefined) spawnError ??= error;
    });
    child.on('close', (exitCode, signalCode) => {
      const code = spawnError ? null : exitCode;
      resolve({ exitCode: code, signalCode, spawnError, stderr: stderrOf(stderr), command });
    });
  });
  // Out of handles, the child gets no pipes at all; its 'error' and 'close' still come.
  if (!child.stdout) return exited;
  // A helper that has ended closes its input; writing "detach" to it then must not throw. A read
  // that fails ends its output as its end does.
  for (const stream of [child.stdin, child.stdout, child.stderr]) stream.on('error', () => {});
  child.stderr.setEncoding('utf8');
  child.stderr.on('data', (text) => (stderr = (stderr + text).slice(-4096)));
  readLines(child.stdout, (line) => onEvent(parseLine(line)), onEvent);
  return exited;
}

// Settles as `ending` does, unless the signal aborts or `timeout` ms pass first: then `stop` is
// called and the promise rejects, with ERR_TIMED_OUT saying `late`.
function bounded(ending, { signal, timeout = Infinity }, stop, late) {
  if (!signal && timeout === Infinity) return ending;
  return new Promise((resolve, reject) => {
    const give = (error) => {
      stop();
      reject(error);
    };
    const onAbort = () => give(abortError(signal));
    const timedOut = () => give(new HelperError(late, { code: 'ERR_TIMED_OUT' }));
    const timer = timeout !== Infinity && setTimeout(timedOut, timeout);
    signal?.addEventListener('abort', onAbort, { once: true });
    ending.then(resolve, reject).finally(() => {
      clearTimeout(timer);
      signal?.removeEventListener('abort', onAbort);
    });
  });
}

async function oneShot(command, expected, options, ...hwnd) {
  const { options: checked, args } = prepare(command, options, ...hwnd);
  const { signal, timeout } = checked;
  if (signal?.aborted) throw abortError(signal);
  const [child, line] = start(args, checked);
  let answer;
  let lastError;
  const ending = run(child, line, (event) => {
    if (event instanceof HelperError) lastError = event;
    else if (event.event === expected) answer = event;
  });
  const late = `the helper's ${command} did not end within ${timeout} ms`;
  const exit = await bounded(ending, checked, () => kill(child), late);
  if (exit.exitCode === 0 && answer) return answer;
  throw failureOf(exit, lastError, 'without its answer');
}

const mouseTypes = { mousemove: 'move', mousedown: 'down', mouseup: 'up', mousewheel: 'wheel' };
// The windows that attachments of this process hold, one attachment each: the attachment, its end,
// and whether it is letting the window go, which a new attach() of it waits for.
const heldWindows = new Map();

// One attached window: the helper's events as Node events, until `detach()` or the helper's end.
class Attachment extends EventEmitter {
  #hwnd;
  #args;
  #options;
  #child;
  #killed = false;
  #held;
  #queue = [];
  // attach()'s settling, until the first helper has attached, ended, or been given up.
  #starting;
  // Handed to attach()'s caller; events are emitted from the turn after that on.
  #shown = false;
  #emitting = false;
  // The window may be in the layer: an "attached" with no "detached" after it, or a helper that
  // ended in a way that may have left it there.
  #inLayer = false;
  #windowGone;
  #stopping = false;
  #timedOut = false;
  #restarts = [];
  #restartTimer;
  #giveBack;
  // Why the attachment ends unasked, once it does.
  #reason;
  #deadline = Infinity;
  #deadlineTimer;
  #lastError;
  #exitCode = null;
  #signalCode = null;
  #ended = false;
  #ending;
  #finished;
  #attached = {};

  constructor(hwnd, args, options, starting, startLimit) {
    super();
    this.#hwnd = hwnd;
    this.#args = args;
    this.#options = options;
    this.#ending = new Promise((resolve) => (this.#finished = resolve));
    this.#spawn();
    this.#held = { attachment: this, ending: this.#ending, leaving: false };
    heldWindows.set(hwnd, this.#held);
    const first = new Promise((resolve, reject) => (this.#starting = { resolve, reject }));
    const late = `the helper did not attach within ${options.timeout} ms`;
    const giveUp = () => {
      this.#starting = undefined;
      this.#stop(detachTimeout, killGrace, killGrace);
    };
    bounded(first, { signal: options.signal, timeout: startLimit }, giveUp, late).then(() => {
      starting.resolve(this);
      options.signal?.addEventListener('abort', this.#onAbort, { once: true });
    }, starting.reject);
  }

  get pid() { return this.#child.pid; }
  get hwnd() { return this.#attached.hwnd; }
  get workerw() { return this.#attached.workerw; }
  get mode() { return this.#attached.mode; }
  get exitCode() { return this.#exitCode; }
  get signalCode() { return this.#signalCode; }
  get ended() { return this.#ended; }

  #onAbort = () => this.detach();

  #spawn() {
    const [child, command] = start(this.#args, this.#options);
    [this.#child, this.#killed, this.#lastError] = [child, false, undefined];
    [this.#exitCode, this.#signalCode] = [null, null];
    run(child, command, (event) => this.#push(event)).then((exit) => this.#push({ exit }));
  }

  #push(item) {
    if (item.exit && (this.#ended || !this.#shown)) {
      this.#helperEnded(item.exit);
      return;
    }
    if (this.#ended) return;
    if (!this.#note(item)) return;
    this.#queue.push(item);
    this.#drain();
  }

  // What a line tells about the window, taken in as it comes; false for the first "attached",
  // which settles attach() and is not emitted (the attachment holds its values).
  #note(item) {
    if (item instanceof HelperError) {
      this.#lastError = item;
      const gone = item.code === 'ERR_WINDOW_DESTROYED' || item.code === 'ERR_WINDOW_NOT_FOUND';
      if (gone) this.#windowGone ??= item;
    } else if (item.event === 'detached') {
      this.#inLayer = false;
    } else if (item.event === 'attached') {
      const { event, ...attached } = item;
      [this.#attached, this.#inLayer] = [attached, true];
      if (!this.#starting) return true;
      this.#starting.resolve();
      [this.#starting, this.#shown] = [undefined, true];
      // Lines that came before or with it wait until whoever awaited attach() has had the
      // attachment, and could listen.
      setImmediate(() => {
        this.#emitting = true;
        this.#drain();
      });
      return false;
    }
    return true;
  }

  #drain() {
    while (this.#emitting && this.#queue.length && !this.#ended) this.#deliver(this.#queue.shift());
  }

  #deliver(item) {
    if (item.exit) {
      this.#helperEnded(item.exit);
    } else if (item.restarted) {
      this.emit('restart', item.restarted);
    } else if (item instanceof HelperError) {
      if (item.code === 'ERR_WINDOW_DESTROYED') this.#emitError(item);
      else this.emit('warning', item);
    } else {
      const { event: name, ...rest } = item;
      if (mouseTypes[name]) this.emit('mouse', { type: mouseTypes[name], ...rest });
      else this.emit(name, rest);
    }
  }

  #helperEnded(exit) {
    [this.#exitCode, this.#signalCode] = [exit.exitCode, exit.signalCode];
    // The helper's own ends (done, failed with an error line, command line rejected, no reader)
    // leave the window where its lines say; one killed or crashed may have moved it unsaid.
    const orderly = !this.#killed && exit.signalCode === null && [0, 1, 2, 3].includes(exit.exitCode);
    if (!orderly && !exit.spawnError) this.#inLayer = true;
    if (this.#ended) return;
    if (!this.#shown) {
      this.#starting?.reject(failureOf(exit, this.#lastError, 'before attaching'));
      this.#starting = undefined;
      this.#windUp();
      return;
    }
    if (this.#stopping) {
      this.#windUp();
      return;
    }
    if (exit.spawnError) {
      const message = `cannot start a new helper: ${exit.spawnError.message}`;
      this.#windUp(endError(exit, 'ERR_SPAWN_FAILED', message, exit.spawnError));
      return;
    }
    const said = reasonOf(exit);
    const message = `${endText(exit)} while attached${said ? `: ${said}` : ''}`;
    const ended = endError(exit, 'ERR_HELPER_EXITED', message);
    const delay = this.#windowGone ? undefined : this.#restartDelay();
    if (delay === undefined) {
      this.#windUp(ended);
      return;
    }
    this.#restartTimer = setTimeout(() => {
      this.#restartTimer = undefined;
      try {
        this.#spawn();
      } catch (failure) {
        this.#windUp(failure);
        return;
      }
      this.#child.once('spawn', () => this.#push({ restarted: ended }));
    }, delay);
  }

  // How long to wait before the next restart, or undefined when none is allowed.
  #restartDelay() {
    const { restart } = this.#options;
    const perMinute = restart === true ? 3 : restart || 0;
    const now = performance.now();
    this.#restarts = this.#restarts.filter((at) => now - at < 60000);
    if (this.#restarts.length >= perMinute) return undefined;
    this.#restarts.push(now);
    return restartDelay * 2 ** (this.#restarts.length - 1);
  }

  // Gives the window back if it may be in the layer, then ends the attachment; `reason` says why
  // it ended unasked.
  async #windUp(reason) {
    this.#held.leaving = true;
    this.#reason = reason;
    let failure;
    if (this.#inLayer && !this.#windowGone) {
      if (!this.#stopping) this.#limitTo(detachTimeout);
      this.#giveBack = new AbortController();
      const { helperPath, launcher } = this.#options;
      try {
        await detach(this.#hwnd, { helperPath, launcher, signal: this.#giveBack.signal });
        this.#inLayer = false;
      } catch (error) {
        failure = error;
      }
    }
    this.#finish(reason, failure);
  }

  // Ends the attachment, given back or given up, at the latest `ms` from now.
  #limitTo(ms) {
    const at = performance.now() + ms;
    if (ms === Infinity || at >= this.#deadline) return;
    this.#deadline = at;
    clearTimeout(this.#deadlineTimer);
    this.#deadlineTimer = setTimeout(() => {
      this.#timedOut = kill(this.#child, 0) || this.#timedOut;
      this.#giveBack?.abort();
      const late = new HelperError(`detach did not end within ${ms} ms`, { code: 'ERR_TIMED_OUT' });
      this.#finish(this.#reason, late);
    }, ms);
  }

  #finish(reason, failure) {
    if (this.#ended) return;
    this.#ended = true;
    clearTimeout(this.#deadlineTimer);
    clearTimeout(this.#restartTimer);
    this.#queue = [];
    if (heldWindows.get(this.#hwnd) === this.#held) heldWindows.delete(this.#hwnd);
    this.#options.signal?.removeEventListener('abort', this.#onAbort);
    const givenBack = !this.#inLayer && !this.#windowGone;
    const fate = this.#windowGone
      ? 'the window is gone'
      : givenBack
        ? 'the window was given back; call attach() again'
        : `the window was not given back (${failure.message}); it may still be in the desktop layer`;
    let error;
    if (reason) {
      error = endError(reason, reason.code, `${reason.message}; ${fate}`, reason.cause);
      this.#emitError(error);
    } else if (!givenBack) {
      error = this.#windowGone ?? endError(failure, failure.code, fate, failure);
    }
    const [exitCode, signalCode] = [this.#exitCode, this.#signalCode];
    // `code` and `signal` are the former names, kept until the next minor version.
    const former = { code: { value: exitCode }, signal: { value: signalCode } };
    this.emit('exit', Object.defineProperties({ exitCode, signalCode }, former));
    const end = { exitCode, signalCode, timedOut: this.#timedOut, givenBack };
    this.#finished(error ? { ...end, error } : end);
  }

  // An 'error' nobody listens to is not thrown into the application: the end carries it too.
  #emitError(error) {
    if (this.listenerCount('error') > 0) this.emit('error', error);
  }

  // Tells the helper to give the window back and end; kills it `killAt` ms from now if it runs on
  // (SIGTERM, then SIGKILL after `grace`), and ends the attachment at the latest after `limit`.
  #stop(limit, killAt, grace) {
    this.#stopping = this.#held.leaving = true;
    const child = this.#child;
    if (running(child) && child.stdin?.writable) child.stdin.end('detach\n');
    if (this.#restartTimer) {
      clearTimeout(this.#restartTimer);
      this.#restartTimer = undefined;
      this.#windUp();
    }
    this.#limitTo(limit);
    if (killAt === Infinity) return;
    const timer = setTimeout(() => {
      if (this.#child !== child || !running(child)) return;
      this.#killed = this.#timedOut = true;
      kill(child, grace);
    }, killAt);
    this.#ending.finally(() => clearTimeout(timer));
  }

  // Asks the helper to give the window back; resolves with the end once the window is given back
  // or given up, within `timeout`: a helper still running after half of it is killed, and the
  // window given back by a one-shot detach in the rest.
  async detach(options) {
    const { timeout = detachTimeout, timeoutMs, signal } = checkOptions('leave', options);
    const limit = timeoutMs ?? timeout;
    if (this.#ended) return this.#ending;
    if (signal?.aborted) throw abortError(signal);
    const grace = Math.min(killGrace, limit / 8);
    this.#stop(limit, limit / 2, grace);
    // Aborted, the helper is killed at once; the give-back goes on within the time limit.
    const killNow = () => {
      this.#killed = true;
      kill(this.#child, grace);
    };
    return bounded(this.#ending, { signal }, killNow);
  }

  // `await using` detaches the window with detach()'s own time limit.
  async [Symbol.asyncDispose]() {
    await this.detach();
  }

  // The values of one event, as they come, until the attachment ends.
  events(name) {
    const queue = [];
    let wake;
    let done = this.#ended;
    const onEvent = (value) => {
      queue.push(value);
      wake?.();
    };
    const stop = () => this.off(name, onEvent).off('exit', onExit);
    const onExit = () => {
      done = true;
      stop();
      wake?.();
    };
    if (!done) this.on(name, onEvent).on('exit', onExit);
    return (async function* values() {
      try {
        for (;;) {
          while (queue.length) yield queue.shift();
          if (done) return;
          await new Promise((resolve) => (wake = resolve));
        }
      } finally {
        stop();
      }
    })();
  }

  [util.inspect.custom](depth, options, show) {
    const { pid, hwnd, workerw, mode, ended, exitCode, signalCode } = this;
    return `Attachment ${show({ pid, hwnd, workerw, mode, ended, exitCode, signalCode }, options)}`;
  }
}

async function attach(hwnd, options) {
  const { options: checked, args } = prepare('attach', options, hwnd);
  const { signal, timeout = Infinity } = checked;
  const startedAt = performance.now();
  const left = () => Math.max(0, timeout - (performance.now() - startedAt));
  // A window that another attachment is letting go of is attached once it has.
  for (let held; (held = heldWindows.get(checked.hwnd)); ) {
    if (signal?.aborted) throw abortError(signal);
    if (!held.leaving) {
      const message = `window ${checked.hwnd} is already attached by the helper ${held.attachment.pid}`;
      throw new HelperError(message, { code: 'ERR_ALREADY_ATTACHED' });
    }
    const { pid } = held.attachment;
    const late = `window ${checked.hwnd} was not given back by the helper ${pid} within ${timeout} ms`;
    await bounded(held.ending, { signal, timeout: left() }, () => {}, late);
  }
  if (signal?.aborted) throw abortError(signal);
  return new Promise((resolve, reject) => {
    new Attachment(checked.hwnd, args, checked, { resolve, reject }, left());
  });
}

async function move(hwnd, options) {
  return oneShot('move', 'moved', options, hwnd);
}

async function detach(hwnd, options) {
  return oneShot('detach', 'detached', options, hwnd);
}

async function refresh(options) {
  return oneShot('refresh', 'refreshed', options);
}

async function inspect(options) {
  const { event, ...report } = await oneShot('inspect', 'inspected', options);
  return report;
}

// Plain names only, so that `import { attach } from` finds them too.
module.exports = {
  attach,
  move,
  detach,
  refresh,
  inspect,
  handleText,
  defaultHelperPath,
  HelperError,
  Attachment,
};
