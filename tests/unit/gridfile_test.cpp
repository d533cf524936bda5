// Reading ASCII grid headers and cells, scanning their range and unique values, writing headers.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <random>

#include "core/errors.h"
#include "core/gridfile.h"
#include "core/numfmt.h"
#include "test_support.h"

namespace karvelo {
namespace {

using test::GridText;
using test::RecordingShell;
using test::TempDir;
using test::WriteFile;

// The text of a FileError the call throws ("" when it throws none).
template <typename F>
std::string ErrorOf(F&& call) {
  try {
    call();
  } catch (const FileError& e) {
    return e.what();
  }
  return "";
}

class GridFileTest : public ::testing::Test {
 protected:
  // Writes text as a grid file and returns a working record that names it.
  TDataDef Grid(const std::string& text, const std::string& name = "g.asc") {
    WriteFile(dir / name, text);
    TDataDef def;
    def.FileName = (dir / name).string();
    return def;
  }
  TDataDef ReadAndScan(const std::string& text, ScanResult* scan) {
    TDataDef def = Grid(text);
    EXPECT_TRUE(ReadHeader(def, shell));
    *scan = ScanData(def, shell);
    return def;
  }
  TempDir dir;
  RecordingShell shell;
};

TEST_F(GridFileTest, HeaderInBothKeySpellingsAnyOrder) {
  TDataDef def = Grid(
      "NODATA_VALUE -1\nCELLSIZE 25.5\nYLLCORNER 200\nXLLCORNER 100.25\nNROWS 3\nNCOLS 4\n1 2 3 4\n");
  ASSERT_TRUE(ReadHeader(def, shell));
  EXPECT_EQ(def.ncols, 4);
  EXPECT_EQ(def.nrows, 3);
  EXPECT_EQ(def.xllcorner, 100.25);
  EXPECT_EQ(def.yllcorner, 200);
  EXPECT_EQ(def.cellsize, 25.5);
  EXPECT_EQ(def.NODATA_value, -1);
  EXPECT_EQ(def.PositiveIndicatorValue, -1);
  EXPECT_EQ(def.NegativeIndicatorValue, -1);
  EXPECT_TRUE(shell.messages.empty());
}

// Spellings other programs write: read as the user means them.
TEST_F(GridFileTest, HeaderSpellingsReadAsMeant) {
  struct Case {
    std::string text;
    std::int32_t ncols;
    double xll, yll, cellsize, nodata;
  } cases[] = {
      // Keys in any case, a tab between key and value, blanks around it, a number in exponent form.
      {"Ncols\t7.8e1\nNROWS 2\n  xllcorner  100.5 \nyllcorner\t-3\nCellSize 25\nnodata_value -1\n", 78, 100.5, -3, 25, -1},
      // CR line ends alone, and CR LF.
      {"ncols 2\rnrows 2\rxllcorner 1\ryllcorner 2\rcellsize 3\rNODATA_value 4\r1 2\r3 4\r", 2, 1, 2, 3, 4},
      {"ncols 2\r\nnrows 2\r\nxllcorner 1\r\nyllcorner 2\r\ncellsize 3\r\nNODATA_value 4\r\n1 2\r\n3 4\r\n", 2, 1, 2, 3, 4},
      // The centre of the lower-left cell: the corner lies half a cell from it.
      {"ncols 2\nnrows 2\nxllcenter 105\nYLLCENTER 205\ncellsize 10\nNODATA_value -9999\n", 2, 100, 200, 10, -9999},
      // dx and dy, equal, in place of cellsize: seven header lines.
      {"ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ndx 0.5\ndy 0.5\nNODATA_value -9999\n", 2, 0, 0, 0.5, -9999},
  };
  for (const Case& c : cases) {
    TDataDef def = Grid(c.text);
    ASSERT_TRUE(ReadHeader(def, shell)) << c.text;
    EXPECT_EQ(def.ncols, c.ncols) << c.text;
    EXPECT_EQ(def.xllcorner, c.xll) << c.text;
    EXPECT_EQ(def.yllcorner, c.yll) << c.text;
    EXPECT_EQ(def.cellsize, c.cellsize) << c.text;
    EXPECT_EQ(def.NODATA_value, c.nodata) << c.text;
  }
  // The cells after a header of seven lines, and after CR line ends, are the grid's.
  ScanResult scan;
  TDataDef seven = ReadAndScan("ncols 2\nnrows 1\nxllcorner 0\nyllcorner 0\ndx 1\ndy 1\nNODATA_value -9999\n5 7\n", &scan);
  EXPECT_EQ(seven.minvalue, 5);
  EXPECT_EQ(seven.maxvalue, 7);
  TDataDef cr = ReadAndScan("ncols 2\rnrows 2\rxllcorner 0\ryllcorner 0\rcellsize 1\rNODATA_value -9999\r1 2\r3 4\r", &scan);
  EXPECT_EQ(cr.minvalue, 1);
  EXPECT_EQ(cr.maxvalue, 4);
  EXPECT_EQ(scan.unique, (std::vector<std::string>{"1", "2", "3", "4"}));
}

// A header a reader would have to guess at is refused naming the file, the line and what was
// expected. Each case follows a good grid read into the same record: no field of it may stand in
// for one the bad header lacks.
TEST_F(GridFileTest, HeaderFaultsAreRefusedWithFileAndLine) {
  const std::string rows = "1 2\n3 4\n";
  const std::string head = "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\n";
  struct Case {
    std::string text, expect;
  } cases[] = {
      {"", "line 1: the header has no ncols, nrows, xllcorner, yllcorner, cellsize and NODATA_value (the file ends here)"},
      {std::string("\x00\x01\x02" "binary\xff\n", 11),
       "line 1: the header has no ncols, nrows, xllcorner, yllcorner, cellsize and NODATA_value (found \"\\x00\\x01\\x02binary\\xff\")"},
      {"ncols 2\nnrows 2\nxllcorner 0\n", "line 4: the header has no yllcorner, cellsize and NODATA_value (the file ends here)"},
      {head + "cellsize 1\n" + rows, "line 6: the header has no NODATA_value (found \"1 2\")"},
      {head + "cellsize 1\nnodata -9999\n" + rows, "line 6: the header has no NODATA_value (found \"nodata -9999\")"},
      {head + "dx 1\nNODATA_value -9999\n" + rows, "line 7: the header has no dy (found \"1 2\")"},
      {"ncols 7.5\n", "line 1: ncols is not a whole number (found \"7.5\")"},
      {"ncols 0\n", "line 1: ncols must be at least 1 (found \"0\")"},
      {"ncols 2\nnrows -3\n", "line 2: nrows must be at least 1 (found \"-3\")"},
      {"ncols 10x\n", "line 1: ncols is not a whole number (found \"10x\")"},
      {"ncols 2\nnrows 2\nxllcorner 12.5abc\n", "line 3: xllcorner is not a number (found \"12.5abc\")"},
      {"ncols 2\nnrows 2\nxllcorner 1 0\n", "line 3: xllcorner is not a number (found \"1 0\")"},
      {"ncols\n", "line 1: ncols has no value"},
      {head + "cellsize 0\n", "line 5: cellsize must be above 0 (found \"0\")"},
      {head + "cellsize -1\n", "line 5: cellsize must be above 0 (found \"-1\")"},
      {head + "cellsize 1e308\nNODATA_value -9999\n" + rows, "line 5: cellsize 1e+308 puts the grid's far corner beyond the range of numbers"},
      {head + "dx 1\ndy 2\nNODATA_value -9999\n" + rows, "line 6: dx 1 and dy 2 differ, but the cells of a grid must be square"},
      {head + "cellsize 1\ndx 1\n", "line 6: the header gives the cell size twice (cellsize on line 5, dx on line 6)"},
      {"ncols 2\nnrows 2\nxllcorner 0\nXLLCENTER 0.5\n", "line 4: the header gives the X position twice (xllcorner on line 3, xllcenter on line 4)"},
      {"ncols 2\nNCOLS 2\n", "line 2: the header gives the number of columns twice (ncols on line 1, ncols on line 2)"},
  };
  for (const Case& c : cases) {
    TDataDef def = Grid(GridText(3, 1, {{"1", "2", "3"}}, "-7", 5, 6, 8), "good.asc");
    ASSERT_TRUE(ReadHeader(def, shell));
    def.FileName = (dir / "bad.asc").string();
    WriteFile(dir / "bad.asc", c.text);
    const std::string what = ErrorOf([&] { ReadHeader(def, shell); });
    EXPECT_EQ(what.rfind((dir / "bad.asc").string() + ": " + c.expect, 0), 0u) << what;
  }
}

TEST_F(GridFileTest, SizeLimitIsTenThousandEachWay) {
  TDataDef ok = Grid(GridText(10000, 10000, {}), "ok.asc");
  EXPECT_TRUE(ReadHeader(ok, shell));
  EXPECT_TRUE(shell.messages.empty());

  TDataDef wide = Grid(GridText(10001, 5, {}), "wide.asc");
  EXPECT_FALSE(ReadHeader(wide, shell));
  ASSERT_EQ(shell.messages.size(), 1u);
  EXPECT_EQ(shell.messages[0], "Too many grid cells (10000x10000 cells allowed).\nClip a smaller area and restart.");

  TDataDef tall = Grid(GridText(5, 10001, {}), "tall.asc");
  EXPECT_FALSE(ReadHeader(tall, shell));
  EXPECT_EQ(shell.messages.size(), 2u);
}

TEST_F(GridFileTest, NotgridEntriesReadNothing) {
  TDataDef def;
  def.FileName = (dir / "missing.txt").string();
  def.GridFileType = TGridFileType::notgrid;
  def.NODATA_value = -5;
  def.ncols = 3;
  EXPECT_TRUE(ReadHeader(def, shell));
  EXPECT_EQ(def.ncols, 3);
  GridReader reader(def);
  reader.SkipHeader();
  EXPECT_EQ(reader.ReadValue(), -5);
  ScanResult scan = ScanData(def, shell);
  EXPECT_FALSE(scan.scanned);
  EXPECT_EQ(def.minvalue, 1000000000);
}

TEST_F(GridFileTest, MissingFileIsAFileErrorNamingIt) {
  TDataDef def;
  def.FileName = (dir / "nope.asc").string();
  try {
    ReadHeader(def, shell);
    FAIL() << "no error";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("nope.asc"), std::string::npos);
  }
}

TEST_F(GridFileTest, ReaderFollowsRowsSkipsSurplusValuesAndRefusesMissingOnes) {
  // Row 1 has a surplus value, row 2 runs over two lines, row 3 is short and the file ends early.
  TDataDef def = Grid(GridText(3, 4, {{"1", "2", "3", "99"}, {"4"}, {"5\t6"}, {"7", "8"}}), "short.asc");
  ASSERT_TRUE(ReadHeader(def, shell));
  GridReader reader(def);
  reader.SkipHeader();
  std::vector<double> got;
  const std::string what = ErrorOf([&] {
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 3; ++c) got.push_back(reader.ReadValue());
      reader.ReadLine();
    }
  });
  EXPECT_EQ(got, (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(what, (dir / "short.asc").string() + ": the header announces 12 values, the file holds 8");
  // The scan reads rows on every core, and refuses the same way: no missing cell reads as 0.
  EXPECT_EQ(ErrorOf([&] { ScanData(def, shell); }), what);
  std::string text = GridText(78, 104, {});
  for (int i = 0; i < 2731; ++i) text += i % 78 == 77 ? "1\n" : "1 ";
  TDataDef cut = Grid(text, "cut.asc");
  ASSERT_TRUE(ReadHeader(cut, shell));
  EXPECT_EQ(ErrorOf([&] { ScanData(cut, shell); }), (dir / "cut.asc").string() + ": the header announces 8112 values, the file holds 2731");
}

TEST_F(GridFileTest, LettersInCellsAreAnErrorWithFileAndLine) {
  TDataDef def = Grid(GridText(2, 2, {{"1", "2"}, {"3", "x4"}}), "bad.asc");
  ASSERT_TRUE(ReadHeader(def, shell));
  try {
    ScanData(def, shell);
    FAIL() << "no error";
  } catch (const FileError& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find("bad.asc"), std::string::npos) << what;
    EXPECT_NE(what.find("line 8"), std::string::npos) << what;
    EXPECT_NE(what.find("Invalid numeric input"), std::string::npos) << what;
    EXPECT_NE(what.find("x4"), std::string::npos) << what;
  }
}

