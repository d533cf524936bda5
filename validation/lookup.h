// Looking a probability map up at the validation points, and "ValDataComplete.txt".
#pragma once

#include <filesystem>
#include <string>

#include "core/datadef.h"
#include "core/shell.h"
#include "core/textgrid.h"
#include "validation/valdata.h"

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
// (records outside, unreadable or on no data are deleted), labels the new column "DataGridfile"
// when the table has header rows, and writes "ValDataComplete.txt". The map is read once, in
// (row, column) order of the records, while the table keeps its own order.
void LookUpPredictiveMap(TDataDef& map, const std::filesystem::path& mapFile, bool asciiGrid,
                         const ValidationFile& file, TextGrid& table, Shell& shell);

// The map value as the table and "ValDataComplete.txt" show it: 7 decimals in 10 characters.
std::string MapValueText(double v);

}  // namespace karvelo
