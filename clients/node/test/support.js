'use strict';
// What the client's tests share: the fake helper's scripts, a temporary folder, waiting for a
// condition, an attachment's events as text, and the two kills of a restarting helper.
const assert = require('node:assert/strict');
const { once } = require('node:events');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const packageDir = path.join(__dirname, '..');
const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'orvel-client-'));
process.on('exit', () => fs.rmSync(tmp, { recursive: true, force: true }));

// The fake helper plays a script: its steps, or an object of steps by command. A string or a
// Buffer is written as its bytes, in one chunk.
const encode = (steps) =>
  steps.map((step) => (step.constructor === Object ? step : Buffer.from(step).toString('latin1')));
const playing = (script, launcher = process.execPath) => ({
  launcher: [launcher, path.join(__dirname, 'fake-helper.js')],
  helperPath: JSON.stringify(
    Array.isArray(script)
      ? encode(script)
      : Object.fromEntries(Object.entries(script).map(([command, steps]) => [command, encode(steps)])),
  ),
});
const line = (object) => `${JSON.stringify(object)}\n`;
const attachedLine = (hwnd) => line({ event: 'attached', hwnd, workerw: 7, mode: 'raised' });
const detachedLine = (hwnd) => line({ event: 'detached', hwnd });
const ended = (attachment) => new Promise((resolve) => attachment.once('exit', resolve));
// The commands, or the process ids, that the fake helper's {record} steps wrote.
function recorded(file, column) {
  if (!fs.existsSync(file)) return [];
  return fs.readFileSync(file, 'utf8').trim().split('\n').map((entry) => column(entry.split(' ')));
}
const commands = (file) => recorded(file, (words) => words.slice(1).join(' '));

async function until(done, what) {
  for (let i = 0; i < 750 && !done(); ++i) await new Promise((resolve) => setTimeout(resolve, 20));
  assert.ok(done(), what);
}

// Every event of an attachment, in order, as text.
function record(attachment) {
  const seen = [];
  const names = ['attached', 'visibility', 'mouse', 'unresponsive', 'responsive', 'power', 'explorer-restarted',
    'detached', 'exit'];
  for (const name of names) attachment.on(name, (event) => seen.push(`${name} ${JSON.stringify(event)}`));
  for (const name of ['warning', 'restart', 'error']) {
    attachment.on(name, (error) =>
      seen.push(`${name} ${error.code} ${error.line ?? error.signalCode ?? error.message}`));
  }
  return seen;
}

// Kills the helper of an attachment that may restart once: a new one attaches the window, and once
// that one is killed too, the attachment ends with how the last one ended.
async function killTwice(wallpaper) {
  const first = wallpaper.pid;
  process.kill(first, 'SIGKILL');
  await once(wallpaper, 'attached');
  assert.notEqual(wallpaper.pid, first);
  process.kill(wallpaper.pid, 'SIGKILL');
  await ended(wallpaper);
  return wallpaper.detach();
}

module.exports = { packageDir, tmp, playing, line, attachedLine, detachedLine, ended, recorded, commands, until,
  record, killTwice };
