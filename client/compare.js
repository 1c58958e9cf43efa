'use strict';
// A run's result document against a saved one, case by case: the ratio of
// their medians and whether the recorded passes differ by more than noise.
const fs = require('fs');
const { median, mannWhitneyU } = require('./stats');
const { alignColumns } = require('./report');
const { checkResults } = require('./results');

const kSchemaVersion = 1;
const kAlpha = 0.05;

const isObject = (value) => value !== null && typeof value === 'object' && !Array.isArray(value);

// A saved document gets the checks of the program's results message, and
// must be of the one layout this client reads and hold each case once;
// throws an Error saying what is wrong, returns the document otherwise.
function checkSavedDocument(document) {
  if (isObject(document) && document.schemaVersion !== kSchemaVersion) {
    throw new Error(`its schemaVersion is ${JSON.stringify(document.schemaVersion)}; this client reads ${kSchemaVersion}`);
  }
  checkResults(document);
  const seen = new Set();
  for (const c of document.cases) {
    if (seen.has(caseKey(c))) throw new Error(`the case ${caseKey(c)} appears twice`);
    seen.add(caseKey(c));
  }
  return document;
}

// A saved document from a file; throws an Error saying what is wrong with it.
function loadResultDocument(file) {
  let text;
  try {
    text = fs.readFileSync(file, 'utf8');
  } catch (error) {
    throw new Error(`cannot read ${file}: ${error.code === 'ENOENT' ? 'no such file' : error.message}`);
  }
  let document;
  try {
    document = JSON.parse(text);
  } catch (error) {
    throw new Error(`${file} is not JSON (${error.message})`);
  }
  try {
    return checkSavedDocument(document);
  } catch (error) {
    throw new Error(`${file} is not a saved result document: ${error.message}`);
  }
}

function caseKey(c) {
  return `${c.codec} ${c.width}x${c.height}`;
}

const failed = (c) => !c.pass || c.samplesUs.length === 0;

function verdictOf({ p, greater }, alpha = kAlpha) {
  if (!(p < alpha)) return 'no significant difference';
  return greater ? 'slower' : 'faster';
}

// One row per case of either document, this run's order first: the medians
// (us), their ratio (this over saved), the test's p and the verdict, or a
// note saying why the case could not be compared.
function compareResults(current, saved, { alpha = kAlpha } = {}) {
  const savedCases = new Map(saved.cases.map((c) => [caseKey(c), c]));
  const currentKeys = new Set(current.cases.map(caseKey));
  const rows = [];
  const row = (c, ours, theirs) => {
    const result = { codec: c.codec, size: `${c.width}x${c.height}`, thisMedianUs: null, savedMedianUs: null,
      ratio: null, p: null, verdict: null, note: null };
    if (ours && !failed(ours)) result.thisMedianUs = median(ours.samplesUs);
    if (theirs && !failed(theirs)) result.savedMedianUs = median(theirs.samplesUs);
    if (!ours) result.note = 'missing in this run';
    else if (!theirs) result.note = 'missing in the saved run';
    else if (failed(ours) && failed(theirs)) result.note = 'failed in both runs';
    else if (failed(ours)) result.note = 'failed in this run';
    else if (failed(theirs)) result.note = 'failed in the saved run';
    else {
      const test = mannWhitneyU(ours.samplesUs, theirs.samplesUs);
      result.p = test.p;
      result.verdict = verdictOf(test, alpha);
      result.ratio = result.savedMedianUs > 0 ? result.thisMedianUs / result.savedMedianUs : null;
    }
    return result;
  };
  for (const c of current.cases) rows.push(row(c, c, savedCases.get(caseKey(c))));
  for (const c of saved.cases) if (!currentKeys.has(caseKey(c))) rows.push(row(c, null, c));
  return rows;
}

const milliseconds = (us) => (us === null ? '-' : (us / 1000).toFixed(3));

function formatComparison(rows) {
  const lines = [['codec', 'size', 'this ms', 'saved ms', 'ratio', 'p', 'verdict']];
  for (const row of rows) {
    lines.push([row.codec, row.size, milliseconds(row.thisMedianUs), milliseconds(row.savedMedianUs),
      row.ratio === null ? '-' : `${row.ratio.toFixed(3)}x`, row.p === null ? '-' : row.p.toFixed(3),
      row.verdict || row.note]);
  }
  return alignColumns(lines, [2, 3, 4, 5]);
}

// What the saved run was, in a line, and a warning line for each thing that
// makes its times a poor yardstick for this run's.
function describeSaved(file, current, saved) {
  const program = saved.context.program || {};
  const adapter = (context) => (isObject(context.adapter) ? String(context.adapter.description) : 'no adapter');
  const taken = [saved.context.time && `taken ${saved.context.time}`,
    program.name && `by ${[program.name, program.version, program.commit].filter(Boolean).join(' ')}`,
    `on ${adapter(saved.context)}`].filter(Boolean).join(' ');
  const lines = [`compared with ${file} (${taken})`,
    `ratio: this run's median over the saved one; verdict: two-sided Mann-Whitney U test of the recorded passes at alpha ${kAlpha}`];
  if (adapter(saved.context) !== adapter(current.context)) lines.push(`note: this run used ${adapter(current.context)}`);
  if (saved.context.timing !== current.context.timing) {
    lines.push(`note: the saved times are "${saved.context.timing}", this run's "${current.context.timing}"`);
  }
  return lines.join('\n');
}

module.exports = { checkSavedDocument, loadResultDocument, compareResults, formatComparison, describeSaved, verdictOf, caseKey };
