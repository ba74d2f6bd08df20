// An ES module that uses the package as applications do, checked by the pinned TypeScript in strict
// mode, and run: the attachment with events.once, its events() loop and `await using`, a wheel
// event's deltas, every error code and the kind that goes with it.
import { once } from 'node:events';
import {
  attach, inspect, HelperError,
  type Attachment, type AttachOptions, type HelperEnd, type MouseEvent, type WindowHandle,
} from 'orvel-wallpaper-helper';

function unanswered(error: never): never {
  throw new Error(`no answer for ${String(error)}`);
}

// What each failure asks of the application; a code left out fails the check at `unanswered`.
export function answer(error: HelperError): string {
  switch (error.code) {
    case 'ERR_SPAWN_FAILED':
      return `cannot run the helper: ${error.cause.code ?? error.cause.message}`;
    case 'ERR_PROTOCOL':
      return `not an event: ${error.line}`;
    case 'ERR_WINDOW_DESTROYED': {
      const kind: 'window-destroyed' = error.kind;
      return `build a new window (${kind})`;
    }
    case 'ERR_SHELL_NOT_FOUND':
      return `no shell yet: wait, or attach with waitShell (${error.kind})`;
    case 'ERR_COMMAND_LINE_REJECTED': {
      const usage: 2 = error.exitCode;
      return `exit code ${usage}: ${error.stderr} (${error.command})`;
    }
    case 'ABORT_ERR': {
      const name: 'AbortError' = error.name;
      return `${name}: ${String(error.cause)}`;
    }
    case 'ERR_HELPER_ERROR':
      return `${error.message} (${error.kind ?? 'no kind'})`;
    case 'ERR_WINDOW_NOT_FOUND':
    case 'ERR_LAYER_NOT_FOUND':
    case 'ERR_ATTACH_FAILED':
    case 'ERR_DETACH_FAILED':
    case 'ERR_FIT_FAILED':
    case 'ERR_REATTACH_FAILED':
    case 'ERR_WALLPAPER_REFRESH_FAILED':
    case 'ERR_START_FAILED':
      return `${error.kind}: ${error.message}`;
    case 'ERR_UNSUPPORTED_PLATFORM':
    case 'ERR_HELPER_EXITED':
    case 'ERR_ALREADY_ATTACHED':
    case 'ERR_TIMED_OUT':
      return `${error.message} (${error.exitCode ?? error.signalCode})`;
    default:
      return unanswered(error);
  }
}

export async function session(hwnd: Uint8Array, signal: AbortSignal): Promise<HelperEnd> {
  let wallpaper: Attachment;
  try {
    const options = {
      forwardMouse: true, span: true, trace: 'trace.jsonl', restart: 2, timeout: 5000, signal,
      reportHangs: true, reportPower: true, waitShell: 30000, launcher: ['wine64'] as const,
    };
    wallpaper = await attach(hwnd, options);
  } catch (error) {
    if (error instanceof HelperError) console.error(answer(error));
    throw error;
  }
  wallpaper.on('mouse', (mouse) => {
    if (mouse.type === 'wheel') console.log(mouse.x + mouse.deltaX, mouse.y + mouse.deltaY);
  });
  wallpaper.on('unresponsive', ({ hwnd: window, window: which }) => console.warn(`${which} ${window} hangs`));
  wallpaper.on('power', ({ source, saver }) => console.log(source === 'battery' && saver !== 'off'));
  wallpaper.on('warning', (warning) => console.warn(answer(warning)));
  wallpaper.on('error', (error) => console.error(answer(error)));
  wallpaper.on('restart', (error) => console.log(error.exitCode, error.signalCode, wallpaper.pid));
  wallpaper.on('exit', ({ exitCode, signalCode }) => console.log(exitCode ?? signalCode));
  const [detached] = await once(wallpaper, 'detached');
  console.log(detached, wallpaper.exitCode, wallpaper.signalCode, wallpaper.ended);
  const report = await inspect({ hwnd, spawn: true, signal, waitShell: 10000 });
  if ('layer' in report.choice) console.log(report.choice.layer, report.shell[0]?.parent);
  const end = await wallpaper.detach({ timeout: 2000 });
  if (!end.givenBack) console.error(end.error && answer(end.error));
  return end;
}

// The mouse until its button comes up, with the window detached as the block ends; then the end
// that the block's detach() left.
export async function follow(hwnd: WindowHandle, options: AttachOptions): Promise<[MouseEvent[], HelperEnd]> {
  const mice: MouseEvent[] = [];
  let kept: Attachment;
  {
    await using wallpaper = await attach(hwnd, options);
    kept = wallpaper;
    for await (const mouse of wallpaper.events('mouse')) {
      mice.push(mouse);
      if (mouse.type === 'up') break;
    }
  }
  return [mice, await kept.detach()];
}
