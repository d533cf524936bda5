// Two maps' AUCs on the same records, and DeLong's test of their difference.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "stats/aucinterval.h"

namespace karvelo {

// The records both maps give a value to: each find's and each non-find's pair of scores.
struct PairedScores {
  std::vector<std::array<double, 2>> finds, nonFinds;
};
// Pairs first[i] with second[i]; a record where either is NaN (no value on that map) is left out.
PairedScores PairScores(const std::vector<double>& first, const std::vector<double>& second, const std::vector<bool>& isFind);

struct PairedAucComparison {
  std::optional<AucInterval> first, second;  // each map's AUC with DeLong's interval
  double firstAuc = 0, secondAuc = 0;
  double difference = 0, lower = 0, upper = 0;  // first - second and its 95% interval
  double p = 1;                                 // two-sided, of no difference
};

// DeLong's covariance of the two AUCs from each record's placement values: nothing with fewer than
// two finds or two non-finds.
std::optional<PairedAucComparison> ComparePairedAuc(const PairedScores& scores);

// "Compared with <second>: AUC 0.9333 vs 0.9111, difference 0.0222, 95% CI [-0.0101, 0.0545], p 0.1780".
std::string ComparisonLine(const std::string& second, const PairedAucComparison& c);

}  // namespace karvelo
