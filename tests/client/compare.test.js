'use strict';
// Result documents: the checks of a saved one, the case-by-case comparison
// of two, the table of one and the SVG charts. The client's command line
// tests cover the common rows of each end to end.
const test = require('node:test');
const assert = require('node:assert');
const { checkSavedDocument, compareResults, formatComparison, describeSaved, verdictOf } = require('../../client/compare');
const { formatResultsTable, figuresLine } = require('../../client/results-table');
const { resultsChart, comparisonChart } = require('../../client/chart-svg');
const { makeResults } = require('./results-fixture');

// A wrong schemaVersion is refused on the command line; the checks of the
// program's message apply too (tested with the runner).
test('a saved document with a case twice is refused', () => {
  const twice = makeResults();
  twice.cases[5] = { ...twice.cases[0] };
  assert.throws(() => checkSavedDocument(twice), /h264 1280x720 appears twice/);
});

test('comparison: the verdict of each case, and the notes of cases on one side only or failed', () => {
  // The figures of a case on both sides are checked on the command line.
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
  assert.strictEqual(table[1], 'h264   1280x720     1.704         -       -      -  missing in the saved run');
});

test('verdict words and what the comparison says of the saved run', () => {
  // Rows: p, whether this run tends larger, verdict; "slower" is the command line's.
  const rows = [[0.0079, false, 'faster'], [0.05, true, 'no significant difference'], [NaN, true, 'no significant difference']];
  for (const [p, greater, verdict] of rows) assert.strictEqual(verdictOf({ p, greater }), verdict, `p ${p}`);

  const saved = makeResults({ description: 'Old GPU' });
  saved.context.timing = 'hardware';
  assert.strictEqual(describeSaved('old.json', makeResults(), saved), [
    'compared with old.json (taken 2026-12-07T13:45:12Z by tarsel-bench 0.3.0 ae6cab8 on Old GPU)',
    'ratio: this run\'s median over the saved one; verdict: two-sided Mann-Whitney U test of the recorded passes at alpha 0.05',
    'note: this run used Simulated video decoder (no hardware)',
    'note: the saved times are "hardware", this run\'s "simulated-host"'].join('\n'));
});

test('the results table: a failed case\'s reason out of the terminal\'s control, bars, one pass, the figures line', () => {
  const results = makeResults();
  results.cases[2].reason = 'frame 3:\x1b[31m refused\n';
  const lines = formatResultsTable(results, { bars: true }).split('\n');
  assert.strictEqual(lines[3], 'h264   2560x1440  no            -     -         -               -  no/no/no             failed: frame 3: [31m refused');
  assert.match(formatResultsTable(makeResults({ repeat: 1 })).split('\n')[1], /1\.400 +- +21428\.6/, 'no spread of one pass');
  assert.strictEqual(figuresLine({ settings: { repeat: 1, warmup: 0 }, data: { checked: false }, timing: 'hardware',
    simulatedDecodeUs: 20000 }), 'figures: median of 1 recorded pass per case without warm-up; data not checked; times: hardware decode; ' +
    'TARSEL_SIMULATED_DECODE_US=20000');
});

test('charts escape every piece of text from the program or a file', () => {
  const tricky = 'GPU <b>"A&B\'s"</b> ]]> \u0001';
  const results = makeResults({ description: tricky });
  results.cases[0].codec = 'h264&<x>';
  const rows = compareResults(makeResults({ scale: 1.2, description: tricky }), makeResults());
  const plain = resultsChart(results);
  const compared = comparisonChart(rows, makeResults({ description: tricky }).context);
  for (const svg of [plain, compared]) {
    assert.match(svg, />tarsel-bench 0\.3\.0 on GPU &lt;b&gt;&quot;A&amp;B&apos;s&quot;&lt;\/b&gt; \]\]&gt;  - /);
    // Every '&' starts an entity, no '<' or '>' stands outside a tag, and
    // characters XML does not allow are gone.
    assert.doesNotMatch(svg, /&(?!(amp|lt|gt|quot|apos);)|\u0001/);
    assert.doesNotMatch(svg.replace(/<[^<>]*>/g, ''), /[<>]/);
  }
});