TEST_F(GridFileTest, ScanOfThreeWholeValues) {
  ScanResult scan;
  TDataDef def = ReadAndScan(GridText(3, 2, {{"3", "1", "-9999"}, {"2", "2", "1"}}), &scan);
  EXPECT_EQ(scan.unique, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(scan.listText, "3 items");
  EXPECT_EQ(scan.listColour, ListColour::Green);
  EXPECT_TRUE(scan.indicatorsEnabled);
  EXPECT_EQ(scan.minText, "1");
  EXPECT_EQ(scan.maxText, "3");
  EXPECT_EQ(def.minvalue, 1);
  EXPECT_EQ(def.maxvalue, 3);
  EXPECT_EQ(shell.gaugeMax, 2);
  EXPECT_EQ(shell.progress, (std::vector<int>{1, 2}));
}

TEST_F(GridFileTest, ScanStopsCollectingAtAFraction) {
  ScanResult scan;
  TDataDef def = ReadAndScan(GridText(3, 1, {{"0.5", "1", "2"}}), &scan);
  EXPECT_TRUE(scan.unique.empty());
  EXPECT_EQ(scan.listText, "");
  EXPECT_EQ(scan.listColour, ListColour::Normal);
  EXPECT_TRUE(scan.indicatorsEnabled);
  EXPECT_EQ(scan.minText, "0.5");
  EXPECT_EQ(def.maxvalue, 2);

  // A fraction after whole values keeps what was collected.
  TDataDef later = ReadAndScan(GridText(3, 1, {{"4", "1", "2.25"}}), &scan);
  EXPECT_EQ(scan.unique, (std::vector<std::string>{"1", "4"}));
  EXPECT_EQ(scan.listText, "2 items");
  EXPECT_EQ(later.maxvalue, 4);
}

TEST_F(GridFileTest, ScanOfManyValuesListsFour) {
  ScanResult scan;
  ReadAndScan(GridText(6, 1, {{"1", "2", "3", "4", "5", "6"}}), &scan);
  EXPECT_EQ(scan.unique, (std::vector<std::string>{"1", "2", "3", "4"}));
  EXPECT_EQ(scan.listText, ">3 (first 3 given)");
  EXPECT_EQ(scan.listColour, ListColour::Yellow);
  EXPECT_FALSE(scan.indicatorsEnabled);

  // Exactly four values: "4 items", and both indicator buttons off.
  ReadAndScan(GridText(4, 1, {{"1", "2", "3", "4"}}), &scan);
  EXPECT_EQ(scan.listText, "4 items");
  EXPECT_FALSE(scan.indicatorsEnabled);

  // The list is sorted as text.
  ReadAndScan(GridText(3, 1, {{"10", "9", "-1"}}), &scan);
  EXPECT_EQ(scan.unique, (std::vector<std::string>{"-1", "10", "9"}));
}

TEST_F(GridFileTest, ScanOfOneValueWidensTheRange) {
  ScanResult scan;
  TDataDef def = ReadAndScan(GridText(2, 2, {{"7", "7"}, {"7", "7"}}), &scan);
  EXPECT_EQ(def.minvalue, 7);
  EXPECT_EQ(def.maxvalue, 8);
  EXPECT_EQ(scan.minText, "7");
  EXPECT_EQ(scan.maxText, "7");
  EXPECT_EQ(scan.listText, "1 items");
}

TEST_F(GridFileTest, ScanWithoutDataKeepsTheStartValues) {
  ScanResult scan;
  TDataDef def = ReadAndScan(GridText(2, 1, {{"-9999", "-9999"}}), &scan);
  EXPECT_EQ(def.minvalue, 1000000000);
  EXPECT_EQ(def.maxvalue, -1000000000);
  EXPECT_EQ(scan.minText, "1000000000");
  EXPECT_EQ(scan.maxText, "-1000000000");
  EXPECT_TRUE(scan.unique.empty());
}

TEST_F(GridFileTest, ScanOfHugeWholeValues) {
  // Values beyond 32 bits are listed in full; 2^63 and more stop the collecting quietly.
  ScanResult scan;
  ReadAndScan(GridText(2, 1, {{"5000000000", "-3000000000"}}), &scan);
  EXPECT_EQ(scan.unique, (std::vector<std::string>{"-3000000000", "5000000000"}));
  TDataDef def = ReadAndScan(GridText(3, 1, {{"1", "1e19", "2"}}), &scan);
  EXPECT_EQ(scan.unique, (std::vector<std::string>{"1"}));
  EXPECT_EQ(def.maxvalue, 1e19);
}

// The plain reading rule, kept to check the buffered reader against: whole file in memory, one
// character at a time.
class LiteralGridReader {
 public:
  explicit LiteralGridReader(const std::string& text) : t_(text) {}
  void ReadLine() {
    while (p_ < t_.size() && t_[p_] != '\n') ++p_;
    if (p_ < t_.size()) ++p_;
  }
  // After the header only cells follow: the end of the file before the last one is an error.
  double ReadValue() {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; };
    while (p_ < t_.size() && space(t_[p_])) ++p_;
    if (p_ >= t_.size()) throw FileError("the file holds too few values");
    std::string token;
    while (p_ < t_.size() && !space(t_[p_]) && token.size() < 64) token += t_[p_++];
    auto v = ParseReal(token);
    if (!v) throw FileError("Invalid numeric input");
    return *v;
  }

 private:
  std::string t_;
  std::size_t p_ = 0;
};

