'use strict';
// Which decoder a run used, read from that run's own lines of tarsel.log in
// its working directory: the way for a program that sends no capability
// message.
const fs = require('fs');
const path = require('path');

const kLogName = 'tarsel.log';
const kRotatedLogName = 'tarsel.1.log';

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
  let logged = null;
  let lastError = null;
  for (const { level, text } of messages) {
    const match = /^decoder : adapter (\d+) -> (.*) \[0x([0-9a-f]+)\/\/0x([0-9a-f]+)\]$/.exec(text);
    if (match) {
      adapter = { index: Number(match[1]), description: match[2], vendorId: parseInt(match[3], 16),
        deviceId: parseInt(match[4], 16), software: null };
      logged = text;
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
  return { found: true, adapter, reason: null, line: `decoder: ${logged.replace(/^decoder : /, '')}` };
}

module.exports = { markLog, logSince, logMessages, decoderFromLog };
