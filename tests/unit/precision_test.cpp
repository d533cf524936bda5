// The notes on maps whose decimals cannot tell their probabilities apart, and on tied records.
#include <gtest/gtest.h>

#include <sstream>

#include "audit/audit.h"
#include "mapping/bayesmap.h"
#include "mapping/precisionnote.h"
#include "mapping/uncertainty.h"
#include "render/qimage_canvas.h"
#include "test_support.h"
#include "validation/aucintervals.h"

namespace karvelo {
namespace {

// Presences only, in the two cells of class 1 of four grids alike; the random absences all fall
// in class 2, whose cells then get a probability far below 0.000000005 under a prior of 0.01.
class PresenceOnlyTest : public test::ScratchFolderTest {
 protected:
  void SetUpCase(const std::string& prior) {
    std::vector<std::vector<std::string>> obs(20, std::vector<std::string>(20, "-9999"));
    std::vector<std::vector<std::string>> aux(20, std::vector<std::string>(20, "2"));
    obs[0][0] = obs[19][19] = "1";
    aux[0][0] = aux[19][19] = "1";
    TDataDef o = Grid("obs.asc", obs);
    o.PositiveIndicatorValue = 1;
    ws->AddDataDef(o);
    for (const char* name : {"a.asc", "b.asc", "c.asc", "d.asc"}) {
      TDataDef a = Grid(name, aux);
      SetClasses(a, {{1, 2}, {2, 3}});
      ws->AddDataDef(a);
    }
    RunAudit(*ws, tables, shell);
    SubmitFinal(*ws, shell);
    ASSERT_TRUE(ws->RandomAbsences);
    ws->FixedSeed = 7;
    priors.textP = prior;
    PriorEntry(priors, true, *ws);
  }
  // Cells of the written grid (after its header) whose text reads 0.
  static long long ZeroCells(const std::string& file, const std::string& zero) {
    std::istringstream in(test::ReadFile(file));
    std::string line;
    for (int i = 0; i < 6; ++i) std::getline(in, line);
    long long n = 0;
    for (std::string cell; in >> cell;) n += cell == zero;
    return n;
  }
  bool Logged(const std::string& line) const {
    return std::find(shell.logLines.begin(), shell.logLines.end(), line) != shell.logLines.end();
  }

  PriorControls priors;
  QImageCanvas picture{300, 300};
};

TEST_F(PresenceOnlyTest, CellsWrittenAsZeroAreCountedShownAndLogged) {
  SetUpCase("0.01");
  ASSERT_TRUE(MapBayesianProbability(*ws, tables, priors, picture, kDefaultFace, shell));
  // Every cell but the two presences is written as 0, though none holds 0.
  ASSERT_EQ(ZeroCells("BayesP.asc", "0.00000000"), 398);
  const std::string note =
      "398 cells of BayesP.asc (99.5%) hold probabilities below 0.000000005 and are written as 0.00000000, so they "
      "cannot be told apart. A larger prior or fewer grids keeps them apart.";
  EXPECT_TRUE(Logged(note));
  ASSERT_FALSE(shell.messages.empty());
  EXPECT_EQ(shell.messages.back(), note);

  // The uncertainty run writes 10 decimals: its cells fall below that too.
  shell.messages.clear();
  ASSERT_TRUE(ErrorProp(*ws, tables, priors, EvidenceLevel::All, picture, kDefaultFace, shell));
  const long long zeros = ZeroCells("AVGBayesP.asc", "0.0000000000");
  ASSERT_GT(zeros, 0);
  ASSERT_EQ(shell.messages.size(), 1u);
  EXPECT_EQ(shell.messages[0].rfind(std::to_string(zeros) + " cells of AVGBayesP.asc (", 0), 0u) << shell.messages[0];
  EXPECT_NE(shell.messages[0].find("hold probabilities below 0.00000000005 and are written as 0.0000000000, so"),
            std::string::npos);
}

TEST_F(PresenceOnlyTest, ALargerPriorKeepsTheCellsApartAndSaysNothing) {
  SetUpCase("0.3");
  ASSERT_TRUE(MapBayesianProbability(*ws, tables, priors, picture, kDefaultFace, shell));
  EXPECT_EQ(ZeroCells("BayesP.asc", "0.00000000"), 0);
  for (const std::string& m : shell.messages) EXPECT_EQ(m.find("cannot be told apart"), std::string::npos) << m;
  for (const std::string& l : shell.logLines) EXPECT_EQ(l.find("cannot be told apart"), std::string::npos) << l;
}

TEST(WrittenAsZero, OnlyProbabilitiesAboveZeroWrittenAsZeroCount) {
  WrittenAsZero count("BayesP.asc", 8);
  count.Add(0, "0.00000000 ");             // a true 0 is no loss
  count.Add(4.9e-9, "0.00000000 ");        // lost
  count.Add(5.1e-9, "0.00000001 ");        // kept
  count.Add(0.25, "0.25000000 ");
  EXPECT_EQ(count.Cells(), 4);
  EXPECT_EQ(count.Lost(), 1);
  EXPECT_EQ(*count.Note(),
            "1 cells of BayesP.asc (25.0%) hold probabilities below 0.000000005 and are written as 0.00000000, so they "
            "cannot be told apart. A larger prior or fewer grids keeps them apart.");
  WrittenAsZero none("AVGBayesP.asc", 10);
  none.Add(0.5, "0.5000000000 ");
  EXPECT_FALSE(none.Note().has_value());
}

TEST(LowestTieNote, MoreThanATenthOfTheRecordsAtTheLowestValue) {
  RocCounts counts;
  counts.findScores = {0.5, 0.9, 0.0};
  counts.nonFindScores = {0.0, 0.1, 0.2, 0.3, 0.4, 0.6, 0.7};
  // 2 of 10 records hold 0.
  EXPECT_EQ(LowestTieNote(counts), "Note: 2 records share the lowest map value; their order is unknown to the ROC.");
  // 1 of 10 is a tenth, not more.
  counts.findScores[2] = 0.05;
  EXPECT_FALSE(LowestTieNote(counts).has_value());
  // The lowest value need not be 0, and finds and non-finds count alike.
  counts = RocCounts{};
  counts.findScores = {0.2, 0.2, 0.2};
  counts.nonFindScores = {0.2, 0.5};
  EXPECT_EQ(LowestTieNote(counts), "Note: 4 records share the lowest map value; their order is unknown to the ROC.");
  EXPECT_FALSE(LowestTieNote(RocCounts{}).has_value());
  // One record alone at the lowest value shares it with none, however few the records.
  counts.findScores = {0.9, 0.8, 0.3};
  counts.nonFindScores = {0.7, 0.2, 0.1};
  EXPECT_FALSE(LowestTieNote(counts).has_value());
}

}  // namespace
}  // namespace karvelo
