#!/usr/bin/env node
'use strict';
// Command line over bench-runner.js: runs the decode benchmark, prints its
// report as a table with the decoder the run used (or raw with --json) and
// exits non-zero when the program cannot start, fails, ends without a report
// or runs past the time limit.
const fs = require('fs');
const path = require('path');
const { runBenchmark, formatTable } = require('./bench-runner');

const repositoryRoot = path.resolve(__dirname, '..');

function usage(message) {
  if (message) console.error(`bench-client: ${message}`);
  console.error('usage: bench-client.js [--program PATH] [--data-dir DIR] [--timeout SECONDS] [--json]');
  process.exit(2);
}

function parseArguments(argv) {
  const options = {
    program: path.join(repositoryRoot, 'build-release', 'app', 'tarsel-bench'),
    dataDir: repositoryRoot,
    timeoutSeconds: 300,
    json: false,
  };
  for (let i = 0; i < argv.length; ++i) {
    const argument = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) usage(`${argument} needs a value`);
      return argv[++i];
    };
    if (argument === '--program') options.program = path.resolve(value());
    else if (argument === '--data-dir') options.dataDir = path.resolve(value());
    else if (argument === '--timeout') {
      options.timeoutSeconds = Number(value());
      if (!(options.timeoutSeconds > 0 && options.timeoutSeconds <= 2147483)) {
        usage('--timeout takes a positive number of seconds, at most 2147483');
      }
    } else if (argument === '--json') options.json = true;
    else if (argument === '--help' || argument === '-h') usage();
    else usage(`unknown argument ${argument}`);
  }
  return options;
}

async function main() {
  const options = parseArguments(process.argv.slice(2));
  if (!fs.existsSync(options.program)) {
    console.error(`bench-client: no program at ${options.program} (build it first)`);
    process.exit(1);
  }
  if (!fs.existsSync(path.join(options.dataDir, 'data'))) {
    console.error(`bench-client: warning: ${options.dataDir} holds no data/ folder; every case will fail`);
  }

  const started = Date.now();
  const progress = process.stderr.isTTY && !options.json
    ? setInterval(() => process.stderr.write(`\rrunning the benchmark... ${((Date.now() - started) / 1000).toFixed(0)} s`), 1000)
    : null;
  if (!options.json) console.error('running the benchmark, waiting for the report...');

  let result;
  try {
    result = await runBenchmark({ program: options.program, cwd: options.dataDir, timeoutMs: options.timeoutSeconds * 1000 });
  } catch (error) {
    console.error(`${progress ? '\n' : ''}bench-client: ${error.message}`);
    process.exitCode = 1;
    return;
  } finally {
    if (progress) clearInterval(progress);
  }
  if (progress) process.stderr.write('\n');
  if (options.json) {
    console.log(JSON.stringify(result.report));
    return;
  }
  // Bars only for a person at a terminal; piped output stays plain columns.
  console.log(formatTable(result.rows, { bars: Boolean(process.stdout.isTTY) }));
  console.log(`${result.rows.filter((row) => row.pass).length} of ${result.rows.length} cases passed`);
  console.log(result.decoder.line);
  if (process.platform !== 'win32') {
    console.log('times: the host side of the work on the simulated video device; no hardware decode time on this platform');
  }
}

if (require.main === module) main();
