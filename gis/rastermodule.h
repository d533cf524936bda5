// The boundary between the programs and the loadable raster module (libkarvelo-gis.so).
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "gis/raster.h"

namespace karvelo::gis {

// GDAL and the hundred libraries behind it cost every run some 27 MB and a tenth of a second to
// load, so they live in a module that is loaded the first time a raster is imported, aligned or
// written. The module and the programs are built together; the version only guards against a
// module left over from another build. Each function returns an empty text on success, else the
// message of the error (errors do not cross the boundary as exceptions).
struct RasterModuleTable {
  int version;
  std::optional<std::string> (*rasterDriver)(const std::filesystem::path& path);
  std::string (*importRaster)(const std::filesystem::path& source, int band, const std::filesystem::path& output);
  std::string (*alignRaster)(const std::filesystem::path& reference, const std::filesystem::path& source,
                             const std::filesystem::path& output, Resampling method, AlignOutcome& outcome);
  std::string (*writeGeoTiff)(const std::filesystem::path& grid, const std::filesystem::path& prj,
                              const std::filesystem::path& output);
};

inline constexpr int kRasterModuleVersion = 2;
inline constexpr const char* kRasterModuleFile = "libkarvelo-gis.so";
inline constexpr const char* kRasterModuleEntry = "karvelo_raster_module";

}  // namespace karvelo::gis
