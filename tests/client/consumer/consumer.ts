// A strict TypeScript user of the package, as a CommonJS module: compiled
// with tsc --strict --noEmit, never run. Each @ts-expect-error is a mistake
// the declarations must catch.
import { runBenchmark, probeCapabilities, isBenchError, formatCapabilities } from 'tarsel-bench-client';
import type { BenchResultWithCapabilities, Capabilities, DecoderProfile } from 'tarsel-bench-client';

export async function main(program: string): Promise<string[]> {
  const lines: string[] = [];
  const controller = new AbortController();
  try {
    const result = await runBenchmark({ program, signal: controller.signal, timeoutMs: 0, onSpawn: (pid) => lines.push(`${pid}`) });
    if (result.decoder.found) lines.push(result.decoder.adapter.description);
    else lines.push(result.decoder.reason);
    // @ts-expect-error: without the flag checked the adapter may be null
    lines.push(result.decoder.adapter.description);
    // @ts-expect-error: capabilities come only when asked for
    lines.push(`${result.capabilities.adapters.length}`);

    const withCapabilities: BenchResultWithCapabilities = await runBenchmark({ program, capabilities: true, stdio: 'ignore' });
    for (const adapter of withCapabilities.capabilities.adapters) {
      // @ts-expect-error: an adapter without video has no profiles
      lines.push(`${adapter.video.profiles.length}`);
      if (adapter.video === null) lines.push(adapter.reason);
      else adapter.video.profiles.forEach((profile: DecoderProfile) => lines.push(`${profile.codec ?? '-'} ${profile.maxSize?.width ?? 0}`));
    }
    const probed: Capabilities = await probeCapabilities({ program, cwd: '.' });
    lines.push(formatCapabilities(probed));
  } catch (error) {
    if (!isBenchError(error)) throw error;
    switch (error.code) {
      case 'TARSEL_EXIT_STATUS': {
        const status: number = error.exitCode;
        lines.push(`${status}`);
        break;
      }
      case 'TARSEL_SIGNAL': {
        const signal: string = error.signal;
        lines.push(signal);
        break;
      }
      case 'ENOENT':
      case 'EACCES':
      case 'ENOTDIR':
        lines.push(`${error.which} ${error.path} ${error.cause.message}`);
        break;
      case 'ETIMEDOUT': {
        const timedOut: true = error.timedOut;
        lines.push(`${timedOut}`);
        break;
      }
      case 'ABORT_ERR':
        lines.push(error.name);
        break;
      default:
        // @ts-expect-error: only a path error says which path
        lines.push(error.which);
        lines.push(error.stderr);
    }
  }
  // @ts-expect-error: the time limit is a number
  void runBenchmark({ program, timeoutMs: '5' });
  // @ts-expect-error: the program is required
  void probeCapabilities({ cwd: '.' });
  return lines;
}
