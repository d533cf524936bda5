// Dealing the cells of a map into folds for cross-validation: at random or by square blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/random.h"
#include "mapping/classgrids.h"

namespace karvelo {

inline constexpr std::uint8_t kNoFold = 255;
inline constexpr int kMaxFolds = 100;

enum class FoldSplit { RandomCells, Blocks };

// The side of a block when none is chosen: a tenth of the grid's shorter side, at least one cell.
int DefaultBlockSize(int nrows, int ncols);

// The fold of every cell of the grid (row-major; kNoFold for a cell in none) from `folds` folds:
// - RandomCells: the observation cells are shuffled (Fisher-Yates on `rng`) and dealt in turn, so
//   the folds differ by at most one cell; with `background`, every other mapped cell then draws
//   its fold from `rng`.
// - Blocks: the grid is cut into squares of blockSize x blockSize cells from the top-left corner;
//   the squares holding an observation (or, with `background`, a mapped cell) are shuffled and dealt
//   in turn, and each of their cells takes the square's fold.
// `background` is for presence-only data, whose held-out fold is scored against its mapped cells.
std::vector<std::uint8_t> DealFolds(const ClassGrids& grids, int folds, FoldSplit split, int blockSize, bool background,
                                    RandomGenerator& rng);

}  // namespace karvelo
