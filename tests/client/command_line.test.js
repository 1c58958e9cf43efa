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

test('exit statuses: 0 a measured run, 1 the program failed, 2 a usage error', (t) => {
  const reports = makeStandIn(t, 'await send(capabilities); await send(report); process.exit(0);');
  const fails = makeStandIn(t, 'process.exitCode = 3;');
  const noData = makeStandIn(t, '', { data: false });
  const rows = [
    [['--program', reports.program], 0, /^codec +size[^]*\n7 of 8 cases passed\n/],
    [['--program', reports.program, '--timeout', '0', '--json'], 0, /^\{"bench":\["h264"/],
    [['--program', fails.program], 1, /exited with status 3/],
    [['--program', path.join(fails.dir, 'missing')], 1, /program .*missing does not exist/],
    [['--program', noData.program], 2, /holds no data/],
    [['--program', reports.program, '--data-dir', path.join(reports.dir, 'missing')], 2, /does not exist/],
    [[], 2, /--program is required/],
    [['--program', reports.program, '--timeout', '-1'], 2, /--timeout takes/],
    [['--program', reports.program, '--timeout'], 2, /--timeout needs a value/],
    [['--program', reports.program, '--frobnicate'], 2, /unknown argument --frobnicate/],
  ];
  for (const [args, status, output] of rows) {
    const result = runClient(args);
    assert.strictEqual(result.status, status, `${args.join(' ')}\n${result.stderr}`);
    assert.match(status === 0 ? result.stdout : result.stderr, output, args.join(' '));
  }
});

test('--help names every option and the exit statuses on standard output', () => {
  const result = runClient(['--help']);
  assert.strictEqual(result.status, 0);
  assert.strictEqual(result.stderr, '');
  for (const option of ['--program', '--data-dir', '--timeout', '--capabilities', '--capabilities-only', '--json', '--help']) {
    assert.match(result.stdout, new RegExp(`^ +(-h, )?${option} `, 'm'));
  }
  assert.match(result.stdout, /exit status:\n  0 [^]*\n  1 [^]*\n  2 /);
});

test('--capabilities: the decoder line from the message, then one block per adapter; --json gives the message as it came', (t) => {
  const { program } = makeStandIn(t, 'await send(capabilities); await send(report); process.exit(0);');
  const table = runClient(['--program', program, '--capabilities']);
  assert.strictEqual(table.status, 0, table.stderr);
  const [, decoder, blocks] = /\n(decoder: .*)\n(?:times: .*\n)?\n([^]*)$/.exec(table.stdout);
  assert.strictEqual(decoder, 'decoder: adapter 1 -> Integrated GPU [0x8086//0x3e92]');
  assert.strictEqual(blocks, `adapter 0: Basic Render
  vendor 0x1414  device 0x8c  subsystem 0x0  revision 0  software: yes
  no video decoding: could not query ID3D11VideoDevice interface: hr = 0x80004002
adapter 1: Integrated GPU (the benchmark's)
  vendor 0x8086  device 0x3e92  subsystem 0x86941043  revision 2  software: no
  codec  profile                                 formats  largest size
  h264   H264_VLD_NOFGT                          NV12     4096x2304
  hevc   HEVC_VLD_MAIN                           NV12     4096x2304 (not real time)
  -      {01234567-89AB-CDEF-0123-456789ABCDEF}  -        -
adapter 2: Discrete GPU
  vendor 0x10de  device 0x2484  subsystem 0x0  revision 161  software: no
  no decoder profiles
`);
  const json = runClient(['--program', program, '--capabilities', '--json']);
  assert.deepStrictEqual(json.stdout.trimEnd().split('\n').map((line) => JSON.parse(line)), [kCapabilities, kReport]);

  const probe = makeStandIn(t, 'await send({ capabilities: { adapters: [], reason: "failed to CreateDXGIFactory : error 0x887a0004" } }); process.exit(0);',
    { data: false });
  const only = runClient(['--program', probe.program, '--capabilities-only']);
  assert.strictEqual(only.status, 0, only.stderr);
  assert.strictEqual(only.stdout, 'adapters: none (failed to CreateDXGIFactory : error 0x887a0004)\n');
});

test('Ctrl-C stops the program and its children, and the client exits 130', async (t) => {
  const { dir, program } = makeStandIn(t, 'mark("program.pid", process.pid); sleeper(); await sleep(60000);');
  const client = spawn(process.execPath, [kClient, '--program', program], { stdio: 'ignore' });
  const exited = new Promise((resolve) => client.on('exit', resolve));
  const sleeperPid = Number(await waitForFile(path.join(dir, 'sleeper.pid')));
  client.kill('SIGINT');
  assert.strictEqual(await exited, 130);
  for (const pid of [fs.readFileSync(path.join(dir, 'program.pid'), 'utf8'), sleeperPid]) assert.ok(!isRunning(Number(pid)), pid);
});
