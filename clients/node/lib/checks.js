'use strict';
// The arguments of the client's calls, checked as Node checks those of its own calls: a TypeError
// with ERR_INVALID_ARG_TYPE or ERR_INVALID_ARG_VALUE, or a RangeError with ERR_OUT_OF_RANGE, in
// Node's words; and the helper's command line made of them.

// The longest delay that setTimeout takes; past it Node warns and waits 1 ms instead.
const maxDelay = 2 ** 31 - 1;
const int64Min = -(2n ** 63n);
const uint64Max = 2n ** 64n - 1n;
const handleHint =
  "BrowserWindow's getNativeWindowHandle(), or the handle as a number, a bigint or decimal text";

// A value as Node's messages name it, never with a Buffer's bytes or as "[object Object]".
function received(value) {
  if (value instanceof Uint8Array) return `a ${value.constructor.name} of ${value.length} bytes`;
  switch (typeof value) {
    case 'object':
      if (value === null) return 'null';
      if (!value.constructor?.name) return 'an object with no prototype';
      return `an instance of ${value.constructor.name}`;
    case 'undefined':
      return 'undefined';
    case 'function':
      return `function ${value.name}`;
    case 'string': {
      const text = value.length > 28 ? `${value.slice(0, 25)}...` : value;
      return `type string (${text.includes("'") ? JSON.stringify(text) : `'${text}'`})`;
    }
    case 'bigint':
      return `type bigint (${value}n)`;
    default:
      return `type ${typeof value} (${Object.is(value, -0) ? '-0' : String(value)})`;
  }
}

const subject = (name) => `The "${name}" ${name.includes('.') ? 'property' : 'argument'}`;

function invalidType(name, expected, value) {
  const error = new TypeError(`${subject(name)} must be ${expected}. Received ${received(value)}`);
  error.code = 'ERR_INVALID_ARG_TYPE';
  return error;
}

function invalidValue(name, value, reason) {
  const kind = name.includes('.') ? 'property' : 'argument';
  const error = new TypeError(`The ${kind} '${name}' ${reason}. Received ${received(value)}`);
  error.code = 'ERR_INVALID_ARG_VALUE';
  return error;
}

function outOfRange(name, range, value) {
  let shown = String(value);
  if (Number.isInteger(value) && Math.abs(value) > 2 ** 32) shown = shown.replace(/\B(?=(\d{3})+$)/g, '_');
  const error = new RangeError(
    `The value of "${name}" is out of range. It must be ${range}. Received ${shown}`,
  );
  error.code = 'ERR_OUT_OF_RANGE';
  return error;
}

// A window handle as the helper takes it: the handle's bits read as a signed 64-bit number, in
// decimal. Electron gives the handle as the bytes of the pointer, in the machine's (little-endian)
// order; a 32-bit handle is sign-extended, as Windows does, and an unsigned 64-bit value (what
// readBigUInt64LE() reads) stands for the same bits.
function toHandle(hwnd, name) {
  let value;
  if (hwnd instanceof Uint8Array) {
    const view = new DataView(hwnd.buffer, hwnd.byteOffset, hwnd.byteLength);
    if (hwnd.byteLength === 8) value = view.getBigInt64(0, true);
    else if (hwnd.byteLength === 4) value = BigInt(view.getInt32(0, true));
  } else if (typeof hwnd === 'number') {
    if (Number.isSafeInteger(hwnd)) value = BigInt(hwnd);
  } else if (typeof hwnd === 'bigint') {
    value = hwnd;
  } else if (typeof hwnd === 'string') {
    if (/^-?[0-9]{1,20}$/.test(hwnd)) value = BigInt(hwnd);
  } else {
    throw invalidType(name, `a window handle (${handleHint})`, hwnd);
  }
  if (value === undefined || value === 0n || value < int64Min || value > uint64Max) {
    throw invalidValue(name, hwnd, `is not a window handle (${handleHint})`);
  }
  return BigInt.asIntN(64, value).toString();
}

function boolean(value, name) {
  if (typeof value !== 'boolean') throw invalidType(name, 'of type boolean', value);
  return value;
}

