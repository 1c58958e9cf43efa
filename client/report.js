'use strict';
// The benchmark report as rows, and rows as a text table.

const isCount = (value, least = 0) => Number.isSafeInteger(value) && value >= least;

// A case as the program writes it: its size (0x0 for a stream that failed
// before its size was known), whether it passed, the microseconds it took
// and the frames it decoded.
function checkCase(c, where, stream) {
  const least = stream && c && c['bench-pass'] === false ? 0 : 1;
  if (c === null || typeof c !== 'object' || !isCount(c.width, least) || !isCount(c.height, least) ||
      typeof c['bench-pass'] !== 'boolean' || !isCount(c['bench-time']) || !isCount(c['bench-frame'])) {
    throw new Error(`${where} is not {width, height, bench-pass, bench-time, bench-frame}`);
  }
}

// The report nests the H.265 group one level deeper than the H.264 group:
// {"bench":["h264",[cases],["h265",[cases]]]}. Returns rows or throws; a
// group without cases is a report of nothing, except for a run over one
// stream (`stream`), whose one case sits in its codec's group.
function reportRows(report, { stream = false } = {}) {
  const bench = report && report.bench;
  if (!Array.isArray(bench) || bench.length !== 3 || bench[0] !== 'h264' || !Array.isArray(bench[1]) ||
      !Array.isArray(bench[2]) || bench[2][0] !== 'h265' || !Array.isArray(bench[2][1])) {
    throw new Error('the report does not have the expected shape');
  }
  const rows = [];
  for (const [codec, cases] of [['h264', bench[1]], ['h265', bench[2][1]]]) {
    if (cases.length === 0 && !stream) throw new Error(`the report has no ${codec} cases`);
    for (const [index, c] of cases.entries()) {
      checkCase(c, `${codec} case ${index} of the report`, stream);
      const pass = c['bench-pass'] === true;
      const timeUs = c['bench-time'];
      const frames = c['bench-frame'];
      rows.push({
        codec,
        size: `${c.width}x${c.height}`,
        pass,
        timeUs,
        frames,
        framesPerSecond: pass && timeUs > 0 ? frames * 1e6 / timeUs : null,
      });
    }
  }
  if (stream && rows.length !== 1) throw new Error(`the report of a stream has ${rows.length} cases, not 1`);
  return rows;
}

// Lines of cells as text columns: padded to the widest cell, numbers (the
// columns named in rightAligned) to the right; cells past the last header
// are left as they are.
function alignColumns(lines, rightAligned = []) {
  const header = lines[0];
  const widths = header.map((_, column) => Math.max(...lines.map((line) => (line[column] || '').length)));
  return lines.map((line) => line.map((cell, column) => {
    if (column >= header.length || column === line.length - 1 && !rightAligned.includes(column)) return cell;
    return rightAligned.includes(column) ? cell.padStart(widths[column]) : cell.padEnd(widths[column]);
  }).join('  ')).join('\n');
}

const kBarWidth = 30;

// The table, with a bar per row scaled to the fastest case when asked.
function formatTable(rows, { bars = false } = {}) {
  const fastest = Math.max(0, ...rows.map((row) => row.framesPerSecond || 0));
  const lines = [['codec', 'size', 'pass', 'time ms', 'frames/s']];
  for (const row of rows) {
    const fps = row.framesPerSecond === null ? '-' : row.framesPerSecond.toFixed(1);
    const line = [row.codec, row.size, row.pass ? 'yes' : 'no', (row.timeUs / 1000).toFixed(3), fps];
    if (bars && row.framesPerSecond !== null) {
      line.push('#'.repeat(Math.max(1, Math.round(kBarWidth * row.framesPerSecond / fastest))));
    }
    lines.push(line);
  }
  return alignColumns(lines, [3, 4]);
}

module.exports = { reportRows, formatTable, alignColumns };
