#!/usr/bin/env node
'use strict';
// Times the real program against the floor of its work on the same files.
// Runs, alternately and RUNS times each, the program under bench-client
// (--json) and frame-read-floor, then prints per case the median host time
// per frame (bench-time / 30), the median floor per frame and their ratio,
// and the program's peak resident set.
//   node scripts/measure-performance.js [--runs N] [--build DIR]
const { spawn, spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');

const root = path.resolve(__dirname, '..');
let runs = 5;
let buildDir = path.join(root, 'build-release');
for (let i = 2; i < process.argv.length; ++i) {
  if (process.argv[i] === '--runs') runs = Number(process.argv[++i]);
  else if (process.argv[i] === '--build') buildDir = path.resolve(process.argv[++i]);
  else { console.error('usage: measure-performance.js [--runs N] [--build DIR]'); process.exit(2); }
}
const program = path.join(buildDir, 'app', 'tarsel-bench');
const floorTool = path.join(buildDir, 'tools', 'frame-read-floor');
const caseDirs = ['h264', 'h265'].flatMap((codec) =>
  ['1280_720', '1920_1080', '2560_1440', '3840_2160'].map((size) => `./data/${codec}/${size}/`));

// Runs the program as its parent does; resolves with the report and the
// peak resident set (VmHWM) read while the child is still alive, when the
// report arrives after all decoding.
function runProgram() {
  return new Promise((resolve, reject) => {
    const child = spawn(program, [], { cwd: root, stdio: ['ignore', 'ignore', 'inherit', 'ipc'] });
    let report = null;
    let peakKiB = 0;
    child.on('message', (message) => {
      if (message.bench === undefined) return;
      report = message;
      const status = fs.readFileSync(`/proc/${child.pid}/status`, 'utf8');
      peakKiB = Number(/VmHWM:\s+(\d+)/.exec(status)[1]);
    });
    child.on('error', reject);
    child.on('exit', (code) => (code === 0 && report ? resolve({ report, peakKiB }) : reject(new Error(`program failed (${code})`))));
  });
}

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = sorted.length >> 1;
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

async function main() {
  for (const file of [program, floorTool]) {
    if (!fs.existsSync(file)) throw new Error(`${file} is missing: build ${buildDir} first`);
  }
  const programTimes = caseDirs.map(() => []);
  const floorTimes = caseDirs.map(() => []);
  const peaks = [];
  for (let run = 0; run < runs; ++run) {
    const { report, peakKiB } = await runProgram();
    peaks.push(peakKiB);
    const cases = [...report.bench[1], ...report.bench[2][1]];
    cases.forEach((c, i) => {
      if (!c['bench-pass']) throw new Error(`case ${caseDirs[i]} failed`);
      programTimes[i].push((c['bench-time'] * 1000) / c['bench-frame']);
    });
    const floor = spawnSync(floorTool, ['30', ...caseDirs], { cwd: root, encoding: 'utf8' });
    if (floor.status !== 0) throw new Error(`frame-read-floor failed: ${floor.stderr}`);
    const floorResult = JSON.parse(floor.stdout);
    caseDirs.forEach((dir, i) => floorTimes[i].push(floorResult[dir] / 30));
  }
  console.log(`${runs} runs; medians per frame in microseconds`);
  console.log('case                     program    floor   ratio');
  caseDirs.forEach((dir, i) => {
    const p = median(programTimes[i]) / 1000;
    const f = median(floorTimes[i]) / 1000;
    console.log(`${dir.padEnd(22)} ${p.toFixed(1).padStart(9)} ${f.toFixed(1).padStart(8)} ${(p / f).toFixed(2).padStart(7)}`);
  });
  console.log(`peak resident set: median ${(median(peaks) / 1024).toFixed(1)} MiB, max ${(Math.max(...peaks) / 1024).toFixed(1)} MiB`);
}

main().catch((error) => { console.error(`measure-performance: ${error.message}`); process.exit(1); });
