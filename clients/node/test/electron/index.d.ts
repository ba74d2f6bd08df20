// The little of Electron that the README's example uses, so that it can be checked and run without it.
export const app: {
  whenReady(): Promise<void>;
  on(event: 'before-quit', listener: (event: { preventDefault(): void }) => void): void;
  quit(): void;
};
export class BrowserWindow {
  constructor(options: { frame: boolean });
  loadFile(file: string): Promise<void>;
  getNativeWindowHandle(): Buffer;
  webContents: { send(channel: string, ...args: unknown[]): void };
}
