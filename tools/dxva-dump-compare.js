#!/usr/bin/env node
'use strict';
// Compares a decoder dump (dxva.jsonl, written when TARSEL_DXVA_DUMP names a
// folder) with what ffmpeg's trace_headers says of the same streams
// (tests/fixtures/dxva_expected.json, from make-dxva-expected.py), case by
// case in the order the benchmark runs them: H.265 picture order counts,
// reference sets and slice-header set lengths, H.264 frame numbers. A dump
// from a Windows run compares the same way.
//
// The dump of a --stream run over one corpus stream compares with that
// stream's entry of tests/fixtures/corpus/expected.json (from
// make-corpus-expected.py) in more detail: the surface format, which pictures
// are submitted, H.265 long-term sets, and H.264 field order counts and every
// reference frame with its long-term flag and order counts.
//
// usage: node tools/dxva-dump-compare.js <dxva.jsonl> [expected.json]
//        node tools/dxva-dump-compare.js <dxva.jsonl> tests/fixtures/corpus/expected.json <stream>
// Prints each kind of difference with its count; exits 1 when there is one.
const fs = require('fs');
const path = require('path');

const kEmpty = 0xFF;
// DXGI_FORMAT values of the decoded surfaces.
const kOutputFormats = { NV12: 103, P010: 104 };

// The picture order counts an index list names through PicOrderCntValList,
// with a complaint for an index that names no reference.
function namedOrderCounts(picture, listName, complain) {
  const counts = [];
  for (const index of picture[listName]) {
    if (index === kEmpty) continue;
    if (index >= picture.RefPicList.length || picture.RefPicList[index] === kEmpty) complain(`${listName} names empty RefPicList entry ${index}`);
    else counts.push(picture.PicOrderCntValList[index]);
  }
  return counts;
}

function compareHevcFrame(picture, expected, complain) {
  const same = (what, got, want) => {
    if (JSON.stringify(got) !== JSON.stringify(want)) complain(`${what} ${JSON.stringify(got)}, trace_headers ${JSON.stringify(want)}`);
  };
  same('CurrPicOrderCntVal', picture.CurrPicOrderCntVal, expected.poc);
  same('RefPicSetStCurrBefore order counts', namedOrderCounts(picture, 'RefPicSetStCurrBefore', complain), expected.before);
  same('RefPicSetStCurrAfter order counts', namedOrderCounts(picture, 'RefPicSetStCurrAfter', complain), expected.after);
  same('RefPicSetLtCurr order counts', namedOrderCounts(picture, 'RefPicSetLtCurr', complain), expected.lt || []);
  same('wNumBitsForShortTermRPSInSlice', picture.wNumBitsForShortTermRPSInSlice, expected.stRpsBits);
}

function compareH264Frame(picture, expected, complain) {
  if (picture.frame_num !== expected.frame_num) complain(`frame_num ${picture.frame_num}, trace_headers ${expected.frame_num}`);
  // A frame's order count is the smaller of its fields'; the bundled frames have no bottom offset.
  const poc = Math.min(...picture.CurrFieldOrderCnt);
  if (poc !== expected.poc) complain(`picture order count ${poc}, trace_headers ${expected.poc}`);
  // RefFrameList's order is the decoder's choice: compare the frame numbers as a set.
  const held = picture.RefFrameList.flatMap((entry, index) => (entry === kEmpty ? [] : [picture.FrameNumList[index]]));
  held.sort((a, b) => a - b);
  if (JSON.stringify(held) !== JSON.stringify(expected.refFrameNums)) {
    complain(`FrameNumList of the references ${JSON.stringify(held)}, trace_headers ${JSON.stringify(expected.refFrameNums)}`);
  }
}

// The dump's lines as configurations, each with the frames submitted after it.
function readDump(text, differences) {
  const cases = [];
  text.split('\n').filter((line) => line !== '').forEach((line, number) => {
    let record;
    try {
      record = JSON.parse(line);
    } catch (error) {
      differences.push(`line ${number + 1}: not JSON: ${error.message}`);
      return;
    }
    if (record.configure) cases.push({ configure: record.configure, frames: [] });
    else if (record.frame && cases.length > 0) cases[cases.length - 1].frames.push(record.frame);
    else differences.push(`line ${number + 1}: neither a configuration nor a frame after one`);
  });
  return cases;
}

