// The uncertainty run: propagated cells, the evidence filter, the bootstrap files and statistics.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "audit/audit.h"
#include "audit/workfiles.h"
#include "core/gridfile.h"
#include "core/numfmt.h"
#include "mapping/bayesmap.h"
#include "mapping/uncertainty.h"
#include "render/qimage_canvas.h"
#include "test_support.h"

namespace karvelo {
namespace {

using test::GridText;
using test::RecordingShell;
using test::TempDir;
using test::WriteFile;

TEST(ErrorPropCell, WorkedCells) {
  const ClassEvidence a{0.6, 0.05, 0.4, 0.05}, b{0.7, 0.02, 0.3, 0.02};
  CellEstimate e = ErrorPropCell({a}, true, 0.5, 0.5, 1, EvidenceThreshold(EvidenceLevel::All));
  EXPECT_EQ(FormatGridNumber(e.P, 10), "0.6000000000");
  EXPECT_EQ(FormatGridNumber(e.sigma, 10), "0.7714920609");
  EXPECT_NEAR(std::exp(-e.t * e.t / 2), 0.9916, 1e-4);
  for (int level = 1; level <= 5; ++level) EXPECT_EQ(ErrorPropCell({a}, true, 0.5, 0.5, 1, EvidenceThreshold(kEvidenceLevels[level])).P, -1.0);

  e = ErrorPropCell({a}, true, 0.3, 0.7, 1, EvidenceThreshold(EvidenceLevel::All));
  EXPECT_EQ(FormatGridNumber(e.P, 10), "0.3913043478");
  EXPECT_EQ(FormatGridNumber(e.sigma, 10), "0.5050762362");

  e = ErrorPropCell({a, b}, true, 0.5, 0.5, 2, EvidenceThreshold(EvidenceLevel::All));
  EXPECT_EQ(FormatGridNumber(e.P, 10), "0.7777777778");
  EXPECT_EQ(FormatGridNumber(e.sigma, 10), "1.0559994735");
  EXPECT_NEAR(e.t, 0.372, 5e-4);

  // Every class replaced by 1: the prior itself, t = 0, filtered at every level but "(all)".
  const ClassEvidence neutral{1, 0, 1, 0};
  e = ErrorPropCell({neutral}, true, 0.5, 0.5, 1, EvidenceThreshold(EvidenceLevel::All));
  EXPECT_EQ(e.P, 0.5);
  EXPECT_EQ(ErrorPropCell({neutral}, true, 0.5, 0.5, 1, EvidenceThreshold(EvidenceLevel::VeryWeak)).P, -1.0);
  EXPECT_EQ(ErrorPropCell({a}, false, 0.5, 0.5, 1, EvidenceThreshold(EvidenceLevel::All)).P, -1.0);
}

TEST(Bootstrap, LineFormats) {
  EXPECT_EQ(BootstrapHeader(), "Nr. Filename                            Class CpPres   CpAbs");
  // Sample in 3, the name padded to 35, the class in 5, both probabilities in 8 with 6 decimals.
  EXPECT_EQ(BootstrapLine(7, "soil.asc", 3, 0.5, 1.0 / 3.0),
            "  7 " + std::string("soil.asc") + std::string(27, ' ') + " " + "    3" + " " + "0.500000" + " " + "0.333333");
  EXPECT_EQ(BootstrapLine(50, std::string(40, 'x'), 12, 0.25, 0.75).substr(0, 46), " 50 " + std::string(40, 'x') + "  ");
}

class UncertaintyTest : public test::ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    ws->FixedSeed = 2024;
  }

  // Six presences crowded in class 1, absences spread; a second grid with overlapping classes.
  void Configuration() {
    TDataDef o = Grid("obs.asc", {{"1", "1", "1", "0", "-9999"}, {"1", "1", "1", "0", "0"}, {"0", "-9999", "0", "0", "-9999"}});
    o.PositiveIndicatorValue = 1;
    o.NegativeIndicatorValue = 0;
    TDataDef a = Grid("a.asc", {{"1", "1", "1", "2", "2"}, {"1", "1", "1", "2", "2"}, {"2", "2", "2", "2", "2"}});
    SetClasses(a, {{1, 2}, {2, 3}});
    TDataDef b = Grid("b.asc", {{"1", "2", "3", "4", "5"}, {"5", "4", "3", "2", "1"}, {"1", "1", "1", "1", "1"}});
    SetClasses(b, {{1, 4}, {3, 6}, {7, 8}});  // class 3 holds no cell
    ws->AddDataDef(o);
    ws->AddDataDef(a);
    ws->AddDataDef(b);
    RunAudit(*ws, tables, shell);
    SubmitFinal(*ws, shell);
  }
  static std::vector<std::string> Lines(const std::string& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) {
      if (!l.empty() && l.back() == '\r') l.pop_back();
      lines.push_back(l);
    }
    return lines;
  }
  static std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    return text;
  }

  PriorControls priors;
  QImageCanvas picture{300, 300};
};

