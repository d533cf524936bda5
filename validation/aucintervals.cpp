// DeLong's and the bootstrap's interval of the AUC, from the ROC's scores.
#include "validation/aucintervals.h"

#include "stats/statstext.h"

namespace karvelo {

AucIntervals EvaluateAucIntervals(const RocCounts& counts, RandomGenerator& rng, const std::optional<std::uint32_t>& seed,
                                  Shell& shell) {
  AucIntervals out;
  shell.status2("... calculating AUC intervals ...");
  const ScoreGroups scores = GroupScores(counts.findScores, counts.nonFindScores);
  out.delong = DeLongInterval(scores);
  rng.Randomize(seed);
  out.bootstrap = BootstrapInterval(scores, rng);
  shell.log(AucIntervalLine("DeLong", out.delong));
  shell.log(AucIntervalLine("bootstrap", out.bootstrap));
  shell.status2("(idle)");
  return out;
}

}  // namespace karvelo
