// AUC intervals: DeLong against the pairwise definition, the bootstrap's reproducibility and agreement.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

#include "stats/aucinterval.h"
#include "stats/statistics.h"
#include "test_support.h"

namespace karvelo {
namespace {

using test::TestSeed;

// DeLong's interval straight from its definition: every pair of a find and a non-find, O(n^2).
AucInterval BruteDeLong(const std::vector<double>& x, const std::vector<double>& y) {
  const double m = static_cast<double>(x.size()), n = static_cast<double>(y.size());
  auto psi = [](double a, double b) { return a > b ? 1.0 : (a == b ? 0.5 : 0.0); };
  std::vector<double> v10(x.size(), 0), v01(y.size(), 0);
  double auc = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    for (std::size_t j = 0; j < y.size(); ++j) {
      const double p = psi(x[i], y[j]);
      v10[i] += p / n;
      v01[j] += p / m;
      auc += p / (m * n);
    }
  }
  double s10 = 0, s01 = 0;
  for (double v : v10) s10 += (v - auc) * (v - auc) / (m - 1);
  for (double v : v01) s01 += (v - auc) * (v - auc) / (n - 1);
  const double se = std::sqrt(s10 / m + s01 / n);
  return {auc, std::max(0.0, auc - kNormal975 * se), std::min(1.0, auc + kNormal975 * se)};
}

// Finds score higher on average; scores are rounded to `steps` levels so that ties abound.
void RandomScores(std::mt19937& rng, int m, int n, int steps, std::vector<double>& x, std::vector<double>& y) {
  std::normal_distribution<double> find(0.8, 1.0), nonFind(0.0, 1.0);
  auto level = [&](double v) { return std::round(v * steps) / steps; };
  x.clear();
  y.clear();
  for (int i = 0; i < m; ++i) x.push_back(level(find(rng)));
  for (int j = 0; j < n; ++j) y.push_back(level(nonFind(rng)));
}

TEST(AucInterval, DeLongMatchesThePairwiseDefinitionWithTies) {
  std::mt19937 rng(TestSeed());
  std::vector<double> x, y;
  for (int round = 0; round < 30; ++round) {
    const int m = 2 + static_cast<int>(rng() % 60), n = 2 + static_cast<int>(rng() % 90), steps = 1 + static_cast<int>(rng() % 8);
    RandomScores(rng, m, n, steps, x, y);
    const AucInterval want = BruteDeLong(x, y);
    const auto got = DeLongInterval(GroupScores(x, y));
    ASSERT_TRUE(got) << "seed " << TestSeed() << " round " << round;
    EXPECT_NEAR(got->auc, want.auc, 1e-12) << "seed " << TestSeed() << " round " << round;
    EXPECT_NEAR(got->lower, want.lower, 1e-9) << "seed " << TestSeed() << " round " << round;
    EXPECT_NEAR(got->upper, want.upper, 1e-9) << "seed " << TestSeed() << " round " << round;
  }
}

TEST(AucInterval, DegenerateSamples) {
  EXPECT_FALSE(DeLongInterval(GroupScores({1.0}, {0.0, 0.5})));  // one find: no variance
  RandomGenerator rng;
  ThreadPool pool(2);
  EXPECT_FALSE(BootstrapInterval(GroupScores({}, {0.0, 0.5}), rng, pool));
  // Complete separation: the AUC is 1 and neither interval goes past it.
  const auto d = DeLongInterval(GroupScores({2, 3, 4}, {0, 1}));
  ASSERT_TRUE(d);
  EXPECT_EQ(d->auc, 1.0);
  EXPECT_EQ(d->upper, 1.0);
  // All tied: 0.5 throughout.
  const ScoreGroups tied = GroupScores({1, 1, 1}, {1, 1});
  EXPECT_EQ(tied.value.size(), 1u);
  EXPECT_EQ(MannWhitneyAuc(tied), 0.5);
  rng.SetSeed(7);
  const auto b = BootstrapInterval(tied, rng, pool, {}, 50);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->lower, 0.5);
  EXPECT_EQ(b->upper, 0.5);
}

TEST(AucInterval, BootstrapIsReproducibleUnderOneSeed) {
  std::mt19937 mt(TestSeed());
  std::vector<double> x, y;
  RandomScores(mt, 300, 700, 5, x, y);
  const ScoreGroups s = GroupScores(x, y);
  RandomGenerator a, b;
  a.SetSeed(42);
  b.SetSeed(42);
  ThreadPool pool(2);
  const auto first = BootstrapInterval(s, a, pool, {}, 500), second = BootstrapInterval(s, b, pool, {}, 500);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->lower, second->lower);
  EXPECT_EQ(first->upper, second->upper);
  b.SetSeed(43);
  const auto other = BootstrapInterval(s, b, pool, {}, 500);
  EXPECT_TRUE(other->lower != first->lower || other->upper != first->upper);
  // However many threads share the resamples, each draws from the same stream.
  for (unsigned threads : {1u, 3u, 7u}) {
    RandomGenerator c;
    c.SetSeed(42);
    ThreadPool shared_pool(threads);
    const auto shared = BootstrapInterval(s, c, shared_pool, {}, 500);
    EXPECT_EQ(shared->lower, first->lower) << threads;
    EXPECT_EQ(shared->upper, first->upper) << threads;
  }
}

