// Weights of evidence against hand computations, and the calibrated independence test on constructed cases.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "audit/audit.h"
#include "mapping/calibrated.h"
#include "mapping/weights.h"
#include "test_support.h"

namespace karvelo {
namespace {

TEST(WeightsOfClass, MatchesAHandComputation) {
  // 6 of 10 presences and 4 of 40 absences in the class: P(c|D) = 0.6, P(c|~D) = 0.1.
  const ClassWeights w = WeightsOfClass(6, 4, 10, 40);
  EXPECT_FALSE(w.halfAdded);
  EXPECT_NEAR(w.wPlus, std::log(6.0), 1e-12);
  EXPECT_NEAR(w.wMinus, std::log(0.4 / 0.9), 1e-12);
  EXPECT_NEAR(w.sPlus, std::sqrt(1.0 / 6 + 1.0 / 4), 1e-12);
  EXPECT_NEAR(w.sMinus, std::sqrt(1.0 / 4 + 1.0 / 36), 1e-12);
  EXPECT_NEAR(w.contrast, std::log(13.5), 1e-12);
  EXPECT_NEAR(w.studentized, std::log(13.5) / std::sqrt(1.0 / 6 + 1.0 / 4 + 1.0 / 4 + 1.0 / 36), 1e-12);

  // No presence in the class: 0.5 on each of 0, 5, 10 and 15 gives P(c|D) = 0.5/11, P(c|~D) = 5.5/21.
  const ClassWeights z = WeightsOfClass(0, 5, 10, 20);
  EXPECT_TRUE(z.halfAdded);
  EXPECT_NEAR(z.wPlus, std::log((0.5 / 11) / (5.5 / 21)), 1e-12);
  EXPECT_NEAR(z.sMinus, std::sqrt(1 / 10.5 + 1 / 15.5), 1e-12);
  // A grid without any presence or absence, and counts beyond the totals, stay finite.
  for (const ClassWeights& w2 : {WeightsOfClass(0, 0, 0, 0), WeightsOfClass(7, 3, 5, 2), WeightsOfClass(4, 0, 4, 9)}) {
    EXPECT_TRUE(w2.halfAdded);
    EXPECT_TRUE(std::isfinite(w2.wPlus) && std::isfinite(w2.wMinus) && std::isfinite(w2.studentized));
  }
}

TEST(WeightsOfClass, ContrastIsTheLogOddsRatioOnRandomCounts) {
  const unsigned seed = test::TestSeed();
  SCOPED_TRACE(test::SeedTrace(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> count(0, 12);
  for (int i = 0; i < 500; ++i) {
    const int a = count(random), b = count(random), c = count(random), d = count(random);  // in/out x presence/absence
    const ClassWeights w = WeightsOfClass(a, b, a + c, b + d);
    const bool zero = a == 0 || b == 0 || c == 0 || d == 0;
    EXPECT_EQ(w.halfAdded, zero);
    const double h = zero ? 0.5 : 0.0;
    const double A = a + h, B = b + h, C = c + h, D = d + h;
    EXPECT_NEAR(w.contrast, std::log(A * D / (B * C)), 1e-9);
    EXPECT_NEAR(w.sContrast, std::sqrt(1 / A + 1 / B + 1 / C + 1 / D), 1e-9);
    EXPECT_NEAR(std::exp(w.wPlus), (A / (A + C)) / (B / (B + D)), 1e-9);
  }
}

class WeightsTableTest : public test::ScratchFolderTest {};

TEST_F(WeightsTableTest, RowsFollowTheAuditsCountsAndTheFileReadsAsWritten) {
  TDataDef o = Grid("obs.asc", {{"1", "1", "0", "0"}, {"1", "0", "0", "-9999"}});
  o.PositiveIndicatorValue = 1;
  o.NegativeIndicatorValue = 0;
  TDataDef a = Grid("a,b.asc", {{"1", "1", "2", "2"}, {"1", "2", "2", "1"}});
  SetClasses(a, {{1, 1.5}, {1.5, 2.5}});
  ws->AddDataDef(o);
  ws->AddDataDef(a);
  RunAudit(*ws, tables, shell);
  const std::vector<WeightsRow> rows = WeightsOfEvidence(*ws);
  ASSERT_EQ(rows.size(), 2u);
  // Class 1 holds 3 presences and no absence, class 2 no presence and 4 absences.
  EXPECT_EQ(rows[0].presences, 3);
  EXPECT_EQ(rows[0].absences, 0);
  EXPECT_EQ(rows[1].absences, 4);
  EXPECT_TRUE(rows[0].w.halfAdded && rows[1].w.halfAdded);
  EXPECT_NEAR(rows[0].w.wPlus, std::log((3.5 / 4) / (0.5 / 5)), 1e-12);
  EXPECT_DOUBLE_EQ(rows[1].lower, 1.5);

  const std::filesystem::path file = ReportWeightsOfEvidence(rows, shell);
  EXPECT_EQ(file.filename().string(), kWeightsFile);
  const std::string text = test::ReadFile(file);
  EXPECT_EQ(text.substr(0, text.find("\r\n")),
            "Grid,Class,Lower,Upper,Cells,Presences,Absences,W+,s(W+),W-,s(W-),C,s(C),Studentized C,Note");
  const std::string second = text.substr(text.find("\r\n") + 2, text.find("\r\n", text.find("\r\n") + 2) - text.find("\r\n") - 2);
  // ln 8.75 with 4 decimals.
  EXPECT_EQ(second.rfind("\"a,b.asc\",1,1,1.5," + std::to_string(rows[0].cells) + ",3,0,2.1691,", 0), 0u) << second;
  EXPECT_EQ(second.substr(second.size() - 24), ",0.5 added to each count");
  const auto title = std::find(shell.logLines.begin(), shell.logLines.end(), "Weights of evidence per class (Weights.csv)");
  ASSERT_NE(title, shell.logLines.end());
  EXPECT_EQ(*(title - 1), "");
}

// Observation cells of two classified grids (classes 1 and 2) given as counts per class pair.
struct Cells {
  long long presences[2][2], absences[2][2];
};

std::vector<WeightsRow> WeightsOf(const Cells& c, bool secondGrid) {
  std::vector<WeightsRow> rows;
  const long long np = c.presences[0][0] + c.presences[0][1] + c.presences[1][0] + c.presences[1][1];
  const long long na = c.absences[0][0] + c.absences[0][1] + c.absences[1][0] + c.absences[1][1];
  for (int g = 0; g < (secondGrid ? 2 : 1); ++g) {
    for (int k = 0; k < 2; ++k) {
      const long long p = g == 0 ? c.presences[k][0] + c.presences[k][1] : c.presences[0][k] + c.presences[1][k];
      const long long a = g == 0 ? c.absences[k][0] + c.absences[k][1] : c.absences[0][k] + c.absences[1][k];
      WeightsRow row;
      row.entry = g + 2;
      row.klasse = k + 1;
      row.w = WeightsOfClass(p, a, np, na);
      rows.push_back(row);
    }
  }
  return rows;
}

CalibratedIndependence Calibrated(const Cells& c, bool secondGrid) {
  std::vector<ClassFileStream> streams(2);
  streams[0].slot = 2;
  streams[1].slot = 3;
  streams[0].nClasses = streams[1].nClasses = 2;
  CalibratedSum sum(streams, WeightsOf(c, secondGrid));
  sum.Add({-1, 1}, true);  // a grid without a value there: not a cell of the test
  for (int i = 0; i < 2; ++i) {
    for (int j = 0; j < 2; ++j) {
      for (long long n = 0; n < c.presences[i][j]; ++n) sum.Add({i + 1, j + 1}, true);
      for (long long n = 0; n < c.absences[i][j]; ++n) sum.Add({i + 1, j + 1}, false);
    }
  }
  return sum.Result();
}

TEST(CalibratedIndependence, SumsTheCalibratedPosteriors) {
  // Within the presences and within the absences the two grids are independent (each table is the
  // product of its margins), so the naive posterior is each pair's share of presences: T = n.
  const Cells independent{{{4, 2}, {2, 1}}, {{1, 2}, {2, 4}}};
  const CalibratedIndependence t = Calibrated(independent, true);
  EXPECT_EQ(t.presences, 9);
  EXPECT_EQ(t.absences, 9);
  EXPECT_NEAR(t.expected, 9, 1e-9);
  ASSERT_TRUE(t.z && t.p);
  EXPECT_NEAR(*t.z, 0, 1e-9);
  EXPECT_NEAR(*t.p, 0.5, 1e-9);

  // The second grid a copy of the first: class 1 holds 8 presences and 3 absences, class 2 1 and 6.
  const Cells copies{{{8, 0}, {0, 1}}, {{3, 0}, {0, 6}}};
  // One grid: each class's posterior is its share, T = n.
  EXPECT_NEAR(Calibrated(copies, false).expected, 9, 1e-9);
  // Both: odds 1 times (8/3)^2 in class 1 and (1/6)^2 in class 2, over 11 and 7 cells; the pairs
  // left empty by the copy do not matter, only each grid's own counts, and none of those is 0.
  const double p1 = (64.0 / 9) / (1 + 64.0 / 9), p2 = (1.0 / 36) / (1 + 1.0 / 36);
  const double s1 = 1.0 / 8 + 1.0 / 3, s2 = 1.0 + 1.0 / 6;  // s^2(W+) per class, each grid
  const CalibratedIndependence both = Calibrated(copies, true);
  EXPECT_NEAR(both.expected, 11 * p1 + 7 * p2, 1e-9);
  EXPECT_GT(both.expected / 9, 1.05);
  EXPECT_NEAR(both.variance, 11 * p1 * p1 * 2 * s1 + 7 * p2 * p2 * 2 * s2, 1e-9);
  ASSERT_TRUE(both.z);
  EXPECT_NEAR(*both.z, (both.expected - 9) / std::sqrt(both.variance), 1e-12);
  EXPECT_LT(*both.p, 0.5);
}

TEST(CalibratedIndependence, Formats) {
  CalibratedIndependence t;
  t.presences = 52;
  t.expected = 49.814;
  t.z = -0.6234;
  t.p = 0.73349;
  EXPECT_EQ(CalibratedIndependenceLine(t),
            "Conditional independence (calibrated): presences 52, expected 49.81, expected/presences 0.96, z -0.62, p 0.7335");
  EXPECT_EQ(CalibratedIndependenceLine(CalibratedIndependence{}),
            "Conditional independence (calibrated): presences 0, expected 0.00, expected/presences -, z -, p -");
}

}  // namespace
}  // namespace karvelo
