// Validation: screening and importing points, the map lookup, and the ROC curve with its AUC.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "core/errors.h"
#include "core/gridfile.h"
#include "core/numfmt.h"
#include "core/runcontext.h"
#include "render/qimage_canvas.h"
#include "test_support.h"
#include "validation/lookup.h"
#include "validation/roc.h"
#include "validation/valdata.h"

namespace karvelo {
namespace {

using test::RecordingShell;
using test::TempDir;
using test::WriteFile;

class ValidationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    shell.run().SetFolder(dir.path());
  }
  void TearDown() override { std::filesystem::current_path(previous); }
  ValidationFile Open(const std::string& text) {
    WriteFile(dir / "val.txt", text);
    ValidationFile f;
    OpenValidationFile(f, dir / "val.txt", shell);
    return f;
  }
  TextGrid Import(const ValidationFile& f) {
    LoadValData(f, records, shell);
    return Table();
  }
  TextGrid LookUp(TDataDef& map, const std::filesystem::path& file) {
    LookUpPredictiveMap(map, file, true, records, shell);
    return Table();
  }
  TextGrid Table() const {
    TextGrid t(4, 1);
    FillValDataTable(records, t);
    return t;
  }
  // Records as the lookup leaves them: code and map value.
  void LookedUp(const std::vector<std::pair<double, std::string>>& valueAndCode) {
    records.clear();
    for (const auto& [v, code] : valueAndCode) {
      records.Add(static_cast<std::uint32_t>(records.size() + 1), "1", "1", code);
      records.SetValue(records.size() - 1, v);
    }
    records.lookedUp = true;
  }
  TempDir dir;
  ValidationRecords records;
  std::filesystem::path previous;
  RecordingShell shell;
};

TEST(LeesDelWoord, TakesFieldsOffTheFront) {
  std::string line = PrepareLine("  12;3.5,,x  ");
  std::string w;
  LeesDelWoord(line, w);
  EXPECT_EQ(w, "12");
  LeesDelWoord(line, w);
  EXPECT_EQ(w, "3.5");
  LeesDelWoord(line, w);
  EXPECT_EQ(w, "x");
  LeesDelWoord(line, w);
  EXPECT_EQ(w, "");
}

TEST_F(ValidationTest, ScreeningOfAHeaderAndCodes) {
  const ValidationFile f = Open("X;Y;Val\n102.5;87.0;1\n100;80;0\n101;81;1\n99;70;0\n");
  EXPECT_EQ(f.ValHeaderLines, 1);
  EXPECT_EQ(f.ValColumnCount, 3);
  EXPECT_EQ(f.ValColX, 1);
  EXPECT_EQ(f.ValColY, 2);
  EXPECT_EQ(f.ValColVal, 3);
  EXPECT_EQ(f.ValLineCount, 5);
  EXPECT_EQ(f.codes, (std::vector<std::string>{"1", "0"}));
  EXPECT_EQ(f.codes[static_cast<std::size_t>(f.findsIndex)], "1");
  EXPECT_EQ(f.codes[static_cast<std::size_t>(f.nonFindsIndex)], "0");
  EXPECT_EQ(shell.logLines.back(), "File with validation data loaded: " + (dir / "val.txt").string());
}

TEST_F(ValidationTest, HeaderWordsAndTheirQuirks) {
  ValidationFile f = Open("Xcoord Ycoord Value\n1 2 3\n");
  EXPECT_EQ(f.ValColX, 1);
  EXPECT_EQ(f.ValColY, 2);
  EXPECT_EQ(f.ValColVal, 3);
  f = Open("Xcoord Ycoord Value Type\n1 2 3 4\n");  // "Type" holds a y and comes later
  EXPECT_EQ(f.ValColY, 4);
  f = Open("1;2;7\n3;4;7\n");  // no header: nothing named, the editors show 1, codes of column 1
  EXPECT_EQ(f.ValHeaderLines, 0);
  EXPECT_EQ(f.ValColVal, 1);
  EXPECT_EQ(f.codes, (std::vector<std::string>{"1", "3"}));
  f = Open("1;2;5\n");  // a single code is proposed for both
  EXPECT_EQ(f.nonFindsIndex, 0);
}

