'use strict';
// The capability message as a parent sees it: --capabilities before the
// benchmark, --capabilities-only instead of it.
const test = require('node:test');
const assert = require('node:assert');
const { makeWorkDir, runChild, readLog, sent, kinds } = require('./harness');

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
    assert.deepStrictEqual(kinds(messages), ['capabilities', ...after], JSON.stringify(messages));
    // The simulated device alone: one adapter, the benchmark's, which says it is simulated and gives its own
    // driver's version and no date. Its profiles are those the corpus's streams decode through
    // (stream_corpus.test.js), and the message's full shape is pinned in-process.
    const [adapter, ...others] = messages[0].capabilities.adapters;
    assert.deepStrictEqual([others, adapter.description, adapter.index, adapter.software, adapter.benchmark, adapter.simulated,
      adapter.driverVersion, adapter.driverDate], [[], 'Simulated video decoder (no hardware)', 0, false, true, true, '1.0.0.0', null]);
    const log = readLog(dir);
    assert.ok(log.includes('info: com chan disconnected for reason 0'), log.join('\n'));
    // The probe's line comes before the benchmark's decoder line, if any.
    const probeLine = log.findIndex((line) => /^info: capabilities: adapter 0 -> Simulated video decoder \(no hardware\) \[0x0\/\/0x0\], 3 profiles, benchmark in \d+ ms$/.test(line));
    const decoderLine = after.length ? log.indexOf('info: decoder : adapter 0 -> Simulated video decoder (no hardware) [0x0//0x0]')
      : log.findIndex((line) => line.includes('decoder : adapter'));
    assert.ok(probeLine >= 0 && (after.length ? probeLine < decoderLine : decoderLine < 0), log.join('\n'));
  }
});
