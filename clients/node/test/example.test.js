'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const root = path.join(__dirname, '..');

test("the README's Electron example type-checks against the declarations", () => {
  const readme = fs.readFileSync(path.join(root, 'README.md'), 'utf8');
  const example = /```ts\n([^]*?)```/.exec(readme);
  assert.ok(example, 'the README has a ts block');
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'orvel-example-'));
  fs.writeFileSync(path.join(dir, 'example.ts'), example[1]);
  fs.copyFileSync(path.join(__dirname, 'electron.d.ts'), path.join(dir, 'electron.d.ts'));
  const compilerOptions = {
    strict: true, noEmit: true, target: 'es2022', module: 'commonjs', lib: ['es2022', 'dom'],
    baseUrl: '.', paths: { 'orvel-wallpaper-helper': [path.join(root, 'index.d.ts')] },
  };
  fs.writeFileSync(path.join(dir, 'tsconfig.json'), JSON.stringify({ compilerOptions }));
  const tsc = spawnSync('tsc', ['-p', dir], { encoding: 'utf8' });
  fs.rmSync(dir, { recursive: true });
  assert.equal(tsc.status, 0, tsc.stdout + tsc.stderr);
});
