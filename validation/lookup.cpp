// Map values at validation points.
#include "validation/lookup.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "core/errors.h"
#include "core/gridfile.h"
#include "core/outputnames.h"
#include "core/numfmt.h"
#include "core/textwriter.h"
#include "validation/mappass.h"

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

namespace {

// The plain map beside a mean map of the uncertainty run, when it covers the same cells: where
// the mean map has no value and the plain map has one, the evidence filter removed the cell.
std::optional<TDataDef> PlainMapBeside(const std::filesystem::path& mapFile, const TDataDef& map) {
  if (mapFile.filename() != kMeanMapFile) return std::nullopt;
  std::error_code ec;
  const std::filesystem::path plain = mapFile.parent_path() / kBayesMapFile;
  if (!std::filesystem::is_regular_file(plain, ec)) return std::nullopt;
  TDataDef def;
  def.FileName = plain.string();
  SilentShell quiet;
  try {
    if (!ReadHeader(def, quiet)) return std::nullopt;
  } catch (const FileError&) {
    return std::nullopt;
  }
  if (def.ncols != map.ncols || def.nrows != map.nrows || def.xllcorner != map.xllcorner ||
      def.yllcorner != map.yllcorner || def.cellsize != map.cellsize) {
    return std::nullopt;
  }
  return def;
}

}  // namespace

namespace {

// A record's cell on the map, for a reading of the map in (row, column) order.
struct Visit {
  std::uint32_t row, col, record;
};

// The cells of the records that lie on the map, in (row, column) order; the others are counted.
std::vector<Visit> VisitsOf(const TDataDef& map, const ValidationRecords& records, ValidationRecords::LookupCounts& counts,
                            Shell& shell) {
  std::vector<Visit> visits;
  const std::size_t n = records.size();
  visits.reserve(n);
  const double east = map.xllcorner + map.ncols * map.cellsize;
  const double north = map.yllcorner + map.nrows * map.cellsize;
  for (std::size_t i = 0; i < n; ++i) {
    if ((i & 4095) == 4095) shell.run().ThrowIfCancelled();
    if (!records.HasPosition(i)) {
      ++counts.noNumber;
      continue;
    }
    const double x = records.X(i), y = records.Y(i);
    const GridCell cell = CellOf(map, x, y);
    // Rounding can put a point a hair inside an edge onto the cell beyond it: that is off the map.
    if (!between(x, map.xllcorner, east) || !between(y, map.yllcorner, north) || cell.row < 1 || cell.row > map.nrows ||
        cell.col < 1 || cell.col > map.ncols) {
      ++counts.outside;
      continue;
    }
    visits.push_back({static_cast<std::uint32_t>(cell.row), static_cast<std::uint32_t>(cell.col), static_cast<std::uint32_t>(i)});
  }
  std::sort(visits.begin(), visits.end(), [](const Visit& a, const Visit& b) {
    if (a.row != b.row) return a.row < b.row;
    return a.col != b.col ? a.col < b.col : a.record < b.record;
  });
  return visits;
}

}  // namespace

