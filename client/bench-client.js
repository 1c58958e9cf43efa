#!/usr/bin/env node
'use strict';
// Command line over bench-runner.js: runs the decode benchmark and prints its
// report as a table with the decoder the run used (or the messages as they
// came with --json), and what every adapter can decode when asked.
const fs = require('fs');
const path = require('path');
const { runBenchmark, probeCapabilities, formatCapabilities } = require('./bench-runner');
const { formatResultsTable, passedLine, figuresLine } = require('./results-table');
const { loadResultDocument, compareResults, formatComparison, describeSaved } = require('./compare');
const { resultsChart, comparisonChart } = require('./chart-svg');
const { formatAdapterTable } = require('./adapter-table');

const kUsage = `usage: tarsel-bench-client --program PATH [options]

Runs the decode benchmark program as the child of this Node.js process (with
an IPC channel, as its real parent does), each case several times, and prints
a table of the cases' medians, then the decoder the run used and how the
figures were taken.

options:
  --program PATH       the benchmark program (tarsel-bench); required
  --data-dir DIR       its working directory: holds data/ and receives
                       tarsel.log; default: the program's own folder
  --timeout SECONDS    stop the program after this long, 0 for no limit;
                       default: 300
  --repeat N           recorded passes per case, 1 to 100; default: 5
  --warmup M           unrecorded passes per case before those, 0 to 100;
                       default: 1
  --save FILE          write the run's result document (JSON) to FILE
  --compare FILE       compare this run with a document saved by --save, case
                       by case: the ratio of the medians and a verdict
                       (faster, slower, no significant difference) from a
                       two-sided Mann-Whitney U test at alpha 0.05
  --plot FILE.svg      draw an SVG chart: the medians and p95 latencies, or
                       with --compare the ratio of the medians per case
  --adapter ID         run on this adapter: its index or its LUID as the
                       capability report gives them; default: the first
                       adapter that decodes the benchmark
  --all-adapters       run on every adapter that decodes the benchmark, one
                       after the other, and print a table of the cases by
                       adapters (median frames/s, real time 30/60/120, the
                       fastest per case marked) and why the others were not
  --stream FILE        run one case over your own Annex B H.264 or H.265 file
                       (.264, .h264, .265, .h265, .hevc) instead of the data
                       set; data/ is not needed
  --codec h264|h265    the stream's codec, where its name does not tell it
  --capabilities       also ask for what every adapter can decode and print
                       it after the table, one block per adapter
  --capabilities-only  print only what every adapter can decode; nothing is
                       decoded and data/ is not needed
  --json               print the program's messages as they came, one a line
                       (the report, then the result document); no table
  -h, --help           print this help

At a terminal a progress bar on standard error follows the cases.

exit status:
  0    a measured run, whatever passed (or, with --capabilities-only, the
       capability report)
  1    the program could not start, failed, ended without a report or with a
       malformed one, or ran past the time limit; or --save or --plot could
       not write its file
  2    a usage error: an unknown option, a bad value, a --data-dir that does
       not exist or holds no data/, a --compare file that cannot be read or
       is not a saved result document, an --adapter the machine does not
       have or that cannot decode the benchmark
  130  interrupted (Ctrl-C); 143 terminated (SIGTERM); the program was
       stopped first
`;

class UsageError extends Error {}

// A whole number from first to last, or a usage error naming the option.
function integerValue(name, text, first, last) {
  const value = /^\d+$/.test(text) ? Number(text) : NaN;
  if (!(value >= first && value <= last)) throw new UsageError(`${name} takes a whole number from ${first} to ${last}`);
  return value;
}

