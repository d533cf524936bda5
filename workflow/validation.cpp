// Tab 4's steps: points, lookup and evaluation as one road for the window and the validate command.
#include "workflow/validation.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/atomicfile.h"
#include "core/filecheck.h"
#include "core/gridfile.h"
#include "core/gridrows.h"
#include "core/numfmt.h"
#include "core/outputnames.h"
#include "render/maprender.h"
#include "render/qimage_canvas.h"
#include "stats/statstext.h"
#include "validation/binarymap.h"
#include "validation/lookup.h"
#include "validation/mappass.h"
#include "validation/mapvalues.h"
#include "validation/roc.h"
#include "workflow/configure.h"
#include "workflow/runrecord.h"

namespace karvelo {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kNoCell = std::numeric_limits<std::size_t>::max();

// The row-major index of the cell under (x, y) on `map`, or kNoCell off the map.
std::size_t CellIndexOf(const TDataDef& map, double x, double y) {
  const GridCell cell = CellOf(map, x, y);
  if (cell.row < 1 || cell.row > map.nrows || cell.col < 1 || cell.col > map.ncols) return kNoCell;
  return static_cast<std::size_t>(cell.row - 1) * static_cast<std::size_t>(map.ncols) + static_cast<std::size_t>(cell.col - 1);
}

std::vector<std::size_t> RecordCells(const TDataDef& map, const ValidationRecords& records) {
  std::vector<std::size_t> cells(records.size(), kNoCell);
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records.HasPosition(i)) cells[i] = CellIndexOf(map, records.X(i), records.Y(i));
  }
  return cells;
}

bool SameCells(const TDataDef& a, const TDataDef& b) {
  auto close = [](double x, double y, double cell) { return std::fabs(x - y) <= 1e-6 * cell; };
  return a.ncols == b.ncols && a.nrows == b.nrows && close(a.cellsize, b.cellsize, a.cellsize) &&
         close(a.xllcorner, b.xllcorner, a.cellsize) && close(a.yllcorner, b.yllcorner, a.cellsize);
}

// The cells of the observation grid that hold its presence value, row-major.
std::vector<std::size_t> PresenceCells(const TDataDef& obs, Session& session) {
  std::vector<std::size_t> cells;
  GridRows rows(obs, session.Run().Pool());
  const auto ncols = static_cast<std::size_t>(obs.ncols);
  for (int r = 0; r < obs.nrows; ++r) {
    session.Run().ThrowIfCancelled();
    const double* row = rows.Next();
    for (std::size_t c = 0; c < ncols; ++c) {
      if (row[c] == obs.PositiveIndicatorValue) cells.push_back(static_cast<std::size_t>(r) * ncols + c);
    }
  }
  return cells;
}

void WriteTextLines(const fs::path& path, const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text.append(line).append("\r\n");
  AtomicFile file(path);
  file.Write(text.data(), text.size());
  file.Commit();
}

// The threshold the binary map is cut at, or why there is none.
std::optional<double> BinaryThreshold(const BinaryChoice& choice, const std::vector<ThresholdRow>& rows, std::vector<std::string>& notes) {
  if (!choice.kind) return choice.value;
  if (const auto row = RowOfKind(rows, *choice.kind)) return row->threshold;
  notes.push_back("No binary map: the threshold of " + ThresholdName(*choice.kind) + " needs finds and non-finds.");
  return std::nullopt;
}

// The files the statistics beyond the AUC write for the map `mapName`.
std::vector<fs::path> BeyondAucOutputs(const RunContext& run, const std::string& mapName, bool binary) {
  std::vector<fs::path> outputs = {run.Output(BoyceTitle(mapName) + ".txt"), run.Output(BoyceTitle(mapName) + ".bmp"),
                                   run.Output(PredictionAreaTitle(mapName) + ".bmp")};
  if (binary) {
    const fs::path grid = run.Output(BinaryMapFileName(mapName));
    outputs.insert(outputs.end(), {grid, fs::path(grid).replace_extension(".bmp"), fs::path(grid).replace_extension(".prj")});
  }
  return outputs;
}

}  // namespace

void OpenPoints(Session& session, ValidationFile& file, const fs::path& points) {
  OpenValidationFile(file, points, session.Reporter());
}

std::optional<std::string> ImportPoints(Session& session, const ValidationFile& file, ValidationRecords& records) {
  LoadValData(file, records, session.Reporter());
  return SkippedLinesNote(file);
}

