// Counting a map's distinct values in one pass: an open-addressing table, bins once it overflows.
#include "validation/mapvalues.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>

#include "core/gridrows.h"
#include "validation/lookup.h"

namespace karvelo {

// Counts per distinct value. A probability map of classed evidence holds few distinct values and
// long runs of one value along a row: the last value is kept aside, and the table stays small.
class ValueCounter {
 public:
  ValueCounter(std::size_t maxDistinct, double lowest, double highest)
      : maxDistinct_(std::max<std::size_t>(maxDistinct, 1)), lowest_(lowest), highest_(highest) {
    Rehash(1024);
  }

  void Add(double v) {
    if (v == last_ && runs_ > 0) {
      ++runs_;
      return;
    }
    Flush();
    last_ = v;
    runs_ = 1;
  }

  bool Binned() const { return binned_; }

  MapValueCounts Finish() {
    Flush();
    MapValueCounts out;
    if (binned_) {
      out.binned = true;
      for (std::size_t b = 0; b < binCells_.size(); ++b) {
        if (binCells_[b] == 0) continue;
        out.value.push_back(binLowest_[b]);
        out.cells.push_back(binCells_[b]);
      }
    } else {
      std::vector<std::pair<double, long long>> entries;
      entries.reserve(used_);
      for (std::size_t i = 0; i < keys_.size(); ++i) {
        if (counts_[i] > 0) entries.emplace_back(std::bit_cast<double>(keys_[i]), counts_[i]);
      }
      std::sort(entries.begin(), entries.end());
      for (const auto& [v, c] : entries) {
        out.value.push_back(v);
        out.cells.push_back(c);
      }
    }
    out.atOrAbove.assign(out.cells.size(), 0);
    long long above = 0;
    for (std::size_t i = out.cells.size(); i-- > 0;) out.atOrAbove[i] = above += out.cells[i];
    out.total = above;
    return out;
  }

 private:
  void Flush() {
    if (runs_ == 0) return;
    if (binned_) {
      AddToBin(last_, runs_);
    } else {
      Insert(last_, runs_);
      if (used_ > maxDistinct_) ToBins();
    }
    runs_ = 0;
  }

  static std::size_t Hash(std::uint64_t key, int shift) { return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> shift); }

  void Insert(double v, long long n) {
    const std::uint64_t key = std::bit_cast<std::uint64_t>(v + 0.0);  // -0.0 and 0.0 are one value
    std::size_t i = Hash(key, shift_);
    const std::size_t mask = keys_.size() - 1;
    while (counts_[i] > 0 && keys_[i] != key) i = (i + 1) & mask;
    if (counts_[i] == 0) {
      keys_[i] = key;
      ++used_;
    }
    counts_[i] += n;
    if (used_ * 2 > keys_.size()) Rehash(keys_.size() * 2);
  }

  void Rehash(std::size_t size) {
    std::vector<std::uint64_t> keys(size, 0);
    std::vector<long long> counts(size, 0);
    const int shift = 64 - std::countr_zero(size);
    for (std::size_t j = 0; j < keys_.size(); ++j) {
      if (counts_[j] == 0) continue;
      std::size_t i = Hash(keys_[j], shift);
      while (counts[i] > 0) i = (i + 1) & (size - 1);
      keys[i] = keys_[j];
      counts[i] = counts_[j];
    }
    keys_.swap(keys);
    counts_.swap(counts);
    shift_ = shift;
  }

  void ToBins() {
    binned_ = true;
    // The bins span the range given and every value met so far: a range that is missing or
    // too narrow would otherwise crowd the map into a few bins.
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (std::size_t i = 0; i < keys_.size(); ++i) {
      if (counts_[i] == 0) continue;
      lo = std::min(lo, std::bit_cast<double>(keys_[i]));
      hi = std::max(hi, std::bit_cast<double>(keys_[i]));
    }
    if (std::isfinite(lowest_) && std::isfinite(highest_) && highest_ > lowest_) {
      lowest_ = std::min(lowest_, lo);
      highest_ = std::max(highest_, hi);
    } else {
      lowest_ = lo;
      highest_ = hi;
    }
    binCells_.assign(kValueBins, 0);
    binLowest_.assign(kValueBins, std::numeric_limits<double>::infinity());
    for (std::size_t i = 0; i < keys_.size(); ++i) {
      if (counts_[i] > 0) AddToBin(std::bit_cast<double>(keys_[i]), counts_[i]);
    }
    keys_ = {};
    counts_ = {};
  }

