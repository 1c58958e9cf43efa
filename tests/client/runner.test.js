'use strict';
// The client's module against stand-in programs: how each way a run ends
// comes out, the option checks, cancellation, and the decoder line.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const path = require('path');
const client = path.join(__dirname, '..', '..', 'client');
const { runBenchmark, probeCapabilities, reportRows, formatTable } = require(path.join(client, 'bench-runner'));
const { kReport, kCapabilities, makeStandIn, isRunning, waitForFile } = require('./stand-in');

const sendReportAndExit = 'await send(report); process.exit(0);';

// Rows: what the stand-in does, the options beside program and cwd, and the
// error's properties expected (null: the run resolves).
const kEndings = [
  ['reports and exits 0', sendReportAndExit, {}, null],
  ['reports after a while, with no time limit', `await sleep(300); ${sendReportAndExit}`, { timeoutMs: 0 }, null],
  ['exits 0 without a report', 'process.exit(0);', {}, { code: 'TARSEL_NO_REPORT', exitCode: 0, signal: null }],
  ['writes to standard error and exits 3',
    'for (let i = 0; i < 40; ++i) process.stderr.write(`line ${i}\\n`); process.exitCode = 3;', {},
    { code: 'TARSEL_EXIT_STATUS', exitCode: 3, stderr: /^(?![^]*line 0\n)[^]*line 38\nline 39$/ }],
  ['exits -1 as the program does when it cannot start', 'process.exit(-1);', {}, { code: 'TARSEL_EXIT_STATUS', exitCode: 255 }],
  ['is ended by a signal', `await send(report); process.kill(process.pid, 'SIGTERM');`, {},
    { code: 'TARSEL_SIGNAL', signal: 'SIGTERM', exitCode: null }],
  ['sends a malformed report', 'await send({ bench: ["h264", []] }); process.exit(0);', {},
    { code: 'TARSEL_BAD_REPORT', cause: Error }],
  ['hangs past the time limit', 'sleeper(); await sleep(60000);', { timeoutMs: 300 },
    { code: 'ETIMEDOUT', timedOut: true, signal: 'SIGKILL' }],
  ['reports without the capability message it was asked for', sendReportAndExit, { capabilities: true },
    { code: 'TARSEL_NO_REPORT', exitCode: 0 }],
  ['sends a capability message without adapters', 'await send({ capabilities: {} }); await send(report); process.exit(0);',
    { capabilities: true }, { code: 'TARSEL_BAD_REPORT' }],
];

test('each way a run ends gives its code and facts, and leaves no process', async (t) => {
  for (const [name, body, options, expected] of kEndings) {
    const { dir, program } = makeStandIn(t, body);
    const run = runBenchmark({ program, cwd: dir, stdio: 'ignore', ...options });
    if (expected === null) {
      const result = await run;
      assert.deepStrictEqual(result.report, kReport, name);
    } else {
      await assert.rejects(run, (error) => {
        assert.ok(error instanceof Error, name);
        for (const [key, value] of Object.entries(expected)) {
          if (value instanceof RegExp) assert.match(error[key], value, name);
          else if (typeof value === 'function') assert.ok(error[key] instanceof value, `${name}: ${key}`);
          else assert.strictEqual(error[key], value, `${name}: ${key}`);
        }
        return true;
      }, name);
    }
    if (fs.existsSync(path.join(dir, 'sleeper.pid'))) {
      assert.ok(!isRunning(Number(fs.readFileSync(path.join(dir, 'sleeper.pid'), 'utf8'))), `${name}: sleeper left`);
    }
  }
});

