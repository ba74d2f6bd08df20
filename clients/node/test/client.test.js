'use strict';
// The client against a fake helper that misbehaves on purpose: its lines, its ends, its time
// limits and restarts, and the arguments that it refuses.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const { EventEmitter, once } = require('node:events');
const fs = require('node:fs');
const path = require('node:path');
const client = require('..');
const { packageDir, tmp, playing, line, attachedLine, detachedLine, ended, recorded, commands, until, record } =
  require('./support.js');

test('window handles become the signed 64-bit decimal that the helper takes; others are refused, naming getNativeWindowHandle()', () => {
  const minusTwo = Buffer.from([0xfe, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff]);
  const table = [
    [Buffer.from([0x84, 0x04, 0x04, 0, 0, 0, 0, 0]), '263300'], [minusTwo, '-2'],
    [Buffer.from([0, 0, 0, 0, 0, 0, 0, 0x80]), '-9223372036854775808'],
    [Buffer.from([0xfe, 0xff, 0xff, 0xff]), '-2'], // a 32-bit handle, sign-extended as Windows does
    [263300, '263300'], [2n ** 63n - 1n, '9223372036854775807'], ['-0042', '-42'],
    // The same bits read as unsigned, as readBigUInt64LE() reads them.
    [minusTwo.readBigUInt64LE(), '-2'], ['18446744073709551614', '-2'],
  ];
  for (const [hwnd, text] of table) assert.equal(client.handleText(hwnd), text);
  class BrowserWindow {}
  const bad = [
    [Buffer.from([1, 2, 3]), 'a Buffer of 3 bytes'], [new BrowserWindow(), 'an instance of BrowserWindow'],
    [{}, 'an instance of Object'], [0, 'type number (0)'], [Buffer.alloc(8), 'a Buffer of 8 bytes'], [0n],
    [1.5], [2 ** 53], [2n ** 64n], ['18446744073709551616'], ['1e3'], [''], [null], [undefined],
  ];
  for (const [hwnd, shown = ''] of bad) {
    assert.throws(() => client.handleText(hwnd), (error) => {
      assert.ok(error instanceof TypeError && /^ERR_INVALID_ARG_(TYPE|VALUE)$/.test(error.code), error);
      assert.match(error.message, /getNativeWindowHandle\(\).*\. Received /);
      return error.message.endsWith(shown);
    });
  }
});

