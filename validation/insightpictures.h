// The pictures of cross-validation and of the grids' importance: the folds over the map, and bars.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/canvas.h"
#include "mapping/classgrids.h"

namespace karvelo {

inline constexpr int kFoldsPictureWidth = 400, kFoldsPictureHeight = 460;

// The colour of fold f (from 0); ten colours, then again.
Rgb FoldColour(int fold);

// The map in grey (darker is higher; `backdrop` may be empty: the mapped cells plain grey), every
// observation cell as a square of its fold's colour (at least 3 pixels wide), and a legend of the
// folds below the map.
void DrawFolds(const ClassGrids& grids, const std::vector<double>& backdrop, const std::vector<std::uint8_t>& cellFold,
               int folds, Canvas& picture);

// One grid's bars: the score without it and with it alone.
struct ImportanceBar {
  std::string grid;
  std::optional<double> without, alone;
};
inline constexpr int kImportancePictureHeight = 320;
int ImportancePictureWidth(std::size_t grids);
// Bars of "without" and "alone" per grid on an AUC axis of 0 to 1, the full map's AUC as a line
// across, and a legend.
void DrawImportance(const std::vector<ImportanceBar>& bars, std::optional<double> full, const std::string& title, Canvas& picture);

}  // namespace karvelo
