// The data configuration: the table beside the slots, class bounds, the histogram and the file.
#include <gtest/gtest.h>

#include "config/classification.h"
#include "config/configfile.h"
#include "config/configtable.h"
#include "core/errors.h"
#include "core/gridfile.h"
#include "core/numfmt.h"
#include "core/textwriter.h"
#include "core/projection.h"
#include "core/runtables.h"
#include "render/qimage_canvas.h"
#include "test_support.h"

namespace karvelo {
namespace {

using test::GridText;
using test::RecordingShell;
using test::TempDir;
using test::WriteFile;

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LayOutRunTables(tables);
  }
  // Picks a grid file through the same step as the "..." button (no preview).
  ScanResult Pick(const std::string& name, const std::string& text) {
    WriteFile(dir / name, text);
    auto scan = PickGridFile(*ws, (dir / name).string(), true, shell, nullptr);
    EXPECT_TRUE(scan.has_value());
    return scan.value_or(ScanResult{});
  }
  void AddObservation(const std::string& name, double presence, double absence) {
    ScanResult scan = Pick(name, GridText(3, 2, {{"1", "0", "-9999"}, {"0", "1", "1"}}));
    ws->CurrentDataDef.PositiveIndicatorValue = presence;
    ws->CurrentDataDef.NegativeIndicatorValue = absence;
    ASSERT_TRUE(SubmitCurrentDataDef(*ws, table, shell));
  }
  void AddClassified(const std::string& name, int n) {
    Pick(name, GridText(3, 2, {{"0.5", "2", "3"}, {"4", "5", "6.5"}}));
    ClassBounds b;
    b.n = n;
    ProposeBounds(b, ws->CurrentDataDef.minvalue, ws->CurrentDataDef.maxvalue);
    PerformFinalization(b, ws->CurrentDataDef);
    ASSERT_TRUE(SubmitCurrentDataDef(*ws, table, shell));
  }

  TempDir dir;
  RecordingShell shell;
  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
  RunTables tables;
  TextGrid& table = tables.DataConfiguration;
};

TEST(ClassBounds, ProposalOnFifthsOfAPowerOfTen) {
  auto b = ProposeBoundTexts(0.3, 10.7, 4);
  EXPECT_EQ(std::vector<std::string>(b.begin(), b.begin() + 5),
            (std::vector<std::string>{"0.30000", "2.40000", "4.80000", "7.20000", "10.70000"}));
  EXPECT_EQ(b[5], "0");
  EXPECT_EQ(b[20], "0");

  // 0..1 in 8 classes: width 0.125, power 0.1, step 0.12 (six fifths of 0.1).
  b = ProposeBoundTexts(0, 0.992607, 8);
  EXPECT_EQ(b[1], "0.12000");
  EXPECT_EQ(b[7], "0.84000");
  EXPECT_EQ(b[8], "0.99261");

  // A negative range: -50..50 in 4 classes: width 25, step 24, base -48 (-50 / 24 is nearest to -2).
  b = ProposeBoundTexts(-50, 50, 4);
  EXPECT_EQ(b[0], "-50.00000");
  EXPECT_EQ(b[1], "-24.00000");
  EXPECT_EQ(b[2], "0.00000");
  EXPECT_EQ(b[3], "24.00000");
  EXPECT_EQ(b[4], "50.00000");

  // -5..5 in 2 classes: width 5, step 4.8, base -4.8, so the inner bound is 0.
  b = ProposeBoundTexts(-5, 5, 2);
  EXPECT_EQ(b[1], "0.00000");

  // A tiny range below the smallest power of ten tried keeps the plain width.
  b = ProposeBoundTexts(1, 1 + 4e-11, 2);
  EXPECT_EQ(b[0], "1.00000");
  EXPECT_EQ(b[2], "1.00000");
}

TEST(ClassBounds, EditsFollowAndFinalizationStores) {
  ClassBounds b;
  b.n = 4;
  ProposeBounds(b, 0.3, 10.7);
  EXPECT_EQ(b.Edit(2), "2.40000");
  EXPECT_EQ(b.Label(1), "2.40000");
  EXPECT_TRUE(Editlegend(b, 3, "5"));
  EXPECT_EQ(b.Label(2), "5");
  EXPECT_FALSE(Editlegend(b, 3, "x"));
  EXPECT_EQ(b.Label(2), "5");
  EXPECT_EQ(b.Edit(3), "x");

  TDataDef def;
  Editlegend(b, 3, "5");
  PerformFinalization(b, def);
  EXPECT_EQ(def.NrClasses, 4);
  EXPECT_EQ(def.mclasses[0][ClassLower], 0.3);
  EXPECT_EQ(def.mclasses[1][ClassUpper], 5);
  EXPECT_EQ(def.mclasses[2][ClassLower], 5);
  EXPECT_DOUBLE_EQ(def.mclasses[3][ClassUpper], 10.807);

  // A malformed bound keeps its valid prefix; a text that is no number at all gives 0.
  b.edits[1] = "2.5abc";
  b.labels[3] = "zz";
  PerformFinalization(b, def);
  EXPECT_EQ(def.mclasses[1][ClassLower], 2.5);
  EXPECT_EQ(def.mclasses[3][ClassUpper], 1);  // an upper bound of 0 over a range below 0 is raised by 1

  // Proposing again replaces the edits.
  ProposeBounds(b, 0.3, 10.7);
  EXPECT_EQ(b.Edit(3), "4.80000");
}

// Every valued cell of the grid falls into one of def's classes (lower <= v < upper).
void ExpectEveryCellClassified(const TDataDef& def, const std::vector<double>& values) {
  for (double v : values) {
    bool in = false;
    for (int k = 1; k <= def.NrClasses; ++k) {
      const auto& c = def.mclasses[static_cast<std::size_t>(k - 1)];
      in = in || (c[ClassLower] <= v && v < c[ClassUpper]);
    }
    EXPECT_TRUE(in) << FormatShortest(v) << " falls in no class of " << def.FileName;
  }
}

