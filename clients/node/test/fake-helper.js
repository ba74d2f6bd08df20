'use strict';
// Plays the helper for the client's tests: run in its place with a script of steps as its first
// argument (or an object of such scripts by command), the helper's own arguments after it. A
// string (one character a byte) is written to standard output as one chunk; {err} goes to standard
// error; {args} writes an error event that names the arguments; {input} waits for the end of
// standard input and writes an error event with what came ({input: 'quiet'}: writes nothing);
// {bytes} writes that many bytes of "x", with no line feed; {wait} sleeps that many milliseconds;
// {record} appends the process id and the arguments to that file; {ignore} ignores that signal;
// {kill} sends this process that signal; {exit} ends with that code.
const fs = require('node:fs');

const [script, ...args] = process.argv.slice(2);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const errorLine = (message) => JSON.stringify({ event: 'error', message }) + '\n';
const plays = JSON.parse(script);

(async () => {
  for (const step of Array.isArray(plays) ? plays : plays[args[0]] ?? []) {
    if (typeof step === 'string') process.stdout.write(Buffer.from(step, 'latin1'));
    else if (step.err) process.stderr.write(step.err);
    else if (step.args) process.stdout.write(errorLine(args.join(' ')));
    else if (step.input) {
      let input = '';
      for await (const chunk of process.stdin) input += chunk;
      if (step.input !== 'quiet') process.stdout.write(errorLine(input));
    } else if (step.bytes) {
      const chunk = Buffer.alloc(65536, 'x');
      for (let left = step.bytes; left > 0; left -= chunk.length) {
        if (process.stdout.write(chunk.subarray(0, left))) continue;
        await new Promise((resolve) => process.stdout.once('drain', resolve));
      }
    } else if (step.wait) await sleep(step.wait);
    else if (step.record) fs.appendFileSync(step.record, `${process.pid} ${args.join(' ')}\n`);
    else if (step.ignore) process.on(step.ignore, () => {});
    else if (step.kill) process.kill(process.pid, step.kill);
    else process.exit(step.exit);
    await sleep(20);
  }
})();
