// A 10000 x 10000 byte raster in the work-file layout, reserved once and committed only where used.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/limits.h"

namespace karvelo {

// Cell (r, c), 1 <= r, c <= 10000, lies at offset (r - 1) * 10000 + (c - 1); row 1 is the northern
// edge. The memory is an anonymous private mapping: untouched pages read as zero and cost nothing,
// so a small grid uses only the pages of its rows.
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
  std::uint8_t& at(int r, int c) { return data_[Offset(r, c)]; }
  std::uint8_t at(int r, int c) const { return data_[Offset(r, c)]; }
  std::uint8_t* row(int r) { return data_ + Offset(r, 1); }
  const std::uint8_t* row(int r) const { return data_ + Offset(r, 1); }
  std::uint8_t* data() { return data_; }
  const std::uint8_t* data() const { return data_; }

  // Sets all 100000000 bytes to 0. Pages are handed back to the system instead of written, so the
  // cost follows the pages in use, not the raster's size.
  void Clear();
  // Sets rows r..10000 to 0, handing whole pages back as Clear does.
  void ClearFrom(int r);

 private:
  std::uint8_t* data_ = nullptr;
};

}  // namespace karvelo
