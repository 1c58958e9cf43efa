'use strict';
// The real program over every stream of the encoder-made corpus
// (tests/fixtures/corpus, from make_corpus.sh) with --stream: a stream it can
// decode must pass and its dump agree, picture by picture, with what the
// standards' decoding processes derive from the stream
// (tests/fixtures/corpus/expected.json, from tools/make-corpus-expected.py);
// a stream it cannot decode must fail its case with an error naming why.
const test = require('node:test');
const assert = require('node:assert');
const { spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const { sourceDir, makeWorkDir, readLog, sent, runWithDump, kEmpty, padded, dumpText, hevcPicParams } = require('./harness');
const { compareStreamDump, summarise, kOutputFormats } = require('../../tools/dxva-dump-compare');

const corpusDir = path.join(sourceDir, 'tests', 'fixtures', 'corpus');
const expected = JSON.parse(fs.readFileSync(path.join(corpusDir, 'expected.json'), 'utf8'));

// "bit depth" names bit_depth_luma_minus8 as well as "bit depth".
const normalised = (text) => text.toLowerCase().replace(/[\s_-]+/g, ' ');

for (const stream of expected) {
  test(`${stream.stream}: ${stream.refuse ? `refused for its ${stream.refuse}` : 'decoded as the standard says'}`, async (t) => {
    const dir = makeWorkDir(t, { withData: false });
    const file = path.join(corpusDir, stream.stream);
    const { result, dump } = await runWithDump(dir, { args: ['--stream', file, '--repeat', '2'] });
    assert.strictEqual(result.code, 0, result.stdout);
    const errors = readLog(dir).filter((line) => line.startsWith('error: '));
    if (stream.refuse) {
      assert.ok(errors.some((line) => normalised(line).includes(normalised(stream.refuse))),
        `no error line names "${stream.refuse}":\n${errors.join('\n')}`);
    }
    const differences = compareStreamDump(dump, stream);
    assert.strictEqual(differences.length, 0, `${differences.length} differences from the model:\n${summarise(differences)}\n${errors.join('\n')}`);
    // The bare report holds the one case under its codec, its size from the SPS (every corpus stream is 30
    // pictures of 352x288, refused ones too) and its time from the first recorded pass.
    const [report, { results }] = sent(result);
    const { samplesUs } = results.cases[0];
    assert.deepStrictEqual([samplesUs.length, results.context.stream.path, results.context.data.checked],
      [stream.refuse ? 0 : 2, file, false], errors.join('\n'));
    const one = [{ width: 352, height: 288, 'bench-pass': !stream.refuse, 'bench-time': samplesUs[0] || 0, 'bench-frame': 30 }];
    assert.deepStrictEqual(report.bench, stream.codec === 'h264' ? ['h264', one, ['h265', []]] : ['h264', [], ['h265', one]]);
  });
}

// H.264 picture parameters of a model frame, its references listed newest
// first, the reverse of the model's order: the comparison must not care.
function h264PicParams(f) {
  const refs = [...f.refs].reverse();
  return {
    frame_num: f.frame_num, CurrFieldOrderCnt: f.poc,
    RefFrameList: padded(refs.map((r, i) => i | (r.longTerm ? 0x80 : 0)), 16, kEmpty),
    FrameNumList: padded(refs.map((r) => (r.longTerm ? r.longTermFrameIdx : r.frameNum)), 16, 0),
    FieldOrderCntList: padded(refs.map((r) => r.poc || [0, 0]), 16, [0, 0]),
    UsedForReferenceFlags: refs.reduce((flags, _, i) => flags | (3 << (2 * i)), 0),
    NonExistingFrameFlags: refs.reduce((flags, r, i) => flags | (r.nonExisting ? 1 << i : 0), 0),
  };
}

// A dump written straight from the model's values, for checking the comparison itself.
function dumpFromModel(stream, passes = 1) {
  const { codec, codedWidth, codedHeight, outputFormat } = stream;
  const decoder = { SampleWidth: codedWidth, SampleHeight: codedHeight, OutputFormat: kOutputFormats[outputFormat] };
  const picParams = codec === 'h265' ? hevcPicParams : h264PicParams;
  const pass = () => stream.frames.map((f) => ({ frame: { codec, PicParams: picParams(f) } }));
  return [{ configure: { codec, decoder, texture: {} } }, ...Array.from({ length: passes }, pass).flat()];
}

test('the stream comparison finds every kind of planted difference, and none in dumps made from the model', () => {
  const named = (name) => expected.find((s) => s.stream === name);
  for (const stream of expected.filter((s) => !s.refuse)) {
    assert.deepStrictEqual(compareStreamDump(dumpText(dumpFromModel(stream)), stream), [], stream.stream);
  }
  // Every pass dumped under a configuration each (one for all is the second pass's plant below).
  const h264 = named('h264_default.264');
  assert.deepStrictEqual(compareStreamDump(dumpText([...dumpFromModel(h264), ...dumpFromModel(h264)]), h264), []);

  const pic = (lines, index) => lines.filter((l) => l.frame)[index].frame.PicParams;
  // The HEVC fields' own plants are dxva_dump.test.js's: both comparisons read them alike.
  const plants = [
    ['h264_default.264', 'frame 4: frame_num 4, model 3', (lines) => { pic(lines, 4).frame_num = 4; }],
    ['h264_default.264', 'frame 4: CurrFieldOrderCnt [10,11], model [10,10]', (lines) => { pic(lines, 4).CurrFieldOrderCnt = [10, 11]; }],
    // Frame 5 holds frame_num 1 (order count 6), 2 (2) and 3 (10), listed 3, 2, 1.
    ['h264_default.264', 'frame 5: reference frames: missing {"frameNum":1,"longTerm":false,"poc":[6,6]}; not in the model {"frameNum":1,"longTerm":false,"poc":[6,7]}',
      (lines) => { pic(lines, 5).FieldOrderCntList[2] = [6, 7]; }],
    ['h264_default.264', 'frame 5: reference frames: missing {"frameNum":3,"longTerm":false,"poc":[10,10]}; not in the model {"longTermFrameIdx":3,"longTerm":true,"poc":[10,10]}',
      (lines) => { pic(lines, 5).RefFrameList[0] |= 0x80; }],
    ['h264_default.264', 'frame 5: reference frames: missing {"frameNum":2,"longTerm":false,"poc":[2,2]}; not in the model {"frameNum":2,"longTerm":false,"nonExisting":true}',
      (lines) => { pic(lines, 5).NonExistingFrameFlags = 2; }],
    ['h264_default.264', 'frame 5: UsedForReferenceFlags 47 leave out RefFrameList entry 2', (lines) => { pic(lines, 5).UsedForReferenceFlags = 0b101111; }],
    ['h264_default.264', 'OutputFormat 104, model NV12 (103)', (lines) => { lines[0].configure.decoder.OutputFormat = 104; }],
    ['h265_cra_start.hevc', '29 frames submitted, model 28 (pictures 1, 2 skipped)', (lines) => { lines.splice(2, 0, lines[1]); }],
    ['h265_cra_start.hevc', 'frame 1 (picture 3): CurrPicOrderCntVal 18, model 19', (lines) => { pic(lines, 1).CurrPicOrderCntVal = 18; }],
  ];
  for (const [name, difference, plant] of plants) {
    const lines = dumpFromModel(named(name));
    plant(lines);
    const found = compareStreamDump(dumpText(lines), named(name));
    // An extra frame shifts every later one: only the count matters there.
    assert.deepStrictEqual(difference.includes('submitted') ? found.slice(0, 1) : found, [difference], name);
  }
  // A second pass that differs is named as such.
  const twice = dumpFromModel(h264, 2);
  twice.filter((l) => l.frame)[30 + 7].frame.PicParams.frame_num = 9;
  assert.deepStrictEqual(compareStreamDump(dumpText(twice), h264), ['pass 2 frame 7: frame_num 9, model 5']);
  // A refused stream may configure, but must submit nothing.
  const refused = named('h264_422.264');
  assert.deepStrictEqual(compareStreamDump('', refused), []);
  assert.deepStrictEqual(compareStreamDump(dumpText(dumpFromModel(h264)), refused),
    ['30 frames submitted from a stream to refuse (4:2:2)']);
  assert.deepStrictEqual(compareStreamDump('', h264), ['no configuration']);
});

// The model's own hand-worked cases, where Python is at hand (it is not a test dependency).
test('the model derives the hand-worked cases', (t) => {
  const run = spawnSync('python3', [path.join(sourceDir, 'tests', 'tools', 'picture_model_test.py')], { encoding: 'utf8' });
  if (run.error && run.error.code === 'ENOENT') {
    t.skip('python3 not installed');
    return;
  }
  assert.strictEqual(run.status, 0, `${run.stdout}${run.stderr}`);
});
