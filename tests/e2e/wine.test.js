'use strict';
// The Windows executable under Wine, with the Windows node.exe as its parent.
// Wine has no Direct3D 11 video decoding, so every case fails; what must hold
// is the way it fails: logged at the right step, a report all the same, exit 0.
// TARSEL_WINE_DISPLAY says what Wine offers: "none" (no display, so no DXGI
// factory) or "xvfb" (an adapter and a device, but no video device).
const test = require('node:test');
const assert = require('node:assert');
const { spawnSync } = require('child_process');
const path = require('path');
const { program, sourceDir, makeWorkDir, runChild, readLog, sent, kinds, withoutChannel } = require('./harness');

const expectedLog = {
  none: [/^error: decoder : failed to CreateDXGIFactory : error 0x887a0004$/],
  xvfb: [/^info: decoder : adapter 0 -> .+ \[0x[0-9a-f]+\/\/0x[0-9a-f]+\]$/,
    /^error: decoder: could not query ID3D11VideoDevice interface: hr = 0x80004002$/],
}[process.env.TARSEL_WINE_DISPLAY];
if (!expectedLog) throw new Error('TARSEL_WINE_DISPLAY must be none or xvfb');
const display = process.env.TARSEL_WINE_DISPLAY;

test('bench-client gets a report of eight failed cases and a clean exit', (t) => {
  const dir = makeWorkDir(t, { withData: true });
  const client = path.join(sourceDir, 'client', 'bench-client.js');
  // Wine's desktop process, started by the first program that needs it, keeps
  // the standard error it was handed, so a pipe there would never close.
  const result = spawnSync(process.execPath, [client, '--program', program, '--data-dir', dir, '--json'],
    { stdio: ['ignore', 'pipe', 'ignore'], encoding: 'utf8', timeout: 120000 });
  assert.ifError(result.error);
  assert.strictEqual(result.status, 0);
  // The report, then the result document the client asks for by default.
  const [report, results, ...rest] = result.stdout.trim().split('\n').map((line) => JSON.parse(line));
  assert.deepStrictEqual(rest, []);
  assert.deepStrictEqual(results.results.cases.map((c) => c.pass), Array(8).fill(false));
  const cases = report.bench.flat(2).filter((c) => typeof c === 'object');
  assert.deepStrictEqual(cases.map((c) => [c.width, c['bench-frame'], c['bench-pass']]),
    [1280, 1920, 2560, 3840, 1280, 1920, 2560, 3840].map((width) => [width, 30, false]));
  const log = readLog(dir);
  for (const line of expectedLog) assert.ok(log.some((entry) => line.test(entry)), `${line}\n${log.join('\n')}`);
  // The decoder's failure, logged by Init and again as each case's reason.
  assert.ok(log.filter((entry) => expectedLog[expectedLog.length - 1].test(entry)).length >= 9, log.join('\n'));
  assert.ok(log.includes('info: com chan disconnected for reason 0'), log.join('\n'));
});

// The extended result comes through as on Linux: every case failed with the
// reason the decoder gave, and the context of a Windows machine.
test('--results sends eight failed cases with their reason and the context', async (t) => {
  const dir = makeWorkDir(t, { withData: true });
  const result = await runChild(dir, { args: ['--results', '--repeat', '2'] });
  assert.strictEqual(result.code, 0);
  const messages = sent(result);
  assert.deepStrictEqual(kinds(messages), ['bench', 'results']);
  const { context, cases } = messages[1].results;
  const reason = expectedLog[expectedLog.length - 1].source.replace(/^\^error: |\$$/g, '').replace(/\\/g, '');
  assert.deepStrictEqual(cases.map((c) => [c.pass, c.reason, c.samplesUs]), cases.map(() => [false, reason, []]));
  assert.strictEqual(context.os.name, 'Windows');
  assert.ok(Number.isInteger(context.os.build) && context.os.build > 0, JSON.stringify(context.os));
  assert.match(context.os.wine, /^\d+\.\d+/);
  assert.match(context.program.version, /^\d+\.\d+\.\d+$/);
  assert.ok(context.cpu.logicalCores >= 1 && context.memory.totalBytes > 0, JSON.stringify(context));
  assert.strictEqual(context.adapter, null);
  assert.strictEqual(context.timing, 'hardware');
  assert.ok(!('simulatedDecodeUs' in context));
  assert.strictEqual(context.data.checked, true);
  assert.match(context.data.manifestSha256, /^[0-9a-f]{64}$/);

  // Started bare, the program reports and logs as it always has: each case tried, and refused.
  const bareDir = makeWorkDir(t, { withData: true });
  const bare = await runChild(bareDir);
  assert.deepStrictEqual(kinds(sent(bare)), ['bench']);
  const log = readLog(bareDir);
  assert.strictEqual(log.filter((entry) => entry.trim() === 'error: videoDecoderError -3').length, 8, log.join('\n'));
});

// After the tests above, whose program started Wine's desktop; and with both
// output streams left alone all the same.
test('--capabilities-only sends the reason there is no video decoding and exits 0', async (t) => {
  const result = await runChild(makeWorkDir(t, { withData: false }), { args: ['--capabilities-only'], quiet: true });
  assert.strictEqual(result.code, 0);
  const messages = sent(result);
  assert.strictEqual(messages.length, 1, JSON.stringify(messages));
  const { capabilities } = messages[0];
  if (display === 'none') {
    assert.deepStrictEqual(capabilities, { adapters: [], reason: 'CreateDXGIFactory1 failed: hr = 0x887a0004' });
  } else {
    assert.ok(capabilities.adapters.length >= 1 && !('reason' in capabilities), JSON.stringify(capabilities));
    assert.deepStrictEqual([capabilities.adapters[0].video, capabilities.adapters[0].reason, capabilities.adapters[0].benchmark],
      [null, 'could not query ID3D11VideoDevice interface: hr = 0x80004002', false]);
  }
});

test('without a channel the program ends with -1, which a Windows parent reads as 4294967295', (t) => {
  const result = spawnSync(program, [], { cwd: makeWorkDir(t, { withData: false }), env: withoutChannel() });
  assert.strictEqual(result.status, 4294967295);
});
