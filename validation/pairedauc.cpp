// Paired DeLong in O(n log n): placement values by binary search in each map's sorted scores.
#include "validation/pairedauc.h"

#include <algorithm>
#include <cmath>

#include "core/numfmt.h"
#include "stats/statistics.h"

namespace karvelo {

PairedScores PairScores(const std::vector<double>& first, const std::vector<double>& second, const std::vector<bool>& isFind) {
  PairedScores out;
  const std::size_t n = std::min({first.size(), second.size(), isFind.size()});
  for (std::size_t i = 0; i < n; ++i) {
    if (std::isnan(first[i]) || std::isnan(second[i])) continue;
    (isFind[i] ? out.finds : out.nonFinds).push_back({first[i], second[i]});
  }
  return out;
}

namespace {

// The share of `sorted` below v, ties counted half.
double ShareBelow(const std::vector<double>& sorted, double v) {
  const auto [lo, hi] = std::equal_range(sorted.begin(), sorted.end(), v);
  return (static_cast<double>(lo - sorted.begin()) + 0.5 * static_cast<double>(hi - lo)) / static_cast<double>(sorted.size());
}

// The covariance matrix (n - 1 in the denominator) of two columns of placement values.
std::array<double, 3> Covariance(const std::vector<std::array<double, 2>>& v) {
  const double n = static_cast<double>(v.size());
  double m0 = 0, m1 = 0;
  for (const auto& x : v) m0 += x[0], m1 += x[1];
  m0 /= n, m1 /= n;
  double s00 = 0, s11 = 0, s01 = 0;
  for (const auto& x : v) {
    s00 += (x[0] - m0) * (x[0] - m0);
    s11 += (x[1] - m1) * (x[1] - m1);
    s01 += (x[0] - m0) * (x[1] - m1);
  }
  return {s00 / (n - 1), s11 / (n - 1), s01 / (n - 1)};
}

}  // namespace

std::optional<PairedAucComparison> ComparePairedAuc(const PairedScores& s) {
  const std::size_t m = s.finds.size(), n = s.nonFinds.size();
  if (m < 2 || n < 2) return std::nullopt;
  std::array<std::vector<double>, 2> findScores, nonFindScores;
  for (int k = 0; k < 2; ++k) {
    for (const auto& f : s.finds) findScores[k].push_back(f[k]);
    for (const auto& x : s.nonFinds) nonFindScores[k].push_back(x[k]);
  }
  PairedAucComparison out;
  out.first = DeLongInterval(GroupScores(findScores[0], nonFindScores[0]));
  out.second = DeLongInterval(GroupScores(findScores[1], nonFindScores[1]));
  for (int k = 0; k < 2; ++k) {
    std::sort(findScores[k].begin(), findScores[k].end());
    std::sort(nonFindScores[k].begin(), nonFindScores[k].end());
  }
  // A find's placement: the share of non-finds it beats; a non-find's: the share of finds that beat it.
  std::vector<std::array<double, 2>> v10(m), v01(n);
  std::array<double, 2> auc{0, 0};
  for (std::size_t i = 0; i < m; ++i) {
    for (int k = 0; k < 2; ++k) {
      v10[i][k] = ShareBelow(nonFindScores[k], s.finds[i][k]);
      auc[k] += v10[i][k] / static_cast<double>(m);
    }
  }
  for (std::size_t j = 0; j < n; ++j) {
    for (int k = 0; k < 2; ++k) v01[j][k] = 1 - ShareBelow(findScores[k], s.nonFinds[j][k]);
  }
  const std::array<double, 3> c10 = Covariance(v10), c01 = Covariance(v01);
  const double variance = (c10[0] + c10[1] - 2 * c10[2]) / static_cast<double>(m) + (c01[0] + c01[1] - 2 * c01[2]) / static_cast<double>(n);
  const double se = std::sqrt(std::max(0.0, variance));
  out.firstAuc = auc[0];
  out.secondAuc = auc[1];
  out.difference = auc[0] - auc[1];
  out.lower = out.difference - kNormal975 * se;
  out.upper = out.difference + kNormal975 * se;
  // Maps that order every pair alike differ by nothing that varies: p is 1 for no difference.
  out.p = se > 0 ? std::min(1.0, 2 * NormalUpperTail(std::fabs(out.difference) / se)) : (out.difference == 0 ? 1 : 0);
  return out;
}

std::string ComparisonLine(const std::string& second, const PairedAucComparison& c) {
  return "Compared with " + second + ": AUC " + FormatFixed(c.firstAuc, 4) + " vs " + FormatFixed(c.secondAuc, 4) +
         ", difference " + FormatFixed(c.difference, 4) + ", 95% CI [" + FormatFixed(c.lower, 4) + ", " + FormatFixed(c.upper, 4) +
         "], p " + FormatFixed(c.p, 4);
}

}  // namespace karvelo
