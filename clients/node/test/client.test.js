'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const client = require('..');

// The fake helper plays `steps`; a string or a Buffer is written as its bytes, in one chunk.
const playing = (steps) => ({
  launcher: [process.execPath, path.join(__dirname, 'fake-helper.js')],
  helperPath: JSON.stringify(
    steps.map((step) => (step.constructor === Object ? step : Buffer.from(step).toString('latin1'))),
  ),
});
const line = (object) => JSON.stringify(object) + '\n';

test('window handles become the signed 64-bit decimal that the helper takes', () => {
  const table = [
    [Buffer.from([0x84, 0x04, 0x04, 0, 0, 0, 0, 0]), '263300'],
    [Buffer.from([0xfe, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff]), '-2'],
    [Buffer.from([0, 0, 0, 0, 0, 0, 0, 0x80]), '-9223372036854775808'],
    [Buffer.from([0xfe, 0xff, 0xff, 0xff]), '-2'], // a 32-bit handle, sign-extended as Windows does
    [263300, '263300'],
    [2n ** 63n - 1n, '9223372036854775807'],
    ['-0042', '-42'],
  ];
  for (const [hwnd, text] of table) assert.equal(client.handleText(hwnd), text);
  for (const bad of [Buffer.alloc(3), 1.5, 2 ** 53, 2n ** 63n, '9223372036854775808', '1e3', '', null, undefined]) {
    assert.throws(() => client.handleText(bad), TypeError);
  }
});

test('a session cut anywhere, with junk among its lines, gives each event once and in order', async () => {
  const big = '9007199254740993'; // past the integers that a JavaScript number holds exactly
  const accents = 'é'.repeat(30);
  // The first "attached" comes in one chunk with the next line, which the application must hear
  // although it can listen only once attach() has resolved.
  const first = Buffer.from(
    `{"event":"attached","hwnd":${big},"workerw":196886,"mode":"classic"}\n` +
      line({ event: 'visibility', hwnd: 1, visible: false }),
  );
  const text = [    `{"event":"attached","hwnd":${big},"workerw":196886,"mode":"raised"}\r\n`,
    line({ event: 'mousewheel', x: 1250, y: 380, deltaX: 0, deltaY: 120 }),
    'not json\n[1]\n{"event":"bogus"}\n{"event":"moved","hwnd":1.5}\n',
    line({ event: 'attached', hwnd: 1, workerw: 2, mode: 'sideways' }),
    line({ event: 'error', message: accents, kind: 'window-destroyed' }),
    line({ event: 'explorer-restarted' }) + line({ event: 'heartbeat' }),
  ].join('');
  const bytes = Buffer.from(text);
  const chunks = [first];
  // 23 is odd: some cut falls inside a two-byte character.
  for (let at = 0; at < bytes.length; at += 23) chunks.push(bytes.subarray(at, at + 23));
  const ending = [{ input: true }, `{"event":"detached","hwnd":${big}}\n`];
  const attachment = await client.attach(big, playing([...chunks, ...ending]));
  const seen = [];
  for (const name of ['attached', 'visibility', 'mouse', 'explorer-restarted', 'heartbeat', 'detached', 'exit']) {
    attachment.on(name, (event) => seen.push([name, event]));
  }
  attachment.on('error', (error) => seen.push(['error', error.kind, error.kind === 'protocol' ? error.line : error.message]));
  assert.equal(attachment.hwnd, '9007199254740993');
  assert.equal(await attachment.detach(), 0);
  assert.deepEqual(seen, [
    ['visibility', { hwnd: '1', visible: false }],
    ['attached', { hwnd: big, workerw: '196886', mode: 'raised' }],
    ['mouse', { type: 'wheel', x: 1250, y: 380, deltaX: 0, deltaY: 120 }],
    ...['not json', '[1]', '{"event":"bogus"}', '{"event":"moved","hwnd":1.5}'].map((l) => ['error', 'protocol', l]),
    ['error', 'protocol', '{"event":"attached","hwnd":1,"workerw":2,"mode":"sideways"}'],
    ['error', 'window-destroyed', accents],
    ['explorer-restarted', {}],
    ['heartbeat', {}],
    ['error', undefined, 'detach\n'],
    ['detached', { hwnd: big }],
    ['exit', { code: 0, signal: null }],
  ]);
});

test('a helper that fails, dies or cannot start rejects with its reason, never throws', async () => {
  const hwnd = 42;
  const rows = [
    [() => client.attach(hwnd, playing([line({ event: 'error', message: 'Progman not found' }), { exit: 1 }])),
      { message: 'Progman not found', exitCode: 1 }],
    [() => client.attach(hwnd, playing(['{"event":"atta', { exit: 1 }])),
      { kind: 'protocol', line: '{"event":"atta', exitCode: 1 }],
    [() => client.attach(hwnd, { ...playing([{ args: true }, { exit: 1 }]), forwardMouse: true, zguard: false,
      reportVisibility: true, followDisplay: true }),
      { message: 'attach --hwnd 42 --forward-mouse --report-visibility --follow-display', exitCode: 1 }],
    [() => client.move(hwnd, playing([{ err: 'usage: ...\nerror: unknown option --x\n' }, { exit: 2 }])),
      { message: 'unknown option --x', exitCode: 2 }],
    [() => client.detach(hwnd, playing([line({ event: 'moved', hwnd }), { exit: 0 }])),
      { message: 'the helper exited with code 0', exitCode: 0 }],
    [() => client.refresh({ helperPath: path.join(__dirname, 'no-such-helper.exe') }),
      { message: /^cannot run the helper: spawn .* ENOENT$/ }],
    [() => client.attach(Buffer.alloc(2), playing([])), { name: 'TypeError' }],
  ];
  for (const [run, expected] of rows) await assert.rejects(run, expected);
  assert.deepEqual(await client.refresh(playing([line({ event: 'refreshed' })])), { event: 'refreshed' });

  // Once attached, a helper that dies mid-line leaves a protocol error and its exit, and detach()
  // then just gives that exit code.
  const attached = line({ event: 'attached', hwnd, workerw: 7, mode: 'raised' });
  const attachment = await client.attach(hwnd, playing([attached, '{"event":"heart', { exit: 3 }]));
  const seen = [];
  attachment.on('error', (error) => seen.push(error.line)).on('exit', (exit) => seen.push(exit));
  await new Promise((resolve) => attachment.once('exit', resolve));
  assert.equal(await attachment.detach(), 3);
  assert.deepEqual(seen, ['{"event":"heart', { code: 3, signal: null }]);
});
