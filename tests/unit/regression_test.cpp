// Inputs that once broke a file reader, kept so they never do again; and the faults fixed for them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "config/configfile.h"
#include "core/errors.h"
#include "core/gridfile.h"
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

namespace fs = std::filesystem;

// The kept inputs of one reader (tests/data/regressions/<reader>/), in name order.
std::vector<fs::path> KeptInputs(const std::string& reader) {
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(fs::path(KARVELO_TEST_DATA) / "regressions" / reader)) {
    if (e.is_regular_file()) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Runs `read` on every kept input of the reader: a FileError naming the input, or success, is a
// correct answer; anything else (another exception, or a crash the sanitizer build reports) is not.
template <class Read>
void EveryKeptInputEndsCleanly(const std::string& reader, Read read) {
  const auto inputs = KeptInputs(reader);
  ASSERT_FALSE(inputs.empty()) << "no kept inputs for " << reader;
  for (const fs::path& input : inputs) {
    SCOPED_TRACE(input.string());
    try {
      read(input);
    } catch (const FileError& e) {
      EXPECT_NE(std::string(e.what()).find(input.string()), std::string::npos) << e.what();
    }
  }
}

TEST(RegressionTest, KeptInputsOfEveryReaderEndCleanly) {
  EveryKeptInputEndsCleanly("gridfile", [](const fs::path& input) {
    RecordingShell shell;
    TDataDef def;
    def.FileName = input.string();
    if (ReadHeader(def, shell)) ScanData(def, shell);
  });
  EveryKeptInputEndsCleanly("configfile", [](const fs::path& input) {
    RecordingShell shell;
    const auto defs = ReadConfigurationFile(input, shell);
    EXPECT_LE(defs.size(), static_cast<std::size_t>(MaxDataFiles));
  });
  EveryKeptInputEndsCleanly("valdata", [](const fs::path& input) {
    RecordingShell shell;
    ValidationFile file;
    ValidationRecords records;
    OpenValidationFile(file, input, shell);
    LoadValData(file, records, shell);
  });
}

class ConfigurationLimitsTest : public ::testing::Test {
 protected:
  // A one-entry configuration as the program writes it, with line `line` (1-based) replaced.
  fs::path Spoilt(int line, const std::string& text) {
    TDataDef def;
    def.FileName = "/grids/obs.asc";
    def.ncols = 3;
    def.nrows = 2;
    def.cellsize = 1;
    std::vector<std::string> lines = ConfigurationBlock(def);
    lines[static_cast<std::size_t>(line - 1)] = text;
    std::string content;
    for (const auto& l : lines) content += l + "\r\n";
    WriteFile(dir / "config.txt", content);
    return dir / "config.txt";
  }
  std::string LoadError(const fs::path& p) {
    try {
      ReadConfigurationFile(p, shell);
    } catch (const FileError& e) {
      return e.what();
    }
    return "";
  }
  TempDir dir;
  RecordingShell shell;
};

// A file that claimed 2147483647 columns made the audit walk that many cells per row: no hang,
// but a refusal that names the line. The limit itself is a grid's limit, the negative extents
// the grid format lets through still load.
TEST_F(ConfigurationLimitsTest, ExtentsBeyondTheGridLimitAreRefusedWithTheirLine) {
  const std::string path = (dir / "config.txt").string();
  EXPECT_EQ(LoadError(Spoilt(3, "99999999999    Number of columns")),
            path + ": line 3: the number of columns must not exceed 10000");
  EXPECT_EQ(LoadError(Spoilt(4, " 10001    Number of rows")), path + ": line 4: the number of rows must not exceed 10000");
  EXPECT_EQ(LoadError(Spoilt(3, " 10000    Number of columns")), "");
  EXPECT_EQ(LoadError(Spoilt(4, "    -5    Number of rows")), "");
}

// A number beyond a double's range loaded as infinity, which the next save wrote as "inf", a
// file that no longer loads. Every real of a block is read by the same rule.
TEST_F(ConfigurationLimitsTest, NumbersBeyondADoubleAreRefusedAndWhatLoadsSavesAgain) {
  for (int line = 5; line <= 12; ++line) {
    SCOPED_TRACE(line);
    EXPECT_NE(LoadError(Spoilt(line, "-1e999  Value")).find("line " + std::to_string(line) + ": "), std::string::npos);
    EXPECT_NE(LoadError(Spoilt(line, "1e999  Value")).find(" is out of range: \"1e999\""), std::string::npos);
  }
  // The largest finite values survive a save and a load.
  const auto defs = ReadConfigurationFile(Spoilt(7, "1.7e308    Cell size"), shell);
  ASSERT_EQ(defs.size(), 1u);
  std::string saved;
  for (const auto& l : ConfigurationBlock(defs[0])) saved += l + "\r\n";
  WriteFile(dir / "saved.txt", saved);
  const auto again = ReadConfigurationFile(dir / "saved.txt", shell);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].cellsize, defs[0].cellsize);
}

