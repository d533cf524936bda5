// Tab 1's and tab 2's configuration steps on the session's workspace and tables.
#include "workflow/configure.h"

#include "workflow/rasters.h"
#include "workflow/runrecord.h"

#include "config/classification.h"
#include "config/configtable.h"
#include "core/filecheck.h"
#include "core/numfmt.h"
#include "core/runlog.h"
#include "gis/raster.h"

namespace karvelo {

namespace fs = std::filesystem;

std::optional<ScanResult> PickGrid(Session& session, const std::string& path, bool asciiGrid, Canvas* preview) {
  return PickGridFile(session.Ws(), path, asciiGrid, session.Reporter(), preview);
}

namespace {

// Classifying as the classification window does: proposed bounds, or the ones typed.
bool ClassifyEntry(Session& session, const ConfigEntry& e) {
  Workspace& ws = session.Ws();
  Shell& shell = session.Reporter();
  ClearIndicators(ws.CurrentDataDef);
  if (const auto problem = RangeProblem(ws.CurrentDataDef)) {
    shell.message(*problem, MessageKind::Error);
    return false;
  }
  ClassBounds bounds;
  bounds.n = e.classes;
  if (e.bounds.empty() && e.proposal != Proposal::RoundedSteps) {
    const TDataDef& def = ws.CurrentDataDef;
    if (!ProposalOffered(e.proposal, def.minvalue)) {
      shell.message(e.path + ": logarithmic steps need values above 0; the least value of the grid is " +
                        FormatShortest(def.minvalue) + ".",
                    MessageKind::Error);
      return false;
    }
    ProposeBounds(bounds, def, e.proposal, e.classes, shell);
    if (bounds.n < e.classes) {
      shell.log(e.path + ": " + std::string(ProposalCaption(e.proposal)) + " gave " + std::to_string(bounds.n) +
                " classes of the " + std::to_string(e.classes) + " asked for: bounds that would repeat were dropped.");
    }
  } else {
    ProposeBounds(bounds, ws.CurrentDataDef.minvalue, ws.CurrentDataDef.maxvalue);
  }
  if (!e.bounds.empty()) {
    // Typed into the window: the first lower bound, the inner bounds (whose labels follow),
    // and the last upper bound.
    bounds.edits[0] = e.bounds.front();
    for (int k = 2; k <= e.classes; ++k) Editlegend(bounds, k, e.bounds[static_cast<std::size_t>(k - 1)]);
    bounds.labels[static_cast<std::size_t>(e.classes - 1)] = e.bounds.back();
  }
  PerformFinalization(bounds, ws.CurrentDataDef);
  return true;
}

}  // namespace

bool AddEntry(Session& session, const ConfigEntry& e) {
  Workspace& ws = session.Ws();
  Shell& shell = session.Reporter();
  auto scan = PickGrid(session, e.path, true, nullptr);
  if (!scan) return false;
  if (e.observation) {
    if (!scan->indicatorsEnabled) {
      shell.message(e.path + ": the grid holds more than three distinct whole values;\n"
                    "presence and absence indicators can only be marked in grids of at most three.");
      return false;
    }
    if (e.presence && !MarkIndicator(ws, *scan, *e.presence, -1, true, shell)) return false;
    if (e.absence && !MarkIndicator(ws, *scan, *e.absence, -1, false, shell)) return false;
  } else if (!ClassifyEntry(session, e)) {
    return false;
  }
  return SubmitCurrentDataDef(ws, session.Tables().DataConfiguration, shell);
}

std::optional<ConfigFileView> Configure(Session& session, const std::vector<ConfigEntry>& entries, const fs::path& output) {
  Shell& shell = session.Reporter();
  std::vector<fs::path> grids;
  for (const ConfigEntry& e : entries) grids.emplace_back(e.path);
  if (!OutputsAreNotInputs({output, session.Run().Output(kLogFileName)}, grids, shell)) return std::nullopt;
  for (const ConfigEntry& e : entries) {
    if (!AddEntry(session, e)) return std::nullopt;
  }
  if (!ConfigurationCanBeSaved(session.Ws())) {
    shell.message("The configuration needs a grid with presences and a classified grid before it can be saved.");
    return std::nullopt;
  }
  if (!CheckConsistency(session.Ws(), shell)) return std::nullopt;
  for (const ConfigEntry& e : entries) {
    if (!e.observation && e.bounds.empty()) session.Record().proposals[fs::path(e.path).filename().string()] = e.proposal;
  }
  return SaveConfigurationAs(session, output);
}

bool CheckConfiguration(Session& session, bool offerAlignment) {
  Shell& shell = session.Reporter();
  bool alignAsked = false;
  bool consistent = CheckConsistency(session.Ws(), shell, offerAlignment ? &alignAsked : nullptr);
  if (alignAsked) {
    AlignToReference(session);
    consistent = CheckConsistency(session.Ws(), shell);
  }
  return consistent;
}

void AlignToReference(Session& session) {
  Workspace& ws = session.Ws();
  Shell& shell = session.Reporter();
  const TDataDef& ref = ws.ReferenceGrid();
  std::string notes;
  for (int slot : SlotsOffReference(ws)) {
    const std::string source = ws.DataDef(slot).FileName;
    const fs::path target = AlignedGridName(session.Run().Folder(), source);
    shell.status2("Aligning " + fs::path(source).filename().string());
    const RasterResult aligned = AlignRasterStep(session, ref.FileName, source, target, gis::Resampling::Nearest);
    if (!aligned.note.empty()) notes += (notes.empty() ? "" : "\n") + aligned.note;
    if (!ReplaceGrid(ws, session.Tables().DataConfiguration, slot, target.string(), shell)) return;
  }
  if (!notes.empty()) shell.message(notes);
}

ConfigFileView SaveConfigurationAs(Session& session, const fs::path& path) {
  ConfigFileView view = SaveConfiguration(session.Ws(), path, session.Reporter());
  session.SetStage(Stage::Configured);
  session.Record().configuration = fs::absolute(path).lexically_normal();
  return view;
}

ConfigFileView LoadConfigurationFile(Session& session, const fs::path& path) {
  ConfigFileView view = LoadConfiguration(session.Ws(), session.Tables().DataConfiguration, path, session.Reporter());
  session.Reporter().status2("(Idle)");
  session.SetStage(Stage::Configured);
  session.Record().configuration = fs::absolute(path).lexically_normal();
  return view;
}

}  // namespace karvelo
