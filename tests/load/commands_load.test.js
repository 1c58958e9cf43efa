'use strict';
// A real Node.js parent floods the counting build of the process with 100,000
// lines while the benchmark runs: valid commands of every kind mixed with
// malformed JSON, over-long lines and bytes that are not UTF-8. Every valid
// command the child handles must be counted once, the report must still
// arrive, the process must exit 0, and its peak memory must stay near that
// of a quiet run.
//
// The parent end of the channel is a plain socket (stdio 'pipe' at fd 3,
// named in NODE_CHANNEL_FD) rather than Node's 'ipc' stdio: child.send cannot
// write malformed bytes, and raw writes beside child.send would race with
// Node's own queued messages. Valid commands are written exactly as child.send
// frames them with JSON serialisation: the JSON text and a newline.
const test = require('node:test');
const assert = require('node:assert');
const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const program = process.env.TARSEL_COUNTING_CHILD;
const sourceDir = process.env.TARSEL_SOURCE_DIR;
if (!program || !sourceDir) throw new Error('TARSEL_COUNTING_CHILD and TARSEL_SOURCE_DIR must be set');

const kLineCount = 100000;
const kMaxLineLength = 65535;  // longer lines are dropped whole by the child
const kCounterNames = ['set-bitrate', 'bitrate-sum', 'reboot-stream', 'restart-windows', 'quit',
  'set-colorspace-full', 'set-colorspace-other'];

// Deterministic, so a failure can be replayed.
function makeRandom(seed) {
  let state = seed >>> 0;
  return () => {
    state = (Math.imul(state, 1664525) + 1013904223) >>> 0;
    return state / 4294967296;
  };
}

// The lines to send, each with what it must add to the counters.
function makeLines() {
  const random = makeRandom(20261206);
  const valid = [
    () => ({ line: { cmd: 'quit' }, counts: { quit: 1 } }),
    () => ({ line: { cmd: 'restart-windows' }, counts: { 'restart-windows': 1 } }),
    () => ({ line: { cmd: 'reboot-stream' }, counts: { 'reboot-stream': 1 } }),
    () => {
      const value = Math.floor(random() * 2000001) - 1000000;
      return { line: { cmd: 'set-bitrate', value }, counts: { 'set-bitrate': 1, 'bitrate-sum': value } };
    },
    () => ({ line: { cmd: 'set-colorspace', value: 'full' }, counts: { 'set-colorspace-full': 1 } }),
    // A value the channel matches to the other colour space.
    () => ({ line: { cmd: 'set-colorspace', value: 'situ' }, counts: { 'set-colorspace-other': 1 } }),
  ];
  const invalid = [
    () => Buffer.from('{"cmd":"quit"'),
    () => Buffer.from('{"cmd":"set-bitrate","value":"fast"}'),
    () => Buffer.from('{"cmd":"set-bitrate","value":1e300}'),
    () => Buffer.from('{"cmd":"set-colorspace","value":"ful"}'),
    () => Buffer.from('{"cmd":"QUIT"}'),
    () => Buffer.from('[{"cmd":"quit"}]'),
    () => Buffer.from('{"cmd":"quit"}{"cmd":"quit"}'),
    () => Buffer.from('\u0000{"cmd":"quit"}', 'latin1'),
    // Not UTF-8: a lone continuation byte inside the string, an overlong
    // encoding, and bytes ahead of the JSON text.
    () => Buffer.concat([Buffer.from('{"cmd":"qu'), Buffer.from([0x80]), Buffer.from('it"}')]),
    () => Buffer.concat([Buffer.from('{"cmd":"reboot-stream","x":"'), Buffer.from([0xc0, 0xaf]), Buffer.from('"}')]),
    () => Buffer.concat([Buffer.from([0xff, 0xfe]), Buffer.from('{"cmd":"restart-windows"}')]),
  ];
  const lines = [];
  let tooLong = 0;
  let malformed = 0;
  for (let i = 0; i < kLineCount; i++) {
    const pick = random();
    if (pick < 0.0002) {
      // Valid JSON of a real command, but one byte over the limit or more.
      const padding = kMaxLineLength + Math.floor(random() * 4096) - '{"cmd":"quit","pad":""}'.length + 1;
      lines.push({ bytes: Buffer.from(`{"cmd":"quit","pad":"${'p'.repeat(padding)}"}\n`), counts: {} });
      tooLong++;
    } else if (pick < 0.3) {
      lines.push({ bytes: Buffer.concat([invalid[Math.floor(random() * invalid.length)](), Buffer.from('\n')]), counts: {} });
      malformed++;
    } else {
      const { line, counts } = valid[Math.floor(random() * valid.length)]();
      lines.push({ bytes: Buffer.from(JSON.stringify(line) + '\n'), counts });
    }
  }
  return { lines, tooLong, malformed };
}

