'use strict';
// Stand-in programs for the client's tests: Node.js scripts that act as the
// benchmark program over the IPC channel, in a working directory of their own.
const fs = require('fs');
const os = require('os');
const path = require('path');
// The program's case table: each codec at these sizes.
const { kSizes, makeResults } = require('./results-fixture');
const caseList = (timesUs) => timesUs.map((t, i) => ({ width: kSizes[i][0], height: kSizes[i][1], 'bench-pass': t > 0,
  'bench-time': t, 'bench-frame': 30 }));
// The third case fails.
const kReport = { bench: ['h264', caseList([10000, 20000, 0, 10000]), ['h265', caseList([40000, 10000, 10000, 10000])]] };

// A machine of two adapters whose drivers say nothing of themselves:
// software without video, and the one that took the benchmark, with a named
// profile, one the driver says is not real-time (its size as text) and one
// the program cannot name.
const kCapabilities = { capabilities: { adapters: [
  { index: 0, description: 'Basic Render', vendorId: 0x1414, deviceId: 0x8c, subSysId: 0, revision: 0,
    dedicatedVideoMemory: 0, luid: '0x0000000000001234', driverVersion: null, driverDate: null, simulated: false,
    software: true, benchmark: false,
    video: null, reason: 'could not query ID3D11VideoDevice interface: hr = 0x80004002' },
  { index: 1, description: 'Integrated GPU', vendorId: 0x8086, deviceId: 0x3e92, subSysId: 0x86941043, revision: 2,
    dedicatedVideoMemory: 134217728, luid: '0x0000000000005678', driverVersion: '31.0.101.4502', driverDate: '2023-06-14', simulated: false,
    software: false, benchmark: true,
    video: { profiles: [
      { guid: '{1B81BE68-A0C7-11D3-B984-00C04F2E73C5}', name: 'H264_VLD_NOFGT', codec: 'h264', bitDepth: 8, chroma: '4:2:0',
        formats: ['NV12'], maxSize: { width: 4096, height: 2304 }, realTime: true },
      { guid: '{107AF0E0-EF1A-4D19-ABA8-67A163073D13}', name: 'HEVC_VLD_MAIN10', codec: 'hevc', bitDepth: 10,
        chroma: '4:2:0', formats: ['NV12', 'P010'], maxSize: '8192x8192', realTime: false },
      { guid: '{01234567-89AB-CDEF-0123-456789ABCDEF}', name: null, codec: null, formats: [], maxSize: null },
    ] } },
] } };

// The results message of a run with --repeat 3 that matches kReport case for case (the third failed).
const kResults = { results: makeResults({ repeat: 3 }) };

// The progress message of each case of kResults, in order.
const kProgress = kResults.results.cases.map(({ codec, width, height, pass }, i) =>
  ({ progress: { codec, width, height, pass, index: i + 1, count: 8 } }));

// The body runs in an async function, after which the stand-in exits, with send(message) (resolves once
// sent), sleep(ms), mark(name, text) (writes a file whole, for the test to
// wait for), sleeper() (starts a long sleep in the stand-in's process
// group and marks its pid in "sleeper.pid"), report and capabilities, and
// askedForCapabilities (the program's --capabilities) at hand; likewise
// results and progress (kResults, kProgress), askedForResults (--results or
// an argument that implies it) and askedForProgress (--progress).
function makeStandIn(t, body, { data = true } = {}) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tarsel-client-'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  if (data) fs.mkdirSync(path.join(dir, 'data'));
  const program = path.join(dir, 'stand-in');
  fs.writeFileSync(program, `#!${process.execPath}
const fs = require('fs');
const { spawn } = require('child_process');
const send = (message) => new Promise((sent) => process.send(message, sent));
const sleep = (ms) => new Promise((woken) => setTimeout(woken, ms));
const mark = (name, text = '') => { fs.writeFileSync(name + '.part', String(text)); fs.renameSync(name + '.part', name); };
const sleeper = () => mark('sleeper.pid', spawn('sleep', ['60'], { stdio: 'ignore' }).pid);
const report = ${JSON.stringify(kReport)};
const capabilities = ${JSON.stringify(kCapabilities)};
const askedForCapabilities = process.argv.includes('--capabilities');
const results = ${JSON.stringify(kResults)};
const progress = ${JSON.stringify(kProgress)};
const askedForResults = ['--results', '--repeat', '--warmup', '--progress'].some((name) => process.argv.includes(name));
const askedForProgress = process.argv.includes('--progress');
(async () => {
${body}
})().then(() => process.exit());
`, { mode: 0o755 });
  return { dir, program };
}

// Whether a process is running: a zombie waiting for a parent that does not
// reap it has ended all the same.
function isRunning(pid) {
  try {
    return !/^\d+ \(.*\) Z/s.test(fs.readFileSync(`/proc/${pid}/stat`, 'utf8'));
  } catch {
    return false;
  }
}

// Waits up to limitMs for a file the stand-in writes; returns its text.
async function waitForFile(file, limitMs = 10000) {
  for (const started = Date.now(); Date.now() - started < limitMs; await new Promise((r) => setTimeout(r, 20))) {
    if (fs.existsSync(file)) return fs.readFileSync(file, 'utf8');
  }
  throw new Error(`no ${file} after ${limitMs} ms`);
}

module.exports = { kReport, kResults, makeStandIn, isRunning, waitForFile };
