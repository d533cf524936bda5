// The parallel row reader against the plain cell reader on random grids, and the thread pool.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>

#include "core/errors.h"
#include "core/gridrows.h"
#include "core/rowblocks.h"
#include "core/threadpool.h"
#include "test_support.h"

namespace karvelo {
namespace {

using test::TempDir;
using test::WriteFile;

// What reading a grid row by row gives: every value's bits, and the message that stopped it.
struct Reading {
  std::vector<std::uint64_t> bits;
  std::string error;
  bool operator==(const Reading&) const = default;
};

void Keep(Reading& out, const double* v, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    std::uint64_t b;
    std::memcpy(&b, v + i, 8);
    out.bits.push_back(b);
  }
}

// The literal way: ncols values, then the rest of the line, per row.
Reading ReadPlain(const TDataDef& def) {
  Reading out;
  try {
    GridReader reader(def);
    reader.SkipHeader();
    std::vector<double> row(static_cast<std::size_t>(def.ncols));
    for (int r = 0; r < def.nrows; ++r) {
      for (double& v : row) v = reader.ReadValue();
      reader.ReadLine();
      Keep(out, row.data(), row.size());
    }
  } catch (const FileError& e) {
    out.error = e.what();
  }
  return out;
}

Reading ReadRows(const TDataDef& def, ThreadPool& pool, std::size_t valueBudget, std::size_t textBytes,
                 bool* usedPlain = nullptr) {
  Reading out;
  try {
    GridRows rows(def, pool, valueBudget, textBytes);
    for (int r = 0; r < def.nrows; ++r) {
      Keep(out, rows.Next(), static_cast<std::size_t>(def.ncols));
      if (usedPlain) *usedPlain = rows.UsedPlainReader();
    }
  } catch (const FileError& e) {
    out.error = e.what();
  }
  return out;
}

// Random grid text: mostly plain rows, with the odd line break, bad or long token, short or split
// row, blank line, extra values, and every kind of line end.
std::string RandomGrid(std::mt19937& rng, int ncols, int nrows, bool faults) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const char* ends[] = {"\n", "\r\n", "\r", "\n"};
  const std::string eol = ends[pick(4)];
  std::string t = pick(8) == 0 ? "\xEF\xBB\xBF" : "";
  t += "ncols " + std::to_string(ncols) + eol + "nrows " + std::to_string(nrows) + eol +
       "xllcorner 0" + eol + "yllcorner 0" + eol + "cellsize 1" + eol + "NODATA_value -9999" + eol;
  const std::string plain[] = {"0", "1", "-9999", "3.25", "-0", "0.1", "12345678901234", "1e3", "+7",
                               "2.5E-3", "123456789012345678", "-.5", "7.", "0.30000000000000004"};
  const std::string bad[] = {"x", "1x", "--1", "1e400", "inf", "nan", "1,5", std::string(70, '1'),
                             std::string(1, '\0'), "0x10"};
  const int rowsWritten = nrows - (faults && pick(6) == 0 ? pick(3) : 0);
  for (int r = 0; r < rowsWritten; ++r) {
    const int cells = faults && pick(20) == 0 ? pick(ncols + 1) : ncols + (pick(10) == 0 ? pick(3) : 0);
    for (int c = 0; c < cells; ++c) {
      if (c > 0) t += pick(30) == 0 ? "\t " : " ";
      if (faults && pick(25) == 0) t += eol;  // a row split over lines
      t += faults && pick(400) == 0 ? bad[pick(10)] : plain[pick(14)];
    }
    if (faults && pick(40) == 0) t += eol;  // a blank line
    if (pick(15) == 0) t += "  ";
    if (r + 1 < rowsWritten || pick(3) != 0) t += eol;
  }
  return t;
}