// The ends of the range after the proposal, the finalization and a trip through the file.
TEST_F(ConfigTest, NoCellIsLostAtTheEndsOfTheRange) {
  struct Case {
    std::vector<std::string> cells;
    std::string firstLower;  // the proposal's text
  };
  const std::vector<Case> cases = {
      {{"0.0008663357", "0.5", "1", "0.02"}, "0.00086"},   // rounded to nearest this would be 0.00087
      {{"-0.0000049", "0.25", "0.5", "1"}, "-0.00001"},   // "-0.00000" would lie above it
      {{"0.3", "2", "5", "10.7"}, "0.30000"},              // a minimum with 5 decimals keeps its text
      {{"-10", "-7.5", "-3", "-2"}, "-10.00000"},          // a negative maximum: 1.01 times it lies below it
      {{"-1", "-0.5", "-0.25", "0"}, "-1.00000"},          // a maximum of 0
  };
  AddObservation("obs.asc", 1, 0);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string name = "aux" + std::to_string(i) + ".asc";
    const auto& v = cases[i].cells;
    Pick(name, GridText(3, 2, {{v[0], v[1], v[2]}, {v[3], v[0], v[3]}}));  // the observation grid's extent
    ClassBounds b;
    b.n = 4;
    ProposeBounds(b, ws->CurrentDataDef.minvalue, ws->CurrentDataDef.maxvalue);
    EXPECT_EQ(b.Edit(1), cases[i].firstLower) << name;
    PerformFinalization(b, ws->CurrentDataDef);
    ASSERT_TRUE(SubmitCurrentDataDef(*ws, table, shell));
  }
  WriteConfigurationFile(*ws, dir / "cfg.txt");
  auto fresh = std::make_unique<Workspace>();
  RunTables freshTables;
  LayOutRunTables(freshTables);
  LoadConfiguration(*fresh, freshTables.DataConfiguration, dir / "cfg.txt", shell);
  ASSERT_EQ(fresh->DataDefCount, static_cast<int>(cases.size()) + 1);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    std::vector<double> values;
    for (const std::string& c : cases[i].cells) values.push_back(*ParseReal(c));
    ExpectEveryCellClassified(ws->DataDef(static_cast<int>(i) + 2), values);
    ExpectEveryCellClassified(fresh->DataDef(static_cast<int>(i) + 2), values);
  }
  // A positive maximum keeps its bound: 1.01 times it.
  EXPECT_DOUBLE_EQ(ws->DataDef(4).mclasses[3][ClassUpper], 10.807);
  // A negative maximum is raised by 1 % of the range; a range of 0 by 1.
  EXPECT_DOUBLE_EQ(ws->DataDef(5).mclasses[3][ClassUpper], -2 + 0.08);
  ClassBounds flat;
  flat.n = 2;
  flat.edits[0] = "-3";
  flat.labels[1] = "-3";
  TDataDef def;
  PerformFinalization(flat, def);
  EXPECT_EQ(def.mclasses[1][ClassUpper], -2);
}

TEST_F(ConfigTest, ARangeBeyondADoubleIsRefused) {
  Pick("wide.asc", GridText(2, 1, {{"-1e308", "1.5e308"}}));
  const auto problem = RangeProblem(ws->CurrentDataDef);
  ASSERT_TRUE(problem.has_value());
  EXPECT_NE(problem->find((dir / "wide.asc").string() + ": the values run from -1e+308 to 1.5e+308"), std::string::npos);
  // A maximum whose 1.01 times overflows has no last bound either; a range that fits is fine.
  Pick("top.asc", GridText(2, 1, {{"0", "1.79e308"}}));
  EXPECT_TRUE(RangeProblem(ws->CurrentDataDef).has_value());
  Pick("fine.asc", GridText(2, 1, {{"-1e307", "1e307"}}));
  EXPECT_FALSE(RangeProblem(ws->CurrentDataDef).has_value());
}

TEST_F(ConfigTest, TableRowsFollowTheSlots) {
  AddObservation("obs.asc", 1, 0);
  EXPECT_FALSE(ConfigurationCanBeSaved(*ws));
  AddClassified("aux.asc", 3);
  EXPECT_TRUE(ConfigurationCanBeSaved(*ws));
  AddClassified("aux2.asc", 2);
  ASSERT_EQ(table.RowCount(), 4);
  EXPECT_EQ(table.Cell(0, 0), "File Name");
  EXPECT_EQ(table.Cell(0, 1), (dir / "obs.asc").string());
  EXPECT_EQ(table.Cell(1, 1), "ascii grid");
  EXPECT_EQ(table.Cell(2, 1), "3");
  EXPECT_EQ(table.Cell(7, 1), "-9999.000");
  EXPECT_EQ(table.Cell(9, 1), "1.000");
  EXPECT_EQ(table.Cell(10, 1), "0.000");
  EXPECT_EQ(table.Cell(8, 2), "3");
  EXPECT_EQ(table.Cell(9, 2), "-9999.000");  // an auxiliary grid shows NODATA as indicator

  DeleteConfigurationRow(*ws, table, 2);
  ASSERT_EQ(table.RowCount(), 3);
  EXPECT_EQ(table.Cell(0, 2), (dir / "aux2.asc").string());
  EXPECT_EQ(ws->DataDef(2).FileName, (dir / "aux2.asc").string());
  EXPECT_EQ(ws->DataDefCount, 2);

  DeleteConfigurationRow(*ws, table, 1);  // the only presence grid
  EXPECT_EQ(ws->PresenceDefIndex, 0);
  EXPECT_FALSE(ConfigurationCanBeSaved(*ws));
  DeleteConfigurationRow(*ws, table, 1);
  EXPECT_EQ(table.RowCount(), 1);
  EXPECT_EQ(table.Cell(0, 0), "File Name");
}

TEST_F(ConfigTest, TheEleventhAdditionIsRefused) {
  for (int i = 0; i < MaxDataFiles; ++i) AddObservation(std::string("o").append(std::to_string(i)).append(".asc"), 1, -9999);
  EXPECT_FALSE(SubmitCurrentDataDef(*ws, table, shell));
  EXPECT_EQ(shell.messages.back(), "Error: >10 data files attached.");
  EXPECT_EQ(table.RowCount(), 11);
  EXPECT_EQ(ws->DataDefCount, 10);
}

