// The rows of a probability map: every cell's class in each classified grid, made into output rows on
// every core and handed on in order.
#pragma once

#include <vector>

#include "core/rowblocks.h"
#include "core/threadpool.h"
#include "mapping/classfiles.h"

namespace karvelo {

// For the reference grid's rows 1..nrows: reads the class files' row (the caller's thread, in order),
// calls make(r, classes, row, state) on the pool for the rows of a block, where classes[e * ncols + c]
// is the class of column c + 1 in stream e and `state` is a BlockState made afresh for each block
// (a cache of texts, say), then emit(r, row) on the caller's thread in row order. `rowBytesPerCell` is
// what a made row keeps per cell until it is emitted (it sizes the blocks).
template <class Row, class BlockState, class Make, class Emit>
void MakeMapRows(std::vector<ClassFileStream>& streams, ThreadPool& pool, int nrows, std::size_t ncols,
                 std::size_t rowBytesPerCell, Make make, Emit emit) {
  const std::size_t perRow = streams.size() * ncols;
  const int block = BlockRowsFor(ncols * (streams.size() * sizeof(int) + rowBytesPerCell));
  std::vector<int> classes(static_cast<std::size_t>(block) * perRow);
  std::vector<Row> made(static_cast<std::size_t>(block));
  RowsInBlocks(
      pool, nrows, block,
      [&](int, int slot) { ReadClassRow(streams, classes.data() + static_cast<std::size_t>(slot) * perRow); },
      [&](int from, int to, int first) {
        BlockState state;
        for (int r = from; r <= to; ++r) {
          const std::size_t slot = static_cast<std::size_t>(r - first);
          make(r, classes.data() + slot * perRow, made[slot], state);
        }
      },
      [&](int r, int slot) { emit(r, made[static_cast<std::size_t>(slot)]); });
}

}  // namespace karvelo
