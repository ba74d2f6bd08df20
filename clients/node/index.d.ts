// Types of the orvel-wallpaper-helper client, for Node.js 20.4 or later (with @types/node 20.11 or
// later, whose EventEmitter takes an event map).
/// <reference types="node" />
import { EventEmitter } from 'node:events';

/**
 * A window handle: what Electron's `BrowserWindow.getNativeWindowHandle()` returns (the handle's
 * 4 or 8 bytes), or the handle as a number, a signed or unsigned 64-bit bigint or decimal text.
 * Never 0.
 */
export type WindowHandle = Uint8Array | number | bigint | string;

/** A handle as the helper writes it: signed decimal text, exact for 64-bit handles. */
export type HandleText = string;

export interface RunOptions {
  /**
   * The helper's .exe; by default the one inside this package (unpacked from an Electron asar),
   * as `defaultHelperPath()` gives it. A bundled application names it.
   */
  helperPath?: string;
  /**
   * A command that runs the helper, placed before its path: `['wine64']` runs it under Wine on
   * Linux, as the package's tests do. Off Windows, calls without one reject with
   * `ERR_UNSUPPORTED_PLATFORM`.
   */
  launcher?: readonly string[];
  /** Aborts the call: the helper is stopped, and the promise rejects with `ABORT_ERR`. */
  signal?: AbortSignal;
  /**
   * Milliseconds until the call rejects with `ERR_TIMED_OUT` and the helper is stopped: up to
   * 2147483647; 0 or `Infinity`: none (the default).
   */
  timeout?: number;
}

export interface MoveOptions extends RunOptions {
  /** Fit the window over the whole virtual screen, every monitor. */
  span?: boolean;
}

export interface AttachOptions extends MoveOptions {
  /** Report mouse input over the desktop as `mouse` events. */
  forwardMouse?: boolean;
  /** Put the window back on top inside its layer whenever something is placed above it. */
  zguard?: boolean;
  /** Report whether any part of the window's monitor can be seen, as `visibility` events. */
  reportVisibility?: boolean;
  /** Refit the window after display changes, each followed by a `moved` event. */
  followDisplay?: boolean;
  /** Report the shell or the window not answering, as `unresponsive` and `responsive` events. */
  reportHangs?: boolean;
  /** Report the power source and the battery saver, as `power` events. */
  reportPower?: boolean;
  /**
   * Milliseconds to wait for the shell (at log-on; `--wait-shell`) before failing with
   * `ERR_SHELL_NOT_FOUND`. An attach aborted or timed out during the wait ends with the window
   * untouched.
   */
  waitShell?: number;
  /** A file that the helper appends one JSON line to for each of its decisions. */
  trace?: string;
  /**
   * A helper that ends unexpectedly is replaced by a new one for the same window, with a `restart`
   * event, after 0.5 s, then 1 s, 2 s, ..., up to 3 times a minute (`true`) or the given number of
   * times a minute; past that, when a new one cannot be started (`ERR_SPAWN_FAILED`), or without
   * this option, the window is given back and `error` comes.
   */
  restart?: boolean | number;
  /**
   * Milliseconds for the helper to attach (and for a window that another attachment is giving
   * back to be given back first) before attach() rejects with `ERR_TIMED_OUT`. `signal` aborts the
   * start, and once attached it detaches the window. A helper given up in this way is stopped and
   * the window given back if the helper may have moved it.
   */
  timeout?: number;
}

export interface InspectOptions extends RunOptions {
  /** The window whose placement the report's `choice` is for. */
  hwnd?: WindowHandle;
  /** Let the helper have the shell build its desktop layer first, as attach does (`--spawn`). */
  spawn?: boolean;
  /** Milliseconds to wait for the shell (at log-on; `--wait-shell`) before failing. */
  waitShell?: number;
}

/** The helper's name for each failure that it reports, by the code that it has here. */
export interface ErrorKinds {
  ERR_WINDOW_NOT_FOUND: 'window-not-found';
  ERR_WINDOW_DESTROYED: 'window-destroyed';
  ERR_SHELL_NOT_FOUND: 'shell-not-found';
  ERR_LAYER_NOT_FOUND: 'layer-not-found';
  ERR_ATTACH_FAILED: 'attach-failed';
  ERR_DETACH_FAILED: 'detach-failed';
  ERR_FIT_FAILED: 'fit-failed';
  ERR_REATTACH_FAILED: 'reattach-failed';
  ERR_WALLPAPER_REFRESH_FAILED: 'wallpaper-refresh-failed';
  ERR_START_FAILED: 'start-failed';
  /** No kind (an older helper), or one that this client does not know. */
  ERR_HELPER_ERROR: string | undefined;
}

export type HelperErrorCode = HelperError['code'];

