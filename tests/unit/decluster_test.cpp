// Declustering: the fast nearest-observation search against the ring search itself, and the step's files.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "audit/workfiles.h"
#include "core/numfmt.h"
#include "mapping/decluster.h"
#include "test_support.h"

namespace karvelo {
namespace {

using test::RecordingShell;

// The ring search cell by cell, as plain as it can be written. Returns 0/1 per cell (row-major),
// or 2 where no observation was found.
std::vector<int> RingSearch(const ByteRaster& pres, const ByteRaster& abs, int ncols, int nrows) {
  std::vector<int> out;
  const double D = std::sqrt(static_cast<double>(ncols) * ncols + static_cast<double>(nrows) * nrows);
  for (int r = 1; r <= nrows; ++r) {
    for (int c = 1; c <= ncols; ++c) {
      double best = D;
      int bestRow = -1, bestCol = -1, k = 0, kMax = RoundToInt(D);
      bool found = false;
      int kind = 1;
      if (abs.at(r, c)) kind = 0, found = true;
      if (pres.at(r, c)) kind = 1, found = true;
      if (found) {
        out.push_back(kind);
        continue;
      }
      auto test = [&](int y, int x) {
        if (pres.at(y, x) || abs.at(y, x)) {
          const double d = std::sqrt(static_cast<double>((x - c) * (x - c) + (y - r) * (y - r)));
          if (d < best) best = d, bestRow = y, bestCol = x, found = true;
        }
      };
      do {
        ++k;
        const int top = std::max(r - k, 1), bottom = std::min(r + k, nrows);
        const int left = std::max(c - k, 1), right = std::min(c + k, ncols);
        for (int p = top; p <= bottom; ++p) test(p, left), test(p, right);
        for (int q = left; q <= right; ++q) test(top, q), test(bottom, q);
        if (found) kMax = std::min(kMax, k + 3);
      } while (k != kMax);
      if (bestRow < 0) out.push_back(2);
      else out.push_back(abs.at(bestRow, bestCol) ? 0 : (pres.at(bestRow, bestCol) ? 1 : kind));
    }
  }
  return out;
}

std::vector<int> Fast(const ByteRaster& pres, const ByteRaster& abs, int ncols, int nrows) {
  RecordingShell shell;
  auto out = std::make_unique<ByteRaster>();
  std::vector<int> v;
  if (!DeclusterKinds(pres, abs, ncols, nrows, *out, shell)) return std::vector<int>(static_cast<std::size_t>(ncols * nrows), 2);
  for (int r = 1; r <= nrows; ++r)
    for (int c = 1; c <= ncols; ++c) v.push_back(out->at(r, c));
  return v;
}

struct Rasters {
  std::unique_ptr<ByteRaster> pres = std::make_unique<ByteRaster>(), abs = std::make_unique<ByteRaster>();
};

TEST(Decluster, OwnKindAndTieOrder) {
  Rasters g;
  // A presence at (1,1) and an absence at (1,5): cell (1,3) lies midway. Ring 2 tests the left
  // column (1,1) before the right column (1,5): the presence wins.
  g.pres->at(1, 1) = 1;
  g.abs->at(1, 5) = 1;
  g.pres->at(3, 3) = 1;  // a cell with both keeps 1
  g.abs->at(3, 3) = 1;
  const auto fast = Fast(*g.pres, *g.abs, 5, 3);
  EXPECT_EQ(fast, RingSearch(*g.pres, *g.abs, 5, 3));
  EXPECT_EQ(fast[2], 1);
  EXPECT_EQ(fast[4], 0);
  EXPECT_EQ(fast[2 * 5 + 2], 1);
}

TEST(Decluster, NoObservationIsReportedOnce) {
  Rasters g;
  RecordingShell shell;
  auto out = std::make_unique<ByteRaster>();
  EXPECT_FALSE(DeclusterKinds(*g.pres, *g.abs, 4, 4, *out, shell));
}

TEST(Decluster, FastSearchMatchesTheRingSearch) {
  const unsigned seed = test::TestSeed();
  SCOPED_TRACE(test::SeedTrace(seed));
  std::mt19937 rng(seed);
  for (int round = 0; round < 300; ++round) {
    Rasters g;
    const int ncols = 1 + static_cast<int>(rng() % 40), nrows = 1 + static_cast<int>(rng() % 40);
    const int pattern = round % 5;
    const int count = pattern == 0 ? 1 + static_cast<int>(rng() % 3)                 // very sparse
                      : pattern == 1 ? ncols * nrows / 3                               // dense
                                     : 1 + static_cast<int>(rng() % 12);               // scattered
    for (int i = 0; i < count; ++i) {
      int r = 1 + static_cast<int>(rng() % static_cast<unsigned>(nrows));
      int c = 1 + static_cast<int>(rng() % static_cast<unsigned>(ncols));
      if (pattern == 2) r = (rng() % 2) ? 1 : nrows;                                   // on the borders
      if (pattern == 3) r = std::min(nrows, 1 + static_cast<int>(rng() % 4)), c = std::min(ncols, 1 + static_cast<int>(rng() % 4));  // clustered
      if (pattern == 4 && i % 2) {  // mirror pairs around the centre: many equal distances
        r = nrows + 1 - r;
        c = ncols + 1 - c;
      }
      if (rng() % 3) g.pres->at(r, c) = 1;
      else g.abs->at(r, c) = 1;
    }
    ASSERT_EQ(Fast(*g.pres, *g.abs, ncols, nrows), RingSearch(*g.pres, *g.abs, ncols, nrows))
        << "round " << round << " " << ncols << " x " << nrows;
  }
}

TEST(Decluster, FarApartObservationsMissedByTheRingStop) {
  // Beyond ten rings the search can stop before the true nearest observation: the fast search
  // must stop in the same place.
  Rasters g;
  g.abs->at(1, 40) = 1;   // Chebyshev 20 from (21, 21), Euclidean about 28.3
  g.pres->at(21, 45) = 1; // Chebyshev 24 (beyond 20 + 3), Euclidean 24: nearer, but never reached
  const auto fast = Fast(*g.pres, *g.abs, 60, 41);
  EXPECT_EQ(fast, RingSearch(*g.pres, *g.abs, 60, 41));
  EXPECT_EQ(fast[(21 - 1) * 60 + (21 - 1)], 0);
}

class DeclusterStepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    shell.run().SetFolder(dir.path());
    TDataDef ref;
    ref.FileName = "ref.asc";
    ref.ncols = 3;
    ref.nrows = 2;
    ref.NODATA_value = -9999;
    ws->AddDataDef(ref);
  }
  void TearDown() override { std::filesystem::current_path(previous); }
  void WriteInputs() {
    WriteWorkFile(ws->InsideRaster, shell.run().WorkFile("InsideMap.bin"));
    WriteWorkFile(ws->AbsenceRaster, shell.run().WorkFile("Negatives.bin"));
    WriteWorkFile(ws->PresenceRaster, shell.run().WorkFile("Positives.bin"));
  }
  test::TempDir dir;
  std::filesystem::path previous;
  RecordingShell shell;
  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
};

