// The overall conditional-independence test on calibrated posteriors built from the weights of evidence.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mapping/classfiles.h"
#include "mapping/weights.h"

namespace karvelo {

// n presences against T, the sum over the observation cells of the posterior that the prior odds
// (presences over absences among those cells, the population the audit counted) and each grid's W of the cell's class give; the
// variance sums P^2 times the cell's weights' variances. z = (T - n) / sqrt(Var T), p its upper tail.
struct CalibratedIndependence {
  long long presences = 0, absences = 0;
  double expected = 0, variance = 0;
  std::optional<double> z, p;
};

// Gathers the observation cells while the class files are read, then sums once the prior odds are known.
class CalibratedSum {
 public:
  // `streams` as OpenClassFiles gives them; `weights` as WeightsOfEvidence gives them.
  CalibratedSum(const std::vector<ClassFileStream>& streams, const std::vector<WeightsRow>& weights);
  // One observation cell with k[e] the class of stream e (0, or beyond the grid's classes: no
  // weight). A cell where a grid has no value (k[e] < 0) is left out, as the map leaves it out.
  void Add(const std::vector<int>& k, bool presence);
  CalibratedIndependence Result() const;

 private:
  struct ClassTerms {
    std::vector<double> w, variance;  // by class number, 0 unused
  };
  std::vector<ClassTerms> terms_;  // per stream; empty for an entry without weights
  std::vector<double> logLikelihood_, variance_;  // per cell added
  long long presences_ = 0, absences_ = 0;
};

// "Conditional independence (calibrated): presences 52, expected 49.81, expected/presences 0.96,
// z -0.62, p 0.7324"; "-" where a number does not exist.
std::string CalibratedIndependenceLine(const CalibratedIndependence& t);

}  // namespace karvelo