TEST(GridRowsTest, AgreesWithThePlainReaderOnRandomGrids) {
  TempDir dir;
  const unsigned seed = test::TestSeed();
  SCOPED_TRACE(test::SeedTrace(seed));
  std::mt19937 rng(seed);
  ThreadPool one(1), two(2), three(3);
  int plainUsed = 0, errors = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const int ncols = 1 + static_cast<int>(rng() % 40), nrows = 1 + static_cast<int>(rng() % 60);
    const bool faults = trial % 2 == 1;
    WriteFile(dir / "g.asc", RandomGrid(rng, ncols, nrows, faults));
    TDataDef def;
    def.FileName = (dir / "g.asc").string();
    def.ncols = ncols;
    def.nrows = nrows;
    const Reading expected = ReadPlain(def);
    errors += !expected.error.empty();
    // Batches of one row up to all rows; text pieces smaller than a line up to the whole file.
    for (ThreadPool* pool : {&one, &two, &three}) {
      const std::size_t budget = 8 * static_cast<std::size_t>(ncols) * (1 + rng() % 9);
      const std::size_t text = 64 + rng() % 2000;
      bool usedPlain = false;
      ASSERT_EQ(ReadRows(def, *pool, budget, text, &usedPlain), expected)
          << "trial " << trial << ", " << pool->Threads() << " threads, budget " << budget << ", text " << text;
      plainUsed += usedPlain;
    }
  }
  // The cases must reach both ways of reading, and the errors.
  EXPECT_GT(plainUsed, 100);
  EXPECT_GT(errors, 10);
}

TEST(GridRowsTest, PlainRowsNeverFallBackWhateverTheLineEndsAndBlockSizes) {
  TempDir dir;
  std::mt19937 rng(test::TestSeed());
  ThreadPool two(2);
  for (const char* eol : {"\n", "\r\n", "\r"}) {
    std::string t = std::string("ncols 300") + eol + "nrows 50" + eol + "xllcorner 0" + eol + "yllcorner 0" + eol +
                    "cellsize 1" + eol + "NODATA_value -9999" + eol;
    for (int r = 0; r < 50; ++r) {
      for (int c = 0; c < 300; ++c) t += std::to_string(static_cast<int>(rng() % 2000) - 1000) + ".5 ";
      t += eol;
    }
    WriteFile(dir / "p.asc", t);
    TDataDef def;
    def.FileName = (dir / "p.asc").string();
    def.ncols = 300;
    def.nrows = 50;
    bool usedPlain = true;
    // A text piece of 100 bytes is far shorter than one line (about 2 kB): it has to grow.
    EXPECT_EQ(ReadRows(def, two, 8 * 300 * 3, 100, &usedPlain), ReadPlain(def)) << eol;
    EXPECT_FALSE(usedPlain);
  }
}

TEST(GridRowsTest, BadValueAtABatchBoundaryIsReportedAsTheFirstInFileOrder) {
  TempDir dir;
  ThreadPool two(2);
  // Rows of 4 values, batches of 2 rows: the bad value opens row 3 (a batch's first), and a second
  // one later in the same and the next batch must not win.
  WriteFile(dir / "b.asc",
            "ncols 4\nnrows 6\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n"
            "1 2 3 4\n5 6 7 8\nbad 1 1 1\n1 1 1 oops\n1 1 1 worse\n1 1 1 1\n");
  TDataDef def;
  def.FileName = (dir / "b.asc").string();
  def.ncols = 4;
  def.nrows = 6;
  const Reading got = ReadRows(def, two, 8 * 4 * 2, 64);
  EXPECT_EQ(got, ReadPlain(def));
  EXPECT_EQ(got.bits.size(), 8u);
  EXPECT_NE(got.error.find("line 9"), std::string::npos) << got.error;
  EXPECT_NE(got.error.find("\"bad\""), std::string::npos) << got.error;
}

// Rows missing at the end are refused, not read as zeros, whichever reader meets the end.
TEST(GridRowsTest, MissingRowsAreRefusedWithWhatTheFileHolds) {
  TempDir dir;
  ThreadPool two(2);
  for (const char* eol : {"\n", "\r"}) {
    std::string t = std::string("ncols 3") + eol + "nrows 4" + eol + "xllcorner 0" + eol + "yllcorner 0" + eol +
                    "cellsize 1" + eol + "NODATA_value -9999" + eol + "1 2 3" + eol + "4 5 6" + eol;
    WriteFile(dir / "m.asc", t);
    TDataDef def;
    def.FileName = (dir / "m.asc").string();
    def.ncols = 3;
    def.nrows = 4;
    const Reading got = ReadRows(def, two, 1 << 16, 1 << 12);
    EXPECT_EQ(got, ReadPlain(def)) << eol;
    EXPECT_EQ(got.bits.size(), 6u);
    EXPECT_EQ(got.error, (dir / "m.asc").string() + ": the header announces 12 values, the file holds 6") << eol;
  }
}

