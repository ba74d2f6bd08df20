'use strict';
// Runs orvel-wallpaper-helper.exe for a Node.js main process (Electron and the like): builds its
// command line, reads its event lines as typed events, and keeps its standard input open for as
// long as the window stays attached.
const { spawn } = require('node:child_process');
const { EventEmitter } = require('node:events');
const path = require('node:path');
const { StringDecoder } = require('node:string_decoder');

// Inside a packed Electron app the .exe cannot run from the archive; builders unpack it beside it.
const defaultHelperPath = path
  .join(__dirname, 'orvel-wallpaper-helper.exe')
  .replace(`app.asar${path.sep}`, `app.asar.unpacked${path.sep}`);

// No event line comes near this; past it the helper's output is not ours to keep.
const maxLineLength = 64 * 1024;
const int64Min = -(2n ** 63n);
const int64Max = 2n ** 63n - 1n;

class HelperError extends Error {
  constructor(message, { kind, exitCode = null, line } = {}) {
    super(message);
    this.name = 'HelperError';
    this.kind = kind;
    this.exitCode = exitCode;
    if (line !== undefined) this.line = line;
  }
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
    throw new TypeError(`not a window handle: ${String(hwnd)}`);
  }
  return value.toString();
}

// What each event carries, checked before the line becomes an event. Handles stay decimal text,
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

// The event of one line, or a HelperError of kind "protocol" for a line that is none.
function parseLine(line) {
  const invalid = (why) =>
    new HelperError(`not a helper event (${why}): ${line}`, { kind: 'protocol', line });
  let object;
  try {
    object = JSON.parse(line);
  } catch {
    return invalid('not JSON');
  }
  if (object === null || typeof object !== 'object' || Array.isArray(object)) {
    return invalid('not an object');
  }
  const shape = Object.hasOwn(fields, object.event) ? fields[object.event] : undefined;
  if (!shape) return invalid('unknown event');
  const event = { event: object.event };
  for (const [name, type] of Object.entries(shape)) {
    const value = object[name];
    if (type === handle) {
      // The digits as written, which JSON.parse may have rounded.
      const digits = new RegExp(`[{,]"${name}":(-?[0-9]{1,20})[,}]`).exec(line);
      if (!Number.isInteger(value) || !digits) return invalid(`${name} is not a handle`);
      event[name] = digits[1];
      continue;
    }
    const fits = Array.isArray(type)
      ? type.includes(value)
      : type === integer
        ? Number.isInteger(value)
        : typeof value === type;
    if (!fits) return invalid(`bad ${name}`);
    event[name] = value;
  }
  if (object.event === 'error' && object.kind !== undefined) {
    if (typeof object.kind !== 'string') return invalid('bad kind');
    event.kind = object.kind;
  }
  return event;
}

function commandLine(command, hwnd, options) {
  const args = [command];
  if (command !== 'refresh') args.push('--hwnd', handleText(hwnd));
  const flags = {
    forwardMouse: '--forward-mouse',
    zguard: '--zguard',
    reportVisibility: '--report-visibility',
    followDisplay: '--follow-display',
  };
  for (const [option, flag] of Object.entries(flags)) if (options[option]) args.push(flag);
  return args;
}

