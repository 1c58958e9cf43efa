'use strict';
// The statistics behind the table and the comparison, against values worked
// out by hand or published with textbook examples.
const test = require('node:test');
const assert = require('node:assert');
const { percentile, median, mannWhitneyU } = require('../../client/stats');

test('percentiles interpolate between the nearest ranks of the values sorted as numbers', () => {
  // Rows: values, percentile, expected.
  const rows = [
    [[50, 10, 40, 20, 30], 95, 48],
    [[1000, 900, 10000], 50, 1000],
  ];
  for (const [values, p, expected] of rows) {
    assert.ok(Math.abs(percentile(values, p) - expected) < 1e-9, `p${p} of ${values}: ${percentile(values, p)}`);
  }
  assert.strictEqual(median([]), null);
  const values = [3, 1, 2];
  median(values);
  assert.deepStrictEqual(values, [3, 1, 2], 'the caller\'s values are left in their order');
  for (const p of [-1, 101, NaN]) assert.throws(() => percentile([1], p), RangeError);
});

test('Mann-Whitney U: the statistic of the first sample and the two-sided p of known examples', () => {
  // Rows: x, y, method, U for x, p, tolerance on p.
  const rows = [
    // Diagnosis ages of five men and four women: U = 17, exact p = 14/126.
    [[19, 22, 16, 29, 24], [20, 11, 17, 12], 'auto', 17, 0.1111111111111111, 1e-12],
    // The same by the normal approximation with the continuity correction.
    [[19, 22, 16, 29, 24], [20, 11, 17, 12], 'normal', 17, 0.1113468865, 1e-7],
    // Ties (three 4s, two 5s): normal approximation with the tie correction, p = 0.518023.
    [[5, 1, 4, 3, 5], [2, 4, 7, -1, 0, 4], 'auto', 19, 0.518023, 1e-6],
    // Every value the same: nothing tells the samples apart.
    [[5, 5, 5], [5, 5], 'auto', 3, 1, 0],
  ];
  for (const [x, y, method, u, p, tolerance] of rows) {
    const result = mannWhitneyU(x, y, { method });
    assert.strictEqual(result.u, u, `U of ${x} against ${y}`);
    assert.ok(Math.abs(result.p - p) <= tolerance, `p of ${x} against ${y} (${method}): ${result.p}, expected ${p}`);
  }
});

test('Mann-Whitney U: the exact tail at moderate sizes, and refused input', () => {
  // The exact distribution agrees with the normal one at moderate sizes.
  const x = Array.from({ length: 30 }, (_, i) => 2 * i);
  const y = Array.from({ length: 30 }, (_, i) => 2 * i + 7);
  assert.ok(Math.abs(mannWhitneyU(x, y).p - mannWhitneyU(x, y, { method: 'normal' }).p) < 0.005);
  assert.throws(() => mannWhitneyU([1, NaN], [1]), RangeError);
  assert.throws(() => mannWhitneyU([1, 2], [2, 3], { method: 'exact' }), /ties/);
});