TEST_F(GridFileTest, BufferedReaderMatchesTheLiteralReader) {
  const unsigned seed = test::TestSeed();
  SCOPED_TRACE(test::SeedTrace(seed));
  std::mt19937 rng(seed);
  const char* tokens[] = {"0", "1", "-9999", "12345678901234567", "0.25", "-1.5E3", "7e-2", "+3",
                          ".5", "5.", "123456789012345", "-0", "0000000000000000000042"};
  const char* gaps[] = {" ", "  ", "\t", "\r\n", "\n", " \r\n"};
  for (int round = 0; round < 40; ++round) {
    const int ncols = 1 + static_cast<int>(rng() % 40), nrows = 1 + static_cast<int>(rng() % 40);
    std::string text = GridText(ncols, nrows, {});
    for (int r = 0; r < nrows; ++r) {
      const int n = ncols + static_cast<int>(rng() % 3) - 1;  // short, exact or long rows
      for (int c = 0; c < n; ++c) {
        text += tokens[rng() % std::size(tokens)];
        text += gaps[rng() % std::size(gaps)];
      }
      if (rng() % 4 == 0) text += std::string(70, '7') + " ";  // a token longer than 64 characters
      text += (rng() % 2) ? "\r\n" : "\n";
    }
    WriteFile(dir / "r.asc", text);
    TDataDef def;
    def.FileName = (dir / "r.asc").string();
    GridReader fast(def, 256);  // a small buffer so that tokens cross its edges
    LiteralGridReader plain(text);
    fast.SkipHeader();
    for (int i = 0; i < 6; ++i) plain.ReadLine();
    // Both read the same values and stop at the same one, short rows taking from the next line.
    auto readAll = [&](auto& reader) {
      std::vector<double> values;
      try {
        for (int r = 0; r < nrows; ++r) {
          for (int c = 0; c < ncols; ++c) values.push_back(reader.ReadValue());
          reader.ReadLine();
        }
        values.push_back(-12345);  // the end of a grid that held every value
      } catch (const FileError&) {
      }
      return values;
    };
    ASSERT_EQ(readAll(fast), readAll(plain)) << "round " << round;
  }
}

