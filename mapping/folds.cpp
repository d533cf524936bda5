// Fold dealing for cross-validation.
#include "mapping/folds.h"

#include <algorithm>
#include <utility>

namespace karvelo {

namespace {

// Fisher-Yates from the back: item i swaps with one of 0..i.
template <class T>
void Shuffle(std::vector<T>& items, RandomGenerator& rng) {
  for (std::size_t i = items.size(); i > 1; --i) {
    const std::size_t j = rng.Random(static_cast<std::uint32_t>(i));
    std::swap(items[i - 1], items[j]);
  }
}

}  // namespace

int DefaultBlockSize(int nrows, int ncols) { return std::max(1, std::min(nrows, ncols) / 10); }

std::vector<std::uint8_t> DealFolds(const ClassGrids& grids, int folds, FoldSplit split, int blockSize, bool background,
                                    RandomGenerator& rng) {
  std::vector<std::uint8_t> fold(grids.Cells(), kNoFold);
  folds = std::clamp(folds, 1, kMaxFolds);
  const std::size_t ncols = static_cast<std::size_t>(grids.ncols);
  if (split == FoldSplit::RandomCells) {
    std::vector<std::size_t> cells;
    for (const CountedCell& o : grids.observations) cells.push_back(o.index);
    Shuffle(cells, rng);
    for (std::size_t i = 0; i < cells.size(); ++i) fold[cells[i]] = static_cast<std::uint8_t>(i % static_cast<std::size_t>(folds));
    if (background) {
      for (std::size_t i = 0; i < fold.size(); ++i) {
        if (grids.inside[i] && fold[i] == kNoFold) fold[i] = static_cast<std::uint8_t>(rng.Random(static_cast<std::uint32_t>(folds)));
      }
    }
    return fold;
  }
  blockSize = std::max(blockSize, 1);
  const std::size_t side = static_cast<std::size_t>(blockSize);
  const std::size_t blockCols = (ncols + side - 1) / side;
  const std::size_t blockRows = (static_cast<std::size_t>(grids.nrows) + side - 1) / side;
  auto blockOf = [&](std::size_t index) { return (index / ncols / side) * blockCols + (index % ncols) / side; };
  std::vector<char> wanted(blockCols * blockRows, 0);
  for (const CountedCell& o : grids.observations) wanted[blockOf(o.index)] = 1;
  if (background) {
    for (std::size_t i = 0; i < grids.inside.size(); ++i) {
      if (grids.inside[i]) wanted[blockOf(i)] = 1;
    }
  }
  std::vector<std::size_t> blocks;
  for (std::size_t b = 0; b < wanted.size(); ++b) {
    if (wanted[b]) blocks.push_back(b);
  }
  Shuffle(blocks, rng);
  std::vector<std::uint8_t> blockFold(wanted.size(), kNoFold);
  for (std::size_t i = 0; i < blocks.size(); ++i) blockFold[blocks[i]] = static_cast<std::uint8_t>(i % static_cast<std::size_t>(folds));
  for (std::size_t i = 0; i < fold.size(); ++i) fold[i] = blockFold[blockOf(i)];
  return fold;
}

}  // namespace karvelo
