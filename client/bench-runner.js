'use strict';
// Runs the decode benchmark the way its users' parent does: the program is a
// child with an IPC channel, working in a directory that holds data/. Gathers
// what the run tells: its report, one row per case, the decoder it used and,
// when asked, what every adapter of the machine can decode and the extended
// results (repeated passes, the machine's context), with each case's
// progress as it finishes.
const path = require('path');
const { runProgram, checkProgram, checkWorkingDirectory } = require('./child-run');
const { reportRows, formatTable } = require('./report');
const { checkCapabilities, decoderFromCapabilities, formatCapabilities } = require('./capabilities');
const { checkResults, checkProgress, checkAdapters } = require('./results');
const errors = require('./errors');

const kDefaultTimeoutMs = 300000;
// Timers fire at once past 2^31 - 1 ms.
const kLongestTimeoutMs = 2 ** 31 - 1;
// The program's own bounds for --repeat and --warmup.
const kRepeatRange = [1, 100];
const kWarmupRange = [0, 100];
// An index in enumeration order or a LUID, as the program takes them.
const kAdapterId = /^(\d+|0[xX][0-9a-fA-F]{1,16})$/;

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
  const { program, cwd, timeoutMs = kDefaultTimeoutMs, signal, stdio = 'inherit', onSpawn, capabilities = false,
    results, repeat, warmup, onProgress, adapter, allAdapters = false, stream, codec } = options;
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
  const inRange = (value, [least, most]) => Number.isInteger(value) && value >= least && value <= most;
  check(repeat === undefined || inRange(repeat, kRepeatRange), 'repeat', `an integer from ${kRepeatRange.join(' to ')}`,
    repeat, 'number');
  check(warmup === undefined || inRange(warmup, kWarmupRange), 'warmup', `an integer from ${kWarmupRange.join(' to ')}`,
    warmup, 'number');
  check(onProgress === undefined || typeof onProgress === 'function', 'onProgress', 'a function', onProgress, 'function');
  check(adapter === undefined || Number.isSafeInteger(adapter) && adapter >= 0 ||
    typeof adapter === 'string' && kAdapterId.test(adapter), 'adapter',
  'an adapter\'s index or its LUID as the capability report gives it ("0x0000000000005678")', adapter, 'string');
  check(typeof allAdapters === 'boolean' && !(allAdapters && adapter !== undefined), 'allAdapters',
    adapter === undefined ? 'a boolean' : 'left out or false with adapter', allAdapters, 'boolean');
  check(stream === undefined || typeof stream === 'string' && stream !== '', 'stream', 'a non-empty string', stream, 'string');
  check(codec === undefined || stream !== undefined && (codec === 'h264' || codec === 'h265'), 'codec',
    stream === undefined ? 'left out without stream' : '"h264" or "h265"', codec, 'string');
  // repeat, warmup, progress and every adapter are settings of the results: they ask for them.
  const impliesResults = repeat !== undefined || warmup !== undefined || onProgress !== undefined || allAdapters;
  check(results === undefined || results === true || results === false && !impliesResults, 'results',
    impliesResults ? 'true or left out with repeat, warmup, onProgress or allAdapters' : 'a boolean', results, 'boolean');
  // A path is taken from this process's directory, not from the child's
  // working directory; a bare name is looked up in PATH.
  const programPath = /[\\/]/.test(program) ? path.resolve(program) : program;
  return {
    program: programPath,
    cwd: path.resolve(cwd === undefined ? path.dirname(path.resolve(programPath)) : cwd),
    limitMs: timeoutMs === Infinity ? 0 : timeoutMs,
    signal, stdio, onSpawn, capabilities,
    results: results === true || impliesResults, repeat, warmup, onProgress, adapter, allAdapters,
    // Taken from this process's directory, as the program is.
    stream: stream === undefined ? undefined : path.resolve(stream), codec,
  };
}

// The program's arguments for a benchmark run. The decoder line comes from
// the capability message: unlike tarsel.log, which two runs in one directory
// share, it belongs to this run alone.
function benchmarkArgs({ results, repeat, warmup, onProgress, adapter, allAdapters, stream, codec }) {
  const args = ['--capabilities'];
  if (results) args.push('--results');
  if (adapter !== undefined) args.push('--adapter', String(adapter));
  if (allAdapters) args.push('--all-adapters');
  if (stream !== undefined) args.push('--stream', stream);
  if (codec !== undefined) args.push('--codec', codec);
  if (repeat !== undefined) args.push('--repeat', String(repeat));
  if (warmup !== undefined) args.push('--warmup', String(warmup));
  if (onProgress) args.push('--progress');
  return args;
}