std::string LookUpMap(Session& session, TDataDef& map, const fs::path& mapFile, bool asciiGrid, ValidationRecords& records) {
  LookUpPredictiveMap(map, mapFile, asciiGrid, records, session.Reporter());
  session.Record().lastLookup = LookupReportLine(records);
  return session.Record().lastLookup;
}

std::optional<BinaryChoice> BinaryChoiceNamed(const std::string& text) {
  if (text == "youden") return BinaryChoice{ThresholdKind::YoudenJ, 0};
  if (text == "equal") return BinaryChoice{ThresholdKind::EqualSensitivitySpecificity, 0};
  if (text == "kappa") return BinaryChoice{ThresholdKind::MaximumKappa, 0};
  const auto value = ParseReal(text);
  if (!value || !std::isfinite(*value)) return std::nullopt;
  return BinaryChoice{std::nullopt, *value};
}

namespace {

EvaluationResult EvaluateRecords(Session& session, const TDataDef& map, const ValidationFile& file, ValidationRecords& records,
                                 const EvaluationOptions& options, Canvas& roc, Canvas& gainPicture) {
  Shell& shell = session.Reporter();
  const RunContext& run = session.Run();
  EvaluationResult out;
  const std::string mapName = fs::path(map.FileName).filename().string();
  out.mapName = mapName;
  // Neither the map, the second map, the points nor the training grid may be one of the files
  // this evaluation writes.
  if (options.beyondAuc) {
    std::vector<fs::path> inputs = {map.FileName, file.path};
    if (options.compare) inputs.push_back(*options.compare);
    if (options.training) inputs.push_back(options.training->FileName);
    if (!OutputsAreNotInputs(BeyondAucOutputs(run, mapName, options.binary.has_value()), inputs, shell)) return out;
  }
  // A second map that cannot be read stops the evaluation before anything is drawn.
  TDataDef second;
  if (options.compare) {
    second.FileName = options.compare->string();
    if (!ReadHeader(second, shell)) return out;
  }
  const auto findCode = ParseReal(Trimmed(options.findsText));
  long long finds = 0, others = 0;
  if (findCode) {
    for (std::size_t i = 0; i < records.size(); ++i) (records.Code(i) == *findCode ? finds : others) += 1;
  }
  // Finds alone need no ROC: the Boyce index, the gain and the training thresholds need no absences.
  out.presenceOnly = findCode && finds > 0 && others == 0;
  if (out.presenceOnly) {
    out.codesLine = CodesLine(*findCode, finds, {}, false, 0);
    shell.log(out.codesLine);
    out.notes.push_back("The validation records hold finds only: the ROC and the AUC need non-finds and are left out; "
                        "the Boyce index below needs none.");
    shell.log(out.notes.back());
  } else {
    RocCounts counts;
    out.auc = EvaluateRoc(map.FileName, file.path, options.findsText, map.minvalue, map.maxvalue, records, roc, shell, &counts);
    if (!out.auc) return out;
    out.codesLine = counts.codesLine;
    out.rocFindScores = counts.findScores;
    out.rocNonFindScores = counts.nonFindScores;
    // Nothing shows the texts from here on; ten million of them take a third of the memory.
    if (options.releaseTexts) records.ReleaseTexts();
    out.intervals = EvaluateAucIntervals(counts, session.Ws().Random, session.Ws().FixedSeed, shell);
  }
  out.gain = EvaluateGain(map.FileName, *findCode, records, gainPicture, shell);
  if (!options.beyondAuc) {
    out.evaluated = true;
    return out;
  }
  out.beyondAuc = true;

  // The map's values at full precision at the records (and the training presences), and how many
  // cells hold each value: from the lookup's reading when it describes the map as it is, with the
  // training presences read down to the last of them; else one more pass over the map.
  const MapDigest* digest = DigestFor(records, map);
  std::vector<std::size_t> cells = digest ? std::vector<std::size_t>{} : RecordCells(map, records);
  const std::size_t recordCount = records.size();
  if (options.training) {
    if (SameCells(*options.training, map)) {
      const std::vector<std::size_t> training = PresenceCells(*options.training, session);
      cells.insert(cells.end(), training.begin(), training.end());
    } else {
      out.notes.push_back("The thresholds at the training presences are left out: " + options.training->FileName +
                          " and " + mapName + " have different cells.");
    }
  }
  shell.status2("... thresholds, Boyce index, prediction-area ...");
  const MapSample sample = digest ? SampleOfDigest(*digest, map, cells, shell) : SampleMapFile(map, cells, shell);
  std::vector<double> findScores, nonFindScores, trainingScores, recordValues(sample.atCells.begin(), sample.atCells.begin() + static_cast<std::ptrdiff_t>(recordCount));
  std::vector<bool> isFind(recordCount);
  for (std::size_t i = 0; i < recordCount; ++i) {
    isFind[i] = records.Code(i) == *findCode;
    if (std::isnan(recordValues[i])) continue;
    (isFind[i] ? findScores : nonFindScores).push_back(recordValues[i]);
  }
  for (std::size_t i = recordCount; i < sample.atCells.size(); ++i) {
    if (!std::isnan(sample.atCells[i])) trainingScores.push_back(sample.atCells[i]);
  }

  out.thresholds = ThresholdTable(findScores, nonFindScores, trainingScores, sample.counts);
  for (const ThresholdRow& row : out.thresholds) shell.log(ThresholdLine(row));

  out.boyce = ContinuousBoyce(findScores, sample.counts);
  shell.log(BoyceLine(out.boyce));
  const std::string boyceTitle = BoyceTitle(mapName);
  WriteTextLines(run.Output(boyceTitle + ".txt"), BoyceTableLines(out.boyce));
  QImageCanvas boycePicture(kBoycePictureWidth, kBoycePictureHeight);
  DrawBoyce(out.boyce, boyceTitle, boycePicture);
  boycePicture.SaveBmp(run.Output(boyceTitle + ".bmp"));
  out.written.push_back(run.Output(boyceTitle + ".txt"));
  out.written.push_back(run.Output(boyceTitle + ".bmp"));

  out.predictionArea = PredictionAreaCurve(findScores, sample.counts);
  shell.log(PredictionAreaLine(out.predictionArea));
  const std::string paTitle = PredictionAreaTitle(mapName);
  QImageCanvas paPicture(kPredictionAreaPictureWidth, kPredictionAreaPictureHeight);
  DrawPredictionArea(out.predictionArea, paTitle, paPicture);
  paPicture.SaveBmp(run.Output(paTitle + ".bmp"));
  out.written.push_back(run.Output(paTitle + ".bmp"));

  if (options.binary) {
    if (const auto threshold = BinaryThreshold(*options.binary, out.thresholds, out.notes)) {
      out.binaryThreshold = threshold;
      const fs::path binary = run.Output(BinaryMapFileName(mapName));
      WriteBinaryMap(map, *threshold, binary, shell);
      QImageCanvas picture(kMapPictureSize, kMapPictureSize);
      const fs::path bmp = fs::path(binary).replace_extension(".bmp");
      DrawProbabilityMap(binary, map, 0, 1, map.NODATA_value, false, picture, shell, bmp);
      out.written.push_back(binary);
      out.written.push_back(bmp);
      shell.log("Binary map at " + FormatFixed(*threshold, 6) + " written to: <" + binary.filename().string() + ">");
    } else {
      shell.log(out.notes.back());
    }
  }

  if (options.compare) {
    {
      out.compareName = options.compare->filename().string();
      const MapSample other = SampleMapFile(second, RecordCells(second, records), shell);
      out.comparison = ComparePairedAuc(PairScores(recordValues, other.atCells, isFind));
      if (out.comparison) {
        shell.log(ComparisonLine(out.compareName, *out.comparison));
      } else {
        out.notes.push_back("No comparison with " + out.compareName +
                            ": it needs two finds and two non-finds on values of both maps.");
        shell.log(out.notes.back());
      }
    }
  }
  shell.status2("(idle)");
  out.evaluated = true;
  return out;
}

}  // namespace

