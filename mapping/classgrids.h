// The classes of every classified grid in memory (a byte per cell) with the observation cells: what
// maps made again and again from subsets of grids and observations read instead of the class files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/limits.h"
#include "core/runcontext.h"
#include "core/workspace.h"

namespace karvelo {

// A cell where the grid has no class the map can use: the map leaves the cell out.
inline constexpr std::uint8_t kNoClassValue = 255;

// One grid with classes: per cell 0 (no class, an even split), 1..nClasses, or kNoClassValue.
struct ClassGrid {
  int slot = 0;
  int nClasses = 0;        // as the map reads the class file: at most MaxClasses
  std::string name;        // the file name without its folder
  std::vector<std::uint8_t> cells;  // row-major over the reference grid
};

// A cell that counts: an observation (or a drawn absence) as a row-major index.
struct CountedCell {
  std::size_t index = 0;
  bool presence = false, absence = false;
};

struct ClassGrids {
  int nrows = 0, ncols = 0;
  std::vector<ClassGrid> grids;           // every grid with a class file, in configuration order
  std::vector<std::uint8_t> inside;       // 1 where the map computes a value
  std::vector<CountedCell> observations;  // the presence and absence masks' cells, row-major
  std::size_t Cells() const { return static_cast<std::size_t>(nrows) * static_cast<std::size_t>(ncols); }
};

// Reads the class files of the final submission once, and takes the workspace's presence, absence
// and inside masks. A class number beyond its grid's classes is stored as 0 (it carries no
// counts, as in the written map), a cell without a class as kNoClassValue.
ClassGrids LoadClassGrids(const Workspace& ws, const RunContext& run);

// Presences and absences per class (index 1..MaxClasses) of one grid.
struct GridClassCounts {
  std::array<long long, MaxClasses + 1> presences{}, absences{};
};
// Counts the cells over the classes of every grid; a cell counts in each kind it marks.
std::vector<GridClassCounts> CountClasses(const ClassGrids& grids, const std::vector<CountedCell>& cells);

}  // namespace karvelo
