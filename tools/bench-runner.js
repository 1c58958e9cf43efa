'use strict';
// Runs the decode benchmark the way its users' parent does (the program is a
// child with an IPC channel, working in a directory that holds data/) and
// gathers what the run tells: its report, one row per case and which decoder
// it used, read from this run's own lines of tarsel.log in that directory.
// Usable as it is by any Node.js parent; tools/bench-client.js is its command
// line.
const { spawn } = require('child_process');
const fs = require('fs');
const path = require('path');

const kLogName = 'tarsel.log';
const kRotatedLogName = 'tarsel.1.log';

// The report nests the H.265 group one level deeper than the H.264 group:
// {"bench":["h264",[cases],["h265",[cases]]]}. Returns rows or throws.
function reportRows(report) {
  const bench = report && report.bench;
  if (!Array.isArray(bench) || bench.length !== 3 || bench[0] !== 'h264' || !Array.isArray(bench[1]) ||
      !Array.isArray(bench[2]) || bench[2][0] !== 'h265' || !Array.isArray(bench[2][1])) {
    throw new Error('the report does not have the expected shape');
  }
  const rows = [];
  for (const [codec, cases] of [['h264', bench[1]], ['h265', bench[2][1]]]) {
    for (const c of cases) {
      const pass = c['bench-pass'] === true;
      const timeUs = c['bench-time'];
      const frames = c['bench-frame'];
      rows.push({
        codec,
        size: `${c.width}x${c.height}`,
        pass,
        timeUs,
        frames,
        framesPerSecond: pass && timeUs > 0 ? frames * 1e6 / timeUs : null,
      });
    }
  }
  return rows;
}

function fileState(file) {
  try {
    const stat = fs.statSync(file);
    return { size: stat.size, ino: stat.ino };
  } catch {
    return { size: 0, ino: null };
  }
}

function readOrEmpty(file) {
  try {
    return fs.readFileSync(file);
  } catch {
    return Buffer.alloc(0);
  }
}

// Where this run's lines will begin: the log, and the file a rotation would
// turn it into, as they are before the spawn.
function markLog(cwd) {
  return { log: fileState(path.join(cwd, kLogName)), rotated: fileState(path.join(cwd, kRotatedLogName)) };
}

// The bytes logged since the mark. When the log rotated during the run, the
// file that held the mark (empty if there was none) is now tarsel.1.log: the
// run's lines begin there at the mark and go on in the new tarsel.log.
function logSince(cwd, mark) {
  const current = fileState(path.join(cwd, kLogName));
  const rotatedNow = fileState(path.join(cwd, kRotatedLogName));
  const rotated = current.size < mark.log.size || current.ino !== mark.log.ino && mark.log.ino !== null ||
    rotatedNow.ino !== mark.rotated.ino || rotatedNow.size !== mark.rotated.size;
  const text = readOrEmpty(path.join(cwd, kLogName));
  if (!rotated) return text.subarray(mark.log.size).toString('utf8');
  return readOrEmpty(path.join(cwd, kRotatedLogName)).subarray(mark.log.size).toString('utf8') + text.toString('utf8');
}

// Log lines as { level, text }: "[date] [global] [level] text", CR LF ended.
function logMessages(logText) {
  const messages = [];
  for (const line of logText.split(/\r?\n/)) {
    const match = /^\[[^\]]+\] \[[^\]]+\] \[(\w+)\] (.*)$/.exec(line);
    if (match) messages.push({ level: match[1], text: match[2] });
  }
  return messages;
}

