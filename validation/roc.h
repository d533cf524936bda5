// The ROC curve of a probability map against validation records, its AUC and its picture.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/canvas.h"
#include "core/shell.h"
#include "validation/valrecords.h"

namespace karvelo {

inline constexpr int kRocThresholds = 10000;
inline constexpr int kRocPictureSize = 350;

// Finds and non-finds at or above each threshold r / 10000 (r = 1..10000) of the scaled map value.
struct RocCounts {
  std::vector<double> finds, nonFinds;  // index r, 1..10000 (index 0 unused)
  long long totalFinds = 0, totalNonFinds = 0;
  std::vector<double> findScores, nonFindScores;  // the records' map values, for the AUC's intervals
  std::string codesLine;  // "Finds: code 1 (45 records); non-finds: code 0 (110 records)"
};

// The highest threshold number r (0..10000) with r / 10000 <= w: a record counts at 1..r.
int ThresholdReach(double w);

// "Finds: code 1 (45 records); non-finds: code 0 (110 records)": the code of finds and its records,
// the other codes (a few named, `moreOthers` when there were more) and theirs.
std::string CodesLine(double findCode, long long finds, std::vector<double> others, bool moreOthers, long long nonFinds);

// Counts the looked-up records: a record is a find when its code is findCode, else a non-find.
RocCounts CountRoc(const ValidationRecords& records, double findCode, double vmin, double vmax, Shell& shell);

// Pixel column and row of plot coordinates 0..1.
int X2ix(double xco);
int Y2iy(double yco);
// Shoelace area of a closed polygon of (a, b) points, divided by 10000.
double area(const std::vector<std::array<double, 2>>& pol);

// The area under the curve of sensitivities and 1 - specificities at the 10000 thresholds.
double RocAuc(const RocCounts& counts);

// "ROC of " + the map's file name (shortened to 32 characters + "..." beyond 35).
std::string RocTitle(const std::string& mapFileName);

// The evaluation: draws the frame, axes and curve on a 350 x 350 picture, writes the AUC, saves
// the picture as title + ".bmp" and logs it. Returns the AUC, or nothing after a message (the
// FINDS code is no number; a record's code is no number; no find or no non-find among the records).
// Logs which codes it took as finds and non-finds. When `counts` is given it receives the
// records' counts and scores.
std::optional<double> EvaluateRoc(const std::filesystem::path& mapFile, const std::filesystem::path& validationFile,
                                  const std::string& findsText, double vmin, double vmax, const ValidationRecords& records,
                                  Canvas& picture, Shell& shell, RocCounts* counts = nullptr);

}  // namespace karvelo
