// The program's fixed limits, shown in the settings view and bounding every table and raster.
#pragma once

namespace karvelo {

inline constexpr int MaxDataFiles = 10;       // grids in one data configuration
inline constexpr int MaxGridExtent = 10000;   // columns and rows of any grid, raster or work file
inline constexpr int MaxClasses = 20;         // classes of one auxiliary grid
inline constexpr int BootstrapSamples = 50;   // samples of the uncertainty run
inline constexpr long long RasterCells = static_cast<long long>(MaxGridExtent) * MaxGridExtent;
inline constexpr int FrequencyRows = MaxDataFiles * MaxClasses;  // rows of the audit's count table
inline constexpr int MaxUniqueValues = 4;     // entries of a scanned grid's unique-value list

}  // namespace karvelo
