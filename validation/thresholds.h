// The threshold table of a map: the cuts that balance its errors, their cost in area and their test.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "validation/mapvalues.h"

namespace karvelo {

enum class ThresholdKind { YoudenJ, EqualSensitivitySpecificity, MaximumKappa, MinimumTrainingPresence, TenthPercentileTrainingPresence };

// "Youden's J", "equal sensitivity and specificity", "maximum kappa", "minimum training presence",
// "10th percentile training presence".
std::string ThresholdName(ThresholdKind kind);

// One threshold: a record or cell counts as predicted when its value is at or above it.
struct ThresholdRow {
  ThresholdKind kind = ThresholdKind::YoudenJ;
  double threshold = 0;
  double sensitivity = 0;                 // share of the validation finds at or above
  std::optional<double> specificity;      // share of the non-finds below; none without non-finds
  double area = 0;                        // share of the map's cells at or above
  std::optional<double> gain;             // Kvamme's 1 - area / sensitivity; none when no find is taken
  std::optional<double> kappa;            // Cohen's kappa of the records; none without non-finds
  double p = 1;                           // one-sided binomial test of the finds taken against the area
};

// The finds at or above a threshold out of `finds`, tested against the chance `area` of a find
// falling there: P(X >= taken) for X binomial(finds, area). Exact up to 25 finds; above, the
// normal approximation with continuity correction.
double BinomialUpperTail(long long taken, long long finds, double area);

// Cohen's kappa of the 2 x 2 table (predicted and found, predicted and not found, ...); 0 when the
// table leaves no room for agreement beyond chance (every record in one row or one column).
double CohenKappa(long long tp, long long fp, long long fn, long long tn);

// The rows that the records allow: Youden's J, equal sensitivity and specificity, and maximum
// kappa need finds and non-finds (candidates are the records' distinct values; among equal
// scores the highest threshold, which takes the least area); the training rows need training
// presences (the minimum, and the highest value that leaves at most a tenth of them below). No
// row without a find or without a cell of the map.
std::vector<ThresholdRow> ThresholdTable(const std::vector<double>& findScores, const std::vector<double>& nonFindScores,
                                         const std::vector<double>& trainingScores, const MapValueCounts& map);

// The row of one kind, if the table has it.
std::optional<ThresholdRow> RowOfKind(const std::vector<ThresholdRow>& rows, ThresholdKind kind);

// "Threshold (Youden's J): 0.123456, sensitivity 0.8333, specificity 0.9000, area 0.2100, gain 0.7480,
// p 0.0001"; "-" for a number the records do not give.
std::string ThresholdLine(const ThresholdRow& row);

}  // namespace karvelo
