// The module for `import`: the same functions as for `require`.
import runner from './bench-runner.js';

export const {
  runBenchmark, probeCapabilities, isBenchError,
  reportRows, formatTable, formatCapabilities, decoderFromCapabilities,
} = runner;
