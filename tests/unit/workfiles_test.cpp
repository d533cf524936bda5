// Work files: mask contents and offsets, sparse writing, reading back, and the one-pass builder
// against the plain one-pass-per-class way.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <random>

#include "audit/workfiles.h"
#include "core/atomicfile.h"
#include "core/errors.h"
#include "core/gridfile.h"
#include "test_support.h"

namespace karvelo {
namespace {

using test::GridText;
using test::RecordingShell;
using test::TempDir;
using test::WriteFile;

// Reads a whole file as bytes.
std::vector<std::uint8_t> Bytes(const std::filesystem::path& p) {
  const std::string s = test::ReadFile(p);
  return std::vector<std::uint8_t>(s.begin(), s.end());
}

// Offsets of the non-zero bytes of a work file, and a check that every byte is 0 or 1.
std::vector<std::size_t> Ones(const std::filesystem::path& p) {
  EXPECT_EQ(std::filesystem::file_size(p), kWorkFileBytes);
  auto raster = std::make_unique<ByteRaster>();
  ReadWorkFile(*raster, p);
  std::vector<std::size_t> ones;
  const std::uint8_t* b = raster->data();
  for (std::size_t i = 0; i < ByteRaster::kCells; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, b + i, 8);
    if (w == 0) continue;
    for (std::size_t j = i; j < i + 8; ++j) {
      if (b[j] == 1) ones.push_back(j);
      else EXPECT_EQ(b[j], 0) << "byte " << j;
    }
  }
  return ones;
}

// The file is 100000000 bytes, starts with `prefix` and holds nothing but zeros after it. Only
// the parts of the file that hold data are read after the prefix: holes are zeros by definition.
void ExpectWorkFile(const std::filesystem::path& p, const std::vector<std::uint8_t>& prefix) {
  ASSERT_EQ(std::filesystem::file_size(p), kWorkFileBytes) << p;
  const int fd = ::open(p.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0) << p;
  std::vector<std::uint8_t> head(prefix.size());
  ASSERT_EQ(::pread(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
  EXPECT_EQ(head, prefix) << p;
  std::vector<std::uint8_t> chunk(1 << 20);
  off_t at = static_cast<off_t>(prefix.size());
  for (;;) {
    const off_t data = ::lseek(fd, at, SEEK_DATA);
    if (data < 0) break;  // only a hole is left
    const ssize_t n = ::pread(fd, chunk.data(), chunk.size(), data);
    if (n <= 0) break;
    const auto nonzero = std::find_if(chunk.begin(), chunk.begin() + n, [](std::uint8_t b) { return b != 0; });
    ASSERT_EQ(nonzero, chunk.begin() + n) << p << " byte " << data + (nonzero - chunk.begin());
    at = data + n;
  }
  ::close(fd);
}

class WorkFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    shell.run().SetFolder(dir.path());
  }
  void TearDown() override { std::filesystem::current_path(previous); }
  // Where a run keeps its work files: never beside the grids.
  std::filesystem::path Work(const std::string& name) const { return dir.path() / "karvelo-work" / name; }

  TDataDef Grid(const std::string& name, const std::string& text, int classes = 0,
                std::vector<std::pair<double, double>> bounds = {}) {
    WriteFile(dir / name, text);
    TDataDef def;
    def.FileName = (dir / name).string();
    EXPECT_TRUE(ReadHeader(def, shell));
    def.NrClasses = classes;
    for (std::size_t k = 0; k < bounds.size(); ++k) {
      def.mclasses[k][ClassLower] = bounds[k].first;
      def.mclasses[k][ClassUpper] = bounds[k].second;
    }
    return def;
  }

  TempDir dir;
  std::filesystem::path previous;
  RecordingShell shell;
  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
};

TEST_F(WorkFilesTest, ClassMaskOfASmallGrid) {
  TDataDef soil = Grid("soil.asc", GridText(3, 2, {{"1", "2", "3"}, {"4", "5", "6"}}), 2, {{0, 10}, {10, 20}});
  ws->AddDataDef(soil);
  MakeBinaries(*ws, shell);
  EXPECT_EQ(Ones(Work("1-soil-1.bin")), (std::vector<std::size_t>{0, 1, 2, 10000, 10001, 10002}));
  EXPECT_TRUE(Ones(Work("1-soil-2.bin")).empty());
  EXPECT_EQ(Ones(Work("InsideMap.bin")), (std::vector<std::size_t>{0, 1, 2, 10000, 10001, 10002}));
  EXPECT_FALSE(std::filesystem::exists(Work("Positives.bin")));
  // Nothing beside the grid.
  EXPECT_FALSE(std::filesystem::exists(dir / "soil-1.bin"));
  // Registered: the class masks as built, then InsideMap.bin, all in the work folder.
  ASSERT_EQ(shell.workFiles.size(), 3u);
  EXPECT_EQ(shell.workFiles[0], Work("1-soil-1.bin"));
  EXPECT_EQ(shell.workFiles[2], Work("InsideMap.bin"));
  EXPECT_NE(std::find(shell.status2Texts.begin(), shell.status2Texts.end(), "... Making 1-soil-2.bin"),
            shell.status2Texts.end());
  // The raster ends holding the last class built.
  EXPECT_EQ(ws->AuxClassRaster.at(1, 1), 0);
}

TEST_F(WorkFilesTest, BoundsAreHalfOpenAndIgnoreNoData) {
  TDataDef g = Grid("g.asc", GridText(4, 1, {{"10", "20", "-9999", "5"}}), 3, {{0, 10}, {10, 20}, {-10000, 0}});
  ws->AddDataDef(g);
  MakeBinaries(*ws, shell);
  EXPECT_EQ(Ones(Work("1-g-1.bin")), (std::vector<std::size_t>{3}));
  EXPECT_EQ(Ones(Work("1-g-2.bin")), (std::vector<std::size_t>{0}));  // 20 is in no class
  EXPECT_EQ(Ones(Work("1-g-3.bin")), (std::vector<std::size_t>{2}));  // the no-data value lies in [-10000, 0)
}

TEST_F(WorkFilesTest, IndicatorMasksAndTheLastEntryWins) {
  TDataDef a = Grid("a.asc", GridText(2, 1, {{"1", "0"}}));
  a.PositiveIndicatorValue = 1;
  a.NegativeIndicatorValue = 0;
  TDataDef b = Grid("b.asc", GridText(2, 1, {{"0", "1"}}));
  b.PositiveIndicatorValue = 1;
  ws->AddDataDef(a);
  ws->AddDataDef(b);
  MakeBinaries(*ws, shell);
  EXPECT_EQ(Ones(Work("Positives.bin")), (std::vector<std::size_t>{1}));
  EXPECT_EQ(Ones(Work("Negatives.bin")), (std::vector<std::size_t>{1}));
  EXPECT_EQ(ws->PresenceRaster.at(1, 1), 0);
  EXPECT_EQ(ws->PresenceRaster.at(1, 2), 1);
}

// A loaded configuration may name an indicator no cell holds: every count would be 0 for it. The
// first reading of the observation grid refuses it, for one indicator and for two.
TEST_F(WorkFilesTest, AnIndicatorThatNoCellHoldsIsRefusedAtTheMasks) {
  TDataDef a = Grid("a.asc", GridText(2, 1, {{"1", "0"}}));
  a.PositiveIndicatorValue = 2;
  ws->AddDataDef(a);
  std::string what;
  try {
    MakeBinaries(*ws, shell);
  } catch (const FileError& e) {
    what = e.what();
  }
  EXPECT_EQ(what, (dir / "a.asc").string() + ": no cell holds the value 2, so it cannot mark presences.\n"
                                             "Mark a value that the grid holds (tab 1), or correct the configuration file.");
  ws->DataDef(1).PositiveIndicatorValue = 1;
  ws->DataDef(1).NegativeIndicatorValue = 5;
  EXPECT_THROW(MakeBinaries(*ws, shell), FileError);
  ws->DataDef(1).NegativeIndicatorValue = 0;
  MakeBinaries(*ws, shell);
  EXPECT_EQ(Ones(Work("Negatives.bin")), (std::vector<std::size_t>{1}));
}

TEST_F(WorkFilesTest, EmptyGridGivesAllZeroFiles) {
  // A grid header refuses 0 columns and rows; an entry may still claim them.
  TDataDef g = Grid("e.asc", GridText(2, 1, {{"0", "1"}}), 2, {{0, 1}, {1, 2}});
  g.ncols = g.nrows = 0;
  ws->AddDataDef(g);
  MakeBinaries(*ws, shell);
  EXPECT_TRUE(Ones(Work("1-e-1.bin")).empty());
}

TEST_F(WorkFilesTest, SparseFilesReadBackExactly) {
  ByteRaster r;
  r.at(1, 1) = 1;
  r.at(5000, 7) = 1;
  r.at(10000, 10000) = 1;
  r.at(7000, 1) = 1;  // a run from 1 to 3: the zero between goes out with it
  r.at(7000, 3) = 1;
  const auto written = WriteWorkFile(r, dir / "w.bin");
  EXPECT_EQ(written, 6u);  // only the ones and the zero between two of them go out
  EXPECT_EQ(std::filesystem::file_size(dir / "w.bin"), kWorkFileBytes);
  const auto plain = Bytes(dir / "w.bin");
  ASSERT_EQ(plain.size(), kWorkFileBytes);
  EXPECT_EQ(std::memcmp(r.data(), plain.data(), ByteRaster::kCells), 0);
  ByteRaster back;
  back.at(2, 2) = 1;  // stale contents must go
  ReadWorkFile(back, dir / "w.bin");
  EXPECT_EQ(std::memcmp(r.data(), back.data(), ByteRaster::kCells), 0);

  WriteFile(dir / "short.bin", std::string(1000, '\1'));
  EXPECT_THROW(ReadWorkFile(back, dir / "short.bin"), FileError);
  EXPECT_THROW(ReadWorkFile(back, dir / "missing.bin"), FileError);
}

TEST_F(WorkFilesTest, TheSameGridTwiceKeepsItsOwnClasses) {
  // One grid in two slots with different classes: each slot counts its own.
  TDataDef a = Grid("d.asc", GridText(4, 1, {{"0.1", "0.6", "0.9", "3"}}), 2, {{0, 0.5}, {0.5, 1}});
  TDataDef b = Grid("d.asc", GridText(4, 1, {{"0.1", "0.6", "0.9", "3"}}), 2, {{0, 2}, {2, 4}});
  ws->AddDataDef(a);
  ws->AddDataDef(b);
  MakeBinaries(*ws, shell);
  EXPECT_EQ(Ones(Work("1-d-1.bin")), (std::vector<std::size_t>{0}));
  EXPECT_EQ(Ones(Work("1-d-2.bin")), (std::vector<std::size_t>{1, 2}));
  EXPECT_EQ(Ones(Work("2-d-1.bin")), (std::vector<std::size_t>{0, 1, 2}));
  EXPECT_EQ(Ones(Work("2-d-2.bin")), (std::vector<std::size_t>{3}));
}

TEST_F(WorkFilesTest, AFailedWriteLeavesNoWorkFile) {
  ByteRaster r;
  for (int c = 1; c <= 5000; ++c) r.at(1, c) = 1;
  // The disk fills after 100 bytes: the write fails with the file named, and nothing half-made stays.
  SetWriteLimit(100);
  try {
    WriteWorkFile(r, dir / "full.bin");
    ADD_FAILURE() << "no error";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("full.bin: cannot write the work file"), std::string::npos) << e.what();
  }
  SetWriteLimit(-1);
  EXPECT_FALSE(std::filesystem::exists(dir / "full.bin"));
}

