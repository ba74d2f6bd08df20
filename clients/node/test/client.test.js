'use strict';
// The client against a fake helper, its README's example and a consumer against its declarations,
// and whole sessions of the real helper under Wine; test/wine-session.sh runs them.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawn, spawnSync } = require('node:child_process');
const { EventEmitter, once } = require('node:events');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const readline = require('node:readline');
const util = require('node:util');
const client = require('..');

const packageDir = path.join(__dirname, '..');
const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'orvel-client-'));
process.on('exit', () => fs.rmSync(tmp, { recursive: true, force: true }));

// The fake helper plays a script: its steps, or an object of steps by command. A string or a
// Buffer is written as its bytes, in one chunk.
const encode = (steps) =>
  steps.map((step) => (step.constructor === Object ? step : Buffer.from(step).toString('latin1')));
const playing = (script) => ({
  launcher: [process.execPath, path.join(__dirname, 'fake-helper.js')],
  helperPath: JSON.stringify(
    Array.isArray(script)
      ? encode(script)
      : Object.fromEntries(Object.entries(script).map(([command, steps]) => [command, encode(steps)])),
  ),
});
const line = (object) => JSON.stringify(object);
const attachedLine = (hwnd) => `${line({ event: 'attached', hwnd, workerw: 7, mode: 'raised' })}\n`;
const detachedLine = (hwnd) => `${line({ event: 'detached', hwnd })}\n`;
const ended = (attachment) => new Promise((resolve) => attachment.once('exit', resolve));
// The commands, or the process ids, that the fake helper's {record} steps wrote.
const recorded = (file, column) =>
  fs.readFileSync(file, 'utf8').trim().split('\n').map((entry) => column(entry.split(' ')));

async function until(done, what) {
  for (let i = 0; i < 750 && !done(); ++i) await new Promise((resolve) => setTimeout(resolve, 20));
  assert.ok(done(), what);
}

// Every event of an attachment, in order, as text.
function record(attachment) {
  const seen = [];
  for (const name of ['attached', 'visibility', 'mouse', 'explorer-restarted', 'detached', 'exit']) {
    attachment.on(name, (event) => seen.push(`${name} ${JSON.stringify(event)}`));
  }
  for (const name of ['warning', 'restart', 'error']) {
    attachment.on(name, (error) =>
      seen.push(`${name} ${error.code} ${error.line ?? error.signal ?? error.message}`));
  }
  return seen;
}

// A fresh project that has installed the package (and Node's types), with the README's example
// and a stand-in for Electron.
let projectDir;
function project() {
  if (projectDir) return projectDir;
  projectDir = path.join(tmp, 'project');
  const modules = path.join(projectDir, 'node_modules');
  fs.mkdirSync(path.join(modules, '@types'), { recursive: true });
  fs.symlinkSync(packageDir, path.join(modules, 'orvel-wallpaper-helper'));
  const types = path.join('node_modules', '@types', 'node');
  fs.symlinkSync(path.join(packageDir, types), path.join(projectDir, types));
  fs.cpSync(path.join(__dirname, 'electron'), path.join(modules, 'electron'), { recursive: true });
  const readme = fs.readFileSync(path.join(packageDir, 'README.md'), 'utf8');
  fs.writeFileSync(path.join(projectDir, 'example.ts'), /```ts\n([^]*?)```/.exec(readme)[1]);
  fs.copyFileSync(path.join(__dirname, 'consumer.mts'), path.join(projectDir, 'consumer.mts'));
  return projectDir;
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
  assert.deepEqual(await attachment.detach(), { exitCode: 0, signalCode: null, timedOut: false });
  assert.deepEqual(seen, ['visibility {"hwnd":"1","visible":false}',
    `attached {"hwnd":"${big}","workerw":"196886","mode":"raised"}`,
    'mouse {"type":"wheel","x":1250,"y":380,"deltaX":0,"deltaY":120}',
    ...junk.map((junkLine) => `warning ERR_PROTOCOL ${junkLine}`), `error ERR_WINDOW_DESTROYED ${accents}`,
    'explorer-restarted {}', 'warning ERR_HELPER_ERROR detach\n', `detached {"hwnd":"${big}"}`,
    'exit {"code":0,"signal":null}']);
});