// Starts the helper with pipes for its three streams; Node creates them for this child alone, so
// no other program started later holds the helper's standard input open.
function start(args, options) {
  const launcher = options.launcher ?? [];
  const program = [...launcher, options.helperPath ?? defaultHelperPath];
  return spawn(program[0], [...program.slice(1), ...args], { stdio: 'pipe', windowsHide: true });
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

// What the helper said on standard error about a rejected command line, or why it could not run.
function stderrReason(text) {
  const lines = text.trim().split('\n');
  const last = lines[lines.length - 1].trim();
  return last.startsWith('error: ') ? last.slice('error: '.length) : last;
}

// Runs the helper to its end, handing each event to `onEvent`, and settles with its exit.
function run(child, onEvent) {
  let stderr = '';
  let failure;
  const exited = new Promise((resolve) => {
    child.on('error', (error) => (failure = `cannot run the helper: ${error.message}`));
    child.on('close', (code, signal) =>
      resolve({ code: failure ? null : code, signal, reason: failure ?? stderrReason(stderr) }),
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
    new HelperError(`the helper's output ended inside a line: ${cut}`, { kind: 'protocol', line: cut });
  readLines(
    child.stdout,
    (line) => onEvent(parseLine(line)),
    (cut) => onEvent(cutOff(cut)),
  );
  return exited;
}

function failureOf(lastError, exit) {
  if (lastError) {
    lastError.exitCode = exit.code;
    return lastError;
  }
  const why =
    exit.reason ||
    (exit.signal ? `the helper was ended by ${exit.signal}` : `the helper exited with code ${exit.code}`);
  return new HelperError(why, { exitCode: exit.code });
}

const toError = (event) =>
  event instanceof HelperError ? event : new HelperError(event.message, { kind: event.kind });

async function oneShot(command, hwnd, expected, options = {}) {
  const child = start(commandLine(command, hwnd, {}), options);
  let done;
  let lastError;
  const exit = await run(child, (event) => {
    if (event.event === expected) done = event;
    else if (event instanceof HelperError || event.event === 'error') lastError = toError(event);
  });
  if (exit.code === 0 && done) return done;
  throw failureOf(lastError, exit);
}

const mouseTypes = { mousemove: 'move', mousedown: 'down', mouseup: 'up', mousewheel: 'wheel' };

// One attached window: the helper's events as Node events, until `detach()` ends it.
class Attachment extends EventEmitter {
  constructor(child, onAttached) {
    super();
    // Errors are events here; with no listener they must not be thrown into the application.
    this.on('error', () => {});
    this.pid = child.pid;
    this.exitCode = null;
    this._child = child;
    this._queue = [];
    this._held = false;
    this._onAttached = onAttached;
    this._lastError = undefined;
    this._exited = run(child, (event) => {
      this._queue.push(event);
      this._drain();
    }).then(
      (exit) =>
        new Promise((resolve) => {
          this._queue.push({ exit, resolve });
          this._drain();
        }),
    );
  }

  _drain() {
    while (this._queue.length && !this._held) this._deliver(this._queue.shift());
  }

  _deliver(event) {
    if (event.exit) {
      this.exitCode = event.exit.code;
      this._onAttached?.(failureOf(this._lastError, event.exit));
      this.emit('exit', { code: event.exit.code, signal: event.exit.signal });
      event.resolve(event.exit.code);
    } else if (event instanceof HelperError || event.event === 'error') {
      this._lastError = toError(event);
      this.emit('error', this._lastError);
    } else if (mouseTypes[event.event]) {
      const { event: name, ...place } = event;
      this.emit('mouse', { type: mouseTypes[name], ...place });
    } else {
      if (event.event === 'attached') {
        Object.assign(this, { hwnd: event.hwnd, workerw: event.workerw, mode: event.mode });
        if (this._onAttached) {
          this._onAttached();
          this._onAttached = undefined;
          // Lines that came with the first "attached" wait until whoever awaited attach() has
          // had the attachment, and could listen.
          this._held = true;
          setImmediate(() => {
            this._held = false;
            this._drain();
          });
        }
      }
      const { event: name, ...rest } = event;
      this.emit(name, rest);
    }
  }

  // Asks the helper to give the window back; resolves with its exit code once it has ended. A
  // helper that has not ended within `timeoutMs` is stopped.
  async detach({ timeoutMs = 10000 } = {}) {
    if (this._child.stdin?.writable) this._child.stdin.end('detach\n');
    const timer = setTimeout(() => this._child.kill(), timeoutMs);
    const code = await this._exited;
    clearTimeout(timer);
    return code;
  }
}

function attach(hwnd, options = {}) {
  return new Promise((resolve, reject) => {
    const args = commandLine('attach', hwnd, options);
    const attachment = new Attachment(start(args, options), (failure) =>
      failure ? reject(failure) : resolve(attachment),
    );
  });
}

function move(hwnd, options) {
  return oneShot('move', hwnd, 'moved', options);
}

function detach(hwnd, options) {
  return oneShot('detach', hwnd, 'detached', options);
}

function refresh(options) {
  return oneShot('refresh', undefined, 'refreshed', options);
}

// Plain names only, so that `import { attach } from` finds them too.
module.exports = { attach, move, detach, refresh, handleText, HelperError, Attachment };
