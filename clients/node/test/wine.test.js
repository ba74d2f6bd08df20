'use strict';
// One whole session of the real helper under Wine, against the stand-in shell, which also makes
// the host window and clicks, since Node can do neither; test/wine-session.sh runs it.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawn } = require('node:child_process');
const path = require('node:path');
const readline = require('node:readline');
const client = require('..');

const build = process.env.ORVEL_WINDOWS_BUILD;
const wine = '/usr/lib/wine/wine64';

// A stand-in shell program; `ask` sends a command (none: reads its first line) and gives its answer.
function shell(...args) {
  const child = spawn(wine, [path.join(build, 'orvel_stand_in_shell.exe'), ...args], { cwd: build });
  const lines = readline.createInterface({ input: child.stdout })[Symbol.asyncIterator]();
  return {
    ask: async (command) => {
      if (command) child.stdin.write(command + '\n');
      return (await lines.next()).value;
    },
    end: () => new Promise((resolve) => child.stdin.end(() => child.on('close', resolve))),
  };
}

test('attach, a click on the desktop, a taskbar restart and detach, under Wine', { timeout: 120000 }, async () => {
  assert.ok(build, 'ORVEL_WINDOWS_BUILD names the windows build: run test/wine-session.sh');
  const desktop = shell('desktop', 'classic', 'present');
  const layer = await desktop.ask();
  const host = await desktop.ask('host');
  const helperPath = path.join(build, 'orvel-wallpaper-helper.exe');
  const attachment = await client.attach(host, { forwardMouse: true, launcher: [wine], helperPath });
  const seen = [];
  for (const name of ['attached', 'mouse', 'explorer-restarted', 'workerw-destroyed', 'detached', 'error', 'exit']) {
    attachment.on(name, (event) => seen.push([name, event instanceof Error ? event.message : event]));
  }
  const until = async (name) => {
    for (let round = 0; round < 750 && !seen.some(([seenName]) => seenName === name); ++round) {
      await new Promise((resolve) => setTimeout(resolve, 20));
    }
  };
  assert.deepEqual([attachment.hwnd, attachment.workerw, attachment.mode], [host, layer, 'classic']);

  await desktop.ask('click 300 200');
  await until('mouse');
  await desktop.ask('remove-taskbar');
  const taskbar = shell('taskbar');
  await taskbar.ask();
  await until('attached');
  assert.equal(await attachment.detach(), 0);
  await Promise.all([taskbar.end(), desktop.end()]);

  const presses = seen.filter(([name, event]) => name !== 'mouse' || event.type !== 'move');
  assert.deepEqual(presses, [
    ['mouse', { type: 'down', x: 300, y: 200 }],
    ['mouse', { type: 'up', x: 300, y: 200 }],
    ['explorer-restarted', {}],
    ['attached', { hwnd: host, workerw: layer, mode: 'classic' }],
    ['detached', { hwnd: host }],
    ['exit', { code: 0, signal: null }],
  ]);
});
