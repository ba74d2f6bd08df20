'use strict';
// What the helper says, in the client's terms: its output read line by line, each line checked and
// made an event or a coded HelperError, and its end (exit code or signal, standard error) put into
// the error that a failed call rejects with.

class HelperError extends Error {
  constructor(message, options = {}) {
    const { code = 'ERR_HELPER_ERROR', exitCode = null, cause } = options;
    const { signalCode = options.signal ?? null } = options;
    super(message, cause === undefined ? undefined : { cause });
    this.name = code === 'ABORT_ERR' ? 'AbortError' : 'HelperError';
    this.code = code;
    this.exitCode = exitCode;
    this.signalCode = signalCode;
    for (const name of ['kind', 'line', 'stderr', 'command']) {
      if (options[name] !== undefined) this[name] = options[name];
    }
  }

  // The former name of `signalCode`, until the next minor version.
  get signal() {
    return this.signalCode;
  }
}

const abortError = (signal) =>
  new HelperError('The operation was aborted', { code: 'ABORT_ERR', cause: signal.reason });

// The helper's name for a failure, and the code it has here. An error without a kind, or with one
// that a newer helper added, is ERR_HELPER_ERROR.
const codeOfKind = {
  'window-not-found': 'ERR_WINDOW_NOT_FOUND',
  'window-destroyed': 'ERR_WINDOW_DESTROYED',
  'shell-not-found': 'ERR_SHELL_NOT_FOUND',
  'layer-not-found': 'ERR_LAYER_NOT_FOUND',
  'attach-failed': 'ERR_ATTACH_FAILED',
  'detach-failed': 'ERR_DETACH_FAILED',
  'fit-failed': 'ERR_FIT_FAILED',
  'reattach-failed': 'ERR_REATTACH_FAILED',
  'wallpaper-refresh-failed': 'ERR_WALLPAPER_REFRESH_FAILED',
  'start-failed': 'ERR_START_FAILED',
};

// No event line comes near this; past it the rest of the line is skipped unread.
const maxLineLength = 64 * 1024;
// As much of a line that is no event as a warning shows.
const excerptLength = 300;

const excerpt = (text) => (text.length > excerptLength ? `${text.slice(0, excerptLength)}…` : text);

function protocolError(why, text) {
  const line = excerpt(text);
  return new HelperError(`not a helper event (${why}): ${line}`, { code: 'ERR_PROTOCOL', line });
}

// Feeds `onLine` each complete line of a stream, and `onBad` one ERR_PROTOCOL error for a line too
// long to be an event (whose rest is then skipped) or cut off by the end of the stream. Lines are
// split on the byte 10, which is never part of a longer UTF-8 character.
function readLines(stream, onLine, onBad) {
  let parts = [];
  let size = 0;
  let skipping = false;
  stream.on('data', (chunk) => {
    let start = 0;
    for (let end; (end = chunk.indexOf(10, start)) !== -1; start = end + 1) {
      if (!skipping) onLine(Buffer.concat([...parts, chunk.subarray(start, end)]).toString());
      [parts, size, skipping] = [[], 0, false];
    }
    if (skipping || start === chunk.length) return;
    parts.push(chunk.subarray(start));
    size += chunk.length - start;
    if (size <= maxLineLength) return;
    onBad(protocolError(`longer than ${maxLineLength} bytes`, Buffer.concat(parts).toString()));
    [parts, size, skipping] = [[], 0, true];
  });
  stream.on('end', () => {
    if (size) onBad(protocolError('cut off by the end of the output', Buffer.concat(parts).toString()));
  });
}

const handle = 'handle';
const integer = 'integer';
// What each event carries, checked before the line becomes an event. Handles are decimal text,
// since a 64-bit handle does not fit a JavaScript number.
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
  unresponsive: { hwnd: handle, window: ['shell', 'host'] },
  responsive: { hwnd: handle, window: ['shell', 'host'] },
  power: { source: ['ac', 'battery', 'ups'], saver: ['off', 'on', 'high'] },
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

// The handle that the helper wrote, in its shortest form, or undefined for a value that is none.
function handleText(value) {
  if (typeof value !== 'string' || !/^-?[0-9]{1,20}$/.test(value)) return undefined;
  const number = BigInt(value);
  return BigInt.asIntN(64, number) === number ? number.toString() : undefined;
}

