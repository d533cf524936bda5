// Cross-validation of the in-memory map: per fold a map from the other folds, scored by the AUC on
// the held-out fold.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/random.h"
#include "core/threadpool.h"
#include "mapping/classgrids.h"
#include "mapping/memorymap.h"

namespace karvelo {

// The priors of every fold's map: as entered, or the training folds' relative frequencies of
// presences and absences.
struct FoldPriors {
  bool fromTraining = false;
  double priorP = 0.5, priorA = 0.5;  // when entered
};

struct FoldScore {
  int fold = 0;                  // from 1
  long long presences = 0;       // held-out presences with a map value
  long long absences = 0;        // held-out absences with one (presence-only: the fold's mapped cells)
  std::optional<double> auc;     // none without a held-out presence or absence
};

struct FoldsOutcome {
  std::vector<FoldScore> scores;
  std::optional<double> mean, sd;  // over the folds with an AUC; sd with n - 1, from two folds on
  std::string problem;             // why the folds could not be mapped (random absences impossible)
};

// For each fold f of `cellFold` (DealFolds): counts and class tests from the observations of the
// other folds, the map of the grids `used`, scored on fold f. With presence-only data absences are
// drawn at random first, among the mapped cells of the other folds without a presence, as many as
// make the training presences match priorP, from `rng` in fold order (as the mapping run draws
// them). Presence-only folds are scored against every mapped cell of the held-out fold. `afterFold`
// is called on the caller's thread once each fold is scored (progress, and where a cancel stops).
FoldsOutcome CrossValidateFolds(const ClassGrids& grids, const std::vector<std::uint8_t>& cellFold, int folds,
                                const std::vector<std::size_t>& used, const FoldPriors& priors, bool presenceOnly,
                                EvidenceLevel level, RandomGenerator& rng, ThreadPool& pool,
                                const std::function<void(int foldsDone)>& afterFold = {});

// The mean and sample standard deviation of the AUCs present: the mean over folds, never pooled.
void SummariseFolds(FoldsOutcome& outcome);

// The AUC of the scores, ties counted half; none without a find or without a non-find.
std::optional<double> AucOf(std::vector<double> finds, std::vector<double> nonFinds);

}  // namespace karvelo
