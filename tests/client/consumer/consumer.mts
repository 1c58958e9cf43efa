// The same package through `import` from an ES module: by name and by its
// default export.
import { runBenchmark, isBenchError, BenchError } from 'tarsel-bench-client';
import bench from 'tarsel-bench-client';

const result = await runBenchmark({ program: './tarsel-bench', capabilities: true }).catch((error: unknown) => {
  if (isBenchError(error) && error.code === 'TARSEL_NO_DATA') return error.path;
  throw error;
});
if (typeof result !== 'string') console.log(result.capabilities.adapters.length, result.decoder.found && result.decoder.adapter.software);

const tracked = await bench.runBenchmark({ program: './tarsel-bench', warmup: 2, onProgress: ({ index, count }) => console.log(index / count) })
  .catch((error: unknown) => {
    if (error instanceof BenchError && error.code === 'ETIMEDOUT') return error.timedOut;
    throw error;
  });
if (typeof tracked !== 'boolean') console.log(tracked.results.context.cpu.logicalCores, bench.isBenchError(tracked));
