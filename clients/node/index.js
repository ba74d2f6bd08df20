'use strict';
// Runs orvel-wallpaper-helper.exe for a Node.js main process (Electron and the like): builds its
// command line, reads its event lines as typed events, keeps its standard input open for as long
// as the window stays attached, and gives the window back when the helper ends without doing so.
const { spawn } = require('node:child_process');
const { EventEmitter } = require('node:events');
const fs = require('node:fs');
const path = require('node:path');
const { StringDecoder } = require('node:string_decoder');
const util = require('node:util');

// Inside a packed Electron app the .exe cannot run from the archive; builders unpack it beside it.
const defaultHelperPath = path
  .join(__dirname, 'orvel-wallpaper-helper.exe')
  .replace(`app.asar${path.sep}`, `app.asar.unpacked${path.sep}`);

// No event line comes near this; past it the helper's output is not ours to keep.
const maxLineLength = 64 * 1024;
const int64Min = -(2n ** 63n);
const int64Max = 2n ** 63n - 1n;
// A helper told to stop that has not ended in this time is killed outright.
const killGrace = 1000;
const detachTimeout = 10000;
// The helper's fixed text for a handle that names no window.
const noWindowMessage = 'orvel window no longer exists';

class HelperError extends Error {
  constructor(message, options = {}) {
    const { code = 'ERR_HELPER_ERROR', exitCode = null, signal = null, cause, line, kind } = options;
    super(message, cause === undefined ? undefined : { cause });
    this.name = code === 'ABORT_ERR' ? 'AbortError' : 'HelperError';
    this.code = code;
    this.exitCode = exitCode;
    this.signal = signal;
    if (line !== undefined) this.line = line;
    if (kind !== undefined) this.kind = kind;
  }
}

const abortError = (signal) =>
  new HelperError('The operation was aborted', { code: 'ABORT_ERR', cause: signal.reason });

function argumentError(what, value) {
  const error = new TypeError(`${what}: ${String(value)}`);
  error.code = 'ERR_INVALID_ARG_VALUE';
  return error;
}

// A window handle as the helper takes it: the handle's bits read as a signed 64-bit number, in
// decimal. Electron gives the handle as the bytes of the pointer, in the machine's (little-endian)
// order.
function handleText(hwnd) {
  let value;
  if (hwnd instanceof Uint8Array) {
    const view = new DataView(hwnd.buffer, hwnd.byteOffset, hwnd.byteLength);
    if (hwnd.byteLength === 8) value = view.getBigInt64(0, true);
    else if (hwnd.byteLength === 4) value = BigInt(view.getInt32(0, true));
  } else if (typeof hwnd === 'number' && Number.isSafeInteger(hwnd)) {
    value = BigInt(hwnd);
  } else if (typeof hwnd === 'bigint') {
    value = hwnd;
  } else if (typeof hwnd === 'string' && /^-?[0-9]{1,20}$/.test(hwnd)) {
    value = BigInt(hwnd);
  }
  if (value === undefined || value < int64Min || value > int64Max) {
    throw argumentError('not a window handle', hwnd);
  }
  return value.toString();
}

// A time-out in milliseconds; 0 and none mean no limit.
function timeoutOf(value) {
  if (value === undefined || (Number.isFinite(value) && value >= 0)) return value || undefined;
  throw argumentError('not a time-out in milliseconds', value);
}

// The handle that the helper wrote, or undefined for a value that is none.
function exactHandle(value) {
  try {
    return typeof value === 'string' ? handleText(value) : undefined;
  } catch {
    return undefined;
  }
}

// What each event carries, checked before the line becomes an event. Handles are decimal text,
// since a 64-bit handle does not fit a JavaScript number.
const handle = 'handle';
const integer = 'integer';
const fields = {
  attached: { hwnd: handle, workerw: handle, mode: ['classic', 'raised'] },
  heartbeat: {},
  'explorer-restarted': {},
  'workerw-destroyed': { hwnd: handle },
  reasserted: { hwnd: handle },
  moved: { hwnd: handle },
  detached: { hwnd: handle },
  refreshed: {},
  visibility: { hwnd: handle, visible: 'boolean' },
  mousemove: { x: integer, y: integer },
  mousedown: { x: integer, y: integer },
  mouseup: { x: integer, y: integer },
  mousewheel: { x: integer, y: integer, deltaX: integer, deltaY: integer },
  error: { message: 'string' },
};
// The members that hold handles, in events and at any depth of `inspected`. Their digits are made
// text before JSON.parse could round them; a quote right after `{` or `,` is never inside a string.
const handleNames = ['hwnd', 'workerw', 'parent', 'layer'];
const handleNumbers = new RegExp(`([{,]"(?:${handleNames.join('|')})":)(-?[0-9]{1,20})(?=[,}])`, 'g');

