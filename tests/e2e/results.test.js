'use strict';
// The extended result: what --results, --repeat, --warmup and --progress add
// to a run, against the real program and the committed data set.
const test = require('node:test');
const assert = require('node:assert');
const crypto = require('crypto');
const fs = require('fs');
const path = require('path');
const { sourceDir, makeWorkDir, runChild, readLog, sent, kinds } = require('./harness');

const kCases = ['h264', 'h265'].flatMap((codec) =>
  [[1280, 720], [1920, 1080], [2560, 1440], [3840, 2160]].map(([width, height]) => ({ codec, width, height })));

const resultsOf = (result) => sent(result).find((m) => m.results !== undefined).results;

// The plain report's exact shape is the one a parent without --results gets.
test('repeats with progress: messages in order, samples per pass, the bare report from the first pass', async (t) => {
  const dir = makeWorkDir(t, { withData: true });
  const result = await runChild(dir, { args: ['--repeat', '3', '--warmup', '1', '--progress'] });
  assert.strictEqual(result.code, 0, result.stdout);
  assert.strictEqual(result.stdout, '');
  const messages = sent(result);
  assert.deepStrictEqual(kinds(messages), [...Array(8).fill('progress'), 'bench', 'results']);
  assert.deepStrictEqual(messages.slice(0, 8).map((m) => m.progress),
    kCases.map((c, i) => ({ ...c, pass: true, index: i + 1, count: 8 })));

  const { results } = messages[9];
  // Every pass timed above 0.
  assert.deepStrictEqual(results.cases.map((c) => [c.codec, c.width, c.height, c.pass, c.samplesUs.filter((us) => us > 0).length]),
    kCases.map((c) => [c.codec, c.width, c.height, true, 3]));
  const bare = (cases) => cases.map((c) => ({ width: c.width, height: c.height, 'bench-pass': true, 'bench-time': c.samplesUs[0], 'bench-frame': 30 }));
  assert.deepStrictEqual(messages[8].bench, ['h264', bare(results.cases.slice(0, 4)), ['h265', bare(results.cases.slice(4))]]);
  assert.deepStrictEqual(readLog(dir).filter((line) => line.startsWith('error:')), []);

  const { context } = results;
  assert.deepStrictEqual(context.settings, { repeat: 3, warmup: 1 });
  assert.deepStrictEqual([context.adapter.simulated, context.timing], [true, 'simulated-host']);
  const manifest = fs.readFileSync(path.join(sourceDir, 'data', 'SHA256SUMS'));
  assert.strictEqual(context.data.checked, true);
  assert.strictEqual(context.data.manifestSha256, crypto.createHash('sha256').update(manifest).digest('hex'));
});

test('a truncated frame file fails its case with a reason naming it; without the manifest the run is unchecked',
  async (t) => {
    // A copy of the data set, which the test alters.
    const dir = makeWorkDir(t, { withData: false });
    fs.cpSync(path.join(sourceDir, 'data'), path.join(dir, 'data'), { recursive: true });
    const broken = path.join(dir, 'data', 'h265', '1920_1080', 'frame_12.frame');
    fs.truncateSync(broken, 100);
    const checked = resultsOf(await runChild(dir, { args: ['--results'] }));
    const failed = checked.cases.filter((c) => !c.pass);
    assert.deepStrictEqual(failed.map((c) => [c.codec, c.width]), [['h265', 1920]]);
    assert.match(failed[0].reason, /\.\/data\/h265\/1920_1080\/frame_12\.frame/);
    // The reason is the case's error line, word for word.
    assert.ok(readLog(dir).includes(`error: ${failed[0].reason}`), readLog(dir).join('\n'));

    fs.rmSync(path.join(dir, 'data', 'SHA256SUMS'));
    const unchecked = resultsOf(await runChild(dir, { args: ['--results'] }));
    assert.deepStrictEqual(unchecked.context.data, { checked: false });

    // A manifest that cannot be read checks nothing and passes nothing.
    fs.writeFileSync(path.join(dir, 'data', 'SHA256SUMS'), 'not a checksum line\n');
    const spoilt = resultsOf(await runChild(dir, { args: ['--results'] }));
    assert.strictEqual(spoilt.context.data.checked, false);
    assert.match(spoilt.context.data.error, /^data: data\/SHA256SUMS line 1/);
    assert.deepStrictEqual(spoilt.cases.map((c) => [c.pass, c.reason]), spoilt.cases.map(() => [false, spoilt.context.data.error]));
  });

