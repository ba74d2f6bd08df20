'use strict';
// Plays the helper for the client's tests: run in its place with a script of steps as its first
// argument, the helper's own arguments after it. A string (one character a byte) is written to
// standard output as one chunk; {err} goes to standard error; {args} writes an error event that
// names the arguments; {input} waits for the end of standard input and writes an error event with
// what came; {exit} ends with that code.
const [script, ...args] = process.argv.slice(2);
const pause = () => new Promise((resolve) => setTimeout(resolve, 20));
const errorLine = (message) => JSON.stringify({ event: 'error', message }) + '\n';

(async () => {
  for (const step of JSON.parse(script)) {
    if (typeof step === 'string') process.stdout.write(Buffer.from(step, 'latin1'));
    else if (step.err) process.stderr.write(step.err);
    else if (step.args) process.stdout.write(errorLine(args.join(' ')));
    else if (step.input) {
      let input = '';
      for await (const chunk of process.stdin) input += chunk;
      process.stdout.write(errorLine(input));
    } else process.exit(step.exit);
    await pause();
  }
})();