TEST_F(ConfigTest, MarkingIndicatorsEmptiesTheList) {
  ScanResult list = Pick("obs.asc", GridText(2, 1, {{"1", "0"}}));
  ASSERT_EQ(list.unique, (std::vector<std::string>{"0", "1"}));
  EXPECT_FALSE(MarkIndicator(*ws, list, "2 items", -1, true, shell));
  EXPECT_EQ(shell.messages.back(), "Select a value first!");
  ASSERT_TRUE(MarkIndicator(*ws, list, "1", 1, true, shell));
  EXPECT_EQ(ws->CurrentDataDef.PositiveIndicatorValue, 1);
  EXPECT_EQ(list.unique, (std::vector<std::string>{"0"}));
  EXPECT_TRUE(list.indicatorsEnabled);
  ASSERT_TRUE(MarkIndicator(*ws, list, "0", 0, false, shell));
  EXPECT_EQ(ws->CurrentDataDef.NegativeIndicatorValue, 0);
  EXPECT_EQ(list.listText, "(empty)");
  EXPECT_EQ(list.listColour, ListColour::Yellow);
  EXPECT_FALSE(list.indicatorsEnabled);
  EXPECT_FALSE(MarkIndicator(*ws, list, "(empty)", -1, true, shell));

  // Classifying afterwards takes both indicators away.
  ClearIndicators(ws->CurrentDataDef);
  EXPECT_FALSE(ws->CurrentDataDef.IsPresenceGrid());
  EXPECT_FALSE(ws->CurrentDataDef.IsAbsenceGrid());
}

// An indicator must mark cells of the grid: a value no cell holds, the no-data value, the value
// of the other indicator, or any value of a file that is no grid is refused at the mark.
TEST_F(ConfigTest, IndicatorsThatMarkNoCellAreRefused) {
  ScanResult list = Pick("obs.asc", GridText(3, 1, {{"1", "0", "-9999"}}));
  const std::string grid = (dir / "obs.asc").string();
  EXPECT_FALSE(MarkIndicator(*ws, list, "2", -1, true, shell));  // typed, held by no cell
  EXPECT_EQ(shell.messages.back(), grid + ": no cell holds the value 2, so it cannot mark presences.");
  EXPECT_FALSE(MarkIndicator(*ws, list, "-9999", -1, false, shell));
  EXPECT_EQ(shell.messages.back(), grid + ": -9999 is the grid's no-data value, so it cannot mark absences.");
  ASSERT_TRUE(MarkIndicator(*ws, list, "1", -1, true, shell));
  EXPECT_FALSE(MarkIndicator(*ws, list, "1", -1, false, shell));
  EXPECT_EQ(shell.messages.back(), grid + ": 1 marks presences already; absences need a value of their own.");
  EXPECT_EQ(ws->CurrentDataDef.NegativeIndicatorValue, -9999);
  // A grid whose values the scan did not keep (a fraction stops the list) is read again.
  list = Pick("frac.asc", GridText(3, 1, {{"0.5", "7", "-9999"}}));
  EXPECT_FALSE(list.valuesComplete);
  EXPECT_TRUE(MarkIndicator(*ws, list, "7", -1, true, shell));
  EXPECT_FALSE(MarkIndicator(*ws, list, "8", -1, false, shell));
  EXPECT_EQ(shell.messages.back(), (dir / "frac.asc").string() + ": no cell holds the value 8, so it cannot mark absences.");
  ws->CurrentDataDef.GridFileType = TGridFileType::notgrid;
  EXPECT_FALSE(MarkIndicator(*ws, list, "7", -1, true, shell));
  EXPECT_NE(shell.messages.back().find("is not a grid, so it cannot mark presences."), std::string::npos);
}

