// Calibrated naive-Bayes posteriors summed over the observation cells, with their variance.
#include "mapping/calibrated.h"

#include <cmath>

#include "core/numfmt.h"
#include "stats/statistics.h"
#include "stats/statstext.h"

namespace karvelo {

CalibratedSum::CalibratedSum(const std::vector<ClassFileStream>& streams, const std::vector<WeightsRow>& weights) {
  terms_.resize(streams.size());
  for (std::size_t e = 0; e < streams.size(); ++e) {
    ClassTerms& t = terms_[e];
    for (const WeightsRow& row : weights) {
      if (row.entry != streams[e].slot || row.klasse < 1 || row.klasse > streams[e].nClasses) continue;
      const auto k = static_cast<std::size_t>(row.klasse);
      if (t.w.size() <= k) {
        t.w.resize(k + 1, 0.0);
        t.variance.resize(k + 1, 0.0);
      }
      t.w[k] = row.w.wPlus;
      t.variance[k] = row.w.sPlus * row.w.sPlus;
    }
  }
}

void CalibratedSum::Add(const std::vector<int>& k, bool presence) {
  for (std::size_t e = 0; e < terms_.size() && e < k.size(); ++e) {
    if (k[e] < 0) return;
  }
  double logL = 0, variance = 0;
  for (std::size_t e = 0; e < terms_.size() && e < k.size(); ++e) {
    const ClassTerms& t = terms_[e];
    if (k[e] < 1 || static_cast<std::size_t>(k[e]) >= t.w.size()) continue;
    logL += t.w[static_cast<std::size_t>(k[e])];
    variance += t.variance[static_cast<std::size_t>(k[e])];
  }
  logLikelihood_.push_back(logL);
  variance_.push_back(variance);
  (presence ? presences_ : absences_) += 1;
}

CalibratedIndependence CalibratedSum::Result() const {
  CalibratedIndependence out;
  out.presences = presences_;
  out.absences = absences_;
  if (presences_ == 0 || absences_ == 0) {
    // Prior odds of 0 or of infinity make every posterior 0 or 1: T equals n and there is nothing to test.
    out.expected = static_cast<double>(presences_);
    return out;
  }
  const double logOdds = std::log(static_cast<double>(presences_) / static_cast<double>(absences_));
  for (std::size_t i = 0; i < logLikelihood_.size(); ++i) {
    // The logistic form keeps a large sum of weights from overflowing the odds.
    const double x = logOdds + logLikelihood_[i];
    const double p = x >= 0 ? 1 / (1 + std::exp(-x)) : std::exp(x) / (1 + std::exp(x));
    out.expected += p;
    out.variance += p * p * variance_[i];
  }
  if (out.variance > 0) {
    const double z = (out.expected - static_cast<double>(presences_)) / std::sqrt(out.variance);
    out.z = z;
    out.p = NormalUpperTail(z);
  }
  return out;
}

std::string CalibratedIndependenceLine(const CalibratedIndependence& t) {
  std::string line = "Conditional independence (calibrated): presences " + std::to_string(t.presences) + ", expected " +
                     FormatFixed(t.expected, 2) + ", expected/presences " +
                     (t.presences > 0 ? FormatFixed(t.expected / static_cast<double>(t.presences), 2) : std::string("-"));
  line += ", z " + (t.z ? FormatFixed(*t.z, 2) : std::string("-"));
  line += ", p " + (t.p ? PValueText(*t.p) : std::string("-"));
  return line;
}

}  // namespace karvelo
