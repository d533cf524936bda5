// Confidence intervals of the area under the ROC curve: DeLong's method and a stratified bootstrap.
#pragma once

#include <functional>
#include <optional>
#include <vector>

#include "core/random.h"
#include "core/threadpool.h"

namespace karvelo {

// Scores grouped by distinct value, ascending, with the finds and non-finds at each value.
struct ScoreGroups {
  std::vector<double> value;
  std::vector<long long> finds, nonFinds;
  long long totalFinds = 0, totalNonFinds = 0;
};
ScoreGroups GroupScores(std::vector<double> findScores, std::vector<double> nonFindScores);

// The probability that a find scores above a non-find, ties counted half.
double MannWhitneyAuc(const ScoreGroups& s);

struct AucInterval {
  double auc = 0, lower = 0, upper = 0;
};

// The 95% interval auc -/+ 1.96 standard errors from DeLong's structural components, clipped to
// [0, 1]; nothing with fewer than two finds or two non-finds.
std::optional<AucInterval> DeLongInterval(const ScoreGroups& s);

inline constexpr int kBootstrapResamples = 2000;
// The 95% percentile interval of the AUC over `resamples` resamples, each drawing as many finds
// from the finds and as many non-finds from the non-finds as there are, with replacement, from
// `rng` (the caller seeds it). Percentiles by linear interpolation between order statistics.
// The resamples are shared by the pool's threads; the interval does not depend on how many.
// `progress(done)` is called on the calling thread after every batch of resamples; it may throw
// (a cancel), which ends the bootstrap there.
std::optional<AucInterval> BootstrapInterval(const ScoreGroups& s, RandomGenerator& rng, ThreadPool& pool,
                                             const std::function<void(int done)>& progress = {},
                                             int resamples = kBootstrapResamples);

// `count` draws from the binomial distribution of n trials with success probability c / w (exact:
// inversion searching outward from the mode), as the bootstrap draws them. Exposed for its test.
std::vector<long long> BinomialDraws(long long n, long long c, long long w, int count, RandomGenerator& rng);

}  // namespace karvelo
