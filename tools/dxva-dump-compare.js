#!/usr/bin/env node
'use strict';
// Compares a decoder dump (dxva.jsonl, written when TARSEL_DXVA_DUMP names a
// folder) with what ffmpeg's trace_headers says of the same streams
// (tests/fixtures/dxva_expected.json, from make-dxva-expected.py), case by
// case in the order the benchmark runs them: H.265 picture order counts,
// reference sets and slice-header set lengths, H.264 frame numbers. A dump
// from a Windows run compares the same way.
//
// usage: node tools/dxva-dump-compare.js <dxva.jsonl> [expected.json]
// Prints each kind of difference with its count; exits 1 when there is one.
const fs = require('fs');
const path = require('path');

const kEmpty = 0xFF;

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
  same('RefPicSetLtCurr order counts', namedOrderCounts(picture, 'RefPicSetLtCurr', complain), []);
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

function compareDump(text, expectedCases) {
  const differences = [];
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

module.exports = { compareDump, summarise };

if (require.main === module) {
  const [dump, expectedFile = path.join(__dirname, '..', 'tests', 'fixtures', 'dxva_expected.json')] = process.argv.slice(2);
  if (!dump) {
    console.error('usage: node tools/dxva-dump-compare.js <dxva.jsonl> [expected.json]');
    process.exit(2);
  }
  const differences = compareDump(fs.readFileSync(dump, 'utf8'), JSON.parse(fs.readFileSync(expectedFile, 'utf8')));
  console.log(differences.length === 0 ? 'the dump agrees with trace_headers' : `${differences.length} differences from trace_headers:\n${summarise(differences)}`);
  process.exitCode = differences.length === 0 ? 0 : 1;
}
