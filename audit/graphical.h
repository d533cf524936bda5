// The diagrams of the graphical analysis: per-class histograms of two grids and their scatterplot.
#pragma once

#include <string>
#include <vector>

#include "core/canvas.h"
#include "core/shell.h"
#include "core/workspace.h"

namespace karvelo {

inline constexpr int kAuxHistogramWidth = 225;
inline constexpr int kAuxHistogramHeight = 235;
inline constexpr int kScatterWidth = 497;
inline constexpr int kScatterHeight = 507;

// One choice of the two lists: the grid's file name without folder, and its full path.
struct GraphicalEntry {
  std::string name;
  std::string path;
};

// The grids offered (every entry without a presence indicator) and the observation grid (the
// last entry with one; empty when there is none).
struct GraphicalLists {
  std::vector<GraphicalEntry> entries;
  std::string observationGrid;
};
GraphicalLists GraphicalAnalysisLists(const Workspace& ws);

// Fills the three pictures with white.
void ClearImages(Canvas& aux1, Canvas& aux2, Canvas& scatter);

// The histogram of one grid's audited presence and absence counts per class; returns its title.
std::string DrawAuxHistogram(const TDataDef& def, const std::string& name, Canvas& picture);

// Draws, saves (in the working directory) and logs both histograms and the scatterplot. Checks
// first that everything can be drawn; when it cannot, shows a message saying why, draws and
// saves nothing, and returns false.
bool ShowDiagrams(const Workspace& ws, const GraphicalEntry& aux1, const GraphicalEntry& aux2, Canvas& img1,
                  Canvas& img2, Canvas& scatter, Shell& shell);

}  // namespace karvelo
