// The loadable raster module's entry: GDAL's functions behind a table of plain calls.
#include "gis/rastermodule.h"

#include <exception>

namespace karvelo::gis {
namespace {

template <typename Call>
std::string Caught(Call&& call) {
  try {
    call();
    return {};
  } catch (const std::exception& e) {
    return e.what();
  }
}

std::optional<std::string> DriverOf(const std::filesystem::path& path) {
  try {
    return RasterDriver(path);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::string Import(const std::filesystem::path& source, int band, const std::filesystem::path& output) {
  return Caught([&] { ImportRaster(source, band, output); });
}

std::string Align(const std::filesystem::path& reference, const std::filesystem::path& source,
                  const std::filesystem::path& output, Resampling method, AlignOutcome& outcome) {
  return Caught([&] { outcome = AlignRaster(reference, source, output, method); });
}

std::string GeoTiff(const std::filesystem::path& grid, const std::filesystem::path& prj, const std::filesystem::path& output) {
  return Caught([&] { WriteGeoTiffFrom(grid, prj, output); });
}

const RasterModuleTable kTable{kRasterModuleVersion, DriverOf, Import, Align, GeoTiff};

}  // namespace
}  // namespace karvelo::gis

extern "C" __attribute__((visibility("default"))) const karvelo::gis::RasterModuleTable* karvelo_raster_module() {
  return &karvelo::gis::kTable;
}