// A map whose header gives an infinite cell size put no number into a cell index (undefined
// behaviour); such a point now lies past the map and is dropped like any point off the map.
TEST(RegressionTest, PointsOnAMapWithoutAFiniteCellSizeFallOffTheMap) {
  TDataDef map;
  map.ncols = 3;
  map.nrows = 2;
  map.cellsize = HUGE_VAL;
  const GridCell cell = CellOf(map, 1.5, 0.5);
  EXPECT_GT(cell.row, map.nrows);
  EXPECT_GT(cell.col, map.ncols);
  map.cellsize = 1;
  const GridCell inside = CellOf(map, 1.5, 0.5);
  EXPECT_EQ(inside.row, 2);
  EXPECT_EQ(inside.col, 2);
}

// With no record left after the lookup, the evaluation counted one made-up record of zeros and
// blamed the code of finds. It now says that no record lies on the map, naming both files.
TEST(RegressionTest, EvaluationWithoutRecordsNamesThePointsAndTheMap) {
  TempDir dir;
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  RecordingShell shell;
  shell.run().SetFolder(dir.path());
  QImageCanvas pic(kRocPictureSize, kRocPictureSize);
  ValidationRecords records;
  records.lookedUp = true;
  shell.messages.clear();
  EXPECT_FALSE(EvaluateRoc("/maps/BayesP.asc", "/points/val.txt", "", 0, 1, records, pic, shell).has_value());
  ASSERT_EQ(shell.messages.size(), 1u);
  EXPECT_EQ(shell.messages[0].rfind("None of the validation records of /points/val.txt lies on a value of the map "
                                    "/maps/BayesP.asc:\n", 0), 0u)
      << shell.messages[0];
  // One record is enough to go on to the code of finds.
  records.Add(1, "1", "1", "1");
  records.SetValue(0, 0.5);
  shell.messages.clear();
  EXPECT_FALSE(EvaluateRoc("/maps/BayesP.asc", "/points/val.txt", "choose", 0, 1, records, pic, shell).has_value());
  ASSERT_EQ(shell.messages.size(), 1u);
  EXPECT_NE(shell.messages[0].find("is not a number"), std::string::npos);
  fs::current_path(previous);
}

// A points file of 200000 records with CR-only line ends is one line of 600000 fields; taking each
// field by erasing the line's front took a minute. The reader that replaced it must give the very
// fields LeesDelWoord gives, control-character fields and all, on any prepared or raw line.
TEST(RegressionTest, FieldReaderGivesTheFieldsOfLeesDelWoord) {
  const std::uint32_t seed = test::TestSeed();
  SCOPED_TRACE(test::SeedTrace(seed));
  std::mt19937 random(seed);
  const std::string alphabet = "  ;,\t\r\x01" "a1.-X";
  for (int round = 0; round < 2000; ++round) {
    std::string raw(random() % 24, ' ');
    for (char& ch : raw) ch = alphabet[random() % alphabet.size()];
    for (const std::string& line : {PrepareLine(raw), raw}) {
      std::string regel = line, expected, got;
      FieldReader fields(line);
      for (int call = 0; call < 30; ++call) {
        const bool fieldLeft = regel.find_first_not_of(' ') != std::string::npos;
        LeesDelWoord(regel, expected);
        const bool more = fields.Next(got);
        ASSERT_EQ(got, expected) << "line \"" << line << "\", call " << call;
        ASSERT_EQ(more, fieldLeft) << "line \"" << line << "\", call " << call;
      }
    }
  }
}

// The import of a file with one wide line among narrow ones: the narrow records still get every
// column, and columns beyond a record's last field are empty, also in a table used before.
TEST(RegressionTest, ImportAfterAWideLineKeepsEveryColumn) {
  TempDir dir;
  std::string wide = "X Y Val";
  for (int i = 0; i < 50; ++i) wide += " w";
  WriteFile(dir / "points.txt", wide + "\n1 2 1\n3\n5 6 0\n");
  RecordingShell shell;
  ValidationFile file;
  OpenValidationFile(file, dir / "points.txt", shell);
  EXPECT_EQ(file.ValColumnCount, 53);
  TextGrid table(4, 5);
  for (int r = 0; r < 5; ++r) table.SetRow(r, {"old", "old", "old", "old"});
  ValidationRecords records;
  LoadValData(file, records, shell);
  FillValDataTable(records, table);
  ASSERT_EQ(table.RowCount(), 4);
  EXPECT_EQ(table.Row(0), (std::vector<std::string>{"X", "Y", "Val", ""}));
  EXPECT_EQ(table.Row(1), (std::vector<std::string>{"5", "6", "0", ""}));
  EXPECT_EQ(table.Row(2), (std::vector<std::string>{"1", "2", "1", ""}));
  EXPECT_EQ(table.Row(3), (std::vector<std::string>{"3", "", "", ""}));
}

}  // namespace
}  // namespace karvelo