// A class that holds nothing or overlaps the one before it cannot be saved; the bound texts of the
// window tell which class, before anything is stored.
TEST_F(ConfigTest, ClassesThatHoldNothingOrOverlapAreRefused) {
  AddObservation("obs.asc", 1, 0);
  AddClassified("aux.asc", 3);
  const std::string aux = "\"" + (dir / "aux.asc").string() + "\"";
  auto saveError = [&] {
    try {
      WriteConfigurationFile(*ws, dir / "c.txt");
    } catch (const FileError& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  auto& cls = ws->DataDef(2).mclasses;
  const auto proposed = cls;
  cls[1][ClassLower] = 5, cls[1][ClassUpper] = 4;
  EXPECT_EQ(saveError(), (dir / "c.txt").string() + ": cannot save the configuration: class 2 of " + aux +
                             " runs from 5 to 4; a class's lower bound must lie below its upper bound");
  cls = proposed;
  cls[2][ClassLower] = cls[1][ClassUpper] - 0.5;
  EXPECT_NE(saveError().find("class 3 of " + aux + " starts at "), std::string::npos);
  EXPECT_NE(saveError().find(" of class 2; classes must not overlap"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "c.txt"));
  cls = proposed;
  EXPECT_EQ(saveError(), "");

  // Bounds in the window: texts that are no numbers, and bounds that would not ascend.
  ClassBounds b;
  b.n = 3;
  ProposeBounds(b, 0.5, 6.5);
  EXPECT_FALSE(BoundsProblem(b).has_value());
  EXPECT_EQ(EditProblem(b, 2, "abc"), std::optional<std::string>("Class 2: the lower bound \"abc\" is not a number."));
  EXPECT_EQ(EditProblem(b, 2, "0.1"), std::optional<std::string>("Class 2: the lower bound 0.1 is not above the lower bound " +
                                                                 b.Edit(1) + " of class 1."));
  EXPECT_FALSE(EditProblem(b, 2, "1").has_value());
  EXPECT_FALSE(EditProblem(b, 1, "-7").has_value());  // the first has nothing below it
  ClassBounds inverted = b;
  Editlegend(inverted, 3, "0.7");  // follows into the label of class 2, below its lower bound
  EXPECT_EQ(BoundsProblem(inverted).value_or("").rfind("Class 2 runs from ", 0), 0u);
  ClassBounds typed = b;
  typed.edits[0] = "x";
  EXPECT_EQ(BoundsProblem(typed), std::optional<std::string>("Class 1: the lower bound \"x\" is not a number."));
  // The last class may start at the maximum: its upper bound is raised above it.
  ClassBounds top = b;
  Editlegend(top, 3, "6.5");
  EXPECT_FALSE(BoundsProblem(top).has_value());
  // A range below the five decimals of a bound: the proposal repeats texts, so it cannot be stored.
  ClassBounds tiny;
  tiny.n = 4;
  ProposeBounds(tiny, -0.000123456, -0.000123449);
  EXPECT_TRUE(BoundsProblem(tiny).has_value());
}

// A configuration is read right or refused: its entries must agree with their grids' own headers
// and with each other, and hold no indicator or class that marks nothing.
TEST_F(ConfigTest, LoadRefusesWhatTheGridsDoNotBearOut) {
  AddObservation("obs.asc", 1, 0);
  AddClassified("aux.asc", 3);
  WriteConfigurationFile(*ws, dir / "good.txt");
  const std::vector<std::string> good = ReadTextLines(dir / "good.txt");
  const std::string obs = "\"" + (dir / "obs.asc").string() + "\"";
  const std::string aux = "\"" + (dir / "aux.asc").string() + "\"";
  auto loadError = [&](int line, const std::string& text) {
    std::vector<std::string> lines = good;
    lines[static_cast<std::size_t>(line - 1)] = text;
    std::string content;
    for (const std::string& l : lines) content += l + "\r\n";
    WriteFile(dir / "c.txt", content);
    auto fresh = std::make_unique<Workspace>();
    try {
      LoadConfiguration(*fresh, table, dir / "c.txt", shell);
    } catch (const FileError& e) {
      EXPECT_EQ(fresh->DataDefCount, 0);
      return std::string(e.what()).substr((dir / "c.txt").string().size() + 2);
    }
    return std::string();
  };
  EXPECT_EQ(loadError(1, good[0]), "");
  EXPECT_EQ(loadError(3, "    5    Number of columns"), "line 3: ncols is 5, but the header of " + obs + " says 3");
  EXPECT_EQ(loadError(18, "    7.00 X at lower left corner"), "line 18: xllcorner is 7, but the header of " + aux + " says 0");
  EXPECT_EQ(loadError(7, "  2.00    Cell size"), "line 7: cellsize is 2, but the header of " + obs + " says 1");
  EXPECT_EQ(loadError(8, "   -1.00  Value for No Data"), "line 8: NODATA_value is -1, but the header of " + obs + " says -9999");
  EXPECT_EQ(loadError(12, "    1.00  Value of the indicator for absence (or NoData)"),
            "line 12: the presence and the absence indicator of " + obs + " are both 1; they must differ");
  EXPECT_EQ(loadError(2, "notgrid"), "line 11: the entry " + obs + " is not a grid (notgrid), so it cannot mark presences");
  EXPECT_EQ(loadError(28, "    50.00000     40.00000 lower and upper bound of class  2"),
            "line 28: class 2 of " + aux + " runs from 50 to 40; a class's lower bound must lie below its upper bound");
  // The grids themselves differ: the message of saving, with the differences.
  WriteFile(dir / "aux.asc", GridText(3, 2, {{"0.5", "2", "3"}, {"4", "5", "6.5"}}, "-9999", 5));
  std::vector<std::string> moved = good;
  moved[17] = "    5.00 X at lower left corner";
  std::string content;
  for (const std::string& l : moved) content += l + "\r\n";
  WriteFile(dir / "moved.txt", content);
  try {
    LoadConfiguration(*ws, table, dir / "moved.txt", shell);
    ADD_FAILURE() << "loaded";
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()), (dir / "moved.txt").string() +
                                         ": xllcorner, yllcorner, ncols and/or nrows are different:\n"
                                         "Prepare new and consistent grids and start anew!\naux.asc: xllcorner 5.00 differs from obs.asc: 0.00");
  }
  EXPECT_EQ(ws->DataDefCount, 2);  // the configuration as it was
}

// The histogram counts the working record against the observation grid cell by cell: a grid of
// another extent is refused with the differences, not drawn from another area.
TEST_F(ConfigTest, HistogramRefusesAGridOfAnotherExtent) {
  AddObservation("obs.asc", 1, 0);
  Pick("far.asc", GridText(3, 2, {{"1", "2", "3"}, {"4", "5", "6"}}, "-9999", 0, 0, 10));
  ClassBounds b;
  b.n = 2;
  ProposeBounds(b, ws->CurrentDataDef.minvalue, ws->CurrentDataDef.maxvalue);
  ASSERT_TRUE(HistogramExtentProblem(*ws).has_value());
  QImageCanvas pic(kHistogramWidth, kHistogramHeight);
  EXPECT_FALSE(DrawClassHistogram(*ws, b, pic, shell));
  EXPECT_EQ(shell.messages.back(),
            "far.asc does not cover the cells of the observation grid obs.asc:\nfar.asc: cellsize 10.00 differs from obs.asc: 1.00\n"
            "The histogram counts both grids cell by cell, so they must share one extent: align the grid to the observation grid first.");
  // Bounds that cannot be stored are refused before anything is stored.
  ws->CurrentDataDef.NrClasses = 0;
  b.edits[1] = "abc";
  EXPECT_FALSE(DrawClassHistogram(*ws, b, pic, shell));
  EXPECT_EQ(shell.messages.back(), "Class 2: the lower bound \"abc\" is not a number.");
  EXPECT_EQ(ws->CurrentDataDef.NrClasses, 0);
}