// Only the text lines above the records are header lines; one among or below them is skipped and
// reported, and shifts nothing.
TEST_F(ValidationTest, TextAmongTheRecordsIsSkippedNotAHeader) {
  ValidationFile f = Open("X;Y;Val\n\n1;2;1\n3;4;0\n181000;NA;1\n \n5;6;0\nend of data\n");
  EXPECT_EQ(f.ValHeaderLines, 1);
  EXPECT_EQ(f.codes, (std::vector<std::string>{"1", "0"}));  // no code taken from a skipped line
  EXPECT_EQ(SkippedLinesNote(f), "3 lines were not read as records: lines 5, 6, 8 (text or blank lines among the records)");
  const TextGrid t = Import(f);
  EXPECT_EQ(t.fixedRows, 1);
  ASSERT_EQ(t.RowCount(), 4);
  EXPECT_EQ(t.Row(0), (std::vector<std::string>{"X", "Y", "Val", ""}));
  EXPECT_EQ(t.Row(3), (std::vector<std::string>{"1", "2", "1", ""}));
  EXPECT_EQ(records.Line(2), 3u);  // each record knows its line, for messages
  EXPECT_EQ(shell.logLines.back(), *SkippedLinesNote(f));

  std::string many = "X Y Val\n1 2 1\n";
  for (int i = 0; i < 7; ++i) many += "note\n";
  EXPECT_EQ(SkippedLinesNote(Open(many)), "7 lines were not read as records: lines 3, 4, 5, 6, 7, ... (text or blank lines among the records)");
  f = Open("1E5;2;1\n3;4;0\n");  // an exponent at the top still makes a header line
  EXPECT_EQ(f.ValHeaderLines, 1);
  EXPECT_FALSE(SkippedLinesNote(f));
  f = Open("1,2,,\n3,4,,\n");  // trailing separators give no extra field
  EXPECT_EQ(f.ValColumnCount, 2);
}