// Which decoder the run used, from its log messages. The program logs every
// adapter it tries ("decoder : adapter <i> -> <description> [0x<vendor>//0x<device>]")
// and keeps the first that can decode, so the last one logged is the one
// used, unless the run then says that no decoder was found.
function decoderFromLog(messages) {
  let adapter = null;
  let lastError = null;
  for (const { level, text } of messages) {
    const match = /^decoder : adapter (\d+) -> (.*) \[0x([0-9a-f]+)\/\/0x([0-9a-f]+)\]$/.exec(text);
    if (match) {
      adapter = { index: Number(match[1]), description: match[2], vendorId: parseInt(match[3], 16),
        deviceId: parseInt(match[4], 16), logged: text };
    } else if (/^decoder ?: (no decoder were found|failed to CreateDXGIFactory)/.test(text)) {
      const reason = lastError ? `${lastError}; ${text}` : text;
      return { found: false, adapter: null, reason, line: `decoder: none found (the log says: ${reason})` };
    } else if (level === 'error' && /^decoder/.test(text)) {
      lastError = text;
    }
  }
  if (!adapter) {
    return { found: false, adapter: null, reason: 'no adapter in this run\'s log',
      line: `decoder: unknown (this run's lines of ${kLogName} name no adapter)` };
  }
  return { found: true, adapter, reason: null, line: `decoder: ${adapter.logged.replace(/^decoder : /, '')}` };
}

// Resolves to { report, rows, decoder } once the program has sent its report
// and exited with status 0; rejects with an Error that says why otherwise.
function runBenchmark({ program, cwd = process.cwd(), timeoutMs = 300000, stdio = 'inherit' } = {}) {
  return new Promise((resolve, reject) => {
    if (!program) {
      reject(new Error('no program given'));
      return;
    }
    // Timers fire at once past 2^31 - 1 ms: a longer limit is no limit worth keeping.
    const limitMs = Math.min(Number(timeoutMs) > 0 ? Number(timeoutMs) : 300000, 2147483647);
    const mark = markLog(cwd);
    let report = null;
    let settled = false;
    const settle = (error, value) => {
      if (settled) return;
      settled = true;
      clearTimeout(deadline);
      if (error) reject(error);
      else resolve(value);
    };

    // Output is shown or dropped, never piped: an unread pipe would stall the program.
    const output = stdio === 'ignore' ? 'ignore' : 'inherit';
    const child = spawn(program, [], { cwd, stdio: ['ignore', output, output, 'ipc'] });
    // A hardware decoder that hangs must not hang this parent as well.
    const deadline = setTimeout(() => {
      child.kill('SIGKILL');
      settle(new Error(`no result after ${limitMs / 1000} s; the program was stopped`));
    }, limitMs);

    child.on('message', (message) => {
      if (message && Object.prototype.hasOwnProperty.call(message, 'bench')) report = message;
    });
    // Without a process there is no exit to wait for.
    child.on('error', (error) => {
      if (child.pid === undefined) settle(new Error(`cannot start ${program}: ${error.message}`));
    });
    child.on('close', (code, signal) => {
      if (signal) return settle(new Error(`the program was ended by signal ${signal}`));
      if (code !== 0) return settle(new Error(`the program exited with status ${code}`));
      if (!report) return settle(new Error('the program ended without a report'));
      let rows;
      try {
        rows = reportRows(report);
      } catch (error) {
        return settle(new Error(`${error.message}: ${JSON.stringify(report)}`));
      }
      settle(null, { report, rows, decoder: decoderFromLog(logMessages(logSince(cwd, mark))) });
    });
  });
}

const kBarWidth = 30;

// The table, with a bar per row scaled to the fastest case when asked.
function formatTable(rows, { bars = false } = {}) {
  const fastest = Math.max(0, ...rows.map((row) => row.framesPerSecond || 0));
  const lines = [['codec', 'size', 'pass', 'time ms', 'frames/s']];
  for (const row of rows) {
    const fps = row.framesPerSecond === null ? '-' : row.framesPerSecond.toFixed(1);
    const line = [row.codec, row.size, row.pass ? 'yes' : 'no', (row.timeUs / 1000).toFixed(3), fps];
    if (bars && row.framesPerSecond !== null) {
      line.push('#'.repeat(Math.max(1, Math.round(kBarWidth * row.framesPerSecond / fastest))));
    }
    lines.push(line);
  }
  const widths = lines[0].map((_, column) => Math.max(...lines.map((line) => line[column].length)));
  return lines.map((line) => line.map((cell, column) =>
    column >= 5 ? cell : column < 3 ? cell.padEnd(widths[column]) : cell.padStart(widths[column])).join('  ')).join('\n');
}

module.exports = { runBenchmark, reportRows, formatTable, decoderFromLog, logMessages };