TEST_F(GridFileTest, WrittenHeaderPadsKeysAndEndsLinesWithCrLf) {
  TDataDef ref;
  ref.ncols = 78;
  ref.nrows = 104;
  ref.xllcorner = 0.006;
  ref.yllcorner = 150000;
  ref.cellsize = 0.001;
  ref.NODATA_value = -9999;
  {
    TextWriter out(dir / "h.asc");
    WriteGridHeader(out, ref);
    out.Close();
  }
  EXPECT_EQ(test::ReadFile(dir / "h.asc"),
            "ncols         78\r\nnrows         104\r\nxllcorner     0.006\r\nyllcorner     150000.00\r\n"
            "cellsize      0.001\r\nNODATA_value  -9999.00\r\n");
  {
    TextWriter out(dir / "h2.asc");
    WriteGridHeader(out, ref, std::string("-1.0"));
    out.Close();
  }
  EXPECT_NE(test::ReadFile(dir / "h2.asc").find("\r\nNODATA_value  -1.0\r\n"), std::string::npos);
  // What the writer writes, the reader reads back.
  TDataDef back;
  back.FileName = (dir / "h.asc").string();
  ASSERT_TRUE(ReadHeader(back, shell));
  EXPECT_EQ(back.ncols, 78);
  EXPECT_EQ(back.yllcorner, 150000);
  EXPECT_EQ(back.NODATA_value, -9999);
}

