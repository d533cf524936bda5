// Kvamme's gain and the success-rate curve of a map against the finds of the validation records.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/canvas.h"
#include "core/datadef.h"
#include "core/shell.h"
#include "validation/mapvalues.h"
#include "validation/valrecords.h"

namespace karvelo {

inline constexpr int kGainRows = 20;  // area shares 5%, 10%, ..., 100%
inline constexpr int kGainPictureSize = 300;

struct GainRow {
  int areaPercent = 0;       // the nominal area share a
  double threshold = 0;      // the value of the cell at rank ceil(a x N), by descending value
  double areaTaken = 0;      // share of the cells with a value >= threshold
  double findsShare = 0;     // share of the finds on the map with a value >= threshold
  std::optional<double> gain;  // 1 - areaTaken / findsShare; none when no find is taken
};

// The 20 rows of a map, from the map file (its header read into `map`) in a few passes with memory
// that does not grow with the map: `findCells` are the finds' cells as row-major indexes
// ((row - 1) x ncols + column - 1), one per find. At most `memberBudget` values are held at once.
// Nothing when the map has no value.
std::vector<GainRow> GainOfMapFile(const TDataDef& map, const std::vector<std::size_t>& findCells, Shell& shell,
                                   std::size_t memberBudget = std::size_t{1} << 22);
// The same 20 rows from values in memory: every cell of the map that has a value, and the finds'
// values. Nothing when `values` is empty.
std::vector<GainRow> GainOfValues(std::vector<double> values, const std::vector<double>& findValues);
// The same 20 rows from exact counts of the map's values (not binned) and the finds' values.
// Nothing when the counts hold no cell.
std::vector<GainRow> GainOfCounts(const MapValueCounts& counts, const std::vector<double>& findValues);
// "Gain of " + the map's file name.
std::string GainTitle(const std::string& mapFileName);
// The table file's text: the header line and one line per row.
std::vector<std::string> GainTableLines(const std::vector<GainRow>& rows);
// The validate line of one row: "Gain at 10% of the area: finds 45.00%, gain 0.7778".
std::string GainLine(const GainRow& row);
// Shares 0..1 to pixels of the 300 x 300 picture (plot area 40..290 x 20..270).
int GainPixelX(double share);
int GainPixelY(double share);
// Tab 4's short form of a row: "at 10% of the area: 0.7778".
std::string GainShortLine(const GainRow& row);
// The success-rate curve: finds share against area share, with the diagonal.
void DrawGain(const std::vector<GainRow>& rows, const std::string& title, Canvas& picture);

// After the ROC: reads the map's cells (or takes the lookup's counts of them, when they describe
// the map as it is) and takes the finds among the looked-up records (records
// whose code is findCode), writes "<title>.txt" and "<title>.bmp", logs them. Throws FileError.
std::vector<GainRow> EvaluateGain(const std::filesystem::path& mapFile, double findCode, const ValidationRecords& records,
                                  Canvas& picture, Shell& shell);

}  // namespace karvelo
