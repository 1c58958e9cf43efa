'use strict';
// Small SVG charts of a run, written by hand so that the package needs
// nothing else: per case the median time and p95 latency, or against a saved
// run the ratio of the medians. Every piece of text is escaped: case names
// and adapter descriptions come from the program or from a file.

const kWidth = 760;
const kLabelWidth = 120;
const kRowHeight = 22;
const kTop = 52;
const kPanelGap = 24;
const kValueRoom = 150;
const kColours = { time: '#3b73b9', latency: '#e08a2c', slower: '#c0392b', faster: '#27ae60', neutral: '#a0a7ad',
  text: '#222222', axis: '#555555' };

const kEntities = { '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;', "'": '&apos;' };

// Text for an element's content or a quoted attribute; characters XML 1.0
// does not allow at all are dropped.
function escapeXml(value) {
  return String(value)
    .replace(/[\u0000-\u0008\u000b\u000c\u000e-\u001f\ufffe\uffff]/g, '')
    .replace(/[&<>"']/g, (c) => kEntities[c]);
}

const number = (value) => String(Math.round(value * 10) / 10);

function element(name, attributes, content) {
  const text = Object.entries(attributes).map(([key, value]) => ` ${key}="${escapeXml(typeof value === 'number' ? number(value) : value)}"`).join('');
  return content === undefined ? `<${name}${text}/>` : `<${name}${text}>${content}</${name}>`;
}

const text = (x, y, content, attributes = {}) => element('text', { x, y, ...attributes }, escapeXml(content));

function document(height, title, body) {
  return `<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="${kWidth}" height="${number(height)}" viewBox="0 0 ${kWidth} ${number(height)}" font-family="sans-serif" font-size="12">
${element('title', {}, escapeXml(title))}
${element('rect', { x: 0, y: 0, width: kWidth, height, fill: '#ffffff' })}
${text(kWidth / 2, 22, title, { 'text-anchor': 'middle', 'font-size': 14, fill: kColours.text })}
${body.join('\n')}
</svg>
`;
}

const rowY = (index) => kTop + index * kRowHeight;

function caseLabels(labels) {
  return labels.map((label, i) => text(kLabelWidth - 8, rowY(i) + 15, label, { 'text-anchor': 'end', fill: kColours.text }));
}

// A panel of bars from zero, one per row (null: the row's note instead),
// scaled to its largest value.
function barPanel({ x, width, heading, colour, values, notes }) {
  const largest = Math.max(0, ...values.filter((value) => value !== null));
  const room = width - 60;
  const out = [text(x, kTop - 8, heading, { fill: kColours.text, 'font-weight': 'bold' })];
  values.forEach((value, i) => {
    const y = rowY(i);
    if (value === null) {
      out.push(text(x, y + 15, notes[i], { fill: kColours.neutral }));
      return;
    }
    const length = largest > 0 ? Math.max(1, room * value / largest) : 1;
    out.push(element('rect', { x, y: y + 4, width: length, height: kRowHeight - 8, fill: colour }));
    out.push(text(x + length + 4, y + 15, value.toFixed(3), { fill: kColours.text }));
  });
  return out;
}

const caseName = (c) => `${c.codec} ${c.width}x${c.height}`;
const milliseconds = (us) => (typeof us === 'number' ? us / 1000 : null);

function runTitle(context, what) {
  const program = context.program || {};
  const adapter = context.adapter && context.adapter.description;
  return [program.name, program.version, adapter && `on ${adapter}`, `- ${what}`].filter(Boolean).join(' ');
}

// Per case, its median time and its p95 latency, each panel to its own scale.
function resultsChart(results) {
  const cases = results.cases;
  const panelWidth = (kWidth - kLabelWidth - kPanelGap - 10) / 2;
  const notes = cases.map((c) => (c.pass ? 'not measured' : 'failed'));
  const body = [
    ...caseLabels(cases.map(caseName)),
    ...barPanel({ x: kLabelWidth, width: panelWidth, heading: 'median time, ms', colour: kColours.time, notes,
      values: cases.map((c) => (c.pass ? milliseconds(c.medianUs) : null)) }),
    ...barPanel({ x: kLabelWidth + panelWidth + kPanelGap, width: panelWidth, heading: 'p95 latency, ms', colour: kColours.latency,
      notes, values: cases.map((c) => (c.pass && c.latencyUs ? milliseconds(c.latencyUs.p95) : null)) }),
  ];
  return document(rowY(cases.length) + 16, runTitle(results.context, 'decode time per case'), body);
}

// Per case, the ratio of the medians as a bar from 1.0 on a logarithmic
// axis, so that twice as slow and twice as fast reach equally far: right is
// slower. A significant difference is coloured and starred.
function comparisonChart(rows, context) {
  const ratios = rows.map((row) => row.ratio).filter((ratio) => ratio !== null && ratio > 0);
  const reach = Math.max(Math.log(1.1), ...ratios.map((ratio) => Math.abs(Math.log(ratio)))) * 1.05;
  const left = kLabelWidth + 10;
  const width = kWidth - left - kValueRoom;
  const xOf = (ratio) => left + width * (Math.log(Math.max(ratio, 1e-9)) + reach) / (2 * reach);
  const one = xOf(1);
  const bottom = rowY(rows.length);
  const body = [...caseLabels(rows.map((row) => `${row.codec} ${row.size}`))];
  rows.forEach((row, i) => {
    const y = rowY(i);
    if (row.ratio === null) {
      body.push(text(one + 6, y + 15, row.note || row.verdict || 'not compared', { fill: kColours.neutral }));
      return;
    }
    const significant = row.verdict === 'slower' || row.verdict === 'faster';
    const end = xOf(row.ratio);
    body.push(element('rect', { x: Math.min(one, end), y: y + 4, width: Math.max(1, Math.abs(end - one)), height: kRowHeight - 8,
      fill: significant ? kColours[row.verdict] : kColours.neutral }));
    body.push(text(Math.max(one, end) + 6, y + 15, `${row.ratio.toFixed(3)}x${significant ? ` * ${row.verdict}` : ''}`,
      { fill: kColours.text }));
  });
  body.push(element('line', { x1: one, y1: kTop - 4, x2: one, y2: bottom, stroke: kColours.axis }));
  for (const ratio of [Math.exp(-reach / 1.05), Math.exp(reach / 1.05)]) {
    body.push(text(xOf(ratio), bottom + 14, `${ratio.toFixed(2)}x`, { 'text-anchor': 'middle', fill: kColours.axis }));
  }
  body.push(text(one, bottom + 14, '1.00x', { 'text-anchor': 'middle', fill: kColours.axis }));
  body.push(text(kLabelWidth, bottom + 34, '* significant (two-sided Mann-Whitney U test, alpha 0.05); ratio: this run\'s median over the saved one',
    { fill: kColours.axis }));
  return document(bottom + 46, runTitle(context, 'this run against the saved one'), body);
}

module.exports = { resultsChart, comparisonChart, escapeXml };
