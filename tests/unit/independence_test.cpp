// The conditional-independence tests after a mapping run, against sums and tables made from the grids.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "audit/audit.h"
#include "mapping/bayesmap.h"
#include "mapping/independence.h"
#include "mapping/uncertainty.h"
#include "render/qimage_canvas.h"
#include "stats/statstext.h"
#include "test_support.h"

namespace karvelo {
namespace {

class IndependenceTest : public test::ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    ws->FixedSeed = 77;
    TDataDef o = Grid("obs.asc", kObs);
    o.PositiveIndicatorValue = 1;
    o.NegativeIndicatorValue = 0;
    TDataDef a = Grid("a.asc", kA);
    SetClasses(a, {{1, 2}, {2, 3}});
    TDataDef b = Grid("b.asc", kB);
    SetClasses(b, {{1, 2}, {2, 3}, {3, 4}});
    ws->AddDataDef(o);
    ws->AddDataDef(a);
    ws->AddDataDef(b);
    RunAudit(*ws, tables, shell);
    SubmitFinal(*ws, shell);
    priors.textP = priors.textA = "0.5";
  }

  // The cells of a written grid, header skipped.
  static std::vector<double> Cells(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    for (int h = 0; h < 6; ++h) std::getline(in, line);
    std::vector<double> v;
    for (double x; in >> x;) v.push_back(x);
    return v;
  }

  const std::vector<std::vector<std::string>> kObs = {
      {"1", "1", "0", "1"}, {"0", "1", "1", "0"}, {"1", "0", "1", "1"}, {"0", "1", "-9999", "1"}};
  const std::vector<std::vector<std::string>> kA = {{"1", "1", "2", "2"}, {"1", "2", "2", "1"}, {"2", "1", "1", "2"}, {"2", "2", "1", "1"}};
  const std::vector<std::vector<std::string>> kB = {{"1", "2", "3", "1"}, {"2", "3", "1", "2"}, {"3", "1", "2", "3"}, {"1", "2", "3", "1"}};
  PriorControls priors;
  QImageCanvas picture{300, 300};
};

TEST_F(IndependenceTest, PlainRunSumsTheMapOverTheObservationsAndTablesThePresences) {
  ASSERT_TRUE(MapBayesianProbability(*ws, tables, priors, picture, kDefaultFace, shell));
  const std::vector<double> p = Cells((dir / "BayesP.asc").string());
  ASSERT_EQ(p.size(), 16u);
  long long n = 0;
  double expected = 0;
  std::vector<std::vector<long long>> table(2, std::vector<long long>(3, 0));
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      const std::string& o = kObs[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
      if (o == "1") ++table[static_cast<std::size_t>(std::stoi(kA[r][c]) - 1)][static_cast<std::size_t>(std::stoi(kB[r][c]) - 1)];
      const double v = p[static_cast<std::size_t>(r * 4 + c)];
      if (o == "-9999" || v == -9999) continue;
      n += o == "1";
      expected += v;
    }
  }
  const IndependenceReport report = TestConditionalIndependence(*ws, shell.run(), "BayesP.asc", std::nullopt);
  EXPECT_EQ(report.overall.presences, n);
  EXPECT_NEAR(report.overall.expected, expected, 1e-6);  // the map's 8 decimals
  EXPECT_FALSE(report.overall.z);
  ASSERT_EQ(report.pairs.size(), 1u);
  EXPECT_EQ(report.pairs[0].first, "a.asc");
  EXPECT_EQ(report.pairs[0].second, "b.asc");
  const ContingencyResult want = ContingencyTest(table);
  EXPECT_DOUBLE_EQ(report.pairs[0].result.test.value, want.test.value);
  EXPECT_EQ(report.pairs[0].result.test.df, 2);
  EXPECT_TRUE(report.pairs[0].result.sparse);  // 8 presences over 6 cells: every expectation is below 5

  // The run logged the same lines after an empty one, and left them for the window and `map`.
  ASSERT_FALSE(tables.Independence.empty());
  EXPECT_EQ(tables.Independence, IndependenceLines(report));
  EXPECT_EQ(tables.Independence[0].rfind("Conditional independence: presences " + std::to_string(n) + ", expected ", 0), 0u);
  const auto& log = shell.logLines;
  const auto at = std::find(log.begin(), log.end(), tables.Independence[0]);
  ASSERT_NE(at, log.end());
  EXPECT_EQ(*(at - 1), "");
  EXPECT_EQ(*(at + 1), tables.Independence[1]);
  EXPECT_EQ(*(at + 2), tables.Independence[2]);
  EXPECT_EQ(tables.Independence[1].rfind("Conditional independence (calibrated): presences " + std::to_string(n) + ", expected ", 0), 0u);
  EXPECT_EQ(tables.Independence[2].rfind("Pairwise independence of presences: a.asc x b.asc: Chi2 = ", 0), 0u);
  // The calibrated test sums over the same cells.
  EXPECT_EQ(report.calibrated.presences, n);
  EXPECT_GT(report.calibrated.expected, 0);
}