function compareDump(text, expectedCases) {
  const differences = [];
  const cases = readDump(text, differences);
  if (cases.length !== expectedCases.length) differences.push(`${cases.length} configurations, ${expectedCases.length} cases`);

  expectedCases.forEach((expected, caseIndex) => {
    const name = `${expected.codec} ${expected.size}`;
    const got = cases[caseIndex];
    if (!got) return;
    const { codec, decoder } = got.configure;
    if (codec !== expected.codec || decoder.SampleWidth !== expected.codedWidth || decoder.SampleHeight !== expected.codedHeight) {
      differences.push(`${name}: configured ${codec} ${decoder.SampleWidth}x${decoder.SampleHeight}, trace_headers ${expected.codedWidth}x${expected.codedHeight}`);
      return;
    }
    if (got.frames.length !== expected.frames.length) differences.push(`${name}: ${got.frames.length} frames, ${expected.frames.length} in the stream`);
    got.frames.slice(0, expected.frames.length).forEach((frame, index) => {
      const complain = (text) => differences.push(`${name} frame ${index}: ${text}`);
      if (frame.codec !== expected.codec || !frame.PicParams) complain(`a ${frame.codec} frame without picture parameters`);
      else if (expected.codec === 'h265') compareHevcFrame(frame.PicParams, expected.frames[index], complain);
      else compareH264Frame(frame.PicParams, expected.frames[index], complain);
    });
  });
  return differences;
}

// A reference frame as the model describes it, read from one RefFrameList entry.
function heldFrame(picture, index) {
  const longTerm = (picture.RefFrameList[index] & 0x80) !== 0;
  const frame = longTerm ? { longTermFrameIdx: picture.FrameNumList[index], longTerm } : { frameNum: picture.FrameNumList[index], longTerm };
  if ((picture.NonExistingFrameFlags >>> index) & 1) frame.nonExisting = true;
  else frame.poc = picture.FieldOrderCntList[index];
  return frame;
}

function compareH264CorpusFrame(picture, expected, complain) {
  if (picture.frame_num !== expected.frame_num) complain(`frame_num ${picture.frame_num}, model ${expected.frame_num}`);
  if (JSON.stringify(picture.CurrFieldOrderCnt) !== JSON.stringify(expected.poc)) {
    complain(`CurrFieldOrderCnt ${JSON.stringify(picture.CurrFieldOrderCnt)}, model ${JSON.stringify(expected.poc)}`);
  }
  const held = [];
  picture.RefFrameList.forEach((entry, index) => {
    if (entry === kEmpty) return;
    // Both fields of a reference frame are references.
    if (((picture.UsedForReferenceFlags >>> (2 * index)) & 3) !== 3) complain(`UsedForReferenceFlags ${picture.UsedForReferenceFlags} leave out RefFrameList entry ${index}`);
    held.push(heldFrame(picture, index));
  });
  // The list's order is the decoder's choice: compare as sets.
  const key = (frame) => JSON.stringify(frame, ['frameNum', 'longTermFrameIdx', 'longTerm', 'nonExisting', 'poc']);
  const got = held.map(key).sort();
  const want = expected.refs.map(key).sort();
  const missing = want.filter((frame) => !got.includes(frame));
  const extra = got.filter((frame) => !want.includes(frame));
  if (missing.length > 0 || extra.length > 0) complain(`reference frames: missing ${missing.join(' ') || 'none'}; not in the model ${extra.join(' ') || 'none'}`);
}