TEST_F(WorkFilesTest, BadNumberStopsTheBuildWithTheFileNamed) {
  TDataDef g = Grid("bad.asc", GridText(2, 1, {{"1", "x"}}), 2, {{0, 1}, {1, 2}});
  ws->AddDataDef(g);
  try {
    MakeBinaries(*ws, shell);
    FAIL() << "no error";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("bad.asc"), std::string::npos);
  }
}

// The plain way: every class from its own reading of the grid, every file written in full.
void LiteralMakeBinaries(const Workspace& ws, const std::filesystem::path& out,
                         std::map<std::string, std::vector<std::uint8_t>>& files) {
  // Only the rows in use: every byte after them must be zero in the files.
  std::size_t used = 0;
  for (int i = 1; i <= ws.DataDefCount; ++i) used = std::max(used, ByteRaster::Offset(ws.DataDef(i).nrows + 1, 1));
  std::vector<std::uint8_t> inside(used, 0);
  auto build = [&](const TDataDef& d, auto test) {
    std::vector<std::uint8_t> mask(used, 0);
    GridReader reader(d);
    reader.SkipHeader();
    for (int r = 1; r <= d.nrows; ++r) {
      for (int c = 1; c <= d.ncols; ++c) {
        if (test(reader.ReadValue())) mask[ByteRaster::Offset(r, c)] = 1;
      }
      reader.ReadLine();
    }
    return mask;
  };
  for (int i = 1; i <= ws.DataDefCount; ++i) {
    const TDataDef& d = ws.DataDef(i);
    if (d.NrClasses >= 2) {
      for (int k = 1; k <= d.NrClasses; ++k) {
        const auto& b = d.mclasses[static_cast<std::size_t>(k - 1)];
        auto mask = build(d, [&](double x) { return b[ClassLower] <= x && x < b[ClassUpper]; });
        for (std::size_t j = 0; j < mask.size(); ++j) inside[j] |= mask[j];
        files[(out / (std::to_string(i) + "-" + std::filesystem::path(d.FileName).stem().string() + "-" +
                      std::to_string(k) + ".bin"))
                  .string()] = std::move(mask);
      }
    }
    if (d.IsPresenceGrid()) files[(out / "Positives.bin").string()] = build(d, [&](double x) { return x == d.PositiveIndicatorValue; });
    if (d.IsAbsenceGrid()) files[(out / "Negatives.bin").string()] = build(d, [&](double x) { return x == d.NegativeIndicatorValue; });
  }
  files[(out / "InsideMap.bin").string()] = std::move(inside);
}

