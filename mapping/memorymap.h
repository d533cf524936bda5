// A naive-Bayes map computed in memory from some of the grids, counts from some of the observations
// and the priors, with the values the map file would hold.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "core/limits.h"
#include "core/threadpool.h"
#include "mapping/classgrids.h"
#include "mapping/uncertainty.h"

namespace karvelo {

// The factors one grid brings to a cell, per class: the smoothed conditional probabilities, or
// 1.0 for a class that fails the class test.
struct GridFactors {
  std::size_t grid = 0;  // index into ClassGrids::grids
  std::array<double, MaxClasses + 1> cpP{}, cpA{};
};

struct MemoryMapModel {
  std::vector<GridFactors> grids;  // in configuration order
  double priorP = 0.5, priorA = 0.5;
};

// Whether a class with these counts carries evidence: its even-split test passes at 95% (as the
// written map has it) and, above the level "all", its upper-tail probability exp(-chi2 / 2) is at
// most the level's threshold (the evidence filter's rule applied to the class).
bool ClassCarriesEvidence(long long presences, long long absences, EvidenceLevel level);

// The model of the grids `used` (indexes into grids.grids, kept in configuration order) with the
// counts of CountClasses. A grid of fewer than two classes is never tested, so it brings 1.0.
MemoryMapModel ModelOf(const ClassGrids& grids, std::vector<std::size_t> used, const std::vector<GridClassCounts>& counts,
                       double priorP, double priorA, EvidenceLevel level = EvidenceLevel::All);

// Every cell's probability, row-major: the value its 8-decimal text reads back as, NaN where the map
// has no value (outside the mapped area, or a used grid without a class there). Made in row blocks
// on the pool; the values do not depend on the number of threads.
std::vector<double> ComputeMemoryMap(const ClassGrids& grids, const MemoryMapModel& model, ThreadPool& pool);

}  // namespace karvelo
