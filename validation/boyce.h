// The continuous Boyce index: how much more often than the area predicts finds fall in a value window.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/canvas.h"
#include "validation/mapvalues.h"

namespace karvelo {

inline constexpr int kBoyceSteps = 100;  // the windows' starts: 101 of them, from the lowest value on
inline constexpr int kBoycePictureWidth = 420, kBoycePictureHeight = 320;

struct BoyceWindow {
  double low = 0, high = 0, centre = 0;  // the closed window [low, high]
  long long finds = 0, cells = 0;
  std::optional<double> pe;  // predicted-to-expected ratio; none for a window holding no cell
  bool counted = false;      // enters the correlation (the last of a run of equal ratios)
};

struct BoyceResult {
  std::vector<BoyceWindow> windows;
  std::optional<double> index;  // none with fewer than two windows counted, or ratios all equal
};

// Windows of a tenth of the map's value range, moved in 100 equal steps from the lowest value to
// the highest; the finds' share over the cells' share in each; the Spearman correlation of the
// ratios with the windows' centres. Windows holding no cell are left out; of successive windows
// with equal ratios only the last is counted. Nothing without a find or a cell.
BoyceResult ContinuousBoyce(const std::vector<double>& findScores, const MapValueCounts& map);

// "Boyce index (continuous): 0.912", or that there is none and why.
std::string BoyceLine(const BoyceResult& result);
// "Boyce of " + the map's file name.
std::string BoyceTitle(const std::string& mapFileName);
// The table file's text: a header line and one line per window.
std::vector<std::string> BoyceTableLines(const BoyceResult& result);
// The P/E curve against the windows' centres, the line P/E = 1, and the index.
void DrawBoyce(const BoyceResult& result, const std::string& title, Canvas& picture);

}  // namespace karvelo
