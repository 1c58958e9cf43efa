// A strict TypeScript user of the package, as a CommonJS module: compiled
// with tsc --strict --noEmit, never run. Each @ts-expect-error is a mistake
// the declarations must catch.
import { runBenchmark, probeCapabilities, isBenchError, formatCapabilities } from 'tarsel-bench-client';

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
  } catch (error) {
    if (!isBenchError(error)) throw error;
    if (error.code === 'TARSEL_EXIT_STATUS') lines.push(error.exitCode.toFixed());
    else if (error.code === 'TARSEL_SIGNAL') lines.push(error.signal.toLowerCase());
    else if (error.code === 'ENOENT' || error.code === 'EACCES') lines.push(`${error.which} ${error.path} ${error.cause.message}`);
    // @ts-expect-error: only a path error says which path
    else lines.push(error.which, error.stderr);
  }
  // @ts-expect-error: the time limit is a number
  void runBenchmark({ program, timeoutMs: '5' });
}