function parseArguments(argv) {
  const options = { program: null, dataDir: undefined, timeoutSeconds: 300, json: false, capabilities: false,
    capabilitiesOnly: false, help: false, repeat: 5, warmup: 1, save: null, compare: null, plot: null,
    adapter: undefined, allAdapters: false, stream: undefined, codec: undefined };
  const measuring = [];
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
    } else if (argument === '--repeat') options.repeat = integerValue(argument, value(), 1, 100);
    else if (argument === '--warmup') options.warmup = integerValue(argument, value(), 0, 100);
    else if (argument === '--save') options.save = path.resolve(value());
    else if (argument === '--compare') options.compare = path.resolve(value());
    else if (argument === '--plot') options.plot = path.resolve(value());
    else if (argument === '--adapter') {
      options.adapter = value();
      if (!/^(\d+|0[xX][0-9a-fA-F]{1,16})$/.test(options.adapter)) {
        throw new UsageError('--adapter takes an adapter\'s index or LUID (0x and up to 16 hex digits)');
      }
    } else if (argument === '--all-adapters') options.allAdapters = true;
    else if (argument === '--stream') options.stream = path.resolve(value());
    else if (argument === '--codec') {
      options.codec = value();
      if (options.codec !== 'h264' && options.codec !== 'h265') throw new UsageError('--codec takes h264 or h265');
    }
    else if (argument === '--json') options.json = true;
    else if (argument === '--capabilities') options.capabilities = true;
    else if (argument === '--capabilities-only') options.capabilitiesOnly = true;
    else if (argument === '--help' || argument === '-h') options.help = true;
    else throw new UsageError(`unknown argument ${argument}`);
    if (['--repeat', '--warmup', '--save', '--compare', '--plot', '--adapter', '--all-adapters', '--stream', '--codec'].includes(argument)) {
      measuring.push(argument);
    }
  }
  if (options.help) return options;
  if (!options.program) throw new UsageError('--program is required');
  if (options.capabilitiesOnly && measuring.length > 0) {
    throw new UsageError(`--capabilities-only decodes nothing; it does not go with ${measuring[0]}`);
  }
  if (options.json && options.compare) throw new UsageError('--compare prints a table; it does not go with --json');
  if (options.codec !== undefined && options.stream === undefined) throw new UsageError('--codec goes with --stream');
  if (options.adapter !== undefined && options.allAdapters) throw new UsageError('--adapter does not go with --all-adapters');
  // One document per adapter: saving, comparing and charting take one run.
  const single = ['--save', '--compare', '--plot'].find((name) => options[name.slice(2)]);
  if (options.allAdapters && single) throw new UsageError(`${single} takes one adapter's run; it does not go with --all-adapters`);
  if (options.plot && !/\.svg$/i.test(options.plot)) throw new UsageError('--plot writes an SVG chart; its file name must end in .svg');
  for (const [name, file] of [['--save', options.save], ['--plot', options.plot]]) {
    if (file && !isDirectory(path.dirname(file))) throw new UsageError(`${name}: the folder ${path.dirname(file)} does not exist`);
    if (file && isDirectory(file)) throw new UsageError(`${name}: ${file} is a folder`);
  }
  return options;
}

function isDirectory(file) {
  try {
    return fs.statSync(file).isDirectory();
  } catch {
    return false;
  }
}

function readSaved(file) {
  try {
    return loadResultDocument(file);
  } catch (error) {
    throw new UsageError(`--compare: ${error.message}`);
  }
}

const kBarWidth = 20;

// The progress bar's line: cases done of the count and the last case, or
// only the time before the first case has finished.
function formatProgress(last, seconds) {
  if (!last) return `[${'.'.repeat(kBarWidth)}] waiting for the first case  ${seconds} s`;
  const done = Math.round(kBarWidth * last.index / last.count);
  return `[${'#'.repeat(done)}${'.'.repeat(kBarWidth - done)}] ${last.index}/${last.count} cases, ` +
    `last ${last.codec} ${last.width}x${last.height}` +
    `${last.pass === false ? ' (failed)' : ''}  ${seconds} s`;
}

