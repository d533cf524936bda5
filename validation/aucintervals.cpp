// DeLong's and the bootstrap's interval of the AUC, from the ROC's scores.
#include "validation/aucintervals.h"

#include <algorithm>

#include "stats/statstext.h"

namespace karvelo {

std::optional<std::string> LowestTieNote(const RocCounts& counts) {
  const auto& f = counts.findScores;
  const auto& n = counts.nonFindScores;
  const std::size_t records = f.size() + n.size();
  if (records == 0) return std::nullopt;
  double lowest = f.empty() ? n.front() : f.front();
  for (double v : f) lowest = std::min(lowest, v);
  for (double v : n) lowest = std::min(lowest, v);
  const auto tied = static_cast<std::size_t>(std::count(f.begin(), f.end(), lowest) + std::count(n.begin(), n.end(), lowest));
  // A record alone at the lowest value ties with none; ties among a tenth of the records or
  // fewer hardly move the curve.
  if (tied < 2 || tied * 10 <= records) return std::nullopt;
  return "Note: " + std::to_string(tied) + " records share the lowest map value; their order is unknown to the ROC.";
}

AucIntervals EvaluateAucIntervals(const RocCounts& counts, RandomGenerator& rng, const std::optional<std::uint32_t>& seed,
                                  Shell& shell) {
  AucIntervals out;
  shell.status2("... calculating AUC intervals ...");
  const ScoreGroups scores = GroupScores(counts.findScores, counts.nonFindScores);
  out.delong = DeLongInterval(scores);
  rng.Randomize(seed);
  shell.gaugeRange(0, kBootstrapResamples);
  out.bootstrap = BootstrapInterval(scores, rng, shell.run().Pool(), [&shell](int done) { shell.row(done); });
  shell.gaugeProgress(0);
  shell.log(AucIntervalLine("DeLong", out.delong));
  shell.log(AucIntervalLine("bootstrap", out.bootstrap));
  out.tieNote = LowestTieNote(counts);
  if (out.tieNote) shell.log(*out.tieNote);
  shell.status2("(idle)");
  return out;
}

}  // namespace karvelo
