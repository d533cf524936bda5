// Cross-validation and the grids' importance: the session's steps around the in-memory map.
#include "workflow/insight.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <stdexcept>

#include "audit/audit.h"
#include "core/atomicfile.h"
#include "core/filecheck.h"
#include "core/numfmt.h"
#include "core/outputnames.h"
#include "core/runlog.h"
#include "mapping/bayesmap.h"
#include "mapping/classgrids.h"
#include "mapping/memorymap.h"
#include "render/qimage_canvas.h"
#include "validation/gain.h"
#include "validation/insightpictures.h"
#include "validation/lookup.h"
#include "validation/valdata.h"
#include "workflow/configure.h"
#include "workflow/mapping.h"
#include "workflow/runrecord.h"
#include "workflow/validation.h"

namespace karvelo {

namespace fs = std::filesystem;

namespace {

void WriteLines(const fs::path& path, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text.append(line).append("\r\n");
  AtomicFile file(path);
  file.Write(text.data(), text.size());
  file.Commit();
}

std::string Optional(const std::optional<double>& v, int decimals, const char* none = "") {
  return v ? FormatFixed(*v, decimals) : std::string(none);
}

// Load, refuse outputs that are inputs, audit and submit, as the map command does before mapping.
InsightRefusal Prepare(Session& session, const fs::path& config, const InsightMapOptions& map, std::vector<fs::path> outputs,
                       const std::vector<fs::path>& moreInputs) {
  Workspace& ws = session.Ws();
  Shell& shell = session.Reporter();
  LoadConfigurationFile(session, config);
  std::vector<fs::path> inputs = MappingInputs(ws);
  inputs.push_back(config);
  inputs.insert(inputs.end(), moreInputs.begin(), moreInputs.end());
  outputs.push_back(session.Run().Output(kLogFileName));
  if (map.priors.choice == PriorKind::Decluster) outputs.push_back(session.Run().Output(kDeclusteredGridFile));
  if (!OutputsAreNotInputs(outputs, inputs, shell)) return InsightRefusal::Unmappable;
  if (map.priors.choice != PriorKind::Manual && !ws.HasAbsenceGrid()) {
    shell.message("--prior " + std::string(PriorKindName(map.priors.choice)) + " needs observed absences, and " + config.string() +
                  " marks none:\nabsences are drawn at random in proportion to a prior entered with --prior-p.");
    return InsightRefusal::Contradicting;
  }
  const AuditResult audit = Audit(session);
  if (!audit.ran || !audit.configured) return InsightRefusal::Unmappable;
  Submit(session);
  if (ws.DataDefCount < 1) return InsightRefusal::Unmappable;
  return InsightRefusal::None;
}

// The folds' priors: relative frequencies of each fold's training observations, or entered (a
// declustered prior is had once, from every observation, and then used as entered).
bool FoldPriorsOf(Session& session, const InsightMapOptions& map, FoldPriors& priors, std::string& note) {
  if (map.priors.choice == PriorKind::Frequency) {
    priors.fromTraining = true;
    note = "Priors: relative frequencies of each fold's training observations.";
    return true;
  }
  PriorControls controls = map.priors;
  if (!PriorStep(session.Ws(), controls, session.Reporter(), false)) return false;
  priors.priorP = session.Ws().PriorP;
  priors.priorA = session.Ws().PriorA;
  note = std::string("Priors: ") + (map.priors.choice == PriorKind::Decluster ? "declustered from every observation, " : "as entered, ") +
         PriorText(priors.priorP) + " and " + PriorText(priors.priorA) + " in every fold.";
  return true;
}

std::vector<std::size_t> AllGrids(const ClassGrids& grids) {
  std::vector<std::size_t> all(grids.grids.size());
  for (std::size_t g = 0; g < all.size(); ++g) all[g] = g;
  return all;
}

std::string FoldsText(int folds, FoldSplit split, int blockSize) {
  return std::to_string(folds) + " folds, " +
         (split == FoldSplit::RandomCells ? std::string("random cells") : "blocks of " + std::to_string(blockSize) + " cells");
}

// The folds dealt and what every variant of the map is scored with.
struct FoldSetup {
  int folds = 0, blockSize = 0;
  FoldSplit split = FoldSplit::RandomCells;
  bool presenceOnly = false;
  FoldPriors priors;
  std::vector<std::uint8_t> cellFold;
  RandomGenerator afterDeal;  // the generator as the dealing left it: each variant draws from here
};

FoldSetup DealSetup(Session& session, const ClassGrids& grids, const FoldOptions& options, const FoldPriors& priors) {
  Workspace& ws = session.Ws();
  FoldSetup s;
  s.folds = options.folds;
  s.split = options.split;
  s.blockSize = options.blockSize.value_or(DefaultBlockSize(grids.nrows, grids.ncols));
  s.presenceOnly = ws.RandomAbsences;
  s.priors = priors;
  ws.Random.Randomize(ws.FixedSeed);
  s.cellFold = DealFolds(grids, s.folds, s.split, s.blockSize, s.presenceOnly, ws.Random);
  s.afterDeal = ws.Random;
  return s;
}

FoldsOutcome RunFolds(Session& session, const ClassGrids& grids, const FoldSetup& s, const std::vector<std::size_t>& used,
                      EvidenceLevel level) {
  session.Run().ThrowIfCancelled();
  RandomGenerator rng = s.afterDeal;
  Shell& shell = session.Reporter();
  shell.gaugeRange(0, s.folds);
  shell.gaugeProgress(0);
  // A fold's map is a pass over every cell: the window repaints and a cancel stops between folds.
  return CrossValidateFolds(grids, s.cellFold, s.folds, used, s.priors, s.presenceOnly, level, rng, session.Run().Pool(),
                            [&](int done) {
                              shell.gaugeProgress(done);
                              shell.refresh();
                              session.Run().ThrowIfCancelled();
                            });
}

}  // namespace

std::string CrossValidationLine(const CrossValidationResult& r) {
  std::string line = "Cross-validation AUC (" + FoldsText(r.folds, r.split, r.blockSize) + "): mean " + Optional(r.outcome.mean, 3, "-") +
                     ", sd " + Optional(r.outcome.sd, 3, "-") + ", folds";
  for (const FoldScore& s : r.outcome.scores) line += " " + Optional(s.auc, 2, "-");
  return line;
}

CrossValidationResult CrossValidate(Session& session, const fs::path& config, const InsightMapOptions& map, const FoldOptions& options) {
  Workspace& ws = session.Ws();
  Shell& shell = session.Reporter();
  const RunContext& run = session.Run();
  CrossValidationResult r;
  r.refusal = Prepare(session, config, map, {run.Output(kFoldsPictureFile), run.Output(kCrossValidationFile)}, {});
  if (r.refusal != InsightRefusal::None) return r;
  FoldPriors priors;
  if (!FoldPriorsOf(session, map, priors, r.priorsNote)) {
    r.refusal = InsightRefusal::Unmappable;
    return r;
  }
  shell.status2("... Cross-validation");
  const ClassGrids grids = LoadClassGrids(ws, run);
  const FoldSetup setup = DealSetup(session, grids, options, priors);
  r.folds = setup.folds;
  r.split = setup.split;
  r.blockSize = setup.blockSize;
  r.presenceOnly = setup.presenceOnly;
  r.outcome = RunFolds(session, grids, setup, AllGrids(grids), map.evidence);
  if (!r.outcome.problem.empty()) {
    shell.message(r.outcome.problem + "\nEnter another prior probability of presence, or use fewer folds.");
    r.refusal = InsightRefusal::Unmappable;
    return r;
  }
  for (const FoldScore& s : r.outcome.scores) {
    if (s.auc) continue;
    r.notes.push_back("Fold " + std::to_string(s.fold) + " holds no held-out " + (s.presences == 0 ? "presence" : "absence") +
                      " with a map value: its AUC is left out of the mean.");
  }

  // The picture: the folds over the map of every observation (presence-only: over the mapped area).
  std::vector<double> backdrop;
  if (!setup.presenceOnly) {
    double priorP = priors.priorP, priorA = priors.priorA;
    if (priors.fromTraining) {
      long long nP = 0, nA = 0;
      for (const CountedCell& o : grids.observations) nP += o.presence, nA += o.absence;
      priorP = nP + nA > 0 ? static_cast<double>(nP) / static_cast<double>(nP + nA) : 0.5;
      priorA = 1 - priorP;
    }
    backdrop = ComputeMemoryMap(grids, ModelOf(grids, AllGrids(grids), CountClasses(grids, grids.observations), priorP, priorA, map.evidence),
                                run.Pool());
  }
  QImageCanvas picture(kFoldsPictureWidth, kFoldsPictureHeight);
  DrawFolds(grids, backdrop, setup.cellFold, setup.folds, picture);
  picture.SaveBmp(run.Output(kFoldsPictureFile));
  r.written.push_back(run.Output(kFoldsPictureFile));

  std::vector<std::string> csv = {r.presenceOnly ? "fold,presences,mapped cells,auc" : "fold,presences,absences,auc"};
  for (const FoldScore& s : r.outcome.scores) {
    csv.push_back(std::to_string(s.fold) + "," + std::to_string(s.presences) + "," + std::to_string(s.absences) + "," + Optional(s.auc, 6));
  }
  WriteLines(run.Output(kCrossValidationFile), csv);
  r.written.push_back(run.Output(kCrossValidationFile));

  shell.log("");
  shell.log(r.priorsNote);
  if (r.presenceOnly) shell.log("Presence-only data: held-out presences scored against every mapped cell of their fold.");
  shell.log(CrossValidationLine(r));
  for (const std::string& note : r.notes) shell.log(note);
  for (const fs::path& f : r.written) shell.log("Written to: <" + f.filename().string() + ">");
  shell.status2("(Idle)");
  session.Record().crossValidation = r;
  return r;
}

namespace {

struct Score {
  std::optional<double> auc, gain;
};

// The validation records as cells of the reference grid, split into finds and non-finds; false
// after a message.
struct PointCells {
  std::vector<std::size_t> finds, nonFinds;
};
bool ReadPointCells(Session& session, const ImportancePoints& p, const ClassGrids& grids, const std::vector<double>& full,
                    PointCells& cells, std::string& scoredOn) {
  Shell& shell = session.Reporter();
  ValidationFile file;
  OpenPoints(session, file, p.file);
  auto limit = [&](int c) { return std::clamp(c, 1, std::max(1, file.ValColumnCount)); };
  if (p.x) file.ValColX = limit(*p.x);
  if (p.y) file.ValColY = limit(*p.y);
  if (p.code && limit(*p.code) != file.ValColVal) {
    file.ValColVal = limit(*p.code);
    CheckColValData(file, file.ValColVal, shell);
  }
  const std::string findsText = p.finds ? *p.finds : ProposedFindsCode(file);
  ValidationRecords records;
  ImportPoints(session, file, records);
  const auto findCode = ParseReal(Trimmed(findsText));
  if (!findCode) {
    shell.message("The code of finds \"" + findsText + "\" is not a number.\nChoose the code of finds with --finds.");
    return false;
  }
  const TDataDef& ref = session.Ws().ReferenceGrid();
  long long kept = 0;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (!records.HasPosition(i)) continue;
    const GridCell cell = CellOf(ref, records.X(i), records.Y(i));
    if (cell.row < 1 || cell.row > grids.nrows || cell.col < 1 || cell.col > grids.ncols) continue;
    const std::size_t index = static_cast<std::size_t>(cell.row - 1) * static_cast<std::size_t>(grids.ncols) + static_cast<std::size_t>(cell.col - 1);
    if (std::isnan(full[index])) continue;
    if (std::isnan(records.Code(i))) {
      shell.message(p.file.string() + ": line " + std::to_string(records.Line(i)) + ": the code \"" + std::string(records.CodeText(i)) +
                    "\" is not a number.\nCheck the column of the codes.");
      return false;
    }
    ++kept;
    (records.Code(i) == *findCode ? cells.finds : cells.nonFinds).push_back(index);
  }
  if (cells.finds.empty() || cells.nonFinds.empty()) {
    shell.message("The validation records of " + p.file.string() + " on mapped cells hold " + (cells.finds.empty() ? "no find" : "no non-find") +
                  " (code of finds " + Trimmed(findsText) + "):\nthe AUC needs both. Check the columns and the code of finds.");
    return false;
  }
  scoredOn = std::to_string(kept) + " validation points";
  return true;
}

Score ScoreOnPoints(const std::vector<double>& map, const PointCells& cells) {
  std::vector<double> finds, nonFinds, mapped;
  for (std::size_t i : cells.finds) finds.push_back(map[i]);
  for (std::size_t i : cells.nonFinds) nonFinds.push_back(map[i]);
  for (double v : map) {
    if (!std::isnan(v)) mapped.push_back(v);
  }
  Score s;
  for (const GainRow& row : GainOfValues(std::move(mapped), finds)) {
    if (row.areaPercent == 10) s.gain = row.gain;
  }
  s.auc = AucOf(std::move(finds), std::move(nonFinds));
  return s;
}

std::vector<std::size_t> Without(std::size_t n, std::size_t g) {
  std::vector<std::size_t> used;
  for (std::size_t i = 0; i < n; ++i) {
    if (i != g) used.push_back(i);
  }
  return used;
}

}  // namespace