test('a session cut anywhere, with junk among its lines and a 10 MB one, gives each event in order', async () => {
  const big = '9007199254740993'; // past the integers that a JavaScript number holds exactly
  const junk = ['not json', '[1]', '{"event":"bogus"}', '{"event":"moved","hwnd":1.5}',
    '{"event":"attached","hwnd":1,"workerw":2,"mode":"sideways"}', '{"event":"power","source":"ac"}'];
  // A bad line before "attached", which the application hears once attach() has resolved, and the
  // first "attached" in one chunk with the next line, which it must hear too. The rest comes 23
  // bytes at a time, odd so that some cut falls inside a two-byte character.
  const chunks = ['junk before\n', `{"event":"attached","hwnd":${big},"workerw":196886,"mode":"classic"}\n` +
    line({ event: 'visibility', hwnd: 1, visible: false })];
  const accents = JSON.stringify({ event: 'power', source: 'battery', saver: 'é'.repeat(30) });
  const rest = Buffer.from([
    `{"event":"attached","hwnd":${big},"workerw":196886,"mode":"raised"}\r`,
    { event: 'mousewheel', x: 1250, y: 380, deltaX: 0, deltaY: 120 }, ...junk,
    { event: 'unresponsive', hwnd: -2, window: 'shell' }, { event: 'responsive', hwnd: 5, window: 'host' },
    accents, { event: 'power', source: 'ups', saver: 'high' }, '',
  ].map((part) => (typeof part === 'string' ? part : JSON.stringify(part))).join('\n'));
  for (let at = 0; at < rest.length; at += 23) chunks.push(rest.subarray(at, at + 23));
  const ending = [{ bytes: 10e6 }, '\n{"event":"explorer-restarted"}\n', { input: true },
    `{"event":"detached","hwnd":${big}}\n`];
  const attachment = await client.attach(big, playing([...chunks, ...ending]));
  const seen = record(attachment);
  assert.equal(attachment.hwnd, big);
  assert.deepEqual(await attachment.detach(), { exitCode: 0, signalCode: null, timedOut: false, givenBack: true });
  assert.deepEqual(seen, ['warning ERR_PROTOCOL junk before', 'visibility {"hwnd":"1","visible":false}',
    `attached {"hwnd":"${big}","workerw":"196886","mode":"raised"}`,
    'mouse {"type":"wheel","x":1250,"y":380,"deltaX":0,"deltaY":120}',
    ...junk.map((junkLine) => `warning ERR_PROTOCOL ${junkLine}`), 'unresponsive {"hwnd":"-2","window":"shell"}',
    'responsive {"hwnd":"5","window":"host"}', `warning ERR_PROTOCOL ${accents}`,
    'power {"source":"ups","saver":"high"}',
    `warning ERR_PROTOCOL ${'x'.repeat(300)}…`, 'explorer-restarted {}', 'warning ERR_HELPER_ERROR detach\n',
    `detached {"hwnd":"${big}"}`, 'exit {"exitCode":0,"signalCode":null}']);
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

test("the README's quit handler quits within detach's 10 s however the helper ended, and detach() then says how", {
  timeout: 40000,
}, async () => {
  const readme = fs.readFileSync(path.join(packageDir, 'README.md'), 'utf8');
  const handler = /\n {2}app\.on\('before-quit'[^]*?\n {2}\}\);\n/.exec(readme)[0];
  const stalled = [attachedLine(42), { wait: 60000 }];
  const deaf = [attachedLine(42), { ignore: 'SIGTERM' }, { wait: 60000 }];
  const givenBack = { detach: [detachedLine(42)] };
  const rows = [
    // A helper and a one-shot detach that ignore everything: the quit waits 10 s, and no more.
    [{ attach: deaf, detach: [{ ignore: 'SIGTERM' }, { wait: 60000 }] }, () => {}, 'quit in 2',
      { exitCode: null, signalCode: 'SIGKILL', timedOut: true, givenBack: false },
      'the window was not given back (detach did not end within 10000 ms); it may still be in the desktop layer'],
    [{ attach: stalled, ...givenBack }, (wallpaper) => process.kill(wallpaper.pid, 'SIGKILL') && ended(wallpaper),
      'quit in 1', { exitCode: null, signalCode: 'SIGKILL', timedOut: false, givenBack: true },
      'the helper was ended by SIGKILL while attached; the window was given back; call attach() again'],
    [{ attach: [attachedLine(42), { input: true }, detachedLine(42)] }, () => {}, 'quit in 2',
      { exitCode: 0, signalCode: null, timedOut: false, givenBack: true }],
    // Killed at half the time, the window given back by a one-shot detach in the other half.
    [{ attach: deaf, ...givenBack }, (wallpaper) => wallpaper.detach({ timeout: 4000 }), 'quit in 1',
      { exitCode: null, signalCode: 'SIGKILL', timedOut: true, givenBack: true }],
  ];
  for (const [script, before, quit, end, message] of rows) {
    const wallpaper = await client.attach(42, playing(script));
    await before(wallpaper);
    const app = electronApp();
    new Function('app', 'wallpaper', handler)(app, wallpaper);
    const quitting = performance.now();
    app.quit();
    assert.equal(await app.quitted, quit);
    assert.ok(performance.now() - quitting < 11000, 'the quit waited longer than detach() may take');
    const { error, ...rest } = await wallpaper.detach();
    assert.deepEqual([rest, error?.message], [end, message]);
  }
});

test('a helper that dies mid-session is replaced after 0.5 s, then 1 s; one that cannot be started ends it at once', {
  timeout: 30000,
}, async () => {
  const [log, node] = [path.join(tmp, 'dying'), path.join(tmp, 'node')];
  fs.symlinkSync(process.execPath, node);
  const script = { attach: [{ record: log }, attachedLine(43), { wait: 60000 }], detach: [{ record: log }] };
  const wallpaper = await client.attach(43, { ...playing(script, node), restart: 3 });
  const seen = record(wallpaper);
  for (const delay of [500, 1000]) {
    const killed = performance.now();
    process.kill(wallpaper.pid, 'SIGKILL');
    await once(wallpaper, 'attached');
    assert.ok(performance.now() - killed >= delay, `restarted within ${delay} ms`);
  }
  // The program is gone, as an update may take it: the third restart fails, and so does the give-back.
  fs.rmSync(node);
  process.kill(wallpaper.pid, 'SIGKILL');
  await ended(wallpaper);
  const { error, ...end } = await wallpaper.detach();
  assert.deepEqual(end, { exitCode: null, signalCode: null, timedOut: false, givenBack: false });
  assert.equal(error.code, 'ERR_SPAWN_FAILED');
  const cannot = 'cannot run the helper: spawn \\S+ ENOENT';
  const message = `^cannot start a new helper: spawn \\S+ ENOENT; the window was not given back \\(${cannot}\\)`;
  assert.match(error.message, new RegExp(`${message}; it may still be in the desktop layer$`));
  assert.deepEqual(commands(log), Array(3).fill('attach --hwnd 43'));
  const restarted = ['restart ERR_HELPER_EXITED SIGKILL', 'attached {"hwnd":"43","workerw":"7","mode":"raised"}'];
  assert.deepEqual(seen, [...restarted, ...restarted, `error ERR_SPAWN_FAILED ${error.message}`,
    'exit {"exitCode":null,"signalCode":null}']);
});

// A signal aborted once a helper has started and recorded itself in the log.
function aborting(log) {
  const [controller, before] = [new AbortController(), recorded(log, Number).length];
  until(() => recorded(log, Number).length > before, 'a helper started').then(() => controller.abort());
  return controller.signal;
}

test('every call can be aborted or timed out, stopping its helper; once attached, the signal detaches and events() ends', {
  timeout: 30000,
}, async () => {
  const log = path.join(tmp, 'stalled');
  const stall = [{ record: log }, { wait: 60000 }];
  // Given up before "attached", the window is given back by a one-shot detach, which answers.
  const stalled = playing({ attach: stall, inspect: stall, refresh: stall, move: stall, detach: [detachedLine(45)] });
  const timeout = 1000;
  const rows = [
    [() => client.attach(45, { ...stalled, signal: aborting(log) }), 'ABORT_ERR'],
    [() => client.attach(46, { ...stalled, timeout }), 'ERR_TIMED_OUT'],
    [() => client.inspect({ ...stalled, signal: aborting(log) }), 'ABORT_ERR'],
    [() => client.refresh({ ...stalled, timeout }), 'ERR_TIMED_OUT'],
    [() => client.move(47, { ...stalled, signal: AbortSignal.abort() }), 'ABORT_ERR'],
  ];
  for (const [call, code] of rows) await assert.rejects(call, { code });

  const controller = new AbortController();
  const mice = [line({ event: 'mousemove', x: 1, y: 2 }), line({ event: 'mouseup', x: 1, y: 2 })];
  const steps = [attachedLine(49), ...mice, { input: true }, detachedLine(49)];
  const polite = await client.attach(49, { ...playing(steps), signal: controller.signal });
  const seen = record(polite);
  const types = [];
  for await (const mouse of polite.events('mouse')) {
    types.push(mouse.type);
    if (mouse.type === 'up') controller.abort();
  }
  assert.deepEqual([types, polite.ended], [['move', 'up'], true]);
  assert.deepEqual(seen.slice(-2), ['detached {"hwnd":"49"}', 'exit {"exitCode":0,"signalCode":null}']);

  const alive = (pid) => {
    try {
      return process.kill(pid, 0);
    } catch {
      return false;
    }
  };
  // Those that the time-outs stopped may have been stopped before they could record themselves.
  const pids = recorded(log, (words) => Number(words[0]));
  assert.ok(pids.length >= 2, pids);
  for (const pid of pids) await until(() => !alive(pid), `the helper ${pid} has ended`);
});

test('an attach given up gives the window back if its helper may have moved it, and the next attach waits for that', {
  timeout: 30000,
}, async () => {
  const log = path.join(tmp, 'given-up');
  // Stuck before "attached", perhaps with the window moved: killed, then a one-shot detach.
  const stuck = { attach: [{ record: log }, { wait: 60000 }], detach: [{ record: log }, detachedLine(60)] };
  await assert.rejects(client.attach(60, { ...playing(stuck), timeout: 300 }), { code: 'ERR_TIMED_OUT' });
  const steps = [{ record: log }, attachedLine(60), { input: true }, detachedLine(60)];
  const again = await client.attach(60, { ...playing(steps), timeout: 10000 });
  await again.detach();
  // Waiting for the shell, it ends with no line on "detach": nothing was moved, nothing is given back.
  const waiting = { attach: [{ record: log }, { input: 'quiet' }], detach: [{ record: log }, detachedLine(61)] };
  await assert.rejects(client.attach(61, { ...playing(waiting), waitShell: 5000, signal: aborting(log) }),
    { code: 'ABORT_ERR' });
  const attached = [{ record: log }, attachedLine(61), { input: true }, detachedLine(61)];
  await (await client.attach(61, playing(attached))).detach();
  assert.deepEqual(commands(log), ['attach --hwnd 60', 'detach --hwnd 60', 'attach --hwnd 60',
    'attach --hwnd 61 --wait-shell 5000', 'attach --hwnd 61']);
});

test('every failure has its code, with how the helper ended, its standard error and its command line', async () => {
  const error = (message, kind) => line({ event: 'error', message, kind });
  const wine = '0024:fixme:ntdll:NtQuerySystemInformation info_class 2\nwine: configuration updated\n';
  const rows = [
    [() => client.refresh({ launcher: [path.join(tmp, 'none')] }),
      { code: 'ERR_SPAWN_FAILED', exitCode: null, cause: 'ENOENT' }],
    [() => client.move(42, playing([{ err: 'usage: ...\nerror: unknown option --x\n' }, { exit: 2 }])),
      { code: 'ERR_COMMAND_LINE_REJECTED', exitCode: 2,
        message: 'the helper rejected its command line (exit code 2): unknown option --x' }],
    [() => client.attach(56, playing([error('Progman not found', 'shell-not-found'), { exit: 1 }])),
      { code: 'ERR_SHELL_NOT_FOUND', kind: 'shell-not-found',
        message: 'Progman not found (the helper exited with code 1)' }],
    [() => client.attach(57, playing(['{"event":"att', { exit: 1 }])),
      { code: 'ERR_PROTOCOL', line: '{"event":"att' }],
    [() => client.attach(58, playing([{ err: `${wine}no reader\n${wine}` }, { exit: 3 }])),
      { code: 'ERR_HELPER_EXITED', stderr: 'no reader',
        message: 'the helper exited with code 3 before attaching: no reader',
        command: `${process.execPath} ${path.join(__dirname, 'fake-helper.js')}` }],
    [() => client.refresh(playing([{ kill: 'SIGKILL' }])),
      { code: 'ERR_HELPER_EXITED', exitCode: null, signalCode: 'SIGKILL',
        message: 'the helper was ended by SIGKILL without its answer' }],
    [() => client.detach(42, playing(['{"event":"moved","hwnd":42}\n'])),
      { code: 'ERR_HELPER_EXITED', message: 'the helper exited with code 0 without its answer', signalCode: null }],
  ];
  // Each kind has its code; an error with none, or one unknown here, is the helper's plain error.
  const kinds = ['window-not-found', 'window-destroyed', 'shell-not-found', 'layer-not-found', 'attach-failed',
    'detach-failed', 'fit-failed', 'reattach-failed', 'wallpaper-refresh-failed', 'start-failed'];
  for (const kind of [...kinds, 'a-newer-kind', undefined]) {
    const code = kind && kinds.includes(kind) ? `ERR_${kind.toUpperCase().replaceAll('-', '_')}` : 'ERR_HELPER_ERROR';
    const message = 'orvel window no longer exists'; // its text tells nothing: the kind does
    rows.push([() => client.move(42, playing([error(message, kind), { exit: 1 }])), { code, kind, exitCode: 1 }]);
  }
  await Promise.all(rows.map(async ([call, expected]) => {
    const failure = await call().then(() => assert.fail('resolved'), (reason) => reason);
    // The cause by its code; the command line up to the fake helper's script.
    const got = { cause: failure.cause?.code, command: failure.command?.slice(0, expected.command?.length) };
    const picked = Object.keys(expected).map((key) => [key, key in got ? got[key] : failure[key]]);
    assert.deepEqual(Object.fromEntries(picked), expected);
  }));
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

test('options are checked as Node checks its own, always rejecting, and a bad one starts or writes nothing', async () => {
  const warnings = [];
  const onWarning = (warning) => warnings.push(warning.name);
  process.on('warning', onWarning);
  const steps = [attachedLine(52), { input: true }, detachedLine(52)];
  const wallpaper = await client.attach(52, { ...playing(steps), timeout: Infinity, restart: false });
  const seen = record(wallpaper);
  const received = `Received type string ('node')`;
  const rows = [
    [() => client.attach(42, { timeout: 2 ** 31 }), RangeError, 'ERR_OUT_OF_RANGE',
      'The value of "options.timeout" is out of range. It must be >= 0 && <= 2147483647 or Infinity. ' +
      'Received 2147483648'],
    [() => client.refresh({ timeout: '5' }), TypeError, 'ERR_INVALID_ARG_TYPE',
      `The "options.timeout" property must be of type number. Received type string ('5')`],
    [() => client.refresh({ launcher: 'node' }), TypeError, 'ERR_INVALID_ARG_TYPE',
      `The "options.launcher" property must be an instance of Array. ${received}`],
    [() => client.move(42, { signal: {} }), TypeError, 'ERR_INVALID_ARG_TYPE',
      'The "options.signal" property must be an instance of AbortSignal. Received an instance of Object'],
    [() => client.attach(42, 'node'), TypeError, 'ERR_INVALID_ARG_TYPE',
      `The "options" argument must be of type object. ${received}`],
    [() => client.attach(42, { forwardMouse: 1 }), TypeError, 'ERR_INVALID_ARG_TYPE'],
    [() => client.attach(42, { restart: -1 }), RangeError, 'ERR_OUT_OF_RANGE'],
    [() => client.attach(42, { trace: '' }), TypeError, 'ERR_INVALID_ARG_VALUE'],
    [() => client.inspect({ waitShell: 1.5 }), RangeError, 'ERR_OUT_OF_RANGE'],
    [() => client.inspect({ hwnd: {} }), TypeError, 'ERR_INVALID_ARG_TYPE'],
    [() => client.attach(Buffer.alloc(2), null), TypeError, 'ERR_INVALID_ARG_VALUE'],
    // No options, or null, are none: off Windows that means no launcher.
    [() => client.attach(42, null), Error, 'ERR_UNSUPPORTED_PLATFORM'],
    [() => wallpaper.detach({ timeout: -1 }), RangeError, 'ERR_OUT_OF_RANGE'],
    [() => wallpaper.detach({ signal: {} }), TypeError, 'ERR_INVALID_ARG_TYPE'],
  ];
  for (const [call, type, code, message] of rows) {
    const calling = call();
    assert.ok(calling instanceof Promise, `${code}: a promise`);
    await assert.rejects(calling, (error) =>
      error instanceof type && error.code === code && (!message || error.message === message));
  }
  await wallpaper.detach({ timeout: 2 ** 31 - 1 });
  process.off('warning', onWarning);
  assert.deepEqual([seen[0], warnings], ['warning ERR_HELPER_ERROR detach\n', []]);
});

test('every option reaches the helper as its flag, and an inspection keeps its handles exact', async () => {
  const echo = playing([{ args: true }, { exit: 1 }]);
  const flags = { forwardMouse: true, zguard: false, reportVisibility: true, followDisplay: true, span: true };
  const rows = [
    [() => client.attach(51, { ...echo, ...flags, trace: '/tmp/a b.jsonl' }),
      'attach --hwnd 51 --forward-mouse --report-visibility --follow-display --span --trace /tmp/a b.jsonl'],
    [() => client.attach(51, { ...echo, reportHangs: true, reportPower: true, waitShell: 0, zguard: true }),
      'attach --hwnd 51 --zguard --report-hangs --report-power --wait-shell 0'],
    [() => client.move(51, { ...echo, ...flags }), 'move --hwnd 51 --span'],
    [() => client.inspect({ ...echo, hwnd: 51n, spawn: true, waitShell: 30000 }),
      'inspect --hwnd 51 --spawn --wait-shell 30000'],
    [() => client.inspect(echo), 'inspect'],
  ];
  for (const [call, args] of rows) await assert.rejects(call, { message: `${args} (the helper exited with code 1)` });

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
  const exact = JSON.parse(JSON.stringify(report).replace(/"#(-?[0-9]+)"/g, '"$1"'));
  assert.deepEqual(await client.inspect(playing([text])), exact);
  const bad = text.replace('"parent":0', '"parent":0.5');
  await assert.rejects(client.inspect(playing([bad])), { code: 'ERR_PROTOCOL', line: bad.slice(0, 300) + '…' });
});

test('a window is attached once at a time, and an attachment shows its state when logged', async () => {
  const wallpaper = await client.attach(50, playing([attachedLine(50), { input: true }, detachedLine(50)]));
  await assert.rejects(client.attach('50', playing([])), { code: 'ERR_ALREADY_ATTACHED' });
  const shown = require('node:util').inspect(wallpaper, { breakLength: Infinity });
  const state = `pid: ${wallpaper.pid}, hwnd: '50', workerw: '7', mode: 'raised', ended: false, exitCode: null`;
  assert.equal(shown, `Attachment { ${state}, signalCode: null }`);
  await wallpaper.detach();
  await assert.rejects(client.attach(50, playing([{ exit: 1 }])), { code: 'ERR_HELPER_EXITED' });
});
