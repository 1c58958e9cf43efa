'use strict';
// A result document as the command line's table: a row per case with its
// median, spread, rate, latency and real-time verdicts, and a line saying
// how the figures were taken.
const { alignColumns } = require('./report');

const kBarWidth = 30;
const kRates = ['30', '60', '120'];

const milliseconds = (us) => (typeof us === 'number' ? (us / 1000).toFixed(3) : '-');

function framesPerSecond(c) {
  return c.pass && c.medianUs > 0 ? c.frames * 1e6 / c.medianUs : null;
}

// The coefficient of variation as a percentage; nothing to say of one pass.
function spread(c) {
  return c.samplesUs.length > 1 && typeof c.cv === 'number' ? `${(c.cv * 100).toFixed(1)}%` : '-';
}

// The program's own words, kept to one line and out of the terminal's
// control sequences.
function oneLine(text) {
  return typeof text === 'string' ? text.replace(/[\x00-\x1f\x7f]+/g, ' ').trim() : '';
}

function realTime(c) {
  return kRates.map((rate) => (c.realTime[rate] === true ? 'yes' : 'no')).join('/');
}

// The table, with a bar per passed case scaled to the fastest when asked;
// a failed case shows its reason in the bar's place.
function formatResultsTable(results, { bars = false } = {}) {
  const rates = results.cases.map(framesPerSecond);
  const fastest = Math.max(0, ...rates.filter((rate) => rate !== null));
  const lines = [['codec', 'size', 'pass', 'median ms', 'cv', 'frames/s', 'p95 latency ms', `real time ${kRates.join('/')}`]];
  results.cases.forEach((c, i) => {
    const rate = rates[i];
    const line = [c.codec, `${c.width}x${c.height}`, c.pass ? 'yes' : 'no', milliseconds(c.medianUs), spread(c),
      rate === null ? '-' : rate.toFixed(1), milliseconds(c.latencyUs && c.latencyUs.p95), realTime(c)];
    if (!c.pass) line.push(`failed: ${oneLine(c.reason) || 'no reason given'}`);
    else if (bars && rate !== null) line.push('#'.repeat(Math.max(1, Math.round(kBarWidth * rate / fastest))));
    lines.push(line);
  });
  return alignColumns(lines, [3, 4, 5, 6]);
}

function passedLine(results) {
  return `${results.cases.filter((c) => c.pass).length} of ${results.cases.length} cases passed`;
}

const plural = (count, one, many) => `${count} ${count === 1 ? one : many}`;

// How the figures were taken: passes, the processor, the data check, what the times are.
function figuresLine(context) {
  const parts = [];
  const settings = context.settings || {};
  if (Number.isInteger(settings.repeat)) {
    const warmup = Number.isInteger(settings.warmup) && settings.warmup > 0
      ? ` after ${plural(settings.warmup, 'warm-up pass', 'warm-up passes')}` : ' without warm-up';
    parts.push(`median of ${plural(settings.repeat, 'recorded pass', 'recorded passes')} per case${warmup}`);
  }
  const processor = context.cpu && context.cpu.benchmarkProcessor;
  if (Number.isInteger(processor)) parts.push(`on logical processor ${processor}`);
  if (context.stream && typeof context.stream.path === 'string') {
    parts.push(`stream ${oneLine(context.stream.path)}`);
  } else if (context.data && context.data.checked === true) {
    const sum = typeof context.data.manifestSha256 === 'string' ? ` against SHA256SUMS ${context.data.manifestSha256.slice(0, 12)}` : '';
    parts.push(`data checked${sum}`);
  } else {
    parts.push('data not checked');
  }
  if (typeof context.timingNote === 'string' && context.timingNote !== '') parts.push(`times: ${context.timingNote}`);
  else if (context.timing === 'hardware') parts.push('times: hardware decode');
  if (Number.isInteger(context.simulatedDecodeUs)) parts.push(`TARSEL_SIMULATED_DECODE_US=${context.simulatedDecodeUs}`);
  return `figures: ${parts.join('; ')}`;
}

module.exports = { formatResultsTable, passedLine, figuresLine, framesPerSecond };
