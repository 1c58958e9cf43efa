'use strict';
// The client's module against stand-in programs: how each way a run ends
// comes out, the option checks, cancellation, and the decoder line.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const path = require('path');
const { pathToFileURL } = require('url');
const kRunnerPath = path.join(__dirname, '..', '..', 'client', 'bench-runner');
const runner = require(kRunnerPath);
const { runBenchmark, probeCapabilities, reportRows, formatTable, decoderFromCapabilities, checkResults } = runner;
const { kReport, kResults, makeStandIn, isRunning, waitForFile } = require('./stand-in');

// What the program does: the capability message when asked, then the report.
const reportAndExit = 'if (askedForCapabilities) await send(capabilities); await send(report);';
// The same with progress and results as asked, as the contract orders them.
const resultsAndExit = `if (askedForCapabilities) await send(capabilities);
  if (askedForProgress) for (const message of progress) await send(message);
  await send(report);
  if (askedForResults) await send(results);`;
// kResults with its cases changed by edit(cases).
const resultsWith = (edit) => {
  const changed = structuredClone(kResults);
  edit(changed.results.cases, changed.results);
  return changed;
};
const sleeperPid = (dir) => fs.existsSync(path.join(dir, 'sleeper.pid')) && Number(fs.readFileSync(path.join(dir, 'sleeper.pid'), 'utf8'));

