// The audit of a data configuration (counts and chi-squared tests) and its final submission.
#pragma once

#include <filesystem>
#include <string>

#include "core/runtables.h"
#include "core/shell.h"
#include "core/workspace.h"

namespace karvelo {

// What the window does after the audit.
struct AuditOutcome {
  bool ran = false;     // false: grid files were missing, nothing changed
  int status = 0;       // the Status to call (1 or 3)
};

// btbttnAuditClick: builds the work files, counts cells, presences and absences per class into
// FrequencyCounts, the classes' count columns and the frequency table, tests every classified
// grid, fills the chi-squared table and logs everything. Cuts the mapping's class-test table back
// to its header (the window hides it). With QuietAudit set it shows no message box.
AuditOutcome RunAudit(Workspace& ws, RunTables& tables, Shell& shell);

// The class of value v: the highest k with lower <= v < upper, or -1 (no data, or in no class).
int ClassOfValue(const TDataDef& def, double v);

// btbttnSubmitFinalClick: sets RandomAbsences and writes the class file of every entry with
// classes. The window then shows the random-absence label (when RandomAbsences), fixes the prior
// choice, switches to tab 3 and calls Status(4).
void SubmitFinal(Workspace& ws, Shell& shell);

}  // namespace karvelo