// Redraws one line of standard error (a terminal) each second and on every
// finished case; stop() wipes it.
function startProgressBar() {
  const started = Date.now();
  let last = null;
  const draw = () => process.stderr.write(`\r${formatProgress(last, Math.floor((Date.now() - started) / 1000))}\x1b[K`);
  const timer = setInterval(draw, 1000);
  return {
    // The runner has checked the message.
    update(progress) {
      last = progress;
      draw();
    },
    stop() {
      clearInterval(timer);
      process.stderr.write('\r\x1b[K');
    },
  };
}

// The run's exit status for an error: the caller's fault is a usage error.
function exitStatus(error, interruptedBy) {
  if (error.code === 'ABORT_ERR') return interruptedBy === 'SIGTERM' ? 143 : 130;
  if (error.code === 'TARSEL_NO_DATA' || error.code === 'TARSEL_BAD_ARGUMENT' || error.which === 'cwd') return 2;
  return 1;
}

async function main() {
  let options;
  // The saved run is read first: a file that will not do is the caller's
  // mistake, told before anything is timed.
  let saved = null;
  try {
    options = parseArguments(process.argv.slice(2));
    if (options.compare && !options.help) saved = readSaved(options.compare);
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

  if (options.capabilitiesOnly) {
    try {
      const capabilities = await probeCapabilities(runOptions);
      console.log(options.json ? JSON.stringify({ capabilities }) : formatCapabilities(capabilities));
    } catch (error) {
      console.error(`bench-client: ${error.message}`);
      process.exitCode = exitStatus(error, interruptedBy);
    }
    return;
  }

  const bar = process.stderr.isTTY && !options.json ? startProgressBar() : null;
  if (!options.json) {
    console.error(`running the benchmark: ${options.repeat} recorded and ${options.warmup} warm-up passes per case...`);
  }
  let result;
  try {
    result = await runBenchmark({ ...runOptions, capabilities: options.capabilities, repeat: options.repeat,
      warmup: options.warmup, results: true, onProgress: bar ? bar.update : undefined, adapter: options.adapter,
      allAdapters: options.allAdapters, stream: options.stream, codec: options.codec });
  } catch (error) {
    if (bar) bar.stop();
    console.error(`bench-client: ${error.message}`);
    process.exitCode = exitStatus(error, interruptedBy);
    return;
  }
  if (bar) bar.stop();

  const { results } = result;
  const comparison = saved ? compareResults(results, saved) : null;
  if (options.json) {
    if (result.capabilities) console.log(JSON.stringify({ capabilities: result.capabilities }));
    if (result.adapters) console.log(JSON.stringify({ adapters: result.adapters }));
    console.log(JSON.stringify(result.report));
    for (const each of result.adapterResults || [results]) console.log(JSON.stringify({ results: each }));
  } else if (result.adapterResults) {
    console.log(formatAdapterTable(result.adapterResults, result.adapters));
    console.log(figuresLine(results.context));
    if (result.capabilities) console.log(`\n${formatCapabilities(result.capabilities)}`);
  } else {
    // Bars only for a person at a terminal; piped output stays plain columns.
    console.log(formatResultsTable(results, { bars: Boolean(process.stdout.isTTY) }));
    console.log(passedLine(results));
    console.log(result.decoder.line);
    console.log(figuresLine(results.context));
    if (comparison) console.log(`\n${describeSaved(options.compare, results, saved)}\n${formatComparison(comparison)}`);
    if (result.capabilities) console.log(`\n${formatCapabilities(result.capabilities)}`);
  }

  const writes = [];
  if (options.save) writes.push(['results', options.save, `${JSON.stringify(results, null, 2)}\n`]);
  if (options.plot) {
    writes.push(['chart', options.plot, comparison ? comparisonChart(comparison, results.context) : resultsChart(results)]);
  }
  for (const [what, file, text] of writes) {
    try {
      fs.writeFileSync(file, text);
      if (!options.json) console.error(`wrote the ${what} to ${file}`);
    } catch (error) {
      console.error(`bench-client: could not write the ${what} to ${file}: ${error.message}`);
      process.exitCode = 1;
    }
  }
}

if (require.main === module) main();