// Rows: what the stand-in does, the options beside program, cwd and stdio
// (or a function of the stand-in's dir and program giving them), and the
// error's properties (null: the run resolves with the report).
const kEndings = [
  ['reports, then lingers past the time limit', `${reportAndExit} sleeper(); await sleep(60000);`, { timeoutMs: 500 }, null],
  ['writes to standard error and exits 3', 'for (let i = 0; i < 40; ++i) console.error(`line ${i}`); process.exitCode = 3;', {},
    { code: 'TARSEL_EXIT_STATUS', exitCode: 3, stderr: /^(?![^]*line 0\n)[^]*line 38\nline 39$/,
      message: /^the program exited with status 3; its standard error ends with:\n  line 35\n  line 36\n[^]*\n  line 39$/ }],
  ['is ended by a signal', `await send(report); process.kill(process.pid, 'SIGTERM');`, {},
    { code: 'TARSEL_SIGNAL', signal: 'SIGTERM', exitCode: null }],
  ['sends a report without cases', reportAndExit.replace('send(report)', 'send({ bench: ["h264", [], ["h265", []]] })'), {},
    { code: 'TARSEL_BAD_REPORT', message: /no h264 cases/ }],
  ['sends a report line that is not JSON', `fs.writeSync(3, '{"bench": ["h264"\\n'); ${reportAndExit} await sleep(60000);`, {},
    { code: 'TARSEL_BAD_REPORT', cause: Error, message: /not JSON/ }],
  ['sends results of another run', resultsAndExit.replace('send(results)', 'send({ results: { ...results.results, cases: results.results.cases.slice(1) } })'),
    { repeat: 3 }, { code: 'TARSEL_BAD_REPORT', message: /has 7 cases where the report has 8/ }],
  ['has its progress callback throw', `${resultsAndExit} await sleep(60000);`,
    { onProgress: ({ index }) => { if (index === 2) throw new RangeError('stop at 2'); } }, { name: 'RangeError', message: /^stop at 2$/ }],
  ['hangs past the time limit', 'sleeper(); await sleep(60000);', { timeoutMs: 300 },
    { code: 'ETIMEDOUT', timedOut: true, signal: 'SIGKILL' }],
  ['is not executable', '', (dir, program) => fs.chmodSync(program, 0o644), { code: 'EACCES', which: 'program' }],
  ['is given a missing directory', '', (dir) => ({ cwd: path.join(dir, 'missing') }), { code: 'ENOENT', which: 'cwd' }],
  ['is given a directory without data/', '', (dir) => fs.rmdirSync(path.join(dir, 'data')),
    { code: 'TARSEL_NO_DATA', path: /\/data$/, message: /holds no data\/[^]*the cwd option \(--data-dir [^]*scripts\/make-data/ }],
];

test('each way a run ends gives its code and facts, promptly, and leaves no process', async (t) => {
  for (const [name, body, options, expected] of kEndings) {
    const { dir, program } = makeStandIn(t, body);
    let pid = null;
    const started = Date.now();
    const run = runBenchmark({ program, cwd: dir, stdio: 'ignore', onSpawn: (spawned) => { pid = spawned; },
      ...(typeof options === 'function' ? options(dir, program) : options) });
    if (expected === null) assert.deepStrictEqual((await run).report, kReport, name);
    else {
      await assert.rejects(run, (error) => Object.entries(expected).every(([key, value]) => (value instanceof RegExp
        ? value.test(error[key]) : typeof value === 'function' ? error[key] instanceof value : error[key] === value)) || error, name);
    }
    assert.ok(Date.now() - started < 5000, `${name}: ${Date.now() - started} ms`);
    // Nothing starts when the program or directory cannot be used.
    assert.strictEqual(pid === null, Boolean(expected && (expected.which || expected.code === 'TARSEL_NO_DATA')), name);
    for (const left of [pid, sleeperPid(dir)]) assert.ok(!left || !isRunning(left), `${name}: ${left} left running`);
  }
});

test('bad options are a TypeError at the call', () => {
  const program = '/bin/true';
  const rows = [
    [undefined, 'options'], [{ program: '' }, 'program'], [{ program, timeoutMs: 2 ** 31 }, 'timeoutMs'],
    [{ program, stdio: 'pipe' }, 'stdio'], [{ program, repeat: 2.5 }, 'repeat'], [{ program, results: false, repeat: 2 }, 'results'],
  ];
  for (const [options, name] of rows) {
    for (const call of [runBenchmark, probeCapabilities]) {
      assert.throws(() => call(options), (error) => error instanceof TypeError && error.message.includes(`"${name}"`),
        `${call.name} ${JSON.stringify(options)}`);
    }
  }
});

// The moments a run can be cancelled at: before the call (where nothing,
// not even a missing program, is looked at), while the program works, after
// its report but before its exit.
test('a cancelled run rejects with AbortError at once and leaves no process', async (t) => {
  for (const moment of ['before the call', 'before the call, nothing there', 'sleeper.pid', 'reported']) {
    const { dir, program } = makeStandIn(t, 'sleeper(); await send(report); mark("reported"); await sleep(60000);');
    const controller = new AbortController();
    if (moment.startsWith('before the call')) controller.abort('quit');
    if (moment.endsWith('nothing there')) fs.rmSync(dir, { recursive: true });
    let pid = null;
    const run = runBenchmark({ program, cwd: dir, stdio: 'ignore', signal: controller.signal, onSpawn: (started) => { pid = started; } });
    if (!moment.includes(' ')) {
      await waitForFile(path.join(dir, moment));
      controller.abort('quit');
    }
    const aborted = Date.now();
    await assert.rejects(run, { name: 'AbortError', code: 'ABORT_ERR', cause: 'quit' }, moment);
    assert.ok(Date.now() - aborted < 2000, `${moment}: ${Date.now() - aborted} ms`);
    assert.strictEqual(pid === null, moment.startsWith('before the call'), moment);
    for (const left of [pid, sleeperPid(dir)]) assert.ok(!left || !isRunning(left), `${moment}: ${left} left running`);
  }
});

// What a run with the options passes and resolves with are the command line's
// tests; a bare run asks for nothing beyond the capability message.
test('not asked for results, the program gets no arguments for them and the run resolves without them', async (t) => {
  const { dir, program } = makeStandIn(t, `mark('args.json', JSON.stringify(process.argv.slice(2))); ${resultsAndExit}`);
  const result = await runBenchmark({ program, cwd: dir, stdio: 'ignore' });
  assert.deepStrictEqual(JSON.parse(fs.readFileSync(path.join(dir, 'args.json'), 'utf8')), ['--capabilities']);
  assert.strictEqual(result.results, undefined);
});

// Each row: what is wrong with the results (an edit of kResults's cases and
// document), and what the error says.
test('results of the wrong shape are refused with what is wrong and where', () => {
  const rows = reportRows(kReport);
  const wrong = [
    [(cases, results) => { results.schemaVersion = '1'; }, /schemaVersion "1"/],
    [(cases) => cases.reverse(), /case 0 is h265 3840x2160 where the report has h264 1280x720/],
    [(cases) => { delete cases[2].reason; }, /case 2 failed without a reason/],
    [(cases) => { cases[0].medianUs = null; }, /case 0 has medianUs null for 3 samples/],
    [(cases) => { delete cases[5].realTime['120']; }, /case 5 has no realTime verdict/],
  ];
  for (const [edit, message] of wrong) {
    assert.throws(() => checkResults(resultsWith(edit).results, rows), message, String(edit));
  }
  // Read on its own (a saved document), only the cases' own shape is checked.
  assert.strictEqual(checkResults(resultsWith((cases) => cases.pop()).results).cases.length, 7);
});

// BenchError is among the names, so instanceof works across the two.
test('the ES module gives the same functions and classes by name and as its default', async () => {
  const esm = await import(pathToFileURL(`${kRunnerPath}.mjs`).href);
  assert.strictEqual(esm.default, runner);
  for (const name of Object.keys(runner)) assert.strictEqual(esm[name], runner[name], name);
});

// The capabilities a run resolves with are printed by the command line's tests.
test('without an adapter the decoder line says why', () => {
  assert.strictEqual(decoderFromCapabilities({ adapters: [], reason: 'failed to CreateDXGIFactory : error 0x887a0004' }).line,
    'decoder: none found (failed to CreateDXGIFactory : error 0x887a0004)');
});

test('30 frames in the measured time give frames/s; bars are scaled to the fastest case, failed cases and plain tables have none', () => {
  const rows = reportRows(kReport);
  assert.deepStrictEqual(formatTable(rows).split('\n').slice(1).map((line) => line.split(/\s+/).slice(2).join(' ')),
    ['yes 10.000 3000.0', 'yes 20.000 1500.0', 'no 0.000 -', 'yes 10.000 3000.0', 'yes 40.000 750.0', ...Array(3).fill('yes 10.000 3000.0')]);
  const bars = formatTable(rows, { bars: true }).split('\n').slice(1).map((line) => (/#*$/.exec(line)[0]).length);
  assert.deepStrictEqual(bars, [30, 15, 0, 30, 8, 30, 30, 30]);
});