ImportanceResult GridImportance(Session& session, const fs::path& config, const InsightMapOptions& map,
                                const std::optional<ImportancePoints>& points, const FoldOptions& folds) {
  Workspace& ws = session.Ws();
  Shell& shell = session.Reporter();
  const RunContext& run = session.Run();
  ImportanceResult r;
  r.byPoints = points.has_value();
  std::vector<fs::path> inputs;
  if (points) inputs.push_back(points->file);
  r.refusal = Prepare(session, config, map, {run.Output(kImportanceFile), run.Output(kImportancePictureFile)}, inputs);
  if (r.refusal != InsightRefusal::None) return r;
  shell.status2("... Importance of the grids");

  // One scorer for every variant of the map: the points, or the cross-validation's mean.
  std::function<Score(const std::vector<std::size_t>&)> score;
  std::optional<ClassGrids> grids;
  PointCells cells;
  std::vector<GridClassCounts> counts;
  FoldSetup setup;
  if (points) {
    PriorControls controls = map.priors;
    if (!PriorStep(ws, controls, shell, false)) {
      r.refusal = InsightRefusal::Unmappable;
      return r;
    }
    // Presence-only data: the absences the map itself would draw, once, for every variant.
    if (ws.RandomAbsences && !GenerateRandomAbsences(ws, session.Tables(), shell)) {
      r.refusal = InsightRefusal::Unmappable;
      return r;
    }
    grids = LoadClassGrids(ws, run);
    counts = CountClasses(*grids, grids->observations);
    const std::vector<double> full =
        ComputeMemoryMap(*grids, ModelOf(*grids, AllGrids(*grids), counts, ws.PriorP, ws.PriorA, map.evidence), run.Pool());
    if (!ReadPointCells(session, *points, *grids, full, cells, r.scoredOn)) {
      r.refusal = InsightRefusal::Unmappable;
      return r;
    }
    score = [&](const std::vector<std::size_t>& used) {
      run.ThrowIfCancelled();
      return ScoreOnPoints(ComputeMemoryMap(*grids, ModelOf(*grids, used, counts, ws.PriorP, ws.PriorA, map.evidence), run.Pool()), cells);
    };
  } else {
    FoldPriors priors;
    std::string note;
    if (!FoldPriorsOf(session, map, priors, note)) {
      r.refusal = InsightRefusal::Unmappable;
      return r;
    }
    r.notes.push_back(note);
    grids = LoadClassGrids(ws, run);
    setup = DealSetup(session, *grids, folds, priors);
    r.scoredOn = FoldsText(setup.folds, setup.split, setup.blockSize) + ", mean AUC";
    score = [&](const std::vector<std::size_t>& used) {
      const FoldsOutcome outcome = RunFolds(session, *grids, setup, used, map.evidence);
      if (!outcome.problem.empty()) throw std::runtime_error(outcome.problem);
      return Score{outcome.mean, std::nullopt};
    };
  }

  try {
    const std::size_t n = grids->grids.size();
    const Score full = score(AllGrids(*grids));
    r.fullAuc = full.auc;
    r.fullGain = full.gain;
    for (std::size_t g = 0; g < n; ++g) {
      ImportanceRow row;
      row.grid = grids->grids[g].name;
      const Score without = score(Without(n, g)), alone = score({g});
      row.aucWithout = without.auc;
      row.aucAlone = alone.auc;
      if (full.auc && without.auc) row.loss = *full.auc - *without.auc;
      row.gainWithout = without.gain;
      row.gainAlone = alone.gain;
      r.rows.push_back(row);
    }
  } catch (const std::runtime_error& e) {
    shell.message(std::string(e.what()) + "\nEnter another prior probability of presence, or use fewer folds.");
    r.refusal = InsightRefusal::Unmappable;
    return r;
  }

  std::vector<std::string> csv = {"grid,auc_full,auc_without,auc_alone,loss,gain10_full,gain10_without,gain10_alone"};
  for (const ImportanceRow& row : r.rows) {
    csv.push_back(row.grid + "," + Optional(r.fullAuc, 6) + "," + Optional(row.aucWithout, 6) + "," + Optional(row.aucAlone, 6) + "," +
                  Optional(row.loss, 6) + "," + Optional(r.fullGain, 6) + "," + Optional(row.gainWithout, 6) + "," +
                  Optional(row.gainAlone, 6));
  }
  WriteLines(run.Output(kImportanceFile), csv);
  r.written.push_back(run.Output(kImportanceFile));

  std::vector<ImportanceBar> bars;
  for (const ImportanceRow& row : r.rows) bars.push_back({row.grid, row.aucWithout, row.aucAlone});
  QImageCanvas picture(ImportancePictureWidth(bars.size()), kImportancePictureHeight);
  DrawImportance(bars, r.fullAuc, "AUC without each grid and with it alone", picture);
  picture.SaveBmp(run.Output(kImportancePictureFile));
  r.written.push_back(run.Output(kImportancePictureFile));

  shell.log("");
  for (const std::string& line : ImportanceLines(r)) shell.log(line);
  for (const fs::path& f : r.written) shell.log("Written to: <" + f.filename().string() + ">");
  shell.status2("(Idle)");
  session.Record().importance = r;
  return r;
}

