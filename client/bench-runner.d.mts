// Types for `import`: those of the CommonJS module, which it re-exports.
export * from './bench-runner.js';
