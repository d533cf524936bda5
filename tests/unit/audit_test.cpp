// The audit: counts per class, chi-squared tests and reports, the quiet re-run, and class files.
#include <gtest/gtest.h>

#include "audit/audit.h"
#include "audit/workfiles.h"
#include "core/gridfile.h"
#include "core/runtables.h"
#include "test_support.h"

namespace karvelo {
namespace {

using test::GridText;
using test::RecordingShell;
using test::TempDir;
using test::WriteFile;

class AuditTest : public test::ScratchFolderTest {
 protected:
  using ScratchFolderTest::Grid;
  // A grid of ncols x nrows whose cell (r, c) holds value(r, c).
  template <class F>
  TDataDef Grid(const std::string& name, int ncols, int nrows, F value) {
    std::vector<std::vector<std::string>> rows(static_cast<std::size_t>(nrows));
    for (int r = 1; r <= nrows; ++r)
      for (int c = 1; c <= ncols; ++c) rows[static_cast<std::size_t>(r - 1)].push_back(value(r, c));
    WriteFile(dir / name, GridText(ncols, nrows, rows));
    TDataDef def;
    def.FileName = (dir / name).string();
    EXPECT_TRUE(ReadHeader(def, shell));
    return def;
  }

  // Classes of 100, 300 and 600 cells; 3 presences in the first class and 7 in the third.
  void CountingExample() {
    TDataDef obs = Grid("obs.asc", 100, 10, [](int r, int c) {
      if ((r == 1 && c <= 3) || (r == 10 && c <= 7)) return std::string("1");
      return std::string("-9999");
    });
    obs.PositiveIndicatorValue = 1;
    TDataDef aux = Grid("aux.asc", 100, 10, [](int r, int) { return std::to_string(r == 1 ? 1 : (r <= 4 ? 2 : 3)); });
    SetClasses(aux, {{1, 2}, {2, 3}, {3, 4}});
    ws->AddDataDef(obs);
    ws->AddDataDef(aux);
  }

};

TEST_F(AuditTest, CountsAndTheChi2OfTheExample) {
  CountingExample();
  const AuditResult out = RunAudit(*ws, tables, shell);
  EXPECT_TRUE(out.ran);
  EXPECT_TRUE(out.configured);
  ASSERT_EQ(tables.Frequency.RowCount(), 4);
  EXPECT_EQ(tables.Frequency.Row(1), (std::vector<std::string>{"aux", "1", "100", "3", "0"}));
  EXPECT_EQ(tables.Frequency.Row(2), (std::vector<std::string>{"aux", "2", "300", "0", "0"}));
  EXPECT_EQ(tables.Frequency.Row(3), (std::vector<std::string>{"aux", "3", "600", "7", "0"}));
  EXPECT_EQ(ws->FrequencyCounts[2].cells, 600);
  EXPECT_EQ(ws->FrequencyCounts[2].presences, 7);
  EXPECT_EQ(ws->DataDef(2).mclasses[2][ClassPresences], 7);
  ASSERT_EQ(tables.Chi2.RowCount(), 2);
  EXPECT_EQ(tables.Chi2.Row(1), (std::vector<std::string>{"aux.asc", "2", "7.17 *", "No data"}));
  EXPECT_EQ(shell.messages.back(),
            "All grids have significant Chi-squared values, and do\nexplain some of the variation in presence and/or absence.");

  // The log: empty line, caption, the frequency rows padded to 15, the tests, the verdict.
  const auto& log = shell.logLines;
  const auto start = std::find(log.begin(), log.end(), "Grid counting results.");
  ASSERT_NE(start, log.end());
  EXPECT_EQ(*(start - 1), "");
  EXPECT_EQ(*(start + 1), "Counted occurrences in current configuration:");
  EXPECT_EQ(*(start + 2), "Grid name      Class          Cell count     Presences      Absences       ");
  EXPECT_EQ(*(start + 3), "aux            1              100            3              0              ");
  EXPECT_NE(std::find(log.begin(), log.end(), "aux.asc        2              7.17 *         No data        "), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "*=at 95%; **=at 99% confidence."), log.end());
  EXPECT_EQ(log.back(), "explain some of the variation in presence and/or absence.");
}

// The counts are the same wherever the observation grids stand among the grids: the grids after
// the last of them are counted while their masks are made, the others from their masks.
TEST_F(AuditTest, CountsDoNotDependOnWhereTheObservationGridsStand) {
  const int cols = 37, rows = 23;
  auto value = [](int r, int c, int salt) { return (r * 7 + c * 13 + salt * 5 + r * c) % 11; };
  auto obsText = [&](int r, int c) {
    const int v = (r * 3 + c * 5) % 7;
    return std::string(v == 0 ? "1" : v == 1 ? "0" : "-9999");
  };
  const TDataDef obs0 = [&] {
    TDataDef d = Grid("obs.asc", cols, rows, obsText);
    d.PositiveIndicatorValue = 1;
    d.NegativeIndicatorValue = 0;
    return d;
  }();
  TDataDef a = Grid("a.asc", cols, rows, [&](int r, int c) { return std::to_string(value(r, c, 1)); });
  SetClasses(a, {{0, 3}, {3, 7}, {7, 11}});
  TDataDef b = Grid("b.asc", cols, rows, [&](int r, int c) { return std::to_string(value(r, c, 2)); });
  SetClasses(b, {{0, 6}, {4, 9}, {8, 11}});  // overlapping classes: a bit per class
  // The literal counts: every cell of each class against the observation grid.
  auto literal = [&](int salt, double lo, double hi) {
    Workspace::FrequencyRow f;
    for (int r = 1; r <= rows; ++r) {
      for (int c = 1; c <= cols; ++c) {
        const int v = value(r, c, salt);
        if (!(lo <= v && v < hi)) continue;
        ++f.cells;
        f.presences += obsText(r, c) == "1";
        f.absences += obsText(r, c) == "0";
      }
    }
    return f;
  };
  const std::vector<Workspace::FrequencyRow> want = {literal(1, 0, 3), literal(1, 3, 7), literal(1, 7, 11),
                                                    literal(2, 0, 6), literal(2, 4, 9), literal(2, 8, 11)};
  for (int place = 0; place < 3; ++place) {
    ws = std::make_unique<Workspace>();
    std::vector<TDataDef> order = {a, b};
    order.insert(order.begin() + place, obs0);
    for (const TDataDef& d : order) ws->AddDataDef(d);
    RecordingShell run;
    RunAudit(*ws, tables, run);
    for (std::size_t k = 0; k < want.size(); ++k) {
      EXPECT_EQ(ws->FrequencyCounts[k].cells, want[k].cells) << "obs at " << place << ", row " << k;
      EXPECT_EQ(ws->FrequencyCounts[k].presences, want[k].presences) << "obs at " << place << ", row " << k;
      EXPECT_EQ(ws->FrequencyCounts[k].absences, want[k].absences) << "obs at " << place << ", row " << k;
    }
  }
}

TEST_F(AuditTest, QuietAuditLogsTheSameAndShowsNothing) {
  CountingExample();
  RunAudit(*ws, tables, shell);
  const auto loud = shell.logLines;
  RecordingShell quiet;
  ws->QuietAudit = true;
  RunAudit(*ws, tables, quiet);
  EXPECT_TRUE(quiet.messages.empty());
  EXPECT_EQ(quiet.logLines, loud);
}

TEST_F(AuditTest, ZeroExpectationsAreReportedAndSummarised) {
  // Class 3 holds no cell; presences everywhere else are spread like the cells.
  TDataDef obs = Grid("obs.asc", 4, 1, [](int, int c) { return std::string(c <= 2 ? "1" : "0"); });
  obs.PositiveIndicatorValue = 1;
  obs.NegativeIndicatorValue = 0;
  TDataDef aux = Grid("aux.asc", 4, 1, [](int, int c) { return std::to_string(c % 2); });
  SetClasses(aux, {{0, 1}, {1, 2}, {5, 6}});
  ws->AddDataDef(obs);
  ws->AddDataDef(aux);
  const AuditResult out = RunAudit(*ws, tables, shell);
  EXPECT_TRUE(out.configured);
  const std::string report = (dir / "aux.asc").string() + " Class 3: No presences counted!\nconsider changing the classification.";
  EXPECT_NE(std::find(shell.messages.begin(), shell.messages.end(), report), shell.messages.end());
  EXPECT_NE(std::find(shell.logLines.begin(), shell.logLines.end(), "consider changing the classification."), shell.logLines.end());
  EXPECT_EQ(tables.Chi2.Row(1), (std::vector<std::string>{"aux.asc", "2", "0.00", "0.00"}));
  EXPECT_EQ(shell.messages.back(),
            "aux.asc: observed versus expected frequencies of occurrence/absence do not significantly differ.\n"
            "\n"
            "Consider redefining the classes or skip the variable.");
}

TEST_F(AuditTest, NoObservationsInTheClassesReadNoData) {
  TDataDef obs = Grid("obs.asc", 2, 1, [](int, int c) { return std::string(c == 1 ? "1" : "-9999"); });
  obs.PositiveIndicatorValue = 1;
  TDataDef aux = Grid("aux.asc", 2, 1, [](int, int c) { return std::to_string(c); });
  SetClasses(aux, {{10, 11}, {11, 12}});  // no cell in any class: N = 0, the presence in none
  ws->AddDataDef(obs);
  ws->AddDataDef(aux);
  RunAudit(*ws, tables, shell);
  EXPECT_EQ(tables.Chi2.Row(1), (std::vector<std::string>{"aux.asc", "1", "No data", "No data"}));
  EXPECT_EQ(std::count_if(shell.messages.begin(), shell.messages.end(),
                          [](const std::string& m) { return m.find("counted!") != std::string::npos; }),
            0);
}

TEST_F(AuditTest, ExpectedCountsRoundHalvesToEvenAndTheBoundaryCounts) {
  // 5 presences over two classes of 1 and 1 cells: expected 2.5 -> 2 in both.
  TDataDef obs = Grid("obs.asc", 2, 5, [](int, int c) { return std::string(c == 1 ? "1" : "-9999"); });
  obs.PositiveIndicatorValue = 1;
  TDataDef aux = Grid("aux.asc", 2, 5, [](int, int c) { return std::to_string(c); });
  SetClasses(aux, {{1, 2}, {2, 3}});
  ws->AddDataDef(obs);
  ws->AddDataDef(aux);
  RunAudit(*ws, tables, shell);
  // Observed 5 and 0 against 2 and 2 (2.5 rounds to 2): (3^2 + 2^2) / 2 = 6.5 -> "6.50 *".
  EXPECT_EQ(tables.Chi2.Cell(2, 1), "6.50 *");
}

TEST_F(AuditTest, MissingGridsStopBeforeAnythingChanges) {
  CountingExample();
  RunAudit(*ws, tables, shell);
  const TextGrid before = tables.Frequency;
  const std::string gone = (dir / "gone.asc").string();
  ws->DataDef(2).FileName = gone;
  RecordingShell second;
  const AuditResult out = RunAudit(*ws, tables, second);
  EXPECT_FALSE(out.ran);
  // Each missing grid is named, so the user knows which one to find again.
  EXPECT_EQ(second.messages, (std::vector<std::string>{"Not all gridfiles were found.\nMissing: " + gone +
                                                        "\nReconstruct the data configuration file (tabsheet 1)."}));
  EXPECT_EQ(second.logLines, (std::vector<std::string>{"Not all gridfiles were found.", "Missing: " + gone,
                                                        "The data configuration file must be reconstructed."}));
  EXPECT_EQ(tables.Frequency.RowCount(), before.RowCount());
}

TEST_F(AuditTest, EmptyConfiguration) {
  const AuditResult out = RunAudit(*ws, tables, shell);
  EXPECT_FALSE(out.configured);
  EXPECT_EQ(shell.messages.back(), "No dataconfiguration defined!\nRestart or import configuration file first.");
}

TEST_F(AuditTest, ClassFilesAndRandomAbsences) {
  TDataDef obs = Grid("obs.asc", 3, 2, [](int, int c) { return std::string(c == 1 ? "1" : "-9999"); });
  obs.PositiveIndicatorValue = 1;
  // Overlapping classes: 5 lies in both [0, 10) and [5, 20) and takes the higher class.
  TDataDef aux = Grid("aux.asc", 3, 2, [](int r, int c) {
    const int v[2][3] = {{1, 5, -9999}, {12, 25, 10}};
    return std::to_string(v[r - 1][c - 1]);
  });
  SetClasses(aux, {{0, 10}, {5, 20}});
  TDataDef one = Grid("one.asc", 3, 2, [](int, int) { return std::string("1"); });
  SetClasses(one, {{0, 10}});
  ws->AddDataDef(obs);
  ws->AddDataDef(aux);
  ws->AddDataDef(one);
  SubmitFinal(*ws, shell);
  EXPECT_TRUE(ws->RandomAbsences);
  const std::string text = test::ReadFile(dir / "karvelo-work" / "2-aux.txt");
  EXPECT_EQ(text.substr(text.find("NODATA_value")), "NODATA_value -9999\r\n1 2 -1 \r\n2 -1 2 \r\n");
  EXPECT_EQ(text.rfind("ncols 3\r\n", 0), 0u);
  // One class: no table rows, but a class file; none for the observations, none beside a grid.
  EXPECT_TRUE(std::filesystem::exists(dir / "karvelo-work" / "3-one.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir / "karvelo-work" / "1-obs.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir / "aux.txt"));
  EXPECT_EQ(shell.workFiles.size(), 2u);

  ws->DataDef(1).NegativeIndicatorValue = 0;
  SubmitFinal(*ws, shell);
  EXPECT_FALSE(ws->RandomAbsences);
}

TEST(WorkFileNames, LiveInTheWorkFolderAndKeepSlotsApart) {
  test::TempDir dir;
  const RunContext run(dir.path());
  TDataDef soil;
  soil.FileName = "/data/soil.map.asc";
  EXPECT_EQ(ClassFileName(run, 2, soil), dir.path() / "karvelo-work" / "2-soil.map.txt");
  EXPECT_EQ(ClassMaskFileName(run, 2, soil, 7), dir.path() / "karvelo-work" / "2-soil.map-7.bin");
  // The same grid in two slots never shares a file.
  EXPECT_NE(ClassFileName(run, 2, soil), ClassFileName(run, 3, soil));
  EXPECT_NE(ClassMaskFileName(run, 2, soil, 1), ClassMaskFileName(run, 3, soil, 1));
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "karvelo-work"));
}

}  // namespace
}  // namespace karvelo
