// Chi-squared tests, critical values and the normal and chi-squared distribution functions.
#include "stats/statistics.h"

#include <cmath>
#include <limits>

#include "core/numfmt.h"

namespace karvelo {

namespace {

// P(a, x) by its power series; converges quickly for x < a + 1.
double GammaPSeries(double a, double x) {
  double term = 1.0 / a, sum = term;
  for (int n = 1; n < 10000; ++n) {
    term *= x / (a + n);
    sum += term;
    if (std::fabs(term) < std::fabs(sum) * 1e-16) break;
  }
  return sum * std::exp(-x + a * std::log(x) - std::lgamma(a));
}

// Q(a, x) = 1 - P(a, x) by its continued fraction (modified Lentz); for x >= a + 1, where the
// series would lose the small upper tail to cancellation.
double GammaQFraction(double a, double x) {
  constexpr double tiny = 1e-300;
  double b = x + 1 - a, c = 1 / tiny, d = 1 / b, h = d;
  for (int i = 1; i < 10000; ++i) {
    const double an = -i * (i - a);
    b += 2;
    d = an * d + b;
    if (std::fabs(d) < tiny) d = tiny;
    c = b + an / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1 / d;
    const double delta = d * c;
    h *= delta;
    if (std::fabs(delta - 1) < 1e-16) break;
  }
  return std::exp(-x + a * std::log(x) - std::lgamma(a)) * h;
}

double RegularizedGammaQ(double a, double x) {
  if (!(x > 0)) return 1;
  if (x < a + 1) return 1 - GammaPSeries(a, x);
  return GammaQFraction(a, x);
}

}  // namespace

Significance Chi2Level(double chi2, int df) {
  if (df < 1 || df > kChi2TableMaxDf) return Significance::None;
  const auto& row = kChi2Critical[static_cast<std::size_t>(df - 1)];
  if (chi2 >= row[1]) return Significance::At99;
  if (chi2 >= row[0]) return Significance::At95;
  return Significance::None;
}

GoodnessOfFit GoodnessOfFitTest(std::span<const long long> observed, std::span<const long long> cells) {
  GoodnessOfFit fit;
  long long total = 0, allCells = 0;
  for (std::size_t k = 0; k < observed.size(); ++k) {
    total += observed[k];
    allCells += cells[k];
  }
  double chi2 = 0;
  for (std::size_t k = 0; k < observed.size(); ++k) {
    // Classes without any cell make nothing to expect.
    const double expected =
        allCells > 0 ? RoundHalfEven(static_cast<double>(total) * static_cast<double>(cells[k]) / static_cast<double>(allCells)) : 0;
    if (expected > 0) {
      const double d = static_cast<double>(observed[k]) - expected;
      chi2 += d * d / expected;
    } else {
      fit.classesWithoutExpectation.push_back(static_cast<int>(k) + 1);
    }
  }
  const int df = static_cast<int>(observed.size()) - 1;
  fit.test = {chi2, df, Chi2Level(chi2, df)};
  return fit;
}

Chi2Result EvenSplitTest(long long p, long long q) {
  const double n = static_cast<double>(p + q + 2);
  const double dp = static_cast<double>(p + 1) / n - 0.5;
  const double dq = static_cast<double>(q + 1) / n - 0.5;
  const double chi2 = 2.0 * static_cast<double>(p + q) * (dp * dp + dq * dq);
  return {chi2, 1, Chi2Level(chi2, 1)};
}

ContingencyResult ContingencyTest(const std::vector<std::vector<long long>>& counts) {
  ContingencyResult r;
  std::vector<long long> rowSum, colSum;
  for (const auto& row : counts) {
    if (colSum.size() < row.size()) colSum.resize(row.size(), 0);
    long long s = 0;
    for (std::size_t j = 0; j < row.size(); ++j) {
      s += row[j];
      colSum[j] += row[j];
    }
    rowSum.push_back(s);
  }
  long long total = 0;
  for (long long s : rowSum) total += s;
  std::vector<std::size_t> rows, cols;
  for (std::size_t i = 0; i < rowSum.size(); ++i)
    if (rowSum[i] > 0) rows.push_back(i);
  for (std::size_t j = 0; j < colSum.size(); ++j)
    if (colSum[j] > 0) cols.push_back(j);
  r.rows = static_cast<int>(rows.size());
  r.cols = static_cast<int>(cols.size());
  if (r.rows < 2 || r.cols < 2) return r;
  r.tested = true;
  double chi2 = 0;
  long long small = 0;
  for (std::size_t i : rows) {
    for (std::size_t j : cols) {
      const double expected = static_cast<double>(rowSum[i]) * static_cast<double>(colSum[j]) / static_cast<double>(total);
      const double observed = j < counts[i].size() ? static_cast<double>(counts[i][j]) : 0.0;
      const double d = observed - expected;
      chi2 += d * d / expected;
      small += expected < 5;
    }
  }
  const int df = (r.rows - 1) * (r.cols - 1);
  r.test = {chi2, df, Chi2Level(chi2, df)};
  r.p = Chi2UpperTail(chi2, df);
  r.sparse = static_cast<double>(small) > 0.2 * static_cast<double>(rows.size() * cols.size());
  return r;
}

double NormalCdf(double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); }
double NormalUpperTail(double z) { return 0.5 * std::erfc(z / std::sqrt(2.0)); }

double RegularizedGammaP(double a, double x) {
  if (!(x > 0)) return 0;
  if (x < a + 1) return GammaPSeries(a, x);
  return 1 - GammaQFraction(a, x);
}

double Chi2Cdf(double x, int df) { return df < 1 ? std::numeric_limits<double>::quiet_NaN() : RegularizedGammaP(df / 2.0, x / 2.0); }

double Chi2UpperTail(double x, int df) {
  return df < 1 ? std::numeric_limits<double>::quiet_NaN() : RegularizedGammaQ(df / 2.0, x / 2.0);
}

}  // namespace karvelo
