// A strict TypeScript user of the package, as a CommonJS module: compiled
// with tsc --strict --noEmit, never run. Each @ts-expect-error is a mistake
// the declarations must catch.
import { runBenchmark, probeCapabilities, isBenchError, formatCapabilities, BenchError, checkResults } from 'tarsel-bench-client';
import type { ProgressMessage, BenchResults, BenchCaseResult } from 'tarsel-bench-client';

// What a user does with the results: times of the passed cases, reasons of the failed ones.
function describeCase(item: BenchCaseResult): string {
  // @ts-expect-error: the median is null for a case without samples
  const perFrame: number = item.medianUs / item.frames;
  void perFrame;
  // @ts-expect-error: only a failed case has a reason
  void item.reason.length;
  if (!item.pass) return `${item.codec} ${item.width}x${item.height}: ${item.reason}`;
  const latency = item.latencyUs === null ? '-' : item.latencyUs.p95.toFixed();
  return `${item.medianUs ?? '-'} ${latency} ${item.realTime['60'] ? 'real time' : ''} ${item.samplesUs.length}`;
}

function describeResults({ schemaVersion, context, cases }: BenchResults): string[] {
  const data = context.data.checked ? context.data.manifestSha256 : 'unchecked';
  // @ts-expect-error: an unchecked data set has no manifest hash
  void context.data.manifestSha256;
  // @ts-expect-error: the adapter is null when none could be used
  void context.adapter.description;
  const timing: 'simulated-host' | 'hardware' = context.timing;
  return [`${schemaVersion} ${context.program.version} ${context.os.build ?? context.os.release} ${data} ${timing}`,
    `${context.settings.repeat}x${context.settings.warmup}`, ...cases.map(describeCase)];
}

export async function main(program: string, lines: string[]): Promise<void> {
  try {
    const result = await runBenchmark({ program, signal: new AbortController().signal, timeoutMs: 0, onSpawn: (pid) => pid });
    lines.push(result.decoder.found ? result.decoder.adapter.description : result.decoder.reason);
    // @ts-expect-error: without the flag checked the adapter may be null
    lines.push(result.decoder.adapter.description);
    // @ts-expect-error: capabilities come only when asked for
    lines.push(result.capabilities);
    const { capabilities } = await runBenchmark({ program, capabilities: true, stdio: 'ignore' });
    for (const adapter of capabilities.adapters) {
      // @ts-expect-error: an adapter without video has no profiles
      lines.push(adapter.video.profiles[0].guid);
      if (adapter.video === null) lines.push(adapter.reason);
      else lines.push(...adapter.video.profiles.map((profile) => `${profile.codec ?? '-'} ${profile.maxSize?.width ?? 0}`));
    }
    lines.push(formatCapabilities(await probeCapabilities({ program, cwd: '.' })));
    // Each option that asks for the results gives a result with them.
    const progress: ProgressMessage[] = [];
    lines.push(...describeResults((await runBenchmark({ program, results: true })).results));
    lines.push(...describeResults((await runBenchmark({ program, repeat: 5, warmup: 1 })).results));
    const tracked = await runBenchmark({ program, capabilities: true,
      onProgress: (message) => progress.push(message) });
    lines.push(`${tracked.capabilities.adapters.length} ${tracked.results.cases.length}`,
      ...progress.map(({ codec, index, count, pass }) => `${codec} ${index}/${count} ${pass}`));
    // @ts-expect-error: results come only when asked for
    lines.push(...describeResults((await runBenchmark({ program, results: false })).results));
    lines.push(...describeResults(checkResults(JSON.parse('{}'))));
  } catch (error) {
    if (error instanceof BenchError && error.code === 'TARSEL_BAD_REPORT') lines.push(error.cause.message);
    if (!isBenchError(error)) throw error;
    if (error.code === 'TARSEL_EXIT_STATUS') lines.push(error.exitCode.toFixed());
    else if (error.code === 'TARSEL_SIGNAL') lines.push(error.signal.toLowerCase());
    else if (error.code === 'ENOENT' || error.code === 'EACCES') lines.push(`${error.which} ${error.path} ${error.cause.message}`);
    // @ts-expect-error: only a path error says which path
    else lines.push(error.which, error.stderr);
  }
  // @ts-expect-error: the time limit is a number
  void runBenchmark({ program, timeoutMs: '5' });
  // @ts-expect-error: the repeat count is a number
  void runBenchmark({ program, repeat: '5' });
  // @ts-expect-error: a progress message is an object, not a number
  void runBenchmark({ program, onProgress: (message: number) => message });
}