// The inspection's handles as exact text, or a complaint about the first that is none.
function withHandleTexts(value) {
  if (value === null || typeof value !== 'object') return value;
  for (const [name, member] of Object.entries(value)) {
    value[name] = handleNames.includes(name) ? exactHandle(member) : withHandleTexts(member);
    if (value[name] === undefined) throw new Error(`${name} is not a handle`);
  }
  return value;
}

// The event of one line; a HelperError for an error event, and one of code ERR_PROTOCOL for a
// line that is no event.
function parseLine(line) {
  const invalid = (why) =>
    new HelperError(`not a helper event (${why}): ${line}`, { code: 'ERR_PROTOCOL', line });
  let object;
  try {
    object = JSON.parse(line.replace(handleNumbers, '$1"$2"'));
  } catch {
    return invalid('not JSON');
  }
  if (object === null || typeof object !== 'object' || Array.isArray(object)) {
    return invalid('not an object');
  }
  if (object.event === 'inspected') {
    try {
      return withHandleTexts(object);
    } catch (error) {
      return invalid(error.message);
    }
  }
  const shape = Object.hasOwn(fields, object.event) ? fields[object.event] : undefined;
  if (!shape) return invalid('unknown event');
  const event = { event: object.event };
  for (const [name, type] of Object.entries(shape)) {
    const value = type === handle ? exactHandle(object[name]) : object[name];
    const fits = Array.isArray(type)
      ? type.includes(value)
      : type === handle
        ? value !== undefined
        : type === integer
          ? Number.isInteger(value)
          : typeof value === type;
    if (!fits) return invalid(`bad ${name}`);
    event[name] = value;
  }
  if (object.event !== 'error') return event;
  if (object.kind !== undefined && typeof object.kind !== 'string') return invalid('bad kind');
  const code =
    object.kind === 'window-destroyed'
      ? 'ERR_WINDOW_DESTROYED'
      : event.message === noWindowMessage
        ? 'ERR_WINDOW_NOT_FOUND'
        : 'ERR_HELPER_ERROR';
  return new HelperError(event.message, { code, kind: object.kind });
}

const flagOf = {
  forwardMouse: '--forward-mouse',
  zguard: '--zguard',
  reportVisibility: '--report-visibility',
  followDisplay: '--follow-display',
  span: '--span',
};

function commandLine(command, hwnd, options, flags) {
  const args = [command];
  if (hwnd !== undefined) args.push('--hwnd', handleText(hwnd));
  for (const name of flags) if (options[name]) args.push(flagOf[name]);
  return args;
}

// Starts the helper with pipes for its three streams; Node creates them for this child alone, so
// no other program started later holds the helper's standard input open.
function start(args, options) {
  const { launcher, helperPath = defaultHelperPath } = options;
  if (!launcher && process.platform !== 'win32') {
    throw new HelperError(
      `the helper is a Windows program; on ${process.platform} name a launcher (launcher: ['wine64'])`,
      { code: 'ERR_UNSUPPORTED_PLATFORM' },
    );
  }
  if (options.helperPath === undefined) {
    try {
      fs.accessSync(helperPath);
    } catch (cause) {
      // Left packed in an asar archive, or left behind by a bundler that moved this module away.
      const why = `${helperPath} is missing (unpack it from the asar archive, or name it with helperPath)`;
      throw new HelperError(`cannot run the helper: ${why}`, { code: 'ERR_SPAWN_FAILED', cause });
    }
  }
  const program = [...(launcher ?? []), helperPath];
  return spawn(program[0], [...program.slice(1), ...args], { stdio: 'pipe', windowsHide: true });
}

