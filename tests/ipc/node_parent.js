'use strict';
// Plays the real parent: starts the child with Node's own IPC channel
// ('json' serialization) and checks both directions of the conversation.
// Usage: node node_parent.js <child program>
const { spawn } = require('child_process');
const assert = require('assert');

const childPath = process.argv[2];

function start(env) {
  const child = spawn(childPath, [], {
    stdio: ['pipe', 'pipe', 'pipe', 'ipc'],
    env: Object.assign({}, process.env, env),
  });
  const run = { child, messages: [], stderr: '' };
  child.stderr.on('data', (d) => { run.stderr += d; });
  child.on('message', (m) => {
    run.messages.push(m);
    if (run.onMessage) run.onMessage(m);
  });
  // 'exit' can come before the last of stderr has been read: wait for both.
  const stderrClosed = new Promise((resolve) => child.stderr.on('close', resolve));
  const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
  run.exited = Promise.all([exited, stderrClosed]).then(([status]) => status);
  return run;
}

function waitFor(run, predicate, what) {
  return new Promise((resolve, reject) => {
    const check = () => {
      const found = run.messages.find(predicate);
      if (found) { run.onMessage = null; clearTimeout(timer); resolve(found); }
    };
    const timer = setTimeout(() => reject(new Error('timed out waiting for ' + what + '\n' + run.stderr)), 10000);
    run.onMessage = check;
    check();
  });
}

// The child's log lines come on stderr, a different pipe from the IPC one, so
// they may arrive after a later message: wait for them rather than assume.
function waitForStderr(run, pattern, what) {
  return new Promise((resolve, reject) => {
    const started = Date.now();
    const poll = setInterval(() => {
      if (pattern.test(run.stderr)) {
        clearInterval(poll);
        resolve();
      } else if (Date.now() - started > 10000) {
        clearInterval(poll);
        reject(new Error('timed out waiting for ' + what + '\n' + run.stderr));
      }
    }, 10);
  });
}

function nested(depth) {
  let value = 0;
  for (let i = 0; i < depth; ++i) value = [value];
  return value;
}

async function commandsBothWays() {
  const run = start({ TEST_PING_MS: '50' });
  await waitFor(run, (m) => m.cmd === 'heartbeat', 'a heartbeat');
  assert.deepStrictEqual(run.messages[0], { cmd: 'heartbeat' });

  run.child.send({ cmd: 'set-bitrate', value: 2.9 });
  run.child.send({ cmd: 'set-colorspace', value: 'full' });
  run.child.send({ cmd: 'set-colorspace', value: 'situ' });
  run.child.send({ cmd: 'reboot-stream' });
  // Costly lines that must cost only themselves: one longer than the child
  // takes (dropped), one deeply nested, one exactly at the limit.
  run.child.send({ cmd: 'quit', pad: 'x'.repeat(70000) });
  run.child.send({ cmd: 'deep', deep: nested(2000) });
  const atLimit = { cmd: 'restart-windows', pad: '' };
  atLimit.pad = 'y'.repeat(65535 - JSON.stringify(atLimit).length);
  assert.strictEqual(JSON.stringify(atLimit).length, 65535);
  run.child.send(atLimit);

  await waitFor(run, (m) => m.what === 'restart-windows', 'the last command');
  const seen = run.messages.filter((m) => m.cmd === 'seen');
  assert.deepStrictEqual(seen, [
    { cmd: 'seen', what: 'set-bitrate', kind: 8, value: 2 },
    { cmd: 'seen', what: 'set-colorspace', full: true },
    { cmd: 'seen', what: 'set-colorspace', full: false },
    { cmd: 'seen', what: 'reboot-stream' },
    { cmd: 'seen', what: 'restart-windows' },
  ]);
  await waitForStderr(run, /ipc: line longer than 65535 bytes dropped/, 'the dropped-line log');

  run.child.send({ cmd: 'quit' });
  const bye = await waitFor(run, (m) => m.cmd === 'bye', 'the farewell');
  assert.strictEqual(bye.pad, 'r'.repeat(60000));
  const exit = await run.exited;
  assert.deepStrictEqual(exit, { code: 0, signal: null }, run.stderr);
  assert.match(run.stderr, /com chan disconnected for reason 0/);
  assert.match(run.stderr, /loop closed: 0/);
}

async function parentGoingAway() {
  const run = start({});
  // Wait until the child has its channel up, then leave.
  await waitForStderr(run, /com chan connected/, 'the channel to come up');
  run.child.disconnect();
  const exit = await run.exited;
  assert.deepStrictEqual(exit, { code: 0, signal: null }, run.stderr);
  assert.match(run.stderr, /ipc: receive error: -4095 - end of file - EOF/);
  assert.match(run.stderr, /com chan disconnected for reason 1/);
}

(async () => {
  for (const scenario of [commandsBothWays, parentGoingAway]) {
    await scenario();
    console.log('ok ' + scenario.name);
  }
})().catch((error) => {
  console.log('FAILED: ' + (error && error.stack ? error.stack : error));
  process.exit(1);
});