// Electron's app as a quit handler meets it: quit() emits before-quit at once, and quits unless a
// listener prevented it. A handler that prevents it again and again is stopped after 100 rounds.
function electronApp() {
  const app = new EventEmitter();
  let rounds = 0;
  app.quitted = new Promise((resolve) => {
    app.quit = () => {
      let prevented = false;
      if (++rounds > 100) return resolve('looped');
      app.emit('before-quit', { preventDefault: () => (prevented = true) });
      if (!prevented) resolve(`quit in ${rounds}`);
    };
  });
  return app;
}

test("the README's quit handler quits however the helper ended, and detach() then says how", async () => {
  const readme = fs.readFileSync(path.join(packageDir, 'README.md'), 'utf8');
  const handler = /\n {2}app\.on\('before-quit'[^]*?\n {2}\}\);\n/.exec(readme)[0];
  const stalled = [attachedLine(42), { wait: 60000 }];
  const rows = [
    [stalled, (wallpaper) => process.kill(wallpaper.pid, 'SIGKILL') && ended(wallpaper), 'quit in 1',
      { exitCode: null, signalCode: 'SIGKILL', timedOut: false }],
    [stalled, (wallpaper) => wallpaper.detach({ timeout: 50 }), 'quit in 1',
      { exitCode: null, signalCode: 'SIGTERM', timedOut: true }],
    [[attachedLine(42), { input: true }, detachedLine(42)], () => {}, 'quit in 2',
      { exitCode: 0, signalCode: null, timedOut: false }],
  ];
  for (const [steps, before, quit, end] of rows) {
    const wallpaper = await client.attach(42, playing({ attach: steps, detach: [detachedLine(42)] }));
    await before(wallpaper);
    const app = electronApp();
    new Function('app', 'wallpaper', handler)(app, wallpaper);
    app.quit();
    assert.equal(await app.quitted, quit);
    const { error, ...rest } = await wallpaper.detach();
    assert.deepEqual(rest, end);
  }
});

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

test('a helper that dies mid-session is replaced while restart allows, then the window is given back', {
  timeout: 20000,
}, async () => {
  const log = path.join(tmp, 'dying');
  const script = {
    attach: [{ record: log }, attachedLine(43), { wait: 60000 }],
    detach: [{ record: log }, detachedLine(43)],
  };
  const wallpaper = await client.attach(43, { ...playing(script), restart: 1 });
  const seen = record(wallpaper);
  assert.equal((await killTwice(wallpaper)).error.code, 'ERR_HELPER_EXITED');
  assert.equal(wallpaper.ended, true);
  const commands = recorded(log, (words) => words.slice(1).join(' '));
  assert.deepEqual(commands, ['attach --hwnd 43', 'attach --hwnd 43', 'detach --hwnd 43']);
  assert.deepEqual(seen, ['restart ERR_HELPER_EXITED SIGKILL',
    'attached {"hwnd":"43","workerw":"7","mode":"raised"}', 'error ERR_HELPER_EXITED SIGKILL',
    'exit {"code":null,"signal":"SIGKILL"}']);
});

test('off Windows without a launcher nothing is started, and the README example says why', async () => {
  // /bin/false, if it were started, would end the helper with code 1.
  const unsupported = { code: 'ERR_UNSUPPORTED_PLATFORM' };
  await assert.rejects(client.attach(44, { helperPath: '/bin/false' }), unsupported);
  const run = { cwd: project(), encoding: 'utf8' };
  const options = ['--module', 'commonjs', '--target', 'es2022', '--outDir', 'out'];
  const tsc = spawnSync('tsc', [...options, 'example.ts'], run);
  assert.equal(tsc.status, 0, tsc.stdout);
  const example = spawnSync(process.execPath, ['out/example.js'], run);
  assert.equal(example.status, 0, example.stderr);
  assert.match(example.stderr, /^no wallpaper: HelperError: .*code: 'ERR_UNSUPPORTED_PLATFORM'/s);
});

