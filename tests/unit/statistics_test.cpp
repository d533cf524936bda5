// The statistics module against published tables and hand-worked examples.
#include <gtest/gtest.h>

#include <cmath>

#include "stats/statistics.h"
#include "stats/statstext.h"

namespace karvelo {
namespace {

// The x with the given upper-tail probability, by bisection on the distribution function.
double Chi2Quantile(double tail, int df) {
  double lo = 0, hi = 200;
  for (int i = 0; i < 200; ++i) {
    const double mid = (lo + hi) / 2;
    (Chi2UpperTail(mid, df) > tail ? lo : hi) = mid;
  }
  return (lo + hi) / 2;
}

double ThreeSignificant(double x) {
  const double scale = std::pow(10.0, 2 - std::floor(std::log10(x)));
  return std::round(x * scale) / scale;
}

TEST(Statistics, NormalDistributionMatchesPublishedTable) {
  EXPECT_NEAR(NormalCdf(0), 0.5, 1e-12);
  EXPECT_NEAR(NormalCdf(1), 0.8413, 5e-5);
  EXPECT_NEAR(NormalCdf(1.96), 0.9750, 5e-5);
  EXPECT_NEAR(NormalCdf(-1.645), 0.0500, 5e-5);
  EXPECT_NEAR(NormalCdf(2.3263), 0.9900, 5e-5);
  EXPECT_NEAR(NormalUpperTail(1.02), 0.1539, 5e-5);
  EXPECT_NEAR(NormalUpperTail(3.0), 0.0013, 5e-5);
  EXPECT_NEAR(NormalCdf(kNormal975), 0.975, 1e-12);
}

TEST(Statistics, Chi2DistributionMatchesPublishedTable) {
  EXPECT_NEAR(Chi2UpperTail(3.841, 1), 0.0500, 5e-5);
  EXPECT_NEAR(Chi2UpperTail(6.635, 1), 0.0100, 5e-5);
  EXPECT_NEAR(Chi2UpperTail(5.991, 2), 0.0500, 5e-5);
  EXPECT_NEAR(Chi2UpperTail(11.070, 5), 0.0500, 5e-5);
  EXPECT_NEAR(Chi2UpperTail(23.209, 10), 0.0100, 5e-5);
  EXPECT_NEAR(Chi2UpperTail(50.892, 30), 0.0100, 5e-5);
  EXPECT_NEAR(Chi2UpperTail(0.455, 1), 0.5000, 5e-5);
  EXPECT_NEAR(Chi2UpperTail(12.34, 6), 0.0548, 5e-5);
  // Two degrees of freedom have a closed form: P = 1 - exp(-x / 2).
  for (double x : {0.1, 1.0, 4.0, 20.0, 80.0}) EXPECT_NEAR(Chi2Cdf(x, 2), 1 - std::exp(-x / 2), 1e-13);
  // The tail far out stays relative-accurate instead of cancelling to 0.
  EXPECT_NEAR(Chi2UpperTail(100, 2) / std::exp(-50.0), 1.0, 1e-10);
  EXPECT_EQ(Chi2UpperTail(0, 3), 1.0);
  EXPECT_NEAR(Chi2Cdf(7.0, 4) + Chi2UpperTail(7.0, 4), 1.0, 1e-14);
}

TEST(Statistics, CriticalValuesAreTheRoundedQuantiles) {
  for (int df = 1; df <= kChi2TableMaxDf; ++df) {
    const auto& row = kChi2Critical[static_cast<std::size_t>(df - 1)];
    EXPECT_DOUBLE_EQ(row[0], ThreeSignificant(Chi2Quantile(0.05, df))) << "df " << df;
    EXPECT_DOUBLE_EQ(row[1], ThreeSignificant(Chi2Quantile(0.01, df))) << "df " << df;
  }
}

TEST(Statistics, LevelsAndMarks) {
  EXPECT_EQ(Chi2Level(3.84, 1), Significance::At95);
  EXPECT_EQ(Chi2Level(3.8399, 1), Significance::None);
  EXPECT_EQ(Chi2Level(9.21, 2), Significance::At99);
  EXPECT_EQ(Chi2Level(99, 21), Significance::None);  // beyond the table
  EXPECT_EQ(Chi2Level(99, 0), Significance::None);
  EXPECT_EQ(Chi2Marks({3.84, 1, Significance::At95}), " *");
  EXPECT_EQ(Chi2Marks({9.21, 2, Significance::At99}), " **");
  EXPECT_EQ(Chi2Marks({1, 2, Significance::None}), "");
  EXPECT_EQ(Chi2SignText({3.84, 1, Chi2Level(3.84, 1)}), "     3.840 *");
  EXPECT_EQ(Chi2SignText({6.63, 1, Chi2Level(6.63, 1)}), "     6.630 **");
  EXPECT_EQ(AuditChi2Cell({6.5, 1, Chi2Level(6.5, 1)}), "6.50 *");
}

TEST(Statistics, GoodnessOfFitRoundsExpectationsAndListsEmptyClasses) {
  // 5 presences over two classes of one cell each: 2.5 expected rounds to 2; (3^2 + 2^2) / 2.
  const std::vector<long long> cells = {1, 1}, observed = {5, 0};
  GoodnessOfFit fit = GoodnessOfFitTest(observed, cells);
  EXPECT_DOUBLE_EQ(fit.test.value, 6.5);
  EXPECT_EQ(fit.test.df, 1);
  EXPECT_EQ(fit.test.level, Significance::At95);
  EXPECT_TRUE(fit.classesWithoutExpectation.empty());
  // 3 x 1 / 100 rounds to 0 in class 3: it adds nothing and is named.
  const std::vector<long long> cells3 = {50, 49, 1}, observed3 = {1, 1, 1};
  fit = GoodnessOfFitTest(observed3, cells3);
  EXPECT_EQ(fit.classesWithoutExpectation, std::vector<int>{3});
  EXPECT_DOUBLE_EQ(fit.test.value, 0.5);  // expected 1.5 -> 2 and 1.47 -> 1: (1 - 2)^2 / 2 + 0
  EXPECT_EQ(fit.test.df, 2);
}

TEST(Statistics, EvenSplitTest) {
  const Chi2Result r = EvenSplitTest(3, 1);
  EXPECT_NEAR(r.value, 0.4444, 1e-4);  // shares 4/6 and 2/6: 2 x 4 x (1/36 + 1/36)
  EXPECT_EQ(r.df, 1);
  EXPECT_EQ(r.level, Significance::None);
  EXPECT_EQ(EvenSplitTest(20, 0).level, Significance::At99);
  EXPECT_EQ(EvenSplitTest(0, 0).value, 0);
}

TEST(Statistics, ContingencyTablesWorkedByHand) {
  // 2 x 2: expectations 12, 18, 28, 42; chi2 = 4/12 + 4/18 + 4/28 + 4/42.
  ContingencyResult r = ContingencyTest({{10, 20}, {30, 40}});
  ASSERT_TRUE(r.tested);
  EXPECT_NEAR(r.test.value, 4.0 / 12 + 4.0 / 18 + 4.0 / 28 + 4.0 / 42, 1e-12);
  EXPECT_EQ(r.test.df, 1);
  EXPECT_NEAR(r.p, std::erfc(std::sqrt(r.test.value / 2)), 1e-12);
  EXPECT_FALSE(r.sparse);
  // 2 x 3: expectations 25, 25, 50 per row; chi2 = 4 x 1 = 4, df 2, p = exp(-2).
  r = ContingencyTest({{20, 30, 50}, {30, 20, 50}});
  EXPECT_NEAR(r.test.value, 4.0, 1e-12);
  EXPECT_EQ(r.test.df, 2);
  EXPECT_NEAR(r.p, std::exp(-2.0), 1e-12);
  // Empty rows and columns are dropped; 3 of the 4 expectations (3.29, 4.71, 3.71, 5.29) are below 5.
  r = ContingencyTest({{5, 0, 3}, {0, 0, 0}, {2, 0, 7}});
  EXPECT_EQ(r.rows, 2);
  EXPECT_EQ(r.cols, 2);
  EXPECT_EQ(r.test.df, 1);
  EXPECT_TRUE(r.sparse);
  // A single column left has no test.
  r = ContingencyTest({{5, 0}, {3, 0}});
  EXPECT_FALSE(r.tested);
  // Independent rows give 0 and p = 1.
  r = ContingencyTest({{10, 20}, {20, 40}});
  EXPECT_NEAR(r.test.value, 0, 1e-12);
  EXPECT_NEAR(r.p, 1, 1e-12);
}

}  // namespace
}  // namespace karvelo