const running = (child) => child.exitCode === null && child.signalCode === null;

// Stops a running helper: asked to end, then killed if it does not; false for one that had ended.
function kill(child) {
  if (!running(child)) return false;
  child.kill('SIGTERM');
  setTimeout(() => running(child) && child.kill('SIGKILL'), killGrace).unref();
  return true;
}

// Feeds `onLine` the complete lines of a stream, and `onEnd` what was cut off when it ended.
function readLines(stream, onLine, onEnd) {
  const decoder = new StringDecoder('utf8');
  let pending = '';
  const take = (text) => {
    pending += text;
    for (let end; (end = pending.indexOf('\n')) !== -1;) {
      onLine(pending.slice(0, end));
      pending = pending.slice(end + 1);
    }
    if (pending.length > maxLineLength) {
      onEnd(pending);
      pending = '';
    }
  };
  stream.on('data', (chunk) => take(decoder.write(chunk)));
  stream.on('end', () => {
    take(decoder.end());
    if (pending) onEnd(pending);
    pending = '';
  });
}

// What the helper said on standard error about a rejected command line or a failed start.
function stderrReason(text) {
  const lines = text.trim().split('\n');
  const last = lines[lines.length - 1].trim();
  return last.startsWith('error: ') ? last.slice('error: '.length) : last;
}

// Runs the helper to its end, handing each event to `onEvent`, and settles with its exit.
function run(child, onEvent) {
  let stderr = '';
  let spawnError;
  const exited = new Promise((resolve) => {
    child.on('error', (error) => {
      if (child.pid === undefined) spawnError ??= error;
    });
    child.on('close', (code, signal) =>
      resolve({ code: spawnError ? null : code, signal, spawnError, reason: stderrReason(stderr) }),
    );
  });
  // Out of handles, the child gets no pipes at all; its 'error' and 'close' still come.
  if (!child.stdout) return exited;
  // A helper that has ended closes its input; writing "detach" to it then must not throw. A read
  // that fails ends its output as its end does.
  for (const stream of [child.stdin, child.stdout, child.stderr]) stream.on('error', () => {});
  child.stderr.setEncoding('utf8');
  child.stderr.on('data', (text) => (stderr = (stderr + text).slice(-4096)));
  const cutOff = (cut) =>
    new HelperError(`the helper's output ended inside a line: ${cut}`, { code: 'ERR_PROTOCOL', line: cut });
  readLines(
    child.stdout,
    (line) => onEvent(parseLine(line)),
    (cut) => onEvent(cutOff(cut)),
  );
  return exited;
}

function endText({ code, signal, reason }) {
  return reason || (signal ? `the helper was ended by ${signal}` : `the helper exited with code ${code}`);
}

// Why a helper ended without its answer: the last error it wrote, or how it ended.
function failureOf(exit, lastError) {
  const { code, signal, spawnError } = exit;
  if (spawnError) {
    const message = `cannot run the helper: ${spawnError.message}`;
    return new HelperError(message, { code: 'ERR_SPAWN_FAILED', cause: spawnError });
  }
  if (lastError) return Object.assign(lastError, { exitCode: code, signal });
  const failure = code === 2 ? 'ERR_COMMAND_LINE_REJECTED' : 'ERR_HELPER_EXITED';
  return new HelperError(endText(exit), { code: failure, exitCode: code, signal });
}

// Settles as `ending` does, unless the signal aborts or the time runs out first: then `stop` is
// called and the promise rejects.
function bounded(ending, { signal, timeout }, what, stop) {
  const limit = timeoutOf(timeout);
  if (!signal && !limit) return ending;
  return new Promise((resolve, reject) => {
    const give = (error) => {
      stop();
      reject(error);
    };
    const onAbort = () => give(abortError(signal));
    const timedOut = () => new HelperError(`${what} within ${limit} ms`, { code: 'ERR_TIMED_OUT' });
    const timer = limit && setTimeout(() => give(timedOut()), limit);
    signal?.addEventListener('abort', onAbort, { once: true });
    ending.then(resolve, reject).finally(() => {
      clearTimeout(timer);
      signal?.removeEventListener('abort', onAbort);
    });
  });
}

