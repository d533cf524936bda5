// The steps of karvelo-batch's commands, each as the window's buttons do it.
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

namespace karvelo {

// One grid of a configuration as the command line gives it.
struct ConfigEntry {
  bool observation = false;
  std::string path;
  std::optional<std::string> presence, absence;  // indicator texts, as typed
  int classes = 8;
  std::vector<std::string> bounds;               // explicit bounds b1..bn+1, as typed
  Proposal proposal = Proposal::RoundedSteps;    // for proposed bounds
};

// The grid files of the configuration.
std::vector<std::filesystem::path> GridsOf(const Workspace& ws);

// Gives the picked grid its role as tab 1's buttons do, then adds it to the configuration.
int AddConfigEntry(const ConfigEntry& e, Workspace& ws, TextGrid& table, BatchShell& shell);
// Tab 1 from start to "Check consistency and save data configuration to file". Returns the exit status.
int BuildConfiguration(const std::vector<ConfigEntry>& entries, const std::string& output, Workspace& ws, BatchShell& shell);
// "a. Load existing configuration file".
void LoadConfigFile(const std::string& path, Workspace& ws, RunTables& tables, BatchShell& shell);

// The controls of tab 3 as the map command sets them.
struct MapOptions {
  PriorKind prior = PriorKind::Manual;
  std::optional<std::string> priorP, priorA;
  bool uncertainty = true;
  EvidenceLevel evidence = EvidenceLevel::All;
  bool geotiff = false;  // also write each result grid as a GeoTIFF
};
// Sets the prior controls as a user would before loading.
PriorControls PriorControlsFor(const MapOptions& o, Workspace& ws);
// Load, audit, final submission and the map button. Returns the exit status.
int AuditSubmitAndMap(const MapOptions& o, const std::string& config, Workspace& ws, RunTables& tables, BatchShell& shell);

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
// step, gain). Nothing after a message.
std::optional<ValidationOutcome> RunValidation(const ValidateOptions& v, const std::string& points, const std::string& mapFile,
                                               Workspace& ws, BatchShell& shell, int* recordsKept = nullptr);
// The lines validate prints after its AUC lines: both intervals, then the gain at 10%, 20% and 50%.
std::vector<std::string> ValidationLines(const ValidationOutcome& outcome);
// The AUC as the picture shows it: 2 decimals in 5 characters.
std::string AucText(double auc);

}  // namespace karvelo
