'use strict';
const test = require('node:test');
const assert = require('node:assert');
const { spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const { program, sourceDir, makeWorkDir, runChild, readLog, withoutChannel } = require('./harness');

const sizes = ['1280x720', '1920x1080', '2560x1440', '3840x2160'];

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

// Commands have no effect on the program ("quit" included), and cost nothing but a log line when bad.
test('commands from the parent, then the parent goes away mid-run: no report, and the child exits 0 promptly', async (t) => {
  const dir = makeBusyWorkDir(t);
  let disconnectedAt = 0;
  const result = await runChild(dir, {
    onStart: (child) => {
      for (const value of [2.9, 'x']) child.send({ cmd: 'set-bitrate', value });
      for (const value of ['full', 'neither']) child.send({ cmd: 'set-colorspace', value });
      child.send({ cmd: 'quit' });
      setTimeout(() => { disconnectedAt = Date.now(); child.disconnect(); }, 30);
    },
  });
  const exitedAfterMs = Date.now() - disconnectedAt;
  assert.strictEqual(result.code, 0, result.stdout);
  assert.strictEqual(result.messages.filter((m) => m.bench !== undefined).length, 0);
  assert.ok(exitedAfterMs < 5000, `child took ${exitedAfterMs} ms to exit`);
  const log = readLog(dir);
  assert.ok(log.includes('info: com chan disconnected for reason 1'), log.join('\n'));
  assert.deepStrictEqual(log.filter((line) => line.startsWith('error: ipc')).map((line) => line.replace(/(receive error): .*/, '$1')),
    ['error: ipc: unknown color space request: neither ...', 'error: ipc: receive error']);
});

test('without a channel, or with a log it cannot open, the program exits with -1', (t) => {
  const dir = makeWorkDir(t, { withData: false });
  const env = withoutChannel();
  assert.strictEqual(spawnSync(program, [], { cwd: dir, env }).status, 255);
  // The log was opened before the variable was read.
  fs.rmSync(path.join(dir, 'tarsel.log'));
  fs.mkdirSync(path.join(dir, 'tarsel.log'));
  const result = spawnSync(program, [], { cwd: dir, env: { ...env, NODE_CHANNEL_FD: '3' }, encoding: 'utf8' });
  assert.strictEqual(result.status, 255);
  assert.match(result.stdout, /^Log init failed: .+\nlogger: failed to init logger\n$/);
});
