// A strict TypeScript user of the package, as a CommonJS module: compiled
// with tsc --strict --noEmit, never run. Each @ts-expect-error is a mistake
// the declarations must catch.
import { runBenchmark, probeCapabilities, isBenchError, formatCapabilities, BenchError } from 'tarsel-bench-client';
import type { BenchResults, BenchCaseResult } from 'tarsel-bench-client';

function describeCase(item: BenchCaseResult): string {
  // @ts-expect-error: the median is null for a case without samples
  void (item.medianUs / item.frames);
  if (!item.pass) return `${item.codec} ${item.width}x${item.height}: ${item.reason}`;
  return `${item.medianUs ?? '-'} ${item.latencyUs?.p95 ?? '-'} ${item.realTime['60']} ${item.samplesUs.length}`;
}

function describeResults({ context, cases }: BenchResults): string[] {
  // @ts-expect-error: an unchecked data set has no manifest hash
  void context.data.manifestSha256;
  const timing: 'simulated-host' | 'hardware' = context.timing;
  return [`${context.data.checked ? context.data.manifestSha256 : '-'} ${timing}`, ...cases.map(describeCase)];
}

export async function main(program: string, lines: string[]): Promise<void> {
  try {
    const result = await runBenchmark({ program, signal: new AbortController().signal, timeoutMs: 0 });
    lines.push(result.decoder.found ? result.decoder.adapter.description : result.decoder.reason);
    // @ts-expect-error: capabilities come only when asked for
    lines.push(result.capabilities);
    const { capabilities } = await runBenchmark({ program, capabilities: true, stdio: 'ignore' });
    for (const adapter of capabilities.adapters) lines.push(adapter.video === null ? adapter.reason : adapter.video.profiles[0].guid);
    lines.push(formatCapabilities(await probeCapabilities({ program, cwd: '.' })));
    lines.push(...describeResults((await runBenchmark({ program, repeat: 5, onProgress: ({ index }) => index })).results));
    // @ts-expect-error: results come only when asked for
    lines.push(...describeResults((await runBenchmark({ program, results: false })).results));
    const every = await runBenchmark({ program, allAdapters: true });
    lines.push(...every.adapterResults.flatMap(describeResults), ...every.adapters.skipped.map(({ reason }) => reason));
    // @ts-expect-error: one adapter's run has no results per adapter
    void (await runBenchmark({ program, adapter: '0x0000000000005678', repeat: 3 })).adapterResults;
  } catch (error) {
    if (error instanceof BenchError && error.code === 'TARSEL_BAD_REPORT') lines.push(error.cause.message);
    if (!isBenchError(error)) throw error;
    if (error.code === 'TARSEL_EXIT_STATUS') lines.push(error.exitCode.toFixed());
    else if (error.code === 'ENOENT' || error.code === 'EACCES') lines.push(`${error.which} ${error.path}`);
    // @ts-expect-error: only a path error says which path
    else lines.push(error.which);
  }
  // @ts-expect-error: the time limit is a number
  void runBenchmark({ program, timeoutMs: '5' });
}