test('a program or directory that cannot be used is named, and nothing starts without data/', async (t) => {
  const { dir, program } = makeStandIn(t, `mark('started'); ${sendReportAndExit}`);
  const notExecutable = path.join(dir, 'not-executable');
  fs.copyFileSync(program, notExecutable);
  fs.chmodSync(notExecutable, 0o644);
  const noData = fs.mkdtempSync(path.join(dir, 'empty-'));
  const rows = [
    [{ program: path.join(dir, 'missing') }, { code: 'ENOENT', which: 'program' }],
    [{ program: notExecutable }, { code: 'EACCES', which: 'program' }],
    [{ program: path.join(program, 'below-a-file') }, { code: 'ENOTDIR', which: 'program' }],
    [{ program, cwd: path.join(dir, 'missing') }, { code: 'ENOENT', which: 'cwd' }],
    [{ program, cwd: program }, { code: 'ENOTDIR', which: 'cwd' }],
    [{ program, cwd: noData }, { code: 'TARSEL_NO_DATA', path: path.join(noData, 'data') }],
  ];
  for (const [options, expected] of rows) {
    let spawned = false;
    await assert.rejects(runBenchmark({ cwd: dir, stdio: 'ignore', onSpawn: () => { spawned = true; }, ...options }),
      (error) => Object.entries(expected).every(([key, value]) => error[key] === value) && error instanceof Error);
    assert.strictEqual(spawned, false, JSON.stringify(options));
  }
  assert.ok(!fs.existsSync(path.join(dir, 'started')));
  // A probe needs no data/.
  const probing = makeStandIn(t, 'await send(capabilities); process.exit(0);', { data: false });
  assert.deepStrictEqual(await probeCapabilities({ program: probing.program }), kCapabilities.capabilities);
});

