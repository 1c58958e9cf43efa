'use strict';
// The client's module against stand-in programs: how each way a run ends
// comes out, the option checks, cancellation, and the decoder line.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const path = require('path');
const { runBenchmark, probeCapabilities, reportRows, formatTable, decoderFromCapabilities } =
  require(path.join(__dirname, '..', '..', 'client', 'bench-runner'));
const { kReport, kCapabilities, makeStandIn, isRunning, waitForFile } = require('./stand-in');

// What the program does: the capability message when asked, then the report.
const reportAndExit = 'if (askedForCapabilities) await send(capabilities); await send(report);';
const sleeperPid = (dir) => fs.existsSync(path.join(dir, 'sleeper.pid')) && Number(fs.readFileSync(path.join(dir, 'sleeper.pid'), 'utf8'));

// Rows: what the stand-in does, the options beside program, cwd and stdio
// (or a function of the stand-in's dir and program giving them), and the
// error's properties (null: the run resolves with the report).
const kEndings = [
  ['reports and exits 0', reportAndExit, {}, null],
  ['reports after a while, with no time limit', `await sleep(300); ${reportAndExit}`, { timeoutMs: 0 }, null],
  // The sleeper inherits standard error and the channel itself (fd 3): the run must not wait for them.
  ['reports and exits, leaving a child holding its pipes', `sleeper(['ignore', 'ignore', 'inherit', 3]); ${reportAndExit}`, {}, null],
  ['exits 0 without a report', '', {}, { code: 'TARSEL_NO_REPORT', exitCode: 0, signal: null }],
  ['writes to standard error and exits 3', 'for (let i = 0; i < 40; ++i) console.error(`line ${i}`); process.exitCode = 3;', {},
    { code: 'TARSEL_EXIT_STATUS', exitCode: 3, stderr: /^(?![^]*line 0\n)[^]*line 38\nline 39$/ }],
  ['is ended by a signal', `await send(report); process.kill(process.pid, 'SIGTERM');`, {},
    { code: 'TARSEL_SIGNAL', signal: 'SIGTERM', exitCode: null }],
  ['sends a malformed report', reportAndExit.replace('send(report)', 'send({ bench: ["h264", []] })'), {},
    { code: 'TARSEL_BAD_REPORT', cause: Error }],
  ['hangs past the time limit', 'sleeper(); await sleep(60000);', { timeoutMs: 300 },
    { code: 'ETIMEDOUT', timedOut: true, signal: 'SIGKILL' }],
  ['reports without the capability message asked for', 'await send(report);', { capabilities: true },
    { code: 'TARSEL_NO_REPORT' }],
  ['sends a capability message without adapters', 'await send({ capabilities: {} }); await send(report);',
    { capabilities: true }, { code: 'TARSEL_BAD_REPORT' }],
  ['is missing', '', (dir) => ({ program: path.join(dir, 'missing') }), { code: 'ENOENT', which: 'program' }],
  ['is not executable', '', (dir, program) => fs.chmodSync(program, 0o644), { code: 'EACCES', which: 'program' }],
  ['lies below a file', '', (dir, program) => ({ program: path.join(program, 'x') }), { code: 'ENOTDIR', which: 'program' }],
  ['is given a missing directory', '', (dir) => ({ cwd: path.join(dir, 'missing') }), { code: 'ENOENT', which: 'cwd' }],
  ['is given a file as directory', '', (dir, program) => ({ cwd: program }), { code: 'ENOTDIR', which: 'cwd' }],
  ['is given a directory without data/', '', (dir) => fs.rmdirSync(path.join(dir, 'data')),
    { code: 'TARSEL_NO_DATA', path: /\/data$/ }],
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
    [undefined, 'options'], [{}, 'program'], [{ program: '' }, 'program'], [{ program, cwd: 5 }, 'cwd'],
    [{ program, timeoutMs: -1 }, 'timeoutMs'], [{ program, timeoutMs: NaN }, 'timeoutMs'],
    [{ program, timeoutMs: '100' }, 'timeoutMs'], [{ program, timeoutMs: 2 ** 31 }, 'timeoutMs'],
    [{ program, signal: {} }, 'signal'], [{ program, stdio: 'pipe' }, 'stdio'],
    [{ program, onSpawn: 1 }, 'onSpawn'], [{ program, capabilities: 'yes' }, 'capabilities'],
  ];
  for (const [options, name] of rows) {
    for (const call of [runBenchmark, probeCapabilities]) {
      assert.throws(() => call(options), (error) => error instanceof TypeError && error.message.includes(`"${name}"`),
        `${call.name} ${JSON.stringify(options)}`);
    }
  }
});

