// Types of tarsel-bench-client for Node.js parents written in TypeScript.

/** The program's one report line, as it sent it. */
export interface BenchReport {
  bench: [
    'h264',
    BenchCaseReport[],
    ['h265', BenchCaseReport[]],
  ];
}

export interface BenchCaseReport {
  width: number;
  height: number;
  'bench-pass': boolean;
  /** Microseconds the case took. */
  'bench-time': number;
  'bench-frame': number;
}

export interface BenchRow {
  codec: 'h264' | 'h265';
  /** "<width>x<height>" */
  size: string;
  pass: boolean;
  timeUs: number;
  frames: number;
  /** null when the case failed or took no measurable time. */
  framesPerSecond: number | null;
}

/** A decoder profile an adapter reports, in the driver's order. */
export interface DecoderProfile {
  /** Braced upper-case GUID text. */
  guid: string;
  /** The profile's name, null for one the program does not know. */
  name: string | null;
  codec: 'h264' | 'hevc' | 'vp9' | 'av1' | 'mpeg2' | 'vc1' | (string & {}) | null;
  /** Bits per sample: from the profile's name, else the deepest of its formats; absent when neither tells. */
  bitDepth?: number;
  /** "4:2:0", "4:2:2", "4:4:4", ...: from the profile's name, else the widest of its formats; absent when neither tells. */
  chroma?: string;
  /** Output formats the driver accepts: "NV12", "P010", ... */
  formats: string[];
  /** The largest size a decoder could be created at; null when none. */
  maxSize: { width: number; height: number } | null;
  /** false where the driver says decoding is not real-time at maxSize; absent where it cannot tell. */
  realTime?: boolean;
}

interface CapabilityAdapterBase {
  index: number;
  description: string;
  vendorId: number;
  deviceId: number;
  subSysId: number;
  revision: number;
  dedicatedVideoMemory: number;
  /** Hex text. */
  luid: string;
  /** The user-mode driver's version "a.b.c.d"; null when the adapter does not say. */
  driverVersion: string | null;
  /** The display driver's date "YYYY-MM-DD"; null when the system does not say (always, outside Windows). */
  driverDate: string | null;
  /** The simulated video device, no hardware: its driver version is its own. */
  simulated: boolean;
  /** A software adapter (no hardware). */
  software: boolean;
  /** The adapter the benchmark decodes on. */
  benchmark: boolean;
}

/** An adapter: with its decoder profiles, or with the reason it has no video device. */
export type CapabilityAdapter = CapabilityAdapterBase & (
  | { video: { profiles: DecoderProfile[] } }
  | { video: null; /** The failing call and its result. */ reason: string }
);

/** The value of the program's capability message, {"capabilities": ...}. */
export interface Capabilities {
  /** Every adapter in enumeration order; empty when the factory failed. */
  adapters: CapabilityAdapter[];
  /** Why there are no adapters, when the factory failed. */
  reason?: string;
}

export interface DecoderAdapter {
  index: number;
  description: string;
  vendorId: number;
  deviceId: number;
  software: boolean;
}

/** Which decoder the run used. */
export type DecoderInfo =
  | { found: true; adapter: DecoderAdapter; reason: null; /** One line for people: "decoder: ..." */ line: string }
  | { found: false; adapter: null; /** Why no decoder was used. */ reason: string; line: string };

export interface BenchResult {
  report: BenchReport;
  rows: BenchRow[];
  decoder: DecoderInfo;
}

export interface BenchResultWithCapabilities extends BenchResult {
  capabilities: Capabilities;
}

/** What a run asked for results (results, repeat, warmup or onProgress) resolves with besides. */
export interface BenchResultWithResults extends BenchResult {
  /** The results of the adapter the run used (with allAdapters, the rule's adapter's). */
  results: BenchResults;
}

/** What a run on every adapter (allAdapters) resolves with besides. */
export interface BenchResultOfAllAdapters extends BenchResultWithResults {
  adapters: AdaptersMessage;
  /** One results per adapter measured, in enumeration order. */
  adapterResults: BenchResults[];
}

/** The value of one of the program's progress messages, sent as each case finishes. */
export interface ProgressMessage {
  codec: 'h264' | 'h265';
  width: number;
  height: number;
  pass: boolean;
  /** How many cases have finished, from 1 (of every adapter, in a run on all of them). */
  index: number;
  /** How many cases the run has. */
  count: number;
  /** In a run on every adapter, the index of the adapter the case ran on. */
  adapter?: number;
}

/** The program that ran. */
export interface ResultsProgram {
  name: string;
  version: string;
  commit: string;
  buildType: string;
  compiler: string;
}

/** The operating system: Linux, or Windows (with wine under Wine). */
export interface ResultsOs {
  name: 'Linux' | 'Windows' | (string & {});
  /** null where the system does not say. */
  release: string | null;
  /** Windows's build number; null elsewhere. */
  build: number | null;
  description: string | null;
  /** Wine's version when the Windows program runs under Wine. */
  wine?: string;
}

