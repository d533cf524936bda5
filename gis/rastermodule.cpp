// The loadable raster module's entry: GDAL's functions behind a table of plain calls.
#include "gis/rastermodule.h"

#include <exception>
#include <new>

#include "core/runcontext.h"

namespace karvelo::gis {
namespace {

// Runs a step under a stage of the module's own and hands its finished files back unrenamed.
template <typename Body>
RasterResult Staged(const RasterCall& call, Body&& body) {
  RasterResult result;
  DelegateWriteAllowance(call.writeAllowance);
  try {
    ResultStage stage;
    body(result);
    result.files = stage.Release();
  } catch (const Cancelled&) {
    result.cancelled = true;
  } catch (const std::bad_alloc&) {
    result.outOfMemory = true;
  } catch (const std::exception& e) {
    result.error = e.what();
  }
  DelegateWriteAllowance(nullptr);
  return result;
}

std::optional<std::string> DriverOf(const std::filesystem::path& path) {
  try {
    return work::Driver(path);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

RasterResult Import(const RasterCall& call, const std::filesystem::path& source, int band,
                    const std::filesystem::path& output) {
  return Staged(call, [&](RasterResult&) { work::Import(source, band, output, call.progress); });
}

RasterResult Align(const RasterCall& call, const std::filesystem::path& reference, const std::filesystem::path& source,
                   const std::filesystem::path& output, Resampling method) {
  return Staged(call, [&](RasterResult& r) { r.outcome = work::Align(reference, source, output, method, call.progress); });
}

RasterResult GeoTiff(const RasterCall& call, const std::filesystem::path& grid, const std::filesystem::path& prj,
                     const std::filesystem::path& output) {
  return Staged(call, [&](RasterResult&) { work::GeoTiff(grid, prj, output, call.progress); });
}

const RasterModuleTable kTable{kRasterModuleVersion, sizeof(RasterModuleTable), kRasterModuleBuildId, DriverOf, Import, Align, GeoTiff};

}  // namespace
}  // namespace karvelo::gis

extern "C" __attribute__((visibility("default"))) const karvelo::gis::RasterModuleTable* karvelo_raster_module() {
  return &karvelo::gis::kTable;
}
