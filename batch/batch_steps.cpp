// The steps of the batch commands, on the same engine calls as the window's handlers.
#include "batch/batch_steps.h"

#include <algorithm>

#include "audit/audit.h"
#include "config/classification.h"
#include "config/configfile.h"
#include "config/configtable.h"
#include "core/numfmt.h"
#include "core/outputnames.h"
#include "core/runlog.h"
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

std::optional<ValidationOutcome> RunValidation(const ValidateOptions& v, const std::string& points, const std::string& mapFile,
                                               Workspace& ws, Shell& shell, int* recordsKept, std::vector<std::string>* notes) {
  std::vector<std::string> scratch;
  std::vector<std::string>& said = notes ? *notes : scratch;
  const RunContext& run = shell.run();
  const std::string mapName = std::filesystem::path(mapFile).filename().string();
  if (!OutputsAreNotInputs({run.Output(kValidationRecordsFile), run.Output(RocTitle(mapFile) + ".bmp"),
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
    CheckColValData(file, file.ValColVal, shell);  // the code lists follow the code column
  }
  const std::string findsText = v.finds ? *v.finds : ProposedFindsCode(file);
  ValidationRecords records;
  LoadValData(file, records, shell);
  if (const auto note = SkippedLinesNote(file)) said.push_back(*note);
  TDataDef map;
  LookUpPredictiveMap(map, mapFile, true, records, shell);
  said.push_back(LookupReportLine(records));
  if (recordsKept) *recordsKept = static_cast<int>(records.size());
  QImageCanvas picture(kRocPictureSize, kRocPictureSize);
  RocCounts counts;
  const auto auc = EvaluateRoc(mapFile, points, findsText, map.minvalue, map.maxvalue, records, picture, shell, &counts);
  if (!auc) return std::nullopt;
  said.push_back(counts.codesLine);
  // Nothing shows the texts from here on; ten million of them take a third of the memory.
  records.ReleaseTexts();
  ValidationOutcome outcome;
  outcome.auc = *auc;
  outcome.intervals = EvaluateAucIntervals(counts, ws.Random, ws.FixedSeed, shell);
  QImageCanvas gainPicture(kGainPictureSize, kGainPictureSize);
  outcome.gain = EvaluateGain(mapFile, *ParseReal(Trimmed(findsText)), records, gainPicture, shell);
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
