'use strict';
// Result documents: the checks of a saved one, the case-by-case comparison
// of two, the table of one and the SVG charts.
const test = require('node:test');
const assert = require('node:assert');
const { checkSavedDocument, compareResults, formatComparison, describeSaved, verdictOf } = require('../../client/compare');
const { formatResultsTable, figuresLine } = require('../../client/results-table');
const { resultsChart, comparisonChart, escapeXml } = require('../../client/chart-svg');
const { makeResults } = require('./results-fixture');

// A crude XML reader, enough for the charts: every tag closes in order,
// attribute values are quoted, '&' only starts the five entities, and no
// '<' hides in text. Returns the root's name and the unescaped texts.
function readXml(xml) {
  const entities = { amp: '&', lt: '<', gt: '>', quot: '"', apos: "'" };
  const unescape = (text) => {
    assert.doesNotMatch(text, /&(?!(amp|lt|gt|quot|apos);)/, `a bare & in ${text}`);
    return text.replace(/&(\w+);/g, (_, name) => entities[name]);
  };
  const stack = [];
  const texts = [];
  let root = null;
  for (const [piece] of xml.replace(/^<\?xml [^?]*\?>/, '').matchAll(/<[^>]*>|[^<]+/g)) {
    if (!piece.startsWith('<')) {
      if (stack.length > 0 && piece.trim() !== '') texts.push(unescape(piece));
      else assert.strictEqual(piece.trim(), '', `text outside the root: ${piece}`);
      continue;
    }
    const tag = /^<(\/?)([A-Za-z][\w:-]*)((?:\s+[\w:-]+="[^"<]*")*)\s*(\/?)>$/.exec(piece);
    assert.ok(tag, `a malformed tag: ${piece}`);
    const [, closing, name, attributes, empty] = tag;
    for (const [, value] of attributes.matchAll(/="([^"]*)"/g)) unescape(value);
    if (closing) assert.strictEqual(stack.pop(), name, `</${name}> closes another element`);
    else if (!empty) stack.push(name);
    if (root === null) root = name;
    else assert.ok(stack.length > 0 || closing || empty, 'a second root');
  }
  assert.deepStrictEqual(stack, [], 'elements left open');
  return { root, texts };
}

test('a saved document is refused with the first thing wrong with it', () => {
  // Rows: a change to a good document, the message expected. The checks of
  // the program's message apply (a few here), then those of a saved file.
  const rows = [
    [() => [], /object/],
    [(d) => ({ ...d, schemaVersion: 2 }), /schemaVersion is 2; this client reads 1/],
    [(d) => ({ ...d, schemaVersion: '1' }), /schemaVersion is "1"/],
    [(d) => ({ ...d, context: null }), /context/],
    [(d) => { d.cases[0].samplesUs = [1400, '1380']; return d; }, /samplesUs/],
    [(d) => { d.cases[0].latencyUs = { median: 4 }; return d; }, /latencyUs/],
    [(d) => { d.cases[5] = { ...d.cases[0] }; return d; }, /h264 1280x720 appears twice/],
  ];
  for (const [change, message] of rows) {
    assert.throws(() => checkSavedDocument(change(makeResults())), message, String(message));
  }
  const good = makeResults();
  assert.strictEqual(checkSavedDocument(good), good);
});

test('comparison: a slower run is slower in every case that passed, an equal one differs nowhere', () => {
  const saved = makeResults();
  const slower = compareResults(makeResults({ scale: 1.2 }), saved);
  const faster = compareResults(makeResults({ scale: 0.9 }), saved);
  const same = compareResults(makeResults(), saved);
  // The third case failed on both sides.
  assert.deepStrictEqual(slower.map((row) => row.verdict || row.note), ['slower', 'slower', 'failed in both runs',
    'slower', 'slower', 'slower', 'slower', 'slower']);
  assert.deepStrictEqual(faster.map((row) => row.verdict || row.note), ['faster', 'faster', 'failed in both runs',
    'faster', 'faster', 'faster', 'faster', 'faster']);
  assert.deepStrictEqual(same.map((row) => row.verdict || row.note), ['no significant difference', 'no significant difference',
    'failed in both runs', ...Array(5).fill('no significant difference')]);
  // h264 1280x720: medians 1420 * 1.2 = 1704 against 1420; fully apart, p = 2/252.
  assert.deepStrictEqual(slower[0], { codec: 'h264', size: '1280x720', thisMedianUs: 1704, savedMedianUs: 1420, ratio: 1.2,
    p: 2 / 252, verdict: 'slower', note: null });
  assert.strictEqual(same[0].p, 1);
});

test('comparison: cases missing or failed on one side, and the printed table', () => {
  const current = makeResults({ scale: 1.2 });
  const saved = makeResults();
  current.cases.splice(7, 1);
  saved.cases.splice(0, 1);
  saved.cases[0].pass = false;
  saved.cases[0].samplesUs = [];
  const rows = compareResults(current, saved);
  assert.deepStrictEqual(rows.map((row) => `${row.codec} ${row.size}: ${row.verdict || row.note}`), [
    'h264 1280x720: missing in the saved run',
    'h264 1920x1080: failed in the saved run',
    'h264 2560x1440: failed in both runs',
    'h264 3840x2160: slower',
    'h265 1280x720: slower',
    'h265 1920x1080: slower',
    'h265 2560x1440: slower',
    'h265 3840x2160: missing in this run',
  ]);
  const table = formatComparison(rows).split('\n');
  assert.strictEqual(table[0], 'codec  size       this ms  saved ms   ratio      p  verdict');
  assert.strictEqual(table[1], 'h264   1280x720     1.704         -       -      -  missing in the saved run');
  assert.strictEqual(table[4], 'h264   3840x2160   12.624    10.520  1.200x  0.008  slower');
  assert.strictEqual(table[8], 'h265   3840x2160        -    11.220       -      -  missing in this run');
});

test('verdict words and what the comparison says of the saved run', () => {
  // Rows: p, whether this run tends larger, verdict.
  const rows = [[0.0079, true, 'slower'], [0.0079, false, 'faster'], [0.049, true, 'slower'], [0.05, true, 'no significant difference'],
    [0.5, false, 'no significant difference'], [NaN, true, 'no significant difference']];
  for (const [p, greater, verdict] of rows) assert.strictEqual(verdictOf({ p, greater }), verdict, `p ${p}`);

  const saved = makeResults({ description: 'Old GPU' });
  saved.context.timing = 'hardware';
  assert.strictEqual(describeSaved('old.json', makeResults(), saved), [
    'compared with old.json (taken 2026-12-07T13:45:12Z by tarsel-bench 0.3.0 ae6cab8 on Old GPU)',
    'ratio: this run\'s median over the saved one; verdict: two-sided Mann-Whitney U test of the recorded passes at alpha 0.05',
    'note: this run used Simulated video decoder (no hardware)',
    'note: the saved times are "hardware", this run\'s "simulated-host"'].join('\n'));
});

test('the results table: medians, spread, rate, latency, real-time verdicts, and why a case failed', () => {
  const results = makeResults();
  results.cases[2].reason = 'frame 3:\x1b[31m refused\n';
  const lines = formatResultsTable(results, { bars: true }).split('\n');
  assert.strictEqual(lines[0], 'codec  size       pass  median ms    cv  frames/s  p95 latency ms  real time 30/60/120');
  assert.strictEqual(lines[1], 'h264   1280x720   yes       1.420  1.1%   21126.8          20.000  yes/yes/no           ##############################');
  assert.strictEqual(lines[3], 'h264   2560x1440  no            -     -         -               -  no/no/no             failed: frame 3: [31m refused');
  assert.match(lines[8], /^h265   3840x2160  yes      11\.220  1\.1%    2673\.8          27\.000  yes\/no\/no +####$/);
  assert.doesNotMatch(formatResultsTable(results).split('\n')[1], /#/);
  const single = makeResults({ repeat: 1 });
  assert.match(formatResultsTable(single).split('\n')[1], /1\.400 +- +21428\.6/, 'no spread of one pass');

  const context = makeResults().context;
  assert.strictEqual(figuresLine(context), 'figures: median of 5 recorded passes per case after 1 warm-up pass; ' +
    'data checked against SHA256SUMS 9f86d081884c; times: host side of the work on the simulated video device; no hardware decode time');
  assert.strictEqual(figuresLine({ settings: { repeat: 1, warmup: 0 }, data: { checked: false }, timing: 'hardware',
    simulatedDecodeUs: 20000 }), 'figures: median of 1 recorded pass per case without warm-up; data not checked; times: hardware decode; ' +
    'TARSEL_SIMULATED_DECODE_US=20000');
});

test('charts are well-formed SVG with their text escaped', () => {
  const tricky = 'GPU <b>"A&B\'s"</b> ]]> \u0001';
  const results = makeResults({ description: tricky });
  results.cases[0].codec = 'h264&<x>';
  const plain = readXml(resultsChart(results));
  assert.strictEqual(plain.root, 'svg');
  assert.ok(plain.texts.includes('tarsel-bench 0.3.0 on GPU <b>"A&B\'s"</b> ]]>  - decode time per case'), plain.texts.join('|'));
  assert.ok(plain.texts.includes('h264&<x> 1280x720'));
  assert.ok(plain.texts.includes('failed'), 'the failed case is named as such');
  assert.ok(plain.texts.includes('1.420') && plain.texts.includes('20.000'), 'median and p95 latency of the first case');

  const rows = compareResults(makeResults({ scale: 1.2, description: tricky }), makeResults());
  const compared = readXml(comparisonChart(rows, makeResults({ description: tricky }).context));
  assert.ok(compared.texts.includes('1.200x * slower'));
  assert.ok(compared.texts.includes('failed in both runs'));
  assert.strictEqual(escapeXml('<a href="x">&\'</a>'), '&lt;a href=&quot;x&quot;&gt;&amp;&apos;&lt;/a&gt;');
});