test('bad options are a TypeError at the call', () => {
  const program = '/bin/true';
  const rows = [
    [undefined, 'options'], [{}, 'program'], [{ program: '' }, 'program'], [{ program: 5 }, 'program'],
    [{ program, cwd: 5 }, 'cwd'], [{ program, timeoutMs: -1 }, 'timeoutMs'], [{ program, timeoutMs: NaN }, 'timeoutMs'],
    [{ program, timeoutMs: '100' }, 'timeoutMs'], [{ program, timeoutMs: 2 ** 31 }, 'timeoutMs'],
    [{ program, signal: {} }, 'signal'], [{ program, signal: null }, 'signal'], [{ program, stdio: 'pipe' }, 'stdio'],
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
  const rows = [
    ['before the call', null, (controller) => controller.abort('quit')],
    ['at the spawn', null, null],
    ['while the program works', 'sleeper.pid', null],
    ['after the report', 'reported', null],
  ];
  for (const [moment, waitFor, before] of rows) {
    const { dir, program } = makeStandIn(t, 'sleeper(); await send(report); mark("reported"); await sleep(60000);');
    const controller = new AbortController();
    if (before) before(controller);
    let pid = null;
    const run = runBenchmark({ program, cwd: dir, stdio: 'ignore', signal: controller.signal, onSpawn: (started) => {
      pid = started;
      if (moment === 'at the spawn') controller.abort('quit');
    } });
    if (waitFor) {
      await waitForFile(path.join(dir, waitFor));
      controller.abort('quit');
    }
    const started = Date.now();
    await assert.rejects(run, { name: 'AbortError', code: 'ABORT_ERR', cause: 'quit' }, moment);
    assert.ok(Date.now() - started < 2000, `${moment}: ${Date.now() - started} ms`);
    assert.strictEqual(pid === null, moment === 'before the call', moment);
    if (pid !== null) assert.ok(!isRunning(pid), `${moment}: the program is left`);
    if (fs.existsSync(path.join(dir, 'sleeper.pid'))) {
      assert.ok(!isRunning(Number(fs.readFileSync(path.join(dir, 'sleeper.pid'), 'utf8'))), `${moment}: its child is left`);
    }
  }
});

test('the run settles on the exit and the messages, not on pipes a leftover child holds', async (t) => {
  // The sleeper inherits standard error and the channel itself (fd 3).
  const { dir, program } = makeStandIn(t, `sleeper(['ignore', 'ignore', 'inherit', 3]); ${sendReportAndExit}`);
  const started = Date.now();
  const result = await runBenchmark({ program, cwd: dir, stdio: 'ignore', capabilities: false });
  assert.deepStrictEqual(result.report, kReport);
  assert.ok(Date.now() - started < 5000, `${Date.now() - started} ms`);
  assert.ok(!isRunning(Number(fs.readFileSync(path.join(dir, 'sleeper.pid'), 'utf8'))));
});

test('the decoder comes from the capability message when asked, from this run\'s log lines otherwise', async (t) => {
  const capabilityRun = makeStandIn(t, `await send(capabilities); ${sendReportAndExit}`);
  const withCapabilities = await runBenchmark({ program: capabilityRun.program, cwd: capabilityRun.dir, stdio: 'ignore', capabilities: true });
  assert.deepStrictEqual(withCapabilities.capabilities, kCapabilities.capabilities);
  assert.deepStrictEqual(withCapabilities.decoder, { found: true, reason: null,
    adapter: { index: 1, description: 'Integrated GPU', vendorId: 0x8086, deviceId: 0x3e92, software: false },
    line: 'decoder: adapter 1 -> Integrated GPU [0x8086//0x3e92]' });

  const logLine = (level, text) => `[2026-12-06 10:00:00.000] [global] [${level}] ${text}\r\n`;
  const log = (level, text) => `fs.appendFileSync('tarsel.log', ${JSON.stringify(logLine(level, text))});`;
  const earlier = logLine('info', 'decoder : adapter 0 -> Old Card [0x10de//0x1]') +
    logLine('error', 'decoder: no decoder were found on this computer...');
  const firstFails = log('info', 'decoder : adapter 0 -> First Card [0x1002//0x67df]') +
    log('error', 'decoder: could not find suitable decoder profile for h264');
  // Rotated at 5 MiB: the file that held the earlier runs becomes tarsel.1.log.
  const rotated = `${log('info', 'decoder : adapter 0 -> New Card [0x1414//0x8c]')} fs.renameSync('tarsel.log', 'tarsel.1.log');
    ${log('info', 'com chan connected')}`;
  const rows = [
    [`${firstFails} ${log('info', 'decoder : adapter 1 -> Second Card [0x8086//0x3e92]')}`,
      /^decoder: adapter 1 -> Second Card \[0x8086\/\/0x3e92\]$/, [1, 0x8086, 0x3e92]],
    [`${firstFails} ${log('error', 'decoder: no decoder were found on this computer...')}`,
      /^decoder: none found .*could not find suitable decoder profile for h264/, null],
    [rotated, /^decoder: adapter 0 -> New Card \[0x1414\/\/0x8c\]$/, [0, 0x1414, 0x8c]],
  ];
  for (const [body, line, adapter] of rows) {
    const { dir, program } = makeStandIn(t, `${body} ${sendReportAndExit}`);
    fs.writeFileSync(path.join(dir, 'tarsel.log'), earlier);
    const result = await runBenchmark({ program, cwd: dir, stdio: 'ignore' });
    assert.match(result.decoder.line, line);
    const a = result.decoder.adapter;
    assert.deepStrictEqual(a && [a.index, a.vendorId, a.deviceId], adapter, body);
    assert.strictEqual(result.decoder.found, adapter !== null);
  }
});

test('30 frames in the measured time give frames/s; bars are scaled to the fastest case, failed cases and plain tables have none', () => {
  const rows = reportRows(kReport);
  assert.deepStrictEqual(formatTable(rows).split('\n').slice(1).map((line) => line.split(/\s+/).slice(2).join(' ')),
    ['yes 10.000 3000.0', 'yes 20.000 1500.0', 'no 0.000 -', 'yes 10.000 3000.0', 'yes 40.000 750.0', ...Array(3).fill('yes 10.000 3000.0')]);
  const bars = formatTable(rows, { bars: true }).split('\n').slice(1).map((line) => (/#*$/.exec(line)[0]).length);
  assert.deepStrictEqual(bars, [30, 15, 0, 30, 8, 30, 30, 30]);
  assert.doesNotMatch(formatTable(rows), /#/);
});
