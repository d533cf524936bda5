// The map's value counts and the threshold table against counting by hand over every cut.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

#include "core/gridfile.h"
#include "core/numfmt.h"
#include "test_support.h"
#include "validation/mapvalues.h"
#include "validation/thresholds.h"

namespace karvelo {
namespace {

long long CountAtOrAbove(const std::vector<double>& v, double t) {
  return std::count_if(v.begin(), v.end(), [&](double x) { return x >= t; });
}

// P(X >= k), X binomial(n, p), from Pascal's triangle and plain powers.
double PascalUpperTail(int k, int n, double p) {
  std::vector<double> row = {1};
  for (int i = 1; i <= n; ++i) {
    std::vector<double> next(static_cast<std::size_t>(i + 1), 1);
    for (int j = 1; j < i; ++j) next[static_cast<std::size_t>(j)] = row[static_cast<std::size_t>(j - 1)] + row[static_cast<std::size_t>(j)];
    row = next;
  }
  double s = 0;
  for (int j = std::max(k, 0); j <= n; ++j) s += row[static_cast<std::size_t>(j)] * std::pow(p, j) * std::pow(1 - p, n - j);
  return s;
}

TEST(MapValues, CountsExactOrBinnedAgreeWithCounting) {
  std::mt19937 rng(test::TestSeed());
  SCOPED_TRACE(test::SeedTrace(test::TestSeed()));
  for (int round = 0; round < 20; ++round) {
    std::vector<double> values;
    const int n = 1 + static_cast<int>(rng() % 2000), levels = 1 + static_cast<int>(rng() % 300);
    for (int i = 0; i < n; ++i) values.push_back(static_cast<double>(rng() % static_cast<unsigned>(levels)) / levels - 0.5);
    if (round % 3 == 0) values.push_back(std::nan(""));
    std::map<double, long long> want;
    for (double v : values) {
      if (!std::isnan(v)) ++want[v + 0.0];
    }
    const MapValueCounts exact = CountValues(values);
    ASSERT_FALSE(exact.binned);
    ASSERT_EQ(exact.value.size(), want.size());
    std::size_t i = 0;
    for (const auto& [v, c] : want) {
      EXPECT_EQ(exact.value[i], v);
      EXPECT_EQ(exact.cells[i], c);
      ++i;
    }
    // Too many distinct values for the table: bins, still exact at the values they stand for.
    const MapValueCounts binned = CountValues(values, 4);
    EXPECT_EQ(binned.binned, want.size() > 4);
    EXPECT_EQ(binned.total, static_cast<long long>(n));
    for (double v : binned.value) EXPECT_EQ(binned.CellsAtOrAbove(v), CountAtOrAbove(values, v)) << "round " << round;
    EXPECT_EQ(exact.CellsAtOrAbove(1.0), 0);
  }
}

class MapSampleFile : public test::ScratchFolderTest {};

TEST_F(MapSampleFile, OnePassGivesCountsAndTheValuesAtCells) {
  // Full precision as written, no-data (and what lies within 0.1% of it) left out.
  test::WriteFile("map.asc", test::GridText(3, 2, {{"0.123456789", "-9999", "0.5"}, {"0.5", "-9999.5", "0.123456789"}}));
  TDataDef map;
  map.FileName = "map.asc";
  ASSERT_TRUE(ReadHeader(map, shell));
  map.minvalue = 0.123456789;
  map.maxvalue = 0.5;
  const MapSample s = SampleMapFile(map, {5, 1, 0, 99, 2}, shell);
  EXPECT_EQ(s.counts.total, 4);
  EXPECT_EQ(s.counts.value, (std::vector<double>{0.123456789, 0.5}));
  EXPECT_EQ(s.counts.cells, (std::vector<long long>{2, 2}));
  ASSERT_EQ(s.atCells.size(), 5u);
  EXPECT_EQ(s.atCells[0], 0.123456789);
  EXPECT_TRUE(std::isnan(s.atCells[1]));
  EXPECT_EQ(s.atCells[2], 0.123456789);
  EXPECT_TRUE(std::isnan(s.atCells[3]));  // beyond the map
  EXPECT_EQ(s.atCells[4], 0.5);
  // Binned, with a range that says nothing: the bins span the values met, which stay apart.
  map.minvalue = map.maxvalue = 0;
  const MapSample binned = SampleMapFile(map, {}, shell, 1);
  EXPECT_TRUE(binned.counts.binned);
  EXPECT_EQ(binned.counts.value, s.counts.value);
  EXPECT_EQ(binned.counts.cells, s.counts.cells);
}

struct BruteCut {
  double sens, tnr, area, kappa;  // sensitivity, true-negative rate, area, kappa
};
BruteCut CutAt(double t, const std::vector<double>& f, const std::vector<double>& nf, const std::vector<double>& cells) {
  const double m = static_cast<double>(f.size()), n = static_cast<double>(nf.size()), all = m + n;
  const double tp = static_cast<double>(CountAtOrAbove(f, t)), fp = static_cast<double>(CountAtOrAbove(nf, t));
  const double po = (tp + (n - fp)) / all;
  const double pe = ((tp + fp) * m + (all - tp - fp) * n) / (all * all);
  return {tp / m, (n - fp) / n, static_cast<double>(CountAtOrAbove(cells, t)) / static_cast<double>(cells.size()),
          pe < 1 ? (po - pe) / (1 - pe) : 0};
}

TEST(Thresholds, MatchEveryCutCountedByHandWithTies) {
  std::mt19937 rng(test::TestSeed());
  SCOPED_TRACE(test::SeedTrace(test::TestSeed()));
  for (int round = 0; round < 60; ++round) {
    // Every fourth round few levels and as many finds as non-finds: scores tie between cuts.
    const bool ties = round % 4 == 0;
    const int levels = 2 + static_cast<int>(rng() % (ties ? 3 : 30));
    std::vector<double> cells;
    for (int i = 0, n = 50 + static_cast<int>(rng() % 500); i < n; ++i) cells.push_back(static_cast<double>(rng() % static_cast<unsigned>(levels)) / levels);
    auto draw = [&](bool high) {
      const double a = cells[rng() % cells.size()], b = cells[rng() % cells.size()];
      return high ? std::max(a, b) : std::min(a, b);
    };
    std::vector<double> finds, nonFinds, training;
    const int m = 1 + static_cast<int>(rng() % (ties ? 6 : 50)), n = ties ? m : 1 + static_cast<int>(rng() % 50);
    for (int i = 0; i < m; ++i) finds.push_back(draw(true));
    for (int i = 0; i < n; ++i) nonFinds.push_back(draw(rng() % 2 == 0));
    for (int i = 0, k = 1 + static_cast<int>(rng() % 40); i < k; ++i) training.push_back(draw(true));
    const std::string where = "round " + std::to_string(round);
    const auto rows = ThresholdTable(finds, nonFinds, training, CountValues(cells));
    ASSERT_EQ(rows.size(), 5u) << where;

    std::vector<double> cuts = finds;
    cuts.insert(cuts.end(), nonFinds.begin(), nonFinds.end());
    auto best = [&](auto score) {  // the best score over every cut and the highest cut reaching it
      double top = -1e300, at = 0;
      for (double t : cuts) {
        const double s = score(CutAt(t, finds, nonFinds, cells));
        if (s > top + 1e-12 || (std::fabs(s - top) <= 1e-12 && t > at)) top = std::max(top, s), at = t;
      }
      return std::make_pair(top, at);
    };
    const auto youden = best([](const BruteCut& c) { return c.sens + c.tnr - 1; });
    const auto equal = best([](const BruteCut& c) { return -std::fabs(c.sens - c.tnr); });
    const auto kappa = best([](const BruteCut& c) { return c.kappa; });
    EXPECT_EQ(rows[0].threshold, youden.second) << where;
    EXPECT_EQ(rows[1].threshold, equal.second) << where;
    EXPECT_NEAR(*rows[2].kappa, kappa.first, 1e-12) << where;
    EXPECT_EQ(rows[2].threshold, kappa.second) << where;

    std::sort(training.begin(), training.end());
    EXPECT_EQ(rows[3].threshold, training.front()) << where;
    double tenth = training.front();
    for (double t : training) {
      if (static_cast<double>(std::count_if(training.begin(), training.end(), [&](double x) { return x < t; })) <= 0.1 * static_cast<double>(training.size())) tenth = t;
    }
    EXPECT_EQ(rows[4].threshold, tenth) << where;

    for (const ThresholdRow& r : rows) {
      const BruteCut c = CutAt(r.threshold, finds, nonFinds, cells);
      EXPECT_DOUBLE_EQ(r.sensitivity, c.sens) << where;
      EXPECT_DOUBLE_EQ(*r.specificity, c.tnr) << where;
      EXPECT_DOUBLE_EQ(r.area, c.area) << where;
      EXPECT_EQ(r.gain.has_value(), c.sens > 0) << where;
      if (r.gain) {
        EXPECT_NEAR(*r.gain, 1 - c.area / c.sens, 1e-12) << where;
      }
      if (finds.size() <= 25) {
        EXPECT_NEAR(r.p, PascalUpperTail(static_cast<int>(CountAtOrAbove(finds, r.threshold)), static_cast<int>(finds.size()), c.area), 1e-12) << where;
      }
    }
  }
}

TEST(Thresholds, BinomialTestEdgesAndTheNormalApproximation) {
  EXPECT_EQ(BinomialUpperTail(0, 10, 0.3), 1.0);
  EXPECT_EQ(BinomialUpperTail(3, 10, 0.0), 0.0);
  // A tiny area keeps its small but nonzero chance.
  EXPECT_NEAR(BinomialUpperTail(1, 25, 1e-20), 25e-20, 1e-30);
  for (int k : {100, 120, 135, 150}) EXPECT_NEAR(BinomialUpperTail(k, 400, 0.3), PascalUpperTail(k, 400, 0.3), 0.005) << k;
  // Presence-only records: no specificity, no kappa, and only the training rows.
  const auto rows = ThresholdTable({0.5, 0.9}, {}, {0.2, 0.6}, CountValues({0.1, 0.2, 0.5, 0.6, 0.9}));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].kind, ThresholdKind::MinimumTrainingPresence);
  EXPECT_EQ(ThresholdLine(rows[0]), "Threshold (minimum training presence): 0.200000, sensitivity 1.0000, specificity -, area 0.8000, gain 0.2000, p 0.6400");
  EXPECT_TRUE(ThresholdTable({}, {0.1}, {0.2}, CountValues({0.1})).empty());
}

TEST(Thresholds, LineAsValidateWritesIt) {
  ThresholdRow r;
  r.kind = ThresholdKind::YoudenJ;
  r.threshold = 0.1234564;
  r.sensitivity = 5.0 / 6;
  r.specificity = 0.9;
  r.area = 0.21;
  r.gain = 1 - 0.21 / (5.0 / 6);
  r.p = 0.0001;
  EXPECT_EQ(ThresholdLine(r), "Threshold (Youden's J): 0.123456, sensitivity 0.8333, specificity 0.9000, area 0.2100, gain 0.7480, p 0.0001");
  r.kind = ThresholdKind::EqualSensitivitySpecificity;
  r.gain.reset();
  EXPECT_EQ(ThresholdLine(r).substr(0, 56), "Threshold (equal sensitivity and specificity): 0.123456,");
  EXPECT_NE(ThresholdLine(r).find("gain -, p"), std::string::npos);
}

}  // namespace
}  // namespace karvelo
