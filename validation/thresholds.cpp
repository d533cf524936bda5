// Thresholds by one sweep over the records' sorted values; areas from the map's value counts.
#include "validation/thresholds.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "core/numfmt.h"
#include "stats/statistics.h"

namespace karvelo {

std::string ThresholdName(ThresholdKind kind) {
  switch (kind) {
    case ThresholdKind::YoudenJ: return "Youden's J";
    case ThresholdKind::EqualSensitivitySpecificity: return "equal sensitivity and specificity";
    case ThresholdKind::MaximumKappa: return "maximum kappa";
    case ThresholdKind::MinimumTrainingPresence: return "minimum training presence";
    case ThresholdKind::TenthPercentileTrainingPresence: return "10th percentile training presence";
  }
  return {};
}

double BinomialUpperTail(long long taken, long long finds, double area) {
  if (taken <= 0) return 1;
  if (taken > finds) return 0;
  if (area <= 0) return 0;
  if (area >= 1) return 1;
  if (finds <= 25) {
    // Each term from logarithms: a tiny area would make the powers underflow.
    const double n = static_cast<double>(finds), logP = std::log(area), logQ = std::log1p(-area);
    double sum = 0;
    for (long long i = taken; i <= finds; ++i) {
      const double k = static_cast<double>(i);
      sum += std::exp(std::lgamma(n + 1) - std::lgamma(k + 1) - std::lgamma(n - k + 1) + k * logP + (n - k) * logQ);
    }
    return std::min(1.0, sum);
  }
  const double n = static_cast<double>(finds);
  const double z = (static_cast<double>(taken) - 0.5 - n * area) / std::sqrt(n * area * (1 - area));
  return NormalUpperTail(z);
}

double CohenKappa(long long tp, long long fp, long long fn, long long tn) {
  const double a = static_cast<double>(tp), b = static_cast<double>(fp), c = static_cast<double>(fn), d = static_cast<double>(tn);
  const double denominator = (a + b) * (b + d) + (a + c) * (c + d);
  return denominator > 0 ? 2 * (a * d - b * c) / denominator : 0;
}

namespace {

__extension__ typedef __int128 Int128;

// Kappa as numerator and positive denominator (counts up to 10^12 cross-multiply within 128 bits).
std::pair<Int128, Int128> KappaFraction(long long tp, long long fp, long long fn, long long tn) {
  const Int128 den = Int128{tp + fp} * (fp + tn) + Int128{tp + fn} * (fn + tn);
  if (den == 0) return {0, 1};
  return {2 * (Int128{tp} * tn - Int128{fp} * fn), den};
}

long long AtOrAbove(const std::vector<double>& ascending, double t) {
  return static_cast<long long>(ascending.end() - std::lower_bound(ascending.begin(), ascending.end(), t));
}

ThresholdRow RowAt(ThresholdKind kind, double t, const std::vector<double>& finds, const std::vector<double>& nonFinds,
                   const MapValueCounts& map) {
  ThresholdRow row;
  row.kind = kind;
  row.threshold = t;
  const long long m = static_cast<long long>(finds.size()), n = static_cast<long long>(nonFinds.size());
  const long long tp = AtOrAbove(finds, t), fp = AtOrAbove(nonFinds, t);
  row.sensitivity = static_cast<double>(tp) / static_cast<double>(m);
  if (n > 0) {
    row.specificity = static_cast<double>(n - fp) / static_cast<double>(n);
    row.kappa = CohenKappa(tp, fp, m - tp, n - fp);
  }
  row.area = map.AreaAtOrAbove(t);
  if (tp > 0) row.gain = 1 - row.area / row.sensitivity;
  row.p = BinomialUpperTail(tp, m, row.area);
  return row;
}

}  // namespace

std::vector<ThresholdRow> ThresholdTable(const std::vector<double>& findScores, const std::vector<double>& nonFindScores,
                                         const std::vector<double>& trainingScores, const MapValueCounts& map) {
  std::vector<ThresholdRow> rows;
  if (findScores.empty() || map.Empty()) return rows;
  std::vector<double> finds = findScores, nonFinds = nonFindScores;
  std::sort(finds.begin(), finds.end());
  std::sort(nonFinds.begin(), nonFinds.end());
  const long long m = static_cast<long long>(finds.size()), n = static_cast<long long>(nonFinds.size());
  if (n > 0) {
    // Down from the highest record value: at each distinct value, the records at or above it.
    // Scores are compared as exact fractions of the counts, so that equal scores are equal and
    // the first of them met, the highest threshold, is kept.
    long long bestJ = 0, bestGap = 0;
    Int128 bestKappaNum = 0, bestKappaDen = 1;
    bool first = true;
    double tJ = 0, tGap = 0, tKappa = 0;
    std::size_t i = finds.size(), j = nonFinds.size();
    long long tp = 0, fp = 0;
    while (i > 0 || j > 0) {
      const double t = j == 0 || (i > 0 && finds[i - 1] > nonFinds[j - 1]) ? finds[i - 1] : nonFinds[j - 1];
      while (i > 0 && finds[i - 1] == t) --i, ++tp;
      while (j > 0 && nonFinds[j - 1] == t) --j, ++fp;
      // J x m x n and |sensitivity - specificity| x m x n.
      const long long jScore = tp * n - fp * m, gap = std::llabs(tp * n - (n - fp) * m);
      const auto [kNum, kDen] = KappaFraction(tp, fp, m - tp, n - fp);
      if (first || jScore > bestJ) bestJ = jScore, tJ = t;
      if (first || gap < bestGap) bestGap = gap, tGap = t;
      if (first || kNum * bestKappaDen > bestKappaNum * kDen) bestKappaNum = kNum, bestKappaDen = kDen, tKappa = t;
      first = false;
    }
    rows.push_back(RowAt(ThresholdKind::YoudenJ, tJ, finds, nonFinds, map));
    rows.push_back(RowAt(ThresholdKind::EqualSensitivitySpecificity, tGap, finds, nonFinds, map));
    rows.push_back(RowAt(ThresholdKind::MaximumKappa, tKappa, finds, nonFinds, map));
  }
  if (!trainingScores.empty()) {
    std::vector<double> training = trainingScores;
    std::sort(training.begin(), training.end());
    rows.push_back(RowAt(ThresholdKind::MinimumTrainingPresence, training.front(), finds, nonFinds, map));
    // At most floor(m / 10) training presences lie below the value at that index, and any higher
    // value leaves more below it.
    const std::size_t tenth = training.size() / 10;
    rows.push_back(RowAt(ThresholdKind::TenthPercentileTrainingPresence, training[tenth], finds, nonFinds, map));
  }
  return rows;
}

std::optional<ThresholdRow> RowOfKind(const std::vector<ThresholdRow>& rows, ThresholdKind kind) {
  for (const ThresholdRow& r : rows) {
    if (r.kind == kind) return r;
  }
  return std::nullopt;
}

std::string ThresholdLine(const ThresholdRow& r) {
  auto opt = [](const std::optional<double>& v) { return v ? FormatFixed(*v, 4) : std::string("-"); };
  return "Threshold (" + ThresholdName(r.kind) + "): " + FormatFixed(r.threshold, 6) + ", sensitivity " +
         FormatFixed(r.sensitivity, 4) + ", specificity " + opt(r.specificity) + ", area " + FormatFixed(r.area, 4) +
         ", gain " + opt(r.gain) + ", p " + FormatFixed(r.p, 4);
}

}  // namespace karvelo