// The index of the adapter an id names (an index, or a LUID in any case);
// undefined without an id.
function namedAdapter(capabilities, id) {
  if (id === undefined) return undefined;
  const text = String(id);
  const found = /^0x/i.test(text)
    ? capabilities.adapters.find((adapter) => /^0x[0-9a-f]{1,16}$/i.test(adapter.luid) && BigInt(adapter.luid) === BigInt(text))
    : capabilities.adapters.find((adapter) => adapter.index === Number(text));
  return found ? found.index : -1;
}

// Rejects at once for a cancelled signal, before anything is looked at or
// started; then the program, then its working directory.
async function checkBeforeStart({ signal, program, cwd }, needsData) {
  if (signal && signal.aborted) throw errors.aborted(signal.reason);
  await checkProgram(program);
  await checkWorkingDirectory(cwd, needsData);
}

// Each progress message, checked, to the caller's callback (whose promise,
// if it returns one, the run watches for a rejection).
function progressHandler(onProgress) {
  return (message) => {
    if (!Object.hasOwn(message, 'progress')) return;
    let progress;
    try {
      progress = checkProgress(message.progress);
    } catch (cause) {
      throw errors.malformed(cause);
    }
    return onProgress(progress);
  };
}

const factsOf = ({ exitCode, signal, stderr }) => ({ exitCode, signal, stderr });

// Resolves to { report, rows, decoder } (with capabilities and results when
// asked; with allAdapters also adapters and adapterResults, one results per
// adapter measured, results being the rule's adapter's) once the program has
// sent its report and exited with status 0, or has sent every message asked
// for when the time limit passes; rejects with a BenchError saying why
// otherwise.
function runBenchmark(options) {
  const run = runOptions(options);
  return (async () => {
    // A stream needs no data/.
    await checkBeforeStart(run, run.stream === undefined);
    const wanted = ['report', 'capabilities', ...(run.results ? ['results'] : []), ...(run.allAdapters ? ['adapters'] : [])];
    // Every results message, for a run on every adapter.
    const allResults = [];
    const progress = run.onProgress && progressHandler(run.onProgress);
    const onMessage = (message) => {
      if (Object.hasOwn(message, 'results')) allResults.push(message.results);
      return progress && progress(message);
    };
    const ended = await runProgram({ ...run, args: benchmarkArgs(run), wanted, onMessage });
    const facts = factsOf(ended);
    if (!ended.report) throw errors.failed('TARSEL_NO_REPORT', 'the program exited without a report', facts);
    if (!ended.capabilities) {
      throw errors.failed('TARSEL_NO_REPORT', 'the program exited without the capability message it was asked for', facts);
    }
    if (run.results && !ended.results) {
      throw errors.failed('TARSEL_NO_REPORT', 'the program exited without the results message it was asked for', facts);
    }
    if (run.allAdapters && !ended.adapters) {
      throw errors.failed('TARSEL_NO_REPORT', 'the program exited without the adapters message it was asked for', facts);
    }
    let rows;
    let capabilities;
    let results;
    let adapters;
    let adapterResults;
    try {
      rows = reportRows(ended.report, { stream: run.stream !== undefined });
      capabilities = checkCapabilities(ended.capabilities);
      if (run.results) adapterResults = allResults.map((each) => checkResults(each, rows));
      if (run.allAdapters) adapters = checkAdapters(ended.adapters.adapters);
    } catch (cause) {
      throw errors.malformed(cause, facts);
    }
    if (run.results) {
      // The bare report is the rule's adapter's; so is the one results returned.
      results = adapterResults.find((each) => each.context.adapter && each.context.adapter.benchmark === true) ||
        adapterResults[0];
    }
    // Without an adapter asked for, the decoder is the one the capability message marks.
    const used = run.adapter === undefined ? undefined
      : results && results.context.adapter ? results.context.adapter.index : namedAdapter(capabilities, run.adapter);
    const result = { report: ended.report, rows, decoder: decoderFromCapabilities(capabilities, used) };
    if (run.capabilities) result.capabilities = capabilities;
    if (run.results) result.results = results;
    if (run.allAdapters) Object.assign(result, { adapters, adapterResults });
    return result;
  })();
}

// Resolves to the capability message's value ({ adapters, reason? }) of a
// run with --capabilities-only, which decodes nothing.
function probeCapabilities(options) {
  const run = runOptions(options);
  return (async () => {
    await checkBeforeStart(run, false);
    const ended = await runProgram({ ...run, args: ['--capabilities-only'], wanted: ['capabilities'] });
    const facts = factsOf(ended);
    if (!ended.capabilities) throw errors.failed('TARSEL_NO_REPORT', 'the program exited without a capability message', facts);
    try {
      return checkCapabilities(ended.capabilities);
    } catch (cause) {
      throw errors.malformed(cause, facts);
    }
  })();
}

module.exports = {
  runBenchmark, probeCapabilities, isBenchError: errors.isBenchError, BenchError: errors.BenchError,
  reportRows, formatTable, formatCapabilities, decoderFromCapabilities, checkResults,
};
