// Looking a probability map up at the validation points, and "ValDataComplete.txt".
#pragma once

#include <filesystem>
#include <string>

#include "core/datadef.h"
#include "core/shell.h"
#include "core/textgrid.h"
#include "validation/valdata.h"
#include "validation/valrecords.h"

namespace karvelo {

// True when z lies strictly between the two values, whichever is larger.
bool between(double z, double value1, double value2);

// Values within 0.1 % of the no-data value count as no data.
double NoDataBand(double v, double nodata);

// The cell (row from the top, column from the left) of point (x, y) on the map, halves to even.
struct GridCell {
  long long row, col;
};
GridCell CellOf(const TDataDef& map, double x, double y);

// The lookup: reads the map's header and range into `map`, gives every record its cell's value
// (records outside, unreadable or on no data are deleted, and counted by reason in
// records.lookup), and writes "ValDataComplete.txt". An ASCII grid is read once, as the scan
// reads it, while the records keep their own order; when its values fit the counting, the cells
// per value and the kept records' values at full precision stay in records.mapDigest for the
// gain and the statistics beside the AUC. A map whose rows run over several lines is walked line
// by line in (row, column) order of the records. A mean map of the uncertainty run with the plain
// map beside it tells the cells the evidence filter removed from the others.
void LookUpPredictiveMap(TDataDef& map, const std::filesystem::path& mapFile, bool asciiGrid, ValidationRecords& records,
                         Shell& shell);

// What the lookup kept and dropped, one line: "Of 155 validation records 152 were kept, 3 dropped: ...".
std::string LookupReportLine(const ValidationRecords& records);

// The record table as the window shows it: the header rows (fixed), then one row per record with
// its texts as written and, after a lookup, the map value and the label "DataGridfile" when
// there are header rows.
void FillValDataTable(const ValidationRecords& records, TextGrid& table);

// The map value as the table and "ValDataComplete.txt" show it: 7 decimals in 10 characters.
std::string MapValueText(double v);

}  // namespace karvelo
