'use strict';
// The client as its users get it: packed with npm pack, installed into an
// empty project (offline: the package has no dependencies) and used by name
// through require, import and npx, against the real program; the README's
// example run as written, against a stand-in; and its declarations compiled
// with tsc --strict on a consumer.
const test = require('node:test');
const assert = require('node:assert');
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const { makeStandIn } = require('./stand-in');
const { makeResults, resultsBody } = require('./results-fixture');
const { program, sourceDir, makeWorkDir } = require('../e2e/harness');

const clientDir = path.join(sourceDir, 'client');
const kName = 'tarsel-bench-client';

const npm = (args, cwd) => execFileSync('npm', [...args, '--offline', '--no-audit', '--no-fund', '--loglevel=error'],
  { cwd, encoding: 'utf8', env: { ...process.env, npm_config_update_notifier: 'false' } });
const node = (args, cwd) => execFileSync(process.execPath, args, { cwd, encoding: 'utf8' });

const tsc = path.join(clientDir, 'node_modules', 'typescript', 'bin', 'tsc');

test('the packed tarball, installed into an empty project', async (t) => {
  // The tarball installed by path, and a working directory with the data set linked in.
  const scratch = makeWorkDir(t, { withData: false });
  const tarball = npm(['pack', '--pack-destination', scratch], clientDir).trim().split('\n').pop();
  fs.writeFileSync(path.join(scratch, 'package.json'), JSON.stringify({ name: 'scratch', version: '1.0.0', private: true }));
  npm(['install', path.join(scratch, tarball)], scratch);
  fs.mkdirSync(path.join(scratch, 'work'));
  fs.symlinkSync(path.join(sourceDir, 'data'), path.join(scratch, 'work', 'data'));

  await t.test('require, import and npx use it by name', () => {
    const output = node(['-e', `require('${kName}').runBenchmark({ program: process.argv[1], cwd: 'work', stdio: 'ignore' })
      .then((r) => console.log(JSON.stringify([r.rows.filter((row) => row.pass).length, r.decoder.found])))`, program], scratch);
    assert.deepStrictEqual(JSON.parse(output), [8, true]);
    // Through import: the program's own folder, the default working directory, holds no data/.
    const imported = node(['--input-type=module', '-e', `import bench, { runBenchmark, BenchError } from '${kName}';
      const error = await runBenchmark({ program: process.argv[1] }).catch((e) => e);
      console.log(JSON.stringify([error instanceof BenchError, bench.isBenchError(error), error.code]));`, program], scratch);
    assert.deepStrictEqual(JSON.parse(imported), [true, true, 'TARSEL_NO_DATA']);
    const help = execFileSync('npx', ['--offline', kName, '--help'], { cwd: scratch, encoding: 'utf8' });
    assert.match(help, new RegExp(`^usage: ${kName} --program PATH`));
  });

  await t.test('the README\'s example runs as written, by require and by import', (st) => {
    // The JavaScript example of the README's section on the package.
    const section = /\n## The client package\n([^]*?)\n## /.exec(fs.readFileSync(path.join(sourceDir, 'README.md'), 'utf8'));
    const example = /\n```js\n([^]*?)\n```\n/.exec(section[1])[1];
    const imported = example.replace(/^const (.*) = require\(('[^']+')\);$/m, 'import $1 from $2;');
    assert.notStrictEqual(imported, example, 'the example requires the package on a line of its own');
    const standIn = makeStandIn(st, resultsBody(makeResults()));
    const kInstalledPath = '/opt/app/bench/tarsel-bench';
    for (const [file, text] of [['example.js', example], ['example.mjs', imported]]) {
      // As written: no program at its path; then with the stand-in there.
      fs.writeFileSync(path.join(scratch, file), text);
      assert.strictEqual(node([file], scratch), `not installed: ${kInstalledPath}\n`, file);
      fs.writeFileSync(path.join(scratch, file), text.replace(kInstalledPath, standIn.program));
      assert.match(node([file], scratch), /^1 of 8 cases done\n[^]*\n8 of 8 cases done\nIntegrated GPU \[\n[^]*'3840x2160'[^]*codec: 'h265'/, file);
    }
  });

  await t.test('a strict TypeScript consumer compiles against its declarations, by require and by import',
    { skip: !fs.existsSync(tsc) && 'TypeScript is not installed (npm ci in client/)' }, () => {
      for (const file of ['consumer.ts', 'consumer.mts']) fs.copyFileSync(path.join(__dirname, 'consumer', file), path.join(scratch, file));
      const flags = ['--strict', '--noEmit', '--module', 'nodenext', '--target', 'es2022', '--lib', 'es2022,dom'];
      node([tsc, ...flags, 'consumer.ts', 'consumer.mts'], scratch); // throws with tsc's errors in its stdout
    });
});
