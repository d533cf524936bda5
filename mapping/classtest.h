// The class test of a mapping run: each class's conditional probabilities against an even split.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/shell.h"
#include "core/textgrid.h"
#include "core/workspace.h"
#include "stats/statistics.h"

namespace karvelo {

// One class of a classified grid: the conditional probabilities the table shows beside it and its
// test on the audit's counts (one degree of freedom).
struct ClassTestRow {
  int entry = 0, klasse = 0;
  std::string grid;      // the grid's file name
  double cpP = 0, cpA = 0;
  Chi2Result chi2;
};

// Tests every class of every classified grid on the audit's presences and absences, stores each
// statistic in ClassChi2, and takes the probabilities shown from `shown(entry, class)`: the
// smoothed counts of a plain run, the bootstrap means of an uncertainty run.
std::vector<ClassTestRow> TestClasses(Workspace& ws, const std::function<std::pair<double, double>(int, int)>& shown);

// The class test table (strgrdChi2a) from the rows, and its lines in the log; an uncertainty run
// adds that its test rests on the data, not on the samples.
void ShowClassTests(const std::vector<ClassTestRow>& rows, TextGrid& table, Shell& shell, bool bootstrap);

}  // namespace karvelo
