'use strict';
// The package as an application gets it: what `npm pack` puts in it, a fresh project that has
// installed it, its README's example and a strict consumer compiled by the pinned TypeScript, and
// bundles of a consumer made by the pinned esbuild.
const test = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');
const { packageDir, tmp, playing, attachedLine, detachedLine, line } = require('./support.js');

const tool = (name) => path.join(packageDir, 'node_modules', '.bin', name);
const run = (command, args, cwd) => spawnSync(command, args, { cwd, encoding: 'utf8' });
const helperFile = 'orvel-wallpaper-helper.exe';

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

test('packed, the package holds what an application needs, and its .exe can be resolved for build configurations', () => {
  const pack = run('npm', ['pack', '--dry-run', '--json', '--loglevel=error'], packageDir);
  assert.equal(pack.status, 0, pack.stderr);
  const files = JSON.parse(pack.stdout)[0].files.map((file) => file.path).sort();
  assert.deepEqual(files, ['LICENSE', 'README.md', 'index.d.ts', 'index.js', 'lib/checks.js', 'lib/events.js',
    helperFile, 'package.json']);
  const script = `const { defaultHelperPath } = require('orvel-wallpaper-helper');
    const names = ['orvel-wallpaper-helper/helper', 'orvel-wallpaper-helper/${helperFile}'];
    console.log(JSON.stringify([defaultHelperPath(), ...names.map((name) => require.resolve(name))]));`;
  const resolved = run(process.execPath, ['-e', script], project());
  const exe = path.join(packageDir, helperFile);
  assert.deepEqual(JSON.parse(resolved.stdout || '[]'), [exe, exe, exe], resolved.stderr);
});

test('the pinned TypeScript compiles the README example and a strict consumer; the example says why nothing started, and `await using` detaches', async () => {
  const dir = project();
  const compilerOptions = {
    strict: true, target: 'es2022', module: 'node16', lib: ['es2022', 'esnext.disposable'], outDir: 'out',
    types: ['node'],
  };
  const files = ['example.ts', 'consumer.mts'];
  fs.writeFileSync(path.join(dir, 'tsconfig.json'), JSON.stringify({ compilerOptions, files }));
  const tsc = run(tool('tsc'), ['-p', dir], dir);
  assert.equal(tsc.status, 0, tsc.stdout + tsc.stderr);
  // Off Windows without a launcher: nothing is started, and the README's catch says why.
  const example = run(process.execPath, ['out/example.js'], dir);
  assert.equal(example.status, 0, example.stderr);
  assert.match(example.stderr, /^no wallpaper: HelperError: .*code: 'ERR_UNSUPPORTED_PLATFORM'/s);

  const { follow } = await import(path.join(dir, 'out', 'consumer.mjs'));
  const mice = [{ event: 'mousemove', x: 1, y: 2 }, { event: 'mouseup', x: 1, y: 2 },
    { event: 'mousedown', x: 3, y: 4 }];
  const steps = [attachedLine(54), ...mice.map(line), { input: 'quiet' }, detachedLine(54)];
  const [seen, end] = await follow(54, playing(steps));
  assert.deepEqual(seen, [{ type: 'move', x: 1, y: 2 }, { type: 'up', x: 1, y: 2 }]);
  assert.deepEqual(end, { exitCode: 0, signalCode: null, timedOut: false, givenBack: true });
});

test('bundled by esbuild as an ES module or as CommonJS, a consumer loads the package and attaches, and without helperPath says to name one', () => {
  const dir = project();
  fs.writeFileSync(path.join(dir, 'bundled.mjs'), `import { attach, refresh } from 'orvel-wallpaper-helper';
    main(JSON.parse(process.argv[2]));
    async function main(options) {
      const wallpaper = await attach(55, options);
      const { givenBack } = await wallpaper.detach();
      const named = (error) => \`\${error.code} \${/helperPath/.test(error.message)}\`;
      const missing = await refresh({ launcher: [] }).catch(named);
      console.log(wallpaper.workerw, givenBack, missing);
    }`);
  // esbuild's own way to let the CommonJS modules of an ES module bundle require Node's.
  const banner = "import { createRequire } from 'node:module'; const require = createRequire(import.meta.url);";
  const formats = [['esm', 'mjs', [`--banner:js=${banner}`]], ['cjs', 'cjs', []]];
  const script = JSON.stringify(playing([attachedLine(55), { input: 'quiet' }, detachedLine(55)]));
  for (const [format, extension, extra] of formats) {
    const bundle = path.join(tmp, 'bundles', `main.${extension}`);
    const args = ['bundled.mjs', '--bundle', '--platform=node', `--format=${format}`, `--outfile=${bundle}`];
    const built = run(tool('esbuild'), [...args, ...extra], dir);
    assert.equal(built.status, 0, built.stderr);
    const ran = run(process.execPath, [bundle, script], dir);
    assert.equal(ran.stdout, '7 true ERR_SPAWN_FAILED true\n', `${format}: ${ran.stderr}`);
  }
  // Not bundled, the package imports into an ES module too.
  const esm = `import { attach, defaultHelperPath } from 'orvel-wallpaper-helper';
    console.log(typeof attach, defaultHelperPath().endsWith('${helperFile}'));`;
  const imported = run(process.execPath, ['--input-type=module', '-e', esm], dir);
  assert.equal(imported.stdout, 'function true\n', imported.stderr);
});