test('a simulated decode time of 20 ms makes every picture wait 20 ms, real time at 30 frames/s only; ' +
  'one out of range costs an error line and is left off', async (t) => {
  const dir = makeWorkDir(t, { withData: true });
  const simulated = (us) => runChild(dir, { args: ['--results'], env: { TARSEL_SIMULATED_DECODE_US: us } }).then(resultsOf);
  const { context, cases } = await simulated('20000');
  assert.strictEqual(context.simulatedDecodeUs, 20000);
  for (const c of cases) {
    const name = `${c.codec} ${c.width}x${c.height}`;
    assert.ok(c.latencyUs.median >= 20000, `${name}: ${JSON.stringify(c.latencyUs)}`);
    // One engine, one picture after another: a pass takes at least 30 x 20 ms.
    assert.ok(c.medianUs >= 600000, `${name}: ${c.medianUs}`);
    assert.deepStrictEqual(c.realTime, { 30: true, 60: false, 120: false }, name);
  }

  const { context: outOfRange } = await simulated('60001');
  assert.ok(!('simulatedDecodeUs' in outOfRange), JSON.stringify(outOfRange));
  assert.ok(readLog(dir).includes('error: decoder: TARSEL_SIMULATED_DECODE_US=60001 is no whole number of microseconds ' +
    'from 0 to 60000; the simulated device takes no decode time'), readLog(dir).join('\n'));
});

// The argument checks themselves are tested in-process; the simulated machine has one adapter, LUID 0.
test('on every adapter: which were measured, the bare report, one results each naming its adapter; ' +
  'one the machine lacks ends the program before anything is timed', async (t) => {
  const dir = makeWorkDir(t, { withData: true });
  const lacking = await runChild(dir, { args: ['--adapter', '0x1', '--progress'] });
  assert.deepStrictEqual([lacking.code, lacking.stderr, sent(lacking)], [255,
    'app: --adapter 0x1: no such adapter; the adapters are 0 "Simulated video decoder (no hardware)" 0x0000000000000000\n', []]);

  const result = await runChild(dir, { args: ['--all-adapters', '--progress'] });
  assert.strictEqual(result.code, 0, result.stdout);
  const messages = sent(result);
  assert.deepStrictEqual(kinds(messages), [...Array(8).fill('progress'), 'adapters', 'bench', 'results']);
  assert.deepStrictEqual(messages[0].progress.adapter, 0);
  assert.deepStrictEqual(messages[8].adapters, { benchmark: 0, measured: [0], skipped: [] });
  const { adapter } = messages[10].results.context;
  assert.deepStrictEqual([adapter.index, adapter.luid, adapter.benchmark], [0, '0x0000000000000000', true]);
});

// The corpus runs check a --stream report's shape; their streams all have the data set's 30 pictures.
test('--stream: the case counts the access units of the user\'s file and takes its size from the SPS', async (t) => {
  const stream = path.join(sourceDir, 'tests', 'fixtures', 'h264', 'baseline.264');
  const result = await runChild(makeWorkDir(t, { withData: false }), { args: ['--stream', stream, '--repeat', '2'] });
  assert.deepStrictEqual(sent(result)[0].bench[1].map((c) => [c.width, c.height, c['bench-frame'], c['bench-pass']]), [[96, 64, 4, true]]);
});
