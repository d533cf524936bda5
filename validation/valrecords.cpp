// Typed validation records.
#include "validation/valrecords.h"

#include <cstring>

#include "core/numfmt.h"

namespace karvelo {

namespace {

constexpr double kNoNumber = std::numeric_limits<double>::quiet_NaN();

double NumberOf(std::string_view text) {
  const auto v = ParseReal(Trimmed(text));
  return v ? *v : kNoNumber;
}

}  // namespace

void ValidationRecords::clear() {
  header.clear();
  std::vector<Rec>().swap(recs_);
  std::string().swap(arena_);
  lookedUp = false;
  released_ = false;
  lookup = {};
  mapDigest.reset();
}

void ValidationRecords::reserve(std::size_t n, std::size_t textBytes) {
  recs_.reserve(n);
  arena_.reserve(textBytes);
}

void ValidationRecords::Add(std::uint32_t line, std::string_view x, std::string_view y, std::string_view code) {
  const auto at = static_cast<std::uint32_t>(arena_.size());
  for (std::string_view t : {x, y, code}) {
    arena_.append(t);
    arena_.push_back('\0');
  }
  recs_.push_back({NumberOf(x), NumberOf(y), NumberOf(code), kNoNumber, at, line});
}

std::string_view ValidationRecords::XText(std::size_t i) const {
  if (released_) return {};
  return arena_.data() + recs_[i].text;
}

std::string_view ValidationRecords::YText(std::size_t i) const {
  if (released_) return {};
  const std::string_view x = XText(i);
  return x.data() + x.size() + 1;
}

std::string_view ValidationRecords::CodeText(std::size_t i) const {
  if (released_) return {};
  const std::string_view y = YText(i);
  return y.data() + y.size() + 1;
}

void ValidationRecords::Reorder(std::vector<std::uint32_t> order, const std::function<void()>& poll) {
  // Follows each cycle of the permutation once, so no second copy of the records is made; a place
  // already filled is marked done.
  const std::uint32_t done = std::numeric_limits<std::uint32_t>::max();
  mapDigest.reset();
  std::size_t moved = 0;
  for (std::size_t start = 0; start < order.size(); ++start) {
    if (order[start] == done || order[start] == start) continue;
    const Rec first = recs_[start];
    std::size_t at = start;
    while (order[at] != start) {
      const std::size_t from = order[at];
      recs_[at] = recs_[from];
      order[at] = done;
      at = from;
      // Half-way through a cycle one record is held apart: stopped here, the records are no whole.
      if (poll && (++moved & 0xFFFF) == 0) {
        try {
          poll();
        } catch (...) {
          clear();
          throw;
        }
      }
    }
    recs_[at] = first;
    order[at] = done;
  }
}

void ValidationRecords::Keep(const std::vector<bool>& keep) {
  mapDigest.reset();
  std::size_t to = 0;
  for (std::size_t i = 0; i < recs_.size(); ++i) {
    if (keep[i]) recs_[to++] = recs_[i];
  }
  recs_.resize(to);
}

}  // namespace karvelo
