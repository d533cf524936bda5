// The validation steps of karvelo-batch, as tab 4's buttons do them.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "batch/batch_shell.h"
#include "config/proposals.h"
#include "core/filecheck.h"
#include "core/runtables.h"
#include "core/workspace.h"
#include "mapping/priors.h"
#include "mapping/uncertainty.h"
#include "validation/aucintervals.h"
#include "validation/gain.h"
#include "validation/valdata.h"

namespace karvelo {

// The choices of tab 4 that the validate command can set.
struct ValidateOptions {
  std::optional<int> x, y, code;
  std::optional<std::string> finds;
};
// What the evaluation gives: the ROC's AUC, its intervals and the gain table.
struct ValidationOutcome {
  double auc = 0;
  AucIntervals intervals;
  std::vector<GainRow> gain;
};
// Open, import and sort, look the map up, evaluate (ROC, AUC intervals seeded like every random
// step, gain). Nothing after a message. `notes` receives, as far as the run got, the lines on
// lines not read as records, on the records the lookup kept and dropped, and on the codes taken
// as finds and non-finds. Without a code of finds, a file whose codes are just 0 and 1 takes 1.
std::optional<ValidationOutcome> RunValidation(const ValidateOptions& v, const std::string& points, const std::string& mapFile,
                                               Workspace& ws, Shell& shell, int* recordsKept = nullptr,
                                               std::vector<std::string>* notes = nullptr);

// The lines validate prints after its AUC lines: both intervals, then the gain at 10%, 20% and 50%.
std::vector<std::string> ValidationLines(const ValidationOutcome& outcome);
// The AUC as the picture shows it: 2 decimals in 5 characters.
std::string AucText(double auc);

}  // namespace karvelo
