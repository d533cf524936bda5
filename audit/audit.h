// The audit of a data configuration (counts and chi-squared tests) and its final submission.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/runtables.h"
#include "core/shell.h"
#include "core/workspace.h"
#include "stats/statistics.h"

namespace karvelo {

// The counts of one class of a classified grid.
struct AuditClassRow {
  int entry = 0, klasse = 0;
  std::string grid;  // the grid's name as the tables show it (FrequencyRowName)
  Workspace::FrequencyRow counts;
};

// The goodness-of-fit tests of one classified grid's presences and absences over its classes.
struct AuditGridTest {
  int entry = 0;
  std::string grid;  // the grid's file name
  bool hasPresences = false, hasAbsences = false;  // any counted at all
  GoodnessOfFit presences, absences;
  bool significant = false;  // one of the counted kinds differs from what the cells expect
};

struct AuditResult {
  bool ran = false;                       // false: grids were missing (listed), nothing changed
  std::vector<std::string> missing;
  bool configured = false;                // the configuration held an entry to audit
  std::vector<AuditClassRow> classes;     // slot and class order, as FrequencyCounts
  std::vector<AuditGridTest> tests;
  std::vector<std::string> emptyClassNotes;  // "<grid> Class 3: No presences counted! ..."
  std::string summary;                    // the closing message
};

// btbttnAuditClick: builds the work files, counts cells, presences and absences per class into
// FrequencyCounts and the classes' count columns, tests every classified grid, fills the
// frequency and chi-squared tables and logs everything. Cuts the mapping's class-test table back
// to its header (the window hides it). With QuietAudit set it shows no message box.
AuditResult RunAudit(Workspace& ws, RunTables& tables, Shell& shell);

// The frequency table (strgrdFrequency) and the chi-squared table (strgrdChi2) of a result.
void ShowAuditTables(const AuditResult& result, RunTables& tables);
// The lines the audit adds to the log, from the empty line before "Grid counting results." to
// the summary; `audit` prints them. The counting part and the test part on their own.
std::vector<std::string> AuditReportLines(const AuditResult& result);
std::vector<std::string> AuditCountLines(const AuditResult& result);
std::vector<std::string> AuditTestLines(const AuditResult& result);
// A grid's name in the frequency and mapping tables: its file name without the last four characters.
std::string FrequencyRowName(const TDataDef& def);

// The class of value v: the highest k with lower <= v < upper, or -1 (no data, or in no class).
int ClassOfValue(const TDataDef& def, double v);

// btbttnSubmitFinalClick: sets RandomAbsences and writes the class file of every entry with
// classes. The window then shows the random-absence label (when RandomAbsences), fixes the prior
// choice, switches to tab 3 and calls Status(4).
void SubmitFinal(Workspace& ws, Shell& shell);

}  // namespace karvelo
