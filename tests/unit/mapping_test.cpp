// Priors, the class test, random absences and the probability map.
#include <gtest/gtest.h>

#include "audit/audit.h"
#include "audit/workfiles.h"
#include "core/gridfile.h"
#include "core/random.h"
#include "mapping/bayesmap.h"
#include "mapping/priors.h"
#include "render/maprender.h"
#include "render/qimage_canvas.h"
#include "stats/statstext.h"
#include "test_support.h"

namespace karvelo {
namespace {

using test::GridText;
using test::RecordingShell;
using test::TempDir;
using test::WriteFile;

TEST(RandomGenerator, LinearCongruentialDraws) {
  RandomGenerator g;
  g.SetSeed(0);
  EXPECT_EQ(g.Random(10), 0u);  // seed 1: 10 / 2^32 -> 0
  EXPECT_EQ(g.Seed(), 1u);
  EXPECT_EQ(g.Random(1000), static_cast<std::uint32_t>((134775814ull * 1000) >> 32));
  EXPECT_EQ(g.Seed(), 134775814u);
  g.SetSeed(0xFFFFFFFFu);
  g.Random(7);
  EXPECT_EQ(g.Seed(), static_cast<std::uint32_t>(0xFFFFFFFFull * 134775813ull + 1));
  g.Randomize(std::uint32_t{42});
  EXPECT_EQ(g.Seed(), 42u);
}

TEST(Priors, EntryRules) {
  auto ws = std::make_unique<Workspace>();
  PriorControls c;
  c.textP = "0.3";
  PriorEntry(c, true, *ws);
  EXPECT_EQ(c.textA, "0.700");
  EXPECT_EQ(ws->PriorP, 0.3);
  EXPECT_EQ(ws->PriorA, 0.7);

  c.textP = "0.1234";
  PriorEntry(c, true, *ws);
  EXPECT_EQ(c.textP, "0.1234");
  EXPECT_EQ(c.textA, "0.877");
  EXPECT_EQ(ws->PriorA, 0.877);

  for (const char* bad : {"1.5", "-0.1", "abc", ""}) {
    c.textA = bad;
    PriorEntry(c, false, *ws);
    EXPECT_EQ(c.textP, "0.5") << bad;
    EXPECT_EQ(c.textA, "0.5") << bad;
    EXPECT_EQ(ws->PriorP, 0.5);
  }
  c.textA = "1";
  PriorEntry(c, false, *ws);
  EXPECT_EQ(c.textP, "0.000");
  EXPECT_EQ(ws->PriorP, 0);
}

TEST(ClassTest, SmoothedProbabilitiesAndTheEvenSplitStatistic) {
  EXPECT_EQ(CPText(SmoothedCP(3, 1)), "0.667");
  EXPECT_EQ(CPText(SmoothedCP(1, 3)), "0.333");
  EXPECT_NEAR(EvenSplitTest(3, 1).value, 0.4444, 1e-4);
  EXPECT_EQ(Chi2SignText(EvenSplitTest(3, 1)), "     0.444 NS");
  EXPECT_EQ(Chi2SignText(EvenSplitTest(0, 0)), "     0.000 NS");
}

// A small configuration with class files, audited and submitted, ready to map.
class MappingTest : public test::ScratchFolderTest {
 protected:
  void AuditAndSubmit() {
    RunAudit(*ws, tables, shell);
    SubmitFinal(*ws, shell);
  }
  std::vector<std::string> MapRows() {
    const auto lines = ReadTextLinesOf("BayesP.asc");
    return std::vector<std::string>(lines.begin() + 6, lines.end());
  }
  static std::vector<std::string> ReadTextLinesOf(const std::string& f) {
    std::vector<std::string> lines;
    std::string text = test::ReadFile(f), line;
    for (char ch : text) {
      if (ch == '\n') {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        line.clear();
      } else {
        line += ch;
      }
    }
    return lines;
  }

