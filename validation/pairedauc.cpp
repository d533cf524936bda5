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

// Each distinct score's placement values: a find there beats the share `find` of the non-finds
// (ties half), and the share `nonFind` of the finds beats a non-find there.
struct Placements {
  std::vector<double> value, find, nonFind;
  double Find(double v) const { return find[Index(v)]; }
  double NonFind(double v) const { return nonFind[Index(v)]; }
  std::size_t Index(double v) const { return static_cast<std::size_t>(std::lower_bound(value.begin(), value.end(), v) - value.begin()); }
};

Placements PlacementsOf(const ScoreGroups& g) {
  Placements p;
  p.value = g.value;
  const double m = static_cast<double>(g.totalFinds), n = static_cast<double>(g.totalNonFinds);
  double findsBelow = 0, nonFindsBelow = 0;
  for (std::size_t i = 0; i < g.value.size(); ++i) {
    const double f = static_cast<double>(g.finds[i]), nf = static_cast<double>(g.nonFinds[i]);
    p.find.push_back((nonFindsBelow + 0.5 * nf) / n);
    p.nonFind.push_back((m - findsBelow - 0.5 * f) / m);
    findsBelow += f;
    nonFindsBelow += nf;
  }
  return p;
}

// The covariance matrix (n - 1 in the denominator) of two columns of placement values:
// (var first, var second, covariance).
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
  PairedAucComparison out;
  // Placements looked up per distinct score: a map of classed evidence has few, and the lookup
  // stays in the cache.
  std::array<Placements, 2> place;
  for (int k = 0; k < 2; ++k) {
    std::vector<double> finds, nonFinds;
    finds.reserve(m);
    nonFinds.reserve(n);
    for (const auto& f : s.finds) finds.push_back(f[k]);
    for (const auto& x : s.nonFinds) nonFinds.push_back(x[k]);
    const ScoreGroups groups = GroupScores(std::move(finds), std::move(nonFinds));
    (k == 0 ? out.first : out.second) = DeLongInterval(groups);
    place[k] = PlacementsOf(groups);
  }
  std::vector<std::array<double, 2>> v10(m), v01(n);
  std::array<double, 2> auc{0, 0};
  for (std::size_t i = 0; i < m; ++i) {
    for (int k = 0; k < 2; ++k) {
      v10[i][k] = place[k].Find(s.finds[i][k]);
      auc[k] += v10[i][k];
    }
  }
  for (std::size_t j = 0; j < n; ++j) {
    for (int k = 0; k < 2; ++k) v01[j][k] = place[k].NonFind(s.nonFinds[j][k]);
  }
  const std::array<double, 3> c10 = Covariance(v10), c01 = Covariance(v01);
  const double variance = (c10[0] + c10[1] - 2 * c10[2]) / static_cast<double>(m) + (c01[0] + c01[1] - 2 * c01[2]) / static_cast<double>(n);
  const double se = std::sqrt(std::max(0.0, variance));
  out.firstAuc = auc[0] / static_cast<double>(m);
  out.secondAuc = auc[1] / static_cast<double>(m);
  out.difference = out.firstAuc - out.secondAuc;
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