test('every call can be aborted or timed out, stopping its helper; a detach that times out kills', {
  timeout: 30000,
}, async () => {
  const log = path.join(tmp, 'stalled');
  const stalled = playing([{ record: log }, { wait: 60000 }]);
  // A signal aborted once the helper has started and recorded itself.
  const count = () => (fs.existsSync(log) ? recorded(log, Number).length : 0);
  const aborting = () => {
    const [controller, before] = [new AbortController(), count()];
    until(() => count() > before, 'a helper started').then(() => controller.abort());
    return controller.signal;
  };
  const timeout = 1000;
  const rows = [
    [() => client.attach(45, { ...stalled, signal: aborting() }), 'ABORT_ERR'],
    [() => client.attach(46, { ...stalled, timeout }), 'ERR_TIMED_OUT'],
    [() => client.inspect({ ...stalled, signal: aborting() }), 'ABORT_ERR'],
    [() => client.refresh({ ...stalled, timeout }), 'ERR_TIMED_OUT'],
    [() => client.move(47, { ...stalled, signal: AbortSignal.abort() }), 'ABORT_ERR'],
  ];
  for (const [call, code] of rows) await assert.rejects(call, { code });

  const stubborn = [{ record: log }, attachedLine(48), { ignore: 'SIGTERM' }, { wait: 60000 }];
  const wallpaper = await client.attach(48, playing({ attach: stubborn, detach: [detachedLine(48)] }));
  const killed = { exitCode: null, signalCode: 'SIGKILL', timedOut: true };
  assert.deepEqual(await wallpaper.detach({ timeout: 100 }), killed);

  // Once attached, the signal detaches the window.
  const controller = new AbortController();
  const steps = [attachedLine(49), { input: true }, detachedLine(49)];
  const polite = await client.attach(49, { ...playing(steps), signal: controller.signal });
  const seen = record(polite);
  controller.abort();
  await ended(polite);
  assert.deepEqual(seen.slice(-2), ['detached {"hwnd":"49"}', 'exit {"code":0,"signal":null}']);

  const alive = (pid) => {
    try {
      return process.kill(pid, 0);
    } catch {
      return false;
    }
  };
  // Those that the time-outs stopped may have been stopped before they could record themselves.
  const pids = recorded(log, (words) => Number(words[0]));
  assert.ok(pids.length >= 3, pids);
  for (const pid of pids) await until(() => !alive(pid), `the helper ${pid} has ended`);
});

test('every failure has its code, with the exit, the signal and the cause', async () => {
  const error = (message) => `${line({ event: 'error', message })}\n`;
  const rows = [
    [() => client.refresh({ launcher: [path.join(tmp, 'none')] }),
      { code: 'ERR_SPAWN_FAILED', exitCode: null, cause: 'ENOENT' }],
    [() => client.move(42, playing([{ err: 'usage: ...\nerror: unknown option --x\n' }, { exit: 2 }])),
      { code: 'ERR_COMMAND_LINE_REJECTED', message: 'unknown option --x', exitCode: 2 }],
    [() => client.attach(42, playing([error('no Progman'), { exit: 1 }])),
      { code: 'ERR_HELPER_ERROR', message: 'no Progman', exitCode: 1 }],
    [() => client.detach(42, playing([error('orvel window no longer exists'), { exit: 1 }])),
      { code: 'ERR_WINDOW_NOT_FOUND', exitCode: 1 }],
    [() => client.attach(42, playing(['{"event":"att', { exit: 1 }])),
      { code: 'ERR_PROTOCOL', line: '{"event":"att' }],
    [() => client.refresh(playing([{ kill: 'SIGKILL' }])),
      { code: 'ERR_HELPER_EXITED', exitCode: null, signal: 'SIGKILL' }],
    [() => client.detach(42, playing(['{"event":"moved","hwnd":42}\n'])),
      { code: 'ERR_HELPER_EXITED', message: 'the helper exited with code 0', signal: null }],
    [() => client.attach(Buffer.alloc(2), playing([])), { name: 'TypeError', code: 'ERR_INVALID_ARG_VALUE' }],
  ];
  for (const [call, expected] of rows) {
    const failure = await call().then(() => assert.fail('resolved'), (reason) => reason);
    const got = (key) => (key === 'cause' ? failure.cause.code : failure[key]);
    assert.deepEqual(Object.fromEntries(Object.keys(expected).map((key) => [key, got(key)])), expected);
  }
  assert.deepEqual(await client.refresh(playing(['{"event":"refreshed"}\n'])), { event: 'refreshed' });
});

