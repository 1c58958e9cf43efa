'use strict';
// One run of the program as a child with an IPC channel: the checks of the
// program and its working directory, the spawn, the end of the run (its
// exit, our time limit or the caller's abort) and the messages it sent.
// Whatever ends the run, no process of it is left once the promise settles.
const { spawn, spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const errors = require('./errors');

// The tail of the program's standard error that errors carry.
const kStderrKeptChars = 16384;
const kStderrLines = 20;
// After the exit, how long the channel may take to hand over what the program
// sent before it. A process that inherited the pipe can keep it open for
// ever; the run does not wait for that.
const kMessageGraceMs = 500;

const kWindows = process.platform === 'win32';

// Ends the program and whatever it started. On POSIX the program leads a
// process group of its own (spawned detached), which is killed whole. On
// Windows taskkill /T takes the process tree, with a plain kill where taskkill
// cannot be run.
function killTree(child) {
  if (kWindows) {
    const result = spawnSync('taskkill', ['/T', '/F', '/PID', String(child.pid)], { stdio: 'ignore', windowsHide: true });
    if (result.status !== 0) child.kill();
    return;
  }
  try {
    process.kill(-child.pid, 'SIGKILL');
  } catch {
    // ESRCH: the whole group is gone already.
  }
}

// Resolves once no process of the program's group is left (a SIGKILLed one
// can take a moment to go), or after kGroupWaitMs at most.
const kGroupWaitMs = 500;
async function groupGone(pid) {
  for (const started = Date.now(); Date.now() - started < kGroupWaitMs;) {
    try {
      process.kill(-pid, 0);
    } catch {
      return;
    }
    await new Promise((wake) => setTimeout(wake, 5));
  }
}

// Runs still going when this parent exits (process.exit, an uncaught error)
// end with it; the parent's signals are the caller's to turn into an abort.
const g_RunningChildren = new Set();
let g_ExitHooked = false;
function track(child) {
  if (!g_ExitHooked) process.on('exit', () => g_RunningChildren.forEach(killTree));
  g_ExitHooked = true;
  g_RunningChildren.add(child);
}

function stderrTail(echo) {
  let text = '';
  return {
    add(chunk) {
      if (echo) echo.write(chunk);
      text = (text + chunk).slice(-kStderrKeptChars);
    },
    lines() {
      return text.replace(/\s+$/, '').split(/\r?\n/).slice(-kStderrLines).join('\n');
    },
  };
}

// A program given by path that exists and may be run. A bare name is left
// to the spawn, which looks it up in PATH. On Windows the spawn also runs a
// path without an extension with .com or .exe appended, and so may we.
async function checkProgram(program) {
  if (!/[\\/]/.test(program)) return;
  const names = [program];
  if (kWindows && !path.extname(program)) names.push(`${program}.com`, `${program}.exe`);
  let found = null;
  let firstError = null;
  for (const name of names) {
    found = await fs.promises.stat(name).then((stat) => ({ name, stat }), (error) => {
      firstError ??= error;
      return null;
    });
    if (found) break;
  }
  try {
    if (!found) throw firstError;
    if (!found.stat.isFile()) throw Object.assign(new Error('not a regular file'), { code: 'EISDIR' });
    await fs.promises.access(found.name, fs.constants.X_OK);
  } catch (error) {
    throw errors.unusablePath('program', program, error);
  }
}

// A working directory that exists, is a directory we may enter and, when
// the run needs it, holds data/.
async function checkWorkingDirectory(cwd, needsData) {
  try {
    const stat = await fs.promises.stat(cwd);
    if (!stat.isDirectory()) throw Object.assign(new Error(`not a directory: ${cwd}`), { code: 'ENOTDIR' });
    await fs.promises.access(cwd, fs.constants.X_OK);
  } catch (error) {
    throw errors.unusablePath('cwd', cwd, error);
  }
  const data = path.join(cwd, 'data');
  if (needsData && !(await fs.promises.stat(data).then((stat) => stat.isDirectory(), () => false))) {
    // The default, the program's own folder, has none in a build tree.
    throw errors.failed('TARSEL_NO_DATA', `the working directory ${cwd} holds no data/ folder; every case would fail. ` +
      'Give the cwd option (--data-dir on the command line) a directory that holds data/, ' +
      'or make the data set with scripts/make-data', { path: data });
  }
}

// A line on the channel that is not JSON makes Node's parser throw out of
// the channel's read callback, where nothing catches it and the whole parent
// dies. The handle is Node's own (not public), so this guards it where it
// can be found and leaves the channel as it is elsewhere.
function guardChannel(child, onBadLine) {
  const key = Object.getOwnPropertySymbols(child).find((symbol) => symbol.description === 'kChannelHandle');
  const handle = key && child[key];
  if (!handle || typeof handle.onread !== 'function') return;
  const onread = handle.onread;
  handle.onread = function guardedRead(...args) {
    try {
      return onread.apply(this, args);
    } catch (error) {
      onBadLine(error);
      return undefined;
    }
  };
}

// The kinds of message a run keeps (the first of each), by the key that marks them.
const kMessageKeys = { report: 'bench', capabilities: 'capabilities', results: 'results', adapters: 'adapters' };
// The program's own line for arguments it cannot run ("app: ..."), before it
// has timed anything; null when its standard error has none.
function refusal(stderr) {
  const line = (stderr || '').split('\n').find((text) => text.startsWith('app: '));
  return line ? line.slice('app: '.length) : null;
}

// How a run ends that we stopped once every message asked for was in.
const kComplete = Symbol('complete');

// Resolves with { report, capabilities, results, adapters, exitCode, signal, stderr }
// (the first message of each kind, or null) once the program has exited with
// status 0 and its messages are in, or once the time limit has passed with
// every kind named in `wanted` in (the program is stopped then); rejects with
// a BenchError otherwise. onMessage sees every message that is a JSON object;
// what it throws, or the promise it returns rejects with, ends the run.
function runProgram({ program, args, cwd, limitMs, signal, stdio, onSpawn, wanted = [], onMessage }) {
  return new Promise((resolve, reject) => {
    if (signal && signal.aborted) {
      reject(errors.aborted(signal.reason));
      return;
    }
    const messages = { report: null, capabilities: null, results: null, adapters: null };
    const stderr = stderrTail(stdio === 'inherit' ? process.stderr : null);
    let exit = null;
    let ending = null;
    let settled = false;
    let deadline = null;
    let grace = null;

    let child;
    try {
      child = spawn(program, args, {
        cwd, detached: !kWindows, windowsHide: true,
        // Standard error is read for its tail (an unread pipe would stall
        // the program); standard output is shown or dropped.
        stdio: ['ignore', stdio, 'pipe', 'ipc'],
      });
    } catch (error) {
      // Node throws the rarer spawn errors (ENOTDIR, ELOOP...) at the call.
      reject(errors.unusablePath('program', program, error));
      return;
    }

    const cleanUp = () => {
      settled = true;
      clearTimeout(deadline);
      clearTimeout(grace);
      if (signal) signal.removeEventListener('abort', onAbort);
      g_RunningChildren.delete(child);
      child.stderr.destroy();
      if (child.connected) child.disconnect();
    };
    const settle = () => {
      if (settled) return;
      cleanUp();
      const facts = { exitCode: exit.code, signal: exit.signal, stderr: stderr.lines() };
      const done = () => {
        if (ending === kComplete) resolve({ ...messages, ...facts });
        else if (ending) reject(Object.assign(ending, facts));
        else if (exit.signal) reject(errors.programFailed('TARSEL_SIGNAL', `the program was ended by signal ${exit.signal}`, facts));
        else if (exit.code !== 0 && refusal(facts.stderr)) {
          reject(errors.failed('TARSEL_BAD_ARGUMENT', `the program refused its arguments: ${refusal(facts.stderr)}`, facts));
        } else if (exit.code !== 0) reject(errors.programFailed('TARSEL_EXIT_STATUS', `the program exited with status ${exit.code}`, facts));
        else resolve({ ...messages, ...facts });
      };
      // Whatever the program started in its group goes with it. Windows
      // reuses process ids at once: there only a running tree is killed.
      if (kWindows) return done();
      killTree(child);
      groupGone(child.pid).then(done);
    };
    // Ends the run ourselves (an error, or kComplete): the program is killed
    // and the run settles on its exit.
    const end = (error) => {
      if (settled || ending) return;
      ending = error;
      if (exit) settle();
      else if (child.pid !== undefined) killTree(child);
    };
    const onAbort = () => end(errors.aborted(signal.reason));
    // A program that has sent everything asked for and lingers past the limit
    // has done its work; one that exited already is judged by its status.
    const onDeadline = () => {
      if (exit) settle();
      else end(wanted.every((kind) => messages[kind]) ? kComplete : errors.timedOut(limitMs));
    };

    child.on('error', (error) => {
      // Without a process there is no exit to wait for.
      if (child.pid !== undefined || settled) return;
      cleanUp();
      reject(ending || errors.unusablePath('program', program, error));
    });
    child.stderr.setEncoding('utf8');
    child.stderr.on('data', stderr.add);
    guardChannel(child, (cause) => end(errors.malformed(new Error(`a line that is not JSON (${cause.message})`, { cause }))));
    child.on('message', (message) => {
      if (settled || ending) return;
      if (message === null || typeof message !== 'object' || Array.isArray(message)) {
        end(errors.malformed(new Error(`a message that is not a JSON object: ${JSON.stringify(message).slice(0, 100)}`)));
        return;
      }
      for (const [kind, key] of Object.entries(kMessageKeys)) {
        if (!messages[kind] && Object.hasOwn(message, key)) messages[kind] = message;
      }
      try {
        const handled = onMessage && onMessage(message);
        if (handled && typeof handled.then === 'function') handled.then(undefined, end);
      } catch (error) {
        end(error);
      }
    });
    child.on('exit', (code, exitSignal) => {
      exit = { code, signal: exitSignal };
      if (ending || !child.connected) settle();
      else grace = setTimeout(settle, kMessageGraceMs);
    });
    child.on('disconnect', () => {
      if (exit) settle();
    });

    if (signal) signal.addEventListener('abort', onAbort, { once: true });
    if (limitMs > 0) deadline = setTimeout(onDeadline, limitMs);
    if (child.pid === undefined) return;
    track(child);
    try {
      if (onSpawn) onSpawn(child.pid);
    } catch (error) {
      end(error);
    }
  });
}

module.exports = { runProgram, checkProgram, checkWorkingDirectory };