TEST_F(IndependenceTest, UncertaintyRunAddsZFromTheStandardDeviations) {
  ASSERT_TRUE(ErrorProp(*ws, tables, priors, EvidenceLevel::All, picture, kDefaultFace, shell));
  const std::vector<double> avg = Cells((dir / "AVGBayesP.asc").string()), sd = Cells((dir / "SDBayesP.asc").string());
  long long n = 0;
  double expected = 0, variance = 0;
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      const std::string& o = kObs[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
      const double v = avg[static_cast<std::size_t>(r * 4 + c)];
      if (o == "-9999" || v == -1) continue;
      n += o == "1";
      expected += v;
      variance += sd[static_cast<std::size_t>(r * 4 + c)] * sd[static_cast<std::size_t>(r * 4 + c)];
    }
  }
  ASSERT_GT(variance, 0);
  const double z = (expected - static_cast<double>(n)) / std::sqrt(variance);
  const IndependenceReport report = TestConditionalIndependence(*ws, shell.run(), "AVGBayesP.asc", std::filesystem::path("SDBayesP.asc"));
  EXPECT_EQ(report.overall.presences, n);
  ASSERT_TRUE(report.overall.z && report.overall.p);
  EXPECT_NEAR(*report.overall.z, z, 1e-6);
  EXPECT_NEAR(*report.overall.p, 0.5 * std::erfc(z / std::sqrt(2.0)), 1e-6);
  EXPECT_NE(tables.Independence[0].find(", z = "), std::string::npos);
}

TEST(IndependenceLines, Formats) {
  EXPECT_EQ(ConditionalIndependenceLine(45, 49.31, std::nullopt, std::nullopt),
            "Conditional independence: presences 45, expected 49.31, ratio 0.91");
  EXPECT_EQ(ConditionalIndependenceLine(45, 49.31, 1.02, 0.15386),
            "Conditional independence: presences 45, expected 49.31, ratio 0.91, z = 1.02, p = 0.1539");
  EXPECT_EQ(ConditionalIndependenceLine(0, 0, std::nullopt, std::nullopt), "Conditional independence: presences 0, expected 0.00, ratio -");
  ContingencyResult r;
  r.tested = true;
  r.test = {12.34, 6, Significance::None};
  r.p = 0.05481;
  EXPECT_EQ(PairwiseIndependenceLines("dist.asc", "soil.asc", r),
            std::vector<std::string>{"Pairwise independence of presences: dist.asc x soil.asc: Chi2 = 12.34, df = 6, p = 0.0548"});
  r.sparse = true;
  EXPECT_EQ(PairwiseIndependenceLines("dist.asc", "soil.asc", r).size(), 2u);
  r.tested = false;
  EXPECT_NE(PairwiseIndependenceLines("a", "b", r)[0].find("no test"), std::string::npos);
}

}  // namespace
}  // namespace karvelo
