'use strict';
// Result documents as the program sends them ({"results": ...}), and the
// body of a stand-in program that sends one after its progress and report.

// The cases of stand-in.js's report, in table order; the third fails.
const kSizes = [[1280, 720], [1920, 1080], [2560, 1440], [3840, 2160]];
const kBaseUs = [1400, 3300, 4800, 10500, 3100, 3000, 3900, 11200];

// A document whose passed cases took (base + k) * scale microseconds in
// their k-th pass; the description may carry characters that need escaping.
function makeResults({ scale = 1, repeat = 5, description = 'Simulated video decoder (no hardware)' } = {}) {
  const cases = [];
  ['h264', 'h265'].forEach((codec, group) => kSizes.forEach(([width, height], i) => {
    const index = group * kSizes.length + i;
    const pass = index !== 2;
    const samplesUs = pass ? Array.from({ length: repeat }, (_, k) => Math.round((kBaseUs[index] + 10 * k) * scale)) : [];
    const sorted = [...samplesUs].sort((a, b) => a - b);
    const at = (fraction) => (pass ? sorted[Math.round((sorted.length - 1) * fraction)] : null);
    cases.push({
      codec, width, height, frames: 30, pass, ...(pass ? {} : { reason: 'frame 3: the decoder refused the picture' }),
      setupUs: 1500, samplesUs, minUs: at(0), medianUs: at(0.5), p95Us: at(1), meanUs: at(0.5), cv: pass ? 0.011 : null,
      latencyUs: pass ? { median: 40, p95: 20000 + 1000 * index, max: 25000 } : null,
      realTime: { 30: pass, 60: pass && index < 4, 120: false },
    });
  }));
  return {
    schemaVersion: 1,
    context: {
      program: { name: 'tarsel-bench', version: '0.3.0', commit: 'ae6cab8', buildType: 'Release', compiler: 'GCC 12.2.0' },
      os: { name: 'Linux', release: '6.1.0-28-amd64', build: null, description: 'Debian GNU/Linux 12 (bookworm)' },
      cpu: { model: 'AMD EPYC 7B13', logicalCores: 2, benchmarkProcessor: 0 },
      memory: { totalBytes: 25769803776 },
      adapter: { index: 0, description, vendorId: 0, deviceId: 0, subSysId: 0, revision: 0, luid: '0x0000000000000000',
        driverVersion: null, driverDate: null, simulated: true },
      time: '2026-12-07T13:45:12Z',
      data: { checked: true, manifestSha256: '9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08', checkUs: 5230 },
      settings: { repeat, warmup: 1 },
      timing: 'simulated-host',
      timingNote: 'host side of the work on the simulated video device; no hardware decode time',
    },
    cases,
  };
}

// The bare report of the same run: the medians as its times.
function reportOf(results) {
  const group = (codec) => results.cases.filter((c) => c.codec === codec).map((c) => ({ width: c.width, height: c.height,
    'bench-pass': c.pass, 'bench-time': c.medianUs === null ? 0 : c.medianUs, 'bench-frame': c.frames }));
  return { bench: ['h264', group('h264'), ['h265', group('h265')]] };
}

// A stand-in body (see stand-in.js) that marks its arguments in args.json,
// sends a progress message per case, the report and then the given
// document, its settings taken from its --repeat and --warmup.
function resultsBody(results) {
  return `mark('args.json', JSON.stringify(process.argv.slice(2)));
const argument = (name, otherwise) => {
  const at = process.argv.indexOf(name);
  return at < 0 ? otherwise : Number(process.argv[at + 1]);
};
const results = ${JSON.stringify(results)};
results.context.settings = { repeat: argument('--repeat', 1), warmup: argument('--warmup', 0) };
if (askedForCapabilities) await send(capabilities);
for (const [i, c] of results.cases.entries()) {
  await send({ progress: { codec: c.codec, width: c.width, height: c.height, pass: c.pass, index: i + 1, count: results.cases.length } });
}
await send(${JSON.stringify(reportOf(results))});
await send({ results });`;
}

module.exports = { kSizes, makeResults, resultsBody, reportOf };
