'use strict';
// The client's module with fake programs: Node.js scripts that talk over the
// IPC channel and write tarsel.log lines the way the program does.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const tools = path.join(__dirname, '..', '..', 'tools');
const { runBenchmark, reportRows, formatTable } = require(path.join(tools, 'bench-runner'));

const caseList = (timesUs) => timesUs.map((t) => ({ width: 64, height: 48, 'bench-pass': t > 0, 'bench-time': t, 'bench-frame': 30 }));
const kReport = { bench: ['h264', caseList([10000, 20000, 0, 10000]), ['h265', caseList([40000, 10000, 10000, 10000])]] };
const logLine = (level, text) => `[2026-12-06 10:00:00.000] [global] [${level}] ${text}\r\n`;

// A directory, with the log of earlier runs if given, holding a fake program
// that runs `body` (with log(level, text) at hand), sends the report and exits.
function fakeProgram(t, earlierLog, body) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tarsel-client-'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  if (earlierLog) fs.writeFileSync(path.join(dir, 'tarsel.log'), earlierLog.map(([level, text]) => logLine(level, text)).join(''));
  const program = path.join(dir, 'fake-program');
  fs.writeFileSync(program, `#!${process.execPath}
const fs = require('fs');
const log = (level, text) => fs.appendFileSync('tarsel.log', ${JSON.stringify(logLine('LEVEL', 'TEXT'))}.replace('LEVEL', level).replace('TEXT', text));
${body}
process.send(${JSON.stringify(kReport)}, () => process.exit(0));
`, { mode: 0o755 });
  return { dir, program };
}

test('the decoder line comes from this run\'s lines only', async (t) => {
  const earlier = [['info', 'decoder : adapter 0 -> Old Card [0x10de//0x1]'],
    ['error', 'decoder: no decoder were found on this computer...'], ['info', 'decoder : adapter 0 -> Old Card [0x10de//0x1]']];
  const firstFails = `log('info', 'decoder : adapter 0 -> First Card [0x1002//0x67df]');
    log('error', 'decoder: could not find suitable decoder profile for h264');`;
  // Rotated at 5 MiB: the file that held the earlier runs becomes tarsel.1.log.
  const rotated = `log('info', 'decoder : adapter 0 -> New Card [0x1414//0x8c]'); fs.renameSync('tarsel.log', 'tarsel.1.log');
    log('info', 'com chan connected');`;
  const cases = [
    [earlier, `${firstFails} log('info', 'decoder : adapter 1 -> Second Card [0x8086//0x3e92]');`,
      /^decoder: adapter 1 -> Second Card \[0x8086\/\/0x3e92\]$/, [1, 0x8086, 0x3e92]],
    [earlier, `${firstFails} log('error', 'decoder: no decoder were found on this computer...');`,
      /^decoder: none found .*could not find suitable decoder profile for h264/, null],
    [earlier, rotated, /^decoder: adapter 0 -> New Card \[0x1414\/\/0x8c\]$/, [0, 0x1414, 0x8c]],
  ];
  for (const [earlierLog, body, line, adapter] of cases) {
    const { dir, program } = fakeProgram(t, earlierLog, body);
    const result = await runBenchmark({ program, cwd: dir, timeoutMs: 20000 });
    assert.deepStrictEqual(result.report, kReport);
    assert.match(result.decoder.line, line);
    const a = result.decoder.adapter;
    assert.deepStrictEqual(a && [a.index, a.vendorId, a.deviceId], adapter, body);
    assert.strictEqual(result.decoder.found, adapter !== null);
  }
});

test('a program that cannot start fails at once with the reason', async (t) => {
  const { dir, program: notExecutable } = fakeProgram(t, null, '');
  fs.chmodSync(notExecutable, 0o644);
  for (const [program, reason] of [[path.join(dir, 'missing'), /ENOENT/], [notExecutable, /EACCES/]]) {
    const started = Date.now();
    await assert.rejects(runBenchmark({ program, cwd: dir }), new RegExp(`cannot start .*${reason.source}`));
    assert.ok(Date.now() - started < 1000, program);
  }
});

test('30 frames in the measured time give frames/s; bars are scaled to the fastest case, failed cases and plain tables have none', () => {
  const rows = reportRows(kReport);
  assert.deepStrictEqual(formatTable(rows).split('\n').slice(1).map((line) => line.split(/\s+/).slice(2).join(' ')),
    ['yes 10.000 3000.0', 'yes 20.000 1500.0', 'no 0.000 -', 'yes 10.000 3000.0', 'yes 40.000 750.0', ...Array(3).fill('yes 10.000 3000.0')]);
  const bars = formatTable(rows, { bars: true }).split('\n').slice(1).map((line) => (/#*$/.exec(line)[0]).length);
  assert.deepStrictEqual(bars, [30, 15, 0, 30, 8, 30, 30, 30]);
  assert.doesNotMatch(formatTable(rows), /#/);
});
