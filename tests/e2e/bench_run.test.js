'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const path = require('path');
const { sourceDir, makeWorkDir, runChild, readLog, reportCases } = require('./harness');

const sizes = [[1280, 720], [1920, 1080], [2560, 1440], [3840, 2160]];

function assertReportShape(report) {
  assert.deepStrictEqual(Object.keys(report), ['bench']);
  assert.strictEqual(report.bench.length, 3);
  assert.strictEqual(report.bench[0], 'h264');
  assert.strictEqual(report.bench[2][0], 'h265');
  const cases = reportCases(report);
  assert.strictEqual(cases.length, 8);
  cases.forEach((c, i) => {
    assert.deepStrictEqual(Object.keys(c), ['bench-frame', 'bench-pass', 'bench-time', 'height', 'width']);
    assert.deepStrictEqual([c.width, c.height], sizes[i % 4]);
    assert.strictEqual(c['bench-frame'], 30);
  });
  return cases;
}

test('a full run decodes all eight cases and reports them once', async (t) => {
  const dir = makeWorkDir(t, { withData: true });
  const result = await runChild(dir);
  assert.strictEqual(result.code, 0, result.stdout);
  assert.strictEqual(result.stdout, '');
  const reports = result.messages.filter((m) => m.bench !== undefined);
  assert.strictEqual(reports.length, 1);
  const cases = assertReportShape(reports[0]);
  for (const c of cases) {
    assert.strictEqual(c['bench-pass'], true, JSON.stringify(c));
    assert.ok(c['bench-time'] > 0, JSON.stringify(c));
  }

  const log = readLog(dir);
  const connected = log.indexOf('info: com chan connected');
  const firstOutputChange = log.findIndex((line) => line.startsWith('info: videoDecoderOutputChanged 1280x720@30'));
  const disconnected = log.indexOf('info: com chan disconnected for reason 0');
  assert.ok(connected >= 0 && firstOutputChange > connected && disconnected > firstOutputChange, log.join('\n'));
  assert.strictEqual(log.filter((line) => line.startsWith('error:')).length, 0, log.join('\n'));
});

test('without data every case fails but the report still arrives', async (t) => {
  const dir = makeWorkDir(t, { withData: false });
  const result = await runChild(dir);
  assert.strictEqual(result.code, 0, result.stdout);
  const reports = result.messages.filter((m) => m.bench !== undefined);
  assert.strictEqual(reports.length, 1);
  for (const c of assertReportShape(reports[0])) assert.strictEqual(c['bench-pass'], false);
  const log = readLog(dir);
  assert.ok(log.some((line) => line.startsWith('error:') && line.includes('./data/h264/1280_720/frame_0.frame')), log.join('\n'));
  assert.ok(log.includes('info: com chan disconnected for reason 0'));
});

// Every frame file is one real access unit followed by a long sparse run of
// zero bytes, so the run outlasts the parent's 30 ms however fast it reads.
function makeBusyWorkDir(t) {
  const dir = makeWorkDir(t, { withData: false });
  const busy = path.join(dir, 'busy.frame');
  fs.copyFileSync(path.join(sourceDir, 'data', 'h264', '1280_720', 'frame_0.frame'), busy);
  fs.truncateSync(busy, 64 * 1024 * 1024);
  for (const codec of ['h264', 'h265']) {
    for (const [width, height] of sizes) {
      const caseDir = path.join(dir, 'data', codec, `${width}_${height}`);
      fs.mkdirSync(caseDir, { recursive: true });
      for (let i = 0; i < 30; ++i) fs.symlinkSync(busy, path.join(caseDir, `frame_${i}.frame`));
    }
  }
  return dir;
}

test('a parent that goes away mid-run gets no report and the child exits 0 promptly', async (t) => {
  const dir = makeBusyWorkDir(t);
  let disconnectedAt = 0;
  const result = await runChild(dir, {
    onStart: (child) => setTimeout(() => { disconnectedAt = Date.now(); child.disconnect(); }, 30),
  });
  const exitedAfterMs = Date.now() - disconnectedAt;
  assert.strictEqual(result.code, 0, result.stdout);
  assert.strictEqual(result.messages.filter((m) => m.bench !== undefined).length, 0);
  assert.ok(exitedAfterMs < 5000, `child took ${exitedAfterMs} ms to exit`);
  const log = readLog(dir);
  assert.ok(log.includes('info: com chan disconnected for reason 1'), log.join('\n'));
  assert.ok(log.some((line) => line.startsWith('error: ipc: receive error: ')), log.join('\n'));
});

test('commands from the parent leave the run undisturbed', async (t) => {
  const dir = makeWorkDir(t, { withData: true });
  const result = await runChild(dir, {
    onStart: (child) => {
      child.send({ cmd: 'set-bitrate', value: 2.9 });
      child.send({ cmd: 'set-colorspace', value: 'full' });
      child.send({ cmd: 'set-colorspace', value: 'neither' });
      child.send({ cmd: 'quit' });
      child.send([1, 2]);
    },
  });
  assert.strictEqual(result.code, 0, result.stdout);
  const reports = result.messages.filter((m) => m.bench !== undefined);
  assert.strictEqual(reports.length, 1);
  const log = readLog(dir);
  assert.ok(log.includes('error: ipc: unknown color space request: neither ...'), log.join('\n'));
  assert.ok(log.some((line) => line.startsWith('error: ipc: error parsing json... (')), log.join('\n'));
});
