'use strict';
// The few statistics the command line needs over a case's recorded passes:
// median and percentiles, and the Mann-Whitney U test that tells whether two
// runs of a case differ by more than their noise.

function sortedCopy(values) {
  return Float64Array.from(values).sort();
}

// The p-th percentile (0..100) by linear interpolation between the two
// nearest ranks, the usual spreadsheet and R default; null for no values.
function percentile(values, p) {
  if (!(p >= 0 && p <= 100)) throw new RangeError(`a percentile runs from 0 to 100; received ${p}`);
  if (values.length === 0) return null;
  const sorted = sortedCopy(values);
  const position = (sorted.length - 1) * p / 100;
  const below = Math.floor(position);
  const above = Math.min(below + 1, sorted.length - 1);
  return sorted[below] + (sorted[above] - sorted[below]) * (position - below);
}

const median = (values) => percentile(values, 50);

// Ranks from 1 over both samples, tied values taking the mean of their
// ranks; also the sizes of the groups of ties, for the variance.
function rankSamples(x, y) {
  const all = [...x.map((value) => ({ value, first: true })), ...y.map((value) => ({ value, first: false }))];
  all.sort((a, b) => a.value - b.value);
  let firstRankSum = 0;
  const tieSizes = [];
  for (let start = 0; start < all.length;) {
    let end = start + 1;
    while (end < all.length && all[end].value === all[start].value) ++end;
    const rank = (start + 1 + end) / 2;
    for (let i = start; i < end; ++i) if (all[i].first) firstRankSum += rank;
    if (end - start > 1) tieSizes.push(end - start);
    start = end;
  }
  return { firstRankSum, tieSizes };
}

// P(U <= u) under the null hypothesis for samples of m and n values without
// ties. Built up from p(m, n, u) = m/(m+n) p(m-1, n, u-n) + n/(m+n) p(m, n-1, u)
// (the largest value belongs to one sample or the other): only sums of
// positive terms, so no counts overflow and nothing cancels.
function exactLowerTail(m, n, u) {
  // previous[j]: the distribution for (i-1, j); current[j]: for (i, j).
  let previous = Array.from({ length: n + 1 }, () => Float64Array.of(1));
  for (let i = 1; i <= m; ++i) {
    const current = [Float64Array.of(1)];
    for (let j = 1; j <= n; ++j) {
      const next = new Float64Array(i * j + 1);
      const fromFirst = previous[j];
      const fromSecond = current[j - 1];
      for (let k = 0; k < fromFirst.length; ++k) next[k + j] += fromFirst[k] * i / (i + j);
      for (let k = 0; k < fromSecond.length; ++k) next[k] += fromSecond[k] * j / (i + j);
      current.push(next);
    }
    previous = current;
  }
  let tail = 0;
  const distribution = previous[n];
  for (let k = 0; k <= Math.min(u, distribution.length - 1); ++k) tail += distribution[k];
  return tail;
}

// The complementary error function, by the Chebyshev fit of Numerical
// Recipes (relative error below 1.2e-7 everywhere): plenty for a p-value.
function erfc(x) {
  const z = Math.abs(x);
  const t = 1 / (1 + 0.5 * z);
  const value = t * Math.exp(-z * z - 1.26551223 + t * (1.00002368 + t * (0.37409196 + t * (0.09678418 +
    t * (-0.18628806 + t * (0.27886807 + t * (-1.13520398 + t * (1.48851587 + t * (-0.82215223 + t * 0.17087277)))))))));
  return x >= 0 ? value : 2 - value;
}

// The exact distribution's cost grows with (m n)^2; beyond this size the
// normal approximation is as good as exact anyway.
const kExactLargestSample = 40;

// Two-sided Mann-Whitney U test of x against y. Exact for small samples
// without ties, otherwise the normal approximation with the tie correction
// of the variance and a continuity correction. Returns { u (for x), p,
// method, greater: whether x tends to the larger values }.
function mannWhitneyU(x, y, { method = 'auto' } = {}) {
  const m = x.length;
  const n = y.length;
  if (m === 0 || n === 0) throw new RangeError('the Mann-Whitney U test needs at least one value in each sample');
  for (const value of [...x, ...y]) {
    if (!Number.isFinite(value)) throw new RangeError(`the Mann-Whitney U test takes finite numbers; received ${value}`);
  }
  const { firstRankSum, tieSizes } = rankSamples(x, y);
  const u = firstRankSum - m * (m + 1) / 2;
  const mean = m * n / 2;
  const greater = u > mean;
  const exact = method === 'exact' || method === 'auto' && tieSizes.length === 0 &&
    m <= kExactLargestSample && n <= kExactLargestSample;
  if (exact) {
    if (tieSizes.length > 0) throw new RangeError('the exact Mann-Whitney distribution does not hold with ties');
    const smaller = Math.min(u, m * n - u);
    return { u, p: Math.min(1, 2 * exactLowerTail(m, n, smaller)), method: 'exact', greater };
  }
  const total = m + n;
  const tieTerm = tieSizes.reduce((sum, t) => sum + t * t * t - t, 0) / (total * (total - 1));
  const variance = m * n / 12 * (total + 1 - tieTerm);
  // Every value the same: nothing tells the samples apart.
  if (!(variance > 0)) return { u, p: 1, method: 'normal', greater };
  const z = Math.max(0, Math.abs(u - mean) - 0.5) / Math.sqrt(variance);
  return { u, p: Math.min(1, erfc(z / Math.SQRT2)), method: 'normal', greater };
}

module.exports = { percentile, median, mannWhitneyU };
