'use strict';
// The client's module with fake programs: Node.js scripts that talk over the
// IPC channel and write tarsel.log lines the way the program does.
const test = require('node:test');
const assert = require('node:assert');
const { spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const tools = path.join(__dirname, '..', '..', 'tools');
const { runBenchmark, reportRows, formatTable } = require(path.join(tools, 'bench-runner'));

const caseList = (timesUs) => timesUs.map((t) => ({ width: 64, height: 48, 'bench-pass': t > 0, 'bench-time': t, 'bench-frame': 30 }));
const kReport = { bench: ['h264', caseList([10000, 20000, 0, 10000]), ['h265', caseList([40000, 10000, 10000, 10000])]] };
const logLine = (level, text) => `[2026-12-06 10:00:00.000] [global] [${level}] ${text}\r\n`;

function workDir(t, earlierLog) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tarsel-client-'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  if (earlierLog) fs.writeFileSync(path.join(dir, 'tarsel.log'), earlierLog.map(([level, text]) => logLine(level, text)).join(''));
  return dir;
}

// A fake program that runs `body` (with log(level, text) at hand), sends the
// report and exits.
function fakeProgram(dir, body) {
  const file = path.join(dir, 'fake-program');
  fs.writeFileSync(file, `#!${process.execPath}
const fs = require('fs');
const log = (level, text) => fs.appendFileSync('tarsel.log', ${JSON.stringify(logLine('LEVEL', 'TEXT'))}.replace('LEVEL', level).replace('TEXT', text));
${body}
process.send(${JSON.stringify(kReport)}, () => process.exit(0));
`, { mode: 0o755 });
  return file;
}

const kEarlierRuns = [['info', 'decoder : adapter 0 -> Old Card [0x10de//0x1]'],
  ['error', 'decoder: no decoder were found on this computer...'], ['info', 'decoder : adapter 0 -> Old Card [0x10de//0x1]']];

test('the decoder line comes from this run\'s lines only', async (t) => {
  const firstAdapterFails = `log('info', 'decoder : adapter 0 -> First Card [0x1002//0x67df]');
    log('error', 'decoder: could not find suitable decoder profile for h264');`;
  const cases = [
    [`${firstAdapterFails} log('info', 'decoder : adapter 1 -> Second Card [0x8086//0x3e92]');`,
      'decoder: adapter 1 -> Second Card [0x8086//0x3e92]', [1, 0x8086, 0x3e92]],
    [`${firstAdapterFails} log('error', 'decoder: no decoder were found on this computer...');`,
      /^decoder: none found .*could not find suitable decoder profile for h264/, null],
    // Rotated at 5 MiB: the file that held the earlier runs becomes tarsel.1.log.
    [`log('info', 'decoder : adapter 0 -> New Card [0x1414//0x8c]'); fs.renameSync('tarsel.log', 'tarsel.1.log');
      log('info', 'com chan connected');`, 'decoder: adapter 0 -> New Card [0x1414//0x8c]', [0, 0x1414, 0x8c]],
    // The same in a directory with no log before the run.
    [`log('info', 'decoder : adapter 0 -> New Card [0x1414//0x8c]'); fs.renameSync('tarsel.log', 'tarsel.1.log');
      log('info', 'com chan connected');`, 'decoder: adapter 0 -> New Card [0x1414//0x8c]', [0, 0x1414, 0x8c], null],
  ];
  for (const [body, line, adapter, earlier = kEarlierRuns] of cases) {
    const dir = workDir(t, earlier);
    const result = await runBenchmark({ program: fakeProgram(dir, body), cwd: dir, timeoutMs: 20000 });
    assert.deepStrictEqual(result.report, kReport);
    assert.strictEqual(result.rows.length, 8);
    assert.ok(typeof line === 'string' ? result.decoder.line === line : line.test(result.decoder.line), result.decoder.line);
    const a = result.decoder.adapter;
    assert.deepStrictEqual(a && [a.index, a.vendorId, a.deviceId], adapter, body);
    assert.strictEqual(result.decoder.found, adapter !== null);
  }
});

test('a program that cannot start fails at once with the reason', async (t) => {
  const dir = workDir(t, []);
  const notExecutable = path.join(dir, 'not-executable');
  fs.writeFileSync(notExecutable, '#!/bin/sh\n', { mode: 0o644 });
  for (const [program, reason] of [[path.join(dir, 'missing'), /ENOENT/], [notExecutable, /EACCES/]]) {
    const started = Date.now();
    await assert.rejects(runBenchmark({ program, cwd: dir }), new RegExp(`cannot start .*${reason.source}`));
    assert.ok(Date.now() - started < 1000, program);
  }
  const cli = spawnSync(process.execPath, [path.join(tools, 'bench-client.js'), '--program', notExecutable,
    '--data-dir', dir], { encoding: 'utf8', timeout: 10000 });
  assert.strictEqual(cli.status, 1, cli.stderr);
  assert.match(cli.stderr, /bench-client: cannot start .*EACCES/);
});

test('bars are scaled to the fastest case; failed cases and plain tables have none', () => {
  const rows = reportRows(kReport);
  const bars = formatTable(rows, { bars: true }).split('\n').slice(1).map((line) => (/#*$/.exec(line)[0]).length);
  // 3000 frames/s is the fastest; 1500 and 750 frames/s get a half and a quarter.
  assert.deepStrictEqual(bars, [30, 15, 0, 30, 8, 30, 30, 30]);
  assert.doesNotMatch(formatTable(rows), /#/);
});