async function oneShot(args, expected, options) {
  timeoutOf(options.timeout);
  if (options.signal?.aborted) throw abortError(options.signal);
  const child = start(args, options);
  let answer;
  let lastError;
  const ending = run(child, (event) => {
    if (event instanceof HelperError) lastError = event;
    else if (event.event === expected) answer = event;
  });
  const exit = await bounded(ending, options, `the helper's ${args[0]} did not end`, () => kill(child));
  if (exit.code === 0 && answer) return answer;
  throw failureOf(exit, lastError);
}

const mouseTypes = { mousemove: 'move', mousedown: 'down', mouseup: 'up', mousewheel: 'wheel' };
// Windows attached by this process, each to one attachment at a time.
const attachedWindows = new Map();

// One attached window: the helper's events as Node events, until `detach()` or the helper's end.
class Attachment extends EventEmitter {
  #hwnd;
  #args;
  #options;
  #child;
  #queue = [];
  #held = false;
  // attach()'s settling, until the first helper has attached or ended.
  #starting;
  // The window is in the layer: an "attached" with no "detached" after it.
  #inLayer = false;
  #windowGone = false;
  #stopping = false;
  #timedOut = false;
  #restarts = [];
  #lastError;
  #exitCode = null;
  #signalCode = null;
  #ended = false;
  #ending;
  #finished;
  #attached = {};

