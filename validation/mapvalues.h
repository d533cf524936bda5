// The distribution of a map's values over its cells, and its values at chosen cells, from one pass.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "core/datadef.h"
#include "core/shell.h"

namespace karvelo {

// The cells per value of a map, ascending. Exact (every distinct value) unless the map holds more
// distinct values than the counting keeps apart; then `binned`: each entry is a bin of equal width
// over the map's range, standing for its cells at the lowest value met in it, so that the cells at
// or above a bin's value are still exact and a threshold inside a bin misses at most that bin's cells.
struct MapValueCounts {
  std::vector<double> value;
  std::vector<long long> cells;
  std::vector<long long> atOrAbove;  // cells of entry i and every entry above it
  long long total = 0;
  bool binned = false;

  // Cells with a value >= t.
  long long CellsAtOrAbove(double t) const;
  // Cells with a value > t.
  long long CellsAbove(double t) const;
  // Their share of the cells with a value (0 for a map without one).
  double AreaAtOrAbove(double t) const;
  double Lowest() const { return value.front(); }
  double Highest() const { return value.back(); }
  bool Empty() const { return total == 0; }
};

inline constexpr std::size_t kMaxDistinctValues = std::size_t{1} << 21;
inline constexpr std::size_t kValueBins = std::size_t{1} << 20;

// Counts the values given (a test's or a small map's cells); NaN counts as no value.
MapValueCounts CountValues(const std::vector<double>& values, std::size_t maxDistinct = kMaxDistinctValues);

class ValueCounter;

// The counting of SampleMapFile, fed row by row, for a reading of the map that does more besides.
class RowValueCounter {
 public:
  // lowest and highest: the map's range, where the bins go should the values need them.
  RowValueCounter(std::size_t maxDistinct, double lowest, double highest);
  ~RowValueCounter();
  RowValueCounter(const RowValueCounter&) = delete;
  RowValueCounter& operator=(const RowValueCounter&) = delete;
  // The row's values, no-data (and values within 0.1% of it) left out.
  void AddRow(const double* row, std::size_t n, double nodata);
  // True once the distinct values overflowed the table: the counts are bins from then on.
  bool Binned() const;
  MapValueCounts Finish();

 private:
  std::unique_ptr<ValueCounter> counter_;
};

// The values at the map's cells `cells` (row-major indexes (row - 1) x ncols + column - 1), in the
// order asked; NaN for a cell without a value or outside the map.
struct MapSample {
  MapValueCounts counts;
  std::vector<double> atCells;
};

// One pass over the map file (its header read into `map`; minvalue and maxvalue, its range, place
// the bins should the values need them): the
// counts of its values (no-data, and values within 0.1% of it, left out) and its values at `cells`,
// full precision as the file holds them. Throws FileError for a map the grid reader refuses.
MapSample SampleMapFile(const TDataDef& map, const std::vector<std::size_t>& cells, Shell& shell,
                        std::size_t maxDistinct = kMaxDistinctValues);

}  // namespace karvelo
