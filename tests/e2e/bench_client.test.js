'use strict';
const test = require('node:test');
const assert = require('node:assert');
const { spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const { program, sourceDir, makeWorkDir } = require('./harness');

const client = path.join(sourceDir, 'tools', 'bench-client.js');

function runClient(args) {
  return spawnSync(process.execPath, [client, '--program', program, ...args], { encoding: 'utf8', timeout: 600000 });
}

test('the client prints one table row per case', (t) => {
  const dir = makeWorkDir(t, { withData: true });
  const result = runClient(['--data-dir', dir]);
  assert.strictEqual(result.status, 0, result.stderr);
  const lines = result.stdout.trim().split('\n');
  assert.match(lines[0], /^codec\s+size\s+pass\s+time ms\s+frames\/s$/);
  const rows = lines.slice(1, 9).map((line) => line.trim().split(/\s+/));
  assert.deepStrictEqual(rows.map((r) => `${r[0]} ${r[1]}`), [
    'h264 1280x720', 'h264 1920x1080', 'h264 2560x1440', 'h264 3840x2160',
    'h265 1280x720', 'h265 1920x1080', 'h265 2560x1440', 'h265 3840x2160']);
  for (const row of rows) {
    assert.strictEqual(row[2], 'yes');
    assert.ok(Number(row[3]) > 0);
    assert.ok(Math.abs(Number(row[4]) - 30000 / Number(row[3])) / Number(row[4]) < 0.01, row.join(' '));
  }
  assert.strictEqual(lines[9], '8 of 8 cases passed');
});

test('--json prints the report line as the program sent it', (t) => {
  const dir = makeWorkDir(t, { withData: false });
  const result = runClient(['--data-dir', dir, '--json']);
  assert.strictEqual(result.status, 0, result.stderr);
  const text = result.stdout.trim();
  const report = JSON.parse(text);
  assert.strictEqual(JSON.stringify(report), text);
  assert.strictEqual(report.bench[0], 'h264');
});

test('a program that never reports is killed after the time limit', (t) => {
  const dir = makeWorkDir(t, { withData: false });
  const hanging = path.join(dir, 'hanging-program');
  fs.writeFileSync(hanging, '#!/bin/sh\nexec sleep 60\n', { mode: 0o755 });
  const started = Date.now();
  const result = spawnSync(process.execPath, [client, '--program', hanging, '--data-dir', dir, '--timeout', '1'],
    { encoding: 'utf8', timeout: 30000 });
  assert.notStrictEqual(result.status, 0);
  assert.match(result.stderr, /no result after 1 s/);
  assert.ok(Date.now() - started < 10000);
});

test('a program that fails is reported as a failure', (t) => {
  const dir = makeWorkDir(t, { withData: false });
  const failing = path.join(dir, 'failing-program');
  fs.writeFileSync(failing, '#!/bin/sh\nexit 3\n', { mode: 0o755 });
  const result = spawnSync(process.execPath, [client, '--program', failing, '--data-dir', dir], { encoding: 'utf8' });
  assert.strictEqual(result.status, 1);
  assert.match(result.stderr, /exited with status 3/);
});
