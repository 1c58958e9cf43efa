'use strict';
const test = require('node:test');
const assert = require('node:assert');
const { spawnSync } = require('child_process');
const path = require('path');
const { program, sourceDir, makeWorkDir } = require('./harness');

test('the client prints one table row per case', (t) => {
  const result = spawnSync(process.execPath, [path.join(sourceDir, 'tools', 'bench-client.js'), '--program', program,
    '--data-dir', makeWorkDir(t, { withData: true })], { encoding: 'utf8', timeout: 600000 });
  assert.strictEqual(result.status, 0, result.stderr);
  const lines = result.stdout.trim().split('\n');
  assert.match(lines[0], /^codec\s+size\s+pass\s+time ms\s+frames\/s$/);
  const rows = lines.slice(1, 9).map((line) => line.trim().split(/\s+/));
  assert.deepStrictEqual(rows.map((r) => `${r[0]} ${r[1]} ${r[2]}`), ['h264', 'h265'].flatMap((codec) =>
    ['1280x720', '1920x1080', '2560x1440', '3840x2160'].map((size) => `${codec} ${size} yes`)));
  // 30 frames in the measured milliseconds.
  for (const row of rows) assert.ok(Math.abs(Number(row[4]) * Number(row[3]) / 30000 - 1) < 0.01, row.join(' '));
  assert.strictEqual(lines[9], '8 of 8 cases passed');
});
