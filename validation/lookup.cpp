// Map values at validation points.
#include "validation/lookup.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "core/gridfile.h"
#include "core/numfmt.h"
#include "core/textwriter.h"

namespace karvelo {

namespace {

// Walks the map forward only: rows by line, values within the row.
class MapWalk {
 public:
  explicit MapWalk(const TDataDef& map) : reader_(map), nodata_(map.NODATA_value) { reader_.SkipHeader(); }

  // The value of cell (r, c); a cell already reached gives the value read last.
  double ValueAt(long long r, long long c) {
    if (ended_) return nodata_;
    bool skipped = false;
    while (row_ < r) {
      if (!reader_.ReadLine()) return End();
      ++row_;
      skipped = true;
    }
    if (skipped) read_ = 0;
    while (read_ < c) {
      if (reader_.AtEnd()) return End();
      last_ = reader_.ReadValue();
      ++read_;
    }
    return last_;
  }

 private:
  double End() {
    ended_ = true;
    return nodata_;
  }
  GridReader reader_;
  double nodata_;
  long long row_ = 1, read_ = 0;
  double last_ = 0;
  bool ended_ = false;
};

}  // namespace

double NoDataBand(double v, double nodata) { return between(v, 0.999 * nodata, 1.001 * nodata) ? nodata : v; }

bool between(double z, double value1, double value2) {
  return (z > value1 && z < value2) || (z > value2 && z < value1);
}

namespace {

// A header with an infinite cell size gives no number at all; converting that to an integer is
// undefined. Such a position, or one beyond any integer, lies past the map's last cell.
long long CellIndex(double v) {
  if (!(std::fabs(v) < 9.0e18)) return std::numeric_limits<long long>::max();
  return static_cast<long long>(v);
}

}  // namespace

GridCell CellOf(const TDataDef& m, double x, double y) {
  const double c = RoundHalfEven((x - m.xllcorner + m.cellsize / 2) / m.cellsize);
  const double r = RoundHalfEven((m.cellsize / 2 + m.yllcorner - y) / m.cellsize + m.nrows);
  return {CellIndex(r), CellIndex(c)};
}

std::string MapValueText(double v) { return FixedInWidth(v, 7, 10); }

void LookUpPredictiveMap(TDataDef& map, const std::filesystem::path& mapFile, bool asciiGrid,
                         const ValidationFile& file, TextGrid& table, Shell& shell) {
  map.FileName = mapFile.string();
  map.GridFileType = asciiGrid ? TGridFileType::asciigrid : TGridFileType::notgrid;
  shell.status2("... Reading file header ...");
  if (ReadHeader(map, shell)) {
    map.NrClasses = 0;
    shell.status2("... Scanning file ...");
    ScanData(map, shell);
    shell.refresh();
  }
  shell.log("Predictive map loaded: " + mapFile.string());
  shell.status2("... Looking up grid values at validation points ...");
  shell.gaugeRange(0, file.ValLineCount);
  shell.gaugeProgress(0);

  // Each record's cell, then the map walked once in (row, column) order.
  const int first = file.ValHeaderLines;
  struct Visit {
    long long row, col;
    int record;
  };
  std::vector<Visit> visits;
  std::vector<double> values(static_cast<std::size_t>(std::max(0, table.RowCount() - first)), map.NODATA_value);
  const double east = map.xllcorner + map.ncols * map.cellsize;
  const double north = map.yllcorner + map.nrows * map.cellsize;
  for (int q = first; q < table.RowCount(); ++q) {
    const auto x = ParseReal(Trimmed(table.Cell(0, q))), y = ParseReal(Trimmed(table.Cell(1, q)));
    if (!x || !y) continue;
    if (!between(*x, map.xllcorner, east) || !between(*y, map.yllcorner, north)) continue;
    const GridCell cell = CellOf(map, *x, *y);
    // Rounding can put a point a hair inside an edge onto the cell beyond it: that is off the map.
    if (cell.row < 1 || cell.row > map.nrows || cell.col < 1 || cell.col > map.ncols) continue;
    visits.push_back({cell.row, cell.col, q - first});
  }
  std::stable_sort(visits.begin(), visits.end(),
                   [](const Visit& a, const Visit& b) { return a.row != b.row ? a.row < b.row : a.col < b.col; });
  {
    MapWalk walk(map);
    for (const Visit& v : visits) values[static_cast<std::size_t>(v.record)] = NoDataBand(walk.ValueAt(v.row, v.col), map.NODATA_value);
  }

  // Values in, records without a value out, in the table's own order.
  // The kept rows are moved up, not copied: a million records are not held twice.
  std::vector<int> kept;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (values[i] != map.NODATA_value) kept.push_back(static_cast<int>(i));
  }
  table.ReorderRows(first, kept);
  table.SetRowCount(first + static_cast<int>(kept.size()));
  for (std::size_t i = 0; i < kept.size(); ++i) {
    table.SetCell(3, first + static_cast<int>(i), MapValueText(values[static_cast<std::size_t>(kept[i])]));
  }
  shell.gaugeProgress(static_cast<int>(values.size()) + first);
  if (first > 0) table.SetCell(3, 0, "DataGridfile");
  shell.log("Values at validation points were looked up in <" + mapFile.string() + ">");

  shell.status2("... Saving validation data to <ValDataComplete.txt> ...");
  shell.gaugeRange(0, table.RowCount() - 1);
  shell.gaugeProgress(first);
  TextWriter out(shell.run().Output("ValDataComplete.txt"));
  for (int r = first; r < table.RowCount(); ++r) {
    std::string line;
    for (int c = 0; c < 4; ++c) line += table.Cell(c, r) + " ";
    out.WriteLine(line);
    shell.row(r);
  }
  out.Close();
  shell.log("Complete validation data set was saved to <ValDataComplete.txt>;");
  shell.log("Validation locations with NoData values in predictive map were deleted.");
  shell.status2("(idle)");
  shell.gaugeProgress(0);
}

}  // namespace karvelo
