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

}  // namespace karvelo