TEST_F(ConfigTest, ConsistencyMessages) {
  AddObservation("obs.asc", 1, 0);
  EXPECT_TRUE(CheckConsistency(*ws, shell));  // one entry never fails
  AddClassified("aux.asc", 3);
  EXPECT_TRUE(CheckConsistency(*ws, shell));
  const double xll = ws->DataDef(1).xllcorner;
  ws->DataDef(2).xllcorner += 0.001;  // the same at two decimals: every digit is shown
  EXPECT_FALSE(CheckConsistency(*ws, shell));
  EXPECT_EQ(shell.messages.back(),
            "xllcorner, yllcorner, ncols and/or nrows are different:\nPrepare new and consistent grids and start anew!\n"
            "aux.asc: xllcorner " + FormatShortest(xll + 0.001) + " differs from obs.asc: " + FormatShortest(xll));
  ws->DataDef(2).cellsize = 2;
  ws->DataDef(2).nrows += 3;
  EXPECT_FALSE(CheckConsistency(*ws, shell));
  const std::string rows = std::to_string(ws->DataDef(1).nrows);
  EXPECT_EQ(shell.messages.back(),
            "Cell sizes in the various grids are different:\nPrepare new and consistent grids and start anew!\n"
            "aux.asc: nrows " + std::to_string(ws->DataDef(1).nrows + 3) + " differs from obs.asc: " + rows + "\n"
            "aux.asc: xllcorner " + FormatShortest(xll + 0.001) + " differs from obs.asc: " + FormatShortest(xll) + "\n"
            "aux.asc: cellsize 2.00 differs from obs.asc: " + FormatFixed(ws->DataDef(1).cellsize, 2));
}

TEST_F(ConfigTest, ConsistencyOffersAlignmentAndAnAlignedGridReplacesItsEntry) {
  AddObservation("obs.asc", 1, 0);
  AddClassified("aux.asc", 3);
  AddClassified("aux2.asc", 2);
  bool alignAsked = true;
  EXPECT_TRUE(CheckConsistency(*ws, shell, &alignAsked));
  EXPECT_FALSE(alignAsked);
  EXPECT_TRUE(shell.questions.empty());

  ws->DataDef(3).xllcorner = 5;
  EXPECT_EQ(SlotsOffReference(*ws), std::vector<int>{3});
  // The message keeps its text and its diagnostics and gains the button; "OK" (the fallback)
  // aligns nothing.
  EXPECT_FALSE(CheckConsistency(*ws, shell, &alignAsked));
  ASSERT_EQ(shell.questions.size(), 1u);
  EXPECT_EQ(shell.questions[0].text,
            "xllcorner, yllcorner, ncols and/or nrows are different:\nPrepare new and consistent grids and start anew!\n"
            "aux2.asc: xllcorner 5.00 differs from obs.asc: 0.00");
  EXPECT_EQ(shell.questions[0].buttons, (std::vector<std::string>{"Align to the reference grid", "OK"}));
  EXPECT_FALSE(alignAsked);
  shell.askAnswers = {0};
  EXPECT_FALSE(CheckConsistency(*ws, shell, &alignAsked));
  EXPECT_TRUE(alignAsked);
  // The plain check never asks.
  EXPECT_FALSE(CheckConsistency(*ws, shell));
  EXPECT_EQ(shell.questions.size(), 2u);

  // A grid on the reference's geometry with another no-data value replaces the entry: header
  // fields and the table row follow, the classes stay.
  ws->DataDef(3).NegativeIndicatorValue = ws->DataDef(3).NODATA_value;
  const auto classes = ws->DataDef(3).mclasses;
  WriteFile(dir / "aux2-aligned.asc", GridText(3, 2, {{"1", "2", "-1"}, {"1", "2", "2"}}, "-1"));
  ASSERT_TRUE(ReplaceGrid(*ws, table, 3, (dir / "aux2-aligned.asc").string(), shell));
  const TDataDef& d = ws->DataDef(3);
  EXPECT_EQ(d.FileName, (dir / "aux2-aligned.asc").string());
  EXPECT_EQ(d.xllcorner, 0);
  EXPECT_EQ(d.NODATA_value, -1);
  EXPECT_EQ(d.NegativeIndicatorValue, -1);  // it stood for no-data, so it follows
  EXPECT_EQ(d.mclasses, classes);
  EXPECT_EQ(table.Cell(0, 3), (dir / "aux2-aligned.asc").string());
  EXPECT_EQ(table.Cell(4, 3), "0.000");
  EXPECT_EQ(table.Cell(7, 3), "-1.000");
  EXPECT_TRUE(SlotsOffReference(*ws).empty());
  EXPECT_TRUE(CheckConsistency(*ws, shell, &alignAsked));
  EXPECT_EQ(AlignedGridName("/w", "/data/soil.asc"), std::filesystem::path("/w/soil-aligned.asc"));
}

TEST_F(ConfigTest, ResultGridsCarryTheReferenceGridsProjection) {
  TDataDef ref;
  ref.FileName = (dir / "obs.asc").string();
  const std::string prj = "PROJCS[\"RD_New\",GEOGCS[\"GCS_Amersfoort\"]]\n";
  WriteFile(dir / "obs.prj", prj);
  CopyProjection(ref, dir / "BayesP.asc");
  EXPECT_EQ(test::ReadFile(dir / "BayesP.prj"), prj);  // byte for byte, line end included
  // A reference without one: a .prj of an earlier run must not stay beside the new result.
  std::filesystem::remove(dir / "obs.prj");
  CopyProjection(ref, dir / "BayesP.asc");
  EXPECT_FALSE(std::filesystem::exists(dir / "BayesP.prj"));
  EXPECT_EQ(ProjectionFileOf("a/b.c.asc"), std::filesystem::path("a/b.c.prj"));
}