TEST(GridRowsTest, NotGridEntryReadsAsNoData) {
  TDataDef def;
  def.GridFileType = TGridFileType::notgrid;
  def.ncols = 3;
  def.nrows = 2;
  def.NODATA_value = -5;
  ThreadPool two(2);
  GridRows rows(def, two);
  for (int r = 0; r < 2; ++r) {
    const double* v = rows.Next();
    EXPECT_EQ(std::vector<double>(v, v + 3), std::vector<double>(3, -5.0));
  }
}

TEST(ThreadPoolTest, RunsEveryTaskOnceAndRethrowsTheFirstFailure) {
  for (unsigned threads : {1u, 2u, 4u}) {
    ThreadPool pool(threads);
    EXPECT_EQ(pool.Threads(), threads);
    for (int job = 0; job < 50; ++job) {
      std::vector<std::atomic<int>> hits(37);
      pool.Run(hits.size(), [&](std::size_t i) { hits[i].fetch_add(1); });
      for (const auto& h : hits) ASSERT_EQ(h.load(), 1);
    }
    // Tasks 5 and 9 fail; the lower-numbered failure is the one reported, and the pool stays usable.
    try {
      pool.Run(20, [](std::size_t i) {
        if (i == 9) throw std::runtime_error("nine");
        if (i == 5) throw std::runtime_error("five");
      });
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "five");
    }
    std::atomic<int> sum = 0;
    pool.Run(10, [&](std::size_t i) { sum += static_cast<int>(i); });
    EXPECT_EQ(sum.load(), 45);
  }
}

TEST(ThreadPoolTest, ForRowsCoversEveryRowOnceInBlocksInOrder) {
  for (unsigned threads : {1u, 2u, 3u}) {
    ThreadPool pool(threads);
    for (int last : {0, 1, 2, 5, 11, 12, 13, 1000}) {
      std::vector<std::atomic<int>> hits(static_cast<std::size_t>(last) + 2);
      std::atomic<int> blocks = 0;
      pool.ForRows(1, last, [&](int from, int to) {
        ASSERT_LE(from, to);
        ++blocks;
        for (int r = from; r <= to; ++r) hits[static_cast<std::size_t>(r)].fetch_add(1);
      });
      EXPECT_EQ(hits[0].load(), 0);
      for (int r = 1; r <= last; ++r) ASSERT_EQ(hits[static_cast<std::size_t>(r)].load(), 1) << r << " of " << last;
      EXPECT_EQ(static_cast<std::size_t>(blocks.load()), pool.RowBlocks(1, last));
      // Blocks follow each other without gap.
      const std::size_t n = pool.RowBlocks(1, last);
      if (n > 0) {
        EXPECT_EQ(ThreadPool::BlockStart(1, last, n, 0), 1);
        EXPECT_EQ(ThreadPool::BlockStart(1, last, n, n), last + 1);
      }
    }
  }
}

// Rows are emitted in order whatever the blocks; a fetch that fails lets the rows before it out
// first, then the error, and nothing after it.
TEST(RowsInBlocksTest, EmitsInOrderAndStopsAtTheFirstFailedFetch) {
  ThreadPool pool(3);
  for (int block : {1, 4, 7, 100}) {
    for (int failAt : {0, 1, 5, 8, 23}) {
      const int nrows = 23;
      std::vector<int> fetched(static_cast<std::size_t>(block), -1), made(static_cast<std::size_t>(block), -1);
      std::vector<int> emitted;
      bool threw = false;
      try {
        RowsInBlocks(
            pool, nrows, block,
            [&](int r, int slot) {
              if (r == failAt) throw std::runtime_error("row " + std::to_string(r));
              fetched[static_cast<std::size_t>(slot)] = r;
            },
            [&](int from, int to, int first) {
              for (int r = from; r <= to; ++r) made[static_cast<std::size_t>(r - first)] = fetched[static_cast<std::size_t>(r - first)] * 10;
            },
            [&](int r, int slot) {
              ASSERT_EQ(made[static_cast<std::size_t>(slot)], r * 10);
              emitted.push_back(r);
            });
      } catch (const std::runtime_error& e) {
        threw = true;
        EXPECT_EQ(std::string(e.what()), "row " + std::to_string(failAt));
      }
      EXPECT_EQ(threw, failAt >= 1);
      const int lastOut = failAt >= 1 ? failAt - 1 : nrows;
      ASSERT_EQ(static_cast<int>(emitted.size()), lastOut) << "block " << block << ", fail at " << failAt;
      for (int i = 0; i < lastOut; ++i) EXPECT_EQ(emitted[static_cast<std::size_t>(i)], i + 1);
    }
  }
}

}  // namespace
}  // namespace karvelo
