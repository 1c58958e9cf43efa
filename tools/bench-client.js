#!/usr/bin/env node
'use strict';
// Runs the decode benchmark the way its users' parent does: the program is a
// child with an IPC channel, working in a directory that holds data/. Waits for
// the one report, prints it as a table (or raw with --json) and exits non-zero
// when the program fails, ends without a report or runs past the time limit.
const { spawn } = require('child_process');
const fs = require('fs');
const path = require('path');

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
      if (!(options.timeoutSeconds > 0)) usage('--timeout takes a positive number of seconds');
    } else if (argument === '--json') options.json = true;
    else if (argument === '--help' || argument === '-h') usage();
    else usage(`unknown argument ${argument}`);
  }
  return options;
}

// The report nests the H.265 group one level deeper than the H.264 group:
// {"bench":["h264",[cases],["h265",[cases]]]}. Returns rows or throws.
function reportRows(report) {
  const bench = report && report.bench;
  if (!Array.isArray(bench) || bench.length !== 3 || bench[0] !== 'h264' || !Array.isArray(bench[1]) ||
      !Array.isArray(bench[2]) || bench[2][0] !== 'h265' || !Array.isArray(bench[2][1])) {
    throw new Error('the report does not have the expected shape');
  }
  const rows = [];
  for (const [codec, cases] of [['h264', bench[1]], ['h265', bench[2][1]]]) {
    for (const c of cases) {
      rows.push({
        codec,
        size: `${c.width}x${c.height}`,
        pass: c['bench-pass'] === true,
        timeUs: c['bench-time'],
        frames: c['bench-frame'],
      });
    }
  }
  return rows;
}

function formatTable(rows) {
  const lines = [['codec', 'size', 'pass', 'time ms', 'frames/s']];
  for (const row of rows) {
    const fps = row.pass && row.timeUs > 0 ? (row.frames * 1e6 / row.timeUs).toFixed(1) : '-';
    lines.push([row.codec, row.size, row.pass ? 'yes' : 'no', (row.timeUs / 1000).toFixed(3), fps]);
  }
  const widths = lines[0].map((_, column) => Math.max(...lines.map((line) => line[column].length)));
  return lines.map((line) => line.map((cell, column) =>
    column < 3 ? cell.padEnd(widths[column]) : cell.padStart(widths[column])).join('  ')).join('\n');
}

function main() {
  const options = parseArguments(process.argv.slice(2));
  if (!fs.existsSync(options.program)) {
    console.error(`bench-client: no program at ${options.program} (build it first)`);
    process.exit(1);
  }
  if (!fs.existsSync(path.join(options.dataDir, 'data'))) {
    console.error(`bench-client: warning: ${options.dataDir} holds no data/ folder; every case will fail`);
  }

  const started = Date.now();
  const child = spawn(options.program, [], { cwd: options.dataDir, stdio: ['ignore', 'inherit', 'inherit', 'ipc'] });
  let report = null;
  let timedOut = false;

  const progress = process.stderr.isTTY && !options.json
    ? setInterval(() => process.stderr.write(`\rrunning the benchmark... ${((Date.now() - started) / 1000).toFixed(0)} s`), 1000)
    : null;
  if (!options.json) console.error('running the benchmark, waiting for the report...');

  // A hardware decoder that hangs must not hang this parent as well.
  const deadline = setTimeout(() => {
    timedOut = true;
    console.error(`\nbench-client: no result after ${options.timeoutSeconds} s; stopping the program`);
    child.kill('SIGKILL');
  }, options.timeoutSeconds * 1000);

  child.on('message', (message) => {
    if (message && Object.prototype.hasOwnProperty.call(message, 'bench')) report = message;
  });
  child.on('error', (error) => {
    console.error(`bench-client: cannot start ${options.program}: ${error.message}`);
    process.exitCode = 1;
  });
  // 'close', not 'exit': the report can still be in the channel when the exit
  // is seen (Windows delivers them in that order); 'close' waits for the channel.
  child.on('close', (code, signal) => {
    clearTimeout(deadline);
    if (progress) {
      clearInterval(progress);
      process.stderr.write('\n');
    }
    if (timedOut) {
      process.exitCode = 1;
      return;
    }
    if (signal) {
      console.error(`bench-client: the program was ended by signal ${signal}`);
      process.exitCode = 1;
      return;
    }
    if (code !== 0) {
      console.error(`bench-client: the program exited with status ${code}`);
      process.exitCode = 1;
      return;
    }
    if (!report) {
      console.error('bench-client: the program ended without a report');
      process.exitCode = 1;
      return;
    }
    if (options.json) {
      console.log(JSON.stringify(report));
      return;
    }
    let rows;
    try {
      rows = reportRows(report);
    } catch (error) {
      console.error(`bench-client: ${error.message}: ${JSON.stringify(report)}`);
      process.exitCode = 1;
      return;
    }
    console.log(formatTable(rows));
    console.log(`${rows.filter((row) => row.pass).length} of ${rows.length} cases passed`);
  });
}

if (require.main === module) main();
module.exports = { reportRows, formatTable };
