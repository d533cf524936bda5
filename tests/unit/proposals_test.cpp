// Class proposals fitted to the data, against plain versions: a sort for equal counts, every
// partition for natural breaks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>

#include "config/proposals.h"
#include "core/gridfile.h"
#include "core/numfmt.h"
#include "test_support.h"

namespace karvelo {
namespace {

using test::GridText;
using test::TempDir;
using test::WriteFile;

template <class Finder>
void Feed(Finder& f, const std::vector<double>& values) {
  while (f.NeedsPass()) {
    for (double v : values) {
      if (!f.Take(v)) break;
    }
    f.EndPass();
  }
}

std::vector<double> SortedQuantiles(std::vector<double> v, int n) {
  std::sort(v.begin(), v.end());
  std::vector<double> out;
  const long long N = static_cast<long long>(v.size());
  for (int k = 1; k < n; ++k) out.push_back(v[static_cast<std::size_t>(k * N / n)]);
  return out;
}

std::vector<double> FinderQuantiles(const std::vector<double>& v, int n, int* passes = nullptr) {
  const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
  QuantileFinder f(*lo, *hi, n);
  Feed(f, v);
  if (passes) *passes = f.Passes();
  return f.Bounds();
}

// Squared deviations from the class means of the values cut at the bounds (class k: bound k-1 <= v < bound k).
double SumOfSquares(const std::vector<double>& values, const std::vector<double>& bounds) {
  std::vector<std::vector<double>> classes(bounds.size() + 1);
  for (double v : values) {
    std::size_t k = 0;
    while (k < bounds.size() && v >= bounds[k]) ++k;
    classes[k].push_back(v);
  }
  double total = 0;
  for (const auto& c : classes) {
    if (c.empty()) continue;
    double mean = 0;
    for (double v : c) mean += v;
    mean /= static_cast<double>(c.size());
    for (double v : c) total += (v - mean) * (v - mean);
  }
  return total;
}

// The least sum of squares over every way to cut the distinct values into k runs.
double BruteForceBreaks(const std::vector<double>& values, int k) {
  std::vector<double> distinct = values;
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  k = std::min<int>(k, static_cast<int>(distinct.size()));
  double best = INFINITY;
  std::vector<double> bounds;
  // Choose k - 1 of the distinct values 2..m as the starts of classes 2..k.
  auto search = [&](auto&& self, std::size_t from) -> void {
    if (static_cast<int>(bounds.size()) == k - 1) {
      best = std::min(best, SumOfSquares(values, bounds));
      return;
    }
    for (std::size_t i = from; i < distinct.size(); ++i) {
      bounds.push_back(distinct[i]);
      self(self, i + 1);
      bounds.pop_back();
    }
  };
  search(search, 1);
  return best;
}

TEST(Quantiles, TheRefinedHistogramEqualsTheSort) {
  const unsigned seed = test::TestSeed();
  SCOPED_TRACE(test::SeedTrace(seed));
  std::mt19937 rng(seed);
  for (int round = 0; round < 40; ++round) {
    const int size = std::uniform_int_distribution<int>(1, 3000)(rng);
    const int n = std::uniform_int_distribution<int>(2, 20)(rng);
    std::vector<double> v;
    for (int i = 0; i < size; ++i) {
      switch (round % 4) {
        case 0: v.push_back(std::uniform_real_distribution<double>(-50, 50)(rng)); break;  // negative range
        case 1: v.push_back(std::uniform_int_distribution<int>(0, 5)(rng)); break;         // ties everywhere
        case 2: v.push_back(std::exp(std::normal_distribution<double>(0, 3)(rng))); break; // skewed
        default: v.push_back(-1000 - std::uniform_int_distribution<int>(0, 200)(rng) * 0.125); break;
      }
    }
    EXPECT_EQ(FinderQuantiles(v, n), SortedQuantiles(v, n)) << "round " << round << ", " << size << " values, n " << n;
  }
  // A constant set: every bound is the value.
  EXPECT_EQ(FinderQuantiles(std::vector<double>(17, 3.5), 4), (std::vector<double>{3.5, 3.5, 3.5}));
}

TEST(Quantiles, BinsCrowdedByAnOutlierAreRefinedAgain) {
  // Nearly all values share the first bin of the histogram over 0..1e9, too many to sort at once.
  std::mt19937 rng(test::TestSeed());
  std::vector<double> v;
  for (int i = 0; i < 300000; ++i) v.push_back(std::uniform_real_distribution<double>(0, 1)(rng));
  v.push_back(1e9);
  int passes = 0;
  EXPECT_EQ(FinderQuantiles(v, 7, &passes), SortedQuantiles(v, 7));
  EXPECT_GE(passes, 3);
  // Values a few units of the last place apart, still resolved exactly.
  std::vector<double> close;
  for (int i = 0; i < 100000; ++i) close.push_back(1 + (i % 97) * 2.2e-16);
  close.push_back(-1e300);
  EXPECT_EQ(FinderQuantiles(close, 5, &passes), SortedQuantiles(close, 5));
}

TEST(NaturalBreaks, LeastSumOfSquaresAsEveryPartitionGives) {
  std::mt19937 rng(test::TestSeed() + 1);
  for (int round = 0; round < 60; ++round) {
    const int distinct = std::uniform_int_distribution<int>(1, 9)(rng);
    const int n = std::uniform_int_distribution<int>(2, 4)(rng);
    std::vector<double> pool;
    for (int i = 0; i < distinct; ++i) pool.push_back(std::uniform_real_distribution<double>(-20, 20)(rng));
    std::vector<double> v;
    const int size = std::uniform_int_distribution<int>(distinct, 40)(rng);
    for (int i = 0; i < size; ++i) v.push_back(pool[static_cast<std::size_t>(i < distinct ? i : std::uniform_int_distribution<int>(0, distinct - 1)(rng))]);
    // An outlier now and then, so that the values share bins and the second pass collects them.
    if (round % 3 == 0) v.push_back(1e7);
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    BreakFinder f(*lo, *hi, n);
    Feed(f, v);
    EXPECT_TRUE(f.OverDistinctValues());
    const auto bounds = f.Bounds();
    const double best = BruteForceBreaks(v, n);
    EXPECT_NEAR(SumOfSquares(v, bounds), best, 1e-9 * (1 + best)) << "round " << round;
    EXPECT_TRUE(std::is_sorted(bounds.begin(), bounds.end()));
  }
}

// The least sum of squares over k classes of the sorted distinct values, by the full O(k m^2) table.
double FullTableBreaks(const std::vector<double>& values, int k) {
  std::vector<double> d = values;
  std::sort(d.begin(), d.end());
  std::vector<double> w, s, q;  // per distinct value: count, sum, sum of squares
  for (std::size_t i = 0; i < d.size(); ++i) {
    if (i == 0 || d[i] != d[i - 1]) w.push_back(0), s.push_back(0), q.push_back(0);
    w.back() += 1, s.back() += d[i], q.back() += d[i] * d[i];
  }
  const std::size_t m = w.size();
  auto ssd = [&](std::size_t i, std::size_t j) {
    double a = 0, b = 0, c = 0;
    for (std::size_t u = i; u < j; ++u) a += w[u], b += s[u], c += q[u];
    return c - b * b / a;
  };
  std::vector<std::vector<double>> t(static_cast<std::size_t>(k) + 1, std::vector<double>(m + 1, INFINITY));
  for (std::size_t j = 1; j <= m; ++j) t[1][j] = ssd(0, j);
  for (std::size_t c = 2; c <= static_cast<std::size_t>(k); ++c) {
    for (std::size_t j = c; j <= m; ++j) {
      for (std::size_t i = c - 1; i < j; ++i) t[c][j] = std::min(t[c][j], t[c - 1][i] + ssd(i, j));
    }
  }
  return t[static_cast<std::size_t>(std::min<std::size_t>(static_cast<std::size_t>(k), m))][m];
}

TEST(NaturalBreaks, AsTheFullTableOnHundredsOfValues) {
  std::mt19937 rng(test::TestSeed() + 3);
  for (int round = 0; round < 6; ++round) {
    std::vector<double> v;
    for (int i = 0; i < 2000; ++i) v.push_back(std::round(std::normal_distribution<double>(round * 10, 5)(rng) * 4) / 4);
    const int n = 4 + round * 3;
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    BreakFinder f(*lo, *hi, n);
    Feed(f, v);
    const double best = FullTableBreaks(v, n);
    EXPECT_NEAR(SumOfSquares(v, f.Bounds()), best, 1e-7 * (1 + best)) << "round " << round << ", n " << n;
  }
}

TEST(NaturalBreaks, ManyDistinctValuesAreGroupedByTheHistogram) {
  // Three separate clusters of 3000 distinct values each: the breaks fall between them.
  std::vector<double> v;
  for (int i = 0; i < 3000; ++i) {
    v.push_back(i * 1e-3);
    v.push_back(100 + i * 1e-3);
    v.push_back(250 + i * 1e-3);
  }
  BreakFinder f(0, 252.999, 3);
  Feed(f, v);
  EXPECT_FALSE(f.OverDistinctValues());
  const auto bounds = f.Bounds();
  ASSERT_EQ(bounds.size(), 2u);
  EXPECT_EQ(bounds[0], 100);
  EXPECT_EQ(bounds[1], 250);
  // Fewer groups than classes: each group is a class.
  BreakFinder few(1, 3, 8);
  Feed(few, {1, 1, 2, 3, 3, 3});
  EXPECT_EQ(few.Bounds(), (std::vector<double>{2, 3}));
}

TEST(ProposedTexts, RepeatsDropAndTooFewClassesFallBack) {
  // Bounds that repeat after rounding, or that do not lie inside the range, are dropped.
  EXPECT_EQ(FittedBoundTexts(0, 10, {0, 0, 2.000001, 2.000004, 7, 12}, 0.5, true),
            (std::vector<std::string>{"0.00000", "2.00000", "7.00000", "10.00000"}));
  // Every bound at the minimum (90 % of the cells hold it): the least other value splits.
  EXPECT_EQ(FittedBoundTexts(0, 4, {0, 0, 0}, 0.25, true), (std::vector<std::string>{"0.00000", "0.25000", "4.00000"}));
  // A single value: the rounded equal steps for 2 classes.
  const auto steps = ProposeBoundTexts(5, 6, 2);
  EXPECT_EQ(FittedBoundTexts(5, 6, {5, 5}, std::nullopt, true), (std::vector<std::string>{steps[0], steps[1], steps[2]}));
  // Logarithmic steps: a geometric progression; too fine a one collapses at 5 decimals.
  EXPECT_EQ(FittedBoundTexts(1, 1000, LogarithmicBounds(1, 1000, 3), std::nullopt, false),
            (std::vector<std::string>{"1.00000", "10.00000", "100.00000", "1000.00000"}));
  EXPECT_EQ(FittedBoundTexts(1e-6, 1e-3, LogarithmicBounds(1e-6, 1e-3, 6), std::nullopt, false),
            (std::vector<std::string>{"0.00000", "0.00001", "0.00003", "0.00010", "0.00032", "0.00100"}));
  EXPECT_FALSE(ProposalOffered(Proposal::Logarithmic, 0));
  EXPECT_TRUE(ProposalOffered(Proposal::Logarithmic, 1e-9));
  EXPECT_TRUE(ProposalOffered(Proposal::NaturalBreaks, -5));
}

class ProposalGridTest : public ::testing::Test {
 protected:
  TDataDef Pick(const std::vector<std::vector<std::string>>& rows) {
    const auto path = dir / ("g" + std::to_string(++count) + ".asc");
    WriteFile(path, GridText(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()), rows));
    TDataDef def;
    def.FileName = path.string();
    def.GridFileType = TGridFileType::asciigrid;
    EXPECT_TRUE(ReadHeader(def, shell));
    ScanData(def, shell);
    return def;
  }
  TempDir dir;
  test::RecordingShell shell;
  int count = 0;
};

TEST_F(ProposalGridTest, TwoPassesOverTheFileEqualTheSortWithoutNoData) {
  std::mt19937 rng(test::TestSeed() + 2);
  std::vector<std::vector<std::string>> rows(30, std::vector<std::string>(40));
  std::vector<double> values;
  for (auto& row : rows) {
    for (auto& cell : row) {
      if (std::uniform_int_distribution<int>(0, 9)(rng) == 0) {
        cell = "-9999";
        continue;
      }
      const double v = std::round(std::uniform_real_distribution<double>(-30, 70)(rng) * 1000) / 1000;
      cell = FormatShortest(v);
      values.push_back(v);
    }
  }
  const TDataDef def = Pick(rows);
  int passes = 0;
  const auto texts = ProposalTexts(def, Proposal::Quantiles, 6, shell, &passes);
  EXPECT_LE(passes, 2);
  EXPECT_EQ(texts, FittedBoundTexts(def.minvalue, def.maxvalue, SortedQuantiles(values, 6), std::nullopt, true));
  EXPECT_EQ(texts.size(), 7u);
  // Each class holds a sixth of the valued cells, as nearly as the values allow.
  for (std::size_t k = 1; k + 1 < texts.size(); ++k) {
    const double bound = ParseRealPrefix(texts[k]);
    const auto below = std::count_if(values.begin(), values.end(), [&](double v) { return v < bound; });
    EXPECT_NEAR(static_cast<double>(below), static_cast<double>(values.size()) * static_cast<double>(k) / 6, 2.0);
  }
  EXPECT_EQ(shell.gaugeMax, 30);

  // Natural breaks on the grid: one pass when every bin holds one value.
  const TDataDef steps = Pick({{"1", "1", "2", "2", "-9999"}, {"10", "11", "10", "30", "31"}});
  EXPECT_EQ(ProposalTexts(steps, Proposal::NaturalBreaks, 3, shell, &passes),
            (std::vector<std::string>{"1.00000", "10.00000", "30.00000", "31.00000"}));
  EXPECT_EQ(passes, 1);
  // Today's proposal is untouched by the choice: the texts of ProposeBoundTexts, n + 1 of them.
  const auto rounded = ProposalTexts(steps, Proposal::RoundedSteps, 4, shell);
  const auto plain = ProposeBoundTexts(steps.minvalue, steps.maxvalue, 4);
  EXPECT_EQ(rounded, std::vector<std::string>(plain.begin(), plain.begin() + 5));
  // Logarithmic steps are not made for a minimum of 0 or below: today's proposal instead.
  const TDataDef zero = Pick({{"0", "5", "10"}});
  EXPECT_EQ(ProposalTexts(zero, Proposal::Logarithmic, 2, shell), ProposalTexts(zero, Proposal::RoundedSteps, 2, shell));
}

TEST_F(ProposalGridTest, ConstantAndMostlyConstantGrids) {
  // A constant grid (its maximum taken as the minimum + 1): 2 classes of the rounded steps.
  const TDataDef flat = Pick({{"4", "4"}, {"4", "-9999"}});
  EXPECT_EQ(flat.maxvalue, 5);
  const auto steps = ProposeBoundTexts(4, 5, 2);
  for (Proposal p : {Proposal::Quantiles, Proposal::NaturalBreaks}) {
    EXPECT_EQ(ProposalTexts(flat, p, 8, shell), (std::vector<std::string>{steps[0], steps[1], steps[2]}));
  }
  // Nine zeros in ten: the equal-count bounds all fall on 0 and drop; the first other value splits.
  const TDataDef zeros = Pick({{"0", "0", "0", "0", "0"}, {"0", "0", "0", "0", "3.25"}});
  EXPECT_EQ(ProposalTexts(zeros, Proposal::Quantiles, 8, shell), (std::vector<std::string>{"0.00000", "3.25000", "3.25000"}));
  ClassBounds b;
  ProposeBounds(b, zeros, Proposal::Quantiles, 8, shell);
  EXPECT_EQ(b.n, 2);
  EXPECT_EQ(b.Edit(2), "3.25000");
  EXPECT_EQ(b.Label(1), "3.25000");
}

}  // namespace
}  // namespace karvelo