TEST_F(GridFileTest, WriterReportsAFolderThatIsNotThere) {
  EXPECT_THROW(TextWriter(dir / "no" / "such" / "file.asc"), FileError);
}

// A value beyond a double's range would become inf: the maps, the configuration and the lookup
// would compute with it, and a configuration saved from it could not be loaded back.
TEST_F(GridFileTest, ValuesThatAreNotFiniteAreRefusedWithTheirLine) {
  struct Case {
    std::string line3to6, expect;
  } headers[] = {
      {"xllcorner inf\nyllcorner 0\ncellsize 1\nNODATA_value -9999", "line 3: xllcorner is not a finite number (found \"inf\")"},
      {"xllcorner 0\nyllcorner -1e400\ncellsize 1\nNODATA_value -9999", "line 4: yllcorner is not a finite number (found \"-1e400\")"},
      {"xllcorner 0\nyllcorner 0\nCELLSIZE 1e999\nNODATA_value -9999", "line 5: cellsize is not a finite number (found \"1e999\")"},
      {"xllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value NaN", "line 6: NODATA_value is not a finite number (found \"NaN\")"},
      {"xllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -Infinity", "line 6: NODATA_value is not a finite number"},
  };
  for (const Case& c : headers) {
    TDataDef def = Grid("ncols 2\nnrows 1\n" + c.line3to6 + "\n1 2\n", "h.asc");
    const std::string what = ErrorOf([&] { ReadHeader(def, shell); });
    EXPECT_EQ(what.rfind((dir / "h.asc").string() + ": " + c.expect, 0), 0u) << what;
  }
  for (const std::string value : {"1e400", "-1e999", "123456789012345678901234567890e300"}) {
    TDataDef def = Grid(GridText(2, 2, {{"1", "2"}, {"3", value}}), "v.asc");
    ASSERT_TRUE(ReadHeader(def, shell));
    EXPECT_EQ(ErrorOf([&] { ScanData(def, shell); }),
              (dir / "v.asc").string() + ": line 8: Number out of range (found \"" + value + "\")");
  }
  // The largest doubles and the tiny ones that round to 0 are numbers: they stay accepted.
  ScanResult scan;
  TDataDef def = ReadAndScan(GridText(3, 1, {{"1e308", "-1.7e308", "1e-400"}}, "-9999", 0, 0, 1e300), &scan);
  EXPECT_EQ(def.cellsize, 1e300);
  EXPECT_EQ(def.maxvalue, 1e308);
  EXPECT_EQ(def.minvalue, -1.7e308);
}

