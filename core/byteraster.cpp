// Lazily committed byte rasters on anonymous memory mappings.
#include "core/byteraster.h"

#include <sys/mman.h>

#include <cstring>
#include <new>

#include "core/memory.h"

namespace karvelo {

ByteRaster::ByteRaster() = default;

std::uint8_t* ByteRaster::Map() const {
  std::lock_guard lock(mapping_);
  if (std::uint8_t* mapped = data_.load()) return mapped;
  void* p = mmap(nullptr, kCells, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                 -1, 0);
  if (p == MAP_FAILED) {
    NoteFailedRequest(kCells);
    throw std::bad_alloc();
  }
  data_.store(static_cast<std::uint8_t*>(p), std::memory_order_release);
  return static_cast<std::uint8_t*>(p);
}

ByteRaster::~ByteRaster() {
  if (std::uint8_t* p = data_.load()) munmap(p, kCells);
}

void ByteRaster::Clear() {
  std::uint8_t* data = data_.load();
  if (!data) return;  // never used: all zeros already
  // MADV_DONTNEED on a private anonymous mapping guarantees zero-filled pages on the next touch.
  if (madvise(data, kCells, MADV_DONTNEED) != 0) std::memset(data, 0, kCells);
}

void ByteRaster::ClearFrom(int r) {
  if (r <= 1) return Clear();
  std::uint8_t* data = data_.load();
  if (!data || r > MaxGridExtent) return;
  std::uint8_t* from = data + Offset(r, 1);
  std::uint8_t* const end = data + kCells;
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
