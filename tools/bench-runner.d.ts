// Types of bench-runner.js for Node.js parents written in TypeScript.

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

export interface DecoderAdapter {
  index: number;
  description: string;
  vendorId: number;
  deviceId: number;
  /** The log message the adapter was read from. */
  logged: string;
}

/** Which decoder the run used, read from this run's lines of tarsel.log. */
export interface DecoderInfo {
  found: boolean;
  adapter: DecoderAdapter | null;
  /** Why no decoder was used, as the log gives it; null when one was found. */
  reason: string | null;
  /** One line for people: "decoder: ..." */
  line: string;
}

export interface BenchResult {
  report: BenchReport;
  rows: BenchRow[];
  decoder: DecoderInfo;
}

export interface RunBenchmarkOptions {
  /** Path of the program. */
  program: string;
  /** Working directory: holds data/ and receives tarsel.log. Default: process.cwd(). */
  cwd?: string;
  /** The program is killed and the promise rejected after this long. Default: 300000. */
  timeoutMs?: number;
  /** Where the program's stdout and stderr go. Default: 'inherit'. */
  stdio?: 'inherit' | 'ignore';
}

/**
 * Runs the program as a child with an IPC channel and resolves once it has
 * sent its report and exited with status 0; rejects with an Error saying why
 * otherwise (cannot start, exit status, signal, no report, time limit).
 */
export function runBenchmark(options: RunBenchmarkOptions): Promise<BenchResult>;

/** The report's cases as rows, H.264 then H.265; throws on a malformed report. */
export function reportRows(report: unknown): BenchRow[];

/** The rows as a text table; with bars, one per passed row scaled to the fastest. */
export function formatTable(rows: BenchRow[], options?: { bars?: boolean }): string;

/** Log messages ({ level, text }) of tarsel.log text. */
export function logMessages(logText: string): { level: string; text: string }[];

/** The decoder a run used, from that run's log messages. */
export function decoderFromLog(messages: { level: string; text: string }[]): DecoderInfo;