TEST_F(ConfigTest, FileLayoutAndRoundTrip) {
  // Grids whose cell size and corner need more than the widths of their fields.
  for (const char* name : {"obs.asc", "aux.asc"}) {
    WriteFile(dir / name, GridText(3, 2, {{"1", "0", "-9999"}, {"0.5", "1", "6.5"}}, "-9999", -12345.5, 0, 0.125));
  }
  PickGridFile(*ws, (dir / "obs.asc").string(), true, shell, nullptr);
  ws->CurrentDataDef.PositiveIndicatorValue = 1;
  ws->CurrentDataDef.NegativeIndicatorValue = 0;
  ASSERT_TRUE(SubmitCurrentDataDef(*ws, table, shell));
  PickGridFile(*ws, (dir / "aux.asc").string(), true, shell, nullptr);
  ClassBounds b;
  b.n = 20;
  ProposeBounds(b, ws->CurrentDataDef.minvalue, ws->CurrentDataDef.maxvalue);
  PerformFinalization(b, ws->CurrentDataDef);
  ASSERT_TRUE(SubmitCurrentDataDef(*ws, table, shell));
  ws->DataDef(2).mclasses[0][ClassLower] = -1.234567;
  WriteConfigurationFile(*ws, dir / "cfg.txt");
  const std::string text = test::ReadFile(dir / "cfg.txt");
  const auto lines = ReadTextLines(dir / "cfg.txt");
  ASSERT_EQ(lines.size(), 13u + 33u);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 46);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 46);
  EXPECT_EQ(lines[1], "asciigrid");
  EXPECT_EQ(lines[2], "     3    Number of columns");
  EXPECT_EQ(lines[4], "-12345.50 X at lower left corner");
  EXPECT_EQ(lines[6], " 0.125    Cell size");  // three decimals: two would change the size
  EXPECT_EQ(lines[7], "-9999.00  Value for No Data");
  EXPECT_EQ(lines[12], "  0       Number of classes for the continuous variable (or 0)");
  EXPECT_EQ(lines[25], " 20       Number of classes for the continuous variable (or 0)");
  EXPECT_EQ(lines[26], "    -1.23457      0.32000 lower and upper bound of class  1");
  EXPECT_EQ(lines[45].substr(25), " lower and upper bound of class 20");

  auto fresh = std::make_unique<Workspace>();
  RunTables fresh_tables;
  LayOutRunTables(fresh_tables);
  TextGrid& t = fresh_tables.DataConfiguration;
  LoadConfiguration(*fresh, t, dir / "cfg.txt", shell);
  ASSERT_EQ(fresh->DataDefCount, 2);
  EXPECT_EQ(fresh->DataDef(1).cellsize, 0.125);
  EXPECT_EQ(fresh->DataDef(1).xllcorner, -12345.5);
  EXPECT_EQ(fresh->DataDef(1).PositiveIndicatorValue, 1);
  EXPECT_EQ(fresh->DataDef(2).NrClasses, 20);
  EXPECT_EQ(fresh->DataDef(2).mclasses[0][ClassLower], -1.23457);
  EXPECT_EQ(fresh->PresenceDefIndex, 1);
  EXPECT_EQ(t.RowCount(), 3);
  EXPECT_EQ(t.Cell(6, 1), "0.125");
  // Saving what was loaded gives the same file.
  WriteConfigurationFile(*fresh, dir / "again.txt");
  EXPECT_EQ(test::ReadFile(dir / "again.txt"), text);
}

TEST_F(ConfigTest, SaveAndLoadLogAndDescribeTheFile) {
  AddObservation("obs.asc", 1, 0);
  const ConfigFileView saved = SaveConfiguration(*ws, dir / "my config.txt", shell);
  EXPECT_EQ(saved.fileLabel, "... my config.txt");
  ASSERT_EQ(shell.logLines.size(), 14u);
  EXPECT_EQ(shell.logLines[0], "Configuration file " + (dir / "my config.txt").string() + " was positively checked and saved:");
  EXPECT_EQ(shell.logLines[1], (dir / "obs.asc").string());
  EXPECT_EQ(saved.memo.size(), 13u);

  shell.logLines.clear();
  const ConfigFileView loaded = LoadConfiguration(*ws, table, dir / "my config.txt", shell);
  EXPECT_EQ(loaded.fileLabel, "my config.txt");
  ASSERT_EQ(shell.logLines.size(), 16u);
  EXPECT_EQ(shell.logLines[0], std::string(60, '-'));
  EXPECT_EQ(shell.logLines[1].rfind("New configuration at ", 0), 0u);
  EXPECT_EQ(shell.logLines[2], "Configuration " + (dir / "my config.txt").string() + " was loaded from file.");
  EXPECT_EQ(shell.logLines[3], (dir / "obs.asc").string());
}

TEST_F(ConfigTest, HandEditedTextsStillLoad) {
  WriteFile(dir / "c.txt",
            "/data/soil.asc\nasciigrid\n500 columns\n   400\n150000.00 X\n212000 Y\n25\n-9999 nd\n1.5\n48.25\n"
            "-9999\n-9999\n  2 classes\n 1.5 10 first\n10\t48.7305\n\n");
  RunTables fresh_tables;
  LayOutRunTables(fresh_tables);
  TextGrid& t = fresh_tables.DataConfiguration;
  LoadConfiguration(*ws, t, dir / "c.txt", shell);
  ASSERT_EQ(ws->DataDefCount, 1);
  const TDataDef& d = ws->DataDef(1);
  EXPECT_EQ(d.ncols, 500);
  EXPECT_EQ(d.nrows, 400);
  EXPECT_EQ(d.yllcorner, 212000);
  EXPECT_EQ(d.NrClasses, 2);
  EXPECT_EQ(d.mclasses[1][ClassLower], 10);
  EXPECT_EQ(d.mclasses[1][ClassUpper], 48.7305);
}

