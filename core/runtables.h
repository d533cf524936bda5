// The run's text tables: filled by the engine's steps, shown by the window, printed in the log.
#pragma once

#include <string>
#include <vector>

#include "core/textgrid.h"

namespace karvelo {

struct RunTables {
  TextGrid DataConfiguration;  // strgrdDataConfiguration, tab 1
  TextGrid Frequency;          // strgrdFrequency, tab 2
  TextGrid Chi2;               // strgrdChi2, tab 2
  TextGrid Chi2a;              // strgrdChi2a, tab 3
  TextGrid BayesTable;         // strgrdBayesTable, tab 3
  TextGrid ValData;            // strgrdValData, tab 4: validation records
  std::vector<std::string> Independence;  // lblIndependence, tab 3: the independence tests' lines
};

// Column widths and header rows as the start of a run lays them out.
void LayOutRunTables(RunTables& t);

// One table row as the log prints it: every cell padded with frmt to 15 characters.
std::string LogRow(const TextGrid& table, int row);

}  // namespace karvelo
