// The module for `import`: the same functions as for `require`, by name and
// as the default export.
import runner from './bench-runner.js';

export default runner;
export const {
  runBenchmark, probeCapabilities, isBenchError, BenchError,
  reportRows, formatTable, formatCapabilities, decoderFromCapabilities, checkResults,
} = runner;
