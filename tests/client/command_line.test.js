'use strict';
// The client's command line against stand-in programs: its exit statuses,
// its help, and what it prints of a run and of the capability message.
const test = require('node:test');
const assert = require('node:assert');
const { spawn, spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const { kReport, kCapabilities, makeStandIn, isRunning, waitForFile } = require('./stand-in');

const kClient = path.join(__dirname, '..', '..', 'client', 'bench-client.js');
const runClient = (args) => spawnSync(process.execPath, [kClient, ...args], { encoding: 'utf8', timeout: 60000 });

test('exit statuses: 0 a measured run or help, 1 the program failed, 2 a usage error', (t) => {
  const reports = makeStandIn(t, 'if (askedForCapabilities) await send(capabilities); await send(report);');
  const fails = makeStandIn(t, 'process.exitCode = 3;');
  const noData = makeStandIn(t, '', { data: false });
  // Rows: arguments, exit status, what standard output (status 0) or error shows.
  const rows = [
    [['--program', reports.program], 0, /^codec +size[^]*\n7 of 8 cases passed\ndecoder: /],
    [['--program', reports.program, '--timeout', '0', '--json'], 0, /^\{"bench":\["h264"/],
    [['--help'], 0, new RegExp(['--program', '--data-dir', '--timeout', '--capabilities', '--capabilities-only', '--json',
      '-h, --help', 'exit status:\n  0 ', '\n  1 ', '\n  2 '].join('[^]*'))],
    [['--program', fails.program], 1, /exited with status 3/],
    [['--program', path.join(fails.dir, 'missing')], 1, /program .*missing does not exist/],
    [['--program', noData.program], 2, /holds no data/],
    [['--program', reports.program, '--data-dir', path.join(reports.dir, 'missing')], 2, /does not exist/],
    [[], 2, /--program is required/],
    [['--program', reports.program, '--timeout', '-1'], 2, /--timeout takes/],
    [['--program', reports.program, '--frobnicate'], 2, /unknown argument --frobnicate/],
  ];
  for (const [args, status, output] of rows) {
    const result = runClient(args);
    assert.strictEqual(result.status, status, `${args.join(' ')}\n${result.stderr}`);
    assert.match(status === 0 ? result.stdout : result.stderr, output, args.join(' '));
  }
});

test('--capabilities: the decoder line from the message, then one block per adapter; --json gives the message as it came', (t) => {
  const { program } = makeStandIn(t, 'await send(capabilities); await send(report);');
  const table = runClient(['--program', program, '--capabilities']);
  assert.match(table.stdout, /\ndecoder: adapter 1 -> Integrated GPU \[0x8086\/\/0x3e92\]\n(times: .*\n)?\n/);
  assert.strictEqual(table.stdout.replace(/^[^]*\n\n/, ''), `adapter 0: Basic Render
  vendor 0x1414  device 0x8c  subsystem 0x0  revision 0  software: yes
  no video decoding: could not query ID3D11VideoDevice interface: hr = 0x80004002
adapter 1: Integrated GPU (the benchmark's)
  vendor 0x8086  device 0x3e92  subsystem 0x86941043  revision 2  software: no
  codec  profile                                 formats    largest size
  h264   H264_VLD_NOFGT                          NV12       4096x2304
  hevc   HEVC_VLD_MAIN10                         NV12 P010  8192x8192 (not real time)
  -      {01234567-89AB-CDEF-0123-456789ABCDEF}  -          -
`);
  const json = runClient(['--program', program, '--capabilities', '--json']);
  assert.deepStrictEqual(json.stdout.trimEnd().split('\n').map((line) => JSON.parse(line)), [kCapabilities, kReport]);
  const probe = makeStandIn(t, 'await send({ capabilities: { adapters: [], reason: "failed to CreateDXGIFactory : error 0x887a0004" } });',
    { data: false });
  assert.strictEqual(runClient(['--program', probe.program, '--capabilities-only']).stdout,
    'adapters: none (failed to CreateDXGIFactory : error 0x887a0004)\n');
});

test('Ctrl-C stops the program and its children, and the client exits 130', async (t) => {
  const { dir, program } = makeStandIn(t, 'mark("program.pid", process.pid); sleeper(); await sleep(60000);');
  const client = spawn(process.execPath, [kClient, '--program', program], { stdio: 'ignore' });
  const exited = new Promise((resolve) => client.on('exit', resolve));
  const sleeperPid = await waitForFile(path.join(dir, 'sleeper.pid'));
  client.kill('SIGINT');
  assert.strictEqual(await exited, 130);
  for (const pid of [fs.readFileSync(path.join(dir, 'program.pid'), 'utf8'), sleeperPid]) assert.ok(!isRunning(Number(pid)), pid);
});
