'use strict';
// The client with the real helper under Wine, against the stand-in shell: an inspection, a whole
// session, and a helper killed twice; test/wine-session.sh runs it with the windows preset's build.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawn } = require('node:child_process');
const path = require('node:path');
const readline = require('node:readline');
const client = require('..');
const { until, record, killTwice } = require('./support.js');

const build = process.env.ORVEL_WINDOWS_BUILD;
const wine = '/usr/lib/wine/wine64';

// A stand-in shell, which also makes the host window and clicks, since Node can do neither; `ask`
// sends a command (none: reads its first line) and gives its answer. It ends with the test; what it
// says on standard error goes to the test's, where it is read, since unread it would keep the shell
// from closing.
function shell(t, ...args) {
  const program = [path.join(build, 'orvel_stand_in_shell.exe'), ...args];
  const child = spawn(wine, program, { cwd: build, stdio: ['pipe', 'pipe', 'inherit'] });
  const closed = new Promise((resolve) => child.on('close', resolve));
  const lines = readline.createInterface({ input: child.stdout })[Symbol.asyncIterator]();
  t.after(() => child.stdin.end() && closed);
  return async (command) => {
    if (command) child.stdin.write(`${command}\n`);
    return (await lines.next()).value;
  };
}

test('an inspection and a whole session under Wine; then a helper killed twice: replaced once, then the window given back', {
  timeout: 180000,
}, async (t) => {
  assert.ok(build, 'ORVEL_WINDOWS_BUILD names the windows build: run test/wine-session.sh');
  const desktop = shell(t, 'desktop', 'classic', 'present');
  const [layer, host] = [await desktop(), await desktop('host')];
  const run = { launcher: [wine], helperPath: path.join(build, 'orvel-wallpaper-helper.exe') };
  const inspected = await client.inspect({ hwnd: host, waitShell: 10000, ...run });
  assert.deepEqual([inspected.choice.layer, inspected.choice.mode], [layer, 'classic']);
  const attachment = await client.attach(host, {
    forwardMouse: true, reportPower: true, waitShell: 10000, timeout: 60000, ...run,
  });
  t.after(() => attachment.detach());
  const seen = record(attachment);
  assert.deepEqual([attachment.workerw, attachment.mode], [layer, 'classic']);
  await desktop('click 300 200');
  await until(() => seen.some((text) => text.startsWith('mouse {"type":"up"')), 'the click came');
  await desktop('remove-taskbar');
  await shell(t, 'taskbar')();
  await until(() => seen.some((text) => text.startsWith('attached')), 'attached again');
  const end = { exitCode: 0, signalCode: null, timedOut: false, givenBack: true };
  assert.deepEqual(await attachment.detach(), end);
  assert.deepEqual(seen.filter((text) => !text.startsWith('mouse {"type":"move"')), [
    'power {"source":"ac","saver":"off"}', 'mouse {"type":"down","x":300,"y":200}', 'mouse {"type":"up","x":300,"y":200}',
    'explorer-restarted {}', `attached {"hwnd":"${host}","workerw":"${layer}","mode":"classic"}`,
    `detached {"hwnd":"${host}"}`, 'exit {"exitCode":0,"signalCode":null}']);

  const wallpaper = await client.attach(host, { restart: 1, ...run });
  t.after(() => wallpaper.detach());
  const last = await killTwice(wallpaper);
  assert.deepEqual([last.error?.code, last.givenBack], ['ERR_HELPER_EXITED', true]);
  const message = 'the helper was ended by SIGKILL while attached; the window was given back; call attach() again';
  assert.equal(last.error.message, message);
  // Given back, the window outlives the layer that it was attached to.
  await desktop('destroy-layer');
  assert.deepEqual(await client.move(host, run), { event: 'moved', hwnd: host });
});