TEST_F(WorkFilesTest, OnePassBuilderMatchesThePlainWay) {
  const unsigned seed = test::TestSeed();
  SCOPED_TRACE(test::SeedTrace(seed));
  std::mt19937 rng(seed);
  for (int round = 0; round < 6; ++round) {
    ws->ClearDataDefs();
    const int ncols = 1 + static_cast<int>(rng() % 30), nrows = 1 + static_cast<int>(rng() % 30);
    auto cells = [&](int maxValue) {
      std::vector<std::vector<std::string>> rows(static_cast<std::size_t>(nrows));
      for (auto& row : rows)
        for (int c = 0; c < ncols; ++c)
          row.push_back(rng() % 7 == 0 ? "-9999" : std::to_string(static_cast<int>(rng() % static_cast<unsigned>(maxValue))));
      return GridText(ncols, nrows, rows);
    };
    TDataDef obs = Grid("obs.asc", cells(3));
    obs.PositiveIndicatorValue = 1;
    obs.NegativeIndicatorValue = 0;
    ws->AddDataDef(obs);
    for (int g = 0; g < 2; ++g) {
      const int n = 2 + static_cast<int>(rng() % 6);
      std::vector<std::pair<double, double>> bounds;
      for (int k = 0; k < n; ++k) {
        const double lo = static_cast<double>(rng() % 12) - 1;
        // Every third grid gets overlapping classes.
        const double hi = (round % 3 == 0) ? lo + 1 + static_cast<double>(rng() % 5) : lo + 1;
        bounds.push_back({lo, hi});
      }
      ws->AddDataDef(Grid("aux" + std::to_string(g) + ".asc", cells(10), n, bounds));
    }
    MakeBinaries(*ws, shell);
    std::map<std::string, std::vector<std::uint8_t>> expected;
    LiteralMakeBinaries(*ws, Work(""), expected);
    for (const auto& [name, bytes] : expected) {
      SCOPED_TRACE("round " + std::to_string(round));
      ExpectWorkFile(name, bytes);
    }
  }
}

}  // namespace
}  // namespace karvelo