  constructor(hwnd, args, options, starting) {
    super();
    this.#hwnd = hwnd;
    this.#args = args;
    this.#options = options;
    this.#ending = new Promise((resolve) => (this.#finished = resolve));
    this.#spawn();
    attachedWindows.set(hwnd, this);
    const first = new Promise((resolve, reject) => (this.#starting = { resolve, reject }));
    bounded(first, options, 'the helper did not attach', () => {
      this.#starting = undefined;
      this.#stop(killGrace);
    }).then(() => {
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
    const child = start(this.#args, this.#options);
    this.#child = child;
    [this.#exitCode, this.#signalCode, this.#lastError] = [null, null, undefined];
    run(child, (event) => this.#push(event)).then((exit) => this.#push({ exit }));
  }

  #push(item) {
    this.#queue.push(item);
    this.#drain();
  }

  #drain() {
    while (this.#queue.length && !this.#held) this.#deliver(this.#queue.shift());
  }

  #deliver(event) {
    if (event.exit) {
      this.#helperEnded(event.exit);
    } else if (event instanceof HelperError) {
      this.#lastError = event;
      if (this.#starting) return;
      if (event.code !== 'ERR_WINDOW_DESTROYED') {
        this.emit('warning', event);
        return;
      }
      this.#windowGone = true;
      this.#emitError(event);
    } else if (mouseTypes[event.event]) {
      const { event: name, ...place } = event;
      this.emit('mouse', { type: mouseTypes[name], ...place });
    } else {
      const { event: name, ...rest } = event;
      if (name === 'attached') {
        this.#attached = rest;
        this.#inLayer = true;
        if (this.#starting) {
          this.#starting.resolve();
          this.#starting = undefined;
          // Lines that came with the first "attached" wait until whoever awaited attach() has had
          // the attachment, and could listen.
          this.#held = true;
          setImmediate(() => {
            this.#held = false;
            this.#drain();
          });
        }
      }
      if (name === 'detached') this.#inLayer = false;
      this.emit(name, rest);
    }
  }

  async #helperEnded(exit) {
    [this.#exitCode, this.#signalCode] = [exit.code, exit.signal];
    if (this.#starting) {
      this.#starting.reject(failureOf(exit, this.#lastError));
      this.#starting = undefined;
      this.#finish();
      return;
    }
    let error;
    if (!this.#stopping) {
      error = new HelperError(`while attached, ${endText(exit)}`, {
        code: 'ERR_HELPER_EXITED',
        exitCode: exit.code,
        signal: exit.signal,
        cause: exit.spawnError,
      });
      if (!this.#windowGone && this.#mayRestart()) {
        try {
          this.#spawn();
          this.emit('restart', error);
          return;
        } catch (failure) {
          error = failure;
        }
      }
    }
    // A helper that ended without giving the window back leaves it inside the layer.
    if (this.#inLayer && !this.#windowGone) {
      const { helperPath, launcher } = this.#options;
      await detach(this.#hwnd, { helperPath, launcher, timeout: detachTimeout }).then(
        () => (this.#inLayer = false),
        (failure) => this.emit('warning', failure),
      );
    }
    this.#finish(error);
  }

  #mayRestart() {
    const { restart } = this.#options;
    const perMinute = restart === true ? 3 : Number.isInteger(restart) ? restart : 0;
    const now = performance.now();
    this.#restarts = this.#restarts.filter((at) => now - at < 60000);
    if (this.#restarts.length >= perMinute) return false;
    this.#restarts.push(now);
    return true;
  }

  #finish(error) {
    this.#ended = true;
    if (attachedWindows.get(this.#hwnd) === this) attachedWindows.delete(this.#hwnd);
    this.#options.signal?.removeEventListener('abort', this.#onAbort);
    if (error) this.#emitError(error);
    this.emit('exit', { code: this.#exitCode, signal: this.#signalCode });
    const end = { exitCode: this.#exitCode, signalCode: this.#signalCode, timedOut: this.#timedOut };
    this.#finished(error ? { ...end, error } : end);
  }

  // An 'error' nobody listens to is not thrown into the application: the end carries it too.
  #emitError(error) {
    if (this.listenerCount('error') > 0) this.emit('error', error);
  }

  #stop(timeout) {
    if (!this.#stopping) {
      this.#stopping = true;
      if (this.#child.stdin?.writable) this.#child.stdin.end('detach\n');
    }
    if (!timeout) return;
    const timer = setTimeout(() => (this.#timedOut ||= kill(this.#child)), timeout);
    this.#ending.finally(() => clearTimeout(timer));
  }

  // Asks the helper to give the window back; resolves with its end once it has ended. A helper
  // still running after `timeout` is killed, and the window given back by a one-shot detach.
  detach({ timeout = detachTimeout, timeoutMs, signal } = {}) {
    if (this.#ended) return this.#ending;
    if (signal?.aborted) return Promise.reject(abortError(signal));
    this.#stop(timeoutOf(timeoutMs ?? timeout));
    return bounded(this.#ending, { signal }, 'detach', () => kill(this.#child));
  }

  [util.inspect.custom](depth, options, show) {
    const { pid, hwnd, workerw, mode, ended, exitCode, signalCode } = this;
    return `Attachment ${show({ pid, hwnd, workerw, mode, ended, exitCode, signalCode }, options)}`;
  }
}

const attachFlags = ['forwardMouse', 'zguard', 'reportVisibility', 'followDisplay', 'span'];

function attach(hwnd, options = {}) {
  return new Promise((resolve, reject) => {
    const text = handleText(hwnd);
    const args = commandLine('attach', text, options, attachFlags);
    if (options.trace !== undefined) {
      if (!options.trace || typeof options.trace !== 'string') {
        throw argumentError('not a file', options.trace);
      }
      args.push('--trace', options.trace);
    }
    timeoutOf(options.timeout);
    if (options.signal?.aborted) throw abortError(options.signal);
    const holder = attachedWindows.get(text);
    if (holder) {
      const message = `window ${text} is already attached by the helper ${holder.pid}`;
      throw new HelperError(message, { code: 'ERR_ALREADY_ATTACHED' });
    }
    new Attachment(text, args, options, { resolve, reject });
  });
}

async function move(hwnd, options = {}) {
  return oneShot(commandLine('move', hwnd, options, ['span']), 'moved', options);
}

async function detach(hwnd, options = {}) {
  return oneShot(commandLine('detach', hwnd, options, []), 'detached', options);
}

async function refresh(options = {}) {
  return oneShot(['refresh'], 'refreshed', options);
}

async function inspect(options = {}) {
  const args = commandLine('inspect', options.hwnd, options, []);
  if (options.spawn) args.push('--spawn');
  const { event, ...report } = await oneShot(args, 'inspected', options);
  return report;
}

// Plain names only, so that `import { attach } from` finds them too.
module.exports = { attach, move, detach, refresh, inspect, handleText, HelperError, Attachment };