  void AddToBin(double v, long long n) {
    const double width = highest_ > lowest_ ? (highest_ - lowest_) / static_cast<double>(kValueBins) : 1;
    const double at = std::floor((v - lowest_) / width);
    // A value outside the range the caller gave goes to the nearest end.
    const std::size_t b = !(at > 0) ? 0 : at >= static_cast<double>(kValueBins) ? kValueBins - 1 : static_cast<std::size_t>(at);
    binCells_[b] += n;
    binLowest_[b] = std::min(binLowest_[b], v + 0.0);
  }

  std::size_t maxDistinct_;
  double lowest_, highest_;
  double last_ = 0;
  long long runs_ = 0;
  std::vector<std::uint64_t> keys_;
  std::vector<long long> counts_;
  std::size_t used_ = 0;
  int shift_ = 54;
  bool binned_ = false;
  std::vector<long long> binCells_;
  std::vector<double> binLowest_;
};

RowValueCounter::RowValueCounter(std::size_t maxDistinct, double lowest, double highest)
    : counter_(std::make_unique<ValueCounter>(maxDistinct, lowest, highest)) {}

RowValueCounter::~RowValueCounter() = default;

void RowValueCounter::AddRow(const double* row, std::size_t n, double nodata) {
  for (std::size_t c = 0; c < n; ++c) {
    const double v = NoDataBand(row[c], nodata);
    if (v != nodata) counter_->Add(v);
  }
}

bool RowValueCounter::Binned() const { return counter_->Binned(); }

MapValueCounts RowValueCounter::Finish() { return counter_->Finish(); }

long long MapValueCounts::CellsAtOrAbove(double t) const {
  const auto i = static_cast<std::size_t>(std::lower_bound(value.begin(), value.end(), t) - value.begin());
  return i < atOrAbove.size() ? atOrAbove[i] : 0;
}

long long MapValueCounts::CellsAbove(double t) const {
  const auto i = static_cast<std::size_t>(std::upper_bound(value.begin(), value.end(), t) - value.begin());
  return i < atOrAbove.size() ? atOrAbove[i] : 0;
}

double MapValueCounts::AreaAtOrAbove(double t) const {
  return total > 0 ? static_cast<double>(CellsAtOrAbove(t)) / static_cast<double>(total) : 0;
}

MapValueCounts CountValues(const std::vector<double>& values, std::size_t maxDistinct) {
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (double v : values) {
    if (std::isnan(v)) continue;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  ValueCounter counter(maxDistinct, lo, hi);
  for (double v : values) {
    if (!std::isnan(v)) counter.Add(v);
  }
  return counter.Finish();
}

MapSample SampleMapFile(const TDataDef& map, const std::vector<std::size_t>& cells, Shell& shell, std::size_t maxDistinct) {
  // The cells asked for, in the order the pass meets them.
  std::vector<std::size_t> order(cells.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return cells[a] < cells[b]; });
  MapSample out;
  out.atCells.assign(cells.size(), std::numeric_limits<double>::quiet_NaN());
  ValueCounter counter(maxDistinct, map.minvalue, map.maxvalue);
  const double nodata = map.NODATA_value;
  GridRows rows(map, shell.run().Pool());
  const auto ncols = static_cast<std::size_t>(map.ncols);
  std::size_t next = 0;
  for (int r = 0; r < map.nrows; ++r) {
    shell.run().ThrowIfCancelled();
    const double* row = rows.Next();
    const std::size_t first = static_cast<std::size_t>(r) * ncols, end = first + ncols;
    for (; next < order.size() && cells[order[next]] < end; ++next) {
      const std::size_t at = cells[order[next]];
      if (at < first) continue;  // cannot happen: the order is ascending
      const double v = NoDataBand(row[at - first], nodata);
      if (v != nodata) out.atCells[order[next]] = v;
    }
    for (std::size_t c = 0; c < ncols; ++c) {
      const double v = NoDataBand(row[c], nodata);
      if (v != nodata) counter.Add(v);
    }
  }
  out.counts = counter.Finish();
  return out;
}

}  // namespace karvelo