// The plain way: every sample file read back, every class mask loaded for every sample. The last
// samples are left in `lastSamples` (presences, absences) as their files should hold them.
std::string LiteralBootstrapData(Workspace& ws, Shell& shell, std::pair<std::string, std::string>& lastSamples) {
  const TDataDef& ref = ws.ReferenceGrid();
  std::vector<std::string> presList, absList;
  for (int r = 1; r <= ref.nrows; ++r)
    for (int c = 1; c <= ref.ncols; ++c) {
      if (ws.PresenceRaster.at(r, c)) presList.push_back(std::to_string(r) + ";" + std::to_string(c));
      if (ws.AbsenceRaster.at(r, c)) absList.push_back(std::to_string(r) + ";" + std::to_string(c));
    }
  std::string out = BootstrapHeader() + "\r\n";
  ws.Random.Randomize(ws.FixedSeed);
  for (int s = 1; s <= BootstrapSamples; ++s) {
    std::string presSample, absSample;
    for (std::size_t i = 0; i < presList.size(); ++i) {
      std::string line = presList[ws.Random.Random(static_cast<std::uint32_t>(presList.size()))];
      presSample += line.replace(line.find(';'), 1, " ") + "\n";
    }
    for (std::size_t i = 0; i < absList.size(); ++i) {
      std::string line = absList[ws.Random.Random(static_cast<std::uint32_t>(absList.size()))];
      absSample += line.replace(line.find(';'), 1, " ") + "\n";
    }
    for (int e = 1; e <= ws.DataDefCount; ++e) {
      const TDataDef& def = ws.DataDef(e);
      if (def.NrClasses < 2) continue;
      for (int j = 1; j <= def.NrClasses; ++j) {
        LoadBinAux(ws, ClassMaskFileName(shell.run(), e, def, j), shell);
        long long p = 0, a = 0;
        std::istringstream ps(presSample), as(absSample);
        for (int r, c; ps >> r >> c;) p += ws.AuxClassRaster.at(r, c) != 0;
        for (int r, c; as >> r >> c;) a += ws.AuxClassRaster.at(r, c) != 0;
        out += BootstrapLine(s, std::filesystem::path(def.FileName).filename().string(), j,
                             static_cast<double>(p + 1) / static_cast<double>(p + a + 2),
                             static_cast<double>(a + 1) / static_cast<double>(p + a + 2)) + "\r\n";
      }
    }
    lastSamples = {presSample, absSample};
  }
  return out;
}

TEST_F(UncertaintyTest, BootstrapMatchesThePlainWayAndItsFiles) {
  Configuration();
  // The audit counted the classes as it read the grids and left no class masks; the plain way
  // reads them, so they are made here.
  EXPECT_FALSE(std::filesystem::exists(ClassMaskFileName(shell.run(), 2, ws->DataDef(2), 1)));
  MakeBinaries(*ws, shell);
  std::pair<std::string, std::string> lastSamples;
  const std::string expected = LiteralBootstrapData(*ws, shell, lastSamples);
  const double presencesBefore = ws->DataDef(2).mclasses[0][ClassPresences];
  Bootstrap(*ws, shell);
  EXPECT_EQ(test::ReadFile("BootstrapData.txt"), expected);
  EXPECT_EQ(Lines("BootstrapData.txt").size(), 1u + 50u * (2 + 3));
  // The sample files hold the 50th sample, one line per observation.
  EXPECT_EQ(Lines("karvelo-work/Presences.txt").size(), 6u);
  EXPECT_EQ(Joined(Lines("karvelo-work/Presences.txt")), lastSamples.first);
  EXPECT_EQ(Joined(Lines("karvelo-work/Absences.txt")), lastSamples.second);
  EXPECT_EQ(ws->DataDef(2).mclasses[0][ClassPresences], presencesBefore);  // the audit's counts stay
  // Class 3 of b holds no cell: no drawn observation falls in it.
  for (const std::string& l : Lines("BootstrapData.txt")) {
    if (l.find("b.asc") != std::string::npos && l.find("    3 ") != std::string::npos) {
      EXPECT_EQ(l.substr(l.size() - 17), "0.500000 0.500000");
    }
  }
}

