// The description of one grid file of a data configuration: header, range, classes and indicators.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/limits.h"

namespace karvelo {

enum class TGridFileType : std::uint8_t { asciigrid = 0, notgrid = 1 };

// Row k-1 describes class k: lower bound, upper bound, presence count, absence count, two spare
// columns. A value v is in class k when lower <= v < upper.
using TMembClasses = std::array<std::array<double, 6>, MaxClasses>;

enum MembColumn : int { ClassLower = 0, ClassUpper = 1, ClassPresences = 2, ClassAbsences = 3 };

struct TDataDef {
  std::string FileName;
  TGridFileType GridFileType = TGridFileType::asciigrid;
  std::int32_t ncols = 0;
  std::int32_t nrows = 0;
  double xllcorner = 0;
  double yllcorner = 0;
  double cellsize = 0;
  double NODATA_value = 0;
  double minvalue = 0;
  double maxvalue = 0;
  TMembClasses mclasses{};
  std::int32_t NrClasses = 0;
  double PositiveIndicatorValue = 0;
  double NegativeIndicatorValue = 0;

  // The roles follow from the fields alone; comparisons are exact on purpose, the indicator
  // values are copied from the header, never computed.
  bool IsPresenceGrid() const { return PositiveIndicatorValue != NODATA_value; }
  bool IsAbsenceGrid() const { return NegativeIndicatorValue != NODATA_value; }
  bool IsAuxiliaryGrid() const { return NrClasses > 1; }
};

}  // namespace karvelo
