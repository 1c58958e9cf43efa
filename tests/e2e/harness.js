'use strict';
// Shared pieces of the end-to-end tests: a working directory per test and a
// child started the way the real parent starts it.
const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const program = process.env.TARSEL_PROGRAM;
const sourceDir = process.env.TARSEL_SOURCE_DIR;
if (!program || !sourceDir) throw new Error('TARSEL_PROGRAM and TARSEL_SOURCE_DIR must be set');

// A fresh directory; with data it links the committed data set in as data/.
function makeWorkDir(t, { withData }) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tarsel-e2e-'));
  // Symbolic links need a privilege on Windows and do not resolve under Wine: copy there.
  const link = withData && (process.platform === 'win32' ? (from, to) => fs.cpSync(from, to, { recursive: true }) : fs.symlinkSync);
  if (link) link(path.join(sourceDir, 'data'), path.join(dir, 'data'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  return dir;
}

// Starts the program with an IPC channel and the arguments given; resolves
// when it exits and its output is read, with the messages it sent ("stdout"
// holds both streams, "stderr" the second alone). onStart(child) may act on
// it; env adds variables to the child's environment. Quiet leaves both
// streams unread.
function runChild(cwd, options = {}) {
  return runChildOnce(cwd, options).catch(async (error) => {
    // Wine now and then fails to create a process at all (spawn UNKNOWN,
    // nothing started); that is the host's hiccup, not the program's.
    if (error.code !== 'UNKNOWN' || !String(error.syscall).startsWith('spawn')) throw error;
    await new Promise((done) => setTimeout(done, 1000));
    return runChildOnce(cwd, options);
  });
}

function runChildOnce(cwd, { onStart, args = [], quiet = false, env } = {}) {
  return new Promise((resolve, reject) => {
    const result = { messages: [], stdout: '', stderr: '' };
    const output = quiet ? 'ignore' : 'pipe';
    const child = spawn(program, args, { cwd, env: { ...process.env, ...env }, stdio: ['ignore', output, output, 'ipc'] });
    const streams = quiet ? [] : [child.stdout, child.stderr];
    for (const stream of streams) stream.on('data', (chunk) => { result.stdout += chunk; });
    if (!quiet) child.stderr.on('data', (chunk) => { result.stderr += chunk; });
    child.on('message', (message) => result.messages.push(message));
    child.on('error', reject);
    // Output ends with the streams' close; but a process the child started
    // (Wine's desktop, when the child was the first to need it) may hold them
    // open for good, so a second after the exit is as long as it is waited for.
    const closed = Promise.all(streams.map((s) => new Promise((done) => s.on('close', done))));
    const grace = () => new Promise((done) => setTimeout(done, 1000).unref());
    child.on('exit', (code, signal) => Promise.race([closed, grace()]).then(() => {
      for (const stream of streams) stream.destroy();
      resolve({ ...result, code, signal });
    }));
    if (onStart) onStart(child);
  });
}

// Log lines without the date and logger name: "info: text". Every line must end in CR LF.
function readLog(dir) {
  const text = fs.readFileSync(path.join(dir, 'tarsel.log'), 'latin1');
  if (!text.endsWith('\r\n')) throw new Error(`log does not end in CR LF: ${JSON.stringify(text.slice(-80))}`);
  return text.split('\r\n').slice(0, -1).map((line) => line.replace(/^\[[^\]]+\] \[global\] \[(\w+)\] /s, '$1: '));
}

// Everything the program sent but the heartbeat, in the order it came.
const sent = (result) => result.messages.filter((m) => m.cmd !== 'heartbeat');
// The kind of each message: its one key.
const kinds = (messages) => messages.map((m) => Object.keys(m)[0]);

// The environment without the parent's channel.
const withoutChannel = () =>
  Object.fromEntries(Object.entries(process.env).filter(([name]) => name !== 'NODE_CHANNEL_FD'));

// A run that writes its DXVA dump into dir/dump; resolves with the run's
// result and the dump's text ('' when it wrote none).
async function runWithDump(dir, options = {}) {
  const dumpDir = path.join(dir, 'dump');
  fs.mkdirSync(dumpDir);
  const result = await runChild(dir, { ...options, env: { TARSEL_DXVA_DUMP: dumpDir } });
  const file = path.join(dumpDir, 'dxva.jsonl');
  return { result, dump: fs.existsSync(file) ? fs.readFileSync(file, 'utf8') : '' };
}

// Dumps laid out as a driver expects them, for checking the comparisons
// themselves: unused entries of the picture parameters' lists are 0xFF.
const kEmpty = 0xFF;
const padded = (values, length, fill) => [...values, ...Array(length - values.length).fill(fill)];
const dumpText = (lines) => lines.map((line) => JSON.stringify(line)).join('\n');

// HEVC picture parameters of a frame with short-term references before and
// after it and long-term ones (lt, optional), by order count, all used.
function hevcPicParams(f) {
  const counts = [...f.before, ...f.after, ...(f.lt || [])];
  const indices = counts.map((_, i) => i);
  return {
    CurrPicOrderCntVal: f.poc, wNumBitsForShortTermRPSInSlice: f.stRpsBits,
    RefPicList: padded(indices, 15, kEmpty), PicOrderCntValList: padded(counts, 15, 0),
    RefPicSetStCurrBefore: padded(indices.slice(0, f.before.length), 8, kEmpty),
    RefPicSetStCurrAfter: padded(indices.slice(f.before.length, f.before.length + f.after.length), 8, kEmpty),
    RefPicSetLtCurr: padded(indices.slice(f.before.length + f.after.length), 8, kEmpty),
  };
}

module.exports = { program, sourceDir, makeWorkDir, runChild, readLog, sent, kinds, withoutChannel, runWithDump,
  kEmpty, padded, dumpText, hevcPicParams };
