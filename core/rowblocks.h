// Output rows made on every core and handed on in file order.
#pragma once

#include <algorithm>
#include <exception>

#include "core/threadpool.h"

namespace karvelo {

// For rows 1..nrows, in blocks of blockRows: fetch(r, slot) on the caller's thread, in order (the
// reading, which may throw); make(from, to, first) on the pool for blocks of the fetched rows
// (slot = r - first), touching only those rows' slots; emit(r, slot) on the caller's thread, in
// order (writing, the gauge, a stop). When a fetch throws, the rows fetched before it are still
// made and emitted, and then the error goes on: the same rows come out before it as when every
// row is read, made and written one after the other.
template <class Fetch, class Make, class Emit>
void RowsInBlocks(ThreadPool& pool, int nrows, int blockRows, Fetch fetch, Make make, Emit emit) {
  blockRows = std::max(blockRows, 1);
  for (int first = 1; first <= nrows; first += blockRows) {
    const int last = std::min(nrows, first + blockRows - 1);
    int fetched = first - 1;
    std::exception_ptr error;
    try {
      for (int r = first; r <= last; ++r) {
        fetch(r, r - first);
        fetched = r;
      }
    } catch (...) {
      error = std::current_exception();
    }
    pool.ForRows(first, fetched, [&](int from, int to) { make(from, to, first); });
    for (int r = first; r <= fetched; ++r) emit(r, r - first);
    if (error) std::rethrow_exception(error);
  }
}

// Rows per block when a row keeps `bytesPerRow` bytes while it waits: a few megabytes a block.
inline int BlockRowsFor(std::size_t bytesPerRow) {
  return static_cast<int>(std::clamp<std::size_t>((4u << 20) / std::max<std::size_t>(bytesPerRow, 1), 1, 256));
}

}  // namespace karvelo