TEST_F(DeclusterStepTest, OnePresenceMakesEverythingPresence) {
  ws->PresenceRaster.at(2, 3) = 1;
  for (int c = 1; c <= 3; ++c) ws->InsideRaster.at(1, c) = 1;  // row 2 lies outside the area
  WriteInputs();
  ASSERT_TRUE(Decluster(*ws, shell));
  EXPECT_EQ(ws->PriorP, 1);
  EXPECT_EQ(ws->PriorA, 0);
  EXPECT_EQ(test::ReadFile("Declus.asc").substr(test::ReadFile("Declus.asc").find("-9999.00\r\n") + 10),
            "1.00 1.00 1.00 \r\n-9999.00 -9999.00 -9999.00 \r\n");
  EXPECT_EQ(std::filesystem::file_size("karvelo-work/Declus.bin"), kWorkFileBytes);
  EXPECT_EQ(ws->DeclusterRaster.at(5000, 5000), 1);  // beyond the grid every cell keeps 1
  EXPECT_EQ(ws->AuxClassRaster.at(2, 3), 1);        // the observation mask
  EXPECT_EQ(shell.workFiles.back(), dir.path() / "karvelo-work" / "Declus.bin");
}

TEST_F(DeclusterStepTest, OutsideCellsAreDeclusteredButNotCounted) {
  ws->PresenceRaster.at(1, 1) = 1;
  ws->AbsenceRaster.at(2, 3) = 1;
  ws->InsideRaster.at(1, 1) = ws->InsideRaster.at(1, 2) = ws->InsideRaster.at(2, 3) = 1;
  WriteInputs();
  ASSERT_TRUE(Decluster(*ws, shell));
  EXPECT_DOUBLE_EQ(ws->PriorP, 2.0 / 3.0);  // (1,1) and (1,2) are presences, (2,3) an absence
  EXPECT_EQ(ws->DeclusterRaster.at(2, 1), 1);
}

TEST_F(DeclusterStepTest, WithoutObservationsOrAreaTheStepStops) {
  WriteInputs();
  ws->PriorP = 0.25;
  EXPECT_FALSE(Decluster(*ws, shell));
  EXPECT_EQ(shell.messages.size(), 1u);
  EXPECT_EQ(ws->PriorP, 0.25);

  ws->PresenceRaster.at(1, 1) = 1;
  ws->InsideRaster.Clear();
  WriteInputs();
  EXPECT_FALSE(Decluster(*ws, shell));
  EXPECT_EQ(shell.messages.size(), 2u);
  EXPECT_NE(shell.messages.back().find("no cell"), std::string::npos);
}

}  // namespace
}  // namespace karvelo
