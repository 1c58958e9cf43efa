'use strict';
// The client's command line against stand-in programs: its exit statuses,
// and what it prints of a run and of the capability message.
const test = require('node:test');
const assert = require('node:assert');
const { spawn, spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const { makeStandIn, isRunning, waitForFile } = require('./stand-in');

const { makeResults, resultsBody, reportOf } = require('./results-fixture');

const kClient = path.join(__dirname, '..', '..', 'client', 'bench-client.js');
const runClient = (args, options) => spawnSync(process.execPath, [kClient, ...args], { encoding: 'utf8', timeout: 60000, ...options });
// A run that must succeed.
const runOk = (args, options) => {
  const result = runClient(args, options);
  assert.strictEqual(result.status, 0, result.stderr);
  return result;
};
const argsOf = (dir) => JSON.parse(fs.readFileSync(path.join(dir, 'args.json'), 'utf8'));

test('exit statuses: 0 a measured run or help, 1 the program failed, 2 a usage error or arguments the program refuses', (t) => {
  const reports = makeStandIn(t, resultsBody(makeResults()));
  const noData = makeStandIn(t, '', { data: false });
  const silent = makeStandIn(t, 'await sleep(60000);');
  const refuses = makeStandIn(t, `process.stderr.write('app: --adapter 9: no such adapter; the adapters are 0 "Basic Render"\\n');
process.exitCode = 255;`);
  const wrongSchema = path.join(reports.dir, 'wrong.json');
  fs.writeFileSync(wrongSchema, JSON.stringify({ ...makeResults(), schemaVersion: 2 }));
  // Rows: arguments, exit status, what standard output (status 0) or error shows.
  const rows = [
    [['--program', reports.program], 0, /^codec +size[^]*\n7 of 8 cases passed\ndecoder: [^]*\nfigures: median of 5 recorded passes per case after 1 warm-up pass; on logical processor 0; /],
    [['--help'], 0, /^usage: [^]*--repeat N[^]*exit status:/],
    [['--program', path.join(reports.dir, 'missing')], 1, /program .*missing does not exist/],
    // Seconds, not milliseconds; a thousand seconds would outlast the spawn's limit.
    [['--program', silent.program, '--timeout', '1'], 1, /no result after 1 s;/],
    [['--program', noData.program], 2, /holds no data/],
    [[], 2, /--program is required/],
    [['--program', reports.program, '--timeout', '-1'], 2, /--timeout takes/],
    [['--program', refuses.program, '--adapter', '9'], 2, /bench-client: the program refused its arguments: --adapter 9: no such adapter;/],
  ];
  // Usage errors of the new options, refused before the program starts.
  const refused = [
    [['--repeat', '0'], /--repeat takes a whole number from 1 to 100/],
    [['--repeat', ' 3'], /--repeat takes/],
    [['--compare', wrongSchema], /wrong\.json is not a saved result document: its schemaVersion is 2/],
    [['--save', path.join(reports.dir, 'missing', 'run.json')], /--save: the folder .*missing does not exist/],
    [['--plot', path.join(reports.dir, 'chart.png')], /--plot .*must end in \.svg/],
    [['--json', '--compare', wrongSchema], /--compare prints a table; it does not go with --json/],
    [['--adapter', 'discrete'], /--adapter takes an adapter's index or LUID/],
    [['--adapter', '1', '--all-adapters'], /--adapter does not go with --all-adapters/],
    [['--all-adapters', '--plot', path.join(reports.dir, 'chart.svg')], /--plot takes one adapter's run/],
    [['--codec', 'h264'], /--codec goes with --stream/],
  ];
  for (const [args, output] of refused) rows.push([['--program', reports.program, ...args], 2, output]);
  for (const [args, status, output] of rows) {
    const argsFile = path.join(reports.dir, 'args.json');
    fs.rmSync(argsFile, { force: true });
    const result = runClient(args);
    assert.strictEqual(result.status, status, `${args.join(' ')}\n${result.stderr}`);
    assert.match(status === 0 ? result.stdout : result.stderr, output, args.join(' '));
    if (status === 2) assert.ok(!fs.existsSync(argsFile), `${args.join(' ')}: the program ran`);
  }
});

test('the run: repeat and warmup reach the program; the table has a row per case and says how the figures were taken; ' +
  '--capabilities adds a block per adapter after it', (t) => {
  const { dir, program } = makeStandIn(t, resultsBody(makeResults()));
  const result = runOk(['--program', program, '--repeat', '3', '--warmup', '0']);
  const args = argsOf(dir);
  assert.deepStrictEqual([args.indexOf('--results') >= 0, args[args.indexOf('--repeat') + 1], args[args.indexOf('--warmup') + 1]],
    [true, '3', '0']);
  const lines = result.stdout.split('\n');
  assert.strictEqual(lines[0], 'codec  size       pass  median ms    cv  frames/s  p95 latency ms  real time 30/60/120');
  assert.strictEqual(lines[1], 'h264   1280x720   yes       1.420  1.1%   21126.8          20.000  yes/yes/no');
  assert.deepStrictEqual(lines.slice(9), ['7 of 8 cases passed', 'decoder: adapter 1 -> Integrated GPU [0x8086//0x3e92]',
    'figures: median of 3 recorded passes per case without warm-up; on logical processor 0; data checked against SHA256SUMS 9f86d081884c; ' +
    'times: host side of the work on the simulated video device; no hardware decode time', '']);
  // Piped standard error: the one line of what runs, no progress bar.
  assert.strictEqual(result.stderr, 'running the benchmark: 3 recorded and 0 warm-up passes per case...\n');

  const table = runOk(['--program', program, '--capabilities']);
  assert.strictEqual(table.stdout.replace(/^[^]*\n\n/, ''), `adapter 0: Basic Render
  vendor 0x1414  device 0x8c  subsystem 0x0  revision 0  software: yes
  no video decoding: could not query ID3D11VideoDevice interface: hr = 0x80004002
adapter 1: Integrated GPU (the benchmark's)
  vendor 0x8086  device 0x3e92  subsystem 0x86941043  revision 2  software: no  driver 31.0.101.4502 (2023-06-14)
  codec  profile                                 formats    largest size
  h264   H264_VLD_NOFGT                          NV12       4096x2304
  hevc   HEVC_VLD_MAIN10                         NV12 P010  8192x8192 (not real time)
  -      {01234567-89AB-CDEF-0123-456789ABCDEF}  -          -
`);
  const probe = makeStandIn(t, 'await send({ capabilities: { adapters: [], reason: "failed to CreateDXGIFactory : error 0x887a0004" } });',
    { data: false });
  assert.strictEqual(runClient(['--program', probe.program, '--capabilities-only']).stdout,
    'adapters: none (failed to CreateDXGIFactory : error 0x887a0004)\n');
});

test('at a terminal a progress bar on standard error follows the cases', { skip: !fs.existsSync('/usr/bin/script') && 'no script(1)' },
  (t) => {
    const { program } = makeStandIn(t, resultsBody(makeResults()));
    const command = [process.execPath, kClient, '--program', program].map((word) => `'${word}'`).join(' ');
    // script(1) runs the client at a pseudo-terminal and copies what it writes.
    const result = spawnSync('script', ['-qec', command, '/dev/null'], { encoding: 'utf8', timeout: 60000 });
    assert.strictEqual(result.status, 0, result.stdout);
    assert.match(result.stdout, /\r\[#####\.{15}\] 2\/8 cases[^]*\r\[########\.{12}\] 3\/8 cases, last h264 2560x1440 \(failed\)/);
    assert.match(result.stdout, /h264 +1280x720 +yes .* yes\/yes\/no +#{30}\r?\n/, 'bars beside the rows at a terminal');
  });

test('--json prints the report and the result document as they came; --save writes the document --compare reads back', (t) => {
  const saved = makeResults();
  const base = makeStandIn(t, resultsBody(saved));
  const slower = makeStandIn(t, resultsBody(makeResults({ scale: 1.25 })));
  const file = path.join(base.dir, 'base.json');
  const chart = path.join(base.dir, 'chart.svg');

  const json = runOk(['--program', base.program, '--json', '--save', file]);
  const expected = { ...saved, context: { ...saved.context, settings: { repeat: 5, warmup: 1 } } };
  assert.deepStrictEqual(json.stdout.trimEnd().split('\n').map((line) => JSON.parse(line)), [reportOf(saved), { results: expected }]);
  assert.deepStrictEqual(JSON.parse(fs.readFileSync(file, 'utf8')), expected);

  const compared = runOk(['--program', slower.program, '--compare', file, '--plot', chart]);
  const table = compared.stdout.slice(compared.stdout.indexOf('\ncompared with ') + 1).trimEnd().split('\n');
  assert.strictEqual(table[3], 'h264   1280x720     1.775     1.420  1.250x  0.008  slower');
  const svg = fs.readFileSync(chart, 'utf8');
  assert.strictEqual(svg.match(/>1\.250x \* slower</g).length, 7);

  // A file that cannot take what is written, even for root: a failure after the run.
  const full = runClient(['--program', base.program, '--save', '/dev/full']);
  assert.strictEqual(full.status, 1, full.stderr);
  assert.match(full.stderr, /could not write the results to \/dev\/full: ENOSPC/);
  assert.match(full.stdout, /\n7 of 8 cases passed\n/, 'the table is printed all the same');
});

// Either signal ends the run, and neither the program nor what it started outlives the client.
for (const [signal, status] of [['SIGINT', 130], ['SIGTERM', 143]]) {
  test(`${signal} stops the program and its children, and the client exits ${status}`, async (t) => {
    const { dir, program } = makeStandIn(t, 'mark("program.pid", process.pid); sleeper(); await sleep(60000);');
    const client = spawn(process.execPath, [kClient, '--program', program], { stdio: 'ignore' });
    const exited = new Promise((resolve) => client.on('exit', resolve));
    const sleeperPid = await waitForFile(path.join(dir, 'sleeper.pid'));
    client.kill(signal);
    assert.strictEqual(await exited, status);
    for (const pid of [fs.readFileSync(path.join(dir, 'program.pid'), 'utf8'), sleeperPid]) assert.ok(!isRunning(Number(pid)), pid);
  });
}

test('--all-adapters: a table of cases by adapters with the fastest marked', (t) => {
  const adapter = (index, description, benchmark) => ({ index, description, vendorId: 0, deviceId: 0, subSysId: 0, revision: 0,
    luid: `0x000000000000000${index}`, driverVersion: null, driverDate: null, simulated: false, benchmark });
  const integrated = makeResults();
  integrated.context.adapter = adapter(1, 'Integrated GPU', true);
  // Twice as fast, but its first case fails.
  const discrete = makeResults({ scale: 0.5 });
  discrete.context.adapter = adapter(2, 'Discrete GPU', false);
  discrete.cases[0] = { ...integrated.cases[2], codec: 'h264', width: 1280, height: 720 };
  const adapters = { benchmark: 1, measured: [1, 2],
    skipped: [{ ...adapter(0, 'Basic Render', false), reason: 'no video decoding: D3D11CreateDevice failed' }] };
  const { program } = makeStandIn(t, `if (askedForCapabilities) await send(capabilities);
await send(${JSON.stringify({ adapters })});
await send(${JSON.stringify(reportOf(integrated))});
for (const results of ${JSON.stringify([integrated, discrete])}) await send({ results });`);
  const result = runOk(['--program', program, '--all-adapters', '--repeat', '5']);
  const lines = result.stdout.split('\n');
  // 30 frames over the median: 1420 us, then 3320 us and 1660 us; verdicts 30/60/120.
  [/^codec +size +1: Integrated GPU \(rule\) +2: Discrete GPU$/, /^h264 +1280x720 +21126\.8 y\/y\/n +failed$/,
    /^h264 +1920x1080 +9036\.1 y\/y\/n +18072\.3 y\/y\/n \*$/, /^h264 +2560x1440 +failed +failed$/].forEach((line, i) => assert.match(lines[i], line));
  assert.match(result.stdout, /\nadapter 0: Basic Render not measured: no video decoding: D3D11CreateDevice failed\n/);
});

test('--stream: the file goes to the program from here, no data/ is needed, and its one case is the table', (t) => {
  const one = makeResults({ repeat: 2 });
  one.cases = one.cases.slice(4, 5);
  one.context.stream = { path: '/clips/clip.hevc' };
  const { dir, program } = makeStandIn(t, `mark('args.json', JSON.stringify(process.argv.slice(2)));
await send(capabilities);
await send(${JSON.stringify({ bench: ['h264', [], ['h265', reportOf(one).bench[2][1]]] })});
await send({ results: ${JSON.stringify(one)} });`, { data: false });
  const result = runOk(['--program', program, '--stream', 'clip', '--codec', 'h265'], { cwd: dir });
  const args = argsOf(dir);
  assert.deepStrictEqual(args.slice(args.indexOf('--stream'), args.indexOf('--stream') + 4), ['--stream', path.join(dir, 'clip'), '--codec', 'h265']);
  assert.match(result.stdout, /^codec +size +pass[^\n]*\nh265 +1280x720 +yes +[^\n]*\n1 of 1 cases passed\n[^]*figures: [^\n]*stream \/clips\/clip\.hevc;/);
});