interface HelperErrorOf<Code extends string> extends Error {
  readonly name: 'HelperError';
  readonly code: Code;
  /** The helper's exit code once it has ended; null while it runs, or when it did not start. */
  exitCode: number | null;
  /** The signal that ended the helper, if one did. */
  signalCode: NodeJS.Signals | null;
  /** @deprecated The former name of `signalCode`. */
  readonly signal: NodeJS.Signals | null;
  /** The helper's name for a failure that it reported. */
  kind?: Code extends keyof ErrorKinds ? ErrorKinds[Code] : undefined;
  /** A line that is none of the helper's events, cut to a few hundred characters. */
  line?: Code extends 'ERR_PROTOCOL' ? string : undefined;
  /** The last lines that the ended helper wrote to standard error (without Wine's own). */
  stderr?: string;
  /** The ended helper's command line. */
  command?: string;
}

type ReportedError = {
  [Code in keyof ErrorKinds]: HelperErrorOf<Code> & { kind: ErrorKinds[Code] };
}[keyof ErrorKinds];

/**
 * What failed, told apart by `code`:
 * - `ERR_SPAWN_FAILED`: the helper could not be run (`cause` is the system's error).
 * - `ERR_UNSUPPORTED_PLATFORM`: off Windows without a `launcher`; nothing was started.
 * - `ERR_COMMAND_LINE_REJECTED`: the helper rejected its command line (exit code 2).
 * - The helper's reports, each with its `kind` (see `ErrorKinds`): `ERR_WINDOW_NOT_FOUND`,
 *   `ERR_WINDOW_DESTROYED` (only a new window can be attached), `ERR_SHELL_NOT_FOUND`,
 *   `ERR_LAYER_NOT_FOUND`, `ERR_ATTACH_FAILED`, `ERR_DETACH_FAILED`, `ERR_FIT_FAILED`,
 *   `ERR_REATTACH_FAILED`, `ERR_WALLPAPER_REFRESH_FAILED`, `ERR_START_FAILED`, and
 *   `ERR_HELPER_ERROR` for one without a kind that this client knows.
 * - `ERR_PROTOCOL`: a line from the helper that is none of its events (`line` holds it).
 * - `ERR_HELPER_EXITED`: the helper ended without its answer: killed, crashed, or mid-session.
 * - `ERR_ALREADY_ATTACHED`: another attachment of this process holds the window.
 * - `ERR_TIMED_OUT`: the call's `timeout` ran out.
 * - `ABORT_ERR` (an `AbortError`): the call's `signal` aborted it (`cause` is its reason).
 */
export type HelperError =
  | (HelperErrorOf<'ERR_SPAWN_FAILED'> & { cause: NodeJS.ErrnoException })
  | HelperErrorOf<'ERR_UNSUPPORTED_PLATFORM'>
  | (HelperErrorOf<'ERR_COMMAND_LINE_REJECTED'> & { exitCode: 2 })
  | ReportedError
  | (HelperErrorOf<'ERR_PROTOCOL'> & { line: string })
  | HelperErrorOf<'ERR_HELPER_EXITED'>
  | HelperErrorOf<'ERR_ALREADY_ATTACHED'>
  | HelperErrorOf<'ERR_TIMED_OUT'>
  | (Omit<HelperErrorOf<'ABORT_ERR'>, 'name'> & { readonly name: 'AbortError'; cause: unknown });

export const HelperError: {
  new (
    message: string,
    options?: {
      code?: HelperErrorCode;
      exitCode?: number | null;
      signalCode?: NodeJS.Signals | null;
      /** @deprecated The former name of `signalCode`. */
      signal?: NodeJS.Signals | null;
      cause?: unknown;
    },
  ): HelperError;
  readonly prototype: HelperError;
};

export interface AttachedEvent {
  hwnd: HandleText;
  workerw: HandleText;
  mode: 'classic' | 'raised';
}
export interface WindowEvent {
  hwnd: HandleText;
}
export interface VisibilityEvent {
  hwnd: HandleText;
  visible: boolean;
}
/** A window that does not answer, or answers again: the shell's (Progman) or the attached one. */
export interface HangEvent {
  hwnd: HandleText;
  window: 'shell' | 'host';
}
export interface PowerEvent {
  source: 'ac' | 'battery' | 'ups';
  saver: 'off' | 'on' | 'high';
}
/** Screen coordinates in physical pixels; wheel deltas are 120 a notch, away from the user or right. */
export type MouseEvent =
  | { type: 'move' | 'down' | 'up'; x: number; y: number }
  | { type: 'wheel'; x: number; y: number; deltaX: number; deltaY: number };
export interface ExitEvent {
  exitCode: number | null;
  signalCode: NodeJS.Signals | null;
  /** @deprecated The former name of `exitCode`. */
  readonly code: number | null;
  /** @deprecated The former name of `signalCode`. */
  readonly signal: NodeJS.Signals | null;
}

/** How an attachment ended. */
export interface HelperEnd {
  /** The last helper's exit code; null when a signal ended it, or it had not ended yet. */
  exitCode: number | null;
  signalCode: NodeJS.Signals | null;
  /** detach()'s time ran out, and the helper was killed. */
  timedOut: boolean;
  /** The window is a top-level window again; false with an `error` that says why not. */
  givenBack: boolean;
  /** Why it ended unasked (the same as its `error` event), or why the window was not given back. */
  error?: HelperError;
}