// Differences between the dump of a --stream run over one corpus stream and
// that stream's expectations. A dump may hold one configuration or one per
// pass, and a configuration the frames of one pass or of several: each pass
// must agree.
function compareStreamDump(text, expected) {
  const differences = [];
  const configurations = readDump(text, differences);
  if (expected.refuse) {
    if (configurations.some((c) => c.frames.length > 0)) differences.push(`${configurations.reduce((n, c) => n + c.frames.length, 0)} frames submitted from a stream to refuse (${expected.refuse})`);
    return differences;
  }
  if (configurations.length === 0) differences.push('no configuration');
  const count = expected.frames.length;
  configurations.forEach((got, configurationIndex) => {
    const name = configurations.length > 1 ? `configuration ${configurationIndex + 1}: ` : '';
    const { codec, decoder } = got.configure;
    if (codec !== expected.codec || decoder.SampleWidth !== expected.codedWidth || decoder.SampleHeight !== expected.codedHeight) {
      differences.push(`${name}configured ${codec} ${decoder.SampleWidth}x${decoder.SampleHeight}, model ${expected.codec} ${expected.codedWidth}x${expected.codedHeight}`);
      return;
    }
    if (decoder.OutputFormat !== kOutputFormats[expected.outputFormat]) differences.push(`${name}OutputFormat ${decoder.OutputFormat}, model ${expected.outputFormat} (${kOutputFormats[expected.outputFormat]})`);
    const passes = got.frames.length % count === 0 && got.frames.length > 0 ? got.frames.length / count : 1;
    if (got.frames.length !== passes * count) {
      const skipped = (expected.skipped || []).map((s) => s.picture);
      differences.push(`${name}${got.frames.length} frames submitted, model ${count}${skipped.length ? ` (pictures ${skipped.join(', ')} skipped)` : ''}`);
    }
    got.frames.forEach((frame, index) => {
      const want = expected.frames[index % count];
      if (!want) return;
      const pass = passes > 1 ? `pass ${Math.floor(index / count) + 1} ` : '';
      const where = want.picture !== undefined && want.picture !== index % count ? ` (picture ${want.picture})` : '';
      const complain = (text) => differences.push(`${name}${pass}frame ${index % count}${where}: ${text}`);
      if (frame.codec !== expected.codec || !frame.PicParams) complain(`a ${frame.codec} frame without picture parameters`);
      else if (expected.codec === 'h265') compareHevcFrame(frame.PicParams, want, (text) => complain(text.replace('trace_headers', 'model')));
      else compareH264CorpusFrame(frame.PicParams, want, complain);
    });
  });
  return differences;
}

// How many differences each check found, with the first few of each: the
// full list of a broken field would run to hundreds of lines.
function summarise(differences, examples = 3) {
  const byCheck = new Map();
  for (const difference of differences) {
    const check = difference.replace(/^.*?: /, '').replace(/[\d[\],\s]+/g, ' ').replace(/ +/g, ' ').trim();
    if (!byCheck.has(check)) byCheck.set(check, []);
    byCheck.get(check).push(difference);
  }
  return [...byCheck.values()].map((list) => `${list.length} x ${list.slice(0, examples).join(' | ')}`).join('\n');
}

module.exports = { compareDump, compareStreamDump, summarise, kOutputFormats };

if (require.main === module) {
  const [dump, expectedFile = path.join(__dirname, '..', 'tests', 'fixtures', 'dxva_expected.json'), stream] = process.argv.slice(2);
  if (!dump) {
    console.error('usage: node tools/dxva-dump-compare.js <dxva.jsonl> [expected.json [corpus stream]]');
    process.exit(2);
  }
  const expected = JSON.parse(fs.readFileSync(expectedFile, 'utf8'));
  const corpus = expected.length > 0 && expected[0].stream !== undefined;
  const entry = corpus && expected.find((e) => e.stream === stream);
  if (corpus && !entry) {
    console.error(`${expectedFile} holds corpus streams: name one of ${expected.map((e) => e.stream).join(', ')}`);
    process.exit(2);
  }
  const source = corpus ? 'the model' : 'trace_headers';
  const text = fs.readFileSync(dump, 'utf8');
  const differences = corpus ? compareStreamDump(text, entry) : compareDump(text, expected);
  console.log(differences.length === 0 ? `the dump agrees with ${source}` : `${differences.length} differences from ${source}:\n${summarise(differences)}`);
  process.exitCode = differences.length === 0 ? 0 : 1;
}