function peakResidentKb(pid) {
  try {
    const match = /VmHWM:\s+(\d+) kB/.exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'));
    return match ? Number(match[1]) : -1;
  } catch {
    return -1;
  }
}

// Under AddressSanitizer freed memory sits in a quarantine of up to 256 MB,
// which a flood of short-lived parse objects fills; a small one keeps the
// peak a measure of what the process holds rather than of what it churned.
function quietAsanOptions() {
  const options = process.env.ASAN_OPTIONS ? process.env.ASAN_OPTIONS.split(':') : [];
  return [...options, 'quarantine_size_mb=1', 'thread_local_quarantine_size_kb=64'].join(':');
}

// Runs the counting child in a fresh directory with the data set linked in.
// `lines` are written at full speed from the moment it starts.
function runChild(t, lines) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tarsel-load-'));
  fs.symlinkSync(path.join(sourceDir, 'data'), path.join(dir, 'data'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));

  return new Promise((resolve, reject) => {
    const started = process.hrtime.bigint();
    const elapsedMs = () => Number(process.hrtime.bigint() - started) / 1e6;
    const child = spawn(program, [], {
      cwd: dir,
      env: { ...process.env, NODE_CHANNEL_FD: '3', ASAN_OPTIONS: quietAsanOptions() },
      stdio: ['ignore', 'pipe', 'pipe', 'pipe'],
    });
    const channel = child.stdio[3];
    const result = { messages: [], stdout: '', stderr: '', reportAtMs: -1, peakAtReportKb: -1, writtenAtMs: -1 };
    let received = '';
    channel.on('data', (chunk) => {
      received += chunk.toString('utf8');
      let end;
      while ((end = received.indexOf('\n')) >= 0) {
        const message = JSON.parse(received.slice(0, end));
        received = received.slice(end + 1);
        result.messages.push(message);
        if (message.bench !== undefined && result.reportAtMs < 0) {
          result.reportAtMs = elapsedMs();
          result.peakAtReportKb = peakResidentKb(child.pid);
        }
      }
    });
    // The child closes its end after the report; writes still queued then fail.
    channel.on('error', () => {});
    child.stdout.on('data', (chunk) => { result.stdout += chunk; });
    child.stderr.on('data', (chunk) => { result.stderr += chunk; });
    child.on('error', reject);
    child.on('exit', (code, signal) => {
      result.code = code;
      result.signal = signal;
      result.exitAtMs = elapsedMs();
      resolve(result);
    });

    // Full speed: hand every line over at once; the socket drains as the
    // child reads, and the write callback of the last one says all went out.
    if (lines.length === 0) return;
    const all = Buffer.concat(lines.map((line) => line.bytes));
    channel.write(all, (error) => { if (!error) result.writtenAtMs = elapsedMs(); });
  });
}

// The counting child's last stdout line: its counters and its own VmHWM.
function childCounts(stdout) {
  const lines = stdout.split('\n').filter((line) => line.startsWith('{'));
  assert.ok(lines.length > 0, `no counts on stdout: ${stdout}`);
  return JSON.parse(lines[lines.length - 1]);
}

