'use strict';
// The client against a fake helper, its README's example against its declarations, and one whole
// session of the real helper under Wine; test/wine-session.sh runs them.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawn, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const readline = require('node:readline');
const client = require('..');

// The fake helper plays `steps`; a string or a Buffer is written as its bytes, in one chunk.
const playing = (steps) => ({
  launcher: [process.execPath, path.join(__dirname, 'fake-helper.js')],
  helperPath: JSON.stringify(
    steps.map((step) => (step.constructor === Object ? step : Buffer.from(step).toString('latin1'))),
  ),
});
const line = (object) => JSON.stringify(object);

// Every event of an attachment, in order, as text.
function record(attachment) {
  const seen = [];
  for (const name of ['attached', 'visibility', 'mouse', 'explorer-restarted', 'detached', 'exit']) {
    attachment.on(name, (event) => seen.push(`${name} ${JSON.stringify(event)}`));
  }
  attachment.on('error', (error) => seen.push(`error ${error.kind} ${error.line ?? error.message}`));
  return seen;
}

test('window handles become the signed 64-bit decimal that the helper takes', () => {
  const table = [
    [Buffer.from([0x84, 0x04, 0x04, 0, 0, 0, 0, 0]), '263300'],
    [Buffer.from([0xfe, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff]), '-2'],
    [Buffer.from([0, 0, 0, 0, 0, 0, 0, 0x80]), '-9223372036854775808'],
    [Buffer.from([0xfe, 0xff, 0xff, 0xff]), '-2'], // a 32-bit handle, sign-extended as Windows does
    [263300, '263300'], [2n ** 63n - 1n, '9223372036854775807'], ['-0042', '-42'],
  ];
  for (const [hwnd, text] of table) assert.equal(client.handleText(hwnd), text);
  const bad = [Buffer.alloc(3), 1.5, 2 ** 53, 2n ** 63n, '9223372036854775808', '1e3', '', null];
  for (const hwnd of [...bad, undefined]) assert.throws(() => client.handleText(hwnd), TypeError);
});

test('a session cut anywhere, with junk among its lines, gives each event in order', async () => {
  const big = '9007199254740993'; // past the integers that a JavaScript number holds exactly
  const accents = 'é'.repeat(30);
  const junk = ['not json', '[1]', '{"event":"bogus"}', '{"event":"moved","hwnd":1.5}',
    '{"event":"attached","hwnd":1,"workerw":2,"mode":"sideways"}'];
  // The first "attached" comes in one chunk with the next line, which the application must hear
  // although it can listen only once attach() has resolved. The rest comes 23 bytes at a time, odd
  // so that some cut falls inside a two-byte character.
  const chunks = [`{"event":"attached","hwnd":${big},"workerw":196886,"mode":"classic"}\n` +
    `${line({ event: 'visibility', hwnd: 1, visible: false })}\n`];
  const rest = Buffer.from([
    `{"event":"attached","hwnd":${big},"workerw":196886,"mode":"raised"}\r`,
    line({ event: 'mousewheel', x: 1250, y: 380, deltaX: 0, deltaY: 120 }), ...junk,
    line({ event: 'error', message: accents, kind: 'window-destroyed' }),
    '{"event":"explorer-restarted"}\n'].join('\n'));
  for (let at = 0; at < rest.length; at += 23) chunks.push(rest.subarray(at, at + 23));
  const ending = [{ input: true }, `{"event":"detached","hwnd":${big}}\n`];
  const attachment = await client.attach(big, playing([...chunks, ...ending]));
  const seen = record(attachment);
  assert.equal(attachment.hwnd, big);
  assert.equal(await attachment.detach(), 0);
  assert.deepEqual(seen, ['visibility {"hwnd":"1","visible":false}',
    `attached {"hwnd":"${big}","workerw":"196886","mode":"raised"}`,
    'mouse {"type":"wheel","x":1250,"y":380,"deltaX":0,"deltaY":120}',
    ...junk.map((junkLine) => `error protocol ${junkLine}`), `error window-destroyed ${accents}`,
    'explorer-restarted {}', 'error undefined detach\n', `detached {"hwnd":"${big}"}`,
    'exit {"code":0,"signal":null}']);
});

