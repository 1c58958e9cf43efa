'use strict';
// The log's rotation on Windows, under Wine, where a file held open without
// shared deletion cannot be renamed. TARSEL_LOG_TOOLS is the folder holding
// log_holder.exe (keeps a file open through the C runtime's fopen until its
// input ends) and log_writer.exe (writes numbered lines through our logger).
const test = require('node:test');
const assert = require('node:assert');
const { spawn } = require('child_process');
const fs = require('fs');
const path = require('path');
const { program, makeWorkDir } = require('./harness');

const tools = process.env.TARSEL_LOG_TOOLS;
const earlier = (count) => Array.from({ length: count }, (_, n) => `earlier run, line ${String(n).padStart(8, '0')}`);
if (!tools) throw new Error('TARSEL_LOG_TOOLS must be set');

// tarsel.log filled to 100 bytes under 5 MiB with 70-byte lines of the
// program's own form; returns how many.
function fillLog(dir) {
  const count = Math.floor((0x500000 - 100) / 70);
  const lines = earlier(count).map((message) => `[2026-12-06 23:59:59.999] [global] [info] ${message}\r\n`);
  fs.writeFileSync(path.join(dir, 'tarsel.log'), lines.join(''), 'latin1');
  return count;
}

const read = (dir, name) => { try { return fs.readFileSync(path.join(dir, name), 'latin1'); } catch { return ''; } };
// How often each message of "[date] [global] [info] <message>" occurs in the named files.
function countMessages(dir, names) {
  const seen = new Map();
  for (const name of names) {
    for (const match of read(dir, name).matchAll(/\] \[info\] ([^\r\n]*)\r\n/g)) seen.set(match[1], (seen.get(match[1]) || 0) + 1);
  }
  return seen;
}
function assertEach(seen, messages) {
  const wrong = messages.filter((message) => seen.get(message) !== 1);
  assert.deepStrictEqual(wrong.slice(0, 5), [], `${wrong.length} of ${messages.length} lines not there exactly once`);
}

function exited(child) {
  return new Promise((resolve, reject) => { child.on('error', reject); child.on('exit', resolve); });
}
// Starts tools in `cwd` that print "holding" or "ready" once they have the
// log open and keep it until their input ends; resolves when all have it.
function startHolding(cwd, ...commands) {
  return Promise.all(commands.map(([tool, ...args]) => new Promise((resolve, reject) => {
    const file = path.join(tools, tool);
    const child = spawn(file, args, { cwd, stdio: ['pipe', 'pipe', 'ignore'] });
    child.stdout.once('data', (chunk) => (/holding|ready/.test(chunk) ? resolve(child) : reject(new Error(String(chunk)))));
    child.on('exit', (code) => reject(new Error(`${file} exited with ${code}`)));
  })));
}
// One whole benchmark run with its channel; no output pipes, which Wine's
// desktop process could keep open. Resolves with the exit code.
const runBench = (cwd) => exited(spawn(program, [], { cwd, stdio: ['ignore', 'ignore', 'ignore', 'ipc'] }));

test('a log held open elsewhere keeps every line past 5 MiB, and rotates into tarsel.1.log once let go', async (t) => {
  const dir = makeWorkDir(t, { withData: true });
  const count = fillLog(dir);
  const [holder] = await startHolding(dir, ['log_holder.exe', 'tarsel.log']);
  assert.strictEqual(await runBench(dir), 0);
  assert.ok(!fs.existsSync(path.join(dir, 'tarsel.1.log')));
  const log = read(dir, 'tarsel.log');
  assert.ok(log.length > 0x500000, `${log.length} bytes`);
  assertEach(countMessages(dir, ['tarsel.log']), [...earlier(count), 'com chan disconnected for reason 0']);
  const putOff = log.match(/\] \[global\] \[error\] log: rotation put off, tarsel\.log grows past its limit until a later try succeeds: could not rename tarsel\.log to tarsel\.1\.log: [^\r\n]+\r\n/g);
  assert.strictEqual((putOff || []).length, 1, log.slice(0x500000 - 400));

  holder.stdin.end();
  assert.strictEqual(await exited(holder), 0);
  assert.strictEqual(await runBench(dir), 0);
  assert.strictEqual(read(dir, 'tarsel.1.log'), log);
  assert.ok(read(dir, 'tarsel.log').length < 0x10000);
  assertEach(countMessages(dir, ['tarsel.log']), ['com chan disconnected for reason 0']);
});

// Long enough that the two writers' appends overlap for a while: without a
// lock around each append, Wine's append mode lost lines in most runs.
test('two instances writing over a log about to rotate keep every line', async (t) => {
  const dir = makeWorkDir(t, { withData: false });
  const count = fillLog(dir);
  const lines = 60000;
  const writers = await startHolding(dir, ['log_writer.exe', 'a', String(lines)], ['log_writer.exe', 'b', String(lines)]);
  for (const writer of writers) writer.stdin.end();
  assert.deepStrictEqual(await Promise.all(writers.map(exited)), [0, 0]);
  const kept = ['tarsel.log', ...[1, 2, 3, 4, 5].map((n) => `tarsel.${n}.log`)].filter((name) => fs.existsSync(path.join(dir, name)));
  const seen = countMessages(dir, kept);
  const written = ['a', 'b'].flatMap((tag) => Array.from({ length: lines }, (_, n) => `${tag} ${n} ${tag.repeat(60)}`));
  assertEach(seen, [...earlier(count), ...written]);
  assert.strictEqual(seen.size, count + written.length);
  // Shifted once per full log: both crossing the limit together must not shift
  // twice, which would keep a nearly empty file and push out a full one.
  assert.ok(kept.length >= 3 && kept.length <= 5, kept.join(' '));
  const texts = kept.map((name) => read(dir, name));
  for (const [index, text] of texts.entries()) {
    if (index > 0) assert.ok(text.length > 0x500000 - 200, `${kept[index]}: ${text.length} bytes`);
    assert.ok(!text.includes('rotation put off'), kept[index]);
  }
  assert.ok(texts[texts.length - 1].startsWith(`[2026-12-06 23:59:59.999] [global] [info] ${earlier(1)[0]}\r\n`));
});