/** The adapter the benchmark decoded on: its identity as the capability message gives it, and its driver. */
export type ResultsAdapter = Omit<CapabilityAdapterBase, 'dedicatedVideoMemory' | 'software' | 'benchmark'> & {
  /** The adapter the program takes by its own rule (absent from older programs). */
  benchmark?: boolean;
};

/** An adapter a run on every adapter did not measure, and why. */
export type SkippedAdapter = Omit<CapabilityAdapterBase, 'dedicatedVideoMemory' | 'software' | 'benchmark'> & {
  reason: string;
};

/** The program's adapters message of a run on every adapter. */
export interface AdaptersMessage {
  /** The index of the adapter the program takes by its own rule; null when none can run the benchmark. */
  benchmark: number | null;
  /** The indices of the adapters measured, in enumeration order, one results each. */
  measured: number[];
  skipped: SkippedAdapter[];
}

/** The machine and settings a run's times belong to. */
export interface ResultsContext {
  program: ResultsProgram;
  os: ResultsOs;
  /** benchmarkProcessor: the logical processor the measured run was held on; null where it could not be. */
  cpu: { model: string; logicalCores: number | null; benchmarkProcessor: number | null };
  memory: { totalBytes: number };
  /** null when no adapter could be used. */
  adapter: ResultsAdapter | null;
  /** A run over a user's stream: the file, as the program was given it. */
  stream?: { path: string };
  /** When the run's results were put together, at its end: ISO 8601 UTC text. */
  time: string;
  /** Whether data/ was checked against its SHA256SUMS, with the manifest's own hash and the check's time. */
  /** error: why a data/SHA256SUMS there could not be read (every case then fails with it). */
  data: { checked: true; manifestSha256: string; checkUs: number } | { checked: false; error?: string };
  settings: { repeat: number; warmup: number };
  /** simulated-host: the host side of the work on the simulated device, no hardware decode time. */
  timing: 'simulated-host' | 'hardware';
  /** Present with simulated-host timing. */
  timingNote?: string;
  /** The simulated decode time per frame, when that test setting is on. */
  simulatedDecodeUs?: number;
}

interface BenchCaseResultBase {
  codec: 'h264' | 'h265';
  width: number;
  height: number;
  frames: number;
  /** Microseconds, like every time here unless named otherwise. */
  setupUs: number;
  /** One time per recorded pass that completed; may be empty for a failed case. */
  samplesUs: number[];
  /** The summary of samplesUs: null when it is empty. */
  minUs: number | null;
  medianUs: number | null;
  p95Us: number | null;
  meanUs: number | null;
  /** Coefficient of variation (standard deviation over mean). */
  cv: number | null;
  /** null when the latency pass did not run or failed. */
  latencyUs: { median: number; p95: number; max: number } | null;
  /** Per frame rate: medianUs / frames and the p95 latency both within 1e6 / rate µs; all false for a failed case. */
  realTime: { '30': boolean; '60': boolean; '120': boolean };
}

/** A case of the results: passed, or failed with the first error line that failed it. */
export type BenchCaseResult = BenchCaseResultBase & ({ pass: true } | { pass: false; reason: string });

/** The value of the program's results message, {"results": ...}, schema version 1. */
export interface BenchResults {
  schemaVersion: number;
  context: ResultsContext;
  /** One per case of the report, in its order: H.264 then H.265 at 1280x720, 1920x1080, 2560x1440, 3840x2160. */
  cases: BenchCaseResult[];
}

/** What the options need of an AbortSignal; Node's and the DOM's both fit. */
export interface AbortSignalLike {
  readonly aborted: boolean;
  readonly reason?: any;
  addEventListener(type: 'abort', listener: () => void, options?: { once?: boolean }): void;
  removeEventListener(type: 'abort', listener: () => void): void;
}

export interface RunOptions {
  /** Path of the program (taken from this process's directory), or a name looked up in PATH. */
  program: string;
  /** Working directory: holds data/ and receives tarsel.log. Default: the program's own folder. */
  cwd?: string;
  /** The program is stopped and the promise rejected (ETIMEDOUT) after this long; 0 or Infinity: no limit. Default: 300000. */
  timeoutMs?: number;
  /** Ends the program at once and rejects the promise (ABORT_ERR) when aborted. */
  signal?: AbortSignalLike;
  /** Where the program's standard output and error go; its standard error is kept for errors either way. Default: 'inherit'. */
  stdio?: 'inherit' | 'ignore';
  /** Called with the program's process id once it is started. */
  onSpawn?: (pid: number) => void;
}

export interface RunBenchmarkOptions extends RunOptions {
  /** Also resolve with what every adapter can decode (the program's --capabilities). */
  capabilities?: boolean;
  /** Also resolve with the results message (--results). Implied by repeat, warmup and onProgress; false with them is a TypeError. */
  results?: boolean;
  /** Recorded passes per case, 1 to 100 (--repeat); the program's default is 1. */
  repeat?: number;
  /** Unrecorded passes before them, 0 to 100 (--warmup); the program's default is 0. */
  warmup?: number;
  /** Called as each case finishes (--progress); what it throws ends the run with that error. */
  onProgress?: (progress: ProgressMessage) => void;
  /** Run on this adapter (--adapter): its index, or its LUID text as the capability message gives it. */
  adapter?: number | string;
  /** Run on every adapter that can (--all-adapters); implies results; true with adapter is a TypeError. */
  allAdapters?: boolean;
  /** Run one case over this Annex B file (--stream; taken from this process's directory) instead of the data set; data/ is not needed. */
  stream?: string;
  /** The stream's codec (--codec), where its name (.264, .h264, .265, .h265, .hevc) does not tell it. */
  codec?: 'h264' | 'h265';
}