EvaluationResult Evaluate(Session& session, const TDataDef& map, const ValidationFile& file, ValidationRecords& records,
                          const EvaluationOptions& options, Canvas& roc, Canvas& gainPicture) {
  EvaluationResult out = EvaluateRecords(session, map, file, records, options, roc, gainPicture);
  if (out.evaluated) {
    RunRecord& record = session.Record();
    EvaluationRecord step;
    step.points = file.path;
    step.map = map;
    step.lookup = record.lastLookup;
    step.recordsKept = static_cast<int>(records.size());
    step.options = options;
    step.columns = {file.ValColX, file.ValColY, file.ValColVal};
    step.result = out;
    record.evaluations.push_back(std::move(step));
  }
  return out;
}

std::vector<std::string> EvaluationLines(const EvaluationResult& r, bool thresholdLines) {
  std::vector<std::string> lines;
  if (r.auc) {
    lines.push_back(AucIntervalLine("DeLong", r.intervals.delong));
    lines.push_back(AucIntervalLine("bootstrap", r.intervals.bootstrap));
    if (r.intervals.tieNote) lines.push_back(*r.intervals.tieNote);
  }
  for (const GainRow& g : r.gain) {
    if (g.areaPercent == 10 || g.areaPercent == 20 || g.areaPercent == 50) lines.push_back(GainLine(g));
  }
  if (r.beyondAuc) {
    if (r.thresholds.empty()) {
      lines.push_back("No thresholds: they need finds and non-finds, or the training presences of the data configuration.");
    }
    if (thresholdLines) {
      for (const ThresholdRow& t : r.thresholds) lines.push_back(ThresholdLine(t));
    }
    lines.push_back(BoyceLine(r.boyce));
    lines.push_back(PredictionAreaLine(r.predictionArea));
  }
  if (r.binaryThreshold) {
    lines.push_back("Binary map at " + FormatFixed(*r.binaryThreshold, 6) + ": " + BinaryMapFileName(r.mapName));
  }
  if (r.comparison) lines.push_back(ComparisonLine(r.compareName, *r.comparison));
  for (const std::string& note : r.notes) lines.push_back(note);
  return lines;
}