function text(value, name) {
  if (typeof value !== 'string') throw invalidType(name, 'of type string', value);
  if (!value) throw invalidValue(name, value, 'must not be empty');
  return value;
}

function integer(value, name, max = maxDelay) {
  if (typeof value !== 'number') throw invalidType(name, 'of type number', value);
  if (!Number.isInteger(value) || value < 0 || value > max) {
    throw outOfRange(name, Number.isInteger(value) ? `>= 0 && <= ${max}` : 'an integer', value);
  }
  return value;
}

// A time limit in milliseconds; 0 and Infinity mean none.
function milliseconds(value, name) {
  if (typeof value !== 'number') throw invalidType(name, 'of type number', value);
  if (value === Infinity) return value;
  if (!(value >= 0 && value <= maxDelay)) throw outOfRange(name, `>= 0 && <= ${maxDelay} or Infinity`, value);
  return value || Infinity;
}

// A command and its arguments, as spawn() would take them apart.
function launcher(value, name) {
  if (!Array.isArray(value)) throw invalidType(name, 'an instance of Array', value);
  value.forEach((word, index) => text(word, `${name}[${index}]`));
  return value;
}

// As Node checks its own signals: anything with `aborted` will do.
function signal(value, name) {
  if (value === null || typeof value !== 'object' || !('aborted' in value)) {
    throw invalidType(name, 'an instance of AbortSignal', value);
  }
  return value;
}

function restart(value, name) {
  return typeof value === 'boolean' ? value : integer(value, name, 1000);
}

const checks = {
  helperPath: text,
  launcher,
  signal,
  timeout: milliseconds,
  timeoutMs: milliseconds,
  forwardMouse: boolean,
  zguard: boolean,
  reportVisibility: boolean,
  followDisplay: boolean,
  span: boolean,
  reportHangs: boolean,
  reportPower: boolean,
  waitShell: integer,
  trace: text,
  restart,
  hwnd: toHandle,
  spawn: boolean,
};

// The helper's flag or option for each of the client's options, in the order they are written.
const helperOptions = {
  forwardMouse: '--forward-mouse',
  zguard: '--zguard',
  reportVisibility: '--report-visibility',
  followDisplay: '--follow-display',
  span: '--span',
  reportHangs: '--report-hangs',
  reportPower: '--report-power',
  spawn: '--spawn',
  waitShell: '--wait-shell',
  trace: '--trace',
};

const runOptions = ['helperPath', 'launcher', 'signal', 'timeout'];
const optionsOf = {
  attach: [...runOptions, 'forwardMouse', 'zguard', 'reportVisibility', 'followDisplay', 'span',
    'reportHangs', 'reportPower', 'waitShell', 'trace', 'restart'],
  move: [...runOptions, 'span'],
  detach: runOptions,
  refresh: runOptions,
  inspect: [...runOptions, 'hwnd', 'spawn', 'waitShell'],
  // Those of Attachment.detach().
  leave: ['timeout', 'timeoutMs', 'signal'],
};

// The options that `call` takes, checked; no options, or null, are none.
function checkOptions(call, options) {
  if (options === undefined || options === null) return {};
  if (typeof options !== 'object') throw invalidType('options', 'of type object', options);
  const checked = {};
  for (const name of optionsOf[call]) {
    if (options[name] !== undefined) checked[name] = checks[name](options[name], `options.${name}`);
  }
  return checked;
}

// The checked options of a command, its window handle among them when it takes one, and the
// helper's command line for it.
function prepare(command, options, ...hwnd) {
  const handle = hwnd.length ? { hwnd: toHandle(hwnd[0], 'hwnd') } : {};
  const checked = { ...checkOptions(command, options), ...handle };
  const args = [command];
  if (checked.hwnd !== undefined) args.push('--hwnd', checked.hwnd);
  for (const [name, option] of Object.entries(helperOptions)) {
    const value = checked[name];
    if (value === true) args.push(option);
    else if (typeof value === 'number' || typeof value === 'string') args.push(option, `${value}`);
  }
  return { options: checked, args };
}

// The public form: a handle as the helper takes it.
function handleText(hwnd) {
  return toHandle(hwnd, 'hwnd');
}

module.exports = { handleText, checkOptions, prepare };
