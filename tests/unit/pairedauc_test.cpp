// Paired DeLong against the placement values computed pair by pair, and the comparison's line.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "stats/statistics.h"
#include "test_support.h"
#include "validation/pairedauc.h"

namespace karvelo {
namespace {

struct Brute {
  double auc0, auc1, se;
};
// Every find against every non-find on both maps: O(m x n) placements, then their covariances.
Brute BrutePaired(const PairedScores& s) {
  const std::size_t m = s.finds.size(), n = s.nonFinds.size();
  auto psi = [](double a, double b) { return a > b ? 1.0 : a == b ? 0.5 : 0.0; };
  std::vector<std::array<double, 2>> v10(m, {0, 0}), v01(n, {0, 0});
  for (std::size_t i = 0; i < m; ++i) {
    for (std::size_t j = 0; j < n; ++j) {
      for (int k = 0; k < 2; ++k) {
        const double p = psi(s.finds[i][k], s.nonFinds[j][k]);
        v10[i][k] += p / static_cast<double>(n);
        v01[j][k] += p / static_cast<double>(m);
      }
    }
  }
  double a0 = 0, a1 = 0;
  for (const auto& v : v10) a0 += v[0] / static_cast<double>(m), a1 += v[1] / static_cast<double>(m);
  auto cov = [&](const std::vector<std::array<double, 2>>& v, int p, int q) {
    double s2 = 0;
    for (const auto& x : v) s2 += (x[p] - (p ? a1 : a0)) * (x[q] - (q ? a1 : a0));
    return s2 / static_cast<double>(v.size() - 1);
  };
  const double var = (cov(v10, 0, 0) + cov(v10, 1, 1) - 2 * cov(v10, 0, 1)) / static_cast<double>(m) +
                     (cov(v01, 0, 0) + cov(v01, 1, 1) - 2 * cov(v01, 0, 1)) / static_cast<double>(n);
  return {a0, a1, std::sqrt(var)};
}

TEST(PairedAuc, MatchesThePairwisePlacementsWithTies) {
  std::mt19937 rng(test::TestSeed());
  SCOPED_TRACE(test::SeedTrace(test::TestSeed()));
  std::normal_distribution<double> noise(0, 1);
  for (int round = 0; round < 40; ++round) {
    const double steps = 1 + static_cast<double>(rng() % 6);
    auto level = [&](double v) { return std::round(v * steps) / steps; };
    PairedScores s;
    for (int i = 0, m = 2 + static_cast<int>(rng() % 40); i < m; ++i) {
      const double v = 0.7 + noise(rng);
      s.finds.push_back({level(v), level(v + 0.8 * noise(rng))});
    }
    for (int j = 0, n = 2 + static_cast<int>(rng() % 60); j < n; ++j) {
      const double v = noise(rng);
      s.nonFinds.push_back({level(v), level(v + 0.8 * noise(rng))});
    }
    const auto got = ComparePairedAuc(s);
    ASSERT_TRUE(got);
    const Brute want = BrutePaired(s);
    EXPECT_NEAR(got->firstAuc, want.auc0, 1e-12) << "round " << round;
    EXPECT_NEAR(got->secondAuc, want.auc1, 1e-12) << "round " << round;
    EXPECT_NEAR(got->upper - got->difference, kNormal975 * want.se, 1e-9) << "round " << round;
    EXPECT_NEAR(got->difference - got->lower, kNormal975 * want.se, 1e-9) << "round " << round;
    if (want.se > 0) {
      EXPECT_NEAR(got->p, 2 * NormalUpperTail(std::fabs(want.auc0 - want.auc1) / want.se), 1e-9) << "round " << round;
    }
    ASSERT_TRUE(got->first && got->second);
    EXPECT_NEAR(got->first->auc, want.auc0, 1e-12);
  }
}

TEST(PairedAuc, SameMapPairingAndLine) {
  // One map against itself: no difference, nothing that varies, p 1.
  PairedScores same;
  same.finds = {{0.9, 0.9}, {0.4, 0.4}, {0.7, 0.7}};
  same.nonFinds = {{0.1, 0.1}, {0.5, 0.5}};
  const auto c = ComparePairedAuc(same);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->difference, 0.0);
  EXPECT_EQ(c->p, 1.0);
  EXPECT_FALSE(ComparePairedAuc(PairedScores{{{1, 1}}, {{0, 0}, {0.5, 0.5}}}));
  // Records without a value on either map are left out.
  const PairedScores paired = PairScores({0.1, NAN, 0.3, 0.4}, {0.5, 0.6, NAN, 0.8}, {true, true, false, false});
  EXPECT_EQ(paired.finds.size(), 1u);
  ASSERT_EQ(paired.nonFinds.size(), 1u);
  EXPECT_EQ(paired.nonFinds[0][1], 0.8);
  PairedAucComparison line;
  line.firstAuc = 0.93333;
  line.secondAuc = 0.91111;
  line.difference = 0.02222;
  line.lower = -0.01014;
  line.upper = 0.05454;
  line.p = 0.178;
  EXPECT_EQ(ComparisonLine("BayesP_uncertain.asc", line),
            "Compared with BayesP_uncertain.asc: AUC 0.9333 vs 0.9111, difference 0.0222, 95% CI [-0.0101, 0.0545], p 0.1780");
}

}  // namespace
}  // namespace karvelo