TEST_F(UncertaintyTest, FullRunWritesGridsPicturesAndIsRepeatable) {
  Configuration();
  ASSERT_TRUE(ErrorProp(*ws, tables, priors, EvidenceLevel::All, picture, kDefaultFace, shell));
  const std::string avg = test::ReadFile("AVGBayesP.asc"), sd = test::ReadFile("SDBayesP.asc");
  EXPECT_NE(avg.find("NODATA_value  -1.0\r\n"), std::string::npos);
  const auto a = Lines("AVGBayesP.asc"), s = Lines("SDBayesP.asc");
  ASSERT_EQ(a.size(), 9u);
  // -1 in both grids at the same cells.
  for (std::size_t r = 6; r < a.size(); ++r) {
    std::istringstream ia(a[r]), is(s[r]);
    for (std::string x, y; ia >> x && is >> y;) EXPECT_EQ(x == "-1.0000000000", y == "-1.0000000000") << x << " " << y;
  }
  EXPECT_TRUE(std::filesystem::exists("BayesAVG-P.bmp"));
  EXPECT_TRUE(std::filesystem::exists("Bayeslog10AVG-P.bmp"));
  EXPECT_EQ(tables.Chi2a.RowCount(), 1 + 2 + 3);
  const auto& log = shell.logLines;
  EXPECT_NE(std::find(log.begin(), log.end(), "Recalculating conditional probabilities by bootstrapping (50* resampling)."), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "Bootstrap Conditional Probabilities written to BootstrapData.txt."), log.end());
  EXPECT_EQ(shell.status1Text, "Mapping Bayesian probability");

  const std::string data = test::ReadFile("BootstrapData.txt");
  ASSERT_TRUE(ErrorProp(*ws, tables, priors, EvidenceLevel::All, picture, kDefaultFace, shell));
  EXPECT_EQ(test::ReadFile("BootstrapData.txt"), data);
  EXPECT_EQ(test::ReadFile("AVGBayesP.asc"), avg);
  EXPECT_EQ(test::ReadFile("SDBayesP.asc"), sd);

  // The strictest level keeps fewer cells than "(all)".
  ASSERT_TRUE(ErrorProp(*ws, tables, priors, EvidenceLevel::VeryStrong, picture, kDefaultFace, shell));
  auto kept = [](const std::string& text) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = text.find("0.", at)) != std::string::npos; ++at) ++n;
    return n;
  };
  EXPECT_LE(kept(test::ReadFile("AVGBayesP.asc")), kept(avg));
}

TEST_F(UncertaintyTest, IdenticalSamplesHaveNoSpreadAndZeroPriorsStop) {
  TDataDef o = Grid("obs.asc", {{"1", "0"}});
  o.PositiveIndicatorValue = 1;
  o.NegativeIndicatorValue = 0;
  TDataDef a = Grid("a.asc", {{"1", "2"}});
  SetClasses(a, {{1, 2}, {2, 3}});
  ws->AddDataDef(o);
  ws->AddDataDef(a);
  RunAudit(*ws, tables, shell);
  SubmitFinal(*ws, shell);
  const ClassCPStats stats = Bootstrap(*ws, shell);
  // One presence and one absence: every sample is the same, so the spread is zero.
  const ClassStats& st = stats[2][1];
  EXPECT_DOUBLE_EQ(st.SumP, 50 * 2.0 / 3.0);
  EXPECT_LE(st.SumSqP - st.SumP * st.SumP / 50, 1e-12);

  priors.textP = "0";
  priors.textA = "1";
  shell.messages.clear();
  EXPECT_FALSE(ErrorProp(*ws, tables, priors, EvidenceLevel::All, picture, kDefaultFace, shell));
  ASSERT_EQ(shell.messages.size(), 1u);
  EXPECT_NE(shell.messages[0].find("above 0"), std::string::npos);
}

TEST_F(UncertaintyTest, NoAbsencesGiveOneOverPPlusTwo) {
  TDataDef o = Grid("obs.asc", {{"1", "1", "-9999", "0"}});
  o.PositiveIndicatorValue = 1;
  o.NegativeIndicatorValue = 0;  // the one absence lies in no class: nA = 0
  TDataDef a = Grid("a.asc", {{"1", "1", "2", "5"}});
  SetClasses(a, {{1, 2}, {2, 3}});
  ws->AddDataDef(o);
  ws->AddDataDef(a);
  RunAudit(*ws, tables, shell);
  SubmitFinal(*ws, shell);
  Bootstrap(*ws, shell);
  const auto lines = Lines("BootstrapData.txt");
  EXPECT_EQ(lines[1].substr(lines[1].size() - 17), "0.750000 0.250000");  // class 1: p = 2 -> 3/4, 1/4
  EXPECT_EQ(Lines("karvelo-work/Absences.txt").size(), 1u);  // drawn, it counts in no class
}

}  // namespace
}  // namespace karvelo
