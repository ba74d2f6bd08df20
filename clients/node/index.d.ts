// Types of the orvel-wallpaper-helper client. They need no Node.js types: a Buffer is a Uint8Array.

/**
 * A window handle: what Electron's `BrowserWindow.getNativeWindowHandle()` returns (the handle's
 * bytes), or the handle as a number, a bigint or decimal text.
 */
export type WindowHandle = Uint8Array | number | bigint | string;

/** A handle as the helper writes it: signed decimal text, exact for 64-bit handles. */
export type HandleText = string;

export interface RunOptions {
  /** The helper's .exe; by default the one inside this package (unpacked from an Electron asar). */
  helperPath?: string;
  /**
   * A command that runs the helper, placed before its path: `['wine64']` runs it under Wine on
   * Linux, as the package's tests do.
   */
  launcher?: string[];
}

export interface AttachOptions extends RunOptions {
  /** Report mouse input over the desktop as `mouse` events. */
  forwardMouse?: boolean;
  /** Put the window back on top inside its layer whenever something is placed above it. */
  zguard?: boolean;
  /** Report whether any part of the window's monitor can be seen, as `visibility` events. */
  reportVisibility?: boolean;
  /** Refit the window after display changes, each followed by a `moved` event. */
  followDisplay?: boolean;
}

/**
 * What the helper reports as failed. `kind` is `"window-destroyed"` when the window went with the
 * desktop layer (only a new window can be attached), `"protocol"` for a line from the helper that
 * is none of its events (`line` holds it), and absent otherwise. `exitCode` is the helper's exit
 * code once it has ended: 1 for a failed command, 2 for a rejected command line, 3 for a helper
 * that could not read its input; null while it runs or when it could not be started.
 */
export class HelperError extends Error {
  name: 'HelperError';
  kind?: 'window-destroyed' | 'protocol' | string;
  exitCode: number | null;
  line?: string;
}

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
/** Screen coordinates in physical pixels; wheel deltas are 120 a notch, away from the user or right. */
export interface MouseEvent {
  type: 'move' | 'down' | 'up' | 'wheel';
  x: number;
  y: number;
  deltaX?: number;
  deltaY?: number;
}
export interface ExitEvent {
  code: number | null;
  signal: string | null;
}

export interface AttachmentEvents {
  attached: [AttachedEvent];
  mouse: [MouseEvent];
  visibility: [VisibilityEvent];
  'explorer-restarted': [{}];
  'workerw-destroyed': [WindowEvent];
  reasserted: [WindowEvent];
  moved: [WindowEvent];
  detached: [WindowEvent];
  heartbeat: [{}];
  error: [HelperError];
  exit: [ExitEvent];
}

/** A window shown as the wallpaper by a running helper. */
export class Attachment {
  /** Made by attach() alone. */
  private constructor();
  readonly pid: number | undefined;
  /** From the latest `attached` event. */
  readonly hwnd: HandleText;
  readonly workerw: HandleText;
  readonly mode: 'classic' | 'raised';
  /** The helper's exit code once it has ended. */
  readonly exitCode: number | null;

  on<E extends keyof AttachmentEvents>(event: E, listener: (...args: AttachmentEvents[E]) => void): this;
  once<E extends keyof AttachmentEvents>(event: E, listener: (...args: AttachmentEvents[E]) => void): this;
  off<E extends keyof AttachmentEvents>(event: E, listener: (...args: AttachmentEvents[E]) => void): this;

  /**
   * Writes "detach": the window is given back and the wallpaper repainted. Resolves with the
   * helper's exit code once it has ended; a helper still running after `timeoutMs` (10 s) is stopped.
   */
  detach(options?: { timeoutMs?: number }): Promise<number | null>;
}

/**
 * Starts the helper for the window; resolves once it is attached, rejects with a HelperError (a
 * TypeError for a handle that is none).
 */
export function attach(hwnd: WindowHandle, options?: AttachOptions): Promise<Attachment>;
/** Refits the window over the monitor nearest to it. */
export function move(hwnd: WindowHandle, options?: RunOptions): Promise<{ event: 'moved' } & WindowEvent>;
/** Gives the window back as a top-level window, and repaints the wallpaper. */
export function detach(
  hwnd: WindowHandle,
  options?: RunOptions,
): Promise<{ event: 'detached' } & WindowEvent>;
/** Repaints the static wallpaper. */
export function refresh(options?: RunOptions): Promise<{ event: 'refreshed' }>;

/** The handle as the helper takes it; throws a TypeError for anything that is not a handle. */
export function handleText(hwnd: WindowHandle): HandleText;