export interface AttachmentEventMap {
  attached: [AttachedEvent];
  mouse: [MouseEvent];
  visibility: [VisibilityEvent];
  unresponsive: [HangEvent];
  responsive: [HangEvent];
  power: [PowerEvent];
  'explorer-restarted': [{}];
  'workerw-destroyed': [WindowEvent];
  reasserted: [WindowEvent];
  moved: [WindowEvent];
  detached: [WindowEvent];
  heartbeat: [{}];
  /** A failure that the helper runs on after: a failed re-attach, a line that is no event. */
  warning: [HelperError];
  /** A new helper was started for the window after the last one ended (the error says how). */
  restart: [HelperError];
  /** The attachment failed: the window was destroyed, or its helper ended and was not replaced. */
  error: [HelperError];
  /** The attachment has ended; every other event came before it. */
  exit: [ExitEvent];
}

/** A window shown as the wallpaper by a running helper. */
export class Attachment extends EventEmitter<AttachmentEventMap> implements AsyncDisposable {
  #private;
  /** Made by attach() alone. */
  private constructor();
  /** The running helper's process id. */
  readonly pid: number | undefined;
  /** From the latest `attached` event. */
  readonly hwnd: HandleText;
  readonly workerw: HandleText;
  readonly mode: 'classic' | 'raised';
  /** As ChildProcess has them: the helper's exit code, or the signal that ended it. */
  readonly exitCode: number | null;
  readonly signalCode: NodeJS.Signals | null;
  /** True once the attachment has ended: its helper is gone, the window given back or given up. */
  readonly ended: boolean;

  /**
   * Writes "detach": the window is given back and the wallpaper repainted. Resolves with the end
   * within `timeout` ms (10 s; 0: no limit), at once when it has already ended: a helper still
   * running after half of it is killed (`timedOut`), and the window given back by a one-shot
   * detach in the rest; past it the window is given up (`givenBack: false`). `signal` kills the
   * helper at once and rejects with `ABORT_ERR`.
   */
  detach(options?: {
    timeout?: number;
    signal?: AbortSignal;
    /** @deprecated The former name of `timeout`. */
    timeoutMs?: number;
  }): Promise<HelperEnd>;

  /** For `await using`: detach() with its default time limit. */
  [Symbol.asyncDispose](): Promise<void>;

  /** The values of one event as they come, until the attachment ends (then the loop ends). */
  events<Name extends keyof AttachmentEventMap>(
    name: Name,
  ): AsyncIterableIterator<AttachmentEventMap[Name][0]>;
}

/** Where attach would put a window, and the shell's windows that it would choose among. */
export interface Inspection {
  version: string;
  system: { major: number; minor: number; build: number };
  monitors: Array<{ device: string; rect: Rect; work: Rect; dpi: number; primary: boolean }>;
  /** Progman, every top-level WorkerW, SHELLDLL_DefView, Shell_TrayWnd and Progman's children. */
  shell: Array<{
    hwnd: HandleText;
    class: string;
    parent: HandleText;
    pid: number;
    /** Whether the shell's process (the one that owns Progman) owns it: only its WorkerW is a layer. */
    shellOwned: boolean;
    style: number;
    exStyle: number;
    rect: Rect;
    visible: boolean;
    /** The position among its siblings, 0 on top. */
    z: number;
  }>;
  /** Whether the desktop's icons are shown. */
  iconsShown: boolean;
  choice:
    | { monitor: string; layer: HandleText; mode: 'classic' | 'raised'; reason: string }
    | { monitor: string; error: string };
  taskbarPid: number;
  composition: boolean;
}
export interface Rect {
  left: number;
  top: number;
  right: number;
  bottom: number;
}

/**
 * Starts the helper for the window; resolves once it is attached, rejects with a HelperError (a
 * TypeError or RangeError for an argument that is none).
 */
export function attach(hwnd: WindowHandle, options?: AttachOptions | null): Promise<Attachment>;
/** Refits the window over the monitor nearest to it (or, with `span`, over every monitor). */
export function move(
  hwnd: WindowHandle,
  options?: MoveOptions | null,
): Promise<{ event: 'moved' } & WindowEvent>;
/** Gives the window back as a top-level window, and repaints the wallpaper. */
export function detach(
  hwnd: WindowHandle,
  options?: RunOptions | null,
): Promise<{ event: 'detached' } & WindowEvent>;
/** Repaints the static wallpaper. */
export function refresh(options?: RunOptions | null): Promise<{ event: 'refreshed' }>;
/** Reports the monitors, the shell's windows and the choice that attach would make. */
export function inspect(options?: InspectOptions | null): Promise<Inspection>;

/** The handle as the helper takes it; throws a TypeError for anything that is not a handle. */
export function handleText(hwnd: WindowHandle): HandleText;
/**
 * The .exe that calls run without `helperPath`: the one beside this package's index.js (in
 * `app.asar.unpacked` inside a packed Electron app); for build configurations. Throws a
 * HelperError (`ERR_SPAWN_FAILED`) where the package was bundled as an ES module.
 */
export function defaultHelperPath(): string;