  PriorControls priors;
  QImageCanvas picture{300, 300};
};

TEST_F(MappingTest, ProbabilitiesPerCell) {
  // Class 1 of "soil" holds 8 presences and no absence (significant), class 2 holds 3 presences
  // and 1 absence (not significant). Row 3 is outside the classes; one cell has no data.
  std::vector<std::vector<std::string>> obs = {{"1", "1", "1", "1"}, {"1", "1", "1", "1"}, {"1", "1", "1", "0"}, {"-9999", "-9999", "-9999", "-9999"}};
  std::vector<std::vector<std::string>> soil = {{"1", "1", "1", "1"}, {"1", "1", "1", "1"}, {"2", "2", "2", "2"}, {"9", "9", "-9999", "1"}};
  TDataDef o = Grid("obs.asc", obs);
  o.PositiveIndicatorValue = 1;
  o.NegativeIndicatorValue = 0;
  TDataDef s = Grid("soil.asc", soil);
  SetClasses(s, {{1, 2}, {2, 3}});
  ws->AddDataDef(o);
  ws->AddDataDef(s);
  AuditAndSubmit();
  ASSERT_TRUE(MapBayesianProbability(*ws, tables, priors, picture, kDefaultFace, shell));

  EXPECT_EQ(tables.BayesTable.Row(1), (std::vector<std::string>{"soil", "1", "8", "0.900", "0", "0.100", "0.5"}));
  EXPECT_EQ(tables.BayesTable.Row(2), (std::vector<std::string>{"soil", "2", "3", "0.667", "1", "0.333", "0.5"}));
  EXPECT_EQ(tables.Chi2a.Row(2), (std::vector<std::string>{"soil.asc", "2", "0.667", "0.333", "     0.444 NS"}));
  EXPECT_EQ(tables.Chi2a.Cell(4, 1), "     5.120 *");  // 2 * 8 * (0.4^2 + 0.4^2)

  const auto rows = MapRows();
  ASSERT_EQ(rows.size(), 4u);
  // Class 1: 0.5 * 0.9 / (0.5 * 0.9 + 0.5 * 0.1) = 0.9; class 2 is not significant: the prior.
  EXPECT_EQ(rows[0], "0.90000000 0.90000000 0.90000000 0.90000000 ");
  EXPECT_EQ(rows[2], "0.50000000 0.50000000 0.50000000 0.50000000 ");
  // Row 4 lies outside the mapped area (9 is in no class, no data, and class 1 at column 4 is
  // inside): only column 4 gets a value.
  EXPECT_EQ(rows[3], "-9999.00000000 -9999.00000000 -9999.00000000 0.90000000 ");
  EXPECT_TRUE(std::filesystem::exists("BayesP.bmp"));
  EXPECT_TRUE(std::filesystem::exists("Bayeslog10P.bmp"));
  // The picture ends on the log10 map: 0.9 is the darkest, 0.5 white, no data red.
  EXPECT_EQ(picture.Pixel(10, 10), (Rgb{1, 1, 1}));
  EXPECT_EQ(picture.Pixel(10, 160), (Rgb{255, 255, 255}));
  EXPECT_EQ(picture.Pixel(10, 240), kNoDataRed);
  const auto& log = shell.logLines;
  EXPECT_NE(std::find(log.begin(), log.end(), "Prior probability presence: 0.5 (manual input)"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "Map of results written to file BayesP.asc (ascii-grid)."), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "Table with mapping data"), log.end());
}

TEST_F(MappingTest, AClassOfMinusOneInAnyGridMakesNoData) {
  TDataDef o = Grid("obs.asc", {{"1", "0"}});
  o.PositiveIndicatorValue = 1;
  o.NegativeIndicatorValue = 0;
  TDataDef a = Grid("a.asc", {{"1", "1"}});
  SetClasses(a, {{1, 2}, {2, 3}});
  TDataDef b = Grid("b.asc", {{"1", "5"}});  // 5 lies in no class of b, though the cell is inside a's classes
  SetClasses(b, {{1, 2}, {2, 3}});
  ws->AddDataDef(o);
  ws->AddDataDef(a);
  ws->AddDataDef(b);
  AuditAndSubmit();
  ASSERT_TRUE(MapBayesianProbability(*ws, tables, priors, picture, kDefaultFace, shell));
  EXPECT_EQ(MapRows()[0], "0.50000000 -9999.00000000 ");
}

TEST_F(MappingTest, PriorChoicesLogTheirWay) {
  TDataDef o = Grid("obs.asc", {{"1", "-9999", "0", "0"}});
  o.PositiveIndicatorValue = 1;
  o.NegativeIndicatorValue = 0;
  TDataDef a = Grid("a.asc", {{"1", "1", "2", "2"}});
  SetClasses(a, {{1, 2}, {2, 3}});
  ws->AddDataDef(o);
  ws->AddDataDef(a);
  AuditAndSubmit();
  priors.choice = PriorKind::Frequency;
  ASSERT_TRUE(PriorStep(*ws, priors, shell, false));
  EXPECT_DOUBLE_EQ(ws->PriorP, 1.0 / 3.0);
  EXPECT_EQ(priors.textP, "0.333");
  EXPECT_EQ(shell.logLines.back(), "Prior probability absence: 0.667 (calculated by relative frequencies of the observations)");
  ASSERT_TRUE(PriorStep(*ws, priors, shell, true));
  EXPECT_EQ(shell.logLines.back(), "Prior probability absence: 0.667 (relative frequencies of the observations)");
  priors.choice = PriorKind::Decluster;
  ASSERT_TRUE(PriorStep(*ws, priors, shell, false));

  EXPECT_EQ(ws->PriorP, 0.5);  // columns 1 and 2 take the presence (column 2 by tie order), 3 and 4 the absence
  EXPECT_EQ(shell.logLines.back(), "Prior probability absence: 0.500 (calculated after spatial declustering of the observations)");
  priors.choice = PriorKind::Manual;
  priors.textP = "x";
  EXPECT_FALSE(PriorStep(*ws, priors, shell, false));
  EXPECT_FALSE(shell.messages.empty());
}

class RandomAbsenceTest : public MappingTest {
 protected:
  // Two presences inside a 5 x 2 area, no absence grid.
  void SetUpPresencesOnly() {
    TDataDef o = Grid("obs.asc", {{"1", "-9999", "-9999", "-9999", "-9999"}, {"-9999", "-9999", "-9999", "-9999", "1"}});
    o.PositiveIndicatorValue = 1;
    TDataDef a = Grid("a.asc", {{"1", "1", "2", "2", "2"}, {"1", "1", "2", "2", "2"}});
    SetClasses(a, {{1, 2}, {2, 3}});
    ws->AddDataDef(o);
    ws->AddDataDef(a);
    AuditAndSubmit();
    ASSERT_TRUE(ws->RandomAbsences);
    ws->FixedSeed = 12345;
  }
  long long Absences() {
    long long n = 0;
    for (int r = 1; r <= 2; ++r)
      for (int c = 1; c <= 5; ++c) n += ws->AbsenceRaster.at(r, c);
    return n;
  }
};

TEST_F(RandomAbsenceTest, TheNumberFollowsThePriorAndCellsAreDistinct) {
  SetUpPresencesOnly();
  priors.textP = "0.4";
  PriorEntry(priors, true, *ws);
  const std::size_t messagesBefore = shell.messages.size();
  ASSERT_TRUE(MapBayesianProbability(*ws, tables, priors, picture, kDefaultFace, shell));
  EXPECT_EQ(shell.messages.size(), messagesBefore);  // the re-run audit is quiet
  EXPECT_EQ(Absences(), 3);  // round(2 / 0.4) - 2
  EXPECT_EQ(ws->AbsenceRaster.at(1, 1), 0);  // never on a presence
  const auto& log = shell.logLines;
  EXPECT_NE(std::find(log.begin(), log.end(), std::string(kRandomAbsenceCaption) + " at 3 locations."), log.end());
  // The re-run audit counted them.
  EXPECT_EQ(ws->FrequencyCounts[0].absences + ws->FrequencyCounts[1].absences, 3);
  EXPECT_FALSE(ws->QuietAudit);

  // The same seed gives the same absences.
  const std::string first = test::ReadFile("BayesP.asc");
  std::vector<std::uint8_t> cells;
  for (int c = 1; c <= 5; ++c) cells.push_back(ws->AbsenceRaster.at(1, c)), cells.push_back(ws->AbsenceRaster.at(2, c));
  ASSERT_TRUE(MapBayesianProbability(*ws, tables, priors, picture, kDefaultFace, shell));
  std::vector<std::uint8_t> again;
  for (int c = 1; c <= 5; ++c) again.push_back(ws->AbsenceRaster.at(1, c)), again.push_back(ws->AbsenceRaster.at(2, c));
  EXPECT_EQ(cells, again);
  EXPECT_EQ(test::ReadFile("BayesP.asc"), first);
}

TEST_F(RandomAbsenceTest, ImpossibleNumbersStopTheRun) {
  SetUpPresencesOnly();
  for (const char* p : {"0", "1", "0.1"}) {  // division by zero, N = 0, N = 18 > 8 free cells
    priors.textP = p;
    PriorEntry(priors, true, *ws);
    shell.messages.clear();
    EXPECT_FALSE(MapBayesianProbability(*ws, tables, priors, picture, kDefaultFace, shell)) << p;
    ASSERT_EQ(shell.messages.size(), 1u) << p;
    EXPECT_NE(shell.messages[0].find("Absences cannot be generated"), std::string::npos);
  }
  priors.textP = "0.2";  // N = 8: every free cell
  PriorEntry(priors, true, *ws);
  ASSERT_TRUE(MapBayesianProbability(*ws, tables, priors, picture, kDefaultFace, shell));
  EXPECT_EQ(Absences(), 8);
}

}  // namespace
}  // namespace karvelo
