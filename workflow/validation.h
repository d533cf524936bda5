// Tab 4's steps as steps of a session: the points opened and imported, the map looked up, and the
// evaluation (ROC and AUC, intervals, gain, thresholds, Boyce index, prediction-area, comparison).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/canvas.h"
#include "core/datadef.h"
#include "validation/aucintervals.h"
#include "validation/boyce.h"
#include "validation/gain.h"
#include "validation/pairedauc.h"
#include "validation/predictionarea.h"
#include "validation/thresholds.h"
#include "validation/valdata.h"
#include "validation/valrecords.h"
#include "workflow/session.h"

namespace karvelo {

// "a: Validation data": the points file screened (columns, header lines, code lists).
void OpenPoints(Session& session, ValidationFile& file, const std::filesystem::path& points);

// "Import": the records read with the chosen columns; the note on lines not read as records, if any.
std::optional<std::string> ImportPoints(Session& session, const ValidationFile& file, ValidationRecords& records);

// "Prediction map": the map's header read into `map`, every record given its cell's value (the
// others dropped and counted), "ValDataComplete.txt" written; the lookup's report line.
std::string LookUpMap(Session& session, TDataDef& map, const std::filesystem::path& mapFile, bool asciiGrid,
                      ValidationRecords& records);

// What turns the map into a binary map: one of the table's thresholds, or a value.
struct BinaryChoice {
  std::optional<ThresholdKind> kind;  // Youden's J, equal sensitivity and specificity, maximum kappa
  double value = 0;                   // when no kind
};
// "youden", "equal", "kappa" or a number; nothing for another text.
std::optional<BinaryChoice> BinaryChoiceNamed(const std::string& text);

struct EvaluationOptions {
  std::string findsText;                     // the code of finds, as chosen
  std::optional<BinaryChoice> binary;        // also write "Binary of <map>.asc" and its picture
  std::optional<std::filesystem::path> compare;  // a second map, looked up at the same records
  // The observation grid whose presence cells are the training presences (the configuration's),
  // for the thresholds at the training presences; none leaves those rows out.
  std::optional<TDataDef> training;
  // The statistics beside the AUC and the gain (thresholds, Boyce index, prediction-area, binary
  // map, comparison) and their files; off, the evaluation is the ROC, its intervals and the gain.
  bool beyondAuc = true;
  // The records' texts are freed once the ROC is drawn (nothing shows them any more).
  bool releaseTexts = false;
};

struct EvaluationResult {
  bool evaluated = false;         // false: stopped after a message
  bool presenceOnly = false;      // the records hold finds only: no ROC, no AUC
  bool beyondAuc = false;         // the statistics beside the AUC and the gain were computed
  std::optional<double> auc;
  std::string codesLine;          // which codes counted as finds and non-finds
  std::vector<double> rocFindScores, rocNonFindScores;  // the map values the ROC ranks
  AucIntervals intervals;
  std::vector<GainRow> gain;
  std::vector<ThresholdRow> thresholds;
  BoyceResult boyce;
  PredictionArea predictionArea;
  std::optional<PairedAucComparison> comparison;
  std::string mapName;            // the map's file name
  std::string compareName;        // the second map's file name
  std::optional<double> binaryThreshold;
  std::vector<std::string> notes; // why a part is missing (presence-only, training cells, comparison)
  std::vector<std::filesystem::path> written;  // the tables and pictures besides the ROC's and gain's
};

// "Evaluate" on the looked-up records: the ROC picture (and its AUC) with both intervals, the gain
// table and picture, then the statistics beside them, each file written into the working folder.
// With finds only, the ROC and its intervals are left out and a note says why.
EvaluationResult Evaluate(Session& session, const TDataDef& map, const ValidationFile& file, ValidationRecords& records,
                          const EvaluationOptions& options, Canvas& roc, Canvas& gain);

// The evaluation's lines after the AUC: intervals, the note on ties, the gain at 10, 20 and 50%,
// the threshold table (unless a table shows it), the Boyce index, the prediction-area intersection,
// the binary map's threshold, the comparison and the notes.
std::vector<std::string> EvaluationLines(const EvaluationResult& result, bool thresholdLines = true);

// The choices of tab 4 that the validate command can set.
struct ValidateOptions {
  std::optional<int> x, y, code;
  std::optional<std::string> finds;
  std::optional<BinaryChoice> binary;
  std::optional<std::filesystem::path> compare;
  std::optional<std::filesystem::path> config;  // its observation grid gives the training presences
  bool beyondAuc = true;
};
struct ValidationRun {
  int recordsKept = 0;
  std::vector<std::string> notes;  // lines not read, the lookup's report, the codes taken
  EvaluationResult evaluation;
};
// The `validate` command: open, import, look up, evaluate. Nothing after a message.
std::optional<ValidationRun> Validate(Session& session, const ValidateOptions& options, const std::filesystem::path& points,
                                      const std::filesystem::path& mapFile);

// The AUC as the picture shows it: 2 decimals in 5 characters.
std::string AucText(double auc);

}  // namespace karvelo