// Lengths of the prefixes of `lines` whose counts are exactly `counts`: the
// lines the child handled, if it handled them in order, each once.
function matchingPrefixes(lines, counts) {
  const running = Object.fromEntries(kCounterNames.map((name) => [name, 0]));
  const matches = [];
  const same = () => kCounterNames.every((name) => running[name] === counts[name]);
  if (same()) matches.push(0);
  lines.forEach((line, index) => {
    for (const [name, value] of Object.entries(line.counts)) running[name] += value;
    if (same()) matches.push(index + 1);
  });
  return matches;
}

function assertReport(result) {
  assert.strictEqual(result.code, 0, result.stderr + result.stdout);
  const reports = result.messages.filter((m) => m.bench !== undefined);
  assert.strictEqual(reports.length, 1);
  const cases = [...reports[0].bench[1], ...reports[0].bench[2][1]];
  assert.strictEqual(cases.length, 8);
  for (const c of cases) assert.strictEqual(c['bench-pass'], true, JSON.stringify(c));
}

test('a flood of commands during the benchmark: each one handled counted once, report sent, memory flat', async (t) => {
  const { lines, tooLong, malformed } = makeLines();

  const quiet = await runChild(t, []);
  assertReport(quiet);
  const quietCounts = childCounts(quiet.stdout);
  for (const name of kCounterNames) assert.strictEqual(quietCounts[name], 0, name);

  const loaded = await runChild(t, lines);
  assertReport(loaded);
  const counts = childCounts(loaded.stdout);
  const prefixes = matchingPrefixes(lines, counts);
  t.diagnostic(`handled before the report: ${prefixes.length ? prefixes[prefixes.length - 1] : 'no prefix'} ` +
    `of the ${lines.length} lines`);

  const bytes = lines.reduce((sum, line) => sum + line.bytes.length, 0);
  // The child's own VmHWM at exit is the peak of the whole run; the reading
  // at the report can miss a child that exits before the parent looks.
  const quietPeakKb = quietCounts['vmhwm-kb'];
  const loadedPeakKb = counts['vmhwm-kb'];
  const growthKb = loadedPeakKb - quietPeakKb;
  t.diagnostic(`${kLineCount} lines (${(bytes / 1048576).toFixed(1)} MiB): ${kLineCount - tooLong - malformed} valid, ` +
    `${malformed} malformed, ${tooLong} over-long; written by ${loaded.writtenAtMs.toFixed(0)} ms`);
  t.diagnostic(`report at ${quiet.reportAtMs.toFixed(0)} ms quiet, ${loaded.reportAtMs.toFixed(0)} ms loaded`);
  t.diagnostic(`VmHWM at report: ${quiet.peakAtReportKb} kB quiet, ${loaded.peakAtReportKb} kB loaded ` +
    `(at exit ${quietCounts['vmhwm-kb']} / ${counts['vmhwm-kb']} kB)`);
  // The child stops reading once the report is out, so lines still in the
  // socket then are never handled. Those it did handle must be a prefix of
  // what was sent, each valid command in it counted exactly once: any lost,
  // doubled or invented count leaves no prefix with these counts.
  assert.ok(prefixes.length > 0, `counts ${JSON.stringify(counts)} match no prefix of the lines sent`);
  assert.ok(prefixes[prefixes.length - 1] > 0, 'the flood did not reach the child during the run');
  assert.ok(quietPeakKb > 0 && loadedPeakKb > 0, 'peak memory unreadable');
  // The child keeps at most one partial line; the flood may cost allocator
  // slack, not a share of what was sent or handled (several MiB here).
  const allowedKb = Math.max(4 * 1024, quietPeakKb / 10);
  assert.ok(growthKb < allowedKb, `peak grew by ${growthKb} kB under load (allowed ${allowedKb} kB)`);
});