std::optional<ValidationRun> Validate(Session& session, const ValidateOptions& v, const fs::path& points, const fs::path& mapFile) {
  Shell& shell = session.Reporter();
  const RunContext& run = session.Run();
  const std::string mapName = mapFile.filename().string();
  std::vector<fs::path> outputs = {run.Output(kValidationRecordsFile), run.Output(RocTitle(mapFile.string()) + ".bmp"),
                                   run.Output(GainTitle(mapName) + ".txt"), run.Output(GainTitle(mapName) + ".bmp"),
                                   run.Output(kLogFileName)};
  if (v.beyondAuc) {
    const std::vector<fs::path> beyond = BeyondAucOutputs(run, mapName, v.binary.has_value());
    outputs.insert(outputs.end(), beyond.begin(), beyond.end());
  }
  std::vector<fs::path> inputs = {points, mapFile};
  if (v.compare) inputs.push_back(*v.compare);
  if (v.config) inputs.push_back(*v.config);
  if (!OutputsAreNotInputs(outputs, inputs, shell)) return std::nullopt;

  EvaluationOptions options;
  options.beyondAuc = v.beyondAuc;
  options.releaseTexts = true;
  options.binary = v.binary;
  options.compare = v.compare;
  if (v.config) {
    LoadConfigurationFile(session, *v.config);
    const int slot = session.Ws().FindPresenceDefIndex();
    if (slot > 0) options.training = session.Ws().DataDef(slot);
  }

  ValidationRun result;
  ValidationFile file;
  OpenPoints(session, file, points);
  auto limit = [&](int c) { return std::clamp(c, 1, std::max(1, file.ValColumnCount)); };
  if (v.x) file.ValColX = limit(*v.x);
  if (v.y) file.ValColY = limit(*v.y);
  if (v.code && limit(*v.code) != file.ValColVal) {
    file.ValColVal = limit(*v.code);
    CheckColValData(file, file.ValColVal, shell);  // the code lists follow the code column
  }
  options.findsText = v.finds ? *v.finds : ProposedFindsCode(file);
  ValidationRecords records;
  if (const auto note = ImportPoints(session, file, records)) result.notes.push_back(*note);
  TDataDef map;
  result.notes.push_back(LookUpMap(session, map, mapFile, true, records));
  result.recordsKept = static_cast<int>(records.size());
  QImageCanvas roc(kRocPictureSize, kRocPictureSize), gain(kGainPictureSize, kGainPictureSize);
  result.evaluation = Evaluate(session, map, file, records, options, roc, gain);
  if (!result.evaluation.evaluated) return std::nullopt;
  result.notes.push_back(result.evaluation.codesLine);
  return result;
}

std::string AucText(double auc) { return FixedInWidth(auc, 2, 5); }

}  // namespace karvelo
