'use strict';
// The program's extended messages, checked before anything of them reaches
// the caller: the results message ({"results": ...}, schema version 1) and
// the progress messages ({"progress": ...}). Each check returns the value or
// throws an Error saying what is wrong and where.

const kCodecs = ['h264', 'h265'];
const kRealTimeRates = ['30', '60', '120'];

const isObject = (value) => value !== null && typeof value === 'object' && !Array.isArray(value);
const isCount = (value, least = 0) => Number.isSafeInteger(value) && value >= least;
const isTime = (value) => typeof value === 'number' && Number.isFinite(value) && value >= 0;

function expect(ok, where, what) {
  if (!ok) throw new Error(`${where} ${what}`);
}

// {codec, width, height, pass, index, count}: index counts the finished
// cases from 1 up to count (of every adapter, in a run on all of them, where
// `adapter` names the one the case ran on).
function checkProgress(progress) {
  expect(isObject(progress), 'the progress message', 'is not an object');
  const { codec, width, height, pass, index, count } = progress;
  expect(kCodecs.includes(codec), 'the progress message', `has codec ${JSON.stringify(codec)}`);
  expect(isCount(width, 1) && isCount(height, 1), 'the progress message', 'has no positive width and height');
  expect(typeof pass === 'boolean', 'the progress message', 'has no boolean pass');
  expect(isCount(count, 1) && isCount(index, 1) && index <= count, 'the progress message',
    `has index ${JSON.stringify(index)} of count ${JSON.stringify(count)}`);
  return progress;
}

// The summary of the samples is there exactly when there are samples.
function checkSummary(item, where) {
  expect(Array.isArray(item.samplesUs) && item.samplesUs.every(isTime), where, 'has no list of times in samplesUs');
  const empty = item.samplesUs.length === 0;
  for (const name of ['minUs', 'medianUs', 'p95Us', 'meanUs', 'cv']) {
    expect(empty ? item[name] === null : isTime(item[name]), where,
      `has ${name} ${JSON.stringify(item[name])} for ${item.samplesUs.length} samples`);
  }
  const latency = item.latencyUs;
  expect(latency === null || isObject(latency) && ['median', 'p95', 'max'].every((name) => isTime(latency[name])), where,
    'has a latencyUs that is neither null nor {median, p95, max}');
}

// One case, which must be the case of the report at the same place.
function checkCase(item, index, row) {
  const where = `results case ${index}`;
  expect(isObject(item), where, 'is not an object');
  // A failed stream's size may be unknown: 0x0, as its report row has it.
  const least = row && row.size === '0x0' ? 0 : 1;
  expect(kCodecs.includes(item.codec) && isCount(item.width, least) && isCount(item.height, least), where,
    'has no codec, width and height');
  const size = `${item.width}x${item.height}`;
  expect(!row || row.codec === item.codec && row.size === size, where,
    `is ${item.codec} ${size} where the report has ${row && `${row.codec} ${row.size}`}`);
  expect(isCount(item.frames), where, 'has no frame count');
  expect(typeof item.pass === 'boolean', where, 'has no boolean pass');
  expect(item.pass || typeof item.reason === 'string', where, 'failed without a reason');
  expect(isTime(item.setupUs), where, 'has no setupUs');
  checkSummary(item, where);
  expect(isObject(item.realTime) && kRealTimeRates.every((rate) => typeof item.realTime[rate] === 'boolean'), where,
    `has no realTime verdict for each of ${kRealTimeRates.join(', ')} frames/s`);
  return item;
}

// The value of the results message, with one case per row of the run's
// report, in the report's order.
function checkResults(results, rows) {
  expect(isObject(results), 'the results message', 'is not an object');
  expect(isCount(results.schemaVersion, 1), 'the results message', `has schemaVersion ${JSON.stringify(results.schemaVersion)}`);
  const { context } = results;
  expect(isObject(context), 'the results message', 'has no context object');
  expect(isObject(context.settings) && isCount(context.settings.repeat, 1) && isCount(context.settings.warmup),
    'the results context', 'has no settings {repeat, warmup}');
  expect(Array.isArray(results.cases), 'the results message', 'has no list of cases');
  expect(results.cases.length > 0 && (!rows || results.cases.length === rows.length), 'the results message',
    `has ${results.cases.length} cases${rows ? ` where the report has ${rows.length}` : ''}`);
  results.cases.forEach((item, index) => checkCase(item, index, rows && rows[index]));
  return results;
}

// {"adapters": {benchmark, measured, skipped}} of a run on every adapter:
// the rule's adapter (or null), those measured, and why each other one was not.
function checkAdapters(adapters) {
  const where = 'the adapters message';
  expect(isObject(adapters), where, 'is not an object');
  expect(adapters.benchmark === null || isCount(adapters.benchmark), where, 'has no benchmark adapter index or null');
  expect(Array.isArray(adapters.measured) && adapters.measured.every((index) => isCount(index)), where,
    'has no list of measured adapter indices');
  expect(Array.isArray(adapters.skipped) && adapters.skipped.every((adapter) => isObject(adapter) &&
    isCount(adapter.index) && typeof adapter.reason === 'string'), where, 'has no list of skipped adapters with reasons');
  return adapters;
}

module.exports = { checkResults, checkProgress, checkAdapters };
