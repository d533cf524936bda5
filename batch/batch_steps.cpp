// The steps of the batch commands, on the same engine calls as the window's handlers.
#include "batch/batch_steps.h"

#include <algorithm>

#include "audit/audit.h"
#include "config/classification.h"
#include "config/configfile.h"
#include "config/configtable.h"
#include "core/numfmt.h"
#include "mapping/bayesmap.h"
#include "mapping/priors.h"
#include "mapping/uncertainty.h"
#include "render/maprender.h"
#include "render/qimage_canvas.h"
#include "stats/statstext.h"
#include "validation/lookup.h"
#include "validation/roc.h"
#include "validation/valdata.h"

namespace karvelo {

namespace fs = std::filesystem;

std::vector<fs::path> GridsOf(const Workspace& ws) {
  std::vector<fs::path> grids;
  for (int i = 1; i <= ws.DataDefCount; ++i) grids.emplace_back(ws.DataDef(i).FileName);
  return grids;
}

int AddConfigEntry(const ConfigEntry& e, Workspace& ws, TextGrid& table, BatchShell& shell) {
  auto scan = PickGridFile(ws, e.path, true, shell, nullptr);
  if (!scan) return 1;
  if (e.observation) {
    if (!scan->indicatorsEnabled) {
      shell.message(e.path + ": the grid holds more than three distinct whole values;\n"
                    "presence and absence indicators can only be marked in grids of at most three.");
      return 1;
    }
    if (e.presence && !MarkIndicator(ws, *scan, *e.presence, -1, true, shell)) return 1;
    if (e.absence && !MarkIndicator(ws, *scan, *e.absence, -1, false, shell)) return 1;
  } else {
    ClearIndicators(ws.CurrentDataDef);
    if (const auto problem = RangeProblem(ws.CurrentDataDef)) {
      shell.message(*problem, MessageKind::Error);
      return 1;
    }
    ClassBounds bounds;
    bounds.n = e.classes;
    if (e.bounds.empty() && e.proposal != Proposal::RoundedSteps) {
      const TDataDef& def = ws.CurrentDataDef;
      if (!ProposalOffered(e.proposal, def.minvalue)) {
        shell.message(e.path + ": logarithmic steps need values above 0; the least value of the grid is " +
                          FormatShortest(def.minvalue) + ".",
                      MessageKind::Error);
        return 1;
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
  }
  return SubmitCurrentDataDef(ws, table, shell) ? 0 : 1;
}

int BuildConfiguration(const std::vector<ConfigEntry>& entries, const std::string& output, Workspace& ws, BatchShell& shell) {
  std::vector<fs::path> grids;
  for (const ConfigEntry& e : entries) grids.emplace_back(e.path);
  if (!OutputsAreNotInputs({output, shell.run().Output(kLogFileName)}, grids, shell)) return 1;
  RunTables tables;
  LayOutRunTables(tables);
  for (const ConfigEntry& e : entries) {
    if (AddConfigEntry(e, ws, tables.DataConfiguration, shell) != 0) return 1;
  }
  if (!ConfigurationCanBeSaved(ws)) {
    shell.message("The configuration needs a grid with presences and a classified grid before it can be saved.");
    return 1;
  }
  if (!CheckConsistency(ws, shell)) return 1;
  SaveConfiguration(ws, output, shell);
  return 0;
}

void LoadConfigFile(const std::string& path, Workspace& ws, RunTables& tables, BatchShell& shell) {
  LoadConfiguration(ws, tables.DataConfiguration, path, shell);
  shell.status2("(Idle)");
}

PriorControls PriorControlsFor(const MapOptions& o, Workspace& ws) {
  PriorControls priors;
  priors.choice = o.prior;
  if (o.priorP) {
    priors.textP = *o.priorP;
    PriorEntry(priors, true, ws);
  }
  if (o.priorA) {
    priors.textA = *o.priorA;
    PriorEntry(priors, false, ws);
  }
  return priors;
}

int AuditSubmitAndMap(const MapOptions& o, const std::string& config, Workspace& ws, RunTables& tables, BatchShell& shell) {
  PriorControls priors = PriorControlsFor(o, ws);
  LoadConfigFile(config, ws, tables, shell);
  std::vector<fs::path> inputs = MappingInputs(ws);
  inputs.emplace_back(config);
  if (!OutputsAreNotInputs(MappingOutputs(shell.run(), o.geotiff), inputs, shell)) return 1;
  if (o.prior != PriorKind::Manual && !ws.HasAbsenceGrid()) {
    // Without observed absences they are drawn at random in proportion to the prior, which must
    // then be entered: a calculated prior would silently become a manual 0.5.
    shell.message("--prior " + std::string(PriorKindName(o.prior)) + " needs observed absences, and " + config +
                  " marks none:\nabsences are drawn at random in proportion to a prior entered with --prior-p.");
    return 2;
  }
  const AuditResult audit = RunAudit(ws, tables, shell);
  if (!audit.ran || !audit.configured) return 1;
  SubmitFinal(ws, shell);
  if (ws.RandomAbsences) {
    priors.choice = PriorKind::Manual;  // absences drawn at random rest on a prior entered by hand
  }
  if (ws.DataDefCount < 1) {
    shell.message("No dataconfiguration defined!\nRestart or import configuration file first.");
    return 1;
  }
  QImageCanvas picture(kMapPictureSize, kMapPictureSize);
  const bool done = o.uncertainty ? ErrorProp(ws, tables, priors, o.evidence, picture, kDefaultFace, shell)
                                  : MapBayesianProbability(ws, tables, priors, picture, kDefaultFace, shell);
  return done ? 0 : 1;
}

std::optional<ValidationOutcome> RunValidation(const ValidateOptions& v, const std::string& points, const std::string& mapFile,
                                               Workspace& ws, BatchShell& shell, int* recordsKept) {
  const RunContext& run = shell.run();
  const std::string mapName = std::filesystem::path(mapFile).filename().string();
  if (!OutputsAreNotInputs({run.Output("ValDataComplete.txt"), run.Output(RocTitle(mapFile) + ".bmp"),
                            run.Output("Gain of " + mapName + ".txt"), run.Output("Gain of " + mapName + ".bmp"),
                            run.Output(kLogFileName)},
                           {points, mapFile}, shell)) {
    return std::nullopt;
  }
  ValidationFile file;
  OpenValidationFile(file, points, shell);
  auto limit = [&](int c) { return std::clamp(c, 1, std::max(1, file.ValColumnCount)); };
  if (v.x) file.ValColX = limit(*v.x);
  if (v.y) file.ValColY = limit(*v.y);
  if (v.code && limit(*v.code) != file.ValColVal) {
    file.ValColVal = limit(*v.code);
    CheckColValData(file, file.ValColVal);  // the code lists follow the code column
  }
  const std::string findsText =
      v.finds ? *v.finds : (file.codes.empty() ? std::string("choose") : file.codes[static_cast<std::size_t>(file.findsIndex)]);
  RunTables tables;
  LayOutRunTables(tables);
  LoadValData(file, tables.ValData, shell);
  TDataDef map;
  LookUpPredictiveMap(map, mapFile, true, file, tables.ValData, shell);
  if (recordsKept) *recordsKept = tables.ValData.RowCount() - file.ValHeaderLines;
  QImageCanvas picture(kRocPictureSize, kRocPictureSize);
  RocCounts counts;
  const auto auc = EvaluateRoc(mapFile, points, findsText, map.minvalue, map.maxvalue, picture, shell, &counts);
  if (!auc) return std::nullopt;
  ValidationOutcome outcome;
  outcome.auc = *auc;
  outcome.intervals = EvaluateAucIntervals(counts, ws.Random, ws.FixedSeed, shell);
  QImageCanvas gainPicture(kGainPictureSize, kGainPictureSize);
  outcome.gain = EvaluateGain(mapFile, *ParseReal(Trimmed(findsText)), gainPicture, shell);
  return outcome;
}

std::vector<std::string> ValidationLines(const ValidationOutcome& o) {
  std::vector<std::string> lines = {AucIntervalLine("DeLong", o.intervals.delong), AucIntervalLine("bootstrap", o.intervals.bootstrap)};
  if (o.intervals.tieNote) lines.push_back(*o.intervals.tieNote);
  for (const GainRow& r : o.gain) {
    if (r.areaPercent == 10 || r.areaPercent == 20 || r.areaPercent == 50) lines.push_back(GainLine(r));
  }
  return lines;
}


std::string AucText(double auc) { return FixedInWidth(auc, 2, 5); }

}  // namespace karvelo
