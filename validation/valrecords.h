// The validation records of a points file: each record's texts as written and its numbers, read once.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace karvelo {

struct MapDigest;

// Ten million records must fit in well under a gigabyte, so a record is five numbers and the
// place of its texts: the texts of all records lie in one arena, each field ended by a zero byte
// (a record line holds only digits, signs, points and separators, so no field holds one).
class ValidationRecords {
 public:
  // The words of one header line in the X, Y and code columns.
  struct HeaderRow {
    std::string x, y, code;
  };
  std::vector<HeaderRow> header;

  std::size_t size() const { return recs_.size(); }
  bool empty() const { return recs_.empty(); }
  void clear();
  // Room for n records of textBytes bytes of text in all.
  void reserve(std::size_t n, std::size_t textBytes);
  // Bytes held by the records and their texts.
  std::size_t bytes() const { return recs_.capacity() * sizeof(Rec) + arena_.capacity(); }

  // Adds a record from line `line` of the file; the numbers are parsed here, once.
  void Add(std::uint32_t line, std::string_view x, std::string_view y, std::string_view code);

  // NaN where the text is no number.
  double X(std::size_t i) const { return recs_[i].x; }
  double Y(std::size_t i) const { return recs_[i].y; }
  double Code(std::size_t i) const { return recs_[i].code; }
  bool HasPosition(std::size_t i) const { return !std::isnan(recs_[i].x) && !std::isnan(recs_[i].y); }
  std::uint32_t Line(std::size_t i) const { return recs_[i].line; }
  std::string_view XText(std::size_t i) const;
  std::string_view YText(std::size_t i) const;
  std::string_view CodeText(std::size_t i) const;

  // The map value the lookup gave the record (NaN before a lookup).
  double Value(std::size_t i) const { return recs_[i].value; }
  void SetValue(std::size_t i, double v) { recs_[i].value = v; }
  bool lookedUp = false;

  // What the last lookup kept and dropped, and why.
  struct LookupCounts {
    long long kept = 0, noNumber = 0, outside = 0, noData = 0, nearNoData = 0, filtered = 0;
    std::vector<double> filteredCodes;  // the codes of the records on cells the evidence filter removed
    std::string mapName, plainMapName;  // the map looked up, and the plain map that showed the filtered cells
  } lookup;
  // What the lookup's reading of the map keeps for the evaluation (validation/mappass.h); any
  // change to the records drops it.
  std::shared_ptr<const MapDigest> mapDigest;

  // Puts the records in the order of `order` (record i gets the one that was at order[i]), in place.
  // `poll` is called now and then (it may throw to stop; the records are then cleared).
  void Reorder(std::vector<std::uint32_t> order, const std::function<void()>& poll = {});
  // Frees the texts where only the numbers are needed any more; the texts are empty from then on.
  void ReleaseTexts() {
    std::string().swap(arena_);  // assigning an empty string would keep the capacity
    released_ = true;
  }
  // Keeps the records whose flag is set, in their order.
  void Keep(const std::vector<bool>& keep);

 private:
  struct Rec {
    double x, y, code, value;
    std::uint32_t text;  // where the X text starts in the arena
    std::uint32_t line;
  };
  std::vector<Rec> recs_;
  std::string arena_;
  bool released_ = false;
};

}  // namespace karvelo