void LookUpPredictiveMap(TDataDef& map, const std::filesystem::path& mapFile, bool asciiGrid, ValidationRecords& records,
                         Shell& shell) {
  map.FileName = mapFile.string();
  map.GridFileType = asciiGrid ? TGridFileType::asciigrid : TGridFileType::notgrid;
  shell.status2("... Reading file header ...");
  const bool headerRead = ReadHeader(map, shell);
  const std::size_t n = records.size();
  ValidationRecords::LookupCounts counts;
  counts.mapName = mapFile.filename().string();
  // Each record's cell, then the map read once in (row, column) order.
  std::vector<Visit> visits = VisitsOf(map, records, counts, shell);
  // An ASCII grid is read once, as the scan reads it: its range, the values at the records'
  // cells and the cells per value, which the gain and the statistics beside the AUC take.
  std::optional<MapReading> reading;
  std::optional<MapDigest> digest;
  if (headerRead) {
    map.NrClasses = 0;
    shell.status2("... Scanning file ...");
    if (map.GridFileType == TGridFileType::asciigrid) {
      digest = DigestOfFile(map);
      std::vector<std::size_t> cells(visits.size());
      const auto ncols = static_cast<std::size_t>(map.ncols);
      for (std::size_t k = 0; k < visits.size(); ++k) cells[k] = (visits[k].row - std::size_t{1}) * ncols + visits[k].col - 1;
      reading = ReadMapOnce(map, cells, shell);
      // A row over several lines reads otherwise line by line: the walk below reads it so.
      if (!reading->rowsAreLines) reading.reset();
    } else {
      ScanData(map, shell);
    }
    shell.refresh();
  }
  if (!reading || !reading->counts) digest.reset();
  records.lookedUp = false;
  shell.log("Predictive map loaded: " + mapFile.string());
  shell.status2("... Looking up grid values at validation points ...");
  shell.gaugeRange(0, static_cast<int>(std::min<std::size_t>(n, 1u << 30)));
  shell.gaugeProgress(0);

  std::vector<bool> keep(n, false);
  std::vector<double> fullValues(digest ? n : 0);
  const std::optional<TDataDef> plain = PlainMapBeside(mapFile, map);
  {
    std::optional<MapWalk> walk;
    if (!reading) walk.emplace(map);
    std::optional<MapWalk> plainWalk;
    if (plain) plainWalk.emplace(*plain);
    std::size_t done = 0;
    for (std::size_t k = 0; k < visits.size(); ++k) {
      const Visit& v = visits[k];
      if ((++done & 4095) == 0) shell.row(static_cast<int>(std::min<std::size_t>(done, 1u << 30)));
      const double raw = walk ? walk->ValueAt(v.row, v.col) : reading->atCells[k];
      const double value = NoDataBand(raw, map.NODATA_value);
      if (value != map.NODATA_value) {
        keep[v.record] = true;
        if (digest) fullValues[v.record] = value;
        // The evaluation counts the value "ValDataComplete.txt" holds, so that it gives what a
        // reading of that file gives.
        records.SetValue(v.record, ParseReal(MapValueText(value)).value_or(value));
        continue;
      }
      if (plainWalk && NoDataBand(plainWalk->ValueAt(v.row, v.col), plain->NODATA_value) != plain->NODATA_value) {
        ++counts.filtered;
        counts.filteredCodes.push_back(records.Code(v.record));
      } else if (raw == map.NODATA_value) {
        ++counts.noData;
      } else {
        ++counts.nearNoData;
      }
    }
  }
  visits = {};
  records.Keep(keep);
  if (digest) {
    std::size_t to = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (keep[i]) fullValues[to++] = fullValues[i];
    }
    fullValues.resize(to);
    digest->counts = std::move(*reading->counts);
    digest->values = std::move(fullValues);
    records.mapDigest = std::make_shared<const MapDigest>(std::move(*digest));
  }
  reading.reset();
  counts.kept = static_cast<long long>(records.size());
  if (plain) counts.plainMapName = kBayesMapFile;
  records.lookup = std::move(counts);
  records.lookedUp = true;
  shell.gaugeProgress(static_cast<int>(std::min<std::size_t>(n + records.header.size(), 1u << 30)));
  shell.log("Values at validation points were looked up in <" + mapFile.string() + ">");

  shell.status2("... Saving validation data to <ValDataComplete.txt> ...");
  const int first = static_cast<int>(records.header.size());
  shell.gaugeRange(0, static_cast<int>(std::min<std::size_t>(first + records.size(), 1u << 30)) - 1);
  shell.gaugeProgress(first);
  TextWriter out(shell.run().Output(kValidationRecordsFile));
  std::string line;
  for (std::size_t i = 0; i < records.size(); ++i) {
    line.assign(records.XText(i)).append(" ").append(records.YText(i)).append(" ").append(records.CodeText(i)).append(" ");
    line.append(MapValueText(records.Value(i))).append(" ");
    out.WriteLine(line);
    if ((i & 4095) == 4095) shell.row(static_cast<int>(std::min<std::size_t>(first + i, 1u << 30)));
  }
  out.Close();
  shell.log("Complete validation data set was saved to <ValDataComplete.txt>;");
  shell.log("Validation locations with NoData values in predictive map were deleted.");
  shell.log(LookupReportLine(records));
  shell.status2("(idle)");
  shell.gaugeProgress(0);
}

std::string LookupReportLine(const ValidationRecords& records) {
  const ValidationRecords::LookupCounts& c = records.lookup;
  const long long dropped = c.noNumber + c.outside + c.noData + c.nearNoData + c.filtered;
  const long long all = c.kept + dropped;
  if (dropped == 0) return "Lookup in " + c.mapName + ": all " + std::to_string(all) + " validation records kept";
  std::string text = "Lookup in " + c.mapName + ": " + std::to_string(c.kept) + " of " + std::to_string(all) +
                     " validation records kept, " + std::to_string(dropped) + " dropped:";
  const char* sep = " ";
  auto reason = [&](long long count, const std::string& why) {
    if (count == 0) return;
    text += sep + std::to_string(count) + " " + why;
    sep = ", ";
  };
  reason(c.noNumber, "with an X or Y that is no number");
  reason(c.outside, "outside the map");
  reason(c.noData, "on no-data cells");
  reason(c.nearNoData, "within 0.1 % of the no-data value");
  reason(c.filtered, "on cells removed by the evidence filter (a value in " + c.plainMapName + ", none in " + c.mapName + ")");
  return text;
}

void FillValDataTable(const ValidationRecords& records, TextGrid& table) {
  const int first = static_cast<int>(records.header.size());
  // Before a lookup a table without records ends in one empty row, as the import leaves it.
  const int rows = first + static_cast<int>(records.size()) + (!records.lookedUp && records.empty() ? 1 : 0);
  table.SetSize(4, 0);
  table.SetSize(4, rows);
  for (int h = 0; h < first; ++h) {
    const ValidationRecords::HeaderRow& row = records.header[static_cast<std::size_t>(h)];
    table.SetRow(h, {row.x, row.y, row.code});
  }
  if (records.lookedUp && first > 0) table.SetCell(3, 0, "DataGridfile");
  for (std::size_t i = 0; i < records.size(); ++i) {
    std::vector<std::string> cells = {std::string(records.XText(i)), std::string(records.YText(i)), std::string(records.CodeText(i))};
    if (records.lookedUp) cells.push_back(MapValueText(records.Value(i)));
    table.SetRow(first + static_cast<int>(i), cells);
  }
  table.fixedRows = first;
}

}  // namespace karvelo
