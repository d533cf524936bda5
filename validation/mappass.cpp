// One reading of a map for the lookup, the gain and the statistics beside the AUC.
#include "validation/mappass.h"

#include <algorithm>
#include <limits>
#include <numeric>

#include "core/gridrows.h"
#include "validation/lookup.h"

namespace karvelo {

MapReading ReadMapOnce(TDataDef& def, const std::vector<std::size_t>& cells, Shell& shell, std::size_t maxDistinct) {
  MapReading out;
  // The range starts where ScanData starts it, so that a map of no value or of huge values
  // leaves the range ScanData leaves.
  def.minvalue = 1000000000;
  def.maxvalue = -1000000000;
  GridRows rows(def, shell.run().Pool());
  shell.gaugeRange(0, def.nrows);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  RowValueCounter counter(maxDistinct, nan, nan);
  bool counting = true;
  out.atCells.assign(cells.size(), nan);
  const double nodata = def.NODATA_value;
  const auto ncols = static_cast<std::size_t>(std::max(def.ncols, 0));
  double lo = def.minvalue, hi = def.maxvalue;
  std::size_t next = 0;
  for (int r = 1; r <= def.nrows; ++r) {
    const double* row = rows.Next();
    for (std::size_t c = 0; c < ncols; ++c) {
      const double v = row[c];
      if (v < lo && v != nodata) lo = v;
      if (v > hi && v != nodata) hi = v;
    }
    const std::size_t first = static_cast<std::size_t>(r - 1) * ncols, end = first + ncols;
    for (; next < cells.size() && cells[next] < end; ++next) {
      if (cells[next] >= first) out.atCells[next] = row[cells[next] - first];
    }
    if (counting) {
      counter.AddRow(row, ncols, nodata);
      counting = !counter.Binned();  // bins are not what SampleMapFile gives: its own pass makes them
    }
    shell.row(r);
  }
  def.minvalue = lo;
  def.maxvalue = hi;
  if (def.maxvalue == def.minvalue) def.maxvalue = def.minvalue + 1;
  out.rowsAreLines = !rows.UsedPlainReader();
  if (counting) out.counts = counter.Finish();
  return out;
}

std::vector<double> ValuesAtCells(const TDataDef& map, const std::vector<std::size_t>& cells, Shell& shell) {
  std::vector<double> out(cells.size(), std::numeric_limits<double>::quiet_NaN());
  const auto ncols = static_cast<std::size_t>(std::max(map.ncols, 0));
  const auto nrows = static_cast<std::size_t>(std::max(map.nrows, 0));
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (ncols > 0 && cells[i] / ncols < nrows) order.push_back(i);
  }
  if (order.empty()) return out;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return cells[a] < cells[b]; });
  const std::size_t lastRow = cells[order.back()] / ncols;
  const double nodata = map.NODATA_value;
  GridRows rows(map, shell.run().Pool());
  std::size_t next = 0;
  for (std::size_t r = 0; r <= lastRow; ++r) {
    shell.run().ThrowIfCancelled();
    const double* row = rows.Next();
    const std::size_t end = (r + 1) * ncols;
    for (; next < order.size() && cells[order[next]] < end; ++next) {
      const double v = NoDataBand(row[cells[order[next]] - r * ncols], nodata);
      if (v != nodata) out[order[next]] = v;
    }
  }
  return out;
}

std::optional<MapDigest> DigestOfFile(const TDataDef& map) {
  MapDigest d;
  std::error_code ec;
  d.file = map.FileName;
  d.bytes = std::filesystem::file_size(map.FileName, ec);
  if (ec) return std::nullopt;
  d.written = std::filesystem::last_write_time(map.FileName, ec);
  if (ec) return std::nullopt;
  d.ncols = map.ncols;
  d.nrows = map.nrows;
  d.xllcorner = map.xllcorner;
  d.yllcorner = map.yllcorner;
  d.cellsize = map.cellsize;
  d.nodata = map.NODATA_value;
  return d;
}

const MapDigest* DigestFor(const ValidationRecords& records, const TDataDef& map) {
  const MapDigest* d = records.mapDigest.get();
  if (!d || !records.lookedUp || d->values.size() != records.size()) return nullptr;
  const std::optional<MapDigest> now = DigestOfFile(map);
  if (!now || now->file != d->file || now->bytes != d->bytes || now->written != d->written) return nullptr;
  if (now->ncols != d->ncols || now->nrows != d->nrows || now->xllcorner != d->xllcorner ||
      now->yllcorner != d->yllcorner || now->cellsize != d->cellsize || now->nodata != d->nodata) {
    return nullptr;
  }
  return d;
}

MapSample SampleOfDigest(const MapDigest& digest, const TDataDef& map, const std::vector<std::size_t>& moreCells,
                         Shell& shell) {
  MapSample out;
  out.counts = digest.counts;
  out.atCells = digest.values;
  if (!moreCells.empty()) {
    const std::vector<double> more = ValuesAtCells(map, moreCells, shell);
    out.atCells.insert(out.atCells.end(), more.begin(), more.end());
  }
  return out;
}

}  // namespace karvelo