// Tabs separate fields like blanks; numbers with a decimal comma are refused, not split.
TEST_F(ValidationTest, TabsSeparateAndDecimalCommasAreRefused) {
  ValidationFile f = Open("X\tY\tVal\n1.5\t2\t1\n3\t\t4 ;0\n");
  EXPECT_EQ(f.ValHeaderLines, 1);
  EXPECT_EQ(f.ValColumnCount, 3);
  const TextGrid t = Import(f);
  EXPECT_EQ(t.Row(1), (std::vector<std::string>{"3", "4", "0", ""}));
  EXPECT_EQ(t.Row(2), (std::vector<std::string>{"1.5", "2", "1", ""}));
  for (const char* text : {"X;Y;Val\n181072,5;333611,2;1\n181100,0;333600,5;0\n", "181072,5 333611,2 1\n181100,0\t333600,5\t0\n"}) {
    try {
      Open(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const FileError& e) {
      EXPECT_NE(std::string(e.what()).find("the numbers are written with a decimal comma"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("val.txt: line "), std::string::npos) << e.what();
    }
  }
  // Commas that separate, with or without blanks, are no decimal commas.
  EXPECT_EQ(Open("181072.5, 333611.2, 1\n1,2,0\n").ValColumnCount, 3);
}

TEST_F(ValidationTest, ImportSortsNorthToSouthThenWestToEast) {
  const ValidationFile f = Open("X;Y;Val\n300;50;1\n100;50;2\n5;90;3\n1-2;95;4\n100;50;5\n");
  const TextGrid t = Import(f);
  ASSERT_EQ(t.RowCount(), 6);
  EXPECT_EQ(t.Row(0), (std::vector<std::string>{"X", "Y", "Val", ""}));
  EXPECT_EQ(t.Cell(2, 1), "3");
  EXPECT_EQ(t.Cell(2, 2), "2");  // equal Y: X 100 before 300, equal records in file order
  EXPECT_EQ(t.Cell(2, 3), "5");
  EXPECT_EQ(t.Cell(2, 4), "1");
  EXPECT_EQ(t.Cell(2, 5), "4");  // an X that is no number goes last
}

// A 5 x 5 map of cell size 10 at (0, 0); cell (r, c) holds r * 10 + c / 10.
void WriteMap(const std::filesystem::path& p, const std::string& special = "") {
  std::string t = "ncols 5\nnrows 5\nxllcorner 0\nyllcorner 0\ncellsize 10\nNODATA_value -9999\n";
  for (int r = 1; r <= 5; ++r) {
    for (int c = 1; c <= 5; ++c) t += (r == 3 && c == 3 && !special.empty()) ? special + " " : FormatShortest(r * 10 + c / 10.0) + " ";
    t += "\n";
  }
  WriteFile(p, t);
}

TEST_F(ValidationTest, CellsOfPoints) {
  TDataDef m;
  m.xllcorner = 0;
  m.yllcorner = 0;
  m.cellsize = 10;
  m.nrows = 5;
  m.ncols = 5;
  EXPECT_EQ(CellOf(m, 15, 45).row, 1);
  EXPECT_EQ(CellOf(m, 15, 45).col, 2);
  EXPECT_EQ(CellOf(m, 15, 5).row, 5);
  EXPECT_EQ(CellOf(m, 20, 5).col, 2);  // on the line between columns 2 and 3: the even one
  EXPECT_FALSE(between(0, 0, 50));
  EXPECT_TRUE(between(1, 50, 0));
}

TEST_F(ValidationTest, LookupKeepsRecordsWithValues) {
  WriteMap(dir / "map.asc", "-9995");
  // Header; a point on the west edge; two in one cell; one on the no-data band; one out of X
  // order within a grid row (lower Y but smaller X); one below the map.
  const ValidationFile f = Open("X;Y;Val\n0;45;1\n15;45;1\n16;44;0\n25;25;0\n45;32;1\n35;38;0\n5;-5;1\n");
  Import(f);
  TDataDef map;
  const TextGrid t = LookUp(map, dir / "map.asc");
  ASSERT_EQ(t.RowCount(), 5);
  EXPECT_EQ(t.Cell(3, 0), "DataGridfile");
  EXPECT_EQ(t.Row(1), (std::vector<std::string>{"15", "45", "1", "10.2000000"}));
  EXPECT_EQ(t.Row(2), (std::vector<std::string>{"16", "44", "0", "10.2000000"}));
  // (35, 38) and (45, 32) share grid row 2: each gets its own cell although X runs backwards.
  EXPECT_EQ(t.Row(3), (std::vector<std::string>{"35", "38", "0", "20.4000000"}));
  EXPECT_EQ(t.Row(4), (std::vector<std::string>{"45", "32", "1", "20.5000000"}));
  EXPECT_EQ(test::ReadFile("ValDataComplete.txt"),
            "15 45 1 10.2000000 \r\n16 44 0 10.2000000 \r\n35 38 0 20.4000000 \r\n45 32 1 20.5000000 \r\n");
  EXPECT_EQ(map.minvalue, -9995);  // the map's own description, scanned: -9995 is not the no-data value
  EXPECT_EQ(shell.logLines.back(), "Lookup in map.asc: 4 of 7 validation records kept, 3 dropped: 2 outside the map, "
                                   "1 within 0.1 % of the no-data value");
}

TEST_F(ValidationTest, APointRoundedOntoTheCellBeyondTheEdgeIsOffTheMap) {
  // A point a hair east of the western edge: x - xllcorner is lost against half a cell, the
  // point lands exactly half-way and halves go to the even column 0, which is no cell of the map.
  WriteFile(dir / "edge.asc", "ncols 2\nnrows 5\nxllcorner 0.5\nyllcorner 0\ncellsize 4\nNODATA_value -9999\n"
                                "1 2\n3 4\n5 6\n7 8\n9 10\n");
  const ValidationFile f = Open("X;Y;Val\n0.5000000000000001;10;1\n6.5;10;0\n");
  Import(f);
  TDataDef map;
  const TextGrid t = LookUp(map, dir / "edge.asc");
  ASSERT_EQ(t.RowCount(), 2);
  EXPECT_EQ(t.Row(1), (std::vector<std::string>{"6.5", "10", "0", " 6.0000000"}));
}

TEST_F(ValidationTest, LookupWithoutHeaderAndWithNothingInside) {
  WriteMap(dir / "map.asc");
  ValidationFile f = Open("15 45 1\n");
  f.ValColX = 1, f.ValColY = 2, f.ValColVal = 3;  // no header names them: the user sets them
  Import(f);
  TDataDef map;
  TextGrid t = LookUp(map, dir / "map.asc");
  EXPECT_EQ(t.Row(0), (std::vector<std::string>{"15", "45", "1", "10.2000000"}));  // no "DataGridfile" label
  EXPECT_EQ(t.RowCount(), 1);

  f = Open("X Y V\n500 500 1\n-5 5 0\n");
  Import(f);
  t = LookUp(map, dir / "map.asc");
  EXPECT_EQ(t.RowCount(), 1);
  EXPECT_EQ(test::ReadFile("ValDataComplete.txt"), "");
}

// The 10000-step comparison of every record, as the curve describes it.
std::vector<std::pair<double, double>> LiteralRoc(const std::vector<std::pair<double, bool>>& recs, double vmin, double vmax) {
  std::vector<double> f(kRocThresholds + 1, 0), n(kRocThresholds + 1, 0);
  for (const auto& [v, find] : recs) {
    const double w = (v - vmin) / (vmax - vmin);
    for (int r = kRocThresholds; r >= 1; --r)
      if (w >= static_cast<double>(r) / kRocThresholds) (find ? f : n)[static_cast<std::size_t>(r)] += 1;
  }
  std::vector<std::pair<double, double>> out;
  for (int r = 1; r <= kRocThresholds; ++r) out.push_back({f[static_cast<std::size_t>(r)], n[static_cast<std::size_t>(r)]});
  return out;
}

TEST_F(ValidationTest, RocCountsMatchTheThresholdLoop) {
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  std::vector<std::pair<double, bool>> recs;
  std::vector<std::pair<double, std::string>> looked;
  for (int i = 0; i < 400; ++i) {
    // Values on and near the thresholds' boundaries as well as anywhere.
    double v = (i % 3 == 0) ? static_cast<double>(rng() % 10001) / 10000.0 : std::uniform_real_distribution<>(0, 1)(rng);
    if (i % 7 == 0) v = std::nextafter(v, 2.0);
    const bool find = rng() % 3 == 0;
    recs.push_back({v, find});
    looked.push_back({v, find ? "1" : "0"});
  }
  LookedUp(looked);
  const RocCounts c = CountRoc(records, 1, 0, 1, shell);
  const auto literal = LiteralRoc(recs, 0, 1);
  for (int r = 1; r <= kRocThresholds; ++r) {
    ASSERT_EQ(c.finds[static_cast<std::size_t>(r)], literal[static_cast<std::size_t>(r - 1)].first) << r;
    ASSERT_EQ(c.nonFinds[static_cast<std::size_t>(r)], literal[static_cast<std::size_t>(r - 1)].second) << r;
  }
  // The polygon AUC against the rank-based AUC (ties count half), on values spread over many thresholds.
  double pairs = 0, wins = 0;
  for (const auto& a : recs)
    for (const auto& b : recs)
      if (a.second && !b.second) {
        pairs += 1;
        const int ra = ThresholdReach(a.first), rb = ThresholdReach(b.first);
        wins += ra > rb ? 1 : (ra == rb ? 0.5 : 0);
      }
  EXPECT_NEAR(RocAuc(c), wins / pairs, 1e-9);
  EXPECT_EQ(ThresholdReach(0), 0);
  EXPECT_EQ(ThresholdReach(1), kRocThresholds);
  EXPECT_EQ(ThresholdReach(0.5), 5000);
}

TEST_F(ValidationTest, EvaluationPictureTitleAndDegenerateCases) {
  // Every find above every non-find, a record at the minimum, and a code 2 counted as non-find.
  LookedUp({{0.9, "1"}, {0.8, "1"}, {0.1, "0"}, {0, "2"}});
  QImageCanvas pic(kRocPictureSize, kRocPictureSize);
  const auto auc = EvaluateRoc(dir / "BayesP.asc", dir / "val.txt", "1", 0, 1, records, pic, shell);
  ASSERT_TRUE(auc.has_value());
  EXPECT_DOUBLE_EQ(*auc, 1.0);
  EXPECT_TRUE(std::filesystem::exists("ROC of BayesP.asc.bmp"));
  EXPECT_EQ(RocTitle("/x/BayesP.asc"), "ROC of BayesP.asc");
  EXPECT_EQ(RocTitle(std::string(40, 'm')), "ROC of " + std::string(32, 'm') + "...");
  EXPECT_EQ(shell.logLines.back(), "ROC for " + (dir / "BayesP.asc").string() + " using " + (dir / "val.txt").string() +
                                       " written to: <ROC of BayesP.asc.bmp>");
  EXPECT_EQ(pic.Pixel(40, 170), (Rgb{0, 0, 0}));  // the frame
  const RocCounts c = CountRoc(records, 1, 0, 1, shell);
  EXPECT_EQ(c.totalNonFinds, 2);
  EXPECT_EQ(c.nonFinds[1], 1);  // the record at the minimum adds to no threshold

  std::filesystem::remove("ROC of BayesP.asc.bmp");
  shell.messages.clear();
  EXPECT_FALSE(EvaluateRoc(dir / "BayesP.asc", dir / "val.txt", "7", 0, 1, records, pic, shell).has_value());  // no find
  EXPECT_EQ(shell.messages.size(), 1u);
  EXPECT_FALSE(EvaluateRoc(dir / "BayesP.asc", dir / "val.txt", "choose", 0, 1, records, pic, shell).has_value());
  EXPECT_FALSE(std::filesystem::exists("ROC of BayesP.asc.bmp"));
}

// Codes 0 and 1 take 1 as finds whatever their file order, and the evaluation says what it took.
TEST_F(ValidationTest, CodesTakenAsFindsAndNonFinds) {
  EXPECT_EQ(ProposedFindsCode(Open("X;Y;Val\n1;1;0\n2;2;1\n3;3;0\n")), "1");
  EXPECT_EQ(ProposedFindsCode(Open("X;Y;Val\n1;1;0.0\n2;2;1.0\n")), "1.0");
  EXPECT_EQ(ProposedFindsCode(Open("X;Y;Val\n1;1;2\n2;2;1\n3;3;0\n")), "2");  // not just 0 and 1: the first code
  LookedUp({{0.9, "1"}, {0.2, "0"}, {0.4, "2"}, {0.1, "0"}});
  EXPECT_EQ(CountRoc(records, 1, 0, 1, shell).codesLine, "Finds: code 1 (1 record); non-finds: codes 0, 2 (3 records)");
  LookedUp({{0.9, "1"}, {0.2, "0"}});
  QImageCanvas pic(kRocPictureSize, kRocPictureSize);
  ASSERT_TRUE(EvaluateRoc(dir / "BayesP.asc", dir / "val.txt", "1", 0, 1, records, pic, shell).has_value());
  EXPECT_NE(std::find(shell.logLines.begin(), shell.logLines.end(), "Finds: code 1 (1 record); non-finds: code 0 (1 record)"),
            shell.logLines.end());
}

// The lookup counts what it drops by reason; a mean map with the plain map beside it tells the
// evidence filter's cells from cells without data, and a lack of finds there is explained.
TEST_F(ValidationTest, LookupCountsDroppedRecordsByReason) {
  const std::string header = "ncols 3\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -1.0\n";
  WriteFile(dir / "AVGBayesP.asc", header + "0.5 -1.0 -1.0\n");
  WriteFile(dir / "BayesP.asc", header + "0.4 0.7 -1.0\n");
  // A non-find on the kept cell, two finds on the filtered one, one on the cell without data,
  // one outside, one whose X is no number.
  Import(Open("X;Y;Val\n0.5;0.5;0\n1.5;0.5;1\n1.4;0.6;1\n2.5;0.5;1\n7;0.5;1\n1-2;0.5;1\n"));
  TDataDef map;
  LookUp(map, dir / "AVGBayesP.asc");
  EXPECT_EQ(LookupReportLine(records), "Lookup in AVGBayesP.asc: 1 of 6 validation records kept, 5 dropped: 1 with an X or Y "
                                       "that is no number, 1 outside the map, 1 on no-data cells, 2 on cells removed by the "
                                       "evidence filter (a value in BayesP.asc, none in AVGBayesP.asc)");
  QImageCanvas pic(kRocPictureSize, kRocPictureSize);
  EXPECT_FALSE(EvaluateRoc(dir / "AVGBayesP.asc", dir / "val.txt", "1", 0, 1, records, pic, shell).has_value());
  ASSERT_EQ(shell.messages.size(), 1u);
  EXPECT_NE(shell.messages[0].find("2 finds fell on cells that the evidence filter removed from AVGBayesP.asc: map again with "
                                   "a weaker evidence level"),
            std::string::npos)
      << shell.messages[0];
  // The plain map itself has no filtered cells: its empty cell is no data.
  Import(Open("X;Y;Val\n1.5;0.5;1\n2.5;0.5;0\n"));
  LookUp(map, dir / "BayesP.asc");
  EXPECT_EQ(LookupReportLine(records), "Lookup in BayesP.asc: 1 of 2 validation records kept, 1 dropped: 1 on no-data cells");
}

// The records keep their texts as written beside their numbers through the sort and the lookup,
// and a cancel stops the reading.
TEST_F(ValidationTest, RecordsKeepTheirTextsAndNumbersTogether) {
  WriteMap(dir / "map.asc");
  Import(Open("X;Y;Val\n015.0;45;1\n35.00;38;0\n-0;-0;1\n5;5.;01\n"));
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(records.XText(0), "015.0");  // Y 45, the northernmost
  EXPECT_EQ(records.X(0), 15);
  EXPECT_EQ(records.CodeText(2), "01");
  EXPECT_EQ(records.Code(2), 1);
  EXPECT_EQ(records.Line(3), 4u);  // "-0;-0;1", last: the southernmost
  TDataDef map;
  LookUp(map, dir / "map.asc");
  EXPECT_EQ(test::ReadFile("ValDataComplete.txt"), "015.0 45 1 10.2000000 \r\n35.00 38 0 20.4000000 \r\n5 5. 01 50.1000000 \r\n");

  // A permutation moves whole records, whatever its cycles.
  ValidationRecords r;
  for (int i = 0; i < 50; ++i) r.Add(static_cast<std::uint32_t>(i), std::to_string(i), std::to_string(i * 2), std::to_string(i % 3));
  std::vector<std::uint32_t> order(50);
  for (std::uint32_t i = 0; i < 50; ++i) order[i] = (i * 7 + 3) % 50;
  const std::vector<std::uint32_t> want = order;
  r.Reorder(order);
  for (std::size_t i = 0; i < 50; ++i) {
    ASSERT_EQ(r.Line(i), want[i]);
    ASSERT_EQ(r.YText(i), std::to_string(want[i] * 2));
    ASSERT_EQ(r.Y(i), want[i] * 2.0);
    ASSERT_EQ(r.CodeText(i), std::to_string(want[i] % 3));
  }

  std::string many = "X;Y;Val\n";
  for (int i = 0; i < 20000; ++i) many += "1;2;1\n";
  const ValidationFile f = Open(many);
  shell.run().RequestCancel();
  EXPECT_THROW(LoadValData(f, records, shell), Cancelled);
  shell.run().ClearCancel();
}

// Without the skip, the mark makes the first record a header line and it is never looked up.
TEST_F(ValidationTest, AByteOrderMarkIsNotAHeader) {
  const ValidationFile f = Open("\xEF\xBB\xBF" "102.5;87.0;1\n100;80;0\n");
  EXPECT_EQ(f.ValHeaderLines, 0);
  EXPECT_EQ(f.ValLineCount, 2);
  const TextGrid t = Import(f);
  EXPECT_EQ(t.Cell(0, 0), "102.5");
}

}  // namespace
}  // namespace karvelo