test('a helper that fails, dies or cannot start rejects with its reason, never throws', async () => {
  const flags = { forwardMouse: true, zguard: false, reportVisibility: true, followDisplay: true };
  const failed = playing([`${line({ event: 'error', message: 'no Progman' })}\n`, { exit: 1 }]);
  const rejected = playing([{ err: 'usage: ...\nerror: unknown option --x\n' }, { exit: 2 }]);
  const rows = [
    [() => client.attach(42, failed), { message: 'no Progman', exitCode: 1 }],
    [() => client.attach(42, playing(['{"event":"att', { exit: 1 }])), { line: '{"event":"att' }],
    [() => client.attach(42, { ...playing([{ args: true }, { exit: 1 }]), ...flags }),
      { message: 'attach --hwnd 42 --forward-mouse --report-visibility --follow-display' }],
    [() => client.move(42, rejected), { message: 'unknown option --x', exitCode: 2 }],
    [() => client.detach(42, playing(['{"event":"moved","hwnd":42}\n'])),
      { message: 'the helper exited with code 0' }],
    [() => client.refresh(playing(['{"event":"refreshed"}\n', { exit: 1 }])), { exitCode: 1 }],
    [() => client.refresh({ helperPath: path.join(__dirname, 'none.exe') }),
      { message: /^cannot run the helper: .*ENOENT/, exitCode: null }],
    [() => client.attach(Buffer.alloc(2), playing([])), { name: 'TypeError' }],
  ];
  for (const [run, expected] of rows) await assert.rejects(run, expected);
  const refreshed = await client.refresh(playing(['{"event":"refreshed"}\n']));
  assert.deepEqual(refreshed, { event: 'refreshed' });

  // Once attached, a helper that dies mid-line leaves a protocol error and its exit.
  const attached = `${line({ event: 'attached', hwnd: 42, workerw: 7, mode: 'raised' })}\n`;
  const attachment = await client.attach(42, playing([attached, '{"event":"hea', { exit: 3 }]));
  const seen = record(attachment);
  await new Promise((resolve) => attachment.once('exit', resolve));
  assert.equal(await attachment.detach(), 3);
  assert.deepEqual(seen, ['error protocol {"event":"hea', 'exit {"code":3,"signal":null}']);
});

test('out of file handles, attach rejects and the application lives on', () => {
  const script = `const { attach } = require(${JSON.stringify(path.join(__dirname, '..'))});
    const held = [];
    try { for (;;) held.push(require('node:fs').openSync('/dev/null', 'r')); } catch {}
    attach(42, { helperPath: '/bin/true' }).catch((error) => console.log(error.message));`;
  const child = spawnSync(process.execPath, ['-e', script], { encoding: 'utf8' });
  assert.equal(child.status, 0, child.stderr);
  assert.match(child.stdout, /^cannot run the helper: .*EMFILE/);
});

test("the README's Electron example type-checks against the declarations", () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'orvel-example-'));
  const readme = fs.readFileSync(path.join(__dirname, '..', 'README.md'), 'utf8');
  fs.writeFileSync(path.join(dir, 'example.ts'), /```ts\n([^]*?)```/.exec(readme)[1]);
  fs.copyFileSync(path.join(__dirname, 'electron.d.ts'), path.join(dir, 'electron.d.ts'));
  const paths = { 'orvel-wallpaper-helper': [path.join(__dirname, '..', 'index.d.ts')] };
  const compilerOptions = { strict: true, target: 'es2022', module: 'commonjs', baseUrl: '.', paths };
  const tsconfig = { compilerOptions: { ...compilerOptions, lib: ['es2022', 'dom'] } };
  fs.writeFileSync(path.join(dir, 'tsconfig.json'), JSON.stringify(tsconfig));
  const tsc = spawnSync('tsc', ['--noEmit', '-p', dir], { encoding: 'utf8' });
  fs.rmSync(dir, { recursive: true });
  assert.equal(tsc.status, 0, tsc.stdout + tsc.stderr);
});

const build = process.env.ORVEL_WINDOWS_BUILD;
const wine = '/usr/lib/wine/wine64';

// A stand-in shell, which also makes the host window and clicks, since Node can do neither; `ask`
// sends a command (none: reads its first line) and gives its answer.
function shell(...args) {
  const child = spawn(wine, [path.join(build, 'orvel_stand_in_shell.exe'), ...args], { cwd: build });
  const lines = readline.createInterface({ input: child.stdout })[Symbol.asyncIterator]();
  const ask = async (command) => {
    if (command) child.stdin.write(`${command}\n`);
    return (await lines.next()).value;
  };
  return { ask, end: () => new Promise((resolve) => child.on('close', resolve).stdin.end()) };
}

test('attach, a click, a taskbar restart and detach, under Wine', { timeout: 120000 }, async () => {
  assert.ok(build, 'ORVEL_WINDOWS_BUILD names the windows build: run test/wine-session.sh');
  const desktop = shell('desktop', 'classic', 'present');
  const [layer, host] = [await desktop.ask(), await desktop.ask('host')];
  const helperPath = path.join(build, 'orvel-wallpaper-helper.exe');
  const attachment = await client.attach(host, { forwardMouse: true, launcher: [wine], helperPath });
  const seen = record(attachment);
  const until = async (start) => {
    for (let i = 0; i < 750 && !seen.some((text) => text.startsWith(start)); ++i) {
      await new Promise((resolve) => setTimeout(resolve, 20));
    }
  };
  assert.deepEqual([attachment.workerw, attachment.mode], [layer, 'classic']);
  await desktop.ask('click 300 200');
  await until('mouse {"type":"up"');
  await desktop.ask('remove-taskbar');
  const taskbar = shell('taskbar');
  await taskbar.ask();
  await until('attached');
  assert.equal(await attachment.detach(), 0);
  await Promise.all([taskbar.end(), desktop.end()]);
  assert.deepEqual(seen.filter((text) => !text.startsWith('mouse {"type":"move"')), [
    'mouse {"type":"down","x":300,"y":200}', 'mouse {"type":"up","x":300,"y":200}',
    'explorer-restarted {}', `attached {"hwnd":"${host}","workerw":"${layer}","mode":"classic"}`,
    `detached {"hwnd":"${host}"}`, 'exit {"code":0,"signal":null}']);
});
