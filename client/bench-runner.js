'use strict';
// Runs the decode benchmark the way its users' parent does: the program is a
// child with an IPC channel, working in a directory that holds data/. Gathers
// what the run tells: its report, one row per case, the decoder it used and,
// when asked, what every adapter of the machine can decode.
const path = require('path');
const { runProgram, checkWorkingDirectory } = require('./child-run');
const { reportRows, formatTable } = require('./report');
const { checkCapabilities, decoderFromCapabilities, formatCapabilities } = require('./capabilities');
const errors = require('./errors');

const kDefaultTimeoutMs = 300000;
// Timers fire at once past 2^31 - 1 ms.
const kLongestTimeoutMs = 2 ** 31 - 1;

function invalidOption(name, expected, value, wrongType) {
  const shown = typeof value === 'string' ? JSON.stringify(value) : String(value);
  const error = new TypeError(`the "${name}" option must be ${expected}; received ${shown}`);
  error.code = wrongType ? 'ERR_INVALID_ARG_TYPE' : 'ERR_INVALID_ARG_VALUE';
  return error;
}

// Checks the options at the call (a TypeError for any bad one) and fills in
// the defaults.
function runOptions(options) {
  if (options === null || typeof options !== 'object') throw invalidOption('options', 'an object', options, true);
  const { program, cwd, timeoutMs = kDefaultTimeoutMs, signal, stdio = 'inherit', onSpawn, capabilities = false } = options;
  const check = (ok, name, expected, value, type) => {
    if (!ok) throw invalidOption(name, expected, value, typeof value !== type);
  };
  check(typeof program === 'string' && program !== '', 'program', 'a non-empty string', program, 'string');
  check(cwd === undefined || typeof cwd === 'string' && cwd !== '', 'cwd', 'a non-empty string', cwd, 'string');
  check(typeof timeoutMs === 'number' && (timeoutMs >= 0 && timeoutMs <= kLongestTimeoutMs || timeoutMs === Infinity),
    'timeoutMs', `a number of milliseconds up to ${kLongestTimeoutMs}, 0 or Infinity for no limit`, timeoutMs, 'number');
  check(signal === undefined || signal !== null && typeof signal === 'object' && typeof signal.aborted === 'boolean' &&
    typeof signal.addEventListener === 'function', 'signal', 'an AbortSignal', signal, 'object');
  check(stdio === 'inherit' || stdio === 'ignore', 'stdio', '"inherit" or "ignore"', stdio, 'string');
  check(onSpawn === undefined || typeof onSpawn === 'function', 'onSpawn', 'a function', onSpawn, 'function');
  check(typeof capabilities === 'boolean', 'capabilities', 'a boolean', capabilities, 'boolean');
  // A path is taken from this process's directory, not from the child's
  // working directory; a bare name is looked up in PATH.
  const programPath = /[\\/]/.test(program) ? path.resolve(program) : program;
  return {
    program: programPath,
    cwd: path.resolve(cwd === undefined ? path.dirname(path.resolve(programPath)) : cwd),
    limitMs: timeoutMs === Infinity ? 0 : timeoutMs,
    signal, stdio, onSpawn, capabilities,
  };
}

const factsOf = ({ exitCode, signal, stderr }) => ({ exitCode, signal, stderr });

// Resolves to { report, rows, decoder } (and capabilities when asked) once
// the program has sent its report and exited with status 0; rejects with a
// BenchError saying why otherwise.
function runBenchmark(options) {
  const run = runOptions(options);
  return (async () => {
    await checkWorkingDirectory(run.cwd, true);
    // The decoder line comes from the capability message: unlike tarsel.log,
    // which two runs in one directory share, it belongs to this run alone.
    const ended = await runProgram({ ...run, args: ['--capabilities'] });
    const facts = factsOf(ended);
    if (!ended.report) throw errors.failed('TARSEL_NO_REPORT', 'the program exited without a report', facts);
    if (!ended.capabilities) {
      throw errors.failed('TARSEL_NO_REPORT', 'the program exited without the capability message it was asked for', facts);
    }
    let rows;
    let capabilities;
    try {
      rows = reportRows(ended.report);
      capabilities = checkCapabilities(ended.capabilities);
    } catch (cause) {
      throw errors.failed('TARSEL_BAD_REPORT', `the program sent a malformed message: ${cause.message}`, { ...facts, cause });
    }
    const decoder = decoderFromCapabilities(capabilities);
    const result = { report: ended.report, rows, decoder };
    return run.capabilities ? { ...result, capabilities } : result;
  })();
}

// Resolves to the capability message's value ({ adapters, reason? }) of a
// run with --capabilities-only, which decodes nothing.
function probeCapabilities(options) {
  const run = runOptions(options);
  return (async () => {
    await checkWorkingDirectory(run.cwd, false);
    const ended = await runProgram({ ...run, args: ['--capabilities-only'] });
    const facts = factsOf(ended);
    if (!ended.capabilities) throw errors.failed('TARSEL_NO_REPORT', 'the program exited without a capability message', facts);
    try {
      return checkCapabilities(ended.capabilities);
    } catch (cause) {
      throw errors.failed('TARSEL_BAD_REPORT', `the program sent a malformed message: ${cause.message}`, { ...facts, cause });
    }
  })();
}

module.exports = {
  runBenchmark, probeCapabilities, isBenchError: errors.isBenchError,
  reportRows, formatTable, formatCapabilities, decoderFromCapabilities,
};
