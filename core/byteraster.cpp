// Lazily committed byte rasters on anonymous memory mappings.
#include "core/byteraster.h"

#include <sys/mman.h>

#include <cstring>
#include <new>

namespace karvelo {

ByteRaster::ByteRaster() {
  void* p = mmap(nullptr, kCells, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                 -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  data_ = static_cast<std::uint8_t*>(p);
}

ByteRaster::~ByteRaster() { munmap(data_, kCells); }

void ByteRaster::Clear() {
  // MADV_DONTNEED on a private anonymous mapping guarantees zero-filled pages on the next touch.
  if (madvise(data_, kCells, MADV_DONTNEED) != 0) std::memset(data_, 0, kCells);
}

void ByteRaster::ClearFrom(int r) {
  if (r <= 1) return Clear();
  if (r > MaxGridExtent) return;
  std::uint8_t* from = data_ + Offset(r, 1);
  std::uint8_t* const end = data_ + kCells;
  // The bytes up to the next page boundary are written; the whole pages after it are handed back.
  const std::uintptr_t page = 4096;
  std::uint8_t* aligned = reinterpret_cast<std::uint8_t*>((reinterpret_cast<std::uintptr_t>(from) + page - 1) & ~(page - 1));
  if (aligned > end) aligned = end;
  std::memset(from, 0, static_cast<std::size_t>(aligned - from));
  if (aligned < end && madvise(aligned, static_cast<std::size_t>(end - aligned), MADV_DONTNEED) != 0) {
    std::memset(aligned, 0, static_cast<std::size_t>(end - aligned));
  }
}

}  // namespace karvelo