test('out of file handles, attach rejects and the application lives on', () => {
  const script = `const { attach } = require(${JSON.stringify(packageDir)});
    const held = [];
    try { for (;;) held.push(require('node:fs').openSync('/dev/null', 'r')); } catch {}
    attach(42, { launcher: [], helperPath: '/bin/true' })
      .catch((error) => console.log(error.code, error.cause.code));`;
  const child = spawnSync(process.execPath, ['-e', script], { encoding: 'utf8' });
  assert.equal(child.status, 0, child.stderr);
  assert.equal(child.stdout, 'ERR_SPAWN_FAILED EMFILE\n');
});

test('a strict consumer type-checks: events.once and events.on, a wheel delta, a switch over codes', () => {
  const dir = project();
  const compilerOptions = { strict: true, target: 'es2022', module: 'node16', lib: ['es2022'] };
  const files = ['example.ts', 'consumer.mts'];
  fs.writeFileSync(path.join(dir, 'tsconfig.json'), JSON.stringify({ compilerOptions, files }));
  const tsc = spawnSync('tsc', ['--noEmit', '-p', dir], { encoding: 'utf8' });
  assert.equal(tsc.status, 0, tsc.stdout + tsc.stderr);
});

test('bundled, attached twice, logged and imported, the package behaves as applications need', async () => {
  // A bundle is written away from the .exe beside this package.
  fs.copyFileSync(path.join(packageDir, 'index.js'), path.join(tmp, 'bundle.js'));
  const bundle = require(path.join(tmp, 'bundle.js'));
  const missing = await bundle.refresh({ launcher: [process.execPath] }).catch((error) => error);
  assert.deepEqual([missing.code, missing.cause.code], ['ERR_SPAWN_FAILED', 'ENOENT']);
  assert.match(missing.message, /orvel-wallpaper-helper\.exe is missing .*helperPath/);

  const wallpaper = await client.attach(50, playing([attachedLine(50), { input: true }, detachedLine(50)]));
  await assert.rejects(client.attach('50', playing([])), { code: 'ERR_ALREADY_ATTACHED' });
  const shown = util.inspect(wallpaper, { breakLength: Infinity });
  const state = `pid: ${wallpaper.pid}, hwnd: '50', workerw: '7', mode: 'raised', ended: false, exitCode: null`;
  assert.equal(shown, `Attachment { ${state}, signalCode: null }`);
  await wallpaper.detach();
  await assert.rejects(client.attach(50, playing([{ exit: 1 }])), { code: 'ERR_HELPER_EXITED' });

  const script = `const { type } = require('orvel-wallpaper-helper/package.json');
    import('orvel-wallpaper-helper')
      .then((esm) => console.log(type, typeof esm.attach, typeof esm.inspect));`;
  const run = spawnSync(process.execPath, ['-e', script], { cwd: project(), encoding: 'utf8' });
  assert.equal(run.stdout, 'commonjs function function\n', run.stderr);
});