TEST_F(ConfigTest, AFailedLoadChangesNothing) {
  AddObservation("obs.asc", 1, 0);
  const TextGrid before = table;
  const std::string good = "/g.asc\nasciigrid\n3\n2\n0\n0\n1\n-9999\n0\n1\n1\n0\n0\n";
  struct Case {
    std::string text, expect;
  } cases[] = {
      {"", "holds no configuration"},
      {good + "/h.asc\nasciigrid\n3\n", "line 17"},                      // truncated block
      {good + "/h.asc\nASCIIGRID\n3\n2\n0\n0\n1\n-9999\n0\n1\n1\n0\n0\n", "line 15"},  // wrong kind
      {"/g.asc\nasciigrid\n3.5\n", "line 3"},                            // not a whole number
      {"/g.asc\nasciigrid\n3\n2\nabc\n", "line 5"},                      // not a number
      {"/g.asc\nasciigrid\n3\n2\n0\n0\n1\n-9999\n0\n1\n1\n0\n21\n", "line 13"},  // too many classes
      {"/g.asc\nasciigrid\n3\n2\n0\n0\n1\n-9999\n0\n1\n1\n0\n1\n0.5\n", "line 14"},  // one bound only
  };
  for (const Case& c : cases) {
    WriteFile(dir / "bad.txt", c.text);
    shell.logLines.clear();
    try {
      LoadConfiguration(*ws, table, dir / "bad.txt", shell);
      ADD_FAILURE() << "loaded: " << c.text;
    } catch (const FileError& e) {
      EXPECT_NE(std::string(e.what()).find(c.expect), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("bad.txt"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ws->DataDefCount, 1);
    EXPECT_EQ(ws->DataDef(1).FileName, (dir / "obs.asc").string());
    EXPECT_EQ(table.RowCount(), before.RowCount());
    EXPECT_TRUE(shell.logLines.empty());
  }
}

TEST_F(ConfigTest, MoreThanTenBlocksKeepTheFirstTen) {
  std::string text;
  for (int i = 1; i <= 12; ++i) text += "/g" + std::to_string(i) + ".asc\nasciigrid\n3\n2\n0\n0\n1\n-9999\n0\n1\n-9999\n-9999\n0\n";
  WriteFile(dir / "many.txt", text);
  LoadConfiguration(*ws, table, dir / "many.txt", shell);
  EXPECT_EQ(ws->DataDefCount, 10);
  EXPECT_EQ(ws->DataDef(10).FileName, "/g10.asc");
  EXPECT_EQ(std::count(shell.messages.begin(), shell.messages.end(), "Error: >10 data files attached."), 1);
  EXPECT_EQ(table.RowCount(), 11);
}

TEST_F(ConfigTest, HistogramCountsAndMarks) {
  // Presences crowd into class 2: the presence test is significant, absences are spread evenly.
  ScanResult s = Pick("obs.asc", GridText(4, 2, {{"1", "1", "0", "-9999"}, {"1", "0", "0", "0"}}));
  ws->CurrentDataDef.PositiveIndicatorValue = 1;
  ws->CurrentDataDef.NegativeIndicatorValue = 0;
  SubmitCurrentDataDef(*ws, table, shell);
  Pick("aux.asc", GridText(4, 2, {{"5", "5", "1", "1"}, {"5", "1", "5", "1"}}));
  ClassBounds b;
  b.n = 2;
  ProposeBounds(b, ws->CurrentDataDef.minvalue, ws->CurrentDataDef.maxvalue);
  QImageCanvas pic(kHistogramWidth, kHistogramHeight);
  ASSERT_TRUE(DrawClassHistogram(*ws, b, pic, shell));
  EXPECT_EQ(ws->CurrentDataDef.NrClasses, 2);  // stored before drawing
  // Bars: class 1 x = 25, bw = 149, green to 75; class 2 presences = top reach y = 15.
  EXPECT_EQ(pic.Pixel(174 + 10, 16), (Rgb{0, 128, 0}));
  EXPECT_EQ(pic.Pixel(30, 16), (Rgb{255, 255, 255}));
}

TEST_F(ConfigTest, HistogramChi2Texts) {
  HistogramCounts h;
  h.cells = {0, 50, 50};
  h.presences = {0, 0, 20};
  h.absences = {0, 10, 10};
  EXPECT_EQ(HistogramChi2Text(h, 2, true), "Chi2 pos: 20.0 **");
  EXPECT_EQ(HistogramChi2Text(h, 2, false), "Chi2 neg undefined");  // statistic 0
  h.presences = {0, 7, 13};  // expected 10 each: 0.9 + 0.9 = 1.8
  EXPECT_EQ(HistogramChi2Text(h, 2, true), "Chi2 pos: 1.8");
  h.presences = {0, 4, 0};  // expected 2 and 2: 2 + 2 = 4 >= 3.84
  EXPECT_EQ(HistogramChi2Text(h, 2, true), "Chi2 pos: 4.0 *");
  h.cells = {0, 99, 1};  // expected presences in class 2 rounds to 0
  EXPECT_EQ(HistogramChi2Text(h, 2, true), "Chi2 pos undefined");
}

TEST_F(ConfigTest, HistogramWithoutAPresenceGridReportsTheError) {
  Pick("aux.asc", GridText(2, 1, {{"1", "2"}}));
  ClassBounds b;
  ProposeBounds(b, 1, 2);
  QImageCanvas pic(kHistogramWidth, kHistogramHeight);
  EXPECT_FALSE(DrawClassHistogram(*ws, b, pic, shell));
  EXPECT_EQ(shell.messages.back(), HistogramErrorMessage());
  EXPECT_EQ(ws->CurrentDataDef.NrClasses, 8);  // the classes were stored all the same
}

// A grid in degrees: two decimals would make its cell size 0.00 and move its corner by up to half
// a kilometre. Through a saved and loaded configuration and a map's header it keeps every bit.
TEST_F(ConfigTest, AGridInDegreesKeepsItsGeoreferencing) {
  const double cs = 0.000833333, xll = 5.720416666667, yll = 50.749583333333;
  Pick("obs.asc", GridText(3, 2, {{"1", "0", "-9999"}, {"0", "1", "1"}}, "-9999", xll, yll, cs));
  ws->CurrentDataDef.PositiveIndicatorValue = 1;
  ws->CurrentDataDef.NegativeIndicatorValue = 0;
  ASSERT_TRUE(SubmitCurrentDataDef(*ws, table, shell));
  Pick("aux.asc", GridText(3, 2, {{"0.5", "2", "3"}, {"4", "5", "6.5"}}, "-9999", xll, yll, cs));
  ClassBounds b;
  b.n = 3;
  ProposeBounds(b, ws->CurrentDataDef.minvalue, ws->CurrentDataDef.maxvalue);
  PerformFinalization(b, ws->CurrentDataDef);
  ASSERT_TRUE(SubmitCurrentDataDef(*ws, table, shell));
  ASSERT_TRUE(CheckConsistency(*ws, shell));

  const ConfigFileView saved = SaveConfiguration(*ws, dir / "deg.txt", shell);
  EXPECT_EQ(saved.memo[4], "5.720416666667 X at lower left corner");
  EXPECT_EQ(saved.memo[6], "0.000833333    Cell size");
  EXPECT_EQ(saved.memo[7], "-9999.00  Value for No Data");  // the other numbers keep their layout
  auto fresh = std::make_unique<Workspace>();
  RunTables fresh_tables;
  LayOutRunTables(fresh_tables);
  LoadConfiguration(*fresh, fresh_tables.DataConfiguration, dir / "deg.txt", shell);
  ASSERT_EQ(fresh->DataDefCount, 2);
  for (int i = 1; i <= 2; ++i) {
    EXPECT_EQ(fresh->DataDef(i).cellsize, cs);
    EXPECT_EQ(fresh->DataDef(i).xllcorner, xll);
    EXPECT_EQ(fresh->DataDef(i).yllcorner, yll);
  }
  EXPECT_TRUE(CheckConsistency(*fresh, shell));

  // A map written over the loaded geometry reads back with the same corner and cell size.
  {
    TextWriter out(dir / "map.asc");
    WriteGridHeader(out, fresh->DataDef(1));
    out.WriteLine("0.1 0.2 0.3");
    out.WriteLine("0.4 0.5 0.6");
    out.Close();
  }
  TDataDef map;
  map.FileName = (dir / "map.asc").string();
  ASSERT_TRUE(ReadHeader(map, shell));
  EXPECT_EQ(map.cellsize, cs);
  EXPECT_EQ(map.xllcorner, xll);
  EXPECT_EQ(map.yllcorner, yll);
  EXPECT_EQ(map.ncols, 3);
  EXPECT_EQ(map.nrows, 2);
}

TEST_F(ConfigTest, RelativeGridNamesMeanTheConfigurationsFolder) {
  std::filesystem::create_directories(dir / "project" / "cfg");
  const std::string block = "\nasciigrid\n3\n2\n0\n0\n1\n-9999\n0\n1\n-9999\n-9999\n0\n";
  WriteFile(dir / "project" / "cfg" / "c.txt", "soil.asc" + block + "../grids/dist.asc" + block + "/abs/obs.asc" + block);
  LoadConfiguration(*ws, table, dir / "project" / "cfg" / "c.txt", shell);
  ASSERT_EQ(ws->DataDefCount, 3);
  EXPECT_EQ(ws->DataDef(1).FileName, (dir / "project" / "cfg" / "soil.asc").string());
  EXPECT_EQ(ws->DataDef(2).FileName, (dir / "project" / "grids" / "dist.asc").string());
  EXPECT_EQ(ws->DataDef(3).FileName, "/abs/obs.asc");
  // The log shows the file as it stands.
  EXPECT_NE(std::find(shell.logLines.begin(), shell.logLines.end(), "soil.asc"), shell.logLines.end());
}

// A save writes nothing that a load would refuse, and leaves no file behind when it refuses.
TEST_F(ConfigTest, SavingRefusesWhatCouldNotBeLoadedBack) {
  AddObservation("obs.asc", 1, 0);
  ws->DataDef(1).FileName = (dir / "two\nlines.asc").string();
  std::string what;
  try {
    SaveConfiguration(*ws, dir / "c.txt", shell);
  } catch (const FileError& e) {
    what = e.what();
  }
  EXPECT_NE(what.find("holds a line break"), std::string::npos) << what;
  EXPECT_NE(what.find("two\\x0alines.asc"), std::string::npos) << what;
  EXPECT_FALSE(std::filesystem::exists(dir / "c.txt"));

  ws->DataDef(1).FileName = (dir / "obs.asc").string();
  ws->DataDef(1).maxvalue = std::numeric_limits<double>::infinity();
  EXPECT_THROW(WriteConfigurationFile(*ws, dir / "c.txt"), FileError);
  EXPECT_FALSE(std::filesystem::exists(dir / "c.txt"));
}

// Held whole, a file of empty lines takes 32 bytes of memory for each byte on the disk.
TEST_F(ConfigTest, AFileLargerThanAnyConfigurationIsRefused) {
  const std::string block = "/g.asc\nasciigrid\n3\n2\n0\n0\n1\n-9999\n0\n1\n-9999\n-9999\n0\n";
  WriteFile(dir / "blank-tail.txt", block + std::string(1 << 20, '\n'));
  std::string what;
  try {
    LoadConfiguration(*ws, table, dir / "blank-tail.txt", shell);
  } catch (const FileError& e) {
    what = e.what();
  }
  EXPECT_EQ(what, (dir / "blank-tail.txt").string() + ": the file is too large: its lines take more than 16 MiB");
  EXPECT_EQ(ws->DataDefCount, 0);
  // A few thousand blank lines after the blocks are still only a hand-edited end.
  WriteFile(dir / "blank-few.txt", block + std::string(5000, '\n'));
  LoadConfiguration(*ws, table, dir / "blank-few.txt", shell);
  EXPECT_EQ(ws->DataDefCount, 1);
}

TEST_F(ConfigTest, AByteOrderMarkLoadsAndControlBytesShowEscaped) {
  const std::string block = "\nasciigrid\n3\n2\n0\n0\n1\n-9999\n0\n1\n-9999\n-9999\n0\n";
  WriteFile(dir / "bom.txt", "\xEF\xBB\xBF/g.asc" + block);
  LoadConfiguration(*ws, table, dir / "bom.txt", shell);
  ASSERT_EQ(ws->DataDefCount, 1);
  EXPECT_EQ(ws->DataDef(1).FileName, "/g.asc");

  WriteFile(dir / "esc.txt", "/g.asc\nascii\x1b[2Jgrid\n");
  std::string what;
  try {
    LoadConfiguration(*ws, table, dir / "esc.txt", shell);
  } catch (const FileError& e) {
    what = e.what();
  }
  EXPECT_NE(what.find("line 2: the file type must be \"asciigrid\" or \"notgrid\", not \"ascii\\x1b[2Jgrid\""),
            std::string::npos) << what;
}

}  // namespace
}  // namespace karvelo