// A cancel between batches ends the bootstrap at once; the progress counts up to every resample.
TEST(AucInterval, BootstrapReportsProgressAndStopsOnCancel) {
  std::mt19937 mt(TestSeed());
  std::vector<double> x, y;
  RandomScores(mt, 200, 300, 50, x, y);
  const ScoreGroups s = GroupScores(x, y);
  ThreadPool pool(2);
  RandomGenerator rng;
  rng.SetSeed(TestSeed());
  std::vector<int> seen;
  ASSERT_TRUE(BootstrapInterval(s, rng, pool, [&](int done) { seen.push_back(done); }, 1000));
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(seen.back(), 1000);
  struct Stop {};
  int calls = 0;
  EXPECT_THROW(BootstrapInterval(s, rng, pool, [&](int) { if (++calls == 1) throw Stop{}; }, 100000), Stop);
  EXPECT_EQ(calls, 1);
}

// On large samples the percentile interval and DeLong's agree: both ways of drawing (binomial
// counts per group when values repeat, one draw per record when they hardly do).
TEST(AucInterval, BootstrapAgreesWithDeLongOnLargeSamples) {
  std::mt19937 mt(TestSeed());
  std::vector<double> x, y;
  for (int steps : {4, 100000}) {
    RandomScores(mt, 3000, 9000, steps, x, y);
    const ScoreGroups s = GroupScores(x, y);
    const auto d = DeLongInterval(s);
    RandomGenerator rng;
    rng.SetSeed(TestSeed());
    ThreadPool pool;
    const auto b = BootstrapInterval(s, rng, pool);
    ASSERT_TRUE(d && b);
    const double width = d->upper - d->lower;
    EXPECT_NEAR(b->lower, d->lower, 0.15 * width) << "steps " << steps << " seed " << TestSeed();
    EXPECT_NEAR(b->upper, d->upper, 0.15 * width) << "steps " << steps << " seed " << TestSeed();
    EXPECT_LT(b->lower, d->auc);
    EXPECT_GT(b->upper, d->auc);
  }
}

TEST(AucInterval, BinomialDrawsFollowTheDistribution) {
  RandomGenerator rng;
  rng.SetSeed(TestSeed());
  struct Case {
    long long n, c, w;
  };
  for (const auto& [n, c, w] : std::vector<Case>{{10, 3, 10}, {40, 9, 10}, {1000, 2, 100}, {200000, 1, 4}, {30, 7, 7000}}) {
    const double p = static_cast<double>(c) / static_cast<double>(w);
    const int draws = 40000;
    double sum = 0, sq = 0;
    std::vector<long long> hist(static_cast<std::size_t>(n) + 1, 0);
    for (const long long k : BinomialDraws(n, c, w, draws, rng)) {
      ASSERT_GE(k, 0);
      ASSERT_LE(k, n);
      sum += static_cast<double>(k);
      sq += static_cast<double>(k) * static_cast<double>(k);
      ++hist[static_cast<std::size_t>(k)];
    }
    const double mean = sum / draws, var = sq / draws - mean * mean, nd = static_cast<double>(n);
    EXPECT_NEAR(mean, nd * p, 5 * std::sqrt(nd * p * (1 - p) / draws)) << n << " " << p;
    EXPECT_NEAR(var / (nd * p * (1 - p)), 1.0, 0.05) << n << " " << p;
    if (n == 10) {
      // Each probability of the ten trials, against the exact binomial probabilities.
      for (int k = 0; k <= 10; ++k) {
        const double exact = std::exp(std::lgamma(11.0) - std::lgamma(k + 1.0) - std::lgamma(11.0 - k) + k * std::log(p) +
                                      (10 - k) * std::log(1 - p));
        EXPECT_NEAR(static_cast<double>(hist[static_cast<std::size_t>(k)]) / draws, exact, 4 * std::sqrt(exact / draws) + 1e-4) << k;
      }
    }
  }
  EXPECT_EQ(BinomialDraws(0, 1, 2, 1, rng), std::vector<long long>{0});
  EXPECT_EQ(BinomialDraws(7, 5, 5, 1, rng), std::vector<long long>{7});
  EXPECT_EQ(BinomialDraws(7, 0, 5, 1, rng), std::vector<long long>{0});
}

}  // namespace
}  // namespace karvelo
