'use strict';
// The capability message as a parent sees it: --capabilities before the
// benchmark, --capabilities-only instead of it.
const test = require('node:test');
const assert = require('node:assert');
const { makeWorkDir, runChild, readLog } = require('./harness');

// Everything but the heartbeat, in the order it came.
const sent = (result) => result.messages.filter((m) => m.cmd !== 'heartbeat');

// The simulated device alone: one adapter, the benchmark's, which says it is
// simulated and gives its own driver's version and no date, with its H.264
// and HEVC Main profiles into NV12, 8-bit 4:2:0, and HEVC Main 10 into NV12
// and P010 (the message's full shape is pinned in-process).
function checkSimulatedMachine(message) {
  const [adapter, ...others] = message.capabilities.adapters;
  assert.deepStrictEqual(others, []);
  assert.strictEqual(adapter.description, 'Simulated video decoder (no hardware)');
  assert.deepStrictEqual([adapter.index, adapter.software, adapter.benchmark], [0, false, true]);
  assert.deepStrictEqual([adapter.simulated, adapter.driverVersion, adapter.driverDate], [true, '1.0.0.0', null]);
  assert.deepStrictEqual(adapter.video.profiles.map((p) => [p.guid, p.name, p.codec, p.formats, p.bitDepth, p.chroma]), [
    ['{1B81BE68-A0C7-11D3-B984-00C04F2E73C5}', 'H264_VLD_NOFGT', 'h264', ['NV12'], 8, '4:2:0'],
    ['{5B11D51B-2F4C-4452-BCC3-09F2A1160CC0}', 'HEVC_VLD_MAIN', 'hevc', ['NV12'], 8, '4:2:0'],
    ['{107AF0E0-EF1A-4D19-ABA8-67A163073D13}', 'HEVC_VLD_MAIN10', 'hevc', ['NV12', 'P010'], 10, '4:2:0'],
  ]);
}

// Rows: the argument, whether the work directory has data, what follows the
// capability message. Either way the channel closes cleanly.
const kRows = [['--capabilities', true, ['bench']], ['--capabilities-only', false, []]];

test('--capabilities: the message, then the benchmark as always; --capabilities-only: the message and no benchmark', async (t) => {
  for (const [argument, withData, after] of kRows) {
    const dir = makeWorkDir(t, { withData });
    const result = await runChild(dir, { args: [argument] });
    assert.strictEqual(result.code, 0, result.stdout);
    assert.strictEqual(result.stdout, '', argument);
    const messages = sent(result);
    assert.deepStrictEqual(messages.map((m) => Object.keys(m)[0]), ['capabilities', ...after], JSON.stringify(messages));
    checkSimulatedMachine(messages[0]);
    const log = readLog(dir);
    assert.ok(log.includes('info: com chan disconnected for reason 0'), log.join('\n'));
    // The probe's line comes before the benchmark's decoder line, if any.
    const probeLine = log.findIndex((line) => /^info: capabilities: adapter 0 -> Simulated video decoder \(no hardware\) \[0x0\/\/0x0\], 3 profiles, benchmark in \d+ ms$/.test(line));
    const decoderLine = after.length ? log.indexOf('info: decoder : adapter 0 -> Simulated video decoder (no hardware) [0x0//0x0]')
      : log.findIndex((line) => line.includes('decoder : adapter'));
    assert.ok(probeLine >= 0 && (after.length ? probeLine < decoderLine : decoderLine < 0), log.join('\n'));
  }
});