TEST_F(GridFileTest, AByteOrderMarkIsSkipped) {
  TDataDef def = Grid("\xEF\xBB\xBFncols 3\nnrows 1\nxllcorner 2\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n1 2 3\n");
  ASSERT_TRUE(ReadHeader(def, shell));
  EXPECT_EQ(def.ncols, 3);  // without the skip the key is cut at the wrong place and reads 0
  ScanResult scan = ScanData(def, shell);
  EXPECT_EQ(def.minvalue, 1);
  EXPECT_EQ(def.maxvalue, 3);
  // Only at the very start: the same bytes later on are text like any other.
  TDataDef text = Grid("a\n\xEF\xBB\xBF" "b\n", "t.txt");
  GridReader reader(text);
  std::string line;
  ASSERT_TRUE(reader.ReadTextLine(line));
  EXPECT_EQ(line, "a");
  ASSERT_TRUE(reader.ReadTextLine(line));
  EXPECT_EQ(line, "\xEF\xBB\xBF" "b");
  // A file of the mark alone is empty.
  TDataDef bare = Grid("\xEF\xBB\xBF", "bare.txt");
  GridReader bareReader(bare);
  EXPECT_TRUE(bareReader.AtEnd());
}

// A file without line breaks would otherwise be read whole into one line (or, skipped to its end,
// forever for /dev/zero); every way of reading stops at the limit with the line's number.
TEST_F(GridFileTest, ALineOverTheLimitIsRefusedWithItsNumber) {
  std::string longLine;
  for (int i = 0; i < 2500; ++i) longLine += "7 ";
  TDataDef def = Grid("1\n2\n" + longLine + "\n3\n", "long.txt");
  auto readAll = [&](auto step) {
    return ErrorOf([&] {
      GridReader reader(def, 256, 1000);
      for (int i = 0; i < 3000; ++i) step(reader);
    });
  };
  const std::string expect = (dir / "long.txt").string() + ": line 3 is longer than";
  std::string line;
  EXPECT_EQ(readAll([&](GridReader& r) { r.ReadTextLine(line); }).rfind(expect, 0), 0u);
  EXPECT_EQ(readAll([](GridReader& r) { r.ReadLine(); }).rfind(expect, 0), 0u);
  EXPECT_EQ(readAll([](GridReader& r) { r.ReadValue(); }).rfind(expect, 0), 0u);
  // Lines up to the limit are read as before.
  TDataDef fine = Grid("short\n" + std::string(900, '1') + "\n" + std::string(900, ' ') + "\n", "fine.txt");
  GridReader reader(fine, 256, 1000);
  ASSERT_TRUE(reader.ReadTextLine(line));
  ASSERT_TRUE(reader.ReadTextLine(line));
  EXPECT_EQ(line.size(), 900u);
  EXPECT_TRUE(reader.ReadTextLine(line));
  EXPECT_FALSE(reader.ReadTextLine(line));

}

