// The AUC's confidence intervals after the ROC, logged as the evaluation's further lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/random.h"
#include "core/shell.h"
#include "stats/aucinterval.h"
#include "validation/roc.h"

namespace karvelo {

struct AucIntervals {
  std::optional<AucInterval> delong, bootstrap;
  std::optional<std::string> tieNote;  // see LowestTieNote
};

// "Note: <n> records share the lowest map value; their order is unknown to the ROC." when more
// than a tenth of the records (finds and non-finds) hold the lowest value.
std::optional<std::string> LowestTieNote(const RocCounts& counts);

// DeLong's interval and the bootstrap's on the scores the ROC counted; the generator is seeded
// with `seed` (the clock when there is none) before the resampling. Logs both lines, and the
// note on ties at the lowest value when there is one.
AucIntervals EvaluateAucIntervals(const RocCounts& counts, RandomGenerator& rng, const std::optional<std::uint32_t>& seed,
                                  Shell& shell);

}  // namespace karvelo
