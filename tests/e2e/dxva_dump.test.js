'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const path = require('path');
const { sourceDir, makeWorkDir, runChild } = require('./harness');
const { compareDump, summarise } = require('../../tools/dxva-dump-compare');

const expected = JSON.parse(fs.readFileSync(path.join(sourceDir, 'tests', 'fixtures', 'dxva_expected.json'), 'utf8'));
const kEmpty = 0xFF;

// A dump written straight from the trace's values, laid out as a driver
// expects them, for checking the comparison itself.
function dumpFromTrace(cases) {
  const lines = [];
  for (const c of cases) {
    lines.push({ configure: { codec: c.codec, decoder: { SampleWidth: c.codedWidth, SampleHeight: c.codedHeight }, texture: {} } });
    for (const f of c.frames) {
      const padded = (values, length, fill) => [...values, ...Array(length - values.length).fill(fill)];
      let PicParams;
      if (c.codec === 'h265') {
        const counts = [...f.before, ...f.after];
        const indices = counts.map((_, i) => i);
        PicParams = {
          CurrPicOrderCntVal: f.poc, wNumBitsForShortTermRPSInSlice: f.stRpsBits,
          RefPicList: padded(indices, 15, kEmpty), PicOrderCntValList: padded(counts, 15, 0),
          RefPicSetStCurrBefore: padded(indices.slice(0, f.before.length), 8, kEmpty),
          RefPicSetStCurrAfter: padded(indices.slice(f.before.length), 8, kEmpty), RefPicSetLtCurr: padded([], 8, kEmpty),
        };
      } else {
        PicParams = { frame_num: f.frame_num, CurrFieldOrderCnt: [f.poc, f.poc], RefFrameList: padded(f.refFrameNums.map((_, i) => i), 16, kEmpty), FrameNumList: padded(f.refFrameNums, 16, 0) };
      }
      lines.push({ frame: { codec: c.codec, PicParams } });
    }
  }
  return lines;
}

test('the comparison finds every kind of planted difference, and none in a dump made from the trace', () => {
  const text = (lines) => lines.map((line) => JSON.stringify(line)).join('\n');
  assert.deepStrictEqual(compareDump(text(dumpFromTrace(expected)), expected), []);
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
    const found = compareDump(text(lines), expected);
    // A dropped frame shifts every later frame of its case: only the count matters there.
    assert.deepStrictEqual(difference.includes(' frames, ') ? found.slice(0, 1) : found, [difference]);
  }
  assert.match(compareDump('{"configure":', expected)[0], /^line 1: not JSON/);
});

// The run writes the dump: picture order counts, reference sets, set lengths
// and frame numbers of both codecs must be those trace_headers reads from the
// same streams.
test('the dump of a run over the data set agrees with trace_headers', async (t) => {
  const dir = makeWorkDir(t, { withData: true });
  const dumpDir = path.join(dir, 'dump');
  fs.mkdirSync(dumpDir);
  const result = await runChild(dir, { env: { TARSEL_DXVA_DUMP: dumpDir } });
  assert.strictEqual(result.code, 0, result.stdout);
  const differences = compareDump(fs.readFileSync(path.join(dumpDir, 'dxva.jsonl'), 'utf8'), expected);
  assert.strictEqual(differences.length, 0, `${differences.length} differences from trace_headers:\n${summarise(differences)}`);
});
