#!/usr/bin/env node
'use strict';
// Times the real program against the floor of its work on the same files.
// Alternates, RUNS times each, a run of the program (as its parent starts it,
// with an IPC channel; through peak-resident-set for its peak memory) and a
// run of frame-read-floor, each a fresh process, and prints per case the
// median host time per frame (bench-time / bench-frame), the median floor per
// frame (one pass over the case's files / 30) and their ratio, then the
// program's peak resident set and the machine's load averages. With
// --extended the program runs with --results: one recorded pass per case,
// the decoder's set-up outside it, the case's files hashed against the
// manifest just before it (so warmer than the floor).
//   node scripts/measure-performance.js [--runs N] [--build DIR] [--extended]
const { spawn, spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const root = path.resolve(__dirname, '..');
const framesPerCase = 30;
const targetRatio = 1.2;
const extendedArgs = ['--results'];
let extended = false;
let runs = 21;
let buildDir = path.join(root, 'build-release');
for (let i = 2; i < process.argv.length; ++i) {
  if (process.argv[i] === '--runs') runs = Number(process.argv[++i]);
  else if (process.argv[i] === '--build') buildDir = path.resolve(process.argv[++i]);
  else if (process.argv[i] === '--extended') extended = true;
  else { console.error('usage: measure-performance.js [--runs N] [--build DIR] [--extended]'); process.exit(2); }
}
if (!Number.isInteger(runs) || runs < 1) { console.error('measure-performance: --runs takes a positive count'); process.exit(2); }
const program = path.join(buildDir, 'app', 'tarsel-bench');
const floorTool = path.join(buildDir, 'tools', 'frame-read-floor');
const launcher = path.join(buildDir, 'tools', 'peak-resident-set');
// The program's case order.
const caseDirs = ['h264', 'h265'].flatMap((codec) =>
  ['1280_720', '1920_1080', '2560_1440', '3840_2160'].map((size) => `./data/${codec}/${size}/`));

// Runs the program as its parent does; resolves with its report and its peak
// resident set in KiB, taken by the launcher from the kernel at exit.
function runProgram(peakFile) {
  return new Promise((resolve, reject) => {
    fs.rmSync(peakFile, { force: true });
    const child = spawn(launcher, [peakFile, program, ...(extended ? extendedArgs : [])],
      { cwd: root, stdio: ['ignore', 'ignore', 'inherit', 'ipc'] });
    let report = null;
    let results = null;
    child.on('message', (message) => {
      if (message.bench !== undefined) report = message;
      if (message.results !== undefined) results = message.results;
    });
    child.on('error', reject);
    child.on('close', (code, signal) => {
      if (code !== 0 || !report || (extended && !results)) {
        reject(new Error(`program failed (${signal || code}${report ? '' : ', no report'})`));
        return;
      }
      const peakKiB = Number(fs.readFileSync(peakFile, 'utf8'));
      if (!(peakKiB > 0)) { reject(new Error('no peak resident set from the launcher')); return; }
      resolve({ report, results, peakKiB });
    });
  });
}

function runFloor() {
  const floor = spawnSync(floorTool, [String(framesPerCase), ...caseDirs], { cwd: root, encoding: 'utf8' });
  if (floor.status !== 0) throw new Error(`frame-read-floor failed: ${floor.stderr}`);
  const passes = JSON.parse(floor.stdout);
  return caseDirs.map((dir) => passes[dir] / framesPerCase);
}

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = sorted.length >> 1;
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

const loadText = () => os.loadavg().map((value) => value.toFixed(2)).join(', ');

// Brings the three programs up to date in the build folder scripts/run made.
function build() {
  const cache = path.join(buildDir, 'CMakeCache.txt');
  if (!fs.existsSync(cache)) throw new Error(`no build in ${buildDir}: run scripts/run first`);
  const buildType = /^CMAKE_BUILD_TYPE:\w+=(.*)$/m.exec(fs.readFileSync(cache, 'utf8'));
  if (!buildType || buildType[1] !== 'Release') console.warn(`measure-performance: ${buildDir} is not a Release build`);
  const targets = ['tarsel-bench', 'frame-read-floor', 'peak-resident-set'];
  const result = spawnSync('cmake', ['--build', buildDir, '--target', ...targets], { encoding: 'utf8' });
  if (result.status !== 0) throw new Error(`building ${targets.join(', ')} failed:\n${result.stdout}${result.stderr}`);
}

async function main() {
  build();
  const peakFile = path.join(os.tmpdir(), `tarsel-peak-${process.pid}`);
  const loadBefore = loadText();
  const programNs = caseDirs.map(() => []);
  const floorNs = caseDirs.map(() => []);
  const peaks = [];
  try {
    for (let run = 0; run < runs; ++run) {
      // Take turns at going first, so that neither side always meets the
      // caches and the machine's load as the other left them.
      const order = run % 2 === 0 ? ['program', 'floor'] : ['floor', 'program'];
      for (const side of order) {
        if (side === 'floor') {
          runFloor().forEach((ns, i) => floorNs[i].push(ns));
          continue;
        }
        const { report, results, peakKiB } = await runProgram(peakFile);
        peaks.push(peakKiB);
        const cases = extended
          ? results.cases.map((c) => ({ pass: c.pass, us: c.medianUs, frames: c.frames }))
          : [...report.bench[1], ...report.bench[2][1]].map((c) => ({ pass: c['bench-pass'], us: c['bench-time'], frames: c['bench-frame'] }));
        if (cases.length !== caseDirs.length) throw new Error(`report has ${cases.length} cases`);
        cases.forEach((c, i) => {
          if (!c.pass) throw new Error(`case ${caseDirs[i]} failed`);
          programNs[i].push((c.us * 1000) / c.frames);
        });
      }
    }
  } finally {
    fs.rmSync(peakFile, { force: true });
  }

  console.log(`${runs} program runs${extended ? ` (${extendedArgs.join(' ')}: set-up apart, files checked first)` : ''} and ${runs} floor runs, alternating; medians per frame in microseconds`);
  console.log('case                     program    floor   ratio');
  let worst = 0;
  caseDirs.forEach((dir, i) => {
    const p = median(programNs[i]) / 1000;
    const f = median(floorNs[i]) / 1000;
    worst = Math.max(worst, p / f);
    console.log(`${dir.padEnd(22)} ${p.toFixed(1).padStart(9)} ${f.toFixed(1).padStart(8)} ${(p / f).toFixed(2).padStart(7)}`);
  });
  console.log(`worst ratio ${worst.toFixed(2)} (target ${targetRatio}): ${worst <= targetRatio ? 'met' : 'not met'}`);
  console.log(`program peak resident set: median ${(median(peaks) / 1024).toFixed(1)} MiB, max ${(Math.max(...peaks) / 1024).toFixed(1)} MiB`);
  console.log(`load averages (1, 5, 15 min): ${loadBefore} before, ${loadText()} after; ${os.cpus().length} CPUs`);
}

main().catch((error) => { console.error(`measure-performance: ${error.message}`); process.exit(1); });
