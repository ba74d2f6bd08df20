// An ES module that uses the package as applications do, checked by `tsc --noEmit` in strict mode:
// the attachment with Node's events.once and events.on, a wheel event's deltas, every error code.
import { once, on } from 'node:events';
import { attach, inspect, HelperError, type Attachment, type HelperEnd } from 'orvel-wallpaper-helper';

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
    case 'ERR_WINDOW_DESTROYED':
      return `build a new window (${error.kind})`;
    case 'ERR_COMMAND_LINE_REJECTED': {
      const usage: 2 = error.exitCode;
      return `exit code ${usage}`;
    }
    case 'ABORT_ERR': {
      const name: 'AbortError' = error.name;
      return `${name}: ${String(error.cause)}`;
    }
    case 'ERR_UNSUPPORTED_PLATFORM':
    case 'ERR_HELPER_ERROR':
    case 'ERR_WINDOW_NOT_FOUND':
    case 'ERR_HELPER_EXITED':
    case 'ERR_ALREADY_ATTACHED':
    case 'ERR_TIMED_OUT':
      return `${error.message} (${error.exitCode ?? error.signal})`;
    default:
      return unanswered(error);
  }
}

export async function session(hwnd: Uint8Array, signal: AbortSignal): Promise<HelperEnd> {
  let wallpaper: Attachment;
  try {
    const options = { forwardMouse: true, span: true, trace: 'trace.jsonl', restart: 2, timeout: 5000, signal };
    wallpaper = await attach(hwnd, options);
  } catch (error) {
    if (error instanceof HelperError) console.error(answer(error));
    throw error;
  }
  wallpaper.on('mouse', (mouse) => {
    if (mouse.type === 'wheel') console.log(mouse.x + mouse.deltaX, mouse.y + mouse.deltaY);
  });
  wallpaper.on('warning', (warning) => console.warn(answer(warning)));
  wallpaper.on('error', (error) => console.error(answer(error)));
  wallpaper.on('restart', (error) => console.log(error.exitCode, error.signal, wallpaper.pid));
  const [detached] = await once(wallpaper, 'detached');
  console.log(detached, wallpaper.exitCode, wallpaper.signalCode, wallpaper.ended);
  for await (const [mouse] of on(wallpaper, 'mouse', { signal })) console.log(mouse);
  wallpaper.removeAllListeners('mouse').setMaxListeners(20);
  const report = await inspect({ hwnd, spawn: true, signal });
  if ('layer' in report.choice) console.log(report.choice.layer, report.shell[0]?.parent);
  const end = await wallpaper.detach({ timeout: 2000 });
  if (end.timedOut || end.signalCode !== null) console.error(end.error?.code);
  return end;
}
