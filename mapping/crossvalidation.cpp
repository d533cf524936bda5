// Maps from training folds, scored on the held-out fold.
#include "mapping/crossvalidation.h"

#include <cmath>

#include "core/numfmt.h"
#include "stats/aucinterval.h"

namespace karvelo {

std::optional<double> AucOf(std::vector<double> finds, std::vector<double> nonFinds) {
  if (finds.empty() || nonFinds.empty()) return std::nullopt;
  return MannWhitneyAuc(GroupScores(std::move(finds), std::move(nonFinds)));
}

void SummariseFolds(FoldsOutcome& outcome) {
  std::vector<double> aucs;
  for (const FoldScore& s : outcome.scores) {
    if (s.auc) aucs.push_back(*s.auc);
  }
  outcome.mean.reset();
  outcome.sd.reset();
  if (aucs.empty()) return;
  double sum = 0;
  for (double a : aucs) sum += a;
  const double mean = sum / static_cast<double>(aucs.size());
  outcome.mean = mean;
  if (aucs.size() < 2) return;
  double squares = 0;
  for (double a : aucs) squares += (a - mean) * (a - mean);
  outcome.sd = std::sqrt(squares / static_cast<double>(aucs.size() - 1));
}

namespace {

// Random absences among the training folds' mapped cells without a presence, drawn as the mapping
// run draws them; an empty problem text when they could be drawn.
std::vector<CountedCell> DrawTrainingAbsences(const ClassGrids& grids, const std::vector<std::uint8_t>& cellFold, int f,
                                              long long trainingPresences, double priorP, RandomGenerator& rng,
                                              std::string& problem) {
  std::vector<char> presence(grids.Cells(), 0);
  for (const CountedCell& o : grids.observations) presence[o.index] = o.presence;
  long long free = 0;
  for (std::size_t i = 0; i < grids.Cells(); ++i) free += grids.inside[i] && !presence[i] && cellFold[i] != f;
  const std::string fold = "fold " + std::to_string(f + 1);
  if (!(priorP > 0)) {
    problem = "Absences cannot be generated at random: the prior probability of presence is 0.";
    return {};
  }
  const long long N =
      static_cast<long long>(RoundHalfEven(static_cast<double>(trainingPresences) / priorP)) - trainingPresences;
  if (N <= 0 || N > free) {
    problem = "Absences cannot be generated at random for the training folds of " + fold + ": " +
              std::to_string(trainingPresences) + " presences with a prior probability of presence of " +
              FormatShortest(priorP) + " call for " + std::to_string(N) + " absences, and " + std::to_string(free) +
              " cells without a presence are free there.";
    return {};
  }
  std::vector<CountedCell> drawn;
  std::vector<char> taken(grids.Cells(), 0);
  const std::size_t ncols = static_cast<std::size_t>(grids.ncols);
  while (static_cast<long long>(drawn.size()) < N) {
    const std::size_t r = rng.Random(static_cast<std::uint32_t>(grids.nrows));
    const std::size_t c = rng.Random(static_cast<std::uint32_t>(grids.ncols));
    const std::size_t i = r * ncols + c;
    if (grids.inside[i] && !presence[i] && cellFold[i] != f && !taken[i]) {
      taken[i] = 1;
      drawn.push_back({i, false, true});
    }
  }
  return drawn;
}

}  // namespace

FoldsOutcome CrossValidateFolds(const ClassGrids& grids, const std::vector<std::uint8_t>& cellFold, int folds,
                                const std::vector<std::size_t>& used, const FoldPriors& priors, bool presenceOnly,
                                EvidenceLevel level, RandomGenerator& rng, ThreadPool& pool,
                                const std::function<void(int foldsDone)>& afterFold) {
  FoldsOutcome outcome;
  for (int f = 0; f < folds; ++f) {
    std::vector<CountedCell> training;
    long long nP = 0, nA = 0;
    for (const CountedCell& o : grids.observations) {
      if (cellFold[o.index] == f) continue;
      training.push_back(o);
      nP += o.presence;
      nA += o.absence;
    }
    if (presenceOnly) {
      const std::vector<CountedCell> drawn = DrawTrainingAbsences(grids, cellFold, f, nP, priors.priorP, rng, outcome.problem);
      if (!outcome.problem.empty()) return outcome;
      training.insert(training.end(), drawn.begin(), drawn.end());
      nA += static_cast<long long>(drawn.size());
    }
    double priorP = priors.priorP, priorA = priors.priorA;
    if (priors.fromTraining) {
      priorP = nP + nA > 0 ? static_cast<double>(nP) / static_cast<double>(nP + nA) : 0.5;
      priorA = 1 - priorP;
    }
    const MemoryMapModel model = ModelOf(grids, used, CountClasses(grids, training), priorP, priorA, level);
    const std::vector<double> map = ComputeMemoryMap(grids, model, pool);
    std::vector<double> finds, nonFinds;
    for (const CountedCell& o : grids.observations) {
      if (cellFold[o.index] != f || std::isnan(map[o.index])) continue;
      if (o.presence) finds.push_back(map[o.index]);
      if (o.absence && !presenceOnly) nonFinds.push_back(map[o.index]);
    }
    if (presenceOnly) {
      for (std::size_t i = 0; i < map.size(); ++i) {
        if (cellFold[i] == f && !std::isnan(map[i])) nonFinds.push_back(map[i]);
      }
    }
    FoldScore score;
    score.fold = f + 1;
    score.presences = static_cast<long long>(finds.size());
    score.absences = static_cast<long long>(nonFinds.size());
    score.auc = AucOf(std::move(finds), std::move(nonFinds));
    outcome.scores.push_back(score);
    if (afterFold) afterFold(f + 1);
  }
  SummariseFolds(outcome);
  return outcome;
}

}  // namespace karvelo
