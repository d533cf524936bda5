// The lookup's one reading of a map, which the gain and the statistics beside the AUC then take
// instead of reading the map again.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/datadef.h"
#include "core/shell.h"
#include "validation/mapvalues.h"
#include "validation/valrecords.h"

namespace karvelo {

// What one reading of a map gave.
struct MapReading {
  std::vector<double> atCells;           // the value at each cell asked, as the file holds it
  std::optional<MapValueCounts> counts;  // the cells per value; nothing when they needed bins
  // Every row was one line of the file: a reader that walks the file line by line (the lookup's)
  // meets the same values.
  bool rowsAreLines = true;
};

// Reads the map once as ScanData reads it (minvalue and maxvalue set as it sets them, the gauge
// moved per row, the same errors), taking the values at `cells` (row-major indexes, ascending,
// repeats allowed) and counting the values as SampleMapFile counts them while they stay exact.
MapReading ReadMapOnce(TDataDef& map, const std::vector<std::size_t>& cells, Shell& shell,
                       std::size_t maxDistinct = kMaxDistinctValues);

// The values at `cells` (row-major indexes, any order) as SampleMapFile gives them (NaN for a cell
// without a value or outside the map), reading the map only down to the last row asked.
std::vector<double> ValuesAtCells(const TDataDef& map, const std::vector<std::size_t>& cells, Shell& shell);

// What the lookup keeps of its reading for the evaluation: the exact cells per value and, per
// record it kept, its value at full precision; with the file as it was read, so that a map
// written anew since is read anew.
struct MapDigest {
  std::string file;
  std::uintmax_t bytes = 0;
  std::filesystem::file_time_type written{};
  int ncols = 0, nrows = 0;
  double xllcorner = 0, yllcorner = 0, cellsize = 0, nodata = 0;
  MapValueCounts counts;
  std::vector<double> values;
};

// An empty digest of the map's file and header as they are now; nothing when the file cannot be
// looked at.
std::optional<MapDigest> DigestOfFile(const TDataDef& map);

// The records' digest when it describes `map` as its file is now and the records as they are.
const MapDigest* DigestFor(const ValidationRecords& records, const TDataDef& map);

// The digest's sample of the map at the records' cells followed by `moreCells` (read from the map).
MapSample SampleOfDigest(const MapDigest& digest, const TDataDef& map, const std::vector<std::size_t>& moreCells,
                         Shell& shell);

}  // namespace karvelo
