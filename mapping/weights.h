// Weights of evidence of every class of the classified grids, from the audit's counts.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/shell.h"
#include "core/workspace.h"

namespace karvelo {

inline constexpr const char* kWeightsFile = "Weights.csv";

// The numbers of one class: its presences and absences against the rest of its grid.
struct ClassWeights {
  double wPlus = 0, sPlus = 0;    // ln(P(class | presence) / P(class | absence)) and its s.d.
  double wMinus = 0, sMinus = 0;  // the same for the cells outside the class
  double contrast = 0, sContrast = 0, studentized = 0;
  bool halfAdded = false;         // a count was 0: 0.5 went onto each of the class's four counts
};

// `presences` and `absences` in the class out of `totalPresences` and `totalAbsences` on its grid.
// Never a log of 0 or a division by 0, whatever the counts.
ClassWeights WeightsOfClass(long long presences, long long absences, long long totalPresences, long long totalAbsences);

struct WeightsRow {
  int entry = 0, klasse = 0;
  std::string grid;  // the grid's file name
  double lower = 0, upper = 0;
  long long cells = 0, presences = 0, absences = 0;
  ClassWeights w;
};

// One row per class of every classified grid, in slot and class order (the audit's rows); a
// grid's totals are the sums over its classes.
std::vector<WeightsRow> WeightsOfEvidence(const Workspace& ws);

// The table's column names, as the file's header and the window's table give them.
std::vector<std::string> WeightsColumns();
// One row's cells under those columns, the grid's name as it is (the file quotes it where needed).
std::vector<std::string> WeightsCells(const WeightsRow& row);
// What the note column and the log's mark say of a class whose count was 0.
inline constexpr const char* kHalfAddedNote = "0.5 added to each count";

// The file's lines: the header, then one line per row.
std::vector<std::string> WeightsCsvLines(const std::vector<WeightsRow>& rows);
// The log's block, from its title line on.
std::vector<std::string> WeightsLogLines(const std::vector<WeightsRow>& rows);

// Writes the file into the run's working folder and logs the block after an empty line; returns
// the file written.
std::filesystem::path ReportWeightsOfEvidence(const std::vector<WeightsRow>& rows, Shell& shell);

}  // namespace karvelo
