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

// Starts the program with an IPC channel; resolves when it exits, with the
// messages it sent. onStart(child) may act on the running child.
function runChild(cwd, { onStart, onMessage, env } = {}) {
  return new Promise((resolve, reject) => {
    const messages = [];
    const child = spawn(program, [], { cwd, env: env || process.env, stdio: ['ignore', 'pipe', 'pipe', 'ipc'] });
    let stdout = '';
    child.stdout.on('data', (chunk) => { stdout += chunk; });
    child.stderr.on('data', (chunk) => { stdout += chunk; });
    child.on('message', (message) => {
      messages.push(message);
      if (onMessage) onMessage(child, message);
    });
    child.on('error', reject);
    // 'exit' can come before the last of the output has been read: wait for both.
    const outputClosed = Promise.all([child.stdout, child.stderr].map((s) => new Promise((done) => s.on('close', done))));
    child.on('exit', (code, signal) => outputClosed.then(() => resolve({ code, signal, messages, stdout })));
    if (onStart) onStart(child);
  });
}

// Log lines without the date and logger name: "info: text".
function readLog(dir) {
  const text = fs.readFileSync(path.join(dir, 'tarsel.log'), 'latin1');
  return text.split('\r\n').filter((line) => line.length > 0).map((line) => {
    const match = /^\[[^\]]+\] \[global\] \[(\w+)\] (.*)$/s.exec(line);
    return match ? `${match[1]}: ${match[2]}` : line;
  });
}

function reportCases(report) {
  return [...report.bench[1], ...report.bench[2][1]];
}

module.exports = { program, sourceDir, makeWorkDir, runChild, readLog, reportCases };