test('span, trace and inspect reach the helper, and an inspection keeps its handles exact', async () => {
  const echo = playing([{ args: true }, { exit: 1 }]);
  const flags = { forwardMouse: true, zguard: false, reportVisibility: true, followDisplay: true, span: true };
  const rows = [
    [() => client.attach(51, { ...echo, ...flags, trace: '/tmp/a b.jsonl' }),
      'attach --hwnd 51 --forward-mouse --report-visibility --follow-display --span --trace /tmp/a b.jsonl'],
    [() => client.move(51, { ...echo, ...flags }), 'move --hwnd 51 --span'],
    [() => client.inspect({ ...echo, hwnd: 51n, spawn: true }), 'inspect --hwnd 51 --spawn'],
    [() => client.inspect(echo), 'inspect'],
  ];
  for (const [call, message] of rows) await assert.rejects(call, { message });

  // Handles are written "#digits" here, and as numbers in the helper's line.
  const rect = { left: 0, top: 0, right: 1920, bottom: 1080 };
  const report = {
    version: '0.5.0', system: { major: 10, minor: 0, build: 26100 },
    monitors: [{ device: '\\\\.\\DISPLAY1', rect, work: { ...rect, bottom: 1040 }, dpi: 96, primary: true }],
    shell: [{ hwnd: '#9007199254740993', class: 'Progman', parent: '#0', pid: 1234, style: 2516582400,
      exStyle: 128, rect, visible: true, z: 0 }],
    choice: { monitor: '\\\\.\\DISPLAY1', layer: '#-2', mode: 'classic', reason: 'its "hwnd":1 is the layer' },
    taskbarPid: 1234, composition: true,
  };
  const text = line({ event: 'inspected', ...report }).replace(/"#(-?[0-9]+)"/g, '$1');
  const exact = JSON.parse(line(report).replace(/"#(-?[0-9]+)"/g, '"$1"'));
  assert.deepEqual(await client.inspect(playing([`${text}\n`])), exact);
  const bad = text.replace('"parent":0', '"parent":0.5');
  await assert.rejects(client.inspect(playing([`${bad}\n`])), { code: 'ERR_PROTOCOL', line: bad });
});

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
  const inspected = await client.inspect({ hwnd: host, ...run });
  assert.deepEqual([inspected.choice.layer, inspected.choice.mode], [layer, 'classic']);
  const attachment = await client.attach(host, { forwardMouse: true, ...run });
  t.after(() => attachment.detach());
  const seen = record(attachment);
  assert.deepEqual([attachment.workerw, attachment.mode], [layer, 'classic']);
  await desktop('click 300 200');
  await until(() => seen.some((text) => text.startsWith('mouse {"type":"up"')), 'the click came');
  await desktop('remove-taskbar');
  await shell(t, 'taskbar')();
  await until(() => seen.some((text) => text.startsWith('attached')), 'attached again');
  assert.deepEqual(await attachment.detach(), { exitCode: 0, signalCode: null, timedOut: false });
  assert.deepEqual(seen.filter((text) => !text.startsWith('mouse {"type":"move"')), [
    'mouse {"type":"down","x":300,"y":200}', 'mouse {"type":"up","x":300,"y":200}',
    'explorer-restarted {}', `attached {"hwnd":"${host}","workerw":"${layer}","mode":"classic"}`,
    `detached {"hwnd":"${host}"}`, 'exit {"code":0,"signal":null}']);

  const wallpaper = await client.attach(host, { restart: 1, ...run });
  t.after(() => wallpaper.detach());
  assert.equal((await killTwice(wallpaper)).error?.code, 'ERR_HELPER_EXITED');
  // Given back, the window outlives the layer that it was attached to.
  await desktop('destroy-layer');
  assert.deepEqual(await client.move(host, run), { event: 'moved', hwnd: host });
});
