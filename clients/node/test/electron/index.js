'use strict';
// The little of Electron that the README's example uses: a window whose handle is 263300.
const { EventEmitter } = require('node:events');

const app = Object.assign(new EventEmitter(), { whenReady: async () => {}, quit() {} });
class BrowserWindow {
  webContents = { send() {} };
  async loadFile() {}
  getNativeWindowHandle() {
    return Buffer.from([0x84, 0x04, 0x04, 0, 0, 0, 0, 0]);
  }
}
module.exports = { app, BrowserWindow };
