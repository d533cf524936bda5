// Cross-validation of the map and the importance of each grid, as steps of a session with typed results.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "mapping/crossvalidation.h"
#include "mapping/folds.h"
#include "mapping/priors.h"
#include "mapping/uncertainty.h"
#include "workflow/session.h"

namespace karvelo {

inline constexpr const char* kFoldsPictureFile = "Folds.bmp";
inline constexpr const char* kCrossValidationFile = "Cross-validation.csv";
inline constexpr const char* kImportanceFile = "Importance.csv";
inline constexpr const char* kImportancePictureFile = "Importance.bmp";

// The choices of a map that the maps of both commands share.
struct InsightMapOptions {
  PriorControls priors;
  EvidenceLevel evidence = EvidenceLevel::All;
};

struct FoldOptions {
  int folds = 5;
  FoldSplit split = FoldSplit::RandomCells;
  std::optional<int> blockSize;  // cells; none: DefaultBlockSize
};

// Why a command stopped before its result (as the map command has it).
enum class InsightRefusal {
  None,
  Unmappable,     // the configuration cannot be mapped, or the step stopped after a message
  Contradicting,  // the options contradict the configuration (a usage error)
};

struct CrossValidationResult {
  InsightRefusal refusal = InsightRefusal::None;
  int folds = 0;
  FoldSplit split = FoldSplit::RandomCells;
  int blockSize = 0;
  bool presenceOnly = false;       // scored against the mapped cells of the held-out fold
  std::string priorsNote;          // how the folds' priors were had
  FoldsOutcome outcome;
  std::vector<std::string> notes;  // folds left out of the mean, and why
  std::vector<std::filesystem::path> written;
};

// "Cross-validation AUC (5 folds, random cells): mean 0.912, sd 0.034, folds 0.88 0.93 ..."
std::string CrossValidationLine(const CrossValidationResult& result);

// The `cv` command: load, audit, final submission, the folds dealt from the run's seeded generator,
// a map per fold from the others, "Folds.bmp" and "Cross-validation.csv". Refuses (after a message)
// outputs that would replace an input.
CrossValidationResult CrossValidate(Session& session, const std::filesystem::path& config, const InsightMapOptions& map,
                                    const FoldOptions& folds);

// The validation points of the importance, with validate's column choices.
struct ImportancePoints {
  std::filesystem::path file;
  std::optional<int> x, y, code;
  std::optional<std::string> finds;
};

struct ImportanceRow {
  std::string grid;
  std::optional<double> aucWithout, aucAlone, loss;  // loss = full - without
  std::optional<double> gainWithout, gainAlone;      // gain at 10% of the area (points only)
};

struct ImportanceResult {
  InsightRefusal refusal = InsightRefusal::None;
  bool byPoints = false;                 // scored on points; otherwise the cross-validation's mean AUC
  std::string scoredOn;                  // "52 validation points", "5 folds, random cells"
  std::optional<double> fullAuc, fullGain;
  std::vector<ImportanceRow> rows;       // every grid with classes, in configuration order
  std::vector<std::string> notes;
  std::vector<std::filesystem::path> written;
};

// The table the command prints and the log holds.
std::vector<std::string> ImportanceLines(const ImportanceResult& result);

// The `importance` command: load, audit, final submission, then for every grid with classes the map
// without it and the map of it alone (same priors, classes and seed), scored on the points or, without
// them, by the cross-validation; "Importance.csv" and "Importance.bmp".
ImportanceResult GridImportance(Session& session, const std::filesystem::path& config, const InsightMapOptions& map,
                                const std::optional<ImportancePoints>& points, const FoldOptions& folds);

}  // namespace karvelo
