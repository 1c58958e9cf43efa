#!/usr/bin/env node
'use strict';
// Command line over bench-runner.js: runs the decode benchmark and prints its
// report as a table with the decoder the run used (or the messages as they
// came with --json), and what every adapter can decode when asked.
const path = require('path');
const { runBenchmark, probeCapabilities, formatTable, formatCapabilities } = require('./bench-runner');

const kUsage = `usage: tarsel-bench-client --program PATH [options]

Runs the decode benchmark program as the child of this Node.js process (with
an IPC channel, as its real parent does), waits for its report and prints it
as a table, then the decoder the run used.

options:
  --program PATH       the benchmark program (tarsel-bench); required
  --data-dir DIR       its working directory: holds data/ and receives
                       tarsel.log; default: the program's own folder
  --timeout SECONDS    stop the program after this long, 0 for no limit;
                       default: 300
  --capabilities       also ask for what every adapter can decode and print
                       it after the table, one block per adapter
  --capabilities-only  print only what every adapter can decode; nothing is
                       decoded and data/ is not needed
  --json               print the program's messages as they came, one a line
  -h, --help           print this help

exit status:
  0    a measured run, whatever passed (or, with --capabilities-only, the
       capability report)
  1    the program could not start, failed, ended without a report or with a
       malformed one, or ran past the time limit
  2    a usage error: an unknown option, a bad value, a --data-dir that does
       not exist or holds no data/
  130  interrupted (Ctrl-C); 143 terminated (SIGTERM); the program was
       stopped first
`;

class UsageError extends Error {}

function parseArguments(argv) {
  const options = { program: null, dataDir: undefined, timeoutSeconds: 300, json: false, capabilities: false,
    capabilitiesOnly: false, help: false };
  for (let i = 0; i < argv.length; ++i) {
    const argument = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) throw new UsageError(`${argument} needs a value`);
      return argv[++i];
    };
    if (argument === '--program') options.program = path.resolve(value());
    else if (argument === '--data-dir') options.dataDir = path.resolve(value());
    else if (argument === '--timeout') {
      const text = value();
      options.timeoutSeconds = Number(text);
      if (text.trim() === '' || !(options.timeoutSeconds >= 0 && options.timeoutSeconds <= 2147483)) {
        throw new UsageError('--timeout takes a number of seconds from 0 (no limit) to 2147483');
      }
    } else if (argument === '--json') options.json = true;
    else if (argument === '--capabilities') options.capabilities = true;
    else if (argument === '--capabilities-only') options.capabilitiesOnly = true;
    else if (argument === '--help' || argument === '-h') options.help = true;
    else throw new UsageError(`unknown argument ${argument}`);
  }
  if (!options.help && !options.program) throw new UsageError('--program is required');
  return options;
}

// The run's exit status for an error: the caller's fault is a usage error.
function exitStatus(error, interruptedBy) {
  if (error.code === 'ABORT_ERR') return interruptedBy === 'SIGTERM' ? 143 : 130;
  if (error.code === 'TARSEL_NO_DATA' || error.which === 'cwd') return 2;
  return 1;
}

async function main() {
  let options;
  try {
    options = parseArguments(process.argv.slice(2));
  } catch (error) {
    if (!(error instanceof UsageError)) throw error;
    process.stderr.write(`bench-client: ${error.message}\n${kUsage.split('\n')[0]}\n(--help for the options)\n`);
    process.exitCode = 2;
    return;
  }
  if (options.help) {
    process.stdout.write(kUsage);
    return;
  }

  // The program runs in a process group of its own, out of the terminal's
  // reach: an interrupt here ends the run, and so the program.
  const controller = new AbortController();
  let interruptedBy = null;
  for (const name of ['SIGINT', 'SIGTERM']) {
    process.on(name, () => {
      interruptedBy = name;
      controller.abort();
    });
  }
  const runOptions = { program: options.program, cwd: options.dataDir, timeoutMs: options.timeoutSeconds * 1000,
    signal: controller.signal };

  const started = Date.now();
  const progress = process.stderr.isTTY && !options.json && !options.capabilitiesOnly
    ? setInterval(() => process.stderr.write(`\rrunning the benchmark... ${((Date.now() - started) / 1000).toFixed(0)} s`), 1000)
    : null;
  if (!options.json && !options.capabilitiesOnly) console.error('running the benchmark, waiting for the report...');

  let result;
  try {
    result = options.capabilitiesOnly
      ? { capabilities: await probeCapabilities(runOptions) }
      : await runBenchmark({ ...runOptions, capabilities: options.capabilities });
  } catch (error) {
    console.error(`${progress ? '\n' : ''}bench-client: ${error.message}`);
    process.exitCode = exitStatus(error, interruptedBy);
    return;
  } finally {
    if (progress) clearInterval(progress);
  }
  if (progress) process.stderr.write('\n');

  if (options.json) {
    if (result.capabilities) console.log(JSON.stringify({ capabilities: result.capabilities }));
    if (result.report) console.log(JSON.stringify(result.report));
    return;
  }
  if (result.report) {
    // Bars only for a person at a terminal; piped output stays plain columns.
    console.log(formatTable(result.rows, { bars: Boolean(process.stdout.isTTY) }));
    console.log(`${result.rows.filter((row) => row.pass).length} of ${result.rows.length} cases passed`);
    console.log(result.decoder.line);
    if (process.platform !== 'win32') {
      console.log('times: the host side of the work on the simulated video device; no hardware decode time on this platform');
    }
  }
  if (result.capabilities) {
    if (result.report) console.log('');
    console.log(formatCapabilities(result.capabilities));
  }
}

if (require.main === module) main();
