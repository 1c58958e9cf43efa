// The same package through `import` from an ES module: by name and by its
// default export.
import bench, { runBenchmark, isBenchError } from 'tarsel-bench-client';

const result = await runBenchmark({ program: './tarsel-bench', capabilities: true }).catch((error: unknown) => {
  if (isBenchError(error) && error.code === 'TARSEL_NO_DATA') return error.path;
  throw error;
});
if (typeof result !== 'string') console.log(result.capabilities.adapters.length, bench.isBenchError(result));
