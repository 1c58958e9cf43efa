'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const path = require('path');
const { sourceDir, makeWorkDir, runWithDump, kEmpty, padded, dumpText, hevcPicParams } = require('./harness');
const { compareDump, summarise } = require('../../tools/dxva-dump-compare');

const expected = JSON.parse(fs.readFileSync(path.join(sourceDir, 'tests', 'fixtures', 'dxva_expected.json'), 'utf8'));

// A traced H.264 frame: both fields of the same order count, references in trace order.
const h264PicParams = (f) => ({ frame_num: f.frame_num, CurrFieldOrderCnt: [f.poc, f.poc],
  RefFrameList: padded(f.refFrameNums.map((_, i) => i), 16, kEmpty), FrameNumList: padded(f.refFrameNums, 16, 0) });

// A dump written straight from the trace's values, for checking the comparison itself.
const dumpFromTrace = (cases) => cases.flatMap(({ codec, codedWidth, codedHeight, frames }) => [
  { configure: { codec, decoder: { SampleWidth: codedWidth, SampleHeight: codedHeight }, texture: {} } },
  ...frames.map((f) => ({ frame: { codec, PicParams: (codec === 'h265' ? hevcPicParams : h264PicParams)(f) } })),
]);

test('the comparison finds every kind of planted difference, and none in a dump made from the trace', () => {
  assert.deepStrictEqual(compareDump(dumpText(dumpFromTrace(expected)), expected), []);
  const frameAt = (lines, codec, index) => lines.filter((l) => l.frame && l.frame.codec === codec)[index].frame.PicParams;
  const plants = [
    ['h265 1280_720 frame 2: CurrPicOrderCntVal 7, trace_headers 2', (lines) => { frameAt(lines, 'h265', 2).CurrPicOrderCntVal = 7; }],
    // The right indices over a wrong order count, then a swapped pair of indices.
    ['h265 1280_720 frame 3: RefPicSetStCurrBefore order counts [2,0], trace_headers [2,1]', (lines) => { frameAt(lines, 'h265', 3).PicOrderCntValList[1] = 0; }],
    ['h265 1280_720 frame 3: RefPicSetStCurrBefore order counts [1,2], trace_headers [2,1]', (lines) => { frameAt(lines, 'h265', 3).RefPicSetStCurrBefore = [1, 0, ...Array(6).fill(kEmpty)]; }],
    ['h265 1280_720 frame 4: RefPicSetStCurrAfter names empty RefPicList entry 5', (lines) => { frameAt(lines, 'h265', 4).RefPicSetStCurrAfter[0] = 5; }],
    ['h265 1280_720 frame 4: RefPicSetLtCurr order counts [3], trace_headers []', (lines) => { frameAt(lines, 'h265', 4).RefPicSetLtCurr[0] = 0; }],
    ['h265 1280_720 frame 1: wNumBitsForShortTermRPSInSlice 0, trace_headers 6', (lines) => { frameAt(lines, 'h265', 1).wNumBitsForShortTermRPSInSlice = 0; }],
    ['h264 1280_720 frame 16: frame_num 16, trace_headers 0', (lines) => { frameAt(lines, 'h264', 16).frame_num = 16; }],
    ['h264 1920_1080 frame 5: picture order count 0, trace_headers 10', (lines) => { frameAt(lines, 'h264', 35).CurrFieldOrderCnt = [0, 0]; }],
    ['h264 1280_720 frame 16: FrameNumList of the references [65535], trace_headers [15]', (lines) => { frameAt(lines, 'h264', 16).FrameNumList[0] = 0xFFFF; }],
    ['h264 1280_720: 29 frames, 30 in the stream', (lines) => { lines.splice(1, 1); }],
    ['h265 1920_1080: configured h265 1920x1088, trace_headers 1920x1080', (lines) => { lines.filter((l) => l.configure)[5].configure.decoder.SampleHeight = 1088; }],
  ];
  for (const [difference, plant] of plants) {
    const lines = dumpFromTrace(expected);
    plant(lines);
    const found = compareDump(dumpText(lines), expected);
    // A dropped frame shifts every later frame of its case: only the count matters there.
    assert.deepStrictEqual(difference.includes(' frames, ') ? found.slice(0, 1) : found, [difference]);
  }
  assert.match(compareDump('{"configure":', expected)[0], /^line 1: not JSON/);
});

// The run writes the dump: picture order counts, reference sets, set lengths
// and frame numbers of both codecs must be those trace_headers reads from the
// same streams.
test('the dump of a run over the data set agrees with trace_headers', async (t) => {
  const { result, dump } = await runWithDump(makeWorkDir(t, { withData: true }));
  assert.strictEqual(result.code, 0, result.stdout);
  const differences = compareDump(dump, expected);
  assert.strictEqual(differences.length, 0, `${differences.length} differences from trace_headers:\n${summarise(differences)}`);
});
