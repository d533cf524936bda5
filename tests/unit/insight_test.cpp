// The in-memory map against the written map, the folds' dealing, and the mean over folds.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

#include "core/numfmt.h"
#include "mapping/crossvalidation.h"
#include "mapping/folds.h"
#include "mapping/memorymap.h"
#include "test_support.h"
#include "workflow/configure.h"
#include "workflow/mapping.h"
#include "workflow/session.h"

namespace karvelo {
namespace {

namespace fs = std::filesystem;
using test::RecordingShell;
using test::TempDir;

std::vector<ConfigEntry> MeuseEntries(const fs::path& work, bool withDist, bool absences) {
  const fs::path examples = fs::path(KARVELO_EXAMPLES) / "meuse";
  for (const char* name : {"obs.asc", "dist.asc", "ffreq.asc", "soil.asc"}) fs::copy_file(examples / name, work / name);
  std::vector<ConfigEntry> entries(1);
  entries[0].observation = true;
  entries[0].path = (work / "obs.asc").string();
  entries[0].presence = "1";
  if (absences) entries[0].absence = "0";
  if (withDist) {
    ConfigEntry dist;
    dist.path = (work / "dist.asc").string();
    entries.push_back(dist);
  }
  for (const char* name : {"ffreq.asc", "soil.asc"}) {
    ConfigEntry e;
    e.path = (work / name).string();
    e.bounds = {"1", "2", "3", "4"};
    e.classes = 3;
    entries.push_back(e);
  }
  return entries;
}

// The cells of a written map, NaN for its no-data value.
std::vector<double> ReadMapCells(const fs::path& file) {
  std::istringstream in(test::ReadFile(file));
  std::string word;
  double nodata = 0;
  for (int i = 0; i < 6; ++i) {
    in >> word >> word;
    if (i == 5) nodata = *ParseReal(word);
  }
  std::vector<double> cells;
  while (in >> word) {
    const double v = *ParseReal(word);
    cells.push_back(v == nodata ? std::nan("") : v);
  }
  return cells;
}

void ExpectSameMap(const std::vector<double>& memory, const std::vector<double>& file) {
  ASSERT_EQ(memory.size(), file.size());
  std::size_t mapped = 0;
  for (std::size_t i = 0; i < file.size(); ++i) {
    ASSERT_EQ(std::isnan(memory[i]), std::isnan(file[i])) << "cell " << i;
    if (std::isnan(file[i])) continue;
    ++mapped;
    ASSERT_EQ(memory[i], file[i]) << "cell " << i;
  }
  EXPECT_EQ(mapped, 3103u);  // the example's mapped flood plain
}

// A plain map run of the configuration in its own folder; the in-memory map is then made there from
// the class files and masks the run left, with the grids `used` (all when empty).
struct PlainRun {
  std::vector<double> written;
  std::vector<double> memory;
  std::vector<std::string> gridNames;
};
PlainRun MapAndRemake(const fs::path& work, const std::vector<ConfigEntry>& entries, PriorControls priors,
                      const std::vector<std::string>& leaveOut = {}) {
  PlainRun out;
  RecordingShell reporter;
  Session session(reporter);
  SessionOptions options;
  options.folder = work;
  options.seed = 11;
  EXPECT_TRUE(session.Open(options));
  const fs::path config = work / "case.txt";
  EXPECT_EQ(session.RunStep("configuration", [&] { EXPECT_TRUE(Configure(session, entries, config)); }), StepOutcome::Done);
  MapOptions map;
  map.uncertainty = false;
  map.priors = priors;
  EXPECT_EQ(session.RunStep("map", [&] { EXPECT_EQ(MapConfiguration(session, config, map).refusal, MapRefusal::None); }),
            StepOutcome::Done);
  session.RunStep("remake", [&] {
    const ClassGrids grids = LoadClassGrids(session.Ws(), session.Run());
    std::vector<std::size_t> used;
    for (std::size_t g = 0; g < grids.grids.size(); ++g) {
      out.gridNames.push_back(grids.grids[g].name);
      if (std::find(leaveOut.begin(), leaveOut.end(), grids.grids[g].name) == leaveOut.end()) used.push_back(g);
    }
    const MemoryMapModel model =
        ModelOf(grids, used, CountClasses(grids, grids.observations), session.Ws().PriorP, session.Ws().PriorA);
    out.memory = ComputeMemoryMap(grids, model, session.Run().Pool());
  }, false);
  out.written = ReadMapCells(work / "BayesP.asc");
  EXPECT_TRUE(session.Close(false));
  return out;
}

// With every grid and every observation the in-memory map holds BayesP.asc's values, value for value;
// leaving a grid out gives the map of the configuration made without it; and with presence-only
// data the drawn absences the map rests on are the ones it counts.
TEST(InsightTest, MemoryMapEqualsTheWrittenMaps) {
  TempDir full, reduced, presenceOnly;
  Workspace scratch;
  const PriorControls frequency = PriorControlsFrom(PriorKind::Frequency, std::nullopt, std::nullopt, scratch);
  const PlainRun all = MapAndRemake(full.path(), MeuseEntries(full.path(), true, true), frequency, {"dist.asc"});
  ASSERT_EQ(all.gridNames, (std::vector<std::string>{"dist.asc", "ffreq.asc", "soil.asc"}));
  const PlainRun without = MapAndRemake(reduced.path(), MeuseEntries(reduced.path(), false, true), frequency);
  {
    SCOPED_TRACE("without dist.asc against the configuration without it");
    ExpectSameMap(all.memory, without.written);
  }
  {
    SCOPED_TRACE("every grid against BayesP.asc");
    ExpectSameMap(without.memory, without.written);
  }
  const PriorControls entered = PriorControlsFrom(PriorKind::Manual, std::string("0.3"), std::nullopt, scratch);
  const PlainRun drawn = MapAndRemake(presenceOnly.path(), MeuseEntries(presenceOnly.path(), true, false), entered);
  {
    SCOPED_TRACE("presence-only with random absences");
    ExpectSameMap(drawn.memory, drawn.written);
  }
  // Not a map of one value: the comparisons above compared something.
  std::set<double> distinct;
  for (double v : all.written) {
    if (!std::isnan(v)) distinct.insert(v);
  }
  EXPECT_GT(distinct.size(), 10u);
}

// A grid with random observations and mapped cells for the dealing.
ClassGrids RandomGrids(std::mt19937& rng, int nrows, int ncols, int observations) {
  ClassGrids g;
  g.nrows = nrows;
  g.ncols = ncols;
  g.inside.assign(g.Cells(), 0);
  for (auto& v : g.inside) v = rng() % 4 != 0;
  std::set<std::size_t> cells;
  while (static_cast<int>(cells.size()) < observations) cells.insert(rng() % g.Cells());
  for (std::size_t i : cells) g.observations.push_back({i, rng() % 2 == 0, rng() % 3 == 0});
  return g;
}

// Every observation cell lies in exactly one of the folds; random folds differ by at most one cell;
// a block's cells share one fold, so every fold is a union of whole squares; the same seed deals
// the same folds.
TEST(InsightTest, FoldsPartitionTheObservations) {
  const unsigned seed = test::TestSeed();
  SCOPED_TRACE(test::SeedTrace(seed));
  std::mt19937 rng(seed);
  for (int round = 0; round < 20; ++round) {
    const int nrows = 5 + static_cast<int>(rng() % 40), ncols = 5 + static_cast<int>(rng() % 40);
    const int folds = 2 + static_cast<int>(rng() % 9);
    const ClassGrids grids = RandomGrids(rng, nrows, ncols, 1 + static_cast<int>(rng() % 60));
    const int side = 1 + static_cast<int>(rng() % 7);
    for (const FoldSplit split : {FoldSplit::RandomCells, FoldSplit::Blocks}) {
      for (const bool background : {false, true}) {
        RandomGenerator gen;
        gen.SetSeed(static_cast<std::uint32_t>(rng()));
        RandomGenerator again = gen;
        const std::vector<std::uint8_t> fold = DealFolds(grids, folds, split, side, background, gen);
        EXPECT_EQ(fold, DealFolds(grids, folds, split, side, background, again));
        ASSERT_EQ(fold.size(), grids.Cells());
        std::vector<int> sizes(static_cast<std::size_t>(folds), 0);
        for (const CountedCell& o : grids.observations) {
          ASSERT_LT(fold[o.index], folds);
          ++sizes[fold[o.index]];
        }
        if (split == FoldSplit::RandomCells) {
          EXPECT_LE(*std::max_element(sizes.begin(), sizes.end()) - *std::min_element(sizes.begin(), sizes.end()), 1);
        }
        for (std::size_t i = 0; i < fold.size(); ++i) {
          if (background && grids.inside[i]) {
            EXPECT_LT(fold[i], folds) << i;
          }
          if (split != FoldSplit::Blocks) continue;
          // The square's top-left cell decides the fold of all its cells.
          const std::size_t r = i / static_cast<std::size_t>(ncols), c = i % static_cast<std::size_t>(ncols);
          const std::size_t corner = (r - r % side) * static_cast<std::size_t>(ncols) + (c - c % side);
          ASSERT_EQ(fold[i], fold[corner]) << "cell " << i << " block side " << side;
        }
      }
    }
  }
}

// The probability that a find scores above a non-find, ties half, by every pair.
double PairAuc(const std::vector<double>& finds, const std::vector<double>& nonFinds) {
  double wins = 0;
  for (double f : finds) {
    for (double n : nonFinds) wins += f > n ? 1 : (f == n ? 0.5 : 0);
  }
  return wins / static_cast<double>(finds.size() * nonFinds.size());
}

// One grid of two classes, two folds whose training sets favour different classes: the mean of the
// folds' AUCs, each from the map of the other fold computed here by hand, is what the folds report,
// and it is not the AUC of the held-out scores pooled.
TEST(InsightTest, TheMeanIsOverFoldsNotPooled) {
  ClassGrids grids;
  grids.nrows = 1;
  grids.ncols = 120;
  grids.inside.assign(grids.Cells(), 1);
  ClassGrid g;
  g.nClasses = 2;
  g.name = "g.asc";
  g.cells.assign(grids.Cells(), 1);
  for (std::size_t i = 60; i < 120; ++i) g.cells[i] = 2;
  grids.grids.push_back(g);
  std::vector<std::uint8_t> fold(grids.Cells(), 0);
  // Fold 0: cells 0..29 (class 1) and 60..89 (class 2); fold 1 the rest. Class 1 is poor in presences
  // in fold 0 and rich in fold 1, class 2 even in both (its factors are 1 either way): each fold's map
  // ranks the other fold's cells, and the two maps' values lie on different scales.
  for (std::size_t i = 0; i < 120; ++i) {
    fold[i] = (i % 60) < 30 ? 0 : 1;
    const bool cls1 = i < 60;
    const int rate = fold[i] == 0 ? (cls1 ? 1 : 5) : (cls1 ? 9 : 5);  // presences among ten cells
    const bool presence = static_cast<int>(i % 10) < rate;
    grids.observations.push_back({i, presence, !presence});
  }
  RandomGenerator rng;
  ThreadPool pool(2);
  const FoldPriors priors{false, 0.4, 0.6};
  const FoldsOutcome outcome = CrossValidateFolds(grids, fold, 2, {0}, priors, false, EvidenceLevel::All, rng, pool);
  ASSERT_EQ(outcome.scores.size(), 2u);

  std::vector<double> aucs, pooledFinds, pooledNon;
  for (int f = 0; f < 2; ++f) {
    double a[3] = {0, 0, 0}, b[3] = {0, 0, 0};
    for (const CountedCell& o : grids.observations) {
      if (fold[o.index] == f) continue;
      a[g.cells[o.index]] += o.presence;
      b[g.cells[o.index]] += o.absence;
    }
    std::vector<double> finds, non;
    for (const CountedCell& o : grids.observations) {
      if (fold[o.index] != f) continue;
      const int k = g.cells[o.index];
      const double cpP = (a[k] + 1.0) / (a[k] + b[k] + 2.0), cpA = (b[k] + 1.0) / (a[k] + b[k] + 2.0);
      const double p = 0.4 * cpP / (0.4 * cpP + 0.6 * cpA);
      (o.presence ? finds : non).push_back(p);
    }
    aucs.push_back(PairAuc(finds, non));
    pooledFinds.insert(pooledFinds.end(), finds.begin(), finds.end());
    pooledNon.insert(pooledNon.end(), non.begin(), non.end());
    ASSERT_TRUE(outcome.scores[static_cast<std::size_t>(f)].auc);
    EXPECT_NEAR(*outcome.scores[static_cast<std::size_t>(f)].auc, aucs.back(), 1e-12);
  }
  const double mean = (aucs[0] + aucs[1]) / 2, pooled = PairAuc(pooledFinds, pooledNon);
  ASSERT_GT(std::fabs(mean - pooled), 0.02) << "the case does not tell the two apart";
  ASSERT_TRUE(outcome.mean);
  EXPECT_NEAR(*outcome.mean, mean, 1e-12);
  ASSERT_TRUE(outcome.sd);
  EXPECT_NEAR(*outcome.sd, std::fabs(aucs[0] - aucs[1]) / std::sqrt(2.0), 1e-12);
}

}  // namespace
}  // namespace karvelo
