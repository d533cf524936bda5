// A 10000 x 10000 byte raster in the work-file layout, reserved once and committed only where used.
#pragma once

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "core/limits.h"

namespace karvelo {

// Cell (r, c), 1 <= r, c <= 10000, lies at offset (r - 1) * 10000 + (c - 1); row 1 is the northern
// edge. The memory is an anonymous private mapping: untouched pages read as zero and cost nothing,
// so a small grid uses only the pages of its rows. Even the mapping is made only when a step first
// uses the raster: a run that never does (info, validate) needs no 100 MB of address space for it.
// A mapping the system refuses is std::bad_alloc.
class ByteRaster {
 public:
  static constexpr std::size_t kCells = static_cast<std::size_t>(RasterCells);

  ByteRaster();
  ~ByteRaster();
  ByteRaster(const ByteRaster&) = delete;
  ByteRaster& operator=(const ByteRaster&) = delete;

  static constexpr std::size_t Offset(int r, int c) {
    return static_cast<std::size_t>(r - 1) * MaxGridExtent + static_cast<std::size_t>(c - 1);
  }
  std::uint8_t& at(int r, int c) { return Mapped()[Offset(r, c)]; }
  std::uint8_t at(int r, int c) const { return Mapped()[Offset(r, c)]; }
  std::uint8_t* row(int r) { return Mapped() + Offset(r, 1); }
  const std::uint8_t* row(int r) const { return Mapped() + Offset(r, 1); }
  std::uint8_t* data() { return Mapped(); }
  const std::uint8_t* data() const { return Mapped(); }

  // Sets all 100000000 bytes to 0. Pages are handed back to the system instead of written, so the
  // cost follows the pages in use, not the raster's size.
  void Clear();
  // Sets rows r..10000 to 0, handing whole pages back as Clear does.
  void ClearFrom(int r);

 private:
  std::uint8_t* Mapped() const {
    std::uint8_t* p = data_.load(std::memory_order_acquire);
    return p ? p : Map();
  }
  std::uint8_t* Map() const;
  // Mapped on first use, also through a const access (an unused raster reads as zeros), and
  // possibly by several of the run's threads at once.
  mutable std::atomic<std::uint8_t*> data_{nullptr};
  mutable std::mutex mapping_;
};

}  // namespace karvelo
