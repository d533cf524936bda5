// The AUC's confidence intervals after the ROC, logged as the evaluation's further lines.
#pragma once

#include <cstdint>
#include <optional>

#include "core/random.h"
#include "core/shell.h"
#include "stats/aucinterval.h"
#include "validation/roc.h"

namespace karvelo {

struct AucIntervals {
  std::optional<AucInterval> delong, bootstrap;
};

// DeLong's interval and the bootstrap's on the scores the ROC counted; the generator is seeded
// with `seed` (the clock when there is none) before the resampling. Logs both lines.
AucIntervals EvaluateAucIntervals(const RocCounts& counts, RandomGenerator& rng, const std::optional<std::uint32_t>& seed,
                                  Shell& shell);

}  // namespace karvelo
