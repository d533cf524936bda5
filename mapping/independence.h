// The conditional independence that a naive-Bayes map assumes, tested after a mapping run.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/shell.h"
#include "core/workspace.h"
#include "mapping/calibrated.h"
#include "stats/statistics.h"

namespace karvelo {

// The overall test: presences against the sum of the map's probability over every observation
// cell (presences and absences, generated ones included) that has a map value.
struct OverallIndependence {
  long long presences = 0;
  double expected = 0;
  std::optional<double> z, p;  // with the uncertainty run's standard deviations
};

// Presence cells over the classes of two classified grids.
struct PairIndependence {
  std::string first, second;
  ContingencyResult result;
};

struct IndependenceReport {
  OverallIndependence overall;
  CalibratedIndependence calibrated;  // over the observation cells inside the map, mapped or not
  std::vector<PairIndependence> pairs;
};

// Reads the map (and, when given, its standard-deviation map) and the class files of the
// configuration once, over the workspace's observation rasters.
IndependenceReport TestConditionalIndependence(const Workspace& ws, const RunContext& run, const std::filesystem::path& map,
                                               const std::optional<std::filesystem::path>& sdMap);

// Each pair's Chi2 as a percentage of the sum over the tested pairs, so that the pair driving the
// dependence stands out; none for an untested pair, or when no pair has a Chi2 above 0.
std::vector<std::optional<double>> PairShares(const std::vector<PairIndependence>& pairs);

// The report's lines: the overall line, the calibrated one, then the pairwise ones with their shares.
std::vector<std::string> IndependenceLines(const IndependenceReport& report);

// After a mapping run: tests, logs the lines after an empty line and returns them.
std::vector<std::string> ReportConditionalIndependence(const Workspace& ws, bool uncertainty, Shell& shell);

}  // namespace karvelo
