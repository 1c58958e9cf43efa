'use strict';
const test = require('node:test');
const assert = require('node:assert');
const { spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const { program, sourceDir, makeWorkDir, runChild, readLog, reportCases: casesOf } = require('./harness');

const sizes = ['1280x720', '1920x1080', '2560x1440', '3840x2160'];

// The one report: {"bench":["h264",[4 cases],["h265",[4 cases]]]}, each case with exactly these keys.
function reportCases(result) {
  const reports = result.messages.filter((m) => m.bench !== undefined);
  assert.strictEqual(reports.length, 1);
  assert.strictEqual(JSON.stringify(reports[0]).replace(/\{[^{}]*\}/g, '{}'), '{"bench":["h264",[{},{},{},{}],["h265",[{},{},{},{}]]]}');
  const cases = casesOf(reports[0]);
  assert.deepStrictEqual(cases.map((c) => `${c.width}x${c.height} ${c['bench-frame']}`), [...sizes, ...sizes].map((s) => `${s} 30`));
  for (const c of cases) assert.deepStrictEqual(Object.keys(c), ['bench-frame', 'bench-pass', 'bench-time', 'height', 'width']);
  return cases;
}

test('a full run decodes all eight cases and reports them once', async (t) => {
  const dir = makeWorkDir(t, { withData: true });
  const result = await runChild(dir);
  assert.strictEqual(result.code, 0, result.stdout);
  assert.strictEqual(result.stdout, '');
  for (const c of reportCases(result)) assert.ok(c['bench-pass'] === true && c['bench-time'] > 0, JSON.stringify(c));

  const log = readLog(dir);
  const at = (prefix) => log.findIndex((line) => line.startsWith(prefix));
  assert.ok(at('info: com chan connected') >= 0, log.join('\n'));
  // Every case's pictures reach the decoder at their size, 30 frames a second.
  const changes = sizes.map((size) => at(`info: videoDecoderOutputChanged ${size}@30`));
  assert.ok(changes.every((index) => index > at('info: com chan connected')), log.join('\n'));
  assert.ok(at('info: com chan disconnected for reason 0') > Math.max(...changes), log.join('\n'));
  assert.deepStrictEqual(log.filter((line) => line.startsWith('error:')), []);
});

// Every frame file is one real access unit followed by a long sparse run of
// zero bytes, so the run outlasts the parent's 30 ms however fast it reads.
function makeBusyWorkDir(t) {
  const dir = makeWorkDir(t, { withData: false });
  const busy = path.join(dir, 'busy.frame');
  fs.copyFileSync(path.join(sourceDir, 'data', 'h264', '1280_720', 'frame_0.frame'), busy);
  fs.truncateSync(busy, 64 * 1024 * 1024);
  for (const codec of ['h264', 'h265']) {
    for (const size of sizes) {
      const caseDir = path.join(dir, 'data', codec, size.replace('x', '_'));
      fs.mkdirSync(caseDir, { recursive: true });
      // Hard links: symbolic ones need a privilege on Windows and do not resolve under Wine.
      for (let i = 0; i < 30; ++i) fs.linkSync(busy, path.join(caseDir, `frame_${i}.frame`));
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

test('without a channel, or with a log it cannot open, the program exits with -1', (t) => {
  const dir = makeWorkDir(t, { withData: false });
  const env = { ...process.env };
  delete env.NODE_CHANNEL_FD;
  assert.strictEqual(spawnSync(program, [], { cwd: dir, env }).status, 255);
  // The log was opened before the variable was read.
  fs.rmSync(path.join(dir, 'tarsel.log'));
  fs.mkdirSync(path.join(dir, 'tarsel.log'));
  const result = spawnSync(program, [], { cwd: dir, env: { ...env, NODE_CHANNEL_FD: '3' }, encoding: 'utf8' });
  assert.strictEqual(result.status, 255);
  assert.match(result.stdout, /^Log init failed: .+\nlogger: failed to init logger\n$/);
});

test('commands from the parent are handled while the run goes on and leave it undisturbed', async (t) => {
  const dir = makeBusyWorkDir(t);
  const result = await runChild(dir, {
    onStart: (child) => {
      for (const value of [2.9, 'x']) child.send({ cmd: 'set-bitrate', value });
      for (const value of ['full', 'neither']) child.send({ cmd: 'set-colorspace', value });
      child.send({ cmd: 'quit' });
    },
  });
  assert.strictEqual(result.code, 0, result.stdout);
  reportCases(result);
  const log = readLog(dir);
  assert.deepStrictEqual(log.filter((line) => line.startsWith('error: ipc')), ['error: ipc: unknown color space request: neither ...']);
  assert.ok(log.includes('info: com chan disconnected for reason 0'), log.join('\n'));
});