std::vector<std::string> ImportanceLines(const ImportanceResult& r) {
  std::vector<std::string> lines;
  lines.push_back("Importance of the grids, scored on " + r.scoredOn + (r.byPoints ? " (AUC; gain at 10% of the area)" : ""));
  for (const std::string& note : r.notes) lines.push_back(note);
  std::string full = "All grids: AUC " + Optional(r.fullAuc, 3, "-");
  if (r.byPoints) full += ", gain@10% " + Optional(r.fullGain, 4, "-");
  lines.push_back(full);
  std::size_t width = 4;
  for (const ImportanceRow& row : r.rows) width = std::max(width, row.grid.size());
  std::string head = frmt("Grid", static_cast<int>(width + 2)) + RightAligned("AUC without", 13) + RightAligned("AUC alone", 11) +
                     RightAligned("Loss", 8);
  if (r.byPoints) head += RightAligned("Gain@10% without", 18) + RightAligned("Gain@10% alone", 16);
  lines.push_back(head);
  for (const ImportanceRow& row : r.rows) {
    std::string line = frmt(row.grid, static_cast<int>(width + 2)) + RightAligned(Optional(row.aucWithout, 3, "-"), 13) +
                       RightAligned(Optional(row.aucAlone, 3, "-"), 11) + RightAligned(Optional(row.loss, 3, "-"), 8);
    if (r.byPoints) line += RightAligned(Optional(row.gainWithout, 4, "-"), 18) + RightAligned(Optional(row.gainAlone, 4, "-"), 16);
    lines.push_back(line);
  }
  return lines;
}

}  // namespace karvelo
