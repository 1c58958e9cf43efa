'use strict';
// Every way a run can fail, as an Error whose `code` a program can switch on,
// with the facts of the run as properties, the way Node's own child_process
// errors carry them.

class BenchError extends Error {
  constructor(code, message, { cause, exitCode = null, signal = null, stderr = '', ...rest } = {}) {
    super(message, cause === undefined ? undefined : { cause });
    this.name = code === 'ABORT_ERR' ? 'AbortError' : 'BenchError';
    this.code = code;
    this.exitCode = exitCode;
    this.signal = signal;
    this.timedOut = code === 'ETIMEDOUT';
    this.stderr = stderr;
    Object.assign(this, rest);
  }
}

function isBenchError(error) {
  return error instanceof BenchError;
}

const kPathReasons = { ENOENT: 'does not exist', ENOTDIR: 'is not a directory or lies under a file',
  EACCES: 'may not be used (permission denied)' };

// A program or directory that cannot be used, with which of the two it was:
// ENOENT, ENOTDIR, or EACCES for any other reason (cause keeps the system's).
function unusablePath(which, file, cause) {
  const what = which === 'cwd' ? 'working directory' : 'program';
  const code = kPathReasons[cause.code] ? cause.code : 'EACCES';
  const reason = cause.code === code ? kPathReasons[code] : `cannot be used (${cause.message})`;
  return new BenchError(code, `the ${what} ${file} ${reason}`, { which, path: file, cause });
}

function aborted(reason) {
  return new BenchError('ABORT_ERR', 'the run was cancelled', { cause: reason });
}

function timedOut(limitMs) {
  return new BenchError('ETIMEDOUT', `no result after ${limitMs / 1000} s; the program was stopped`);
}

// A failure of the program or of what it was given, with one of the codes
// of this package: TARSEL_NO_REPORT, TARSEL_EXIT_STATUS, TARSEL_SIGNAL,
// TARSEL_BAD_REPORT, TARSEL_NO_DATA, TARSEL_BAD_ARGUMENT.
function failed(code, message, facts) {
  return new BenchError(code, message, facts);
}

// A message of the program that could not be taken; cause says what is wrong.
function malformed(cause, facts = {}) {
  return failed('TARSEL_BAD_REPORT', `the program sent a malformed message: ${cause.message}`, { ...facts, cause });
}

// How much of the program's standard error a failure's message quotes (the
// error's stderr property keeps more): its last lines, each cut short.
const kQuotedLines = 5;
const kQuotedLineChars = 300;

// A failure of the program itself, whose standard error most likely says why.
function programFailed(code, message, facts) {
  const lines = facts.stderr ? facts.stderr.split('\n').slice(-kQuotedLines) : [];
  const quoted = lines.map((line) => `\n  ${line.length > kQuotedLineChars ? `${line.slice(0, kQuotedLineChars)}...` : line}`);
  return failed(code, quoted.length ? `${message}; its standard error ends with:${quoted.join('')}` : message, facts);
}

module.exports = { BenchError, isBenchError, unusablePath, aborted, timedOut, failed, malformed, programFailed };
