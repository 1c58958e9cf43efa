'use strict';
// A run on every adapter as one table: a row per case, a column per adapter
// measured with its median frames/s and real-time verdicts, the fastest per
// case marked; then why each other adapter was not measured.
const { alignColumns } = require('./report');
const { framesPerSecond } = require('./results-table');

const kRates = ['30', '60', '120'];

function adapterName(adapter) {
  return adapter ? `${adapter.index}: ${adapter.description}` : 'no adapter';
}

function cell(c, fastest) {
  if (!c.pass) return 'failed';
  const rate = framesPerSecond(c);
  const verdicts = kRates.map((fps) => (c.realTime[fps] === true ? 'y' : 'n')).join('/');
  return `${rate === null ? '-' : rate.toFixed(1)} ${verdicts}${rate !== null && rate === fastest ? ' *' : ''}`;
}

// adapterResults: one checked results value per adapter, each naming its
// adapter in context.adapter; adapters: the run's adapters message.
function formatAdapterTable(adapterResults, adapters) {
  const header = ['codec', 'size', ...adapterResults.map((results) => {
    const adapter = results.context.adapter;
    return `${adapterName(adapter)}${adapter && adapter.benchmark === true ? ' (rule)' : ''}`;
  })];
  const lines = [header];
  adapterResults[0].cases.forEach((first, index) => {
    const cases = adapterResults.map((results) => results.cases[index]);
    const rates = cases.map((c) => (c.pass ? framesPerSecond(c) : null)).filter((rate) => rate !== null);
    const fastest = rates.length > 1 ? Math.max(...rates) : null;
    lines.push([first.codec, `${first.width}x${first.height}`, ...cases.map((c) => cell(c, fastest))]);
  });
  const notes = [`median frames/s and real time ${kRates.join('/')} per adapter; * the fastest for the case; ` +
    '(rule) the adapter the program takes by itself'];
  for (const skipped of adapters.skipped) notes.push(`adapter ${adapterName(skipped)} not measured: ${skipped.reason}`);
  return `${alignColumns(lines)}\n${notes.join('\n')}`;
}

module.exports = { formatAdapterTable };
