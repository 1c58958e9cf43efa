// Types for `import`: those of the CommonJS module, which it re-exports by
// name and as its default export.
import * as runner from './bench-runner.js';

export * from './bench-runner.js';
export default runner;