/** Options that ask for the results. */
export type ResultsOptions =
  | { results: true }
  | { repeat: number }
  | { warmup: number }
  | { onProgress: (progress: ProgressMessage) => void }
  | { allAdapters: true };

interface BenchErrorBase extends Error {
  /** Exit status when the program exited, else null. */
  exitCode: number | null;
  /** The signal that ended the program, else null. */
  signal: string | null;
  timedOut: boolean;
  /** The last lines of the program's standard error. */
  stderr: string;
  cause?: unknown;
}

/** Every rejection of runBenchmark and probeCapabilities; `code` says which. */
export type BenchError = BenchErrorBase & (
  /** The program or the working directory (`which`) cannot be used: missing, not a directory, or EACCES for any other reason; cause is the system's error. */
  | { code: 'ENOENT' | 'EACCES' | 'ENOTDIR'; which: 'program' | 'cwd'; path: string; cause: Error }
  /** Cancelled through the signal; cause is the signal's reason. */
  | { code: 'ABORT_ERR'; name: 'AbortError' }
  | { code: 'ETIMEDOUT'; timedOut: true }
  /** Exited with status 0 without the report (or the capability or results message asked for). */
  | { code: 'TARSEL_NO_REPORT'; exitCode: 0 }
  | { code: 'TARSEL_EXIT_STATUS'; exitCode: number }
  | { code: 'TARSEL_SIGNAL'; signal: string }
  /** A message of the wrong shape (report, capabilities, results, progress) or a line that is not JSON; cause says what is wrong. */
  | { code: 'TARSEL_BAD_REPORT'; cause: Error }
  /** The working directory holds no data/ folder; path is where it was looked for. Nothing was started. */
  | { code: 'TARSEL_NO_DATA'; path: string }
  /** The program refused its arguments before timing anything (an adapter it does not have or that cannot decode); the message quotes its reason. */
  | { code: 'TARSEL_BAD_ARGUMENT'; exitCode: number }
);

/** The class of every rejection, for instanceof; its instances are the BenchError union. */
export interface BenchErrorClass {
  new (code: BenchError['code'], message: string, facts?: object): BenchError;
  readonly prototype: BenchError;
}
export declare const BenchError: BenchErrorClass;

/**
 * Runs the program as a child with an IPC channel and resolves once it has
 * sent its report and exited with status 0, or once the time limit has passed
 * with every message asked for in. Throws a TypeError at the call for a bad
 * option; rejects with a BenchError otherwise. No process of the run is left
 * once the promise settles.
 */
export function runBenchmark(options: RunBenchmarkOptions & { capabilities: true } & { allAdapters: true }):
  Promise<BenchResultWithCapabilities & BenchResultOfAllAdapters>;
export function runBenchmark(options: RunBenchmarkOptions & { allAdapters: true }): Promise<BenchResultOfAllAdapters>;
export function runBenchmark(options: RunBenchmarkOptions & { capabilities: true } & ResultsOptions):
  Promise<BenchResultWithCapabilities & BenchResultWithResults>;
export function runBenchmark(options: RunBenchmarkOptions & { capabilities: true }): Promise<BenchResultWithCapabilities>;
export function runBenchmark(options: RunBenchmarkOptions & ResultsOptions): Promise<BenchResultWithResults>;
export function runBenchmark(options: RunBenchmarkOptions): Promise<BenchResult>;

/** What every adapter can decode, from a run with --capabilities-only (nothing decoded, no data/ needed). */
export function probeCapabilities(options: RunOptions): Promise<Capabilities>;

/** Whether a rejection is one of this package's, with its code and facts. */
export function isBenchError(error: unknown): error is BenchError;

/** The report's cases as rows, H.264 then H.265; throws on a malformed report. */
export function reportRows(report: unknown): BenchRow[];

/**
 * A results message's value checked for shape (a saved one, say); with the
 * report's rows, also that its cases are the report's. Returns it; throws an
 * Error saying what is wrong.
 */
export function checkResults(results: unknown, rows?: BenchRow[]): BenchResults;

/** The rows as a text table; with bars, one per passed row scaled to the fastest. */
export function formatTable(rows: BenchRow[], options?: { bars?: boolean }): string;

/** One block of text per adapter: name and ids, software or not, a row per profile. */
export function formatCapabilities(capabilities: Capabilities): string;

/** The decoder a run used: the adapter of that index, else the one the capability message marks as the benchmark's. */
export function decoderFromCapabilities(capabilities: Capabilities, index?: number): DecoderInfo;