// The moments a run can be cancelled at: before the call, at the spawn,
// while the program works, after its report but before its exit.
test('a cancelled run rejects with AbortError at once and leaves no process', async (t) => {
  for (const moment of ['before the call', 'at the spawn', 'sleeper.pid', 'reported']) {
    const { dir, program } = makeStandIn(t, 'sleeper(); await send(report); mark("reported"); await sleep(60000);');
    const controller = new AbortController();
    if (moment === 'before the call') controller.abort('quit');
    let pid = null;
    const run = runBenchmark({ program, cwd: dir, stdio: 'ignore', signal: controller.signal, onSpawn: (started) => {
      pid = started;
      if (moment === 'at the spawn') controller.abort('quit');
    } });
    if (!moment.includes(' ')) {
      await waitForFile(path.join(dir, moment));
      controller.abort('quit');
    }
    const aborted = Date.now();
    await assert.rejects(run, { name: 'AbortError', code: 'ABORT_ERR', cause: 'quit' }, moment);
    assert.ok(Date.now() - aborted < 2000, `${moment}: ${Date.now() - aborted} ms`);
    assert.strictEqual(pid === null, moment === 'before the call', moment);
    for (const left of [pid, sleeperPid(dir)]) assert.ok(!left || !isRunning(left), `${moment}: ${left} left running`);
  }
});

test('asked for capabilities, the run resolves with them and its decoder is the adapter they mark', async (t) => {
  const { dir, program } = makeStandIn(t, reportAndExit);
  const result = await runBenchmark({ program, cwd: dir, stdio: 'ignore', capabilities: true });
  assert.deepStrictEqual(result.capabilities, kCapabilities.capabilities);
  assert.deepStrictEqual(result.decoder, { found: true, reason: null,
    adapter: { index: 1, description: 'Integrated GPU', vendorId: 0x8086, deviceId: 0x3e92, software: false },
    line: 'decoder: adapter 1 -> Integrated GPU [0x8086//0x3e92]' });
  // Machines where the benchmark found no hardware.
  const [software, integrated] = kCapabilities.capabilities.adapters;
  const rows = [
    [{ adapters: [], reason: 'failed to CreateDXGIFactory : error 0x887a0004' },
      'decoder: none found (failed to CreateDXGIFactory : error 0x887a0004)'],
    [{ adapters: [software, { ...integrated, benchmark: false }] },
      'decoder: none found (adapter 0: could not query ID3D11VideoDevice interface: hr = 0x80004002)'],
    [{ adapters: [{ ...software, benchmark: true }] }, 'decoder: adapter 0 -> Basic Render [0x1414//0x8c] (software)'],
  ];
  for (const [machine, line] of rows) assert.strictEqual(decoderFromCapabilities(machine).line, line);
});

test('30 frames in the measured time give frames/s; bars are scaled to the fastest case, failed cases and plain tables have none', () => {
  const rows = reportRows(kReport);
  assert.deepStrictEqual(formatTable(rows).split('\n').slice(1).map((line) => line.split(/\s+/).slice(2).join(' ')),
    ['yes 10.000 3000.0', 'yes 20.000 1500.0', 'no 0.000 -', 'yes 10.000 3000.0', 'yes 40.000 750.0', ...Array(3).fill('yes 10.000 3000.0')]);
  const bars = formatTable(rows, { bars: true }).split('\n').slice(1).map((line) => (/#*$/.exec(line)[0]).length);
  assert.deepStrictEqual(bars, [30, 15, 0, 30, 8, 30, 30, 30]);
  assert.doesNotMatch(formatTable(rows), /#/);
});
