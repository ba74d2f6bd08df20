// The little of Electron that the README's example uses, so that it can be checked without it.
declare module 'electron' {
  export const app: {
    whenReady(): Promise<void>;
    on(event: 'before-quit', listener: (event: { preventDefault(): void }) => void): void;
    quit(): void;
  };
  export class BrowserWindow {
    constructor(options: { frame: boolean });
    loadFile(file: string): Promise<void>;
    getNativeWindowHandle(): Uint8Array;
    webContents: { send(channel: string, ...args: unknown[]): void };
  }
}
