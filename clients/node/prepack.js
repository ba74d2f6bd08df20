'use strict';
// Puts the helper built by the windows preset, and the project's licence, into the package.
const fs = require('node:fs');
const path = require('node:path');

const root = path.join(__dirname, '..', '..');
const helper = path.join(root, 'build', 'windows', 'orvel-wallpaper-helper.exe');
if (!fs.existsSync(helper)) {
  console.error(`prepack: ${helper} is missing; build it first with the windows preset`);
  process.exit(1);
}
fs.copyFileSync(helper, path.join(__dirname, 'orvel-wallpaper-helper.exe'));
fs.copyFileSync(path.join(root, 'LICENSE'), path.join(__dirname, 'LICENSE'));