// The inspection's handles as exact text, or a complaint about the first that is none.
function withHandleTexts(value) {
  if (value === null || typeof value !== 'object') return value;
  for (const [name, member] of Object.entries(value)) {
    value[name] = handleNames.includes(name) ? handleText(member) : withHandleTexts(member);
    if (value[name] === undefined) throw new Error(`${name} is not a handle`);
  }
  return value;
}

const fits = (type, value) =>
  Array.isArray(type)
    ? type.includes(value)
    : type === handle
      ? value !== undefined
      : type === integer
        ? Number.isInteger(value)
        : typeof value === type;

// The event of one line; a HelperError for an error event, and one of code ERR_PROTOCOL for a
// line that is no event.
function parseLine(line) {
  let object;
  try {
    object = JSON.parse(line.replace(handleNumbers, '$1"$2"'));
  } catch {
    return protocolError('not JSON', line);
  }
  if (object === null || typeof object !== 'object' || Array.isArray(object)) {
    return protocolError('not an object', line);
  }
  if (object.event === 'inspected') {
    try {
      return withHandleTexts(object);
    } catch (error) {
      return protocolError(error.message, line);
    }
  }
  const shape = Object.hasOwn(fields, object.event) ? fields[object.event] : undefined;
  if (!shape) return protocolError('unknown event', line);
  const event = { event: object.event };
  for (const [name, type] of Object.entries(shape)) {
    const value = type === handle ? handleText(object[name]) : object[name];
    if (!fits(type, value)) return protocolError(`bad ${name}`, line);
    event[name] = value;
  }
  if (object.event !== 'error') return event;
  const { kind } = object;
  if (kind !== undefined && typeof kind !== 'string') return protocolError('bad kind', line);
  const code = Object.hasOwn(codeOfKind, kind) ? codeOfKind[kind] : 'ERR_HELPER_ERROR';
  return new HelperError(event.message, { code, kind });
}

// Wine's own diagnostics ("0024:fixme:...", "wine: ...") say nothing about the helper.
const wineLine = /^(?:[0-9a-f]{4}:(?:err|warn|fixme|trace):|wine: )/;

// The last lines that the helper wrote to standard error, without Wine's.
function stderrOf(text) {
  const lines = text.split(/\r?\n/).filter((line) => line.trim() && !wineLine.test(line));
  return lines.slice(-10).join('\n');
}

const endText = ({ exitCode, signalCode }) =>
  signalCode ? `the helper was ended by ${signalCode}` : `the helper exited with code ${exitCode}`;

// What the helper said about a rejected command line or a failed start, as its last line.
function reasonOf({ stderr }) {
  const last = stderr.slice(stderr.lastIndexOf('\n') + 1).trim();
  return last.startsWith('error: ') ? last.slice('error: '.length) : last;
}

// An error of a helper's run: its end, and what it wrote to standard error, on the command line.
function endError(exit, code, message, cause) {
  const { exitCode, signalCode, stderr, command } = exit;
  return new HelperError(message, { code, exitCode, signalCode, stderr, command, cause });
}

// Why a helper ended without its answer (`when`: "before attaching", ...): the last error it
// wrote, or else how it ended.
function failureOf(exit, lastError, when) {
  if (exit.spawnError) {
    const message = `cannot run the helper: ${exit.spawnError.message}`;
    return endError(exit, 'ERR_SPAWN_FAILED', message, exit.spawnError);
  }
  const reason = reasonOf(exit);
  if (lastError) {
    const error = endError(exit, lastError.code, `${lastError.message} (${endText(exit)})`);
    const { kind, line } = lastError;
    return Object.assign(error, kind && { kind }, line && { line });
  }
  if (exit.exitCode === 2) {
    const message = `the helper rejected its command line (exit code 2): ${reason}`;
    return endError(exit, 'ERR_COMMAND_LINE_REJECTED', message);
  }
  return endError(exit, 'ERR_HELPER_EXITED', `${endText(exit)} ${when}${reason ? `: ${reason}` : ''}`);
}

module.exports = {
  HelperError,
  abortError,
  readLines,
  parseLine,
  stderrOf,
  endText,
  reasonOf,
  endError,
  failureOf,
};