// A FIFO would hold the reader until some program writes to it, a device may never end: both are
// refused before anything is read.
TEST_F(GridFileTest, SpecialFilesAreRefusedAtOnce) {
  TempDir here;
  TDataDef special;
  special.FileName = (here / "pipe.asc").string();
  ASSERT_EQ(::mkfifo(special.FileName.c_str(), 0600), 0);
  EXPECT_EQ(ErrorOf([&] { ReadHeader(special, shell); }),
            special.FileName + ": cannot read the file: it is a FIFO (named pipe), not a file");
  if (std::filesystem::exists("/dev/zero")) {
    special.FileName = "/dev/zero";
    EXPECT_EQ(ErrorOf([&] { ReadHeader(special, shell); }), "/dev/zero: cannot read the file: it is a device, not a file");
  }
}

// A file whose first line ends in a lone CR has CR line ends: lines, rows, line numbers and the
// line limit all go by them. A CR elsewhere in a file of LF lines stays white space.
TEST_F(GridFileTest, ALoneCrEndsTheLinesOfAFileThatStartsSo) {
  std::string many;
  for (int i = 0; i < 400; ++i) many += "7 7 7\r";  // 2400 bytes of short lines
  TDataDef def = Grid("first\rsecond\r\r" + many, "cr.txt");
  {
    GridReader reader(def, 256, 1000);
    std::string line;
    ASSERT_TRUE(reader.ReadTextLine(line));
    EXPECT_EQ(line, "first");
    ASSERT_TRUE(reader.ReadTextLine(line));
    EXPECT_EQ(line, "second");
    ASSERT_TRUE(reader.ReadTextLine(line));
    EXPECT_EQ(line, "");
    int lines = 0;
    while (reader.ReadTextLine(line)) ++lines;  // never taken for one line over the limit
    EXPECT_EQ(lines, 400);
  }
  TDataDef longLine = Grid("1\r2\r" + std::string(1500, '7') + "\r3\r", "long.txt");
  EXPECT_EQ(ErrorOf([&] {
              GridReader reader(longLine, 256, 1000);
              while (reader.ReadLine()) {
              }
            }).rfind((dir / "long.txt").string() + ": line 3 is longer than", 0),
            0u);
  // A bad value is reported on its own line.
  TDataDef bad = Grid("ncols 2\rnrows 2\rxllcorner 0\ryllcorner 0\rcellsize 1\rNODATA_value -9999\r1 2\r3 b\r", "bad.asc");
  ASSERT_TRUE(ReadHeader(bad, shell));
  EXPECT_EQ(ErrorOf([&] { ScanData(bad, shell); }), (dir / "bad.asc").string() + ": line 8: Invalid numeric input (found \"b\")");
  // The first line decides: here LF, so the lone CR inside a row separates values only.
  TDataDef lf = Grid("ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n1\r2\n3 4\n", "lf.asc");
  ScanResult scan;
  ASSERT_TRUE(ReadHeader(lf, shell));
  scan = ScanData(lf, shell);
  EXPECT_EQ(lf.maxvalue, 4);
}

TEST_F(GridFileTest, ControlBytesInABadValueAreShownEscaped) {
  TDataDef def = Grid(GridText(2, 1, {{"1", "\x1b[2J\x07"}}), "esc.asc");
  ASSERT_TRUE(ReadHeader(def, shell));
  const std::string what = ErrorOf([&] { ScanData(def, shell); });
  EXPECT_NE(what.find("(found \"\\x1b[2J\\x07\")"), std::string::npos) << what;
  EXPECT_EQ(what.find('\x1b'), std::string::npos);
  TDataDef head = Grid("ncols 1\nnrows 1\nxllcorner 0\nyllcorner 0\ncellsize inf\x1b]0;x\x07\nNODATA_value 0\n1\n", "h.asc");
  const std::string headWhat = ErrorOf([&] { ReadHeader(head, shell); });
  EXPECT_NE(headWhat.find("(found \"inf\\x1b]0;x\\x07\")"), std::string::npos) << headWhat;
}

}  // namespace
}  // namespace karvelo
